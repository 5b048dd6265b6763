// Dialog descriptions by name, the action and music stacks, and the two
// dialog animators.
#include "module_dialogfactory.h"

#include "module_enginebase.h"
#include "node_factory.h"
#include "node_helpers_desc.h"
#include "utils_debug.h"
#include "utils_fs.h"

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
