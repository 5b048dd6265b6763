// Images through the texture loading path: the same bytes under each name
// kind whose loader Irrlicht picks first, as a texture and as a data image.
#include "fuzz_host.h"

#include "rendering_stuff_textures.h"

#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    irr::video::IVideoDriver* driver = host->Engine.Device->getVideoDriver();
    for (const char* name : {"fuzz.png", "fuzz.jpg", "fuzz.bmp", "fuzz.tga"}) {
        host->Program.writeData(name, bytes, size);
        const irr::u32 held = driver->getTextureCount();
        RunAllowingFatalEnd([&] {
            retrieveTexture(name);
            removeCachedTexture(name);
            // The driver may know the texture by its full path: whatever came is removed.
            while (driver->getTextureCount() > held)
                driver->removeTexture(driver->getTextureByIndex(held));
            if (irr::video::IImage* image = createDataImage(driver, name))
                image->drop();
        });
    }
    return 0;
}
