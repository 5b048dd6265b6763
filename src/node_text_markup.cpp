// CTextNode::processMarkupTag: the control lines of a text. One-time tags act
// on the node during its first complete pass; the others change the pass state.
#include "node_text.h"

#include "afadeanimators.h"
#include "module_enginebase.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "utils_fs.h"
#include "utils_math_misc.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"

#include <cmath>
#include <cstring>

using namespace irr;

namespace {

constexpr s32 FirstPictureId = 2101;
constexpr s32 PictureIdEnd = 2200;
constexpr f32 Pi = 3.14159265358979f;
constexpr f32 LeastTurnDegrees = 0.1f;   // a picture turned by this much or less stays upright

s32 PictureIdCounter = FirstPictureId;

// strstr, not stringc::find: a control line is searched for some twenty tags every frame.
bool has(const core::stringc& line, const char* tag)
{
    return std::strstr(line.c_str(), tag) != nullptr;
}

// The number after key + separator, up to the next '>'; 0 when missing.
f32 markedFloat(const char* text, const char* key, const char* separator)
{
    return StrToFloat(GetMarkedValue(text, key, ">", nullptr, separator));
}

CString markedText(const char* text, const char* key)
{
    return GetMarkedValue(text, key, ">", nullptr, ":");
}

// The characters after the tag name, to the end of the line.
const char* afterTag(const core::stringc& line, const char* tag)
{
    s32 at = line.find(tag);
    return at < 0 ? "" : line.c_str() + at + std::strlen(tag);
}

f32 attributeFloat(const char* attributes, const char* name)
{
    return StrToFloat(GetTagAttribute(name, attributes));
}

// The next picture ID whose cache slot is free, so that a picture never takes
// the slot of another node's picture; 0 when every ID of the range is in use.
s32 nextPictureId()
{
    for (s32 tries = 0; tries < PictureIdEnd - FirstPictureId; ++tries) {
        if (++PictureIdCounter >= PictureIdEnd)
            PictureIdCounter = FirstPictureId;
        if (!getIdCache(PictureIdCounter, 0, nullptr))
            return PictureIdCounter;
    }
    return 0;
}

CEngineClient* client()
{
    CEngineBase* engine = getEngine();
    return engine ? engine->getClient() : nullptr;
}

} // namespace

void ResetInlinePictureIds()
{
    PictureIdCounter = FirstPictureId;
}

void CTextNode::addInlinePicture(const CString& attributes, bool isFrame, const STextPassState& state)
{
    const char* attrs = attributes;
    CString source = GetTagAttribute("src", attrs);
    core::vector2df size(1, 1);
    core::vector3df position(attributeFloat(attrs, "x"), attributeFloat(attrs, "y"), attributeFloat(attrs, "z"));
    if (f32 w = attributeFloat(attrs, "w"))
        size.X *= w;
    if (f32 h = attributeFloat(attrs, "h"))
        size.Y *= h;
    if (StrToInt(GetTagAttribute("relative", attrs)) != 0)
        position += state.offset;
    if (isFrame) {
        f32 height = std::fabs(TextBounds.getHeight());
        position.Y -= 0.5f * height;
        size.X *= TextBounds.getWidth();
        size.Y *= height + LineHeightDrawn;
    }
    scene::ISceneNode* parent = this;
    CString parentName = GetTagAttribute("parent", attrs);
    if (!parentName.IsEmpty())
        parent = getNodeByName(parentName);

    s32 id = nextPictureId();
    if (id == 0 || DrawContext.imageIds.linear_search(id) >= 0)
        return;
    CNodeBasement* picture = addSprite(ResolveDataPath(source), size.X, size.Y, position, parent, nullptr, SPRITE_SITE);
    if (!picture)
        return;
    f32 alpha = 1.0f;
    s32 alphaTime = 0;
    if (attributes.Find("alpha") >= 0) {
        alpha = attributeFloat(attrs, "alpha");
        alphaTime = StrToInt(GetTagAttribute("alphaTime", attrs));
    }
    if (attributes.Find("ondestroy") >= 0)
        spawnDestroyAnimation(picture, GetTagAttribute("ondestroy", attrs), false);
    if (alphaTime != 0)
        attachAnimator(picture, new CAlphaAnimator(alphaTime, 0.0f, alpha, 0));
    else
        picture->setAlpha(alpha);
    f32 rotation = attributeFloat(attrs, "rotation");
    if (std::fabs(rotation) > LeastTurnDegrees)
        if (auto* sprite = dynamic_cast<CSpriteNode*>(picture))
            sprite->setAngle(rotation * Pi / 180.0f);
    s32 own = picture->getID();
    if (own != 0 && own != SharedSpriteId)
        id = own;
    else
        picture->setID(id);
    DrawContext.imageIds.push_back(id);
    picture->setName(Format("TEXTIMG_%s_%i", (const char*)source, id));
    if (attributes.Find("oncreate") >= 0)
        spawnDestroyAnimation(picture, GetTagAttribute("oncreate", attrs), true);
}

// The one-time tags; false when a justify tag replaced the text.
bool CTextNode::processOneTimeTags(const core::stringc& line, STextPassState& state)
{
    if (has(line, "<font-effect:")) {
        CEngineClient* c = client();
        setTextEffect(c ? c->createTextEffect(afterTag(line, "<font-effect:")) : nullptr, 0);
    }
    if (has(line, "<justify")) {
        f32 width = markedFloat(line.c_str(), "justify", ":");
        if (width > 0.01f) {
            CString wrapped = justifyText(Text, width);
            wrapped.Replace("<justify", "<_ustify");
            setText(wrapped);
            return false;
        }
    }
    if (has(line, "<sound")) {
        CString name = markedText(line.c_str(), "sound");
        // A tag without a name plays nothing: an empty effect name would end the program.
        if (!name.IsEmpty() && PlayedSounds.Find(name + "|") < 0) {
            if (CEngineBase* engine = getEngine())
                engine->getSoundServer()->playEffect(name, -1.0f);
            PlayedSounds += name + "|";
        }
    }
    core::stringc work = line;
    for (;;) {
        s32 at = work.find("<img");
        if (at < 0)
            at = work.find("<frame");
        if (at < 0)
            break;
        CString attributes = GetTextBetween("<img ", ">", work.c_str());
        bool isFrame = attributes.IsEmpty();
        if (isFrame)
            attributes = GetTextBetween("<frame ", ">", work.c_str());
        work[at + 1] = '_';
        addInlinePicture(attributes, isFrame, state);
    }
    return true;
}

void CTextNode::processPassTags(const core::stringc& line, STextPassState& state)
{
    const char* text = line.c_str();
    if (has(line, "<d"))
        state.offset += core::vector3df(markedFloat(text, "dx", "="), markedFloat(text, "dy", "="),
                                        markedFloat(text, "dz", "="));
    if (has(line, "<font-color")) {
        // The colour text reads with red in the low byte.
        u32 c = ParseColorText(markedText(text, "font-color"));
        state.colour = video::SColor(u32(UnitToByte(getAlpha())), c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    }
    CEngineClient* c = client();
    if (has(line, "<font-face:") && c) {
        state.font = c->getFont(afterTag(line, "<font-face:"));
        state.scale = 1.0f;
    }
    if (has(line, "<font-size:") && c)
        state.scale = c->getFontScale(afterTag(line, "<font-size:"));
    bool absolute = has(line, "position:absolute");
    const char* axes[3] = {"<x", "<y", "<z"};
    const char* tags[3] = {"<x:", "<y:", "<z:"};
    for (int i = 0; i < 3; ++i) {
        if (!has(line, tags[i]))
            continue;
        f32 v = markedFloat(text, axes[i], ":");
        f32& pen = i == 0 ? state.pen.X : i == 1 ? state.pen.Y : state.pen.Z;
        f32& offset = i == 0 ? state.offset.X : i == 1 ? state.offset.Y : state.offset.Z;
        if (absolute)
            pen = v;
        else
            offset += v;
    }
    if (has(line, "<spacer-")) {
        state.spacer.X += markedFloat(text, "spacer-x", ":");
        state.spacer.Y += markedFloat(text, "spacer-y", ":");
        state.advance = 0;
    }
    if (has(line, "<line-height"))
        state.advance = markedFloat(text, "line-height", ":");
    if (has(line, "<overlay")) {
        CString value = markedText(text, "overlay");
        value.TrimLeft("'");
        value.TrimRight("'");
        state.overlay = (const char*)value;
    }
    if (has(line, "<underlay")) {
        CString value = markedText(text, "underlay");
        value.TrimLeft("'");
        value.TrimRight("'");
        state.underlay = (const char*)value;
    }
    if (has(line, "<center>"))
        state.alignment = 0;
    if (has(line, "<left>"))
        state.alignment = 1;
    if (has(line, "<right>"))
        state.alignment = -1;
    if (has(line, "<nobr>"))
        state.advance = 0;
}

int CTextNode::processMarkupTag(const core::stringc& line, STextPassState& state)
{
    if (line.empty() || line[0] != '<')
        return 0;
    if (line.size() > 1 && line[1] == '!')
        return 1;
    if (LayoutDone == 0 && !processOneTimeTags(line, state))
        return -1;
    processPassTags(line, state);
    return 1;
}

int CTextNode::processMarkupTag(const core::stringc& line, core::stringc& overlay, core::stringc& underlay,
                                core::vector3df& pen, core::vector3df& offset, CGUIFont3D*& font, video::SColor& colour,
                                s32& alignment, bool& verticalCentre, f32& advance, bool& outline, f32& scale,
                                f32& extraLineHeight, core::vector3df& spacer)
{
    STextPassState state;
    state.overlay = overlay;
    state.underlay = underlay;
    state.pen = pen;
    state.offset = offset;
    state.font = font;
    state.colour = colour;
    state.alignment = alignment;
    state.verticalCentre = verticalCentre;
    state.advance = advance;
    state.outline = outline;
    state.scale = scale;
    state.extraLineHeight = extraLineHeight;
    state.spacer = spacer;
    const int result = processMarkupTag(line, state);
    overlay = state.overlay;
    underlay = state.underlay;
    pen = state.pen;
    offset = state.offset;
    font = state.font;
    colour = state.colour;
    alignment = state.alignment;
    verticalCentre = state.verticalCentre;
    advance = state.advance;
    outline = state.outline;
    scale = state.scale;
    extraLineHeight = state.extraLineHeight;
    spacer = state.spacer;
    return result;
}
