#include "node_helpers_desc.h"

#include "node_factory.h"

#include "msgbox_recorder.h"
#include "utils_assert.h"
#include "utils_engine_context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string str(const CString& s) { return std::string((const char*)s, size_t(s.GetLength())); }

std::string keyValue(const char* text, const char* key)
{
    CString value;
    int length = getKeyValue(text, key, value);
    EXPECT_EQ(length, value.GetLength()) << key;
    return str(value);
}

std::vector<std::string> g_asserts;
void recordAssert(const char*, int, const char* expr) { g_asserts.push_back(expr); }

struct SRunnerCall {
    std::string Code;
    bool UseCache;
};
std::vector<SRunnerCall> g_runs;

// Stands in for the script host: the string result names the code, the number is its length.
void fakeRunner(const char* code, bool useCache, CString* text, int* number, float* real)
{
    g_runs.push_back({code, useCache});
    if (text)
        *text = CString("ran:") + code;
    if (number)
        *number = int(std::string(code).size());
    if (real)
        *real = 0.25f * float(std::string(code).size());
}

class DescriptionScripts : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_runs.clear();
        g_asserts.clear();
        m_oldRunner = SetInlineScriptRunner(fakeRunner);
        m_oldHook = SetAssertHook(recordAssert);
    }
    void TearDown() override
    {
        SetInlineScriptRunner(m_oldRunner);
        SetAssertHook(m_oldHook);
    }
    InlineScriptRunner m_oldRunner = nullptr;
    AssertHook m_oldHook = nullptr;
};

}  // namespace

TEST(DescriptionKeys, FirstOccurrenceAnywhereWins)
{
    const char* text = "\n-Alpha:0.5\n-Animation.Size:3\n-Size:10\n-Alpha:0.7\n-Note:x -Inner:7\n";
    EXPECT_EQ(keyValue(text, "-Alpha:"), "0.5");
    EXPECT_EQ(keyValue(text, "-Size:"), "10");   // not found inside "-Animation.Size:"
    EXPECT_EQ(keyValue(text, "-Inner:"), "7");   // keys count inside other values too
    EXPECT_EQ(keyValue(text, "-alpha:"), "");    // case matters
    EXPECT_EQ(keyValue(text, "-Missing:"), "");
}

TEST(DescriptionKeys, SingleLineValueIsUntrimmedRestOfLine)
{
    const struct { const char* text; const char* expected; } cases[] = {
        {"-Name: hero \t\n", " hero \t"},
        {"-Name:\n", ""},                          // empty reads as absent
        {"\n-Name:last line without newline", ""},
        {"-Name:a\r\n", "a\r"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyValue(c.text, "-Name:"), c.expected) << c.text;
}

TEST(DescriptionKeys, MultiLineValueEndsBeforeHyphenOrBracketLine)
{
    const struct { const char* text; const char* key; const char* expected; } cases[] = {
        {"-Text:\nline1\n  -indented stays\nline3\n-Next:1\n", "-Text:", "line1\n  -indented stays\nline3"},
        {"-Text:\nx\n[Sprite]\n-A:1\n", "-Text:", "x"},
        {"-Text:\nto the end\nof the text", "-Text:", "to the end\nof the text"},
        // The first line always belongs, even when it is a key line.
        {"\n-Name:\n-Texture:a.png\n-Size:1\n", "-Name:", "-Texture:a.png"},
        {"\n-Name:\n-Texture:a.png\n-Size:1\n", "-Texture:", "a.png"},
        {"-Text:\n\n-Next:1", "-Text:", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyValue(c.text, c.key), c.expected) << c.text;
}

TEST(DescriptionKeys, TaggedBlocksKeepLinesAndBreaks)
{
    const struct { const char* text; const char* expected; } cases[] = {
        {"-Script:[S[\nfoo();\n-bar\n[x]\n]S]\n-Next:1", "\nfoo();\n-bar\n[x]\n"},
        {"-Script:[[a]]", "a"},                             // empty tag
        {"-Script:[123456789[v]123456789]", "v"},           // the longest tag
        {"-Script:[1234567890[v]1234567890]", ""},          // longer tags are outside the format
        {"-Script:[S[never closed\n", ""},
        {"-Script:[abc", ""},                               // no second "[" before the end
        {"-Script:[", ""},
        {"-Script:[S[a]T]b]S]", "a]T]b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyValue(c.text, "-Script:"), c.expected) << c.text;
}

TEST(DescriptionKeys, NullArgumentsReadAsAbsent)
{
    CString value = "stale";
    EXPECT_EQ(getKeyValue(nullptr, "-A:", value), 0);
    EXPECT_TRUE(value.IsEmpty());
    EXPECT_EQ(getKeyValue("-A:1\n", nullptr, value), 0);
    EXPECT_EQ(getKeyValue("-A:1\n", "", value), 0);
}

TEST(DescriptionComponents, LetteredAndWholeValues)
{
    EXPECT_FLOAT_EQ(readFloatComponent("0.5 t300 d100", 0, 9.0f), 0.5f);
    EXPECT_EQ(readIntComponent("0.5 t300 d100", 't', -1), 300);
    EXPECT_EQ(readIntComponent("0.5 t300 d100", 'd', -1), 100);
    EXPECT_EQ(readIntComponent("0.5 t300 d100", 'x', -1), -1);
    EXPECT_FLOAT_EQ(readFloatComponent("0.5 t300 d1.5", 'd', 9.0f), 1.5f);
    EXPECT_EQ(readIntComponent("10", 'w', 7), 7);
    EXPECT_EQ(readIntComponent("10", 0, 7), 10);
    EXPECT_EQ(readIntComponent("x-5", 'x', 0), -5);
    EXPECT_EQ(readIntComponent("abc", 0, 7), 0);   // unparsable reads as 0
    // The letter's first occurrence wins, even inside a file name.
    EXPECT_EQ(readIntComponent("gui\\btn_w.png w5", 'w', 9), 0);
    EXPECT_EQ(readIntComponent("img.png w5", 'w', 9), 5);
    EXPECT_EQ(readUIntComponent("c4294967295", 'c', 0), 4294967295u);
    EXPECT_EQ(readUIntComponent("77", 0, 1), 77u);
    EXPECT_EQ(readUIntComponent("abc", 'z', 3), 3u);
}

TEST(DescriptionComponents, WholeFloatsSkipBlanksReadLengthsAndWarnOnComma)
{
    CMessageBoxRecorder boxes;
    CDefaultEngineContext& context = GetDefaultEngineContext();
    float oldPixel = context.DefaultPixelSize;
    context.DefaultPixelSize = 2.0f;
    EXPECT_FLOAT_EQ(readFloatComponent(" \t1.5", 0, 0.0f), 1.5f);
    EXPECT_FLOAT_EQ(readFloatComponentEx("10px", 0, 0.0f, true), 20.0f);
    EXPECT_FLOAT_EQ(readFloatComponentEx("10px", 0, 0.0f, false), 10.0f);
    EXPECT_FLOAT_EQ(readFloatComponentEx("w10px", 'w', 0.0f, true), 10.0f);   // lengths only for whole values
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_FLOAT_EQ(readFloatComponent("0,5", 0, 3.0f), 0.0f);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Warning! whorg float delimiter used: 0,5");
    context.DefaultPixelSize = oldPixel;
}

TEST(DescriptionComponents, StringValuesTrimAndDefaults)
{
    EXPECT_EQ(str(readStringValue("  abc \t\n", 0)), "abc");
    EXPECT_EQ(str(readStringValue("go@ target \n", '@')), "target");
    EXPECT_EQ(str(readStringValue("plain", '@', " d ")), " d ");   // the default is not trimmed
    EXPECT_EQ(str(readStringValue("plain", '@')), "");
    EXPECT_EQ(str(readStringValue(nullptr, 0, "d")), "d");
}

TEST_F(DescriptionScripts, InlineScriptsRunWithOrWithoutCache)
{
    CString text;
    evaluateDescriptionValue("${Sq:foo()}", &text);
    EXPECT_EQ(str(text), "ran:foo()");
    evaluateDescriptionValue("${Sq:?bar()} tail", &text);
    EXPECT_EQ(str(text), "ran:bar()");
    ASSERT_EQ(g_runs.size(), 2u);
    EXPECT_EQ(g_runs[0].Code, "foo()");
    EXPECT_TRUE(g_runs[0].UseCache);
    EXPECT_EQ(g_runs[1].Code, "bar()");
    EXPECT_FALSE(g_runs[1].UseCache);

    // Components are converted to the requested type.
    EXPECT_EQ(readIntComponent("d${Sq:abcd}", 'd', -1), 4);
    EXPECT_FLOAT_EQ(readFloatComponent("d${Sq:ab}", 'd', -1.0f), 0.5f);
    EXPECT_EQ(str(readStringValue("  ${Sq:x}  ", 0)), "ran:x");
    // A whole-value float is never run.
    EXPECT_FLOAT_EQ(readFloatComponent("${Sq:1}", 0, 5.0f), 0.0f);
    EXPECT_EQ(g_runs.size(), 5u);
    EXPECT_TRUE(g_asserts.empty());

    // Plain text fills every output from the text itself.
    int number = 0;
    float real = 0.0f;
    evaluateDescriptionValue("12.5", &text, &number, &real);
    EXPECT_EQ(str(text), "12.5");
    EXPECT_EQ(number, 12);
    EXPECT_FLOAT_EQ(real, 12.5f);
}

TEST_F(DescriptionScripts, BrokenInlineScriptsAssertAndReadEmpty)
{
    for (const char* text : {"${Sq}", "${Sq:never closed", "${Sq:?", "${S}q"}) {
        g_asserts.clear();
        CString value = "stale";
        int number = 9;
        evaluateDescriptionValue(text, &value, &number);
        bool isScript = std::string(text).rfind("${Sq", 0) == 0;
        if (!isScript) {
            EXPECT_EQ(str(value), text);
            continue;
        }
        EXPECT_EQ(str(value), "") << text;
        EXPECT_EQ(number, 0) << text;
        ASSERT_EQ(g_asserts.size(), 1u) << text;
        EXPECT_EQ(g_asserts[0], std::string("Wrong inplace script in\n\n'") + text + "'");
    }
    EXPECT_TRUE(g_runs.empty());
}

TEST_F(DescriptionScripts, WithoutScriptHostInlineValuesAreEmpty)
{
    SetInlineScriptRunner(nullptr);
    CString text = "stale";
    int number = 5;
    evaluateDescriptionValue("${Sq:foo()}", &text, &number);
    EXPECT_EQ(str(text), "");
    EXPECT_EQ(number, 0);
}

TEST(DescriptionPaths, TexturePathsResolveAgainstOwnerOrBase)
{
    const struct { const char* path; const char* base; const char* owner; const char* expected; } cases[] = {
        {"c:\\art\\a.png", "data\\gui\\x.spr", nullptr, "c:\\art\\a.png"},
        {"/art/a.png", "data\\sub\\x.spr", nullptr, "/art/a.png"},
        {"\\gui\\a.png", "data\\menu\\x.spr", nullptr, "gui\\a.png"},
        {"a.png", "data\\menu\\x.spr", nullptr, "data\\menu\\a.png"},
        {"a.png", "data/menu/x.spr?size=2", nullptr, "data/menu/a.png"},
        {"a.png", "x.spr", nullptr, "a.png"},
        {"sub\\a.png", "data\\menu\\x.spr", "dialogs\\main.dlg", "dialogs\\sub\\a.png"},
        {"a.png", nullptr, nullptr, "a.png"},
        {"?fill[c1,w4,h4]", "data\\menu\\x.spr", "dialogs\\main.dlg", "?fill[c1,w4,h4]"},   // generated
        {"?fill[c0,w2,h2]", "data\\menu\\x.spr", nullptr, "?fill[c0,w2,h2]"},
        {"pics\\bg.png?colorkey[c0]", "data\\menu\\x.spr", nullptr, "data\\menu\\pics\\bg.png?colorkey[c0]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(resolveTexturePath(c.path, c.base, c.owner)), c.expected) << c.path << " " << c.base;
}

TEST(DescriptionPaths, TexturePathsTakeTheCreateInfoRecordsOwnerPath)
{
    SSpriteCreateInfo owned;
    owned.ownerPath = "dialogs\\main.dlg";
    SSpriteCreateInfo unowned;
    const struct { const SSpriteCreateInfo* info; const char* path; const char* expected; } cases[] = {
        {&owned, "a.png", "dialogs\\a.png"},
        {&owned, "\\gui\\a.png", "gui\\a.png"},
        {&owned, "c:\\art\\a.png", "c:\\art\\a.png"},
        {&unowned, "a.png", "data\\menu\\a.png"},   // a record without an owner path: the base
        {nullptr, "a.png", "data\\menu\\a.png"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(resolveTexturePath(c.path, "data\\menu\\x.spr", c.info)), c.expected) << c.path;
    EXPECT_EQ(str(resolveTexturePath("a.png", "data\\menu\\x.spr", nullptr)), "data\\menu\\a.png");
    EXPECT_EQ(str(resolveTexturePath("a.png", "data\\menu\\x.spr")), "data\\menu\\a.png");
}

TEST(DescriptionPaths, BracketSubValues)
{
    const struct { const char* text; const char* name; const char* expected; } cases[] = {
        {"img[a.png] snd[click.wav]", "snd", "click.wav"},
        {"img[ a b ]", "img", " a b "},
        {"img[a.png", "img", ""},
        {"img[a.png]", "snd", ""},
    };
    for (const auto& c : cases) {
        CString value;
        EXPECT_EQ(readBracketValue(c.text, c.name, value), int(std::string(c.expected).size()));
        EXPECT_EQ(str(value), c.expected) << c.text;
    }
}
