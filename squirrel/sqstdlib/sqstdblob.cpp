// Blob library: the byte-buffer class `blob` and the global cast and swap functions.
#include "sqstdblob.h"

#include "sqstdio.h"
#include "sqstdreg.h"
#include "sqstdstream.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

const char BlobTag = 0;  // its address tags the blob class
const SQChar* const BlobRegistryKey = "std_blob";
constexpr SQInteger MaxBlobSize = INT32_MAX;   // sizes and positions are SQInteger

SQUserPointer blobTag()
{
    return const_cast<char*>(&BlobTag);
}

// Capacity (Buf.size()) and length are separate: resize changes the capacity, and the length only
// when it shrinks below it; writing past the length grows both.
class Blob final : public sqstd::Stream {
public:
    explicit Blob(SQInteger size) : Buf(size_t(size), 0), Size(size) {}

    SQInteger Read(void* buffer, SQInteger size) override
    {
        SQInteger n = Size - Pos < size ? Size - Pos : size;
        if (n <= 0) return 0;
        std::memcpy(buffer, Buf.data() + Pos, size_t(n));
        Pos += n;
        return n;
    }
    SQInteger Write(const void* buffer, SQInteger size) override
    {
        if (size <= 0) return 0;
        // A blob written into itself: copy the source first, growing may move the storage.
        const unsigned char* src = static_cast<const unsigned char*>(buffer);
        std::vector<unsigned char> own;
        if (src >= Buf.data() && src < Buf.data() + Buf.size()) {
            own.assign(src, src + size);
            src = own.data();
        }
        if (size > MaxBlobSize - Pos) throw std::length_error("blob too large");
        size_t end = size_t(Pos + size);
        if (end > Buf.size()) Buf.resize(end < size_t(MaxBlobSize) / 2 ? end * 2 : size_t(MaxBlobSize), 0);
        std::memcpy(Buf.data() + Pos, src, size_t(size));
        Pos += size;
        if (Pos > Size) Size = Pos;
        return size;
    }
    SQInteger Flush() override { return 0; }
    SQInteger Tell() override { return Pos; }
    SQInteger Len() override { return Size; }
    SQInteger Seek(SQInteger offset, SQInteger origin) override
    {
        int64_t base = origin == SQ_SEEK_SET ? 0 : origin == SQ_SEEK_CUR ? Pos : Size;
        int64_t target = base + offset;
        if (target < 0 || target > Size) return -1;
        Pos = SQInteger(target);
        return 0;
    }
    bool IsValid() override { return true; }
    bool EOS() override { return Pos >= Size; }

    void Resize(SQInteger n)
    {
        Buf.resize(size_t(n), 0);
        if (Size > n) Size = n;
        if (Pos > n) Pos = n;
    }
    template <class T>
    void SwapUnits()
    {
        for (SQInteger i = 0; i + SQInteger(sizeof(T)) <= Size; i += SQInteger(sizeof(T))) {
            unsigned char* p = Buf.data() + i;
            for (size_t a = 0, b = sizeof(T) - 1; a < b; ++a, --b) std::swap(p[a], p[b]);
        }
    }
    unsigned char* Data() { return Buf.data(); }

private:
    std::vector<unsigned char> Buf;
    SQInteger Size;
    SQInteger Pos = 0;
};

Blob* blobAt(HSQUIRRELVM v, SQInteger idx)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, blobTag())) || !p) return nullptr;
    return static_cast<Blob*>(static_cast<sqstd::Stream*>(p));
}

Blob* selfBlob(HSQUIRRELVM v)
{
    Blob* b = blobAt(v, 1);
    if (!b) sq_throwerror(v, "invalid type tag");
    return b;
}

SQInteger releaseBlob(SQUserPointer p, SQInteger)
{
    delete static_cast<sqstd::Stream*>(p);
    return 1;
}

// Only on a blob instance; one that already holds a buffer (constructor run again) drops it,
// unless it may be shared with the instance it was cloned from.
SQInteger attachBlob(HSQUIRRELVM v, Blob* blob, bool dropOld = true)
{
    SQUserPointer old = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &old, blobTag()))) {
        delete blob;
        return sq_throwerror(v, "invalid type tag");
    }
    if (dropOld) delete static_cast<sqstd::Stream*>(old);
    sq_setinstanceup(v, 1, static_cast<sqstd::Stream*>(blob));
    sq_setreleasehook(v, 1, releaseBlob);
    return 0;
}

SQInteger blob_constructor(HSQUIRRELVM v)
{
    SQInteger size = 0;
    if (sq_gettop(v) > 1) sq_getinteger(v, 2, &size);
    if (size < 0) return sq_throwerror(v, "cannot create blob with negative size");
    return attachBlob(v, new Blob(size));
}

// A clone gets its own copy of the bytes (the original's clone shared nothing and crashed).
SQInteger blob_cloned(HSQUIRRELVM v)
{
    Blob* original = blobAt(v, 2);
    if (!original) return sq_throwerror(v, "invalid type tag");
    return attachBlob(v, new Blob(*original), false);
}

SQInteger blob_resize(HSQUIRRELVM v)
{
    Blob* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    SQInteger size;
    sq_getinteger(v, 2, &size);
    if (size < 0) return sq_throwerror(v, "negative size");
    self->Resize(size);
    return 0;
}

template <class T>
SQInteger blob_swap(HSQUIRRELVM v)
{
    Blob* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    self->SwapUnits<T>();
    return 0;
}

SQInteger blob_set(HSQUIRRELVM v)
{
    Blob* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    SQInteger idx, value;
    sq_getinteger(v, 2, &idx);
    sq_getinteger(v, 3, &value);
    if (idx < 0 || idx >= self->Len()) return sq_throwerror(v, "index out of range");
    self->Data()[idx] = static_cast<unsigned char>(value);
    sq_push(v, 3);
    return 1;
}

SQInteger blob_get(HSQUIRRELVM v)
{
    Blob* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    SQInteger idx;
    sq_getinteger(v, 2, &idx);
    if (idx < 0 || idx >= self->Len()) return sq_throwerror(v, "index out of range");
    sq_pushinteger(v, self->Data()[idx]);
    return 1;
}

SQInteger blob_nexti(HSQUIRRELVM v)
{
    Blob* self = selfBlob(v);
    if (!self) return SQ_ERROR;
    SQInteger next;
    if (sq_gettype(v, 2) == OT_NULL) {
        next = 0;
    } else if (SQ_SUCCEEDED(sq_getinteger(v, 2, &next)) && sq_gettype(v, 2) == OT_INTEGER) {
        ++next;
    } else {
        return sq_throwerror(v, "internal error (_nexti) wrong argument type");
    }
    if (next >= self->Len()) return 0;
    sq_pushinteger(v, next);
    return 1;
}

SQInteger blob_typeof(HSQUIRRELVM v)
{
    sq_pushstring(v, "blob", -1);
    return 1;
}

SQInteger blob_casti2f(HSQUIRRELVM v)
{
    SQInteger i;
    sq_getinteger(v, 2, &i);
    SQFloat f;
    std::memcpy(&f, &i, sizeof f);
    sq_pushfloat(v, f);
    return 1;
}

SQInteger blob_castf2i(HSQUIRRELVM v)
{
    SQFloat f;
    sq_getfloat(v, 2, &f);
    SQInteger i;
    std::memcpy(&i, &f, sizeof i);
    sq_pushinteger(v, i);
    return 1;
}

// Not masked to 16 bits: the low half is sign-extended, shifted up a byte and OR-ed with its high byte.
SQInteger blob_swap2(HSQUIRRELVM v)
{
    SQInteger i;
    sq_getinteger(v, 2, &i);
    int32_t low = int16_t(uint16_t(uint32_t(i) & 0xFFFF));
    uint32_t result = (uint32_t(low) << 8) | ((uint32_t(low) >> 8) & 0xFF);
    sq_pushinteger(v, SQInteger(result));
    return 1;
}

uint32_t swapBytes(uint32_t x)
{
    return (x >> 24) | ((x >> 8) & 0xFF00u) | ((x << 8) & 0xFF0000u) | (x << 24);
}

SQInteger blob_swap4(HSQUIRRELVM v)
{
    SQInteger i;
    sq_getinteger(v, 2, &i);
    sq_pushinteger(v, SQInteger(swapBytes(uint32_t(i))));
    return 1;
}

SQInteger blob_swapfloat(HSQUIRRELVM v)
{
    SQFloat f;
    sq_getfloat(v, 2, &f);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    bits = swapBytes(bits);
    std::memcpy(&f, &bits, 4);
    sq_pushfloat(v, f);
    return 1;
}

const SQRegFunction BlobMethods[] = {
    {"constructor", blob_constructor, -1, "xn"},
    {"resize", blob_resize, 2, "xn"},
    {"swap2", blob_swap<uint16_t>, 1, "x"},
    {"swap4", blob_swap<uint32_t>, 1, "x"},
    {"_set", blob_set, 3, "xnn"},
    {"_get", blob_get, 2, "xn"},
    {"_typeof", blob_typeof, 1, "x"},
    {"_nexti", blob_nexti, 2, "x"},
    {"_cloned", blob_cloned, 2, "xx"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction BlobGlobals[] = {
    {"casti2f", blob_casti2f, 2, ".n"},
    {"castf2i", blob_castf2i, 2, ".n"},
    {"swap2", blob_swap2, 2, ".n"},
    {"swap4", blob_swap4, 2, ".n"},
    {"swapfloat", blob_swapfloat, 2, ".n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

bool sqstd::ResizeBlob(HSQUIRRELVM v, SQInteger idx, SQInteger size)
{
    Blob* b = blobAt(v, idx);
    if (!b) return false;
    b->Resize(size);
    return true;
}

extern "C" {

SQUserPointer sqstd_createblob(HSQUIRRELVM v, SQInteger size)
{
    sq_pushinteger(v, size);
    if (SQ_FAILED(sqstd::ConstructFromRegistry(v, BlobRegistryKey, 1))) return nullptr;
    Blob* b = blobAt(v, -1);
    if (!b) {
        sq_pop(v, 1);
        return nullptr;
    }
    return b->Data();
}

SQRESULT sqstd_getblob(HSQUIRRELVM v, SQInteger idx, SQUserPointer* ptr)
{
    Blob* b = blobAt(v, idx);
    if (!b) return SQ_ERROR;
    *ptr = b->Data();
    return SQ_OK;
}

SQInteger sqstd_getblobsize(HSQUIRRELVM v, SQInteger idx)
{
    Blob* b = blobAt(v, idx);
    return b ? b->Len() : -1;
}

SQRESULT sqstd_register_bloblib(HSQUIRRELVM v)
{
    sqstd::DeclareStreamClass(v, "blob", BlobRegistryKey, blobTag(), BlobMethods);
    sqstd::RegisterFunctions(v, BlobGlobals);
    return SQ_OK;
}

}  // extern "C"
