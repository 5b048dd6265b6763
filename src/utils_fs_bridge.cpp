// Windows-style names to Linux paths, with case-insensitive lookup.
#include "utils_fs_bridge.h"

#include "utils_engine_context.h"

#include <IFileSystem.h>

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Entries of the folders looked into, by absolute folder path, sorted in
// byte order. Only consulted when a name is missing as written.
std::mutex ListingsLock;
// Never destroyed: the debug log is written by a static destructor, through here.
std::unordered_map<std::string, std::vector<std::string>>& Listings =
    *new std::unordered_map<std::string, std::vector<std::string>>;

char foldCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    return true;
}

// The user and log folders, "/" separated and without a trailing "/"
// (empty: none). Set rarely, read on every path.
std::mutex ExactFoldersLock;
std::string& exactFolder(EExactFolder which)
{
    static std::string& user = *new std::string;   // never destroyed, as Listings
    static std::string& log = *new std::string;
    return which == EExactFolder::User ? user : log;
}

bool atOrBelow(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.compare(0, folder.size(), folder) != 0)
        return false;
    return path.size() == folder.size() || path[folder.size()] == '/' || folder == "/";
}

bool inExactFolder(const std::string& path)
{
    std::lock_guard<std::mutex> lock(ExactFoldersLock);
    return atOrBelow(path, exactFolder(EExactFolder::User)) || atOrBelow(path, exactFolder(EExactFolder::Log));
}

// The folder of SetExactFiles ("/" separated, no trailing "/") and the
// patterns of RegisterPlayerFileName.
struct SExactFiles {
    std::string Folder;
    std::vector<std::string> Patterns;
};
SExactFiles& exactFiles()
{
    static SExactFiles& files = *new SExactFiles;   // never destroyed, as Listings
    return files;
}

// Where the file part of a path starts when the path names a file of
// SetExactFiles; 0 when it does not.
size_t exactFileStart(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size())
        return 0;
    std::lock_guard<std::mutex> lock(ExactFoldersLock);
    const SExactFiles& files = exactFiles();
    if (files.Folder.empty() || path.compare(0, slash, files.Folder) != 0 || files.Folder.size() != slash)
        return 0;
    const std::string name = path.substr(slash + 1);
    for (const std::string& pattern : files.Patterns)
        if (::fnmatch(pattern.c_str(), name.c_str(), FNM_PERIOD | FNM_CASEFOLD) == 0)
            return slash + 1;
    return 0;
}

bool existsOnDisk(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// "\" to "/", runs of separators collapsed to one.
std::string withSlashes(const char* name)
{
    std::string out;
    for (const char* p = name; *p; ++p) {
        char c = *p == '\\' ? '/' : *p;
        if (c == '/' && !out.empty() && out.back() == '/')
            continue;
        out += c;
    }
    return out;
}

// "/" separators, no trailing one (the root stays "/").
std::string folderName(const char* folder)
{
    std::string out = withSlashes(folder ? folder : "");
    if (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}

// "." and "x/.." taken out without looking at the disk, as Windows reads
// names: "sprites/sub/../a.spr" is "sprites/a.spr" whether "sub" exists or
// not. A ".." that climbs above where a relative name starts stays, so such
// a name is found in no archive and in no mounted folder; above the root of
// an absolute name there is nothing to climb to.
std::string withoutDotSegments(const std::string& path)
{
    if (path.empty() || (path[0] != '.' && path.find("/.") == std::string::npos))
        return path;
    const bool absolute = path[0] == '/';
    std::vector<std::string> kept;
    size_t climbs = 0;   // leading ".." of a relative name
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (kept.size() > climbs)
                kept.pop_back();
            else if (!absolute) {
                kept.push_back(part);
                ++climbs;
            }
        } else if (!part.empty() && part != ".") {
            kept.push_back(part);
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            out += '/';
        out += kept[i];
    }
    if (out.empty())
        out = ".";
    if (path.back() == '/' && out.back() != '/')
        out += '/';
    return out;
}

std::vector<std::string> splitParts(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The folder as a cache key: absolute, without a trailing separator.
std::string absoluteFolder(const std::string& folder)
{
    std::string key = folder;
    if (key.empty() || key[0] != '/') {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd))
            return std::string();
        key = std::string(cwd) + "/" + key;
    }
    while (key.size() > 1 && key.back() == '/')
        key.pop_back();
    return key;
}

std::vector<std::string> readFolder(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* entry = ::readdir(dir))
        names.push_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string findIn(const std::vector<std::string>& names, const std::string& part)
{
    for (const std::string& name : names)
        if (sameIgnoringCase(name, part))
            return name;
    return std::string();
}

// The entry of `folder` ("" = the working directory, else ending in "/")
// whose name equals `part` without regard to case; empty when none does.
std::string findIgnoringCase(const std::string& folder, const std::string& part)
{
    std::string key = absoluteFolder(folder);
    if (key.empty())
        return std::string();
    std::lock_guard<std::mutex> lock(ListingsLock);
    auto cached = Listings.find(key);
    if (cached != Listings.end()) {
        std::string match = findIn(cached->second, part);
        if (!match.empty() && existsOnDisk(folder + match))
            return match;
    }
    // Unknown folder, or it changed since it was read.
    std::vector<std::string> names = readFolder(key);
    std::string match = findIn(names, part);
    if (names.empty())
        Listings.erase(key);
    else
        Listings[key] = std::move(names);
    return match;
}

std::string resolveIgnoringCase(const std::string& path)
{
    std::vector<std::string> parts = splitParts(path);
    std::string done = path[0] == '/' ? "/" : "";
    size_t i = 0;
    for (; i < parts.size(); ++i) {
        std::string candidate = done + parts[i];
        if (!existsOnDisk(candidate)) {
            std::string match = findIgnoringCase(done, parts[i]);
            if (match.empty())
                break;
            candidate = done + match;
        }
        done = candidate;
        if (i + 1 < parts.size())
            done += '/';
    }
    // What matches nothing stays as written.
    for (; i < parts.size(); ++i) {
        done += parts[i];
        if (i + 1 < parts.size())
            done += '/';
    }
    if (path.back() == '/' && (done.empty() || done.back() != '/'))
        done += '/';
    return done;
}

bool endsInBlankOrDot(const std::string& path)
{
    return !path.empty() && (path.back() == ' ' || path.back() == '.');
}

// Windows drops the blanks and dots that end a file name, so data made there
// may name "a.png  " and find a.png. A name of nothing but blanks and dots
// ("..") is kept.
std::string withoutTrailingBlanks(const std::string& path)
{
    const size_t start = path.find_last_of('/') + 1;   // 0 when there is no folder
    size_t end = path.size();
    while (end > start && (path[end - 1] == ' ' || path[end - 1] == '.'))
        --end;
    return end == start ? path : path.substr(0, end);
}

} // namespace

CString ToNativePath(const char* name)
{
    if (!name || !*name)
        return CString();
    std::string path = withSlashes(name);
    if (inExactFolder(path))
        return CString(path.c_str());
    path = withoutDotSegments(path);
    if (existsOnDisk(path))
        return CString(path.c_str());
    if (size_t name = exactFileStart(path))
        return CString((resolveIgnoringCase(path.substr(0, name)) + path.substr(name)).c_str());
    return CString(resolveIgnoringCase(withoutTrailingBlanks(path)).c_str());
}

CString ToArchiveName(const char* name)
{
    if (!name)
        return CString();
    std::string path = withSlashes(name);
    if (inExactFolder(path))
        return CString(path.c_str());
    path = withoutDotSegments(path);
    while (path.compare(0, 2, "./") == 0)
        path.erase(0, 2);
    if (endsInBlankOrDot(path)) {
        irr::io::IFileSystem* fs = GetEngineContext().getFileSystem();
        if (!fs || !fs->existFile(path.c_str()))
            path = withoutTrailingBlanks(path);
    }
    return CString(path.c_str());
}

void SetExactFolder(EExactFolder which, const char* folder)
{
    std::lock_guard<std::mutex> lock(ExactFoldersLock);
    exactFolder(which) = folderName(folder);
}

void SetExactFiles(const char* folder)
{
    std::string name = folder && *folder ? withoutDotSegments(folderName(folder)) : std::string();
    std::lock_guard<std::mutex> lock(ExactFoldersLock);
    exactFiles().Folder = name;
}

bool RegisterPlayerFileName(const char* pattern)
{
    std::lock_guard<std::mutex> lock(ExactFoldersLock);
    std::vector<std::string>& patterns = exactFiles().Patterns;
    if (pattern && *pattern && std::find(patterns.begin(), patterns.end(), pattern) == patterns.end())
        patterns.push_back(pattern);
    return true;
}

bool IsNamedExactly(const char* path)
{
    if (!path || !*path)
        return false;
    const std::string name = withSlashes(path);
    return inExactFolder(name) || exactFileStart(withoutDotSegments(name)) != 0;
}

bool IsAtOrBelowFolder(const char* path, const char* folder)
{
    return atOrBelow(folderName(path), folderName(folder));
}

void ClearNativePathCache()
{
    std::lock_guard<std::mutex> lock(ListingsLock);
    Listings.clear();
}
