// The clipboard between two programs on a display of the test's own: the text
// of another owner arrives as UTF-8, the program's own text reaches others, and
// an owner that never answers costs a bounded wait.
#include "x_clipboard.h"

#include "other_x_client.h"
#include "xvfb_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class Clipboard : public testing::Test {
protected:
    void SetUp() override
    {
        if (Server.name().empty())
            GTEST_SKIP() << "no Xvfb";
        if (const char* old = std::getenv("DISPLAY"))
            OldDisplay = old, HadDisplay = true;
        setenv("DISPLAY", Server.name().c_str(), 1);
        platform::CloseClipboard();   // the other program must not share a connection
    }
    void TearDown() override
    {
        platform::CloseClipboard();
        if (HadDisplay)
            setenv("DISPLAY", OldDisplay.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

    CXvfbServer Server;
    std::string OldDisplay;
    bool HadDisplay = false;
};

TEST_F(Clipboard, TextOfAnotherProgramArrivesAsUtf8)
{
    std::string pasted;
    WithOtherXClient(
        [](const SOtherXClient& other) {
            if (!platform::SetClipboardUtf8("na\xC3\xAFve caf\xC3\xA9"))
                return std::string("not owned");
            other.ready();
            while (!other.stopped(5))
                platform::ServeClipboard();
            return std::string();
        },
        [&](int) { pasted = platform::GetClipboardUtf8(5000); });
    EXPECT_EQ(pasted, "na\xC3\xAFve caf\xC3\xA9");
}

TEST_F(Clipboard, OwnTextReachesAnotherProgram)
{
    const std::string heard = WithOtherXClient(
        [](const SOtherXClient& other) {
            other.ready();
            return platform::GetClipboardUtf8(5000);
        },
        [](int saidFd) {
            for (int i = 0; i < 1000 && !OtherXClientReturned(saidFd, 10); ++i)   // 10 s at most
                platform::ServeClipboard();
        },
        [] {
            ASSERT_TRUE(platform::SetClipboardUtf8("d\xC3\xA9j\xC3\xA0 vu"));
            EXPECT_EQ(platform::GetClipboardUtf8(0), "d\xC3\xA9j\xC3\xA0 vu") << "its own, without asking";
        });
    EXPECT_EQ(heard, "d\xC3\xA9j\xC3\xA0 vu");
}

TEST_F(Clipboard, OwnerThatNeverAnswersCostsABoundedWait)
{
    std::string pasted = "unchanged";
    WithOtherXClient(
        [](const SOtherXClient& other) {
            if (!platform::SetClipboardUtf8("never sent"))
                return std::string("not owned");
            other.ready();
            while (!other.stopped(1000)) {
            }
            return std::string();
        },
        [&](int) { pasted = platform::GetClipboardUtf8(200); });
    EXPECT_EQ(pasted, "");
}

}   // namespace
