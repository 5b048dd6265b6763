// The virtual machine (also the object behind a thread): stack, frames and execution.
#pragma once

#include "sqobjects.h"

#include <cstdarg>

constexpr SQInteger SQ_MAX_NATIVE_CALLS = 100;
constexpr SQInteger SQ_MAX_CALL_DEPTH = 40000;
constexpr SQInteger SQ_MAX_STACK = 4 * 1024 * 1024;
// What the error handler may use past those limits, so that it can report a stack overflow.
constexpr SQInteger SQ_HANDLER_CALL_DEPTH = 100;
constexpr SQInteger SQ_HANDLER_STACK = 64 * 1024;

struct SQVM : public SQCollectable {
    enum ExecutionType { ET_CALL, ET_RESUME_GENERATOR, ET_RESUME_VM };

    explicit SQVM(SQSharedState* ss);
    ~SQVM() override;
    void Init(SQVM* friendvm, SQInteger stacksize);
    void Release() override { delete this; }
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override;
    SQObjectType GetType() override { return OT_THREAD; }

    // ---- stack (API indices: 1.. from the frame base, negative from the top)
    void GrowStack(SQInteger needed) { if (needed > _stacksize) GrowStackSlow(needed); }
    void GrowStackSlow(SQInteger needed);
    void Push(const SQObject& o)
    {
        if (_top >= _stacksize) GrowStack(_top + 1);
        _stack[_top++] = o;
    }
    void PushNull()
    {
        if (_top >= _stacksize) GrowStack(_top + 1);
        _stack[_top++].Null();
    }
    void Pop() { _stack[--_top].Null(); }
    void Pop(SQInteger n) { for (SQInteger i = 0; i < n; i++) _stack[--_top].Null(); }
    SQObjectPtr& Top() { return _stack[_top - 1]; }
    SQObjectPtr& GetUp(SQInteger n) { return _stack[_top + n]; }
    SQObjectPtr& GetAt(SQInteger n) { return _stack[n]; }
    SQObjectPtr& StackAt(SQInteger idx) { return idx >= 0 ? _stack[_stackbase + idx - 1] : _stack[_top + idx]; }
    void Remove(SQInteger n);

    // ---- calls
    bool Call(const SQObjectPtr& closure, SQInteger nparams, SQInteger stackbase, SQObjectPtr& outres, bool raiseerror);
    bool Execute(const SQObjectPtr& func, SQInteger target, SQInteger nargs, SQInteger stackbase, SQObjectPtr& outres,
                 bool raiseerror, ExecutionType et = ET_CALL);
    // The caller holds nclosure for the call.
    bool CallNative(SQNativeClosure* nclosure, SQInteger nargs, SQInteger newbase, SQObjectPtr& retval, bool& suspend);
    bool StartCall(SQClosure* closure, SQInteger target, SQInteger nargs, SQInteger stackbase, bool tailcall);
    bool BindParams(SQClosure* closure, SQInteger nargs, SQInteger stackbase, SQInteger& vargsBase, SQInteger& vargsSize);
    bool CreateGenerator(SQClosure* closure, SQInteger nargs, SQInteger stackbase, SQObjectPtr& out);
    bool ResumeGenerator(SQGenerator* gen, SQInteger target);
    bool YieldGenerator(SQGenerator* gen);
    void LeaveFrame();
    void ReleaseSlots(SQInteger first, SQInteger last);
    bool CallMetaMethod(const SQObjectPtr& mm, SQInteger nparams, SQObjectPtr& outres);
    bool CallWith(const SQObjectPtr& fn, const SQObject& self, const SQObject* args, SQInteger nargs,
                  SQObjectPtr& outres, bool raiseerror);
    void CallErrorHandler(const SQObjectPtr& error);
    void CallDebugHook(SQInteger type, SQInteger forcedline = 0);
    bool WakeUp(bool resumedret, SQObjectPtr& outres, bool raiseerror);
    void PushCallInfo();
    void PopCallInfo();
    bool CallsExhausted() const
    {
        return _callsstacksize >= SQ_MAX_CALL_DEPTH + (_inerrorhandler ? SQ_HANDLER_CALL_DEPTH : 0);
    }
    bool StackExhausted(SQInteger top) const { return top > SQ_MAX_STACK + (_inerrorhandler ? SQ_HANDLER_STACK : 0); }

    // ---- object operations (false: error raised into _lasterror)
    bool Get(const SQObjectPtr& self, const SQObjectPtr& key, SQObjectPtr& dest, bool raw, bool fetchroot);
    bool FallBackGet(const SQObjectPtr& self, const SQObjectPtr& key, SQObjectPtr& dest, int depth = 0);
    bool GetDefaultDelegate(const SQObjectPtr& self, const SQObjectPtr& key, SQObjectPtr& dest);
    bool Set(const SQObjectPtr& self, const SQObjectPtr& key, const SQObjectPtr& val, bool fetchroot);
    bool SetNoError(const SQObjectPtr& self, const SQObjectPtr& key, const SQObjectPtr& val, int depth = 0);
    bool NewSlot(const SQObjectPtr& self, const SQObjectPtr& key, const SQObjectPtr& val, bool bstatic);
    bool DeleteSlot(const SQObjectPtr& self, const SQObjectPtr& key, SQObjectPtr& res);
    bool Clone(const SQObjectPtr& self, SQObjectPtr& target);
    bool ArithOp(SQInteger op, SQObjectPtr& trg, const SQObjectPtr& o1, const SQObjectPtr& o2);
    bool ArithMetaMethod(SQInteger op, const SQObjectPtr& o1, const SQObjectPtr& o2, SQObjectPtr& dest);
    bool BitwOp(SQInteger op, SQObjectPtr& trg, const SQObjectPtr& o1, const SQObjectPtr& o2);
    bool NegOp(SQObjectPtr& trg, const SQObjectPtr& o);
    bool ObjCmp(const SQObjectPtr& o1, const SQObjectPtr& o2, SQInteger& res);
    bool CmpOp(SQInteger op, const SQObjectPtr& o1, const SQObjectPtr& o2, bool& res);
    bool IsEqual(const SQObjectPtr& o1, const SQObjectPtr& o2) const;
    bool ToString(const SQObjectPtr& o, SQObjectPtr& res);
    bool StringCat(const SQObjectPtr& o1, const SQObjectPtr& o2, SQObjectPtr& dest);
    struct CatText;
    void CatTextOf(const SQObjectPtr& o, CatText& t);
    void TypeOf(const SQObjectPtr& obj, SQObjectPtr& dest);
    bool GetMetaMethod(const SQObjectPtr& obj, SQMetaMethod mm, SQObjectPtr& out);
    bool ForEach(const SQObjectPtr& o1, SQObjectPtr* regs, bool& finished, bool& isgenerator);
    bool Exists(const SQObjectPtr& container, const SQObjectPtr& key);
    bool InstanceOf(const SQObjectPtr& inst, const SQObjectPtr& cls, bool& res);
    bool DelegateOp(const SQObjectPtr& target, const SQObjectPtr& delegate);
    bool GetParent(const SQObjectPtr& o, SQObjectPtr& dest);
    bool CreateClass(SQInteger baseReg, SQInteger attrReg, SQObjectPtr& dest);
    bool NewMember(const SQObjectPtr& cls, const SQObjectPtr& key, const SQObjectPtr& val, const SQObjectPtr& attrs, bool bstatic);
    bool CreateClosure(SQFunctionProto* func, SQInteger defaultsReg, SQObjectPtr& dest);
    bool CallClass(SQClass* cls, SQInteger target, SQInteger nargs, SQInteger stackbase);

    // ---- errors (always return false)
    bool Raise_Error(const char* fmt, ...);
    bool Raise_ErrorObj(const SQObjectPtr& e);
    bool Raise_OutOfMemory();   // allocates nothing
    void RaiseNativeException();
    void DropUnboundVargs();
    void ThrowIfOutOfMemory();
    void FailedAllocation(SQInteger top, bool raiseerror);
    bool Raise_IdxError(const SQObject& key);
    bool Raise_CompareError(const SQObject& o1, const SQObject& o2);
    bool Raise_ParamTypeError(SQInteger nparam, SQInteger typemask, SQInteger type);
    SQString* PrintObj(const SQObject& o);   // value text for error messages

    SQSharedState* SS() const { return _sharedstate; }
    SQString* Str(const char* s, SQInteger len = -1) { return SqString(_sharedstate, s, len); }

    SQObjectPtr* _stack = nullptr;
    SQInteger _stacksize = 0;
    SQInteger _top = 0;
    SQInteger _stackbase = 0;
    std::vector<SQCallInfo> _callsstack;
    SQInteger _callsstacksize = 0;
    SQCallInfo* ci = nullptr;
    // a script call made from frame ci can push its frame inline while ci is below this; with
    // a debug hook set no call is inline, as each reports to the hook
    SQCallInfo* _cilimit = nullptr;
    void SetCallLimit()
    {
        if (sqtype(_debughook) != OT_NULL) {
            _cilimit = _callsstack.data();
            return;
        }
        size_t last = _callsstack.size() - 1;
        if (last > static_cast<size_t>(SQ_MAX_CALL_DEPTH - 1)) last = static_cast<size_t>(SQ_MAX_CALL_DEPTH - 1);
        _cilimit = &_callsstack[last];
    }
    std::vector<SQExceptionTrap> _etraps;
    std::vector<SQObjectPtr> _vargsstack;
    SQObjectPtr _roottable;
    SQObjectPtr _lasterror;
    SQObjectPtr _errorhandler;
    SQObjectPtr _debughook;
    bool _errorreported = false;   // the handler already saw _lasterror
    bool _inerrorhandler = false;   // the handler runs: the depth limits leave it some room
    bool _inhook = false;
    SQInteger _nnativecalls = 0;
    bool _suspended = false;
    bool _suspended_root = false;
    SQInteger _suspended_target = -1;
    SQUserPointer _foreignptr = nullptr;
    SQObjectPtr _temp;   // scratch for natives
};

// Frame push and pop sit on every call path, so they are inline.
inline void SQVM::PushCallInfo()
{
    if (_callsstacksize == static_cast<SQInteger>(_callsstack.size())) {
        _callsstack.resize(_callsstack.size() * 2);
        SetCallLimit();
    }
    ci = &_callsstack[static_cast<size_t>(_callsstacksize++)];
    ci->_generator = nullptr;
    ci->_etraps = 0;
    ci->_vargs_base = static_cast<SQInteger>(_vargsstack.size());
    ci->_vargs_size = 0;
    ci->_ncalls = 1;
    ci->_root = false;
    ci->_ctor = false;
    ci->_plain = false;
    ci->_borrowed = false;
    ci->_target = -1;
    ci->_ip = nullptr;
    ci->_literals = nullptr;
}

inline void SQVM::PopCallInfo()
{
    SQCallInfo& popped = _callsstack[static_cast<size_t>(--_callsstacksize)];
    popped.DropClosure();
    popped.ClearState();
    ci = _callsstacksize ? &_callsstack[static_cast<size_t>(_callsstacksize - 1)] : nullptr;
}

SQ_FORCE_INLINE void SQVM::LeaveFrame()
{
    SQInteger lastTop = _top;
    SQInteger lastBase = _stackbase;
    _stackbase -= ci->_prevstkbase;
    _top = ci->_prevtop;
    for (SQInteger n = 0; n < ci->_etraps; n++) _etraps.pop_back();
    if (ci->_vargs_size) _vargsstack.resize(static_cast<size_t>(ci->_vargs_base));
    PopCallInfo();
    // the callee's slots start at its `this`: the caller's call temps are dead now
    ReleaseSlots(lastBase, lastTop);
}

// Drops the references held in the slots [first, last), lowest first; plain values left
// above the top are never read, so they stay. The first slot is a frame's `this`, most
// often a reference; most others hold plain values, so they are tested two at a time. A
// release may run a hook that grows the stack: the stack is read again after each.
SQ_FORCE_INLINE void SQVM::ReleaseSlots(SQInteger first, SQInteger last)
{
    if (first >= last) return;
    if (_stack[first]._type & SQOBJECT_REF_COUNTED) {
        // released here rather than through Null(), which the compiler keeps out of line
        const SQObject self = _stack[first];
        _stack[first]._type = OT_NULL;
        _stack[first]._unVal.raw = 0;
        SQRefCounted* o = self._unVal.pRefCounted;
        if (--o->_uiRef == 0) {
            if (self._type == OT_STRING) o->Release();
            else SqDestroy(o);
        }
    }
    SQObjectPtr* p = _stack + first + 1;
    SQObjectPtr* end = _stack + last;
    SQObjectPtr* pairsEnd = end - 1;
    while (p < pairsEnd) {
        if ((p[0]._type | p[1]._type) & SQOBJECT_REF_COUNTED) {
            const SQInteger n = static_cast<SQInteger>(p - _stack);
            if (_stack[n]._type & SQOBJECT_REF_COUNTED) _stack[n].Null();
            if (_stack[n + 1]._type & SQOBJECT_REF_COUNTED) _stack[n + 1].Null();
            p = _stack + n;
            end = _stack + last;
            pairsEnd = end - 1;
        }
        p += 2;
    }
    if (p < end && (p->_type & SQOBJECT_REF_COUNTED)) p->Null();
}

inline SQVM* SqVMOf(HSQUIRRELVM v) { return v; }
bool SqCompile(SQVM* vm, SQLEXREADFUNC rg, SQUserPointer up, const char* sourcename, SQObjectPtr& out,
               bool raiseerror, bool lineinfo);
void SqRegisterBaseLib(SQVM* v);
void SqInitDefaultDelegates(SQVM* v);
// the numbers' and strings' tointeger() and tofloat(); calls on a number are done inline
SQInteger SqDefaultToInteger(HSQUIRRELVM v);
SQInteger SqDefaultToFloat(HSQUIRRELVM v);
