// The game's text effects: each one's glyph changes at fixed times on a
// controlled clock, the client's choice of effect from the effect text, and
// effects made by the text markup changing what a text node draws.
#include "stuff/texteffects.h"

#include "enginebindings.h"
#include "fake_clock.h"
#include "font_fixtures.h"
#include "glyph_quads.h"
#include "msgbox_recorder.h"
#include "node_text.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_stuff_textures.h"
#include "server_game_manifest.h"
#include "temp_folder.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <ITimer.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace irr;

namespace {

constexpr f32 Pi = 3.14159265358979f;
constexpr u32 LineAlpha = 128;

// What one glyph came out as.
struct SGlyphOut {
    u32 Alpha;
    core::vector3df Position;
    f32 Scale, Factor, Angle;
};

// Plays the line drawer for one line of `count` glyphs, 0.5 apart from
// `start`: the record is filled as the drawer fills it, and colour, scale,
// factor and angle carry over from glyph to glyph as they do there.
std::vector<SGlyphOut> drawLine(CTextEffect& effect, int count, const core::vector3df& start = {0, 0, 0},
                                s32 elapsedMs = 0)
{
    std::vector<SGlyphOut> out;
    video::SColor colour(LineAlpha, 255, 255, 255);
    f32 scale = 1.0f, factor = 1.0f, angle = 0;
    core::vector3df pen;
    core::vector2df size(0.5f, 1.6f);
    effect.runLength = count;
    for (int i = 0; i < count; ++i) {
        s32 index = 'A' - 32;
        core::vector3df position = start + pen;
        effect.elapsed = elapsedMs;
        effect.runProgress = f32(i) / f32(count);
        effect.runGlyph = i;
        effect.textGlyph += 1;
        effect.glyphIndex = &index;
        effect.position = &position;
        effect.pen = &pen;
        effect.glyphSize = &size;
        effect.colour = &colour;
        effect.scale = &scale;
        effect.factor = &factor;
        effect.angle = &angle;
        EXPECT_EQ(effect.apply(), 1);
        out.push_back({colour.getAlpha(), position, scale, factor, angle});
        pen.X += 0.5f;
    }
    return out;
}

// One draw pass: textGlyph starts over as the text node makes it.
std::vector<SGlyphOut> drawPass(CTextEffect& effect, int count, s32 elapsedMs = 0)
{
    effect.textGlyph = 0;
    return drawLine(effect, count, {0, 0, 0}, elapsedMs);
}

// Each glyph's alpha as a letter: '.' hidden, 'o' the line's own alpha, '#' opaque.
std::string alphas(const std::vector<SGlyphOut>& glyphs)
{
    std::string text;
    for (const SGlyphOut& glyph : glyphs)
        text += glyph.Alpha == 0 ? '.' : glyph.Alpha == LineAlpha ? 'o' : glyph.Alpha == 255 ? '#' : '?';
    return text;
}

// A scene with a root and text nodes, the monospace font (glyphs 0.5 units
// apart) as the default font, the game's client and a fake tick clock.
class TextEffectTest : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Font = LoadMonospaceFont(Engine.Device, Smgr, Folder);
        ASSERT_NE(Font, nullptr);
        Engine.DefaultFont = Font;
        Game = new CGameClient;
        Engine.setClient(Game);
        Smgr->setActiveCamera(Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20), core::vector3df(0, 0, 0)));
        Root = addNode("pole", nullptr, RootNodeId);
        Engine.RootNode = Root;
        CManifest::stored().MacroTable.RemoveKey("TEXTFLASHTIME");
        ResetTextFlashPeriod();
        Quads.clear();
        SetFontQuadSink(recordQuad);
    }
    void TearDown() override
    {
        SetFontQuadSink(nullptr);
        if (Root)
            Root->removeAll();
        Engine.Renderer.processDeferredRemovals();
        NullScene::TearDown();
        Engine.RootNode = nullptr;
        Engine.setClient(nullptr);
        Game->drop();
        Engine.DefaultFont = nullptr;
        CTextureCache::instance().clear();
        Font->drop();
        CManifest::stored().MacroTable.RemoveKey("TEXTFLASHTIME");
        ResetTextFlashPeriod();
    }

    CTextNode* addText(const char* text, const core::vector3df& at = {0, 0, 0})
    {
        CTextNode* node = createTextNode(text, at, Root, -1);
        node->setFont(Font);
        node->updateAbsolutePosition();
        return node;
    }

    // A text node that owns the effect, as the markup would set it.
    template <class Effect>
    Effect* attach(Effect* effect, const core::vector3df& at = {0, 0, 0})
    {
        addText("", at)->setTextEffect(effect, 0);
        return effect;
    }

    void setFlashTime(const char* value)
    {
        CManifest::stored().MacroTable.SetAt("TEXTFLASHTIME", value);
        ResetTextFlashPeriod();
    }

    CFakeClock Clock;
    CGUIFont3D* Font = nullptr;
    CGameClient* Game = nullptr;
    CProbeNode* Root = nullptr;
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;
};

} // namespace

TEST_F(TextEffectTest, TyperRevealsOneLetterPerStepAndStopsTenStepsAfterTheLast)
{
    CProbeNode* arrow = addNode("arrow", Root, 1500);
    registerNodeName("arrow", 1500);
    arrow->setAlpha(0.0f);
    auto* typer = attach(new CTyperTextEffect("arrow"));
    CTextNode* text = typer->node;

    EXPECT_EQ(alphas(drawPass(*typer, 30)), std::string(30, '.')) << "nothing shows on the first frame";
    Clock.advance(20);
    EXPECT_EQ(alphas(drawPass(*typer, 30)), std::string(30, '.')) << "20 ms is not yet a step";

    // Letters older than ten steps keep the line's alpha, the newest are opaque.
    struct Case {
        int Steps;   // total so far
        std::string Expected;
    } cases[] = {
        {1, "#" + std::string(29, '.')},
        {2, "##" + std::string(28, '.')},
        {15, "oooo" + std::string(11, '#') + std::string(15, '.')},
        {30, std::string(19, 'o') + std::string(11, '#')},
        {38, std::string(27, 'o') + "###"},
    };
    for (const Case& c : cases) {
        while (typer->shown < c.Steps) {
            Clock.advance(21);
            drawPass(*typer, 30);
        }
        EXPECT_EQ(typer->shown, c.Steps);
        EXPECT_EQ(alphas(drawPass(*typer, 30)), c.Expected) << c.Steps << " steps";
        EXPECT_EQ(text->getAttributeInt("stopEffect", 0), 0) << c.Steps << " steps";
        EXPECT_EQ(arrow->getAlpha(), 0.0f);
    }
    // The 39th step leaves the last hidden letters' neighbours more than ten steps back.
    Clock.advance(21);
    drawPass(*typer, 30);
    EXPECT_EQ(typer->done, 1);
    EXPECT_EQ(text->getAttributeInt("stopEffect", 0), 1);
    EXPECT_EQ(arrow->getAlpha(), 1.0f);
    Clock.advance(21);
    EXPECT_EQ(alphas(drawPass(*typer, 30)), std::string(30, 'o')) << "done: every letter as the text draws it";
}

TEST_F(TextEffectTest, TyperStopsAtOnceWhenTheNodeSaysSo)
{
    auto* typer = attach(new CTyperTextEffect("nobody"));
    for (int i = 0; i < 3; ++i) {
        Clock.advance(21);
        drawPass(*typer, 10);
    }
    typer->node->setAttributeInt("stopEffect", 1);   // as a script would
    EXPECT_EQ(alphas(drawPass(*typer, 10)), std::string(10, 'o')) << "the remaining letters appear at once";
    EXPECT_EQ(typer->done, 1);
    EXPECT_EQ(typer->node->getAttributeInt("stopEffect", 0), 1) << "a marker naming no node is no harm";
}

TEST_F(TextEffectTest, RotInSpinsEachLetterAroundTheNodeForSixHundredMs)
{
    const core::vector3df centre(2, 1, 0);
    struct Case {
        u32 AfterMs;
        f32 PenX;
        core::vector3df Position;
        f32 Angle;
        u32 Alpha;
        f32 Scale;
    } cases[] = {
        // radius |pen.x|; letters right of the origin start on its left
        {0, 1.5f, {0.5f, 1, 0}, Pi, 0, 0},
        {150, 1.5f, {2 - 1.5f * std::cos(1.25f * Pi), 1 - 1.5f * std::sin(1.25f * Pi), 0}, 2.25f * Pi, 127,
         0.275f},
        {300, 1.5f, {2, -0.5f, 0}, 3.5f * Pi, 255, 0.55f},
        {300, -1.0f, {2, 2, 0}, 3.5f * Pi, 255, 0.55f},
        {600, 1.5f, {3.5f, 1, 0}, 6 * Pi, LineAlpha, 1},   // settled: its own x, the origin's height
        {600, -1.0f, {1, 1, 0}, 6 * Pi, LineAlpha, 1},
        {5000, 1.5f, {3.5f, 1, 0}, 6 * Pi, LineAlpha, 1},
    };
    for (const Case& c : cases) {
        CFakeClock clock;
        auto* effect = attach(new CRotInTextEffect("rot_in"), centre);
        clock.advance(c.AfterMs);
        video::SColor colour(LineAlpha, 255, 255, 255);
        f32 scale = 1.0f, factor = 1.0f, angle = 0;
        core::vector3df pen(c.PenX, 0, 0), position = centre + pen;
        effect->pen = &pen;
        effect->position = &position;
        effect->colour = &colour;
        effect->scale = &scale;
        effect->factor = &factor;
        effect->angle = &angle;
        EXPECT_EQ(effect->apply(), 1);
        std::string what = std::to_string(c.AfterMs) + " ms, pen " + std::to_string(c.PenX);
        expectNear(position, c.Position, what, 1e-4f);
        EXPECT_NEAR(angle, c.Angle, 1e-4f) << what;
        EXPECT_EQ(colour.getAlpha(), c.Alpha) << what;
        EXPECT_NEAR(scale, c.Scale, 1e-5f) << what;
    }
}

TEST_F(TextEffectTest, RotInAngleFreezesEveryLetterAndIsReadOnlyInsideTheText)
{
    struct Case {
        const char* Text;
        f32 Angle;
    } cases[] = {
        {"rot_in angl:0.5>", 0.5f},
        {"rot_in angl=+0.25", 0.25f},
        {"rot_in angl:", CRotInTextEffect::NoAngle},   // nothing after the separator
        {"rot_in angl", CRotInTextEffect::NoAngle},    // ends at the name
        {"angl:0.5", CRotInTextEffect::NoAngle},       // only after the first character
        {"rot_in", CRotInTextEffect::NoAngle},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(CRotInTextEffect(c.Text).angl, c.Angle) << c.Text;

    auto* frozen = attach(new CRotInTextEffect("rot_in angl:0.5"), {2, 1, 0});
    for (u32 ms : {0u, 300u, 2000u}) {
        std::vector<SGlyphOut> glyphs = drawLine(*frozen, 2, {2, 1, 0});
        // Phase 2.5 pi: a quarter turn past the start, on each letter's own circle.
        expectNear(glyphs[0].Position, {2, 1, 0}, "pen 0", 1e-4f);
        expectNear(glyphs[1].Position, {2, 0.5f, 0}, "pen 0.5", 1e-4f);
        EXPECT_NEAR(glyphs[1].Angle, 3.5f * Pi, 1e-4f);
        EXPECT_EQ(glyphs[1].Alpha, 255u) << ms << " ms: opaque";
        EXPECT_EQ(glyphs[1].Scale, 1.0f) << ms << " ms: full size";
        Clock.advance(ms);
    }
}

TEST_F(TextEffectTest, ZFlyPulsesInAWaveOverTheFlashTime)
{
    // Letter at x 3 on a node at x 2; phase y 0 and progress 0 leave the wave to time.
    struct Case {
        const char* FlashTime;   // null: no macro
        s32 ElapsedMs;
        f32 Factor;
        f32 X;
    } cases[] = {
        {"2000", 0, 0.85f, 2.8f},      // cos(pi) = -1: shrinks, moves in
        {"2000", 500, 1.0f, 3.0f},     // cos(pi / 2) = 0
        {"2000", 1000, 1.3f, 3.2f},    // cos(0) = 1: grows twice as much, moves out
        {"2000", 3000, 1.3f, 3.2f},    // the next period
        {"+2000", 1000, 1.3f, 3.2f},
        {nullptr, 500, 1.3f, 3.2f},    // no macro: a period of a second
        {"0", 500, 1.3f, 3.2f},
        {"-40", 500, 1.3f, 3.2f},
        {"soon", 500, 1.3f, 3.2f},
    };
    for (const Case& c : cases) {
        CManifest::stored().MacroTable.RemoveKey("TEXTFLASHTIME");
        if (c.FlashTime)
            setFlashTime(c.FlashTime);
        ResetTextFlashPeriod();
        auto* effect = attach(new CZFlyTextEffect(0), {2, 0, 0});
        std::vector<SGlyphOut> glyphs = drawLine(*effect, 1, {3, 0, 0}, c.ElapsedMs);
        std::string what = std::string(c.FlashTime ? c.FlashTime : "none") + " at " + std::to_string(c.ElapsedMs);
        EXPECT_NEAR(glyphs[0].Factor, c.Factor, 1e-5f) << what;
        EXPECT_NEAR(glyphs[0].Position.X, c.X, 1e-5f) << what;
        EXPECT_EQ(glyphs[0].Position.Y, 0.0f) << what;
    }
}

TEST_F(TextEffectTest, ZFlyPulseStartsFromTheLineFactorAndTheFlashTimeIsReadOnce)
{
    setFlashTime("2000");
    auto* effect = attach(new CZFlyTextEffect(0), {2, 0, 0});
    // Factor carries over between glyphs: each pulse still starts from the first glyph's factor.
    std::vector<SGlyphOut> glyphs = drawLine(*effect, 1, {3, 0, 0}, 1000);
    EXPECT_NEAR(glyphs[0].Factor, 1.3f, 1e-5f);
    f32 factor = glyphs[0].Factor;
    core::vector3df position(3, 0, 0);
    effect->factor = &factor;
    effect->position = &position;
    effect->apply();
    EXPECT_NEAR(factor, 1.3f, 1e-5f) << "no compounding";

    CManifest::stored().MacroTable.SetAt("TEXTFLASHTIME", "4000");   // too late: read once per run
    auto* later = attach(new CZFlyTextEffect(0), {2, 0, 0});
    EXPECT_NEAR(drawLine(*later, 1, {3, 0, 0}, 1000)[0].Factor, 1.3f, 1e-5f);
}

TEST_F(TextEffectTest, Z2FlyFliesInDuringTheDelayAndOffFromTimeMinusDelay)
{
    setFlashTime("500");   // every multiple of 500 ms is the same pulse phase
    auto offsetAt = [&](f32 delay, f32 time, s32 ms) {
        auto* still = attach(new CZFlyTextEffect(0), {2, 0, 0});
        auto* flying = attach(new CZFlyTextEffect(1), {2, 0, 0});
        flying->delay = delay;
        flying->time = time;
        std::vector<SGlyphOut> a = drawLine(*still, 3, {3, 0, 0}, ms);
        std::vector<SGlyphOut> b = drawLine(*flying, 3, {3, 0, 0}, ms);
        std::vector<core::vector3df> offsets;
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_NEAR(a[i].Factor, b[i].Factor, 1e-6f) << "the pulse is the same";
            offsets.push_back(b[i].Position - a[i].Position);
        }
        return offsets;
    };
    for (s32 ms : {500, 1000, 2000, 2500})
        for (const core::vector3df& offset : offsetAt(500, 3000, ms))
            expectNear(offset, {0, 0, 0}, "in place at " + std::to_string(ms), 1e-4f);

    std::vector<core::vector3df> start = offsetAt(500, 3000, 0);
    // Every letter starts up to 20 units away; the y offset has no random phase.
    EXPECT_NEAR(start[0].Y, 20 * std::cos(1.4f * Pi), 1e-3f);
    for (const core::vector3df& offset : start) {
        EXPECT_GT(offset.getLength(), 0.0f);
        EXPECT_LE(offset.getLength(), 20 * std::sqrt(2.0f) + 1e-3f);
    }
    std::vector<core::vector3df> offAt3000 = offsetAt(500, 3000, 3000);
    std::vector<core::vector3df> offAt3500 = offsetAt(500, 3000, 3500);
    EXPECT_NEAR(offAt3000[0].Y, start[0].Y, 1e-3f) << "at time the letters are as far as at the start";
    EXPECT_NEAR(offAt3500[0].Y, 2 * start[0].Y, 1e-3f) << "and keep going";

    for (s32 ms : {0, 250, 3000, 3500})
        for (const core::vector3df& offset : offsetAt(0, 3000, ms))
            expectNear(offset, {0, 0, 0}, "no delay, no fly at " + std::to_string(ms), 1e-4f);
}

TEST_F(TextEffectTest, ClientPicksTheEffectByThePrefixOfTheText)
{
    enum Kind { None, Typer, RotIn, Fly };
    struct Case {
        const char* Text;
        Kind Expected;
        const char* Marker;
        s32 Mode;
        f32 Delay, Time;
    } cases[] = {
        {"typer [marker:arrow]>", Typer, "arrow", 0, 0, 0},
        {"typer>", Typer, "", 0, 0, 0},
        {"typer [marker:arrow", Typer, "", 0, 0, 0},   // no closing bracket: no name
        {"rot_in angl:0.5>", RotIn, "", 0, 0, 0},
        {"zfly>", Fly, "", 0, 0, 0},
        {"zfly delays[5] time[9]", Fly, "", 0, 0, 0},   // never reaches the z2fly test
        {"z2fly delays[0.5] time[+2]>", Fly, "", 1, 0.5f, 2.0f},
        {"z2fly time[3000] delays[500]", Fly, "", 1, 500, 3000},
        {"z2fly delays[soon] time[", Fly, "", 1, 0, 0},
        {"z2fly", Fly, "", 1, 0, 0},
        {"Typer", None, "", 0, 0, 0},
        {" typer", None, "", 0, 0, 0},
        {"fade", None, "", 0, 0, 0},
        {"", None, "", 0, 0, 0},
    };
    for (const Case& c : cases) {
        CTextEffect* effect = Game->createTextEffect(c.Text);
        switch (c.Expected) {
        case None:
            EXPECT_EQ(effect, nullptr) << c.Text;
            break;
        case Typer: {
            auto* typer = dynamic_cast<CTyperTextEffect*>(effect);
            ASSERT_NE(typer, nullptr) << c.Text;
            EXPECT_EQ(std::string(typer->marker), c.Marker) << c.Text;
            break;
        }
        case RotIn:
            ASSERT_NE(dynamic_cast<CRotInTextEffect*>(effect), nullptr) << c.Text;
            EXPECT_EQ(static_cast<CRotInTextEffect*>(effect)->angl, 0.5f);
            break;
        case Fly: {
            auto* fly = dynamic_cast<CZFlyTextEffect*>(effect);
            ASSERT_NE(fly, nullptr) << c.Text;
            EXPECT_EQ(fly->mode, c.Mode) << c.Text;
            EXPECT_EQ(fly->delay, c.Delay) << c.Text;
            EXPECT_EQ(fly->time, c.Time) << c.Text;
            EXPECT_GE(fly->phase, 0.0f);
            EXPECT_LT(fly->phase, 1.0f);
            break;
        }
        }
        delete effect;
    }
    EXPECT_EQ(Game->createTextEffect(nullptr), nullptr);
}

TEST_F(TextEffectTest, MarkupEffectChangesTheGlyphsTheNodeDraws)
{
    CTextNode* plain = addText("<left>\nAB", {1, 2, 0});
    plain->render();
    ASSERT_EQ(Quads.size(), 2u);
    std::vector<SQuad> unchanged = Quads;

    // Typed in: nothing on the first pass, the first letter after a step.
    Quads.clear();
    CTextNode* typed = addText("<left>\n<font-effect:typer>\nAB", {1, 2, 0});
    typed->render();
    ASSERT_NE(dynamic_cast<CTyperTextEffect*>(typed->getDrawContext().effect), nullptr);
    ASSERT_EQ(Quads.size(), 2u) << "hidden letters are still drawn, see-through";
    EXPECT_EQ(Quads[0].Colour.getAlpha(), 0u);
    EXPECT_EQ(Quads[1].Colour.getAlpha(), 0u);
    Quads.clear();
    Clock.advance(21);
    typed->render();
    ASSERT_EQ(Quads.size(), 2u);
    EXPECT_EQ(Quads[0].Colour.getAlpha(), 255u);
    EXPECT_EQ(Quads[1].Colour.getAlpha(), 0u);
    expectNear(Quads[0].Origin, unchanged[0].Origin, "the typer moves nothing", 1e-4f);

    // Spun in and frozen a quarter turn on: each letter on its circle, turned.
    Quads.clear();
    CTextNode* spun = addText("<left>\n<font-effect:rot_in angl:0.5>\nAB", {1, 2, 0});
    spun->render();
    ASSERT_EQ(Quads.size(), 2u);
    expectNear(Quads[0].Origin, {1, 2, 0}, "the letter at the origin stays", 1e-4f);
    expectNear(Quads[1].Origin, {1, 2 - 0.5f, 0}, "the next one a quarter turn down its circle", 1e-4f);
    EXPECT_NEAR(unchanged[1].Width, 0.5f, 1e-5f);
    EXPECT_NEAR(Quads[1].Width, 0.0f, 1e-5f) << "turned upright on its side";
}
