// Small system helpers every subsystem uses: the engine's message box,
// key state, path and folder tests, code-page copies, the debug trace and
// time conversions.
#pragma once

#include "msgbox.h"
#include "utils_system_windows.h"

#include <cstdint>

// A modal box captioned with the executable's path. OK, OK/Cancel,
// Yes/No/Cancel and Yes/No boxes without an icon get the exclamation icon.
int ShowMessageBox(const char* text, unsigned type);

// The road for every engine and content warning: while the game runs
// fullscreen no box is shown, a box of exactly MB_YESNO answers IDYES and
// every other box 0.
int EngineMessageBox(const char* text, unsigned type);

// The key state of a Win32 virtual key, 16 bits sign-extended: negative
// while the key is down; 0 while the application is not active.
int GetKeyStateIfActive(int key);

// Fed by the input receiver. Sided Shift, Ctrl and Alt also count for the
// plain keys 0x10, 0x11 and 0x12.
void RecordKeyState(int key, bool isDown);

// True when ":\" occurs anywhere in the path or it begins with "/".
bool IsAbsolutePath(const char* path);

// The user's application-data folder ($XDG_DATA_HOME, else
// $HOME/.local/share, failing that "/tmp/") into a buffer of MAX_PATH.
void GetWindowsAppDataPath(char* buffer);

// Copies through the 8-bit code page. Each clears length + 1 units of the
// destination first and writes at most length units, so the result is
// always terminated.
void WideToAnsi(const wchar_t* text, char* buffer);
void AnsiToWide(const char* text, wchar_t* buffer);

// printf-style text to the debugger output; no newline is added.
void DebugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Local time of a 64-bit time. 0, with the record zeroed, when the C
// library cannot convert it; else 1.
int TimeToSystemTime(int64_t time, SYSTEMTIME* out);

// The reverse; daylight saving is left for the library to determine.
int SystemTimeToTime(int64_t* time, const SYSTEMTIME* in);
