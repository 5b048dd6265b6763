// The window icon of an X11 window: the _NET_WM_ICON property.
#pragma once

#include <cstdint>

namespace platform {

// Sets the icon from ARGB pixels, rows top first. display is an X11 Display*
// and window an X11 Window; false when either is missing, the size is not
// positive or the X library cannot be had.
bool SetWindowIconX11(void* display, unsigned long window, int width, int height, const uint32_t* argb);

}   // namespace platform
