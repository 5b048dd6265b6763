// The test program's own gettimeofday: the executable's definition comes
// before the C library's for every shared library, Irrlicht's among them.
#include "wall_clock.h"

#include <sys/time.h>
#include <time.h>

#include <atomic>
#include <cstring>

namespace {

std::atomic<bool> Held{false};
std::atomic<int64_t> HeldUs{0};

int64_t realMicroseconds()
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

} // namespace

extern "C" int gettimeofday(timeval* tv, void* tz) noexcept
{
    if (tz)
        std::memset(tz, 0, sizeof(struct timezone));   // no zone, as the C library reports today
    const int64_t us = Held.load() ? HeldUs.load() : realMicroseconds();
    tv->tv_sec = time_t(us / 1000000);
    tv->tv_usec = suseconds_t(us % 1000000);
    return 0;
}

CSteppedWallClock::CSteppedWallClock()
{
    HeldUs = realMicroseconds();
    Held = true;
}

CSteppedWallClock::~CSteppedWallClock()
{
    Held = false;
}

void CSteppedWallClock::step(int64_t ms)
{
    HeldUs += ms * 1000;
}
