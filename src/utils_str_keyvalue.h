// Key=value text: the marker cutter, key and marked-value readers, list and block
// values, tag attributes, the appending writers, and CIniCache.
#pragma once

#include "utils_str.h"

#include <cstddef>

#include <irrArray.h>
#include <irrString.h>

class CStringArray;
class CMapStringToString;

// Cuts the text between `start` (empty: at pos) and `end` (empty: the rest, trimmed
// right), searching from pos, which moves past what was read and becomes -1 when
// `start` is not found. With a twin (same length, e.g. the unlowered form of a
// lower-cased text) the searches run in `text` and the value is cut from the twin.
// Marker order is (start, end, text), not (text, start, end).
CString GetTextBetweenEx(const char* start, const char* end, const char* text, int& pos,
                         const CString* twin = nullptr);
CString GetTextBetween(const char* start, const char* end, const char* text);
irr::core::stringc GetTextBetween(const char* start, const char* end, const char* text, int& pos);

// The value after key + separator up to `end`, trimmed. When the text begins with a
// line feed the marker is "\n" + key + separator, so keys match only at line starts.
CString GetKeyValue(const char* text, const char* key, const char* end = "\n",
                    const CString* twin = nullptr, const char* separator = "=");
// As GetKeyValue, but the marker start + separator is found anywhere.
CString GetMarkedValue(const char* text, const char* start, const char* end = "\n",
                       const CString* twin = nullptr, const char* separator = "=");
// The value split at ',' with empty parts dropped.
irr::core::array<irr::core::stringc> GetKeyValueList(const char* text, const char* key, const char* end = "\n",
                                                     const CString* twin = nullptr);
// Appends the parts to `out` without emptying it first.
void GetKeyValueList(CStringArray& out, const char* text, const char* key, const char* end = "\n",
                     const CString* twin = nullptr);
// key=[[ LF lines LF ]]: the lines between, trimmed.
CString GetKeyValueBlock(const char* text, const char* key);
// name="v", name='v' or name=v (up to a blank, else up to '>'). Order is (name, text).
CString GetTagAttribute(const char* name, const char* text);
// Index of the first c1 + middle + c2 found, trying c1 from firstSet, then c2 from
// secondSet, in that order; -1 when none occurs.
int FindAnyCharPair(const char* text, const char* middle, const char* firstSet, const char* secondSet);

// Removes the UTF-8 byte-order mark that some editors put before a file's
// first line: left there, it would hide the first key.
void DropUtf8Mark(CString& text);
// Whether the bytes start with a UTF-16 byte-order mark, in either order.
bool StartsWithUtf16Mark(const char* bytes, size_t length);

void AppendKeyValue(CString& text, const char* key, const char* value);
void AppendKeyValueInt(CString& text, const char* key, int value);
void AppendKeyValueFloat(CString& text, const char* key, float value);   // "%0.2f"
// The separator goes before an item only when the text so far is not empty.
CString JoinStrings(const irr::core::array<irr::core::stringc>& items, char separator);
CString JoinStrings(const CStringArray& items, char separator);
void AppendKeyValueList(CString& text, const char* key, const irr::core::array<irr::core::stringc>& items);
void AppendKeyValueList(CString& text, const char* key, const CStringArray& items);

// Whole files kept for case-insensitive key lookups. Each path is cached with
// CR turned into LF, framed as "\n" + text + "\n\n", beside a lower-cased copy
// under path + "Low". Files are read once through the file layer (a missing one
// reads as empty); later changes stay unseen until Clear.
class CIniCache {
public:
    CIniCache();
    ~CIniCache();
    CIniCache(const CIniCache&) = delete;
    CIniCache& operator=(const CIniCache&) = delete;

    // The key carries its "=". The value keeps the file's case and is not trimmed.
    CString GetValue(const char* path, const char* key);
    void Clear();

private:
    CMapStringToString* m_pFiles;   // owned
};

// The engine-wide cache, made on first use.
CIniCache& GetIniCache();

