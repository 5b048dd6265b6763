// Sprite nodes drawn by the engine's renderer on OpenGL and on Burning's
// Video, read back from the frame just drawn; pixel-perfect hits against the
// driver's own textures.
#include "node_sprite.h"

#include "module_enginebase.h"
#include "msgbox.h"
#include "rendering.h"
#include "rendering_material_custom.h"
#include "rendering_stuff_particles.h"

#include "engine_picture.h"

#include <irrlicht.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace irr;

namespace {

constexpr int WindowSize = SmallPictureSide;

using Pixel = SPicturePixel;

class SpritePicture : public EnginePicture {
protected:
    // A texture through the cache, from an image file of exact pixels.
    STextureRegion region(const char* name, int w, int h, std::function<video::SColor(int, int)> pixel)
    {
        return retrieveTexture(writeImage(name, w, h, pixel).c_str());
    }

    // A sprite covering the window, drawn with a custom material slot.
    CSpriteNode* sprite(const STextureRegion& texture, int slot)
    {
        auto* node = new CSpriteNode(Engine->SceneManager->getRootSceneNode(), Engine->SceneManager, -1,
                                     core::vector3df(0, 0, 0), core::dimension2df(40, 40));
        node->drop();
        node->setTextureRegion(texture);
        video::SMaterial& material = node->getMaterial(0);
        material.MaterialType = video::E_MATERIAL_TYPE(Engine->Renderer.getMaterials().getMaterialType(slot));
        material.Lighting = false;
        material.ZBuffer = video::ECFN_NEVER;
        material.ZWriteEnable = false;
        material.BackfaceCulling = false;
        material.TextureLayer[0].BilinearFilter = false;
        return node;
    }

    // Draws a frame over blue and reads the centre before the buffers swap.
    Pixel drawCentre()
    {
        Engine->Driver->beginScene(true, true, video::SColor(255, 0, 0, 255));
        Engine->Renderer.renderNodes();
        const Pixel pixel = drawnPixel(WindowSize / 2, WindowSize / 2);
        Engine->Driver->endScene();
        return pixel;
    }
};

TEST_P(SpritePicture, CentreShowsTheTextureAndItsAlpha)
{
    struct Case {
        int Slot;
        video::SColor Texel;
        Pixel OpenGL, Burnings;   // Burnings r < 0: not checked there
    } cases[] = {
        {0, {255, 255, 0, 0}, {255, 0, 0}, {255, 0, 0}},
        {0, {128, 255, 0, 0}, {128, 0, 127}, {128, 0, 127}},    // 50% texture alpha over blue
        {0, {0, 0, 255, 0}, {0, 0, 255}, {0, 0, 255}},          // transparent texel
        // additive brightens; Burning's batch blits images and does not add yet
        {1, {255, 64, 64, 64}, {128, 128, 255}, {-1, 0, 0}},
    };
    int n = 0;
    for (const Case& c : cases) {
        CSpriteNode* node = sprite(region(("c" + std::to_string(n++) + ".png").c_str(), 8, 8,
                                          [&](int, int) { return c.Texel; }),
                                   c.Slot);
        const Pixel centre = drawCentre();
        if (isOpenGL() || c.Burnings.r >= 0) {
            EXPECT_TRUE(isNear(centre, isOpenGL() ? c.OpenGL : c.Burnings, isOpenGL() ? 2 : 4)) << "case " << n;
        }
        node->remove();
    }
}

TEST_P(SpritePicture, NodeAlphaFadesOnOpenGL)
{
    if (!isOpenGL())
        GTEST_SKIP() << "fades by vertex alpha do not show on the software renderer";
    CSpriteNode* node = sprite(region("green.png", 8, 8, [](int, int) { return video::SColor(255, 0, 255, 0); }), 0);
    node->setAlpha(64.0f / 255);
    EXPECT_TRUE(isNear(drawCentre(), {0, 64, 191}, 2));
}

TEST_P(SpritePicture, PixelPerfectHitsReadTheDriversTexture)
{
    // left half clear, right half opaque; the top row of the right half clear too
    CSpriteNode* node = sprite(region("half.png", 8, 8,
                                      [](int x, int y) {
                                          return x < 4 || y == 0 ? video::SColor(0, 255, 255, 255)
                                                                 : video::SColor(255, 255, 255, 255);
                                      }),
                               0);
    drawCentre();
    EXPECT_TRUE(isTransparentAround(node, {0.25f, 0.5f}, 0, 0));
    EXPECT_FALSE(isTransparentAround(node, {0.75f, 0.5f}, 0, 0));
    EXPECT_TRUE(isTransparentAround(node, {0.75f, 0.99f}, 0, 0));   // v counts from the bottom
    EXPECT_FALSE(isTransparentAround(node, {0.75f, 0.01f}, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Drivers, SpritePicture, testing::ValuesIn(PictureDrivers), PictureDriverName);

} // namespace
