// The scene node base on the null driver: alpha, hide counter, z-order,
// registration, animation walks, attributes and the removal hooks.
#include "node_base.h"

#include "node_utilities.h"
#include "null_scene.h"
#include "rendering.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>

#include <gtest/gtest.h>

using namespace irr;

namespace {

// A counted object that reports its count.
struct CCounted : public IReferenceCounted {
    s32 count() const { return getReferenceCount(); }
};

using SceneNodeBase = NullScene;

TEST_F(SceneNodeBase, EffectiveAlphaFromAlphasHideCountAndThreshold)
{
    struct Case { f32 alpha, inherited; s32 hide, threshold, expected; };
    const Case cases[] = {
        {1.0f, 1.0f, 0, 12, 255},
        {0.5f, 0.5f, 0, 12, 63},
        {12.5f / 255, 1.0f, 0, 12, 12},   // exactly at the threshold: visible
        {11.5f / 255, 1.0f, 0, 12, 0},    // one below: counts as 0
        {11.5f / 255, 1.0f, 0, 0, 11},
        {1.0f, 1.0f, 1, 12, 0},           // hidden whatever the alphas
        {1.0f, 1.0f, 2, 0, 0},
        {1.0f, 1.0f, -1, 12, 255},        // only a count above 0 hides
        {2.0f, 1.0f, 0, 12, 255},         // stored unclamped, read clamped
        {-1.0f, 1.0f, 0, 0, 0},
    };
    CProbeNode* node = addNode("n");
    for (const Case& c : cases) {
        node->setAlpha(c.alpha);
        node->setInheritedAlpha(c.inherited);
        node->setHideCount(c.hide);
        node->setAlphaThreshold(c.threshold);
        EXPECT_EQ(node->getEffectiveAlpha(), c.expected) << c.alpha << " " << c.inherited << " " << c.hide;
    }
}

TEST_F(SceneNodeBase, SubtreeSettersReachEveryEngineDescendant)
{
    CProbeNode* parent = addNode("p");
    CProbeNode* child = addNode("c", parent);
    scene::ISceneNode* plain = Smgr->addEmptySceneNode(child);
    CProbeNode* grandchild = addNode("g", plain);   // under a non-engine node: not reached
    CProbeNode* deep = addNode("d", child);
    child->setInheritedAlpha(0.2f);
    deep->setLayer(3);
    parent->setInheritedAlpha(0.5f);
    parent->setAlphaThreshold(40);
    parent->setLayer(6);
    for (CProbeNode* n : {parent, child, deep}) {
        EXPECT_FLOAT_EQ(n->getInheritedAlpha(), 0.5f) << n->Tag;
        EXPECT_EQ(n->getAlphaThreshold(), 40) << n->Tag;
        EXPECT_EQ(n->getLayer(), 6) << n->Tag;
    }
    EXPECT_FLOAT_EQ(grandchild->getInheritedAlpha(), 1.0f);
}

TEST_F(SceneNodeBase, SizeZeroBecomesOneAndBoxFollows)
{
    CProbeNode* node = addNode("n");
    node->setSize(core::dimension2df(0, 4));
    EXPECT_EQ(node->getSize(), core::dimension2df(1, 4));
    EXPECT_EQ(node->getBoundingBox().MinEdge, core::vector3df(-0.5f, -2, -0.001f));
    EXPECT_EQ(node->getBoundingBox().MaxEdge, core::vector3df(0.5f, 2, 0.001f));
    EXPECT_FALSE(node->isGeometryValid());
}

TEST_F(SceneNodeBase, AbsoluteZAddsUpThroughEngineParents)
{
    CProbeNode* parent = addNode("p");
    parent->setZOrder(5);
    CProbeNode* child = addNode("c", parent, -1, core::vector3df(0, 10.7f, 0));
    child->setYSortFactor(2);
    child->setZOrder(3);
    EXPECT_EQ(child->getAbsoluteZ(), 3 + 21 + 5);

    scene::ICameraSceneNode* camera = Smgr->addCameraSceneNode();
    CProbeNode* underCamera = addNode("k", camera, -1, core::vector3df(0, 10.7f, 0));
    underCamera->setYSortFactor(2);
    underCamera->setZOrder(3);
    EXPECT_EQ(underCamera->getAbsoluteZ(), 24);
    // The render box moves back by the absolute z.
    EXPECT_FLOAT_EQ(underCamera->getRenderBox().MinEdge.Z, -0.001f - 24e-8f);
}

TEST_F(SceneNodeBase, RegistrationFollowsVisibilityAndAlpha)
{
    CProbeNode* faded = addNode("faded");
    faded->setAlpha(0.0f);
    addNode("childOfFaded", faded);
    CProbeNode* hidden = addNode("hidden");
    hidden->setVisible(false);
    addNode("childOfHidden", hidden);
    CProbeNode* counted = addNode("counted");
    counted->setHideCount(1);
    frame(1000);
    EXPECT_EQ(Drawn, std::vector<std::string>({"childOfFaded"}));

    counted->setHideCount(0);
    Drawn.clear();
    frame(1016);
    EXPECT_EQ(Drawn.size(), 2u) << "the hide counter back at 0 draws the node again";
}

TEST_F(SceneNodeBase, HiddenSubtreeStandsStillFadedOneAnimates)
{
    CProbeNode* hidden = addNode("hidden");
    hidden->setVisible(false);
    CProbeNode* hiddenChild = addNode("hc", hidden);
    CProbeNode* faded = addNode("faded");
    faded->setAlpha(0.0f);
    CProbeNode* paused = addNode("paused");
    paused->setAnimatorsEnabled(false);
    CProbeNode* pausedChild = addNode("pc", paused);
    CCountingAnimator* counters[4];
    CProbeNode* owners[4] = {hidden, hiddenChild, faded, pausedChild};
    for (int i = 0; i < 4; ++i) {
        counters[i] = static_cast<CCountingAnimator*>(attachAnimatorEveryFrame(owners[i], new CCountingAnimator));
    }
    CCountingAnimator* pausedOwn =
        static_cast<CCountingAnimator*>(attachAnimatorEveryFrame(paused, new CCountingAnimator));
    frame(1100);
    EXPECT_EQ(counters[0]->Deltas.size(), 0u);
    EXPECT_EQ(counters[1]->Deltas.size(), 0u);
    EXPECT_EQ(counters[2]->Deltas.size(), 1u) << "alpha 0 still animates";
    EXPECT_EQ(counters[3]->Deltas.size(), 1u) << "children animate when the parent's own animators are off";
    EXPECT_EQ(pausedOwn->Deltas.size(), 0u);
}

TEST_F(SceneNodeBase, AnimationSurvivesReparentingAndNewSiblings)
{
    CProbeNode* parent = addNode("p");
    CProbeNode* a = addNode("a", parent);
    CProbeNode* b = addNode("b", parent);
    CProbeNode* other = addNode("other", parent);
    CCountingAnimator* mover = static_cast<CCountingAnimator*>(attachAnimatorEveryFrame(a, new CCountingAnimator));
    CCountingAnimator* onB = static_cast<CCountingAnimator*>(attachAnimatorEveryFrame(b, new CCountingAnimator));
    int spawned = 0;
    mover->OnStep = [&](CNodeBasement* self) {
        if (self->getParent() != other) {
            self->setParent(other);   // the node being walked leaves its parent's list
            addNode("spawned", parent);
            ++spawned;
        }
    };
    for (u32 t = 1000; t < 1100; t += 20)
        frame(t);
    EXPECT_EQ(spawned, 1);
    EXPECT_EQ(a->getParent(), other);
    EXPECT_EQ(onB->Deltas.size(), 5u) << "the sibling after the moved node animates once a frame";
    EXPECT_GE(mover->Deltas.size(), 5u);
}

TEST_F(SceneNodeBase, SetIdCachesAndRenames)
{
    CProbeNode* node = addNode("n");
    node->setName("x");
    node->setID(1500);
    EXPECT_EQ(getNodeById(1500, nullptr), node);
    EXPECT_STREQ(node->getName(), "id000005DC_x");
    node->setID(1501);
    EXPECT_EQ(getNodeById(1500, nullptr), nullptr) << "the old slot is released";
    EXPECT_EQ(getNodeById(1501, nullptr), node);
    node->remove();
    EXPECT_EQ(getNodeById(1501, nullptr), nullptr) << "the destructor releases the slot";
    EXPECT_EQ(HookLog.Forgotten.back(), 1501) << "and the input state forgets the node";
}

TEST(NodeNames, HexTaggedNames)
{
    const struct { const char* prefix; u32 value; int digits; const char* rest; const char* name; } cases[] = {
        {"id", 1500, 8, "x", "id000005DC_x"},
        {"id", 0xFFFFFFFFu, 8, "", "idFFFFFFFF_"},     // ID -1
        {"id", 0, 8, "id00000001_a", "id00000000_id00000001_a"},
        {"Spr", 0x3EB, 1, "", "Spr3EB_"},
        {"Spr", 0, 1, "pic", "Spr0_pic"},
        {"Spr", 0xABCDEF12u, 1, "b", "SprABCDEF12_b"},
        {"", 10, 3, "z", "00A_z"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(makeHexTaggedName(c.prefix, c.value, c.digits, c.rest).c_str(), c.name) << c.name;
}

TEST_F(SceneNodeBase, AttributesAreMadeOnWriteOnly)
{
    CProbeNode* node = addNode("n");
    EXPECT_EQ(node->getAttributeString("__OnDestroySound", "dflt"), CString("dflt"));
    EXPECT_EQ(node->getAttributeInt("i", 7), 7);
    EXPECT_FLOAT_EQ(node->getAttributeFloat("f", 0.5f), 0.5f);
    EXPECT_FALSE(node->hasAttributes());
    node->setAttributeInt("v", 3);
    node->setAttributeString("v", "text");
    EXPECT_TRUE(node->hasAttributes());
    EXPECT_EQ(node->getAttributeInt("v", -1), -1) << "a value of another kind replaces the int";
    EXPECT_EQ(node->getAttributeString("v", ""), CString("text"));
}

TEST_F(SceneNodeBase, ObjectAttributesHoldOneGrabEach)
{
    CCounted* a = new CCounted;
    CCounted* b = new CCounted;
    {
        CNodeCustomAttribs attribs;
        attribs.setObject("o", a);
        EXPECT_EQ(a->count(), 2);
        attribs.setObject("o", a);   // the same object again must not free it
        EXPECT_EQ(a->count(), 2);
        attribs.setObject("o", b);
        EXPECT_EQ(a->count(), 1);
        EXPECT_EQ(b->count(), 2);
        EXPECT_EQ(attribs.getObject("o"), b);
        attribs.setObject("o", nullptr);
        EXPECT_EQ(attribs.getObject("o"), b) << "null does nothing";
        attribs.removeObject("o");
        EXPECT_EQ(b->count(), 1);
        attribs.setObject("p", a);
        attribs.setObject("q", b);
    }
    EXPECT_EQ(a->count(), 1) << "the container's end drops each held object once";
    EXPECT_EQ(b->count(), 1);

    // The pseudo-owner link is an owning one: grabbed when set, dropped with the node.
    CProbeNode* node = addNode("n");
    node->setPseudoOwner(a);
    node->setPseudoOwnerOnRem(b);
    EXPECT_EQ(a->count(), 2);
    EXPECT_EQ(node->getPseudoOwner(), a);
    deleteNode(node);
    EXPECT_EQ(b->count(), 1) << "queuing the removal lets go of the on-removal owner";
    frame(1000);
    EXPECT_EQ(a->count(), 1);
    a->drop();
    b->drop();
}

TEST_F(SceneNodeBase, DestroyHooksRunOnceAndMayKeepTheNode)
{
    CProbeNode* node = addNode("n", nullptr, 1200);
    node->setAttributeString("__OnDestroySound", "boom.wav");
    node->setAttributeString("__OnDestroyScript", "keep();");
    HookLog.ScriptResult = 0;
    deleteNode(node);
    frame(1000);
    EXPECT_EQ(HookLog.Sounds, std::vector<std::string>({"boom.wav"}));
    EXPECT_EQ(HookLog.Scripts, std::vector<std::string>({"keep();"}));
    ASSERT_EQ(getNodeById(1200, nullptr), node) << "_doRemove 0 keeps the node";
    EXPECT_EQ(node->getAttributeString("__OnDestroyScript", "?"), CString(""));

    HookLog.ScriptResult = 1;
    deleteNode(node);
    frame(1016);
    EXPECT_EQ(HookLog.Scripts.size(), 1u) << "the script ran once";
    EXPECT_EQ(HookLog.Sounds.size(), 2u);
    EXPECT_EQ(getNodeById(1200, nullptr), nullptr);
}

TEST_F(SceneNodeBase, DestroyAnimationKeepsTheNodeAndExitSkipsHooks)
{
    CProbeNode* animated = addNode("a", nullptr, 1201);
    spawnDestroyAnimation(animated, "poof.spr", false);
    EXPECT_TRUE(HookLog.Sprites.empty());
    deleteNode(animated);
    frame(1000);
    EXPECT_EQ(HookLog.Sprites, std::vector<std::string>({"poof.spr"}));
    EXPECT_EQ(getNodeById(1201, nullptr), animated) << "the animation's description removes it later";

    CProbeNode* quiet = addNode("q", nullptr, 1202);
    quiet->setAttributeString("__OnDestroySound", "boom.wav");
    Engine.PauseLevel = 90;
    deleteNode(quiet);
    frame(1016);
    EXPECT_TRUE(HookLog.Sounds.empty()) << "no hooks while exiting";
    EXPECT_EQ(getNodeById(1202, nullptr), nullptr) << "but the node goes";
    Engine.PauseLevel = 0;
}

TEST_F(SceneNodeBase, FindsAndRemovesAnimatorsByName)
{
    CProbeNode* parent = addNode("p");
    CProbeNode* child = addNode("c", parent);
    CBaseAnimator* own = attachAnimator(parent, new CCountingAnimator);
    own->setName("ALPH01");
    CBaseAnimator* deep = attachAnimator(child, new CCountingAnimator);
    deep->setName("SELDES");
    CBaseAnimator* deep2 = attachAnimator(child, new CCountingAnimator);
    deep2->setName("ALPH01");
    EXPECT_EQ(parent->findAnimatorByName("SELDES", false), nullptr);
    EXPECT_EQ(parent->findAnimatorByName("SELDES", true), deep);
    EXPECT_EQ(parent->findAnimatorByName("alph01", true), nullptr) << "names are case-sensitive";
    EXPECT_EQ(parent->removeAnimatorsByName("ALPH01", true), 2);
    EXPECT_TRUE(own->isFinished());
    EXPECT_EQ(parent->findAnimatorByName("ALPH01", true), nullptr) << "queued animators lose their names";
    EXPECT_EQ(parent->getAnimators().size(), 1u) << "still attached until the frame ends";
    frame(1000);
    EXPECT_EQ(parent->getAnimators().size(), 0u);
    EXPECT_EQ(child->getAnimators().size(), 1u);
}

} // namespace

namespace {

TEST_F(SceneNodeBase, DebugModeListsLiveNodesUnderTheirDebugNames)
{
    GetLiveNodeList().clear();
    Engine.Options.Debug = 1;
    CProbeNode* node = new CProbeNode(Smgr->getRootSceneNode(), Smgr, "n", nullptr, core::vector3df(1.5f, -0.25f, 0));
    node->drop();
    ASSERT_EQ(GetLiveNodeList().size(), 1u);
    EXPECT_STREQ((*GetLiveNodeList().begin())->getName(), "CSpriteNode id=-1 pos=(1500:-250)");
    Engine.Options.Debug = 0;   // switched off meanwhile: the node still leaves the list
    node->remove();
    EXPECT_TRUE(GetLiveNodeList().empty());
}

} // namespace

namespace {

TEST_F(SceneNodeBase, RelativeTransformationMatchesIrrlichts)
{
    struct Case { core::vector3df rotation, scale; };
    const Case cases[] = {
        {{0, 0, 0}, {1, 1, 1}}, {{0, 0, 90}, {1, 1, 1}}, {{10, 20, 30}, {2, 0.5f, 1}}, {{0, 0, 0}, {-1, 1, 1}}};
    CProbeNode* node = addNode("n", nullptr, -1, core::vector3df(3, -4, 0.5f));
    for (const Case& c : cases) {
        node->setRotation(c.rotation);
        node->setScale(c.scale);
        const core::matrix4 ours = node->getRelativeTransformation();
        const core::matrix4 theirs = node->ISceneNode::getRelativeTransformation();
        for (int i = 0; i < 16; ++i)
            EXPECT_FLOAT_EQ(ours[i], theirs[i]) << i << " rotation " << c.rotation.Z;
    }
}

} // namespace
