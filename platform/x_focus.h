// The input focus for the game's window when no window manager runs (a bare
// X server, as under Xvfb). A window manager focuses a new window; without
// one nobody does, and a window without the focus never becomes active and
// takes no input.
#pragma once

namespace platform {

// Gives the top-level window the input focus unless a window manager runs.
// True when the focus was given.
bool FocusWindowWithoutWindowManager(unsigned long window);

// The same for the top-level window whose name is exactly this text, for
// devices that do not tell their window.
bool FocusNamedWindowWithoutWindowManager(const char* name);

} // namespace platform
