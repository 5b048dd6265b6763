// The generator behind the math library's rand()/srand().
#include "sqstdrand.h"

namespace sqstd {

namespace {
uint32_t RandState = 1;  // process-wide, like C rand()
}  // namespace

void SeedRand(uint32_t seed)
{
    RandState = seed;
}

int32_t NextRand()
{
    RandState = RandState * 214013u + 2531011u;
    return int32_t((RandState >> 16) & 0x7FFF);
}

}  // namespace sqstd
