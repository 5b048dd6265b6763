// The alpha, fade and atlas-frame animators.
#include "afadeanimators.h"

#include "node_base.h"
#include "node_factory.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "utils_debug.h"

using namespace irr;

namespace {

f32 clampUnit(f64 value)
{
    return value < 0.0 ? 0.0f : (value > 1.0 ? 1.0f : f32(value));
}

} // namespace

// --- CAlphaAnimator ---

CAlphaAnimator::CAlphaAnimator(s32 timeMs, f32 from, f32 to, s32 delayMs)
    : Delay(delayMs), Time(timeMs), From(from), To(to)
{
}

f32 CAlphaAnimator::readValue(CNodeBasement* node) const { return node->getAlpha(); }
void CAlphaAnimator::writeValue(CNodeBasement* node, f32 value) const { node->setAlpha(value); }
void CAlphaAnimator::onEnd(CNodeBasement* node) { node->setAlpha(To); }

void CAlphaAnimator::onAttach(CNodeBasement* node)
{
    CBaseAnimator* namesake = node->findAnimatorByName(UniqueName, false);
    setName(UniqueName);
    if (namesake)
        removeAnimator(namesake);
    if (To < 0) {
        To = readValue(node);
        From = 0;
    }
    if (From < 0)
        From = readValue(node);
    else
        writeValue(node, From);
}

void CAlphaAnimator::animate(CNodeBasement* node, u32 localMs)
{
    ENGINE_PROFILE("ALPHA");
    const s64 elapsed = s64(s32(localMs - getStartTime()));
    if (elapsed < Delay)
        return;
    const s64 fading = elapsed - Delay;
    const s64 span = s64(Time) - Delay;
    // Without a ramp (time not above the delay) the end value comes at once.
    if (span <= 0 || fading > span) {
        onEnd(node);
        removeThisAnimator();
        return;
    }
    writeValue(node, clampUnit(f64(From) - f64(fading) * (f64(From) - f64(To)) / f64(span)));
}

// --- CFadeAnimator ---

CFadeAnimator::CFadeAnimator(s32 timeMs, f32 from, f32 to, s32 delayMs) : CAlphaAnimator(timeMs, from, to, delayMs)
{
}

f32 CFadeAnimator::readValue(CNodeBasement* node) const { return node->getInheritedAlpha(); }
void CFadeAnimator::writeValue(CNodeBasement* node, f32 value) const { node->setInheritedAlpha(value); }
void CFadeAnimator::onEnd(CNodeBasement* node) {}   // onFinish sets the end value

void CFadeAnimator::onFinish()
{
    if (Node && To >= 0)
        Node->setInheritedAlpha(To);
}

// --- CAtlasFrameAnimator ---

CAtlasFrameAnimator::CAtlasFrameAnimator(u32 cycleMs, f32 columns, f32 rows, CFrameSequence* sequence, u32 startFrame)
    : CycleTime(cycleMs), StartFrame(startFrame), CurrentFrame(startFrame), Columns(columns), Rows(rows),
      Sequence(sequence)
{
}

CAtlasFrameAnimator::~CAtlasFrameAnimator()
{
    if (Sequence)
        Sequence->drop();
}

void CAtlasFrameAnimator::onAttach(CNodeBasement* node)
{
    CBaseAnimator* namesake = node->findAnimatorByName(UniqueName, false);
    if (namesake)
        removeAnimator(namesake);
    setName(UniqueName);
    showFrame(node);
}

void CAtlasFrameAnimator::animate(CNodeBasement* node, u32 localMs)
{
    ENGINE_PROFILE("ATLAS");
    const u32 count = Sequence ? Sequence->size() : 0;
    if (count == 0 || CycleTime == 0)
        return;   // nothing to step through: the start frame stays
    // Asked at every step: a timer set after attachment moves the zero point.
    const u64 elapsed = u64(u32(localMs - getStartTime()));
    CurrentFrame = u32((u64(StartFrame) + u64(count) * elapsed / CycleTime) % count);
    showFrame(node);
}

void CAtlasFrameAnimator::onFinish()
{
    if (Sequence)
        Sequence->drop();
    Sequence = nullptr;
}

void CAtlasFrameAnimator::showFrame(CNodeBasement* node) const
{
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    if (!sprite || !Sequence || CurrentFrame >= Sequence->size())
        return;
    const SFrameCell& cell = (*Sequence)[CurrentFrame];
    sprite->setFrame(f32(cell.Column), f32(cell.Row), Columns, Rows);
}

// --- creation ---

CAlphaAnimator* createAlphaAnimator(CNodeBasement* node, s32 timeMs, f32 from, f32 to, s32 delayMs)
{
    return static_cast<CAlphaAnimator*>(attachAnimator(node, new CAlphaAnimator(timeMs, from, to, delayMs)));
}

CFadeAnimator* createFadeAnimator(CNodeBasement* node, s32 timeMs, f32 from, f32 to, s32 delayMs)
{
    return static_cast<CFadeAnimator*>(attachAnimator(node, new CFadeAnimator(timeMs, from, to, delayMs)));
}

CAtlasFrameAnimator* createAtlasFrameAnimator(CNodeBasement* node, u32 cycleMs, f32 columns, f32 rows,
                                              CFrameSequence* sequence, u32 startFrame)
{
    if (!sequence || sequence->size() == 0 || cycleMs == 0) {
        DebugLog(Format("Frame animation without frames or cycle time (%u frames, %u ms) is not made",
                        sequence ? sequence->size() : 0u, cycleMs));
        if (sequence)
            sequence->drop();
        return nullptr;
    }
    return static_cast<CAtlasFrameAnimator*>(
        attachAnimator(node, new CAtlasFrameAnimator(cycleMs, columns, rows, sequence, startFrame)));
}

CAtlasFrameAnimator* createAtlasFrameAnimator(CNodeBasement* node, u32 cycleMs, const core::dimension2df& grid,
                                              CFrameSequence* sequence, u32 startFrame)
{
    return createAtlasFrameAnimator(node, cycleMs, grid.Width, grid.Height, sequence, startFrame);
}
