// Per-function compile state: registers, locals, literals, jumps and the prototype being built.
#pragma once

#include "sqobjects.h"

#include <map>
#include <string>
#include <utility>

struct SQCompileError;

struct SQFuncState {
    SQFuncState(SQSharedState* ss, SQFuncState* parent);

    struct LocalVar {
        SQObjectPtr name;   // null: hidden register, not reported by sq_getlocal
        SQInteger reg;
        SQInteger startop;
        bool isOuter;   // a free variable: read-only
    };

    SQInteger AllocReg();
    void FreeReg(SQInteger r);
    bool IsTemp(SQInteger r) const { return r >= NActive(); }
    SQInteger NActive() const { return static_cast<SQInteger>(_vlocals.size()); }
    SQInteger PushLocal(const SQObjectPtr& name, bool isOuter = false);
    void PopLocals(SQInteger count);   // closes the innermost locals
    const LocalVar* FindLocal(const SQObject& name) const;

    SQInteger Literal(const SQObject& o);
    SQInteger StringLiteral(const std::string& s);
    SQInteger Emit(uint8_t op, SQInteger a0 = 0, SQInteger a1 = 0, SQInteger a2 = 0, SQInteger a3 = 0);
    SQInteger Pc() const { return static_cast<SQInteger>(_proto->_instructions.size()); }
    SQInstruction& At(SQInteger pc) { return _proto->_instructions[static_cast<size_t>(pc)]; }
    void PatchJumpHere(SQInteger pc);   // jump at pc lands at the next emitted instruction
    void PatchJumpTo(SQInteger pc, SQInteger target);
    void AddLineInfo(SQInteger line, bool lineop);
    void Finish(SQInteger line);

    SQSharedState* _ss;
    SQFuncState* _parent;
    SQObjectPtr _protoHolder;
    SQFunctionProto* _proto;
    std::vector<LocalVar> _vlocals;
    SQInteger _freereg = 0;
    SQInteger _stacksize = 1;
    SQInteger _lastline = -1;
    SQInteger _lastjumptarget = -1;   // pc that some jump lands on (no peephole across it)
    SQInteger _traps = 0;   // try blocks open at this point
    std::map<std::pair<uint32_t, uint64_t>, SQInteger> _literalmap;

    struct LoopInfo {
        std::vector<SQInteger> breaks;
        std::vector<SQInteger> continues;
        SQInteger traps;
        bool isSwitch;
    };
    std::vector<LoopInfo> _loops;
};
