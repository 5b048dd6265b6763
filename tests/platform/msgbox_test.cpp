// Message boxes: the unattended rule, the button sets, the hook and the
// standard-error fallback.
#include "msgbox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Makes sure no test here can open a real box.
struct CNoPerson {
    CNoPerson() { platform::SetBoxesInteractive(0); }
    ~CNoPerson() { platform::SetBoxesInteractive(-1); }
};

} // namespace

TEST(MessageBox, UnattendedAnswerIsYesOnlyForPlainYesNo)
{
    struct { unsigned type; int answer; } cases[] = {
        {MB_YESNO, IDYES},
        {MB_OK, 0},
        {MB_OKCANCEL, 0},
        {MB_YESNOCANCEL, 0},
        {MB_RETRYCANCEL, 0},
        {MB_YESNO | MB_ICONEXCLAMATION, 0},
        {MB_YESNO | MB_ICONQUESTION, 0},
        {MB_YESNO | MB_DEFBUTTON2, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::UnattendedBoxAnswer(c.type), c.answer) << "type " << c.type;
}

TEST(MessageBox, ButtonSetsUseWin32Results)
{
    using Ids = std::vector<int>;
    struct { unsigned type; Ids buttons; int closed; } cases[] = {
        {MB_OK, Ids{1}, 1},
        {MB_OKCANCEL, Ids{1, 2}, 2},
        {MB_ABORTRETRYIGNORE, Ids{3, 4, 5}, 3},
        {MB_YESNOCANCEL, Ids{6, 7, 2}, 2},
        {MB_YESNO | MB_ICONERROR, Ids{6, 7}, 7},
        {MB_RETRYCANCEL, Ids{4, 2}, 2},
        {0x9, Ids{1}, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::MessageBoxButtons(c.type), c.buttons) << "type " << c.type;
        EXPECT_EQ(platform::ClosedBoxAnswer(c.type), c.closed) << "type " << c.type;
    }
}

TEST(MessageBox, HookSeesEveryBoxAndAnswersIt)
{
    CNoPerson noPerson;
    std::vector<std::string> seen;
    auto previous = platform::SetMessageBoxHook([&](const char* text, const char* caption, unsigned type) {
        seen.push_back(std::string(caption) + "|" + text + "|" + std::to_string(type));
        return IDRETRY;
    });
    EXPECT_EQ(platform::ShowMessageBox("disk full", "/opt/game/game", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(platform::ShowMessageBox(nullptr, nullptr, MB_OK), IDRETRY);
    platform::SetMessageBoxHook(previous);
    EXPECT_EQ(seen, (std::vector<std::string>{"/opt/game/game|disk full|5", "||0"}));
}

TEST(MessageBox, WithoutPersonWritesToStandardErrorAndAnswersAsUnattended)
{
    CNoPerson noPerson;
    auto previous = platform::SetMessageBoxHook(nullptr);
    testing::internal::CaptureStderr();
    int yes = platform::ShowMessageBox("Continue?", "caption", MB_YESNO);
    int ok = platform::ShowMessageBox("Done", "caption", MB_OK | MB_ICONINFORMATION);
    int given = platform::ShowMessageBox("Go on?", "caption", MB_YESNO | MB_ICONEXCLAMATION, IDYES);
    std::string err = testing::internal::GetCapturedStderr();
    platform::SetMessageBoxHook(previous);
    EXPECT_EQ(yes, IDYES);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(given, IDYES) << "the caller's unattended answer";
    EXPECT_NE(err.find("Continue?"), std::string::npos);
    EXPECT_NE(err.find("Done"), std::string::npos);
    EXPECT_NE(err.find("caption"), std::string::npos);
}

TEST(MessageBox, InteractiveOverrideBeatsEnvironment)
{
    platform::SetBoxesInteractive(0);
    EXPECT_FALSE(platform::AreBoxesInteractive());
    platform::SetBoxesInteractive(1);
    EXPECT_TRUE(platform::AreBoxesInteractive());
    platform::SetBoxesInteractive(-1);
    setenv("ENGINE_NONINTERACTIVE", "1", 1);
    EXPECT_FALSE(platform::AreBoxesInteractive());
    unsetenv("ENGINE_NONINTERACTIVE");
}
