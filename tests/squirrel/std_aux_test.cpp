// The default error handlers' output, checked line by line: one print call per line.
#include "sqstdaux.h"

#include "std_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace {

using sqstdtest::ScriptVm;

TEST(StdAux, RuntimeErrorThreeCallsDeepPrintsStackAndLocals)
{
    ScriptVm vm;
    // No `return f(...)`: a tail call replaces its caller's frame, as in the original.
    const std::string source =
        "function inner(x) {\n"            // 1
        "    local y = x * 2;\n"           // 2
        "    return y + nothere;\n"        // 3
        "}\n"                              // 4
        "function middle(a, b) {\n"        // 5
        "    inner(a);\n"                  // 6
        "    return b;\n"                  // 7
        "}\n"                              // 8
        "function outer() {\n"             // 9
        "    local s = \"txt\";\n"         // 10
        "    local flag = true;\n"         // 11
        "    middle(1, 2.5);\n"            // 12
        "    return s;\n"                  // 13
        "}\n"                              // 14
        "outer();\n";                      // 15
    EXPECT_EQ(vm.run(source, "scripts\\deep.nut"), "error: the index 'nothere' does not exist");
    const std::vector<std::string> expected = {
        "\nAN ERROR HAS OCCURED [the index 'nothere' does not exist]\n",
        "\nCALLSTACK\n",
        "*FUNCTION [inner()] scripts\\deep.nut line [3]\n",
        "*FUNCTION [middle()] scripts\\deep.nut line [6]\n",
        "*FUNCTION [outer()] scripts\\deep.nut line [12]\n",
        "*FUNCTION [main()] scripts\\deep.nut line [15]\n",
        "\nLOCALS\n",
        "[y] 2\n",
        "[x] 1\n",
        "[this] TABLE\n",
        "[b] 2.5\n",
        "[a] 1\n",
        "[this] TABLE\n",
        "[flag] true\n",
        "[s] \"txt\"\n",
        "[this] TABLE\n",
        "[this] TABLE\n",
    };
    ASSERT_EQ(vm.prints().size(), expected.size()) << vm.printed();
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(vm.prints()[i], expected[i]) << "line " << i;
}

TEST(StdAux, LocalValuesUseTheirOwnFormats)
{
    ScriptVm vm;
    const std::string source =
        "function f(n, t, a, c, i, w) {\n"
        "    local none = null;\n"
        "    local big = 0.1;\n"
        "    local long = longText;\n"
        "    throw 42;\n"
        "}\n"
        "class C {}\n"
        "local t = {};\n"
        "longText <- \"\"; while (longText.len() < 1001) longText += \"y\";\n"
        "f(-7, t, [], f, C(), t.weakref());\n";
    vm.run(source, "fmt.nut");
    const std::vector<std::string>& p = vm.prints();
    ASSERT_GE(p.size(), 4u) << vm.printed();
    EXPECT_EQ(p[0], "\nAN ERROR HAS OCCURED [unknown]\n");
    const std::vector<std::string> locals = {
        "[long] \"" + std::string(1000, 'y') + "...\"\n",   // a long text shows its start
        "[big] 0.10000000149012\n", "[none] NULL\n",   "[w] WEAKREF\n", "[i] INSTANCE\n",
        "[c] CLOSURE\n",            "[a] ARRAY\n",     "[t] TABLE\n",   "[n] -7\n",
        "[this] TABLE\n",
    };
    auto start = std::find(p.begin(), p.end(), "\nLOCALS\n");
    ASSERT_NE(start, p.end()) << vm.printed();
    ASSERT_GE(size_t(p.end() - start), locals.size() + 1) << vm.printed();
    for (size_t i = 0; i < locals.size(); ++i) EXPECT_EQ(start[1 + i], locals[i]) << vm.printed();
}

TEST(StdAux, CompileErrorPrintsSourceLineAndColumn)
{
    ScriptVm vm;
    EXPECT_EQ(vm.run("local a = 1;\nlocal b = 2;\nlocal c = ;\n", "scripts\\bad.nut"),
              "compile error: expression expected");
    ASSERT_EQ(vm.prints().size(), 1u) << vm.printed();
    const std::regex shape(R"(scripts\\bad\.nut line = \(3\) column = \(\d+\) : error expression expected\n)");
    EXPECT_TRUE(std::regex_match(vm.prints()[0], shape)) << vm.prints()[0];
}

TEST(StdAux, CallStackAfterAFailedCallHasOnlyTheHeaders)
{
    ScriptVm vm;
    vm.run("throw \"x\";");
    vm.clearPrints();
    sqstd_printcallstack(vm.vm());
    const std::vector<std::string> expected = {"\nCALLSTACK\n", "\nLOCALS\n"};
    EXPECT_EQ(vm.prints(), expected);
}

TEST(StdAux, CaughtErrorsAreNotReported)
{
    ScriptVm vm;
    EXPECT_EQ(vm.run("try { local x = nothere; } catch (e) { return \"caught\"; }"), "caught");
    EXPECT_TRUE(vm.prints().empty()) << vm.printed();
}

TEST(StdAux, NothingIsPrintedWithoutAPrintFunction)
{
    ScriptVm vm;
    sq_setprintfunc(vm.vm(), nullptr);
    EXPECT_EQ(vm.run("throw \"quiet\";"), "error: quiet");
    EXPECT_EQ(vm.run("local c = ;"), "compile error: expression expected");
    sqstd_printcallstack(vm.vm());
    EXPECT_TRUE(vm.prints().empty());
}

}  // namespace
