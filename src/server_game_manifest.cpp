// The data manifest, its item records, macros and transliterators.
#include "server_game_manifest.h"

#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_tools.h"

#include <IXMLReader.h>

#include <set>
#include <string>

using namespace irr;

namespace {

constexpr int MaxMacroValueLength = 10000;   // characters

const char* const DefaultScriptFile = "scripts\\startup.nut";
const char* const DefaultSoundFolder = "sounds\\";
const char* const DefaultMusicFolder = "sounds\\music\\";
const char* const DefaultLngFileName = "strings.lng";

// Items are read in order until the list element ends. A list holds only its
// own items: any other element fails in the item's own seek.
template <class Item>
void readItems(CXMLStorage& storage, const char* name, CArray<Item*>& list)
{
    // "<Fonts/>" is the same empty list as "<Fonts></Fonts>"; stepping into
    // it would take the next list's element for an item.
    if (storage.seekNode(name, false) && storage.getReader()->isEmptyElement()) {
        storage.skipElement();
        return;
    }
    storage.beginNode(name);
    for (;;) {
        io::IXMLReader* reader = storage.getReader();
        if (!reader)
            return;
        io::EXML_NODE type = reader->getNodeType();
        if (type == io::EXN_ELEMENT_END)
            break;
        if (type == io::EXN_ELEMENT) {
            Item* item = new Item();
            list.Add(item);   // owned by the list at once, also when reading stops
            item->serialize(storage);
            continue;
        }
        if (!reader->read())
            break;   // the text ends inside the list: endNode reports it
    }
    storage.endNode(name);
}

template <class Item>
void writeItems(CXMLStorage& storage, const char* name, CArray<Item*>& list)
{
    storage.beginNode(name);
    for (int i = 0; i < list.GetSize(); ++i)
        if (list[i]->shouldSave(storage))
            list[i]->serialize(storage);
    storage.endNode(name);
}

template <class Item>
bool serializeList(CXMLStorage& storage, const char* name, CArray<Item*>& list)
{
    if (storage.isReading())
        readItems(storage, name, list);
    else
        writeItems(storage, name, list);
    return true;
}

template <class Item>
void deleteItems(CArray<Item*>& list)
{
    for (int i = 0; i < list.GetSize(); ++i)
        delete list[i];
    list.RemoveAll();
}

// The common shape of every serialize: begin, values, end, with the hooks.
template <class Object, class Values>
void serializeNode(Object& object, CXMLStorage& storage, const char* element, Values values)
{
    if (!storage.isReading())
        object.onBeforeSave();
    storage.beginNode(element);
    values();
    storage.endNode(element);
    if (storage.isReading())
        object.onLoaded();
}

// What the context answers before the manifest has loaded. Never destroyed,
// so the context stays usable while statics are torn down at exit.
struct SManifestDefaults {
    CString SoundFolder = DefaultSoundFolder;
    CString MusicFolder = DefaultMusicFolder;
    CString LngFile = DefaultLngFileName;
};

const SManifestDefaults& defaults()
{
    static const SManifestDefaults* values = new SManifestDefaults;
    return *values;
}

}  // namespace

// --- items ---

void CManifestFont::serialize(CXMLStorage& storage)
{
    serializeNode(*this, storage, "Font", [&] {
        storage.serializeString("InternalName", &InternalName);
        storage.serializeString("Description", &Description);
        storage.serializeString("EmbedIcons", &EmbedIcons, true, "");
        storage.serializeFloat("Scale", &Scale, true, 1.0f);
        storage.serializeFloat("Kerning", &Kerning, true, 0.0f);
        storage.serializeFloat("KerningSpace", &KerningSpace, true, 0.0f);
        storage.serializeFloat("LineSpace", &LineSpace, true, 0.0f);
        storage.serializeFloat("BaseLine", &BaseLine, true, 0.0f);
        storage.serializeLong("Filtering", &Filtering, true, 0);
        storage.serializeString("Transliterator", &Transliterator, true, "");
    });
}

void CManifestCursor::serialize(CXMLStorage& storage)
{
    serializeNode(*this, storage, "Cursor", [&] {
        storage.serializeString("InternalName", &InternalName);
        storage.serializeString("Texture", &Texture);
        storage.serializeLong("SpritesX", &SpritesX, true, 8);
        storage.serializeLong("SpritesY", &SpritesY, true, 1);
        storage.serializeLong("HotSpotX", &HotSpotX, true, 0);
        storage.serializeLong("HotSpotX", &HotSpotY, true, 0);   // the file names y "HotSpotX" too
    });
}

void CManifestAtlasList::serialize(CXMLStorage& storage)
{
    serializeNode(*this, storage, "AtlasList", [&] {
        storage.serializeString("InternalName", &InternalName);
        storage.serializeString("Data", &Data);
    });
}

void CManifestMaterialType::serialize(CXMLStorage& storage)
{
    serializeNode(*this, storage, "MaterialType", [&] {
        storage.serializeString("InternalName", &InternalName);
        storage.serializeString("FX", &FX);
    });
}

void CManifestParticleGroup::serialize(CXMLStorage& storage)
{
    serializeNode(*this, storage, "ParticleGroup", [&] {
        storage.serializeString("InternalName", &InternalName);
        storage.serializeString("Data", &Data);
    });
}

void CManifestTransliterator::serialize(CXMLStorage& storage)
{
    serializeNode(*this, storage, "transliterator", [&] {
        storage.serializeString("in", &in, true, "");
        storage.serializeString("to", &to, true, "");
    });
}

// --- the manifest ---

CManifest::CManifest() : MacroTable(10) {}

CManifest::~CManifest()
{
    clear();
}

CManifest& CManifest::stored()
{
    // Never destroyed: code running while statics are torn down at exit may
    // still ask the engine context for folders and macros.
    static CManifest* manifest = new CManifest;
    return *manifest;
}

CManifest& CManifest::instance()
{
    CManifest& manifest = stored();
    if (!manifest.isLoaded()) {
        CString path;
        path.Format("%s%s", GetAppFolderCStr(), "data\\manifest.xml");
        manifest.readFrom(path);
    }
    return manifest;
}

void CManifest::readFrom(const char* path)
{
    clear();
    ManifestPath = path ? path : "";
    CString text;
    ReadTextFile(ManifestPath, text);   // a missing file is reported there; the storage then stops
    CXMLStorage storage;
    storage.openText(text);
    serialize(storage);
}

void CManifest::serialize(CXMLStorage& storage)
{
    serializeNode(*this, storage, "Manifest", [&] {
        storage.serializeString("InitialScriptFile", &InitialScriptFile, true, DefaultScriptFile);
        storage.serializeString("InitialScriptCode", &InitialScriptCode, true, "");
        storage.serializeString("SoundFolder", &SoundFolder, true, DefaultSoundFolder);
        storage.serializeString("MusicFolder", &MusicFolder, true, DefaultMusicFolder);
        storage.serializeString("DefaultLngFile", &DefaultLngFile, true, DefaultLngFileName);
        storage.serializeString("DefaultWindowTitle", &DefaultWindowTitle, true, "GAME.TITLE");
        storage.serializeFloat("Modifiers_DefaultPixelSize", &Modifiers_DefaultPixelSize, true, 1.0f);
        serializeItemList(storage, "Fonts", Fonts);
        serializeItemList(storage, "Cursors", Cursors);
        serializeItemList(storage, "AtlasLists", AtlasLists);
        serializeItemList(storage, "Materials", MaterialTypes);
        serializeItemList(storage, "ParticleGroups", ParticleGroups);
        storage.serializeString("AdditionalIniOptions", &AdditionalIniOptions, true, "");
        storage.serializeString("CustomSettings", &CustomSettings, true, "");
        storage.serializeString("Macros", &Macros, true, "");
    });
}

void CManifest::onLoaded()
{
    CString manifestFolder = GetPathPart(ManifestPath, 1, 1, 0, 0);
    SoundFolder = manifestFolder + SoundFolder;
    MusicFolder = manifestFolder + MusicFolder;
    LngFileExtension = GetPathPart(DefaultLngFile, 0, 0, 0, 1);
    LngFileBaseName = GetPathPart(DefaultLngFile, 0, 0, 1, 0);
    if (CustomSettings.Find("]=") >= 0)
        Settings.fromText(CustomSettings, false);
    else
        Settings.parseDescription(CustomSettings, false);
    m_nLoaded = 1;   // before the macros: their include files are data paths
    readMacros();
}

void CManifest::clear()
{
    deleteItems(Fonts);
    deleteItems(Cursors);
    deleteItems(ParticleGroups);
    deleteItems(AtlasLists);
    deleteItems(MaterialTypes);
    for (auto it = m_Transliterators.getIterator(); !it.atEnd(); it++)
        delete it->getValue();
    m_Transliterators.clear();
    m_nLoaded = 0;
}

// Lines "name=value" and "#file" includes, whose lines join the end of the
// walk. A file already included is skipped, so an include cycle ends.
void CManifest::readMacros()
{
    MacroTable.RemoveAll();   // a manifest read again must not keep the last one's macros
    CStringArray lines;
    core::array<core::stringc> pieces = SplitString(CString("\n") + Macros + "\n", '\n', false);
    for (u32 i = 0; i < pieces.size(); ++i)
        lines.Add(pieces[i].c_str());
    std::set<std::string> included;
    for (int i = 0; i < lines.GetSize(); ++i) {
        CString line = lines[i];
        TrimChars(line, nullptr);
        if (line.IsEmpty())
            continue;
        if (line[0] != '#') {
            addMacroLine(line);
            continue;
        }
        CString path = ResolveDataPath(line.Mid(1));
        if (!included.insert((const char*)path).second) {
            DebugLog(Format("Macro file %s is included again; skipped", (const char*)path));
            continue;
        }
        CString text;
        ReadFileToString(path, text);   // a missing file adds no lines
        DropUtf8Mark(text);
        pieces = SplitString(CString("\n") + text + "\n", '\n', false);
        for (u32 k = 0; k < pieces.size(); ++k)
            lines.Add(pieces[k].c_str());
    }
}

void CManifest::addMacroLine(const CString& line)
{
    int equals = line.Find('=');
    if (equals < 0)
        return;
    int valueLength = line.GetLength() - equals - 1;
    if (valueLength > MaxMacroValueLength)
        valueLength = MaxMacroValueLength;
    MacroTable.SetAt(line.Left(equals), line.Mid(equals + 1, valueLength));
}

CString CManifest::getMacro(const char* name) const
{
    CString value;
    if (name)
        MacroTable.Lookup(name, value);
    return value;
}

void CManifest::expandMacros(CString& text) const
{
    if (text.Find('$') < 0)
        return;
    CString name, value;
    for (POSITION pos = MacroTable.GetStartPosition(); pos;) {
        MacroTable.GetNextAssoc(pos, name, value);
        if (text.Find(name) >= 0)
            text.Replace(Format("${%s}", (const char*)name), value);
    }
}

void CManifest::transliterate(CString& text, const char* file)
{
    if (!file)
        return;
    CManifestTransliterator* table;
    auto* node = m_Transliterators.find(file);
    if (node) {
        table = node->getValue();
    } else {
        table = new CManifestTransliterator();
        m_Transliterators.insert(file, table);
        // A name with no file behind it (scripts pass any text) leaves texts
        // as they are: an empty table is kept, so the file is looked for once.
        CString path = ResolveDataPath(file);
        CString source;
        if (!FileExists(path) || !ReadTextFile(path, source) || source.IsEmpty()) {
            DebugLog(Format("No transliterator file %s; texts stay unchanged", (const char*)path));
        } else {
            CXMLStorage storage;
            storage.openText(source);
            table->serialize(storage);
        }
    }
    // A character of `in` without a counterpart in `to` stays as it is.
    for (int i = 0; i < text.GetLength(); ++i) {
        int at = table->in.Find(text[i]);
        if (at >= 0 && at < table->to.GetLength())
            text.SetAt(i, table->to[at]);
    }
}

bool CManifest::serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestFont*>& list)
{
    return serializeList(storage, name, list);
}

bool CManifest::serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestCursor*>& list)
{
    return serializeList(storage, name, list);
}

bool CManifest::serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestAtlasList*>& list)
{
    return serializeList(storage, name, list);
}

bool CManifest::serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestMaterialType*>& list)
{
    return serializeList(storage, name, list);
}

bool CManifest::serializeItemList(CXMLStorage& storage, const char* name, CArray<CManifestParticleGroup*>& list)
{
    return serializeList(storage, name, list);
}

CManifest& getManifest()
{
    return CManifest::instance();
}

// --- the engine context's manifest answers ---

bool CManifestEngineContext::isManifestLoaded()
{
    return CManifest::stored().isLoaded();
}

const CString& CManifestEngineContext::getSoundFolder()
{
    CManifest& manifest = CManifest::stored();
    return manifest.isLoaded() ? manifest.SoundFolder : defaults().SoundFolder;
}

const CString& CManifestEngineContext::getMusicFolder()
{
    CManifest& manifest = CManifest::stored();
    return manifest.isLoaded() ? manifest.MusicFolder : defaults().MusicFolder;
}

const CString& CManifestEngineContext::getDefaultLngFile()
{
    CManifest& manifest = CManifest::stored();
    return manifest.isLoaded() ? manifest.DefaultLngFile : defaults().LngFile;
}

float CManifestEngineContext::getDefaultPixelSize()
{
    return CManifest::stored().Modifiers_DefaultPixelSize;
}

void CManifestEngineContext::expandMacros(CString& text)
{
    CManifest::stored().expandMacros(text);
}
