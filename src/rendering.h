// The renderer: the per-frame draw pass, the frame limiter, queued removals
// and the renderer's engine messages (screenshots).
#pragma once

#include "module_enginebase_queue.h"
#include "rendering_material_custom.h"
#include "utils_str.h"

namespace irr { namespace video { class IImage; } }

class CRenderer : public IEngineMessageHandler {
public:
    CRenderer();
    ~CRenderer() override;
    CRenderer(const CRenderer&) = delete;
    CRenderer& operator=(const CRenderer&) = delete;

    CCustomMaterials& getMaterials() { return Materials; }

    // Animates every node, draws the scene and carries out the removals
    // queued during the frame. Between beginScene and endScene.
    void renderNodes();

    // Waits until periodMs have passed since frameStart (a tick count):
    // sleeps to a millisecond before, then yields. Off with the software renderer.
    void limitFrameRate(int periodMs, uint32_t frameStart);

    void processDeferredRemovals();
    void dropQueuedTextures();

    // Keeps a copy of the frame just drawn when a screenshot waits in the
    // queue; called before the buffers are swapped.
    void captureFrameIfRequested(CEngineMessageQueue& queue);

    // Renderer-family messages; every one counts as done.
    int onEngineMessage(SEngineMessage& message);
    int handleMessage(SEngineMessage& message) override { return onEngineMessage(message); }

    CString& getDebugText() { return DebugText; }
    int& getSwitchCount() { return SwitchCount; }
    int& getPrimitiveCount() { return PrimitiveCount; }
    uint32_t& getFrameCounter() { return FrameCounter; }

private:
    CCustomMaterials Materials;
    uint32_t FrameCounter = 0;   // frames begun
    CString DebugText;           // this frame's debug text
    int SwitchCount = 0;         // this frame's batch flushes
    int PrimitiveCount = 0;      // this frame's drawn primitives
    irr::video::IImage* CapturedFrame = nullptr;   // owned: the last frame kept for a screenshot
};
