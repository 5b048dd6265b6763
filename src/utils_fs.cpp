// Folders, data paths, existence tests, command-line switches and the
// screen fit of window sizes.
#include "utils_fs.h"

#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs_bridge.h"
#include "utils_fs_mount.h"
#include "utils_fs_save.h"
#include "utils_str_keyvalue.h"
#include "utils_str_tools.h"
#include "utils_system_common.h"

#include <IFileArchive.h>
#include <IFileList.h>
#include <IFileSystem.h>

#include <SDL.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

// Room for a file name under the user folder within the system's path limit.
constexpr int MaxUserFolderLength = PATH_MAX - 1 - NAME_MAX;

CString& appFolder()
{
    static CString folder = GetModuleFolder();
    return folder;
}

CString& userFolderSlot()
{
    static CString folder;
    return folder;
}

CString& appDataNameSlot()
{
    static CString name;
    return name;
}

struct SCommandLine {
    bool Read = false;
    CString Text;
};

SCommandLine& commandLine()
{
    static SCommandLine line;
    return line;
}

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool endsWithSeparator(const CString& path)
{
    return !path.IsEmpty() && isSeparator(path.GetAt(path.GetLength() - 1));
}

// "/" joins native paths, "\" the engine's own data names.
char separatorFor(const CString& path)
{
    return ((const char*)path)[0] == '/' ? '/' : '\\';
}

CString joinArguments(const std::vector<std::string>& args)
{
    CString text;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg.find(' ') != std::string::npos && arg.find('"') == std::string::npos) {
            size_t equals = arg.find('=');
            size_t quoteAt = equals == std::string::npos ? 0 : equals + 1;
            arg = arg.substr(0, quoteAt) + '"' + arg.substr(quoteAt) + '"';
        }
        if (i > 0)
            text += ' ';
        text += arg.c_str();
    }
    return text;
}

std::vector<std::string> processArguments()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\0', start);
        if (end == std::string::npos)
            end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

// The value after the separator: quoted up to the next quote (or the end),
// else up to the next blank.
CString switchValue(const CString& rest)
{
    const char* p = rest;
    if (*p == '=')
        ++p;
    if (*p == '"') {
        const char* close = std::strchr(p + 1, '"');
        return close ? CString(p + 1, int(close - p - 1)) : CString(p + 1);
    }
    const char* blank = std::strchr(p, ' ');
    return blank ? CString(p, int(blank - p)) : CString(p);
}

CString readReferencedFile(const CString& name)
{
    CString path = name;
    if (name.Find('\\') < 0 && name.Find('/') < 0)
        path = GetAppFolder() + name;
    CString text;
    if (!ReadFileToString(path, text))
        text.Empty();
    return text;
}

// A folder given on the command line, or the reason it is refused.
const char* userFolderProblem(const CString& folder)
{
    if (folder.GetLength() > MaxUserFolderLength)
        return "too long";
    for (const char* p = folder; *p; ++p)
        if ((unsigned char)*p < 0x20)
            return "control characters";
    return nullptr;
}

bool chooseUserFolderFromSwitch(CString& folder)
{
    CString value;
    if (!GetCommandLineSwitch("ul", value, true))
        return false;
    value.TrimRight("\r\n");   // the line end of an "@file"; a blank one means no folder
    if (value.IsEmpty()) {
        folder = GetAppFolder();
        AppendPath(folder, "UserData");
        return true;
    }
    if (const char* problem = userFolderProblem(value)) {
        DebugLog(Format("The user folder of the command line is refused (%s): %.200s", problem,
                        (const char*)value));
        return false;
    }
    folder = value;
    return true;
}

CString chooseUserFolder()
{
    CString folder;
    if (chooseUserFolderFromSwitch(folder))
        return folder;
    folder = GetAppFolder();
    AppendPath(folder, "Profile");
    if (FileExists(folder))
        return ToNativePath(folder);   // in its case on disk: names below it are used exactly
    CString name = AppDataFolderName(nullptr);
    if (name.IsEmpty())
        EngineMessageBox("UserFolder not defined!", MB_OK);
    char base[MAX_PATH];
    GetWindowsAppDataPath(base);
    folder = *base ? CString(base) : GetAppFolder();
    return AppendPath(folder, name);
}

// Creates the folder and any missing parent; false with errno set.
bool makeFolders(const CString& native)
{
    std::string path = (const char*)native;
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/')
            continue;
        std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void createUserFolder(const CString& folder)
{
    if (PathExistsOnDisk(folder))
        return;
    if (!makeFolders(ToNativePath(folder)))
        DebugLog(Format("Cannot create the user folder %s: %s", (const char*)folder, std::strerror(errno)));
}

CString dataPathUnder(const CString& folder, const char* name)
{
    if (name && std::strstr(name, GetAppFolderCStr()) == name && *GetAppFolderCStr())
        return name;
    return MakeDataPath(folder, name, 0);
}

// The desktop's size in pixels; 0 x 0 when no display can tell.
void queryScreenSize(int& width, int& height)
{
    width = height = 0;
    bool hadVideo = SDL_WasInit(SDL_INIT_VIDEO) != 0;
    if (!hadVideo) {
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
            return;
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            return;
    }
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        width = mode.w;
        height = mode.h;
    }
    if (!hadVideo)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

// The folders mounted in the engine file system, in search order, each
// ending in "/"; links, when given, receives what their walks met through links.
std::vector<CString> mountedFolders(irr::io::IFileSystem* fs, SFolderArchiveLinks* links = nullptr)
{
    std::vector<CString> folders;
    for (irr::u32 i = 0; fs && i < fs->getFileArchiveCount(); ++i) {
        irr::io::IFileArchive* archive = fs->getFileArchive(i);
        if (!archive || archive->getType() != irr::io::EFAT_FOLDER || !archive->getFileList())
            continue;
        SFolderArchiveLinks met;
        if (links && GetFolderArchiveLinks(archive, met)) {
            links->Walked.insert(links->Walked.end(), met.Walked.begin(), met.Walked.end());
            links->LeftOut.insert(links->LeftOut.end(), met.LeftOut.begin(), met.LeftOut.end());
        }
        CString folder = archive->getFileList()->getPath().c_str();
        if (!folder.IsEmpty() && !isSeparator(folder.GetAt(folder.GetLength() - 1)))
            folder += '/';
        folders.push_back(folder);
    }
    return folders;
}

// A data name as it follows a mounted folder's path: "/" separators, no
// leading separator; empty for names that are no data names.
CString nameInMount(const char* name)
{
    if (!name || !*name || IsAbsolutePath(name))
        return CString();
    while (isSeparator(*name))
        ++name;
    return ToArchiveName(name);
}

// Data names of files the engine wrote into mounted folders, lower-cased.
std::set<std::string>& writtenDataNames()
{
    static std::set<std::string>& names = *new std::set<std::string>;
    return names;
}

// Data names come here with "/" separators already (ToArchiveName).
std::string foldedName(CString name)
{
    name.MakeLower();
    return (const char*)name;
}

// Whether a mount lists the name (as a file or a folder), the engine wrote
// it, or something is on disk under it as written: a name that is nowhere
// needs no search through folders in other letter cases.
bool namedAnywhere(const char* path, const CString& relative)
{
    struct stat info;
    if (::lstat(path, &info) == 0 || ::lstat(ToArchiveName(path), &info) == 0)
        return true;
    if (relative.IsEmpty())
        return false;
    if (writtenDataNames().count(foldedName(relative)) != 0)
        return true;
    irr::io::IFileSystem* fs = GetEngineContext().getFileSystem();
    for (irr::u32 i = 0; fs && i < fs->getFileArchiveCount(); ++i) {
        const irr::io::IFileList* list = fs->getFileArchive(i)->getFileList();
        const irr::io::path name = (const char*)relative;
        if (list && (list->findFile(name, false) >= 0 || list->findFile(name, true) >= 0))
            return true;
    }
    return false;
}

// The folder's real path ending in "/", links and "." or ".." resolved;
// empty when it is not there.
std::string realFolderPath(const std::string& folder)
{
    std::error_code error;
    std::string real = std::filesystem::canonical(folder.empty() ? std::string("/") : folder, error).string();
    if (error || real.empty())
        return std::string();
    if (real.back() != '/')
        real += '/';
    return real;
}

// Whether a "/" separated name holds an empty, "." or ".." step, which
// no data name has.
bool hasOddStep(const std::string& name)
{
    for (size_t start = 0; start <= name.size();) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        const std::string step = name.substr(start, end - start);
        if (step.empty() || step == "." || step == "..")
            return true;
        start = end + 1;
    }
    return false;
}

// Why reading the file fails (an errno value); 0 when it opens as a plain
// file and its first byte reads. Never blocks on a pipe.
int openError(const char* native)
{
    int fd = ::open(native, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat info;
    char byte = 0;
    int error = ::fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    if (error == 0 && ::read(fd, &byte, 1) < 0 && errno != EAGAIN)
        error = errno;
    ::close(fd);
    return error;
}

} // namespace

// --- folders ---

CString GetAppFolder()
{
    return appFolder();
}

const char* GetAppFolderCStr()
{
    return appFolder();
}

void SetAppFolder(const char* folder)
{
    appFolder() = folder ? CString(folder) : GetModuleFolder();
}

CString GetDataFolder()
{
    // Kept with the program folder it was found in (tests move that).
    static CString forApp, folder;
    if (folder.IsEmpty() || forApp != appFolder()) {
        forApp = appFolder();
        folder = ToNativePath(forApp + "data") + "/";
    }
    return folder;
}

CString GetUserFolder()
{
    CString& stored = userFolderSlot();
    if (!stored.IsEmpty())
        return stored;
    CString folder = chooseUserFolder();
    // The player's files are named exactly, so that players whose names
    // differ only in case keep their own. A folder holding the program (and
    // so the game's data) keeps the lookup without case for everything else.
    if (!IsAtOrBelowFolder(GetAppFolder(), folder))
        SetExactFolder(EExactFolder::User, folder);
    else
        SetExactFiles(folder);
    createUserFolder(folder);
    if (!endsWithSeparator(folder))
        folder += separatorFor(folder);
    stored = folder;
    return stored;
}

std::vector<CString> GetGameFolders()
{
    SFolderArchiveLinks links;
    std::vector<CString> folders = mountedFolders(GetEngineContext().getFileSystem(), &links);
    for (const std::string& walked : links.Walked)
        folders.push_back(walked.c_str());
    folders.push_back(GetDataFolder());
    if (!userFolderSlot().IsEmpty())
        folders.push_back(userFolderSlot());
    return folders;
}

std::vector<CString> GetMountedFolders(SFolderArchiveLinks& links)
{
    return mountedFolders(GetEngineContext().getFileSystem(), &links);
}

void ResetUserFolder()
{
    userFolderSlot().Empty();
    SetExactFolder(EExactFolder::User, nullptr);
    SetExactFiles(nullptr);
}

CString AppDataFolderName(const char* newName)
{
    CString& name = appDataNameSlot();
    if (newName)
        name = newName;
    return name.IsEmpty() ? GetEngineContext().getAppDataFolder() : name;
}

CString& AppendPath(CString& path, const char* part)
{
    if (!path.IsEmpty() && !endsWithSeparator(path))
        path += separatorFor(path);
    path += part ? part : "";
    return path;
}

// --- path parts ---

CString GetPathPart(const char* path, int drive, int dir, int name, int ext)
{
    if (!path)
        return CString();
    size_t length = std::strlen(path);
    if (length > 7 && (strncasecmp(path, "http://", 7) == 0 || std::strncmp(path, "::{", 3) == 0))
        return path;
    const char* query = std::strchr(path, '?');
    std::string whole(path, query ? size_t(query - path) : length);

    size_t start = 0;
    std::string driveText, dirText;
    if (whole.size() >= 2 && whole[1] == ':') {
        driveText = whole.substr(0, 2);
        start = 2;
    }
    size_t lastSeparator = whole.find_last_of("\\/");
    if (lastSeparator != std::string::npos && lastSeparator >= start) {
        dirText = whole.substr(start, lastSeparator + 1 - start);
        start = lastSeparator + 1;
    }
    std::string file = whole.substr(start);
    size_t dot = file.rfind('.');
    std::string nameText = dot == std::string::npos ? file : file.substr(0, dot);
    std::string extText = dot == std::string::npos ? std::string() : file.substr(dot);

    std::string out;
    if (drive) out += driveText;
    if (dir) out += dirText;
    if (name) out += nameText;
    if (ext) out += extText;
    return CString(out.c_str());
}

CString ResolveRelativePath(const char* path, const char* baseFile)
{
    if (!path)
        return CString();
    if (IsAbsolutePath(path))
        return path;
    if (path[0] == '\\')
        return path + 1;
    CString folder = GetPathPart(baseFile, 1, 1, 0, 0);
    return AppendPath(folder, path);
}

// --- data paths ---

CString MakeDataPath(const char* folder, const char* name, int mode)
{
    if (!GetEngineContext().isManifestLoaded())
        AssertFailed(__FILE__, __LINE__, "Error: Using pathing before manifest is loaded");
    CString path = folder ? folder : "";
    path += name ? name : "";
    if (mode >= 0) {
        CheckTexturePath(path);
        return path;
    }
    return FileExists(path) ? path : CString();
}

CString ResolveDataPath(const char* name)
{
    if (!name)
        return CString();
    if (IsAbsolutePath(name) || std::strstr(name, "raw://"))
        return name;
    return MakeDataPath(nullptr, name[0] == '\\' ? name + 1 : name, 0);
}

CString ResolveScriptDataPath(const char* name)
{
    if (!name)
        return CString();
    if (IsAbsolutePath(name) || std::strstr(name, "raw://"))
        return name;
    return MakeDataPath(nullptr, name[0] == '\\' ? name + 1 : name, 1);
}

CString GetExistingDataPath(const char* name)
{
    if (!name)
        return CString();
    return MakeDataPath(nullptr, name[0] == '\\' ? name + 1 : name, -1);
}

CString MakeSoundPath(const char* name)
{
    return dataPathUnder(GetEngineContext().getSoundFolder(), name);
}

CString MakeMusicPath(const char* name)
{
    return dataPathUnder(GetEngineContext().getMusicFolder(), name);
}

// --- existence ---

bool PathExistsOnDisk(const char* path)
{
    if (!path || !*path)
        return false;
    struct stat info;
    return ::stat(ToNativePath(path), &info) == 0;
}

int PackedFileExists(const char* path)
{
    irr::io::IFileSystem* fs = GetEngineContext().getFileSystem();
    if (!fs || !path)
        return 0;
    if (fs->existFile(path))
        return 1;
    return fs->existFile(ToArchiveName(path).operator const char*()) ? 2 : 0;
}

bool FileExists(const char* path)
{
    if (!path || !*path)
        return false;
    if (const char* query = std::strchr(path, '?'))
        return FileExists(CString(path, int(query - path)));
    size_t length = std::strlen(path);
    if (isSeparator(path[length - 1]))
        return FileExists(CString(path, int(length - 1)));
    return PackedFileExists(path) != 0 || PathExistsOnDisk(path) || !FindInMountedFolders(path).IsEmpty();
}

CString FindInMountedFolders(const char* name)
{
    // Only names the engine wrote are looked for: a miss stays as cheap as
    // the mounts' own lookup.
    if (writtenDataNames().empty())
        return CString();
    CString relative = nameInMount(name);
    if (relative.IsEmpty() || writtenDataNames().count(foldedName(relative)) == 0)
        return CString();
    for (const CString& folder : mountedFolders(GetEngineContext().getFileSystem())) {
        CString native = ToNativePath(folder + relative);
        struct stat info;
        if (::stat(native, &info) == 0 && S_ISREG(info.st_mode))
            return native;
    }
    return CString();
}

CString NoteDataFileWritten(const char* path)
{
    if (!path || !*path)
        return CString();
    const std::vector<CString> mounts = mountedFolders(GetEngineContext().getFileSystem());
    if (mounts.empty())
        return CString();
    CString native = ToNativePath(path);
    if (native.GetAt(0) != '/') {
        // Relative to the working folder, as the writer took it.
        char folder[PATH_MAX];
        if (!::getcwd(folder, sizeof folder))
            return CString();
        native = CString(folder) + "/" + native;
    }
    // A mount holds its folder's real path, while the writer may have come
    // through a link (data/ itself may be one): each folder above the file is
    // compared by where it really is, the topmost first, so that a link
    // inside the data keeps its data name.
    const std::string written = (const char*)native;
    std::vector<std::pair<std::string, std::string>> above;   // real folder, the name below it
    for (size_t slash = written.find('/', 1); slash != std::string::npos; slash = written.find('/', slash + 1)) {
        const std::string rest = written.substr(slash + 1);
        if (hasOddStep(rest))
            continue;
        std::string real = realFolderPath(written.substr(0, slash));
        if (!real.empty())
            above.emplace_back(std::move(real), rest);
    }
    for (const CString& folder : mounts) {
        const std::string real = realFolderPath(ToNativePath(folder).operator const char*());
        for (const auto& [reached, rest] : above) {
            if (real.empty() || reached != real)
                continue;
            CString name = rest.c_str();
            writtenDataNames().insert(foldedName(name));
            return name;
        }
    }
    return CString();
}

int ReadFailureError(const char* path, CString* place)
{
    if (place)
        place->Empty();
    if (!path || !*path)
        return ENOENT;
    // Where the engine looks: the mounted folders, then the disk. The first
    // place that has something under the name but cannot give it explains.
    CString relative = nameInMount(path);
    if (!namedAnywhere(path, relative))
        return ENOENT;
    std::vector<CString> places;
    if (!relative.IsEmpty())
        for (const CString& folder : mountedFolders(GetEngineContext().getFileSystem()))
            places.push_back(ToNativePath(folder + relative));
    places.push_back(ToNativePath(path));
    for (const CString& candidate : places) {
        int error = openError(candidate);
        if (error == ENOENT)
            continue;
        if (place)
            *place = candidate;
        return error;
    }
    return ENOENT;
}

int LogReadFailure(const char* path, int unlogged)
{
    CString place;
    int error = ReadFailureError(path, &place);
    if (error == 0 || error == unlogged)
        return error;
    if (place.IsEmpty() || place == path)
        DebugLog(Format("Cannot read '%s': %s", path ? path : "", std::strerror(error)));
    else
        DebugLog(Format("Cannot read '%s' (%s): %s", path, (const char*)place, std::strerror(error)));
    return error;
}

bool GetFileWriteTime(const char* path, SYSTEMTIME& out)
{
    out = SYSTEMTIME{};
    if (!path || !*path)
        return false;
    int fd = ::open(ToNativePath(path), O_RDONLY | O_CLOEXEC | O_NONBLOCK);   // a pipe must not wait for a writer
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    tm parts = {};
    if (!ok || !gmtime_r(&info.st_mtim.tv_sec, &parts))
        return false;
    out = SystemTimeFromTm(parts, uint16_t(info.st_mtim.tv_nsec / 1000000));
    return true;
}

// --- command line ---

const CString& GetCommandLineText()
{
    SCommandLine& line = commandLine();
    if (!line.Read) {
        line.Text = joinArguments(processArguments());
        line.Read = true;
    }
    return line.Text;
}

void SetCommandLineArgs(int argc, const char* const* argv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i] ? argv[i] : "");
    SCommandLine& line = commandLine();
    line.Text = joinArguments(args);
    line.Read = true;
}

bool GetCommandLineSwitch(const char* name, CString& value, bool allowFileReference)
{
    value.Empty();
    if (!name)
        return false;
    CString source = GetCommandLineText() + " ";
    CString lowered = source;
    lowered.MakeLower();
    CString loweredName = name;
    loweredName.MakeLower();
    int at = FindAnyCharPair(lowered, loweredName, "-\\/#$@", "= ");
    if (at < 0)
        return false;
    value = switchValue(source.Mid(at + loweredName.GetLength() + 1));
    if (allowFileReference && ((const char*)value)[0] == '@')
        value = readReferencedFile(value.Mid(1));
    return true;
}

// --- screen ---

void FitResolutionToScreen(int& width, int& height)
{
    int screenWidth = 0, screenHeight = 0;
    if (width > 801)
        queryScreenSize(screenWidth, screenHeight);
    FitResolutionToScreenSize(width, height, screenWidth, screenHeight);
}

void FitResolutionToScreenSize(int& width, int& height, int screenWidth, int screenHeight)
{
    if (screenWidth == 0 || screenHeight == 0 || width <= 801)
        return;
    if (width <= screenWidth && height <= screenHeight)
        return;
    if (screenWidth < 1024) {
        width = 800;
        height = 600;
    } else if (screenWidth < 1200) {
        width = 1024;
        height = 768;
    }
}

int RemoveStaleSaveTemporariesBelow(const char* nativeFolder)
{
    namespace fs = std::filesystem;
    constexpr int MaxFolders = 10000;   // start-up must not crawl a huge tree
    if (!nativeFolder || !*nativeFolder)
        return 0;
    int removed = RemoveStaleSaveTemporaries(nativeFolder);
    std::error_code error;
    fs::recursive_directory_iterator it(nativeFolder, fs::directory_options::skip_permission_denied, error);
    for (int folders = 0; !error && it != fs::recursive_directory_iterator() && folders < MaxFolders;
         it.increment(error)) {
        if (it->is_directory(error) && !it->is_symlink(error)) {
            removed += RemoveStaleSaveTemporaries(it->path().c_str());
            ++folders;
        }
    }
    return removed;
}
