// Natives for the game state, input, time, error-report hints and running
// further script files.
#include "module_scripting_funcs.h"

#include "clock.h"
#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "node_factory_macros.h"
#include "utils_fs.h"
#include "utils_system_common.h"
#include "utils_system_windows.h"

namespace {

constexpr int PreloadingState = 100;

SQInteger CloseGame(HSQUIRRELVM)
{
    getEngine()->requestExit();
    return 0;
}

SQInteger GetGameState(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CEngineBase* engine = getEngine();
    if (sa.GetType(2) == OT_TABLE && engine->GameState == PreloadingState) {
        SquirrelObject table;
        table.AttachToStackObject(2);
        table.SetValue("preloadingProgress", SQFloat(engine->PreloadProgress));
    }
    return sa.Return(SQInteger(engine->GameState));
}

SQInteger SetGameState(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    getEngine()->setGameState(sa.GetInt(2));
    return 0;
}

SQInteger IsGamePaused(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(getEngine()->getPauseLevel() > 0);
}

SQInteger KeyPressed(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(GetKeyStateIfActive(sa.GetInt(2)) < 0);
}

SQInteger ClearAnyInput(HSQUIRRELVM)
{
    getInputLatch()->reset();
    return 0;
}

SQInteger SetAnyInput(HSQUIRRELVM)
{
    getInputLatch()->fire();
    return 0;
}

SQInteger AnyInputOccurred(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(getInputLatch()->poll(0, 0));
}

SQInteger IsAnyKeySince(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(getInputLatch()->poll(uint32_t(sa.GetInt(2)), 0));
}

SQInteger GetTick(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    // Scripts see the 32-bit tick as a signed integer; it wraps like the counter.
    return sa.Return(SQInteger(int32_t(platform::GetTickCount())));
}

SQInteger GetDate(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SYSTEMTIME now;
    GetLocalTimeNow(&now);
    return sa.Return(MakeDateTable(now));
}

SQInteger DebugHint(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    getEngine()->getScripts()->setDebugHint(sa.GetString(2));
    return 0;
}

SQInteger GetRelated(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SquirrelObject* related = getEngine()->getScripts()->getRelatedObject();
    if (!related)
        return 0;
    return sa.Return(*related);
}

SQInteger Dofile(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString path = ResolveDataPath(sa.GetString(2) ? sa.GetString(2) : "");
    CString text;
    ReadScriptFile(path, text);   // a missing or refused file runs as an empty script
    expandSpriteMacros(text, nullptr, nullptr);
    getEngine()->getScripts()->compileCode(text, true, false, nullptr);
    return 0;
}

}  // namespace

SquirrelObject MakeDateTable(const SYSTEMTIME& time)
{
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_day", SQInteger(time.wDay));
    table.SetValue("_dayOfWeek", SQInteger(time.wDayOfWeek));
    table.SetValue("_month", SQInteger(time.wMonth));
    table.SetValue("_year", SQInteger(time.wYear));
    table.SetValue("_hour", SQInteger(time.wHour));
    table.SetValue("_min", SQInteger(time.wMinute));
    table.SetValue("_sec", SQInteger(time.wSecond));
    return table;
}

void registerStateNatives()
{
    REGISTER_CORE_NATIVE(CloseGame, "core_CloseGame", nullptr);
    REGISTER_CORE_NATIVE(KeyPressed, "core_KeyPressed", "*");
    REGISTER_CORE_NATIVE(GetGameState, "core_GetGameState", "*");
    REGISTER_CORE_NATIVE(SetGameState, "core_SetGameState", "n");
    REGISTER_CORE_NATIVE(IsGamePaused, "core_IsGamePaused", nullptr);
    REGISTER_CORE_NATIVE(GetTick, "core_GetTick", nullptr);
    REGISTER_CORE_NATIVE(GetDate, "core_GetDate", "*");
    REGISTER_CORE_NATIVE(Dofile, "core_Dofile", "*");
    REGISTER_CORE_NATIVE(DebugHint, "core_se_DebugHint", "*");
    REGISTER_CORE_NATIVE(GetRelated, "core_se_GetRelated", "*");
    REGISTER_CORE_NATIVE(ClearAnyInput, "core_ClearAnyInputOcured", nullptr);
    REGISTER_CORE_NATIVE(SetAnyInput, "core_SetAnyInputOcured", nullptr);
    REGISTER_CORE_NATIVE(AnyInputOccurred, "core_AnyInputOcured", nullptr);
    REGISTER_CORE_NATIVE(IsAnyKeySince, "core_IsAnyKeySince", "*");
}
