// The node registry and queued removal on the null driver.
#include "node_utilities.h"

#include "msgbox_recorder.h"
#include "node_helpers.h"
#include "null_scene.h"
#include "rendering.h"
#include "utils_assert.h"

#include <ICameraSceneNode.h>
#include <IEventReceiver.h>
#include <ISceneManager.h>
#include <IVideoDriver.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace irr;

namespace {

using NodeRegistry = NullScene;

TEST_F(NodeRegistry, NameIdsStartAt1003AndAreNotAllocatedByFind)
{
    registerNodeName("camera", CameraNodeId);
    registerNodeName("pole", RootNodeId);
    EXPECT_EQ(findIdByName("dialog"), 0);
    EXPECT_EQ(findIdByName("dialog"), 0) << "find binds nothing";
    EXPECT_EQ(getIdByName("dialog"), FirstNameId);
    EXPECT_EQ(getIdByName("dialog"), FirstNameId);
    EXPECT_EQ(getNodeByName("button"), nullptr);
    EXPECT_EQ(findIdByName("button"), FirstNameId + 1) << "getNodeByName binds an unbound name";
    EXPECT_EQ(getIdByName("camera"), CameraNodeId);
    EXPECT_EQ(getIdByName("pole"), RootNodeId);
    EXPECT_EQ(getNameById(FirstNameId), CString("dialog"));
    EXPECT_EQ(getNameById(4321), CString("???"));
}

TEST_F(NodeRegistry, NameIdsSkipTakenSlotsAndWrapOnce)
{
    CProbeNode* holder = addNode("h", nullptr, FirstNameId);
    EXPECT_EQ(getIdByName("first"), FirstNameId + 1) << "a slot held by a node is skipped";
    holder->setID(LastNameId);
    for (s32 id = FirstNameId + 2; id < LastNameId; ++id)
        getIdByName(Format("n%i", id));
    EXPECT_EQ(getIdByName("wrapped"), FirstNameId) << "past 2000 the scan starts over at 1003";
}

TEST_F(NodeRegistry, ForbiddenAndLocalIds)
{
    CProbeNode* shared = addNode("s", nullptr, SharedSpriteId);
    EXPECT_EQ(getNodeById(SharedSpriteId, nullptr), nullptr) << "8001 is never cached";
    CProbeNode* none = addNode("z", nullptr, 0);
    EXPECT_EQ(getNodeById(0, nullptr), nullptr) << "0 means no ID";
    CProbeNode* parent = addNode("p");
    CProbeNode* local = addNode("l", parent, 10005);
    EXPECT_EQ(getNodeById(10005, parent), local);
    EXPECT_EQ(getNodeById(10005, shared), nullptr) << "searched only under the start node";
    EXPECT_EQ(getNodeById(9000, parent), nullptr);
    (void)none;

    EXPECT_EXIT(getNodeById(8000, nullptr), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(getNodeById(8002, nullptr), testing::ExitedWithCode(1), "");
    EXPECT_EXIT(getNodeById(5000, parent), testing::ExitedWithCode(1), "");
}

int NameShortageAsserts = 0;

TEST_F(NodeRegistry, RunningOutOfNameIdsAssertsOnceAndGoesOn)
{
    NameShortageAsserts = 0;
    const AssertHook previous = SetAssertHook([](const char*, int, const char*) { ++NameShortageAsserts; });
    for (s32 id = FirstNameId; id < LastNameId; ++id)   // every name ID but the last held
        addNode("h", nullptr, id);
    CProbeNode* last = addNode("a", nullptr, SharedSpriteId);
    EXPECT_EQ(ForceNodeToHaveID(last), LastNameId);
    CProbeNode* late = addNode("b", nullptr, SharedSpriteId);
    EXPECT_EQ(ForceNodeToHaveID(late), SharedSpriteId) << "none left: the node keeps its own";
    EXPECT_EQ(getIdByName("one too many"), 0);
    EXPECT_EQ(findIdByName("one too many"), 0) << "left unbound, to be tried again";
    EXPECT_EQ(NameShortageAsserts, 1) << "one box for the shortage, and the program goes on";

    last->remove();   // its ID is free again
    EXPECT_EQ(ForceNodeToHaveID(late), LastNameId);
    EXPECT_EQ(getNodeById(LastNameId, nullptr), late);
    EXPECT_EQ(getIdByName("one too many"), 0);
    EXPECT_EQ(NameShortageAsserts, 2) << "a new shortage, a new box";
    SetAssertHook(previous);
}

TEST_F(NodeRegistry, AutomaticNamesOfGoneNodesAreReused)
{
    for (int i = 0; i < 3000; ++i) {
        CProbeNode* node = addNode("n", nullptr, SharedSpriteId);
        ASSERT_NE(ForceNodeToHaveID(node), SharedSpriteId);
        node->remove();
    }
    CStringArray names;
    getRegisteredNodeNames(names);
    EXPECT_LE(names.GetSize(), LastNameId - FirstNameId + 1) << "at most one automatic name per name ID";
}

TEST_F(NodeRegistry, RebindingsResetsAndManyNamesAgreeEverywhere)
{
    registerNodeName("hud", 1500);
    registerNodeName("hud", 1600);   // a name bound again takes the new ID
    EXPECT_EQ(findIdByName("hud"), 1600);
    EXPECT_EQ(getIdByName("hud"), 1600);
    EXPECT_EQ(getNameById(1600), CString("hud"));
    EXPECT_EQ(getNameById(1500), CString("???"));
    std::vector<s32> ids;
    for (int i = 0; i < 3000; ++i)
        ids.push_back(getIdByName(("many" + std::to_string(i)).c_str()));
    for (int i = 0; i < 3000; i += 7)
        EXPECT_EQ(findIdByName(("many" + std::to_string(i)).c_str()), ids[i]) << i;
    CStringArray names;
    getRegisteredNodeNames(names);
    EXPECT_EQ(names.GetSize(), 3001);
    ResetNodeRegistry();
    EXPECT_EQ(findIdByName("hud"), 0) << "a reset forgets every name";
    EXPECT_EQ(findIdByName("many7"), 0);
    EXPECT_EQ(getIdByName("many7"), FirstNameId);
}

TEST_F(NodeRegistry, ForceNodeToHaveIdReachesAncestors)
{
    CProbeNode* parent = addNode("p", nullptr, SharedSpriteId);
    CProbeNode* child = addNode("c", parent, SharedSpriteId);
    const s32 id = ForceNodeToHaveID(child);
    EXPECT_EQ(getNodeById(id, nullptr), child);
    EXPECT_EQ(getNameById(id), CString("AutoID0"));
    EXPECT_EQ(getNodeById(parent->getID(), nullptr), parent) << "the parent became findable too";
    EXPECT_EQ(ForceNodeToHaveID(child), id) << "a findable node keeps its ID";
}

TEST_F(NodeRegistry, DeletedNodeIsDrawnInItsFrameAndGoneInTheNext)
{
    CProbeNode* doomed = addNode("doomed", nullptr, 1300, core::vector3df(0, 0, 0.1f));
    CProbeNode* killer = addNode("killer", nullptr, -1, core::vector3df(0, 0, 0.5f));
    CCountingAnimator* animator = static_cast<CCountingAnimator*>(attachAnimatorEveryFrame(killer, new CCountingAnimator));
    animator->OnStep = [&](CNodeBasement*) {
        if (getNodeById(1300, nullptr))
            deleteNode(doomed);
    };
    doomed->setAttributeString("__OnDestroySound", "gone.wav");
    frame(1000);
    EXPECT_EQ(Drawn, std::vector<std::string>({"killer", "doomed"})) << "deleted during frame N, drawn in N";
    EXPECT_EQ(getNodeById(1300, nullptr), nullptr);
    Drawn.clear();
    frame(1016);
    EXPECT_EQ(Drawn, std::vector<std::string>({"killer"}));
    EXPECT_EQ(HookLog.Sounds.size(), 1u);
}

TEST_F(NodeRegistry, TheRootNodeIsNeverRemoved)
{
    // A top-level "-AsEffect:" description decorates the root; its
    // self-destruction, or a script deleting what it made, must not take the
    // node every sprite is built on.
    CMessageBoxRecorder boxes;
    CProbeNode* root = addRootWithFreshCaches();
    const std::string name = "raw://\n-AsEffect: 1\n-Selfdestruction: t100 f0\n";
    CNodeBasement* made = addSprite(name.c_str(), 1, 1, {0, 0, 0}, root, nullptr, SPRITE_SITE);
    EXPECT_EQ(made, root) << "an effect lands on its parent";
    EXPECT_FALSE(scheduleRemoval(root, nullptr));
    deleteNode(made);
    deleteNodeById(RootNodeId);
    for (u32 t = 1000; t <= 1600; t += 200)
        frame(t);
    EXPECT_EQ(root->getParent(), Smgr->getRootSceneNode());
    EXPECT_EQ(getNodeById(RootNodeId, nullptr), root);
    EXPECT_EQ(std::string(root->getName()).find("DELALREADY"), std::string::npos);
    CProbeNode* child = addNode("child", root);
    EXPECT_TRUE(scheduleRemoval(child, nullptr)) << "its children still go";
    Engine.RootNode = nullptr;
}

TEST_F(NodeRegistry, QueuedNodeIsMarkedAndDestroyedOnce)
{
    CProbeNode* node = addNode("n", nullptr, 1301);
    node->setName("x");
    node->setAttributeString("__OnDestroySound", "gone.wav");
    deleteNode(node);
    deleteNode(node);
    EXPECT_EQ(std::string(node->getName()).rfind("x,DELALREADY(id=1301, p=", 0), 0u) << node->getName();
    EXPECT_EQ(Engine.Renderer.getQueuedRemovalCount(), 2);
    Engine.Renderer.processDeferredRemovals();
    EXPECT_EQ(HookLog.Sounds.size(), 1u) << "a node already detached is not destroyed again";
    EXPECT_EQ(Engine.Renderer.getQueuedRemovalCount(), 0);
}

TEST_F(NodeRegistry, RemovalsQueuedByDestroyHooksAreCarriedOut)
{
    CProbeNode* first = addNode("first", nullptr, 1310);
    CProbeNode* second = addNode("second", nullptr, 1311);
    first->setAttributeString("__OnDestroyScript", "delete(1311);");
    second->setAttributeString("__OnDestroyScript", "delete(1312);");
    addNode("third", nullptr, 1312);
    HookLog.OnScript = [](s32 id) { deleteNodeById(id + 1); };
    deleteNode(first);
    Engine.Renderer.processDeferredRemovals();
    EXPECT_EQ(HookLog.Scripts.size(), 2u);
    for (s32 id : {1310, 1311, 1312})
        EXPECT_EQ(getNodeById(id, nullptr), nullptr) << id;
    EXPECT_EQ(Engine.Renderer.getQueuedRemovalCount(), 0);
    (void)second;
}

TEST_F(NodeRegistry, AnimatorRemovalFinishesNowDetachesAfterTheFrame)
{
    CProbeNode* node = addNode("n");
    CCountingAnimator* animator = static_cast<CCountingAnimator*>(attachAnimator(node, new CCountingAnimator));
    animator->setName("TIMER");
    animator->grab();
    animator->removeThisAnimator();
    EXPECT_EQ(animator->Finishes, 1);
    EXPECT_STREQ(animator->getName(), "");
    EXPECT_EQ(node->getAnimators().size(), 1u);
    animator->removeThisAnimator();   // a second request is ignored
    EXPECT_EQ(Engine.Renderer.getQueuedRemovalCount(), 1);
    frame(1000);
    EXPECT_EQ(node->getAnimators().size(), 0u);
    EXPECT_EQ(animator->Finishes, 1);
    animator->drop();
}

TEST_F(NodeRegistry, AttachingTakesOverTheCallersReference)
{
    CProbeNode* node = addNode("n");
    CCountingAnimator* animator = new CCountingAnimator;
    animator->grab();
    EXPECT_EQ(attachAnimatorStopped(node, animator), animator);
    EXPECT_EQ(animator->getReferenceCount(), 2) << "ours and the node's";
    EXPECT_EQ(animator->getNode(), node);
    EXPECT_EQ(animator->getDiscretion(), CBaseAnimator::PassiveDiscretion);
    animator->drop();

    CCountingAnimator* orphan = new CCountingAnimator;
    orphan->grab();
    EXPECT_EQ(attachAnimator(nullptr, orphan), nullptr);
    EXPECT_EQ(orphan->getReferenceCount(), 1) << "nothing to attach to: the caller's reference is let go";
    EXPECT_EQ(orphan->Finishes, 1);
    orphan->drop();
}

TEST_F(NodeRegistry, NullQueuedNodeIsAssertedAndSkipped)
{
    static int asserts;
    asserts = 0;
    AssertHook previous = SetAssertHook([](const char*, int, const char* expr) {
        if (CString(expr) == "Node WTF???")
            ++asserts;
    });
    CProbeNode* node = addNode("n", nullptr, 1320);
    Engine.Renderer.queueRemoval(nullptr, nullptr);
    deleteNode(node);
    Engine.Renderer.processDeferredRemovals();
    SetAssertHook(previous);
    EXPECT_EQ(asserts, 1);
    EXPECT_EQ(getNodeById(1320, nullptr), nullptr);
}

TEST_F(NodeRegistry, VisibilityAndAncestry)
{
    Engine.RootNode = addNode("pole");
    CProbeNode* a = addNode("a", Engine.RootNode);
    CProbeNode* b = addNode("b", a);
    EXPECT_TRUE(isNodeTrulyVisible(b));
    EXPECT_TRUE(isNodeTrulyVisible(nullptr));
    a->setVisible(false);
    EXPECT_FALSE(isNodeTrulyVisible(b));
    EXPECT_TRUE(isNodeDescendantOf(b, a));
    EXPECT_TRUE(isNodeDescendantOf(b, b));
    EXPECT_FALSE(isNodeDescendantOf(a, b));
    EXPECT_FALSE(isNodeDescendantOf(Engine.RootNode, Smgr->getRootSceneNode())) << "the walk stops at the root";
    Engine.RootNode = nullptr;
}

TEST_F(NodeRegistry, PickRayAndCursorInNode)
{
    scene::ICameraSceneNode* camera = Smgr->addCameraSceneNode(nullptr, {0, 0, -10}, {0, 0, 0});
    Smgr->setActiveCamera(camera);
    const core::dimension2du screen = Engine.Driver->getScreenSize();
    const core::vector2di centre(s32(screen.Width / 2), s32(screen.Height / 2));
    const core::vector3df ahead = getScenePosAtScreen(10, &centre);
    EXPECT_NEAR(ahead.X, 0, 1e-3f);
    EXPECT_NEAR(ahead.Y, 0, 1e-3f);
    EXPECT_NEAR(ahead.Z, 10, 1e-4f);
    const core::vector2di left(0, centre.Y), right(s32(screen.Width), centre.Y);
    const core::vector3df l = getScenePosAtScreen(4, &left), r = getScenePosAtScreen(4, &right);
    EXPECT_NEAR(l.Z, 4, 1e-4f) << "scaled so that Z is the depth";
    EXPECT_LT(l.X, -1.0f);
    EXPECT_NEAR(l.X, -r.X, 1e-3f);

    // A 2x2 node straight ahead: the cursor at the screen centre lies in its middle.
    CProbeNode* node = addNode("n");
    node->setSize(core::dimension2df(2, 2));
    camera->updateAbsolutePosition();
    node->updateAbsolutePosition();
    *CInputState::getCursorPos() = centre;   // where the receiver keeps the cursor
    const core::vector2df inside = getCursorInNode(node);
    EXPECT_NEAR(inside.X, 0.5f, 1e-3f);
    EXPECT_NEAR(inside.Y, 0.5f, 1e-3f);
}

TEST_F(NodeRegistry, DumpListsNamesWithTheirParents)
{
    CProbeNode* parent = addNode("p", nullptr, 1400);
    addNode("c", parent, getIdByName("child"));
    registerNodeName("loose", 1401);
    const std::string dump = (const char*)dumpNodeInfo();
    EXPECT_NE(dump.find(Format("%i:child, parrent:1400\n", FirstNameId)), std::string::npos) << dump;
    EXPECT_NE(dump.find("1401:loose\n"), std::string::npos) << dump;
}

TEST_F(NodeRegistry, ColourKeyNeedsA32BitTexture)
{
    video::ITexture* dummy = Engine.Driver->addTexture(core::dimension2du(2, 2), "dummy", video::ECF_A1R5G5B5);
    EXPECT_EXIT(applyTextureColorKey(dummy, video::SColor(255, 255, 0, 255)), testing::ExitedWithCode(1), "");
}

TEST(CyclicId, RestartsAtTheStart)
{
    SCyclicId ids{2101, 2101, 2200, 1};
    EXPECT_EQ(ids.next(), 2102);
    for (int i = 0; i < 96; ++i)
        ids.next();
    EXPECT_EQ(ids.next(), 2199);
    EXPECT_EQ(ids.next(), 2101);
    EXPECT_EQ(ids.next(), 2102);
}

} // namespace
