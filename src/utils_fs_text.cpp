// Whole text files: reading from the mounted file system or disk, writing,
// the text-file cache, directives of description and script texts, file
// kinds and recursive folder listings.
#include "utils_fs.h"

#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs_bridge.h"
#include "utils_fs_save.h"
#include "utils_str_keyvalue.h"
#include "utils_str_tools.h"
#include "utils_system_common.h"

#include <IFileList.h>
#include <IFileSystem.h>
#include <IReadFile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int MaxIncludeDepth = 16;
// No data file is larger; a folder opened as a file reports about 2^63.
constexpr long MaxDataFileBytes = 1L << 30;
// Directives handled in one text; only a text built to never end gets there.
constexpr int MaxDirectivesPerText = 10000;
const char IncludeOpen[] = "${include(";
const char IncludeClose[] = ")}";
const char ThisFolderMarker[] = "${thisfolder}\\";

CMapStringToString& textFileCache()
{
    // Never destroyed: files may still be read while statics go away.
    static CMapStringToString* cache = new CMapStringToString(10);
    return *cache;
}

// What tells files apart while includes nest: the name, as archives
// compare it. Two spellings of one file escape this, not the depth limit.
std::string fileIdentity(const CString& path);

// Drops the file's cached texts: under the path as written, and under the
// data names that reach it through a mounted folder, in any spelling; the
// mounts find it from now on.
void forgetCachedFile(const char* path)
{
    CMapStringToString& cache = textFileCache();
    cache.RemoveKey(path);
    CString name = NoteDataFileWritten(path);
    if (name.IsEmpty())
        return;
    const std::string identity = fileIdentity(name);
    std::vector<CString> stale;
    CString key, text;
    for (POSITION at = cache.GetStartPosition(); at;) {
        cache.GetNextAssoc(at, key, text);
        if (!IsAbsolutePath(key) && fileIdentity(key) == identity)
            stale.push_back(key);
    }
    for (const CString& gone : stale)
        cache.RemoveKey(gone);
}

// A buffer of size + 1 zero bytes, taken as a C text.
void assignRead(CString& text, const std::vector<char>& buffer)
{
    text = buffer.data();
}

char foldChar(char c)
{
    if (c == '/')
        return '\\';
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

std::string fileIdentity(const CString& path)
{
    std::string id = (const char*)ToArchiveName(path);
    for (char& c : id)
        c = foldChar(c);
    return id;
}

struct SIncludeChain {
    std::vector<std::string> Files;   // the files being expanded, outermost first
};

bool readTextFile(const char* name, CString& text, SIncludeChain& chain);

// The folder of the file below the data folder, in the engine's form.
CString thisFolder(const CString& path)
{
    CString folder = GetPathPart(path, 1, 1, 0, 0);
    if (removeFolderText(folder, GetDataFolder()))
        folder.Replace("/", "\\");
    return folder;
}

CString includedText(const CString& name, const CString& path, SIncludeChain& chain)
{
    CString included;
    if (name.IsEmpty()) {
        DebugLog(Format("Include without a file name in %s", (const char*)path));
    } else if (int(chain.Files.size()) >= MaxIncludeDepth) {
        DebugLog(Format("Includes nested too deeply: %s in %s", (const char*)name, (const char*)path));
    } else if (!readTextFile(ResolveRelativePath(name, path), included, chain)) {
        included.Empty();
    }
    return included;
}

// Replaces each directive by its file's expanded text; a directive without
// its end marker is removed, and so is one that would include a file that
// is already being expanded.
void expandIncludes(CString& text, const CString& path, SIncludeChain& chain)
{
    const int openLength = int(sizeof IncludeOpen - 1);
    for (int handled = 0; handled < MaxDirectivesPerText; ++handled) {
        int start = text.Find(IncludeOpen);
        if (start < 0)
            return;
        int end = text.Find(IncludeClose, start + openLength);
        if (end < 0) {
            DebugLog(Format("Include directive without its end in %s", (const char*)path));
            text = text.Left(start) + text.Mid(start + openLength);
            continue;
        }
        CString name = text.Mid(start + openLength, end - start - openLength);
        CString directive = text.Mid(start, end + 2 - start);
        text.Replace(directive, includedText(name, path, chain));
    }
    DebugLog(Format("Too many include directives in %s", (const char*)path));
    text.Replace(IncludeOpen, "");
}

// Carriage returns out, then the directives; runs after every read, cached or not.
void cleanText(CString& raw, const CString& path, SIncludeChain& chain)
{
    ENGINE_PROFILE("READFILE-CACH MISS-HANDLIING");
    raw.Replace("\r", "");
    if (raw.Find('$') < 0)
        return;
    if (raw.Find(ThisFolderMarker) >= 0)
        raw.Replace(ThisFolderMarker, thisFolder(path));
    chain.Files.push_back(fileIdentity(path));
    expandIncludes(raw, path, chain);
    chain.Files.pop_back();
}

// What every reader of scripts and description texts does with the bytes it
// read. A UTF-16 text is refused by name: cut at its first NUL it would reach
// the caller as a byte or two, and a script as "expression expected".
bool acceptReadText(CString& raw, const CString& path, bool dropUtf8Mark)
{
    if (StartsWithUtf16Mark(raw, size_t(raw.GetLength()))) {
        DebugLog(Format("Cannot read '%s': it is UTF-16 text, which the engine does not read", (const char*)path));
        return false;
    }
    if (dropUtf8Mark)
        DropUtf8Mark(raw);
    return true;
}

// On failure the caller's text stays as it was.
bool readTextFile(const char* name, CString& text, SIncludeChain& chain)
{
    ENGINE_PROFILE("READFILE");
    if (!name)
        return false;
    CString path = IsAbsolutePath(name) ? CString(name) : ResolveDataPath(name);
    CheckTexturePath(path);
    if (!FileExists(path))
        EngineMessageBox(Format("Attemp to read nonexisted TEXT file\n%s", (const char*)path), MB_OK);
    std::string identity = fileIdentity(path);
    for (const std::string& open : chain.Files) {
        if (open == identity) {
            DebugLog(Format("A file includes itself: %s", (const char*)path));
            return false;
        }
    }
    CString raw;
    if (!ReadFileCached(path, raw)) {
        if (ReadFailureError(path) == ENOENT)
            LogReadFailure(path);   // the other reasons were logged by the read
        return false;
    }
    // An editor's byte-order mark before a script, or before any included
    // text, would stop the compiler at its first character.
    if (!acceptReadText(raw, path, !chain.Files.empty() || GetFileType(path) == FileTypeScript))
        return false;
    cleanText(raw, path, chain);
    text = raw;
    return true;
}

// Restores the engine file system's working directory when it goes.
class CWorkingDirectoryKeeper {
public:
    explicit CWorkingDirectoryKeeper(irr::io::IFileSystem* fs) : Fs(fs), Saved(fs->getWorkingDirectory()) {}
    ~CWorkingDirectoryKeeper() { Fs->changeWorkingDirectoryTo(Saved); }
    CWorkingDirectoryKeeper(const CWorkingDirectoryKeeper&) = delete;
    CWorkingDirectoryKeeper& operator=(const CWorkingDirectoryKeeper&) = delete;

private:
    irr::io::IFileSystem* Fs;   // borrowed
    irr::io::path Saved;
};

struct SListedEntry {
    CString Name;     // lower-cased
    CString OnDisk;   // as the folder holds it
    bool IsFolder;
};

// A name such as "/" would otherwise have the whole disk walked: outside the
// game's own folders a walk stops after this many folders or this many
// entries read there, whichever comes first. Inside them nothing is cut.
constexpr size_t MaxForeignFolders = 4096;
constexpr size_t MaxForeignEntries = 4096;

std::string asFolder(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

struct SFolderWalk {
    std::vector<std::string> own;      // the game's folders by their real path, ending in "/"
    std::vector<std::string> mounts;   // the mounted folders by their real path, ending in "/"
    std::set<std::string> leftOut;     // links the mounts left out for their limits
    // The folders the walk is in, from the mount it started in down: one of
    // them met again is a way back, not walked, as the mount did not.
    std::vector<std::pair<dev_t, ino_t>> way;
    size_t foreignFolders = 0;
    size_t foreignEntries = 0;
    size_t read = 0;                   // entries read in all, the game's own too
    size_t maxRead = 0;
    bool cut = false;
    bool readAll = false;
    std::set<std::string> listed;      // what the list holds, so each name goes in once

    bool isOwn(const std::string& folder) const
    {
        for (const std::string& root : own)
            if (folder.compare(0, root.size(), root) == 0)
                return true;
        return false;
    }
    bool onTheWay(const struct stat& info) const
    {
        for (const auto& folder : way)
            if (folder.first == info.st_dev && folder.second == info.st_ino)
                return true;
        return false;
    }
    // Whether a folder, by its real path, is to be read; counts what lies outside.
    bool enter(const std::string& folder, const struct stat& info, bool& isOwnFolder)
    {
        if (onTheWay(info))
            return false;
        isOwnFolder = isOwn(folder);
        if (!isOwnFolder && (cut || ++foreignFolders > MaxForeignFolders))
            cut = true;
        return (isOwnFolder || !cut) && !readAll;
    }
    bool countEntry(bool isOwnFolder)
    {
        readAll = readAll || ++read > maxRead;
        if (!isOwnFolder)
            cut = cut || ++foreignEntries > MaxForeignEntries;
        return !readAll && (isOwnFolder || !cut);
    }
    // Takes the native directory's way from the disk's root, each step from
    // the real folder before it, as the system takes it: false when it passes
    // a link left out or leads back into a folder on it. The folders from the
    // mount it lies in down to the one that holds it make the way.
    bool startWay(const CString& directory)
    {
        if (directory.IsEmpty())
            return true;
        std::error_code error;
        const std::filesystem::path path = std::filesystem::absolute(ToNativePath(directory).operator const char*(), error);
        std::string real = "/";
        bool inMount = false;
        for (const std::filesystem::path& part : error ? std::filesystem::path() : path.relative_path()) {
            if (part.empty() || part == ".")
                continue;
            const std::string step = real + part.string();
            if (leftOut.count(step))
                return false;
            const std::filesystem::path next = std::filesystem::canonical(step, error);
            struct stat info;
            if (error || ::stat(next.c_str(), &info) != 0)
                return true;   // the listing finds nothing there
            real = asFolder(next.string());
            if (part == "..") {
                if (!way.empty())
                    way.pop_back();
                continue;
            }
            if (onTheWay(info))
                return false;
            inMount = inMount || std::find(mounts.begin(), mounts.end(), real) != mounts.end();
            if (inMount)
                way.push_back({info.st_dev, info.st_ino});
        }
        if (!way.empty())
            way.pop_back();   // the directory itself goes on as it is listed
        return true;
    }
};

std::vector<std::string> realFolders(const std::vector<CString>& folders)
{
    std::vector<std::string> real;
    for (const CString& folder : folders) {
        std::error_code error;
        std::string path = std::filesystem::weakly_canonical(ToNativePath(folder).operator const char*(), error);
        if (error || path.empty())
            continue;
        if (path.back() != '/')
            path += '/';
        real.push_back(path);
    }
    return real;
}

// The entries of a folder (empty text: the working directory); false when
// the folder cannot be entered or is not to be read in this walk.
bool readEntries(irr::io::IFileSystem* fs, const CString& directory, SFolderWalk& walk,
                 std::vector<SListedEntry>& entries, bool& isOwnFolder)
{
    CWorkingDirectoryKeeper keeper(fs);
    if (!directory.IsEmpty() && !fs->changeWorkingDirectoryTo(ToNativePath(directory).operator const char*()))
        return false;
    const std::string real = asFolder(fs->getWorkingDirectory().c_str());
    struct stat here;
    if (::stat(".", &here) != 0 || !walk.enter(real, here, isOwnFolder))
        return false;
    walk.way.push_back({here.st_dev, here.st_ino});
    irr::io::IFileList* files = fs->createFileList();
    if (!files)
        return true;
    for (irr::u32 i = 0; i < files->getFileCount(); ++i) {
        CString name = files->getFileName(i).c_str();
        if (files->isDirectory(i) && walk.leftOut.count(real + (const char*)name))
            continue;   // the mount did not follow it either
        struct stat info;   // the list gives a link to nothing as an empty file
        if (!files->isDirectory(i) && files->getFileSize(i) == 0 && ::stat(name, &info) != 0 &&
            (errno == ENOENT || errno == ENOTDIR))
            continue;       // and it names nothing
        CString lower = name;
        lower.MakeLower();
        entries.push_back({lower, name, files->isDirectory(i)});
    }
    files->drop();
    return true;
}

bool skippedName(const CString& name)
{
    return name.IsEmpty() || name.GetAt(0) == '.' || name.Find("svn") >= 0 || name.Find("u-") >= 0;
}

// The entry's name as listed: lower-cased, unless the name is looked up
// exactly (the player's files), where only the name on disk opens it.
CString listedName(const CString& directory, const SListedEntry& entry)
{
    if (directory.IsEmpty())
        return entry.Name;
    CString path = directory;
    return IsNamedExactly(AppendPath(path, entry.OnDisk)) ? entry.OnDisk : entry.Name;
}

void listFolder(irr::core::array<irr::core::stringc>& list, const CString& folder, const CString& pattern,
                const CString& prefix, SFolderWalk& walk)
{
    irr::io::IFileSystem* fs = GetEngineContext().getFileSystem();
    if (!fs)
        return;
    CString directory = prefix.IsEmpty() ? folder : prefix + folder;
    std::vector<SListedEntry> entries;
    bool isOwnFolder = false;
    if (!readEntries(fs, directory, walk, entries, isOwnFolder))
        return;
    for (const SListedEntry& entry : entries) {
        if (!walk.countEntry(isOwnFolder))
            break;
        if (skippedName(entry.Name))
            continue;
        CString listed = folder;
        AppendPath(listed, listedName(directory, entry));
        if (!directory.IsEmpty() && entry.IsFolder) {
            listFolder(list, listed, pattern, prefix, walk);
            continue;
        }
        if (!pattern.IsEmpty() && !WildcardMatch(entry.Name, pattern))
            continue;
        if (walk.listed.insert((const char*)listed).second)
            list.push_back((const char*)listed);
    }
    walk.way.pop_back();
}

} // namespace

// Whether removeFolderText would find the folder in the text; builds nothing.
bool hasFolderText(const char* text, const char* folder)
{
    const size_t length = folder ? std::strlen(folder) : 0;
    if (length == 0)
        return false;
    for (const char* p = text; *p; ++p) {
        size_t i = 0;
        while (i < length && p[i] && foldChar(p[i]) == foldChar(folder[i]))
            ++i;
        if (i == length)
            return true;
    }
    return false;
}

bool removeFolderText(CString& text, const char* folder)
{
    size_t length = folder ? std::strlen(folder) : 0;
    if (length == 0)
        return false;
    std::string kept;
    bool removed = false;
    const char* p = text;
    while (*p) {
        size_t i = 0;
        while (i < length && p[i] && foldChar(p[i]) == foldChar(folder[i]))
            ++i;
        if (i == length) {
            p += length;
            removed = true;
        } else {
            kept += *p++;
        }
    }
    if (removed)
        text = kept.c_str();
    return removed;
}

// --- whole files ---

bool ReadFileToString(const char* path, CString& text)
{
    if (!path || !*path)
        return false;
    if (ReadPackedFile(path, text) || ReadDiskFile(path, text))
        return true;
    // Many callers take a missing file for defaults; one that is there but
    // cannot be read must not pass for missing without a word.
    LogReadFailure(path, ENOENT);
    return false;
}

bool IsPlainDataFile(irr::io::IReadFile* file)
{
    if (!file)
        return false;
    const long size = file->getSize();
    if (size < 0 || size > MaxDataFileBytes)
        return false;
    std::error_code error;
    return !std::filesystem::is_directory(file->getFileName().c_str(), error);
}

namespace {

// A pipe, socket or device: the file system opens what it is given with a
// blocking open (a pipe without a writer waits forever), and there is no
// file in it to read.
bool namesSpecialFile(const char* name)
{
    struct stat info;
    return ::stat(name, &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

} // namespace

irr::io::IReadFile* OpenDataFile(const char* name)
{
    irr::io::IFileSystem* fs = GetEngineContext().getFileSystem();
    if (!fs || !name || !*name)
        return nullptr;
    if (namesSpecialFile(name)) {
        DebugLog(Format("Not a file: '%s'", name));
        return nullptr;
    }
    irr::io::IReadFile* file = fs->createAndOpenFile(name);
    if (!file) {
        CString written = FindInMountedFolders(name);
        if (!written.IsEmpty())
            file = fs->createAndOpenFile(written.operator const char*());
    }
    if (file && !IsPlainDataFile(file)) {
        DebugLog(Format("Not a file: '%s'", name));
        file->drop();
        return nullptr;
    }
    return file;
}

bool NamesNoPlainFile(const char* name, bool (*check)(irr::io::IReadFile* file, const char* name))
{
    irr::io::IFileSystem* fs = GetEngineContext().getFileSystem();
    if (fs && name && *name && namesSpecialFile(name))
        return true;
    irr::io::IReadFile* file = fs && name && *name ? fs->createAndOpenFile(name) : nullptr;
    if (!file)
        return false;
    const bool plain = IsPlainDataFile(file) && (!check || check(file, name));
    file->drop();
    return !plain;
}

bool ReadPackedFile(const char* path, CString& text)
{
    if (!GetEngineContext().getFileSystem() || !path || !*path)
        return false;
    CString name = ToArchiveName(path);
    irr::io::IReadFile* file = OpenDataFile(name);
    if (!file) {
        // A plain file whose name differs in case from the one on disk.
        CString native = ToNativePath(path);
        if (native != name)
            file = OpenDataFile(native);
    }
    if (!file)
        return false;
    long size = file->getSize();
    bool complete = size >= 0;
    if (size > 0) {
        std::vector<char> buffer(size_t(size) + 1, 0);
        complete = file->read(buffer.data(), irr::u32(size)) == irr::s32(size);
        assignRead(text, buffer);
    } else {
        text.Empty();
    }
    file->drop();
    return complete;
}

bool ReadDiskFile(const char* path, CString& text)
{
    if (!path || !*path)
        return false;
    // Without blocking, and the kind checked before reading: opening a named
    // pipe in the player's folder would otherwise wait for a writer forever.
    const int fd = ::open(ToNativePath(path), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    FILE* file = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? ::fdopen(fd, "rb") : nullptr;
    if (!file) {
        ::close(fd);
        return false;
    }
    bool complete = true;
    if (info.st_size > 0) {
        size_t size = size_t(info.st_size);
        std::vector<char> buffer(size + 1, 0);
        complete = std::fread(buffer.data(), 1, size, file) == size;
        assignRead(text, buffer);
    } else {
        text.Empty();
    }
    std::fclose(file);
    return complete;
}

bool WriteStringToFile(const char* path, const char* text)
{
    if (!path || !*path)
        return false;
    if (!text)
        text = "";
    if (!SaveFileWhole(ToNativePath(path), text, std::strlen(text)))
        return false;
    forgetCachedFile(path);
    return true;
}

// --- the text-file cache ---

bool ReadFileCached(const char* path, CString& text)
{
    if (!path)
        return false;
    CMapStringToString& cache = textFileCache();
    if (cache.Lookup(path, text))
        return true;
    {
        ENGINE_PROFILE_DETAIL("READFILE-CACH MISS-READFILE", path);
        if (!ReadFileToString(path, text))
            return false;
    }
    ENGINE_PROFILE("READFILE-CACH MISS-ADD2MAP");
    cache.SetAt(path, text);
    return true;
}

bool ClearTextFileCache()
{
    textFileCache().RemoveAll();
    return true;
}

// --- description and script texts ---

bool ReadTextFile(const char* name, CString& text)
{
    SIncludeChain chain;
    return readTextFile(name, text, chain);
}

bool ReadScriptFile(const char* path, CString& text)
{
    CString raw;
    if (!ReadFileToString(path, raw) || !acceptReadText(raw, path, true))
        return false;
    text = raw;
    return true;
}

// --- file kinds and listings ---

int GetFileType(const char* name)
{
    if (!name || std::strlen(name) < 6)
        return -1;
    if (std::strncmp(name, "raw://", 6) == 0)
        return 8;
    if (std::strstr(name, ".spr"))
        return 4;
    int image = GetImageFileType(name);
    if (image != -1)
        return image;
    static const struct {
        const char* Extension;
        int Type;
    } types[] = {{".txt", 3}, {".wav", 1}, {".dlg", 6}, {".nut", 5}, {".cfg", 7}};
    for (const auto& type : types)
        if (std::strstr(name, type.Extension))
            return type.Type;
    return -1;
}

int GetImageFileType(const char* name)
{
    if (!name)
        return -1;
    // Asked for every sprite made: only a name holding the program folder
    // needs the copy without it.
    const char* rest = name;
    CString stripped;
    if (hasFolderText(name, GetAppFolderCStr())) {
        stripped = name;
        removeFolderText(stripped, GetAppFolderCStr());
        rest = stripped;
    }
    return std::strstr(rest, ".png") || std::strstr(rest, ".jpg") ? 9 : -1;
}

void ListFolder(irr::core::array<irr::core::stringc>& list, CString folder, CString pattern, CString prefix,
                size_t maxRead)
{
    CheckMainThread();
    pattern.MakeLower();
    // Native folders keep their own separators and case, as does a user
    // folder given relative to the working folder; data folders are listed
    // in the engine's form.
    if (((const char*)folder)[0] != '/' && !(prefix.IsEmpty() && IsNamedExactly(folder))) {
        folder.Replace("/", "\\");
        folder.MakeLower();
        // A leading "\" names the top of the data, never the disk's root, which
        // a list's "\*.png" would otherwise have walked whole.
        while (!folder.IsEmpty() && folder.GetAt(0) == '\\')
            folder = folder.Mid(1);
    }
    SFolderWalk walk;
    walk.maxRead = maxRead;
    SFolderArchiveLinks links;
    walk.mounts = realFolders(GetMountedFolders(links));
    walk.own = realFolders(GetGameFolders());
    walk.leftOut.insert(links.LeftOut.begin(), links.LeftOut.end());
    if (!walk.startWay(prefix.IsEmpty() ? folder : prefix + folder))
        return;
    for (irr::u32 i = 0; i < list.size(); ++i)
        walk.listed.insert(list[i].c_str());
    listFolder(list, folder, pattern, prefix, walk);
    if (walk.readAll)
        DebugLog(Format("Listing '%s' stopped after %zu entries", (const char*)folder, maxRead));
    else if (walk.cut)
        DebugLog(Format("Listing '%s' stopped after %i folders or %i entries outside the game's folders",
                        (const char*)folder, int(MaxForeignFolders), int(MaxForeignEntries)));
}
