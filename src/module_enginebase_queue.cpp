// The engine message queue.
#include "module_enginebase_queue.h"

#include "server_sound_bass.h"

#include "clock.h"

#include <cstdlib>

CEngineMessageQueue::CEngineMessageQueue(IEngineMessageHandler* sound, IEngineMessageHandler* renderer)
    : Sound(sound), Renderer(renderer)
{
}

CEngineMessageQueue::~CEngineMessageQueue()
{
    for (SEngineMessage* message : Messages) {
        // Requests that never ran still own their name copy.
        if ((message->flags == SM_PLAY_EFFECT || message->flags == SM_PLAY_LOOP) && message->arg1)
            std::free(reinterpret_cast<void*>(message->arg1));
        if (message->flags == EngineMessageScreenshot && message->arg2)
            std::free(reinterpret_cast<void*>(message->arg2));
        delete message;
    }
    Messages.clear();
}

void CEngineMessageQueue::postMessage(uint32_t flags, uintptr_t arg1, uintptr_t arg2, uint32_t dueTick)
{
    SEngineMessage* message = new SEngineMessage;
    message->flags = flags;
    message->arg1 = arg1;
    message->arg2 = arg2;
    message->dueTick = dueTick ? dueTick : platform::GetTickCount();
    Messages.push_back(message);
}

bool CEngineMessageQueue::dispatchMessages()
{
    uint32_t now = platform::GetTickCount();
    if (Sound)
        Sound->update(now);
    if (Messages.empty())
        return false;
    // Handlers may post; new entries land at the end and are visited in this
    // pass too, but cannot be due before a later reading of the tick count.
    for (auto it = Messages.begin(); it != Messages.end();) {
        SEngineMessage* message = *it;
        int done = 0;
        if (message->dueTick < now) {
            if ((message->flags & EngineMessageSound) && Sound)
                done = Sound->handleMessage(*message);
            if ((message->flags & EngineMessageRenderer) && Renderer)
                done = Renderer->handleMessage(*message);
        }
        if (done) {
            it = Messages.erase(it);
            delete message;
        } else {
            ++it;
        }
    }
    return true;
}

SEngineMessage* CEngineMessageQueue::findMessage(uint32_t flags)
{
    for (SEngineMessage* message : Messages)
        if (message->flags == flags)
            return message;
    return nullptr;
}
