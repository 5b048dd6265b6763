// The X library, opened once on first use, and the table of its functions.
#include "xlib.h"

#include "xlib_functions.h"

#include <dlfcn.h>

namespace platform {

void* FindXlibSymbol(const char* name)
{
    static void* const handle = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    return handle ? dlsym(handle, name) : nullptr;
}

const SXlib& GetXlib()
{
    static const SXlib lib = [] {
        SXlib found;
        bool all = true;
        auto find = [&all](auto& slot, const char* name) {
            FindXlibFunction(slot, name);
            all = all && slot;
        };
        find(found.OpenDisplay, "XOpenDisplay");
        find(found.CloseDisplay, "XCloseDisplay");
        find(found.DefaultScreenNumber, "XDefaultScreen");
        find(found.ScreenWidth, "XDisplayWidth");
        find(found.ScreenHeight, "XDisplayHeight");
        find(found.Connection, "XConnectionNumber");
        find(found.DefaultRoot, "XDefaultRootWindow");
        find(found.CreateSimpleWindow, "XCreateSimpleWindow");
        find(found.DestroyWindow, "XDestroyWindow");
        find(found.QueryTree, "XQueryTree");
        find(found.FetchName, "XFetchName");
        find(found.SetInputFocus, "XSetInputFocus");
        find(found.InternAtom, "XInternAtom");
        find(found.GetWindowProperty, "XGetWindowProperty");
        find(found.ChangeProperty, "XChangeProperty");
        find(found.DeleteProperty, "XDeleteProperty");
        find(found.SetSelectionOwner, "XSetSelectionOwner");
        find(found.GetSelectionOwner, "XGetSelectionOwner");
        find(found.ConvertSelection, "XConvertSelection");
        find(found.Pending, "XPending");
        find(found.NextEvent, "XNextEvent");
        find(found.SendEvent, "XSendEvent");
        find(found.Flush, "XFlush");
        find(found.Sync, "XSync");
        find(found.Free, "XFree");
        find(found.SetErrorHandler, "XSetErrorHandler");
        find(found.UseExtension, "XkbUseExtension");
        find(found.XkbKeysym, "XkbKeycodeToKeysym");
        find(found.CoreKeysym, "XKeycodeToKeysym");
        found.Complete = all;
        return found;
    }();
    return lib;
}

void* HoldXDisplay()
{
    const SXlib& x = GetXlib();
    return x.ok() ? x.OpenDisplay(nullptr) : nullptr;
}

void ReleaseXDisplay(void* display)
{
    const SXlib& x = GetXlib();
    if (display && x.ok())
        x.CloseDisplay(static_cast<Display*>(display));
}

bool GetXScreenSize(void* display, int& width, int& height)
{
    width = height = 0;
    const SXlib& x = GetXlib();
    if (!display || !x.ok())
        return false;
    Display* connection = static_cast<Display*>(display);
    const int number = x.DefaultScreenNumber(connection);
    width = x.ScreenWidth(connection, number);
    height = x.ScreenHeight(connection, number);
    if (width > 0 && height > 0)
        return true;
    width = height = 0;
    return false;
}

} // namespace platform
