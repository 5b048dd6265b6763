// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes (tests).
#pragma once

#include <string>

class CTempFolder {
public:
    CTempFolder();
    explicit CTempFolder(const std::string& parent);   // under that folder instead
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::string& path() const { return Path; }   // ends in "/"
    std::string file(const std::string& name) const { return Path + name; }

    void write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;   // empty when missing
    bool exists(const std::string& name) const;

private:
    std::string Path;
};
