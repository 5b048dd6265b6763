// Game states and pause levels: the two numbers that steer every frame.
#include "module_enginebase.h"

#include "clock.h"
#include "utils_debug.h"

#include <ISceneManager.h>
#include <ISceneNode.h>

namespace {

constexpr int PauseExit = 90;
constexpr int PausePaused = 60;
constexpr int PauseFading = 30;
constexpr int GameStateInPlay = 500;
constexpr uint32_t FadeReportMs = 3000;   // level 30 is reported at most this long
constexpr irr::u32 OverlayLifeMs = 1000;
const char* const PauseOverlayName = "pause_fader";

irr::scene::ISceneNode* findPauseOverlay(irr::scene::ISceneManager* smgr)
{
    return smgr ? smgr->getSceneNodeFromName(PauseOverlayName) : nullptr;
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
            irr::scene::ISceneNodeAnimator* fade = SceneManager->createDeleteAnimator(OverlayLifeMs);
            overlay->addAnimator(fade);
            fade->drop();
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
    irr::scene::ISceneNode* overlay =
        SceneManager->addEmptySceneNode(RootNode, -1);
    overlay->setName(PauseOverlayName);
    overlay->setPosition(irr::core::vector3df(0.0f, 0.0f, -5.0f));
    return overlay;
}
