// Creation shortcuts built on sprite creation: empty nodes, stretched
// sprites and frames of nine pieces.
#include "node_helpers_frames.h"

#include "module_enginebase.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <cmath>

using namespace irr;

namespace {

constexpr f32 Pi = 3.14159265f;
constexpr s32 PieceZ = 10, EdgeZ = -1, BackgroundZ = -10;
constexpr f32 CornerScale = 0.9f;     // of the border
constexpr f32 CornerInset = 0.25f;    // of the border
constexpr f32 TopScale = 0.9f * 2.5f;
constexpr f32 TopLift = 0.01f;

CSpriteNode* asSprite(CNodeBasement* node)
{
    return dynamic_cast<CSpriteNode*>(node);
}

void addCorner(CNodeBasement* root, const CString& prefix, f32 x, f32 y, f32 angle, f32 border)
{
    f32 scale = CornerScale * border;
    CNodeBasement* corner = addSprite(ResolveDataPath(prefix + "_corner.spr"), scale, scale, core::vector3df(x, y, 0),
                                      root, nullptr, SPRITE_SITE);
    if (!corner)
        return;
    corner->setZOrder(PieceZ);
    if (CSpriteNode* sprite = asSprite(corner)) {
        sprite->setFrame(0, 0, 1, 1);
        sprite->setAngle(angle);
    }
}

void addEdge(CNodeBasement* root, const CString& prefix, const core::vector3df& from, const core::vector3df& to,
             f32 border)
{
    CNodeBasement* edge = createStretchedSprite(prefix + "_edge.spr", from, to, border, 1.0f, root, true);
    if (!edge)
        return;
    edge->setZOrder(EdgeZ);
    if (CSpriteNode* sprite = asSprite(edge))
        sprite->tileTexture(border, border);   // the edge repeats along its length
}

void addPieces(CNodeBasement* root, const CString& prefix, f32 w, f32 h, f32 b)
{
    f32 left = -w / 2, right = w / 2, bottom = -h / 2, top = h / 2, inset = CornerInset * b;
    addCorner(root, prefix, left + inset, bottom + inset, Pi / 2, b);
    addCorner(root, prefix, right - inset, bottom + inset, Pi, b);
    addCorner(root, prefix, right - inset, top - inset, 1.5f * Pi, b);
    addCorner(root, prefix, left + inset, top - inset, 0, b);

    f32 topScale = TopScale * b;
    CNodeBasement* ornament = addSprite(ResolveDataPath(prefix + "_top.spr"), topScale, topScale,
                                        core::vector3df(0, top + TopLift, 0), root, nullptr, SPRITE_SITE);
    if (ornament) {
        ornament->setZOrder(PieceZ);
        if (CSpriteNode* sprite = asSprite(ornament))
            sprite->setFrame(0, 0, 1, 1);
    }

    addEdge(root, prefix, core::vector3df(left, bottom, 0), core::vector3df(right, bottom, 0), b);
    addEdge(root, prefix, core::vector3df(right, bottom, 0), core::vector3df(right, top, 0), b);
    addEdge(root, prefix, core::vector3df(right, top, 0), core::vector3df(left, top, 0), b);
    addEdge(root, prefix, core::vector3df(left, top, 0), core::vector3df(left, bottom, 0), b);
}

} // namespace

CNodeBasement* createEmptySpriteNode(scene::ISceneNode* parent, s32 id, const core::vector3df& position)
{
    CNodeBasement* node = addSprite("\\gui\\empty.png", 0, 0, position, parent, nullptr, SPRITE_SITE);
    if (!node)
        return nullptr;
    node->setID(id);
    node->setAlpha(0);
    node->setHideCount(1);
    return node;
}

CNodeBasement* createStretchedSprite(const char* name, const core::vector3df& from, const core::vector3df& to,
                                     f32 thickness, f32 alpha, scene::ISceneNode* parent, bool centred)
{
    CNodeBasement* node = addSprite(ResolveDataPath(name), 0, 0, from, parent, nullptr, SPRITE_SITE);
    if (!node)
        return nullptr;
    if (CSpriteNode* sprite = asSprite(node))
        sprite->stretchBetween(from, to, thickness, centred, false, 0);
    node->setAlpha(alpha);
    return node;
}

CNodeBasement* createFrameSprite(const core::vector3df& position, f32 width, f32 height, const CString& prefix,
                                 const char* background, f32 border, scene::ISceneNode* parent,
                                 CNodeBasement** backgroundOut)
{
    if (!parent)
        parent = *getRootNodeSlot();
    CheckMainThread();
    CNodeBasement* root = createEmptySpriteNode(parent, SharedSpriteId, core::vector3df(0, 0, 0));
    if (!root)
        return nullptr;
    root->setName((core::stringc(root->getName()) + " [fld]").c_str());
    root->setPosition(position);
    if (!prefix.IsEmpty())
        addPieces(root, prefix, width, height, border);
    if (background && *background) {
        CNodeBasement* fill = addSprite(ResolveDataPath(background), width, height, core::vector3df(0, 0, 0), root,
                                        nullptr, SPRITE_SITE);
        if (fill) {
            fill->setZOrder(BackgroundZ);
            if (CSpriteNode* sprite = asSprite(fill))
                sprite->tileTexture(border, border);
        }
        if (backgroundOut)
            *backgroundOut = fill;
    }
    return root;
}

CNodeBasement* createCanvasSprite(const core::vector3df& position, f32 width, f32 height, scene::ISceneNode* parent)
{
    return createFrameSprite(position, width, height, "gui\\canvas", "gui\\canvas_bg.png", 0.3f, parent, nullptr);
}
