// MD5 message digest (RFC 1321) and the engine's Adler-shaped checksum.
#pragma once

#include <cstdint>

struct MD5Context {
    uint32_t state[4];     // chaining words A, B, C, D
    uint32_t count[2];     // message length in bits, low word first
    unsigned char buffer[64];
};

void MD5Init(MD5Context* context);
void MD5Update(MD5Context* context, const unsigned char* input, unsigned int length);
void MD5Final(unsigned char digest[16], MD5Context* context);
void MD5Transform(uint32_t state[4], const unsigned char block[64]);
// 32-bit words to little-endian bytes; length counts bytes and is a multiple of 4.
void MD5Encode(unsigned char* output, const uint32_t* input, unsigned int length);
void MD5Decode(uint32_t* output, const unsigned char* input, unsigned int length);

// Writes two lower-case hex digits per byte; `text` holds 2 * length + 1 characters.
// A negative length takes `bytes` as a zero-terminated text.
void MD5DigestToHex(char* text, const unsigned char* bytes, int length);

// Adler-32 arithmetic with start sums 11 and 13 instead of 1 and 0.
uint32_t ComputeChecksum(const unsigned char* bytes, int length);
