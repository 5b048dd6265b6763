// The sample game's main menu as the engine captured it: the script asks for
// a screenshot, and sampled pixels are checked against the colours the
// sample's pictures are made of. Each screenshot is kept as a PNG under
// build/e2e-artifacts/ for a person to look at.
#include "sample_picture.h"
#include "sample_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace sample;

namespace {

class SampleMenuPicture : public ::testing::TestWithParam<SRendererCase> {};

TEST_P(SampleMenuPicture, ScreenshotShowsTheMenu)
{
    PrivateDisplay display;
    if (display.name().empty())
        GTEST_SKIP() << "no Xvfb";
    SampleFolder game;
    std::vector<std::string> args{"SampleScreenshot=menu", "SampleQuitAfterMs=1000"};
    if (*GetParam().Option)
        args.push_back(GetParam().Option);
    SRun run = game.run(args, SScreen{true, display.name()});
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr << game.log("last_debug.log");

    std::vector<fs::path> shots = game.screenshots();
    ASSERT_EQ(shots.size(), 1u) << game.log("last_debug.log");
    EXPECT_EQ(shots[0].extension(), ".bmp");
    EXPECT_EQ(shots[0].filename().string().rfind("menu", 0), 0u) << shots[0];
    Screenshot shot(shots[0]);
    ASSERT_TRUE(shot.loaded()) << shots[0];
    EXPECT_TRUE(shot.keepAs(std::string("sample_menu_") + GetParam().Name + ".png"));
    ASSERT_EQ(shot.width(), 800);
    ASSERT_EQ(shot.height(), 600);

    // The background fills the window, corners and sides.
    for (auto [x, y] : {std::pair{10, 10}, {790, 10}, {10, 590}, {790, 590}, {60, 300}, {740, 300}})
        EXPECT_TRUE(isBackground(shot.at(x, y))) << "at " << x << ", " << y;
    // gui\button.png at its middle row: (60, 110, 200) shaded to 82.5%. The
    // About button is in the middle; the pointer of a fresh display is not on it.
    EXPECT_TRUE(isNear(shot.at(300, 300), {49, 91, 165}, 12));
    EXPECT_TRUE(isNear(shot.at(500, 300), {49, 91, 165}, 12));
    EXPECT_TRUE(isBackground(shot.at(250, 300))) << "left of the buttons";
    // White text in the project's font: the title and the About label.
    EXPECT_GT(shot.whitest(250, 80, 550, 120), 200) << "the title";
    EXPECT_GT(shot.whitest(350, 285, 450, 315), 200) << "the About label";
    EXPECT_LT(shot.whitest(250, 140, 550, 180), 120) << "nothing white between the title and the buttons";
}

INSTANTIATE_TEST_SUITE_P(Renderers, SampleMenuPicture, ::testing::ValuesIn(Renderers), RendererName);

} // namespace
