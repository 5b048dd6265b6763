// The font's line drawer: inline icons, glyph measures in font units, line
// layout with outlines and text effects, camera-facing glyph quads, and the
// word wrap that measures with the same rules.
#include "rendering_font.h"

#include "module_enginebase.h"
#include "rendering.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_str_tools.h"
#include "utils_system_common.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <ITimer.h>
#include <IVideoDriver.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace irr;

namespace {

constexpr f32 OutlineShift = 0.004f;
constexpr f32 OutlineDepth = 0.00001f;
constexpr f32 UVInset = 0.002f;
constexpr int ShiftKey = 0x10;
constexpr int DebugBoxesBit = 2;

FontIconSpriteMaker IconSpriteMaker = nullptr;
FontQuadSink QuadSink = nullptr;

// A carriage return (a "<brr>" line end) takes no room and draws nothing.
bool skipCarriageReturn(const char*& cursor)
{
    if (*cursor != '\r')
        return false;
    ++cursor;
    return true;
}

core::vector3df rotateZ(const core::vector3df& v, f32 angle)
{
    f32 c = std::cos(angle), s = std::sin(angle);
    return core::vector3df(v.X * c - v.Y * s, v.X * s + v.Y * c, v.Z);
}

} // namespace

void SetFontIconSpriteMaker(FontIconSpriteMaker maker)
{
    IconSpriteMaker = maker;
}

void SetFontQuadSink(FontQuadSink sink)
{
    QuadSink = sink;
}

s32 CGUIFont3D::getNextGlyph(const char*& cursor, SFontGlyphInfo* info) const
{
    if (info) {
        info->Icon = nullptr;
        info->Arg.Empty();
    }
    const char* semicolon = cursor[0] == '&' && cursor[1] == '#' ? std::strchr(cursor + 2, ';') : nullptr;
    if (semicolon) {
        CString name(cursor + 2, int(semicolon - cursor - 2));
        int question = name.Find('?');
        if (question >= 0) {
            if (info)
                info->Arg = name.Mid(question + 1);
            name = name.Left(question);
        }
        if (auto* entry = Icons.find(core::stringc((const char*)name))) {
            cursor = semicolon + 1;
            if (info)
                info->Icon = entry->getValue();
            return entry->getValue()->GlyphIndex;
        }
        if (info)
            info->Arg.Empty();
    }
    return getGlyphIndex(*cursor++);
}

core::vector2df CGUIFont3D::glyphSize(s32 index) const
{
    const SFontGlyph& glyph = getGlyph(index);
    return core::vector2df(f32(glyph.Size.Width) * Unit, f32(glyph.Size.Height) * Unit);
}

core::vector2df CGUIFont3D::glyphAdvance(s32 index) const
{
    const SFontGlyph& glyph = getGlyph(index);
    f32 x = (glyph.C - f32(Gaps.UpperLeftCorner.X) - f32(Gaps.LowerRightCorner.X) + glyph.OffsetX) * Unit +
            KerningWidth;
    if (glyph.IsBlank)
        x += KerningSpace;
    f32 y = -f32(Gaps.UpperLeftCorner.Y + Gaps.LowerRightCorner.Y) * Unit;
    return core::vector2df(x, y);
}

core::vector2df CGUIFont3D::getTextDimension(const char* text) const
{
    if (!text || !*text)
        text = "#";
    core::vector2df dimension(0, 0);
    if (Glyphs.size() == 0)
        return dimension;
    for (const char* cursor = text; *cursor;) {
        if (skipCarriageReturn(cursor))
            continue;
        s32 index = clampIndex(getNextGlyph(cursor, nullptr));
        core::vector2df size = glyphSize(index) + glyphAdvance(index);
        dimension.X += size.X;
        dimension.Y = std::max(dimension.Y, size.Y);
    }
    return dimension;
}

void CGUIFont3D::drawText(const char* text, core::vector3df position, video::SColor colour, int align,
                          bool verticalCentre, f32 scale, bool outline, STextDrawContext* context,
                          core::rectf* bounds, const core::vector2df* measured)
{
    if (!text || Glyphs.size() == 0)
        return;
    f32 s = scale * DrawSize;
    core::vector3df pen(0, 0, 0);
    const core::vector2df dimension = measured ? *measured : getTextDimension(text);
    if (align == 0)
        pen.X = -dimension.X * s * 0.5f;
    else if (align < 0)
        pen.X = -dimension.X * s;
    if (verticalCentre)
        pen.Y = -dimension.Y * s * 0.5f;

    s32 glyphNumber = 0;
    s32 length = s32(std::strlen(text));
    CTextEffect* effect = context ? context->effect : nullptr;
    if (effect)
        effect->runLength = length;
    f32 angle = 0, factor = 1.0f;
    SFontGlyphInfo info;
    const video::SColor outlineColour(155, 0, 0, 0);
    for (const char* cursor = text; *cursor;) {
        if (skipCarriageReturn(cursor))
            continue;
        s32 index = clampIndex(getNextGlyph(cursor, &info));
        core::vector3df p = position + pen;
        core::vector2df size = glyphSize(index);
        if (outline && !info.Icon) {
            const f32 shifts[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
            for (const auto& shift : shifts)
                drawGlyph(p + core::vector3df(shift[0] * OutlineShift, shift[1] * OutlineShift, OutlineDepth), index,
                          &outlineColour, s, angle);
        }
        if (effect) {
            effect->elapsed = s32((Timer ? Timer->getTime() : 0) - effect->startTime);
            effect->runProgress = f32(glyphNumber) / f32(length);
            effect->runGlyph = glyphNumber;
            effect->textGlyph += 1;
            effect->glyphIndex = &index;
            effect->position = &p;
            effect->pen = &pen;
            effect->glyphSize = &size;
            effect->colour = &colour;
            effect->scale = &s;
            effect->factor = &factor;
            effect->angle = &angle;
            if (effect->apply() == 0)
                return;
            index = clampIndex(index);   // the effect may write any index
        }
        const SFontGlyph& glyph = getGlyph(index);
        if (info.Icon)
            placeIcon(index, info, p, size, context);
        else
            drawGlyph(p + core::vector3df(glyph.A * Unit, glyph.OffsetY * Unit, 0), index, &colour, s * factor,
                      angle);
        pen.X += (size.X + glyphAdvance(index).X) * s;
        ++glyphNumber;
        if (bounds) {
            if (bounds->LowerRightCorner.X - bounds->UpperLeftCorner.X == 0)
                *bounds = core::rectf(p.X, p.Y, p.X, p.Y);
            bounds->UpperLeftCorner.X = std::min(bounds->UpperLeftCorner.X, p.X);
            bounds->LowerRightCorner.X = std::max(bounds->LowerRightCorner.X, p.X + size.X);
            bounds->UpperLeftCorner.Y = std::max(bounds->UpperLeftCorner.Y, p.Y);   // y up: y1 the highest
            bounds->LowerRightCorner.Y = std::min(bounds->LowerRightCorner.Y, p.Y);
        }
    }
}

void CGUIFont3D::placeIcon(s32 index, const SFontGlyphInfo& info, const core::vector3df& at,
                           const core::vector2df& size, STextDrawContext* context)
{
    if (!context)
        return;   // measuring callers pass none: icons need their owner's sprites
    if (context->iconCursor >= s32(context->iconNodes.size())) {
        scene::ISceneNode* sprite = nullptr;
        if (!info.Icon->Spr.empty() && IconSpriteMaker) {
            CString name = ResolveDataPath(info.Icon->Spr.c_str());
            if (!info.Arg.IsEmpty())
                AppendUrlQuery(name, info.Arg);
            sprite = IconSpriteMaker(name, context->owner, Format("%s:%i", __FILE__, __LINE__));
        }
        context->iconNodes.push_back(sprite);
    }
    scene::ISceneNode* sprite = context->iconNodes[context->iconCursor];
    if (sprite) {
        core::vector3df ownerAt = context->owner ? context->owner->getAbsolutePosition() : core::vector3df();
        sprite->setPosition(at + core::vector3df(size.X * 0.5f, size.Y * 0.5f, 0) - ownerAt + info.Icon->Offset);
    }
    context->iconCursor += 1;
}

void CGUIFont3D::computeAxes()
{
    scene::ICameraSceneNode* camera = SceneManager ? SceneManager->getActiveCamera() : nullptr;
    if (!camera)
        return;
    core::vector3df view = camera->getTarget() - camera->getAbsolutePosition();
    view.normalize();
    core::vector3df up = camera->getUpVector();
    AxisX = up.crossProduct(view);
    if (AxisX.getLength() == 0)
        AxisX = core::vector3df(up.Y, up.X, up.Z);
    AxisX.normalize();
    AxisY = AxisX.crossProduct(view);
    AxisY.normalize();
    for (video::S3DVertex& vertex : Quad)
        vertex.Normal = -view;
    AxesReady = true;
}

void CGUIFont3D::drawGlyph(const core::vector3df& position, s32 index, const video::SColor* colour, f32 scale,
                           f32 angle)
{
    if (!AxesReady)
        computeAxes();
    if (!AxesReady || ImageSize.Width <= 0 || ImageSize.Height <= 0)
        return;   // no camera yet, or an image without size: nothing sensible to draw
    index = clampIndex(index);
    const SFontGlyph& glyph = Glyphs[index];
    const core::recti& r = glyph.Rect;
    f32 w = f32(ImageSize.Width), h = f32(ImageSize.Height);
    auto u = [&](s32 x) { return ImageUV.UpperLeftCorner.X + f32(x) / w * ImageUV.getWidth(); };
    auto v = [&](s32 y) { return ImageUV.UpperLeftCorner.Y + f32(y) / h * ImageUV.getHeight(); };
    Quad[0].TCoords.set(u(r.LowerRightCorner.X) - UVInset, v(r.LowerRightCorner.Y) - UVInset);
    Quad[1].TCoords.set(u(r.LowerRightCorner.X) - UVInset, v(r.UpperLeftCorner.Y) + UVInset);
    Quad[2].TCoords.set(u(r.UpperLeftCorner.X) + UVInset, v(r.UpperLeftCorner.Y) + UVInset);
    Quad[3].TCoords.set(u(r.UpperLeftCorner.X) + UVInset, v(r.LowerRightCorner.Y) - UVInset);

    core::vector2df size = glyphSize(index);
    core::vector3df x = AxisX * size.X * scale;
    core::vector3df y = AxisY * size.Y * scale;
    core::vector3df p = position;
    p.Y += BaseLine * scale;
    core::vector3df toRight = x, toTopRight = x - y, toTop = -y;
    if (angle != 0) {
        toRight = rotateZ(toRight, angle);
        toTopRight = rotateZ(toTopRight, angle);
        toTop = rotateZ(toTop, angle);
    }
    Quad[0].Pos = p + toRight;
    Quad[1].Pos = p + toTopRight;
    Quad[2].Pos = p + toTop;
    Quad[3].Pos = p;
    for (video::S3DVertex& vertex : Quad)
        vertex.Color = *colour;

    if ((GetEngineContext().isDebugMode() & DebugBoxesBit) && GetKeyStateIfActive(ShiftKey) < 0 && Driver) {
        Driver->setTransform(video::ETS_WORLD, core::matrix4());
        video::SMaterial unlit;
        unlit.Lighting = false;
        Driver->setMaterial(unlit);
        Driver->draw3DBox(core::aabbox3df(position, position + core::vector3df(x.X, -y.Y, 0.01f)),
                          video::SColor(0, 10, 0, 255));
    }
    if (QuadSink)
        QuadSink(&World, &Material, Quad);
    else if (CRenderer* renderer = getRenderer())
        renderer->submitToBatch(&World, &Material, Quad);
}

CString JustifyTextWithFont(const CGUIFont3D* font, const char* text, f32 width)
{
    if (!font || !text)
        return CString(text);
    core::array<CString> items;
    core::array<f32> widths;
    core::array<core::stringc> lines = SplitString(text, '\n', true);
    for (u32 i = 0; i < lines.size(); ++i) {
        const core::stringc& line = lines[i];
        if (line.empty()) {
            items.push_back("\n");
            widths.push_back(-1);
        } else if (line[0] == '<') {
            items.push_back(CString(line.c_str()) + "\n");
            widths.push_back(-100);
        } else {
            core::array<core::stringc> words = SplitString(line.c_str(), ' ', false);
            for (u32 w = 0; w < words.size(); ++w) {
                items.push_back(CString(words[w].c_str()));
                widths.push_back(font->getTextDimension(words[w].c_str()).X);
            }
            if (words.size() > 0) {
                items.push_back("\n");
                widths.push_back(-1);
            }
        }
    }
    CString result;
    f32 lineWidth = 0;
    for (u32 i = 0; i < items.size(); ++i) {
        if (widths[i] < 0) {
            lineWidth = 0;
            result += items[i];
            continue;
        }
        if (width < lineWidth + widths[i]) {
            result += "\n";
            lineWidth = 0;
        }
        if (lineWidth >= 0.01f)
            result += " ";
        result += items[i];
        lineWidth += widths[i];
    }
    result.TrimRight();
    return result;
}

CString justifyText(const char* text, f32 width)
{
    CEngineClient* client = getEngine()->getClient();
    return JustifyTextWithFont(client ? client->getFont(nullptr) : nullptr, text, width);
}
