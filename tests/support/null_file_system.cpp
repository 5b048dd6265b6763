// Null-device file system for tests.
#include "null_file_system.h"

#include "utils_engine_context.h"

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

bool CNullFileSystem::mount(const std::string& path, bool isFolder) const
{
    irr::io::E_FILE_ARCHIVE_TYPE type = isFolder ? irr::io::EFAT_FOLDER : irr::io::EFAT_UNKNOWN;
    return get() && get()->addFileArchive(path.c_str(), true, false, type);
}
