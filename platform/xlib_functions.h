// The X library's functions the layer calls, one table for all its files,
// found at run time (xlib.h). The types come from the library's headers, so
// only the layer's own files include this one.
#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace platform {

struct SXlib {
    decltype(&XOpenDisplay) OpenDisplay = nullptr;
    decltype(&XCloseDisplay) CloseDisplay = nullptr;
    decltype(&XDefaultScreen) DefaultScreenNumber = nullptr;
    decltype(&XDisplayWidth) ScreenWidth = nullptr;
    decltype(&XDisplayHeight) ScreenHeight = nullptr;
    decltype(&XConnectionNumber) Connection = nullptr;
    decltype(&XDefaultRootWindow) DefaultRoot = nullptr;
    decltype(&XCreateSimpleWindow) CreateSimpleWindow = nullptr;
    decltype(&XDestroyWindow) DestroyWindow = nullptr;
    decltype(&XQueryTree) QueryTree = nullptr;
    decltype(&XFetchName) FetchName = nullptr;
    decltype(&XSetInputFocus) SetInputFocus = nullptr;
    decltype(&XInternAtom) InternAtom = nullptr;
    decltype(&XGetWindowProperty) GetWindowProperty = nullptr;
    decltype(&XChangeProperty) ChangeProperty = nullptr;
    decltype(&XDeleteProperty) DeleteProperty = nullptr;
    decltype(&XSetSelectionOwner) SetSelectionOwner = nullptr;
    decltype(&XGetSelectionOwner) GetSelectionOwner = nullptr;
    decltype(&XConvertSelection) ConvertSelection = nullptr;
    decltype(&XPending) Pending = nullptr;
    decltype(&XNextEvent) NextEvent = nullptr;
    decltype(&XSendEvent) SendEvent = nullptr;
    decltype(&XFlush) Flush = nullptr;
    decltype(&XSync) Sync = nullptr;
    decltype(&XFree) Free = nullptr;
    decltype(&XSetErrorHandler) SetErrorHandler = nullptr;
    decltype(&XkbUseExtension) UseExtension = nullptr;
    decltype(&XkbKeycodeToKeysym) XkbKeysym = nullptr;
    KeySym (*CoreKeysym)(Display*, KeyCode, int) = nullptr;   // deprecated in the header, kept by the library

    // Every function above was found.
    bool ok() const { return Complete; }

    bool Complete = false;
};

// Looked up on first use; all null without the library.
const SXlib& GetXlib();

} // namespace platform
