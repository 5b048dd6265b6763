// A look at an image file's header before Irrlicht's image loaders see it.
// The loaders trust the sizes a header claims (and pick a loader by the
// name's extension first, then by content), so a damaged or hostile image
// could make them read or write past their buffers or ask for gigabytes.
#pragma once

#include <cstddef>
#include <string>

namespace irr { namespace io { class IReadFile; } }

// Why the file cannot be handed to the image loaders, empty when it can: its
// kind found by content (PNG, JPEG, BMP; TGA by its name or footer), width
// and height within a sane bound, bits a loader reads, and the pixels a
// header promises within the file. Reads from the start; leaves the file
// at its start.
std::string ImageHeaderFault(irr::io::IReadFile* file, const char* name);

// True, with a log line, when the file may go to the image loaders.
bool ImageFileIsLoadable(irr::io::IReadFile* file, const char* name);

// True when the name opens through the engine's file system as something no
// image loader may be handed: no plain file, or an image with a damaged
// header (logged). A name that does not open is left to the caller.
bool NamesNoLoadableImage(const char* name);
