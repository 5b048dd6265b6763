// The sound library interface over SDL2_mixer: samples are chunks, sample
// channels are mixer channels, a stream feeds SDL_mixer's one music hook.
// The layer decodes every sound itself (audio_decode.h): the mixer is handed
// PCM only.
#include "audio_bass.h"

#include "audio_decode.h"
#include "audio_music_feed.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t Version = 0x02030000;
constexpr int FirstMixerChannels = 64;
constexpr int MaxMixerChannels = 1024;
constexpr int MixerBufferFrames = 1024;
constexpr uint32_t MaxPlaybacks = 65535;
constexpr uint32_t MaxFreq = 192000;
constexpr int PanUnchanged = -101;
// What a sample may take, counted as it is decoded and before it is
// converted to the device's format, whatever its file claims: over a minute
// of CD sound, which the slowest decoder makes in about a second.
constexpr size_t MaxSampleValues = size_t(6) << 20;
constexpr uint64_t MaxConvertedBytes = uint64_t(128) << 20;
// Files larger than this are not read in.
constexpr uint64_t MaxSoundFileBytes = uint64_t(256) << 20;

struct Sample {
    Mix_Chunk* chunk = nullptr;  // owned
    uint32_t maxChannels = 0;
    uint32_t flags = 0;
    uint32_t channelCount = 0;   // live channels made from it
};

// A sample channel or a stream. Only the main thread touches these; whether
// SDL_mixer has finished one is asked with Mix_Playing and the music feed's
// end flag.
struct Channel {
    bool isStream = false;
    HSAMPLE sample = 0;            // sample channels
    std::unique_ptr<CSoundDecoder> decoder;   // streams
    uint32_t flags = 0;
    int volumePct = 100;
    bool isPlaying = false;
    int mixerChannel = -1;         // sample channels while playing
};

struct Device {
    bool isOpen = false;
    int outputFreq = 0;  // Hz
    Uint16 outputFormat = AUDIO_S16SYS;
    int outputChannels = 2;
    std::unordered_map<HSAMPLE, Sample> samples;
    std::unordered_map<uint32_t, Channel> channels;
    std::vector<uint32_t> mixerOwner;  // per mixer channel: the channel started on it, 0 = none
    uint32_t musicOwner = 0;           // the stream started on the music, 0 = none
};

Device device;
int lastError = BASS_OK;
std::string lastErrorDetail;   // which bound refused the last file, when one did
uint32_t lastHandle = 0;  // survives BASS_Free so that handles of an old session stay dead

int fail(int code)
{
    lastError = code;
    lastErrorDetail.clear();
    return 0;
}

uint32_t succeed(uint32_t result = 1)
{
    lastError = BASS_OK;
    lastErrorDetail.clear();
    return result;
}

// A file that is no sound the layer plays, with the bound that refused it
// when one did.
int failFormat(const std::string& refusal)
{
    fail(BASS_ERROR_FORMAT);
    lastErrorDetail = refusal;
    return 0;
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
        SetMusicFeedVolume(toMixerVolume(channel.volumePct));
    else
        Mix_Volume(channel.mixerChannel, toMixerVolume(channel.volumePct));
}

// Stops the channel's sound; the record stays.
void halt(Channel& channel)
{
    if (!channel.isPlaying) return;
    if (channel.isStream) {
        StopMusicFeed();
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
    if (!channel.isStream)
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
    if (device.musicOwner != 0 && HasMusicFeedEnded()) finish(device.musicOwner);
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
    if (!StartMusicFeed(*channel.decoder, (channel.flags & BASS_SAMPLE_LOOP) != 0, toMixerVolume(channel.volumePct)))
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
        uint64_t wanted = length == 0 ? available : std::min(length, available);
        isOk = wanted <= MaxSoundFileBytes;
        data.resize(isOk ? size_t(wanted) : 0);
        isOk = isOk && (data.empty() || SDL_RWread(file, data.data(), data.size(), 1) == 1);
    }
    SDL_RWclose(file);
    return isOk;
}

// A sound's bytes: a whole file, a part of a file, or a copy of the
// caller's memory. Null with the error code set on failure.
SoundBytes readSound(int mem, const void* file, uint64_t offset, uint64_t length)
try {
    if (!file) {
        fail(BASS_ERROR_FILEOPEN);
        return nullptr;
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    if (mem) {
        if (length == 0 || length > MaxSoundFileBytes) {
            fail(BASS_ERROR_ILLPARAM);
            return nullptr;
        }
        const uint8_t* start = static_cast<const uint8_t*>(file) + offset;
        bytes->assign(start, start + length);
        return bytes;
    }
    if (!readFilePart(static_cast<const char*>(file), offset, length, *bytes)) {
        fail(BASS_ERROR_FILEOPEN);
        return nullptr;
    }
    return bytes;
} catch (const std::bad_alloc&) {
    fail(BASS_ERROR_FILEOPEN);
    return nullptr;
}

// A stream's decoder, once its first frames decode: a stream damaged from its
// start is refused rather than made to end at once. refusal: the bound that
// refused the file, when one did.
std::unique_ptr<CSoundDecoder> openStream(const SoundBytes& bytes, std::string& refusal)
{
    try {
        TakeSoundRefusal();   // only this file's counts
        std::unique_ptr<CSoundDecoder> decoder = OpenSoundDecoder(bytes);
        refusal = TakeSoundRefusal();
        if (!decoder) return nullptr;
        std::vector<int16_t> values(size_t(4096) * size_t(decoder->channels));
        return decoder->read(values.data(), 4096) >= 0 ? std::move(decoder) : nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// The sound in the device's format, in memory from SDL's allocator as the
// mixer frees it; null when it would take more than MaxConvertedBytes.
Mix_Chunk* makeChunk(const std::vector<int16_t>& values, int rate, int channels, std::string& refusal)
{
    const uint64_t frames = values.size() / size_t(channels);
    const uint64_t outFrameBytes = uint64_t(SDL_AUDIO_BITSIZE(device.outputFormat) / 8) * uint64_t(device.outputChannels);
    // The resampler's own rounding and filter tail fit in the margin.
    const uint64_t capacity = (frames * uint64_t(device.outputFreq) / uint64_t(rate) + 4096) * outFrameBytes;
    if (capacity > MaxConvertedBytes) {
        refusal = "it would take more than " + std::to_string(MaxConvertedBytes >> 20) +
                  " MB once converted for the device";
        return nullptr;
    }
    SDL_AudioStream* convert = SDL_NewAudioStream(AUDIO_S16SYS, Uint8(channels), rate, device.outputFormat,
                                                  Uint8(device.outputChannels), device.outputFreq);
    auto* chunk = static_cast<Mix_Chunk*>(SDL_malloc(sizeof(Mix_Chunk)));
    auto* buffer = static_cast<Uint8*>(SDL_malloc(size_t(capacity)));
    size_t length = 0;
    bool isOk = convert && chunk && buffer;
    auto drain = [&] {
        for (int ready; isOk && (ready = SDL_AudioStreamAvailable(convert)) > 0;) {
            isOk = length + size_t(ready) <= capacity && SDL_AudioStreamGet(convert, buffer + length, ready) == ready;
            length += size_t(ready);
        }
    };
    constexpr size_t Piece = 65536;
    for (size_t at = 0; isOk && at < values.size(); at += Piece) {
        const size_t n = std::min(Piece, values.size() - at);
        isOk = SDL_AudioStreamPut(convert, values.data() + at, int(n * 2)) == 0;
        drain();
    }
    isOk = isOk && SDL_AudioStreamFlush(convert) == 0;
    drain();
    SDL_FreeAudioStream(convert);
    if (!isOk) {
        SDL_free(chunk);
        SDL_free(buffer);
        return nullptr;
    }
    chunk->allocated = 1;
    chunk->abuf = buffer;
    chunk->alen = Uint32(length / outFrameBytes * outFrameBytes);
    chunk->volume = MIX_MAX_VOLUME;
    return chunk;
}

// A sample's sound in the device's format; null when it is damaged, too
// long, or memory ran out, with the bound that refused it in refusal when
// one did. The file and what the decoder holds of it go before the
// converted sound is made.
Mix_Chunk* decodeSample(SoundBytes bytes, std::string& refusal)
{
    try {
        TakeSoundRefusal();   // only this file's counts
        std::unique_ptr<CSoundDecoder> decoder = OpenSoundDecoder(bytes);
        refusal = TakeSoundRefusal();
        bytes.reset();
        std::vector<int16_t> values;
        if (!decoder) return nullptr;
        if (!DecodeWholeSound(*decoder, MaxSampleValues, values)) {
            if (values.size() + decoder->convertedValues > MaxSampleValues)   // as that count goes
                refusal = "it holds more sample values than an effect may (" + std::to_string(MaxSampleValues) + ")";
            return nullptr;
        }
        const int rate = decoder->rate, channels = decoder->channels;
        decoder.reset();
        return makeChunk(values, rate, channels, refusal);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
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

const char* SoundErrorDetail()
{
    return lastErrorDetail.c_str();
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
    int channels = 0;
    Mix_QuerySpec(&device.outputFreq, &device.outputFormat, &channels);
    device.outputChannels = channels;
    int count = Mix_AllocateChannels(FirstMixerChannels);
    device.mixerOwner.assign(size_t(count), 0);
    device.isOpen = true;
    return succeed();
}

int BASS_Free()
{
    if (!device.isOpen) return fail(BASS_ERROR_INIT);
    Mix_HaltChannel(-1);
    StopMusicFeed();
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
    SoundBytes bytes = readSound(mem, file, offset, length);
    if (!bytes) return 0;
    std::string refusal;
    Mix_Chunk* chunk = decodeSample(std::move(bytes), refusal);
    if (!chunk) return failFormat(refusal);
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
    SoundBytes bytes = readSound(mem, file, offset, length);
    if (!bytes) return 0;
    std::string refusal;
    std::unique_ptr<CSoundDecoder> decoder = openStream(bytes, refusal);
    if (!decoder) return failFormat(refusal);
    HSTREAM handle = newHandle();
    Channel& channel = device.channels[handle];
    channel.isStream = true;
    channel.decoder = std::move(decoder);
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
