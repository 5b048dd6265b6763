// The path bridge: the one place where a name from content or from the
// engine reaches the operating system. Names inside the engine keep their
// Windows form (backslashes, any letter case); here they become Linux paths.
#pragma once

#include "utils_str.h"

// The name as the disk knows it: every "\" becomes "/", runs of separators
// collapse (a leading "/" stays: the name is absolute). When the name does
// not exist as written, each folder and the file are looked up without
// regard to case, and the first entry in byte order that matches is taken.
// Parts that match nothing are kept as written, so the result also names a
// file or folder to create, and a write reuses an existing file of another
// case instead of making a sibling. Blanks and dots that end a missing name
// are dropped first, as Windows drops them.
CString ToNativePath(const char* name);

// The name as Irrlicht's archives look it up: "/" separators, no doubled
// separator and no leading "./" (either makes the lookup fail); blanks and
// dots that end a name the file system does not know are dropped.
CString ToArchiveName(const char* name);

// Forgets the folder listings kept for case-insensitive lookups. A lookup
// that misses reads its folder again anyway, so this is only needed when
// files were renamed or removed behind the engine's back.
void ClearNativePathCache();
