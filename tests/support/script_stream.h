#ifndef TESTS_SUPPORT_SCRIPT_STREAM_H
#define TESTS_SUPPORT_SCRIPT_STREAM_H

// Bytecode kept in memory: the writer and reader callbacks that
// sq_writeclosure and sq_readclosure take, and print hooks that say nothing,
// for tests and fuzz targets that compile damaged scripts by the thousand.
#include <squirrel.h>

#include <algorithm>
#include <cstring>
#include <string>

struct SScriptStream {
    std::string Data;
    size_t At = 0;
};

inline SQInteger writeScriptStream(SQUserPointer up, SQUserPointer data, SQInteger size)
{
    static_cast<SScriptStream*>(up)->Data.append(static_cast<const char*>(data), size_t(size));
    return size;
}

// A short read fails the load, as a cut file does.
inline SQInteger readScriptStream(SQUserPointer up, SQUserPointer data, SQInteger size)
{
    SScriptStream* stream = static_cast<SScriptStream*>(up);
    const size_t n = std::min(size_t(size), stream->Data.size() - stream->At);
    std::memcpy(data, stream->Data.data() + stream->At, n);
    stream->At += n;
    return n == size_t(size) ? size : -1;
}

inline void silentScriptPrint(HSQUIRRELVM, const SQChar*, ...) {}
inline void silentCompilerError(HSQUIRRELVM, const SQChar*, const SQChar*, SQInteger, SQInteger) {}

#endif
