// The generator behind the math library's rand()/srand(): the Windows C runtime's linear
// congruential generator (RAND_MAX 32767), so seeded sequences match the original.
#pragma once

#include <cstdint>

namespace sqstd {

void SeedRand(uint32_t seed);
int32_t NextRand();  // 0..32767

}  // namespace sqstd
