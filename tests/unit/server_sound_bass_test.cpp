// The sound server against a recording sound library and a clock that moves
// only when told; one test through the real audio layer on SDL's dummy driver.
#include "server_sound_bass.h"

#include "fake_clock.h"
#include "fake_sound_library.h"
#include "module_enginebase_queue.h"
#include "msgbox.h"
#include "msgbox_recorder.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_math_misc.h"

#include "audio_bass.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

// The folders every test's sounds and music come from.
class SoundFolders {
public:
    SoundFolders(const char* sounds, const char* music)
        : Context(GetDefaultEngineContext()), Saved(Context)
    {
        Context.ManifestLoaded = true;
        Context.SoundFolder = sounds;
        Context.MusicFolder = music;
    }
    ~SoundFolders()
    {
        Context.ManifestLoaded = Saved.ManifestLoaded;
        Context.SoundFolder = Saved.SoundFolder;
        Context.MusicFolder = Saved.MusicFolder;
    }

private:
    CDefaultEngineContext& Context;
    CDefaultEngineContext Saved;
};

class SoundServerTest : public testing::Test {
protected:
    void SetUp() override
    {
        Sound.setPauseLevelSource([this] { return PauseLevel; });
        Sound.init(1);
        ASSERT_TRUE(Sound.isAvailable());
    }

    // One frame's dispatch, ms after the last one.
    void frame(uint32_t ms = 1)
    {
        Clock.advance(ms);
        Queue.dispatchMessages();
    }

    void setVolumes(float music, float effects) { Sound.setVolumes(0.0f, &music, &effects); }

    std::string soundPath(const char* file) { return std::string(ToNativePath(CString("sfx\\") + file)); }
    std::string musicPath(const char* file) { return std::string(ToNativePath(CString("sfx\\music\\") + file)); }

    uint32_t loopChannel(int slot) { return Sound.getDevice()->LoopChannels[slot]; }
    int volumeOf(uint32_t handle) { return Library.channel(handle) ? Library.channel(handle)->Volume : -1; }

    // Requests a loop and lets its fade-in finish; its channel.
    uint32_t runningLoop(const char* name, float volume, int* slotOut = nullptr)
    {
        int slot = Sound.playLoopedEffect(name, volume);
        EXPECT_GE(slot, 0);
        for (int i = 0; i < 8; ++i)
            frame(51);
        if (slotOut)
            *slotOut = slot;
        return slot >= 0 ? loopChannel(slot) : 0;
    }

    // Every volume handed to the library, in order.
    std::vector<int> volumesPassed() const
    {
        std::vector<int> volumes;
        for (const SSoundCall& call : Library.Calls) {
            if (call.Name == "ChannelSetAttributes")
                volumes.push_back(call.Value);
        }
        return volumes;
    }

    // The debug log, written to a folder of the test's own.
    std::string logText() const { return std::string(GetDebugLogBuffer()->Text); }

    std::vector<std::string> boxTexts() const
    {
        std::vector<std::string> texts;
        for (const SRecordedBox& box : Boxes.Boxes)
            texts.push_back(box.Text);
        return texts;
    }

    SoundFolders Folders{"sfx\\", "sfx\\music\\"};
    CFakeClock Clock{100000};
    CFakeSoundLibrary Library;
    CMessageBoxRecorder Boxes;
    CEngineMessageQueue Queue{&Sound, nullptr};
    CSoundServer Sound{&Queue};
    int PauseLevel = 0;
};

TEST_F(SoundServerTest, RequestsBelowThresholdOrWhilePausedPostNothing)
{
    struct Case {
        float volume;
        float effectsVolume;
        int pauseLevel;
        bool isPosted;
        int volumeCode;   // of the posted message
    } cases[] = {
        {0.05f, 1.0f, 0, false, 0},
        {-1.0f, 0.05f, 0, false, 0},
        {-1.0f, 0.5f, 0, true, 500},
        {0.0f, 0.75f, 0, true, 750},
        {0.1f, 0.0f, 0, true, 100},
        {0.8f, 0.0f, 30, true, 800},
        {0.8f, 1.0f, 60, false, 0},
        {0.8f, 1.0f, 90, false, 0},
        {1e9f, 0.0f, 0, true, 65535},   // the code keeps to 16 bits; the library gets at most 100
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << ", effects " << c.effectsVolume << ", pause "
                                        << c.pauseLevel);
        Sound.getEffectsVolume() = c.effectsVolume;
        PauseLevel = c.pauseLevel;
        Sound.playEffect("boom", c.volume);
        int slot = Sound.playLoopedEffect("hum", c.volume);
        SEngineMessage* effect = Queue.findMessage(SM_PLAY_EFFECT);
        SEngineMessage* loop = Queue.findMessage(SM_PLAY_LOOP);
        ASSERT_EQ(effect != nullptr, c.isPosted);
        ASSERT_EQ(loop != nullptr, c.isPosted);
        EXPECT_EQ(slot >= 0, c.isPosted);
        if (c.isPosted) {
            EXPECT_STREQ(reinterpret_cast<const char*>(effect->arg1), "boom");
            EXPECT_EQ(effect->arg2, uintptr_t(c.volumeCode) << 16);
            EXPECT_EQ(loop->arg2, (uintptr_t(c.volumeCode) << 16) | uintptr_t(slot));
            Sound.stopLoopedEffect(slot);
        }
        PauseLevel = 0;
        for (int i = 0; i < 10; ++i)
            frame(51);
        ASSERT_EQ(Queue.getCount(), 0);
    }
    for (int volume : volumesPassed())
        EXPECT_LE(volume, 100);
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SoundServerTest, AtMostThreeCopiesOfOneEffectEachReusedAfter500Ms)
{
    for (int i = 0; i < 5; ++i) {
        Sound.playEffect("boom", 1.0f);
        frame(100);
    }
    EXPECT_EQ(Library.count("SampleLoad"), 3);
    EXPECT_EQ(Library.count("ChannelPlay"), 3) << "the fourth start within 500 ms plays nothing";
    const CSoundDevice* device = Sound.getDevice();
    ASSERT_EQ(device->EffectCount, 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_STREQ(device->EffectNames[row], "boom") << "the row keeps the name without \".wav\"";
        EXPECT_EQ(Library.Samples[device->EffectSamples[row]], soundPath("boom.wav"));
    }

    // The first copy started 500 ms ago: not yet; 1 ms later it is more than 500 ms.
    Sound.playEffect("boom", 1.0f);
    frame(100);
    EXPECT_EQ(Library.count("ChannelPlay"), 3);
    Sound.playEffect("boom", 1.0f);
    frame(1);
    EXPECT_EQ(Library.count("SampleLoad"), 3) << "reused without loading";
    ASSERT_EQ(Library.count("ChannelPlay"), 4);
    EXPECT_EQ(Library.channel(Library.lastChannel())->Sample, device->EffectSamples[0]);

    // A name with a dot is loaded as it is.
    Sound.playEffect("click.ogg", 0.5f);
    frame();
    EXPECT_EQ(Library.Samples[Sound.getDevice()->EffectSamples[3]], soundPath("click.ogg"));
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SoundServerTest, OneShotPlaysOnceAtItsVolumeAndFreesItself)
{
    SetRandomSeed(7);
    Sound.playEffect("boom", 0.5f);
    EXPECT_EQ(Library.count("SampleLoad"), 0) << "nothing happens before the dispatch";
    frame();
    uint32_t channel = Library.lastChannel();
    const SFakeChannel* played = Library.channel(channel);
    ASSERT_NE(played, nullptr);
    EXPECT_TRUE(played->IsPlaying);
    EXPECT_FALSE(played->IsLooping);
    EXPECT_EQ(played->Flags, 0x40000u);
    EXPECT_GE(played->Volume, 47);   // 0.5 give or take 5%
    EXPECT_LE(played->Volume, 52);
    Library.finish(channel);
    EXPECT_EQ(Library.channel(channel), nullptr);
    EXPECT_EQ(Queue.getCount(), 0);
}

TEST_F(SoundServerTest, LoopSlotsCycleAndABusySlotRefusesWithoutSearching)
{
    // Names of their own: one name has at most three channels within 500 ms.
    std::vector<int> slots;
    for (int i = 0; i < 32; ++i) {
        slots.push_back(Sound.playLoopedEffect(Format("hum%d", i), 0.15f));
        frame();
    }
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(slots[i], i);
    for (int i = 0; i < 32; ++i)
        ASSERT_NE(loopChannel(i), 0u) << i;

    Sound.stopLoopedEffect(5);
    frame();
    EXPECT_EQ(loopChannel(5), 0u);
    EXPECT_EQ(Sound.playLoopedEffect("drone", 0.15f), -1) << "slot 0 still plays, though 5 is free";
    EXPECT_EQ(Sound.playLoopedEffect("drone", 0.15f), -1) << "and the next request tries slot 0 again";

    Sound.stopLoopedEffect(0);
    frame();
    EXPECT_EQ(Sound.playLoopedEffect("drone", 0.15f), 0);
    EXPECT_EQ(Sound.playLoopedEffect("drone", 0.15f), -1) << "slot 1 is busy";

    // Slots outside 0..31 are ignored, also when posted directly.
    Sound.stopLoopedEffect(32);
    Sound.stopLoopedEffect(-1);
    EXPECT_EQ(Queue.getCount(), 1);
    Sound.postMessage(SM_STOP_LOOP, 0, 40);
    frame();
    EXPECT_EQ(Queue.getCount(), 0);
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SoundServerTest, ALoopSlotIsTakenFromItsRequest)
{
    // 33 loops asked for in one frame: the 33rd finds slot 0 promised, and no
    // channel is left playing that its owner could not stop.
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    std::vector<int> slots;
    for (int i = 0; i < SoundLoopSlots + 1; ++i)
        slots.push_back(Sound.playLoopedEffect(Format("hum%d", i), 0.15f));
    EXPECT_EQ(slots.back(), -1);
    EXPECT_NE(logText().find("loop slot 0 is still busy; looped effect 'hum32' not played"), std::string::npos)
        << logText();
    frame();
    EXPECT_EQ(Library.playing().size(), size_t(SoundLoopSlots));
    for (int i = 0; i < SoundLoopSlots; ++i)
        Sound.stopLoopedEffect(slots[i]);
    frame();
    EXPECT_TRUE(Library.playing().empty()) << Library.playing().size() << " still playing";
    EXPECT_EQ(Sound.playLoopedEffect("drone", 0.15f), 0) << "freed once stopped";
    EXPECT_TRUE(Boxes.Boxes.empty());
    SetLogFolder(nullptr);
}

TEST_F(SoundServerTest, LoopFadesInInFiveStepsOnlyAboveFloor)
{
    struct Case {
        float volume;
        std::vector<int> fadeVolumes;   // after the start volume
    } cases[] = {
        {0.15f, {15}},
        {0.2f, {20}},
        {0.6f, {12, 24, 36, 48, 60, 60}},   // a last handling sets the volume itself
        {1.0f, {20, 40, 60, 80, 100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume);
        int slot = Sound.playLoopedEffect("hum", c.volume);
        frame();
        uint32_t channel = loopChannel(slot);
        ASSERT_NE(channel, 0u);
        EXPECT_TRUE(Library.channel(channel)->IsLooping);
        for (size_t step = 1; step < c.fadeVolumes.size(); ++step) {
            frame(50);   // due, but not yet past due
            EXPECT_EQ(Library.volumesSet(channel).size(), step + 1);
            frame(1);
        }
        std::vector<int> volumes = Library.volumesSet(channel);
        volumes.erase(volumes.begin());   // the start volume, with its random share
        EXPECT_EQ(volumes, c.fadeVolumes);
        EXPECT_EQ(Queue.getCount(), 0);
        EXPECT_EQ(Library.count("ChannelPlay"), 1);
        Sound.stopLoopedEffect(slot);
        for (int i = 0; i < 6; ++i)
            frame(51);
        Library.Calls.clear();
    }
}

TEST_F(SoundServerTest, LoopStopFadesFromTheCurrentVolumeThenFreesTheSlot)
{
    int slot = -1;
    uint32_t channel = runningLoop("hum", 1.0f, &slot);
    ASSERT_EQ(volumeOf(channel), 100);
    Library.Calls.clear();
    Sound.stopLoopedEffect(slot);
    for (int i = 0; i < 6; ++i)
        frame(51);
    EXPECT_EQ(Library.volumesSet(channel), (std::vector<int>{80, 48, 19}));
    EXPECT_EQ(Library.count("ChannelStop"), 1);
    EXPECT_EQ(Library.channel(channel), nullptr) << "stopped and freed";
    EXPECT_EQ(loopChannel(slot), 0u);

    channel = runningLoop("hum", 0.2f, &slot);
    Library.Calls.clear();
    Sound.stopLoopedEffect(slot);
    frame();
    EXPECT_EQ(Library.count("ChannelStop"), 1) << "at 0.2 the first handling stops it";
    EXPECT_TRUE(Library.volumesSet(channel).empty());
    EXPECT_EQ(loopChannel(slot), 0u);
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SoundServerTest, LoopFadeEndsQuietlyWhenItsChannelIsGone)
{
    // Stopped while the fade-in runs: the stop (at 0.12, no fade) frees the
    // slot in the same pass; the fade-in ends at its next step.
    int slot = Sound.playLoopedEffect("hum", 0.6f);
    Sound.stopLoopedEffect(slot);
    frame();
    uint32_t channel = Library.lastChannel();
    EXPECT_EQ(Library.volumesSet(channel).back(), 12);
    EXPECT_EQ(loopChannel(slot), 0u);
    size_t calls = Library.Calls.size();
    for (int i = 0; i < 6; ++i)
        frame(51);
    EXPECT_EQ(Library.Calls.size(), calls) << "no fade step on the stopped channel";
    EXPECT_EQ(Queue.getCount(), 0);
    EXPECT_EQ(Library.channel(channel), nullptr);

    // No channel to be had: one box about it, the slot stays free, no fade steps.
    Library.NoChannels = true;
    slot = Sound.playLoopedEffect("drone", 0.6f);
    for (int i = 0; i < 6; ++i)
        frame(51);
    EXPECT_EQ(loopChannel(slot), 0u);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"cant play snd 'drone'"});
    Library.NoChannels = false;

    // A loop whose channel died: volumes skip it, the stop frees the slot quietly.
    channel = runningLoop("hum", 0.5f, &slot);
    Library.Channels.erase(channel);
    setVolumes(0.5f, 0.5f);
    frame();
    Sound.stopLoopedEffect(slot);
    frame();
    EXPECT_EQ(loopChannel(slot), 0u);
    EXPECT_EQ(Boxes.Boxes.size(), 1u) << "no \"BASS fail!\" box";
}

TEST_F(SoundServerTest, MusicFadesOutThenTheNewOneIn)
{
    setVolumes(1.0f, 0.5f);
    Sound.setBackgroundMusic("theme.ogg");
    frame();   // the old music (none) is done: the fade-in follows after 10 ms
    EXPECT_EQ(Library.count("StreamCreateFile"), 0);
    frame(11);
    uint32_t first = Sound.getDevice()->Music->Handle;
    ASSERT_NE(first, 0u);
    EXPECT_EQ(Library.channel(first)->Path, musicPath("theme.ogg"));
    EXPECT_TRUE(Library.channel(first)->IsLooping);
    for (int i = 0; i < 10; ++i)
        frame(151);
    EXPECT_EQ(Library.volumesSet(first), (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100}));
    EXPECT_EQ(Queue.getCount(), 0);

    Sound.setBackgroundMusic("theme.ogg");
    EXPECT_EQ(Queue.getCount(), 0) << "the same music after it started posts nothing";

    Sound.setBackgroundMusic("other.ogg");
    for (int i = 0; i < 11; ++i)
        frame(151);
    std::vector<int> fadeOut = Library.volumesSet(first);
    fadeOut.erase(fadeOut.begin(), fadeOut.begin() + 12);
    EXPECT_EQ(fadeOut, (std::vector<int>{90, 80, 70, 60, 50, 40, 30, 20, 10, 0}));
    EXPECT_EQ(Library.channel(first), nullptr) << "stopped after ten steps";
    frame(11);
    uint32_t second = Sound.getDevice()->Music->Handle;
    ASSERT_NE(second, 0u);
    EXPECT_EQ(Library.channel(second)->Path, musicPath("other.ogg"));
    for (int i = 0; i < 10; ++i)
        frame(151);

    // "" fades out and leaves silence.
    int created = Library.count("StreamCreateFile");
    Sound.setBackgroundMusic("");
    for (int i = 0; i < 13; ++i)
        frame(151);
    EXPECT_EQ(Library.channel(second), nullptr);
    EXPECT_EQ(Library.count("StreamCreateFile"), created);
    EXPECT_EQ(Queue.getCount(), 0);

    // A music file that cannot be opened: silence, no box.
    Library.MissingFiles.insert(musicPath("gone.ogg"));
    Sound.setBackgroundMusic("gone.ogg");
    frame();
    frame(11);
    EXPECT_EQ(Sound.getDevice()->Music->Handle, 0u);
    EXPECT_EQ(Queue.getCount(), 0);
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SoundServerTest, MusicFadeReadsTheVolumeAtEveryStep)
{
    setVolumes(1.0f, 1.0f);
    Sound.setBackgroundMusic("theme");
    frame();
    frame(11);
    frame(151);
    frame(151);
    setVolumes(0.5f, 1.0f);
    for (int i = 0; i < 10; ++i)
        frame(151);
    uint32_t music = Sound.getDevice()->Music->Handle;
    EXPECT_EQ(Library.volumesSet(music),
              (std::vector<int>{0, 10, 20, 30, 20, 50, 25, 30, 35, 40, 45, 50, 50}))
        << "the volume message lands between the fade steps";
}

TEST_F(SoundServerTest, VolumesMapThroughTheMarginAndSnap)
{
    struct Case {
        float margin;
        float music;
        float effects;
        float expectMusic;
        float expectEffects;
    } cases[] = {
        {0.0f, 0.95f, 0.05f, 1.0f, 0.0f},
        {0.0f, 0.91f, 0.09f, 0.91f, 0.09f},
        {0.0f, 0.5f, 0.3f, 0.5f, 0.3f},
        {0.1f, 0.5f, 0.85f, 0.5f, 1.0f},
        {0.1f, 0.15f, 0.5f, 0.0f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.margin << " " << c.music << " " << c.effects);
        Sound.setVolumes(c.margin, &c.music, &c.effects);
        EXPECT_FLOAT_EQ(Sound.getMusicVolume(), c.expectMusic);
        EXPECT_FLOAT_EQ(Sound.getEffectsVolume(), c.expectEffects);
    }
    // No values: only the snap, and a message to re-apply.
    Sound.getMusicVolume() = 0.95f;
    Sound.getEffectsVolume() = 0.02f;
    frame();
    Sound.setVolumes(0.0f, nullptr, nullptr);
    EXPECT_FLOAT_EQ(Sound.getMusicVolume(), 1.0f);
    EXPECT_FLOAT_EQ(Sound.getEffectsVolume(), 0.0f);
    EXPECT_NE(Queue.findMessage(SM_SET_VOLUMES), nullptr);
}

TEST_F(SoundServerTest, PauseSilencesMusicAndLoopsButNotOneShots)
{
    setVolumes(0.8f, 0.6f);
    Sound.setBackgroundMusic("theme");
    for (int i = 0; i < 13; ++i)
        frame(151);
    uint32_t music = Sound.getDevice()->Music->Handle;
    uint32_t loopA = runningLoop("hum", 0.5f);
    uint32_t loopB = runningLoop("drone", 0.9f);
    Sound.playEffect("boom", 1.0f);
    frame();
    uint32_t oneShot = Library.lastChannel();
    int oneShotVolume = volumeOf(oneShot);

    PauseLevel = 60;
    Sound.setVolumes(0.0f, nullptr, nullptr);
    frame();
    EXPECT_EQ(volumeOf(music), 0);
    EXPECT_EQ(volumeOf(loopA), 0);
    EXPECT_EQ(volumeOf(loopB), 0);
    EXPECT_EQ(volumeOf(oneShot), oneShotVolume);

    PauseLevel = 30;
    Sound.setVolumes(0.0f, nullptr, nullptr);
    frame();
    EXPECT_EQ(volumeOf(music), 80);
    EXPECT_EQ(volumeOf(loopA), 60) << "loops take the effects volume";
    EXPECT_EQ(volumeOf(loopB), 60);
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(SoundServerTest, MessagesWaitForTheirDispatchInPostingOrder)
{
    int slot = Sound.playLoopedEffect("hum", 1.0f);
    Sound.playEffect("boom", 1.0f);
    setVolumes(0.5f, 0.5f);
    EXPECT_TRUE(Library.Calls.empty() || Library.count("SampleLoad") == 0) << "requests only post";
    EXPECT_EQ(Queue.getCount(), 3);
    frame();
    std::vector<std::string> loads;
    for (const SSoundCall& call : Library.Calls)
        if (call.Name == "SampleLoad")
            loads.push_back(call.Text);
    EXPECT_EQ(loads, (std::vector<std::string>{soundPath("hum.wav"), soundPath("boom.wav")}));
    EXPECT_EQ(volumeOf(loopChannel(slot)), 50) << "the loop's first step, then the volume message";
    EXPECT_EQ(Queue.getCount(), 1) << "only the fade stays";

    // A fade waiting in front does not hold back what comes after it.
    Sound.playEffect("click", 1.0f);
    frame(10);
    EXPECT_EQ(Library.count("SampleLoad"), 3);
    EXPECT_EQ(Queue.getCount(), 1);
}

TEST_F(SoundServerTest, PreloadTakesTheSoundFoldersEffectsOnlyAndRequestsReuseThem)
{
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    SoundFolders folders(GetDataFolder() + "sfx\\", GetDataFolder() + "sfx\\music\\");
    Library.MissingFiles.insert(std::string(ToNativePath(GetDataFolder() + "sfx\\gone.wav")));
    Library.RefusedFiles[std::string(ToNativePath(GetDataFolder() + "sfx\\costly.wav"))] = "a bound it names";
    // Not effects: below the sound folder's top, elsewhere, or refused by the library.
    EXPECT_EQ(Sound.preloadEffect("sfx\\music\\loop.wav"), -1);
    EXPECT_EQ(Sound.preloadEffect("sprites\\beep.wav"), -1);
    EXPECT_EQ(Sound.preloadEffect("sfx\\gone.wav"), -1);
    EXPECT_EQ(Sound.preloadEffect("sfx\\costly.wav"), -1);
    EXPECT_EQ(Library.count("SampleLoad"), 2) << "only the files of the sound folder were tried";
    for (const char* line : {"Sound 'sfx\\music\\loop.wav' is not an effect of the sound folder",
                             "Sound 'sprites\\beep.wav' is not an effect of the sound folder",
                             "Failed to load sound 'gone': file 'gone.wav' in the sound folder",
                             "': not a sound the game plays: a bound it names; not preloaded"})
        EXPECT_NE(logText().find(line), std::string::npos) << line << "\n" << logText();

    // 25 effects, each played three times in one frame: the preloaded row is
    // the first copy, whether the request names the file or the effect.
    const int effects = 25;
    for (int i = 0; i < effects; ++i)
        ASSERT_EQ(Sound.preloadEffect(Format("sfx\\fx%02d.wav", i)), i);
    EXPECT_EQ(Sound.preloadEffect("sfx\\fx00.wav"), 0) << "loaded once";
    for (int i = 0; i < effects; ++i) {
        Sound.playEffect(Format("fx%02d.wav", i), 1.0f);
        Sound.playEffect(Format("fx%02d", i), 1.0f);
        Sound.playEffect(Format("fx%02d.wav", i), 1.0f);
    }
    frame();
    EXPECT_EQ(Sound.getDevice()->EffectCount, 3 * effects);
    EXPECT_EQ(Library.count("ChannelPlay"), 3 * effects);
    EXPECT_TRUE(Boxes.Boxes.empty());
    SetLogFolder(nullptr);
}

TEST_F(SoundServerTest, AFullEffectTableDropsTheSoundNotTheGame)
{
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    for (int i = 0; i < SoundEffectLimit - 1; ++i)
        ASSERT_EQ(Sound.loadEffect(Format("fx%02d", i)), i);
    EXPECT_EQ(Sound.loadEffect("one.more"), -1);
    Sound.playEffect("another", 1.0f);
    frame();
    EXPECT_EQ(Sound.getDevice()->EffectCount, SoundEffectLimit - 1);
    EXPECT_EQ(Library.count("SampleLoad"), SoundEffectLimit - 1);
    EXPECT_NE(logText().find("Sound effect table is full (95 effects); 'one.more' not played"), std::string::npos);
    EXPECT_NE(logText().find("Sound effect table is full (95 effects); 'another' not played"), std::string::npos);
    for (const char* name : {"another", "another.wav", "another", "third", "third"}) {
        Sound.playEffect(name, 1.0f);
        frame(600);
    }
    const std::string log = logText();
    EXPECT_EQ(log.find("'another"), log.rfind("'another")) << "told once per effect";
    EXPECT_EQ(log.find("'third' not played"), log.rfind("'third' not played"));
    EXPECT_NE(log.find("'third' not played"), std::string::npos);
    Sound.playEffect("fx07", 1.0f);
    frame();
    EXPECT_EQ(Library.count("ChannelPlay"), 1) << "loaded effects still play";
    EXPECT_TRUE(Boxes.Boxes.empty());
    SetLogFolder(nullptr);
}

TEST_F(SoundServerTest, EmptyAndOverlongNamesAreRefused)
{
    // An empty name (a script's missing argument) plays nothing, with one log line.
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    for (int i = 0; i < 3; ++i) {
        Sound.playEffect("", 1.0f);
        EXPECT_EQ(Sound.playLoopedEffect("", 1.0f), -1);
    }
    EXPECT_EQ(Queue.getCount(), 0);
    const std::string log = logText();
    ASSERT_NE(log.find("Empty sound effect!"), std::string::npos);
    EXPECT_EQ(log.find("Empty sound effect!"), log.rfind("Empty sound effect!"));
    EXPECT_TRUE(Boxes.Boxes.empty());
    SetLogFolder(nullptr);

    std::string longest(SoundEffectNameMax, 'a');
    std::string tooLong(SoundEffectNameMax + 1, 'a');
    Sound.playEffect(longest.c_str(), 1.0f);
    EXPECT_EQ(Queue.getCount(), 1);
    Sound.playEffect(tooLong.c_str(), 1.0f);
    EXPECT_EQ(Sound.playLoopedEffect(tooLong.c_str(), 1.0f), -1);
    EXPECT_EQ(Sound.loadEffect(tooLong.c_str()), -1);
    EXPECT_EQ(Queue.getCount(), 1);
    ASSERT_EQ(Boxes.Boxes.size(), 3u);
    EXPECT_NE(Boxes.Boxes[0].Text.find("Sound effect name too long (260 characters, at most 259)"), std::string::npos)
        << Boxes.Boxes[0].Text;
    frame();
    EXPECT_STREQ(Sound.getDevice()->EffectNames[0], longest.c_str());
}

// The library ends a looped track shorter than what it reads ahead and lets
// its handle go: the track starts again, the old handle is never used again,
// and no box is shown.
TEST_F(SoundServerTest, MusicThatEndsStartsAgainWithoutBoxes)
{
    setVolumes(0.6f, 0.5f);
    Sound.setBackgroundMusic("short.ogg");
    frame();
    frame(11);
    const uint32_t first = Sound.getDevice()->Music->Handle;
    ASSERT_NE(first, 0u);
    Library.finish(first);   // during the fade-in
    frame(151);
    const size_t seen = Library.Calls.size();   // the first handling learnt it is gone
    for (int i = 0; i < 10; ++i)
        frame(151);
    const uint32_t second = Sound.getDevice()->Music->Handle;
    ASSERT_NE(Library.channel(second), nullptr);
    EXPECT_EQ(Library.channel(second)->Path, musicPath("short.ogg"));
    EXPECT_TRUE(Library.channel(second)->IsPlaying);
    EXPECT_TRUE(Library.channel(second)->IsLooping);
    EXPECT_EQ(Library.volumesSet(second).back(), 60);

    Library.finish(second);   // after the fade: at the music volume at once
    frame();
    const uint32_t third = Sound.getDevice()->Music->Handle;
    ASSERT_NE(Library.channel(third), nullptr);
    EXPECT_EQ(Library.volumesSet(third).front(), 60);
    EXPECT_TRUE(Library.channel(third)->IsPlaying);

    Library.finish(third);   // ended at once: not reopened every frame, but after a second
    frame();
    EXPECT_EQ(Sound.getDevice()->Music->Handle, 0u);
    Library.StreamOpenMs = 1500;   // the second counts from the end of an open that takes longer
    frame(1000);
    const uint32_t slow = Sound.getDevice()->Music->Handle;
    ASSERT_NE(Library.channel(slow), nullptr);
    Library.finish(slow);
    frame();
    EXPECT_EQ(Sound.getDevice()->Music->Handle, 0u);
    Library.StreamOpenMs = 0;
    frame(1000);
    const uint32_t fourth = Sound.getDevice()->Music->Handle;
    ASSERT_NE(Library.channel(fourth), nullptr);
    EXPECT_TRUE(Library.channel(fourth)->IsPlaying);

    // Ended while the music changes: the new track follows, the old one does not come back.
    Sound.setBackgroundMusic("next.ogg");
    frame(151);
    Library.finish(fourth);
    for (int i = 0; i < 13; ++i)
        frame(151);
    const uint32_t next = Sound.getDevice()->Music->Handle;
    ASSERT_NE(Library.channel(next), nullptr);
    EXPECT_EQ(Library.channel(next)->Path, musicPath("next.ogg"));
    EXPECT_EQ(Library.playing(), std::vector<uint32_t>{next});
    for (size_t i = seen; i < Library.Calls.size(); ++i)
        EXPECT_NE(Library.Calls[i].Handle, first) << Library.Calls[i].Name;
    EXPECT_TRUE(Boxes.Boxes.empty()) << Boxes.Boxes[0].Text;
}

TEST_F(SoundServerTest, CloseFreesEverythingOnceAndLaterMessagesOnlyFreeTheirNames)
{
    EXPECT_EQ(Sound.loadEffect("boom"), 0);
    EXPECT_EQ(Sound.loadEffect("click"), 1);
    Sound.playEffect("boom", 1.0f);
    Sound.playLoopedEffect("hum", 1.0f);
    Sound.close();
    Sound.close();
    EXPECT_EQ(Library.count("SampleFree"), 2);
    EXPECT_EQ(Library.count("Free"), 1);
    EXPECT_FALSE(Sound.isAvailable());
    EXPECT_EQ(Sound.loadEffect("boom"), 0);
    size_t calls = Library.Calls.size();
    frame();
    EXPECT_EQ(Queue.getCount(), 0);
    EXPECT_EQ(Library.Calls.size(), calls);
    Sound.init(1);
    EXPECT_FALSE(Sound.isAvailable()) << "a closed server stays closed";

    // Requests still queued when the queue goes free their name copies (the
    // sanitizer build reports a leak otherwise).
    CEngineMessageQueue leftover(nullptr, nullptr);
    leftover.postMessage(SM_PLAY_EFFECT, reinterpret_cast<uintptr_t>(strdup("boom")), 0, 0);
    leftover.postMessage(SM_PLAY_LOOP, reinterpret_cast<uintptr_t>(strdup("hum")), 3, 0);
}

// --- without a working device ---

TEST(SoundServerSilent, NoOptionNoDeviceOrWrongVersionMeansSilenceWithoutBoxes)
{
    SoundFolders folders("sfx\\", "sfx\\music\\");
    CFakeClock clock;
    CMessageBoxRecorder boxes;
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    struct Case {
        const char* what;
        int option;
        bool initFails;
        uint32_t version;
        int initCalls;
    } cases[] = {
        {"Sound=0", 0, false, 0x02030000, 0},
        {"no device", 1, true, 0x02030000, 1},
        {"wrong version", 1, false, 0x02040000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFakeSoundLibrary library;
        library.InitFails = c.initFails;
        library.Version = c.version;
        CEngineMessageQueue queue(nullptr, nullptr);
        CSoundServer sound(&queue);
        sound.init(c.option);
        EXPECT_FALSE(sound.isAvailable());
        EXPECT_EQ(library.count("Init"), c.initCalls);
        sound.playEffect("boom", 1.0f);
        EXPECT_EQ(sound.playLoopedEffect("hum", 1.0f), -1);
        EXPECT_EQ(sound.stopLoopedEffect(0), 0);
        sound.setBackgroundMusic("theme");
        float volume = 0.5f;
        sound.setVolumes(0.0f, &volume, &volume);
        EXPECT_EQ(queue.getCount(), 0);
        EXPECT_EQ(sound.loadEffect("boom"), 0);
        EXPECT_EQ(library.count("SampleLoad"), 0);
    }
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("Wrong BASS.dll - version check failed"), std::string::npos);
    SetLogFolder(nullptr);
}

// --- fatal content faults ---

class SoundServerDeathTest : public SoundServerTest {
protected:
    void SetUp() override
    {
        SoundServerTest::SetUp();
        SetLogFolder(Logs.path().c_str());
    }
    void TearDown() override { SetLogFolder(nullptr); }

    // In the dying child the alert goes to standard error instead of the recorder.
    template <class F> static void unattended(F run)
    {
        platform::SetMessageBoxHook(nullptr);
        platform::SetBoxesInteractive(0);
        run();
    }

    CTempFolder Logs;
};

TEST_F(SoundServerDeathTest, ContentFaultsEndTheProgram)
{
    EXPECT_EQ(Sound.playLoopedEffect("", -1.0f), -1) << "the effects volume is 0: refused before the name counts";
    Library.MissingFiles.insert(soundPath("gone.wav"));
    Library.SetAttributesFails = true;
    // The alert file holds the box's text: bare, without a place in the sources.
    const struct {
        std::function<void()> fault;
        const char* stderrPattern;
        const char* alert;
    } faults[] = {
        {[&] { Sound.loadEffect("gone"); }, "",
         "Failed to load sound 'gone': file 'gone.wav' in the sound folder 'sfx/': No such file or directory"},
        {[&] { Sound.startEffect("boom", 1.0f); }, "BASS fail! err=-1", "Failed to play effect, err -1"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.alert);
        std::remove(Logs.file("last_scriptcomp_error_alert.log").c_str());
        EXPECT_EXIT(unattended(f.fault), testing::ExitedWithCode(1), f.stderrPattern);
        EXPECT_EQ(Logs.read("last_scriptcomp_error_alert.log"), f.alert);
    }
}

// --- through the real audio layer ---

// 16-bit mono PCM WAV of a square wave.
std::string toneWav(uint32_t frames)
{
    std::string wav;
    auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wav += char(v >> (8 * i)); };
    auto put16 = [&](uint32_t v) { wav += char(v); wav += char(v >> 8); };
    wav += "RIFF"; put32(36 + frames * 2); wav += "WAVE";
    wav += "fmt "; put32(16); put16(1); put16(1); put32(22050); put32(44100); put16(2); put16(16);
    wav += "data"; put32(frames * 2);
    for (uint32_t i = 0; i < frames; ++i)
        put16(uint16_t((i / 20) % 2 ? -6000 : 6000));
    return wav;
}

TEST(SoundServerOnAudioLayer, PlaysEffectsLoopsAndMusicOnTheDummyDriver)
{
    const char* saved = std::getenv("SDL_AUDIODRIVER");
    std::string savedDriver = saved ? saved : "";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    CTempFolder data;
    std::filesystem::create_directories(data.file("Sounds/Music"));
    data.write("Sounds/Tone.WAV", toneWav(22050));
    data.write("Sounds/Music/Theme.wav", toneWav(44100));
    // Sounds of no length: an empty data chunk, and one byte of a 2-byte frame.
    data.write("Sounds/Empty.wav", toneWav(0));
    std::string half = toneWav(0);
    half[4] = char(36 + 2);
    half[40] = 1;
    data.write("Sounds/Half.wav", half + std::string(2, '\0'));
    // Ogg pages that each claim the most a page holds, one after another
    // inside the first's body: finding the pages would cost the library the
    // square of the file's size.
    std::string falseStarts;
    while (falseStarts.size() < 140000)
        falseStarts += "OggS" + std::string(22, '\0') + std::string(256, char(255));
    data.write("Sounds/Music/Costly.ogg", falseStarts);
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    SetAppFolder(data.path().c_str());   // data names below the program folder
    SoundFolders folders((data.path() + "sounds\\").c_str(), (data.path() + "sounds\\music\\").c_str());
    CFakeClock clock;
    CMessageBoxRecorder boxes;
    {
        struct Engine {
            CEngineMessageQueue Queue{&Sound, nullptr};
            CSoundServer Sound{&Queue};
        } engine;
        CEngineMessageQueue& queue = engine.Queue;
        CSoundServer& sound = engine.Sound;
        sound.init(1);
        ASSERT_TRUE(sound.isAvailable()) << BASS_ErrorGetCode();
        auto frame = [&](uint32_t ms) { clock.advance(ms); queue.dispatchMessages(); };

        float full = 1.0f;
        sound.setVolumes(0.0f, &full, &full);
        sound.playEffect("tone", 1.0f);
        int slot = sound.playLoopedEffect("tone", 1.0f);
        sound.setBackgroundMusic("theme.wav");
        for (int i = 0; i < 14; ++i)
            frame(151);
        EXPECT_EQ(sound.getDevice()->EffectCount, 2) << "the effect and the loop, found in any case";
        uint32_t loop = sound.getDevice()->LoopChannels[slot];
        ASSERT_NE(loop, 0u);
        EXPECT_EQ(BASS_ChannelIsActive(loop), BASS_ACTIVE_PLAYING);
        uint32_t volume = 0;
        ASSERT_NE(BASS_ChannelGetAttributes(loop, nullptr, &volume, nullptr), 0);
        EXPECT_EQ(volume, 100u);
        uint32_t music = sound.getDevice()->Music->Handle;
        ASSERT_NE(music, 0u);
        EXPECT_EQ(BASS_ChannelIsActive(music), BASS_ACTIVE_PLAYING);

        sound.stopLoopedEffect(slot);
        for (int i = 0; i < 6; ++i)
            frame(51);
        EXPECT_EQ(sound.getDevice()->LoopChannels[slot], 0u);
        EXPECT_EQ(BASS_ChannelIsActive(loop), BASS_ACTIVE_STOPPED);

        // Played, they play nothing and end at once, without a box.
        for (const char* name : {"empty", "half"}) {
            sound.playEffect(name, 1.0f);
            slot = sound.playLoopedEffect(name, 1.0f);
            for (int i = 0; i < 6; ++i)
                frame(101);
            sound.stopLoopedEffect(slot);
            sound.setVolumes(0.0f, &full, &full);
            for (int i = 0; i < 6; ++i)
                frame(101);
            EXPECT_EQ(sound.getDevice()->LoopChannels[slot], 0u) << name;
        }
        EXPECT_EQ(sound.getDevice()->EffectCount, 6) << "each loaded for the effect and for the loop";

        // Music refused for what it would cost: silence, and the log names the bound.
        sound.setBackgroundMusic("costly.ogg");
        for (int i = 0; i < 14; ++i)
            frame(151);
        EXPECT_EQ(sound.getDevice()->Music->Handle, 0u);
        const std::string log(GetDebugLogBuffer()->Text);
        EXPECT_NE(log.find("Costly.ogg': no sound the game reads (7): finding its Ogg pages makes the library "
                           "checksum more than 8 times its size"),
                  std::string::npos)
            << log;
        sound.close();
    }
    EXPECT_TRUE(boxes.Boxes.empty()) << boxes.Boxes[0].Text;
    SetLogFolder(nullptr);
    SetAppFolder(nullptr);
    if (saved)
        setenv("SDL_AUDIODRIVER", savedDriver.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
}

} // namespace
