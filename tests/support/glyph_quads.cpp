#include "glyph_quads.h"

std::vector<SQuad> Quads;

void recordQuad(const irr::core::matrix4*, const irr::video::SMaterial*, const irr::video::S3DVertex* v)
{
    Quads.push_back({v[3].Pos, v[0].Pos.X - v[3].Pos.X, v[0].Color});
}
