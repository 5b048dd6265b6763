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
#include <string>

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
    // A line naming the disk's root ("/...") would have each input walk the
    // host's folders, thousands of them, which is not what is fuzzed here and
    // made the target crawl: such names are taken from the data's top
    // instead. The walk's own bounds are the file layer's tests' business.
    std::string text(reinterpret_cast<const char*>(bytes), size);
    for (size_t at = 0; at < text.size();) {
        const size_t first = text.find_first_not_of(" \t\r", at);
        if (first != std::string::npos && text[first] == '/')
            text[first] = '\\';
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    host->Program.writeData("fuzz.cfg", reinterpret_cast<const uint8_t*>(text.data()), text.size());
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
