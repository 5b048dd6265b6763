// Code-page choice and conversions.
#include "codepage.h"
#include "debugger.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CPinnedPage {
    explicit CPinnedPage(const char* name) { EXPECT_TRUE(platform::PinAnsiCodePage(name)); }
    ~CPinnedPage() { platform::PinAnsiCodePage(nullptr); }
};

} // namespace

// Each locale's page, and a letter of it both ways as the page built maps
// it: every page a locale can choose is taken (CP1253 leaves 17 bytes
// unassigned).
TEST(CodePage, ChosenFromLocaleLanguageAndTaken)
{
    struct { const char* locale; const char* page; unsigned char byte = 0; char32_t letter = 0; } cases[] = {
        {"ru_RU.UTF-8", "CP1251", 0xC6, U'\u0416'}, {"uk_UA", "CP1251"}, {"sr_RS@latin", "CP1251"},
        {"pl_PL.UTF-8", "CP1250", 0xB3, U'\u0142'}, {"CS_cz", "CP1250"}, {"ro", "CP1250"},
        {"el_GR.UTF-8", "CP1253", 0xDC, U'\u03AC'}, {"tr_TR", "CP1254", 0xF0, U'\u011F'},
        {"de_DE.UTF-8", "CP1252", 0xE9, U'\u00E9'}, {"C", "CP1252"}, {"", "CP1252"}, {"rus_XX", "CP1252"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(platform::CodePageForLanguage(c.locale), c.page) << c.locale;
        if (!c.byte)
            continue;
        CPinnedPage pin(c.page);
        EXPECT_EQ(platform::AnsiCharToUnicode(c.byte), c.letter) << c.page;
        EXPECT_EQ(platform::UnicodeToAnsiChar(c.letter), c.byte) << c.page;
    }
}

TEST(CodePage, LocaleEnvironmentPicksPageUnlessPinned)
{
    platform::PinAnsiCodePage(nullptr);
    // Only the first choice of a run counts; pinning to null re-reads.
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    EXPECT_STREQ(platform::AnsiCodePage(), "CP1251");
    unsetenv("LC_ALL");
    platform::PinAnsiCodePage(nullptr);
    CPinnedPage pin("CP1250");
    EXPECT_STREQ(platform::AnsiCodePage(), "CP1250");
    EXPECT_FALSE(platform::PinAnsiCodePage("NO-SUCH-PAGE"));
    EXPECT_FALSE(platform::PinAnsiCodePage("UTF-16"));
    EXPECT_FALSE(platform::PinAnsiCodePage("UTF-8"));
    EXPECT_STREQ(platform::AnsiCodePage(), "CP1250");   // refused pins change nothing
}

TEST(CodePage, Cp1252RoundTripsAndReplacesMissing)
{
    CPinnedPage pin("CP1252");
    const std::string ansi = "caf\xE9 \x80 \x81";   // é, euro sign, an unassigned byte
    EXPECT_EQ(platform::AnsiToUtf16(ansi), std::u16string(u"caf\u00E9 \u20AC \u0081"));
    EXPECT_EQ(platform::AnsiToWide(ansi), std::wstring(L"caf\u00E9 \u20AC \u0081"));
    EXPECT_EQ(platform::Utf16ToAnsi(platform::AnsiToUtf16(ansi)), ansi);
    EXPECT_EQ(platform::WideToAnsi(platform::AnsiToWide(ansi)), ansi);
    // Cyrillic, a lone surrogate and a pair all become the default character.
    EXPECT_EQ(platform::Utf16ToAnsi(u"\u0416x\xD800y\U0001F600z"), "?x?y?z");
    EXPECT_EQ(platform::UnicodeToAnsiChar(0x20AC), 0x80);
    EXPECT_EQ(platform::UnicodeToAnsiChar(0x0416), -1);
    EXPECT_EQ(platform::UnicodeToAnsiChar(U'?'), '?');
}

TEST(CodePage, Cp1251MapsCyrillic)
{
    CPinnedPage pin("CP1251");
    EXPECT_EQ(platform::AnsiCharToUnicode(0xC0), U'\u0410');
    EXPECT_EQ(platform::WideToAnsi(L"\u0416\u0438\u0432"), "\xC6\xE8\xE2");
    EXPECT_EQ(platform::Utf16ToAnsi(u"\u00E9"), "?");
}

TEST(Debugger, NotAttachedUnderTestAndOutputIsHookable)
{
    EXPECT_FALSE(platform::IsDebuggerAttached());
    platform::BreakIntoDebugger();   // no tracer: must not kill the test
    std::string seen;
    auto previous = platform::SetDebugOutputHook([&](const char* text) { seen += text; });
    platform::DebugOutput(">>Closing dialogs a\n");
    platform::DebugOutput(nullptr);
    platform::SetDebugOutputHook(previous);
    EXPECT_EQ(seen, ">>Closing dialogs a\n");
    testing::internal::CaptureStderr();
    platform::DebugOutput("no newline");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no newline");
}
