// The engine object, the client interface's defaults and the message queue.
#include "module_enginebase.h"

#include "fake_clock.h"
#include "fake_engine_client.h"
#include "rendering_font.h"
#include "server_sound_bass.h"
#include "utils_debug.h"
#include "utils_engine_context.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

TEST(EngineClient, FontScaleTable)
{
    CFakeEngineClient client;
    struct Case { const char* text; float scale; };
    const Case cases[] = {
        {"+3", 2.0f}, {"3", 2.0f}, {"+4", 2.5f}, {"4", 2.5f}, {"1", 1.2f}, {"+2", 1.5f},
        {"-1", 0.8f}, {"-2", 0.5f}, {"-3", 0.2f}, {"-4", 0.1f},
        {"-5", 1.0f}, {"0", 1.0f}, {"+0", 1.0f}, {"5", 1.0f}, {"", 1.0f}, {"abc", 1.0f}, {"-", 1.0f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(client.getFontScale(c.text), c.scale) << '"' << c.text << '"';
    EXPECT_FLOAT_EQ(client.getFontScale(nullptr), 1.0f);
}

TEST(EngineClient, FontByFaceName)
{
    CEngineBase engine;
    CFakeEngineClient client;
    EXPECT_EQ(client.getFont(nullptr), nullptr) << "no manifest font: no default font";
    EXPECT_EQ(client.getFont("Arial"), nullptr);

    CGUIFont3D* plain = new CGUIFont3D;
    CGUIFont3D* longName = new CGUIFont3D;
    engine.Fonts.insert("Arial", plain);
    engine.Fonts.insert("ABCDEFGHIJKLMNO", longName);   // 15 characters
    engine.DefaultFont = plain;

    struct Case { const char* name; CGUIFont3D* font; };
    const Case cases[] = {
        {"Arial", plain},
        {"Arial<font-size:2>", plain},
        {"Arial text", plain},
        {"Arial\r\n", plain},
        {"ABCDEFGHIJKLMNOPQRST", longName},   // looked up by its first 15
        {"ABCDEFGHIJKLMN", plain},            // not in the map: the default
        {"arial", plain},                      // case matters; the default again
        {nullptr, plain},
    };
    for (const Case& c : cases)
        EXPECT_EQ(client.getFont(c.name), c.font) << (c.name ? c.name : "(null)");

    engine.Fonts.clear();
    engine.DefaultFont = nullptr;
    plain->drop();
    longName->drop();
}

TEST(EngineBase, LogHonoursLogLevel)
{
    CEngineBase engine;
    engine.Options.LogLevel = 2;
    GetDebugLogBuffer()->reset();
    engine.log("quiet line", 1);
    EXPECT_EQ(std::strstr(GetDebugLogBuffer()->Text, "quiet line"), nullptr);
    engine.log("loud line", 2);
    EXPECT_NE(std::strstr(GetDebugLogBuffer()->Text, "loud line"), nullptr);
}

TEST(EngineBase, ClientIsHeldAndToldOfStates)
{
    CFakeEngineClient* client = new CFakeEngineClient;   // count 1: ours
    {
        CEngineBase engine;
        engine.setGameState(500);
        EXPECT_EQ(engine.GameState, 500) << "no client: the state is stored all the same";

        engine.setClient(client);
        EXPECT_EQ(client->getReferenceCount(), 2);
        engine.setClient(client);   // the same client again must survive
        EXPECT_EQ(client->getReferenceCount(), 2);
        engine.setGameState(100);
        ASSERT_EQ(client->States, std::vector<int>({100}));

        engine.setClient(nullptr);
        EXPECT_EQ(client->getReferenceCount(), 1);
        engine.setGameState(999);
        EXPECT_EQ(client->States.size(), 1u) << "a dropped client hears nothing";

        engine.setClient(client);
    }
    EXPECT_EQ(client->getReferenceCount(), 1) << "the engine's destruction drops the client";
    client->drop();
}

TEST(EngineBase, NewestEngineIsTheCurrentOne)
{
    CEngineBase first;
    EXPECT_EQ(getEngine(), &first);
    {
        CEngineBase second;
        EXPECT_EQ(getEngine(), &second);
        second.GameState = 500;
        EXPECT_TRUE(isGameStarted());
        EXPECT_EQ(GetEngineContext().getAppActiveFlag(), &second.AppActive);
    }
    EXPECT_EQ(getEngine(), &first) << "the older engine is current again";
    EXPECT_EQ(GetEngineContext().getAppActiveFlag(), &first.AppActive);
}

TEST(EngineBase, ContextAnswersFromTheEngine)
{
    CEngineBase engine;
    engine.Options.Debug = 3;
    engine.AppActive = -1;
    EXPECT_EQ(GetEngineContext().isDebugMode(), 3);
    EXPECT_EQ(GetEngineContext().getAppActiveFlag(), &engine.AppActive);
    EXPECT_EQ(GetEngineContext().getFullscreenFlag(), &engine.Fullscreen);
}

TEST(EngineBase, TimerSpeedsAndCursorSelection)
{
    CEngineBase engine;
    CFakeEngineClient* client = new CFakeEngineClient;
    engine.setClient(client);
    client->drop();
    client->GameTimerSpeed = 0.0f;
    EXPECT_FLOAT_EQ(engine.getTimerSpeed(1), 1.0f) << "cached until the next frame";
    engine.tickClient();
    EXPECT_FLOAT_EQ(engine.getTimerSpeed(1), 0.0f);
    EXPECT_FLOAT_EQ(engine.getTimerSpeed(0), 1.0f);
    EXPECT_FLOAT_EQ(engine.getTimerSpeed(7), 1.0f);

    CCursorEntry* a = new CCursorEntry;
    CCursorEntry* b = new CCursorEntry;
    engine.Cursors.Add(a);
    engine.Cursors.Add(b);
    engine.selectCursor(2, 1);
    EXPECT_EQ(engine.CurrentCursor, b);
    EXPECT_EQ(engine.CursorAnimate, 1);
    engine.selectCursor(0, 0);
    EXPECT_EQ(engine.CurrentCursor, b) << "0 keeps the cursor";
    engine.selectCursor(3, 0);
    EXPECT_EQ(engine.CurrentCursor, b) << "beyond the list: kept";
    engine.selectCursor(-1, 0);
    EXPECT_EQ(engine.CurrentCursor, nullptr);
}

TEST(WideCharBuffer, CopiesThroughTheCodePage)
{
    EXPECT_STREQ(CWideCharBuffer(nullptr).c_str(), L"");
    EXPECT_STREQ(CWideCharBuffer("").c_str(), L"");
    EXPECT_STREQ(CWideCharBuffer("Game title").c_str(), L"Game title");
}

// --- the message queue ---

class CRecordingHandler : public IEngineMessageHandler {
public:
    void update(uint32_t nowMs) override { Updates.push_back(nowMs); }
    int handleMessage(SEngineMessage& message) override
    {
        Handled.push_back(message.arg1);
        if (message.arg1 == KeepArg && message.step < KeepSteps) {
            ++message.step;
            message.dueTick += 50;
            return 0;
        }
        return Answer;
    }

    std::vector<uint32_t> Updates;
    std::vector<uintptr_t> Handled;
    int Answer = 1;
    uintptr_t KeepArg = ~uintptr_t(0);
    int KeepSteps = 0;
};

TEST(EngineMessageQueue, EmptyPassStillUpdatesSound)
{
    CFakeClock clock(7000);
    CRecordingHandler sound, renderer;
    CEngineMessageQueue queue(&sound, &renderer);
    EXPECT_FALSE(queue.dispatchMessages());
    ASSERT_EQ(sound.Updates.size(), 1u);
    EXPECT_EQ(sound.Updates[0], 7000u);
}

TEST(EngineMessageQueue, DueOnlyAfterTheTickHasPassed)
{
    CFakeClock clock(7000);
    CRecordingHandler sound, renderer;
    CEngineMessageQueue queue(&sound, &renderer);
    queue.postMessage(0x1004, 1, 0, 0);   // due now: 7000
    EXPECT_TRUE(queue.dispatchMessages());
    EXPECT_TRUE(sound.Handled.empty()) << "a pass at the same tick leaves it";
    clock.advance(1);
    queue.dispatchMessages();
    EXPECT_EQ(sound.Handled, std::vector<uintptr_t>({1}));
    EXPECT_EQ(queue.getCount(), 0);
}

TEST(EngineMessageQueue, TimedMessagesRunInDueOrder)
{
    CFakeClock clock(10000);
    CRecordingHandler sound, renderer;
    CEngineMessageQueue queue(&sound, &renderer);
    queue.postMessage(0x1001, 3, 0, 10300);
    queue.postMessage(0x1001, 1, 0, 10100);
    queue.postMessage(0x1001, 2, 0, 10200);
    for (int frame = 0; frame < 40; ++frame) {
        clock.advance(16);
        queue.dispatchMessages();
    }
    EXPECT_EQ(sound.Handled, std::vector<uintptr_t>({1, 2, 3}));
}

TEST(EngineMessageQueue, KeptMessageHoldsItsPlace)
{
    CFakeClock clock(1000);
    CRecordingHandler sound, renderer;
    sound.KeepArg = 1;
    sound.KeepSteps = 2;
    CEngineMessageQueue queue(&sound, &renderer);
    queue.postMessage(0x1001, 1, 0, 0);
    queue.postMessage(0x1003, 2, 0, 0);
    clock.advance(1);
    queue.dispatchMessages();
    EXPECT_EQ(sound.Handled, std::vector<uintptr_t>({1, 2}));
    queue.postMessage(0x1003, 3, 0, 0);
    clock.advance(100);
    queue.dispatchMessages();
    EXPECT_EQ(sound.Handled, std::vector<uintptr_t>({1, 2, 1, 3})) << "the kept message comes first";
    clock.advance(100);
    queue.dispatchMessages();
    EXPECT_EQ(queue.getCount(), 0);
}

TEST(EngineMessageQueue, FamiliesChooseTheReceiver)
{
    CFakeClock clock(1000);
    CRecordingHandler sound, renderer;
    sound.Answer = 0;   // the sound server would keep it; the renderer's answer counts
    CEngineMessageQueue queue(&sound, &renderer);
    queue.postMessage(0x1001, 1, 0, 0);
    queue.postMessage(0x4002, 2, 0, 0);
    queue.postMessage(0x5000, 3, 0, 0);
    queue.postMessage(0x0001, 4, 0, 0);   // neither family: stays for good
    for (int pass = 0; pass < 3; ++pass) {
        clock.advance(10);
        queue.dispatchMessages();
    }
    EXPECT_EQ(renderer.Handled, std::vector<uintptr_t>({2, 3}));
    EXPECT_EQ(sound.Handled, std::vector<uintptr_t>({1, 3, 1, 1}));
    EXPECT_EQ(queue.getCount(), 2) << "the kept sound message and the message of no family";
}

TEST(EngineMessageQueue, ArgumentsCarryPointers)
{
    CFakeClock clock(1000);
    CRecordingHandler sound, renderer;
    CEngineMessageQueue queue(&sound, &renderer);
    char* text = static_cast<char*>(std::malloc(8));
    std::strcpy(text, "shot");
    queue.postMessage(0x1004, reinterpret_cast<uintptr_t>(text), 0, 0);
    SEngineMessage* message = queue.findMessage(0x1004);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(message->arg1), "shot");
    // Never handled: the queue frees the effect name when it goes.
}

// A screenshot asked for in the last frame of a run still owns its file name;
// the leak checker of the sanitizer build fails this test if it is lost.
TEST(EngineMessageQueue, UnhandledScreenshotNameIsFreed)
{
    CFakeClock clock(1000);
    CRecordingHandler sound, renderer;
    auto queue = std::make_unique<CEngineMessageQueue>(&sound, &renderer);
    queue->postMessage(EngineMessageScreenshot, 0, reinterpret_cast<uintptr_t>(strdup("last.bmp")), 0);
    queue->postMessage(SM_PLAY_EFFECT, reinterpret_cast<uintptr_t>(strdup("click")), 0, 0);
    EXPECT_EQ(queue->getCount(), 2);
    queue.reset();
    EXPECT_TRUE(renderer.Handled.empty());
}

} // namespace
