// A player's profile file: loaded, saved, loaded again; the second load must
// give the values of the first.
#include "fuzz_host.h"

#include "module_userprofile.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    (void)host;
    CUserProfile* first = new CUserProfile("fuzz");
    const std::string path = (const char*)first->getFilePath("", 1);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes), std::streamsize(size));
    }
    RunAllowingFatalEnd([&] {
        first->load();
        const CString read = first->toText();
        first->markChanged();
        first->save();
        CUserProfile* second = new CUserProfile("fuzz");
        second->load();
        const CString again = second->toText();
        second->drop();
        if (!SameSavedValues(read, again)) {
            std::fprintf(stderr, "first load:\n%s\nsecond load:\n%s\n", (const char*)read, (const char*)again);
            std::abort();   // saving lost or changed a value
        }
    });
    first->drop();
    return 0;
}
