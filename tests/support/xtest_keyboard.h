// A keyboard of the test's own on an X display, pressing X key codes through
// XTEST as a real one does. The keys go to the window that has the focus.
#pragma once

#include <functional>

class CXTestKeyboard {
public:
    // display: ":N", or null for DISPLAY's.
    explicit CXTestKeyboard(const char* display = nullptr);
    ~CXTestKeyboard();   // lets NumLock go
    CXTestKeyboard(const CXTestKeyboard&) = delete;
    CXTestKeyboard& operator=(const CXTestKeyboard&) = delete;

    bool ready() const { return Display != nullptr; }
    void setNumLock(bool on);
    void key(unsigned code, bool down);
    // Gives the focus to a window of the keyboard's own while `meanwhile`
    // runs, then back to the window that had it.
    void focusElsewhere(const std::function<void()>& meanwhile);

private:
    int (*CloseDisplay)(void*) = nullptr;
    int (*Sync)(void*, int) = nullptr;
    int (*LockModifiers)(void*, unsigned, unsigned, unsigned) = nullptr;
    unsigned (*KeysymToModifiers)(void*, unsigned long) = nullptr;
    int (*FakeKeyEvent)(void*, unsigned, int, unsigned long) = nullptr;
    unsigned long (*RootWindow)(void*) = nullptr;
    unsigned long (*CreateSimpleWindow)(void*, unsigned long, int, int, unsigned, unsigned, unsigned, unsigned long,
                                        unsigned long) = nullptr;
    int (*MapWindow)(void*, unsigned long) = nullptr;
    int (*DestroyWindow)(void*, unsigned long) = nullptr;
    int (*GetInputFocus)(void*, unsigned long*, int*) = nullptr;
    int (*SetInputFocus)(void*, unsigned long, int, unsigned long) = nullptr;
    void* Display = nullptr;
};
