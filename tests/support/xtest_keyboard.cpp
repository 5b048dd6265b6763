#include "xtest_keyboard.h"

#include "xlib.h"

#include <dlfcn.h>

CXTestKeyboard::CXTestKeyboard(const char* display)
{
    void* (*openDisplay)(const char*) = nullptr;
    platform::FindXlibFunction(openDisplay, "XOpenDisplay");
    platform::FindXlibFunction(CloseDisplay, "XCloseDisplay");
    platform::FindXlibFunction(Sync, "XSync");
    platform::FindXlibFunction(LockModifiers, "XkbLockModifiers");
    platform::FindXlibFunction(KeysymToModifiers, "XkbKeysymToModifiers");
    void* xtest = dlopen("libXtst.so.6", RTLD_LAZY | RTLD_LOCAL);
    FakeKeyEvent = xtest ? reinterpret_cast<decltype(FakeKeyEvent)>(dlsym(xtest, "XTestFakeKeyEvent")) : nullptr;
    if (openDisplay && CloseDisplay && Sync && LockModifiers && KeysymToModifiers && FakeKeyEvent)
        Display = openDisplay(display);
}

CXTestKeyboard::~CXTestKeyboard()
{
    if (Display) {
        setNumLock(false);
        CloseDisplay(Display);
    }
}

void CXTestKeyboard::setNumLock(bool on)
{
    const unsigned numLock = KeysymToModifiers(Display, 0xFF7F);
    LockModifiers(Display, 0x100, numLock, on ? numLock : 0);   // the core keyboard
    Sync(Display, 0);
}

void CXTestKeyboard::key(unsigned code, bool down)
{
    FakeKeyEvent(Display, code, down ? 1 : 0, 0);
    Sync(Display, 0);
}
