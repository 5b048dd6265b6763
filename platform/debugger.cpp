// Debugger presence, break and output.
#include "debugger.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex HookLock;
platform::DebugOutputHook& hookSlot()
{
    static platform::DebugOutputHook hook;
    return hook;
}

} // namespace

namespace platform {

bool IsDebuggerAttached()
{
    // Read each time: a debugger can attach or leave while the program runs.
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return false;
    char line[256];
    long tracer = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return tracer != 0;
}

void BreakIntoDebugger()
{
    if (IsDebuggerAttached())
        std::raise(SIGTRAP);
}

void DebugOutput(const char* text)
{
    if (!text)
        return;
    DebugOutputHook hook;
    {
        std::lock_guard<std::mutex> lock(HookLock);
        hook = hookSlot();
    }
    if (hook) {
        hook(text);
        return;
    }
    std::fputs(text, stderr);
}

DebugOutputHook SetDebugOutputHook(DebugOutputHook hook)
{
    std::lock_guard<std::mutex> lock(HookLock);
    DebugOutputHook old = std::move(hookSlot());
    hookSlot() = std::move(hook);
    return old;
}

} // namespace platform
