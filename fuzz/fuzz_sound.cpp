// Sound files through the sound layer, as the game hands them over: loaded
// whole as a sample (decoded at once) and opened as a stream, then played.
#include "audio_bass.h"
#include "temp_folder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

// The Ogg library skips a page whose checksum fails, and nearly every
// mutation of a page breaks it: without a repair the mutated headers and
// packets would never reach the decoder.
void repairOggChecksums(uint8_t* data, size_t size)
{
    for (size_t pos = 0; pos + 27 <= size;) {
        if (std::memcmp(data + pos, "OggS", 4) != 0) {
            ++pos;
            continue;
        }
        const size_t header = 27 + size_t(data[pos + 26]);
        size_t body = 0;
        for (size_t i = pos + 27; i < pos + header && i < size; ++i)
            body += data[i];
        if (pos + header + body > size)
            return;   // cut short: left as it is
        std::memset(data + pos + 22, 0, 4);
        const uint32_t crc = OggPageChecksum(data + pos, header + body);
        for (int i = 0; i < 4; ++i)
            data[pos + 22 + i] = uint8_t(crc >> (8 * i));
        pos += header + body;
    }
}

} // namespace

// Most mutations get their pages' checksums repaired; one in eight keeps
// them broken, for the readers' own checks.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 8 != 0)
        repairOggChecksums(data, size);
    return size;
}

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
