// Sprites made per second on the null driver: from a description the sprite
// cache already holds, and from one parsed anew every time.
#include "bench_folder.h"
#include "module_enginebase.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "rendering.h"

#include <ISceneManager.h>
#include <ITimer.h>
#include <IrrlichtDevice.h>

#include <benchmark/benchmark.h>

namespace {

const char* const Description =
    "raw://\n-Texture:?fill[c1,w64,h32]\n-Size: w2 h1\n-Position: x1 y2\n-Alpha: 0.8\n-Tint: 0xFF808080\n"
    "-Animation.Texture: t800 m8x1\n-Custom.Attributes: kind[bench]\n";

// Sprites are removed in rounds so the scene stays small.
constexpr int RoundSize = 256;

struct SBenchScene {
    CEngineBase Engine;
    SBenchScene()
    {
        PrepareBenchFolder("engine-bench-sprites");
        Engine.ForceNullDriver = true;
        Engine.createDevice();
        Engine.Device->getTimer()->stop();
    }
    ~SBenchScene()
    {
        clear();
        clearSpriteCache();
    }
    void clear()
    {
        Engine.SceneManager->getRootSceneNode()->removeAll();
        Engine.Renderer.processDeferredRemovals();
    }
    SBenchScene(const SBenchScene&) = delete;
    SBenchScene& operator=(const SBenchScene&) = delete;
};

void run(benchmark::State& state, const SSpriteCreateInfo* info)
{
    SBenchScene scene;
    int made = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(addSprite(Description, 1, 1, irr::core::vector3df(0, 0, 0), nullptr, info, SPRITE_SITE));
        if (++made % RoundSize == 0) {
            state.PauseTiming();
            scene.clear();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void SpritesFromCachedDescription(benchmark::State& state)
{
    run(state, nullptr);
}
BENCHMARK(SpritesFromCachedDescription);

void SpritesFromFreshDescription(benchmark::State& state)
{
    SSpriteCreateInfo info;
    info.noCache = 1;
    run(state, &info);
}
BENCHMARK(SpritesFromFreshDescription);

} // namespace
