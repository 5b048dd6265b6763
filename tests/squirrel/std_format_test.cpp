// The printf subset behind format(): conversions, flags, argument types and error texts.
#include "../../squirrel/sqstdlib/sqstdformat.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using sqstd::FormatArg;

FormatArg Int(int32_t v) { return {FormatArg::Type::Integer, v}; }
FormatArg Flt(float v) { return {FormatArg::Type::Float, 0, v}; }
FormatArg Str(const char* s) { return {FormatArg::Type::String, 0, 0.0f, s}; }
FormatArg Other() { return {}; }

struct Case {
    const char* fmt;
    std::vector<FormatArg> args;
    const char* expected;  // output, or the error text when isError
    bool isError;
};

TEST(StdFormat, ConversionsAndErrors)
{
    const Case cases[] = {
        {"%d", {Int(42)}, "42", false},
        {"%i|%5d|%-5d|", {Int(-1), Int(7), Int(7)}, "-1|    7|7    |", false},
        {"%05d %+d % d", {Int(-42), Int(5), Int(5)}, "-0042 +5  5", false},
        {"%x %X %o %#x", {Int(255), Int(255), Int(8), Int(255)}, "ff FF 10 0xff", false},
        {"%u %x", {Int(-1), Int(-1)}, "4294967295 ffffffff", false},
        {"%c%c", {Int(72), Int(105)}, "Hi", false},
        {"%d %d %x", {Flt(3.9f), Flt(-3.9f), Flt(16.5f)}, "3 -3 10", false},
        {"%d", {Flt(1e10f)}, "-2147483648", false},
        {"%f %.2f", {Flt(1.5f), Int(3)}, "1.500000 3.00", false},
        {"%f", {Flt(0.1234567f)}, "0.123457", false},
        {"%g %g %G", {Flt(0.1f), Flt(1e20f), Flt(1e-10f)}, "0.1 1e+20 1E-10", false},
        {"%e %E", {Flt(12345.0f), Flt(0.5f)}, "1.234500e+04 5.000000E-01", false},
        {"%8.3f|", {Flt(-2.25f)}, "  -2.250|", false},
        {"%s %-4s| %.2s %3s", {Str("hi"), Str("ab"), Str("abcdef"), Str("x")}, "hi ab  | ab   x", false},
        {"100%% of %d%%", {Int(5)}, "100% of 5%", false},
        {"plain", {Int(1), Str("ignored")}, "plain", false},
        {"", {}, "", false},
        {"%d", {}, "not enough paramters for the given format string", true},
        {"%d %d", {Int(1)}, "not enough paramters for the given format string", true},
        {"%d", {Str("1")}, "integer expected for the specified format", true},
        {"%x", {Other()}, "integer expected for the specified format", true},
        {"%f", {Str("1")}, "float expected for the specified format", true},
        {"%g", {Other()}, "float expected for the specified format", true},
        {"%s", {Int(5)}, "string expected for the specified format", true},
        {"%s", {Other()}, "string expected for the specified format", true},
        {"%123d", {Int(1)}, "width format too long", true},
        {"%.123f", {Flt(1)}, "precision format too long", true},
        {"%----------------------d", {Int(1)}, "format too long", true},
        {"%*d", {Int(1), Int(2)}, "invalid format", true},
        {"%ld", {Int(1)}, "invalid format", true},
        {"%z", {Int(1)}, "invalid format", true},
        {"abc%", {Int(1)}, "invalid format", true},
    };
    for (const Case& c : cases) {
        std::string out;
        const char* err = sqstd::FormatValues(c.fmt, c.args.data(), c.args.size(), out);
        if (c.isError) {
            ASSERT_NE(err, nullptr) << c.fmt;
            EXPECT_STREQ(err, c.expected) << c.fmt;
        } else {
            EXPECT_EQ(err, nullptr) << c.fmt << ": " << err;
            EXPECT_EQ(out, c.expected) << c.fmt;
        }
    }
}

TEST(StdFormat, LongOutputIsNotCutButHasALimit)
{
    std::string longText(5000, 'x');
    std::string out;
    FormatArg arg = Str(longText.c_str());
    ASSERT_EQ(sqstd::FormatValues("[%s]", &arg, 1, out), nullptr);
    EXPECT_EQ(out, "[" + longText + "]");
    // a text longer than a string may be is refused, whichever piece crosses the limit
    out.clear();
    EXPECT_EQ(sqstd::FormatValues("[%s]", &arg, 1, out, 5002), nullptr);
    const char* const tooLong[] = {"[%s]", "%s%%", "%s[]"};
    for (const char* fmt : tooLong) {
        out.clear();
        EXPECT_STREQ(sqstd::FormatValues(fmt, &arg, 1, out, 5000), "string too long") << fmt;
    }
}

TEST(StdFormat, TruncationFollowsTheOriginalRuntime)
{
    EXPECT_EQ(sqstd::TruncateToInteger(2.9f), 2);
    EXPECT_EQ(sqstd::TruncateToInteger(-2.9f), -2);
    EXPECT_EQ(sqstd::TruncateToInteger(3e9f), INT32_MIN);
    EXPECT_EQ(sqstd::TruncateToInteger(-3e9f), INT32_MIN);
    EXPECT_EQ(sqstd::TruncateToInteger(0.0f / 0.0f), INT32_MIN);
    EXPECT_EQ(sqstd::TruncateToInteger(-2147483648.0f), INT32_MIN);
}

}  // namespace
