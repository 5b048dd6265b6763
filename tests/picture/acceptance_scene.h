// A whole engine on a real driver in a small window, with a data folder of
// its own: sprites are made from descriptions as a game makes them, frames run
// through the frame loop, and each checked frame is the engine's own capture.
#pragma once

#include "module_enginebase.h"

#include "fake_engine_client.h"
#include "msgbox_recorder.h"
#include "picture_support.h"
#include "temp_folder.h"
#include "xvfb_server.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

class CNodeBasement;

// The window: 4:3 as the engine camera, which shows 30 units of height, so
// one unit is 4 pixels and the world origin sits at the window centre.
constexpr int SceneWidth = 160, SceneHeight = 120;
constexpr float ScenePixelsPerUnit = 4.0f;

int sceneX(float worldX);
int sceneY(float worldY);

// Another window size for the next start (text wants more pixels per unit);
// the camera always shows 30 units of height.
void SetSceneWindow(int width, int height);

// Renderer option values: 3 the hardware renderer (OpenGL), 2 Burning's Video.
struct SSceneDriver {
    const char* Name;
    int Renderer;
    irr::video::E_DRIVER_TYPE Type;
};

extern const SSceneDriver SceneDrivers[2];

// A frame as the engine captured it, owned.
class CSceneFrame {
public:
    explicit CSceneFrame(irr::video::IImage* image = nullptr) : Image(image) {}
    ~CSceneFrame();
    CSceneFrame(CSceneFrame&& other) noexcept : Image(other.Image) { other.Image = nullptr; }
    CSceneFrame& operator=(CSceneFrame&& other) noexcept;
    CSceneFrame(const CSceneFrame&) = delete;
    CSceneFrame& operator=(const CSceneFrame&) = delete;

    bool isValid() const { return Image != nullptr; }
    SPicturePixel at(int x, int y) const;
    SPicturePixel atWorld(float x, float y) const;
    irr::video::IImage* image() const { return Image; }

private:
    irr::video::IImage* Image;
};

::testing::AssertionResult PixelNear(const SPicturePixel& actual, const SPicturePixel& expected, int tolerance);

// An Xvfb of its own, named in DISPLAY while it lives, for tests that move
// the pointer: other picture tests share the caller's display.
class CPrivateDisplay {
public:
    CPrivateDisplay();
    ~CPrivateDisplay();
    CPrivateDisplay(const CPrivateDisplay&) = delete;
    CPrivateDisplay& operator=(const CPrivateDisplay&) = delete;
    bool isOpen() const { return Server && !Server->name().empty(); }

private:
    std::unique_ptr<CXvfbServer> Server;
    std::string Previous;
    bool HadPrevious = false;
};

class CAcceptanceScene {
public:
    CAcceptanceScene();
    ~CAcceptanceScene();
    CAcceptanceScene(const CAcceptanceScene&) = delete;
    CAcceptanceScene& operator=(const CAcceptanceScene&) = delete;

    // Before start: data files. The folder is listed when the device mounts it.
    void writeImage(const std::string& name, int w, int h, const std::function<irr::video::SColor(int, int)>& pixel,
                    irr::video::ECOLOR_FORMAT format = irr::video::ECF_A8R8G8B8);
    void writeText(const std::string& name, const std::string& text);
    // Manifest sections, the inner XML of each list; Head holds the plain
    // settings before the lists, in the manifest's order.
    std::string Head, Fonts, Cursors, AtlasLists, Materials, ParticleGroups, Macros;
    // The shader materials' clock, when set before start.
    std::function<uint32_t()> MaterialClock;

    // Opens the engine on the renderer; false when that driver is not there
    // (the engine fell back to another). The first frame has run; play is on.
    bool start(int renderer, irr::video::E_DRIVER_TYPE expected);
    // Same, with a factory of the caller's (to make drivers fail).
    bool start(int renderer, DeviceFactory factory);

    // A sprite from a description text at a world position under the root.
    CNodeBasement* sprite(const std::string& description, const irr::core::vector3df& position = {0, 0, 0});
    void script(const char* code);
    // One frame of the loop; its picture as captured before the buffers swap.
    CSceneFrame frame();
    // One frame without a capture; false when the loop would end.
    bool step();
    std::string dataPath(const std::string& name) const { return Folder.path() + "data/" + name; }
    std::string programPath(const std::string& name) const { return Folder.path() + name; }

    // Before start: the window opens on a display of its own when Xvfb is there.
    void useOwnDisplay() { Display = std::make_unique<CPrivateDisplay>(); }

    std::unique_ptr<CPrivateDisplay> Display;   // first: the engine's window goes before its display
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;
    std::unique_ptr<CEngineBase> Engine;
    CFakeEngineClient* Client = nullptr;   // borrowed from the engine
    int ShotCount = 0;

private:
    void writeManifest();
    bool Started = false;
    std::string WorkingFolder;   // the engine moves into the program folder; put back at the end
};
