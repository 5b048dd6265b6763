// The path bridge: the one place where a name from content or from the
// engine reaches the operating system. Names inside the engine keep their
// Windows form (backslashes, any letter case); here they become Linux paths.
#pragma once

#include "utils_str.h"

#include <string>

// The name as the disk knows it: every "\" becomes "/", runs of separators
// collapse (a leading "/" stays: the name is absolute), and "." and "x\.."
// are taken out as Windows does, without asking the disk (a ".." above the
// start of a relative name stays, and finds nothing). When the name does
// not exist as written, each folder and the file are looked up without
// regard to case, and the first entry in byte order that matches is taken.
// Parts that match nothing are kept as written, so the result also names a
// file or folder to create, and a write reuses an existing file of another
// case instead of making a sibling. Blanks and dots that end a missing name
// are dropped first, as Windows drops them. Names in the user and log
// folders (SetExactFolder) are native paths: only "\" becomes "/".
CString ToNativePath(const char* name);

// The name as Irrlicht's archives look it up: "/" separators, no doubled
// separator, "." and "x\.." taken out as above and no leading "./" (either
// makes the lookup fail); blanks and dots that end a name the file system
// does not know are dropped. Names in the user and log folders stay as
// ToNativePath gives them.
CString ToArchiveName(const char* name);

// The folders whose names are used exactly: what the player keeps and the
// logs. Two players whose names differ only in case have two files there,
// and a folder named in one case is never taken for another of that name.
// Null or empty: none. The game's own data keeps the lookup without case.
enum class EExactFolder { User, Log };
void SetExactFolder(EExactFolder which, const char* folder);

// Files that lie directly in the folder and whose names match a pattern of
// RegisterPlayerFileName are named exactly too: the player's files in a user
// folder that also holds the game's data, which keeps the lookup without
// case. The folder itself is found as other names are. Null: none.
void SetExactFiles(const char* folder);

// A pattern ("*" and "?", letters in any case) of names the engine makes for
// the player's files in the user folder. Each owner registers its own where
// it makes the name; a name no pattern matches is found without case in a
// user folder that holds the game's data. True, for a static initialiser.
bool RegisterPlayerFileName(const char* pattern);

// Whether the path is used as written (see SetExactFolder, SetExactFiles):
// a listing gives such names as they are on disk.
bool IsNamedExactly(const char* path);

// Whether the path names the folder or something below it, compared as
// written ("\" and "/" alike, no disk access).
bool IsAtOrBelowFolder(const char* path, const char* folder);

// Forgets the folder listings kept for case-insensitive lookups. A lookup
// that misses reads its folder again anyway, so this is only needed when
// files were renamed or removed behind the engine's back.
void ClearNativePathCache();
