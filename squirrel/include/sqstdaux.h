// Default error reporting: the compiler and runtime error handlers and the call-stack dump.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

// Installs handlers that report compile errors and uncaught runtime errors (with the call stack
// and locals) through the VM's print function.
SQUIRREL_API void sqstd_seterrorhandlers(HSQUIRRELVM v);
// Prints the call stack and the locals of the innermost levels through the current print function.
SQUIRREL_API void sqstd_printcallstack(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
