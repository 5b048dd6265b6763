// Texture lists (".cfg"), read as the engine preloads them: particle groups,
// else lists packed into atlases of the sample's images.
#include "fuzz_host.h"

#include "rendering_stuff_textures.h"
#include "utils_fs.h"

#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    host->Program.writeData("fuzz.cfg", bytes, size);
    ClearTextFileCache();
    irr::video::IVideoDriver* driver = host->Engine.Device->getVideoDriver();
    const irr::u32 held = driver->getTextureCount();
    RunAllowingFatalEnd([&] { host->Engine.preloadFile("fuzz.cfg", nullptr); });
    ReleaseTextureCaches();
    while (driver->getTextureCount() > held)   // the atlases made, and their images
        driver->removeTexture(driver->getTextureByIndex(held));
    return 0;
}
