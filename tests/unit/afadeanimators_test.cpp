// Alpha, fade and atlas-frame animators on the null driver: ramps with their
// delay, replacement by name, end values, frame stepping and empty sequences.
#include "afadeanimators.h"

#include "node_factory.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "null_scene.h"

#include <ISceneManager.h>

#include <gtest/gtest.h>

using namespace irr;

namespace {

class FadeAnimators : public NullScene {
protected:
    CSpriteNode* addSprite()
    {
        CSpriteNode* sprite = new CSpriteNode(Smgr->getRootSceneNode(), Smgr, -1, core::vector3df(0, 0, 0),
                                              core::dimension2df(1, 1));
        sprite->drop();
        return sprite;
    }
    static size_t animatorCount(CNodeBasement* node) { return node->getAnimators().size(); }
};

TEST_F(FadeAnimators, AlphaRampsAfterItsDelayAndRemovesItself)
{
    CProbeNode* node = addNode("n");
    createAlphaAnimator(node, 1000, 0.0f, 1.0f, 200);
    EXPECT_FLOAT_EQ(node->getAlpha(), 0.0f) << "set at attachment";
    struct Step { u32 at; f32 alpha; };
    for (const Step& s : {Step{1100, 0.0f}, Step{1200, 0.0f}, Step{1600, 0.5f}, Step{1800, 0.75f}, Step{2000, 1.0f}}) {
        frame(s.at);
        EXPECT_NEAR(node->getAlpha(), s.alpha, 1e-5f) << s.at;
    }
    EXPECT_EQ(animatorCount(node), 1u);
    frame(2030);
    EXPECT_FLOAT_EQ(node->getAlpha(), 1.0f);
    EXPECT_EQ(animatorCount(node), 0u) << "queued on its first step after the end";
}

TEST_F(FadeAnimators, NegativeEndsUseTheCurrentValue)
{
    CProbeNode* in = addNode("in");
    in->setAlpha(0.8f);
    createAlphaAnimator(in, 1000, 0.0f, -1.0f, 0);
    EXPECT_FLOAT_EQ(in->getAlpha(), 0.0f);
    frame(1500);
    EXPECT_NEAR(in->getAlpha(), 0.4f, 1e-5f);

    CProbeNode* out = addNode("out");
    out->setAlpha(0.6f);
    createAlphaAnimator(out, 1000, -1.0f, 0.0f, 0);
    EXPECT_FLOAT_EQ(out->getAlpha(), 0.6f) << "no jump";
    frame(1550);
    EXPECT_NEAR(out->getAlpha(), 0.57f, 1e-5f) << "50 ms after its creation";
}

TEST_F(FadeAnimators, TimeNotAboveDelayJumpsToTheEnd)
{
    CProbeNode* node = addNode("n");
    createAlphaAnimator(node, 200, 1.0f, 0.25f, 200);
    frame(1100);
    EXPECT_FLOAT_EQ(node->getAlpha(), 1.0f);
    frame(1200);
    EXPECT_FLOAT_EQ(node->getAlpha(), 0.25f);
    EXPECT_EQ(animatorCount(node), 0u);

    CProbeNode* faded = addNode("f");
    createFadeAnimator(faded, 100, 1.0f, 0.5f, 300);
    frame(1600);
    EXPECT_FLOAT_EQ(faded->getInheritedAlpha(), 0.5f);
}

TEST_F(FadeAnimators, FadeReachesTheSubtreeAndAReplacementFinishesTheOld)
{
    CProbeNode* parent = addNode("p");
    CProbeNode* child = addNode("c", parent);
    createFadeAnimator(parent, 1000, 0.0f, 0.8f, 0);
    frame(1500);
    EXPECT_NEAR(child->getInheritedAlpha(), 0.4f, 1e-5f);
    createFadeAnimator(parent, 1000, -1.0f, 0.0f, 0);
    EXPECT_FLOAT_EQ(parent->getInheritedAlpha(), 0.8f) << "the old one ends at its end value";
    frame(1530);
    EXPECT_EQ(animatorCount(parent), 1u);
    EXPECT_TRUE(parent->findAnimatorByName(CAlphaAnimator::UniqueName, false));

    CProbeNode* own = addNode("o");
    createAlphaAnimator(own, 1000, 0.0f, 1.0f, 0);
    createFadeAnimator(own, 1000, 1.0f, 1.0f, 0);
    frame(1560);
    EXPECT_EQ(animatorCount(own), 1u) << "alpha and fade share one name";
}

TEST_F(FadeAnimators, AtlasLoopsThroughTheSequence)
{
    CSpriteNode* sprite = addSprite();
    CAtlasFrameAnimator* atlas = createAtlasFrameAnimator(sprite, 800, 8, 1, getPresetGrid8x1(), 2);
    ASSERT_NE(atlas, nullptr);
    EXPECT_FLOAT_EQ(sprite->getFrameColumn(), 2) << "the start frame at attachment";
    struct Step { u32 at; f32 column; };
    for (const Step& s : {Step{1100, 3}, Step{1350, 5}, Step{1650, 0}, Step{2800, 4}}) {
        frame(s.at);
        EXPECT_FLOAT_EQ(sprite->getFrameColumn(), s.column) << s.at;
    }
    CFrameSequence* grid = new CFrameSequence;
    grid->addRowRun(0, 3, 0);
    grid->addRowRun(0, 3, 1);
    createAtlasFrameAnimator(sprite, 400, irr::core::dimension2df(4, 2), grid, 0);   // the grid as one pair
    frame(3050);   // 250 ms in: frame 5
    EXPECT_FLOAT_EQ(sprite->getFrameColumn(), 1);
    EXPECT_FLOAT_EQ(sprite->getFrameRow(), 1);
    EXPECT_FLOAT_EQ(sprite->getFrameColumns(), 4);
    EXPECT_FLOAT_EQ(sprite->getFrameRows(), 2);
    EXPECT_EQ(sprite->getAnimators().size(), 1u) << "a new one replaces the old";
}

TEST_F(FadeAnimators, EmptySequenceOrZeroCycleMakesNoAnimator)
{
    CSpriteNode* sprite = addSprite();
    EXPECT_EQ(createAtlasFrameAnimator(sprite, 800, 8, 1, new CFrameSequence, 0), nullptr);
    EXPECT_EQ(createAtlasFrameAnimator(sprite, 0, 8, 1, getPresetGrid8x1(), 0), nullptr);
    EXPECT_EQ(createAtlasFrameAnimator(sprite, 800, 8, 1, nullptr, 0), nullptr);
    frame(1100);
    EXPECT_EQ(sprite->getAnimators().size(), 0u);
}

} // namespace
