// The input receiver: mouse and key events into the input state, the dialog
// hooks, the latch, the Esc action, the debug keys, then the client; the
// cursor and hover update and the click broadcast.
#include "module_mousekeyb.h"

#include "clock.h"
#include "module_dialogfactory.h"
#include "module_enginebase.h"
#include "module_mousekeyb_animators.h"
#include "module_mousekeyb_editor.h"
#include "module_userprofile.h"
#include "node_base.h"
#include "node_text.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_str_parse.h"
#include "utils_system_common.h"
#include "utils_system_windows.h"

#include "codepage.h"
#include "x_compose.h"
#include "x_keyboard.h"

#include <ICursorControl.h>
#include <IrrlichtDevice.h>
#include <Keycodes.h>

#include <langinfo.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>


using namespace irr;

namespace {

constexpr int MouseKeyLeft = 1;
constexpr int MouseKeyRight = 2;
constexpr int MouseKeyMiddle = 4;
constexpr int MouseKeyWheelUp = 0xFD;
constexpr int MouseKeyWheelDown = 0xFE;
constexpr int MouseKeyMove = 0xFC;
constexpr int KeyTableSize = 256;
constexpr irr::s32 DebugLineMs = 5000;
const char* const EditorFunction = "ActivateF6Editor";

CSimpleTextEditorAnimator* FocusedEditor = nullptr;

// The debug keys answer on screen, not only in the log.
void showDebugLine(const char* text)
{
    printDebugLine(CString(text), DebugLineMs);
}

void releaseAllKeys()
{
    for (int key = 0; key < KeyTableSize; ++key)
        RecordKeyState(key, false);
}

// The buttons are keys too for whoever asks the key table (1, 2 and 4).
void recordMouseButton(EMOUSE_INPUT_EVENT kind)
{
    switch (kind) {
    case EMIE_LMOUSE_PRESSED_DOWN:
    case EMIE_LMOUSE_LEFT_UP:
        RecordKeyState(MouseKeyLeft, kind == EMIE_LMOUSE_PRESSED_DOWN);
        break;
    case EMIE_RMOUSE_PRESSED_DOWN:
    case EMIE_RMOUSE_LEFT_UP:
        RecordKeyState(MouseKeyRight, kind == EMIE_RMOUSE_PRESSED_DOWN);
        break;
    case EMIE_MMOUSE_PRESSED_DOWN:
    case EMIE_MMOUSE_LEFT_UP:
        RecordKeyState(MouseKeyMiddle, kind == EMIE_MMOUSE_PRESSED_DOWN);
        break;
    default:
        break;
    }
}

// Whether a key event's character is one to type (not a control character).
bool isPrintableKeyChar(wchar_t c)
{
    return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0);
}

// Codes of keys that type characters: space, digits, letters, the keypad's
// and the punctuation keys.
bool isCharacterKeyCode(int code)
{
    return code == KEY_SPACE || (code >= KEY_KEY_0 && code <= KEY_KEY_9) || (code >= KEY_KEY_A && code <= KEY_KEY_Z) ||
           (code >= KEY_NUMPAD0 && code <= KEY_DIVIDE) || (code >= KEY_OEM_1 && code <= KEY_OEM_3) ||
           (code >= KEY_OEM_4 && code <= KEY_OEM_8) || code == KEY_OEM_AX || code == KEY_OEM_102;
}

bool isContinuationByte(uint32_t b)
{
    return (b & 0xC0) == 0x80;
}

// Under a UTF-8 locale the device hands a typed character over as the bytes
// of its UTF-8 form packed into one wide character, the first byte lowest
// (e with an acute accent comes as 0xA9C3): unpacked here to the character.
wchar_t unpackedKeyChar(wchar_t typed)
{
    const uint32_t v = uint32_t(typed);
    if (v < 0x80 || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        return typed;
    const uint32_t b0 = v & 0xFF, b1 = (v >> 8) & 0xFF, b2 = (v >> 16) & 0xFF, b3 = v >> 24;
    if (b0 >= 0xC2 && b0 <= 0xDF && isContinuationByte(b1) && b2 == 0 && b3 == 0)
        return wchar_t(((b0 & 0x1F) << 6) | (b1 & 0x3F));
    if (b0 >= 0xE0 && b0 <= 0xEF && isContinuationByte(b1) && isContinuationByte(b2) && b3 == 0)
        return wchar_t(((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
    if (b0 >= 0xF0 && b0 <= 0xF4 && isContinuationByte(b1) && isContinuationByte(b2) && isContinuationByte(b3))
        return wchar_t(((b0 & 0x07) << 18) | ((b1 & 0x3F) << 12) | ((b2 & 0x3F) << 6) | (b3 & 0x3F));
    return typed;
}

// Letters of the Latin, Greek and Cyrillic scripts.
bool isLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) ||
           (c >= 0x370 && c <= 0x52F) || (c >= 0x1E00 && c <= 0x1EFF);
}

// The device has no code for many keys of other layouts (e, a and c with
// accents on a French keyboard) and hands the key's scan number over as its
// code: Backspace, Shift, Return, or a digit key for the u with a grave
// accent. A key whose character such a code cannot type is its character alone.
bool isStaleKeyCode(int code, wchar_t typed)
{
    if (!isPrintableKeyChar(typed))
        return false;
    if (!isCharacterKeyCode(code))
        return true;
    // The space bar and the digits type no letters, whatever the layout.
    const bool digitOrSpace = code == KEY_SPACE || (code >= KEY_KEY_0 && code <= KEY_KEY_9);
    return digitOrSpace && typed != wchar_t(code) && isLetter(typed);
}

XKeySource g_xKeySource = platform::CurrentXKeyEvent;

} // namespace

XKeySource SetXKeySource(XKeySource source)
{
    XKeySource previous = g_xKeySource;
    g_xKeySource = source ? source : platform::CurrentXKeyEvent;
    return previous;
}

// The key's code is the one Windows gives that key on the layout, read from
// the X key code; only without it does the device's guess stay, less the
// codes it left from other keys. Dead keys and compose sequences type what
// the locale's compose table gives (composeKey). False for a key that is no
// key: no code, nothing to type (a key code the layout maps nothing to).
bool CInputReceiver::cleanKeyEvent(const SEvent& event, SEvent& clean, wchar_t& accentFirst)
{
    clean = event;
    accentFirst = 0;
    SEvent::SKeyInput& key = clean.KeyInput;
    key.Char = unpackedKeyChar(event.KeyInput.Char);
    platform::SXKey x;
    if (!g_xKeySource(key.PressedDown, x)) {
        if (platform::XKeyEventNotLookedUp() && !LookUpMissLogged) {
            LookUpMissLogged = true;
            DebugLog("The device handed over a key event without looking it up: keys keep the device's codes, "
                     "which differ by layout");
        }
        if (isStaleKeyCode(key.Key, key.Char))
            key.Key = EKEY_CODE(0);
        return true;
    }
    key.Key = EKEY_CODE(platform::WindowsKeyCode(x));
    // Keys beyond those of a keyboard's rows (media keys and the like) keep
    // the device's code, unless it is just the X key code handed on.
    if (key.Key == 0 && (x.Sym[0] || x.Sym[1]) && unsigned(event.KeyInput.Key) != x.Code)
        key.Key = event.KeyInput.Key;
    if (x.Code < 256) {
        int& held = HeldKeyCodes[x.Code];
        if (!key.PressedDown && held)
            key.Key = EKEY_CODE(held);
        held = key.PressedDown ? key.Key : 0;
    }
    // The device reads characters through the program's locale, which has
    // Latin-1 at most; the key's symbol names any.
    const char32_t symbolChar = platform::KeysymCharacter(x.Typed);
    if (symbolChar && (key.Char == 0 || symbolChar >= 0x80))
        key.Char = wchar_t(symbolChar);
    if (key.Key == 0 && !isPrintableKeyChar(key.Char))
        return false;
    if (key.PressedDown && x.Typed)
        composeKey(x.Typed, key, accentFirst);
    return true;
}

// A key within a sequence types nothing; the key that ends it types the
// sequence's character when the game's code page has it, else the spacing
// accent of the sequence's first key and then its own character (a second
// dead key its own accent).
void CInputReceiver::composeKey(unsigned long typed, SEvent::SKeyInput& key, wchar_t& accentFirst)
{
    switch (Compose.feed(typed)) {
    case platform::EComposeStep::Plain:
        return;
    case platform::EComposeStep::Pending:
        key.Char = 0;
        return;
    case platform::EComposeStep::Composed:
        if (Compose.composed() && platform::UnicodeToAnsiChar(Compose.composed()) >= 0) {
            key.Char = wchar_t(Compose.composed());
            return;
        }
        break;
    case platform::EComposeStep::Cancelled:
        break;
    }
    accentFirst = wchar_t(Compose.accent());
    // A second dead key types its accent as the compose table spaces it, as
    // the first did, not the character the device read for it (¨ for the
    // table's ").
    if (key.Char == 0 || platform::IsDeadKeysym(typed)) {
        if (const char32_t spacing = platform::ComposeSpacingForm(typed))
            key.Char = wchar_t(spacing);
    }
}

CSimpleTextEditorAnimator** getFocusedTextEditor()
{
    return &FocusedEditor;
}

bool isApplicationActive()
{
    return *getAppActiveFlag() != 0;
}

bool hasKeyHook() { return CDialogFactory::keyActionStack().GetSize() > 0; }
bool hasMouseClickHook() { return CDialogFactory::mouseClickActionStack().GetSize() > 0; }
bool hasMouseMoveHook() { return CDialogFactory::mouseMoveActionStack().GetSize() > 0; }

bool CInputReceiver::OnEvent(const SEvent& deviceEvent)
{
    if (deviceEvent.EventType == EET_LOG_TEXT_EVENT) {
        getEngine()->log(deviceEvent.LogEvent.Text, 0);
        return true;
    }
    if (!followFocusLosses())
        forgetHeldInput();
    SEvent event = deviceEvent;
    wchar_t accentFirst = 0;
    if (deviceEvent.EventType == EET_KEY_INPUT_EVENT && !cleanKeyEvent(deviceEvent, event, accentFirst))
        return false;
    if (event.EventType == EET_KEY_INPUT_EVENT && event.KeyInput.PressedDown && unsigned(event.KeyInput.Key) < 256)
        HookSawPress[event.KeyInput.Key] = false;   // until the hook is sent this press
    // The key table must know every key, also those pressed before input counts.
    if (event.EventType == EET_KEY_INPUT_EVENT && event.KeyInput.Key != 0)
        RecordKeyState(event.KeyInput.Key, event.KeyInput.PressedDown);
    else if (event.EventType == EET_MOUSE_INPUT_EVENT)
        recordMouseButton(event.MouseInput.Event);
    if (!isApplicationActive()) {
        releaseAllKeys();   // keys let go elsewhere never come back as releases
        return false;
    }
    if (getGameState() < 500)
        return false;
    if (event.EventType == EET_MOUSE_INPUT_EVENT) {
        // The device's own double and triple clicks follow the plain presses.
        if (event.MouseInput.Event > EMIE_MOUSE_WHEEL)
            return false;
        onMouseEvent(event);
    } else if (event.EventType == EET_KEY_INPUT_EVENT) {
        if (onKeyEvent(event, accentFirst))
            return true;
    }
    CEngineClient* client = getEngine()->getClient();
    if (!client) {
        FatalError("Client is not set!", false);
        return false;
    }
    return client->OnEvent(event);
}

bool CInputReceiver::onMouseEvent(const SEvent& event)
{
    CInputState* state = getInputState();
    switch (event.MouseInput.Event) {
    case EMIE_LMOUSE_PRESSED_DOWN:
        CheckMainThread();
        LeftButton = 1;
        PressTime = platform::GetTickCount();
        updateCursorAndHover();
        *state->getPressedNodeId() = *state->getHoveredNodeId();
        *state->getPressPos() = *state->getCursorPos();
        broadcastClick(false, true);
        sendMouseToHook(MouseKeyLeft, true, false);
        break;
    case EMIE_LMOUSE_LEFT_UP:
        CheckMainThread();
        LeftButton = 0;
        PressTime = 0;
        *state->getReleasedNodeId() = *state->getHoveredNodeId();
        *state->getPressedNodeId() = 0;
        releaseClickTaken = false;
        broadcastClick(false, false);
        sendMouseToHook(MouseKeyLeft, false, false);
        break;
    case EMIE_RMOUSE_PRESSED_DOWN:
        RightButton = 1;
        sendMouseToHook(MouseKeyRight, true, false);
        break;
    case EMIE_RMOUSE_LEFT_UP:
        CheckMainThread();
        RightButton = 0;
        *state->getRightClickedNodeId() = *state->getHoveredNodeId();
        releaseClickTaken = false;
        *state->getPressPos() = *state->getCursorPos();
        broadcastClick(false, false);
        sendMouseToHook(MouseKeyRight, false, false);
        break;
    case EMIE_MMOUSE_PRESSED_DOWN:
    case EMIE_MMOUSE_LEFT_UP:
        sendMouseToHook(MouseKeyMiddle, event.MouseInput.Event == EMIE_MMOUSE_PRESSED_DOWN, false);
        break;
    case EMIE_MOUSE_WHEEL:
        sendMouseToHook(event.MouseInput.Wheel >= 0 ? MouseKeyWheelUp : MouseKeyWheelDown, true, false);
        break;
    case EMIE_MOUSE_MOVED:
        updateCursorAndHover();
        sendMouseToHook(MouseKeyMove, false, true);
        break;
    default:
        break;
    }
    return false;
}

void CInputReceiver::sendMouseToHook(int code, bool pressed, bool moveHook)
{
    if (moveHook ? !hasMouseMoveHook() : !hasMouseClickHook())
        return;
    SEvent::SKeyInput key{};
    key.Key = EKEY_CODE(code);
    key.PressedDown = pressed;
    key.Shift = Shift != 0;
    key.Control = Control != 0;
    if (moveHook)
        sendToMouseMoveHook(key);
    else
        sendToMouseClickHook(key);
}

bool CInputReceiver::onKeyEvent(const SEvent& event, wchar_t accentFirst)
{
    CheckMainThread();
    const SEvent::SKeyInput& key = event.KeyInput;
    Shift = key.Shift ? 1 : 0;
    Control = key.Control ? 1 : 0;
    if (FocusedEditor && accentFirst) {
        SEvent accent = event;
        accent.KeyInput.Key = EKEY_CODE(0);
        accent.KeyInput.Char = accentFirst;
        FocusedEditor->onKey(accent);
    }
    if (FocusedEditor)
        FocusedEditor->onKey(event);
    if (hasKeyHook() && keyHookTakes(key))
        sendToKeyHook(key);
    if (!key.PressedDown)
        return false;
    if (key.Key == KEY_SPACE || key.Key == KEY_RETURN)
        getInputLatch()->fire();
    if (key.Key == KEY_ESCAPE) {
        getEngine()->getScripts()->queueScriptCall(CDialogFactory::getTopEscAction(), nullptr);
        return true;
    }
    if (isDebugMode())
        runDebugKeys(key);
    return false;
}

// A hook sees a release only for a press it saw: the press of a key let go
// now may have been dropped, in the half second after the focus came back
// before input counts again, or before play.
bool CInputReceiver::keyHookTakes(const SEvent::SKeyInput& key)
{
    if (unsigned(key.Key) >= 256)
        return true;
    bool& saw = HookSawPress[key.Key];
    if (key.PressedDown)
        return saw = true;
    const bool took = saw;
    saw = false;
    return took;
}

void CInputReceiver::runDebugKeys(const SEvent::SKeyInput& key)
{
    CEngineBase* engine = getEngine();
    if (InGameEditor)
        sendKeyEventToScript(key, EditorFunction);
    if (key.Key == KEY_F6 && StrToInt(engine->Options.getOption("EnableIngameEditor", false)) != 0) {
        if (!InGameEditor) {
            InGameEditor = 1;
            sendKeyEventToScript(key, EditorFunction);
            StickyEnabling = 1;
            sendKeyEventToScript(key, EditorFunction);
        } else {
            InGameEditor = 0;
            StickyDisabling = 1;
            sendKeyEventToScript(key, EditorFunction);
        }
    }
    if (!Control)
        return;
    switch (key.Key) {
    case KEY_KEY_B:
        engine->Options.Debug ^= 2;
        break;
    case KEY_KEY_D:
        FlushDebugLog(true);
        WriteProfilerLog(CString("_") + GetDateString() + "_" + GetTimeString());
        ClearProfilerStats();
        showDebugLine("Debug Stats cleared!");
        break;
    case KEY_KEY_I: {
        int* flag = GetDebugModeFlag();
        *flag = *flag ? 0 : 1;
        if (*flag)
            FlushDebugLog(false);
        showDebugLine(*flag ? "Debug on" : "Debug off");
        break;
    }
    case KEY_KEY_R:
        engine->clearCaches(1);
        if (!Shift)
            engine->getScripts()->recompileAllScripts(true, true);
        showDebugLine(Shift ? "Caches cleared" : "Caches cleared; script reloaded");
        break;
    default:
        break;
    }
}

bool CInputReceiver::sendKeyEventToScript(const SEvent::SKeyInput& key, const char* function)
{
    if (!function || !*function || !SquirrelVM::IsOpen())
        return false;
    // A table of its own per call: two events of one frame must not share one.
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_key", SQInteger(key.Key));
    table.SetValue("_shift", Shift != 0);
    table.SetValue("_control", Control != 0);
    table.SetValue("_pressed", bool(key.PressedDown));
    table.SetValue("_lmb", SQInteger(LeftButton));
    table.SetValue("_rmb", SQInteger(RightButton));
    if (StickyEnabling)
        table.SetValue("_Enabling", SQInteger(1));
    if (StickyDisabling)
        table.SetValue("_Disabling", SQInteger(1));
    getEngine()->getScripts()->queueScriptCall(function, &table);
    return false;
}

bool CInputReceiver::sendToKeyHook(const SEvent::SKeyInput& key)
{
    return sendKeyEventToScript(key, CDialogFactory::getTopKeyAction());
}

bool CInputReceiver::sendToMouseClickHook(const SEvent::SKeyInput& key)
{
    return sendKeyEventToScript(key, CDialogFactory::getTopMouseClickAction());
}

bool CInputReceiver::sendToMouseMoveHook(const SEvent::SKeyInput& key)
{
    return sendKeyEventToScript(key, CDialogFactory::getTopMouseMoveAction());
}

void CInputReceiver::followWindowFocus(bool focused)
{
    const bool lostMeanwhile = !followFocusLosses();
    if (lostMeanwhile || (WindowFocused && !focused))
        forgetHeldInput();
    WindowFocused = focused;
}

// False when the device's window lost the focus since the last look, though
// it may have it back: what was let go meanwhile went elsewhere.
bool CInputReceiver::followFocusLosses()
{
    const unsigned losses = platform::XFocusLosses();
    const bool same = losses == SeenFocusLosses;
    SeenFocusLosses = losses;
    return same;
}

void CInputReceiver::forgetHeldInput()
{
    releaseAllKeys();
    Shift = Control = 0;
    Compose.reset();
    std::fill(std::begin(HeldKeyCodes), std::end(HeldKeyCodes), 0);
    LeftButton = RightButton = 0;
    PressTime = 0;
    *CInputState::getPressedNodeId() = 0;
    CArray<CBaseAnimator*>& clicks = getInputState()->getClickAnimators();
    for (int i = 0; i < clicks.GetSize(); ++i)
        if (auto* click = dynamic_cast<COnClickAnimator*>(clicks[i]))
            click->forgetDrag();
}

void CInputReceiver::updateCursorAndHover()
{
    IrrlichtDevice* device = getDevice();
    if (!device || !device->getCursorControl())
        return;
    ENGINE_PROFILE("CURSORHOVER");
    CheckMainThread();
    core::position2di pos = device->getCursorControl()->getPosition();
    CUserProfile* profile = getEngine()->getProfile();
    const int width = profile && profile->XResolution > 0 ? profile->XResolution : 1;
    const int height = profile && profile->YResolution > 0 ? profile->YResolution : 1;
    pos.X = core::clamp(pos.X, 0, width);
    pos.Y = core::clamp(pos.Y, 0, height);
    const f32* clip = CInputState::getCursorClipArea();
    if (clip[2] > 0.001f) {
        pos.X = core::clamp(pos.X, s32(clip[0]), s32(clip[2]));
        pos.Y = core::clamp(pos.Y, s32(clip[1]), s32(clip[3]));
    }
    CInputState* state = getInputState();
    const s32 hovered = state->pickTopNodeId(pos, state->getPickedIds());
    s32* slot = CInputState::getHoveredNodeId();
    const bool changed = *slot != hovered;
    *slot = hovered;
    *CInputState::getCursorPos() = pos;
    CInputState::getRelativeCursorPos()->set(f32(pos.X) / f32(width), f32(pos.Y) / f32(height));
    if (changed || HoverUntold)
        HoverUntold = !broadcastClick(true, false);
}

bool CInputReceiver::broadcastClick(bool toHover, bool noLatch)
{
    if (!isApplicationActive())
        return false;
    CNodeBasement* root = CNodeBasement::fromSceneNode(getNodeByName("pole"));
    if (!root)
        return false;
    CInputState* state = getInputState();
    attachAnimator(root, new CClickBroadcastAnimator(
                             toHover ? &state->getHoverAnimators() : &state->getClickAnimators(), !toHover, noLatch));
    return true;
}

// --- the broadcast ---

CClickBroadcastAnimator::CClickBroadcastAnimator(CArray<CBaseAnimator*>* targets, bool isClick, bool noLatch)
    : Targets(targets), IsClick(isClick), NoLatch(noLatch)
{
    setDiscretion(0);
}

void CClickBroadcastAnimator::animate(CNodeBasement* node, u32 localMs)
{
    CheckMainThread();
    removeThisAnimator();
    clickHandledCounter = 0;
    // The size is read again each time: an action may register or drop animators.
    auto tell = [this](bool endingHoversOnly) {
        for (int i = 0; i < Targets->GetSize(); ++i) {
            CBaseAnimator* target = (*Targets)[i];
            if (!target || target->isFinished() || target->isRemoved())
                continue;
            auto* hover = endingHoversOnly ? dynamic_cast<COnMouseOverAnimator*>(target) : nullptr;
            if (!endingHoversOnly || (hover && hover->isHovering()))
                target->setAction("act", 0);
        }
    };
    // Hovers that end go first: the node left says so before the node entered,
    // whatever order they were made in. A second "act" changes nothing.
    if (!IsClick)
        tell(true);
    tell(false);
    if (IsClick && !NoLatch && clickHandledCounter == 0 && !releaseClickTaken)
        getInputLatch()->fire();
}
