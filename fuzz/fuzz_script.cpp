// Script source through the compiler; what compiles goes through the
// bytecode writer and reader. Nothing is run: a script may loop forever.
#include <squirrel.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void silentPrint(HSQUIRRELVM, const SQChar*, ...) {}
void silentCompilerError(HSQUIRRELVM, const SQChar*, const SQChar*, SQInteger, SQInteger) {}

struct SStream {
    std::string Data;
    size_t At = 0;
};

SQInteger writeStream(SQUserPointer up, SQUserPointer data, SQInteger size)
{
    static_cast<SStream*>(up)->Data.append(static_cast<const char*>(data), size_t(size));
    return size;
}

SQInteger readStream(SQUserPointer up, SQUserPointer data, SQInteger size)
{
    SStream* stream = static_cast<SStream*>(up);
    const size_t n = std::min(size_t(size), stream->Data.size() - stream->At);
    std::memcpy(data, stream->Data.data() + stream->At, n);
    stream->At += n;
    return n == size_t(size) ? size : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static HSQUIRRELVM vm = [] {
        HSQUIRRELVM v = sq_open(1024);
        sq_setprintfunc(v, silentPrint);
        sq_setcompilererrorhandler(v, silentCompilerError);
        return v;
    }();
    const SQInteger top = sq_gettop(vm);
    const bool compiled =
        SQ_SUCCEEDED(sq_compilebuffer(vm, reinterpret_cast<const SQChar*>(bytes), SQInteger(size), "fuzz.nut", SQTrue));
    if (sq_gettop(vm) != top + (compiled ? 1 : 0))
        std::abort();   // the compiler must leave one closure or nothing
    if (compiled) {
        SStream stream;
        if (SQ_FAILED(sq_writeclosure(vm, writeStream, &stream)))
            std::abort();   // whatever compiles can be written
        sq_settop(vm, top);
        if (SQ_FAILED(sq_readclosure(vm, readStream, &stream)))
            std::abort();   // and read back
    }
    sq_settop(vm, top);
    return 0;
}
