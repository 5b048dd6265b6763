// The device's own connection to the X server. Irrlicht tells it only for its
// OpenGL driver; the software drivers open one just the same, through the X
// library's XOpenDisplay, which this program stands in front of (the program's
// own connections go through the library's handle, xlib.h, and are not seen).
#pragma once

namespace platform {

// Starts noting the displays opened on this thread: call it right before the
// device is made.
void BeginNotingXDisplays();

// Stops noting. The display opened on this thread since the start and still
// open is the device's: it is returned, and kept as NotedXDisplay() until it
// closes. Null, and none kept, when no such display or more than one is open:
// then the device's cannot be told.
void* EndNotingXDisplays();

// The display EndNotingXDisplays() returned last, while it is open.
void* NotedXDisplay();

} // namespace platform
