// The sample game's start-up script, damaged in seeded ways and nested
// without end, through the script compiler: it compiles or reports an error
// with the VM stack balanced, and what compiles survives the bytecode round
// trip. Nothing crashes, hangs, overflows the stack or leaks.
#include "mutations.h"
#include "script_stream.h"

#include <squirrel.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Texts nested far deeper than any script: each opener repeated.
std::vector<std::string> deepNesting()
{
    std::vector<std::string> texts;
    for (const char* opener : {"(", "[", "{", "-", "!", "a.", "a[", "f(", "{a=", "function(){", "if(1)", "[[",
                               "class A extends ", "typeof "}) {
        std::string text = "local x = ";
        for (int i = 0; i < 20000; ++i)
            text += opener;
        texts.push_back(text + "1");
    }
    return texts;
}

TEST(RobustScriptSource, MutatedScriptsCompileOrAreRefusedWithTheStackBalanced)
{
    const std::string seed = ReadSampleData("scripts/startup.nut");
    ASSERT_FALSE(seed.empty());
    std::vector<std::string> cases = MutateSeed(
        seed, 60, 200, {"{", "}", "(", ")", "function(", "class ", "/*", "@\"", "0x", "'\\", "::", "local ",
                        "const x = ", "enum {", "switch (", "case ", "delegate ", "resume ", "yield ", ".."});
    const std::vector<std::string> deep = deepNesting();
    cases.insert(cases.end(), deep.begin(), deep.end());
    HSQUIRRELVM vm = sq_open(1024);
    sq_setprintfunc(vm, silentScriptPrint);
    sq_setcompilererrorhandler(vm, silentCompilerError);
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const SQInteger top = sq_gettop(vm);
        const bool compiled =
            SQ_SUCCEEDED(sq_compilebuffer(vm, cases[i].c_str(), SQInteger(cases[i].size()), "startup.nut", SQTrue));
        if (sq_gettop(vm) != top + (compiled ? 1 : 0))
            return "stack holds " + std::to_string(sq_gettop(vm) - top) + " more after " +
                   (compiled ? "compiling" : "a refusal");
        if (i == 0 && !compiled)
            return "the unmutated script was refused";
        if (!compiled)
            return "";
        SScriptStream stream;
        const bool written = SQ_SUCCEEDED(sq_writeclosure(vm, writeScriptStream, &stream));
        sq_settop(vm, top);
        if (!written)
            return "a compiled script cannot be written";
        if (SQ_FAILED(sq_readclosure(vm, readScriptStream, &stream)))
            return "a compiled script does not read back";
        sq_settop(vm, top);
        return "";
    }, "");
    sq_close(vm);
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

}  // namespace
