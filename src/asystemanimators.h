// Animators that tie behaviour to the life of a node: self-destruction with a
// fade-out, hiding another node, showing a node while named ones are hidden,
// live counters, list registration, delayed attachment and pausing.
#pragma once

#include "abaseanimators.h"
#include "utils_str.h"

#include <irrArray.h>
#include <irrTypes.h>

#include <atomic>
#include <cstdint>

namespace irr { namespace scene { class ISceneNode; } }

// Deletes its node a life time after it started, fading the subtree out over
// the last fade milliseconds; the node goes once the fade is below 10%.
class CSelfDestroyAnimator : public CBaseAnimator {
public:
    static constexpr const char* UniqueName = "SELDES";
    static constexpr irr::u32 Spent = UINT32_MAX;

    CSelfDestroyAnimator(irr::u32 lifeMs, irr::u32 fadeMs);
    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;

private:
    irr::u32 Life;
    irr::u32 Fade;
    irr::f32 SavedAlpha = 1.0f;
};

// While its node lives, the target is hidden (hide counter); a mode above 1
// also makes the target's other children invisible, for good.
class CHideParentAnimator : public CBaseAnimator {
public:
    CHideParentAnimator(irr::s32 targetId, irr::s32 mode);
    ~CHideParentAnimator() override;
    void onAttach(CNodeBasement* node) override;

private:
    irr::s32 TargetId;
    irr::s32 Mode;
    bool Counted = false;
};

// Sits on the root: the target shows only while none of the named nodes is
// visible (inverted: while one is); goes when the target is gone.
class CHideIfAnimator : public CBaseAnimator {
public:
    CHideIfAnimator(irr::scene::ISceneNode* target, const char* names, bool inverted);
    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;

private:
    bool Inverted;
    CStringArray Names;
    irr::s32 TargetId = 0;
    irr::scene::ISceneNode* Target;   // not grabbed: found again by ID before use
};

// Counts one while it lives.
class CCounterAnimator : public CBaseAnimator {
public:
    explicit CCounterAnimator(std::atomic<int32_t>* counter);
    // A plain counter, changed with atomic operations all the same.
    explicit CCounterAnimator(int32_t* counter);
    ~CCounterAnimator() override;
    void onFinish() override;
    virtual void onCountEnd() {}

private:
    void add(int32_t amount);

    std::atomic<int32_t>* Counter = nullptr;
    int32_t* PlainCounter = nullptr;
    bool Done = false;
};

// Keeps its node in a list while it lives.
class CListRegAnimator : public CBaseAnimator {
public:
    explicit CListRegAnimator(irr::core::array<irr::scene::ISceneNode*>* list);
    ~CListRegAnimator() override;
    void onAttach(CNodeBasement* node) override;
    void onFinish() override;
    virtual void onUnregister() {}

private:
    irr::core::array<irr::scene::ISceneNode*>* List;
    irr::scene::ISceneNode* Registered = nullptr;
    bool Done = false;
};

// Attaches the held animator to its node once the delay has passed; the held
// animator then starts its own time at that moment. Destroyed before that, it
// finishes and drops the held one.
class CDelayAnimator : public CBaseAnimator {
public:
    // Takes over the caller's reference of the animator.
    CDelayAnimator(irr::u32 delayMs, CBaseAnimator* animator);
    ~CDelayAnimator() override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;

private:
    irr::u32 Due;   // device ms; 0 once done
    CBaseAnimator* Held;
};

// Holds a pause level while it lives, unless the engine was paused already.
class CPauseAnimator : public CBaseAnimator {
public:
    explicit CPauseAnimator(irr::s32 level);
    ~CPauseAnimator() override;

private:
    irr::s32 Level;
    bool PausedByMe = false;
};

// When it goes: drops an animator, deletes a node, or deletes the node of an ID.
class CDeleterAnimator : public CBaseAnimator {
public:
    explicit CDeleterAnimator(CBaseAnimator* animator);
    explicit CDeleterAnimator(irr::scene::ISceneNode* node);
    explicit CDeleterAnimator(irr::s32 nodeId);
    ~CDeleterAnimator() override;

private:
    CBaseAnimator* HeldAnimator = nullptr;
    irr::scene::ISceneNode* HeldNode = nullptr;   // not grabbed
    irr::s32 HeldId = 0;
};

// Calls onDestroy when it goes, unless the engine is exiting.
class CDestroyHookAnimator : public CBaseAnimator {
public:
    CDestroyHookAnimator();
    ~CDestroyHookAnimator() override;
    virtual void onDestroy() {}
};
