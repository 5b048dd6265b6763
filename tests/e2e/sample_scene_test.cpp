// The sample game's Play button opens its animated scene: the script presses
// Play by itself once the menu is up, notes which scene nodes exist, goes
// back to the menu and quits. Every part of the scene comes from data/.
#include "sample_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
            GTEST_SKIP() << "no display and no Xvfb";
    }
};

TEST_P(SampleScene, PlayOpensTheAnimatedSceneAndBackReturnsToTheMenu)
{
    SampleFolder game;
    SRun run = game.runUntil({"Debug=1", "SamplePlayAfterMs=200"}, SScreen{GetParam().Window},
                             [&] { return contains(game.profileText(), "[SampleSceneClosed]=1\n"); });
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

// The lantern's sparks: their description and picture lie only in
// data\sample.pak (VFSPak_1 of game.ini), and the manifest's particle group
// "sparks" lets at most five live at once (the live count is compared before
// a spawn, so a full limit of 4 admits a fifth). The generator tries every
// 60 ms and a spark lives 800 ms, so without the budget a dozen would live.
// It makes at most one spark every other frame: the scene runs 2.8 s, so
// that the slow frames of a loaded machine still bring places freed and
// taken again. Five places held 800 ms each allow at most 20 births, where
// the generator alone would make about 40.
int profileNumber(const std::string& profile, const std::string& key)
{
    std::string mark = "[" + key + "]=";
    size_t at = profile.find(mark);
    return at == std::string::npos ? -1 : std::atoi(profile.c_str() + at + mark.size());
}

struct SSparkCase {
    const char* Name;
    const char* DataSpark;   // a sprites\spark.spr put into data/; null: none
    bool RemovePak;
    int Most, MinBorn, MaxBorn;
};

class SampleSparks : public ::testing::TestWithParam<SSparkCase> {};

TEST_P(SampleSparks, ComeFromTheArchiveWithinTheirBudget)
{
    const SSparkCase& c = GetParam();
    SampleFolder game;
    if (c.DataSpark) {
        fs::create_directories(game.Root / "data" / "sprites");
        writeFile(game.Root / "data" / "sprites" / "spark.spr", c.DataSpark);
    }
    if (c.RemovePak)
        fs::remove(game.Root / "data" / "sample.pak");
    SRun run = game.runUntil({"SamplePlayAfterMs=100", "SampleSceneMs=2900"}, SScreen{},
                             [&] { return contains(game.profileText(), "[SampleSceneClosed]=1\n"); });
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr << game.log("last_debug.log");

    std::string profile = game.profileText();
    EXPECT_TRUE(contains(profile, "[SampleSceneOpened]=1\n")) << profile;
    EXPECT_EQ(profileNumber(profile, "SampleSparksMost"), c.Most) << profile;
    int born = profileNumber(profile, "SampleSparksBorn");
    EXPECT_GE(born, c.MinBorn) << profile;
    EXPECT_LE(born, c.MaxBorn) << profile;
    EXPECT_EQ(game.log("last_crashes.log"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Archive, SampleSparks,
    ::testing::Values(
        // The first five are born within 300 ms; after the first dies at about
        // 900 ms new ones take the freed places.
        SSparkCase{"FromThePak", nullptr, false, 5, 7, 25},
        // The archive is searched before the data folder: a spark of data/
        // that would never be made changes nothing.
        SSparkCase{"PakBeforeDataFolder", "-Texture:\\gui\\star.png\n-IgnoreSprite: 1\n", false, 5, 7, 25},
        // Without the archive there is no spark to make.
        SSparkCase{"WithoutThePak", nullptr, true, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

// The manifest's atlas list "scene" packs the lantern's flame strip and the
// star into one 2048-pixel texture when the device takes textures that wide
// (OpenGL here); the software renderer takes none, and the list is ignored.
struct SAtlasCase {
    const char* Name;
    bool Built;
    const char* Renderer;   // extra option; empty: the default
};

class SampleSceneAtlas : public ::testing::TestWithParam<SAtlasCase> {
protected:
    void SetUp() override
    {
        if (!hasDisplay())
            GTEST_SKIP() << "no display and no Xvfb";
    }
};

TEST_P(SampleSceneAtlas, ListIsBuiltOnlyWhereWideTexturesAre)
{
    SampleFolder game;
    std::vector<std::string> args{"Debug=1", "SampleQuitAfterMs=600"};
    if (*GetParam().Renderer)
        args.push_back(GetParam().Renderer);
    SRun run = game.run(args, SScreen{true});
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr << game.log("last_debug.log");
    std::string log = game.log("last_debug.log");
    for (const char* image : {"gui\\flame_strip.png", "gui\\star.png"})
        EXPECT_EQ(contains(log, std::string("Pushing texture ") + image + " ("), GetParam().Built) << image << "\n"
                                                                                                 << log;
    EXPECT_FALSE(contains(log, "Wrong texture")) << log;
}

INSTANTIATE_TEST_SUITE_P(Renderers, SampleSceneAtlas,
                         ::testing::Values(SAtlasCase{"OpenGL", true, ""},
                                           SAtlasCase{"BurningsVideo", false, "Renderer=2"}),
                         [](const auto& info) { return std::string(info.param.Name); });

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
