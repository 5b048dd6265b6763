// Sprites at one depth and one z-order: what is drawn over what follows the
// data (the order the textures came in; a value bar's fill over its bar),
// never where the allocator happened to put the textures.
#include "acceptance_scene.h"

#include "node_base.h"
#include "node_helpers_valuebar.h"
#include "rendering_stuff_textures.h"

#include <gtest/gtest.h>

#include <string>

using namespace irr;

namespace {

constexpr int Tolerance = 3;

CNodeBasement* fillOf(CNodeBasement* bar)
{
    auto* animator = dynamic_cast<CSlideRandomAnimator*>(bar->findAnimatorByName("SLIDRAN", false));
    return animator && animator->getController() ? animator->getController()->getFillNode() : nullptr;
}

// One run of the game: a panel and a button over it, then value bars. The
// button's texture is taken in after the panel's, or before it when
// `buttonFirst`: the one taken in later is drawn over the other. False when
// the scene could not start.
bool drawScene(const SSceneDriver& driver, bool buttonFirst)
{
    CAcceptanceScene scene;
    scene.writeImage("gui/panel.png", 4, 4, [](int, int) { return video::SColor(255, 0, 0, 255); });
    scene.writeImage("gui/button.png", 4, 4, [](int, int) { return video::SColor(255, 255, 255, 0); });
    scene.writeImage("gui/bar.png", 4, 4, [](int, int) { return video::SColor(255, 255, 0, 0); });
    scene.writeImage("gui/fill.png", 4, 4, [](int, int) { return video::SColor(255, 0, 255, 0); });
    scene.writeImage("gui/bar2.png", 4, 4, [](int, int) { return video::SColor(255, 255, 0, 255); });
    scene.writeText("sprites/fill.spr", "-Texture:\\gui\\fill.png\n");
    if (!scene.start(driver.Renderer, driver.Type))
        return false;

    // The panel, the button and a value bar with a picture of its own half
    // filled: all at depth 0 and z-order 0, made in this order.
    if (buttonFirst)
        retrieveTexture("gui\\button.png");
    scene.sprite("-Texture:gui\\panel.png\n-Size: w12 h8\n", {-10, 6, 0});
    scene.sprite("-Texture:gui\\button.png\n-Size: w8 h4\n", {-6, 6, 0});
    const char* const barKeys = "-Size: w16 h4\n-Animation.Slider: texture[sprites\\fill.spr] attribute[v]\n";
    CNodeBasement* bar = scene.sprite(std::string("-Texture:gui\\bar.png\n") + barKeys, {6, -6, 0});
    // A second bar whose picture comes in after its fill's.
    CNodeBasement* laterBar = scene.sprite(std::string("-Texture:gui\\bar2.png\n") + barKeys, {6, 6, 0});
    if (!bar || !laterBar) {
        ADD_FAILURE() << "no value bar";
        return true;
    }
    bar->setAttributeFloat("v", 0.5f);
    laterBar->setAttributeFloat("v", 0.5f);

    // The bars take their values on their animators' next update.
    CNodeBasement* fills[2] = {fillOf(bar), fillOf(laterBar)};
    if (!fills[0] || !fills[1]) {
        ADD_FAILURE() << "no fill";
        return true;
    }
    for (int i = 0; i < 100 && !(fills[0]->isVisible() && fills[1]->isVisible()); ++i)
        scene.step();
    EXPECT_TRUE(fills[0]->isVisible() && fills[1]->isVisible());
    const CSceneFrame frame = scene.frame();
    if (!frame.isValid()) {
        ADD_FAILURE() << "no frame";
        return true;
    }
    const std::string run = buttonFirst ? "the button's texture first" : "the panel's texture first";
    EXPECT_TRUE(PixelNear(frame.atWorld(-14, 6), {0, 0, 255}, Tolerance)) << run << ": the panel";
    EXPECT_TRUE(PixelNear(frame.atWorld(-3, 6), {255, 255, 0}, Tolerance)) << run << ": the button";
    if (buttonFirst)
        EXPECT_TRUE(PixelNear(frame.atWorld(-6, 6), {0, 0, 255}, Tolerance))
            << run << ": the panel, whose texture came in later, is drawn over the button";
    else
        EXPECT_TRUE(PixelNear(frame.atWorld(-6, 6), {255, 255, 0}, Tolerance))
            << run << ": the button, whose texture came in later, is drawn over the panel";
    EXPECT_TRUE(PixelNear(frame.atWorld(2, -6), {0, 255, 0}, Tolerance)) << run << ": the fill is drawn over its bar";
    EXPECT_TRUE(PixelNear(frame.atWorld(10, -6), {255, 0, 0}, Tolerance)) << run << ": the bar's empty half";
    EXPECT_TRUE(PixelNear(frame.atWorld(2, 6), {0, 255, 0}, Tolerance))
        << run << ": the fill is drawn over a bar whose picture came in later";
    EXPECT_TRUE(PixelNear(frame.atWorld(10, 6), {255, 0, 255}, Tolerance)) << run << ": the later bar's empty half";
    return true;
}

class SameDepthOrder : public testing::TestWithParam<SSceneDriver> {};

TEST_P(SameDepthOrder, TheTextureTakenInLaterIsDrawnOver)
{
    if (!drawScene(GetParam(), false))
        GTEST_SKIP() << "no display or no " << GetParam().Name;
    EXPECT_TRUE(drawScene(GetParam(), true));
}

INSTANTIATE_TEST_SUITE_P(Drivers, SameDepthOrder, testing::ValuesIn(SceneDrivers),
                         [](const testing::TestParamInfo<SSceneDriver>& info) { return info.param.Name; });

} // namespace
