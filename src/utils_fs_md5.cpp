// MD5 message digest (RFC 1321) and the engine's Adler-shaped checksum.
#include "utils_fs_md5.h"

#include <cstring>

namespace {

constexpr uint32_t SineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Rotation amounts, four per round.
constexpr int Shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr unsigned char Padding[64] = {0x80};

// Adler's modulus and the longest run that cannot overflow the second sum.
constexpr uint32_t ChecksumModulus = 65521;
constexpr int ChecksumBlock = 5552;

inline uint32_t rotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void MD5Init(MD5Context* context)
{
    context->count[0] = context->count[1] = 0;
    context->state[0] = 0x67452301;
    context->state[1] = 0xefcdab89;
    context->state[2] = 0x98badcfe;
    context->state[3] = 0x10325476;
    std::memset(context->buffer, 0, sizeof(context->buffer));
}

void MD5Update(MD5Context* context, const unsigned char* input, unsigned int length)
{
    unsigned int index = (context->count[0] >> 3) & 0x3F;
    uint32_t bits = uint32_t(length) << 3;
    context->count[0] += bits;
    if (context->count[0] < bits)
        context->count[1]++;
    context->count[1] += uint32_t(length) >> 29;

    unsigned int partLength = 64 - index;
    unsigned int i = 0;
    if (length >= partLength) {
        std::memcpy(&context->buffer[index], input, partLength);
        MD5Transform(context->state, context->buffer);
        for (i = partLength; i + 63 < length; i += 64)
            MD5Transform(context->state, &input[i]);
        index = 0;
    }
    if (length > i)
        std::memcpy(&context->buffer[index], &input[i], length - i);
}

void MD5Final(unsigned char digest[16], MD5Context* context)
{
    unsigned char bits[8];
    MD5Encode(bits, context->count, 8);
    // Pad to 56 bytes mod 64, then the original length in bits.
    unsigned int index = (context->count[0] >> 3) & 0x3F;
    unsigned int padLength = index < 56 ? 56 - index : 120 - index;
    MD5Update(context, Padding, padLength);
    MD5Update(context, bits, 8);
    MD5Encode(digest, context->state, 16);
    std::memset(context, 0, sizeof(*context));
}

void MD5Transform(uint32_t state[4], const unsigned char block[64])
{
    uint32_t x[16];
    MD5Decode(x, block, 64);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        int round = i / 16;
        uint32_t f;
        int g;
        switch (round) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (b & d) | (c & ~d); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        uint32_t sum = a + f + x[g] + SineTable[i];
        a = d;
        d = c;
        c = b;
        b = b + rotateLeft(sum, Shifts[round][i % 4]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    std::memset(x, 0, sizeof(x));
}

void MD5Encode(unsigned char* output, const uint32_t* input, unsigned int length)
{
    for (unsigned int i = 0, j = 0; j < length; ++i, j += 4) {
        output[j] = (unsigned char)(input[i] & 0xFF);
        output[j + 1] = (unsigned char)((input[i] >> 8) & 0xFF);
        output[j + 2] = (unsigned char)((input[i] >> 16) & 0xFF);
        output[j + 3] = (unsigned char)((input[i] >> 24) & 0xFF);
    }
}

void MD5Decode(uint32_t* output, const unsigned char* input, unsigned int length)
{
    for (unsigned int i = 0, j = 0; j < length; ++i, j += 4)
        output[i] = uint32_t(input[j]) | (uint32_t(input[j + 1]) << 8) | (uint32_t(input[j + 2]) << 16)
                    | (uint32_t(input[j + 3]) << 24);
}

void MD5DigestToHex(char* text, const unsigned char* bytes, int length)
{
    static const char Digits[] = "0123456789abcdef";
    text[0] = 0;
    if (!bytes)
        return;
    if (length < 0)
        length = int(std::strlen(reinterpret_cast<const char*>(bytes)));
    for (int i = 0; i < length; ++i) {
        text[2 * i] = Digits[bytes[i] >> 4];
        text[2 * i + 1] = Digits[bytes[i] & 0x0F];
    }
    text[2 * length] = 0;
}

uint32_t ComputeChecksum(const unsigned char* bytes, int length)
{
    uint32_t first = 11, second = 13;
    if (!bytes)
        length = 0;
    while (length > 0) {
        int run = length < ChecksumBlock ? length : ChecksumBlock;
        length -= run;
        while (run--) {
            first += *bytes++;
            second += first;
        }
        first %= ChecksumModulus;
        second %= ChecksumModulus;
    }
    return (second << 16) | first;
}
