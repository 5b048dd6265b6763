// The game's own animators.
#include "stuff/animators.h"

#include "node_base.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "utils_math_misc.h"

#include <ISceneNode.h>

using namespace irr;

namespace {

constexpr f32 ConnectorAngleOffsetDeg = -45.0f;

// Only IDs of the ID table can name an end. Asking the table for one of its
// two forbidden IDs would stop the program, so anything outside it is
// simply not there.
scene::ISceneNode* findEnd(s32 id)
{
    if (id <= 0 || id >= IdCacheSize)
        return nullptr;
    return getNodeById(id, nullptr);
}

} // namespace

CConnectSpritesAnimator::CConnectSpritesAnimator(s32 fromId, s32 toId) : FromId(fromId), ToId(toId)
{
}

void CConnectSpritesAnimator::animate(CNodeBasement* node, u32 localMs)
{
    // Looked up afresh each time: the ends are not held, and either may be gone.
    scene::ISceneNode* from = findEnd(FromId);
    scene::ISceneNode* to = findEnd(ToId);
    if (!from || !to) {
        deleteNode(node);
        removeThisAnimator();
        return;
    }
    if (!from->isVisible() || !to->isVisible()) {
        node->setHideCount(1);
        return;
    }
    node->setHideCount(0);
    const core::vector3df start = from->getPosition();
    const core::vector3df d = to->getPosition() - start;
    if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node))
        sprite->setAngle(DirectionToRotation(d, ConnectorAngleOffsetDeg));
    const f32 half = f32(d.getLength()) * 0.5f;
    node->setSize(core::dimension2df(half, half));
    node->setPosition(start + d / 2.0f);
}
