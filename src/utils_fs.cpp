// Program folder and whole-file reading and writing.
#include "utils_fs.h"

#include "utils_engine_context.h"
#include "utils_system_windows.h"

#include <IFileSystem.h>
#include <IReadFile.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const CString& appFolder()
{
    static const CString folder = GetModuleFolder();
    return folder;
}

// Assigns a buffer of size + 1 zero bytes, as a C text.
void assignRead(CString& text, const std::vector<char>& buffer)
{
    text = buffer.data();
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Opens a fresh temporary file beside the target; -1 when that fails.
int openTemporary(const std::string& target, std::string& name)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        name = target + "." + std::to_string(getpid()) + ".tmp";
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
        ::unlink(name.c_str());   // left over from a crashed writer of this pid
    }
    return -1;
}

} // namespace

CString GetAppFolder()
{
    return appFolder();
}

const char* GetAppFolderCStr()
{
    return appFolder();
}

bool ReadFileToString(const char* path, CString& text)
{
    if (!path || !*path)
        return false;
    return ReadPackedFile(path, text) || ReadDiskFile(path, text);
}

bool ReadPackedFile(const char* path, CString& text)
{
    irr::io::IFileSystem* fs = GetEngineContext().getFileSystem();
    if (!fs || !path)
        return false;
    std::string name(path);
    for (char& c : name)
        if (c == '\\')
            c = '/';
    irr::io::IReadFile* file = fs->createAndOpenFile(name.c_str());
    if (!file)
        return false;
    long size = file->getSize();
    bool complete = true;
    if (size > 0) {
        std::vector<char> buffer(size_t(size) + 1, 0);
        complete = file->read(buffer.data(), irr::u32(size)) == irr::s32(size);
        assignRead(text, buffer);
    }
    file->drop();
    return complete;
}

bool ReadDiskFile(const char* path, CString& text)
{
    if (!path)
        return false;
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    long size = 0;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    std::rewind(file);
    bool complete = size >= 0;
    if (size > 0) {
        std::vector<char> buffer(size_t(size) + 1, 0);
        complete = std::fread(buffer.data(), 1, size_t(size), file) == size_t(size);
        assignRead(text, buffer);
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
    size_t length = std::strlen(text);
    std::string temporary;
    int fd = openTemporary(path, temporary);
    if (fd < 0) {
        // A folder that refuses new names may still allow the file itself.
        fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        bool written = writeAll(fd, text, length);
        return ::close(fd) == 0 && written;
    }
    // The new file takes the old one's permissions (a private profile stays private).
    struct stat old = {};
    if (::stat(path, &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
    bool written = writeAll(fd, text, length);
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
