// Dialogs: the per-dialog record that the client makes, the dialog
// descriptions by name, the action stacks the input receiver reads for the
// topmost dialog, the background-music stack, and building a dialog.
#pragma once

#include "abaseanimators.h"
#include "utils_str.h"

#include <IReferenceCounted.h>
#include <vector3d.h>

namespace irr { namespace scene { class ISceneNode; } }

class CNodeBasement;

class CDialogInfo : public irr::IReferenceCounted {
public:
    CDialogInfo() = default;
    ~CDialogInfo() override = default;
    CDialogInfo(const CDialogInfo&) = delete;
    CDialogInfo& operator=(const CDialogInfo&) = delete;

    // Hooks of the client's subclass.
    virtual void readDescription(const CString& description, const CStringArray& parameters) {}
    virtual void applyCustomKeys(CNodeBasement* node, const CString& description, const CStringArray& parameters) {}
    virtual void onDialogCreated(CNodeBasement* node, const CString& description, const CStringArray& parameters) {}

    CString closeOthers;
    CString path;
    CString name;
    CString escAction;
    CString keyAction;
    CString mouseClickAction;
    CString mouseMoveAction;
    CString backgroundImage;
    CString backgroundMusic;
    CString openSound;
    int modal = 0;
    CString onCreateAction;
    CString repeatAction;
    CString onDestroyAction;
    CString createAnimation;
    CString destroyAnimation;
    irr::s32 nodeId = 0;
};

class CDialogFactory {
public:
    // Keeps name -> path when the file names a dialog; always true.
    static bool registerDialogDescription(const CString& path);
    // The path of the named dialog with the name's "?..." kept; an unknown name is fatal.
    static CString getDialogDescription(const CString& name);
    static irr::scene::ISceneNode* createDialog(const CString& text, const irr::core::vector3df& position,
                                                irr::scene::ISceneNode* parent);

    static CString getTopEscAction();
    static CString getTopKeyAction();
    static CString getTopMouseClickAction();
    static CString getTopMouseMoveAction();

    static CMapStringToString& descriptions();   // dialog name -> description path
    static CMapStringToString& dialogDescriptions() { return descriptions(); }
    static CStringArray& escActionStack();
    static CStringArray& keyActionStack();
    static CStringArray& mouseClickActionStack();
    static CStringArray& mouseMoveActionStack();
    static CStringArray& musicStack();
    // Empties every table (tests).
    static void reset();
};

// Puts the dialog on the engine's stack and its actions on the action stacks;
// takes them off when it finishes.
class CDialogAnimator : public CBaseAnimator {
public:
    CDialogAnimator(CDialogInfo* record, const CString& escAction, const CString& keyAction,
                    const CString& mouseClickAction, const CString& mouseMoveAction);
    ~CDialogAnimator() override;
    void onFinish() override;

private:
    CDialogInfo* Record;   // one reference until finished
    CString EscAction, KeyAction, MouseClickAction, MouseMoveAction;
};

// Background music of a dialog while it lives; the newest dialog's plays.
class CDialogMusicAnimator : public CBaseAnimator {
public:
    explicit CDialogMusicAnimator(const CString& path);
    ~CDialogMusicAnimator() override;

private:
    CString Path;
};
