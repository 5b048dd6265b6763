// CCustomAttribs: named strings, ints and floats in three name-ordered tables, with
// a change counter and two text forms (Option[...] lines and name[value] items).
#include "utils_str_attribs.h"

#include "utils_assert.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace irr;

namespace {

enum { KindString, KindBase64, KindInt, KindFloat };

const char* const OptionPrefix = "Option[";
const char* const Base64Prefix = "OptionStrB64[";
const char* const IntPrefix = "OptionLong[";
const char* const FloatPrefix = "OptionDouble[";
// A profile follows its options with the script block: text holding either
// marker must not open or end it.
const char* const ScriptBlockMarkers[] = {"<ScriptSafe>", "</ScriptSafe>"};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The reader ends a plain value at its line and trims blanks from both ends.
bool needsBase64(const char* value)
{
    size_t length = std::strlen(value);
    if (length > 0 && (isBlank(value[0]) || isBlank(value[length - 1])))
        return true;
    return std::strpbrk(value, "\r\n]") || HoldsReservedText(value);
}

// A name the reader would not find again, or that would make it find
// another option, is left out of the text.
bool isWritableName(const core::stringc& name)
{
    return !name.empty() && !std::strpbrk(name.c_str(), "\r\n]") && !HoldsReservedText(name.c_str());
}

bool passesFilter(const core::stringc& name, const char* include, const char* exclude)
{
    if (!isWritableName(name))
        return false;
    if (include && *include && !WildcardMatch(name.c_str(), include))
        return false;
    return !(exclude && *exclude && WildcardMatch(name.c_str(), exclude));
}

// A number beyond a float saturates, and one that is none reads as 0, so
// that what is written ("inf" or "nan" would not be) reads back the same.
float finiteOption(float value)
{
    if (std::isnan(value))
        return 0.0f;
    return std::max(-FLT_MAX, std::min(FLT_MAX, value));
}

CString optionKey(const char* prefix, const core::stringc& name) { return CString(prefix) + name.c_str() + "]"; }

}  // namespace

bool HoldsReservedText(const char* text)
{
    for (const char* prefix : {OptionPrefix, Base64Prefix, IntPrefix, FloatPrefix, ScriptBlockMarkers[0],
                               ScriptBlockMarkers[1]})
        if (text && std::strstr(text, prefix))
            return true;
    return false;
}

CCustomAttribs::~CCustomAttribs() { clearTables(); }

void CCustomAttribs::clearTables()
{
    m_Ints.clear();
    m_Floats.clear();
    m_Strings.clear();
}

int CCustomAttribs::lookup(const char* name, CString* text, int* value, float* number) const
{
    core::stringc key(name ? name : "");
    if (auto* node = m_Strings.find(key)) {
        if (text)
            *text = node->getValue().c_str();
        return TypeString;
    }
    if (auto* node = m_Ints.find(key)) {
        if (value)
            *value = node->getValue();
        return TypeInt;
    }
    if (auto* node = m_Floats.find(key)) {
        if (number)
            *number = node->getValue();
        return TypeFloat;
    }
    return TypeAbsent;
}

int CCustomAttribs::getNameAt(int index, CString& name) const
{
    if (index < 0)
        return TypeAbsent;
    struct Table { int type; u32 size; };
    const Table tables[] = {{TypeInt, m_Ints.size()}, {TypeString, m_Strings.size()}, {TypeFloat, m_Floats.size()}};
    u32 i = u32(index);
    for (const Table& table : tables) {
        if (i >= table.size) {
            i -= table.size;
            continue;
        }
        auto nth = [&](auto it) {
            for (u32 k = 0; k < i; ++k)
                it++;
            name = it->getKey().c_str();
        };
        if (table.type == TypeInt)
            nth(m_Ints.getConstIterator());
        else if (table.type == TypeString)
            nth(m_Strings.getConstIterator());
        else
            nth(m_Floats.getConstIterator());
        return table.type;
    }
    return TypeAbsent;
}

int CCustomAttribs::lookupText(const char* name, CString& text) const
{
    int value = 0;
    float number = 0;
    const int type = lookup(name, &text, &value, &number);
    if (type == TypeInt)
        text = Format("%d", value);
    else if (type == TypeFloat)
        text = Format("%02f", double(number));
    return type;
}

CString CCustomAttribs::getString(const char* name, const char* defaultText) const
{
    auto* node = m_Strings.find(core::stringc(name ? name : ""));
    return node ? CString(node->getValue().c_str()) : CString(defaultText);
}

int CCustomAttribs::getInt(const char* name, int defaultValue) const
{
    auto* node = m_Ints.find(core::stringc(name ? name : ""));
    return node ? node->getValue() : defaultValue;
}

float CCustomAttribs::getFloat(const char* name, float defaultValue) const
{
    auto* node = m_Floats.find(core::stringc(name ? name : ""));
    return node ? node->getValue() : defaultValue;
}

bool CCustomAttribs::getBool(const char* name) const
{
    core::stringc key(name ? name : "");
    if (auto* node = m_Ints.find(key))
        return node->getValue() != 0;
    if (auto* node = m_Strings.find(key))
        return node->getValue().size() > 0;
    return false;
}

void CCustomAttribs::setString(const char* name, const char* text)
{
    if (!text)
        text = "";
    if (getString(name, "") != text) {
        markChanged();
        remove(name, false, true, true);
    }
    m_Strings.set(core::stringc(name ? name : ""), core::stringc(text));
}

void CCustomAttribs::setInt(const char* name, int value)
{
    if (getInt(name, 0) != value) {
        markChanged();
        remove(name, true, false, true);
    }
    m_Ints.set(core::stringc(name ? name : ""), value);
}

void CCustomAttribs::setFloat(const char* name, float value)
{
    if (!(getFloat(name, 0.0f) == value)) {   // NaN always differs
        markChanged();
        remove(name, true, true, false);
    }
    m_Floats.set(core::stringc(name ? name : ""), value);
}

int CCustomAttribs::remove(const char* name, bool fromStrings, bool fromInts, bool fromFloats)
{
    core::stringc key(name ? name : "");
    bool removed = false;
    if (fromFloats)
        removed |= m_Floats.remove(key);
    if (fromInts)
        removed |= m_Ints.remove(key);
    if (fromStrings)
        removed |= m_Strings.remove(key);
    if (removed)
        markChanged();
    return removed ? 1 : 0;
}

int CCustomAttribs::removeOtherTypes(const char* name, int type)
{
    return remove(name, type != TypeString, type != TypeInt, type != TypeFloat);
}

CString CCustomAttribs::toText(const char* include, const char* exclude) const
{
    CString text("\n");
    for (auto it = m_Strings.getConstIterator(); !it.atEnd(); it++) {
        if (!passesFilter(it->getKey(), include, exclude))
            continue;
        const char* value = it->getValue().c_str();
        if (needsBase64(value))
            AppendKeyValue(text, optionKey(Base64Prefix, it->getKey()), CBase64(false).Encode(value));
        else
            AppendKeyValue(text, optionKey(OptionPrefix, it->getKey()), value);
    }
    for (auto it = m_Ints.getConstIterator(); !it.atEnd(); it++)
        if (passesFilter(it->getKey(), include, exclude))
            AppendKeyValueInt(text, optionKey(IntPrefix, it->getKey()), it->getValue());
    for (auto it = m_Floats.getConstIterator(); !it.atEnd(); it++)
        if (passesFilter(it->getKey(), include, exclude))
            AppendKeyValueFloat(text, optionKey(FloatPrefix, it->getKey()), finiteOption(it->getValue()));
    return text;
}

void CCustomAttribs::fromText(const char* text, bool append)
{
    if (!append)
        clearTables();
    if (!text)
        return;
    readOptionLines(text, OptionPrefix, KindString);
    readOptionLines(text, Base64Prefix, KindBase64);
    readOptionLines(text, IntPrefix, KindInt);
    readOptionLines(text, FloatPrefix, KindFloat);
}

void CCustomAttribs::readOptionLines(const char* text, const char* prefix, int kind)
{
    // One pass over every place the prefix occurs. Names are taken from a
    // prefix to the next "]", the search going on after it (or right after
    // the prefix when a line ends first: that is other text holding a
    // prefix, a profile's language say, and an option may start inside it).
    // A name's value is the one of the first "prefix name]=" in the text.
    const std::string_view all(text);
    const size_t prefixLength = std::strlen(prefix);
    std::unordered_map<std::string_view, std::string_view> firstValues;
    std::vector<std::string_view> names;
    // Each "]", line end and line feed found also serves the places after
    // the one it was searched from: searches only move forward, and the
    // pass stays linear. Every search starts past 0, so 0 means "not yet".
    size_t bracket = 0, lineBreak = 0, lineFeed = 0;
    size_t searchFrom = 0;
    for (size_t at = all.find(prefix); at != std::string_view::npos; at = all.find(prefix, at + 1)) {
        const size_t nameStart = at + prefixLength;
        if (bracket < nameStart)
            bracket = all.find(']', nameStart);
        if (bracket == std::string_view::npos)
            break;
        if (lineBreak < nameStart)
            lineBreak = all.find_first_of("\r\n", nameStart);
        const std::string_view name = all.substr(nameStart, bracket - nameStart);
        const bool onOneLine = lineBreak > bracket;   // npos when no line ends after it
        if (onOneLine && !name.empty() && bracket + 1 < all.size() && all[bracket + 1] == '=') {
            const size_t valueStart = bracket + 2;
            if (lineFeed < valueStart)
                lineFeed = all.find('\n', valueStart);
            // A value that no line feed ends reads as empty.
            const std::string_view value =
                lineFeed == std::string_view::npos ? std::string_view() : all.substr(valueStart, lineFeed - valueStart);
            firstValues.emplace(name, value);
        }
        if (at < searchFrom)
            continue;
        if (!onOneLine) {
            searchFrom = nameStart;
            continue;
        }
        if (!name.empty())
            names.push_back(name);
        searchFrom = bracket + 1;
    }
    for (const std::string_view& name : names) {
        const auto found = firstValues.find(name);
        CString value = found == firstValues.end() ? CString()
                                                   : CString(found->second.data(), int(found->second.size()));
        value.TrimRight();
        value.TrimLeft();
        const core::stringc key(name.data(), u32(name.size()));
        switch (kind) {
        case KindString: m_Strings.set(key, core::stringc((const char*)value)); break;
        case KindBase64: m_Strings.set(key, core::stringc((const char*)CBase64(false).Decode(value))); break;
        case KindInt: m_Ints.set(key, StrToInt(value)); break;
        default: m_Floats.set(key, finiteOption(StrToFloat(value))); break;
        }
    }
}

void CCustomAttribs::parseDescription(const char* text, bool append)
{
    if (!append)
        clearTables();
    core::array<core::stringc> items = SplitString(text, ']', false);
    for (u32 i = 0; i < items.size(); ++i) {
        if (items[i].findFirst('[') < 0)
            continue;
        core::array<core::stringc> parts = SplitString(items[i].c_str(), '[', false);
        if (parts.size() != 2)
            AssertFailed(__FILE__, __LINE__, "Wrong custom attrib description!");
        if (parts.size() < 2)
            continue;
        core::stringc name = parts[0];
        TrimIrrString(name);
        const core::stringc& value = parts[1];
        if (value.empty())
            continue;
        char first = value[0];
        if (!(first >= '0' && first <= '9') && first != '-' && first != '.')
            m_Strings.set(name, value);
        else if (value.findFirst('.') < 0)
            m_Ints.set(name, StrToInt(value.c_str()));
        else
            m_Floats.set(name, StrToFloat(value.c_str()));
    }
}

CString CCustomAttribs::toDebugText() const
{
    CString text("\n");
    for (auto it = m_Strings.getConstIterator(); !it.atEnd(); it++)
        text += Format("%s[%s] ", it->getKey().c_str(), it->getValue().c_str());
    for (auto it = m_Ints.getConstIterator(); !it.atEnd(); it++)
        text += Format("%s[%i] ", it->getKey().c_str(), it->getValue());
    for (auto it = m_Floats.getConstIterator(); !it.atEnd(); it++)
        text += Format("%s[%f] ", it->getKey().c_str(), double(it->getValue()));
    return text;
}

void CCustomAttribs::copyFrom(const CCustomAttribs& other)
{
    if (&other == this)
        return;
    for (auto it = other.m_Strings.getConstIterator(); !it.atEnd(); it++)
        setString(it->getKey().c_str(), it->getValue().c_str());
    for (auto it = other.m_Ints.getConstIterator(); !it.atEnd(); it++)
        setInt(it->getKey().c_str(), it->getValue());
    for (auto it = other.m_Floats.getConstIterator(); !it.atEnd(); it++)
        setFloat(it->getKey().c_str(), it->getValue());
}
