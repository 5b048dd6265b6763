// Script print capture and the fatal script error report.
#include "module_scripting_report.h"

#include "module_scripting_binding.h"
#include "utils_debug.h"

#include "sqstdaux.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

namespace {

// A chatty script would otherwise grow the buffer without end until the next
// report; the latest prints are what a report needs.
constexpr int MaxPrintBuffer = 64 * 1024;
const char* const CutMark = "...\n";

CString& printBuffer()
{
    static CString buffer;
    return buffer;
}

// Failures reported since the VM was opened or its code reloaded: the message
// and the start of the code, enough to tell one failing call from another.
constexpr int ReportKeyCodeLength = 1000;
std::unordered_set<std::string>& reportedErrors()
{
    static std::unordered_set<std::string> reported;
    return reported;
}

CString* g_printTarget = nullptr;        // null: the print buffer
const CString* g_debugHint = nullptr;    // borrowed from the host

CString& printTarget() { return g_printTarget ? *g_printTarget : printBuffer(); }

bool isTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Trims from the end only, so a print costs what it appends.
void trimEnd(CString& text)
{
    int length = text.GetLength();
    while (length > 0 && isTrailingBlank(text.GetAt(length - 1)))
        --length;
    if (length < text.GetLength()) {
        text.GetBuffer();
        text.ReleaseBuffer(length);
    }
}

void keepLatest(CString& buffer)
{
    if (buffer.GetLength() <= MaxPrintBuffer)
        return;
    int cut = buffer.GetLength() - MaxPrintBuffer;
    int lineStart = buffer.Find('\n', cut);
    cut = lineStart >= 0 ? lineStart + 1 : cut;
    buffer = CutMark + buffer.Mid(cut);
}

}  // namespace

void ScriptPrintFunc(HSQUIRRELVM, const SQChar* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatScriptText(format, args);
    va_end(args);
    CString& target = printTarget();
    if (!text.empty())
        target.ConcatInPlace(int(text.size()), text.data());
    trimEnd(target);
    target += '\n';
    if (&target == &printBuffer())
        keepLatest(target);
}

CString& GetScriptPrintBuffer()
{
    return printBuffer();
}

CString GetScriptCallStackText()
{
    HSQUIRRELVM vm = SquirrelVM::GetVMPtr();
    if (!vm)
        return CString();
    CString stack;
    CString* previous = g_printTarget;
    g_printTarget = &stack;
    sqstd_printcallstack(vm);
    g_printTarget = previous;
    return stack;
}

void SetScriptDebugHintSource(const CString* hint)
{
    g_debugHint = hint;
}

void ShowScriptAssert(const char* sourceName, int line, const char* text)
{
    AlertBox(Format("Assert!\n%s: %i\n\n%s", sourceName, line, text), false);
}

void ShowScriptError(const char* message, const char* code, const char* origin)
{
    CString text(message ? message : "");
    CString& prints = printBuffer();
    // A failing call made by many nodes, or every frame, is one fault: one box,
    // not a box (and a synced alert file) for each.
    std::string key(text, size_t(text.GetLength()));
    key += '\n';
    key.append(code ? code : "", code ? std::min(std::strlen(code), size_t(ReportKeyCodeLength)) : 0);
    if (!reportedErrors().insert(std::move(key)).second) {
        prints = CutMark;   // the prints were this failure's
        return;
    }
    if (origin)
        text += origin;
    prints += GetScriptCallStackText();
    if (!prints.IsEmpty()) {
        text += "\n\nLatest prints:\n";
        text += prints;
        prints = CutMark;
        if (g_debugHint && !g_debugHint->IsEmpty()) {
            text += "\n\nScript step description:\n";
            text += *g_debugHint;
        }
        text.Replace("\r", "");
    }
    FatalError(text, true);
}

void ForgetReportedScriptErrors()
{
    reportedErrors().clear();
}
