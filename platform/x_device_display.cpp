// Stands in front of the X library's XOpenDisplay and XCloseDisplay for
// every library of the program (Irrlicht among them): each call goes on to
// the library's own function. A display closes only once key events are no
// longer followed on it.
#include "x_device_display.h"

#include "x_keyboard.h"
#include "xlib.h"

#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace platform {

namespace {

using OpenFn = void* (*)(const char*);
using CloseFn = int (*)(void*);

std::mutex g_mutex;
std::vector<void*> g_opened;       // noted and still open
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
    g_opened.clear();
    g_noting = t_noting = true;
}

void* EndNotingXDisplays()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_noted = g_opened.size() == 1 ? g_opened.front() : nullptr;
    g_opened.clear();
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
        if (g_noting)
            g_opened.push_back(display);
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
        g_opened.erase(std::remove(g_opened.begin(), g_opened.end(), display), g_opened.end());
        if (display == g_noted)
            g_noted = nullptr;
    }
    return close ? close(display) : 0;
}

} // extern "C"
