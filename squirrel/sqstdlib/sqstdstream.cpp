// Methods of the script class "stream", the base of blob and file.
#include "sqstdstream.h"

#include "sqstdblob.h"
#include "sqstdio.h"
#include "sqstdreg.h"

#include <cstdint>
#include <cstring>

namespace sqstd {

namespace {

const char StreamTag = 0;  // its address tags the stream class
const SQChar* const StreamRegistryKey = "std_stream";

// Reads `this` as a stream; on failure the error is already thrown and nullptr returned.
Stream* selfStream(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &p, StreamTypeTag()))) {
        sq_throwerror(v, "invalid type tag");
        return nullptr;
    }
    Stream* s = static_cast<Stream*>(p);
    if (!s || !s->IsValid()) {
        sq_throwerror(v, "the stream is invalid");
        return nullptr;
    }
    return s;
}

SQInteger stream_readblob(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQInteger size;
    sq_getinteger(v, 2, &size);
    SQInteger total = self->Len();
    if (size > total) size = total;  // clamped to the whole length, as the original did
    if (size <= 0) return sq_throwerror(v, "no data left to read");
    SQUserPointer data = sqstd_createblob(v, size);
    if (!data) return SQ_ERROR;
    SQInteger got = self->Read(data, size);
    if (got <= 0) return sq_throwerror(v, "no data left to read");
    if (got < size) ResizeBlob(v, -1, got);
    return 1;
}

// Byte width of a readn/writen type code; 0 for an unknown code.
int numberWidth(SQInteger code)
{
    switch (code) {
    case 'l':
    case 'i':
    case 'f': return 4;
    case 's':
    case 'w': return 2;
    case 'c':
    case 'b': return 1;
    case 'd': return 8;
    default: return 0;
    }
}

SQInteger stream_readn(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQInteger code;
    sq_getinteger(v, 2, &code);
    int width = numberWidth(code);
    if (!width) return sq_throwerror(v, "invalid format");
    unsigned char raw[8];
    if (self->Read(raw, width) != width) return sq_throwerror(v, "io error");
    switch (code) {
    case 'l':
    case 'i': { int32_t x; std::memcpy(&x, raw, 4); sq_pushinteger(v, x); break; }
    case 's': { int16_t x; std::memcpy(&x, raw, 2); sq_pushinteger(v, x); break; }
    case 'w': { uint16_t x; std::memcpy(&x, raw, 2); sq_pushinteger(v, x); break; }
    case 'c': sq_pushinteger(v, static_cast<signed char>(raw[0])); break;
    case 'b': sq_pushinteger(v, raw[0]); break;
    case 'f': { float x; std::memcpy(&x, raw, 4); sq_pushfloat(v, x); break; }
    default: { double x; std::memcpy(&x, raw, 8); sq_pushfloat(v, SQFloat(x)); break; }
    }
    return 1;
}

SQInteger stream_writeblob(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQUserPointer data;
    if (SQ_FAILED(sqstd_getblob(v, 2, &data))) return sq_throwerror(v, "invalid parameter");
    SQInteger size = sqstd_getblobsize(v, 2);
    if (self->Write(data, size) != size) return sq_throwerror(v, "io error");
    sq_pushinteger(v, size);
    return 1;
}

SQInteger stream_writen(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQInteger code;
    sq_getinteger(v, 3, &code);
    int width = numberWidth(code);
    if (!width) return sq_throwerror(v, "invalid format");
    SQInteger i = 0;
    SQFloat f = 0;
    sq_getinteger(v, 2, &i);
    sq_getfloat(v, 2, &f);
    unsigned char raw[8];
    switch (code) {
    case 'l':
    case 'i': std::memcpy(raw, &i, 4); break;
    case 's': { int16_t x = int16_t(i); std::memcpy(raw, &x, 2); break; }
    case 'w': { uint16_t x = uint16_t(i); std::memcpy(raw, &x, 2); break; }
    case 'c':
    case 'b': raw[0] = static_cast<unsigned char>(i); break;
    case 'f': std::memcpy(raw, &f, 4); break;
    default: { double x = f; std::memcpy(raw, &x, 8); break; }
    }
    if (self->Write(raw, width) != width) return sq_throwerror(v, "io error");
    return 0;
}

SQInteger stream_seek(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    SQInteger offset, origin = 'b';
    sq_getinteger(v, 2, &offset);
    if (sq_gettop(v) > 2) sq_getinteger(v, 3, &origin);
    SQInteger whence;
    switch (origin) {
    case 'b': whence = SQ_SEEK_SET; break;
    case 'c': whence = SQ_SEEK_CUR; break;
    case 'e': whence = SQ_SEEK_END; break;
    default: return sq_throwerror(v, "invalid origin");
    }
    sq_pushinteger(v, self->Seek(offset, whence));
    return 1;
}

SQInteger stream_tell(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    sq_pushinteger(v, self->Tell());
    return 1;
}

SQInteger stream_len(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    sq_pushinteger(v, self->Len());
    return 1;
}

// eos and flush answer 1 or null, as the original did.
SQInteger stream_eos(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    if (!self->EOS()) return 0;
    sq_pushinteger(v, 1);
    return 1;
}

SQInteger stream_flush(HSQUIRRELVM v)
{
    Stream* self = selfStream(v);
    if (!self) return SQ_ERROR;
    if (self->Flush() != 0) return 0;
    sq_pushinteger(v, 1);
    return 1;
}

const SQRegFunction StreamMethods[] = {
    {"readblob", stream_readblob, 2, "xn"},
    {"readn", stream_readn, 2, "xn"},
    {"writeblob", stream_writeblob, 2, "xx"},
    {"writen", stream_writen, 3, "xnn"},
    {"seek", stream_seek, -2, "xnn"},
    {"tell", stream_tell, 1, "x"},
    {"len", stream_len, 1, "x"},
    {"eos", stream_eos, 1, "x"},
    {"flush", stream_flush, 1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

// Pushes the stream class, creating it on first use.
void pushStreamClass(HSQUIRRELVM v)
{
    if (PushFromRegistry(v, StreamRegistryKey)) return;
    PushNativeClass(v, StreamTypeTag(), StreamMethods, false);
    StoreInRegistry(v, StreamRegistryKey);
}

}  // namespace

SQUserPointer StreamTypeTag()
{
    return const_cast<char*>(&StreamTag);
}

void DeclareStreamClass(HSQUIRRELVM v, const SQChar* name, const SQChar* registryKey, SQUserPointer tag,
                        const SQRegFunction* methods)
{
    sq_pushstring(v, "stream", -1);
    pushStreamClass(v);
    sq_newslot(v, -3, SQFalse);

    sq_pushstring(v, name, -1);
    pushStreamClass(v);
    PushNativeClass(v, tag, methods, true);
    StoreInRegistry(v, registryKey);
    sq_newslot(v, -3, SQFalse);
}

SQRESULT ConstructFromRegistry(HSQUIRRELVM v, const SQChar* registryKey, SQInteger nargs)
{
    SQInteger top = sq_gettop(v);
    if (!PushFromRegistry(v, registryKey)) {
        sq_pop(v, nargs);
        return sq_throwerror(v, "the class is not registered");
    }
    // Stack: args..., class. Call it with the root table as `this` and the args after it.
    sq_pushroottable(v);
    for (SQInteger i = 0; i < nargs; ++i) sq_push(v, top - nargs + 1 + i);
    if (SQ_FAILED(sq_call(v, nargs + 1, SQTrue, SQFalse))) {
        sq_settop(v, top - nargs);
        return SQ_ERROR;
    }
    // Stack: args..., class, instance.
    sq_remove(v, -2);
    for (SQInteger i = 0; i < nargs; ++i) sq_remove(v, -2);
    return SQ_OK;
}

}  // namespace sqstd
