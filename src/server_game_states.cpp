// Game states and pause levels: the two numbers that steer every frame.
#include "module_enginebase.h"

#include "clock.h"
#include "afadeanimators.h"
#include "asystemanimators.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_text.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_str_lng.h"

#include <ISceneManager.h>
#include <ISceneNode.h>

namespace {

constexpr int PauseExit = 90;
constexpr int PausePaused = 60;
constexpr int PauseFading = 30;
constexpr int GameStateInPlay = 500;
constexpr uint32_t FadeReportMs = 3000;   // level 30 is reported at most this long
constexpr irr::u32 OverlayLifeMs = 1000;
constexpr irr::u32 OverlayFadeOutMs = OverlayLifeMs - 100;
constexpr irr::s32 OverlayFadeInMs = 1000;
constexpr irr::s32 OverlayTextId = 8001;
const char* const PauseOverlayName = "pause_fader";

irr::scene::ISceneNode* findPauseOverlay(irr::scene::ISceneManager* smgr)
{
    return smgr ? getNodeByName(PauseOverlayName) : nullptr;
}

} // namespace

int CEngineBase::getPauseLevel()
{
    if (PauseLevel != 0)
        return PauseLevel;
    if (platform::GetTickCount() - UnpauseTick < FadeReportMs && findPauseOverlay(SceneManager))
        return PauseFading;
    return PauseLevel;
}

bool CEngineBase::setPauseLevel(int level, bool set)
{
    CheckMainThread();
    if (set && level == PauseExit) {
        PauseLevel = PauseExit;
        return true;
    }
    if (!set && PauseLevel == PauseExit)
        return false;
    bool refreshVolumes = false;
    if (GameState == GameStateInPlay) {
        irr::scene::ISceneNode* overlay = findPauseOverlay(SceneManager);
        if (set && level == PausePaused && PauseLevel != PausePaused && !overlay) {
            createPauseOverlay();
            refreshVolumes = true;
        } else if (!set && level <= PausePaused && PauseLevel == PausePaused && overlay) {
            UnpauseTick = platform::GetTickCount();
            attachAnimator(static_cast<CNodeBasement*>(overlay), new CSelfDestroyAnimator(OverlayLifeMs, OverlayFadeOutMs));
            refreshVolumes = true;
        }
    }
    // A clear stores 0 whatever level it names.
    PauseLevel = (set || level == 0) ? level : 0;
    if (refreshVolumes)
        Sound.setVolumes(0.0f, nullptr, nullptr);
    return true;
}

void CEngineBase::requestExit()
{
    CheckMainThread();
    ExitRequested = 1;
}

// The overlay that darkens the scene while the game is paused.
irr::scene::ISceneNode* CEngineBase::createPauseOverlay()
{
    if (!SceneManager || !RootNode)
        return nullptr;
    CNodeBasement* overlay = addSprite("\\gui\\black.png", 40.0f, 30.0f, irr::core::vector3df(0.0f, 0.0f, -5.0f),
                                       RootNode, nullptr, SPRITE_SITE);
    if (!overlay)
        return nullptr;
    overlay->setIDFromName(PauseOverlayName);
    overlay->setName(PauseOverlayName);
    createTextNode(CString("<font-size:-1>\n") + GetLngText("GAME.PAUSED"), irr::core::vector3df(0.0f, 0.0f, -0.1f),
                   overlay, OverlayTextId);
    createAlphaAnimator(overlay, OverlayFadeInMs, 0.0f, 1.0f, 0);
    return overlay;
}
