// String library: format, strip, lstrip, rstrip, split and the regexp class.
#include "sqstdstring.h"

#include "sqstdformat.h"
#include "sqstdreg.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char RegexpTag = 0;  // its address tags the regexp class

SQUserPointer regexpTag()
{
    return const_cast<char*>(&RegexpTag);
}

bool isSpaceByte(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

SQInteger stringArg(HSQUIRRELVM v, SQInteger idx, const SQChar*& text, SQInteger& len)
{
    if (SQ_FAILED(sq_getstring(v, idx, &text))) return SQ_ERROR;
    len = sq_getsize(v, idx);
    return SQ_OK;
}

SQInteger string_format(HSQUIRRELVM v)
{
    const SQChar* fmt;
    if (SQ_FAILED(sq_getstring(v, 2, &fmt))) return SQ_ERROR;
    SQInteger top = sq_gettop(v);
    std::vector<sqstd::FormatArg> args;
    for (SQInteger i = 3; i <= top; ++i) {
        sqstd::FormatArg arg;
        switch (sq_gettype(v, i)) {
        case OT_INTEGER:
            arg.type = sqstd::FormatArg::Type::Integer;
            sq_getinteger(v, i, &arg.integer);
            break;
        case OT_FLOAT:
            arg.type = sqstd::FormatArg::Type::Float;
            sq_getfloat(v, i, &arg.real);
            break;
        case OT_STRING:
            arg.type = sqstd::FormatArg::Type::String;
            sq_getstring(v, i, &arg.text);
            break;
        default: break;
        }
        args.push_back(arg);
    }
    std::string out;
    if (const char* err = sqstd::FormatValues(fmt, args.data(), args.size(), out)) return sq_throwerror(v, err);
    sq_pushstring(v, out.data(), SQInteger(out.size()));
    return 1;
}

SQInteger string_strip(HSQUIRRELVM v)
{
    const SQChar* s;
    SQInteger len;
    if (SQ_FAILED(stringArg(v, 2, s, len))) return SQ_ERROR;
    SQInteger b = 0, e = len;
    while (b < e && isSpaceByte(s[b])) ++b;
    while (e > b && isSpaceByte(s[e - 1])) --e;
    sq_pushstring(v, s + b, e - b);
    return 1;
}

SQInteger string_lstrip(HSQUIRRELVM v)
{
    const SQChar* s;
    SQInteger len;
    if (SQ_FAILED(stringArg(v, 2, s, len))) return SQ_ERROR;
    SQInteger b = 0;
    while (b < len && isSpaceByte(s[b])) ++b;
    sq_pushstring(v, s + b, len - b);
    return 1;
}

// An all-blank string gives "" (the original kept its first byte).
SQInteger string_rstrip(HSQUIRRELVM v)
{
    const SQChar* s;
    SQInteger len;
    if (SQ_FAILED(stringArg(v, 2, s, len))) return SQ_ERROR;
    SQInteger e = len;
    while (e > 0 && isSpaceByte(s[e - 1])) --e;
    sq_pushstring(v, s, e);
    return 1;
}

// Pieces between runs of separator bytes, as strtok gives them: never an empty piece.
SQInteger string_split(HSQUIRRELVM v)
{
    const SQChar* s;
    const SQChar* seps;
    if (SQ_FAILED(sq_getstring(v, 2, &s)) || SQ_FAILED(sq_getstring(v, 3, &seps))) return SQ_ERROR;
    if (*seps == '\0') return sq_throwerror(v, "empty separators string");
    sq_newarray(v, 0);
    const SQChar* p = s;
    while (*p) {
        p += std::strspn(p, seps);
        if (!*p) break;
        size_t n = std::strcspn(p, seps);
        sq_pushstring(v, p, SQInteger(n));
        sq_arrayappend(v, -2);
        p += n;
    }
    return 1;
}

SQRex* selfRex(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &p, regexpTag()))) return nullptr;
    return static_cast<SQRex*>(p);
}

SQInteger releaseRex(SQUserPointer p, SQInteger)
{
    sqstd_rex_free(static_cast<SQRex*>(p));
    return 1;
}

void pushRange(HSQUIRRELVM v, SQInteger begin, SQInteger end)
{
    sq_newtable(v);
    sq_pushstring(v, "begin", -1);
    sq_pushinteger(v, begin);
    sq_rawset(v, -3);
    sq_pushstring(v, "end", -1);
    sq_pushinteger(v, end);
    sq_rawset(v, -3);
}

// The subject string and the optional start index; false when the start lies outside the text.
bool subjectArgs(HSQUIRRELVM v, const SQChar*& str, SQInteger& start)
{
    SQInteger len = 0;
    stringArg(v, 2, str, len);
    start = 0;
    if (sq_gettop(v) > 2) sq_getinteger(v, 3, &start);
    return start >= 0 && start <= len;
}

SQInteger regexp_constructor(HSQUIRRELVM v)
{
    // Only on a regexp instance; run again, it first frees the old pattern.
    SQUserPointer old = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &old, regexpTag()))) return sq_throwerror(v, "invalid type tag");
    const SQChar* pattern;
    sq_getstring(v, 2, &pattern);
    const SQChar* error = nullptr;
    SQRex* rex = sqstd_rex_compile(pattern, &error);
    if (!rex) return sq_throwerror(v, error ? error : "invalid pattern");
    sqstd_rex_free(static_cast<SQRex*>(old));
    sq_setinstanceup(v, 1, rex);
    sq_setreleasehook(v, 1, releaseRex);
    return 0;
}

SQInteger regexp_search(HSQUIRRELVM v)
{
    SQRex* rex = selfRex(v);
    if (!rex) return sq_throwerror(v, "invalid type tag");
    const SQChar* str;
    SQInteger start;
    const SQChar* b;
    const SQChar* e;
    if (!subjectArgs(v, str, start) || !sqstd_rex_search(rex, str + start, &b, &e)) return 0;
    pushRange(v, SQInteger(b - str), SQInteger(e - str));
    return 1;
}

SQInteger regexp_match(HSQUIRRELVM v)
{
    SQRex* rex = selfRex(v);
    if (!rex) return sq_throwerror(v, "invalid type tag");
    const SQChar* str;
    sq_getstring(v, 2, &str);
    sq_pushbool(v, sqstd_rex_match(rex, str) ? SQTrue : SQFalse);
    return 1;
}

// Element 0 is the whole match; groups that took no part or matched nothing give {0, 0}.
SQInteger regexp_capture(HSQUIRRELVM v)
{
    SQRex* rex = selfRex(v);
    if (!rex) return sq_throwerror(v, "invalid type tag");
    const SQChar* str;
    SQInteger start;
    const SQChar* b;
    const SQChar* e;
    if (!subjectArgs(v, str, start) || !sqstd_rex_search(rex, str + start, &b, &e)) return 0;
    SQInteger count = sqstd_rex_getsubexpcount(rex);
    sq_newarray(v, 0);
    for (SQInteger i = 0; i < count; ++i) {
        SQRexMatch m;
        sqstd_rex_getsubexp(rex, i, &m);
        if (m.len > 0 && m.begin) pushRange(v, SQInteger(m.begin - str), SQInteger(m.begin - str) + m.len);
        else pushRange(v, 0, 0);
        sq_arrayappend(v, -2);
    }
    return 1;
}

SQInteger regexp_subexpcount(HSQUIRRELVM v)
{
    SQRex* rex = selfRex(v);
    if (!rex) return sq_throwerror(v, "invalid type tag");
    sq_pushinteger(v, sqstd_rex_getsubexpcount(rex));
    return 1;
}

SQInteger regexp_typeof(HSQUIRRELVM v)
{
    sq_pushstring(v, "regexp", -1);
    return 1;
}

const SQRegFunction RegexpMethods[] = {
    {"constructor", regexp_constructor, 2, ".s"},
    {"search", regexp_search, -2, "xsn"},
    {"match", regexp_match, 2, "xs"},
    {"capture", regexp_capture, -2, "xsn"},
    {"subexpcount", regexp_subexpcount, 1, "x"},
    {"_typeof", regexp_typeof, 1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction StringFunctions[] = {
    {"format", string_format, -2, ".s"},
    {"strip", string_strip, 2, ".s"},
    {"lstrip", string_lstrip, 2, ".s"},
    {"rstrip", string_rstrip, 2, ".s"},
    {"split", string_split, 3, ".ss"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

extern "C" SQRESULT sqstd_register_stringlib(HSQUIRRELVM v)
{
    sq_pushstring(v, "regexp", -1);
    sqstd::PushNativeClass(v, regexpTag(), RegexpMethods, false);
    sq_newslot(v, -3, SQFalse);
    sqstd::RegisterFunctions(v, StringFunctions);
    return 1;  // the original reports 1 here, not SQ_OK
}
