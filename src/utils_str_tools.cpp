// Text tools above CString: base64, percent-encoding, UTF-8 and the 8-bit code page,
// hex text, splitting, int lists, trimming and replacing, safe names, wildcards.
#include "utils_str_tools.h"

#include "utils_fs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_system_common.h"

#include "codepage.h"

#include <climits>
#include <cstring>
#include <string>

using namespace irr;

namespace {

const char* const StandardAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Not RFC 4648's base64url: 62 is '_' and 63 is '-'. Profile file names depend on it.
const char* const UrlSafeAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";

constexpr signed char DecodeStop = -2;
constexpr signed char DecodeSkip = -1;
constexpr char DefaultAnsiChar = '?';

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

void appendAnsi(std::string& out, uint32_t code)
{
    if (code == 0)
        return;
    int c = platform::UnicodeToAnsiChar(char32_t(code));
    out += c < 0 ? DefaultAnsiChar : char(c);
}

// Decodes one sequence at `p`; returns the bytes used, 0 when the text ends inside it.
int decodeUtf8(const unsigned char* p, std::string& out)
{
    unsigned char lead = p[0];
    int count = (lead & 0xF0) == 0xF0 ? 4 : (lead & 0xE0) == 0xE0 ? 3 : (lead & 0xC0) == 0xC0 ? 2 : 1;
    if (count == 1) {
        out += char(lead);
        return 1;
    }
    for (int i = 1; i < count; ++i) {
        if (!p[i])
            return 0;
        if (!isContinuation(p[i])) {
            out += DefaultAnsiChar;
            return 1;
        }
    }
    if (count == 4)
        out += DefaultAnsiChar;   // outside the 16-bit range of the code page
    else if (count == 3)
        appendAnsi(out, (lead & 0x0Fu) * 4096 + (p[1] & 0x3Fu) * 64 + (p[2] & 0x3Fu));
    else
        appendAnsi(out, (lead & 0x1Fu) * 64 + (p[1] & 0x3Fu));
    return count;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }
char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

bool isTitleSeparator(char c) { return c && std::strchr(" -_:,.\\/", c) != nullptr; }

void warnTexturePath(const char* reason, const char* path)
{
    EngineMessageBox(Format("Wrong texure path! Cache miss:%s\n'%s'", reason, path), MB_OK);
}

void replaceWhileFound(CString& text, const char* search, const char* replacement)
{
    while (text.Find(search) >= 0)
        text.Replace(search, replacement);
}

}  // namespace

CBase64::CBase64(bool urlSafe) : m_Alphabet(urlSafe ? UrlSafeAlphabet : StandardAlphabet) {}

CBase64::~CBase64() = default;

CString CBase64::Encode(const char* bytes, int length)
{
    if (!bytes)
        return CString();
    if (length < 0)
        length = int(std::strlen(bytes));
    int64_t outLength = (int64_t(length) + 2) / 3 * 4;
    if (outLength > INT_MAX - 1)
        return CString();
    m_pInput = reinterpret_cast<const unsigned char*>(bytes);
    m_nInputLength = length;
    m_nBitCount = 0;
    m_nBits = 0;

    std::string out;
    out.reserve(size_t(outLength));
    const char* alphabet = m_Alphabet;
    for (int i = 0; i < m_nInputLength || m_nBitCount > 0;) {
        while (m_nBitCount < 6 && i < m_nInputLength) {
            m_nBits = (m_nBits << 8) | m_pInput[i++];
            m_nBitCount += 8;
        }
        if (m_nBitCount < 6) {   // end of input: fill the last group with zero bits
            m_nBits <<= 6 - m_nBitCount;
            m_nBitCount = 6;
        }
        m_nBitCount -= 6;
        out += alphabet[(m_nBits >> m_nBitCount) & 0x3F];
        m_nBits &= (1u << m_nBitCount) - 1;
    }
    while (out.size() % 4)
        out += '=';
    return CString(out.c_str(), int(out.size()));
}

CString CBase64::Decode(const char* text, int length, unsigned char* buffer)
{
    if (!text || !*text)
        return CString();
    if (length < 0)
        length = int(std::strlen(text));
    // Bytes are looked up by their low seven bits.
    signed char table[128];
    std::memset(table, DecodeStop, sizeof(table));
    const char* alphabet = m_Alphabet;
    for (int i = 0; i < 64; ++i)
        table[alphabet[i] & 0x7F] = (signed char)i;
    table[int('=')] = table['\n'] = table['\r'] = DecodeSkip;

    std::string out;
    uint32_t bits = 0, bitCount = 0;
    for (int i = 0; i < length; ++i) {
        signed char value = table[(unsigned char)text[i] & 0x7F];
        if (value == DecodeStop)
            return CString();
        if (value == DecodeSkip)
            continue;
        bits = ((bits << 6) | uint32_t(value)) & 0xFFFFFF;
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            out += char((bits >> bitCount) & 0xFF);
        }
    }
    if (buffer) {
        std::memcpy(buffer, out.data(), out.size());
        return CString();
    }
    return CString(out.data(), int(out.size()));
}

CString UrlEncode(const char* text)
{
    CString out;
    if (!text)
        return out;
    static const char Digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        encoded += '%';
        encoded += Digits[*p >> 4];
        encoded += Digits[*p & 0x0F];
    }
    return CString(encoded.c_str());
}

CString UrlDecode(const char* text)
{
    if (!text)
        return CString();
    std::string out;
    size_t left = std::strlen(text);
    for (; left > 0; ++text, --left) {
        if (*text == '%') {
            if (left >= 3)
                out += char(HexPairValue(text[1], text[2]));
            text += left >= 3 ? 2 : left - 1;
            left -= left >= 3 ? 2 : left - 1;
        } else {
            out += *text == '+' ? ' ' : *text;
        }
    }
    return CString(out.data(), int(out.size()));
}

int HexPairValue(char high, char low)
{
    auto digit = [](int c) {
        if (c >= 'a')
            c -= 32;
        return c > '9' ? c - 55 : c - 48;
    };
    return digit(high) * 16 + digit(low);
}

CString BytesToHex(const unsigned char* bytes, int count)
{
    if (!bytes || count <= 0)
        return CString();
    static const char Digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += Digits[bytes[i] >> 4];
        out += Digits[bytes[i] & 0x0F];
    }
    return CString(out.c_str());
}

CString Utf8ToAnsi(const char* text)
{
    if (!text)
        return CString();
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        int used = decodeUtf8(p, out);
        if (used == 0)
            break;   // cut off by the end of the text
        p += used;
    }
    return CString(out.c_str());
}

CString AnsiToUtf8(const char* text)
{
    if (!text)
        return CString();
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        uint32_t w = platform::AnsiCharToUnicode(*p);
        if (w < 0x80) {
            out += char(w);
        } else if (w < 0x800) {
            out += char(0xC0 + w / 64);
            out += char(0x80 + w % 64);
        } else if (w < 0x10000) {
            out += char(0xE0 + w / 4096);
            out += char(0x80 + (w / 64) % 64);
            out += char(0x80 + w % 64);
        } else {
            out += DefaultAnsiChar;
        }
    }
    return CString(out.c_str());
}

CString WideToString(const wchar_t* text)
{
    if (!text)
        return CString();
    std::string out;
    for (; *text; ++text)
        out += char(uint32_t(*text) & 0xFF);
    return CString(out.data(), int(out.size()));
}

core::stringw AnsiToWideString(const char* text, int maxLength)
{
    core::stringw out;
    if (!text)
        return out;
    for (int i = 0; text[i] && (maxLength < 0 || i < maxLength); ++i)
        out.append(wchar_t((unsigned char)text[i]));
    return out;
}

core::array<core::stringc> SplitString(const char* text, char separator, bool keepEmpty)
{
    core::array<core::stringc> parts;
    if (!text)
        return parts;
    const char* start = text;
    for (const char* p = text;; ++p) {
        if (*p == separator || !*p) {
            if (keepEmpty || p > start)
                parts.push_back(core::stringc(start, u32(p - start)));
            if (!*p)
                break;
            start = p + 1;
        }
    }
    return parts;
}

core::array<core::stringc> SplitSections(const char* text, const char* marker)
{
    core::array<core::stringc> sections;
    if (!text || !marker || !*marker)
        return sections;
    CString work = marker[0] == '\n' ? CString("\n\n\n\n") + text + "\n" : CString(text);
    int pos = work.Find(marker);
    while (pos >= 0) {
        int next = work.Find(marker, pos + 1);
        CString section = next >= 0 ? work.Mid(pos, next - pos) : work.Mid(pos);
        section.TrimRight();
        section.TrimLeft();
        if (!section.IsEmpty())
            sections.push_back(core::stringc((const char*)section));
        pos = next;
    }
    return sections;
}

core::array<s32> ParseIntList(const char* text, char separator, bool keepEmpty, bool hex)
{
    core::array<s32> values;
    core::array<core::stringc> parts = SplitString(text, separator, keepEmpty);
    for (u32 i = 0; i < parts.size(); ++i) {
        TrimIrrString(parts[i]);
        values.push_back(ParseIntAnyBase(parts[i].c_str(), hex));
    }
    return values;
}

bool ReadKeyString(CString& out, const char* text, const char* key)
{
    if (!text || !key || !std::strstr(text, (CString("\n") + key + "=")))
        return false;
    out = GetKeyValue(text, key, "\n", nullptr, "=");
    return true;
}

bool ReadKeyInt(int& out, const char* text, const char* key)
{
    CString value;
    if (!ReadKeyString(value, text, key))
        return false;
    out = StrToInt(value);
    return true;
}

bool ReadKeyFloat(float& out, const char* text, const char* key)
{
    CString value;
    if (!ReadKeyString(value, text, key))
        return false;
    out = StrToFloat(value);
    return true;
}

bool ReadKeyIntArray(core::array<s32>& out, const char* text, const char* key)
{
    CString value;
    if (!ReadKeyString(value, text, key))
        return false;
    out = ParseIntList(value, ',', false, false);
    return true;
}

void GetKeyIntList(const char* text, const char* key, core::array<s32>& out, const char* end)
{
    out = ParseIntList(GetKeyValue(text, key, end, nullptr, "="), ',', false, false);
}

void GetKeyStringList(const char* text, const char* key, core::array<core::stringc>& out, const char* end)
{
    out = SplitString(GetKeyValue(text, key, end, nullptr, "="), ',', false);
}

void AppendKeyIntList(CString& text, const char* key, const core::array<s32>& values)
{
    if (values.empty())
        return;
    if (key) {
        text += key;
        text += "=";
    }
    text += JoinInts(values);
    if (key)
        text += "\n";
}

CString JoinInts(const core::array<s32>& values)
{
    CString out;
    for (u32 i = 0; i < values.size(); ++i) {
        if (i)
            out += ",";
        out += IntToString(values[i]);
    }
    return out;
}

void TrimChars(CString& text, const char* set)
{
    if (set) {
        text.TrimRight(set);
        text.TrimLeft(set);
    } else {
        text.TrimRight();
        text.TrimLeft();
    }
}

void TrimIrrString(core::stringc& text)
{
    // Built by hand: Irrlicht's own trim() trips a false -Wstringop-overflow in g++ 12.
    const char* begin = text.c_str();
    const char* end = begin + text.size();
    while (begin < end && isBlank(*begin))
        ++begin;
    while (end > begin && isBlank(end[-1]))
        --end;
    if (begin != text.c_str() || end != text.c_str() + text.size())
        text = core::stringc(begin, u32(end - begin));
}

int ReplaceCharsInBuffer(char* buffer, const char* set, char ch)
{
    if (!buffer || !set || !*set)
        return 0;
    int count = 0;
    for (; *buffer; ++buffer)
        if (std::strchr(set, *buffer)) {
            *buffer = ch;
            ++count;
        }
    return count;
}

char* ReplaceCharInPlace(char* buffer, char from, char to)
{
    if (!buffer)
        return nullptr;
    for (; *buffer; ++buffer)
        if (*buffer == from)
            *buffer = to;
    return buffer;
}

bool MakeSafeName(CString& name, const CString& extra)
{
    CString forbidden = extra + "\\\"'\t\r\n%:+!?/()<>*~`=;";
    name.ReplaceChars(forbidden, '_');
    replaceWhileFound(name, "__", "_");
    replaceWhileFound(name, "  ", " ");
    name.TrimRight();
    name.TrimLeft();
    name.TrimRight("_");
    name.TrimLeft("_");
    return true;
}

int ReplaceN(CString& text, const char* search, const char* replacement, int maxCount)
{
    if (!search || !*search)
        return 0;
    if (!replacement)
        replacement = "";
    int searchLength = int(std::strlen(search));
    int count = 0;
    while (count < maxCount) {
        int pos = text.Find(search);
        if (pos < 0)
            break;
        text = text.Left(pos) + replacement + text.Mid(pos + searchLength);
        ++count;
    }
    return count;
}

bool CutBetweenMarkers(const char* start, const char* end, CString& text)
{
    if (!start || !*start)
        return true;
    int from = text.Find(start);
    if (from < 0)
        return true;
    int to = end && *end ? text.Find(end, from) : -1;
    if (to < 0)
        text = text.Left(from);
    else
        text = text.Left(from) + text.Mid(to + int(std::strlen(end)));
    return true;
}

CString MakeTitleCase(const char* text, bool dropSeparators)
{
    if (!text)
        return CString();
    std::string out;
    bool isWordStart = true;
    for (; *text; ++text) {
        bool isSeparator = isTitleSeparator(*text);
        if (!isSeparator || !dropSeparators)
            out += isWordStart ? asciiUpper(*text) : asciiLower(*text);
        isWordStart = isSeparator;
    }
    return CString(out.c_str());
}

bool StartsWith(const char* text, const char* prefix)
{
    if (!text || !prefix)
        return false;
    size_t length = std::strlen(prefix);
    return std::strlen(text) >= length && std::memcmp(text, prefix, length) == 0;
}

CString ToForwardSlashes(const CString& path)
{
    CString out(path);
    out.ReplaceChars("\\", '/');
    return out;
}

void AppendUrlQuery(CString& url, const CString& parameter)
{
    if (parameter.IsEmpty())
        return;
    url += url.Find('?') >= 0 ? "&" : "?";
    url += parameter;
}

bool WildcardMatch(const char* text, const char* pattern)
{
    if (!text || !pattern)
        return false;
    while (*text && *pattern != '*') {
        if (*pattern != '?' && *pattern != *text)
            return false;
        ++pattern;
        ++text;
    }
    const char* resumePattern = nullptr;
    const char* resumeText = nullptr;
    while (*text) {
        if (*pattern == '*') {
            if (!*++pattern)
                return true;
            resumePattern = pattern;
            resumeText = text + 1;
        } else if (*pattern == *text || *pattern == '?') {
            ++pattern;
            ++text;
        } else {
            pattern = resumePattern;
            text = resumeText++;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return !*pattern;
}

bool MatchWildcardList(const char* text, const char* list)
{
    if (!text || !*text || !list || !*list)
        return false;
    constexpr size_t PatternMax = 255;
    const char* p = list;
    while (*p) {
        while (*p && (isBlank(*p) || *p == ';'))
            ++p;
        if (!*p)
            break;
        const char* end = std::strchr(p, ';');
        size_t length = end ? size_t(end - p) : std::strlen(p);
        char pattern[PatternMax + 1];
        size_t kept = length < PatternMax ? length : PatternMax;
        std::memcpy(pattern, p, kept);
        pattern[kept] = 0;
        if (WildcardMatch(text, pattern))
            return true;
        p += length;
    }
    return false;
}

// True when the full check below cannot warn: nothing to fold, no doubled
// backslash, no blank at either end and no program folder to cut out. Every
// cached texture look-up passes here, so it builds no strings.
namespace {
bool isPlainTexturePath(const char* path)
{
    const size_t length = std::strlen(path);
    if (length > 0 && (isBlank(path[0]) || isBlank(path[length - 1])))
        return false;
    for (const char* c = path; *c; ++c)
        if (*c == '/' || (*c >= 'A' && *c <= 'Z') || (c[0] == '\\' && c[1] == '\\'))
            return false;
    return !hasFolderText(path, GetAppFolderCStr());
}
} // namespace

void CheckTexturePath(const char* path)
{
    if (!path || StartsWith(path, "raw://") || isPlainTexturePath(path))
        return;
    // Only the part below the program folder is the author's; in a native
    // path the separators are the system's.
    CString relative(path);
    removeFolderText(relative, GetAppFolderCStr());
    if (IsAbsolutePath(path))
        relative.Replace("/", "\\");
    if (relative.Find('/') >= 0)
        warnTexturePath(" '/'", path);
    if (relative.Find("\\\\") >= 0)
        warnTexturePath("'\\\\'", path);
    CString beforeQuery = relative.SpanExcluding("?");
    CString lowered = beforeQuery;
    lowered.MakeLower();
    if (beforeQuery != lowered)
        warnTexturePath(" path case", path);
    CString trimmed(path);
    TrimChars(trimmed, nullptr);
    if (trimmed != path)
        warnTexturePath(" wrong spaces", path);
}
