// Texture lists (".cfg"), read as the engine preloads them: particle groups,
// else lists packed into atlases of the sample's images. The null driver
// reports no texture size an atlas needs, so the materials here report it:
// atlases 2048 wide, as ever, and 256 high, which every image of the sample
// fits. A full 2048 x 2048 atlas was cleared for every input, and the clearing
// cost more than everything else the input did.
#include "fuzz_host.h"

#include "rendering_material_custom.h"
#include "rendering_stuff_textures.h"
#include "texture_stages_recording.h"
#include "utils_fs.h"

#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    irr::video::IVideoDriver* driver = host->Engine.Device->getVideoDriver();
    static CCustomMaterials* materials = [&] {
        auto* made = new CCustomMaterials;
        auto stages = std::make_unique<CRecordingTextureStages>();
        stages->Caps.MaxTextureHeight = 256;
        made->init(driver, std::move(stages));
        return made;
    }();
    host->Program.writeData("fuzz.cfg", bytes, size);
    ClearTextFileCache();
    const irr::u32 held = driver->getTextureCount();
    SetTextureServices(driver, materials);
    RunAllowingFatalEnd([&] { host->Engine.preloadFile("fuzz.cfg", nullptr); });
    SetTextureServices(nullptr, nullptr);
    ReleaseTextureCaches();
    while (driver->getTextureCount() > held)   // the atlases made, and their images
        driver->removeTexture(driver->getTextureByIndex(held));
    return 0;
}
