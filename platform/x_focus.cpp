// The X library's functions are found at run time (xlib_functions.h), its
// types come from its header.
#include "x_focus.h"

#include "x_errors.h"
#include "xlib.h"
#include "xlib_functions.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace platform {

namespace {

// A window manager that follows the common desktop conventions names its
// check window on the root window.
bool windowManagerRuns(Display* display, Window root)
{
    const SXlib& x = GetXlib();
    Atom check = x.InternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (!check)
        return false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    int status = x.GetWindowProperty(display, root, check, 0, 1, False, AnyPropertyType, &type, &format, &count, &left,
                                     &data);
    if (data)
        x.Free(data);
    return status == 0 && type != 0 && count > 0;
}

// The windows listed belong to other clients too, and any of them may close
// before its name is read: that error is trapped, else the X library's own
// handler would end the program.
Window findNamedChild(Display* display, Window root, const char* name)
{
    const SXlib& x = GetXlib();
    Window rootReturn = 0, parent = 0, found = 0;
    Window* children = nullptr;
    unsigned count = 0;
    BeginXErrorTrap();
    if (!x.QueryTree(display, root, &rootReturn, &parent, &children, &count)) {
        EndXErrorTrap(display);
        return 0;
    }
    for (unsigned i = 0; i < count && !found; ++i) {
        char* title = nullptr;
        if (x.FetchName(display, children[i], &title) && title) {
            if (std::strcmp(title, name) == 0)
                found = children[i];
            x.Free(title);
        }
    }
    if (children)
        x.Free(children);
    EndXErrorTrap(display);
    return found;
}

// The window may not be viewable yet when the device returns: a focus on an
// unmapped window is refused, so it is tried again for a short while.
bool focus(const char* name, Window window)
{
    Display* display = static_cast<Display*>(HoldXDisplay());   // none without the whole table either
    if (!display)
        return false;
    const SXlib& x = GetXlib();
    Window root = x.DefaultRoot(display);
    bool given = false;
    if (!windowManagerRuns(display, root)) {
        for (int attempt = 0; attempt < 25 && !given; ++attempt) {
            if (attempt)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            Window target = name ? findNamedChild(display, root, name) : window;
            if (!target)
                continue;
            BeginXErrorTrap();
            x.SetInputFocus(display, target, RevertToParent, CurrentTime);
            given = EndXErrorTrap(display) == 0;
        }
    }
    ReleaseXDisplay(display);
    return given;
}

} // namespace

bool FocusWindowWithoutWindowManager(unsigned long window)
{
    return window && focus(nullptr, window);
}

bool FocusNamedWindowWithoutWindowManager(const char* name)
{
    return name && *name && focus(name, 0);
}

} // namespace platform
