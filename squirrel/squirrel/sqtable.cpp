// Hash table: chained scatter table with a free cursor, sized in powers of two.
#include "sqtable.h"

#include "sqobjects.h"

#include <new>

SQHash SqHashString(const char* s, size_t len)
{
    SQHash h = static_cast<SQHash>(len);
    size_t step = (len >> 5) | 1;
    for (size_t remaining = len; remaining >= step; remaining -= step) {
        // bytes are widened as signed chars to 16 bits
        SQHash widened = static_cast<uint16_t>(static_cast<int16_t>(static_cast<signed char>(*s++)));
        h = h ^ ((h << 5) + (h >> 2) + widened);
    }
    return h;
}

SQHash SQTable::SqHashKeySlow(const SQObject& key)
{
    return SqHashKey(key);
}

SQHash SqHashKey(const SQObject& key)
{
    switch (key._type) {
    case OT_STRING: return key._unVal.pString->_hash;
    case OT_FLOAT: return static_cast<SQHash>(SqFloatToInt(key._unVal.fFloat));
    case OT_BOOL: case OT_INTEGER: return static_cast<SQHash>(key._unVal.nInteger);
    default: return static_cast<SQHash>(reinterpret_cast<uintptr_t>(key._unVal.pRefCounted) >> 3);
    }
}

SQTable::SQTable(SQSharedState* ss, SQInteger nInitialSize) : SQDelegable(ss)
{
    SQInteger pow2size = 4;
    while (nInitialSize > pow2size) pow2size <<= 1;
    AllocNodes(pow2size);
}

SQTable* SQTable::Create(SQSharedState* ss, SQInteger nInitialSize)
{
    return new SQTable(ss, nInitialSize);
}

SQTable::~SQTable()
{
    ClearDelegate();
    delete[] _nodes;
}

void SQTable::Release()
{
    delete this;
}

void SQTable::AllocNodes(SQInteger nSize)
{
    _nodes = new Node[nSize];
    _numofnodes = nSize;
    _firstfree = &_nodes[nSize - 1];
}

void SQTable::Rehash(bool force)
{
    SQInteger oldsize = _numofnodes;
    if (oldsize < 4) oldsize = 4;
    Node* nold = _nodes;
    SQInteger nelems = CountUsed();
    SQInteger newsize;
    if (nelems >= oldsize - oldsize / 4)
        newsize = oldsize * 2;
    else if (nelems <= oldsize / 4 && oldsize > 4)
        newsize = oldsize / 2;
    else if (force)
        newsize = oldsize;
    else
        return;
    try {
        AllocNodes(newsize);   // changes nothing when it fails
    } catch (const std::bad_alloc&) {
        if (newsize > oldsize) throw;
        return;   // a table that cannot shrink still works
    }
    _usednodes = 0;
    for (SQInteger i = 0; i < oldsize; i++) {
        Node* old = nold + i;
        if (sqtype(old->key) != OT_NULL) NewSlot(old->key, old->val);
    }
    delete[] nold;
}

SQTable* SQTable::Clone()
{
    SQTable* nt = Create(_sharedstate, _numofnodes);
    for (SQInteger i = 0; i < _numofnodes; i++) {
        if (sqtype(_nodes[i].key) != OT_NULL) nt->NewSlot(_nodes[i].key, _nodes[i].val);
    }
    nt->SetDelegate(_delegate);
    return nt;
}

bool SQTable::Get(const SQObject& key, SQObjectPtr& val) const
{
    if (sqtype(key) == OT_NULL) return false;
    Node* n = FindNode(key, HashOf(key));
    if (!n) return false;
    val = n->val;
    SqDerefWeak(val);
    return true;
}

bool SQTable::NewSlot(const SQObject& key, const SQObject& val)
{
    SQHash h = HashOf(key) & (_numofnodes - 1);
    Node* n = FindNode(key, h);
    if (n) {
        n->val = val;
        return false;
    }
    Node* mp = &_nodes[h];
    if (sqtype(mp->key) != OT_NULL) {
        n = _firstfree;
        SQHash mph = HashOf(mp->key) & (_numofnodes - 1);
        Node* othern = &_nodes[mph];
        if (mp > n && othern != mp) {
            // the occupant is not in its main position: move it to the free node
            while (othern->next != mp) othern = othern->next;
            othern->next = n;
            n->key = std::move(mp->key);
            n->val = std::move(mp->val);
            n->next = mp->next;
            mp->key.Null();
            mp->val.Null();
            mp->next = nullptr;
        } else {
            n->next = mp->next;
            mp->next = n;
            mp = n;
        }
    }
    mp->key = key;
    for (;;) {
        if (sqtype(_firstfree->key) == OT_NULL && _firstfree->next == nullptr) {
            mp->val = val;
            _usednodes++;
            return true;
        }
        if (_firstfree == _nodes) break;
        _firstfree--;
    }
    try {
        Rehash(true);
    } catch (const std::bad_alloc&) {
        mp->key.Null();   // no room to grow: the table stays as it was before the call
        throw;
    }
    return NewSlot(key, val);
}

void SQTable::Remove(const SQObject& key)
{
    Node* n = FindNode(key, HashOf(key));
    if (n) {
        n->val.Null();
        n->key.Null();
        _usednodes--;
        Rehash(false);
    }
}

SQInteger SQTable::Next(bool getweakrefs, const SQObject& refpos, SQObjectPtr& outkey, SQObjectPtr& outval) const
{
    SQInteger idx = sqtype(refpos) == OT_NULL ? 0 : SqToInteger(refpos);
    if (idx < 0) return -1;   // no iterator of ours: damaged bytecode can hand any value
    for (; idx < _numofnodes; idx++) {
        Node& n = _nodes[idx];
        if (sqtype(n.key) != OT_NULL) {
            outkey = n.key;
            outval = n.val;
            if (!getweakrefs) SqDerefWeak(outval);
            return idx + 1;
        }
    }
    return -1;
}

void SQTable::Clear()
{
    for (SQInteger i = 0; i < _numofnodes; i++) {
        _nodes[i].key.Null();
        _nodes[i].val.Null();
    }
    _usednodes = 0;
    Rehash(true);
}

void SQTable::Mark(std::vector<SQCollectable*>& grey)
{
    if (_delegate) grey.push_back(_delegate);
    for (SQInteger i = 0; i < _numofnodes; i++) {
        SqMarkObject(_nodes[i].key, grey);
        SqMarkObject(_nodes[i].val, grey);
    }
}

void SQTable::Finalize()
{
    for (SQInteger i = 0; i < _numofnodes; i++) {
        _nodes[i].key.Null();
        _nodes[i].val.Null();
    }
    ClearDelegate();
}
