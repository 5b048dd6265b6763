// Reading the OpenGL back buffer: the frame just drawn, before the swap.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// The current context's back buffer as 8-bit RGBA rows, top row first.
// False (and nothing read) for a size that is not positive or on a GL error.
bool ReadBackBufferRGBA(int width, int height, std::vector<uint8_t>& pixels);

}   // namespace platform
