// The foundation's one road up into the engine: the file system, the debug
// option, the window flags and the manifest. The engine installs its own
// context; until then (and in tests) a stand-alone default answers.
#pragma once

#include "utils_str.h"

namespace irr { namespace io { class IFileSystem; } }

class IEngineContext {
public:
    virtual ~IEngineContext() = default;

    virtual irr::io::IFileSystem* getFileSystem() = 0;   // borrowed; null before the device exists
    virtual int isDebugMode() = 0;                       // the Debug option's value
    virtual int* getAppActiveFlag() = 0;                 // non-zero while the window is the active one
    virtual char* getFullscreenFlag() = 0;               // non-zero while the device runs fullscreen

    // The manifest; its values are defaults until it has loaded.
    virtual bool isManifestLoaded() = 0;
    virtual const CString& getSoundFolder() = 0;
    virtual const CString& getMusicFolder() = 0;
    virtual const CString& getDefaultLngFile() = 0;
    virtual float getDefaultPixelSize() = 0;             // Modifiers_DefaultPixelSize
    virtual void expandMacros(CString& text) = 0;        // the manifest's macros, in place

    virtual const CString& getAppDataFolder() = 0;       // the AppDataFolder option
};

// The stand-alone context: no file system, no manifest, the manifest's
// default values. Fields are public so that tests can set them.
class CDefaultEngineContext : public IEngineContext {
public:
    irr::io::IFileSystem* FileSystem = nullptr;          // borrowed
    int DebugMode = 0;
    int AppActive = 0;
    char Fullscreen = 0;
    bool ManifestLoaded = false;
    CString SoundFolder = "sounds\\";
    CString MusicFolder = "sounds\\music\\";
    CString DefaultLngFile = "strings.lng";
    float DefaultPixelSize = 1.0f;
    CString AppDataFolder;

    irr::io::IFileSystem* getFileSystem() override { return FileSystem; }
    int isDebugMode() override { return DebugMode; }
    int* getAppActiveFlag() override { return &AppActive; }
    char* getFullscreenFlag() override { return &Fullscreen; }
    bool isManifestLoaded() override { return ManifestLoaded; }
    const CString& getSoundFolder() override { return SoundFolder; }
    const CString& getMusicFolder() override { return MusicFolder; }
    const CString& getDefaultLngFile() override { return DefaultLngFile; }
    float getDefaultPixelSize() override { return DefaultPixelSize; }
    void expandMacros(CString& text) override {}
    const CString& getAppDataFolder() override { return AppDataFolder; }
};

// The current context: the installed one, else the default one.
IEngineContext& GetEngineContext();

// The process's default context (what tests adjust).
CDefaultEngineContext& GetDefaultEngineContext();

// Installs a context (borrowed; it must outlive its use); null goes back to
// the default one. Returns the context installed before (null for the default).
IEngineContext* SetEngineContext(IEngineContext* context);
