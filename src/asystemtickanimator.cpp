// The system tick animator.
#include "asystemtickanimator.h"

#include "clock.h"
#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_text.h"
#include "node_utilities.h"
#include "rendering_material_custom.h"
#include "rendering_stuff_particles.h"
#include "rendering_stuff_textures.h"
#include "server_game_manifest.h"
#include "utils_debug.h"

#include <IrrlichtDevice.h>

#include <cstdlib>

namespace {

constexpr int PausedLevel = 60;   // paused or exiting: the frame loop is throttled
constexpr uint32_t PausedSleepMs = 100;
constexpr irr::s32 OverlayId = 8001;
constexpr irr::s32 OverlayLayer = 7;
const char* const DefaultLineFormat = "<font-size:-2><font-face:alt><left>";

bool deviceWindowActive()
{
    CEngineBase* engine = getEngine();
    if (engine->WindowAlwaysActive || !engine->Device)
        return true;
    return engine->Device->isWindowActive();
}

}  // namespace

CSystemTickAnimator::CSystemTickAnimator()
{
    ENGINE_PROFILE("");
    setDiscretion(0);
    Hooks.Sleep = [](uint32_t ms) { platform::Sleep(ms); };
    Hooks.IsWindowActive = deviceWindowActive;
    getEngine()->listPreloadFiles(WorkList);
    WorkList.sort();
}

CSystemTickAnimator::~CSystemTickAnimator()
{
    if (Overlay)
        Overlay->drop();
}

bool CSystemTickAnimator::loadStep()
{
    ENGINE_PROFILE("STARTUP");
    CEngineBase* engine = getEngine();
    if (PreloadIndex < WorkList.size()) {
        engine->preloadFile(WorkList[PreloadIndex].c_str(), nullptr);
        ++PreloadIndex;
        engine->PreloadProgress = float(PreloadIndex) / float(WorkList.size());
        return false;
    }
    CManifest& manifest = getManifest();
    if (!AtlasListsDone) {
        AtlasListsDone = true;
        for (int i = 0; i < manifest.AtlasLists.GetSize(); ++i) {
            const CManifestAtlasList* list = manifest.AtlasLists[i];
            loadTextureLists(manifest.ManifestPath, CString("[List]\n") + list->Data, list->InternalName, true);
        }
        return true;
    }
    if (!ParticleGroupsDone) {
        ParticleGroupsDone = true;
        for (int i = 0; i < manifest.ParticleGroups.GetSize(); ++i) {
            const CManifestParticleGroup* group = manifest.ParticleGroups[i];
            loadParticleGroups(CString("[ParticleGroup]\n") + group->Data +
                               Format("\n-Name:%s", (const char*)group->InternalName));
        }
        return true;
    }
    if (!MaterialsDone) {
        MaterialsDone = true;
        for (int i = 0; i < manifest.MaterialTypes.GetSize(); ++i) {
            const CManifestMaterialType* type = manifest.MaterialTypes[i];
            engine->Renderer.getMaterials().addMaterial(engine->Driver, type->InternalName, type->FX);
        }
        return true;
    }
    engine->setGameState(StartedState);
    engine->getScripts()->compileScriptBuffer();
    setDiscretion(TickPeriodMs);
    return false;
}

void CSystemTickAnimator::followWindowFocus()
{
    CEngineBase* engine = getEngine();
    if (!OptionRead) {
        OptionRead = true;
        PauseOnAltTab = std::atoi(engine->getOptions()->getOption("PauseGameOnAltTab", false));
    }
    // On the frame's tick count, which the device time and so these ticks
    // follow: read later in the frame, a tick 500 ms on may seem 499 ms on
    // and leave the check to the next tick, a second after the last.
    const uint32_t now = engine->DeviceClockTick;
    if (now - LastFocusCheck < TickPeriodMs)
        return;
    LastFocusCheck = now;
    int* active = getAppActiveFlag();
    if (!Hooks.IsWindowActive()) {
        if (*active) {
            *active = 0;
            engine->getInputReceiver()->forgetHeldInput();
            if (PauseOnAltTab)
                engine->setPauseLevel(PausedLevel, true);
        }
    } else if (*active != 1) {
        *active = 1;
        if (PauseOnAltTab)
            engine->setPauseLevel(PausedLevel, false);
    }
    engine->getInputReceiver()->updateCursorAndHover();
}

CString CSystemTickAnimator::overlayText() const
{
    CEngineBase* engine = getEngine();
    const irr::s32 hovered = *CInputState::getHoveredNodeId();
    irr::scene::ISceneNode* node = nullptr;
    if (hovered > 0 && hovered != 8000 && hovered != 8002)   // those two IDs stop the ID table
        node = nodeIdCacheOp(hovered, 0, nullptr);
    const auto& modality = getInputState()->getModalityStack();
    const int topModal = modality.empty() ? 0 : modality[modality.size() - 1].level;
    CString text = Format("FPS=%i, Switches=%i, trigs=%i", engine->FrameRate, engine->LastSwitchCount,
                          engine->LastPrimitiveCount);
    text += Format("\nUnderCursorID=%i (%s)", hovered, node && node->getName() ? node->getName() : "null");
    text += Format("\nmodality=%i, sprcache=%i, sqcache=%i\n", topModal, getSpriteCacheSize(),
                   engine->getScripts()->getCodeCacheSize());
    return text;
}

void CSystemTickAnimator::updateOverlay(irr::scene::ISceneNode* root)
{
    if (!*GetDebugModeFlag()) {
        if (Overlay)
            Overlay->setVisible(false);
        return;
    }
    if (!Overlay) {
        Overlay = createTextNode("", irr::core::vector3df(-19.5f, 14.0f, 0.0f), root, OverlayId);
        if (!Overlay)
            return;
        Overlay->grab();
        Overlay->setLayer(OverlayLayer);
    } else {
        Overlay->setVisible(true);
    }
    if (CallCount % 2 != 0)
        return;
    if (!LineFormatRead) {
        LineFormatRead = true;
        LineFormat = getManifest().Settings.getString("ConsoleLineFormat", "");
    }
    CString text = LineFormat.IsEmpty() ? CString(DefaultLineFormat) : LineFormat;
    text += "\n";
    text += overlayText();
    Overlay->setText(text);
}

void CSystemTickAnimator::animate(CNodeBasement* node, irr::u32)
{
    CEngineBase* engine = getEngine();
    ++CallCount;
    if (engine->GameState == PreloadingState && loadStep())
        return;
    if (engine->getPauseLevel() >= PausedLevel)
        Hooks.Sleep(PausedSleepMs);
    followWindowFocus();
    updateOverlay(node);
}
