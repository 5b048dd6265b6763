// Atlases and pixel-perfect clicks in a whole engine: a scene drawn
// from an atlas looks the same as one drawn from single textures, in one run
// of the batch; clicks test the texel under the cursor of the cell or frame
// the sprite shows.
#include "acceptance_scene.h"

#include "module_mousekeyb.h"
#include "node_base.h"
#include "rendering_stuff_textures.h"
#include "module_scripting_binding.h"

#include <ICursorControl.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace irr;

namespace {

const char* const ListedImages[] = {"gui\\filler.png", "gui\\quad_a.png", "gui\\quad_b.png", "gui\\strip.png"};

// Alpha 128 (opaque for clicks) in the upper right quarter of an 8 x 8
// picture, 127 elsewhere; colours differ per quarter so pictures show it too.
video::SColor quarterTexel(int x, int y)
{
    const bool right = x >= 4, top = y < 4;
    return video::SColor(right && top ? 128 : 127, right ? 255 : 0, top ? 255 : 0, 128);
}

void writeImages(CAcceptanceScene& scene)
{
    scene.writeImage("gui/filler.png", 40, 40, [](int x, int y) { return video::SColor(255, x * 6, y * 6, 200); });
    scene.writeImage("gui/quad_a.png", 8, 8, quarterTexel);
    scene.writeImage("gui/quad_b.png", 8, 8, [](int x, int y) { return video::SColor(255, 200, x * 30, y * 30); });
    // Four frames of 8 x 8; the second one is the quartered picture, the others opaque.
    scene.writeImage("gui/strip.png", 32, 8, [](int x, int y) {
        return x >= 8 && x < 16 ? quarterTexel(x - 8, y) : video::SColor(255, 90, 90, 90);
    });
}

std::string atlasList()
{
    std::string data;
    for (const char* name : ListedImages)
        data += std::string(name) + "\n";
    return "<AtlasList><InternalName val='sheet'/><Data>" + data + "</Data></AtlasList>";
}

bool open(CAcceptanceScene& scene, bool withAtlas, const SSceneDriver& driver)
{
    writeImages(scene);
    if (withAtlas)
        scene.AtlasLists = atlasList();
    return scene.start(driver.Renderer, driver.Type);
}

bool openOpenGL(CAcceptanceScene& scene, bool withAtlas)
{
    return open(scene, withAtlas, SceneDrivers[0]);
}

// Three sprites of three listed images, all with the default material.
void buildScene(CAcceptanceScene& scene)
{
    scene.sprite("-Texture:gui\\filler.png\n-Size: 10\n", {-10, 0, 0});
    scene.sprite("-Texture:gui\\quad_a.png\n-Size: 8\n", {2, 4, 0});
    scene.sprite("-Texture:gui\\quad_b.png\n-Size: 8\n", {12, -4, 0});
}

TEST(SceneAtlas, DrawsTheSameAsSingleTexturesInOneRun)
{
    int switches[2] = {};
    std::vector<SPicturePixel> pixels[2];
    for (int withAtlas = 0; withAtlas < 2; ++withAtlas) {
        CAcceptanceScene scene;
        if (!openOpenGL(scene, withAtlas != 0))
            GTEST_SKIP() << "no display or no OpenGL";
        if (withAtlas) {
            if (getAtlasMaxSize().Width < 2048)
                GTEST_SKIP() << "this OpenGL takes no 2048-pixel textures";
            const STextureRegion region = retrieveTexture("gui\\quad_a.png");
            ASSERT_NE(region.Texture, nullptr);
            EXPECT_EQ(region.Texture->getOriginalSize().Width, 2048u) << "the image sits in the atlas";
            EXPECT_EQ(region.PixelRect, core::recti(64, 0, 72, 8)) << "beside the 2 x 2 cells of the filler";
        }
        buildScene(scene);
        const CSceneFrame frame = scene.frame();
        ASSERT_TRUE(frame.isValid());
        switches[withAtlas] = scene.Engine->LastSwitchCount;
        for (int y = 0; y < SceneHeight; ++y)
            for (int x = 0; x < SceneWidth; ++x)
                pixels[withAtlas].push_back(frame.at(x, y));
    }
    EXPECT_EQ(switches[0], 3) << "one draw per texture";
    EXPECT_EQ(switches[1], 1) << "one run for the whole list";
    int differing = 0;
    for (size_t i = 0; i < pixels[0].size(); ++i) {
        const SPicturePixel &a = pixels[0][i], &b = pixels[1][i];
        if (a.r != b.r || a.g != b.g || a.b != b.b) {
            if (differing++ < 5)
                ADD_FAILURE() << "pixel " << i % SceneWidth << "," << i / SceneWidth << ": " << a << " alone, " << b
                              << " from the atlas";
        }
    }
    EXPECT_EQ(differing, 0);
}

struct SClickCase {
    const char* Name;
    SSceneDriver Driver;
    bool WithAtlas;   // the software renderer never makes atlases
};

// By name: printed as bytes, the padding would be read uninitialised.
void PrintTo(const SClickCase& c, std::ostream* out)
{
    *out << c.Name;
}

class SceneClicks : public testing::TestWithParam<SClickCase> {};

// The log of the actions the clicks ran.
std::vector<std::string> clickLog()
{
    SquirrelObject log = SquirrelVM::GetRootTable().GetValue("log");
    std::vector<std::string> out;
    for (SQInteger i = 0;; ++i) {
        SquirrelObject item = log.GetValue(i);
        if (item.IsNull())
            break;
        out.push_back(item.ToString() ? item.ToString() : "?");
    }
    return out;
}

void clickAt(CAcceptanceScene& scene, int x, int y)
{
    scene.Engine->Device->getCursorControl()->setPosition(core::position2di(x, y));
    for (EMOUSE_INPUT_EVENT kind : {EMIE_MOUSE_MOVED, EMIE_LMOUSE_PRESSED_DOWN, EMIE_LMOUSE_LEFT_UP}) {
        SEvent event{};
        event.EventType = EET_MOUSE_INPUT_EVENT;
        event.MouseInput.Event = kind;
        event.MouseInput.X = x;
        event.MouseInput.Y = y;
        scene.Engine->Input.OnEvent(event);
        scene.step();
    }
    scene.step();
    scene.step();
}

TEST_P(SceneClicks, ATransparentTexelLetsTheClickThroughToTheNodeBehind)
{
    const bool withAtlas = GetParam().WithAtlas;
    struct Case {
        const char* Texture;
        const char* Extra;
        const char* What;
    } cases[] = {
        {"gui\\quad_a.png", "", "a picture of its own"},
        {"gui\\strip.png", "-Atlas: x1 y0 w4 h1\n", "frame 2 of a strip"},
    };
    for (const Case& c : cases) {
        CAcceptanceScene scene;
        scene.useOwnDisplay();   // the clicks move the pointer
        if (!open(scene, withAtlas, GetParam().Driver))
            GTEST_SKIP() << "no display or no " << GetParam().Driver.Name;
        if (withAtlas && getAtlasMaxSize().Width < 2048)
            GTEST_SKIP() << "this OpenGL takes no 2048-pixel textures";
        scene.sprite("-Texture:gui\\quad_b.png\n-Size: 30\n-Event.Mouse.Click.Action: log.append(\"behind\")\n",
                     {0, 0, 1});
        scene.sprite(std::string("-Texture:") + c.Texture + "\n" + c.Extra +
                     "-Size: 8\n-Event.Mouse.Click.PixelPerfect: 1\n-Event.Mouse.Click.Action: log.append(\"front\")\n");
        scene.step();
        // The 8-unit sprite spans 32 pixels around the centre; one click per quarter.
        struct Quarter {
            int X, Y;
            const char* Expected;
        } quarters[] = {{72, 52, "behind"}, {88, 52, "front"}, {72, 68, "behind"}, {88, 68, "behind"}};
        std::vector<std::string> expected;
        for (const Quarter& q : quarters) {
            clickAt(scene, q.X, q.Y);
            expected.push_back(q.Expected);
        }
        EXPECT_EQ(clickLog(), expected) << c.What << (withAtlas ? " in an atlas" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, SceneClicks,
                         testing::Values(SClickCase{"OpenGL", SceneDrivers[0], false},
                                         SClickCase{"OpenGLAtlas", SceneDrivers[0], true},
                                         SClickCase{"BurningsVideo", SceneDrivers[1], false}),
                         [](const testing::TestParamInfo<SClickCase>& info) { return std::string(info.param.Name); });

} // namespace
