// The C heap as the program's own calls see it (tests): every block any
// library asks of malloc and its kin is counted, at the size asked, when it
// is made and when it goes, so a test can tell the most a call held at
// once, whatever the allocator rounds, keeps or gives back to the system.
// Linked into a test program, it replaces the program's allocation calls
// (without sanitizers) or hooks the sanitizer's allocator. One meter at a
// time.
#pragma once

#include <cstdint>

class CHeapMeter {
public:
    CHeapMeter();   // starts at what the heap holds now

    // The most held at once since the start (or the last restart), beyond
    // what was held then.
    uint64_t peakBytes() const;
    void restart();

private:
    int64_t Start = 0;
};
