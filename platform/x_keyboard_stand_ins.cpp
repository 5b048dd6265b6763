// The program's XNextEvent and XLookupString, which tell the keyboard layer
// (x_keyboard.h) what the device reads; each goes on to the X library's own.
//
// What the device relies on here (Irrlicht 1.8's X device): it reads its
// events with XNextEvent, and for each key press and each key release it
// hands over it looks the event's string up with XLookupString right before,
// first as the event came, then again with the modifiers cleared; a release
// it drops as part of a key repeat is never looked up. The first look-up
// after each read is the key event's. The program's own connections call the
// library through its handle (xlib.h) and are not seen.
#include "x_keyboard.h"
#include "xlib.h"

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

__attribute__((visibility("default"))) int XNextEvent(void* display, void* event)
{
    using NextFn = int (*)(void*, void*);
    static const NextFn next = libraryFunction<NextFn>("XNextEvent");
    const int result = next ? next(display, event) : 0;
    platform::NoteXEventRead(event);
    return result;
}

__attribute__((visibility("default"))) int XLookupString(void* event, char* text, int bytes, unsigned long* keysym,
                                                         void* status)
{
    using LookupFn = int (*)(void*, char*, int, unsigned long*, void*);
    static const LookupFn lookup = libraryFunction<LookupFn>("XLookupString");
    unsigned long typed = 0;
    const int length = lookup ? lookup(event, text, bytes, keysym ? keysym : &typed, status) : 0;
    platform::NoteXKeyLookedUp(event, keysym ? *keysym : typed);
    return length;
}

} // extern "C"
