// Keys as the X server names them: the key code of each key event the device
// reads, the symbols the layout puts on that key, and their Windows virtual-key
// codes. The device (Irrlicht) hands over only a guess from the key's first
// symbol, which differs by layout and is the raw X key code when it knows no
// better.
#pragma once

namespace platform {

// One key event as the X server sent it.
struct SXKey {
    unsigned Code = 0;             // the X key code
    unsigned long Sym[2] = {};     // the key's symbols on its first two levels, in the event's group
    unsigned long Typed = 0;       // the symbol the event's modifiers select
    bool NumLock = false;
};

// Follows the key events that arrive on the device's display (an X11 Display*,
// may be null), and on no other: one followed before is let go. Call before
// the device reads its first event; calling again for the same display
// changes nothing.
void WatchXKeyEvents(void* display);
// Stops following the display and gives its key events back to the library
// alone; call before it closes. Another display changes nothing.
void StopWatchingXKeyEvents(void* display);

// The X side of the key event the device is handing over now (the oldest one
// read and not yet taken, releases the device dropped skipped); false when it
// is not known (no display followed, or no such event).
bool TakeXKeyEvent(bool pressed, SXKey& key);

// The Windows virtual-key code of the key on its layout: a Latin letter or a
// digit on its first two levels gives that letter's or digit's code; the
// number pad follows NumLock; otherwise the code Windows gives the key at that
// position. 0 when the key has no symbol or its code cannot be told.
int WindowsKeyCode(const SXKey& key);

// The accent a dead key's symbol stands for, as its spacing character; 0 for
// any other symbol.
char32_t DeadKeyAccent(unsigned long keysym);

// The letter with the dead key's accent, or 0 when there is no such letter.
char32_t CombineDeadKey(unsigned long deadKeysym, char32_t letter);

} // namespace platform
