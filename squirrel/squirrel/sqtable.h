// Hash table with the node layout of the original VM, so iteration order matches it.
#pragma once

#include <cstddef>

#include "sqobject.h"
#include "sqstate.h"

// Invariants: _numofnodes is a power of two >= 4; a node is free only when its key is
// null and its link is null; _firstfree never points above the last free node;
// _usednodes counts nodes with a non-null key.
struct SQTable : public SQDelegable {
    struct Node {
        SQObjectPtr val;
        SQObjectPtr key;
        Node* next = nullptr;
    };

    static SQTable* Create(SQSharedState* ss, SQInteger nInitialSize);
    void Release() override;
    ~SQTable() override;
    void Mark(std::vector<SQCollectable*>& grey) override;
    void Finalize() override;
    SQObjectType GetType() override { return OT_TABLE; }

    SQTable* Clone();
    bool Get(const SQObject& key, SQObjectPtr& val) const;
    SQObjectPtr* GetPtr(const SQObject& key) const
    {
        // a string key, as most field names are, hashes without the general switch
        if (key._type == OT_STRING) {
            Node* n = FindNode(key, key._unVal.pString->_hash);
            return n ? &n->val : nullptr;
        }
        if (key._type == OT_NULL) return nullptr;
        Node* n = FindNode(key, HashOf(key));
        return n ? &n->val : nullptr;
    }
    // A lookup by a string key that first tries the node where the key was last found, its
    // main position until it is found in a chain: a function called by its global name most
    // often sits behind another key's main position in the full root table.
    SQObjectPtr* GetPtrBySlot(const SQObject& key) const
    {
        SQString* s = key._unVal.pString;
        Node* n = &_nodes[s->_slot & (_numofnodes - 1)];
        if (n->key._unVal.raw == key._unVal.raw && n->key._type == OT_STRING) return &n->val;
        n = FindNode(key, s->_hash);
        if (!n) return nullptr;
        const SQHash at = static_cast<SQHash>(n - _nodes);
        s->_slot = at == (s->_hash & (_numofnodes - 1)) ? s->_hash : at;
        return &n->val;
    }
    // The node of a value this table holds.
    SQHash NodeOf(const SQObjectPtr* val) const
    {
        static_assert(offsetof(Node, val) == 0, "a node starts with its value");
        return static_cast<SQHash>(reinterpret_cast<const Node*>(val) - _nodes);
    }
    // existing slots only; inline, as the VM's field stores go through it
    bool Set(const SQObject& key, const SQObject& val)
    {
        SQObjectPtr* p = GetPtr(key);
        if (!p) return false;
        *p = val;
        return true;
    }
    bool NewSlot(const SQObject& key, const SQObject& val);   // true when the slot was created
    void Remove(const SQObject& key);
    // Iteration: returns the next position (>0) and fills key/val, or -1 at the end.
    SQInteger Next(bool getweakrefs, const SQObject& refpos, SQObjectPtr& outkey, SQObjectPtr& outval) const;
    SQInteger CountUsed() const { return _usednodes; }
    void Clear();

    Node* _nodes = nullptr;
    SQInteger _numofnodes = 0;
    SQInteger _usednodes = 0;
    Node* _firstfree = nullptr;

    static SQHash HashOf(const SQObject& key)
    {
        if (key._type == OT_STRING) return key._unVal.pString->_hash;
        if (key._type == OT_INTEGER) return static_cast<SQHash>(key._unVal.nInteger);
        return SqHashKeySlow(key);
    }

private:
    static SQHash SqHashKeySlow(const SQObject& key);
    SQTable(SQSharedState* ss, SQInteger nInitialSize);
    void AllocNodes(SQInteger nSize);
    void Rehash(bool force);
    Node* FindNode(const SQObject& key, SQHash h) const
    {
        Node* n = &_nodes[h & (_numofnodes - 1)];
        // most keys are found at their main position: that probe is kept out of the loop
        if (n->key._unVal.raw == key._unVal.raw && n->key._type == key._type) return n;
        while ((n = n->next) != nullptr) {
            if (n->key._unVal.raw == key._unVal.raw && n->key._type == key._type) return n;
        }
        return nullptr;
    }
};

SQHash SqHashKey(const SQObject& key);
SQHash SqHashString(const char* s, size_t len);
