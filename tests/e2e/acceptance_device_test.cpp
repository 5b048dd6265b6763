// Device creation of the real program: when the accelerated driver cannot be
// made, the debug log tells each fallback step in order and the game still
// plays on the software renderer; when nothing can be made, it ends at once
// with its exit code instead of hanging.
#include "acceptance_support.h"
#include "sample_picture.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace acceptance;
using sample::contains;

namespace {

const char* const SixteenBits = "Failed to create 3D device... Defaulting to 16b mode...";
const char* const Software = "Failed to create 3D device... Defaulting to software mode...";

void writeGame(const GameDir& game)
{
    game.write("AppDataFolder=AccGame\nLanguage=en\nXResolution=800\nYResolution=600\n",
               "whenPlaying(function() { save(\"played.txt\", 1); });\n");
}

// The position of the first log line that ends with the text, or npos.
size_t lineAt(const std::string& log, const std::string& text)
{
    size_t at = log.find("\t" + std::string(text) + "\n");
    return at;
}

struct SFallbackCase {
    const char* Name;
    std::vector<std::string> Options;
    bool TriesSixteenBits;
};

class AcceptanceDeviceFallback : public ::testing::TestWithParam<SFallbackCase> {};

// A display without GLX: OpenGL fails at 32 and 16 bits, Burning's Video
// works; at 16 bits to begin with there is no second 16-bit attempt. The
// test's X server has no other client, so it resets whenever the program's
// last connection closes: a retry must not open the display in that moment.
TEST_P(AcceptanceDeviceFallback, SoftwareRendererTakesOverWithTheStepsLogged)
{
    XDisplay display({"-extension", "GLX"});
    if (display.name().empty())
        GTEST_SKIP() << "no Xvfb";
    GameDir game;
    writeGame(game);
    SRun run = game.run(GetParam().Options, SScreen{true, display.name()});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("played.txt"), "1");
    const std::string log = game.get("last_debug.log");
    size_t software = lineAt(log, Software);
    ASSERT_NE(software, std::string::npos) << log;
    size_t sixteen = lineAt(log, SixteenBits);
    if (GetParam().TriesSixteenBits) {
        ASSERT_NE(sixteen, std::string::npos) << log;
        EXPECT_LT(sixteen, software) << log;
    } else {
        EXPECT_EQ(sixteen, std::string::npos) << log;
    }
    // One fallback to the software renderer, no second round.
    EXPECT_EQ(log.find(Software, software + 2), std::string::npos) << log;
    EXPECT_FALSE(game.has("last_crashes.log"));
}

INSTANTIATE_TEST_SUITE_P(Bits, AcceptanceDeviceFallback,
                         ::testing::Values(SFallbackCase{"ThirtyTwo", {}, true},
                                           SFallbackCase{"Sixteen", {"BitsPerPixel=16"}, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Nowhere to draw at all: every step fails, the diagnostics question is
// answered as nobody can answer it, and the program ends with code 1.
TEST(AcceptanceDevice, NoDeviceAtAllEndsWithoutHanging)
{
    GameDir game;
    writeGame(game);
    game.setEnv("DISPLAY", "");
    SScreen window{true};   // no null driver, and no display either
    SRun run = game.run({}, window);
    EXPECT_EQ(run.ExitCode, 1) << game.trace(run);
    const std::string log = game.get("last_debug.log");
    size_t sixteen = lineAt(log, SixteenBits);
    size_t software = lineAt(log, Software);
    ASSERT_NE(sixteen, std::string::npos) << log;
    ASSERT_NE(software, std::string::npos) << log;
    EXPECT_LT(sixteen, software);
    EXPECT_TRUE(contains(run.Stderr, "Failed to create 3D Device!\nPlease upgrade you video drivers/DirectX"))
        << run.Stderr;
    EXPECT_FALSE(game.has("played.txt"));
    EXPECT_FALSE(game.has("last_crashes.log"));
}

// The custom cursor is drawn into the frame on the accelerated renderer and
// never after the fallback to the software one, where the system's shows.
TEST(AcceptanceDevice, CustomCursorIsDrawnOnlyOffTheSoftwareRenderer)
{
    if (!sample::hasCommand("xdotool"))
        GTEST_SKIP() << "needs xdotool";
    for (bool withGl : {true, false}) {
        XDisplay display(withGl ? std::vector<std::string>{} : std::vector<std::string>{"-extension", "GLX"});
        if (display.name().empty())
            GTEST_SKIP() << "no Xvfb";
        GameDir game;
        game.put("game.ini", "AppDataFolder=AccGame\nLanguage=en\nXResolution=640\nYResolution=480\nCursorFace=1\n");
        game.put("data/gui/cursor.bmp", solidBmp(16, 255, 0, 255));
        game.put("data/gui/green.bmp", solidBmp(16, 0, 255, 0));   // proof that the shot holds the frame
        game.put("data/manifest.xml",
                 manifestXml("", "<Fonts></Fonts>\n<Cursors><Cursor><InternalName val=\"arrow\"/>"
                                 "<Texture val=\"gui\\cursor.bmp\"/><SpritesX val=\"1\"/></Cursor></Cursors>\n"
                                 "<AtlasLists></AtlasLists>\n<Materials></Materials>\n<ParticleGroups></ParticleGroups>\n"));
        game.put("data/scripts/startup.nut",
                 scriptPrelude() +
                     "function waitShot() {\n"
                     "  if (core_ReadFile(\"shoot.txt\") == \"\") return;\n"
                     "  core_CancelInterval();\n"
                     "  core_MakeScreenshot(\"cursor\");\n"
                     "  core_SetTimeout(300, \"core_CloseGame()\");\n"
                     "}\n"
                     "whenPlaying(function() {\n"
                     "  core_CreateSprite(\"raw://-Texture:\\\\gui\\\\green.bmp\\n-Size: 4\\n-Position: x-10 y0 z0\", {});\n"
                     "  save(\"playing.txt\", 1);\n"
                     "  core_SetInterval(20, \"waitShot()\");\n"
                     "  return true;\n"
                     "});\n");
        pid_t pid = game.start({}, SScreen{true, display.name()});
        bool playing = waitFor([&] { return game.has("playing.txt"); });
        // Where the pointer of the fresh display stands (its middle, over the window).
        int x = -1, y = -1;
        std::sscanf(sample::commandOutput(display.command("xdotool getmouselocation 2>/dev/null")).c_str(), "x:%d y:%d",
                    &x, &y);
        game.put("shoot.txt", "1");
        SRun run = game.finish(pid);
        ASSERT_TRUE(playing) << game.trace(run);
        ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
        std::vector<fs::path> shots;
        for (const auto& entry : fs::directory_iterator(game.userFolder()))
            if (contains(entry.path().filename().string(), "_screenshot."))
                shots.push_back(entry.path());
        ASSERT_EQ(shots.size(), 1u) << game.trace(run);
        sample::Screenshot shot(shots[0]);
        ASSERT_TRUE(shot.loaded());
        shot.keepAs(withGl ? "acceptance_cursor_opengl.png" : "acceptance_cursor_software.png");
        ASSERT_TRUE(x >= 0 && x + 8 < shot.width() && y >= 0 && y + 8 < shot.height()) << x << ", " << y;
        const sample::SColour inside = shot.at(x + 8, y + 8);
        const sample::SColour sprite = shot.at(160, 240);   // x -10 of 40 units across 640 pixels
        EXPECT_TRUE(sprite.G > 200 && sprite.R < 60 && sprite.B < 60) << sprite;
        const bool magenta = inside.R > 200 && inside.G < 60 && inside.B > 200;
        EXPECT_EQ(magenta, withGl) << (withGl ? "OpenGL" : "software") << ": " << inside;
        const bool fellBack = contains(game.get("last_debug.log"), "Defaulting to software mode...");
        EXPECT_EQ(fellBack, !withGl);
    }
}

} // namespace
