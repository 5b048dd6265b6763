// Pixel-perfect picking on a real window: the alpha of the texture pixel under
// the cursor decides the hit, 128 and above counting as opaque; turned sprites
// are hit where they are drawn. Keys pressed on the window's keyboard. The
// clipboard of a window, shared with other programs.
#include "module_mousekeyb.h"

#include "codepage.h"
#include "module_mousekeyb_editor.h"
#include "other_x_client.h"
#include "x_clipboard.h"
#include "xlib.h"

#include "module_enginebase.h"
#include "msgbox.h"
#include "node_sprite.h"
#include "rendering_material_custom.h"
#include "rendering_stuff_particles.h"
#include "rendering_stuff_textures.h"
#include "utils_system_common.h"

#include "engine_picture.h"
#include "xtest_keyboard.h"
#include "xvfb_server.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

using namespace irr;

namespace {

constexpr int WindowSize = SmallPictureSide;

class PickingPicture : public EnginePicture {
protected:
    void SetUp() override
    {
        getInputState()->reset();
        EnginePicture::SetUp();
    }
    void TearDown() override
    {
        getInputState()->reset();
        EnginePicture::TearDown();
    }

    // A window-covering sprite whose texture is white with alpha 127 on the
    // left half and 128 on the right half.
    CSpriteNode* halves(s32 id)
    {
        const std::string path = writeImage("halves.png", 8, 8, [](int x, int) {
            return video::SColor(x < 4 ? 127 : 128, 255, 255, 255);
        });
        auto* node = new CSpriteNode(Engine->SceneManager->getRootSceneNode(), Engine->SceneManager, id,
                                     core::vector3df(0, 0, 0), core::dimension2df(40, 40));
        node->drop();
        node->setTextureRegion(retrieveTexture(path.c_str()));
        node->getMaterial(0).Lighting = false;
        node->updateAbsolutePosition();
        return node;
    }

    // The device's window takes the events of its display until the key
    // table shows the key so (false when it never does).
    bool runUntilKeyIs(int key, bool down)
    {
        for (int i = 0; i < 200; ++i) {
            Engine->Device->run();
            if ((GetKeyStateIfActive(key) < 0) == down)
                return true;
            usleep(5000);
        }
        return false;
    }

    // The camera's frustum exists only after a drawn frame.
    void drawFrame()
    {
        Engine->Driver->beginScene(true, true, video::SColor(255, 0, 0, 255));
        Engine->Renderer.renderNodes();
        Engine->Driver->endScene();
    }
};

TEST_P(PickingPicture, AlphaAboveHalfUnderTheCursorDecidesAPixelPerfectHit)
{
    CSpriteNode* node = halves(1500);
    ASSERT_NE(node->getTextureRegion().Texture, nullptr);
    drawFrame();

    struct Case {
        int PixelPerfect;
        int X;            // window pixels; the row is the middle one
        s32 Picked;       // the node's ID, or 0
    } cases[] = {
        {1, WindowSize / 4, 0},             // alpha 127
        {1, WindowSize * 3 / 4, 1500},      // alpha 128
        {1, WindowSize / 2 - 6, 0},
        {1, WindowSize / 2 + 6, 1500},
        {0, WindowSize / 4, 1500},          // not pixel-perfect: the box alone counts
        {0, WindowSize * 3 / 4, 1500},
    };
    for (const Case& c : cases) {
        getInputState()->addClickable(node, c.PixelPerfect);
        s32 ids[MaxPickedNodes];
        const s32 top = getInputState()->pickTopNodeId(core::position2di(c.X, WindowSize / 2), ids);
        EXPECT_EQ(top, c.Picked) << "pixel-perfect " << c.PixelPerfect << " at x " << c.X;
        EXPECT_EQ(ids[0], c.Picked);
        getInputState()->removeClickable(node);
    }
}

TEST_P(PickingPicture, TurnedSpriteIsPickedWhereItIsDrawn)
{
    CSpriteNode* node = halves(1500);
    drawFrame();
    constexpr int Near = WindowSize / 4, Far = WindowSize * 3 / 4, Mid = WindowSize / 2;
    struct Case {
        f32 Width, Height;
        int PixelPerfect;
        int X, Y;         // window pixels
        s32 Picked;
    } cases[] = {
        // Turned a quarter to the left, the opaque right half is on top.
        {40, 40, 1, Near, Near, 1500},
        {40, 40, 1, Far, Near, 1500},
        {40, 40, 1, Near, Far, 0},
        {40, 40, 1, Far, Far, 0},
        // A wide bar turned upright: hit on the bar, missed beside it.
        {40, 4, 0, Mid, Near, 1500},
        {40, 4, 0, Mid, Far, 1500},
        {40, 4, 0, Near, Mid, 0},
        {40, 4, 0, Far, Mid, 0},
    };
    node->setAngle(core::PI / 2);
    for (const Case& c : cases) {
        node->setSize(core::dimension2df(c.Width, c.Height));
        getInputState()->addClickable(node, c.PixelPerfect);
        EXPECT_EQ(getInputState()->pickTopNodeId(core::position2di(c.X, c.Y), nullptr), c.Picked)
            << c.Width << "x" << c.Height << " pixel-perfect " << c.PixelPerfect << " at " << c.X << "," << c.Y;
        getInputState()->removeClickable(node);
    }
}

// Keys pressed through XTEST go to the focused window and NumLock is the
// server's: on the display shared by the tests running beside it, another
// window takes the focus or turns NumLock off. So these tests have an X
// server of their own.
class KeyboardPicture : public PickingPicture {
protected:
    void SetUp() override
    {
        Server = std::make_unique<CXvfbServer>();
        if (Server->name().empty())
            GTEST_SKIP() << "no Xvfb";
        if (const char* display = std::getenv("DISPLAY"))
            SharedDisplay = display;
        setenv("DISPLAY", Server->name().c_str(), 1);
        PickingPicture::SetUp();
    }
    void TearDown() override
    {
        PickingPicture::TearDown();
        if (!SharedDisplay.empty())
            setenv("DISPLAY", SharedDisplay.c_str(), 1);
        Server.reset();
    }

private:
    std::unique_ptr<CXvfbServer> Server;
    std::string SharedDisplay;
};

// The key's code is the one of the X key code on the layout, whatever the
// driver: the device's own guess for a number-pad digit with NumLock on is
// End, or nothing.
TEST_P(KeyboardPicture, NumberPadDigitWithNumLockIsItsNumberPadKey)
{
    CXTestKeyboard keyboard;
    if (!keyboard.ready())
        GTEST_SKIP() << "no XTEST";
    Engine->AppActive = 1;
    keyboard.setNumLock(true);
    keyboard.key(87, true);   // the number pad's 1
    EXPECT_TRUE(runUntilKeyIs(0x61, true)) << "VK_NUMPAD1 held";
    EXPECT_EQ(GetKeyStateIfActive(irr::KEY_END), 0);
    keyboard.key(87, false);
    EXPECT_TRUE(runUntilKeyIs(0x61, false)) << "VK_NUMPAD1 let go";
}

// A key let go while another window had the focus for less than a frame is
// let go in the game too.
TEST_P(KeyboardPicture, KeyReleasedWhileTheFocusWasAwayWithinAFrameIsLetGo)
{
    CXTestKeyboard keyboard;
    if (!keyboard.ready())
        GTEST_SKIP() << "no XTEST";
    Engine->AppActive = 1;
    keyboard.key(38, true);   // A
    ASSERT_TRUE(runUntilKeyIs('A', true));
    Engine->Input.followWindowFocus(Engine->isWindowActive());
    keyboard.focusElsewhere([&] { keyboard.key(38, false); });
    for (int i = 0; i < 20; ++i) {   // frames, with the focus back
        Engine->Device->run();
        Engine->Input.followWindowFocus(Engine->isWindowActive());
        usleep(5000);
    }
    EXPECT_TRUE(Engine->isWindowActive());
    EXPECT_EQ(GetKeyStateIfActive('A'), 0);
}

// A key pressed in the frame in which the focus went and came back, or once
// it is back, is held for as long as it is down.
TEST_P(KeyboardPicture, KeyPressedAroundAFocusLossWithinAFrameIsHeld)
{
    CXTestKeyboard keyboard;
    if (!keyboard.ready())
        GTEST_SKIP() << "no XTEST";
    Engine->AppActive = 1;
    auto frame = [&] {
        Engine->Device->run();
        Engine->Input.followWindowFocus(Engine->isWindowActive());
        usleep(5000);
    };
    struct Case {
        const char* When;
        int FramesBefore;   // with the focus back, before the press
    } cases[] = {
        {"in the frame of the focus loss", 0},
        {"after the focus is back", 3},
    };
    for (const Case& c : cases) {
        keyboard.focusElsewhere([] {});
        for (int i = 0; i < c.FramesBefore; ++i)
            frame();
        keyboard.key(56, true);   // B
        int held = 0;
        for (int i = 0; i < 20; ++i) {
            frame();
            held += GetKeyStateIfActive('B') < 0 ? 1 : 0;
        }
        EXPECT_EQ(held, 20) << c.When;
        keyboard.key(56, false);
        EXPECT_TRUE(runUntilKeyIs('B', false)) << c.When;
    }
}

// The game's texts are in its code page, the clipboard speaks UTF-8.
TEST(WindowClipboard, GameTextKeepsItsCodePageAndTextOfOthersIsPasted)
{
    if (!HasPictureDisplay())
        GTEST_SKIP() << "no display";
    platform::MessageBoxHook previousHook = platform::SetMessageBoxHook(
        [](const char*, const char*, unsigned type) { return platform::UnattendedBoxAnswer(type); });
    ASSERT_TRUE(platform::PinAnsiCodePage("CP1252"));
    std::unique_ptr<CEngineBase> engine;
    CString pasted;
    WithOtherXClient(
        [](const SOtherXClient& other) {
            if (!platform::SetClipboardUtf8("na\xC3\xAFve"))
                return std::string("not owned");
            other.ready();
            while (!other.stopped(5))
                platform::ServeClipboard();
            return std::string();
        },
        [&](int) { pasted = ReadDeviceClipboard(); },
        [&] {
            engine = std::make_unique<CEngineBase>();
            engine->CreateDeviceFn = CreateSmallPictureDevice;
            engine->createDevice();
        });
    ASSERT_NE(engine->Driver, nullptr);
    EXPECT_EQ(std::string(pasted), "na\xEFve") << "another program's text";

    engine->getScripts()->registerCoreFunctions(nullptr);
    engine->getScripts()->callScriptCode("core_SetClipboard(\"caf\xE9 ok\");", nullptr, false);
    EXPECT_EQ(std::string(ReadDeviceClipboard()), "caf\xE9 ok") << "the game's own text";
    engine.reset();
    platform::CloseClipboard();
    platform::PinAnsiCodePage(nullptr);
    platform::SetMessageBoxHook(previousHook);
}

INSTANTIATE_TEST_SUITE_P(Drivers, PickingPicture, testing::ValuesIn(PictureDrivers), PictureDriverName);
INSTANTIATE_TEST_SUITE_P(Drivers, KeyboardPicture, testing::ValuesIn(PictureDrivers), PictureDriverName);

} // namespace
