// Frames of 5,000 sprites that each carry a move and a rotation animator made
// from their description: on the null driver, and on Burning's Video when a
// display is there (Xvfb): bench/position_animators
#include "bench_folder.h"
#include "module_enginebase.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "rendering.h"

#include <irrlicht.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace irr;

namespace {

constexpr int SpriteCount = 5000;
constexpr u32 FrameMs = 16;

const char* const Description =
    "raw://\n-Texture:?fill[c1,w16,h16]\n-Size: w16 h16\n"
    "-Animation.Move: d3 x0.5 y0.25 t1\n-Animation.Rotation: s0.05\n";

struct SBenchScene {
    CEngineBase Engine;

    bool open(video::E_DRIVER_TYPE driverType)
    {
        PrepareBenchFolder("engine-bench-position");
        if (driverType == video::EDT_NULL) {
            Engine.ForceNullDriver = true;
            Engine.createDevice();
        } else {
            const char* display = std::getenv("DISPLAY");
            if (!display || !*display)
                return false;
            SIrrlichtCreationParameters params;
            params.DriverType = driverType;
            params.WindowSize = core::dimension2du(800, 600);
            params.LoggingLevel = ELL_ERROR;
            // The X server sometimes refuses a connection right after another closed.
            for (int attempt = 0; attempt < 10 && !Engine.Device; ++attempt) {
                Engine.Device = createDeviceEx(params);
                if (!Engine.Device)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (!Engine.Device)
                return false;
            Engine.Driver = Engine.Device->getVideoDriver();
            Engine.SceneManager = Engine.Device->getSceneManager();
            scene::ICameraSceneNode* camera = Engine.SceneManager->addCameraSceneNode(nullptr, {0, 0, -10}, {0, 0, 0});
            core::matrix4 ortho;
            ortho.buildProjectionMatrixOrthoLH(800.0f, 600.0f, 0.1f, 100.0f);
            camera->setProjectionMatrix(ortho, true);
        }
        if (!Engine.Device)
            return false;
        Engine.Device->getTimer()->stop();
        Engine.Device->getTimer()->setTime(1000);
        for (int i = 0; i < SpriteCount; ++i)
            addSprite(Description, 1, 1, core::vector3df(f32(i % 100) * 8 - 400, f32(i / 100) * 12 - 300, 0), nullptr,
                      nullptr, SPRITE_SITE);
        return true;
    }
    ~SBenchScene()
    {
        if (Engine.SceneManager)
            Engine.SceneManager->getRootSceneNode()->removeAll();
        Engine.Renderer.processDeferredRemovals();
        clearSpriteCache();
    }
};

void animatedFrame(benchmark::State& state, video::E_DRIVER_TYPE driverType)
{
    SBenchScene scene;
    if (!scene.open(driverType)) {
        state.SkipWithError("no display or no device");
        return;
    }
    u32 now = 1000;
    for (auto _ : state) {
        now += FrameMs;
        scene.Engine.Device->getTimer()->setTime(now);
        scene.Engine.Driver->beginScene(true, false, video::SColor(255, 0, 0, 64));
        scene.Engine.Renderer.renderNodes();
        scene.Engine.Driver->endScene();
    }
    state.counters["sprites"] = SpriteCount;
}

void BM_MoveAndRotationNull(benchmark::State& state) { animatedFrame(state, video::EDT_NULL); }
void BM_MoveAndRotationBurnings(benchmark::State& state) { animatedFrame(state, video::EDT_BURNINGSVIDEO); }

} // namespace

BENCHMARK(BM_MoveAndRotationNull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MoveAndRotationBurnings)->Unit(benchmark::kMillisecond);
