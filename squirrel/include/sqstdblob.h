// Blob library: the growable byte buffer class `blob` and the cast/swap globals.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

// Pushes a new zero-filled blob of `size` bytes and returns its buffer (NULL on failure, nothing pushed).
SQUIRREL_API SQUserPointer sqstd_createblob(HSQUIRRELVM v, SQInteger size);
// The buffer of the blob at idx.
SQUIRREL_API SQRESULT sqstd_getblob(HSQUIRRELVM v, SQInteger idx, SQUserPointer* ptr);
// The length of the blob at idx, or -1 when it is not a blob.
SQUIRREL_API SQInteger sqstd_getblobsize(HSQUIRRELVM v, SQInteger idx);

// Installs blob, casti2f, castf2i, swap2, swap4 and swapfloat into the table on the stack top.
SQUIRREL_API SQRESULT sqstd_register_bloblib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
