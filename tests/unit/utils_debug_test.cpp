// Fatal alert, alert box, assertion box, debug log and main-thread check.
#include "utils_debug.h"

#include "msgbox_recorder.h"
#include "temp_folder.h"
#include "utils_assert.h"
#include "utils_engine_context.h"
#include "utils_fs.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <thread>

namespace {

const char* const ExitMessage = "Thread-unsafe method is called from altthread!!!";

class DebugLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetLogFolder(Folder.path().c_str());
        platform::ForgetMainThread();
        GetDefaultEngineContext().Fullscreen = 0;
    }
    void TearDown() override
    {
        platform::ForgetMainThread();
        GetDefaultEngineContext().Fullscreen = 0;
        SetLogFolder(nullptr);
    }

    CString& logText() { return GetDebugLogBuffer()->Text; }
    std::string logFile() const { return Folder.read("last_debug.log"); }

    CTempFolder Folder;
    CMessageBoxRecorder Boxes;
};

// A log line: date, blank, 24-hour time, tab, text.
std::string lineRegex(const std::string& escapedText)
{
    return "[^\t\n]+ [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\t" + escapedText + "\n";
}

} // namespace

TEST_F(DebugLogTest, LinesHaveDateTimeTabTextAndSourcePlace)
{
    DebugLog("Starting up");
    DebugLog("Pushing texture a.png", "src/rendering.cpp", 42);
    DebugLog(nullptr);
    FlushDebugLog(false);
    std::regex expected(lineRegex("Starting up") + lineRegex("Pushing texture a\\.png \\(src/rendering\\.cpp:42\\)") +
                        lineRegex(""));
    EXPECT_TRUE(std::regex_match(logFile(), expected)) << logFile();
}

TEST_F(DebugLogTest, FirstMessageContinuesTheOldFile)
{
    Folder.write("last_debug.log", "old run line\n");
    DebugLog("new run line");
    std::string text = (const char*)logText();
    EXPECT_TRUE(std::regex_match(text, std::regex("old run line\n" + lineRegex("new run line")))) << text;
    EXPECT_EQ(logFile(), "old run line\n");   // nothing written before a flush
}

TEST_F(DebugLogTest, ClearingFlushKeepsFileAndNextMessageContinuesIt)
{
    DebugLog("first");
    FlushDebugLog(true);
    EXPECT_TRUE(logText().IsEmpty());
    std::string file = logFile();
    // The exit-time write of an emptied log must not wipe the file.
    GetDebugLogBuffer()->writeFile();
    EXPECT_EQ(logFile(), file);
    DebugLog("second");
    std::string text = (const char*)logText();
    EXPECT_EQ(text.substr(0, file.size()), file);
    EXPECT_TRUE(std::regex_match(text.substr(file.size()), std::regex(lineRegex("second"))));
}

TEST_F(DebugLogTest, LargeLogFlushesOnlyOnMessageWithSourceFile)
{
    DebugLog("seed");
    logText() = CString('x', 600000);
    DebugLog("Adding shader 's'");
    EXPECT_GT(logText().GetLength(), 600000);
    EXPECT_FALSE(Folder.exists("last_debug.log"));

    DebugLog("Adding to sprite cache 'menu'", "src/node_factory.cpp", 7);
    std::string file = logFile();
    ASSERT_GT(file.size(), 600000u);
    // The flush comes before the line's newline, which stays in memory.
    const std::string lastLine = "\tAdding to sprite cache 'menu' (src/node_factory.cpp:7)";
    EXPECT_EQ(file.substr(file.size() - lastLine.size()), lastLine);
    EXPECT_EQ(std::string((const char*)logText()), file.substr(file.size() - 30000) + "\n");
}

TEST_F(DebugLogTest, FlushKeepsTailOfThirtyThousand)
{
    DebugLog("seed");
    logText() = CString('a', 10000) + CString('b', 30000);
    FlushDebugLog(false);
    EXPECT_EQ(logFile().size(), 40000u);
    EXPECT_EQ(std::string((const char*)logText()), std::string(30000, 'b'));
    FlushDebugLog(false);   // the next flush writes the tail back
    EXPECT_EQ(logFile(), std::string(30000, 'b'));
}

TEST_F(DebugLogTest, AlertBoxLogsFlushesAndAsks)
{
    Boxes.answerNext(IDOK);
    EXPECT_FALSE(AlertBox("Bad texture for cache!!!", false));
    Boxes.answerNext(IDNO);
    EXPECT_FALSE(AlertBox("Go on?", true));
    Boxes.answerNext(IDYES);
    EXPECT_TRUE(AlertBox("Go on?", true));
    ASSERT_EQ(Boxes.Boxes.size(), 3u);
    EXPECT_EQ(Boxes.Boxes[0].Text, "Bad texture for cache!!!");
    EXPECT_EQ(Boxes.Boxes[0].Type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(Boxes.Boxes[1].Text, "Go on?\nYes to continue, No to stop");
    EXPECT_EQ(Boxes.Boxes[1].Type, MB_YESNO | MB_ICONEXCLAMATION);
    // Each alert reached the file before its box was shown.
    EXPECT_NE(logFile().find("\tBad texture for cache!!!\n"), std::string::npos);
    EXPECT_NE(logFile().find("\tGo on?\n"), std::string::npos);
}

TEST_F(DebugLogTest, AssertionShowsAssertBoxAndGoesOn)
{
    AssertFailed("src/utils_fs.cpp", 118, "Error: Using pathing before manifest is loaded");
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text, "Assert!\nsrc/utils_fs.cpp: 118\n\nError: Using pathing before manifest is loaded");
    EXPECT_EQ(Boxes.Boxes[0].Type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_NE(logFile().find("\tAssert!\nsrc/utils_fs.cpp: 118\n"), std::string::npos);
}

using DebugLogDeathTest = DebugLogTest;

TEST_F(DebugLogDeathTest, FatalErrorEndsWithCodeOneAndWritesAlertFileAndLog)
{
    EXPECT_EXIT(FatalError("Failed to create 3D device\r\nsrc/server_game.cpp:210", false),
                testing::ExitedWithCode(1), "");
    EXPECT_EQ(Folder.read("last_scriptcomp_error_alert.log"), "Failed to create 3D device\r\nsrc/server_game.cpp:210");
    EXPECT_TRUE(std::regex_match(logFile(), std::regex(lineRegex("Failed to create 3D device\r\nsrc/server_game\\.cpp:210"))))
        << logFile();
}

TEST_F(DebugLogDeathTest, FatalErrorAnsweredNoEnds)
{
    EXPECT_EXIT(
        {
            Boxes.answerNext(IDNO);
            FatalError("stop?", true);
        },
        testing::ExitedWithCode(1), "");
}

TEST_F(DebugLogDeathTest, FatalErrorAnsweredYesReturns)
{
    Boxes.answerNext(IDYES);
    EXPECT_EQ(FatalError("go on?", true), 0);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text, "go on?\nYes to continue, No to stop");
}

TEST_F(DebugLogDeathTest, FullscreenFatalErrorShowsNoBox)
{
    GetDefaultEngineContext().Fullscreen = 1;
    // Any box would end the child with code 3 instead.
    auto failOnBox = [](const char*, const char*, unsigned) -> int { _exit(3); };
    EXPECT_EXIT(
        {
            platform::SetMessageBoxHook(failOnBox);
            FatalError("fatal in fullscreen", false);
        },
        testing::ExitedWithCode(1), "");
    auto previous = platform::SetMessageBoxHook(failOnBox);
    EXPECT_EQ(FatalError("question in fullscreen", true), 0);
    platform::SetMessageBoxHook(previous);
    EXPECT_EQ(Folder.read("last_scriptcomp_error_alert.log"), "question in fullscreen");
}

TEST_F(DebugLogDeathTest, CheckMainThreadFromOtherThreadEndsWithCodeOne)
{
    EXPECT_EXIT(
        {
            platform::RecordMainThread();
            std::thread([] { CheckMainThread(); }).join();
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(Folder.read("last_scriptcomp_error_alert.log"), ExitMessage);
    EXPECT_NE(logFile().find(std::string("\t") + ExitMessage + "\n"), std::string::npos);
}

TEST_F(DebugLogTest, CheckMainThreadPassesBeforeRecordAndOnMainThread)
{
    std::thread([] { CheckMainThread(); }).join();
    platform::RecordMainThread();
    CheckMainThread();
    DebugLog("still running");
    EXPECT_FALSE(Folder.exists("last_scriptcomp_error_alert.log"));
}

TEST(LogFolder, IsTheWritableProgramFolder)
{
    SetLogFolder(nullptr);
    std::string appFolder = (const char*)GetAppFolder();
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string exePath = exe;
    EXPECT_EQ(appFolder, exePath.substr(0, exePath.rfind('/') + 1));
    EXPECT_EQ(std::string((const char*)GetLogFolder()), appFolder);   // the build folder is writable
    SetLogFolder("/tmp/x");
    EXPECT_EQ(std::string((const char*)GetLogFolder()), "/tmp/x/");
    SetLogFolder(nullptr);
}

TEST(LogFolder, FallsBackToUserDataWhenProgramFolderCannotBeWritten)
{
    CTempFolder data;
    const char* oldDataHome = std::getenv("XDG_DATA_HOME");
    std::string savedDataHome = oldDataHome ? oldDataHome : "";
    setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    std::string missing = data.file("no-such-program-folder/");
    CString& appDataName = GetDefaultEngineContext().AppDataFolder;
    appDataName = "Studio\\Game";
    std::string named = (const char*)ChooseLogFolder(missing.c_str());
    appDataName.Empty();
    std::string unnamed = (const char*)ChooseLogFolder(missing.c_str());
    std::string writable = (const char*)ChooseLogFolder(data.path().c_str());
    oldDataHome ? setenv("XDG_DATA_HOME", savedDataHome.c_str(), 1) : unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(named, data.file("Studio/Game/"));
    EXPECT_TRUE(data.exists("Studio/Game"));
    EXPECT_EQ(unnamed, data.file("unit_tests/"));
    EXPECT_TRUE(data.exists("unit_tests"));
    EXPECT_EQ(writable, data.path());
}

TEST(FileText, WriteReplacesWholeFileAndReadStopsAtNul)
{
    CTempFolder folder;
    std::string path = folder.file("a.txt");
    ASSERT_TRUE(WriteStringToFile(path.c_str(), "first version, long"));
    ASSERT_TRUE(WriteStringToFile(path.c_str(), "second"));
    EXPECT_EQ(folder.read("a.txt"), "second");
    folder.write("nul.txt", std::string("ab\0cd", 5));
    CString text = "kept";
    EXPECT_TRUE(ReadFileToString(folder.file("nul.txt").c_str(), text));
    EXPECT_EQ(std::string((const char*)text), "ab");
    folder.write("empty.txt", "");
    EXPECT_TRUE(ReadFileToString(folder.file("empty.txt").c_str(), text));
    EXPECT_EQ(std::string((const char*)text), "");   // an empty file gives an empty text
    EXPECT_FALSE(ReadFileToString(folder.file("missing.txt").c_str(), text));
    EXPECT_FALSE(ReadFileToString("", text));
    EXPECT_FALSE(WriteStringToFile(folder.file("no/such/folder.txt").c_str(), "x"));
    chmod(path.c_str(), 0600);
    ASSERT_TRUE(WriteStringToFile(path.c_str(), "third"));
    struct stat info = {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // No temporary files are left behind.
    int entries = 0;
    for (const char* name : {"a.txt", "nul.txt", "empty.txt"})
        entries += folder.exists(name);
    EXPECT_EQ(entries, 3);
    EXPECT_FALSE(folder.exists(std::string("a.txt.") + std::to_string(getpid()) + ".tmp"));
}

TEST(FileText, PackedReadGoesThroughEngineFileSystemWithSlashes)
{
    CTempFolder folder;
    folder.write("packed.txt", "from the file system");
    std::string windowsStyle = folder.file("packed.txt");
    for (char& c : windowsStyle)
        if (c == '/')
            c = '\\';
    CString text;
    EXPECT_FALSE(ReadPackedFile(windowsStyle.c_str(), text));   // no file system yet

    irr::IrrlichtDevice* device = irr::createDevice(irr::video::EDT_NULL);
    ASSERT_NE(device, nullptr);
    GetDefaultEngineContext().FileSystem = device->getFileSystem();
    bool read = ReadPackedFile(windowsStyle.c_str(), text);
    GetDefaultEngineContext().FileSystem = nullptr;
    device->drop();
    EXPECT_TRUE(read);
    EXPECT_EQ(std::string((const char*)text), "from the file system");
}
