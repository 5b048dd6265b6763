// Temporary folders for tests.
#include "temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

CTempFolder::CTempFolder() : CTempFolder(std::filesystem::temp_directory_path().string())
{
}

CTempFolder::CTempFolder(const std::string& parent)
{
    std::string pattern = (std::filesystem::path(parent) / "engine-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    Path = pattern + "/";
}

CTempFolder::~CTempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
}

void CTempFolder::write(const std::string& name, const std::string& content) const
{
    std::ofstream out(file(name), std::ios::binary);
    out << content;
}

std::string CTempFolder::read(const std::string& name) const
{
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool CTempFolder::exists(const std::string& name) const
{
    return std::filesystem::exists(file(name));
}
