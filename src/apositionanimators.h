// Animators that move, resize and turn a node: "-Animation.Move:",
// "-Animation.Size:" and "-Animation.Rotation:".
#pragma once

#include "abaseanimators.h"

#include <irrTypes.h>
#include <vector3d.h>

// Moves a node between two points. Mode 0: from the parent's origin to the
// target; 1: arrives at the current place from an offset; 2: moves by an
// offset; 3: the target is a velocity per 100 ms and never ends; others: to
// an absolute target from the current place. Repeat 0: once; below 0: back
// and forth; above 0: again from the start.
class CMoveAnimator : public CBaseAnimator {
public:
    CMoveAnimator(irr::s32 mode, const irr::core::vector3df* target, irr::u32 timeMs, irr::s32 repeat);
    void onAttach(CNodeBasement* node) override;
    void step(CNodeBasement* node, irr::f32 delta, irr::u32 localMs) override;

    const irr::core::vector3df& getStart() const { return Start; }
    const irr::core::vector3df& getTarget() const { return Target; }

private:
    irr::core::vector3df positionAt(irr::u32 elapsed);

    irr::core::vector3df Start;
    irr::core::vector3df Target;
    irr::s32 Mode;
    irr::u32 Time;   // ms, never 0
    irr::s32 Cycle = 0;
    irr::s32 Repeat;
};

// Resizes a node linearly over a time; a zero target keeps the current size.
class CSizeDownAnimator : public CBaseAnimator {
public:
    CSizeDownAnimator(irr::f32 fromW, irr::f32 fromH, irr::s32 timeMs, irr::f32 toW, irr::f32 toH);
    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;

private:
    irr::f32 ToW, ToH;
    irr::f32 FromW, FromH;
    irr::s32 Time;   // ms
};

// Turns a sprite by a speed in radians per 100 ms, optionally up to a target
// angle where it snaps and ends.
class CRotationAnimator : public CBaseAnimator {
public:
    CRotationAnimator(irr::f32 t, irr::f32 speed);
    void setTarget(irr::f32 radians);
    void step(CNodeBasement* node, irr::f32 delta, irr::u32 localMs) override;

private:
    irr::f32 T;   // kept from the description, not used in stepping
    irr::f32 Speed;
    irr::s32 Turning;
    irr::s32 HasTarget = 0;
    irr::f32 TargetAngle = 0;
};
