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
}
