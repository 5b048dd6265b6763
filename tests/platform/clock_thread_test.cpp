// Tick count, injected clocks, thread ids and the main-thread record.
#include "clock.h"
#include "thread.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace {

class CStepClock : public platform::IClock {
public:
    uint64_t NowMs = 0;
    uint64_t SleptMs = 0;
    uint64_t nowMs() override { return NowMs; }
    void sleepMs(uint32_t ms) override { NowMs += ms; SleptMs += ms; }
};

} // namespace

TEST(Clock, InjectedClockDrivesTicksAndSleep)
{
    CStepClock fake;
    platform::IClock* previous = platform::SetClock(&fake);
    fake.NowMs = 0x1'0000'0005ull;          // 32-bit cut
    EXPECT_EQ(platform::GetTickCount(), 5u);
    platform::Sleep(250);
    EXPECT_EQ(platform::GetTickCount(), 255u);
    EXPECT_EQ(fake.SleptMs, 250u);
    fake.NowMs = 0x2'0000'0000ull;          // a cut that gives 0 reads as 1
    EXPECT_EQ(platform::GetTickCount(), 1u);
    EXPECT_EQ(platform::SetClock(previous), &fake);
}

TEST(Clock, SystemClockAdvancesAcrossSleep)
{
    uint32_t before = platform::GetTickCount();
    platform::Sleep(20);
    uint32_t elapsed = platform::GetTickCount() - before;
    EXPECT_GE(elapsed, 19u);
}

TEST(Thread, MainThreadRecordPassesOnlyTheMainThread)
{
    platform::ForgetMainThread();
    bool otherPassedUnrecorded = false;
    std::thread([&] { otherPassedUnrecorded = platform::IsMainThread(); }).join();
    EXPECT_TRUE(otherPassedUnrecorded);

    platform::RecordMainThread();
    EXPECT_EQ(platform::MainThreadId(), platform::CurrentThreadId());
    EXPECT_EQ(platform::CurrentThreadId(), uint32_t(getpid()));   // this is the process's first thread
    bool otherPasses = true;
    uint32_t otherId = 0;
    std::thread([&] {
        otherPasses = platform::IsMainThread();
        otherId = platform::CurrentThreadId();
    }).join();
    EXPECT_TRUE(platform::IsMainThread());
    EXPECT_FALSE(otherPasses);
    EXPECT_NE(otherId, platform::CurrentThreadId());
    platform::ForgetMainThread();
}

TEST(Thread, ForkedChildKeepsItsMainThreadRecord)
{
    platform::RecordMainThread();
    pid_t child = fork();
    if (child == 0) {
        bool ok = platform::CurrentThreadId() == uint32_t(getpid()) && platform::IsMainThread();
        _exit(ok ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    platform::ForgetMainThread();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
