// Writes small archives for file-system tests: a zip whose entries are
// stored (not compressed) and a Quake-style pak.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Entry names use "/" and are written as given.
using ArchiveEntries = std::vector<std::pair<std::string, std::string>>;

// False when the file cannot be written.
bool WriteStoredZip(const std::string& path, const ArchiveEntries& entries);
bool WritePak(const std::string& path, const ArchiveEntries& entries);
