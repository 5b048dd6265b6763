// Crash reports: the stack dump, the crash log "last_crashes.log" and the
// offer to pass the crash on to the system or end the program.
#pragma once

#include "utils_str.h"

#include "crash.h"

#include <cstddef>

// Appends "=== begin BfxDumpStack() output ===", one line per frame
// (16 hexadecimal address digits, ": ", module "! " and symbol) and the end
// line, each ending in CR LF. The text grows as needed.
void BfxDumpStack(CString& text, const platform::StackFrame* frames, size_t count);

// The module and symbol of one frame: "file! symbol", with " + n bytes" when
// the address lies inside the symbol; "<no module>" and "<no symbol>" for
// what cannot be named.
CString FormatStackAddress(const platform::StackFrame& frame);

// The crash handler's work: appends a dated header and the report to the
// crash log, then shows the report with Retry and Cancel. Retry passes the
// crash on to the system; anything else (fullscreen too) ends the program
// with exit code 1.
platform::CrashAction CrashExceptionFilter(const platform::CrashInfo& crash);

// Catches crash signals from here on: the debug log reaches its file first,
// then CrashExceptionFilter reports. False when the handlers could not be installed.
[[nodiscard]] bool InstallCrashReports();

// Shows the calling thread's stack in a box.
void ShowCurrentStack();
