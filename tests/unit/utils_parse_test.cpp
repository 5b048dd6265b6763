#include "utils_str_parse.h"

#include "utils_engine_context.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {
std::string str(const CString& s) { return std::string((const char*)s, size_t(s.GetLength())); }
}  // namespace

TEST(IntParsing, SignsSaturationAndNoBlankSkipping)
{
    const struct { const char* text; int value; } cases[] = {
        {"-5", -5}, {"+-5", -5}, {"--5", 5}, {"++5", 5}, {" 5", 0}, {"12abc", 12}, {"", 0}, {"+", 0},
        {"2147483647", 2147483647}, {"2147483648", 2147483647}, {"99999999999", 2147483647},
        {"-2147483648", -2147483647}, {"-99999999999", -2147483647}, {"007", 7}, {"\xE9", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
    EXPECT_EQ(StrToInt(nullptr), 0);
    EXPECT_EQ(StrToIntCore(nullptr), 0);
    EXPECT_EQ(StrToIntCore("-+5"), 0);
}

TEST(IntParsing, CoreStopsAfterTheSaturatingDigit)
{
    const struct { const char* text; int value; int consumed; } cases[] = {
        {"12345678901x", 2147483647, 11},
        {"123456789012x", 2147483647, 11},
        {"-12x", -12, 3},
        {"x", 0, 0},
    };
    for (const auto& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(StrToIntCore(c.text, &end), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
    }
    EXPECT_EQ(StrToLong(" 42"), 42);
    EXPECT_EQ(StrToLong("99999999999"), 2147483647);
    EXPECT_EQ(StrToLong("-99999999999"), -2147483647 - 1);
}

TEST(FloatParsing, Grammar)
{
    const struct { const char* text; float value; int consumed; } cases[] = {
        {"-.5", -0.5f, 3}, {"3.", 3.0f, 2}, {"1e", 1.0f, 2}, {"2.5E-1", 0.25f, 6}, {"abc", 0.0f, 0},
        {"+1", 0.0f, 0}, {"1.5e3x", 1500.0f, 5}, {"12", 12.0f, 2}, {"0.125", 0.125f, 5},
        {"1e+2", 100.0f, 4}, {"-0", -0.0f, 2}, {".", 0.0f, 1}, {"0e99999", 0.0f, 7},
    };
    for (const auto& c : cases) {
        float value = 99;
        const char* end = ParseFloat(c.text, &value);
        EXPECT_FLOAT_EQ(value, c.value) << c.text;
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
    }
    float value = 99;
    EXPECT_EQ(ParseFloat(nullptr, &value), nullptr);
    EXPECT_EQ(value, 0.0f);
    EXPECT_FLOAT_EQ(StrToFloat("+1.5"), 1.5f);
    EXPECT_FLOAT_EQ(StrToFloat("+-1.5"), -1.5f);
    EXPECT_EQ(StrToFloat(nullptr), 0.0f);
}

TEST(FloatParsing, LongFractionsAndHugeNumbers)
{
    // More than 15 fraction digits: the extra ones are read past but not scaled.
    const char* longFraction = "0.12345678901234567890123";
    float value = 0;
    const char* end = ParseFloat(longFraction, &value);
    EXPECT_NEAR(value, 0.123456789f, 1e-7);
    EXPECT_EQ(*end, 0);
    end = ParseFloat("1.0000000000000000000000000000000000000000000000000001x", &value);
    EXPECT_FLOAT_EQ(value, 1.0f);
    EXPECT_EQ(*end, 'x');

    std::string huge(60, '9');
    EXPECT_TRUE(std::isinf(StrToFloat(huge.c_str())));
    const char* digitsEnd = nullptr;
    std::string hugeThenLetter = huge + "z";
    ParseDigits(hugeThenLetter.c_str(), &digitsEnd);
    EXPECT_EQ(*digitsEnd, 'z');
    EXPECT_EQ(ParseDigits("429496719"), float(429496719u));
    EXPECT_EQ(ParseDigits("16777217"), 16777216.0f);
    EXPECT_EQ(ParseDigits(nullptr), 0.0f);
}

TEST(IntParsing, AnyBase)
{
    const struct { const char* text; bool hex; int value; } cases[] = {
        {"0xff", false, 255}, {"#ff", false, 255}, {"&#xff;", false, 255}, {"&#XFF", false, 255},
        {"&#255;", false, 255}, {"&#255", false, 255}, {"ff", true, 255}, {"0X10", false, 0},
        {"12", false, 12}, {"", false, 0}, {"#", false, 0}, {"0x", false, 0}, {"&#x", false, 0},
        {"0xFFFFFFFF", false, -1}, {"0x1FFFFFFFF", false, -1}, {"-7", false, -7}, {"#12zz", false, 18},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseIntAnyBase(c.text, c.hex), c.value) << c.text;
    EXPECT_EQ(ParseIntAnyBase(nullptr, false), 0);
}

TEST(ColourParsing, RedInTheLowByte)
{
    const struct { const char* text; uint32_t colour; } cases[] = {
        {"#FF0000", 0x0000FF}, {"#00ff00", 0x00FF00}, {"#0000FF", 0xFF0000}, {"#123456", 0x563412},
        {"#F00", 0}, {"255", 255}, {"", 0}, {"16711680", 0xFF0000}, {"#FF00001", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseColorText(c.text), c.colour) << c.text;
    ParseColorText("#GG\xE9zz!");   // unvalidated digits must not read outside the text
}

TEST(ValueText, ClassifyAndBits)
{
    const struct { const char* text; int kind; } kinds[] = {
        {"12", 1}, {"1.5", 2}, {"-1", 0}, {"1.2.3", 0}, {"", 1}, {"true", 3}, {"false", 3},
        {"True", 0}, {".5", 2}, {"1 ", 0},
    };
    for (const auto& c : kinds)
        EXPECT_EQ(ClassifyValueText(c.text), c.kind) << c.text;

    EXPECT_EQ(BitsFromText("101"), 5u);
    EXPECT_EQ(BitsFromText("1a0"), 6u);
    EXPECT_EQ(BitsFromText(""), 0u);
    EXPECT_EQ(BitsFromText(std::string(40, '1').c_str()), 0xFFFFFFFFu);
}

TEST(XmlEscapes, ReplacementOrder)
{
    EXPECT_EQ(str(XmlUnescape("&lt;b&gt; &quot;x&quot; &amp;lt; &amp;apos;")), "<b> \"x\" &lt; '");
    EXPECT_EQ(str(XmlUnescape("&#65;")), "&#65;");
    CString text("a<b>c");
    XmlEncodeAngles(text);
    EXPECT_EQ(str(text), "a&lt;b&gt;c");
    XmlDecodeAngles(text);
    EXPECT_EQ(str(text), "a<b>c");
}

TEST(StringDigests, ChecksumsAndHashes)
{
    EXPECT_EQ(StringChecksum("abc"), 41419057);
    EXPECT_EQ(str(ChecksumToString("")), "851979");
    char hex[33];
    Md5HexOfString(hex, "abc");
    EXPECT_STREQ(hex, "900150983cd24fb0d6963f7d28e17f72");

    EXPECT_EQ(StringHash33("ab"), 3299u);
    EXPECT_EQ(StringHash33(""), 262987514u);
    EXPECT_EQ(StringHash33("\xE9"), uint32_t(-23));
    EXPECT_EQ(StringHash33(nullptr), 0u);
}

TEST(StringDigests, IncrementNameNumber)
{
    const struct { const char* name; int delta; const char* out; } cases[] = {
        {"item7b", 2, "item9b"}, {"abc", 1, "abc1"}, {"x09y", 1, "x10y"}, {"5", -6, "-1"},
        {"a1b2", 1, "a2b2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(IncrementNameNumber(c.name, c.delta)), c.out) << c.name;
}

TEST(LengthParsing, PixelSuffixScalesByTheManifest)
{
    float& pixelSize = GetDefaultEngineContext().DefaultPixelSize;
    float old = pixelSize;
    pixelSize = 2.0f;
    const struct { const char* text; float value; } cases[] = {
        {"+10px", 20.0f}, {"10 px", 10.0f}, {"1e2px", 100.0f}, {"-1.5px", -3.0f}, {"3p", 3.0f},
        {"7pxels", 14.0f}, {"12", 12.0f}, {"", 0.0f}, {"px", 0.0f}, {"+-2px", -4.0f},
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(ParseLength(c.text), c.value) << c.text;
    EXPECT_EQ(ParseLength(nullptr), 0.0f);
    pixelSize = old;
}
