// The standard libraries' C functions: registration, blobs and files from C, loading and running
// files, each with its stack effect.
#include "sqstdaux.h"
#include "sqstdblob.h"
#include "sqstdio.h"
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "sqstdsystem.h"

#include "std_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using sqstdtest::ScriptVm;

TEST(StdApi, RegistrationLeavesTheTargetTableOnTheStack)
{
    const struct {
        const char* name;
        SQRESULT (*registerLib)(HSQUIRRELVM);
        SQRESULT expected;
        const char* probe;  // a global the library adds
    } libs[] = {
        {"io", sqstd_register_iolib, SQ_OK, "dofile"},
        {"blob", sqstd_register_bloblib, SQ_OK, "casti2f"},
        {"math", sqstd_register_mathlib, SQ_OK, "RAND_MAX"},
        {"string", sqstd_register_stringlib, 1, "regexp"},
        {"system", sqstd_register_systemlib, 1, "getenv"},
    };
    for (const auto& lib : libs) {
        HSQUIRRELVM v = sq_open(1024);
        sq_newtable(v);
        SQInteger top = sq_gettop(v);
        EXPECT_EQ(lib.registerLib(v), lib.expected) << lib.name;
        EXPECT_EQ(sq_gettop(v), top) << lib.name;
        EXPECT_EQ(sq_gettype(v, -1), OT_TABLE) << lib.name;
        sq_pushstring(v, lib.probe, -1);
        EXPECT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2))) << lib.name;
        sq_close(v);
    }
}

TEST(StdApi, BlobsMadeFromCAreSeenByScripts)
{
    ScriptVm vm;
    HSQUIRRELVM v = vm.vm();
    SQInteger top = sq_gettop(v);
    SQUserPointer data = sqstd_createblob(v, 4);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(sq_gettop(v), top + 1);
    std::memcpy(data, "\x01\x02\x03\x04", 4);
    SQUserPointer again = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_getblob(v, -1, &again)));
    EXPECT_EQ(again, data);
    EXPECT_EQ(sqstd_getblobsize(v, -1), 4);

    sq_pushroottable(v);
    sq_pushstring(v, "fromC", -1);
    sq_push(v, -3);
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
    EXPECT_EQ(vm.run("return fromC[3] + \" \" + fromC.len() + \" \" + typeof fromC;"), "4 4 blob");

    sq_pushinteger(v, 5);
    EXPECT_TRUE(SQ_FAILED(sqstd_getblob(v, -1, &again)));
    EXPECT_EQ(sqstd_getblobsize(v, -1), -1);
    sq_settop(v, top);
}

TEST(StdApi, FilesMadeFromCWrapTheStdioHandle)
{
    ScriptVm vm;
    HSQUIRRELVM v = vm.vm();
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    SQInteger top = sq_gettop(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_createfile(v, f, SQFalse)));
    EXPECT_EQ(sq_gettop(v), top + 1);
    SQFILE back = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_getfile(v, -1, &back)));
    EXPECT_EQ(back, f);
    sq_settop(v, top);
    sq_collectgarbage(v);
    EXPECT_EQ(std::fputs("still open", f), 1);  // not owned: collecting the object kept it open
    std::fclose(f);
}

TEST(StdApi, LoadAndRunFilesWithTheirStackEffects)
{
    ScriptVm vm;
    HSQUIRRELVM v = vm.vm();
    std::string path = std::string(::testing::TempDir()) + "sqstd_api_run.nut";
    {
        std::ofstream out(path);
        out << "return this.base + 1;";
    }
    sq_newtable(v);
    sq_pushstring(v, "base", -1);
    sq_pushinteger(v, 41);
    sq_newslot(v, -3, SQFalse);
    SQInteger top = sq_gettop(v);

    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_dofile(v, path.c_str(), SQTrue, SQFalse)));
    EXPECT_EQ(sq_gettop(v), top + 1);
    SQInteger result = 0;
    sq_getinteger(v, -1, &result);
    EXPECT_EQ(result, 42);
    sq_pop(v, 1);

    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_dofile(v, path.c_str(), SQFalse, SQFalse)));
    EXPECT_EQ(sq_gettop(v), top);

    ASSERT_TRUE(SQ_SUCCEEDED(sqstd_loadfile(v, path.c_str(), SQFalse)));
    EXPECT_EQ(sq_gettop(v), top + 1);
    EXPECT_EQ(sq_gettype(v, -1), OT_CLOSURE);
    sq_pop(v, 1);

    EXPECT_TRUE(SQ_FAILED(sqstd_loadfile(v, (path + ".missing").c_str(), SQFalse)));
    EXPECT_TRUE(SQ_FAILED(sqstd_dofile(v, (path + ".missing").c_str(), SQTrue, SQFalse)));
    EXPECT_EQ(sq_gettop(v), top);
    sq_getlasterror(v);
    const SQChar* err = nullptr;
    sq_getstring(v, -1, &err);
    EXPECT_STREQ(err, "cannot open the file");
    sq_settop(v, top - 1);
    std::remove(path.c_str());
}

}  // namespace
