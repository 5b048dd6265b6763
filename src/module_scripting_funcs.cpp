// Registration of the engine's natives into the VM's root table.
#include "module_scripting_funcs.h"

#include "utils_debug.h"

#include <algorithm>
#include <vector>

namespace {

// The order in which the natives enter the root table; the groups register
// in their own order and are sorted into this one.
const char* const CoreNativeOrder[] = {
    "core_CloseGame",
    "core_SetBackgroundImage",
    "core_SetBackgroundMusic",
    "core_PlayEffect",
    "core_Alert",
    "core_AskYesNo",
    "core_Warning",
    "core_GetSoundVolume",
    "core_SetSoundVolume",
    "core_SetSoundVolumeFade",
    "core_KeyPressed",
    "core_GetIsLeftButtonDown",
    "core_GetGameState",
    "core_SetGameState",
    "core_IsGamePaused",
    "core_IsDebug",
    "core_AskChoice",
    "core_AskString",
    "core_OpenDialog",
    "core_CloseDialog",
    "core_IsDialogOpened",
    "core_GetDialogRootFolder",
    "core_FadeSprite",
    "core_ShowSprite",
    "core_IsNodeExist",
    "core_IsNodeEnabled",
    "core_EnableNode",
    "core_SetNodeText",
    "core_GetNodeText",
    "core_GetNode",
    "core_GetNodeAtlas",
    "core_SetNodeAtlas",
    "core_GetNodeAttribute",
    "core_GetNodeAttributeN",
    "core_GetNodeAttributeS",
    "core_GetNodeAttributeF",
    "core_GetNodeSubnode",
    "core_SetNode",
    "core_SetNodePosition",
    "core_SetNodeName",
    "core_SetNodeAttribute",
    "core_GetNodesNames",
    "core_AttachToNode",
    "core_GetNodeRelativePos",
    "core_SetNodeAction",
    "core_SetNodeAnimatorAction",
    "core_CreateSprite",
    "core_CreateNode",
    "core_DeleteSprite",
    "core_DeleteNode",
    "core_GetNodeOnScreenPosition",
    "core_GetTranslation",
    "core_Translate",
    "core_GetDataPath",
    "core_IsDataPathExist",
    "core_AddDataPath",
    "core_MakeScreenshot",
    "core_GetLastClickPosition",
    "core_GetCurrentCursorPosition",
    "core_SetCurrentCursorPosition",
    "core_SetCurrentCursorClipArea",
    "core_ReadTextFile",
    "core_ReadFile",
    "core_SaveFile",
    "core_GetFileListing",
    "core_GetPathPart",
    "core_GetFileTime",
    "core_GetActiveProfileName",
    "core_GetPastProfileName",
    "core_SwitchProfile",
    "core_DeleteProfile",
    "core_GetActiveProfileFolder",
    "core_GetActiveProfileFileprefix",
    "core_GetProfileOption",
    "core_GetProfileOptionS",
    "core_GetProfileOptionN",
    "core_GetProfileOptionF",
    "core_SetProfileOption",
    "core_GetProfileObject",
    "core_SaveProfile",
    "core_GetIniParameter",
    "core_GetSprIniParameter",
    "core_Rnd",
    "core_CreateRndSequence",
    "core_RndSetSeed",
    "core_Escape",
    "core_Unescape",
    "core_StrMask",
    "core_StrReplace",
    "core_StrMD5",
    "core_StrADLER32",
    "core_StrTransform",
    "core_GetStrSlice",
    "core_StrSlice",
    "core_SetFullscreen",
    "core_SetCursor",
    "core_GetFullscreen",
    "core_GetCursor",
    "core_JustifyText",
    "core_GetTick",
    "core_SetInterval",
    "core_SetTimeout",
    "core_CancelInterval",
    "core_SetTimeoutLocal",
    "core_SetIntervalLocal",
    "core_SetIntervalTimer",
    "core_GetDate",
    "core_AddTime2Date",
    "core_SerializeObj",
    "core_DeserializeObj",
    "core_DeserializeXml",
    "core_SetClipboard",
    "core_Dofile",
    "core_se_DebugHint",
    "core_se_GetRelated",
    "core_ClearAnyInputOcured",
    "core_SetAnyInputOcured",
    "core_AnyInputOcured",
    "core_IsAnyKeySince",
};

struct SPendingNative {
    SQFUNCTION Native;   // null for a second name of an earlier native
    std::string Name;
    std::string Mask;    // "" for none
    bool NullMask;
    std::string AliasOf;
};

std::vector<SPendingNative>* g_pending = nullptr;   // set while the groups register
std::vector<SCoreNativeInfo> g_registered;

size_t orderOf(const std::string& name)
{
    const size_t count = sizeof CoreNativeOrder / sizeof CoreNativeOrder[0];
    for (size_t i = 0; i < count; ++i)
        if (name == CoreNativeOrder[i])
            return i;
    return count;   // names of no group of the list go last, in their own order
}

void registerNow(const SPendingNative& entry)
{
    SquirrelObject& root = SquirrelVM::GetRootTable();
    if (entry.Native)
        SquirrelVM::CreateFunctionGlobal(entry.Native, entry.Name.c_str(), entry.NullMask ? nullptr : entry.Mask.c_str());
    else
        root.SetValue(entry.Name.c_str(), root.GetValue(entry.AliasOf.c_str()));
    g_registered.push_back({entry.Name, entry.Mask});
}

}  // namespace

SQInteger SwallowNativeException(const char* native, const char* what)
{
    DebugLog(CString("Script ") + native + " failed: " + (what ? what : ""), __FILE__, __LINE__);
    return 0;
}

void RegisterCoreNative(SQFUNCTION native, const char* name, const char* typeMask)
{
    SPendingNative entry{native, name, typeMask ? typeMask : "", typeMask == nullptr, std::string()};
    if (g_pending)
        g_pending->push_back(entry);
    else
        registerNow(entry);
}

void RegisterCoreAlias(const char* name, const char* existing)
{
    SPendingNative entry{nullptr, name, std::string(), true, existing};
    if (g_pending) {
        for (const SPendingNative& other : *g_pending)
            if (other.Name == existing)
                entry.Mask = other.Mask;
        g_pending->push_back(entry);
    } else {
        registerNow(entry);
    }
}

const std::vector<SCoreNativeInfo>& GetRegisteredCoreNatives()
{
    return g_registered;
}

void registerEngineNatives()
{
    std::vector<SPendingNative> pending;
    g_pending = &pending;
    registerStateNatives();
    registerTimerNatives();
    registerServiceNatives();
    registerNodeNatives();
    registerFileNatives();
    registerTextNatives();
    registerCreateNatives();
    registerProfileNatives();
    g_pending = nullptr;
    std::stable_sort(pending.begin(), pending.end(), [](const SPendingNative& a, const SPendingNative& b) {
        return orderOf(a.Name) < orderOf(b.Name);
    });
    g_registered.clear();
    for (const SPendingNative& entry : pending)
        registerNow(entry);
}
