// Sound files through the sound layer, as the game hands them over: decoded
// whole as a sample and opened as a stream, then played. The decoders are
// driven directly first, with their output capped, so that a long sound
// costs no more than a short one and the run reaches many inputs. The work
// an input causes is bounded by its size: a decoder that reads a file again
// and again stops the run.
//
// An input that ends in "JUNK" after a fill byte and a count n stands for
// what comes before them followed by n times 64 KB of that byte: files of
// megabytes, which mutations of the small seeds never reach.
#include "audio_bass.h"
#include "audio_decode.h"

#include <ogg/ogg.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

// About a second of CD sound: enough for every header and many frames.
constexpr size_t MaxValues = size_t(1) << 17;
constexpr size_t JunkUnit = size_t(64) << 10;
// The input is read whole a few times (checked, decoded, loaded, opened
// and rewound) and at most two pieces of MaxValues are made, besides the
// layer's own bound on a sample that is refused.
uint64_t maxWork(size_t size)
{
    return uint64_t(size) * 16 + (uint64_t(8) << 20);
}

SoundBytes expandJunk(const uint8_t* bytes, size_t size)
{
    if (size < 6 || std::memcmp(bytes + size - 4, "JUNK", 4) != 0)
        return std::make_shared<const std::vector<uint8_t>>(bytes, bytes + size);
    auto data = std::make_shared<std::vector<uint8_t>>(bytes, bytes + size - 6);
    data->resize(data->size() + JunkUnit * bytes[size - 5], bytes[size - 6]);
    return data;
}

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
        ogg_page page = {data + pos, long(header), data + pos + header, long(body)};
        ogg_page_checksum_set(&page);
        pos += header + body;
    }
}

void loadAndPlay(const SoundBytes& data)
{
    std::unique_ptr<CSoundDecoder> decoder = OpenSoundDecoder(data);
    if (!decoder)
        return;   // the layer refuses it the same way
    std::vector<int16_t> values;
    const bool isShort = DecodeWholeSound(*decoder, MaxValues, values);
    if (decoder->rewind()) {
        std::vector<int16_t> again(size_t(decoder->channels) * 64);
        decoder->read(again.data(), 64);
    }
    // The layer's own paths, for sounds short enough to decode whole here.
    if (isShort) {
        if (HSAMPLE sample = BASS_SampleLoad(1, data->data(), 0, uint32_t(data->size()), 1, 0)) {
            BASS_ChannelPlay(BASS_SampleGetChannel(sample, 0), 0);
            BASS_SampleFree(sample);
        }
    }
    if (HSTREAM stream = BASS_StreamCreateFile(1, data->data(), 0, data->size(), BASS_STREAM_AUTOFREE)) {
        BASS_ChannelPlay(stream, 0);
        BASS_ChannelStop(stream);   // frees it
    }
}

} // namespace

// Most mutations get their pages' checksums repaired; one in eight keeps
// them broken, for the readers' own checks. One in 1024 gets up to a
// megabyte of junk after it.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 8 != 0)
        repairOggChecksums(data, size);
    if (seed % 1024 == 1 && size > 0 && size + 6 <= maxSize) {
        data[size] = data[(seed >> 8) % size];
        data[size + 1] = uint8_t(1 + (seed >> 16) % 16);
        std::memcpy(data + size + 2, "JUNK", 4);
        size += 6;
    }
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
    const SoundBytes data = expandJunk(bytes, size);
    const uint64_t workBefore = SoundWorkDone();
    loadAndPlay(data);
    const uint64_t work = SoundWorkDone() - workBefore;
    if (work > maxWork(data->size())) {
        std::fprintf(stderr, "%llu units of work for a sound of %zu bytes\n", (unsigned long long)work, data->size());
        std::abort();
    }
    return 0;
}
