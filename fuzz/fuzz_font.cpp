// Font files of both forms, loaded on the null driver and measured.
#include "fuzz_host.h"

#include "rendering_font.h"
#include "utils_fs.h"

#include <IrrlichtDevice.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    host->Program.writeData("fonts/fuzz.xml", bytes, size);
    ClearTextFileCache();
    irr::IrrlichtDevice* device = host->Engine.Device;
    auto* font = new CGUIFont3D(device->getVideoDriver(), device->getSceneManager(), device->getTimer());
    RunAllowingFatalEnd([&] {
        if (font->loadXmlFont("fonts\\fuzz.xml"))
            for (const char* text : {"Hello, world!", "\xFF\x80\x01~", "<b>x</b>\n\r\ty", ""})
                font->getTextDimension(text);
    });
    font->drop();
    return 0;
}
