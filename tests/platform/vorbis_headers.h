// Generated Vorbis headers, for the sound tests.
#pragma once

#include <cstdint>
#include <vector>

// A codebook of entries (a power of 2) codewords of one length; lookup 1
// or 2 gives it values, one bit each. Given runs, the codewords are so many
// of each length from firstLength on instead, as many entries in all.
struct SBook {
    uint32_t entries, dimensions, lookup;
    uint32_t firstLength = 0;
    std::vector<uint32_t> runs = {};
};

// Mono setup headers: the codebooks, one floor of no partitions, one residue
// whose classes come from groupBook in partitions classes, one mapping, one mode.
std::vector<uint8_t> makeSetup(const std::vector<SBook>& books, uint32_t groupBook, uint32_t partitions);

// The identification and comment headers of a mono 22.05 kHz stream, then
// the setup header.
std::vector<std::vector<uint8_t>> makeHeaders(const std::vector<uint8_t>& setup);
