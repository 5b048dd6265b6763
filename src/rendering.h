// The renderer: render lists filled while the scene registers, their sort and
// draw, the 2D batch, removals queued during the frame, the frame limiter and
// the renderer's engine messages (screenshots).
#pragma once

#include "module_enginebase_queue.h"
#include "rendering_material_custom.h"
#include "rendering_stuff.h"
#include "utils_str.h"

#include <irrArray.h>

namespace irr {
namespace video { class IImage; class ITexture; class IVideoDriver; }
namespace scene { class ISceneNodeAnimator; }
}

class CRenderer : public IEngineMessageHandler {
public:
    // Lists of registered nodes, drawn in this order.
    enum { ListDefault, ListLayer5, ListLayer6, ListLayer7, ListCount };

    CRenderer();
    ~CRenderer() override;
    CRenderer(const CRenderer&) = delete;
    CRenderer& operator=(const CRenderer&) = delete;

    CCustomMaterials& getMaterials() { return Materials; }

    // From a node's OnRegisterSceneNode: layers 5, 6 and 7 have their own
    // lists, every other layer the default one. Ignored outside renderNodes.
    void registerEngineNodeForRendering(CRenderableNode* node, irr::s32 layer);

    // Animates every node, draws the registered ones in sort order, flushes
    // the batch and carries out the removals queued during the frame.
    // Between beginScene and endScene.
    void renderNodes();

    // Hands a quad to the 2D batch; all three null flushes it. Returns 0.
    int submitToBatch(const irr::core::matrix4* transform, const irr::video::SMaterial* material,
                      const irr::video::S3DVertex* vertices);

    // Waits until periodMs have passed since frameStart (a tick count):
    // sleeps to a millisecond before, then yields. Off with the software renderer.
    void limitFrameRate(int periodMs, uint32_t frameStart);

    // Takes over one grab of the node. A null animator removes the node, else
    // that animator from the node; carried out after the frame's draw.
    void queueRemoval(CRenderableNode* node, irr::scene::ISceneNodeAnimator* animator);
    int getQueuedRemovalCount() const { return int(QueuedNodes.size()); }
    void processDeferredRemovals();
    void dropQueuedTextures();

    // Keeps a copy of the frame just drawn when a screenshot waits in the
    // queue; called before the buffers are swapped.
    void captureFrameIfRequested(CEngineMessageQueue& queue);
    irr::video::IImage* captureBackBuffer(irr::video::IVideoDriver* driver);

    // Renderer-family messages; every one counts as done.
    int onEngineMessage(SEngineMessage& message);
    int handleMessage(SEngineMessage& message) override { return onEngineMessage(message); }
    // Writes the driver's current frame; 1 even when writing fails (logged).
    int saveScreenshot(const char* fileName);

    CString& getDebugText() { return Stats.DebugText; }
    int& getSwitchCount() { return Stats.SwitchCount; }
    int& getPrimitiveCount() { return Stats.PrimitiveCount; }
    uint32_t& getFrameCounter() { return FrameCounter; }
    uint32_t getFrameDepth() const { return FrameDepth; }

private:
    void drawList(irr::core::array<SRenderEntry>& list);
    bool takeQueuedRemovals();

    CCustomMaterials Materials;
    SBatchState Batch;
    SBatchStats Stats;             // this frame's batch draws, vertices and debug text
    uint32_t FrameCounter = 0;     // frames begun
    uint32_t FrameDepth = 0;       // non-zero while renderNodes runs: registration is open
    irr::core::array<SRenderEntry> Lists[ListCount];          // kept allocated between frames
    irr::core::array<irr::video::ITexture*> QueuedTextures;   // removed from the driver after the frame
    // Parallel queues: entry i of both is one request; each node holds one grab.
    irr::core::array<CRenderableNode*> QueuedNodes;
    irr::core::array<irr::scene::ISceneNodeAnimator*> QueuedAnimators;
    // What is being carried out; swapped with the queues so that removals
    // queued by destroy hooks wait for the next round.
    irr::core::array<CRenderableNode*> RemovingNodes;
    irr::core::array<irr::scene::ISceneNodeAnimator*> RemovingAnimators;
    irr::video::IImage* CapturedFrame = nullptr;   // owned: the last frame kept for a screenshot
};
