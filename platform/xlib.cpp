// The X library, opened once on first use.
#include "xlib.h"

#include <dlfcn.h>

namespace platform {

void* FindXlibSymbol(const char* name)
{
    static void* const handle = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    return handle ? dlsym(handle, name) : nullptr;
}

void* HoldXDisplay()
{
    using OpenFn = void* (*)(const char*);
    auto open = reinterpret_cast<OpenFn>(FindXlibSymbol("XOpenDisplay"));
    return open ? open(nullptr) : nullptr;
}

void ReleaseXDisplay(void* display)
{
    using CloseFn = int (*)(void*);
    auto close = reinterpret_cast<CloseFn>(FindXlibSymbol("XCloseDisplay"));
    if (display && close)
        close(display);
}

} // namespace platform
