// The system tick animator: start-up loading one piece per frame on a small
// data folder, the pause throttle, window focus and the statistics overlay.
#include "asystemtickanimator.h"

#include "script_natives_fixture.h"

#include "clock.h"
#include "fake_clock.h"

#include "node_text.h"
#include "rendering_stuff_particles.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_system_common.h"

#include <filesystem>

using namespace irr;

namespace {

class SystemTick : public ScriptNatives {
protected:
    void SetUp() override
    {
        ScriptNatives::SetUp();
        writeData("a.txt", "first");
        writeData("boot.nut", "loadedCount <- (\"loadedCount\" in getroottable() ? loadedCount : 0) + 1;");
        writeData("c.txt", "third");
        writeData("manifest.xml", "<Manifest><Fonts/><Cursors/><AtlasLists/><Materials/><ParticleGroups>"
                                  "<ParticleGroup><InternalName val=\"tick_sparks\"/><Data>-100%:5\n-50%:9</Data>"
                                  "</ParticleGroup></ParticleGroups></Manifest>");
        Previous = std::filesystem::current_path();
        std::filesystem::current_path(Folder.path() + "app/data/");   // preload names are relative to it
        Root = addNode("pole");
        Engine.RootNode = Root;
        Engine.GameState = CSystemTickAnimator::PreloadingState;
        Tick = new CSystemTickAnimator();
        Tick->Hooks.Sleep = [this](uint32_t ms) { Slept.push_back(ms); };
        Tick->Hooks.IsWindowActive = [this] { return WindowActive; };
        attachAnimator(Root, Tick);
        Engine.DeviceClockTick = 10000;   // the frame's tick count
    }
    void TearDown() override
    {
        *GetDebugModeFlag() = 0;
        Engine.RootNode = nullptr;
        std::filesystem::current_path(Previous);
        ScriptNatives::TearDown();
    }

    std::filesystem::path Previous;
    CProbeNode* Root = nullptr;
    CSystemTickAnimator* Tick = nullptr;   // held by the root
    std::vector<uint32_t> Slept;
    bool WindowActive = true;
};

TEST_F(SystemTick, LoadsOneFilePerFrameThenTheStagesThenStartsTheGame)
{
    u32 t = 1000;
    const float expected[] = {0.25f, 0.5f, 0.75f, 1.0f};   // a.txt, boot.nut, c.txt, manifest.xml
    for (float progress : expected) {
        frame(t += 20);
        EXPECT_FLOAT_EQ(Engine.PreloadProgress, progress);
        EXPECT_EQ(Engine.GameState, CSystemTickAnimator::PreloadingState);
    }
    EXPECT_EQ(run("return loadedCount;").ToInteger(), 1) << "the script file was loaded by its preload";
    for (int stage = 0; stage < 3; ++stage) {   // atlas lists, particle groups, materials
        EXPECT_EQ(findParticleGroup("tick_sparks") != nullptr, stage >= 2) << stage;
        frame(t += 20);
        EXPECT_EQ(Engine.GameState, CSystemTickAnimator::PreloadingState) << stage;
    }
    EXPECT_NE(findParticleGroup("tick_sparks"), nullptr);
    frame(t += 20);
    EXPECT_EQ(Engine.GameState, CSystemTickAnimator::StartedState);
    EXPECT_EQ(run("return loadedCount;").ToInteger(), 2) << "the script buffer ran once more";
    EXPECT_EQ(Tick->getDiscretion(), CSystemTickAnimator::TickPeriodMs);
    EXPECT_TRUE(Slept.empty());
}

TEST_F(SystemTick, SleepsWhilePausedAndFollowsTheWindowFocus)
{
    Engine.GameState = 500;   // skip the loading
    Engine.AppActive = 1;
    Engine.PauseLevel = 60;
    frame(1000);
    ASSERT_EQ(Slept.size(), 1u);
    EXPECT_EQ(Slept[0], 100u);
    Engine.PauseLevel = 0;

    WindowActive = false;
    RecordKeyState('H', true);   // let go in the other window: no release comes
    Engine.DeviceClockTick += 400;
    frame(1020);
    EXPECT_EQ(Engine.AppActive, 1) << "the first frame checked; not again within 500 ms";
    Engine.DeviceClockTick += 200;
    frame(1030);
    EXPECT_EQ(Engine.AppActive, 0);
    WindowActive = true;
    Engine.DeviceClockTick += 300;
    frame(1040);
    EXPECT_EQ(Engine.AppActive, 0) << "not again within 500 ms";
    Engine.DeviceClockTick += 300;
    frame(1060);
    EXPECT_EQ(Engine.AppActive, 1);
    EXPECT_EQ(GetKeyStateIfActive('H'), 0) << "forgotten when the focus went";
    EXPECT_EQ(Slept.size(), 1u);
}

// With fast frames the ticks come exactly 500 ms of frame time apart, and the
// clock read later in a frame may be a millisecond further on.
TEST_F(SystemTick, EveryTickFollowsTheFocusWhenTheTicksAreOnePeriodApart)
{
    CFakeClock clock(20000);
    Engine.GameState = CSystemTickAnimator::StartedState;
    Engine.AppActive = 1;
    Tick->setDiscretion(CSystemTickAnimator::TickPeriodMs);
    const uint32_t lateInTheFrame[] = {1, 0, 1, 0, 0, 0};
    for (uint32_t late : lateInTheFrame) {
        WindowActive = !WindowActive;
        Engine.advanceDeviceClock(platform::GetTickCount());   // as the frame begins
        clock.advance(late);
        frame(now());
        EXPECT_EQ(Engine.AppActive, WindowActive ? 1 : 0) << "tick at " << clock.NowMs;
        clock.advance(CSystemTickAnimator::TickPeriodMs - late);
    }
}

TEST_F(SystemTick, OverlayShownWithStatisticsAndHiddenWithTheDebugFlag)
{
    Engine.GameState = 500;
    frame(1000);
    EXPECT_EQ(getTextNodeOf(Root), nullptr) << "no overlay while the flag is off";
    *GetDebugModeFlag() = 1;
    frame(1020);
    frame(1040);
    CTextNode* overlay = getTextNodeOf(Root);
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->getID(), 8001);
    EXPECT_EQ(overlay->getLayer(), 7);
    EXPECT_TRUE(overlay->isVisible());
    std::string text = (const char*)overlay->getText();
    EXPECT_NE(text.find("<font-size:-2><font-face:alt><left>\nFPS="), std::string::npos) << text;
    EXPECT_NE(text.find("UnderCursorID=0 (null)"), std::string::npos) << text;
    EXPECT_NE(text.find("sqcache="), std::string::npos) << text;
    *GetDebugModeFlag() = 0;
    frame(1060);
    EXPECT_FALSE(overlay->isVisible());
}

}  // namespace
