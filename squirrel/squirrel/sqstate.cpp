// Interned strings, the shared state, object bases and the cycle collector.
#include "sqstate.h"

#include "sqmessages.h"
#include "sqobjects.h"
#include "sqvm.h"

#include <cstdlib>
#include <new>

void SqDestroy(SQRefCounted* o)
{
    static thread_local bool busy = false;
    static thread_local std::vector<SQRefCounted*> pending;
    if (busy) {
        try {
            pending.push_back(o);
        } catch (const std::bad_alloc&) {
            o->Release();   // no room to queue it: free it here, deeper on the C stack
        }
        return;
    }
    busy = true;
    o->Release();
    while (!pending.empty()) {
        SQRefCounted* next = pending.back();
        pending.pop_back();
        next->Release();
    }
    busy = false;
}

SQRefCounted::~SQRefCounted()
{
    if (_weakref) {
        _weakref->_obj._type = OT_NULL;
        _weakref->_obj._unVal.raw = 0;
        _weakref = nullptr;
    }
}

SQWeakRef* SQRefCounted::GetWeakRef(SQObjectType type)
{
    if (!_weakref) {
        _weakref = new SQWeakRef();
        _weakref->_obj._type = type;
        _weakref->_obj._unVal.raw = 0;
        _weakref->_obj._unVal.pRefCounted = this;
    }
    return _weakref;
}

void SQWeakRef::Release()
{
    if (ISREFCOUNTED(_obj._type)) _obj._unVal.pRefCounted->_weakref = nullptr;
    delete this;
}

SQCollectable::SQCollectable(SQSharedState* ss) : _sharedstate(ss)
{
    _next = ss->_gc_chain;
    if (_next) _next->_prev = this;
    ss->_gc_chain = this;
}

SQCollectable::~SQCollectable()
{
    if (_prev) _prev->_next = _next;
    else _sharedstate->_gc_chain = _next;
    if (_next) _next->_prev = _prev;
}

void SqMarkObject(const SQObject& o, std::vector<SQCollectable*>& grey)
{
    switch (o._type) {
    case OT_TABLE: case OT_ARRAY: case OT_USERDATA: case OT_CLOSURE: case OT_NATIVECLOSURE:
    case OT_GENERATOR: case OT_THREAD: case OT_CLASS: case OT_INSTANCE:
        grey.push_back(static_cast<SQCollectable*>(o._unVal.pRefCounted));
        break;
    default: break;
    }
}

bool SQDelegable::SetDelegate(SQTable* d)
{
    for (SQTable* t = d; t; t = t->_delegate) {
        if (t == this) return false;
    }
    if (d) d->_uiRef++;
    SQTable* old = _delegate;
    _delegate = d;
    if (old && --old->_uiRef == 0) SqDestroy(old);
    return true;
}

void SQDelegable::ClearDelegate()
{
    SQTable* old = _delegate;
    _delegate = nullptr;
    if (old && --old->_uiRef == 0) SqDestroy(old);
}

const char* SqTypeName(SQObjectType t)
{
    switch (_RAW_TYPE(t)) {
    case _RT_NULL: return "null";
    case _RT_INTEGER: return "integer";
    case _RT_FLOAT: return "float";
    case _RT_BOOL: return "bool";
    case _RT_STRING: return "string";
    case _RT_TABLE: return "table";
    case _RT_ARRAY: return "array";
    case _RT_GENERATOR: return "generator";
    case _RT_CLOSURE: case _RT_NATIVECLOSURE: return "function";
    case _RT_USERDATA: case _RT_USERPOINTER: return "userdata";
    case _RT_THREAD: return "thread";
    case _RT_FUNCPROTO: return "function";
    case _RT_CLASS: return "class";
    case _RT_INSTANCE: return "instance";
    case _RT_WEAKREF: return "weakref";
    default: return nullptr;
    }
}

const char* SqRawTypeName(SQObjectType t)
{
    return SqTypeName(t);
}

// ---- strings

SQString* SQString::Create(SQSharedState* ss, const char* s, SQInteger len)
{
    return ss->_stringtable.Add(ss, s, len < 0 ? static_cast<SQInteger>(strlen(s)) : len);
}

void SQString::Release()
{
    _sharedstate->_stringtable.Remove(this);
}

SQString* SqString(SQSharedState* ss, const char* s, SQInteger len)
{
    return SQString::Create(ss, s, len);
}

SQStringTable::SQStringTable()
{
    _buckets.assign(256, nullptr);
}

SQStringTable::~SQStringTable()
{
    for (SQString* head : _buckets) {
        while (head) {
            SQString* next = head->_next;
            head->~SQString();
            free(head);
            head = next;
        }
    }
}

SQString* SQStringTable::Add(SQSharedState* ss, const char* s, SQInteger len)
{
    SQHash h = SqHashString(s, static_cast<size_t>(len));
    size_t slot = h & (_buckets.size() - 1);
    for (SQString* str = _buckets[slot]; str; str = str->_next) {
        if (str->_hash == h && str->_len == len && memcmp(s, str->_val, static_cast<size_t>(len)) == 0) return str;
    }
    void* mem = malloc(sizeof(SQString) + static_cast<size_t>(len));
    if (!mem) throw std::bad_alloc();
    SQString* t = new (mem) SQString();
    t->_sharedstate = ss;
    if (len) memcpy(t->_val, s, static_cast<size_t>(len));
    t->_val[len] = 0;
    t->_len = len;
    t->_hash = h;
    t->_slot = h;
    t->_next = _buckets[slot];
    _buckets[slot] = t;
    if (++_slotused > _buckets.size()) {
        try {
            Resize(_buckets.size() * 2);
        } catch (const std::bad_alloc&) {
            // longer chains are slower, not wrong: the string is in and stays
        }
    }
    return t;
}

void SQStringTable::Resize(size_t size)
{
    std::vector<SQString*> old(size, nullptr);
    old.swap(_buckets);
    for (SQString* head : old) {
        while (head) {
            SQString* next = head->_next;
            size_t slot = head->_hash & (size - 1);
            head->_next = _buckets[slot];
            _buckets[slot] = head;
            head = next;
        }
    }
}

void SQStringTable::Remove(SQString* s)
{
    size_t slot = s->_hash & (_buckets.size() - 1);
    SQString* prev = nullptr;
    for (SQString* str = _buckets[slot]; str; prev = str, str = str->_next) {
        if (str == s) {
            if (prev) prev->_next = str->_next;
            else _buckets[slot] = str->_next;
            _slotused--;
            str->~SQString();
            free(str);
            return;
        }
    }
}

// ---- shared state

static const char* const kMetaMethodNames[MT_LAST] = {
    "_add", "_sub", "_mul", "_div", "_unm", "_modulo", "_set", "_get", "_typeof", "_nexti",
    "_cmp", "_call", "_cloned", "_newslot", "_delslot", "_tostring", "_newmember", "_inherited",
};

SQSharedState::SQSharedState() = default;

void SQSharedState::Init()
{
    _metamethodsmap = SQTable::Create(this, MT_LAST);
    for (SQInteger i = 0; i < MT_LAST; i++) {
        SQObjectPtr name(SqString(this, kMetaMethodNames[i]));
        _metamethods.push_back(name);
        _table(_metamethodsmap)->NewSlot(name, SQObjectPtr(i));
    }
    _constructoridx = SqString(this, "constructor");
    _outofmemory = SqString(this, sqmsg::OutOfMemory);
    _registry = SQTable::Create(this, 0);
    _consts = SQTable::Create(this, 0);
}

SQSharedState::~SQSharedState()
{
    _refs.clear();
    _registry.Null();
    _consts.Null();
    _metamethodsmap.Null();
    _metamethods.clear();
    _constructoridx.Null();
    _outofmemory.Null();
    SQObjectPtr* delegates[] = {&_table_default_delegate, &_array_default_delegate, &_string_default_delegate,
        &_number_default_delegate, &_generator_default_delegate, &_closure_default_delegate,
        &_thread_default_delegate, &_class_default_delegate, &_instance_default_delegate,
        &_weakref_default_delegate};
    for (SQObjectPtr* d : delegates) d->Null();
    // Whatever is left lives in cycles: break them, then the counts free everything.
    for (int pass = 0; _gc_chain && pass < 64; pass++) {
        std::vector<SQObjectPtr> hold;
        for (SQCollectable* c = _gc_chain; c; c = c->_next) {
            SQObject o; o._type = c->GetType(); o._unVal.raw = 0; o._unVal.pRefCounted = c;
            hold.emplace_back(o);
        }
        for (SQObjectPtr& h : hold) static_cast<SQCollectable*>(_refcounted(h))->Finalize();
        hold.clear();
    }
}

char* SQSharedState::GetScratchPad(SQInteger size)
{
    constexpr size_t kKeep = 64 * 1024;
    if (size < 0) size = 0;
    size_t need = static_cast<size_t>(size) + 1;
    // a pad grown for one long text is given back at the next short one
    if (need <= kKeep && _scratchpad.size() > kKeep) std::vector<char>().swap(_scratchpad);
    if (_scratchpad.size() < need) _scratchpad.resize(need + 15);
    return _scratchpad.data();
}

// Mark from the roots, then finalize what was not reached. Finalized objects lose their
// references, so counting frees them (and whatever only they held).
SQInteger SQSharedState::CollectGarbage(SQVM* vm)
{
    if (_collecting) return 0;
    _collecting = true;
    std::vector<SQObjectPtr> unreached;
    try {
        FindUnreached(vm, unreached);
    } catch (const std::bad_alloc&) {
        _collecting = false;
        return 0;   // no room for the lists: nothing was finalized, the next run starts afresh
    }
    SQInteger count = static_cast<SQInteger>(unreached.size());
    for (SQObjectPtr& o : unreached) static_cast<SQCollectable*>(_refcounted(o))->Finalize();
    unreached.clear();
    _collecting = false;
    return count;
}

void SQSharedState::FindUnreached(SQVM* vm, std::vector<SQObjectPtr>& unreached)
{
    std::vector<SQCollectable*> grey;
    for (SQCollectable* c = _gc_chain; c; c = c->_next) c->_marked = false;
    SqMarkObject(_root_vm, grey);
    SqMarkObject(vm ? SQObjectPtr(vm) : SQObjectPtr(), grey);
    SqMarkObject(_registry, grey);
    SqMarkObject(_consts, grey);
    SqMarkObject(_metamethodsmap, grey);
    const SQObjectPtr* delegates[] = {&_table_default_delegate, &_array_default_delegate, &_string_default_delegate,
        &_number_default_delegate, &_generator_default_delegate, &_closure_default_delegate,
        &_thread_default_delegate, &_class_default_delegate, &_instance_default_delegate,
        &_weakref_default_delegate};
    for (const SQObjectPtr* d : delegates) SqMarkObject(*d, grey);
    for (auto& entry : _refs) SqMarkObject(entry.second.obj, grey);
    while (!grey.empty()) {
        SQCollectable* c = grey.back();
        grey.pop_back();
        if (c->_marked) continue;
        c->_marked = true;
        c->Mark(grey);
    }
    for (SQCollectable* c = _gc_chain; c; c = c->_next) {
        if (!c->_marked) {
            SQObject o; o._type = c->GetType(); o._unVal.raw = 0; o._unVal.pRefCounted = c;
            unreached.emplace_back(o);
        }
    }
}
