// Null-device video for tests.
#include "null_video.h"

#include "utils_engine_context.h"

#include <irrlicht.h>

using namespace irr;

namespace {

IrrlichtDevice* createQuietNullDevice()
{
    SIrrlichtCreationParameters params;
    params.DriverType = video::EDT_NULL;
    params.LoggingLevel = ELL_NONE;
    return createDeviceEx(params);
}

} // namespace

CNullVideo::CNullVideo() : Device(createQuietNullDevice())
{
    GetDefaultEngineContext().FileSystem = Device ? Device->getFileSystem() : nullptr;
}

CNullVideo::~CNullVideo()
{
    GetDefaultEngineContext().FileSystem = nullptr;
    if (Device)
        Device->drop();
}

video::IVideoDriver* CNullVideo::driver() const
{
    return Device ? Device->getVideoDriver() : nullptr;
}

bool CNullVideo::mountFolder(const std::string& path) const
{
    if (!Device)
        return false;
    io::IFileSystem* fs = Device->getFileSystem();
    fs->removeFileArchive(fs->getAbsolutePath(path.c_str()));   // its file list is read once
    return fs->addFileArchive(path.c_str(), true, false, io::EFAT_FOLDER);
}

bool CNullVideo::writeImage(const std::string& path, int width, int height, const PixelFn& pixel, bool rgb) const
{
    video::IImage* image = driver()->createImage(rgb ? video::ECF_R8G8B8 : video::ECF_A8R8G8B8,
                                                 core::dimension2du(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image->setPixel(x, y, pixel(x, y));
    const bool isWritten = driver()->writeImageToFile(image, path.c_str());
    image->drop();
    return isWritten;
}

video::IImage* CNullVideo::makeImage(int width, int height, video::SColor fill) const
{
    video::IImage* image = driver()->createImage(video::ECF_A8R8G8B8, core::dimension2du(width, height));
    image->fill(fill);
    return image;
}
