// The 2D batch drawing real pixels: OpenGL through vertex lists, Burning's
// Video through its image blits, rotated quads through triangles.
#include "rendering_stuff.h"

#include "picture_support.h"

#include <irrlicht.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>
#include <thread>

using namespace irr;

namespace {

constexpr int WindowSize = 64;
constexpr int Tolerance = 3;

using Pixel = SPicturePixel;

bool isNear(const Pixel& a, const Pixel& b)
{
    return std::abs(a.r - b.r) <= Tolerance && std::abs(a.g - b.g) <= Tolerance && std::abs(a.b - b.b) <= Tolerance;
}

class BatchPicture : public testing::TestWithParam<video::E_DRIVER_TYPE> {
protected:
    void SetUp() override
    {
        if (!HasPictureDisplay())
            GTEST_SKIP() << "no display";
        SIrrlichtCreationParameters params;
        params.DriverType = GetParam();
        params.WindowSize = core::dimension2du(WindowSize, WindowSize);
        params.Bits = 32;
        params.LoggingLevel = ELL_ERROR;
        Device = CreatePictureDevice(params);
        if (!Device)
            GTEST_SKIP() << "no device for this driver";
        Driver = Device->getVideoDriver();
    }
    void TearDown() override
    {
        if (Frame)
            Frame->drop();
        if (Device) {
            Device->closeDevice();
            Device->drop();
        }
    }

    video::ITexture* makeTexture(video::SColor texel, u32 side = 4)
    {
        video::IImage* image = Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(side, side));
        image->fill(texel);
        video::ITexture* texture = Driver->addTexture(("texel" + std::to_string(TextureCount++)).c_str(), image);
        image->drop();
        return texture;
    }

    // The material a sprite gets for texture and vertex alpha on this driver.
    video::SMaterial spriteMaterial(video::ITexture* texture)
    {
        video::SMaterial m;
        m.Lighting = false;
        m.ZBuffer = video::ECFN_NEVER;
        m.ZWriteEnable = false;
        m.BackfaceCulling = false;
        m.setTexture(0, texture);
        m.TextureLayer[0].BilinearFilter = false;
        if (GetParam() == video::EDT_OPENGL) {
            m.MaterialType = video::EMT_ONETEXTURE_BLEND;
            m.MaterialTypeParam = video::pack_textureBlendFunc(video::EBF_SRC_ALPHA, video::EBF_ONE_MINUS_SRC_ALPHA,
                                                               video::EMFN_MODULATE_1X,
                                                               video::EAS_TEXTURE | video::EAS_VERTEX_COLOR);
        } else {
            m.MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
        }
        return m;
    }

    void beginFrame(video::SColor background)
    {
        Driver->beginScene(true, true, background);
        core::matrix4 ortho;
        ortho.buildProjectionMatrixOrthoLH(f32(WindowSize), f32(WindowSize), 0.1f, 100.0f);
        Driver->setTransform(video::ETS_PROJECTION, ortho);
        core::matrix4 view;
        view.setTranslation(core::vector3df(0, 0, 10));   // quads at z 0 sit in front of the eye
        Driver->setTransform(video::ETS_VIEW, view);
    }

    // A square of side 2*half centred at (cx, cy) in pixels from the window centre (y up),
    // turned by angleDeg.
    void submitSquare(const video::SMaterial& material, f32 cx, f32 cy, f32 half, video::SColor colour,
                      f32 angleDeg = 0)
    {
        const f32 a = angleDeg * core::DEGTORAD, c = std::cos(a), s = std::sin(a);
        const f32 corner[4][2] = {{-half, -half}, {-half, half}, {half, half}, {half, -half}};
        const f32 uv[4][2] = {{0, 1}, {0, 0}, {1, 0}, {1, 1}};
        video::S3DVertex v[4];
        for (int i = 0; i < 4; ++i) {
            const f32 x = corner[i][0] * c - corner[i][1] * s, y = corner[i][0] * s + corner[i][1] * c;
            v[i] = video::S3DVertex(cx + x, cy + y, 0, 0, 0, -1, colour, uv[i][0], uv[i][1]);
        }
        Batch.submit(Driver, &Identity, &material, v, Stats);
    }

    void endFrame()
    {
        Batch.submit(Driver, nullptr, nullptr, nullptr, Stats);
        if (GetParam() == video::EDT_BURNINGSVIDEO)
            Frame = Driver->createScreenShot();
        else
            glFinish();
    }

    // Window pixel, y down; read before the buffers swap.
    Pixel pixelAt(int x, int y)
    {
        return Frame ? ImagePixel(Frame, x, y) : ReadBackBufferPixel(x, y, WindowSize);
    }

    IrrlichtDevice* Device = nullptr;
    video::IVideoDriver* Driver = nullptr;
    video::IImage* Frame = nullptr;   // Burning's Video: the frame as drawn
    SBatchState Batch;
    SBatchStats Stats;
    core::matrix4 Identity;
    int TextureCount = 0;
};

TEST_P(BatchPicture, TwoSpritesOneCallWithTextureAndVertexAlpha)
{
    // Texels drawn one to one, as a 2D scene draws its sprites.
    const video::SMaterial material = spriteMaterial(makeTexture(video::SColor(255, 255, 0, 0), 16));
    beginFrame(video::SColor(255, 0, 0, 255));
    submitSquare(material, -16, 0, 8, video::SColor(255, 255, 255, 255));
    submitSquare(material, 16, 0, 8, video::SColor(128, 255, 255, 255));
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 1);
    EXPECT_EQ(Stats.PrimitiveCount, 8);
    EXPECT_PRED2(isNear, pixelAt(16, 32), (Pixel{255, 0, 0})) << "opaque sprite";
    EXPECT_PRED2(isNear, pixelAt(48, 32), (Pixel{128, 0, 127})) << "vertex alpha 128 over blue";
    EXPECT_PRED2(isNear, pixelAt(32, 4), (Pixel{0, 0, 255})) << "background between and around";
    Driver->endScene();
}

TEST_P(BatchPicture, StretchedSpritesCoverTheirQuad)
{
    const video::SMaterial material = spriteMaterial(makeTexture(video::SColor(255, 255, 0, 0), 4));
    beginFrame(video::SColor(255, 0, 0, 255));
    submitSquare(material, -16, 0, 12, video::SColor(255, 255, 255, 255));
    endFrame();
    EXPECT_PRED2(isNear, pixelAt(5, 32), (Pixel{255, 0, 0})) << "left edge of a 24-pixel quad from 4 texels";
    EXPECT_PRED2(isNear, pixelAt(26, 32), (Pixel{255, 0, 0})) << "right edge";
    EXPECT_PRED2(isNear, pixelAt(30, 32), (Pixel{0, 0, 255}));
    Driver->endScene();
}

TEST_P(BatchPicture, TexelAlphaLetsTheBackgroundThrough)
{
    const video::SMaterial clear = spriteMaterial(makeTexture(video::SColor(0, 255, 0, 0)));
    const video::SMaterial half = spriteMaterial(makeTexture(video::SColor(128, 0, 255, 0)));
    beginFrame(video::SColor(255, 0, 0, 255));
    submitSquare(clear, -16, 0, 12, video::SColor(255, 255, 255, 255));
    submitSquare(half, 16, 0, 12, video::SColor(255, 255, 255, 255));
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 2);
    EXPECT_PRED2(isNear, pixelAt(16, 32), (Pixel{0, 0, 255}));
    EXPECT_PRED2(isNear, pixelAt(48, 32), (Pixel{0, 128, 127}));
    Driver->endScene();
}

TEST_P(BatchPicture, RotatedSpriteIsDrawnToo)
{
    const video::SMaterial material = spriteMaterial(makeTexture(video::SColor(255, 255, 0, 0)));
    beginFrame(video::SColor(255, 0, 0, 255));
    submitSquare(material, 0, 0, 16, video::SColor(255, 255, 255, 255), 45.0f);
    submitSquare(material, -26, 26, 4, video::SColor(255, 255, 255, 255));   // unturned, same run
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 1);
    EXPECT_PRED2(isNear, pixelAt(32, 32), (Pixel{255, 0, 0})) << "centre of the diamond";
    EXPECT_PRED2(isNear, pixelAt(32, 12), (Pixel{255, 0, 0})) << "its upper tip reaches 22 px up";
    EXPECT_PRED2(isNear, pixelAt(12, 52), (Pixel{0, 0, 255})) << "a corner the diamond leaves free";
    EXPECT_PRED2(isNear, pixelAt(6, 6), (Pixel{255, 0, 0})) << "the small square in the upper left";
    Driver->endScene();
}

INSTANTIATE_TEST_SUITE_P(Drivers, BatchPicture, testing::Values(video::EDT_OPENGL, video::EDT_BURNINGSVIDEO),
                         [](const testing::TestParamInfo<video::E_DRIVER_TYPE>& info) {
                             return std::string(info.param == video::EDT_OPENGL ? "OpenGL" : "Burnings");
                         });

} // namespace
