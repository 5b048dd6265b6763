// Frames of a menu screen's worth of buttons, each with the click and the
// mouse-over animators made from its description, on the null driver: the
// input animators' per-frame cost with the cursor over none of them, and
// the cost of making and of removing such buttons.
#include "bench_folder.h"
#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "rendering.h"

#include <irrlicht.h>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using namespace irr;

namespace {

constexpr u32 FrameMs = 16;

const char* const Description =
    "raw://\n-Texture:?fill[c1,w64,h32]\n-Size: w6 h2\n"
    "-Event.Mouse.Click.Action: onButton\n-Event.Mouse.Over.In.Script: onIn\n"
    "-Event.Mouse.Over.Out.Script: onOut\n-Event.Mouse.Over.Image: ?fill[c2,w64,h32]\n";

struct SBenchScene {
    CEngineBase Engine;

    explicit SBenchScene(int buttons)
    {
        PrepareBenchFolder("engine-bench-input");
        Engine.ForceNullDriver = true;
        Engine.createDevice();
        Engine.Device->getTimer()->stop();
        Engine.Device->getTimer()->setTime(1000);
        for (int i = 0; i < buttons; ++i)
            addButton(i);
    }
    ~SBenchScene()
    {
        clear();
        clearSpriteCache();
    }
    SBenchScene(const SBenchScene&) = delete;
    SBenchScene& operator=(const SBenchScene&) = delete;

    CNodeBasement* addButton(int i)
    {
        return addSprite(Description, 1, 1, core::vector3df(f32(i % 20) * 8 - 80, f32(i / 20) * 3 - 30, 0), nullptr,
                         nullptr, SPRITE_SITE);
    }
    void clear()
    {
        Engine.SceneManager->getRootSceneNode()->removeAll();
        Engine.Renderer.processDeferredRemovals();
    }
};

void ButtonFrames(benchmark::State& state)
{
    const int buttons = int(state.range(0));
    SBenchScene scene(buttons);
    u32 now = 1000;
    for (auto _ : state) {
        now += FrameMs;
        scene.Engine.Device->getTimer()->setTime(now);
        scene.Engine.Driver->beginScene(true, false, video::SColor(255, 0, 0, 64));
        scene.Engine.Renderer.renderNodes();
        scene.Engine.Driver->endScene();
    }
    state.SetItemsProcessed(state.iterations() * buttons);
}
BENCHMARK(ButtonFrames)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

// Rounds of buttons made on a fresh registry that already binds the given
// number of names, as a long session collects them; each button takes an
// automatic name for its mouse-over animator.
void ButtonCreation(benchmark::State& state)
{
    constexpr int Round = 100;
    const int boundNames = int(state.range(0));
    SBenchScene scene(0);
    for (auto _ : state) {
        state.PauseTiming();
        scene.clear();
        ResetNodeRegistry();
        for (int i = 0; i < boundNames; ++i)
            getIdByName(("Bound" + std::to_string(i)).c_str());
        state.ResumeTiming();
        for (int i = 0; i < Round; ++i)
            benchmark::DoNotOptimize(scene.addButton(i));
    }
    state.SetItemsProcessed(state.iterations() * Round);
}
BENCHMARK(ButtonCreation)->Arg(0)->Arg(5000)->Unit(benchmark::kMicrosecond);

// That many clickable nodes going at once, as when the game quits: each
// takes itself off the clickable list (a click animator's end, in the order
// they were made) and is then destroyed. Bare nodes: a click animator gives
// its node an automatic ID, and there are not that many.
void ButtonRemoval(benchmark::State& state)
{
    const int buttons = int(state.range(0));
    SBenchScene scene(0);
    CInputState* input = getInputState();
    std::vector<CNodeBasement*> nodes;
    for (auto _ : state) {
        state.PauseTiming();
        nodes.clear();
        for (int i = 0; i < buttons; ++i) {
            auto* smgr = scene.Engine.SceneManager;
            nodes.push_back(new CNodeBasement(smgr->getRootSceneNode(), smgr, -1, core::vector3df(0, 0, 0),
                                              core::dimension2df(1, 1)));
            nodes.back()->drop();   // the root holds it
            input->addClickable(nodes.back(), 0);
        }
        state.ResumeTiming();
        for (CNodeBasement* node : nodes)
            input->removeClickable(node);
        scene.clear();
    }
    state.SetItemsProcessed(state.iterations() * buttons);
}
BENCHMARK(ButtonRemoval)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace
