// Saving files whole: a save either puts the complete new version of a file
// in place or leaves the old one exactly as it was, whatever the disk does.
#pragma once

#include "utils_str.h"

#include <cstddef>

// Where a failed save is reported. The debug log's own file reports to
// standard error: the log cannot take a line about itself while it is being
// written, least of all as the program ends.
enum class ESaveReport { DebugLog, StandardError };

// Replaces the file at a native path with the bytes; a symbolic link there
// stays, and the file it names is replaced (made when its folder exists).
// They go to a temporary file beside that file (a short name of the saver's
// own, whatever the target's length), reach the disk, and are renamed over
// it; the target is never opened for writing. A read-only file, or
// anything but a plain file, is not replaced. On failure the temporary is
// removed, the old file stays as it was, the report names the file and the
// system's reason, and the result is false.
bool SaveFileWhole(const char* nativePath, const void* data, size_t size,
                   ESaveReport report = ESaveReport::DebugLog);

// The same inside a crash handler: async-signal-safe (no allocation, no locks,
// no report), for a path made before the crash. False when nothing was saved.
bool SaveFileWholeInCrash(const char* nativePath, const char* data, size_t size);

// Removes the temporaries that saves killed before their rename left in a
// folder: only names of the saver's own pattern whose process is gone.
// Returns how many were removed.
int RemoveStaleSaveTemporaries(const char* nativeFolder);

enum class EUserFileRead { Read, Missing, Unreadable };

// Reads a file that holds what the player keeps (a profile, the profile
// list, a score table). Missing reads as an empty text. A file that is there
// but cannot be read, or only in part (a NUL byte ends the text), is kept:
// no save replaces it for the rest of the run, and the player is told once,
// with the reason.
EUserFileRead ReadUserFile(const char* path, CString& text);

// The steps of a save, as the fault hook sees them.
enum class ESaveStep { Create, Write, Sync, Rename };

// Test hook: asked before each step of every save; a non-zero errno makes
// that step fail as if the system had answered it. Null removes it.
using SaveFaultHook = int (*)(ESaveStep step);
void SetSaveFaultHook(SaveFaultHook hook);
