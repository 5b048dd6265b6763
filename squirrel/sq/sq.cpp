// Command-line runner: runs one script file with the standard libraries, prints to stdout.
// Exit code 0 on success, 1 on a compile or uncaught runtime error, 2 on bad usage.
#include <squirrel.h>
#include <sqstdaux.h>
#include <sqstdblob.h>
#include <sqstdio.h>
#include <sqstdmath.h>
#include <sqstdstring.h>
#include <sqstdsystem.h>

#include <cstdarg>
#include <cstdio>

namespace {

void printToStdout(HSQUIRRELVM, const SQChar* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vfprintf(stdout, fmt, args);
    va_end(args);
}

bool readable(const char* path)
{
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void registerStdLibs(HSQUIRRELVM v)
{
    // --- standard libraries (kept together so the set stays in one place)
    sq_pushroottable(v);
    sqstd_register_bloblib(v);
    sqstd_register_iolib(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sqstd_register_systemlib(v);
    sq_pop(v, 1);
    sqstd_seterrorhandlers(v);
    // --- end of standard libraries
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: sq <script.nut>\n");
        return 2;
    }
    if (!readable(argv[1])) {
        fprintf(stderr, "sq: cannot open '%s'\n", argv[1]);
        return 2;
    }
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, printToStdout);
    registerStdLibs(v);
    int rc = 0;
    // Loaded like dofile: bytecode files run, and UTF-8 / UCS-2 byte-order marks are decoded.
    if (SQ_FAILED(sqstd_loadfile(v, argv[1], SQTrue))) {
        // compile errors were already shown by the handler; this also names load failures
        const SQChar* err = nullptr;
        sq_getlasterror(v);
        if (SQ_SUCCEEDED(sq_getstring(v, -1, &err))) fprintf(stderr, "sq: %s\n", err);
        sq_poptop(v);
        rc = 1;
    } else {
        sq_pushroottable(v);
        if (SQ_FAILED(sq_call(v, 1, SQFalse, SQTrue))) rc = 1;
        sq_pop(v, 1);
    }
    fflush(stdout);
    sq_close(v);
    return rc;
}
