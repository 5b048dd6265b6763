// Input: the input state (cursor, hovered and clicked nodes, clickable nodes,
// the modality stack, picking), the one-shot input latch, and the device's
// event receiver, which only records what happened and schedules a broadcast
// that the input animators answer in the next animation pass.
#pragma once

#include "abaseanimators.h"
#include "module_scripting_binding.h"
#include "utils_array.h"
#include "utils_str.h"
#include "x_compose.h"
#include "x_keyboard.h"

#include <IEventReceiver.h>
#include <irrArray.h>
#include <position2d.h>
#include <vector2d.h>

#include <cstdint>
#include <unordered_map>

namespace irr { namespace scene { class ISceneNode; } }

class CNodeBasement;

// One entry of the clickable list or the modality stack; owns nothing.
struct CClickableEntry {
    irr::scene::ISceneNode* node = nullptr;
    CString name;
    irr::s32 level = 0;        // modal level; -2 for a blocker
    irr::s32 pixelPerfect = 0;
};

constexpr int MaxPickedNodes = 10;
constexpr irr::s32 ModalMarkerDialog = -1;
constexpr irr::s32 ModalMarkerBlocker = -2;

class CInputState {
public:
    CInputState() = default;
    CInputState(const CInputState&) = delete;
    CInputState& operator=(const CInputState&) = delete;

    static irr::s32* getHoveredNodeId();
    static irr::s32* getPressedNodeId();
    static irr::s32* getReleasedNodeId();
    static irr::s32* getRightClickedNodeId();
    static irr::core::position2di* getCursorPos();
    static irr::core::vector2df* getRelativeCursorPos();
    static irr::core::position2di* getPressPos();
    static irr::f32* getCursorClipArea();   // left, top, right, bottom; off while right <= 0.001

    // Move the device cursor: window pixels, or 0..1 of the profile resolution.
    static void setCursorPos(int x, int y);
    static void setCursorPosF(float x, float y);

    void addClickable(irr::scene::ISceneNode* node, int pixelPerfect);
    void removeClickable(irr::scene::ISceneNode* node);
    void replaceClickable(irr::scene::ISceneNode* newNode, irr::scene::ISceneNode* oldNode);
    void forgetNode(irr::scene::ISceneNode* node, irr::s32 id);
    // Drops every entry of a node that is going away.
    void purgeNode(irr::scene::ISceneNode* node);

    void pushModal(irr::scene::ISceneNode* node, irr::s32 marker);
    void popModal(irr::scene::ISceneNode* node);
    irr::s32 getTopModal(bool skipBlockers) const;
    irr::s32 findModalAncestor(irr::scene::ISceneNode* node, bool skipBlockers) const;
    bool checkModality(irr::scene::ISceneNode* node) const;

    // The ten nearest visible clickables drawn under the cursor, nearest
    // first; those modality allows are kept before those it refuses. -1 for
    // a degenerate ray.
    int pickNodesAtCursor(const irr::core::position2di& pos, irr::scene::ISceneNode** nodes);
    irr::s32 pickTopNodeId(const irr::core::position2di& pos, irr::s32* ids);

    const irr::core::array<CClickableEntry>& getModalityStack() const { return ModalityStack; }
    const irr::core::array<CClickableEntry>& getClickables();
    irr::s32* getPickedIds() { return PickedIds; }
    CArray<CBaseAnimator*>& getClickAnimators() { return ClickAnimators; }
    CArray<CBaseAnimator*>& getHoverAnimators() { return HoverAnimators; }

    // Empties every list and slot (tests, and the end of a run).
    void reset();

private:
    CString Text;
    irr::core::array<CClickableEntry> ModalityStack;   // bottom first
    // Removing a clickable only counts it: the entries go in one pass when
    // the list is next read or half of it is gone, so that removing many
    // (a whole scene, on quitting) does not cost the list's length each.
    void markRemoved(irr::scene::ISceneNode* node, int entries);
    void dropRemovedClickables();

    irr::core::array<CClickableEntry> Clickables;      // registration order, removed ones included
    std::unordered_map<irr::scene::ISceneNode*, int> LiveClickables;      // entries not removed, per node
    std::unordered_map<irr::scene::ISceneNode*, int> RemovedClickables;   // removed, still in the list
    irr::u32 RemovedCount = 0;
    irr::s32 PickedIds[MaxPickedNodes] = {};
    CArray<CBaseAnimator*> ClickAnimators;
    CArray<CBaseAnimator*> HoverAnimators;
};

CInputState* getInputState();

// Node IDs of the click-block animators, one entry each.
CArray<irr::s32>& getClickBlockList();
extern CArray<irr::s32>& clickBlockList;   // the same list

// The one-shot latch that records that some input occurred. Ticks compare unsigned.
class CInputLatch {
public:
    void fire();
    void reset() { FireTick = 0; }
    bool poll(uint32_t afterTick, uint32_t priority);
    bool claim(uint32_t priority, uint32_t expiryTick);

    uint32_t FireTick = 0;
    uint32_t ClaimedPriority = 0;
    uint32_t ClaimExpiry = 0;
};

CInputLatch* getInputLatch();

// Set to 0 by each click broadcast; every click taken adds 1.
extern int clickHandledCounter;
// Whether a left or right click of the last release was taken, in whichever
// pass: a quick click is taken by the press's broadcast, before the release's.
extern bool releaseClickTaken;
// Tick of the last hotkey click that ran its action.
extern uint32_t lastHotkeyClickTick;
// Whether a click animator has shown that its node has the shared sprite ID.
extern bool wrongOnclickShown;

// Sends "act" once, in the next animation pass, to every animator of one array.
class CClickBroadcastAnimator : public CBaseAnimator {
public:
    CClickBroadcastAnimator(CArray<CBaseAnimator*>* targets, bool isClick, bool noLatch);
    void animate(CNodeBasement* node, irr::u32 localMs) override;

private:
    CArray<CBaseAnimator*>* Targets;
    bool IsClick;
    bool NoLatch;
};

class CSimpleTextEditorAnimator;
CSimpleTextEditorAnimator** getFocusedTextEditor();

// Where the receiver learns the X side of a key event (its key code and the
// layout's symbols on it): the X event the device is converting unless a
// test gives its own. False when it is not known; the device's own guess is
// used then.
using XKeySource = bool (*)(bool pressed, platform::SXKey& key);
// Null restores the device's. Returns the source held before.
XKeySource SetXKeySource(XKeySource source);

class CInputReceiver : public irr::IEventReceiver {
public:
    CInputReceiver() = default;
    ~CInputReceiver() override = default;
    CInputReceiver(const CInputReceiver&) = delete;
    CInputReceiver& operator=(const CInputReceiver&) = delete;

    bool OnEvent(const irr::SEvent& event) override;

    // Clamps and clips the device cursor, re-picks, and tells the hover
    // animators when the hovered node changed.
    void updateCursorAndHover();
    // False when nothing was sent: the window is not active or there is no scene.
    bool broadcastClick(bool toHover, bool noLatch);
    // Called every frame: keys and buttons let go in another window never
    // come back as releases, so losing the focus lets go of them all.
    void followWindowFocus(bool focused);
    void forgetHeldInput();

    bool sendKeyEventToScript(const irr::SEvent::SKeyInput& key, const char* function);
    bool sendToKeyHook(const irr::SEvent::SKeyInput& key);
    bool sendToMouseClickHook(const irr::SEvent::SKeyInput& key);
    bool sendToMouseMoveHook(const irr::SEvent::SKeyInput& key);

    // The cursor's pixel position after clamping.
    const irr::core::position2di& getCursorPos() const { return *CInputState::getCursorPos(); }
    int isLeftButtonDown() const { return LeftButton; }
    int isRightButtonDown() const { return RightButton; }
    int isInGameEditorOn() const { return InGameEditor; }

private:
    bool onMouseEvent(const irr::SEvent& event);
    bool cleanKeyEvent(const irr::SEvent& event, irr::SEvent& clean, wchar_t& accentFirst);
    void composeKey(unsigned long typed, irr::SEvent::SKeyInput& key, wchar_t& accentFirst);
    bool followFocusLosses();
    bool keyHookTakes(const irr::SEvent::SKeyInput& key);
    bool onKeyEvent(const irr::SEvent& event, wchar_t accentFirst);
    void runDebugKeys(const irr::SEvent::SKeyInput& key);
    void sendMouseToHook(int code, bool pressed, bool moveHook);

    uint32_t PressTime = 0;
    // "_Enabling" and "_Disabling" stay in every later key table once set.
    int StickyEnabling = 0;
    int StickyDisabling = 0;
    irr::u8 Shift = 0;
    irr::u8 Control = 0;
    int LeftButton = 0;
    int RightButton = 0;
    int InGameEditor = 0;
    // The dead keys or compose sequence typed so far.
    platform::CComposeState Compose;
    // The code each held X key went down with: its release lets go of the
    // same key, though the layout or NumLock changed since, or the key code
    // was mapped to nothing (as tools that type do at once).
    int HeldKeyCodes[256] = {};
    // By key code: the key's last press went to the key hook.
    bool HookSawPress[256] = {};
    // A device that hands key events over without looking them up is told of once.
    bool LookUpMissLogged = false;
    bool WindowFocused = false;
    unsigned SeenFocusLosses = platform::XFocusLosses();
    // A hover change the animators could not be told of yet, while the window
    // was not active: they are told at the first update after.
    bool HoverUntold = false;
};

bool hasKeyHook();
bool hasMouseClickHook();
bool hasMouseMoveHook();

// True while input counts: the application is active.
bool isApplicationActive();
