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
#include <fstream>
#include <sstream>
#include <string>

namespace {

void printToStdout(HSQUIRRELVM, const SQChar* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vfprintf(stdout, fmt, args);
    va_end(args);
}

bool readFile(const char* path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buf;
    buf << in.rdbuf();
    text = buf.str();
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
    std::string source;
    if (!readFile(argv[1], source)) {
        fprintf(stderr, "sq: cannot open '%s'\n", argv[1]);
        return 2;
    }
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, printToStdout);
    registerStdLibs(v);
    int rc = 0;
    if (SQ_FAILED(sq_compilebuffer(v, source.data(), static_cast<SQInteger>(source.size()), argv[1], SQTrue))) {
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
