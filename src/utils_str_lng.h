// Language tables: texts looked up by key in the current language's ".lng"
// table, then the default language's, then the caller's default text; keys
// a table lacks are appended to it for the translators.
#pragma once

#include "utils_str.h"

// defaultText that means "no default": a missing key stays empty and nothing
// is appended.
extern const char* const LngNoDefault;   // "##LNG-EMPTY##"

// Language codes are lower-cased and cut to 15 characters. A null default
// keeps the one set before.
void SetLanguages(const char* current, const char* defaultLanguage);
const char* GetCurrentLanguage();
const char* GetDefaultLanguage();

// The lookup. Without a folder, tableName is the table's path; with one, the
// table is folder + language + "\" + tableName + ".lng". A null or empty
// language means the current one.
CString GetLngString(const char* key, const char* defaultText, const char* folder, const char* tableName,
                     const char* language);

// The manifest's default table (DefaultLngFile) in the current language. A
// missing key without a default text gives an empty text.
CString GetLng(const char* key, const char* defaultText = nullptr);

// As GetLng, except that a key without any text and without a default text
// gives the key itself, so that an untranslated label still shows something.
CString GetLngText(const char* key, const char* defaultText = nullptr);

// The table of a data file: the file itself when it is a table, else the
// default table's name in the file's folder.
CString GetLngForFile(const char* key, const char* defaultText, const char* filePath);

// "<br>" becomes a line feed, "<brr>" CR LF, backslash-n a line feed.
void DecodeLngText(CString& text);

// Removes every occurrence of the data folder from the path (letter case
// and the kind of separator do not matter).
void StripBaseDir(CString& path);

// Decoded values by lookup; emptied by the engine's cache clearing.
CMapStringToString& GetLngCache();
