// Natives for the player's environment: data file listings and path parts,
// prompts, the active profile with its options and script table, and the
// profile's display and sound settings.
#include "module_scripting_funcs.h"

#include "module_enginebase.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_math_misc.h"
#include "utils_str_lng.h"
#include "utils_str_parse.h"
#include "utils_system_common.h"
#include "utils_system_windows.h"

#include "prompt.h"

#include <ICursorControl.h>
#include <IrrlichtDevice.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

namespace {

const char* const DefaultProfileName = "$DEFAULT_PROFILE$";
constexpr int MaxChoiceCaptions = 1000;
constexpr int DefaultChoiceGroupLength = 3;

const char* textArg(const StackHandler& sa, SQInteger index)
{
    const char* text = sa.GetString(index);
    return text ? text : "";
}

CUserProfile* profile()
{
    return getEngine()->getProfile();
}

// Returns the argument at index as it is (the script's own default value).
SQInteger returnArgument(HSQUIRRELVM vm, SQInteger index)
{
    sq_push(vm, index);
    return 1;
}

// --- files and prompts ---

// A data folder that climbs above the data's top ("..\data\many") holds
// names that would open nowhere: it is listed by the folder it reaches, as
// data names inside the data, else by its full path. The prefix to list it
// with.
CString dataListingPrefix(CString& folder)
{
    const CString data = GetDataFolder();
    std::string relative = (const char*)folder;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    std::filesystem::path normal = std::filesystem::path(relative).lexically_normal();
    if (normal.empty() || *normal.begin() != "..")
        return data;
    std::string reached = (std::filesystem::path((const char*)data) / relative).lexically_normal().string();
    CString native = ToNativePath(reached.c_str());   // in its case on disk
    if (!IsAtOrBelowFolder(native, data)) {
        folder = native;
        return CString();
    }
    folder = native.GetLength() > data.GetLength() ? native.Mid(data.GetLength()) : CString();
    return data;
}

SQInteger GetFileListing(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const char* name = textArg(sa, 2);
    // A user folder given relative ("-ul=ud") lies in the working folder and
    // is spelled as data names are, so its spelling tells nothing: a read of
    // such a name takes the data's file, else the player's. The listing does
    // the same: the data's names, then the player's. Its names are the
    // player's own, with no data path style to warn of.
    const bool inUserFolder = !IsAbsolutePath(name) && IsAtOrBelowFolder(name, GetUserFolder());
    CString path = inUserFolder ? CString(name) : ResolveDataPath(name);
    CString folder = GetPathPart(path, 1, 1, 0, 0);
    CString pattern = GetPathPart(path, 0, 0, 1, 1);
    irr::core::array<irr::core::stringc> names;
    if (IsAbsolutePath(path)) {
        ListFolder(names, folder, pattern, CString());
    } else {
        CString dataFolder = folder;
        CString prefix = dataListingPrefix(dataFolder);
        ListFolder(names, dataFolder, pattern, prefix);
    }
    if (inUserFolder)
        ListFolder(names, folder, pattern, CString());
    SquirrelObject list = SquirrelVM::CreateArray(0);
    for (irr::u32 i = 0; i < names.size(); ++i)
        SqArrayAppend(list, names[i].c_str());
    return sa.Return(list);
}

SQInteger GetPathPartNative(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString part = GetPathPart(textArg(sa, 2), sa.GetBool(3), sa.GetBool(4), sa.GetBool(5), sa.GetBool(6));
    return sa.Return((const char*)part);
}

// The default answer travels as data to the prompt; a cancelled prompt, or
// nobody to ask, ends the call at once.
SQInteger AskString(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    std::optional<std::string> answer = platform::AskString("Enter string", "Enter string and press Ok", textArg(sa, 3));
    CString text = answer ? answer->c_str() : "";
    text.TrimLeft();
    text.TrimRight();
    return sa.Return((const char*)text);
}

// Captions up to the first that is empty or not text; a table gives its "Name".
void readChoiceCaptions(const SquirrelObject& captions, CStringArray& items)
{
    for (SQInteger i = 0; i < MaxChoiceCaptions; ++i) {
        SquirrelObject item = captions.GetValue(i);
        if (item.GetType() == OT_TABLE)
            item = item.GetValue("Name");
        const char* caption = item.ToString();
        if (!caption || !*caption)
            break;
        items.Add(caption);
    }
}

SQInteger AskChoice(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SquirrelObject captions;
    if (sa.GetType(2) == OT_ARRAY)
        captions = SquirrelObject(sa.GetObjectHandle(2));
    CStringArray items;
    readChoiceCaptions(captions, items);
    int groupLength = sa.GetParamCount() >= 4 ? int(sa.GetInt(4)) : DefaultChoiceGroupLength;
    irr::IrrlichtDevice* device = getDevice();
    irr::gui::ICursorControl* cursor = device ? device->getCursorControl() : nullptr;
    bool wasVisible = cursor && cursor->isVisible();
    if (cursor)
        cursor->setVisible(true);
    int chosen = ShowPopupMenu(items, nullptr, groupLength);
    if (cursor)
        cursor->setVisible(wasVisible);
    return sa.Return(SQInteger(chosen));
}

SQInteger IsDebug(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(true);
}

// --- profiles ---

SQInteger GetActiveProfileName(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString name = getEngine()->getOptions()->ActiveProfile;
    if (name == DefaultProfileName)
        name = GetLng("Player");
    return sa.Return((const char*)name);
}

SQInteger GetPastProfileName(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString name = getEngine()->getOptions()->getPastProfileName(int(sa.GetInt(2)), sa.GetBool(3) ? 1 : 0);
    return sa.Return((const char*)name);
}

SQInteger SwitchProfile(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString name = textArg(sa, 2);
    if (!name.IsEmpty() && name != DefaultProfileName)
        getEngine()->loadProfile(name);
    return sa.Return(true);
}

SQInteger DeleteProfile(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString name = textArg(sa, 2);
    if (!name.IsEmpty())
        getEngine()->getOptions()->removePastProfile(name, 1);
    return sa.Return(true);
}

SQInteger GetActiveProfileFolder(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return((const char*)profile()->getFolder());
}

SQInteger GetActiveProfileFileprefix(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return((const char*)(profile()->getFolder() + profile()->getFilePath("", 0)));
}

// The option's stored type and value; TypeAbsent when there is none.
int lookupOption(const StackHandler& sa, CString& text, int& value, float& number)
{
    return profile()->Options.lookup(textArg(sa, 2), &text, &value, &number);
}

SQInteger GetProfileOption(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text;
    int value = 0;
    float number = 0.0f;
    switch (lookupOption(sa, text, value, number)) {
    case CCustomAttribs::TypeString: return sa.Return((const char*)text);
    case CCustomAttribs::TypeInt: return sa.Return(SQInteger(value));
    case CCustomAttribs::TypeFloat: return sa.Return(SQFloat(number));
    default: break;
    }
    if (sa.GetParamCount() >= 3)
        return returnArgument(vm, 3);
    sq_pushnull(vm);
    return 1;
}

SQInteger GetProfileOptionS(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text;
    int value = 0;
    float number = 0.0f;
    switch (lookupOption(sa, text, value, number)) {
    case CCustomAttribs::TypeString: return sa.Return((const char*)text);
    case CCustomAttribs::TypeInt: return sa.Return((const char*)Format("%d", value));
    case CCustomAttribs::TypeFloat: return sa.Return((const char*)Format("%f", double(number)));
    default: break;
    }
    return sa.GetParamCount() >= 3 ? returnArgument(vm, 3) : sa.Return("");
}

SQInteger GetProfileOptionN(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text;
    int value = 0;
    float number = 0.0f;
    switch (lookupOption(sa, text, value, number)) {
    case CCustomAttribs::TypeString: return sa.Return(SQInteger(StrToInt(text)));
    case CCustomAttribs::TypeInt: return sa.Return(SQInteger(value));
    case CCustomAttribs::TypeFloat: return sa.Return(SQInteger(FloatToInt(number)));
    default: break;
    }
    return sa.GetParamCount() >= 3 ? returnArgument(vm, 3) : sa.Return(SQInteger(0));
}

SQInteger GetProfileOptionF(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text;
    int value = 0;
    float number = 0.0f;
    switch (lookupOption(sa, text, value, number)) {
    case CCustomAttribs::TypeString: return sa.Return(SQFloat(StrToFloat(text)));
    case CCustomAttribs::TypeInt: return sa.Return(SQFloat(value));
    case CCustomAttribs::TypeFloat: return sa.Return(SQFloat(number));
    default: break;
    }
    return sa.GetParamCount() >= 3 ? returnArgument(vm, 3) : sa.Return(SQFloat(0.0f));
}

SQInteger SetProfileOption(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const char* name = textArg(sa, 2);
    CCustomAttribs& options = profile()->Options;
    // The value replaces what the name held, of any kind, so that the saved
    // profile holds one line for it: the setters alone keep another kind in
    // place under an empty value ("", 0 or 0.0).
    switch (sa.GetType(3)) {
    case OT_INTEGER:
        options.removeOtherTypes(name, CCustomAttribs::TypeInt);
        options.setInt(name, int(sa.GetInt(3)));
        break;
    case OT_FLOAT:
        options.removeOtherTypes(name, CCustomAttribs::TypeFloat);
        options.setFloat(name, float(sa.GetFloat(3)));
        break;
    case OT_STRING:
        options.removeOtherTypes(name, CCustomAttribs::TypeString);
        options.setString(name, textArg(sa, 3));
        break;
    default: return sa.Return(false);
    }
    return sa.Return(true);
}

SQInteger GetProfileObject(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    if (sa.GetBool(2))
        profile()->markChanged();
    return sa.Return(profile()->ScriptTable);
}

SQInteger SaveProfile(HSQUIRRELVM vm)
{
    profile()->save();
    return 0;
}

// --- display and sound settings ---

SQInteger GetFullscreen(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(SQInteger(profile()->Fullscreen));
}

SQInteger SetFullscreen(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SQInteger type = sa.GetType(2);
    if (type != OT_INTEGER && type != OT_BOOL)
        return 0;
    profile()->Fullscreen = type == OT_BOOL ? (sa.GetBool(2) ? 1 : 0) : int(sa.GetInt(2));
    profile()->markChanged();
    return 0;
}

SQInteger GetCursor(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(SQInteger(profile()->CursorFace));
}

SQInteger SetCursor(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    int face = int(sa.GetInt(2));
    getEngine()->selectCursor(face, int(sa.GetInt(3)));
    if (profile()->CursorFace != face) {
        profile()->CursorFace = face;
        profile()->markChanged();
    }
    return 0;
}

SQInteger GetSoundVolume(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(SQFloat(sa.GetInt(2) ? profile()->EffectsVolume : profile()->MusicVolume));
}

SQInteger SetSoundVolume(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    float& volume = sa.GetInt(2) ? profile()->EffectsVolume : profile()->MusicVolume;
    volume = float(sa.GetFloat(3));
    profile()->markChanged();
    profile()->applySettings();
    return 0;
}

SQInteger SetSoundVolumeFade(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    float& factor = sa.GetInt(2) ? profile()->EffectsFade : profile()->MusicFade;
    factor = float(sa.GetFloat(3));
    profile()->markChanged();
    profile()->applySettings();
    return 0;
}

}  // namespace

void registerProfileNatives()
{
    REGISTER_CORE_NATIVE(GetFileListing, "core_GetFileListing", "*");
    REGISTER_CORE_NATIVE(GetPathPartNative, "core_GetPathPart", "*");
    REGISTER_CORE_NATIVE(AskString, "core_AskString", "*");
    REGISTER_CORE_NATIVE(AskChoice, "core_AskChoice", "*");
    REGISTER_CORE_NATIVE(IsDebug, "core_IsDebug", "");
    REGISTER_CORE_NATIVE(GetActiveProfileName, "core_GetActiveProfileName", "*");
    REGISTER_CORE_NATIVE(GetPastProfileName, "core_GetPastProfileName", "*");
    REGISTER_CORE_NATIVE(SwitchProfile, "core_SwitchProfile", "*");
    REGISTER_CORE_NATIVE(DeleteProfile, "core_DeleteProfile", "*");
    REGISTER_CORE_NATIVE(GetActiveProfileFolder, "core_GetActiveProfileFolder", "");
    REGISTER_CORE_NATIVE(GetActiveProfileFileprefix, "core_GetActiveProfileFileprefix", "*");
    REGISTER_CORE_NATIVE(GetProfileOption, "core_GetProfileOption", "*");
    REGISTER_CORE_NATIVE(GetProfileOptionS, "core_GetProfileOptionS", "*");
    REGISTER_CORE_NATIVE(GetProfileOptionN, "core_GetProfileOptionN", "*");
    REGISTER_CORE_NATIVE(GetProfileOptionF, "core_GetProfileOptionF", "*");
    REGISTER_CORE_NATIVE(SetProfileOption, "core_SetProfileOption", "*");
    REGISTER_CORE_NATIVE(GetProfileObject, "core_GetProfileObject", "*");
    REGISTER_CORE_NATIVE(SaveProfile, "core_SaveProfile", "*");
    REGISTER_CORE_NATIVE(GetFullscreen, "core_GetFullscreen", "");
    REGISTER_CORE_NATIVE(SetFullscreen, "core_SetFullscreen", "*");
    REGISTER_CORE_NATIVE(GetCursor, "core_GetCursor", "");
    REGISTER_CORE_NATIVE(SetCursor, "core_SetCursor", "*");
    REGISTER_CORE_NATIVE(GetSoundVolume, "core_GetSoundVolume", "*");
    REGISTER_CORE_NATIVE(SetSoundVolume, "core_SetSoundVolume", "*");
    REGISTER_CORE_NATIVE(SetSoundVolumeFade, "core_SetSoundVolumeFade", "*");
}
