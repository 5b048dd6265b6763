// Sprites made from descriptions and drawn by the engine's renderer, read
// back from the frame: the texture's colour at the centre, texture alpha
// blending over the background, and a hidden parent whose children still show.
#include "node_helpers.h"

#include "module_enginebase.h"
#include "msgbox.h"
#include "node_factory.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering.h"
#include "rendering_stuff_particles.h"
#include "rendering_stuff_textures.h"

#include "engine_picture.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

using namespace irr;

namespace {

using Pixel = SPicturePixel;

class DescribedSpritePixels : public EnginePicture {
protected:
    void SetUp() override
    {
        EnginePicture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Smgr = Engine->SceneManager;
        Root = new CProbeNode(Smgr->getRootSceneNode(), Smgr, "pole", nullptr);
        Root->drop();
        Root->setID(RootNodeId);
        Engine->RootNode = Root;
    }
    void TearDown() override
    {
        if (Engine) {
            Engine->RootNode = nullptr;
            Engine->Renderer.processDeferredRemovals();
        }
        EnginePicture::TearDown();
    }

    // An 8 x 8 image file of one colour, for "-Texture:".
    std::string image(const char* name, video::SColor colour)
    {
        return writeImage(name, 8, 8, [&](int, int) { return colour; });
    }

    CNodeBasement* make(const std::string& body, scene::ISceneNode* parent = nullptr)
    {
        const std::string name = "raw://\n" + body + "\n-TextureFiltering: 0\n";
        return addSprite(name.c_str(), 1, 1, core::vector3df(0, 0, 0), parent, nullptr, SPRITE_SITE);
    }

    // Draws a frame over blue and reads two pixels before the buffers swap.
    void draw(Pixel& centre, Pixel& corner)
    {
        Engine->Driver->beginScene(true, true, video::SColor(255, 0, 0, 255));
        Engine->Renderer.renderNodes();
        centre = drawnPixel(SmallPictureSide / 2, SmallPictureSide / 2);
        corner = drawnPixel(3, 3);
        Engine->Driver->endScene();
    }

    scene::ISceneManager* Smgr = nullptr;
    CProbeNode* Root = nullptr;
};

TEST_P(DescribedSpritePixels, CentreShowsTheTextureAndHalfAlphaBlends)
{
    struct Case { video::SColor texel; Pixel expected; };
    const Case cases[] = {
        {{255, 255, 0, 0}, {255, 0, 0}},
        {{255, 0, 255, 0}, {0, 255, 0}},
        {{128, 255, 0, 0}, {128, 0, 127}},   // half alpha over the blue background
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = image(("c" + std::to_string(n++) + ".png").c_str(), c.texel);
        CNodeBasement* node = make("-Texture:" + path + "\n-Size: 40");
        ASSERT_NE(node, nullptr);
        Pixel centre{-1, -1, -1}, corner{-1, -1, -1};
        draw(centre, corner);
        EXPECT_TRUE(isNear(centre, c.expected, 4)) << "case " << n;
        node->remove();
    }
}

TEST_P(DescribedSpritePixels, AHiddenParentIsNotDrawnButItsChildIs)
{
    const std::string red = image("red.png", {255, 255, 0, 0});
    const std::string green = image("green.png", {255, 0, 255, 0});
    for (const char* hiding : {"-Invisible: 1", "-Alpha: 0.01"}) {
        CNodeBasement* parent = make("-Texture:" + red + "\n-Size: 40\n" + hiding);
        ASSERT_NE(parent, nullptr);
        make("-Texture:" + green + "\n-Size: 6", parent);
        Pixel centre{-1, -1, -1}, corner{-1, -1, -1};
        draw(centre, corner);
        EXPECT_TRUE(isNear(centre, {0, 255, 0}, 4)) << hiding;
        EXPECT_TRUE(isNear(corner, {0, 0, 255}, 4)) << hiding << ": the parent is not drawn";
        parent->remove();
    }
    // A parent switched invisible takes its subtree with it.
    CNodeBasement* parent = make("-Texture:" + red + "\n-Size: 40\n-Visible: 0");
    make("-Texture:" + green + "\n-Size: 6", parent);
    Pixel centre{-1, -1, -1}, corner{-1, -1, -1};
    draw(centre, corner);
    EXPECT_TRUE(isNear(centre, {0, 0, 255}, 4));
}

INSTANTIATE_TEST_SUITE_P(Drivers, DescribedSpritePixels, testing::ValuesIn(PictureDrivers), PictureDriverName);

} // namespace
