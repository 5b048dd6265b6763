// The engine's current player profile with the past-profile rule, and the
// preloading of data files by type.
#include "module_enginebase.h"

#include "module_dialogfactory.h"

#include "node_factory.h"
#include "rendering_stuff_particles.h"
#include "rendering_stuff_textures.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_str_lng.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <IFileArchive.h>
#include <IFileList.h>
#include <IFileSystem.h>

#include <climits>
#include <set>
#include <string>

namespace {

const char* const DefaultProfileName = "$DEFAULT_PROFILE$";
// "," separates the past profiles in game_options.ini, so no name may hold one.
const char* const ProfileNameExtraForbidden = ",";
constexpr int PastProfilesKept = 10;
constexpr int PastProfilesKeepPlace = 3;

// The new past list: the name keeps its place among the three most recent,
// else it moves to the front; ten older entries at most are kept.
void updatePastProfiles(CStringArray& past, const CString& name)
{
    if (past.IsEmpty())
        past.Add(name);
    CStringArray updated;
    bool copied = false;
    for (int i = 0; i < past.GetSize() && i < PastProfilesKept; ++i) {
        const CString& entry = past[i];
        if (entry.IsEmpty())
            continue;
        if (entry == name) {
            if (i < PastProfilesKeepPlace && !copied) {
                updated.Add(entry);
                copied = true;
            }
            continue;
        }
        updated.Add(entry);
    }
    if (!copied)
        updated.InsertAt(0, name);
    past.Copy(updated);
}

bool isSkippedDataName(const CString& name)
{
    return name.IsEmpty() || name[name.GetLength() - 1] == '.' || name.Find(".info") >= 0 ||
           name.Find("u-") >= 0 || name.Find("svn") >= 0;
}

void appendDigest(CString* digest, const char* text)
{
    if (!digest)
        return;
    char hex[33];
    Md5HexOfString(hex, text);
    *digest += hex;
}

}  // namespace

CUserProfile* CEngineBase::getProfile()
{
    if (!CurrentProfile) {
        if (Options.ActiveProfile.IsEmpty())
            Options.ActiveProfile = DefaultProfileName;
        CurrentProfile = new CUserProfile(Options.ActiveProfile);
    }
    return CurrentProfile;
}

void CEngineBase::loadProfile(CString name)
{
    CString safeName = name;
    MakeSafeName(safeName, ProfileNameExtraForbidden);
    safeName.TrimLeft();
    safeName.TrimRight();
    // A name with nothing usable in it, or one whose file the file system
    // cannot hold, is refused while the player still has a profile.
    const char* problem = nullptr;
    if (!name.IsEmpty() && safeName.IsEmpty())
        problem = "nothing of it can name a file";
    else if (!name.IsEmpty() && CUserProfile::fileNameOf(safeName).GetLength() + 4 > NAME_MAX)   // + ".ini"
        problem = "its profile file name would be too long";
    if (problem) {
        DebugLog(Format("Profile name \"%s\" refused: %s", (const char*)name, problem));
        if (!CurrentProfile && Options.ActiveProfile == name)
            Options.ActiveProfile.Empty();   // kept from an older run: the default player plays
        return;
    }
    Options.removePastProfile(DefaultProfileName, 0);
    if (CurrentProfile) {
        CUserProfile* old = CurrentProfile;
        CurrentProfile = nullptr;
        old->drop();   // the last reference saves it
    }
    if (name.IsEmpty())
        return;
    Options.ActiveProfile = safeName;
    CurrentProfile = new CUserProfile(safeName);
    CurrentProfile->load();
    if (CurrentProfile->getProfileData())
        CurrentProfile->getProfileData()->onActivate();
    updatePastProfiles(Options.PastProfiles, safeName);
}

void CEngineBase::preloadFile(CString path, CString* digest)
{
    CString name = path;
    StripBaseDir(name);
    name.MakeLower();
    if (isSkippedDataName(name))
        return;
    CString resolved = ResolveDataPath(name);
    CString text;
    switch (GetFileType(resolved)) {
    case 7:   // ".cfg": particle groups, else texture lists
        ReadTextFile(resolved, text);
        if (loadParticleGroups(text) == 0)
            loadTextureLists(resolved, text, CString('\x01', 1), false);
        break;
    case 1:   // ".wav"
        Sound.preloadEffect(name);
        break;
    case 3:   // ".txt": kept in the text-file cache
        ReadTextFile(resolved, text);
        break;
    case 4:   // ".spr"
        loadSpriteText(resolved, text);
        appendDigest(digest, text);
        break;
    case 6:   // ".dlg"
        ReadTextFile(resolved, text);
        appendDigest(digest, text);
        CDialogFactory::registerDialogDescription(resolved);
        break;
    case 5:   // ".nut"
        Scripts.addScriptFile(resolved, false);
        if (digest) {
            ReadTextFile(resolved, text);
            appendDigest(digest, text);
        }
        break;
    case 2:   // images of the first image list (none are listed)
        retrieveTexture(resolved);
        break;
    default:
        break;
    }
}

void CEngineBase::listPreloadFiles(irr::core::array<irr::core::stringc>& list)
{
    std::set<std::string> seen;
    for (irr::u32 i = 0; i < list.size(); ++i)
        seen.insert(list[i].c_str());
    irr::core::array<irr::core::stringc> found;
    ListFolder(found, GetDataFolder(), "", "");
    // Files inside archives: a game shipped in a ".pak" preloads like one in a folder.
    for (irr::u32 a = 0; FileSystem && a < FileSystem->getFileArchiveCount(); ++a) {
        const irr::io::IFileList* files = FileSystem->getFileArchive(a)->getFileList();
        for (irr::u32 i = 0; files && i < files->getFileCount(); ++i)
            if (!files->isDirectory(i))
                found.push_back(files->getFullFileName(i));
    }
    // One name per file, whether the folder or its mount listed it.
    for (irr::u32 i = 0; i < found.size(); ++i) {
        CString entry = found[i].c_str();
        entry.Replace("/", "\\");
        entry.MakeLower();
        StripBaseDir(entry);
        entry.TrimLeft("\\");
        if (isSkippedDataName(entry) || entry[0] == '.' || entry.Find("\\.") >= 0)
            continue;
        if (seen.insert((const char*)entry).second)
            list.push_back(irr::core::stringc((const char*)entry));
    }
}
