// The window icon of an X11 window. The X library's functions are found at
// run time (xlib_functions.h), its types come from its header.
#include "window_icon.h"

#include "xlib_functions.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstddef>
#include <vector>

namespace platform {

namespace {

constexpr int MaxIconSide = 1024;

}   // namespace

bool SetWindowIconX11(void* connection, unsigned long window, int width, int height, const uint32_t* argb)
{
    Display* display = static_cast<Display*>(connection);
    if (!display || !window || !argb || width <= 0 || height <= 0 || width > MaxIconSide || height > MaxIconSide)
        return false;
    const SXlib& x = GetXlib();
    if (!x.ok())
        return false;
    // Format 32 properties travel as C longs, whatever their width.
    std::vector<unsigned long> data;
    data.reserve(2 + size_t(width) * size_t(height));
    data.push_back(static_cast<unsigned long>(width));
    data.push_back(static_cast<unsigned long>(height));
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i)
        data.push_back(argb[i]);
    Atom icon = x.InternAtom(display, "_NET_WM_ICON", False);
    x.ChangeProperty(display, window, icon, XA_CARDINAL, 32, PropModeReplace,
                     reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
    x.Flush(display);
    return true;
}

}   // namespace platform
