// Ogg Vorbis encoding of 16-bit samples: the sample data's music and the
// sound tests' files.
#pragma once

#include <cstdint>
#include <vector>

// Interleaved samples of so many channels at a VBR quality, as one stream
// of that serial (fixed, so the same samples give the same bytes), with an
// ENCODER comment when one is given. Empty when the encoder refuses the
// layout.
std::vector<uint8_t> EncodeVorbis(const std::vector<int16_t>& samples, int channels, long rate, float quality,
                                  int serial, const char* encoder);
