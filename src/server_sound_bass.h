// The sound server: effects, looped effects, music and volumes, carried out
// through messages of the engine message queue.
#pragma once

#include "module_enginebase_queue.h"

class CEngineMessageQueue;

// Sound message codes (family bit 0x1000).
constexpr uint32_t SM_SET_VOLUMES = 0x1003;

class CSoundServer : public IEngineMessageHandler {
public:
    // The queue is borrowed; requests are posted to it.
    explicit CSoundServer(CEngineMessageQueue* queue);
    ~CSoundServer() override;
    CSoundServer(const CSoundServer&) = delete;
    CSoundServer& operator=(const CSoundServer&) = delete;

    // Starts sound when the Sound option is on.
    void init(int soundOption);
    // Stops sound; only the first call acts.
    void close();

    // Each given volume v becomes (v - margin) / (1 - 2 * margin); both then
    // snap to 1 above 0.91 and to 0 below 0.09; a volume message re-applies them.
    void setVolumes(float margin, const float* music, const float* effects);
    float& getMusicVolume() { return MusicVolume; }
    float& getEffectsVolume() { return EffectsVolume; }
    bool isAvailable() const { return Available != 0; }

    void update(uint32_t nowMs) override {}
    int handleMessage(SEngineMessage& message) override;

private:
    CEngineMessageQueue* Queue;   // borrowed: the engine's queue
    float MusicVolume = 0.0f;
    float EffectsVolume = 0.0f;
    int Available = 0;
    int Closed = 0;
};
