// Alpha pulse, sound loop, texture scroller, sprite generator and script
// method animators made by sprite creation from description text, stepped at
// fixed device times on the null driver.
#include "aeffectsanimators.h"

#include "animator_rows_fixture.h"
#include "fake_sound_library.h"
#include "module_enginebase_queue.h"
#include "module_scripting.h"
#include "server_sound_bass.h"
#include "temp_folder.h"
#include "utils_math_misc.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

using namespace irr;

namespace {

class EffectAnimators : public AnimatorRows {
protected:
    void TearDown() override
    {
        Engine.getSoundServer()->close();   // before the fake library goes
        AnimatorRows::TearDown();
    }
    void startSound()
    {
        Engine.getSoundServer()->init(1);
        ASSERT_TRUE(Engine.getSoundServer()->isAvailable());
        Engine.getSoundServer()->getEffectsVolume() = 1.0f;
    }
    std::string dotSpr()
    {
        Folder.write("dot.spr", "-Texture:?fill[c1,w4,h4]\n-Size: w1 h1\n");
        return Folder.file("dot.spr");
    }
    void runScript(const char* code) { ASSERT_FALSE(Engine.getScripts()->compileCode(code, true, false).IsNull()); }

    CFakeSoundLibrary SoundLibrary;
    CTempFolder Folder;
};

TEST_F(EffectAnimators, PulseStartsLowAndSwingsOverTwoHalfPeriods)
{
    CSpriteNode* own = make("-Animation.AlphaPulsar: t1000 a1 l0");
    CSpriteNode* subtree = make("-Animation.AlphaPulsar: t1000 a0.8 l0.2 p0 f1");
    CProbeNode* child = addNode("child", subtree);
    EXPECT_EQ(own->getAlphaThreshold(), 0) << "even the lowest values are drawn";
    struct Step { u32 at; f32 own, subtree; };
    for (const Step& s : {Step{1000, 0, 0.8f}, Step{1500, 0.5f, 0.5f}, Step{2000, 1, 0.2f}, Step{3000, 0, 0.8f}}) {
        frame(s.at);
        EXPECT_NEAR(own->getAlpha(), s.own, 1e-4f) << s.at;
        EXPECT_NEAR(child->getInheritedAlpha(), s.subtree, 1e-4f) << s.at;
    }
    EXPECT_FLOAT_EQ(own->getInheritedAlpha(), 1.0f) << "mode 0 leaves the inherited alpha";
}

TEST_F(EffectAnimators, PulseChangeIsLimitedPerUpdate)
{
    CSpriteNode* node = make("-Animation.AlphaPulsar: t1000 a1 l0 r0.01");
    f32 last = node->getAlpha();
    for (u32 t = 1025; t <= 1250; t += 25) {
        frame(t);
        EXPECT_LE(std::fabs(node->getAlpha() - last), 0.01f + 1e-6f) << t;
        last = node->getAlpha();
    }
    EXPECT_NEAR(node->getAlpha(), 0.9f, 1e-4f) << "ten updates down from 1";
}

TEST_F(EffectAnimators, ScrollerShiftsPerHundredMsWhateverTheUpdate)
{
    CSpriteNode* node = make("-Animation.TextureScroller: x0.1 y-0.05");
    const core::vector2df start = node->getVertices()[2].TCoords;
    frame(1030);   // the first step has no elapsed time
    frame(1280);
    for (u32 t = 1305; t <= 1530; t += 25)
        frame(t);
    const core::vector2df now = node->getVertices()[2].TCoords;
    EXPECT_NEAR(now.X - start.X, 0.5f, 1e-4f);
    EXPECT_NEAR(now.Y - start.Y, -0.25f, 1e-4f);
    EXPECT_EQ(animatorCount(make("-Animation.TextureScroller: x0.0005")), 0u) << "too slow to make one";
}

TEST_F(EffectAnimators, SoundLoopLivesWithTheNode)
{
    startSound();
    CEngineMessageQueue* queue = Engine.getMessageQueue();
    CSpriteNode* node = make("-Events: sound[hum]");
    SEngineMessage* loop = queue->findMessage(SM_PLAY_LOOP);
    ASSERT_NE(loop, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(loop->arg1), "hum");
    ASSERT_EQ(animatorCount(node), 1u);
    CBaseAnimator* animator = static_cast<CBaseAnimator*>(*node->getAnimators().begin());
    EXPECT_EQ(animator->getDiscretion(), CBaseAnimator::PassiveDiscretion);
    EXPECT_EQ(queue->findMessage(SM_STOP_LOOP), nullptr);
    deleteNode(node);
    frame(1100);
    EXPECT_NE(queue->findMessage(SM_STOP_LOOP), nullptr) << "stopped when the node goes";

    SSpriteCreateInfo quiet{};
    quiet.noSounds = 1;
    CSpriteNode* silent = make("-Events: sound[buzz]", nullptr, {0, 0, 0}, &quiet);
    EXPECT_EQ(animatorCount(silent), 0u);
}

TEST_F(EffectAnimators, GeneratorSpawnsBesideOrInside)
{
    // every component is written out: one left out is looked for in the temporary path too
    const std::string dot = dotSpr();
    CSpriteNode* beside = make("-Animation.Generator: t100 r0 c0 o0 @" + dot, nullptr, {5, 6, 0});
    CSpriteNode* inside = make("-Animation.Generator: t100 r0 c1 o0 @" + dot, nullptr, {7, 8, 0});
    const size_t rootChildren = Root->getChildren().size();
    frame(1030);   // schedules the first spawn at 1130
    frame(1130);
    EXPECT_EQ(Root->getChildren().size(), rootChildren);
    frame(1160);
    ASSERT_EQ(Root->getChildren().size(), rootChildren + 1);
    scene::ISceneNode* sibling = *Root->getChildren().getLast();
    EXPECT_EQ(sibling->getPosition(), core::vector3df(5, 6, 0));
    ASSERT_EQ(inside->getChildren().size(), 1u);
    EXPECT_EQ((*inside->getChildren().begin())->getPosition(), core::vector3df(0, 0, 0));
    frame(1190);   // schedules the next at 1290
    frame(1300);
    EXPECT_EQ(inside->getChildren().size(), 2u);
    EXPECT_EQ(beside->getChildren().size(), 0u);
}

TEST_F(EffectAnimators, TrailGeneratorWaitsForMovementAndFacesIt)
{
    const std::string dot = dotSpr();
    CSpriteNode* trail = make("-Animation.Generator: t100 r0 c1 o1 a0 @" + dot);
    for (u32 t = 1030; t <= 1500; t += 30)
        frame(t);
    EXPECT_EQ(trail->getChildren().size(), 0u) << "a node that stands still spawns nothing";
    trail->setPosition(core::vector3df(0, 1, 0));
    frame(1530);
    ASSERT_EQ(trail->getChildren().size(), 1u);
    CSpriteNode* spawned = dynamic_cast<CSpriteNode*>(*trail->getChildren().begin());
    ASSERT_NE(spawned, nullptr);
    EXPECT_NEAR(spawned->getAngle(), DirectionToRotation(core::vector3df(0, 1, 0), 0), 1e-4f);

    CSpriteNode* empty = make("-Animation.Generator: t50");
    for (u32 t = 1560; t <= 1800; t += 30)
        frame(t);
    EXPECT_EQ(empty->getChildren().size(), 0u) << "an empty list spawns nothing";
    EXPECT_EQ(animatorCount(empty), 1u);
}

TEST_F(EffectAnimators, ScriptMethodSplitsNamesAndArguments)
{
    struct Case { const char* text; const char* method; const char* argument; } cases[] = {
        {"wobble", "wobble", ""},
        {" wobble (\"fast\")", "wobble", "fast"},
        {"wobble(\t2, 3 )", "wobble", "2, 3"},
        {"wobble(open", "wobble", "open"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        CString method, argument;
        SplitScriptMethod(c.text, method, argument);
        EXPECT_STREQ((const char*)method, c.method) << c.text;
        EXPECT_STREQ((const char*)argument, c.argument) << c.text;
    }
}

TEST_F(EffectAnimators, ScriptMethodExchangesTheNodeTable)
{
    runScript("calls <- \"\"; "
              "function setupEffect(t) { calls += \"init:\" + t._parameter + \":\" + t._doInit + \";\"; "
              "  t._affectDiscretion = 0; } "
              "function slideEffect(t) { calls += \"main:\" + t._parameter + \":\" + t._doInit + \";\"; "
              "  t._x = t._time * 0.01; if (t._time >= 300) t._cancel = 1; }");
    CSpriteNode* node = make("-Animation.ByScriptMethod: slideEffect(go),setupEffect(ready)");
    EXPECT_GT(node->getHideCount(), 0) << "hidden until the first step";
    frame(1100);
    EXPECT_EQ(node->getHideCount(), 0);
    EXPECT_NEAR(node->getPosition().X, 1.0f, 1e-4f);
    frame(1200);
    EXPECT_NEAR(node->getPosition().X, 2.0f, 1e-4f);
    frame(1300);
    frame(1400);
    EXPECT_NEAR(node->getPosition().X, 3.0f, 1e-4f) << "cancelled at 300 ms";
    EXPECT_EQ(animatorCount(node), 0u);
    EXPECT_STREQ(SquirrelVM::GetRootTable().GetString("calls"),
                 "init:ready:1;main:go:0;main:go:0;main:go:0;");
}

TEST_F(EffectAnimators, ScriptMethodCancelDieAndSwitch)
{
    runScript("runs <- 0; "
              "function cancelNow(t) { runs++; t._cancel = 1; } "
              "function dieEffect(t) { t._dieNow = 1; } "
              "function longEffect(t) { t._switchEffectTo = \"quit\"; }");
    CSpriteNode* cancelled = make("-Animation.Scripted: cancelNow");
    CSpriteNode* dying = make("-Animation.Scripted: dieEffect");
    CSpriteNode* switched = make("-Animation.Scripted: longEffect");
    dying->grab();
    frame(1030);
    frame(1100);
    EXPECT_EQ(SquirrelVM::GetRootTable().GetInt("runs"), 1) << "runs once and is removed";
    EXPECT_EQ(animatorCount(cancelled), 0u);
    EXPECT_EQ(dying->getParent(), nullptr) << "the node is deleted";
    EXPECT_EQ(animatorCount(switched), 0u) << "a short method name ends it";
    dying->drop();
}

// One failing call from many nodes is one fault: one box, not one for each
// node and frame.
TEST_F(EffectAnimators, ScriptMethodFailingInManyClonesIsReportedOnce)
{
    for (int i = 0; i < 3; ++i)
        Boxes.answerNext(IDYES);   // go on after each report
    make("-MakeClones: 300\n-Animation.Scripted: noSuchFunction()");
    ASSERT_GE(Root->getChildren().size(), 300u);
    frame(1030);
    frame(1100);
    frame(1200);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_NE(Boxes.Boxes[0].Text.find("noSuchFunction"), std::string::npos) << Boxes.Boxes[0].Text;
    // Reloaded code may fail anew, and is reported again.
    Engine.getScripts()->clearCodeCache();
    frame(1300);
    EXPECT_EQ(Boxes.Boxes.size(), 2u);
}

} // namespace
