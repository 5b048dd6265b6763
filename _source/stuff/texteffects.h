// The game's text effects: letters typed in one by one, spun in on a circle,
// or pulsing in a wave with an optional fly-in and fly-off.
#pragma once

#include "rendering_font.h"
#include "utils_str.h"

#include <irrTypes.h>

// "typer": reveals one more letter about every 20 ms; at its end the marker
// node turns opaque and the text node's "stopEffect" attribute becomes 1.
class CTyperTextEffect : public CTextEffect {
public:
    explicit CTyperTextEffect(const char* markerName);
    int apply() override;

    CString marker;              // node shown when typing is over; empty for none
    irr::u32 lastStep;           // tick of the last reveal
    irr::s32 shown = 0;          // letters revealed so far
    irr::s32 done = 0;
    irr::s32 highestHidden = 0;  // shown, when a letter was last held back

private:
    int finish();
};

// "rot_in": every letter spins in around the node's origin over 600 ms.
class CRotInTextEffect : public CTextEffect {
public:
    static constexpr irr::f32 NoAngle = 999.01f;

    // "angl" and a separator, then a phase that freezes every letter there.
    explicit CRotInTextEffect(const char* effectText);
    int apply() override;

    irr::f32 angl = NoAngle;
    irr::u32 startTick;
    irr::s32 state = -1;         // -1 before the first glyph, 1 once settled
    irr::f32 baseScale = 0;
};

// "zfly" (mode 0) and "z2fly" (mode 1): letters pulse in a wave along the
// line; mode 1 also flies them in during the first delay ms and off again
// from time - delay ms.
class CZFlyTextEffect : public CTextEffect {
public:
    explicit CZFlyTextEffect(irr::s32 flyMode);
    int apply() override;

    irr::s32 started = 0;
    irr::f32 phase;              // 0..1, drawn at construction
    irr::f32 baseFactor = 0;
    irr::s32 mode;
    irr::f32 delay = 0;          // ms
    irr::f32 time = 0;           // ms

private:
    void addFlyOffset(irr::f32 pulse);
};

// +1 (the caller deletes it): the effect the text names by its prefix, or
// null for any other text.
CTextEffect* CreateGameTextEffect(const char* effectText);

// The "TEXTFLASHTIME" macro is read once per run; forgets it (tests).
void ResetTextFlashPeriod();
