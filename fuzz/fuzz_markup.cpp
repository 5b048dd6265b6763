// Text markup: a text node made of the text in an engine in play, laid out
// and drawn for a few frames, removed.
#include "fuzz_host.h"

#include "node_text.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzEngine* host = new CFuzzEngine;   // kept to the process's end
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    RunAllowingFatalEnd([&] {
        createTextNode(text.c_str(), {0, 0, 0}, host->Engine.RootNode, -1);
        host->frames(3);
    });
    host->sweepRoot();
    return 0;
}
