// Program life: start-up, the device with its fallbacks, the data archives
// and shutdown.
#include "module_enginebase.h"

#include "utils_debug.h"
#include "rendering_stuff_textures.h"
#include "server_game_manifest.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_fs_mount.h"
#include "utils_fs_save.h"
#include "utils_str_lng.h"
#include "utils_str_parse.h"
#include "utils_system_common.h"
#include "clock.h"
#include "run_tool.h"
#include "window_icon.h"
#include "x_errors.h"
#include "x_focus.h"
#include "xlib.h"

#include <IFileArchive.h>
#include <IFileSystem.h>
#include <IImage.h>
#include <ILogger.h>
#include <ITimer.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>
#include <SIrrCreationParameters.h>

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <filesystem>
#include <fstream>
#include <vector>
#include <string>

namespace {

uint32_t littleEndian32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | uint8_t(bytes[at + size_t(i)]);
    return value;
}

uint16_t littleEndian16(const std::string& bytes, size_t at)
{
    return uint16_t(uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8));
}

// An archive's bytes read where a check needs them: the reader opens the
// archive again, so only headers and directories are read here.
class CArchiveBytes {
public:
    explicit CArchiveBytes(const std::string& path) : In(path, std::ios::binary | std::ios::ate)
    {
        Size = In ? uint64_t(In.tellg()) : 0;
    }
    uint64_t size() const { return Size; }
    // count bytes from offset; empty when they are not all in the file.
    std::string at(uint64_t offset, uint64_t count)
    {
        if (offset + count > Size)
            return "";
        std::string bytes(size_t(count), '\0');
        In.seekg(std::streamoff(offset));
        In.read(bytes.data(), std::streamsize(count));
        return In ? bytes : std::string();
    }

private:
    std::ifstream In;
    uint64_t Size = 0;
};

// The archive reader trusts a PAK's directory: sizes and places beyond the
// file, or names without their end, make it read past its buffers or take
// bytes that are not there. Empty when the archive is whole, else why not.
std::string checkPakArchive(const std::string& path)
{
    constexpr size_t HeaderSize = 12, EntrySize = 64, NameSize = 56;
    CArchiveBytes file(path);
    const std::string header = file.at(0, HeaderSize);
    if (header.empty() || header.compare(0, 4, "PACK") != 0)
        return "not a PAK archive";
    const uint64_t directory = littleEndian32(header, 4), length = littleEndian32(header, 8);
    if (length % EntrySize != 0 || directory < HeaderSize || directory + length > file.size())
        return "its directory lies outside the file";
    const std::string entries = file.at(directory, length);
    if (entries.size() != length)
        return "its directory cannot be read";
    for (uint64_t entry = 0; entry < length / EntrySize; ++entry) {
        const size_t at = size_t(entry * EntrySize);
        if (entries.find('\0', at) >= at + NameSize)
            return "entry " + std::to_string(entry) + " has a name without an end";
        const uint64_t offset = littleEndian32(entries, at + NameSize), size = littleEndian32(entries, at + NameSize + 4);
        if (offset + size > file.size())
            return "entry " + std::to_string(entry) + " lies outside the file";
    }
    return "";
}

// The zip reader takes the 16-bit lengths of names, extra fields and
// comments as signed: from 32 KiB on, a name becomes a negative allocation
// and an extra field a step back to the same header.
constexpr const char* lengthTooLarge = " has a name, extra field or comment of 32 KiB or more";
bool hasSignedLength(const std::string& header, std::initializer_list<size_t> fields)
{
    for (size_t at : fields)
        if (littleEndian16(header, at) >= 0x8000)
            return true;
    return false;
}

// An entry is unpacked into a buffer of the size it claims, allocated when it
// is opened; deflate makes at most 1032 bytes of one, so a larger claim is
// damage that would ask for up to 4 GiB. Whatever the packing an entry names
// (the directory's copy of it may differ from the entry's own), a claim past
// that is taken for damage too.
bool claimsTooMuch(uint64_t packed, uint64_t unpacked)
{
    return unpacked > packed * 1032 + 1024;
}
constexpr const char* claimTooLarge = " claims more unpacked bytes than its data can hold";

// An entry whose sizes follow its data (flag bit 3) sends the zip reader to
// the central directory: it looks backwards from the last possible place for
// the end record's signature, and without one it never stops. It then walks
// the directory's entries and trusts their places and sizes.
std::string checkZipDirectory(CArchiveBytes& file)
{
    constexpr size_t EndSize = 22, EntrySize = 46, LocalSize = 30;
    if (file.size() < EndSize)
        return "it has no central directory end";
    // The record lies near the end, after a comment of at most 64 KiB: read
    // backwards in windows, so the rest of the archive is not read for it.
    constexpr uint64_t Window = 1 << 16;
    uint64_t found = UINT64_MAX;
    for (uint64_t last = file.size() - EndSize + 4; found == UINT64_MAX && last >= 4;) {
        const uint64_t first = last > Window ? last - Window : 0;
        const std::string bytes = file.at(first, last - first);
        const size_t at = bytes.rfind("PK\x05\x06");
        if (at != std::string::npos)
            found = first + at;
        else if (first == 0)
            break;
        last = first + 3;   // a signature across the windows' seam
    }
    if (found == UINT64_MAX)
        return "it has no central directory end";
    const std::string record = file.at(found, EndSize);
    uint64_t at = littleEndian32(record, 16);
    for (int entry = 0; file.at(at, 4) == "PK\x01\x02"; ++entry) {
        const std::string header = file.at(at, EntrySize);
        const std::string where = "directory entry " + std::to_string(entry);
        if (header.empty())
            return where + " has no whole header";
        if (hasSignedLength(header, {28, 30, 32}))
            return where + lengthTooLarge;
        const uint64_t names = uint64_t(littleEndian16(header, 28)) + littleEndian16(header, 30);
        const uint64_t next = at + EntrySize + names + littleEndian16(header, 32);
        if (next > file.size())
            return where + " lies outside the file";
        const uint64_t local = littleEndian32(header, 42), packed = littleEndian32(header, 20);
        if (claimsTooMuch(packed, littleEndian32(header, 24)))
            return where + claimTooLarge;
        const std::string localHeader = file.at(local, LocalSize);
        if (localHeader.empty())
            return where + " points outside the file";
        // The reader gives the entry the sizes of the one before, or of none,
        // when no entry header is where the directory points.
        if (localHeader.compare(0, 4, "PK\x03\x04") != 0)
            return where + " points at no entry header";
        if (hasSignedLength(localHeader, {26, 28}))
            return where + lengthTooLarge;
        const uint64_t localNames = uint64_t(littleEndian16(localHeader, 26)) + littleEndian16(localHeader, 28);
        if (local + LocalSize + std::max(names, localNames) + packed > file.size())
            return where + " lies outside the file";
        at = next;
    }
    return "";
}

// The zip reader walks the local entry headers and trusts their sizes, so a
// cut archive hands out entries longer than what is left of it.
std::string checkZipArchive(const std::string& path)
{
    constexpr size_t HeaderSize = 30;
    CArchiveBytes file(path);
    uint64_t at = 0;
    for (int entry = 0; file.at(at, 4) == "PK\x03\x04"; ++entry) {
        const std::string header = file.at(at, HeaderSize);
        if (header.empty())
            return "entry " + std::to_string(entry) + " has no whole header";
        if (hasSignedLength(header, {26, 28}))
            return "entry " + std::to_string(entry) + lengthTooLarge;
        if (littleEndian16(header, 6) & 8)
            return checkZipDirectory(file);
        const uint64_t data = at + HeaderSize + littleEndian16(header, 26) + littleEndian16(header, 28);
        const uint64_t end = data + littleEndian32(header, 18);
        if (end > file.size())
            return "entry " + std::to_string(entry) + " lies outside the file";
        if (claimsTooMuch(littleEndian32(header, 18), littleEndian32(header, 22)))
            return "entry " + std::to_string(entry) + claimTooLarge;
        at = end;
    }
    return "";
}

const char* const BuildFootprintText = "[$COMPFOOTPRINT: DEBUG May  5 2009 05:40:42:$COMPFOOTPRINT END]";
const char* const DiagnosticsQuestion =
    "Failed to create 3D Device!\nPlease upgrade you video drivers/DirectX\n\n"
    "If you already have latest drivers installed,\npress 'Yes' button to allow us to run\n"
    "DirectX diagnostic tool and send us diagnostic result\nto find what is the problem!";
constexpr int RendererSoftware = 1;
constexpr int DeviceFailureExitCode = 1;
constexpr irr::u8 AntiAliasSamples = 4;
constexpr int GlInfoTimeoutMs = 5000;
constexpr size_t GlInfoMaxBytes = 16384;

irr::video::E_DRIVER_TYPE driverForRenderer(int renderer)
{
    switch (renderer) {
    case RendererSoftware: return irr::video::EDT_SOFTWARE;
    case CUserProfileModule::RendererBurnings: return irr::video::EDT_BURNINGSVIDEO;
    default: return irr::video::EDT_OPENGL;
    }
}

std::string canonicalPath(const std::string& path)
{
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}

// The mounted item's own name tells its kind; the folders above it may be
// called anything ("my.pak.game/data" is a folder).
irr::io::E_FILE_ARCHIVE_TYPE archiveKind(const std::string& full)
{
    std::error_code error;
    if (std::filesystem::is_directory(full, error))
        return irr::io::EFAT_FOLDER;
    std::string name = std::filesystem::path(full).filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    auto endsWith = [&name](const char* ending) {
        const size_t n = std::strlen(ending);
        return name.size() >= n && name.compare(name.size() - n, n, ending) == 0;
    };
    if (endsWith(".pak"))
        return irr::io::EFAT_PAK;
    if (endsWith(".zip"))
        return irr::io::EFAT_ZIP;
    return irr::io::EFAT_FOLDER;
}

void fatalAt(const char* message, int line)
{
    FatalError(Format("%s\r\n%s:%i", message, __FILE__, line), false);
}

// The diagnostics report that stands in for the system's diagnostics tool.
CString diagnosticsReport()
{
    CString report = "Device creation failed.\n";
    struct utsname name;
    if (uname(&name) == 0)
        report += Format("System: %s %s %s %s\n", name.sysname, name.release, name.version, name.machine);
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    report += Format("DISPLAY=%s\nWAYLAND_DISPLAY=%s\n", display ? display : "", wayland ? wayland : "");
    std::optional<platform::ToolResult> glInfo = platform::RunTool({"glxinfo", "-B"}, GlInfoTimeoutMs, GlInfoMaxBytes);
    if (!glInfo)
        report += "glxinfo -B: not installed\n";
    else if (glInfo->timedOut)
        report += CString("glxinfo -B: no answer in time\n") + glInfo->output.c_str() + "\n";
    else
        report += Format("glxinfo -B (exit code %i):\n", glInfo->exitCode) + glInfo->output.c_str() + "\n";
    return report;
}

// Device creation with X errors caught: a GLX request that a virtual display
// refuses (the swap interval under Xvfb) would otherwise end the program.
irr::IrrlichtDevice* createTrapped(DeviceFactory factory, const irr::SIrrlichtCreationParameters& params)
{
    if (params.DriverType == irr::video::EDT_NULL)
        return factory(params);
    platform::BeginXErrorTrap();
    irr::IrrlichtDevice* device = factory(params);
    void* display = nullptr;
    if (device && device->getVideoDriver())
        display = device->getVideoDriver()->getExposedVideoData().OpenGLLinux.X11Display;
    int errors = platform::EndXErrorTrap(display);
    if (errors > 0)
        DebugLog(Format("Device creation met %i X error(s), the last %s; going on", errors,
                        platform::LastXErrorText().c_str()));
    return device;
}

// Without a window manager nobody focuses the new window, and an unfocused
// window takes no input. The software driver does not tell its window, so it
// is found by a name of its own until the real caption replaces that. The
// null driver has no window to look for.
void takeInputFocus(irr::IrrlichtDevice* device, irr::video::IVideoDriver* driver)
{
    if (driver->getDriverType() == irr::video::EDT_NULL)
        return;
    const irr::video::SExposedVideoData& video = driver->getExposedVideoData();
    if (driver->getDriverType() == irr::video::EDT_OPENGL && video.OpenGLLinux.X11Window) {
        platform::FocusWindowWithoutWindowManager(video.OpenGLLinux.X11Window);
        return;
    }
    CString name = Format("engine window %i", int(getpid()));
    device->setWindowCaption(CWideCharBuffer(name).c_str());
    device->run();   // sends the name to the server
    platform::FocusNamedWindowWithoutWindowManager(name);
}

// A window larger than the screen fails inside the X library (an abort on
// the first frame, or an X error that ends the program), so the requested
// size is cut to the screen's. The profile follows: scripts and the cursor
// measure the window by it.
void fitWindowToScreen(void* display, CUserProfile& profile, irr::SIrrlichtCreationParameters& params)
{
    int screenWidth = 0, screenHeight = 0;
    if (!platform::GetXScreenSize(display, screenWidth, screenHeight))
        return;
    int width = std::min(profile.XResolution, screenWidth);
    int height = std::min(profile.YResolution, screenHeight);
    if (width == profile.XResolution && height == profile.YResolution)
        return;
    DebugLog(Format("A window of %i x %i does not fit the screen of %i x %i; it is made %i x %i",
                    profile.XResolution, profile.YResolution, screenWidth, screenHeight, width, height));
    profile.XResolution = width;
    profile.YResolution = height;
    params.WindowSize.set(irr::u32(width), irr::u32(height));
}

// Relative names in scripts mean the program folder, wherever the game was
// started from, as when a desktop shortcut starts it.
void enterProgramFolder()
{
    CString folder = ToNativePath(GetAppFolder());
    if (!folder.IsEmpty() && ::chdir(folder) != 0)
        DebugLog(Format("Cannot make %s the working folder: %s", (const char*)folder, std::strerror(errno)));
}

// Saves killed before their rename leave temporaries where the engine and
// the scripts save, sub-folders included.
void removeStaleSaveTemporaries()
{
    std::set<std::string> folders;
    for (const CString& folder : {GetUserFolder(), GetAppFolder(), GetLogFolder()}) {
        std::string native = (const char*)ToNativePath(folder);
        while (native.size() > 1 && native.back() == '/')
            native.pop_back();
        if (!native.empty() && folders.insert(native).second)
            RemoveStaleSaveTemporariesBelow(native.c_str());
    }
}

} // namespace

bool CEngineBase::runEngine(CEngineClient* client)
{
    enterProgramFolder();
    setClient(client);
    setGameState(10);
    BuildFootprint = BuildFootprintText;   // the version line below carries it
    Options.loadGameOptions();
    removeStaleSaveTemporaries();
    if (getPauseLevel() >= 90)
        return false;
    loadProfile(CString(Options.ActiveProfile));
    Sound.init(Options.Sound);
    createDevice();
    CManifest& manifest = CManifest::instance();   // ends the program with its message when missing or malformed
    CWideCharBuffer caption(GetLngText(manifest.DefaultWindowTitle));
    Device->setWindowCaption(caption.c_str());
    CString icon = Options.getOption("Icon", false);
    if (!icon.IsEmpty())   // else the program folder itself would be opened as the image
        setWindowIcon(GetAppFolder() + icon);
    run();
    releaseDevice();
    Options.saveGameOptions();
    loadProfile("");   // releasing the profile saves it
    CManifest::stored().clear();
    return true;
}

bool CEngineBase::isWindowActive() const
{
    return WindowAlwaysActive || (Device && Device->isWindowActive());
}

// Any image the driver reads; only windows that expose their X11 handles get it.
bool CEngineBase::setWindowIcon(const CString& path)
{
    if (!Driver || path.IsEmpty() || !FileExists(path))
        return false;
    const irr::video::SExposedVideoData& video = Driver->getExposedVideoData();
    if (Driver->getDriverType() != irr::video::EDT_OPENGL || !video.OpenGLLinux.X11Display)
        return false;
    irr::video::IImage* image = createDataImage(Driver, ToNativePath(path));
    if (!image)
        return false;
    irr::core::dimension2du size = image->getDimension();
    std::vector<uint32_t> argb(size_t(size.Width) * size.Height);
    for (irr::u32 y = 0; y < size.Height; ++y)
        for (irr::u32 x = 0; x < size.Width; ++x)
            argb[size_t(y) * size.Width + x] = image->getPixel(x, y).color;
    image->drop();
    return platform::SetWindowIconX11(video.OpenGLLinux.X11Display, video.OpenGLLinux.X11Window, int(size.Width),
                                      int(size.Height), argb.data());
}

void CEngineBase::createDevice()
{
    BuildFootprint = BuildFootprintText;
    Logger = nullptr;

    irr::SIrrlichtCreationParameters params;
    params.DriverType = driverForRenderer(Options.Renderer);
    CUserProfile* profile = getProfile();
    params.WindowSize.set(irr::u32(profile->XResolution), irr::u32(profile->YResolution));
    params.Bits = irr::u8(Options.BitsPerPixel);
    params.Fullscreen = profile->Fullscreen != 0;
    Fullscreen = params.Fullscreen ? 1 : 0;
    params.Stencilbuffer = false;
    params.Vsync = Options.VSync != 0;
    params.AntiAlias = Options.Antialiasing ? AntiAliasSamples : 0;
    params.EventReceiver = &Input;

    bool headless = ForceNullDriver || StrToInt(Options.getOption("NullDriver", false)) != 0;
    if (headless) {
        params.DriverType = irr::video::EDT_NULL;
        params.Fullscreen = false;
        Fullscreen = 0;
        WindowAlwaysActive = true;
    }
    void* held = headless ? nullptr : platform::HoldXDisplay();
    if (held)
        fitWindowToScreen(held, *profile, params);
    Device = createTrapped(CreateDeviceFn, params);
    if (!Device && !headless && params.Bits >= 32) {
        DebugLog("Failed to create 3D device... Defaulting to 16b mode...");
        params.Bits = 16;
        Device = createTrapped(CreateDeviceFn, params);
    }
    if (!Device && !headless) {
        DebugLog("Failed to create 3D device... Defaulting to software mode...");
        params.DriverType = irr::video::EDT_BURNINGSVIDEO;
        params.Bits = 32;
        params.Vsync = false;
        params.AntiAlias = 0;
        params.WindowSize.set(640, 480);
        Device = createTrapped(CreateDeviceFn, params);
    }
    platform::ReleaseXDisplay(held);
    if (!Device) {
        offerDiagnostics();
        std::exit(DeviceFailureExitCode);
    }
    if (params.DriverType == irr::video::EDT_SOFTWARE || params.DriverType == irr::video::EDT_BURNINGSVIDEO) {
        Options.SoftwareRenderer = 1;
        Options.HiQuality = 0;
        Options.Antialiasing = 0;
    }

    // Irrlicht's Linux timer follows the wall clock, which a user or a time
    // sync may set back or forward: held, the device time moves only with the
    // tick count, once a frame.
    irr::ITimer* timer = Device->getTimer();
    if (!timer->isStopped())
        timer->stop();
    DeviceClockTick = platform::GetTickCount();

    FileSystem = Device->getFileSystem();
    mountArchives();
    Logger = Device->getLogger();
    if (!Logger)
        fatalAt("Failed to make logger!", __LINE__);
    // The engine's levels start at warnings; Irrlicht's gained a debug level below them.
    int level = Options.LogLevel + 1;
    Logger->setLogLevel(irr::ELOG_LEVEL(level < 0 ? 0 : level > irr::ELL_NONE ? irr::ELL_NONE : level));
    Driver = Device->getVideoDriver();
    if (!Driver)
        fatalAt("Failed to make driver!", __LINE__);
    if (!headless)
        takeInputFocus(Device, Driver);
    Driver->setTextureCreationFlag(irr::video::ETCF_CREATE_MIP_MAPS, false);
    Driver->setTextureCreationFlag(irr::video::ETCF_ALWAYS_32_BIT, true);
    SceneManager = Device->getSceneManager();
    if (!SceneManager)
        fatalAt("Failed to make smgr!", __LINE__);
    FileSystem->changeWorkingDirectoryTo(GetAppFolderCStr());
    Scripts.registerCoreFunctions(Client);
}

// Asks whether to write the diagnostics report; true when it was written.
bool CEngineBase::offerDiagnostics()
{
    if (EngineMessageBox(DiagnosticsQuestion, MB_YESNOCANCEL) != IDYES)
        return false;
    CString reportPath = GetUserFolder() + "dxdiag_log.txt";
    CString logPath = GetLogFolder() + "last_debug.log";
    bool written = WriteStringToFile(reportPath, diagnosticsReport() + GetDebugLogBuffer()->Text);
    DebugLog(Format("Diagnostics report %s (%i)", (const char*)reportPath, written ? 1 : 0));
    FlushDebugLog(false);
    EngineMessageBox(Format("Please, email us this two files:\n%s\n%s\n"
                            "\nThis will help us to find the reason for the error!\nSorry for inconvinience.",
                            (const char*)reportPath, (const char*)logPath),
                     MB_OK);
    return written;
}

void CEngineBase::mountArchives()
{
    if (!FileSystem)
        return;
    mountArchive(Options.getOption(Format("VFSPak_%s", GetCurrentLanguage()), true));
    for (int n = 1;; ++n) {
        CString path = Options.getOption(Format("VFSPak_%i", n), true);
        if (path.IsEmpty())
            break;
        mountArchive(path);
    }
    mountArchive("data");
}

bool CEngineBase::mountArchive(const CString& path)
{
    if (path.IsEmpty() || !FileSystem)
        return false;
    std::string full = (const char*)ToNativePath(GetAppFolder() + path);
    std::error_code error;
    if (!std::filesystem::exists(full, error))
        return false;
    // Only the very same archive is refused: a name test would drop "data"
    // after any archive whose name merely contains it.
    std::string canonical = canonicalPath(full);
    for (const std::string& mounted : MountedPaths)
        if (mounted == canonical)
            return false;
    const irr::io::E_FILE_ARCHIVE_TYPE type = archiveKind(full);
    std::string damage = type == irr::io::EFAT_PAK ? checkPakArchive(full)
                         : type == irr::io::EFAT_ZIP ? checkZipArchive(full)
                                                     : "";
    // Folders get our own archive: the file system's walks into a link's
    // target and back out with "..", which leaves the folder it came from.
    irr::io::IFileArchive* folder =
        type == irr::io::EFAT_FOLDER ? CreateFolderArchive(FileSystem, full.c_str(), damage, FolderMountLimits) : nullptr;
    if (!damage.empty()) {
        noteRefusedArchive(Format("Archive '%s' not mounted: %s", full.c_str(), damage.c_str()));
        return false;
    }
    MountedPaths.push_back(canonical);
    MountedArchives += std::filesystem::path(full).stem().string().c_str();
    const bool added = folder ? FileSystem->addFileArchive(folder)
                              : type != irr::io::EFAT_FOLDER && FileSystem->addFileArchive(full.c_str(), false, false, type);
    if (added)
        return true;   // Irrlicht 1.8 keeps the reference of an archive it takes
    if (folder)
        folder->drop();
    noteRefusedArchive(Format("Archive '%s' not mounted: the file system could not open it as a %s", full.c_str(),
                              type == irr::io::EFAT_PAK   ? "PAK archive"
                              : type == irr::io::EFAT_ZIP ? "zip archive"
                                                          : "folder"));
    return false;
}

void CEngineBase::noteRefusedArchive(const CString& line)
{
    DebugLog(line);
    if (!MountRefusals.IsEmpty())
        MountRefusals += "\n";
    MountRefusals += line;
}

void CEngineBase::releaseDevice()
{
    if (!Device)
        return;
    // The cached regions point at the driver's textures, which go with the device.
    CTextureCache::instance().clear();
    Device->drop();
    Device = nullptr;
    Driver = nullptr;
    SceneManager = nullptr;
    Logger = nullptr;
    FileSystem = nullptr;   // it went with the device; readers must not reach it any more
}
