// Language tables, asked for keys they hold and keys they do not.
#include "fuzz_host.h"

#include "utils_fs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_lng.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    host->Program.writeData("fuzz.lng", bytes, size);
    GetLngCache().RemoveAll();
    GetIniCache().Clear();
    ClearTextFileCache();
    SetLanguages("en", "en");
    const std::string table = host->Program.data("fuzz.lng");
    RunAllowingFatalEnd([&] {
        for (const char* key : {"GAME.TITLE", "MENU.PLAY", "DIALOG.ABOUT.TEXT", "NO.SUCH.KEY", ""}) {
            CString value = GetLngString(key, "fallback", nullptr, table.c_str(), "en");
            DecodeLngText(value);
        }
    });
    return 0;
}
