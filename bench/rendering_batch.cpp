// Frames of many 32x32 alpha sprites through the renderer (render lists, sort,
// batch), beside Irrlicht's draw2DImageBatch of the same quads. Needs a
// display (Xvfb): bench/rendering_batch --benchmark_counters_tabular=true
#include "bench_folder.h"
#include "module_enginebase.h"
#include "node_base.h"
#include "rendering.h"

#include <irrlicht.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

using namespace irr;

namespace {

constexpr u32 WindowWidth = 800;
constexpr u32 WindowHeight = 600;
constexpr f32 SpriteSide = 32.0f;

// The least a sprite does each frame: build its quad and hand it to the batch.
class CBenchSprite : public CNodeBasement {
public:
    CBenchSprite(scene::ISceneNode* parent, scene::ISceneManager* smgr, const core::vector3df& position,
                 const video::SMaterial& material)
        : CNodeBasement(parent, smgr, -1, position, core::dimension2df(SpriteSide, SpriteSide)), Material(material)
    {
    }
    void render() override
    {
        const core::vector3df p = getAbsolutePosition();
        const f32 h = SpriteSide * 0.5f;
        const video::SColor white(255, 255, 255, 255);
        const video::S3DVertex quad[4] = {
            {p.X - h, p.Y - h, p.Z, 0, 0, -1, white, 0, 1}, {p.X - h, p.Y + h, p.Z, 0, 0, -1, white, 0, 0},
            {p.X + h, p.Y + h, p.Z, 0, 0, -1, white, 1, 0}, {p.X + h, p.Y - h, p.Z, 0, 0, -1, white, 1, 1}};
        getRenderer()->submitToBatch(&core::IdentityMatrix, &Material, quad);
    }
    u32 getMaterialCount() const override { return 1; }
    video::SMaterial& getMaterial(u32) override { return Material; }

private:
    video::SMaterial Material;
};

// An engine with a real window and an orthographic camera: one unit is one pixel.
struct SBenchScene {
    CEngineBase Engine;
    video::ITexture* Texture = nullptr;
    video::SMaterial Material;

    bool open(video::E_DRIVER_TYPE driverType)
    {
        PrepareBenchFolder("engine-bench-batch");
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            return false;
        SIrrlichtCreationParameters params;
        params.DriverType = driverType;
        params.WindowSize = core::dimension2du(WindowWidth, WindowHeight);
        params.Bits = 32;
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
        ortho.buildProjectionMatrixOrthoLH(f32(WindowWidth), f32(WindowHeight), 0.1f, 100.0f);
        camera->setProjectionMatrix(ortho, true);
        makeMaterial(driverType);
        return true;
    }

    void makeMaterial(video::E_DRIVER_TYPE driverType)
    {
        video::IImage* image = Engine.Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(32, 32));
        for (u32 y = 0; y < 32; ++y)
            for (u32 x = 0; x < 32; ++x)
                image->setPixel(x, y, video::SColor((x + y) % 2 ? 255 : 96, 255, 128, 0));
        Texture = Engine.Driver->addTexture("sprite", image);
        image->drop();
        Material.Lighting = false;
        Material.ZBuffer = video::ECFN_NEVER;
        Material.ZWriteEnable = false;
        Material.BackfaceCulling = false;
        Material.setTexture(0, Texture);
        Material.TextureLayer[0].BilinearFilter = false;   // sampled as the 2D path samples
        Material.UseMipMaps = false;
        if (driverType == video::EDT_OPENGL) {
            Material.MaterialType = video::EMT_ONETEXTURE_BLEND;
            Material.MaterialTypeParam = video::pack_textureBlendFunc(
                video::EBF_SRC_ALPHA, video::EBF_ONE_MINUS_SRC_ALPHA, video::EMFN_MODULATE_1X,
                video::EAS_TEXTURE | video::EAS_VERTEX_COLOR);
        } else {
            Material.MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
        }
    }

    // Sprites at the corners, each at its own depth.
    void addSprites(const std::vector<core::position2di>& corners)
    {
        scene::ISceneNode* parent = Engine.SceneManager->getRootSceneNode();
        const f32 count = f32(corners.size());
        for (size_t i = 0; i < corners.size(); ++i) {
            const core::vector3df centre(f32(corners[i].X) + 16.0f - f32(WindowWidth) / 2,
                                         f32(WindowHeight) / 2 - f32(corners[i].Y) - 16.0f, f32(i) / count);
            CBenchSprite* sprite = new CBenchSprite(parent, Engine.SceneManager, centre, Material);
            sprite->drop();
        }
    }
};

// Upper-left corners on whole pixels all over the window; the same for every run.
std::vector<core::position2di> spriteCorners(int count)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> x(0, int(WindowWidth) - 32), y(0, int(WindowHeight) - 32);
    std::vector<core::position2di> corners;
    for (int i = 0; i < count; ++i)
        corners.emplace_back(x(random), y(random));
    return corners;
}

void rendererFrame(benchmark::State& state, video::E_DRIVER_TYPE driverType)
{
    SBenchScene scene;
    if (!scene.open(driverType)) {
        state.SkipWithError("no display or no device");
        return;
    }
    scene.addSprites(spriteCorners(int(state.range(0))));
    CRenderer& renderer = scene.Engine.Renderer;
    int draws = 0;
    for (auto _ : state) {
        renderer.getSwitchCount() = 0;
        renderer.getPrimitiveCount() = 0;
        renderer.getDebugText() = "";
        scene.Engine.Driver->beginScene(true, false, video::SColor(255, 0, 0, 64));
        renderer.renderNodes();
        scene.Engine.Driver->endScene();
        draws = renderer.getSwitchCount();
    }
    state.counters["draws"] = draws;
    state.counters["quads"] = double(state.range(0));
    scene.Engine.SceneManager->getRootSceneNode()->removeAll();
}

void imageBatchFrame(benchmark::State& state, video::E_DRIVER_TYPE driverType)
{
    SBenchScene scene;
    if (!scene.open(driverType)) {
        state.SkipWithError("no display or no device");
        return;
    }
    const std::vector<core::position2di> corners = spriteCorners(int(state.range(0)));
    core::array<core::position2di> positions;
    core::array<core::recti> sources;
    for (const core::position2di& corner : corners) {
        positions.push_back(corner);
        sources.push_back(core::recti(0, 0, 32, 32));
    }
    for (auto _ : state) {
        scene.Engine.Driver->beginScene(true, false, video::SColor(255, 0, 0, 64));
        scene.Engine.Driver->draw2DImageBatch(scene.Texture, positions, sources, nullptr,
                                              video::SColor(255, 255, 255, 255), true);
        scene.Engine.Driver->endScene();
    }
    state.counters["draws"] = 1;
    state.counters["quads"] = double(state.range(0));
}

void BM_RendererOpenGL(benchmark::State& state) { rendererFrame(state, video::EDT_OPENGL); }
void BM_ImageBatchOpenGL(benchmark::State& state) { imageBatchFrame(state, video::EDT_OPENGL); }
void BM_RendererBurnings(benchmark::State& state) { rendererFrame(state, video::EDT_BURNINGSVIDEO); }
void BM_ImageBatchBurnings(benchmark::State& state) { imageBatchFrame(state, video::EDT_BURNINGSVIDEO); }

} // namespace

BENCHMARK(BM_RendererOpenGL)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageBatchOpenGL)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RendererBurnings)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageBatchBurnings)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
