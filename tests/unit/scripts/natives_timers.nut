// Timers, run by module_scripting_core_timers_test: the root node "pole" exists
// and nothing else has made a timer yet.
log <- [];
function count(what) {
    local n = 0;
    foreach (entry in log)
        if (entry == what)
            ++n;
    return n;
}
function selfCancel() {
    log.append("self");
    check(core_CancelInterval(), "cancelling the running interval without an id");
}
function withArg(t) {
    log.append("arg " + t.value);
    check(core_se_GetRelated() == t, "the argument is the related object");
}

timeoutId <- core_SetTimeout(500, "log.append(\"timeout\");");
intervalId <- core_SetInterval(200, "log.append(\"interval\");");
selfId <- core_SetInterval(100, "selfCancel();");
argId <- core_SetTimeout(0, "withArg", {value = 7});
check(timeoutId == 1 && intervalId == 2 && selfId == 3 && argId == 4, "script ids count from 1");
check(core_SetIntervalTimer(0, 1) == false, "id 0 is no timer");
check(core_SetIntervalTimer(9999, 1) == false, "an unknown id");
check(core_CancelInterval(9999) == false, "cancelling an unknown id");
check(core_CancelInterval(1.0e300 * -1.0e300) == false && core_SetIntervalTimer(-2147483647 - 1, 1) == false,
      "the lowest id (an infinite float) is no timer");
check(core_SetTimeoutLocal(null, 10, "log.append(\"none\");") == null, "no dialog open: no node");
check(core_SetIntervalLocal("no such node", 10, "log.append(\"none\");") == null, "an unknown node");
relatedInTimer <- "not run";
check(core_SetTimeout(0, "relatedInTimer = core_se_GetRelated();") == 5, "the next id");
