// An Irrlicht null device for tests of image-level rendering work: its file
// system is installed in the default engine context for the object's
// lifetime, and images are written with exact pixels.
#pragma once

#include <functional>
#include <string>

#include <SColor.h>

namespace irr {
class IrrlichtDevice;
namespace video { class IVideoDriver; class IImage; }
}

class CNullVideo {
public:
    CNullVideo();
    ~CNullVideo();
    CNullVideo(const CNullVideo&) = delete;
    CNullVideo& operator=(const CNullVideo&) = delete;

    irr::video::IVideoDriver* driver() const;
    irr::IrrlichtDevice* device() const { return Device; }
    // Mounts a folder as the engine does (letters compared without case); the
    // folder's files are listed now, so mount again after writing more.
    bool mountFolder(const std::string& path) const;

    using PixelFn = std::function<irr::video::SColor(int x, int y)>;
    // Writes a PNG (or BMP by extension); rgb writes 24-bit pixels without alpha.
    bool writeImage(const std::string& path, int width, int height, const PixelFn& pixel, bool rgb = false) const;
    // An image to read pixels from (the caller drops it).
    irr::video::IImage* makeImage(int width, int height, irr::video::SColor fill) const;

private:
    irr::IrrlichtDevice* Device;
};
