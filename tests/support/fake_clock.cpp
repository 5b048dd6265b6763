// Fake clock installation.
#include "fake_clock.h"

CFakeClock::CFakeClock(uint64_t startMs) : NowMs(startMs)
{
    Previous = platform::SetClock(this);
}

CFakeClock::~CFakeClock()
{
    platform::SetClock(Previous);
}
