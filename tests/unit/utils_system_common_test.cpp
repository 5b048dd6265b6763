// Message-box rules, key state, paths, app-data folder, conversions, trace,
// time conversions and texts.
#include "utils_system_common.h"

#include "msgbox_recorder.h"
#include "utils_engine_context.h"
#include "utils_str.h"

#include "codepage.h"
#include "debugger.h"
#include "msgbox.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string executablePath()
{
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return std::string(path, length > 0 ? size_t(length) : 0);
}

// Sets or unsets an environment variable for the object's lifetime.
class CEnvVar {
public:
    CEnvVar(const char* name, const char* value) : Name(name)
    {
        const char* old = std::getenv(name);
        HadValue = old != nullptr;
        if (old)
            Old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~CEnvVar() { HadValue ? setenv(Name, Old.c_str(), 1) : unsetenv(Name); }

private:
    const char* Name;
    std::string Old;
    bool HadValue = false;
};

struct CFullscreen {
    explicit CFullscreen(char on) { GetDefaultEngineContext().Fullscreen = on; }
    ~CFullscreen() { GetDefaultEngineContext().Fullscreen = 0; }
};

} // namespace

TEST(MessageBoxRules, FullscreenShowsNothingAndAnswersYesOnlyToPlainYesNo)
{
    CMessageBoxRecorder boxes;
    CFullscreen fullscreen(1);
    struct { unsigned type; int answer; } cases[] = {
        {MB_YESNO, IDYES}, {MB_OK, 0}, {MB_YESNO | MB_ICONQUESTION, 0},
        {MB_YESNOCANCEL, 0}, {MB_OKCANCEL, 0}, {MB_OK | MB_ICONERROR, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EngineMessageBox("question", c.type), c.answer) << "type " << c.type;
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST(MessageBoxRules, WindowedBoxIsShownAndItsAnswerReturned)
{
    CMessageBoxRecorder boxes;
    boxes.answerNext(IDNO);
    EXPECT_EQ(EngineMessageBox("UserFolder not defined!", MB_YESNO), IDNO);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "UserFolder not defined!");
}

// With nobody to ask, a windowed box answers as a fullscreen one would: by
// the type the caller asked for, not the one with the icon added for the eye.
TEST(MessageBoxRules, UnattendedWindowedBoxAnswersTheQuestionAsAsked)
{
    auto previous = platform::SetMessageBoxHook(nullptr);
    platform::SetBoxesInteractive(0);
    struct { unsigned type; int answer; } cases[] = {
        {MB_YESNO, IDYES}, {MB_OK, 0}, {MB_YESNO | MB_ICONQUESTION, 0}, {MB_YESNOCANCEL, 0},
    };
    testing::internal::CaptureStderr();
    std::vector<int> answers;
    for (const auto& c : cases)
        answers.push_back(EngineMessageBox("question", c.type));
    std::string written = testing::internal::GetCapturedStderr();
    platform::SetBoxesInteractive(-1);
    platform::SetMessageBoxHook(previous);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(answers[i], cases[i].answer) << "type " << cases[i].type;
    EXPECT_NE(written.find("question"), std::string::npos);
}

TEST(MessageBoxRules, ExclamationIconOnlyForPlainOkAndYesNoKinds)
{
    CMessageBoxRecorder boxes;
    struct { unsigned type; unsigned shown; } cases[] = {
        {MB_OK, MB_OK | MB_ICONEXCLAMATION},
        {MB_OKCANCEL, MB_OKCANCEL | MB_ICONEXCLAMATION},
        {MB_ABORTRETRYIGNORE, MB_ABORTRETRYIGNORE},
        {MB_YESNOCANCEL, MB_YESNOCANCEL | MB_ICONEXCLAMATION},
        {MB_YESNO, MB_YESNO | MB_ICONEXCLAMATION},
        {MB_RETRYCANCEL, MB_RETRYCANCEL},
        {0x6, 0x6},
        {MB_OK | MB_ICONERROR, MB_OK | MB_ICONERROR},
        {MB_YESNO | MB_ICONINFORMATION, MB_YESNO | MB_ICONINFORMATION},
        {MB_OK | MB_DEFBUTTON2, MB_OK | MB_DEFBUTTON2 | MB_ICONEXCLAMATION},
    };
    for (const auto& c : cases)
        ShowMessageBox("text", c.type);
    ASSERT_EQ(boxes.Boxes.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(boxes.Boxes[i].Type, cases[i].shown) << "type " << cases[i].type;
        EXPECT_EQ(boxes.Boxes[i].Caption, executablePath());
    }
    EXPECT_FALSE(executablePath().empty());
}

TEST(SystemCommon, AbsolutePaths)
{
    struct { const char* path; bool absolute; } cases[] = {
        {"c:\\data\\a.png", true},
        {"c:/data/a.png", false},
        {"\\\\server\\share\\a.png", false},
        {"\\data\\a.png", false},
        {"data\\x:\\a.png", true},
        {"/opt/game/data/a.png", true},
        {"data/a.png", false},
        {"", false},
        {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsAbsolutePath(c.path), c.absolute) << (c.path ? c.path : "(null)");
}

TEST(SystemCommon, KeyStateFoldsSidedModifiersAndNeedsActiveApp)
{
    int& active = GetDefaultEngineContext().AppActive;
    active = 0;
    RecordKeyState(0xA0, true);                       // left Shift
    EXPECT_EQ(GetKeyStateIfActive(0x10), 0);          // another window is active
    active = -1;
    EXPECT_EQ(GetKeyStateIfActive(0x10), -32768);
    EXPECT_EQ(GetKeyStateIfActive(0xA0), -32768);
    RecordKeyState(0xA1, true);                       // right Shift too
    RecordKeyState(0xA0, false);
    EXPECT_LT(GetKeyStateIfActive(0x10), 0);          // still held on the right
    RecordKeyState(0xA1, false);
    EXPECT_EQ(GetKeyStateIfActive(0x10), 0);
    RecordKeyState(0xA3, true);
    RecordKeyState(0xA5, true);
    EXPECT_LT(GetKeyStateIfActive(0x11), 0);
    EXPECT_LT(GetKeyStateIfActive(0x12), 0);
    EXPECT_EQ(GetKeyStateIfActive(0x10), 0);
    RecordKeyState(0xA3, false);
    RecordKeyState(0xA5, false);
    RecordKeyState(' ', true);
    EXPECT_LT(GetKeyStateIfActive(' '), 0);
    RecordKeyState(' ', false);
    RecordKeyState(-1, true);
    RecordKeyState(999, true);
    EXPECT_EQ(GetKeyStateIfActive(-1), 0);
    EXPECT_EQ(GetKeyStateIfActive(999), 0);
    active = 0;
}

TEST(SystemCommon, AppDataFolderFollowsXdg)
{
    char buffer[MAX_PATH];
    {
        CEnvVar data("XDG_DATA_HOME", "/srv/data home");
        GetWindowsAppDataPath(buffer);
        EXPECT_STREQ(buffer, "/srv/data home");
    }
    {
        CEnvVar data("XDG_DATA_HOME", "relative/ignored");
        CEnvVar home("HOME", "/home/player");
        GetWindowsAppDataPath(buffer);
        EXPECT_STREQ(buffer, "/home/player/.local/share");
    }
    {
        CEnvVar data("XDG_DATA_HOME", nullptr);
        CEnvVar home("HOME", nullptr);
        GetWindowsAppDataPath(buffer);
        EXPECT_STREQ(buffer, "/tmp/");
        std::string tooLong = "/" + std::string(MAX_PATH, 'a');
        CEnvVar longHome("HOME", tooLong.c_str());
        GetWindowsAppDataPath(buffer);
        EXPECT_STREQ(buffer, "/tmp/");
    }
}

TEST(SystemCommon, CodePageCopiesClearAndTerminate)
{
    ASSERT_TRUE(platform::PinAnsiCodePage("CP1251"));
    char ansi[8];
    std::memset(ansi, 'Z', sizeof ansi);
    WideToAnsi(L"\u0416a\u00E9", ansi);
    EXPECT_STREQ(ansi, "\xC6" "a?");
    EXPECT_EQ(ansi[4], 'Z');                 // length + 1 cleared, no more
    wchar_t wide[8];
    std::wmemset(wide, L'Z', 8);
    AnsiToWide("\xC6" "b", wide);
    EXPECT_EQ(std::wstring(wide), L"\u0416b");
    EXPECT_EQ(wide[3], L'Z');
    AnsiToWide("", wide);
    EXPECT_EQ(wide[0], 0);
    platform::PinAnsiCodePage(nullptr);
}

TEST(SystemCommon, DebugTraceFormatsWithoutNewline)
{
    std::string seen;
    auto previous = platform::SetDebugOutputHook([&](const char* text) { seen += text; });
    DebugTrace(">>Creating dialog %s - ok\n", "dialogs\\main.dlg");
    DebugTrace("Error is %d", 5);
    platform::SetDebugOutputHook(previous);
    EXPECT_EQ(seen, ">>Creating dialog dialogs\\main.dlg - ok\nError is 5");
}

TEST(SystemCommon, TimeConversionsRoundTrip)
{
    SYSTEMTIME parts;
    for (int64_t time : {int64_t(0), int64_t(1700000000), int64_t(4102444800)}) {
        ASSERT_EQ(TimeToSystemTime(time, &parts), 1);
        int64_t back = -1;
        EXPECT_EQ(SystemTimeToTime(&back, &parts), 1);
        EXPECT_EQ(back, time);
        EXPECT_EQ(parts.wMilliseconds, 0);
    }
    EXPECT_EQ(TimeToSystemTime(INT64_MAX, &parts), 0);   // beyond the C library
    EXPECT_EQ(parts.wYear, 0);
}

TEST(SystemTimeText, TwentyFourHourTimeAndInvalidDates)
{
    SYSTEMTIME afternoon = {2026, 12, 1, 7, 14, 7, 9, 0};
    EXPECT_EQ(std::string((const char*)GetTimeString(&afternoon)), "14:07:09");
    EXPECT_FALSE(GetDateString(&afternoon).IsEmpty());
    SYSTEMTIME badMonth = afternoon;
    badMonth.wMonth = 13;
    EXPECT_TRUE(GetDateString(&badMonth).IsEmpty());
    EXPECT_TRUE(GetTimeString(&badMonth).IsEmpty());
    std::string now = (const char*)GetTimeString();
    ASSERT_EQ(now.size(), 8u);
    EXPECT_EQ(now[2], ':');
}

TEST(EngineContext, InstalledContextAnswersInsteadOfDefault)
{
    CMessageBoxRecorder boxes;
    CDefaultEngineContext engine;
    engine.Fullscreen = 1;
    engine.AppActive = -1;
    IEngineContext* previous = SetEngineContext(&engine);
    EXPECT_EQ(&GetEngineContext(), &engine);
    EXPECT_EQ(EngineMessageBox("q", MB_YESNO), IDYES);
    RecordKeyState(0x41, true);
    int keyWhileActive = GetKeyStateIfActive(0x41);
    RecordKeyState(0x41, false);
    EXPECT_EQ(SetEngineContext(previous), &engine);
    EXPECT_EQ(&GetEngineContext(), &GetDefaultEngineContext());
    EXPECT_LT(keyWhileActive, 0);
    EXPECT_TRUE(boxes.Boxes.empty());
    boxes.answerNext(IDNO);
    EXPECT_EQ(EngineMessageBox("q", MB_YESNO), IDNO);    // now shown and answered by the recorder
    EXPECT_EQ(boxes.Boxes.size(), 1u);
}
