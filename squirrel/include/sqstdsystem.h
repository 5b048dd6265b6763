// System library: getenv, system, clock, time, date, remove, rename.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

SQUIRREL_API SQInteger sqstd_register_systemlib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
