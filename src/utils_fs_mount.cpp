// Folder archives walked with real paths instead of working-folder changes.
#include "utils_fs_mount.h"

#include "utils_debug.h"
#include "utils_str.h"

#include <IFileArchive.h>
#include <IFileList.h>
#include <IFileSystem.h>
#include <IReadFile.h>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

using namespace irr;

namespace {

// A plain file on disk, read through stdio as the file system's own files are.
class CDiskReadFile : public io::IReadFile {
public:
    CDiskReadFile(FILE* file, long size, const io::path& name) : File(file), Size(size), Name(name) {}
    ~CDiskReadFile() override { std::fclose(File); }
    CDiskReadFile(const CDiskReadFile&) = delete;
    CDiskReadFile& operator=(const CDiskReadFile&) = delete;

    s32 read(void* buffer, u32 count) override { return s32(std::fread(buffer, 1, count, File)); }
    bool seek(long position, bool relative) override
    {
        return std::fseek(File, position, relative ? SEEK_CUR : SEEK_SET) == 0;
    }
    long getSize() const override { return Size; }
    long getPos() const override { return std::ftell(File); }
    const io::path& getFileName() const override { return Name; }

private:
    FILE* File;
    long Size;
    io::path Name;
};

// Plain files and folders: a pipe or a device in the data must not hold the
// game. A folder opens as the file system's own reader opens one, so that
// the callers that tell "a folder, not a file" from "missing" still can.
io::IReadFile* openDiskFile(const io::path& name)
{
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat info;
    FILE* file = nullptr;
    if (::fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) && ::fcntl(fd, F_SETFL, 0) == 0)
        file = ::fdopen(fd, "rb");
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    return new CDiskReadFile(file, long(info.st_size), name);
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder + (folder.back() == '/' ? "" : "/") + name;
}

// The archives made here, so that their links can be told from any other
// archive's without a cast through the file system's interfaces.
std::mutex& archivesLock()
{
    static std::mutex& lock = *new std::mutex;
    return lock;
}
std::set<const io::IFileArchive*>& ourArchives()
{
    static std::set<const io::IFileArchive*>& archives = *new std::set<const io::IFileArchive*>;
    return archives;
}

class CFolderArchive : public io::IFileArchive {
public:
    // Takes the caller's reference of the list.
    CFolderArchive(io::IFileList* files, SFolderArchiveLinks links) : Files(files), Links(std::move(links))
    {
        std::lock_guard<std::mutex> hold(archivesLock());
        ourArchives().insert(this);
    }
    ~CFolderArchive() override
    {
        {
            std::lock_guard<std::mutex> hold(archivesLock());
            ourArchives().erase(this);
        }
        Files->drop();
    }
    CFolderArchive(const CFolderArchive&) = delete;
    CFolderArchive& operator=(const CFolderArchive&) = delete;

    io::IReadFile* createAndOpenFile(const io::path& name) override
    {
        s32 index = Files->findFile(name, false);
        return index < 0 ? nullptr : createAndOpenFile(u32(index));
    }
    // Through the names as walked, so a file below a link opens through it.
    io::IReadFile* createAndOpenFile(u32 index) override
    {
        if (index >= Files->getFileCount())
            return nullptr;
        return openDiskFile(Files->getPath() + Files->getFullFileName(index));
    }
    const io::IFileList* getFileList() const override { return Files; }
    io::E_FILE_ARCHIVE_TYPE getType() const override { return io::EFAT_FOLDER; }
    const SFolderArchiveLinks& links() const { return Links; }

private:
    io::IFileList* Files;
    SFolderArchiveLinks Links;
};

struct SWalkedFolder {
    std::string Native;     // the mounted folder's real path and the names walked below it
    std::string Relative;   // "" at the top, else ending in "/"
    bool IsLink;
    dev_t Device;
    ino_t Inode;
    int Parent;             // index of the folder that holds it; -1 at the top
};

struct SWalkedEntry {
    std::string Name;   // below the mounted folder, "/" between folders
    u32 Size;
    bool IsFolder;
};

bool isLink(DIR* dir, const dirent& entry)
{
    struct stat own;
    if (entry.d_type == DT_UNKNOWN && ::fstatat(::dirfd(dir), entry.d_name, &own, AT_SYMLINK_NOFOLLOW) == 0)
        return S_ISLNK(own.st_mode);
    return entry.d_type == DT_LNK;
}

// Breadth first: the folder's own tree, then each link to a folder that it
// holds, with everything below the link (links there too), kept whole or
// left out whole.
class CFolderWalk {
public:
    CFolderWalk(const std::string& top, const struct stat& info, const SFolderMountLimits& limits) : Limits(limits)
    {
        Folders.push_back({top, "", false, info.st_dev, info.st_ino, -1});
    }

    // False when the own tree holds too much to be mounted.
    bool walkOwn(std::vector<SWalkedEntry>& entries) { return walk(0, true, entries, Limits.Entries); }

    void walkLinks(std::vector<SWalkedEntry>& entries)
    {
        for (size_t link : Links) {
            const std::string relative = Folders[link].Relative;
            std::vector<SWalkedEntry> found{{relative.substr(0, relative.size() - 1), 0, true}};
            const size_t before = Folders.size(), kept = entries.size();
            if (kept < Limits.Entries && walk(link, false, found, Limits.Entries - kept)) {
                entries.insert(entries.end(), found.begin(), found.end());
                Met.Walked.push_back(joined(Folders[link].Native, ""));
                for (size_t below = before; below < Folders.size(); ++below)
                    if (Folders[below].IsLink)
                        Met.Walked.push_back(joined(Folders[below].Native, ""));
                continue;
            }
            // Own links are plain names in plain folders: the path as walked is real.
            Met.LeftOut.push_back(Folders[link].Native);
            if (readAll())
                DebugLog(Format("Folder '%s': the link '%s' is left out: the mount has read %zu entries, all it may",
                                Folders[0].Native.c_str(), found[0].Name.c_str(), Limits.Reads));
            else
                DebugLog(Format("Folder '%s': the link '%s' is left out: with what it leads to the mount would "
                                "hold more than %zu files and folders in all (%zu without it)",
                                Folders[0].Native.c_str(), found[0].Name.c_str(), Limits.Entries, kept));
        }
    }

    // Whether the walk stopped because it read all it may.
    bool readAll() const { return Read > Limits.Reads; }

    // What the walk met through links, once it is done.
    SFolderArchiveLinks& met() { return Met; }

private:
    // False when the folders hold more than room entries, or the mount has
    // read all it may.
    bool walk(size_t first, bool own, std::vector<SWalkedEntry>& entries, size_t room)
    {
        std::deque<size_t> queue{first};
        while (!queue.empty()) {
            const size_t index = queue.front();
            queue.pop_front();
            if (!readFolder(index, own, queue, entries, room))
                return false;
        }
        return true;
    }

    bool readFolder(size_t index, bool own, std::deque<size_t>& queue, std::vector<SWalkedEntry>& entries,
                    size_t room)
    {
        DIR* dir = ::opendir(Folders[index].Native.c_str());
        if (!dir) {
            const int error = errno;
            const std::string& relative = Folders[index].Relative;
            DebugLog(Format("Folder '%s': the folder '%s' is left out, it cannot be read: %s",
                            Folders[0].Native.c_str(), relative.substr(0, relative.size() - 1).c_str(),
                            std::strerror(error)));
            return true;
        }
        bool fits = true;
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            fits = ++Read <= Limits.Reads && entries.size() < room;
            if (!fits)
                break;
            addEntry(index, own, dir, *entry, queue, entries);
        }
        ::closedir(dir);
        return fits;
    }

    bool isWalking(size_t index, const struct stat& info) const
    {
        for (int at = int(index); at >= 0; at = Folders[size_t(at)].Parent)
            if (Folders[size_t(at)].Device == info.st_dev && Folders[size_t(at)].Inode == info.st_ino)
                return true;
        return false;
    }

    void addEntry(size_t index, bool own, DIR* dir, const dirent& entry, std::deque<size_t>& queue,
                  std::vector<SWalkedEntry>& entries)
    {
        const std::string native = joined(Folders[index].Native, entry.d_name);
        if (native.size() >= PATH_MAX)
            return;   // nothing could open it
        struct stat info;
        if (::fstatat(::dirfd(dir), entry.d_name, &info, 0) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                return;   // a link to nothing names nothing
            info = {};    // there but unreadable (a link to itself): listed, and the read says why
        }
        const std::string relative = Folders[index].Relative + entry.d_name;
        if (!S_ISDIR(info.st_mode)) {
            entries.push_back({relative, u32(std::min<int64_t>(info.st_size, UINT32_MAX)), false});
            return;
        }
        // A link back to the folder itself or one above it is not walked;
        // nor is a plain folder met again below a link: its own path is the way in.
        if (isWalking(index, info))
            return;
        const bool link = isLink(dir, entry);
        Folders.push_back({native, relative + "/", link, info.st_dev, info.st_ino, int(index)});
        if (own && link) {
            Links.push_back(Folders.size() - 1);
            return;
        }
        entries.push_back({relative, 0, true});
        queue.push_back(Folders.size() - 1);
    }

    const SFolderMountLimits Limits;
    std::vector<SWalkedFolder> Folders;
    std::vector<size_t> Links;   // links to folders met in the own tree
    size_t Read = 0;             // entries read, whatever became of them
    SFolderArchiveLinks Met;
};

} // namespace

io::IFileArchive* CreateFolderArchive(io::IFileSystem* fs, const char* folder, std::string& refusal,
                                       const SFolderMountLimits& limits)
{
    refusal.clear();
    if (!fs || !folder || !*folder)
        return nullptr;
    std::error_code error;
    std::string top = std::filesystem::canonical(folder, error).string();
    struct stat info;
    if (error || ::stat(top.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || ::access(top.c_str(), R_OK | X_OK) != 0)
        return nullptr;
    CFolderWalk walk(top, info, limits);
    std::vector<SWalkedEntry> entries;
    if (!walk.walkOwn(entries)) {
        refusal = walk.readAll() ? "its walk read " + std::to_string(limits.Reads) + " entries, all a mount may"
                                 : "it holds more than " + std::to_string(limits.Entries) + " files and folders";
        return nullptr;
    }
    walk.walkLinks(entries);
    // Names keep their case; the list's lookup ignores it.
    io::IFileList* files = fs->createEmptyFileList(joined(top, "").c_str(), false, false);
    if (!files)
        return nullptr;
    for (const SWalkedEntry& entry : entries)
        files->addItem(entry.Name.c_str(), 0, entry.Size, entry.IsFolder);
    files->sort();
    return new CFolderArchive(files, std::move(walk.met()));
}

bool GetFolderArchiveLinks(const io::IFileArchive* archive, SFolderArchiveLinks& links)
{
    std::lock_guard<std::mutex> hold(archivesLock());
    if (!archive || !ourArchives().count(archive))
        return false;
    links = static_cast<const CFolderArchive*>(archive)->links();
    return true;
}
