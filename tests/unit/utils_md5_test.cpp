#include "utils_fs_md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string md5Hex(const std::string& data)
{
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const unsigned char*>(data.data()), unsigned(data.size()));
    unsigned char digest[16];
    MD5Final(digest, &context);
    char text[33];
    MD5DigestToHex(text, digest, 16);
    return text;
}

uint32_t checksum(const std::string& data)
{
    return ComputeChecksum(reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
}

// Adler-32 with the engine's start sums, one byte at a time with no deferred reduction.
uint32_t referenceChecksum(const std::vector<unsigned char>& data)
{
    uint64_t first = 11, second = 13;
    for (unsigned char c : data) {
        first = (first + c) % 65521;
        second = (second + first) % 65521;
    }
    return uint32_t((second << 16) | first);
}

}  // namespace

TEST(Md5, Rfc1321TestSuite)
{
    const struct { const char* input; const char* digest; } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(md5Hex(c.input), c.digest) << '"' << c.input << '"';
}

TEST(Md5, PiecewiseUpdateEqualsOneUpdate)
{
    // Lengths around the 56- and 64-byte padding boundaries, fed in uneven pieces.
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::string data(length, '\0');
        for (size_t i = 0; i < length; ++i)
            data[i] = char(i * 7 + 3);
        MD5Context context;
        MD5Init(&context);
        size_t pos = 0, step = 1;
        while (pos < length) {
            size_t n = std::min(step, length - pos);
            MD5Update(&context, reinterpret_cast<const unsigned char*>(data.data() + pos), unsigned(n));
            pos += n;
            step = step * 3 % 71 + 1;
        }
        unsigned char digest[16];
        MD5Final(digest, &context);
        char text[33];
        MD5DigestToHex(text, digest, 16);
        EXPECT_EQ(text, md5Hex(data)) << length;
    }
}

TEST(Md5, DigestToHex)
{
    const unsigned char bytes[] = {0x00, 0x0f, 0xa0, 0xff};
    char text[9] = "garbage";
    MD5DigestToHex(text, bytes, 4);
    EXPECT_STREQ(text, "000fa0ff");
    MD5DigestToHex(text, bytes, 0);
    EXPECT_STREQ(text, "");
    std::strcpy(text, "garbage");
    MD5DigestToHex(text, nullptr, 4);
    EXPECT_STREQ(text, "");
    MD5DigestToHex(text, reinterpret_cast<const unsigned char*>("AB"), -1);
    EXPECT_STREQ(text, "4142");
}

TEST(Checksum, KnownValues)
{
    EXPECT_EQ(checksum(""), 851979u);
    EXPECT_EQ(checksum("abc"), 41419057u);
    EXPECT_EQ(ComputeChecksum(nullptr, 5), 851979u);
    EXPECT_EQ(ComputeChecksum(reinterpret_cast<const unsigned char*>("abc"), -3), 851979u);
}

TEST(Checksum, ReducesAtBlockBoundary)
{
    for (size_t length : {5551u, 5552u, 5553u, 11104u, 11105u, 100000u}) {
        std::vector<unsigned char> data(length, 0xFF);
        uint32_t sum = ComputeChecksum(data.data(), int(length));
        EXPECT_EQ(sum, referenceChecksum(data)) << length;
        EXPECT_LT(sum & 0xFFFF, 65521u);
        EXPECT_LT(sum >> 16, 65521u);
    }
}
