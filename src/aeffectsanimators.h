// Effect animators of sprite descriptions: an alpha pulse, a sound loop bound
// to the node's life, a texture scroller, a sprite generator and an animator
// that hands the node's state to a script method every update.
#pragma once

#include "abaseanimators.h"
#include "module_scripting_binding.h"
#include "node_factory.h"
#include "utils_str.h"

#include <irrArray.h>
#include <irrString.h>
#include <irrTypes.h>
#include <vector3d.h>

// A cosine between low and high, high at phase 0, one half period each way.
// Mode 0 drives the node's own alpha, otherwise the subtree's inherited alpha.
class CAlphaPulsarAnimator : public CBaseAnimator {
public:
    CAlphaPulsarAnimator(irr::s32 halfPeriodMs, irr::f32 high);
    // Binds the high source when not null; always sets low.
    void setRange(irr::f32* highSource, irr::f32 low);
    void setPhase(irr::s32 ms) { Phase = ms; }
    void setMode(irr::s32 mode) { Mode = mode; }
    void setMaxChange(irr::f32 change) { MaxChange = change; }
    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;

private:
    irr::s32 Mode = 0;
    irr::f32 MaxChange = 0;   // 0 or less: no limit
    irr::f32* HighSource;
    irr::f32 High;
    irr::s32 HalfPeriod;
    irr::s32 Phase = 0;
    irr::f32 Low = 0;
};

// Plays a looped effect from construction until destruction.
class CSoundLoopAnimator : public CBaseAnimator {
public:
    explicit CSoundLoopAnimator(const char* soundName);
    ~CSoundLoopAnimator() override;
    int getSlot() const { return Slot; }

private:
    int Slot;   // -1: no loop
};

// Shifts the sprite's texture coordinates by (du, dv) per 100 ms.
class CTextureScrollerAnimator : public CBaseAnimator {
public:
    CTextureScrollerAnimator(irr::f32 du, irr::f32 dv) : Du(du), Dv(dv) {}
    void onAttach(CNodeBasement*) override {}
    void step(CNodeBasement* node, irr::f32 delta, irr::u32 localMs) override;

private:
    irr::f32 Du, Dv;
};

// Spawns a sprite from its list every t + random(r) ms, inside the node (c not
// 0) or beside it; with follow movement only after the node moved, turned
// along the move.
class CSpriteGeneratorAnimator : public CBaseAnimator {
public:
    CSpriteGeneratorAnimator(irr::s32 t, irr::s32 r, irr::s32 c, const irr::core::array<irr::core::stringc>& names);
    void setFollowMovement(irr::s32 on) { Follow = on; }
    void setAngleOffset(irr::f32 degrees) { AngleOffset = degrees; }
    void animate(CNodeBasement* node, irr::u32 localMs) override;

private:
    irr::u32 NextSpawn = 0;
    irr::s32 Interval, RandomExtra, AsChild;
    irr::s32 Follow = 0;
    irr::f32 AngleOffset = 0;
    irr::core::vector3df LastPosition;
    irr::s32 PositionKnown = 0;
    bool EmptyReported = false;
    irr::core::array<irr::core::stringc> Names;
};

// Exchanges the node's state table with a root-table function every update.
class CScriptMethodAnimator : public CBaseAnimator {
public:
    CScriptMethodAnimator(const CString& main, const CString& init);
    void setCloneNumber(irr::s32 number) { CloneNumber = number; }
    void onAttach(CNodeBasement* node) override;
    void step(CNodeBasement* node, irr::f32 delta, irr::u32 localMs) override;

    const CString& getMainMethod() const { return MainMethod; }
    const CString& getMainArgument() const { return MainArgument; }
    const CString& getInitMethod() const { return InitMethod; }
    const CString& getInitArgument() const { return InitArgument; }

private:
    void firstStep(CNodeBasement* node);
    void readFlags();

    irr::s32 Initialised = 0;
    irr::s32 Flow = 1;
    irr::s32 SharedMode = 0;
    irr::s32 CloneNumber = 0;
    SquirrelObject Table;
    SNodeTableFlags Flags;
    CString MainMethod, InitMethod, MainArgument, InitArgument;
};

// Splits "name (argument)" into the method name and the argument text.
void SplitScriptMethod(const char* text, CString& method, CString& argument);

// Installs the description row makers of the effect, timeline and position animators.
void InstallEffectRowMakers();
