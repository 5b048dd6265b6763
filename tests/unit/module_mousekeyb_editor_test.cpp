// The simple text editor on the steppable loop: keys through the input
// receiver, paste, the blinking caret, the bound attribute, the focus, and
// the label row of sprite creation that makes it.
#include "module_mousekeyb_editor.h"

#include "input_fixture.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_text.h"
#include "node_utilities.h"

#include "codepage.h"
#include "x_compose.h"
#include "x_keyboard.h"

#include <ITimer.h>
#include <IrrlichtDevice.h>

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace {

using irr::EKEY_CODE;

struct SKeystroke {
    EKEY_CODE key;   // the device's
    wchar_t ch;
    bool control;
    platform::SXKey x = {};   // the X side; none when its code is 0
    const char* scriptSets = nullptr;   // no key: a script sets the bound attribute to this value
    bool focusFlicker = false;          // no key: the window loses the focus and gets it back
};

SKeystroke typed(wchar_t ch) { return {irr::KEY_KEY_A, ch, false}; }
SKeystroke pressed(EKEY_CODE key, bool control = false) { return {key, 0, control}; }
SKeystroke scriptSets(const char* value) { return {irr::KEY_KEY_A, 0, false, {}, value}; }
SKeystroke focusFlicker() { return {irr::KEY_KEY_A, 0, false, {}, nullptr, true}; }
// A key with its X key code, the symbols on its first two levels and the one typed.
SKeystroke xKey(EKEY_CODE key, wchar_t ch, unsigned code, unsigned long sym0, unsigned long sym1, unsigned long sym)
{
    SKeystroke k{key, ch, false};
    k.x.Code = code;
    k.x.Sym[0] = sym0;
    k.x.Sym[1] = sym1;
    k.x.Typed = sym;
    return k;
}

platform::SXKey g_xKey;
bool fakeXKey(bool, platform::SXKey& key)
{
    key = g_xKey;
    return key.Code != 0;
}

CString g_clipboard;
CString fakeClipboard() { return g_clipboard; }

class Editor : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        g_clipboard.Empty();
        Previous = SetTextEditorClipboardSource(fakeClipboard);
        PreviousXKeys = SetXKeySource(fakeXKey);
        platform::PinComposeLocale("en_US.UTF-8");
    }
    void TearDown() override
    {
        platform::PinComposeLocale(nullptr);
        SetXKeySource(PreviousXKeys);
        SetTextEditorClipboardSource(Previous);
        platform::PinAnsiCodePage(nullptr);
        InputFixture::TearDown();
    }

    CTextNode* textNode(irr::s32 id)
    {
        return createTextNode("", irr::core::vector3df(0, 0, 0), Engine.RootNode, id);
    }
    // A press and its release, as the device sends them.
    void post(const SKeystroke& k)
    {
        for (bool down : {true, false}) {
            irr::SEvent event{};
            event.EventType = irr::EET_KEY_INPUT_EVENT;
            event.KeyInput.Key = k.key;
            event.KeyInput.Char = k.ch;
            event.KeyInput.Control = k.control;
            event.KeyInput.PressedDown = down;
            g_xKey = k.x;
            Engine.Input.OnEvent(event);
        }
    }
    void type(const char* text)
    {
        for (; *text; ++text)
            post(typed(wchar_t(*text)));
    }
    irr::u32 deviceTime() const { return Engine.Device->getTimer()->getTime(); }
    // Steps until the device time lies in a caret period (odd) or not.
    void stepToPhase(bool caret)
    {
        ASSERT_TRUE(step(40));
        while (((deviceTime() / CSimpleTextEditorAnimator::BlinkMs) % 2 == 1) != caret)
            ASSERT_TRUE(step(40));
        ASSERT_TRUE(step(40));   // the editor runs every 30 ms
        ASSERT_EQ(((deviceTime() / CSimpleTextEditorAnimator::BlinkMs) % 2 == 1), caret) << "phase edge";
    }

    TextEditorClipboardSource Previous = nullptr;
    XKeySource PreviousXKeys = nullptr;
};

TEST_F(Editor, KeysEditTheEndOfTheText)
{
    struct SCase {
        const char* name;
        std::vector<SKeystroke> keys;
        int maxLength;
        int titleCase;
        const char* clipboard;
        const char* expected;
        const char* codePage = "CP1252";
        const char* scriptReads = nullptr;   // a script's value left as it was: its type and value
    };
    // Keys of the French and German layouts.
    const SKeystroke circumflex = xKey(EKEY_CODE(34), L'^', 34, 0xFE52, 0xFE57, 0xFE52);
    const SKeystroke diaeresis = xKey(EKEY_CODE(34), L'\u00A8', 34, 0xFE52, 0xFE57, 0xFE57);
    const SKeystroke deadDiaeresis = xKey(EKEY_CODE(34), 0, 34, 0xFE52, 0xFE57, 0xFE57);   // no character read
    const SKeystroke deAcute = xKey(EKEY_CODE(21), L'\u00B4', 21, 0xFE51, 0xFE50, 0xFE51);
    const SKeystroke xE = xKey(irr::KEY_KEY_E, L'e', 26, 'e', 'E', 'e');
    const SKeystroke xCapitalE = xKey(irr::KEY_KEY_E, L'E', 26, 'e', 'E', 'E');
    const SKeystroke xX = xKey(irr::KEY_KEY_X, L'x', 53, 'x', 'X', 'x');
    const SKeystroke xSpace = xKey(irr::KEY_SPACE, L' ', 65, ' ', ' ', ' ');
    const SKeystroke xAmpersand = xKey(EKEY_CODE(10), L'&', 10, '&', '1', '&');
    const SKeystroke xShift = xKey(irr::KEY_LSHIFT, 0, 50, 0xFFE1, 0xFFE1, 0xFFE1);
    // Keys of US international, Greek and Russian.
    const SKeystroke intlAcute = xKey(irr::KEY_OEM_7, 0, 48, 0xFE51, 0xFE57, 0xFE51);
    const SKeystroke intlDiaeresis = xKey(irr::KEY_OEM_7, 0, 48, 0xFE51, 0xFE57, 0xFE57);
    const SKeystroke xT = xKey(irr::KEY_KEY_T, L't', 28, 't', 'T', 't');
    const SKeystroke xCapitalN = xKey(irr::KEY_KEY_N, L'N', 57, 'n', 'N', 'N');
    const SKeystroke greekTonos = xKey(EKEY_CODE(47), 0, 47, 0xFE51, 0xFE57, 0xFE51);
    const SKeystroke greekAlpha = xKey(irr::KEY_KEY_A, 0, 38, 0x7E1, 0x7C1, 0x7E1);   // the device reads no character
    const SKeystroke ruDiaeresis = xKey(EKEY_CODE(49), 0, 49, 0xFE57, 0xFE57, 0xFE57);
    const SKeystroke ruIe = xKey(irr::KEY_KEY_T, L'\u0435', 28, 0x6C5, 0x6E5, 0x6C5);
    const std::string hundred(100, '7');
    const std::string hundredSet = "\"" + hundred + "\"";
    const std::vector<SKeystroke> typeNothing = {pressed(irr::KEY_LSHIFT), pressed(irr::KEY_LEFT), pressed(irr::KEY_F5),
                                                 {irr::KEY_ESCAPE, 27, false}, {irr::KEY_RETURN, L'\r', false}};
    auto then = [](std::vector<SKeystroke> keys, const std::vector<SKeystroke>& more) {
        keys.insert(keys.end(), more.begin(), more.end());
        return keys;
    };
    const SCase cases[] = {
        {"typing", {typed('a'), typed('b'), typed('c')}, 20, 0, "", "abc"},
        {"backspace", {typed('a'), typed('b'), pressed(irr::KEY_BACK)}, 20, 0, "", "a"},
        {"delete takes the last too", {typed('a'), typed('b'), pressed(irr::KEY_DELETE)}, 20, 0, "", "a"},
        {"backspace on empty", {pressed(irr::KEY_BACK), pressed(irr::KEY_DELETE), typed('x')}, 20, 0, "", "x"},
        {"return adds nothing", {typed('a'), {irr::KEY_RETURN, L'\r', false}}, 20, 0, "", "a"},
        {"function key adds nothing", {typed('a'), pressed(irr::KEY_F5)}, 20, 0, "", "a"},
        {"control characters dropped", {{irr::KEY_TAB, L'\t', false}, {irr::KEY_ESCAPE, 27, false}, typed('b')},
         20, 0, "", "b"},
        {"ctrl+c leaves the text", {typed('a'), {irr::KEY_KEY_C, L'c', true}}, 20, 0, "zz", "a"},
        {"max length keeps the first", {typed('a'), typed('b'), typed('c'), typed('d')}, 3, 0, "", "abc"},
        {"title case", {typed('j'), typed('O'), typed('e'), typed(' '), typed('d')}, 20, 1, "", "Joe D"},
        // Before the editor's next update: the key edits what the script left.
        {"a script's change stands", {typed('a'), typed('b'), scriptSets("\"\""), typed('c')}, 20, 1, "", "C"},
        {"a script's number stands", {typed('x'), scriptSets("42"), typed('a')}, 20, 0, "", "42a"},
        {"a script's float stands", {typed('x'), scriptSets("2.5"), typed('a')}, 20, 0, "", "2.500000a"},
        {"-5 then a", {scriptSets("-5"), typed('a')}, 20, 0, "", "-5a"},
        // A key that types nothing stores nothing: the script's value stays as it set it.
        {"no typing keeps a number", then({typed('x'), scriptSets("42")}, typeNothing), 20, 0, "", "42", "CP1252",
         "integer 42"},
        {"no typing keeps a small float", then({scriptSets("0.0000001")}, typeNothing), 20, 0, "", "0.000000",
         "CP1252", "float 1e-07"},
        {"no typing keeps the case", then({scriptSets("\"hello world\"")}, typeNothing), 20, 1, "", "hello world"},
        {"no typing keeps a long text", then({scriptSets(hundredSet.c_str())}, typeNothing), 60, 0, "",
         hundred.c_str()},
        {"paste appends", {typed('a'), pressed(irr::KEY_KEY_V, true)}, 20, 0, "bc", "abc"},
        {"paste is cut too", {typed('a'), pressed(irr::KEY_KEY_V, true)}, 4, 0, "bcdef", "abcd"},
        {"paste drops line breaks", {pressed(irr::KEY_KEY_V, true)}, 20, 0, "ab\r\ncd\t", "abcd"},
        {"no clipboard", {typed('a'), pressed(irr::KEY_KEY_V, true)}, 20, 0, "", "a"},
        // Keys the device has no code for keep a stale one: the character counts.
        {"characters on stale codes",
         {typed('a'), {irr::KEY_BACK, L'\u00E9', false}, {irr::KEY_SHIFT, L'\u00E8', false},
          {irr::KEY_RETURN, L'\u00E0', false}, {irr::KEY_DELETE, L'\u00E7', false}},
         20, 0, "", "a\xE9\xE8\xE0\xE7"},
        // Under a UTF-8 locale the device packs a character's UTF-8 bytes into one.
        {"packed UTF-8",
         {{irr::KEY_BACK, wchar_t(0xA9C3), false}, {irr::KEY_OEM_4, wchar_t(0x9FC3), false},
          {irr::KEY_BACK, wchar_t(0xAC82E2), false}},
         20, 0, "", "\xE9\xDF\x80"},
        // A dead key accents the next key's character, with Shift between or
        // not; a space types the accent, a key without an accented form
        // follows it.
        {"dead keys",
         {circumflex, xE, circumflex, xSpace, circumflex, xAmpersand, diaeresis, xE, deAcute, xE, circumflex, xX,
          circumflex, xShift, xCapitalE},
         20, 0, "", "\xEA^^&\xEB\xE9^x\xCA"},
        // Two dead keys: the first's accent, then the second's own.
        {"two dead keys", {circumflex, deadDiaeresis, circumflex, diaeresis}, 20, 0, "", "^\"^\""},
        // The pending accent goes with the focus.
        {"dead key before a focus change", {circumflex, focusFlicker(), xE}, 20, 0, "", "e"},
        // As the locale's compose table has it: an apostrophe and a space type
        // an apostrophe, a letter the page lacks follows the accent.
        {"dead keys of US international",
         {intlAcute, xSpace, intlDiaeresis, xSpace, intlAcute, xT, intlAcute, xCapitalN}, 20, 0, "",
         "'\"'t'N"},
        {"Greek letters and dead keys over them", {greekAlpha, greekTonos, greekAlpha}, 20, 0, "", "\xE1\xDC",
         "CP1253"},
        {"dead keys over Cyrillic", {ruDiaeresis, ruIe}, 20, 0, "", "\xB8", "CP1251"},
        // A key code mapped to nothing is no Backspace; a character the device
        // still read from it is typed.
        {"key code without a symbol",
         {typed('a'), typed('b'), xKey(EKEY_CODE(8), 0, 8, 0, 0, 0), xKey(EKEY_CODE(8), L'\u00F1', 8, 0, 0, 0)},
         20, 0, "", "ab\xF1"},
        // The compose table spaces no low line: the second dead key types
        // what the device read, or without that its own character.
        {"a second dead key without a spacing form",
         {circumflex, xKey(EKEY_CODE(20), L'_', 20, 0xFE90, 0xFE90, 0xFE90), circumflex,
          xKey(EKEY_CODE(20), 0, 20, 0xFE90, 0xFE90, 0xFE90)},
         20, 0, "", "^_^_"},
    };
    struct SUtf8Locale {
        SUtf8Locale() { EXPECT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
        ~SUtf8Locale() { std::setlocale(LC_CTYPE, "C"); }
    } locale;   // as the game runs
    CNodeBasement* target = addNode(3001, irr::core::vector3df(0, 0, 5), 1, 1);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(platform::PinAnsiCodePage(c.codePage));
        CTextNode* node = textNode(3002);
        CSimpleTextEditorAnimator* editor = createSimpleTextEditorAnimator(node, nullptr, c.maxLength);
        editor->bindAttribute(target, "typed");
        editor->setTitleCase(c.titleCase);
        g_clipboard = c.clipboard;
        target->setAttributeString("typed", "");
        for (const SKeystroke& k : c.keys) {
            if (k.scriptSets) {
                script(("core_SetNodeAttribute(3001, \"typed\", " + std::string(k.scriptSets) + ");").c_str());
            } else if (k.focusFlicker) {
                Engine.WindowAlwaysActive = false;
                ASSERT_TRUE(step());
                Engine.WindowAlwaysActive = true;
                ASSERT_TRUE(step(1100));
                ASSERT_EQ(Engine.AppActive, 1);
            } else {
                post(k);
            }
        }
        EXPECT_EQ(std::string(editor->getText()), c.expected);
        if (c.scriptReads) {
            script("local v = core_GetNodeAttribute(3001, \"typed\"); log.append(typeof v + \" \" + v);");
            const std::vector<std::string> log = scriptLog();
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.back(), c.scriptReads);
        } else {
            EXPECT_EQ(std::string(target->getAttributeString("typed", "?")), c.expected) << "stored after each key";
        }
        node->remove();
    }
}

TEST_F(Editor, TypedLettersPassTheCodePage)
{
    ASSERT_TRUE(platform::PinAnsiCodePage("CP1251"));
    CSimpleTextEditorAnimator* editor = createSimpleTextEditorAnimator(textNode(3001), nullptr, 20);
    post(typed(L'\u0410'));   // CYRILLIC CAPITAL A
    post(typed(L'\u00E9'));   // e acute: not in this page
    post(typed(L'z'));
    EXPECT_EQ(std::string(editor->getText()), "\xC0z");
}

TEST_F(Editor, NoClipboardWithoutAWindow)
{
    EXPECT_TRUE(ReadDeviceClipboard().IsEmpty()) << "the null driver has no display";
    SetTextEditorClipboardSource(nullptr);
    CSimpleTextEditorAnimator* editor = createSimpleTextEditorAnimator(textNode(3001), nullptr, 20);
    type("a");
    post(pressed(irr::KEY_KEY_V, true));
    EXPECT_EQ(std::string(editor->getText()), "a");
}

TEST_F(Editor, CaretBlinksInAlternateHalfSeconds)
{
    CTextNode* node = textNode(3001);
    CSimpleTextEditorAnimator* editor = createSimpleTextEditorAnimator(node, nullptr, 20);
    type("ab");
    for (int round = 0; round < 2; ++round) {
        stepToPhase(true);
        EXPECT_EQ(std::string(node->getText()), "ab|");
        stepToPhase(false);
        EXPECT_EQ(std::string(node->getText()), "ab");
    }
    editor->setCaretText("_");
    stepToPhase(true);
    EXPECT_EQ(std::string(node->getText()), "ab_");
}

TEST_F(Editor, SpaceStillFiresTheLatch)
{
    createSimpleTextEditorAnimator(textNode(3001), nullptr, 20);
    getInputLatch()->reset();
    post({irr::KEY_SPACE, L' ', false});
    EXPECT_NE(getInputLatch()->FireTick, 0u) << "space in an editor still fires the latch";
    EXPECT_EQ(std::string((*getFocusedTextEditor())->getText()), " ");
}

TEST_F(Editor, NewestEditorHasTheFocus)
{
    CTextNode* first = textNode(3001);
    CTextNode* second = textNode(3002);
    CSimpleTextEditorAnimator* older = createSimpleTextEditorAnimator(first, nullptr, 20);
    EXPECT_EQ(*getFocusedTextEditor(), older);
    CSimpleTextEditorAnimator* newer = createSimpleTextEditorAnimator(second, nullptr, 20);
    EXPECT_EQ(*getFocusedTextEditor(), newer);
    type("x");
    EXPECT_EQ(std::string(older->getText()), "");
    EXPECT_EQ(std::string(newer->getText()), "x");

    // The focus does not go back to the older one.
    second->remove();
    EXPECT_EQ(*getFocusedTextEditor(), nullptr);
    type("y");
    EXPECT_EQ(std::string(older->getText()), "");
}

TEST_F(Editor, ScriptChangeOfTheAttributeIsPickedUp)
{
    CNodeBasement* target = addNode(3001, irr::core::vector3df(0, 0, 5), 1, 1);
    CTextNode* node = textNode(3002);
    CSimpleTextEditorAnimator* editor = createSimpleTextEditorAnimator(node, nullptr, 20);
    editor->bindAttribute(target, "nick");
    type("ab");
    script("core_SetNodeAttribute(3001, \"nick\", \"Zed\");");
    stepToPhase(false);   // the editor reads the attribute after showing
    stepToPhase(true);
    EXPECT_EQ(std::string(node->getText()), "Zed|");
    type("s");
    EXPECT_EQ(std::string(target->getAttributeString("nick", "")), "Zeds") << "further keys edit it";
}

TEST_F(Editor, FinalTextIsWrittenWhenTheEditorGoes)
{
    CNodeBasement* target = addNode(3001, irr::core::vector3df(0, 0, 5), 1, 1);
    CTextNode* node = textNode(3002);
    CString text = "kept";
    CSimpleTextEditorAnimator* editor = createSimpleTextEditorAnimator(node, &text, 20);
    editor->bindAttribute(target, "nick");
    type("s");
    EXPECT_EQ(std::string(text), "kepts") << "the caller's text is the one edited";
    text = "last";   // changed behind the editor's back
    node->remove();
    EXPECT_EQ(*getFocusedTextEditor(), nullptr);
    EXPECT_EQ(std::string(target->getAttributeString("nick", "")), "last");

    // A script's set since the field last saw the attribute stands, of its
    // kind; an attribute the field saw, or none, takes the final text.
    const struct {
        const char* name;
        bool setBeforeKey, setAfterKey, removed;
        const char* behindBack;   // the text changed behind the editor's back
        const char* expected;
    } goings[] = {
        {"set in the last frame", false, true, false, nullptr, "int 42"},
        {"read by a key that types nothing", true, false, false, nullptr, "int 42"},
        {"read, then the text changed", true, false, false, "last", "string last"},
        {"removed", false, false, true, nullptr, "string xl"},
    };
    for (const auto& g : goings) {
        SCOPED_TRACE(g.name);
        text = "x";
        target->getAttributes()->remove("age", true, true, true);
        createSimpleTextEditorAnimator(node = textNode(3002), &text, 20)->bindAttribute(target, "age");
        if (g.setBeforeKey)
            target->setAttributeInt("age", 42);
        post(g.setBeforeKey ? pressed(irr::KEY_LSHIFT) : typed('l'));
        if (g.setAfterKey)
            target->setAttributeInt("age", 42);
        if (g.removed)
            target->getAttributes()->remove("age", true, true, true);
        if (g.behindBack)
            text = g.behindBack;
        node->remove();
        CString age;
        const int kind = target->getAttributes()->lookupText("age", age);
        EXPECT_EQ((kind == CCustomAttribs::TypeInt ? "int " : "string ") + std::string(age), g.expected);
    }
}

TEST_F(Editor, BoundNodeGoingFirstIsForgotten)
{
    CNodeBasement* target = addNode(3001, irr::core::vector3df(0, 0, 5), 1, 1);
    CTextNode* node = textNode(3002);
    CSimpleTextEditorAnimator* editor = createSimpleTextEditorAnimator(node, nullptr, 20);
    editor->bindAttribute(target, "nick");
    target->remove();
    EXPECT_EQ(editor->getAttributeNode(), nullptr);
    type("a");
    ASSERT_TRUE(step(100));
    EXPECT_EQ(std::string(editor->getText()), "a");
    node->remove();   // no write to the freed node
}

TEST_F(Editor, LabelRowMakesATitleCaseEditorBoundToTheSprite)
{
    clearSpriteCache();
    const char* description = "raw://\n-Texture:?fill[c1,w64,h32]\n-Name: nickbox\n-Label: ?Name\n"
                              "-Label.Format: Enter\n-Animation.SimpleTextEditor: s5 d_ @nick\n";
    CNodeBasement* sprite = addSprite(description, 1, 1, irr::core::vector3df(0, 0, 0), nullptr, nullptr,
                                      SPRITE_SITE);
    ASSERT_NE(sprite, nullptr);
    CTextNode* label = findTextNode("nickbox");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getParent(), sprite);
    EXPECT_EQ(std::string(label->getText()), "Enter\nName");
    EXPECT_TRUE(label->hasAttributes() &&
                label->getAttributes()->lookup("nick", nullptr, nullptr, nullptr) == CCustomAttribs::TypeString)
        << "the label carries the empty attribute";
    CSimpleTextEditorAnimator* editor = *getFocusedTextEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->getNode(), label);
    EXPECT_EQ(editor->getDiscretion(), CSimpleTextEditorAnimator::UpdateMs);

    type("joe smith");
    EXPECT_EQ(std::string(sprite->getAttributeString("nick", "")), "Joe S");
    stepToPhase(true);
    EXPECT_EQ(std::string(label->getText()), "Joe S_");
    clearSpriteCache();
}

TEST_F(Editor, LabelWithoutEditorKeyHasNoEditor)
{
    clearSpriteCache();
    CNodeBasement* sprite = addSprite("raw://\n-Texture:?fill[c1,w64,h32]\n-Label: ?Plain\n", 1, 1,
                                      irr::core::vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
    ASSERT_NE(sprite, nullptr);
    CTextNode* label = getTextNodeOf(sprite);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(std::string(label->getText()), "Plain");
    EXPECT_EQ(*getFocusedTextEditor(), nullptr);
    clearSpriteCache();
}

} // namespace
