// Dialog descriptions opened in an engine in play, animated and closed.
#include "fuzz_host.h"

#include "module_dialogfactory.h"
#include "node_factory.h"
#include "utils_fs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    host->Program.writeData("fuzz.dlg", bytes, size);
    ClearTextFileCache();
    clearSpriteCache();
    RunAllowingFatalEnd([&] {
        CDialogFactory::createDialog(host->Program.data("fuzz.dlg").c_str(), {0, 0, 0}, nullptr);
        host->frames(3);
        host->Engine.closeDialogs("");
        host->frames(8);
    });
    host->sweepRoot();
    return 0;
}
