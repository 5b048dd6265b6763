// The renderer.
#include "rendering.h"

#include "clock.h"
#include "module_enginebase.h"
#include "utils_debug.h"

#include <IImage.h>
#include <ISceneManager.h>
#include <IVideoDriver.h>

#include <cstdlib>

CRenderer::CRenderer() = default;

CRenderer::~CRenderer()
{
    if (CapturedFrame)
        CapturedFrame->drop();
}

void CRenderer::renderNodes()
{
    irr::scene::ISceneManager* smgr = getSceneManager();
    if (smgr)
        smgr->drawAll();   // animates, draws and empties the scene's deletion queue
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

void CRenderer::processDeferredRemovals()
{
    // Nothing of the renderer's own is queued yet; the scene empties its
    // deletion queue at the end of every draw.
}

void CRenderer::dropQueuedTextures()
{
}

void CRenderer::captureFrameIfRequested(CEngineMessageQueue& queue)
{
    irr::video::IVideoDriver* driver = getDriver();
    if (!driver || !queue.findMessage(EngineMessageScreenshot))
        return;
    if (CapturedFrame)
        CapturedFrame->drop();
    CapturedFrame = driver->createScreenShot();   // null on the null driver
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
    if (!driver->writeImageToFile(CapturedFrame, (const char*)path))
        DebugLog(Format("Screenshot '%s' could not be written", (const char*)path));
    CapturedFrame->drop();
    CapturedFrame = nullptr;
    return 1;
}
