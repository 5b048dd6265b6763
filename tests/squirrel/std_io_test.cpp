// The io library on real files: the file class, the path hook, dofile/loadfile, closures written
// to files and read back, and the encodings recognised by the loader.
#include "sqstdio.h"

#include "std_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using sqstdtest::ScriptVm;

std::string TempDir;

// Windows-style names from content: backslashes and any case, relative to the temporary folder.
const SQChar* mapContentName(const SQChar* name)
{
    static std::string mapped;
    mapped = TempDir + "/";
    for (const char* p = name; *p; ++p)
        mapped += *p == '\\' ? '/' : char(std::tolower(static_cast<unsigned char>(*p)));
    return mapped.c_str();
}

class StdIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sqstd_io_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        TempDir = pattern;
        sqstd_pathhook = mapContentName;
    }
    void TearDown() override
    {
        sqstd_pathhook = nullptr;
        std::string cmd = "rm -rf '" + TempDir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    static void writeFile(const std::string& name, const std::string& bytes)
    {
        std::ofstream out(TempDir + "/" + name, std::ios::binary);
        out << bytes;
    }
    static std::string readFile(const std::string& name)
    {
        std::ifstream in(TempDir + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool exists(const std::string& name) { return access((TempDir + "/" + name).c_str(), F_OK) == 0; }
    // Runs the script while another thread writes the bytes into the pipe "pipe.nut".
    static std::string runWithPipe(ScriptVm& vm, const std::string& bytes, const char* script)
    {
        const std::string path = TempDir + "/pipe.nut";
        unlink(path.c_str());
        if (mkfifo(path.c_str(), 0600) != 0) return "no pipe";
        std::thread writer([&] { std::ofstream(path, std::ios::binary) << bytes; });
        std::string result = vm.run(script);
        writer.join();
        return result;
    }
};

TEST_F(StdIo, FileWritesAndReadsNumbersAndBlobs)
{
    ScriptVm vm;
    EXPECT_EQ(vm.run("local f = file(\"data.bin\", \"wb\");\n"
                     "f.writen(123456, 'i'); f.writen(1.5, 'f');\n"
                     "local b = blob(); b.writen(7, 'b'); f.writeblob(b);\n"
                     "local r = typeof f + \" \" + f.len() + \" \" + f.tell() + \" \" + f.flush();\n"
                     "return r;"),
              "file 9 9 1");
    EXPECT_EQ(readFile("data.bin").size(), 9u);
    EXPECT_EQ(vm.run("local g = file(\"DATA.BIN\", \"rb\");\n"
                     "local r = g.readn('i') + \" \" + g.readn('f') + \" \" + g.readn('b');\n"
                     "r += \" \" + (g.eos() == null);\n"
                     "try { g.readblob(1); } catch (e) { r += \" \" + e; }\n"
                     "r += \" \" + g.eos() + \" \" + g.seek(0) + \" \" + g.readblob(100).len();\n"
                     "return r;"),
              "123456 1.5 7 true no data left to read 1 0 9");
}

TEST_F(StdIo, OpenFailuresAreScriptErrors)
{
    ScriptVm vm;
    EXPECT_EQ(vm.run("file(\"missing.txt\", \"r\");"), "error: cannot open file");
    EXPECT_EQ(vm.run("dofile(\"missing.nut\");"), "error: cannot open the file");
    EXPECT_EQ(vm.run("loadfile(\"missing.nut\");"), "error: cannot open the file");
    EXPECT_EQ(vm.run("file(\"x.txt\", \"wb\", 3);"), "error: wrong number of parameters");
}

TEST_F(StdIo, DofileRunsThroughThePathHookWithTheCallersThis)
{
    ScriptVm vm;
    ASSERT_EQ(std::system(("mkdir -p '" + TempDir + "/scripts'").c_str()), 0);
    writeFile("scripts/x.nut", "return this.k * 2;");
    EXPECT_EQ(vm.run("k <- 21; return dofile(\"Scripts\\\\X.nut\");"), "42");
    EXPECT_EQ(vm.run("local t = { k = 5 }; return dofile(\"scripts\\\\x.nut\").tostring() + \" \" + "
                     "(function() { return dofile(\"scripts\\\\x.nut\"); }).call(t);"),
              "42 10");
    EXPECT_EQ(vm.run("local c = loadfile(\"SCRIPTS\\\\x.NUT\"); k = 4; return typeof c + \" \" + c();"),
              "function 8");
}

TEST_F(StdIo, SyntaxErrorsThrowAndReachTheHandlerOnlyWhenAsked)
{
    ScriptVm vm;
    writeFile("bad.nut", "local x = 1;\nlocal y = ;\n");
    EXPECT_EQ(vm.run("try { dofile(\"bad.nut\"); } catch (e) { return \"caught \" + e; }"),
              "caught expression expected");
    EXPECT_TRUE(vm.prints().empty()) << vm.printed();
    EXPECT_EQ(vm.run("try { loadfile(\"bad.nut\", true); } catch (e) { return \"caught \" + e; }"),
              "caught expression expected");
    ASSERT_EQ(vm.prints().size(), 1u) << vm.printed();
    EXPECT_EQ(vm.prints()[0].rfind("bad.nut line = (2) column = (", 0), 0u) << vm.prints()[0];
}

TEST_F(StdIo, ClosureWrittenToAFileLoadsBack)
{
    ScriptVm vm;
    EXPECT_EQ(vm.run("local f = compilestring(\"local a = [1, 2.5, \\\"s\\\"]; local n = 0;"
                     " for (local i = 0; i < 4; i++) n += i * 2.5; return a[0] + a[1] + n + a[2];\");\n"
                     "return typeof writeclosuretofile(\"c.cnut\", f);"),
              "function");
    std::string bytes = readFile("c.cnut");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFA);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFA);
    EXPECT_FALSE(exists("c.cnut.tmp"));
    EXPECT_EQ(vm.run("return loadfile(\"c.cnut\")();"), "18.5s");
    EXPECT_EQ(vm.run("return dofile(\"c.cnut\");"), "18.5s");
    // a pipe cannot be rewound: the bytes that chose the reader still reach it
    EXPECT_EQ(runWithPipe(vm, bytes, "return dofile(\"pipe.nut\");"), "18.5s");
    EXPECT_EQ(runWithPipe(vm, "return 7;", "return dofile(\"pipe.nut\");"), "7");
    EXPECT_EQ(vm.run("writeclosuretofile(\"nodir/c.cnut\", compilestring(\"return 1;\"));"),
              "error: cannot open the file");
    // A host's saver gets the file to write; its refusal is an error and the old file stays.
    sqstd_savehook = [](const SQChar*, const void*, SQInteger) -> SQBool { return SQFalse; };
    EXPECT_EQ(vm.run("writeclosuretofile(\"c.cnut\", compilestring(\"return 2;\"));"), "error: io error");
    sqstd_savehook = nullptr;
    EXPECT_EQ(readFile("c.cnut"), bytes);
}

TEST_F(StdIo, LoaderDecodesByteOrderMarks)
{
    ScriptVm vm;
    writeFile("utf8.nut", "\xEF\xBB\xBFreturn \"\xC3\xA9\" + \"x\";");
    EXPECT_EQ(vm.run("return dofile(\"utf8.nut\");"), "\xE9x");
    std::string ucs2le = "\xFF\xFE";
    for (char c : std::string("return 5;")) ucs2le += std::string{c, '\0'};
    writeFile("le.nut", ucs2le);
    EXPECT_EQ(vm.run("return dofile(\"le.nut\");"), "5");
    std::string ucs2be = "\xFE\xFF";
    for (char c : std::string("return 6;")) ucs2be += std::string{'\0', c};
    writeFile("be.nut", ucs2be);
    EXPECT_EQ(vm.run("return dofile(\"be.nut\");"), "6");
    // code points above 255 have no 8-bit form: a compile error, wherever they stand
    writeFile("wide.nut", "\xEF\xBB\xBFreturn \"\xE2\x82\xAC\";");
    EXPECT_EQ(vm.run("return dofile(\"wide.nut\");"), "error: Invalid character");
    writeFile("wide2.nut", "\xEF\xBB\xBF\xC4\x80");
    EXPECT_EQ(vm.run("return dofile(\"wide2.nut\");"), "error: Invalid character");
    writeFile("latin.nut", "\xEF\xBB\xBFreturn \"\xC3\xBF\".len();");
    EXPECT_EQ(vm.run("return dofile(\"latin.nut\");"), "1");
    writeFile("odd.nut", "\xEF\xBBxreturn 1;");
    EXPECT_EQ(vm.run("return dofile(\"odd.nut\");"), "error: Unrecognozed ecoding");
    writeFile("empty.nut", "");
    EXPECT_EQ(vm.run("return typeof dofile(\"empty.nut\");"), "null");
}

TEST_F(StdIo, StandardStreamsAreFiles)
{
    ScriptVm vm;
    EXPECT_EQ(vm.run("return typeof stdin + typeof stdout + typeof stderr + (stream != null);"), "filefilefiletrue");
    EXPECT_EQ(vm.run("return (stdout instanceof file) + \" \" + (blob() instanceof stream);"), "true true");
}

}  // namespace
