// The fade animators of a node's own alpha and of its subtree's inherited
// alpha, and the atlas-frame animator that steps a sprite through cells.
#pragma once

#include "abaseanimators.h"

#include <dimension2d.h>
#include <irrTypes.h>

class CFrameSequence;

// Fades the node's own alpha from one value to another after a delay.
// Negative from: the current alpha; negative to: fade in to the current alpha.
class CAlphaAnimator : public CBaseAnimator {
public:
    static constexpr const char* UniqueName = "ALPH01";

    CAlphaAnimator(irr::s32 timeMs, irr::f32 from, irr::f32 to, irr::s32 delayMs);
    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;

protected:
    virtual irr::f32 readValue(CNodeBasement* node) const;
    virtual void writeValue(CNodeBasement* node, irr::f32 value) const;
    virtual void onEnd(CNodeBasement* node);

    irr::s32 Delay;
    irr::s32 Time;   // delay included
    irr::f32 From;
    irr::f32 To;
};

// The same on the inherited alpha of the node and all its descendants; ends
// at the end value whenever it finishes.
class CFadeAnimator : public CAlphaAnimator {
public:
    CFadeAnimator(irr::s32 timeMs, irr::f32 from, irr::f32 to, irr::s32 delayMs);
    void onFinish() override;

protected:
    irr::f32 readValue(CNodeBasement* node) const override;
    void writeValue(CNodeBasement* node, irr::f32 value) const override;
    void onEnd(CNodeBasement* node) override;
};

// Loops a sprite through a frame sequence, one pass per cycle time.
class CAtlasFrameAnimator : public CBaseAnimator {
public:
    static constexpr const char* UniqueName = "ATL443";

    // Takes over the caller's reference of the sequence.
    CAtlasFrameAnimator(irr::u32 cycleMs, irr::f32 columns, irr::f32 rows, CFrameSequence* sequence,
                        irr::u32 startFrame);
    ~CAtlasFrameAnimator() override;
    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;
    void onFinish() override;

    irr::u32 getCurrentFrame() const { return CurrentFrame; }

private:
    void showFrame(CNodeBasement* node) const;

    irr::u32 CycleTime;
    irr::u32 StartFrame;
    irr::u32 CurrentFrame;
    irr::f32 Columns;
    irr::f32 Rows;
    CFrameSequence* Sequence;   // one reference held until finished
};

// Make, attach and return (borrowed) the animator.
CAlphaAnimator* createAlphaAnimator(CNodeBasement* node, irr::s32 timeMs, irr::f32 from, irr::f32 to,
                                    irr::s32 delayMs);
CFadeAnimator* createFadeAnimator(CNodeBasement* node, irr::s32 timeMs, irr::f32 from, irr::f32 to,
                                  irr::s32 delayMs);
// Takes over the sequence's reference. An empty sequence or a zero cycle
// makes no animator (a warning in the debug log) and gives null.
CAtlasFrameAnimator* createAtlasFrameAnimator(CNodeBasement* node, irr::u32 cycleMs, irr::f32 columns,
                                              irr::f32 rows, CFrameSequence* sequence, irr::u32 startFrame);
// The same with the grid as one (columns, rows) pair.
CAtlasFrameAnimator* createAtlasFrameAnimator(CNodeBasement* node, irr::u32 cycleMs,
                                              const irr::core::dimension2df& grid, CFrameSequence* sequence,
                                              irr::u32 startFrame);
