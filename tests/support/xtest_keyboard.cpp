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
    platform::FindXlibFunction(RootWindow, "XDefaultRootWindow");
    platform::FindXlibFunction(CreateSimpleWindow, "XCreateSimpleWindow");
    platform::FindXlibFunction(MapWindow, "XMapWindow");
    platform::FindXlibFunction(DestroyWindow, "XDestroyWindow");
    platform::FindXlibFunction(GetInputFocus, "XGetInputFocus");
    platform::FindXlibFunction(SetInputFocus, "XSetInputFocus");
    void* xtest = dlopen("libXtst.so.6", RTLD_LAZY | RTLD_LOCAL);
    FakeKeyEvent = xtest ? reinterpret_cast<decltype(FakeKeyEvent)>(dlsym(xtest, "XTestFakeKeyEvent")) : nullptr;
    if (openDisplay && CloseDisplay && Sync && LockModifiers && KeysymToModifiers && FakeKeyEvent && RootWindow &&
        CreateSimpleWindow && MapWindow && DestroyWindow && GetInputFocus && SetInputFocus)
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

void CXTestKeyboard::focusElsewhere(const std::function<void()>& meanwhile)
{
    constexpr int RevertToParent = 2;
    unsigned long focused = 0;
    int revert = 0;
    GetInputFocus(Display, &focused, &revert);
    const unsigned long other = CreateSimpleWindow(Display, RootWindow(Display), 0, 0, 8, 8, 0, 0, 0);
    MapWindow(Display, other);
    Sync(Display, 0);   // mapped: no window manager holds it back
    SetInputFocus(Display, other, RevertToParent, 0);
    Sync(Display, 0);
    meanwhile();
    SetInputFocus(Display, focused, RevertToParent, 0);
    DestroyWindow(Display, other);
    Sync(Display, 0);
}
