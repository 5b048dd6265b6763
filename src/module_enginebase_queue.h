// The engine message queue: work that other parts ask for now and that is
// carried out once per frame, after the scene has been drawn and ended.
#pragma once

#include <cstdint>

#include <irrList.h>

// Family bits of a message code; they choose the receiver.
constexpr uint32_t EngineMessageSound = 0x1000;
constexpr uint32_t EngineMessageRenderer = 0x4000;
constexpr uint32_t EngineMessageScreenshot = 0x4001;   // arg2: malloc'd file name, freed by the renderer

// One queued request. The arguments may carry heap texts, so they are
// pointer-wide.
struct SEngineMessage {
    virtual ~SEngineMessage() = default;

    uint32_t flags = 0;     // message code with its family bits
    uintptr_t arg1 = 0;
    uintptr_t arg2 = 0;
    uint32_t dueTick = 0;   // ms tick; runs only once the tick count is past it
    int32_t step = 0;       // the handler's own counter across repeated runs
};

// A receiver of one message family: the sound server or the renderer.
class IEngineMessageHandler {
public:
    virtual ~IEngineMessageHandler() = default;
    virtual void update(uint32_t nowMs) {}
    // Non-zero: the message is done and leaves the queue; 0: it stays where it is.
    virtual int handleMessage(SEngineMessage& message) = 0;
};

class CEngineMessageQueue {
public:
    // Both receivers are borrowed and may still be under construction.
    CEngineMessageQueue(IEngineMessageHandler* sound, IEngineMessageHandler* renderer);
    ~CEngineMessageQueue();   // frees what was never handled
    CEngineMessageQueue(const CEngineMessageQueue&) = delete;
    CEngineMessageQueue& operator=(const CEngineMessageQueue&) = delete;

    // Appends a message; a due tick of 0 means the current tick count.
    void postMessage(uint32_t flags, uintptr_t arg1, uintptr_t arg2, uint32_t dueTick);

    // One pass over the queue; false when it was empty.
    bool dispatchMessages();

    int getCount() const { return int(Messages.size()); }
    // The first waiting message with this code, or null (borrowed).
    SEngineMessage* findMessage(uint32_t flags);

private:
    IEngineMessageHandler* Sound;      // borrowed
    IEngineMessageHandler* Renderer;   // borrowed
    irr::core::list<SEngineMessage*> Messages;   // owned, in posting order
};
