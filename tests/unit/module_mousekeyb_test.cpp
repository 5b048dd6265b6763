// The input state, picking, the latch and the input receiver on the null driver.
#include "module_mousekeyb.h"

#include "fake_clock.h"
#include "input_fixture.h"
#include "module_dialogfactory.h"
#include "node_base.h"
#include "node_text.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_system_common.h"
#include "x_keyboard.h"

#include <ICursorControl.h>
#include <IrrlichtDevice.h>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <array>

#include <string>
#include <vector>

namespace {

using irr::core::vector3df;

// Records the commands a broadcast sends it.
class CProbeAnimator : public CBaseAnimator {
public:
    int setAction(const char* name, int) override
    {
        Commands.push_back(name);
        return 0;
    }
    std::vector<std::string> Commands;
};

using InputState = InputFixture;

TEST_F(InputState, ModalityLevelsCountDialogsAndSkipBlockers)
{
    CInputState* state = getInputState();
    CNodeBasement* dialogA = addNode(3001, vector3df(0, 0, 0), 1, 1);
    CNodeBasement* blocker = addNode(3002, vector3df(0, 0, 0), 1, 1);
    CNodeBasement* dialogB = addNode(3003, vector3df(0, 0, 0), 1, 1);
    CNodeBasement* inA = addNode(3004, vector3df(0, 0, 0), 1, 1, dialogA);
    CNodeBasement* inBlocker = addNode(3005, vector3df(0, 0, 0), 1, 1, blocker);
    CNodeBasement* outside = addNode(3006, vector3df(0, 0, 0), 1, 1);

    EXPECT_EQ(state->getTopModal(false), 0);
    EXPECT_TRUE(state->checkModality(outside)) << "an empty stack lets every node through";

    state->pushModal(dialogA, ModalMarkerDialog);
    EXPECT_EQ(state->getModalityStack()[0].level, 1);
    EXPECT_TRUE(state->checkModality(inA));
    EXPECT_FALSE(state->checkModality(outside));

    state->pushModal(blocker, ModalMarkerBlocker);
    EXPECT_EQ(state->getTopModal(false), -2);
    EXPECT_EQ(state->getTopModal(true), 1);
    EXPECT_TRUE(state->checkModality(inBlocker)) << "under a blocker while it is on top";
    EXPECT_FALSE(state->checkModality(inA));

    state->pushModal(dialogB, ModalMarkerDialog);
    EXPECT_EQ(state->getModalityStack()[2].level, 2) << "the blocker between does not count";
    EXPECT_FALSE(state->checkModality(inA));

    state->popModal(dialogB);
    state->popModal(blocker);
    EXPECT_TRUE(state->checkModality(inA)) << "back to the first dialog";
    state->popModal(outside);   // absent: nothing
    EXPECT_EQ(state->getModalityStack().size(), 1u);
}

TEST_F(InputState, ClickableLevelSkipsTheNodesOwnBlocker)
{
    CInputState* state = getInputState();
    CNodeBasement* dialog = addNode(3001, vector3df(0, 0, 0), 1, 1);
    CNodeBasement* panel = addNode(3002, vector3df(0, 0, 0), 1, 1, dialog);
    state->pushModal(dialog, ModalMarkerDialog);
    state->pushModal(panel, ModalMarkerBlocker);
    state->addClickable(panel, 0);
    ASSERT_EQ(state->getClickables().size(), 1u);
    EXPECT_EQ(state->getClickables()[0].level, 1) << "its own blocker is skipped, the dialog around counts";
    EXPECT_EQ(panel->getAttributeInt("__Clickable", 0), 1);
}

TEST_F(InputState, OverlappingNodesGiveTheNearestTenAndRefusedOnesMakeRoom)
{
    CInputState* state = getInputState();
    for (int i = 0; i < 12; ++i)   // the later registered, the nearer
        state->addClickable(addNode(3000 + i, vector3df(0, 0, 10.0f - i), 2, 2), 0);
    ASSERT_TRUE(step());
    irr::scene::ISceneNode* nodes[MaxPickedNodes] = {};
    ASSERT_EQ(state->pickNodesAtCursor(centre(), nodes), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(nodes[i]->getID(), 3011 - i) << "nearest first; the two farthest are not kept";

    irr::s32 ids[MaxPickedNodes];
    EXPECT_EQ(state->pickTopNodeId(centre(), ids), 3011);
    EXPECT_EQ(ids[0], 3011);

    irr::core::position2di corner(1, 1);
    EXPECT_EQ(state->pickTopNodeId(corner, ids), 0);
    EXPECT_EQ(ids[0], 0);

    // A modal dialog's button behind them all: the nodes it refuses give it a place.
    CNodeBasement* dialog = addNode(3100, vector3df(0, 0, 0), 0.1f, 0.1f);
    state->pushModal(dialog, ModalMarkerDialog);
    state->addClickable(addNode(3101, vector3df(0, 0, 15), 2, 2, dialog), 0);
    ASSERT_EQ(state->pickNodesAtCursor(centre(), nodes), 10);
    EXPECT_EQ(nodes[0]->getID(), 3011);
    EXPECT_EQ(nodes[9]->getID(), 3101) << "the farthest, still picked";
}

TEST_F(InputState, HiddenNodesAndNodesUnderHiddenParentsAreNotPicked)
{
    CInputState* state = getInputState();
    CNodeBasement* parent = addNode(3001, vector3df(0, 0, 0), 2, 2);
    CNodeBasement* child = addNode(3002, vector3df(0, 0, -1), 2, 2, parent);
    CNodeBasement* back = addNode(3003, vector3df(0, 0, 5), 2, 2);
    state->addClickable(child, 0);
    state->addClickable(back, 0);
    ASSERT_TRUE(step());
    EXPECT_EQ(state->pickTopNodeId(centre(), nullptr), 3002);
    parent->setVisible(false);
    EXPECT_EQ(state->pickTopNodeId(centre(), nullptr), 3003);
}

TEST_F(InputState, DestroyedNodeLeavesEveryList)
{
    CInputState* state = getInputState();
    CNodeBasement* node = addNode(3001, vector3df(0, 0, 0), 2, 2);
    state->addClickable(node, 0);
    state->addClickable(node, 0);
    state->pushModal(node, ModalMarkerDialog);
    // Another node takes the ID slot first, so the cache no longer leads to the first one.
    addNode(3001, vector3df(5, 5, 0), 1, 1);
    node->remove();
    EXPECT_EQ(state->getClickables().size(), 0u);
    EXPECT_EQ(state->getModalityStack().size(), 0u);
    EXPECT_EQ(state->pickTopNodeId(centre(), nullptr), 0);
}

TEST_F(InputState, ForgetNodeClearsTheIdSlots)
{
    CInputState* state = getInputState();
    CNodeBasement* node = addNode(3001, vector3df(0, 0, 0), 2, 2);
    state->addClickable(node, 0);
    *CInputState::getHoveredNodeId() = 3001;
    *CInputState::getReleasedNodeId() = 3001;
    *CInputState::getPressedNodeId() = 77;
    state->forgetNode(node, 3001);
    EXPECT_EQ(*CInputState::getHoveredNodeId(), 0);
    EXPECT_EQ(*CInputState::getReleasedNodeId(), 0);
    EXPECT_EQ(*CInputState::getPressedNodeId(), 77);
    EXPECT_EQ(state->getClickables().size(), 0u);
}

TEST(InputLatch, PollConsumesOneFireAfterTheGivenTick)
{
    CFakeClock clock(20000);
    CInputLatch latch;
    EXPECT_FALSE(latch.poll(0, 0));
    latch.fire();
    EXPECT_TRUE(latch.poll(0, 0));
    EXPECT_FALSE(latch.poll(0, 0)) << "consumed";

    latch.fire();
    EXPECT_FALSE(latch.poll(20000, 0)) << "fired at the tick itself, not after it";
    EXPECT_TRUE(latch.poll(19999, 0));

    // A claim of a higher priority holds lower pollers off until it expires.
    EXPECT_TRUE(latch.claim(5, 21000));
    EXPECT_FALSE(latch.claim(3, 21000));
    latch.fire();
    EXPECT_FALSE(latch.poll(0, 2));
    EXPECT_TRUE(latch.poll(0, 5));
    latch.fire();
    clock.advance(1500);
    EXPECT_TRUE(latch.poll(0, 2)) << "the claim has expired";
    EXPECT_TRUE(latch.claim(1, 0)) << "expiry 0 always succeeds";
}

using InputReceiver = InputFixture;

TEST_F(InputReceiver, PressAndReleaseRecordIdsAndReleaseFiresTheLatch)
{
    CInputState* state = getInputState();
    state->addClickable(addNode(3001, vector3df(0, 0, 0), 2, 2), 0);
    moveTo(centre());
    EXPECT_EQ(*CInputState::getHoveredNodeId(), 3001);
    getInputLatch()->reset();

    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    EXPECT_EQ(*CInputState::getPressedNodeId(), 3001);
    EXPECT_EQ(Engine.Input.isLeftButtonDown(), 1);
    ASSERT_TRUE(step());
    EXPECT_EQ(getInputLatch()->FireTick, 0u) << "a press never fires the latch";

    mouse(irr::EMIE_LMOUSE_LEFT_UP);
    EXPECT_EQ(*CInputState::getPressedNodeId(), 0);
    EXPECT_EQ(*CInputState::getReleasedNodeId(), 3001);
    ASSERT_TRUE(step());
    EXPECT_NE(getInputLatch()->FireTick, 0u) << "nobody took the release";

    mouse(irr::EMIE_RMOUSE_PRESSED_DOWN);
    mouse(irr::EMIE_RMOUSE_LEFT_UP);
    EXPECT_EQ(*CInputState::getRightClickedNodeId(), 3001);
}

TEST_F(InputReceiver, HoverBroadcastOnlyWhenTheHoveredNodeChanges)
{
    CInputState* state = getInputState();
    state->addClickable(addNode(3001, vector3df(0, 0, 0), 2, 2), 0);
    CProbeAnimator* probe = new CProbeAnimator;
    state->getHoverAnimators().Add(probe);
    moveTo(centre());
    ASSERT_TRUE(step());
    EXPECT_EQ(probe->Commands, std::vector<std::string>({"act"}));
    moveTo(centre() + irr::core::position2di(1, 1));
    ASSERT_TRUE(step());
    EXPECT_EQ(probe->Commands.size(), 1u) << "still over the same node";
    moveTo(irr::core::position2di(2, 2));
    ASSERT_TRUE(step());
    EXPECT_EQ(probe->Commands.size(), 2u);
    EXPECT_EQ(*CInputState::getHoveredNodeId(), 0);

    // Moved onto the node while the window was not active: the hover animators
    // are told once it is active again, although the node under the pointer
    // has not changed since.
    Engine.AppActive = 0;
    Engine.Device->getCursorControl()->setPosition(centre());
    Engine.Input.updateCursorAndHover();
    ASSERT_TRUE(step());
    EXPECT_EQ(probe->Commands.size(), 2u) << "nothing is told while inactive";
    Engine.AppActive = 1;
    Engine.Input.updateCursorAndHover();
    ASSERT_TRUE(step());
    EXPECT_EQ(probe->Commands.size(), 3u);
    state->getHoverAnimators().RemoveAll();
    probe->drop();
}

TEST_F(InputReceiver, CursorIsClampedToTheResolutionAndClipArea)
{
    Engine.Device->getCursorControl()->setPosition(5000, -20);
    mouse(irr::EMIE_MOUSE_MOVED);
    EXPECT_EQ(CInputState::getCursorPos()->X, Engine.getProfile()->XResolution);
    EXPECT_EQ(CInputState::getCursorPos()->Y, 0);
    irr::f32* clip = CInputState::getCursorClipArea();
    clip[0] = 10, clip[1] = 20, clip[2] = 100.7f, clip[3] = 200;
    mouse(irr::EMIE_MOUSE_MOVED);
    EXPECT_EQ(CInputState::getCursorPos()->X, 100);
    EXPECT_EQ(CInputState::getCursorPos()->Y, 20);
    EXPECT_FLOAT_EQ(CInputState::getRelativeCursorPos()->X, 100.0f / Engine.getProfile()->XResolution);
}

TEST_F(InputReceiver, NothingPassesBeforePlayOrWhileInactive)
{
    CInputState* state = getInputState();
    state->addClickable(addNode(3001, vector3df(0, 0, 0), 2, 2), 0);
    Engine.Device->getCursorControl()->setPosition(centre());
    Engine.setGameState(400);
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    EXPECT_EQ(*CInputState::getPressedNodeId(), 0);
    Engine.setGameState(500);
    Engine.AppActive = 0;
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    EXPECT_EQ(*CInputState::getPressedNodeId(), 0);
    EXPECT_EQ(Engine.Input.isLeftButtonDown(), 0);

    // The release of a key whose press did not pass reaches no hook either,
    // also when the key went down to the hook once before.
    script("function onKey(t) { ::log.append(t._key + \":\" + t._pressed); }");
    CDialogFactory::keyActionStack().Add("onKey");
    Engine.AppActive = 1;
    key(irr::KEY_KEY_A, true);
    Engine.AppActive = 0;   // the focus went, and came back in the last half second
    key(irr::KEY_KEY_A, true);
    Engine.AppActive = 1;
    key(irr::KEY_KEY_A, false);
    Engine.setGameState(400);
    key(irr::KEY_KEY_B, true);
    Engine.setGameState(500);
    key(irr::KEY_KEY_B, false);
    key(irr::KEY_KEY_C, true);
    key(irr::KEY_KEY_C, false);
    key(irr::KEY_KEY_C, false);   // its press went to another window
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), std::vector<std::string>({"65:true", "67:true", "67:false"}));
}

TEST_F(InputReceiver, KeyTableKnowsKeysAndForgetsThemWhenFocusGoes)
{
    key(irr::KEY_LSHIFT, true);
    EXPECT_LT(GetKeyStateIfActive(0x10), 0) << "a sided shift counts as Shift";
    EXPECT_LT(GetKeyStateIfActive(irr::KEY_LSHIFT), 0);
    const struct { irr::EMOUSE_INPUT_EVENT down, up; int code; } buttons[] = {
        {irr::EMIE_LMOUSE_PRESSED_DOWN, irr::EMIE_LMOUSE_LEFT_UP, 1},
        {irr::EMIE_RMOUSE_PRESSED_DOWN, irr::EMIE_RMOUSE_LEFT_UP, 2},
        {irr::EMIE_MMOUSE_PRESSED_DOWN, irr::EMIE_MMOUSE_LEFT_UP, 4},
    };
    for (const auto& b : buttons) {
        mouse(b.down);
        EXPECT_LT(GetKeyStateIfActive(b.code), 0) << "button " << b.code << " is a key too";
        mouse(b.up);
        EXPECT_EQ(GetKeyStateIfActive(b.code), 0) << b.code;
    }
    irr::SEvent e{};   // a key the device has no code for, left with a stale one
    e.EventType = irr::EET_KEY_INPUT_EVENT;
    e.KeyInput.Key = irr::KEY_MENU;
    e.KeyInput.Char = L'\u00E7';
    e.KeyInput.PressedDown = true;
    Engine.Input.OnEvent(e);
    EXPECT_EQ(GetKeyStateIfActive(irr::KEY_MENU), 0) << "a typed character is no Alt";
    e.KeyInput.Key = irr::KEY_KEY_0;   // the u with a grave accent of a French keyboard
    e.KeyInput.Char = L'\u00F9';
    Engine.Input.OnEvent(e);
    EXPECT_EQ(GetKeyStateIfActive(irr::KEY_KEY_0), 0) << "a letter is no digit key";
    key(irr::KEY_KEY_A, true);
    Engine.AppActive = 0;
    key(irr::KEY_KEY_B, false);
    Engine.AppActive = -1;
    EXPECT_EQ(GetKeyStateIfActive(irr::KEY_KEY_A), 0) << "released when the focus went";
}

// The X side of the key events a test posts.
platform::SXKey g_xKey;
bool fakeXKey(bool, platform::SXKey& key)
{
    key = g_xKey;
    return key.Code != 0;
}

// The punctuation keys of a layout: X key code and the symbols on the first
// two levels.
platform::SXLayout layoutOf(std::initializer_list<std::array<unsigned long, 3>> keys)
{
    platform::SXLayout layout;
    for (const auto& key : keys) {
        layout.Sym[key[0]][0] = key[1];
        layout.Sym[key[0]][1] = key[2];
    }
    return layout;
}

// Held keys, hotkeys and the hooks see the code Windows gives the key on the
// layout, not the device's guess from its first symbol.
TEST_F(InputReceiver, KeyCodesAreThoseOfTheKeyOnItsLayout)
{
    const platform::SXLayout dvorak = layoutOf({{20, 0x5B, 0x7B}, {21, 0x5D, 0x7D}, {24, 0x27, 0x22}, {25, 0x2C, 0x3C},
                                                {26, 0x2E, 0x3E}, {34, 0x2F, 0x3F}, {35, 0x3D, 0x2B}, {48, 0x2D, 0x5F},
                                                {49, 0x60, 0x7E}, {51, 0x5C, 0x7C}, {52, 0x3B, 0x3A}, {94, 0x3C, 0x3E}});
    const platform::SXLayout es = layoutOf({{20, 0x27, 0x3F}, {21, 0xA1, 0xBF}, {34, 0xFE50, 0xFE52}, {35, 0x2B, 0x2A},
                                            {47, 0xF1, 0xD1}, {48, 0xFE51, 0xFE57}, {49, 0xBA, 0xAA}, {51, 0xE7, 0xC7},
                                            {59, 0x2C, 0x3B}, {60, 0x2E, 0x3A}, {61, 0x2D, 0x5F}, {94, 0x3C, 0x3E}});
    const platform::SXLayout it = layoutOf({{20, 0x27, 0x3F}, {21, 0xEC, 0x5E}, {34, 0xE8, 0xE9}, {35, 0x2B, 0x2A},
                                            {47, 0xF2, 0xE7}, {48, 0xE0, 0xB0}, {49, 0x5C, 0x7C}, {51, 0xF9, 0xA7},
                                            {59, 0x2C, 0x3B}, {60, 0x2E, 0x3A}, {61, 0x2D, 0x5F}, {94, 0x3C, 0x3E}});
    const platform::SXLayout pt = layoutOf({{20, 0x27, 0x3F}, {21, 0xAB, 0xBB}, {34, 0x2B, 0x2A}, {35, 0xFE51, 0xFE50},
                                            {47, 0xE7, 0xC7}, {48, 0xBA, 0xAA}, {49, 0x5C, 0x7C}, {51, 0xFE53, 0xFE52},
                                            {59, 0x2C, 0x3B}, {60, 0x2E, 0x3A}, {61, 0x2D, 0x5F}, {94, 0x3C, 0x3E}});
    const platform::SXLayout deNoDeadKeys =
        layoutOf({{20, 0xDF, 0x3F}, {21, 0xB4, 0x60}, {34, 0xFC, 0xDC}, {35, 0x2B, 0x2A}, {47, 0xF6, 0xD6},
                  {48, 0xE4, 0xC4}, {49, 0x5E, 0xB0}, {51, 0x23, 0x27}, {59, 0x2C, 0x3B}, {60, 0x2E, 0x3A},
                  {61, 0x2D, 0x5F}, {94, 0x3C, 0x3E}});
    const platform::SXLayout usIntl = layoutOf({{20, 0x2D, 0x5F}, {21, 0x3D, 0x2B}, {34, 0x5B, 0x7B}, {35, 0x5D, 0x7D},
                                                {47, 0x3B, 0x3A}, {48, 0xFE51, 0xFE57}, {49, 0xFE50, 0xFE53},
                                                {51, 0x5C, 0x7C}, {59, 0x2C, 0x3C}, {60, 0x2E, 0x3E}, {61, 0x2F, 0x3F},
                                                {94, 0x5C, 0x7C}});
    const platform::SXLayout gr = layoutOf({{20, 0x2D, 0x5F}, {21, 0x3D, 0x2B}, {24, 0x3B, 0x3A}, {34, 0x5B, 0x7B},
                                            {35, 0x5D, 0x7D}, {47, 0xFE51, 0xFE57}, {48, 0x27, 0x22}, {49, 0x60, 0x7E},
                                            {51, 0x5C, 0x7C}, {59, 0x2C, 0x3C}, {60, 0x2E, 0x3E}, {61, 0x2F, 0x3F},
                                            {94, 0xAB, 0xBB}});
    const platform::SXLayout jp106 =
        layoutOf({{20, 0x2D, 0x3D}, {21, 0x5E, 0x7E}, {34, 0x40, 0x60}, {35, 0x5B, 0x7B}, {47, 0x3B, 0x2B},
                  {48, 0x3A, 0x2A}, {49, 0xFF2A, 0xFF21}, {51, 0x5D, 0x7D}, {59, 0x2C, 0x3C}, {60, 0x2E, 0x3E},
                  {61, 0x2F, 0x3F}, {94, 0x3C, 0x3E}, {97, 0x5C, 0x5F}, {132, 0x5C, 0x7C}});
    struct SCase {
        const char* name;
        unsigned xCode;
        unsigned long sym0, sym1, typed;
        bool numLock;
        irr::EKEY_CODE deviceKey;   // what the device hands over
        wchar_t deviceChar;
        int expected;               // 0: no key
        const platform::SXLayout* layout = nullptr;
    } cases[] = {
        {"fr digit key", 10, 0x26, 0x31, 0x26, false, irr::EKEY_CODE(10), L'&', '1'},
        {"fr digit key with shift", 10, 0x26, 0x31, 0x31, false, irr::EKEY_CODE(10), L'1', '1'},
        {"fr e acute key", 11, 0xE9, 0x32, 0xE9, false, irr::EKEY_CODE(11), L'\u00E9', '2'},
        {"fr comma key", 58, 0x2C, 0x3F, 0x2C, false, irr::KEY_COMMA, L',', 0xBC},
        {"fr a key", 24, 0x61, 0x41, 0x61, false, irr::KEY_KEY_A, L'a', 'A'},
        {"de circumflex, a dead key", 49, 0xFE52, 0xB0, 0xFE52, false, irr::EKEY_CODE(49), L'^', 0xDC},
        {"de shifted digit key", 12, 0x33, 0xA7, 0xA7, false, irr::EKEY_CODE(12), L'\u00A7', '3'},
        {"de z key", 29, 0x7A, 0x5A, 0x7A, false, irr::KEY_KEY_Z, L'z', 'Z'},
        {"number pad 7, NumLock on", 79, 0xFF95, 0xFFB7, 0xFFB7, true, irr::KEY_HOME, L'7', 0x67},
        {"number pad 1, NumLock on", 87, 0xFF9C, 0xFFB1, 0xFFB1, true, irr::KEY_END, L'1', 0x61},
        {"number pad 0, NumLock on", 90, 0xFF9E, 0xFFB0, 0xFFB0, true, irr::KEY_INSERT, L'0', 0x60},
        {"number pad point, NumLock on", 91, 0xFF9F, 0xFFAE, 0xFFAE, true, irr::KEY_DELETE, L'.', 0x6E},
        {"number pad 7, NumLock off", 79, 0xFF95, 0xFFB7, 0xFF95, false, irr::KEY_HOME, 0, 0x24},
        // The Brazilian pad has a comma on its decimal key and a point key beside it.
        {"br(abnt2) number pad comma, NumLock on", 91, 0xFF9F, 0xFFAC, 0xFFAC, true, irr::KEY_SEPARATOR, L',', 0x6E},
        {"br(abnt2) number pad point", 129, 0xFFAE, 0xFFAE, 0xFFAE, true, irr::KEY_DECIMAL, L'.', 0xC2},
        {"br(abnt2) number pad point, NumLock off", 129, 0xFFAE, 0xFFAE, 0xFFAE, false, irr::KEY_DECIMAL, L'.', 0xC2},
        {"ru ef key", 38, 0x6C6, 0x6E6, 0x6C6, false, irr::EKEY_CODE(38), L'\u0444', 'A'},
        {"ru tse key", 25, 0x6C3, 0x6E3, 0x6C3, false, irr::EKEY_CODE(25), L'\u0446', 'W'},
        {"ru yeru key", 39, 0x6D9, 0x6F9, 0x6D9, false, irr::EKEY_CODE(39), L'\u044B', 'S'},
        {"ru ve key", 40, 0x6D7, 0x6F7, 0x6D7, false, irr::EKEY_CODE(40), L'\u0432', 'D'},
        {"F5", 71, 0xFFC2, 0, 0xFFC2, false, irr::KEY_F5, 0, 0x74},
        {"a key beyond the rows the device knows", 92, 0xFE03, 0, 0xFE03, false, irr::KEY_RMENU, 0, 0xA5},
        {"a key beyond the rows the device does not know", 101, 0xFF27, 0, 0xFF27, false, irr::EKEY_CODE(101), 0,
         0},
        {"a key code mapped to nothing", 8, 0, 0, 0, false, irr::EKEY_CODE(8), 0, 0},
        // Punctuation keys have the codes of their symbols; a key whose
        // symbol has none the US key's, unless another key took that code.
        {"dvorak apostrophe key", 24, 0x27, 0x22, 0x27, false, irr::KEY_OEM_7, L'\'', 0xDE, &dvorak},
        {"dvorak comma key", 25, 0x2C, 0x3C, 0x2C, false, irr::KEY_COMMA, L',', 0xBC, &dvorak},
        {"dvorak period key", 26, 0x2E, 0x3E, 0x2E, false, irr::KEY_PERIOD, L'.', 0xBE, &dvorak},
        {"dvorak semicolon key", 52, 0x3B, 0x3A, 0x3B, false, irr::KEY_OEM_1, L';', 0xBA, &dvorak},
        {"dvorak bracket key", 20, 0x5B, 0x7B, 0x5B, false, irr::KEY_OEM_4, L'[', 0xDB, &dvorak},
        {"es apostrophe key", 20, 0x27, 0x3F, 0x27, false, irr::KEY_OEM_7, L'\'', 0xDE, &es},
        {"es minus key", 61, 0x2D, 0x5F, 0x2D, false, irr::KEY_MINUS, L'-', 0xBD, &es},
        {"es acute, a dead key", 48, 0xFE51, 0xFE57, 0xFE51, false, irr::EKEY_CODE(48), 0, 0xBF, &es},
        {"es inverted exclamation key", 21, 0xA1, 0xBF, 0xA1, false, irr::EKEY_CODE(21), L'\u00A1', 0xDD, &es},
        {"es c cedilla key", 51, 0xE7, 0xC7, 0xE7, false, irr::EKEY_CODE(51), L'\u00E7', 0xDC, &es},
        {"it apostrophe key", 20, 0x27, 0x3F, 0x27, false, irr::KEY_OEM_7, L'\'', 0xDE, &it},
        {"it a grave key", 48, 0xE0, 0xB0, 0xE0, false, irr::EKEY_CODE(48), L'\u00E0', 0xBF, &it},
        {"it u grave key", 51, 0xF9, 0xA7, 0xF9, false, irr::EKEY_CODE(51), L'\u00F9', 0xC0, &it},
        {"pt plus key", 34, 0x2B, 0x2A, 0x2B, false, irr::KEY_PLUS, L'+', 0xBB, &pt},
        {"pt guillemet key", 21, 0xAB, 0xBB, 0xAB, false, irr::EKEY_CODE(21), L'\u00AB', 0xDB, &pt},
        {"pt acute, a dead key", 35, 0xFE51, 0xFE50, 0xFE51, false, irr::EKEY_CODE(35), 0, 0xDD, &pt},
        {"pt tilde, a dead key", 51, 0xFE53, 0xFE52, 0xFE53, false, irr::EKEY_CODE(51), 0, 0xC0, &pt},
        {"de(nodeadkeys) circumflex key", 49, 0x5E, 0xB0, 0x5E, false, irr::EKEY_CODE(49), L'^', 0xDC,
         &deNoDeadKeys},
        {"de(nodeadkeys) o umlaut key", 47, 0xF6, 0xD6, 0xF6, false, irr::EKEY_CODE(47), L'\u00F6', 0xC0,
         &deNoDeadKeys},
        {"de(nodeadkeys) acute key", 21, 0xB4, 0x60, 0xB4, false, irr::EKEY_CODE(21), L'\u00B4', 0xDD,
         &deNoDeadKeys},
        {"gr semicolon key", 24, 0x3B, 0x3A, 0x3B, false, irr::KEY_OEM_1, L';', 0xBA, &gr},
        {"gr tonos, a dead key", 47, 0xFE51, 0xFE57, 0xFE51, false, irr::EKEY_CODE(47), 0, 0xDF, &gr},
        {"us(intl) 102nd key", 94, 0x5C, 0x7C, 0x5C, false, irr::KEY_OEM_5, L'\\', 0xE2, &usIntl},
        {"us(intl) backslash key", 51, 0x5C, 0x7C, 0x5C, false, irr::KEY_OEM_5, L'\\', 0xDC, &usIntl},
        // The yen key carries the backslash of the key left of the right
        // Shift, and no US key stands at its place.
        {"jp(106) yen key", 132, 0x5C, 0x7C, 0x5C, false, irr::KEY_OEM_5, L'\\', 0xE1, &jp106},
    };
    script("function onKey(t) { if (t._pressed) ::log.append(t._key); }");
    CDialogFactory::keyActionStack().Add("onKey");
    struct SFakeX {
        SFakeX() : Previous(SetXKeySource(fakeXKey)) {}
        ~SFakeX() { SetXKeySource(Previous); }
        XKeySource Previous;
    } fake;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_xKey = platform::SXKey();
        g_xKey.Code = c.xCode;
        g_xKey.Sym[0] = c.sym0;
        g_xKey.Sym[1] = c.sym1;
        g_xKey.Typed = c.typed;
        g_xKey.NumLock = c.numLock;
        g_xKey.Layout = c.layout;
        irr::SEvent e{};
        e.EventType = irr::EET_KEY_INPUT_EVENT;
        e.KeyInput.Key = c.deviceKey;
        e.KeyInput.Char = c.deviceChar;
        e.KeyInput.PressedDown = true;
        Engine.Input.OnEvent(e);
        if (c.expected) {
            EXPECT_LT(GetKeyStateIfActive(c.expected), 0);
        }
        if (c.deviceKey != c.expected) {
            EXPECT_EQ(GetKeyStateIfActive(c.deviceKey), 0) << "not the device's guess";
        }
        ASSERT_TRUE(step());
        const std::vector<std::string> hooked = scriptLog();
        EXPECT_EQ(hooked, c.expected ? std::vector<std::string>{std::to_string(c.expected)}
                                     : std::vector<std::string>{})
            << "the key hook";
        script("log <- [];");
        e.KeyInput.PressedDown = false;
        Engine.Input.OnEvent(e);
        if (c.expected) {
            EXPECT_EQ(GetKeyStateIfActive(c.expected), 0) << "released";
        }
    }

    // Tools that type map a spare key code for a moment: the release finds it
    // mapped to nothing, and lets go of the key all the same.
    g_xKey = platform::SXKey();
    g_xKey.Code = 200;
    g_xKey.Sym[0] = g_xKey.Typed = 'x';
    irr::SEvent e{};
    e.EventType = irr::EET_KEY_INPUT_EVENT;
    e.KeyInput.Key = irr::EKEY_CODE(200);
    e.KeyInput.Char = L'x';
    e.KeyInput.PressedDown = true;
    Engine.Input.OnEvent(e);
    EXPECT_LT(GetKeyStateIfActive('X'), 0);
    g_xKey.Sym[0] = g_xKey.Typed = 0;
    e.KeyInput.Char = 0;
    e.KeyInput.PressedDown = false;
    Engine.Input.OnEvent(e);
    EXPECT_EQ(GetKeyStateIfActive('X'), 0) << "released by the code it went down with";
}

// A device that reads a key event but does not look it up leaves the
// receiver its own guess of the key: the log says so, once.
TEST_F(InputReceiver, KeyEventNotLookedUpIsLoggedOnce)
{
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    XEvent read{};
    read.type = MotionNotify;   // a key the engine posts after the device read no key
    platform::NoteXEventRead(&read);
    key(irr::KEY_KEY_B, true);
    const std::string line = "The device handed over a key event without looking it up";
    EXPECT_EQ(std::string((const char*)GetDebugLogBuffer()->Text).find(line), std::string::npos);
    read.xkey.type = KeyPress;
    read.xkey.keycode = 38;
    for (int i = 0; i < 2; ++i) {
        platform::NoteXEventRead(&read);
        key(irr::KEY_KEY_A, true);
        EXPECT_LT(GetKeyStateIfActive(irr::KEY_KEY_A), 0) << "the device's code";
    }
    platform::NoteXEventRead(nullptr);
    const std::string log = (const char*)GetDebugLogBuffer()->Text;
    const size_t first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << "logged once\n" << log;
    SetLogFolder(nullptr);
}

TEST_F(InputReceiver, DoubleClicksAndEscReachNeitherStateNorClient)
{
    struct CCountingClient : public CFakeEngineClient {
        bool OnEvent(const irr::SEvent& event) override
        {
            ++Events;
            return false;
        }
        int Events = 0;
    };
    CCountingClient* client = new CCountingClient;
    Engine.setClient(client);
    client->drop();
    mouse(irr::EMIE_LMOUSE_DOUBLE_CLICK);
    EXPECT_EQ(client->Events, 0);
    EXPECT_EQ(Engine.Input.isLeftButtonDown(), 0);

    CDialogFactory::escActionStack().Add("onEsc()");
    EXPECT_TRUE(key(irr::KEY_ESCAPE, true));
    EXPECT_EQ(client->Events, 0) << "Esc is the engine's";
    EXPECT_EQ(Engine.Scripts.getQueuedCount(), 1);
    key(irr::KEY_ESCAPE, false);
    EXPECT_EQ(client->Events, 1) << "a release of Esc is an ordinary key";
    EXPECT_EQ(Engine.Scripts.getQueuedCount(), 1);
}

TEST_F(InputReceiver, EveryQueuedHookCallHasItsOwnKeyTable)
{
    script("function onKey(t) { ::log.append(t._key + \":\" + t._pressed + \":\" + t._shift); }");
    CDialogFactory::keyActionStack().Add("onKey");
    key(irr::KEY_KEY_A, true);
    key(irr::KEY_KEY_A, false, true);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), std::vector<std::string>({"65:true:false", "65:false:true"}));
}

TEST_F(InputReceiver, MouseHooksGetButtonCodes)
{
    script("function onMouse(t) { ::log.append(t._key + \":\" + t._pressed); }");
    CDialogFactory::mouseClickActionStack().Add("onMouse");
    CDialogFactory::mouseMoveActionStack().Add("onMouse");
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
    mouse(irr::EMIE_RMOUSE_PRESSED_DOWN);
    mouse(irr::EMIE_MMOUSE_LEFT_UP);
    mouse(irr::EMIE_MOUSE_WHEEL, 1.0f);
    mouse(irr::EMIE_MOUSE_WHEEL, -1.0f);
    mouse(irr::EMIE_MOUSE_MOVED);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), std::vector<std::string>({"1:true", "1:false", "2:true", "4:false", "253:true",
                                                     "254:true", "252:false"}));
}

TEST_F(InputReceiver, SpaceAndReturnFireTheLatch)
{
    for (irr::EKEY_CODE code : {irr::KEY_SPACE, irr::KEY_RETURN}) {
        getInputLatch()->reset();
        key(code, false);
        EXPECT_EQ(getInputLatch()->FireTick, 0u) << "not on a release";
        key(code, true);
        EXPECT_NE(getInputLatch()->FireTick, 0u);
    }
}

TEST_F(InputReceiver, DebugKeysNeedDebugMode)
{
    Engine.Options.Debug = 1;
    key(irr::KEY_KEY_B, true, false, true);
    EXPECT_EQ(Engine.Options.Debug, 3);
    key(irr::KEY_KEY_B, true, false, true);
    EXPECT_EQ(Engine.Options.Debug, 1);
    Engine.Options.Debug = 2;
    key(irr::KEY_KEY_B, true, false, true);
    EXPECT_EQ(Engine.Options.Debug, 0);
    key(irr::KEY_KEY_B, true, false, true);
    EXPECT_EQ(Engine.Options.Debug, 0) << "no debug key works now";
}

TEST_F(InputReceiver, DebugKeysAnswerWithALineOnScreen)
{
    SetLogFolder(Program.Folder.path().c_str());   // Ctrl+D writes its files there
    Engine.Options.Debug = 1;
    int* debugFlag = GetDebugModeFlag();
    const int savedFlag = *debugFlag;
    *debugFlag = 0;
    struct Case {
        irr::EKEY_CODE code;
        bool shift;
        const char* line;
    } cases[] = {
        {irr::KEY_KEY_I, false, "Debug on"},
        {irr::KEY_KEY_I, false, "Debug off"},
        {irr::KEY_KEY_D, false, "Debug Stats cleared!"},
        {irr::KEY_KEY_R, true, "Caches cleared"},
    };
    for (const Case& c : cases) {
        clearDebugLines();
        std::vector<std::string> before;
        for (irr::scene::ISceneNode* child : Engine.RootNode->getChildren())
            if (auto* text = dynamic_cast<CTextNode*>(child))
                before.push_back(std::string(text->getText()));
        key(c.code, true, c.shift, true);
        std::vector<std::string> added;
        for (irr::scene::ISceneNode* child : Engine.RootNode->getChildren())
            if (auto* text = dynamic_cast<CTextNode*>(child))
                added.push_back(std::string(text->getText()));
        ASSERT_EQ(added.size(), before.size() + 1) << c.line;
        const std::string& shown = added.back();
        const std::string tail = std::string("] ") + c.line;
        ASSERT_GE(shown.size(), tail.size()) << shown;
        EXPECT_EQ(shown.substr(shown.size() - tail.size()), tail) << "exactly this line, nothing appended";
    }
    *debugFlag = savedFlag;
    SetLogFolder(nullptr);
}

TEST_F(InputReceiver, F6EditorGetsEnablingAndDisablingThatStay)
{
    Engine.Options.Debug = 1;
    ASSERT_EQ(Engine.Options.getOption("EnableIngameEditor", false), "1");
    script("function ActivateF6Editor(t) { ::log.append(t._key + \":\" + (\"_Enabling\" in t) + \":\" + "
           "(\"_Disabling\" in t)); }");
    key(irr::KEY_F6, true);
    key(irr::KEY_KEY_X, true);
    key(irr::KEY_F6, true);
    key(irr::KEY_KEY_Y, true);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), std::vector<std::string>({"117:false:false", "117:true:false", "88:true:false",
                                                     "117:true:false", "117:true:true"}));
    EXPECT_EQ(Engine.Input.isInGameEditorOn(), 0);
}

} // namespace
