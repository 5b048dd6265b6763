// Key=value text: the marker cutter, key and marked-value readers, list and block
// values, tag attributes and the appending writers.
#include "utils_str_keyvalue.h"

#include "utils_assert.h"
#include "utils_fs.h"
#include "utils_str_tools.h"

#include <cstring>

using namespace irr;

namespace {

CString trimmed(CString value)
{
    value.TrimRight();
    value.TrimLeft();
    return value;
}

CString keyMarker(const char* text, const char* key, const char* separator)
{
    CString marker = text && text[0] == '\n' ? CString("\n") : CString();
    marker += key;
    marker += separator;
    return marker;
}

// The text between name + "=" + quote and the next quote; empty when absent.
CString quotedAttribute(const CString& marker, char quote, const char* text)
{
    char q[2] = {quote, 0};
    CString start = marker + q;
    if (!std::strstr(text, start))
        return CString();
    return GetTextBetween(start, q, text);
}

}  // namespace

CString GetTextBetweenEx(const char* start, const char* end, const char* text, int& pos, const CString* twin)
{
    int length = text ? int(std::strlen(text)) : 0;
    if (pos < 0 || pos >= length) {
        pos = -1;
        return CString();
    }
    const char* source = text;
    if (twin) {
        ENGINE_ASSERT(twin->GetLength() == length);
        if (twin->GetLength() >= length)
            source = *twin;
    }
    int valueStart = pos;
    if (start && *start) {
        const char* found = std::strstr(text + pos, start);
        if (!found) {
            pos = -1;
            return CString();
        }
        valueStart = int(found - text) + int(std::strlen(start));
    }
    pos = valueStart;
    if (!end || !*end) {
        CString value(source + valueStart);
        value.TrimRight();
        pos += value.GetLength();
        return value;
    }
    const char* found = std::strstr(text + valueStart, end);
    if (!found) {
        pos = length;
        return CString();
    }
    int valueLength = int(found - text) - valueStart;
    pos += valueLength + int(std::strlen(end));
    return CString(source + valueStart, valueLength);
}

CString GetTextBetween(const char* start, const char* end, const char* text)
{
    int pos = 0;
    return GetTextBetweenEx(start, end, text, pos);
}

core::stringc GetTextBetween(const char* start, const char* end, const char* text, int& pos)
{
    return core::stringc((const char*)GetTextBetweenEx(start, end, text, pos));
}

CString GetKeyValue(const char* text, const char* key, const char* end, const CString* twin, const char* separator)
{
    if (!text || !key)
        return CString();
    int pos = 0;
    return trimmed(GetTextBetweenEx(keyMarker(text, key, separator), end, text, pos, twin));
}

CString GetMarkedValue(const char* text, const char* start, const char* end, const CString* twin,
                       const char* separator)
{
    if (!text || !start)
        return CString();
    int pos = 0;
    return trimmed(GetTextBetweenEx(CString(start) + separator, end, text, pos, twin));
}

core::array<core::stringc> GetKeyValueList(const char* text, const char* key, const char* end, const CString* twin)
{
    return SplitString(GetKeyValue(text, key, end, twin, "="), ',', false);
}

void GetKeyValueList(CStringArray& out, const char* text, const char* key, const char* end, const CString* twin)
{
    core::array<core::stringc> parts = GetKeyValueList(text, key, end, twin);
    for (u32 i = 0; i < parts.size(); ++i)
        out.Add(parts[i].c_str());
}

CString GetKeyValueBlock(const char* text, const char* key)
{
    if (!text || !key)
        return CString();
    int pos = 0;
    return trimmed(GetTextBetweenEx(keyMarker(text, key, "=[[\n"), "\n]]", text, pos));
}

CString GetTagAttribute(const char* name, const char* text)
{
    if (!name || !text)
        return CString();
    CString marker = CString(name) + "=";
    if (!std::strstr(text, marker))
        return CString();
    if (std::strstr(text, marker + "\""))
        return quotedAttribute(marker, '"', text);
    if (std::strstr(text, marker + "'"))
        return quotedAttribute(marker, '\'', text);
    // A blank is appended so that a value at the very end still ends.
    CString value = GetTextBetween(marker, " ", CString(text) + " ");
    if (value.IsEmpty())
        value = GetTextBetween(marker, ">", text);
    return value;
}

int FindAnyCharPair(const char* text, const char* middle, const char* firstSet, const char* secondSet)
{
    if (!text || !firstSet || !secondSet)
        return -1;
    CString haystack(text);
    for (const char* c1 = firstSet; *c1; ++c1)
        for (const char* c2 = secondSet; *c2; ++c2) {
            CString needle(*c1, 1);
            needle += middle ? middle : "";
            needle += *c2;
            int index = haystack.Find(needle);
            if (index >= 0)
                return index;
        }
    return -1;
}

void AppendKeyValue(CString& text, const char* key, const char* value)
{
    // Options, profiles and score tables are built line by line. A key or
    // value inside the text itself must outlive the append, so no room is
    // made ahead then.
    key = key ? key : "";
    value = value ? value : "";
    const char* begin = text;
    const char* end = begin + text.GetLength();
    if (!(key >= begin && key <= end) && !(value >= begin && value <= end))
        text.ReserveForAppend(2LL + (long long)std::strlen(key) + (long long)std::strlen(value));
    text += key;
    text += "=";
    text += value;
    text += "\n";
}

void AppendKeyValueInt(CString& text, const char* key, int value)
{
    AppendKeyValue(text, key, IntToString(value));
}

void AppendKeyValueFloat(CString& text, const char* key, float value)
{
    AppendKeyValue(text, key, Format("%0.2f", double(value)));
}

CString JoinStrings(const core::array<core::stringc>& items, char separator)
{
    CString out;
    for (u32 i = 0; i < items.size(); ++i) {
        if (!out.IsEmpty())
            out += separator;
        out += items[i].c_str();
    }
    return out;
}

void AppendKeyValueList(CString& text, const char* key, const core::array<core::stringc>& items)
{
    AppendKeyValue(text, key, JoinStrings(items, ','));
}

CString JoinStrings(const CStringArray& items, char separator)
{
    CString out;
    for (int i = 0; i < items.GetSize(); ++i) {
        if (!out.IsEmpty())
            out += separator;
        out += items[i];
    }
    return out;
}

void AppendKeyValueList(CString& text, const char* key, const CStringArray& items)
{
    AppendKeyValue(text, key, JoinStrings(items, ','));
}

void DropUtf8Mark(CString& text)
{
    if (text.GetLength() >= 3 && std::memcmp((const char*)text, "\xEF\xBB\xBF", 3) == 0)
        text = text.Mid(3);
}

bool StartsWithUtf16Mark(const char* bytes, size_t length)
{
    return length >= 2 && (std::memcmp(bytes, "\xFF\xFE", 2) == 0 || std::memcmp(bytes, "\xFE\xFF", 2) == 0);
}

CIniCache::CIniCache() : m_pFiles(new CMapStringToString(10)) {}

CIniCache::~CIniCache()
{
    Clear();
    delete m_pFiles;
}

void CIniCache::Clear() { m_pFiles->RemoveAll(); }

CString CIniCache::GetValue(const char* path, const char* key)
{
    if (!path || !key)
        return CString();
    CString lowKey = CString(path) + "Low";
    CString lower, text;
    bool isCached = m_pFiles->Lookup(lowKey, lower) && m_pFiles->Lookup(path, text);
    if (!isCached) {
        CString file;
        if (!std::strchr(path, '*'))
            ReadFileToString(path, file);
        DropUtf8Mark(file);
        text = CString("\n") + file + "\n\n";
        text.ReplaceChars("\r", '\n');
        lower = text;
        lower.MakeLower();
        m_pFiles->SetAt(path, text);
        m_pFiles->SetAt(lowKey, lower);
    }
    CString needle = CString("\n") + key;
    needle.MakeLower();
    int start = lower.Find(needle);
    if (start < 0)
        return CString();
    start += needle.GetLength();
    int end = lower.Find('\n', start);
    if (end < 0)
        return CString();
    return text.Mid(start, end - start);
}

CIniCache& GetIniCache()
{
    static CIniCache cache;
    return cache;
}
