// Catches the glyph quads that text drawing would hand to the 2D batch.
#pragma once

#include <SColor.h>
#include <S3DVertex.h>
#include <SMaterial.h>
#include <matrix4.h>
#include <vector3d.h>

#include <string>
#include <vector>

struct SQuad {
    irr::core::vector3df Origin;   // vertex 3: where the glyph stands
    irr::f32 Width;
    irr::video::SColor Colour;
};

// The quads caught since the last clear.
extern std::vector<SQuad> Quads;

// A FontQuadSink that appends to Quads.
void recordQuad(const irr::core::matrix4*, const irr::video::SMaterial*, const irr::video::S3DVertex* v);

// Each coordinate within the tolerance of the expected one.
void expectNear(const irr::core::vector3df& actual, const irr::core::vector3df& expected, const std::string& what,
                irr::f32 tolerance = 1e-5f);
