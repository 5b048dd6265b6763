// Diagnostics of the real program: the debug log that goes on from run to
// run, the alert file and exit code of a fatal error, the crash log, the
// profiler report in debug mode, and no message box that could wait for a
// person when the game runs fullscreen or without a display.
#include "acceptance_support.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <regex>
#include <string>
#include <vector>

using namespace acceptance;
using sample::contains;

namespace {

const char* const Ini = "AppDataFolder=AccGame\nLanguage=en\nXResolution=640\nYResolution=480\n";

void writeGame(const GameDir& game, const std::string& script, const std::string& ini = Ini)
{
    game.write(ini, script);
}

size_t count(const std::string& text, const std::string& part)
{
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

TEST(AcceptanceDiagnostics, DebugLogGoesOnAcrossRunsInItsLineForm)
{
    GameDir game;
    game.put("data/sprites/dot.spr", "-Texture: ?fill[c255,w4,h4]\n-Size: 1 1\n");
    writeGame(game, "whenPlaying(function() { core_CreateSprite(\"sprites\\\\dot.spr\", {}); });\n");
    SRun first = game.run({});
    ASSERT_EQ(first.ExitCode, 0) << game.trace(first);
    const std::string firstLog = game.get("last_debug.log");
    ASSERT_FALSE(firstLog.empty());

    SRun second = game.run({});
    ASSERT_EQ(second.ExitCode, 0) << game.trace(second);
    const std::string log = game.get("last_debug.log");
    EXPECT_EQ(log.rfind(firstLog, 0), 0u) << log;
    EXPECT_GT(log.size(), firstLog.size());

    // Every line: date, a blank, time, a tab, the text; some carry their
    // source as " (file:line)".
    const std::regex line(R"([^ \t]+ [0-9]{2}:[0-9]{2}:[0-9]{2}\t.*)");
    const std::regex located(R"(.*\tAdding to sprite cache '.*' \(.+:[0-9]+\))");
    int withSource = 0;
    for (const std::string& text : lines(log)) {
        EXPECT_TRUE(std::regex_match(text, line)) << text;
        withSource += std::regex_match(text, located) ? 1 : 0;
    }
    EXPECT_EQ(withSource, 2) << log;
}

// A fatal error writes its message to the alert file and ends the program
// with exit code 1, also fullscreen with a display and a person who could
// answer: no box may wait there.
TEST(AcceptanceDiagnostics, FatalErrorWritesTheAlertFileAndExitsWithOne)
{
    const std::string broken = "<?xml version=\"1.0\"?>\n<Manifest>\n<Cursors></Cursors>\n</Manifest>\n";
    const std::string expected = "Wrong XML: node name does not match description\n'Cursors' found while seeking for 'Fonts'\n";
    {
        GameDir game;
        writeGame(game, "");
        game.put("data/manifest.xml", broken);
        SRun run = game.run({});
        EXPECT_EQ(run.ExitCode, 1) << game.trace(run);
        EXPECT_EQ(game.get("last_scriptcomp_error_alert.log").rfind(expected, 0), 0u)
            << game.get("last_scriptcomp_error_alert.log");
        EXPECT_TRUE(contains(game.get("last_debug.log"), "\t" + expected)) << game.get("last_debug.log");
    }
    XDisplay display;
    if (display.name().empty())
        GTEST_SKIP() << "no Xvfb";
    GameDir game;
    writeGame(game, "");
    game.put("data/manifest.xml", broken);
    game.setEnv("ENGINE_NONINTERACTIVE", "");
    game.setEnv("CI", "");
    SRun run = game.run({"Fullscreen=1", "Renderer=2"}, SScreen{true, display.name()});
    EXPECT_EQ(run.ExitCode, 1) << game.trace(run);
    EXPECT_EQ(game.get("last_scriptcomp_error_alert.log").rfind(expected, 0), 0u);
}

// A script error offers to go on; fullscreen or unattended that counts as
// yes, as does a script's own yes/no question, and the game plays on.
TEST(AcceptanceDiagnostics, QuestionsCountAsYesFullscreenAndUnattended)
{
    const std::string script =
        "function boom() { undefined_function_here(); }\n"
        "whenPlaying(function() {\n"
        "  core_SetTimeout(50, \"boom()\");\n"
        "  core_SetTimeout(150, \"save(\\\"asked.txt\\\", core_AskYesNo(\\\"Go on?\\\"))\");\n"
        "  core_SetTimeout(250, \"core_CloseGame()\");\n"
        "  return true;\n"
        "});\n";
    {
        GameDir game;
        writeGame(game, script);
        SRun run = game.run({});
        EXPECT_EQ(run.ExitCode, 0) << game.trace(run);
        EXPECT_EQ(game.get("asked.txt"), "true");
        EXPECT_TRUE(contains(game.get("last_scriptcomp_error_alert.log"), "undefined_function_here"));
    }
    XDisplay display;
    if (display.name().empty())
        GTEST_SKIP() << "no Xvfb";
    GameDir game;
    writeGame(game, script);
    game.setEnv("ENGINE_NONINTERACTIVE", "");
    game.setEnv("CI", "");
    SRun run = game.run({"Fullscreen=1", "Renderer=2"}, SScreen{true, display.name()});
    EXPECT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("asked.txt"), "true");
    EXPECT_TRUE(contains(game.get("last_scriptcomp_error_alert.log"), "undefined_function_here"));
    EXPECT_FALSE(contains(run.Stderr, "[message box]")) << run.Stderr;
}

// A crash (a bad access, an arithmetic fault, an abort) appends a report to
// the crash log and ends with exit code 1; the log keeps the reports of
// earlier crashes, oldest first.
TEST(AcceptanceDiagnostics, CrashIsReportedInTheCrashLog)
{
    GameDir game;
    writeGame(game, "whenPlaying(function() { save(\"playing.txt\", 1); core_SetTimeout(20000, \"core_CloseGame()\"); "
                    "return true; });\n");
    const int signals[] = {SIGSEGV, SIGFPE, SIGABRT};
    for (int crash = 1; crash <= 3; ++crash) {
        std::error_code error;
        fs::remove(game.Root / "playing.txt", error);
        pid_t pid = game.start({});
        ASSERT_TRUE(waitFor([&] { return game.has("playing.txt"); }));
        kill(pid, signals[crash - 1]);
        SRun run = game.finish(pid);
        EXPECT_EQ(run.ExitCode, 1) << game.trace(run);
        const std::string log = game.get("last_crashes.log");
        EXPECT_EQ(count(log, "] New crash 0x"), size_t(crash)) << log;
        EXPECT_EQ(count(log, "=== begin BfxDumpStack() output ===\r\n"), size_t(crash)) << log;
        EXPECT_EQ(count(log, "=== end BfxDumpStack() output ===\r\n"), size_t(crash)) << log;
        EXPECT_EQ(log.rfind("\r\n\r\n===========================\r\n[", 0), 0u) << log;
    }
}

// Debug mode writes the profiler report at exit; a run that frees every
// node reports no orphans.
TEST(AcceptanceDiagnostics, DebugModeWritesTheProfilerReportAtExit)
{
    GameDir game;
    game.put("data/sprites/dot.spr", "-Texture: ?fill[c255,w4,h4]\n-Size: 1 1\n");
    writeGame(game, "whenPlaying(function() { core_CreateSprite(\"sprites\\\\dot.spr\", {}); });\n");
    SRun run = game.run({"Debug=1"});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    const std::string report = game.get("last_anihitparad.log");
    EXPECT_EQ(report.rfind("\n\nAnti-hitparad:\n", 0), 0u) << report;
    EXPECT_TRUE(contains(report, "\n--\n\n")) << report;
    EXPECT_EQ(report.substr(report.size() < 9 ? 0 : report.size() - 9), "the end\n\n");
    EXPECT_FALSE(contains(run.Stderr + game.get("last_debug.log"), "Orphaned Nodes found!"));

    GameDir quiet;
    writeGame(quiet, "whenPlaying(function() {});\n");
    ASSERT_EQ(quiet.run({}).ExitCode, 0);
    EXPECT_FALSE(quiet.has("last_anihitparad.log"));
}

} // namespace
