// CString: the engine's 8-bit, reference-counted, copy-on-write text type, and the
// small free helpers that go with it.
#pragma once

#include <cstdarg>

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
    void Format(const char* fmt, ...);
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

CString Format(const char* fmt, ...);

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
