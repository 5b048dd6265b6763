// The frame loop: the scene set up before the first frame, one frame in its
// fixed order, the cursor, and the exit sequence.
#include "module_enginebase.h"

#include "asystemtickanimator.h"
#include "clock.h"
#include "node_base.h"
#include "node_text.h"
#include "node_utilities.h"
#include "rendering_font.h"
#include "server_game_manifest.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_image_header.h"
#include "thread.h"
#include "x_clipboard.h"
#include "utils_debug.h"
#include "utils_str_parse.h"
#include "utils_system_common.h"

#include <ICameraSceneNode.h>
#include <ICursorControl.h>
#include <ISceneManager.h>
#include <ITimer.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

#include <csignal>
#include <optional>

namespace {

constexpr irr::s32 CameraId = 1000;
constexpr irr::s32 RootId = 1001;
constexpr float CameraZ = -20.65f;
constexpr float CameraAspect = 4.0f / 3.0f;
constexpr uint32_t CursorFrameMs = 40;   // a custom cursor advances only after more than this
const char* const EmptyTexturePath = "gui/empty.png";   // the data name "\\gui\\empty.png" as the archives know it

volatile std::sig_atomic_t TerminationRequested = 0;

void onTerminationSignal(int)
{
    TerminationRequested = 1;
}

} // namespace

void InstallTerminationHandlers()
{
    std::signal(SIGTERM, onTerminationSignal);
    std::signal(SIGINT, onTerminationSignal);
}

void CEngineBase::run()
{
    beginRun();
    while (runFrame()) {
    }
    endRun();
}

void CEngineBase::beginRun()
{
    platform::ForgetMainThread();
    platform::RecordMainThread();
    // Without an archive the fonts, the cursors or the first dialog cannot
    // load; the box that ends the game then says which archive and why.
    std::optional<CFatalErrorNote> refused;
    if (!MountRefusals.IsEmpty())
        refused.emplace(MountRefusals);
    Renderer.getMaterials().init(Driver);
    InstallTextNodeMakers();
    loadFonts();
    loadCursors();
    if (Client)
        Client->onInit();
    Driver->setAmbientLight(irr::video::SColorf(1.0f, 1.0f, 1.0f, 1.0f));

    irr::core::vector3df cameraPos(0.0f, 0.0f, CameraZ);
    Camera = SceneManager->addCameraSceneNode(nullptr, cameraPos, irr::core::vector3df(0.0f, 0.0f, 0.0f), CameraId);
    Camera->setAspectRatio(CameraAspect);
    Camera->setPosition(cameraPos);
    SceneManager->setActiveCamera(Camera);
    Camera->setID(CameraId);

    EmptyTexture = NamesNoLoadableImage(EmptyTexturePath) ? nullptr : Driver->getTexture(EmptyTexturePath);
    CursorFrame = 0;
    AppActive = -1;
    SystemCursorMode = -1;

    registerNodeName("camera", CameraId);
    // The camera is no engine node, so it does not enter the ID cache by itself;
    // without the slot, looking it up by name or ID finds nothing.
    nodeIdCacheOp(CameraId, 1, Camera);
    registerNodeName("pole", RootId);
    // A plain engine node, not drawn itself, until sprite creation makes the root.
    CNodeBasement* root = new CNodeBasement(SceneManager->getRootSceneNode(), SceneManager, RootId,
                                            irr::core::vector3df(0.0f, 0.0f, 0.0f), irr::core::dimension2df(0.0f, 0.0f));
    root->drop();   // the scene holds it
    root->setAlpha(0.0f);
    root->setHideCount(1);
    root->setName("pole");
    RootNode = root;
    attachAnimator(root, new CSystemTickAnimator());
    runStartupCode();
    setGameState(100);
}

void CEngineBase::loadFonts()
{
    CManifest& manifest = CManifest::stored();
    for (int i = 0; i < manifest.Fonts.GetSize(); ++i) {
        CManifestFont* item = manifest.Fonts[i];
        CGUIFont3D* font = CreateFont3D(Driver, SceneManager, Device->getTimer(), ResolveDataPath(item->Description),
                                        item->Scale);
        font->getKerningWidthRef() += item->Kerning;
        font->getKerningHeightRef() += item->KerningSpace;
        font->BaseLine += item->BaseLine;
        font->LineHeight += item->LineSpace;
        font->setGlyphFilter(item->Filtering != 0);
        font->loadIcons(item->EmbedIcons);
        if (font->getGlyphCount() < 2)
            FatalError("Font are not initialized well!", false);
        irr::core::stringc name = (const char*)item->InternalName;
        if (auto* same = Fonts.find(name)) {
            // A second font of one name replaces the first, which must not leak.
            if (DefaultFont == same->getValue())
                DefaultFont = font;
            same->getValue()->drop();
        }
        Fonts.set(name, font);
        if (!DefaultFont)
            DefaultFont = font;
    }
}

void CEngineBase::loadCursors()
{
    CManifest& manifest = CManifest::stored();
    for (int i = 0; i < manifest.Cursors.GetSize(); ++i) {
        CManifestCursor* item = manifest.Cursors[i];
        const CString name = ToArchiveName(ResolveDataPath(item->Texture));
        irr::video::ITexture* texture = NamesNoLoadableImage(name) ? nullptr : Driver->getTexture((const char*)name);
        if (!texture) {
            // Without its texture the entry would have no size to cut frames from.
            DebugLog(Format("Cursor '%s' skipped: texture '%s' not found", (const char*)item->InternalName,
                            (const char*)item->Texture));
            continue;
        }
        CCursorEntry* entry = new CCursorEntry;
        entry->Item = item;
        entry->SpritesX = item->SpritesX;
        entry->Texture = texture;
        entry->Size.set(irr::s32(texture->getOriginalSize().Width), irr::s32(texture->getOriginalSize().Height));
        entry->HotSpot.set(item->HotSpotX, item->HotSpotY);
        Cursors.Add(entry);
        if (!CurrentCursor)
            CurrentCursor = entry;
    }
}

void CEngineBase::runStartupCode()
{
    CManifest& manifest = CManifest::stored();
    if (!manifest.isLoaded())
        return;
    CString code;
    // Whole: its include markers are expanded only when the loader preloads it.
    ReadScriptFile(ResolveDataPath(manifest.InitialScriptFile), code);   // missing or refused: empty
    if (!manifest.InitialScriptCode.IsEmpty())
        code = manifest.InitialScriptCode + "\r\n" + code;
    // The same file is preloaded later through the loader: its markers mean the same here.
    CScriptModule::applyLoadMarkers(code, false);
    if (!code.IsEmpty())
        Scripts.callScriptCode(code, nullptr, true);
}

bool CEngineBase::runFrame()
{
    uint32_t frameStart = platform::GetTickCount();
    CheckMainThread();
    advanceDeviceClock(frameStart);
    if (!Device->run())
        return false;
    Input.followWindowFocus(isWindowActive());
    platform::ServeClipboard();   // other programs asking for the game's clipboard text
    Renderer.getDebugText() = "";
    Renderer.getSwitchCount() = 0;
    Renderer.getPrimitiveCount() = 0;
    ++Renderer.getFrameCounter();
    // Cleared to black: OpenGL leaves undefined pixels wherever nothing is drawn.
    Driver->beginScene(true, true, irr::video::SColor(0, 0, 0, 0));
    CheckMainThread();
    Renderer.renderNodes();
    tickClient();
    drawCursor();
    Renderer.captureFrameIfRequested(Queue);   // before the buffers are swapped
    Driver->endScene();
    Queue.dispatchMessages();
    Scripts.runQueuedCalls();
    FrameRate = Driver->getFPS();
    LastDebugText = Renderer.getDebugText();
    LastSwitchCount = Renderer.getSwitchCount();
    LastPrimitiveCount = Renderer.getPrimitiveCount();
    Renderer.limitFrameRate(FramePeriodMs, frameStart);
    return !(getPauseLevel() >= 90 || GameState >= 999 || ExitRequested || TerminationRequested);
}

void CEngineBase::advanceDeviceClock(uint32_t now)
{
    irr::ITimer* timer = Device->getTimer();
    timer->setTime(timer->getTime() + (now - DeviceClockTick));   // ticks wrap: unsigned difference
    DeviceClockTick = now;
}

void CEngineBase::tickClient()
{
    if (!Client)
        return;
    TimerSpeeds[0] = Client->getTimerSpeed(0);
    TimerSpeeds[1] = Client->getTimerSpeed(1);
    Client->onFrame();
}

void CEngineBase::drawCursor()
{
    int cursorFace = CurrentProfile ? CurrentProfile->CursorFace : 0;
    // Without a custom cursor to draw, hiding the system one would leave no pointer at all.
    bool useSystem = cursorFace == 0 || getPauseLevel() >= 60 || GameState < 500 || Options.SoftwareRenderer ||
                     !CurrentCursor;
    int mode = useSystem ? 1 : 0;
    if (mode != SystemCursorMode) {
        SystemCursorMode = mode;
        if (Device->getCursorControl())
            Device->getCursorControl()->setVisible(useSystem);
    }
    if (Options.SoftwareRenderer || !CurrentCursor)
        return;
    irr::core::recti source(0, 0, CurrentCursor->Size.Width, CurrentCursor->Size.Height);
    if (!useSystem && CurrentCursor->SpritesX > 1) {
        int frameWidth = CurrentCursor->Size.Width / CurrentCursor->SpritesX;
        uint32_t now = platform::GetTickCount();
        if ((CursorAnimate || CursorFrame > 0) && now - LastCursorAdvance > CursorFrameMs) {
            CursorFrame = (CursorFrame + 1) % CurrentCursor->SpritesX;
            LastCursorAdvance = now;
        }
        source = irr::core::recti(frameWidth * CursorFrame, 0, frameWidth * (CursorFrame + 1),
                                  CurrentCursor->Size.Height);
    }
    irr::video::ITexture* texture = useSystem ? EmptyTexture : CurrentCursor->Texture;
    if (!texture)
        return;
    Driver->draw2DImage(texture, Input.getCursorPos() + CurrentCursor->HotSpot, source, nullptr,
                        irr::video::SColor(255, 255, 255, 255), true);
}

void CEngineBase::endRun()
{
    CheckMainThread();
    PauseLevel = 90;
    setGameState(999);
    DebugTrace("======= Exit in progress ========\n");
    if (Camera) {
        irr::scene::ICameraSceneNode* camera = Camera;
        Camera = nullptr;
        nodeIdCacheOp(CameraId, -1, camera);
        camera->remove();
    }
    if (RootNode) {
        irr::scene::ISceneNode* root = RootNode;
        RootNode = nullptr;
        root->remove();
    }
    Renderer.processDeferredRemovals();
    Renderer.getMaterials().dropAll();
    Renderer.dropQueuedTextures();
    DefaultFont = nullptr;
    for (auto it = Fonts.getIterator(); !it.atEnd(); it++)
        it->getValue()->drop();
    Fonts.clear();
    for (int i = 0; i < Cursors.GetSize(); ++i)
        delete Cursors[i];
    Cursors.RemoveAll();
    CurrentCursor = nullptr;
    if (Client)
        Client->onShutdown();
    if (isDebugMode()) {
        WriteProfilerLog("");
        reportOrphanedNodes();
    }
    clearCaches(1);
}

void CEngineBase::reportOrphanedNodes()
{
    irr::core::list<irr::scene::ISceneNode*>& live = GetLiveNodeList();
    if (live.empty())
        return;
    CString text = "Orphaned Nodes found!";
    for (irr::scene::ISceneNode* node : live)
        text += CString("\r\n") + node->getName();
    EngineMessageBox(text, MB_OK);
}
