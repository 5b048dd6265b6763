// The animator base.
#include "abaseanimators.h"

#include "module_enginebase.h"
#include "node_base.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_system_common.h"

#include <ITimer.h>
#include <IrrlichtDevice.h>

#include <cmath>
#include <cstring>

using namespace irr;

namespace {

constexpr int PhaseSpread = 25;
constexpr f32 FrozenSpeed = 0.001f;

int LiveAnimatorCount = 0;

u32 deviceTime()
{
    IrrlichtDevice* device = getDevice();
    return device && device->getTimer() ? device->getTimer()->getTime() : 0;
}

} // namespace

CBaseAnimator::CBaseAnimator()
{
    ++LiveAnimatorCount;
    Phase = LiveAnimatorCount % PhaseSpread;
    CreationTime = deviceTime();
}

CBaseAnimator::~CBaseAnimator()
{
    finish();
    if (DeleteNodeOnDestruction && Node)
        deleteNode(Node);
    Node = nullptr;
    --LiveAnimatorCount;
}

int CBaseAnimator::getLiveCount()
{
    return LiveAnimatorCount;
}

void CBaseAnimator::animateNode(scene::ISceneNode* node, u32 timeMs)
{
    if (Removed || Finished || !Node || Passive)
        return;
    if (LastRealTime == UINT32_MAX)
        LastRealTime = CreationTime;
    if (Timer != 0) {
        const f32 speed = getEngine()->getTimerSpeed(u32(Timer));
        if (speed > -FrozenSpeed && speed < FrozenSpeed) {
            PrevAnimateTime = 0;
            LastRealTime = timeMs;
            return;
        }
        // Elapsed device ms wrap like the tick count; the scaled step may run backwards.
        const double scaled = double(u32(timeMs - LastRealTime)) * double(speed);
        LocalTime = u32(int64_t(LocalTime) + int64_t(std::trunc(scaled)));
        LastRealTime = timeMs;
    } else {
        LocalTime = timeMs;
    }
    if (Discretion != 0) {
        const u32 due = LocalTime + u32(Phase);
        if (due < NextDue)
            return;
        NextDue = due + Discretion;
    }
    animate(Node, LocalTime);
    LastRealTime = timeMs;
}

void CBaseAnimator::animate(CNodeBasement* node, u32 localMs)
{
    if (PrevAnimateTime == 0)
        PrevAnimateTime = localMs;
    const f32 delta = f32(localMs - PrevAnimateTime) * 0.01f;
    step(node, delta, localMs);
    PrevAnimateTime = localMs;
}

void CBaseAnimator::removeThisAnimator()
{
    if (Removed)
        return;
    if (!Node) {
        FatalError("removeThisAnimator with NULL parent!!!", false);
        return;
    }
    Removed = true;
    scheduleRemoval(Node, this);
}

void CBaseAnimator::setTimer(s32 timer)
{
    Timer = timer;
    LocalTime = 0;
    TimerStart = 0;
    PrevAnimateTime = 0;
    NextDue = 0;   // else an animator that already ran waits out the old due time
}

void CBaseAnimator::setName(const char* name)
{
    if (!name) {
        Name[0] = 0;
        return;
    }
    // The name can come from a description, so a long one is a warning, not a stop.
    if (std::strlen(name) > size_t(MaxNameLength))
        EngineMessageBox("Wrong animator name!!!", MB_OK);
    std::strncpy(Name, name, MaxNameLength);
    Name[MaxNameLength] = 0;
}

bool CBaseAnimator::hasName(const char* name) const
{
    return name && std::strcmp(Name, name) == 0;
}

void CBaseAnimator::setFinishCallback(AnimatorFinishCallback callback, uintptr_t arg1, uintptr_t arg2)
{
    FinishCallback = callback;
    FinishArg1 = arg1;
    FinishArg2 = arg2;
}

bool CBaseAnimator::finish()
{
    if (Finished)
        return false;
    Finished = true;
    if (FinishCallback)
        FinishCallback(FinishArg1, FinishArg2, Node);
    onFinish();
    return true;
}
