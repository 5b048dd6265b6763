// The value bar of "-Animation.Slider:": a fill sprite that grows along a bar
// as a sprite's float attribute rises, glided there by the "SLIDRAN" animator.
#pragma once

#include "abaseanimators.h"
#include "utils_str.h"

#include <IReferenceCounted.h>
#include <irrTypes.h>
#include <vector3d.h>

namespace irr { namespace scene { class ISceneNode; } }

class CNodeBasement;
class CSlideRandomAnimator;

// The bar's controller. Its container node holds it through the pseudo-owner
// link and the animator on the sprite holds it too, so either may go first.
// The bar's nodes are remembered by creation serial and looked up on each
// use: a container deleted on its own leaves nothing dangling.
class CSlideRandom : public irr::IReferenceCounted {
public:
    static constexpr irr::s32 DefaultIdleMs = 200;

    // Builds the container under the parent (the root "pole" when null), the
    // fill sprite in it, and attaches the animator to the parent.
    CSlideRandom(const irr::core::vector3df& position, const char* fillName, irr::f32 width, irr::f32 height,
                 irr::scene::ISceneNode* parent, int vertical);
    ~CSlideRandom() override;
    CSlideRandom(const CSlideRandom&) = delete;
    CSlideRandom& operator=(const CSlideRandom&) = delete;

    // Per update the shown value moves by at most factor * 0.00001.
    void setFactor(irr::f32 factor) { Factor = factor; }
    // The sprite's float attribute shown; empty: the target stays as it is.
    void setName(const CString& name) { Name = name; }
    // v >= 0: the idle period, now in force; v < 0: the moving period, when set, comes in force.
    void setDiscretion(int v);
    void setDiscretion2(int v) { MovingPeriod = v; }
    // The edge rides at the bar's moving end, offset by where it stands now.
    void setEdgeNode(CNodeBasement* node);
    // The next update jumps to the target.
    void reset() { Shown = ResetValue; }
    void update(irr::f32 delta);

    irr::f32 getShownValue() const { return Shown; }
    int getPeriodInForce() const { return Period; }
    // Borrowed, or null once gone.
    CNodeBasement* getContainer() const;
    CNodeBasement* getFillNode() const;
    CNodeBasement* getEdgeNode() const;
    CSlideRandomAnimator* getAnimator() const { return Animator; }
    // The animator's destructor calls this: the link is not a reference.
    void forgetAnimator(const CSlideRandomAnimator* animator);

private:
    static constexpr irr::f32 ResetValue = -100.0f;

    void buildBar(const irr::core::vector3df& position, const char* fillName, irr::scene::ISceneNode* parent);
    bool glide(irr::f32 delta);
    void show(CNodeBasement* fill, irr::f32 f);

    CString Name;
    irr::f32 Target = 0;
    irr::f32 Shown = -1;          // negative: the next update jumps
    irr::f32 Factor = 10;
    int IdlePeriod = 0;           // ms
    int MovingPeriod = 0;         // ms; 0: none
    int Period = 0;               // ms, the one in force
    irr::f32 Width, Height;
    irr::f32 FullWidth = 1, FullHeight = 1;
    irr::core::vector3df StartEnd, FarEnd, FillBase, EdgeStart;
    irr::f32 Weight = 0.5f;
    int Vertical;
    irr::s32 ContainerSerial = 0;   // 0: none
    irr::s32 FillSerial = 0;
    irr::s32 EdgeSerial = 0;
    CSlideRandomAnimator* Animator = nullptr;   // not grabbed: it holds us
};

// "SLIDRAN" on the sprite: updates the bar; holds one reference to it.
class CSlideRandomAnimator : public CBaseAnimator {
public:
    explicit CSlideRandomAnimator(CSlideRandom* controller);
    ~CSlideRandomAnimator() override;

    void step(CNodeBasement* node, irr::f32 delta, irr::u32 localMs) override;
    // "reset": jump on the next update; "update": show the attribute's value now.
    int setAction(const char* name, int value) override;

    CSlideRandom* getController() const { return Controller; }

private:
    CSlideRandom* Controller;
};

// Fills the "-Animation.Slider:" row of sprite creation.
void InstallValueBarRowMaker();
