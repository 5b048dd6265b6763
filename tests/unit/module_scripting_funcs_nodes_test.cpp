// Node natives run from script on the null driver: references by name, ID
// and table; show, hide, fade, move, attach, delete and the lookups.
#include "module_scripting_funcs.h"

#include "script_natives_fixture.h"

#include "abaseanimators.h"
#include "afadeanimators.h"
#include "asystemanimators.h"
#include "module_enginebase.h"
#include "module_mousekeyb_animators.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_text.h"
#include "node_utilities.h"
#include "rendering_stuff_textures.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <IVideoDriver.h>

#include <string>

using namespace irr;

namespace {

// Remembers the actions it is given.
class CActionRecorder : public CBaseAnimator {
public:
    int setAction(const char* name, int value) override
    {
        Actions.push_back(std::string(name) + ":" + std::to_string(value));
        return 1;
    }
    std::vector<std::string> Actions;
};

CNodeBasement* g_hero = nullptr;
irr::scene::ISceneNode* g_pole = nullptr;

SQInteger poleChildren(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(SQInteger(g_pole->getChildren().size()));
}

SQInteger clipArea(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const f32* clip = CInputState::getCursorClipArea();
    return sa.Return((const char*)Format("%g,%g,%g,%g", clip[0], clip[1], clip[2], clip[3]));
}

SQInteger heroHideCount(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(SQInteger(g_hero->getHideCount()));
}

// The click action of the node's click animator, or "(none)" without one.
SQInteger clickAction(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CNodeBasement* node = CNodeBasement::fromSceneNode(getNodeByName(sa.GetString(2)));
    int count = 0;
    COnClickAnimator* click = nullptr;
    for (scene::ISceneNodeAnimator* animator : node->getAnimators())
        if (COnClickAnimator* found = dynamic_cast<COnClickAnimator*>(animator)) {
            click = found;
            ++count;
        }
    if (count != 1)
        return sa.Return("(not one)");
    return sa.Return((const char*)click->getActionFor(0));
}

class NodeNatives : public ScriptNatives {
protected:
    void SetUp() override
    {
        ScriptNatives::SetUp();
        Root = addRootWithFreshCaches();
        registerNodeName("pole", RootNodeId);
        Hero = sprite("hero", Root);
        Arm = sprite("arm", Hero);
        Other = sprite("other", Root);
        addNode("local", Other, 10001);
        Other->setPosition(core::vector3df(3, 4, 0));
        Arm->setPosition(core::vector3df(1, 2.5f, 3));
        for (CNodeBasement* node : {Hero, Arm, Other})
            node->updateAbsolutePosition();
        Label = createTextNode("", core::vector3df(0, 0, 0), Hero, getIdByName("label_text"));
        Recorder = new CActionRecorder;
        Recorder->setName("COUNT");
        attachAnimator(Hero, Recorder);
        g_hero = Hero;
        SquirrelObject& root = SquirrelVM::GetRootTable();
        root.SetValue("heroId", SQInteger(Hero->getID()));
        root.SetValue("otherId", SQInteger(Other->getID()));
        SquirrelVM::CreateFunctionGlobal(heroHideCount, "heroHideCount", "");
        SquirrelVM::CreateFunctionGlobal(clickAction, "clickAction", "s");
    }
    void TearDown() override
    {
        g_hero = nullptr;
        ScriptNatives::TearDown();
    }
    CNodeBasement* sprite(const char* name, scene::ISceneNode* parent)
    {
        std::string text = std::string("raw://\n-Texture:?fill[c1,w64,h32]\n-Name: ") + name + "\n";
        return addSprite(text.c_str(), 1, 1, core::vector3df(0, 0, 0), parent, nullptr, SPRITE_SITE);
    }
    void expectScriptPasses(const char* name)
    {
        runScriptFile(name);
        EXPECT_GT(Checks, 10);
        EXPECT_TRUE(Failures.empty()) << ::testing::PrintToString(Failures);
    }

    CProbeNode* Root = nullptr;
    CNodeBasement* Hero = nullptr;
    CNodeBasement* Arm = nullptr;
    CNodeBasement* Other = nullptr;
    CTextNode* Label = nullptr;
    CActionRecorder* Recorder = nullptr;
};

TEST_F(NodeNatives, ScriptGroup)
{
    expectScriptPasses("natives_nodes");
    EXPECT_EQ(Arm->getParent(), Other);
    EXPECT_EQ(Hero->getParent(), Root);
    EXPECT_EQ(Recorder->Actions, std::vector<std::string>({"go:4"}));
    EXPECT_TRUE(Asserts.empty());
}

TEST_F(NodeNatives, NamesWithTheirArgumentChecks)
{
    struct SName {
        const char* Name;
        const char* RefusedCall;   // null: any arguments pass the VM
    } names[] = {
        {"core_FadeSprite", nullptr}, {"core_ShowSprite", nullptr}, {"core_IsNodeExist", nullptr},
        {"core_IsNodeEnabled", nullptr}, {"core_EnableNode", nullptr}, {"core_SetNodeText", nullptr},
        {"core_GetNodeText", nullptr}, {"core_GetNode", nullptr}, {"core_GetNodeAtlas", nullptr},
        {"core_SetNodeAtlas", nullptr}, {"core_GetNodeAttribute", nullptr}, {"core_GetNodeAttributeN", nullptr},
        {"core_GetNodeAttributeS", nullptr}, {"core_GetNodeAttributeF", nullptr}, {"core_GetNodeSubnode", nullptr},
        {"core_SetNode", nullptr}, {"core_SetNodePosition", nullptr}, {"core_SetNodeName", nullptr},
        {"core_SetNodeAttribute", nullptr}, {"core_GetNodesNames", nullptr}, {"core_AttachToNode", nullptr},
        {"core_GetNodeRelativePos", nullptr}, {"core_SetNodeAction", nullptr}, {"core_SetNodeAnimatorAction", nullptr},
        {"core_DeleteSprite", nullptr}, {"core_DeleteNode", nullptr}, {"core_CreateSprite", nullptr},
        {"core_CreateNode", nullptr}, {"core_GetNodeOnScreenPosition", nullptr}, {"core_GetLastClickPosition", nullptr},
        {"core_GetCurrentCursorPosition", nullptr}, {"core_SetCurrentCursorPosition", nullptr},
        {"core_SetCurrentCursorClipArea", nullptr}, {"core_GetIsLeftButtonDown", "(1)"},
        {"core_SetBackgroundImage", nullptr}, {"core_SetBackgroundMusic", "()"}, {"core_PlayEffect", nullptr},
        {"core_Alert", nullptr}, {"core_AskYesNo", nullptr}, {"core_Warning", nullptr}, {"core_OpenDialog", "()"},
        {"core_CloseDialog", nullptr}, {"core_IsDialogOpened", "(1)"}, {"core_GetDialogRootFolder", "(\"a\", \"b\")"},
        {"core_GetTranslation", nullptr}, {"core_Translate", nullptr}, {"core_JustifyText", nullptr},
        {"core_MakeScreenshot", "()"},
    };
    SquirrelObject& root = SquirrelVM::GetRootTable();
    for (const SName& entry : names) {
        SCOPED_TRACE(entry.Name);
        EXPECT_EQ(root.GetValue(entry.Name).GetType(), OT_NATIVECLOSURE);
        if (!entry.RefusedCall)
            continue;
        std::string code = std::string("try { ") + entry.Name + entry.RefusedCall + "; return 0; } catch (e) { return e; }";
        SquirrelObject result = run(code.c_str());
        ASSERT_NE(result.ToString(), nullptr);
        EXPECT_NE(std::string(result.ToString()).find("parameter"), std::string::npos) << result.ToString();
    }
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(NodeNatives, AttributeNumbersBeyondTheIntegerRangeStopAtItsEnds)
{
    Hero->setAttributeFloat("huge", 1e30f);
    Hero->setAttributeFloat("tiny", -1e30f);
    EXPECT_EQ(run("return core_GetNodeAttributeN(\"hero\", \"huge\");").ToInteger(), 2147483647);
    EXPECT_EQ(run("return core_GetNodeAttributeN(\"hero\", \"tiny\");").ToInteger(), -2147483647 - 1);
}

TEST_F(NodeNatives, SubnodeBelowTheLocalRangeAssertsAndStillSearches)
{
    addNode("low", Other, 5);
    SquirrelObject found = run("return core_GetNodeSubnode(\"other\", 5);");
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text.rfind("Assert!\nsrc\\module_scripting_core: ", 0), 0u) << Boxes.Boxes[0].Text;
    EXPECT_NE(Boxes.Boxes[0].Text.find("\n\nWrong subnode localid!"), std::string::npos);
    EXPECT_EQ(found.GetInt("_id"), 5);
}

TEST_F(NodeNatives, IdsThatNoNodeCarriesAssertAndFindNothing)
{
    EXPECT_FALSE(run("return core_IsNodeExist(8000);").ToBool());
    EXPECT_EQ(run("return core_GetNode(8002);").GetType(), OT_NULL);
    EXPECT_FALSE(run("return core_SetNodePosition(8000, 1, 2, 3);").ToBool());
    SquirrelObject made = run("return core_CreateNode(\"raw://\\n-Texture:?fill[c1,w8,h8]\\n\", \"pole\", {id = 8002});");
    ASSERT_EQ(made.GetType(), OT_TABLE) << "made all the same, without that ID";
    EXPECT_NE(made.GetInt("_id"), 8002);
    ASSERT_EQ(Boxes.Boxes.size(), 4u);
    for (const SRecordedBox& box : Boxes.Boxes) {
        EXPECT_EQ(box.Text.rfind("Assert!\nsrc\\module_scripting_core: ", 0), 0u) << box.Text;
        EXPECT_NE(box.Text.find("\n\nNode ID is out of range!"), std::string::npos) << box.Text;
    }
}

TEST_F(NodeNatives, FadeAndDeleteModes)
{
    // One argument deletes at once; mode 0 fades and keeps; mode 1 fades, then deletes.
    EXPECT_TRUE(run("return core_FadeSprite(\"arm\");").ToBool());
    EXPECT_EQ(Engine.Renderer.getQueuedRemovalCount(), 1);
    EXPECT_TRUE(run("return core_FadeSprite(\"other\", 1.0, 0.0, 500, 0);").ToBool());
    EXPECT_NE(Other->findAnimatorByName(CAlphaAnimator::UniqueName, false), nullptr);
    EXPECT_EQ(Other->findAnimatorByName(CSelfDestroyAnimator::UniqueName, false), nullptr);
    CNodeBasement* third = sprite("third", Root);
    EXPECT_TRUE(run("return core_FadeSprite(\"third\", 1.0, 0.0, 500, 1);").ToBool());
    EXPECT_NE(third->findAnimatorByName(CSelfDestroyAnimator::UniqueName, false), nullptr);
    EXPECT_EQ(Engine.Renderer.getQueuedRemovalCount(), 1);
}

TEST_F(NodeNatives, DeleteByEachReferenceAndNeverTheEngineSlots)
{
    struct SCase {
        const char* Code;
        bool Result;
        int Queued;
    } cases[] = {
        {"return core_DeleteNode(\"arm\");", true, 1},
        {"return core_DeleteSprite(otherId);", true, 2},
        {"return core_DeleteNode(core_GetNode(\"label_text\"));", true, 3},
        {"return core_DeleteNode(\"pole\");", false, 3},
        {"return core_FadeSprite(1001);", false, 3},
        {"return core_DeleteNode(\"nobody\");", false, 3},
        {"return core_DeleteNode(null);", false, 3},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.Code);
        EXPECT_EQ(run(c.Code).ToBool(), c.Result);
        EXPECT_EQ(Engine.Renderer.getQueuedRemovalCount(), c.Queued);
    }
    EXPECT_TRUE(run("return core_DeleteNode == core_DeleteSprite;").ToBool());
}

TEST_F(NodeNatives, RemovedNodeTableResolvesToNothing)
{
    run("staleArm <- core_GetNode(\"arm\"); core_DeleteNode(staleArm);");
    frame(1100);
    EXPECT_FALSE(run("return core_IsNodeExist(staleArm);").ToBool());
    EXPECT_FALSE(run("return core_SetNodePosition(staleArm, 1, 1, 1);").ToBool());
}

class CreateNatives : public ScriptNatives {
protected:
    void SetUp() override
    {
        ScriptNatives::SetUp();
        Root = addRootWithFreshCaches();
        g_pole = Root;
        registerNodeName("pole", RootNodeId);
        Camera = Smgr->addCameraSceneNode(nullptr, {0, 0, -10}, {0, 0, 0});
        Smgr->setActiveCamera(Camera);
        Camera->updateAbsolutePosition();
        Engine.Camera = Camera;
        Screen = Engine.Driver->getScreenSize();
        Engine.getProfile()->XResolution = int(Screen.Width);
        Engine.getProfile()->YResolution = int(Screen.Height);
        *CInputState::getCursorPos() = core::position2di(s32(Screen.Width / 2), s32(Screen.Height / 2));
        SquirrelObject& root = SquirrelVM::GetRootTable();
        root.SetValue("screenW", SQInteger(Screen.Width));
        root.SetValue("screenH", SQInteger(Screen.Height));
        SquirrelVM::CreateFunctionGlobal(poleChildren, "poleChildren", "");
        SquirrelVM::CreateFunctionGlobal(clipArea, "clipArea", "");
    }
    void TearDown() override
    {
        f32* clip = CInputState::getCursorClipArea();
        clip[0] = clip[1] = clip[2] = clip[3] = 0;
        g_pole = nullptr;
        Engine.Camera = nullptr;
        ScriptNatives::TearDown();
    }

    CProbeNode* Root = nullptr;
    scene::ICameraSceneNode* Camera = nullptr;
    core::dimension2du Screen;
};

TEST_F(CreateNatives, ScriptGroup)
{
    runScriptFile("natives_create");
    EXPECT_GT(Checks, 10);
    EXPECT_TRUE(Failures.empty()) << ::testing::PrintToString(Failures);
    scene::ISceneNode* made = getNodeByName("made");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->getParent(), Root);
    EXPECT_NE(getNodeById(1700, nullptr), nullptr);
}

TEST_F(CreateNatives, ScriptSpritesBuildTheirPartsAndClones)
{
    ASSERT_TRUE(Root->getChildren().empty());
    SquirrelObject made = run("return core_CreateSprite(\"raw://\\n-Texture:?fill[c1,w8,h8]\\n-MakeClones: 2\\n"
                              "[Sprite]\\n-Texture:?fill[c2,w8,h8]\\n-AsChild: 1\\n\", "
                              "{x = 4, w = 2, h = 3, retSprite = 1}, \"pole\");");
    ASSERT_FALSE(made.IsNull());
    ASSERT_EQ(Root->getChildren().size(), 3u);
    int cloneId = 0;
    for (scene::ISceneNode* child : Root->getChildren()) {
        CNodeBasement* sprite = CNodeBasement::fromSceneNode(child);
        ASSERT_NE(sprite, nullptr);
        EXPECT_EQ(sprite->getPosition(), core::vector3df(4, 0, 0));
        if (cloneId > 0) {
            EXPECT_EQ(sprite->getAttributeInt("__CloneId", 0), cloneId);
        }
        ++cloneId;
        ASSERT_EQ(sprite->getChildren().size(), 1u);
        CNodeBasement* part = CNodeBasement::fromSceneNode(*sprite->getChildren().begin());
        ASSERT_NE(part, nullptr);
        EXPECT_EQ(part->getSize(), core::dimension2df(2, 3)) << "scaled by the sprite's working size";
    }
}

TEST_F(CreateNatives, NothingIsCreatedWhileTheGameEnds)
{
    Engine.GameState = 999;
    const size_t before = Root->getChildren().size();
    EXPECT_TRUE(run("return core_CreateNode(\"raw://\\n-Texture:?fill[c1,w8,h8]\\n\", \"pole\");").IsNull());
    EXPECT_EQ(Root->getChildren().size(), before);
    Engine.GameState = 500;
    EXPECT_FALSE(run("return core_CreateNode(\"raw://\\n-Texture:?fill[c1,w8,h8]\\n\", \"pole\");").IsNull());
    EXPECT_EQ(Root->getChildren().size(), before + 1);
}

TEST_F(CreateNatives, CreateActionsRunOnceAtTheFirstUpdate)
{
    run("actions <- 0; function moveMe(t) { ++actions; seenName <- t._name; t._x += 7; }");
    run("core_CreateSprite(\"raw://\\n-Texture:?fill[c1,w8,h8]\\n-Event.OnCreate.Action:++actions;\\n\", \"pole\");");
    SquirrelObject made = run("return core_CreateSprite(\"raw://\\n-Texture:?fill[c1,w8,h8]\\n"
                              "-Event.OnCreate.Action:moveMe\\n-Event.Action.ExtendedCalls:1\\n\", "
                              "{x = 2, name = \"acting\", retSprite = 1}, \"pole\");");
    ASSERT_FALSE(made.IsNull());
    EXPECT_EQ(run("return actions;").ToInteger(), 0) << "not at creation";
    for (u32 t : {1000u, 1100u, 1200u})
        frame(t);
    EXPECT_EQ(run("return actions;").ToInteger(), 2) << "each sprite's action once";
    EXPECT_STREQ(run("return seenName;").ToString(), "acting") << "the state table carries the names";
    scene::ISceneNode* acting = getNodeByName("acting");
    ASSERT_NE(acting, nullptr);
    EXPECT_FLOAT_EQ(acting->getPosition().X, 9.0f) << "the changed table moves the node";
    EXPECT_EQ(acting->getAnimators().getSize(), 0u) << "the timer removed itself";
}

}  // namespace
