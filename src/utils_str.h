// CString: the engine's 8-bit, reference-counted, copy-on-write text type, and the
// small free helpers that go with it.
#pragma once

#include <cstdarg>
#include <cstddef>

// Header that stands right before the characters of every string block.
// nRefs is -1 only on the one shared empty block, which is never counted or freed.
// Invariants: characters[nDataLength] == 0; a block with nRefs > 1 is never written.
struct CStringData {
    int nRefs;
    int nDataLength;   // bytes, without the terminator
    int nAllocLength;  // capacity in bytes, without the terminator
    char* data() { return reinterpret_cast<char*>(this + 1); }
};

// One pointer to the characters, never NULL. Throws nothing: misuse is an assertion,
// after which the operation goes on as safely as it can. Equality and ordering are
// plain byte order (strcmp), not a linguistic collation.
class CString {
public:
    CString();
    CString(const CString& src);
    CString(CString&& src) noexcept;
    CString(const char* text);
    CString(const char* text, int n);   // exactly n bytes, NULs included
    CString(char ch, int n);
    ~CString();

    CString& operator=(const CString& src);
    CString& operator=(CString&& src) noexcept;
    CString& operator=(const char* text);

    int GetLength() const { return GetData()->nDataLength; }
    int GetAllocLength() const { return GetData()->nAllocLength; }
    bool IsEmpty() const { return GetLength() == 0; }
    void Empty() { Release(); }
    operator const char*() const { return m_pchData; }
    char GetAt(int i) const;            // out of range: assertion, then 0
    void SetAt(int i, char ch);         // out of range: assertion, nothing written
    CStringData* GetData() const;

    // Unsharing and direct writing.
    bool CopyBeforeWrite();             // false only when memory cannot be had
    [[nodiscard]] bool AllocBeforeWrite(int n);
    [[nodiscard]] bool AllocBuffer(int n);   // does not release the old block
    char* GetBuffer(int minLen);        // NULL when memory cannot be had
    char* GetBuffer();
    void ReleaseBuffer(int newLen = -1);
    // Room for n more bytes, growing by half as much again when it must grow,
    // so a text built by many appends is copied a bounded number of times.
    // Pointers into the text are left dangling when it grows.
    void ReserveForAppend(long long n);
    void Release();
    void Init();

    CString& operator+=(const char* text);
    CString& operator+=(const CString& s);
    CString& operator+=(char ch);
    void ConcatInPlace(int n, const char* src);

    int Compare(const char* text) const;

    int Find(const char* sub, int start = 0) const;
    int Find(char ch, int start = 0) const;

    void TrimRight();
    void TrimLeft();
    void TrimLeft(const char* set);
    void TrimRight(const char* set);
    void MakeLower();

    // Substrings never share with this string.
    CString Mid(int first, int count) const;
    CString Mid(int first) const;
    CString Left(int n) const;
    CString Right(int n) const;
    CString SpanExcluding(const char* set) const;
    CString SpanIncluding(const char* set) const;

    int Replace(const char* oldText, const char* newText);   // count, or -1 out of memory
    int ReplaceChars(const char* set, char ch);

    // printf-style; MSVC's "I64" size prefix and 'S'/'C' (wide) are understood.
    // Checked like printf, so that a CString passed without its (const char*) cast is caught.
    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* fmt, va_list args);

private:
    void AssignCopy(int n, const char* src);

    char* m_pchData;
};

// The shared empty block and a static string that points at it.
CStringData* GetEmptyStringData();
const CString& GetEmptyString();

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);

// Exact byte equality; the extra overloads keep "text" == s from comparing pointers.
bool operator==(const CString& a, const char* b);
bool operator==(const CString& a, const CString& b);
bool operator==(const char* a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator!=(const char* a, const CString& b);

CString Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Signed decimal text; the buffer needs 12 bytes.
void IntToBuffer(int value, char* out);
CString IntToString(int value);

// Conversions through the 8-bit code page. new[] arrays of strlen + 1 (wcslen + 1)
// elements, zero-filled; the caller frees them with delete[]. NULL gives NULL.
wchar_t* AnsiToWideAlloc(const char* text);
char* WideToAnsiAlloc(const wchar_t* text);

bool IsDigitChar(int c);
bool IsSpaceChar(int c);   // blank, tab, CR, LF only
int StrToIntSimple(const char* text);   // wraps on overflow
void StrLowerInPlace(char* text);        // ASCII letters only
void StrUpperInPlace(char* text);

// --- containers ---

// Thrown by value, after an assertion, by the containers on a bad index, a negative
// size, a NULL map key, appending an array to itself or a zero-sized block request.
class CBadException {};

// Reports the failed check through the assertion seam, then throws CBadException.
[[noreturn]] void ThrowBadException(const char* file, int line, const char* expr);
#define ENGINE_CHECK_THROW(cond) ((cond) ? (void)0 : ThrowBadException(__FILE__, __LINE__, #cond))

// Growth step when an array outgrows its block: the grow-by, or else size / 8
// clamped to 4..1024. The new capacity is max(needed, capacity + step); throws on overflow.
int GrowArrayCapacity(int size, int capacity, int growBy, int needed);

// Growable array of CString. Slots past the size are raw memory.
class CStringArray {
public:
    CStringArray() = default;
    ~CStringArray();
    CStringArray(const CStringArray&) = delete;
    CStringArray& operator=(const CStringArray&) = delete;

    int GetSize() const { return m_nSize; }
    int GetUpperBound() const { return m_nSize - 1; }
    bool IsEmpty() const { return m_nSize == 0; }

    // Outside 0..size-1: assertion, then CBadException.
    const CString& GetAt(int i) const;
    const CString& operator[](int i) const { return GetAt(i); }
    CString& ElementAt(int i);
    CString& operator[](int i) { return ElementAt(i); }
    void SetAt(int i, const char* value);
    void SetAt(int i, const CString& value);

    void SetSize(int n, int growBy = -1);
    void RemoveAll() { SetSize(0, -1); }
    void FreeExtra();
    void SetAtGrow(int i, const char* value);
    void SetAtGrow(int i, const CString& value);
    int Add(const char* value);
    int Add(const CString& value);
    int Append(const CStringArray& src);   // returns the old size
    void Copy(const CStringArray& src);
    void InsertAt(int i, const char* value, int count = 1);
    void InsertAt(int i, const CString& value, int count = 1);
    void InsertAt(int i, const CStringArray* src);
    void RemoveAt(int i, int count = 1);

private:
    void checkIndex(int i) const;

    CString* m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;
};

// Exchange sort in byte order (strcmp): ascending when order > 0, else descending.
// Returns the element count - 1.
int SortStrings(CStringArray& strings, int order);

// True when the texts are equal byte for byte.
bool CompareElements(const CString* a, const char* b);

// Map iteration position; NULL after the last entry.
struct CPositionTag;
using POSITION = CPositionTag*;

// h = h * 33 + each byte as a signed char, in unsigned 32-bit arithmetic.
// A NULL key: assertion, then CBadException.
unsigned HashKey(const char* key);

// Block allocator behind the maps: a link to the next block, then n elements.
struct CPlex {
    CPlex* pNext;
    void* data() { return this + 1; }
    // n or elementSize 0: assertion, then CBadException.
    static CPlex* Create(CPlex*& head, std::size_t n, std::size_t elementSize);
    void FreeDataChain();   // frees this block and every one after it
};

// Chained hash map keyed by CString (case-sensitive). Entries are carved from CPlex
// blocks and reused through a free list; new entries go to the head of their bucket,
// so iteration runs bucket by bucket, newest first. The table and the blocks are
// freed when the map empties; the bucket count stays.
template <class Value>
class CMapStringTo {
public:
    struct CAssoc {
        CString key;
        Value value;
        CAssoc* pNext;
        unsigned nHashValue;   // full hash, not reduced to the bucket
    };
    using CPair = CAssoc;

    explicit CMapStringTo(int blockSize = 10);
    ~CMapStringTo();
    CMapStringTo(const CMapStringTo&) = delete;
    CMapStringTo& operator=(const CMapStringTo&) = delete;

    void InitHashTable(unsigned size, bool allocNow = true);
    unsigned GetHashTableSize() const { return m_nHashTableSize; }
    int GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

    bool Lookup(const char* key, Value& value) const;
    bool LookupKey(const char* key, const char*& storedKey) const;
    CPair* PLookup(const char* key);
    Value& operator[](const char* key);
    void SetAt(const char* key, const Value& value) { (*this)[key] = value; }
    bool RemoveKey(const char* key);
    void RemoveAll();

    POSITION GetStartPosition() const;
    void GetNextAssoc(POSITION& pos, CString& key, Value& value) const;
    CPair* PGetFirstAssoc();
    CPair* PGetNextAssoc(const CPair* entry);

private:
    CAssoc* findAssoc(const char* key, unsigned& bucket, unsigned& hash) const;
    CAssoc* newAssoc(const char* key);
    void freeAssoc(CAssoc* assoc);
    CAssoc* firstFrom(unsigned bucket) const;

    CAssoc** m_pHashTable = nullptr;
    unsigned m_nHashTableSize = 17;
    int m_nCount = 0;
    void* m_pFreeList = nullptr;   // raw slots linked through their first word
    CPlex* m_pBlocks = nullptr;
    int m_nBlockSize = 10;
};

extern template class CMapStringTo<CString>;
extern template class CMapStringTo<void*>;

// Classes rather than aliases, so that other headers can forward-declare them.
class CMapStringToString : public CMapStringTo<CString> {
public:
    using CMapStringTo::CMapStringTo;
};

// Values are pointer-sized (a pointer, or an int stored in one).
class CMapStringToPtr : public CMapStringTo<void*> {
public:
    using CMapStringTo::CMapStringTo;
};
