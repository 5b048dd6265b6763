// The millisecond tick count and sleeping, with a replaceable clock for tests.
#pragma once

#include <cstdint>

namespace platform {

// A source of time. The system clock reads CLOCK_MONOTONIC.
class IClock {
public:
    virtual ~IClock() = default;
    virtual uint64_t nowMs() = 0;        // ms since an arbitrary start, never going back
    virtual void sleepMs(uint32_t ms) = 0;
};

// Milliseconds of the current clock cut to 32 bits; wraps after ~49.7 days,
// so compare ticks by unsigned difference. Never 0: callers use 0 as "unset".
uint32_t GetTickCount();

// Sleeps on the current clock; 0 only yields the processor.
void Sleep(uint32_t ms);

// Installs a clock (borrowed; must outlive its use); null restores the
// system clock. Returns the clock installed before (null for the system one).
IClock* SetClock(IClock* clock);

} // namespace platform
