// The game's text effects and the factory that picks one from the effect text.
#include "texteffects.h"

#include "clock.h"
#include "node_base.h"
#include "node_text.h"
#include "node_utilities.h"
#include "server_game_manifest.h"
#include "utils_math_misc.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace irr;

namespace {

constexpr u32 TyperStepMs = 20;
constexpr s32 TyperBand = 10;            // letters that count as newly revealed
constexpr f32 RotInMs = 600.0f;
constexpr f32 RotInTurns = 5.0f;         // half-turns over the whole spin
constexpr s32 DefaultFlashPeriodMs = 1000;
constexpr f32 FlyDistance = 20.0f;
constexpr f32 Pi = 3.14159265358979f;
const char* const StopAttribute = "stopEffect";

s32 FlashPeriodMs = 0;                   // 0: not read yet

// The manifest's pulse period. Missing, zero or negative would make the pulse
// a division by zero: those use a period of one second instead.
s32 flashPeriod()
{
    if (FlashPeriodMs == 0) {
        s32 period = StrToInt(CManifest::stored().getMacro("TEXTFLASHTIME"));
        FlashPeriodMs = period > 0 ? period : DefaultFlashPeriodMs;
    }
    return FlashPeriodMs;
}

// The text between open and the next close; empty when either is missing.
CString textBetween(const char* text, const char* open, char close)
{
    const char* start = text ? std::strstr(text, open) : nullptr;
    if (!start)
        return CString();
    start += std::strlen(open);
    const char* end = std::strchr(start, close);
    return end ? CString(start, int(end - start)) : CString();
}

f32 clampUnit(f32 x)
{
    return std::min(std::max(x, 0.0f), 1.0f);
}

core::vector3df nodePosition(const CTextEffect& effect)
{
    return effect.node ? effect.node->getAbsolutePosition() : core::vector3df();
}

} // namespace

CTyperTextEffect::CTyperTextEffect(const char* markerName) : marker(markerName), lastStep(platform::GetTickCount()) {}

int CTyperTextEffect::finish()
{
    if (!marker.IsEmpty())
        if (CNodeBasement* shownNode = CNodeBasement::fromSceneNode(getNodeByName(marker)))
            shownNode->setAlpha(1.0f);
    if (node)
        node->setAttributeInt(StopAttribute, 1);
    return 1;
}

int CTyperTextEffect::apply()
{
    if (done)
        return finish();
    u32 now = platform::GetTickCount();
    if (now - lastStep > TyperStepMs) {   // one letter per call at most
        lastStep = now;
        shown += 1;
    }
    const s32 n = textGlyph;
    if (n > shown) {
        if (colour)
            colour->setAlpha(0);
        highestHidden = std::max(highestHidden, shown);
        return 1;
    }
    if (n < shown - TyperBand) {
        if (n >= highestHidden - 1) {
            done = 1;
            return finish();
        }
        return 1;
    }
    if (node && node->getAttributeInt(StopAttribute, 0) >= 1) {
        done = 1;
        return finish();
    }
    // The band's fade runs from 1 to 2 here, so the newest letters are opaque.
    if (colour)
        colour->setAlpha(u32(UnitToByte(1.0f - f32(n - shown) / f32(TyperBand))));
    return 1;
}

CRotInTextEffect::CRotInTextEffect(const char* effectText) : startTick(platform::GetTickCount())
{
    const char* found = effectText && *effectText ? std::strstr(effectText + 1, "angl") : nullptr;
    if (!found)
        return;
    // The name and one separator come first; a text that ends before the
    // value gives none rather than a read past its end.
    const char* value = found + 4;
    if (*value && value[1])
        angl = StrToFloat(value + 1);
}

int CRotInTextEffect::apply()
{
    if (!scale || !position || !pen || !angle || !colour)
        return 1;   // not called by the line drawer: nothing to move
    if (state < 0) {
        state = 0;
        baseScale = *scale;
    }
    f32 t = f32(platform::GetTickCount() - startTick) / RotInMs;
    if (t >= 1.0f) {
        state = 1;
        t = 1.0f;
    }
    f32 g = t;
    if (angl != NoAngle) {
        state = 0;
        t = angl;
        g = 1.0f;
    }
    if (state < 1) {
        colour->setAlpha(u32(UnitToByte(clampUnit(2.0f * g))));
        *scale = clampUnit(1.1f * g) * baseScale;
    }
    const core::vector3df centre = nodePosition(*this);
    const f32 radius = std::fabs(pen->X);
    const f32 sign = pen->X > 0 ? -1.0f : 1.0f;
    const f32 a = t * Pi * RotInTurns;
    position->X = std::cos(a) * radius * sign + centre.X;
    position->Y = std::sin(a) * radius * sign + centre.Y;
    *angle = a + Pi;
    return 1;
}

CZFlyTextEffect::CZFlyTextEffect(s32 flyMode) : phase(RandomFloat(0.0f, 1.0f)), mode(flyMode) {}

int CZFlyTextEffect::apply()
{
    if (!factor || !position)
        return 1;
    if (!started) {
        started = 1;
        baseFactor = *factor;
    }
    const s32 period = flashPeriod();
    const f32 p = f32(elapsed % period) / f32(period);
    const f32 pulse = 2.0f * (0.5f - p) * Pi;
    const f32 k = std::cos(position->Y * 0.5f + 2.0f * runProgress + pulse);
    *factor = k * 0.15f * (k > 0 ? 2.0f : 1.0f) + baseFactor;
    position->X += (position->X - nodePosition(*this).X) * k * 0.2f;
    if (mode == 1)
        addFlyOffset(p);
    return 1;
}

// Without a delay there is no fly-in or fly-off to scale: the terms stay out.
void CZFlyTextEffect::addFlyOffset(f32 p)
{
    if (!(delay > 0))
        return;
    const f32 ms = f32(elapsed);
    f32 f = 0;
    if (ms < delay)
        f = 1.0f - ms / delay;
    if (ms > time - delay)
        f = (ms - (time - delay)) / delay;
    position->X += std::sin((runProgress + phase) * 15.0f + 2.0f * (0.5f - p) * Pi) * f * FlyDistance;
    position->Y += std::cos(runProgress * 24.0f + 2.0f * (0.7f - p) * Pi) * f * FlyDistance;
}

CTextEffect* CreateGameTextEffect(const char* effectText)
{
    if (StartsWith(effectText, "typer"))
        return new CTyperTextEffect(textBetween(effectText, "[marker:", ']'));
    if (StartsWith(effectText, "rot_in"))
        return new CRotInTextEffect(effectText);
    if (StartsWith(effectText, "zfly"))
        return new CZFlyTextEffect(0);
    if (StartsWith(effectText, "z2fly")) {
        auto* effect = new CZFlyTextEffect(1);
        effect->delay = StrToFloat(textBetween(effectText, "delays[", ']'));
        effect->time = StrToFloat(textBetween(effectText, "time[", ']'));
        return effect;
    }
    return nullptr;
}

void ResetTextFlashPeriod()
{
    FlashPeriodMs = 0;
}
