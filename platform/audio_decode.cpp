// The decoders behind the audio layer: SDL's WAV reader, a reader of plain
// AIFF, and libFLAC, libvorbisfile, libopusfile and libmpg123 reading from
// memory. What a file claims about its length is never trusted: output is
// counted as it is made.
#include "audio_decode.h"

#include "byte_order.h"

#include <FLAC/stream_decoder.h>
#include <SDL.h>
#include <mpg123.h>
#include <opusfile.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace {

std::atomic<uint64_t> workDone{0};

bool isSaneLayout(long rate, long channels)
{
    return rate >= MinSoundRate && rate <= MaxSoundRate && channels >= 1 && channels <= MaxSoundChannels;
}

int16_t fromFloat(float v)
{
    if (!(v > -1.0f)) return -32768;   // NaN too
    if (v >= 1.0f) return 32767;
    return int16_t(std::lround(v * 32767.0f));
}

// A cursor over the file's bytes, for the libraries that read through
// callbacks. Every byte handed over is work: a library that reads the file
// again and again is bounded like one that decodes too much.
struct MemoryReader {
    SoundBytes bytes;
    size_t pos = 0;

    size_t read(void* out, size_t n)
    {
        n = std::min(n, bytes->size() - pos);
        if (n) std::memcpy(out, bytes->data() + pos, n);
        pos += n;
        AddSoundWork(n);
        return n;
    }
    bool seek(int64_t offset, int whence)
    {
        const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(pos) : int64_t(bytes->size());
        if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return false;
        const int64_t target = base + offset;
        if (target < 0 || target > int64_t(bytes->size())) return false;
        pos = size_t(target);
        return true;
    }
};

// --- Whole PCM: WAV and AIFF ---

// AIFF's 24-bit samples, which SDL has no format for: marked as SDL marks
// its own (signed, big-endian, 24 bits).
constexpr SDL_AudioFormat AudioS24Msb = SDL_AUDIO_MASK_SIGNED | SDL_AUDIO_MASK_ENDIAN | 24;

// Bytes of one sample of a format this layer reads; 0 for any other.
size_t sampleBytes(SDL_AudioFormat format)
{
    switch (format) {
    case AUDIO_U8: case AUDIO_S8: return 1;
    case AUDIO_S16LSB: case AUDIO_S16MSB: return 2;
    case AudioS24Msb: return 3;
    case AUDIO_S32LSB: case AUDIO_S32MSB: case AUDIO_F32LSB: case AUDIO_F32MSB: return 4;
    default: return 0;
    }
}

int16_t sampleAs16(SDL_AudioFormat format, const uint8_t* p)
{
    switch (format) {
    case AUDIO_U8: return int16_t((int(p[0]) - 128) * 256);
    case AUDIO_S8: return int16_t(int8_t(p[0]) * 256);
    case AUDIO_S16LSB: return int16_t(ReadLe16(p));
    case AUDIO_S16MSB: return int16_t(ReadBe16(p));
    case AudioS24Msb: return int16_t(ReadBe16(p));   // the top two bytes
    case AUDIO_S32LSB: return int16_t(int32_t(ReadLe32(p)) >> 16);
    case AUDIO_S32MSB: return int16_t(int32_t(ReadBe32(p)) >> 16);
    default: {
        const uint32_t bits = format == AUDIO_F32LSB ? ReadLe32(p) : ReadBe32(p);
        float v;
        std::memcpy(&v, &bits, 4);
        return fromFloat(v);
    }
    }
}

// The samples stay as the file, or SDL's reader, holds them and are made
// 16-bit as they are read: a long sound is held once, not again as values.
class CPcmDecoder : public CSoundDecoder {
public:
    CPcmDecoder(std::shared_ptr<const void> owner, const uint8_t* data, size_t bytes, SDL_AudioFormat format,
                int rate, int channels)
        : owner(std::move(owner)), data(data), format(format), frameBytes(sampleBytes(format) * size_t(channels))
    {
        this->rate = rate;
        this->channels = channels;
        knownFrames = frameBytes ? bytes / frameBytes : 0;
    }

    long read(int16_t* out, long frames) override
    {
        const size_t n = std::min(size_t(frames), knownFrames - pos);
        const size_t width = sampleBytes(format);
        const uint8_t* p = data + pos * frameBytes;
        for (size_t i = 0; i < n * size_t(channels); ++i, p += width)
            out[i] = sampleAs16(format, p);
        pos += n;
        return long(n);
    }
    bool rewind() override
    {
        pos = 0;
        return true;
    }

private:
    std::shared_ptr<const void> owner;   // what data points into
    const uint8_t* data;
    SDL_AudioFormat format;
    size_t frameBytes;
    size_t pos = 0;
};

std::unique_ptr<CSoundDecoder> makePcm(std::shared_ptr<const void> owner, const uint8_t* data, size_t bytes,
                                       SDL_AudioFormat format, long rate, long channels)
{
    if (sampleBytes(format) == 0 || !isSaneLayout(rate, channels)) return nullptr;
    return std::make_unique<CPcmDecoder>(std::move(owner), data, bytes, format, int(rate), int(channels));
}

// The file as SDL's reader sees it. SDL allocates what a chunk claims
// before it reads it: a length that claims more than the file holds reads
// as what it holds, so a WAV cut short plays what is there. The file is
// not copied; the lengths are put right as they are read.
class CWaveSource {
public:
    explicit CWaveSource(const SoundBytes& bytes)
    {
        source.bytes = bytes;
        const size_t size = bytes->size();
        patch(4, uint32_t(size - 8));
        for (size_t pos = 12; pos + 8 <= size;) {
            const uint32_t length = ReadLe32(bytes->data() + pos + 4);
            if (length > size - pos - 8) {
                patch(pos + 4, uint32_t(size - pos - 8));
                break;
            }
            pos += 8 + size_t(length) + (length & 1);
        }
    }

    // Freed by SDL when it is done with it; this object must outlive that.
    SDL_RWops* open()
    {
        SDL_RWops* ops = SDL_AllocRW();
        if (!ops) return nullptr;
        ops->hidden.unknown.data1 = this;
        ops->size = [](SDL_RWops* ops) { return Sint64(self(ops).source.bytes->size()); };
        ops->seek = [](SDL_RWops* ops, Sint64 offset, int whence) {
            MemoryReader& source = self(ops).source;
            return source.seek(offset, whence) ? Sint64(source.pos) : Sint64(-1);
        };
        ops->read = [](SDL_RWops* ops, void* out, size_t size, size_t count) {
            return size == 0 ? 0 : self(ops).read(static_cast<uint8_t*>(out), size * count) / size;
        };
        ops->write = [](SDL_RWops*, const void*, size_t, size_t) { return size_t(0); };
        ops->close = [](SDL_RWops* ops) {
            SDL_FreeRW(ops);
            return 0;
        };
        return ops;
    }

private:
    static CWaveSource& self(SDL_RWops* ops) { return *static_cast<CWaveSource*>(ops->hidden.unknown.data1); }

    void patch(size_t at, uint32_t value)
    {
        patches[patchCount++] = {at, value};
    }
    size_t read(uint8_t* out, size_t n)
    {
        const size_t at = source.pos;
        n = source.read(out, n);
        for (int i = 0; i < patchCount; ++i)
            for (size_t k = 0; k < 4; ++k)
                if (patches[i].first + k >= at && patches[i].first + k < at + n)
                    out[patches[i].first + k - at] = uint8_t(patches[i].second >> (8 * k));
        return n;
    }

    MemoryReader source;
    std::pair<size_t, uint32_t> patches[2];
    int patchCount = 0;
};

// SDL's WAV reader, for its many kinds of WAV; the decoder keeps its buffer.
std::unique_ptr<CSoundDecoder> openWave(const SoundBytes& bytes)
{
    CWaveSource source(bytes);
    SDL_RWops* ops = source.open();
    SDL_AudioSpec spec;
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!ops || !SDL_LoadWAV_RW(ops, 1, &spec, &buffer, &length)) return nullptr;
    std::shared_ptr<const Uint8> owner(buffer, SDL_FreeWAV);
    return makePcm(std::move(owner), buffer, length, spec.format, spec.freq, spec.channels);
}

// AIFF and AIFC of plain samples: the frames the sound data chunk holds,
// at most as many as the common chunk claims, read from the file itself.
std::unique_ptr<CSoundDecoder> openAiff(const SoundBytes& bytes)
{
    const uint8_t* d = bytes->data();
    const size_t size = bytes->size();
    const bool isAifc = std::memcmp(d + 8, "AIFC", 4) == 0;
    const uint8_t* common = nullptr;
    size_t commonLength = 0, soundAt = 0, soundEnd = 0;
    for (size_t pos = 12; pos + 8 <= size;) {
        const size_t length = ReadBe32(d + pos + 4);
        const size_t end = std::min(size, pos + 8 + length);
        if (std::memcmp(d + pos, "COMM", 4) == 0) {
            common = d + pos + 8;
            commonLength = end - pos - 8;
        } else if (std::memcmp(d + pos, "SSND", 4) == 0 && end >= pos + 16) {
            soundAt = pos + 16 + ReadBe32(d + pos + 8);
            soundEnd = end;
        }
        pos += 8 + length + (length & 1);
    }
    if (!common || commonLength < 18 || soundEnd == 0 || (isAifc && commonLength < 22)) return nullptr;
    const uint32_t channels = ReadBe16(common), claimed = ReadBe32(common + 2), bits = ReadBe16(common + 6);
    const int shift = 16383 + 31 - int(ReadBe16(common + 8) & 0x7FFF);
    const uint32_t rate = shift >= 0 && shift < 32 ? ReadBe32(common + 10) >> shift : 0;
    SDL_AudioFormat format = 0;
    const char* kind = isAifc ? reinterpret_cast<const char*>(common + 18) : "NONE";
    if (std::memcmp(kind, "NONE", 4) == 0 || std::memcmp(kind, "twos", 4) == 0)
        format = bits <= 8 ? AUDIO_S8 : bits <= 16 ? AUDIO_S16MSB : bits <= 24 ? AudioS24Msb : bits <= 32 ? AUDIO_S32MSB : 0;
    else if (std::memcmp(kind, "sowt", 4) == 0)
        format = bits > 8 && bits <= 16 ? AUDIO_S16LSB : 0;
    else if (std::memcmp(kind, "fl32", 4) == 0 || std::memcmp(kind, "FL32", 4) == 0)
        format = AUDIO_F32MSB;
    if (bits == 0) return nullptr;
    const size_t frameBytes = sampleBytes(format) * channels;
    const size_t frames = soundAt < soundEnd && frameBytes ? std::min<size_t>(claimed, (soundEnd - soundAt) / frameBytes) : 0;
    return makePcm(bytes, soundAt < soundEnd ? d + soundAt : d, frames * frameBytes, format, long(rate), long(channels));
}

// --- FLAC ---

// Each frame is checked against the stream's layout: a frame of fewer
// channels than the stream declares is damage, not a buffer to read past.
class CFlacDecoder : public CSoundDecoder {
public:
    ~CFlacDecoder() override
    {
        if (decoder) FLAC__stream_decoder_delete(decoder);
    }

    bool open(const SoundBytes& bytes)
    {
        source.bytes = bytes;
        decoder = FLAC__stream_decoder_new();
        if (!decoder) return false;
        FLAC__stream_decoder_set_md5_checking(decoder, false);
        if (FLAC__stream_decoder_init_stream(decoder, readBytes, nullptr, nullptr, nullptr, isAtEnd, writeFrame,
                                             readInfo, noteError, this) != FLAC__STREAM_DECODER_INIT_STATUS_OK)
            return false;
        return FLAC__stream_decoder_process_until_end_of_metadata(decoder) && hasInfo &&
               isSaneLayout(rate, channels) && bits >= 4 && bits <= 32;
    }

    long read(int16_t* out, long frames) override
    {
        while (pendingAt == pending.size()) {
            if (isDamaged) return -1;
            pending.clear();
            pendingAt = 0;
            const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(decoder);
            if (state == FLAC__STREAM_DECODER_END_OF_STREAM) return 0;
            const size_t before = source.pos;
            if (!FLAC__stream_decoder_process_single(decoder)) return isDamaged || !isAtEndOf() ? -1 : 0;
            if (pending.empty() && source.pos == before &&
                FLAC__stream_decoder_get_state(decoder) != FLAC__STREAM_DECODER_END_OF_STREAM)
                return 0;   // nothing read and nothing made: no way on
        }
        const size_t n = std::min(size_t(frames), (pending.size() - pendingAt) / size_t(channels));
        if (n) std::memcpy(out, pending.data() + pendingAt, n * size_t(channels) * 2);
        pendingAt += n * size_t(channels);
        return long(n);
    }

    bool rewind() override
    {
        source.pos = 0;
        pending.clear();
        pendingAt = 0;
        return !isDamaged && FLAC__stream_decoder_reset(decoder) &&
               FLAC__stream_decoder_process_until_end_of_metadata(decoder);
    }

private:
    bool isAtEndOf() const { return source.pos >= source.bytes->size(); }

    static FLAC__StreamDecoderReadStatus readBytes(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                                   void* self)
    {
        CFlacDecoder& d = *static_cast<CFlacDecoder*>(self);
        *bytes = d.source.read(buffer, *bytes);
        return *bytes ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
    }
    static FLAC__bool isAtEnd(const FLAC__StreamDecoder*, void* self)
    {
        return static_cast<CFlacDecoder*>(self)->isAtEndOf();
    }
    static FLAC__StreamDecoderWriteStatus writeFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                     const FLAC__int32* const buffer[], void* self)
    {
        CFlacDecoder& d = *static_cast<CFlacDecoder*>(self);
        const FLAC__FrameHeader& h = frame->header;
        if (!d.hasInfo || int(h.channels) != d.channels || int(h.bits_per_sample) != d.bits) {
            d.isDamaged = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        const int shift = d.bits - 16;
        const size_t at = d.pending.size();
        try {   // no exception may cross the library
            d.pending.resize(at + size_t(h.blocksize) * h.channels);
        } catch (const std::bad_alloc&) {
            d.isDamaged = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        int16_t* out = d.pending.data() + at;
        for (uint32_t i = 0; i < h.blocksize; ++i)
            for (uint32_t c = 0; c < h.channels; ++c) {
                const int64_t v = buffer[c][i];
                *out++ = int16_t(std::clamp<int64_t>(shift >= 0 ? v >> shift : v * (int64_t(1) << -shift), -32768, 32767));
            }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    static void readInfo(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* self)
    {
        CFlacDecoder& d = *static_cast<CFlacDecoder*>(self);
        if (block->type != FLAC__METADATA_TYPE_STREAMINFO || d.hasInfo) return;
        d.hasInfo = true;
        d.rate = int(block->data.stream_info.sample_rate);
        d.channels = int(block->data.stream_info.channels);
        d.bits = int(block->data.stream_info.bits_per_sample);
    }
    static void noteError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

    FLAC__StreamDecoder* decoder = nullptr;
    MemoryReader source;
    bool hasInfo = false, isDamaged = false;
    int bits = 0;
    std::vector<int16_t> pending;   // the last frame's values
    size_t pendingAt = 0;
};

// --- Files of parts of several layouts: Ogg Vorbis and MP3 ---

// Frames of one layout made into another, for the parts of a file that
// differ from its first: the channels mixed (one copied to every
// channel, else all averaged into each), then the rate changed by linear
// interpolation. Output frame k lies at input frame k x inRate / outRate,
// counted exactly from the start of the part; the part's last frame is held
// for the output frames that lie past it.
class CLayoutConverter {
public:
    void start(int inRate, int inChannels, int outRate, int outChannels)
    {
        this->inRate = uint64_t(inRate);
        this->inChannels = inChannels;
        this->outRate = uint64_t(outRate);
        this->outChannels = outChannels;
        held.clear();
        dropped = next = 0;
        isActive = true;
    }
    void stop() { isActive = false; }
    bool isConverting() const { return isActive; }
    bool isFrom(int rate, int channels) const { return uint64_t(rate) == inRate && channels == inChannels; }

    void put(const int16_t* in, long frames)
    {
        const size_t at = held.size();
        held.resize(at + size_t(frames) * size_t(outChannels));
        float* out = held.data() + at;
        for (long i = 0; i < frames; ++i, in += inChannels, out += outChannels) {
            if (inChannels == outChannels) {
                std::copy(in, in + inChannels, out);
                continue;
            }
            float sum = 0;
            for (int c = 0; c < inChannels; ++c) sum += in[c];
            std::fill(out, out + outChannels, inChannels == 1 ? sum : sum / float(inChannels));
        }
        AddSoundWork(uint64_t(frames) * uint64_t(inChannels));
    }

    // Up to frames frames; with isPartEnd, also those that lie past the last
    // frame put. 0 when it needs more, or at the part's end has no more.
    long take(int16_t* out, long frames, bool isPartEnd)
    {
        const size_t heldFrames = held.size() / size_t(outChannels);
        long made = 0;
        for (; made < frames; ++made, ++next) {
            const uint64_t at = next * inRate;
            const size_t i = size_t(at / outRate - dropped);
            if (i + 1 >= heldFrames && !(isPartEnd && i < heldFrames)) break;
            const float t = float(at % outRate) / float(outRate);
            const float* a = held.data() + i * size_t(outChannels);
            const float* b = i + 1 < heldFrames ? a + outChannels : a;
            // Between two values of the part, so in range.
            for (int c = 0; c < outChannels; ++c) *out++ = int16_t(std::lround(a[c] + (b[c] - a[c]) * t));
        }
        // The frames before the next output frame's are done with.
        const size_t done = std::min(size_t(next * inRate / outRate - dropped), heldFrames);
        held.erase(held.begin(), held.begin() + std::ptrdiff_t(done * size_t(outChannels)));
        dropped += done;
        return made;
    }

private:
    uint64_t inRate = 1, outRate = 1;
    int inChannels = 1, outChannels = 1;
    std::vector<float> held;   // frames in the output's channels, from input frame dropped on
    uint64_t dropped = 0;      // input frames of the part let go
    uint64_t next = 0;         // the part's next output frame
    bool isActive = false;
};

// A file whose parts may differ in rate or channel count: the links of a
// chained Ogg Vorbis file, the parts of an MP3. A part of the first one's
// layout is handed over as it is; another one is converted to it.
class CPartsDecoder : public CSoundDecoder {
public:
    long read(int16_t* out, long frames) override
    {
        for (int gaps = 0; gaps < 64;) {
            if (converter.isConverting()) {
                // The part goes on while frames of its layout come; a part of
                // another layout, or the end, ends it.
                const bool hasFrames = lastAt < lastFrames;
                const bool isPartOn = hasFrames ? converter.isFrom(lastRate, lastChannels) : !isAtEnd;
                if (isPartOn && hasFrames) {
                    converter.put(last.data() + lastAt * size_t(lastChannels), long(lastFrames - lastAt));
                    convertedValues += (lastFrames - lastAt) * size_t(lastChannels);
                    lastAt = lastFrames;
                }
                const long made = converter.take(out, frames, !isPartOn);
                if (made > 0) return made;
                if (!isPartOn) converter.stop();
            }
            if (!converter.isConverting() && lastAt < lastFrames) {
                if (lastRate != rate || lastChannels != channels) {
                    converter.start(lastRate, lastChannels, rate, channels);
                    continue;
                }
                const size_t n = std::min(size_t(frames), lastFrames - lastAt);
                std::memcpy(out, last.data() + lastAt * size_t(channels), n * size_t(channels) * 2);
                lastAt += n;
                return long(n);
            }
            if (isAtEnd) return 0;
            const long got = readPart();
            if (got == PartGap) ++gaps;
            else if (got < 0) return -1;
            else if (got == 0) isAtEnd = true;
        }
        return -1;
    }

protected:
    static constexpr size_t PartPiece = 4096;   // frames
    static constexpr long PartGap = -2;

    // The next frames as the library makes them into last, in their part's
    // layout, through keep(); 0 at the end, PartGap when none came but more
    // may, below 0 when the data is damaged.
    virtual long readPart() = 0;

    long keep(size_t frames, int partRate, int partChannels)
    {
        lastRate = partRate;
        lastChannels = partChannels;
        lastFrames = frames;
        lastAt = 0;
        return long(frames);
    }
    void restart()
    {
        lastAt = lastFrames = 0;
        isAtEnd = false;
        converter.stop();
    }

    std::vector<int16_t> last;   // the frames read last, lastAt on not yet handed over

private:
    size_t lastFrames = 0, lastAt = 0;
    int lastRate = 0, lastChannels = 0;
    bool isAtEnd = false;
    CLayoutConverter converter;
};

// --- Ogg Vorbis ---

// Read as a stream that cannot seek, as Opus is: opened seekable, the
// library searches back from the end for the last page, reading on to the
// end at every step, so bytes after the last page cost it the square of
// their number. Rewinding opens it afresh.
class CVorbisDecoder : public CPartsDecoder {
public:
    ~CVorbisDecoder() override
    {
        if (isOpen) ov_clear(&file);
    }

    bool open(const SoundBytes& bytes)
    {
        if (!IsSaneOggPages(bytes->data(), bytes->size(), true)) return false;
        source.bytes = bytes;
        if (!reopen()) return false;
        const vorbis_info* info = ov_info(&file, -1);
        if (!info || !isSaneLayout(info->rate, info->channels)) return false;
        rate = int(info->rate);
        channels = info->channels;
        return true;
    }

    bool rewind() override
    {
        restart();
        return reopen();
    }

private:
    long readPart() override
    {
        last.resize(PartPiece * MaxSoundChannels);
        const long got = ov_read(&file, reinterpret_cast<char*>(last.data()), int(last.size() * 2), 0, 2, 1, nullptr);
        if (got == OV_HOLE) return PartGap;
        if (got <= 0) return got == 0 ? 0 : -1;
        const vorbis_info* info = ov_info(&file, -1);   // the link being read
        if (!info || !isSaneLayout(info->rate, info->channels)) return -1;
        return keep(size_t(got) / size_t(info->channels * 2), int(info->rate), info->channels);
    }

    static size_t readBytes(void* out, size_t size, size_t count, void* self)
    {
        return size == 0 ? 0 : static_cast<MemoryReader*>(self)->read(out, size * count) / size;
    }

    bool reopen()
    {
        if (isOpen) ov_clear(&file);
        source.pos = 0;
        const ov_callbacks callbacks = {readBytes, nullptr, nullptr, nullptr};
        isOpen = ov_open_callbacks(&source, &file, nullptr, 0, callbacks) == 0;   // a failed open frees itself
        return isOpen;
    }

    OggVorbis_File file{};
    bool isOpen = false;
    MemoryReader source;
};

// --- Ogg Opus: always 48 kHz stereo out of the library ---

// The file is read as a stream that cannot seek: opened seekable, the library
// walks every link at once and loses the comments of a damaged later link it
// has already read. Rewinding opens it afresh.
class COpusDecoder : public CSoundDecoder {
public:
    ~COpusDecoder() override
    {
        if (file) op_free(file);
    }

    bool open(const SoundBytes& bytes)
    {
        if (!IsSaneOggPages(bytes->data(), bytes->size(), false)) return false;
        source.bytes = bytes;
        rate = 48000;
        channels = 2;
        return reopen();
    }

    long read(int16_t* out, long frames) override
    {
        for (int holes = 0; holes < 64; ++holes) {
            const int got = op_read_stereo(file, out, int(std::min(frames, 65536L)) * 2);
            if (got == OP_HOLE) continue;
            return got < 0 ? -1 : got;
        }
        return -1;
    }

    bool rewind() override { return reopen(); }

private:
    static int readBytes(void* self, unsigned char* out, int wanted)
    {
        return int(static_cast<MemoryReader*>(self)->read(out, size_t(std::max(wanted, 0))));
    }

    bool reopen()
    {
        if (file) op_free(file);
        source.pos = 0;
        static const OpusFileCallbacks callbacks = {readBytes, nullptr, nullptr, nullptr};
        int error = 0;
        file = op_open_callbacks(&source, &callbacks, nullptr, 0, &error);
        return file != nullptr;
    }

    OggOpusFile* file = nullptr;
    MemoryReader source;
};

// --- MP3 ---

// A part of another rate or channel count than the first, as files joined
// one after the other make, is converted to the first one's.
class CMpegDecoder : public CPartsDecoder {
public:
    ~CMpegDecoder() override
    {
        if (handle) mpg123_delete(handle);
    }

    bool open(const SoundBytes& bytes)
    {
        static std::once_flag initialised;
        std::call_once(initialised, [] { mpg123_init(); });
        source.bytes = bytes;
        handle = mpg123_new(nullptr, nullptr);
        if (!handle) return false;
        mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2, 0.0);
        mpg123_format_none(handle);
        const long* rates = nullptr;
        size_t count = 0;
        mpg123_rates(&rates, &count);
        for (size_t i = 0; i < count; ++i) mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        if (mpg123_replace_reader_handle(handle, readBytes, seekBytes, nullptr) != MPG123_OK || !reopen()) return false;
        rate = partRate;
        channels = partChannels;
        return true;
    }

    bool rewind() override
    {
        restart();
        const int firstRate = rate, firstChannels = channels;
        return reopen() && partRate == firstRate && partChannels == firstChannels;
    }

private:
    // Rewinding opens it afresh: after a part of another layout, the
    // library's seek counts in that part's frames and lands past the start.
    bool reopen()
    {
        mpg123_close(handle);
        source.pos = 0;
        long frameRate = 0;
        int encoding = 0;
        if (mpg123_open_handle(handle, &source) != MPG123_OK ||
            mpg123_getformat(handle, &frameRate, &partChannels, &encoding) != MPG123_OK ||
            !isSaneLayout(frameRate, partChannels))
            return false;
        partRate = int(frameRate);
        return true;
    }

    long readPart() override
    {
        last.resize(PartPiece * MaxSoundChannels);
        size_t done = 0;
        const int result = mpg123_read(handle, last.data(), last.size() * 2, &done);
        const size_t frames = done / size_t(partChannels * 2);
        if (frames) decodedAny = true;
        keep(frames, partRate, partChannels);
        if (result == MPG123_NEW_FORMAT) {
            // What came with it is the part before's; what follows is of the new layout.
            long frameRate = 0;
            int frameChannels = 0, encoding = 0;
            if (mpg123_getformat(handle, &frameRate, &frameChannels, &encoding) != MPG123_OK ||
                !isSaneLayout(frameRate, frameChannels))
                return -1;
            partRate = int(frameRate);
            partChannels = frameChannels;
            return frames ? long(frames) : PartGap;
        }
        if (result == MPG123_OK || result == MPG123_DONE || frames) return long(frames);
        return lostTrack();
    }

    static ssize_t readBytes(void* self, void* out, size_t n) { return ssize_t(static_cast<MemoryReader*>(self)->read(out, n)); }
    // No further frame found after sound was decoded: bytes that are no
    // frames (a tag, junk) follow the sound, which ends there, as a WAV cut
    // short plays what it holds.
    long lostTrack() const
    {
        const int error = mpg123_errcode(handle);
        return decodedAny && (error == MPG123_RESYNC_FAIL || error == MPG123_OUT_OF_SYNC) ? 0 : -1;
    }
    static off_t seekBytes(void* self, off_t offset, int whence)
    {
        MemoryReader& source = *static_cast<MemoryReader*>(self);
        return source.seek(offset, whence) ? off_t(source.pos) : off_t(-1);
    }

    mpg123_handle* handle = nullptr;
    MemoryReader source;
    int partRate = 0, partChannels = 0;   // the layout of what the library hands over next
    bool decodedAny = false;
};

// An MPEG audio frame header: a version, a layer, a bit rate and a sample rate.
bool isMpegFrame(const uint8_t* h)
{
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && ((h[1] >> 3) & 3) != 1 && (h[1] & 0x06) != 0 &&
           (h[2] >> 4) != 15 && ((h[2] >> 2) & 3) != 3;
}

template <typename Decoder>
std::unique_ptr<CSoundDecoder> openWith(const SoundBytes& bytes)
{
    auto decoder = std::make_unique<Decoder>();
    if (!decoder->open(bytes)) return nullptr;
    return decoder;
}

} // namespace

std::unique_ptr<CSoundDecoder> OpenSoundDecoder(const SoundBytes& bytes)
{
    const uint8_t* h = bytes->data();
    const size_t size = bytes->size();
    if (size >= 4 && std::memcmp(h, "OggS", 4) == 0)
        return size >= 36 && std::memcmp(h + 28, "OpusHead", 8) == 0 ? openWith<COpusDecoder>(bytes)
                                                                      : openWith<CVorbisDecoder>(bytes);
    if (size >= 4 && std::memcmp(h, "fLaC", 4) == 0)
        return openWith<CFlacDecoder>(bytes);
    if ((size >= 3 && std::memcmp(h, "ID3", 3) == 0) || (size >= 3 && isMpegFrame(h)))
        return openWith<CMpegDecoder>(bytes);
    if (size >= 12 && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0)
        return openWave(bytes);
    if (size >= 12 && std::memcmp(h, "FORM", 4) == 0 &&
        (std::memcmp(h + 8, "AIFF", 4) == 0 || std::memcmp(h + 8, "AIFC", 4) == 0))
        return openAiff(bytes);
    return nullptr;
}

bool DecodeWholeSound(CSoundDecoder& decoder, size_t maxValues, std::vector<int16_t>& values)
{
    constexpr long Piece = 4096;
    const size_t width = size_t(decoder.channels);
    values.clear();
    if (decoder.knownFrames && decoder.knownFrames <= maxValues / width)
        values.reserve((decoder.knownFrames + size_t(Piece)) * width);   // no array grown by doubling
    const size_t convertedBefore = decoder.convertedValues;
    auto isTooLong = [&] { return values.size() + (decoder.convertedValues - convertedBefore) > maxValues; };
    for (;;) {
        if (isTooLong()) return false;
        const size_t at = values.size();
        values.resize(at + size_t(Piece) * width);
        const long got = decoder.read(values.data() + at, Piece);
        if (got < 0) return false;
        values.resize(at + size_t(got) * width);
        AddSoundWork(uint64_t(got) * width);
        if (got == 0) return !isTooLong();
    }
}

uint64_t SoundWorkDone()
{
    return workDone.load(std::memory_order_relaxed);
}

void AddSoundWork(uint64_t units)
{
    workDone.fetch_add(units, std::memory_order_relaxed);
}
