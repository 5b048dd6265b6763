// Recording stand-ins for the engine's tests.
#include "fake_engine_client.h"

CYieldingClock::CYieldingClock(uint64_t startMs) : NowMs(startMs)
{
    Previous = platform::SetClock(this);
}

CYieldingClock::~CYieldingClock()
{
    platform::SetClock(Previous);
}
