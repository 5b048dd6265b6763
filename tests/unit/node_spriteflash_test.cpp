// Movie sprites with the fake movie backend: pause depth, finishing once, the
// listener, mouse mapping, the repaint area, the guarded texture copy, and the
// animator's start, removal and mouse forwarding.
#include "node_spriteflash.h"

#include "fake_movie_backend.h"
#include "input_fixture.h"
#include "module_mousekeyb.h"
#include "node_sprite.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_utilities.h"

#include <ISceneManager.h>
#include <ITexture.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace irr;
using platform::MouseMessage;

namespace {

// A texture in memory with a chosen format and pitch, sentinel bytes in its padding.
class CMemoryTexture : public video::ITexture {
public:
    CMemoryTexture(u32 w, u32 h, video::ECOLOR_FORMAT format, u32 pitch)
        : ITexture("memory"), Size(w, h), Format(format), Pitch(pitch), Bytes(size_t(pitch) * h, 0xEE)
    {
    }
    void* lock(video::E_TEXTURE_LOCK_MODE = video::ETLM_READ_WRITE, u32 = 0) override { ++Locks; return Bytes.data(); }
    void unlock() override {}
    const core::dimension2d<u32>& getOriginalSize() const override { return Size; }
    const core::dimension2d<u32>& getSize() const override { return Size; }
    video::E_DRIVER_TYPE getDriverType() const override { return video::EDT_NULL; }
    video::ECOLOR_FORMAT getColorFormat() const override { return Format; }
    u32 getPitch() const override { return Pitch; }
    void regenerateMipMapLevels(void* = 0) override {}

    core::dimension2d<u32> Size;
    video::ECOLOR_FORMAT Format;
    u32 Pitch;
    std::vector<u8> Bytes;
    int Locks = 0;
};

struct SListener : IFlashListener {
    void onFlashFinished(u32 userValue) override { Log.push_back("finished " + std::to_string(userValue)); }
    void onFlashCommand(u32 userValue, const core::stringc& command, const core::stringc& args) override
    {
        Log.push_back(std::to_string(userValue) + " " + command.c_str() + "|" + args.c_str());
    }
    std::vector<std::string> Log;
};

class FlashPlayer : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        Previous = platform::SetMovieBackendFactory([this](platform::MovieLog) {
            auto backend = std::make_unique<FakeMovieBackend>();
            backend->failLoad = FailLoad;
            Backend = backend.get();
            return std::unique_ptr<platform::IMovieBackend>(std::move(backend));
        });
        Folder.write("movie.swf", "FWS not really a movie");
    }
    void TearDown() override
    {
        platform::SetMovieBackendFactory(Previous);
        for (CSpriteNode* sprite : Sprites)   // the test's textures are gone before the scene
            sprite->getMaterial(0).setTexture(0, nullptr);
        InputFixture::TearDown();
    }
    CSpriteNode* addSprite(video::ITexture* texture, s32 id = -1)
    {
        auto* sprite = new CSpriteNode(Engine.RootNode, Engine.SceneManager, id, core::vector3df(0, 0, 0),
                                       core::dimension2df(100, 100));
        sprite->drop();
        sprite->getMaterial(0).setTexture(0, texture);
        Sprites.push_back(sprite);
        return sprite;
    }
    // A player on a 256 x 128 texture, playing.
    void startPlayer(CFlashPlayer& player)
    {
        ASSERT_TRUE(player.init(true));
        ASSERT_TRUE(player.loadMovie(Folder.file("movie.swf").c_str()));
    }

    platform::MovieBackendFactory Previous;
    FakeMovieBackend* Backend = nullptr;   // the last one made
    bool FailLoad = false;
    std::vector<CSpriteNode*> Sprites;
    CTempFolder Folder;
    CMemoryTexture Texture{256, 128, video::ECF_A8R8G8B8, 256 * 4};
    SListener Listener;
};

TEST_F(FlashPlayer, InitSizesTheBufferAndPlacesTheMovieOnePixelBeyondTheTexture)
{
    CFlashPlayer player(7, &Listener, addSprite(&Texture));
    EXPECT_FALSE(player.loadMovie(Folder.file("movie.swf").c_str())) << "not before init";
    startPlayer(player);
    EXPECT_EQ(player.getPixelBufferSize(), 132096u);
    EXPECT_EQ(player.getRect(), core::recti(0, 0, 256, 128));
    ASSERT_FALSE(Backend->bounds.empty());
    const platform::MovieRect& b = Backend->bounds.back();
    EXPECT_EQ(std::vector<int>({b.x0, b.y0, b.x1, b.y1}), std::vector<int>({-1, -1, 257, 129}));
    EXPECT_EQ(player.getState(), CFlashPlayer::StatePlaying);
    EXPECT_EQ(Backend->calls, std::vector<std::string>({"load", "play"}));
    EXPECT_EQ(Backend->loadedName, Folder.file("movie.swf"));
}

TEST_F(FlashPlayer, TexturesItCannotWriteAreRefused)
{
    CMemoryTexture wide(64, 64, video::ECF_R5G6B5, 64 * 2);
    CMemoryTexture empty(0, 0, video::ECF_A8R8G8B8, 0);
    for (video::ITexture* texture : {static_cast<video::ITexture*>(&wide), static_cast<video::ITexture*>(&empty),
                                     static_cast<video::ITexture*>(nullptr)}) {
        CFlashPlayer player(0, nullptr, addSprite(texture));
        EXPECT_FALSE(player.init(true));
        EXPECT_FALSE(player.loadMovie(Folder.file("movie.swf").c_str()));
        player.render();   // nothing to draw into: no effect, no crash
    }
    EXPECT_EQ(wide.Locks, 0);
    EXPECT_EQ(wide.Bytes, std::vector<u8>(64 * 2 * 64, 0xEE));
}

TEST_F(FlashPlayer, MissingOrRefusedMoviesFailToLoad)
{
    CFlashPlayer player(0, nullptr, addSprite(&Texture));
    ASSERT_TRUE(player.init(true));
    EXPECT_FALSE(player.loadMovie(Folder.file("absent.swf").c_str()));
    Backend->failLoad = true;
    EXPECT_FALSE(player.loadMovie(Folder.file("movie.swf").c_str()));
    EXPECT_EQ(player.getState(), CFlashPlayer::StateStopped);
}

TEST_F(FlashPlayer, OnlyTheOutermostStopAndResumeReachTheMovie)
{
    CFlashPlayer player(0, &Listener, addSprite(&Texture));
    startPlayer(player);
    Backend->calls.clear();
    player.stop();
    player.stop();
    EXPECT_EQ(player.getState(), CFlashPlayer::StateStopped);
    player.resume();
    EXPECT_EQ(player.getPauseDepth(), 1);
    EXPECT_EQ(Backend->calls, std::vector<std::string>({"stop"}));
    player.resume();
    EXPECT_EQ(player.getState(), CFlashPlayer::StatePlaying);
    EXPECT_EQ(Backend->calls, std::vector<std::string>({"stop", "play"}));
    player.resume();   // unmatched: no debt for the next stop
    EXPECT_EQ(player.getPauseDepth(), 0);
    player.stop();
    EXPECT_EQ(Backend->calls.back(), "stop");
}

TEST_F(FlashPlayer, AMovieFinishesOnceAndTellsTheListenerOnlyWhenNotPaused)
{
    struct Case { bool paused; std::vector<std::string> heard; };
    for (const Case& c : {Case{false, {"finished 7"}}, Case{true, {}}}) {
        Listener.Log.clear();
        CFlashPlayer player(7, &Listener, addSprite(&Texture));
        if (c.paused)
            player.stop();   // loaded while paused: playing as far as the player knows, never started
        startPlayer(player);
        EXPECT_EQ(player.getState(), CFlashPlayer::StatePlaying);
        if (!c.paused) {
            player.update();
            EXPECT_EQ(player.getState(), CFlashPlayer::StatePlaying);
            Backend->finish();
        }
        player.update();
        player.update();
        EXPECT_EQ(player.getState(), CFlashPlayer::StateFinished);
        EXPECT_EQ(Listener.Log, c.heard) << c.paused;
        player.stop();
        player.resume();
        if (c.paused)
            player.resume();
        player.update();
        EXPECT_EQ(player.getState(), CFlashPlayer::StateFinished) << "sticky";
        EXPECT_EQ(Listener.Log, c.heard);
    }
}

TEST_F(FlashPlayer, CommandsReachTheListenerOnlyWithTwoStringArguments)
{
    CFlashPlayer player(3, &Listener, addSprite(&Texture));
    startPlayer(player);
    EXPECT_TRUE(Backend->raiseCommand("quit", "1,2"));
    EXPECT_TRUE(Backend->raiseEvent(platform::MovieEventFSCommand, {{true, "x"}}));
    EXPECT_TRUE(Backend->raiseEvent(platform::MovieEventFSCommand, {{true, "x"}, {false, "y"}}));
    EXPECT_TRUE(Backend->raiseEvent(platform::MovieEventProgress, {}));
    EXPECT_FALSE(Backend->raiseEvent(42, {}));
    player.onFSCommand("go", "");
    EXPECT_EQ(Listener.Log, std::vector<std::string>({"3 quit|1,2", "3 go|"}));
    CFlashPlayer deaf(4, nullptr, addSprite(&Texture));
    deaf.onFSCommand("go", "x");   // no listener: nothing to tell
}

TEST_F(FlashPlayer, MousePositionsMapToTexturePixelsFromTheTop)
{
    CFlashPlayer player(0, nullptr, addSprite(&Texture));
    startPlayer(player);
    player.onMouseMove(0.5f, 0.25f);
    player.onMouseDown(0.0f, 1.0f, 0, 1);
    player.onMouseDown(0.5f, 0.5f, 1, 1);   // ignored
    player.onMouseUp(0.5f, 0.5f, 1, 1);     // ignored
    player.onMouseUp(-0.5f, 1.5f, 0, 1);
    player.onMouseMove(300.0f, 0.0f);       // 76800 kept to 16 bits
    struct Want { MouseMessage m; int x, y; };
    const std::vector<Want> want = {{MouseMessage::Move, 128, 96}, {MouseMessage::LeftDown, 0, 0},
                                    {MouseMessage::LeftUp, -128, -64}, {MouseMessage::Move, 76800 - 65536, 128}};
    ASSERT_EQ(Backend->mouse.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(Backend->mouse[i].message, want[i].m) << i;
        EXPECT_EQ(Backend->mouse[i].x, want[i].x) << i;
        EXPECT_EQ(Backend->mouse[i].y, want[i].y) << i;
    }
}

TEST_F(FlashPlayer, RepaintRequestsGrowTheAreaUntilTheNextRender)
{
    CFlashPlayer player(0, nullptr, addSprite(&Texture));
    startPlayer(player);
    player.render();
    EXPECT_FALSE(player.isDirty());
    platform::MovieRect a{10, 10, 20, 20}, b{5, 30, 8, 40}, c{1, 2, 3, 4};
    Backend->requestRepaint(&a);
    Backend->requestRepaint(&b);
    EXPECT_TRUE(player.isDirty());
    EXPECT_EQ(player.getDirtyRect(), core::recti(5, 10, 20, 40));
    player.render();
    Backend->requestRepaint(&c);
    EXPECT_EQ(player.getDirtyRect(), core::recti(1, 2, 3, 4)) << "set afresh";
    Backend->requestRepaint(nullptr);
    EXPECT_EQ(player.getDirtyRect(), core::recti(0, 0, 256, 128));
    const int draws = Backend->drawCount;
    player.render();
    player.render();
    EXPECT_EQ(Backend->drawCount, draws + 1) << "only a dirty player draws";
}

TEST_F(FlashPlayer, FramesAreCopiedRowByRowWithTheTexturesPitch)
{
    CMemoryTexture padded(16, 8, video::ECF_A8R8G8B8, 16 * 4 + 12);
    CFlashPlayer player(0, nullptr, addSprite(&padded));
    startPlayer(player);
    player.render();
    ASSERT_EQ(Backend->drawCount, 1);
    for (u32 y = 0; y < 8; ++y) {
        const u8* row = padded.Bytes.data() + y * padded.Pitch;
        for (u32 x = 0; x < 16; ++x) {
            uint32_t texel;
            std::memcpy(&texel, row + x * 4, 4);
            ASSERT_EQ(texel, FakeMovieBackend::PatternAt(int(x), int(y), 1)) << x << "," << y;
        }
        for (u32 i = 64; i < padded.Pitch; ++i)
            ASSERT_EQ(row[i], 0xEE) << "padding of row " << y;
    }

    // The texture shrinks under the player: the frame is skipped, nothing written.
    padded.Size = core::dimension2du(8, 8);
    const std::vector<u8> before = padded.Bytes;
    player.invalidate();
    player.render();
    EXPECT_EQ(padded.Bytes, before);
}

// --- the animator ---

class FlashAnimator : public FlashPlayer {
protected:
    CFlashAnimator* attach(CNodeBasement* node, int interactive)
    {
        return static_cast<CFlashAnimator*>(
            attachAnimator(node, new CFlashAnimator(node, Folder.file("movie.swf").c_str(), interactive)));
    }
    bool isClickable(CNodeBasement* node)
    {
        const auto& list = getInputState()->getClickables();
        for (u32 i = 0; i < list.size(); ++i)
            if (list[i].node == node)
                return true;
        return false;
    }
};

TEST_F(FlashAnimator, RemovesItselfWhenThePlayerFailsAndLeavesTheSpriteShowing)
{
    struct Case { const char* what; bool failLoad; video::ITexture* texture; };
    CMemoryTexture wrong(16, 16, video::ECF_R8G8B8, 48);
    for (const Case& c : {Case{"movie refused", true, &Texture}, Case{"texture refused", false, &wrong}}) {
        FailLoad = c.failLoad;
        CSpriteNode* sprite = addSprite(c.texture);
        CFlashAnimator* animator = attach(sprite, 1);
        EXPECT_EQ(sprite->getHideCount(), 1) << c.what;
        EXPECT_TRUE(isClickable(sprite)) << c.what;
        animator->animate(sprite, 0);
        EXPECT_TRUE(animator->isRemoved()) << c.what;
        EXPECT_EQ(sprite->getHideCount(), 0) << c.what;
        ASSERT_TRUE(step());
        EXPECT_TRUE(sprite->getAnimators().empty()) << c.what;
        EXPECT_FALSE(isClickable(sprite)) << c.what << ": unregistered on finish";
    }
}

TEST_F(FlashAnimator, TheShippedBackendRefusesAMovieItCannotDraw)
{
    platform::SetMovieBackendFactory(nullptr);
    CSpriteNode* sprite = addSprite(&Texture);
    CFlashAnimator* animator = attach(sprite, 0);
    animator->animate(sprite, 0);
    EXPECT_TRUE(animator->isRemoved());
    EXPECT_EQ(Texture.Locks, 0) << "never pretends to draw";
}

TEST_F(FlashAnimator, PlaysIntoTheTextureAndForwardsTheMouseOnlyWhenInteractive)
{
    CSpriteNode* still = addSprite(&Texture);
    CFlashAnimator* quiet = attach(still, 0);
    FakeMovieBackend* quietBackend = Backend;
    EXPECT_FALSE(isClickable(still));
    *CInputState::getHoveredNodeId() = still->getID();
    *CInputState::getPressedNodeId() = still->getID();
    quiet->animate(still, 0);
    ASSERT_FALSE(quiet->isRemoved());
    EXPECT_EQ(quietBackend->drawCount, 1);
    EXPECT_GT(Texture.Locks, 0);
    EXPECT_TRUE(quietBackend->mouse.empty());

    CMemoryTexture other(32, 32, video::ECF_A8R8G8B8, 128);
    CSpriteNode* sprite = addSprite(&other);
    CFlashAnimator* animator = attach(sprite, 1);
    FakeMovieBackend* backend = Backend;
    EXPECT_NE(sprite->getID(), still->getID()) << "an interactive movie has its own ID";
    const s32 id = sprite->getID();
    *CInputState::getPressedNodeId() = 0;
    *CInputState::getHoveredNodeId() = 0;
    animator->animate(sprite, 0);
    EXPECT_TRUE(backend->mouse.empty()) << "never hovered yet";

    auto messages = [&] {
        std::vector<MouseMessage> out;
        for (const auto& m : backend->mouse)
            out.push_back(m.message);
        backend->mouse.clear();
        return out;
    };
    *CInputState::getHoveredNodeId() = id;
    animator->animate(sprite, 0);
    EXPECT_EQ(messages(), std::vector<MouseMessage>({MouseMessage::Move}));
    *CInputState::getPressedNodeId() = id;
    animator->animate(sprite, 0);
    animator->animate(sprite, 0);
    EXPECT_EQ(messages(), std::vector<MouseMessage>({MouseMessage::Move, MouseMessage::LeftDown, MouseMessage::Move}));
    *CInputState::getHoveredNodeId() = 0;   // left the sprite: still forwarded
    *CInputState::getPressedNodeId() = 0;
    Clock.NowMs += 1999;
    animator->animate(sprite, 0);
    EXPECT_EQ(messages(), std::vector<MouseMessage>({MouseMessage::Move, MouseMessage::LeftUp}));
    Clock.NowMs += 2000;
    animator->animate(sprite, 0);
    EXPECT_TRUE(messages().empty()) << "2000 ms without a forward";
}

} // namespace

namespace {

TEST_F(FlashAnimator, TheDescriptionRowReadsPathInteractiveAndDiscretion)
{
    ASSERT_EQ(GetDescriptionRowMakers().Flash, &makeFlashAnimator) << "installed by the engine";
    struct Case { const char* value; std::string path; int interactive; u32 discretion; };
    const std::string base = Folder.path();
    for (const Case& c : {Case{"path[intro.swf] interactive[1] discretion[2000]", base + "intro.swf", 1, 2000},
                          Case{"path[intro.swf]", base + "intro.swf", 0, CBaseAnimator::DefaultDiscretionMs}}) {
        CNodeFactory* f = new CNodeFactory();
        f->flashMovie = c.value;
        f->texturePath = (base + "face.png").c_str();
        CSpriteNode* sprite = addSprite(&Texture);
        makeFlashAnimator(*f, sprite, nullptr, "test");
        f->drop();
        ASSERT_EQ(sprite->getAnimators().size(), 1u) << c.value;
        auto* animator = dynamic_cast<CFlashAnimator*>(*sprite->getAnimators().begin());
        ASSERT_NE(animator, nullptr);
        EXPECT_EQ(std::string(animator->getMoviePath()), c.path) << c.value;
        EXPECT_EQ(animator->getInteractive(), c.interactive) << c.value;
        EXPECT_EQ(animator->getDiscretion(), c.discretion) << c.value;
    }
}

} // namespace
