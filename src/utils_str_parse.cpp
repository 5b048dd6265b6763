// The engine's own number and colour parsers, XML escapes and string checksums.
#include "utils_str_parse.h"

#include "utils_engine_context.h"
#include "utils_fs_md5.h"
#include "utils_str_tools.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t IntLimit = 2147483647u;
constexpr uint32_t ExactDigitsLimit = 429496719u;
constexpr float FloatMax = 3.4028235e38f;

// Index k holds 10^-k; more than 15 fraction digits are not read.
constexpr int MaxFractionDigits = 15;
constexpr float FractionPowers[MaxFractionDigits + 1] = {
    0.0f, 1e-1f, 1e-2f, 1e-3f, 1e-4f, 1e-5f, 1e-6f, 1e-7f,
    1e-8f, 1e-9f, 1e-10f, 1e-11f, 1e-12f, 1e-13f, 1e-14f, 1e-15f,
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int parseHex(const char* text)
{
    uint32_t value = 0;
    for (int digit; (digit = hexDigitValue(*text)) >= 0; ++text)
        value = value * 16 + uint32_t(digit);
    return int(value);
}

// The fraction after '.': at most MaxFractionDigits digits count, the rest are skipped.
float parseFraction(const char* text, const char** end)
{
    const char* stop = text;
    while (isDigit(*stop))
        ++stop;
    *end = stop;
    int count = int(stop - text);
    if (count <= MaxFractionDigits)
        return ParseDigits(text) * FractionPowers[count];
    char head[MaxFractionDigits + 1];
    std::memcpy(head, text, MaxFractionDigits);
    head[MaxFractionDigits] = 0;
    return ParseDigits(head) * FractionPowers[MaxFractionDigits];
}

}  // namespace

int StrToIntCore(const char* text, const char** end)
{
    if (!text)
        return 0;
    bool isNegative = false;
    if (*text == '-' || *text == '+') {
        isNegative = *text == '-';
        ++text;
    }
    uint32_t value = 0;
    while (isDigit(*text)) {
        uint64_t next = uint64_t(value) * 10 + uint32_t(*text - '0');
        ++text;
        if (next > IntLimit) {
            value = IntLimit;
            break;
        }
        value = uint32_t(next);
    }
    if (end)
        *end = text;
    return isNegative ? -int(value) : int(value);
}

int StrToInt(const char* text)
{
    if (!text)
        return 0;
    if (*text == '+')
        ++text;
    int sign = 1;
    if (*text == '-') {
        sign = -1;
        ++text;
    }
    return sign * StrToIntCore(text);
}

int StrToLong(const char* text)
{
    if (!text)
        return 0;
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return int(value);
}

float ParseDigits(const char* text, const char** end)
{
    if (end)
        *end = text;
    if (!text)
        return 0.0f;
    uint32_t exact = 0;
    while (isDigit(*text) && exact < ExactDigitsLimit)
        exact = exact * 10 + uint32_t(*text++ - '0');
    float value = float(exact);
    while (isDigit(*text) && value <= FloatMax)
        value = value * 10.0f + float(*text++ - '0');
    while (isDigit(*text))
        ++text;
    if (end)
        *end = text;
    return value;
}

const char* ParseFloat(const char* text, float* out)
{
    *out = 0.0f;
    if (!text)
        return nullptr;
    bool isNegative = *text == '-';
    if (isNegative)
        ++text;
    float value = ParseDigits(text, &text);
    if (*text == '.')
        value += parseFraction(text + 1, &text);
    if (*text == 'e' || *text == 'E') {
        int exponent = StrToIntCore(text + 1, &text);
        if (value != 0.0f)   // 0e999 stays 0 instead of 0 * inf = NaN
            value *= PowF(10.0f, float(exponent));
    }
    *out = isNegative ? -value : value;
    return text;
}

float StrToFloatCore(const char* text)
{
    float value = 0.0f;
    ParseFloat(text, &value);
    return value;
}

float StrToFloat(const char* text)
{
    if (text && *text == '+')
        ++text;
    return StrToFloatCore(text);
}

float PowF(float base, float exponent) { return std::pow(base, exponent); }

float ParseLength(const char* text)
{
    if (!text)
        return 0.0f;
    if (*text == '+')
        ++text;
    float value = StrToFloatCore(text);
    const char* p = text;
    while (isDigit(*p) || *p == '-' || *p == '+' || *p == '.')
        ++p;
    if (p[0] == 'p' && p[1] == 'x')
        value *= GetEngineContext().getDefaultPixelSize();
    return value;
}

int ParseIntAnyBase(const char* text, bool hex)
{
    if (!text || !*text)
        return 0;
    if (hex)
        return parseHex(text);
    size_t length = std::strlen(text);
    if (length > 2 && text[0] == '0' && text[1] == 'x')
        return parseHex(text + 2);
    if (length >= 3 && text[0] == '&' && text[1] == '#') {
        if (text[2] == 'x' || text[2] == 'X')
            return parseHex(text + 3);
        return StrToInt(text + 2);
    }
    if (length > 1 && text[0] == '#')
        return parseHex(text + 1);
    return StrToInt(text);
}

uint32_t ParseColorText(const CString& text)
{
    int length = text.GetLength();
    if (length == 0)
        return 0;
    const char* t = text;
    if (length == 7 && t[0] == '#') {
        uint32_t red = uint32_t(HexPairValue(t[1], t[2])) & 0xFF;
        uint32_t green = uint32_t(HexPairValue(t[3], t[4])) & 0xFF;
        uint32_t blue = uint32_t(HexPairValue(t[5], t[6])) & 0xFF;
        return red + green * 256 + blue * 65536;
    }
    return uint32_t(StrToLong(t));
}

int ClassifyValueText(const char* text)
{
    if (!text)
        return 1;
    if (std::strcmp(text, "true") == 0 || std::strcmp(text, "false") == 0)
        return 3;
    bool hasPoint = false;
    for (; *text; ++text) {
        if (isDigit(*text))
            continue;
        if (*text == '.' && !hasPoint) {
            hasPoint = true;
            continue;
        }
        return 0;
    }
    return hasPoint ? 2 : 1;
}

uint32_t BitsFromText(const char* text)
{
    if (!text)
        return 0;
    size_t length = std::strlen(text);
    uint32_t mask = 0;
    for (size_t i = 0; i < length && i < 32; ++i)
        if (text[length - 1 - i] != '0')
            mask |= 1u << i;
    return mask;
}

CString XmlUnescape(const char* text)
{
    CString result(text);
    result.Replace("&lt;", "<");
    result.Replace("&gt;", ">");
    result.Replace("&quot;", "\"");
    result.Replace("&amp;", "&");
    result.Replace("&apos;", "'");
    return result;
}

void XmlDecodeAngles(CString& text)
{
    text.Replace("&lt;", "<");
    text.Replace("&gt;", ">");
}

void XmlEncodeAngles(CString& text)
{
    text.Replace("<", "&lt;");
    text.Replace(">", "&gt;");
}

int StringChecksum(const char* text)
{
    int length = text ? int(std::strlen(text)) : 0;
    return int(ComputeChecksum(reinterpret_cast<const unsigned char*>(text), length));
}

CString ChecksumToString(const char* text) { return IntToString(StringChecksum(text)); }

void Md5HexOfString(char out[33], const char* text)
{
    if (!text)
        text = "";
    MD5Context context;
    MD5Init(&context);
    MD5Update(&context, reinterpret_cast<const unsigned char*>(text), unsigned(std::strlen(text)));
    unsigned char digest[16];
    MD5Final(digest, &context);
    MD5DigestToHex(out, digest, 16);
}

uint32_t StringHash33(const char* text)
{
    if (!text)
        return 0;
    uint32_t h = 0;
    for (; *text; ++text)
        h = h * 33 + uint32_t(int(static_cast<signed char>(*text)));
    return h ? h : 262987514u;
}

CString IncrementNameNumber(const CString& name, int delta)
{
    const char* text = name;
    int first = 0;
    while (text[first] && !isDigit(text[first]))
        ++first;
    int last = first;
    while (isDigit(text[last]))
        ++last;
    CString head = name.Left(first);
    CString digits = name.Mid(first, last - first);
    CString rest = name.Mid(last);
    int value = int(uint32_t(StrToInt(digits)) + uint32_t(delta));
    return Format("%s%i%s", (const char*)head, value, (const char*)rest);
}
