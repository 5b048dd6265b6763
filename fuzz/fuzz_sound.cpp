// Sound files through the sound layer, as the game hands them over: loaded
// whole as a sample (decoded at once) and opened as a stream, then played.
#include "audio_bass.h"
#include "temp_folder.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static CTempFolder* folder = [] {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr))
            std::abort();   // without a device every load fails before the check
        return new CTempFolder;   // kept to the process's end
    }();
    const std::string path = folder->file("fuzz.wav");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes), std::streamsize(size));
    }
    if (HSAMPLE sample = BASS_SampleLoad(0, path.c_str(), 0, 0, 1, 0)) {
        BASS_ChannelPlay(BASS_SampleGetChannel(sample, 0), 0);
        BASS_SampleFree(sample);
    }
    if (HSTREAM stream = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_AUTOFREE)) {
        BASS_ChannelPlay(stream, 0);
        BASS_ChannelStop(stream);   // frees it
    }
    return 0;
}
