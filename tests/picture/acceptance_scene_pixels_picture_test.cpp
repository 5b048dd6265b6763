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

#include "picture_support.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

using namespace irr;

namespace {

using Pixel = SPicturePixel;

::testing::AssertionResult isNear(const Pixel& actual, const Pixel& expected, int tolerance)
{
    if (std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not near " << expected;
}

struct SDriverCase {
    const char* Name;
    int Renderer;
    video::E_DRIVER_TYPE Type;
};

class DescribedSpritePixels : public testing::TestWithParam<SDriverCase> {
protected:
    void SetUp() override
    {
        PreviousHook = platform::SetMessageBoxHook(
            [](const char*, const char*, unsigned type) { return platform::UnattendedBoxAnswer(type); });
        if (!HasPictureDisplay())
            GTEST_SKIP() << "no display";
        Engine = std::make_unique<CEngineBase>();
        Engine->Options.Renderer = GetParam().Renderer;
        Engine->CreateDeviceFn = CreateSmallPictureDevice;
        Engine->createDevice();
        if (!Engine->Driver || Engine->Driver->getDriverType() != GetParam().Type)
            GTEST_SKIP() << "no " << GetParam().Name << " device";
        Engine->Renderer.getMaterials().init(Engine->Driver);
        CTextureCache::instance().clear();
        clearSpriteCache();
        Smgr = Engine->SceneManager;
        Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20.65f), core::vector3df(0, 0, 0));
        Root = new CProbeNode(Smgr->getRootSceneNode(), Smgr, "pole", nullptr);
        Root->drop();
        Root->setID(RootNodeId);
        Engine->RootNode = Root;
        Folder = std::filesystem::temp_directory_path() / ("engine-accpix-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Folder);
    }

    void TearDown() override
    {
        if (Engine) {
            Engine->RootNode = nullptr;
            Engine->Renderer.processDeferredRemovals();
            if (Smgr)
                Smgr->getRootSceneNode()->removeAll();
            clearSpriteCache();
            CTextureCache::instance().clear();
            clearTexturePixelCache();
            Engine.reset();
        }
        std::error_code error;
        std::filesystem::remove_all(Folder, error);
        platform::SetMessageBoxHook(PreviousHook);
    }

    // An 8 x 8 image file of one colour, for "-Texture:".
    std::string image(const char* name, video::SColor colour)
    {
        const std::string path = (Folder / name).string();
        video::IImage* picture = Engine->Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(8, 8));
        picture->fill(colour);
        Engine->Driver->writeImageToFile(picture, path.c_str());
        picture->drop();
        return path;
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
        const int side = SmallPictureSide;
        if (GetParam().Type == video::EDT_OPENGL) {
            centre = ReadBackBufferPixel(side / 2, side / 2, side);
            corner = ReadBackBufferPixel(3, 3, side);
        } else if (video::IImage* shot = Engine->Driver->createScreenShot()) {
            centre = ImagePixel(shot, side / 2, side / 2);
            corner = ImagePixel(shot, 3, 3);
            shot->drop();
        }
        Engine->Driver->endScene();
    }

    std::unique_ptr<CEngineBase> Engine;
    scene::ISceneManager* Smgr = nullptr;
    CProbeNode* Root = nullptr;
    std::filesystem::path Folder;
    platform::MessageBoxHook PreviousHook;
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

const SDriverCase Drivers[] = {{"BurningsVideo", 2, video::EDT_BURNINGSVIDEO}, {"OpenGL", 3, video::EDT_OPENGL}};
INSTANTIATE_TEST_SUITE_P(Drivers, DescribedSpritePixels, testing::ValuesIn(Drivers),
                         [](const testing::TestParamInfo<SDriverCase>& info) { return info.param.Name; });

} // namespace
