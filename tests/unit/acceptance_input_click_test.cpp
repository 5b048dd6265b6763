// The click road end to end on the steppable loop: what a press and release
// on a described button leads to (sound through the message queue, the click
// image, releases left for other animators, the latch lock-out of "${auto}",
// deep clicks, pending clicks).
#include "module_mousekeyb_animators.h"

#include "asystemanimators.h"
#include "input_fixture.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "server_sound_bass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using irr::core::vector3df;
using Log = std::vector<std::string>;

class ClickRoad : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        script("function hit(t) { ::log.append(\"hit \" + t._id + \"/\" + t._parentid); }"
               "function other(t) { ::log.append(\"other \" + t._id); }"
               "function refuse(t) { ::log.append(\"refused\"); return false; }"
               "function auto(t) { ::log.append(\"auto\"); }"
               "function later(t) { ::log.append(\"later\"); return ::enabled; }"
               "enabled <- false;");
    }

    CNodeBasement* make(const std::string& keys, float z = 0)
    {
        const std::string text = "raw://\n-Texture:?fill[c1,w64,h32]\n-Size: w2 h2\n" + keys + "\n";
        return addSprite(text.c_str(), 1, 1, vector3df(0, 0, z), nullptr, nullptr, SPRITE_SITE);
    }
    void startSound()
    {
        Engine.getSoundServer()->init(1);
        ASSERT_TRUE(Engine.getSoundServer()->isAvailable());
        Engine.getSoundServer()->getEffectsVolume() = 1.0f;
    }
    // Press and release in frames of their own; the release's broadcast has
    // not run yet when this returns.
    void pressAndRelease()
    {
        moveTo(centre());
        mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
        ASSERT_TRUE(step());
        mouse(irr::EMIE_LMOUSE_LEFT_UP);
    }
    static int countAnimators(irr::scene::ISceneNode* node, const char* name)
    {
        int count = 0;
        for (irr::scene::ISceneNodeAnimator* a : node->getAnimators())
            if (auto* animator = dynamic_cast<CBaseAnimator*>(a))
                count += animator->getName() == CString(name);
        return count;
    }
};

TEST_F(ClickRoad, SoundIsQueuedByTheClickAndPlayedAtTheEndOfTheNextFrame)
{
    startSound();
    make("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.Sound: click");
    ASSERT_TRUE(step(250));
    pressAndRelease();
    EXPECT_EQ(Engine.Queue.findMessage(SM_PLAY_EFFECT), nullptr) << "the receiver only records";
    ASSERT_TRUE(step());
    ASSERT_EQ(scriptLog().size(), 1u);
    EXPECT_NE(Engine.Queue.findMessage(SM_PLAY_EFFECT), nullptr) << "posted during the frame's broadcast";
    EXPECT_EQ(SoundLibrary.count("ChannelPlay"), 0) << "not yet due in the frame that posted it";
    ASSERT_TRUE(step());
    EXPECT_EQ(Engine.Queue.findMessage(SM_PLAY_EFFECT), nullptr);
    EXPECT_EQ(SoundLibrary.count("ChannelPlay"), 1);
    ASSERT_EQ(SoundLibrary.Samples.size(), 1u);
    EXPECT_NE(SoundLibrary.Samples.begin()->second.find("click"), std::string::npos);
}

TEST_F(ClickRoad, ClickImageFadesInOverTheNodeAndGoes)
{
    struct Case {
        const char* extraKeys;
        int selfDestroyers;   // a hovered button's image also goes after 3 s at the latest
    } cases[] = {
        {"", 1},
        {"\n-Event.Mouse.Over.In.Script: ::log.append(\"in\");", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extraKeys);
        CNodeBasement* node =
            make(std::string("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.Image:\\gui\\black.png") +
                 c.extraKeys);
        ASSERT_TRUE(step(250));
        EXPECT_TRUE(node->getChildren().empty());
        pressAndRelease();
        ASSERT_TRUE(step());
        ASSERT_EQ(node->getChildren().size(), 1u) << "the click image";
        CNodeBasement* image = CNodeBasement::fromSceneNode(*node->getChildren().begin());
        auto* sprite = dynamic_cast<CSpriteNode*>(image);
        ASSERT_NE(sprite, nullptr);
        EXPECT_NE(std::string(sprite->getTextureRegion().Name).find("black.png"), std::string::npos);
        EXPECT_FLOAT_EQ(image->getSize().Width, node->getSize().Width) << "the node's size";
        EXPECT_NE(image->getID(), 8001) << "an ID of its own";
        EXPECT_NE(image->findAnimatorByName("ALPH01", false), nullptr) << "fading in";
        EXPECT_EQ(countAnimators(image, CSelfDestroyAnimator::UniqueName), c.selfDestroyers);
        const irr::s32 imageId = image->getID();
        for (int i = 0; i < 11; ++i)
            ASSERT_TRUE(step(100));
        EXPECT_EQ(getNodeById(imageId, nullptr), nullptr) << "gone after a second";
        EXPECT_TRUE(node->getChildren().empty());
        deleteNode(node);
        ASSERT_TRUE(step());
        script("log.clear();");
    }
}

TEST_F(ClickRoad, ReleaseRefusedByOneAnimatorGoesToTheNextOfTheSameId)
{
    struct Case {
        const char* first;
        Log log;
        bool latchFired;
        bool releaseLeft;
        bool oneFrame;   // press and release before the next pass: a tap
    } cases[] = {
        {"refuse", {"refused", "other"}, false, false, false},
        {"hit", {"hit"}, false, false, false},           // taken: the second sees no release
        {"/*NOPE*/", {}, true, false, false},            // swallowed, not handled
        {"hit", {"hit"}, false, false, true},            // taken by the press's broadcast
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        CNodeBasement* front = make(std::string("-Event.Mouse.Click.Action: ") + c.first, -1);
        CNodeBasement* back = make("-Event.Mouse.Click.Action: other", 1);
        back->setID(front->getID());
        ASSERT_TRUE(step(250));
        script("log.clear();");
        if (c.oneFrame) {
            moveTo(centre());
            click();
        } else {
            pressAndRelease();
        }
        getInputLatch()->reset();
        ASSERT_TRUE(step());
        Log words;
        for (const std::string& line : scriptLog())
            words.push_back(line.substr(0, line.find(' ')));
        EXPECT_EQ(words, c.log);
        EXPECT_EQ(getInputLatch()->FireTick != 0, c.latchFired);
        EXPECT_EQ(*CInputState::getReleasedNodeId() != 0, c.releaseLeft);
        deleteNode(front);
        deleteNode(back);
        ASSERT_TRUE(step());
    }
}

TEST_F(ClickRoad, AutoButtonIgnoresTheLatchDuringItsLockOut)
{
    for (irr::EKEY_CODE code : {irr::KEY_SPACE, irr::KEY_RETURN}) {
        SCOPED_TRACE(code);
        ASSERT_TRUE(step(1100));   // hotkey clicks of any button keep a second apart
        CNodeBasement* node = make("-Event.Mouse.Click.Action: auto\n-Event.Mouse.Click.KeyShortcut: ${auto}");
        script("log.clear();");
        ASSERT_TRUE(step(300));
        key(code, true);
        key(code, false);
        ASSERT_TRUE(step(30));
        ASSERT_TRUE(step(30));
        EXPECT_TRUE(scriptLog().empty()) << "the key came within 500 ms of the button's creation";
        ASSERT_TRUE(step(300));
        EXPECT_TRUE(scriptLog().empty()) << "an old fire stays too old";
        key(code, true);
        key(code, false);
        ASSERT_TRUE(step(30));
        EXPECT_EQ(scriptLog(), Log({"auto"}));
        deleteNode(node);
        ASSERT_TRUE(step());
    }
}

TEST_F(ClickRoad, DeepButtonClicksWhileUnderTheCursorBehindAnother)
{
    make("-Event.Mouse.Click.Action: hit", -1);
    make("-Event.Mouse.Click.Action: other\n-Event.Mouse.Click.Action.AllowDeep: 1", 1);
    ASSERT_NE(make("-Event.Mouse.Click.Action: refuse", 2), nullptr);
    ASSERT_TRUE(step(250));
    pressAndRelease();
    ASSERT_TRUE(step());
    int hits = 0, others = 0, refused = 0;
    for (const std::string& line : scriptLog()) {
        hits += line.rfind("hit", 0) == 0;
        others += line.rfind("other", 0) == 0;
        refused += line == "refused";
    }
    EXPECT_EQ(hits, 1) << "the front button takes the release";
    EXPECT_EQ(others, 2) << "the deep one clicks at the press and at the release";
    EXPECT_EQ(refused, 0) << "a button behind without allow deep never sees the release";
}

TEST_F(ClickRoad, ScriptMadeButtonStaysClickableUnderItsName)
{
    script("core_CreateSprite(\"raw://\\n-Texture:?fill[c1,w64,h32]\\n-Size: w2 h2\\n"
           "-Event.Mouse.Click.Action: hit\\n\", {x = 0, y = 0, z = 0, name = \"named\"}, \"pole\");");
    irr::scene::ISceneNode* named = getNodeByName("named");
    ASSERT_NE(named, nullptr);
    ASSERT_TRUE(step(250));
    pressAndRelease();
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), Log({"hit " + std::to_string(named->getID()) + "/1001"})) << "the named button clicks";
}

TEST_F(ClickRoad, PendingClickIsRetriedUntilTheActionTakesIt)
{
    CNodeBasement* node = make("-Event.Mouse.Click.Action: later\n-Event.Mouse.Click.KeyShortcut: 81");
    auto* click = dynamic_cast<COnClickAnimator*>(node->findAnimatorByName(COnClickAnimator::UniqueName, false));
    ASSERT_NE(click, nullptr);
    ASSERT_TRUE(step(250));
    click->clickAfter(100);
    ASSERT_TRUE(step(50));
    EXPECT_TRUE(scriptLog().empty()) << "not before its time";
    ASSERT_TRUE(step(100));
    EXPECT_EQ(scriptLog(), Log({"later"}));
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 2u) << "refused: tried again";
    script("::enabled <- true;");
    ASSERT_TRUE(step(30));
    ASSERT_TRUE(step(30));
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 3u) << "taken once, then done";
}

TEST_F(ClickRoad, OverSoundPlaysAtEachEntryWithoutAnImageNode)
{
    startSound();
    CNodeBasement* node = make("-Event.Mouse.Over.Sound: blip");
    ASSERT_TRUE(step());
    const size_t rootChildren = Engine.RootNode->getChildren().size();
    for (int entry = 1; entry <= 2; ++entry) {
        SCOPED_TRACE(entry);
        moveTo(centre());
        ASSERT_TRUE(step());
        EXPECT_NE(Engine.Queue.findMessage(SM_PLAY_EFFECT), nullptr) << "asked for at the entry";
        moveTo(centre() + irr::core::position2di(1, 0));
        ASSERT_TRUE(step(600));   // past the reuse time of the effect's copy
        EXPECT_EQ(Engine.Queue.findMessage(SM_PLAY_EFFECT), nullptr) << "once per entry";
        EXPECT_EQ(SoundLibrary.count("ChannelPlay"), entry);
        EXPECT_TRUE(node->getChildren().empty()) << "no image node";
        moveTo(irr::core::position2di(1, 1));
        ASSERT_TRUE(step());
        EXPECT_EQ(Engine.RootNode->getChildren().size(), rootChildren) << "the root only marked the hover";
    }
}

TEST_F(ClickRoad, AutoDisabledButtonShowsItsDisabledImageAndRefusesClicks)
{
    startSound();
    CNodeBasement* node = make("-Event.Mouse.Click.Action: hit\n"
                               "-Event.Mouse.Click.Sound: click\n"
                               "-Event.Mouse.Click.Image:\\gui\\empty.png\n"
                               "-Event.Mouse.Click.AutodisableIf.Action: return ::enabled;\n"
                               "-Event.Mouse.Click.AutodisableIf.Image:\\gui\\black.png");
    ASSERT_TRUE(step(600));   // the condition has run
    ASSERT_EQ(node->getChildren().size(), 1u) << "the disabled image";
    CNodeBasement* image = CNodeBasement::fromSceneNode(*node->getChildren().begin());
    EXPECT_NE(image->findAnimatorByName("ALPH01", false), nullptr) << "fading in";
    pressAndRelease();
    getInputLatch()->reset();
    ASSERT_TRUE(step());
    EXPECT_TRUE(scriptLog().empty()) << "refused while disabled";
    EXPECT_EQ(Engine.Queue.findMessage(SM_PLAY_EFFECT), nullptr) << "no click sound";
    EXPECT_EQ(node->getChildren().size(), 1u) << "no click image";
    EXPECT_EQ(getInputLatch()->FireTick, 0u) << "yet the click counts as handled";
    EXPECT_EQ(*CInputState::getReleasedNodeId(), 0);

    script("::enabled <- true;");
    ASSERT_TRUE(step(600));
    EXPECT_NE(image->findAnimatorByName(CSelfDestroyAnimator::UniqueName, false), nullptr) << "fading out";
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(step(100));
    EXPECT_TRUE(node->getChildren().empty());
    pressAndRelease();
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog().size(), 1u);
    EXPECT_NE(Engine.Queue.findMessage(SM_PLAY_EFFECT), nullptr);
    EXPECT_EQ(node->getChildren().size(), 1u) << "the click image";
}

TEST_F(ClickRoad, ConditionValuesDecideWhetherTheButtonIsEnabled)
{
    struct Case {
        const char* condition;
        bool enabled;
    } cases[] = {
        {"return true;", true},   {"return false;", false}, {"return 0;", false},
        {"return 7;", true},      {"return null;", false},  {"::enabled = true;", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.condition);
        CNodeBasement* node =
            make(std::string("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.AutodisableIf.Action: ") +
                 c.condition);
        auto* disable = dynamic_cast<CAutoDisableAnimator*>(
            node->findAnimatorByName(CAutoDisableAnimator::UniqueName, false));
        ASSERT_NE(disable, nullptr);
        ASSERT_TRUE(step(600));
        EXPECT_EQ(disable->isDisabled() == 0, c.enabled);
        script("log.clear();");
        pressAndRelease();
        ASSERT_TRUE(step());
        EXPECT_EQ(scriptLog().size(), c.enabled ? 1u : 0u);
        deleteNode(node);
        ASSERT_TRUE(step());
    }
}

TEST_F(ClickRoad, HotkeyRefusedByAModalLayerClicksOnceTheLayerGoes)
{
    make("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.KeyShortcut: 81");
    CNodeBasement* dialog = addNode(getIdByName("blocking"), vector3df(0, 0, 0), 0.1f, 0.1f);
    attachAnimatorStopped(dialog, new CModalAnimator);
    ASSERT_TRUE(step(1100));
    key(irr::KEY_KEY_Q, true);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(step(30));
    EXPECT_TRUE(scriptLog().empty()) << "outside the modal layer";
    deleteNode(dialog);
    ASSERT_TRUE(step(30));
    ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 1u) << "still held: the refused click is tried again";
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(step(30));
    EXPECT_EQ(scriptLog().size(), 1u) << "once per hold";
}

TEST_F(ClickRoad, AutoButtonOutsideAModalDialogLeavesTheLatchToTheDialogsOwn)
{
    make("-Event.Mouse.Click.Action: hit\n-Event.Mouse.Click.KeyShortcut: ${auto}");
    CNodeBasement* dialog = addNode(getIdByName("dlg"), vector3df(0, 0, 0), 0.1f, 0.1f);
    attachAnimatorStopped(dialog, new CModalAnimator);
    const char* ok = "raw://\n-Texture:?fill[c1,w64,h32]\n-Size: w2 h2\n"
                     "-Event.Mouse.Click.Action: auto\n-Event.Mouse.Click.KeyShortcut: ${auto}\n";
    ASSERT_NE(addSprite(ok, 1, 1, vector3df(0, 0, -1), dialog, nullptr, SPRITE_SITE), nullptr);
    ASSERT_TRUE(step(600));   // past the lock-out
    moveTo(irr::core::position2di(2, 2));   // over nothing
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        if (i < 2) {
            key(i == 0 ? irr::KEY_RETURN : irr::KEY_SPACE, true);
            key(i == 0 ? irr::KEY_RETURN : irr::KEY_SPACE, false);
        } else {
            click();
        }
        ASSERT_TRUE(step(30));
        ASSERT_TRUE(step(30));
        EXPECT_EQ(scriptLog(), Log(size_t(i + 1), "auto")) << "the refused button leaves the fire alone";
        ASSERT_TRUE(step(1100));   // hotkey clicks keep a second apart
    }
}

TEST_F(ClickRoad, HoverFollowsANodeThatMovesUnderAStillCursor)
{
    CNodeBasement* node = make("-Event.Mouse.Over.In.Script: ::log.append(\"in\");\n"
                               "-Event.Mouse.Over.Out.Script: ::log.append(\"out\");");
    node->setPosition(vector3df(12, 0, 0));
    node->updateAbsolutePosition();
    moveTo(centre());
    for (int i = 0; i < 12; ++i)   // past the next tick of the root
        ASSERT_TRUE(step(50));
    EXPECT_TRUE(scriptLog().empty());
    node->setPosition(vector3df(0, 0, 0));
    for (int i = 0; i < 12; ++i)   // past the next tick of the root
        ASSERT_TRUE(step(50));
    EXPECT_EQ(scriptLog(), Log({"in"})) << "no mouse event: the tick looked again";
    node->setPosition(vector3df(-12, 0, 0));
    for (int i = 0; i < 12; ++i)   // past the next tick of the root
        ASSERT_TRUE(step(50));
    EXPECT_EQ(*CInputState::getHoveredNodeId(), 0);
    EXPECT_EQ(scriptLog(), Log({"in", "out"}));
}

TEST_F(ClickRoad, RightClickTakenClearsItsIdRefusedLeavesIt)
{
    struct Case {
        const char* action;
        Log log;
        bool idLeft;
        bool latchFired;
    } cases[] = {
        {"hit", {"hit"}, false, false},
        {"refuse", {"refused"}, true, true},
        {"/*NOPE*/", {}, true, true},   // swallowing is for left clicks only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        CNodeBasement* node = make(std::string("-Event.Mouse.RClick.Action: ") + c.action);
        ASSERT_TRUE(step(250));
        script("log.clear();");
        moveTo(centre());
        mouse(irr::EMIE_RMOUSE_PRESSED_DOWN);
        mouse(irr::EMIE_RMOUSE_LEFT_UP);
        getInputLatch()->reset();
        ASSERT_TRUE(step());
        Log words;
        for (const std::string& line : scriptLog())
            words.push_back(line.substr(0, line.find(' ')));
        EXPECT_EQ(words, c.log);
        EXPECT_EQ(*CInputState::getRightClickedNodeId() == node->getID(), c.idLeft);
        EXPECT_EQ(getInputLatch()->FireTick != 0, c.latchFired);
        *CInputState::getRightClickedNodeId() = 0;
        deleteNode(node);
        ASSERT_TRUE(step());
    }
}

} // namespace
