#include "module_scripting_report.h"

#include "module_scripting_binding.h"
#include "msgbox_recorder.h"
#include "temp_folder.h"
#include "utils_debug.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string str(const CString& s) { return std::string((const char*)s, size_t(s.GetLength())); }

class ScriptReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetLogFolder(Logs.path().c_str());
        SquirrelVM::Init();
        sq_setprintfunc(SquirrelVM::GetVMPtr(), ScriptPrintFunc);
        GetScriptPrintBuffer().Empty();
        // Every report asks whether to go on; "No" would end the test program.
        for (int i = 0; i < 4; ++i)
            Boxes.answerNext(IDYES);
    }
    void TearDown() override
    {
        SetScriptDebugHintSource(nullptr);
        SquirrelVM::Shutdown();
        GetScriptPrintBuffer().Empty();
        SetLogFolder(nullptr);
    }

    // Runs the code; a script error comes back as the report the host would show.
    void run(const char* code)
    {
        try {
            SquirrelVM::RunScript(SquirrelVM::CompileBuffer(code, "report_test.nut"));
        } catch (const SquirrelError& e) {
            ShowScriptError(e.desc, code);
        }
    }

    std::string onlyBox() const
    {
        EXPECT_EQ(Boxes.Boxes.size(), 1u);
        return Boxes.Boxes.empty() ? std::string() : Boxes.Boxes.back().Text;
    }

    CTempFolder Logs;
    CMessageBoxRecorder Boxes;
};

}  // namespace

TEST_F(ScriptReport, EachPrintAddsOneTrimmedLine)
{
    run("print(\"first \\t\"); print(\"second\\r\\n\\n\"); print(\"100%d %s\");");
    EXPECT_EQ(str(GetScriptPrintBuffer()), "first\nsecond\n100%d %s\n");
    ScriptPrintFunc(SquirrelVM::GetVMPtr(), "%s=%d", "n", 5);
    EXPECT_EQ(str(GetScriptPrintBuffer()), "first\nsecond\n100%d %s\nn=5\n");
}

TEST_F(ScriptReport, RuntimeErrorThreeCallsDeepShowsStackAndPrints)
{
    run("function inner(x) { print(\"about to fail \" + x); throw \"deep failure\"; }\n"
        "function middle(x) { inner(x + 1); }\n"
        "function outer() { print(\"outer runs\"); middle(1); }\n"
        "outer();\n");
    std::string box = onlyBox();
    EXPECT_EQ(box.rfind("deep failure\n\nLatest prints:\n", 0), 0u) << box;
    EXPECT_NE(box.find("outer runs\nabout to fail 2\n"), std::string::npos) << box;
    // The VM's error handler printed the stack at the failure.
    for (const char* frame : {"inner", "middle", "outer", "report_test.nut"})
        EXPECT_NE(box.find(frame), std::string::npos) << frame << "\n" << box;
    EXPECT_EQ(box.find("Script step description:"), std::string::npos);
    EXPECT_NE(box.find("Yes to continue, No to stop"), std::string::npos);
    // The report takes the prints and leaves a mark that earlier ones were cut.
    EXPECT_EQ(str(GetScriptPrintBuffer()), "...\n");
    EXPECT_EQ(Logs.read("last_scriptcomp_error_alert.log").rfind("deep failure", 0), 0u);
    // The VM stays usable.
    run("print(\"after\");");
    EXPECT_EQ(str(GetScriptPrintBuffer()), "...\nafter\n");
}

TEST_F(ScriptReport, StackOverflowShowsTheInnermostAndOutermostCalls)
{
    run("function runaway(n) { return 1 + runaway(n + 1); }\n"
        "function start() { runaway(0); }\n"
        "start();\n");
    std::string box = onlyBox();
    EXPECT_EQ(box.rfind("stack overflow\n\nLatest prints:\n", 0), 0u) << box;
    const char* const parts[] = {
        "\nAN ERROR HAS OCCURED [stack overflow]\n\nCALLSTACK\n*FUNCTION [runaway()] report_test.nut line [1]\n",
        " more calls ...\n*FUNCTION [runaway()] report_test.nut line [1]\n",
        "*FUNCTION [start()] report_test.nut line [2]\n*FUNCTION [main()] report_test.nut line [3]\n",
    };
    for (const char* part : parts)
        EXPECT_NE(box.find(part), std::string::npos) << part << "\n" << box;
    EXPECT_LT(box.size(), 4000u) << "forty thousand calls are not all listed";
}

TEST_F(ScriptReport, DebugHintAndCarriageReturns)
{
    CString hint = "loading the\r\nmain menu";
    SetScriptDebugHintSource(&hint);
    ShowScriptError("100% broken %s%n\r", nullptr);
    std::string box = onlyBox();
    EXPECT_EQ(box.rfind("100% broken %s%n\n\nLatest prints:\n", 0), 0u) << box;
    EXPECT_NE(box.find("\n\nScript step description:\nloading the\nmain menu"), std::string::npos) << box;
    EXPECT_EQ(box.find('\r'), std::string::npos);
}

TEST_F(ScriptReport, PrintBufferKeepsOnlyTheLatestPart)
{
    std::string line(99, 'p');
    for (int i = 0; i < 3000; ++i)
        ScriptPrintFunc(SquirrelVM::GetVMPtr(), "%s %d", line.c_str(), i);
    std::string buffer = str(GetScriptPrintBuffer());
    EXPECT_LE(buffer.size(), 64u * 1024u + 4u);
    EXPECT_GT(buffer.size(), 32u * 1024u);
    EXPECT_EQ(buffer.rfind("...\n" + line + " ", 0), 0u);   // cut at a line start
    EXPECT_EQ(buffer.substr(buffer.size() - 6), " 2999\n");
}

TEST_F(ScriptReport, CallStackTextDoesNotLandInThePrintBuffer)
{
    struct Probe {
        static SQInteger native(HSQUIRRELVM v)
        {
            StackHandler sa(v);
            CString stack = GetScriptCallStackText();
            return sa.Return((const char*)stack);
        }
    };
    SquirrelVM::CreateFunctionGlobal(Probe::native, "stackText", nullptr);
    SquirrelObject result =
        SquirrelVM::RunScript(SquirrelVM::CompileBuffer("function level2() { return stackText(); } return level2();", "s.nut"));
    ASSERT_NE(result.ToString(), nullptr);
    EXPECT_NE(std::string(result.ToString()).find("level2"), std::string::npos);
    EXPECT_TRUE(GetScriptPrintBuffer().IsEmpty());
    result.Reset();
    SquirrelVM::Shutdown();
    EXPECT_TRUE(GetScriptCallStackText().IsEmpty());
}
