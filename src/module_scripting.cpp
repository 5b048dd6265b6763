// The script host: the VM's life, loading and compiling script files.
#include "module_scripting.h"

#include "module_enginebase.h"
#include "module_scripting_core.h"
#include "module_scripting_funcs.h"
#include "module_scripting_report.h"
#include "node_base.h"
#include "node_factory_macros.h"
#include "node_helpers_desc.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_fs_save.h"
#include "utils_str_keyvalue.h"

#include "sqstdio.h"

namespace {

const char* const CompileLogName = "last_scriptcomp_error.log";
const char* const FileMarker = "\n\n//FILE[";

// The text of the script file being compiled, followed by its source marker.
CString& scriptBuffer()
{
    static CString buffer;
    return buffer;
}

// The host that answers inline description values; the newest one alive.
CScriptModule* g_activeHost = nullptr;

void runInlineScript(const char* code, bool useCache, CString* text, int* number, float* real)
{
    SquirrelObject result;
    if (g_activeHost)
        result = g_activeHost->callScriptCode(code, nullptr, useCache);
    if (text)
        *text = result.ToString() ? result.ToString() : "";
    if (number)
        *number = result.ToInteger();
    if (real)
        *real = result.ToFloat();
}

// A node's destroy script gets "_id" and "_doRemove"; what it leaves in
// "_doRemove" decides whether the node goes.
int runDestroyScript(const char* code, irr::s32 id, int doRemove)
{
    if (!g_activeHost || !SquirrelVM::IsOpen())
        return doRemove;
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_id", SQInteger(id));
    table.SetValue("_doRemove", SQInteger(doRemove));
    g_activeHost->callPrecompiledMethod(code, table, nullptr);
    const SquirrelObject result = table.GetValue("_doRemove");
    if (result.GetType() == OT_BOOL)
        return result.ToBool() ? 1 : 0;
    if (result.GetType() == OT_INTEGER || result.GetType() == OT_FLOAT)
        return result.ToInteger() != 0 ? 1 : 0;
    return doRemove;
}

// Scripts name files the Windows way; the io library opens them through the bridge.
const SQChar* bridgeScriptPath(const SQChar* name)
{
    static CString native;
    native = ToNativePath(name);
    return native;
}

// Compiled scripts are saved like every other file the engine writes.
SQBool saveScriptFile(const SQChar* path, const void* data, SQInteger size)
{
    return SaveFileWhole(path, data, size_t(size)) ? SQTrue : SQFalse;
}

}  // namespace

CScriptModule::CScriptModule()
{
    SquirrelVM::Init();
    OwnVm = SquirrelVM::GetVMPtr();
    sq_setprintfunc(OwnVm, ScriptPrintFunc);
    sqstd_pathhook = bridgeScriptPath;
    sqstd_savehook = saveScriptFile;
    SetScriptDebugHintSource(&DebugHint);
    SetInlineScriptRunner(runInlineScript);
    InstallScriptTimerRowMaker();
    GetSceneHooks().RunDestroyScript = runDestroyScript;
    g_activeHost = this;
}

CScriptModule::~CScriptModule()
{
    Related = nullptr;
    // Held values go while their VM still exists.
    Pending.clear();
    clearCodeCache();
    if (g_activeHost == this) {
        g_activeHost = nullptr;
        SetInlineScriptRunner(nullptr);
        SetScriptDebugHintSource(nullptr);
    }
    if (SquirrelVM::GetVMPtr() == OwnVm) {
        collectGarbage();
        SquirrelVM::Shutdown();
    }
}

void CScriptModule::registerCoreFunctions(CEngineClient* client)
{
    if (client)
        client->registerScriptBindings();
    registerEngineNatives();
}

void CScriptModule::addScriptFile(const char* path, bool reload)
{
    CString text;
    ReadTextFile(path, text);   // a missing file warns and compiles as an empty script
    if (reload && text.Find("$noreload") >= 0)
        return;
    applyLoadMarkers(text, reload);
    scriptBuffer() = text + FileMarker + path + "]";
    compileScriptBuffer();
}

void CScriptModule::applyLoadMarkers(CString& text, bool reload)
{
    if (text.Find("$if") < 0)
        return;
    text.Replace("$ifnotreload", reload ? "//" : "");
    text.Replace("$ifdebug", GetEngineContext().isDebugMode() ? "" : "//");
}

void CScriptModule::compileScriptBuffer()
{
    CheckMainThread();
    CString& buffer = scriptBuffer();
    expandSpriteMacros(buffer, nullptr, nullptr);
    WriteStringToFile(GetLogFolder() + CompileLogName, buffer);
    CString sourceName = GetTextBetween("//FILE[", "]", buffer);
    if (sourceName.IsEmpty())
        sourceName = "preloaded_script";
    try {
        SquirrelVM::RunScript(SquirrelVM::CompileBuffer(buffer, sourceName));
    } catch (const SquirrelError& e) {
        ShowScriptError(e.desc, buffer);
    }
}

void CScriptModule::recompileAllScripts(bool reload)
{
    clearCodeCache();
    scriptBuffer() = "";
    irr::core::array<irr::core::stringc> files;
    ListFolder(files, GetDataFolder(), "", "");
    for (irr::u32 i = 0; i < files.size(); ++i)
        if (GetFileType(files[i].c_str()) == FileTypeScript)
            addScriptFile(files[i].c_str(), reload);
    compileScriptBuffer();
}

void CScriptModule::clearCodeCache()
{
    CodeCache.clear();
    ForgetReportedScriptErrors();
}

void CScriptModule::collectGarbage()
{
    if (HSQUIRRELVM vm = SquirrelVM::GetVMPtr())
        sq_collectgarbage(vm);
}

CString CScriptModule::getCallStackText()
{
    return GetScriptCallStackText();
}

IScriptRunner* CScriptModule::setRunner(IScriptRunner* runner)
{
    IScriptRunner* previous = Runner;
    Runner = runner;
    return previous;
}
