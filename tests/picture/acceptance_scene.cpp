#include "acceptance_scene.h"

#include "module_dialogfactory.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_text.h"
#include "node_utilities.h"
#include "rendering_stuff_particles.h"
#include "rendering_stuff_textures.h"
#include "server_game_manifest.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

using namespace irr;

const SSceneDriver SceneDrivers[2] = {{"OpenGL", 3, video::EDT_OPENGL}, {"BurningsVideo", 2, video::EDT_BURNINGSVIDEO}};

int sceneX(float worldX)
{
    return int(SceneWidth / 2 + worldX * ScenePixelsPerUnit + 0.5f);
}

int sceneY(float worldY)
{
    return int(SceneHeight / 2 - worldY * ScenePixelsPerUnit + 0.5f);
}

namespace {

core::dimension2du WindowSize(SceneWidth, SceneHeight);

IrrlichtDevice* createSceneWindow(const SIrrlichtCreationParameters& params)
{
    SIrrlichtCreationParameters window = params;
    window.WindowSize = WindowSize;
    window.Fullscreen = false;
    window.AntiAlias = 0;
    window.LoggingLevel = ELL_ERROR;
    return CreatePictureDevice(window);
}

} // namespace

void SetSceneWindow(int width, int height)
{
    WindowSize = core::dimension2du(u32(width), u32(height));
}

CSceneFrame::~CSceneFrame()
{
    if (Image)
        Image->drop();
}

CSceneFrame& CSceneFrame::operator=(CSceneFrame&& other) noexcept
{
    if (this != &other) {
        if (Image)
            Image->drop();
        Image = other.Image;
        other.Image = nullptr;
    }
    return *this;
}

SPicturePixel CSceneFrame::at(int x, int y) const
{
    if (!Image || x < 0 || y < 0 || u32(x) >= Image->getDimension().Width || u32(y) >= Image->getDimension().Height)
        return SPicturePixel{-1, -1, -1};
    return ImagePixel(Image, x, y);
}

SPicturePixel CSceneFrame::atWorld(float x, float y) const
{
    if (!Image)
        return SPicturePixel{-1, -1, -1};
    const core::dimension2du size = Image->getDimension();
    const float perUnit = float(size.Height) / 30.0f;
    return at(int(float(size.Width) / 2 + x * perUnit + 0.5f), int(float(size.Height) / 2 - y * perUnit + 0.5f));
}

::testing::AssertionResult PixelNear(const SPicturePixel& actual, const SPicturePixel& expected, int tolerance)
{
    if (std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not near " << expected;
}

CPrivateDisplay::CPrivateDisplay()
{
    if (!HasPictureDisplay())
        return;
    Server = std::make_unique<CXvfbServer>();
    if (Server->name().empty())
        return;
    if (const char* previous = std::getenv("DISPLAY")) {
        Previous = previous;
        HadPrevious = true;
    }
    setenv("DISPLAY", Server->name().c_str(), 1);
}

CPrivateDisplay::~CPrivateDisplay()
{
    if (!isOpen())
        return;
    if (HadPrevious)
        setenv("DISPLAY", Previous.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

CAcceptanceScene::CAcceptanceScene()
{
    std::error_code error;
    WorkingFolder = std::filesystem::current_path(error).string();
    std::filesystem::create_directories(Folder.path() + "Profile");
    writeImage("gui/empty.png", 4, 4, [](int, int) { return video::SColor(0, 0, 0, 0); });
    writeImage("gui/black.png", 4, 4, [](int, int) { return video::SColor(255, 0, 0, 0); });
    Folder.write("game.ini", "EnableIngameEditor=1\n");
}

CAcceptanceScene::~CAcceptanceScene()
{
    if (Engine) {
        if (Started)
            Engine->endRun();
        CManifest::stored().clear();
        CTextureCache::instance().clear();
        clearTexturePixelCache();
        getInputState()->reset();
        CDialogFactory::reset();
        Engine.reset();
        ResetNodeRegistry();
    }
    SetSceneWindow(SceneWidth, SceneHeight);
    std::error_code error;
    if (!WorkingFolder.empty())
        std::filesystem::current_path(WorkingFolder, error);
    ResetUserFolder();
    SetAppFolder(nullptr);
    SetLogFolder(nullptr);
    ClearTextFileCache();
    ClearNativePathCache();
}

void CAcceptanceScene::writeImage(const std::string& name, int w, int h,
                                  const std::function<video::SColor(int, int)>& pixel, video::ECOLOR_FORMAT format)
{
    const std::string path = dataPath(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    IrrlichtDevice* device = createDevice(video::EDT_NULL);
    ASSERT_NE(device, nullptr);
    video::IVideoDriver* driver = device->getVideoDriver();
    video::IImage* image = driver->createImage(format, core::dimension2du(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image->setPixel(x, y, pixel(x, y));
    EXPECT_TRUE(driver->writeImageToFile(image, path.c_str())) << path;
    image->drop();
    device->drop();
}

void CAcceptanceScene::writeText(const std::string& name, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(dataPath(name)).parent_path());
    Folder.write("data/" + name, text);
}

void CAcceptanceScene::writeManifest()
{
    writeText("manifest.xml", "<Manifest>" + Head + "<Fonts>" + Fonts + "</Fonts><Cursors>" + Cursors + "</Cursors><AtlasLists>" +
                                  AtlasLists + "</AtlasLists><Materials>" + Materials +
                                  "</Materials><ParticleGroups>" + ParticleGroups + "</ParticleGroups><Macros>" + Macros +
                                  "</Macros></Manifest>");
}

bool CAcceptanceScene::start(int renderer, video::E_DRIVER_TYPE expected)
{
    if (!start(renderer, createSceneWindow))
        return false;
    return Engine->Driver->getDriverType() == expected;
}

bool CAcceptanceScene::start(int renderer, DeviceFactory factory)
{
    if (!HasPictureDisplay())
        return false;
    writeManifest();
    SetAppFolder(Folder.path().c_str());
    SetLogFolder(Folder.path().c_str());
    ResetUserFolder();
    getInputState()->reset();
    CDialogFactory::reset();
    ResetNodeRegistry();
    ResetInlinePictureIds();
    CTextureCache::instance().clear();
    clearTexturePixelCache();

    Engine = std::make_unique<CEngineBase>();
    Client = new CFakeEngineClient;
    Engine->setClient(Client);
    Client->drop();
    Engine->Options.Renderer = renderer;
    Engine->Options.BitsPerPixel = 32;
    Engine->Options.Sound = 0;
    Engine->CreateDeviceFn = factory;
    Engine->WindowAlwaysActive = true;   // no window manager under Xvfb gives the window focus
    Engine->createDevice();
    if (!Engine->Driver)
        return false;
    if (MaterialClock)
        Engine->Renderer.getMaterials().setClock(MaterialClock);
    CManifest::instance();   // from the program folder, as the game reads it
    Engine->beginRun();
    Started = true;
    script("log <- [];");
    // The loading steps (atlases, particle groups, materials) take a frame each, then play begins.
    for (int frame = 0; frame < 100 && getGameState() < 500; ++frame)
        if (!step())
            return false;
    return getGameState() >= 500;
}

CNodeBasement* CAcceptanceScene::sprite(const std::string& description, const core::vector3df& position)
{
    return addSprite(("raw://" + description).c_str(), 1.0f, 1.0f, position, nullptr);
}

void CAcceptanceScene::script(const char* code)
{
    Engine->Scripts.callScriptCode(code, nullptr, false);
}

bool CAcceptanceScene::step()
{
    return Engine->runFrame();
}

CSceneFrame CAcceptanceScene::frame()
{
    const std::string path = programPath("frame" + std::to_string(ShotCount++) + ".bmp");
    Engine->Queue.postMessage(EngineMessageScreenshot, 0, reinterpret_cast<uintptr_t>(strdup(path.c_str())), 1);
    step();
    if (!std::filesystem::exists(path))
        return CSceneFrame();
    // For a person to look at: ACCEPTANCE_FRAMES=<folder> keeps every frame there.
    if (const char* keep = std::getenv("ACCEPTANCE_FRAMES")) {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "frame";
        for (char& c : name)
            if (c == '/')
                c = '_';
        std::error_code error;
        std::filesystem::copy_file(path, std::string(keep) + "/" + name + "." + std::to_string(ShotCount - 1) + ".bmp",
                                   std::filesystem::copy_options::overwrite_existing, error);
    }
    return CSceneFrame(Engine->Driver->createImageFromFile(path.c_str()));
}
