// Sprite descriptions, macros and markup included, built into nodes of an
// engine in play, animated, removed.
#include "fuzz_host.h"

#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "utils_fs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    host->Program.writeData("fuzz.spr", bytes, size);
    ClearTextFileCache();
    clearSpriteCache();
    RunAllowingFatalEnd([&] {
        CString name(host->Program.data("fuzz.spr").c_str());
        appendSpriteParam(name, "X", "1");
        appendSpriteParam(name, "Name", "btn");
        appendSpriteParam(name, "Text", "Hello");
        addSprite(name, 1, 1, {0, 0, 0}, host->Engine.RootNode, nullptr, SPRITE_SITE);
        host->frames(3);
    });
    host->sweepRoot();
    return 0;
}
