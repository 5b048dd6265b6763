// Script values: the counted value holder, the object base classes and their invariants.
#pragma once

#include <squirrel.h>

#include <cstdint>
#include <cstring>
#include <vector>

struct SQSharedState;

// For helpers of the VM's dispatch function, which is large enough that the compiler would
// otherwise call them; SQ_NEVER_INLINE keeps a rare path's code and registers out of it.
#if defined(__GNUC__)
#define SQ_FORCE_INLINE inline __attribute__((always_inline))
#define SQ_NEVER_INLINE __attribute__((noinline))
#else
#define SQ_FORCE_INLINE inline
#define SQ_NEVER_INLINE
#endif

// Every counted object. _uiRef counts holders (SQObjectPtr, host handles through the
// registry). When it drops to zero, Release() destroys the object at once.
// _weakref is the one weak reference object of this target, or null.
struct SQRefCounted {
    uint32_t _uiRef = 0;
    SQWeakRef* _weakref = nullptr;
    SQRefCounted() = default;
    SQRefCounted(const SQRefCounted&) = delete;
    SQRefCounted& operator=(const SQRefCounted&) = delete;
    virtual ~SQRefCounted();
    virtual void Release() = 0;
    SQWeakRef* GetWeakRef(SQObjectType type);
};

inline void SqAddRef(SQObjectType t, const SQObjectValue& v)
{
    if (t & SQOBJECT_REF_COUNTED) v.pRefCounted->_uiRef++;
}
// Destroys an object whose count reached zero. Objects freed while another is being
// destroyed are queued and freed in a loop, so long chains never recurse deeply.
void SqDestroy(SQRefCounted* o);
// Lets go of a reference; true when that destroyed the object (and so may have run hooks).
SQ_FORCE_INLINE bool SqReleaseDestroys(SQObjectType t, const SQObjectValue& v)
{
    if (!(t & SQOBJECT_REF_COUNTED) || --v.pRefCounted->_uiRef != 0) return false;
    if (t == OT_STRING) v.pRefCounted->Release();   // no children; interning may revive queued strings
    else SqDestroy(v.pRefCounted);
    return true;
}
inline void SqRelease(SQObjectType t, const SQObjectValue& v)
{
    SqReleaseDestroys(t, v);
}

// A value that holds a reference while it lives. Every slot that outlives one expression
// (stack, table entries, members, free variables) is one of these.
struct SQObjectPtr : public SQObject {
    SQObjectPtr() { _type = OT_NULL; _unVal.raw = 0; }
    SQObjectPtr(const SQObjectPtr& o) { _type = o._type; _unVal = o._unVal; SqAddRef(_type, _unVal); }
    SQObjectPtr(const SQObject& o) { _type = o._type; _unVal = o._unVal; SqAddRef(_type, _unVal); }
    SQObjectPtr(SQObjectPtr&& o) noexcept { _type = o._type; _unVal = o._unVal; o._type = OT_NULL; o._unVal.raw = 0; }
#define SQ_PTR_CTOR(T, tag, field) \
    SQObjectPtr(T* p) { _unVal.raw = 0; _type = tag; _unVal.field = p; SqAddRef(_type, _unVal); }
    SQ_PTR_CTOR(SQTable, OT_TABLE, pTable)
    SQ_PTR_CTOR(SQArray, OT_ARRAY, pArray)
    SQ_PTR_CTOR(SQString, OT_STRING, pString)
    SQ_PTR_CTOR(SQClosure, OT_CLOSURE, pClosure)
    SQ_PTR_CTOR(SQNativeClosure, OT_NATIVECLOSURE, pNativeClosure)
    SQ_PTR_CTOR(SQGenerator, OT_GENERATOR, pGenerator)
    SQ_PTR_CTOR(SQUserData, OT_USERDATA, pUserData)
    SQ_PTR_CTOR(SQFunctionProto, OT_FUNCPROTO, pFunctionProto)
    SQ_PTR_CTOR(SQVM, OT_THREAD, pThread)
    SQ_PTR_CTOR(SQClass, OT_CLASS, pClass)
    SQ_PTR_CTOR(SQInstance, OT_INSTANCE, pInstance)
    SQ_PTR_CTOR(SQWeakRef, OT_WEAKREF, pWeakRef)
#undef SQ_PTR_CTOR
    explicit SQObjectPtr(SQInteger i) { _unVal.raw = 0; _type = OT_INTEGER; _unVal.nInteger = i; }
    explicit SQObjectPtr(SQFloat f) { _unVal.raw = 0; _type = OT_FLOAT; _unVal.fFloat = f; }
    static SQObjectPtr Bool(bool b) { SQObjectPtr o; o._type = OT_BOOL; o._unVal.nInteger = b ? 1 : 0; return o; }
    static SQObjectPtr UserPointer(SQUserPointer p) { SQObjectPtr o; o._type = OT_USERPOINTER; o._unVal.pUserPointer = p; return o; }
    ~SQObjectPtr() { SqRelease(_type, _unVal); }

    SQObjectPtr& operator=(const SQObjectPtr& o) { return Assign(o); }
    SQObjectPtr& operator=(const SQObject& o) { return Assign(o); }
    SQObjectPtr& operator=(SQObjectPtr&& o) noexcept
    {
        SQObjectType t = _type; SQObjectValue v = _unVal;
        _type = o._type; _unVal = o._unVal; o._type = OT_NULL; o._unVal.raw = 0;
        SqRelease(t, v);
        return *this;
    }
    SQObjectPtr& Assign(const SQObject& o)
    {
        SQObjectType t = _type; SQObjectValue v = _unVal;
        _type = o._type; _unVal = o._unVal;
        SqAddRef(_type, _unVal);
        SqRelease(t, v);
        return *this;
    }
    SQ_FORCE_INLINE void SetInteger(SQInteger i) { SqRelease(_type, _unVal); _type = OT_INTEGER; _unVal.raw = 0; _unVal.nInteger = i; }
    void SetFloat(SQFloat f) { SqRelease(_type, _unVal); _type = OT_FLOAT; _unVal.raw = 0; _unVal.fFloat = f; }
    void SetBool(bool b) { SqRelease(_type, _unVal); _type = OT_BOOL; _unVal.raw = 0; _unVal.nInteger = b ? 1 : 0; }
    void Null() { SQObjectType t = _type; SQObjectValue v = _unVal; _type = OT_NULL; _unVal.raw = 0; SqRelease(t, v); }
};

inline SQObjectType sqtype(const SQObject& o) { return o._type; }
inline SQInteger _integer(const SQObject& o) { return o._unVal.nInteger; }
inline SQFloat _float(const SQObject& o) { return o._unVal.fFloat; }
#define _table(o) ((o)._unVal.pTable)
#define _array(o) ((o)._unVal.pArray)
#define _string(o) ((o)._unVal.pString)
#define _closure(o) ((o)._unVal.pClosure)
#define _nativeclosure(o) ((o)._unVal.pNativeClosure)
#define _generator(o) ((o)._unVal.pGenerator)
#define _userdata(o) ((o)._unVal.pUserData)
#define _funcproto(o) ((o)._unVal.pFunctionProto)
#define _thread(o) ((o)._unVal.pThread)
#define _class(o) ((o)._unVal.pClass)
#define _instance(o) ((o)._unVal.pInstance)
#define _weakref(o) ((o)._unVal.pWeakRef)
#define _refcounted(o) ((o)._unVal.pRefCounted)
#define _userpointer(o) ((o)._unVal.pUserPointer)

inline bool SqIsFalse(const SQObject& o)
{
    switch (o._type) {
    case OT_NULL: return true;
    case OT_INTEGER: case OT_BOOL: return o._unVal.nInteger == 0;
    case OT_FLOAT: return o._unVal.fFloat == 0.0f;
    case OT_USERPOINTER: return o._unVal.pUserPointer == nullptr;
    default: return false;
    }
}

// Same key: same type and same raw value (strings are interned).
inline bool SqSameObject(const SQObject& a, const SQObject& b)
{
    if (a._type != b._type) return false;
    if (a._type == OT_FLOAT) return a._unVal.fFloat == b._unVal.fFloat || (a._unVal.fFloat != a._unVal.fFloat && b._unVal.fFloat != b._unVal.fFloat);
    if (a._type == OT_INTEGER || a._type == OT_BOOL) return a._unVal.nInteger == b._unVal.nInteger;
    return a._unVal.raw == b._unVal.raw;
}

inline SQFloat SqToFloat(const SQObject& o)
{
    return o._type == OT_INTEGER ? static_cast<SQFloat>(o._unVal.nInteger) : o._unVal.fFloat;
}
// Float to integer: truncates; out-of-range values give INT_MIN, as x86 did.
inline SQInteger SqFloatToInt(SQFloat f)
{
    if (!(f > -2147483649.0f && f < 2147483648.0f)) return INT32_MIN;
    return static_cast<SQInteger>(f);
}
inline SQInteger SqToInteger(const SQObject& o)
{
    return o._type == OT_FLOAT ? SqFloatToInt(o._unVal.fFloat) : o._unVal.nInteger;
}

// Objects the cycle collector knows. Linked into the shared state's list while alive.
struct SQCollectable : public SQRefCounted {
    SQCollectable* _next = nullptr;
    SQCollectable* _prev = nullptr;
    SQSharedState* _sharedstate = nullptr;
    bool _marked = false;
    explicit SQCollectable(SQSharedState* ss);
    ~SQCollectable() override;
    // Pushes every object this one references onto the mark list.
    virtual void Mark(std::vector<SQCollectable*>& grey) = 0;
    // Drops every reference this object holds (breaks cycles); the object stays valid.
    virtual void Finalize() = 0;
    virtual SQObjectType GetType() = 0;
};

void SqMarkObject(const SQObject& o, std::vector<SQCollectable*>& grey);

struct SQDelegable : public SQCollectable {
    SQTable* _delegate = nullptr;   // counted
    explicit SQDelegable(SQSharedState* ss) : SQCollectable(ss) {}
    bool SetDelegate(SQTable* d);   // false on a cycle
    void ClearDelegate();
};

// Metamethod slots, in the order of the name table.
enum SQMetaMethod {
    MT_ADD, MT_SUB, MT_MUL, MT_DIV, MT_UNM, MT_MODULO, MT_SET, MT_GET, MT_TYPEOF, MT_NEXTI,
    MT_CMP, MT_CALL, MT_CLONED, MT_NEWSLOT, MT_DELSLOT, MT_TOSTRING, MT_NEWMEMBER, MT_INHERITED,
    MT_LAST
};

const char* SqTypeName(SQObjectType t);   // the typeof name ("function" for natives too)
const char* SqRawTypeName(SQObjectType t);
