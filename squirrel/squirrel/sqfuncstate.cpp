// Per-function compile state: register allocation, literals and instruction emission.
#include "sqfuncstate.h"
#include "sqmessages.h"

#include "sqlexer.h"

SQFuncState::SQFuncState(SQSharedState* ss, SQFuncState* parent) : _ss(ss), _parent(parent)
{
    _proto = new SQFunctionProto();
    _protoHolder = _proto;
}

SQInteger SQFuncState::AllocReg()
{
    SQInteger r = _freereg++;
    if (_freereg > 250) throw SQCompileError{sqmsg::InternalCompilerErrorTooManyLocals};
    if (_freereg > _stacksize) _stacksize = _freereg;
    return r;
}

void SQFuncState::FreeReg(SQInteger r)
{
    if (r >= NActive() && r == _freereg - 1) _freereg--;
}

SQInteger SQFuncState::PushLocal(const SQObjectPtr& name, bool isOuter)
{
    SQInteger reg = NActive();
    _vlocals.push_back(LocalVar{name, reg, Pc(), isOuter});
    if (_freereg < NActive()) _freereg = NActive();
    if (_freereg > _stacksize) _stacksize = _freereg;
    if (_freereg > 250) throw SQCompileError{sqmsg::InternalCompilerErrorTooManyLocals};
    return reg;
}

void SQFuncState::PopLocals(SQInteger count)
{
    for (SQInteger i = 0; i < count; i++) {
        LocalVar& lv = _vlocals.back();
        if (sqtype(lv.name) != OT_NULL) {
            _proto->_localvarinfos.push_back(SQLocalVarInfo{lv.name, lv.startop, Pc() - 1, lv.reg});
        }
        _vlocals.pop_back();
    }
    _freereg = NActive();
}

const SQFuncState::LocalVar* SQFuncState::FindLocal(const SQObject& name) const
{
    for (size_t i = _vlocals.size(); i-- > 0;) {
        if (sqtype(_vlocals[i].name) == OT_STRING && _string(_vlocals[i].name) == _string(name)) return &_vlocals[i];
    }
    return nullptr;
}

SQInteger SQFuncState::Literal(const SQObject& o)
{
    auto key = std::make_pair(static_cast<uint32_t>(o._type), static_cast<uint64_t>(o._unVal.raw));
    auto it = _literalmap.find(key);
    if (it != _literalmap.end()) return it->second;
    SQInteger idx = static_cast<SQInteger>(_proto->_literals.size());
    if (idx >= 0x7FFFFFFF) throw SQCompileError{sqmsg::InternalCompilerErrorTooManyLiterals};
    _proto->_literals.emplace_back(o);
    _literalmap[key] = idx;
    return idx;
}

SQInteger SQFuncState::StringLiteral(const std::string& s)
{
    SQObjectPtr str(SqString(_ss, s.data(), static_cast<SQInteger>(s.size())));
    return Literal(str);
}

SQInteger SQFuncState::Emit(uint8_t op, SQInteger a0, SQInteger a1, SQInteger a2, SQInteger a3)
{
    SQInstruction i;
    i.op = op;
    i.a0 = static_cast<uint8_t>(a0);
    i.a1 = static_cast<int32_t>(a1);
    i.a2 = static_cast<uint8_t>(a2);
    i.a3 = static_cast<uint8_t>(a3);
    _proto->_instructions.push_back(i);
    return Pc() - 1;
}

void SQFuncState::PatchJumpHere(SQInteger pc)
{
    At(pc).a1 = static_cast<int32_t>(Pc() - pc - 1);
    _lastjumptarget = Pc();
}

void SQFuncState::PatchJumpTo(SQInteger pc, SQInteger target)
{
    At(pc).a1 = static_cast<int32_t>(target - pc - 1);
}

void SQFuncState::AddLineInfo(SQInteger line, bool lineop)
{
    if (line == _lastline) return;
    _lastline = line;
    _proto->_lineinfos.push_back(SQLineInfo{line, Pc()});
    if (lineop) Emit(OP_LINE, 0, line);
}

void SQFuncState::Finish(SQInteger line)
{
    (void)line;
    PopLocals(NActive());
    _proto->_stacksize = _stacksize;
    // A jump onto a return on the same line (the end of `return c ? a : b`) returns at once.
    std::vector<SQInstruction>& code = _proto->_instructions;
    const std::vector<SQLineInfo>& lines = _proto->_lineinfos;
    std::vector<SQInteger> lineAt(code.size());
    SQInteger cur = lines.empty() ? 0 : lines[0]._line;
    size_t li = 0;
    for (size_t pc = 0; pc < code.size(); ++pc) {
        while (li < lines.size() && lines[li]._op <= static_cast<SQInteger>(pc)) cur = lines[li++]._line;
        lineAt[pc] = cur;
    }
    for (size_t pc = 0; pc < code.size(); ++pc) {
        if (code[pc].op != OP_JMP) continue;
        const SQInteger target = static_cast<SQInteger>(pc) + 1 + code[pc].a1;
        if (target < 0 || target >= static_cast<SQInteger>(code.size())) continue;
        const SQInstruction& ret = code[static_cast<size_t>(target)];
        if (ret.op == OP_RETURN && lineAt[static_cast<size_t>(target)] == lineAt[pc]) code[pc] = ret;
    }
    // `t = x; return t` returns x straight away; the return stays for jumps that land on it
    for (size_t pc = 1; pc < code.size(); ++pc) {
        const SQInstruction& ret = code[pc];
        SQInstruction& move = code[pc - 1];
        if (ret.op == OP_RETURN && ret.a0 != SQ_NOREG && move.op == OP_MOVE && move.a3 == 0 && move.a0 == ret.a0 &&
            lineAt[pc - 1] == lineAt[pc]) {
            const SQInteger src = move.a1;
            move = ret;
            move.a0 = static_cast<uint8_t>(src);
        }
    }
}
