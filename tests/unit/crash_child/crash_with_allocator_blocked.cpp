// A program whose crash comes while every allocation waits for ever, as after
// a crash inside the allocator with its lock held: the crash report must be
// written all the same, and the program end. Its one argument is the log folder.
#include "msgbox.h"
#include "utils_debug.h"
#include "utils_win_stack.h"

#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace {

std::atomic<bool> AllocationsBlocked{false};
volatile uintptr_t ZeroAddress = 0;

__attribute__((noinline, no_sanitize("undefined"))) void crash()
{
    *reinterpret_cast<volatile int*>(ZeroAddress) = 1;
}

} // namespace

// The sanitizers bring an allocator of their own, which this one would
// bypass: there the crash comes with allocations free.
#if !defined(__SANITIZE_ADDRESS__)
namespace {

void waitForever()
{
    for (;;)
        pause();
}

} // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);

void* malloc(size_t size)
{
    if (AllocationsBlocked)
        waitForever();
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    if (AllocationsBlocked)
        waitForever();
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size)
{
    if (AllocationsBlocked)
        waitForever();
    return __libc_realloc(block, size);
}
}
#endif

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    SetLogFolder(argv[1]);
    platform::SetBoxesInteractive(0);
    if (!InstallCrashReports())
        return 3;
    AllocationsBlocked = true;
    crash();
    return 4;
}
