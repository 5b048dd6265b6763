// Player profiles: defaults from the option text, the profile file with its
// script block, settings applied to languages and sound; the past-profile list.
#include "module_userprofile.h"

#include "module_enginebase.h"
#include "module_scripting_serialize.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_fs_save.h"
#include "utils_str_keyvalue.h"
#include "utils_str_lng.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <utility>

namespace {

const char* const DefaultProfileName = "$DEFAULT_PROFILE$";
const char* const ScriptBlockStart = "<ScriptSafe>";
const char* const ScriptBlockEnd = "</ScriptSafe>";
// Profile files, as fileNameOf and getFilePath name them: two players whose
// names differ only in case keep a file each.
[[maybe_unused]] const bool ProfileFilesExact = RegisterPlayerFileName("pr_*.ini");

// Below this a side is no usable window.
constexpr int MinResolution = 100;

}  // namespace

// --- CProfileData ---

CProfileData::~CProfileData() = default;
void CProfileData::onNewProfile(const CString&, CUserProfile*) {}
void CProfileData::onLoad(const CString&, CUserProfile*) {}
void CProfileData::onSave(CString&, CUserProfile*) {}
void CProfileData::onActivate() {}

// --- CUserProfile ---

CUserProfile::CUserProfile(CString name) : Name(name)
{
    if (Name.IsEmpty())
        FatalError("Can not create profile with empty name!", false);
    ScriptTable = SquirrelVM::CreateTable();   // null while no VM is open
    applyDefaults();
}

CUserProfile::~CUserProfile()
{
    save();
    delete ProfileData;
}

void CUserProfile::applyDefaults()
{
    CString text = getEngine()->getOptions()->loadOptionText();
    Fullscreen = StrToInt(GetKeyValue(text, "Fullscreen"));
    CursorFace = StrToInt(GetKeyValue(text, "CursorFace"));
    EffectsVolume = StrToFloat(GetKeyValue(text, "EffectsVolume"));
    MusicVolume = StrToFloat(GetKeyValue(text, "MusicVolume"));
    Language = GetKeyValue(text, "Language");
    TooltipShowed.Empty();
    XResolution = StrToInt(GetKeyValue(text, "XResolution"));
    YResolution = StrToInt(GetKeyValue(text, "YResolution"));
    fixResolution();
    delete ProfileData;
    CEngineClient* client = getEngine()->getClient();
    ProfileData = client ? client->createProfileData() : nullptr;
    if (ProfileData)
        ProfileData->onNewProfile(text, this);
    m_nCounterBase = Options.getChangeCounter() - 1;
}

void CUserProfile::fixResolution()
{
    if (XResolution < MinResolution || YResolution < MinResolution) {
        XResolution = 800;
        YResolution = 600;
        FitResolutionToScreen(XResolution, YResolution);
    }
}

void CUserProfile::load()
{
    CString text;
    ReadUserFile(getFilePath("", 1), text);   // an unreadable file is kept; the player plays on defaults
    m_nCounterBase = Options.getChangeCounter();
    if (text.IsEmpty())
        markChanged();
    DropUtf8Mark(text);   // an editor's mark would hide the first key
    text = CString("\n") + text + "\n";
    // Keys and options come from the part before the script block, so that
    // a saved script text can never pose as one of them. The block opens on
    // a line of its own: a marker inside a value (as written before such
    // values were encoded) leaves the options after it in place.
    int blockAt = text.Find(CString("\n") + ScriptBlockStart);
    CString head = blockAt < 0 ? text : text.Left(blockAt + 1);
    CString block = blockAt < 0 ? CString() : text.Mid(blockAt);
    ReadKeyInt(Fullscreen, head, "Fullscreen");
    ReadKeyInt(CursorFace, head, "CursorFace");
    ReadKeyFloat(EffectsVolume, head, "EffectsVolume");
    ReadKeyFloat(MusicVolume, head, "MusicVolume");
    ReadKeyInt(XResolution, head, "XResolution");
    ReadKeyInt(YResolution, head, "YResolution");
    // Text holding an option prefix or a script block marker would come back
    // as something else once saved: no language name or tooltip list does, so
    // such a value is damage.
    for (auto key : {std::make_pair(&Language, "Language"), std::make_pair(&TooltipShowed, "TooltipShowed")}) {
        CString text = *key.first;
        ReadKeyString(text, head, key.second);
        if (!HoldsReservedText(text))
            *key.first = text;
    }
    fixResolution();   // a hand-edited 0 would give a window of no width
    irr::u32 before = Options.getChangeCounter();
    Options.fromText(head, false);
    m_nCounterBase += Options.getChangeCounter() - before;

    readScriptBlock(block);
    if (ProfileData)
        ProfileData->onLoad(text, this);
    applySettings();
}

void CUserProfile::readScriptBlock(const CString& text)
{
    CString block = GetTextBetween(ScriptBlockStart, ScriptBlockEnd, text);
    block.TrimLeft();
    block.TrimRight();
    SquirrelObject table;
    int counter = 0;
    // Scripts expect a table: anything else starts the player afresh.
    if (block.IsEmpty() || !SqDeserialize(block, table, &counter) || table.GetType() != OT_TABLE) {
        if (!block.IsEmpty())
            DebugLog(Format("Profile %s: the saved script table cannot be read", (const char*)Name));
        table = SquirrelVM::CreateTable();
    }
    ScriptTable = table;
}

CString CUserProfile::toText()
{
    CString text;
    AppendKeyValueInt(text, "Fullscreen", Fullscreen);
    AppendKeyValueInt(text, "CursorFace", CursorFace);
    AppendKeyValueFloat(text, "EffectsVolume", EffectsVolume);
    AppendKeyValueFloat(text, "MusicVolume", MusicVolume);
    AppendKeyValueInt(text, "XResolution", XResolution);
    AppendKeyValueInt(text, "YResolution", YResolution);
    AppendKeyValue(text, "Language", Language);
    AppendKeyValue(text, "TooltipShowed", TooltipShowed);
    if (ProfileData)
        ProfileData->onSave(text, this);
    text += Options.toText(nullptr, nullptr);
    text += "\n\n<ScriptSafe>\n";
    // No table (no VM) leaves the block empty, which reads back as a new table.
    int counter = 0;
    if (!ScriptTable.IsNull())
        SqSerialize(ScriptTable, text, &counter, SqSerializeQuiet);
    text += "\n</ScriptSafe>\n";
    return text;
}

void CUserProfile::save()
{
    if (getChangeCounter() == 0)
        return;
    WriteStringToFile(getFilePath("", 1), toText());   // a failure is logged with its reason
}

void CUserProfile::applySettings()
{
    SetLanguages(Language, getEngine()->getOptions()->getOption("Language", false));
    float music = MusicVolume * MusicFade;
    float effects = EffectsVolume * EffectsFade;
    getEngine()->getSoundServer()->setVolumes(0.0f, &music, &effects);
}

CString CUserProfile::getFolder()
{
    return GetUserFolder();
}

CString CUserProfile::getFilePath(CString name, int full)
{
    if (name.IsEmpty())
        name = Name;
    CString file = fileNameOf(name);
    return full ? getFolder() + file + ".ini" : file;
}

CString CUserProfile::fileNameOf(const CString& name)
{
    CString file = CString("pr_") + CBase64(true).Encode(name, name.GetLength());
    MakeSafeName(file, "");
    return file;
}

void CUserProfile::markTooltipShowed(const char* tooltip)
{
    TooltipShowed += ChecksumToString(tooltip ? tooltip : "") + ";";
    markChanged();
}

bool CUserProfile::shouldShowTooltip(const char* tooltip)
{
    if (m_nShowTooltipAlways < 0)
        m_nShowTooltipAlways = StrToInt(getEngine()->getOptions()->getOption("ShowTooltipAlways", false));
    if (m_nShowTooltipAlways)
        return true;
    CString entry = ChecksumToString(tooltip ? tooltip : "") + ";";
    CString record = CString(";") + TooltipShowed;
    return record.Find(CString(";") + entry) < 0;
}

// --- the past-profile list ---

CString CUserProfileModule::getPastProfileName(int index, int display)
{
    if (index < 0 || index >= PastProfiles.GetSize())
        return CString();
    CString name = PastProfiles[index];
    if (display && name == DefaultProfileName)
        return GetLng("Player");
    return name;
}

void CUserProfileModule::removePastProfile(CString name, int switchTo)
{
    CStringArray kept;
    int removedAt = 0;
    for (int i = 0; i < PastProfiles.GetSize(); ++i) {
        if (PastProfiles[i] == name)
            removedAt = i;
        else
            kept.Add(PastProfiles[i]);
    }
    if (switchTo && kept.IsEmpty())
        return;
    PastProfiles.Copy(kept);
    if (!switchTo)
        return;
    // The old index now names the entry that followed the removed one.
    if (removedAt >= PastProfiles.GetSize())
        removedAt = 0;
    getEngine()->loadProfile(PastProfiles[removedAt]);
}
