// The C interface. Each function documents its effect on the stack of the current frame.
#include "sqvm.h"
#include "sqmessages.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

SQObjectPtr& stackAt(HSQUIRRELVM v, SQInteger idx) { return v->StackAt(idx); }

SQRESULT fail(HSQUIRRELVM v, const char* msg)
{
    v->Raise_Error("%s", msg);
    return SQ_ERROR;
}

SQRESULT wrongType(HSQUIRRELVM v, const char* expected, const SQObject& got)
{
    v->Raise_Error(sqmsg::WrongArgumentTypeExpectedGot, expected, SqTypeName(sqtype(got)));
    return SQ_ERROR;
}

struct BufferReader {
    const char* buf;
    SQInteger size;
    SQInteger pos;
};

SQInteger readBuffer(SQUserPointer up)
{
    BufferReader* r = static_cast<BufferReader*>(up);
    if (r->pos >= r->size) return 0;
    return static_cast<unsigned char>(r->buf[r->pos++]);
}

// Type mask letters of sq_setparamscheck; -1: any type.
bool compileTypeMask(std::vector<SQInteger>& res, const char* typemask)
{
    SQInteger mask = 0;
    size_t i = 0;
    while (typemask[i] != 0) {
        switch (typemask[i]) {
        case 'o': mask |= _RT_NULL; break;
        case 'i': mask |= _RT_INTEGER; break;
        case 'f': mask |= _RT_FLOAT; break;
        case 'n': mask |= (_RT_FLOAT | _RT_INTEGER); break;
        case 's': mask |= _RT_STRING; break;
        case 't': mask |= _RT_TABLE; break;
        case 'a': mask |= _RT_ARRAY; break;
        case 'u': mask |= _RT_USERDATA; break;
        case 'c': mask |= (_RT_CLOSURE | _RT_NATIVECLOSURE); break;
        case 'b': mask |= _RT_BOOL; break;
        case 'g': mask |= _RT_GENERATOR; break;
        case 'p': mask |= _RT_USERPOINTER; break;
        case 'v': mask |= _RT_THREAD; break;
        case 'x': mask |= _RT_INSTANCE; break;
        case 'y': mask |= _RT_CLASS; break;
        case 'r': mask |= _RT_WEAKREF; break;
        case '.': mask = -1; res.push_back(mask); i++; mask = 0; continue;
        case ' ': i++; continue;
        default: return false;
        }
        i++;
        if (typemask[i] == '|') {
            i++;
            if (typemask[i] == 0) return false;
            continue;
        }
        res.push_back(mask);
        mask = 0;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------- vm

HSQUIRRELVM sq_open(SQInteger initialstacksize)
{
    SQSharedState* ss = new SQSharedState();
    ss->Init();
    SQVM* v = new SQVM(ss);
    ss->_root_vm = v;
    v->Init(nullptr, initialstacksize);
    SqInitDefaultDelegates(v);
    SqRegisterBaseLib(v);
    return v;
}

HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger initialstacksize)
{
    SQVM* t = new SQVM(friendvm->SS());
    SQObjectPtr holder(t);
    t->Init(friendvm, initialstacksize);
    friendvm->Push(holder);
    return t;
}

SQInteger sq_getvmstate(HSQUIRRELVM v)
{
    if (v->_suspended) return SQ_VMSTATE_SUSPENDED;
    return v->_callsstacksize != 0 ? SQ_VMSTATE_RUNNING : SQ_VMSTATE_IDLE;
}

void sq_seterrorhandler(HSQUIRRELVM v)
{
    SQObjectPtr& o = v->Top();
    if (sqtype(o) == OT_CLOSURE || sqtype(o) == OT_NATIVECLOSURE || sqtype(o) == OT_NULL) {
        v->_errorhandler = o;
        v->Pop();
    }
}

void sq_setdebughook(HSQUIRRELVM v)
{
    SQObjectPtr& o = v->Top();
    if (sqtype(o) == OT_CLOSURE || sqtype(o) == OT_NATIVECLOSURE || sqtype(o) == OT_NULL) {
        v->_debughook = o;
        v->Pop();
        v->SetCallLimit();
        // running frames return through the hook from now on
        if (sqtype(v->_debughook) != OT_NULL)
            for (SQInteger n = 0; n < v->_callsstacksize; n++) v->_callsstack[static_cast<size_t>(n)]._plain = false;
    }
}

void sq_close(HSQUIRRELVM v)
{
    SQSharedState* ss = v->SS();
    SQObjectPtr self = ss->_root_vm;
    ss->_root_vm.Null();
    _thread(self)->Finalize();
    self.Null();
    delete ss;
}

void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p) { v->_foreignptr = p; }
SQUserPointer sq_getforeignptr(HSQUIRRELVM v) { return v->_foreignptr; }
void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION printfunc) { v->SS()->_printfunc = printfunc; }
SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v) { return v->SS()->_printfunc; }

SQRESULT sq_suspendvm(HSQUIRRELVM v)
{
    if (v->_suspended) return fail(v, sqmsg::CannotSuspendAnAlreadySuspendedVm);
    if (v->_nnativecalls != 2) return fail(v, sqmsg::CannotSuspendThroughNativeCallsMetamethods);
    return SQ_SUSPEND_FLAG;
}

SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool resumedret, SQBool retval, SQBool raiseerror)
{
    SQObjectPtr ret;
    SQInteger top = v->_top;
    try {
        if (!v->WakeUp(resumedret != 0, ret, raiseerror != 0)) return SQ_ERROR;
    } catch (const std::bad_alloc&) {
        v->FailedAllocation(top, raiseerror != 0);
        return SQ_ERROR;
    }
    if (retval) v->Push(ret);
    return SQ_OK;
}

// ---------------------------------------------------------------- compiler

SQRESULT sq_compile(HSQUIRRELVM v, SQLEXREADFUNC read, SQUserPointer p, const SQChar* sourcename, SQBool raiseerror)
{
    SQObjectPtr closure;
    try {
        if (!SqCompile(v, read, p, sourcename, closure, raiseerror != 0, v->SS()->_debuginfo)) return SQ_ERROR;
    } catch (const std::bad_alloc&) {
        v->Raise_OutOfMemory();
        return SQ_ERROR;
    }
    v->Push(closure);
    return SQ_OK;
}

SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar* s, SQInteger size, const SQChar* sourcename, SQBool raiseerror)
{
    BufferReader r{s, size, 0};
    return sq_compile(v, readBuffer, &r, sourcename, raiseerror);
}

void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable) { v->SS()->_debuginfo = enable != 0; }
void sq_notifyallexceptions(HSQUIRRELVM v, SQBool enable) { v->SS()->_notifyallexceptions = enable != 0; }
void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f) { v->SS()->_compilererrorhandler = f; }

// ---------------------------------------------------------------- stack

void sq_push(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    v->Push(o);
}

void sq_pop(HSQUIRRELVM v, SQInteger nelemstopop) { v->Pop(nelemstopop); }
void sq_poptop(HSQUIRRELVM v) { v->Pop(); }
void sq_remove(HSQUIRRELVM v, SQInteger idx) { v->Remove(idx); }
SQInteger sq_gettop(HSQUIRRELVM v) { return v->_top - v->_stackbase; }

void sq_settop(HSQUIRRELVM v, SQInteger newtop)
{
    SQInteger top = sq_gettop(v);
    if (top > newtop) v->Pop(top - newtop);
    else while (top++ < newtop) v->PushNull();
}

void sq_reservestack(HSQUIRRELVM v, SQInteger nsize) { v->GrowStack(v->_top + nsize); }

SQInteger sq_cmp(HSQUIRRELVM v)
{
    SQObjectPtr a = v->GetUp(-1), b = v->GetUp(-2);
    SQInteger res = 0;
    v->ObjCmp(a, b, res);
    return res;
}

void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx)
{
    SQObjectPtr o = stackAt(src, idx);
    dest->Push(o);
}

// ---------------------------------------------------------------- creation

SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size)
{
    SQUserData* ud = SQUserData::Create(v->SS(), static_cast<SQInteger>(size));
    v->Push(SQObjectPtr(ud));
    return ud->Data();
}

void sq_newtable(HSQUIRRELVM v) { v->Push(SQObjectPtr(SQTable::Create(v->SS(), 0))); }
void sq_newarray(HSQUIRRELVM v, SQInteger size) { v->Push(SQObjectPtr(SQArray::Create(v->SS(), size))); }

void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars)
{
    SQNativeClosure* nc = SQNativeClosure::Create(v->SS(), func);
    SQObjectPtr holder(nc);
    for (SQUnsignedInteger i = 0; i < nfreevars; i++) nc->_outervalues.push_back(v->GetUp(-1 - static_cast<SQInteger>(i)));
    v->Pop(static_cast<SQInteger>(nfreevars));
    v->Push(holder);
}

SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar* typemask)
{
    SQObjectPtr& o = v->Top();
    if (sqtype(o) != OT_NATIVECLOSURE) return fail(v, sqmsg::NativeClosureExpected);
    SQNativeClosure* nc = _nativeclosure(o);
    nc->_nparamscheck = nparamscheck;
    nc->_typecheck.clear();
    if (typemask) {
        std::vector<SQInteger> res;
        if (!compileTypeMask(res, typemask)) return fail(v, sqmsg::InvalidTypemask);
        nc->_typecheck = res;
    }
    if (nparamscheck == SQ_MATCHTYPEMASKSTRING) nc->_nparamscheck = static_cast<SQInteger>(nc->_typecheck.size());
    return SQ_OK;
}

SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    SQObjectPtr env = v->Top();
    if (sqtype(o) != OT_CLOSURE && sqtype(o) != OT_NATIVECLOSURE) return fail(v, sqmsg::TheTargetIsNotAClosure);
    if (sqtype(env) != OT_TABLE && sqtype(env) != OT_CLASS && sqtype(env) != OT_INSTANCE) return fail(v, sqmsg::InvalidEnvironment);
    SQObjectPtr weak(_refcounted(env)->GetWeakRef(sqtype(env)));
    SQObjectPtr ret;
    if (sqtype(o) == OT_CLOSURE) {
        SQClosure* c = _closure(o)->Clone();
        ret = c;
        c->_env = weak;
        c->_plainargs = -1;   // the call must bind the environment
    } else {
        SQNativeClosure* c = _nativeclosure(o)->Clone();
        ret = c;
        c->_env = weak;
    }
    v->Pop();
    v->Push(ret);
    return SQ_OK;
}

void sq_pushstring(HSQUIRRELVM v, const SQChar* s, SQInteger len)
{
    if (!s) v->PushNull();
    else v->Push(SQObjectPtr(v->Str(s, len)));
}

void sq_pushfloat(HSQUIRRELVM v, SQFloat f) { v->Push(SQObjectPtr(f)); }
void sq_pushinteger(HSQUIRRELVM v, SQInteger n) { v->Push(SQObjectPtr(n)); }
void sq_pushbool(HSQUIRRELVM v, SQBool b) { v->Push(SQObjectPtr::Bool(b != 0)); }
void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p) { v->Push(SQObjectPtr::UserPointer(p)); }
void sq_pushnull(HSQUIRRELVM v) { v->PushNull(); }
SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx) { return sqtype(stackAt(v, idx)); }

SQInteger sq_getsize(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr& o = stackAt(v, idx);
    switch (sqtype(o)) {
    case OT_STRING: return _string(o)->_len;
    case OT_TABLE: return _table(o)->CountUsed();
    case OT_ARRAY: return _array(o)->Size();
    case OT_USERDATA: return _userdata(o)->_size;
    default:
        v->Raise_Error(sqmsg::UnexpectedType, SqTypeName(sqtype(o)));
        return -1;
    }
}

SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    if (sqtype(o) != OT_CLASS) return fail(v, sqmsg::InvalidType);
    if (_class(o)->_base) v->Push(SQObjectPtr(_class(o)->_base));
    else v->PushNull();
    return SQ_OK;
}

SQBool sq_instanceof(HSQUIRRELVM v)
{
    SQObjectPtr& inst = v->GetUp(-1);
    SQObjectPtr& cl = v->GetUp(-2);
    if (sqtype(inst) != OT_INSTANCE || sqtype(cl) != OT_CLASS) {
        fail(v, sqmsg::InvalidParamType);
        return static_cast<SQBool>(-1);
    }
    return _instance(inst)->InstanceOf(_class(cl)) ? SQTrue : SQFalse;
}

void sq_tostring(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx), res;
    v->ToString(o, res);
    v->Push(res);
}

void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool* b) { *b = SqIsFalse(stackAt(v, idx)) ? SQFalse : SQTrue; }

SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar** c)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_STRING) return wrongType(v, sqmsg::String, o);
    *c = _string(o)->_val;
    return SQ_OK;
}

SQRESULT sq_getinteger(HSQUIRRELVM v, SQInteger idx, SQInteger* i)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (!(sqtype(o) & SQOBJECT_NUMERIC)) return wrongType(v, sqmsg::Integer, o);
    *i = SqToInteger(o);
    return SQ_OK;
}

SQRESULT sq_getfloat(HSQUIRRELVM v, SQInteger idx, SQFloat* f)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (!(sqtype(o) & SQOBJECT_NUMERIC)) return wrongType(v, sqmsg::Float, o);
    *f = SqToFloat(o);
    return SQ_OK;
}

SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool* b)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_BOOL) return wrongType(v, sqmsg::Bool, o);
    *b = _integer(o) ? SQTrue : SQFalse;
    return SQ_OK;
}

SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM* thread)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_THREAD) return wrongType(v, sqmsg::Thread, o);
    *thread = _thread(o);
    return SQ_OK;
}

SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_USERPOINTER) return wrongType(v, sqmsg::Userpointer, o);
    *p = _userpointer(o);
    return SQ_OK;
}

SQRESULT sq_getuserdata(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p, SQUserPointer* typetag)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_USERDATA) return wrongType(v, sqmsg::Userdata, o);
    *p = _userdata(o)->Data();
    if (typetag) *typetag = _userdata(o)->_typetag;
    return SQ_OK;
}

SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag)
{
    SQObjectPtr& o = stackAt(v, idx);
    switch (sqtype(o)) {
    case OT_USERDATA: _userdata(o)->_typetag = typetag; return SQ_OK;
    case OT_CLASS: _class(o)->_typetag = typetag; return SQ_OK;
    default: return fail(v, sqmsg::InvalidObjectType);
    }
}

SQRESULT sq_getobjtypetag(HSQOBJECT* o, SQUserPointer* typetag)
{
    switch (sqtype(*o)) {
    case OT_INSTANCE: *typetag = _instance(*o)->_class ? _instance(*o)->_class->_typetag : nullptr; return SQ_OK;
    case OT_USERDATA: *typetag = _userdata(*o)->_typetag; return SQ_OK;
    case OT_CLASS: *typetag = _class(*o)->_typetag; return SQ_OK;
    default: return SQ_ERROR;
    }
}

SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer* typetag)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (SQ_FAILED(sq_getobjtypetag(&o, typetag))) return fail(v, sqmsg::InvalidObjectType);
    return SQ_OK;
}

void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook)
{
    SQObjectPtr& o = stackAt(v, idx);
    switch (sqtype(o)) {
    case OT_USERDATA: _userdata(o)->_hook = hook; break;
    case OT_INSTANCE: _instance(o)->_hook = hook; break;
    case OT_CLASS: _class(o)->_hook = hook; break;
    default: break;
    }
}

SQChar* sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize) { return v->SS()->GetScratchPad(minsize); }

SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger* nparams, SQUnsignedInteger* nfreevars)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_CLOSURE) return fail(v, sqmsg::TheObjectIsNotAClosure);
    SQFunctionProto* p = _closure(o)->Proto();
    *nparams = static_cast<SQUnsignedInteger>(p->_parameters.size());
    *nfreevars = static_cast<SQUnsignedInteger>(p->_outervalues.size());
    return SQ_OK;
}

SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar* name)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_NATIVECLOSURE) return fail(v, sqmsg::TheObjectIsNotANativeclosure);
    _nativeclosure(o)->_name = v->Str(name);
    return SQ_OK;
}

SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_INSTANCE) return fail(v, sqmsg::TheObjectIsNotAClassInstance);
    _instance(o)->_userpointer = p;
    return SQ_OK;
}

SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p, SQUserPointer typetag)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_INSTANCE) return fail(v, sqmsg::TheObjectIsNotAClassInstance);
    *p = _instance(o)->_userpointer;
    if (typetag) {
        for (SQClass* c = _instance(o)->_class; c; c = c->_base) {
            if (c->_typetag == typetag) return SQ_OK;
        }
        return fail(v, sqmsg::InvalidTypeTag);
    }
    return SQ_OK;
}

SQRESULT sq_setclassudsize(HSQUIRRELVM v, SQInteger idx, SQInteger udsize)
{
    SQObjectPtr& o = stackAt(v, idx);
    if (sqtype(o) != OT_CLASS) return fail(v, sqmsg::TheObjectIsNotAClass);
    if (_class(o)->_locked) return fail(v, sqmsg::TheClassIsLocked);
    _class(o)->_udsize = udsize;
    return SQ_OK;
}

SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase)
{
    SQClass* base = nullptr;
    SQObjectPtr baseObj;
    if (hasbase) {
        baseObj = v->Top();
        if (sqtype(baseObj) != OT_CLASS) return fail(v, sqmsg::InvalidBaseType);
        base = _class(baseObj);
    }
    SQObjectPtr cls(SQClass::Create(v->SS(), base));
    if (hasbase) v->Pop();
    v->Push(cls);
    return SQ_OK;
}

SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    if (sqtype(o) != OT_CLASS) return fail(v, sqmsg::TheObjectIsNotAClass);
    v->Push(SQObjectPtr(_class(o)->CreateInstance()));
    return SQ_OK;
}

SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    if (sqtype(o) != OT_CLASS) return fail(v, sqmsg::TheObjectIsNotAClass);
    SQObjectPtr key = v->GetUp(-2), val = v->GetUp(-1), old;
    if (!_class(o)->SetAttributes(key, val, old)) return fail(v, sqmsg::WrongIndex);
    v->Pop(2);
    v->Push(old);
    return SQ_OK;
}

SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    if (sqtype(o) != OT_CLASS) return fail(v, sqmsg::TheObjectIsNotAClass);
    SQObjectPtr key = v->GetUp(-1), attrs;
    if (!_class(o)->GetAttributes(key, attrs)) return fail(v, sqmsg::WrongIndex);
    v->Pop();
    v->Push(attrs);
    return SQ_OK;
}

SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    if (sqtype(o) != OT_INSTANCE) return fail(v, sqmsg::TheObjectIsNotAClassInstance);
    v->Push(SQObjectPtr(_instance(o)->_class));
    return SQ_OK;
}

void sq_weakref(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    if (ISREFCOUNTED(sqtype(o))) v->Push(SQObjectPtr(_refcounted(o)->GetWeakRef(sqtype(o))));
    else v->Push(o);
}

SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType t)
{
    SQSharedState* ss = v->SS();
    const SQObjectPtr* dd = nullptr;
    switch (t) {
    case OT_TABLE: dd = &ss->_table_default_delegate; break;
    case OT_ARRAY: dd = &ss->_array_default_delegate; break;
    case OT_STRING: dd = &ss->_string_default_delegate; break;
    case OT_INTEGER: case OT_FLOAT: dd = &ss->_number_default_delegate; break;
    case OT_GENERATOR: dd = &ss->_generator_default_delegate; break;
    case OT_CLOSURE: case OT_NATIVECLOSURE: dd = &ss->_closure_default_delegate; break;
    case OT_THREAD: dd = &ss->_thread_default_delegate; break;
    case OT_CLASS: dd = &ss->_class_default_delegate; break;
    case OT_INSTANCE: dd = &ss->_instance_default_delegate; break;
    case OT_WEAKREF: dd = &ss->_weakref_default_delegate; break;
    default: return fail(v, sqmsg::TheTypeDoesnTHaveADefault);
    }
    v->Push(*dd);
    return SQ_OK;
}

// ---------------------------------------------------------------- tables and friends

void sq_pushroottable(HSQUIRRELVM v) { v->Push(v->_roottable); }
void sq_pushregistrytable(HSQUIRRELVM v) { v->Push(v->SS()->_registry); }
void sq_pushconsttable(HSQUIRRELVM v) { v->Push(v->SS()->_consts); }

SQRESULT sq_setroottable(HSQUIRRELVM v)
{
    SQObjectPtr o = v->Top();
    if (sqtype(o) != OT_TABLE && sqtype(o) != OT_NULL) return fail(v, sqmsg::IvalidType);
    v->_roottable = o;
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_setconsttable(HSQUIRRELVM v)
{
    SQObjectPtr o = v->Top();
    if (sqtype(o) != OT_TABLE) return fail(v, sqmsg::IvalidTypeExpectedTable);
    v->SS()->_consts = o;
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic)
{
    if (sq_gettop(v) < 3) return fail(v, sqmsg::NotEnoughParamsInTheStack);
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr key = v->GetUp(-2), val = v->GetUp(-1);
    if (sqtype(key) == OT_NULL) return fail(v, sqmsg::NullIsNotAValidKey);
    if (sqtype(self) == OT_TABLE) {
        bool ok = v->NewSlot(self, key, val, false);
        v->Pop(2);
        return ok ? SQ_OK : SQ_ERROR;
    }
    if (sqtype(self) == OT_CLASS) {
        _class(self)->NewSlot(v->SS(), key, val, bstatic != 0);   // a locked class ignores it
        v->Pop(2);
    }
    return SQ_OK;
}

SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval)
{
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr key = v->Top();
    if (sqtype(self) != OT_TABLE) return fail(v, sqmsg::WrongType);
    if (sqtype(key) == OT_NULL) return fail(v, sqmsg::NullIsNotAValidKey);
    SQObjectPtr res;
    if (!v->DeleteSlot(self, key, res)) return SQ_ERROR;
    v->Pop();
    if (pushval) v->Push(res);
    return SQ_OK;
}

SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr key = v->GetUp(-2), val = v->GetUp(-1);
    if (!v->Set(self, key, val, false)) return SQ_ERROR;
    v->Pop(2);
    return SQ_OK;
}

SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr key = v->Top(), res;
    if (v->Get(self, key, res, false, false)) {
        v->Pop();
        v->Push(res);
        return SQ_OK;
    }
    v->Pop();
    return fail(v, sqmsg::TheIndexDoesnTExist);
}

SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr key = v->Top(), res;
    bool found = false;
    switch (sqtype(self)) {
    case OT_TABLE: found = _table(self)->Get(key, res); break;
    case OT_CLASS: found = _class(self)->Get(key, res); break;
    case OT_INSTANCE: found = _instance(self)->Get(key, res); break;
    case OT_ARRAY: found = (sqtype(key) & SQOBJECT_NUMERIC) && _array(self)->Get(SqToInteger(key), res); break;
    default:
        v->Pop();
        return fail(v, sqmsg::RawgetWorksOnlyOnArrayTableInstance);
    }
    v->Pop();
    if (!found) return fail(v, sqmsg::TheIndexDoesnTExist);
    v->Push(res);
    return SQ_OK;
}

SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr key = v->GetUp(-2), val = v->GetUp(-1);
    if (sqtype(key) == OT_NULL) return fail(v, sqmsg::NullKey);
    switch (sqtype(self)) {
    case OT_TABLE:
        _table(self)->NewSlot(key, val);
        v->Pop(2);
        return SQ_OK;
    case OT_CLASS:
        _class(self)->NewSlot(v->SS(), key, val, false);
        v->Pop(2);
        return SQ_OK;
    case OT_INSTANCE:
        if (!_instance(self)->Set(key, val)) return v->Raise_IdxError(key), SQ_ERROR;
        v->Pop(2);
        return SQ_OK;
    case OT_ARRAY:
        if (!(sqtype(key) & SQOBJECT_NUMERIC) || !_array(self)->Set(SqToInteger(key), val))
            return v->Raise_IdxError(key), SQ_ERROR;
        v->Pop(2);
        return SQ_OK;
    default:
        v->Pop(2);
        return fail(v, sqmsg::RawsetWorksOnlyOnArrayTableClass);
    }
}

SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval)
{
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr key = v->Top();
    if (sqtype(self) != OT_TABLE) return fail(v, sqmsg::WrongType);
    SQObjectPtr old;
    _table(self)->Get(key, old);
    _table(self)->Remove(key);
    v->Pop();
    if (pushval) v->Push(old);
    return SQ_OK;
}

SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr arr = stackAt(v, idx);
    if (sqtype(arr) != OT_ARRAY) return wrongType(v, sqmsg::Array, arr);
    _array(arr)->_values.push_back(v->Top());
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval)
{
    SQObjectPtr arr = stackAt(v, idx);
    if (sqtype(arr) != OT_ARRAY) return wrongType(v, sqmsg::Array, arr);
    std::vector<SQObjectPtr>& vals = _array(arr)->_values;
    if (vals.empty()) return fail(v, sqmsg::EmptyArray);
    SQObjectPtr last = vals.back();
    vals.pop_back();
    if (pushval) v->Push(last);
    return SQ_OK;
}

SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize)
{
    SQObjectPtr arr = stackAt(v, idx);
    if (sqtype(arr) != OT_ARRAY) return wrongType(v, sqmsg::Array, arr);
    if (newsize < 0) return fail(v, sqmsg::NegativeSize);
    _array(arr)->_values.resize(static_cast<size_t>(newsize));
    return SQ_OK;
}

SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr arr = stackAt(v, idx);
    if (sqtype(arr) != OT_ARRAY) return wrongType(v, sqmsg::Array, arr);
    std::vector<SQObjectPtr>& vals = _array(arr)->_values;
    for (size_t i = 0, j = vals.size(); i + 1 < j; i++, j--) std::swap(vals[i], vals[j - 1]);
    return SQ_OK;
}

SQRESULT sq_arrayremove(HSQUIRRELVM v, SQInteger idx, SQInteger itemidx)
{
    SQObjectPtr arr = stackAt(v, idx);
    if (sqtype(arr) != OT_ARRAY) return wrongType(v, sqmsg::Array, arr);
    std::vector<SQObjectPtr>& vals = _array(arr)->_values;
    if (itemidx < 0 || itemidx >= static_cast<SQInteger>(vals.size())) return fail(v, sqmsg::IndexOutOfRange);
    vals.erase(vals.begin() + itemidx);
    return SQ_OK;
}

SQRESULT sq_arrayinsert(HSQUIRRELVM v, SQInteger idx, SQInteger destpos)
{
    SQObjectPtr arr = stackAt(v, idx);
    SQObjectPtr val = v->Top();
    v->Pop();
    if (sqtype(arr) != OT_ARRAY) return wrongType(v, sqmsg::Array, arr);
    std::vector<SQObjectPtr>& vals = _array(arr)->_values;
    if (destpos < 0 || destpos > static_cast<SQInteger>(vals.size())) return fail(v, sqmsg::IndexOutOfRange);
    vals.insert(vals.begin() + destpos, val);
    return SQ_OK;
}

SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr mt = v->Top();
    if (sqtype(mt) != OT_TABLE && sqtype(mt) != OT_NULL) return fail(v, sqmsg::WrongType);
    SQTable* d = sqtype(mt) == OT_TABLE ? _table(mt) : nullptr;
    switch (sqtype(self)) {
    case OT_TABLE:
        if (!_table(self)->SetDelegate(d)) return fail(v, sqmsg::DelagateCycle);
        break;
    case OT_USERDATA:
        _userdata(self)->SetDelegate(d);
        break;
    default:
        return fail(v, sqmsg::WrongType);
    }
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr self = stackAt(v, idx);
    SQTable* d;
    switch (sqtype(self)) {
    case OT_TABLE: d = _table(self)->_delegate; break;
    case OT_USERDATA: d = _userdata(self)->_delegate; break;
    default: return fail(v, sqmsg::WrongType);
    }
    if (d) v->Push(SQObjectPtr(d));
    else v->PushNull();
    return SQ_OK;
}

SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr self = stackAt(v, idx), res;
    if (sqtype(self) != OT_TABLE && sqtype(self) != OT_ARRAY && sqtype(self) != OT_INSTANCE) {
        v->Raise_Error(sqmsg::UnexpectedType, SqTypeName(sqtype(self)));
        return SQ_ERROR;
    }
    if (!v->Clone(self, res)) return SQ_ERROR;
    v->Push(res);
    return SQ_OK;
}

SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval)
{
    SQObjectPtr self = stackAt(v, idx);
    SQObjectPtr* slot;
    switch (sqtype(self)) {
    case OT_CLOSURE:
        if (nval >= _closure(self)->_outervalues.size()) return fail(v, sqmsg::InvalidFreeVarIndex);
        slot = &_closure(self)->_outervalues[nval];
        break;
    case OT_NATIVECLOSURE:
        if (nval >= _nativeclosure(self)->_outervalues.size()) return fail(v, sqmsg::InvalidFreeVarIndex);
        slot = &_nativeclosure(self)->_outervalues[nval];
        break;
    default: return fail(v, sqmsg::InvalidFreeVarIndex);
    }
    *slot = v->Top();
    v->Pop();
    return SQ_OK;
}

SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    SQObjectPtr& refpos = v->Top();
    SQObjectPtr regs[3];
    regs[0] = refpos;
    if (sqtype(o) == OT_GENERATOR) return fail(v, sqmsg::CannotIterateAGenerator);
    bool finished, isgen;
    if (!v->ForEach(o, regs, finished, isgen)) return SQ_ERROR;
    if (finished) return SQ_ERROR;
    v->Top() = regs[0];
    v->Push(regs[1]);
    v->Push(regs[2]);
    return SQ_OK;
}

SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    if (sqtype(o) != OT_WEAKREF) return fail(v, sqmsg::TheObjectMustBeAWeakref);
    v->Push(_weakref(o)->_obj);
    return SQ_OK;
}

SQRESULT sq_clear(HSQUIRRELVM v, SQInteger idx)
{
    SQObjectPtr o = stackAt(v, idx);
    switch (sqtype(o)) {
    case OT_TABLE: _table(o)->Clear(); return SQ_OK;
    case OT_ARRAY: _array(o)->_values.clear(); return SQ_OK;
    default: return fail(v, sqmsg::ClearOnlyWorksOnTableAndArray);
    }
}

// ---------------------------------------------------------------- calls

SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror)
{
    SQObjectPtr fn = v->GetUp(-(params + 1));
    switch (sqtype(fn)) {
    case OT_CLOSURE: case OT_NATIVECLOSURE: case OT_CLASS: case OT_TABLE: case OT_INSTANCE: case OT_USERDATA: break;
    default:
        v->Pop(params);   // not callable: no handler, last error untouched
        return SQ_ERROR;
    }
    SQObjectPtr res;
    SQInteger top = v->_top;
    bool ok;
    try {
        ok = v->Call(fn, params, top - params, res, raiseerror != 0);
    } catch (const std::bad_alloc&) {
        v->FailedAllocation(top, raiseerror != 0);
        ok = false;
    }
    if (ok) {
        if (v->_suspended) return SQ_OK;
        v->Pop(params);
        if (retval) v->Push(res);
        return SQ_OK;
    }
    v->Pop(params);
    return SQ_ERROR;
}

SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool raiseerror)
{
    SQObjectPtr gen = v->Top();
    if (sqtype(gen) != OT_GENERATOR) return fail(v, sqmsg::OnlyGeneratorsCanBeResumed);
    SQObjectPtr res;
    SQInteger top = v->_top;
    try {
        if (!v->Execute(gen, -1, 0, top, res, raiseerror != 0, SQVM::ET_RESUME_GENERATOR)) return SQ_ERROR;
    } catch (const std::bad_alloc&) {
        v->FailedAllocation(top, raiseerror != 0);
        return SQ_ERROR;
    }
    if (retval) v->Push(res);
    return SQ_OK;
}

const SQChar* sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval)
{
    SQObjectPtr self = stackAt(v, idx);
    if (sqtype(self) != OT_CLOSURE) return nullptr;
    SQClosure* c = _closure(self);
    if (nval >= c->_outervalues.size()) return nullptr;
    v->Push(c->_outervalues[nval]);
    return _string(c->Proto()->_outervalues[nval]._name)->_val;
}

SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar* err)
{
    v->_lasterror = v->Str(err);
    v->_errorreported = false;
    return SQ_ERROR;
}

void sq_reseterror(HSQUIRRELVM v) { v->_lasterror.Null(); }
void sq_getlasterror(HSQUIRRELVM v) { v->Push(v->_lasterror); }

// ---------------------------------------------------------------- handles

SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT* po)
{
    const SQObjectPtr& o = stackAt(v, idx);
    po->_type = o._type;
    po->_unVal = o._unVal;
    return SQ_OK;
}

void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj) { v->Push(obj); }

void sq_addref(HSQUIRRELVM v, HSQOBJECT* po)
{
    if (!ISREFCOUNTED(sqtype(*po))) return;
    auto& refs = v->SS()->_refs;
    auto it = refs.find(po->_unVal.pRefCounted);
    if (it == refs.end()) refs.emplace(po->_unVal.pRefCounted, SQRefEntry{SQObjectPtr(*po), 1});
    else it->second.count++;
}

SQBool sq_release(HSQUIRRELVM v, HSQOBJECT* po)
{
    if (!ISREFCOUNTED(sqtype(*po))) return SQTrue;
    auto& refs = v->SS()->_refs;
    auto it = refs.find(po->_unVal.pRefCounted);
    if (it == refs.end()) return SQFalse;
    if (--it->second.count == 0) {
        SQObjectPtr hold = std::move(it->second.obj);
        refs.erase(it);
        return SQTrue;
    }
    return SQFalse;
}

void sq_resetobject(HSQOBJECT* po)
{
    po->_type = OT_NULL;
    po->_unVal.raw = 0;
}

const SQChar* sq_objtostring(HSQOBJECT* o) { return sqtype(*o) == OT_STRING ? _string(*o)->_val : nullptr; }
SQBool sq_objtobool(HSQOBJECT* o) { return sqtype(*o) == OT_BOOL && _integer(*o) ? SQTrue : SQFalse; }

SQInteger sq_objtointeger(HSQOBJECT* o)
{
    if (sqtype(*o) & SQOBJECT_NUMERIC) return SqToInteger(*o);
    return 0;
}

SQFloat sq_objtofloat(HSQOBJECT* o)
{
    if (sqtype(*o) & SQOBJECT_NUMERIC) return SqToFloat(*o);
    return 0;
}

SQInteger sq_collectgarbage(HSQUIRRELVM v) { return v->SS()->CollectGarbage(v); }

void* sq_malloc(SQUnsignedInteger size) { return malloc(size); }
void* sq_realloc(void* p, SQUnsignedInteger oldsize, SQUnsignedInteger newsize) { (void)oldsize; return realloc(p, newsize); }
void sq_free(void* p, SQUnsignedInteger size) { (void)size; free(p); }
