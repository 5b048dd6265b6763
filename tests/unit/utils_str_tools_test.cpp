#include "utils_str_tools.h"

#include "codepage.h"
#include "msgbox_recorder.h"
#include "utils_fs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace irr;

namespace {

std::string str(const CString& s) { return std::string((const char*)s, size_t(s.GetLength())); }

std::string joined(const core::array<core::stringc>& parts)
{
    std::string out;
    for (u32 i = 0; i < parts.size(); ++i)
        out += std::string(i ? "|" : "") + parts[i].c_str();
    return out;
}

std::string joinedInts(const core::array<s32>& values) { return str(JoinInts(values)); }

struct PinnedCodePage {
    explicit PinnedCodePage(const char* name) { EXPECT_TRUE(platform::PinAnsiCodePage(name)); }
    ~PinnedCodePage() { platform::PinAnsiCodePage(nullptr); }
};

}  // namespace

TEST(Base64, Rfc4648VectorsAndPadding)
{
    const struct { const char* plain; const char* encoded; } cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(str(CBase64(false).Encode(c.plain)), c.encoded) << c.plain;
        EXPECT_EQ(str(CBase64(true).Encode(c.plain)), c.encoded) << c.plain;
        EXPECT_EQ(str(CBase64(false).Decode(c.encoded)), c.plain) << c.encoded;
    }
    EXPECT_EQ(str(CBase64(false).Encode(nullptr)), "");
    EXPECT_EQ(str(CBase64(false).Encode("foobar", 4)), "Zm9vYg==");
}

TEST(Base64, UrlSafeAlphabetEndsUnderscoreDash)
{
    const char bytes[] = "\xFB\xFF";
    EXPECT_EQ(str(CBase64(false).Encode(bytes, 2)), "+/8=");
    EXPECT_EQ(str(CBase64(true).Encode(bytes, 2)), "_-8=");
    EXPECT_EQ(str(CBase64(true).Decode("_-8=")), bytes);
    // Characters of the other alphabet, blanks and tabs empty the whole result.
    EXPECT_EQ(str(CBase64(true).Decode("+/8=")), "");
    EXPECT_EQ(str(CBase64(false).Decode("_-8=")), "");
    EXPECT_EQ(str(CBase64(false).Decode("Zm9v YmFy")), "");
    EXPECT_EQ(str(CBase64(false).Decode("Zm9v\tYmFy")), "");
    // Padding and line breaks may stand anywhere; a set high bit is ignored.
    EXPECT_EQ(str(CBase64(false).Decode("Zm=9v\r\nYm=Fy")), "foobar");
    EXPECT_EQ(str(CBase64(false).Decode("\xDAg==")), "f");
}

TEST(Base64, BinaryRoundTripWithLineBreaks)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    CString encoded = CBase64(false).Encode(all.data(), int(all.size()));
    EXPECT_EQ(encoded.GetLength(), 344);
    EXPECT_EQ(str(CBase64(false).Decode(encoded)), all);

    // Wrapped at 76 characters, as mail and many tools write it.
    std::string wrapped;
    for (int i = 0; i < encoded.GetLength(); i += 76)
        wrapped += str(encoded.Mid(i, 76)) + "\r\n";
    EXPECT_EQ(str(CBase64(false).Decode(wrapped.c_str())), all);

    unsigned char buffer[4] = {0, 0, 0, 0xAA};
    EXPECT_EQ(str(CBase64(false).Decode("Zm9v", -1, buffer)), "");
    EXPECT_EQ(std::string((char*)buffer, 3), "foo");
    EXPECT_EQ(buffer[3], 0xAA);
}

TEST(UrlCoding, EncodeDecodeAndHex)
{
    EXPECT_EQ(str(UrlEncode("AZ")), "%41%5A");
    EXPECT_EQ(str(UrlEncode("\xE9 ")), "%E9%20");
    EXPECT_EQ(str(UrlEncode(nullptr)), "");
    const struct { const char* in; const char* out; } decodes[] = {
        {"a+b%41", "a bA"}, {"%", ""}, {"ab%", "ab"}, {"ab%4", "ab"}, {"%41%", "A"},
        {"%e9x", "\xE9x"}, {"100%25", "100%"},
    };
    for (const auto& c : decodes)
        EXPECT_EQ(str(UrlDecode(c.in)), c.out) << c.in;
    EXPECT_EQ(HexPairValue('f', 'F'), 255);
    EXPECT_EQ(HexPairValue('0', 'a'), 10);
    const unsigned char bytes[] = {0x00, 0xAB, 0x7F};
    EXPECT_EQ(str(BytesToHex(bytes, 3)), "00ab7f");
    EXPECT_EQ(str(BytesToHex(nullptr, 3)), "");
}

TEST(Utf8, ToAnsiAndBack)
{
    PinnedCodePage page("CP1252");
    const struct { const char* utf8; const char* ansi; } cases[] = {
        {"caf\xC3\xA9", "caf\xE9"},
        {"\xE2\x82\xAC", "\x80"},                // euro sign
        {"\xD0\x96!", "?!"},                     // not in this code page
        {"\xF0\x9F\x98\x80x", "?x"},             // 4-byte sequence
        {"a\xC3", "a"},                          // cut off by the end
        {"a\xE2\x82", "a"},
        {"a\xF0\x9F\x98", "a"},
        {"\xC3" "A", "?A"},                      // missing continuation byte
        {"\x80z", "\x80z"},                      // stray continuation byte passes
        {"\xC0\x80", ""},                        // code 0 adds nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(Utf8ToAnsi(c.utf8)), c.ansi) << c.utf8;
    EXPECT_EQ(str(Utf8ToAnsi(nullptr)), "");

    EXPECT_EQ(str(AnsiToUtf8("caf\xE9 \x80")), "caf\xC3\xA9 \xE2\x82\xAC");
    const char* roundTrip = "A\xE9\xFC\x80\x99 z";
    EXPECT_EQ(str(Utf8ToAnsi(AnsiToUtf8(roundTrip))), roundTrip);
}

TEST(Utf8, CyrillicCodePage)
{
    PinnedCodePage page("CP1251");
    EXPECT_EQ(str(Utf8ToAnsi("\xD0\x96")), "\xC6");
    EXPECT_EQ(str(AnsiToUtf8("\xC6")), "\xD0\x96");
}

TEST(WideText, OneByteEach)
{
    EXPECT_EQ(str(WideToString(L"A\u0142")), "A\x42");
    EXPECT_EQ(str(WideToString(nullptr)), "");
    core::stringw wide = AnsiToWideString("\xE9xy", 2);
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[0], wchar_t(0xE9));
    EXPECT_EQ(AnsiToWideString("abc").size(), 3u);
}

TEST(Splitting, SplitStringAndSections)
{
    const struct { const char* text; bool keep; const char* parts; u32 count; } cases[] = {
        {",a,,b,", false, "a|b", 2},
        {",a,,b,", true, "|a||b|", 5},
        {"", true, "", 1},
        {"", false, "", 0},
        {"abc", false, "abc", 1},
    };
    for (const auto& c : cases) {
        core::array<core::stringc> parts = SplitString(c.text, ',', c.keep);
        EXPECT_EQ(parts.size(), c.count) << c.text;
        EXPECT_EQ(joined(parts), c.parts) << c.text;
    }
    EXPECT_EQ(SplitString(nullptr, ',', true).size(), 0u);

    EXPECT_EQ(joined(SplitSections("\n[A]\nx\n[B] y \n\n[C]", "\n[")), "[A]\nx|[B] y|[C]");
    EXPECT_EQ(joined(SplitSections("[A]x[B]", "[")), "[A]x|[B]");
    EXPECT_EQ(SplitSections("no marker", "[").size(), 0u);
    EXPECT_EQ(SplitSections("abc", "").size(), 0u);
}

TEST(Splitting, IntLists)
{
    EXPECT_EQ(joinedInts(ParseIntList(" 1, 0x10 ,#ff,,-7", ',', false, false)), "1,16,255,-7");
    EXPECT_EQ(joinedInts(ParseIntList("1,,2,", ',', true, false)), "1,0,2,0");
    EXPECT_EQ(joinedInts(ParseIntList("ff;10", ';', false, true)), "255,16");

    CString text;
    core::array<s32> values;
    AppendKeyIntList(text, "k", values);
    EXPECT_EQ(str(text), "");
    values.push_back(3);
    values.push_back(-4);
    AppendKeyIntList(text, "k", values);
    AppendKeyIntList(text, nullptr, values);
    EXPECT_EQ(str(text), "k=3,-4\n3,-4");
}

TEST(KeyLines, ReadKeyNeedsLineFeedBeforeKey)
{
    const char* text = "a=1\nb= 2 \nf=2.5\nlist=1,2,0x3\ns= hi there \r\n";
    int value = -1;
    EXPECT_FALSE(ReadKeyInt(value, text, "a"));   // first line
    EXPECT_EQ(value, -1);
    EXPECT_TRUE(ReadKeyInt(value, text, "b"));
    EXPECT_EQ(value, 2);
    float number = 0;
    EXPECT_TRUE(ReadKeyFloat(number, text, "f"));
    EXPECT_FLOAT_EQ(number, 2.5f);
    CString s;
    EXPECT_TRUE(ReadKeyString(s, text, "s"));
    EXPECT_EQ(str(s), "hi there");
    EXPECT_FALSE(ReadKeyString(s, text, "missing"));
    core::array<s32> list;
    EXPECT_TRUE(ReadKeyIntArray(list, text, "list"));
    EXPECT_EQ(joinedInts(list), "1,2,3");

    core::array<core::stringc> names;
    GetKeyStringList("x=a,,b\n", "x", names, "\n");
    EXPECT_EQ(joined(names), "a|b");
    GetKeyIntList("x=4,5;", "x", list, ";");
    EXPECT_EQ(joinedInts(list), "4,5");
}

TEST(TextEdits, TrimReplaceAndCut)
{
    CString text(" \t_a_ \n");
    TrimChars(text, nullptr);
    EXPECT_EQ(str(text), "_a_");
    TrimChars(text, "_");
    EXPECT_EQ(str(text), "a");

    core::stringc irr(" \r\nx y\t ");
    TrimIrrString(irr);
    EXPECT_STREQ(irr.c_str(), "x y");
    core::stringc blank("   ");
    TrimIrrString(blank);
    EXPECT_STREQ(blank.c_str(), "");

    char buffer[] = "a/b\\c/d";
    EXPECT_EQ(ReplaceCharsInBuffer(buffer, "/\\", '.'), 3);
    EXPECT_STREQ(buffer, "a.b.c.d");
    char* end = ReplaceCharInPlace(buffer, '.', '-');
    EXPECT_STREQ(buffer, "a-b-c-d");
    EXPECT_EQ(end, buffer + 7);

    const struct { const char* text; const char* search; const char* with; int max; const char* out; int count; } reps[] = {
        {"aaa", "a", "b", 2, "bba", 2},
        {"a", "a", "aa", 3, "aaaa", 3},   // the replacement is found again
        {"abc", "", "x", 5, "abc", 0},
        {"abc", "z", "x", 5, "abc", 0},
    };
    for (const auto& r : reps) {
        CString s(r.text);
        EXPECT_EQ(ReplaceN(s, r.search, r.with, r.max), r.count) << r.text;
        EXPECT_EQ(str(s), r.out) << r.text;
    }

    const struct { const char* start; const char* end; const char* text; const char* out; } cuts[] = {
        {"<!", "!>", "a<!x!>b<!y!>", "ab<!y!>"},
        {"<!", "!>", "a<!xb", "a"},
        {"<!", nullptr, "a<!x!>b", "a"},
        {"<!", "!>", "a!>b", "a!>b"},
        {"[", "]", "x]y[z]w", "x]yw"},   // the end is searched from the start marker
    };
    for (const auto& c : cuts) {
        CString s(c.text);
        EXPECT_TRUE(CutBetweenMarkers(c.start, c.end, s));
        EXPECT_EQ(str(s), c.out) << c.text;
    }
}

TEST(TextEdits, SafeNamesAndTitleCase)
{
    const struct { const char* in; const char* extra; const char* out; } names[] = {
        {"a:b/c  d", "", "a_b_c d"},
        {"::x??", "", "x"},
        {" _ name_ ", "", " name"},   // blanks trimmed first, then underscores
        {"a.b", ".", "a_b"},
        {"pr_Ym9i==", "", "pr_Ym9i"},
    };
    for (const auto& c : names) {
        CString name(c.in);
        EXPECT_TRUE(MakeSafeName(name, c.extra));
        EXPECT_EQ(str(name), c.out) << c.in;
    }
    EXPECT_EQ(str(MakeTitleCase("hello wORLD-foo_bar.x", false)), "Hello World-Foo_Bar.X");
    EXPECT_EQ(str(MakeTitleCase("hello wORLD-foo_bar", true)), "HelloWorldFooBar");
    EXPECT_EQ(str(MakeTitleCase("\xE9t\xE9", false)), "\xE9t\xE9");
}

TEST(TextEdits, PrefixesSlashesAndQueries)
{
    EXPECT_TRUE(StartsWith("raw://x", "raw://"));
    EXPECT_FALSE(StartsWith("raw:", "raw://"));
    EXPECT_TRUE(StartsWith("abc", ""));
    EXPECT_EQ(str(ToForwardSlashes("a\\b\\c")), "a/b/c");
    CString url("page");
    AppendUrlQuery(url, "");
    AppendUrlQuery(url, "a=1");
    AppendUrlQuery(url, "b=2");
    EXPECT_EQ(str(url), "page?a=1&b=2");
}

TEST(Wildcards, WholeTextMatch)
{
    const struct { const char* text; const char* pattern; bool match; } cases[] = {
        {"a.png", "*.png", true}, {"a.PNG", "*.png", false}, {"abc", "a?c", true}, {"ac", "a?c", false},
        {"", "*", true}, {"", "", true}, {"a", "", false}, {"", "?", false}, {"abcabd", "*ab?", true},
        {"mississippi", "m*iss*ppi", true}, {"abc", "*b", false}, {"xaby", "*a*b*", true},
        {"a", "**", true}, {"abc", "abc*", true}, {"abcd", "abc", false}, {"ab", "a*b*c", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WildcardMatch(c.text, c.pattern), c.match) << c.text << " ~ " << c.pattern;
}

TEST(Wildcards, PatternLists)
{
    EXPECT_TRUE(MatchWildcardList("a.jpg", " *.png ;\r\n*.jpg"));
    EXPECT_FALSE(MatchWildcardList("a.gif", " *.png ;\r\n*.jpg"));
    EXPECT_FALSE(MatchWildcardList("a.png", "*.png ;x"));   // trailing blanks belong to the pattern
    EXPECT_FALSE(MatchWildcardList("", "*"));
    EXPECT_FALSE(MatchWildcardList("a", ""));
    EXPECT_FALSE(MatchWildcardList("a", " ; ;"));
    // A pattern longer than 255 characters is cut there.
    std::string text(300, 'x');
    std::string pattern = std::string(255, 'x') + "y";
    EXPECT_TRUE(MatchWildcardList(std::string(255, 'x').c_str(), pattern.c_str()));
    EXPECT_FALSE(MatchWildcardList(text.c_str(), pattern.c_str()));
}

TEST(TexturePaths, WarningsForContentAuthors)
{
    const std::string app = GetAppFolderCStr();
    std::string appUpper = app;
    for (char& c : appUpper)
        c = char(toupper((unsigned char)c));
    const struct { std::string path; std::vector<std::string> reasons; } cases[] = {
        {"data\\sprites\\a.png", {}},
        {"raw://-Texture: A/B", {}},
        {"data/sprites/a.png", {" '/'"}},
        {"data\\\\a.png", {"'\\\\'"}},
        {"data\\Sprites\\a.png", {" path case"}},
        {"data\\a.png?Param=X", {}},
        {" data\\a.png", {" wrong spaces"}},
        {"Data/x.png ", {" '/'", " path case", " wrong spaces"}},
        {app + "data\\a.png", {}},           // the program folder itself is not checked
        {appUpper + "data\\a.png", {}},      // whatever its case
        {app + "data\\B.png", {" path case"}},
        {app + "data/scripts/a.nut", {}},    // a native path keeps the system's separators
        {app + "data/Scripts/a.nut", {" path case"}},
        {"data\\a.png\t", {" wrong spaces"}},
        {"\ndata\\a.png", {" wrong spaces"}},
        {"data\\a.png?p=1\\\\", {"'\\\\'"}},   // the whole name counts, not just before '?'
        {"data\\a.png?P=X/", {" '/'"}},
        {"data\\\xC0.png", {}},                 // only ASCII letters have a case here
    };
    for (const auto& c : cases) {
        CMessageBoxRecorder boxes;
        CheckTexturePath(c.path.c_str());
        ASSERT_EQ(boxes.Boxes.size(), c.reasons.size()) << c.path;
        for (size_t i = 0; i < c.reasons.size(); ++i) {
            EXPECT_EQ(boxes.Boxes[i].Text, "Wrong texure path! Cache miss:" + c.reasons[i] + "\n'" + c.path + "'");
            EXPECT_EQ(boxes.Boxes[i].Type & MB_TYPEMASK, MB_OK);
        }
    }
    CMessageBoxRecorder boxes;
    CheckTexturePath(nullptr);
    EXPECT_TRUE(boxes.Boxes.empty());
}
