// The simple text editor: a one-line text entry on a text node. Keys from the
// input receiver reach the newest editor; the text can be bound to a node's
// string attribute, which scripts read and set.
#pragma once

#include "abaseanimators.h"
#include "utils_str.h"

#include <IEventReceiver.h>

class CNodeBasement;

// The clipboard as engine text, or empty; swapped out by tests.
using TextEditorClipboardSource = CString (*)();
// Null restores the device clipboard. Returns the source held before.
TextEditorClipboardSource SetTextEditorClipboardSource(TextEditorClipboardSource source);
// The clipboard, which speaks UTF-8, in the game's code page; empty without
// a window. Another program that owns it is given this long to answer.
constexpr int ClipboardWaitMs = 500;
CString ReadDeviceClipboard();
// Makes the game the clipboard's owner with this text (in its code page);
// nothing without a window.
void WriteDeviceClipboard(const char* text);

class CSimpleTextEditorAnimator : public CBaseAnimator {
public:
    static constexpr irr::u32 UpdateMs = 30;
    static constexpr irr::u32 BlinkMs = 500;

    // Edits *text when given (the caller keeps it alive), else a text of its own.
    // The new editor takes the focus.
    CSimpleTextEditorAnimator(CString* text, int maxLength);
    ~CSimpleTextEditorAnimator() override;

    // The text is read from this string attribute of the node (not held)
    // before every key and at every update, and stored in it after every key
    // and once more when the editor goes.
    void bindAttribute(CNodeBasement* node, const char* name);
    void setTitleCase(int on) { TitleCase = on; }
    void setCaretText(const char* caret) { CaretText = caret ? caret : ""; }

    void onAttach(CNodeBasement* node) override;
    void animate(CNodeBasement* node, irr::u32 localMs) override;
    void onKey(const irr::SEvent& event);

    const CString& getText() const { return *Text; }
    CNodeBasement* getAttributeNode() const { return AttributeNode; }

    // Drops every binding to a node that is going away.
    static void forgetAttributeNode(CNodeBasement* node);

private:
    void appendTyped(wchar_t typed);
    void appendPlain(const char* text);
    void loadText();
    void storeText();

    int MaxLength;
    CString CaretText = "|";
    CString AttributeName;
    CNodeBasement* AttributeNode = nullptr;   // not held
    CString* Text;                            // the caller's or OwnText
    CString OwnText;
    CNodeBasement* AttachedNode = nullptr;    // the node holds the editor
    int TitleCase = 0;
    CString SyncedText;   // the attribute as text when last loaded or stored
};

// Makes an editor that updates every 30 ms and attaches it to the node, which
// owns it from then on (borrowed result).
CSimpleTextEditorAnimator* createSimpleTextEditorAnimator(CNodeBasement* node, CString* text, int maxLength);

// The label row of sprite creation: the label text node and its text editor.
void InstallEditorRowMakers();
