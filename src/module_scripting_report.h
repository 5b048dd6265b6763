// What scripts print, and the report every script failure ends in.
#pragma once

#include "utils_str.h"

#include "squirrel.h"

// The VM's print function. Formats without a length limit, appends to the
// print target (the print buffer), trims trailing blanks, tabs and line breaks
// and ends the target with one line feed: each print adds one line.
void ScriptPrintFunc(HSQUIRRELVM vm, const SQChar* format, ...) __attribute__((format(printf, 2, 3)));

// Everything printed since the last error report. Only its last part is kept
// (about 64 KB); a cut shows as "...\n" in front.
CString& GetScriptPrintBuffer();

// The VM's call stack and locals as text (empty while no VM is open).
CString GetScriptCallStackText();

// The text shown under "Script step description:" in reports: the host's
// debug hint (borrowed; null for none).
void SetScriptDebugHintSource(const CString* hint);

// The scripting code's assertion box, "Assert!\n<source>: <line>\n\n<text>",
// with the source named the engine's way ("src\\module_scripting_core"); OK
// only, the caller goes on.
void ShowScriptAssert(const char* sourceName, int line, const char* text);

// The fatal script report: the message, then "Latest prints:" with the print
// buffer and the call stack, and the debug hint when there is one. The user
// may continue (the call returns) or stop (exit code 1). The code is not shown.
// The same message for the same code is reported once (its prints are
// dropped) until ForgetReportedScriptErrors, whatever the origin: a text
// (who asked for the code) shown after the message.
void ShowScriptError(const char* message, const char* code, const char* origin = nullptr);

// A new VM or reloaded code may fail anew: each failure is reported again.
void ForgetReportedScriptErrors();
