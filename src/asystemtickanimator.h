// The root node's housekeeping animator: start-up loading one piece per
// frame, then the pause throttle, window focus, cursor refresh and the
// debug statistics overlay every 500 ms.
#pragma once

#include "abaseanimators.h"
#include "utils_str.h"

#include <irrArray.h>
#include <irrString.h>

#include <cstdint>
#include <functional>

class CTextNode;

class CSystemTickAnimator : public CBaseAnimator {
public:
    // What the animator asks of the system; tests replace them.
    struct SHooks {
        std::function<void(uint32_t ms)> Sleep;        // platform::Sleep
        std::function<bool()> IsWindowActive;           // the device's window
    };

    // The engine's preload list (data folder and mounted archives), sorted.
    CSystemTickAnimator();
    ~CSystemTickAnimator() override;

    void animate(CNodeBasement* node, irr::u32 localMs) override;

    SHooks Hooks;

    static constexpr int PreloadingState = 100;
    static constexpr int StartedState = 500;
    static constexpr irr::u32 TickPeriodMs = 500;

private:
    // One start-up piece; true when the call ends there.
    bool loadStep();
    void followWindowFocus();
    void updateOverlay(irr::scene::ISceneNode* root);
    CString overlayText() const;

    irr::u32 PreloadIndex = 0;
    irr::core::array<irr::core::stringc> WorkList;
    bool AtlasListsDone = false;
    bool ParticleGroupsDone = false;
    bool MaterialsDone = false;

    // Kept per animator so that several engines in one process never share them.
    uint32_t LastFocusCheck = 0;
    int PauseOnAltTab = 0;
    bool OptionRead = false;
    CTextNode* Overlay = nullptr;   // grabbed
    CString LineFormat;
    bool LineFormatRead = false;
    uint32_t CallCount = 0;
};
