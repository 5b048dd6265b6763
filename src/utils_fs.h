// The file layer: where things are (program, data and user folders, data
// paths, existence, command-line switches) and whole text files (reading,
// writing, the text-file cache, includes, file types, folder listings).
//
// Data names keep their Windows form inside the engine ("scripts\a.nut");
// they reach the disk only through the path bridge (utils_fs_bridge.h).
// The program, data and user folders are native paths in their real case.
#pragma once

#include "utils_fs_mount.h"
#include "utils_str.h"
#include "utils_system_windows.h"

#include <irrArray.h>
#include <irrString.h>

#include <string>
#include <vector>

namespace irr { namespace io { class IReadFile; } }

// --- folders ---

// The program's folder in its real case, ending in "/"; computed once.
CString GetAppFolder();
const char* GetAppFolderCStr();

// Another program folder, ending in "/" (tests); null goes back to the
// executable's. Pointers from GetAppFolderCStr become invalid.
void SetAppFolder(const char* folder);

// The program folder's "data" sub-folder (its case as found on disk),
// ending in "/".
CString GetDataFolder();

// Removes every occurrence of folder from text, letters compared without
// case and "/" equal to "\"; true when anything was removed.
bool removeFolderText(CString& text, const char* folder);
// Whether removeFolderText would find the folder in the text; builds nothing.
bool hasFolderText(const char* text, const char* folder);

// The user folder, ending in a separator, created when missing: the "ul"
// switch's folder (program folder + "UserData" for an empty value), else the
// program folder's "Profile" when it exists, else the user's application-data
// folder + the AppDataFolder name. Fixed by the first call.
CString GetUserFolder();

// Forgets the user folder so that the next GetUserFolder computes it again
// (tests).
void ResetUserFolder();

// The folders that hold the game's own files: the data folder, the folders
// mounted in the engine file system, the folders their mounts walked through
// links (as walked), and the user folder once it is chosen (asking never
// chooses it).
std::vector<CString> GetGameFolders();

// The folders mounted in the engine file system, in search order, each
// ending in "/"; links receives what their mounts met through links.
std::vector<CString> GetMountedFolders(SFolderArchiveLinks& links);

// The stored AppDataFolder name (the engine context's option until one is
// stored); a non-null name is stored first.
CString AppDataFolderName(const char* newName);

// Appends part to path in place, with a separator between them unless path
// is empty or already ends in one: "/" after a native path (one beginning
// with "/"), else "\". Returns path.
CString& AppendPath(CString& path, const char* part);

// Removes the temporaries that killed saves left in the folder and in every
// folder below it (a script may save anywhere under the program and user
// folders); links are not followed. Returns how many were removed.
int RemoveStaleSaveTemporariesBelow(const char* nativeFolder);

// --- path parts ---

// The chosen parts (nonzero flags) joined in the order drive, folder, name,
// extension. "http://…" (any case) and "::{…" names longer than 7 characters
// come back whole; anything from the first "?" on is dropped. Both "\" and
// "/" separate folders; the folder keeps its last separator, the extension
// its dot.
CString GetPathPart(const char* path, int drive, int dir, int name, int ext);

// An absolute path unchanged; a leading "\" dropped (data-relative);
// otherwise the path placed in the folder of baseFile.
CString ResolveRelativePath(const char* path, const char* baseFile);

// --- data paths ---

// folder + name. mode >= 0: the result is checked for content-style
// mistakes (warnings only); mode < 0: empty unless FileExists finds it.
// Before the manifest has loaded this is an assertion, then goes on.
CString MakeDataPath(const char* folder, const char* name, int mode);
CString ResolveDataPath(const char* name);         // absolute and "raw://" names unchanged
CString ResolveScriptDataPath(const char* name);   // the same, for scripts
CString GetExistingDataPath(const char* name);     // empty when the file does not exist
CString MakeSoundPath(const char* name);           // under the manifest's SoundFolder
CString MakeMusicPath(const char* name);           // under the manifest's MusicFolder

// --- existence ---

// A file or folder on disk (through the path bridge).
bool PathExistsOnDisk(const char* path);

// 1 when the engine file system finds the path as given, 2 when it finds it
// with "/" separators, else 0 (also without a file system).
int PackedFileExists(const char* path);

// False for a null or empty path; the text from "?" on and one trailing
// "\" are ignored; looks in the engine file system, then on disk.
bool FileExists(const char* path);

// The file on disk under a folder mounted in the engine file system, for a
// data name the engine wrote there in this run (a folder's list is fixed
// when it is mounted; files written into it later are only on disk). The
// native path, or empty when there is no such plain file.
CString FindInMountedFolders(const char* name);

// Records a file the engine has written: when it lies in a mounted folder,
// also when reached through a link to it, FindInMountedFolders finds it
// under its data name from now on. Returns that
// data name ("/" separators), or empty when it lies in no mounted folder.
CString NoteDataFileWritten(const char* path);

// Why the file cannot be read, as the system's error number (ENOENT,
// EACCES, EISDIR, ...), looked up where the engine reads it: a data name in
// the mounted folders, then on disk. 0 when the file opens as a plain file
// (what failed lies in its content). place, when given, receives the native
// path that gave the error.
int ReadFailureError(const char* path, CString* place = nullptr);

// Writes "Cannot read '<path>': <the system's reason>" to the debug log, with
// the native path when it differs, unless there is no error or it is the
// unlogged one (ENOENT where a missing file is no fault). Returns the error.
int LogReadFailure(const char* path, int unlogged = 0);

// The last-write time of a regular file in UTC; false (with the record
// zeroed) when there is no such file.
bool GetFileWriteTime(const char* path, SYSTEMTIME& out);

// --- command line ---

// The command line as one text: the program's arguments joined with blanks;
// an argument holding a blank (and no quote) is quoted after its first "="
// (-ul="/a b"), or whole without one. Read from the process on first use.
const CString& GetCommandLineText();

// Replaces the command line with these arguments (the program's entry, tests).
void SetCommandLineArgs(int argc, const char* const* argv);

// A switch: one of "-\/#$@", the name in any case, then "=" and a value or a
// blank. The value (possibly empty) ends at a blank or is enclosed in double
// quotes. With file references allowed, a value "@name" becomes the text of
// that file (in the program folder when the name has no folder). False,
// with an empty value, when the switch is absent.
bool GetCommandLineSwitch(const char* name, CString& value, bool allowFileReference);

// --- screen ---

// A window size that would not fit the screen shrinks to 800x600 on screens
// narrower than 1024 and to 1024x768 on screens narrower than 1200; sizes up
// to 801 wide, and everything when the screen size is unknown, stay.
void FitResolutionToScreen(int& width, int& height);
void FitResolutionToScreenSize(int& width, int& height, int screenWidth, int screenHeight);

// --- whole files ---

// Reads a whole file from the engine's mounted file system, else from disk.
// The text ends at the file's first NUL byte; an empty file gives an empty
// text. False, with the text unchanged, for a null or empty path or when
// neither source has the file.
bool ReadFileToString(const char* path, CString& text);

// Through the engine's file system only; false when there is none yet.
bool ReadPackedFile(const char* path, CString& text);

// From disk only.
bool ReadDiskFile(const char* path, CString& text);

// Opens the name through the engine's file system; null when it is missing
// or is no plain file. Folders open there too (a mounted folder lists its
// sub-folders), with a size no reader can use.
irr::io::IReadFile* OpenDataFile(const char* name);
// Whether an opened file is a plain file of a size a data file can have.
bool IsPlainDataFile(irr::io::IReadFile* file);
// True when the name opens through the engine's file system as something
// other than a plain file, or as one the check (when given) refuses: image
// loaders must never be handed it.
bool NamesNoPlainFile(const char* name, bool (*check)(irr::io::IReadFile* file, const char* name) = nullptr);

// Replaces the file with the text (up to its NUL), byte for byte, and drops
// the path from the text-file cache. Writes a temporary file beside it first
// and renames it over the old one, so a failed write leaves the old file
// whole and is logged with the system's reason (SaveFileWhole). True when
// every byte was written.
bool WriteStringToFile(const char* path, const char* text);

// --- the text-file cache ---

// The raw text of the file (as ReadFileToString gives it), read once and
// kept under the path exactly as given. A failed read is not kept.
bool ReadFileCached(const char* path, CString& text);

// Empties the cache; always true.
bool ClearTextFileCache();

// --- description and script texts ---

// Reads a data file (absolute, or resolved as a data path) through the
// cache, removes carriage returns, replaces "${thisfolder}\" with the file's
// folder below the data folder and expands "${include(name)}" directives
// (names relative to the including file). A bad or too deeply nested
// directive is removed. A missing file shows a warning box; false, with the
// text unchanged, when it cannot be read.
bool ReadTextFile(const char* name, CString& text);

// A script file read whole, for the code that compiles it without the
// loader's directives (the start-up code, core_Dofile): as ReadFileToString,
// with an editor's UTF-8 mark dropped. A UTF-16 text is refused as the loader
// refuses it, with the same line in the log. False, with the text unchanged,
// when the file is missing, cannot be read or is refused.
bool ReadScriptFile(const char* path, CString& text);

// --- file kinds and listings ---

// -1 other, 1 ".wav", 3 ".txt", 4 ".spr", 5 ".nut", 6 ".dlg", 7 ".cfg",
// 8 "raw://" text, 9 image; case-sensitive substring tests in that order
// (".spr" first, then images, then ".txt"), names under 6 characters -1.
int GetFileType(const char* name);
constexpr int FileTypeDescription = 4;
constexpr int FileTypeScript = 5;
constexpr int FileTypeRaw = 8;
constexpr int FileTypeImage = 9;

// 9 for names holding ".png" or ".jpg" outside the program folder's text,
// else -1.
int GetImageFileType(const char* name);

// Appends the files below prefix + folder, recursively, as lower-case paths
// with "\" separators and the prefix removed, each once; a native folder
// ("/…") or a user folder given relative ("ud\"), given without a prefix,
// keeps its own text in front. Names that begin with "." or contain "svn"
// or "u-" are skipped, and so are folders named so;
// a non-empty pattern ("*" and "?") must match the lower-case file name.
// Links are followed as the mounts of the data followed them: not one they
// left out, nor one back to a folder on the way in. Outside the game's
// folders the walk stops after some thousand entries, and anywhere after
// reading maxRead. Nothing is listed when the folder cannot be entered.
// Main thread only.
void ListFolder(irr::core::array<irr::core::stringc>& list, CString folder, CString pattern, CString prefix,
                size_t maxRead = SFolderMountLimits().Reads);
