// The wall clock as Irrlicht's Linux timer reads it (gettimeofday), held still
// and stepped by a test, as a user setting the clock or a time sync would.
#pragma once

#include <cstdint>

class CSteppedWallClock {
public:
    CSteppedWallClock();    // holds the wall clock at the current real time
    ~CSteppedWallClock();   // lets it run again
    CSteppedWallClock(const CSteppedWallClock&) = delete;
    CSteppedWallClock& operator=(const CSteppedWallClock&) = delete;

    // Moves the held time; negative steps go back.
    void step(int64_t ms);
};
