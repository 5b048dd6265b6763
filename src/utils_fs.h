// The file layer: the program folder, and whole files read into and
// written from texts.
#pragma once

#include "utils_str.h"

// The program's folder in its real case, ending in "/"; computed once.
CString GetAppFolder();
const char* GetAppFolderCStr();

// Reads a whole file from the engine's mounted file system, else from disk.
// The text ends at the file's first NUL byte. False for a null or empty
// path or when neither source has the file.
bool ReadFileToString(const char* path, CString& text);

// Through the engine's file system, backslashes turned into slashes; false
// when there is none yet. An empty file is read and leaves the text as it was.
bool ReadPackedFile(const char* path, CString& text);

// From disk. An empty file is read and leaves the text as it was.
bool ReadDiskFile(const char* path, CString& text);

// Replaces the file with the text (up to its NUL), byte for byte. Writes a
// temporary file beside it first and renames it over the old one, so a
// failed write leaves the old file whole. True when every byte was written.
bool WriteStringToFile(const char* path, const char* text);
