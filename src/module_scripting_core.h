// Script timers: animators that run script code when they start, on each
// period or once after it, and when they end; scripts see them by id.
#pragma once

#include "abaseanimators.h"
#include "module_scripting.h"
#include "node_factory.h"
#include "utils_str.h"

class CScriptTimerAnimator : public CBaseAnimator {
public:
    // Null texts count as empty. With runNow the start code runs here.
    CScriptTimerAnimator(const char* start, const char* repeat, const char* finish, bool runNow);
    ~CScriptTimerAnimator() override;

    void animate(CNodeBasement* node, irr::u32 localMs) override;
    void onFinish() override;

    int getTimerId() const { return TimerId; }
    void setOneShot(bool oneShot) { OneShot = oneShot ? 1 : 0; }
    // The value handed to the code: a function name is called with it.
    void setArgument(const SquirrelObject& argument) { Call.object = argument; Call.hasObject = argument.IsNull() ? 0 : 1; }
    const SquirrelObject& getArgument() const { return Call.object; }

    int ExportNodeTable = 0;         // export the node's table before each run, import it after
    SNodeTableFlags TableFlags;      // IDs and names off until the start code runs

private:
    void runCode(const CString& code, bool withTable);

    int OneShot = 0;
    CScriptCallback Call;            // name unused; object = the argument
    int TimerId = 0;
    CString StartCode;
    CString RepeatCode;
    CString FinishCode;
};

// Sets the id of the running timer (script form: id + 1, 0 none) for its
// lifetime and puts the old one back afterwards.
class CurrentAnimatorIdGuard {
public:
    explicit CurrentAnimatorIdGuard(int scriptId);
    ~CurrentAnimatorIdGuard();
    CurrentAnimatorIdGuard(const CurrentAnimatorIdGuard&) = delete;
    CurrentAnimatorIdGuard& operator=(const CurrentAnimatorIdGuard&) = delete;

private:
    int Saved;
};

int getCurrentAnimatorId();   // script form
// By internal id; false when no such timer lives.
bool cancelScriptTimer(int timerId);
bool setScriptTimerTimeBase(int timerId, int timer);
CScriptTimerAnimator* findScriptTimer(int timerId);
// Sprite descriptions' create actions become script timers.
void InstallScriptTimerRowMaker();
// The next timer gets script id 1 again; only while none lives (tests).
void ResetScriptTimerIds();
