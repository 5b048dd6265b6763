// An Irrlicht null device whose file system is installed in the default
// engine context for the object's lifetime (tests of the file layer).
#pragma once

#include "utils_fs_mount.h"

#include <string>

namespace irr {
class IrrlichtDevice;
namespace io { class IFileSystem; }
}

class CNullFileSystem {
public:
    CNullFileSystem();
    ~CNullFileSystem();
    CNullFileSystem(const CNullFileSystem&) = delete;
    CNullFileSystem& operator=(const CNullFileSystem&) = delete;

    irr::io::IFileSystem* get() const;

    // Mounts a folder or an archive as the engine does: letters compared
    // without case, folder names inside kept; a folder within the limits.
    bool mount(const std::string& path, bool isFolder = false,
               const SFolderMountLimits& limits = SFolderMountLimits()) const;

private:
    irr::IrrlichtDevice* Device;
};
