#include "node_factory_macros.h"

#include "utils_assert.h"
#include "utils_engine_context.h"
#include "utils_math_misc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace {

std::string str(const CString& s) { return std::string((const char*)s, size_t(s.GetLength())); }

std::vector<std::string> g_asserts;
void recordAssert(const char*, int, const char* expr) { g_asserts.push_back(expr); }

// Stands in for the engine: a manifest macro and a client macro, and what it was handed.
class CRecordingHost : public IDescriptionMacroHost {
public:
    void expandEngineMacros(CString& text, const CStringArray* params, const SSpriteCreateInfo* context) override
    {
        ++Calls;
        SeenParams = params;
        SeenContext = context;
        text.Replace("${ManifestMacro}", "manifest");
        text.Replace("${ClientMacro}", "client");
    }
    int getScreenWidth() override { return 1280; }
    int getScreenHeight() override { return 720; }

    int Calls = 0;
    const CStringArray* SeenParams = nullptr;
    const SSpriteCreateInfo* SeenContext = nullptr;
};

class Macros : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_asserts.clear();
        m_oldHook = SetAssertHook(recordAssert);
        m_oldHost = SetDescriptionMacroHost(&Host);
    }
    void TearDown() override
    {
        SetDescriptionMacroHost(m_oldHost);
        SetAssertHook(m_oldHook);
    }

    std::string expand(const char* text, std::initializer_list<const char*> params = {})
    {
        CString value(text);
        CStringArray list;
        for (const char* p : params)
            list.Add(p);
        expandSpriteMacros(value, &list, nullptr);
        return str(value);
    }

    CRecordingHost Host;
    AssertHook m_oldHook = nullptr;
    IDescriptionMacroHost* m_oldHost = nullptr;
};

// The words of a text separated by blanks or ";".
std::vector<std::string> wordsOf(const std::string& text)
{
    std::vector<std::string> out;
    std::string word;
    for (char c : text + " ") {
        if (c == ' ' || c == ';') {
            if (!word.empty())
                out.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return out;
}

// d.dddddd
bool isSixDecimalFloat(const std::string& text)
{
    if (text.size() != 8 || text[1] != '.')
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != 1 && !std::isdigit((unsigned char)text[i]))
            return false;
    return true;
}

}  // namespace

TEST_F(Macros, TextWithoutDollarIsUnchangedAndEnginesAreNotAsked)
{
    const char raw[] = "-Texture:a.png\n-Size:{auto}\r\n\t\x01\xff end";
    CString text(raw);
    CStringArray params;
    params.Add("Size=5");
    expandSpriteMacros(text, &params, nullptr);
    EXPECT_EQ(str(text), raw);
    EXPECT_EQ(Host.Calls, 0);
}

TEST_F(Macros, ParametersReplaceEveryOccurrence)
{
    const struct { const char* text; std::vector<const char*> params; const char* expected; } cases[] = {
        {"-Texture:${img}\n-Pos:${x},${x}", {"img=a.png", "x=5"}, "-Texture:a.png\n-Pos:5,5"},
        {"[${flag}]", {"flag"}, "[]"},                      // no "=": empty value
        {"${x[5]} ${p}", {"x[5]", "p=1"}, "${x[5]} 1"},     // build options are not macros
        {"${v}", {"v=${auto}"}, "-1"},                      // later steps see parameter values
        {"${a}", {"a=b=c"}, "b"},                           // with an assertion
    };
    for (const auto& c : cases) {
        CString text(c.text);
        CStringArray params;
        for (const char* p : c.params)
            params.Add(p);
        expandSpriteMacros(text, &params, nullptr);
        EXPECT_EQ(str(text), c.expected) << c.text;
    }
    ASSERT_EQ(g_asserts.size(), 1u);
    EXPECT_EQ(g_asserts[0], "Wrong params in spr creation! a=b=c");
}

TEST_F(Macros, SectionsSelectOnePartOrKeepTheHead)
{
    const char* text = "head\n${Section:One}\none\n${Section:One}\n${Section:Two}\ntwo\n${Section:Two}\n";
    EXPECT_EQ(expand(text), "head\n");
    EXPECT_EQ(expand(text, {"section[Two]"}), "\ntwo\n");
    EXPECT_EQ(expand(text, {"section[One]", "x=1"}), "\none\n");
    EXPECT_EQ(expand(text, {"section[Three]"}), "");
}

TEST_F(Macros, ManifestAndClientMacrosGetParametersAndContext)
{
    CString text("${ManifestMacro}/${ClientMacro}/${Unknown}");
    CStringArray params;
    params.Add("q=1");
    const SSpriteCreateInfo* context = reinterpret_cast<const SSpriteCreateInfo*>(&params);
    expandSpriteMacros(text, &params, context);
    EXPECT_EQ(str(text), "manifest/client/${Unknown}");   // unknown macros stay
    EXPECT_EQ(Host.Calls, 1);
    EXPECT_EQ(Host.SeenParams, &params);
    EXPECT_EQ(Host.SeenContext, context);
}

TEST_F(Macros, StandaloneHostUsesTheEngineContextsManifestMacros)
{
    struct CManifestContext : CDefaultEngineContext {
        void expandMacros(CString& text) override { text.Replace("${Font}", "arial"); }
    } context;
    IEngineContext* oldContext = SetEngineContext(&context);
    SetDescriptionMacroHost(nullptr);
    EXPECT_EQ(expand("${Font} ${Screen_X}x${Screen_Y}"), "arial 800x600");
    SetEngineContext(oldContext);
}

TEST_F(Macros, RandomIntegersCoverBothBoundsAndDrawIndependently)
{
    SetRandomSeed(12345);
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "${rnd(1,6)} ";
    std::set<int> seen;
    for (const std::string& n : wordsOf(expand(text.c_str())))
        seen.insert(std::atoi(n.c_str()));
    EXPECT_EQ(seen, (std::set<int>{1, 2, 3, 4, 5, 6}));

    SetRandomSeed(777);
    std::string same = expand("${rnd( 10, 12)}");   // blanks before the bounds
    int value = std::atoi(same.c_str());
    EXPECT_GE(value, 10);
    EXPECT_LE(value, 12);
    EXPECT_EQ(expand("${rnd(4)}"), "4");
    EXPECT_EQ(expand("${rnd(2147483647,6555565555)}"), "2147483647");   // the top bound saturates
}

TEST_F(Macros, RandomFloatsUseSixDecimals)
{
    SetRandomSeed(99);
    std::string out = expand("${rnd(0.5,1.5)};${rnd(0.5,1.5)}");
    std::vector<std::string> words = wordsOf(out);
    ASSERT_EQ(words.size(), 2u) << out;
    for (const std::string& word : words) {
        EXPECT_TRUE(isSixDecimalFloat(word)) << word;
        double v = std::atof(word.c_str());
        EXPECT_GE(v, 0.5);
        EXPECT_LE(v, 1.5);
    }
    EXPECT_NE(words[0], words[1]);
}

TEST_F(Macros, UnterminatedMarkersEndThePass)
{
    SetRandomSeed(5);
    const struct { const char* text; const char* expected; } cases[] = {
        {"a ${rnd(1,6", "a ${rnd(1,6"},
        {"${rnd(2,2)} ${rnd(3", "2 ${rnd(3"},
        {"x ${?a;a:1;", "x ${?a;a:1;"},
        {"${Default:n=3", "_{Default:n=3"},
        {"${Default:}", "_{Default:}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(expand(c.text), c.expected) << c.text;
}

TEST_F(Macros, ConstantsAndScreenSize)
{
    EXPECT_EQ(expand("-Texture:${virtualNode}"), "-Texture:\\gui\\empty.png\n-Invisible:1\n");
    EXPECT_EQ(expand("${Screen_X},${Screen_Y}"), "1280,720");
    EXPECT_EQ(expand("${auto} ${all} ${VK_RETURN} ${VK_SPACE}"), "-1 -1 13 32");
}

TEST_F(Macros, DefaultsFillOnlyWhatParametersLeft)
{
    EXPECT_EQ(expand("${Default:img=b.png}${img}", {"img=a.png"}), "_{Default:img=b.png}a.png");
    EXPECT_EQ(expand("${Default:img=b.png}${img}|${img}"), "_{Default:img=b.png}b.png|b.png");
    EXPECT_EQ(expand("${Default:x}[${x}]"), "_{Default:x}[]");
    EXPECT_EQ(expand("${Default:a=1}${Default:a=2}${a}"), "_{Default:a=1}_{Default:a=2}1");
}

TEST_F(Macros, SwitchesPickTheMatchingCase)
{
    const struct { const char* text; std::vector<const char*> params; const char* expected; } cases[] = {
        {"${?b;a:1;b:2;}", {}, "2"},
        {"${?c;a:1;b:2;}", {}, ""},
        {"${?${mode};easy:3;hard:9;}", {"mode=hard"}, "9"},
        {"<${?a;a:x;}><${?a;a:x;}>", {}, "<x><x>"},
        // A value that rebuilds a switch marker is not expanded again.
        {"${?x;x:${?x;}x;x:${?x;}}", {}, "${?xx;x:}"},
    };
    for (const auto& c : cases) {
        CString text(c.text);
        CStringArray params;
        for (const char* p : c.params)
            params.Add(p);
        expandSpriteMacros(text, &params, nullptr);
        EXPECT_EQ(str(text), c.expected) << c.text;
    }
}

TEST_F(Macros, ConditionalLinesFollowDebugMode)
{
    CDefaultEngineContext& context = GetDefaultEngineContext();
    int oldDebug = context.DebugMode;
    const char* text = "$ifnotreload a();\n$ifdebug b();\n";
    context.DebugMode = 0;
    EXPECT_EQ(expand(text), " a();\n// b();\n");
    context.DebugMode = 1;
    EXPECT_EQ(expand(text), " a();\n b();\n");
    context.DebugMode = oldDebug;
}
