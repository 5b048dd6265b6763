// State shared by a VM and its threads: interned strings, tables of the VM, the collector's lists.
#pragma once

#include "sqobject.h"

#include <string>
#include <unordered_map>

// The longest string: lengths are SQInteger, and buffers add a little to a length.
constexpr SQInteger SQ_MAX_STRING_LENGTH = 0x7FFFFF00;

// Interned, immutable byte string. _val holds _len bytes plus a terminating zero.
struct SQString : public SQRefCounted {
    SQSharedState* _sharedstate;
    SQString* _next;   // bucket chain of the string table
    SQInteger _len;
    SQHash _hash;
    SQHash _slot;   // where a table lookup by this key last found it (see SQTable::GetPtrBySlot)
    char _val[1];
    static SQString* Create(SQSharedState* ss, const char* s, SQInteger len = -1);
    void Release() override;
};

class SQStringTable {
public:
    SQStringTable();
    ~SQStringTable();
    SQString* Add(SQSharedState* ss, const char* s, SQInteger len);
    void Remove(SQString* s);
private:
    void Resize(size_t size);
    std::vector<SQString*> _buckets;
    size_t _slotused = 0;
};

// One entry per object that the host holds with sq_addref.
struct SQRefEntry {
    SQObjectPtr obj;
    SQUnsignedInteger count;
};

#if defined(__SANITIZE_ADDRESS__)
#define SQ_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SQ_ADDRESS_SANITIZER 1
#endif
#endif

// Memory of freed closures and instances with few values, kept for the next object of the
// same size: one is often made per call, and the allocator costs more than the rest of
// making it. Not kept under the address sanitizer, so that it still sees an object used
// after its end.
class SQSmallBlocks {
public:
#ifdef SQ_ADDRESS_SANITIZER
    static constexpr size_t kDepth = 0;
#else
    static constexpr size_t kDepth = 16;
#endif
    static constexpr size_t kUnit = 16;   // the size of a value
    static constexpr size_t kSizes = 16;   // blocks of up to 256 bytes
    SQSmallBlocks() = default;
    SQSmallBlocks(const SQSmallBlocks&) = delete;
    SQSmallBlocks& operator=(const SQSmallBlocks&) = delete;
    ~SQSmallBlocks()
    {
        for (size_t k = 0; k < kSizes; k++)
            for (size_t n = 0; n < _count[k]; n++) ::operator delete(_blocks[k][n]);
    }
    // Blocks are sized in units, so that every block of a size is alike.
    static constexpr size_t Units(size_t headerBytes, size_t nvalues) { return (headerBytes + kUnit - 1) / kUnit + nvalues; }
    // A block of `units`, kept or new.
    void* Take(size_t units)
    {
        const size_t k = units - 1;
        if (k < kSizes && _count[k]) return _blocks[k][--_count[k]];
        return ::operator new(units * kUnit);
    }
    // Frees a block of `units`, or keeps it.
    void Give(void* block, size_t units)
    {
        const size_t k = units - 1;
        if (k < kSizes && _count[k] < kDepth) {
            _blocks[k][_count[k]++] = block;
            return;
        }
        ::operator delete(block);
    }
private:
    void* _blocks[kSizes][kDepth ? kDepth : 1] = {};
    size_t _count[kSizes] = {};
};

struct SQSharedState {
    SQSharedState();
    ~SQSharedState();
    void Init();

    SQStringTable _stringtable;
    SQSmallBlocks _smallblocks;   // early, so it goes late: the destructor frees objects
    SQCollectable* _gc_chain = nullptr;
    std::unordered_map<SQRefCounted*, SQRefEntry> _refs;
    SQObjectPtr _registry;
    SQObjectPtr _consts;
    SQObjectPtr _metamethodsmap;   // name -> MT index
    std::vector<SQObjectPtr> _metamethods;   // MT index -> name string
    SQObjectPtr _constructoridx;   // "constructor"
    SQObjectPtr _outofmemory;   // the error text, made up front: raising it must not allocate
    SQObjectPtr _table_default_delegate;
    SQObjectPtr _array_default_delegate;
    SQObjectPtr _string_default_delegate;
    SQObjectPtr _number_default_delegate;
    SQObjectPtr _generator_default_delegate;
    SQObjectPtr _closure_default_delegate;
    SQObjectPtr _thread_default_delegate;
    SQObjectPtr _class_default_delegate;
    SQObjectPtr _instance_default_delegate;
    SQObjectPtr _weakref_default_delegate;
    SQObjectPtr _root_vm;   // not counted through the collector; see sq_close
    SQPRINTFUNCTION _printfunc = nullptr;
    SQCOMPILERERROR _compilererrorhandler = nullptr;
    bool _debuginfo = false;
    bool _notifyallexceptions = false;
    std::vector<char> _scratchpad;
    char* GetScratchPad(SQInteger size);
    SQInteger CollectGarbage(SQVM* vm);
    void FindUnreached(SQVM* vm, std::vector<SQObjectPtr>& unreached);
    bool _collecting = false;
};

SQString* SqString(SQSharedState* ss, const char* s, SQInteger len = -1);
