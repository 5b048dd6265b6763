// Particle-group budgets and pixel tests against texture alpha.
#pragma once

#include <irrTypes.h>
#include <vector2d.h>

namespace irr {
namespace video { class ITexture; }
namespace scene { class ISceneNode; }
}

struct SParticleGroupBudget {
    irr::s32 FullLimit = 99999;   // every spawn allowed while the live count is at most this
    irr::s32 HalfLimit = 0;       // about half allowed while at most this
    irr::s32 LiveCount = 0;
};

// Declares the groups of the "[ParticleGroup]" sections of the text; 0 when
// it has none. A section without "-Name:" is a fatal alert.
int loadParticleGroups(const char* text);
// Live count + 1 / - 1 (never below 0); empty names do nothing. A group never
// declared gets the default budget.
int addParticleGroupUse(const char* name);
int releaseParticleGroupUse(const char* name);
bool canSpawnParticleGroup(const char* name);
// The budget of a group, or null when it was never named.
const SParticleGroupBudget* findParticleGroup(const char* name);
// At exit, and for tests.
void clearParticleGroups();

// Pixel copies of textures, A8R8G8B8 row after row at the texture's size;
// null for textures in another format. Made once per texture.
const irr::u32* getTexturePixels(irr::video::ITexture* texture);
void clearTexturePixelCache();
// Drops the copy of one texture (before the driver removes it).
void forgetTexturePixels(irr::video::ITexture* texture);
int getTexturePixelCacheSize();

// The colour of the node's picture at (u, v), both in 0..1 with v from the
// bottom; 0 outside. Sprites read their current frame cell.
irr::u32 getNodePixelAt(irr::scene::ISceneNode* node, irr::f32 u, irr::f32 v);
// True when no sample of the grid around the point has alpha above 127.
bool isTransparentAround(irr::scene::ISceneNode* node, const irr::core::vector2df& point, irr::f32 radius,
                         irr::f32 step);
