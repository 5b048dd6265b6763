// Thread ids and the record of the main thread, which the engine's
// single-threaded parts check on entry.
#pragma once

#include <cstdint>

namespace platform {

// The kernel's id of the calling thread (gettid), cached per thread.
uint32_t CurrentThreadId();

// Records the calling thread as the main thread.
void RecordMainThread();

// Forgets the record: every thread passes IsMainThread again.
void ForgetMainThread();

// The recorded id, or 0 when none is recorded.
uint32_t MainThreadId();

// True on the recorded main thread, and on every thread while none is
// recorded. Cheap: no system call after a thread's first use.
bool IsMainThread();

} // namespace platform
