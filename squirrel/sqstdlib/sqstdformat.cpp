// The printf subset of format(): %d %i %c %o %u %x %X, %f %e %E %g %G, %s and %%, with flags,
// a width and a precision of at most two digits each.
#include "sqstdformat.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace sqstd {

namespace {

constexpr size_t MaxSpecLength = 20;
constexpr int MaxDigits = 2;

const char* const NotEnoughParams = "not enough paramters for the given format string";
const char* const IntegerExpected = "integer expected for the specified format";
const char* const FloatExpected = "float expected for the specified format";
const char* const StringExpected = "string expected for the specified format";
const char* const InvalidFormat = "invalid format";
const char* const TooLong = "string too long";

bool isFlag(char c)
{
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads one conversion spec starting at '%'. On success `spec` holds it (conversion letter
// included) and `p` points past it.
const char* parseSpec(const char*& p, std::string& spec)
{
    const char* start = p++;
    while (isFlag(*p)) {
        ++p;
        if (size_t(p - start) > MaxSpecLength) return "format too long";
    }
    int digits = 0;
    while (isDigit(*p)) {
        ++p;
        if (++digits > MaxDigits) return "width format too long";
    }
    if (*p == '.') {
        ++p;
        digits = 0;
        while (isDigit(*p)) {
            ++p;
            if (++digits > MaxDigits) return "precision format too long";
        }
    }
    if (*p == '\0') return InvalidFormat;
    ++p;
    spec.assign(start, p);
    return nullptr;
}

// The result may hold at most `limit` bytes.
struct Output {
    std::string& text;
    size_t limit;
    bool fits(size_t more) const { return text.size() <= limit && more <= limit - text.size(); }
};

template <class T>
const char* appendPrintf(Output& out, const std::string& spec, T value)
{
    char small[128];
    int n = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (n < 0) return nullptr;
    if (!out.fits(size_t(n))) return TooLong;
    if (size_t(n) < sizeof small) {
        out.text.append(small, size_t(n));
        return nullptr;
    }
    std::string big(size_t(n) + 1, '\0');
    std::snprintf(&big[0], big.size(), spec.c_str(), value);
    out.text.append(big.data(), size_t(n));
    return nullptr;
}

const char* formatOne(char conv, const std::string& spec, const FormatArg& arg, Output& out)
{
    switch (conv) {
    case 'd':
    case 'i':
    case 'c': {
        int value;
        if (arg.type == FormatArg::Type::Integer) value = arg.integer;
        else if (arg.type == FormatArg::Type::Float) value = TruncateToInteger(arg.real);
        else return IntegerExpected;
        return appendPrintf(out, spec, value);
    }
    case 'o':
    case 'u':
    case 'x':
    case 'X': {
        int32_t value;
        if (arg.type == FormatArg::Type::Integer) value = arg.integer;
        else if (arg.type == FormatArg::Type::Float) value = TruncateToInteger(arg.real);
        else return IntegerExpected;
        return appendPrintf(out, spec, static_cast<unsigned int>(static_cast<uint32_t>(value)));
    }
    case 'f':
    case 'e':
    case 'E':
    case 'g':
    case 'G': {
        double value;
        if (arg.type == FormatArg::Type::Float) value = arg.real;
        else if (arg.type == FormatArg::Type::Integer) value = static_cast<float>(arg.integer);
        else return FloatExpected;
        return appendPrintf(out, spec, value);
    }
    case 's':
        if (arg.type != FormatArg::Type::String || !arg.text) return StringExpected;
        return appendPrintf(out, spec, arg.text);
    default: return InvalidFormat;
    }
}

}  // namespace

int32_t TruncateToInteger(float value)
{
    if (std::isnan(value) || value >= 2147483648.0f || value < -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(value);
}

const char* FormatValues(const char* fmt, const FormatArg* args, size_t argCount, std::string& text,
                         size_t maxLength)
{
    Output out{text, maxLength};
    size_t next = 0;
    std::string spec;
    for (const char* p = fmt; *p;) {
        if (*p != '%') {
            const char* run = p;
            while (*p && *p != '%') ++p;
            if (!out.fits(size_t(p - run))) return TooLong;
            text.append(run, p);
            continue;
        }
        if (p[1] == '%') {
            if (!out.fits(1)) return TooLong;
            text += '%';
            p += 2;
            continue;
        }
        if (next >= argCount) return NotEnoughParams;
        if (const char* err = parseSpec(p, spec)) return err;
        if (const char* err = formatOne(spec.back(), spec, args[next], out)) return err;
        ++next;
    }
    return nullptr;
}

}  // namespace sqstd
