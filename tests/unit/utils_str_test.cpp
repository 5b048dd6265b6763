// CString: sharing, writing, searching, formatting and the free text helpers.
#include "utils_str.h"

#include "codepage.h"
#include "utils_assert.h"

#include "assert_counting_test.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

class CStringTest : public AssertCountingTest {};

// Formats without the compiler's printf checks, for MSVC spellings and deliberate misuse.
CString formatUnchecked(const char* fmt, ...)
{
    CString result;
    va_list args;
    va_start(args, fmt);
    result.FormatV(fmt, args);
    va_end(args);
    return result;
}

std::string str(const CString& s)
{
    return std::string(static_cast<const char*>(s), std::size_t(s.GetLength()));
}

} // namespace

TEST_F(CStringTest, EmptyStringsShareTheStaticBlock)
{
    std::vector<CString> empties;
    empties.emplace_back();
    empties.emplace_back(nullptr);
    empties.emplace_back("");
    empties.emplace_back("abc", 0);
    empties.emplace_back('x', 0);
    empties.emplace_back(empties[0]);
    for (const CString& s : empties) {
        EXPECT_EQ(s.GetData(), GetEmptyStringData());
        EXPECT_EQ(s.GetLength(), 0);
        EXPECT_STREQ(s, "");
    }
    EXPECT_EQ(GetEmptyStringData()->nRefs, -1);
    EXPECT_EQ(GetEmptyString().GetData(), GetEmptyStringData());
}

TEST_F(CStringTest, CopiesShareUntilOneIsWritten)
{
    const std::vector<std::pair<const char*, std::function<void(CString&)>>> writes = {
        {"SetAt", [](CString& s) { s.SetAt(0, 'X'); }},
        {"append", [](CString& s) { s += "!"; }},
        {"append char", [](CString& s) { s += '!'; }},
        {"MakeLower", [](CString& s) { s.MakeLower(); }},
        {"GetBuffer", [](CString& s) { s.GetBuffer()[0] = 'X'; }},
        {"TrimLeft", [](CString& s) { s.TrimLeft(); s.SetAt(0, 'X'); }},
        {"TrimRight set", [](CString& s) { s.TrimRight("e"); }},
        {"Replace", [](CString& s) { s.Replace("B", "zz"); }},
        {"Replace shrinking", [](CString& s) { s.Replace("Bc", "-"); }},
        {"ReplaceChars", [](CString& s) { s.ReplaceChars("a", 'q'); }},
        {"assign text", [](CString& s) { s = "other"; }},
        {"Format", [](CString& s) { s.Format("%d", 7); }},
        {"ReleaseBuffer", [](CString& s) { s.ReleaseBuffer(1); }},
    };
    for (const auto& [name, write] : writes) {
        CString original("aBcdE");
        CString copy(original);
        EXPECT_EQ(copy.GetData(), original.GetData()) << name;
        EXPECT_EQ(original.GetData()->nRefs, 2) << name;
        write(copy);
        EXPECT_EQ(str(original), "aBcdE") << name;
        EXPECT_NE(copy.GetData(), original.GetData()) << name;
        EXPECT_EQ(original.GetData()->nRefs, 1) << name;
    }
    EXPECT_EQ(assertCount(), 0);
}

TEST_F(CStringTest, AssignmentSharesAndReleases)
{
    CString a("first"), b("second");
    b = a;
    EXPECT_EQ(a.GetData(), b.GetData());
    EXPECT_EQ(a.GetData()->nRefs, 2);
    b = b;
    EXPECT_EQ(a.GetData()->nRefs, 2);

    // Assigning an empty string keeps an unshared block, now of length 0.
    CString owner("owned text");
    CStringData* block = owner.GetData();
    owner = CString();
    EXPECT_EQ(owner.GetData(), block);
    EXPECT_EQ(owner.GetLength(), 0);
    EXPECT_EQ(owner.GetAllocLength(), 10);
    // A shared one becomes empty and leaves the other copy alone.
    a = CString();
    EXPECT_EQ(a.GetData(), GetEmptyStringData());
    EXPECT_EQ(str(b), "first");
    EXPECT_EQ(b.GetData()->nRefs, 1);

    // Assigning a tail of the string's own text.
    CString self("abcdef");
    self = static_cast<const char*>(self) + 2;
    EXPECT_EQ(str(self), "cdef");
}

TEST_F(CStringTest, AppendingIncludingToItself)
{
    CString s("abc");
    s += s;
    EXPECT_EQ(str(s), "abcabc");
    s += static_cast<const char*>(s);
    EXPECT_EQ(str(s), "abcabcabcabc");
    EXPECT_EQ(s.GetAllocLength(), 12);   // exact size, no spare room

    CString roomy("xy");
    roomy.GetBuffer(10);
    roomy.ReleaseBuffer();
    CStringData* block = roomy.GetData();
    roomy += roomy;
    EXPECT_EQ(str(roomy), "xyxy");
    EXPECT_EQ(roomy.GetData(), block);   // fitted in place

    CString sum = CString("ab") + "cd";
    EXPECT_EQ(str(sum), "abcd");
    EXPECT_EQ(sum.GetAllocLength(), 4);
    EXPECT_EQ(str("<" + CString("x") + CString(">")), "<x>");
    EXPECT_EQ((CString() + "").GetData(), GetEmptyStringData());

    CString withNul("a\0b", 3);
    CString joined = withNul + withNul;
    EXPECT_EQ(joined.GetLength(), 6);
}

TEST_F(CStringTest, ComparisonIsExactByteOrder)
{
    CString s("abc");
    EXPECT_TRUE(s == "abc");
    EXPECT_TRUE("abc" == s);
    EXPECT_TRUE(s == CString("abc"));
    EXPECT_TRUE(s != "ABC");
    EXPECT_TRUE("abd" != s);
    EXPECT_FALSE(s != CString("abc"));
    EXPECT_EQ(s.Compare("abd"), -1);
    EXPECT_EQ(s.Compare("abc"), 0);
    EXPECT_EQ(s.Compare("ab"), 1);
    EXPECT_EQ(CString("\xE9").Compare("z"), 1);   // bytes compare unsigned
    EXPECT_EQ(CString().Compare(nullptr), 0);
}

TEST_F(CStringTest, FindEdges)
{
    const CString s("abcabc");
    struct Case { const char* sub; int start; int expected; };
    const Case subs[] = {
        {"", 3, 3}, {"bc", 7, -1}, {"bc", -1, -1}, {"bc", 0, 1}, {"bc", 2, 4},
        {"bcx", 0, -1}, {"c", 6, -1}, {"", 6, 6}, {"abcabcd", 0, -1},
    };
    for (const Case& c : subs)
        EXPECT_EQ(s.Find(c.sub, c.start), c.expected) << c.sub << " from " << c.start;
    struct CharCase { char ch; int start; int expected; };
    const CharCase chars[] = {{'a', 0, 0}, {'a', 1, 3}, {'c', 6, -1}, {'z', 0, -1}, {'a', -1, -1}, {'\0', 0, -1}};
    for (const CharCase& c : chars)
        EXPECT_EQ(s.Find(c.ch, c.start), c.expected) << c.ch << " from " << c.start;
}

TEST_F(CStringTest, ReplaceCounts)
{
    struct Case { const char* text; const char* from; const char* to; int count; const char* result; };
    const Case cases[] = {
        {"aaa", "a", "aa", 3, "aaaaaa"},
        {"aaa", "", "x", 0, "aaa"},
        {"abcabc", "bc", "", 2, "aa"},
        {"abab", "ab", "ba", 2, "baba"},
        {"xyz", "q", "r", 0, "xyz"},
        {"a.b.c", ".", "::", 2, "a::b::c"},
        {"aaaa", "aa", "a", 2, "aa"},
    };
    for (const Case& c : cases) {
        CString s(c.text);
        EXPECT_EQ(s.Replace(c.from, c.to), c.count) << c.text;
        EXPECT_EQ(str(s), c.result) << c.text;
        EXPECT_EQ(s.GetLength(), int(std::strlen(c.result)));
    }

    // No match leaves a shared block shared; a shrinking replace keeps the capacity.
    CString original("hello");
    CString copy(original);
    EXPECT_EQ(copy.Replace("z", "y"), 0);
    EXPECT_EQ(copy.GetData(), original.GetData());
    CString owned("one two two");
    EXPECT_EQ(owned.Replace("two", "2"), 2);
    EXPECT_EQ(owned.GetAllocLength(), 11);
    // Growing within the capacity works in place.
    EXPECT_EQ(owned.Replace("2", "22"), 2);
    EXPECT_EQ(str(owned), "one 22 22");
    EXPECT_EQ(owned.GetAllocLength(), 11);

    // Matches past an embedded NUL are replaced too.
    CString nul("a\0a", 3);
    EXPECT_EQ(nul.Replace("a", "bb"), 2);
    EXPECT_EQ(str(nul), std::string("bb\0bb", 5));

    // Arguments taken from the string itself.
    CString self("abcabc");
    EXPECT_EQ(self.Replace(static_cast<const char*>(self) + 4, static_cast<const char*>(self)), 2);
    EXPECT_EQ(str(self), "aabcabcaabcabc");
}

TEST_F(CStringTest, SubstringsClampAndNeverShare)
{
    const CString s("abcdef");
    struct Case { int first; int count; const char* expected; };
    const Case mids[] = {{-2, 3, "abc"}, {4, 10, "ef"}, {9, 1, ""}, {6, 2, ""}, {1, -4, ""}, {0, 6, "abcdef"}};
    for (const Case& c : mids)
        EXPECT_EQ(str(s.Mid(c.first, c.count)), c.expected) << c.first << "," << c.count;
    EXPECT_EQ(str(s.Mid(2)), "cdef");
    EXPECT_EQ(str(s.Mid(-3)), "abcdef");
    EXPECT_EQ(str(s.Mid(9)), "");
    EXPECT_NE(s.Mid(0).GetData(), s.GetData());
    EXPECT_EQ(str(s.Left(2)), "ab");
    EXPECT_EQ(str(s.Left(-1)), "");
    EXPECT_EQ(str(s.Left(99)), "abcdef");
    EXPECT_EQ(str(s.Right(2)), "ef");
    EXPECT_EQ(str(s.Right(99)), "abcdef");
    EXPECT_EQ(str(s.SpanIncluding("cba")), "abc");
    EXPECT_EQ(str(s.SpanExcluding("ed")), "abc");
    EXPECT_EQ(str(s.SpanExcluding("xyz")), "abcdef");
}

TEST_F(CStringTest, TrimOnlyBlankTabCrLf)
{
    struct Case { const char* text; const char* left; const char* right; };
    const Case cases[] = {
        {"ab \t\r\n", "ab \t\r\n", "ab"},
        {" \t\r\nab", "ab", " \t\r\nab"},
        {"ab\v", "ab\v", "ab\v"},
        {"\fab", "\fab", "\fab"},
        {"   ", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        CString left(c.text), right(c.text);
        left.TrimLeft();
        right.TrimRight();
        EXPECT_EQ(str(left), c.left) << c.text;
        EXPECT_EQ(str(right), c.right) << c.text;
    }
    CString set("xxaxbyy");
    set.TrimLeft("x");
    set.TrimRight("y");
    EXPECT_EQ(str(set), "axb");
    set.TrimLeft("");
    EXPECT_EQ(str(set), "axb");
    CString capacity("  padded  ");
    capacity.TrimLeft();
    capacity.TrimRight();
    EXPECT_EQ(str(capacity), "padded");
    EXPECT_EQ(capacity.GetAllocLength(), 10);
}

TEST_F(CStringTest, CaseAndCharacterEdits)
{
    CString s("MiXeD 123 \xC9");
    s.MakeLower();
    EXPECT_EQ(str(s), "mixed 123 \xC9");   // only A-Z change
    char buffer[] = "abc XYZ \xE9";
    StrUpperInPlace(buffer);
    EXPECT_STREQ(buffer, "ABC XYZ \xE9");
    StrLowerInPlace(buffer);
    EXPECT_STREQ(buffer, "abc xyz \xE9");
    CString chars("a-b_c-d");
    EXPECT_EQ(chars.ReplaceChars("-_", ' '), 3);
    EXPECT_EQ(str(chars), "a b c d");
}

TEST_F(CStringTest, OutOfRangeAccessAssertsWithoutTouchingMemory)
{
    CString s("abc");
    CString copy(s);
    EXPECT_EQ(s.GetAt(3), 0);
    EXPECT_EQ(s.GetAt(-1), 0);
    EXPECT_EQ(assertCount(), 2);
    s.SetAt(3, 'x');
    s.SetAt(-1, 'x');
    EXPECT_EQ(assertCount(), 4);
    EXPECT_EQ(s.GetData(), copy.GetData());   // nothing was unshared or written
    EXPECT_EQ(s.GetAt(2), 'c');
}

TEST_F(CStringTest, BufferWritesAndClampedRelease)
{
    CString s("abc");
    char* buffer = s.GetBuffer(10);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(s.GetAllocLength(), 10);
    std::strcpy(buffer, "abcdefgh");
    s.ReleaseBuffer();
    EXPECT_EQ(str(s), "abcdefgh");
    s.ReleaseBuffer(3);
    EXPECT_EQ(str(s), "abc");
    EXPECT_EQ(s.GetAllocLength(), 10);
    s.ReleaseBuffer(50);   // past the capacity: asserted and clamped
    EXPECT_EQ(assertCount(), 1);
    EXPECT_EQ(s.GetLength(), 10);
    EXPECT_EQ(static_cast<const char*>(s)[10], 0);

    CString empty;
    EXPECT_NE(empty.GetBuffer(0), nullptr);
    empty.ReleaseBuffer();
    EXPECT_EQ(empty.GetData(), GetEmptyStringData());
    EXPECT_TRUE(empty.AllocBeforeWrite(5));
    EXPECT_EQ(empty.GetAllocLength(), 5);
}

TEST_F(CStringTest, FormatEstimatesAndOutput)
{
    const char* nullText = nullptr;
    CString s = formatUnchecked("%s:%5d", nullText, 42);
    EXPECT_EQ(str(s), "(null):   42");
    EXPECT_EQ(s.GetAllocLength(), 39);

    struct Case { std::string expected; CString actual; };
    const std::vector<Case> cases = {
        {"-2147483648", Format("%d", INT_MIN)},
        {"x|y", Format("%c|%c", 'x', 'y')},
        {"    z", Format("%5c", 'z')},
        {"-9223372036854775807|18446744073709551615", formatUnchecked("%I64d|%I64u", -9223372036854775807LL, 18446744073709551615ULL)},
        {"12345678901|7", Format("%lld|%zu", 12345678901LL, std::size_t(7))},
        {"      ab|ab", Format("%8.2s|%.*s", "abcdef", 2, "abcdef")},
        {"0x1f|  1.50|100%", Format("%#x|%*.2f|%d%%", 31, 6, 1.5, 100)},
        {"wide", formatUnchecked("%S", L"wide")},
        {"narrow", formatUnchecked("%hs", "narrow")},
        {"W|n", formatUnchecked("%C|%hc", L'W', 'n')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(c.actual), c.expected);
    EXPECT_EQ(assertCount(), 0);
}

// The block keeps the estimate as its capacity, so each estimate rule shows there.
TEST_F(CStringTest, FormatCapacityIsTheEstimate)
{
    struct Case { const char* what; CString formatted; int capacity; };
    const Case cases[] = {
        {"string length", Format("%s", "abc"), 3},
        {"empty string counts 1", Format("%s", ""), 1},
        {"string width", Format("%5s", "ab"), 5},
        {"string precision", Format("%.1s", "abc"), 1},
        {"integer", Format("%d", 1), 32},
        {"integer width + precision", Format("%30.20d", 1), 50},
        {"exponent", Format("%e", 1.0), 128},
        {"exponent width", Format("%150e", 1.0), 150},
        {"fixed: printed with precision + 6", Format("%.2f", 1.5), 10},
        {"pointer", Format("%p", static_cast<void*>(nullptr)), 32},
        {"alternate form adds 2", Format("%#x", 1), 34},
        {"percent", Format("ab%%"), 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.formatted.GetAllocLength(), c.capacity) << c.what;
    EXPECT_EQ(assertCount(), 0);
}

TEST_F(CStringTest, FormatNeverWritesPastItsBlock)
{
    // Each of these prints more than the estimate; the text must still come out whole.
    double big = 1e300;
    CString e = Format("%.300e", big);
    EXPECT_EQ(e.GetLength(), int(std::strlen("1.") + 300 + std::strlen("e+300")));
    CString f = Format("%f", big);
    EXPECT_EQ(f.GetLength(), 301 + 7);
    const char* unsupported = "%y%s";   // unknown conversion: asserted, printed literally
    CString odd = formatUnchecked(unsupported, "tail");
    EXPECT_GE(assertCount(), 1);
    EXPECT_EQ(str(odd).substr(0, 2), "%y");

    // Formatting a string from its own text.
    CString self("abc");
    self.Format("%s-%s-%s", static_cast<const char*>(self), static_cast<const char*>(self),
                static_cast<const char*>(self));
    EXPECT_EQ(str(self), "abc-abc-abc");
    CString roomy;
    roomy.GetBuffer(64);
    roomy.ReleaseBuffer(0);
    roomy = "xy";
    roomy.Format("%s%s", static_cast<const char*>(roomy), static_cast<const char*>(roomy));
    EXPECT_EQ(str(roomy), "xyxy");

    CString trailing = Format("%s", "");
    trailing = formatUnchecked("100%");
    EXPECT_EQ(str(trailing), "100%");
}

TEST_F(CStringTest, IntegerText)
{
    const std::pair<int, const char*> cases[] = {
        {0, "0"}, {7, "7"}, {-1, "-1"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}, {1000, "1000"},
    };
    for (const auto& [value, text] : cases) {
        char buffer[12];
        IntToBuffer(value, buffer);
        EXPECT_STREQ(buffer, text);
        EXPECT_EQ(str(IntToString(value)), text);
    }
    const std::pair<const char*, int> parses[] = {
        {" \t\r\n42", 42}, {"-17x", -17}, {"+5", 5}, {"x", 0}, {"", 0}, {"\v3", 0},
        {"2147483648", INT_MIN}, {"- 3", 0},
    };
    for (const auto& [text, value] : parses)
        EXPECT_EQ(StrToIntSimple(text), value) << text;
    EXPECT_TRUE(IsSpaceChar('\r'));
    EXPECT_FALSE(IsSpaceChar('\v'));
    EXPECT_TRUE(IsDigitChar('9'));
    EXPECT_FALSE(IsDigitChar('a'));
}

TEST_F(CStringTest, WideConversionsUseTheCodePage)
{
    ASSERT_TRUE(platform::PinAnsiCodePage("CP1252"));
    wchar_t* wide = AnsiToWideAlloc("caf\xE9 \x80");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::wstring(wide), L"caf\u00e9 \u20ac");
    delete[] wide;
    char* ansi = WideToAnsiAlloc(L"\u00e9\u0416x");
    ASSERT_NE(ansi, nullptr);
    EXPECT_STREQ(ansi, "\xE9?x");   // Cyrillic is not on this page
    delete[] ansi;
    EXPECT_EQ(AnsiToWideAlloc(nullptr), nullptr);
    platform::PinAnsiCodePage(nullptr);
}

TEST_F(CStringTest, ReferenceCountSurvivesThreads)
{
    CString shared("shared between threads");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&shared] {
            for (int i = 0; i < 20000; ++i) {
                CString copy(shared);
                CString another = copy;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(shared.GetData()->nRefs, 1);
}
