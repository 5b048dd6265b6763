// The sound server.
#include "server_sound_bass.h"

namespace {

float snapVolume(float v)
{
    if (v > 0.91f)
        return 1.0f;
    if (v < 0.09f)
        return 0.0f;
    return v;
}

} // namespace

CSoundServer::CSoundServer(CEngineMessageQueue* queue) : Queue(queue)
{
}

CSoundServer::~CSoundServer()
{
    close();
}

void CSoundServer::init(int soundOption)
{
    Available = (soundOption != 0 && !Closed) ? 1 : 0;
}

void CSoundServer::close()
{
    if (Closed)
        return;
    Closed = 1;
    Available = 0;
}

void CSoundServer::setVolumes(float margin, const float* music, const float* effects)
{
    float span = 1.0f - 2.0f * margin;
    if (music)
        MusicVolume = span != 0.0f ? (*music - margin) / span : 0.0f;
    if (effects)
        EffectsVolume = span != 0.0f ? (*effects - margin) / span : 0.0f;
    MusicVolume = snapVolume(MusicVolume);
    EffectsVolume = snapVolume(EffectsVolume);
    if (Available && Queue)
        Queue->postMessage(SM_SET_VOLUMES, 0, 0, 0);
}

int CSoundServer::handleMessage(SEngineMessage& message)
{
    // Until the audio device is driven from here, every request counts as done.
    return 1;
}
