// Creation shortcuts: the empty group node, stretched sprites and the
// nine-piece frame sprites.
#pragma once

#include "utils_str.h"

#include <irrTypes.h>
#include <vector3d.h>

namespace irr { namespace scene { class ISceneNode; } }

class CNodeBasement;

// An invisible node (alpha 0, hidden once) that groups and anchors others;
// made from the stock empty image. Borrowed result, null when it cannot be made.
CNodeBasement* createEmptySpriteNode(irr::scene::ISceneNode* parent, irr::s32 id, const irr::core::vector3df& position);

// The named sprite stretched from one point to the other, thickness wide.
CNodeBasement* createStretchedSprite(const char* name, const irr::core::vector3df& from,
                                     const irr::core::vector3df& to, irr::f32 thickness, irr::f32 alpha,
                                     irr::scene::ISceneNode* parent, bool centred);

// A w by h frame of prefix + "_corner.spr", "_top.spr" and "_edge.spr" pieces
// around a tiled background, under an empty root at the position (the
// scene's root "pole" when no parent). Returns the frame's root.
CNodeBasement* createFrameSprite(const irr::core::vector3df& position, irr::f32 width, irr::f32 height,
                                 const CString& prefix, const char* background, irr::f32 border,
                                 irr::scene::ISceneNode* parent = nullptr, CNodeBasement** backgroundOut = nullptr);
// The frame with the engine's stock canvas pieces.
CNodeBasement* createCanvasSprite(const irr::core::vector3df& position, irr::f32 width, irr::f32 height,
                                  irr::scene::ISceneNode* parent = nullptr);
