// The script host: loading with markers, compile and run errors, calls by
// name and by code, the code cache, the frame-end queue and re-entrant calls.
#include "module_scripting.h"

#include "module_scripting_report.h"
#include "msgbox_recorder.h"
#include "node_helpers_desc.h"
#include "null_file_system.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_log;
CScriptModule* g_host = nullptr;

SQInteger nativeRecord(HSQUIRRELVM v)
{
    StackHandler sa(v);
    g_log.push_back(sa.GetString(2));
    return 0;
}

SQInteger nativeQueue(HSQUIRRELVM v)
{
    StackHandler sa(v);
    g_host->queueScriptCall(sa.GetString(2));
    return 0;
}

SQInteger nativeRemoveQueued(HSQUIRRELVM v)
{
    StackHandler sa(v);
    g_host->removeQueuedCalls(sa.GetString(2));
    return 0;
}

// Compiles and runs code while the calling script is still running.
SQInteger nativeRunNested(HSQUIRRELVM v)
{
    StackHandler sa(v);
    return sa.Return(g_host->callScriptCode(sa.GetString(2), nullptr, sa.GetBool(3)));
}

SQInteger nativeRelated(HSQUIRRELVM v)
{
    StackHandler sa(v);
    SquirrelObject* related = g_host->getRelatedObject();
    return sa.Return(related ? *related : SquirrelObject());
}

class ScriptHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        App = Folder.path() + "app/";
        std::filesystem::create_directories(App + "data/scripts");
        SetAppFolder(App.c_str());
        SetLogFolder(Folder.path().c_str());
        GetDefaultEngineContext().ManifestLoaded = true;
        ClearTextFileCache();
        GetScriptPrintBuffer().Empty();
        for (int i = 0; i < 8; ++i)
            Boxes.answerNext(IDYES);   // "No" would end the test program
        Host.reset(new CScriptModule);
        g_host = Host.get();
        g_log.clear();
        SquirrelVM::CreateFunctionGlobal(nativeRecord, "record", "s");
        SquirrelVM::CreateFunctionGlobal(nativeQueue, "queue", "s");
        SquirrelVM::CreateFunctionGlobal(nativeRemoveQueued, "unqueue", "s");
        SquirrelVM::CreateFunctionGlobal(nativeRunNested, "runNested", "sb");
        SquirrelVM::CreateFunctionGlobal(nativeRelated, "getRelated", nullptr);
    }

    void TearDown() override
    {
        Host.reset();
        g_host = nullptr;
        ClearTextFileCache();
        GetDefaultEngineContext().ManifestLoaded = false;
        GetDefaultEngineContext().DebugMode = 0;
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
        ClearNativePathCache();
    }

    // After the files are written: a mounted folder lists its files once.
    void mountData() { ASSERT_TRUE(Fs.mount(App + "data/", true)); }
    void writeData(const std::string& name, const std::string& text) { Folder.write("app/data/" + name, text); }
    std::string compileLog() const { return Folder.read("last_scriptcomp_error.log"); }
    std::vector<std::string> boxTexts() const
    {
        std::vector<std::string> texts;
        for (const SRecordedBox& box : Boxes.Boxes)
            texts.push_back(box.Text);
        return texts;
    }
    void define(const char* code) { Host->compileCode(code, true, false); }

    CTempFolder Folder;
    std::string App;
    CNullFileSystem Fs;
    CMessageBoxRecorder Boxes;
    std::unique_ptr<CScriptModule> Host;
};

using Log = std::vector<std::string>;

}  // namespace

// Also an editor's byte-order mark before a file and included ones, scripts or not.
TEST_F(ScriptHost, LoadingHandlesEachMarker)
{
    writeData("scripts/a.nut",
              "\xEF\xBB\xBFrecord(\"a\");\n$ifdebug record(\"debug\");\n$ifnotreload record(\"notreload\");\n"
              "${include(inc.nut)}${include(frag.txt)}\n");
    writeData("scripts/inc.nut", "\xEF\xBB\xBFrecord(\"included\");");
    writeData("scripts/frag.txt", "\xEF\xBB\xBFrecord(\"fragment\");");
    writeData("scripts/b.nut", "// $noreload\nrecord(\"b\");\n");
    mountData();

    Host->addScriptFile("scripts\\a.nut", false);
    EXPECT_EQ(g_log, (Log{"a", "notreload", "included", "fragment"}));
    EXPECT_EQ(compileLog(), "record(\"a\");\n// record(\"debug\");\n record(\"notreload\");\n"
                            "record(\"included\");record(\"fragment\");\n\n\n//FILE[scripts\\a.nut]");

    GetDefaultEngineContext().DebugMode = 1;
    g_log.clear();
    Host->addScriptFile("scripts\\a.nut", true);
    EXPECT_EQ(g_log, (Log{"a", "debug", "included", "fragment"}));
    g_log.clear();
    Host->addScriptFile("scripts\\a.nut", false);
    EXPECT_EQ(g_log, (Log{"a", "debug", "notreload", "included", "fragment"}));

    g_log.clear();
    Host->addScriptFile("scripts\\b.nut", false);
    EXPECT_EQ(g_log, (Log{"b"}));
    std::string logBefore = compileLog();
    Host->addScriptFile("scripts\\b.nut", true);   // skipped entirely on a reload
    EXPECT_EQ(g_log, (Log{"b"}));
    EXPECT_EQ(compileLog(), logBefore);
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(ScriptHost, CompileErrorNamesFileLineAndColumn)
{
    writeData("scripts/bad.nut", "record(\"top\");\nlocal x = ;\n");
    mountData();
    Host->addScriptFile("scripts\\bad.nut", false);
    EXPECT_TRUE(g_log.empty()) << "no top-level code runs after a compile error";
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    const std::string& box = Boxes.Boxes[0].Text;
    EXPECT_NE(box.find("scripts\\bad.nut"), std::string::npos) << box;
    EXPECT_NE(box.find("line = (2)"), std::string::npos) << box;
    EXPECT_NE(box.find("column = ("), std::string::npos) << box;
    EXPECT_EQ(compileLog(), "record(\"top\");\nlocal x = ;\n\n\n//FILE[scripts\\bad.nut]");
    // The VM goes on.
    Host->callScriptCode("record(\"still running\");", nullptr, false);
    EXPECT_EQ(g_log, (Log{"still running"}));
}

TEST_F(ScriptHost, RuntimeErrorDeepInCallsIsReportedAndTheVmGoesOn)
{
    define("function c(x) { print(\"in c\"); throw \"failure in c\"; } function b(x) { c(x); } "
           "function a(t) { b(t); }");
    SquirrelObject result = Host->callPrecompiledMethod("a", SquirrelVM::CreateTable());
    EXPECT_TRUE(result.IsNull());
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    const std::string& box = Boxes.Boxes[0].Text;
    EXPECT_EQ(box.rfind("Error SquirrelFunction<> call failed, Calling precompiled method '(null) a'", 0), 0u) << box;
    for (const char* part : {"Latest prints:\nin c\n", "failure in c", "c()", "b()", "a()"})
        EXPECT_NE(box.find(part), std::string::npos) << part << "\n" << box;

    result = Host->callScriptCode("throw \"plain\";", nullptr, true);
    EXPECT_TRUE(result.IsNull());
    ASSERT_EQ(Boxes.Boxes.size(), 2u);
    EXPECT_EQ(Boxes.Boxes[1].Text.rfind("Error plain, Calling script code\nthrow \"plain\";", 0), 0u);

    result = Host->callScriptCode("return 1 +;", nullptr, true);
    EXPECT_TRUE(result.IsNull());
    ASSERT_EQ(Boxes.Boxes.size(), 3u);
    EXPECT_NE(Boxes.Boxes[2].Text.find(", Compiling script 'return 1 +;'"), std::string::npos);
    EXPECT_EQ(Host->getCodeCacheSize(), 1) << "failed compiles are not cached";

    EXPECT_EQ(Host->callScriptCode("return 40 + 2;", nullptr, true).ToInteger(), 42);
}

TEST_F(ScriptHost, ReloadCompilesEveryFileAndTheLastOneTwice)
{
    writeData("scripts/one.nut", "record(\"one\");");
    writeData("scripts/two.nut", "record(\"two\");");
    writeData("three.nut", "record(\"three\");");
    writeData("notes.txt", "record(\"not a script\");");
    Host->compileCode("x <- 1;", false, true);
    Host->recompileAllScripts(false, true);
    ASSERT_EQ(g_log.size(), 4u);
    EXPECT_EQ(g_log[3], g_log[2]);
    std::vector<std::string> distinct(g_log.begin(), g_log.begin() + 3);
    std::sort(distinct.begin(), distinct.end());
    EXPECT_EQ(distinct, (Log{"one", "three", "two"}));
    EXPECT_EQ(Host->getCodeCacheSize(), 0);
}

TEST_F(ScriptHost, TextsAreCodeOrFunctionNames)
{
    define("function handler(t) { record(\"handler \" + (t == null ? \"null\" : t.tag)); return 7; }"
           "handlers <- { function onClick(t) { record(\"table \" + this.name + \" \" + t.tag); } name = \"h\" }");
    SquirrelObject argument = SquirrelVM::CreateTable();
    argument.SetValue("tag", "arg");
    EXPECT_EQ(Host->callPrecompiledMethod("handler", argument).ToInteger(), 7);
    Host->callPrecompiledMethod("handler(null)", argument);   // code: the argument is not passed
    Host->callPrecompiledMethod("handler(null);", argument);
    Host->callPrecompiledMethod("record(\"plain code\");", argument);
    Host->callPrecompiledMethod("onClick", argument, "handlers");
    EXPECT_EQ(g_log, (Log{"handler arg", "handler null", "handler null", "plain code", "table h arg"}));
    EXPECT_TRUE(Boxes.Boxes.empty());

    Host->callPrecompiledMethod("handler(", argument);       // "(" without ")": a name
    Host->callPrecompiledMethod("onClick", argument, "nosuchtable");
    ASSERT_EQ(Boxes.Boxes.size(), 2u);
    EXPECT_EQ(Boxes.Boxes[0].Text.rfind("Error the function 'handler(' does not exist, Calling precompiled method '(null) handler('", 0), 0u);
    EXPECT_EQ(Boxes.Boxes[1].Text.rfind("Error the table 'nosuchtable' does not exist, Calling precompiled method 'nosuchtable onClick'", 0), 0u);
}

TEST_F(ScriptHost, RelatedObjectOnlyDuringAPrecompiledCall)
{
    define("function probe(t) { local r = getRelated(); return r == null ? -1 : r._id; }");
    SquirrelObject argument = SquirrelVM::CreateTable();
    argument.SetValue("_id", SQInteger(1234));
    EXPECT_EQ(Host->callPrecompiledMethod("probe", argument).ToInteger(), 1234);
    EXPECT_EQ(Host->getRelatedObject(), nullptr);
    EXPECT_EQ(Host->callScriptCode("return probe(null);", nullptr, false).ToInteger(), -1);
    // Code run by a precompiled call reaches the argument only through the related object.
    EXPECT_EQ(Host->callPrecompiledMethod("return getRelated()._id;", argument).ToInteger(), 1234);
    EXPECT_EQ(Host->getRelatedObject(), nullptr);
}

TEST_F(ScriptHost, CodeCacheCompilesATextOnce)
{
    define("counter <- 0;");
    const char* code = "counter += 1; return counter;";
    SquirrelObject first = Host->compileCode(code, false, true);
    EXPECT_EQ(Host->callScriptCode(code, nullptr, true).ToInteger(), 1);
    EXPECT_EQ(Host->callScriptCode(code, nullptr, true).ToInteger(), 2);
    EXPECT_EQ(Host->getCodeCacheSize(), 1);
    SquirrelObject again = Host->compileCode(code, true, true);   // a hit does not run
    EXPECT_EQ(again.GetObjectHandle()._unVal.pClosure, first.GetObjectHandle()._unVal.pClosure);
    EXPECT_EQ(Host->callScriptCode("return counter;", nullptr, false).ToInteger(), 2);
    Host->callScriptCode("counter += 1;  return counter;", nullptr, true);   // other spacing, other entry
    EXPECT_EQ(Host->getCodeCacheSize(), 2);
    Host->clearCodeCache();
    EXPECT_EQ(Host->getCodeCacheSize(), 0);
    EXPECT_EQ(Host->callScriptCode(code, nullptr, true).ToInteger(), 4);
}

TEST_F(ScriptHost, QueuedCallsRunInOrderWithCallsQueuedMeanwhile)
{
    define("function first(t) { record(\"first \" + t.n); queue(\"record(\\\"queued by first\\\");\"); }");
    SquirrelObject argument = SquirrelVM::CreateTable();
    argument.SetValue("n", SQInteger(1));
    Host->queueScriptCall("first", &argument);
    Host->queueScriptCall("record(\"second\");");
    Host->queueScriptCall("");
    Host->queueScriptCall(nullptr);
    EXPECT_EQ(Host->getQueuedCount(), 2);
    Host->runQueuedCalls();
    EXPECT_EQ(g_log, (Log{"first 1", "second", "queued by first"}));
    EXPECT_EQ(Host->getQueuedCount(), 0);
}

TEST_F(ScriptHost, RemovingQueuedCallsMatchesNamesExactly)
{
    define("function Close(t) { record(\"Close\"); } function close(t) { record(\"close\"); }"
           "function closer(t) { record(\"closer\"); unqueue(\"close\"); }");
    SquirrelObject argument = SquirrelVM::CreateTable();
    for (const char* name : {"close", "Close", "close", "closer", "close"})
        Host->queueScriptCall(name, &argument);
    Host->removeQueuedCalls("close");
    EXPECT_EQ(Host->getQueuedCount(), 2);
    Host->queueScriptCall("close", &argument);
    Host->runQueuedCalls();
    // The running "closer" removes the "close" queued after it.
    EXPECT_EQ(g_log, (Log{"Close", "closer"}));
    EXPECT_EQ(Host->getQueuedCount(), 0);
}

TEST_F(ScriptHost, ACallThatQueuesItselfEndsTheFrame)
{
    Host->queueScriptCall("loop <- function() { queue(\"loop();\"); }; loop();");
    Host->runQueuedCalls();
    EXPECT_EQ(Host->getQueuedCount(), 1) << "the rest waits for the next frame";
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(ScriptHost, NativesMayRunScriptWhileAScriptRuns)
{
    define("function outer(t) { record(\"before\"); local r = runNested(\"record(\\\"nested\\\"); return 5;\", true);"
           " record(\"after \" + r); return r + 1; }");
    EXPECT_EQ(Host->callPrecompiledMethod("outer", SquirrelVM::CreateTable()).ToInteger(), 6);
    EXPECT_EQ(Host->callScriptCode("return runNested(\"return runNested(\\\"return 3;\\\", false) * 2;\", true);",
                                   nullptr, true)
                  .ToInteger(),
              6);
    EXPECT_EQ(g_log, (Log{"before", "nested", "after 5"}));
    // An error inside the nested run is reported and the outer script goes on.
    EXPECT_EQ(Host->callScriptCode("local r = runNested(\"throw \\\"inner\\\";\", false); return r == null ? 1 : 0;",
                                   nullptr, false)
                  .ToInteger(),
              1);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text.rfind("Error inner, Calling script code", 0), 0u);
}

TEST_F(ScriptHost, InlineDescriptionValuesRunThroughTheHost)
{
    CString text;
    int number = 0;
    evaluateDescriptionValue("${Sq:return \"v\" + (6 * 7);}", &text, &number);
    EXPECT_EQ(std::string(text), "v42");
    EXPECT_EQ(readIntComponent("w${Sq:return 6 * 7;}", 'w', 0), 42);
    EXPECT_EQ(Host->getCodeCacheSize(), 2);
    EXPECT_FLOAT_EQ(readFloatComponent("a${Sq:?return 0.5;}", 'a', 0.0f), 0.5f);
    EXPECT_EQ(Host->getCodeCacheSize(), 2) << "the question-mark form is not cached";
}

TEST_F(ScriptHost, ScriptsNameFilesTheWindowsWay)
{
    std::filesystem::create_directories(App + "data/Saves");
    writeData("Saves/Game.TXT", "content");
    std::string code = "local f = file(\"" + App + "data\\\\saves\\\\game.txt\", \"r\"); return f.len();";
    EXPECT_EQ(Host->callScriptCode(code.c_str(), nullptr, false).ToInteger(), 7);
    EXPECT_TRUE(Boxes.Boxes.empty()) << (Boxes.Boxes.empty() ? "" : Boxes.Boxes[0].Text);
}
