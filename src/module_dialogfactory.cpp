// Dialog descriptions by name, the action and music stacks, and the two
// dialog animators.
#include "module_dialogfactory.h"

#include "asystemanimators.h"
#include "module_enginebase.h"
#include "module_mousekeyb_animators.h"
#include "module_scripting_core.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_factory_macros.h"
#include "node_helpers.h"
#include "node_helpers_desc.h"
#include "node_helpers_frames.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_attribs.h"
#include "utils_system_common.h"

using namespace irr;

namespace {

CString topOf(const CStringArray& stack)
{
    CheckMainThread();
    return stack.GetSize() > 0 ? stack[stack.GetSize() - 1] : CString();
}

// The first element from the bottom equal to the text; -1 when none.
int findFromBottom(const CStringArray& stack, const CString& text)
{
    for (int i = 0; i < stack.GetSize(); ++i)
        if (stack[i] == text)
            return i;
    return -1;
}

CString stringKey(const CString& text, const char* key)
{
    CString value;
    return getKeyValue(text, key, value) ? readStringValue(value, 0) : CString();
}

CString rawKey(const CString& text, const char* key)
{
    CString value;
    getKeyValue(text, key, value);
    return value;
}

int intKey(const CString& text, const char* key)
{
    CString value;
    return getKeyValue(text, key, value) ? readIntComponent(readStringValue(value, 0), 0, 0) : 0;
}

// The dialog keys that build animators and effects on the dialog node.
void applyDialogKeys(CDialogInfo* record, const CString& text, CNodeBasement* node)
{
    CEngineBase* engine = getEngine();
    const CString background = stringKey(text, "-BackgroundImage:");
    if (!background.IsEmpty()) {
        record->backgroundImage = resolveTexturePath(background, record->path);
        engine->setBackground(record->backgroundImage, 0);
    }
    record->backgroundMusic = stringKey(text, "-BackgroundMusic:");
    if (!record->backgroundMusic.IsEmpty())
        attachAnimatorStopped(node, new CDialogMusicAnimator(record->backgroundMusic));
    record->openSound = stringKey(text, "-OpenSound:");
    if (!record->openSound.IsEmpty())
        engine->getSoundServer()->playEffect(record->openSound, -1.0f);
    record->modal = intKey(text, "-ModalDialog:");
    if (record->modal != 0)
        attachAnimatorStopped(node, new CModalAnimator);
    CCustomAttribs attribs;
    if (parseCustomAttributes(text, attribs))
        node->getAttributes()->copyFrom(attribs);
    record->createAnimation = rawKey(text, "-Animation.OnCreate:");
    record->destroyAnimation = rawKey(text, "-Animation.OnDestroy:");
    record->onCreateAction = stringKey(text, "-Event.OnCreate.Action:");
    record->onDestroyAction = stringKey(text, "-Event.OnDestroy.Action:");
    const int pause = intKey(text, "-Pause:");
    if (pause != 0)
        attachAnimatorStopped(node, new CPauseAnimator(pause));
}

} // namespace

CMapStringToString& CDialogFactory::descriptions()
{
    static CMapStringToString map(10);
    return map;
}

CStringArray& CDialogFactory::escActionStack() { static CStringArray s; return s; }
CStringArray& CDialogFactory::keyActionStack() { static CStringArray s; return s; }
CStringArray& CDialogFactory::mouseClickActionStack() { static CStringArray s; return s; }
CStringArray& CDialogFactory::mouseMoveActionStack() { static CStringArray s; return s; }
CStringArray& CDialogFactory::musicStack() { static CStringArray s; return s; }

CString CDialogFactory::getTopEscAction() { return topOf(escActionStack()); }
CString CDialogFactory::getTopKeyAction() { return topOf(keyActionStack()); }
CString CDialogFactory::getTopMouseClickAction() { return topOf(mouseClickActionStack()); }
CString CDialogFactory::getTopMouseMoveAction() { return topOf(mouseMoveActionStack()); }

void CDialogFactory::reset()
{
    descriptions().RemoveAll();
    escActionStack().RemoveAll();
    keyActionStack().RemoveAll();
    mouseClickActionStack().RemoveAll();
    mouseMoveActionStack().RemoveAll();
    musicStack().RemoveAll();
}

bool CDialogFactory::registerDialogDescription(const CString& path)
{
    CString text;
    loadSpriteText(path, text);
    CString value;
    if (getKeyValue(text, "-DialogName:", value)) {
        const CString name = readStringValue(value, 0);
        if (!name.IsEmpty())
            descriptions().SetAt(name, path);
    }
    return true;
}

CString CDialogFactory::getDialogDescription(const CString& name)
{
    CString key = name;
    CString params;
    const int query = name.Find('?');
    if (query >= 0) {
        key = name.Left(query);
        params = name.Mid(query);
    }
    CString path;
    if (!descriptions().Lookup(key, path) || path.IsEmpty()) {
        FatalError("incorrect dialog name!!!", false);
        return CString();
    }
    return path + params;
}

scene::ISceneNode* CDialogFactory::createDialog(const CString& text, const core::vector3df& position,
                                              scene::ISceneNode* parent)
{
    DebugTrace(">>Creating dialog %s - ok\n", (const char*)text);
    CString path = text;
    CStringArray params;
    splitSpriteNameAndParams(path, &params);
    path = ResolveDataPath(path);
    CString description;
    loadSpriteText(path, description);
    expandSpriteMacros(description, &params, nullptr);

    CEngineBase* engine = getEngine();
    CDialogInfo* record = engine->getClient()->createDialogInfo();
    record->name = "dialogBase";
    record->path = path;
    const CString name = stringKey(description, "-DialogName:");
    if (!name.IsEmpty())
        record->name = name;
    record->readDescription(description, params);
    DebugTrace(">>Creating dialog %s - parser init ok\n", (const char*)path);

    CString dialogPart = description, spritePart;
    const int marker = description.Find("\n[Sprite]");
    if (marker >= 0) {
        // Keep the line end: a key written on the line right before the
        // marker would otherwise read as empty.
        dialogPart = description.Left(marker + 1);
        spritePart = description.Mid(marker + 9);
    }
    if (!parent)
        parent = engine->RootNode;

    record->closeOthers = stringKey(dialogPart, "-CloseOtherDialogs:");
    if (!record->closeOthers.IsEmpty())
        engine->closeDialogs(record->closeOthers);
    engine->closeDialog(record->name, 0);

    record->escAction = stringKey(dialogPart, "-Event.Keyboard.Esc.Pressed:");
    record->keyAction = stringKey(dialogPart, "-Event.OnKey.Action:");
    record->mouseClickAction = stringKey(dialogPart, "-Event.OnMouseClick.Action:");
    record->mouseMoveAction = stringKey(dialogPart, "-Event.OnMouseMove.Action:");
    core::vector3df offset(0, 0, 0);
    CString value;
    if (getKeyValue(dialogPart, "-Position:", value))
        offset.set(readFloatComponent(value, 'x', 0), readFloatComponent(value, 'y', 0),
                   readFloatComponent(value, 'z', 0));

    record->nodeId = getIdByName(record->name);
    CNodeBasement* node = createEmptySpriteNode(parent, record->nodeId, position + offset);
    if (!node) {
        record->drop();
        return nullptr;
    }
    node->setPseudoOwner(record);
    node->setName(CString("DLG:") + record->name + " " + node->getName());
    DebugTrace(">>Creating dialog %s - preparing ok\n", (const char*)path);
    attachAnimatorStopped(node, new CDialogAnimator(record, record->escAction, record->keyAction,
                                                    record->mouseClickAction, record->mouseMoveAction));
    applyDialogKeys(record, dialogPart, node);
    record->applyCustomKeys(node, dialogPart, params);
    DebugTrace(">>Creating dialog %s - parsing client ok\n", (const char*)path);

    if (!spritePart.IsEmpty()) {
        SSpriteCreateInfo info;
        info.ownerPath = path;   // a growable text: no length limit on the owner
        info.replaceText = CString("\n") + spritePart + "\n";
        info.noCache = 1;        // parameters may make each opening differ
        CNodeBasement* visible = addSprite(path, 1.0f, 1.0f, core::vector3df(0, 0, 0), node, &info, SPRITE_SITE);
        if (visible)
            visible->setName(CString("DLGVis:") + record->name + " " + visible->getName());
    }
    spawnDestroyAnimation(node, record->createAnimation, true);
    spawnDestroyAnimation(node, record->destroyAnimation, false);
    if (!record->onCreateAction.IsEmpty() || !record->onDestroyAction.IsEmpty() || !record->repeatAction.IsEmpty())
        attachAnimator(node, new CScriptTimerAnimator(record->onCreateAction, record->repeatAction,
                                                      record->onDestroyAction, true));
    record->onDialogCreated(node, dialogPart, params);
    DebugTrace(">>Creating dialog %s - all ok\n", (const char*)path);
    record->drop();
    return node;
}

// --- CDialogAnimator ---

CDialogAnimator::CDialogAnimator(CDialogInfo* record, const CString& escAction, const CString& keyAction,
                                 const CString& mouseClickAction, const CString& mouseMoveAction)
    : Record(record), EscAction(escAction), KeyAction(keyAction), MouseClickAction(mouseClickAction),
      MouseMoveAction(mouseMoveAction)
{
    Record->grab();
    getEngine()->trackDialog(1, Record);
    if (!EscAction.IsEmpty())
        CDialogFactory::escActionStack().Add(EscAction);
    if (!KeyAction.IsEmpty())
        CDialogFactory::keyActionStack().Add(KeyAction);
    if (!MouseClickAction.IsEmpty())
        CDialogFactory::mouseClickActionStack().Add(MouseClickAction);
    if (!MouseMoveAction.IsEmpty())
        CDialogFactory::mouseMoveActionStack().Add(MouseMoveAction);
}

CDialogAnimator::~CDialogAnimator()
{
    finish();   // the base cannot reach onFinish any more
}

void CDialogAnimator::onFinish()
{
    if (Record) {
        getEngine()->trackDialog(-1, Record);
        Record->drop();
        Record = nullptr;
    }
    if (!EscAction.IsEmpty()) {
        const int i = findFromBottom(CDialogFactory::escActionStack(), EscAction);
        if (i >= 0)
            CDialogFactory::escActionStack().RemoveAt(i);
    }
    struct {
        CStringArray& stack;
        const CString& text;
    } hooks[] = {{CDialogFactory::keyActionStack(), KeyAction},
                 {CDialogFactory::mouseClickActionStack(), MouseClickAction},
                 {CDialogFactory::mouseMoveActionStack(), MouseMoveAction}};
    for (auto& hook : hooks) {
        if (hook.text.IsEmpty())
            continue;
        const int i = findFromBottom(hook.stack, hook.text);
        if (i < 0)
            continue;
        getEngine()->getScripts()->removeQueuedCalls(hook.text);
        hook.stack.RemoveAt(i);
    }
}

// --- CDialogMusicAnimator ---

CDialogMusicAnimator::CDialogMusicAnimator(const CString& path)
{
    setPassive();
    Path = MakeMusicPath(path);
    CDialogFactory::musicStack().Add(Path);
    getEngine()->getSoundServer()->setBackgroundMusic(Path);
}

CDialogMusicAnimator::~CDialogMusicAnimator()
{
    CStringArray& stack = CDialogFactory::musicStack();
    const int i = findFromBottom(stack, Path);
    if (i >= 0)
        stack.RemoveAt(i);
    getEngine()->getSoundServer()->setBackgroundMusic(stack.GetSize() > 0 ? stack[stack.GetSize() - 1] : CString());
}
