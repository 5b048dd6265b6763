// Math library: the C math functions, abs, rand/srand with the original runtime's generator, PI, RAND_MAX.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

// The range of rand(): that of the 32-bit Windows runtime the scripts were written against.
#define SQSTD_RAND_MAX 32767

// Installs the math functions and constants into the table on the stack top.
SQUIRREL_API SQRESULT sqstd_register_mathlib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
