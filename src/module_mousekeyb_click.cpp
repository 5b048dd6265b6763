// The click animator, the modal, blocker and click-block animators, and the
// makers that sprite creation calls for their description keys.
#include "module_mousekeyb_animators.h"

#include "afadeanimators.h"
#include "asystemanimators.h"
#include "clock.h"
#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_system_common.h"

#include <ISceneNode.h>

using namespace irr;

namespace {

constexpr int KindLeft = 0;
constexpr int KindRight = 1;
constexpr int KindDrag = 2;
constexpr int ResultTaken = 1;
constexpr int ResultDisabled = -1;
constexpr int ResultNope = 99;

uint32_t now()
{
    return platform::GetTickCount();
}

bool leftButtonHeld()
{
    return getEngine()->getInputReceiver()->isLeftButtonDown() != 0;
}

s32 parentIdOf(scene::ISceneNode* node)
{
    return node && node->getParent() ? node->getParent()->getID() : 0;
}

// Removes the first occurrence.
void removeFromArray(CArray<CBaseAnimator*>& array, CBaseAnimator* animator)
{
    for (int i = 0; i < array.GetSize(); ++i) {
        if (array[i] == animator) {
            array.RemoveAt(i);
            return;
        }
    }
}

bool isAutoDisabled(CNodeBasement* node)
{
    auto* animator = dynamic_cast<CAutoDisableAnimator*>(node->findAnimatorByName(CAutoDisableAnimator::UniqueName, false));
    return animator && animator->isDisabled();
}

// A handled input is no input for the latch; a taken release click stays so
// for the release's own broadcast, however late it comes.
void countHandled(bool releaseClick)
{
    ++clickHandledCounter;
    if (releaseClick)
        releaseClickTaken = true;
    getInputLatch()->reset();
}

} // namespace

int invokeCallback(ClickCallback callback, void* argument, CNodeBasement* node)
{
    return callback ? callback(node, argument) : 0;
}

int runClickAction(CNodeBasement* node, void* animator)
{
    const COnClickAnimator* click = static_cast<const COnClickAnimator*>(animator);
    const CString& text = click->getActionFor(click->getKind());
    if (text == COnClickAnimator::NopeAction)
        return ResultNope;
    if (!SquirrelVM::IsOpen())
        return ResultTaken;
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_id", SQInteger(node->getID()));
    table.SetValue("_parentid", SQInteger(parentIdOf(node)));
    SquirrelObject result = getEngine()->getScripts()->callPrecompiledMethod(text, table, nullptr);
    return result.GetType() == OT_BOOL && !result.ToBool() ? 0 : ResultTaken;
}

int replaceClickableFromScript(s32 newId, s32 oldId)
{
    getInputState()->replaceClickable(getNodeById(newId, nullptr), getNodeById(oldId, nullptr));
    return 1;
}

// --- COnClickAnimator ---

COnClickAnimator::COnClickAnimator(const CString& image, const CString& action, const CString& sound,
                                   int pixelPerfect)
    : Image(image), Action(action), Sound(sound), LatchLockOut(now() + LatchLockOutMs), CallbackArgument(this),
      PixelPerfect(pixelPerfect), StartGuardUntil(leftButtonHeld() ? now() + StartGuardMs : 0)
{
    setName(UniqueName);
}

COnClickAnimator::~COnClickAnimator()
{
    finish();   // the base cannot reach onFinish any more
}

void COnClickAnimator::setCallback(ClickCallback callback, void* argument)
{
    Callback = callback;
    CallbackArgument = argument;
}

const CString& COnClickAnimator::getActionFor(int kind) const
{
    return kind == KindDrag ? DragAction : kind == KindRight ? RightAction : Action;
}

void COnClickAnimator::onAttach(CNodeBasement* node)
{
    Node = node;
    ForceNodeToHaveID(node);
    getInputState()->addClickable(node, PixelPerfect);
    CheckMainThread();
    getInputState()->getClickAnimators().Add(this);
    if (Hotkey == 0)
        setPassive();
}

void COnClickAnimator::animate(CNodeBasement*, u32)
{
    processClick();
}

int COnClickAnimator::setAction(const char* name, int)
{
    if (name && CString(name) == "act")
        processClick();
    return 0;
}

void COnClickAnimator::onFinish()
{
    if (Node)
        getInputState()->removeClickable(Node);
    CheckMainThread();
    removeFromArray(getInputState()->getClickAnimators(), this);
}

void COnClickAnimator::clickAfter(uint32_t ms)
{
    PendingClickTick = now() + ms;
}

bool COnClickAnimator::hotkeyFires()
{
    if (Hotkey > 0)
        return GetKeyStateIfActive(Hotkey) < 0;
    // Polling consumes the fire: a button that modality refuses must leave it
    // for the one it allows, whichever of them is asked first.
    return Hotkey == -1 && getInputState()->checkModality(Node) && getInputLatch()->poll(LatchLockOut, 0);
}

bool COnClickAnimator::isHit() const
{
    const s32 id = Node->getID();
    if (!AllowDeep)
        return *CInputState::getReleasedNodeId() == id;
    const s32* picked = getInputState()->getPickedIds();
    for (int i = 0; i < MaxPickedNodes && picked[i] != 0; ++i)
        if (picked[i] == id)
            return true;
    return false;
}

void COnClickAnimator::processClick()
{
    ENGINE_PROFILE("ONCLAN");
    if (getEngine()->getPauseLevel() >= 30 || !Node)
        return;
    if (Hotkey != 0) {
        if (hotkeyFires()) {
            LatchLockOut = now() + LatchLockOutMs;
            getInputLatch()->reset();
            if (!HotkeyHeld && now() - lastHotkeyClickTick > HotkeyGapMs && performClick(KindLeft) == ResultTaken) {
                lastHotkeyClickTick = now();
                HotkeyHeld = 1;
            }
            return;
        }
        HotkeyHeld = 0;
    }
    CheckMainThread();
    const s32 id = Node->getID();
    if (id == SharedSpriteId && !wrongOnclickShown) {
        // Once for all: a hotkey animator would raise it every tick, and when
        // name IDs ran out, hundreds of nodes share the ID.
        wrongOnclickShown = true;
        EngineMessageBox("Wrong onclick error!", MB_OK);
    }
    if (!Action.IsEmpty() && isHit()) {
        const int r = performClick(KindLeft);
        if (r == ResultTaken || r == ResultDisabled)
            countHandled(true);
        if (r == ResultTaken || r == ResultDisabled || r == ResultNope)
            *CInputState::getReleasedNodeId() = 0;
    }
    if (*CInputState::getRightClickedNodeId() == id && !RightAction.IsEmpty()) {
        const int r = performClick(KindRight);
        if (r == ResultTaken || r == ResultDisabled) {
            countHandled(true);
            *CInputState::getRightClickedNodeId() = 0;
        }
    }
    if (!leftButtonHeld()) {
        DragStarted = 0;
    } else if (*CInputState::getHoveredNodeId() == id && !DragAction.IsEmpty()) {
        countHandled(false);   // a held button, not a release
        if (!DragStarted) {
            DragStarted = 1;
            performClick(KindDrag);
        }
    }
    if (PendingClickTick != 0 && now() > PendingClickTick && performClick(KindLeft) == ResultTaken)
        PendingClickTick = 0;
}

int COnClickAnimator::performClick(int kind)
{
    if (!getInputState()->checkModality(Node))
        return 0;
    if (isAutoDisabled(Node))
        return ResultDisabled;
    if (StartGuardUntil != 0) {
        if (now() < StartGuardUntil)
            return 0;
        StartGuardUntil = 0;
    }
    if (!Sound.IsEmpty())
        getEngine()->getSoundServer()->playEffect(Sound, -1.0f);
    if (!Image.IsEmpty())
        showClickImage();
    Kind = kind;
    return invokeCallback(Callback, CallbackArgument, Node);
}

void COnClickAnimator::showClickImage()
{
    const core::dimension2df size = Node->getSize();
    CNodeBasement* image =
        addSprite(Image, size.Width, size.Height, core::vector3df(0, 0, 0), Node, nullptr, SPRITE_SITE);
    if (!image)
        return;
    ForceNodeToHaveID(image);
    createAlphaAnimator(image, 300, 0.0f, 1.0f, 0);
    if (!image->findAnimatorByName(CSelfDestroyAnimator::UniqueName, false))
        attachAnimator(image, new CSelfDestroyAnimator(1000, 500));
    if (Node->findAnimatorByName("ONOVRAN", false))
        attachAnimator(image, new CSelfDestroyAnimator(3000, 0));
}

// --- modal layers and blockers ---

namespace {

// A modal layer that comes or goes changes which node may be hovered without
// the hovered node changing: the hover animators look again in the next pass.
void rehoverAfterModalityChange()
{
    if (CEngineBase* engine = getEngine())
        engine->getInputReceiver()->broadcastClick(true, false);
}

} // namespace

CModalAnimator::CModalAnimator()
{
    setPassive();
}

CModalAnimator::~CModalAnimator()
{
    if (!Pushed)
        return;
    getInputState()->popModal(Pushed);
    rehoverAfterModalityChange();
}

void CModalAnimator::onAttach(CNodeBasement* node)
{
    Node = node;
    Pushed = node;
    getInputState()->pushModal(node, ModalMarkerDialog);
    rehoverAfterModalityChange();
}

CModalBlockerAnimator::CModalBlockerAnimator(scene::ISceneNode* node)
    : NodeId(ForceNodeToHaveID(node)), BlockNode(node)
{
}

CModalBlockerAnimator::~CModalBlockerAnimator()
{
    if (!Pushed)
        return;
    getInputState()->popModal(BlockNode);
    rehoverAfterModalityChange();
}

void CModalBlockerAnimator::onAttach(CNodeBasement* node)
{
    Node = node;
    Pushed = true;
    getInputState()->pushModal(BlockNode, ModalMarkerBlocker);
    rehoverAfterModalityChange();
}

// --- click blocks ---

CClickBlockAnimator::CClickBlockAnimator(int value) : Value(value)
{
}

CClickBlockAnimator::~CClickBlockAnimator()
{
    if (!Listed)
        return;
    CArray<s32>& list = getClickBlockList();
    for (int i = 0; i < list.GetSize(); ++i) {
        if (list[i] == NodeId) {
            list.RemoveAt(i);
            break;
        }
    }
}

void CClickBlockAnimator::onAttach(CNodeBasement* node)
{
    Node = node;
    BlockedNode = node;
    if (Value == 1)
        attachAnimator(node, new COnClickAnimator("", COnClickAnimator::NopeAction, "", 0));
    NodeId = node->getID();
    getClickBlockList().Add(NodeId);
    Listed = true;
}

// --- the makers of sprite creation ---

namespace {

void makeClick(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    if (!f.autodisableAction.IsEmpty())
        attachParsedAnimator(&f, node, new CAutoDisableAnimator(f.autodisableAction, f.autodisableImage));
    COnClickAnimator* click = new COnClickAnimator(f.clickImage, f.clickAction, f.clickSound, f.pixelPerfect);
    click->setHotkey(f.hotkey);
    if (!f.rightClickAction.IsEmpty())
        click->setRightClickAction(f.rightClickAction);
    if (!f.dragBeginAction.IsEmpty())
        click->setDragAction(f.dragBeginAction);
    if (f.clickSpeed != 0) {
        click->setDiscretion(u32(f.clickSpeed));
        click->clearStartGuard();
    }
    if (f.clickThrough != 0)
        click->setAllowDeep(1);
    attachParsedAnimator(&f, node, click);
}

void makeMouseOver(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    COnMouseOverAnimator* hover = new COnMouseOverAnimator(f.overImage, f.overSound);
    hover->setScripts(f.mouseInAction, f.mouseOutAction);
    attachParsedAnimator(&f, node, hover);
}

void makeClickBlock(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    attachParsedAnimator(&f, node, new CClickBlockAnimator(f.clickBlock));
}

} // namespace

void InstallInputRowMakers()
{
    SDescriptionRowMakers& makers = GetDescriptionRowMakers();
    makers.MouseOver = makeMouseOver;
    makers.Tooltip = makeTooltipRow;
    makers.Click = makeClick;
    makers.ClickBlock = makeClickBlock;
}
