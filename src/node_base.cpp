// The scene's engine nodes.
#include "node_base.h"

irr::core::list<irr::scene::ISceneNode*>& GetLiveNodeList()
{
    static irr::core::list<irr::scene::ISceneNode*> nodes;
    return nodes;
}
