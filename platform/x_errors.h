// X protocol errors caught instead of ending the program: the X library's
// own handler exits on any error, and some GLX requests fail on virtual
// displays (the swap interval under Xvfb) while the device still works.
#pragma once

#include <string>

namespace platform {

// From here on, X errors are counted and described instead of ending the
// program. Traps do not nest: a second begin only keeps the first.
void BeginXErrorTrap();
// Waits for the display's outstanding requests (an X11 Display*, may be
// null), so that their errors arrive while trapped, then puts the previous
// handler back. Returns the number of errors caught since the begin.
int EndXErrorTrap(void* display);
// The last error caught, as "error <code> (request <major>.<minor>)"; empty
// when none was.
std::string LastXErrorText();

}   // namespace platform
