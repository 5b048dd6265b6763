// The sprite node.
#include "node_sprite.h"

#include "module_enginebase.h"
#include "rendering.h"
#include "rendering_stuff_particles.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_math_misc.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <IVideoDriver.h>

#include <cmath>

using namespace irr;

namespace {

constexpr int DebugDrawBoxes = 2;       // Debug option bits
constexpr int DebugWireframe = 4;
constexpr f32 MinAngle = 1e-6f;
constexpr s32 SpriteLayer = 4;

f32 atLeastOne(f32 count)
{
    return count == 0.0f ? 1.0f : count;
}

} // namespace

CSpriteNode::CSpriteNode(scene::ISceneNode* parent, scene::ISceneManager* smgr, s32 id,
                         const core::vector3df& position, const core::dimension2df& size)
    : CNodeBasement(parent, smgr, id, position, size)
{
    ENGINE_PROFILE("ADDSPR-CSpriteNode constr");
    GeometryValid = false;
    UVRect.UpperLeftCorner.set(0, 0);
    UVRect.LowerRightCorner.set(1, 1);
    setLayer(SpriteLayer);
    Material.Wireframe = false;
    const video::SColor white(255, 255, 255, 255);
    for (video::S3DVertex& vertex : Vertices)
        vertex.Color = white;
    setFrame(0, 0, 1, 1);
}

CSpriteNode::~CSpriteNode()
{
    releaseParticleGroupUse(ParticleGroup);
}

// --- texture coordinates ---

f32 CSpriteNode::mapU(f32 u) const
{
    return (1 - u) * UVRect.UpperLeftCorner.X + u * UVRect.LowerRightCorner.X;
}

f32 CSpriteNode::mapV(f32 v) const
{
    return (1 - v) * UVRect.UpperLeftCorner.Y + v * UVRect.LowerRightCorner.Y;
}

void CSpriteNode::setVertexUV(int index, f32 u, f32 v)
{
    Vertices[index].TCoords.set(u, v);
}

void CSpriteNode::setTextureRegion(const STextureRegion& region)
{
    Region = region;
    InsetU = region.TexelWidth;
    InsetV = region.TexelHeight;
    setMaterialTexture(0, region.Texture);
    setUVRect(region.UV);
}

void CSpriteNode::setUVRect(const SUVRect& rect)
{
    UVRect = rect;
    setFrameCell(Column, Row, Columns, Rows, ColumnSpan, RowSpan);
}

void CSpriteNode::setFrameCell(f32 column, f32 row, f32 columns, f32 rows, f32 spanX, f32 spanY)
{
    Column = column;
    Row = row;
    Columns = atLeastOne(columns);   // a grid of 0 would give NaN coordinates
    Rows = atLeastOne(rows);
    ColumnSpan = spanX;
    RowSpan = spanY;
    const f32 uL = Column / Columns + InsetU;
    const f32 uR = (Column + ColumnSpan) / Columns - InsetU;
    const f32 vT = Row / Rows + InsetV;
    const f32 vB = (Row + RowSpan) / Rows - InsetV;
    setVertexUV(0, mapU(uR), mapV(vB));
    setVertexUV(1, mapU(uR), mapV(vT));
    setVertexUV(2, mapU(uL), mapV(vT));
    setVertexUV(3, mapU(uL), mapV(vB));
}

void CSpriteNode::setFrame(f32 column, f32 row, f32 columns, f32 rows)
{
    setFrameCell(column, row, columns, rows, ColumnSpan, RowSpan);
}

void CSpriteNode::setFrameColumn(f32 column)
{
    setFrame(column, Row, Columns, Rows);
}

void CSpriteNode::setFrameRow(f32 row)
{
    setFrame(Column, row, Columns, Rows);
}

void CSpriteNode::setFrameParts(f32 column, f32 row, f32 columns, f32 rows)
{
    setFrame(column < 0 ? Column : column, row < 0 ? Row : row, columns < 0 ? Columns : columns,
             rows < 0 ? Rows : rows);
}

void CSpriteNode::revealFrameX(f32 t)
{
    const f32 a = Column / Columns - InsetU;
    const f32 b = (Column + 1) / Columns + InsetU;
    const f32 u = mapU((1 - t) * a + t * b);
    Vertices[0].TCoords.X = u;
    Vertices[1].TCoords.X = u;
}

void CSpriteNode::revealFrameY(f32 t)
{
    const f32 a = (Row + 1) / Rows - InsetV;
    const f32 b = Row / Rows + InsetV;
    const f32 v = mapV((1 - t) * a + t * b);
    Vertices[1].TCoords.Y = v;
    Vertices[2].TCoords.Y = v;
}

void CSpriteNode::shiftUV(const core::vector2df& delta)
{
    for (video::S3DVertex& vertex : Vertices)
        vertex.TCoords += delta;
}

void CSpriteNode::tileTexture(f32 textureWidth, f32 textureHeight)
{
    const f32 u = textureWidth != 0 ? Size.Width / textureWidth : 1.0f;
    const f32 v = textureHeight != 0 ? Size.Height / textureHeight : 1.0f;
    setVertexUV(0, u - InsetU, v - InsetV);
    setVertexUV(1, u - InsetU, InsetV);
    setVertexUV(2, InsetU, InsetV);
    setVertexUV(3, InsetU, v - InsetV);
}

void CSpriteNode::getCellUVBox(f32& uL, f32& uR, f32& vT, f32& vB) const
{
    uL = mapU(Column / Columns);
    uR = mapU((Column + ColumnSpan) / Columns);
    vT = mapV(Row / Rows);
    vB = mapV((Row + RowSpan) / Rows);
}

// --- placement ---

void CSpriteNode::setAngle(f32 radians)
{
    Angle = radians;
    GeometryValid = false;
}

void CSpriteNode::setParticleGroup(const char* name)
{
    if (!name || !*name)
        return;
    releaseParticleGroupUse(ParticleGroup);   // one membership at a time
    ParticleGroup = name;
    addParticleGroupUse(name);
}

void CSpriteNode::stretchBetween(const core::vector3df& p1, const core::vector3df& p2, f32 thickness, bool centred,
                                 bool rotateOnly, f32 angleOffset)
{
    const core::vector3df position = centred ? (p1 + p2) * 0.5f : p1;
    const core::vector3df d = p2 - position;
    if (!rotateOnly) {
        setPosition(position);
        if (thickness >= 0.001f)
            setSize(core::dimension2df(2 * f32(d.getLength()), thickness));
    }
    setAngle(DirectionToRotation(d, angleOffset));
}

void CSpriteNode::placeBetween(const core::vector3df& p1, const core::vector3df& p2, f32 thickness, bool centred,
                               bool rotateOnly)
{
    stretchBetween(p1, p2, thickness, centred, rotateOnly, 0);
}

void CSpriteNode::pointAt(const core::vector3df& p1, const core::vector3df& p2, f32 angleOffset)
{
    stretchBetween(p1, p2, 0, false, true, angleOffset);
}

// --- drawing ---

// Once per sprite: sprites assume the camera does not turn.
void CSpriteNode::buildBasis(scene::ICameraSceneNode* camera)
{
    IsBasisBuilt = true;
    core::vector3df view = camera->getTarget() - camera->getAbsolutePosition();
    view.normalize();
    const core::vector3df up = camera->getUpVector();
    Horizontal = up.crossProduct(view);
    if (Horizontal.getLength() == 0)
        Horizontal.set(up.Y, up.X, up.Z);
    Horizontal.normalize();
    Vertical = Horizontal.crossProduct(view);
    Vertical.normalize();
    for (video::S3DVertex& vertex : Vertices)
        vertex.Normal = -view;
}

void CSpriteNode::buildCorners()
{
    const core::vector3df centre = getAbsolutePosition();
    const core::vector3df h = Horizontal * (0.5f * Size.Width);
    const core::vector3df v = Vertical * (0.5f * Size.Height);
    core::vector3df corners[4] = {h + v, h - v, -h - v, -h + v};
    for (int i = 0; i < 4; ++i) {
        if (std::fabs(Angle) > MinAngle)
            RotateVectorZ(corners[i], Angle);
        Vertices[i].Pos = centre + corners[i];
    }
    GeometryValid = true;
}

void CSpriteNode::drawDebugBox(video::IVideoDriver* driver)
{
    driver->setTransform(video::ETS_WORLD, AbsoluteTransformation);
    video::SMaterial plain;
    plain.Lighting = false;
    driver->setMaterial(plain);
    driver->draw3DBox(getBoundingBox(), video::SColor(0, 208, 195, 152));
    driver->setTransform(video::ETS_WORLD, World);
}

void CSpriteNode::render()
{
    const s32 alpha = getEffectiveAlpha();
    if (alpha == 0 || !SceneManager)
        return;
    scene::ICameraSceneNode* camera = SceneManager->getActiveCamera();
    video::IVideoDriver* driver = SceneManager->getVideoDriver();
    if (!camera || !driver)
        return;
    if (!IsBasisBuilt)
        buildBasis(camera);
    video::SColor colour = Tint;
    colour.setAlpha(u32(alpha));
    for (video::S3DVertex& vertex : Vertices)
        vertex.Color = colour;
    if (!GeometryValid)
        buildCorners();
    if (const int debug = GetEngineContext().isDebugMode()) {
        Material.Wireframe = (debug & DebugWireframe) != 0;
        if (isDebugDataVisible() || (debug & DebugDrawBoxes))
            drawDebugBox(driver);
    }
    getRenderer()->submitToBatch(&World, &Material, Vertices);
}
