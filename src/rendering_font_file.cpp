// Font files: the single-quote form ("<font>", "<char " elements with
// l/t/r/b and ABC widths) and the double-quote form ("<Font ", "<Char "
// elements with rect, offset, width and code), read by plain text searches.
#include "rendering_font_file.h"

#include "codepage.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"
#include "utils_system_common.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace irr;

namespace {

constexpr int MaxGlyphIndex = 300;
// Far beyond any font picture; damaged numbers are held here, so that sums
// of them cannot overflow and measures stay finite.
constexpr float MaxGlyphMetric = 65536.0f;

float metric(const char* text)
{
    const float value = StrToFloat(text);
    return std::isfinite(value) ? std::clamp(value, -MaxGlyphMetric, MaxGlyphMetric) : 0.0f;
}

s32 pixels(const char* text)
{
    return s32(std::clamp(StrToInt(text), -s32(MaxGlyphMetric), s32(MaxGlyphMetric)));
}

s32 pixels(s32 value)
{
    return std::clamp(value, -s32(MaxGlyphMetric), s32(MaxGlyphMetric));
}

CString singleQuoted(const char* element, const char* key)
{
    return GetTextBetween(key, "'", element);
}

CString doubleQuoted(const char* element, const char* name)
{
    return GetTextBetween(Format("%s=\"", name), "\"", element);
}

bool containsNoCase(const char* text, const char* part)
{
    CString low(text);
    low.MakeLower();
    return low.Find(part) >= 0;
}

// Cuts the next element that opens with `opening` out of the text. An element
// that is not found exactly once (a duplicate, or one without its "/>") stops
// the glyphs: false, after the box.
bool cutElement(CString& text, const char* opening, const char* file, CString& element, bool& stop)
{
    stop = false;
    if (text.Find(opening) < 0)
        return false;
    element = GetTextBetween(opening, "/>", text);
    CString whole = Format("%s%s/>", opening, (const char*)element);
    if (text.Replace(whole, "") != 1) {
        DebugLog(Format("Font file %s: element '%s' is not found exactly once; glyphs end here", file,
                        (const char*)whole.Left(80)));
        EngineMessageBox("XML font file: duperror!", 0);
        stop = true;
        return false;
    }
    return true;
}

// Puts the glyph of a character into the table; gaps below it hold copies.
void placeGlyph(core::array<SFontGlyph>& glyphs, SFontGlyph glyph, int code, const char* file)
{
    glyph.Size = core::dimension2di(glyph.Rect.getWidth(), glyph.Rect.getHeight());
    glyph.IsBlank = code == 32;
    int index = code - 32;
    if (index < 0 || index > MaxGlyphIndex) {
        DebugLog(Format("Font file %s: a glyph for character code %d", file, code));
        FatalError("Something wrong with Font chars!!!", false);
        return;
    }
    while (int(glyphs.size()) <= index)
        glyphs.push_back(glyph);
    glyphs[index] = glyph;
}

void readSingleQuoteGlyphs(CString& text, const char* file, SFontFileData& out)
{
    CString element;
    bool stop = false;
    while (cutElement(text, "<char ", file, element, stop)) {
        int code = StrToInt(singleQuoted(element, "ascii='"));
        if (code == 0)
            continue;
        SFontGlyph glyph;
        glyph.Rect = core::recti(pixels(singleQuoted(element, "l='")), pixels(singleQuoted(element, "t='")),
                                 pixels(singleQuoted(element, "r='")), pixels(singleQuoted(element, "b='")));
        glyph.A = metric(singleQuoted(element, "abcA='"));
        glyph.B = metric(singleQuoted(element, "abcB='"));
        glyph.C = metric(singleQuoted(element, "abcC='"));
        placeGlyph(out.Glyphs, glyph, code, file);
    }
    CString gaps = GetTextBetween("<gaps ", "/>", text);
    out.Gaps = core::recti(pixels(singleQuoted(gaps, "l='")), pixels(singleQuoted(gaps, "t='")),
                           pixels(singleQuoted(gaps, "r='")), pixels(singleQuoted(gaps, "b='")));
    if (out.Glyphs.size() > 0)
        out.LineHeight = out.Glyphs[0].Rect.getHeight();
}

void readDoubleQuoteGlyphs(CString& text, const char* file, const CString& scale, SFontFileData& out)
{
    bool isUtf8 = containsNoCase(text, "utf-8");
    CString element;
    bool stop = false;
    while (cutElement(text, "<Char ", file, element, stop)) {
        unsigned char code = DecodeFontCharCode(doubleQuoted(element, "code"), isUtf8);
        if (code == 0)
            continue;
        core::array<s32> rect = ParseIntList(doubleQuoted(element, "rect"), ' ', false, false);
        SFontGlyph glyph;
        if (rect.size() >= 4)
            glyph.Rect = core::recti(pixels(rect[0]), pixels(rect[1]), pixels(rect[0]) + pixels(rect[2]),
                                     pixels(rect[1]) + pixels(rect[3]));
        core::array<core::stringc> offset = SplitString(doubleQuoted(element, "offset"), ' ', false);
        glyph.OffsetX = offset.size() > 0 ? metric(offset[0].c_str()) : 0.0f;
        glyph.OffsetY = offset.size() > 1 ? metric(offset[1].c_str()) : 0.0f;
        glyph.B = metric(doubleQuoted(element, "width"));
        placeGlyph(out.Glyphs, glyph, code, file);
    }
    out.LineHeight = pixels(doubleQuoted(scale, "height"));
}

float scaleValue(const char* scale, const char* key)
{
    return metric(singleQuoted(scale, key));
}

void readScale(const CString& scale, SFontFileData& out)
{
    out.XScale = scaleValue(scale, "x='");
    if (out.XScale < 0.01f)
        out.XScale = scaleValue(scale, "XScale='");
    if (out.XScale < 0.01f)
        out.XScale = 1.0f;
    out.YScale = scaleValue(scale, "y='");
    if (out.YScale < 0.01f)
        out.YScale = scaleValue(scale, "YScale='");
    if (out.YScale < 0.01f)
        out.YScale = 1.0f;
    out.MasterScale = scaleValue(scale, "MasterScale='");
    if (out.MasterScale < 0.01f)
        out.MasterScale = 1.0f;
    out.LineSpacing = scaleValue(scale, "LineHeight='");
    out.BaseLine = scaleValue(scale, "BaseLine='");
    out.Kerning = scaleValue(scale, "Kerning='");
}

bool refuse(const char* file, const char* reason, SFontFileData& out)
{
    out.Glyphs.clear();
    AlertBox(Format("Font file %s can not be used: %s", file, reason), false);
    return false;
}

// "&#N;" or "&#xH;" as a Unicode code point; -1 when the value is not one.
long numericReference(const char* value)
{
    if (std::strncmp(value, "&#", 2) != 0 || !std::strchr(value, ';'))
        return -1;
    bool hex = value[2] == 'x' || value[2] == 'X';
    const char* digits = value + (hex ? 3 : 2);
    if (!std::isxdigit((unsigned char)*digits))
        return -1;
    char* end = nullptr;
    long codePoint = std::strtol(digits, &end, hex ? 16 : 10);
    return end && end > digits && *end == ';' ? codePoint : -1;
}

} // namespace

CString GetFontTextureName(const char* file, const char* text)
{
    CString name = GetTextBetween("<texture>", "</texture>", text);
    name.TrimLeft();
    name.TrimRight();
    if (name.IsEmpty())
        return GetPathPart(file, 1, 1, 1, 0) + ".png";
    return ResolveRelativePath(name, file);
}

unsigned char DecodeFontCharCode(const char* value, bool isUtf8)
{
    if (!value || !*value)
        return 0;
    long codePoint = numericReference(value);
    if (codePoint == 0)
        return 0;   // "&#0;" names no character
    if (codePoint > 0) {
        int byte = platform::UnicodeToAnsiChar(char32_t(codePoint));
        return byte > 0 ? (unsigned char)byte : 0;
    }
    CString text = XmlUnescape(value);
    if (text.IsEmpty())
        return 0;
    if (isUtf8) {
        bool isQuestionMark = text.GetAt(0) == '?';
        text = Utf8ToAnsi(text);
        if (text.IsEmpty())
            return 0;   // a cut-off sequence
        // The page's stand-in '?' for a letter it lacks must not replace the real '?' glyph.
        if (text.GetAt(0) == '?' && !isQuestionMark)
            return 0;
    }
    return (unsigned char)text.GetAt(0);
}

bool ParseFontText(const char* file, const char* fileText, SFontFileData& out)
{
    out = SFontFileData();
    CString text(fileText);
    CString scale = GetTextBetween("<scale ", "/>", text);
    if (text.Find("<font>") >= 0) {
        readSingleQuoteGlyphs(text, file, out);
    } else {
        scale += GetTextBetween("<Font ", ">", text);
        readDoubleQuoteGlyphs(text, file, scale, out);
    }
    readScale(scale, out);
    if (out.Glyphs.size() == 0)
        return refuse(file, "it has no glyphs", out);
    if (out.LineHeight <= 0)
        return refuse(file, "its line height is 0", out);
    return true;
}
