// The "[Sprite]" parts and "-MakeClones:" copies a sprite description asks for.
#pragma once

#include "node_factory.h"

#include <dimension2d.h>
#include <irrTypes.h>
#include <vector3d.h>

namespace irr { namespace scene { class ISceneNode; } }

class CNodeBasement;

// After sprite creation made node from the description: builds its parts (as
// children of node at the origin scaled by the working size, or siblings under
// parent at the call's position and scale), then its clones, each a whole
// sprite of the same name with the integer attribute "__CloneId" 1..N. name,
// scales, position, parent and createInfo are those of the call that made
// node (parent as resolved); workingSize is the call's scaled size before the
// texture's size rules.
void makeSpritePartsAndClones(const CNodeFactory& description, CNodeBasement* node, const char* name,
                              irr::f32 scaleX, irr::f32 scaleY, const irr::core::vector3df& position,
                              const irr::core::dimension2df& workingSize, irr::scene::ISceneNode* parent,
                              const SSpriteCreateInfo* createInfo);
