// The sound library as the sound server sees it: the calls it makes, behind
// an interface so that tests can record them; the default forwards to the
// audio layer.
#pragma once

#include <cstdint>

class ISoundLibrary {
public:
    virtual ~ISoundLibrary() = default;

    // Same arguments, results and error codes as the audio layer's BASS_ calls.
    virtual uint32_t GetVersion() = 0;
    virtual int ErrorGetCode() = 0;
    // The audio layer's SoundErrorDetail: which bound refused the file the
    // last call failed on, "" when none did.
    virtual const char* ErrorGetDetail() = 0;
    virtual int Init(int device, uint32_t freq, uint32_t flags, void* win, const void* clsid) = 0;
    virtual int Free() = 0;
    virtual uint32_t SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length,
                                uint32_t max, uint32_t flags) = 0;
    virtual int SampleFree(uint32_t sample) = 0;
    virtual uint32_t SampleGetChannel(uint32_t sample, int onlynew) = 0;
    virtual uint32_t StreamCreateFile(int mem, const void* file, uint64_t offset, uint64_t length,
                                      uint32_t flags) = 0;
    virtual int ChannelSetFlags(uint32_t handle, uint32_t flags) = 0;
    virtual int ChannelPlay(uint32_t handle, int restart) = 0;
    virtual int ChannelStop(uint32_t handle) = 0;
    virtual int ChannelSetAttributes(uint32_t handle, int freq, int volume, int pan) = 0;
    virtual int ChannelGetAttributes(uint32_t handle, uint32_t* freq, uint32_t* volume, int* pan) = 0;
};

// The process's forwarder to the audio layer (platform/audio_bass.h).
ISoundLibrary& GetBassSoundLibrary();

// The library a sound server takes when it starts: the installed one, else
// the forwarder.
ISoundLibrary& GetSoundLibrary();

// Installs a library (borrowed; it must outlive its use, tests); null goes
// back to the forwarder. Returns the library installed before (null for the
// forwarder).
ISoundLibrary* SetSoundLibrary(ISoundLibrary* library);
