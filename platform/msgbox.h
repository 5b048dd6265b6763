// Modal message boxes with Win32 box types and results: an SDL box when a
// person can answer, otherwise standard error and the unattended answer.
#pragma once

#include <functional>
#include <vector>

// Button sets, in the low four bits of a box type.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_RETRYCANCEL = 0x5;
constexpr unsigned MB_TYPEMASK = 0xF;

// Icons, in the mask 0xF0.
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONSTOP = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONASTERISK = 0x40;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_ICONMASK = 0xF0;

// Which button is the default one (Return).
constexpr unsigned MB_DEFBUTTON1 = 0x000;
constexpr unsigned MB_DEFBUTTON2 = 0x100;
constexpr unsigned MB_DEFBUTTON3 = 0x200;
constexpr unsigned MB_DEFMASK = 0xF00;

// Results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

namespace platform {

// Answer of a box that nobody can see: yes to a box of exactly MB_YESNO,
// 0 to everything else (a yes/no box with an icon included).
int UnattendedBoxAnswer(unsigned type);

// Result codes of the buttons of a box type, in screen order; an unknown
// button set shows OK.
std::vector<int> MessageBoxButtons(unsigned type);

// What a box answers when its window is closed without a button.
int ClosedBoxAnswer(unsigned type);

// Replaces every box of the process (tests); gets text, caption (never
// null) and type and returns the answer. An empty hook removes it.
// Returns the hook that was installed before.
using MessageBoxHook = std::function<int(const char* text, const char* caption, unsigned type)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Whether a person may be asked. By default: a display exists and neither
// ENGINE_NONINTERACTIVE (non-empty, not "0") nor CI is set in the
// environment. SetBoxesInteractive overrides the environment: 1 yes,
// 0 no, -1 back to the environment.
bool AreBoxesInteractive();
void SetBoxesInteractive(int mode);

// Shows a modal box and returns the button's result code. Without a person
// to ask, or when the box cannot be shown, writes caption and text to
// standard error and returns UnattendedBoxAnswer(type).
int ShowMessageBox(const char* text, const char* caption, unsigned type);
// The same, where a box nobody can see answers unattendedAnswer: the answer
// for the type the caller asked for, before an icon was added for display.
int ShowMessageBox(const char* text, const char* caption, unsigned type, int unattendedAnswer);

} // namespace platform
