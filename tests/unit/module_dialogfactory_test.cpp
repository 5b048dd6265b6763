// Dialog records on the engine's stack, the action stacks and closing by name.
#include "module_dialogfactory.h"

#include "input_fixture.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_utilities.h"

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
