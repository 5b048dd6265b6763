// Dialogs opened and closed by scripts, end to end on the steppable loop:
// nested modal layers, the hooks' key tables, Esc, closing with a fade, the
// music stack, the open sound and the pause overlay of a pausing dialog.
#include "module_dialogfactory.h"

#include "input_fixture.h"
#include "module_mousekeyb.h"
#include "module_mousekeyb_animators.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "server_sound_bass.h"
#include "temp_folder.h"

#include <ISceneCollisionManager.h>
#include <ISceneManager.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <string>
#include <vector>

namespace {

using irr::core::vector3df;
using Log = std::vector<std::string>;

// A modal dialog with one button at the given x; its click and hover go to
// the script arrays "clicks" and "hovers".
std::string modalDialog(const std::string& name, int x)
{
    return "-DialogName: " + name + "\n-ModalDialog: 1\n[Sprite]\n-Name: " + name +
           "_button\n-Texture:\\gui\\empty.png\n-Size: w4 h4\n-Position: x" + std::to_string(x) +
           " y0 z-1\n-Event.Mouse.Click.Action: ::clicks.append(\"" + name +
           "\");\n-Event.Mouse.Over.In.Script: ::hovers.append(\"" + name + "\");\n";
}

class DialogRoad : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        script("clicks <- []; hovers <- [];");
    }

    void describe(const std::string& name, const std::string& text)
    {
        Files.write(name + ".dlg", text);
        CDialogFactory::registerDialogDescription(Files.file(name + ".dlg").c_str());
    }
    void open(const std::string& name) { script(("core_OpenDialog(\"" + name + "\");").c_str()); }
    void close(const std::string& name, int fadeMs = 0)
    {
        script(("core_CloseDialog(\"" + name + "\", " + std::to_string(fadeMs) + ");").c_str());
    }
    Log readArray(const char* name)
    {
        SquirrelObject array = SquirrelVM::GetRootTable().GetValue(name);
        Log out;
        for (SQInteger i = 0;; ++i) {
            SquirrelObject item = array.GetValue(i);
            if (item.IsNull())
                break;
            out.push_back(item.ToString());
        }
        return out;
    }
    irr::core::position2di screenOf(irr::scene::ISceneNode* node)
    {
        node->updateAbsolutePosition();
        return Engine.SceneManager->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(
            node->getAbsolutePosition());
    }
    void clickAt(const irr::core::position2di& pos)
    {
        moveTo(pos);
        ASSERT_TRUE(step());
        mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
        ASSERT_TRUE(step());
        mouse(irr::EMIE_LMOUSE_LEFT_UP);
        ASSERT_TRUE(step());
    }
    void frames(int count, uint32_t ms)
    {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(step(ms));
    }

    CTempFolder Files;
};

TEST_F(DialogRoad, NestedModalDialogsTakeTheInputOverAndGiveItBack)
{
    describe("lower", modalDialog("lower", -6));
    describe("upper", modalDialog("upper", 6));
    CNodeBasement* outside =
        addSprite("raw://\n-Texture:\\gui\\empty.png\n-Size: w4 h4\n-Position: x0 y8\n"
                  "-Event.Mouse.Click.Action: ::clicks.append(\"outside\");\n"
                  "-Event.Mouse.Over.In.Script: ::hovers.append(\"outside\");\n",
                  1, 1, vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
    ASSERT_NE(outside, nullptr);
    const irr::core::position2di outsidePos = screenOf(outside);
    irr::core::position2di lowerPos, upperPos;

    struct Stage {
        const char* what;
        Log clicks;   // after clicking outside, lower's and upper's buttons in that order
        Log hovers;
    } stages[] = {
        {"open lower", {"lower"}, {"lower"}},
        {"open upper", {"upper"}, {"upper"}},
        {"close upper", {"lower"}, {"lower"}},
        {"close lower", {"outside"}, {"outside"}},
    };
    for (const Stage& s : stages) {
        SCOPED_TRACE(s.what);
        const std::string what = s.what;
        const std::string name = what.substr(what.find(' ') + 1);
        if (what.rfind("open", 0) == 0)
            open(name);
        else
            close(name);
        frames(6, 50);   // removals done
        if (irr::scene::ISceneNode* button = getNodeByName("lower_button"))
            lowerPos = screenOf(button);
        if (irr::scene::ISceneNode* button = getNodeByName("upper_button"))
            upperPos = screenOf(button);
        script("clicks.clear(); hovers.clear();");
        moveTo(irr::core::position2di(1, 1));
        ASSERT_TRUE(step());
        for (const irr::core::position2di& pos : {outsidePos, lowerPos, upperPos})
            clickAt(pos);
        EXPECT_EQ(readArray("clicks"), s.clicks);
        EXPECT_EQ(readArray("hovers"), s.hovers) << "hovers follow the same modality";
    }
}

TEST_F(DialogRoad, HooksGetKeysModifiersAndButtonsAndEscGoesToTheTopDialog)
{
    script("function show(t) { return t._key + \" \" + t._shift + \" \" + t._control + \" \" + t._pressed + \" \""
           " + t._lmb + \" \" + t._rmb; }"
           "function onKey(t) { ::clicks.append(\"key \" + show(t)); }"
           "function onMouse(t) { ::clicks.append(\"mouse \" + show(t)); }"
           "function onMove(t) { ::clicks.append(\"move \" + show(t)); }");
    describe("below", "-DialogName: below\n-Event.Keyboard.Esc.Pressed: ::clicks.append(\"esc below\");\n");
    describe("hooks", "-DialogName: hooks\n-Event.Keyboard.Esc.Pressed: ::clicks.append(\"esc hooks\");\n"
                      "-Event.OnKey.Action: onKey\n-Event.OnMouseClick.Action: onMouse\n"
                      "-Event.OnMouseMove.Action: onMove\n");
    open("below");
    open("hooks");
    struct Event {
        const char* what;
        const char* logged;
    } events[] = {
        {"A down with Control", "key 65 false true true 0 0"},
        {"A up with Shift", "key 65 true false false 0 0"},
        {"left down", "mouse 1 true false true 1 0"},
        {"left up", "mouse 1 true false false 0 0"},
        {"right down", "mouse 2 true false true 0 1"},
        {"move", "move 252 true false false 0 1"},
        {"right up", "mouse 2 true false false 0 0"},
        {"Esc down", "key 27 false false true 0 0"},
    };
    for (const Event& e : events) {
        SCOPED_TRACE(e.what);
        script("clicks.clear();");
        const std::string what = e.what;
        if (what == "A down with Control")
            key(irr::KEY_KEY_A, true, false, true);
        else if (what == "A up with Shift")
            key(irr::KEY_KEY_A, false, true, false);
        else if (what == "left down")
            mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
        else if (what == "left up")
            mouse(irr::EMIE_LMOUSE_LEFT_UP);
        else if (what == "right down")
            mouse(irr::EMIE_RMOUSE_PRESSED_DOWN);
        else if (what == "move")
            moveTo(centre() + irr::core::position2di(3, 3));
        else if (what == "right up")
            mouse(irr::EMIE_RMOUSE_LEFT_UP);
        else
            EXPECT_TRUE(key(irr::KEY_ESCAPE, true)) << "Esc is consumed";
        ASSERT_TRUE(step());
        Log expected = {e.logged};
        if (what == "Esc down")
            expected.push_back("esc hooks");
        EXPECT_EQ(readArray("clicks"), expected);
    }

    close("hooks");
    ASSERT_TRUE(step());
    script("clicks.clear();");
    key(irr::KEY_ESCAPE, true);
    key(irr::KEY_KEY_A, true);
    ASSERT_TRUE(step());
    EXPECT_EQ(readArray("clicks"), Log({"esc below"})) << "the hooks went with their dialog";
}

TEST_F(DialogRoad, CloseWithAFadeFadesOverNinetyPercentOfItsTime)
{
    describe("panel", "-DialogName: panel\n[Sprite]\n-Texture:\\gui\\empty.png\n-Size: w4 h4\n");
    open("panel");
    Engine.FramePeriodMs = 0;   // only the steps below move the clock
    ASSERT_TRUE(step());
    irr::scene::ISceneNode* found = getNodeById(getIdByName("panel"), nullptr);
    ASSERT_NE(found, nullptr);
    CNodeBasement* node = CNodeBasement::fromSceneNode(found);
    close("panel", 1000);
    EXPECT_FALSE(Engine.isDialogOpen("panel")) << "off the dialog stack at once";
    struct Probe {
        uint32_t advance;   // ms since the previous probe
        float alpha;        // expected, within 0.06
    } probes[] = {{0, 1.0f}, {80, 1.0f}, {370, 0.61f}, {300, 0.28f}, {100, 0.17f}};
    uint32_t elapsed = 0;
    for (const Probe& p : probes) {
        elapsed += p.advance;
        ASSERT_TRUE(step(p.advance));
        SCOPED_TRACE(elapsed);
        ASSERT_NE(getNodeById(getIdByName("panel"), nullptr), nullptr) << "still fading";
        EXPECT_NEAR(node->getInheritedAlpha(), p.alpha, 0.06f);
    }
    ASSERT_TRUE(step(100));
    ASSERT_TRUE(step(16));
    EXPECT_EQ(getNodeById(getIdByName("panel"), nullptr), nullptr) << "gone after 1000 ms";
}

TEST_F(DialogRoad, BackgroundMusicFollowsTheStackOfOpenDialogs)
{
    Engine.getSoundServer()->init(1);
    ASSERT_TRUE(Engine.getSoundServer()->isAvailable());
    Engine.getSoundServer()->getEffectsVolume() = 1.0f;
    describe("a", "-DialogName: a\n-BackgroundMusic: theme_a.ogg\n-OpenSound: door\n");
    describe("b", "-DialogName: b\n-BackgroundMusic: theme_b.ogg\n");
    describe("quiet", "-DialogName: quiet\n");
    auto music = [&]() {
        const std::string name = (const char*)Engine.getSoundServer()->getMusicName();
        if (name.find("theme_a") != std::string::npos)
            return std::string("a");
        return name.find("theme_b") != std::string::npos ? std::string("b") : name;
    };
    struct Stage {
        const char* what;
        std::string music;
    } stages[] = {
        {"open a", "a"}, {"open b", "b"}, {"open quiet", "b"}, {"close b", "a"},
        {"open b", "b"}, {"close a", "b"}, {"close b", ""},
    };
    for (const Stage& s : stages) {
        SCOPED_TRACE(s.what);
        const std::string what = s.what;
        const std::string name = what.substr(what.find(' ') + 1);
        if (what.rfind("open", 0) == 0)
            open(name);
        else
            close(name);
        ASSERT_TRUE(step());   // a closed dialog's node goes at the end of the frame
        EXPECT_EQ(music(), s.music);
    }
    EXPECT_EQ(CDialogFactory::musicStack().GetSize(), 0);

    // "-OpenSound:" plays once per opening.
    auto doorsPlaying = [&]() {
        int count = 0;
        for (uint32_t handle : SoundLibrary.playing()) {
            const SFakeChannel* channel = SoundLibrary.channel(handle);
            auto sample = SoundLibrary.Samples.find(channel->Sample);
            count += sample != SoundLibrary.Samples.end() && sample->second.find("door") != std::string::npos;
        }
        return count;
    };
    const int before = doorsPlaying();
    EXPECT_EQ(before, 1) << "from the first opening of a";
    open("a");
    ASSERT_TRUE(step());
    ASSERT_TRUE(step());
    EXPECT_EQ(doorsPlaying(), before + 1);
}

TEST_F(DialogRoad, ReopeningReplacesAndCloseOtherDialogsClosesTheNamedOnes)
{
    for (const char* name : {"a", "b", "c"})
        describe(name, std::string("-DialogName: ") + name + "\n-Event.Keyboard.Esc.Pressed: ::clicks.append(\"" +
                           name + "\");\n[Sprite]\n-Texture:\\gui\\empty.png\n-Size: w4 h4\n");
    struct Case {
        const char* closeOthers;
        std::vector<std::string> open;   // after "opener" opened over a, b and c
    } cases[] = {
        {"", {"a", "b", "c", "opener"}},
        {"a|c", {"b", "opener"}},
        {"b, c", {"a", "opener"}},
        {"-1", {"opener"}},
    };
    int file = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.closeOthers);
        // A file of its own each time: read texts are cached.
        const std::string opener = "opener" + std::to_string(++file) + ".dlg";
        Files.write(opener, std::string("-DialogName: opener\n-CloseOtherDialogs: ") + c.closeOthers + "\n");
        CDialogFactory::registerDialogDescription(Files.file(opener).c_str());
        for (const char* name : {"a", "b", "c"}) {
            open(name);
            open(name);   // again: replaces the one just opened
            ASSERT_TRUE(step());
        }
        ASSERT_EQ(Engine.Dialogs.size(), 3u);
        EXPECT_EQ(CDialogFactory::escActionStack().GetSize(), 3) << "each dialog's Esc once";
        for (const char* name : {"a", "b", "c"})
            EXPECT_NE(getNodeByName(name), nullptr) << name << ": the new node keeps the name's ID";
        open("opener");
        ASSERT_TRUE(step());
        std::vector<std::string> names;
        for (CDialogInfo* dialog : Engine.Dialogs)
            names.push_back((const char*)dialog->name);
        EXPECT_EQ(names, c.open);
        for (const std::string& name : c.open)
            EXPECT_NE(getNodeByName(name.c_str()), nullptr) << name;
        script("clicks.clear();");
        key(irr::KEY_ESCAPE, true);
        ASSERT_TRUE(step());
        const std::string top = c.open.size() > 1 ? c.open[c.open.size() - 2] : "";
        EXPECT_EQ(readArray("clicks"), top.empty() ? Log() : Log({top})) << "the opener has no Esc action";
        Engine.closeDialogs("-1");
        ASSERT_TRUE(step());
        ASSERT_TRUE(Engine.Dialogs.empty());
    }
}

TEST_F(DialogRoad, PausingDialogShowsTheOverlayAndUnpausingReportsThirtyUntilItIsGone)
{
    describe("paused", "-DialogName: paused\n-Pause: 60\n");
    CNodeBasement* button = addSprite("raw://\n-Texture:\\gui\\empty.png\n-Size: w4 h4\n-Position: z-6\n"
                                      "-Event.Mouse.Click.Action: ::clicks.append(\"button\");\n",
                                      1, 1, vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
    ASSERT_NE(button, nullptr);
    frames(6, 50);
    open("paused");
    EXPECT_EQ(Engine.getPauseLevel(), 60);
    EXPECT_NE(getNodeByName("pause_fader"), nullptr) << "the pause overlay";
    clickAt(screenOf(button));
    EXPECT_TRUE(readArray("clicks").empty()) << "paused";

    close("paused");
    ASSERT_TRUE(step());   // the dialog's node goes, and its pause with it
    EXPECT_EQ(Engine.PauseLevel, 0);
    EXPECT_EQ(Engine.getPauseLevel(), 30) << "the overlay fades out";
    clickAt(screenOf(button));
    EXPECT_TRUE(readArray("clicks").empty()) << "no clicks while the overlay fades";
    frames(12, 100);
    EXPECT_EQ(getNodeByName("pause_fader"), nullptr);
    EXPECT_EQ(Engine.getPauseLevel(), 0);
    clickAt(screenOf(button));
    // The press's broadcast takes the release refused during the pause, the
    // release's broadcast the new one.
    EXPECT_EQ(readArray("clicks"), Log({"button", "button"}));
}

TEST_F(DialogRoad, DialogReopenedWhileFadingOutStaysOpen)
{
    describe("menu", modalDialog("menu", 0));
    open("menu");
    frames(6, 50);
    close("menu", 1000);
    ASSERT_TRUE(step(300));
    open("menu");
    frames(30, 50);   // well past the old one's fade
    EXPECT_TRUE(Engine.isDialogOpen("menu"));
    ASSERT_NE(getNodeByName("menu"), nullptr);
    EXPECT_FLOAT_EQ(CNodeBasement::fromSceneNode(getNodeByName("menu"))->getInheritedAlpha(), 1.0f);
    ASSERT_EQ(getInputState()->getModalityStack().size(), 1u) << "one modal layer, the new one";
    EXPECT_EQ(getInputState()->getModalityStack()[0].node, getNodeByName("menu"));
    irr::scene::ISceneNode* button = getNodeByName("menu_button");
    ASSERT_NE(button, nullptr);
    clickAt(screenOf(button));
    EXPECT_EQ(readArray("clicks"), Log({"menu"}));
    EXPECT_TRUE(Engine.closeDialog("menu", 0));
    ASSERT_TRUE(step());
    EXPECT_EQ(getInputState()->getModalityStack().size(), 0u);
}

TEST_F(DialogRoad, DescriptionKeysBuildBackgroundAnimationsAndNothingForZeroes)
{
    // A picture beside the description, named relative to it.
    std::filesystem::copy_file(Program.Folder.path() + "data/gui/black.png", Files.file("backdrop.png"));
    describe("shown", "-DialogName: shown\n-BackgroundImage: backdrop.png\n-ModalDialog: 0\n-Pause: 0\n"
                      "-Animation.OnCreate:[A[raw://\n-Name: hello\n-Texture:\\gui\\empty.png\n]A]\n"
                      "-Animation.OnDestroy:[B[raw://\n-Name: bye\n-Texture:\\gui\\empty.png\n]B]\n");
    open("shown");
    irr::scene::ISceneNode* dialog = getNodeByName("shown");
    ASSERT_NE(dialog, nullptr);
    irr::scene::ISceneNode* hello = getNodeByName("hello");
    ASSERT_NE(hello, nullptr) << "the create animation";
    EXPECT_EQ(hello->getParent(), dialog);
    EXPECT_EQ(getNodeByName("bye"), nullptr) << "not before the dialog goes";
    auto* backdrop = dynamic_cast<CSpriteNode*>(getNodeById(Engine.BackgroundId, nullptr));
    ASSERT_NE(backdrop, nullptr);
    EXPECT_EQ(std::string(backdrop->getTextureRegion().Name).find(Files.path()), 0u) << "beside the description";
    EXPECT_EQ(getInputState()->getModalityStack().size(), 0u) << "\"-ModalDialog: 0\" is no modal layer";
    EXPECT_EQ(Engine.getPauseLevel(), 0) << "\"-Pause: 0\" pauses nothing";

    close("shown");
    ASSERT_TRUE(step());
    EXPECT_FALSE(Engine.isDialogOpen("shown"));
    irr::scene::ISceneNode* bye = getNodeByName("bye");
    ASSERT_NE(bye, nullptr) << "the destroy animation";
    EXPECT_EQ(bye->getParent(), dialog) << "played by the going node, which its description must remove";
    EXPECT_EQ(getNodeById(Engine.BackgroundId, nullptr), backdrop) << "the background outlives the dialog";
}

} // namespace
