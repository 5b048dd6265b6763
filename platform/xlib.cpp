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

bool GetXScreenSize(void* display, int& width, int& height)
{
    width = height = 0;
    int (*screen)(void*) = nullptr;
    int (*displayWidth)(void*, int) = nullptr;
    int (*displayHeight)(void*, int) = nullptr;
    FindXlibFunction(screen, "XDefaultScreen");
    FindXlibFunction(displayWidth, "XDisplayWidth");
    FindXlibFunction(displayHeight, "XDisplayHeight");
    if (!display || !screen || !displayWidth || !displayHeight)
        return false;
    int number = screen(display);
    width = displayWidth(display, number);
    height = displayHeight(display, number);
    if (width > 0 && height > 0)
        return true;
    width = height = 0;
    return false;
}

} // namespace platform
