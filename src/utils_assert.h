// The one assertion seam of the engine: a failed check is reported and the program goes on.
#pragma once

// Reports a failed check. The default reports to standard error; the failure-reporting
// code shows the assertion box here. Returns to the caller in every case.
void AssertFailed(const char* file, int line, const char* expr);

// Tests install a hook to count or silence assertions; returns the previous hook.
// With a hook installed, AssertFailed only calls the hook.
using AssertHook = void (*)(const char* file, int line, const char* expr);
AssertHook SetAssertHook(AssertHook hook);

#define ENGINE_ASSERT(cond) ((cond) ? (void)0 : AssertFailed(__FILE__, __LINE__, #cond))
