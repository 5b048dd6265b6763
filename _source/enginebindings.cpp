// The game's client.
#include "enginebindings.h"

#include "module_mousekeyb.h"
#include "node_text.h"
#include "scriptbindings.h"
#include "spritebindings.h"
#include "stuff/texteffects.h"
#include "utils_debug.h"

namespace {

CGameClient* TheGame = nullptr;   // borrowed: the engine holds the reference
constexpr int GameTimer = 1;
constexpr int ExitState = 999;
constexpr int BannerMs = 5000;
const char* const BuildDateText = "Thu Mar  5 09:26:32 2009";   // the build the banner names, fixed
int BannerShown = 0;

// The node carries a click blocker; the list is searched from its end.
bool isClickBlocked(irr::s32 id)
{
    CArray<irr::s32>& blocked = getClickBlockList();
    for (int i = blocked.GetSize() - 1; i >= 0; --i)
        if (blocked[i] == id)
            return true;
    return false;
}

} // namespace

int PathSearchCount = 0;
int PathSearchMax = 0;

CGameClient* getGame()
{
    return TheGame;
}

CGameClient::CGameClient()
{
    TheGame = this;
}

CGameClient::~CGameClient()
{
    if (TheGame == this)
        TheGame = nullptr;
}

CProfileData* CGameClient::createProfileData()
{
    return new CGameProfileData;
}

CNodeFactory* CGameClient::createNodeFactory()
{
    return new CGameNodeFactory;
}

CDialogInfo* CGameClient::createDialogInfo()
{
    return new CGameDialogInfo;
}

bool CGameClient::OnEvent(const irr::SEvent& event)
{
    return false;
}

void CGameClient::onFrame()
{
    if (!BannerShown) {
        BannerShown = 1;
        printDebugLine(Format("Alpha. Build '%s'", BuildDateText), BannerMs);
    }
    CEngineBase* engine = getEngine();
    int pressed = engine->getInputReceiver()->isLeftButtonDown() ? 1 : 0;
    // Cursor 1 normally, cursor 2 while the left button is held; it animates
    // while held, and over a node that can be clicked.
    irr::s32 hovered = *CInputState::getHoveredNodeId();
    int animate = pressed || (hovered != 0 && !isClickBlocked(hovered)) ? 1 : 0;
    engine->selectCursor(pressed + 1, animate);
    if (PathSearchCount > PathSearchMax)
        PathSearchMax = PathSearchCount;
    PathSearchCount = 0;
}

void CGameClient::registerScriptBindings()
{
    registerGameScriptBindings();
}

// Game time stands still while the engine is paused, and while the pause
// overlay fades out.
float CGameClient::getTimerSpeed(int timer)
{
    if (timer != GameTimer)
        return 1.0f;
    return getEngine()->getPauseLevel() != 0 ? 0.0f : 1.0f;
}

void CGameClient::onGameStateChanged(int state)
{
    if (state == ExitState)
        SetProfilerNote(">>> MaxPathsearches per frame", IntToString(PathSearchMax));
}

void CGameClient::onInit()
{
}

void CGameClient::onShutdown()
{
}

CTextEffect* CGameClient::createTextEffect(const char* effectText)
{
    return CreateGameTextEffect(effectText);
}
