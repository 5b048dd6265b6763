// CString storage, copy-on-write and the text operations.
#include "utils_str.h"

#include "utils_assert.h"

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// The shared empty block: header followed directly by its terminator.
struct EmptyBlock {
    CStringData header;
    char chars[4];
};
EmptyBlock g_emptyBlock = {{-1, 0, 0}, {0, 0, 0, 0}};
static_assert(offsetof(EmptyBlock, chars) == sizeof(CStringData), "characters follow the header");

constexpr int MaxLength = INT_MAX - 1;

CStringData* emptyData() { return &g_emptyBlock.header; }

// Blocks may be shared between threads, so the count is only touched atomically.
void addRef(CStringData* d) { __atomic_add_fetch(&d->nRefs, 1, __ATOMIC_RELAXED); }
int dropRef(CStringData* d) { return __atomic_sub_fetch(&d->nRefs, 1, __ATOMIC_ACQ_REL); }
bool isShared(CStringData* d) { return __atomic_load_n(&d->nRefs, __ATOMIC_ACQUIRE) > 1; }

// Exact size, no spare capacity; malloc so that a failure returns NULL instead of throwing.
CStringData* allocData(int n)
{
    void* mem = std::malloc(sizeof(CStringData) + std::size_t(n) + 1);
    if (!mem)
        return nullptr;
    CStringData* d = static_cast<CStringData*>(mem);
    d->nRefs = 1;
    d->nDataLength = n;
    d->nAllocLength = n;
    d->data()[n] = 0;
    return d;
}

void releaseData(CStringData* d)
{
    if (d != emptyData() && dropRef(d) <= 0)
        std::free(d);
}

int safeStrlen(const char* text)
{
    if (!text)
        return 0;
    std::size_t n = std::strlen(text);
    if (n > std::size_t(MaxLength)) {
        ENGINE_ASSERT(!"text too long for a CString");
        return MaxLength;
    }
    return int(n);
}

// A new string of a + b; empty when both are empty or the sum overflows.
CString concatCopy(int lenA, const char* a, int lenB, const char* b)
{
    CString result;
    if (lenA + 0LL + lenB > MaxLength) {
        ENGINE_ASSERT(!"concatenation too long");
        return result;
    }
    if (lenA + lenB == 0 || !result.AllocBuffer(lenA + lenB))
        return result;
    char* out = result.GetBuffer(0);
    std::memcpy(out, a, std::size_t(lenA));
    std::memcpy(out + lenA, b, std::size_t(lenB));
    return result;
}

bool pointsInto(const char* p, const char* begin, int size)
{
    return p && p >= begin && p <= begin + size;
}

bool isBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

CStringData* GetEmptyStringData()
{
    return emptyData();
}

const CString& GetEmptyString()
{
    static const CString empty;
    return empty;
}

// --- construction, assignment, release ---

CString::CString()
{
    Init();
}

CString::CString(const CString& src)
{
    CStringData* d = src.GetData();
    if (d == emptyData()) {
        Init();
        return;
    }
    addRef(d);
    m_pchData = src.m_pchData;
}

CString::CString(CString&& src) noexcept : m_pchData(src.m_pchData)
{
    src.Init();
}

CString::CString(const char* text)
{
    Init();
    int n = safeStrlen(text);
    if (n > 0 && AllocBuffer(n))
        std::memcpy(m_pchData, text, std::size_t(n));
}

CString::CString(const char* text, int n)
{
    Init();
    ENGINE_ASSERT(n >= 0);
    ENGINE_ASSERT(n == 0 || text != nullptr);
    if (n > 0 && text && AllocBuffer(n))
        std::memcpy(m_pchData, text, std::size_t(n));
}

CString::CString(char ch, int n)
{
    Init();
    if (n >= 1 && AllocBuffer(n))
        std::memset(m_pchData, ch, std::size_t(n));
}

CString::~CString()
{
    releaseData(GetData());
}

CString& CString::operator=(const CString& src)
{
    if (m_pchData == src.m_pchData)
        return *this;
    CStringData* d = src.GetData();
    if (d == emptyData()) {
        AssignCopy(0, nullptr);
        return *this;
    }
    addRef(d);
    releaseData(GetData());
    m_pchData = src.m_pchData;
    return *this;
}

CString& CString::operator=(CString&& src) noexcept
{
    if (this == &src)
        return *this;
    if (src.GetData() == emptyData()) {
        AssignCopy(0, nullptr);   // as a copy would: an owned block is kept
    } else {
        releaseData(GetData());
        m_pchData = src.m_pchData;
        src.Init();
    }
    return *this;
}

CString& CString::operator=(const char* text)
{
    AssignCopy(safeStrlen(text), text);
    return *this;
}

// The source may lie inside this string's own block.
void CString::AssignCopy(int n, const char* src)
{
    CStringData* d = GetData();
    if (n == 0) {
        if (isShared(d))
            Release();
        else if (d != emptyData()) {
            d->nDataLength = 0;
            m_pchData[0] = 0;
        }
        return;
    }
    if (isShared(d) || n > d->nAllocLength) {
        CStringData* fresh = allocData(n);
        if (!fresh)
            return;
        std::memcpy(fresh->data(), src, std::size_t(n));
        releaseData(d);
        m_pchData = fresh->data();
        return;
    }
    std::memmove(m_pchData, src, std::size_t(n));
    d->nDataLength = n;
    m_pchData[n] = 0;
}

void CString::Release()
{
    CStringData* d = GetData();
    if (d != emptyData()) {
        releaseData(d);
        Init();
    }
}

void CString::Init()
{
    m_pchData = emptyData()->data();
}

// --- reading ---

CStringData* CString::GetData() const
{
    ENGINE_ASSERT(m_pchData != nullptr);
    return reinterpret_cast<CStringData*>(m_pchData) - 1;
}

char CString::GetAt(int i) const
{
    if (i < 0 || i >= GetLength()) {
        ENGINE_ASSERT(!"CString index out of range");
        return 0;
    }
    return m_pchData[i];
}

void CString::SetAt(int i, char ch)
{
    if (i < 0 || i >= GetLength()) {
        ENGINE_ASSERT(!"CString index out of range");
        return;
    }
    if (CopyBeforeWrite())
        m_pchData[i] = ch;
}

// --- unsharing and direct writing ---

bool CString::CopyBeforeWrite()
{
    CStringData* d = GetData();
    if (!isShared(d))
        return true;
    CStringData* fresh = allocData(d->nDataLength);
    if (!fresh)
        return false;
    std::memcpy(fresh->data(), m_pchData, std::size_t(d->nDataLength));
    releaseData(d);
    m_pchData = fresh->data();
    return true;
}

bool CString::AllocBeforeWrite(int n)
{
    CStringData* d = GetData();
    if (!isShared(d) && n <= d->nAllocLength)
        return true;
    CString fresh;
    if (!fresh.AllocBuffer(n))
        return false;
    std::swap(m_pchData, fresh.m_pchData);
    return true;
}

bool CString::AllocBuffer(int n)
{
    if (n < 0 || n > MaxLength) {
        ENGINE_ASSERT(n >= 0 && n <= MaxLength);
        return false;
    }
    if (n == 0) {
        Init();
        return true;
    }
    CStringData* d = allocData(n);
    if (!d)
        return false;
    m_pchData = d->data();
    return true;
}

char* CString::GetBuffer(int minLen)
{
    if (minLen < 0) {
        ENGINE_ASSERT(minLen >= 0);
        minLen = 0;
    }
    CStringData* d = GetData();
    if (!isShared(d) && minLen <= d->nAllocLength)
        return m_pchData;
    int len = d->nDataLength;
    int capacity = minLen > len ? minLen : len;
    if (capacity == 0) {
        Release();
        return m_pchData;
    }
    CStringData* fresh = allocData(capacity);
    if (!fresh)
        return nullptr;
    std::memcpy(fresh->data(), m_pchData, std::size_t(len) + 1);
    fresh->nDataLength = len;
    // Never pointing at freed memory, not even for a moment: a crash handler reads the debug log.
    m_pchData = fresh->data();
    releaseData(d);
    return m_pchData;
}

void CString::ReserveForAppend(long long n)
{
    const int length = GetLength();
    const long long needed = length + n;
    if (n <= 0 || needed <= GetAllocLength() || needed >= MaxLength / 2)
        return;
    if (GetBuffer(int(needed + needed / 2)))
        ReleaseBuffer(length);
}

char* CString::GetBuffer()
{
    return GetBuffer(GetAllocLength());
}

void CString::ReleaseBuffer(int newLen)
{
    if (!CopyBeforeWrite())
        return;
    CStringData* d = GetData();
    if (newLen == -1)
        newLen = int(strnlen(m_pchData, std::size_t(d->nAllocLength)));
    if (newLen < 0 || newLen > d->nAllocLength) {
        // Clamped: writing the terminator past the block would corrupt the heap.
        ENGINE_ASSERT(newLen >= 0 && newLen <= d->nAllocLength);
        newLen = newLen < 0 ? 0 : d->nAllocLength;
    }
    if (d == emptyData())
        return;
    d->nDataLength = newLen;
    m_pchData[newLen] = 0;
}

// --- concatenation and comparison ---

CString& CString::operator+=(const char* text)
{
    ConcatInPlace(safeStrlen(text), text);
    return *this;
}

CString& CString::operator+=(const CString& s)
{
    ConcatInPlace(s.GetLength(), s.m_pchData);
    return *this;
}

CString& CString::operator+=(char ch)
{
    ConcatInPlace(1, &ch);
    return *this;
}

// The old block is released only after the copy, so appending a string to itself works.
void CString::ConcatInPlace(int n, const char* src)
{
    if (n <= 0) {
        ENGINE_ASSERT(n == 0);
        return;
    }
    CStringData* d = GetData();
    int len = d->nDataLength;
    if (n > MaxLength - len) {
        ENGINE_ASSERT(!"CString too long");
        return;
    }
    if (!isShared(d) && len + n <= d->nAllocLength) {
        std::memmove(m_pchData + len, src, std::size_t(n));
        d->nDataLength = len + n;
        m_pchData[len + n] = 0;
        return;
    }
    CStringData* fresh = allocData(len + n);
    if (!fresh)
        return;
    std::memcpy(fresh->data(), m_pchData, std::size_t(len));
    std::memcpy(fresh->data() + len, src, std::size_t(n));
    releaseData(d);
    m_pchData = fresh->data();
}

CString operator+(const CString& a, const CString& b)
{
    return concatCopy(a.GetLength(), a, b.GetLength(), b);
}

CString operator+(const CString& a, const char* b)
{
    return concatCopy(a.GetLength(), a, safeStrlen(b), b);
}

CString operator+(const char* a, const CString& b)
{
    return concatCopy(safeStrlen(a), a, b.GetLength(), b);
}

int CString::Compare(const char* text) const
{
    int r = std::strcmp(m_pchData, text ? text : "");
    return (r > 0) - (r < 0);
}

bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const CString& b) { return !(b == a); }

// --- search ---

int CString::Find(const char* sub, int start) const
{
    if (!sub) {
        ENGINE_ASSERT(sub != nullptr);
        return -1;
    }
    if (start < 0 || start > GetLength())
        return -1;
    if (*sub == 0)
        return start;
    const char* hit = std::strstr(m_pchData + start, sub);
    return hit ? int(hit - m_pchData) : -1;
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start >= GetLength() || ch == 0)
        return -1;
    const char* hit = std::strchr(m_pchData + start, ch);
    return hit ? int(hit - m_pchData) : -1;
}

// --- trimming and case ---

void CString::TrimRight()
{
    if (!CopyBeforeWrite())
        return;
    int len = GetLength();
    int end = len;
    while (end > 0 && isBlank(static_cast<unsigned char>(m_pchData[end - 1])))
        --end;
    if (end != len) {
        GetData()->nDataLength = end;
        m_pchData[end] = 0;
    }
}

void CString::TrimLeft()
{
    if (!CopyBeforeWrite())
        return;
    int len = GetLength();
    int first = 0;
    while (first < len && isBlank(static_cast<unsigned char>(m_pchData[first])))
        ++first;
    if (first > 0) {
        std::memmove(m_pchData, m_pchData + first, std::size_t(len - first) + 1);
        GetData()->nDataLength = len - first;
    }
}

// The text steps one byte per character (single-byte code page), so a set entry is a byte.
void CString::TrimLeft(const char* set)
{
    if (!set) {
        ENGINE_ASSERT(set != nullptr);
        return;
    }
    if (*set == 0 || !CopyBeforeWrite())
        return;
    int len = GetLength();
    int first = 0;
    while (first < len && m_pchData[first] != 0 && std::strchr(set, m_pchData[first]))
        ++first;
    if (first > 0) {
        std::memmove(m_pchData, m_pchData + first, std::size_t(len - first) + 1);
        GetData()->nDataLength = len - first;
    }
}

void CString::TrimRight(const char* set)
{
    if (!set) {
        ENGINE_ASSERT(set != nullptr);
        return;
    }
    if (*set == 0 || !CopyBeforeWrite())
        return;
    int len = GetLength();
    int end = len;
    while (end > 0 && m_pchData[end - 1] != 0 && std::strchr(set, m_pchData[end - 1]))
        --end;
    if (end != len) {
        GetData()->nDataLength = end;
        m_pchData[end] = 0;
    }
}

void CString::MakeLower()
{
    if (!CopyBeforeWrite())
        return;
    StrLowerInPlace(m_pchData);
}

// --- substrings ---

CString CString::Mid(int first, int count) const
{
    int len = GetLength();
    if (first < 0)
        first = 0;
    if (count < 0)
        count = 0;
    if (first > len)
        return CString();
    if (count > len - first)
        count = len - first;
    return CString(m_pchData + first, count);
}

CString CString::Mid(int first) const
{
    if (first < 0)
        first = 0;
    return Mid(first, GetLength() - first);
}

CString CString::Left(int n) const
{
    int len = GetLength();
    n = n < 0 ? 0 : (n > len ? len : n);
    return CString(m_pchData, n);
}

CString CString::Right(int n) const
{
    int len = GetLength();
    n = n < 0 ? 0 : (n > len ? len : n);
    return CString(m_pchData + len - n, n);
}

CString CString::SpanExcluding(const char* set) const
{
    ENGINE_ASSERT(set != nullptr);
    return Left(int(std::strcspn(m_pchData, set ? set : "")));
}

CString CString::SpanIncluding(const char* set) const
{
    ENGINE_ASSERT(set != nullptr);
    return Left(int(std::strspn(m_pchData, set ? set : "")));
}

// --- replacing ---

namespace {

// Finds needle in [from, end), across embedded NUL bytes.
const char* findIn(const char* from, const char* end, const char* needle, int needleLen)
{
    if (end - from < needleLen)
        return nullptr;
    return static_cast<const char*>(memmem(from, std::size_t(end - from), needle, std::size_t(needleLen)));
}

int countMatches(const char* text, int len, const char* needle, int needleLen)
{
    int count = 0;
    const char* end = text + len;
    for (const char* p = findIn(text, end, needle, needleLen); p; p = findIn(p + needleLen, end, needle, needleLen))
        ++count;
    return count;
}

// Copies src with every needle replaced into out; out may lie at or before src.
void copyReplaced(char* out, const char* src, int srcLen, const char* needle, int needleLen, const char* repl, int replLen)
{
    const char* end = src + srcLen;
    const char* p = src;
    for (const char* hit = findIn(p, end, needle, needleLen); hit; hit = findIn(p, end, needle, needleLen)) {
        std::memmove(out, p, std::size_t(hit - p));
        out += hit - p;
        std::memmove(out, repl, std::size_t(replLen));
        out += replLen;
        p = hit + needleLen;
    }
    std::memmove(out, p, std::size_t(end - p));
}

} // namespace

int CString::Replace(const char* oldText, const char* newText)
{
    int oldLen = safeStrlen(oldText);
    if (oldLen == 0)
        return 0;
    int len = GetLength();
    int count = countMatches(m_pchData, len, oldText, oldLen);
    if (count == 0)
        return 0;
    // Arguments that point into this block would be overwritten while they are read.
    CString oldCopy, newCopy;
    if (pointsInto(oldText, m_pchData, GetAllocLength()))
        oldText = oldCopy = oldText;
    if (pointsInto(newText, m_pchData, GetAllocLength()))
        newText = newCopy = newText;
    int newLen = safeStrlen(newText);
    long long resultLen = len + (long long)(newLen - oldLen) * count;
    if (resultLen > MaxLength) {
        ENGINE_ASSERT(!"CString too long");
        return -1;
    }
    CStringData* d = GetData();
    if (isShared(d) || resultLen > d->nAllocLength) {
        CStringData* fresh = allocData(int(resultLen));
        if (!fresh)
            return -1;
        copyReplaced(fresh->data(), m_pchData, len, oldText, oldLen, newText, newLen);
        releaseData(d);
        m_pchData = fresh->data();
        return count;
    }
    // In place: a growing text first moves to the end of the block, so writing never overtakes reading.
    int shift = resultLen > len ? int(resultLen - len) : 0;
    if (shift)
        std::memmove(m_pchData + shift, m_pchData, std::size_t(len));
    copyReplaced(m_pchData, m_pchData + shift, len, oldText, oldLen, newText, newLen);
    d->nDataLength = int(resultLen);
    m_pchData[resultLen] = 0;
    return count;
}

int CString::ReplaceChars(const char* set, char ch)
{
    if (!set || !*set)
        return 0;
    int len = GetLength();
    int count = 0;
    for (int i = 0; i < len; ++i) {
        if (m_pchData[i] == 0 || !std::strchr(set, m_pchData[i]))
            continue;
        if (count++ == 0 && !CopyBeforeWrite())
            return 0;
        m_pchData[i] = ch;
    }
    return count;
}
