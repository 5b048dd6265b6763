// The simple text editor and the label row of sprite creation that makes it.
#include "module_mousekeyb_editor.h"

#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_text.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_str_lng.h"
#include "utils_str_tools.h"

#include "codepage.h"
#include "x_clipboard.h"

#include <IVideoDriver.h>
#include <IrrlichtDevice.h>
#include <Keycodes.h>

#include <algorithm>
#include <vector>

using namespace irr;

namespace {

constexpr f32 LabelDepth = -0.01f;

TextEditorClipboardSource g_clipboardSource = ReadDeviceClipboard;

// Every live editor, so that a binding never outlives its node.
std::vector<CSimpleTextEditorAnimator*>& liveEditors()
{
    static std::vector<CSimpleTextEditorAnimator*> editors;
    return editors;
}

// Control characters would land in a one-line text raw (Tab, Esc, line feeds).
bool isControlChar(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

} // namespace

TextEditorClipboardSource SetTextEditorClipboardSource(TextEditorClipboardSource source)
{
    TextEditorClipboardSource previous = g_clipboardSource;
    g_clipboardSource = source ? source : ReadDeviceClipboard;
    return previous;
}

namespace {

// Without a window (the null driver) there is no display to ask.
bool hasWindow()
{
    CEngineBase* engine = getEngine();
    return engine && engine->Device && engine->Driver && engine->Driver->getDriverType() != video::EDT_NULL;
}

} // namespace

CString ReadDeviceClipboard()
{
    if (!hasWindow())
        return CString();
    return Utf8ToAnsi(platform::GetClipboardUtf8(ClipboardWaitMs).c_str());
}

void WriteDeviceClipboard(const char* text)
{
    if (hasWindow())
        platform::SetClipboardUtf8((const char*)AnsiToUtf8(text ? text : ""));
}

// --- the editor ---

CSimpleTextEditorAnimator::CSimpleTextEditorAnimator(CString* text, int maxLength)
    : MaxLength(maxLength), Text(text ? text : &OwnText)
{
    liveEditors().push_back(this);
    *getFocusedTextEditor() = this;
}

CSimpleTextEditorAnimator::~CSimpleTextEditorAnimator()
{
    CSimpleTextEditorAnimator** focused = getFocusedTextEditor();
    if (*focused == this)
        *focused = nullptr;
    std::vector<CSimpleTextEditorAnimator*>& editors = liveEditors();
    editors.erase(std::remove(editors.begin(), editors.end(), this), editors.end());
    // The final text goes to the attribute, unless a script set the attribute
    // since the editor last saw it (in the frame that removes the field, say):
    // then the script's value stands, of its kind.
    if (!AttributeNode || AttributeName.IsEmpty())
        return;
    CString current;
    const bool held = AttributeNode->hasAttributes() && AttributeNode->getAttributes()->lookupText(AttributeName, current);
    if (!held || (current == SyncedText && current != *Text))
        storeText();
}

void CSimpleTextEditorAnimator::bindAttribute(CNodeBasement* node, const char* name)
{
    AttributeNode = node;
    AttributeName = name ? name : "";
}

void CSimpleTextEditorAnimator::onAttach(CNodeBasement* node)
{
    AttachedNode = node;
}

void CSimpleTextEditorAnimator::forgetAttributeNode(CNodeBasement* node)
{
    for (CSimpleTextEditorAnimator* editor : liveEditors())
        if (editor->AttributeNode == node)
            editor->AttributeNode = nullptr;
}

// A script may have set the attribute since the last key or update: it
// becomes the text, a number as the script would read it as text.
void CSimpleTextEditorAnimator::loadText()
{
    if (AttributeNode && !AttributeName.IsEmpty() && AttributeNode->hasAttributes() &&
        AttributeNode->getAttributes()->lookupText(AttributeName, *Text))
        SyncedText = *Text;
}

void CSimpleTextEditorAnimator::storeText()
{
    if (AttributeNode && !AttributeName.IsEmpty()) {
        AttributeNode->setAttributeString(AttributeName, *Text);
        SyncedText = *Text;
    }
}

void CSimpleTextEditorAnimator::appendTyped(wchar_t typed)
{
    if (typed == 0)
        return;
    const int c = platform::UnicodeToAnsiChar(char32_t(typed));
    if (c < 0 || isControlChar(static_cast<unsigned char>(c)))
        return;
    *Text += char(c);
}

void CSimpleTextEditorAnimator::appendPlain(const char* text)
{
    for (; *text; ++text)
        if (!isControlChar(static_cast<unsigned char>(*text)))
            *Text += *text;
}

void CSimpleTextEditorAnimator::onKey(const SEvent& event)
{
    const SEvent::SKeyInput& key = event.KeyInput;
    if (!key.PressedDown)
        return;
    CheckMainThread();
    loadText();   // a key edits what a script left, not what the last update saw
    const CString before = *Text;
    if (key.Control) {
        if (key.Key != KEY_KEY_V)
            return;
        appendPlain(g_clipboardSource());
    } else if (key.Key == KEY_BACK || key.Key == KEY_DELETE) {
        // No caret position: editing always happens at the end. A typed
        // character never comes with these codes: the receiver drops a code
        // the device left from another key.
        *Text = Text->Left(Text->GetLength() - 1);
    } else if (key.Key != KEY_RETURN) {
        appendTyped(key.Char);
    }
    // A key that types nothing leaves the text and the attribute as a script
    // set them: a number stays a number, a long text whole, its case as it was.
    if (*Text == before)
        return;
    if (Text->GetLength() > MaxLength)
        *Text = Text->Left(MaxLength);
    if (TitleCase)
        *Text = MakeTitleCase(*Text, false);
    storeText();
}

void CSimpleTextEditorAnimator::animate(CNodeBasement* node, u32 localMs)
{
    CheckMainThread();
    // The caret shows in the odd half-seconds.
    CString shown = *Text;
    if ((localMs / BlinkMs) % 2 == 1)
        shown += CaretText;
    CTextNode* textNode = dynamic_cast<CTextNode*>(node);
    if (textNode && textNode->getText() != shown)
        textNode->setText(shown);
    loadText();
}

CSimpleTextEditorAnimator* createSimpleTextEditorAnimator(CNodeBasement* node, CString* text, int maxLength)
{
    CSimpleTextEditorAnimator* editor = new CSimpleTextEditorAnimator(text, maxLength);
    editor->setDiscretion(CSimpleTextEditorAnimator::UpdateMs);
    return static_cast<CSimpleTextEditorAnimator*>(attachAnimator(node, editor));
}

// --- the label row ---

namespace {

CString labelText(const CNodeFactory& f, const SSpriteCreateInfo* info)
{
    CString text = f.labelFormat;
    DecodeLngText(text);
    if (!text.IsEmpty())
        text += "\n";
    text += f.label[0] == '?' ? CString((const char*)f.label + 1) : GetLngText(f.label);
    getEngine()->expandMacros(text, nullptr, info);
    return text;
}

void makeLabel(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo* info, const char*)
{
    CTextNode* label = createTextNode(labelText(f, info), core::vector3df(0, 0, LabelDepth), node, SharedSpriteId);
    if (!label)
        return;
    if (!f.name.IsEmpty())
        label->setIDFromName(f.name + "_text");
    if (f.textEditorS <= 0)
        return;
    CSimpleTextEditorAnimator* editor = createSimpleTextEditorAnimator(label, nullptr, f.textEditorS);
    if (!editor)
        return;
    if (!f.textEditorAt.IsEmpty()) {
        label->setAttributeString(f.textEditorAt, "");
        editor->bindAttribute(node, f.textEditorAt);
    }
    if (!f.textEditorD.IsEmpty())
        editor->setCaretText(f.textEditorD);
    editor->setTitleCase(1);
}

} // namespace

void InstallEditorRowMakers()
{
    GetDescriptionRowMakers().Label = makeLabel;
}
