// Stack capture and naming, and crash signals reaching the installed callback.
#include "crash.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace platform;

namespace {

volatile uintptr_t g_zero = 0;

#define KEEP_FRAME() asm volatile("" ::: "memory")   // no tail call: the frame stays on the stack

__attribute__((noinline)) std::vector<StackFrame> captureHere(size_t skip = 0)
{
    std::vector<StackFrame> frames = CaptureStack(skip);
    KEEP_FRAME();
    return frames;
}

__attribute__((noinline)) size_t capturedDepth(int nesting, size_t maxFrames)
{
    size_t depth = nesting == 0 ? CaptureStack(0, maxFrames).size() : capturedDepth(nesting - 1, maxFrames);
    KEEP_FRAME();
    return depth;
}

__attribute__((noinline)) void markerFunction()
{
    KEEP_FRAME();
}

__attribute__((noinline, no_sanitize("undefined"))) void crashByNullWrite()
{
    *reinterpret_cast<volatile int*>(g_zero) = 1;
    KEEP_FRAME();
}

__attribute__((noinline, no_sanitize("undefined"))) void crashByDivision()
{
    volatile int divisor = int(g_zero);
    volatile int result = 7 / divisor;
    (void)result;
    KEEP_FRAME();
}

__attribute__((noinline)) void crashByTrap()
{
    if (g_zero == 0) __builtin_trap();
    KEEP_FRAME();
}

__attribute__((noinline)) void crashByAbort()
{
    std::abort();
}

// Reading a shared mapping past the end of its (empty) file faults with SIGBUS.
__attribute__((noinline)) void crashByBusError()
{
    FILE* file = std::tmpfile();
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(file), 0);
    if (page == MAP_FAILED) std::_Exit(3);
    volatile char c = *static_cast<volatile char*>(page);
    (void)c;
    KEEP_FRAME();
}

__attribute__((noinline)) size_t overflowStack(size_t depth)
{
    volatile char pad[512];
    pad[depth % sizeof pad] = char(depth);
    size_t below = depth == 0 ? 0 : overflowStack(depth + 1);
    KEEP_FRAME();
    return below + size_t(pad[0]);
}

CrashAction reportAndEnd(const CrashInfo& crash)
{
    std::fprintf(stderr, "caught %s 0x%08x in", crash.signalName, unsigned(crash.exceptionCode));
    for (size_t i = 0; i < crash.frames.size() && i < 12; ++i) std::fprintf(stderr, " [%s]", crash.frames[i].function.c_str());
    std::fprintf(stderr, "\n");
    return CrashAction::End;
}

CrashAction passOn(const CrashInfo&) { return CrashAction::PassOn; }

CrashAction crashAgain(const CrashInfo&)
{
    std::fprintf(stderr, "reporting\n");
    crashByNullWrite();
    std::fprintf(stderr, "survived\n");
    return CrashAction::End;
}

void crashWith(CrashCallback callback, void (*crash)())
{
    if (!InstallCrashHandlers(callback)) std::_Exit(2);
    crash();
    std::_Exit(0);
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}   // namespace

TEST(CrashStack, CapturesOwnFramesWithSourceLines)
{
    std::vector<StackFrame> frames = captureHere();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_TRUE(contains(frames[0].function, "captureHere")) << frames[0].function;
    EXPECT_TRUE(contains(frames[0].sourceFile, "crash_test.cpp")) << frames[0].sourceFile;
    EXPECT_GT(frames[0].line, 0u);
    EXPECT_EQ(frames[0].module, "platform_tests");
    EXPECT_NE(frames[0].address, 0u);
    EXPECT_TRUE(contains(frames[1].function, "CapturesOwnFramesWithSourceLines")) << frames[1].function;

    std::vector<StackFrame> skipped = captureHere(1);
    ASSERT_FALSE(skipped.empty());
    EXPECT_EQ(skipped[0].function, frames[1].function);
}

TEST(CrashStack, DepthIsCapped)
{
    struct Case {
        int nesting;
        size_t maxFrames, expected;
    } cases[] = {
        {20, 5, 5},
        {20, 1, 1},
        {1100, MaxStackFrames, MaxStackFrames},
        {1100, 5000, MaxStackFrames},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nesting);
        EXPECT_EQ(capturedDepth(c.nesting, c.maxFrames), c.expected);
    }
    EXPECT_LT(capturedDepth(3, MaxStackFrames), size_t(100));
}

TEST(CrashStack, DescribesAddressesFromElsewhere)
{
    uintptr_t addresses[] = {reinterpret_cast<uintptr_t>(&markerFunction) + 1, 0x10, 0,
                             reinterpret_cast<uintptr_t>(&markerFunction) + 1};
    std::vector<StackFrame> frames = DescribeAddresses(addresses, 4);
    ASSERT_EQ(frames.size(), 2u);   // stops at the null address
    EXPECT_TRUE(contains(frames[0].function, "markerFunction")) << frames[0].function;
    EXPECT_EQ(frames[1].address, 0x10u);
    EXPECT_TRUE(frames[1].function.empty());
}

TEST(CrashSignals, InstallAndRemoveRestoreTheHandlers)
{
    struct sigaction before{}, during{}, after{};
    sigaction(SIGFPE, nullptr, &before);
    ASSERT_TRUE(InstallCrashHandlers(reportAndEnd));
    sigaction(SIGFPE, nullptr, &during);
    EXPECT_NE(during.sa_flags & SA_ONSTACK, 0);
    EXPECT_NE(during.sa_flags & SA_SIGINFO, 0);
    RemoveCrashHandlers();
    sigaction(SIGFPE, nullptr, &after);
    EXPECT_EQ(reinterpret_cast<void*>(after.sa_handler), reinterpret_cast<void*>(before.sa_handler));
    EXPECT_EQ(after.sa_flags & (SA_ONSTACK | SA_SIGINFO), before.sa_flags & (SA_ONSTACK | SA_SIGINFO));
}

TEST(CrashSignalsDeathTest, EachSignalReachesTheCallbackAndEndsWithCodeOne)
{
    struct Case {
        void (*crash)();
        const char* expected;
    } cases[] = {
        {crashByNullWrite, "caught SIGSEGV 0xc0000005 in \\[[^]]*crashByNullWrite"},
        {crashByDivision, "caught SIGFPE 0xc0000094 in \\[[^]]*crashByDivision"},
        {crashByTrap, "caught SIGILL 0xc000001d in \\[[^]]*crashByTrap"},
        {crashByAbort, "caught SIGABRT 0x40000015 in .*crashByAbort"},
        {crashByBusError, "caught SIGBUS 0xc0000005 in \\[[^]]*crashByBusError"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EXIT(crashWith(reportAndEnd, c.crash), testing::ExitedWithCode(CrashExitCode), c.expected);
    }
}

TEST(CrashSignalsDeathTest, StackOverflowIsReportedOnTheAlternateStack)
{
    auto overflow = [] { overflowStack(1); };
    EXPECT_EXIT(
        {
            if (!InstallCrashHandlers(reportAndEnd)) std::_Exit(2);
            overflow();
            std::_Exit(0);
        },
        testing::ExitedWithCode(CrashExitCode), "caught SIGSEGV 0xc0000005 in \\[[^]]*overflowStack");
}

TEST(CrashSignalsDeathTest, PassOnLeavesTheSignalToTheSystem)
{
    EXPECT_EXIT(crashWith(passOn, crashByNullWrite), testing::KilledBySignal(SIGSEGV), "");
}

TEST(CrashSignalsDeathTest, CrashInsideTheReportEndsAtOnce)
{
    EXPECT_EXIT(crashWith(crashAgain, crashByNullWrite), testing::ExitedWithCode(CrashExitCode),
                "reporting\n$");
}
