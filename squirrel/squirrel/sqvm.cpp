// The virtual machine: frames, calls, generators, suspension and the dispatch loop.
#include "sqvm.h"
#include "sqmessages.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

namespace {

constexpr SQInteger kFrameMargin = 24;

struct NativeDepthGuard {
    explicit NativeDepthGuard(SQVM* v) : vm(v) { vm->_nnativecalls++; }
    ~NativeDepthGuard() { vm->_nnativecalls--; }
    SQVM* vm;
};

} // namespace

SQVM::SQVM(SQSharedState* ss) : SQCollectable(ss) {}

SQVM::~SQVM()
{
    Finalize();
    free(_stack);
}

void SQVM::Init(SQVM* friendvm, SQInteger stacksize)
{
    GrowStack(stacksize < 64 ? 64 : stacksize);
    _callsstack.resize(16);
    SetCallLimit();
    if (friendvm) {
        _roottable = friendvm->_roottable;
        _errorhandler = friendvm->_errorhandler;
        _debughook = friendvm->_debughook;
        SetCallLimit();
    } else {
        _roottable = SQTable::Create(_sharedstate, 0);
    }
}

void SQVM::Mark(std::vector<SQCollectable*>& grey)
{
    SqMarkObject(_roottable, grey);
    SqMarkObject(_lasterror, grey);
    SqMarkObject(_errorhandler, grey);
    SqMarkObject(_debughook, grey);
    SqMarkObject(_temp, grey);
    for (SQInteger i = 0; i < _top; i++) SqMarkObject(_stack[i], grey);
    for (SQInteger i = 0; i < _callsstacksize; i++) SqMarkObject(_callsstack[static_cast<size_t>(i)]._closure, grey);
    for (const SQObjectPtr& v : _vargsstack) SqMarkObject(v, grey);
}

void SQVM::Finalize()
{
    _roottable.Null();
    _lasterror.Null();
    _errorhandler.Null();
    _debughook.Null();
    _temp.Null();
    for (SQInteger i = 0; i < _stacksize; i++) _stack[i].Null();
    for (SQInteger i = 0; i < _callsstacksize; i++) {
        _callsstack[static_cast<size_t>(i)].DropClosure();
        _callsstack[static_cast<size_t>(i)].ClearState();
    }
    _callsstacksize = 0;
    ci = nullptr;
    _vargsstack.clear();
    _etraps.clear();
    _top = 0;
    _stackbase = 0;
}

// The stack is raw memory of SQObjectPtr; a value is a type word and a value word, so
// moving it with realloc is safe.
void SQVM::GrowStackSlow(SQInteger needed)
{
    SQInteger newsize = _stacksize ? _stacksize : 64;
    while (newsize < needed) newsize *= 2;
    void* mem = realloc(static_cast<void*>(_stack), sizeof(SQObjectPtr) * static_cast<size_t>(newsize));
    if (!mem) throw std::bad_alloc();
    _stack = static_cast<SQObjectPtr*>(mem);
    for (SQInteger i = _stacksize; i < newsize; i++) new (&_stack[i]) SQObjectPtr();
    _stacksize = newsize;
}

void SQVM::Remove(SQInteger n)
{
    SQInteger idx = n >= 0 ? _stackbase + n - 1 : _top + n;
    for (SQInteger i = idx; i < _top - 1; i++) _stack[i] = std::move(_stack[i + 1]);
    _stack[--_top].Null();
}

// ---------------------------------------------------------------- calls

bool SQVM::BindParams(SQClosure* closure, SQInteger nargs, SQInteger stackbase, SQInteger& vargsBase, SQInteger& vargsSize)
{
    SQFunctionProto* p = closure->Proto();
    SQInteger nparams = static_cast<SQInteger>(p->_parameters.size());
    SQInteger ndef = p->_ndefaultparams;
    GrowStack(stackbase + p->_stacksize + kFrameMargin);
    vargsBase = static_cast<SQInteger>(_vargsstack.size());
    vargsSize = 0;
    if (nargs == nparams && !p->_varparams && closure->_outervalues.empty() && sqtype(closure->_env) == OT_NULL) return true;
    if (p->_varparams) {
        if (nargs < nparams) return Raise_Error(sqmsg::WrongNumberOfParameters);
        for (SQInteger n = nparams; n < nargs; n++) {
            _vargsstack.push_back(std::move(_stack[stackbase + n]));
            vargsSize++;
        }
    } else if (nargs != nparams) {
        if (ndef > 0 && nargs < nparams && nargs >= nparams - ndef) {
            for (SQInteger n = nargs; n < nparams; n++)
                _stack[stackbase + n] = closure->_defaultparams[static_cast<size_t>(n - (nparams - ndef))];
        } else {
            return Raise_Error(sqmsg::WrongNumberOfParameters);
        }
    }
    SQInteger nouters = static_cast<SQInteger>(closure->_outervalues.size());
    for (SQInteger i = 0; i < nouters; i++) _stack[stackbase + nparams + i] = closure->_outervalues[static_cast<size_t>(i)];
    if (sqtype(closure->_env) == OT_WEAKREF && sqtype(_weakref(closure->_env)->_obj) != OT_NULL)
        _stack[stackbase] = _weakref(closure->_env)->_obj;
    return true;
}

bool SQVM::StartCall(SQClosure* closure, SQInteger target, SQInteger nargs, SQInteger stackbase, bool tailcall)
{
    if (!tailcall && CallsExhausted()) return Raise_Error(sqmsg::StackOverflow);
    SQFunctionProto* p = closure->Proto();
    if (StackExhausted(stackbase + p->_stacksize)) return Raise_Error(sqmsg::StackOverflow);
    SQInteger vbase = 0, vsize = 0;   // the base matters only with varargs
    if (nargs == closure->_plainargs && closure->_outervalues.empty() && sqtype(closure->_env) == OT_NULL)
        GrowStack(stackbase + p->_stacksize + kFrameMargin);   // nothing to bind
    else if (!BindParams(closure, nargs, stackbase, vbase, vsize))
        return false;
    if (!tailcall) {
        PushCallInfo();
        ci->_prevstkbase = stackbase - _stackbase;
        ci->_prevtop = _top;
        ci->_target = target;
        ci->_plain = vsize == 0 && sqtype(_debughook) == OT_NULL;
    } else {
        ci->_ncalls++;
        ci->_plain = ci->_plain && vsize == 0 && sqtype(_debughook) == OT_NULL;
        ci->DropClosure();
    }
    ci->_closure = closure;
    ci->_literals = p->_literals.data();
    ci->_ip = p->_instructions.data();
    ci->_vargs_base = vbase;
    ci->_vargs_size = vsize;
    _stackbase = stackbase;
    SQInteger newtop = stackbase + p->_stacksize;
    if (tailcall) {
        for (SQInteger i = newtop; i < _top; i++) _stack[i].Null();
    }
    _top = newtop;
    if (sqtype(_debughook) != OT_NULL && !_inhook) CallDebugHook('c');
    return true;
}

bool SQVM::CreateGenerator(SQClosure* closure, SQInteger nargs, SQInteger stackbase, SQObjectPtr& out)
{
    SQInteger vbase, vsize;
    if (!BindParams(closure, nargs, stackbase, vbase, vsize)) return false;
    SQFunctionProto* p = closure->Proto();
    SQGenerator* gen = SQGenerator::Create(_sharedstate, closure);
    SQObjectPtr holder(gen);
    gen->_stack.resize(static_cast<size_t>(p->_stacksize));
    SQInteger bound = static_cast<SQInteger>(p->_parameters.size() + closure->_outervalues.size());
    for (SQInteger n = 0; n < bound; n++) gen->_stack[static_cast<size_t>(n)] = _stack[stackbase + n];
    for (SQInteger n = 0; n < vsize; n++) gen->_vargs.push_back(std::move(_vargsstack[static_cast<size_t>(vbase + n)]));
    _vargsstack.resize(static_cast<size_t>(vbase));
    for (SQInteger n = nargs; n < p->_stacksize; n++) {
        if (stackbase + n >= _top) _stack[stackbase + n].Null();
    }
    gen->_ci._closure = closure;
    gen->_ci._literals = p->_literals.data();
    gen->_ci._ip = p->_instructions.data();
    out = holder;
    return true;
}

bool SQVM::ResumeGenerator(SQGenerator* gen, SQInteger target)
{
    if (gen->_state == SQGenerator::eDead) return Raise_Error(sqmsg::ResumingDeadGenerator);
    if (gen->_state == SQGenerator::eRunning) return Raise_Error(sqmsg::ResumingActiveGenerator);
    if (CallsExhausted()) return Raise_Error(sqmsg::StackOverflow);
    SQInteger newbase = _top;
    SQInteger size = static_cast<SQInteger>(gen->_stack.size());
    GrowStack(newbase + size + kFrameMargin);
    // nothing may fail once the frame is pushed
    if (!gen->_vargs.empty()) _vargsstack.reserve(_vargsstack.size() + gen->_vargs.size());
    if (!gen->_etraps.empty()) _etraps.reserve(_etraps.size() + gen->_etraps.size());
    PushCallInfo();
    // the frame takes over the suspended frame's hold on the function (popped frames hold
    // null); a yield hands it back
    ci->_closure._type = gen->_ci._closure._type;
    ci->_closure._unVal = gen->_ci._closure._unVal;
    gen->_ci._closure._type = OT_NULL;
    gen->_ci._closure._unVal.raw = 0;
    ci->_ip = gen->_ci._ip;
    ci->_literals = gen->_ci._literals;
    ci->_ncalls = gen->_ci._ncalls;
    ci->_prevstkbase = newbase - _stackbase;
    ci->_prevtop = _top;
    ci->_target = target;
    ci->_generator = gen;
    // the moved-from slots stay (all null), so the next yield reuses them as they are
    for (SQInteger n = 0; n < size; n++) _stack[newbase + n] = std::move(gen->_stack[static_cast<size_t>(n)]);
    ci->_vargs_base = static_cast<SQInteger>(_vargsstack.size());
    ci->_vargs_size = static_cast<SQInteger>(gen->_vargs.size());
    for (SQObjectPtr& v : gen->_vargs) _vargsstack.push_back(std::move(v));
    gen->_vargs.clear();
    for (SQExceptionTrap t : gen->_etraps) {
        t._stackbase += newbase;
        t._stacksize += newbase;
        _etraps.push_back(t);
    }
    ci->_etraps = static_cast<SQInteger>(gen->_etraps.size());
    gen->_etraps.clear();
    _stackbase = newbase;
    _top = newbase + size;
    gen->_state = SQGenerator::eRunning;
    return true;
}

bool SQVM::YieldGenerator(SQGenerator* gen)
{
    SQInteger size = _top - _stackbase;
    if (gen->_stack.size() != static_cast<size_t>(size)) gen->_stack.resize(static_cast<size_t>(size));
    for (SQInteger n = 0; n < size; n++) gen->_stack[static_cast<size_t>(n)] = std::move(_stack[_stackbase + n]);
    _top = _stackbase;   // the frame's slots are empty: leaving it lets go of nothing
    // the frame's hold on the function goes back to the generator; the frame is popped next
    gen->_ci._closure = std::move(ci->_closure);
    gen->_ci._ip = ci->_ip;
    gen->_ci._literals = ci->_literals;
    gen->_ci._ncalls = ci->_ncalls;
    if (ci->_etraps) {
        size_t firstTrap = _etraps.size() - static_cast<size_t>(ci->_etraps);
        for (size_t n = firstTrap; n < _etraps.size(); n++) {
            SQExceptionTrap t = _etraps[n];
            t._stackbase -= _stackbase;
            t._stacksize -= _stackbase;
            gen->_etraps.push_back(t);
        }
        _etraps.resize(firstTrap);
        ci->_etraps = 0;
    }
    for (SQInteger n = 0; n < ci->_vargs_size; n++)
        gen->_vargs.push_back(std::move(_vargsstack[static_cast<size_t>(ci->_vargs_base + n)]));
    if (ci->_vargs_size) _vargsstack.resize(static_cast<size_t>(ci->_vargs_base));
    ci->_vargs_size = 0;
    gen->_state = SQGenerator::eSuspended;
    return true;
}

bool SQVM::CallNative(SQNativeClosure* nclosure, SQInteger nargs, SQInteger newbase, SQObjectPtr& retval, bool& suspend)
{
    suspend = false;
    if (_nnativecalls + 1 > SQ_MAX_NATIVE_CALLS) return Raise_Error(sqmsg::NativeStackOverflow);
    SQInteger nparamscheck = nclosure->_nparamscheck;
    if ((nparamscheck > 0 && nparamscheck != nargs) || (nparamscheck < 0 && nargs < -nparamscheck))
        return Raise_Error(sqmsg::WrongNumberOfParameters);
    const std::vector<SQInteger>& tc = nclosure->_typecheck;
    SQInteger ntc = static_cast<SQInteger>(tc.size());
    for (SQInteger i = 0; i < nargs && i < ntc; i++) {
        SQInteger mask = tc[static_cast<size_t>(i)];
        SQObjectType t = sqtype(_stack[newbase + i]);
        if (mask != -1 && !(_RAW_TYPE(t) & mask)) return Raise_ParamTypeError(i, mask, t);
    }
    SQInteger nouters = static_cast<SQInteger>(nclosure->_outervalues.size());
    GrowStack(newbase + nargs + nouters + kFrameMargin * 2);
    for (SQInteger i = 0; i < nouters; i++) _stack[newbase + nargs + i] = nclosure->_outervalues[static_cast<size_t>(i)];
    if (sqtype(nclosure->_env) == OT_WEAKREF && sqtype(_weakref(nclosure->_env)->_obj) != OT_NULL)
        _stack[newbase] = _weakref(nclosure->_env)->_obj;
    if (CallsExhausted()) return Raise_Error(sqmsg::StackOverflow);
    PushCallInfo();
    // every caller holds the native for the call: the frame borrows it (popped frames hold null)
    ci->_closure._type = OT_NATIVECLOSURE;
    ci->_closure._unVal.pNativeClosure = nclosure;
    ci->_borrowed = true;
    ci->_prevstkbase = newbase - _stackbase;
    ci->_prevtop = _top;
    _stackbase = newbase;
    _top = newbase + nargs + nouters;
    SQInteger ret;
    {
        NativeDepthGuard depth(this);
        try {
            ret = nclosure->_function(this);
        } catch (...) {
            RaiseNativeException();
            ret = SQ_ERROR;
        }
    }
    if (ret == SQ_SUSPEND_FLAG) {
        suspend = true;
        if (_top > _stackbase) retval = _stack[_top - 1];
        else retval.Null();
    } else if (ret < 0) {
        LeaveFrame();
        return false;
    } else if (ret > 0 && _top > _stackbase) {
        retval = std::move(_stack[_top - 1]);   // the frame's slots are dropped next anyway
    } else {
        retval.Null();
    }
    LeaveFrame();
    return true;
}

// Varargs above the last frame that has some belong to a call that failed while binding them.
// (Only frames with varargs keep a valid base.)
void SQVM::DropUnboundVargs()
{
    size_t end = 0;
    for (SQInteger n = _callsstacksize - 1; n >= 0; n--) {
        const SQCallInfo& c = _callsstack[static_cast<size_t>(n)];
        if (c._vargs_size) {
            end = static_cast<size_t>(c._vargs_base + c._vargs_size);
            break;
        }
    }
    if (_vargsstack.size() > end) _vargsstack.resize(end);
}

// An allocation failed before the call being made had a frame of its own: the stack goes back
// to `top` and the error is raised like any other.
void SQVM::FailedAllocation(SQInteger top, bool raiseerror)
{
    while (_top > top) Pop();
    DropUnboundVargs();
    Raise_OutOfMemory();
    if (raiseerror && !_errorreported) {
        _errorreported = true;
        CallErrorHandler(_lasterror);
    }
}

// Turns the exception a native let escape into the script error; called inside a catch block.
void SQVM::RaiseNativeException()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        Raise_OutOfMemory();
    } catch (const std::exception& e) {
        try {
            Raise_Error("%s", e.what());
        } catch (const std::bad_alloc&) {
            Raise_OutOfMemory();
        }
    } catch (...) {
        try {
            Raise_Error(sqmsg::UnknownNativeException);
        } catch (const std::bad_alloc&) {
            Raise_OutOfMemory();
        }
    }
}

bool SQVM::Call(const SQObjectPtr& closure, SQInteger nparams, SQInteger stackbase, SQObjectPtr& outres, bool raiseerror)
{
    switch (sqtype(closure)) {
    case OT_CLOSURE:
        if (_closure(closure)->Proto()->_bgenerator) return CreateGenerator(_closure(closure), nparams, stackbase, outres);
        return Execute(closure, -1, nparams, stackbase, outres, raiseerror);
    case OT_NATIVECLOSURE: {
        bool suspend;
        SQObjectPtr fn = closure;
        bool ok = CallNative(_nativeclosure(fn), nparams, stackbase, outres, suspend);
        if (!ok && raiseerror && !_errorreported) {
            _errorreported = true;
            CallErrorHandler(_lasterror);
        }
        return ok;
    }
    case OT_CLASS: {
        SQObjectPtr cls = closure;
        SQObjectPtr inst(_class(cls)->CreateInstance());
        SQInteger ctor = _class(cls)->_constructoridx;
        if (ctor >= 0) {
            SQObjectPtr fn = _class(cls)->_methods[static_cast<size_t>(ctor)].val;
            _stack[stackbase] = inst;
            SQObjectPtr dummy;
            if (!Call(fn, nparams, stackbase, dummy, raiseerror)) return false;
        }
        outres = inst;
        return true;
    }
    case OT_TABLE: case OT_USERDATA: case OT_INSTANCE: {
        SQObjectPtr obj = closure, mm;
        if (GetMetaMethod(obj, MT_CALL, mm)) {
            std::vector<SQObjectPtr> args(_stack + stackbase, _stack + stackbase + nparams);
            if (CallWith(mm, obj, args.data(), nparams, outres, raiseerror)) return true;
            ThrowIfOutOfMemory();
            return Raise_Error(sqmsg::AttemptToCall, SqTypeName(sqtype(obj)));
        }
        return Raise_Error(sqmsg::AttemptToCall, SqTypeName(sqtype(obj)));
    }
    default:
        return Raise_Error(sqmsg::AttemptToCall, SqTypeName(sqtype(closure)));
    }
}

// Calls fn with `self` and nargs arguments pushed on the top of the stack; leaves the stack as it was.
// The caller holds fn for the whole call, outside the stack; the arguments need to live only
// until the call starts.
bool SQVM::CallWith(const SQObjectPtr& fn, const SQObject& self, const SQObject* args, SQInteger nargs,
                    SQObjectPtr& outres, bool raiseerror)
{
    const SQInteger base = _top;
    GrowStack(base + nargs + 1);
    // the slots are claimed, and the values held, before anything the slots held is let go:
    // a release may run script code, which pushes above the top and may drop what the
    // arguments point to
    _top = base + nargs + 1;
    SQObjectPtr* slots = _stack + base;
    SQUnsignedInteger held = slots[0]._type;
    for (SQInteger i = 1; i <= nargs; i++) held |= slots[i]._type;
    if (!(held & SQOBJECT_REF_COUNTED)) {
        // most often the slots hold nothing to let go, so nothing can run in between
        slots[0]._type = self._type;
        slots[0]._unVal = self._unVal;
        SqAddRef(self._type, self._unVal);
        for (SQInteger i = 0; i < nargs; i++) {
            slots[1 + i]._type = args[i]._type;
            slots[1 + i]._unVal = args[i]._unVal;
            SqAddRef(args[i]._type, args[i]._unVal);
        }
    } else {
        SqAddRef(self._type, self._unVal);
        for (SQInteger i = 0; i < nargs; i++) SqAddRef(args[i]._type, args[i]._unVal);
        for (SQInteger i = 0; i <= nargs; i++) {
            const SQObject& o = i ? args[i - 1] : self;
            SQObjectPtr& slot = _stack[base + i];
            const SQObject old = slot;
            slot._type = o._type;
            slot._unVal = o._unVal;
            SqRelease(old._type, old._unVal);
        }
    }
    bool ok;
    if (sqtype(fn) == OT_CLOSURE && !_closure(fn)->Proto()->_bgenerator) {
        ok = Execute(fn, -1, nargs + 1, base, outres, raiseerror);
        // a script frame that returned has dropped every reference up to the top
        if (ok && !_suspended) {
            _top = base;
            return true;
        }
    } else {
        ok = Call(fn, nargs + 1, base, outres, raiseerror);
    }
    // highest first, as popping does; a returned call has dropped its references already,
    // and plain values above the top are never read
    for (SQInteger n = _top; n > base;) {
        if (_stack[--n]._type & SQOBJECT_REF_COUNTED) {
            _top = n;
            _stack[n].Null();   // may run script code above the top
        }
    }
    _top = base;
    return ok;
}

bool SQVM::CallMetaMethod(const SQObjectPtr& mm, SQInteger nparams, SQObjectPtr& outres)
{
    SQObjectPtr f = mm;
    SQInteger base = _top - nparams;
    bool ok = Call(f, nparams, base, outres, false);
    while (_top > base) Pop();
    if (!ok) ThrowIfOutOfMemory();
    return ok;
}

// Callers of metamethods take a failure for "not handled" and raise an error of their own (or
// none). A shortage must not be hidden that way: it goes on as the exception it began as, up to
// the running instruction or native, which raises it again. Outside any of them it stays a
// plain failure, as the host expects.
void SQVM::ThrowIfOutOfMemory()
{
    if (_nnativecalls > 0 && sqtype(_lasterror) == OT_STRING && sqtype(_sharedstate->_outofmemory) == OT_STRING &&
        _string(_lasterror) == _string(_sharedstate->_outofmemory))
        throw std::bad_alloc();
}

void SQVM::CallErrorHandler(const SQObjectPtr& error)
{
    if (sqtype(_errorhandler) != OT_CLOSURE && sqtype(_errorhandler) != OT_NATIVECLOSURE) return;
    SQObjectPtr err = error;
    SQObjectPtr handler = _errorhandler;
    SQObjectPtr dummy;
    SQObjectPtr saved = _lasterror;
    SQInteger top = _top;
    bool wasInHandler = _inerrorhandler;
    _inerrorhandler = true;
    try {
        CallWith(handler, _roottable, &err, 1, dummy, false);
    } catch (const std::bad_alloc&) {
        while (_top > top) Pop();   // no memory left to report with: the error goes on unreported
    }
    _inerrorhandler = wasInHandler;
    _lasterror = saved;
}

void SQVM::CallDebugHook(SQInteger type, SQInteger forcedline)
{
    if (_inhook || !ci) return;
    _inhook = true;
    SQObjectPtr hook = _debughook;
    SQObjectPtr args[4];
    args[0] = SQObjectPtr(type);
    SQObjectPtr fname, src;
    SQInteger line = forcedline;
    if (sqtype(ci->_closure) == OT_CLOSURE) {
        SQFunctionProto* p = _closure(ci->_closure)->Proto();
        src = p->_sourcename;
        fname = p->_name;
        if (!line && ci->_ip) line = p->GetLine(ci->_ip - 1);
    }
    args[1] = src;
    args[2] = SQObjectPtr(line);
    args[3] = fname;
    SQObjectPtr dummy;
    SQObjectPtr saved = _lasterror;
    SQInteger top = _top;
    try {
        CallWith(hook, _roottable, args, 4, dummy, false);
    } catch (const std::bad_alloc&) {
        while (_top > top) Pop();
    }
    _lasterror = saved;
    _inhook = false;
}

bool SQVM::WakeUp(bool resumedret, SQObjectPtr& outres, bool raiseerror)
{
    if (!_suspended) return Raise_Error(sqmsg::CannotResumeAVmThatIsNot);
    SQObjectPtr value;
    if (resumedret) {
        value = Top();
        Pop();
    }
    if (_suspended_target != -1) _stack[_stackbase + _suspended_target] = value;
    SQObjectPtr dummy;
    return Execute(dummy, -1, 0, 0, outres, raiseerror, ET_RESUME_VM);
}

bool SQVM::CallClass(SQClass* cls, SQInteger target, SQInteger nargs, SQInteger stackbase)
{
    SQObjectPtr inst(cls->CreateInstance());
    SQInteger ctor = cls->_constructoridx;
    if (ctor < 0) {
        if (target != -1) _stack[_stackbase + target] = inst;
        return true;
    }
    SQObjectPtr fn = cls->_methods[static_cast<size_t>(ctor)].val;
    if (sqtype(fn) == OT_CLOSURE && !_closure(fn)->Proto()->_bgenerator) {
        _stack[stackbase] = std::move(inst);   // the constructor's `this` yields the instance
        if (!StartCall(_closure(fn), target, nargs, stackbase, false)) return false;
        ci->_ctor = true;
        ci->_plain = false;
        return true;
    }
    _stack[stackbase] = inst;
    SQObjectPtr dummy;
    if (sqtype(fn) == OT_NATIVECLOSURE) {
        bool suspend;
        if (!CallNative(_nativeclosure(fn), nargs, stackbase, dummy, suspend)) return false;
    } else if (!Call(fn, nargs, stackbase, dummy, false)) {
        return false;
    }
    if (target != -1) _stack[_stackbase + target] = inst;
    return true;
}
