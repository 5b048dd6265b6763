// The game's own animators.
#pragma once

#include "abaseanimators.h"

// Keeps its node stretched between two other nodes, found by ID on every
// update: at their midpoint, turned along the line between them, as wide and
// high as half their distance. Hidden while either end is hidden; when an
// end is gone the node is deleted and the animator stops.
class CConnectSpritesAnimator : public CBaseAnimator {
public:
    CConnectSpritesAnimator(irr::s32 fromId, irr::s32 toId);

    void animate(CNodeBasement* node, irr::u32 localMs) override;

    irr::s32 getFromId() const { return FromId; }
    irr::s32 getToId() const { return ToId; }

private:
    irr::s32 FromId;
    irr::s32 ToId;
};
