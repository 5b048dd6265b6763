// Move, size and rotation animators made by sprite creation from their
// description keys, stepped at fixed device times on the null driver.
#include "apositionanimators.h"

#include "animator_rows_fixture.h"

#include <cmath>

#include <gtest/gtest.h>

using namespace irr;

namespace {

using PositionAnimators = AnimatorRows;

TEST_F(PositionAnimators, MoveModesFromDescriptions)
{
    // Mode 1 arrives from 100 units lower in 500 ms and is then gone.
    CSpriteNode* arrive = make("-Position: x10 y20\n-Animation.Move: d1 x0 y-100 t500");
    ASSERT_NE(arrive, nullptr);
    EXPECT_NEAR(arrive->getPosition().Y, -80.0f, 1e-4f) << "placed at the start on attachment";
    frame(1250);
    EXPECT_NEAR(arrive->getPosition().Y, -30.0f, 1e-3f);
    EXPECT_NEAR(arrive->getPosition().X, 10.0f, 1e-4f);
    frame(1500);
    EXPECT_NEAR(arrive->getPosition().Y, 20.0f, 1e-4f);
    frame(1530);
    EXPECT_EQ(animatorCount(arrive), 0u);

    // Mode 0 jumps to the parent's origin, then to the absolute target.
    CSpriteNode* absolute = make("-Position: x5 y5\n-Animation.Move: d0 x10 y10 t1000");
    EXPECT_EQ(absolute->getPosition(), core::vector3df(0, 0, 0));
    frame(2030);   // 500 ms after its creation at 1530
    EXPECT_NEAR(absolute->getPosition().X, 5.0f, 1e-3f);
    frame(2600);
    EXPECT_NEAR(absolute->getPosition().X, 10.0f, 1e-4f);
    EXPECT_EQ(animatorCount(absolute), 0u);
}

TEST_F(PositionAnimators, MoveBackAndForthAndAgain)
{
    CSpriteNode* pingPong = make("-Position: x1\n-Animation.Move: d2 x50 t1000 l-1");
    CSpriteNode* restart = make("-Animation.Move: d2 x50 t1000 l1");
    struct Step { u32 at; f32 pingPongX, restartX; };
    for (const Step& s : {Step{1500, 26, 25}, Step{2000, 51, 0}, Step{2250, 38.5f, 12.5f}, Step{3000, 1, 0},
                          Step{3500, 26, 25}, Step{5750, 38.5f, 37.5f}}) {
        frame(s.at);
        EXPECT_NEAR(pingPong->getPosition().X, s.pingPongX, 1e-3f) << s.at;
        EXPECT_NEAR(restart->getPosition().X, s.restartX, 1e-3f) << s.at;
    }
    // The last step skipped a whole leg: the direction still follows the leg number.
    EXPECT_EQ(animatorCount(pingPong), 1u) << "runs forever";
}

TEST_F(PositionAnimators, VelocityDriftsPerHundredMsWhateverTheUpdate)
{
    CSpriteNode* drift = make("-Animation.Move: d3 x1 t1");
    frame(1040);   // the first step has no elapsed time
    EXPECT_FLOAT_EQ(drift->getPosition().X, 0.0f);
    frame(1290);
    EXPECT_NEAR(drift->getPosition().X, 2.5f, 1e-4f);
    for (u32 t = 1320; t <= 1440; t += 30)
        frame(t);
    EXPECT_NEAR(drift->getPosition().X, 4.0f, 1e-4f);
    EXPECT_EQ(animatorCount(drift), 1u);
}

TEST_F(PositionAnimators, SizeShrinksAndSetsTheExactEnd)
{
    CSpriteNode* half = make("-Size: w4 h2\n-Animation.Size: s0.5 t300");
    ASSERT_NE(half, nullptr);
    frame(1150);
    EXPECT_NEAR(half->getSize().Width, 3.0f, 1e-4f);
    EXPECT_NEAR(half->getSize().Height, 1.5f, 1e-4f);
    frame(1300);
    EXPECT_NEAR(half->getSize().Width, 2.0f, 1e-4f);
    frame(1330);
    EXPECT_FLOAT_EQ(half->getSize().Width, 2.0f);
    EXPECT_FLOAT_EQ(half->getSize().Height, 1.0f);
    EXPECT_EQ(animatorCount(half), 0u);

    // A zero scale keeps the size: it waits for its time and goes.
    CSpriteNode* keep = make("-Size: w4 h2\n-Animation.Size: s0 t100");
    frame(1400);
    EXPECT_FLOAT_EQ(keep->getSize().Width, 4.0f);
    frame(1450);
    EXPECT_EQ(animatorCount(keep), 0u);
}

TEST_F(PositionAnimators, SizeWithNoTimeEndsAtOnceWithoutDividingByZero)
{
    CSpriteNode* node = make("-Size: w4 h2\n-Animation.Size: s2 t0.5");
    // The first step may come at the creation time itself.
    frame(1000);
    EXPECT_FLOAT_EQ(node->getSize().Width, 8.0f);
    EXPECT_FLOAT_EQ(node->getSize().Height, 4.0f);
    frame(1030);
    EXPECT_EQ(animatorCount(node), 0u);
}

TEST_F(PositionAnimators, RotationTurnsAndStopsAtItsTarget)
{
    const f32 target = 90.0f * core::PI / 180.0f;
    CSpriteNode* turning = make("-Animation.Rotation: s0.1 f90");
    frame(1030);
    EXPECT_FLOAT_EQ(turning->getAngle(), 0.0f) << "no elapsed time yet";
    frame(1530);
    EXPECT_NEAR(turning->getAngle(), 0.5f, 1e-4f);
    frame(2530);   // 1.5 radians, below 90 degrees
    EXPECT_NEAR(turning->getAngle(), 1.5f, 1e-4f);
    frame(2630);
    EXPECT_FLOAT_EQ(turning->getAngle(), target) << "snaps exactly";
    frame(2660);
    EXPECT_EQ(animatorCount(turning), 0u);

    // Already past the target in the turning direction: snaps at the first step.
    CSpriteNode* past = make("-Rotation: 120\n-Animation.Rotation: s0.1 f90");
    frame(2700);
    EXPECT_FLOAT_EQ(past->getAngle(), target);

    // Without a target it turns for the node's life; s0 with only t makes an idle one.
    CSpriteNode* forever = make("-Animation.Rotation: s-0.2");
    CSpriteNode* idle = make("-Animation.Rotation: t5");
    CSpriteNode* none = make("-Animation.Rotation: s0 t0");
    frame(2800);
    frame(3800);
    EXPECT_NEAR(forever->getAngle(), -2.0f, 1e-4f);
    EXPECT_EQ(animatorCount(forever), 1u);
    EXPECT_EQ(animatorCount(idle), 1u);
    EXPECT_FLOAT_EQ(idle->getAngle(), 0.0f);
    EXPECT_EQ(animatorCount(none), 0u);
}

TEST_F(PositionAnimators, GroupSetNamesTheParsedAnimators)
{
    CSpriteNode* node = make("-Animation.GroupSet: grp\n-Animation.Move: d3 x1 t1\n-Animation.Rotation: s0.1");
    ASSERT_EQ(animatorCount(node), 2u);
    for (scene::ISceneNodeAnimator* animator : node->getAnimators())
        EXPECT_STREQ(static_cast<CBaseAnimator*>(animator)->getName(), "grp");
}

} // namespace
