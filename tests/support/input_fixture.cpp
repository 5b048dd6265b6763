// The input test fixture.
#include "input_fixture.h"

#include "module_dialogfactory.h"
#include "module_mousekeyb.h"
#include "node_factory.h"
#include "node_base.h"
#include "node_utilities.h"
#include "rendering_stuff_textures.h"
#include "server_game_manifest.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <ICursorControl.h>
#include <IFileSystem.h>
#include <IImage.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>
#include <irrlicht.h>

#include <filesystem>

namespace {

// The empty picture that empty sprite nodes show. It must be there before the
// engine's device mounts the data folder, which lists the folder only then.
void writeEmptyPicture(const std::string& path)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    irr::IrrlichtDevice* device = irr::createDevice(irr::video::EDT_NULL);
    ASSERT_NE(device, nullptr);
    irr::video::IVideoDriver* driver = device->getVideoDriver();
    irr::video::IImage* image = driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(4, 4));
    image->fill(irr::video::SColor(0, 0, 0, 0));
    EXPECT_TRUE(driver->writeImageToFile(image, path.c_str()));
    image->drop();
    device->drop();
}

} // namespace

CInputProgramFolder::CInputProgramFolder()
{
    std::filesystem::create_directories(Folder.path() + "Profile");
    std::filesystem::create_directories(Folder.path() + "data");
    Folder.write("game.ini", "EnableIngameEditor=1\n");
    writeEmptyPicture(Folder.path() + "data/gui/empty.png");
    writeEmptyPicture(Folder.path() + "data/gui/black.png");   // the pause overlay's, shown by a pause in play
    Folder.write("data/manifest.xml", "<Manifest><Fonts></Fonts><Cursors></Cursors><AtlasLists></AtlasLists>"
                                      "<Materials></Materials><ParticleGroups></ParticleGroups></Manifest>");
    SetAppFolder(Folder.path().c_str());
    ResetUserFolder();
}

CInputProgramFolder::~CInputProgramFolder()
{
    ResetUserFolder();
    SetAppFolder(nullptr);
    ClearNativePathCache();
}

void InputFixture::SetUp()
{
    getInputState()->reset();
    CDialogFactory::reset();
    ResetNodeRegistry();
    Client = new CFakeEngineClient;
    Engine.setClient(Client);
    Client->drop();
    Engine.ForceNullDriver = true;
    Engine.createDevice();
    ASSERT_NE(Engine.Device, nullptr);
    CTextureCache::instance().clear();
    CManifest::stored().readFrom((Program.Folder.path() + "data/manifest.xml").c_str());
    Engine.beginRun();
    script("log <- [];");
    ASSERT_TRUE(step());   // the camera's frustum exists only after a drawn frame
    Engine.setGameState(500);
    clearSpriteCache();
}

void InputFixture::TearDown()
{
    Engine.endRun();
    CManifest::stored().clear();
    CTextureCache::instance().clear();
    getInputState()->reset();
    CDialogFactory::reset();
    clearSpriteCache();
}

void InputFixture::writeData(const std::string& name, const std::string& text)
{
    Program.Folder.write("data/" + name, text);
}

bool InputFixture::step(uint32_t ms)
{
    Clock.NowMs += ms;   // the engine moves the device time on from it
    return Engine.runFrame();
}

CNodeBasement* InputFixture::addNode(irr::s32 id, const irr::core::vector3df& position, irr::f32 width,
                                     irr::f32 height, irr::scene::ISceneNode* parent)
{
    CNodeBasement* node = new CNodeBasement(parent ? parent : Engine.RootNode, Engine.SceneManager, id, position,
                                            irr::core::dimension2df(width, height));
    node->drop();   // the parent holds it
    node->updateAbsolutePosition();
    return node;
}

irr::core::position2di InputFixture::centre() const
{
    const irr::core::dimension2du size = Engine.Driver->getScreenSize();
    return irr::core::position2di(irr::s32(size.Width / 2), irr::s32(size.Height / 2));
}

void InputFixture::moveTo(const irr::core::position2di& pos)
{
    Engine.Device->getCursorControl()->setPosition(pos);
    mouse(irr::EMIE_MOUSE_MOVED);
}

void InputFixture::mouse(irr::EMOUSE_INPUT_EVENT kind, float wheel)
{
    irr::SEvent event{};
    event.EventType = irr::EET_MOUSE_INPUT_EVENT;
    event.MouseInput.Event = kind;
    event.MouseInput.Wheel = wheel;
    const irr::core::position2di pos = Engine.Device->getCursorControl()->getPosition();
    event.MouseInput.X = pos.X;
    event.MouseInput.Y = pos.Y;
    Engine.Input.OnEvent(event);
}

bool InputFixture::key(irr::EKEY_CODE code, bool pressed, bool shift, bool control)
{
    irr::SEvent event{};
    event.EventType = irr::EET_KEY_INPUT_EVENT;
    event.KeyInput.Key = code;
    event.KeyInput.PressedDown = pressed;
    event.KeyInput.Shift = shift;
    event.KeyInput.Control = control;
    event.KeyInput.Char = 0;
    return Engine.Input.OnEvent(event);
}

void InputFixture::click()
{
    mouse(irr::EMIE_LMOUSE_PRESSED_DOWN);
    mouse(irr::EMIE_LMOUSE_LEFT_UP);
}

void InputFixture::script(const char* code)
{
    Engine.Scripts.callScriptCode(code, nullptr, false);
}

std::vector<std::string> InputFixture::scriptLog()
{
    SquirrelObject log = SquirrelVM::GetRootTable().GetValue("log");
    std::vector<std::string> out;
    for (SQInteger i = 0;; ++i) {
        SquirrelObject item = log.GetValue(i);
        if (item.IsNull())
            break;
        out.push_back(item.ToString() ? item.ToString() : std::to_string(item.ToInteger()));
    }
    return out;
}
