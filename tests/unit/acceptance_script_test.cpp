// Script actions and script errors as a game meets them on the null driver:
// a click action named by function or written as code, a function without a
// parameter, a report answered "No", and reports nobody can answer.
#include "input_fixture.h"

#include "mutations.h"

#include "module_dialogfactory.h"
#include "module_mousekeyb.h"
#include "module_scripting.h"
#include "msgbox_recorder.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "temp_folder.h"
#include "wall_clock.h"
#include "utils_debug.h"
#include "utils_system_common.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define ACCEPTANCE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ACCEPTANCE_UNDER_ASAN 1
#endif
#endif

namespace {

using irr::core::vector3df;
using Log = std::vector<std::string>;

class ClickScripts : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        script("function named(t) { ::log.append(\"named \" + t._id + \"/\" + t._parentid); }"
               "function coded() {"
               "    local t = core_se_GetRelated();"
               "    ::log.append(\"coded \" + t._id + \"/\" + t._parentid);"
               "}"
               "function bare() { ::log.append(\"bare\"); }");
        Boxes.Boxes.clear();
    }

    CNodeBasement* make(const std::string& action)
    {
        const std::string text =
            "raw://\n-Texture:?fill[c1,w64,h32]\n-Size: w2 h2\n-Event.Mouse.Click.Action: " + action + "\n";
        return addSprite(text.c_str(), 1, 1, vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
    }
    // A frame for the new button, then press and release.
    void clickNewButton()
    {
        ASSERT_TRUE(step());
        moveTo(centre());
        mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
        ASSERT_TRUE(step());
        mouse(irr::EMIE_LMOUSE_LEFT_UP);
        ASSERT_TRUE(step());
    }

    CMessageBoxRecorder Boxes;
};

TEST_F(ClickScripts, ActionIsAFunctionNameOrCodeThatSeesTheTableAsRelated)
{
    struct Case {
        const char* action;
        const char* logged;
    };
    const Case cases[] = {
        {"named", "named"},
        {"coded()", "coded"},
        {"coded();", "coded"},
        {"::log.append(\"plain\");", "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        CNodeBasement* node = make(c.action);
        ASSERT_NE(node, nullptr);
        const std::string ids = " " + std::to_string(node->getID()) + "/1001";
        clickNewButton();
        const std::string expected = std::string(c.logged) + (std::string(c.logged) == "plain" ? "" : ids);
        EXPECT_EQ(scriptLog(), Log({expected}));
        EXPECT_EQ(*CInputState::getReleasedNodeId(), 0) << "the action took the click";
        EXPECT_EQ(Engine.getScripts()->getRelatedObject(), nullptr) << "related only during the call";
        deleteNode(node);
        ASSERT_TRUE(step());
        script("log.clear();");
    }
    EXPECT_TRUE(Boxes.Boxes.empty()) << Boxes.Boxes[0].Text;
}

TEST_F(ClickScripts, FunctionWithoutAParameterIsReportedAndTheGameGoesOn)
{
    make("bare");
    Boxes.answerNext(IDYES);
    clickNewButton();
    EXPECT_TRUE(scriptLog().empty()) << "the function never ran";
    ASSERT_EQ(Boxes.Boxes.size(), 1u) << Boxes.Boxes[0].Text;
    const std::string& report = Boxes.Boxes[0].Text;
    EXPECT_NE(report.find("wrong number of parameters"), std::string::npos) << report;
    EXPECT_NE(report.find("Calling precompiled method"), std::string::npos) << report;
    EXPECT_NE(report.find("bare"), std::string::npos) << report;
    EXPECT_NE(report.find("\nYes to continue, No to stop"), std::string::npos) << report;
    EXPECT_FALSE(Engine.isExitRequested());
    script("::log.append(\"still running\");");
    EXPECT_EQ(scriptLog(), Log({"still running"}));
}

// A misspelt function: the report says it does not exist and which sprite of
// which description asked for it, where the call once only "failed".
TEST_F(ClickScripts, MissingFunctionIsNamedWithTheSpriteThatAskedForIt)
{
    const struct {
        const char* key;
        const char* function;
    } cases[] = {
        {"-Event.Mouse.Click.Action:", "onClik"},
        // Its table holds the node's state, without "_id".
        {"-Event.Mouse.Over.Tooltip: ?tip\n-Event.Mouse.Over.Tooltip.ByScript:", "onTipp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        CTempFolder folder;
        folder.write("play.spr", std::string("-Texture:?fill[c1,w64,h32]\n-Size: w2 h2\n-Name: play_button\n") +
                                     c.key + " " + c.function + "\n");
        CNodeBasement* node =
            addSprite(folder.file("play.spr").c_str(), 1, 1, vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
        ASSERT_NE(node, nullptr);
        Boxes.Boxes.clear();   // the texture cache's note on a sprite outside the data folder
        Boxes.answerNext(IDYES);
        clickNewButton();
        ASSERT_EQ(Boxes.Boxes.size(), 1u);
        const std::string& report = Boxes.Boxes[0].Text;
        EXPECT_EQ(report.rfind("Error the function '" + std::string(c.function) +
                                   "' does not exist, Calling precompiled method '(null) " + c.function + "'\n"
                                   "asked for by the sprite 'play_button' of '" + folder.file("play.spr") + "'", 0),
                  0u)
            << report;
        EXPECT_FALSE(Engine.isExitRequested());
        deleteNode(node);
        ASSERT_TRUE(step());
        clearSpriteCache();
    }
}

// The action runs out of memory in a child process held to a little more address space than it
// has: the report names it, and the game goes on with the memory back.
TEST_F(ClickScripts, ActionThatExhaustsMemoryIsReportedAndTheGameGoesOn)
{
#ifdef ACCEPTANCE_UNDER_ASAN
    GTEST_SKIP() << "the address sanitizer's own mappings do not fit under an address-space limit";
#endif
    script("function greedy(t) { local all = {}; for (local i = 0; ; i++) all[i] <- t; }");
    make("greedy");
    const std::string alert = Program.Folder.file("never_written.log");
    SMutationReport report = RunMutationCases(1, [this](int) -> std::string {
        size_t pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%zu", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        rlim_t bytes = pages * size_t(sysconf(_SC_PAGESIZE)) + (size_t(256) << 20);
        rlimit limit = {bytes, bytes};
        setrlimit(RLIMIT_AS, &limit);
        Boxes.answerNext(IDYES);
        if (!step(250)) return "no frame";
        moveTo(centre());
        mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
        if (!step()) return "no frame";
        mouse(irr::EMIE_LMOUSE_LEFT_UP);
        if (!step()) return "no frame after the click";
        if (Boxes.Boxes.size() != 1) return "reports: " + std::to_string(Boxes.Boxes.size());
        const std::string& text = Boxes.Boxes[0].Text;
        if (text.find("Calling precompiled method") == std::string::npos ||
            text.find("AN ERROR HAS OCCURED [out of memory]\n\nCALLSTACK\n*FUNCTION [greedy()]") == std::string::npos)
            return text;
        if (Engine.isExitRequested()) return "exit requested";
        for (int i = 0; i < 3; ++i)
            if (!step()) return "no frame after the report";
        script("::log.append(\"still running \" + array(6000000, 0).len());");
        if (scriptLog() != Log({"still running 6000000"})) return "the script after the report did not run";
        return "";
    }, alert);
    EXPECT_TRUE(report.Faults.empty()) << report.Faults[0];
    EXPECT_EQ(report.Passed, 1);
}

using ClickScriptsDeathTest = ClickScripts;

TEST_F(ClickScriptsDeathTest, ScriptErrorAnsweredNoEndsWithCodeOne)
{
    make("named(undefinedInTheAction)");
    EXPECT_EXIT(
        {
            Boxes.answerNext(IDNO);
            clickNewButton();
        },
        ::testing::ExitedWithCode(1), "");
}

// A game's dialog record that gives every dialog frame code of its own.
class CFramedDialog : public CDialogInfo {
public:
    void applyCustomKeys(CNodeBasement*, const CString&, const CStringArray&) override
    {
        repeatAction = "::log.append(\"frame\");";
    }
};

class CFramedClient : public CFakeEngineClient {
public:
    CDialogInfo* createDialogInfo() override { return new CFramedDialog; }
};

class DialogScripts : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        CFramedClient* client = new CFramedClient;
        Engine.setClient(client);
        client->drop();
        Client = client;
    }
    int count(const std::string& entry)
    {
        const Log log = scriptLog();
        return int(std::count(log.begin(), log.end(), entry));
    }
    CTempFolder Files;
};

TEST_F(DialogScripts, CreateFrameAndDestroyCodeRunAtOpenEveryUpdateAndClose)
{
    Files.write("framed.dlg", "-DialogName: framed\n-Event.OnCreate.Action: ::log.append(\"created\");\n"
                              "-Event.OnDestroy.Action: ::log.append(\"destroyed\");\n");
    CDialogFactory::registerDialogDescription(Files.file("framed.dlg").c_str());
    ASSERT_NE(CDialogFactory::createDialog(CDialogFactory::getDialogDescription("framed"), vector3df(0, 0, 0), nullptr),
              nullptr);
    EXPECT_EQ(scriptLog(), Log({"created"})) << "at once, while the dialog is built";
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(step(30));
    const int frames = count("frame");
    EXPECT_GE(frames, 2) << "the frame code runs on the dialog's updates";
    EXPECT_EQ(count("destroyed"), 0);

    Engine.closeDialog("framed", 0);
    ASSERT_TRUE(step(30));
    ASSERT_TRUE(step(30));
    EXPECT_EQ(count("destroyed"), 1);
    EXPECT_EQ(scriptLog().back(), "destroyed");
    EXPECT_LE(count("frame"), frames + 1) << "no frame code once the dialog is gone";
    ASSERT_TRUE(step(30));
    EXPECT_EQ(count("destroyed"), 1) << "once";
}

TEST_F(DialogScripts, LocalTimerWithoutANodeLivesAndEndsWithTheTopDialog)
{
    Files.write("host.dlg", "-DialogName: host\n");
    CDialogFactory::registerDialogDescription(Files.file("host.dlg").c_str());
    script("localId <- core_SetIntervalLocal(null, 0, \"::log.append(\\\"early\\\");\");");
    ASSERT_NE(CDialogFactory::createDialog(CDialogFactory::getDialogDescription("host"), vector3df(0, 0, 0), nullptr),
              nullptr);
    script("localId <- core_SetIntervalLocal(null, 0, \"::log.append(\\\"local\\\");\");");
    ASSERT_TRUE(step(30));
    ASSERT_TRUE(step(30));
    EXPECT_EQ(count("early"), 0) << "no dialog was open: no timer";
    const int ticks = count("local");
    EXPECT_GE(ticks, 1);

    Engine.closeDialog("host", 0);
    ASSERT_TRUE(step(30));
    const int atClose = count("local");
    EXPECT_LE(atClose, ticks + 1);
    ASSERT_TRUE(step(30));
    ASSERT_TRUE(step(30));
    EXPECT_EQ(count("local"), atClose) << "the timer went with the dialog's node";
}

// A user setting the clock, or a time sync at start, steps the wall clock; the
// game's timers keep to the time that passed, on any time base.
TEST_F(InputFixture, WallClockStepsNeitherStopNorHurryTimers)
{
    CSteppedWallClock wall;
    Engine.FramePeriodMs = 0;   // only the steps move the clocks
    script("core_SetInterval(100, \"::log.append(\\\"interval\\\");\");"
           "core_SetTimeout(1000, \"::log.append(\\\"timeout\\\");\");"
           "core_SetIntervalTimer(core_SetInterval(100, \"::log.append(\\\"scaled\\\");\"), 1);");
    std::map<std::string, std::vector<int>> fired;
    for (int frame = 1; frame <= 80; ++frame) {
        if (frame == 10)
            wall.step(-10000);   // back 10 s, then forward 10 s twice
        if (frame == 25 || frame == 35)
            wall.step(10000);
        wall.step(20);
        const size_t before = scriptLog().size();
        ASSERT_TRUE(step(20));
        const Log log = scriptLog();
        for (size_t i = before; i < log.size(); ++i)
            fired[log[i]].push_back(frame);
    }
    // 20 ms frames: the intervals every fifth frame from their first update on,
    // the timeout once, 1000 ms after that update.
    for (const char* interval : {"interval", "scaled"}) {
        const std::vector<int>& frames = fired[interval];
        ASSERT_EQ(frames.size(), 16u) << interval;
        for (size_t i = 1; i < frames.size(); ++i)
            EXPECT_EQ(frames[i], frames[i - 1] + 5) << interval << " firing " << i;
    }
    EXPECT_EQ(fired["timeout"], std::vector<int>({fired["interval"].front() + 50}));
}

// No person, no test hook: the report goes to standard error and the run
// goes on, as in fullscreen.
TEST(HeadlessReports, PlainQuestionsCountAsYesOtherBoxesAsDismissed)
{
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    platform::SetBoxesInteractive(0);
    platform::MessageBoxHook previous = platform::SetMessageBoxHook(nullptr);
    ::testing::internal::CaptureStderr();
    const int goOn = FatalError("Error the index 'x' does not exist", true);
    const int yes = EngineMessageBox("Continue?", MB_YESNO);
    const int iconQuestion = EngineMessageBox("Continue?", MB_YESNO | MB_ICONQUESTION);
    const int ok = EngineMessageBox("Done", MB_OK);
    const std::string err = ::testing::internal::GetCapturedStderr();
    platform::SetMessageBoxHook(previous);
    platform::SetBoxesInteractive(-1);
    SetLogFolder(nullptr);
    EXPECT_EQ(goOn, 0) << "FatalError returned: the run goes on";
    EXPECT_EQ(yes, IDYES);
    EXPECT_EQ(iconQuestion, 0) << "a question with its own icon is dismissed, as in fullscreen";
    EXPECT_EQ(ok, 0);
    EXPECT_NE(err.find("Error the index 'x' does not exist\nYes to continue, No to stop\n[answered 6]"),
              std::string::npos)
        << err;
    EXPECT_EQ(logs.read("last_scriptcomp_error_alert.log"), "Error the index 'x' does not exist");
}

}  // namespace
