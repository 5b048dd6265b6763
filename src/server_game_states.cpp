// Game states and pause levels: the two numbers that steer every frame.
#include "module_enginebase.h"

#include "clock.h"
#include "abaseanimators.h"
#include "node_base.h"
#include "node_utilities.h"
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

// Removes its node once its life has passed: the overlay's way out.
class COverlayLifeAnimator : public CBaseAnimator {
public:
    explicit COverlayLifeAnimator(irr::u32 lifeMs) : LifeMs(lifeMs) { setDiscretion(0); }

    void animate(CNodeBasement* node, irr::u32 localMs) override
    {
        if (localMs - getStartTime() >= LifeMs && !Removed) {
            Removed = true;
            scheduleRemoval(node, nullptr);   // after the draw: the render lists still point at it
        }
    }

private:
    irr::u32 LifeMs;
};

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
            attachAnimator(static_cast<CNodeBasement*>(overlay), new COverlayLifeAnimator(OverlayLifeMs));
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
    CNodeBasement* overlay = new CNodeBasement(RootNode, SceneManager, -1, irr::core::vector3df(0.0f, 0.0f, -5.0f),
                                               irr::core::dimension2df(40.0f, 30.0f));
    overlay->drop();   // the root holds it
    overlay->setIDFromName(PauseOverlayName);
    overlay->setName(PauseOverlayName);
    return overlay;
}
