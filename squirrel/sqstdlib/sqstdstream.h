// The stream base shared by blob and file: the native interface and the script class "stream".
#pragma once

#include "squirrel.h"

namespace sqstd {

// An instance of a stream class holds a Stream* as its user pointer.
class Stream {
public:
    virtual ~Stream() = default;
    virtual SQInteger Read(void* buffer, SQInteger size) = 0;  // bytes read
    virtual SQInteger Write(const void* buffer, SQInteger size) = 0;  // bytes written
    virtual SQInteger Flush() = 0;  // 0 on success
    virtual SQInteger Tell() = 0;
    virtual SQInteger Len() = 0;
    virtual SQInteger Seek(SQInteger offset, SQInteger origin) = 0;  // origin SQ_SEEK_*; 0 on success
    virtual bool IsValid() = 0;
    virtual bool EOS() = 0;
};

SQUserPointer StreamTypeTag();

// Pushes a new class derived from "stream" holding `methods`, makes it the global `name` of the
// table on the stack top, keeps it in the registry under `registryKey` and pops it again. Also
// sets the global "stream".
void DeclareStreamClass(HSQUIRRELVM v, const SQChar* name, const SQChar* registryKey, SQUserPointer tag,
                        const SQRegFunction* methods);

// Creates an instance of the class kept under `registryKey` by calling it with the arguments on
// the stack top (nargs of them, popped); the instance is pushed on success.
SQRESULT ConstructFromRegistry(HSQUIRRELVM v, const SQChar* registryKey, SQInteger nargs);

// Resizes the blob at idx (see blob.resize); false when it is not a blob.
bool ResizeBlob(HSQUIRRELVM v, SQInteger idx, SQInteger size);

}  // namespace sqstd
