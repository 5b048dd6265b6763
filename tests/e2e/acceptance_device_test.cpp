// Device creation of the real program: when the accelerated driver cannot be
// made, the debug log tells each fallback step in order and the game still
// plays on the software renderer; when nothing can be made, it ends at once
// with its exit code instead of hanging.
#include "acceptance_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace acceptance;
using sample::contains;

namespace {

const char* const SixteenBits = "Failed to create 3D device... Defaulting to 16b mode...";
const char* const Software = "Failed to create 3D device... Defaulting to software mode...";

void writeGame(const GameDir& game)
{
    game.put("game.ini", "AppDataFolder=AccGame\nLanguage=en\nXResolution=800\nYResolution=600\n");
    game.put("data/manifest.xml", manifestXml());
    game.put("data/scripts/startup.nut", scriptPrelude() + "whenPlaying(function() { save(\"played.txt\", 1); });\n");
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

} // namespace
