// Default error reporting through the print function: compile errors, uncaught runtime errors
// and the call-stack dump. Every line is one print call.
#include "sqstdaux.h"

namespace {

constexpr SQInteger LocalsLevels = 10;
// A longer string local (a text that ran out of memory) shows its start.
constexpr SQInteger LocalTextLength = 1000;
// A deeper call stack (a runaway recursion) shows its innermost and outermost calls.
constexpr SQInteger InnerLevels = 20;
constexpr SQInteger OuterLevels = 10;

// The first level above 0 that does not exist. Looking a level up costs its depth, so the
// levels are not walked one by one.
SQInteger endLevel(HSQUIRRELVM v)
{
    SQStackInfos si;
    SQInteger found = 0, missing = 1;
    while (SQ_SUCCEEDED(sq_stackinfos(v, missing, &si))) {
        found = missing;
        missing *= 2;
    }
    while (missing - found > 1) {
        SQInteger mid = found + (missing - found) / 2;
        if (SQ_SUCCEEDED(sq_stackinfos(v, mid, &si))) found = mid;
        else missing = mid;
    }
    return missing;
}

void printLevel(HSQUIRRELVM v, SQPRINTFUNCTION pf, const SQStackInfos& si)
{
    pf(v, "*FUNCTION [%s()] %s line [%d]\n", si.funcname ? si.funcname : "unknown", si.source ? si.source : "unknown",
       int(si.line));
}

void printLocal(HSQUIRRELVM v, SQPRINTFUNCTION pf, const SQChar* name)
{
    switch (sq_gettype(v, -1)) {
    case OT_NULL: pf(v, "[%s] NULL\n", name); break;
    case OT_INTEGER: {
        SQInteger i = 0;
        sq_getinteger(v, -1, &i);
        pf(v, "[%s] %d\n", name, int(i));
        break;
    }
    case OT_FLOAT: {
        SQFloat f = 0;
        sq_getfloat(v, -1, &f);
        pf(v, "[%s] %.14g\n", name, double(f));
        break;
    }
    case OT_STRING: {
        const SQChar* s = "";
        sq_getstring(v, -1, &s);
        if (sq_getsize(v, -1) > LocalTextLength) pf(v, "[%s] \"%.*s...\"\n", name, int(LocalTextLength), s);
        else pf(v, "[%s] \"%s\"\n", name, s);
        break;
    }
    case OT_BOOL: {  // the original printed a stale value here; this prints the real one
        SQBool b = SQFalse;
        sq_getbool(v, -1, &b);
        pf(v, "[%s] %s\n", name, b ? "true" : "false");
        break;
    }
    case OT_USERPOINTER: pf(v, "[%s] USERPOINTER\n", name); break;
    case OT_TABLE: pf(v, "[%s] TABLE\n", name); break;
    case OT_ARRAY: pf(v, "[%s] ARRAY\n", name); break;
    case OT_CLOSURE: pf(v, "[%s] CLOSURE\n", name); break;
    case OT_NATIVECLOSURE: pf(v, "[%s] NATIVECLOSURE\n", name); break;
    case OT_GENERATOR: pf(v, "[%s] GENERATOR\n", name); break;
    case OT_USERDATA: pf(v, "[%s] USERDATA\n", name); break;
    case OT_THREAD: pf(v, "[%s] THREAD\n", name); break;
    case OT_CLASS: pf(v, "[%s] CLASS\n", name); break;
    case OT_INSTANCE: pf(v, "[%s] INSTANCE\n", name); break;
    case OT_WEAKREF: pf(v, "[%s] WEAKREF\n", name); break;
    default: break;
    }
}

// Runtime handler: called with the thrown value as its one argument.
SQInteger aux_printerror(HSQUIRRELVM v)
{
    SQPRINTFUNCTION pf = sq_getprintfunc(v);
    if (!pf) return 0;
    const SQChar* message = nullptr;
    if (sq_gettop(v) >= 2 && SQ_SUCCEEDED(sq_getstring(v, 2, &message)))
        pf(v, "\nAN ERROR HAS OCCURED [%s]\n", message);
    else
        pf(v, "\nAN ERROR HAS OCCURED [unknown]\n");
    sqstd_printcallstack(v);
    return 0;
}

void aux_compilererror(HSQUIRRELVM v, const SQChar* desc, const SQChar* source, SQInteger line, SQInteger column)
{
    SQPRINTFUNCTION pf = sq_getprintfunc(v);
    if (pf) pf(v, "%s line = (%d) column = (%d) : error %s\n", source, int(line), int(column), desc);
}

}  // namespace

extern "C" {

void sqstd_printcallstack(HSQUIRRELVM v)
{
    SQPRINTFUNCTION pf = sq_getprintfunc(v);
    if (!pf) return;
    pf(v, "\nCALLSTACK\n");
    SQStackInfos si;
    SQInteger levels = endLevel(v);
    for (SQInteger level = 1; level < levels; ++level) {
        if (level == InnerLevels + 1 && levels - level > OuterLevels + 1) {
            SQInteger skipped = levels - level - OuterLevels;
            pf(v, "*... %d more calls ...\n", int(skipped));
            level += skipped - 1;
            continue;
        }
        if (SQ_SUCCEEDED(sq_stackinfos(v, level, &si))) printLevel(v, pf, si);
    }
    pf(v, "\nLOCALS\n");
    for (SQInteger level = 0; level < LocalsLevels; ++level) {
        SQUnsignedInteger seq = 0;
        while (const SQChar* name = sq_getlocal(v, SQUnsignedInteger(level), seq)) {
            ++seq;
            printLocal(v, pf, name);
            sq_pop(v, 1);
        }
    }
}

void sqstd_seterrorhandlers(HSQUIRRELVM v)
{
    sq_setcompilererrorhandler(v, aux_compilererror);
    sq_newclosure(v, aux_printerror, 0);
    sq_seterrorhandler(v);
}

}  // extern "C"
