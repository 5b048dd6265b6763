// Clicks from described sprites on the steppable loop: actions with the node's
// IDs, modality, pause, swallowed clicks, hotkeys, the latch, drag, right
// click, auto-disable and click blocks.
#include "module_mousekeyb_animators.h"

#include "input_fixture.h"
#include "msgbox_recorder.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "rendering_stuff_textures.h"
#include "utils_system_common.h"

#include <ICursorControl.h>
#include <IrrlichtDevice.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using irr::core::vector3df;
using Log = std::vector<std::string>;

class Clicks : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        script("function hit(t) { ::log.append(\"hit \" + t._id + \"/\" + t._parentid); }"
               "function other(t) { ::log.append(\"other \" + t._id); }"
               "function refuse(t) { ::log.append(\"refused\"); return false; }"
               "function right(t) { ::log.append(\"right\"); }"
               "function drag(t) { ::log.append(\"drag\"); }"
               "function auto(t) { ::log.append(\"auto\"); }"
               "function hin(t) { ::log.append(\"in \" + t._id + \" \" + t._isover); }"
               "function hout(t) { ::log.append(\"out \" + t._isover); }"
               "enabled <- false;");
    }

    CNodeBasement* make(const std::string& keys, irr::scene::ISceneNode* parent = nullptr, float z = 0)
    {
        const std::string text = "raw://\n-Texture:?fill[c1,w64,h32]\n-Size: w2 h2\n" + keys + "\n";
        return addSprite(text.c_str(), 1, 1, vector3df(0, 0, z), parent, nullptr, SPRITE_SITE);
    }
    // Lets new nodes settle before the input.
    void settle() { ASSERT_TRUE(step(250)); }
    // Press and release in frames of their own, as a hand makes them.
    void clickCentre()
    {
        moveTo(centre());
        mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
        ASSERT_TRUE(step());
        mouse(irr::EMIE_LMOUSE_LEFT_UP);
        ASSERT_TRUE(step());
    }
};

TEST_F(Clicks, PressAndReleaseRunTheActionOnTheNextFrameWithTheIds)
{
    CNodeBasement* node = make("-Name: button\n-Event.Mouse.Click.Action: hit");
    ASSERT_NE(node, nullptr);
    ASSERT_NE(node->findAnimatorByName("ONCLAN", false), nullptr);
    settle();
    moveTo(centre());
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
    EXPECT_TRUE(scriptLog().empty()) << "the receiver only records";
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), Log({"hit " + std::to_string(node->getID()) + "/1001"}));
    EXPECT_EQ(*CInputState::getReleasedNodeId(), 0) << "the click took the release";
    EXPECT_EQ(getInputLatch()->FireTick, 0u);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog().size(), 1u) << "once";
}

TEST_F(Clicks, NewButtonClicksAtOnceUnlessMadeWhileTheButtonIsHeld)
{
    CNodeBasement* older =
        make("-Name: older\n-Event.Mouse.Click.Action: auto\n-Event.Mouse.Click.KeyShortcut: ${auto}", nullptr, 5);
    ASSERT_TRUE(step(600));   // past the latch lock-out
    CNodeBasement* fresh = make("-Event.Mouse.Click.Action: hit", nullptr, -1);
    clickCentre();
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog(), Log({"hit " + std::to_string(fresh->getID()) + "/1001"}))
        << "taken at once, so the latch stays still for the older auto button";
    deleteNode(older);

    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    CNodeBasement* held = make("-Event.Mouse.Click.Action: other", nullptr, -2);
    moveTo(centre());
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog().size(), 1u) << "the release of a press older than the button";
    EXPECT_EQ(*CInputState::getReleasedNodeId(), held->getID()) << "a refused release stays";
    ASSERT_TRUE(step(200));
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog().back(), "other " + std::to_string(held->getID())) << "200 ms later it is taken";
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
    ASSERT_TRUE(step());

    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    CNodeBasement* fast = make("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.Speed: 40", nullptr, -3);
    clickCentre();
    EXPECT_EQ(scriptLog().back(), "hit " + std::to_string(fast->getID()) + "/1001") << "a click speed clears the guard";
}

TEST_F(Clicks, ModalDialogConfinesClicksToItself)
{
    CNodeBasement* outside = make("-Name: outside\n-Event.Mouse.Click.Action: hit", nullptr, 1);
    CNodeBasement* dialog = addNode(getIdByName("dlg"), vector3df(0, 0, 0), 0.1f, 0.1f);
    attachAnimatorStopped(dialog, new CModalAnimator);
    settle();
    clickCentre();
    EXPECT_TRUE(scriptLog().empty()) << "outside the modal dialog";

    CNodeBasement* inside = make("-Name: inside\n-Event.Mouse.Click.Action: other", dialog, -5);
    settle();
    clickCentre();
    EXPECT_EQ(scriptLog(), Log({"other " + std::to_string(inside->getID())}));
    EXPECT_EQ(getInputState()->getClickables()[0].node, outside);
    EXPECT_EQ(getInputState()->getClickables()[0].level, 0);
    EXPECT_EQ(getInputState()->getClickables()[1].level, 1);

    deleteNode(dialog);
    settle();
    clickCentre();
    EXPECT_EQ(scriptLog().size(), 2u);
    EXPECT_EQ(scriptLog().back().rfind("hit", 0), 0u) << "input is back with the node outside";
}

TEST_F(Clicks, PauseLevelThirtyAndAboveBlocksClicks)
{
    make("-Event.Mouse.Click.Action: hit");
    settle();
    Engine.PauseLevel = 30;
    clickCentre();
    EXPECT_TRUE(scriptLog().empty());
    Engine.PauseLevel = 29;
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog().size(), 1u) << "the release kept through the pause";
}

TEST_F(Clicks, RefusingActionLeavesTheReleaseAndFiresTheLatch)
{
    make("-Event.Mouse.Click.Action: refuse");
    settle();
    getInputLatch()->reset();
    clickCentre();
    EXPECT_EQ(scriptLog(), Log({"refused"}));
    EXPECT_NE(*CInputState::getReleasedNodeId(), 0);
    EXPECT_NE(getInputLatch()->FireTick, 0u) << "not handled";
}

TEST_F(Clicks, NopeSwallowsTheClickAndAnAutoNodeTakesTheLatch)
{
    make("-Event.Mouse.Click.Action: hit", nullptr, 2);   // behind the block
    CNodeBasement* block = make("-Event.Mouse.Click.Block: 1");
    make("-Name: ok\n-Event.Mouse.Click.Action: auto\n-Event.Mouse.Click.KeyShortcut: ${auto}", nullptr, -30);
    ASSERT_TRUE(step(600));   // past the latch lock-out
    EXPECT_EQ(getClickBlockList().GetSize(), 1);
    EXPECT_EQ(getClickBlockList()[0], block->getID());
    clickCentre();
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog(), Log({"auto"})) << "the swallowed release fired the latch for the auto node";

    key(irr::KEY_SPACE, true);
    key(irr::KEY_SPACE, false);
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 1u) << "within the lock-out after its own fire";
    ASSERT_TRUE(step(1100));
    key(irr::KEY_RETURN, true);
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog(), Log({"auto", "auto"}));
}

TEST_F(Clicks, HotkeyClicksOncePerHoldWithAGap)
{
    make("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.KeyShortcut: 81");
    settle();
    key(irr::KEY_KEY_Q, true);
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 1u) << "held: once";
    key(irr::KEY_KEY_Q, false);
    ASSERT_TRUE(step(30));
    key(irr::KEY_KEY_Q, true);
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 1u) << "within a second of the last hotkey click";
    ASSERT_TRUE(step(1000));
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 2u) << "still down after the gap";
}

TEST_F(Clicks, DragRunsOncePerPressAndRightClickHasItsOwnAction)
{
    make("-Event.Mouse.Drag.Action: drag\n-Event.Mouse.RClick.Action: right");
    settle();
    moveTo(centre());
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(step());
    mouse(irr::EMIE_MOUSE_MOVED);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), Log({"drag"}));
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
    ASSERT_TRUE(step());
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), Log({"drag", "drag"}));
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
    mouse(irr::EMIE_RMOUSE_PRESSED_DOWN);
    mouse(irr::EMIE_RMOUSE_LEFT_UP);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), Log({"drag", "drag", "right"}));
    EXPECT_EQ(*CInputState::getRightClickedNodeId(), 0);
}

TEST_F(Clicks, KeysAndButtonsHeldWhenTheFocusGoesAreLetGo)
{
    make("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.KeyShortcut: 72\n-Event.Mouse.Drag.Action: drag");
    ASSERT_TRUE(step(1100));
    ASSERT_EQ(Engine.AppActive, 1);
    moveTo(centre());
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    key(irr::KEY_KEY_H, true);
    ASSERT_TRUE(step(30));
    ASSERT_EQ(scriptLog().size(), 2u) << "the hotkey click and the drag";
    // Another window takes the focus for a moment; H and the button are let go there.
    Engine.WindowAlwaysActive = false;
    ASSERT_FALSE(Engine.isWindowActive());
    ASSERT_TRUE(step());
    Engine.WindowAlwaysActive = true;
    ASSERT_TRUE(step(1100));
    ASSERT_EQ(Engine.AppActive, 1);
    EXPECT_EQ(GetKeyStateIfActive('H'), 0);
    EXPECT_EQ(Engine.Input.isLeftButtonDown(), 0);
    EXPECT_EQ(*CInputState::getPressedNodeId(), 0);
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 2u) << "no second hotkey click by itself";
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog().back(), "drag") << "the next press drags";
    EXPECT_EQ(scriptLog().size(), 3u);
}

TEST_F(Clicks, NodesLeftWithoutAnIdOfTheirOwnShowOneBoxBetweenThem)
{
    // So many nodes hold name IDs that these could get none: they keep the shared ID.
    CNodeBasement* a = make("-Event.Mouse.Click.Action: hit");
    CNodeBasement* b = make("-Event.Mouse.Click.Action: hit", nullptr, 1);
    a->setID(SharedSpriteId);
    b->setID(SharedSpriteId);
    settle();
    CMessageBoxRecorder boxes;
    clickCentre();
    clickCentre();
    int wrong = 0;
    for (const SRecordedBox& box : boxes.Boxes)
        wrong += box.Text.find("Wrong onclick error!") != std::string::npos;
    EXPECT_EQ(wrong, 1) << "one box tells; one per node would bury the player in them";
}

TEST_F(Clicks, AutoDisabledNodeTakesTheClickWithoutItsAction)
{
    make("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.AutodisableIf.Action: return ::enabled;");
    ASSERT_TRUE(step(600));   // the condition has run
    getInputLatch()->reset();
    clickCentre();
    EXPECT_TRUE(scriptLog().empty());
    EXPECT_EQ(getInputLatch()->FireTick, 0u) << "counted as handled";
    script("::enabled <- true;");
    ASSERT_TRUE(step(600));
    clickCentre();
    EXPECT_EQ(scriptLog().size(), 1u);
}

TEST_F(Clicks, ClickBlockTwoOnlyListsTheNode)
{
    CNodeBasement* node = make("-Name: listed\n-Event.Mouse.Click.Block: 2");
    EXPECT_EQ(getClickBlockList().GetSize(), 1);
    EXPECT_EQ(getInputState()->getClickables().size(), 0u) << "not made clickable";
    deleteNode(node);
    ASSERT_TRUE(step());
    EXPECT_EQ(getClickBlockList().GetSize(), 0);
}

TEST_F(Clicks, ReplaceClickableTakesNewIdThenOldId)
{
    CNodeBasement* old = make("-Name: old\n-Event.Mouse.Click.Action: hit");
    CNodeBasement* fresh = addNode(getIdByName("fresh"), vector3df(0, 0, 0), 1, 1);
    EXPECT_EQ(replaceClickableFromScript(fresh->getID(), old->getID()), 1);
    ASSERT_EQ(getInputState()->getClickables().size(), 1u);
    EXPECT_EQ(getInputState()->getClickables()[0].node, fresh);
}

using Hovers = Clicks;

TEST_F(Hovers, InAndOutScriptsWithAnOverImage)
{
    CNodeBasement* node =
        make("-Event.Mouse.Over.Image:\\gui\\empty.png\n-Event.Mouse.Over.In.Script: hin\n"
             "-Event.Mouse.Over.Out.Script: hout");
    ASSERT_TRUE(step());
    moveTo(centre());
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), Log({"in " + std::to_string(node->getID()) + " true"}));
    ASSERT_EQ(node->getChildren().size(), 1u) << "the over image";
    CNodeBasement* image = CNodeBasement::fromSceneNode(*node->getChildren().begin());
    EXPECT_NE(image->findAnimatorByName("ALPH01", false), nullptr) << "fading in";
    moveTo(centre() + irr::core::position2di(1, 0));
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog().size(), 1u) << "still over it";

    moveTo(irr::core::position2di(1, 1));
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), Log({"in " + std::to_string(node->getID()) + " true", "out false"}));
    EXPECT_NE(image->findAnimatorByName("SELDES", false), nullptr) << "fading out";
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(step(100));
    EXPECT_EQ(node->getChildren().size(), 0u);
}

TEST_F(Hovers, PauseSixtyFreezesAndBlockEndsTheHover)
{
    CNodeBasement* node = make("-Event.Mouse.Over.In.Script: hin\n-Event.Mouse.Over.Out.Script: hout");
    ASSERT_TRUE(step());
    Engine.PauseLevel = 60;
    moveTo(centre());
    ASSERT_TRUE(step());
    EXPECT_TRUE(scriptLog().empty());
    Engine.PauseLevel = 0;
    CBaseAnimator* hover = node->findAnimatorByName("ONOVRAN", false);
    ASSERT_NE(hover, nullptr);
    hover->setAction("act", 0);
    EXPECT_EQ(scriptLog().size(), 1u);

    hover->setAction("block", int(Clock.NowMs + 1000));
    EXPECT_EQ(scriptLog().back(), "out false") << "blocked: the hover ends at once";
    hover->setAction("act", 0);
    EXPECT_EQ(scriptLog().size(), 2u) << "kept off until the tick";
    hover->setAction("block", 0);
    EXPECT_EQ(scriptLog().size(), 3u) << "lifted while over the node: the hover starts at once";
}

TEST_F(Hovers, AutoDisableBlocksTheHover)
{
    make("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.AutodisableIf.Action: return ::enabled;\n"
         "-Event.Mouse.Over.In.Script: hin");
    ASSERT_TRUE(step(600));
    moveTo(centre());
    ASSERT_TRUE(step());
    EXPECT_TRUE(scriptLog().empty());
}

} // namespace
