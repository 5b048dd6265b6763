// The animator base: local time on device time and client timers, update
// intervals, the first delta, names and finish-once.
#include "abaseanimators.h"

#include "msgbox_recorder.h"
#include "node_utilities.h"
#include "null_scene.h"

#include <gtest/gtest.h>

using namespace irr;

namespace {

class AnimatorBase : public NullScene {
protected:
    // Attached at device time 1000 with the given interval.
    CCountingAnimator* attach(u32 discretion)
    {
        CCountingAnimator* animator = static_cast<CCountingAnimator*>(attachAnimator(addNode("n"), new CCountingAnimator));
        animator->setDiscretion(discretion);
        return animator;
    }
    void run(CCountingAnimator* animator, std::initializer_list<u32> times)
    {
        for (u32 t : times)
            animator->animateNode(animator->getNode(), t);
    }
};

TEST_F(AnimatorBase, DeviceTimeAndDeltasInTenthsOfASecond)
{
    CCountingAnimator* animator = attach(0);
    run(animator, {1000, 1100, 1350});
    EXPECT_EQ(animator->Times, std::vector<u32>({1000, 1100, 1350}));
    ASSERT_EQ(animator->Deltas.size(), 3u);
    EXPECT_FLOAT_EQ(animator->Deltas[0], 0.0f) << "the first delta is 0";
    EXPECT_FLOAT_EQ(animator->Deltas[1], 1.0f);
    EXPECT_FLOAT_EQ(animator->Deltas[2], 2.5f);
    EXPECT_EQ(animator->getStartTime(), 1000u);
}

TEST_F(AnimatorBase, ClientTimersScaleFreezeAndReverse)
{
    struct Case { f32 speed; std::vector<u32> times; };
    const Case cases[] = {
        {1.0f, {100, 200, 300}},
        {0.5f, {50, 100, 150}},
        {2.0f, {200, 400, 600}},
        {0.0005f, {}},   // frozen: neither time nor steps
        {-0.0009f, {}},
        {0.0011f, {0, 0, 0}},   // 0.11 ms a frame: truncated away, but steps run
    };
    for (const Case& c : cases) {
        CCountingAnimator* animator = attach(0);
        animator->setTimer(1);
        Engine.TimerSpeeds[1] = c.speed;
        run(animator, {1100, 1200, 1300});
        EXPECT_EQ(animator->Times, c.times) << c.speed;
        EXPECT_EQ(animator->getStartTime(), 0u);
    }

    // Backwards, and no jump after a freeze.
    CCountingAnimator* animator = attach(0);
    animator->setTimer(2);   // timers past 1 ask the client; none here: speed 1
    run(animator, {1500});
    animator->setTimer(1);
    Engine.TimerSpeeds[1] = 1.0f;
    run(animator, {1600, 1700});
    Engine.TimerSpeeds[1] = 0.0f;
    run(animator, {5000});
    Engine.TimerSpeeds[1] = -1.0f;
    run(animator, {5050});
    EXPECT_EQ(animator->Times, std::vector<u32>({500, 100, 200, 150}));
    Engine.TimerSpeeds[1] = 1.0f;
}

TEST_F(AnimatorBase, UpdateIntervals)
{
    struct Case { u32 discretion; size_t steps; };
    const Case cases[] = {{0, 11}, {25, 4}, {CBaseAnimator::PassiveDiscretion, 0}};
    for (const Case& c : cases) {
        CCountingAnimator* animator = attach(c.discretion);
        for (u32 t = 1000; t <= 1100; t += 10)
            animator->animateNode(animator->getNode(), t);
        EXPECT_EQ(animator->Deltas.size(), c.steps) << c.discretion;
    }
}

TEST_F(AnimatorBase, SetTimerRestartsTheDueTime)
{
    CCountingAnimator* animator = attach(25);
    run(animator, {100000});   // a program that has run for a while
    EXPECT_EQ(animator->Times.size(), 1u);
    animator->setTimer(1);
    Engine.TimerSpeeds[1] = 1.0f;
    run(animator, {100016, 100032, 100048});
    EXPECT_EQ(animator->Times, std::vector<u32>({100000, 16, 48})) << "it runs again at once on the new timer";
}

TEST_F(AnimatorBase, FinishRunsOnceAndStopsTheAnimator)
{
    static int calls;
    static uintptr_t seen[2];
    static CNodeBasement* seenNode;
    calls = 0;
    CCountingAnimator* animator = attach(0);
    animator->setFinishCallback(
        [](uintptr_t a, uintptr_t b, CNodeBasement* node) {
            ++calls;
            seen[0] = a;
            seen[1] = b;
            seenNode = node;
        },
        uintptr_t(-2), 7);
    EXPECT_TRUE(animator->finish());
    EXPECT_FALSE(animator->finish());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(animator->Finishes, 1);
    EXPECT_EQ(seen[0], uintptr_t(-2)) << "arguments are pointer-wide";
    EXPECT_EQ(seen[1], 7u);
    EXPECT_EQ(seenNode, animator->getNode());
    run(animator, {1100});
    EXPECT_TRUE(animator->Deltas.empty()) << "a finished animator never ticks";

    // The node's end finishes what is left, once, while the animator is whole.
    CCountingAnimator* other = attach(0);
    other->grab();
    other->getNode()->remove();
    EXPECT_EQ(other->Finishes, 1);
    EXPECT_EQ(other->getNode(), nullptr);
    other->drop();
}

TEST_F(AnimatorBase, NamesUpToSevenCharacters)
{
    CMessageBoxRecorder boxes;
    CCountingAnimator* animator = attach(0);
    animator->setName("SEVEN77");
    EXPECT_STREQ(animator->getName(), "SEVEN77");
    EXPECT_TRUE(boxes.Boxes.empty());
    animator->setName("GROUPNAME");   // from data: reported, not fatal
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Wrong animator name!!!");
    EXPECT_STREQ(animator->getName(), "GROUPNA");
    animator->setName(nullptr);
    EXPECT_STREQ(animator->getName(), "");
}

TEST_F(AnimatorBase, LiveCountFollowsConstructionAndDestruction)
{
    const int before = CBaseAnimator::getLiveCount();
    CCountingAnimator* animator = new CCountingAnimator;
    EXPECT_EQ(CBaseAnimator::getLiveCount(), before + 1);
    animator->drop();
    EXPECT_EQ(CBaseAnimator::getLiveCount(), before);
}

TEST_F(AnimatorBase, RemovingWithoutANodeStops)
{
    EXPECT_EXIT(
        {
            CCountingAnimator* loose = new CCountingAnimator;
            loose->removeThisAnimator();
        },
        testing::ExitedWithCode(1), "");
}

} // namespace
