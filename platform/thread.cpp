// Thread ids and the main-thread record.
#include "thread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace {

// 0 is never a thread id, so it marks "not read yet" and "not recorded".
thread_local uint32_t CachedThreadId = 0;
std::atomic<uint32_t> MainId{0};

uint32_t readThreadId()
{
    return uint32_t(syscall(SYS_gettid));
}

// A forked child runs on a new thread id. Its cached id would be the
// parent's; refresh it, and keep the record when the fork came from the
// main thread.
void afterForkInChild()
{
    bool wasMain = CachedThreadId != 0 && CachedThreadId == MainId.load();
    CachedThreadId = readThreadId();
    if (wasMain)
        MainId.store(CachedThreadId);
}

const bool ForkHandlerInstalled = [] {
    pthread_atfork(nullptr, nullptr, afterForkInChild);
    return true;
}();

} // namespace

namespace platform {

uint32_t CurrentThreadId()
{
    if (CachedThreadId == 0)
        CachedThreadId = readThreadId();
    return CachedThreadId;
}

void RecordMainThread()
{
    MainId.store(CurrentThreadId());
}

void ForgetMainThread()
{
    MainId.store(0);
}

uint32_t MainThreadId()
{
    return MainId.load(std::memory_order_relaxed);
}

bool IsMainThread()
{
    uint32_t mainId = MainId.load(std::memory_order_relaxed);
    return mainId == 0 || mainId == CurrentThreadId();
}

} // namespace platform
