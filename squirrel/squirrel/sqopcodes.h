// The bytecode: one X-macro list gives the opcode enum and the disassembler names.
#pragma once

#include <cstdint>

// Operands: a0, a2, a3 are 8-bit (registers, flags), a1 is 32-bit (register, literal index,
// jump offset relative to the next instruction, or an immediate). 0xFF as a target means
// "discard the result".
#define SQ_OPCODES(X) \
    X(LINE)        /* a1 line: debug hook line event */ \
    X(LOAD)        /* a0 = literal[a1] */ \
    X(LOADINT)     /* a0 = a1 */ \
    X(LOADFLOAT)   /* a0 = float bits a1 */ \
    X(LOADNULLS)   /* a0 .. a0+a1-1 = null */ \
    X(LOADBOOL)    /* a0 = a1 != 0 */ \
    X(LOADROOT)    /* a0 = root table */ \
    X(MOVE)        /* a0 = a1 */ \
    X(GETK)        /* a0 = a2[literal a1] */ \
    X(GET)         /* a0 = a1[a2] */ \
    X(GETENV)      /* a0 = this[literal a1], falling back to the root table; a2: the node last found */ \
    X(SET)         /* a1[a2] = a3; a0 = a3 */ \
    X(SETK)        /* a2[literal a1] = a3; a0 = a3 */ \
    X(SETENV)      /* this[literal a1] = a2 (root fall-back); a0 = a2 */ \
    X(NEWSLOT)     /* a1[a2] <- a3; a0 = a3 */ \
    X(DELETE)      /* a0 = delete a1[a2] */ \
    X(PREPCALL)    /* a0 = a2[a1 reg], a3 = this for the call */ \
    X(PREPCALLK)   /* a0 = a2[literal a1], a3 = this for the call */ \
    X(CALL)        /* a0 = call a1 with a3 values from a2 */ \
    X(TAILCALL)    \
    X(ADD) X(SUB) X(MUL) X(DIV) X(MOD) /* a0 = a1 op a2 */ \
    /* constant right operand: a0 = a2 op a1, a1 an integer or (a3 & 0x80) float bits */ \
    X(ADDK) X(SUBK) X(MULK) X(DIVK) X(MODK) \
    X(INCL)        /* local a1 += int8 a3; a0 = old value (a2=1) or new */ \
    X(BITW)        /* a0 = a1 op(a3) a2 */ \
    X(BITWK)       /* a0 = a2 op(a3) integer a1 */ \
    X(EQ) X(NE)    /* a0 = a1 == a2 */ \
    X(CMP)         /* a0 = a1 cmp(a3) a2 */ \
    X(CMPK)        /* a0 = a2 cmp(a3 & 0x7F) a1, an integer or (a3 & 0x80) float bits */ \
    X(JCMP)        /* if !(a0 cmp(a3) a2) jump a1 */ \
    X(JCMPK)       /* if !(a0 cmp(a3) literal[a2]) jump a1 */ \
    /* numeric for step: local a0 += a3 >> 3 (signed); if (a0 cmp(a3 & 3) bound) jump a1; */ \
    /* the bound is literal[a2] when a3 & 4, else register a2 */ \
    X(FORLOOP)     \
    X(JMP)         /* jump a1 */ \
    X(JZ)          /* if !a0 jump a1 */ \
    X(JNZ)         /* if a0 jump a1 */ \
    X(NEG) X(NOT) X(BWNOT) /* a0 = op a1 */ \
    X(EXISTS)      /* a0 = a2 in a1 */ \
    X(INSTANCEOF)  /* a0 = a1 instanceof a2 */ \
    X(TYPEOF) X(CLONE) X(GETPARENT) /* a0 = op a1 */ \
    X(DELEGATE)    /* delegate a1 : a2; a0 = a2 */ \
    X(CLOSURE)     /* a0 = closure of function a1, defaults from a2 */ \
    X(LOADFREEVAR) /* a0 = free variable a1 */ \
    X(VARGC)       /* a0 = vargc */ \
    X(GETVARGV)    /* a0 = vargv[a1] */ \
    X(NEWTABLE)    /* a0 = {} sized for a1 */ \
    X(NEWARRAY)    /* a0 = [] reserved for a1 */ \
    X(APPENDARRAY) /* a0.append(a1) */ \
    X(CLASS)       /* a0 = class, base a1 (-1 none), attributes a2 (0xFF none) */ \
    X(NEWMEMBER)   /* class a0: a2 = a3, attributes a1 (-1 none), static if a0's flag */ \
    X(NEWSTATIC)   \
    X(RETURN)      /* return a0 (0xFF: null) */ \
    X(YIELD)       /* yield a0 (0xFF: null); a1 = target of the resume value */ \
    X(RESUME)      /* a0 = resume a1 */ \
    X(FOREACH)     /* a0 container, a2 base of [iter, key, value]; a1 exit jump */ \
    X(POSTFOREACH) /* generators: a0 container, a1 jump when dead */ \
    X(PUSHTRAP)    /* catch target at a1 */ \
    X(POPTRAP)     /* pop a0 traps */ \
    X(THROW)       /* throw a0 */ \
    X(JEQ)         /* jump a1 when (a0 == a2) == (a3 != 0) */ \
    X(JEQK)        /* jump a1 when (a0 == literal[a2]) == (a3 != 0) */ \
    X(JCMPT)       /* if (a0 cmp(a3) a2) jump a1 */ \
    X(JCMPKT)      /* if (a0 cmp(a3) literal[a2]) jump a1 */ \
    /* small integer operand: w = int16 (a2 | a3 << 8) */ \
    X(JCMPI)       /* if !(a0 cmp(w & 3) w >> 2) jump a1 */ \
    X(JCMPIT)      /* if (a0 cmp(w & 3) w >> 2) jump a1 */ \
    X(JEQI)        /* jump a1 when (a0 == w >> 1) == (w & 1) */

enum SQOpcode : uint8_t {
#define SQ_OP_ENUM(name) OP_##name,
    SQ_OPCODES(SQ_OP_ENUM)
#undef SQ_OP_ENUM
    OP_COUNT
};

enum SQBitwOp : uint8_t { BW_AND, BW_OR, BW_XOR, BW_SHIFTL, BW_SHIFTR, BW_USHIFTR };
enum SQCmpOp : uint8_t { CMP_G, CMP_GE, CMP_L, CMP_LE };

struct SQInstruction {
    uint8_t op;
    uint8_t a0;
    uint8_t a2;
    uint8_t a3;
    int32_t a1;
};

constexpr uint8_t SQ_NOREG = 0xFF;

