// Script calls: code or function name, the compiled-code cache and the
// calls queued for the end of the frame.
#include "module_scripting.h"

#include "module_scripting_nodetable.h"
#include "module_scripting_report.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_utilities.h"
#include "utils_debug.h"

#include <algorithm>
#include <cstring>

namespace {

// A call that queues itself again would otherwise keep the frame from ending;
// what is left over runs in the next frame.
constexpr size_t MaxQueuedCallsPerPass = 10000;

// Code ends in ";" or holds both "(" and ")"; anything else names a function.
bool isCodeText(const char* text)
{
    size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == ';')
        return true;
    return std::strchr(text, '(') && std::strchr(text, ')');
}

// Points the host's related object at the argument for one call.
class CRelatedObjectGuard {
public:
    CRelatedObjectGuard(CScriptModule& host, SquirrelObject* object) : m_host(host) { host.setRelatedObject(object); }
    ~CRelatedObjectGuard() { m_host.clearRelatedObject(); }
    CRelatedObjectGuard(const CRelatedObjectGuard&) = delete;
    CRelatedObjectGuard& operator=(const CRelatedObjectGuard&) = delete;

private:
    CScriptModule& m_host;
};

// The sprite whose table is the argument (clicks, hovers, scripted effects pass
// one with its "_id", a tooltip its state with "_pointer"), for a report:
// "\nasked for by the sprite 'NAME' of 'FILE'"; empty when the table names no
// one sprite.
CString askedBy(const SquirrelObject& argument)
{
    if (argument.GetType() != OT_TABLE)
        return CString();
    CNodeBasement* node = CNodeBasement::fromSceneNode(getNodeFromScriptObject(argument));
    if (!node || node->getDescriptionName().IsEmpty())
        return CString();
    const irr::s32 id = node->getID();
    const CString name = id >= 0 && id < IdCacheSize ? getNameById(id) : CString("???");
    return "\nasked for by " + DescribeSprite(node->getDescriptionName(), name == "???" ? "" : (const char*)name);
}

}  // namespace

SquirrelObject CScriptModule::callPrecompiledMethod(const char* text, SquirrelObject argument, const char* tableName)
{
    CheckMainThread();
    CRelatedObjectGuard related(*this, &argument);
    SquirrelObject result;
    if (!text)
        text = "";
    if (isCodeText(text))
        return callScriptCode(text, nullptr, true);
    ENGINE_PROFILE("SCRIPT-CALLPRECOMPILED");
    if (Runner) {
        Runner->callFunction(text);
        return result;
    }
    CString failure;
    try {
        SquirrelObject self = tableName ? SquirrelVM::GetRootTable().GetValue(tableName) : SquirrelVM::GetRootTable();
        // Named as missing: the call itself would only say that it failed, with nothing printed.
        if (tableName && self.IsNull())
            failure = Format("the table '%s' does not exist", tableName);
        else if (!self.Exists(text))
            failure = Format("the function '%s' does not exist", text);
        else
            result = SquirrelFunction(self, text)(argument);
    } catch (const SquirrelError& e) {
        failure = e.desc;
    }
    if (!failure.IsEmpty())
        ShowScriptError(Format("Error %s, Calling precompiled method '%s %s'", (const char*)failure,
                               tableName ? tableName : "(null)", text),
                        text, askedBy(argument));
    return result;
}

SquirrelObject CScriptModule::callScriptCode(const char* code, const CScriptCallback* pending, bool useCache)
{
    CheckMainThread();
    SquirrelObject result;
    if (!code)
        return result;
    ENGINE_PROFILE_EXCERPT("SCRIPT-CALLSCRIPT", code, 50);
    if (pending && !pending->object.IsNull())
        return callPrecompiledMethod(code, pending->object, nullptr);
    if (Runner) {
        Runner->runCode(code);
        return result;
    }
    SquirrelObject closure = compileCode(code, false, useCache, nullptr);
    if (closure.IsNull())
        return result;
    try {
        result = SquirrelVM::RunScript(closure);
    } catch (const SquirrelError& e) {
        ShowScriptError(Format("Error %s, Calling script code\n%.500s", (const char*)e.desc, code), code);
    }
    return result;
}

SquirrelObject CScriptModule::compileCode(const char* code, bool run, bool useCache, const char* sourceName)
{
    ENGINE_PROFILE("");
    CheckMainThread();
    if (!code)
        code = "";
    if (useCache) {
        auto cached = CodeCache.find(code);
        if (cached != CodeCache.end())
            return cached->second;
    }
    try {
        SquirrelObject closure = SquirrelVM::CompileBuffer(code, sourceName ? sourceName : "console_buffer");
        if (run)
            SquirrelVM::RunScript(closure);
        if (useCache)
            CodeCache[code] = closure;   // the run may have cleared or filled the cache
        return closure;
    } catch (const SquirrelError& e) {
        ShowScriptError(Format("Error %s, Compiling script '%s'", (const char*)e.desc, code), code);
    }
    return SquirrelObject();
}

void CScriptModule::queueScriptCall(const char* name, const SquirrelObject* object)
{
    if (!name || !*name)
        return;
    CScriptCallback call;
    call.name = name;
    call.hasObject = object ? 1 : 0;
    if (object)
        call.object = *object;
    Pending.push_back(call);
}

void CScriptModule::removeQueuedCalls(const char* name)
{
    if (!name)
        return;
    for (size_t i = Pending.size(); i-- > 0;)
        if (Pending[i].name == name)
            Pending.erase(Pending.begin() + long(i));
}

void CScriptModule::runQueuedCalls()
{
    if (Pending.empty())
        return;
    // By index, with the size read again after each call: a call may queue
    // more calls or remove some, so no reference into the queue is kept.
    size_t done = 0;
    for (; done < Pending.size() && done < MaxQueuedCallsPerPass; ++done) {
        CScriptCallback call = Pending[done];
        if (Runner)
            Runner->callFunction(call.name);
        else
            callScriptCode(call.name, call.hasObject ? &call : nullptr, true);
    }
    if (done < MaxQueuedCallsPerPass)
        Pending.clear();
    else
        Pending.erase(Pending.begin(), Pending.begin() + long(std::min(done, Pending.size())));
}
