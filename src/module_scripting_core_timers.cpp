// Script timers and the natives that set, cancel and retime them.
#include "module_scripting_core.h"

#include "module_enginebase.h"
#include "module_scripting_funcs.h"
#include "module_scripting_nodetable.h"
#include "module_scripting_report.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "utils_debug.h"

#include <climits>
#include <map>

namespace {

const char* const SourceName = "src\\module_scripting_core";

struct STimerRegistry {
    int NextId = 0;        // never reused
    int CurrentId = 0;     // script form of the timer whose code runs now
    std::map<int, CScriptTimerAnimator*> Live;
};

STimerRegistry& timers()
{
    static STimerRegistry registry;
    return registry;
}

void timerAssert(int line, const char* text)
{
    ShowScriptAssert(SourceName, line, text);
}

CScriptModule* scripts()
{
    return getEngine()->getScripts();
}

}  // namespace

CurrentAnimatorIdGuard::CurrentAnimatorIdGuard(int scriptId) : Saved(timers().CurrentId)
{
    timers().CurrentId = scriptId;
}

CurrentAnimatorIdGuard::~CurrentAnimatorIdGuard()
{
    timers().CurrentId = Saved;
}

int getCurrentAnimatorId()
{
    return timers().CurrentId;
}

CScriptTimerAnimator* findScriptTimer(int timerId)
{
    auto found = timers().Live.find(timerId);
    return found != timers().Live.end() ? found->second : nullptr;
}

bool cancelScriptTimer(int timerId)
{
    CScriptTimerAnimator* timer = findScriptTimer(timerId);
    if (!timer)
        return false;
    // Through the animator, so a second cancel before the removal runs is harmless.
    if (timer->getNode())
        timer->removeThisAnimator();
    return true;
}

bool setScriptTimerTimeBase(int timerId, int timer)
{
    CScriptTimerAnimator* animator = findScriptTimer(timerId);
    if (!animator)
        return false;
    animator->setTimer(timer);
    return true;
}

namespace {

// "-Event.OnCreate.Action:" of a description: the action runs once, at the
// node's first update; with "-Event.Action.ExtendedCalls:" it gets the node's
// state table and may change it.
void makeCreateActionTimer(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    if (!SquirrelVM::IsOpen())
        return;   // no script host to run it (scene tools and tests without an engine)
    CScriptTimerAnimator* timer = new CScriptTimerAnimator(f.actionOnCreate, nullptr, nullptr, false);
    timer->ExportNodeTable = int(f.extendedCalls);
    attachParsedAnimator(&f, node, timer);
}

}  // namespace

void InstallScriptTimerRowMaker()
{
    GetDescriptionRowMakers().CreateAction = makeCreateActionTimer;
}

void ResetScriptTimerIds()
{
    if (timers().Live.empty())
        timers().NextId = 0;
}

CScriptTimerAnimator::CScriptTimerAnimator(const char* start, const char* repeat, const char* finish, bool runNow)
{
    CheckMainThread();
    TimerId = timers().NextId++;
    timers().Live[TimerId] = this;
    StartCode = start ? start : "";
    if (runNow && !StartCode.IsEmpty()) {
        CurrentAnimatorIdGuard guard(TimerId + 1);
        scripts()->callScriptCode(StartCode, &Call, true);
        StartCode = "";
    }
    RepeatCode = repeat ? repeat : "";
    FinishCode = finish ? finish : "";
    if (finish && RepeatCode.IsEmpty() && StartCode.IsEmpty())
        setPassive();   // only the finish code is left to run
}

CScriptTimerAnimator::~CScriptTimerAnimator()
{
    CheckMainThread();
    timers().Live.erase(TimerId);
}

void CScriptTimerAnimator::runCode(const CString& code, bool withTable)
{
    const bool exporting = withTable && ExportNodeTable && Node;
    if (exporting)
        exportNodeToTable(TableFlags, Node, Call.object);
    {
        CurrentAnimatorIdGuard guard(TimerId + 1);
        CString text = code;   // the code may replace ours while it runs
        scripts()->callScriptCode(text, &Call, true);
    }
    if (exporting && Node)
        importNodeFromTable(TableFlags, Node, Call.object);
}

void CScriptTimerAnimator::animate(CNodeBasement*, irr::u32 localMs)
{
    if (timers().CurrentId != 0)
        timerAssert(__LINE__, "Incorrect current animator ID (multithreading?)");
    if (ExportNodeTable && Call.object.GetType() != OT_TABLE) {
        Call.object = SquirrelVM::CreateTable();
        Call.hasObject = 1;
    }
    if (!StartCode.IsEmpty()) {
        TableFlags.Ids = 1;
        CString start = StartCode;
        StartCode = "";
        runCode(start, true);
        if (RepeatCode.IsEmpty()) {
            if (FinishCode.IsEmpty()) {
                removeThisAnimator();
                return;
            }
            setPassive();
        }
    }
    if (RepeatCode.IsEmpty() || Removed)
        return;
    if (!OneShot) {
        runCode(RepeatCode, true);
    } else if (getStartTime() + getDiscretion() <= localMs) {
        runCode(RepeatCode, true);
        removeThisAnimator();
    }
}

void CScriptTimerAnimator::onFinish()
{
    if (FinishCode.IsEmpty())
        return;
    CurrentAnimatorIdGuard guard(TimerId + 1);
    CString text = FinishCode;
    scripts()->callScriptCode(text, &Call, true);
}

// --- natives ---

namespace {

// A period in ms. A negative one means "every update", like 0. A float
// beyond the integer range would convert to the lowest integer: it is the
// longest period instead (as is a NaN), not one that fires at once.
int timerPeriod(const StackHandler& sa, int index)
{
    if (sa.GetType(index) == OT_FLOAT) {
        const SQFloat ms = sa.GetFloat(index);
        if (ms < 0)
            return 0;
        return ms < 2147483648.0f ? int(ms) : INT_MAX;
    }
    const int ms = sa.GetInt(index);
    return ms < 0 ? 0 : ms;
}

SQInteger addScriptTimer(HSQUIRRELVM vm, bool timeout, irr::scene::ISceneNode* sceneNode, int offset)
{
    StackHandler sa(vm);
    const int period = timerPeriod(sa, offset + 2);
    const char* code = sa.GetString(offset + 3);
    CNodeBasement* node = CNodeBasement::fromSceneNode(sceneNode);
    if (!node)
        return 0;
    CScriptTimerAnimator* timer = new CScriptTimerAnimator(nullptr, code ? code : "", nullptr, false);
    const int scriptId = timer->getTimerId() + 1;
    attachAnimator(node, timer);
    timer->setPeriod(irr::u32(period));
    timer->setOneShot(timeout);
    if (offset + 4 <= sa.GetParamCount()) {
        SquirrelObject argument;
        argument.AttachToStackObject(offset + 4);
        timer->setArgument(argument);
    }
    return sa.Return(SQInteger(scriptId));
}

irr::scene::ISceneNode* localTimerNode(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    if (sa.GetType(2) == OT_NULL || sa.GetType(2) == -1) {
        CString dialog = getEngine()->getTopDialogName();
        return dialog.IsEmpty() ? nullptr : getNodeByName(dialog);
    }
    return getNodeFromScriptParam(sa, 2);
}

SQInteger SetTimeout(HSQUIRRELVM vm)
{
    return addScriptTimer(vm, true, getEngine()->RootNode, 0);
}

SQInteger SetInterval(HSQUIRRELVM vm)
{
    return addScriptTimer(vm, false, getEngine()->RootNode, 0);
}

SQInteger SetTimeoutLocal(HSQUIRRELVM vm)
{
    return addScriptTimer(vm, true, localTimerNode(vm), 1);
}

SQInteger SetIntervalLocal(HSQUIRRELVM vm)
{
    return addScriptTimer(vm, false, localTimerNode(vm), 1);
}

SQInteger CancelInterval(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    int id = sa.GetInt(2);
    if (id == 0) {
        id = getCurrentAnimatorId();
        if (id < 1) {
            timerAssert(__LINE__, "CancelInterval error: no default animator found!!!");
            return sa.Return(false);
        }
    }
    // Script ids start at 1; a negative one (an infinite float becomes
    // INT_MIN) names no timer and must not reach the subtraction.
    return sa.Return(id > 0 && cancelScriptTimer(id - 1));
}

SQInteger SetIntervalTimer(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    int id = sa.GetInt(2);
    if (id < 1)
        return sa.Return(false);
    return sa.Return(setScriptTimerTimeBase(id - 1, sa.GetInt(3)));
}

}  // namespace

void registerTimerNatives()
{
    REGISTER_CORE_NATIVE(SetInterval, "core_SetInterval", "*");
    REGISTER_CORE_NATIVE(SetTimeout, "core_SetTimeout", "*");
    REGISTER_CORE_NATIVE(CancelInterval, "core_CancelInterval", "*");
    REGISTER_CORE_NATIVE(SetTimeoutLocal, "core_SetTimeoutLocal", "*");
    REGISTER_CORE_NATIVE(SetIntervalLocal, "core_SetIntervalLocal", "*");
    REGISTER_CORE_NATIVE(SetIntervalTimer, "core_SetIntervalTimer", "*");
}
