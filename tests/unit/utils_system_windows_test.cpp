// System services: captions and the popup menu, the single-instance lock,
// special folders, version name, path splitting and synchronisation.
#include "utils_system_windows.h"

#include "prompt.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Answers with a fixed item and keeps the menu it was shown.
class CAnsweringPresenter : public IPopupMenuPresenter {
public:
    explicit CAnsweringPresenter(int answer) : Answer(answer) { Previous = SetPopupMenuPresenter(this); }
    ~CAnsweringPresenter() override { SetPopupMenuPresenter(Previous); }

    int present(const std::vector<SPopupMenuEntry>& menu) override
    {
        Shown = menu;
        ++Calls;
        return Answer;
    }

    int Answer;
    int Calls = 0;
    std::vector<SPopupMenuEntry> Shown;

private:
    IPopupMenuPresenter* Previous;
};

void fill(CStringArray& items, const std::vector<const char*>& texts)
{
    items.RemoveAll();
    for (const char* text : texts)
        items.Add(text);
}

// "Caption" for a command, "Title[a,b]" for a group with its commands' indices.
std::string describe(const std::vector<SPopupMenuEntry>& menu)
{
    std::string text;
    for (const SPopupMenuEntry& entry : menu) {
        if (!text.empty())
            text += " | ";
        text += (const char*)entry.Caption;
        if (entry.Index >= 0) {
            text += "=" + std::to_string(entry.Index);
            continue;
        }
        text += "[";
        for (const SPopupMenuEntry& command : entry.Entries)
            text += std::string((const char*)command.Caption) + "=" + std::to_string(command.Index) + ",";
        text += "]";
    }
    return text;
}

// Sets an environment variable for one scope.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const char* value) : Name(name)
    {
        const char* old = getenv(name);
        HadOld = old != nullptr;
        Old = old ? old : "";
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~CScopedEnv()
    {
        if (HadOld)
            setenv(Name.c_str(), Old.c_str(), 1);
        else
            unsetenv(Name.c_str());
    }

private:
    std::string Name, Old;
    bool HadOld;
};

} // namespace

TEST(PopupMenu, TruncateWithEllipsis)
{
    struct { const char* text; int length; const char* expected; } cases[] = {
        {"   short", 30, "short"},
        {"Level 1", 3, "Lev..."},
        {"Options", 30, "Options"},
        {"abc", 3, "abc"},
        {"ab   cd", 4, "ab..."},   // blanks before the cut go
    };
    for (const auto& c : cases)
        EXPECT_STREQ(TruncateWithEllipsis(c.text, c.length), c.expected) << c.text;
    CString forty = CString("  ") + CString('x', 25) + "     " + CString('y', 8);
    EXPECT_STREQ(TruncateWithEllipsis(forty, 30), (CString('x', 25) + "...").operator const char*());
}

TEST(PopupMenu, CountSameCaptionCutsBothSides)
{
    CStringArray items;
    fill(items, {"Level 1", "Level 2", "Options", "  Lev"});
    EXPECT_EQ(CountSameCaption(items, "Level 9", 3), 2);
    EXPECT_EQ(CountSameCaption(items, "Lev", 3), 0);     // cut before the blanks go: "  Lev" reads "L..."
    EXPECT_EQ(CountSameCaption(items, "  Lxx", 3), 1);
    EXPECT_EQ(CountSameCaption(items, "Options", 3), 1);
    EXPECT_EQ(CountSameCaption(items, "Nothing", 3), 0);
}

TEST(PopupMenu, ModelGroupsNeighboursThatReadAlike)
{
    struct { std::vector<const char*> items; int groupLength; const char* expected; } cases[] = {
        {{"Level 1", "Level 2", "Options"}, 3, "Lev...[Level 1=0,Level 2=1,] | Options=2"},
        {{"Level 1", "Level 2", "Options"}, 0, "Level 1=0 | Level 2=1 | Options=2"},
        // a plain entry between keeps the group open; another group starts a new one
        {{"Level 1", "Options", "Level 2"}, 3, "Lev...[Level 1=0,Level 2=2,] | Options=1"},
        {{"Level 1", "Stage 1", "Level 2", "Stage 2"}, 3,
         "Lev...[Level 1=0,] | Sta...[Stage 1=1,] | Lev...[Level 2=2,] | Sta...[Stage 2=3,]"},
        {{"A very long caption that goes past thirty", "Other"}, 0, "A very long caption that goes...=0 | Other=1"},
    };
    CStringArray items;
    for (const auto& c : cases) {
        fill(items, c.items);
        EXPECT_EQ(describe(BuildPopupMenu(items, c.groupLength)), c.expected);
    }
}

TEST(PopupMenu, ThePresenterChoosesAndOutOfRangeAnswersAreRefused)
{
    CStringArray items;
    fill(items, {"Level 1", "Level 2", "Options"});
    {
        CAnsweringPresenter presenter(1);
        EXPECT_EQ(ShowPopupMenu(items, nullptr, 3), 1);
        EXPECT_EQ(describe(presenter.Shown), "Lev...[Level 1=0,Level 2=1,] | Options=2");
    }
    CAnsweringPresenter wild(7);
    EXPECT_EQ(ShowPopupMenu(items, nullptr, 3), -1);
    CStringArray none;
    EXPECT_EQ(ShowPopupMenu(none, nullptr, 3), -1);
    EXPECT_EQ(wild.Calls, 1);   // nothing is shown for no items
}

TEST(PopupMenu, DefaultPresenterAsksThroughThePromptWithGroupsFlattened)
{
    std::vector<platform::PromptChoice> asked;
    platform::PromptHook hook;
    hook.askChoice = [&](std::string_view, const std::vector<platform::PromptChoice>& choices) {
        asked = choices;
        return 1;   // the second entry as shown
    };
    platform::PromptHook previous = platform::SetPromptHook(hook);
    CStringArray items;
    fill(items, {"Level 1", "Options", "Level 2"});
    int chosen = ShowPopupMenu(items, nullptr, 3);
    platform::SetPromptHook(previous);

    EXPECT_EQ(chosen, 2);   // shown second: Level 2, grouped under Level 1
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].group, "Lev...");
    EXPECT_EQ(asked[1].caption, "Level 2");
    EXPECT_EQ(asked[2].group, "");
    EXPECT_EQ(asked[2].caption, "Options");
}

TEST(SingleInstance, SecondLockInTheSameProcessFindsTheFirst)
{
    CTempFolder runtime;
    CScopedEnv env("XDG_RUNTIME_DIR", runtime.path().c_str());
    std::string word = "TEST" + std::to_string(getpid());
    EXPECT_FALSE(IsAnotherInstanceRunning(word.c_str(), 0, false, ""));
    EXPECT_FALSE(IsAnotherInstanceRunning(word.c_str(), 0, false, ""));   // not kept: released
    EXPECT_FALSE(IsAnotherInstanceRunning(word.c_str(), 0, true, "_a"));
    EXPECT_TRUE(IsAnotherInstanceRunning(word.c_str(), 0, true, "_a"));
    EXPECT_TRUE(IsAnotherInstanceRunning(word.c_str(), 0, false, "_a"));
    EXPECT_TRUE(runtime.exists("MARROWLINE_" + word + "_a.lock"));
}

TEST(SingleInstance, SessionNamesPerScope)
{
    CScopedEnv display("DISPLAY", ":7");
    CScopedEnv session("XDG_SESSION_ID", "c3");
    CScopedEnv domain("USERDOMAIN", "HOME");
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_STREQ(MakeSessionUniqueName("M", 0), "M");
    EXPECT_STREQ(MakeSessionUniqueName("M", 1), "M_:7");
    EXPECT_STREQ(MakeSessionUniqueName("M", 2), "M_c3");
    EXPECT_EQ(std::string(MakeSessionUniqueName("M", 3)).rfind("M_HOME_", 0), 0u);
    EXPECT_EQ(std::string(MakeSessionUniqueName("M", 4)), std::string("M__") + host);
    EXPECT_STREQ(MakeSessionUniqueName("M", 9), "M");
}

TEST(SystemServices, SpecialFoldersFollowXdg)
{
    CTempFolder home;
    std::string root = home.path().substr(0, home.path().size() - 1);
    CScopedEnv homeEnv("HOME", root.c_str());
    CScopedEnv data("XDG_DATA_HOME", nullptr);
    CScopedEnv config("XDG_CONFIG_HOME", nullptr);
    mkdir(home.file(".config").c_str(), 0700);
    home.write(".config/user-dirs.dirs", "# dirs\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    char folder[MAX_PATH];
    struct { int csidl; std::string expected; } cases[] = {
        {CSIDL_APPDATA, root + "/.local/share"},
        {CSIDL_APPDATA | 0x8000, root + "/.local/share"},
        {CSIDL_PERSONAL, root + "/Dokumente"},
        {CSIDL_MYPICTURES, root},   // no Pictures folder: home itself
        {CSIDL_PROFILE, root},
        {0x3F, "/tmp/"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(GetSpecialFolder(folder, c.csidl));
        EXPECT_EQ(std::string(folder), c.expected) << c.csidl;
    }
    CScopedEnv longHome("HOME", ("/" + std::string(300, 'x')).c_str());
    for (int csidl : {CSIDL_APPDATA, CSIDL_PERSONAL, CSIDL_PROFILE}) {
        GetSpecialFolder(folder, csidl);
        EXPECT_STREQ(folder, "/tmp/") << csidl;   // never cut to fit
    }
}

TEST(SystemServices, VersionNameTimeAndMetrics)
{
    CString name;
    int major = 0, isNT = 0;
    ASSERT_TRUE(GetWindowsVersionName(name, &major, &isNT));
    EXPECT_EQ(std::string(name).rfind("Linux ", 0), 0u);
    EXPECT_GT(major, 0);
    EXPECT_EQ(isNT, 1);
    EXPECT_EQ(IsWin9x(), 0);

    SYSTEMTIME local = {};
    GetLocalTimeNow(&local);
    time_t now = time(nullptr);
    tm parts = {};
    localtime_r(&now, &parts);
    EXPECT_EQ(local.wYear, parts.tm_year + 1900);
    EXPECT_EQ(local.wDayOfWeek, parts.tm_wday);
    EXPECT_EQ(GetSystemMetric(5), 0);
}

TEST(SystemServicesDeathTest, PinningLeavesOnlyTheFirstProcessor)
{
    EXPECT_EXIT(
        {
            cpu_set_t cpus;
            bool pinned = PinProcessToFirstCpu(0) && sched_getaffinity(0, sizeof cpus, &cpus) == 0 &&
                          CPU_COUNT(&cpus) == 1 && CPU_ISSET(0, &cpus);
            _exit(pinned ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(SystemServices, SplitPathTakesEitherSeparator)
{
    struct { const char* path; const char* drive; const char* dir; const char* name; const char* ext; } cases[] = {
        {"c:\\games\\x\\run.exe", "c:", "\\games\\x\\", "run", ".exe"},
        {"/opt/game/data/a.b.png", "", "/opt/game/data/", "a.b", ".png"},
        {"data\\sub/file", "", "data\\sub/", "file", ""},
        {"folder.d/", "", "folder.d/", "", ""},
        {"", "", "", "", ""},
    };
    for (const auto& c : cases) {
        CString drive, dir, name, ext;
        SplitPath(c.path, &drive, &dir, &name, &ext);
        EXPECT_STREQ(drive, c.drive) << c.path;
        EXPECT_STREQ(dir, c.dir) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
        EXPECT_STREQ(ext, c.ext) << c.path;
    }
    SplitPath("a/b.c", nullptr, nullptr, nullptr, nullptr);   // every output is optional
}

TEST(Synchronisation, CriticalSectionIsReentrantAndExcludesOtherThreads)
{
    CCriticalSection section;
    int counter = 0;
    {
        CSingleLock outer(&section, true);
        EXPECT_TRUE(outer.IsLocked());
        CSingleLock inner(&section, true);   // the same thread enters again
        EXPECT_TRUE(inner.IsLocked());
        std::thread other([&] {
            CSingleLock lock(&section, true);
            counter = 1;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(counter, 0);   // still held here
        EXPECT_TRUE(inner.Unlock());
        EXPECT_FALSE(inner.IsLocked());
        outer.Unlock();
        other.join();
    }
    EXPECT_EQ(counter, 1);

    struct CHandleless : CSyncObject {
        bool Unlock() override { return true; }
    } waitable;
    CSingleLock plain(&waitable, true);
    EXPECT_FALSE(plain.IsLocked());   // nothing to wait on
    EXPECT_THROW(CSingleLock(nullptr), CBadException);
}
