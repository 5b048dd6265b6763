// The compose table is the one of the locale the environment names, as X
// programs choose it, and the C locale's when it names none or one without
// a table.
#include "x_compose.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(Compose, TableIsTheEnvironmentLocalesOrElseTheCLocales)
{
    struct SCase {
        const char* all;
        const char* ctype;
        const char* lang;
        char32_t acuteSpace;   // what the acute dead key types before a space
    } cases[] = {
        {"", "", "", U'\''},
        {"", "", "el_GR.UTF-8", U'\u0384'},
        {"", "el_GR.UTF-8", "de_DE.UTF-8", U'\u0384'},
        {"de_DE.UTF-8", "el_GR.UTF-8", "el_GR.UTF-8", U'\''},
        {"", "", "xx_YY.UTF-8", U'\''},
        {"", "", "en_US.ISO-8859-1", U'\''},   // a table not in UTF-8
    };
    // Locale variables set empty count as unset, so the ones found are put
    // back as set, empty when they were not.
    const char* const names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::string saved[3];
    for (int i = 0; i < 3; ++i)
        saved[i] = std::getenv(names[i]) ? std::getenv(names[i]) : "";
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.all) + "/" + c.ctype + "/" + c.lang);
        const char* values[] = {c.all, c.ctype, c.lang};
        for (int i = 0; i < 3; ++i)
            setenv(names[i], values[i], 1);
        platform::PinComposeLocale(nullptr);
        EXPECT_EQ(platform::ComposeSpacingForm(0xFE51), c.acuteSpace);
    }
    for (int i = 0; i < 3; ++i)
        setenv(names[i], saved[i].c_str(), 1);
    platform::PinComposeLocale(nullptr);
}

// A dead key the table gives no spacing form types its own character: alone,
// as the second key of a sequence, or as the first one a key cancels.
TEST(Compose, DeadKeysTheTableNeverSpacesTypeTheirOwnCharacter)
{
    const struct {
        unsigned long keysym;
        char32_t own;
    } keys[] = {{0xFE90, U'_'}, {0xFE5E, 0x309B}, {0xFE5F, 0x309C}, {0xFE64, 0x1FBF}, {0xFE66, 0x02F5}};
    platform::PinComposeLocale("en_US.UTF-8");
    int sequences = 0;
    for (const auto& k : keys) {
        SCOPED_TRACE(k.keysym);
        EXPECT_EQ(platform::KeysymCharacter(k.keysym), k.own);
        platform::CComposeState state;
        if (state.feed(k.keysym) != platform::EComposeStep::Pending)
            continue;   // the table starts no sequence with it
        ++sequences;
        EXPECT_EQ(state.feed(0x71), platform::EComposeStep::Cancelled);   // q
        EXPECT_EQ(state.accent(), k.own);
    }
    EXPECT_GE(sequences, 3);
    platform::PinComposeLocale(nullptr);
}

} // namespace
