// Sprites at one depth and one z-order: what is drawn over what follows the
// data (the order the textures came in; a value bar's fill over its bar),
// never where the allocator happened to put the textures.
#include "acceptance_scene.h"

#include "node_base.h"
#include "node_helpers_valuebar.h"
#include "rendering_stuff_textures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace irr;

namespace {

constexpr int Tolerance = 3;
// As many freed blocks as glibc keeps at hand per size, for each pair of textures.
constexpr int PadCount = 7;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool AllocatorReusesAtOnce = false;   // freed blocks wait in quarantine
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool AllocatorReusesAtOnce = false;
#else
constexpr bool AllocatorReusesAtOnce = true;
#endif
#else
constexpr bool AllocatorReusesAtOnce = true;
#endif

std::string padName(int i) { return "gui\\pad" + std::to_string(i) + ".png"; }

uintptr_t textureAddress(const char* name) { return reinterpret_cast<uintptr_t>(retrieveTexture(name).Texture); }

// Loads the pads of the group and frees them again, the highest or the lowest address last.
void freePads(int group, bool highestFreedLast)
{
    std::vector<std::pair<uintptr_t, std::string>> pads;
    for (int i = 0; i < PadCount; ++i) {
        const std::string name = padName(group * PadCount + i);
        pads.emplace_back(textureAddress(name.c_str()), name);
    }
    std::sort(pads.begin(), pads.end());
    if (!highestFreedLast)
        std::reverse(pads.begin(), pads.end());
    for (const auto& pad : pads)
        removeCachedTexture(pad.second.c_str());
}

CNodeBasement* fillOf(CNodeBasement* bar)
{
    auto* animator = dynamic_cast<CSlideRandomAnimator*>(bar->findAnimatorByName("SLIDRAN", false));
    return animator && animator->getController() ? animator->getController()->getFillNode() : nullptr;
}

struct SRunResult {
    bool Started = false;
    bool PanelBelowButton = false;   // in memory
    bool BarBelowFill = false;
};

// One run of the game: the same data made in the same order. Texture
// objects of the same size are freed just before, lowest or highest address
// last; the allocator hands such blocks back last freed first, so the
// scene's textures land in rising or in falling addresses.
SRunResult drawScene(const SSceneDriver& driver, bool highestFreedLast)
{
    SRunResult result;
    CAcceptanceScene scene;
    for (int i = 0; i < 2 * PadCount; ++i)
        scene.writeImage("gui/pad" + std::to_string(i) + ".png", 4, 4,
                         [i](int, int) { return video::SColor(255, 10 * i, 0, 0); });   // one texture each
    scene.writeImage("gui/panel.png", 4, 4, [](int, int) { return video::SColor(255, 0, 0, 255); });
    scene.writeImage("gui/button.png", 4, 4, [](int, int) { return video::SColor(255, 255, 255, 0); });
    scene.writeImage("gui/bar.png", 4, 4, [](int, int) { return video::SColor(255, 255, 0, 0); });
    scene.writeImage("gui/fill.png", 4, 4, [](int, int) { return video::SColor(255, 0, 255, 0); });
    scene.writeImage("gui/bar2.png", 4, 4, [](int, int) { return video::SColor(255, 255, 0, 255); });
    scene.writeText("sprites/fill.spr", "-Texture:\\gui\\fill.png\n");
    if (!scene.start(driver.Renderer, driver.Type))
        return result;
    result.Started = true;

    // A panel and a button over it, then a value bar with a picture of its own
    // half filled: all at depth 0 and z-order 0, made in this order.
    freePads(0, highestFreedLast);
    scene.sprite("-Texture:gui\\panel.png\n-Size: w12 h8\n", {-10, 6, 0});
    scene.sprite("-Texture:gui\\button.png\n-Size: w8 h4\n", {-6, 6, 0});
    freePads(1, highestFreedLast);
    const char* const barKeys = "-Size: w16 h4\n-Animation.Slider: texture[sprites\\fill.spr] attribute[v]\n";
    CNodeBasement* bar = scene.sprite(std::string("-Texture:gui\\bar.png\n") + barKeys, {6, -6, 0});
    // A second bar whose picture comes in after its fill's.
    CNodeBasement* laterBar = scene.sprite(std::string("-Texture:gui\\bar2.png\n") + barKeys, {6, 6, 0});
    if (!bar || !laterBar) {
        ADD_FAILURE() << "no value bar";
        return result;
    }
    bar->setAttributeFloat("v", 0.5f);
    laterBar->setAttributeFloat("v", 0.5f);
    result.PanelBelowButton = textureAddress("gui\\panel.png") < textureAddress("gui\\button.png");
    result.BarBelowFill = textureAddress("gui\\bar.png") < textureAddress("gui\\fill.png");

    // The bars take their values on their animators' next update.
    CNodeBasement* fills[2] = {fillOf(bar), fillOf(laterBar)};
    if (!fills[0] || !fills[1]) {
        ADD_FAILURE() << "no fill";
        return result;
    }
    for (int i = 0; i < 100 && !(fills[0]->isVisible() && fills[1]->isVisible()); ++i)
        scene.step();
    EXPECT_TRUE(fills[0]->isVisible() && fills[1]->isVisible());
    const CSceneFrame frame = scene.frame();
    if (!frame.isValid()) {
        ADD_FAILURE() << "no frame";
        return result;
    }
    const std::string run = highestFreedLast ? "highest freed last" : "lowest freed last";
    EXPECT_TRUE(PixelNear(frame.atWorld(-14, 6), {0, 0, 255}, Tolerance)) << run << ": the panel";
    EXPECT_TRUE(PixelNear(frame.atWorld(-6, 6), {255, 255, 0}, Tolerance))
        << run << ": the button, whose texture came in later, is drawn over the panel";
    EXPECT_TRUE(PixelNear(frame.atWorld(2, -6), {0, 255, 0}, Tolerance)) << run << ": the fill is drawn over its bar";
    EXPECT_TRUE(PixelNear(frame.atWorld(10, -6), {255, 0, 0}, Tolerance)) << run << ": the bar's empty half";
    EXPECT_TRUE(PixelNear(frame.atWorld(2, 6), {0, 255, 0}, Tolerance))
        << run << ": the fill is drawn over a bar whose picture came in later";
    EXPECT_TRUE(PixelNear(frame.atWorld(10, 6), {255, 0, 255}, Tolerance)) << run << ": the later bar's empty half";
    return result;
}

class SameDepthOrder : public testing::TestWithParam<SSceneDriver> {};

TEST_P(SameDepthOrder, TheSamePictureWhereverTheTexturesLie)
{
    const SRunResult rising = drawScene(GetParam(), true);
    if (!rising.Started)
        GTEST_SKIP() << "no display or no " << GetParam().Name;
    const SRunResult falling = drawScene(GetParam(), false);
    ASSERT_TRUE(falling.Started);
    // The runs must have put the textures both ways round, or they showed
    // nothing. Burning's Video's texture objects take the freed blocks back at
    // once; OpenGL's loading asks for blocks of their size too, so there the
    // addresses move but their order is not forced.
    if (AllocatorReusesAtOnce && GetParam().Type == video::EDT_BURNINGSVIDEO) {
        EXPECT_NE(rising.PanelBelowButton, falling.PanelBelowButton) << "the panel's and the button's textures";
        EXPECT_NE(rising.BarBelowFill, falling.BarBelowFill) << "the bar's and the fill's textures";
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, SameDepthOrder, testing::ValuesIn(SceneDrivers),
                         [](const testing::TestParamInfo<SSceneDriver>& info) { return info.param.Name; });

} // namespace
