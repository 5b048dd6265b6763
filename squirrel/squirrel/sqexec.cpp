// The dispatch loop. Fast paths stay inline; everything that can call back into scripts or
// grow the stack goes through SQVM members and writes its result by index afterwards.
#include "sqvm.h"
#include "sqmessages.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

inline SQInteger wrapAdd(SQInteger a, SQInteger b) { return static_cast<SQInteger>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline SQInteger wrapSub(SQInteger a, SQInteger b) { return static_cast<SQInteger>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline SQInteger wrapMul(SQInteger a, SQInteger b) { return static_cast<SQInteger>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b)); }

struct DepthGuard {
    explicit DepthGuard(SQVM* v) : vm(v) { vm->_nnativecalls++; }
    ~DepthGuard() { vm->_nnativecalls--; }
    SQVM* vm;
};

inline bool isInt(const SQObject& o) { return o._type == OT_INTEGER; }
inline bool isNum(const SQObject& o) { return (o._type & SQOBJECT_NUMERIC) != 0; }

inline bool cmpInts(SQInteger op, SQInteger x, SQInteger y)
{
    switch (op) {
    case CMP_G: return x > y;
    case CMP_GE: return x >= y;
    case CMP_L: return x < y;
    default: return x <= y;
    }
}

inline bool cmpNumbers(SQInteger op, const SQObject& a, const SQObject& b)
{
    if (isInt(a) && isInt(b)) {
        SQInteger x = _integer(a), y = _integer(b);
        switch (op) {
        case CMP_G: return x > y;
        case CMP_GE: return x >= y;
        case CMP_L: return x < y;
        default: return x <= y;
        }
    }
    SQFloat x = SqToFloat(a), y = SqToFloat(b);
    switch (op) {
    case CMP_G: return x > y;
    case CMP_GE: return x >= y;
    case CMP_L: return x < y;
    default: return x <= y;
    }
}

inline bool cmpFloats(SQInteger op, SQFloat x, SQFloat y)
{
    switch (op) {
    case CMP_G: return x > y;
    case CMP_GE: return x >= y;
    case CMP_L: return x < y;
    default: return x <= y;
    }
}

// The constant right operand of a K-form instruction as a value.
inline SQObjectPtr constantOperand(const SQInstruction* ins)
{
    if (!(ins->a3 & 0x80)) return SQObjectPtr(static_cast<SQInteger>(ins->a1));
    SQFloat f;
    memcpy(&f, &ins->a1, sizeof f);
    return SQObjectPtr(f);
}

// Where an instance keeps the member `key` (a field or its class's method), or null.
inline const SQObjectPtr* instanceSlot(SQInstance* inst, const SQObject& key)
{
    if (!inst->_class) return nullptr;
    const SQObjectPtr* word = inst->_class->_members->GetPtr(key);
    if (!word) return nullptr;
    SQInteger w = _integer(*word);
    size_t idx = static_cast<size_t>(w & MEMBER_INDEX_MASK);
    return (w & MEMBER_FIELD) ? &inst->_values[idx] : &inst->_class->_methods[idx].val;
}

// Instance field assignment in place; false when there is no such field.
inline bool instanceSet(SQInstance* inst, const SQObject& key, const SQObject& val)
{
    if (!inst->_class) return false;
    const SQObjectPtr* word = inst->_class->_members->GetPtr(key);
    if (!word) return false;
    SQInteger w = _integer(*word);
    if (!(w & MEMBER_FIELD)) return false;
    inst->_values[static_cast<size_t>(w & MEMBER_INDEX_MASK)] = val;
    return true;
}

// A method of the array, string or number default delegate, or null (then the full lookup runs).
inline SQObjectPtr defaultMethod(SQSharedState* ss, const SQObject& self, const SQObject& key)
{
    const SQObjectPtr& dd = sqtype(self) == OT_ARRAY    ? ss->_array_default_delegate
                            : sqtype(self) == OT_STRING ? ss->_string_default_delegate
                                                        : ss->_number_default_delegate;
    if (sqtype(dd) != OT_TABLE) return SQObjectPtr();
    SQObjectPtr* p = _table(dd)->GetPtr(key);
    if (!p || sqtype(*p) == OT_WEAKREF) return SQObjectPtr();
    return *p;
}

} // namespace

// GCC and Clang: dispatch through a table of label addresses
#if defined(__GNUC__)
#define SQ_THREADED_DISPATCH 1
#endif

#define STK(n) stk[n]
#define TARGET stk[ins->a0]
#define SETRESULT(reg, val) (_stack[_stackbase + (reg)] = (val))
// Next instruction straight from a handler that left the stack and frames alone and
// holds no locals with destructors.
#ifdef SQ_THREADED_DISPATCH
#define NEXT() do { \
        stk = _stack + _stackbase; \
        ins = ip++; \
        ci->_ip = ip; \
        goto *handlers[ins->op]; \
    } while (0)
// Same, from a handler that wrote nothing (no value released): the stack cannot have moved.
#define NEXT_SAME_STACK() do { \
        ins = ip++; \
        ci->_ip = ip; \
        goto *handlers[ins->op]; \
    } while (0)
// Same, after a call or return changed frames: the new base and frame come from registers,
// not from the members just stored.
#define NEXT_IN(frame, base) do { \
        stk = _stack + (base); \
        ins = ip++; \
        (frame)->_ip = ip; \
        goto *handlers[ins->op]; \
    } while (0)
#else
#define NEXT() if (true) { ci->_ip = ip; continue; } else (void)0
#define NEXT_SAME_STACK() NEXT()
#define NEXT_IN(frame, base) NEXT()
#endif

#if defined(__GNUC__) && !defined(__clang__)
// keep every handler's own dispatch jump: merged jumps predict badly
__attribute__((optimize("no-crossjumping")))
#endif
bool SQVM::Execute(const SQObjectPtr& closure, SQInteger target, SQInteger nargs, SQInteger stackbase, SQObjectPtr& outres,
                   bool raiseerror, ExecutionType et)
{
    if (_nnativecalls + 1 > SQ_MAX_NATIVE_CALLS) return Raise_Error(sqmsg::NativeStackOverflow);
    DepthGuard depth(this);
    switch (et) {
    case ET_CALL: {
        SQClosure* c = _closure(closure);
        SQFunctionProto* p = c->Proto();
        const SQInteger newtop = stackbase + p->_stacksize;
        if (nargs == c->_plainargs && c->_outervalues.empty() && sqtype(c->_env) == OT_NULL &&
            sqtype(_debughook) == OT_NULL && !CallsExhausted() && !StackExhausted(newtop) &&
            newtop + 24 <= _stacksize && _callsstacksize < static_cast<SQInteger>(_callsstack.size())) {
            // the common call from the host or a native: exact arguments, nothing to bind
            ci = &_callsstack[static_cast<size_t>(_callsstacksize++)];
            // popped frames hold null
            ci->_closure._type = closure._type;
            ci->_closure._unVal = closure._unVal;
            SqAddRef(closure._type, closure._unVal);
            ci->_borrowed = false;
            ci->_ip = p->_instructions.data();
            ci->_literals = p->_literals.data();
            ci->_generator = nullptr;
            ci->_prevstkbase = stackbase - _stackbase;
            ci->_prevtop = _top;
            ci->_target = target;
            ci->_ncalls = 1;
            ci->_etraps = 0;
            ci->_vargs_size = 0;
            ci->_root = true;
            ci->_ctor = false;
            ci->_plain = false;
            _stackbase = stackbase;
            _top = newtop;
            break;
        }
        SQObjectPtr fn = closure;
        if (!StartCall(_closure(fn), target, nargs, stackbase, false)) {
            // failed argument binding: no frame of this call exists
            if ((raiseerror || _callsstacksize == 0) && !_errorreported) {
                _errorreported = true;
                CallErrorHandler(_lasterror);
            }
            return false;
        }
        ci->_root = true;
        ci->_plain = false;
        break;
    }
    case ET_RESUME_GENERATOR:
        if (!ResumeGenerator(_generator(closure), target)) return false;
        ci->_root = true;
        break;
    case ET_RESUME_VM:
        ci->_root = _suspended_root;
        if (ci->_root) ci->_plain = false;
        _suspended = false;
        break;
    }

#ifdef SQ_THREADED_DISPATCH
    // every byte value has an entry, so dispatch needs no range check; the table is a
    // constant, so entering the loop costs no initialisation check
#define SQ_OP_LABEL(name) &&L_OP_##name,
#define SQ_BAD4 &&L_BAD_OPCODE, &&L_BAD_OPCODE, &&L_BAD_OPCODE, &&L_BAD_OPCODE,
#define SQ_BAD32 SQ_BAD4 SQ_BAD4 SQ_BAD4 SQ_BAD4 SQ_BAD4 SQ_BAD4 SQ_BAD4 SQ_BAD4
    static const void* const handlers[OP_COUNT + 256] = {
        SQ_OPCODES(SQ_OP_LABEL)
        SQ_BAD32 SQ_BAD32 SQ_BAD32 SQ_BAD32 SQ_BAD32 SQ_BAD32 SQ_BAD32 SQ_BAD32
    };
#undef SQ_BAD32
#undef SQ_BAD4
#undef SQ_OP_LABEL
#endif

    // the running frame's next instruction, kept here and stored to the frame as dispatch
    // goes; a handler that ends with `continue` works on ci->_ip, which is read back
    SQInstruction* ip;
    const SQInstruction* ins;
    SQObjectPtr* stk;
exception_restore:
    // An allocation that fails anywhere in the loop is raised as a script error here, at the
    // level of the instruction that failed; the unwinding below then restores the frames.
    try {
    for (;;) {
        stk = _stack + _stackbase;
        // the instruction lives in the running prototype, which its frame keeps alive
        ip = ci->_ip;
        ins = ip++;
        ci->_ip = ip;
#ifdef SQ_THREADED_DISPATCH
        // one indirect jump per handler (the compiler copies this block to every
        // `continue`), so the branch predictor learns opcode pairs
        goto *handlers[ins->op];
#endif
        switch (ins->op) {
        case OP_LINE: L_OP_LINE:
            if (sqtype(_debughook) != OT_NULL && !_inhook) CallDebugHook('l', ins->a1);
            continue;
        case OP_LOAD: L_OP_LOAD: TARGET = ci->_literals[ins->a1]; NEXT();
        case OP_LOADINT: L_OP_LOADINT: TARGET.SetInteger(ins->a1); NEXT();
        case OP_LOADFLOAT: L_OP_LOADFLOAT: {
            SQFloat f;
            memcpy(&f, &ins->a1, sizeof f);
            TARGET.SetFloat(f);
            NEXT();
        }
        case OP_LOADNULLS: L_OP_LOADNULLS:
            for (int32_t n = 0; n < ins->a1; n++) STK(ins->a0 + n).Null();
            continue;
        case OP_LOADBOOL: L_OP_LOADBOOL: TARGET.SetBool(ins->a1 != 0); NEXT();
        case OP_LOADROOT: L_OP_LOADROOT: TARGET = _roottable; NEXT();
        case OP_MOVE: L_OP_MOVE:
            TARGET = STK(ins->a1);
            if (ins->a3) STK(ins->a0 + 1) = STK(0);   // a call follows: this for the callee
            NEXT();
        case OP_GETK: L_OP_GETK: {
            const SQObjectPtr& self = STK(ins->a2);
            const SQObjectPtr& key = ci->_literals[ins->a1];
            if (sqtype(self) == OT_TABLE) {
                SQObjectPtr* p = _table(self)->GetPtr(key);
                if (p && sqtype(*p) != OT_WEAKREF) { TARGET = *p; NEXT(); }
            } else if (sqtype(self) == OT_INSTANCE) {
                const SQObjectPtr* p = instanceSlot(_instance(self), key);
                if (p && sqtype(*p) != OT_WEAKREF) { TARGET = *p; NEXT(); }
                SQObjectPtr v;
                if (_instance(self)->Get(key, v)) { TARGET = std::move(v); continue; }
            }
            SQObjectPtr s = self, k = key, res;
            if (!Get(s, k, res, false, false)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_GET: L_OP_GET: {
            const SQObjectPtr& self = STK(ins->a1);
            const SQObjectPtr& key = STK(ins->a2);
            if (sqtype(self) == OT_ARRAY && sqtype(key) == OT_INTEGER) {
                SQInteger idx = _integer(key);
                SQArray* a = _array(self);
                if (idx >= 0 && idx < a->Size() && sqtype(a->_values[static_cast<size_t>(idx)]) != OT_WEAKREF) {
                    TARGET = a->_values[static_cast<size_t>(idx)];
                    NEXT();
                }
            } else if (sqtype(self) == OT_TABLE) {
                SQObjectPtr* p = _table(self)->GetPtr(key);
                if (p && sqtype(*p) != OT_WEAKREF) { TARGET = *p; NEXT(); }
            } else if (sqtype(self) == OT_STRING && sqtype(key) == OT_INTEGER) {
                SQInteger idx = _integer(key);
                SQString* str = _string(self);
                if (idx >= 0 && idx < str->_len) {
                    TARGET.SetInteger(static_cast<signed char>(str->_val[idx]));
                    NEXT();
                }
            }
            SQObjectPtr s = self, k = key, res;
            if (!Get(s, k, res, false, false)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_GETENV: L_OP_GETENV: {
            // a3 = 1: a call follows, this goes to a0 + 1
            const SQObjectPtr& self = STK(0);
            const SQObjectPtr& key = ci->_literals[ins->a1];
            if (sqtype(self) == OT_TABLE) {
                SQObjectPtr* p = _table(self)->GetPtr(key);
                if (p && sqtype(*p) != OT_WEAKREF) {
                    TARGET = *p;
                    if (ins->a3) STK(ins->a0 + 1) = STK(0);
                    NEXT();
                }
            } else if (sqtype(self) == OT_INSTANCE) {
                const SQObjectPtr* p = instanceSlot(_instance(self), key);
                if (p && sqtype(*p) != OT_WEAKREF) {
                    TARGET = *p;
                    if (ins->a3) STK(ins->a0 + 1) = STK(0);
                    NEXT();
                }
                SQObjectPtr v;
                if (_instance(self)->Get(key, v)) {
                    TARGET = std::move(v);
                    if (ins->a3) STK(ins->a0 + 1) = STK(0);
                    continue;
                }
            }
            SQObjectPtr s = self, k = key, res;
            if (!Get(s, k, res, false, true)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            if (ins->a3) SETRESULT(ins->a0 + 1, _stack[_stackbase]);
            continue;
        }
        case OP_SET: L_OP_SET: {
            const SQObjectPtr& self = STK(ins->a1);
            const SQObjectPtr& key = STK(ins->a2);
            const SQObjectPtr& val = STK(ins->a3);
            if (sqtype(self) == OT_ARRAY && sqtype(key) == OT_INTEGER && _integer(key) >= 0 &&
                _integer(key) < _array(self)->Size()) {
                _array(self)->_values[static_cast<size_t>(_integer(key))] = val;
            } else if (sqtype(self) == OT_TABLE && _table(self)->Set(key, val)) {
                // done
            } else if (sqtype(self) == OT_INSTANCE && instanceSet(_instance(self), key, val)) {
                // done
            } else {
                SQObjectPtr s = self, k = key, v = val;
                if (!Set(s, k, v, false)) goto exception_trap;
                stk = _stack + _stackbase;
            }
            if (ins->a0 != SQ_NOREG) TARGET = STK(ins->a3);
            NEXT();
        }
        case OP_SETK: L_OP_SETK: {
            const SQObjectPtr& self = STK(ins->a2);
            const SQObjectPtr& key = ci->_literals[ins->a1];
            const SQObjectPtr& val = STK(ins->a3);
            if (!(sqtype(self) == OT_TABLE && _table(self)->Set(key, val)) &&
                !(sqtype(self) == OT_INSTANCE && instanceSet(_instance(self), key, val))) {
                SQObjectPtr s = self, k = key, v = val;
                if (!Set(s, k, v, false)) goto exception_trap;
                stk = _stack + _stackbase;
            }
            if (ins->a0 != SQ_NOREG) TARGET = STK(ins->a3);
            NEXT();
        }
        case OP_SETENV: L_OP_SETENV: {
            const SQObjectPtr& self = STK(0);
            const SQObjectPtr& key = ci->_literals[ins->a1];
            const SQObjectPtr& val = STK(ins->a2);
            if (!(sqtype(self) == OT_TABLE && _table(self)->Set(key, val)) &&
                !(sqtype(self) == OT_INSTANCE && instanceSet(_instance(self), key, val))) {
                SQObjectPtr s = self, k = key, v = val;
                if (!Set(s, k, v, true)) goto exception_trap;
                stk = _stack + _stackbase;
            }
            if (ins->a0 != SQ_NOREG) TARGET = STK(ins->a2);
            NEXT();
        }
        case OP_NEWSLOT: L_OP_NEWSLOT: {
            const SQObjectPtr& self = STK(ins->a1);
            if (sqtype(self) == OT_TABLE && !_table(self)->_delegate && sqtype(STK(ins->a2)) != OT_NULL) {
                _table(self)->NewSlot(STK(ins->a2), STK(ins->a3));
            } else {
                SQObjectPtr s = self, k = STK(ins->a2), v = STK(ins->a3);
                if (!NewSlot(s, k, v, false)) goto exception_trap;
                stk = _stack + _stackbase;
            }
            if (ins->a0 != SQ_NOREG) TARGET = STK(ins->a3);
            NEXT();
        }
        case OP_DELETE: L_OP_DELETE: {
            SQObjectPtr s = STK(ins->a1), k = STK(ins->a2), res;
            if (!DeleteSlot(s, k, res)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_PREPCALL: L_OP_PREPCALL: case OP_PREPCALLK: L_OP_PREPCALLK: {
            const SQObjectPtr& key = ins->op == OP_PREPCALLK ? ci->_literals[ins->a1] : STK(ins->a1);
            const SQObjectPtr& self = STK(ins->a2);
            SQObjectPtr fn;
            const SQObjectPtr* islot;
            bool classThis = false;
            if (sqtype(self) == OT_TABLE) {
                SQObjectPtr* p = _table(self)->GetPtr(key);
                if (p && sqtype(*p) != OT_WEAKREF) fn = *p;
                else {
                    SQObjectPtr s = self, k = key;
                    if (!Get(s, k, fn, false, false)) goto exception_trap;
                    stk = _stack + _stackbase;
                }
            } else if (sqtype(self) == OT_INSTANCE && (islot = instanceSlot(_instance(self), key)) != nullptr) {
                fn = *islot;
                SqDerefWeak(fn);
                // found as a member
            } else if ((sqtype(self) == OT_ARRAY || sqtype(self) == OT_STRING) && !(sqtype(key) & SQOBJECT_NUMERIC) &&
                       (fn = defaultMethod(_sharedstate, self, key), sqtype(fn) != OT_NULL)) {
                // a built-in method: arrays and strings have no delegates of their own
            } else if ((sqtype(self) & SQOBJECT_NUMERIC) && sqtype(key) == OT_STRING &&
                       (fn = defaultMethod(_sharedstate, self, key), sqtype(fn) != OT_NULL)) {
                // a number's built-in method
            } else if (sqtype(self) == OT_ARRAY && sqtype(key) == OT_INTEGER && _integer(key) >= 0 &&
                       _integer(key) < _array(self)->Size() &&
                       sqtype(_array(self)->_values[static_cast<size_t>(_integer(key))]) != OT_WEAKREF) {
                fn = _array(self)->_values[static_cast<size_t>(_integer(key))];
            } else {
                SQObjectPtr s = self, k = key;
                if (sqtype(self) == OT_CLASS && _class(self)->Get(key, fn)) {
                    classThis = true;   // Cls.method(): the caller's this is passed
                } else {
                    if (!Get(s, k, fn, false, false)) goto exception_trap;
                }
                stk = _stack + _stackbase;
            }
            if (classThis) STK(ins->a3) = STK(0);
            else STK(ins->a3) = STK(ins->a2);
            STK(ins->a0) = std::move(fn);
            continue;
        }
        case OP_CALL: L_OP_CALL: {
            // the common call inline: a script function binding exactly these arguments by
            // itself, no environment, room on both stacks
            const SQObjectPtr& fn = STK(ins->a1);
            if (sqtype(fn) != OT_CLOSURE) goto call_any;
            SQClosure* c = _closure(fn);
            SQFunctionProto* p = c->Proto();
            SQInteger newbase = _stackbase + ins->a2;
            if (ins->a3 != c->_plainargs || sqtype(c->_env) != OT_NULL || ci >= &_callsstack.back() ||
                _callsstacksize >= SQ_MAX_CALL_DEPTH || newbase + p->_stacksize + 24 > _stacksize)
                goto call_any;
            SQInteger prevtop = _top;
            size_t nouters = c->_outervalues.size();
            for (size_t k = 0; k < nouters; k++) _stack[newbase + ins->a3 + static_cast<SQInteger>(k)] = c->_outervalues[k];
            SQCallInfo* const frame = ci + 1;   // the frame above the running one
            ci = frame;
            ++_callsstacksize;
            // popped frames hold null; a function register below the callee's base
            // outlives the call, so the frame need not count its closure
            ci->_borrowed = ins->a1 < ins->a2;
            if (ci->_borrowed) {
                ci->_closure._type = fn._type;
                ci->_closure._unVal = fn._unVal;
            } else {
                ci->_closure = fn;
            }
            ci->_ip = ip = p->_instructions.data();
            ci->_literals = p->_literals.data();
            ci->_generator = nullptr;
            ci->_prevstkbase = ins->a2;
            ci->_prevtop = prevtop;
            ci->_target = ins->a0 == SQ_NOREG ? -1 : ins->a0;
            ci->_ncalls = 1;
            ci->_etraps = 0;
            ci->_vargs_size = 0;   // the base matters only with varargs
            ci->_root = false;
            ci->_ctor = false;
            ci->_plain = true;
            _stackbase = newbase;
            _top = newbase + p->_stacksize;
            if (sqtype(_debughook) != OT_NULL && !_inhook) {
                CallDebugHook('c');
                NEXT();
            }
            NEXT_IN(frame, newbase);
        }
        case OP_TAILCALL: L_OP_TAILCALL:
        call_any: {
            SQObjectPtr& fn = STK(ins->a1);
            SQInteger tgt = ins->a0 == SQ_NOREG ? -1 : ins->a0;
            switch (sqtype(fn)) {
            case OT_CLOSURE: {
                SQClosure* c = _closure(fn);
                if (c->Proto()->_bgenerator) {
                    SQObjectPtr gen;
                    SQObjectPtr hold = fn;
                    if (!CreateGenerator(c, ins->a3, _stackbase + ins->a2, gen)) goto exception_trap;
                    if (tgt != -1) SETRESULT(tgt, std::move(gen));
                    continue;
                }
                if (ins->op == OP_TAILCALL && ci->_etraps == 0 && !ci->_ctor && !ci->_generator) {
                    SQFunctionProto* tp = c->Proto();
                    if (ins->a3 == c->_plainargs && sqtype(c->_env) == OT_NULL && sqtype(_debughook) == OT_NULL &&
                        _stackbase + tp->_stacksize + 24 <= _stacksize) {
                        // nothing to bind: the frame is handed to the callee as it is; it takes
                        // its reference to the closure before the registers holding it change
                        SQObject held = fn;
                        SqAddRef(held._type, held._unVal);
                        for (SQInteger n = 0; n < ins->a3; n++) _stack[_stackbase + n] = _stack[_stackbase + ins->a2 + n];
                        if (ci->_vargs_size) {
                            _vargsstack.resize(static_cast<size_t>(ci->_vargs_base));
                            ci->_vargs_size = 0;
                        }
                        size_t nouters = c->_outervalues.size();
                        for (size_t k = 0; k < nouters; k++) _stack[_stackbase + ins->a3 + static_cast<SQInteger>(k)] = c->_outervalues[k];
                        ci->_ncalls++;
                        ci->DropClosure();   // may free the running function: ins is not read again
                        ci->_closure._type = held._type;
                        ci->_closure._unVal = held._unVal;
                        ci->_literals = tp->_literals.data();
                        ip = tp->_instructions.data();
                        SQInteger newtop = _stackbase + tp->_stacksize;
                        for (SQInteger n = newtop; n < _top; n++) _stack[n].Null();
                        _top = newtop;
                        NEXT();
                    }
                    SQObjectPtr hold = fn;
                    for (SQInteger n = 0; n < ins->a3; n++) STK(n) = STK(ins->a2 + n);
                    if (ci->_vargs_size) {
                        _vargsstack.resize(static_cast<size_t>(ci->_vargs_base));
                        ci->_vargs_size = 0;
                    }
                    if (!StartCall(_closure(hold), ci->_target, ins->a3, _stackbase, true)) goto exception_trap;
                    continue;
                }
                if (!StartCall(c, tgt, ins->a3, _stackbase + ins->a2, false)) goto exception_trap;
                continue;
            }
            case OT_NATIVECLOSURE: {
                SQNativeClosure* nc = _nativeclosure(fn);
                const SQObjectPtr& self = STK(ins->a2);
                if ((nc->_function == SqDefaultToInteger || nc->_function == SqDefaultToFloat) && ins->a3 == 1 &&
                    (sqtype(self) == OT_INTEGER || sqtype(self) == OT_FLOAT) && sqtype(nc->_env) == OT_NULL &&
                    (nc->_typecheck.empty() || nc->_typecheck[0] == -1 || (nc->_typecheck[0] & _RAW_TYPE(sqtype(self)))) &&
                    _callsstacksize < SQ_MAX_CALL_DEPTH && _nnativecalls < SQ_MAX_NATIVE_CALLS) {
                    // a number's conversion needs no frame
                    if (tgt != -1) {
                        if (nc->_function == SqDefaultToInteger) STK(tgt).SetInteger(SqToInteger(self));
                        else STK(tgt).SetFloat(SqToFloat(self));
                    }
                    continue;
                }
                SQObjectPtr hold = fn;
                SQObjectPtr ret;
                bool suspend;
                if (!CallNative(_nativeclosure(hold), ins->a3, _stackbase + ins->a2, ret, suspend)) goto exception_trap;
                if (suspend) {
                    _suspended = true;
                    _suspended_target = tgt;
                    _suspended_root = ci->_root;
                    outres = ret;
                    return true;
                }
                if (tgt != -1) SETRESULT(tgt, std::move(ret));
                continue;
            }
            case OT_CLASS: {
                SQObjectPtr hold = fn;
                if (!CallClass(_class(hold), tgt, ins->a3, _stackbase + ins->a2)) goto exception_trap;
                continue;
            }
            case OT_TABLE: case OT_USERDATA: case OT_INSTANCE: {
                SQObjectPtr obj = fn, res;
                if (!Call(obj, ins->a3, _stackbase + ins->a2, res, false)) goto exception_trap;
                if (tgt != -1) SETRESULT(tgt, std::move(res));
                continue;
            }
            default:
                Raise_Error(sqmsg::AttemptToCall, SqTypeName(sqtype(fn)));
                goto exception_trap;
            }
        }
#define ARITH_CASE(OPC, opchar, INTEXPR, FLTEXPR) \
        case OPC: L_##OPC: { \
            const SQObjectPtr& a = STK(ins->a1); \
            const SQObjectPtr& b = STK(ins->a2); \
            if (isInt(a) && isInt(b)) { SQInteger x = _integer(a), y = _integer(b); TARGET.SetInteger(INTEXPR); NEXT(); } \
            if (isNum(a) && isNum(b)) { SQFloat x = SqToFloat(a), y = SqToFloat(b); TARGET.SetFloat(FLTEXPR); NEXT(); } \
            SQObjectPtr x = a, y = b, res; \
            if (!ArithOp(opchar, res, x, y)) goto exception_trap; \
            SETRESULT(ins->a0, std::move(res)); \
            continue; \
        }
        ARITH_CASE(OP_ADD, '+', wrapAdd(x, y), x + y)
        ARITH_CASE(OP_SUB, '-', wrapSub(x, y), x - y)
#undef ARITH_CASE
        case OP_MUL: L_OP_MUL: case OP_DIV: L_OP_DIV: case OP_MOD: L_OP_MOD: {
            const SQObjectPtr& a = STK(ins->a1);
            const SQObjectPtr& b = STK(ins->a2);
            if (ins->op == OP_MUL) {
                if (isInt(a) && isInt(b)) { TARGET.SetInteger(wrapMul(_integer(a), _integer(b))); NEXT(); }
                if (isNum(a) && isNum(b)) { TARGET.SetFloat(SqToFloat(a) * SqToFloat(b)); NEXT(); }
                SQObjectPtr x = a, y = b, res;
                if (!ArithOp('*', res, x, y)) goto exception_trap;
                SETRESULT(ins->a0, std::move(res));
                continue;
            }
            if (isInt(a) && isInt(b)) {
                SQInteger x = _integer(a), y = _integer(b);
                if (y == 0) { Raise_Error(sqmsg::DivisionByZero); goto exception_trap; }
                if (ins->op == OP_DIV) TARGET.SetInteger(y == -1 ? wrapSub(0, x) : x / y);
                else TARGET.SetInteger(y == -1 ? 0 : x % y);
                NEXT();
            }
            if (isNum(a) && isNum(b)) {
                SQFloat x = SqToFloat(a), y = SqToFloat(b);
                if (ins->op == OP_DIV) TARGET.SetFloat(x / y);
                else TARGET.SetFloat(static_cast<SQFloat>(fmod(static_cast<double>(x), static_cast<double>(y))));
                NEXT();
            }
            SQObjectPtr x = a, y = b, res;
            if (!ArithOp(ins->op == OP_DIV ? '/' : '%', res, x, y)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        // constant right operand: integer a1, or float bits when a3 & 0x80; each has its own
        // integer path, the rest is shared
#define ARITHK_INT_CASE(OPC, INTEXPR) \
        case OPC: L_##OPC: { \
            const SQObjectPtr& a = STK(ins->a2); \
            if (isInt(a) && !(ins->a3 & 0x80)) { SQInteger x = _integer(a), y = ins->a1; TARGET.SetInteger(INTEXPR); NEXT(); } \
            goto arith_k; \
        }
        ARITHK_INT_CASE(OP_ADDK, wrapAdd(x, y))
        ARITHK_INT_CASE(OP_SUBK, wrapSub(x, y))
        ARITHK_INT_CASE(OP_MULK, wrapMul(x, y))
#undef ARITHK_INT_CASE
        case OP_DIVK: L_OP_DIVK: case OP_MODK: L_OP_MODK:
        arith_k: {
            const SQObjectPtr& a = STK(ins->a2);
            const uint8_t op = ins->op;
            if (isInt(a) && !(ins->a3 & 0x80)) {
                const SQInteger x = _integer(a), y = ins->a1;
                if (y == 0) { Raise_Error(sqmsg::DivisionByZero); goto exception_trap; }
                if (op == OP_DIVK) TARGET.SetInteger(y == -1 ? wrapSub(0, x) : x / y);
                else TARGET.SetInteger(y == -1 ? 0 : x % y);
                NEXT();
            }
            if (isNum(a)) {
                SQFloat y;
                if (ins->a3 & 0x80) memcpy(&y, &ins->a1, sizeof y);
                else y = static_cast<SQFloat>(ins->a1);
                const SQFloat x = SqToFloat(a);
                switch (op) {
                case OP_ADDK: TARGET.SetFloat(x + y); NEXT();
                case OP_SUBK: TARGET.SetFloat(x - y); NEXT();
                case OP_MULK: TARGET.SetFloat(x * y); NEXT();
                case OP_DIVK: TARGET.SetFloat(x / y); NEXT();
                default: TARGET.SetFloat(static_cast<SQFloat>(fmod(static_cast<double>(x), static_cast<double>(y)))); NEXT();
                }
            }
            SQObjectPtr x = a, res;
            SQObjectPtr y = constantOperand(ins);
            static const char kOps[] = {'+', '-', '*', '/', '%'};
            if (!ArithOp(kOps[op - OP_ADDK], res, x, y)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_INCL: L_OP_INCL: {
            SQObjectPtr& v = STK(ins->a1);
            SQInteger d = static_cast<int8_t>(ins->a3);
            if (isInt(v)) {
                SQInteger old = _integer(v);
                v._unVal.nInteger = wrapAdd(old, d);
                if (ins->a0 != SQ_NOREG) TARGET.SetInteger(ins->a2 ? old : _integer(v));
                NEXT();
            }
            if (sqtype(v) == OT_FLOAT) {
                SQFloat old = _float(v);
                v._unVal.fFloat = old + static_cast<SQFloat>(d);
                if (ins->a0 != SQ_NOREG) TARGET.SetFloat(ins->a2 ? old : _float(v));
                NEXT();
            }
            SQObjectPtr old = v, y(d), res;
            if (!ArithOp('+', res, old, y)) goto exception_trap;
            SETRESULT(ins->a1, res);
            if (ins->a0 != SQ_NOREG) SETRESULT(ins->a0, ins->a2 ? old : res);
            continue;
        }
        case OP_BITW: L_OP_BITW: case OP_BITWK: L_OP_BITWK: {
            const bool k = ins->op == OP_BITWK;
            const SQObjectPtr& a = STK(k ? ins->a2 : ins->a1);
            SQObject imm;   // plain: no destructor, so handlers may jump on directly
            imm._type = OT_INTEGER;
            imm._unVal.raw = 0;
            imm._unVal.nInteger = ins->a1;
            const SQObject& b = k ? imm : static_cast<const SQObject&>(STK(ins->a2));
            if (isInt(a) && isInt(b)) {
                uint32_t x = static_cast<uint32_t>(_integer(a)), y = static_cast<uint32_t>(_integer(b));
                SQInteger r;
                switch (ins->a3 & 0x7F) {
                case BW_AND: r = static_cast<SQInteger>(x & y); break;
                case BW_OR: r = static_cast<SQInteger>(x | y); break;
                case BW_XOR: r = static_cast<SQInteger>(x ^ y); break;
                case BW_SHIFTL: r = static_cast<SQInteger>(x << (y & 31)); break;
                case BW_SHIFTR: r = _integer(a) >> (y & 31); break;
                default: r = static_cast<SQInteger>(x >> (y & 31)); break;
                }
                TARGET.SetInteger(r);
                NEXT();
            }
            Raise_Error(sqmsg::BitwiseOpBetweenAnd, SqTypeName(sqtype(a)), SqTypeName(sqtype(b)));
            goto exception_trap;
        }
        case OP_EQ: L_OP_EQ: case OP_NE: L_OP_NE: {
            const SQObjectPtr& a = STK(ins->a1);
            const SQObjectPtr& b = STK(ins->a2);
            const bool eq = isInt(a) && isInt(b) ? _integer(a) == _integer(b) : IsEqual(a, b);
            TARGET.SetBool(ins->op == OP_EQ ? eq : !eq);
            NEXT();
        }
        case OP_CMP: L_OP_CMP: {
            const SQObjectPtr& a = STK(ins->a1);
            const SQObjectPtr& b = STK(ins->a2);
            if (isNum(a) && isNum(b)) { TARGET.SetBool(cmpNumbers(ins->a3, a, b)); NEXT(); }
            SQObjectPtr x = a, y = b;
            bool r;
            if (!CmpOp(ins->a3, x, y, r)) goto exception_trap;
            SETRESULT(ins->a0, SQObjectPtr::Bool(r));
            continue;
        }
        case OP_CMPK: L_OP_CMPK: {
            const SQObjectPtr& a = STK(ins->a2);
            const SQInteger op = ins->a3 & 0x7F;
            if (!(ins->a3 & 0x80)) {
                if (isInt(a)) { TARGET.SetBool(cmpInts(op, _integer(a), ins->a1)); NEXT(); }
                if (sqtype(a) == OT_FLOAT) { TARGET.SetBool(cmpFloats(op, _float(a), static_cast<SQFloat>(ins->a1))); NEXT(); }
            } else if (isNum(a)) {
                SQFloat y;
                memcpy(&y, &ins->a1, sizeof y);
                TARGET.SetBool(cmpFloats(op, SqToFloat(a), y));
                NEXT();
            }
            SQObjectPtr x = a;
            SQObjectPtr y = constantOperand(ins);
            bool r;
            if (!CmpOp(op, x, y, r)) goto exception_trap;
            SETRESULT(ins->a0, SQObjectPtr::Bool(r));
            continue;
        }
        case OP_JCMPK: L_OP_JCMPK: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQObjectPtr& b = ci->_literals[ins->a2];
            if (isInt(a) && isInt(b)) {
                if (!cmpInts(ins->a3, _integer(a), _integer(b))) ip += ins->a1;
                NEXT_SAME_STACK();
            }
            goto jcmp_any;
        }
        case OP_JCMP: L_OP_JCMP:
        jcmp_any: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQObjectPtr& b = ins->op == OP_JCMPK ? ci->_literals[ins->a2] : STK(ins->a2);
            if (isNum(a) && isNum(b)) {
                if (!cmpNumbers(ins->a3, a, b)) ip += ins->a1;
                NEXT_SAME_STACK();
            }
            SQObjectPtr x = a, y = b;
            bool r;
            if (!CmpOp(ins->a3, x, y, r)) goto exception_trap;
            if (!r) ci->_ip += ins->a1;
            continue;
        }
        case OP_FORLOOP: L_OP_FORLOOP: {
            SQObjectPtr& v = STK(ins->a0);
            const SQInteger d = static_cast<int8_t>(ins->a3) >> 3;
            const SQInteger op = ins->a3 & 3;
            const SQObjectPtr& b = (ins->a3 & 4) ? ci->_literals[ins->a2] : STK(ins->a2);
            if (isInt(v) && isInt(b)) {
                const SQInteger x = wrapAdd(_integer(v), d);
                v._unVal.nInteger = x;
                if (cmpInts(op, x, _integer(b))) ip += ins->a1;
                NEXT_SAME_STACK();
            }
            if (isInt(v)) {
                v._unVal.nInteger = wrapAdd(_integer(v), d);
            } else if (sqtype(v) == OT_FLOAT) {
                v._unVal.fFloat = _float(v) + static_cast<SQFloat>(d);
            } else {
                SQObjectPtr old = v, y(d), res;
                if (!ArithOp('+', res, old, y)) goto exception_trap;
                SETRESULT(ins->a0, std::move(res));
            }
            // a metamethod may have moved the stack: registers are read again
            const SQObjectPtr& x = _stack[_stackbase + ins->a0];
            const SQObjectPtr& bound = (ins->a3 & 4) ? ci->_literals[ins->a2] : _stack[_stackbase + ins->a2];
            if (isNum(x) && isNum(bound)) {
                if (cmpNumbers(op, x, bound)) ci->_ip += ins->a1;
                continue;
            }
            SQObjectPtr xx = x, yy = bound;
            bool r;
            if (!CmpOp(op, xx, yy, r)) goto exception_trap;
            if (r) ci->_ip += ins->a1;
            continue;
        }
        case OP_JMP: L_OP_JMP: ip += ins->a1; NEXT_SAME_STACK();
        case OP_JZ: L_OP_JZ: if (SqIsFalse(STK(ins->a0))) ip += ins->a1; NEXT_SAME_STACK();
        case OP_JNZ: L_OP_JNZ: if (!SqIsFalse(STK(ins->a0))) ip += ins->a1; NEXT_SAME_STACK();
        case OP_NEG: L_OP_NEG: {
            const SQObjectPtr& a = STK(ins->a1);
            if (isInt(a)) { TARGET.SetInteger(wrapSub(0, _integer(a))); NEXT(); }
            if (sqtype(a) == OT_FLOAT) { TARGET.SetFloat(-_float(a)); NEXT(); }
            SQObjectPtr x = a, res;
            if (!NegOp(res, x)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_NOT: L_OP_NOT: TARGET.SetBool(SqIsFalse(STK(ins->a1))); NEXT();
        case OP_BWNOT: L_OP_BWNOT:
            if (isInt(STK(ins->a1))) { TARGET.SetInteger(~_integer(STK(ins->a1))); continue; }
            Raise_Error(sqmsg::AttemptToPerformABitwiseOpOn, SqTypeName(sqtype(STK(ins->a1))));
            goto exception_trap;
        case OP_EXISTS: L_OP_EXISTS: {
            SQObjectPtr c = STK(ins->a1), k = STK(ins->a2);
            bool r = Exists(c, k);
            SETRESULT(ins->a0, SQObjectPtr::Bool(r));
            continue;
        }
        case OP_INSTANCEOF: L_OP_INSTANCEOF: {
            bool r;
            if (!InstanceOf(STK(ins->a1), STK(ins->a2), r)) goto exception_trap;
            TARGET.SetBool(r);
            continue;
        }
        case OP_TYPEOF: L_OP_TYPEOF: {
            SQObjectPtr x = STK(ins->a1), res;
            TypeOf(x, res);
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_CLONE: L_OP_CLONE: {
            SQObjectPtr x = STK(ins->a1), res;
            if (!Clone(x, res)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_GETPARENT: L_OP_GETPARENT: {
            SQObjectPtr res;
            if (!GetParent(STK(ins->a1), res)) goto exception_trap;
            TARGET = std::move(res);
            continue;
        }
        case OP_DELEGATE: L_OP_DELEGATE: {
            if (!DelegateOp(STK(ins->a2), STK(ins->a1))) goto exception_trap;
            TARGET = STK(ins->a2);
            continue;
        }
        case OP_CLOSURE: L_OP_CLOSURE: {
            SQFunctionProto* p = _funcproto(_closure(ci->_closure)->Proto()->_functions[static_cast<size_t>(ins->a1)]);
            SQObjectPtr res;
            if (!CreateClosure(p, ins->a2, res)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_LOADFREEVAR: L_OP_LOADFREEVAR:
            TARGET = _closure(ci->_closure)->_outervalues[static_cast<size_t>(ins->a1)];
            NEXT();
        case OP_VARGC: L_OP_VARGC: TARGET.SetInteger(ci->_vargs_size); continue;
        case OP_GETVARGV: L_OP_GETVARGV: {
            const SQObjectPtr& idx = STK(ins->a1);
            if (ci->_vargs_size == 0) { Raise_Error(sqmsg::TheFunctionDoesnTHaveVarArgs); goto exception_trap; }
            if (!isNum(idx)) { Raise_Error(sqmsg::IndexingVargvWith, SqTypeName(sqtype(idx))); goto exception_trap; }
            SQInteger n = SqToInteger(idx);
            if (n < 0 || n >= ci->_vargs_size) { Raise_Error(sqmsg::VargvIndexOutOfRange); goto exception_trap; }
            TARGET = _vargsstack[static_cast<size_t>(ci->_vargs_base + n)];
            continue;
        }
        case OP_NEWTABLE: L_OP_NEWTABLE: TARGET = SQTable::Create(_sharedstate, ins->a1); continue;
        case OP_NEWARRAY: L_OP_NEWARRAY: {
            SQArray* a = SQArray::Create(_sharedstate, 0);
            TARGET = a;   // held before the reserve, which can fail
            a->_values.reserve(static_cast<size_t>(ins->a1));
            continue;
        }
        case OP_APPENDARRAY: L_OP_APPENDARRAY:
            // a loaded file's code may name any register here
            if (sqtype(STK(ins->a0)) != OT_ARRAY) { Raise_Error(sqmsg::InternalVmErrorArrayExpected); goto exception_trap; }
            _array(STK(ins->a0))->_values.push_back(STK(ins->a1));
            continue;
        case OP_CLASS: L_OP_CLASS: {
            SQObjectPtr res;
            if (!CreateClass(ins->a1, ins->a2 == SQ_NOREG ? -1 : ins->a2, res)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_NEWMEMBER: L_OP_NEWMEMBER: case OP_NEWSTATIC: L_OP_NEWSTATIC: {
            SQObjectPtr cls = STK(ins->a0), key = STK(ins->a2), val = STK(ins->a3);
            SQObjectPtr attrs = ins->a1 >= 0 ? STK(ins->a1) : SQObjectPtr();
            if (!NewMember(cls, key, val, attrs, ins->op == OP_NEWSTATIC)) goto exception_trap;
            continue;
        }
        case OP_RETURN: L_OP_RETURN: {
            if (ci->_plain && sqtype(_debughook) == OT_NULL) {
                // the value is held raw so no destructor is pending and the next handler
                // follows directly; a plain frame always has a caller frame
                SQObject r;
                r._type = OT_NULL;
                r._unVal.raw = 0;
                if (ins->a0 != SQ_NOREG) {
                    SQObjectPtr& src = STK(ins->a0);
                    r._type = src._type;
                    r._unVal = src._unVal;
                    src._type = OT_NULL;
                    src._unVal.raw = 0;
                }
                SQInteger tgt = ci->_target;
                SQInteger first = _stackbase, last = _top;
                const SQInteger base = first - ci->_prevstkbase;
                _stackbase = base;
                _top = ci->_prevtop;
                SQObject fn = ci->_closure;
                const bool owned = !ci->_borrowed;
                ci->_closure._type = OT_NULL;
                ci->_closure._unVal.raw = 0;
                ci->_borrowed = false;
                --_callsstacksize;
                --ci;
                ip = ci->_ip;
                // the callee's slots start at its `this`: the caller's call temps are dead now
                ReleaseSlots(first, last);
                if (owned) SqRelease(fn._type, fn._unVal);
                if (tgt != -1) {
                    SQObjectPtr& d = _stack[_stackbase + tgt];
                    SQObjectType oldType = d._type;
                    SQObjectValue oldVal = d._unVal;
                    d._type = r._type;
                    d._unVal = r._unVal;
                    SqRelease(oldType, oldVal);
                } else {
                    SqRelease(r._type, r._unVal);
                }
                // a release above may have run a hook that moved the frames: ci is read again
                NEXT_IN(ci, base);
            }
            if (!ci->_ctor && ci->_root && !ci->_generator && ci->_etraps == 0 && ci->_vargs_size == 0 &&
                sqtype(_debughook) == OT_NULL) {
                // the end of a call from the host or a native: the value goes to outres
                // as it is, once the frame is popped and its slots are let go
                SQObject r;
                r._type = OT_NULL;
                r._unVal.raw = 0;
                if (ins->a0 != SQ_NOREG) {
                    SQObjectPtr& src = STK(ins->a0);
                    r = src;
                    src._type = OT_NULL;
                    src._unVal.raw = 0;
                }
                const SQInteger first = _stackbase, last = _top;
                _stackbase -= ci->_prevstkbase;
                _top = ci->_prevtop;
                bool owned;
                const SQObject fn = ci->TakeClosure(owned);
                ci = --_callsstacksize ? ci - 1 : nullptr;
                if (owned) SqRelease(fn._type, fn._unVal);
                ReleaseSlots(first, last);
                SQObject old = outres;
                outres._type = r._type;
                outres._unVal = r._unVal;
                SqRelease(old._type, old._unVal);
                return true;
            }
            SQObjectPtr ret;
            if (ci->_ctor) ret = STK(0);
            else if (ins->a0 != SQ_NOREG) ret = std::move(STK(ins->a0));
            if (ci->_generator) ci->_generator->Kill();
            bool root = ci->_root;
            SQInteger tgt = ci->_target;
            if (sqtype(_debughook) != OT_NULL && !_inhook) CallDebugHook('r');
            if (!root && ci->_etraps == 0 && ci->_vargs_size == 0) {
                // common case inline: a script frame returning to a script frame
                LeaveFrame();
                if (tgt != -1) SETRESULT(tgt, std::move(ret));
                continue;
            }
            LeaveFrame();
            if (root) {
                outres = std::move(ret);
                return true;
            }
            if (tgt != -1) SETRESULT(tgt, std::move(ret));
            continue;
        }
        case OP_YIELD: L_OP_YIELD: {
            SQGenerator* gen = ci->_generator;
            if (!gen) { Raise_Error(sqmsg::TryingToYieldAOnlyGeneneratorCan, "null"); goto exception_trap; }
            SQObjectPtr val;
            if (ins->a0 != SQ_NOREG) val = STK(ins->a0);
            bool root = ci->_root;
            SQInteger tgt = ci->_target;
            YieldGenerator(gen);
            LeaveFrame();
            if (root) {
                outres = std::move(val);
                return true;
            }
            if (tgt != -1) SETRESULT(tgt, std::move(val));
            continue;
        }
        case OP_RESUME: L_OP_RESUME: {
            const SQObjectPtr& g = STK(ins->a1);
            if (sqtype(g) != OT_GENERATOR) {
                Raise_Error(sqmsg::TryingToResumeAOnlyGeneneratorCan, SqTypeName(sqtype(g)));
                goto exception_trap;
            }
            if (!ResumeGenerator(_generator(g), ins->a0)) goto exception_trap;
            continue;
        }
        case OP_FOREACH: L_OP_FOREACH: {
            const SQObjectPtr& cont = STK(ins->a0);
            if (sqtype(cont) == OT_ARRAY || sqtype(cont) == OT_TABLE) {
                // arrays and tables step inline; the container's register keeps it alive
                SQObjectPtr k, v;
                SQInteger next;
                if (sqtype(cont) == OT_ARRAY) {
                    const SQObjectPtr& it = STK(ins->a2);
                    SQInteger idx = sqtype(it) == OT_NULL ? 0 : _integer(it);
                    if (!_array(cont)->Get(idx, v)) { ci->_ip += ins->a1; continue; }
                    k = SQObjectPtr(idx);
                    next = idx + 1;
                } else {
                    next = _table(cont)->Next(false, STK(ins->a2), k, v);
                    if (next < 0) { ci->_ip += ins->a1; continue; }
                }
                _stack[_stackbase + ins->a2].SetInteger(next);
                SETRESULT(ins->a2 + 1, std::move(k));
                SETRESULT(ins->a2 + 2, std::move(v));
                ci->_ip++;   // skip POSTFOREACH
                continue;
            }
            bool finished, isgen;
            SQObjectPtr c = STK(ins->a0);
            SQObjectPtr regs[3] = {STK(ins->a2), STK(ins->a2 + 1), STK(ins->a2 + 2)};   // _nexti may move the stack
            if (!ForEach(c, regs, finished, isgen)) goto exception_trap;
            if (finished) { ci->_ip += ins->a1; continue; }
            for (int n = 0; n < 3; n++) SETRESULT(ins->a2 + n, std::move(regs[n]));
            if (isgen) {
                if (!ResumeGenerator(_generator(c), ins->a2 + 2)) goto exception_trap;
                continue;
            }
            ci->_ip++;   // skip POSTFOREACH
            continue;
        }
        case OP_POSTFOREACH: L_OP_POSTFOREACH:
            if (sqtype(STK(ins->a0)) == OT_GENERATOR && _generator(STK(ins->a0))->_state == SQGenerator::eDead) ci->_ip += ins->a1;
            continue;
        case OP_PUSHTRAP: L_OP_PUSHTRAP: {
            SQExceptionTrap t;
            t._stackbase = _stackbase;
            t._stacksize = _top;
            t._ip = ci->_ip + ins->a1;
            t._extarget = ins->a0;
            _etraps.push_back(t);
            ci->_etraps++;
            ci->_plain = false;
            continue;
        }
        case OP_POPTRAP: L_OP_POPTRAP:
            for (SQInteger n = 0; n < ins->a0; n++) {
                _etraps.pop_back();
                ci->_etraps--;
            }
            continue;
        case OP_THROW: L_OP_THROW:
            _lasterror = STK(ins->a0);
            _errorreported = false;
            goto exception_trap;
        default:
        L_BAD_OPCODE:
            Raise_Error(sqmsg::InternalVmErrorBadOpcode);
            goto exception_trap;
        }
    }
    } catch (const std::bad_alloc&) {
        Raise_OutOfMemory();
        DropUnboundVargs();
    }

exception_trap: {
        SQObjectPtr currerror = _lasterror;
        bool caught = false;
        for (SQInteger n = _callsstacksize - 1; n >= 0; n--) {
            const SQCallInfo& c = _callsstack[static_cast<size_t>(n)];
            if (c._etraps > 0) { caught = true; break; }
            if (c._root) break;
        }
        if (_sharedstate->_notifyallexceptions || (!caught && raiseerror && !_errorreported)) {
            if (!caught) _errorreported = true;
            CallErrorHandler(currerror);
        }
        while (ci) {
            if (ci->_etraps > 0) {
                SQExceptionTrap t = _etraps.back();
                _etraps.pop_back();
                ci->_etraps--;
                ci->_ip = t._ip;
                _stackbase = t._stackbase;
                for (SQInteger n = t._stacksize; n < _top; n++) _stack[n].Null();
                _top = t._stacksize;
                _stack[_stackbase + t._extarget] = currerror;
                _errorreported = false;
                goto exception_restore;
            }
            bool root = ci->_root;
            if (ci->_generator) ci->_generator->Kill();
            LeaveFrame();
            if (root) break;
        }
        _lasterror = currerror;
        return false;
    }
}
