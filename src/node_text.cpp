// CTextNode: setting text, the draw pass over its lines, inline objects and
// the effect; the text-node lookups and the on-screen debug lines.
#include "node_text.h"

#include "asystemanimators.h"
#include "module_enginebase.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "server_game_manifest.h"
#include "utils_engine_context.h"
#include "utils_str_lng.h"
#include "utils_str_tools.h"
#include "utils_system_common.h"
#include "utils_system_windows.h"

#include <ISceneManager.h>
#include <ITimer.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

#include <atomic>

using namespace irr;

namespace {

constexpr f32 NodeSize = 0.01f;
constexpr s32 TextLayer = 4;
constexpr s32 DebugLineLayer = 7;
constexpr s32 NoGlyph = 65535;   // the glyph index an effect sees while a line is prepared
constexpr int ShiftKey = 0x10;
constexpr int DebugBoxesBit = 2;
constexpr f32 DebugLineStep = 1.1f;
constexpr f32 FillWidthShare = 0.8f;   // an overlay or underlay is repeated to this share of its line
const char* const Cp1251OptionsTitle = "\xCE\xEF\xF6\xE8\xE8";   // the Russian word for "Options"

core::array<scene::ISceneNode*> DebugLines;   // live debug lines, kept by their list animators
std::atomic<int32_t> DebugLineCount{0};

u32 deviceTime()
{
    IrrlichtDevice* device = getDevice();
    return device && device->getTimer() ? device->getTimer()->getTime() : 0;
}

// With a Russian language table, the yo letters are drawn as e: the fonts of
// that language have no glyph for them. Decided once the language is known.
bool swapsYoLetters()
{
    static int swaps = -1;
    if (swaps < 0 && GetEngineContext().isManifestLoaded())
        swaps = GetLng("MENU.OPTIONS.TITLE", "") == Cp1251OptionsTitle ? 1 : 0;
    return swaps == 1;
}

// Icons inside a text are sprites under the text node, as see-through as it is.
scene::ISceneNode* makeIconSprite(const CString& name, scene::ISceneNode* owner, const char* site)
{
    auto addSprite = GetSceneHooks().AddSprite;
    scene::ISceneNode* sprite = addSprite ? addSprite(name, owner, site) : nullptr;
    CNodeBasement* engineSprite = CNodeBasement::fromSceneNode(sprite);
    CNodeBasement* engineOwner = CNodeBasement::fromSceneNode(owner);
    if (engineSprite && engineOwner && engineSprite != engineOwner) {
        engineSprite->setAlpha(engineOwner->getAlpha());
        engineSprite->setInheritedAlpha(engineOwner->getInheritedAlpha());
    }
    return sprite;
}

// The manifest's "DebugLineFormat", read once the manifest is there.
CString debugLineFormat()
{
    static bool isRead = false;
    static CString format;
    if (!isRead && CManifest::stored().isLoaded()) {
        format = CManifest::stored().Settings.getString("DebugLineFormat", "");
        isRead = true;
    }
    return format;
}

} // namespace

CTextNode::CTextNode(scene::ISceneNode* parent, scene::ISceneManager* smgr, const core::vector3df& position,
                     const char* text, s32 id)
    : CNodeBasement(parent, smgr, id, position, core::dimension2df(NodeSize, NodeSize))
{
    setKind(KindText);
    SetFontIconSpriteMaker(makeIconSprite);
    DrawContext.owner = this;
    setText(text);
    Color = video::SColor(255, 255, 255, 255);
    FontScale = 1.0f;
    // Without a client (a bare engine) the engine's default font, as the client's default would give.
    CEngineClient* client = getEngine()->getClient();
    setFont(client ? client->getFont(nullptr) : getEngine()->DefaultFont);
    setLayer(TextLayer);
}

CTextNode::~CTextNode()
{
    setFont(nullptr);
    clearInlineObjects();
}

video::SMaterial& CTextNode::getMaterial(u32 i)
{
    static video::SMaterial none;
    return Font ? Font->getMaterial() : none;
}

u32 CTextNode::getNodeTypeCode() const
{
    return MAKE_IRR_ID('t', 'e', 'x', 't');
}

void CTextNode::setTextW(const wchar_t* text)
{
    setText(WideToString(text));
}

void CTextNode::setText(const char* text)
{
    if (!text)
        text = "";
    setName(Format("TEXTX-%s", text));
    clearInlineObjects();
    Text = text;
    if (swapsYoLetters()) {
        Text.Replace("\xB8", "\xE5");
        Text.Replace("\xA8", "\xE5");
    }
    Lines.clear();
    if (Text.Find('\n') >= 0)
        Lines = SplitString(Text, '\n', true);
    else
        Lines.push_back(core::stringc((const char*)Text));
}

void CTextNode::setFont(CGUIFont3D* font)
{
    if (font)
        font->grab();
    if (Font)
        Font->drop();
    Font = font;
}

int CTextNode::setTextEffect(CTextEffect* effect, s32 userValue)
{
    if (DrawContext.effect != effect)
        delete DrawContext.effect;
    DrawContext.effect = effect;
    if (effect) {
        effect->startTime = deviceTime();
        effect->userValue = userValue;
        effect->nodeId = getID();
        effect->node = this;
    }
    return 0;
}

bool CTextNode::setOverlayUnderlay(const char* overlay, const char* underlay)
{
    Overlay = overlay ? overlay : "";
    Underlay = underlay ? underlay : "";
    return true;
}

void CTextNode::clearInlineObjects()
{
    LayoutDone = 0;
    LineHeightDrawn = 0;
    TextBounds = core::rectf(0, 0, 0, 0);
    setTextEffect(nullptr, 0);
    // Pictures with IDs past the cache are not found, and stay.
    for (u32 i = 0; i < DrawContext.imageIds.size(); ++i) {
        s32 id = DrawContext.imageIds[i];
        if (id > 0 && id < IdCacheSize)
            if (scene::ISceneNode* node = getNodeById(id, nullptr))
                deleteNode(node);
    }
    DrawContext.imageIds.clear();
    for (u32 i = 0; i < DrawContext.iconNodes.size(); ++i)
        if (DrawContext.iconNodes[i])
            deleteNode(DrawContext.iconNodes[i]);
    DrawContext.iconNodes.clear();
    PlayedSounds.Empty();
}

void CTextNode::render()
{
    if (!Font)
        return;
    STextPassState state;
    state.overlay = Overlay;
    state.underlay = Underlay;
    state.colour = Color;
    state.font = Font;
    state.pen = getAbsolutePosition();
    state.scale = FontScale;
    drawDebugMarker(state.pen);

    s32 alpha = getEffectiveAlpha();
    if (DrawContext.effect)
        DrawContext.effect->textGlyph = 0;
    DrawContext.iconCursor = 0;
    if (alpha == 0)
        return;   // not a complete pass: one-time markup waits until the node shows
    state.colour.setAlpha(u32(alpha));

    s32 lineIndex = 0;
    for (u32 i = 0; i < Lines.size(); ++i) {
        const core::stringc line = Lines[i];   // a tag may replace the lines
        int kind = processMarkupTag(line, state);
        if (kind < 0)
            return;
        if (kind > 0)
            continue;
        if (!drawLine(line, lineIndex, state))
            break;
        ++lineIndex;
    }
    if (LayoutDone == 0)
        LayoutDone = 1;
}

// False when the effect stops the pass before this line.
bool CTextNode::drawLine(const core::stringc& line, s32 lineIndex, STextPassState& state)
{
    CGUIFont3D* font = state.font;
    if (!font)
        return true;
    core::vector2df dimension = font->getTextDimension(line.c_str());
    LineHeightDrawn = (dimension.Y + state.extraLineHeight + font->LineHeight) * state.scale;
    core::vector3df at = state.offset + state.spacer;
    state.spacer = core::vector3df(0, 0, 0);
    s32 glyphIndex = NoGlyph;
    if (DrawContext.effect) {
        fillEffectRecord(lineIndex, at, state, glyphIndex);
        if (DrawContext.effect->prepare() == 0)
            return false;
    }
    if (!state.underlay.empty())
        font->drawText(makeFillText(font, state.underlay, line.c_str()).c_str(), state.pen + at, state.colour,
                       state.alignment, state.verticalCentre, state.scale, false, &DrawContext, nullptr);
    font->drawText(line.c_str(), state.pen + at, state.colour, state.alignment, state.verticalCentre, state.scale,
                   state.outline, &DrawContext, LayoutDone == 0 ? &TextBounds : nullptr, &dimension);
    if (!state.overlay.empty())
        font->drawText(makeFillText(font, state.overlay, line.c_str()).c_str(), state.pen + at, state.colour,
                       state.alignment, state.verticalCentre, state.scale, false, &DrawContext, nullptr);
    state.pen.Y -= LineHeightDrawn * state.advance;
    state.advance = 1.0f;
    return true;
}

void CTextNode::fillEffectRecord(s32 lineIndex, core::vector3df& at, STextPassState& state, s32& glyphIndex)
{
    CTextEffect* effect = DrawContext.effect;
    effect->elapsed = s32(deviceTime() - effect->startTime);
    effect->runProgress = 0.0f;
    effect->runGlyph = 0;
    effect->lineFraction = f32(lineIndex) / f32(Lines.size());
    effect->lineIndex = lineIndex;
    effect->glyphIndex = &glyphIndex;
    effect->position = &at;
    effect->colour = &state.colour;
    effect->scale = &state.scale;
    effect->angle = nullptr;
    // Only the line drawer's glyphs have these; no pointer into a finished line stays.
    effect->pen = nullptr;
    effect->glyphSize = nullptr;
    effect->factor = nullptr;
}

void CTextNode::drawDebugMarker(const core::vector3df& pen)
{
    if (!(GetEngineContext().isDebugMode() & DebugBoxesBit) || GetKeyStateIfActive(ShiftKey) >= 0)
        return;
    video::IVideoDriver* driver = SceneManager ? SceneManager->getVideoDriver() : nullptr;
    if (!driver)
        return;
    driver->setTransform(video::ETS_WORLD, core::matrix4());
    driver->setMaterial(video::SMaterial());
    driver->draw3DBox(core::aabbox3df(pen - core::vector3df(0.01f, 0.11f, -0.01f), pen + core::vector3df(0.01f, 0.01f, -0.01f)),
                      video::SColor(0, 208, 15, 12));
}

core::stringc makeFillText(const CGUIFont3D* font, const core::stringc& fill, const char* line)
{
    if (!font || fill.empty())
        return fill;
    f32 one = font->getTextDimension(fill.c_str()).X;
    f32 target = f32(s32(font->getTextDimension(line).X * FillWidthShare));
    core::stringc result = fill;
    for (f32 width = one; width != 0 && width < target; width += one)
        result += fill;
    return result;
}

CTextNode* createTextNode(const char* text, const core::vector3df& position, scene::ISceneNode* parent, s32 id)
{
    scene::ISceneManager* smgr = getSceneManager();
    if (!smgr)
        return nullptr;
    auto* node = new CTextNode(parent ? parent : smgr->getRootSceneNode(), smgr, position, text, id);
    node->drop();   // the parent holds it
    return node;
}

CTextNode* findTextNode(const char* name)
{
    scene::ISceneNode* node = getNodeByName(CString(name ? name : "") + "_text");
    return dynamic_cast<CTextNode*>(CNodeBasement::fromSceneNode(node));
}

CTextNode* getTextNodeOf(scene::ISceneNode* node)
{
    CNodeBasement* base = CNodeBasement::fromSceneNode(node);
    return base ? dynamic_cast<CTextNode*>(base->findTextChild(0)) : nullptr;
}

void InstallTextNodeMakers()
{
    SetSpriteTextNodeMaker([](const char* text, const core::vector3df& position, scene::ISceneNode* parent,
                              s32 id) -> CNodeBasement* { return createTextNode(text, position, parent, id); });
    SetFontIconSpriteMaker(makeIconSprite);
}

void printDebugLine(const CString& text, s32 ms)
{
    CEngineBase* engine = getEngine();
    engine->log(Format("core_warning: %s", (const char*)text), 0);
    if (engine->getPauseLevel() >= 90 || getGameState() >= 999)
        return;
    for (u32 i = 0; i < DebugLines.size(); ++i)
        DebugLines[i]->setPosition(DebugLines[i]->getPosition() + core::vector3df(0, -DebugLineStep, 0));
    CString format = debugLineFormat();
    CString prefix = format.IsEmpty() ? CString("<font-size:-2>") : format;
    CTextNode* node = createTextNode(prefix + Format("\n[%s] %s", (const char*)GetTimeString(), (const char*)text),
                                     core::vector3df(0, 13.0f, -1.0f), getNodeByName("pole"), SharedSpriteId);
    if (!node)
        return;
    node->setLayer(DebugLineLayer);
    attachAnimator(node, new CSelfDestroyAnimator(u32(ms), 0));
    attachAnimator(node, new CCounterAnimator(&DebugLineCount));
    attachAnimator(node, new CListRegAnimator(&DebugLines));
}

void clearDebugLines()
{
    DebugLines.clear();
}
