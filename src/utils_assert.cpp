// Assertion report: a break under a debugger, then the assertion box, then carry on.
#include "utils_assert.h"

#include "utils_debug.h"
#include "utils_str.h"

#include "debugger.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<AssertHook> g_assertHook{nullptr};
}

AssertHook SetAssertHook(AssertHook hook)
{
    return g_assertHook.exchange(hook);
}

void AssertFailed(const char* file, int line, const char* expr)
{
    if (AssertHook hook = g_assertHook.load()) {
        hook(file, line, expr);
        return;
    }
    // An assertion inside the box's own logging must not open another box.
    static thread_local bool inAssert = false;
    if (inAssert) {
        std::fprintf(stderr, "Assert!\n%s: %i\n\n%s\n", file, line, expr);
        return;
    }
    inAssert = true;
    platform::BreakIntoDebugger();
    CString text;
    text.Format("Assert!\n%s: %i\n\n%s", file, line, expr);
    AlertBox(text, false);
    inAssert = false;
}
