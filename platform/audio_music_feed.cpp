// Music through SDL_mixer's hook: each call decodes as many frames as the
// mixer asks for, so a damaged part costs one decoder call and ends the
// music, and no mixer decoder sees the file.
#include "audio_music_feed.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

namespace {

constexpr long InFrames = 2048;

struct MusicFeed {
    CSoundDecoder* decoder = nullptr;   // the stream's; read on the audio thread only while hooked
    SDL_AudioStream* convert = nullptr;
    bool loop = false;
    bool isDrained = false;             // the decoder ended and the converter was flushed
    bool madeSound = false;             // frames since the last start from the first frame
    std::atomic<int> volume{MIX_MAX_VOLUME};
    std::atomic<bool> ended{false};
    std::vector<int16_t> in;
    std::vector<Uint8> out;
    SDL_AudioFormat format = AUDIO_S16SYS;
};

MusicFeed feed;

// Takes the next converted bytes, decoding more when the converter runs
// dry; 0 at the end.
int nextBytes(MusicFeed& f, int wanted)
{
    for (;;) {
        const int got = SDL_AudioStreamGet(f.convert, f.out.data(), std::min<int>(wanted, int(f.out.size())));
        if (got != 0 || f.isDrained) return std::max(got, 0);
        long frames = f.decoder->read(f.in.data(), InFrames);
        if (frames < 0) return 0;   // damaged: the music ends here
        if (frames == 0 && f.loop && f.madeSound && f.decoder->rewind()) {
            f.madeSound = false;
            continue;
        }
        if (frames == 0) {
            SDL_AudioStreamFlush(f.convert);
            f.isDrained = true;
            continue;
        }
        f.madeSound = true;
        AddSoundWork(uint64_t(frames) * uint64_t(f.decoder->channels));
        if (SDL_AudioStreamPut(f.convert, f.in.data(), int(frames) * f.decoder->channels * 2) != 0) return 0;
    }
}

void SDLCALL feedMusic(void* data, Uint8* stream, int length)
{
    MusicFeed& f = *static_cast<MusicFeed*>(data);
    for (int filled = 0; filled < length && !f.ended;) {
        int got = 0;
        try {
            got = nextBytes(f, length - filled);
        } catch (const std::bad_alloc&) {   // out of memory: the music ends, the mixer goes on
        }
        if (got == 0) {
            f.ended = true;
            break;
        }
        SDL_MixAudioFormat(stream + filled, f.out.data(), f.format, Uint32(got), f.volume);
        filled += got;
    }
}

} // namespace

bool StartMusicFeed(CSoundDecoder& decoder, bool loop, int volume)
{
    StopMusicFeed();
    int freq = 0, channels = 0;
    Uint16 format = 0;
    if (!Mix_QuerySpec(&freq, &format, &channels) || !decoder.rewind()) return false;
    feed.convert = SDL_NewAudioStream(AUDIO_S16SYS, Uint8(decoder.channels), decoder.rate, format, Uint8(channels), freq);
    if (!feed.convert) return false;
    feed.decoder = &decoder;
    feed.loop = loop;
    feed.isDrained = false;
    feed.madeSound = false;
    feed.volume = volume;
    feed.ended = false;
    feed.format = format;
    feed.in.resize(size_t(InFrames) * size_t(decoder.channels));
    feed.out.resize(16384);
    Mix_HookMusic(feedMusic, &feed);
    return true;
}

void StopMusicFeed()
{
    if (!feed.decoder) return;
    Mix_HookMusic(nullptr, nullptr);
    SDL_FreeAudioStream(feed.convert);
    feed.convert = nullptr;
    feed.decoder = nullptr;
}

bool HasMusicFeedEnded()
{
    return !feed.decoder || feed.ended;
}

void SetMusicFeedVolume(int volume)
{
    feed.volume = volume;
}
