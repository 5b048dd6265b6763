// The frame value animator on a sprite of the null scene, and the drag value
// animator under a real cursor on the steppable loop.
#include "aeffectsanimators_value.h"

#include "animator_rows_fixture.h"
#include "input_fixture.h"
#include "module_mousekeyb.h"
#include "node_utilities.h"

#include <ICameraSceneNode.h>
#include <ISceneCollisionManager.h>
#include <ISceneManager.h>

#include <gtest/gtest.h>

#include <cmath>

using namespace irr;

namespace {

class FrameValues : public AnimatorRows {
protected:
    // A sprite with a grid of 5 columns and 2 rows, showing row 1.
    CSpriteNode* makeGrid()
    {
        CSpriteNode* sprite = make("-Size: w1 h1");
        sprite->setFrame(0, 1, 5, 2);
        return sprite;
    }
};

TEST_F(FrameValues, ValueChoosesTheColumnInTheCurrentRow)
{
    struct Case { f32 value; f32 column; };
    const Case cases[] = {{0.5f, 2}, {0.3f, 2}, {0.0f, 0}, {0.01f, 1}, {1.0f, 4}, {-3.0f, 0}, {7.0f, 4}, {0.75f, 3}};
    CSpriteNode* sprite = makeGrid();
    f32 value = 0;
    CFrameFadeHelperAnimator* animator = new CFrameFadeHelperAnimator(&value, 0);
    attachAnimator(sprite, animator);
    u32 t = 100;
    for (const Case& c : cases) {
        value = c.value;
        animator->step(sprite, 1.0f, t += 100);
        EXPECT_FLOAT_EQ(sprite->getFrameColumn(), c.column) << c.value;
        EXPECT_FLOAT_EQ(sprite->getFrameRow(), 1.0f) << c.value;
        EXPECT_FLOAT_EQ(sprite->getFrameColumns(), 5.0f);
        EXPECT_FLOAT_EQ(sprite->getFrameRows(), 2.0f);
    }
    EXPECT_FLOAT_EQ(sprite->getInheritedAlpha(), 1.0f) << "without a hold nothing fades";
}

TEST_F(FrameValues, ShowsAfterEachChangeAndFadesAfterTheHold)
{
    CSpriteNode* sprite = makeGrid();
    f32 value = 0.25f;
    CFrameFadeHelperAnimator* animator = new CFrameFadeHelperAnimator(&value, 500);
    attachAnimator(sprite, animator);
    EXPECT_FLOAT_EQ(sprite->getInheritedAlpha(), 0.0f) << "hidden until the first value";

    animator->step(sprite, 0.0f, 1000);
    EXPECT_FLOAT_EQ(sprite->getFrameColumn(), 1.0f);
    EXPECT_FLOAT_EQ(sprite->getInheritedAlpha(), 1.0f);
    for (u32 t = 1100; t <= 1500; t += 100) {
        animator->step(sprite, 1.0f, t);
        EXPECT_FLOAT_EQ(sprite->getInheritedAlpha(), 1.0f) << "held at " << t;
    }
    animator->step(sprite, 1.0f, 1600);
    EXPECT_NEAR(sprite->getInheritedAlpha(), 0.9f, 1e-5f) << "0.1 per 100 ms once the hold has passed";
    animator->step(sprite, 3.0f, 1900);
    EXPECT_NEAR(sprite->getInheritedAlpha(), 0.6f, 1e-5f);
    animator->step(sprite, 5.999f, 2500);
    EXPECT_FLOAT_EQ(sprite->getInheritedAlpha(), 0.0f) << "a last bit below 0.005 snaps to 0";
    animator->step(sprite, 1.0f, 2600);
    EXPECT_FLOAT_EQ(sprite->getInheritedAlpha(), 0.0f) << "the fade has ended";

    value = 1.0f;
    animator->step(sprite, 1.0f, 2700);
    EXPECT_FLOAT_EQ(sprite->getFrameColumn(), 4.0f);
    EXPECT_FLOAT_EQ(sprite->getInheritedAlpha(), 1.0f) << "a change shows it again";
    animator->step(sprite, 1.0f, 3200);
    EXPECT_FLOAT_EQ(sprite->getInheritedAlpha(), 1.0f) << "a new hold from the change";
}

TEST_F(FrameValues, LimitedChangeStepsThroughTheColumns)
{
    CSpriteNode* sprite = makeGrid();
    f32 value = 0.0f;
    CFrameFadeHelperAnimator* animator = new CFrameFadeHelperAnimator(&value, 0);
    animator->setMaxChange(0.25f);
    attachAnimator(sprite, animator);
    animator->step(sprite, 1.0f, 100);
    value = 1.0f;
    for (f32 column : {1.0f, 2.0f, 3.0f, 4.0f, 4.0f}) {
        animator->step(sprite, 1.0f, 200);
        EXPECT_FLOAT_EQ(sprite->getFrameColumn(), column);
    }
    value = std::nanf("");
    animator->step(sprite, 1.0f, 300);
    EXPECT_FLOAT_EQ(animator->getCurrentValue(), 0.75f) << "a NaN source reads as 0, still a quarter per update";
}

class DragValues : public InputFixture {
protected:
    // The window x of a scene point on the node's plane.
    s32 screenX(const core::vector3df& point)
    {
        scene::ISceneCollisionManager* collisions = Engine.SceneManager->getSceneCollisionManager();
        return collisions->getScreenCoordinatesFrom3DPosition(point, Engine.SceneManager->getActiveCamera()).X;
    }
    void dragTo(s32 x)
    {
        moveTo(core::position2di(x, centre().Y));
    }
};

TEST_F(DragValues, DragAcrossTheNodeWritesItsPlaceWithinTheMargins)
{
    CNodeBasement* node = addNode(-1, core::vector3df(0, 0, 0), 2, 2);
    f32 value = -1;
    CInputHelperAnimator* animator = new CInputHelperAnimator(node, &value, 5001, 7);
    attachAnimator(node, animator);
    EXPECT_EQ(node->getID(), 5001);
    ASSERT_EQ(getInputState()->getClickables().size(), 1u);

    animator->trackDrag(node);
    EXPECT_FLOAT_EQ(value, -1.0f) << "not pressed: nothing written";

    moveTo(centre());
    mouse(EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_EQ(*CInputState::getPressedNodeId(), 5001);

    const s32 quarter = screenX(core::vector3df(-0.5f, 0, 0));
    struct Case { s32 x; f32 margin; f32 expected; f32 tolerance; };
    const Case cases[] = {
        {centre().X, 0, 0.5f, 0.02f},
        {quarter, 0, 0.25f, 0.02f},
        {0, 0, 0.0f, 0},
        {2 * centre().X - 1, 0, 1.0f, 0},
        {0, 0.1f, 0.1f, 0},
        {2 * centre().X - 1, 0.1f, 0.9f, 0},
        {centre().X, 0.1f, 0.5f, 0.02f},
    };
    for (const Case& c : cases) {
        animator->setMargin(c.margin);
        dragTo(c.x);
        animator->trackDrag(node);
        EXPECT_NEAR(value, c.expected, c.tolerance + 1e-6f) << "x " << c.x << " margin " << c.margin;
    }

    CNodeBasement* other = addNode(5002, core::vector3df(0, 0, 0), 2, 2);
    value = -1;
    animator->trackDrag(other);
    EXPECT_FLOAT_EQ(value, -1.0f) << "another node is not the pressed one";
    mouse(EMIE_LMOUSE_LEFT_UP);
    ASSERT_TRUE(step());
    animator->trackDrag(node);
    EXPECT_FLOAT_EQ(value, -1.0f) << "released: nothing written";
}

TEST_F(DragValues, ClickableForTheAnimatorsLifetime)
{
    CNodeBasement* node = addNode(-1, core::vector3df(0, 0, 0), 2, 2);
    CNodeBasement* carrier = addNode(-1, core::vector3df(0, 0, 0), 1, 1);
    f32 value = 0;
    attachAnimator(carrier, new CInputHelperAnimator(node, &value, 5003, 0));
    ASSERT_EQ(getInputState()->getClickables().size(), 1u);
    deleteNode(carrier);
    ASSERT_TRUE(step());
    EXPECT_EQ(getInputState()->getClickables().size(), 0u) << "the animator's end unregisters the node";

    // The dragged node may go before the animator that names it.
    carrier = addNode(-1, core::vector3df(0, 0, 0), 1, 1);
    attachAnimator(carrier, new CInputHelperAnimator(node, &value, 5004, 0));
    deleteNode(node);
    ASSERT_TRUE(step());
    EXPECT_EQ(getInputState()->getClickables().size(), 0u);
    deleteNode(carrier);
    ASSERT_TRUE(step());
}

} // namespace
