// The custom materials and cached textures drawn by OpenGL and by Burning's
// Video, read back from the frame just drawn.
#include "rendering_material_custom.h"
#include "rendering_stuff_textures.h"

#include "msgbox_recorder.h"
#include "picture_support.h"
#include "temp_folder.h"

#include <irrlicht.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace irr;

namespace {

constexpr int WindowSize = 64;
constexpr int Tolerance = 2;

using Pixel = SPicturePixel;

::testing::AssertionResult isNear(const Pixel& actual, const Pixel& expected)
{
    if (std::abs(actual.r - expected.r) <= Tolerance && std::abs(actual.g - expected.g) <= Tolerance &&
        std::abs(actual.b - expected.b) <= Tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not near " << expected;
}

const video::SColor Blue(255, 0, 0, 255);

class MaterialPicture : public testing::Test {
protected:
    void open(video::E_DRIVER_TYPE type)
    {
        if (!HasPictureDisplay())
            GTEST_SKIP() << "no display";
        SIrrlichtCreationParameters params;
        params.DriverType = type;
        params.WindowSize = core::dimension2du(WindowSize, WindowSize);
        params.Bits = 32;
        params.LoggingLevel = ELL_ERROR;
        Device = CreatePictureDevice(params);
        if (!Device)
            GTEST_SKIP() << "no device";
        Driver = Device->getVideoDriver();
        Table = std::make_unique<CCustomMaterials>();
        Table->setClock([] { return 4500u; });
        Table->init(Driver);
        SetTextureServices(Driver, Table.get());
        CTextureCache::instance().clear();
    }

    void TearDown() override
    {
        SetTextureServices(nullptr, nullptr);
        CTextureCache::instance().clear();
        if (Device) {
            Device->closeDevice();
            Device->drop();   // its renderers borrow the table's stage device
        }
        Table.reset();
    }

    // A uniform texture through the cache, from an image file of exact pixels.
    video::ITexture* texture(const char* name, video::SColor colour, int w = 4, int h = 4)
    {
        const std::string path = Folder.file(name);
        video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(w, h));
        image->fill(colour);
        Driver->writeImageToFile(image, path.c_str());
        image->drop();
        return retrieveTexture(path.c_str()).Texture;
    }

    // A quad over [x0, x1] of the window (clip units), the full height.
    void drawQuad(s32 type, video::ITexture* tex, video::SColor vertex, f32 x0 = -1, f32 x1 = 1,
                  bool anisotropicOnly = false)
    {
        video::SMaterial material;
        material.MaterialType = video::E_MATERIAL_TYPE(type);
        material.Lighting = false;
        material.ZBuffer = video::ECFN_NEVER;
        material.ZWriteEnable = false;
        material.BackfaceCulling = false;
        material.setTexture(0, tex);
        material.TextureLayer[0].BilinearFilter = false;
        material.TextureLayer[0].AnisotropicFilter = anisotropicOnly ? 3 : 0;
        Driver->setTransform(video::ETS_PROJECTION, core::IdentityMatrix);
        Driver->setTransform(video::ETS_VIEW, core::IdentityMatrix);
        Driver->setMaterial(material);
        const video::S3DVertex vertices[4] = {
            {x0, -1, 0.5f, 0, 0, -1, vertex, 0, 1},
            {x0, 1, 0.5f, 0, 0, -1, vertex, 0, 0},
            {x1, 1, 0.5f, 0, 0, -1, vertex, 1, 0},
            {x1, -1, 0.5f, 0, 0, -1, vertex, 1, 1},
        };
        const u16 indices[6] = {0, 1, 2, 0, 2, 3};
        Driver->drawIndexedTriangleList(vertices, 4, indices, 2);
    }

    void begin()
    {
        Driver->beginScene(true, true, Blue);
        Driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
    }

    // The frame just drawn, before the buffers swap.
    Pixel pixelAt(int x, int y)
    {
        if (Driver->getDriverType() == video::EDT_OPENGL)
            return ReadBackBufferPixel(x, y, WindowSize);
        video::IImage* shot = Driver->createScreenShot();
        if (!shot)
            return Pixel{-1, -1, -1};
        const Pixel pixel = ImagePixel(shot, x, y);
        shot->drop();
        return pixel;
    }

    void end() { Driver->endScene(); }

    IrrlichtDevice* Device = nullptr;
    video::IVideoDriver* Driver = nullptr;
    std::unique_ptr<CCustomMaterials> Table;
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;   // the texture path checks warn about test paths
};

class OpenGLMaterialPicture : public MaterialPicture {
protected:
    void SetUp() override
    {
        open(video::EDT_OPENGL);
        if (!IsSkipped() && !Table->getStages())
            GTEST_SKIP() << "no texture-env-combine";
    }
};

TEST_F(OpenGLMaterialPicture, BuiltInsBlendOverTheBackground)
{
    struct Case {
        int Slot;
        video::SColor Texel, Vertex;
        Pixel Expected;
    } cases[] = {
        {0, {255, 255, 0, 0}, {255, 255, 255, 255}, {255, 0, 0}},     // the texture's colour
        {0, {128, 255, 0, 0}, {255, 255, 255, 255}, {128, 0, 127}},   // 50% texture alpha
        {0, {255, 0, 255, 0}, {64, 255, 255, 255}, {0, 64, 191}},     // vertex alpha
        {0, {0, 255, 255, 255}, {255, 255, 255, 255}, {0, 0, 255}},   // transparent texel
        {1, {255, 64, 64, 64}, {255, 255, 255, 255}, {128, 128, 255}},   // additive doubles and adds
    };
    int n = 0;
    for (const Case& c : cases) {
        video::ITexture* tex = texture(("t" + std::to_string(n++) + ".png").c_str(), c.Texel);
        ASSERT_NE(tex, nullptr);
        begin();
        drawQuad(Table->getMaterialType(c.Slot), tex, c.Vertex);
        EXPECT_TRUE(isNear(pixelAt(32, 32), c.Expected)) << "case " << n;
        end();
    }
}

TEST_F(OpenGLMaterialPicture, AnImageDrawnAfterAnAdditiveSpriteIsNotBrighter)
{
    video::ITexture* grey = texture("grey.png", video::SColor(255, 64, 64, 64));
    begin();
    drawQuad(Table->getMaterialType(1), grey, video::SColor(255, 255, 255, 255), -1, 0);
    Driver->draw2DImage(grey, core::recti(32, 0, 64, 64), core::recti(0, 0, 4, 4));   // as the cursor is drawn
    EXPECT_TRUE(isNear(pixelAt(48, 32), {64, 64, 64}));
    EXPECT_TRUE(isNear(pixelAt(16, 32), {128, 128, 255}));
    end();
}

TEST_F(OpenGLMaterialPicture, DescriptionMaterialDrawsItsStages)
{
    struct Case {
        const char* Description;
        Pixel Expected;
    } cases[] = {
        // the texture alone, replacing the frame
        {"-ColorOP: D3DTOP_SELECTARG2\n-BlendSRC: D3DBLEND_ONE\n-BlendDST: D3DBLEND_ZERO\n", {0, 200, 0}},
        // added at full strength
        {"-BlendSRC: D3DBLEND_ONE\n-BlendDST: D3DBLEND_ONE\n", {0, 200, 255}},
        // the description defaults: DESTALPHA reads as one, so it adds by texture alpha
        {"-ColorOP: D3DTOP_MODULATE\n", {0, 200, 255}},
    };
    video::ITexture* green = texture("green.png", video::SColor(255, 0, 200, 0));
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "m" + std::to_string(n++);
        ASSERT_EQ(Table->addMaterialText(Driver, name.c_str(), "test.fx", c.Description), 1);
        begin();
        drawQuad(Table->findMaterialType(name.c_str()), green, video::SColor(255, 255, 255, 255));
        EXPECT_TRUE(isNear(pixelAt(32, 32), c.Expected)) << c.Description;
        end();
    }
    for (const SRecordedBox& box : Boxes.Boxes)
        EXPECT_EQ(box.Text.find("Failed to add shader"), std::string::npos) << box.Text;
}

TEST_F(OpenGLMaterialPicture, ShaderMaterialGetsTransformAndTime)
{
    std::ofstream(Folder.file("v.vp")) << "!!ARBvp1.0\n"
                                          "TEMP r;\n"
                                          "MUL r, program.local[4], vertex.position.x;\n"
                                          "MAD r, program.local[5], vertex.position.y, r;\n"
                                          "MAD r, program.local[6], vertex.position.z, r;\n"
                                          "MAD result.position, program.local[7], vertex.position.w, r;\n"
                                          "MOV result.color, vertex.color;\n"
                                          "MOV result.texcoord[0], vertex.texcoord[0];\n"
                                          "END\n";
    std::ofstream(Folder.file("p.fp")) << "!!ARBfp1.0\n"
                                          "MOV result.color.xyz, program.local[5].z;\n"
                                          "MOV result.color.w, 1.0;\n"
                                          "END\n";
    std::ofstream(Folder.file("half.fp")) << "!!ARBfp1.0\n"
                                             "MOV result.color, program.local[5].z;\n"
                                             "END\n";
    const std::string text = "-VertexShader:" + Folder.file("v.vp") + "\n-PixelShader:" + Folder.file("p.fp") + "\n";
    Table->addMaterialText(Driver, "timed", "timed.fx", text.c_str());
    const s32 type = Table->findMaterialType("timed");
    ASSERT_NE(type, Table->getMaterialType(1)) << "the shader material was not added";
    video::ITexture* white = texture("white.png", video::SColor(255, 255, 255, 255));
    begin();
    core::matrix4 world;
    world.setTranslation(core::vector3df(1, 0, 0));
    Driver->setTransform(video::ETS_WORLD, world);
    drawQuad(type, white, video::SColor(255, 255, 255, 255), -1, 0);   // moved onto the right half
    EXPECT_TRUE(isNear(pixelAt(48, 32), {128, 128, 128}));   // c5.z at 4500 ms is 0.5
    EXPECT_TRUE(isNear(pixelAt(16, 32), {0, 0, 255}));
    end();

    // blended as its base material, the alpha-blend built-in: half of 128 over blue
    const std::string half = "-VertexShader:" + Folder.file("v.vp") + "\n-PixelShader:" + Folder.file("half.fp") + "\n";
    Table->addMaterialText(Driver, "half", "half.fx", half.c_str());
    for (int frame = 0; frame < 2; ++frame) {
        begin();
        drawQuad(Table->findMaterialType("half"), white, video::SColor(255, 255, 255, 255));
        EXPECT_TRUE(isNear(pixelAt(32, 32), {64, 64, 191})) << "frame " << frame;
        end();
    }
}

TEST_F(OpenGLMaterialPicture, AnisotropicFilteringAloneStillSmooths)
{
    video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(2, 1));
    image->setPixel(0, 0, video::SColor(255, 0, 0, 0));
    image->setPixel(1, 0, video::SColor(255, 255, 255, 255));
    video::ITexture* ramp = Driver->addTexture("ramp", image);
    image->drop();
    begin();
    drawQuad(Table->getMaterialType(0), ramp, video::SColor(255, 255, 255, 255), -1, 1, true);
    const Pixel middle = pixelAt(31, 32);
    EXPECT_GT(middle.r, 20) << middle;    // nearest sampling would give 0 or 255
    EXPECT_LT(middle.r, 235) << middle;
    end();
}

class BurningMaterialPicture : public MaterialPicture {
protected:
    void SetUp() override { open(video::EDT_BURNINGSVIDEO); }
};

TEST_F(BurningMaterialPicture, SoftwareTableUsesDriverMaterialsWithoutAtlases)
{
    EXPECT_TRUE(Table->isSoftware());
    EXPECT_EQ(Table->getMaterialType(0), video::EMT_TRANSPARENT_ALPHA_CHANNEL);
    EXPECT_EQ(Table->getMaterialType(1), video::EMT_TRANSPARENT_VERTEX_ALPHA);
    EXPECT_EQ(Table->getRenderer(0), nullptr);
    EXPECT_EQ(getAtlasMaxSize(), core::dimension2di(0, 0));
    EXPECT_EQ(Table->addMaterial(Driver, "glow", "glow.fx"), 0);
    EXPECT_EQ(Table->findMaterialType("glow"), Table->getMaterialType(1));
}

TEST_F(BurningMaterialPicture, SpritesShowTheirTextureAndItsAlpha)
{
    struct Case {
        video::SColor Texel;
        Pixel Expected;
    } cases[] = {{{255, 255, 0, 0}, {255, 0, 0}}, {{0, 255, 0, 0}, {0, 0, 255}}};
    int n = 0;
    for (const Case& c : cases) {
        video::ITexture* tex = texture(("b" + std::to_string(n++) + ".png").c_str(), c.Texel);
        begin();
        drawQuad(Table->getMaterialType(0), tex, video::SColor(255, 255, 255, 255));
        EXPECT_TRUE(isNear(pixelAt(32, 32), c.Expected)) << "case " << n;
        end();
    }
}

TEST_F(BurningMaterialPicture, RegionsTakeTheImagesTrueSize)
{
    ASSERT_NE(texture("odd.png", video::SColor(255, 1, 2, 3), 33, 10), nullptr);
    const STextureRegion region = retrieveTexture(Folder.file("odd.png").c_str());
    EXPECT_EQ(region.PixelRect, core::recti(0, 0, 33, 10));
    EXPECT_FLOAT_EQ(region.TexelWidth, 1.0f / 33);
    const STextureRegion fill = retrieveTexture("?fill[c255,w33,h10]");
    EXPECT_EQ(fill.PixelRect, core::recti(0, 0, 33, 10));
}

} // namespace
