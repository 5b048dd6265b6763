// Code-page tables built through iconv, one 256-entry table per page.
#include "codepage.h"

#include <iconv.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

constexpr char DefaultChar = '?';
constexpr int MaxUnassignedBytes = 64;

struct CCodePage {
    std::string Name;
    std::array<char32_t, 256> ToUnicode;
    std::vector<std::pair<char32_t, unsigned char>> FromUnicode;   // upper half, sorted
};

// Decodes one byte; false when the page has no character for it.
bool decodeByte(iconv_t cd, unsigned char byte, char32_t& out)
{
    char in[1] = {char(byte)};
    char32_t result = 0;
    char* inPtr = in;
    size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(&result);
    size_t outLeft = sizeof result;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || outLeft != 0)
        return false;
    out = result;
    return true;
}

std::unique_ptr<CCodePage> buildCodePage(const char* name)
{
    iconv_t cd = iconv_open("UTF-32LE", name);
    if (cd == iconv_t(-1))
        return nullptr;
    auto page = std::make_unique<CCodePage>();
    page->Name = name;
    // A single-byte page keeps ASCII and leaves some bytes unassigned (CP1253
    // has 17), which Windows maps to the same code point; UTF-8 and the like
    // decode no upper-half byte alone and fail here.
    int unassigned = 0;
    bool keepsAscii = true;
    for (int c = 0; c < 256; ++c) {
        char32_t u = char32_t(c);
        if (!decodeByte(cd, (unsigned char)c, u)) {
            u = char32_t(c);
            ++unassigned;
        }
        if (c < 0x80 && u != char32_t(c))
            keepsAscii = false;
        page->ToUnicode[c] = u;
    }
    iconv_close(cd);
    if (!keepsAscii || unassigned > MaxUnassignedBytes)
        return nullptr;
    for (int c = 0x80; c < 256; ++c)
        page->FromUnicode.push_back({page->ToUnicode[c], (unsigned char)c});
    std::sort(page->FromUnicode.begin(), page->FromUnicode.end());
    return page;
}

const char* localeLanguage()
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "";
}

std::mutex PagesLock;
std::map<std::string, std::unique_ptr<CCodePage>> Pages;   // built pages live for the run
std::atomic<const CCodePage*> Current{nullptr};

const CCodePage* findOrBuild(const char* name)
{
    std::lock_guard<std::mutex> lock(PagesLock);
    auto it = Pages.find(name);
    if (it != Pages.end())
        return it->second.get();
    std::unique_ptr<CCodePage> page = buildCodePage(name);
    const CCodePage* result = page.get();
    if (page)
        Pages.emplace(name, std::move(page));
    return result;
}

const CCodePage& currentPage()
{
    const CCodePage* page = Current.load(std::memory_order_acquire);
    if (page)
        return *page;
    page = findOrBuild(platform::CodePageForLanguage(localeLanguage()));
    if (!page)
        page = findOrBuild("CP1252");
    if (!page)
        std::abort();   // glibc without its gconv modules cannot run the engine
    const CCodePage* expected = nullptr;
    Current.compare_exchange_strong(expected, page);
    return *Current.load(std::memory_order_acquire);
}

char toAnsi(const CCodePage& page, char32_t c)
{
    if (c < 0x80)
        return char(c);
    auto it = std::lower_bound(page.FromUnicode.begin(), page.FromUnicode.end(),
                               std::make_pair(c, (unsigned char)0));
    if (it != page.FromUnicode.end() && it->first == c)
        return char(it->second);
    return DefaultChar;
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

} // namespace

namespace platform {

const char* CodePageForLanguage(std::string_view locale)
{
    std::string_view lang = locale.substr(0, locale.find_first_of("_.@"));
    auto is = [lang](std::initializer_list<const char*> codes) {
        for (const char* code : codes)
            if (lang.size() == std::strlen(code) && strncasecmp(lang.data(), code, lang.size()) == 0)
                return true;
        return false;
    };
    if (is({"ru", "uk", "be", "bg", "sr", "mk"}))
        return "CP1251";
    if (is({"cs", "pl", "hu", "sk", "sl", "hr", "ro"}))
        return "CP1250";
    if (is({"el"}))
        return "CP1253";
    if (is({"tr"}))
        return "CP1254";
    return "CP1252";
}

const char* AnsiCodePage()
{
    return currentPage().Name.c_str();
}

bool PinAnsiCodePage(const char* name)
{
    if (!name) {
        Current.store(nullptr, std::memory_order_release);
        return true;
    }
    const CCodePage* page = findOrBuild(name);
    if (!page)
        return false;
    Current.store(page, std::memory_order_release);
    return true;
}

char32_t AnsiCharToUnicode(unsigned char c)
{
    return currentPage().ToUnicode[c];
}

int UnicodeToAnsiChar(char32_t c)
{
    char result = toAnsi(currentPage(), c);
    if (result == DefaultChar && c != char32_t(DefaultChar))
        return -1;
    return (unsigned char)result;
}

std::u16string AnsiToUtf16(std::string_view text)
{
    const CCodePage& page = currentPage();
    std::u16string result;
    result.reserve(text.size());
    for (char c : text) {
        char32_t u = page.ToUnicode[(unsigned char)c];
        result.push_back(u <= 0xFFFF ? char16_t(u) : char16_t(DefaultChar));
    }
    return result;
}

std::string Utf16ToAnsi(std::u16string_view text)
{
    const CCodePage& page = currentPage();
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (isHighSurrogate(u) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            ++i;   // no single-byte page holds a character beyond the first plane
            result.push_back(DefaultChar);
        } else if (isHighSurrogate(u) || isLowSurrogate(u)) {
            result.push_back(DefaultChar);
        } else {
            result.push_back(toAnsi(page, u));
        }
    }
    return result;
}

std::wstring AnsiToWide(std::string_view text)
{
    const CCodePage& page = currentPage();
    std::wstring result;
    result.reserve(text.size());
    for (char c : text)
        result.push_back(wchar_t(page.ToUnicode[(unsigned char)c]));
    return result;
}

std::string WideToAnsi(std::wstring_view text)
{
    const CCodePage& page = currentPage();
    std::string result;
    result.reserve(text.size());
    for (wchar_t w : text)
        result.push_back(toAnsi(page, char32_t(w)));
    return result;
}

} // namespace platform
