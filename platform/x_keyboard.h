// Keys as the X server names them: the key code of the key event the device
// is converting, the symbols the layout puts on that key, and their Windows
// virtual-key codes. The device (Irrlicht) hands over only a guess from the
// key's first symbol, which differs by layout and is the raw X key code when
// it knows no better.
#pragma once

namespace platform {

// The symbols of a layout's keys on their first two levels, by X key code.
struct SXLayout {
    unsigned long Sym[256][2] = {};
};

// One key event as the X server sent it.
struct SXKey {
    unsigned Code = 0;             // the X key code
    unsigned long Sym[2] = {};     // the key's symbols on its first two levels, in the event's group
    unsigned long Typed = 0;       // the symbol the event's modifiers select
    bool NumLock = false;          // the number pad types its digits
    const SXLayout* Layout = nullptr;   // the other keys of the layout; may be null
};

// What the device reads, as the program's XNextEvent and XLookupString see
// it (x_keyboard_stand_ins.cpp): an event read (an XEvent*), and the key
// event looked up (an XKeyEvent*) with the symbol the look-up gave.
void NoteXEventRead(const void* event);
void NoteXKeyLookedUp(const void* event, unsigned long typed);

// The X side of the key event the device is handing over now: the one whose
// string it looked up last since it read its last event. False when there is
// none, or it is not a press (pressed) or a release (!pressed).
bool CurrentXKeyEvent(bool pressed, SXKey& key);

// True when the event the device read last is a key press or release whose
// string it has not looked up: a device that looks its keys up some other
// way, whose key events CurrentXKeyEvent cannot tell.
bool XKeyEventNotLookedUp();

// How often the device's window has lost the keyboard focus so far: a loss
// and a return within one frame leave the focus as it was, but the keys let
// go meanwhile went to another window.
unsigned XFocusLosses();

// The Windows virtual-key code of the key on its layout: a Latin letter or a
// digit on its first two levels gives that letter's or digit's code; the
// number pad follows NumLock; a punctuation key the code of its symbol;
// otherwise the code Windows gives the key at that position on a US
// keyboard, unless another key of the layout took that code; a typing key
// left so without a code, a punctuation code no other key of the layout
// has. 0 when the key has no symbol or its code cannot be told.
int WindowsKeyCode(const SXKey& key);

} // namespace platform
