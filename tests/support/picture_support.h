// Shared pieces of the picture tests: opening a device and reading drawn pixels.
#pragma once

#include <irrlicht.h>

#include <ostream>

struct SPicturePixel {
    int r, g, b;
};

std::ostream& operator<<(std::ostream& out, const SPicturePixel& p);

// True when an X display is named, so a window can open at all.
bool HasPictureDisplay();

// createDeviceEx, tried again a few times: the X server sometimes refuses a
// connection right after another closed. Null when every try fails.
irr::IrrlichtDevice* CreatePictureDevice(const irr::SIrrlichtCreationParameters& params);

// The side of the small square window most picture tests draw into.
constexpr int SmallPictureSide = 64;

// A DeviceFactory for the engine: the requested device in a small square
// window, never fullscreen, without antialiasing, logging errors only.
irr::IrrlichtDevice* CreateSmallPictureDevice(const irr::SIrrlichtCreationParameters& params);

// The OpenGL back buffer at (x, y), y down; read before the buffers swap.
SPicturePixel ReadBackBufferPixel(int x, int y, int windowHeight);

// An image's pixel at (x, y) as red, green and blue.
SPicturePixel ImagePixel(const irr::video::IImage* image, int x, int y);
