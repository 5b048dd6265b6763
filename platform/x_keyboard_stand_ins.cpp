// The program's XNextEvent and XLookupString, which tell the keyboard layer
// (x_keyboard.h) what the device reads; each goes on to the X library's own.
//
// What the device relies on here (Irrlicht 1.8's X device): it reads its
// events with XNextEvent, and for each key press and each key release it
// hands over it looks the event's string up with XLookupString right before,
// first as the event came, then again with the modifiers cleared; a release
// it drops as part of a key repeat is never looked up. The first look-up
// after each read is the key event's; a key event handed over without it
// keeps the device's guess, and the receiver logs that once
// (XKeyEventNotLookedUp). The program's own connections call the library
// through its handle (xlib.h) and are not seen.
#include "x_keyboard.h"
#include "xlib.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dlfcn.h>

namespace {

// The library's function next after the program's.
template <typename Fn>
Fn libraryFunction(const char* name)
{
    void* found = dlsym(RTLD_NEXT, name);
    if (!found)
        found = platform::FindXlibSymbol(name);
    return reinterpret_cast<Fn>(found);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int XNextEvent(Display* display, XEvent* event)
{
    static const auto next = libraryFunction<decltype(&XNextEvent)>("XNextEvent");
    const int result = next ? next(display, event) : 0;
    platform::NoteXEventRead(event);
    return result;
}

__attribute__((visibility("default"))) int XLookupString(XKeyEvent* event, char* text, int bytes, KeySym* keysym,
                                                         XComposeStatus* status)
{
    static const auto lookup = libraryFunction<decltype(&XLookupString)>("XLookupString");
    KeySym typed = 0;
    const int length = lookup ? lookup(event, text, bytes, keysym ? keysym : &typed, status) : 0;
    platform::NoteXKeyLookedUp(event, keysym ? *keysym : typed);
    return length;
}

} // extern "C"
