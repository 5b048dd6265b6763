// Render-list entries, their sort order and the 2D quad batch.
#include "rendering_stuff.h"

#include <IMaterialRenderer.h>
#include <ITexture.h>
#include <IVideoDriver.h>
#include <rect.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <cstdint>
#include <new>
#include <unordered_map>

using namespace irr;

namespace {

constexpr u16 QuadIndexPattern[6] = {0, 2, 1, 0, 3, 2};

// Screen positions closer than this count as one line (pixels).
constexpr f32 AxisSlackPx = 0.05f;
constexpr f32 TexelSlack = 1e-4f;

// Float to int without undefined behaviour: out of range and NaN saturate to INT32_MIN
// (what the x86 conversion gives), the way the keys have always come out.
s32 truncToInt(f32 v)
{
    if (!(v >= -2147483648.0f && v < 2147483648.0f))
        return INT32_MIN;
    return s32(v);
}

struct SScreenQuad {
    f32 X[4];
    f32 Y[4];
};

// Projects the quad's corners to window pixels; false when a corner lies
// behind the eye, where a screen rectangle means nothing.
bool projectQuad(const core::matrix4& toClip, const core::rect<s32>& viewPort, const video::S3DVertex* v,
                 SScreenQuad& out)
{
    const f32 halfW = 0.5f * f32(viewPort.getWidth());
    const f32 halfH = 0.5f * f32(viewPort.getHeight());
    for (int i = 0; i < 4; ++i) {
        f32 clip[4];
        toClip.transformVect(clip, v[i].Pos);
        if (clip[3] <= 1e-6f)
            return false;
        out.X[i] = f32(viewPort.UpperLeftCorner.X) + (clip[0] / clip[3] + 1.0f) * halfW;
        out.Y[i] = f32(viewPort.UpperLeftCorner.Y) + (1.0f - clip[1] / clip[3]) * halfH;
    }
    return true;
}

bool near(f32 a, f32 b, f32 slack) { return std::fabs(a - b) < slack; }

int findCorner(const SScreenQuad& q, f32 x, f32 y)
{
    for (int i = 0; i < 4; ++i)
        if (near(q.X[i], x, AxisSlackPx) && near(q.Y[i], y, AxisSlackPx))
            return i;
    return -1;
}

struct SImageQuad {
    core::rect<s32> Dest;
    core::rect<s32> Source;
    video::SColor Colours[4];   // upper left, lower left, lower right, upper right
};

// An unrotated, unmirrored quad becomes a stretched image; anything else
// (rotation, mirroring, perspective) needs triangles.
bool toImageQuad(const SScreenQuad& q, const video::S3DVertex* v, const core::dimension2du& texSize,
                 SImageQuad& out)
{
    f32 minX = q.X[0], maxX = q.X[0], minY = q.Y[0], maxY = q.Y[0];
    for (int i = 1; i < 4; ++i) {
        minX = core::min_(minX, q.X[i]);
        maxX = core::max_(maxX, q.X[i]);
        minY = core::min_(minY, q.Y[i]);
        maxY = core::max_(maxY, q.Y[i]);
    }
    const int ul = findCorner(q, minX, minY), ll = findCorner(q, minX, maxY);
    const int lr = findCorner(q, maxX, maxY), ur = findCorner(q, maxX, minY);
    if (ul < 0 || ll < 0 || lr < 0 || ur < 0 || ul == lr || ll == ur)
        return false;
    const core::vector2df& t0 = v[ul].TCoords;
    const core::vector2df& t1 = v[lr].TCoords;
    if (!(t0.X < t1.X && t0.Y < t1.Y))
        return false;
    if (!near(v[ur].TCoords.X, t1.X, TexelSlack) || !near(v[ur].TCoords.Y, t0.Y, TexelSlack) ||
        !near(v[ll].TCoords.X, t0.X, TexelSlack) || !near(v[ll].TCoords.Y, t1.Y, TexelSlack))
        return false;
    out.Dest = core::rect<s32>(core::round32(minX), core::round32(minY), core::round32(maxX), core::round32(maxY));
    out.Source = core::rect<s32>(core::round32(t0.X * texSize.Width), core::round32(t0.Y * texSize.Height),
                                 core::round32(t1.X * texSize.Width), core::round32(t1.Y * texSize.Height));
    // Coordinates past 0..1 repeat the texture (a scrolled or tiled one):
    // only the triangles wrap, the blits would read past the texels. Less
    // than a texel across is left to them too.
    if (out.Source.UpperLeftCorner.X < 0 || out.Source.UpperLeftCorner.Y < 0 ||
        out.Source.LowerRightCorner.X > s32(texSize.Width) || out.Source.LowerRightCorner.Y > s32(texSize.Height) ||
        out.Source.getWidth() <= 0 || out.Source.getHeight() <= 0)
        return false;
    out.Colours[0] = v[ul].Color;
    out.Colours[1] = v[ll].Color;
    out.Colours[2] = v[lr].Color;
    out.Colours[3] = v[ur].Color;
    return out.Dest.getWidth() > 0 && out.Dest.getHeight() > 0;
}

// One axis of a stretched blit: pixels [D0, D1) show texels [S0, S1).
struct SBlitSpan {
    s32 D0, D1, S0, S1;
};

// Burning's Video cuts a stretched blit at the window's left and top edges
// but still starts its texels there, which would show a crossing quad's
// picture from its start. So only what lies inside is handed over: the
// texel under the first pixel over its visible part, then the whole texels
// after it, placed as the uncut blit places them. Returns the span count.
int clipBlitSpan(s32 d0, s32 d1, s32 s0, s32 s1, SBlitSpan spans[2])
{
    if (d0 >= 0) {
        spans[0] = {d0, d1, s0, s1};
        return 1;
    }
    if (d1 <= 0)
        return 0;
    const s64 pixels = d1 - d0, texels = s1 - s0;
    const s64 hidden = -s64(d0) * texels;   // in texels times pixels
    const s32 first = s32(hidden / pixels);
    if (hidden % pixels == 0) {
        spans[0] = {0, d1, s0 + first, s1};
        return 1;
    }
    const s32 next = s32(d0 + ((first + 1) * pixels + texels - 1) / texels);
    spans[0] = {0, core::min_(next, d1), s0 + first, s0 + first + 1};
    if (next >= d1)
        return 1;
    spans[1] = {next, d1, s0 + first + 1, s1};
    return 2;
}

void drawStretched(video::IVideoDriver* driver, video::ITexture* texture, const SImageQuad& image, bool useAlpha)
{
    const core::rect<s32>& d = image.Dest;
    const core::rect<s32>& s = image.Source;
    if (d.UpperLeftCorner.X >= 0 && d.UpperLeftCorner.Y >= 0) {
        driver->draw2DImage(texture, d, s, nullptr, image.Colours, useAlpha);
        return;
    }
    SBlitSpan xs[2], ys[2];
    const int xCount = clipBlitSpan(d.UpperLeftCorner.X, d.LowerRightCorner.X, s.UpperLeftCorner.X,
                                    s.LowerRightCorner.X, xs);
    const int yCount = clipBlitSpan(d.UpperLeftCorner.Y, d.LowerRightCorner.Y, s.UpperLeftCorner.Y,
                                    s.LowerRightCorner.Y, ys);
    for (int y = 0; y < yCount; ++y)
        for (int x = 0; x < xCount; ++x)
            driver->draw2DImage(texture, core::rect<s32>(xs[x].D0, ys[y].D0, xs[x].D1, ys[y].D1),
                                core::rect<s32>(xs[x].S0, ys[y].S0, xs[x].S1, ys[y].S1), nullptr, image.Colours,
                                useAlpha);
}

// White whatever its alpha: the colour leaves the texels as they are.
bool isWhite(video::SColor colour)
{
    return (colour.color & 0xFFFFFFu) == 0xFFFFFFu;
}

// Burning's Video modulates by the colour, alpha included, only in its
// unstretched blit, and by one colour only; its stretched blit ignores
// colours. A tinted quad within a pixel of its texture size therefore takes
// the unstretched blit; false for any other tinted quad, which needs triangles.
bool drawImageQuad(video::IVideoDriver* driver, video::ITexture* texture, const SImageQuad& image, bool useAlpha)
{
    const video::SColor colour = image.Colours[0];
    bool isOneColour = true, isUntinted = true;
    for (const video::SColor& corner : image.Colours) {
        isOneColour = isOneColour && corner == colour;
        isUntinted = isUntinted && isWhite(corner);
    }
    const s32 slack = colour.color == 0xFFFFFFFFu ? 0 : 1;
    const bool isUnstretched = std::abs(image.Dest.getWidth() - image.Source.getWidth()) <= slack &&
                               std::abs(image.Dest.getHeight() - image.Source.getHeight()) <= slack;
    if (isUnstretched && (isOneColour || isUntinted))
        driver->draw2DImage(texture, image.Dest.UpperLeftCorner, image.Source, nullptr, colour, useAlpha);
    else if (isUntinted)
        drawStretched(driver, texture, image, useAlpha);
    else
        return false;
    return true;
}

// set_used alone reallocates to the exact size, once per quad while a run grows.
template <class T> void growTo(core::array<T>& items, u32 size)
{
    if (items.allocated_size() < size)
        items.reallocate(core::max_(size, items.allocated_size() * 2));
    items.set_used(size);
}

} // namespace

s32 RenderSortKey(f32 c)
{
    return truncToInt(c * 100000000.0f);
}

bool SRenderEntry::operator<(const SRenderEntry& other) const
{
    if (ZKey != other.ZKey)
        return ZKey > other.ZKey;
    if (Priority != other.Priority)
        return Priority < other.Priority;
    if (MaterialType != other.MaterialType)
        return MaterialType < other.MaterialType;
    if (TextureSerial != other.TextureSerial)
        return TextureSerial < other.TextureSerial;
    return XYKey > other.XYKey;
}

namespace {

struct STextureSerials {
    std::unordered_map<const video::ITexture*, u32> Serials;
    u32 Next = 1;
    // Sprites of one texture register one after another: most asks are the last one again.
    const video::ITexture* Last = nullptr;
    u32 LastSerial = 0;
};

STextureSerials& textureSerials()
{
    static STextureSerials& serials = *new STextureSerials;   // asked for until the very end
    return serials;
}

} // namespace

u32 TextureLoadSerial(const video::ITexture* texture)
{
    if (!texture)
        return 0;
    STextureSerials& s = textureSerials();
    if (texture == s.Last)
        return s.LastSerial;
    u32& serial = s.Serials[texture];
    if (serial == 0)
        serial = s.Next++;
    s.Last = texture;
    s.LastSerial = serial;
    return serial;
}

void ForgetTextureLoadSerial(const video::ITexture* texture)
{
    STextureSerials& s = textureSerials();
    s.Serials.erase(texture);
    if (s.Last == texture)
        s.Last = nullptr;
}

void ForgetTextureLoadSerials()
{
    STextureSerials& s = textureSerials();
    s.Serials.clear();
    s.Last = nullptr;
}

SRenderEntry MakeRenderEntry(CRenderableNode* node)
{
    SRenderEntry entry;
    entry.Node = node;
    if (node->getMaterialCount() > 0) {
        const video::SMaterial& material = node->getMaterial(0);
        entry.TextureSerial = TextureLoadSerial(material.getTexture(0));
        entry.MaterialType = s32(material.MaterialType);
    }
    const core::vector3df pos = node->getAbsolutePosition();
    entry.XYKey = RenderSortKey(pos.Y) ^ RenderSortKey(pos.X);
    entry.ZKey = RenderSortKey(pos.Z);
    entry.Priority = node->getAbsoluteZ();
    return entry;
}

// --- the batch ---

SBatchState::SBatchState()
{
    Buffer.setHardwareMappingHint(scene::EHM_NEVER);   // refilled on every flush
}

int SBatchState::submit(video::IVideoDriver* driver, const core::matrix4* transform,
                        const video::SMaterial* material, const video::S3DVertex* vertices, SBatchStats& stats)
{
    bool hasRoom = QuadCount < QuadCapacity;
    bool adoptMaterial = false, adoptTransform = false;
    if (material && (MaterialChanged || differsFromCurrent(*material))) {
        if (MaterialChanged)
            LastCompared = nullptr;   // its snapshot no longer matches what is adopted
        MaterialChanged = false;
        adoptMaterial = true;
        hasRoom = false;
    }
    if (transform && TransformChanged) {
        TransformChanged = false;
        adoptTransform = true;
    }
    const bool isFinal = !transform && !material && !vertices;
    if (!hasRoom || isFinal)
        flushBatch(driver, isFinal, stats);
    if (adoptTransform)
        World = *transform;
    if (adoptMaterial)
        Material = *material;
    if (vertices)
        appendQuad(vertices);
    return 0;
}

namespace {

// The bits of a material that its fields hold. Irrlicht never writes the
// padding and the spare bits of its bit fields, so whole bytes of a material
// are compared through this mask (a texture matrix apart, see below).
struct SMaterialBits {
    static constexpr size_t Words = sizeof(video::SMaterial) / sizeof(u64);
    u64 Mask[Words] = {};
};
static_assert(sizeof(video::SMaterial) % sizeof(u64) == 0, "a material is read in whole words");

template <class T> void setEveryBit(T& field)
{
    std::memset(static_cast<void*>(&field), 0xFF, sizeof field);
}

// A material on zeroed bytes with every field given all its bits: what is
// still zero belongs to no field.
SMaterialBits makeMaterialBits()
{
    alignas(video::SMaterial) unsigned char bytes[sizeof(video::SMaterial)] = {};
    video::SMaterial& m = *new (bytes) video::SMaterial;   // not destroyed: it owns nothing, only its bytes count
    for (video::SMaterialLayer& layer : m.TextureLayer) {
        setEveryBit(layer.Texture);
        layer.TextureWrapU = 0xF;
        layer.TextureWrapV = 0xF;
        layer.BilinearFilter = true;
        layer.TrilinearFilter = true;
        setEveryBit(layer.AnisotropicFilter);
        setEveryBit(layer.LODBias);
    }
    setEveryBit(m.MaterialType);
    setEveryBit(m.AmbientColor);
    setEveryBit(m.DiffuseColor);
    setEveryBit(m.EmissiveColor);
    setEveryBit(m.SpecularColor);
    setEveryBit(m.Shininess);
    setEveryBit(m.MaterialTypeParam);
    setEveryBit(m.MaterialTypeParam2);
    setEveryBit(m.Thickness);
    setEveryBit(m.ZBuffer);
    setEveryBit(m.AntiAliasing);
    m.ColorMask = 0xF;
    m.ColorMaterial = 0x7;
    m.BlendOperation = video::E_BLEND_OPERATION(0xF);
    m.PolygonOffsetFactor = 0x7;
    m.PolygonOffsetDirection = video::E_POLYGON_OFFSET(1);
    m.Wireframe = m.PointCloud = m.GouraudShading = m.Lighting = m.ZWriteEnable = true;
    m.BackfaceCulling = m.FrontfaceCulling = m.FogEnable = m.NormalizeNormals = m.UseMipMaps = true;
    SMaterialBits bits;
    std::memcpy(bits.Mask, bytes, sizeof bits.Mask);
    return bits;
}

const SMaterialBits MaterialBits = makeMaterialBits();

bool hasSameFields(const video::SMaterial& material, const unsigned char* snapshot)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&material);
    u64 differs = 0;
    for (size_t i = 0; i < SMaterialBits::Words; ++i) {
        u64 a, b;
        std::memcpy(&a, bytes + i * sizeof a, sizeof a);
        std::memcpy(&b, snapshot + i * sizeof b, sizeof b);
        differs |= (a ^ b) & MaterialBits.Mask[i];
    }
    return differs == 0;
}

} // namespace

bool SBatchState::differsFromCurrent(const video::SMaterial& material)
{
    // A texture matrix lives outside the bytes: such materials are always
    // compared in full, and the snapshot's matrix pointer is always null.
    bool hasOwnMatrix = false;
    for (u32 i = 0; i < video::MATERIAL_MAX_TEXTURES; ++i)
        hasOwnMatrix |= &material.TextureLayer[i].getTextureMatrix() != &core::IdentityMatrix;
    if (!hasOwnMatrix && &material == LastCompared && hasSameFields(material, LastComparedBytes))
        return false;   // compared equal, or adopted, last time and not touched since
    bool differs = material != Material || material.getTexture(0) != Material.getTexture(0) ||
                   material.getTexture(1) != Material.getTexture(1);
    // Irrlicht takes a layer without a matrix for equal to one with any matrix.
    for (u32 i = 0; i < video::MATERIAL_MAX_TEXTURES && !differs; ++i) {
        const core::matrix4& own = material.getTextureMatrix(i);
        const core::matrix4& current = Material.getTextureMatrix(i);
        differs = &own != &current && own != current;
    }
    LastCompared = hasOwnMatrix ? nullptr : &material;
    if (LastCompared)
        std::memcpy(LastComparedBytes, &material, sizeof material);
    return differs;
}

void SBatchState::appendQuad(const video::S3DVertex* vertices)
{
    const u32 base = Buffer.Vertices.size();
    growTo(Buffer.Vertices, base + 4);
    video::S3DVertex* target = &Buffer.Vertices[base];
    for (int i = 0; i < 4; ++i)
        target[i] = vertices[i];
    const u32 firstIndex = Buffer.Indices.size();
    growTo(Buffer.Indices, firstIndex + 6);
    u16* indices = &Buffer.Indices[firstIndex];
    for (int i = 0; i < 6; ++i)
        indices[i] = u16(base + QuadIndexPattern[i]);
    ++QuadCount;
}

void SBatchState::flushBatch(video::IVideoDriver* driver, bool final, SBatchStats& stats)
{
    const u32 vertexCount = Buffer.Vertices.size();
    if (vertexCount > 0 && Material.getTexture(0) && driver) {
        Buffer.Material = Material;
        driver->setMaterial(Material);
        if (stats.SwitchCount == 0)
            driver->setTransform(video::ETS_WORLD, World);
        draw(driver);
        ++stats.SwitchCount;
        stats.PrimitiveCount += int(vertexCount);
        traceFlush(stats);
    }
    // Keep the storage of the largest run seen, so later frames append without allocating.
    if (vertexCount > VertexHighWater) {
        VertexHighWater = vertexCount;
        Buffer.Vertices.reallocate(vertexCount);
    }
    if (Buffer.Indices.size() > IndexHighWater) {
        IndexHighWater = Buffer.Indices.size();
        Buffer.Indices.reallocate(IndexHighWater);
    }
    Buffer.Vertices.set_used(0);
    Buffer.Indices.set_used(0);
    QuadCount = 0;
    if (final) {
        MaterialChanged = true;
        TransformChanged = true;
    }
}

void SBatchState::draw(video::IVideoDriver* driver)
{
    // Burning's Video draws triangles many times slower than its image blits
    // and ignores vertex alpha on them: only turned quads, and tinted ones
    // its blits cannot show, take them.
    if (driver->getDriverType() == video::EDT_BURNINGSVIDEO)
        drawAs2DImages(driver);
    else
        driver->drawMeshBuffer(&Buffer);
}

void SBatchState::drawAs2DImages(video::IVideoDriver* driver)
{
    video::ITexture* texture = Material.getTexture(0);
    const core::matrix4 toClip =
        driver->getTransform(video::ETS_PROJECTION) * driver->getTransform(video::ETS_VIEW) * World;
    const core::rect<s32> viewPort = driver->getViewPort();
    const core::dimension2du texSize = texture->getSize();
    const bool useAlpha = Material.MaterialType != video::EMT_SOLID;
    bool in3DState = true;
    const u32 quads = Buffer.Vertices.size() / 4;
    for (u32 i = 0; i < quads; ++i) {
        const video::S3DVertex* v = &Buffer.Vertices[i * 4];
        SScreenQuad screen;
        SImageQuad image;
        if (projectQuad(toClip, viewPort, v, screen) && toImageQuad(screen, v, texSize, image) &&
            drawImageQuad(driver, texture, image, useAlpha)) {
            in3DState = false;
            continue;
        }
        if (!in3DState) {
            driver->setMaterial(Material);
            driver->setTransform(video::ETS_WORLD, World);
            in3DState = true;
        }
        driver->drawIndexedTriangleList(v, 4, QuadIndexPattern, 2);
    }
}

void SBatchState::traceFlush(SBatchStats& stats) const
{
    const video::ITexture* texture = Material.getTexture(0);
    const video::SMaterialLayer& layer = Material.TextureLayer[0];
    stats.DebugText += Format("%s mp=%i, bili=%i.%i.%i %s\n    ", texture->getName().getPath().c_str(),
                              truncToInt(Material.MaterialTypeParam), int(layer.BilinearFilter),
                              int(layer.AnisotropicFilter), int(layer.TrilinearFilter), "!!");
}
