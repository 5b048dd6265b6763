// Key tracks and "-Animation.Timeline:" programs: interpolation, loops,
// zero-length segments, the grammar, and programs played on sprites made
// from descriptions at fixed device times.
#include "aeffectsanimators_timeline.h"

#include "animator_rows_fixture.h"
#include "fake_sound_library.h"
#include "module_enginebase.h"
#include "module_enginebase_queue.h"
#include "server_sound_bass.h"
#include "utils_fs_bridge.h"
#include "utils_fs.h"
#include "utils_debug.h"
#include "temp_folder.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace irr;

namespace {

struct SKey {
    f32 time, value;
};

TEST(KeyTrack, ValuesAtTimes)
{
    struct Case {
        const char* what;
        std::vector<SKey> keys;
        bool loop;
        f32 at, expected;
    } cases[] = {
        {"between two keys", {{0, 0}, {1000, 100}}, false, 250, 25},
        {"after the last key", {{0, 0}, {1000, 100}}, false, 5000, 100},
        {"before the first key extrapolates", {{500, 0}, {1000, 100}}, false, 0, -100},
        {"one key at 0, at 0", {{0, 7}}, false, 0, 7},
        {"one key at 0, later", {{0, 7}}, false, 300, 7},
        {"one key later, at its time", {{500, 0.5f}}, false, 500, 0.5f},
        {"one key later, before it", {{500, 0.5f}}, false, 200, 0.5f},
        {"one key later, at 0", {{500, 0.5f}}, false, 0, 0.5f},
        {"at a jump, the end of the segment before", {{0, 0}, {500, 10}, {500, 20}, {1000, 30}}, false, 500, 10},
        {"just after a jump", {{0, 0}, {500, 10}, {500, 20}, {1000, 30}}, false, 550, 21},
        {"after a jump", {{0, 0}, {500, 10}, {500, 20}, {1000, 30}}, false, 750, 25},
        {"loop wraps", {{0, 0}, {500, 10}, {1000, 0}}, true, 1250, 5},
        {"loop at the period", {{0, 0}, {500, 10}, {1000, 0}}, true, 2000, 0},
        {"loop of one key at 0 has no period", {{0, 3}}, true, 700, 3},
        {"loop with negative time", {{0, 0}, {1000, 100}}, true, -250, 75},
        {"keys out of time order hold the last past it", {{1000, 0}, {0, 100}}, false, 500, 100},
        {"keys at negative times hold the last past it", {{-1000, 0}, {-500, 100}}, false, -200, 100},
    };
    for (const Case& c : cases) {
        CKeyTrack track;
        for (const SKey& key : c.keys)
            track.addKey(key.time, key.value, 0, "");
        track.setLoop(c.loop);
        ASSERT_TRUE(track.prepare(1.0f, 1.0f)) << c.what;
        const f32 v = track.valueAt(c.at);
        EXPECT_FALSE(std::isnan(v)) << c.what;
        EXPECT_NEAR(v, c.expected, 1e-3f) << c.what;
    }
}

TEST(KeyTrack, EmptyScaledAndCurrentKey)
{
    CKeyTrack empty;
    EXPECT_FALSE(empty.prepare(1.0f, 1.0f));
    EXPECT_FALSE(empty.isReady());
    EXPECT_FLOAT_EQ(empty.valueAt(100), 0.0f);

    CKeyTrack scaled;
    scaled.addKey(0, 1, 1, "a");
    scaled.addKey(1000, 3, 2, "b");
    scaled.prepare(2.0f, 10.0f);
    EXPECT_NEAR(scaled.valueAt(1000), 20.0f, 1e-4f);
    EXPECT_EQ(scaled.getCurrentMode(), 1);
    EXPECT_EQ(std::string((const char*)scaled.getCurrentText()), "a");
    EXPECT_NEAR(scaled.valueAt(3000), 30.0f, 1e-4f);
    EXPECT_EQ(scaled.getCurrentMode(), 2);

    CKeyTrack unprepared;
    unprepared.addKey(0, 0, 0, "");
    unprepared.addKey(100, 1, 0, "");
    EXPECT_NEAR(unprepared.valueAt(50), 0.5f, 1e-5f) << "prepared on first use";
}

TEST(TimelineProgram, Grammar)
{
    CEngineBase engine;   // animators read the device time: without one the process-wide engine would be built
    CScriptedAnimator a("x:absolute,loop,phase=200 x5 /comment t100 x7 y1 r90 scalet2 scalev3 t300 die t400 stop "
                        "s[bell] sound: q1 f:absolute f0.5");
    CKeyTrack& x = a.getTrack(CScriptedAnimator::TrackX);
    EXPECT_EQ(x.getKeyCount(), 2u);
    // Times doubled and values tripled; the loop period is 200 after scaling, the phase 200.
    EXPECT_NEAR(x.valueAt(0), 15.0f, 1e-4f);
    EXPECT_EQ(x.getCurrentMode(), CKeyTrack::ModeAbsolute);
    EXPECT_NEAR(a.getTrack(CScriptedAnimator::TrackR).valueAt(0), 3.0f * 810.0f * core::PI / 180.0f, 1e-3f);
    EXPECT_EQ(a.getTrack(CScriptedAnimator::TrackS).getKeyCount(), 2u) << "one sound key, prepared as two";
    a.getTrack(CScriptedAnimator::TrackF).valueAt(0);
    EXPECT_EQ(a.getTrack(CScriptedAnimator::TrackF).getCurrentMode(), 0) << "f: takes no absolute bit";
    EXPECT_FLOAT_EQ(a.getDieTime(), 300.0f);
    EXPECT_FLOAT_EQ(a.getStopTime(), 400.0f);

    CScriptedAnimator phased("t:phase=500 t1000 die x:!absolute x1");
    EXPECT_FLOAT_EQ(phased.getDieTime(), 500.0f);
    CScriptedAnimator nothing("");
    EXPECT_FLOAT_EQ(nothing.getDieTime(), -1.0f);
    EXPECT_FALSE(nothing.getTrack(CScriptedAnimator::TrackX).isReady());
}

class Timeline : public AnimatorRows {
protected:
    void SetUp() override
    {
        AnimatorRows::SetUp();
        Engine.getSoundServer()->init(1);
        ASSERT_TRUE(Engine.getSoundServer()->isAvailable());
        Engine.getSoundServer()->getEffectsVolume() = 1.0f;
    }
    void TearDown() override
    {
        effects();
        Engine.getSoundServer()->close();   // before the fake library goes
        AnimatorRows::TearDown();
    }
    CSpriteNode* timeline(const std::string& program, const char* extra = "")
    {
        return make(std::string(extra) + "-Animation.Timeline: " + program);
    }
    // The effects asked for since the last call, in order.
    std::vector<std::string> effects()
    {
        std::vector<std::string> names;
        CEngineMessageQueue* queue = Engine.getMessageQueue();
        while (SEngineMessage* m = queue->findMessage(SM_PLAY_EFFECT)) {
            names.push_back(reinterpret_cast<const char*>(m->arg1));
            std::free(reinterpret_cast<void*>(m->arg1));
            m->arg1 = 0;
            m->flags = 0;   // no longer a sound message: the queue frees it unhandled
        }
        return names;
    }

    CFakeSoundLibrary SoundLibrary;
};

TEST_F(Timeline, PositionRelativeAbsoluteAndLooping)
{
    CSpriteNode* relative = timeline("x0 t1000 x100", "-Position: x10 y3\n");
    CSpriteNode* absolute = timeline("x:absolute x0 t1000 x100", "-Position: x10 y3\n");
    CSpriteNode* looping = timeline("x:loop x0 t500 x10 t1000 x0");
    CSpriteNode* oneKey = timeline("x:absolute x5", "-Position: x3 y3\n");
    struct Step { u32 at; f32 relX, absX, loopX; };
    for (const Step& s : {Step{1250, 35, 25, 5}, Step{2000, 110, 100, 0}, Step{2250, 110, 100, 5},
                          Step{2750, 110, 100, 5}, Step{3100, 110, 100, 2}}) {
        frame(s.at);
        EXPECT_NEAR(relative->getPosition().X, s.relX, 1e-3f) << s.at;
        EXPECT_NEAR(absolute->getPosition().X, s.absX, 1e-3f) << s.at;
        EXPECT_NEAR(looping->getPosition().X, s.loopX, 1e-3f) << s.at;
        EXPECT_FLOAT_EQ(oneKey->getPosition().X, 5.0f) << s.at << ": one absolute key holds at every time";
    }
    EXPECT_FLOAT_EQ(relative->getPosition().Y, 3.0f) << "components without keys stay at the start";
}

TEST_F(Timeline, SizeRotationAndFade)
{
    CSpriteNode* wide = timeline("w1 t1000 w2", "-Size: w4 h2\n");
    CSpriteNode* half = timeline("h0.5", "-Size: w4 h2\n");
    CSpriteNode* turned = timeline("r90", "-Rotation: 10\n");
    CSpriteNode* absolute = timeline("r:absolute r90", "-Rotation: 45\n");
    CSpriteNode* faded = timeline("f0 t300 f1");
    CProbeNode* child = addNode("child", faded);
    frame(1000);   // created and stepped at the same device time: no division by zero
    EXPECT_FLOAT_EQ(half->getSize().Height, 1.0f);
    EXPECT_FLOAT_EQ(half->getSize().Width, 4.0f);
    frame(1150);
    EXPECT_NEAR(faded->getInheritedAlpha(), 0.5f, 1e-4f);
    EXPECT_NEAR(child->getInheritedAlpha(), 0.5f, 1e-4f);
    frame(1500);
    EXPECT_NEAR(wide->getSize().Width, 6.0f, 1e-4f);
    EXPECT_FLOAT_EQ(wide->getSize().Height, 2.0f);
    EXPECT_FLOAT_EQ(faded->getInheritedAlpha(), 1.0f);
    frame(2500);
    EXPECT_NEAR(wide->getSize().Width, 8.0f, 1e-4f);
    EXPECT_FLOAT_EQ(half->getSize().Height, 1.0f) << "relative to the first size, not compounded";
    const f32 quarterTurns = (90.0f + 720.0f) * core::PI / 180.0f;
    EXPECT_NEAR(turned->getAngle(), 10.0f * core::PI / 180.0f + quarterTurns, 1e-4f);
    EXPECT_NEAR(absolute->getAngle(), quarterTurns, 1e-4f);
}

TEST_F(Timeline, DieStopScaleAndSounds)
{
    CSpriteNode* dying = timeline("t:phase=500 t1000 die");
    CSpriteNode* stopping = timeline("x0 t1000 x100 t500 stop");
    CSpriteNode* scaled = timeline("scalet2 x0 t1000 x100");
    CSpriteNode* sounding = timeline("s[click] t500 s[bell]");
    CSpriteNode* silent = timeline("snoname t100 s[] t200 x1");
    dying->grab();
    frame(1030);
    EXPECT_EQ(effects(), std::vector<std::string>{"click"}) << "the first sound key plays on the first update";
    frame(1490);
    EXPECT_EQ(dying->getParent(), Root);
    EXPECT_TRUE(effects().empty());
    frame(1530);
    EXPECT_EQ(dying->getParent(), nullptr) << "deleted once 500 ms have passed";
    EXPECT_EQ(effects(), std::vector<std::string>{"bell"});
    frame(1600);
    EXPECT_EQ(animatorCount(stopping), 0u);
    EXPECT_NEAR(stopping->getPosition().X, 53.0f, 1e-3f) << "keeps the values of its last update";
    frame(2000);
    EXPECT_NEAR(scaled->getPosition().X, 50.0f, 1e-3f);
    EXPECT_NEAR(stopping->getPosition().X, 53.0f, 1e-3f);
    EXPECT_TRUE(effects().empty()) << "a key without a name plays nothing";
    EXPECT_EQ(animatorCount(sounding), 1u);
    EXPECT_EQ(animatorCount(silent), 1u);
    dying->drop();
}

TEST_F(Timeline, OnlyStopChangesNothing)
{
    CSpriteNode* node = timeline("t1000 stop", "-Position: x2 y2\n-Size: w3 h3\n");
    frame(1500);
    frame(2030);
    EXPECT_EQ(animatorCount(node), 0u);
    EXPECT_EQ(node->getPosition(), core::vector3df(2, 2, 0));
    EXPECT_FLOAT_EQ(node->getSize().Width, 3.0f);
}

// A sound that cannot be loaded ends the game, as any effect does; the box
// names the description that plays it as well as the sound.
using TimelineDeathTest = Timeline;
TEST_F(TimelineDeathTest, SoundThatCannotBeLoadedEndsTheGameNamingTheSprite)
{
    CTempFolder folder;
    SetLogFolder(folder.path().c_str());
    SoundLibrary.MissingFiles.insert(std::string(ToNativePath(MakeSoundPath("gone.wav"))));
    folder.write("bomb.spr", "-Texture:?fill[c1,w8,h8]\n-Name: bomb\n-Animation.Timeline: t0 s[gone] t100 x1\n");
    ASSERT_NE(addSprite(folder.file("bomb.spr").c_str(), 1, 1, core::vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE),
              nullptr);
    EXPECT_EXIT(frame(1030), testing::ExitedWithCode(1), "");
    const std::string alert = folder.read("last_scriptcomp_error_alert.log");
    EXPECT_EQ(alert.rfind("Failed to load sound 'gone': file 'gone.wav'", 0), 0u) << alert;
    EXPECT_NE(alert.find("\nThe sound is played by the timeline of the sprite 'bomb' of '" + folder.file("bomb.spr") +
                         "'."),
              std::string::npos)
        << alert;
    SetLogFolder(nullptr);
}

} // namespace
