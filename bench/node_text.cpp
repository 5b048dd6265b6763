// Text nodes on the null driver: a few lines of markup laid out (the first
// pass of a new node) and drawn frame after frame, and line measuring.
#include "module_enginebase.h"
#include "node_text.h"
#include "rendering.h"
#include "rendering_font.h"
#include "rendering_stuff_textures.h"
#include "utils_fs.h"

#include <IImage.h>
#include <ISceneManager.h>
#include <ITimer.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace irr;

namespace {

constexpr int GlyphWidth = 10, GlyphHeight = 32, CellWidth = 16, Columns = 16;

const char* const Markup = "<font-color:0xFF20C0>\n<left>\nScore: 12345 points\n<dy=-0.2>\n"
                           "Level 7 of the tower, three lives left\n<center>\n<line-height:1.5>\n"
                           "Press the button to continue\n<!-- a remark -->\nThe last line of the text";

int glyphLeft(int code) { return ((code - 32) % Columns) * CellWidth; }
int glyphTop(int code) { return ((code - 32) / Columns) * GlyphHeight; }

// A monospace font file and its image in a folder of the benchmark's own.
std::string writeFont(video::IVideoDriver* driver)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "engine-bench-text";
    std::filesystem::create_directories(folder / "Profile");
    // Paths under the program folder pass the texture-path checks without a message box.
    SetAppFolder((folder.string() + "/").c_str());
    ResetUserFolder();
    const std::string png = (folder / "mono.png").string(), xml = (folder / "mono.xml").string();
    video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(256, 256));
    image->fill(video::SColor(255, 255, 255, 255));
    driver->writeImageToFile(image, png.c_str());
    image->drop();
    std::ofstream out(xml);
    out << "<font>\n<texture>" << png << "</texture>\n<scale 0.05/>\n";
    for (int code = 32; code < 127; ++code)
        out << "<char l='" << glyphLeft(code) << "' t='" << glyphTop(code) << "' r='" << glyphLeft(code) + GlyphWidth
            << "' b='" << glyphTop(code) + GlyphHeight << "' abcA='0' abcB='10' abcC='0' ascii='" << code << "'/>\n";
    out << "<gaps l='0' t='0' r='0' b='0'/>\n</font>\n";
    // The null driver's textures have no size: the cache is told the image's.
    CTextureCache::instance().clear();
    STextureRegion region = retrieveTexture(png.c_str());
    CTextureCache::instance().clear();
    if (region.Texture) {
        region.setPixelRect(core::recti(0, 0, 256, 256), core::dimension2du(256, 256));
        CTextureCache::instance().push(region);
    }
    return xml;
}

struct STextScene {
    CEngineBase Engine;
    CGUIFont3D* Font = nullptr;

    STextScene()
    {
        Engine.ForceNullDriver = true;
        Engine.createDevice();
        Engine.Device->getTimer()->stop();
        Engine.Device->getTimer()->setTime(1000);
        scene::ISceneManager* smgr = Engine.SceneManager;
        const std::string xml = writeFont(Engine.Driver);
        Font = new CGUIFont3D(Engine.Driver, smgr, Engine.Device->getTimer());
        if (!Font->loadXmlFont(xml.c_str())) {
            Font->drop();
            Font = nullptr;
        }
        smgr->setActiveCamera(smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20), core::vector3df(0, 0, 0)));
    }
    ~STextScene()
    {
        Engine.SceneManager->getRootSceneNode()->removeAll();
        Engine.Renderer.processDeferredRemovals();
        if (Font)
            Font->drop();
        CTextureCache::instance().clear();
    }
    CTextNode* addText(const core::vector3df& position)
    {
        CTextNode* node = createTextNode(Markup, position, Engine.SceneManager->getRootSceneNode(), -1);
        if (node)
            node->setFont(Font);
        return node;
    }
    void frame()
    {
        Engine.Driver->beginScene(true, false, video::SColor(255, 0, 0, 0));
        Engine.Renderer.renderNodes();
        Engine.Driver->endScene();
    }
    STextScene(const STextScene&) = delete;
    STextScene& operator=(const STextScene&) = delete;
};

// Frames of many text nodes already laid out.
void TextFrames(benchmark::State& state)
{
    STextScene scene;
    if (!scene.Font) {
        state.SkipWithError("no font");
        return;
    }
    const int count = int(state.range(0));
    for (int i = 0; i < count; ++i)
        scene.addText(core::vector3df(f32(i % 20) - 10, f32(i / 20) - 10, 0));
    scene.frame();
    for (auto _ : state) {
        scene.Engine.Renderer.getPrimitiveCount() = 0;
        scene.frame();
    }
    state.counters["vertices"] = scene.Engine.Renderer.getPrimitiveCount();
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(TextFrames)->Arg(10)->Arg(200)->Unit(benchmark::kMicrosecond);

// A new node's text set and its first pass, where layout and one-time tags run.
void TextLayoutAndFirstDraw(benchmark::State& state)
{
    STextScene scene;
    if (!scene.Font) {
        state.SkipWithError("no font");
        return;
    }
    CTextNode* node = scene.addText(core::vector3df(0, 0, 0));
    for (auto _ : state) {
        node->setText(Markup);
        scene.frame();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(TextLayoutAndFirstDraw)->Unit(benchmark::kMicrosecond);

void MeasureLine(benchmark::State& state)
{
    STextScene scene;
    if (!scene.Font) {
        state.SkipWithError("no font");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(scene.Font->getTextDimension("Level 7 of the tower, three lives left"));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(MeasureLine);

} // namespace
