// Arrays, closures, generators, userdata, classes and instances.
#include "sqobjects.h"

#include "sqvm.h"

#include <new>

// ---- array

SQArray* SQArray::Create(SQSharedState* ss, SQInteger n)
{
    SQArray* a = new SQArray(ss);
    a->_values.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return a;
}

void SQArray::Mark(std::vector<SQCollectable*>& grey)
{
    for (const SQObjectPtr& v : _values) SqMarkObject(v, grey);
}

bool SQArray::Get(SQInteger i, SQObjectPtr& out) const
{
    if (i < 0 || i >= Size()) return false;
    out = _values[static_cast<size_t>(i)];
    SqDerefWeak(out);
    return true;
}

bool SQArray::Set(SQInteger i, const SQObject& v)
{
    if (i < 0 || i >= Size()) return false;
    _values[static_cast<size_t>(i)] = v;
    return true;
}

SQArray* SQArray::Clone()
{
    SQArray* a = Create(_sharedstate, 0);
    a->_values = _values;
    return a;
}

static_assert(sizeof(SQObjectPtr) == SQSmallBlocks::kUnit, "a block unit holds one value");

// ---- function prototypes and closures

SQInteger SQFunctionProto::GetLine(const SQInstruction* ip) const
{
    SQInteger op = static_cast<SQInteger>(ip - _instructions.data());
    SQInteger line = _lineinfos.empty() ? 0 : _lineinfos[0]._line;
    for (const SQLineInfo& li : _lineinfos) {
        if (li._op > op) break;
        line = li._line;
    }
    return line;
}

SQClosure* SQClosure::Create(SQSharedState* ss, SQFunctionProto* func, size_t nouters, size_t ndefaults)
{
    void* mem = ss->_smallblocks.Take(SQSmallBlocks::Units(sizeof(SQClosure), nouters + ndefaults));
    SQObjectPtr* values = reinterpret_cast<SQObjectPtr*>(static_cast<char*>(mem) + sizeof(SQClosure));
    for (size_t n = 0; n < nouters + ndefaults; n++) new (&values[n]) SQObjectPtr();
    SQClosure* c = new (mem) SQClosure(ss, values, nouters, ndefaults);
    c->_function = func;
    if (!func->_varparams && !func->_bgenerator) c->_plainargs = static_cast<SQInteger>(func->_parameters.size());
    c->_code = func->_instructions.data();
    c->_lits = func->_literals.data();
    c->_stacksize = func->_stacksize;
    return c;
}

void SQClosure::Release()
{
    SQSharedState* ss = _sharedstate;
    const size_t units = SQSmallBlocks::Units(sizeof(SQClosure), _outervalues.size() + _defaultparams.size());
    this->~SQClosure();
    ss->_smallblocks.Give(this, units);
}

SQClosure::~SQClosure()
{
    // the order in which the values are let go: the bound environment, the defaults, the
    // free variables, the prototype
    _env.Null();
    for (SQObjectPtr& v : _defaultparams) v.~SQObjectPtr();
    for (SQObjectPtr& v : _outervalues) v.~SQObjectPtr();
}

void SQClosure::Mark(std::vector<SQCollectable*>& grey)
{
    for (const SQObjectPtr& v : _outervalues) SqMarkObject(v, grey);
    for (const SQObjectPtr& v : _defaultparams) SqMarkObject(v, grey);
}

void SQClosure::Finalize()
{
    for (SQObjectPtr& v : _outervalues) v.Null();
    for (SQObjectPtr& v : _defaultparams) v.Null();
    _env.Null();
}

SQClosure* SQClosure::Clone()
{
    SQClosure* c = Create(_sharedstate, Proto(), _outervalues.size(), _defaultparams.size());
    for (size_t n = 0; n < _outervalues.size(); n++) c->_outervalues[n] = _outervalues[n];
    for (size_t n = 0; n < _defaultparams.size(); n++) c->_defaultparams[n] = _defaultparams[n];
    c->_env = _env;
    c->_plainargs = _plainargs;
    return c;
}

SQNativeClosure* SQNativeClosure::Create(SQSharedState* ss, SQFUNCTION f)
{
    SQNativeClosure* c = new SQNativeClosure(ss);
    c->_function = f;
    return c;
}

void SQNativeClosure::Mark(std::vector<SQCollectable*>& grey)
{
    for (const SQObjectPtr& v : _outervalues) SqMarkObject(v, grey);
}

void SQNativeClosure::Finalize()
{
    _outervalues.clear();
    _env.Null();
}

SQNativeClosure* SQNativeClosure::Clone()
{
    SQNativeClosure* c = Create(_sharedstate, _function);
    c->_outervalues = _outervalues;
    c->_typecheck = _typecheck;
    c->_nparamscheck = _nparamscheck;
    c->_name = _name;
    c->_env = _env;
    return c;
}

// ---- generators

SQGenerator* SQGenerator::Create(SQSharedState* ss, SQClosure* closure)
{
    SQGenerator* g = new SQGenerator(ss);
    g->_closure = closure;
    return g;
}

void SQGenerator::Mark(std::vector<SQCollectable*>& grey)
{
    SqMarkObject(_closure, grey);
    for (const SQObjectPtr& v : _stack) SqMarkObject(v, grey);
    for (const SQObjectPtr& v : _vargs) SqMarkObject(v, grey);
}

void SQGenerator::Kill()
{
    _state = eDead;
    _stack.clear();
    _vargs.clear();
    _etraps.clear();
    _ci._closure.Null();
}

void SQGenerator::Finalize()
{
    Kill();
    _closure.Null();
}

// ---- userdata

SQUserData* SQUserData::Create(SQSharedState* ss, SQInteger size)
{
    SQUserData* u = new SQUserData(ss);
    u->_size = size;
    u->_data.assign(static_cast<size_t>(size > 0 ? size : 0) + 1, 0);
    return u;
}

void SQUserData::Release()
{
    if (_hook) {
        SQRELEASEHOOK hook = _hook;
        _hook = nullptr;
        hook(Data(), _size);
    }
    delete this;
}

void SQUserData::Mark(std::vector<SQCollectable*>& grey)
{
    if (_delegate) grey.push_back(_delegate);
}

// ---- classes

SQClass* SQClass::Create(SQSharedState* ss, SQClass* base)
{
    SQClass* c = new SQClass(ss);
    c->_base = base;
    if (base) {
        base->_uiRef++;
        c->_members = base->_members->Clone();
        c->_defaultvalues = base->_defaultvalues;
        c->_methods = base->_methods;
        for (int i = 0; i < MT_LAST; i++) c->_metamethods[i] = base->_metamethods[i];
        c->_typetag = nullptr;
        c->_udsize = base->_udsize;
        c->_constructoridx = base->_constructoridx;
    } else {
        c->_members = SQTable::Create(ss, 0);
    }
    c->_members->_uiRef++;
    return c;
}

SQClass::~SQClass()
{
    Finalize();
}

void SQClass::Release()
{
    if (_hook) {
        SQRELEASEHOOK hook = _hook;
        _hook = nullptr;
        hook(_typetag, 0);
    }
    delete this;
}

void SQClass::Finalize()
{
    for (CachedMember& c : _membercache) c = CachedMember();
    _attributes.Null();
    _defaultvalues.clear();
    _methods.clear();
    for (SQObjectPtr& mm : _metamethods) mm.Null();
    if (_members) {
        SQTable* m = _members;
        _members = nullptr;
        if (--m->_uiRef == 0) SqDestroy(m);
    }
    if (_base) {
        SQClass* b = _base;
        _base = nullptr;
        if (--b->_uiRef == 0) SqDestroy(b);
    }
}

void SQClass::Mark(std::vector<SQCollectable*>& grey)
{
    if (_members) grey.push_back(_members);
    if (_base) grey.push_back(_base);
    SqMarkObject(_attributes, grey);
    for (const SQClassMember& m : _defaultvalues) { SqMarkObject(m.val, grey); SqMarkObject(m.attrs, grey); }
    for (const SQClassMember& m : _methods) { SqMarkObject(m.val, grey); SqMarkObject(m.attrs, grey); }
    for (const SQObjectPtr& mm : _metamethods) SqMarkObject(mm, grey);
}

void SQClass::Lock()
{
    for (SQClass* c = this; c; c = c->_base) c->_locked = true;
}

bool SQClass::NewSlot(SQSharedState* ss, const SQObject& key, const SQObject& val, bool bstatic)
{
    if (_locked) return false;
    bool isFunction = sqtype(val) == OT_CLOSURE || sqtype(val) == OT_NATIVECLOSURE;
    SQObjectPtr mmidx;
    if (isFunction && !bstatic && sqtype(key) == OT_STRING && _table(ss->_metamethodsmap)->Get(key, mmidx)) {
        _metamethods[_integer(mmidx)] = val;
        return true;
    }
    SQObjectPtr existing;
    if (_members->Get(key, existing)) {
        SQInteger word = _integer(existing);
        SQInteger idx = word & MEMBER_INDEX_MASK;
        if ((word & MEMBER_FIELD) && !bstatic && !isFunction) {
            _defaultvalues[static_cast<size_t>(idx)].val = val;
            return true;
        }
        if (!(word & MEMBER_FIELD) && (bstatic || isFunction) ) {
            _methods[static_cast<size_t>(idx)].val = val;
            _members->NewSlot(key, SQObjectPtr((bstatic ? MEMBER_STATIC : MEMBER_METHOD) | idx));
            if (!bstatic && sqtype(key) == OT_STRING && _string(key) == _string(ss->_constructoridx)) _constructoridx = idx;
            return true;
        }
    }
    if (bstatic || isFunction) {
        SQInteger idx = static_cast<SQInteger>(_methods.size());
        _methods.push_back(SQClassMember{SQObjectPtr(val), SQObjectPtr()});
        _members->NewSlot(key, SQObjectPtr((bstatic ? MEMBER_STATIC : MEMBER_METHOD) | idx));
        if (!bstatic && sqtype(key) == OT_STRING && _string(key) == _string(ss->_constructoridx)) _constructoridx = idx;
    } else {
        SQInteger idx = static_cast<SQInteger>(_defaultvalues.size());
        _defaultvalues.push_back(SQClassMember{SQObjectPtr(val), SQObjectPtr()});
        _members->NewSlot(key, SQObjectPtr(MEMBER_FIELD | idx));
    }
    return true;
}

bool SQClass::Get(const SQObject& key, SQObjectPtr& val)
{
    SQObjectPtr word;
    if (!_members->Get(key, word)) return false;
    SQInteger w = _integer(word);
    SQInteger idx = w & MEMBER_INDEX_MASK;
    val = (w & MEMBER_FIELD) ? _defaultvalues[static_cast<size_t>(idx)].val : _methods[static_cast<size_t>(idx)].val;
    SqDerefWeak(val);
    return true;
}

SQInstance* SQClass::CreateInstance()
{
    Lock();
    return SQInstance::Create(_sharedstate, this);
}

bool SQClass::SetAttributes(const SQObject& key, const SQObject& val, SQObjectPtr& old)
{
    if (sqtype(key) == OT_NULL) {
        old = _attributes;
        _attributes = val;
        return true;
    }
    SQObjectPtr word;
    if (!_members->Get(key, word)) return false;
    SQInteger w = _integer(word);
    SQClassMember& m = (w & MEMBER_FIELD) ? _defaultvalues[static_cast<size_t>(w & MEMBER_INDEX_MASK)]
                                          : _methods[static_cast<size_t>(w & MEMBER_INDEX_MASK)];
    old = m.attrs;
    m.attrs = val;
    return true;
}

bool SQClass::GetAttributes(const SQObject& key, SQObjectPtr& out)
{
    if (sqtype(key) == OT_NULL) {
        out = _attributes;
        return true;
    }
    SQObjectPtr word;
    if (!_members->Get(key, word)) return false;
    SQInteger w = _integer(word);
    out = (w & MEMBER_FIELD) ? _defaultvalues[static_cast<size_t>(w & MEMBER_INDEX_MASK)].attrs
                             : _methods[static_cast<size_t>(w & MEMBER_INDEX_MASK)].attrs;
    return true;
}

SQInteger SQClass::Next(const SQObject& refpos, SQObjectPtr& outkey, SQObjectPtr& outval)
{
    SQObjectPtr word;
    SQInteger r = _members->Next(false, refpos, outkey, word);
    if (r < 0) return r;
    SQInteger w = _integer(word);
    SQInteger idx = w & MEMBER_INDEX_MASK;
    outval = (w & MEMBER_FIELD) ? _defaultvalues[static_cast<size_t>(idx)].val : _methods[static_cast<size_t>(idx)].val;
    SqDerefWeak(outval);
    return r;
}

// ---- instances

SQInstance* SQInstance::Create(SQSharedState* ss, SQClass* cls)
{
    const size_t n = cls->_defaultvalues.size();
    void* mem = ss->_smallblocks.Take(SQSmallBlocks::Units(sizeof(SQInstance), n));
    SQObjectPtr* values = reinterpret_cast<SQObjectPtr*>(static_cast<char*>(mem) + sizeof(SQInstance));
    for (size_t i = 0; i < n; i++) new (&values[i]) SQObjectPtr(cls->_defaultvalues[i].val);
    SQInstance* inst = new (mem) SQInstance(ss, values, n);
    inst->_class = cls;
    cls->_uiRef++;
    if (cls->_udsize > 0) {
        inst->_udmem.assign(static_cast<size_t>(cls->_udsize), 0);
        inst->_userpointer = inst->_udmem.data();
    }
    return inst;
}

SQInstance::~SQInstance()
{
    Finalize();
    for (SQObjectPtr& v : _values) v.~SQObjectPtr();
}

void SQInstance::Release()
{
    if (_hook) {
        SQRELEASEHOOK hook = _hook;
        _hook = nullptr;
        hook(_userpointer, 0);
    }
    SQSharedState* ss = _sharedstate;
    const size_t units = SQSmallBlocks::Units(sizeof(SQInstance), _values.size());
    this->~SQInstance();
    ss->_smallblocks.Give(this, units);
}

void SQInstance::Finalize()
{
    for (SQObjectPtr& v : _values) v.Null();
    if (_class) {
        SQClass* c = _class;
        _class = nullptr;
        if (--c->_uiRef == 0) SqDestroy(c);
    }
}

void SQInstance::Mark(std::vector<SQCollectable*>& grey)
{
    if (_class) grey.push_back(_class);
    for (const SQObjectPtr& v : _values) SqMarkObject(v, grey);
}

bool SQInstance::Get(const SQObject& key, SQObjectPtr& val)
{
    if (!_class) return false;
    SQObjectPtr* word = _class->_members->GetPtr(key);
    if (!word) return false;
    SQInteger w = _integer(*word);
    SQInteger idx = w & MEMBER_INDEX_MASK;
    val = (w & MEMBER_FIELD) ? _values[static_cast<size_t>(idx)] : _class->_methods[static_cast<size_t>(idx)].val;
    SqDerefWeak(val);
    return true;
}

bool SQInstance::Set(const SQObject& key, const SQObject& val)
{
    if (!_class) return false;
    SQObjectPtr* word = _class->_members->GetPtr(key);
    if (!word) return false;
    SQInteger w = _integer(*word);
    if (!(w & MEMBER_FIELD)) return false;
    _values[static_cast<size_t>(w & MEMBER_INDEX_MASK)] = val;
    return true;
}

bool SQInstance::InstanceOf(SQClass* cls) const
{
    for (SQClass* c = _class; c; c = c->_base) {
        if (c == cls) return true;
    }
    return false;
}

SQInstance* SQInstance::Clone(SQSharedState* ss)
{
    SQInstance* inst = Create(ss, _class);
    for (size_t n = 0; n < _values.size(); n++) inst->_values[n] = _values[n];
    return inst;
}
