// I/O library: the `file` class, stdin/stdout/stderr, dofile, loadfile and writeclosuretofile.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SQ_SEEK_CUR 0
#define SQ_SEEK_END 1
#define SQ_SEEK_SET 2

typedef void* SQFILE;

// Maps a file name given by a script ("scripts\\x.nut") to the path opened on this system. The
// returned text must stay valid until the next call. NULL (the default) uses names unchanged.
// Applies to file(), dofile, loadfile, writeclosuretofile and the sqstd_*file functions below.
typedef const SQChar* (*SQSTDPATHHOOK)(const SQChar* scriptname);
SQUIRREL_API SQSTDPATHHOOK sqstd_pathhook;

// Replaces the file at a mapped path with the bytes given, as a whole; SQFalse when it could not.
// writeclosuretofile saves through it, so a host can make saving safe against full disks and
// crashes. NULL (the default) writes the file directly.
typedef SQBool (*SQSTDSAVEHOOK)(const SQChar* path, const void* data, SQInteger size);
SQUIRREL_API SQSTDSAVEHOOK sqstd_savehook;

// Thin stdio wrappers.
SQUIRREL_API SQFILE sqstd_fopen(const SQChar* path, const SQChar* mode);
SQUIRREL_API SQInteger sqstd_fread(SQUserPointer buffer, SQInteger size, SQInteger count, SQFILE file);
SQUIRREL_API SQInteger sqstd_fwrite(const SQUserPointer buffer, SQInteger size, SQInteger count, SQFILE file);
SQUIRREL_API SQInteger sqstd_fseek(SQFILE file, SQInteger offset, SQInteger origin);
SQUIRREL_API SQInteger sqstd_ftell(SQFILE file);
SQUIRREL_API SQInteger sqstd_fflush(SQFILE file);
SQUIRREL_API SQInteger sqstd_fclose(SQFILE file);
SQUIRREL_API SQInteger sqstd_feof(SQFILE file);

// Pushes a `file` object for an open stdio file; with own it closes the file when collected.
SQUIRREL_API SQRESULT sqstd_createfile(HSQUIRRELVM v, SQFILE file, SQBool own);
SQUIRREL_API SQRESULT sqstd_getfile(HSQUIRRELVM v, SQInteger idx, SQFILE* file);

// Compiles a source or bytecode file and pushes its main closure.
SQUIRREL_API SQRESULT sqstd_loadfile(HSQUIRRELVM v, const SQChar* filename, SQBool printerror);
// Loads and runs a file with the value on the stack top as `this` (which stays); pushes the result
// when retval.
SQUIRREL_API SQRESULT sqstd_dofile(HSQUIRRELVM v, const SQChar* filename, SQBool retval, SQBool printerror);
// Writes the closure on the stack top as bytecode.
SQUIRREL_API SQRESULT sqstd_writeclosuretofile(HSQUIRRELVM v, const SQChar* filename);

SQUIRREL_API SQRESULT sqstd_register_iolib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
