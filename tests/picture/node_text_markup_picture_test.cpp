// A marked-up text node with an inline picture, drawn by the engine's
// renderer on OpenGL at 800x600 and read back from the frame just drawn:
// the glyphs and the picture land where the text places them.
#include "node_text.h"

#include "codepage.h"
#include "font_fixtures.h"
#include "module_enginebase.h"
#include "msgbox_recorder.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "picture_support.h"
#include "rendering.h"
#include "rendering_material_custom.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <irrlicht.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace irr;

namespace {

constexpr int ScreenW = 800, ScreenH = 600;
constexpr float PixelsPerUnit = 20.0f;   // the engine camera shows 30 units of height

IrrlichtDevice* createPictureWindow(const SIrrlichtCreationParameters& params)
{
    SIrrlichtCreationParameters window = params;
    window.WindowSize = core::dimension2du(ScreenW, ScreenH);
    window.Fullscreen = false;
    window.AntiAlias = 0;
    window.LoggingLevel = ELL_ERROR;
    return CreatePictureDevice(window);
}

int screenX(float worldX) { return int(ScreenW / 2 + worldX * PixelsPerUnit + 0.5f); }
int screenY(float worldY) { return int(ScreenH / 2 - worldY * PixelsPerUnit + 0.5f); }

enum class Seen { Black, Red, White };

Seen classify(const SPicturePixel& p)
{
    if (p.r > 200 && p.g > 200 && p.b > 200)
        return Seen::White;
    if (p.r > 128 && p.g < 64 && p.b < 64)
        return Seen::Red;
    return Seen::Black;
}

const char* name(Seen seen)
{
    return seen == Seen::White ? "white" : seen == Seen::Red ? "red" : "black";
}

class TextMarkupPicture : public testing::Test {
protected:
    void SetUp() override
    {
        if (!HasPictureDisplay())
            GTEST_SKIP() << "no display";
        ResetNodeRegistry();
        ResetInlinePictureIds();
        Engine = std::make_unique<CEngineBase>();
        Engine->Options.Renderer = 3;   // the hardware renderer
        Engine->CreateDeviceFn = createPictureWindow;
        Engine->createDevice();
        if (!Engine->Driver || Engine->Driver->getDriverType() != video::EDT_OPENGL)
            GTEST_SKIP() << "no OpenGL";
        Engine->Renderer.getMaterials().init(Engine->Driver);
        CTextureCache::instance().clear();
        Data = Folder.path() + "app/data/";
        std::filesystem::create_directories(Data + "fonts");
        SetAppFolder((Folder.path() + "app/").c_str());
        SetLogFolder(Folder.path().c_str());
        platform::PinAnsiCodePage("CP1252");
        Folder.write("app/data/fonts/mono.xml", MonospaceFontSingleQuote("mono.png"));
        ASSERT_TRUE(WriteMonospaceFontImage(Engine->Driver, Data + "fonts/mono.png"));
        ASSERT_TRUE(Engine->Device->getFileSystem()->addFileArchive(Data.c_str(), true, false, io::EFAT_FOLDER));

        scene::ISceneManager* smgr = Engine->SceneManager;
        scene::ICameraSceneNode* camera =
            smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20.65f), core::vector3df(0, 0, 0));
        camera->setAspectRatio(4.0f / 3.0f);
        smgr->setActiveCamera(camera);
        Font = new CGUIFont3D(Engine->Driver, smgr, Engine->Device->getTimer());
        ASSERT_TRUE(Font->loadXmlFont("fonts\\mono.xml"));
    }

    void TearDown() override
    {
        if (Engine && Engine->SceneManager) {
            Engine->SceneManager->getRootSceneNode()->removeAll();
            Engine->Renderer.processDeferredRemovals();
        }
        if (Font)
            Font->drop();
        CTextureCache::instance().clear();
        Engine.reset();
        ResetNodeRegistry();
        platform::PinAnsiCodePage(nullptr);
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
        ClearTextFileCache();
        ClearNativePathCache();
    }

    // Draws a frame over black and keeps it open for reading.
    void drawFrame()
    {
        Engine->Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
        Engine->Renderer.renderNodes();
    }

    Seen seenAt(float worldX, float worldY) const
    {
        return classify(ReadBackBufferPixel(screenX(worldX), screenY(worldY), ScreenH));
    }

    std::vector<CSpriteNode*> pictures(scene::ISceneNode* parent) const
    {
        std::vector<CSpriteNode*> found;
        for (scene::ISceneNode* child : parent->getChildren())
            if (auto* sprite = dynamic_cast<CSpriteNode*>(child))
                found.push_back(sprite);
        return found;
    }

    std::unique_ptr<CEngineBase> Engine;
    CGUIFont3D* Font = nullptr;
    CTempFolder Folder;
    std::string Data;
    CMessageBoxRecorder Boxes;
};

} // namespace

TEST_F(TextMarkupPicture, GlyphsAndAnInlinePictureLandWhereTheMarkupPlacesThem)
{
    // Red letters left-aligned from (-4, 3); a white square 4 units to the right of the node.
    CTextNode* node = createTextNode("<left>\n<font-color:#ff0000>\nAB\n<img src=raw://-Texture:?fill[c255,w8,h8] x=4>",
                                     core::vector3df(-4, 3, 0), Engine->SceneManager->getRootSceneNode(), -1);
    ASSERT_NE(node, nullptr);
    node->setFont(Font);
    node->updateAbsolutePosition();

    drawFrame();   // the first pass makes the picture; it draws from the next frame
    Engine->Driver->endScene();
    std::vector<CSpriteNode*> made = pictures(node);
    ASSERT_EQ(made.size(), 1u);
    made[0]->updateAbsolutePosition();
    const core::vector3df centre = made[0]->getAbsolutePosition();
    const core::dimension2df size = made[0]->getSize();
    EXPECT_NEAR(centre.X, 0.0f, 1e-4f);
    EXPECT_NEAR(centre.Y, 3.0f, 1e-4f);
    ASSERT_GT(size.Width, 0.3f) << "too small to sample";
    ASSERT_LT(size.Width, 3.0f) << "would cover the letters";

    drawFrame();
    // The letters span x -4..-3 on the line centred at y 3, 1.6 high.
    struct Case {
        float X, Y;
        Seen Expected;
        const char* Where;
    } cases[] = {
        {-3.75f, 3.0f, Seen::Red, "A"},
        {-3.25f, 3.0f, Seen::Red, "B"},
        {-4.3f, 3.0f, Seen::Black, "before the line"},
        {-3.75f, 4.1f, Seen::Black, "above the letters"},
        {-3.75f, 1.9f, Seen::Black, "below the letters"},
        {centre.X, centre.Y, Seen::White, "the picture's centre"},
        {centre.X - size.Width * 0.3f, centre.Y + size.Height * 0.3f, Seen::White, "inside its upper left"},
        {centre.X + size.Width * 0.3f, centre.Y - size.Height * 0.3f, Seen::White, "inside its lower right"},
        {centre.X + size.Width * 0.5f + 0.3f, centre.Y, Seen::Black, "right of the picture"},
        {centre.X, centre.Y - size.Height * 0.5f - 0.3f, Seen::Black, "below the picture"},
        {(-3.0f + centre.X - size.Width * 0.5f) * 0.5f, 3.0f, Seen::Black, "between the text and the picture"},
    };
    for (const Case& c : cases) {
        Seen seen = seenAt(c.X, c.Y);
        EXPECT_EQ(seen, c.Expected) << c.Where << " at " << c.X << "," << c.Y << " is " << name(seen);
    }
    Engine->Driver->endScene();
}
