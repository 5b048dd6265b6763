// A VM with the standard libraries and a print function that records every print call.
#include "std_support.h"

#include "sqstdaux.h"
#include "sqstdblob.h"
#include "sqstdio.h"
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "sqstdsystem.h"

#include <cstdarg>
#include <cstdio>

namespace sqstdtest {

ScriptVm::ScriptVm() : V(sq_open(1024))
{
    sq_setforeignptr(V, this);
    sq_setprintfunc(V, print);
    sq_pushroottable(V);
    sqstd_register_iolib(V);
    sqstd_register_bloblib(V);
    sqstd_register_mathlib(V);
    sqstd_register_stringlib(V);
    sqstd_register_systemlib(V);
    sqstd_seterrorhandlers(V);
    sq_pop(V, 1);
}

ScriptVm::~ScriptVm()
{
    sq_close(V);
}

void ScriptVm::print(HSQUIRRELVM v, const SQChar* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(&text[0], text.size() + 1, fmt, args);
    va_end(args);
    static_cast<ScriptVm*>(sq_getforeignptr(v))->Prints.push_back(text);
}

std::string ScriptVm::printed() const
{
    std::string all;
    for (const std::string& p : Prints) all += p;
    return all;
}

std::string ScriptVm::lastError()
{
    sq_getlasterror(V);
    const SQChar* text = nullptr;
    std::string result = SQ_SUCCEEDED(sq_getstring(V, -1, &text)) ? text : "(not a string)";
    sq_pop(V, 1);
    return result;
}

std::string ScriptVm::run(const std::string& source, const std::string& sourceName)
{
    SQInteger top = sq_gettop(V);
    if (SQ_FAILED(sq_compilebuffer(V, source.c_str(), SQInteger(source.size()), sourceName.c_str(), SQTrue)))
        return "compile error: " + lastError();
    sq_pushroottable(V);
    std::string result;
    if (SQ_FAILED(sq_call(V, 1, SQTrue, SQTrue))) {
        result = "error: " + lastError();
    } else {
        sq_tostring(V, -1);
        const SQChar* text = "";
        sq_getstring(V, -1, &text);
        result = text;
    }
    sq_settop(V, top);
    return result;
}

}  // namespace sqstdtest
