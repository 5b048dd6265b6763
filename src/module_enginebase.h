// The engine object and the client interface: every subsystem reaches the
// device, options, sound, renderer, script host, camera and root node through
// the one CEngineBase; the game plugs in through CEngineClient.
#pragma once

#include "module_enginebase_queue.h"
#include "module_mousekeyb.h"
#include "module_scripting.h"
#include "module_userprofile.h"
#include "rendering.h"
#include "server_sound_bass.h"
#include "utils_array.h"
#include "utils_fs_mount.h"
#include "utils_str.h"

#include <EDriverTypes.h>
#include <IReferenceCounted.h>
#include <dimension2d.h>
#include <irrArray.h>
#include <irrList.h>
#include <irrMap.h>
#include <irrString.h>
#include <position2d.h>

#include <cwchar>
#include <string>
#include <vector>

namespace irr {
class IrrlichtDevice;
class ILogger;
struct SIrrlichtCreationParameters;
namespace io { class IFileSystem; }
namespace video { class IVideoDriver; class ITexture; }
namespace scene { class ISceneManager; class ISceneNode; class ICameraSceneNode; }
}

class CDialogInfo;
class CGUIFont3D;
class CNodeFactory;
struct SSpriteCreateInfo;
class CProfileData;
class CTextEffect;
class CUserProfile;
class CManifest;

// The engine's error exception; the game's main function shows its message.
struct CTallowinError {
    CString Message;
};

// The game's side of the engine. Reference counted; the engine holds one reference.
class CEngineClient : public irr::IReferenceCounted {
public:
    ~CEngineClient() override = default;

    virtual CProfileData* createProfileData();     // new, owned by the caller; null for none
    virtual CNodeFactory* createNodeFactory();     // +1: caller drops
    virtual CDialogInfo* createDialogInfo();       // +1: caller drops
    virtual bool OnEvent(const irr::SEvent& event);
    virtual void onFrame();
    virtual void registerScriptBindings();
    virtual void expandMacros(CString& text, const CStringArray* parameters, const SSpriteCreateInfo* context);
    virtual float getTimerSpeed(int timer);
    virtual void onGameStateChanged(int state);
    virtual void onInit() = 0;
    virtual void onShutdown() = 0;
    virtual float getFontScale(const char* sizeText);
    virtual CGUIFont3D* getFont(const char* faceName);   // borrowed
    virtual CTextEffect* createTextEffect(const char* effectText) = 0;   // new or null
};

// One custom cursor of the manifest; owns nothing.
struct CCursorEntry {
    irr::core::dimension2di Size;
    const void* Item = nullptr;               // the manifest's cursor record (borrowed)
    int SpritesX = 1;                         // frames side by side in the texture
    irr::video::ITexture* Texture = nullptr;  // borrowed from the driver
    irr::core::position2di HotSpot;
};

// A wide copy of an 8-bit text through the project's code page.
class CWideCharBuffer {
public:
    explicit CWideCharBuffer(const char* text);
    ~CWideCharBuffer();
    CWideCharBuffer(const CWideCharBuffer&) = delete;
    CWideCharBuffer& operator=(const CWideCharBuffer&) = delete;
    const wchar_t* c_str() const { return Text ? Text : L""; }

private:
    wchar_t* Text = nullptr;   // owned; null for a null or empty text
};

// Creates a device; replaceable so that tests can refuse devices or pick the null driver.
using DeviceFactory = irr::IrrlichtDevice* (*)(const irr::SIrrlichtCreationParameters& params);

class CEngineBase {
public:
    CEngineBase();
    virtual ~CEngineBase();
    CEngineBase(const CEngineBase&) = delete;
    CEngineBase& operator=(const CEngineBase&) = delete;

    // --- engine object (module_enginebase.cpp) ---
    void setClient(CEngineClient* client);
    CEngineClient* getClient() const { return Client; }
    void log(const char* text, int level);
    CSoundServer* getSoundServer() { return &Sound; }
    CUserProfileModule* getOptions() { return &Options; }
    CEngineMessageQueue* getMessageQueue() { return &Queue; }
    CScriptModule* getScripts() { return &Scripts; }
    CInputReceiver* getInputReceiver() { return &Input; }
    void setGameState(int state);
    float getTimerSpeed(uint32_t timer);
    void selectCursor(int number, int animate);

    // --- active profile and preloading (module_enginebase_profile.cpp) ---
    CUserProfile* getProfile();           // borrowed; made on first use
    void loadProfile(CString name);       // "" only drops the current profile
    void preloadFile(CString path, CString* digest);
    // The data files to preload: the data folder's and those inside every
    // mounted archive, lower-case with "\" separators, each once.
    void listPreloadFiles(irr::core::array<irr::core::stringc>& list);

    // --- services (module_enginebase_services.cpp) ---
    bool setBackground(const char* image, int crossFade);
    CString getTopDialogName();
    bool isDialogOpen(const char* name);
    bool trackDialog(int mode, CDialogInfo* record);
    void closeDialogs(const char* list);
    bool closeDialog(CString name, uint32_t fadeMs);
    void clearCaches(int quiet);
    void releasePixelCaches();
    void expandMacros(CString& text, const CStringArray* parameters, const SSpriteCreateInfo* extra);

    // --- game states and pause levels (server_game_states.cpp) ---
    int getPauseLevel();
    bool setPauseLevel(int level, bool set);
    void requestExit();
    bool isExitRequested() const { return ExitRequested != 0; }

    // --- program life (server_game.cpp) ---
    bool runEngine(CEngineClient* client);
    void createDevice();
    void mountArchives();
    bool mountArchive(const CString& path);
    void releaseDevice();
    bool setWindowIcon(const CString& path);   // false when no icon was set
    // The device's window has the focus; always with the null driver, which has no window.
    bool isWindowActive() const;

    // --- frame loop (server_game_loop.cpp) ---
    void run();
    void beginRun();     // everything before the first frame
    bool runFrame();     // one frame; false when the loop is to end
    void endRun();       // the exit sequence
    void tickClient();
    // Moves the held device time on by the ticks since the last call.
    void advanceDeviceClock(uint32_t now);

    // Fields other parts read and write directly.
    CEngineClient* Client = nullptr;            // one reference held
    CUserProfileModule Options;
    CUserProfile* CurrentProfile = nullptr;     // one reference held
    CEngineMessageQueue Queue;
    int PauseLevel = 0;
    uint32_t UnpauseTick = 0;                   // tick when the pause overlay began to fade out
    float TimerSpeeds[2] = {1.0f, 1.0f};        // timers 0 and 1, refreshed every frame
    CString BuildFootprint;
    irr::IrrlichtDevice* Device = nullptr;      // one reference held
    irr::video::IVideoDriver* Driver = nullptr; // borrowed from the device, as are the next three
    irr::scene::ISceneManager* SceneManager = nullptr;
    irr::ILogger* Logger = nullptr;
    irr::io::IFileSystem* FileSystem = nullptr;
    CGUIFont3D* DefaultFont = nullptr;          // borrowed from the font map
    irr::core::map<irr::core::stringc, CGUIFont3D*> Fonts;   // one reference each
    int CursorAnimate = 0;
    CCursorEntry* CurrentCursor = nullptr;      // borrowed from Cursors
    CArray<CCursorEntry*> Cursors;              // owned
    CInputReceiver Input;
    CSoundServer Sound;
    CRenderer Renderer;
    CScriptModule Scripts;
    int FrameRate = 0;
    CString LastDebugText;
    int LastSwitchCount = 0;
    int LastPrimitiveCount = 0;
    irr::scene::ICameraSceneNode* Camera = nullptr;   // borrowed from the scene
    irr::scene::ISceneNode* RootNode = nullptr;       // borrowed from the scene
    int GameState = 0;
    float PreloadProgress = 0.0f;
    CString MountedArchives;                    // base names of every mount, run together
    std::vector<std::string> MountedPaths;      // canonical paths of every mount
    CString MountRefusals;                      // the log line of each archive refused, one a line
    irr::s32 BackgroundId = 0;                  // looked up: a script may have deleted it
    irr::core::list<CDialogInfo*> Dialogs;      // grabbed, open dialogs

    // Process-wide in a single engine; kept here so engines never share state.
    int ExitRequested = 0;                      // set by requestExit, never cleared
    int AppActive = 0;                          // non-zero while input counts
    char Fullscreen = 0;

    // Frame-loop state.
    int CursorFrame = 0;
    uint32_t LastCursorAdvance = 0;
    int SystemCursorMode = -1;                  // 1 shown, 0 hidden, -1 not yet set
    irr::video::ITexture* EmptyTexture = nullptr;   // borrowed from the driver
    int FramePeriodMs = 12;
    uint32_t DeviceClockTick = 0;               // tick count the device time was last moved on to
    int MissingCursorWarned = 0;                // last cursor number selectCursor could not find

    // Port-only choices.
    DeviceFactory CreateDeviceFn;               // irr::createDeviceEx unless replaced
    bool ForceNullDriver = false;               // headless: the null driver, no fallbacks
    SFolderMountLimits FolderMountLimits;       // how much a mounted folder may take (tests lower it)
    bool WindowAlwaysActive = false;            // the null driver has no window to focus

private:
    class CContext;
    CContext* Context = nullptr;                // owned: the foundation's view of this engine
    irr::scene::ISceneNode* createPauseOverlay();
    void drawCursor();
    void reportOrphanedNodes();
    // Logs the line and keeps it: the data then missing makes a fatal error
    // before the first frame, whose box must say why.
    void noteRefusedArchive(const CString& line);
    void loadFonts();
    void loadCursors();
    void runStartupCode();
    bool offerDiagnostics();
};

// The current engine: the newest one alive, else one built on first use
// and destroyed by DestroyEngine.
CEngineBase* getEngine();
void DestroyEngine();

// A termination signal (SIGTERM, SIGINT) ends the frame loop like a closed window.
void InstallTerminationHandlers();

bool stringEquals(const char* a, const CString& b);

// Free accessors through getEngine.
irr::scene::ICameraSceneNode** getCameraSlot();
irr::scene::ISceneNode** getRootNodeSlot();
irr::IrrlichtDevice* getDevice();
irr::video::IVideoDriver* getDriver();
irr::scene::ISceneManager* getSceneManager();
irr::io::IFileSystem* getFileSystem();
CRenderer* getRenderer();
int getGameState();
bool isGameStarted();
int isDebugMode();
int isSoftwareRenderer();
int* getAppActiveFlag();
