// The debugger: whether one is attached, a break into it, and its output
// channel (standard error here).
#pragma once

#include <functional>

namespace platform {

// True while a tracer is attached (TracerPid in /proc/self/status).
bool IsDebuggerAttached();

// Stops in the attached debugger (SIGTRAP); does nothing without one, where
// the signal would kill the program.
void BreakIntoDebugger();

// Sends text to the debugger output as it is; no newline is added.
void DebugOutput(const char* text);

// Replaces the output channel (tests); an empty hook restores standard
// error. Returns the hook installed before.
using DebugOutputHook = std::function<void(const char* text)>;
DebugOutputHook SetDebugOutputHook(DebugOutputHook hook);

} // namespace platform
