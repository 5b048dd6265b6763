// The sound library interface over SDL2_mixer: samples are chunks, sample
// channels are mixer channels, streams are SDL_mixer's one music.
#include "audio_bass.h"

#include "byte_order.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint32_t Version = 0x02030000;
constexpr int FirstMixerChannels = 64;
constexpr int MaxMixerChannels = 1024;
constexpr int MixerBufferFrames = 1024;
constexpr uint32_t MaxPlaybacks = 65535;
constexpr uint32_t MaxFreq = 192000;
constexpr int PanUnchanged = -101;
// Rates no real sound uses: the mixer's conversion of a 1 Hz sound to the
// device rate multiplies its size by tens of thousands.
constexpr uint32_t MinSoundRate = 1000;
constexpr uint32_t MaxSoundRate = 384000;
// A sample converted to the device format may take at most this much; the
// mixer computes the conversion buffer in 32 bits.
constexpr uint64_t MaxConvertedBytes = uint64_t(512) << 20;
constexpr size_t MaxVorbisHeaderBytes = size_t(16) << 20;

struct Sample {
    Mix_Chunk* chunk = nullptr;  // owned
    uint32_t maxChannels = 0;
    uint32_t flags = 0;
    uint32_t channelCount = 0;   // live channels made from it
};

// A sample channel or a stream. Only the main thread touches these; whether
// SDL_mixer has finished one is asked with Mix_Playing / Mix_PlayingMusic,
// so nothing here runs on the audio thread.
struct Channel {
    bool isStream = false;
    HSAMPLE sample = 0;            // sample channels
    Mix_Music* music = nullptr;    // streams; owned
    std::vector<uint8_t> data;     // a stream's bytes when read from part of a file
    uint32_t flags = 0;
    int volumePct = 100;
    bool isPlaying = false;
    int mixerChannel = -1;         // sample channels while playing
};

struct Device {
    bool isOpen = false;
    int outputFreq = 0;  // Hz
    std::unordered_map<HSAMPLE, Sample> samples;
    std::unordered_map<uint32_t, Channel> channels;
    std::vector<uint32_t> mixerOwner;  // per mixer channel: the channel started on it, 0 = none
    uint32_t musicOwner = 0;           // the stream started on the music, 0 = none
};

Device device;
int lastError = BASS_OK;
uint32_t lastHandle = 0;  // survives BASS_Free so that handles of an old session stay dead

int fail(int code)
{
    lastError = code;
    return 0;
}

uint32_t succeed(uint32_t result = 1)
{
    lastError = BASS_OK;
    return result;
}

uint32_t newHandle()
{
    do {
        ++lastHandle;
    } while (lastHandle == 0 || device.samples.count(lastHandle) || device.channels.count(lastHandle));
    return lastHandle;
}

Channel* findChannel(uint32_t handle)
{
    auto it = device.channels.find(handle);
    return it == device.channels.end() ? nullptr : &it->second;
}

int toMixerVolume(int volumePct)
{
    return volumePct * MIX_MAX_VOLUME / 100;
}

void applyVolume(const Channel& channel)
{
    if (!channel.isPlaying) return;
    if (channel.isStream)
        Mix_VolumeMusic(toMixerVolume(channel.volumePct));
    else
        Mix_Volume(channel.mixerChannel, toMixerVolume(channel.volumePct));
}

// Stops the channel's sound; the record stays.
void halt(Channel& channel)
{
    if (!channel.isPlaying) return;
    if (channel.isStream) {
        Mix_HaltMusic();
        device.musicOwner = 0;
    } else {
        Mix_HaltChannel(channel.mixerChannel);
        device.mixerOwner[channel.mixerChannel] = 0;
        channel.mixerChannel = -1;
    }
    channel.isPlaying = false;
}

void release(uint32_t handle)
{
    auto it = device.channels.find(handle);
    if (it == device.channels.end()) return;
    Channel& channel = it->second;
    halt(channel);
    if (channel.isStream)
        Mix_FreeMusic(channel.music);
    else
        --device.samples.at(channel.sample).channelCount;
    device.channels.erase(it);
}

// A channel's end, whether it ran out or was stopped: auto-free ones go.
void finish(uint32_t handle)
{
    Channel* channel = findChannel(handle);
    if (!channel) return;
    halt(*channel);
    if (channel->flags & BASS_STREAM_AUTOFREE) release(handle);
}

// Runs at the start of every call, so channels that ran out look ended and
// auto-free ones are gone without the caller pumping anything.
void collectEnded()
{
    for (size_t i = 0; i < device.mixerOwner.size(); ++i) {
        if (device.mixerOwner[i] != 0 && !Mix_Playing(int(i))) finish(device.mixerOwner[i]);
    }
    if (device.musicOwner != 0 && !Mix_PlayingMusic()) finish(device.musicOwner);
}

bool beginCall()
{
    if (!device.isOpen) return fail(BASS_ERROR_INIT);
    collectEnded();
    return true;
}

// A mixer channel that is free now, growing the mixer when all are busy; -1 at the limit.
int takeMixerChannel()
{
    int mixer = Mix_GroupAvailable(-1);
    if (mixer >= 0) {
        if (device.mixerOwner[mixer] != 0) finish(device.mixerOwner[mixer]);  // ran out just now
        return mixer;
    }
    int count = int(device.mixerOwner.size());
    if (count >= MaxMixerChannels) return -1;
    int grown = Mix_AllocateChannels(std::min(count * 2, MaxMixerChannels));
    if (grown <= count) return -1;
    device.mixerOwner.resize(size_t(grown), 0);
    return count;
}

// Bytes of one frame in the mixer's format, which loaded samples are in.
uint32_t mixerFrameBytes()
{
    int freq = 0, channels = 0;
    Uint16 format = 0;
    if (!Mix_QuerySpec(&freq, &format, &channels)) return 1;
    return uint32_t(SDL_AUDIO_BITSIZE(format) / 8 * std::max(channels, 1));
}

uint32_t startSampleChannel(uint32_t handle, Channel& channel)
{
    // A sound without one whole frame (an empty data chunk) has ended as it
    // starts: the mixer refuses to play it.
    if (device.samples.at(channel.sample).chunk->alen < mixerFrameBytes()) {
        if (channel.flags & BASS_STREAM_AUTOFREE) release(handle);
        return succeed();
    }
    int mixer = takeMixerChannel();
    if (mixer < 0) return fail(BASS_ERROR_NOCHAN);
    // The volume goes first so that no buffer is mixed at the mixer channel's old volume.
    Mix_Volume(mixer, toMixerVolume(channel.volumePct));
    Mix_Chunk* chunk = device.samples.at(channel.sample).chunk;
    if (Mix_PlayChannel(mixer, chunk, (channel.flags & BASS_SAMPLE_LOOP) ? -1 : 0) < 0)
        return fail(BASS_ERROR_UNKNOWN);
    channel.isPlaying = true;
    channel.mixerChannel = mixer;
    device.mixerOwner[mixer] = handle;
    return succeed();
}

uint32_t startStream(uint32_t handle, Channel& channel)
{
    if (device.musicOwner != 0) finish(device.musicOwner);  // SDL_mixer has one music
    Mix_VolumeMusic(toMixerVolume(channel.volumePct));
    if (Mix_PlayMusic(channel.music, (channel.flags & BASS_SAMPLE_LOOP) ? -1 : 0) < 0)
        return fail(BASS_ERROR_UNKNOWN);
    channel.isPlaying = true;
    device.musicOwner = handle;
    return succeed();
}

// Reads [offset, offset + length) of a file, length 0 meaning to its end.
bool readFilePart(const char* path, uint64_t offset, uint64_t length, std::vector<uint8_t>& data)
{
    SDL_RWops* file = SDL_RWFromFile(path, "rb");
    if (!file) return false;
    Sint64 size = SDL_RWsize(file);
    bool isOk = size >= 0 && offset <= uint64_t(size) &&
                SDL_RWseek(file, Sint64(offset), RW_SEEK_SET) >= 0;
    if (isOk) {
        uint64_t available = uint64_t(size) - offset;
        data.resize(size_t(length == 0 ? available : std::min(length, available)));
        isOk = data.empty() || SDL_RWread(file, data.data(), data.size(), 1) == 1;
    }
    SDL_RWclose(file);
    return isOk;
}

// Reads at positions from where a source stood when made.
class SourceBytes {
public:
    explicit SourceBytes(SDL_RWops* source)
        : source(source), start(SDL_RWtell(source)), size(std::max<Sint64>(SDL_RWsize(source) - start, 0)) {}
    ~SourceBytes() { SDL_RWseek(source, start, RW_SEEK_SET); }
    bool at(Sint64 pos, void* out, size_t n) const
    {
        return pos >= 0 && pos + Sint64(n) <= size && SDL_RWseek(source, start + pos, RW_SEEK_SET) >= 0 &&
               (n == 0 || SDL_RWread(source, out, n, 1) == 1);
    }

    SDL_RWops* source;
    Sint64 start, size;
};

bool isSaneRate(uint32_t rate)
{
    return rate >= MinSoundRate && rate <= MaxSoundRate;
}

bool isSaneLayout(uint32_t channels, uint32_t rate, uint32_t bits)
{
    return channels >= 1 && channels <= 8 && isSaneRate(rate) && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

// Whether a sample of this many values (all channels) fits once the mixer has
// converted it to the device's rate, stereo: an upper bound of what its
// conversion allocates (float values, a mono sound doubled, the rate ratio
// rounded up and one more), in 64 bits.
bool fitsConverted(uint64_t values, uint32_t channels, uint32_t rate)
{
    const uint64_t deviceRate = device.outputFreq > 0 ? uint64_t(device.outputFreq) : MaxFreq;
    const uint64_t rateFactor = (deviceRate + rate - 1) / rate + 1;
    const uint64_t channelFactor = channels == 1 ? 2 : 1;
    const uint64_t limit = MaxConvertedBytes / (4 * channelFactor * rateFactor);
    return values <= limit;
}

// The format before the data, the data within the file, and no loop list
// longer than its chunk; a sample's data fits once converted.
bool isSaneWave(const SourceBytes& in, bool isSample)
{
    bool hasFormat = false;
    uint32_t channels = 0, rate = 0, bits = 0;
    uint8_t chunk[8], f[16], loops[4];
    for (Sint64 pos = 12; in.at(pos, chunk, 8); pos += 8 + Sint64(ReadLe32(chunk + 4)) + (ReadLe32(chunk + 4) & 1)) {
        const uint32_t length = ReadLe32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0)   // the library allocates what it claims
            return hasFormat && length <= in.size - pos - 8 &&
                   (!isSample || fitsConverted(uint64_t(length) * 8 / bits, channels, rate));
        if (std::memcmp(chunk, "smpl", 4) == 0 &&
            (length < 36 || !in.at(pos + 8 + 28, loops, 4) || ReadLe32(loops) > (length - 36) / 24))
            return false;
        if (std::memcmp(chunk, "fmt ", 4) != 0)
            continue;
        if (length < 16 || !in.at(pos + 8, f, 16))
            return false;
        const uint32_t tag = ReadLe16(f), align = ReadLe16(f + 12);
        channels = ReadLe16(f + 2);
        rate = ReadLe32(f + 4);
        bits = ReadLe16(f + 14);
        if (tag == 2 || tag == 0x11)   // ADPCM: its decoder checks its blocks
            hasFormat = isSaneLayout(channels, rate, 8) && bits == 4 && align > 0;
        else if (tag == 1 || tag == 3 || tag == 6 || tag == 7 || tag == 0xFFFE)
            hasFormat = (isSaneLayout(channels, rate, bits) || (tag == 3 && bits == 64 && isSaneLayout(channels, rate, 32))) &&
                        (tag != 3 || bits >= 32) && align == channels * bits / 8;
        if (!hasFormat)
            return false;
    }
    return false;
}

// The rate is an 80-bit float: a 15-bit exponent over a 64-bit mantissa.
// A sample's frames fit once converted.
bool isSaneAiff(const SourceBytes& in, bool isSample)
{
    bool hasCommon = false, hasData = false;
    uint32_t channels = 0, frames = 0, rate = 0;
    uint8_t chunk[8], c[18];
    for (Sint64 pos = 12; in.at(pos, chunk, 8); pos += 8 + Sint64(ReadBe32(chunk + 4)) + (ReadBe32(chunk + 4) & 1)) {
        if (std::memcmp(chunk, "SSND", 4) == 0)
            hasData = true;
        if (std::memcmp(chunk, "COMM", 4) != 0)
            continue;
        if (ReadBe32(chunk + 4) < 18 || !in.at(pos + 8, c, 18))
            return false;
        const int shift = 16383 + 31 - int(ReadBe16(c + 8) & 0x7FFF);
        channels = ReadBe16(c);
        frames = ReadBe32(c + 2);
        rate = shift >= 0 && shift < 32 ? ReadBe32(c + 10) >> shift : 0;
        hasCommon = isSaneLayout(channels, rate, ReadBe16(c + 6));
        if (!hasCommon)
            return false;
    }
    return hasCommon && hasData && (!isSample || fitsConverted(uint64_t(frames) * channels, channels, rate));
}

// A comment list as FLAC and Vorbis keep it: a vendor text, a count of at
// most maxCount texts and the texts, each a 32-bit length and its bytes, all
// before end. readWord(at, out) reads the 4 bytes at at; pos ends past the
// last text.
template <typename ReadWord>
bool isSaneCommentList(const ReadWord& readWord, Sint64& pos, Sint64 end, uint32_t maxCount)
{
    uint8_t word[4];
    auto text = [&] {
        if (pos + 4 > end || !readWord(pos, word))
            return false;
        pos += 4 + Sint64(ReadLe32(word));
        return pos <= end;
    };
    if (!text() || pos + 4 > end || !readWord(pos, word))
        return false;
    const uint32_t count = ReadLe32(word);
    pos += 4;
    if (count > maxCount || count > uint64_t(end - pos) / 4)   // each text takes at least 4 bytes
        return false;
    for (uint32_t i = 0; i < count; ++i)
        if (!text())
            return false;
    return true;
}

// A FLAC comment block: at most 100,000 texts, all inside the block. The
// decoder refuses more texts, and after a vendor text too long for the block
// it reads on from the wrong place.
bool isSaneFlacComments(const SourceBytes& in, Sint64 pos, Sint64 length)
{
    if (length < 8)
        return true;   // skipped whole
    auto readWord = [&](Sint64 at, uint8_t* out) { return in.at(at, out, 4); };
    return isSaneCommentList(readWord, pos, pos + length, 100000);
}

// The STREAMINFO block that opens every FLAC stream: a rate and, when known,
// the length in frames. The metadata blocks after it must end inside the
// file: the decoder fails on one cut short after it has made its output
// stream from the STREAMINFO, and that stream is never freed.
bool isSaneFlac(const SourceBytes& in, bool isSample)
{
    auto blockLength = [](const uint8_t* h) { return Sint64(uint32_t(h[1]) << 16 | ReadBe16(h + 2)); };
    uint8_t h[4], info[34];
    if (!in.at(4, h, 4) || (h[0] & 0x7F) != 0 || blockLength(h) != 34 || !in.at(8, info, 34))
        return false;
    const uint32_t rate = uint32_t(info[10]) << 12 | uint32_t(info[11]) << 4 | info[12] >> 4;
    const uint32_t channels = ((info[12] >> 1) & 7) + 1;
    const uint32_t bits = ((info[12] & 1) << 4 | info[13] >> 4) + 1;
    const uint64_t frames = uint64_t(info[13] & 0xF) << 32 | ReadBe32(info + 14);
    if (!isSaneRate(rate) || bits < 4 || (isSample && !fitsConverted(frames * channels, channels, rate)))
        return false;
    for (Sint64 pos = 8 + 34; !(h[0] & 0x80); pos += 4 + blockLength(h)) {
        const int type = in.at(pos, h, 4) ? h[0] & 0x7F : 127;
        const Sint64 length = blockLength(h);
        if (type == 0 || type == 127 || pos + 4 + length > in.size)
            return false;   // a second STREAMINFO, the invalid type, or past the end
        if (type == 2 && length < 4)
            return false;   // an application block without its identifier
        if (type == 4 && !isSaneFlacComments(in, pos + 4, length))
            return false;
    }
    return true;
}

// --- Ogg Vorbis ---

// The bits of a Vorbis header packet, least significant first.
class PacketBits {
public:
    PacketBits(const uint8_t* data, size_t size) : data(data), bitCount(uint64_t(size) * 8) {}
    bool read(int count, uint32_t& value)
    {
        if (uint64_t(count) > bitCount - position)
            return false;
        value = 0;
        for (int i = 0; i < count; ++i, ++position)
            value |= uint32_t(data[position >> 3] >> (position & 7) & 1) << i;
        return true;
    }
    bool skip(uint64_t count)
    {
        if (count > bitCount - position)
            return false;
        position += count;
        return true;
    }
    uint64_t left() const { return bitCount - position; }

private:
    const uint8_t* data;
    uint64_t bitCount;
    uint64_t position = 0;
};

int bitLength(uint32_t value)
{
    int length = 0;
    for (; value; value >>= 1)
        ++length;
    return length;
}

// The largest v with v^dimensions <= entries (the values of a lookup of type 1).
uint32_t latticeValues(uint32_t entries, uint32_t dimensions)
{
    auto fits = [&](uint64_t v) {
        uint64_t power = 1;
        for (uint32_t i = 0; i < dimensions; ++i)
            if ((power *= v) > entries)
                return false;
        return true;
    };
    uint32_t low = 1, high = entries;   // fits(1) always holds
    while (low < high) {
        const uint32_t middle = low + (high - low + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

// The codeword lengths of a codebook as the decoder turns them into a
// prefix code: it refuses lengths that over- or underfill the tree (one
// codeword alone excepted), and a decoder that refused one codebook goes on
// with the codebooks after it zeroed.
class CodewordTree {
public:
    bool add(uint32_t length)   // 1 to 32
    {
        uint32_t entry = marker[length];
        if (length < 32 && (entry >> length) != 0)
            return false;   // overfilled
        ++count;
        for (uint32_t j = length; j > 0; --j) {
            if (marker[j] & 1) {
                if (j == 1)
                    ++marker[1];
                else
                    marker[j] = marker[j - 1] << 1;
                break;
            }
            ++marker[j];
        }
        for (uint32_t j = length + 1; j < 33 && (marker[j] >> 1) == entry; ++j) {
            entry = marker[j];
            marker[j] = marker[j - 1] << 1;
        }
        return true;
    }
    bool isComplete() const
    {
        if (count <= 1 && (count == 0 || marker[2] == 2))
            return true;   // no codeword at all, or one of length 1
        for (uint32_t i = 1; i < 33; ++i)
            if (marker[i] & (0xFFFFFFFFu >> (32 - i)))
                return false;
        return true;
    }

private:
    uint32_t marker[33] = {};
    uint64_t count = 0;
};

// What the rest of a setup header asks of its codebooks.
struct VorbisCodebook {
    uint32_t dimensions = 0, entries = 0, lookup = 0;
};

// One codebook of a setup header, read as the decoder reads it. The decoder
// divides by a codebook's dimensions and steps through its entries, so
// neither may be 0; its codeword lengths must make a whole prefix code.
bool isSaneCodebook(PacketBits& bits, VorbisCodebook& book)
{
    uint32_t sync = 0, dimensions = 0, entries = 0, ordered = 0;
    if (!bits.read(24, sync) || sync != 0x564342 || !bits.read(16, dimensions) || !bits.read(24, entries) ||
        !bits.read(1, ordered))
        return false;
    if (dimensions == 0 || entries == 0 || bitLength(dimensions) + bitLength(entries) > 24)
        return false;
    CodewordTree tree;
    uint32_t length = 0;
    if (!ordered) {
        uint32_t sparse = 0;
        if (!bits.read(1, sparse) || uint64_t(entries) * (sparse ? 1 : 5) > bits.left())
            return false;
        for (uint32_t i = 0; i < entries; ++i) {
            uint32_t used = 1;
            if ((sparse && !bits.read(1, used)) || (used && (!bits.read(5, length) || !tree.add(length + 1))))
                return false;
        }
    } else {
        if (!bits.read(5, length))
            return false;
        for (uint32_t i = 0, bitsPerLength = length + 1; i < entries; ++bitsPerLength) {
            uint32_t count = 0;
            if (!bits.read(bitLength(entries - i), count) || bitsPerLength > 32 || count > entries - i ||
                (count > 0 && ((count - 1) >> (bitsPerLength - 1)) > 1))
                return false;
            for (uint32_t k = 0; k < count; ++k)
                if (!tree.add(bitsPerLength))
                    return false;
            i += count;
        }
    }
    if (!tree.isComplete())
        return false;
    uint32_t lookup = 0;
    if (!bits.read(4, lookup) || lookup > 2)
        return false;
    book = {dimensions, entries, lookup};
    if (lookup == 0)
        return true;
    uint32_t valueBits = 0, sequence = 0;
    if (!bits.skip(64) || !bits.read(4, valueBits) || !bits.read(1, sequence))
        return false;
    const uint64_t values = lookup == 1 ? latticeValues(entries, dimensions) : uint64_t(entries) * dimensions;
    return bits.skip(values * (valueBits + 1));
}

// A floor of type 0: a sane order, rate and bark map, codebooks with values.
bool isSaneFloor0(PacketBits& bits, const std::vector<VorbisCodebook>& books)
{
    uint32_t order = 0, rate = 0, barkMap = 0, lastBook = 0;
    if (!bits.read(8, order) || !bits.read(16, rate) || !bits.read(16, barkMap) || !bits.skip(6 + 8) ||
        !bits.read(4, lastBook) || order < 1 || rate < 1 || barkMap < 1)
        return false;
    for (uint32_t j = 0; j <= lastBook; ++j) {
        uint32_t book = 0;
        if (!bits.read(8, book) || book >= books.size() || books[book].lookup == 0)
            return false;
    }
    return true;
}

// A floor of type 1: classes of known codebooks and a list of distinct posts.
bool isSaneFloor1(PacketBits& bits, const std::vector<VorbisCodebook>& books)
{
    uint32_t partitions = 0, partitionClass[31] = {}, classDimensions[16] = {};
    int maxClass = -1;
    if (!bits.read(5, partitions))
        return false;
    for (uint32_t j = 0; j < partitions; ++j) {
        if (!bits.read(4, partitionClass[j]))
            return false;
        maxClass = std::max(maxClass, int(partitionClass[j]));
    }
    for (int j = 0; j <= maxClass; ++j) {
        uint32_t dimensions = 0, subclasses = 0, book = 0;
        if (!bits.read(3, dimensions) || !bits.read(2, subclasses) || (subclasses && !bits.read(8, book)) ||
            book >= books.size())
            return false;
        classDimensions[j] = dimensions + 1;
        for (uint32_t k = 0; k < (1u << subclasses); ++k)
            if (!bits.read(8, book) || (book > 0 && book - 1 >= books.size()))
                return false;
    }
    uint32_t rangeBits = 0;
    if (!bits.skip(2) || !bits.read(4, rangeBits))
        return false;
    std::vector<uint32_t> posts = {0, 1u << rangeBits};
    for (uint32_t j = 0; j < partitions; ++j) {
        if (posts.size() - 2 + classDimensions[partitionClass[j]] > 63)
            return false;
        for (uint32_t k = 0; k < classDimensions[partitionClass[j]]; ++k) {
            uint32_t post = 0;
            if (!bits.read(int(rangeBits), post))
                return false;
            posts.push_back(post);
        }
    }
    // Two posts at one place would make a segment of no length.
    std::sort(posts.begin(), posts.end());
    return std::adjacent_find(posts.begin(), posts.end()) == posts.end();
}

// A residue: known codebooks with values, and a classifying codebook whose
// partitions fit its entries.
bool isSaneResidue(PacketBits& bits, const std::vector<VorbisCodebook>& books)
{
    uint32_t partitions = 0, groupBook = 0, stages = 0;
    if (!bits.skip(24 + 24 + 24) || !bits.read(6, partitions) || !bits.read(8, groupBook))
        return false;
    ++partitions;
    for (uint32_t j = 0; j < partitions; ++j) {
        uint32_t cascade = 0, isWide = 0, high = 0;
        if (!bits.read(3, cascade) || !bits.read(1, isWide) || (isWide && !bits.read(5, high)))
            return false;
        for (uint32_t c = cascade | high << 3; c; c >>= 1)
            stages += c & 1;
    }
    for (uint32_t j = 0; j < stages; ++j) {
        uint32_t book = 0;
        if (!bits.read(8, book) || book >= books.size() || books[book].lookup == 0)
            return false;
    }
    if (groupBook >= books.size())
        return false;
    uint64_t values = 1;
    for (uint32_t d = 0; d < books[groupBook].dimensions; ++d)
        if ((values *= partitions) > books[groupBook].entries)
            return false;
    return books[groupBook].dimensions >= 1;
}

// A mapping: channel couplings inside the channel count, known floors and residues.
bool isSaneMapping(PacketBits& bits, uint32_t channels, uint32_t floors, uint32_t residues)
{
    uint32_t hasSubmaps = 0, submaps = 0, hasCoupling = 0, steps = 0, reserved = 0;
    if (!bits.read(1, hasSubmaps) || (hasSubmaps && !bits.read(4, submaps)) || !bits.read(1, hasCoupling))
        return false;
    ++submaps;
    if (hasCoupling) {
        if (!bits.read(8, steps))
            return false;
        const int width = bitLength(channels - 1);
        for (uint32_t i = 0; i <= steps; ++i) {
            uint32_t magnitude = 0, angle = 0;
            if (!bits.read(width, magnitude) || !bits.read(width, angle) || magnitude == angle ||
                magnitude >= channels || angle >= channels)
                return false;
        }
    }
    if (!bits.read(2, reserved) || reserved != 0)
        return false;
    if (submaps > 1) {
        for (uint32_t i = 0; i < channels; ++i) {
            uint32_t mux = 0;
            if (!bits.read(4, mux) || mux >= submaps)
                return false;
        }
    }
    for (uint32_t i = 0; i < submaps; ++i) {
        uint32_t floor = 0, residue = 0;
        if (!bits.skip(8) || !bits.read(8, floor) || floor >= floors || !bits.read(8, residue) || residue >= residues)
            return false;
    }
    return true;
}

// The setup header, read as the decoder reads it: the decoder refuses what
// is out of its ranges, and a refused header costs memory it never frees.
bool isSaneVorbisSetup(const std::vector<uint8_t>& packet, uint32_t channels)
{
    if (packet.size() < 7 || std::memcmp(packet.data(), "\x05vorbis", 7) != 0)
        return false;
    PacketBits bits(packet.data() + 7, packet.size() - 7);
    uint32_t count = 0, type = 0;
    if (!bits.read(8, count))
        return false;
    std::vector<VorbisCodebook> books(count + 1);
    for (VorbisCodebook& book : books)
        if (!isSaneCodebook(bits, book))
            return false;
    if (!bits.read(6, count))
        return false;
    for (uint32_t i = 0; i <= count; ++i)   // time transforms: placeholders, all 0
        if (!bits.read(16, type) || type != 0)
            return false;
    uint32_t floors = 0, residues = 0, mappings = 0, modes = 0;
    if (!bits.read(6, floors))
        return false;
    for (uint32_t i = 0; i <= floors; ++i)
        if (!bits.read(16, type) || type > 1 || !(type == 0 ? isSaneFloor0(bits, books) : isSaneFloor1(bits, books)))
            return false;
    if (!bits.read(6, residues))
        return false;
    for (uint32_t i = 0; i <= residues; ++i)
        if (!bits.read(16, type) || type > 2 || !isSaneResidue(bits, books))
            return false;
    if (!bits.read(6, mappings))
        return false;
    for (uint32_t i = 0; i <= mappings; ++i)
        if (!bits.read(16, type) || type != 0 || !isSaneMapping(bits, channels, floors + 1, residues + 1))
            return false;
    if (!bits.read(6, modes))
        return false;
    for (uint32_t i = 0; i <= modes; ++i) {
        uint32_t window = 0, transform = 0, mapping = 0;
        if (!bits.skip(1) || !bits.read(16, window) || !bits.read(16, transform) || !bits.read(8, mapping) ||
            window != 0 || transform != 0 || mapping > mappings)
            return false;
    }
    uint32_t framing = 0;
    return bits.read(1, framing) && framing == 1;
}

// The comment header: a vendor text and a count of texts, each inside the
// packet, and the framing bit.
bool isSaneVorbisComment(const std::vector<uint8_t>& packet)
{
    if (packet.size() < 7 || std::memcmp(packet.data(), "\x03vorbis", 7) != 0)
        return false;
    Sint64 pos = 7;
    auto readWord = [&](Sint64 at, uint8_t* out) {
        std::memcpy(out, packet.data() + at, 4);
        return true;
    };
    return isSaneCommentList(readWord, pos, Sint64(packet.size()), UINT32_MAX) && pos < Sint64(packet.size()) &&
           (packet[size_t(pos)] & 1);
}

// The identification header: version 0, 1 to 8 channels, a real rate, block
// sizes from 64 to 8192 in order, and the framing bit.
bool isSaneVorbisIdentification(const std::vector<uint8_t>& packet, uint32_t& channels, uint32_t& rate)
{
    if (packet.size() < 30)
        return false;
    const uint8_t* p = packet.data();
    channels = p[11];
    rate = ReadLe32(p + 12);
    const uint32_t small = p[28] & 0xF, large = p[28] >> 4;
    return ReadLe32(p + 7) == 0 && channels >= 1 && channels <= 8 && isSaneRate(rate) && small >= 6 &&
           large >= small && large <= 13 && (p[29] & 1);
}

// One logical Vorbis stream while its three headers arrive.
struct VorbisStream {
    uint32_t serial = 0;
    uint32_t nextPage = 0;
    int packets = 0;                // header packets complete
    bool isPartial = false;         // the last packet goes on in the next page
    std::vector<uint8_t> packet;    // the packet being gathered
    uint32_t channels = 0, rate = 0;
    uint64_t frames = 0;            // the largest granule position seen
};

// Adds one page's packets to its stream; false for headers the decoder
// must not see.
bool gatherVorbisPage(VorbisStream& stream, const uint8_t* page)
{
    const uint8_t segments = page[26];
    const bool isContinued = (page[5] & 1) != 0;
    const uint32_t sequence = ReadLe32(page + 18);
    const uint64_t granule = uint64_t(ReadLe32(page + 10)) << 32 | ReadLe32(page + 6);
    if (granule != ~uint64_t(0))
        stream.frames = std::max(stream.frames, granule);
    if (stream.packets >= 3)
        return true;
    if (page[4] != 0 || sequence != stream.nextPage || isContinued != stream.isPartial)
        return false;   // a hole or a broken packet inside the headers
    stream.nextPage = sequence + 1;
    size_t body = 27 + size_t(segments);
    for (int i = 0; i < segments && stream.packets < 3; ++i) {
        const uint8_t lace = page[27 + i];
        stream.packet.insert(stream.packet.end(), page + body, page + body + lace);
        body += lace;
        if (stream.packet.size() > MaxVorbisHeaderBytes)
            return false;
        stream.isPartial = lace == 255;
        if (stream.isPartial)
            continue;
        if (stream.packets == 0 && !isSaneVorbisIdentification(stream.packet, stream.channels, stream.rate))
            return false;
        if (stream.packets == 1 && !isSaneVorbisComment(stream.packet))
            return false;
        if (stream.packets == 2 && !isSaneVorbisSetup(stream.packet, stream.channels))
            return false;
        ++stream.packets;
        stream.packet.clear();
    }
    return true;
}

// Where the next capture pattern "OggS" starts at or after pos; the size
// when there is none.
Sint64 findCapture(const SourceBytes& in, Sint64 pos)
{
    uint8_t block[4096];
    for (; pos + 4 <= in.size; pos += Sint64(sizeof block) - 3) {
        const size_t length = size_t(std::min<Sint64>(Sint64(sizeof block), in.size - pos));
        if (!in.at(pos, block, length))
            break;
        for (size_t i = 0; i + 4 <= length; ++i)
            if (block[i] == 'O' && std::memcmp(block + i, "OggS", 4) == 0)
                return pos + Sint64(i);
    }
    return in.size;
}

// Every page the decoder would read: the pages whose checksum holds, found
// as the Ogg library finds them, byte by byte past anything else. Ogg that
// does not open with Opus goes to the Vorbis decoder, which fails on a link
// (a chained file has several) without a whole Vorbis stream, and such a
// failure costs memory it never frees: every link must open with its streams'
// first pages, the first Vorbis stream of each bringing sane headers, and
// carry no page of a stream it did not open. A sample's frames fit once
// converted.
bool isSaneOgg(const SourceBytes& in, bool isSample)
{
    uint8_t first[36];
    if (in.at(0, first, 36) && std::memcmp(first + 28, "OpusHead", 8) == 0)
        return true;   // for the Opus decoder
    std::vector<VorbisStream> streams;   // the current link's Vorbis streams
    std::vector<uint32_t> serials;       // the current link's streams
    bool isLinkOpening = false;          // only first pages of streams so far
    uint64_t sampleValues = 0;
    auto isWholeLink = [&] {
        if (streams.empty() || streams.front().packets < 3)
            return false;
        for (const VorbisStream& stream : streams) {
            if (stream.frames >> 40)
                return false;
            sampleValues += stream.frames * stream.channels;
        }
        return !isSample || fitsConverted(sampleValues, streams.front().channels, streams.front().rate);
    };
    std::vector<uint8_t> page(27);
    Sint64 pos = 0;
    while (in.at(pos, page.data(), 27)) {
        // Pages mostly follow each other: the search runs only past other bytes.
        if (std::memcmp(page.data(), "OggS", 4) != 0) {
            pos = findCapture(in, pos + 1);
            continue;
        }
        const size_t headerSize = 27 + size_t(page[26]);
        page.resize(headerSize);
        if (!in.at(pos + 27, page.data() + 27, headerSize - 27))
            break;
        size_t bodySize = 0;
        for (size_t i = 27; i < headerSize; ++i)
            bodySize += page[i];
        page.resize(headerSize + bodySize);
        if (!in.at(pos + Sint64(headerSize), page.data() + headerSize, bodySize))
            break;
        const uint32_t stored = ReadLe32(page.data() + 22);
        std::memset(page.data() + 22, 0, 4);
        if (OggPageChecksum(page.data(), page.size()) != stored) {
            ++pos;   // the library skips a page whose checksum fails
            continue;
        }
        pos += Sint64(page.size());
        const uint32_t serial = ReadLe32(page.data() + 14);
        const bool isKnown = std::find(serials.begin(), serials.end(), serial) != serials.end();
        if (page[5] & 2) {
            if (!isLinkOpening) {   // a new link: the one before must be whole
                if (!serials.empty() && !isWholeLink())
                    return false;
                streams.clear();
                serials.clear();
                isLinkOpening = true;
            } else if (isKnown) {
                return false;   // a stream opened twice
            }
            serials.push_back(serial);
            if (bodySize >= 7 && page[26] > 0 && std::memcmp(page.data() + headerSize, "\x01vorbis", 7) == 0) {
                streams.emplace_back();
                streams.back().serial = serial;
                streams.back().nextPage = ReadLe32(page.data() + 18);
            }
        } else {
            isLinkOpening = false;
            if (!isKnown)
                return false;   // a page of a stream its link never opened
        }
        auto stream = std::find_if(streams.begin(), streams.end(),
                                   [&](const VorbisStream& s) { return s.serial == serial; });
        if (stream != streams.end() && !gatherVorbisPage(*stream, page.data()))
            return false;
    }
    return !serials.empty() && isWholeLink();
}

// An MPEG audio frame header: a version, a layer, a bit rate and a sample rate.
bool isMpegFrame(const uint8_t* h)
{
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && ((h[1] >> 3) & 3) != 1 && (h[1] & 0x06) != 0 &&
           (h[2] >> 4) != 15 && ((h[2] >> 2) & 3) != 3;
}

// SDL_mixer and its decoders trust the counts a header gives (a WAV of no
// channels divides by zero, a Vorbis codebook of no dimensions too) and take
// anything unknown for a module: only the kinds the sound library reads
// pass, WAV, AIFF, FLAC and Ogg Vorbis with their headers checked, other Ogg
// codecs and MP3 by their marks. A sample is decoded and converted whole:
// its size after conversion must fit.
bool isSaneSound(SDL_RWops* source, bool isSample)
{
    SourceBytes in(source);
    uint8_t h[12] = {};
    if (!in.at(0, h, 4))
        return false;
    if (std::memcmp(h, "OggS", 4) == 0)
        return isSaneOgg(in, isSample);
    if (std::memcmp(h, "fLaC", 4) == 0)
        return isSaneFlac(in, isSample);
    if (std::memcmp(h, "ID3", 3) == 0) {   // a whole tag, then a frame
        uint8_t t[10];
        if (!in.at(0, t, 10) || t[3] < 2 || t[3] > 4 || ((t[6] | t[7] | t[8] | t[9]) & 0x80))
            return false;
        const Sint64 tag = 10 + (Sint64(t[6]) << 21 | t[7] << 14 | t[8] << 7 | t[9]) + (t[5] & 0x10 ? 10 : 0);
        return in.at(tag, h, 4) && isMpegFrame(h);
    }
    if (h[0] == 0xFF)
        return isMpegFrame(h);
    if (!in.at(0, h, 12))
        return false;
    if (std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0)
        return isSaneWave(in, isSample);
    if (std::memcmp(h, "FORM", 4) == 0 && (std::memcmp(h + 8, "AIFF", 4) == 0 || std::memcmp(h + 8, "AIFC", 4) == 0))
        return isSaneAiff(in, isSample);
    return false;
}

SDL_RWops* failSource(int code)
{
    fail(code);
    return nullptr;
}

// Where a load reads from: a whole file, a part of a file read into data, or
// the caller's memory. Null with the error code set on failure.
SDL_RWops* openSource(int mem, const void* file, uint64_t offset, uint64_t length,
                      std::vector<uint8_t>& data)
{
    if (!file) return failSource(BASS_ERROR_FILEOPEN);
    if (mem) {
        if (length == 0 || length > uint64_t(INT_MAX)) return failSource(BASS_ERROR_ILLPARAM);
        return SDL_RWFromConstMem(static_cast<const uint8_t*>(file) + offset, int(length));
    }
    const char* path = static_cast<const char*>(file);
    if (offset == 0 && length == 0) {
        SDL_RWops* source = SDL_RWFromFile(path, "rb");
        return source ? source : failSource(BASS_ERROR_FILEOPEN);
    }
    if (!readFilePart(path, offset, length, data) || data.size() > size_t(INT_MAX))
        return failSource(BASS_ERROR_FILEOPEN);
    return SDL_RWFromConstMem(data.data(), int(data.size()));
}

}  // namespace

uint32_t BASS_GetVersion()
{
    return Version;
}

int BASS_ErrorGetCode()
{
    return lastError;
}

int BASS_Init(int deviceNumber, uint32_t freq, uint32_t flags, void* win, const void* clsid)
{
    if (device.isOpen) return fail(BASS_ERROR_ALREADY);
    if (deviceNumber != -1 && deviceNumber != 1) return fail(BASS_ERROR_DEVICE);
    if (freq == 0 || freq > MaxFreq) return fail(BASS_ERROR_ILLPARAM);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return fail(BASS_ERROR_DRIVER);
    if (Mix_OpenAudio(int(freq), AUDIO_S16SYS, 2, MixerBufferFrames) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(BASS_ERROR_DRIVER);
    }
    Mix_QuerySpec(&device.outputFreq, nullptr, nullptr);
    int count = Mix_AllocateChannels(FirstMixerChannels);
    device.mixerOwner.assign(size_t(count), 0);
    device.isOpen = true;
    return succeed();
}

int BASS_Free()
{
    if (!device.isOpen) return fail(BASS_ERROR_INIT);
    Mix_HaltChannel(-1);
    Mix_HaltMusic();
    for (auto& entry : device.channels) {
        if (entry.second.isStream) Mix_FreeMusic(entry.second.music);
    }
    for (auto& entry : device.samples) Mix_FreeChunk(entry.second.chunk);
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device = Device();
    return succeed();
}

HSAMPLE BASS_SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length,
                        uint32_t max, uint32_t flags)
{
    if (!beginCall()) return 0;
    if (max < 1 || max > MaxPlaybacks) return fail(BASS_ERROR_ILLPARAM);
    std::vector<uint8_t> data;
    SDL_RWops* source = openSource(mem, file, offset, length, data);
    if (!source) return 0;
    if (!isSaneSound(source, true)) {
        SDL_RWclose(source);
        return fail(BASS_ERROR_FORMAT);
    }
    // Decodes and copies. The source is closed here: the library leaves it
    // open when some decoders fail.
    Mix_Chunk* chunk = Mix_LoadWAV_RW(source, 0);
    SDL_RWclose(source);
    if (!chunk) return fail(BASS_ERROR_FORMAT);
    HSAMPLE handle = newHandle();
    Sample& sample = device.samples[handle];
    sample.chunk = chunk;
    sample.maxChannels = max;
    sample.flags = flags;
    return succeed(handle);
}

int BASS_SampleFree(HSAMPLE handle)
{
    if (!beginCall()) return 0;
    auto it = device.samples.find(handle);
    if (it == device.samples.end()) return fail(BASS_ERROR_HANDLE);
    std::vector<uint32_t> doomed;
    for (auto& entry : device.channels) {
        if (!entry.second.isStream && entry.second.sample == handle) doomed.push_back(entry.first);
    }
    for (uint32_t channel : doomed) release(channel);
    Mix_FreeChunk(it->second.chunk);
    device.samples.erase(it);
    return succeed();
}

HCHANNEL BASS_SampleGetChannel(HSAMPLE handle, int onlynew)
{
    if (!beginCall()) return 0;
    auto it = device.samples.find(handle);
    if (it == device.samples.end()) return fail(BASS_ERROR_HANDLE);
    Sample& sample = it->second;
    if (sample.channelCount >= sample.maxChannels) return fail(BASS_ERROR_NOCHAN);
    HCHANNEL channelHandle = newHandle();
    Channel& channel = device.channels[channelHandle];
    channel.sample = handle;
    channel.flags = sample.flags & BASS_SAMPLE_LOOP;
    ++sample.channelCount;
    return succeed(channelHandle);
}

HSTREAM BASS_StreamCreateFile(int mem, const void* file, uint64_t offset, uint64_t length,
                              uint32_t flags)
{
    if (!beginCall()) return 0;
    std::vector<uint8_t> data;
    SDL_RWops* source = openSource(mem, file, offset, length, data);
    if (!source) return 0;
    if (!isSaneSound(source, false)) {
        SDL_RWclose(source);
        return fail(BASS_ERROR_FORMAT);
    }
    Mix_Music* music = Mix_LoadMUS_RW(source, 1);  // keeps reading the source while it plays
    if (!music) return fail(BASS_ERROR_FORMAT);
    HSTREAM handle = newHandle();
    Channel& channel = device.channels[handle];
    channel.isStream = true;
    channel.music = music;
    channel.data = std::move(data);  // the buffer moves with its address kept
    channel.flags = flags;
    return succeed(handle);
}

int BASS_ChannelSetFlags(uint32_t handle, uint32_t flags)
{
    if (!beginCall()) return 0;
    Channel* channel = findChannel(handle);
    if (!channel) return fail(BASS_ERROR_HANDLE);
    channel->flags = flags;
    return succeed();
}

int BASS_ChannelPlay(uint32_t handle, int restart)
{
    if (!beginCall()) return 0;
    Channel* channel = findChannel(handle);
    if (!channel) return fail(BASS_ERROR_HANDLE);
    if (channel->isPlaying) {
        if (!restart) return succeed();
        halt(*channel);
    }
    return channel->isStream ? startStream(handle, *channel) : startSampleChannel(handle, *channel);
}

int BASS_ChannelStop(uint32_t handle)
{
    if (!beginCall()) return 0;
    if (!findChannel(handle)) return fail(BASS_ERROR_HANDLE);
    finish(handle);
    return succeed();
}

int BASS_ChannelSetAttributes(uint32_t handle, int freq, int volume, int pan)
{
    if (!beginCall()) return 0;
    Channel* channel = findChannel(handle);
    if (!channel) return fail(BASS_ERROR_HANDLE);
    // Every channel plays at its own rate, centred.
    if ((freq != 0 && freq != -1) || (pan != PanUnchanged && pan != 0))
        return fail(BASS_ERROR_NOTAVAIL);
    channel->volumePct = std::clamp(volume, 0, 100);
    applyVolume(*channel);
    return succeed();
}

int BASS_ChannelGetAttributes(uint32_t handle, uint32_t* freq, uint32_t* volume, int* pan)
{
    if (!beginCall()) return 0;
    Channel* channel = findChannel(handle);
    if (!channel) return fail(BASS_ERROR_HANDLE);
    if (freq) *freq = uint32_t(device.outputFreq);
    if (volume) *volume = uint32_t(channel->volumePct);
    if (pan) *pan = 0;
    return succeed();
}

uint32_t BASS_ChannelIsActive(uint32_t handle)
{
    if (!beginCall()) return BASS_ACTIVE_STOPPED;
    Channel* channel = findChannel(handle);
    if (!channel) return fail(BASS_ERROR_HANDLE);
    return succeed(channel->isPlaying ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED);
}

uint32_t OggPageChecksum(const uint8_t* data, size_t size)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = r & 0x80000000u ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}
