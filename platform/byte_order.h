// Unsigned integers read from file headers in either byte order.
#pragma once

#include <cstdint>

inline uint32_t ReadLe16(const uint8_t* b) { return uint32_t(b[1]) << 8 | b[0]; }
inline uint32_t ReadLe32(const uint8_t* b) { return ReadLe16(b + 2) << 16 | ReadLe16(b); }
inline uint32_t ReadBe16(const uint8_t* b) { return uint32_t(b[0]) << 8 | b[1]; }
inline uint32_t ReadBe32(const uint8_t* b) { return ReadBe16(b) << 16 | ReadBe16(b + 2); }
