// The description macro pass over any text, with parameters taken from the
// text's first line (one "name=value" per ';').
#include "fuzz_host.h"

#include "node_factory_macros.h"
#include "utils_str_tools.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // the engine's macro host and manifest
    (void)host;
    const std::string input(reinterpret_cast<const char*>(bytes), size);
    const size_t lineEnd = input.find('\n');
    CStringArray params;
    if (lineEnd != std::string::npos) {
        irr::core::array<irr::core::stringc> parts = SplitString(input.substr(0, lineEnd).c_str(), ';', false);
        for (irr::u32 i = 0; i < parts.size(); ++i)
            params.Add(parts[i].c_str());
    }
    CString text(input.c_str());
    RunAllowingFatalEnd([&] { expandSpriteMacros(text, &params); });
    return 0;
}
