// A program folder of the benchmark's own, set up before its engine: the
// engine's options and profiles go to its Profile folder, never the user's,
// and nothing waits for a person (an engine saves its profile on the way out,
// and a missing user folder would ask with a box).
#pragma once

#include "utils_fs.h"

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string PrepareBenchFolder(const char* name)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(folder / "Profile");
    setenv("ENGINE_NONINTERACTIVE", "1", 1);
    SetAppFolder((folder.string() + "/").c_str());
    ResetUserFolder();
    return folder.string();
}
