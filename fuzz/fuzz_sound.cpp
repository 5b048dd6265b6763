// Sound files through the sound layer, as the game hands them over: decoded
// whole as a sample and opened as a stream, then played. The decoders are
// driven directly first, with their output capped, so that a long sound
// costs no more than a short one and the run reaches many inputs.
#include "audio_bass.h"
#include "audio_decode.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

// About a second of CD sound: enough for every header and many frames.
constexpr size_t MaxValues = size_t(1) << 17;

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
    static const bool isOpen = [] {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!BASS_Init(-1, 44100, 0, nullptr, nullptr))
            std::abort();   // without a device every load fails before decoding
        return true;
    }();
    (void)isOpen;
    if (size == 0)
        return 0;
    auto data = std::make_shared<const std::vector<uint8_t>>(bytes, bytes + size);
    std::unique_ptr<CSoundDecoder> decoder = OpenSoundDecoder(data);
    if (!decoder)
        return 0;   // the layer refuses it the same way
    std::vector<int16_t> values;
    const bool isShort = DecodeWholeSound(*decoder, MaxValues, values);
    if (decoder->rewind()) {
        std::vector<int16_t> again(size_t(decoder->channels) * 64);
        decoder->read(again.data(), 64);
    }
    // The layer's own paths, for sounds short enough to decode whole here.
    if (isShort) {
        if (HSAMPLE sample = BASS_SampleLoad(1, bytes, 0, uint32_t(size), 1, 0)) {
            BASS_ChannelPlay(BASS_SampleGetChannel(sample, 0), 0);
            BASS_SampleFree(sample);
        }
    }
    if (HSTREAM stream = BASS_StreamCreateFile(1, bytes, 0, size, BASS_STREAM_AUTOFREE)) {
        BASS_ChannelPlay(stream, 0);
        BASS_ChannelStop(stream);   // frees it
    }
    return 0;
}
