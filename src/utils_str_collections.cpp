// CStringArray, the CString-keyed hash maps and their block allocator.
#include "utils_str.h"

#include "utils_array.h"
#include "utils_assert.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

CString* allocateStrings(int n)
{
    return static_cast<CString*>(::operator new(std::size_t(n) * sizeof(CString)));
}

void constructEmpty(CString* first, int n)
{
    for (int i = 0; i < n; ++i)
        new (first + i) CString();
}

void destroy(CString* first, int n)
{
    for (int i = 0; i < n; ++i)
        first[i].~CString();
}

int checkedSum(int a, int b)
{
    ENGINE_CHECK_THROW((long long)a + b <= INT_MAX);
    return a + b;
}

} // namespace

void ThrowBadException(const char* file, int line, const char* expr)
{
    AssertFailed(file, line, expr);
    throw CBadException();
}

int GrowArrayCapacity(int size, int capacity, int growBy, int needed)
{
    long long step = growBy;
    if (step == 0)
        step = size / 8 < 4 ? 4 : (size / 8 > 1024 ? 1024 : size / 8);
    long long grown = capacity + step;
    if (grown > INT_MAX)
        grown = INT_MAX;
    long long result = needed > grown ? needed : grown;
    ENGINE_CHECK_THROW(result >= capacity);
    return int(result);
}

// --- CStringArray ---

CStringArray::~CStringArray()
{
    destroy(m_pData, m_nSize);
    ::operator delete(m_pData);
}

void CStringArray::checkIndex(int i) const
{
    ENGINE_CHECK_THROW(i >= 0 && i < m_nSize);
}

const CString& CStringArray::GetAt(int i) const
{
    checkIndex(i);
    return m_pData[i];
}

CString& CStringArray::ElementAt(int i)
{
    checkIndex(i);
    return m_pData[i];
}

void CStringArray::SetAt(int i, const char* value)
{
    checkIndex(i);
    m_pData[i] = value;
}

void CStringArray::SetAt(int i, const CString& value)
{
    checkIndex(i);
    m_pData[i] = value;
}

void CStringArray::SetSize(int n, int growBy)
{
    ENGINE_CHECK_THROW(n >= 0);
    if (growBy >= 0)
        m_nGrowBy = growBy;
    if (n == 0) {
        destroy(m_pData, m_nSize);
        ::operator delete(m_pData);
        m_pData = nullptr;
        m_nSize = m_nMaxSize = 0;
        return;
    }
    if (!m_pData) {
        // The first block is exact: the grow-by plays no part in it.
        m_pData = allocateStrings(n);
        constructEmpty(m_pData, n);
        m_nSize = m_nMaxSize = n;
        return;
    }
    if (n > m_nMaxSize) {
        int capacity = GrowArrayCapacity(m_nSize, m_nMaxSize, m_nGrowBy, n);
        CString* block = allocateStrings(capacity);
        RelocateElements(block, m_pData, m_nSize);
        constructEmpty(block + m_nSize, n - m_nSize);
        ::operator delete(m_pData);
        m_pData = block;
        m_nMaxSize = capacity;
    } else if (n > m_nSize) {
        constructEmpty(m_pData + m_nSize, n - m_nSize);
    } else {
        destroy(m_pData + n, m_nSize - n);
    }
    m_nSize = n;
}

void CStringArray::FreeExtra()
{
    if (m_nSize == m_nMaxSize)
        return;
    CString* block = m_nSize ? allocateStrings(m_nSize) : nullptr;
    RelocateElements(block, m_pData, m_nSize);
    ::operator delete(m_pData);
    m_pData = block;
    m_nMaxSize = m_nSize;
}

void CStringArray::SetAtGrow(int i, const char* value)
{
    ENGINE_CHECK_THROW(i >= 0);
    if (i >= m_nSize)
        SetSize(checkedSum(i, 1));
    m_pData[i] = value;
}

void CStringArray::SetAtGrow(int i, const CString& value)
{
    ENGINE_CHECK_THROW(i >= 0);
    CString keep(value);   // value may be one of our own elements, which growing moves
    if (i >= m_nSize)
        SetSize(checkedSum(i, 1));
    m_pData[i] = keep;
}

int CStringArray::Add(const char* value)
{
    int index = m_nSize;
    SetAtGrow(index, value);
    return index;
}

int CStringArray::Add(const CString& value)
{
    int index = m_nSize;
    SetAtGrow(index, value);
    return index;
}

int CStringArray::Append(const CStringArray& src)
{
    ENGINE_CHECK_THROW(&src != this);
    int oldSize = m_nSize;
    SetSize(checkedSum(m_nSize, src.m_nSize));
    for (int i = 0; i < src.m_nSize; ++i)
        m_pData[oldSize + i] = src.m_pData[i];
    return oldSize;
}

void CStringArray::Copy(const CStringArray& src)
{
    if (&src == this) {
        ENGINE_ASSERT(&src != this);
        return;
    }
    SetSize(src.m_nSize);
    for (int i = 0; i < src.m_nSize; ++i)
        m_pData[i] = src.m_pData[i];
}

void CStringArray::InsertAt(int i, const char* value, int count)
{
    ENGINE_CHECK_THROW(i >= 0 && count >= 1);
    InsertAt(i, CString(value), count);   // one string shared by every new slot
}

void CStringArray::InsertAt(int i, const CString& value, int count)
{
    ENGINE_CHECK_THROW(i >= 0 && count >= 1);
    CString keep(value);
    if (i < m_nSize) {
        int oldSize = m_nSize;
        SetSize(checkedSum(m_nSize, count));
        destroy(m_pData + oldSize, count);
        RelocateElements(m_pData + i + count, m_pData + i, oldSize - i);
        constructEmpty(m_pData + i, count);
    } else {
        SetSize(checkedSum(i, count));
    }
    for (int k = 0; k < count; ++k)
        m_pData[i + k] = keep;
}

void CStringArray::InsertAt(int i, const CStringArray* src)
{
    ENGINE_CHECK_THROW(src != nullptr && i >= 0);
    int n = src->m_nSize;
    if (n == 0)
        return;
    // Inserting an array into itself reads it while it moves: take a snapshot.
    std::vector<CString> snapshot(src->m_pData, src->m_pData + n);
    InsertAt(i, snapshot[0], n);
    for (int k = 1; k < n; ++k)
        m_pData[i + k] = snapshot[std::size_t(k)];
}

void CStringArray::RemoveAt(int i, int count)
{
    ENGINE_CHECK_THROW(i >= 0 && count >= 0 && (long long)i + count <= m_nSize);
    destroy(m_pData + i, count);
    RelocateElements(m_pData + i, m_pData + i + count, m_nSize - i - count);
    m_nSize -= count;
}

int SortStrings(CStringArray& strings, int order)
{
    int n = strings.GetSize();
    for (int i = 0; i + 1 < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            int c = std::strcmp(strings[i], strings[j]);
            if (order > 0 ? c > 0 : c < 0)
                std::swap(strings.ElementAt(i), strings.ElementAt(j));
        }
    }
    return n - 1;
}

bool CompareElements(const CString* a, const char* b)
{
    return std::strcmp(*a, b ? b : "") == 0;
}

// --- hashing and blocks ---

unsigned HashKey(const char* key)
{
    ENGINE_CHECK_THROW(key != nullptr);
    unsigned h = 0;
    for (; *key; ++key)
        h = h * 33u + unsigned(int(static_cast<signed char>(*key)));
    return h;
}

CPlex* CPlex::Create(CPlex*& head, std::size_t n, std::size_t elementSize)
{
    ENGINE_CHECK_THROW(n > 0 && elementSize > 0);
    void* mem = ::operator new(sizeof(CPlex) + n * elementSize);
    CPlex* block = new (mem) CPlex{head};
    head = block;
    return block;
}

void CPlex::FreeDataChain()
{
    CPlex* block = this;
    while (block) {
        CPlex* next = block->pNext;
        ::operator delete(block);
        block = next;
    }
}

// --- maps ---

namespace {

const POSITION BeforeStartPosition = reinterpret_cast<POSITION>(~std::uintptr_t(0));

} // namespace

template <class Value>
CMapStringTo<Value>::CMapStringTo(int blockSize)
{
    if (blockSize < 1) {
        ENGINE_ASSERT(blockSize >= 1);
        blockSize = 10;
    }
    m_nBlockSize = blockSize;
}

template <class Value>
CMapStringTo<Value>::~CMapStringTo()
{
    RemoveAll();
    ENGINE_ASSERT(m_nCount == 0);
}

template <class Value>
void CMapStringTo<Value>::InitHashTable(unsigned size, bool allocNow)
{
    if (m_nCount != 0) {
        ENGINE_ASSERT(m_nCount == 0);   // the entries would be lost
        return;
    }
    ENGINE_ASSERT(size != 0);
    if (size == 0)
        size = 17;
    delete[] m_pHashTable;
    m_pHashTable = allocNow ? new CAssoc*[size]() : nullptr;
    m_nHashTableSize = size;
}

template <class Value>
typename CMapStringTo<Value>::CAssoc* CMapStringTo<Value>::findAssoc(const char* key, unsigned& bucket,
                                                                      unsigned& hash) const
{
    hash = HashKey(key);
    bucket = hash % m_nHashTableSize;
    if (!m_pHashTable)
        return nullptr;
    for (CAssoc* a = m_pHashTable[bucket]; a; a = a->pNext)
        if (a->nHashValue == hash && a->key == key)
            return a;
    return nullptr;
}

template <class Value>
typename CMapStringTo<Value>::CAssoc* CMapStringTo<Value>::newAssoc(const char* key)
{
    if (!m_pFreeList) {
        // Pushed last to first, so the block's first slot is used first.
        CPlex* block = CPlex::Create(m_pBlocks, std::size_t(m_nBlockSize), sizeof(CAssoc));
        char* slots = static_cast<char*>(block->data());
        for (int i = m_nBlockSize - 1; i >= 0; --i)
            m_pFreeList = new (slots + std::size_t(i) * sizeof(CAssoc)) void*(m_pFreeList);
    }
    void* slot = m_pFreeList;
    m_pFreeList = *static_cast<void**>(slot);
    CAssoc* assoc = new (slot) CAssoc{CString(key), Value(), nullptr, 0u};
    ++m_nCount;
    return assoc;
}

template <class Value>
void CMapStringTo<Value>::freeAssoc(CAssoc* assoc)
{
    assoc->~CAssoc();
    m_pFreeList = new (static_cast<void*>(assoc)) void*(m_pFreeList);
    if (--m_nCount == 0)
        RemoveAll();
}

template <class Value>
typename CMapStringTo<Value>::CAssoc* CMapStringTo<Value>::firstFrom(unsigned bucket) const
{
    for (; m_pHashTable && bucket < m_nHashTableSize; ++bucket)
        if (m_pHashTable[bucket])
            return m_pHashTable[bucket];
    return nullptr;
}

template <class Value>
bool CMapStringTo<Value>::Lookup(const char* key, Value& value) const
{
    unsigned bucket, hash;
    CAssoc* a = findAssoc(key, bucket, hash);
    if (!a)
        return false;
    value = a->value;
    return true;
}

template <class Value>
bool CMapStringTo<Value>::LookupKey(const char* key, const char*& storedKey) const
{
    unsigned bucket, hash;
    CAssoc* a = findAssoc(key, bucket, hash);
    if (!a)
        return false;
    storedKey = a->key;
    return true;
}

template <class Value>
typename CMapStringTo<Value>::CPair* CMapStringTo<Value>::PLookup(const char* key)
{
    unsigned bucket, hash;
    return findAssoc(key, bucket, hash);
}

template <class Value>
Value& CMapStringTo<Value>::operator[](const char* key)
{
    unsigned bucket, hash;
    CAssoc* a = findAssoc(key, bucket, hash);
    if (a)
        return a->value;
    if (!m_pHashTable)
        InitHashTable(m_nHashTableSize, true);
    a = newAssoc(key);
    a->nHashValue = hash;
    a->pNext = m_pHashTable[bucket];
    m_pHashTable[bucket] = a;
    return a->value;
}

template <class Value>
bool CMapStringTo<Value>::RemoveKey(const char* key)
{
    unsigned hash = HashKey(key);
    if (!m_pHashTable)
        return false;
    CAssoc** link = &m_pHashTable[hash % m_nHashTableSize];
    for (CAssoc* a = *link; a; link = &a->pNext, a = a->pNext) {
        if (a->nHashValue == hash && a->key == key) {
            *link = a->pNext;
            freeAssoc(a);
            return true;
        }
    }
    return false;
}

template <class Value>
void CMapStringTo<Value>::RemoveAll()
{
    if (m_pHashTable) {
        for (unsigned b = 0; b < m_nHashTableSize; ++b) {
            for (CAssoc* a = m_pHashTable[b]; a;) {
                CAssoc* next = a->pNext;
                a->~CAssoc();
                a = next;
            }
        }
        delete[] m_pHashTable;
        m_pHashTable = nullptr;
    }
    m_nCount = 0;
    m_pFreeList = nullptr;
    if (m_pBlocks)
        m_pBlocks->FreeDataChain();
    m_pBlocks = nullptr;
}

template <class Value>
POSITION CMapStringTo<Value>::GetStartPosition() const
{
    return m_nCount == 0 ? nullptr : BeforeStartPosition;
}

template <class Value>
void CMapStringTo<Value>::GetNextAssoc(POSITION& pos, CString& key, Value& value) const
{
    if (!m_pHashTable || !pos) {
        ENGINE_ASSERT(m_pHashTable && pos);
        pos = nullptr;
        return;
    }
    CAssoc* a = pos == BeforeStartPosition ? firstFrom(0) : reinterpret_cast<CAssoc*>(pos);
    if (!a) {
        pos = nullptr;
        return;
    }
    CAssoc* next = a->pNext ? a->pNext : firstFrom(a->nHashValue % m_nHashTableSize + 1);
    pos = reinterpret_cast<POSITION>(next);
    key = a->key;
    value = a->value;
}

template <class Value>
typename CMapStringTo<Value>::CPair* CMapStringTo<Value>::PGetFirstAssoc()
{
    return firstFrom(0);
}

template <class Value>
typename CMapStringTo<Value>::CPair* CMapStringTo<Value>::PGetNextAssoc(const CPair* entry)
{
    if (!entry) {
        ENGINE_ASSERT(entry != nullptr);
        return nullptr;
    }
    return entry->pNext ? entry->pNext : firstFrom(entry->nHashValue % m_nHashTableSize + 1);
}

template class CMapStringTo<CString>;
template class CMapStringTo<void*>;
