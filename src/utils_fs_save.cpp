// Saving files whole through a temporary file and a rename, clearing the
// temporaries of killed saves, and keeping files that could not be read.
#include "utils_fs_save.h"

#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_system_common.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

// ".~save-<pid>-<n>.tmp": hidden, and at most 36 bytes whatever the target.
const char TemporaryPrefix[] = ".~save-";
const char TemporarySuffix[] = ".tmp";

SaveFaultHook FaultHook = nullptr;
std::atomic<unsigned> TemporaryCounter{0};

// Files found unreadable this run, by native path; no save replaces them.
std::set<std::string>& keptFiles()
{
    static std::set<std::string>* kept = new std::set<std::string>;   // saves may run while statics go
    return *kept;
}

const char* stepText(ESaveStep step)
{
    switch (step) {
    case ESaveStep::Create: return "creating its temporary file";
    case ESaveStep::Write: return "writing";
    case ESaveStep::Sync: return "flushing to the disk";
    case ESaveStep::Rename: return "renaming over the old file";
    }
    return "";
}

// The step's injected failure, as errno; 0 lets it run.
bool injected(ESaveStep step)
{
    int error = FaultHook ? FaultHook(step) : 0;
    if (error)
        errno = error;
    return error != 0;
}

bool writeAll(int fd, const char* data, size_t size)
{
    if (injected(ESaveStep::Write))
        return false;
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;   // no progress and no reason: never spin on it
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a chain of symbolic links ends at (the path itself when it is no
// link): a save goes there, so that the player's link stays a link. The end
// need not exist. False, with errno, for a loop or an unreadable link.
bool followLinks(std::string& path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        char target[PATH_MAX];
        ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length < 0)
            return false;
        if (size_t(length) == sizeof target) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::string next(target, size_t(length));
        path = next[0] == '/' ? next : folderOf(path) + "/" + next;
    }
    errno = ELOOP;
    return false;
}

// Why what is at the path must not be replaced; null when it may. A file
// the player may not write (or that nobody may, for a user the system lets
// write anything) is the player's choice to keep; a device, pipe or folder
// is no file of the game's.
const char* whyKept(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return nullptr;
    if (!S_ISREG(info.st_mode))
        return "it is no plain file";
    if ((info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)
        return "it is read-only";
    return nullptr;
}

int createTemporary(const std::string& folder, std::string& name)
{
    if (injected(ESaveStep::Create))
        return -1;
    for (;;) {
        name = folder + "/" + TemporaryPrefix + std::to_string(getpid()) + "-" +
               std::to_string(TemporaryCounter++) + TemporarySuffix;
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
}

// Writes and flushes the bytes and closes the file; on failure errno and
// the step tell what went wrong.
bool fillTemporary(int fd, const std::string& target, const void* data, size_t size, ESaveStep& step)
{
    // The new file takes the old one's permissions (a private profile stays private).
    struct stat old = {};
    if (::stat(target.c_str(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
    step = ESaveStep::Write;
    bool filled = writeAll(fd, static_cast<const char*>(data), size);
    if (filled) {
        step = ESaveStep::Sync;
        filled = !injected(step) && ::fsync(fd) == 0;
    }
    int error = errno;
    if (::close(fd) != 0 && filled)
        return false;
    errno = error;
    return filled;
}

void reportFailure(const char* text, ESaveReport report)
{
    if (report == ESaveReport::DebugLog)
        DebugLog(text);
    else
        std::fprintf(stderr, "%s\n", text);
}

// The folder's entry for the new file reaches the disk too; some file
// systems cannot sync a folder, which costs nothing but that guarantee.
void syncFolder(const std::string& folder, ESaveReport report)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS)
        reportFailure(Format("Saved in %s, but the folder could not be flushed: %s", folder.c_str(), std::strerror(errno)),
                      report);
    ::close(fd);
}

// The pid in a temporary's name, or 0 when the name is none of ours.
long temporaryOwner(const char* name)
{
    size_t prefix = sizeof TemporaryPrefix - 1, suffix = sizeof TemporarySuffix - 1;
    size_t length = std::strlen(name);
    if (length <= prefix + suffix || std::strncmp(name, TemporaryPrefix, prefix) != 0 ||
        std::strcmp(name + length - suffix, TemporarySuffix) != 0)
        return 0;
    const char* digits = name + prefix;
    char* end = nullptr;
    long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '-' || pid <= 0)
        return 0;
    const char* counter = end + 1;
    std::strtoul(counter, &end, 10);
    return end != counter && end == name + length - suffix ? pid : 0;
}

bool processIsGone(long pid)
{
    return pid > INT32_MAX || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
}

// Why a file that is there cannot be read; empty when it is missing.
std::string readProblem(const char* native)
{
    const int error = ReadFailureError(native);
    if (error == ENOENT || error == ENOTDIR)
        return std::string();
    return error ? std::strerror(error) : "it could not be read whole";
}

void keepUnreadable(const CString& native, const char* path, const std::string& reason)
{
    if (!keptFiles().insert((const char*)native).second)
        return;   // told already
    CString text = Format("Cannot read %s: %s.\nThe game goes on with default settings and leaves this file as it is.",
                          path, reason.c_str());
    DebugLog(text);
    EngineMessageBox(text, MB_OK);
}

}  // namespace

bool SaveFileWhole(const char* nativePath, const void* data, size_t size, ESaveReport report)
{
    std::string target = nativePath ? nativePath : "";
    if (target.empty())
        return false;
    if (keptFiles().count(target)) {
        reportFailure(Format("Not saved %s: it could not be read when it was loaded, so it is kept as it is",
                             target.c_str()),
                      report);
        return false;
    }
    if (!followLinks(target)) {
        reportFailure(Format("Could not save %s: %s", nativePath, std::strerror(errno)), report);
        return false;
    }
    if (const char* reason = whyKept(target)) {
        reportFailure(Format("Not saved %s: %s, so it is kept as it is", nativePath, reason), report);
        return false;
    }
    std::string folder = folderOf(target), temporary;
    ESaveStep step = ESaveStep::Create;
    int fd = createTemporary(folder, temporary);
    bool saved = fd >= 0 && fillTemporary(fd, target, data, size, step);
    if (saved) {
        step = ESaveStep::Rename;
        saved = !injected(step) && std::rename(temporary.c_str(), target.c_str()) == 0;
    }
    if (!saved) {
        int error = errno;
        if (fd >= 0)
            ::unlink(temporary.c_str());
        reportFailure(Format("Could not save %s (%s): %s", target.c_str(), stepText(step), std::strerror(error)),
                      report);
        return false;
    }
    syncFolder(folder, report);
    return true;
}

bool SaveFileWholeInCrash(const char* nativePath, const char* data, size_t size)
{
    // Folder + prefix + pid + "-0" + suffix, built by hand: no allocation here.
    char temporary[PATH_MAX];
    const char* slash = nativePath ? std::strrchr(nativePath, '/') : nullptr;
    if (!slash)
        return false;
    size_t at = size_t(slash - nativePath) + 1;
    char pid[24];
    size_t digits = 0;
    for (unsigned long n = (unsigned long)getpid(); n || !digits; n /= 10)
        pid[digits++] = char('0' + n % 10);
    if (at + sizeof TemporaryPrefix + digits + 2 + sizeof TemporarySuffix > sizeof temporary)
        return false;
    std::memcpy(temporary, nativePath, at);
    std::memcpy(temporary + at, TemporaryPrefix, sizeof TemporaryPrefix - 1);
    at += sizeof TemporaryPrefix - 1;
    while (digits)
        temporary[at++] = pid[--digits];
    temporary[at++] = '-';
    temporary[at++] = '0';
    std::memcpy(temporary + at, TemporarySuffix, sizeof TemporarySuffix);
    int fd = ::open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool saved = writeAll(fd, data, size) && ::fsync(fd) == 0;
    saved = ::close(fd) == 0 && saved;
    if (saved && ::rename(temporary, nativePath) == 0)
        return true;
    ::unlink(temporary);
    return false;
}

int RemoveStaleSaveTemporaries(const char* nativeFolder)
{
    DIR* folder = nativeFolder && *nativeFolder ? ::opendir(nativeFolder) : nullptr;
    if (!folder)
        return 0;
    std::string base = nativeFolder;
    if (base.back() != '/')
        base += '/';
    int removed = 0;
    while (const dirent* entry = ::readdir(folder)) {
        long pid = temporaryOwner(entry->d_name);
        if (pid && processIsGone(pid) && ::unlink((base + entry->d_name).c_str()) == 0)
            ++removed;
    }
    ::closedir(folder);
    if (removed)
        DebugLog(Format("Removed %i temporary file(s) of unfinished saves in %s", removed, base.c_str()));
    return removed;
}

EUserFileRead ReadUserFile(const char* path, CString& text)
{
    text.Empty();
    if (!path || !*path)
        return EUserFileRead::Missing;
    CString native = ToNativePath(path);
    if (ReadFileToString(path, text)) {
        // The text ends at a NUL byte: what follows it is damaged, not gone,
        // and a save of what was read would make its loss final.
        struct stat info;
        if (::stat(native, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= text.GetLength())
            return EUserFileRead::Read;
        keepUnreadable(native, path,
                       (const char*)Format("it holds a NUL byte at offset %i of its %lld bytes", text.GetLength(),
                                           (long long)info.st_size));
        text.Empty();
        return EUserFileRead::Unreadable;
    }
    text.Empty();
    std::string problem = readProblem(native);
    if (problem.empty())
        return EUserFileRead::Missing;
    keepUnreadable(native, path, problem);
    return EUserFileRead::Unreadable;
}

void SetSaveFaultHook(SaveFaultHook hook)
{
    FaultHook = hook;
}
