// A clock that moves only when told (tests); installed for its lifetime.
#pragma once

#include "clock.h"

class CFakeClock : public platform::IClock {
public:
    explicit CFakeClock(uint64_t startMs = 1000);
    ~CFakeClock() override;
    CFakeClock(const CFakeClock&) = delete;
    CFakeClock& operator=(const CFakeClock&) = delete;

    void advance(uint32_t ms) { NowMs += ms; }

    uint64_t nowMs() override { return NowMs; }
    void sleepMs(uint32_t ms) override { NowMs += ms; SleptMs += ms; }   // sleeping passes time at once

    uint64_t NowMs;
    uint64_t SleptMs = 0;

private:
    platform::IClock* Previous;
};
