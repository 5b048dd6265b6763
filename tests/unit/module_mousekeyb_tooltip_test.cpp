// Tooltips from described sprites on the steppable loop: the text a
// description gives, the delay while hovering, removal on leaving (a fader
// for the only tooltip, at once while two live), the live count, and texts,
// positions and refreshes from a script.
#include "module_mousekeyb_animators.h"

#include "input_fixture.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_text.h"
#include "node_utilities.h"
#include "rendering_stuff_textures.h"

#include <ISceneCollisionManager.h>
#include <ISceneManager.h>
#include <ISceneNodeAnimator.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using irr::core::vector3df;

class Tooltips : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        ASSERT_EQ(liveTooltipCount, 0);
        script("calls <- 0; tipText <- \"first\";"
               "function tipString(t) { ::calls++; return \"from script \" + t._w; }"
               "function tipNull(t) { ::calls++; return null; }"
               "function tipTable(t) { ::calls++; return {_text = ::tipText, _refresh = 1000, _x = 1.5, _y = -2}; }");
    }
    void TearDown() override
    {
        InputFixture::TearDown();
        EXPECT_EQ(liveTooltipCount, 0) << "every tip node counted off";
    }

    CNodeBasement* make(const std::string& keys, float z = 0)
    {
        const std::string text = "raw://\n-Texture:?fill[c1,w64,h32]\n-Size: w2 h2\n" + keys + "\n";
        return addSprite(text.c_str(), 1, 1, vector3df(0, 0, z), nullptr, nullptr, SPRITE_SITE);
    }
    static CTooltipAnimator* tooltipOf(CNodeBasement* node)
    {
        for (irr::scene::ISceneNodeAnimator* a : node->getAnimators())
            if (auto* tooltip = dynamic_cast<CTooltipAnimator*>(a))
                return tooltip;
        return nullptr;
    }
    static CTextNode* tipOf(CTooltipAnimator* tooltip)
    {
        return dynamic_cast<CTextNode*>(CNodeBasement::fromSceneNode(getNodeById(tooltip->getTipId(), nullptr)));
    }
    int calls() { return int(SquirrelVM::GetRootTable().GetInt("calls")); }
    void away() { moveTo(irr::core::position2di(1, 1)); }
    irr::core::position2di screenPos(const vector3df& at)
    {
        return Engine.SceneManager->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(at);
    }
    void steps(int count, uint32_t ms)
    {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(step(ms));
    }
    // A frame, then the cursor on the window's centre for so many more.
    void hover(int count, uint32_t ms)
    {
        ASSERT_TRUE(step());
        moveTo(centre());
        steps(count, ms);
    }
};

TEST_F(Tooltips, DescriptionGivesTheText)
{
    struct Case {
        const char* Keys;
        const char* Text;   // null: no tooltip animator
    } cases[] = {
        {"-Event.Mouse.Over.Tooltip: ?Hello there", "Hello there"},
        {"-Event.Mouse.Over.Tooltip: ?Body\n-Event.Mouse.Over.Tooltip.Format: Head<br>line", "Head\nline\nBody"},
        {"-Event.Mouse.Over.Tooltip: TIP_UNKNOWN_KEY", "TIP_UNKNOWN_KEY"},   // no table: the key itself
        {"-Events.OnMouseMove: tooltip[?Short] tooltipDelay[250]", "Short"},
        {"-Events.OnMouseMove: actionTooltip[tipString]", "..."},
        {"-Event.Mouse.Over.Tooltip.Format: Head\n-Event.Mouse.Over.Tooltip.ByScript: tipString", nullptr},
    };
    for (const Case& c : cases) {
        CNodeBasement* node = make(c.Keys);
        ASSERT_NE(node, nullptr) << c.Keys;
        CTooltipAnimator* tooltip = tooltipOf(node);
        if (!c.Text) {
            EXPECT_EQ(tooltip, nullptr) << c.Keys;
            continue;
        }
        ASSERT_NE(tooltip, nullptr) << c.Keys;
        EXPECT_STREQ(tooltip->getText(), c.Text) << c.Keys;
        EXPECT_EQ(getInputState()->getClickables().size(), 1u) << "clickable, so that it can be hovered";
        deleteNode(node);
        ASSERT_TRUE(step());
        EXPECT_EQ(getInputState()->getClickables().size(), 0u);
    }
}

TEST_F(Tooltips, SerialsTakeDistinctTipIdsAndWrapAtOneHundred)
{
    CTooltipAnimator first("a", vector3df(0, 0, 0), nullptr);
    CTooltipAnimator second("b", vector3df(0, 0, 0), nullptr);
    EXPECT_EQ(second.getTipId(), first.getTipId() == 2100 ? 2001 : first.getTipId() + 1);
    for (int i = 0; i < 99; ++i)
        CTooltipAnimator("c", vector3df(0, 0, 0), nullptr).finish();
    CTooltipAnimator again("d", vector3df(0, 0, 0), nullptr);
    EXPECT_EQ(again.getTipId(), second.getTipId()) << "a hundred later";
    EXPECT_GE(again.getTipId(), 2001);
    EXPECT_LE(again.getTipId(), 2100);
}

TEST_F(Tooltips, AppearsAfterItsDelayAndFadesWhenTheCursorLeaves)
{
    CNodeBasement* node = make("-Name: tipped\n-Events.OnMouseMove: tooltip[?Hello] tooltipDelay[500]");
    CTooltipAnimator* tooltip = tooltipOf(node);
    ASSERT_NE(tooltip, nullptr);
    hover(4, 100);
    EXPECT_EQ(tipOf(tooltip), nullptr) << "still waiting";
    EXPECT_EQ(liveTooltipCount, 0);
    steps(2, 100);
    CTextNode* tip = tipOf(tooltip);
    ASSERT_NE(tip, nullptr);
    EXPECT_STREQ(tip->getText(), "Hello");
    EXPECT_EQ(tip->getLayer(), 7);
    EXPECT_EQ(tip->getParent(), node) << "the node is the text parent";
    EXPECT_EQ(liveTooltipCount, 1);
    steps(5, 100);
    EXPECT_EQ(tipOf(tooltip), tip) << "shown once while hovered";

    away();
    ASSERT_TRUE(step(30));
    ASSERT_EQ(tipOf(tooltip), tip) << "the only tooltip fades";
    EXPECT_NE(tip->findAnimatorByName(CTooltipAnimator::FaderName, false), nullptr);
    steps(12, 100);
    EXPECT_EQ(tipOf(tooltip), nullptr);
    EXPECT_EQ(liveTooltipCount, 0);

    moveTo(centre());
    steps(3, 100);
    EXPECT_EQ(tipOf(tooltip), nullptr) << "the delay starts again on coming back";
    steps(3, 100);
    EXPECT_NE(tipOf(tooltip), nullptr);
    away();
    steps(13, 100);
    EXPECT_EQ(liveTooltipCount, 0);

    moveTo(centre());
    steps(3, 100);
    away();
    ASSERT_TRUE(step(30));
    moveTo(centre());
    steps(3, 100);
    EXPECT_EQ(tipOf(tooltip), nullptr) << "leaving before the tip showed starts its delay again";
    steps(3, 100);
    EXPECT_NE(tipOf(tooltip), nullptr);
    away();
    steps(13, 100);
}

TEST_F(Tooltips, SecondTooltipDeletesTheFadingOneAtOnce)
{
    CNodeBasement* left = make("-Name: left\n-Event.Mouse.Over.Tooltip: ?Left");
    CNodeBasement* right = make("-Name: right\n-Event.Mouse.Over.Tooltip: ?Right", 1);
    right->setPosition(vector3df(4, 0, 1));
    right->updateAbsolutePosition();
    hover(2, 30);
    CTextNode* leftTip = tipOf(tooltipOf(left));
    ASSERT_NE(leftTip, nullptr);
    EXPECT_EQ(tipOf(tooltipOf(right)), nullptr) << "only the hovered node";

    moveTo(screenPos(vector3df(4, 0, 1)));
    ASSERT_EQ(*CInputState::getHoveredNodeId(), right->getID());
    steps(3, 30);
    ASSERT_NE(tipOf(tooltipOf(right)), nullptr);
    EXPECT_EQ(tipOf(tooltipOf(left)), nullptr) << "deleted at once while two lived, not faded";
    EXPECT_EQ(liveTooltipCount, 1);

    away();
    steps(15, 100);
    EXPECT_EQ(liveTooltipCount, 0);
    EXPECT_EQ(tipOf(tooltipOf(right)), nullptr);
}

TEST_F(Tooltips, ScriptGivesTheTextOrRemovesTheTooltip)
{
    CNodeBasement* node = make("-Name: scripted\n-Events.OnMouseMove: actionTooltip[tipString]");
    CTooltipAnimator* tooltip = tooltipOf(node);
    hover(3, 30);
    ASSERT_NE(tipOf(tooltip), nullptr);
    EXPECT_STREQ(tipOf(tooltip)->getText(), "from script 2") << "the hovered node's table reaches the script";
    EXPECT_EQ(calls(), 1);
    away();
    steps(15, 100);

    CNodeBasement* quiet = make("-Name: quiet\n-Event.Mouse.Over.Tooltip: ?x\n"
                                "-Event.Mouse.Over.Tooltip.ByScript: tipNull", -1);
    hover(5, 30);
    EXPECT_EQ(tipOf(tooltipOf(quiet)), nullptr);
    EXPECT_EQ(calls(), 2) << "not run again while the cursor stays";
    EXPECT_EQ(liveTooltipCount, 0);
}

TEST_F(Tooltips, ScriptTableRefreshesAndKeepsAnUnchangedText)
{
    CNodeBasement* node = make("-Name: table\n-Events.OnMouseMove: actionTooltip[tipTable]");
    CTooltipAnimator* tooltip = tooltipOf(node);
    hover(2, 30);
    CTextNode* tip = tipOf(tooltip);
    ASSERT_NE(tip, nullptr);
    EXPECT_STREQ(tip->getText(), "first");
    EXPECT_FLOAT_EQ(tip->getPosition().X, 1.5f);
    EXPECT_FLOAT_EQ(tip->getPosition().Y, -2.0f);
    const int before = calls();

    steps(11, 100);
    EXPECT_EQ(calls(), before + 1) << "run again after a second";
    EXPECT_EQ(tipOf(tooltip), tip) << "same text: the node is left alone";
    EXPECT_EQ(liveTooltipCount, 1);

    script("tipText <- \"second\";");
    steps(11, 100);
    EXPECT_EQ(calls(), before + 2);
    EXPECT_EQ(tipOf(tooltip), tip) << "a refresh changes the text in place";
    EXPECT_STREQ(tip->getText(), "second");
    EXPECT_EQ(liveTooltipCount, 1);

    away();
    steps(15, 100);
    EXPECT_EQ(calls(), before + 2) << "no refresh once the cursor left";
    EXPECT_EQ(tipOf(tooltip), nullptr);
}

TEST_F(Tooltips, ScriptTablePlacesTheTipUnderAnotherParentWithAnAnimation)
{
    CNodeBasement* holder = addNode(getIdByName("holder"), vector3df(0, 5, 0), 1, 1);
    script("function tipElsewhere(t) { return {_text = \"there\", _parent = \"holder\", _z = -1,"
           " _animation = \"raw://\\n-Texture:?fill[c9,w4,h4]\\n-Size: w1 h1\\n\"}; }");
    CNodeBasement* node = make("-Name: elsewhere\n-Events.OnMouseMove: actionTooltip[tipElsewhere]");
    CTooltipAnimator* tooltip = tooltipOf(node);
    hover(2, 30);
    CTextNode* tip = tipOf(tooltip);
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(tip->getParent(), holder);
    EXPECT_FLOAT_EQ(tip->getPosition().Z, -1.0f);
    EXPECT_EQ(tip->getChildren().size(), 1u) << "the animation sprite";

    const irr::s32 tipId = tooltip->getTipId();
    deleteNode(node);   // the tip lives under another node: it stays
    steps(2, 30);
    EXPECT_EQ(getNodeById(tipId, nullptr), tip);
    EXPECT_EQ(liveTooltipCount, 1);
    deleteNode(tip);
    ASSERT_TRUE(step());
    EXPECT_EQ(liveTooltipCount, 0);
}

TEST_F(Tooltips, DestroyAnimationReplacesTheFader)
{
    CNodeBasement* node = make("-Name: animated\n-Event.Mouse.Over.Tooltip: ?Bye");
    CTooltipAnimator* tooltip = tooltipOf(node);
    hover(2, 30);
    CTextNode* tip = tipOf(tooltip);
    ASSERT_NE(tip, nullptr);
    tip->setAttributeString("__OnDestroyAnimation", "raw://\n-Texture:?fill[c9,w4,h4]\n-Size: w1 h1\n");
    away();
    steps(2, 30);
    ASSERT_EQ(tipOf(tooltip), tip) << "its animation takes it away";
    EXPECT_EQ(tip->findAnimatorByName(CTooltipAnimator::FaderName, false), nullptr);
    EXPECT_EQ(tip->getChildren().size(), 1u) << "the destroy animation plays";
    deleteNode(tip);
    ASSERT_TRUE(step());
    EXPECT_EQ(liveTooltipCount, 0);
}

TEST_F(Tooltips, ModalLayerHidesTheTooltipOfANodeBelowIt)
{
    CNodeBasement* node = make("-Name: below\n-Event.Mouse.Over.Tooltip: ?Below", 1);
    CNodeBasement* dialog = addNode(getIdByName("dlg"), vector3df(0, 0, 5), 0.1f, 0.1f);
    attachAnimatorStopped(dialog, new CModalAnimator);
    hover(5, 30);
    EXPECT_EQ(*CInputState::getHoveredNodeId(), node->getID());
    EXPECT_EQ(tipOf(tooltipOf(node)), nullptr) << "outside the modal layer";
}

} // namespace
