// The C regular-expression interface: matching semantics, compile errors and robustness.
#include "sqstdstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

struct RexPtr {
    explicit RexPtr(const char* pattern) { Rex = sqstd_rex_compile(pattern, &Error); }
    ~RexPtr() { sqstd_rex_free(Rex); }
    RexPtr(const RexPtr&) = delete;
    RexPtr& operator=(const RexPtr&) = delete;
    SQRex* Rex = nullptr;
    const SQChar* Error = nullptr;
};

struct SearchCase {
    const char* pattern;
    const char* text;
    int begin;  // -1: no match
    int end;
};

TEST(StdRex, SearchFindsFirstMatch)
{
    const SearchCase cases[] = {
        // the engine's value-end pattern: a newline, then '-' or '['
        {"\\n[\\-\\[]", "abc\n-x", 3, 5},
        {"\\n[\\-\\[]", "abc\n[T[", 3, 5},
        {"\\n[\\-\\[]", "a\nb\nc\n-Key:", 5, 7},
        {"\\n[\\-\\[]", "a\n\n", -1, 0},
        {"\\n[\\-\\[]", "", -1, 0},
        // anchors
        {"^ab", "xab", -1, 0},
        {"^ab", "abab", 0, 2},
        {"ab$", "abab", 2, 4},
        {"a^b", "xa^b", 1, 4},
        {"(^a|b)", "ba", 0, 1},
        // any byte, newlines included
        {"a.b", "xa\nb", 1, 4},
        // classes in brackets
        {"[a-c]+", "xxbcay", 2, 5},
        {"[^0-9]+", "12ab3", 2, 4},
        {"[\\d]+", "ab123c", 2, 5},
        {"[\\]]", "a]", 1, 2},
        {"[\\t ]+x", "a \t x", 1, 5},
        {"[-a]+", "b-a-c", 1, 4},
        {"[\\b]", "ab", 1, 2},
        // named classes
        {"\\w+", "  foo_1 ", 2, 7},
        {"\\d\\D", "a12b", 2, 4},
        {"\\s+", "ab \t\ncd", 2, 5},
        {"\\l+", "ABcdE", 2, 4},
        {"\\u+", "abCDe", 2, 4},
        {"\\x+", "zz0fAg", 2, 5},
        {"\\p+", "ab.,!c", 2, 5},
        {"\\a+", "12ab3", 2, 4},
        {"\\c", "ab\x01", 2, 3},
        // counted repetition
        {"a{2}", "aaa", 0, 2},
        {"a{2,}", "baaaa", 1, 5},
        {"a{1,2}b", "aaab", 1, 4},
        {"x{3}", "xxaxx", -1, 0},
        // alternation and groups
        {"cat|dog", "hotdog", 3, 6},
        {"a|b|c", "zzc", 2, 3},
        {"(?:ab)+", "xababc", 1, 5},
        {"(a|ab)c", "abc", -1, 0},  // no backtracking into a taken branch
        // repetitions stop where the next element matches
        {".*x", "axbx", 0, 2},
        {"a*ab", "aaab", 1, 4},
        {"a*a", "a", -1, 0},
        {"a*", "", -1, 0},  // an empty subject never matches
        // whitespace-based word boundaries
        {"foo\\b", "foobar foo", 7, 10},
        {"foo\\b", "foo bar", 0, 3},
        {"\\bfoo", "foo", 0, 3},
        {"o\\B", "foo", 1, 2},
        // escaped literals and control escapes
        {"\\(\\.\\)", "a(.)", 1, 4},
        {"\\t", "a\tb", 1, 2},
        {"{}", "a{}", 1, 3},
    };
    for (const SearchCase& c : cases) {
        RexPtr rex(c.pattern);
        ASSERT_NE(rex.Rex, nullptr) << c.pattern << ": " << (rex.Error ? rex.Error : "");
        const SQChar* b = nullptr;
        const SQChar* e = nullptr;
        SQBool found = sqstd_rex_search(rex.Rex, c.text, &b, &e);
        if (c.begin < 0) {
            EXPECT_FALSE(found) << c.pattern << " on '" << c.text << "'";
            continue;
        }
        ASSERT_TRUE(found) << c.pattern << " on '" << c.text << "'";
        EXPECT_EQ(b - c.text, c.begin) << c.pattern << " on '" << c.text << "'";
        EXPECT_EQ(e - c.text, c.end) << c.pattern << " on '" << c.text << "'";
    }
}

TEST(StdRex, MatchNeedsTheWholeText)
{
    const struct {
        const char* pattern;
        const char* text;
        bool matches;
    } cases[] = {
        {"[a-z]+", "abc", true},  {"[a-z]+", "abc1", false}, {"a*ab", "aaab", false},
        {"a*", "", true},         {"^$", "", true},          {"x|y", "y", true},
        {"a{2,3}", "aaaa", false}, {"\\d+\\.\\d+", "3.14", true},
    };
    for (const auto& c : cases) {
        RexPtr rex(c.pattern);
        ASSERT_NE(rex.Rex, nullptr) << c.pattern;
        EXPECT_EQ(sqstd_rex_match(rex.Rex, c.text) != 0, c.matches) << c.pattern << " on '" << c.text << "'";
    }
}

TEST(StdRex, CapturesReportGroupsInPatternOrder)
{
    RexPtr rex("(\\w+)=(?:v)?(\\d+)");
    ASSERT_NE(rex.Rex, nullptr);
    EXPECT_EQ(sqstd_rex_getsubexpcount(rex.Rex), 3);
    const char* text = "x key=42;";
    const SQChar* b;
    const SQChar* e;
    ASSERT_TRUE(sqstd_rex_search(rex.Rex, text, &b, &e));
    const int expected[][2] = {{2, 8}, {2, 5}, {6, 8}};
    for (int i = 0; i < 3; ++i) {
        SQRexMatch m;
        ASSERT_TRUE(sqstd_rex_getsubexp(rex.Rex, i, &m));
        EXPECT_EQ(m.begin - text, expected[i][0]) << i;
        EXPECT_EQ(m.len, expected[i][1] - expected[i][0]) << i;
    }
    SQRexMatch m;
    EXPECT_FALSE(sqstd_rex_getsubexp(rex.Rex, 3, &m));
    EXPECT_FALSE(sqstd_rex_getsubexp(rex.Rex, -1, &m));
}

TEST(StdRex, FailedBranchLeavesNoCapture)
{
    RexPtr rex("(a)x|b");
    ASSERT_NE(rex.Rex, nullptr);
    ASSERT_TRUE(sqstd_rex_search(rex.Rex, "ab", nullptr, nullptr));
    SQRexMatch m;
    ASSERT_TRUE(sqstd_rex_getsubexp(rex.Rex, 1, &m));
    EXPECT_EQ(m.begin, nullptr);
    EXPECT_EQ(m.len, 0);
}

TEST(StdRex, SearchRangeStopsAtTheGivenEnd)
{
    RexPtr rex("b+");
    const char* text = "aabbbb";
    const SQChar* b;
    const SQChar* e;
    ASSERT_TRUE(sqstd_rex_searchrange(rex.Rex, text, text + 4, &b, &e));
    EXPECT_EQ(b - text, 2);
    EXPECT_EQ(e - text, 4);
    EXPECT_FALSE(sqstd_rex_searchrange(rex.Rex, text, text + 2, &b, &e));
}

TEST(StdRex, MalformedPatternsGiveErrors)
{
    const struct {
        const char* pattern;
        const char* error;
    } cases[] = {
        {"(ab", "expected paren"},
        {"(?x)", "expected paren"},
        {"[abc", "expected paren"},
        {"[+-]", "expected paren"},  // a trailing '-' takes the ']' as the end of a range
        {"[]", "empty class"},
        {"[^]", "empty class"},
        {"[z-a]", "invalid range"},
        {"[\\d-z]", "cannot use character classes in ranges"},
        {"[a-\\w]", "cannot use character classes in ranges"},
        {"a{", "number expected"},
        {"a{x}", "number expected"},
        {"a{2", ", or } expected"},
        {"a{2,3", ", or } expected"},
        {"a{99999}", "overflow in numeric constant"},
        {"ab)", "unexpected character"},
        {"*a", "unexpected character"},
        {"a**", "unexpected character"},
        {"a\nb", "letter expected"},
        {"a\xe9", "letter expected"},
        {"ab\\", "letter expected"},
    };
    for (const auto& c : cases) {
        const SQChar* err = nullptr;
        SQRex* rex = sqstd_rex_compile(c.pattern, &err);
        EXPECT_EQ(rex, nullptr) << c.pattern;
        ASSERT_NE(err, nullptr) << c.pattern;
        EXPECT_STREQ(err, c.error) << c.pattern;
        sqstd_rex_free(rex);
    }
    std::string deep(200, '(');
    deep += std::string(200, ')');
    const SQChar* err = nullptr;
    EXPECT_EQ(sqstd_rex_compile(deep.c_str(), &err), nullptr);
    EXPECT_NE(err, nullptr);
}

TEST(StdRex, NestedRepetitionsTerminate)
{
    const std::string text = std::string(1000, 'a') + "c";
    const char* patterns[] = {"((((a*)*)*)*)*b", "(a+)+b", "(a|a?)+b", "(?:a*)*$x", "(a*a*a*a*a*a*)*b"};
    for (const char* p : patterns) {
        RexPtr rex(p);
        ASSERT_NE(rex.Rex, nullptr) << p;
        EXPECT_FALSE(sqstd_rex_search(rex.Rex, text.c_str(), nullptr, nullptr)) << p;
    }
    std::string chain;
    for (int i = 0; i < 5000; ++i) chain += "a+";
    RexPtr longRex(chain.c_str());
    ASSERT_NE(longRex.Rex, nullptr);
    sqstd_rex_search(longRex.Rex, text.c_str(), nullptr, nullptr);  // must neither crash nor hang
}

// Random patterns over the syntax's own characters: compiling gives a regex or an error,
// and every reported match lies inside the text.
TEST(StdRex, RandomPatternsNeverCrash)
{
    const char alphabet[] = "ab.*+?|()[]^$-{}0129,:\\dwsbB \n";
    const char textAlphabet[] = "ab \n-[x9";
    std::mt19937 rng(12345);
    int compiled = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string pattern;
        size_t len = rng() % 24;
        for (size_t k = 0; k < len; ++k) pattern += alphabet[rng() % (sizeof alphabet - 1)];
        const SQChar* err = nullptr;
        SQRex* rex = sqstd_rex_compile(pattern.c_str(), &err);
        if (!rex) {
            ASSERT_NE(err, nullptr) << pattern;
            continue;
        }
        ++compiled;
        for (int t = 0; t < 4; ++t) {
            std::string text;
            size_t tlen = rng() % 40;
            for (size_t k = 0; k < tlen; ++k) text += textAlphabet[rng() % (sizeof textAlphabet - 1)];
            const SQChar* b = nullptr;
            const SQChar* e = nullptr;
            if (sqstd_rex_search(rex, text.c_str(), &b, &e)) {
                ASSERT_LE(text.c_str(), b) << pattern;
                ASSERT_LE(b, e) << pattern;
                ASSERT_LE(e, text.c_str() + text.size()) << pattern;
            }
            sqstd_rex_match(rex, text.c_str());
        }
        sqstd_rex_free(rex);
    }
    EXPECT_GT(compiled, 1000);
}

}  // namespace
