// The scene's engine nodes: the list of every engine node alive.
#pragma once

#include <irrList.h>

namespace irr { namespace scene { class ISceneNode; } }

// Every engine node from its construction to its destruction, in creation
// order (borrowed pointers). The exit sequence names those still in it.
irr::core::list<irr::scene::ISceneNode*>& GetLiveNodeList();
