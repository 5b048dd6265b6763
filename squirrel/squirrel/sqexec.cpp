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

// Register writes for the fast paths: the new value goes in first, then the old one is let go.
// Each returns whether that destroyed an object: its hooks may have grown (moved) the stack,
// so only then must the next instruction reload the stack's address.

SQ_FORCE_INLINE bool storeCopy(SQObjectPtr& dst, const SQObject& src)
{
    SQObjectType t = dst._type;
    SQObjectValue v = dst._unVal;
    dst._type = src._type;
    dst._unVal = src._unVal;
    SqAddRef(dst._type, dst._unVal);
    return SqReleaseDestroys(t, v);
}

SQ_FORCE_INLINE bool storePlain(SQObjectPtr& dst, SQObjectType type, SQObjectValue val)
{
    SQObjectType t = dst._type;
    SQObjectValue v = dst._unVal;
    dst._type = type;
    dst._unVal = val;
    return SqReleaseDestroys(t, v);
}

SQ_FORCE_INLINE bool storeInt(SQObjectPtr& dst, SQInteger i)
{
    SQObjectValue val;
    val.raw = 0;
    val.nInteger = i;
    return storePlain(dst, OT_INTEGER, val);
}

SQ_FORCE_INLINE bool storeFloat(SQObjectPtr& dst, SQFloat f)
{
    SQObjectValue val;
    val.raw = 0;
    val.fFloat = f;
    return storePlain(dst, OT_FLOAT, val);
}

SQ_FORCE_INLINE bool storeBool(SQObjectPtr& dst, bool b)
{
    SQObjectValue val;
    val.raw = 0;
    val.nInteger = b ? 1 : 0;
    return storePlain(dst, OT_BOOL, val);
}

// A closure's free variables go to the registers after its parameters. Kept out of line: most
// calls have none, and the inline call keeps its values in registers around it. A release
// may run a hook that moves the stack, so each slot is found anew.
SQ_NEVER_INLINE void bindOuters(SQVM* v, SQInteger at, const SQClosure* c)
{
    for (const SQObjectPtr& o : c->_outervalues) storeCopy(v->_stack[at++], o);
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
    SQInteger w;
    if (!inst->_class->MemberWord(key, w)) return nullptr;
    size_t idx = static_cast<size_t>(w & MEMBER_INDEX_MASK);
    return (w & MEMBER_FIELD) ? &inst->_values[idx] : &inst->_class->_methods[idx].val;
}

// Instance field assignment in place; false when there is no such field.
inline bool instanceSet(SQInstance* inst, const SQObject& key, const SQObject& val)
{
    SQInteger w;
    if (!inst->_class || !inst->_class->MemberWord(key, w) || !(w & MEMBER_FIELD)) return false;
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
// a3 of MOVE and GETENV: a call follows, so this also goes to the register after the target
#define NEXT_WITH_THIS(src) do { \
        SQObjectPtr& d_ = TARGET; \
        const SQObject old_ = d_; \
        d_._type = (src)._type; \
        d_._unVal = (src)._unVal; \
        SqAddRef(d_._type, d_._unVal); \
        if (ins->a3) { \
            /* both written before either old value is let go */ \
            SQObjectPtr& t_ = STK(ins->a0 + 1); \
            const SQObject oldThis_ = t_; \
            t_._type = STK(0)._type; \
            t_._unVal = STK(0)._unVal; \
            SqAddRef(t_._type, t_._unVal); \
            bool moved_ = SqReleaseDestroys(old_._type, old_._unVal); \
            moved_ |= SqReleaseDestroys(oldThis_._type, oldThis_._unVal); \
            NEXT_AFTER(moved_); \
        } \
        NEXT_AFTER(SqReleaseDestroys(old_._type, old_._unVal)); \
    } while (0)

#define TARGET stk[ins->a0]
#define SETRESULT(reg, val) (_stack[_stackbase + (reg)] = (val))
// The running frame's _ip is stored only where it can be read: before any slow path (a call out
// of the loop, an error, a frame change, or `continue`, which reloads ip from the frame). Fast
// paths keep ip in a register.
#define SAVE_IP() (ci->_ip = ip)
// Next instruction straight from a handler that left the stack and frames alone and
// holds no locals with destructors.
#ifdef SQ_THREADED_DISPATCH
#define NEXT() do { \
        stk = _stack + _stackbase; \
        goto *handlers[(ip++)->op]; \
    } while (0)
// Same, from a handler that wrote nothing (no value released): the stack cannot have moved.
#define NEXT_SAME_STACK() do { \
        goto *handlers[(ip++)->op]; \
    } while (0)
// Same, after a call or return changed frames: the new base comes from a register, not from
// the member just stored.
#define NEXT_IN(base) do { \
        stk = _stack + (base); \
        goto *handlers[(ip++)->op]; \
    } while (0)
// Next instruction after a register write that reported whether it moved the stack.
#define NEXT_AFTER(moved) do { \
        if (!(moved)) NEXT_SAME_STACK(); \
        NEXT(); \
    } while (0)
#else
#define NEXT() if (true) { ci->_ip = ip; continue; } else (void)0
#define NEXT_SAME_STACK() NEXT()
#define NEXT_IN(base) NEXT()
#define NEXT_AFTER(moved) do { (void)(moved); NEXT(); } while (0)
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
        const SQInteger newtop = stackbase + c->_stacksize;
        // a bound environment gives no plain argument count; the frame limit covers the call
        // depth and the frames allocated
        if (nargs == c->_plainargs && c->_outervalues.empty() && sqtype(_debughook) == OT_NULL &&
            _callsstack.data() + _callsstacksize <= _cilimit && !StackExhausted(newtop) && newtop + 24 <= _stacksize) {
            // the common call from the host or a native: exact arguments, nothing to bind
            ci = &_callsstack[static_cast<size_t>(_callsstacksize++)];
            // popped frames hold null
            ci->_closure._type = closure._type;
            ci->_closure._unVal = closure._unVal;
            SqAddRef(closure._type, closure._unVal);
            ci->_borrowed = false;
            ci->_ip = c->_code;
            ci->_literals = c->_lits;
            ci->_prevstkbase = stackbase - _stackbase;
            ci->_prevtop = _top;
            ci->_target = target;
            ci->_root = true;
            ci->_plain = false;   // the rest is as every pop leaves it (ClearState)
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
    // the running instruction is the one before ip: one pointer to advance per dispatch,
    // operands read at a fixed offset from it
#define ins (static_cast<const SQInstruction*>(ip - 1))
    SQObjectPtr* stk;
exception_restore:
    // An allocation that fails anywhere in the loop is raised as a script error here, at the
    // level of the instruction that failed; the unwinding below then restores the frames.
    try {
    for (;;) {
        stk = _stack + _stackbase;
        // the instruction lives in the running prototype, which its frame keeps alive
        ip = ci->_ip + 1;
        ci->_ip = ip;
#ifdef SQ_THREADED_DISPATCH
        // one indirect jump per handler (the compiler copies this block to every
        // `continue`), so the branch predictor learns opcode pairs
        goto *handlers[ins->op];
#endif
        switch (ins->op) {
        case OP_LINE: L_OP_LINE:
            SAVE_IP();
            if (sqtype(_debughook) != OT_NULL && !_inhook) CallDebugHook('l', ins->a1);
            continue;
        case OP_LOAD: L_OP_LOAD: NEXT_AFTER(storeCopy(TARGET, ci->_literals[ins->a1]));
        case OP_LOADINT: L_OP_LOADINT: NEXT_AFTER(storeInt(TARGET, ins->a1));
        case OP_LOADFLOAT: L_OP_LOADFLOAT: {
            SQFloat f;
            memcpy(&f, &ins->a1, sizeof f);
            NEXT_AFTER(storeFloat(TARGET, f));
        }
        case OP_LOADNULLS: L_OP_LOADNULLS:
            SAVE_IP();
            for (int32_t n = 0; n < ins->a1; n++) STK(ins->a0 + n).Null();
            continue;
        case OP_LOADBOOL: L_OP_LOADBOOL: NEXT_AFTER(storeBool(TARGET, ins->a1 != 0));
        case OP_LOADROOT: L_OP_LOADROOT: NEXT_AFTER(storeCopy(TARGET, _roottable));
        case OP_MOVE: L_OP_MOVE:
            // a3: a call follows, this for the callee
            NEXT_WITH_THIS(STK(ins->a1));
        case OP_GETK: L_OP_GETK: {
            const SQObjectPtr& self = STK(ins->a2);
            const SQObjectPtr& key = ci->_literals[ins->a1];
            if (sqtype(self) == OT_TABLE) {
                SQObjectPtr* p = _table(self)->GetPtr(key);
                if (p && sqtype(*p) != OT_WEAKREF) { NEXT_AFTER(storeCopy(TARGET, *p)); }
            } else if (sqtype(self) == OT_INSTANCE) {
                const SQObjectPtr* p = instanceSlot(_instance(self), key);
                if (p && sqtype(*p) != OT_WEAKREF) { NEXT_AFTER(storeCopy(TARGET, *p)); }
                SAVE_IP();
                SQObjectPtr v;
                if (_instance(self)->Get(key, v)) { TARGET = std::move(v); continue; }
            }
            SAVE_IP();
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
                    NEXT_AFTER(storeCopy(TARGET, a->_values[static_cast<size_t>(idx)]));
                }
            } else if (sqtype(self) == OT_TABLE) {
                SQObjectPtr* p = _table(self)->GetPtr(key);
                if (p && sqtype(*p) != OT_WEAKREF) { NEXT_AFTER(storeCopy(TARGET, *p)); }
            } else if (sqtype(self) == OT_STRING && sqtype(key) == OT_INTEGER) {
                SQInteger idx = _integer(key);
                SQString* str = _string(self);
                if (idx >= 0 && idx < str->_len) {
                    NEXT_AFTER(storeInt(TARGET, static_cast<signed char>(str->_val[idx])));
                }
            }
            SAVE_IP();
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
                // a2 holds the node where this instruction last found its key: read with the
                // instruction, it is tried before the key's own lookup
                const SQTable* t = _table(self);
                SQTable::Node* n = &t->_nodes[ins->a2 & (t->_numofnodes - 1)];
                SQObjectPtr* p = &n->val;
                if (n->key._unVal.raw != key._unVal.raw || n->key._type != key._type) {
                    // the literal is an identifier, unless the bytecode was made by hand
                    p = sqtype(key) == OT_STRING ? t->GetPtrBySlot(key) : t->GetPtr(key);
                    if (p && t->NodeOf(p) <= 0xFF) ip[-1].a2 = static_cast<uint8_t>(t->NodeOf(p));
                }
                if (p && sqtype(*p) != OT_WEAKREF) NEXT_WITH_THIS(*p);
            } else if (sqtype(self) == OT_INSTANCE) {
                const SQObjectPtr* p = instanceSlot(_instance(self), key);
                if (p && sqtype(*p) != OT_WEAKREF) NEXT_WITH_THIS(*p);
                SAVE_IP();
                SQObjectPtr v;
                if (_instance(self)->Get(key, v)) {
                    TARGET = std::move(v);
                    if (ins->a3) STK(ins->a0 + 1) = STK(0);
                    continue;
                }
            }
            SAVE_IP();
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
                SAVE_IP();
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
                SAVE_IP();
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
                SAVE_IP();
                SQObjectPtr s = self, k = key, v = val;
                if (!Set(s, k, v, true)) goto exception_trap;
                stk = _stack + _stackbase;
            }
            if (ins->a0 != SQ_NOREG) TARGET = STK(ins->a2);
            NEXT();
        }
        case OP_NEWSLOT: L_OP_NEWSLOT: {
            SAVE_IP();   // a new slot can fail to allocate
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
            SAVE_IP();
            SQObjectPtr s = STK(ins->a1), k = STK(ins->a2), res;
            if (!DeleteSlot(s, k, res)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_PREPCALL: L_OP_PREPCALL: case OP_PREPCALLK: L_OP_PREPCALLK: {
            SAVE_IP();
            {   // the value found is let go before the next instruction is dispatched
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
                // a write that destroys the value it replaces may run a hook that moves the
                // stack: the next write finds its slot anew, and the next instruction the stack
                if (storeCopy(STK(ins->a3), classThis ? STK(0) : STK(ins->a2))) stk = _stack + _stackbase;
                SQObjectPtr& dst = STK(ins->a0);
                const SQObject old = dst;
                dst._type = fn._type;
                dst._unVal = fn._unVal;
                fn._type = OT_NULL;
                fn._unVal.raw = 0;
                SqRelease(old._type, old._unVal);
            }
            NEXT();
        }
        case OP_CALL: L_OP_CALL: {
            // the common call inline: a script function binding exactly these arguments by
            // itself, no environment, room on both stacks. The operands are read once: the
            // compiler would read them again after each store to the frame.
            if (sqtype(STK(ins->a1)) != OT_CLOSURE) goto call_any;
            const SQInteger fnReg = ins->a1, base = ins->a2, nargs = ins->a3, target = ins->a0;
            const SQObject fn = STK(fnReg);   // the register holds it while it is bound
            SQClosure* c = _closure(fn);
            SQInteger newbase = _stackbase + base;
            if (nargs != c->_plainargs || ci >= _cilimit || newbase + c->_stacksize + 24 > _stacksize)
                goto call_any;
            SAVE_IP();   // where the caller resumes
            SQInteger prevtop = _top;
            if (!c->_outervalues.empty()) bindOuters(this, newbase + nargs, c);
            SQCallInfo* const frame = ci + 1;   // the frame above the running one
            ci = frame;
            ++_callsstacksize;
            // popped frames hold null; a function register below the callee's base
            // outlives the call, so the frame need not count its closure
            const bool borrowed = fnReg < base;
            frame->_borrowed = borrowed;
            frame->_closure._type = fn._type;
            frame->_closure._unVal = fn._unVal;
            if (!borrowed) SqAddRef(fn._type, fn._unVal);
            frame->_prevstkbase = base;
            frame->_target = target == SQ_NOREG ? -1 : target;
            frame->_ip = ip = c->_code;   // ins is the callee's from here
            frame->_literals = c->_lits;
            frame->_prevtop = prevtop;
            frame->_plain = true;   // the rest is as every pop leaves it (ClearState)
            _stackbase = newbase;
            _top = newbase + c->_stacksize;
            NEXT_IN(newbase);
        }
        case OP_TAILCALL: L_OP_TAILCALL:
        call_any: {
            SAVE_IP();
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
                    if (ins->a3 == c->_plainargs && sqtype(_debughook) == OT_NULL &&
                        _stackbase + c->_stacksize + 24 <= _stacksize) {
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
                        ci->_literals = c->_lits;
                        ip = c->_code;
                        SQInteger newtop = _stackbase + c->_stacksize;
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
                    NEXT();
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
            if (isInt(a) && isInt(b)) { SQInteger x = _integer(a), y = _integer(b); NEXT_AFTER(storeInt(TARGET, INTEXPR)); } \
            if (isNum(a) && isNum(b)) { SQFloat x = SqToFloat(a), y = SqToFloat(b); NEXT_AFTER(storeFloat(TARGET, FLTEXPR)); } \
            SAVE_IP(); \
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
                if (isInt(a) && isInt(b)) { NEXT_AFTER(storeInt(TARGET, wrapMul(_integer(a), _integer(b)))); }
                if (isNum(a) && isNum(b)) { NEXT_AFTER(storeFloat(TARGET, SqToFloat(a) * SqToFloat(b))); }
                SAVE_IP();
                SQObjectPtr x = a, y = b, res;
                if (!ArithOp('*', res, x, y)) goto exception_trap;
                SETRESULT(ins->a0, std::move(res));
                continue;
            }
            if (isInt(a) && isInt(b)) {
                SQInteger x = _integer(a), y = _integer(b);
                if (y == 0) { SAVE_IP(); Raise_Error(sqmsg::DivisionByZero); goto exception_trap; }
                NEXT_AFTER(storeInt(TARGET, ins->op == OP_DIV ? (y == -1 ? wrapSub(0, x) : x / y) : (y == -1 ? 0 : x % y)));
            }
            if (isNum(a) && isNum(b)) {
                SQFloat x = SqToFloat(a), y = SqToFloat(b);
                NEXT_AFTER(storeFloat(TARGET, ins->op == OP_DIV ? x / y : static_cast<SQFloat>(fmod(static_cast<double>(x), static_cast<double>(y)))));
            }
            SAVE_IP();
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
            if (isInt(a) && !(ins->a3 & 0x80)) { SQInteger x = _integer(a), y = ins->a1; NEXT_AFTER(storeInt(TARGET, INTEXPR)); } \
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
                if (y == 0) { SAVE_IP(); Raise_Error(sqmsg::DivisionByZero); goto exception_trap; }
                NEXT_AFTER(storeInt(TARGET, op == OP_DIVK ? (y == -1 ? wrapSub(0, x) : x / y) : (y == -1 ? 0 : x % y)));
            }
            if (isNum(a)) {
                SQFloat y;
                if (ins->a3 & 0x80) memcpy(&y, &ins->a1, sizeof y);
                else y = static_cast<SQFloat>(ins->a1);
                const SQFloat x = SqToFloat(a);
                switch (op) {
                case OP_ADDK: NEXT_AFTER(storeFloat(TARGET, x + y));
                case OP_SUBK: NEXT_AFTER(storeFloat(TARGET, x - y));
                case OP_MULK: NEXT_AFTER(storeFloat(TARGET, x * y));
                case OP_DIVK: NEXT_AFTER(storeFloat(TARGET, x / y));
                default: NEXT_AFTER(storeFloat(TARGET, static_cast<SQFloat>(fmod(static_cast<double>(x), static_cast<double>(y)))));
                }
            }
            SAVE_IP();
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
                NEXT_AFTER(ins->a0 != SQ_NOREG && storeInt(TARGET, ins->a2 ? old : _integer(v)));
            }
            if (sqtype(v) == OT_FLOAT) {
                SQFloat old = _float(v);
                v._unVal.fFloat = old + static_cast<SQFloat>(d);
                NEXT_AFTER(ins->a0 != SQ_NOREG && storeFloat(TARGET, ins->a2 ? old : _float(v)));
            }
            SAVE_IP();
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
                NEXT_AFTER(storeInt(TARGET, r));
            }
            SAVE_IP();
            Raise_Error(sqmsg::BitwiseOpBetweenAnd, SqTypeName(sqtype(a)), SqTypeName(sqtype(b)));
            goto exception_trap;
        }
        case OP_EQ: L_OP_EQ: case OP_NE: L_OP_NE: {
            const SQObjectPtr& a = STK(ins->a1);
            const SQObjectPtr& b = STK(ins->a2);
            const bool eq = isInt(a) && isInt(b) ? _integer(a) == _integer(b) : IsEqual(a, b);
            NEXT_AFTER(storeBool(TARGET, ins->op == OP_EQ ? eq : !eq));
        }
        case OP_CMP: L_OP_CMP: {
            const SQObjectPtr& a = STK(ins->a1);
            const SQObjectPtr& b = STK(ins->a2);
            if (isNum(a) && isNum(b)) { NEXT_AFTER(storeBool(TARGET, cmpNumbers(ins->a3, a, b))); }
            SAVE_IP();
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
                if (isInt(a)) { NEXT_AFTER(storeBool(TARGET, cmpInts(op, _integer(a), ins->a1))); }
                if (sqtype(a) == OT_FLOAT) { NEXT_AFTER(storeBool(TARGET, cmpFloats(op, _float(a), static_cast<SQFloat>(ins->a1)))); }
            } else if (isNum(a)) {
                SQFloat y;
                memcpy(&y, &ins->a1, sizeof y);
                NEXT_AFTER(storeBool(TARGET, cmpFloats(op, SqToFloat(a), y)));
            }
            SAVE_IP();
            SQObjectPtr x = a;
            SQObjectPtr y = constantOperand(ins);
            bool r;
            if (!CmpOp(op, x, y, r)) goto exception_trap;
            SETRESULT(ins->a0, SQObjectPtr::Bool(r));
            continue;
        }
        // JCMPKT jumps when the comparison holds: not the negated JCMPK, which differs for NaN and _cmp
        case OP_JCMPK: L_OP_JCMPK: case OP_JCMPKT: L_OP_JCMPKT: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQObjectPtr& b = ci->_literals[ins->a2];
            const bool when = ins->op == OP_JCMPKT;
            if (isInt(a) && isInt(b)) {
                if (cmpInts(ins->a3, _integer(a), _integer(b)) == when) ip += ins->a1;
                NEXT_SAME_STACK();
            }
            if (when) goto jcmpt_any;
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
            goto jcmp_slow;
        }
        // == never calls into scripts nor fails, so its sense can be flipped freely
        case OP_JEQ: L_OP_JEQ: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQObjectPtr& b = STK(ins->a2);
            const bool eq = isInt(a) && isInt(b) ? _integer(a) == _integer(b) : IsEqual(a, b);
            if (eq == (ins->a3 != 0)) ip += ins->a1;
            NEXT_SAME_STACK();
        }
        case OP_JEQK: L_OP_JEQK: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQObjectPtr& b = ci->_literals[ins->a2];
            const bool eq = isInt(a) && isInt(b) ? _integer(a) == _integer(b) : IsEqual(a, b);
            if (eq == (ins->a3 != 0)) ip += ins->a1;
            NEXT_SAME_STACK();
        }
        // jump when the comparison holds: not the negated JCMP, which differs for NaN and _cmp
        case OP_JCMPT: L_OP_JCMPT:
        jcmpt_any: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQObjectPtr& b = ins->op == OP_JCMPKT ? ci->_literals[ins->a2] : STK(ins->a2);
            if (isNum(a) && isNum(b)) {
                if (cmpNumbers(ins->a3, a, b)) ip += ins->a1;
                NEXT_SAME_STACK();
            }
        }
        jcmp_slow: {
            // the general comparison of every register and literal compare-and-jump
            SAVE_IP();
            const bool k = ins->op == OP_JCMPK || ins->op == OP_JCMPKT;
            const bool when = ins->op == OP_JCMPT || ins->op == OP_JCMPKT;
            SQObjectPtr x = STK(ins->a0), y = k ? ci->_literals[ins->a2] : STK(ins->a2);
            bool r;
            if (!CmpOp(ins->a3, x, y, r)) goto exception_trap;
            if (r == when) ci->_ip += ins->a1;
            continue;
        }
        // a small integer operand lives with its operation in the 16 bits of a2 and a3
#define IMMEDIATE_WORD(ins) static_cast<SQInteger>(static_cast<int16_t>((ins)->a2 | (ins)->a3 << 8))
        case OP_JCMPI: L_OP_JCMPI: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQInteger w = IMMEDIATE_WORD(ins);
            if (isInt(a)) {
                if (!cmpInts(w & 3, _integer(a), w >> 2)) ip += ins->a1;
                NEXT_SAME_STACK();
            }
            goto jcmpi_any;
        }
        case OP_JCMPIT: L_OP_JCMPIT: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQInteger w = IMMEDIATE_WORD(ins);
            if (isInt(a)) {
                if (cmpInts(w & 3, _integer(a), w >> 2)) ip += ins->a1;
                NEXT_SAME_STACK();
            }
            goto jcmpi_any;
        }
        jcmpi_any: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQInteger w = IMMEDIATE_WORD(ins);
            const bool when = ins->op == OP_JCMPIT;
            if (sqtype(a) == OT_FLOAT) {
                if (cmpFloats(w & 3, _float(a), static_cast<SQFloat>(w >> 2)) == when) ip += ins->a1;
                NEXT_SAME_STACK();
            }
            SAVE_IP();
            SQObjectPtr x = a, y(static_cast<SQInteger>(w >> 2));
            bool r;
            if (!CmpOp(w & 3, x, y, r)) goto exception_trap;
            if (r == when) ci->_ip += ins->a1;
            continue;
        }
        case OP_JEQI: L_OP_JEQI: {
            const SQObjectPtr& a = STK(ins->a0);
            const SQInteger w = IMMEDIATE_WORD(ins);
            // as IsEqual: an integer equals an integer or a float of the same value, nothing else
            const bool eq = isInt(a) ? _integer(a) == (w >> 1)
                                     : sqtype(a) == OT_FLOAT && _float(a) == static_cast<SQFloat>(w >> 1);
            if (eq == ((w & 1) != 0)) ip += ins->a1;
            NEXT_SAME_STACK();
        }
#undef IMMEDIATE_WORD
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
            SAVE_IP();
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
            if (isInt(a)) { NEXT_AFTER(storeInt(TARGET, wrapSub(0, _integer(a)))); }
            if (sqtype(a) == OT_FLOAT) { NEXT_AFTER(storeFloat(TARGET, -_float(a))); }
            SAVE_IP();
            SQObjectPtr x = a, res;
            if (!NegOp(res, x)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_NOT: L_OP_NOT: NEXT_AFTER(storeBool(TARGET, SqIsFalse(STK(ins->a1))));
        case OP_BWNOT: L_OP_BWNOT: SAVE_IP();
            if (isInt(STK(ins->a1))) { TARGET.SetInteger(~_integer(STK(ins->a1))); continue; }
            Raise_Error(sqmsg::AttemptToPerformABitwiseOpOn, SqTypeName(sqtype(STK(ins->a1))));
            goto exception_trap;
        case OP_EXISTS: L_OP_EXISTS: {
            SAVE_IP();
            SQObjectPtr c = STK(ins->a1), k = STK(ins->a2);
            bool r = Exists(c, k);
            SETRESULT(ins->a0, SQObjectPtr::Bool(r));
            continue;
        }
        case OP_INSTANCEOF: L_OP_INSTANCEOF: {
            SAVE_IP();
            bool r;
            if (!InstanceOf(STK(ins->a1), STK(ins->a2), r)) goto exception_trap;
            TARGET.SetBool(r);
            continue;
        }
        case OP_TYPEOF: L_OP_TYPEOF: {
            SAVE_IP();
            SQObjectPtr x = STK(ins->a1), res;
            TypeOf(x, res);
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_CLONE: L_OP_CLONE: {
            SAVE_IP();
            SQObjectPtr x = STK(ins->a1), res;
            if (!Clone(x, res)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_GETPARENT: L_OP_GETPARENT: {
            SAVE_IP();
            SQObjectPtr res;
            if (!GetParent(STK(ins->a1), res)) goto exception_trap;
            TARGET = std::move(res);
            continue;
        }
        case OP_DELEGATE: L_OP_DELEGATE: {
            SAVE_IP();
            if (!DelegateOp(STK(ins->a2), STK(ins->a1))) goto exception_trap;
            TARGET = STK(ins->a2);
            continue;
        }
        case OP_CLOSURE: L_OP_CLOSURE: {
            SAVE_IP();
            SQFunctionProto* p = _funcproto(_closure(ci->_closure)->Proto()->_functions[static_cast<size_t>(ins->a1)]);
            SQObjectPtr res;
            if (!CreateClosure(p, ins->a2, res)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_LOADFREEVAR: L_OP_LOADFREEVAR:
            NEXT_AFTER(storeCopy(TARGET, _closure(ci->_closure)->_outervalues[static_cast<size_t>(ins->a1)]));
        case OP_VARGC: L_OP_VARGC: SAVE_IP(); TARGET.SetInteger(ci->_vargs_size); continue;
        case OP_GETVARGV: L_OP_GETVARGV: {
            SAVE_IP();
            const SQObjectPtr& idx = STK(ins->a1);
            if (ci->_vargs_size == 0) { Raise_Error(sqmsg::TheFunctionDoesnTHaveVarArgs); goto exception_trap; }
            if (!isNum(idx)) { Raise_Error(sqmsg::IndexingVargvWith, SqTypeName(sqtype(idx))); goto exception_trap; }
            SQInteger n = SqToInteger(idx);
            if (n < 0 || n >= ci->_vargs_size) { Raise_Error(sqmsg::VargvIndexOutOfRange); goto exception_trap; }
            TARGET = _vargsstack[static_cast<size_t>(ci->_vargs_base + n)];
            continue;
        }
        case OP_NEWTABLE: L_OP_NEWTABLE: SAVE_IP(); TARGET = SQTable::Create(_sharedstate, ins->a1); continue;
        case OP_NEWARRAY: L_OP_NEWARRAY: {
            SAVE_IP();
            SQArray* a = SQArray::Create(_sharedstate, 0);
            TARGET = a;   // held before the reserve, which can fail
            a->_values.reserve(static_cast<size_t>(ins->a1));
            continue;
        }
        case OP_APPENDARRAY: L_OP_APPENDARRAY: SAVE_IP();
            // a loaded file's code may name any register here
            if (sqtype(STK(ins->a0)) != OT_ARRAY) { Raise_Error(sqmsg::InternalVmErrorArrayExpected); goto exception_trap; }
            _array(STK(ins->a0))->_values.push_back(STK(ins->a1));
            continue;
        case OP_CLASS: L_OP_CLASS: {
            SAVE_IP();
            SQObjectPtr res;
            if (!CreateClass(ins->a1, ins->a2 == SQ_NOREG ? -1 : ins->a2, res)) goto exception_trap;
            SETRESULT(ins->a0, std::move(res));
            continue;
        }
        case OP_NEWMEMBER: L_OP_NEWMEMBER: case OP_NEWSTATIC: L_OP_NEWSTATIC: {
            SAVE_IP();
            SQObjectPtr cls = STK(ins->a0), key = STK(ins->a2), val = STK(ins->a3);
            SQObjectPtr attrs = ins->a1 >= 0 ? STK(ins->a1) : SQObjectPtr();
            if (!NewMember(cls, key, val, attrs, ins->op == OP_NEWSTATIC)) goto exception_trap;
            continue;
        }
        case OP_RETURN: L_OP_RETURN: {
            if (ci->_plain) {
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
                ci->_ncalls = 1;   // of its state only tail calls change a plain frame's; every push sets _borrowed
                --_callsstacksize;
                --ci;
                ip = ci->_ip;
                // the value goes to the caller first, so nothing else is live across the
                // releases; the target lies below the callee's slots
                if (tgt != -1) {
                    SQObjectPtr& d = _stack[base + tgt];
                    SQObjectType oldType = d._type;
                    SQObjectValue oldVal = d._unVal;
                    d._type = r._type;
                    d._unVal = r._unVal;
                    SqRelease(oldType, oldVal);
                } else {
                    SqRelease(r._type, r._unVal);
                }
                if (owned) SqRelease(fn._type, fn._unVal);
                // the callee's slots start at its `this`: the caller's call temps are dead now
                ReleaseSlots(first, last);
                // a release above may have run a hook that moved the stack: its address is read
                // again, but the base stays where the caller's frame has it
                NEXT_IN(base);
            }
            SAVE_IP();
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
                // the rest of the state every pop leaves (ClearState) holds, as tested above
                ci->_root = false;
                ci->_ncalls = 1;
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
            SAVE_IP();
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
            SAVE_IP();
            const SQObjectPtr& g = STK(ins->a1);
            if (sqtype(g) != OT_GENERATOR) {
                Raise_Error(sqmsg::TryingToResumeAOnlyGeneneratorCan, SqTypeName(sqtype(g)));
                goto exception_trap;
            }
            if (!ResumeGenerator(_generator(g), ins->a0)) goto exception_trap;
            continue;
        }
        case OP_FOREACH: L_OP_FOREACH: {
            SAVE_IP();
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
        case OP_POSTFOREACH: L_OP_POSTFOREACH: SAVE_IP();
            if (sqtype(STK(ins->a0)) == OT_GENERATOR && _generator(STK(ins->a0))->_state == SQGenerator::eDead) ci->_ip += ins->a1;
            continue;
        case OP_PUSHTRAP: L_OP_PUSHTRAP: {
            SAVE_IP();
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
        case OP_POPTRAP: L_OP_POPTRAP: SAVE_IP();
            for (SQInteger n = 0; n < ins->a0; n++) {
                _etraps.pop_back();
                ci->_etraps--;
            }
            continue;
        case OP_THROW: L_OP_THROW: SAVE_IP();
            _lasterror = STK(ins->a0);
            _errorreported = false;
            goto exception_trap;
        default:
        L_BAD_OPCODE:
            SAVE_IP();
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
#undef ins
