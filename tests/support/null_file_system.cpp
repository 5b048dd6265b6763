// Null-device file system for tests.
#include "null_file_system.h"

#include "utils_engine_context.h"
#include "utils_fs_mount.h"

#include <IFileSystem.h>
#include <IrrlichtDevice.h>
#include <irrlicht.h>

CNullFileSystem::CNullFileSystem() : Device(irr::createDevice(irr::video::EDT_NULL))
{
    GetDefaultEngineContext().FileSystem = get();
}

CNullFileSystem::~CNullFileSystem()
{
    GetDefaultEngineContext().FileSystem = nullptr;
    if (Device)
        Device->drop();
}

irr::io::IFileSystem* CNullFileSystem::get() const
{
    return Device ? Device->getFileSystem() : nullptr;
}

// Folders are mounted as the game mounts them.
bool CNullFileSystem::mount(const std::string& path, bool isFolder, const SFolderMountLimits& limits) const
{
    if (!get())
        return false;
    if (!isFolder)
        return get()->addFileArchive(path.c_str(), true, false, irr::io::EFAT_UNKNOWN);
    std::string refusal;
    irr::io::IFileArchive* folder = CreateFolderArchive(get(), path.c_str(), refusal, limits);
    if (folder && get()->addFileArchive(folder))
        return true;
    if (folder)
        folder->drop();
    return false;
}
