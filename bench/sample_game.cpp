// The sample game in data/ run in-process on a real window (needs a display,
// Xvfb will do): the time from start-up to the main menu in play (game state
// 500), the frame time of that menu, of the menu with 5,000 animated sprites
// over it, and of the animated scene with and without its atlas list (the
// switches counter is the draw runs of the last frame). First argument: the
// Renderer option (3 OpenGL, 2 Burning's Video).
//   bench/sample_game --benchmark_counters_tabular=true
#include "enginebindings.h"
#include "module_enginebase.h"
#include "module_scripting.h"
#include "module_userprofile.h"
#include "node_helpers.h"
#include "rendering.h"
#include "server_game_manifest.h"
#include "utils_fs.h"
#include "utils_system_common.h"

#include <irrlicht.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

constexpr int PlayState = 500;
constexpr int StartupFrameLimit = 2000;
// Rotating, pulsing sprites over the whole 40x30 view.
const char* const AnimatedSprite = "raw://\n-Texture:\\gui\\button.png\n-Size: w1.2 h0.4\n"
                                   "-Animation.Rotation: s90\n-Animation.AlphaPulsar: t1000 a1 l0.3\n";

// Saved profiles and options go to a folder of the benchmark's own, never the user's.
void prepareProcess()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    std::string data = (std::filesystem::temp_directory_path() / "engine-bench-sample").string();
    std::filesystem::create_directories(data);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    setenv("ENGINE_NONINTERACTIVE", "1", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    SetAppFolder(ENGINE_SOURCE_DIR "/");
    ResetUserFolder();
}

// One run of the game, driven frame by frame; the program's own order of
// start-up and exit, without its frame limiter.
class CSampleRun {
public:
    explicit CSampleRun(int renderer)
    {
        Client = new CGameClient;
        Engine.setClient(Client);
        Engine.setGameState(10);
        Engine.Options.loadGameOptions();
        Engine.Options.Renderer = renderer;
        Engine.Options.VSync = 0;
        Engine.loadProfile(CString(Engine.Options.ActiveProfile));
        Engine.Sound.init(0);
        Engine.createDevice();
        CManifest::instance();
        Engine.FramePeriodMs = 0;
        Engine.beginRun();
    }
    ~CSampleRun()
    {
        Engine.endRun();
        Engine.releaseDevice();
        Engine.loadProfile("");
        CManifest::stored().clear();
        Client->drop();
    }
    CSampleRun(const CSampleRun&) = delete;
    CSampleRun& operator=(const CSampleRun&) = delete;

    bool reachPlay()
    {
        for (int frame = 0; frame < StartupFrameLimit && Engine.GameState < PlayState; ++frame)
            if (!Engine.runFrame())
                return false;
        return Engine.GameState >= PlayState;
    }

    bool isDriver(irr::video::E_DRIVER_TYPE type) const
    {
        return Engine.Driver && Engine.Driver->getDriverType() == type;
    }

    CEngineBase Engine;

private:
    CGameClient* Client = nullptr;
};

irr::video::E_DRIVER_TYPE driverFor(int renderer)
{
    return renderer == 2 ? irr::video::EDT_BURNINGSVIDEO : irr::video::EDT_OPENGL;
}

bool usable(benchmark::State& state)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        state.SkipWithError("no display");
        return false;
    }
    prepareProcess();
    return true;
}

void StartupToMenu(benchmark::State& state)
{
    if (!usable(state))
        return;
    int renderer = int(state.range(0));
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        CSampleRun run(renderer);
        if (!run.isDriver(driverFor(renderer))) {
            state.SkipWithError("the renderer was not available");
            break;
        }
        if (!run.reachPlay()) {
            state.SkipWithError("the game never reached its menu");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(StartupToMenu)->Arg(3)->Arg(2)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void MenuFrames(benchmark::State& state)
{
    if (!usable(state))
        return;
    int renderer = int(state.range(0));
    int sprites = int(state.range(1));
    CSampleRun run(renderer);
    if (!run.isDriver(driverFor(renderer)) || !run.reachPlay()) {
        state.SkipWithError("the game did not reach its menu on this renderer");
        return;
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<float> x(-19.0f, 19.0f), y(-14.0f, 14.0f);
    for (int i = 0; i < sprites; ++i)
        addSprite(AnimatedSprite, 1, 1, irr::core::vector3df(x(random), y(random), -1.0f), nullptr, nullptr,
                  SPRITE_SITE);
    for (auto _ : state)
        if (!run.Engine.runFrame()) {
            state.SkipWithError("the game ended");
            break;
        }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["switches"] = run.Engine.LastSwitchCount;
    state.counters["primitives"] = run.Engine.LastPrimitiveCount;
}
BENCHMARK(MenuFrames)
    ->Args({3, 0})
    ->Args({3, 5000})
    ->Args({2, 0})
    ->Args({2, 5000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

void SceneFrames(benchmark::State& state)
{
    if (!usable(state))
        return;
    const int renderer = int(state.range(0));
    CSampleRun run(renderer);
    if (state.range(1) == 0) {
        // An empty list builds no atlas: every image is a texture of its own.
        CArray<CManifestAtlasList*>& lists = CManifest::instance().AtlasLists;
        for (int i = 0; i < lists.GetSize(); ++i)
            lists[i]->Data.Empty();
    }
    if (!run.isDriver(driverFor(renderer)) || !run.reachPlay()) {
        state.SkipWithError("the game did not reach its menu on this renderer");
        return;
    }
    for (int frame = 0; frame < 10; ++frame)   // the menu is built on a timer
        run.Engine.runFrame();
    run.Engine.getScripts()->callScriptCode("onMenuPlay({_id = 0});", nullptr, false);
    for (auto _ : state)
        if (!run.Engine.runFrame()) {
            state.SkipWithError("the game ended");
            break;
        }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["switches"] = run.Engine.LastSwitchCount;
    state.counters["primitives"] = run.Engine.LastPrimitiveCount;
}
BENCHMARK(SceneFrames)
    ->ArgNames({"renderer", "atlas"})
    ->Args({3, 1})
    ->Args({3, 0})
    ->Args({2, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

} // namespace
