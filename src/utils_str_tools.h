// Text tools above CString: base64, percent-encoding, UTF-8 and the 8-bit code page,
// hex text, splitting, int lists, trimming and replacing, safe names, wildcards.
#pragma once

#include "utils_str.h"

#include <irrArray.h>
#include <irrString.h>
#include <irrTypes.h>

#include <cstdint>

// Base64 with the standard ("+/") or the URL-safe ("_-") alphabet; "=" padding in both.
// Made on the stack for one job.
class CBase64 {
public:
    explicit CBase64(bool urlSafe = false);
    virtual ~CBase64();
    // Any byte outside the alphabet other than '=', CR and LF empties the result.
    // With a buffer the bytes go there (the caller sizes it) and the result is empty.
    virtual CString Decode(const char* text, int length = -1, unsigned char* buffer = nullptr);
    virtual CString Encode(const char* bytes, int length = -1);

private:
    int m_nInputLength = 0;
    uint32_t m_nBitCount = 0;
    uint32_t m_nBits = 0;
    const unsigned char* m_pInput = nullptr;
    CString m_Alphabet;
};

CString UrlEncode(const char* text);   // every byte as "%XX"
CString UrlDecode(const char* text);
int HexPairValue(char high, char low);   // no validation
CString BytesToHex(const unsigned char* bytes, int count);

// Malformed or 4-byte sequences give '?'; a sequence cut off by the end is dropped.
CString Utf8ToAnsi(const char* text);
CString AnsiToUtf8(const char* text);
CString WideToString(const wchar_t* text);   // the low byte of each character
irr::core::stringw AnsiToWideString(const char* text, int maxLength = -1);

irr::core::array<irr::core::stringc> SplitString(const char* text, char separator, bool keepEmpty);
// Sections that each begin with the marker, trimmed, empty ones dropped.
irr::core::array<irr::core::stringc> SplitSections(const char* text, const char* marker);
irr::core::array<irr::s32> ParseIntList(const char* text, char separator, bool keepEmpty, bool hex);

// Each is false unless the text holds "\n" + key + "="; a first line never matches.
bool ReadKeyString(CString& out, const char* text, const char* key);
bool ReadKeyInt(int& out, const char* text, const char* key);
bool ReadKeyFloat(float& out, const char* text, const char* key);
bool ReadKeyIntArray(irr::core::array<irr::s32>& out, const char* text, const char* key);
void GetKeyIntList(const char* text, const char* key, irr::core::array<irr::s32>& out, const char* end);
void GetKeyStringList(const char* text, const char* key, irr::core::array<irr::core::stringc>& out,
                      const char* end);
void AppendKeyIntList(CString& text, const char* key, const irr::core::array<irr::s32>& values);
CString JoinInts(const irr::core::array<irr::s32>& values);

// A null set trims blank, tab, CR and LF.
void TrimChars(CString& text, const char* set);
void TrimIrrString(irr::core::stringc& text);
int ReplaceCharsInBuffer(char* buffer, const char* set, char ch);
char* ReplaceCharInPlace(char* buffer, char from, char to);   // returns the terminator's address
bool MakeSafeName(CString& name, const CString& extra);
// Each search restarts at the beginning, so a replacement holding the search text is found again.
int ReplaceN(CString& text, const char* search, const char* replacement, int maxCount);
bool CutBetweenMarkers(const char* start, const char* end, CString& text);
CString MakeTitleCase(const char* text, bool dropSeparators);
bool StartsWith(const char* text, const char* prefix);
CString ToForwardSlashes(const CString& path);
void AppendUrlQuery(CString& url, const CString& parameter);

// Whole-text match: '*' any run, '?' any one byte; case matters.
bool WildcardMatch(const char* text, const char* pattern);
// Patterns separated by ';' (blanks and line breaks before a pattern are skipped).
bool MatchWildcardList(const char* text, const char* list);

// Warns content authors about texture paths that miss the cache: slashes, doubled
// backslashes, capitals outside the program folder, surrounding blanks. The program
// folder is removed first, whatever its case and separators.
void CheckTexturePath(const char* path);
