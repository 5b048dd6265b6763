// The colour key on a real texture (Burning's Video can lock its textures).
#include "node_utilities.h"

#include "picture_support.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace irr;

namespace {

TEST(ColourKeyPicture, KeyColourBecomesTransparentBlackOthersOpaque)
{
    if (!HasPictureDisplay())
        GTEST_SKIP() << "no display";
    SIrrlichtCreationParameters params;
    params.DriverType = video::EDT_BURNINGSVIDEO;
    params.WindowSize = core::dimension2du(32, 32);
    params.LoggingLevel = ELL_ERROR;
    IrrlichtDevice* device = CreatePictureDevice(params);
    if (!device)
        GTEST_SKIP() << "no Burning's Video device";
    video::IVideoDriver* driver = device->getVideoDriver();
    video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(2, 2));
    image->setPixel(0, 0, video::SColor(255, 255, 0, 255));   // the key
    image->setPixel(1, 0, video::SColor(10, 255, 0, 255));    // the key's colour with another alpha
    image->setPixel(0, 1, video::SColor(40, 1, 2, 3));
    image->setPixel(1, 1, video::SColor(255, 255, 0, 254));
    video::ITexture* texture = driver->addTexture("keyed", image);
    image->drop();
    ASSERT_NE(texture, nullptr);
    ASSERT_EQ(texture->getColorFormat(), video::ECF_A8R8G8B8);

    applyTextureColorKey(texture, video::SColor(0, 255, 0, 255));

    const u32* pixels = static_cast<const u32*>(texture->lock(video::ETLM_READ_ONLY));
    ASSERT_NE(pixels, nullptr);
    const u32 pitch = texture->getPitch() / 4;
    EXPECT_EQ(pixels[0], 0u);
    EXPECT_EQ(pixels[1], 0u) << "alpha plays no part in matching";
    EXPECT_EQ(pixels[pitch], 0xFF010203u) << "other pixels become opaque";
    EXPECT_EQ(pixels[pitch + 1], 0xFFFF00FEu);
    texture->unlock();
    device->closeDevice();
    device->drop();
}

} // namespace
