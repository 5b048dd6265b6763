// Move, size and rotation animators.
#include "apositionanimators.h"

#include "node_base.h"
#include "node_sprite.h"
#include "utils_debug.h"

#include <cmath>

using namespace irr;

// --- CMoveAnimator ---

CMoveAnimator::CMoveAnimator(s32 mode, const core::vector3df* target, u32 timeMs, s32 repeat)
    : Target(target ? *target : core::vector3df()), Mode(mode), Time(timeMs != 0 ? timeMs : 1), Repeat(repeat)
{
}

void CMoveAnimator::onAttach(CNodeBasement* node)
{
    if (!node)
        return;
    if (Mode != 0) {
        const core::vector3df d = Target - Start;
        const core::vector3df here = node->getPosition();
        Start = here;
        if (Mode == 1) {
            Target = here;
            Start = here + d;
        } else if (Mode == 2) {
            Target = here + d;
        }
    }
    if (Mode != 3)
        node->setPosition(positionAt(0));
}

core::vector3df CMoveAnimator::positionAt(u32 elapsed)
{
    if (Repeat < 0) {
        const s32 leg = s32(elapsed / Time);
        // Swap once per odd number of legs passed, so a long frame skipping
        // a whole leg keeps the direction right.
        const bool odd = ((leg - Cycle) & 1) != 0;
        Cycle = leg;
        if (odd) {
            core::vector3df swap = Start;
            Start = Target;
            Target = swap;
        }
    }
    const f32 f = f32(elapsed % Time) / f32(Time);
    return Start * (1.0f - f) + Target * f;
}

void CMoveAnimator::step(CNodeBasement* node, f32 delta, u32 localMs)
{
    const u32 elapsed = localMs - getStartTime();
    if (Mode == 3) {
        node->setPosition(node->getPosition() + Target * delta);
        return;
    }
    if (Repeat == 0 && elapsed >= Time) {
        node->setPosition(Target);
        removeThisAnimator();
        return;
    }
    node->setPosition(positionAt(elapsed));
}

// --- CSizeDownAnimator ---

CSizeDownAnimator::CSizeDownAnimator(f32 fromW, f32 fromH, s32 timeMs, f32 toW, f32 toH)
    : ToW(toW), ToH(toH), FromW(fromW), FromH(fromH), Time(timeMs)
{
}

void CSizeDownAnimator::onAttach(CNodeBasement* node)
{
    if (node && ToW < 0.001f) {
        ToW = node->getSize().Width;
        ToH = node->getSize().Height;
    }
}

void CSizeDownAnimator::animate(CNodeBasement* node, u32 localMs)
{
    ENGINE_PROFILE("ANIM-SIZEDOWN");
    const u32 start = getStartTime();
    // A time of 0 has no ramp: the end size at once instead of a division by zero.
    if (Time <= 0 || localMs > start + u32(Time)) {
        node->setSize(core::dimension2df(ToW, ToH));
        removeThisAnimator();
        return;
    }
    const f32 k = 1.0f - f32(localMs - start) / f32(Time);
    node->setSize(core::dimension2df((FromW - ToW) * k + ToW, (FromH - ToH) * k + ToH));
}

// --- CRotationAnimator ---

CRotationAnimator::CRotationAnimator(f32 t, f32 speed)
    : T(t), Speed(speed), Turning(std::fabs(speed) > 0.001f ? 1 : 0)
{
}

void CRotationAnimator::setTarget(f32 radians)
{
    TargetAngle = radians;
    HasTarget = 1;
}

void CRotationAnimator::step(CNodeBasement* node, f32 delta, u32)
{
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    if (!sprite)
        return;
    f32 a = sprite->getAngle();
    if (Turning) {
        a += Speed * delta;
        sprite->setAngle(a);
    }
    if (!HasTarget)
        return;
    if ((Speed > 0 && TargetAngle <= a) || (Speed < 0 && TargetAngle >= a)) {
        sprite->setAngle(TargetAngle);
        removeThisAnimator();
    }
}
