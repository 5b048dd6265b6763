// Value helpers for code that shows or sets a value between 0 and 1: a drag
// across a node that writes the value, and a frame column that shows it and
// fades a while after each change.
#pragma once

#include "abaseanimators.h"

#include <irrTypes.h>

namespace irr { namespace scene { class ISceneNode; } }

// Registers the dragged node as clickable under the given ID for its lifetime.
class CInputHelperAnimator : public CBaseAnimator {
public:
    // The target is borrowed and must outlive the animator.
    CInputHelperAnimator(CNodeBasement* node, irr::f32* target, irr::s32 id, irr::s32 extra);
    ~CInputHelperAnimator() override;

    // While the left button holds the node pressed, writes where the cursor
    // lies across it: 0 at its left edge, 1 at its right, kept within the margins.
    virtual void trackDrag(irr::scene::ISceneNode* node);

    // The value stays within [margin, 1 - margin].
    void setMargin(irr::f32 margin) { Margin = margin; }
    irr::f32 getMargin() const { return Margin; }
    irr::s32 getExtra() const { return Extra; }

private:
    irr::s32 DragSerial = 0;     // the dragged node, found by creation serial: it may go first
    irr::f32* Target;            // borrowed
    irr::s32 Extra;
    irr::f32 Margin = 0.0f;
};

// Shows the source value as a column of the sprite's frame grid in its
// current row; with a hold, the sprite shows fully after each change and
// fades out once the hold has passed.
class CFrameFadeHelperAnimator : public CBaseAnimator {
public:
    // The source is borrowed and must outlive the animator. holdMs 0: no fading.
    CFrameFadeHelperAnimator(const irr::f32* source, irr::s32 holdMs);

    void onAttach(CNodeBasement* node) override;
    void step(CNodeBasement* node, irr::f32 delta, irr::u32 localMs) override;

    // The most the shown value moves in one update.
    void setMaxChange(irr::f32 change) { MaxChange = change; }
    irr::f32 getCurrentValue() const { return Current; }

private:
    static constexpr irr::f32 NotRead = -100.99f;

    bool follow();
    void showColumn(CNodeBasement* node);

    const irr::f32* Source;      // borrowed
    irr::s32 Hold;               // ms
    irr::f32 Current = NotRead;
    irr::f32 MaxChange = 1000.0f;
    irr::u32 Deadline = 0;       // local ms; 0: none
};
