// Crash reports: the stack dump's lines, and real crashes in a child process
// leaving the crash log and offering Retry.
#include "utils_win_stack.h"

#include "msgbox_recorder.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_engine_context.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <regex>
#include <string>

namespace {

volatile uintptr_t ZeroAddress = 0;

__attribute__((noinline, no_sanitize("undefined"))) void crashInsideNamedFunction()
{
    *reinterpret_cast<volatile int*>(ZeroAddress) = 1;
    asm volatile("" ::: "memory");
}

__attribute__((noinline, no_sanitize("undefined"))) void divideByZeroHere()
{
    volatile int divisor = int(ZeroAddress);
    volatile int result = 7 / divisor;
    (void)result;
    asm volatile("" ::: "memory");
}

__attribute__((noinline)) size_t overflowThreadStack(size_t depth)
{
    volatile char pad[512];
    pad[depth % sizeof pad] = char(depth);
    size_t below = depth == 0 ? 0 : overflowThreadStack(depth + 1);
    asm volatile("" ::: "memory");
    return below + size_t(pad[0]);
}

// The thread is started as a library starts one: through pthread_create.
void overflowOnAnotherThread()
{
    std::thread([] { overflowThreadStack(1); }).join();
}

// A thread running before the handlers are installed, as one a library's
// constructor starts before main; it overflows once told to (step 2).
std::atomic<int> EarlyStep{0};
std::thread* EarlyThread = nullptr;

void startEarlyThread()
{
    EarlyThread = new std::thread([] {
        for (EarlyStep = 1; EarlyStep == 1;)
            std::this_thread::yield();
        overflowThreadStack(1);
    });
    while (EarlyStep == 0)
        std::this_thread::yield();
}

void overflowOnTheEarlyThread()
{
    EarlyStep = 2;
    EarlyThread->join();
}

__attribute__((noinline)) void showStackFromHere()
{
    ShowCurrentStack();
    asm volatile("" ::: "memory");
}

class CrashReportTest : public testing::Test {
protected:
    void SetUp() override { SetLogFolder(Folder.path().c_str()); }
    void TearDown() override
    {
        SetLogFolder(nullptr);
        GetDefaultEngineContext().Fullscreen = 0;
    }

    // Runs in the child: boxes go to a file so the parent can see them.
    void crashWith(void (*crash)(), int answer, bool fullscreen, void (*beforeInstalling)() = nullptr)
    {
        if (beforeInstalling)
            beforeInstalling();
        rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        std::string boxFile = Folder.file("boxes.txt");
        platform::SetMessageBoxHook([boxFile, answer](const char* text, const char*, unsigned type) {
            std::ofstream(boxFile, std::ios::app) << "type " << type << "\n" << text;
            return answer;
        });
        GetDefaultEngineContext().Fullscreen = fullscreen ? 1 : 0;
        if (!InstallCrashReports())
            _exit(3);
        DebugLog("about to crash");
        crash();
        _exit(4);   // not reached
    }

    std::string crashLog() const { return Folder.read("last_crashes.log"); }

    CTempFolder Folder;
};

const std::string EndLine = "=== end BfxDumpStack() output ===\r\n";

const char* const HeaderPattern =
    "\r\n\r\n===========================\r\n\\[[^\\]\r\n]+ [0-9:]+\\] New crash 0x([0-9a-f]{8}) detected! Stack info:\r\n"
    "Exception Occured!\n=== begin BfxDumpStack\\(\\) output ===\r\n";

} // namespace

TEST(StackDump, LinesNameModuleAndSymbolWithSixteenDigitAddresses)
{
    platform::StackFrame frames[3];
    frames[0].address = 0x401000;
    frames[0].module = "game";
    frames[0].function = "CNodeFactory::build()";
    frames[1].address = 0x7f00123456789abcULL;
    frames[1].module = "libc.so.6";
    frames[2].address = 0x10;
    CString text = "before\n";
    BfxDumpStack(text, frames, 3);
    EXPECT_STREQ(text, "before\n"
                       "=== begin BfxDumpStack() output ===\r\n"
                       "0000000000401000: game! CNodeFactory::build()\r\n"
                       "7F00123456789ABC: libc.so.6! <no symbol>\r\n"
                       "0000000000000010: <no module><no symbol>\r\n"
                       "=== end BfxDumpStack() output ===\r\n");
}

TEST(StackDump, DeepStacksWithLongNamesAreKeptWhole)
{
    std::vector<platform::StackFrame> frames(platform::MaxStackFrames + 10);
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i].address = 0x1000 + i;
        frames[i].module = "engine";
        frames[i].function = std::string(200, 'f') + std::to_string(i);
    }
    CString text;
    BfxDumpStack(text, frames.data(), frames.size());
    std::string dump = (const char*)text;
    EXPECT_NE(dump.find(std::string(200, 'f') + "1023\r\n"), std::string::npos);
    EXPECT_EQ(dump.find(std::string(200, 'f') + "1024\r\n"), std::string::npos);   // cut at 1024 frames
    EXPECT_EQ(dump.substr(dump.size() - EndLine.size()), EndLine);
}

TEST(StackDump, CurrentStackIsShownInABox)
{
    CMessageBoxRecorder boxes;
    showStackFromHere();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Type & MB_TYPEMASK, MB_OK);
    EXPECT_EQ(boxes.Boxes[0].Text.rfind("Exception Occured!\n=== begin BfxDumpStack() output ===\r\n", 0), 0u);
    EXPECT_NE(boxes.Boxes[0].Text.find("showStackFromHere"), std::string::npos) << boxes.Boxes[0].Text;
}

using CrashReportDeathTest = CrashReportTest;

TEST_F(CrashReportDeathTest, CrashesAppendReportsNamingTheCrashingFunction)
{
    EXPECT_EXIT(crashWith(crashInsideNamedFunction, IDCANCEL, false), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(crashWith(divideByZeroHere, IDCANCEL, false), testing::ExitedWithCode(1), "");
    std::string debugLog = Folder.read("last_debug.log");
    EXPECT_TRUE(std::regex_match(debugLog, std::regex("([^\n]+\tabout to crash\n){2}"))) << debugLog;
    std::string log = crashLog();
    std::regex header(HeaderPattern);
    std::vector<std::string> codes;
    for (std::sregex_iterator it(log.begin(), log.end(), header), end; it != end; ++it)
        codes.push_back((*it)[1]);
    ASSERT_EQ(codes.size(), 2u) << log;
    EXPECT_EQ(codes[0], "c0000005");   // the older crash first
    EXPECT_EQ(codes[1], "c0000094");
    size_t second = log.find("New crash 0xc0000094");
    EXPECT_LT(log.find("crashInsideNamedFunction"), second) << log;
    EXPECT_NE(log.find("divideByZeroHere", second), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - EndLine.size()), EndLine);
    // the box offered Retry and Cancel with the same report
    std::string boxes = Folder.read("boxes.txt");
    EXPECT_EQ(boxes.rfind("type 5\nException Occured!\n", 0), 0u) << boxes;
}

TEST_F(CrashReportDeathTest, StackOverflowOnAnotherThreadIsReportedAndTheLogKept)
{
    const struct {
        const char* what;
        void (*before)();
        void (*crash)();
    } rows[] = {
        {"a thread started after the handlers", nullptr, overflowOnAnotherThread},
        {"a thread started before them", startEarlyThread, overflowOnTheEarlyThread},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (const char* file : {"last_debug.log", "last_crashes.log", "boxes.txt"})
            std::remove(Folder.file(file).c_str());
        EXPECT_EXIT(crashWith(row.crash, IDCANCEL, false, row.before), testing::ExitedWithCode(1), "");
        std::string debugLog = Folder.read("last_debug.log");
        EXPECT_TRUE(std::regex_match(debugLog, std::regex("[^\n]+\tabout to crash\n"))) << debugLog;
        std::string log = crashLog();
        EXPECT_TRUE(std::regex_search(log, std::regex(HeaderPattern))) << log;
        EXPECT_NE(log.find("New crash 0xc0000005"), std::string::npos) << log;
        EXPECT_NE(log.find("overflowThreadStack"), std::string::npos) << log;
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), EndLine.size())), EndLine);
        EXPECT_EQ(Folder.read("boxes.txt").rfind("type 5\nException Occured!\n", 0), 0u);
    }
}

TEST_F(CrashReportDeathTest, RetryPassesTheCrashOnAndFullscreenEndsWithoutABox)
{
    EXPECT_EXIT(crashWith(crashInsideNamedFunction, IDRETRY, false), testing::KilledBySignal(SIGSEGV), "");
    EXPECT_NE(crashLog().find("New crash 0xc0000005"), std::string::npos);
    std::remove(Folder.file("boxes.txt").c_str());
    EXPECT_EXIT(crashWith(crashInsideNamedFunction, IDRETRY, true), testing::ExitedWithCode(1), "");
    EXPECT_FALSE(Folder.exists("boxes.txt"));
    EXPECT_EQ(std::regex_search(crashLog(), std::regex("New crash 0xc0000005[^]*New crash 0xc0000005")), true);
}

// A crash while the allocator is held (every allocation waits for ever): the
// report made without allocating reaches the log, and the watchdog ends the
// program where naming the frames would wait. The wait here is only a bound.
TEST(CrashReportBlockedTest, ACrashWithTheAllocatorHeldIsReportedAndEnds)
{
    CTempFolder folder;
    rlimit noCore = {0, 0};
    pid_t pid = fork();
    if (pid == 0) {
        setrlimit(RLIMIT_CORE, &noCore);
        execl(CRASH_WITH_ALLOCATOR_BLOCKED, CRASH_WITH_ALLOCATOR_BLOCKED, folder.path().c_str(), (char*)nullptr);
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    bool hasEnded = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!(hasEnded = waitpid(pid, &status, WNOHANG) == pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!hasEnded) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(hasEnded) << "the crash handler waits for ever";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    std::string log = folder.read("last_crashes.log");
    std::regex header(HeaderPattern);
    EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), header), std::sregex_iterator()), 1) << log;
    EXPECT_NE(log.find("New crash 0xc0000005"), std::string::npos) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("\r\n[0-9A-F]{16}: [^\r\n]*\r\n"))) << log;
    EXPECT_GE(log.size(), EndLine.size());
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), EndLine.size())), EndLine);
}
