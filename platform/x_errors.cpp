// X protocol errors caught instead of ending the program. The X library is
// opened at run time, like the window icon's: headless runs never load it.
#include "x_errors.h"

#include "xlib.h"

#include <cstdio>

namespace platform {

namespace {

// The leading fields of the X library's XErrorEvent, in its layout.
struct SXErrorEvent {
    int type;
    void* display;
    unsigned long resourceid;
    unsigned long serial;
    unsigned char error_code;
    unsigned char request_code;
    unsigned char minor_code;
};

using ErrorHandler = int (*)(void*, SXErrorEvent*);
using SetErrorHandlerFn = ErrorHandler (*)(ErrorHandler);
using SyncFn = int (*)(void*, int);

struct SXlib {
    SetErrorHandlerFn SetErrorHandler = nullptr;
    SyncFn Sync = nullptr;
    bool ok() const { return SetErrorHandler && Sync; }
};

const SXlib& xlib()
{
    static const SXlib lib = [] {
        SXlib found;
        found.SetErrorHandler = reinterpret_cast<SetErrorHandlerFn>(FindXlibSymbol("XSetErrorHandler"));
        found.Sync = reinterpret_cast<SyncFn>(FindXlibSymbol("XSync"));
        return found;
    }();
    return lib;
}

bool g_trapped = false;
ErrorHandler g_previous = nullptr;
int g_count = 0;
char g_last[64] = "";

int countError(void*, SXErrorEvent* event)
{
    ++g_count;
    std::snprintf(g_last, sizeof g_last, "error %u (request %u.%u)", unsigned(event->error_code),
                  unsigned(event->request_code), unsigned(event->minor_code));
    return 0;
}

}   // namespace

void BeginXErrorTrap()
{
    if (g_trapped || !xlib().ok())
        return;
    g_trapped = true;
    g_count = 0;
    g_last[0] = '\0';
    g_previous = xlib().SetErrorHandler(countError);
}

int EndXErrorTrap(void* display)
{
    if (!g_trapped)
        return 0;
    if (display)
        xlib().Sync(display, 0);
    xlib().SetErrorHandler(g_previous);
    g_previous = nullptr;
    g_trapped = false;
    return g_count;
}

std::string LastXErrorText()
{
    return g_last;
}

}   // namespace platform
