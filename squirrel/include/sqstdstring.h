// String library (format, strip family, split, regexp) and the C regular-expression interface.
#pragma once

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SQRex SQRex;

typedef struct {
    const SQChar* begin;
    SQInteger len;
} SQRexMatch;

// Compiles a pattern. On failure returns NULL and points *error (when given) at a static message.
SQUIRREL_API SQRex* sqstd_rex_compile(const SQChar* pattern, const SQChar** error);
SQUIRREL_API void sqstd_rex_free(SQRex* exp);
// True when the whole NUL-terminated text matches.
SQUIRREL_API SQBool sqstd_rex_match(SQRex* exp, const SQChar* text);
// First match in the NUL-terminated text; out_end is one past the match. Either out pointer may be NULL.
SQUIRREL_API SQBool sqstd_rex_search(SQRex* exp, const SQChar* text, const SQChar** out_begin,
                                     const SQChar** out_end);
// As sqstd_rex_search on the bytes [text_begin, text_end).
SQUIRREL_API SQBool sqstd_rex_searchrange(SQRex* exp, const SQChar* text_begin, const SQChar* text_end,
                                          const SQChar** out_begin, const SQChar** out_end);
// Number of sub-expressions, the whole match included.
SQUIRREL_API SQInteger sqstd_rex_getsubexpcount(SQRex* exp);
// Sub-expression n (0 = whole match) of the last successful match; false when n is out of range.
SQUIRREL_API SQBool sqstd_rex_getsubexp(SQRex* exp, SQInteger n, SQRexMatch* subexp);

// Installs format, strip, lstrip, rstrip, split and the regexp class into the table on the stack top.
SQUIRREL_API SQRESULT sqstd_register_stringlib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif
