// The run's 8-bit "ANSI" code page and conversions between it and
// Unicode (UTF-16 as char16_t, wide text as 32-bit wchar_t).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The iconv name of the code page that Windows would use for a locale
// language code ("ru", "pl_PL.UTF-8", ...): CP1251, CP1250, CP1253, CP1254,
// else CP1252.
const char* CodePageForLanguage(std::string_view locale);

// The run's code page: pinned by PinAnsiCodePage, else chosen once from
// LC_ALL, LC_CTYPE or LANG (the first one set).
const char* AnsiCodePage();

// Fixes the code page (tests, or a setting); null returns to the locale's
// choice. False, with nothing changed, when iconv does not know the name
// or it is not a single-byte page.
bool PinAnsiCodePage(const char* name);

// One character each way. The reverse answers -1 when the page lacks it.
char32_t AnsiCharToUnicode(unsigned char c);
int UnicodeToAnsiChar(char32_t c);

// Whole texts. Characters the page lacks become the default character '?';
// a UTF-16 surrogate pair counts as one character. Invalid units ('\0'
// excepted) become '?' too.
std::u16string AnsiToUtf16(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

} // namespace platform
