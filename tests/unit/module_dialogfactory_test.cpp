// Dialog records on the engine's stack, the action stacks and closing by name.
#include "module_dialogfactory.h"

#include "input_fixture.h"
#include "msgbox_recorder.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_utilities.h"
#include "temp_folder.h"
#include "utils_fs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using irr::core::vector3df;

class DialogStacks : public InputFixture {
protected:
    CNodeBasement* open(const char* name, const char* esc, const char* onKey = "")
    {
        CDialogInfo* record = new CDialogInfo;
        record->name = name;
        CNodeBasement* node = addNode(getIdByName(name), vector3df(0, 0, 0), 1, 1);
        attachAnimatorStopped(node, new CDialogAnimator(record, esc, onKey, "", ""));
        record->drop();
        return node;
    }

    std::vector<std::string> stack(const CStringArray& array)
    {
        std::vector<std::string> out;
        for (int i = 0; i < array.GetSize(); ++i)
            out.push_back((const char*)array[i]);
        return out;
    }

    std::vector<std::string> openNames()
    {
        std::vector<std::string> out;
        for (CDialogInfo* dialog : Engine.Dialogs)
            out.push_back((const char*)dialog->name);
        return out;
    }
};

TEST_F(DialogStacks, ClosingRemovesTheFirstEqualActionFromTheBottom)
{
    open("A", "X");
    open("B", "Y");
    open("C", "X");
    EXPECT_EQ(Engine.getTopDialogName(), "C");
    EXPECT_EQ(CDialogFactory::getTopEscAction(), "X");
    EXPECT_TRUE(Engine.closeDialog("C?x=1", 0));
    EXPECT_EQ(stack(CDialogFactory::escActionStack()), std::vector<std::string>({"Y", "X"}));
    EXPECT_EQ(openNames(), std::vector<std::string>({"A", "B"}));
    EXPECT_FALSE(Engine.isDialogOpen("C"));
    ASSERT_TRUE(step());
    EXPECT_FALSE(Engine.closeDialog("C", 0)) << "already gone from the ID cache after the frame";
}

TEST_F(DialogStacks, ClosingAHookDialogDropsItsQueuedCalls)
{
    open("A", "", "onKeyA");
    key(irr::KEY_KEY_Q, true);
    EXPECT_EQ(Engine.Scripts.getQueuedCount(), 1);
    Engine.closeDialog("A", 0);
    EXPECT_EQ(Engine.Scripts.getQueuedCount(), 0);
    EXPECT_TRUE(CDialogFactory::keyActionStack().GetSize() == 0);
}

TEST_F(DialogStacks, CloseDialogsByList)
{
    struct {
        const char* list;
        std::vector<std::string> left;
    } cases[] = {
        {"", {}},
        {"-1", {}},
        {" | ,", {}},
        {"a b|c", {"ab"}},
        {"ab", {"a", "b", "c"}},
        {"b,,c", {"a", "ab"}},
    };
    for (const auto& c : cases) {
        for (const char* name : {"a", "b", "c", "ab"})
            if (!Engine.isDialogOpen(name))
                open(name, "");
        ASSERT_TRUE(step());
        Engine.closeDialogs(c.list);
        std::vector<std::string> left = openNames();
        std::vector<std::string> expected = c.left;
        EXPECT_EQ(left, expected) << "list '" << c.list << "'";
        ASSERT_TRUE(step());   // the removals
        Engine.closeDialogs("");
        ASSERT_TRUE(step());
    }
}

} // namespace

namespace {

class Dialogs : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        script("function onEsc() { ::log.append(\"esc\"); }"
               "function ok(t) { ::log.append(\"ok\"); }");
    }
    std::string writeDialog(const std::string& file, const std::string& text)
    {
        Files.write(file, text);
        CDialogFactory::registerDialogDescription(Files.file(file).c_str());
        return Files.file(file);
    }
    irr::scene::ISceneNode* openDialog(const char* name)
    {
        return CDialogFactory::createDialog(CDialogFactory::getDialogDescription(name), vector3df(0, 0, 0), nullptr);
    }
    CTempFolder Files;
};

const char* const MenuDialog = "-DialogName: menu\n"
                               "-ModalDialog: 1\n"
                               "-Position: x10\n"
                               "-Event.Keyboard.Esc.Pressed: onEsc()\n"
                               "-Custom.Attributes: kind[menu]\n"
                               "\n[Sprite]\n"
                               "-Texture:\\gui\\empty.png\n-Size: w2 h2\n-Position: x-10\n"
                               "-Event.Mouse.Click.Action: ok\n";

TEST_F(Dialogs, OpenedByNameWithItsKeysAndClosedWithAFade)
{
    writeDialog("menu.dlg", MenuDialog);
    irr::scene::ISceneNode* node = openDialog("menu");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getID(), getIdByName("menu"));
    EXPECT_EQ(std::string(node->getName()).rfind("DLG:menu ", 0), 0u);
    EXPECT_FLOAT_EQ(node->getPosition().X, 10.0f) << "x only";
    EXPECT_FLOAT_EQ(node->getPosition().Y, 0.0f);
    EXPECT_TRUE(Engine.isDialogOpen("menu"));
    EXPECT_EQ(getInputState()->getTopModal(false), 1);
    EXPECT_EQ(CDialogFactory::getTopEscAction(), "onEsc()");
    EXPECT_EQ(std::string((const char*)CNodeBasement::fromSceneNode(node)->getAttributeString("kind", "")), "menu");
    ASSERT_EQ(node->getChildren().size(), 1u);
    EXPECT_EQ(std::string((*node->getChildren().begin())->getName()).rfind("DLGVis:menu ", 0), 0u);

    // The dialog's own button takes clicks while the dialog is modal.
    ASSERT_TRUE(step(250));
    moveTo(centre());
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    ASSERT_TRUE(step());
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
    ASSERT_TRUE(step());
    key(irr::KEY_ESCAPE, true);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), std::vector<std::string>({"ok", "esc"}));

    EXPECT_TRUE(Engine.closeDialog("menu", 500));
    EXPECT_FALSE(Engine.isDialogOpen("menu")) << "off the stacks at once";
    EXPECT_EQ(CDialogFactory::getTopEscAction(), "");
    ASSERT_TRUE(step(100));
    EXPECT_NE(getNodeById(getIdByName("menu"), nullptr), nullptr) << "still fading";
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(step(100));
    EXPECT_EQ(getNodeById(getIdByName("menu"), nullptr), nullptr);
    EXPECT_EQ(getInputState()->getTopModal(false), 0);
}

TEST_F(Dialogs, OpeningAgainReplacesAndCloseOthersClosesAll)
{
    writeDialog("menu.dlg", MenuDialog);
    writeDialog("other.dlg", "-DialogName: other\n-CloseOtherDialogs: -1\n-Event.Keyboard.Esc.Pressed: onEsc()\n");
    openDialog("menu");
    openDialog("menu");
    EXPECT_EQ(Engine.Dialogs.size(), 1u);
    EXPECT_EQ(CDialogFactory::escActionStack().GetSize(), 1);
    ASSERT_TRUE(step());
    openDialog("other?a=1");
    EXPECT_FALSE(Engine.isDialogOpen("menu"));
    EXPECT_TRUE(Engine.isDialogOpen("other"));
    EXPECT_EQ(Engine.getTopDialogName(), "other");
}

TEST_F(Dialogs, CreateAndDestroyActionsRunThroughTheDialogsTimer)
{
    writeDialog("a.dlg", "-DialogName: a\n-Event.OnCreate.Action: ::log.append(\"created\");\n");
    writeDialog("b.dlg", "-DialogName: b\n-Event.OnDestroy.Action: ::log.append(\"destroyed\");\n");
    openDialog("a");
    EXPECT_EQ(scriptLog(), std::vector<std::string>({"created"})) << "at once, while the dialog is built";
    openDialog("b");
    EXPECT_EQ(scriptLog().size(), 1u) << "a destroy action alone still makes a timer";
    Engine.closeDialog("b", 0);
    ASSERT_TRUE(step());
    EXPECT_EQ(scriptLog(), std::vector<std::string>({"created", "destroyed"}));
}

TEST_F(Dialogs, PreloadingRegistersDialogsByTheirNames)
{
    Files.write("later.dlg", "-DialogName: later\n");
    Engine.preloadFile(Files.file("later.dlg").c_str(), nullptr);
    CString found = CDialogFactory::getDialogDescription("later");
    CString expected = Files.file("later.dlg").c_str();
    found.MakeLower();   // preloading works on lower-case names
    expected.MakeLower();
    EXPECT_EQ(std::string((const char*)found), std::string((const char*)expected));
}

TEST_F(Dialogs, DescriptionKeepsItsParametersAndUnknownNamesAreFatal)
{
    const std::string path = writeDialog("menu.dlg", MenuDialog);
    EXPECT_EQ(std::string((const char*)CDialogFactory::getDialogDescription("menu?a=1&b=2")), path + "?a=1&b=2");
    EXPECT_EXIT(CDialogFactory::getDialogDescription("nope"), testing::ExitedWithCode(1), "");
}

} // namespace

namespace {

using EngineServices = InputFixture;

TEST_F(EngineServices, BackgroundIsReplacedOrCrossFaded)
{
    auto background = [&] { return CNodeBasement::fromSceneNode(getNodeById(Engine.BackgroundId, nullptr)); };
    ASSERT_TRUE(Engine.setBackground("\\gui\\black.png", 0));
    CNodeBasement* first = background();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getParent(), Engine.RootNode);
    EXPECT_FLOAT_EQ(first->getPosition().Z, 20.55f);
    const size_t children = Engine.RootNode->getChildren().size();
    EXPECT_TRUE(Engine.setBackground("\\gui\\black.png", 1)) << "the same name: nothing to do";
    EXPECT_EQ(background(), first);
    EXPECT_EQ(Engine.RootNode->getChildren().size(), children);
    EXPECT_FALSE(Engine.setBackground(nullptr, 1));
    EXPECT_EQ(background(), first) << "a refused name changes nothing";

    ASSERT_TRUE(Engine.setBackground("\\gui\\empty.png", 1));
    CNodeBasement* second = background();
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second, first);
    EXPECT_FLOAT_EQ(first->getPosition().Z, 20.5501f) << "the old one moves back";
    EXPECT_NE(first->findAnimatorByName("SELDES", false), nullptr) << "and fades away";
    EXPECT_FLOAT_EQ(second->getAlpha(), 0.0f);
    EXPECT_EQ(second->getAlphaThreshold(), 0);

    // Cross-fading again within the second leaves the fading one alone.
    ASSERT_TRUE(Engine.setBackground("\\gui\\black.png", 1));
    EXPECT_FLOAT_EQ(first->getPosition().Z, 20.5501f);
    EXPECT_FLOAT_EQ(second->getPosition().Z, 20.5501f);

    // Without cross-fade the current background is deleted at the end of the frame.
    irr::s32 thirdId = ForceNodeToHaveID(background());
    ASSERT_TRUE(Engine.setBackground("\\gui\\empty.png", 0));
    ASSERT_TRUE(step());
    EXPECT_EQ(getNodeById(thirdId, nullptr), nullptr);
    EXPECT_NE(background(), nullptr);

    // Deleted by a script, its ID then taken by another node: the next one
    // takes its place without touching either.
    for (int crossFade : {1, 0}) {
        SCOPED_TRACE(crossFade);
        const irr::s32 usedId = Engine.BackgroundId;
        deleteNode(background());
        ASSERT_TRUE(step());
        CNodeBasement* button = addNode(usedId, irr::core::vector3df(0, 0, 10), 1, 1);
        ASSERT_TRUE(Engine.setBackground(crossFade ? "\\gui\\black.png" : "\\gui\\empty.png", crossFade));
        ASSERT_TRUE(step());
        ASSERT_EQ(getNodeById(usedId, nullptr), button);
        EXPECT_FLOAT_EQ(button->getPosition().Z, 10.0f);
        EXPECT_EQ(button->findAnimatorByName("SELDES", false), nullptr);
        EXPECT_NE(background(), nullptr);
        EXPECT_NE(background(), button);
    }
}

TEST_F(EngineServices, ClearCachesShowsItsBoxUnlessQuiet)
{
    CMessageBoxRecorder boxes;
    Engine.LastDebugText = "switches: 3";
    Engine.clearCaches(1);
    EXPECT_TRUE(boxes.Boxes.empty());
    Engine.clearCaches(0);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Caches cleared!Switch list:\nswitches: 3");
}

TEST_F(EngineServices, TopDialogAndOpenDialogsByExactName)
{
    EXPECT_EQ(std::string(Engine.getTopDialogName()), "");
    CDialogInfo* a = new CDialogInfo;
    a->name = "ab";
    CDialogInfo* b = new CDialogInfo;
    b->name = "Menu";
    EXPECT_TRUE(Engine.trackDialog(1, a));
    EXPECT_TRUE(Engine.trackDialog(1, b));
    EXPECT_TRUE(Engine.trackDialog(7, a)) << "other modes do nothing";
    EXPECT_EQ(std::string(Engine.getTopDialogName()), "Menu");
    struct Case {
        const char* name;
        bool open;
    } cases[] = {{"ab", true}, {"Menu", true}, {"a", false}, {"menu", false}, {"", false}};
    for (const Case& c : cases)
        EXPECT_EQ(Engine.isDialogOpen(c.name), c.open) << c.name;
    EXPECT_TRUE(Engine.trackDialog(-1, b));
    EXPECT_TRUE(Engine.trackDialog(-1, b)) << "absent: nothing";
    EXPECT_EQ(std::string(Engine.getTopDialogName()), "ab");
    EXPECT_TRUE(Engine.trackDialog(-1, a));
    EXPECT_EQ(Engine.Dialogs.size(), 0u);
    a->drop();
    b->drop();
}

} // namespace
