// CString formatting (estimate, then print) and the free text helpers.
#include "utils_str.h"

#include "utils_assert.h"

#include "codepage.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

namespace {

constexpr long long MaxEstimate = INT_MAX - 1;

// va_list is an array type on x86_64; a struct lets helpers take it by reference.
struct VaArgs {
    va_list ap;
};

// Copies the format only when an MSVC spelling has to be changed for the C library.
class FormatRewriter {
public:
    explicit FormatRewriter(const char* fmt) : m_next(fmt) {}
    void replace(const char* from, const char* to, const char* text)
    {
        m_out.append(m_next, std::size_t(from - m_next));
        m_out += text;
        m_next = to;
        m_changed = true;
    }
    const char* finish(const char* fmt)
    {
        if (!m_changed)
            return fmt;
        m_out += m_next;
        return m_out.c_str();
    }

private:
    const char* m_next;
    std::string m_out;
    bool m_changed = false;
};

enum class ArgSize { Default, Short, Char, Long, LongLong, LongDouble };

struct ConversionSpec {
    long long width = 0;
    long long precision = 0;
    bool hasPrecision = false;
    ArgSize size = ArgSize::Default;
    const char* hPrefix = nullptr;   // where an 'h' stood, for "hs"/"hc"
};

// The pass before printing: an upper bound of the output length, walking the
// arguments in step. It also notes a string argument that lies inside the target
// block, which must not be overwritten while it is printed.
class FormatEstimator {
public:
    FormatEstimator(VaArgs& args, FormatRewriter& rewriter, const char* blockBegin, const char* blockEnd)
        : m_args(args), m_rewriter(rewriter), m_blockBegin(blockBegin), m_blockEnd(blockEnd)
    {
    }

    long long run(const char* fmt)
    {
        long long total = 0;
        for (const char* p = fmt; *p && total <= MaxEstimate;) {
            if (*p != '%') {
                ++total;
                ++p;
            } else if (p[1] == '%') {
                ++total;
                p += 2;
            } else {
                p = conversion(p + 1, total);
            }
        }
        return total;
    }

    bool aliasesBlock() const { return m_aliases; }

private:
    static long long readDigits(const char*& p)
    {
        long long value = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            if (value < MaxEstimate)
                value = value * 10 + (*p - '0');
        return value;
    }

    const char* conversion(const char* start, long long& total);
    const char* widthAndPrecision(const char* p, ConversionSpec& spec, long long& total);
    const char* sizePrefix(const char* p, ConversionSpec& spec);
    long long stringItem(const char* conv, const ConversionSpec& spec);
    long long charItem(const char* conv, const ConversionSpec& spec);
    long long floatItem(char conv, const ConversionSpec& spec);

    VaArgs& m_args;
    FormatRewriter& m_rewriter;
    const char* m_blockBegin;
    const char* m_blockEnd;
    bool m_aliases = false;
};

const char* FormatEstimator::widthAndPrecision(const char* p, ConversionSpec& spec, long long& total)
{
    for (;; ++p) {
        if (*p == '#')
            total += 2;   // room for "0x"
        else if (*p == '*')
            spec.width = va_arg(m_args.ap, int);
        else if (*p != '-' && *p != '+' && *p != '0' && *p != ' ')
            break;
    }
    if (spec.width == 0)
        spec.width = readDigits(p);
    if (spec.width < 0) {
        ENGINE_ASSERT(!"negative format width");
        spec.width = -spec.width;
    }
    if (*p == '.') {
        ++p;
        spec.hasPrecision = true;
        if (*p == '*') {
            spec.precision = va_arg(m_args.ap, int);
            ++p;
        } else {
            spec.precision = readDigits(p);
        }
        if (spec.precision < 0) {
            ENGINE_ASSERT(!"negative format precision");
            spec.precision = 0;
            spec.hasPrecision = false;
        }
    }
    return p;
}

const char* FormatEstimator::sizePrefix(const char* p, ConversionSpec& spec)
{
    if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
        spec.size = ArgSize::LongLong;
        m_rewriter.replace(p, p + 3, "ll");
        return p + 3;
    }
    if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
        m_rewriter.replace(p, p + 3, "");
        return p + 3;
    }
    switch (*p) {
    case 'h':
        if (p[1] == 'h') {
            spec.size = ArgSize::Char;
            return p + 2;
        }
        spec.size = ArgSize::Short;
        spec.hPrefix = p;
        return p + 1;
    case 'l':
        if (p[1] == 'l') {
            spec.size = ArgSize::LongLong;
            return p + 2;
        }
        spec.size = ArgSize::Long;
        return p + 1;
    case 'q': case 'j': case 'z': case 't':
        spec.size = ArgSize::LongLong;   // all 64-bit here
        return p + 1;
    case 'L':
        spec.size = ArgSize::LongDouble;
        return p + 1;
    case 'F': case 'N':   // old far/near pointer prefixes
        m_rewriter.replace(p, p + 1, "");
        return p + 1;
    default:
        return p;
    }
}

long long FormatEstimator::stringItem(const char* conv, const ConversionSpec& spec)
{
    // 's' is narrow unless 'l'; 'S' is wide unless 'h'. The C library spells wide "ls".
    bool isWide = (*conv == 'S') ? spec.size != ArgSize::Short : spec.size == ArgSize::Long;
    if (spec.hPrefix)
        m_rewriter.replace(spec.hPrefix, conv + 1, "s");
    else if (*conv == 'S')
        m_rewriter.replace(conv, conv + 1, spec.size == ArgSize::Long ? "s" : "ls");
    long long len;
    if (isWide) {
        const wchar_t* text = va_arg(m_args.ap, const wchar_t*);
        len = text ? (long long)std::wcslen(text) : 6;
    } else {
        const char* text = va_arg(m_args.ap, const char*);
        if (!text) {
            len = 6;   // "(null)"
        } else {
            len = spec.hasPrecision ? (long long)strnlen(text, std::size_t(spec.precision)) : (long long)std::strlen(text);
            if (text >= m_blockBegin && text < m_blockEnd)
                m_aliases = true;
        }
    }
    if (len < 1)
        len = 1;
    if (spec.hasPrecision && spec.precision < len)
        len = spec.precision;
    return len > spec.width ? len : spec.width;
}

long long FormatEstimator::charItem(const char* conv, const ConversionSpec& spec)
{
    if (spec.hPrefix)
        m_rewriter.replace(spec.hPrefix, conv + 1, "c");
    else if (*conv == 'C')
        m_rewriter.replace(conv, conv + 1, spec.size == ArgSize::Long ? "c" : "lc");
    (void)va_arg(m_args.ap, int);
    long long len = (*conv == 'C' || spec.size == ArgSize::Long) ? MB_LEN_MAX : 1;
    return len > spec.width ? len : spec.width;
}

long long FormatEstimator::floatItem(char conv, const ConversionSpec& spec)
{
    long double value = spec.size == ArgSize::LongDouble ? va_arg(m_args.ap, long double)
                                                         : (long double)va_arg(m_args.ap, double);
    if (conv != 'f') {
        long long sum = spec.width + spec.precision;
        return sum > 128 ? sum : 128;
    }
    // 'f' can be hundreds of digits long: measure it instead of guessing.
    int width = spec.width > 100000 ? 100000 : int(spec.width);
    int precision = spec.precision > 100000 ? 100000 : int(spec.precision);
    int len = std::snprintf(nullptr, 0, "%*.*Lf", width, precision + 6, value);
    return len > 0 ? len : 0;
}

// p is just past the '%'; returns the position after the conversion.
const char* FormatEstimator::conversion(const char* start, long long& total)
{
    ConversionSpec spec;
    const char* p = start;
    p = widthAndPrecision(p, spec, total);
    p = sizePrefix(p, spec);
    long long wide = spec.width + spec.precision;
    switch (*p) {
    case 's': case 'S':
        total += stringItem(p, spec);
        break;
    case 'c': case 'C':
        total += charItem(p, spec);
        break;
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
        if (spec.size == ArgSize::LongLong || spec.size == ArgSize::Long)
            (void)va_arg(m_args.ap, long long);
        else
            (void)va_arg(m_args.ap, int);
        total += wide > 32 ? wide : 32;
        break;
    case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': case 'f':
        total += floatItem(*p, spec);
        break;
    case 'p':
        (void)va_arg(m_args.ap, void*);
        total += wide > 32 ? wide : 32;
        break;
    case 'n':
        (void)va_arg(m_args.ap, void*);
        break;
    case 0:
        // A lone '%' at the end: the C library would fail the whole text; print it as it stands.
        ENGINE_ASSERT(!"format ends inside a conversion");
        m_rewriter.replace(start - 1, p, "%%");
        total += 1;
        return p;
    default:
        ENGINE_ASSERT(!"unsupported format conversion");
        break;
    }
    return p + 1;
}

// Prints into target with room for capacity characters; grows once when the
// estimate was short. Returns false (target emptied) when printing fails.
bool printInto(CString& target, int capacity, const char* fmt, va_list args)
{
    char* buffer = target.GetBuffer(capacity);
    if (!buffer)
        return false;
    VaArgs pass;
    va_copy(pass.ap, args);
    int written = std::vsnprintf(buffer, std::size_t(capacity) + 1, fmt, pass.ap);
    va_end(pass.ap);
    if (written > capacity) {
        buffer = target.GetBuffer(written);
        if (!buffer)
            return false;
        va_copy(pass.ap, args);
        written = std::vsnprintf(buffer, std::size_t(written) + 1, fmt, pass.ap);
        va_end(pass.ap);
    }
    if (written < 0) {
        ENGINE_ASSERT(!"formatting failed");
        target.ReleaseBuffer(0);
        return false;
    }
    target.ReleaseBuffer();
    return true;
}

} // namespace

void CString::FormatV(const char* fmt, va_list args)
{
    if (!fmt) {
        ENGINE_ASSERT(fmt != nullptr);
        return;
    }
    FormatRewriter rewriter(fmt);
    VaArgs scan;
    va_copy(scan.ap, args);
    FormatEstimator estimator(scan, rewriter, m_pchData, m_pchData + GetAllocLength() + 1);
    long long estimate = estimator.run(fmt);
    va_end(scan.ap);
    if (estimate > MaxEstimate) {
        ENGINE_ASSERT(!"formatted text too long");
        return;
    }
    const char* printFmt = rewriter.finish(fmt);
    if (!estimator.aliasesBlock()) {
        printInto(*this, int(estimate), printFmt, args);
        return;
    }
    CString fresh;
    if (printInto(fresh, int(estimate), printFmt, args))
        *this = std::move(fresh);
}

void CString::Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

CString Format(const char* fmt, ...)
{
    CString result;
    va_list args;
    va_start(args, fmt);
    result.FormatV(fmt, args);
    va_end(args);
    return result;
}

// --- free helpers ---

void IntToBuffer(int value, char* out)
{
    // Unsigned arithmetic so that the most negative int has a magnitude too.
    unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    char digits[12];
    int count = 0;
    do {
        digits[count++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *out++ = '-';
    while (count)
        *out++ = digits[--count];
    *out = 0;
}

CString IntToString(int value)
{
    char buffer[12];
    IntToBuffer(value, buffer);
    return CString(buffer);
}

bool IsDigitChar(int c)
{
    return c >= '0' && c <= '9';
}

bool IsSpaceChar(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int StrToIntSimple(const char* text)
{
    if (!text)
        return 0;
    while (IsSpaceChar(*text))
        ++text;
    bool negative = *text == '-';
    if (*text == '+' || *text == '-')
        ++text;
    unsigned value = 0;   // wraps instead of overflowing
    for (; IsDigitChar(*text); ++text)
        value = value * 10u + unsigned(*text - '0');
    return int(negative ? 0u - value : value);
}

wchar_t* AnsiToWideAlloc(const char* text)
{
    if (!text)
        return nullptr;
    std::size_t len = std::strlen(text);
    std::wstring wide = platform::AnsiToWide(std::string_view(text, len));
    // One wide character per byte on a single-byte page; the copy is bounded all the same.
    wchar_t* out = new wchar_t[len + 1]();
    std::wmemcpy(out, wide.data(), wide.size() < len ? wide.size() : len);
    return out;
}

char* WideToAnsiAlloc(const wchar_t* text)
{
    if (!text)
        return nullptr;
    std::size_t len = std::wcslen(text);
    std::string ansi = platform::WideToAnsi(std::wstring_view(text, len));
    char* out = new char[len + 1]();
    std::memcpy(out, ansi.data(), ansi.size() < len ? ansi.size() : len);
    return out;
}

void StrLowerInPlace(char* text)
{
    for (; text && *text; ++text)
        if (*text >= 'A' && *text <= 'Z')
            *text = char(*text + ('a' - 'A'));
}

void StrUpperInPlace(char* text)
{
    for (; text && *text; ++text)
        if (*text >= 'a' && *text <= 'z')
            *text = char(*text - ('a' - 'A'));
}
