// One-pass compiler: recursive descent over the 2.2 grammar straight to register bytecode.
#include "sqfuncstate.h"
#include "sqmessages.h"
#include "sqlexer.h"
#include "sqvm.h"

#include <cstring>
#include <exception>
#include <new>
#include <utility>
#include <vector>

namespace {

enum ExpKind {
    E_VOID,
    E_REG,       // value in reg (a temp when reg >= active locals)
    E_CONST,     // value of a const/enum in reg: read-only
    E_LOCAL,     // local variable reg
    E_OUTER,     // free variable reg: read-only
    E_FIELD,     // obj[key] with key in a register
    E_FIELDK,    // obj[literal]
    E_ENV,       // unqualified name: this[literal], root fall-back
    E_VARGV,     // vargv[key]
    E_JUMP,      // ||/&& chain: jumps taken when true or false, else the last operand in reg decides
};

struct Exp {
    ExpKind k = E_VOID;
    SQInteger reg = 0;   // value / object register
    SQInteger key = 0;   // key register or literal index
    std::vector<SQInteger> tj, fj;   // E_JUMP: pcs of the jumps taken when true / false; else empty

    // The chain is resolved: its jumps are patched, and none may be patched again by an
    // enclosing chain that this value is an operand of.
    void Resolved()
    {
        k = E_REG;
        tj.clear();
        fj.clear();
    }
};

struct ConstValue {
    bool found = false;
    SQObjectPtr value;
};

class SQCompiler {
public:
    SQCompiler(SQVM* vm, SQLEXREADFUNC rg, SQUserPointer up, const char* sourcename, bool lineinfo)
        : _vm(vm), _lex(rg, up), _sourcename(sourcename ? sourcename : "unknown"), _lineinfo(lineinfo) {}

    bool Compile(SQObjectPtr& out, std::string& err, SQInteger& line, SQInteger& column);

private:
    // ---- tokens
    void Lex() { _prevWasBrace = (_token == '}'); _token = _lex.Lex(); }
    [[noreturn]] void Error(const std::string& msg) { throw SQCompileError{msg}; }
    [[noreturn]] void ErrorExpected(SQInteger tok);
    void Expect(SQInteger tok) { if (_token != tok) ErrorExpected(tok); Lex(); }
    std::string ExpectIdentifier();
    bool IsEndOfStatement() const { return _lex._newlineBefore || _token == TK_EOF || _token == '}' || _token == ';'; }
    void OptionalSemicolon();

    // ---- registers and expressions
    SQFuncState& fs() { return *_fs; }
    void FreeExp(const Exp& e);
    SQInteger ToAnyReg(Exp& e);
    void ToNextReg(Exp& e);
    void ToReg(Exp& e, SQInteger r);
    void MoveInto(Exp& e, SQInteger r);
    void LoadInto(Exp& e, SQInteger r);
    SQInteger NewTempFromResult(uint8_t op, SQInteger a1, SQInteger a2, SQInteger a3, const Exp* ops[], int nops);
    void EmitLoadObject(SQInteger r, const SQObject& o);
    void RetargetOrMove(SQInteger target, SQInteger tmp);

    // ---- expressions by precedence
    void CommaExpression(Exp& e);
    void Expression(Exp& e);
    void Assignment(Exp& lhs, SQInteger op);
    SQInteger CompoundValue(uint8_t arith, const Exp& target, SQInteger keyReg, Exp& rhs);
    void LogicalOr(Exp& e, SQInteger t);
    void LogicalAnd(Exp& e, SQInteger t);
    void ChainValue(Exp& e, SQInteger t);
    void InOrInstanceOf(Exp& e);
    void BitwiseOr(Exp& e);
    void BitwiseXor(Exp& e);
    void BitwiseAnd(Exp& e);
    void Compare(Exp& e);
    void Shift(Exp& e);
    void Plus(Exp& e);
    void Mult(Exp& e);
    void Unary(Exp& e);
    void Postfix(Exp& e);
    void PostfixTail(Exp& e);
    void Factor(Exp& e);
    void BinaryOp(Exp& e, uint8_t op, SQInteger a3, void (SQCompiler::*next)(Exp&));
    bool TakeConstant(Exp& e, bool allowFloat, int32_t& bits, bool& isFloat);
    void IncDec(Exp& e, SQInteger delta, bool postfix);
    void Call(Exp& e);
    void Identifier(Exp& e, const std::string& name);
    ConstValue FindConst(const std::string& name);
    void TableLiteral(Exp& e, SQInteger closeTok);
    void ArrayLiteral(Exp& e);
    void FunctionExp(Exp& e, const std::string& name);
    void ClassExp(Exp& e);
    void ParseConstScalar(SQObjectPtr& out);

    // ---- statements
    void Statement();
    void Block();
    void LocalDeclaration();
    void IfStatement();
    void WhileStatement();
    void DoWhileStatement();
    void ForStatement();
    void ForEachStatement();
    void SwitchStatement();
    void TryStatement();
    void FunctionStatement();
    void ClassStatement();
    void ConstStatement();
    void EnumStatement();
    void ReturnStatement();
    void BreakContinue(bool isBreak);
    void LoopBody(bool isSwitch);
    void EndLoop(SQInteger continueTarget, SQInteger breakTarget);
    bool ComparisonJustMade(const Exp& e);
    SQInteger TestJump(Exp& e, bool sense);
    void JumpIf(Exp& e, bool sense, std::vector<SQInteger>& jumps, SQInteger t = -1);
    void PatchJumpsHere(const std::vector<SQInteger>& jumps);
    SQInteger NumberLiteral(int32_t bits, bool isFloat);
    SQInteger ConstantLiteral(const SQInstruction& ld);
    SQInteger EqualityJump(bool sense);
    void LineInfo() { fs().AddLineInfo(_lex._lasttokenline, _lineinfo); }

    SQVM* _vm;
    SQLexer _lex;
    std::string _sourcename;
    bool _lineinfo;
    SQInteger _token = 0;
    bool _prevWasBrace = false;
    SQFuncState* _fs = nullptr;
    int _depth = 0;
    bool _condNext = false;   // the next Expression is the condition of a statement
    static constexpr int kMaxNesting = 400;
};

// The operation's form with a constant right operand, or 0.
uint8_t constantForm(uint8_t op)
{
    switch (op) {
    case OP_ADD: return OP_ADDK;
    case OP_SUB: return OP_SUBK;
    case OP_MUL: return OP_MULK;
    case OP_DIV: return OP_DIVK;
    case OP_MOD: return OP_MODK;
    case OP_BITW: return OP_BITWK;
    case OP_CMP: return OP_CMPK;
    default: return 0;
    }
}

// The 16-bit word of a compare-and-jump with a small integer operand, kept in a2 and a3.
void SetImmediate(SQInstruction& i, SQInteger w)
{
    i.a2 = static_cast<uint8_t>(w & 0xFF);
    i.a3 = static_cast<uint8_t>((w >> 8) & 0xFF);
}

bool isAssignOp(SQInteger t)
{
    return t == '=' || t == TK_NEWSLOT || t == TK_PLUSEQ || t == TK_MINUSEQ || t == TK_MULEQ || t == TK_DIVEQ || t == TK_MODEQ;
}

void SQCompiler::ErrorExpected(SQInteger tok)
{
    if (tok == TK_IDENTIFIER) Error(sqmsg::ExpectedIdentifier);
    if (tok == TK_STRING_LITERAL) Error(sqmsg::ExpectedStringLiteral);
    if (tok == TK_INTEGER) Error(sqmsg::ExpectedInteger);
    if (tok == TK_FLOAT) Error(sqmsg::ExpectedFloat);
    if (const char* kw = SQLexer::KeywordName(tok)) Error(std::string("expected '") + kw + "'");
    if (tok < 256) Error(std::string("expected '") + static_cast<char>(tok) + "'");
    Error(sqmsg::ExpressionExpected);
}

std::string SQCompiler::ExpectIdentifier()
{
    if (_token != TK_IDENTIFIER && _token != TK_CONSTRUCTOR) ErrorExpected(TK_IDENTIFIER);
    std::string name = _token == TK_CONSTRUCTOR ? "constructor" : _lex._svalue;
    Lex();
    return name;
}

void SQCompiler::OptionalSemicolon()
{
    if (_token == ';') { Lex(); return; }
    if (!IsEndOfStatement() && !_prevWasBrace) Error(sqmsg::EndOfStatementExpectedOrLf);
}

bool SQCompiler::Compile(SQObjectPtr& out, std::string& err, SQInteger& line, SQInteger& column)
{
    SQFuncState mainfs(_vm->SS(), nullptr);
    _fs = &mainfs;
    try {
        mainfs._proto->_name = _vm->Str("main");
        mainfs._proto->_sourcename = _vm->Str(_sourcename.c_str());
        SQObjectPtr thisName(_vm->Str("this"));
        mainfs.PushLocal(thisName);
        mainfs._proto->_parameters.push_back(thisName);
        _lex.Begin();
        Lex();
        while (_token != TK_EOF) {
            Statement();
        }
        fs().AddLineInfo(_lex._currentline, false);
        fs().Emit(OP_RETURN, SQ_NOREG);
        fs().Finish(_lex._currentline);
        out = mainfs._protoHolder;
        return true;
    } catch (const SQCompileError& e) {
        err = e.message;
        line = _lex._currentline;
        column = _lex._currentcolumn;
        return false;
    }
}

// ---------------------------------------------------------------- registers

void SQCompiler::FreeExp(const Exp& e)
{
    switch (e.k) {
    case E_REG: case E_CONST: fs().FreeReg(e.reg); break;
    case E_FIELD: fs().FreeReg(e.key); fs().FreeReg(e.reg); break;
    case E_FIELDK: fs().FreeReg(e.reg); break;
    case E_VARGV: fs().FreeReg(e.key); break;
    default: break;
    }
}

// Emits the code that puts e's value into r; e's own registers must be freed already.
void SQCompiler::LoadInto(Exp& e, SQInteger r)
{
    switch (e.k) {
    case E_VOID: fs().Emit(OP_LOADNULLS, r, 1); break;
    case E_REG: case E_CONST: case E_LOCAL: case E_OUTER: case E_JUMP:   // a chain is tested or made a value first
        if (e.reg != r) fs().Emit(OP_MOVE, r, e.reg);
        break;
    case E_FIELD: fs().Emit(OP_GET, r, e.reg, e.key); break;
    case E_FIELDK: fs().Emit(OP_GETK, r, e.key, e.reg); break;
    case E_ENV: fs().Emit(OP_GETENV, r, e.key); break;
    case E_VARGV: fs().Emit(OP_GETVARGV, r, e.key); break;
    }
}

SQInteger SQCompiler::ToAnyReg(Exp& e)
{
    if (e.k == E_LOCAL || e.k == E_OUTER || e.k == E_REG || e.k == E_CONST) return e.reg;
    ToNextReg(e);
    return e.reg;
}

void SQCompiler::ToNextReg(Exp& e)
{
    if ((e.k == E_REG || e.k == E_CONST) && fs().IsTemp(e.reg) && e.reg == fs()._freereg - 1) {
        e.k = E_REG;
        return;
    }
    FreeExp(e);
    SQInteger r = fs().AllocReg();
    LoadInto(e, r);
    e.k = E_REG;
    e.reg = r;
}

// Like ToReg, but a value just computed into a temp is written to r directly.
void SQCompiler::MoveInto(Exp& e, SQInteger r)
{
    if (e.k == E_REG && fs().IsTemp(e.reg) && e.reg != r) {
        FreeExp(e);
        RetargetOrMove(r, e.reg);
        return;
    }
    ToReg(e, r);
}

void SQCompiler::ToReg(Exp& e, SQInteger r)
{
    FreeExp(e);
    LoadInto(e, r);
}

void SQCompiler::EmitLoadObject(SQInteger r, const SQObject& o)
{
    if (sqtype(o) == OT_INTEGER) fs().Emit(OP_LOADINT, r, _integer(o));
    else if (sqtype(o) == OT_FLOAT) {
        int32_t bits;
        SQFloat f = _float(o);
        memcpy(&bits, &f, sizeof bits);
        fs().Emit(OP_LOADFLOAT, r, bits);
    } else if (sqtype(o) == OT_BOOL) fs().Emit(OP_LOADBOOL, r, _integer(o));
    else if (sqtype(o) == OT_NULL) fs().Emit(OP_LOADNULLS, r, 1);
    else fs().Emit(OP_LOAD, r, fs().Literal(o));
}

// Moves the value just computed into temp `tmp` to `target`, rewriting the producing
// instruction when nothing jumps between them.
void SQCompiler::RetargetOrMove(SQInteger target, SQInteger tmp)
{
    SQFuncState& f = fs();
    if (f.Pc() > 0 && f._lastjumptarget != f.Pc()) {
        SQInstruction& last = f.At(f.Pc() - 1);
        switch (last.op) {
        case OP_LOAD: case OP_LOADINT: case OP_LOADFLOAT: case OP_LOADBOOL: case OP_MOVE: case OP_GET:
        case OP_GETK: case OP_GETENV: case OP_ADD: case OP_SUB: case OP_MUL: case OP_DIV: case OP_MOD:
        case OP_BITW: case OP_EQ: case OP_NE: case OP_CMP: case OP_NEG: case OP_NOT: case OP_BWNOT:
        case OP_TYPEOF: case OP_CLONE: case OP_CALL: case OP_CLOSURE: case OP_VARGC: case OP_GETVARGV:
        case OP_EXISTS: case OP_INSTANCEOF: case OP_GETPARENT: case OP_LOADROOT: case OP_RESUME: case OP_ADDK:
        case OP_SUBK: case OP_MULK: case OP_DIVK: case OP_MODK: case OP_BITWK: case OP_CMPK:
            if (last.a0 == tmp && !((last.op == OP_MOVE || last.op == OP_GETENV) && last.a3)) {
                last.a0 = static_cast<uint8_t>(target);
                return;
            }
            break;
        default: break;
        }
    }
    f.Emit(OP_MOVE, target, tmp);
}

// ---------------------------------------------------------------- expressions

void SQCompiler::CommaExpression(Exp& e)
{
    Expression(e);
    while (_token == ',') {
        Lex();
        if (e.k == E_JUMP) {   // value unused: every way out of the chain goes on here
            PatchJumpsHere(e.tj);
            PatchJumpsHere(e.fj);
            e.Resolved();
        }
        FreeExp(e);
        if (e.k != E_REG) { /* value unused */ }
        Expression(e);
    }
}

void SQCompiler::Expression(Exp& e)
{
    // nesting is bounded so malformed input cannot exhaust the host's stack
    if (++_depth > kMaxNesting) Error(sqmsg::ExpressionTooComplex);
    struct Leave { int& d; ~Leave() { --d; } } leave{_depth};
    const bool cond = _condNext;
    _condNext = false;
    const SQInteger t = cond ? -1 : fs()._freereg;
    LogicalOr(e, t);
    if (e.k == E_JUMP && _token != '?' && !cond) ChainValue(e, t);
    if (_token == '?') {
        Lex();
        std::vector<SQInteger> jz;
        JumpIf(e, false, jz);
        SQInteger target = fs().AllocReg();
        Exp t;
        Expression(t);
        MoveInto(t, target);
        SQInteger jmp = fs().Emit(OP_JMP, 0, 0);
        PatchJumpsHere(jz);
        Expect(':');
        Exp f;
        Expression(f);
        MoveInto(f, target);
        fs().PatchJumpHere(jmp);
        e.k = E_REG;
        e.reg = target;
        return;
    }
    if (isAssignOp(_token)) {
        SQInteger op = _token;
        Lex();
        Assignment(e, op);
    }
}

void SQCompiler::Assignment(Exp& lhs, SQInteger op)
{
    switch (lhs.k) {
    case E_OUTER: case E_CONST:
        if (op == '=' || op == TK_NEWSLOT) Error(sqmsg::FreeVariablesCannotBeModified);
        break;
    case E_LOCAL:
        if (op == TK_NEWSLOT) Error(sqmsg::CanTCreateALocalSlot);
        break;
    case E_FIELD: case E_FIELDK: case E_ENV: break;
    case E_VARGV: Error(sqmsg::CanTAssignExpression);
    default: Error(sqmsg::CanTAssignExpression);
    }
    uint8_t arith = 0;
    switch (op) {
    case TK_PLUSEQ: arith = OP_ADD; break;
    case TK_MINUSEQ: arith = OP_SUB; break;
    case TK_MULEQ: arith = OP_MUL; break;
    case TK_DIVEQ: arith = OP_DIV; break;
    case TK_MODEQ: arith = OP_MOD; break;
    default: break;
    }
    if (lhs.k == E_LOCAL || lhs.k == E_OUTER || lhs.k == E_CONST) {
        Exp rhs;
        Expression(rhs);
        if (arith) {
            int32_t bits;
            bool isFloat;
            const bool k = TakeConstant(rhs, true, bits, isFloat);
            SQInteger r = k ? 0 : ToAnyReg(rhs);
            FreeExp(rhs);
            SQInteger d = lhs.reg;
            if (lhs.k != E_LOCAL) {
                d = fs().AllocReg();
                lhs.k = E_REG;
            }
            if (k) fs().Emit(constantForm(arith), d, bits, lhs.reg, isFloat ? 0x80 : 0);
            else fs().Emit(arith, d, lhs.reg, r);
            lhs.reg = d;
            return;
        }
        if (rhs.k == E_REG && fs().IsTemp(rhs.reg)) {
            FreeExp(rhs);
            RetargetOrMove(lhs.reg, rhs.reg);
        } else {
            ToReg(rhs, lhs.reg);
        }
        return;
    }
    if (lhs.k == E_ENV && op == TK_NEWSLOT) {   // `name <- v` creates the slot in this
        lhs.k = E_FIELDK;
        lhs.reg = 0;
    }
    if (lhs.k == E_ENV) {
        Exp rhs;
        Expression(rhs);
        SQInteger val = CompoundValue(arith, lhs, -1, rhs);
        FreeExp(rhs);
        SQInteger dst = fs().AllocReg();
        fs().Emit(OP_SETENV, dst, lhs.key, val);
        lhs.k = E_REG;
        lhs.reg = dst;
        return;
    }
    // slots: obj and key in registers, then the value
    SQInteger objReg = lhs.reg;
    if (lhs.k == E_FIELDK && op != TK_NEWSLOT) {
        Exp rhs;
        Expression(rhs);
        SQInteger val = CompoundValue(arith, lhs, -1, rhs);
        FreeExp(rhs);
        fs().FreeReg(objReg);
        SQInteger dst = fs().AllocReg();
        fs().Emit(OP_SETK, dst, lhs.key, objReg, val);
        lhs.k = E_REG;
        lhs.reg = dst;
        return;
    }
    // a local used as the key is read when the store runs, after the value, like the object
    SQInteger keyReg = lhs.key;
    if (lhs.k == E_FIELDK) {
        keyReg = fs().AllocReg();
        fs().Emit(OP_LOAD, keyReg, lhs.key);
    }
    Exp rhs;
    Expression(rhs);
    SQInteger val = CompoundValue(arith, lhs, keyReg, rhs);
    FreeExp(rhs);
    fs().FreeReg(keyReg);
    fs().FreeReg(objReg);
    SQInteger dst = fs().AllocReg();
    fs().Emit(op == TK_NEWSLOT ? OP_NEWSLOT : OP_SET, dst, objReg, keyReg, val);
    lhs.k = E_REG;
    lhs.reg = dst;
}

// The register holding the value to store: rhs itself, or `target op rhs`. The target is
// read only now, after rhs has run, so what rhs wrote to it counts.
SQInteger SQCompiler::CompoundValue(uint8_t arith, const Exp& target, SQInteger keyReg, Exp& rhs)
{
    int32_t bits;
    bool isFloat;
    const bool k = arith && TakeConstant(rhs, true, bits, isFloat);
    SQInteger val = k ? -1 : ToAnyReg(rhs);
    if (!arith) return val;
    SQInteger cur = fs().AllocReg();
    if (target.k == E_ENV) fs().Emit(OP_GETENV, cur, target.key);
    else if (target.k == E_FIELDK) fs().Emit(OP_GETK, cur, target.key, target.reg);
    else fs().Emit(OP_GET, cur, target.reg, keyReg);
    if (k) fs().Emit(constantForm(arith), cur, bits, cur, isFloat ? 0x80 : 0);
    else fs().Emit(arith, cur, cur, val);
    fs().FreeReg(cur);
    return cur;
}

// A ||/&& chain is compiled as jumps: each operand leaves the chain on its own test, so a
// comparison in it is a compare-and-jump, and the chain's value is made only when it is
// used as one (ChainValue). When it may be, t >= 0 is the register for that value, and
// every tested operand that is not a comparison leaves through it.
void SQCompiler::LogicalOr(Exp& e, SQInteger t)
{
    std::vector<SQInteger> tj;
    LogicalAnd(e, t);
    while (_token == TK_OR) {
        Lex();
        JumpIf(e, true, tj, t);
        e = Exp();
        LogicalAnd(e, t);
    }
    if (tj.empty()) return;
    if (e.k != E_JUMP) {
        ToAnyReg(e);
        e.k = E_JUMP;
    }
    e.tj.insert(e.tj.end(), tj.begin(), tj.end());
}

void SQCompiler::LogicalAnd(Exp& e, SQInteger t)
{
    std::vector<SQInteger> fj;
    BitwiseOr(e);
    for (;;) {
        if (_token == TK_AND) {
            Lex();
            JumpIf(e, false, fj, t);
            e = Exp();
            BitwiseOr(e);
        } else if (_token == TK_IN || _token == TK_INSTANCEOF) {
            InOrInstanceOf(e);
        } else {
            break;
        }
    }
    if (fj.empty()) return;
    ToAnyReg(e);
    e.k = E_JUMP;
    e.fj = std::move(fj);
}

// The value of a chain, in t: that of the operand that decided it, true or false for a
// comparison.
void SQCompiler::ChainValue(Exp& e, SQInteger t)
{
    std::vector<SQInteger> direct, viaTrue, viaFalse;   // JZ/JNZ test the value in t
    auto sortExits = [&](const std::vector<SQInteger>& exits, std::vector<SQInteger>& viaBool) {
        for (SQInteger pc : exits) {
            const uint8_t op = fs().At(pc).op;
            (op == OP_JZ || op == OP_JNZ ? direct : viaBool).push_back(pc);
        }
    };
    sortExits(e.tj, viaTrue);
    sortExits(e.fj, viaFalse);
    e.Resolved();
    MoveInto(e, t);
    std::vector<SQInteger> ends;
    if (!viaFalse.empty()) {
        ends.push_back(fs().Emit(OP_JMP, 0, 0));
        PatchJumpsHere(viaFalse);
        fs().Emit(OP_LOADBOOL, t, 0);
    }
    if (!viaTrue.empty()) {
        ends.push_back(fs().Emit(OP_JMP, 0, 0));
        PatchJumpsHere(viaTrue);
        fs().Emit(OP_LOADBOOL, t, 1);
    }
    PatchJumpsHere(ends);
    PatchJumpsHere(direct);
    fs().AllocReg();
    e.k = E_REG;
    e.reg = t;
}

void SQCompiler::InOrInstanceOf(Exp& e)
{
    uint8_t op = _token == TK_IN ? OP_EXISTS : OP_INSTANCEOF;
    Lex();
    SQInteger l = ToAnyReg(e);
    Exp rhs;
    BitwiseOr(rhs);
    SQInteger r = ToAnyReg(rhs);
    FreeExp(rhs);
    FreeExp(e);
    SQInteger d = fs().AllocReg();
    if (op == OP_EXISTS) fs().Emit(OP_EXISTS, d, r, l);   // key in container
    else fs().Emit(OP_INSTANCEOF, d, l, r);
    e.k = E_REG;
    e.reg = d;
}

// A number literal just loaded into the top temp leaves the code and becomes the
// operand of the instruction that uses it.
bool SQCompiler::TakeConstant(Exp& e, bool allowFloat, int32_t& bits, bool& isFloat)
{
    SQFuncState& f = fs();
    if ((e.k != E_REG && e.k != E_CONST) || !f.IsTemp(e.reg) || e.reg != f._freereg - 1 || f.Pc() == 0 ||
        f._lastjumptarget == f.Pc())
        return false;
    SQInstruction& last = f.At(f.Pc() - 1);
    if (last.a0 != e.reg || !(last.op == OP_LOADINT || (allowFloat && last.op == OP_LOADFLOAT))) return false;
    bits = last.a1;
    isFloat = last.op == OP_LOADFLOAT;
    f._proto->_instructions.pop_back();
    f.FreeReg(e.reg);
    e.k = E_VOID;
    return true;
}

void SQCompiler::BinaryOp(Exp& e, uint8_t op, SQInteger a3, void (SQCompiler::*next)(Exp&))
{
    Lex();
    SQInteger l = ToAnyReg(e);
    Exp rhs;
    (this->*next)(rhs);
    int32_t bits;
    bool isFloat;
    const uint8_t kop = constantForm(op);
    if (kop && TakeConstant(rhs, op != OP_BITW, bits, isFloat)) {
        FreeExp(e);
        SQInteger d = fs().AllocReg();
        fs().Emit(kop, d, bits, l, a3 | (isFloat ? 0x80 : 0));
        e.k = E_REG;
        e.reg = d;
        return;
    }
    SQInteger r = ToAnyReg(rhs);
    FreeExp(rhs);
    FreeExp(e);
    SQInteger d = fs().AllocReg();
    fs().Emit(op, d, l, r, a3);
    e.k = E_REG;
    e.reg = d;
}

void SQCompiler::BitwiseOr(Exp& e)
{
    BitwiseXor(e);
    while (_token == '|') BinaryOp(e, OP_BITW, BW_OR, &SQCompiler::BitwiseXor);
}

void SQCompiler::BitwiseXor(Exp& e)
{
    BitwiseAnd(e);
    while (_token == '^') BinaryOp(e, OP_BITW, BW_XOR, &SQCompiler::BitwiseAnd);
}

void SQCompiler::BitwiseAnd(Exp& e)
{
    Compare(e);
    while (_token == '&') BinaryOp(e, OP_BITW, BW_AND, &SQCompiler::Compare);
}

void SQCompiler::Compare(Exp& e)
{
    Shift(e);
    for (;;) {
        switch (_token) {
        case TK_EQ: BinaryOp(e, OP_EQ, 0, &SQCompiler::Shift); break;
        case TK_NE: BinaryOp(e, OP_NE, 0, &SQCompiler::Shift); break;
        case '>': BinaryOp(e, OP_CMP, CMP_G, &SQCompiler::Shift); break;
        case '<': BinaryOp(e, OP_CMP, CMP_L, &SQCompiler::Shift); break;
        case TK_GE: BinaryOp(e, OP_CMP, CMP_GE, &SQCompiler::Shift); break;
        case TK_LE: BinaryOp(e, OP_CMP, CMP_LE, &SQCompiler::Shift); break;
        default: return;
        }
    }
}

void SQCompiler::Shift(Exp& e)
{
    Plus(e);
    for (;;) {
        switch (_token) {
        case TK_SHIFTL: BinaryOp(e, OP_BITW, BW_SHIFTL, &SQCompiler::Plus); break;
        case TK_SHIFTR: BinaryOp(e, OP_BITW, BW_SHIFTR, &SQCompiler::Plus); break;
        case TK_USHIFTR: BinaryOp(e, OP_BITW, BW_USHIFTR, &SQCompiler::Plus); break;
        default: return;
        }
    }
}

void SQCompiler::Plus(Exp& e)
{
    Mult(e);
    for (;;) {
        if (_token == '+') BinaryOp(e, OP_ADD, 0, &SQCompiler::Mult);
        else if (_token == '-') BinaryOp(e, OP_SUB, 0, &SQCompiler::Mult);
        else return;
    }
}

void SQCompiler::Mult(Exp& e)
{
    Unary(e);
    for (;;) {
        if (_token == '*') BinaryOp(e, OP_MUL, 0, &SQCompiler::Unary);
        else if (_token == '/') BinaryOp(e, OP_DIV, 0, &SQCompiler::Unary);
        else if (_token == '%') BinaryOp(e, OP_MOD, 0, &SQCompiler::Unary);
        else return;
    }
}

void SQCompiler::Unary(Exp& e)
{
    if (++_depth > kMaxNesting) Error(sqmsg::ExpressionTooComplex);
    struct Leave { int& d; ~Leave() { --d; } } leave{_depth};
    uint8_t op;
    switch (_token) {
    case '-':
        Lex();
        if (_token == TK_INTEGER || _token == TK_FLOAT) {   // fold negative literals
            bool isInt = _token == TK_INTEGER;
            SQInteger iv = _lex._nvalue;
            SQFloat fv = _lex._fvalue;
            Lex();
            if (_token != '.' && _token != '[' && _token != '(' && _token != TK_PLUSPLUS && _token != TK_MINUSMINUS) {
                e.k = E_REG;
                e.reg = fs().AllocReg();
                if (isInt) EmitLoadObject(e.reg, SQObjectPtr(static_cast<SQInteger>(0u - static_cast<uint32_t>(iv))));
                else EmitLoadObject(e.reg, SQObjectPtr(-fv));
                return;
            }
            e.k = E_REG;
            e.reg = fs().AllocReg();
            if (isInt) EmitLoadObject(e.reg, SQObjectPtr(iv));
            else EmitLoadObject(e.reg, SQObjectPtr(fv));
            // postfix applies to the literal before negation
            PostfixTail(e);
        } else {
            Unary(e);
        }
        op = OP_NEG;
        break;
    case '!': Lex(); Unary(e); op = OP_NOT; break;
    case '~': Lex(); Unary(e); op = OP_BWNOT; break;
    case TK_TYPEOF: Lex(); Unary(e); op = OP_TYPEOF; break;
    case TK_CLONE: Lex(); Unary(e); op = OP_CLONE; break;
    case TK_RESUME: Lex(); Unary(e); op = OP_RESUME; break;
    case TK_PLUSPLUS: case TK_MINUSMINUS: {
        SQInteger delta = _token == TK_PLUSPLUS ? 1 : -1;
        Lex();
        Unary(e);
        IncDec(e, delta, false);
        return;
    }
    case TK_DELETE: {
        Lex();
        Unary(e);
        if (e.k == E_LOCAL || e.k == E_OUTER) Error(sqmsg::CannotDeleteALocal);
        if (e.k != E_FIELD && e.k != E_FIELDK && e.k != E_ENV) Error(sqmsg::CanTDeleteAnExpression);
        SQInteger obj, key;
        if (e.k == E_ENV) {
            obj = 0;
            key = fs().AllocReg();
            fs().Emit(OP_LOAD, key, e.key);
        } else if (e.k == E_FIELDK) {
            obj = e.reg;
            key = fs().AllocReg();
            fs().Emit(OP_LOAD, key, e.key);
        } else {
            obj = e.reg;
            key = e.key;
        }
        fs().FreeReg(key);
        if (e.k != E_ENV) fs().FreeReg(obj);
        SQInteger d = fs().AllocReg();
        fs().Emit(OP_DELETE, d, obj, key);
        e.k = E_REG;
        e.reg = d;
        return;
    }
    default:
        Postfix(e);
        return;
    }
    SQInteger src = ToAnyReg(e);
    FreeExp(e);
    SQInteger d = fs().AllocReg();
    fs().Emit(op, d, src);
    e.k = E_REG;
    e.reg = d;
}

// ++/--: both add +1 or -1 with the + operator.
void SQCompiler::IncDec(Exp& e, SQInteger delta, bool postfix)
{
    switch (e.k) {
    case E_LOCAL: {
        SQInteger d = fs().AllocReg();
        fs().Emit(OP_INCL, d, e.reg, postfix ? 1 : 0, static_cast<uint8_t>(static_cast<int8_t>(delta)));
        e.k = E_REG;
        e.reg = d;
        return;
    }
    case E_OUTER: case E_CONST: {
        SQInteger d = fs().AllocReg();
        if (postfix) fs().Emit(OP_MOVE, d, e.reg);
        else fs().Emit(OP_ADDK, d, delta, e.reg);
        e.k = E_REG;
        e.reg = d;
        return;
    }
    case E_FIELD: case E_FIELDK: case E_ENV: {
        // the old value is read into the lowest free register, which then holds the result
        SQInteger obj = e.k == E_ENV ? -1 : e.reg;
        SQInteger key = e.k == E_FIELD ? e.key : -1;
        SQInteger old = fs().AllocReg();
        SQInteger nv = postfix ? fs().AllocReg() : old;
        if (e.k == E_ENV) fs().Emit(OP_GETENV, old, e.key);
        else if (e.k == E_FIELDK) fs().Emit(OP_GETK, old, e.key, obj);
        else fs().Emit(OP_GET, old, obj, key);
        fs().Emit(OP_ADDK, nv, delta, old);
        if (e.k == E_ENV) fs().Emit(OP_SETENV, SQ_NOREG, e.key, nv);
        else if (e.k == E_FIELDK) fs().Emit(OP_SETK, SQ_NOREG, e.key, obj, nv);
        else fs().Emit(OP_SET, SQ_NOREG, obj, key, nv);
        if (postfix) fs().FreeReg(nv);
        fs().FreeReg(old);
        if (key >= 0) fs().FreeReg(key);
        if (obj >= 0) fs().FreeReg(obj);
        SQInteger d = fs().AllocReg();
        if (d != old) fs().Emit(OP_MOVE, d, old);
        e.k = E_REG;
        e.reg = d;
        return;
    }
    default:
        Error(sqmsg::CanTAssignExpression);
    }
}

void SQCompiler::Postfix(Exp& e)
{
    Factor(e);
    PostfixTail(e);
}

void SQCompiler::PostfixTail(Exp& e)
{
    for (;;) {
        switch (_token) {
        case '.': {
            Lex();
            if (_token == TK_PARENT) {
                Lex();
                if (isAssignOp(_token)) Error(sqmsg::ParentCannotBeSet);
                SQInteger src = ToAnyReg(e);
                FreeExp(e);
                SQInteger d = fs().AllocReg();
                fs().Emit(OP_GETPARENT, d, src);
                e.k = E_REG;
                e.reg = d;
                break;
            }
            std::string name = ExpectIdentifier();
            SQInteger obj = ToAnyReg(e);
            e.k = E_FIELDK;
            e.reg = obj;
            e.key = fs().StringLiteral(name);
            break;
        }
        case '[': {
            if (_lex._newlineBefore) Error(sqmsg::CannotBrakeDerefOrCommaNeededAfter);
            Lex();
            SQInteger obj = ToAnyReg(e);
            Exp k;
            Expression(k);
            Expect(']');
            SQInteger key = ToAnyReg(k);
            if (fs().IsTemp(key) && key != fs()._freereg - 1) {
                // a computed key must sit in a temp above the object; a local is read in place
                ToNextReg(k);
                key = k.reg;
            }
            e.k = E_FIELD;
            e.reg = obj;
            e.key = key;
            break;
        }
        case '(':
            Call(e);
            break;
        case TK_PLUSPLUS: case TK_MINUSMINUS: {
            if (_lex._newlineBefore) return;
            SQInteger delta = _token == TK_PLUSPLUS ? 1 : -1;
            Lex();
            IncDec(e, delta, true);
            break;
        }
        default:
            return;
        }
    }
}

void SQCompiler::Call(Exp& e)
{
    Lex();   // '('
    SQInteger func, self;
    if (e.k == E_FIELD || e.k == E_FIELDK) {
        SQInteger obj = e.reg, key = e.key;
        if (e.k == E_FIELD) fs().FreeReg(key);
        fs().FreeReg(obj);
        func = fs().AllocReg();
        self = fs().AllocReg();
        fs().Emit(e.k == E_FIELD ? OP_PREPCALL : OP_PREPCALLK, func, key, obj, self);
    } else if (e.k == E_ENV) {
        func = fs().AllocReg();
        self = fs().AllocReg();
        fs().Emit(OP_GETENV, func, e.key, 0, 1);   // a3 = 1: also this into func + 1
    } else if (e.k == E_LOCAL || e.k == E_OUTER) {
        func = fs().AllocReg();
        self = fs().AllocReg();
        fs().Emit(OP_MOVE, func, e.reg, 0, 1);   // a3 = 1: also this into func + 1
    } else {
        ToNextReg(e);
        func = e.reg;
        self = fs().AllocReg();
        fs().Emit(OP_MOVE, self, 0);
    }
    SQInteger nargs = 1;
    while (_token != ')') {
        Exp arg;
        Expression(arg);
        ToNextReg(arg);
        nargs++;
        if (_token == ',') {
            Lex();
            if (_token == ')') Error(sqmsg::ExpressionExpectedFound);
        } else if (_token != ')') {
            ErrorExpected(')');
        }
    }
    Lex();
    for (SQInteger i = 0; i < nargs; i++) fs().FreeReg(func + nargs - i);
    fs().Emit(OP_CALL, func, func, self, nargs);
    e.k = E_REG;
    e.reg = func;
}

ConstValue SQCompiler::FindConst(const std::string& name)
{
    ConstValue cv;
    SQObjectPtr key(_vm->Str(name.c_str(), static_cast<SQInteger>(name.size())));
    if (sqtype(_vm->SS()->_consts) == OT_TABLE && _table(_vm->SS()->_consts)->Get(key, cv.value)) cv.found = true;
    return cv;
}

void SQCompiler::Identifier(Exp& e, const std::string& name)
{
    SQObjectPtr key(_vm->Str(name.c_str(), static_cast<SQInteger>(name.size())));
    if (const SQFuncState::LocalVar* lv = fs().FindLocal(key)) {
        e.k = lv->isOuter ? E_OUTER : E_LOCAL;
        e.reg = lv->reg;
        return;
    }
    ConstValue cv = FindConst(name);
    if (cv.found) {
        SQObjectPtr value = cv.value;
        if (sqtype(value) == OT_TABLE) {   // an enum: only Enum.Member is valid
            Expect('.');
            std::string member = ExpectIdentifier();
            SQObjectPtr mkey(_vm->Str(member.c_str(), static_cast<SQInteger>(member.size())));
            SQObjectPtr mval;
            if (!_table(value)->Get(mkey, mval)) Error(sqmsg::InvalidConstant + name + "." + member + "]");
            value = mval;
        }
        e.k = E_CONST;
        e.reg = fs().AllocReg();
        EmitLoadObject(e.reg, value);
        return;
    }
    e.k = E_ENV;
    e.key = fs().Literal(key);
}

void SQCompiler::Factor(Exp& e)
{
    switch (_token) {
    case TK_STRING_LITERAL:
        e.k = E_REG;
        e.reg = fs().AllocReg();
        fs().Emit(OP_LOAD, e.reg, fs().StringLiteral(_lex._svalue));
        Lex();
        return;
    case TK_INTEGER:
        e.k = E_REG;
        e.reg = fs().AllocReg();
        EmitLoadObject(e.reg, SQObjectPtr(_lex._nvalue));
        Lex();
        return;
    case TK_FLOAT:
        e.k = E_REG;
        e.reg = fs().AllocReg();
        EmitLoadObject(e.reg, SQObjectPtr(_lex._fvalue));
        Lex();
        return;
    case TK_NULL: case TK_TRUE: case TK_FALSE:
        e.k = E_REG;
        e.reg = fs().AllocReg();
        if (_token == TK_NULL) fs().Emit(OP_LOADNULLS, e.reg, 1);
        else fs().Emit(OP_LOADBOOL, e.reg, _token == TK_TRUE ? 1 : 0);
        Lex();
        return;
    case TK_IDENTIFIER: case TK_CONSTRUCTOR: {
        std::string name = _token == TK_CONSTRUCTOR ? "constructor" : _lex._svalue;
        Lex();
        Identifier(e, name);
        return;
    }
    case TK_THIS:
        Lex();
        e.k = E_REG;
        e.reg = 0;
        return;
    case TK_DOUBLE_COLON: {
        Lex();
        std::string name = ExpectIdentifier();
        SQInteger r = fs().AllocReg();
        fs().Emit(OP_LOADROOT, r);
        e.k = E_FIELDK;
        e.reg = r;
        e.key = fs().StringLiteral(name);
        return;
    }
    case '(': {
        Lex();
        CommaExpression(e);
        Expect(')');
        if (e.k == E_LOCAL || e.k == E_OUTER || e.k == E_CONST) return;
        ToAnyReg(e);
        e.k = E_REG;
        return;
    }
    case '[': ArrayLiteral(e); return;
    case '{': TableLiteral(e, '}'); return;
    case TK_FUNCTION: Lex(); FunctionExp(e, ""); return;
    case TK_CLASS: Lex(); ClassExp(e); return;
    case TK_DELEGATE: {
        // both operands are comma expressions: "delegate a, d : b, t"
        Lex();
        Exp d;
        CommaExpression(d);
        ToNextReg(d);
        Expect(':');
        Exp t;
        CommaExpression(t);
        ToNextReg(t);
        FreeExp(t);
        FreeExp(d);
        SQInteger r = fs().AllocReg();
        fs().Emit(OP_DELEGATE, r, d.reg, t.reg);
        e.k = E_REG;
        e.reg = r;
        return;
    }
    case TK_VARGC:
        Lex();
        e.k = E_REG;
        e.reg = fs().AllocReg();
        fs().Emit(OP_VARGC, e.reg);
        return;
    case TK_VARGV: {
        Lex();
        Expect('[');
        Exp idx;
        Expression(idx);
        Expect(']');
        ToNextReg(idx);
        e.k = E_VARGV;
        e.key = idx.reg;
        return;
    }
    case TK_EOF: Error(sqmsg::ExpressionExpected);
    default:
        if (_token == ')') Error(sqmsg::ExpressionExpectedFound);
        Error(sqmsg::ExpressionExpected);
    }
}

void SQCompiler::ArrayLiteral(Exp& e)
{
    Lex();
    SQInteger arr = fs().AllocReg();
    SQInteger newpc = fs().Emit(OP_NEWARRAY, arr, 0);
    SQInteger count = 0;
    while (_token != ']') {
        Exp v;
        Expression(v);
        SQInteger r = ToAnyReg(v);
        fs().Emit(OP_APPENDARRAY, arr, r);
        FreeExp(v);
        count++;
        if (_token == ',') Lex();
    }
    Lex();
    fs().At(newpc).a1 = static_cast<int32_t>(count);
    e.k = E_REG;
    e.reg = arr;
}

void SQCompiler::TableLiteral(Exp& e, SQInteger closeTok)
{
    Lex();
    SQInteger tbl = fs().AllocReg();
    SQInteger newpc = fs().Emit(OP_NEWTABLE, tbl, 0);
    SQInteger count = 0;
    while (_token != closeTok) {
        SQInteger key = fs().AllocReg();
        if (_token == TK_FUNCTION) {
            Lex();
            std::string name = ExpectIdentifier();
            fs().Emit(OP_LOAD, key, fs().StringLiteral(name));
            Exp f;
            FunctionExp(f, name);
            ToNextReg(f);
        } else if (_token == '[') {
            Lex();
            Exp k;
            CommaExpression(k);
            Expect(']');
            ToReg(k, key);
            Expect('=');
            Exp v;
            Expression(v);
            ToNextReg(v);
        } else {
            std::string name = ExpectIdentifier();
            fs().Emit(OP_LOAD, key, fs().StringLiteral(name));
            Expect('=');
            Exp v;
            Expression(v);
            ToNextReg(v);
        }
        fs().Emit(OP_NEWSLOT, SQ_NOREG, tbl, key, key + 1);
        fs().FreeReg(key + 1);
        fs().FreeReg(key);
        count++;
        if (_token == ',') Lex();
        else if (closeTok == TK_ATTR_CLOSE && _token == ';') Lex();
    }
    Lex();
    fs().At(newpc).a1 = static_cast<int32_t>(count);
    e.k = E_REG;
    e.reg = tbl;
}

void SQCompiler::FunctionExp(Exp& e, const std::string& name)
{
    Expect('(');
    SQFuncState* parent = _fs;
    SQFuncState child(_vm->SS(), parent);
    SQFunctionProto* proto = child._proto;
    proto->_sourcename = _vm->Str(_sourcename.c_str());
    if (!name.empty()) proto->_name = _vm->Str(name.c_str(), static_cast<SQInteger>(name.size()));
    SQObjectPtr thisName(_vm->Str("this"));
    child.PushLocal(thisName);
    proto->_parameters.push_back(thisName);
    SQInteger firstDefault = -1;
    SQInteger ndefaults = 0;
    std::vector<std::pair<SQInteger, SQInteger>> localDefaults;   // (default register, local)
    while (_token != ')') {
        if (_token == TK_VARPARAMS) {
            if (ndefaults > 0) Error(sqmsg::FunctionWithDefaultParametersCannotHaveVariable);
            proto->_varparams = true;
            Lex();
            if (_token != ')') ErrorExpected(')');
            break;
        }
        std::string pname = ExpectIdentifier();
        SQObjectPtr pn(_vm->Str(pname.c_str(), static_cast<SQInteger>(pname.size())));
        child.PushLocal(pn);
        proto->_parameters.push_back(pn);
        if (_token == '=') {
            Lex();
            _fs = parent;   // defaults are evaluated where the function expression runs
            Exp d;
            Expression(d);
            if (d.k == E_LOCAL) {
                // a bare local is read when the closure is made, after every later default
                SQInteger r = parent->AllocReg();
                localDefaults.emplace_back(r, d.reg);
                d.reg = r;
            } else {
                ToNextReg(d);
            }
            if (firstDefault < 0) firstDefault = d.reg;
            _fs = &child;
            ndefaults++;
        } else if (ndefaults > 0) {
            Error(sqmsg::Expected);
        }
        if (_token == ',') Lex();
        else if (_token != ')') Error(sqmsg::ExpectedOr);
    }
    Lex();
    proto->_ndefaultparams = ndefaults;
    // free variables: copied at creation, live in registers after the parameters
    if (_token == ':') {
        Lex();
        Expect('(');
        while (_token != ')') {
            std::string vname = ExpectIdentifier();
            SQObjectPtr vn(_vm->Str(vname.c_str(), static_cast<SQInteger>(vname.size())));
            SQOuterVar ov;
            ov._name = vn;
            if (const SQFuncState::LocalVar* lv = parent->FindLocal(vn)) {
                ov._type = OUTER_LOCAL;
                ov._src = lv->reg;
            } else {
                ov._type = OUTER_SYMBOL;
                ov._src = parent->Literal(vn);
            }
            proto->_outervalues.push_back(ov);
            child.PushLocal(vn, true);
            if (_token == ',') Lex();
            else if (_token != ')') Error(sqmsg::ExpectedOr);
        }
        Lex();
    }
    _fs = &child;
    SQInteger line = _lex._currentline;
    Statement();
    child.AddLineInfo(_lex._prevtoken == '}' ? _lex._lasttokenline : line, false);
    child.Emit(OP_RETURN, SQ_NOREG);
    child.Finish(line);
    _fs = parent;
    SQInteger funcIdx = static_cast<SQInteger>(parent->_proto->_functions.size());
    parent->_proto->_functions.push_back(child._protoHolder);
    for (const auto& ld : localDefaults) parent->Emit(OP_MOVE, ld.first, ld.second);
    for (SQInteger i = 0; i < ndefaults; i++) parent->FreeReg(firstDefault + ndefaults - 1 - i);
    SQInteger d = parent->AllocReg();
    parent->Emit(OP_CLOSURE, d, funcIdx, ndefaults ? firstDefault : 0);
    e.k = E_REG;
    e.reg = d;
}

void SQCompiler::ClassExp(Exp& e)
{
    SQInteger base = -1;
    SQInteger attrs = SQ_NOREG;
    if (_token == TK_EXTENDS) {
        Lex();
        Exp b;
        Expression(b);
        ToNextReg(b);
        base = b.reg;
    }
    if (_token == TK_ATTR_OPEN) {
        Exp a;
        TableLiteral(a, TK_ATTR_CLOSE);
        attrs = a.reg;
    }
    Expect('{');
    if (attrs != SQ_NOREG) fs().FreeReg(attrs);
    if (base >= 0) fs().FreeReg(base);
    SQInteger cls = fs().AllocReg();
    fs().Emit(OP_CLASS, cls, base, attrs);
    while (_token != '}') {
        SQInteger mattrs = -1;
        if (_token == TK_ATTR_OPEN) {
            Exp a;
            TableLiteral(a, TK_ATTR_CLOSE);
            mattrs = a.reg;
        }
        bool isStatic = false;
        if (_token == TK_STATIC) { isStatic = true; Lex(); }
        SQInteger key = fs().AllocReg();
        if (_token == TK_FUNCTION) {
            Lex();
            std::string name = ExpectIdentifier();
            fs().Emit(OP_LOAD, key, fs().StringLiteral(name));
            Exp f;
            FunctionExp(f, name);
            ToNextReg(f);
        } else if (_token == TK_CONSTRUCTOR) {
            Lex();
            fs().Emit(OP_LOAD, key, fs().StringLiteral("constructor"));
            Exp f;
            FunctionExp(f, "constructor");
            ToNextReg(f);
        } else if (_token == '[') {
            Lex();
            Exp k;
            CommaExpression(k);
            Expect(']');
            ToReg(k, key);
            Expect('=');
            Exp v;
            Expression(v);
            ToNextReg(v);
        } else {
            std::string name = ExpectIdentifier();
            fs().Emit(OP_LOAD, key, fs().StringLiteral(name));
            Expect('=');
            Exp v;
            Expression(v);
            ToNextReg(v);
        }
        fs().Emit(isStatic ? OP_NEWSTATIC : OP_NEWMEMBER, cls, mattrs, key, key + 1);
        fs().FreeReg(key + 1);
        fs().FreeReg(key);
        if (mattrs >= 0) fs().FreeReg(mattrs);
        if (_token == ';') Lex();
    }
    Lex();
    e.k = E_REG;
    e.reg = cls;
}

// ---------------------------------------------------------------- statements

void SQCompiler::Statement()
{
    if (++_depth > kMaxNesting) Error(sqmsg::ExpressionTooComplex);
    struct Leave { int& d; ~Leave() { --d; } } leave{_depth};
    LineInfo();
    switch (_token) {
    case ';': Lex(); return;
    case TK_IF: IfStatement(); return;
    case TK_WHILE: WhileStatement(); return;
    case TK_DO: DoWhileStatement(); return;
    case TK_FOR: ForStatement(); return;
    case TK_FOREACH: ForEachStatement(); return;
    case TK_SWITCH: SwitchStatement(); return;
    case TK_LOCAL: LocalDeclaration(); break;
    case TK_RETURN: ReturnStatement(); break;
    case TK_YIELD: {
        Lex();
        fs()._proto->_bgenerator = true;
        if (IsEndOfStatement()) {
            fs().Emit(OP_YIELD, SQ_NOREG);
        } else {
            Exp v;
            CommaExpression(v);
            SQInteger r = ToAnyReg(v);
            fs().Emit(OP_YIELD, r);
            FreeExp(v);
        }
        break;
    }
    case TK_BREAK: BreakContinue(true); break;
    case TK_CONTINUE: BreakContinue(false); break;
    case TK_FUNCTION: FunctionStatement(); return;
    case TK_CLASS: ClassStatement(); return;
    case TK_ENUM: EnumStatement(); return;
    case '{': Block(); return;
    case TK_TRY: TryStatement(); return;
    case TK_THROW: {
        Lex();
        Exp v;
        CommaExpression(v);
        SQInteger r = ToAnyReg(v);
        fs().Emit(OP_THROW, r);
        FreeExp(v);
        break;
    }
    case TK_CONST: ConstStatement(); break;
    default: {
        Exp e;
        CommaExpression(e);
        if (e.k == E_FIELD || e.k == E_FIELDK || e.k == E_ENV || e.k == E_VARGV) ToAnyReg(e);   // reads can throw
        // an expression statement discards its value: drop the copy to the result register
        if (fs().Pc() > 0) {
            SQInstruction& last = fs().At(fs().Pc() - 1);
            if ((last.op == OP_SET || last.op == OP_SETK || last.op == OP_SETENV || last.op == OP_NEWSLOT) &&
                fs().IsTemp(last.a0))
                last.a0 = SQ_NOREG;
            else if (last.op == OP_INCL && fs().IsTemp(last.a0))
                last.a0 = SQ_NOREG;
        }
        FreeExp(e);
        break;
    }
    }
    fs()._freereg = fs().NActive();
    OptionalSemicolon();
}

void SQCompiler::Block()
{
    Lex();   // '{'
    SQInteger nlocals = fs().NActive();
    while (_token != '}') {
        if (_token == TK_EOF) ErrorExpected('}');
        Statement();
    }
    fs().PopLocals(fs().NActive() - nlocals);
    Lex();
}

void SQCompiler::LocalDeclaration()
{
    Lex();
    do {
        std::string name = ExpectIdentifier();
        SQObjectPtr key(_vm->Str(name.c_str(), static_cast<SQInteger>(name.size())));
        if (_token == '=') {
            Lex();
            Exp v;
            Expression(v);
            SQInteger target = fs().NActive();
            if (v.k == E_REG && v.reg == target && fs().IsTemp(v.reg)) {
                fs().FreeReg(v.reg);
            } else {
                FreeExp(v);
                SQInteger r = fs().AllocReg();
                if (v.k == E_REG && fs().IsTemp(v.reg)) RetargetOrMove(r, v.reg);
                else LoadInto(v, r);
                fs().FreeReg(r);
            }
        } else {
            fs().Emit(OP_LOADNULLS, fs().NActive(), 1);
        }
        fs().PushLocal(key);
        if (_token != ',') break;
        Lex();
    } while (true);
}

// True when e is the result of a comparison just emitted, which a test can take over.
bool SQCompiler::ComparisonJustMade(const Exp& e)
{
    SQFuncState& f = fs();
    if (e.k != E_REG || !f.IsTemp(e.reg) || f.Pc() == 0 || f._lastjumptarget == f.Pc()) return false;
    const SQInstruction& last = f.At(f.Pc() - 1);
    return last.a0 == e.reg && (last.op == OP_CMP || last.op == OP_CMPK || last.op == OP_EQ || last.op == OP_NE);
}

// Emits a jump taken when e's truth is `sense` and returns its pc; a comparison just
// computed for it becomes a compare-and-jump.
SQInteger SQCompiler::TestJump(Exp& e, bool sense)
{
    const bool fuse = ComparisonJustMade(e);
    SQInteger r = ToAnyReg(e);
    FreeExp(e);
    if (!fuse) return fs().Emit(sense ? OP_JNZ : OP_JZ, r, 0);
    SQInstruction& last = fs().At(fs().Pc() - 1);
    if (last.op == OP_EQ || last.op == OP_NE) return EqualityJump((last.op == OP_EQ) == sense);
    if (last.op == OP_CMP) {
        last.op = sense ? OP_JCMPT : OP_JCMP;
        last.a0 = static_cast<uint8_t>(last.a1);
        last.a1 = 0;
        return fs().Pc() - 1;
    }
    // CMPK: a small integer stays in the instruction, anything else goes to the literals
    const bool isFloat = (last.a3 & 0x80) != 0;
    if (!isFloat && last.a1 >= -8192 && last.a1 < 8192) {
        last.op = sense ? OP_JCMPIT : OP_JCMPI;
        last.a0 = last.a2;
        SetImmediate(last, last.a1 * 4 + (last.a3 & 3));
        last.a1 = 0;
        return fs().Pc() - 1;
    }
    const SQInteger lit = NumberLiteral(last.a1, isFloat);
    if (lit > 0xFF) return fs().Emit(sense ? OP_JNZ : OP_JZ, r, 0);
    SQInstruction& cmp = fs().At(fs().Pc() - 1);   // Literal() does not emit, but stay safe
    cmp.op = sense ? OP_JCMPKT : OP_JCMPK;
    cmp.a0 = cmp.a2;
    cmp.a1 = 0;
    cmp.a2 = static_cast<uint8_t>(lit);
    cmp.a3 &= 0x7F;
    return fs().Pc() - 1;
}

// Adds to `jumps` the jumps taken when e's truth is `sense`; the others land right after.
// With t >= 0 a value that is not a comparison is tested in t, where it is kept.
void SQCompiler::JumpIf(Exp& e, bool sense, std::vector<SQInteger>& jumps, SQInteger t)
{
    std::vector<SQInteger> stay;
    if (e.k == E_JUMP) {
        std::vector<SQInteger>& same = sense ? e.tj : e.fj;
        jumps.insert(jumps.end(), same.begin(), same.end());
        stay = std::move(sense ? e.fj : e.tj);
        e.Resolved();   // the last operand, already in e.reg
    }
    if (t >= 0 && !(ComparisonJustMade(e) && e.reg == t)) {
        MoveInto(e, t);
        e.k = E_REG;
        e.reg = t;
    }
    jumps.push_back(TestJump(e, sense));
    PatchJumpsHere(stay);
}

void SQCompiler::PatchJumpsHere(const std::vector<SQInteger>& jumps)
{
    for (SQInteger pc : jumps) fs().PatchJumpHere(pc);
}

// The literal index of an integer, or of a float given by its bits.
SQInteger SQCompiler::NumberLiteral(int32_t bits, bool isFloat)
{
    if (!isFloat) return fs().Literal(SQObjectPtr(static_cast<SQInteger>(bits)));
    SQFloat fv;
    memcpy(&fv, &bits, sizeof fv);
    return fs().Literal(SQObjectPtr(fv));
}

// The literal index of the constant that `ld` loads, or -1 (not a constant load, or an
// index too wide for an 8-bit operand).
SQInteger SQCompiler::ConstantLiteral(const SQInstruction& ld)
{
    SQInteger lit = -1;
    switch (ld.op) {
    case OP_LOAD: lit = ld.a1; break;
    case OP_LOADINT: case OP_LOADFLOAT: lit = NumberLiteral(ld.a1, ld.op == OP_LOADFLOAT); break;
    case OP_LOADBOOL: lit = fs().Literal(SQObjectPtr::Bool(ld.a1 != 0)); break;
    case OP_LOADNULLS: if (ld.a1 == 1) lit = fs().Literal(SQObjectPtr()); break;
    default: break;
    }
    return lit <= 0xFF ? lit : -1;
}

// Replaces the EQ/NE just emitted with a jump taken when equality is `sense`; a constant
// loaded into a temp only for the test becomes an operand.
SQInteger SQCompiler::EqualityJump(bool sense)
{
    SQFuncState& f = fs();
    const SQInteger at = f.Pc() - 1;
    const SQInteger a = f.At(at).a1, b = f.At(at).a2;
    if (at > 0 && f._lastjumptarget < at && a != b) {
        const SQInstruction ld = f.At(at - 1);
        if ((ld.a0 == a || ld.a0 == b) && f.IsTemp(ld.a0)) {
            const SQInteger other = ld.a0 == a ? b : a;   // == is symmetric
            if (ld.op == OP_LOADINT && ld.a1 >= -16384 && ld.a1 < 16384) {
                f._proto->_instructions.resize(static_cast<size_t>(at - 1));
                const SQInteger pc = f.Emit(OP_JEQI, other, 0);
                SetImmediate(f.At(pc), ld.a1 * 2 + (sense ? 1 : 0));
                return pc;
            }
            const SQInteger lit = ConstantLiteral(ld);
            if (lit >= 0) {
                f._proto->_instructions.resize(static_cast<size_t>(at - 1));
                return f.Emit(OP_JEQK, other, 0, lit, sense);
            }
        }
    }
    f._proto->_instructions.resize(static_cast<size_t>(at));
    return f.Emit(OP_JEQ, a, 0, b, sense);
}

void SQCompiler::IfStatement()
{
    Lex();
    Expect('(');
    Exp c;
    _condNext = true;
    CommaExpression(c);
    Expect(')');
    std::vector<SQInteger> jz;
    JumpIf(c, false, jz);
    fs()._freereg = fs().NActive();
    SQInteger nlocals = fs().NActive();
    Statement();
    fs().PopLocals(fs().NActive() - nlocals);
    if (_token == TK_ELSE || (_lex._prevtoken == ';' && _token == TK_ELSE)) {
        Lex();
        SQInteger jmp = fs().Emit(OP_JMP, 0, 0);
        PatchJumpsHere(jz);
        SQInteger n2 = fs().NActive();
        Statement();
        fs().PopLocals(fs().NActive() - n2);
        fs().PatchJumpHere(jmp);
    } else {
        PatchJumpsHere(jz);
    }
}

void SQCompiler::LoopBody(bool isSwitch)
{
    fs()._loops.push_back(SQFuncState::LoopInfo{{}, {}, fs()._traps, isSwitch});
}

void SQCompiler::EndLoop(SQInteger continueTarget, SQInteger breakTarget)
{
    SQFuncState::LoopInfo info = fs()._loops.back();
    fs()._loops.pop_back();
    for (SQInteger pc : info.breaks) fs().PatchJumpTo(pc, breakTarget);
    if (info.isSwitch) {
        // continue inside a switch belongs to the enclosing loop
        if (!info.continues.empty()) {
            if (fs()._loops.empty()) Error(sqmsg::ContinueHasToBeInALoop);
            for (SQInteger pc : info.continues) fs()._loops.back().continues.push_back(pc);
        }
    } else {
        for (SQInteger pc : info.continues) fs().PatchJumpTo(pc, continueTarget);
    }
    if (breakTarget == fs().Pc()) fs()._lastjumptarget = fs().Pc();
}

void SQCompiler::WhileStatement()
{
    Lex();
    SQInteger top = fs().Pc();
    fs()._lastjumptarget = top;
    Expect('(');
    Exp c;
    _condNext = true;
    CommaExpression(c);
    Expect(')');
    std::vector<SQInteger> jz;
    JumpIf(c, false, jz);
    fs()._freereg = fs().NActive();
    LoopBody(false);
    SQInteger nlocals = fs().NActive();
    Statement();
    fs().PopLocals(fs().NActive() - nlocals);
    SQInteger back = fs().Emit(OP_JMP, 0, 0);
    fs().PatchJumpTo(back, top);
    PatchJumpsHere(jz);
    EndLoop(top, fs().Pc());
}

void SQCompiler::DoWhileStatement()
{
    Lex();
    SQInteger top = fs().Pc();
    fs()._lastjumptarget = top;
    LoopBody(false);
    SQInteger nlocals = fs().NActive();
    Statement();
    fs().PopLocals(fs().NActive() - nlocals);
    if (_token == ';') Lex();
    Expect(TK_WHILE);
    SQInteger condPc = fs().Pc();
    fs()._lastjumptarget = condPc;
    Expect('(');
    Exp c;
    _condNext = true;
    CommaExpression(c);
    Expect(')');
    std::vector<SQInteger> back;
    JumpIf(c, true, back);
    for (SQInteger pc : back) fs().PatchJumpTo(pc, top);
    fs()._freereg = fs().NActive();
    EndLoop(condPc, fs().Pc());
}

void SQCompiler::ForStatement()
{
    Lex();
    SQInteger nlocals = fs().NActive();
    Expect('(');
    if (_token == TK_LOCAL) LocalDeclaration();
    else if (_token != ';') {
        Exp init;
        CommaExpression(init);
        FreeExp(init);
    }
    fs()._freereg = fs().NActive();
    Expect(';');
    SQInteger top = fs().Pc();
    fs()._lastjumptarget = top;
    std::vector<SQInteger> jz;
    if (_token != ';') {
        Exp c;
        _condNext = true;
        CommaExpression(c);
        JumpIf(c, false, jz);
        fs()._freereg = fs().NActive();
    }
    Expect(';');
    // the step is compiled now but emitted after the body
    SQInteger stepStart = fs().Pc();
    if (_token != ')') {
        Exp step;
        CommaExpression(step);
        if (fs().Pc() > stepStart) {
            SQInstruction& last = fs().At(fs().Pc() - 1);
            if ((last.op == OP_INCL || last.op == OP_SET || last.op == OP_SETK || last.op == OP_SETENV) && fs().IsTemp(last.a0))
                last.a0 = SQ_NOREG;
        }
        FreeExp(step);
        fs()._freereg = fs().NActive();
    }
    Expect(')');
    std::vector<SQInstruction> stepCode(fs()._proto->_instructions.begin() + stepStart, fs()._proto->_instructions.end());
    fs()._proto->_instructions.resize(static_cast<size_t>(stepStart));
    LoopBody(false);
    SQInteger bodyLocals = fs().NActive();
    Statement();
    fs().PopLocals(fs().NActive() - bodyLocals);
    SQInteger continueTarget = fs().Pc();
    fs()._lastjumptarget = continueTarget;
    // `i < n; i++` (or i += k, k small) as one step-compare-jump: the test at the top stays
    // for the first turn
    bool fused = false;
    if (jz.size() == 1 && jz[0] == top && stepCode.size() == 1) {
        const SQInstruction cond = fs().At(top);
        const SQInstruction& st = stepCode[0];
        SQInteger var = -1, delta = 0;
        if (st.op == OP_INCL && st.a0 == SQ_NOREG) {
            var = st.a1;
            delta = static_cast<int8_t>(st.a3);
        } else if (st.op == OP_ADDK && st.a0 == st.a2 && st.a3 == 0 && !fs().IsTemp(st.a0)) {
            var = st.a0;
            delta = st.a1;
        }
        SQInteger bound = cond.a2, cmp = cond.a3 & 3;
        bool fits = cond.op == OP_JCMPK || (cond.op == OP_JCMP && !fs().IsTemp(cond.a2));
        if (cond.op == OP_JCMPI && var >= 0) {   // the loop step reads its bound from the literals
            const SQInteger w = static_cast<int16_t>(cond.a2 | cond.a3 << 8);
            bound = NumberLiteral(static_cast<int32_t>(w >> 2), false);
            cmp = w & 3;
            fits = bound <= 0xFF;
        }
        if (var >= 0 && delta >= -16 && delta <= 15 && cond.a0 == var && fits) {
            SQInteger a3 = cmp | (cond.op != OP_JCMP ? 4 : 0) | ((delta & 0x1F) << 3);
            SQInteger pc = fs().Emit(OP_FORLOOP, var, 0, bound, a3);
            fs().PatchJumpTo(pc, top + 1);
            fused = true;
        }
    }
    if (!fused) {
        for (const SQInstruction& i : stepCode) fs()._proto->_instructions.push_back(i);
        SQInteger back = fs().Emit(OP_JMP, 0, 0);
        fs().PatchJumpTo(back, top);
    }
    PatchJumpsHere(jz);
    EndLoop(continueTarget, fs().Pc());
    fs().PopLocals(fs().NActive() - nlocals);
}

void SQCompiler::ForEachStatement()
{
    Lex();
    Expect('(');
    std::string first = ExpectIdentifier();
    std::string keyName, valName;
    if (_token == ',') {
        Lex();
        keyName = first;
        valName = ExpectIdentifier();
    } else {
        valName = first;
    }
    Expect(TK_IN);
    Exp c;
    Expression(c);
    Expect(')');
    SQInteger nlocals = fs().NActive();
    SQInteger contReg = fs().NActive();
    if (!(c.k == E_REG && c.reg == contReg)) {
        FreeExp(c);
        SQInteger r = fs().AllocReg();
        LoadInto(c, r);
        fs().FreeReg(r);
    } else {
        fs().FreeReg(c.reg);
    }
    fs().PushLocal(SQObjectPtr());   // the container, hidden
    SQInteger iter = fs().PushLocal(SQObjectPtr(_vm->Str("@ITERATOR@")));
    fs().PushLocal(SQObjectPtr(_vm->Str(keyName.empty() ? "@INDEX@" : keyName.c_str())));
    fs().PushLocal(SQObjectPtr(_vm->Str(valName.c_str())));
    fs().Emit(OP_LOADNULLS, iter, 3);
    SQInteger top = fs().Pc();
    fs()._lastjumptarget = top;
    SQInteger fe = fs().Emit(OP_FOREACH, contReg, 0, iter);
    SQInteger post = fs().Emit(OP_POSTFOREACH, contReg, 0, iter);
    LoopBody(false);
    SQInteger bodyLocals = fs().NActive();
    Statement();
    fs().PopLocals(fs().NActive() - bodyLocals);
    SQInteger back = fs().Emit(OP_JMP, 0, 0);
    fs().PatchJumpTo(back, top);
    fs().PatchJumpHere(fe);
    fs().PatchJumpHere(post);
    EndLoop(top, fs().Pc());
    fs().PopLocals(fs().NActive() - nlocals);
}

void SQCompiler::SwitchStatement()
{
    Lex();
    Expect('(');
    Exp c;
    CommaExpression(c);
    Expect(')');
    Expect('{');
    SQInteger nlocals = fs().NActive();
    SQInteger sw = fs().NActive();
    if (!(c.k == E_REG && c.reg == sw)) {
        FreeExp(c);
        SQInteger r = fs().AllocReg();
        LoadInto(c, r);
        fs().FreeReg(r);
    } else {
        fs().FreeReg(c.reg);
    }
    fs().PushLocal(SQObjectPtr());   // the switch value, hidden
    LoopBody(true);
    SQInteger pendingTest = -1;   // JZ of the previous case test
    SQInteger pendingFall = -1;   // JMP from the end of the previous body into the next body
    while (_token == TK_CASE) {
        Lex();
        if (pendingTest >= 0) fs().PatchJumpHere(pendingTest);
        Exp ce;
        Expression(ce);
        Expect(':');
        SQInteger r = ToAnyReg(ce);
        FreeExp(ce);
        SQInteger t = fs().AllocReg();
        fs().Emit(OP_EQ, t, sw, r);
        fs().FreeReg(t);
        pendingTest = EqualityJump(false);
        if (pendingFall >= 0) fs().PatchJumpHere(pendingFall);
        SQInteger bodyLocals = fs().NActive();
        while (_token != TK_CASE && _token != TK_DEFAULT && _token != '}') {
            Statement();
        }
        fs().PopLocals(fs().NActive() - bodyLocals);
        pendingFall = fs().Emit(OP_JMP, 0, 0);
    }
    if (pendingTest >= 0) fs().PatchJumpHere(pendingTest);
    if (pendingFall >= 0) fs().PatchJumpHere(pendingFall);
    if (_token == TK_DEFAULT) {
        Lex();
        Expect(':');
        SQInteger bodyLocals = fs().NActive();
        while (_token != '}') {
            if (_token == TK_CASE) Error(sqmsg::Expected2);
            Statement();
        }
        fs().PopLocals(fs().NActive() - bodyLocals);
    }
    Expect('}');
    EndLoop(-1, fs().Pc());
    fs().PopLocals(fs().NActive() - nlocals);
}

void SQCompiler::TryStatement()
{
    Lex();
    SQInteger trap = fs().Emit(OP_PUSHTRAP, fs().NActive(), 0);
    fs()._traps++;
    Statement();
    fs()._traps--;
    fs().Emit(OP_POPTRAP, 1);
    SQInteger jmp = fs().Emit(OP_JMP, 0, 0);
    fs().PatchJumpHere(trap);
    Expect(TK_CATCH);
    Expect('(');
    std::string name = ExpectIdentifier();
    Expect(')');
    SQInteger nlocals = fs().NActive();
    fs().PushLocal(SQObjectPtr(_vm->Str(name.c_str(), static_cast<SQInteger>(name.size()))));
    Statement();
    fs().PopLocals(fs().NActive() - nlocals);
    fs().PatchJumpHere(jmp);
}

void SQCompiler::BreakContinue(bool isBreak)
{
    Lex();
    SQFuncState& f = fs();
    SQFuncState::LoopInfo* loop = nullptr;
    for (size_t i = f._loops.size(); i-- > 0;) {
        if (isBreak || !f._loops[i].isSwitch) { loop = &f._loops[i]; break; }
    }
    if (!loop) Error(isBreak ? "'break' has to be in a loop block" : "'continue' has to be in a loop block");
    if (f._traps > loop->traps) f.Emit(OP_POPTRAP, f._traps - loop->traps);
    SQInteger j = f.Emit(OP_JMP, 0, 0);
    if (isBreak) f._loops.back().breaks.push_back(j);
    else if (f._loops.back().isSwitch) f._loops.back().continues.push_back(j);
    else loop->continues.push_back(j);
}

void SQCompiler::ReturnStatement()
{
    Lex();
    if (IsEndOfStatement()) {
        fs().Emit(OP_RETURN, SQ_NOREG);
        return;
    }
    SQInteger exprStart = fs().Pc();
    Exp v;
    CommaExpression(v);
    SQInteger r = ToAnyReg(v);
    // a call in return position of a nested function, outside try, becomes a tail call
    if (fs()._parent && fs()._traps == 0 && fs().Pc() > exprStart && fs()._lastjumptarget != fs().Pc()) {
        SQInstruction& last = fs().At(fs().Pc() - 1);
        if (last.op == OP_CALL && last.a0 == r && !fs()._proto->_bgenerator) last.op = OP_TAILCALL;
    }
    fs().Emit(OP_RETURN, r);
    FreeExp(v);
}

void SQCompiler::FunctionStatement()
{
    Lex();
    std::string name = ExpectIdentifier();
    SQInteger obj = 0;
    SQInteger keyLit;
    if (_token == TK_DOUBLE_COLON) {   // function A::B::f: the slot f in A.B
        Exp path;
        Identifier(path, name);
        while (_token == TK_DOUBLE_COLON) {
            Lex();
            SQInteger r = ToAnyReg(path);
            name = ExpectIdentifier();
            path.k = E_FIELDK;
            path.reg = r;
            path.key = fs().StringLiteral(name);
        }
        obj = path.reg;
        keyLit = path.key;
    } else {
        keyLit = fs().StringLiteral(name);
    }
    SQInteger key = fs().AllocReg();
    fs().Emit(OP_LOAD, key, keyLit);
    Exp f;
    FunctionExp(f, name);
    ToNextReg(f);
    fs().Emit(OP_NEWSLOT, SQ_NOREG, obj, key, f.reg);
    fs()._freereg = fs().NActive();
}

void SQCompiler::ClassStatement()
{
    Lex();
    // class A.B.C: the slot C in A.B
    std::string name = ExpectIdentifier();
    SQInteger obj = 0;
    SQInteger keyLit = fs().StringLiteral(name);
    if (_token == '.') {
        Exp path;
        Identifier(path, name);
        while (_token == '.') {
            Lex();
            SQInteger r = ToAnyReg(path);
            name = ExpectIdentifier();
            path.k = E_FIELDK;
            path.reg = r;
            path.key = fs().StringLiteral(name);
        }
        obj = path.reg;
        keyLit = path.key;
    } else {
        SQObjectPtr key(_vm->Str(name.c_str(), static_cast<SQInteger>(name.size())));
        if (fs().FindLocal(key)) Error(sqmsg::CannotCreateAClassInALocal);
    }
    SQInteger key = fs().AllocReg();
    fs().Emit(OP_LOAD, key, keyLit);
    Exp c;
    ClassExp(c);
    ToNextReg(c);
    fs().Emit(OP_NEWSLOT, SQ_NOREG, obj, key, c.reg);
    fs()._freereg = fs().NActive();
}

void SQCompiler::ParseConstScalar(SQObjectPtr& out)
{
    switch (_token) {
    case TK_INTEGER: out = SQObjectPtr(_lex._nvalue); break;
    case TK_FLOAT: out = SQObjectPtr(_lex._fvalue); break;
    case TK_STRING_LITERAL: out = _vm->Str(_lex._svalue.data(), static_cast<SQInteger>(_lex._svalue.size())); break;
    default: Error(sqmsg::ScalarExpectedIntegerFloatOrString);
    }
    Lex();
}

void SQCompiler::ConstStatement()
{
    Lex();
    std::string name = ExpectIdentifier();
    Expect('=');
    SQObjectPtr value;
    ParseConstScalar(value);
    SQObjectPtr key(_vm->Str(name.c_str(), static_cast<SQInteger>(name.size())));
    if (sqtype(_vm->SS()->_consts) == OT_TABLE) _table(_vm->SS()->_consts)->NewSlot(key, value);
}

void SQCompiler::EnumStatement()
{
    Lex();
    std::string name = ExpectIdentifier();
    Expect('{');
    SQObjectPtr table(SQTable::Create(_vm->SS(), 0));
    SQInteger counter = 0;
    while (_token != '}') {
        std::string member = ExpectIdentifier();
        SQObjectPtr value;
        if (_token == '=') {
            Lex();
            ParseConstScalar(value);
        } else {
            value = SQObjectPtr(counter++);
        }
        _table(table)->NewSlot(SQObjectPtr(_vm->Str(member.c_str(), static_cast<SQInteger>(member.size()))), value);
        if (_token == ',') Lex();
    }
    Lex();
    SQObjectPtr key(_vm->Str(name.c_str(), static_cast<SQInteger>(name.size())));
    if (sqtype(_vm->SS()->_consts) == OT_TABLE) _table(_vm->SS()->_consts)->NewSlot(key, table);
}

} // namespace

bool SqCompile(SQVM* vm, SQLEXREADFUNC rg, SQUserPointer up, const char* sourcename, SQObjectPtr& out,
               bool raiseerror, bool lineinfo)
{
    SQCompiler compiler(vm, rg, up, sourcename, lineinfo);
    std::string err;
    SQInteger line = 0, column = 0;
    SQObjectPtr proto;
    bool ok;
    try {
        ok = compiler.Compile(proto, err, line, column);
    } catch (const SQCompileError& e) {
        ok = false;
        err = e.message;
    } catch (const std::bad_alloc&) {   // a compile error, never an escape
        ok = false;
        err = sqmsg::OutOfMemory;   // short enough to need no allocation
    } catch (const std::exception& e) {
        ok = false;
        err = e.what();
    }
    if (!ok) {
        if (raiseerror && vm->SS()->_compilererrorhandler)
            vm->SS()->_compilererrorhandler(vm, err.c_str(), sourcename ? sourcename : "unknown", line, column);
        vm->_lasterror = vm->Str(err.c_str(), static_cast<SQInteger>(err.size()));
        return false;
    }
    out = SQClosure::Create(vm->SS(), _funcproto(proto));
    return true;
}
