// The input animators: clicks with their hotkeys and images, modal layers,
// modal blockers and click blocks, hovers, auto-disable and tooltips; the
// makers that sprite creation calls.
#pragma once

#include "abaseanimators.h"
#include "utils_str.h"

#include <irrTypes.h>
#include <vector3d.h>

#include <atomic>
#include <cstdint>

namespace irr { namespace scene { class ISceneNode; } }

class CNodeBasement;
class CNodeFactory;
class COnClickAnimator;
struct SSpriteCreateInfo;

// Runs a click's action; returns 1 taken, 0 refused, 99 swallowed silently.
using ClickCallback = int (*)(CNodeBasement* node, void* argument);

int invokeCallback(ClickCallback callback, void* argument, CNodeBasement* node);
int runClickAction(CNodeBasement* node, void* animator);
// The clickable entry of the old node's ID names the node of the new ID.
int replaceClickableFromScript(irr::s32 newId, irr::s32 oldId);

class COnClickAnimator : public CBaseAnimator {
public:
    static constexpr const char* UniqueName = "ONCLAN";
    static constexpr const char* NopeAction = "/*NOPE*/";
    static constexpr uint32_t StartGuardMs = 200;
    static constexpr uint32_t LatchLockOutMs = 500;
    static constexpr uint32_t HotkeyGapMs = 1000;

    COnClickAnimator(const CString& image, const CString& action, const CString& sound, int pixelPerfect);
    ~COnClickAnimator() override;

    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;
    int setAction(const char* name, int value) override;
    void onFinish() override;

    void processClick();
    int performClick(int kind);
    void clickAfter(uint32_t ms);

    void setClickAction(const CString& action) { Action = action; }
    void setRightClickAction(const CString& action) { RightAction = action; }
    void setDragAction(const CString& action) { DragAction = action; }
    void setHotkey(int hotkey) { Hotkey = hotkey; }
    void setAllowDeep(int allow) { AllowDeep = allow; }
    void clearStartGuard() { StartGuardUntil = 0; }
    void setCallback(ClickCallback callback, void* argument);

    const CString& getActionFor(int kind) const;
    int getKind() const { return Kind; }
    // The press that ran the drag action is over, whether or not its release came.
    void forgetDrag() { DragStarted = 0; }

private:
    bool isHit() const;
    bool hotkeyFires();
    void showClickImage();

    CString Image;
    CString Action;
    CString RightAction;
    CString DragAction;
    int DragStarted = 0;
    CString Sound;
    int Kind = 0;                   // 0 left, 1 right, 2 drag
    int AllowDeep = 0;
    uint32_t PendingClickTick = 0;
    int Hotkey = 0;                 // a virtual key, or -1 for the input latch
    uint32_t LatchLockOut;
    ClickCallback Callback = runClickAction;
    void* CallbackArgument;
    int HotkeyHeld = 0;
    int PixelPerfect;
    // Built while the left button is held: the release of that press is not a
    // click on this node, so none is taken before this tick; 0 = none.
    uint32_t StartGuardUntil;
};

// A modal layer while it lives.
class CModalAnimator : public CBaseAnimator {
public:
    CModalAnimator();
    ~CModalAnimator() override;
    void onAttach(CNodeBasement* node) override;

private:
    irr::scene::ISceneNode* Pushed = nullptr;
};

// A blocker entry for the given node, whatever node it is attached to.
class CModalBlockerAnimator : public CBaseAnimator {
public:
    explicit CModalBlockerAnimator(irr::scene::ISceneNode* node);
    ~CModalBlockerAnimator() override;
    void onAttach(CNodeBasement* node) override;

private:
    irr::s32 NodeId;
    irr::scene::ISceneNode* BlockNode;
    bool Pushed = false;
};

// Value 1: the node swallows left clicks. Any value: its ID is in the click-block list.
class CClickBlockAnimator : public CBaseAnimator {
public:
    explicit CClickBlockAnimator(int value);
    ~CClickBlockAnimator() override;
    void onAttach(CNodeBasement* node) override;

private:
    CNodeBasement* BlockedNode = nullptr;
    irr::s32 NodeId = 0;
    int Value;
    bool Listed = false;
};

// Over image, sound and in-script while the cursor is over the node; out-script when it leaves.
class COnMouseOverAnimator : public CBaseAnimator {
public:
    static constexpr const char* UniqueName = "ONOVRAN";

    COnMouseOverAnimator(const char* overImage, const char* overSound);
    ~COnMouseOverAnimator() override;
    void setScripts(const char* inScript, const char* outScript);

    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;
    int setAction(const char* name, int value) override;
    void onFinish() override;

    void processMouseOver();
    void setDisabled(int disabled) { Disabled = disabled; }
    bool isHovering() const { return OverNode != nullptr; }

private:
    void runScript(const CString& script, bool isOver);
    void endHover(bool blocked);

    irr::s32 BlockUntil = 0;   // compared unsigned
    int Disabled = 0;
    CString OverImage;
    CString OverSound;
    CString InScript;
    CString OutScript;
    irr::scene::ISceneNode* OverNode = nullptr;   // the image (grabbed) or the root as a marker
    bool OverIsImage = false;
};

// Disables its node's clicks and hover while a script condition is false,
// and shows a disabled image over it.
class CAutoDisableAnimator : public CBaseAnimator {
public:
    static constexpr const char* UniqueName = "ONDISBT";
    static constexpr irr::u32 PollMs = 500;

    CAutoDisableAnimator(const char* condition, const char* disabledImage);
    ~CAutoDisableAnimator() override;
    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;

    int isDisabled() const { return Disabled; }

private:
    CString Condition;
    CString DisabledImage;
    int Disabled = 0;
    CNodeBasement* ImageNode = nullptr;   // grabbed while shown
};

// Tooltips that are alive as text nodes; every tooltip animator watches it.
extern std::atomic<int32_t> liveTooltipCount;
// The last serial a tooltip animator took (0..99, wrapping).
extern int32_t tooltipSerial;

// After a delay under the cursor, a text node near the node: a fixed text or
// one a script computes, refreshed on the script's timer; gone when the
// cursor leaves.
class CTooltipAnimator : public CBaseAnimator {
public:
    static constexpr irr::s32 FirstTipId = 2001;
    static constexpr int32_t SerialCount = 100;
    static constexpr irr::s32 TipLayer = 7;
    static constexpr const char* FaderName = "fader";

    CTooltipAnimator(const CString& text, const irr::core::vector3df& position, irr::scene::ISceneNode* textParent);
    ~CTooltipAnimator() override;
    void setDelay(irr::u32 ms) { Delay = ms; }
    void setScriptFunction(const CString& script) { Script = script; }

    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;
    void removeTooltip();

    irr::s32 getTipId() const { return FirstTipId + Serial; }
    const CString& getText() const { return Text; }

private:
    bool isHovered() const;
    void showStep(irr::u32 localMs);
    // False when the tooltip is not to change: removed or kept as it is.
    bool runScript(bool refresh, irr::scene::ISceneNode* tip, CString& animation);
    void setTextParent(irr::scene::ISceneNode* parent);

    int32_t LastLiveCount = 0;
    int32_t Serial;
    uint32_t RefreshDue = 0;          // tick count; 0 = no refresh
    int Shown = -1;                   // -1 before the first step, 0 hidden, 1 shown
    irr::u32 Delay = 0;               // ms of animator time
    irr::u32 ShowAt = 0;              // animator time; 0 = not armed
    CString Text;
    CString Script;
    irr::core::vector3df Position;
    irr::scene::ISceneNode* TextParent;
    bool TextParentGrabbed = false;   // a parent other than the node, which holds us
};

// The tooltip row: the format prefix, the literal or language text, macros expanded.
void makeTooltipRow(const CNodeFactory& description, CNodeBasement* node, const SSpriteCreateInfo* createInfo,
                    const char* site);

// Sprite creation builds the input animators through these.
void InstallInputRowMakers();
