// I/O library: the file class, the standard streams, and loading, running and writing script files.
#include "sqstdio.h"

#include "sqstdreg.h"
#include "sqstdstream.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/stat.h>

SQSTDPATHHOOK sqstd_pathhook = nullptr;
SQSTDSAVEHOOK sqstd_savehook = nullptr;

namespace {

const char FileTag = 0;  // its address tags the file class
const SQChar* const FileRegistryKey = "std_file";

SQUserPointer fileTag()
{
    return const_cast<char*>(&FileTag);
}

std::string mapPath(const SQChar* name)
{
    if (!sqstd_pathhook) return name;
    const SQChar* mapped = sqstd_pathhook(name);
    return mapped ? mapped : name;
}

int stdioOrigin(SQInteger origin)
{
    switch (origin) {
    case SQ_SEEK_CUR: return SEEK_CUR;
    case SQ_SEEK_END: return SEEK_END;
    default: return SEEK_SET;
    }
}

class File final : public sqstd::Stream {
public:
    File(FILE* f, bool owns) : F(f), Owns(owns) {}
    ~File() override
    {
        if (F && Owns) std::fclose(F);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    SQInteger Read(void* buffer, SQInteger size) override { return SQInteger(std::fread(buffer, 1, size_t(size), F)); }
    SQInteger Write(const void* buffer, SQInteger size) override
    {
        return SQInteger(std::fwrite(buffer, 1, size_t(size), F));
    }
    SQInteger Flush() override { return std::fflush(F); }
    SQInteger Tell() override { return SQInteger(std::ftell(F)); }
    SQInteger Len() override
    {
        long here = std::ftell(F);
        std::fseek(F, 0, SEEK_END);
        long size = std::ftell(F);
        std::fseek(F, here, SEEK_SET);
        return SQInteger(size);
    }
    SQInteger Seek(SQInteger offset, SQInteger origin) override
    {
        return std::fseek(F, offset, stdioOrigin(origin));
    }
    bool IsValid() override { return F != nullptr; }
    bool EOS() override { return std::feof(F) != 0; }
    FILE* Handle() const { return F; }

private:
    FILE* F;
    bool Owns;
};

SQInteger releaseFile(SQUserPointer p, SQInteger)
{
    delete static_cast<sqstd::Stream*>(p);
    return 1;
}

SQInteger file_constructor(HSQUIRRELVM v)
{
    // Only on a file instance; run again, it first closes the file it held.
    SQUserPointer old = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &old, fileTag()))) return sq_throwerror(v, "invalid type tag");
    FILE* fp = nullptr;
    bool owns = true;
    if (sq_gettype(v, 2) == OT_STRING) {
        const SQChar* name;
        const SQChar* mode;
        sq_getstring(v, 2, &name);
        if (SQ_FAILED(sq_getstring(v, 3, &mode))) return sq_throwerror(v, "invalid parameter");
        fp = static_cast<FILE*>(sqstd_fopen(mapPath(name).c_str(), mode));
        if (!fp) return sq_throwerror(v, "cannot open file");
    } else if (sq_gettype(v, 2) == OT_USERPOINTER) {
        SQUserPointer up = nullptr;
        SQBool own = SQFalse;
        sq_getuserpointer(v, 2, &up);
        if (SQ_FAILED(sq_getbool(v, 3, &own))) return sq_throwerror(v, "invalid parameter");
        fp = static_cast<FILE*>(up);
        owns = own != SQFalse;
    } else {
        return sq_throwerror(v, "wrong parameter");
    }
    delete static_cast<sqstd::Stream*>(old);
    sq_setinstanceup(v, 1, static_cast<sqstd::Stream*>(new File(fp, owns)));
    sq_setreleasehook(v, 1, releaseFile);
    return 0;
}

SQInteger file_typeof(HSQUIRRELVM v)
{
    sq_pushstring(v, "file", -1);
    return 1;
}

// Readers handed to the compiler: one byte or code point per call, 0 at the end.
SQInteger readRawByte(SQUserPointer up)
{
    int c = std::fgetc(static_cast<FILE*>(up));
    return c == EOF ? 0 : c;
}

// UTF-8 decodes to code points; the lexer rejects those above 255. A bad lead byte ends the text.
SQInteger readUtf8(SQUserPointer up)
{
    FILE* f = static_cast<FILE*>(up);
    int c = std::fgetc(f);
    if (c == EOF) return 0;
    if (c < 0x80) return c;
    int extra;
    SQInteger cp;
    if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; }
    else return 0;
    while (extra-- > 0) {
        int n = std::fgetc(f);
        if (n == EOF) return 0;
        cp = (cp << 6) | (n & 0x3F);
    }
    return cp;
}

// UCS-2 units are cut to their low byte (8-bit strings).
SQInteger readUcs2(FILE* f, bool bigEndian)
{
    int a = std::fgetc(f);
    int b = std::fgetc(f);
    if (a == EOF || b == EOF) return 0;
    return bigEndian ? b : a;
}

SQInteger readUcs2Le(SQUserPointer up)
{
    return readUcs2(static_cast<FILE*>(up), false);
}

SQInteger readUcs2Be(SQUserPointer up)
{
    return readUcs2(static_cast<FILE*>(up), true);
}

SQInteger appendBytes(SQUserPointer up, SQUserPointer buffer, SQInteger size)
{
    static_cast<std::string*>(up)->append(static_cast<const char*>(buffer), size_t(size));
    return size;
}

// The error text, or null when the file holds the bytes.
const SQChar* writeWholeFile(const std::string& path, const std::string& bytes)
{
    if (sqstd_savehook)
        return sqstd_savehook(path.c_str(), bytes.data(), SQInteger(bytes.size())) ? nullptr : "io error";
    // Without the host's saver: a temporary name first, so a failed write
    // never leaves a cut file behind.
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return "cannot open the file";
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    written = std::fclose(f) == 0 && written && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!written) std::remove(temp.c_str());
    return written ? nullptr : "io error";
}

struct FileCloser {
    FILE* F;
    ~FileCloser() { std::fclose(F); }
};

// The bytes read to pick the reader come back first: a pipe cannot be rewound.
struct PeekedFile {
    FILE* F;
    unsigned char Head[2];
    size_t Count, Pos;
};

SQInteger readPeekedByte(SQUserPointer up)
{
    PeekedFile* p = static_cast<PeekedFile*>(up);
    if (p->Pos < p->Count) return p->Head[p->Pos++];
    return readRawByte(p->F);
}

SQInteger readPeekedBytes(SQUserPointer up, SQUserPointer buffer, SQInteger size)
{
    PeekedFile* p = static_cast<PeekedFile*>(up);
    unsigned char* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < size_t(size) && p->Pos < p->Count) out[done++] = p->Head[p->Pos++];
    if (done < size_t(size)) done += std::fread(out + done, 1, size_t(size) - done, p->F);
    return done ? SQInteger(done) : -1;
}

// Picks the reader from the first bytes: bytecode tag, UTF-8 or UCS-2 marks, else raw bytes.
SQRESULT compileOpenFile(HSQUIRRELVM v, FILE* f, const SQChar* sourceName, SQBool printerror)
{
    PeekedFile peeked{f, {0, 0}, 0, 0};
    peeked.Count = std::fread(peeked.Head, 1, 2, f);
    if (peeked.Count != 2) return sq_compile(v, readPeekedByte, &peeked, sourceName, printerror);
    unsigned tag = peeked.Head[0] | (peeked.Head[1] << 8);
    switch (tag) {
    case SQ_BYTECODE_STREAM_TAG: return sq_readclosure(v, readPeekedBytes, &peeked);
    case 0xFEFF: return sq_compile(v, readUcs2Le, f, sourceName, printerror);
    case 0xFFFE: return sq_compile(v, readUcs2Be, f, sourceName, printerror);
    case 0xBBEF: {
        int third = std::fgetc(f);
        if (third == EOF) return sq_throwerror(v, "io error");
        if (third != 0xBF) return sq_throwerror(v, "Unrecognozed ecoding");
        return sq_compile(v, readUtf8, f, sourceName, printerror);
    }
    default: return sq_compile(v, readPeekedByte, &peeked, sourceName, printerror);
    }
}

SQInteger io_loadfile(HSQUIRRELVM v)
{
    const SQChar* filename;
    SQBool printerror = SQFalse;
    sq_getstring(v, 2, &filename);
    if (sq_gettop(v) >= 3) sq_getbool(v, 3, &printerror);
    if (SQ_FAILED(sqstd_loadfile(v, filename, printerror))) return SQ_ERROR;
    return 1;
}

SQInteger io_dofile(HSQUIRRELVM v)
{
    const SQChar* filename;
    SQBool printerror = SQFalse;
    sq_getstring(v, 2, &filename);
    if (sq_gettop(v) >= 3) sq_getbool(v, 3, &printerror);
    sq_push(v, 1);  // this
    if (SQ_FAILED(sqstd_dofile(v, filename, SQTrue, printerror))) return SQ_ERROR;
    return 1;
}

// Returns the closure it wrote.
SQInteger io_writeclosuretofile(HSQUIRRELVM v)
{
    const SQChar* filename;
    sq_getstring(v, 2, &filename);
    if (SQ_FAILED(sqstd_writeclosuretofile(v, filename))) return SQ_ERROR;
    return 1;
}

const SQRegFunction FileMethods[] = {
    {"constructor", file_constructor, 3, "xs|ps|b"},
    {"_typeof", file_typeof, 1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction IoFunctions[] = {
    {"dofile", io_dofile, -2, ".sb"},
    {"loadfile", io_loadfile, -2, ".sb"},
    {"writeclosuretofile", io_writeclosuretofile, 3, ".sc"},
    {nullptr, nullptr, 0, nullptr},
};

void addStandardFile(HSQUIRRELVM v, const SQChar* name, FILE* f)
{
    sq_pushstring(v, name, -1);
    if (SQ_SUCCEEDED(sqstd_createfile(v, f, SQFalse))) sq_newslot(v, -3, SQFalse);
    else sq_pop(v, 1);
}

}  // namespace

extern "C" {

SQFILE sqstd_fopen(const SQChar* path, const SQChar* mode)
{
    // A directory opens on Linux but only fails later on reading; refuse it here, like the Windows runtime.
    FILE* f = std::fopen(path, mode);
    struct stat info;
    if (f && fstat(fileno(f), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

SQInteger sqstd_fread(SQUserPointer buffer, SQInteger size, SQInteger count, SQFILE file)
{
    return SQInteger(std::fread(buffer, size_t(size), size_t(count), static_cast<FILE*>(file)));
}

SQInteger sqstd_fwrite(const SQUserPointer buffer, SQInteger size, SQInteger count, SQFILE file)
{
    return SQInteger(std::fwrite(buffer, size_t(size), size_t(count), static_cast<FILE*>(file)));
}

SQInteger sqstd_fseek(SQFILE file, SQInteger offset, SQInteger origin)
{
    return std::fseek(static_cast<FILE*>(file), offset, stdioOrigin(origin));
}

SQInteger sqstd_ftell(SQFILE file)
{
    return SQInteger(std::ftell(static_cast<FILE*>(file)));
}

SQInteger sqstd_fflush(SQFILE file)
{
    return std::fflush(static_cast<FILE*>(file));
}

SQInteger sqstd_fclose(SQFILE file)
{
    return std::fclose(static_cast<FILE*>(file));
}

SQInteger sqstd_feof(SQFILE file)
{
    return std::feof(static_cast<FILE*>(file));
}

SQRESULT sqstd_createfile(HSQUIRRELVM v, SQFILE file, SQBool own)
{
    sq_pushuserpointer(v, file);
    sq_pushbool(v, own);
    return sqstd::ConstructFromRegistry(v, FileRegistryKey, 2);
}

SQRESULT sqstd_getfile(HSQUIRRELVM v, SQInteger idx, SQFILE* file)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, fileTag())) || !p)
        return sq_throwerror(v, "not a file");
    *file = static_cast<File*>(static_cast<sqstd::Stream*>(p))->Handle();
    return SQ_OK;
}

SQRESULT sqstd_loadfile(HSQUIRRELVM v, const SQChar* filename, SQBool printerror)
{
    FILE* f = static_cast<FILE*>(sqstd_fopen(mapPath(filename).c_str(), "rb"));
    if (!f) return sq_throwerror(v, "cannot open the file");
    FileCloser closer{f};
    return compileOpenFile(v, f, filename, printerror);
}

SQRESULT sqstd_dofile(HSQUIRRELVM v, const SQChar* filename, SQBool retval, SQBool printerror)
{
    if (SQ_FAILED(sqstd_loadfile(v, filename, printerror))) return SQ_ERROR;
    sq_push(v, -2);  // this
    if (SQ_FAILED(sq_call(v, 1, retval, SQTrue))) {
        sq_pop(v, 1);  // the closure
        return SQ_ERROR;
    }
    sq_remove(v, retval ? -2 : -1);  // the closure
    return SQ_OK;
}

// The whole closure is built in memory first, so nothing reaches the file unless it is complete.
SQRESULT sqstd_writeclosuretofile(HSQUIRRELVM v, const SQChar* filename)
{
    std::string bytes;
    if (SQ_FAILED(sq_writeclosure(v, appendBytes, &bytes))) return SQ_ERROR;
    if (const SQChar* error = writeWholeFile(mapPath(filename), bytes)) return sq_throwerror(v, error);
    return SQ_OK;
}

SQRESULT sqstd_register_iolib(HSQUIRRELVM v)
{
    sqstd::DeclareStreamClass(v, "file", FileRegistryKey, fileTag(), FileMethods);
    sqstd::RegisterFunctions(v, IoFunctions);
    addStandardFile(v, "stdout", stdout);
    addStandardFile(v, "stdin", stdin);
    addStandardFile(v, "stderr", stderr);
    return SQ_OK;
}

}  // extern "C"
