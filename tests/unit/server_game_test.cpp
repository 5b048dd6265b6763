// Game states, pause levels and the steppable frame loop on the null driver.
#include "module_enginebase.h"

#include "fake_clock.h"
#include "fake_engine_client.h"
#include "fake_sound_library.h"
#include "msgbox_recorder.h"
#include "archive_writer.h"
#include "asystemanimators.h"
#include "asystemtickanimator.h"
#include "node_base.h"
#include "node_sprite.h"
#include "node_text.h"
#include "node_utilities.h"
#include "server_game_manifest.h"
#include "temp_folder.h"
#include "thread.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_str_lng.h"

#include <ICameraSceneNode.h>
#include <ICursorControl.h>
#include <ISceneManager.h>
#include <ISceneNode.h>
#include <IImage.h>
#include <IVideoDriver.h>
#include <IFileSystem.h>
#include <ILogger.h>
#include <irrlicht.h>   // createDeviceEx

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A program folder of its own, with a "Profile" folder for the user's files,
// so that nothing a test saves lands beside the test program or in the home folder.
class CProgramFolder {
public:
    CProgramFolder()
    {
        std::filesystem::create_directories(Folder.path() + "Profile");
        SetAppFolder(Folder.path().c_str());
        ResetUserFolder();
    }
    ~CProgramFolder()
    {
        ResetUserFolder();
        SetAppFolder(nullptr);
        ClearNativePathCache();
    }
    CProgramFolder(const CProgramFolder&) = delete;
    CProgramFolder& operator=(const CProgramFolder&) = delete;

    CTempFolder Folder;
};

// An engine on the null driver with a recording client, stepped by hand.
class EngineLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeStartupData();
        Client = new CFakeEngineClient;
        Engine.setClient(Client);
        Client->drop();   // the engine holds it
        Engine.Scripts.setRunner(&Runner);
        Engine.ForceNullDriver = true;
        Engine.createDevice();
        ASSERT_NE(Engine.Device, nullptr);
        storeManifest("", "<Fonts></Fonts>");
    }

    // The stored manifest: the head, the fonts and empty other lists.
    void storeManifest(const std::string& head, const std::string& fonts)
    {
        Data.write("manifest.xml", "<Manifest>" + head + fonts + "<Cursors></Cursors><AtlasLists></AtlasLists>"
                                   "<Materials></Materials><ParticleGroups></ParticleGroups></Manifest>");
        ClearTextFileCache();
        CManifest::stored().readFrom(Data.file("manifest.xml").c_str());
        ASSERT_TRUE(CManifest::stored().isLoaded());
    }

    void TearDown() override
    {
        CManifest::stored().clear();
        SetLanguages("", "");
    }

    // The data folder the engine mounts: the pause overlay's picture and the
    // language table with its text.
    void writeStartupData()
    {
        std::filesystem::create_directories(Program.Folder.file("data/gui"));
        Program.Folder.write("data/strings.lng", "GAME.PAUSED=Game paused\n");
        irr::IrrlichtDevice* device = irr::createDevice(irr::video::EDT_NULL);
        irr::video::IVideoDriver* driver = device->getVideoDriver();
        irr::video::IImage* black = driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(4, 4));
        black->fill(irr::video::SColor(255, 0, 0, 0));
        driver->writeImageToFile(black, Program.Folder.file("data/gui/black.png").c_str());
        black->drop();
        device->drop();
        SetLanguages("en", "en");
    }

    // The engine moves the device time on from the clock.
    bool step(uint32_t ms = 16)
    {
        Clock.NowMs += ms;
        return Engine.runFrame();
    }

    CProgramFolder Program;   // first: the engine saves its profile there when it goes
    CTempFolder Data;
    CYieldingClock Clock{100000};   // yielding passes a millisecond, as the limiter needs
    CFakeSoundLibrary SoundLibrary;  // sound starts without an audio device
    CEngineBase Engine;
    CFakeEngineClient* Client = nullptr;   // borrowed from the engine
    CRecordingScriptRunner Runner;
};

TEST_F(EngineLoop, StatesRunFromStartToExit)
{
    Engine.setGameState(10);
    Engine.beginRun();
    EXPECT_EQ(Engine.GameState, 100);
    ASSERT_NE(Engine.Camera, nullptr);
    EXPECT_EQ(Engine.Camera->getID(), 1000);
    ASSERT_NE(Engine.RootNode, nullptr);
    EXPECT_EQ(Engine.RootNode->getID(), 1001);
    EXPECT_STREQ(Engine.RootNode->getName(), "pole");
    EXPECT_EQ(Engine.AppActive, -1);
    EXPECT_TRUE(Engine.isWindowActive()) << "the null driver counts as focused";

    EXPECT_TRUE(step());
    Engine.setGameState(500);
    EXPECT_TRUE(step());
    Engine.setGameState(999);
    EXPECT_FALSE(step()) << "state 999 ends the loop";
    Engine.endRun();
    EXPECT_EQ(Client->States, std::vector<int>({10, 100, 500, 999, 999}));
}

TEST_F(EngineLoop, CameraAndRootAreFoundByNameAndIdWhileTheLoopRuns)
{
    Engine.beginRun();
    struct Case {
        const char* name;
        irr::s32 id;
        irr::scene::ISceneNode* node;
    } cases[] = {{"camera", 1000, Engine.Camera}, {"pole", 1001, Engine.RootNode}};
    for (const Case& c : cases) {
        ASSERT_NE(c.node, nullptr) << c.name;
        EXPECT_EQ(getIdByName(c.name), c.id) << c.name;
        EXPECT_EQ(getNodeByName(c.name), c.node) << c.name;
        EXPECT_EQ(getNodeById(c.id, nullptr), c.node) << c.name;
    }
    Engine.endRun();
    for (const Case& c : cases)
        EXPECT_EQ(getNodeById(c.id, nullptr), nullptr) << c.name << " must not be left behind after the exit";
}

TEST_F(EngineLoop, FrameRunsInItsFixedOrder)
{
    Engine.beginRun();
    // A node that records its animation and drawing.
    struct CProbe : public irr::scene::ISceneNode {
        CProbe(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* smgr, std::vector<std::string>& log)
            : ISceneNode(parent, smgr, -1), Log(log) {}
        void OnAnimate(irr::u32 timeMs) override { Log.push_back("animate"); ISceneNode::OnAnimate(timeMs); }
        void OnRegisterSceneNode() override
        {
            SceneManager->registerNodeForRendering(this);
            ISceneNode::OnRegisterSceneNode();
        }
        void render() override { Log.push_back("draw"); }
        const irr::core::aabbox3d<irr::f32>& getBoundingBox() const override { return Box; }
        irr::core::aabbox3d<irr::f32> Box{-1, -1, -1, 1, 1, 1};
        std::vector<std::string>& Log;
    };
    std::vector<std::string>& log = Client->Calls;
    CProbe* probe = new CProbe(Engine.RootNode, Engine.SceneManager, log);
    probe->drop();
    Client->OnFrame = [&] {
        // Posted during the client's turn with a due tick already past: the
        // dispatch of this very frame must carry it out.
        Engine.Queue.postMessage(0x4002, 0, 0, 1);
        Engine.Scripts.queueScriptCall("afterDispatch");
    };
    Runner.OnCall = [&](const char* name) {
        log.push_back(std::string("script:") + name + (Engine.Queue.getCount() == 0 ? " after dispatch" : ""));
    };
    log.clear();
    ASSERT_TRUE(step());
    EXPECT_EQ(log, std::vector<std::string>({"animate", "draw", "frame", "script:afterDispatch after dispatch"}));
    EXPECT_EQ(Engine.Renderer.getFrameCounter(), 1u);
}

TEST_F(EngineLoop, LimiterHoldsTwelveMillisecondsWithoutSpinning)
{
    Engine.beginRun();
    CYieldingClock clock(50000);
    uint32_t start = platform::GetTickCount();
    Engine.Renderer.limitFrameRate(12, start);
    EXPECT_EQ(platform::GetTickCount() - start, 12u);
    EXPECT_EQ(clock.Sleeps, std::vector<uint32_t>({11, 0})) << "sleep to 1 ms before, then yield";

    clock.Sleeps.clear();
    start = platform::GetTickCount();
    clock.NowMs += 20;
    Engine.Renderer.limitFrameRate(12, start);
    EXPECT_TRUE(clock.Sleeps.empty()) << "a long frame is not held back";

    Engine.Options.SoftwareRenderer = 1;
    start = platform::GetTickCount();
    Engine.Renderer.limitFrameRate(12, start);
    EXPECT_TRUE(clock.Sleeps.empty()) << "off with the software renderer";
}

TEST_F(EngineLoop, ExitRequestEndsTheLoopAfterThatFrame)
{
    Engine.beginRun();
    Client->OnFrame = [&] { Engine.requestExit(); };
    EXPECT_FALSE(step());
    EXPECT_EQ(Engine.PauseLevel, 0) << "the request changes neither level nor state";
    EXPECT_EQ(Engine.GameState, 100);
}

TEST_F(EngineLoop, ExitSequenceTearsDownInOrder)
{
    Engine.beginRun();
    ASSERT_TRUE(step());
    CCursorEntry* cursor = new CCursorEntry;
    Engine.Cursors.Add(cursor);
    Engine.CurrentCursor = cursor;
    GetLngCache().SetAt("exit.probe", "cached");
    Client->Calls.clear();
    CMessageBoxRecorder boxes;
    Engine.endRun();
    EXPECT_EQ(GetLngCache().GetCount(), 0) << "the caches are cleared at exit";
    EXPECT_TRUE(boxes.Boxes.empty()) << "quietly";
    EXPECT_EQ(Engine.PauseLevel, 90);
    EXPECT_EQ(Engine.GameState, 999);
    EXPECT_EQ(Engine.Camera, nullptr);
    EXPECT_EQ(Engine.RootNode, nullptr);
    EXPECT_EQ(Engine.SceneManager->getSceneNodeFromId(1001), nullptr);
    EXPECT_EQ(Engine.SceneManager->getSceneNodeFromId(1000), nullptr);
    EXPECT_EQ(Engine.Cursors.GetSize(), 0);
    EXPECT_EQ(Engine.CurrentCursor, nullptr);
    EXPECT_EQ(Client->Calls, std::vector<std::string>({"shutdown"}));
}

TEST_F(EngineLoop, OrphanedNodesAreNamedInDebugMode)
{
    CMessageBoxRecorder boxes;
    Engine.beginRun();
    irr::scene::ISceneNode* stray = Engine.SceneManager->addEmptySceneNode(nullptr, 4242);
    stray->setName("stray");
    stray->grab();
    GetLiveNodeList().push_back(stray);

    Engine.Options.Debug = 0;
    Engine.endRun();
    EXPECT_TRUE(boxes.Boxes.empty()) << "only in debug mode";

    Engine.beginRun();
    Engine.Options.Debug = 1;
    Engine.endRun();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Orphaned Nodes found!\r\nstray");

    GetLiveNodeList().clear();
    stray->drop();
    Engine.beginRun();
    Engine.endRun();
    EXPECT_EQ(boxes.Boxes.size(), 1u) << "every node freed: no box";
}

TEST_F(EngineLoop, CursorFollowsPauseAndState)
{
    Engine.beginRun();
    Engine.getProfile()->CursorFace = 1;
    CCursorEntry* custom = new CCursorEntry;
    custom->Size.set(32, 32);
    Engine.Cursors.Add(custom);
    Engine.CurrentCursor = custom;
    irr::gui::ICursorControl* cursor = Engine.Device->getCursorControl();
    ASSERT_NE(cursor, nullptr);
    ASSERT_TRUE(step());
    EXPECT_TRUE(cursor->isVisible()) << "below 500: the system cursor";
    Engine.setGameState(500);
    ASSERT_TRUE(step());
    EXPECT_FALSE(cursor->isVisible()) << "in play with a cursor face: the custom cursor";
    Engine.setPauseLevel(60, true);
    ASSERT_TRUE(step());
    EXPECT_TRUE(cursor->isVisible()) << "paused: the system cursor again";
    Engine.setPauseLevel(60, false);
    ASSERT_TRUE(step());
    EXPECT_FALSE(cursor->isVisible());
    Engine.selectCursor(-1, 0);
    ASSERT_TRUE(step());
    EXPECT_TRUE(cursor->isVisible()) << "no custom cursor to draw: the system one, never no pointer at all";
}

TEST_F(EngineLoop, CustomCursorFramesAdvanceAfterFortyMilliseconds)
{
    Engine.beginRun();
    Engine.FramePeriodMs = 0;   // only the steps below move the clock
    Engine.getProfile()->CursorFace = 1;
    Engine.setGameState(500);
    CCursorEntry* cursor = new CCursorEntry;
    cursor->SpritesX = 8;
    cursor->Size.set(256, 32);
    Engine.Cursors.Add(cursor);
    Engine.CurrentCursor = cursor;

    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(step(50));
    EXPECT_EQ(Engine.CursorFrame, 0) << "not animating: rests on frame 0";

    Engine.CursorAnimate = 1;
    ASSERT_TRUE(step(50));
    EXPECT_EQ(Engine.CursorFrame, 1);
    ASSERT_TRUE(step(40));
    EXPECT_EQ(Engine.CursorFrame, 1) << "exactly 40 ms is not enough";
    ASSERT_TRUE(step(1));
    EXPECT_EQ(Engine.CursorFrame, 2);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(step(41));
    EXPECT_EQ(Engine.CursorFrame, 7);
    Engine.CursorAnimate = 0;
    ASSERT_TRUE(step(41));
    EXPECT_EQ(Engine.CursorFrame, 0) << "off frame 0 it runs on until it wraps";
}

// --- pause levels ---

TEST_F(EngineLoop, PauseBeforePlayStoresTheLevelOnly)
{
    Engine.beginRun();
    Engine.Sound.init(1);
    EXPECT_TRUE(Engine.setPauseLevel(60, true));
    EXPECT_EQ(Engine.getPauseLevel(), 60);
    EXPECT_EQ(Engine.SceneManager->getSceneNodeFromName("pause_fader"), nullptr) << "state 100: no overlay";
    EXPECT_EQ(Engine.Queue.findMessage(SM_SET_VOLUMES), nullptr) << "and no volume change";
    EXPECT_TRUE(Engine.setPauseLevel(60, false));
    EXPECT_EQ(Engine.getPauseLevel(), 0);
}

TEST_F(EngineLoop, PauseInPlayShowsOneOverlayThatFadesOut)
{
    Engine.beginRun();
    Engine.Sound.init(1);
    Engine.setGameState(500);
    EXPECT_TRUE(Engine.setPauseLevel(60, true));
    EXPECT_TRUE(Engine.setPauseLevel(60, true));
    int overlays = 0;
    for (irr::scene::ISceneNode* child : Engine.RootNode->getChildren())
        overlays += std::strcmp(child->getName(), "pause_fader") == 0;
    EXPECT_EQ(overlays, 1);
    EXPECT_NE(Engine.Queue.findMessage(SM_SET_VOLUMES), nullptr) << "volumes follow the pause";
    EXPECT_FLOAT_EQ(Engine.getTimerSpeed(1), 1.0f);

    EXPECT_TRUE(Engine.setPauseLevel(60, false));
    EXPECT_EQ(Engine.PauseLevel, 0);
    EXPECT_EQ(Engine.getPauseLevel(), 30) << "the overlay is fading out";
    ASSERT_TRUE(step(500));
    EXPECT_EQ(Engine.getPauseLevel(), 30);
    ASSERT_TRUE(step(600));
    ASSERT_TRUE(step(16));
    EXPECT_EQ(Engine.SceneManager->getSceneNodeFromName("pause_fader"), nullptr);
    EXPECT_EQ(Engine.getPauseLevel(), 0);
}

TEST_F(EngineLoop, PauseWithoutTheBlackPictureDarkensWithAMadeOne)
{
    std::filesystem::remove(Program.Folder.file("data/gui/black.png"));
    Engine.beginRun();
    Engine.setGameState(500);
    ASSERT_TRUE(Engine.setPauseLevel(60, true));
    auto* sprite = dynamic_cast<CSpriteNode*>(Engine.SceneManager->getSceneNodeFromName("pause_fader"));
    ASSERT_NE(sprite, nullptr);
    EXPECT_NE(sprite->getTextureRegion().Texture, nullptr);
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("The data has no 'gui\\black.png': a made picture"),
              std::string::npos);
}

TEST_F(EngineLoop, PauseOverlayShowsTheTextAndFadesInAndOut)
{
    Engine.beginRun();
    // Only the steps below move the clock: no frame limit, and the pause
    // throttle's sleeps pass no time.
    Engine.FramePeriodMs = 0;
    for (irr::scene::ISceneNodeAnimator* animator : Engine.RootNode->getAnimators())
        if (auto* tick = dynamic_cast<CSystemTickAnimator*>(animator))
            tick->Hooks.Sleep = [](uint32_t) {};
    Engine.setGameState(500);
    ASSERT_TRUE(Engine.setPauseLevel(60, true));

    auto* overlay = dynamic_cast<CNodeBasement*>(Engine.SceneManager->getSceneNodeFromName("pause_fader"));
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->getParent(), Engine.RootNode);
    EXPECT_EQ(overlay->getPosition(), irr::core::vector3df(0.0f, 0.0f, -5.0f));
    EXPECT_FLOAT_EQ(overlay->getSize().Width, 40.0f);
    EXPECT_FLOAT_EQ(overlay->getSize().Height, 30.0f);
    auto* sprite = dynamic_cast<CSpriteNode*>(overlay);
    ASSERT_NE(sprite, nullptr) << "the overlay is a sprite of the black picture";
    EXPECT_NE(std::string(sprite->getTextureRegion().Name).find("black.png"), std::string::npos);

    CTextNode* text = getTextNodeOf(overlay);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->getID(), 8001);
    EXPECT_EQ(std::string(text->getText()), "<font-size:-1>\nGame paused");
    EXPECT_EQ(text->getPosition(), irr::core::vector3df(0.0f, 0.0f, -0.1f));

    ASSERT_TRUE(step(0));
    EXPECT_NEAR(overlay->getAlpha(), 0.0f, 0.02f) << "the fade starts at once";
    ASSERT_TRUE(step(500));
    EXPECT_NEAR(overlay->getAlpha(), 0.5f, 0.02f);
    ASSERT_TRUE(step(600));
    EXPECT_FLOAT_EQ(overlay->getAlpha(), 1.0f);

    ASSERT_TRUE(Engine.setPauseLevel(60, false));
    ASSERT_TRUE(step(0));
    EXPECT_NE(overlay->findAnimatorByName(CSelfDestroyAnimator::UniqueName, false), nullptr);
    ASSERT_TRUE(step(500));
    EXPECT_NE(Engine.SceneManager->getSceneNodeFromName("pause_fader"), nullptr) << "still fading out";
    EXPECT_LT(overlay->getInheritedAlpha(), 1.0f) << "the fade of the last 900 ms has begun";
    EXPECT_EQ(Engine.getPauseLevel(), 30);
    ASSERT_TRUE(step(501));
    ASSERT_TRUE(step(16));   // removals queued in a frame are carried out after its draw
    EXPECT_EQ(Engine.SceneManager->getSceneNodeFromName("pause_fader"), nullptr);
    EXPECT_EQ(Engine.getPauseLevel(), 0);
}

TEST_F(EngineLoop, FadingIsReportedAtMostThreeSeconds)
{
    Engine.beginRun();
    Engine.setGameState(500);
    Engine.setPauseLevel(60, true);
    Engine.setPauseLevel(60, false);
    // The overlay is still there (its animator has not run), but the window has passed.
    Clock.NowMs += 3000;
    EXPECT_EQ(Engine.getPauseLevel(), 0);
}

TEST_F(EngineLoop, ExitLevelCannotBeCleared)
{
    Engine.beginRun();
    struct Case { int level; bool set; bool result; int stored; };
    const Case cases[] = {
        {90, true, true, 90},
        {60, false, false, 90},
        {90, false, false, 90},
        {60, true, true, 60},   // a set is not refused
        {30, false, true, 0},   // a clear stores 0 whatever level it names
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Engine.setPauseLevel(c.level, c.set), c.result) << c.level << (c.set ? " set" : " clear");
        EXPECT_EQ(Engine.PauseLevel, c.stored) << c.level << (c.set ? " set" : " clear");
    }
}

TEST_F(EngineLoop, PauseLevelNinetyEndsTheLoop)
{
    Engine.beginRun();
    ASSERT_TRUE(step());
    Engine.setPauseLevel(90, true);
    EXPECT_FALSE(step());
}

// The start-up script is read whole before the first frame; a UTF-16 one is
// named in the log, not run as the byte or two before its first NUL.
TEST_F(EngineLoop, Utf16StartupScriptIsNamedNotRun)
{
    std::string wide = "\xFF\xFE";
    for (char c : std::string("started <- 1;"))
        wide += std::string{c, '\0'};
    Data.write("startup.nut", wide);
    storeManifest("<InitialScriptFile val=\"" + Data.file("startup.nut") + "\"/>", "<Fonts></Fonts>");
    Engine.beginRun();
    EXPECT_TRUE(Runner.Code.empty()) << Runner.Code[0];
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text)
                  .find("Cannot read '" + Data.file("startup.nut") + "': it is UTF-16 text, which the engine does not read"),
              std::string::npos);
}

// An archive the engine refused leaves the fonts without their files: the
// box that then ends the game says which archive and why.
TEST_F(EngineLoop, FontFailureNamesTheRefusedArchive)
{
    Program.Folder.write("broken.pak", "PAC");
    Program.Folder.write("other.pak", "PAC");
    EXPECT_FALSE(Engine.mountArchive("broken.pak"));
    EXPECT_FALSE(Engine.mountArchive("other.pak"));
    storeManifest("", "<Fonts><Font><InternalName val=\"main\"/><Description val=\"fonts\\main.xml\"/></Font></Fonts>");
    platform::SetBoxesInteractive(0);
    EXPECT_EXIT(Engine.beginRun(), testing::ExitedWithCode(1),
                "Font are not initialized well!\nArchive '[^']*broken.pak' not mounted: [^\n]*\n"
                "Archive '[^']*other.pak' not mounted: ");
    platform::SetBoxesInteractive(-1);
}

} // namespace

// --- device creation and archives ---

namespace {

struct SDeviceAttempt {
    irr::video::E_DRIVER_TYPE Driver;
    int Bits;
    irr::u32 Width;
    bool Vsync;
    int AntiAlias;
};
std::vector<SDeviceAttempt> DeviceAttempts;
int DeviceFailuresLeft = 0;

// Refuses the first DeviceFailuresLeft requests, then makes a null device.
irr::IrrlichtDevice* recordingDeviceFactory(const irr::SIrrlichtCreationParameters& params)
{
    DeviceAttempts.push_back({params.DriverType, params.Bits, params.WindowSize.Width, params.Vsync, params.AntiAlias});
    if (DeviceFailuresLeft-- > 0)
        return nullptr;
    irr::SIrrlichtCreationParameters headless = params;
    headless.DriverType = irr::video::EDT_NULL;
    return irr::createDeviceEx(headless);
}

// The log may begin with an older run's file: look only after this run's marker.
bool logHasAfter(const char* marker, const char* text)
{
    const char* start = std::strstr(GetDebugLogBuffer()->Text, marker);
    return start && std::strstr(start, text) != nullptr;
}

const char* const Retry16 = "Failed to create 3D device... Defaulting to 16b mode...";
const char* const RetrySoftware = "Failed to create 3D device... Defaulting to software mode...";

} // namespace

TEST(DeviceCreation, FallsBackStepByStep)
{
    using irr::video::EDT_BURNINGSVIDEO;
    using irr::video::EDT_OPENGL;
    struct Case {
        int renderer;
        int bits;
        int failures;
        std::vector<std::pair<irr::video::E_DRIVER_TYPE, int>> attempts;
        bool logs16;
        bool logsSoftware;
        int software;
    };
    const Case cases[] = {
        {3, 32, 0, {{EDT_OPENGL, 32}}, false, false, 0},
        {3, 32, 1, {{EDT_OPENGL, 32}, {EDT_OPENGL, 16}}, true, false, 0},
        {3, 32, 2, {{EDT_OPENGL, 32}, {EDT_OPENGL, 16}, {EDT_BURNINGSVIDEO, 32}}, true, true, 1},
        {3, 16, 1, {{EDT_OPENGL, 16}, {EDT_BURNINGSVIDEO, 32}}, false, true, 1},   // no second 16-bit try
        {2, 32, 0, {{EDT_BURNINGSVIDEO, 32}}, false, false, 1},   // the software driver asked for
    };
    for (const Case& c : cases) {
        CProgramFolder program;
        CEngineBase engine;
        engine.CreateDeviceFn = recordingDeviceFactory;
        engine.Options.Renderer = c.renderer;
        engine.Options.BitsPerPixel = c.bits;
        engine.Options.VSync = 1;
        engine.Options.Antialiasing = 1;
        engine.Options.HiQuality = 1;
        DeviceAttempts.clear();
        DeviceFailuresLeft = c.failures;
        std::string marker = "device case " + std::to_string(c.renderer) + "/" + std::to_string(c.bits) + "/" + std::to_string(c.failures) + " of " +
                             std::to_string(getpid());
        DebugLog(marker.c_str());
        engine.createDevice();
        ASSERT_NE(engine.Device, nullptr);
        ASSERT_EQ(DeviceAttempts.size(), c.attempts.size()) << c.bits << " bits, " << c.failures << " failures";
        for (size_t i = 0; i < c.attempts.size(); ++i) {
            EXPECT_EQ(DeviceAttempts[i].Driver, c.attempts[i].first) << "attempt " << i;
            EXPECT_EQ(DeviceAttempts[i].Bits, c.attempts[i].second) << "attempt " << i;
        }
        EXPECT_EQ(DeviceAttempts[0].AntiAlias, 4) << "antialiasing asks for samples";
        const SDeviceAttempt& last = DeviceAttempts.back();
        if (c.logsSoftware) {
            EXPECT_EQ(last.Width, 640u);
            EXPECT_FALSE(last.Vsync);
            EXPECT_EQ(last.AntiAlias, 0);
        }
        EXPECT_EQ(logHasAfter(marker.c_str(), Retry16), c.logs16);
        EXPECT_EQ(logHasAfter(marker.c_str(), RetrySoftware), c.logsSoftware);
        EXPECT_EQ(engine.Options.SoftwareRenderer, c.software);
        EXPECT_EQ(engine.Options.HiQuality, c.software ? 0 : 1);
        EXPECT_EQ(engine.Options.Antialiasing, c.software ? 0 : 1);
        EXPECT_NE(engine.Driver, nullptr);
        EXPECT_NE(engine.SceneManager, nullptr);
        ASSERT_NE(engine.Logger, nullptr);
        EXPECT_EQ(int(engine.Logger->getLogLevel()), engine.Options.LogLevel + 1) << "Irrlicht gained a debug level";
        EXPECT_FALSE(engine.isWindowActive()) << "no window has the focus here";
        engine.releaseDevice();
        EXPECT_EQ(engine.FileSystem, nullptr) << "nothing may reach the file system of a dropped device";
    }
}

TEST(DeviceCreationDeathTest, FinalFailureEndsWithCodeOne)
{
    // Made out here: the child ends without destructors, and would leave the folder behind.
    CProgramFolder program;
    SetLogFolder(program.Folder.path().c_str());
    EXPECT_EXIT(
        {
            platform::ForgetMainThread();   // a forked child runs on a thread id of its own
            CMessageBoxRecorder boxes;
            CEngineBase engine;
            engine.CreateDeviceFn = recordingDeviceFactory;
            engine.Options.BitsPerPixel = 32;
            DeviceFailuresLeft = 3;
            engine.createDevice();
        },
        ::testing::ExitedWithCode(1), "");
    SetLogFolder(nullptr);
}

// An engine on the null driver in a program folder of its own, with a
// folder for archives in it.
class Archives : public ::testing::Test {
protected:
    void SetUp() override
    {
        Engine.ForceNullDriver = true;
        Engine.createDevice();
        ASSERT_NE(Engine.FileSystem, nullptr);
        std::filesystem::create_directories(Root);
    }
    void TearDown() override
    {
        Engine.releaseDevice();
        std::filesystem::remove_all(Root);
    }
    std::string readWhole(const std::string& name) const
    {
        std::ifstream in(Root + "/" + name, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    struct SArchiveCase {
        const char* what;
        std::string bytes;
        bool mounted;
    };
    // Each case's bytes as <Folder>/<prefix><n>.<ending>, mounted.
    void mountEach(const std::vector<SArchiveCase>& cases, const std::string& prefix, const std::string& ending)
    {
        for (size_t n = 0; n < cases.size(); ++n) {
            const std::string name = Folder + "/" + prefix + std::to_string(n) + "." + ending;
            std::ofstream(std::string(GetAppFolderCStr()) + name, std::ios::binary) << cases[n].bytes;
            EXPECT_EQ(Engine.mountArchive(name.c_str()), cases[n].mounted) << cases[n].what;
        }
    }
    static std::string log() { return (const char*)GetDebugLogBuffer()->Text; }

    CProgramFolder Program;
    CEngineBase Engine;
    const std::string Folder = "ecore_archives_" + std::to_string(getpid());
    const std::string Root = std::string(GetAppFolderCStr()) + Folder;
};

TEST_F(Archives, OnlyTheSameArchiveIsRefused)
{
    std::filesystem::create_directories(Root + "/gamedata");
    std::filesystem::create_directories(Root + "/data");
    std::filesystem::create_directories(Root + "/my.pak.game/data");
    std::filesystem::create_directories(Root + "/my.zip.game/data");
    std::ofstream(Root + "/data/probe.txt") << "found";
    std::ofstream(Root + "/my.zip.game/data/zipped.txt") << "found";
    std::ofstream(Root + "/plain.dat") << "no archive";
    // The limits hold far more than a game's data; lowered, tens of names reach them.
    EXPECT_EQ(Engine.FolderMountLimits.Entries, 100000u);
    EXPECT_EQ(Engine.FolderMountLimits.Reads, 300000u);
    Engine.FolderMountLimits = {20, 60};
    // More names than a mount may hold, as a folder of the whole disk would.
    std::filesystem::create_directories(Root + "/huge");
    for (int i = 0; i <= 20; ++i)
        std::ofstream(Root + "/huge/" + std::to_string(i));
    // Links that each lead to a folder of links back to it: every walk of
    // one reads it again, so that the reads, not the names kept, run out;
    // in the folder's own tree they refuse it.
    std::filesystem::create_directories(Root + "/loops/back");
    for (int i = 0; i < 10; ++i)
        std::filesystem::create_directory_symlink(".", Root + "/loops/back/" + std::to_string(i));
    for (int i = 0; i < 10; ++i)
        std::filesystem::create_directory_symlink("back", Root + "/loops/" + std::to_string(i));
    std::filesystem::create_directories(Root + "/circles");
    for (int i = 0; i <= 60; ++i)
        std::filesystem::create_directory_symlink(".", Root + "/circles/" + std::to_string(i));
    // Links to one folder that each fit, of which the mount holds only so many.
    std::filesystem::create_directories(Root + "/assets");
    for (int i = 0; i < 3; ++i)
        std::ofstream(Root + "/assets/" + std::to_string(i) + ".png");
    for (int i = 1; i <= 6; ++i) {
        std::filesystem::create_directories(Root + "/levels/level" + std::to_string(i));
        std::filesystem::create_directory_symlink("../../assets", Root + "/levels/level" + std::to_string(i) + "/assets");
    }
    // A folder and its 19 files fill the mount: a link even to an empty folder is left out.
    std::filesystem::create_directories(Root + "/brim/full");
    std::filesystem::create_directories(Root + "/empty");
    for (int i = 0; i < 19; ++i)
        std::ofstream(Root + "/brim/full/" + std::to_string(i));
    std::filesystem::create_directory_symlink("../empty", Root + "/brim/none");

    struct Case { std::string path; bool mounted; };
    const Case cases[] = {
        {Folder + "/gamedata", true},
        {Folder + "/data", true},          // its name occurs in "gamedata": mounted all the same
        {Folder + "/data", false},         // the very same folder
        {Folder + "/./data", false},       // the same folder by another name
        {Folder + "/missing", false},
        {"", false},
        {Folder + "/my.pak.game/data", true},   // folders above the mount do not make it an archive
        {Folder + "/my.zip.game/data", true},
        {Folder + "/plain.dat", false},   // neither archive nor folder: the log says so
        {Folder + "/huge", false},
        {Folder + "/loops", true},        // without the links it gives up on
        {Folder + "/circles", false},
        {Folder + "/levels", true},       // without the links past its room
        {Folder + "/brim", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Engine.mountArchive(c.path.c_str()), c.mounted) << '"' << c.path << '"';
    EXPECT_STREQ(Engine.MountedArchives, "gamedatadatadatadataplainloopslevelsbrim");   // listed before the file system answers
    EXPECT_TRUE(Engine.FileSystem->existFile("probe.txt"));
    EXPECT_TRUE(Engine.FileSystem->existFile("zipped.txt"));
    const std::string text = log();
    EXPECT_NE(text.find("plain.dat' not mounted: the file system could not open it"), std::string::npos);
    EXPECT_NE(text.find("huge' not mounted: it holds more than 20 files and folders"), std::string::npos);
    EXPECT_NE(text.find("circles' not mounted: its walk read 60 entries, all a mount may"), std::string::npos);
    EXPECT_NE(text.find("loops': the link '"), std::string::npos);
    EXPECT_NE(text.find("is left out: the mount has read 60 entries, all it may"), std::string::npos);
    EXPECT_NE(text.find("brim': the link 'none' is left out: with what it leads to the mount would hold more than "
                        "20 files and folders in all (20 without it)"),
              std::string::npos);
    // Six links of four names each after six folders: the last three do not fit.
    const std::string full = "/assets' is left out: with what it leads to the mount would hold more than 20 files "
                             "and folders in all (18 without it)";
    size_t lines = 0;
    for (size_t at = text.find(full); at != std::string::npos; at = text.find(full, at + 1))
        ++lines;
    EXPECT_EQ(lines, 3u);
}

TEST_F(Archives, LinkedFoldersAreWalkedOnceAndOpenByTheLinksName)
{
    // A folder beside the game that the data links to, and which links back.
    std::filesystem::create_directories(Root + "/shared/deep");
    std::ofstream(Root + "/shared/deep/More.txt") << "deeper";
    std::filesystem::create_directory_symlink("../../game/data", Root + "/shared/deep/home");
    const std::string data = Root + "/game/data";
    std::filesystem::create_directories(data + "/Sprites");
    std::ofstream(data + "/Sprites/a.spr") << "sprite";
    std::filesystem::create_directory_symlink(".", data + "/self");
    std::filesystem::create_directory_symlink("..", data + "/Sprites/up");
    std::filesystem::create_directory_symlink("../../shared", data + "/ext");

    ASSERT_TRUE(Engine.mountArchive((Folder + "/game/data").c_str()));
    irr::io::IFileSystem* fs = Engine.FileSystem;
    const irr::io::IFileList* files = fs->getFileArchive(fs->getFileArchiveCount() - 1)->getFileList();
    std::set<std::string> names;
    for (irr::u32 i = 0; i < files->getFileCount(); ++i)
        names.insert(files->getFullFileName(i).c_str());
    EXPECT_EQ(names, (std::set<std::string>{"Sprites", "Sprites/a.spr", "ext", "ext/deep", "ext/deep/More.txt"}))
        << "a folder already walked is not walked again";
    irr::io::IReadFile* file = fs->createAndOpenFile("EXT\\deep\\more.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::string(file->getFileName().c_str()),
              std::filesystem::canonical(data).string() + "/ext/deep/More.txt");
    char text[8] = {};
    EXPECT_EQ(file->read(text, sizeof text - 1), 6);
    EXPECT_STREQ(text, "deeper");
    file->drop();
}

TEST_F(Archives, DamagedPakDirectoriesAreNotMounted)
{
    // The archive reader trusts a PAK's directory; a damaged one would make it
    // read past its buffers or hand out sizes far beyond the file.
    ASSERT_TRUE(WritePak(Root + "/whole.pak", {{"a.txt", "alpha"}, {"b/b.txt", "beta"}}));
    const std::string whole = readWhole("whole.pak");
    ASSERT_EQ(whole.size(), 12u + 9u + 128u);
    auto patched = [&](size_t at, uint32_t value) {
        std::string bytes = whole;
        for (int i = 0; i < 4; ++i)
            bytes[at + size_t(i)] = char((value >> (8 * i)) & 0xFF);
        return bytes;
    };
    const size_t entry0 = 12 + 9;
    std::string unended = whole;
    std::fill(unended.begin() + long(entry0), unended.begin() + long(entry0 + 56), 'n');
    mountEach({
        {"whole", whole, true},
        {"directory past the end", patched(4, 0xFFFFFFF0u), false},
        {"directory length past the end", patched(8, 0x7FFFFFC0u), false},
        {"directory length not whole entries", patched(8, 100), false},
        {"directory over the header", patched(4, 0), false},
        {"entry size past the end", patched(entry0 + 60, 0xC598A667u), false},
        {"entry offset past the end", patched(entry0 + 56, 0xFFFFFFFFu), false},
        {"entry name without an end", unended, false},
        {"no PAK at all", "PAC", false},
    }, "c", "pak");
    EXPECT_STREQ(Engine.MountedArchives, "c0") << "refused archives are not listed";
    EXPECT_TRUE(Engine.FileSystem->existFile("b/b.txt"));
    EXPECT_NE(log().find("c1.pak' not mounted: its directory lies outside the file"), std::string::npos);
    EXPECT_NE(log().find("c5.pak' not mounted: entry 0 lies outside the file"), std::string::npos);
    EXPECT_NE(log().find("c7.pak' not mounted: entry 0 has a name without an end"), std::string::npos);
}

TEST_F(Archives, CutZipsAreNotMounted)
{
    // The zip reader trusts each entry header's size: a cut archive would hand
    // out entries longer than what is left of it.
    ASSERT_TRUE(WriteStoredZip(Root + "/whole.zip", {{"a.txt", std::string(300, 'a')}, {"b/b.txt", "beta"}}));
    const std::string whole = readWhole("whole.zip");
    std::string longer = whole;
    longer[18] = char(0xFF);   // the first entry's stored size, far past the end
    mountEach({
        {"whole", whole, true},
        {"cut inside the first entry's data", whole.substr(0, 30 + 5 + 100), false},
        {"cut inside the second header", whole.substr(0, 30 + 5 + 300 + 10), false},
        {"size past the end", longer, false},
    }, "z", "zip");
    EXPECT_STREQ(Engine.MountedArchives, "z0");
    EXPECT_NE(log().find("z1.zip' not mounted: entry 0 lies outside the file"), std::string::npos);
    EXPECT_NE(log().find("z2.zip' not mounted: entry 1 has no whole header"), std::string::npos);
}

TEST_F(EngineLoop, NoIconWithoutAWindow)
{
    Data.write("icon.png", "not even a picture");
    EXPECT_FALSE(Engine.setWindowIcon(Data.file("icon.png").c_str())) << "the null driver has no window";
    EXPECT_FALSE(Engine.setWindowIcon(""));
}

TEST(DeviceCreationDeathTest, YesWritesTheDiagnosticsReport)
{
    // The report holds the GL information tool's output where it is installed.
    struct Case { bool tool; std::string expected; };
    const Case cases[] = {
        {true, "glxinfo -B (exit code 0):\nOpenGL renderer string: stand-in\n"},
        {false, "glxinfo -B: not installed\n"},
    };
    for (const Case& c : cases) {
        CTempFolder logs;
        if (c.tool) {
            std::filesystem::create_directories(logs.file("bin"));
            logs.write("bin/glxinfo", "#!/bin/sh\n[ \"$1\" = -B ] && echo 'OpenGL renderer string: stand-in'\n");
            std::filesystem::permissions(logs.file("bin/glxinfo"), std::filesystem::perms::owner_all);
        }
        SetLogFolder(logs.path().c_str());
        CProgramFolder program;
        EXPECT_EXIT(
            {
                platform::ForgetMainThread();   // a forked child runs on a thread id of its own
                setenv("PATH", logs.file("bin").c_str(), 1);
                CMessageBoxRecorder boxes;
                boxes.answerNext(IDYES);
                CEngineBase engine;
                engine.CreateDeviceFn = recordingDeviceFactory;
                engine.Options.BitsPerPixel = 32;
                DeviceFailuresLeft = 3;
                engine.createDevice();
            },
            ::testing::ExitedWithCode(1), "");
        std::string report = program.Folder.read("Profile/dxdiag_log.txt");   // the user folder
        EXPECT_FALSE(logs.exists("dxdiag_log.txt"));
        SetLogFolder(nullptr);
        EXPECT_NE(report.find("System: Linux"), std::string::npos) << report;
        EXPECT_NE(report.find(RetrySoftware), std::string::npos) << "the attempts are in the report";
        EXPECT_NE(report.find(c.expected), std::string::npos) << report;
    }
}
