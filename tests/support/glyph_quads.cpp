#include "glyph_quads.h"

#include <gtest/gtest.h>

std::vector<SQuad> Quads;

void recordQuad(const irr::core::matrix4*, const irr::video::SMaterial*, const irr::video::S3DVertex* v)
{
    Quads.push_back({v[3].Pos, v[0].Pos.X - v[3].Pos.X, v[0].Color});
}

void expectNear(const irr::core::vector3df& actual, const irr::core::vector3df& expected, const std::string& what,
                irr::f32 tolerance)
{
    EXPECT_NEAR(actual.X, expected.X, tolerance) << what;
    EXPECT_NEAR(actual.Y, expected.Y, tolerance) << what;
    EXPECT_NEAR(actual.Z, expected.Z, tolerance) << what;
}
