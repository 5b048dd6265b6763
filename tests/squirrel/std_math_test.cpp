// The generator behind rand()/srand(): the Windows runtime's sequence, so seeded scripts behave alike.
#include "../../squirrel/sqstdlib/sqstdrand.h"

#include <gtest/gtest.h>

namespace {

TEST(StdMath, RandReproducesTheWindowsRuntimeSequence)
{
    const struct {
        uint32_t seed;
        int32_t first[5];
    } cases[] = {
        {1, {41, 18467, 6334, 26500, 19169}},
        {0, {38, 7719, 21238, 2437, 8855}},
        {42, {175, 400, 17869, 30056, 16083}},
    };
    for (const auto& c : cases) {
        sqstd::SeedRand(c.seed);
        for (int32_t expected : c.first) EXPECT_EQ(sqstd::NextRand(), expected) << "seed " << c.seed;
    }
}

TEST(StdMath, RandStaysInRange)
{
    sqstd::SeedRand(0xDEADBEEFu);
    for (int i = 0; i < 100000; ++i) {
        int32_t r = sqstd::NextRand();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

}  // namespace
