// The ways the real program ends: a script's exit request, the end state,
// and the window closed the way a window manager closes it. Each runs the
// exit sequence and leaves the options and the profile saved, exit code 0.
#include "acceptance_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace acceptance;
using sample::contains;

namespace {

const char* const Ini = "AppDataFolder=AccGame\nLanguage=en\nXResolution=640\nYResolution=480\nActiveProfile=Tester\n";

void writeGame(const GameDir& game, const std::string& play)
{
    game.put("game.ini", Ini);
    // A dialog that pauses at the exit level. The data has no "\gui\empty.png"
    // for the dialog's own node: the engine stands in for it.
    game.put("data/dialogs/ender.dlg", "-DialogName: ender\n-Pause: 90\n[Sprite]\n-Texture: ?fill[c255,w4,h4]\n-Size: 1\n");
    game.put("data/manifest.xml", manifestXml());
    game.put("data/scripts/startup.nut",
             scriptPrelude() + "whenPlaying(function() {\n  core_SetProfileOption(\"leaving\", 1);\n  save(\"playing.txt\", 1);\n  " +
                 play + "\n  return true;\n});\n");
}

void expectSavedInOrder(const GameDir& game, const SRun& run)
{
    EXPECT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_TRUE(contains(game.user("pr_VGVzdGVy.ini"), "\nOptionLong[leaving]=1\n")) << game.user("pr_VGVzdGVy.ini");
    EXPECT_EQ(game.user("game_options.ini"), "ActiveProfile=Tester\nPastProfiles=Tester\n");
    EXPECT_FALSE(game.has("last_crashes.log"));
    EXPECT_FALSE(game.has("last_scriptcomp_error_alert.log"));
}

struct SExitCase {
    const char* Name;
    const char* Code;
};

class AcceptanceExit : public ::testing::TestWithParam<SExitCase> {};

TEST_P(AcceptanceExit, ScriptEndsTheGameAndEverythingIsSaved)
{
    GameDir game;
    writeGame(game, GetParam().Code);
    SRun run = game.run({"Debug=1"});
    expectSavedInOrder(game, run);
    EXPECT_FALSE(contains(run.Stderr, "Orphaned Nodes found!")) << run.Stderr;
}

INSTANTIATE_TEST_SUITE_P(Ways, AcceptanceExit,
                         ::testing::Values(SExitCase{"RequestExit", "core_CloseGame();"},
                                           SExitCase{"EndState", "core_SetGameState(999);"},
                                           SExitCase{"PauseLevel90", "core_OpenDialog(\"ender\");"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(AcceptanceExitWindow, ClosingTheWindowEndsTheGameInOrder)
{
    if (!sample::hasCommand("xdotool"))
        GTEST_SKIP() << "needs xdotool";
    XDisplay display;
    if (display.name().empty())
        GTEST_SKIP() << "no Xvfb";
    GameDir game;
    writeGame(game, "");
    pid_t pid = game.start({"Renderer=2"}, SScreen{true, display.name()});
    std::string window;
    ASSERT_TRUE(waitFor([&] {
        window = sample::commandOutput(display.command("xdotool search --name . 2>/dev/null | head -1"));
        return !window.empty() && game.has("playing.txt");
    }));
    ASSERT_TRUE(sample::askWindowToClose(display.name(), std::strtoul(window.c_str(), nullptr, 10)));
    SRun run = game.finish(pid);
    expectSavedInOrder(game, run);
}

} // namespace
