// CArray: the engine's growable array template for element types other than CString.
#pragma once

#include "utils_str.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

// Moves n elements into raw slots at dst, leaving src raw; the ranges may overlap.
template <class T>
void RelocateElements(T* dst, T* src, int n)
{
    if (dst == src || n <= 0)
        return;
    if (dst < src) {
        for (int i = 0; i < n; ++i) {
            new (dst + i) T(std::move(src[i]));
            src[i].~T();
        }
    } else {
        for (int i = n - 1; i >= 0; --i) {
            new (dst + i) T(std::move(src[i]));
            src[i].~T();
        }
    }
}

// Same growth rule as CStringArray, except that the first block holds at least the
// grow-by step and fresh memory is zero-filled before elements are constructed in it,
// so pointers and numbers start as 0 and members a constructor leaves alone read 0.
// Elements move with their own move constructor, never byte-wise.
// Bad indices and sizes: assertion, then CBadException, with the array unchanged.
template <class T>
class CArray {
public:
    CArray() = default;
    ~CArray() { SetSize(0, -1); }
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;

    int GetSize() const { return m_nSize; }
    void SetSize(int n, int growBy = -1);
    void RemoveAll() { SetSize(0, -1); }

    const T& GetAt(int i) const { checkIndex(i); return m_pData[i]; }
    T& ElementAt(int i) { checkIndex(i); return m_pData[i]; }
    T& operator[](int i) { return ElementAt(i); }
    const T& operator[](int i) const { return GetAt(i); }

    void SetAtGrow(int i, const T& x);
    int Add(const T& x);
    void RemoveAt(int i, int count = 1);

private:
    static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "over-aligned elements are not supported");

    void checkIndex(int i) const { ENGINE_CHECK_THROW(i >= 0 && i < m_nSize); }
    bool holds(const T& x) const
    {
        auto p = reinterpret_cast<std::uintptr_t>(&x);
        auto begin = reinterpret_cast<std::uintptr_t>(m_pData);
        return m_pData && p >= begin && p < begin + std::uintptr_t(m_nMaxSize) * sizeof(T);
    }
    static T* allocate(int n) { return static_cast<T*>(::operator new(std::size_t(n) * sizeof(T))); }
    static void zero(T* first, int n) { std::memset(static_cast<void*>(first), 0, std::size_t(n) * sizeof(T)); }
    static void construct(T* first, int n)
    {
        for (int i = 0; i < n; ++i)
            new (first + i) T;   // default-initialised: the zeroed bytes stay where T leaves them
    }
    static void destroy(T* first, int n)
    {
        for (int i = 0; i < n; ++i)
            first[i].~T();
    }
    T* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;   // 0: SetSize computes the step
};

template <class T>
void CArray<T>::SetSize(int n, int growBy)
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
        int capacity = m_nGrowBy > n ? m_nGrowBy : n;
        m_pData = allocate(capacity);
        zero(m_pData, capacity);
        construct(m_pData, n);
        m_nSize = n;
        m_nMaxSize = capacity;
        return;
    }
    if (n > m_nMaxSize) {
        int capacity = GrowArrayCapacity(m_nSize, m_nMaxSize, m_nGrowBy, n);
        T* block = allocate(capacity);
        RelocateElements(block, m_pData, m_nSize);
        zero(block + m_nSize, capacity - m_nSize);
        construct(block + m_nSize, n - m_nSize);
        ::operator delete(m_pData);
        m_pData = block;
        m_nMaxSize = capacity;
    } else if (n > m_nSize) {
        zero(m_pData + m_nSize, n - m_nSize);   // the slots may hold bytes of removed elements
        construct(m_pData + m_nSize, n - m_nSize);
    } else {
        destroy(m_pData + n, m_nSize - n);
    }
    m_nSize = n;
}

template <class T>
void CArray<T>::SetAtGrow(int i, const T& x)
{
    ENGINE_CHECK_THROW(i >= 0);
    if (i >= m_nSize) {
        ENGINE_CHECK_THROW(i < INT32_MAX);
        if (holds(x)) {
            T keep(x);   // x is one of our elements, which growing moves
            SetSize(i + 1, -1);
            m_pData[i] = std::move(keep);
            return;
        }
        SetSize(i + 1, -1);
    }
    m_pData[i] = x;
}

template <class T>
int CArray<T>::Add(const T& x)
{
    int index = m_nSize;
    SetAtGrow(index, x);
    return index;
}

template <class T>
void CArray<T>::RemoveAt(int i, int count)
{
    ENGINE_CHECK_THROW(i >= 0 && count >= 0 && (long long)i + count <= m_nSize);
    destroy(m_pData + i, count);
    RelocateElements(m_pData + i, m_pData + i + count, m_nSize - i - count);
    m_nSize -= count;
}
