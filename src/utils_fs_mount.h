// Folders of the game's data mounted into the engine file system, walked
// without changing the working folder, so that symbolic links cannot lead
// the walk in circles or out into the rest of the disk.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace irr { namespace io { class IFileArchive; class IFileSystem; } }

// How much one mount may take: far more than any game's data. A walk of the
// whole disk stops there, within seconds and some megabytes.
struct SFolderMountLimits {
    size_t Entries = 100000;   // files and folders kept, its links' included
    size_t Reads = 300000;     // entries read, whatever became of them (loops)
};

// A folder archive over a native folder: its files open by their names below
// it, "/" or "\" and any letter case, as the file system's own folder
// archives do; its path is the folder's real path ending in "/". A link to a
// folder, inside the folder or outside it, is walked as a folder of the
// data, so its files open by the link's name; a folder the walk is already
// in (the mounted folder itself or one above the link) is not walked again.
// A folder whose own tree holds more entries than the limit, such as one
// that holds the whole disk, is refused: the walk stops there, the result is
// null and refusal says why. A link that would take the mount past its
// limits is left out with what lies below it, and a folder inside that
// cannot be read is skipped, each with one line in the debug log. A link
// that leads nowhere is no name of the archive. Null with refusal empty when
// the folder cannot be read. +1: the caller drops it.
irr::io::IFileArchive* CreateFolderArchive(irr::io::IFileSystem* fs, const char* folder, std::string& refusal,
                                           const SFolderMountLimits& limits = SFolderMountLimits());

// What the walk of such an archive met through links, so that a listing of
// the same folders follows the links the mount followed and no others. A
// link back into the walk is not among them: where it leads back depends on
// the way taken to it, which a listing tells as the walk did.
struct SFolderArchiveLinks {
    std::vector<std::string> Walked;    // the folders it walked through links, as walked, ending in "/"
    std::vector<std::string> LeftOut;   // links left out for the limits: the holding folder's real path + "/" + name
};

// The links met by an archive CreateFolderArchive made; false for any other.
bool GetFolderArchiveLinks(const irr::io::IFileArchive* archive, SFolderArchiveLinks& links);
