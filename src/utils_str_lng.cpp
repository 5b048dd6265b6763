// Language tables: lookup with fallbacks, appending missing keys, "#file"
// values, line-break marks and the result cache.
#include "utils_str_lng.h"

#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_str_keyvalue.h"
#include "utils_system_common.h"

#include <IFileArchive.h>
#include <IFileList.h>
#include <IFileSystem.h>
#include <IReadFile.h>

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>

const char* const LngNoDefault = "##LNG-EMPTY##";

namespace {

constexpr int MaxLanguageLength = 15;
constexpr unsigned LngCacheBuckets = 101;

struct SLanguages {
    CString Current;
    CString Default;
    CString DefaultTable;         // data path of the manifest's DefaultLngFile; empty: to be made
    CString DefaultTableSource;   // the DefaultLngFile it was made from
};

SLanguages& languages()
{
    static SLanguages state;
    return state;
}

CString languageCode(const char* code)
{
    CString text = CString(code ? code : "").Left(MaxLanguageLength);
    text.MakeLower();
    return text;
}

// Whether the text holds a line for the key, written in the same case.
bool hasKeyLine(CString table, const char* key)
{
    DropUtf8Mark(table);
    CString line = CString(key) + "=";
    return table.Find("\n" + line) >= 0 || std::strncmp(table, line, size_t(line.GetLength())) == 0;
}

// Line breaks as a table line can hold them.
CString encodeLineBreaks(const CString& text)
{
    CString encoded = text;
    encoded.Replace("\r\n", "<brr>");
    encoded.Replace("\n", "<br>");
    encoded.Replace("\r", "");
    return encoded;
}

bool isInArchive(irr::io::IFileSystem* fs, const CString& name)
{
    for (irr::u32 i = 0; i < fs->getFileArchiveCount(); ++i)
        if (fs->getFileArchive(i)->getFileList()->findFile(name.operator const char*()) >= 0)
            return true;
    return false;
}

// The disk file that holds the table, or will hold it when no table exists
// yet; empty when the table lies in an archive, which cannot be written.
CString tableDiskPath(const CString& table)
{
    if (IsAbsolutePath(table))
        return table;
    irr::io::IFileSystem* fs = GetEngineContext().getFileSystem();
    CString archiveName = ToArchiveName(table);
    irr::io::IReadFile* file = fs ? fs->createAndOpenFile(archiveName.operator const char*()) : nullptr;
    if (file) {
        CString opened = file->getFileName().c_str();
        file->drop();
        // Mounted folders open their files by full path; archive entries keep their own names.
        if (IsAbsolutePath(opened))
            return opened;
        return !isInArchive(fs, opened) && PathExistsOnDisk(opened) ? opened : CString();
    }
    if (PathExistsOnDisk(table))
        return table;
    return GetDataFolder() + table;
}

// Why the table cannot take a key without losing what it holds: it is
// there but was not read whole as the 8-bit text a key is appended to.
// Empty when it was, or when there is no table yet.
CString whyNotWhole(const CString& table, const CString& path, bool read, const CString& text)
{
    if (!read) {
        const int error = ReadFailureError(table);
        return error == ENOENT || error == ENOTDIR ? CString() : CString("it cannot be read");
    }
    if (StartsWithUtf16Mark(text, size_t(text.GetLength())))
        return "it is UTF-16 text";
    struct stat info;
    if (::stat(ToNativePath(path), &info) == 0 && info.st_size > text.GetLength())
        return Format("it holds a NUL byte at offset %i", text.GetLength());
    return CString();
}

void appendMissingKey(const CString& table, const char* key, const CString& fallback)
{
    CString text;
    const bool read = ReadFileToString(table, text);
    if (!read)
        text.Empty();
    if (hasKeyLine(text, key))
        return;
    CString path = tableDiskPath(table);
    if (path.IsEmpty()) {
        DebugLog(Format("Language table %s lies in an archive: key %s not appended", (const char*)table, key));
        return;
    }
    const CString why = whyNotWhole(table, path, read, text);
    if (!why.IsEmpty()) {
        DebugLog(Format("Language table %s is kept as it is (%s): key %s not appended", (const char*)path,
                        (const char*)why, key));
        return;
    }
    // A line of its own, ended too: a line added after it by hand must not
    // join it and hide both keys.
    CString line;
    line.Format("\n%s=%s\n", key, (const char*)encodeLineBreaks(fallback));
    text += line;
    CheckMainThread();
    if (!WriteStringToFile(path, text))
        DebugLog(Format("Language table %s cannot be written: key %s not appended", (const char*)path, key));
}

// A value "#name" (any number of '#') is the text of that file, next to the table.
CString fileValue(const CString& value, const CString& table)
{
    CString name = value;
    name.TrimLeft("#");
    CString text;
    if (!ReadTextFile(ResolveRelativePath(name, table), text))
        text.Empty();
    return text;
}

} // namespace

void SetLanguages(const char* current, const char* defaultLanguage)
{
    SLanguages& state = languages();
    state.Current = languageCode(current);
    if (defaultLanguage)
        state.Default = languageCode(defaultLanguage);
    state.DefaultTable.Empty();
}

const char* GetCurrentLanguage()
{
    return languages().Current;
}

const char* GetDefaultLanguage()
{
    return languages().Default;
}

CString GetLngString(const char* key, const char* defaultText, const char* folder, const char* tableName,
                     const char* language)
{
    bool isDebug = GetEngineContext().isDebugMode() != 0;
    SLanguages& state = languages();
    CString lang = language && *language ? languageCode(language) : state.Current;
    if (lang.IsEmpty() && !state.Default.IsEmpty()) {
        SetLanguages(state.Default, nullptr);
        return GetLng(key, defaultText);
    }
    // With no language known at all the lookup goes on in the given table alone.
    if (!key || !*key)
        return CString();
    bool hasFolder = folder && *folder;
    CString name = tableName ? tableName : "";
    CString table = hasFolder ? CString(folder) + lang + "\\" + name + ".lng" : name;
    CString cacheKey = (hasFolder ? lang + "\\" + name : table) + key + "=";
    CMapStringToString& cache = GetLngCache();
    CString value;
    if (cache.Lookup(cacheKey, value))
        return value;

    bool keep = true;
    if (key[0] == '#') {
        value = key;
        keep = !isDebug;
    } else {
        value = GetIniCache().GetValue(table, CString(key) + "=");
    }
    if (value.IsEmpty() && defaultText && std::strcmp(defaultText, LngNoDefault) != 0) {
        CheckMainThread();
        // An empty default language would mean the current one again: no fallback then.
        bool isOtherLanguage = !state.Default.IsEmpty() && lang != state.Default;
        value = isOtherLanguage ? GetLngString(key, defaultText, folder, tableName, state.Default)
                                : CString(defaultText);
        appendMissingKey(table, key, value);
    }
    if (!value.IsEmpty() && value.GetAt(0) == '#') {
        value = fileValue(value, table);
        keep = keep && !isDebug;
    }
    DecodeLngText(value);
    GetEngineContext().expandMacros(value);
    if (keep)
        cache.SetAt(cacheKey, value);
    return value;
}

CString GetLng(const char* key, const char* defaultText)
{
    SLanguages& state = languages();
    const CString& lngFile = GetEngineContext().getDefaultLngFile();
    if (state.DefaultTable.IsEmpty() || state.DefaultTableSource != lngFile) {
        state.DefaultTable = MakeDataPath(nullptr, lngFile, 0);
        state.DefaultTableSource = lngFile;
    }
    CString table = state.DefaultTable;   // a nested SetLanguages may empty the stored one
    return GetLngString(key, defaultText, nullptr, table, state.Current);
}

CString GetLngText(const char* key, const char* defaultText)
{
    CString text = GetLng(key, defaultText);
    if (text.IsEmpty() && !defaultText)
        return key ? key : "";
    return text;
}

CString GetLngForFile(const char* key, const char* defaultText, const char* filePath)
{
    if (!GetEngineContext().isManifestLoaded())
        AssertFailed(__FILE__, __LINE__, "Error: Using lng data before manifest is loaded");
    const CString& lngFile = GetEngineContext().getDefaultLngFile();
    CString extension = GetPathPart(lngFile, 0, 0, 0, 1);
    CString table;
    if (!extension.IsEmpty() && filePath && std::strstr(filePath, extension)) {
        table = ResolveDataPath(filePath);
        StripBaseDir(table);
    } else {
        table = ResolveDataPath(GetPathPart(filePath, 1, 1, 0, 0));
        StripBaseDir(table);
        table += GetPathPart(lngFile, 0, 0, 1, 1);
    }
    return GetLngString(key, defaultText, nullptr, table, languages().Current);
}

void DecodeLngText(CString& text)
{
    text.Replace("<br>", "\n");
    text.Replace("<brr>", "\r\n");
    text.Replace("\\n", "\n");
}

void StripBaseDir(CString& path)
{
    removeFolderText(path, GetDataFolder());
}

CMapStringToString& GetLngCache()
{
    static CMapStringToString* cache = [] {
        CMapStringToString* map = new CMapStringToString(10);
        map->InitHashTable(LngCacheBuckets);
        return map;
    }();
    return *cache;
}
