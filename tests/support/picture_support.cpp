#include "picture_support.h"

#include <GL/gl.h>

#include <chrono>
#include <cstdlib>
#include <thread>

std::ostream& operator<<(std::ostream& out, const SPicturePixel& p)
{
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

bool HasPictureDisplay()
{
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

irr::IrrlichtDevice* CreatePictureDevice(const irr::SIrrlichtCreationParameters& params)
{
    irr::IrrlichtDevice* device = nullptr;
    for (int attempt = 0; attempt < 10 && !device; ++attempt) {
        device = irr::createDeviceEx(params);
        if (!device)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return device;
}

SPicturePixel ReadBackBufferPixel(int x, int y, int windowHeight)
{
    unsigned char rgba[4] = {};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, windowHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return SPicturePixel{rgba[0], rgba[1], rgba[2]};
}

SPicturePixel ImagePixel(const irr::video::IImage* image, int x, int y)
{
    const irr::video::SColor c = image->getPixel(irr::u32(x), irr::u32(y));
    return SPicturePixel{int(c.getRed()), int(c.getGreen()), int(c.getBlue())};
}

irr::IrrlichtDevice* CreateSmallPictureDevice(const irr::SIrrlichtCreationParameters& params)
{
    irr::SIrrlichtCreationParameters small = params;
    small.WindowSize = irr::core::dimension2du(SmallPictureSide, SmallPictureSide);
    small.Fullscreen = false;
    small.AntiAlias = 0;
    small.LoggingLevel = irr::ELL_ERROR;
    return CreatePictureDevice(small);
}
