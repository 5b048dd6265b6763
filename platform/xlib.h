// The X library's functions, found at run time: the layer links no X code
// of its own and takes only the types from the library's headers. The
// library is loaded in every run all the same, with a display or without:
// Irrlicht links it, and so does libGL's GLX. The layer's own files call
// them through one table (xlib_functions.h).
#pragma once

namespace platform {

// A function of libX11, or null when the library or the name is missing.
void* FindXlibSymbol(const char* name);

// The same, into a function pointer of the caller's type.
template <typename Fn>
void FindXlibFunction(Fn& slot, const char* name)
{
    slot = reinterpret_cast<Fn>(FindXlibSymbol(name));
}

// A connection of the program's own to the default display, or null. An X
// server whose last client leaves resets itself, and a device that opens the
// display in that moment finds none; holding a connection while devices are
// tried one after another keeps the server up between the attempts.
void* HoldXDisplay();
void ReleaseXDisplay(void* display);

// The size in pixels of the display's default screen; false, with both 0,
// when there is no display or the library cannot tell.
bool GetXScreenSize(void* display, int& width, int& height);

} // namespace platform
