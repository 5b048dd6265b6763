// C interface: closures, delegates, classes, weak references, generators, threads, locals and bytecode.
#include <squirrel.h>
#include <sqstdaux.h>

#include "../../squirrel/squirrel/sqopcodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class Api : public ::testing::Test {
protected:
    void SetUp() override { v = sq_open(1024); }
    void TearDown() override { sq_close(v); }

    // Compiles src, runs it with the root table as this and pushes its result.
    void eval(const char* src)
    {
        ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, static_cast<SQInteger>(strlen(src)), "api", SQFalse))) << src;
        sq_pushroottable(v);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse))) << src;
        sq_remove(v, -2);
    }
    SQInteger intAt(SQInteger idx)
    {
        SQInteger i = -12345;
        sq_getinteger(v, idx, &i);
        return i;
    }
    std::string strAt(SQInteger idx)
    {
        const SQChar* s = nullptr;
        return SQ_SUCCEEDED(sq_getstring(v, idx, &s)) ? s : "<none>";
    }
    std::string lastError()
    {
        sq_getlasterror(v);
        std::string s = strAt(-1);
        sq_poptop(v);
        return s;
    }
    HSQUIRRELVM v = nullptr;
};

TEST_F(Api, FreeVariablesAndClosureInfo)
{
    eval("local k = 5; return function(a, b) : (k) { return a + b + k; }");
    SQUnsignedInteger nparams = 0, nfree = 0;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &nparams, &nfree)));
    EXPECT_EQ(nparams, 3u);
    EXPECT_EQ(nfree, 1u);
    const SQChar* name = sq_getfreevariable(v, -1, 0);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "k");
    EXPECT_EQ(intAt(-1), 5);
    sq_poptop(v);
    EXPECT_EQ(sq_getfreevariable(v, -1, 1), nullptr);
    EXPECT_EQ(sq_gettop(v), 1);
    sq_pushinteger(v, 100);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setfreevariable(v, -2, 0)));
    sq_pushroottable(v);
    sq_pushinteger(v, 1);
    sq_pushinteger(v, 2);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQFalse)));
    EXPECT_EQ(intAt(-1), 103);
    sq_settop(v, 0);
    sq_newclosure(v, [](HSQUIRRELVM) -> SQInteger { return 0; }, 0);
    EXPECT_TRUE(SQ_FAILED(sq_getclosureinfo(v, -1, &nparams, &nfree)));
    EXPECT_EQ(lastError(), "the object is not a closure");
    sq_poptop(v);
}

TEST_F(Api, NativeFreeVariablesTopFirstAndBindEnv)
{
    sq_pushinteger(v, 1);
    sq_pushinteger(v, 2);   // top: becomes free variable 0
    sq_newclosure(v, [](HSQUIRRELVM vm) -> SQInteger {
        // slots: this, then the free variables
        SQInteger a = 0, b = 0;
        sq_getinteger(vm, 2, &a);
        sq_getinteger(vm, 3, &b);
        sq_pushinteger(vm, a * 10 + b);
        return 1;
    }, 2);
    EXPECT_EQ(sq_gettop(v), 1);
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ(intAt(-1), 21);
    sq_settop(v, 0);
    eval("::env <- {n = 7}; return function() { return n; }");
    sq_pushroottable(v);
    sq_pushstring(v, "env", -1);
    sq_get(v, -2);
    sq_remove(v, -2);   // [fn, env]
    ASSERT_TRUE(SQ_SUCCEEDED(sq_bindenv(v, -2)));   // [fn, bound]
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ(intAt(-1), 7);
    sq_settop(v, 0);
}

TEST_F(Api, DelegatesCloneAndCompare)
{
    sq_newtable(v);
    sq_newtable(v);
    sq_pushstring(v, "inherited", -1);
    sq_pushinteger(v, 9);
    sq_newslot(v, -3, SQFalse);   // [t, d]
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setdelegate(v, -2)));   // [t]
    sq_pushstring(v, "inherited", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    EXPECT_EQ(intAt(-1), 9);
    sq_poptop(v);
    sq_pushstring(v, "inherited", -1);
    EXPECT_TRUE(SQ_FAILED(sq_rawget(v, -2)));
    EXPECT_EQ(sq_gettop(v), 1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getdelegate(v, -1)));   // [t, d]
    sq_push(v, -2);                                    // [t, d, t]
    EXPECT_TRUE(SQ_FAILED(sq_setdelegate(v, -2)));     // d's delegate t: a cycle
    EXPECT_EQ(lastError(), "delagate cycle");
    sq_settop(v, 1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_clone(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
    sq_settop(v, 0);
    sq_pushinteger(v, 5);
    EXPECT_TRUE(SQ_FAILED(sq_clone(v, -1)));
    sq_pushinteger(v, 7);
    EXPECT_GT(sq_cmp(v), 0);   // the top (7) is greater than 5
    sq_pushinteger(v, 2147483647);
    sq_pushinteger(v, -2);
    EXPECT_LT(sq_cmp(v), 0);   // no wrapped subtraction
    sq_settop(v, 0);
    sq_pushfloat(v, 0.5f);
    sq_tostring(v, -1);
    EXPECT_EQ(strAt(-1), "0.5");
    sq_settop(v, 0);
}

TEST_F(Api, ClassesBasesAttributesAndTypeTags)
{
    eval("class A </ a = 1 /> { </ m = 2 /> x = 0; function f() { return 1; } } class B extends A {} return B;");
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getbase(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_CLASS);
    sq_pushnull(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getattributes(v, -2)));
    sq_pushstring(v, "a", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    EXPECT_EQ(intAt(-1), 1);
    sq_pop(v, 2);
    sq_pushstring(v, "x", -1);
    sq_pushstring(v, "new", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setattributes(v, -3)));   // pushes the previous value
    EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
    sq_poptop(v);
    sq_pushstring(v, "nope", -1);
    sq_pushnull(v);
    EXPECT_TRUE(SQ_FAILED(sq_setattributes(v, -3)));
    EXPECT_EQ(lastError(), "wrong index");
    sq_settop(v, 1);   // [B]
    ASSERT_TRUE(SQ_SUCCEEDED(sq_createinstance(v, -1)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getclass(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_CLASS);
    sq_poptop(v);
    static int tag;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_settypetag(v, 1, &tag)));
    SQUserPointer got = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_gettypetag(v, -1, &got)));   // an instance reports its class's tag
    EXPECT_EQ(got, &tag);
    EXPECT_TRUE(SQ_FAILED(sq_setclassudsize(v, 1, 16)));   // instantiated: locked
    sq_settop(v, 0);
}

TEST_F(Api, WeakReferencesFollowTheTarget)
{
    sq_newtable(v);
    sq_weakref(v, -1);
    sq_weakref(v, -2);
    HSQOBJECT a, b;
    sq_getstackobj(v, -1, &a);
    sq_getstackobj(v, -2, &b);
    EXPECT_EQ(a._unVal.pWeakRef, b._unVal.pWeakRef);   // one weak reference per object
    sq_poptop(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
    sq_poptop(v);
    sq_remove(v, 1);   // drop the table: [weakref]
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
    sq_settop(v, 0);
    sq_pushinteger(v, 3);
    sq_weakref(v, -1);
    EXPECT_EQ(sq_gettype(v, -1), OT_INTEGER);
    EXPECT_TRUE(SQ_FAILED(sq_getweakrefval(v, -1)));
    sq_settop(v, 0);
}

TEST_F(Api, GeneratorsResumeFromC)
{
    eval("function gen() { yield 1; yield 2; return 3; } return gen;");
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ(sq_gettype(v, -1), OT_GENERATOR);
    std::vector<SQInteger> seen;
    for (int n = 0; n < 3; n++) {
        ASSERT_TRUE(SQ_SUCCEEDED(sq_resume(v, SQTrue, SQFalse)));
        seen.push_back(intAt(-1));
        sq_poptop(v);
    }
    EXPECT_EQ(seen, (std::vector<SQInteger>{1, 2, 3}));
    EXPECT_TRUE(SQ_FAILED(sq_resume(v, SQTrue, SQFalse)));
    EXPECT_EQ(lastError(), "resuming dead generator");
    sq_pushnull(v);
    EXPECT_TRUE(SQ_FAILED(sq_resume(v, SQTrue, SQFalse)));
    EXPECT_EQ(lastError(), "only generators can be resumed");
    sq_settop(v, 0);
}

TEST_F(Api, ThreadsShareTheRootTable)
{
    HSQUIRRELVM t = sq_newthread(v, 64);
    EXPECT_EQ(sq_gettype(v, -1), OT_THREAD);
    HSQUIRRELVM got = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getthread(v, -1, &got)));
    EXPECT_EQ(got, t);
    EXPECT_EQ(sq_getvmstate(t), SQ_VMSTATE_IDLE);
    const char* src = "::fromThread <- 11";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(t, src, static_cast<SQInteger>(strlen(src)), "t", SQFalse)));
    sq_pushroottable(t);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(t, 1, SQFalse, SQFalse)));
    sq_pushroottable(v);
    sq_pushstring(v, "fromThread", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    EXPECT_EQ(intAt(-1), 11);
    sq_pushinteger(v, 4);
    sq_move(t, v, -1);
    EXPECT_EQ(intAt(-1), 4);
    sq_settop(v, 0);
}

TEST_F(Api, LocalsOfACallLevel)
{
    static std::vector<std::string> names;
    names.clear();
    sq_pushroottable(v);
    sq_pushstring(v, "probe", -1);
    sq_newclosure(v, [](HSQUIRRELVM vm) -> SQInteger {
        EXPECT_EQ(sq_getlocal(vm, 0, 0), nullptr);   // natives have no named locals
        for (SQUnsignedInteger seq = 0;; seq++) {
            const SQChar* name = sq_getlocal(vm, 1, seq);
            if (!name) break;
            names.push_back(name);
            sq_poptop(vm);
        }
        SQStackInfos si;
        EXPECT_TRUE(SQ_SUCCEEDED(sq_stackinfos(vm, 0, &si)));
        EXPECT_STREQ(si.funcname, "probe");
        EXPECT_STREQ(si.source, "NATIVE");
        EXPECT_EQ(si.line, -1);
        EXPECT_TRUE(SQ_SUCCEEDED(sq_stackinfos(vm, 1, &si)));
        EXPECT_STREQ(si.funcname, "f");
        EXPECT_EQ(si.line, 3);
        return 0;
    }, 0);
    sq_setnativeclosurename(v, -1, "probe");
    sq_newslot(v, -3, SQFalse);
    sq_poptop(v);
    eval("local k = 1;\nfunction f(a, b) : (k) {\n  local c = a; { local d = b; probe(); }\n}\nf(1, 2);");
    EXPECT_EQ(names, (std::vector<std::string>{"k", "d", "c", "b", "a", "this"}));
    sq_settop(v, 0);
}

struct Buffer {
    std::vector<char> data;
    size_t pos = 0;
};

SQInteger writeBuffer(SQUserPointer up, SQUserPointer p, SQInteger size)
{
    Buffer* b = static_cast<Buffer*>(up);
    b->data.insert(b->data.end(), static_cast<char*>(p), static_cast<char*>(p) + size);
    return size;
}

SQInteger readBuffer(SQUserPointer up, SQUserPointer p, SQInteger size)
{
    Buffer* b = static_cast<Buffer*>(up);
    SQInteger n = std::min<SQInteger>(size, static_cast<SQInteger>(b->data.size() - b->pos));
    if (n > 0) memcpy(p, b->data.data() + b->pos, static_cast<size_t>(n));
    b->pos += static_cast<size_t>(n);
    return n;
}

TEST_F(Api, BytecodeRoundTripsAndRejectsForeignData)
{
    const char* src = "function twice(x) { return x * 2; } local s = \"v\" + twice(21) + 0.5; return s;";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, static_cast<SQInteger>(strlen(src)), "bc", SQFalse)));
    Buffer buf;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeBuffer, &buf)));
    // what running the code leaves in it is not saved: the same code saves the same bytes
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    sq_poptop(v);
    Buffer again;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeBuffer, &again)));
    EXPECT_EQ(again.data, buf.data);
    sq_poptop(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_readclosure(v, readBuffer, &buf)));
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ(strAt(-1), "v420.5");
    sq_settop(v, 0);
    // truncations and flipped bytes are refused, never crash
    for (size_t cut = 0; cut < buf.data.size(); cut += 7) {
        Buffer part;
        part.data.assign(buf.data.begin(), buf.data.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_TRUE(SQ_FAILED(sq_readclosure(v, readBuffer, &part))) << cut;
        EXPECT_EQ(sq_gettop(v), 0);
    }
    Buffer text;
    text.data = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_TRUE(SQ_FAILED(sq_readclosure(v, readBuffer, &text)));
    EXPECT_EQ(lastError(), "invalid stream");
}

TEST_F(Api, LoadedClosureHasNullFreeVariablesAndDefaults)
{
    // Only the prototype is written: captured values and default values come back as null.
    eval("local x = 5; return function(a, b = 3) : (x) { return typeof a + \",\" + typeof b + \",\" + typeof x; };");
    Buffer buf;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeBuffer, &buf)));
    sq_settop(v, 0);
    sq_pushroottable(v);
    sq_pushstring(v, "loaded", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_readclosure(v, readBuffer, &buf)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_settop(v, 0);
    // a call at the same stack height first leaves values in the slots the loaded closure uses
    eval("function fill(p, q) { local r = \"r\", s = \"s\", t = \"t\"; return p; }"
         "fill(\"p\", \"q\"); local one = loaded(1);"
         "fill(\"p\", \"q\"); return one + \" \" + loaded(1, 2);");
    EXPECT_EQ(strAt(-1), "integer,null,null integer,integer,null");
}

} // namespace

// Tampered bytecode: the loader checks every index an instruction carries.
namespace {

// A function without nested functions ends its stream with its instructions,
// then five words: function count, default count, stack size, flags, tail.
size_t instructionsStart(const Buffer& b, size_t& count)
{
    const size_t end = b.data.size() - 20;
    for (count = 1; count * sizeof(SQInstruction) + 4 <= end; ++count) {
        uint32_t stored;
        memcpy(&stored, b.data.data() + end - count * sizeof(SQInstruction) - 4, 4);
        if (stored == count)
            return end - count * sizeof(SQInstruction);
    }
    return 0;
}

TEST_F(Api, BytecodeWithIndicesOutsideTheFunctionIsRefused)
{
    const char* src = "local x = 2; local t = [x, \"s\"]; while (x > 100000 || x > 0 || x == 100000 || x == -5) { x = x - 1; } return t[1] + x;";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, static_cast<SQInteger>(strlen(src)), "bc", SQFalse)));
    Buffer buf;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeBuffer, &buf)));
    sq_settop(v, 0);
    size_t count = 0;
    const size_t start = instructionsStart(buf, count);
    ASSERT_GT(start, 0u);

    struct SPatch {
        const char* what;
        std::vector<uint8_t> ops;
        int32_t a1;
    };
    const SPatch patches[] = {
        {"jump far ahead", {OP_JMP, OP_JZ, OP_JNZ, OP_JCMP, OP_JEQK, OP_JCMPKT, OP_JCMPIT, OP_JEQI}, 1000},
        {"jump before the start", {OP_JMP, OP_JZ, OP_JNZ, OP_JCMP, OP_JEQK, OP_JCMPKT, OP_JCMPIT, OP_JEQI}, -1000},
        {"jump past the integer range", {OP_JMP, OP_JZ, OP_JNZ, OP_JCMP, OP_JEQK, OP_JCMPKT, OP_JCMPIT, OP_JEQI}, 0x7fffffff},
        {"literal past the table", {OP_LOAD, OP_GETK, OP_PREPCALLK, OP_GETENV}, 500},
        {"register outside the frame", {OP_MOVE, OP_GET, OP_SUB, OP_ADD, OP_NEWSLOT}, 100000},
        {"negative register", {OP_MOVE, OP_GET, OP_SUB, OP_ADD, OP_NEWSLOT}, -3},
    };
    int patched = 0;
    for (const SPatch& patch : patches) {
        for (size_t n = 0; n < count; ++n) {
            SQInstruction ins;
            memcpy(&ins, buf.data.data() + start + n * sizeof ins, sizeof ins);
            if (std::find(patch.ops.begin(), patch.ops.end(), ins.op) == patch.ops.end())
                continue;
            Buffer bad = buf;
            ins.a1 = patch.a1;
            memcpy(bad.data.data() + start + n * sizeof ins, &ins, sizeof ins);
            EXPECT_TRUE(SQ_FAILED(sq_readclosure(v, readBuffer, &bad))) << patch.what << " at " << n;
            EXPECT_EQ(sq_gettop(v), 0);
            ++patched;
        }
    }
    EXPECT_GE(patched, 8) << "the script no longer has the instructions this test patches";

    // Code that runs off its end.
    Buffer open = buf;
    open.data[start + (count - 1) * sizeof(SQInstruction)] = OP_LINE;
    EXPECT_TRUE(SQ_FAILED(sq_readclosure(v, readBuffer, &open)));
    EXPECT_EQ(lastError(), "invalid or corrupted closure stream");

    Buffer intact = buf;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_readclosure(v, readBuffer, &intact)));
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse)));
    EXPECT_EQ(strAt(-1), "s0");
    sq_settop(v, 0);
}

// One changed field of a valid file: the loader refuses it or the run ends in a
// script error, whose report lists the locals.
struct SDamage {
    const char* what;
    const char* src;
    void (*patch)(Buffer& b);
};

// Edits the n-th instruction with opcode op (a function without nested functions).
void patchNth(Buffer& b, uint8_t op, int n, void (*edit)(SQInstruction&))
{
    size_t count = 0;
    const size_t start = instructionsStart(b, count);
    for (size_t i = 0; start && i < count; ++i) {
        SQInstruction ins;
        memcpy(&ins, b.data.data() + start + i * sizeof ins, sizeof ins);
        if (ins.op != op || n-- != 0) continue;
        edit(ins);
        memcpy(b.data.data() + start + i * sizeof ins, &ins, sizeof ins);
        return;
    }
    ADD_FAILURE() << "no such instruction";
}

void quietPrint(HSQUIRRELVM, const SQChar*, ...) {}

class DamagedBytecode : public Api, public ::testing::WithParamInterface<SDamage> {};

TEST_P(DamagedBytecode, EndsInAScriptError)
{
    const SDamage& damage = GetParam();
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, damage.src, static_cast<SQInteger>(strlen(damage.src)), "bc", SQFalse)));
    Buffer buf;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeBuffer, &buf)));
    sq_settop(v, 0);
    damage.patch(buf);
    sq_setprintfunc(v, quietPrint);
    sqstd_seterrorhandlers(v);
    bool failed = SQ_FAILED(sq_readclosure(v, readBuffer, &buf));
    if (!failed) {
        sq_pushroottable(v);
        failed = SQ_FAILED(sq_call(v, 1, SQFalse, SQTrue));
    }
    EXPECT_TRUE(failed);
    EXPECT_FALSE(lastError().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Api, DamagedBytecode,
    ::testing::Values(
        SDamage{"an array literal without its array", "local x = 1; local a = [x, 2]; return a;",
                [](Buffer& b) { patchNth(b, OP_NEWARRAY, 0, [](SQInstruction& i) { i.op = OP_LOADINT; }); }},
        SDamage{"a negative array size", "local x = 1; local a = [x, 2]; return a;",
                [](Buffer& b) { patchNth(b, OP_NEWARRAY, 0, [](SQInstruction& i) { i.a1 = -1; }); }},
        SDamage{"a huge table size", "local t = {x = 1}; return t;",
                [](Buffer& b) { patchNth(b, OP_NEWTABLE, 0, [](SQInstruction& i) { i.a1 = 0x7fffffff; }); }},
        SDamage{"an inner trap never pushed", "try { try { local x = 1; } catch (e) {} } catch (e) {} return 1;",
                [](Buffer& b) {
                    patchNth(b, OP_PUSHTRAP, 1, [](SQInstruction& i) {
                        i.op = OP_JMP;
                        i.a1 = 0;
                    });
                }},
        SDamage{"a local outside the frame", "local zzlocal = 1; throw \"stop\";",
                [](Buffer& b) {
                    const char name[] = "zzlocal";
                    auto at = std::search(b.data.begin(), b.data.end(), name, name + 7);
                    ASSERT_NE(at, b.data.end());
                    const uint32_t pos = 100000000;
                    memcpy(&*(at + 7), &pos, 4);
                }},
        SDamage{"functions nested beyond any script", "return 1;",
                [](Buffer& b) {
                    // each level: a part mark, two null names, empty lists and one function
                    const uint32_t level[] = {0x50415254, OT_NULL, OT_NULL, 0, 0, 0, 0, 0, 0, 1};
                    b.data.resize(18);   // the stream's header
                    for (int n = 0; n < 300000; ++n)
                        b.data.insert(b.data.end(), reinterpret_cast<const char*>(level),
                                      reinterpret_cast<const char*>(level) + sizeof level);
                }}),
    [](const ::testing::TestParamInfo<SDamage>& info) { return "Row" + std::to_string(info.index); });

// Whatever the compiler makes, the loader takes back.
TEST_F(Api, EveryConformanceScriptSurvivesTheBytecodeRoundTrip)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(__FILE__).parent_path() / "scripts";
    int scripts = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".nut")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const std::string src = text.str();
        if (SQ_FAILED(sq_compilebuffer(v, src.c_str(), static_cast<SQInteger>(src.size()), "rt", SQFalse))) {
            sq_settop(v, 0);
            continue;   // scripts that test compile errors
        }
        Buffer buf;
        if (SQ_FAILED(sq_writeclosure(v, writeBuffer, &buf))) {
            sq_settop(v, 0);
            continue;   // literals the stream cannot hold
        }
        sq_settop(v, 0);
        EXPECT_TRUE(SQ_SUCCEEDED(sq_readclosure(v, readBuffer, &buf))) << entry.path() << ": " << lastError();
        sq_settop(v, 0);
        ++scripts;
    }
    EXPECT_GE(scripts, 10);
}

} // namespace
