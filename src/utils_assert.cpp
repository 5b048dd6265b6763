// Default assertion report: standard error, then carry on.
#include "utils_assert.h"

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
    std::fprintf(stderr, "Assert!\n%s: %i\n\n%s\n", file, line, expr);
}
