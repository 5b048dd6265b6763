// The system animators.
#include "asystemanimators.h"

#include "module_enginebase.h"
#include "node_base.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_str_tools.h"

#include <ISceneNode.h>
#include <ITimer.h>
#include <IrrlichtDevice.h>

using namespace irr;

namespace {

constexpr f32 EndedFadeFactor = 0.1f;

bool engineExiting()
{
    CEngineBase* engine = getEngine();
    return engine->getPauseLevel() >= 90 || engine->GameState >= 999;
}

u32 deviceNow()
{
    IrrlichtDevice* device = getDevice();
    return device && device->getTimer() ? device->getTimer()->getTime() : 0;
}

} // namespace

// --- CSelfDestroyAnimator ---

CSelfDestroyAnimator::CSelfDestroyAnimator(u32 lifeMs, u32 fadeMs) : Life(lifeMs), Fade(fadeMs)
{
    setName(UniqueName);
}

// Several may run on one node: the first to end deletes it, so a later, longer
// one never extends a node's life.
void CSelfDestroyAnimator::onAttach(CNodeBasement* node)
{
    SavedAlpha = node->getInheritedAlpha();
}

void CSelfDestroyAnimator::animate(CNodeBasement* node, u32 localMs)
{
    if (Life == Spent)
        return;
    const s64 end = s64(getStartTime()) + s64(Life);
    const s64 now = s64(localMs);
    bool ended = false;
    if (Fade > 0 && now > end - s64(Fade)) {
        const f32 k = 1.0f - f32(now - (end - s64(Fade))) / f32(Fade);
        node->setInheritedAlpha(k * SavedAlpha);
        ended = k < EndedFadeFactor;
    }
    if (now <= end && !ended)
        return;
    deleteNode(node);
    removeThisAnimator();
    Life = Spent;
    Fade = 0;
}

// --- CHideParentAnimator ---

CHideParentAnimator::CHideParentAnimator(s32 targetId, s32 mode) : TargetId(targetId), Mode(mode)
{
    setPassive();
}

CHideParentAnimator::~CHideParentAnimator()
{
    if (!Counted || engineExiting())
        return;
    if (CNodeBasement* target = CNodeBasement::fromSceneNode(getNodeById(TargetId, nullptr)))
        target->setHideCount(target->getHideCount() - 1);
}

void CHideParentAnimator::onAttach(CNodeBasement* node)
{
    scene::ISceneNode* target = getNodeById(TargetId, nullptr);
    if (!target) {
        FatalError("InvalidVisibi node supply!", false);
        return;
    }
    if (CNodeBasement* engineTarget = CNodeBasement::fromSceneNode(target)) {
        engineTarget->setHideCount(engineTarget->getHideCount() + 1);
        Counted = true;
    }
    if (Mode <= 1)
        return;
    for (scene::ISceneNode* child : target->getChildren())
        if (child != node)
            child->setVisible(false);
}

// --- CHideIfAnimator ---

CHideIfAnimator::CHideIfAnimator(scene::ISceneNode* target, const char* names, bool inverted)
    : Inverted(inverted), Target(target)
{
    core::array<core::stringc> list = SplitString(names ? names : "", ',', false);
    for (u32 i = 0; i < list.size(); ++i)
        Names.Add(list[i].c_str());
}

void CHideIfAnimator::onAttach(CNodeBasement* node)
{
    TargetId = Target ? ForceNodeToHaveID(Target) : 0;
}

void CHideIfAnimator::animate(CNodeBasement* node, u32 localMs)
{
    scene::ISceneNode* target = TargetId ? getNodeById(TargetId, nullptr) : nullptr;
    if (!target) {
        removeThisAnimator();
        return;
    }
    Target = target;
    bool anyVisible = false;
    for (int i = 0; i < Names.GetSize() && !anyVisible; ++i) {
        scene::ISceneNode* named = getNodeByName(Names[i]);
        anyVisible = named && named->isVisible();
    }
    target->setVisible(Inverted ? anyVisible : !anyVisible);
}

// --- CCounterAnimator ---

CCounterAnimator::CCounterAnimator(std::atomic<int32_t>* counter) : Counter(counter)
{
    setPassive();
    add(1);
}

CCounterAnimator::CCounterAnimator(int32_t* counter) : PlainCounter(counter)
{
    setPassive();
    add(1);
}

void CCounterAnimator::add(int32_t amount)
{
    if (Counter)
        *Counter += amount;
    if (PlainCounter)
        __atomic_add_fetch(PlainCounter, amount, __ATOMIC_SEQ_CST);
}

CCounterAnimator::~CCounterAnimator()
{
    finish();
}

void CCounterAnimator::onFinish()
{
    if (Done)
        return;
    Done = true;
    add(-1);
}

// --- CListRegAnimator ---

CListRegAnimator::CListRegAnimator(core::array<scene::ISceneNode*>* list) : List(list)
{
    setPassive();
}

CListRegAnimator::~CListRegAnimator()
{
    finish();
}

void CListRegAnimator::onAttach(CNodeBasement* node)
{
    Registered = node;
    if (List)
        List->push_back(node);
}

void CListRegAnimator::onFinish()
{
    if (Done)
        return;
    Done = true;
    if (!List || !Registered)
        return;
    for (u32 i = 0; i < List->size(); ++i)
        if ((*List)[i] == Registered) {
            List->erase(i);
            break;
        }
}

// --- CDelayAnimator ---

CDelayAnimator::CDelayAnimator(u32 delayMs, CBaseAnimator* animator) : Due(deviceNow() + delayMs), Held(animator)
{
}

CDelayAnimator::~CDelayAnimator()
{
    if (!Held)
        return;
    Held->finish();
    Held->drop();
}

void CDelayAnimator::animate(CNodeBasement* node, u32 localMs)
{
    if (Due == 0 || localMs < Due)
        return;
    Due = 0;
    CBaseAnimator* held = Held;
    Held = nullptr;
    if (held) {
        held->setStartTime(localMs);
        attachAnimator(node, held);
    }
    removeThisAnimator();
}

// --- CPauseAnimator ---

CPauseAnimator::CPauseAnimator(s32 level) : Level(level)
{
    setPassive();
    CEngineBase* engine = getEngine();
    if (engine->getPauseLevel() == 0) {
        PausedByMe = true;
        engine->setPauseLevel(Level, true);
    }
}

CPauseAnimator::~CPauseAnimator()
{
    CEngineBase* engine = getEngine();
    if (PausedByMe && engine->getPauseLevel() <= Level)
        engine->setPauseLevel(Level, false);
}

// --- CDeleterAnimator ---

CDeleterAnimator::CDeleterAnimator(CBaseAnimator* animator) : HeldAnimator(animator) { setPassive(); }
CDeleterAnimator::CDeleterAnimator(scene::ISceneNode* node) : HeldNode(node) { setPassive(); }
CDeleterAnimator::CDeleterAnimator(s32 nodeId) : HeldId(nodeId) { setPassive(); }

CDeleterAnimator::~CDeleterAnimator()
{
    if (getDiscretion() != PassiveDiscretion)
        FatalError("Wrong Animator Type!", false);
    if (HeldAnimator) {
        HeldAnimator->finish();
        HeldAnimator->drop();
    }
    if (HeldNode)
        deleteNode(HeldNode);
    if (HeldId)
        deleteNode(getNodeById(HeldId, nullptr));
}

// --- CDestroyHookAnimator ---

CDestroyHookAnimator::CDestroyHookAnimator()
{
    setPassive();
}

CDestroyHookAnimator::~CDestroyHookAnimator()
{
    if (engineExiting())
        return;
    if (getDiscretion() != PassiveDiscretion)
        FatalError("Wrong Animator Type!", false);
    onDestroy();
}
