// Movie sprites: the player's states, pause depth, repaint area, mouse mapping
// and the guarded copy of each drawn frame into the sprite's texture, and the
// animator that starts the movie and forwards the cursor to it.
#include "node_spriteflash.h"

#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "module_userprofile.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_helpers_desc.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_str_parse.h"

#include "clock.h"

#include <ICursorControl.h>
#include <IFileSystem.h>
#include <IReadFile.h>
#include <IrrlichtDevice.h>
#include <ITexture.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

using namespace irr;

namespace {

// Larger textures are refused rather than risking an overflowing buffer size.
constexpr s32 MaxMovieSide = 16384;
constexpr size_t PixelSlack = 1024;

void logLine(std::string_view line)
{
    DebugLog(std::string(line).c_str());
}

// Window messages carry each coordinate in 16 bits.
int packCoordinate(f32 unit, s32 size)
{
    double value = std::trunc(double(unit) * double(size));
    if (!std::isfinite(value))
        return 0;
    if (value > 1e15 || value < -1e15)
        value = 0;
    return int(int16_t(uint16_t(int64_t(value) & 0xFFFF)));
}

// A movie file opened through the engine's file system, else from disk.
class CMovieFile {
public:
    explicit CMovieFile(const char* path)
    {
        if (io::IFileSystem* fs = getFileSystem()) {
            CString name = ToArchiveName(path);
            Packed = fs->createAndOpenFile(name.operator const char*());
        }
        if (!Packed)
            Disk = std::fopen(ToNativePath(path), "rb");
    }
    ~CMovieFile()
    {
        if (Packed)
            Packed->drop();
        if (Disk)
            std::fclose(Disk);
    }
    CMovieFile(const CMovieFile&) = delete;
    CMovieFile& operator=(const CMovieFile&) = delete;

    bool isOpen() const { return Packed || Disk; }
    platform::MovieReader reader()
    {
        return [this](uint8_t* buffer, size_t size) -> size_t {
            if (Packed) {
                s32 got = Packed->read(buffer, u32(size > 0x7FFFFFFF ? 0x7FFFFFFF : size));
                return got > 0 ? size_t(got) : 0;
            }
            return Disk ? std::fread(buffer, 1, size, Disk) : 0;
        };
    }

private:
    io::IReadFile* Packed = nullptr;
    FILE* Disk = nullptr;
};

} // namespace

// --- CFlashPlayer ---

CFlashPlayer::CFlashPlayer(u32 userValue, IFlashListener* listener, CNodeBasement* node)
    : UserValue(userValue), Listener(listener), Backend(platform::CreateMovieBackend(logLine)), Node(node)
{
}

CFlashPlayer::~CFlashPlayer()
{
    Pixels.clear();
    if (Backend)
        Backend->setEvents(nullptr);
    Backend.reset();
}

video::ITexture* CFlashPlayer::texture() const
{
    if (!Node || Node->getMaterialCount() == 0)
        return nullptr;
    return Node->getMaterial(0).getTexture(0);
}

bool CFlashPlayer::init(bool transparent)
{
    if (!Backend)
        return false;
    Transparent = transparent;
    Backend->setEvents(this);
    Initialized = createTexture();
    return Initialized;
}

bool CFlashPlayer::createTexture()
{
    Pixels.clear();
    video::ITexture* tex = texture();
    if (!tex) {
        DebugLog("Bad tex for flash! (none)");
        return false;
    }
    const core::dimension2du size = tex->getSize();
    if (tex->hasMipMaps())
        DebugLog("Bad tex for flash! (mips)");
    if (tex->getColorFormat() != video::ECF_A8R8G8B8) {
        DebugLog("Bad tex for flash! (cf)");
        return false;
    }
    if (size.Width == 0 || size.Height == 0 || size.Width > u32(MaxMovieSide) || size.Height > u32(MaxMovieSide)) {
        DebugLog("Bad tex for flash! (size)");
        return false;
    }
    Width = s32(size.Width);
    Height = s32(size.Height);
    Pixels.assign(size_t(Width) * size_t(Height) * 4 + PixelSlack, 0);
    CopyRefused = false;
    setRect(0, 0, Width, Height);
    return true;
}

bool CFlashPlayer::loadMovie(const CString& path)
{
    if (!Initialized)
        return false;
    CString resolved = ResolveDataPath(path);
    CMovieFile file(resolved);
    if (!file.isOpen()) {
        DebugLog(CString("Flash movie not found: ") + resolved);
        LogReadFailure(resolved);
        return false;
    }
    if (!Backend->load(std::string_view(resolved, size_t(resolved.GetLength())), file.reader()))
        return false;
    if (PauseDepth == 0)
        Backend->play();
    State = StatePlaying;
    return true;
}

void CFlashPlayer::setRect(s32 x0, s32 y0, s32 x1, s32 y1)
{
    Rect = core::recti(x0, y0, x1, y1);
    if (Backend)
        Backend->setBounds(platform::MovieRect{-1, -1, Width + 1, Height + 1});
}

void CFlashPlayer::update()
{
    if (State != StatePlaying || !Backend || Backend->isPlaying())
        return;
    State = StateFinished;
    if (Listener && PauseDepth == 0)
        Listener->onFlashFinished(UserValue);
}

void CFlashPlayer::render()
{
    if (!Dirty || !Initialized)
        return;
    const int pitch = Width * 4;
    if (Transparent)
        std::memset(Pixels.data(), 0, size_t(pitch) * size_t(Height));
    // The runtime always draws the whole frame; only a drawn frame reaches the texture.
    if (Backend->drawFrame(Pixels.data(), Width, Height, pitch))
        copyToTexture();
    Dirty = false;
}

bool CFlashPlayer::copyToTexture()
{
    video::ITexture* tex = texture();
    const size_t rowBytes = size_t(Width) * 4;
    bool fits = tex && tex->getColorFormat() == video::ECF_A8R8G8B8 &&
                tex->getSize() == core::dimension2du(u32(Width), u32(Height)) && tex->getPitch() >= rowBytes;
    u8* target = fits ? static_cast<u8*>(tex->lock(video::ETLM_WRITE_ONLY)) : nullptr;
    if (!target) {
        if (!CopyRefused)
            DebugLog("Flash frame not copied: the sprite's texture no longer fits the movie");
        CopyRefused = true;
        return false;
    }
    const size_t pitch = tex->getPitch();
    for (s32 row = 0; row < Height; ++row)
        std::memcpy(target + size_t(row) * pitch, Pixels.data() + size_t(row) * rowBytes, rowBytes);
    tex->unlock();
    return true;
}

void CFlashPlayer::sendMouse(platform::MouseMessage message, f32 u, f32 v)
{
    if (Backend)
        Backend->sendMouse(message, packCoordinate(u, Width), packCoordinate(1.0f - v, Height));
    hideSystemCursor();
}

void CFlashPlayer::onMouseMove(f32 u, f32 v)
{
    sendMouse(platform::MouseMessage::Move, u, v);
}

void CFlashPlayer::onMouseDown(f32 u, f32 v, int ignore, int)
{
    if (ignore == 0)
        sendMouse(platform::MouseMessage::LeftDown, u, v);
}

void CFlashPlayer::onMouseUp(f32 u, f32 v, int ignore, int)
{
    if (ignore == 0)
        sendMouse(platform::MouseMessage::LeftUp, u, v);
}

void CFlashPlayer::hideSystemCursor()
{
    CEngineBase* engine = getEngine();
    IrrlichtDevice* device = engine ? getDevice() : nullptr;
    if (!device || !device->getCursorControl())
        return;
    if (engine->getProfile()->CursorFace == 0)
        device->getCursorControl()->setVisible(false);
}

void CFlashPlayer::stop()
{
    ++PauseDepth;
    if (State == StateFinished)
        return;
    State = StateStopped;
    if (PauseDepth == 1 && Backend)
        Backend->stop();
}

void CFlashPlayer::resume()
{
    // An unmatched resume must not leave a debt that swallows the next stop.
    if (PauseDepth == 0)
        return;
    if (--PauseDepth == 0 && Backend && State != StateFinished) {
        State = StatePlaying;
        Backend->play();
    }
}

void CFlashPlayer::rewind()
{
    if (Backend) { Backend->rewind(); Backend->play(); }
}

void CFlashPlayer::gotoFrame(int frame)
{
    if (Backend) { Backend->gotoFrame(frame); Backend->play(); }
}

void CFlashPlayer::back()
{
    if (Backend) { Backend->back(); Backend->play(); }
}

void CFlashPlayer::forward()
{
    if (Backend) { Backend->forward(); Backend->play(); }
}

bool CFlashPlayer::isPlaying() const
{
    return Backend && Backend->isPlaying();
}

int CFlashPlayer::getCurrentFrame() const
{
    return Backend ? Backend->currentFrame() : -1;
}

CString CFlashPlayer::getCurrentLabel(const char* target) const
{
    return Backend ? CString(Backend->currentLabel(target ? target : "").c_str()) : CString();
}

void CFlashPlayer::callFrame(const char* target, int frame)
{
    if (Backend)
        Backend->callFrame(target ? target : "", frame);
}

void CFlashPlayer::callLabel(const char* target, const char* label)
{
    if (Backend)
        Backend->callLabel(target ? target : "", label ? label : "");
}

CString CFlashPlayer::getVariable(const char* name) const
{
    return Backend ? CString(Backend->getVariable(name ? name : "").c_str()) : CString();
}

void CFlashPlayer::setVariable(const char* name, const char* value)
{
    if (Backend)
        Backend->setVariable(name ? name : "", value ? value : "");
}

void CFlashPlayer::setQuality(int index)
{
    if (Backend && index >= 0 && index <= 2)
        Backend->setQuality(index);
}

double CFlashPlayer::getFlashVersion()
{
    return platform::MovieRuntimeVersion();
}

bool CFlashPlayer::onMovieEvent(int eventId, const std::vector<platform::MovieEventArg>& args)
{
    if (eventId == platform::MovieEventReadyState || eventId == platform::MovieEventProgress)
        return true;
    if (eventId != platform::MovieEventFSCommand)
        return false;
    // The runtime lists its arguments last first: the args text, then the command.
    if (args.size() == 2 && args[0].isString && args[1].isString)
        onFSCommand(args[1].text.c_str(), args[0].text.c_str());
    return true;
}

void CFlashPlayer::onFSCommand(const char* command, const char* args)
{
    if (Listener)
        Listener->onFlashCommand(UserValue, core::stringc(command ? command : ""), core::stringc(args ? args : ""));
}

void CFlashPlayer::onMovieRepaint(const platform::MovieRect* area)
{
    if (!area) {
        Rect = core::recti(0, 0, Width, Height);
    } else if (Dirty) {
        Rect.addInternalPoint(area->x0, area->y0);
        Rect.addInternalPoint(area->x1, area->y1);
    } else {
        Rect = core::recti(area->x0, area->y0, area->x1, area->y1);
    }
    Dirty = true;
}

// --- CFlashAnimator ---

CFlashAnimator::CFlashAnimator(CNodeBasement* node, const CString& moviePath, int interactive)
    : FlashNode(node), MoviePath(moviePath), Interactive(interactive)
{
}

CFlashAnimator::~CFlashAnimator()
{
    // Dropped without finishing (never attached): nothing else frees the player.
    delete Player;
}

void CFlashAnimator::onAttach(CNodeBasement* node)
{
    if (node)
        FlashNode = node;
    Player = new CFlashPlayer(0, nullptr, FlashNode);
    if (Interactive && FlashNode) {
        // Every unnamed sprite shares one ID; hover tests compare IDs, so this one gets its own.
        ForceNodeToHaveID(FlashNode);
        if (CInputState* input = getInputState()) {
            input->addClickable(FlashNode, 0);
            Registered = true;
        }
    }
    if (FlashNode)
        FlashNode->setHideCount(FlashNode->getHideCount() + 1);
}

bool CFlashAnimator::start()
{
    if (FlashNode)
        FlashNode->setHideCount(FlashNode->getHideCount() - 1);
    if (!Player->init(true))
        return false;
    MoviePath = ResolveRelativePath(MoviePath, GetDataFolder());
    return Player->loadMovie(MoviePath);
}

void CFlashAnimator::animate(CNodeBasement*, u32)
{
    if (!Player || Removed)
        return;
    if (!Player->hasBitmap() && !start()) {
        removeThisAnimator();
        return;
    }
    if (Interactive)
        forwardMouse();
    Player->update();
    Player->render();
}

void CFlashAnimator::forwardMouse()
{
    const u32 now = platform::GetTickCount();
    const s32 id = FlashNode ? FlashNode->getID() : -1;
    CInputState* input = getInputState();
    const bool hovered = input && *CInputState::getHoveredNodeId() == id && input->checkModality(FlashNode);
    if (!hovered && !(HoverUntil != 0 && s32(now - HoverUntil) < 0))
        return;
    HoverUntil = now + HoverKeepMs;
    const core::vector2df p = getCursorInNode(FlashNode);
    Player->onMouseMove(p.X, p.Y);
    const bool pressedHere = *CInputState::getPressedNodeId() == id;
    if (Pressed == 0 && pressedHere) {
        Pressed = 1;
        Player->onMouseDown(p.X, p.Y, 0, 1);
    } else if (Pressed == 1 && !pressedHere) {
        Pressed = 0;
        Player->onMouseUp(p.X, p.Y, 0, 1);
    }
}

void CFlashAnimator::onFinish()
{
    if (Registered) {
        if (CInputState* input = getInputState())
            input->removeClickable(FlashNode);
        Registered = false;
    }
    delete Player;
    Player = nullptr;
}

// --- the "-Animation.Flash:" row ---

void makeFlashAnimator(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    if (!node)
        return;
    CString path, value;
    readBracketValue(f.flashMovie, "path", path);
    path = resolveTexturePath(path, f.texturePath);
    int interactive = readBracketValue(f.flashMovie, "interactive", value) ? StrToInt(value) : 0;
    CFlashAnimator* animator = new CFlashAnimator(node, path, interactive);
    if (readBracketValue(f.flashMovie, "discretion", value) && StrToInt(value) != 0)
        animator->setDiscretion(u32(StrToInt(value)));
    attachParsedAnimator(&f, node, animator);
}

void InstallFlashRowMaker()
{
    GetDescriptionRowMakers().Flash = makeFlashAnimator;
}
