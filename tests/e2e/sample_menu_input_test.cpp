// The sample game driven like a player would: xdotool moves the pointer and
// clicks in the game's window on a display of the test's own, found with
// xwininfo. The script counts what happened in the profile; the sound comes
// out of SDL's disk driver into a file.
#include "sample_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace sample;

namespace {

const char* const Title = "Lantern Sample";

// The id of the game's top-level window, from xwininfo; empty while it is not mapped.
std::string findWindow(const PrivateDisplay& display)
{
    std::string info = commandOutput(display.command("xwininfo -name '" + std::string(Title) + "' 2>/dev/null"));
    std::istringstream lines(info);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string key = "Window id: ";
        size_t at = line.find(key);
        if (at != std::string::npos && contains(line, "\"" + std::string(Title) + "\""))
            return line.substr(at + key.size(), line.find(' ', at + key.size()) - at - key.size());
    }
    return "";
}

bool xdotool(const PrivateDisplay& display, const std::string& args)
{
    return std::system(display.command("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

// Whether any sample of the raw sound output past this byte is not silence.
bool soundAfter(const fs::path& file, size_t from)
{
    std::string samples = readFile(file);
    return samples.size() > from && std::any_of(samples.begin() + long(from), samples.end(), [](char c) { return c != 0; });
}

class SampleMenuInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!hasCommand("xdotool") || !hasCommand("xwininfo"))
            GTEST_SKIP() << "needs xdotool and xwininfo (x11-utils)";
        if (Display.name().empty())
            GTEST_SKIP() << "no Xvfb";
        // The pointer waits outside where the window opens: the window takes the
        // focus at once, and a pointer over a button would hover it.
        ASSERT_TRUE(xdotool(Display, "mousemove 1000 740"));
    }

    bool counted(const char* key, int times) const
    {
        return contains(Game.profileText(), "[" + std::string(key) + "]=" + std::to_string(times) + "\n");
    }
    // The script notes the button under the pointer in the profile.
    bool hovered(const std::string& name) const
    {
        return contains(Game.profileText(), "[SampleHovered]=" + name + "\n");
    }
    bool moveTo(int x, int y) const
    {
        return xdotool(Display, "mousemove --window " + Window + " " + std::to_string(x) + " " + std::to_string(y));
    }
    // Window coordinates: the menu is 20 pixels a unit around (400, 300).
    bool pointAt(const std::string& name, int x, int y) const
    {
        return moveTo(x, y) && waitFor([&] { return hovered(name); });
    }
    // Clicks a button once the game shows it hovered, however slow its frames.
    bool clickOn(const std::string& name, int x, int y) const
    {
        return pointAt(name, x, y) && xdotool(Display, "click 1");
    }
    // Until the output has grown by this many bytes, however slowly it is written.
    bool soundOutputGrows(const fs::path& file, size_t from, size_t bytes) const
    {
        return waitFor([&] { return readFile(file).size() >= from + bytes; });
    }

    PrivateDisplay Display;
    SampleFolder Game;
    std::string Window;
};

TEST_F(SampleMenuInput, AboutDialogOpensAndClosesMusicOptionIsKept)
{
    const fs::path audio = Game.Root / "audio.raw";
    Game.setEnv("SDL_AUDIODRIVER", "disk");
    Game.setEnv("SDL_DISKAUDIOFILE", audio.string());
    // Music off, so that only the buttons' sounds reach the output; a deadline
    // in case a click goes astray, far past what a loaded machine needs.
    pid_t pid = Game.start({"Debug=1", "MusicVolume=0", "SampleQuitAfterMs=120000"}, SScreen(true, Display.name()));
    ASSERT_TRUE(waitFor([&] { return counted("SampleRuns", 1); })) << Game.log("last_debug.log");
    ASSERT_TRUE(waitFor([&] { return !(Window = findWindow(Display)).empty(); }));

    // Where no button is, the game stays silent: the sounds heard later are the buttons'.
    // The output is watched in its own time, about 0.4 s of it to let what
    // was already mixed go by, then as long again for the silence.
    ASSERT_TRUE(moveTo(40, 40));
    ASSERT_TRUE(soundOutputGrows(audio, readFile(audio).size(), 65536)) << "the sound output runs";
    const size_t quietFrom = readFile(audio).size();
    ASSERT_TRUE(soundOutputGrows(audio, quietFrom, 65536)) << "the sound output runs";
    const size_t quietUntil = readFile(audio).size();
    EXPECT_FALSE(soundAfter(audio, quietFrom)) << "no sound while the pointer is on no button";

    ASSERT_TRUE(clickOn("about_button", 400, 300)) << Game.profileText();
    EXPECT_TRUE(waitFor([&] { return counted("SampleAboutOpened", 1); })) << Game.profileText();
    EXPECT_TRUE(waitFor([&] { return soundAfter(audio, quietUntil); })) << "the hover and click sounds";

    ASSERT_TRUE(xdotool(Display, "key Escape"));
    EXPECT_TRUE(waitFor([&] { return counted("SampleAboutClosed", 1); })) << Game.profileText();
    // Again, closed by its own button this time. A button under the dialog is
    // hovered again only once the dialog has gone.
    ASSERT_TRUE(clickOn("about_button", 400, 300)) << Game.profileText();
    ASSERT_TRUE(waitFor([&] { return counted("SampleAboutOpened", 2); })) << Game.profileText();
    ASSERT_TRUE(clickOn("about_close", 400, 400)) << Game.profileText();
    EXPECT_TRUE(waitFor([&] { return counted("SampleAboutClosed", 2); })) << Game.profileText();

    // Under where the panel was.
    ASSERT_TRUE(clickOn("music_button", 400, 380)) << Game.profileText();   // music on
    EXPECT_TRUE(waitFor([&] { return counted("SampleMusicSwitched", 1); })) << Game.profileText();
    ASSERT_TRUE(clickOn("quit_button", 400, 460)) << Game.profileText();
    SRun run = Game.finish(pid);

    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
    EXPECT_FALSE(contains(run.Stderr, "Orphaned Nodes found!")) << run.Stderr;
    EXPECT_FALSE(contains(run.Stderr, "[message box]")) << run.Stderr;
    std::string log = Game.log("last_debug.log");
    EXPECT_EQ(errorLines(log), std::vector<std::string>{}) << log;
    EXPECT_EQ(Game.log("last_crashes.log"), "");
    EXPECT_TRUE(contains(Game.profileText(), "MusicVolume=0.60\n")) << Game.profileText();

    // The next start keeps the player's choice over the option on the command line.
    SRun again = Game.run({"MusicVolume=0", "SampleQuitAfterMs=300"}, SScreen());
    ASSERT_EQ(again.ExitCode, 0) << again.Stderr;
    EXPECT_TRUE(counted("SampleMusicAtStart", 60)) << Game.profileText();
}

TEST_F(SampleMenuInput, PlayOpensTheSceneEscapeAndBackReturnToTheMenu)
{
    pid_t pid = Game.start({"Debug=1", "MusicVolume=0", "SampleQuitAfterMs=120000"}, SScreen(true, Display.name()));
    ASSERT_TRUE(waitFor([&] { return counted("SampleRuns", 1); })) << Game.log("last_debug.log");
    ASSERT_TRUE(waitFor([&] { return !(Window = findWindow(Display)).empty(); }));
    // No window manager and no focus given by the test: the game takes the focus itself.
    ASSERT_TRUE(moveTo(40, 40));
    ASSERT_TRUE(clickOn("play_button", 400, 220)) << Game.profileText();
    ASSERT_TRUE(waitFor([&] { return counted("SampleSceneOpened", 1); })) << Game.profileText();
    // The scene lies nearer than the menu, so its Back button shows larger and lower.
    ASSERT_TRUE(clickOn("scene_back", 400, 545)) << Game.profileText();
    EXPECT_TRUE(waitFor([&] { return counted("SampleSceneClosed", 1); })) << Game.profileText();

    // Again, left by Esc this time; the menu's buttons are hovered once the scene has gone.
    ASSERT_TRUE(clickOn("play_button", 400, 220)) << Game.profileText();
    EXPECT_TRUE(waitFor([&] { return counted("SampleSceneOpened", 2); })) << Game.profileText();
    ASSERT_TRUE(xdotool(Display, "key Escape"));
    EXPECT_TRUE(waitFor([&] { return counted("SampleSceneClosed", 2); })) << Game.profileText();

    ASSERT_TRUE(clickOn("quit_button", 400, 460)) << Game.profileText();   // so the menu took clicks again
    SRun run = Game.finish(pid);
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
    EXPECT_FALSE(contains(run.Stderr, "Orphaned Nodes found!")) << run.Stderr;
    EXPECT_FALSE(contains(run.Stderr, "[message box]")) << run.Stderr;
    std::string log = Game.log("last_debug.log");
    EXPECT_EQ(errorLines(log), std::vector<std::string>{}) << log;
}

TEST_F(SampleMenuInput, SoftwareRendererWindowTakesClicksWithoutAWindowManager)
{
    pid_t pid = Game.start({"Renderer=2", "MusicVolume=0", "SampleQuitAfterMs=120000"},
                           SScreen(true, Display.name()));
    ASSERT_TRUE(waitFor([&] { return counted("SampleRuns", 1); })) << Game.log("last_debug.log");
    ASSERT_TRUE(waitFor([&] { return !(Window = findWindow(Display)).empty(); }));
    ASSERT_TRUE(moveTo(40, 40));
    ASSERT_TRUE(clickOn("about_button", 400, 300)) << Game.profileText();
    EXPECT_TRUE(waitFor([&] { return counted("SampleAboutOpened", 1); })) << Game.profileText();
    ASSERT_TRUE(xdotool(Display, "key Escape"));
    EXPECT_TRUE(waitFor([&] { return counted("SampleAboutClosed", 1); })) << Game.profileText();
    ASSERT_TRUE(clickOn("quit_button", 400, 460)) << Game.profileText();
    SRun run = Game.finish(pid);
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
}

} // namespace
