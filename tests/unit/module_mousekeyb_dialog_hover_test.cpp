// Hover and clicks on the nodes that lay under a modal dialog, once the dialog
// has gone: nothing of it may stay in the way of the picking or the hover.
#include "module_dialogfactory.h"

#include "input_fixture.h"
#include "module_mousekeyb.h"
#include "module_mousekeyb_animators.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "temp_folder.h"

#include <ISceneCollisionManager.h>
#include <ISceneManager.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using irr::core::vector3df;
using Log = std::vector<std::string>;

// A panel over the middle of the screen and a close button low on it, as the
// sample's About box has them.
const char* const AboutDialog = "-DialogName: about\n"
                                "-ModalDialog: 1\n"
                                "-Event.Keyboard.Esc.Pressed: closeAbout()\n"
                                "[Sprite]\n"
                                "-Name: about_panel\n"
                                "-Texture:\\gui\\empty.png\n-Size: w20 h16\n-Position: x0 y0 z-1\n"
                                "[Sprite]\n"
                                "-Name: about_close\n"
                                "-Texture:\\gui\\empty.png\n-Size: w8 h2\n-Position: x0 y-5 z-1.1\n"
                                "-Event.Mouse.Over.Image: \\gui\\empty.png\n"
                                "-Event.Mouse.Over.In.Script: hin(\"close\")\n"
                                "-Event.Mouse.Over.Out.Script: hout(\"close\")\n"
                                "-Event.Mouse.Click.Action: closeAbout()\n";

class DialogHover : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        script("function hin(n) { ::log.append(\"in \" + n); }"
               "function hout(n) { ::log.append(\"out \" + n); }"
               "function pressed(t) { ::log.append(\"click \" + t._id); if (::opening) core_OpenDialog(\"about\"); }"
               "opening <- false;"
               "function closeAbout() { ::log.append(\"close\"); core_CloseDialog(\"about\", 300); }");
        Files.write("about.dlg", AboutDialog);
        CDialogFactory::registerDialogDescription(Files.file("about.dlg").c_str());
    }

    // A menu button: over image, in and out scripts and a click action.
    CNodeBasement* button(const char* name, float y)
    {
        const std::string text = "raw://\n-Texture:\\gui\\empty.png\n-Size: w12 h3\n-Position: x0 y" +
                                 std::to_string(y) + "\n-Name: " + name +
                                 "\n-Event.Mouse.Over.Image: \\gui\\empty.png\n"
                                 "-Event.Mouse.Over.In.Script: hin(\"" + name + "\")\n"
                                 "-Event.Mouse.Over.Out.Script: hout(\"" + name + "\")\n"
                                 "-Event.Mouse.Click.Action: pressed\n";
        return addSprite(text.c_str(), 1, 1, vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
    }
    irr::core::position2di screenOf(irr::scene::ISceneNode* node)
    {
        node->updateAbsolutePosition();
        return Engine.SceneManager->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(
            node->getAbsolutePosition());
    }
    void frames(int count, uint32_t ms = 50)
    {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(step(ms));
    }
    void clickHere()
    {
        mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
        ASSERT_TRUE(step());
        mouse(irr::EMIE_LMOUSE_LEFT_UP);
        ASSERT_TRUE(step());
    }
    irr::scene::ISceneNode* openAbout()
    {
        return CDialogFactory::createDialog(CDialogFactory::getDialogDescription("about"), vector3df(0, 0, 0),
                                            nullptr);
    }

    CTempFolder Files;

};

TEST_F(DialogHover, ButtonsUnderAClosedDialogAreHoveredAndClickedAgain)
{
    // Closed by a script or by the dialog's own button, whose hover is on then.
    for (bool byButton : {false, true}) {
        SCOPED_TRACE(byButton ? "closed by its button" : "closed by a script");
        CNodeBasement* under = button("under", 0);
        CNodeBasement* outside = button("outside", 12);
        frames(6);
        const irr::core::position2di underPos = screenOf(under);
        const irr::core::position2di outsidePos = screenOf(outside);
        moveTo(underPos);
        ASSERT_TRUE(step());
        EXPECT_EQ(scriptLog(), Log({"in under"}));
        script("log.clear();");

        // Opened by a click on the button, as the sample's About button does:
        // the button under the new modal layer loses its hover though the
        // cursor stays on it.
        frames(6);
        script("opening = true;");
        clickHere();
        script("opening = false;");
        ASSERT_NE(getNodeByName("about_close"), nullptr);
        frames(2);
        auto* hover = dynamic_cast<COnMouseOverAnimator*>(
            under->findAnimatorByName(COnMouseOverAnimator::UniqueName, false));
        ASSERT_NE(hover, nullptr);
        EXPECT_FALSE(hover->isHovering());
        EXPECT_EQ(scriptLog(), Log({"click " + std::to_string(under->getID()), "out under"}));
        script("log.clear();");
        frames(4);
        irr::scene::ISceneNode* close = getNodeByName("about_close");
        ASSERT_NE(close, nullptr);
        moveTo(screenOf(close));
        frames(2);
        EXPECT_EQ(scriptLog(), Log({"in close"}));
        if (byButton)
            clickHere();
        else
            script("closeAbout();");
        ASSERT_TRUE(step());
        ASSERT_NE(getNodeById(getIdByName("about"), nullptr), nullptr) << "still fading";
        EXPECT_EQ(getInputState()->getTopModal(false), 1);
        // Onto the button while the fading dialog still holds the input; the
        // cursor then stays there.
        moveTo(underPos);
        frames(2);
        EXPECT_FALSE(hover->isHovering());
        frames(10);   // the rest of the fade and the removal
        EXPECT_EQ(getNodeByName("about_close"), nullptr);
        EXPECT_EQ(getInputState()->getTopModal(false), 0);
        EXPECT_EQ(*CInputState::getHoveredNodeId(), under->getID());
        EXPECT_TRUE(hover->isHovering());
        const Log log = scriptLog();
        EXPECT_NE(std::find(log.begin(), log.end(), "close"), log.end());
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "in under");
        script("log.clear();");

        // Off everything and back over it.
        moveTo(irr::core::position2di(1, 1));
        frames(2);
        moveTo(underPos);
        frames(2);
        EXPECT_EQ(scriptLog(), Log({"out under", "in under"}));
        script("log.clear();");
        frames(6);
        clickHere();
        EXPECT_EQ(scriptLog(), Log({"click " + std::to_string(under->getID())}));
        script("log.clear();");

        moveTo(outsidePos);
        frames(2);
        EXPECT_EQ(scriptLog(), Log({"out under", "in outside"}));
        script("log.clear();");
        // Straight back onto the button made first: the hover left still ends first.
        moveTo(underPos);
        frames(2);
        EXPECT_EQ(scriptLog(), Log({"out outside", "in under"}));
        script("log.clear();");
        deleteNode(under);
        deleteNode(outside);
        moveTo(irr::core::position2di(1, 1));
        frames(2);
        script("log.clear();");
    }
}

} // namespace
