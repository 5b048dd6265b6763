// The sound library interface over SDL2_mixer: samples are chunks, sample
// channels are mixer channels, streams are SDL_mixer's one music.
#include "audio_bass.h"

#include "byte_order.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
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

uint32_t startSampleChannel(uint32_t handle, Channel& channel)
{
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
               SDL_RWread(source, out, n, 1) == 1;
    }

    SDL_RWops* source;
    Sint64 start, size;
};

bool isSaneLayout(uint32_t channels, uint32_t rate, uint32_t bits)
{
    return channels >= 1 && channels <= 8 && rate >= 1 && rate <= 768000 &&
           (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

// The format before the data, the data within the file, and no loop list
// longer than its chunk.
bool isSaneWave(const SourceBytes& in)
{
    bool hasFormat = false;
    uint8_t chunk[8], f[16], loops[4];
    for (Sint64 pos = 12; in.at(pos, chunk, 8); pos += 8 + Sint64(ReadLe32(chunk + 4)) + (ReadLe32(chunk + 4) & 1)) {
        const uint32_t length = ReadLe32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0)   // the library allocates what it claims
            return hasFormat && length <= in.size - pos - 8;
        if (std::memcmp(chunk, "smpl", 4) == 0 &&
            (length < 36 || !in.at(pos + 8 + 28, loops, 4) || ReadLe32(loops) > (length - 36) / 24))
            return false;
        if (std::memcmp(chunk, "fmt ", 4) != 0)
            continue;
        if (length < 16 || !in.at(pos + 8, f, 16))
            return false;
        const uint32_t tag = ReadLe16(f), channels = ReadLe16(f + 2), rate = ReadLe32(f + 4), align = ReadLe16(f + 12),
                       bits = ReadLe16(f + 14);
        if (tag == 2 || tag == 0x11)   // ADPCM: its decoder checks its blocks
            hasFormat = isSaneLayout(channels, rate, 8) && bits == 4 && align > 0;
        else if (tag == 1 || tag == 3 || tag == 6 || tag == 7 || tag == 0xFFFE)
            hasFormat = (isSaneLayout(channels, rate, bits) || (tag == 3 && bits == 64)) &&
                        (tag != 3 || bits >= 32) && align == channels * bits / 8;
        if (!hasFormat)
            return false;
    }
    return false;
}

// The rate is an 80-bit float: a 15-bit exponent over a 64-bit mantissa.
bool isSaneAiff(const SourceBytes& in)
{
    bool hasCommon = false, hasData = false;
    uint8_t chunk[8], c[18];
    for (Sint64 pos = 12; in.at(pos, chunk, 8); pos += 8 + Sint64(ReadBe32(chunk + 4)) + (ReadBe32(chunk + 4) & 1)) {
        if (std::memcmp(chunk, "SSND", 4) == 0)
            hasData = true;
        if (std::memcmp(chunk, "COMM", 4) != 0)
            continue;
        if (ReadBe32(chunk + 4) < 18 || !in.at(pos + 8, c, 18))
            return false;
        const int shift = 16383 + 31 - int(ReadBe16(c + 8) & 0x7FFF);
        const uint32_t rate = shift >= 0 && shift < 32 ? ReadBe32(c + 10) >> shift : 0;
        hasCommon = isSaneLayout(ReadBe16(c), rate, ReadBe16(c + 6));
        if (!hasCommon)
            return false;
    }
    return hasCommon && hasData;
}

// An MPEG audio frame header: a version, a layer, a bit rate and a sample rate.
bool isMpegFrame(const uint8_t* h)
{
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && ((h[1] >> 3) & 3) != 1 && (h[1] & 0x06) != 0 &&
           (h[2] >> 4) != 15 && ((h[2] >> 2) & 3) != 3;
}

// SDL_mixer and its decoders trust the counts a header gives (a WAV of no
// channels divides by zero) and take anything unknown for a module: only the
// kinds the sound library reads pass, WAV and AIFF with their headers
// checked, Ogg, FLAC and MP3 by their marks.
bool isSaneSound(SDL_RWops* source)
{
    SourceBytes in(source);
    uint8_t h[12] = {};
    if (!in.at(0, h, 4))
        return false;
    if (std::memcmp(h, "OggS", 4) == 0 || std::memcmp(h, "fLaC", 4) == 0)
        return true;
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
        return isSaneWave(in);
    if (std::memcmp(h, "FORM", 4) == 0 && (std::memcmp(h + 8, "AIFF", 4) == 0 || std::memcmp(h + 8, "AIFC", 4) == 0))
        return isSaneAiff(in);
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
    if (!isSaneSound(source)) {
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
    if (!isSaneSound(source)) {
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
