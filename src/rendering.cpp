// The renderer.
#include "rendering.h"

#include "clock.h"
#include "framebuffer_gl.h"
#include "module_enginebase.h"
#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_fs_bridge.h"

#include <IImage.h>
#include <ISceneManager.h>
#include <ISceneNodeAnimator.h>
#include <IVideoDriver.h>

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

namespace {

constexpr irr::u32 InitialListCapacity = 1024;
// Destroy hooks may queue further removals; each round carries out what the
// one before queued. A chain this long is a script deleting in a loop.
constexpr int MaxRemovalRounds = 1000;

} // namespace

CRenderer::CRenderer()
{
    for (auto& list : Lists)
        list.reallocate(InitialListCapacity);
}

CRenderer::~CRenderer()
{
    // Queued removals are carried out by the exit sequence: a node dropped
    // here would die after its engine.
    if (CapturedFrame)
        CapturedFrame->drop();
}

void CRenderer::registerEngineNodeForRendering(CRenderableNode* node, irr::s32 layer)
{
    if (FrameDepth == 0 || !node || !node->isVisible())
        return;
    const int list = layer == 5 ? ListLayer5 : layer == 6 ? ListLayer6 : layer == 7 ? ListLayer7 : ListDefault;
    Lists[list].push_back(MakeRenderEntry(node));
}

void CRenderer::renderNodes()
{
    ++FrameDepth;
    irr::scene::ISceneManager* smgr = getSceneManager();
    if (smgr)
        smgr->drawAll();   // animates the tree; engine nodes register with us
    {
        ENGINE_PROFILE("RENDER SORTING");
        // Entries equal in every key may come out in any order, as with any unstable sort.
        for (auto& list : Lists)
            std::sort(list.pointer(), list.pointer() + list.size());
    }
    {
        ENGINE_PROFILE("RENDER NODES");
        drawList(Lists[ListDefault]);
    }
    {
        ENGINE_PROFILE("RENDER LAYER5");
        drawList(Lists[ListLayer5]);
    }
    {
        ENGINE_PROFILE("RENDER LAYER6");
        drawList(Lists[ListLayer6]);
    }
    drawList(Lists[ListLayer7]);
    submitToBatch(nullptr, nullptr, nullptr);
    for (auto& list : Lists)
        list.set_used(0);
    processDeferredRemovals();
    --FrameDepth;
}

void CRenderer::drawList(irr::core::array<SRenderEntry>& list)
{
    for (irr::u32 i = 0; i < list.size(); ++i)
        list[i].Node->render();
}

int CRenderer::submitToBatch(const irr::core::matrix4* transform, const irr::video::SMaterial* material,
                             const irr::video::S3DVertex* vertices)
{
    return Batch.submit(getDriver(), transform, material, vertices, Stats);
}

void CRenderer::limitFrameRate(int periodMs, uint32_t frameStart)
{
    if (isSoftwareRenderer() || periodMs <= 0)
        return;
    for (;;) {
        uint32_t elapsed = platform::GetTickCount() - frameStart;
        if (elapsed >= uint32_t(periodMs))
            return;
        uint32_t remaining = uint32_t(periodMs) - elapsed;
        // Sleeping the whole rest can overshoot by a scheduler slice; the last
        // millisecond is spent yielding.
        platform::Sleep(remaining > 1 ? remaining - 1 : 0);
    }
}

// --- queued removals ---

void CRenderer::queueRemoval(CRenderableNode* node, irr::scene::ISceneNodeAnimator* animator)
{
    QueuedNodes.push_back(node);
    QueuedAnimators.push_back(animator);
}

bool CRenderer::takeQueuedRemovals()
{
    if (QueuedNodes.empty())
        return false;
    RemovingNodes.set_used(0);
    RemovingAnimators.set_used(0);
    RemovingNodes.swap(QueuedNodes);
    RemovingAnimators.swap(QueuedAnimators);
    return true;
}

void CRenderer::processDeferredRemovals()
{
    CheckMainThread();
    std::unordered_set<CRenderableNode*> destroyed;
    for (int round = 0; round < MaxRemovalRounds && takeQueuedRemovals(); ++round) {
        destroyed.clear();
        for (irr::u32 i = 0; i < RemovingNodes.size(); ++i) {
            CRenderableNode* node = RemovingNodes[i];
            if (!node) {
                AssertFailed(__FILE__, __LINE__, "Node WTF???");
                continue;
            }
            // A node queued twice runs its hooks once; one whose parent went
            // first in this frame still runs them.
            if (RemovingAnimators[i])
                node->removeAnimator(RemovingAnimators[i]);
            else if (destroyed.insert(node).second)
                node->onDestroy();
            node->drop();
        }
    }
    if (!QueuedNodes.empty())
        DebugLog(Format("Removals still queued after %i rounds: %i", MaxRemovalRounds, int(QueuedNodes.size())));
    RemovingNodes.set_used(0);
    RemovingAnimators.set_used(0);
    dropQueuedTextures();
}

void CRenderer::dropQueuedTextures()
{
    CheckMainThread();
    irr::video::IVideoDriver* driver = getDriver();
    for (irr::u32 i = 0; i < QueuedTextures.size(); ++i) {
        ForgetTextureLoadSerial(QueuedTextures[i]);
        if (driver)
            driver->removeTexture(QueuedTextures[i]);
    }
    QueuedTextures.set_used(0);
}

// --- screenshots ---

void CRenderer::captureFrameIfRequested(CEngineMessageQueue& queue)
{
    irr::video::IVideoDriver* driver = getDriver();
    if (!driver || !queue.findMessage(EngineMessageScreenshot))
        return;
    if (CapturedFrame)
        CapturedFrame->drop();
    // Irrlicht's OpenGL screenshot reads the front buffer, which holds the
    // previous frame or nothing at all; the back buffer holds this one.
    CapturedFrame = driver->getDriverType() == irr::video::EDT_OPENGL ? captureBackBuffer(driver)
                                                                        : driver->createScreenShot();
}

// +1: the caller drops it; null when the buffer cannot be read.
irr::video::IImage* CRenderer::captureBackBuffer(irr::video::IVideoDriver* driver)
{
    const irr::core::dimension2du size = driver->getScreenSize();
    std::vector<uint8_t> rgba;
    if (!platform::ReadBackBufferRGBA(int(size.Width), int(size.Height), rgba))
        return nullptr;
    irr::video::IImage* image = driver->createImage(irr::video::ECF_A8R8G8B8, size);
    if (!image)
        return nullptr;
    auto* out = static_cast<uint32_t*>(image->lock());
    for (size_t i = 0; i < size_t(size.Width) * size.Height; ++i) {
        const uint8_t* p = &rgba[i * 4];
        out[i] = irr::video::SColor(255, p[0], p[1], p[2]).color;
    }
    image->unlock();
    return image;
}

int CRenderer::onEngineMessage(SEngineMessage& message)
{
    if (message.flags != EngineMessageScreenshot)
        return 1;
    char* name = reinterpret_cast<char*>(message.arg2);
    message.arg2 = 0;
    CString path = name ? name : "";
    std::free(name);
    irr::video::IVideoDriver* driver = getDriver();
    if (!CapturedFrame || !driver || path.IsEmpty()) {
        DebugLog(Format("Screenshot '%s' not saved: no frame was captured", (const char*)path));
        return 1;
    }
    if (!driver->writeImageToFile(CapturedFrame, (const char*)ToNativePath(path)))
        DebugLog(Format("Screenshot '%s' could not be written", (const char*)path));
    CapturedFrame->drop();
    CapturedFrame = nullptr;
    return 1;
}

int CRenderer::saveScreenshot(const char* fileName)
{
    irr::video::IVideoDriver* driver = getDriver();
    irr::video::IImage* image = driver ? driver->createScreenShot() : nullptr;
    if (!image) {
        DebugLog(Format("Screenshot '%s' not saved: the driver gave no image", fileName ? fileName : ""));
        return 1;
    }
    if (!fileName || !driver->writeImageToFile(image, (const char*)ToNativePath(fileName)))
        DebugLog(Format("Screenshot '%s' could not be written", fileName ? fileName : ""));
    image->drop();
    return 1;
}
