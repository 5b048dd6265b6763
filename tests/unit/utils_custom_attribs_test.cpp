#include "utils_str_attribs.h"

#include "utils_assert.h"

#include <gtest/gtest.h>

#include <cfloat>

#include <string>

namespace {

std::string str(const CString& s) { return std::string((const char*)s, size_t(s.GetLength())); }

int AssertCount = 0;
void countAssert(const char*, int, const char*) { ++AssertCount; }

struct AssertCounter {
    AssertCounter() : Old(SetAssertHook(countAssert)) { AssertCount = 0; }
    ~AssertCounter() { SetAssertHook(Old); }
    AssertHook Old;
};

}  // namespace

TEST(CustomAttribs, LineFormRoundTrip)
{
    CCustomAttribs attribs;
    attribs.setString("name", "Bob");
    attribs.setInt("count", 3);
    attribs.setFloat("speed", 2.5f);
    CString text = attribs.toText(nullptr, nullptr);
    EXPECT_EQ(str(text), "\nOption[name]=Bob\nOptionLong[count]=3\nOptionDouble[speed]=2.50\n");

    CCustomAttribs copy;
    copy.fromText(text, false);
    EXPECT_EQ(str(copy.getString("name", "")), "Bob");
    EXPECT_EQ(copy.getInt("count", 0), 3);
    EXPECT_EQ(copy.getFloat("speed", 0), 2.5f);
    EXPECT_EQ(copy.getChangeCounter(), 0u);   // parsing does not count as a change
    EXPECT_EQ(str(copy.toText(nullptr, nullptr)), str(text));
}

TEST(CustomAttribs, AwkwardStringsGoThroughBase64)
{
    const struct { const char* value; const char* back; bool isBase64; } cases[] = {
        {"a]b", "a]b", true},
        {"line1\nline2", "line1\nline2", true},
        {"x\r", "x\r", true},
        {"see Option[y]", "see Option[y]", true},
        {"see OptionLong[ here", "see OptionLong[ here", true},
        {"OptionDouble[", "OptionDouble[", true},
        {"x OptionStrB64[", "x OptionStrB64[", true},
        {"  padded  ", "  padded  ", true},   // the reader trims plain values
        {" lead", " lead", true},
        {"trail\t", "trail\t", true},
        {"I like <ScriptSafe> tags", "I like <ScriptSafe> tags", true},   // a profile's script block
        {"</ScriptSafe>", "</ScriptSafe>", true},
        {"in side", "in side", false},
        {"", "", false},
    };
    for (const auto& c : cases) {
        CCustomAttribs attribs;
        attribs.setString("v", c.value);
        attribs.setString("w", "plain");
        attribs.setInt("n", 42);
        attribs.setFloat("f", 0.5f);
        CString text = attribs.toText(nullptr, nullptr);
        EXPECT_EQ(text.Find("OptionStrB64[v]=") >= 0, c.isBase64) << c.value;
        CCustomAttribs back;
        back.fromText(text, false);
        EXPECT_EQ(str(back.getString("v", "?")), c.back) << c.value;
        EXPECT_EQ(str(back.getString("w", "?")), "plain") << c.value;
        EXPECT_EQ(back.getInt("n", -1), 42) << c.value;
        EXPECT_EQ(back.getFloat("f", -1.0f), 0.5f) << c.value;
    }
}

TEST(CustomAttribs, TextFormEdges)
{
    CCustomAttribs attribs;
    EXPECT_EQ(str(attribs.toText(nullptr, nullptr)), "\n");

    // Setting an absent name to its empty value leaves other tables alone.
    attribs.setString("both", "s");
    attribs.setInt("both", 0);
    EXPECT_EQ(str(attribs.toText(nullptr, nullptr)), "\nOption[both]=s\nOptionLong[both]=0\n");

    attribs.setInt("skip_me", 1);
    attribs.setInt("keep", 2);
    EXPECT_EQ(str(attribs.toText("k*", nullptr)), "\nOptionLong[keep]=2\n");
    EXPECT_EQ(str(attribs.toText(nullptr, "*_*")), "\nOption[both]=s\nOptionLong[both]=0\nOptionLong[keep]=2\n");

    // Without append the tables are emptied first; with append entries are added or replaced.
    attribs.fromText("\nOptionLong[keep]=5\nOption[new]=n\nOptionDouble[f]=x\nOption[]=z\nOption[noeq]\n", true);
    EXPECT_EQ(attribs.getInt("keep", 0), 5);
    EXPECT_EQ(attribs.getInt("skip_me", 0), 1);
    EXPECT_EQ(str(attribs.getString("new", "")), "n");
    EXPECT_EQ(attribs.getFloat("f", 9), 0.0f);
    EXPECT_EQ(str(attribs.getString("noeq", "?")), "");
    attribs.fromText("\nOption[only]=1\n", false);
    EXPECT_EQ(attribs.lookup("keep", nullptr, nullptr, nullptr), CCustomAttribs::TypeAbsent);
    EXPECT_EQ(attribs.lookup("only", nullptr, nullptr, nullptr), CCustomAttribs::TypeString);

    // Other text that holds a prefix (a profile's language) hides no option: a name ends on its line.
    attribs.fromText("\nLanguage=enOptionLong[x\nOptionLong[count]=3\n", false);
    EXPECT_EQ(attribs.getInt("count", 0), 3);

    // A number beyond a float saturates, so that it is written as a number and reads back the same.
    attribs.fromText(("\nOptionDouble[huge]=" + std::string(80, '9') + "\n").c_str(), false);
    CCustomAttribs back;
    back.fromText(attribs.toText(nullptr, nullptr), false);
    EXPECT_EQ(back.getFloat("huge", 0), FLT_MAX);

    attribs.fromText("\nOptionStrB64[bad]=not base64!\nOption[unclosed=1", false);
    EXPECT_EQ(attribs.lookup("bad", nullptr, nullptr, nullptr), CCustomAttribs::TypeString);
    EXPECT_EQ(str(attribs.getString("bad", "?")), "");
}

TEST(CustomAttribs, BracketDescription)
{
    AssertCounter asserts;
    CCustomAttribs attribs;
    attribs.parseDescription("a[1]b[-2.5]c[x]d[]", false);
    int i = 0;
    float f = 0;
    CString s;
    EXPECT_EQ(attribs.lookup("a", &s, &i, &f), CCustomAttribs::TypeInt);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(attribs.lookup("b", &s, &i, &f), CCustomAttribs::TypeFloat);
    EXPECT_EQ(f, -2.5f);
    EXPECT_EQ(attribs.lookup("c", &s, &i, &f), CCustomAttribs::TypeString);
    EXPECT_EQ(str(s), "x");
    EXPECT_EQ(attribs.lookup("d", &s, &i, &f), CCustomAttribs::TypeAbsent);
    EXPECT_EQ(AssertCount, 1);   // "d[" has one part

    attribs.parseDescription(" speed [2.5] name[ Bob]count[-3] trailing", true);
    EXPECT_EQ(attribs.getFloat("speed", 0), 2.5f);
    EXPECT_EQ(str(attribs.getString("name", "")), " Bob");   // values are not trimmed
    EXPECT_EQ(attribs.getInt("count", 0), -3);
    EXPECT_EQ(attribs.getInt("a", 0), 1);
    EXPECT_EQ(attribs.getChangeCounter(), 0u);

    attribs.parseDescription("x[1[2]", false);   // three parts: the first two are used
    EXPECT_EQ(AssertCount, 2);
    EXPECT_EQ(attribs.getInt("x", 0), 1);
    EXPECT_EQ(attribs.lookup("a", nullptr, nullptr, nullptr), CCustomAttribs::TypeAbsent);
}

TEST(CustomAttribs, ChangeCounter)
{
    CCustomAttribs attribs;
    const struct { const char* what; void (*step)(CCustomAttribs&); unsigned raise; } steps[] = {
        {"new string", [](CCustomAttribs& a) { a.setString("n", "x"); }, 1},
        {"same string", [](CCustomAttribs& a) { a.setString("n", "x"); }, 0},
        {"int 0 over a string", [](CCustomAttribs& a) { a.setInt("n", 0); }, 0},
        {"int 5 clears the string", [](CCustomAttribs& a) { a.setInt("n", 5); }, 2},
        {"same int", [](CCustomAttribs& a) { a.setInt("n", 5); }, 0},
        {"float over an int", [](CCustomAttribs& a) { a.setFloat("n", 1.5f); }, 2},
        {"NaN always differs", [](CCustomAttribs& a) { a.setFloat("nan", NAN); }, 1},
        {"NaN again", [](CCustomAttribs& a) { a.setFloat("nan", NAN); }, 1},
        {"remove nothing", [](CCustomAttribs& a) { a.remove("zz", true, true, true); }, 0},
        {"remove one", [](CCustomAttribs& a) { a.remove("n", true, true, true); }, 1},
        {"empty string on absent name", [](CCustomAttribs& a) { a.setString("e", ""); }, 0},
    };
    for (const auto& s : steps) {
        unsigned before = attribs.getChangeCounter();
        s.step(attribs);
        EXPECT_EQ(attribs.getChangeCounter() - before, s.raise) << s.what;
    }
    EXPECT_EQ(attribs.lookup("n", nullptr, nullptr, nullptr), CCustomAttribs::TypeAbsent);
}

TEST(CustomAttribs, IntOverStringKeepsString)
{
    CCustomAttribs attribs;
    attribs.setString("n", "text");
    attribs.setInt("n", 0);
    CString s;
    EXPECT_EQ(attribs.lookup("n", &s, nullptr, nullptr), CCustomAttribs::TypeString);
    EXPECT_EQ(str(s), "text");
    EXPECT_EQ(attribs.remove("n", true, false, false), 1);
    int i = 7;
    EXPECT_EQ(attribs.lookup("n", nullptr, &i, nullptr), CCustomAttribs::TypeInt);
    EXPECT_EQ(i, 0);
}

TEST(CustomAttribs, BoolsNamesAndOrder)
{
    CCustomAttribs attribs;
    attribs.setString("zero", "0");
    attribs.setString("\xE9t\xE9", "e");   // bytes from 0x80 sort before ASCII
    attribs.setInt("off", 0);
    attribs.setInt("on", 2);
    attribs.setInt("ab", 1);
    attribs.setInt("a", 1);
    attribs.setFloat("f", 1.0f);
    EXPECT_TRUE(attribs.getBool("zero"));
    EXPECT_TRUE(attribs.getBool("on"));
    EXPECT_FALSE(attribs.getBool("off"));
    EXPECT_FALSE(attribs.getBool("f"));
    EXPECT_FALSE(attribs.getBool("missing"));

    const char* expected[] = {"a", "ab", "off", "on", "\xE9t\xE9", "zero", "f"};
    const int types[] = {2, 2, 2, 2, 1, 1, 3};
    for (int i = 0; i < 7; ++i) {
        CString name;
        EXPECT_EQ(attribs.getNameAt(i, name), types[i]) << i;
        EXPECT_EQ(str(name), expected[i]) << i;
    }
    CString untouched("keep");
    EXPECT_EQ(attribs.getNameAt(7, untouched), 0);
    EXPECT_EQ(attribs.getNameAt(-1, untouched), 0);
    EXPECT_EQ(str(untouched), "keep");
    EXPECT_EQ(str(attribs.toDebugText()), "\n\xE9t\xE9[e] zero[0] a[1] ab[1] off[0] on[2] f[1.000000] ");
}

TEST(CustomAttribs, CopyFromUsesSetters)
{
    CCustomAttribs source;
    source.setString("s", "v");
    source.setInt("i", 4);
    source.setFloat("f", 0.5f);
    CCustomAttribs target;
    target.setInt("s", 9);   // cleared by the changed string
    unsigned before = target.getChangeCounter();
    target.copyFrom(source);
    EXPECT_EQ(target.lookup("s", nullptr, nullptr, nullptr), CCustomAttribs::TypeString);
    EXPECT_EQ(target.getInt("s", -1), -1);
    EXPECT_EQ(target.getInt("i", 0), 4);
    EXPECT_EQ(target.getFloat("f", 0), 0.5f);
    EXPECT_EQ(target.getChangeCounter() - before, 4u);
    target.copyFrom(target);
    EXPECT_EQ(target.getInt("i", 0), 4);
}
