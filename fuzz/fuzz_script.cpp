// Script source through the compiler; what compiles goes through the
// bytecode writer and reader. Nothing is run: a script may loop forever.
#include "script_stream.h"

#include <squirrel.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static HSQUIRRELVM vm = [] {
        HSQUIRRELVM v = sq_open(1024);
        sq_setprintfunc(v, silentScriptPrint);
        sq_setcompilererrorhandler(v, silentCompilerError);
        return v;
    }();
    const SQInteger top = sq_gettop(vm);
    const bool compiled =
        SQ_SUCCEEDED(sq_compilebuffer(vm, reinterpret_cast<const SQChar*>(bytes), SQInteger(size), "fuzz.nut", SQTrue));
    if (sq_gettop(vm) != top + (compiled ? 1 : 0))
        std::abort();   // the compiler must leave one closure or nothing
    if (compiled) {
        SScriptStream stream;
        if (SQ_FAILED(sq_writeclosure(vm, writeScriptStream, &stream)))
            std::abort();   // whatever compiles can be written
        sq_settop(vm, top);
        if (SQ_FAILED(sq_readclosure(vm, readScriptStream, &stream)))
            std::abort();   // and read back
    }
    sq_settop(vm, top);
    return 0;
}
