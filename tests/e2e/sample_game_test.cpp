// The sample game in data/, run as the real program: it starts, reaches
// play, keeps its profile across runs and ends cleanly; damaged copies of its
// data end with the engine's message, never with a crash. Every run has a
// deadline and is killed when it passes.
#include "sample_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace sample;

namespace {

const char* const QuitSoon = "SampleQuitAfterMs=300";

struct SDriverCase {
    const char* Name;
    bool Window;   // false: the null driver, no display needed
};

class SampleGameRun : public ::testing::TestWithParam<SDriverCase> {
protected:
    void SetUp() override
    {
        if (GetParam().Window && !hasDisplay())
            GTEST_SKIP() << "no display and no Xvfb";
    }
};

TEST_P(SampleGameRun, ReachesPlayAndQuitsCleanly)
{
    SampleFolder game;
    SRun run = game.run({"Debug=1", QuitSoon}, SScreen{GetParam().Window});
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr << game.log("last_debug.log");

    // The script saved these once it was in play (game state 500).
    std::string profile = game.profileText();
    EXPECT_TRUE(contains(profile, "[SampleRuns]=1\n")) << profile;
    EXPECT_TRUE(contains(profile, "[SampleLastState]=500\n")) << profile;
    // The start-up script built the menu from its descriptions.
    EXPECT_TRUE(contains(profile, "[SampleMenuNodes]=menu_background,menu_title_text,play_button,about_button,"
                                  "music_button,quit_button\n"))
        << profile;
    // The title went through the transliterator text\capitals.xml.
    EXPECT_TRUE(contains(profile, "[SampleMenuTitle]=LANTERN SAMPLE\n")) << profile;

    std::string log = game.log("last_debug.log");   // absent when nothing was logged
    EXPECT_EQ(errorLines(log), std::vector<std::string>{}) << log;
    // game.ini names no icon: nothing is looked up for one.
    EXPECT_FALSE(contains(log, "Not a file")) << log;
    EXPECT_FALSE(contains(run.Stderr, "Orphaned Nodes found!")) << run.Stderr;
    // Answered by itself here, but a player would have had to close it.
    EXPECT_FALSE(contains(run.Stderr, "[message box]")) << run.Stderr;
    EXPECT_EQ(game.log("last_crashes.log"), "");
    EXPECT_EQ(game.log("last_scriptcomp_error_alert.log"), "");
    // A language key the engine missed would have been appended to the table.
    EXPECT_EQ(readFile(game.Root / "data" / "strings.lng"),
              readFile(fs::path(ENGINE_SOURCE_DIR) / "data" / "strings.lng"));
}

TEST_P(SampleGameRun, ProfileKeepsItsOptionsAcrossRuns)
{
    SampleFolder game;
    ASSERT_EQ(game.run({QuitSoon}, SScreen{GetParam().Window}).ExitCode, 0);
    ASSERT_EQ(game.run({QuitSoon}, SScreen{GetParam().Window}).ExitCode, 0);
    std::string profile = game.profileText();
    EXPECT_TRUE(contains(profile, "[SampleRuns]=2\n")) << profile;
    // The options file names the profile that was active.
    EXPECT_TRUE(contains(readFile(game.userFolder() / "game_options.ini"), "ActiveProfile="));
}

// Translations are free text: "=" and "&" belong to the label, not to the
// description's parameters.
TEST(SampleGameMenu, LabelsShowTheirWholeTranslation)
{
    SampleFolder game;
    fs::path table = game.Root / "data" / "strings.lng";
    std::string text = readFile(table);
    for (const auto& entry : {std::make_pair("GAME.TITLE=Lantern Sample", "GAME.TITLE=Lantern = Sample & Co"),
                              std::make_pair("MENU.PLAY=Play", "MENU.PLAY=Play = Go"),
                              std::make_pair("MENU.MUSIC=Music", "MENU.MUSIC=Music & Sound")}) {
        size_t at = text.find(std::string(entry.first) + "\n");
        ASSERT_NE(at, std::string::npos) << entry.first;
        text.replace(at, std::string(entry.first).size(), entry.second);
    }
    writeFile(table, text);
    SRun run = game.run({QuitSoon}, SScreen{false});
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
    EXPECT_TRUE(contains(game.profileText(), "[SampleMenuLabels]=Play = Go|About|Music & Sound|Quit\n"))
        << game.profileText();
    EXPECT_TRUE(contains(game.profileText(), "[SampleMenuTitle]=LANTERN = SAMPLE & CO\n")) << game.profileText();
    EXPECT_FALSE(contains(run.Stderr, "[message box]")) << run.Stderr;
}

// The menu's music loop is Ogg Vorbis; SDL's disk driver writes what would
// be heard into a file. With the effects silenced, only the music can fill it.
TEST(SampleGameSound, MusicLoopIsHeardOnlyWhenItsVolumeIsUp)
{
    for (const char* music : {"MusicVolume=0.6", "MusicVolume=0"}) {
        SampleFolder game;
        const fs::path audio = game.Root / "audio.raw";
        game.setEnv("SDL_AUDIODRIVER", "disk");
        game.setEnv("SDL_DISKAUDIOFILE", audio.string());
        SRun run = game.run({"EffectsVolume=0", music, "SampleQuitAfterMs=800"}, SScreen{});
        ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
        const std::string samples = readFile(audio);
        ASSERT_FALSE(samples.empty()) << "no sound output at all\n" << game.log("last_debug.log");
        const bool heard = std::any_of(samples.begin(), samples.end(), [](char c) { return c != 0; });
        EXPECT_EQ(heard, std::string(music) != "MusicVolume=0") << music;
    }
}

// The window of exactly this title on the display; 0 while there is none.
unsigned long windowTitled(const std::string& title)
{
    return std::strtoul(commandOutput("xdotool search --name '^" + title + "$' 2>/dev/null").c_str(), nullptr, 10);
}

TEST(SampleGameWindow, CaptionIsTheTitleFromTheLanguageTable)
{
    if (!hasDisplay() || !hasCommand("xdotool"))
        GTEST_SKIP() << "needs a display and xdotool";
    SampleFolder game;
    // A title of this folder's own: other tests' windows share the display.
    std::string title = "Lantern " + game.Root.filename().string();
    fs::path table = game.Root / "data" / "strings.lng";
    std::string text = readFile(table);
    size_t at = text.find("GAME.TITLE=Lantern Sample");
    ASSERT_NE(at, std::string::npos);
    writeFile(table, text.replace(at, 25, "GAME.TITLE=" + title));

    // The game stays until its window is found and asked to close; the quit
    // time is only a deadline should that go astray.
    pid_t pid = game.start({"SampleQuitAfterMs=20000"}, SScreen{true});
    unsigned long window = 0;
    EXPECT_TRUE(waitFor([&] { return (window = windowTitled(title)) != 0; })) << title;
    if (window) {
        EXPECT_TRUE(askWindowToClose("", window));
    }
    EXPECT_EQ(game.finish(pid).ExitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, SampleGameRun,
                         ::testing::Values(SDriverCase{"OpenGL", true}, SDriverCase{"Null", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct SDamageCase {
    const char* Name;
    const char* File;       // under data/
    // The damaged text; none: the file is removed.
    std::optional<std::string> (*Damage)(const std::string& text);
    int ExitCode;
    const char* Message;    // the engine's message, in the alert log or on standard error
};

std::optional<std::string> cutInHalf(const std::string& text)
{
    return text.substr(0, text.size() / 2);
}

std::optional<std::string> breakSyntax(const std::string& text)
{
    return text + "\nfunction broken( {\n";
}

std::optional<std::string> removeFile(const std::string&)
{
    return std::nullopt;
}

class SampleGameDamage : public ::testing::TestWithParam<SDamageCase> {};

TEST_P(SampleGameDamage, EndsWithTheEnginesMessageNotACrash)
{
    const SDamageCase& damage = GetParam();
    SampleFolder game;
    fs::path file = game.Root / "data" / damage.File;
    std::optional<std::string> text = damage.Damage(readFile(file));
    if (text)
        writeFile(file, *text);
    else
        fs::remove(file);
    SRun run = game.run({QuitSoon}, SScreen{});

    ASSERT_NE(run.ExitCode, Killed) << "the game hung";
    EXPECT_EQ(run.ExitCode, damage.ExitCode) << run.Stderr;
    EXPECT_EQ(game.log("last_crashes.log"), "");
    std::string message = game.log("last_scriptcomp_error_alert.log") + run.Stderr;
    EXPECT_TRUE(contains(message, damage.Message)) << message;
}

// A description cut short loses the keys past the cut, which read as absent:
// the button is still made, only plainer, and the menu goes on.
TEST(SampleGameDamage, TruncatedDescriptionStillMakesTheMenu)
{
    SampleFolder game;
    fs::path file = game.Root / "data" / "sprites" / "button.spr";
    writeFile(file, *cutInHalf(readFile(file)));
    SRun run = game.run({QuitSoon}, SScreen{});
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
    EXPECT_FALSE(contains(run.Stderr, "[message box]")) << run.Stderr;
    EXPECT_TRUE(contains(game.profileText(), "about_button,music_button,quit_button\n")) << game.profileText();
}

INSTANTIATE_TEST_SUITE_P(
    Files, SampleGameDamage,
    ::testing::Values(SDamageCase{"MalformedManifest", "manifest.xml", cutInHalf, 1, "Wrong XML"},
                      // Reported without a person to answer, a script error lets the run go on.
                      SDamageCase{"ScriptSyntaxError", "scripts/extra.nut", breakSyntax, 0, "extra.nut line = ("},
                      SDamageCase{"TruncatedFont", "fonts/main.xml", cutInHalf, 0, "XML font file: duperror!"},
                      SDamageCase{"MissingImage", "gui/button.png", removeFile, 1,
                                  "ERROR: Failed to load\n'gui\\button.png'"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
