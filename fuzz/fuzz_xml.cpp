// XML storage: the manifest read through it, with its macros expanded, and
// any XML text read into a script table.
#include "fuzz_host.h"

#include "module_scripting_serialize.h"
#include "server_game_manifest.h"
#include "utils_fs.h"
#include "utils_serialize_storage.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    host->Program.writeData("fuzz.xml", bytes, size);
    ClearTextFileCache();
    RunAllowingFatalEnd([&] {
        CManifest manifest;
        manifest.readFrom(host->Program.data("fuzz.xml").c_str());
        CString text = "${X} ${Y} $rnd(1,2) ${";
        manifest.expandMacros(text);
    });
    RunAllowingFatalEnd([&] {
        CXMLStorage storage(host->Program.data("fuzz.xml").c_str(), true);
        CManifest manifest;
        manifest.serialize(storage);
    });
    RunAllowingFatalEnd([&] {
        const std::string text(reinterpret_cast<const char*>(bytes), size);
        SquirrelObject table = SquirrelVM::CreateTable();
        LoadTableFromXmlText(text.c_str(), table);
    });
    return 0;
}
