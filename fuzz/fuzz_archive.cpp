// PAK and zip archives mounted the way the engine mounts its data archives;
// every entry the mount lists is read within the archive's own bytes.
#include "fuzz_host.h"

#include <IFileArchive.h>
#include <IFileList.h>
#include <IFileSystem.h>
#include <IReadFile.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CFuzzProgram* program = new CFuzzProgram;   // kept to the process's end
    static CEngineBase* engine = [] {
        auto* e = new CEngineBase;
        e->ForceNullDriver = true;
        e->createDevice();
        return e;
    }();
    static unsigned number = 0;
    // Each input a name of its own: the file system keeps what it learnt of a path.
    const bool isZip = size >= 2 && bytes[0] == 'P' && bytes[1] == 'K';
    const std::string name = "a" + std::to_string(number++) + (isZip ? ".zip" : ".pak");
    const std::string path = program->Folder.file(name);
    program->writeData("../" + name, bytes, size);
    irr::io::IFileSystem* fs = engine->FileSystem;
    const irr::u32 before = fs->getFileArchiveCount();
    if (engine->mountArchive(name.c_str())) {
        if (fs->getFileArchiveCount() != before + 1)
            std::abort();   // a mount that says yes adds one archive
        irr::io::IFileArchive* archive = fs->getFileArchive(before);
        const irr::io::IFileList* list = archive->getFileList();
        for (irr::u32 e = 0; e < list->getFileCount(); ++e) {
            if (list->isDirectory(e))
                continue;
            irr::io::IReadFile* file = archive->createAndOpenFile(e);
            if (!file)
                continue;
            const long length = file->getSize();
            // Deflate, the densest packing a zip here holds, makes at most 1032 bytes of one.
            if (length < 0 || uint64_t(length) > uint64_t(size) * 1032 + 1024)
                std::abort();   // a claim no data can fill: the reader allocates it all
            std::vector<char> entry(size_t(length) + 1);
            file->read(entry.data(), irr::u32(length));
            file->drop();
        }
        fs->removeFileArchive(before);
    }
    std::filesystem::remove(path);
    return 0;
}
