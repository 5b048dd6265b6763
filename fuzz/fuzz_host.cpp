// The fuzz targets' program folder and engine.
#include "fuzz_host.h"

#include "module_dialogfactory.h"
#include "module_mousekeyb.h"
#include "msgbox.h"
#include "node_factory.h"
#include "node_utilities.h"
#include "rendering_stuff_textures.h"
#include "server_game_manifest.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <ISceneNode.h>
#include <ITimer.h>
#include <IrrlichtDevice.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The engine's fatal end writes its alert file before it shows the box; a box
// whose text is that file's is a fatal end, every other box is answered.
int answerBox(const std::string& alertFile, const char* text, unsigned type)
{
    if ((type & MB_TYPEMASK) == MB_YESNO)
        return IDYES;
    if (std::filesystem::exists(alertFile) && readFile(alertFile) == text) {
        std::filesystem::remove(alertFile);
        throw SFatalEnd{text};
    }
    return IDOK;
}

// A folder in memory when there is one to write to, else the temporary folder.
std::string programParent()
{
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

// The targets keep their engine to the process's end, so the folder goes at exit;
// the log is let go first, or its last write would find the folder gone.
std::string& programFolderAtExit()
{
    static std::string* folder = new std::string;
    return *folder;
}

void removeProgramFolder()
{
    SetLogFolder(nullptr);
    std::error_code ignored;
    if (!programFolderAtExit().empty())
        std::filesystem::remove_all(programFolderAtExit(), ignored);
}

} // namespace

CFuzzProgram::CFuzzProgram() : Folder(programParent())
{
    namespace fs = std::filesystem;
    fs::copy(ENGINE_SAMPLE_DIR "/data", Folder.path() + "data", fs::copy_options::recursive);
    fs::copy_file(ENGINE_SAMPLE_DIR "/game.ini", Folder.path() + "game.ini");
    fs::create_directories(Folder.path() + "Profile");
    // A mounted folder lists its files once, when the engine starts: the
    // names the targets write must be there already.
    for (const char* name : {"fuzz.spr", "fuzz.dlg", "fuzz.xml", "fuzz.lng", "fonts/fuzz.xml", "fuzz.png", "fuzz.jpg",
                             "fuzz.bmp", "fuzz.tga", "fuzz.cfg"})
        writeData(name, nullptr, 0);
    SetAppFolder(Folder.path().c_str());
    SetLogFolder(Folder.path().c_str());
    ResetUserFolder();
    const std::string alertFile = Folder.path() + "last_scriptcomp_error_alert.log";
    platform::SetMessageBoxHook(
        [alertFile](const char* text, const char*, unsigned type) { return answerBox(alertFile, text, type); });
    if (programFolderAtExit().empty())
        std::atexit(removeProgramFolder);
    programFolderAtExit() = Folder.path();
}

CFuzzProgram::~CFuzzProgram()
{
    programFolderAtExit().clear();   // the folder's own destructor removes it
    platform::SetMessageBoxHook(nullptr);
    ResetUserFolder();
    SetAppFolder(nullptr);
    SetLogFolder(nullptr);
    ClearNativePathCache();
}

void CFuzzProgram::writeData(const std::string& name, const uint8_t* bytes, size_t size) const
{
    std::ofstream out(data(name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), std::streamsize(size));
}

CFuzzEngine::CFuzzEngine()
{
    setenv("ENGINE_NONINTERACTIVE", "1", 1);
    getInputState()->reset();
    CDialogFactory::reset();
    ResetNodeRegistry();
    CFakeEngineClient* client = new CFakeEngineClient;
    Engine.setClient(client);
    client->drop();
    Engine.ForceNullDriver = true;
    Engine.createDevice();
    if (!Engine.Device) {
        std::fprintf(stderr, "no null device\n");
        std::abort();
    }
    Engine.Device->getTimer()->stop();
    CTextureCache::instance().clear();
    CManifest::stored().readFrom(Program.data("manifest.xml").c_str());
    Engine.beginRun();
    frames(1, 16);   // the camera's frustum exists only after a drawn frame
    Engine.setGameState(500);
    RootChildren = Engine.RootNode->getChildren().size();
}

CFuzzEngine::~CFuzzEngine()
{
    Engine.endRun();
    CManifest::stored().clear();
    CTextureCache::instance().clear();
    getInputState()->reset();
    CDialogFactory::reset();
}

bool CFuzzEngine::frames(int count, uint32_t ms)
{
    for (int i = 0; i < count; ++i) {
        Clock.NowMs += ms;
        Engine.Device->getTimer()->setTime(Engine.Device->getTimer()->getTime() + ms);
        if (!Engine.runFrame())
            return false;
    }
    return true;
}

void CFuzzEngine::sweepRoot()
{
    std::vector<irr::scene::ISceneNode*> extra;
    size_t index = 0;
    for (irr::scene::ISceneNode* child : Engine.RootNode->getChildren())
        if (index++ >= RootChildren)
            extra.push_back(child);
    for (irr::scene::ISceneNode* child : extra)
        deleteNode(child);
    RunAllowingFatalEnd([&] { frames(2); });
}

namespace {

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, last + 1 - first);
}

bool isNumber(const std::string& text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == 0;
}

} // namespace

bool SameSavedValues(const char* a, const char* b)
{
    std::istringstream left{std::string(a ? a : "")}, right{std::string(b ? b : "")};
    std::string x, y;
    while (true) {
        const bool hasX = bool(std::getline(left, x)), hasY = bool(std::getline(right, y));
        if (!hasX || !hasY)
            return hasX == hasY;
        if (x == y)
            continue;
        const size_t close = x.find("]=");   // an option's name may hold '=', never ']'
        const size_t at = close != std::string::npos ? close + 1 : x.find('=');
        if (at == std::string::npos || x.compare(0, at + 1, y, 0, at + 1) != 0)
            return false;
        const std::string u = trimmed(x.substr(at + 1)), v = trimmed(y.substr(at + 1));
        double p, q;
        if (u != v && !(isNumber(u, p) && isNumber(v, q) && std::fabs(p - q) <= 1e-5 * std::max(std::fabs(p), std::fabs(q)) + 0.011))
            return false;
    }
}
