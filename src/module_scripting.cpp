// The script host.
#include "module_scripting.h"

#include "module_enginebase.h"
#include "utils_debug.h"

#include <algorithm>

CScriptModule::CScriptModule() = default;

CScriptModule::~CScriptModule() = default;

void CScriptModule::registerCoreFunctions(CEngineClient* client)
{
    if (client)
        client->registerScriptBindings();
}

bool CScriptModule::callScriptCode(const char* code, void* pending, bool useCache)
{
    if (!code || !*code)
        return false;
    if (!Runner) {
        DebugLog(Format("Script code not run (no script machine): %.200s", code));
        return false;
    }
    return Runner->runCode(code);
}

void CScriptModule::queueScriptCall(const char* name)
{
    if (name && *name)
        Queued.push_back(name);
}

void CScriptModule::runQueuedCalls()
{
    // A call may queue further calls; they wait for the next frame.
    std::vector<CString> calls;
    calls.swap(Queued);
    for (const CString& name : calls) {
        if (Runner)
            Runner->callFunction(name);
        else
            DebugLog(Format("Script call '%s' not run (no script machine)", (const char*)name));
    }
}

void CScriptModule::removeQueuedCalls(const char* name)
{
    if (!name)
        return;
    Queued.erase(std::remove_if(Queued.begin(), Queued.end(),
                                [name](const CString& queued) { return queued == name; }),
                 Queued.end());
}

IScriptRunner* CScriptModule::setRunner(IScriptRunner* runner)
{
    IScriptRunner* previous = Runner;
    Runner = runner;
    return previous;
}
