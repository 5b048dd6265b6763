// The option text and the engine's game options.
#include "module_userprofile.h"

#include "server_game_manifest.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_fs_save.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

using namespace irr;

namespace {

const char* const DefaultProfileName = "$DEFAULT_PROFILE$";
const char* const OptionsFileName = "game.ini";
const char* const ProfileNamesFileName = "game_options.ini";
const char* const HighScoresFileName = "hiscores.ini";
// Both lie in the user folder, whose player files are named exactly.
[[maybe_unused]] const bool UserFilesExact =
    RegisterPlayerFileName(ProfileNamesFileName) && RegisterPlayerFileName(HighScoresFileName);

// A command-line piece KEY=VALUE overrides the option KEY. Only the earlier
// lines of exactly that key are commented out: a prefix match would also
// silence longer keys (Sound=0 killing SoundFx) and lose unrelated options.
void applyOverride(CString& text, const core::stringc& piece)
{
    core::array<core::stringc> parts = SplitString(piece.c_str(), '=', false);
    if (parts.size() != 2)
        return;
    const char* key = parts[0].c_str();
    text.Replace(CString("\n") + key + "=", CString("\n//") + key + "=");
    CString line;
    line.Format("\n%s=%s\n", key, parts[1].c_str());
    text += line;
}

void applyCommandLine(CString& text, const char* commandLine)
{
    core::array<core::stringc> pieces = SplitString(commandLine, ' ', false);
    for (u32 i = 0; i < pieces.size(); ++i)
        applyOverride(text, pieces[i]);
}

CString readFramed(const CString& path)
{
    CString text;
    ReadFileToString(path, text);   // a missing file reads as empty
    DropUtf8Mark(text);
    return CString("\n") + text + "\n";
}

}  // namespace

CUserProfileModule::CUserProfileModule() : Version("0.0a"), ActiveProfile(DefaultProfileName) {}

CUserProfileModule::~CUserProfileModule() = default;

void CUserProfileModule::attachEngine(const int* gameState, const CString* buildFootprint)
{
    m_pGameState = gameState;
    m_pBuildFootprint = buildFootprint;
}

CString CUserProfileModule::loadOptionText()
{
    if (m_OptionText.IsEmpty()) {
        m_OptionText = readFramed(GetAppFolder() + OptionsFileName);
        applyCommandLine(m_OptionText, GetCommandLineText());
    }
    if (!m_bExtraLinesAdded && m_pGameState && *m_pGameState >= 100) {
        m_bExtraLinesAdded = true;
        m_OptionText += getManifest().AdditionalIniOptions;
    }
    return m_OptionText;
}

CString CUserProfileModule::getOption(CString key, bool lowerCase)
{
    CString text = loadOptionText();
    if (lowerCase) {
        text.MakeLower();
        key.MakeLower();
    }
    return GetKeyValue(text, key, "\n", nullptr, "=");
}

void CUserProfileModule::loadGameOptions()
{
    CString text = loadOptionText();
    AppDataFolderName(GetKeyValue(text, "AppDataFolder"));
    Debug = StrToInt(GetKeyValue(text, "Debug"));
    LogLevel = StrToInt(GetKeyValue(text, "LogLevel"));
    readVersionInfo(text);
    HiQuality = StrToInt(GetKeyValue(text, "HiQuality"));
    // 3 is the hardware driver, whatever else was asked for; 2 picks the
    // software driver at once (headless runs on a virtual display).
    Renderer = StrToInt(GetKeyValue(text, "Renderer")) == RendererBurnings ? RendererBurnings : RendererHardware;
    CString sound = getOption("Sound", false);
    Sound = sound.IsEmpty() ? 1 : StrToInt(sound);
    Antialiasing = StrToInt(GetKeyValue(text, "Antialiasing"));
    VSync = StrToInt(GetKeyValue(text, "VSync"));
    BitsPerPixel = StrToInt(GetKeyValue(text, "BitsPerPixel"));
    if (BitsPerPixel < 7)
        BitsPerPixel = 32;
    readProfileNames();
    // An unreadable table is kept, and the game runs on the shipped one.
    CString scores = GetUserFolder() + HighScoresFileName;
    CString table;
    if (ReadUserFile(scores, table) != EUserFileRead::Read)
        scores = GetAppFolder() + HighScoresFileName;
    HighScores.load("main", scores);
}

void CUserProfileModule::readVersionInfo(CString optionText)
{
    Version = GetKeyValue(optionText, "Version");
    CString footprint = m_pBuildFootprint ? *m_pBuildFootprint : CString();
    CString line;
    line.Format("Version:%s, Footprint:%s", (const char*)Version, (const char*)footprint);
    if (LogLevel <= 0)   // the engine log's level rule, at level 0
        DebugLog(line);
}

void CUserProfileModule::readProfileNames()
{
    // An unreadable list is kept, and the names come from game.ini as when it is missing.
    CString text;
    if (ReadUserFile(GetUserFolder() + ProfileNamesFileName, text) != EUserFileRead::Read)
        ReadFileToString(GetAppFolder() + OptionsFileName, text);
    DropUtf8Mark(text);
    text = CString("\n") + text + "\n";
    ActiveProfile = GetKeyValue(text, "ActiveProfile");
    PastProfiles.RemoveAll();
    GetKeyValueList(PastProfiles, text, "PastProfiles");
    if (ActiveProfile.IsEmpty())
        ActiveProfile = DefaultProfileName;
}

void CUserProfileModule::saveGameOptions()
{
    CString text;
    AppendKeyValue(text, "ActiveProfile", ActiveProfile);
    AppendKeyValueList(text, "PastProfiles", PastProfiles);
    WriteStringToFile(GetUserFolder() + ProfileNamesFileName, text);   // a failure is logged with its reason
    HighScores.save(GetUserFolder() + HighScoresFileName);
}
