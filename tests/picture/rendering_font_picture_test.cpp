// Text drawn through the font and the 2D batch at 800x600 under the engine's
// camera, read back from the frame: glyphs appear where the font measures them.
#include "rendering_font.h"

#include "codepage.h"
#include "font_fixtures.h"
#include "msgbox_recorder.h"
#include "picture_support.h"
#include "node_text.h"
#include "rendering_material_custom.h"
#include "rendering_stuff.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <irrlicht.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace irr;

namespace {

constexpr int ScreenW = 800, ScreenH = 600;
constexpr float PixelsPerUnit = 20.0f;   // the engine camera shows 30 units of height

SBatchState* Batch = nullptr;
SBatchStats Stats;
video::IVideoDriver* BatchDriver = nullptr;

void submitToBatch(const core::matrix4* transform, const video::SMaterial* material, const video::S3DVertex* vertices)
{
    Batch->submit(BatchDriver, transform, material, vertices, Stats);
}

struct SPixel {
    int R, G, B;
    bool isLit() const { return R > 128; }
};

class FontPicture : public testing::Test {
protected:
    void SetUp() override
    {
        if (!HasPictureDisplay())
            GTEST_SKIP() << "no display";
        SIrrlichtCreationParameters params;
        params.DriverType = video::EDT_OPENGL;
        params.WindowSize = core::dimension2du(ScreenW, ScreenH);
        params.Bits = 32;
        params.LoggingLevel = ELL_ERROR;
        Device = CreatePictureDevice(params);
        if (!Device)
            GTEST_SKIP() << "no OpenGL";
        Driver = Device->getVideoDriver();
        Data = Folder.path() + "app/data/";
        std::filesystem::create_directories(Data + "fonts");
        SetAppFolder((Folder.path() + "app/").c_str());
        SetLogFolder(Folder.path().c_str());
        GetDefaultEngineContext().FileSystem = Device->getFileSystem();
        GetDefaultEngineContext().ManifestLoaded = true;
        platform::PinAnsiCodePage("CP1252");
        Materials.init(Driver);
        SetTextureServices(Driver, &Materials);
        CTextureCache::instance().clear();
        Batch = new SBatchState();
        BatchDriver = Driver;
        SetFontQuadSink(submitToBatch);

        scene::ISceneManager* smgr = Device->getSceneManager();
        scene::ICameraSceneNode* camera =
            smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20.65f), core::vector3df(0, 0, 0));
        camera->setAspectRatio(4.0f / 3.0f);
        smgr->setActiveCamera(camera);
    }
    void TearDown() override
    {
        if (!Device)
            return;
        if (Font)
            Font->drop();
        SetFontQuadSink(nullptr);
        delete Batch;
        Batch = nullptr;
        CTextureCache::instance().clear();
        SetTextureServices(nullptr, nullptr);
        Materials.dropAll();
        GetDefaultEngineContext().ManifestLoaded = false;
        GetDefaultEngineContext().FileSystem = nullptr;
        platform::PinAnsiCodePage(nullptr);
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
        ClearTextFileCache();
        ClearNativePathCache();
        Device->closeDevice();
        Device->drop();
    }

    void mount()
    {
        io::IFileSystem* fs = Device->getFileSystem();
        fs->removeFileArchive(Data.c_str());
        ASSERT_TRUE(fs->addFileArchive(Data.c_str(), true, false, io::EFAT_FOLDER));
    }

    void loadFont(const char* name)
    {
        mount();
        Font = new CGUIFont3D(Driver, Device->getSceneManager(), Device->getTimer());
        ASSERT_TRUE(Font->loadXmlFont(name));
    }

    // Draws one line left-aligned at the world origin in red on black and
    // keeps the frame open for reading.
    void drawLine(const char* text, core::vector3df at)
    {
        Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
        Device->getSceneManager()->drawAll();   // the camera's view and projection
        Stats = SBatchStats();
        Font->drawText(text, at, video::SColor(255, 255, 0, 0), 1, false, 1.0f, false, nullptr, nullptr);
        Batch->submit(Driver, nullptr, nullptr, nullptr, Stats);
    }

    SPixel pixelAt(int x, int y) const
    {
        const SPicturePixel p = ReadBackBufferPixel(x, y, ScreenH);
        return SPixel{p.r, p.g, p.b};
    }

    static int screenX(float worldX) { return int(ScreenW / 2 + worldX * PixelsPerUnit + 0.5f); }
    static int screenY(float worldY) { return int(ScreenH / 2 - worldY * PixelsPerUnit + 0.5f); }

    IrrlichtDevice* Device = nullptr;
    video::IVideoDriver* Driver = nullptr;
    CCustomMaterials Materials;
    CGUIFont3D* Font = nullptr;
    CTempFolder Folder;
    std::string Data;
    CMessageBoxRecorder Boxes;
};

} // namespace

TEST_F(FontPicture, MonospaceBoxesLandOnTheirPixels)
{
    Folder.write("app/data/fonts/mono.xml", MonospaceFontSingleQuote("mono.png"));
    ASSERT_TRUE(WriteMonospaceFontImage(Driver, Data + "fonts/mono.png"));
    loadFont("fonts\\mono.xml");
    drawLine("AB A", core::vector3df(0, 0, 0));
    EXPECT_EQ(Stats.SwitchCount, 1);   // one run for the whole line

    // Glyphs are 10 x 32 pixels from (400, 268); the blank shows nothing.
    struct Case {
        int X, Y;
        bool IsLit;
        const char* Where;
    } cases[] = {
        {402, 270, true, "A, top left"},     {407, 297, true, "A, bottom right"}, {415, 284, true, "B"},
        {425, 284, false, "the blank"},      {435, 284, true, "second A"},        {445, 284, false, "after the line"},
        {405, 304, false, "below the line"}, {405, 263, false, "above the line"}, {395, 284, false, "before the line"},
    };
    for (const Case& c : cases) {
        SPixel pixel = pixelAt(c.X, c.Y);
        EXPECT_EQ(pixel.isLit(), c.IsLit) << c.Where << " at " << c.X << "," << c.Y << ": " << pixel.R;
        if (c.IsLit) {
            EXPECT_LT(pixel.G, 64) << c.Where << ": drawn in the vertex colour";
        }
    }
    Driver->endScene();
}

TEST_F(FontPicture, AFontMadeByTheToolDrawsItsGlyphsWhereMeasured)
{
    const std::string tool = std::string(ENGINE_BINARY_DIR) + "/tools/make_font";
    if (!std::filesystem::exists(tool))
        GTEST_SKIP() << "make_font is not built";
    const std::string command = tool + " --line-height 32 " + Data + "fonts/sans > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    loadFont("fonts\\sans.xml");
    ASSERT_EQ(Font->getLineHeight(), 32);

    const char* text = "Hello, World";
    const core::vector3df origin(-5, 0, 0);
    drawLine(text, origin);

    // Each glyph's own box: from its pen position plus the left bearing, one
    // glyph rect wide, one line tall.
    float pen = origin.X;
    int litOutside = 0;
    for (const char* p = text; *p; ++p) {
        const SFontGlyph& glyph = Font->getGlyph(CGUIFont3D::getGlyphIndex(*p));
        float left = pen + glyph.A * Font->getUnit();
        float right = left + Font->glyphSize(CGUIFont3D::getGlyphIndex(*p)).X;
        int lit = 0;
        for (int x = screenX(left); x < screenX(right); ++x)
            for (int y = screenY(1.6f); y < screenY(0); ++y)
                lit += pixelAt(x, y).isLit();
        if (*p != ' ') {
            EXPECT_GT(lit, 3) << "glyph '" << *p << "'";
        }
        pen += Font->getTextDimension(std::string(1, *p).c_str()).X;
    }
    EXPECT_NEAR(pen - origin.X, Font->getTextDimension(text).X, 1e-4f);
    // Nothing outside the measured line, two pixels around it.
    float width = Font->getTextDimension(text).X;
    for (int y = screenY(1.6f) - 6; y < screenY(0) + 6; ++y)
        for (int x = screenX(origin.X) - 8; x < screenX(origin.X + width) + 8; ++x) {
            bool inside = x >= screenX(origin.X) - 2 && x < screenX(origin.X + width) + 2 && y >= screenY(1.6f) - 2 &&
                          y < screenY(0) + 2;
            if (!inside)
                litOutside += pixelAt(x, y).isLit();
        }
    EXPECT_EQ(litOutside, 0);
    Driver->endScene();
}

TEST_F(FontPicture, ATextNodeDrawsItsLinesWhereItMeasuresThem)
{
    Folder.write("app/data/fonts/mono.xml", MonospaceFontSingleQuote("mono.png"));
    ASSERT_TRUE(WriteMonospaceFontImage(Driver, Data + "fonts/mono.png"));
    loadFont("fonts\\mono.xml");
    scene::ISceneManager* smgr = Device->getSceneManager();
    auto* node = new CTextNode(smgr->getRootSceneNode(), smgr, core::vector3df(2, 3, 0), "AB\nA A", -1);
    node->drop();   // the root holds it
    node->setFont(Font);
    node->setColor(video::SColor(255, 255, 0, 0));
    node->updateAbsolutePosition();

    Driver->beginScene(true, true, video::SColor(255, 0, 0, 0));
    smgr->drawAll();   // the camera's view and projection; the text node is not registered here
    Stats = SBatchStats();
    node->render();
    Batch->submit(Driver, nullptr, nullptr, nullptr, Stats);

    // Centred on (2, 3) and on each line's height: the first line spans
    // x 1.5..2.5, y 2.2..3.8; the second, 1.6 lower, x 1.25..2.75.
    const core::rectf& bounds = node->getTextBounds();
    EXPECT_FLOAT_EQ(bounds.UpperLeftCorner.X, 1.25f);
    EXPECT_FLOAT_EQ(bounds.LowerRightCorner.X, 2.75f);
    struct Case {
        float X, Y;
        bool IsLit;
        const char* Where;
    } cases[] = {
        {1.75f, 3.0f, true, "A of the first line"},   {2.25f, 3.0f, true, "B"},
        {2.65f, 3.0f, false, "after the first line"}, {1.35f, 3.0f, false, "before the first line"},
        {1.5f, 1.4f, true, "A of the second line"},   {2.0f, 1.4f, false, "the blank of the second line"},
        {2.5f, 1.4f, true, "the last A"},             {2.0f, 0.4f, false, "below the text"},
        {2.0f, 3.9f, false, "above the text"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pixelAt(screenX(c.X), screenY(c.Y)).isLit(), c.IsLit) << c.Where;
    Driver->endScene();
}
