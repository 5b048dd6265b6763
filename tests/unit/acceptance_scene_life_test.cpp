// End to end on the null driver: sprites made from descriptions live through
// frames of the renderer with the engine's own hooks. Deferred removal and the
// destroy hooks (sound request, script, destroy animation), animator timing
// from description keys, draw order and batching of real sprites.
#include "node_helpers.h"

#include "abaseanimators.h"
#include "fake_sound_library.h"
#include "module_scripting.h"
#include "module_scripting_binding.h"
#include "msgbox_recorder.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering.h"
#include "rendering_stuff_textures.h"
#include "server_sound_bass.h"
#include "temp_folder.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <IVideoDriver.h>

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace irr;

namespace {

std::string raw(const std::string& body) { return "raw://\n" + body + "\n"; }

const char* const Fill = "-Texture:?fill[c255,w8,h8]\n";

class SceneLife : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Root = addRootWithFreshCaches();
        GetSceneHooks() = SavedHooks;   // the engine's own hooks
        Camera = Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20.65f), core::vector3df(0, 0, 0));
    }
    CNodeBasement* make(const std::string& name, scene::ISceneNode* parent = nullptr)
    {
        return addSprite(name.c_str(), 1, 1, core::vector3df(0, 0, 0), parent, nullptr, SPRITE_SITE);
    }
    // One frame at the given device time, with fresh statistics.
    void drawFrame(u32 timeMs)
    {
        Engine.Renderer.getSwitchCount() = 0;
        Engine.Renderer.getPrimitiveCount() = 0;
        frame(timeMs);
    }
    static bool isChild(scene::ISceneNode* parent, scene::ISceneNode* node)
    {
        for (scene::ISceneNode* child : parent->getChildren())
            if (child == node)
                return true;
        return false;
    }
    void runScript(const char* code)
    {
        SquirrelVM::RunScript(SquirrelVM::CompileBuffer(code, "acceptance"));
    }
    int scriptInt(const char* name)
    {
        return int(SquirrelVM::GetRootTable().GetInt(name));
    }

    CProbeNode* Root = nullptr;
    scene::ICameraSceneNode* Camera = nullptr;
    CTempFolder Folder;
};

TEST_F(SceneLife, ADeletedSpriteIsDrawnInItsFrameAndGoneInTheNext)
{
    CNodeBasement* node = make(raw(Fill));
    ASSERT_NE(node, nullptr);
    node->grab();
    auto* killer = new CCountingAnimator;
    killer->setDiscretion(0);
    killer->OnStep = [](CNodeBasement* n) { deleteNode(n); };
    attachAnimator(node, killer);
    drawFrame(now() + 30);
    EXPECT_EQ(Engine.Renderer.getPrimitiveCount(), 4) << "still drawn in the frame that deleted it";
    EXPECT_EQ(node->getParent(), nullptr) << "detached after the frame";
    drawFrame(now() + 30);
    EXPECT_EQ(Engine.Renderer.getPrimitiveCount(), 0);
    node->drop();
}

TEST_F(SceneLife, DestroyHooksRunThroughTheEnginesServices)
{
    CFakeSoundLibrary library;
    CSoundServer* sound = Engine.getSoundServer();
    sound->init(1);
    ASSERT_TRUE(sound->isAvailable());
    float music = 1.0f, effects = 1.0f;
    sound->setVolumes(0.0f, &music, &effects);
    CEngineMessageQueue* queue = Engine.getMessageQueue();
    const int before = queue->getCount();

    runScript("g_kept <- 0; function keepOnce(t) { ++::g_kept; ::g_lastId <- t._id; t._doRemove = 0; }");
    CNodeBasement* node = make(raw(std::string(Fill) + "-Name: doomed\n-Event.OnDestroy.Sound: boom.wav\n"
                                                       "-Event.OnDestroy.Action: keepOnce"));
    ASSERT_NE(node, nullptr);
    deleteNode(node);
    drawFrame(now() + 30);
    EXPECT_EQ(scriptInt("g_kept"), 1);
    EXPECT_EQ(scriptInt("g_lastId"), getIdByName("doomed"));
    EXPECT_TRUE(isChild(Root, node)) << "_doRemove = 0 keeps the node";
    EXPECT_EQ(queue->getCount(), before + 1) << "one sound request";
    SEngineMessage* message = queue->findMessage(SM_PLAY_EFFECT);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(message->arg1), "boom.wav");

    deleteNode(node);
    drawFrame(now() + 30);
    EXPECT_EQ(scriptInt("g_kept"), 1) << "the script runs once";
    EXPECT_FALSE(isChild(Root, node)) << "the second removal goes through";
    EXPECT_EQ(queue->getCount(), before + 2) << "the sound is asked for again";
    sound->close();
}

TEST_F(SceneLife, DestroyAnimationIsSpawnedAsAChildAndExitRunsNoHook)
{
    Folder.write("boom.spr", std::string(Fill) + "-Name: boom_anim\n");
    CNodeBasement* node = make(raw(std::string(Fill) + "-Animation.OnDestroy:" + Folder.file("boom.spr")));
    ASSERT_NE(node, nullptr);
    deleteNode(node);
    drawFrame(now() + 30);
    EXPECT_TRUE(isChild(Root, node)) << "the animation's description removes it";
    scene::ISceneNode* anim = getNodeByName("boom_anim");
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->getParent(), node);

    runScript("g_ran <- 0; function countRun(t) { ++::g_ran; }");
    CNodeBasement* late = make(raw(std::string(Fill) + "-Event.OnDestroy.Action: countRun\n"
                                                       "-Animation.OnDestroy:" + Folder.file("boom.spr")));
    Engine.PauseLevel = 90;
    deleteNode(late);
    drawFrame(now() + 30);
    Engine.PauseLevel = 0;
    EXPECT_EQ(scriptInt("g_ran"), 0) << "nothing runs while the engine exits";
    EXPECT_FALSE(isChild(Root, late));
}

TEST_F(SceneLife, FadeAndSelfDestructionFromKeys)
{
    const u32 t0 = now();
    CNodeBasement* alpha = make(raw(std::string(Fill) + "-Alpha: 1 t1000 d200"));
    CNodeBasement* doomed = make(raw(std::string(Fill) + "-Selfdestruction: t2000 f500"));
    doomed->grab();
    struct Step { u32 at; float alpha; float fade; bool attached; };
    const Step steps[] = {
        {100, 0.0f, 1.0f, true}, {600, 0.5f, 1.0f, true}, {1500, 1.0f, 1.0f, true},
        {1750, 1.0f, 0.5f, true}, {1940, 1.0f, 0.12f, true}, {1970, 1.0f, 0.06f, false},
    };
    for (const Step& s : steps) {
        drawFrame(t0 + s.at);
        EXPECT_NEAR(alpha->getAlpha(), s.alpha, 1e-4f) << s.at;
        EXPECT_NEAR(doomed->getInheritedAlpha(), s.fade, 1e-4f) << s.at;
        EXPECT_EQ(isChild(Root, doomed), s.attached) << s.at;
    }
    doomed->drop();
}

TEST_F(SceneLife, FrameMoveRotationSizeAndTimelineLandExactly)
{
    const u32 t0 = now();
    auto* atlas = dynamic_cast<CSpriteNode*>(make(raw(std::string(Fill) + "-Animation.Texture: t800 m8x1")));
    CNodeBasement* move = make(raw(std::string(Fill) + "-Position: x1 y2\n-Animation.Move: d1 x0 y-100 t500"));
    auto* turn = dynamic_cast<CSpriteNode*>(make(raw(std::string(Fill) + "-Animation.Rotation: s0.1 f90")));
    CNodeBasement* size = make(raw(std::string(Fill) + "-Size: w4 h2\n-Animation.Size: s0.5 t300"));
    CNodeBasement* line = make(raw(std::string(Fill) + "-Position: x3\n-Animation.Timeline: x0 t1000 x100"));
    ASSERT_TRUE(atlas && move && turn && size && line);
    EXPECT_EQ(move->getPosition(), core::vector3df(1, -98, 0)) << "placed at the start when attached";

    drawFrame(t0 + 250);
    EXPECT_FLOAT_EQ(atlas->getFrameColumn(), 2);
    EXPECT_FLOAT_EQ(atlas->getFrameColumns(), 8);
    EXPECT_NEAR(line->getPosition().X, 3 + 25, 1e-3f);
    drawFrame(t0 + 900);
    EXPECT_FLOAT_EQ(atlas->getFrameColumn(), 1) << "the sequence loops every 800 ms";
    for (u32 t = 925; t <= 20000; t += 25)
        drawFrame(t0 + t);
    EXPECT_EQ(move->getPosition(), core::vector3df(1, 2, 0));
    EXPECT_EQ(move->getAnimators().size(), 0u);
    EXPECT_FLOAT_EQ(turn->getAngle(), 90 * core::PI / 180) << "stops exactly at its target";
    EXPECT_EQ(turn->getAnimators().size(), 0u);
    EXPECT_EQ(size->getSize(), core::dimension2df(2, 1));
    EXPECT_EQ(size->getAnimators().size(), 0u);
    EXPECT_FLOAT_EQ(line->getPosition().X, 103) << "the last key holds";
}

TEST_F(SceneLife, TimerSpeedsAndUpdateIntervals)
{
    // The frame loop copies the client's speeds of timers 0 and 1 here each frame.
    Engine.TimerSpeeds[1] = 0.5f;
    const u32 t0 = now();
    CNodeBasement* slow = make(raw(std::string(Fill) + "-Alpha: 0 t1000\n-Animation.BaseTimer: 1"));
    auto* strip = dynamic_cast<CSpriteNode*>(
        make(raw(std::string(Fill) + "-Animation.Texture: t800 m8x1\n-Animation.BaseTimer: 1")));
    ASSERT_NE(strip, nullptr);
    drawFrame(t0 + 1000);
    EXPECT_NEAR(slow->getAlpha(), 0.5f, 1e-3f) << "1000 ms at half speed is 500 ms of the fade";
    EXPECT_FLOAT_EQ(strip->getFrameColumn(), 5) << "500 ms of an 800 ms strip of 8";
    Engine.TimerSpeeds[1] = 0.0f;
    drawFrame(t0 + 1600);
    EXPECT_NEAR(slow->getAlpha(), 0.5f, 1e-3f) << "speed 0 freezes";
    Engine.TimerSpeeds[1] = 1.0f;
    drawFrame(t0 + 2100);
    EXPECT_NEAR(slow->getAlpha(), 0.0f, 1e-3f);
    EXPECT_FLOAT_EQ(strip->getFrameColumn(), 2) << "1000 ms on timer 1";

    struct Case { u32 interval; int expected; };
    const Case cases[] = {{0, 10}, {25, 5}, {65535, 0}};
    std::vector<CCountingAnimator*> counters;
    CNodeBasement* holder = make(raw(Fill));
    for (const Case& c : cases) {
        auto* counter = new CCountingAnimator;
        counter->setDiscretion(c.interval);
        counters.push_back(counter);
        attachAnimator(holder, counter);
    }
    const u32 t1 = now();
    for (int i = 1; i <= 10; ++i)
        drawFrame(t1 + u32(i) * 13);   // 10 frames over 130 ms
    for (size_t i = 0; i < counters.size(); ++i) {
        const int steps = int(counters[i]->Deltas.size());
        if (cases[i].interval == 25)
            EXPECT_NEAR(steps, cases[i].expected, 1) << "about one step per 25 ms";
        else
            EXPECT_EQ(steps, cases[i].expected) << cases[i].interval;
    }
}

TEST_F(SceneLife, DrawOrderAndOneDrawForEqualSprites)
{
    for (int i = 0; i < 2; ++i)
        make(raw("-Texture:?fill[c255,w8,h8]\n-Position: x" + std::to_string(i)));
    drawFrame(now() + 30);
    EXPECT_EQ(Engine.Renderer.getSwitchCount(), 1);
    EXPECT_EQ(Engine.Renderer.getPrimitiveCount(), 8);

    Root->removeAll();
    // Greater Z first, then z-order; layers 5, 6, 7 after the default list.
    struct Case { const char* tag; float z; int zOrder; int layer; };
    const Case cases[] = {{"l7", 5, 0, 7},  {"l6", 5, 0, 6},   {"l5", 5, 0, 5},  {"near", -1, 0, 4},
                          {"far", 2, 0, 4}, {"front", 0, 2, 4}, {"back", 0, 1, 4}};
    for (const Case& c : cases) {
        CProbeNode* probe = addNode(c.tag, nullptr, -1, core::vector3df(0, 0, c.z));
        probe->setZOrder(c.zOrder);
        probe->setLayer(c.layer);
    }
    Drawn.clear();
    drawFrame(now() + 30);
    EXPECT_EQ(Drawn, (std::vector<std::string>{"far", "pole", "back", "front", "near", "l5", "l6", "l7"}));
}

TEST_F(SceneLife, MalformedAnimationsNeitherCrashNorHang)
{
    Folder.write("notflash.swf", "this is not a movie");
    const std::string cases[] = {
        "-Animation.Texture: t100 m0x0",
        "-Animation.Timeline: x5",
        "-Animation.Timeline: t1000",
        "-Parent:-9",
        "-Animation.Flash: path[" + Folder.file("notflash.swf") + "] interactive[0]",
        "-Animation.Flash: path[" + Folder.file("missing.swf") + "]",
        "-Custom.Attributes: a[${rnd(1,2}]\n-Name: ${?x;y:1",
    };
    CMessageBoxRecorder boxes;
    std::vector<CSpriteNode*> sprites;
    for (const std::string& body : cases) {
        auto* sprite = dynamic_cast<CSpriteNode*>(make(raw(std::string(Fill) + body)));
        ASSERT_NE(sprite, nullptr) << body;
        sprites.push_back(sprite);
    }
    const u32 t0 = now();
    drawFrame(t0 + 30);
    for (int i : {4, 5}) {
        EXPECT_EQ(sprites[i]->getAnimators().size(), 0u) << "gone after the first tick: " << cases[i];
        EXPECT_NE(sprites[i]->getTextureRegion().Texture, nullptr) << "its own texture shows";
    }
    drawFrame(t0 + 60);
    EXPECT_FLOAT_EQ(sprites[1]->getPosition().X, 5) << "a single key holds its value";
}

} // namespace

namespace {

TEST_F(SceneLife, GarbledDescriptionsNeitherCrashNorHang)
{
    CMessageBoxRecorder boxes;
    const std::string cases[] = {
        "-Text:[",
        "-Text:[T[never closed",
        "-Name:[abcdefghijklmnopqrstuvwxyz[x]abcdefghijklmnopqrstuvwxyz]",
        "-Events: soundOnCreate[",
        "-Events.OnClick: action[",
        "-Animation.Timeline: scale",
        "-Animation.Timeline: t: x: x:loop x1 t0 x2 s[ s] r",
        "-Animation.Timeline: x:loop x5 t0 x6",
        "-Animation.Generator: t10 at",
        "-Animation.Generator: t10 at,,,",
        "-Atlas: x0 y0 w1e30 h1e30",
        "-Atlas: x-5 y-5 w-1 h-1 r-1 b-1",
        "-Size: w-5 h-5",
        "-Size: w0 h0",
        "-Animation.Texture: t100 m1-5/1",
        "-Animation.Texture: t-100 m2x2",
        "-MakeClones: -1",
        "-Parent:-",
        "-Parent:--3",
        "-Position: @",
        "-Position: x1e39 y-1e39",
        "-Alpha: nan t100",
        "-Rotation: 1e40",
        "-Animation.Move: d3 x1 t1 l-1",
        "-Animation.Move: d1 x1 t-1",
        "-Animation.Size: s0 t0.00001",
        "-Animation.Rotation: s-0.5 f-720",
        "-Selfdestruction: t-1 f-1",
        "-Custom.Attributes: ]=[]=",
        "-Custom.Attributes: [[[]]]",
        "-Tint: #",
        "-AlphaMinVisible: 99",
        "${rnd(}${rnd(,)}${?}${?;}${Default:}${Default:=}${Section",
        "\n[Sprite]\n[Sprite]\n\n[Sprite]",
    };
    const u32 t0 = now();
    for (const std::string& body : cases)
        make(raw(std::string(Fill) + body));
    for (u32 t = 30; t <= 600; t += 30)
        drawFrame(t0 + t);
    EXPECT_GE(Root->getChildren().size(), 25u) << "most still make their sprite";
}

} // namespace

namespace {

TEST_F(SceneLife, RemovalsOfParentsAndChildrenInOneFrame)
{
    runScript("g_gone <- \"\"; function noteGone(t) { ::g_gone += t._id + \",\"; }");
    const std::string hook = "-Event.OnDestroy.Action: noteGone\n";
    for (int order = 0; order < 2; ++order) {
        CNodeBasement* parent = make(raw(std::string(Fill) + hook + "-LocalID: " + std::to_string(3000 + order)));
        CNodeBasement* child = make(raw(std::string(Fill) + hook + "-LocalID: " + std::to_string(3100 + order)),
                                    parent);
        ASSERT_TRUE(parent && child);
        if (order == 0) {
            deleteNode(child);
            deleteNode(parent);
        } else {
            deleteNode(parent);
            deleteNode(child);
        }
        drawFrame(now() + 30);
        EXPECT_FALSE(isChild(Root, parent)) << order;
        drawFrame(now() + 30);
        EXPECT_EQ(Engine.Renderer.getPrimitiveCount(), 0) << order;
    }
    // Every queued node runs its hook, also a child whose parent went first.
    EXPECT_STREQ(SquirrelVM::GetRootTable().GetString("g_gone"), "3100,3000,3001,3101,");
}

} // namespace
