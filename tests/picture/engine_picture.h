// An engine on a small window of the driver its parameter names: a camera
// on the origin, empty texture and sprite caches, a folder of its own for
// image files, and message boxes answered unattended (picture tests).
#pragma once

#include "module_enginebase.h"
#include "msgbox.h"
#include "node_factory.h"
#include "picture_support.h"
#include "rendering_stuff_particles.h"
#include "rendering_stuff_textures.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

struct SPictureDriver {
    const char* Name;
    int Renderer;   // the option value
    irr::video::E_DRIVER_TYPE Type;
};

inline const SPictureDriver PictureDrivers[] = {{"OpenGL", 3, irr::video::EDT_OPENGL},
                                                {"BurningsVideo", 2, irr::video::EDT_BURNINGSVIDEO}};

inline std::string PictureDriverName(const testing::TestParamInfo<SPictureDriver>& info) { return info.param.Name; }

inline testing::AssertionResult isNear(const SPicturePixel& actual, const SPicturePixel& expected, int tolerance)
{
    if (std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << actual << " is not near " << expected;
}

class EnginePicture : public testing::TestWithParam<SPictureDriver> {
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
        ASSERT_NE(Engine->Driver, nullptr);
        if (Engine->Driver->getDriverType() != GetParam().Type)
            GTEST_SKIP() << "the device fell back to another driver";
        Engine->Renderer.getMaterials().init(Engine->Driver);
        CTextureCache::instance().clear();
        clearTexturePixelCache();
        clearSpriteCache();
        Engine->SceneManager->addCameraSceneNode(nullptr, irr::core::vector3df(0, 0, -20.65f),
                                                 irr::core::vector3df(0, 0, 0));
        Folder = std::filesystem::temp_directory_path() / ("engine-picture-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Folder);
    }
    void TearDown() override
    {
        if (Engine) {
            Engine->SceneManager->getRootSceneNode()->removeAll();
            clearSpriteCache();
            CTextureCache::instance().clear();
            clearTexturePixelCache();
            Engine.reset();
        }
        std::error_code error;
        std::filesystem::remove_all(Folder, error);
        platform::SetMessageBoxHook(PreviousHook);
    }

    bool isOpenGL() const { return GetParam().Type == irr::video::EDT_OPENGL; }

    // An image file of exact pixels in the folder; its path.
    std::string writeImage(const char* name, int w, int h, const std::function<irr::video::SColor(int, int)>& pixel)
    {
        const std::string path = (Folder / name).string();
        irr::video::IImage* image =
            Engine->Driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(w, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                image->setPixel(x, y, pixel(x, y));
        Engine->Driver->writeImageToFile(image, path.c_str());
        image->drop();
        return path;
    }

    // The drawn pixel at (x, y) of the small window, read before the buffers swap.
    SPicturePixel drawnPixel(int x, int y)
    {
        SPicturePixel pixel{-1, -1, -1};
        if (isOpenGL()) {
            pixel = ReadBackBufferPixel(x, y, SmallPictureSide);
        } else if (irr::video::IImage* shot = Engine->Driver->createScreenShot()) {
            pixel = ImagePixel(shot, x, y);
            shot->drop();
        }
        return pixel;
    }

    std::unique_ptr<CEngineBase> Engine;
    std::filesystem::path Folder;
    platform::MessageBoxHook PreviousHook;
};
