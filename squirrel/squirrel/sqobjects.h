// Arrays, functions, closures, generators, userdata, weak references, classes and instances.
#pragma once

#include "sqobject.h"
#include "sqopcodes.h"
#include "sqstate.h"
#include "sqtable.h"

struct SQArray : public SQCollectable {
    std::vector<SQObjectPtr> _values;
    static SQArray* Create(SQSharedState* ss, SQInteger n);
    void Release() override { delete this; }
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override { _values.clear(); }
    SQObjectType GetType() override { return OT_ARRAY; }
    bool Get(SQInteger i, SQObjectPtr& out) const;   // weakrefs dereferenced
    bool Set(SQInteger i, const SQObject& v);
    SQInteger Size() const { return static_cast<SQInteger>(_values.size()); }
    SQArray* Clone();
private:
    explicit SQArray(SQSharedState* ss) : SQCollectable(ss) {}
};

enum SQOuterType { OUTER_LOCAL, OUTER_OUTER, OUTER_SYMBOL };
struct SQOuterVar {
    SQObjectPtr _name;
    SQOuterType _type;
    SQInteger _src;   // register or outer index; symbol: the name is looked up
};
struct SQLocalVarInfo {
    SQObjectPtr _name;
    SQInteger _start_op;
    SQInteger _end_op;
    SQInteger _pos;
};
struct SQLineInfo {
    SQInteger _line;
    SQInteger _op;
};

// A compiled function. Holds literals (strings and numbers) and nested prototypes only,
// so it can never be part of a cycle.
struct SQFunctionProto : public SQRefCounted {
    SQObjectPtr _sourcename;
    SQObjectPtr _name;
    std::vector<SQObjectPtr> _literals;
    std::vector<SQObjectPtr> _functions;
    std::vector<SQObjectPtr> _parameters;   // names, "this" first
    std::vector<SQOuterVar> _outervalues;
    std::vector<SQLocalVarInfo> _localvarinfos;
    std::vector<SQLineInfo> _lineinfos;
    std::vector<SQInstruction> _instructions;
    SQInteger _ndefaultparams = 0;
    SQInteger _stacksize = 0;
    bool _bgenerator = false;
    bool _varparams = false;
    void Release() override { delete this; }
    SQInteger GetLine(const SQInstruction* ip) const;
};

// A fixed number of values that live in their owner's own allocation.
class SQValueSpan {
public:
    SQValueSpan(SQObjectPtr* p, size_t n) : _p(p), _n(n) {}
    size_t size() const { return _n; }
    bool empty() const { return _n == 0; }
    SQObjectPtr& operator[](size_t i) { return _p[i]; }
    const SQObjectPtr& operator[](size_t i) const { return _p[i]; }
    SQObjectPtr* begin() { return _p; }
    SQObjectPtr* end() { return _p + _n; }
    const SQObjectPtr* begin() const { return _p; }
    const SQObjectPtr* end() const { return _p + _n; }
private:
    SQObjectPtr* _p;
    size_t _n;
};

// Free variables and default parameter values follow the closure in one allocation, so
// making a closure allocates once. They start null.
struct SQClosure final : public SQCollectable {
    SQObjectPtr _function;   // the prototype
    SQValueSpan _outervalues;
    SQValueSpan _defaultparams;
    SQObjectPtr _env;   // weak reference to the bound environment, or null
    // the argument count (this included) a call binds without help: no varargs, not a
    // generator, no bound environment; -1 otherwise
    SQInteger _plainargs = -1;
    // what a call reads of the prototype, which never changes once made: copied here, a call
    // reaches them with one load less
    SQInstruction* _code = nullptr;
    SQObjectPtr* _lits = nullptr;
    SQInteger _stacksize = 0;
    static SQClosure* Create(SQSharedState* ss, SQFunctionProto* func, size_t nouters = 0, size_t ndefaults = 0);
    void Release() override;
    ~SQClosure() override;
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override;
    SQObjectType GetType() override { return OT_CLOSURE; }
    SQClosure* Clone();
    SQFunctionProto* Proto() const { return _funcproto(_function); }
private:
    SQClosure(SQSharedState* ss, SQObjectPtr* values, size_t nouters, size_t ndefaults)
        : SQCollectable(ss), _outervalues(values, nouters), _defaultparams(values + nouters, ndefaults) {}
};

struct SQNativeClosure : public SQCollectable {
    SQFUNCTION _function = nullptr;
    std::vector<SQObjectPtr> _outervalues;
    std::vector<SQInteger> _typecheck;
    SQInteger _nparamscheck = 0;
    SQObjectPtr _name;
    SQObjectPtr _env;
    static SQNativeClosure* Create(SQSharedState* ss, SQFUNCTION f);
    void Release() override { delete this; }
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override;
    SQObjectType GetType() override { return OT_NATIVECLOSURE; }
    SQNativeClosure* Clone();
private:
    explicit SQNativeClosure(SQSharedState* ss) : SQCollectable(ss) {}
};

struct SQExceptionTrap {
    SQInteger _stackbase;
    SQInteger _stacksize;
    SQInstruction* _ip;
    SQInteger _extarget;
};

struct SQCallInfo {
    SQInstruction* _ip = nullptr;
    SQObjectPtr* _literals = nullptr;
    SQObjectPtr _closure;
    SQGenerator* _generator = nullptr;
    SQInteger _prevstkbase = 0;   // this frame's base minus the caller's base
    SQInteger _prevtop = 0;
    SQInteger _target = -1;       // caller register for the result, -1: none
    SQInteger _ncalls = 1;
    SQInteger _etraps = 0;
    SQInteger _vargs_base = 0;
    SQInteger _vargs_size = 0;
    bool _root = false;
    bool _ctor = false;   // a constructor: the call yields `this`
    // a script frame called by a script frame without varargs, traps, constructor, generator
    // or debug hook: its return takes the short path
    bool _plain = false;
    // _closure holds no reference: the caller's function register keeps the closure alive
    // for the whole call (calls from script code only)
    bool _borrowed = false;

    // A popped frame holds these values, so the inline script call sets only the others.
    void ClearState()
    {
        _generator = nullptr;
        _ncalls = 1;
        _etraps = 0;
        _vargs_size = 0;
        _root = false;
        _ctor = false;
    }

    // Empties _closure without releasing it; `owned`: the caller releases what it returns.
    SQObject TakeClosure(bool& owned)
    {
        const SQObject fn = _closure;
        owned = !_borrowed;
        _closure._type = OT_NULL;
        _closure._unVal.raw = 0;
        _borrowed = false;
        return fn;
    }

    // Empties _closure, releasing it unless borrowed.
    void DropClosure()
    {
        if (_borrowed) {
            _closure._type = OT_NULL;
            _closure._unVal.raw = 0;
            _borrowed = false;
        } else {
            _closure.Null();
        }
    }
};

struct SQGenerator : public SQCollectable {
    enum State { eRunning, eSuspended, eDead };
    SQObjectPtr _closure;
    std::vector<SQObjectPtr> _stack;
    std::vector<SQObjectPtr> _vargs;
    std::vector<SQExceptionTrap> _etraps;
    SQCallInfo _ci;
    State _state = eSuspended;
    static SQGenerator* Create(SQSharedState* ss, SQClosure* closure);
    void Release() override { delete this; }
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override;
    SQObjectType GetType() override { return OT_GENERATOR; }
    void Kill();
private:
    explicit SQGenerator(SQSharedState* ss) : SQCollectable(ss) {}
};

struct SQUserData : public SQDelegable {
    SQInteger _size = 0;
    SQRELEASEHOOK _hook = nullptr;
    SQUserPointer _typetag = nullptr;
    std::vector<char> _data;
    static SQUserData* Create(SQSharedState* ss, SQInteger size);
    void Release() override;
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override { ClearDelegate(); }
    SQObjectType GetType() override { return OT_USERDATA; }
    void* Data() { return _data.data(); }
private:
    explicit SQUserData(SQSharedState* ss) : SQDelegable(ss) {}
};

// The one weak reference object of a target; _obj goes null when the target dies.
struct SQWeakRef : public SQRefCounted {
    SQObject _obj;
    void Release() override;
};

// Member index word stored in a class's member table.
constexpr SQInteger MEMBER_FIELD = 0x01000000;
constexpr SQInteger MEMBER_METHOD = 0x02000000;
constexpr SQInteger MEMBER_STATIC = 0x04000000;
constexpr SQInteger MEMBER_KIND_MASK = 0x0F000000;
constexpr SQInteger MEMBER_INDEX_MASK = 0x00FFFFFF;

struct SQClassMember {
    SQObjectPtr val;
    SQObjectPtr attrs;
};

struct SQClass : public SQCollectable {
    SQClass* _base = nullptr;   // counted
    SQTable* _members = nullptr;   // counted; name -> member index word
    std::vector<SQClassMember> _defaultvalues;   // fields, copied into instances
    std::vector<SQClassMember> _methods;   // methods and statics, shared
    SQObjectPtr _metamethods[MT_LAST];
    SQObjectPtr _attributes;
    SQUserPointer _typetag = nullptr;
    SQRELEASEHOOK _hook = nullptr;
    bool _locked = false;
    SQInteger _udsize = 0;
    SQInteger _constructoridx = -1;
    // Member words of names recently looked up through instances, by the name's address
    // (names are interned). Filled only once the class is locked: its members no longer change.
    struct CachedMember {
        const SQString* name = nullptr;
        SQInteger word = 0;
    };
    static constexpr size_t kMemberCacheSize = 16;
    CachedMember _membercache[kMemberCacheSize];
    static size_t MemberCacheSlot(const SQString* name)
    {
        uintptr_t a = reinterpret_cast<uintptr_t>(name);
        return ((a >> 4) ^ (a >> 9)) & (kMemberCacheSize - 1);
    }
    // The member word of `key`, or false when the class has no such member.
    bool MemberWord(const SQObject& key, SQInteger& word)
    {
        if (key._type == OT_STRING && _locked) {
            CachedMember& c = _membercache[MemberCacheSlot(key._unVal.pString)];
            if (c.name == key._unVal.pString) {
                word = c.word;
                return true;
            }
            const SQObjectPtr* w = _members->GetPtr(key);
            if (!w) return false;
            c.name = key._unVal.pString;
            c.word = w->_unVal.nInteger;
            word = c.word;
            return true;
        }
        const SQObjectPtr* w = _members->GetPtr(key);
        if (!w) return false;
        word = w->_unVal.nInteger;
        return true;
    }

    static SQClass* Create(SQSharedState* ss, SQClass* base);
    void Release() override;
    ~SQClass() override;
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override;
    SQObjectType GetType() override { return OT_CLASS; }
    // Adds or replaces a member; false when the class is locked.
    bool NewSlot(SQSharedState* ss, const SQObject& key, const SQObject& val, bool bstatic);
    bool Get(const SQObject& key, SQObjectPtr& val);   // field default, method or static
    bool GetMetaMethod(SQMetaMethod mm, SQObjectPtr& out) const
    {
        if (sqtype(_metamethods[mm]) == OT_NULL) return false;
        out = _metamethods[mm];
        return true;
    }
    SQInstance* CreateInstance();
    void Lock();
    bool SetAttributes(const SQObject& key, const SQObject& val, SQObjectPtr& old);
    bool GetAttributes(const SQObject& key, SQObjectPtr& out);
    SQInteger Next(const SQObject& refpos, SQObjectPtr& outkey, SQObjectPtr& outval);
private:
    explicit SQClass(SQSharedState* ss) : SQCollectable(ss) {}
};

// The field values follow the instance in one allocation, so making one allocates once
// (unless it carries user data).
struct SQInstance final : public SQCollectable {
    SQClass* _class = nullptr;   // counted
    SQUserPointer _userpointer = nullptr;
    SQRELEASEHOOK _hook = nullptr;
    SQValueSpan _values;   // null once finalized
    std::vector<char> _udmem;
    static SQInstance* Create(SQSharedState* ss, SQClass* cls);
    void Release() override;
    ~SQInstance() override;
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override;
    SQObjectType GetType() override { return OT_INSTANCE; }
    bool Get(const SQObject& key, SQObjectPtr& val);
    bool Set(const SQObject& key, const SQObject& val);   // fields only
    bool GetMetaMethod(SQMetaMethod mm, SQObjectPtr& out) const { return _class->GetMetaMethod(mm, out); }
    bool InstanceOf(SQClass* cls) const;
    SQInstance* Clone(SQSharedState* ss);
private:
    SQInstance(SQSharedState* ss, SQObjectPtr* values, size_t n) : SQCollectable(ss), _values(values, n) {}
};

// Reads through a weak reference stored in a container.
inline void SqDerefWeak(SQObjectPtr& v)
{
    if (sqtype(v) == OT_WEAKREF) {
        SQObject target = _weakref(v)->_obj;
        v = target;
    }
}
