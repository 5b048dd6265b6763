// X protocol errors caught instead of ending the program. The X library's
// functions are found at run time (xlib_functions.h), its types come from
// its header.
#include "x_errors.h"

#include "xlib_functions.h"

#include <X11/Xlib.h>

#include <cstdio>

namespace platform {

namespace {

bool g_trapped = false;
XErrorHandler g_previous = nullptr;
int g_count = 0;
char g_last[64] = "";

int countError(Display*, XErrorEvent* event)
{
    ++g_count;
    std::snprintf(g_last, sizeof g_last, "error %u (request %u.%u)", unsigned(event->error_code),
                  unsigned(event->request_code), unsigned(event->minor_code));
    return 0;
}

}   // namespace

void BeginXErrorTrap()
{
    if (g_trapped || !GetXlib().ok())
        return;
    g_trapped = true;
    g_count = 0;
    g_last[0] = '\0';
    g_previous = GetXlib().SetErrorHandler(countError);
}

int EndXErrorTrap(void* display)
{
    if (!g_trapped)
        return 0;
    if (display)
        GetXlib().Sync(static_cast<Display*>(display), False);
    GetXlib().SetErrorHandler(g_previous);
    g_previous = nullptr;
    g_trapped = false;
    return g_count;
}

std::string LastXErrorText()
{
    return g_last;
}

}   // namespace platform
