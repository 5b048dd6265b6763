// The game's client as the engine sees it every frame: game time that stops
// while paused, the cursor it picks, the path-search statistic it keeps and
// reports at exit, and the records and effects it makes.
#include "enginebindings.h"

#include "input_fixture.h"
#include "module_dialogfactory.h"
#include "module_mousekeyb.h"
#include "module_userprofile.h"
#include "spritebindings.h"
#include "stuff/texteffects.h"
#include "utils_debug.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class GameClientTest : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        Game = new CGameClient;
        Engine.setClient(Game);
        Game->drop();
        Client = nullptr;
        First = new CCursorEntry;
        Second = new CCursorEntry;
        Engine.Cursors.Add(First);
        Engine.Cursors.Add(Second);
        PathSearchCount = 0;
        PathSearchMax = 0;
    }
    void TearDown() override
    {
        getClickBlockList().RemoveAll();
        *CInputState::getHoveredNodeId() = 0;
        PathSearchCount = 0;
        PathSearchMax = 0;
        InputFixture::TearDown();
    }

    CGameClient* Game = nullptr;   // borrowed from the engine
    CCursorEntry* First = nullptr;
    CCursorEntry* Second = nullptr;
};

TEST_F(GameClientTest, GameTimeStopsWhilePausedAndWhileTheOverlayFades)
{
    struct Case {
        int pause;
        float timer0, timer1, timer2;
    } cases[] = {
        {0, 1.0f, 1.0f, 1.0f},
        {60, 1.0f, 0.0f, 1.0f},
        {30, 1.0f, 0.0f, 1.0f},   // the pause overlay still fades out
        {0, 1.0f, 1.0f, 1.0f},
    };
    for (const Case& c : cases) {
        Engine.PauseLevel = c.pause;
        EXPECT_FLOAT_EQ(Game->getTimerSpeed(0), c.timer0) << "pause " << c.pause;
        EXPECT_FLOAT_EQ(Game->getTimerSpeed(1), c.timer1) << "pause " << c.pause;
        EXPECT_FLOAT_EQ(Game->getTimerSpeed(2), c.timer2) << "pause " << c.pause;
    }
    Engine.PauseLevel = 0;
}

TEST_F(GameClientTest, CursorFollowsTheButtonAndWhatLiesUnderIt)
{
    struct Case {
        const char* what;
        bool held;
        irr::s32 hovered;
        bool blocked;
        int animate;
    };
    const Case cases[] = {
        {"button up over empty space", false, 0, false, 0},
        {"over a clickable node", false, 1005, false, 1},
        {"over a node with a click blocker", false, 1005, true, 0},
        {"button held over empty space", true, 0, false, 1},
        {"button held over a blocked node", true, 1005, true, 1},
    };
    for (const Case& c : cases) {
        getClickBlockList().RemoveAll();
        if (c.blocked)
            getClickBlockList().Add(1005);
        mouse(c.held ? irr::EMIE_LMOUSE_PRESSED_DOWN : irr::EMIE_LMOUSE_LEFT_UP);
        ASSERT_EQ(Engine.Input.isLeftButtonDown() != 0, c.held) << c.what;
        *CInputState::getHoveredNodeId() = c.hovered;
        Engine.CursorAnimate = -1;
        Game->onFrame();
        EXPECT_EQ(Engine.CurrentCursor, c.held ? Second : First) << c.what;
        EXPECT_EQ(Engine.CursorAnimate, c.animate) << c.what;
    }
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
}

TEST_F(GameClientTest, PathSearchMaximumIsKeptPerFrameAndReportedAtExit)
{
    const int counts[] = {3, 7, 2, -5, 0};
    const int maxima[] = {3, 7, 7, 7, 7};
    for (size_t i = 0; i < sizeof(counts) / sizeof(counts[0]); ++i) {
        PathSearchCount = counts[i];
        Game->onFrame();
        EXPECT_EQ(PathSearchCount, 0) << "cleared every frame";
        EXPECT_EQ(PathSearchMax, maxima[i]) << "after a frame with " << counts[i];
    }
    ClearProfilerStats();
    Game->onGameStateChanged(500);
    EXPECT_EQ(std::string(GetProfilerReport()).find("MaxPathsearches"), std::string::npos)
        << "only the exit state writes the note";
    Game->onGameStateChanged(999);
    const std::string report(GetProfilerReport());
    EXPECT_NE(report.find(">>> MaxPathsearches per frame: '7'"), std::string::npos) << report;
}

TEST_F(GameClientTest, ClientMakesTheGamesObjectsAndConsumesNoEvents)
{
    std::unique_ptr<CProfileData> data(Game->createProfileData());
    EXPECT_NE(dynamic_cast<CGameProfileData*>(data.get()), nullptr);
    CNodeFactory* factory = Game->createNodeFactory();
    EXPECT_NE(dynamic_cast<CGameNodeFactory*>(factory), nullptr);
    factory->drop();
    CDialogInfo* dialog = Game->createDialogInfo();
    EXPECT_NE(dynamic_cast<CGameDialogInfo*>(dialog), nullptr);
    dialog->drop();

    irr::SEvent event{};
    event.EventType = irr::EET_MOUSE_INPUT_EVENT;
    event.MouseInput.Event = irr::EMIE_LMOUSE_PRESSED_DOWN;
    EXPECT_FALSE(Game->OnEvent(event));
    event.EventType = irr::EET_USER_EVENT;
    EXPECT_FALSE(Game->OnEvent(event));

    EXPECT_EQ(getGame(), Game);
    EXPECT_EQ(Game->createTextEffect("bold"), nullptr);
    std::unique_ptr<CTextEffect> effect(Game->createTextEffect("z2fly delays[+0.5] time[2]"));
    auto* fly = dynamic_cast<CZFlyTextEffect*>(effect.get());
    ASSERT_NE(fly, nullptr);
    EXPECT_EQ(fly->mode, 1);
    EXPECT_FLOAT_EQ(fly->delay, 0.5f);
    EXPECT_FLOAT_EQ(fly->time, 2.0f);
}

} // namespace
