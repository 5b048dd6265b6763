// The system clock and the switch to an injected one.
#include "clock.h"

#include <sched.h>
#include <time.h>

#include <atomic>
#include <cerrno>

namespace {

class CSystemClock final : public platform::IClock {
public:
    uint64_t nowMs() override
    {
        timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
    }

    void sleepMs(uint32_t ms) override
    {
        if (ms == 0) {
            sched_yield();
            return;
        }
        timespec left = {time_t(ms / 1000u), long(ms % 1000u) * 1000000L};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
};

CSystemClock SystemClock;
std::atomic<platform::IClock*> CurrentClock{nullptr};

platform::IClock& activeClock()
{
    platform::IClock* injected = CurrentClock.load(std::memory_order_acquire);
    return injected ? *injected : SystemClock;
}

} // namespace

namespace platform {

uint32_t GetTickCount()
{
    uint32_t ticks = uint32_t(activeClock().nowMs());
    return ticks ? ticks : 1;
}

void Sleep(uint32_t ms)
{
    activeClock().sleepMs(ms);
}

IClock* SetClock(IClock* clock)
{
    return CurrentClock.exchange(clock, std::memory_order_acq_rel);
}

} // namespace platform
