// The base of every engine animator: local time on device time or a client
// timer, an update interval, a short name, finish-once and queued removal.
#pragma once

#include <ISceneNodeAnimator.h>

#include <cstdint>

class CNodeBasement;

// Called once by finish(); the two arguments are the caller's own.
using AnimatorFinishCallback = void (*)(uintptr_t arg1, uintptr_t arg2, CNodeBasement* node);

class CBaseAnimator : public irr::scene::ISceneNodeAnimator {
public:
    static constexpr irr::u32 DefaultDiscretionMs = 25;
    static constexpr irr::u32 PassiveDiscretion = 65535;   // never ticks
    static constexpr int MaxNameLength = 7;

    CBaseAnimator();
    // Finishes when nothing did before, but a derived onFinish is out of reach
    // here: whoever drops an animator finishes it first.
    ~CBaseAnimator() override;
    CBaseAnimator(const CBaseAnimator&) = delete;
    CBaseAnimator& operator=(const CBaseAnimator&) = delete;

    // Live animators in the process.
    static int getLiveCount();

    // --- Irrlicht ---
    void animateNode(irr::scene::ISceneNode* node, irr::u32 timeMs) override;
    irr::scene::ISceneNodeAnimator* createClone(irr::scene::ISceneNode* node,
                                                irr::scene::ISceneManager* newManager = nullptr) override
    {
        return nullptr;
    }

    // --- the engine's own ---
    virtual void onAttach(CNodeBasement* node) {}
    // Default: turns local time into a delta in units of 100 ms (0 the first time) for step.
    virtual void animate(CNodeBasement* node, irr::u32 localMs);
    virtual void step(CNodeBasement* node, irr::f32 delta, irr::u32 localMs) {}
    virtual void removeThisAnimator();
    virtual int setAction(const char* name, int value) { return 0; }
    virtual void onFinish() {}

    void setNode(CNodeBasement* node) { Node = node; }
    CNodeBasement* getNode() const { return Node; }
    void setDiscretion(irr::u32 ms)
    {
        Discretion = ms;
        Passive = ms == PassiveDiscretion;
    }
    irr::u32 getDiscretion() const { return Discretion; }
    void setPassive() { setDiscretion(PassiveDiscretion); }
    // An interval that is a span of time whatever its length: a script timer's
    // period of 65535 ms still ticks.
    void setPeriod(irr::u32 ms)
    {
        Discretion = ms;
        Passive = false;
    }
    // Restarts the local time at 0 on the timer (0: device time).
    void setTimer(irr::s32 timer);
    irr::s32 getTimer() const { return Timer; }
    irr::u32 getStartTime() const { return Timer != 0 ? TimerStart : CreationTime; }
    irr::u32 getLocalTime() const { return LocalTime; }
    // Moves the zero point of device-time animators (a delayed attachment starts from here).
    void setStartTime(irr::u32 ms)
    {
        if (Timer == 0)
            CreationTime = ms;
    }

    // At most 7 characters; a longer name is reported and cut. Null clears it.
    void setName(const char* name);
    const char* getName() const { return Name; }
    bool hasName(const char* name) const;

    void setFinishCallback(AnimatorFinishCallback callback, uintptr_t arg1, uintptr_t arg2);
    // Runs the callback, then onFinish, once; false when already finished.
    bool finish();
    bool isFinished() const { return Finished; }
    bool isRemoved() const { return Removed; }
    void setDeleteNodeOnDestruction(bool on) { DeleteNodeOnDestruction = on; }

protected:
    CNodeBasement* Node = nullptr;   // not grabbed: the node holds the animator
    bool Removed = false;
    bool Finished = false;
    irr::u32 LocalTime = 0;          // ms
    irr::u32 TimerStart = 0;         // ms
    irr::u32 CreationTime = 0;       // device ms
    irr::u32 LastRealTime = UINT32_MAX;   // device ms of the previous call; all bits: not yet
    irr::u32 PrevAnimateTime = 0;    // local ms of the previous animate, 0: none yet
    irr::s32 Phase = 0;
    irr::u32 Discretion = DefaultDiscretionMs;
    bool Passive = false;            // never ticks; set with the interval 65535
    irr::s32 Timer = 0;
    irr::u32 NextDue = 0;            // local ms + phase
    AnimatorFinishCallback FinishCallback = nullptr;
    uintptr_t FinishArg1 = 0;
    uintptr_t FinishArg2 = 0;
    bool DeleteNodeOnDestruction = false;
    char Name[MaxNameLength + 1] = {};
};
