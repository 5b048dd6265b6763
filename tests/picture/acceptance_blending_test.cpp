// Whole frames of the engine from sprite descriptions: how sprites and text
// blend over what lies behind them, the order they are drawn in, scrolled
// textures and sprites crossing the window's edges, generated and
// colour-keyed texture names, and the custom cursor over additive sprites.
#include "acceptance_scene.h"

#include "font_fixtures.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_sprite.h"
#include "node_text.h"
#include "node_utilities.h"

#include <ICursorControl.h>
#include <ISceneNodeAnimator.h>
#include <gtest/gtest.h>

#include <string>

using namespace irr;

namespace {

constexpr int Tolerance = 3;

const video::SColor Opaque(int r, int g, int b)
{
    return video::SColor(255, u32(r), u32(g), u32(b));
}

class SceneBlending : public testing::TestWithParam<SSceneDriver> {
protected:
    void SetUp() override
    {
        Scene.writeImage("gui/blue.png", 4, 4, [](int, int) { return Opaque(0, 0, 255); });
        Scene.writeImage("gui/white.png", 4, 4, [](int, int) { return Opaque(255, 255, 255); });
    }

    // False when the driver is not there; the test then skips itself, as a
    // skip inside this helper would not end the test.
    bool start() { return Scene.start(GetParam().Renderer, GetParam().Type); }
    std::string missing() const { return std::string("no display or no ") + GetParam().Name; }

    bool isOpenGL() const { return GetParam().Type == video::EDT_OPENGL; }

    // A blue sprite over the whole window, farther than anything else.
    void background() { Scene.sprite("-Texture:gui\\blue.png\n-Size: w44 h34\n", {0, 0, 1}); }

    CAcceptanceScene Scene;
};

TEST_P(SceneBlending, SpritesAndTextMixWithWhatLiesBehind)
{
    Scene.writeImage("gui/half_red.png", 4, 4, [](int, int) { return video::SColor(128, 255, 0, 0); });
    Scene.writeImage("gui/grey.png", 4, 4, [](int, int) { return Opaque(64, 64, 64); });
    Scene.writeImage("gui/magenta.png", 32, 32, [](int, int) { return Opaque(255, 0, 255); }, video::ECF_R8G8B8);
    Scene.writeText("fonts/mono.xml", MonospaceFontSingleQuote("mono.png"));
    Scene.Fonts = "<Font><InternalName val='mono'/><Description val='fonts\\mono.xml'/></Font>";
    IrrlichtDevice* device = createDevice(video::EDT_NULL);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(WriteMonospaceFontImage(device->getVideoDriver(), Scene.dataPath("fonts/mono.png")));
    device->drop();
    if (!start())
        GTEST_SKIP() << missing();
    background();
    const char* const Black = "-Texture:gui\\black.png\n";
    const char* const White = "-Texture:gui\\white.png\n";
    struct Case {
        const char* Description;   // a sprite's, or text markup when it starts with '<'
        const char* Behind;        // a sprite under it, or none
        bool OnSoftware;   // the software renderer has neither vertex alpha nor an additive blend
        SPicturePixel Expected;
        const char* What;
    } cases[] = {
        {"-Texture:gui\\half_red.png\n", nullptr, true, {128, 0, 127}, "a 50% texel mixes evenly"},
        {"-Texture:gui\\white.png\n-Tint: 0x80FF40\n", nullptr, true, {128, 255, 64},
         "the tint multiplies a stretched picture"},
        {"-Texture:gui\\white.png\n-Alpha: 0.04\n", nullptr, false, {0, 0, 255}, "alpha below 12/255 hides the node"},
        {"-Texture:gui\\white.png\n-Alpha: 0.1\n", nullptr, false, {25, 25, 255}, "alpha above it shows"},
        {"-Texture:gui\\white.png\n-Fade: 0.04 t10\n", nullptr, false, {0, 0, 255},
         "a fade below 12/255 hides the node"},
        {"-Texture:gui\\white.png\n-Fade: 0.1 t10\n", nullptr, false, {25, 25, 255}, "a fade above it shows"},
        {"-Texture:gui\\grey.png\n-MaterialType: 1\n", nullptr, false, {128, 128, 255},
         "additive adds twice the texel"},
        {"-Texture:gui\\grey.png\n-MaterialType: 1\n-Tint: 0x808080\n", nullptr, false, {64, 64, 255},
         "additive takes the tint"},
        {"-Texture:gui\\magenta.png\n-Rotation: 30\n", Black, true, {255, 0, 255},
         "a turned picture without alpha over black"},
        {"-Texture:gui\\magenta.png\n-Rotation: 90\n", White, true, {255, 0, 255},
         "a turned picture without alpha over white"},
        {"-Texture:gui\\half_red.png\n-Rotation: 30\n", White, true, {255, 127, 127}, "a turned picture with alpha"},
        {"<font-size:4>\n<font-color:#FF0000>\nAAA", nullptr, true, {255, 0, 0}, "coloured text"},
    };
    // Eight to a row, 4.5 units apart.
    auto place = [](size_t i) { return core::vector3df(-18 + 4.5f * float(i % 8), 7.5f - 10 * float(i / 8), 0); };
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        const Case& c = cases[i];
        if (c.Behind)
            Scene.sprite(std::string(c.Behind) + "-Size: 3.5\n", place(i) + core::vector3df(0, 0, 0.5f));
        if (c.Description[0] == '<')
            ASSERT_NE(createTextNode(c.Description, place(i), Scene.Engine->RootNode, -1), nullptr) << c.What;
        else
            Scene.sprite(std::string(c.Description) + "-Size: 3\n", place(i));
    }
    for (int frame = 0; frame < 3; ++frame)
        Scene.step();   // the fades end after 10 ms
    const CSceneFrame frame = Scene.frame();
    ASSERT_TRUE(frame.isValid());
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        const Case& c = cases[i];
        const core::vector3df at = place(i);
        if (isOpenGL() || c.OnSoftware) {
            EXPECT_TRUE(PixelNear(frame.atWorld(at.X, at.Y), c.Expected, Tolerance)) << c.What;
        }
        EXPECT_TRUE(PixelNear(frame.atWorld(at.X + 2.25f, at.Y), {0, 0, 255}, Tolerance)) << "beside: " << c.What;
    }
}

// An 8 x 8 picture in four colours: red upper left, green upper right,
// yellow lower left, white lower right.
video::SColor quarterTexel(int x, int y)
{
    const bool right = x >= 4, bottom = y >= 4;
    return Opaque(right && !bottom ? 0 : 255, right || bottom ? 255 : 0, right && bottom ? 255 : 0);
}

TEST_P(SceneBlending, ScrolledTexturesRepeatAndEdgesCutAwayTheirPart)
{
    Scene.writeImage("gui/quarters.png", 8, 8, quarterTexel);
    if (!start())
        GTEST_SKIP() << missing();
    const SPicturePixel Red{255, 0, 0}, Green{0, 255, 0}, Yellow{255, 255, 0}, White{255, 255, 255};
    struct Probe {
        float X, Y;
        SPicturePixel Expected;
    };
    struct Case {
        const char* Size;
        core::vector3df Position;
        core::vector2df Scroll;   // texture coordinates past 0..1 repeat the picture
        Probe Probes[4];
        const char* What;
    } cases[] = {
        {"8", {0, 0, 0}, {0.5f, 0.5f}, {{-2, 2, White}, {2, 2, Yellow}, {-2, -2, Green}, {2, -2, Red}},
         "scrolled by half: the quarters swap across"},
        {"8", {0, 0, 0}, {-0.5f, 0}, {{-2, 2, Green}, {2, 2, Red}, {-2, -2, White}, {2, -2, Yellow}},
         "scrolled back by half"},
        {"2", {0, 0, 0}, {0.5f, 0}, {{-0.5f, 0.5f, Green}, {0.5f, 0.5f, Red}, {-0.5f, -0.5f, White},
                                      {0.5f, -0.5f, Yellow}},
         "scrolled, texel to pixel"},
        {"8", {-20, 0, 0}, {0, 0}, {{-18, 2, Green}, {-18, -2, White}, {-19.5f, 2, Green}, {-16.5f, -2, White}},
         "across the left edge: its right half shows"},
        {"8", {0, 15, 0}, {0, 0}, {{-2, 13, Yellow}, {2, 13, White}, {-2, 14.5f, Yellow}, {2, 11.5f, White}},
         "across the top edge: its lower half shows"},
        {"w44 h34", {0, 0, 0}, {0, 0}, {{-1.5f, 1.5f, Red}, {1.5f, 1.5f, Green}, {-1.5f, -1.5f, Yellow},
                                        {19.5f, -14.5f, White}},
         "a background larger than the window keeps its centre"},
    };
    for (const Case& c : cases) {
        CNodeBasement* node =
            Scene.sprite(std::string("-Texture:gui\\quarters.png\n-TextureFiltering: 0\n-Size: ") + c.Size + "\n",
                         c.Position);
        ASSERT_NE(node, nullptr) << c.What;
        if (c.Scroll.X != 0 || c.Scroll.Y != 0) {
            CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
            ASSERT_NE(sprite, nullptr) << c.What;
            sprite->shiftUV(c.Scroll);   // what the texture scroller does each step
        }
        const CSceneFrame frame = Scene.frame();
        ASSERT_TRUE(frame.isValid());
        for (const Probe& p : c.Probes)
            EXPECT_TRUE(PixelNear(frame.atWorld(p.X, p.Y), p.Expected, Tolerance))
                << c.What << " at " << p.X << "," << p.Y;
        deleteNode(node);
        Scene.step();
    }
}

// The software renderer shows the system cursor instead (the fallback test).
TEST(SceneCursor, TheCustomCursorKeepsItsBrightnessOverAdditiveSprites)
{
    CAcceptanceScene scene;
    scene.writeImage("gui/blue.png", 4, 4, [](int, int) { return Opaque(0, 0, 255); });
    scene.writeImage("gui/grey.png", 4, 4, [](int, int) { return Opaque(64, 64, 64); });
    scene.writeImage("gui/cursor.png", 8, 8, [](int, int) { return Opaque(64, 64, 64); });
    scene.Cursors = "<Cursor><InternalName val='arrow'/><Texture val='gui\\cursor.png'/><SpritesX val='1'/></Cursor>";
    scene.useOwnDisplay();   // the test moves the pointer
    if (!scene.start(3, video::EDT_OPENGL))
        GTEST_SKIP() << "no display or no OpenGL";
    ASSERT_EQ(scene.Engine->Cursors.GetSize(), 1) << "the manifest's cursor";
    scene.Engine->getProfile()->CursorFace = 1;
    scene.sprite("-Texture:gui\\blue.png\n-Size: w44 h34\n", {0, 0, 1});
    scene.sprite("-Texture:gui\\grey.png\n-MaterialType: 1\n-Size: 20\n");
    scene.Engine->Device->getCursorControl()->setPosition(core::position2di(SceneWidth / 2, SceneHeight / 2));
    SEvent move{};
    move.EventType = EET_MOUSE_INPUT_EVENT;
    move.MouseInput.Event = EMIE_MOUSE_MOVED;
    move.MouseInput.X = SceneWidth / 2;
    move.MouseInput.Y = SceneHeight / 2;
    scene.Engine->Input.OnEvent(move);
    scene.step();
    const CSceneFrame frame = scene.frame();
    ASSERT_TRUE(frame.isValid());
    EXPECT_FALSE(scene.Engine->Device->getCursorControl()->isVisible()) << "the system cursor is hidden";
    EXPECT_TRUE(PixelNear(frame.at(SceneWidth / 2 + 3, SceneHeight / 2 + 3), {64, 64, 64}, Tolerance)) << "cursor";
    EXPECT_TRUE(PixelNear(frame.at(SceneWidth / 2 - 10, SceneHeight / 2), {128, 128, 255}, Tolerance))
        << "the additive sprite beside it";
}

// Removes its node during the frame's animation pass, once.
class CRemoveDuringFrame : public scene::ISceneNodeAnimator {
public:
    void animateNode(scene::ISceneNode* node, u32) override
    {
        if (!Done)
            deleteNode(node);
        Done = true;
    }
    scene::ISceneNodeAnimator* createClone(scene::ISceneNode*, scene::ISceneManager*) override { return nullptr; }

private:
    bool Done = false;
};

TEST_P(SceneBlending, DrawOrderFollowsDepthZOrderAndLayer)
{
    Scene.writeImage("gui/red.png", 4, 4, [](int, int) { return Opaque(255, 0, 0); });
    Scene.writeImage("gui/green.png", 4, 4, [](int, int) { return Opaque(0, 255, 0); });
    if (!start())
        GTEST_SKIP() << missing();
    background();
    struct Case {
        const char* First;    // made first
        float FirstZ;
        const char* Second;
        float SecondZ;
        int SecondLayer;      // 0: as described
        SPicturePixel Expected;
        const char* What;
    } cases[] = {
        {"-Texture:gui\\green.png\n", 0.25f, "-Texture:gui\\red.png\n", 0.5f, 0, {0, 255, 0}, "nearer Z on top"},
        {"-Texture:gui\\red.png\n", 0.5f, "-Texture:gui\\green.png\n", 0.25f, 0, {0, 255, 0}, "made in either order"},
        {"-Texture:gui\\green.png\n-Position: s2\n", 0, "-Texture:gui\\red.png\n-Position: s1\n", 0, 0, {0, 255, 0},
         "equal Z: the higher z-order on top"},
        {"-Texture:gui\\green.png\n", 0, "-Texture:gui\\red.png\n-RenderOrder: 1\n", 0.6f, 0, {255, 0, 0},
         "layer 6 over the default list whatever its depth"},
        {"-Texture:gui\\green.png\n-RenderOrder: 1\n", 0, "-Texture:gui\\red.png\n", 0.6f, 7, {255, 0, 0},
         "layer 7 over everything"},
    };
    float x = -15;
    for (const Case& c : cases) {
        Scene.sprite(std::string(c.First) + "-Size: 4\n", {x, 0, c.FirstZ});
        CNodeBasement* second = Scene.sprite(std::string(c.Second) + "-Size: 4\n", {x, 0, c.SecondZ});
        ASSERT_NE(second, nullptr);
        if (c.SecondLayer)
            second->setLayer(c.SecondLayer);
        x += 7;
    }
    const CSceneFrame frame = Scene.frame();
    ASSERT_TRUE(frame.isValid());
    x = -15;
    for (const Case& c : cases) {
        EXPECT_TRUE(PixelNear(frame.atWorld(x, 0), c.Expected, Tolerance)) << c.What;
        x += 7;
    }
}

TEST_P(SceneBlending, ANodeRemovedDuringAFrameIsDrawnInItAndGoneAfter)
{
    Scene.writeImage("gui/red.png", 4, 4, [](int, int) { return Opaque(255, 0, 0); });
    if (!start())
        GTEST_SKIP() << missing();
    background();
    CNodeBasement* node = Scene.sprite("-Texture:gui\\red.png\n-Size: 6\n");
    ASSERT_NE(node, nullptr);
    Scene.step();
    auto* remover = new CRemoveDuringFrame;
    node->addAnimator(remover);
    remover->drop();
    const CSceneFrame during = Scene.frame();
    const CSceneFrame after = Scene.frame();
    ASSERT_TRUE(during.isValid() && after.isValid());
    EXPECT_TRUE(PixelNear(during.atWorld(0, 0), {255, 0, 0}, Tolerance)) << "still drawn in its last frame";
    EXPECT_TRUE(PixelNear(after.atWorld(0, 0), {0, 0, 255}, Tolerance)) << "gone from the next";
}

TEST_P(SceneBlending, GeneratedAndColourKeyedTextureNames)
{
    Scene.Head = "<Modifiers_DefaultPixelSize val='0.25'/>";
    // The key written as an integer reads as red 0x20, green 0xA0, blue 0xFF;
    // the same bytes the other way round must stay.
    Scene.writeImage("gui/keyed.png", 8, 8, [](int x, int) {
        return x < 4 ? video::SColor(255, 0x20, 0xA0, 0xFF) : video::SColor(255, 0xFF, 0xA0, 0x20);
    });
    if (!start())
        GTEST_SKIP() << missing();
    background();
    // "-SizeFromTexture": the quad takes the texture's size times the manifest's pixel
    // size, here a quarter unit: one texel to one window pixel.
    Scene.sprite("-Texture:?fill[c255,w64,h32]\n-SizeFromTexture\n", {-8, 6, 0});
    Scene.sprite("-Texture:gui\\keyed.png?colorkey[c0x20A0FF]\n-Size: 8\n", {8, -6, 0});
    const CSceneFrame frame = Scene.frame();
    ASSERT_TRUE(frame.isValid());
    // The white quad spans x -16..0 and y 2..10 in world units: 64 x 32 pixels.
    const int left = sceneX(-16), right = sceneX(0), top = sceneY(10), bottom = sceneY(2);
    EXPECT_EQ(right - left, 64);
    EXPECT_EQ(bottom - top, 32);
    struct Case {
        int X, Y;
        SPicturePixel Expected;
        const char* What;
    } cases[] = {
        {left + 1, top + 1, {255, 255, 255}, "fill: upper left, opaque white"},
        {right - 2, bottom - 2, {255, 255, 255}, "fill: lower right"},
        {left - 2, top + 10, {0, 0, 255}, "fill: left of it"},
        {left + 10, top - 2, {0, 0, 255}, "fill: above it"},
        {right + 2, bottom - 10, {0, 0, 255}, "fill: right of it"},
        {sceneX(6), sceneY(-6), {0, 0, 255}, "colour key: the key colour is transparent"},
        {sceneX(10), sceneY(-6), {255, 0xA0, 0x20}, "colour key: other colours stay"},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(PixelNear(frame.at(c.X, c.Y), c.Expected, Tolerance)) << c.What;
}

INSTANTIATE_TEST_SUITE_P(Drivers, SceneBlending, testing::ValuesIn(SceneDrivers),
                         [](const testing::TestParamInfo<SSceneDriver>& info) { return info.param.Name; });

} // namespace
