// The sample game's Play button opens its animated scene: the script presses
// Play by itself once the menu is up, notes which scene nodes exist, goes
// back to the menu and quits. Every part of the scene comes from data/.
#include "sample_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace sample;

namespace {

struct SSceneCase {
    const char* Name;
    bool Window;   // false: the null driver, no display needed
};

class SampleScene : public ::testing::TestWithParam<SSceneCase> {
protected:
    void SetUp() override
    {
        if (GetParam().Window && !hasDisplay())
            GTEST_SKIP() << "no display: test.sh runs these under xvfb-run";
    }
};

TEST_P(SampleScene, PlayOpensTheAnimatedSceneAndBackReturnsToTheMenu)
{
    SampleFolder game;
    SRun run = game.run({"Debug=1", "SamplePlayAfterMs=200", "SampleQuitAfterMs=1300"}, SScreen{GetParam().Window});
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr << game.log("last_debug.log");

    std::string profile = game.profileText();
    EXPECT_TRUE(contains(profile, "[SampleSceneOpened]=1\n")) << profile;
    EXPECT_TRUE(contains(profile, "[SampleSceneNodes]=scene_sky,scene_lantern,scene_star,scene_text,scene_back\n"))
        << profile;
    EXPECT_TRUE(contains(profile, "[SampleSceneClosed]=1\n")) << profile;
    // The typer's line came from strings.lng, not from the description's placeholder.
    EXPECT_TRUE(contains(profile, "[SampleSceneLine]=A lantern walks the night.\n")) << profile;

    std::string log = game.log("last_debug.log");
    EXPECT_EQ(errorLines(log), std::vector<std::string>{}) << log;
    EXPECT_FALSE(contains(run.Stderr, "Orphaned Nodes found!")) << run.Stderr;
    EXPECT_FALSE(contains(run.Stderr, "[message box]")) << run.Stderr;
    EXPECT_EQ(game.log("last_crashes.log"), "");
    EXPECT_EQ(game.log("last_scriptcomp_error_alert.log"), "");
}

// Without the option the scene stays closed: the nodes above come from Play.
TEST(SampleSceneIdle, MenuAloneOpensNoScene)
{
    SampleFolder game;
    ASSERT_EQ(game.run({"SampleQuitAfterMs=600"}, SScreen{}).ExitCode, 0);
    std::string profile = game.profileText();
    EXPECT_FALSE(contains(profile, "[SampleSceneOpened]")) << profile;
    EXPECT_FALSE(contains(profile, "[SampleSceneNodes]")) << profile;
}

INSTANTIATE_TEST_SUITE_P(Drivers, SampleScene,
                         ::testing::Values(SSceneCase{"OpenGL", true}, SSceneCase{"Null", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
