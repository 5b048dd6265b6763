// The engine's own number and colour parsers, XML escapes and string checksums.
// Numbers never skip leading blanks; integers saturate at 2147483647.
#pragma once

#include "utils_str.h"

#include <cstdint>

// Optional sign, then decimal digits; `end` gets the first unread character.
int StrToIntCore(const char* text, const char** end = nullptr);
// One '+' skipped, one '-' sets the sign, then StrToIntCore: "+-5" -> -5, "--5" -> 5.
int StrToInt(const char* text);
// The C library's atol: skips blanks; saturates to the 32-bit range.
int StrToLong(const char* text);

float ParseDigits(const char* text, const char** end = nullptr);
// [-]digits[.digits][(e|E)[sign]digits]; returns the position after the number (NULL for NULL).
const char* ParseFloat(const char* text, float* out);
float StrToFloatCore(const char* text);
float StrToFloat(const char* text);   // one '+' skipped
float PowF(float base, float exponent);
// A float with an optional "px" suffix scaled by the manifest's default pixel size.
float ParseLength(const char* text);
// Decimal, "0x" hex, "&#x" / "&#" entities, '#' hex; hex = the whole text is hex digits.
int ParseIntAnyBase(const char* text, bool hex);
// "#rrggbb" or a decimal number, as a COLORREF: red in the low byte.
uint32_t ParseColorText(const CString& text);

// 0 text, 1 integer, 2 decimal number, 3 "true"/"false".
int ClassifyValueText(const char* text);
// Bit i set when the i-th character from the end is not '0'.
uint32_t BitsFromText(const char* text);

CString XmlUnescape(const char* text);
void XmlDecodeAngles(CString& text);
void XmlEncodeAngles(CString& text);

int StringChecksum(const char* text);
CString ChecksumToString(const char* text);
void Md5HexOfString(char out[33], const char* text);
uint32_t StringHash33(const char* text);
// "item7b" with delta 2 gives "item9b".
CString IncrementNameNumber(const CString& name, int delta);
