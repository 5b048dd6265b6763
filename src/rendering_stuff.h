// What the draw pass works with: the engine node as the renderer sees it,
// render-list entries with their sort order, and the 2D quad batch.
#pragma once

#include "utils_str.h"

#include <CMeshBuffer.h>
#include <ISceneNode.h>
#include <S3DVertex.h>
#include <SMaterial.h>
#include <irrArray.h>
#include <matrix4.h>

#include <cstdint>

namespace irr { namespace video { class IVideoDriver; class ITexture; } }

// An engine scene node as the renderer knows it. The node classes above the
// renderer implement it, so the draw pass and the removal queue can reach
// them without knowing them.
class CRenderableNode : public irr::scene::ISceneNode {
public:
    using irr::scene::ISceneNode::ISceneNode;

    // Draw priority: the z-order summed over the engine ancestors.
    virtual irr::s32 getAbsoluteZ() const = 0;
    // Runs the removal hooks and detaches the node unless a hook keeps it;
    // returns whether it was detached.
    virtual bool onDestroy() = 0;
};

// Sort key of one coordinate: c * 1e8 cut toward zero; anything outside the
// 32-bit range, NaN included, gives INT32_MIN.
irr::s32 RenderSortKey(irr::f32 c);

// The order in which the engine took textures in: the texture cache numbers
// each texture when it first holds it, and one the cache never saw gets the
// next number the first time it is asked for. Among otherwise equal entries
// the render order follows it, so a scene draws alike on every run whatever
// addresses the allocator hands out. 0 for no texture.
irr::u32 TextureLoadSerial(const irr::video::ITexture* texture);
// A texture that goes: its address may come back as another texture.
void ForgetTextureLoadSerial(const irr::video::ITexture* texture);
// Every texture goes with its device.
void ForgetTextureLoadSerials();

// One registered node for one frame; the pointers are borrowed and valid
// until the frame's removals run.
struct SRenderEntry {
    CRenderableNode* Node = nullptr;
    irr::u32 TextureSerial = 0;                // of layer 0 of material 0; 0 without one
    irr::s32 MaterialType = 0;
    irr::s32 XYKey = 0;                        // key(Y) ^ key(X)
    irr::s32 ZKey = 0;
    irr::s32 Priority = 0;                     // the node's absolute z

    // Draw order: deeper first, then lower priority, material, the texture
    // taken in earlier, then greater XY key.
    bool operator<(const SRenderEntry& other) const;
};

// Fills an entry from the node's absolute position, material 0 and priority.
SRenderEntry MakeRenderEntry(CRenderableNode* node);

// This frame's drawing figures; the frame loop resets and reads them.
struct SBatchStats {
    int SwitchCount = 0;      // batch draws
    int PrimitiveCount = 0;   // vertices drawn
    CString DebugText;        // one line per batch draw
};

// Collects consecutive quads of one material and draws them with one call.
// Quads are four vertices in ring order; the two triangles are 0,2,1 and 0,3,2.
class SBatchState {
public:
    // 16-bit indices reach vertex 65535: 16383 quads keep every index in range.
    static constexpr irr::u32 QuadCapacity = 16383;

    SBatchState();
    SBatchState(const SBatchState&) = delete;
    SBatchState& operator=(const SBatchState&) = delete;

    // All three null flushes the frame's last run. The transform is taken
    // from the first submission after a final flush; later ones are ignored.
    int submit(irr::video::IVideoDriver* driver, const irr::core::matrix4* transform,
               const irr::video::SMaterial* material, const irr::video::S3DVertex* vertices, SBatchStats& stats);

    irr::u32 getQuadCount() const { return QuadCount; }
    irr::u32 getVertexHighWater() const { return VertexHighWater; }
    const irr::core::matrix4& getWorldTransform() const { return World; }

private:
    void flushBatch(irr::video::IVideoDriver* driver, bool final, SBatchStats& stats);
    void draw(irr::video::IVideoDriver* driver);
    void drawAs2DImages(irr::video::IVideoDriver* driver);
    void appendQuad(const irr::video::S3DVertex* vertices);
    void traceFlush(SBatchStats& stats) const;
    bool differsFromCurrent(const irr::video::SMaterial& material);

    bool MaterialChanged = true;
    // The caller's material as last compared, byte for byte: the same object
    // with the same bits in every field since then needs no field-by-field
    // comparison (glyph runs).
    const irr::video::SMaterial* LastCompared = nullptr;
    alignas(irr::video::SMaterial) unsigned char LastComparedBytes[sizeof(irr::video::SMaterial)] = {};
    bool TransformChanged = true;
    irr::video::SMaterial Material;
    irr::core::matrix4 World;
    irr::u32 QuadCount = 0;
    irr::scene::SMeshBuffer Buffer;
    irr::u32 VertexHighWater = 0;
    irr::u32 IndexHighWater = 0;
};
