// The data manifest (data\manifest.xml): start-up script, folders, language
// file, window title, pixel size, the fonts, cursors, atlas lists, materials
// and particle groups, extra option lines, custom settings and text macros;
// and the transliterators it caches.
#pragma once

#include "utils_array.h"
#include "utils_engine_context.h"
#include "utils_serialize_storage.h"
#include "utils_str.h"
#include "utils_str_attribs.h"

#include <irrMap.h>
#include <irrString.h>

class CManifestFont : public CSerializable {
public:
    void serialize(CXMLStorage& storage) override;

    CString InternalName;
    CString Description;   // the font description file
    CString EmbedIcons;
    float Scale;
    float Kerning;
    float KerningSpace;
    float LineSpace;
    float BaseLine;
    int Filtering;
    CString Transliterator;
};

class CManifestCursor : public CSerializable {
public:
    void serialize(CXMLStorage& storage) override;

    CString InternalName;
    CString Texture;
    int SpritesX;   // frames across the strip
    int SpritesY;
    int HotSpotX;   // both come from elements named "HotSpotX", x first
    int HotSpotY;
};

class CManifestAtlasList : public CSerializable {
public:
    void serialize(CXMLStorage& storage) override;

    CString InternalName;
    CString Data;   // the body of a texture list section
};

class CManifestMaterialType : public CSerializable {
public:
    void serialize(CXMLStorage& storage) override;

    CString InternalName;
    CString FX;   // a material description
};

class CManifestParticleGroup : public CSerializable {
public:
    void serialize(CXMLStorage& storage) override;

    CString InternalName;
    CString Data;
};

// Maps the character at position i of `in` to the one at position i of `to`.
class CManifestTransliterator : public CSerializable {
public:
    void serialize(CXMLStorage& storage) override;

    CString in;
    CString to;
};

class CManifest : public CSerializable {
public:
    CManifest();
    ~CManifest() override;
    CManifest(const CManifest&) = delete;
    CManifest& operator=(const CManifest&) = delete;

    // The program's manifest, read from the program folder's
    // "data\manifest.xml" on first use and again after clear. A missing or
    // malformed file ends the program with the XML storage's message.
    static CManifest& instance();

    // The same object as it stands, without reading anything.
    static CManifest& stored();

    // Reads the manifest file at this path into this object (instance does
    // this with the program's manifest; tests with their own).
    void readFrom(const char* path);

    void serialize(CXMLStorage& storage) override;
    void onLoaded() override;

    // Deletes every item and cached transliterator; the next instance reads again.
    void clear();

    bool isLoaded() const { return m_nLoaded != 0; }
    CString getMacro(const char* name) const;
    // One pass over the macro table: "${name}" becomes its value.
    void expandMacros(CString& text) const;
    // Replaces the text's characters through the transliterator file (cached).
    void transliterate(CString& text, const char* file);

    bool serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestFont*>& list);
    bool serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestCursor*>& list);
    bool serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestAtlasList*>& list);
    bool serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestMaterialType*>& list);
    bool serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestParticleGroup*>& list);

    CString InitialScriptFile;
    CString InitialScriptCode;
    CString SoundFolder;   // below the manifest's folder once loaded
    CString MusicFolder;
    CString DefaultLngFile;
    CString DefaultWindowTitle;   // a language key
    CString AdditionalIniOptions;
    CString CustomSettings;
    CString Macros;
    CCustomAttribs Settings;   // parsed from CustomSettings
    CMapStringToString MacroTable;
    float Modifiers_DefaultPixelSize = 1.0f;

    // Owned, in file order.
    CArray<CManifestFont*> Fonts;
    CArray<CManifestCursor*> Cursors;
    CArray<CManifestParticleGroup*> ParticleGroups;
    CArray<CManifestAtlasList*> AtlasLists;
    CArray<CManifestMaterialType*> MaterialTypes;

    CString ManifestPath;
    CString LngFileExtension;   // ".lng" for "strings.lng"
    CString LngFileBaseName;    // "strings" for "strings.lng"

private:
    void readMacros();
    void addMacroLine(const CString& line);

    int m_nLoaded = 0;
    irr::core::map<irr::core::stringc, CManifestTransliterator*> m_Transliterators;   // owned
};

// The program's manifest, read on first use.
CManifest& getManifest();

// The manifest's share of the engine context: its loaded flag, folders,
// language file, pixel size and macros, from the program's manifest (the
// defaults until it has loaded). The engine's context derives from this and
// answers the rest.
class CManifestEngineContext : public IEngineContext {
public:
    bool isManifestLoaded() override;
    const CString& getSoundFolder() override;
    const CString& getMusicFolder() override;
    const CString& getDefaultLngFile() override;
    float getDefaultPixelSize() override;
    void expandMacros(CString& text) override;
};
