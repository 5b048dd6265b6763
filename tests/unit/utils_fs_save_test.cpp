// Saving files whole: failures at each step, saves killed midway, and the
// temporaries they leave behind.
#include "utils_fs_save.h"

#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

namespace {

ESaveStep FailingStep;
int FailingError;

int failAtStep(ESaveStep step)
{
    return step == FailingStep ? FailingError : 0;
}

int killAtStep(ESaveStep step)
{
    if (step == FailingStep)
        ::raise(SIGKILL);
    return 0;
}

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class SaveFileTest : public testing::Test {
protected:
    void SetUp() override { SetLogFolder(Folder.path().c_str()); }
    void TearDown() override
    {
        SetSaveFaultHook(nullptr);
        SetLogFolder(nullptr);
    }

    std::string logText() const { return (const char*)GetDebugLogBuffer()->Text; }

    CTempFolder Folder;
};

} // namespace

// A full disk, a folder that refuses new files or a failed rename: the old
// file stays byte for byte, no temporary is left, and the log says why.
TEST_F(SaveFileTest, FailedStepsLeaveTheOldFileAndNoTemporary)
{
    // The longest name a profile gets (185 characters): a temporary named
    // after it would pass the 255-byte limit.
    const std::string longName = "pr_" + std::string(247, 'Q') + ".ini";
    const struct {
        ESaveStep Step;
        int Error;
        const char* Reason;
    } faults[] = {
        {ESaveStep::Create, ENOSPC, "(creating its temporary file): No space left on device"},
        {ESaveStep::Create, EACCES, "(creating its temporary file): Permission denied"},
        {ESaveStep::Write, ENOSPC, "(writing): No space left on device"},
        {ESaveStep::Sync, EIO, "(flushing to the disk): Input/output error"},
        {ESaveStep::Rename, EXDEV, "(renaming over the old file): Invalid cross-device link"},
    };
    for (const std::string& name : {std::string("plain.ini"), longName}) {
        const std::string path = Folder.file(name);
        ASSERT_TRUE(SaveFileWhole(path.c_str(), "old text", 8)) << name;
        for (const auto& fault : faults) {
            FailingStep = fault.Step;
            FailingError = fault.Error;
            SetSaveFaultHook(failAtStep);
            EXPECT_FALSE(SaveFileWhole(path.c_str(), "the new and longer text", 23)) << fault.Reason;
            SetSaveFaultHook(nullptr);
            EXPECT_EQ(Folder.read(name), "old text") << fault.Reason;
            EXPECT_NE(logText().find("Could not save " + path + " " + fault.Reason), std::string::npos)
                << fault.Reason << "\n" << logText();
        }
        EXPECT_TRUE(SaveFileWhole(path.c_str(), "new", 3));
        EXPECT_EQ(Folder.read(name), "new");
    }
    EXPECT_EQ(namesIn(Folder.path()), (std::set<std::string>{"plain.ini", longName}));
}

// A save through a symbolic link replaces the file the link names, with its
// temporary beside that file, and the link stays; a read-only file, or a
// pipe, is kept and the log says so (mode bits too: root may write anything).
TEST_F(SaveFileTest, LinksStayLinksAndReadOnlyFilesAreKept)
{
    std::filesystem::create_directories(Folder.file("elsewhere"));
    Folder.write("elsewhere/real.ini", "old");
    Folder.write("elsewhere/locked.ini", "old");
    Folder.write("locked.ini", "old");
    for (const char* name : {"elsewhere/locked.ini", "locked.ini"})
        std::filesystem::permissions(Folder.file(name), std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::group_read |
                                                            std::filesystem::perms::others_read);
    ASSERT_EQ(::mkfifo(Folder.file("elsewhere/pipe").c_str(), 0600), 0);
    const struct {
        std::string Name, Link;   // no link: a plain file
        std::string Holder;       // the file that gets the text; none when not saved
    } cases[] = {
        {"link.ini", "elsewhere/real.ini", "elsewhere/real.ini"},
        {"chain.ini", Folder.file("link.ini"), "elsewhere/real.ini"},
        {"dangling.ini", "elsewhere/fresh.ini", "elsewhere/fresh.ini"},
        {"nowhere.ini", "missing/fresh.ini", ""},
        {"loop.ini", "loop.ini", ""},
        {"locked.ini", "", ""},
        {"lockedlink.ini", "elsewhere/locked.ini", ""},
        {"pipelink.ini", "elsewhere/pipe", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = Folder.file(c.Name);
        if (!c.Link.empty())
            std::filesystem::create_symlink(c.Link, path);
        const std::string text = "new for " + c.Name;
        EXPECT_EQ(SaveFileWhole(path.c_str(), text.data(), text.size()), !c.Holder.empty()) << logText();
        if (!c.Holder.empty()) {
            EXPECT_EQ(Folder.read(c.Holder), text);
        }
        std::error_code error;
        if (!c.Link.empty()) {
            EXPECT_EQ(std::filesystem::read_symlink(path, error).string(), c.Link) << "still the link";
        }
    }
    EXPECT_EQ(Folder.read("locked.ini"), "old");
    EXPECT_EQ(Folder.read("elsewhere/locked.ini"), "old");
    EXPECT_NE(logText().find("Not saved " + Folder.file("locked.ini") + ": it is read-only"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_fifo(Folder.file("elsewhere/pipe")));
    EXPECT_EQ(namesIn(Folder.file("elsewhere")),
              (std::set<std::string>{"real.ini", "locked.ini", "fresh.ini", "pipe"}));
}

// A process killed before each step of its save leaves the old file whole;
// the temporaries it leaves are removed by the next start, and nothing else.
TEST_F(SaveFileTest, KilledSavesLeaveTheOldFileAndStartUpClearsTheirTemporaries)
{
    const std::string path = Folder.file("profile.ini");
    const std::string old(100000, 'o'), fresh(200000, 'n');
    ASSERT_TRUE(SaveFileWhole(path.c_str(), old.data(), old.size()));
    for (ESaveStep step : {ESaveStep::Create, ESaveStep::Write, ESaveStep::Sync, ESaveStep::Rename}) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FailingStep = step;
            SetSaveFaultHook(killAtStep);
            SaveFileWhole(path.c_str(), fresh.data(), fresh.size());
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(Folder.read("profile.ini"), old);
    }
    // Killed after creating, writing and flushing: three temporaries.
    std::set<std::string> left = namesIn(Folder.path());
    EXPECT_EQ(left.size(), 4u);

    // Other files with look-alike names, and a temporary of a live process.
    const std::string live = ".~save-" + std::to_string(getpid()) + "-7.tmp";
    for (const std::string& name : {std::string("notes.tmp"), std::string("profile.ini.123.tmp"),
                                    std::string(".~save-x-1.tmp"), std::string(".~save-12-1.tmp.bak"), live})
        Folder.write(name, "keep");
    // One left in a folder a script saved into, below the one cleaned at start.
    const std::string stale = *std::find_if(left.begin(), left.end(), [](const std::string& n) { return n[0] == '.'; });
    std::filesystem::create_directories(Folder.file("saves/slot"));
    Folder.write("saves/slot/" + stale, "gone");
    EXPECT_EQ(RemoveStaleSaveTemporaries(Folder.path().c_str()), 3);
    EXPECT_EQ(namesIn(Folder.path()),
              (std::set<std::string>{"profile.ini", "notes.tmp", "profile.ini.123.tmp", ".~save-x-1.tmp",
                                     ".~save-12-1.tmp.bak", live, "saves"}));
    EXPECT_EQ(Folder.read("profile.ini"), old);
    EXPECT_EQ(RemoveStaleSaveTemporariesBelow(Folder.path().c_str()), 1);
    EXPECT_TRUE(namesIn(Folder.file("saves/slot")).empty());
}
