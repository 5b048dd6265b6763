// The forwarder from the sound server's library interface to the audio layer.
#include "server_sound_bass_library.h"

#include "audio_bass.h"

namespace {

class CBassSoundLibrary : public ISoundLibrary {
public:
    uint32_t GetVersion() override { return BASS_GetVersion(); }
    int ErrorGetCode() override { return BASS_ErrorGetCode(); }
    const char* ErrorGetDetail() override { return SoundErrorDetail(); }
    int Init(int device, uint32_t freq, uint32_t flags, void* win, const void* clsid) override
    {
        return BASS_Init(device, freq, flags, win, clsid);
    }
    int Free() override { return BASS_Free(); }
    uint32_t SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length, uint32_t max,
                        uint32_t flags) override
    {
        return BASS_SampleLoad(mem, file, offset, length, max, flags);
    }
    int SampleFree(uint32_t sample) override { return BASS_SampleFree(sample); }
    uint32_t SampleGetChannel(uint32_t sample, int onlynew) override
    {
        return BASS_SampleGetChannel(sample, onlynew);
    }
    uint32_t StreamCreateFile(int mem, const void* file, uint64_t offset, uint64_t length,
                              uint32_t flags) override
    {
        return BASS_StreamCreateFile(mem, file, offset, length, flags);
    }
    int ChannelSetFlags(uint32_t handle, uint32_t flags) override { return BASS_ChannelSetFlags(handle, flags); }
    int ChannelPlay(uint32_t handle, int restart) override { return BASS_ChannelPlay(handle, restart); }
    int ChannelStop(uint32_t handle) override { return BASS_ChannelStop(handle); }
    int ChannelSetAttributes(uint32_t handle, int freq, int volume, int pan) override
    {
        return BASS_ChannelSetAttributes(handle, freq, volume, pan);
    }
    int ChannelGetAttributes(uint32_t handle, uint32_t* freq, uint32_t* volume, int* pan) override
    {
        return BASS_ChannelGetAttributes(handle, freq, volume, pan);
    }
};

ISoundLibrary* InstalledLibrary = nullptr;

} // namespace

ISoundLibrary& GetBassSoundLibrary()
{
    static CBassSoundLibrary library;
    return library;
}

ISoundLibrary& GetSoundLibrary()
{
    return InstalledLibrary ? *InstalledLibrary : GetBassSoundLibrary();
}

ISoundLibrary* SetSoundLibrary(ISoundLibrary* library)
{
    ISoundLibrary* previous = InstalledLibrary;
    InstalledLibrary = library;
    return previous;
}
