// The engine object, the client interface's defaults and the free accessors.
#include "module_enginebase.h"

#include "aeffectsanimators.h"
#include "module_dialogfactory.h"
#include "module_mousekeyb_animators.h"
#include "module_mousekeyb_editor.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_helpers_valuebar.h"
#include "node_spriteflash.h"
#include "node_text.h"
#include "server_game_manifest.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_system_common.h"

#include <irrlicht.h>   // createDeviceEx is declared only here

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::vector<CEngineBase*> LiveEngines;  // the newest engine alive is the current one
CEngineBase* BuiltEngine = nullptr;     // the one getEngine built, if any

irr::IrrlichtDevice* createDeviceDefault(const irr::SIrrlichtCreationParameters& params)
{
    return irr::createDeviceEx(params);
}

constexpr int MaxFaceNameLength = 15;

} // namespace

// --- the foundation's view of the engine ---

class CEngineBase::CContext : public CManifestEngineContext {
public:
    explicit CContext(CEngineBase& engine) : Engine(engine) {}

    irr::io::IFileSystem* getFileSystem() override { return Engine.FileSystem; }
    int isDebugMode() override { return Engine.Options.Debug; }
    int* getAppActiveFlag() override { return &Engine.AppActive; }
    char* getFullscreenFlag() override { return &Engine.Fullscreen; }
    // The options store the name themselves (AppDataFolderName); this is the fallback.
    const CString& getAppDataFolder() override { return GetDefaultEngineContext().getAppDataFolder(); }

    IEngineContext* Previous = nullptr;

private:
    CEngineBase& Engine;
};

// --- client defaults ---

CProfileData* CEngineClient::createProfileData() { return nullptr; }
CNodeFactory* CEngineClient::createNodeFactory() { return new CNodeFactory; }
CDialogInfo* CEngineClient::createDialogInfo() { return new CDialogInfo; }
bool CEngineClient::OnEvent(const irr::SEvent& event) { return false; }
void CEngineClient::onFrame() {}
void CEngineClient::registerScriptBindings() {}
void CEngineClient::expandMacros(CString& text, const CStringArray* parameters, const SSpriteCreateInfo* context) {}
float CEngineClient::getTimerSpeed(int timer) { return 1.0f; }
void CEngineClient::onGameStateChanged(int state) {}

float CEngineClient::getFontScale(const char* sizeText)
{
    if (!sizeText || !*sizeText)
        return 1.0f;
    char c = sizeText[0];
    if (c == '-') {
        switch (sizeText[1]) {
        case '1': return 0.8f;
        case '2': return 0.5f;
        case '3': return 0.2f;
        case '4': return 0.1f;
        default: return 1.0f;
        }
    }
    if (c == '+')
        c = sizeText[1];
    switch (c) {
    case '1': return 1.2f;
    case '2': return 1.5f;
    case '3': return 2.0f;
    case '4': return 2.5f;
    default: return 1.0f;
    }
}

CGUIFont3D* CEngineClient::getFont(const char* faceName)
{
    CEngineBase* engine = getEngine();
    if (!faceName)
        return engine->DefaultFont;
    size_t length = std::strcspn(faceName, "<> \r\n\t");
    if (length > size_t(MaxFaceNameLength))
        length = MaxFaceNameLength;
    irr::core::stringc face(faceName, irr::u32(length));
    auto* node = engine->Fonts.find(face);
    return node ? node->getValue() : engine->DefaultFont;
}

// --- CWideCharBuffer ---

CWideCharBuffer::CWideCharBuffer(const char* text)
{
    if (!text || !*text)
        return;
    Text = new wchar_t[std::strlen(text) + 1];
    AnsiToWide(text, Text);
}

CWideCharBuffer::~CWideCharBuffer()
{
    delete[] Text;
}

// --- CEngineBase ---

// Members are built in declaration order: options, queue, footprint, fonts,
// cursors, input receiver, sound, renderer, then the script host.
CEngineBase::CEngineBase()
    : Queue(&Sound, &Renderer), Sound(&Queue), CreateDeviceFn(createDeviceDefault)
{
    Options.attachEngine(&GameState, &BuildFootprint);
    Sound.setPauseLevelSource([this] { return getPauseLevel(); });
    Context = new CContext(*this);
    Context->Previous = SetEngineContext(Context);
    LiveEngines.push_back(this);
    InstallEngineMacroHost();
    InstallSpriteCreationHook();
    GetSceneHooks().PlaySound = [](const char* name) { getEngine()->Sound.playEffect(name, -1.0f); };
    InstallInputRowMakers();
    InstallEditorRowMakers();
    InstallEffectRowMakers();
    InstallFlashRowMaker();
    InstallValueBarRowMaker();
    InstallTextNodeMakers();   // "-Text:" descriptions work before the frame loop too
}

CEngineBase::~CEngineBase()
{
    // Saved here, not left to the last drop: another holder may keep it alive.
    if (CurrentProfile)
        CurrentProfile->save();
    Sound.close();
    if (CurrentProfile)
        CurrentProfile->drop();
    CurrentProfile = nullptr;
    setClient(nullptr);
    for (CDialogInfo* dialog : Dialogs)
        dialog->drop();
    Dialogs.clear();
    for (int i = 0; i < Cursors.GetSize(); ++i)
        delete Cursors[i];
    Cursors.RemoveAll();
    releaseDevice();
    SetEngineContext(Context->Previous);
    delete Context;
    LiveEngines.erase(std::remove(LiveEngines.begin(), LiveEngines.end(), this), LiveEngines.end());
    if (LiveEngines.empty())
        UninstallEngineMacroHost();
    if (BuiltEngine == this)
        BuiltEngine = nullptr;
}

void CEngineBase::setClient(CEngineClient* client)
{
    if (client)
        client->grab();   // first: it may be the client already held
    if (Client)
        Client->drop();
    Client = client;
}

void CEngineBase::log(const char* text, int level)
{
    if (level >= Options.LogLevel)
        DebugLog(text);
}

void CEngineBase::setGameState(int state)
{
    GameState = state;
    if (Client)
        Client->onGameStateChanged(state);
}

float CEngineBase::getTimerSpeed(uint32_t timer)
{
    if (timer < 2)
        return TimerSpeeds[timer];
    return Client ? Client->getTimerSpeed(int(timer)) : 1.0f;
}

void CEngineBase::selectCursor(int number, int animate)
{
    CursorAnimate = animate;
    if (number < 0)
        CurrentCursor = nullptr;
    else if (number > 0 && number <= Cursors.GetSize())
        CurrentCursor = Cursors[number - 1];
    else if (number > 0 && number != MissingCursorWarned) {
        // Kept rather than failing inside a script native; said once per number,
        // since the game's frame hook asks every frame.
        MissingCursorWarned = number;
        DebugLog(Format("selectCursor: no cursor %i of %i; the current one stays", number, Cursors.GetSize()));
    }
}

// --- the current engine and the free accessors ---

CEngineBase* getEngine()
{
    if (LiveEngines.empty())
        BuiltEngine = new CEngineBase;
    return LiveEngines.back();
}

void DestroyEngine()
{
    delete BuiltEngine;
}

bool stringEquals(const char* a, const CString& b)
{
    return a && std::strcmp(a, b) == 0;
}

irr::scene::ICameraSceneNode** getCameraSlot() { return &getEngine()->Camera; }
irr::scene::ISceneNode** getRootNodeSlot() { return &getEngine()->RootNode; }
irr::IrrlichtDevice* getDevice() { return getEngine()->Device; }
irr::video::IVideoDriver* getDriver() { return getEngine()->Driver; }
irr::scene::ISceneManager* getSceneManager() { return getEngine()->SceneManager; }
irr::io::IFileSystem* getFileSystem() { return getEngine()->FileSystem; }
CRenderer* getRenderer() { return &getEngine()->Renderer; }
int getGameState() { return getEngine()->GameState; }
bool isGameStarted() { return getEngine()->GameState >= 500; }
int isDebugMode() { return getEngine()->Options.Debug; }
int isSoftwareRenderer() { return getEngine()->Options.SoftwareRenderer; }
int* getAppActiveFlag() { return &getEngine()->AppActive; }
