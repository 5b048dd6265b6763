// Stands in front of the X library's XOpenDisplay and XCloseDisplay for
// every library of the program (Irrlicht among them): each call goes on to
// the library's own function. A display closes only once key events are no
// longer followed on it.
#include "x_device_display.h"

#include "x_keyboard.h"
#include "xlib.h"

#include <dlfcn.h>

#include <cstddef>
#include <mutex>

namespace platform {

namespace {

using OpenFn = void* (*)(const char*);
using CloseFn = int (*)(void*);

// Nothing here is destroyed at exit: a library may close its display later.
std::mutex g_mutex;
constexpr size_t MaxOpened = 4;
void* g_opened[MaxOpened];   // noted and still open
size_t g_openedCount = 0;
bool g_tooMany = false;      // more were open than noted
bool g_noting = false;
thread_local bool t_noting = false;
void* g_noted = nullptr;

// The library's function next after the program's: the one in libX11 as the
// program's libraries bind to it, else the one of the library's handle.
template <typename Fn>
Fn libraryFunction(const char* name)
{
    void* found = dlsym(RTLD_NEXT, name);
    if (!found)
        found = FindXlibSymbol(name);
    return reinterpret_cast<Fn>(found);
}

} // namespace

void BeginNotingXDisplays()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_openedCount = 0;
    g_tooMany = false;
    g_noting = t_noting = true;
}

void* EndNotingXDisplays()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_noted = g_openedCount == 1 && !g_tooMany ? g_opened[0] : nullptr;
    g_openedCount = 0;
    g_noting = t_noting = false;
    return g_noted;
}

void* NotedXDisplay()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_noted;
}

} // namespace platform

extern "C" {

__attribute__((visibility("default"))) void* XOpenDisplay(const char* name)
{
    using namespace platform;
    static const OpenFn open = libraryFunction<OpenFn>("XOpenDisplay");
    void* display = open ? open(name) : nullptr;
    if (display && t_noting) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_noting && g_openedCount < MaxOpened)
            g_opened[g_openedCount++] = display;
        else if (g_noting)
            g_tooMany = true;
    }
    return display;
}

__attribute__((visibility("default"))) int XCloseDisplay(void* display)
{
    using namespace platform;
    static const CloseFn close = libraryFunction<CloseFn>("XCloseDisplay");
    StopWatchingXKeyEvents(display);
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (size_t i = 0; i < g_openedCount; ++i)
            if (g_opened[i] == display) {
                g_opened[i] = g_opened[--g_openedCount];
                break;
            }
        if (display == g_noted)
            g_noted = nullptr;
    }
    return close ? close(display) : 0;
}

} // extern "C"
