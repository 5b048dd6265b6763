// The OpenGL texture stages drawing through Irrlicht's OpenGL driver, read back from the frame.
#include "texture_stages.h"

#include "picture_support.h"

#include <irrlicht.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace irr;
using namespace d3d8;

namespace {

constexpr int WindowSize = 64;
constexpr int Tolerance = 2;

using StageSetup = std::function<void(ITextureStages&)>;

// A material renderer shaped like the engine's: basic states first, then the stages.
class CStageRenderer : public video::IMaterialRenderer {
public:
    CStageRenderer(ITextureStages& stages, StageSetup setup, bool restores)
        : Stages(stages), Setup(std::move(setup)), Restores(restores) {}

    void OnSetMaterial(const video::SMaterial& material, const video::SMaterial& lastMaterial,
                       bool resetAllRenderstates, video::IMaterialRendererServices* services) override
    {
        services->setBasicRenderStates(material, lastMaterial, resetAllRenderstates);
        Setup(Stages);
        Stages.commit();
    }
    void OnUnsetMaterial() override
    {
        if (Restores) Stages.restoreDriverState();
    }

private:
    ITextureStages& Stages;   // borrowed; outlives the device's use of the renderer
    StageSetup Setup;
    bool Restores;
};

void setStage0(ITextureStages& s, uint32_t colourOp, uint32_t c1, uint32_t c2, uint32_t alphaOp, uint32_t a1,
               uint32_t a2)
{
    s.SetTextureStageState(0, D3DTSS_COLOROP, colourOp);
    s.SetTextureStageState(0, D3DTSS_COLORARG1, c1);
    s.SetTextureStageState(0, D3DTSS_COLORARG2, c2);
    s.SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
    s.SetTextureStageState(0, D3DTSS_ALPHAARG1, a1);
    s.SetTextureStageState(0, D3DTSS_ALPHAARG2, a2);
    s.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    s.SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void setBlend(ITextureStages& s, bool isOn, uint32_t src, uint32_t dst, uint32_t op = D3DBLENDOP_ADD)
{
    s.SetRenderState(D3DRS_ALPHABLENDENABLE, isOn ? 1 : 0);
    s.SetRenderState(D3DRS_BLENDOP, op);
    s.SetRenderState(D3DRS_SRCBLEND, src);
    s.SetRenderState(D3DRS_DESTBLEND, dst);
}

// The two built-ins of the material table: texture x diffuse, alpha blended or added.
StageSetup alphaBlendBuiltIn()
{
    return [](ITextureStages& s) {
        setStage0(s, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        setBlend(s, true, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    };
}

StageSetup additiveBuiltIn()
{
    return [](ITextureStages& s) {
        setStage0(s, D3DTOP_MODULATE2X, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTOP_MODULATE, D3DTA_TEXTURE,
                  D3DTA_DIFFUSE);
        setBlend(s, true, D3DBLEND_SRCALPHA, D3DBLEND_ONE);
    };
}

StageSetup opaque(uint32_t colourOp, uint32_t c1, uint32_t c2)
{
    return [=](ITextureStages& s) {
        setStage0(s, colourOp, c1, c2, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_TEXTURE);
        setBlend(s, false, D3DBLEND_ONE, D3DBLEND_ZERO);
    };
}

using Pixel = SPicturePixel;

bool isNear(const Pixel& a, const Pixel& b)
{
    return std::abs(a.r - b.r) <= Tolerance && std::abs(a.g - b.g) <= Tolerance && std::abs(a.b - b.b) <= Tolerance;
}

class TextureStagesPicture : public testing::Test {
protected:
    void SetUp() override
    {
        if (!HasPictureDisplay()) GTEST_SKIP() << "no display";
        SIrrlichtCreationParameters params;
        params.DriverType = video::EDT_OPENGL;
        params.WindowSize = core::dimension2du(WindowSize, WindowSize);
        params.Bits = 32;
        params.LoggingLevel = ELL_ERROR;
        Device = CreatePictureDevice(params);
        if (!Device) GTEST_SKIP() << "no OpenGL";
        Driver = Device->getVideoDriver();
        SetTextureStagesLogHook([](const char* message) { Logged.emplace_back(message); });
        Logged.clear();
        Stages = CreateOpenGLTextureStages();
        ASSERT_NE(Stages, nullptr);
    }

    void TearDown() override
    {
        SetTextureStagesLogHook(nullptr);
        if (Device) {
            Device->closeDevice();
            Device->drop();   // its renderers borrow Stages, so it goes first
        }
        Stages.reset();
    }

    s32 addRenderer(StageSetup setup, bool restores = true)
    {
        auto* renderer = new CStageRenderer(*Stages, std::move(setup), restores);
        const s32 type = Driver->addMaterialRenderer(renderer);
        renderer->drop();   // the driver keeps it
        return type;
    }

    video::ITexture* makeTexture(video::SColor texel)
    {
        video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(4, 4));
        image->fill(texel);
        const std::string name = "texel" + std::to_string(TextureCount++);
        video::ITexture* texture = Driver->addTexture(name.c_str(), image);
        image->drop();
        return texture;
    }

    // A quad over [x0, x1] of the window's width (clip units -1..1), the full height.
    void drawQuad(s32 materialType, video::ITexture* texture, video::SColor vertexColour, f32 x0 = -1, f32 x1 = 1,
                  video::ITexture* secondTexture = nullptr)
    {
        video::SMaterial material;
        material.MaterialType = video::E_MATERIAL_TYPE(materialType);
        material.Lighting = false;
        material.ZBuffer = video::ECFN_NEVER;
        material.ZWriteEnable = false;
        material.BackfaceCulling = false;
        material.setTexture(0, texture);
        material.TextureLayer[0].BilinearFilter = false;
        material.setTexture(1, secondTexture);
        Driver->setTransform(video::ETS_PROJECTION, core::IdentityMatrix);
        Driver->setTransform(video::ETS_VIEW, core::IdentityMatrix);
        Driver->setTransform(video::ETS_WORLD, core::IdentityMatrix);
        Driver->setMaterial(material);
        const video::S3DVertex vertices[4] = {
            {x0, -1, 0.5f, 0, 0, -1, vertexColour, 0, 1},
            {x0, 1, 0.5f, 0, 0, -1, vertexColour, 0, 0},
            {x1, 1, 0.5f, 0, 0, -1, vertexColour, 1, 0},
            {x1, -1, 0.5f, 0, 0, -1, vertexColour, 1, 1},
        };
        const u16 indices[6] = {0, 1, 2, 0, 2, 3};
        Driver->drawIndexedTriangleList(vertices, 4, indices, 2);
    }

    // Reads the frame just drawn, before the buffers swap.
    Pixel pixelAt(int x, int y) const { return ReadBackBufferPixel(x, y, WindowSize); }

    IrrlichtDevice* Device = nullptr;
    video::IVideoDriver* Driver = nullptr;
    std::unique_ptr<ITextureStages> Stages;
    int TextureCount = 0;
    static std::vector<std::string> Logged;
};

std::vector<std::string> TextureStagesPicture::Logged;

TEST_F(TextureStagesPicture, MaterialsDrawAsTheirStagesSay)
{
    struct Row {
        const char* name;
        StageSetup setup;
        video::SColor background, texel, vertex;   // ARGB
        Pixel expected;
    };
    D3DCAPS8 caps;
    Stages->GetDeviceCaps(caps);
    std::vector<Row> rows = {
        {"alpha blend, 50% texel", alphaBlendBuiltIn(), {255, 0, 0, 255}, {128, 255, 0, 0}, {255, 255, 255, 255},
         {128, 0, 127}},
        {"alpha blend, vertex alpha 64", alphaBlendBuiltIn(), {255, 0, 0, 255}, {255, 255, 255, 255},
         {64, 0, 255, 0}, {0, 64, 191}},
        {"alpha blend, texel alpha 0", alphaBlendBuiltIn(), {255, 0, 0, 255}, {0, 255, 255, 255},
         {255, 255, 255, 255}, {0, 0, 255}},
        {"additive doubles", additiveBuiltIn(), {255, 0, 0, 255}, {255, 64, 64, 64}, {255, 255, 255, 255},
         {128, 128, 255}},
        {"description defaults, ONE/ONE", [](ITextureStages& s) {
             setStage0(s, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TEXTURE);
             setBlend(s, true, D3DBLEND_ONE, D3DBLEND_ONE);
         }, {255, 10, 20, 30}, {255, 64, 32, 16}, {255, 255, 255, 255}, {74, 52, 46}},
        {"destination alpha reads as one", [](ITextureStages& s) {
             setStage0(s, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE,
                       D3DTA_DIFFUSE);
             setBlend(s, true, D3DBLEND_SRCALPHA, D3DBLEND_DESTALPHA);
         }, {0, 100, 0, 0}, {128, 100, 100, 100}, {255, 255, 255, 255}, {150, 50, 50}},
        {"subtract", opaque(D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE), {255, 0, 0, 0}, {255, 200, 100, 50},
         {255, 50, 50, 50}, {150, 50, 0}},
        {"blend by texture alpha", opaque(D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE), {255, 0, 0, 0},
         {128, 255, 0, 0}, {255, 0, 0, 255}, {128, 0, 127}},
        {"texture factor is white", opaque(D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR), {255, 0, 0, 0},
         {255, 10, 10, 10}, {255, 20, 20, 20}, {255, 255, 255}},
        {"complement", opaque(D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE), {255, 0, 0, 0},
         {255, 255, 200, 0}, {255, 0, 0, 0}, {0, 55, 255}},
        {"stage 0 off shows the diffuse colour", opaque(D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE),
         {255, 0, 0, 0}, {255, 255, 255, 255}, {255, 10, 200, 30}, {10, 200, 30}},
        {"unknown op modulates", opaque(0, D3DTA_TEXTURE, D3DTA_DIFFUSE), {255, 0, 0, 0}, {255, 128, 255, 255},
         {255, 255, 128, 255}, {128, 128, 255}},
        {"reverse subtract", [](ITextureStages& s) {
             setStage0(s, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE,
                       D3DTA_DIFFUSE);
             setBlend(s, true, D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT);
         }, {255, 200, 200, 200}, {255, 50, 100, 150}, {255, 255, 255, 255}, {150, 100, 50}},
    };
    if (caps.TextureOpCaps & D3DTEXOPCAPS(D3DTOP_ADDSMOOTH))
        rows.push_back({"add smooth", opaque(D3DTOP_ADDSMOOTH, D3DTA_TEXTURE, D3DTA_DIFFUSE), {255, 0, 0, 0},
                        {255, 128, 0, 255}, {255, 128, 128, 0}, {192, 128, 255}});

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const s32 type = addRenderer(row.setup);
        video::ITexture* texture = makeTexture(row.texel);
        Driver->beginScene(true, false, row.background);
        drawQuad(type, texture, row.vertex);
        const Pixel pixel = pixelAt(WindowSize / 2, WindowSize / 2);
        Driver->endScene();
        EXPECT_TRUE(isNear(pixel, row.expected)) << pixel << " expected " << row.expected;
    }
    ASSERT_EQ(Logged.size(), 1u);   // the unknown op, once
    EXPECT_NE(Logged[0].find("colour operation 0"), std::string::npos);
}

// Irrlicht draws the cursor with draw2DImage after the sprites; a doubled RGB scale left
// behind by the additive material would double its brightness.
TEST_F(TextureStagesPicture, TwoDImageAfterAdditiveKeepsItsBrightness)
{
    video::ITexture* grey = makeTexture(video::SColor(255, 64, 64, 64));
    const s32 additive = addRenderer(additiveBuiltIn());
    const s32 forgetful = addRenderer(additiveBuiltIn(), false);
    const core::position2di rightHalf(WindowSize / 2, 0);

    struct Row { const char* name; s32 type; int expectedCursor; };
    const Row rows[] = {
        {"restored", additive, 64},
        {"not restored (the fault this guards against)", forgetful, 128},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Driver->beginScene(true, false, video::SColor(255, 0, 0, 0));
        drawQuad(row.type, grey, video::SColor(255, 255, 255, 255), -1, -0.5f);
        const core::recti whole(0, 0, 4, 4);
        Driver->draw2DImage(grey, rightHalf, whole, nullptr, video::SColor(255, 255, 255, 255), true);
        // The next sprite after the cursor gets its stages back in full.
        drawQuad(row.type, grey, video::SColor(255, 255, 255, 255), -0.5f, 0);
        const Pixel sprite = pixelAt(WindowSize / 8, WindowSize / 2);
        const Pixel nextSprite = pixelAt(WindowSize * 3 / 8, WindowSize / 2);
        const Pixel cursor = pixelAt(WindowSize / 2 + 2, 2);
        Driver->endScene();
        EXPECT_TRUE(isNear(sprite, Pixel{128, 128, 128})) << sprite;
        EXPECT_TRUE(isNear(nextSprite, Pixel{128, 128, 128})) << nextSprite;
        EXPECT_TRUE(isNear(cursor, Pixel{row.expectedCursor, row.expectedCursor, row.expectedCursor})) << cursor;
    }
}

// With a second texture bound, Irrlicht leaves unit 1 active and unit 1 textured: the stage
// values must still land on unit 0, and a disabled stage 1 must pass the result on.
TEST_F(TextureStagesPicture, DisabledSecondStageIgnoresItsTexture)
{
    const s32 additive = addRenderer(additiveBuiltIn());
    video::ITexture* grey = makeTexture(video::SColor(255, 64, 64, 64));
    video::ITexture* red = makeTexture(video::SColor(255, 255, 0, 0));
    Driver->beginScene(true, false, video::SColor(255, 0, 0, 255));
    drawQuad(additive, grey, video::SColor(255, 255, 255, 255), -1, 1, red);
    const Pixel pixel = pixelAt(WindowSize / 2, WindowSize / 2);
    Driver->endScene();
    EXPECT_TRUE(isNear(pixel, Pixel{128, 128, 255})) << pixel;
}

TEST_F(TextureStagesPicture, CapsDescribeTheContext)
{
    D3DCAPS8 caps;
    Stages->GetDeviceCaps(caps);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    EXPECT_EQ(caps.MaxTextureWidth, uint32_t(maxSize));
    EXPECT_GE(caps.MaxTextureBlendStages, 2u);
    EXPECT_LE(caps.MaxTextureBlendStages, 8u);
    for (uint32_t op : {D3DTOP_DISABLE, D3DTOP_MODULATE, D3DTOP_MODULATE2X, D3DTOP_BLENDTEXTUREALPHA,
                        D3DTOP_DOTPRODUCT3})
        EXPECT_TRUE(caps.TextureOpCaps & D3DTEXOPCAPS(op)) << op;
    EXPECT_FALSE(caps.TextureOpCaps & D3DTEXOPCAPS(D3DTOP_BUMPENVMAP));
}

} // namespace
