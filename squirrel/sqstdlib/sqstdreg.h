// Registration helpers shared by the standard libraries.
#pragma once

#include "squirrel.h"

namespace sqstd {

// Adds each native of the NULL-terminated list as a slot of the table or class on the stack top.
void RegisterFunctions(HSQUIRRELVM v, const SQRegFunction* functions);

// Pushes a new class tagged with `tag` and holding the given methods. With hasBase the base class
// must be on the stack top; it is replaced by the new class.
void PushNativeClass(HSQUIRRELVM v, SQUserPointer tag, const SQRegFunction* methods, bool hasBase);

// Looks `key` up in the registry and pushes the value; false (nothing pushed) when it is missing.
bool PushFromRegistry(HSQUIRRELVM v, const SQChar* key);

// Stores the value on the stack top in the registry under `key`; the value stays on the stack.
void StoreInRegistry(HSQUIRRELVM v, const SQChar* key);

}  // namespace sqstd
