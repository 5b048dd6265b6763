// The description macro pass, in its fixed order of steps.
#include "node_factory_macros.h"

#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_math_misc.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>
#include <set>
#include <string>

namespace {

// The profile's resolution when none has been chosen yet.
constexpr int DefaultScreenWidth = 800;
constexpr int DefaultScreenHeight = 600;

// Texts that rewrite themselves (a default or a switch whose value rebuilds a
// marker) would otherwise loop for ever; real descriptions stay far below.
constexpr int MaxMarkerPasses = 10000;

class CStandaloneMacroHost : public IDescriptionMacroHost {
public:
    void expandEngineMacros(CString& text, const CStringArray*, const SSpriteCreateInfo*) override
    {
        GetEngineContext().expandMacros(text);
    }
    int getScreenWidth() override { return DefaultScreenWidth; }
    int getScreenHeight() override { return DefaultScreenHeight; }
};

CStandaloneMacroHost g_standaloneHost;
std::atomic<IDescriptionMacroHost*> g_host{nullptr};

IDescriptionMacroHost& getHost()
{
    IDescriptionMacroHost* host = g_host.load();
    return host ? *host : g_standaloneHost;
}

bool contains(const CString& text, const char* part) { return text.Find(part) >= 0; }

const char* skipBlanks(const char* text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    return text;
}

// Replaces the bytes [from, from + count) by the replacement.
void replaceRange(CString& text, int from, int count, const char* replacement)
{
    text = text.Left(from) + replacement + text.Mid(from + count);
}

// Applies one parameter; returns the section it names, if any.
void applyParameter(CString& text, const CString& param, CString& section)
{
    if (param.GetLength() >= 3 && param.Find('[') >= 0) {
        if (!contains(param, "section["))
            return;   // a build option, read by the description parser
        section = GetTextBetween("section[", "]", param);
    }
    irr::core::array<irr::core::stringc> parts = SplitString(param, '=', false);
    if (parts.empty())
        return;
    if (parts.size() > 2)
        AssertFailed(__FILE__, __LINE__, Format("Wrong params in spr creation! %s", (const char*)param));
    CString macro = CString("${") + parts[0].c_str() + "}";
    text.Replace(macro, parts.size() > 1 ? parts[1].c_str() : "");
}

void selectSection(CString& text, const CString& section)
{
    int first = text.Find("${Section");
    if (first < 0)
        return;
    if (section.IsEmpty()) {
        text = text.Left(first);
        return;
    }
    CString marker = "${Section:" + section + "}";
    text = GetTextBetween(marker, marker, text);
}

// Each "${rnd(a,b)}" draws its own number. An opening without ")}" ends the step.
void expandRandomNumbers(CString& text)
{
    for (int pos = text.Find("${rnd("); pos >= 0; pos = text.Find("${rnd(", pos)) {
        int close = text.Find(")}", pos + 6);
        if (close < 0)
            return;
        CString bounds = text.Mid(pos + 6, close - pos - 6);
        int comma = bounds.Find(',');
        const char* low = skipBlanks(bounds);
        const char* high = comma >= 0 ? skipBlanks((const char*)bounds + comma + 1) : low;
        CString number;
        if (bounds.Find('.') >= 0)
            number.Format("%05f", double(RandomFloat(StrToFloat(low), StrToFloat(high))));
        else {
            int top = StrToInt(high);   // already saturated; one past it must not wrap
            number = IntToString(RandomInt(StrToInt(low), top < INT_MAX ? top + 1 : top));
        }
        replaceRange(text, pos, close + 2 - pos, number);
    }
}

void replaceConstants(CString& text)
{
    static const CString virtualNode = Format("%s\n-Invisible:1\n", "\\gui\\empty.png");
    static const CString minusOne = IntToString(-1);
    static const CString returnKey = IntToString(13);
    static const CString spaceKey = IntToString(32);
    text.Replace("${virtualNode}", virtualNode);
    if (contains(text, "${Screen_X}"))
        text.Replace("${Screen_X}", IntToString(getHost().getScreenWidth()));
    if (contains(text, "${Screen_Y}"))
        text.Replace("${Screen_Y}", IntToString(getHost().getScreenHeight()));
    text.Replace("${auto}", minusOne);
    text.Replace("${all}", minusOne);
    text.Replace("${VK_RETURN}", returnKey);
    text.Replace("${VK_SPACE}", spaceKey);
}

// "${Default:name=value}" fills "${name}" wherever no parameter did; its own
// "$" becomes "_" so that the marker is not found again.
void applyDefaults(CString& text)
{
    for (int pass = 0; pass < MaxMarkerPasses; ++pass) {
        int pos = text.Find("${Default:");
        if (pos < 0)
            return;
        text.SetAt(pos, '_');
        int close = text.Find('}', pos);
        if (close < 0)
            continue;
        CString inner = text.Mid(pos + 10, close - pos - 10);
        irr::core::array<irr::core::stringc> parts = SplitString(inner, '=', false);
        if (parts.empty())
            continue;
        text.Replace(Format("${%s}", parts[0].c_str()), parts.size() > 1 ? parts[1].c_str() : "");
    }
}

// "${?selector;case:value;...}" becomes the value of the matching case. The
// search goes on after the inserted value, so a value never re-expands.
void applySwitches(CString& text)
{
    int from = 0;
    for (int pass = 0; pass < MaxMarkerPasses; ++pass) {
        int pos = text.Find("${?", from);
        if (pos < 0)
            return;
        int close = text.Find('}', pos + 3);
        if (close < 0)
            return;
        CString inner = text.Mid(pos + 3, close - pos - 3);
        int semicolon = inner.Find(';');
        CString selector = semicolon >= 0 ? inner.Left(semicolon) : inner;
        CString value = GetTextBetween(";" + selector + ":", ";", inner);
        CString macro = "${?" + inner + "}";
        replaceRange(text, pos, macro.GetLength(), value);
        from = pos + value.GetLength();
        // The later copies of the same switch, without rescanning inserted text.
        for (int at = text.Find(macro, from); at >= 0; at = text.Find(macro, at + value.GetLength()))
            replaceRange(text, at, macro.GetLength(), value);
    }
}

void applyConditionalLines(CString& text)
{
    if (!contains(text, "$if"))
        return;
    text.Replace("$ifnotreload", "");
    text.Replace("$ifdebug", GetEngineContext().isDebugMode() ? "" : "//");
}

bool isMacroName(const CString& name)
{
    if (name.IsEmpty() || name.GetLength() > 64)
        return false;
    for (const char* c = name; *c; ++c)
        if (!(std::isalnum((unsigned char)*c) || *c == '_' || *c == '.'))
            return false;
    return true;
}

// A macro that no step knows stays in the text, and a number read from it is
// 0: one log line per macro and description says which and where.
void reportUnknownMacros(const CString& text, const char* owner)
{
    static std::set<std::string> reported;
    for (int pos = text.Find("${"); pos >= 0; pos = text.Find("${", pos + 2)) {
        const int close = text.Find('}', pos + 2);
        if (close < 0)
            return;
        const CString name = text.Mid(pos + 2, close - pos - 2);
        if (!isMacroName(name) || !reported.insert(std::string(name) + '\n' + owner).second)
            continue;
        DebugLog(Format("Macro ${%s} is not defined for %s; it stays in the text, and a number reads it as 0",
                        (const char*)name, owner));
    }
}

}  // namespace

IDescriptionMacroHost* SetDescriptionMacroHost(IDescriptionMacroHost* host)
{
    return g_host.exchange(host);
}

void expandSpriteMacros(CString& text, const CStringArray* params, const SSpriteCreateInfo* context, const char* owner)
{
    if (!contains(text, "$"))
        return;
    CString section;
    for (int i = 0; params && i < params->GetSize(); ++i)
        applyParameter(text, params->GetAt(i), section);
    selectSection(text, section);
    if (!contains(text, "$"))
        return;
    getHost().expandEngineMacros(text, params, context);
    expandRandomNumbers(text);
    if (!contains(text, "$"))
        return;
    replaceConstants(text);
    applyDefaults(text);
    applySwitches(text);
    applyConditionalLines(text);
    if (owner)
        reportUnknownMacros(text, owner);
}
