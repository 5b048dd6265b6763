// Game state, input, time and hints, run by module_scripting_funcs_test.
local t = {};
check(core_GetGameState(t) == 100, "the state is preloading");
check("preloadingProgress" in t && t.preloadingProgress == 0.25, "the progress is filled in while preloading");
check(core_GetGameState("x") == 100, "an argument that is no table is ignored");
core_SetGameState(700);
local u = {};
check(core_GetGameState(u) == 700, "the state was set");
check(!("preloadingProgress" in u), "no progress outside preloading");
check(core_IsGamePaused() == false, "not paused");
check(core_KeyPressed(0x41) == false, "a key that is up");
check(typeof core_GetTick() == "integer", "the tick is an integer");
local d = core_GetDate();
foreach (k in ["_day", "_dayOfWeek", "_month", "_year", "_hour", "_min", "_sec"])
    check(k in d, "the date has " + k);
check(d._month >= 1 && d._month <= 12 && d._dayOfWeek <= 6 && d._year >= 2000, "date fields in range");
check(core_se_GetRelated() == null, "no related object outside a precompiled call");
core_se_DebugHint("step two");
