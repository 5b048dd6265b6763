#include "utils_str_keyvalue.h"

#include "utils_assert.h"

#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>

using namespace irr;

namespace {
std::string str(const CString& s) { return std::string((const char*)s, size_t(s.GetLength())); }
}  // namespace

TEST(TextBetween, PositionWalksThroughRepeatedMarkers)
{
    const char* text = "[a] [bb] [] [c";
    int pos = 0;
    std::string seen;
    for (;;) {
        core::stringc value = GetTextBetween("[", "]", text, pos);
        if (pos < 0)
            break;
        seen += std::string(value.c_str()) + "|";
    }
    // "[c" has no end marker: one more empty value, and the position jumps to the end.
    EXPECT_EQ(seen, "a|bb|||");
    pos = 12;
    EXPECT_EQ(str(GetTextBetweenEx("[", "]", text, pos)), "");
    EXPECT_EQ(pos, 14);
    EXPECT_EQ(str(GetTextBetweenEx("[", "]", text, pos)), "");
    EXPECT_EQ(pos, -1);
}

TEST(TextBetween, MarkerRules)
{
    const struct { const char* start; const char* end; const char* text; int pos; const char* value; int posAfter; } cases[] = {
        {"k=", "\n", "k=v\nx", 0, "v", 4},
        {"k=", "\n", "k=v", 0, "", 3},            // no final line feed: the end marker is missing
        {"k=", "", "k=v \t\n", 0, "v", 3},        // empty end: the rest, trimmed right
        {"", ";", "ab;cd", 3, "", 5},              // empty start matches at pos; end missing
        {"", ";", "ab;cd;", 3, "cd", 6},
        {"x", ";", "ab;cd", 0, "", -1},
        {"a", ";", "ab;cd", 5, "", -1},            // pos at the end
        {"a", ";", "ab;cd", -3, "", -1},
        {"a", ";", nullptr, 0, "", -1},
    };
    for (const auto& c : cases) {
        int pos = c.pos;
        EXPECT_EQ(str(GetTextBetweenEx(c.start, c.end, c.text, pos)), c.value) << c.start << " in " << (c.text ? c.text : "(null)");
        EXPECT_EQ(pos, c.posAfter) << c.start << " in " << (c.text ? c.text : "(null)");
    }
    EXPECT_EQ(str(GetTextBetween("k=", "", "k=v")), "v");
}

TEST(TextBetween, TwinGivesTheValue)
{
    CString twin("\nTitle=Hello World\n");
    CString lower("\ntitle=hello world\n");
    int pos = 0;
    EXPECT_EQ(str(GetTextBetweenEx("title=", "\n", lower, pos, &twin)), "Hello World");
    EXPECT_EQ(str(GetKeyValue(lower, "title", "\n", &twin)), "Hello World");

    // A twin of another length is a programming error; the text itself is used.
    int asserts = 0;
    static int* counter;
    counter = &asserts;
    AssertHook old = SetAssertHook([](const char*, int, const char*) { ++*counter; });
    CString shortTwin("x");
    pos = 0;
    EXPECT_EQ(str(GetTextBetweenEx("title=", "\n", lower, pos, &shortTwin)), "hello world");
    SetAssertHook(old);
    EXPECT_EQ(asserts, 1);
}

TEST(KeyValue, LeadingLineFeedAnchorsKeysToLineStarts)
{
    const struct { const char* text; const char* key; const char* value; } cases[] = {
        {"\nfontsize=12\nsize=3\n", "size", "3"},
        {"\nfontsize=12\n", "size", ""},
        {"fontsize=12\n", "size", "12"},             // no leading line feed: found anywhere
        {"size=1\nx=2\n", "size", "1"},              // and on the first line
        {"\nsize=1\n", "size", "1"},
        {"\nk= \t v w \r\n", "k", "v w"},
        {"\nk=last", "k", ""},                        // no final line feed
        {"\nk=\n", "k", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(GetKeyValue(c.text, c.key)), c.value) << c.key << " in " << c.text;
    EXPECT_EQ(str(GetKeyValue("\na:1;b:2;", "b", ";", nullptr, ":")), "");   // "\n" + "b:" absent
    EXPECT_EQ(str(GetKeyValue("a:1;b:2;", "b", ";", nullptr, ":")), "2");
    EXPECT_EQ(str(GetMarkedValue("\nxsize=4\n", "size")), "4");
    EXPECT_EQ(str(GetKeyValue(nullptr, "k")), "");
}

TEST(KeyValue, ListsAndBlocks)
{
    core::array<core::stringc> list = GetKeyValueList("\nl= a,,b ,\n", "l");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0].c_str(), "a");
    EXPECT_STREQ(list[1].c_str(), "b ");

    EXPECT_EQ(str(GetKeyValueBlock("\nx=[[\n a\nb \n]]\n", "x")), "a\nb");
    EXPECT_EQ(str(GetKeyValueBlock("x=[[\nline\n]]", "x")), "line");
    EXPECT_EQ(str(GetKeyValueBlock("\nx=[[\nnever closed\n", "x")), "");
}

TEST(KeyValue, TagAttributes)
{
    const struct { const char* name; const char* text; const char* value; } cases[] = {
        {"w", "img w=10 h=5>", "10"},
        {"h", "img w=10 h=5>", "5>"},
        {"w", "img w='7'>", "7"},
        {"w", "img w=\"a b\" h=1>", "a b"},
        {"w", "img w=10>", "10>"},   // the blank rule ends the value before '>' is tried
        {"w", "img w=10", "10"},
        {"x", "img w=1>", ""},
        {"w", "img w=\"open", ""},
        {"w", "img w=", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(GetTagAttribute(c.name, c.text)), c.value) << c.name << " in " << c.text;
}

TEST(KeyValue, FindAnyCharPairFollowsSetOrder)
{
    const char* line = "game /ul=x -ul y";
    // '-' is tried before '/', so "-ul " wins although "/ul=" comes first in the text.
    EXPECT_EQ(FindAnyCharPair(line, "ul", "-\\/#$@", "= "), 11);
    EXPECT_EQ(FindAnyCharPair(line, "ul", "/", "= "), 5);
    EXPECT_EQ(FindAnyCharPair(line, "zz", "-\\/#$@", "= "), -1);
}

TEST(KeyValue, WritersAndJoin)
{
    CString text;
    AppendKeyValue(text, "a", "x");
    AppendKeyValueInt(text, "b", -2147483647 - 1);
    AppendKeyValueFloat(text, "c", 2.5f);
    AppendKeyValueFloat(text, "d", -1234.567f);
    core::array<core::stringc> items;
    items.push_back("");
    items.push_back("a");
    items.push_back("");
    items.push_back("b");
    EXPECT_EQ(str(JoinStrings(items, ',')), "a,,b");
    AppendKeyValueList(text, "l", items);
    EXPECT_EQ(str(text), "a=x\nb=-2147483648\nc=2.50\nd=-1234.57\nl=a,,b\n");
}

TEST(KeyValue, StringArrayLists)
{
    CStringArray out;
    out.Add("first");
    GetKeyValueList(out, "\nl=a,,b\n", "l");
    ASSERT_EQ(out.GetSize(), 3);
    EXPECT_EQ(str(out[2]), "b");

    CStringArray items;
    items.Add("");
    items.Add("x");
    items.Add("y");
    EXPECT_EQ(str(JoinStrings(items, ';')), "x;y");
    CString text;
    AppendKeyValueList(text, "k", items);
    EXPECT_EQ(str(text), "k=x,y\n");
}

TEST(IniCache, CaseInsensitiveKeysKeepTheFilesCase)
{
    CTempFolder folder;
    folder.write("strings.lng", "Title=Hello World\r\nname= Bob \r\nMixedCase=Value\r\nlast=end");
    std::string path = folder.file("strings.lng");
    CIniCache cache;
    const struct { const char* key; const char* value; } cases[] = {
        {"title=", "Hello World"},
        {"TITLE=", "Hello World"},
        {"name=", " Bob "},            // not trimmed
        {"mixedcase=", "Value"},
        {"last=", "end"},              // the frame ends the last line
        {"title", "=Hello World"},     // the caller passes the "="
        {"itle=", ""},                 // keys start at a line
        {"missing=", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(cache.GetValue(path.c_str(), c.key)), c.value) << c.key;

    // A change on disk stays unseen until the cache is cleared.
    folder.write("strings.lng", "Title=Changed\n");
    EXPECT_EQ(str(cache.GetValue(path.c_str(), "title=")), "Hello World");
    cache.Clear();
    EXPECT_EQ(str(cache.GetValue(path.c_str(), "title=")), "Changed");
}

TEST(IniCache, MissingAndWildcardPathsReadEmpty)
{
    CTempFolder folder;
    folder.write("a*.ini", "k=1\n");
    CIniCache cache;
    EXPECT_EQ(str(cache.GetValue(folder.file("a*.ini").c_str(), "k=")), "");
    EXPECT_EQ(str(cache.GetValue(folder.file("none.ini").c_str(), "k=")), "");
    folder.write("none.ini", "k=1\n");   // cached as empty until cleared
    EXPECT_EQ(str(cache.GetValue(folder.file("none.ini").c_str(), "k=")), "");
    EXPECT_EQ(str(cache.GetValue(nullptr, "k=")), "");
    EXPECT_EQ(str(cache.GetValue(folder.file("none.ini").c_str(), nullptr)), "");
    EXPECT_EQ(&GetIniCache(), &GetIniCache());
}
