// The sample game's animated scene as the engine captured it, 3.8 s after
// Play: the still parts (sky, star, Back button) show their pictures' colours,
// the spinning title has come to rest upright, the typer has written its line
// and the lantern's flame burns somewhere on its way. The typer shows at most
// one letter a frame, so its 26 letters take 26 frames however long they last
// on a loaded machine. The screenshots are kept under build/e2e-artifacts/.
#include "sample_picture.h"
#include "sample_support.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace sample;

namespace {

class SampleScenePicture : public ::testing::TestWithParam<SRendererCase> {};

// The flame strip's colours: full red, a warm green, little blue.
bool isFlame(const SColour& c)
{
    return c.R > 200 && c.G > 90 && c.G < 240 && c.B < 130;
}

TEST_P(SampleScenePicture, ScreenshotShowsTheSceneAtRest)
{
    PrivateDisplay display;
    if (display.name().empty())
        GTEST_SKIP() << "no Xvfb";
    SampleFolder game;
    std::vector<std::string> args{"SampleSceneScreenshot=scene", "SamplePlayAfterMs=300", "SampleSceneMs=4000"};
    if (*GetParam().Option)
        args.push_back(GetParam().Option);
    SRun run = game.runUntil(args, SScreen{true, display.name()}, [&] {
        return contains(game.profileText(), "[SampleSceneClosed]=1\n") && !game.screenshots().empty();
    });
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr << game.log("last_debug.log");

    std::vector<fs::path> shots = game.screenshots();
    ASSERT_EQ(shots.size(), 1u) << game.log("last_debug.log");
    EXPECT_EQ(shots[0].filename().string().rfind("scene", 0), 0u) << shots[0];
    Screenshot shot(shots[0]);
    ASSERT_TRUE(shot.loaded()) << shots[0];
    EXPECT_TRUE(shot.keepAs(std::string("sample_scene_") + GetParam().Name + ".png"));
    ASSERT_EQ(shot.width(), 800);
    ASSERT_EQ(shot.height(), 600);

    // The scene lies nearer the camera than the menu: about 21.5 pixels to
    // the world unit, the origin in the middle, y upwards. The sky fills the
    // window.
    for (auto [x, y] : {std::pair{10, 10}, {790, 10}, {10, 590}, {790, 590}, {60, 450}, {740, 450}})
        EXPECT_TRUE(isBackground(shot.at(x, y))) << "at " << x << ", " << y;
    // The Back button (8 x 2 at y -11) at its middle row, beside its label.
    EXPECT_TRUE(isNear(shot.at(335, 545), {49, 91, 165}, 12));
    EXPECT_TRUE(isNear(shot.at(465, 545), {49, 91, 165}, 12));
    EXPECT_GT(shot.whitest(370, 533, 430, 557), 200) << "the Back label";
    // The star (4 x 4 at y 9) turns about its centre, which keeps its colour.
    EXPECT_TRUE(isNear(shot.at(400, 100), {255, 240, 150}, 20));
    // The title "Lantern" (y 4) in the caption font: after its spin it stands
    // upright on its line, so none of its letters is left above or below it.
    EXPECT_GT(shot.count(300, 176, 500, 208, isWhite), 500) << "the title's letters";
    EXPECT_EQ(shot.count(300, 140, 500, 172, isWhite), 0) << "above the title";
    EXPECT_EQ(shot.count(300, 210, 500, 240, isWhite), 0) << "below the title";
    // The typer's line at y -4.
    EXPECT_GT(shot.count(200, 372, 600, 410, isWhite), 1000) << "the typed line";
    // The lantern (6 x 6 at y 2) walks along x between -8 and 8; its sparks
    // rise above it.
    EXPECT_GT(shot.count(150, 200, 650, 300, isFlame), 300) << "the lantern's flame";
}

INSTANTIATE_TEST_SUITE_P(Renderers, SampleScenePicture, ::testing::ValuesIn(Renderers), RendererName);

} // namespace
