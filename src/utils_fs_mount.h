// Folders of the game's data mounted into the engine file system, walked
// without changing the working folder, so that symbolic links cannot lead
// the walk in circles or out into the rest of the disk.
#pragma once

#include <string>
#include <vector>

namespace irr { namespace io { class IFileArchive; class IFileSystem; } }

// A folder archive over a native folder: its files open by their names below
// it, "/" or "\" and any letter case, as the file system's own folder
// archives do; its path is the folder's real path ending in "/". A link to a
// folder, inside the folder or outside it, is walked as a folder of the
// data, so its files open by the link's name; a folder the walk is already
// in (the mounted folder itself or one above the link) is not walked again.
// A folder whose own tree holds more entries than a game's data could, such
// as one that holds the whole disk, is refused: the walk stops there, the
// result is null and refusal says why. When only what its links lead to
// passes that many, the folder is mounted without it, with one line in the
// debug log. Null with refusal empty when the folder cannot be read.
// +1: the caller drops it.
irr::io::IFileArchive* CreateFolderArchive(irr::io::IFileSystem* fs, const char* folder, std::string& refusal);

// What the walk of such an archive met through links, so that a listing of
// the same folders follows the links the mount followed and no others.
struct SFolderArchiveLinks {
    std::vector<std::string> Walked;    // real paths, ending in "/", of the folders it walked through links
    std::vector<std::string> LeftOut;   // links it did not walk: the holding folder's real path + "/" + name
};

// The links met by an archive CreateFolderArchive made; false for any other.
bool GetFolderArchiveLinks(const irr::io::IFileArchive* archive, SFolderArchiveLinks& links);
