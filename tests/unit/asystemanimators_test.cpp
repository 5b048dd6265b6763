// System animators: self-destruction with its fade, hide-parent counts,
// hide-if, counters, list registration, delayed attachment and pausing.
#include "asystemanimators.h"

#include "node_utilities.h"
#include "null_scene.h"

#include <ISceneManager.h>

#include <gtest/gtest.h>

using namespace irr;

namespace {

using SystemAnimators = NullScene;

TEST_F(SystemAnimators, SelfDestructFadesTheLastPartAndGoesBelowATenth)
{
    CProbeNode* node = addNode("n", nullptr, 1500);
    CProbeNode* child = addNode("c", node);
    attachAnimator(node, new CSelfDestroyAnimator(2000, 500));
    struct Step { u32 at; f32 fade; };
    for (const Step& s : {Step{2500, 1.0f}, Step{2750, 0.5f}, Step{2950, 0.1f}}) {
        frame(s.at);
        ASSERT_EQ(getNodeById(1500, nullptr), node) << s.at;
        EXPECT_NEAR(child->getInheritedAlpha(), s.fade, 1e-5f) << s.at;
    }
    frame(2975);
    EXPECT_EQ(getNodeById(1500, nullptr), nullptr);
}

// A second self-destruction does not replace the first: the earlier end wins.
TEST_F(SystemAnimators, TwoSelfDestructsOnOneNodeTheEarlierEndWins)
{
    struct SCase {
        u32 FirstLife, SecondLife;
        u32 StillThereAt, GoneAt;
    } cases[] = {
        {300, 3000, 300, 330},   // a longer one attached later does not extend the life
        {3000, 300, 300, 330},
    };
    s32 id = 1510;
    for (const SCase& c : cases) {
        const u32 start = now();
        CProbeNode* node = addNode("n", nullptr, id);
        attachAnimator(node, new CSelfDestroyAnimator(c.FirstLife, 0));
        attachAnimator(node, new CSelfDestroyAnimator(c.SecondLife, 0));
        EXPECT_NE(node->findAnimatorByName(CSelfDestroyAnimator::UniqueName, false), nullptr);
        frame(start + c.StillThereAt);
        EXPECT_EQ(getNodeById(id, nullptr), node) << c.FirstLife;
        frame(start + c.GoneAt);
        EXPECT_EQ(getNodeById(id, nullptr), nullptr) << c.FirstLife;
        ++id;
    }
}

TEST_F(SystemAnimators, SelfDestructWithoutFadeGoesAfterItsLife)
{
    CProbeNode* node = addNode("n", nullptr, 1501);
    attachAnimator(node, new CSelfDestroyAnimator(300, 0));
    frame(1300);
    EXPECT_EQ(getNodeById(1501, nullptr), node);
    EXPECT_FLOAT_EQ(node->getInheritedAlpha(), 1.0f);
    frame(1330);
    EXPECT_EQ(getNodeById(1501, nullptr), nullptr);
}

TEST_F(SystemAnimators, HideParentCountsPerLivingNode)
{
    CProbeNode* target = addNode("t", nullptr, 1600);
    CProbeNode* a = addNode("a", target, 1601);
    CProbeNode* b = addNode("b", target, 1602);
    attachAnimator(a, new CHideParentAnimator(1600, 1));
    attachAnimator(b, new CHideParentAnimator(1600, 1));
    EXPECT_EQ(target->getHideCount(), 2);
    deleteNode(a);
    frame(1100);
    EXPECT_EQ(target->getHideCount(), 1);
    deleteNode(b);
    frame(1200);
    EXPECT_EQ(target->getHideCount(), 0);

    CProbeNode* sibling = addNode("s", target);
    CProbeNode* hider = addNode("h", target);
    attachAnimator(hider, new CHideParentAnimator(1600, 2));
    EXPECT_FALSE(sibling->isVisible());
    EXPECT_TRUE(hider->isVisible());
}

TEST_F(SystemAnimators, HideIfShowsTheTargetWhileNamedNodesAreHidden)
{
    CProbeNode* root = addNode("root");
    CProbeNode* target = addNode("target");
    CProbeNode* one = addNode("one");
    one->setIDFromName("hideif_one");
    one->setVisible(false);
    attachAnimator(root, new CHideIfAnimator(target, "hideif_one,hideif_missing", false));
    CProbeNode* inverseTarget = addNode("inv");
    attachAnimator(root, new CHideIfAnimator(inverseTarget, "hideif_one", true));
    frame(1100);
    EXPECT_TRUE(target->isVisible());
    EXPECT_FALSE(inverseTarget->isVisible());
    one->setVisible(true);
    frame(1200);
    EXPECT_FALSE(target->isVisible());
    EXPECT_TRUE(inverseTarget->isVisible());
    deleteNode(target);
    deleteNode(inverseTarget);
    frame(1300);
    frame(1400);
    EXPECT_EQ(root->getAnimators().size(), 0u) << "gone with their targets";
}

TEST_F(SystemAnimators, CounterAndListFollowTheNodesLife)
{
    std::atomic<int32_t> counter{0};
    core::array<scene::ISceneNode*> list;
    CProbeNode* a = addNode("a");
    CProbeNode* b = addNode("b");
    attachAnimator(a, new CCounterAnimator(&counter));
    attachAnimator(b, new CCounterAnimator(&counter));
    attachAnimator(a, new CListRegAnimator(&list));
    attachAnimator(b, new CListRegAnimator(&list));
    EXPECT_EQ(counter.load(), 2);
    ASSERT_EQ(list.size(), 2u);
    deleteNode(a);
    frame(1100);
    EXPECT_EQ(counter.load(), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], b);
    deleteNode(b);   // before the counter and the list go out of scope
    frame(1200);
    EXPECT_EQ(counter.load(), 0);
    EXPECT_EQ(list.size(), 0u);
}

// A plain 32-bit counter counts the same way, also when finish comes before the node goes.
TEST_F(SystemAnimators, PlainCounterFollowsTheNodesLife)
{
    int32_t counter = 0;
    CProbeNode* a = addNode("a");
    CProbeNode* b = addNode("b");
    attachAnimator(a, new CCounterAnimator(&counter));
    CBaseAnimator* early = attachAnimator(b, new CCounterAnimator(&counter));
    EXPECT_EQ(counter, 2);
    early->finish();
    EXPECT_EQ(counter, 1);
    deleteNode(a);
    deleteNode(b);
    frame(1100);
    EXPECT_EQ(counter, 0) << "each counts down once";
}

TEST_F(SystemAnimators, DelayAttachesLaterOrFinishesWhatItHolds)
{
    CProbeNode* node = addNode("n");
    CCountingAnimator* held = new CCountingAnimator;
    held->grab();
    attachAnimator(node, new CDelayAnimator(300, held));
    frame(1200);
    EXPECT_EQ(held->getNode(), nullptr);
    frame(1300);
    EXPECT_EQ(held->getNode(), node);
    EXPECT_EQ(held->getStartTime(), 1300u) << "the held animator starts from its attachment";
    held->drop();

    CProbeNode* early = addNode("e");
    CCountingAnimator* never = new CCountingAnimator;
    never->grab();
    attachAnimator(early, new CDelayAnimator(5000, never));
    deleteNode(early);
    frame(1400);
    EXPECT_EQ(never->Finishes, 1);
    EXPECT_EQ(never->getReferenceCount(), 1) << "the delay animator dropped its reference";
    never->drop();
}

TEST_F(SystemAnimators, DelayedAttachWaitsOnlyWhenThereIsADelay)
{
    CProbeNode* node = addNode("n");
    CCountingAnimator* now = new CCountingAnimator;
    now->grab();
    EXPECT_EQ(attachAnimatorDelayed(0, node, now), now);
    EXPECT_EQ(now->getNode(), node) << "no delay attaches at once";

    CCountingAnimator* later = new CCountingAnimator;
    later->grab();
    EXPECT_EQ(attachAnimatorDelayed(500, node, later), later);
    EXPECT_EQ(later->getNode(), nullptr);
    frame(1400);
    EXPECT_EQ(later->getNode(), nullptr);
    frame(1600);
    EXPECT_EQ(later->getNode(), node) << "the animator joins the node once the delay has passed";
    now->drop();
    later->drop();
}

TEST_F(SystemAnimators, PauseHoldsItsLevelOnlyWhenItSetIt)
{
    CProbeNode* node = addNode("n");
    attachAnimator(node, new CPauseAnimator(60));
    EXPECT_EQ(Engine.getPauseLevel(), 60);
    deleteNode(node);
    frame(1100);
    EXPECT_EQ(Engine.getPauseLevel(), 0);

    Engine.setPauseLevel(60, true);
    CProbeNode* late = addNode("l");
    attachAnimator(late, new CPauseAnimator(30));
    deleteNode(late);
    frame(1200);
    EXPECT_EQ(Engine.getPauseLevel(), 60);
    Engine.setPauseLevel(60, false);
}

TEST_F(SystemAnimators, DeleterRemovesWhatItHolds)
{
    CProbeNode* victim = addNode("v", nullptr, 1700);
    CProbeNode* carrier = addNode("c");
    attachAnimator(carrier, new CDeleterAnimator(s32(1700)));
    deleteNode(carrier);
    frame(1100);
    frame(1200);
    EXPECT_EQ(getNodeById(1700, nullptr), nullptr);
    (void)victim;
}

} // namespace
