// The sound library layer on SDL's dummy and disk audio drivers.
#include "audio_bass.h"
#include "audio_decode.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <ogg/ogg.h>

#include "heap_meter.h"
#include "vorbis_encode.h"
#include "vorbis_headers.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t Freq = 22050;
constexpr int16_t ToneAmplitude = 8000;

// 16-bit mono PCM WAV of a square wave; it has no zero samples, so silence
// in the mixed output means nothing was playing.
std::vector<uint8_t> makeToneWav(uint32_t frames, uint32_t rate = Freq)
{
    std::vector<uint8_t> wav;
    auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) wav.push_back(uint8_t(v >> (8 * i))); };
    auto put16 = [&](uint32_t v) { wav.push_back(uint8_t(v)); wav.push_back(uint8_t(v >> 8)); };
    auto tag = [&](const char* t) { wav.insert(wav.end(), t, t + 4); };
    tag("RIFF"); put32(36 + frames * 2); tag("WAVE");
    tag("fmt "); put32(16); put16(1); put16(1); put32(rate); put32(rate * 2); put16(2); put16(16);
    tag("data"); put32(frames * 2);
    for (uint32_t i = 0; i < frames; ++i) put16(uint16_t((i / 20) % 2 ? -ToneAmplitude : ToneAmplitude));
    return wav;
}

// Ogg Vorbis of a 440 Hz tone, by default stereo at 44.1 kHz; its mean
// level is 8192 x 2 / pi.
constexpr double ToneOggLevel = 8192 * 2 / M_PI;
std::vector<uint8_t> encodeToneOgg(double seconds, int rate = 44100, int channels = 2, int serial = 1)
{
    std::vector<int16_t> samples(size_t(seconds * rate) * size_t(channels));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(8192 * std::sin(2 * M_PI * 440 * double(i / size_t(channels)) / rate));
    return EncodeVorbis(samples, channels, rate, 0.0f, serial, nullptr);
}

// An Ogg Vorbis stream of these headers and packets of silence, 128 frames each.
std::vector<uint8_t> silentOgg(const std::vector<std::vector<uint8_t>>& headers, int64_t packets = 16, int serial = 1)
{
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);
    std::vector<uint8_t> ogg;
    ogg_page page;
    uint8_t silence = 0;   // an audio packet of the first mode whose floor is unused
    for (int64_t i = 0; i < 3 + packets; ++i) {
        ogg_packet packet{};
        packet.packet = i < 3 ? const_cast<uint8_t*>(headers[size_t(i)].data()) : &silence;
        packet.bytes = i < 3 ? long(headers[size_t(i)].size()) : 1;
        packet.b_o_s = i == 0;
        packet.e_o_s = i == 3 + packets - 1;
        packet.granulepos = i < 3 ? 0 : 128 * (i - 3);
        packet.packetno = i;
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_flush(&stream, &page)) {
            ogg.insert(ogg.end(), page.header, page.header + page.header_len);
            ogg.insert(ogg.end(), page.body, page.body + page.body_len);
        }
    }
    ogg_stream_clear(&stream);
    return ogg;
}

// A chained Ogg file: the one-stream file again and again, each time as a
// stream of its own serial number.
std::vector<uint8_t> chainOgg(const std::vector<uint8_t>& link, uint32_t links)
{
    std::vector<uint8_t> ogg;
    for (uint32_t serial = 1; serial <= links; ++serial) {
        size_t pos = ogg.size();
        ogg.insert(ogg.end(), link.begin(), link.end());
        while (pos < ogg.size()) {
            uint8_t* p = ogg.data() + pos;
            const long headerSize = 27 + p[26];
            long bodySize = 0;
            for (long i = 27; i < headerSize; ++i) bodySize += p[i];
            for (int i = 0; i < 4; ++i) p[14 + i] = uint8_t(serial >> (8 * i));
            ogg_page page = {p, headerSize, p + headerSize, bodySize};
            ogg_page_checksum_set(&page);
            pos += size_t(headerSize + bodySize);
        }
    }
    return ogg;
}

// Files one after the other: Ogg streams of other serial numbers make a chain.
std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The values a sample of these bytes decodes to, as many as the layer
// decodes before it refuses one as too long.
size_t sampleValues(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> values;
    if (std::unique_ptr<CSoundDecoder> decoder = OpenSoundDecoder(std::make_shared<const std::vector<uint8_t>>(bytes)))
        DecodeWholeSound(*decoder, size_t(6) << 20, values);
    return values.size();
}

std::string tempPath(const std::string& name)
{
    return testing::TempDir() + "audio_bass_" + std::to_string(getpid()) + "_" + name;
}

std::string writeFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::string path = tempPath(name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

bool waitFor(const std::function<bool()>& isDone)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!isDone()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Frames the mixer has produced, counted on the audio thread: the clock of
// the disk tests, so that they wait in audio time, whatever the machine's load.
std::atomic<uint64_t> mixedFrames{0};
void SDLCALL countMixed(void*, Uint8*, int len) { mixedFrames += uint64_t(len) / 4; }

void waitMixedFrames(uint64_t frames)
{
    uint64_t target = mixedFrames + frames;
    ASSERT_TRUE(waitFor([&] { return mixedFrames >= target; }));
}

// The mixer's output device held still: it mixes nothing until released, so
// a short sound checked right after it starts cannot have ended meanwhile,
// however long the test thread stalls in between.
class CMixerHeld {
public:
    CMixerHeld()
    {
        for (SDL_AudioDeviceID id = 1; id < 16 && !Device; ++id)
            if (SDL_GetAudioDeviceStatus(id) != SDL_AUDIO_STOPPED)
                Device = id;
        if (Device)
            SDL_LockAudioDevice(Device);
    }
    ~CMixerHeld()
    {
        if (Device)
            SDL_UnlockAudioDevice(Device);
    }
    CMixerHeld(const CMixerHeld&) = delete;
    CMixerHeld& operator=(const CMixerHeld&) = delete;
    bool held() const { return Device != 0; }

private:
    SDL_AudioDeviceID Device = 0;
};

bool isDead(uint32_t handle)
{
    uint32_t volume = 0;
    return BASS_ChannelGetAttributes(handle, nullptr, &volume, nullptr) == 0 &&
           BASS_ErrorGetCode() == BASS_ERROR_HANDLE;
}

class AudioBass : public testing::Test {
protected:
    void SetUp() override
    {
        const char* driver = getenv("SDL_AUDIODRIVER");
        SavedDriver = driver ? driver : "";
    }
    void initWith(const char* driver)
    {
        setenv("SDL_AUDIODRIVER", driver, 1);
        ASSERT_NE(BASS_Init(-1, Freq, 0, nullptr, nullptr), 0) << BASS_ErrorGetCode();
    }
    void TearDown() override
    {
        Mix_SetPostMix(nullptr, nullptr);
        BASS_Free();
        for (const std::string& path : Files) std::remove(path.c_str());
        if (SavedDriver.empty())
            unsetenv("SDL_AUDIODRIVER");
        else
            setenv("SDL_AUDIODRIVER", SavedDriver.c_str(), 1);
    }
    HSAMPLE loadTone(uint32_t frames, uint32_t max = 1000)
    {
        std::vector<uint8_t> wav = makeToneWav(frames);
        return BASS_SampleLoad(1, wav.data(), 0, uint32_t(wav.size()), max, 0);
    }
    std::string fixture(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        Files.push_back(writeFile(name, bytes));
        return Files.back();
    }
    std::vector<std::string> Files;
    std::string SavedDriver;
};

// One run of sound in the disk driver's output (left channel).
struct Segment { size_t frames; double meanLevel; };

// Splits the raw 16-bit stereo output on silences of 64 frames or more.
std::vector<Segment> readSegments(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<char> raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<Segment> segments;
    size_t zeros = 64, count = 0; double sum = 0;
    for (size_t i = 0; i + 4 <= raw.size(); i += 4) {
        int16_t left; std::memcpy(&left, &raw[i], 2);
        if (left == 0) {
            if (++zeros == 64 && count) { segments.push_back({count, sum / count}); count = 0; sum = 0; }
            continue;
        }
        count += zeros < 64 ? zeros + 1 : 1;
        zeros = 0;
        sum += std::abs(left);
    }
    if (count) segments.push_back({count, sum / count});
    return segments;
}

class AudioBassDisk : public AudioBass {
protected:
    void SetUp() override
    {
        AudioBass::SetUp();
        OutputPath = tempPath("out.raw");
        Files.push_back(OutputPath);
        setenv("SDL_DISKAUDIOFILE", OutputPath.c_str(), 1);
        setenv("SDL_DISKAUDIODELAY", "10", 1);  // about 4.6 times faster than real time
        initWith("disk");
        int freq = 0, channels = 0; Uint16 format = 0;
        Mix_QuerySpec(&freq, &format, &channels);
        ASSERT_EQ(freq, int(Freq)); ASSERT_EQ(format, AUDIO_S16SYS); ASSERT_EQ(channels, 2);
        Mix_SetPostMix(countMixed, nullptr);
    }
    std::vector<Segment> finishOutput()
    {
        waitMixedFrames(3 * 1024);  // a silence after the last sound
        Mix_SetPostMix(nullptr, nullptr);
        EXPECT_NE(BASS_Free(), 0);  // closes the output file
        return readSegments(OutputPath);
    }
    std::string OutputPath;
};

TEST_F(AudioBass, WithoutDeviceEveryCallFailsCleanly)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0203u);
    EXPECT_EQ(BASS_Init(-1, Freq, 0, nullptr, nullptr), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DRIVER);

    std::vector<uint8_t> wav = makeToneWav(100);
    uint32_t freq = 0, volume = 0;
    const std::vector<std::pair<const char*, std::function<uint32_t()>>> calls = {
        {"SampleLoad", [&] { return BASS_SampleLoad(1, wav.data(), 0, uint32_t(wav.size()), 10, 0); }},
        {"SampleGetChannel", [] { return BASS_SampleGetChannel(1, 0); }},
        {"SampleFree", [] { return uint32_t(BASS_SampleFree(1)); }},
        {"StreamCreateFile", [&] { return BASS_StreamCreateFile(1, wav.data(), 0, wav.size(), 0); }},
        {"ChannelSetFlags", [] { return uint32_t(BASS_ChannelSetFlags(1, BASS_STREAM_AUTOFREE)); }},
        {"ChannelPlay", [] { return uint32_t(BASS_ChannelPlay(1, 1)); }},
        {"ChannelStop", [] { return uint32_t(BASS_ChannelStop(1)); }},
        {"ChannelSetAttributes", [] { return uint32_t(BASS_ChannelSetAttributes(1, 0, 50, -101)); }},
        {"ChannelGetAttributes", [&] { return uint32_t(BASS_ChannelGetAttributes(1, &freq, &volume, nullptr)); }},
        {"ChannelIsActive", [] { return BASS_ChannelIsActive(1); }},
        {"Free", [] { return uint32_t(BASS_Free()); }},
    };
    for (const auto& call : calls) {
        EXPECT_EQ(call.second(), 0u) << call.first;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT) << call.first;
    }
}

TEST_F(AudioBass, InitAndFreeTwice)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_EQ(BASS_Init(5, Freq, 0, nullptr, nullptr), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_DEVICE);
    EXPECT_EQ(BASS_Init(-1, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);

    initWith("dummy");
    EXPECT_EQ(BASS_Init(-1, Freq, 0, nullptr, nullptr), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ALREADY);
    HSAMPLE sample = loadTone(100);
    HCHANNEL channel = BASS_SampleGetChannel(sample, 0);
    ASSERT_NE(channel, 0u);
    EXPECT_NE(BASS_ChannelPlay(channel, 1), 0);

    EXPECT_NE(BASS_Free(), 0);
    EXPECT_EQ(BASS_Free(), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_INIT);

    // A new session works, and handles of the old one stay dead.
    initWith("dummy");
    EXPECT_TRUE(isDead(channel));
    EXPECT_EQ(BASS_SampleGetChannel(sample, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_NE(loadTone(100), 0u);
}

TEST_F(AudioBass, LoadingReportsHandlesAndErrors)
{
    initWith("dummy");
    std::vector<uint8_t> wav = makeToneWav(200);
    std::vector<uint8_t> embedded;  // a sound between unrelated bytes
    embedded.reserve(wav.size() + 150);
    embedded.resize(100, 'x');
    embedded.insert(embedded.end(), wav.begin(), wav.end());
    embedded.resize(embedded.size() + 50, 'y');
    std::string wavPath = fixture("tone.wav", wav);
    std::string embeddedPath = fixture("embedded.bin", embedded);
    std::string junkPath = fixture("junk.wav", std::vector<uint8_t>(300, 'z'));
    std::vector<uint8_t> silent = wav;   // a header of no channels: the mixer would divide by it
    silent[22] = 0;
    std::string silentPath = fixture("silent.wav", silent);
    std::string missingPath = tempPath("missing.wav");
    // Rates no real sound has: the mixer's conversion to the device rate
    // overran its buffer.
    std::string oneHzPath = std::string(ENGINE_SOURCE_DIR) + "/fuzz/regressions/sound/wav-mono-at-1-hz";
    std::string slowPath = fixture("slow.wav", makeToneWav(200, 999));
    std::string lowestPath = fixture("lowest.wav", makeToneWav(200, 1000));
    std::string fastPath = fixture("fast.wav", makeToneWav(200, 384001));
    // A Vorbis setup header whose residue codebooks have no dimensions: the
    // decoder divided by them.
    std::string flatBookPath = std::string(ENGINE_SOURCE_DIR) + "/fuzz/regressions/sound/ogg-codebooks-of-no-dimensions";
    // One codeword length changed: the decoder refused that codebook and went
    // on with the later ones zeroed.
    std::string badTreePath = std::string(ENGINE_SOURCE_DIR) + "/fuzz/regressions/sound/ogg-codebook-lengths-of-no-prefix-code";
    // FLAC whose metadata runs past the end: the decoder made its output
    // stream, failed and kept it.
    std::string flacPath = std::string(ENGINE_SOURCE_DIR) + "/fuzz/seeds/sound/tone.flac";
    std::string longInfoPath = std::string(ENGINE_SOURCE_DIR) + "/fuzz/regressions/sound/flac-stream-info-too-long-leaks-its-stream";

    struct Case { const char* what; int mem; const void* file; uint64_t offset; uint32_t length; uint32_t max; int error; };
    const Case cases[] = {
        {"file", 0, wavPath.c_str(), 0, 0, 1000, BASS_OK},
        {"part of a file", 0, embeddedPath.c_str(), 100, uint32_t(wav.size()), 1000, BASS_OK},
        {"memory", 1, wav.data(), 0, uint32_t(wav.size()), 1, BASS_OK},
        {"memory at an offset", 1, embedded.data(), 100, uint32_t(wav.size()), 65535, BASS_OK},
        {"missing file", 0, missingPath.c_str(), 0, 0, 1000, BASS_ERROR_FILEOPEN},
        {"offset past the end", 0, wavPath.c_str(), 100000, 0, 1000, BASS_ERROR_FILEOPEN},
        {"no name", 0, nullptr, 0, 0, 1000, BASS_ERROR_FILEOPEN},
        {"not a sound", 0, junkPath.c_str(), 0, 0, 1000, BASS_ERROR_FORMAT},
        {"no channels", 0, silentPath.c_str(), 0, 0, 1000, BASS_ERROR_FORMAT},
        {"1 Hz", 0, oneHzPath.c_str(), 0, 0, 1000, BASS_ERROR_FORMAT},
        {"999 Hz", 0, slowPath.c_str(), 0, 0, 1000, BASS_ERROR_FORMAT},
        {"1000 Hz", 0, lowestPath.c_str(), 0, 0, 1000, BASS_OK},
        {"384001 Hz", 0, fastPath.c_str(), 0, 0, 1000, BASS_ERROR_FORMAT},
        {"Vorbis codebook of no dimensions", 0, flatBookPath.c_str(), 0, 0, 1000, BASS_ERROR_FORMAT},
        {"Vorbis codeword lengths of no prefix code", 0, badTreePath.c_str(), 0, 0, 1000, BASS_ERROR_FORMAT},
        {"FLAC", 0, flacPath.c_str(), 0, 0, 1000, BASS_OK},
        {"FLAC metadata past the end", 0, longInfoPath.c_str(), 0, 0, 1000, BASS_ERROR_FORMAT},
        {"part that is not a sound", 0, embeddedPath.c_str(), 0, 100, 1000, BASS_ERROR_FORMAT},
        {"empty memory", 1, wav.data(), 0, 0, 1000, BASS_ERROR_ILLPARAM},
        {"max 0", 0, wavPath.c_str(), 0, 0, 0, BASS_ERROR_ILLPARAM},
        {"max too high", 0, wavPath.c_str(), 0, 0, 65536, BASS_ERROR_ILLPARAM},
    };
    std::vector<uint32_t> handles;
    for (const Case& c : cases) {
        HSAMPLE sample = BASS_SampleLoad(c.mem, c.file, c.offset, c.length, c.max, 1);
        EXPECT_EQ(BASS_ErrorGetCode(), c.error) << c.what;
        EXPECT_STREQ(SoundErrorDetail(), "") << c.what << ": refused by no bound";
        EXPECT_EQ(sample != 0, c.error == BASS_OK) << c.what;
        if (sample) handles.push_back(sample);
        HSTREAM stream = BASS_StreamCreateFile(c.mem, c.file, c.offset, c.length, 0);
        if (c.error != BASS_ERROR_ILLPARAM || c.mem) {
            EXPECT_EQ(BASS_ErrorGetCode(), c.error) << c.what << " (stream)";
            EXPECT_EQ(stream != 0, c.error == BASS_OK) << c.what << " (stream)";
        }
        if (stream) handles.push_back(stream);
    }
    auto thenJunk = [&](const std::string& source, const char* name) {
        std::vector<uint8_t> bytes = readBytes(std::string(ENGINE_SOURCE_DIR) + source);
        bytes.resize(bytes.size() + (size_t(4) << 20), 'O');
        return fixture(name, bytes);
    };
    // Damaged files, most kept with the fuzz inputs: a sample is refused or
    // decoded whole, a stream opens or is refused; none costs more work than
    // its size bounds (every byte a decoder reads counts) or more than a
    // bounded amount of memory, whatever its headers claim, and a stream
    // that opens plays until it ends or is stopped.
    auto kept = [](const char* name) { return std::string(ENGINE_SOURCE_DIR) + "/fuzz/regressions/sound/" + name; };
    std::vector<uint8_t> claims4G = makeToneWav(300);
    for (int i = 0; i < 4; ++i) claims4G[40 + i] = uint8_t(0xFFFFFF00u >> (8 * i));
    // A Vorbis link of large codebooks besides a small one.
    constexpr uint32_t Large = 1u << 18;
    auto linkOf = [](SBook book, int count) {
        std::vector<SBook> books(size_t(count), book);
        books.insert(books.begin(), SBook{2, 1, 0});
        return silentOgg(makeHeaders(makeSetup(books, 0, 1)));
    };
    // The headers of silentOgg's links at another rate and channel count.
    auto relayout = [](uint32_t rate, uint8_t channels) {
        std::vector<std::vector<uint8_t>> headers = makeHeaders(makeSetup({{2, 1, 0}}, 0, 1));
        headers[0][11] = channels;
        for (int i = 0; i < 4; ++i) headers[0][size_t(12 + i)] = uint8_t(rate >> (8 * i));
        return headers;
    };
    std::vector<std::vector<uint8_t>> wideBlocks = relayout(48000, 8);
    wideBlocks[0][28] = 0xDD;   // blocks of 8192 frames
    // The start of what the layer tells of the bound that refused the file as
    // a sample and as a stream, when given ("" for none).
    struct Damaged {
        std::string file; int sampleError; int streamError;
        const char* sampleRefusal = nullptr; const char* streamRefusal = nullptr;
    };
    const Damaged damaged[] = {
        // Vorbis codebooks of more entries than the decoder's stack holds.
        {kept("v_entries_650000.ogg"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        {kept("v_entries_700000.ogg"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT,
         "a Vorbis codebook has more than 262144 entries", "a Vorbis codebook has more than 262144 entries"},
        {kept("o_menu_then_link_700000.ogg"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        // Codebooks, lattices and residues whose set-up takes seconds and gigabytes.
        {kept("r_check_only_8388607x16.ogg"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        {kept("r_check_only_8388607x256.ogg"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        {kept("v_lookup1_4095x4095_x16.ogg"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        {kept("v_lookup1_4095x4095_x64.ogg"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        {kept("v_resmaps26_x64.ogg"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        // Long sounds in small files, whatever length they claim: too long
        // for a sample, fine as a stream.
        {kept("f_bomb_1000frames_unknown_total.flac"), BASS_ERROR_FORMAT, BASS_OK},
        {kept("f_bomb_4000frames_unknown_total.flac"), BASS_ERROR_FORMAT, BASS_OK},
        {kept("v_long_blocks_50000_packets_granule_128.ogg"), BASS_ERROR_FORMAT, BASS_OK},
        {kept("p_opus_silence_30KB.ogg"), BASS_ERROR_FORMAT, BASS_OK},
        {kept("p_opus_silence_100KB.ogg"), BASS_ERROR_FORMAT, BASS_OK},
        // Seconds at 1 kHz mono, then a link of 20 million values of silence
        // at 384 kHz in 8 channels that become a few thousand once converted:
        // a sample counts what the link decodes to.
        {fixture("converted_silence.ogg", concat({silentOgg(relayout(1000, 1), 40), silentOgg(relayout(384000, 8), 20000, 2)})),
         BASS_ERROR_FORMAT, BASS_OK, "it holds more sample values than an effect may", ""},
        // Opus whose times are damaged after its comments: the stream plays
        // until the damage.
        {kept("opus-comments-then-a-bad-timestamp-leaked"), BASS_ERROR_FORMAT, BASS_OK},
        // FLAC frames of fewer channels than the stream declares.
        {kept("f_tone_one_bit_flip_byte20.flac"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        // A loop list after the data, a WAV cut short, an AIFF sound chunk
        // past the end: each plays what it holds.
        {kept("w_smpl_after_data_loops_huge.wav"), BASS_OK, BASS_OK},
        {kept("w_smpl_after_data_loops_1000.wav"), BASS_OK, BASS_OK},
        {kept("w_click_truncated_1255.wav"), BASS_OK, BASS_OK},
        {kept("a_ssnd_claims_4G.aiff"), BASS_OK, BASS_OK},
        // A Vorbis tone then megabytes of junk: the library searched back from
        // the end for the last page, reading to the end at each step.
        {thenJunk("/data/sounds/music/menu.ogg", "tone_then_junk.ogg"), BASS_OK, BASS_OK},
        // An MP3 tone then junk: the library gives up looking for a next frame.
        {thenJunk("/fuzz/seeds/sound/tone.mp3", "tone_then_junk.mp3"), BASS_OK, BASS_OK},
        // A WAV of 300 frames whose data chunk claims 4 GB: SDL allocated
        // what a chunk claims.
        {fixture("claims_4g.wav", claims4G), BASS_OK, BASS_OK},
        // 290 links of a 3-s tone: too long for a sample, fine as music.
        {fixture("chained.ogg", chainOgg(encodeToneOgg(3), 290)), BASS_ERROR_FORMAT, BASS_OK},
        // Codebooks whose headers or tables take more than the decoder may
        // hold for a link, or whose tables take too long to build link
        // after link; links that each fit, whatever they hold together.
        {fixture("link_headers.ogg", linkOf({Large, 16, 2}, 2)), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        {fixture("link_tables.ogg", linkOf({Large, 31, 1}, 2)), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT,
         "the Vorbis decode tables of a link take more than", "the Vorbis decode tables of a link take more than"},
        {fixture("file_tables.ogg", chainOgg(linkOf({Large, 31, 1}, 1), 5)), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT},
        {fixture("file_headers.ogg", chainOgg(linkOf({Large, 8, 2}, 1), 4)), BASS_OK, BASS_OK},
        // 400 links of tables that each fit, declared in a few bytes: the
        // decoder took 20 s to set them up. Then 300 real links of a 1-s tone,
        // which take more tables in all than a link may: too long for a
        // sample, fine as music, refused by no bound.
        {fixture("hostile_chain.ogg", chainOgg(linkOf({Large, 1, 0}, 7), 400)), BASS_ERROR_FORMAT,
         BASS_ERROR_FORMAT, "the Vorbis decode tables of all its links take more than",
         "the Vorbis decode tables of all its links take more than"},
        {fixture("chained_1s.ogg", chainOgg(encodeToneOgg(1), 300)), BASS_ERROR_FORMAT, BASS_OK,
         "it holds more sample values than an effect may", ""},
        // Links of the largest blocks in 8 channels and no tables: each
        // link's own set-up counts. Then a file damaged as such after those
        // refused by bounds: no bound is named.
        {fixture("wide_blocks.ogg", chainOgg(silentOgg(wideBlocks, 1), 300)), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT,
         "the Vorbis decode tables of all its links", "the Vorbis decode tables of all its links"},
        {kept("f_si_channels_2_frames_mono.flac"), BASS_ERROR_FORMAT, BASS_ERROR_FORMAT, "", ""},
    };
    auto isRefusal = [](const char* start) {
        const std::string detail = SoundErrorDetail();
        return detail.rfind(start, 0) == 0 && detail.empty() == !*start;
    };
    for (const Damaged& d : damaged) {
        const uint64_t workBefore = SoundWorkDone();
        CHeapMeter heap;
        HSAMPLE sample = BASS_SampleLoad(0, d.file.c_str(), 0, 0, 1000, 1);
        EXPECT_EQ(BASS_ErrorGetCode(), d.sampleError) << d.file;
        EXPECT_EQ(sample != 0, d.sampleError == BASS_OK) << d.file;
        EXPECT_TRUE(!d.sampleRefusal || isRefusal(d.sampleRefusal)) << d.file << ": " << SoundErrorDetail();
        if (sample) handles.push_back(sample);
        HSTREAM stream = BASS_StreamCreateFile(0, d.file.c_str(), 0, 0, BASS_STREAM_AUTOFREE);
        EXPECT_EQ(BASS_ErrorGetCode(), d.streamError) << d.file << " (stream)";
        EXPECT_EQ(stream != 0, d.streamError == BASS_OK) << d.file << " (stream)";
        EXPECT_TRUE(!d.streamRefusal || isRefusal(d.streamRefusal)) << d.file << " (stream): " << SoundErrorDetail();
        // About 6 million values decoded before a sample is refused as too
        // long, held while their array grows; the file read a few times, a
        // chained one's codebooks looked at link by link.
        const uint64_t work = SoundWorkDone() - workBefore, peak = heap.peakBytes();
        const std::vector<uint8_t> bytes = readBytes(d.file);
        EXPECT_LT(work, (uint64_t(8) << 20) + 8 * bytes.size()) << d.file;
        EXPECT_LT(peak, uint64_t(48) << 20) << d.file;
        if (sample) {
            EXPECT_GE(peak, 2 * sampleValues(bytes)) << d.file << ": the meter sees the values decoded";
        }
        if (!stream) continue;
        EXPECT_NE(BASS_ChannelPlay(stream, 1), 0) << d.file;
        BASS_ChannelStop(stream);
    }
    // A WAV cut short: the frames the file holds, not the length it claims.
    std::vector<uint8_t> cut = makeToneWav(1000);
    cut.resize(44 + 2 * 300 + 1);
    HSAMPLE cutSample = BASS_SampleLoad(1, cut.data(), 0, uint32_t(cut.size()), 1, 0);
    EXPECT_NE(cutSample, 0u) << BASS_ErrorGetCode();
    if (cutSample) handles.push_back(cutSample);

    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end()) << "handles are unique";

    // A sample is converted whole: one too large once at the device rate is
    // refused; as a stream it plays.
    std::vector<uint8_t> long1000Hz = makeToneWav(3000000, 1000);
    EXPECT_EQ(BASS_SampleLoad(1, long1000Hz.data(), 0, uint32_t(long1000Hz.size()), 1, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FORMAT);
    EXPECT_EQ(std::string(SoundErrorDetail()).rfind("it would take more than 128 MB once converted", 0), 0u);
    HSTREAM longStream = BASS_StreamCreateFile(1, long1000Hz.data(), 0, long1000Hz.size(), 0);
    EXPECT_NE(longStream, 0u) << BASS_ErrorGetCode();
    BASS_ChannelStop(longStream);

    // Handles of one kind are refused where another kind is wanted.
    HSAMPLE sample = handles.front();
    HSTREAM stream = BASS_StreamCreateFile(1, wav.data(), 0, wav.size(), 0);
    EXPECT_EQ(BASS_SampleGetChannel(stream, 0), 0u);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelPlay(sample, 1), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_SampleFree(stream), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelStop(0), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

// A long effect at a low rate, as WAV and as AIFF: its load holds no more
// than the file, its values and the converted sound at once, so it fits a
// small address space as a FLAC of it does.
TEST_F(AudioBass, LongPcmEffectHoldsTheFileItsValuesAndItsConversionOnly)
{
    initWith("dummy");
    constexpr uint32_t Rate = 8000, Frames = 5000000;   // 10 MB of 16-bit mono: over ten minutes
    std::vector<uint8_t> wav = makeToneWav(Frames, Rate);
    std::vector<uint8_t> aiff;
    auto put = [&](uint64_t v, int bytes) { for (int i = bytes - 1; i >= 0; --i) aiff.push_back(uint8_t(v >> (8 * i))); };
    auto tag = [&](const char* t) { aiff.insert(aiff.end(), t, t + 4); };
    tag("FORM"); put(4 + 26 + 16 + Frames * 2, 4); tag("AIFF");
    tag("COMM"); put(18, 4); put(1, 2); put(Frames, 4); put(16, 2);
    put(16383 + 12, 2); put(uint64_t(Rate) << 51, 8);   // 8000 as an 80-bit float
    tag("SSND"); put(8 + Frames * 2, 4); put(0, 8);
    for (size_t i = 44; i < wav.size(); i += 2) { aiff.push_back(wav[i + 1]); aiff.push_back(wav[i]); }
    const uint64_t converted = uint64_t(Frames) * Freq / Rate * 4;
    for (const std::string& path : {fixture("long.wav", wav), fixture("long.aiff", aiff)}) {
        CHeapMeter heap;
        HSAMPLE sample = BASS_SampleLoad(0, path.c_str(), 0, 0, 1, 0);
        EXPECT_NE(sample, 0u) << path << ": " << BASS_ErrorGetCode();
        const uint64_t peak = heap.peakBytes();
        EXPECT_LT(peak, wav.size() + Frames * 2 + converted + (1 << 20)) << path;
        EXPECT_GE(peak, Frames * 2) << path << ": the meter sees the values decoded";
        BASS_SampleFree(sample);
    }
}

// Sounds of several parts play every part, as an effect and as music: the
// values are those of the whole sound at the layout it opened with, the
// same whether decoded whole or piece by piece as the music is, also after
// the music restarts from its middle.
TEST_F(AudioBass, SoundsDecodeToTheirWholeLength)
{
    initWith("dummy");
    // A 13-byte chunk before the data, then its pad byte.
    std::vector<uint8_t> listWav = makeToneWav(3000);
    const uint8_t list[] = {'L', 'I', 'S', 'T', 13, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 1, 0, 0, 0, 'x', 0};
    listWav.insert(listWav.begin() + 36, std::begin(list), std::end(list));
    listWav[4] = uint8_t(listWav.size() - 8);
    listWav[5] = uint8_t((listWav.size() - 8) >> 8);

    // spread: how far a quarter second's level may be from the tone's.
    struct Row { const char* what; std::vector<uint8_t> bytes; size_t frames; int channels; double level; double spread = 0.05; };
    const Row rows[] = {
        {"Ogg links of one layout", chainOgg(encodeToneOgg(3), 3), 9 * 44100, 2, ToneOggLevel},
        {"Ogg links of other rates and channel counts",
         concat({encodeToneOgg(3, 44100, 2, 1), encodeToneOgg(3, 22050, 1, 2), encodeToneOgg(3, 48000, 2, 3)}),
         9 * 44100, 2, ToneOggLevel},
        {"Ogg mono link, then a stereo one", concat({encodeToneOgg(1, 22050, 1, 1), encodeToneOgg(1, 22050, 2, 2)}),
         2 * 22050, 1, ToneOggLevel},
        {"WAV with a chunk of odd length", listWav, 3000, 1, ToneAmplitude},
        // 0.5 s of the tone, at 44.1 kHz stereo, then 22 frames of 576 at
        // 22.05 kHz mono, each made two; the encoder left the tone 5% lower,
        // and the second part's lead-in, 50 ms of near silence, a fifth of a
        // quarter second.
        {"MP3 of a stereo part, then a mono one at half the rate",
         readBytes(std::string(ENGINE_SOURCE_DIR) + "/fuzz/seeds/sound/tone-then-mono.mp3"), 22050 + 2 * 22 * 576, 2,
         ToneOggLevel * 0.95, 0.25},
    };
    for (const Row& row : rows) {
        HSAMPLE sample = BASS_SampleLoad(1, row.bytes.data(), 0, uint32_t(row.bytes.size()), 1, 0);
        EXPECT_NE(sample, 0u) << row.what << ": " << BASS_ErrorGetCode();
        HSTREAM stream = BASS_StreamCreateFile(1, row.bytes.data(), 0, row.bytes.size(), 0);
        EXPECT_NE(stream, 0u) << row.what << ": " << BASS_ErrorGetCode();
        BASS_SampleFree(sample);
        BASS_ChannelStop(stream);

        auto bytes = std::make_shared<const std::vector<uint8_t>>(row.bytes);
        std::vector<int16_t> effect;
        std::unique_ptr<CSoundDecoder> decoder = OpenSoundDecoder(bytes);
        ASSERT_NE(decoder, nullptr) << row.what;
        EXPECT_TRUE(DecodeWholeSound(*decoder, size_t(6) << 20, effect)) << row.what;
        EXPECT_EQ(effect.size(), row.frames * size_t(row.channels)) << row.what;
        // Every quarter second at the level and pitch of the tone, 110 cycles:
        // no part silent, out of shape or played at another speed.
        const size_t window = size_t(decoder->rate / 4) * size_t(row.channels);
        for (size_t at = 0; at + window <= effect.size(); at += window) {
            double sum = 0;
            int rises = 0;
            for (size_t i = at; i < at + window; ++i) {
                sum += std::abs(effect[i]);
                rises += i >= at + size_t(row.channels) && effect[i - size_t(row.channels)] < 0 && effect[i] >= 0;
            }
            EXPECT_NEAR(sum / double(window), row.level, row.level * row.spread) << row.what << " at value " << at;
            EXPECT_NEAR(rises / row.channels, 110, 110 * row.spread) << row.what << " at value " << at;
        }

        // As the music reads it: opened, stopped in its middle, restarted,
        // and looped.
        std::unique_ptr<CSoundDecoder> music = OpenSoundDecoder(bytes);
        ASSERT_NE(music, nullptr) << row.what;
        std::vector<int16_t> piece(2048 * size_t(row.channels));
        for (size_t frames = 0; frames < row.frames / 2;) {
            const long got = music->read(piece.data(), 2048);
            ASSERT_GT(got, 0) << row.what;
            frames += size_t(got);
        }
        for (int pass = 0; pass < 2; ++pass) {
            ASSERT_TRUE(music->rewind()) << row.what;
            std::vector<int16_t> values;
            for (long got; (got = music->read(piece.data(), 2048)) > 0;)
                values.insert(values.end(), piece.begin(), piece.begin() + got * row.channels);
            EXPECT_TRUE(values == effect) << row.what << ", pass " << pass << ": " << values.size() << " values";
        }
    }
}

TEST_F(AudioBass, VolumeIsClampedToWholeHundredths)
{
    initWith("dummy");
    HCHANNEL channel = BASS_SampleGetChannel(loadTone(100), 0);
    ASSERT_NE(channel, 0u);
    uint32_t volume = 0, freq = 0;
    int pan = 7;
    ASSERT_NE(BASS_ChannelGetAttributes(channel, &freq, &volume, &pan), 0);
    EXPECT_EQ(volume, 100u) << "a new channel is at full volume";
    EXPECT_EQ(freq, Freq);
    EXPECT_EQ(pan, 0);

    const std::pair<int, uint32_t> cases[] = {{80, 80}, {48, 48}, {19, 19}, {104, 100},
                                              {100000, 100}, {0, 0}, {-5, 0}, {100, 100}};
    for (const auto& c : cases) {
        EXPECT_NE(BASS_ChannelSetAttributes(channel, 0, c.first, -101), 0) << c.first;
        ASSERT_NE(BASS_ChannelGetAttributes(channel, nullptr, &volume, nullptr), 0);
        EXPECT_EQ(volume, c.second) << c.first;
    }
    // Rate and position changes are not offered; they fail and change nothing.
    ASSERT_NE(BASS_ChannelSetAttributes(channel, -1, 30, 0), 0);
    EXPECT_EQ(BASS_ChannelSetAttributes(channel, 44100, 60, -101), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(BASS_ChannelSetAttributes(channel, 0, 60, -50), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    ASSERT_NE(BASS_ChannelGetAttributes(channel, nullptr, &volume, nullptr), 0);
    EXPECT_EQ(volume, 30u);
}

TEST_F(AudioBass, ChannelsEndByThemselvesAndAutoFreeOnesGo)
{
    initWith("dummy");
    HSAMPLE sample = loadTone(441, 2);  // 20 ms
    HCHANNEL keeper = BASS_SampleGetChannel(sample, 0);
    HCHANNEL autoFree = BASS_SampleGetChannel(sample, 0);
    ASSERT_NE(keeper, 0u);
    ASSERT_NE(autoFree, 0u);
    EXPECT_EQ(BASS_SampleGetChannel(sample, 0), 0u) << "the sample allows two channels";
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOCHAN);

    EXPECT_EQ(BASS_ChannelIsActive(autoFree), BASS_ACTIVE_STOPPED) << "set up, not playing";
    ASSERT_NE(BASS_ChannelSetFlags(autoFree, BASS_STREAM_AUTOFREE), 0);
    {
        CMixerHeld mixer;
        ASSERT_TRUE(mixer.held());
        ASSERT_NE(BASS_ChannelPlay(autoFree, 1), 0);
        ASSERT_NE(BASS_ChannelPlay(keeper, 1), 0);
        EXPECT_EQ(BASS_ChannelIsActive(autoFree), BASS_ACTIVE_PLAYING);
    }
    EXPECT_TRUE(waitFor([&] { return isDead(autoFree); }));
    EXPECT_TRUE(waitFor([&] { return BASS_ChannelIsActive(keeper) == BASS_ACTIVE_STOPPED; }));
    EXPECT_FALSE(isDead(keeper));

    // The freed channel gave its place back; the kept one plays again.
    HCHANNEL next = BASS_SampleGetChannel(sample, 0);
    EXPECT_NE(next, 0u);
    {
        CMixerHeld mixer;
        EXPECT_NE(BASS_ChannelPlay(keeper, 0), 0);
        EXPECT_EQ(BASS_ChannelIsActive(keeper), BASS_ACTIVE_PLAYING);
    }

    // Stopping frees an auto-free channel, playing or not, and keeps the others.
    ASSERT_NE(BASS_ChannelSetFlags(next, BASS_STREAM_AUTOFREE), 0);
    EXPECT_NE(BASS_ChannelStop(next), 0);
    EXPECT_TRUE(isDead(next));
    EXPECT_NE(BASS_ChannelStop(keeper), 0);
    EXPECT_EQ(BASS_ChannelIsActive(keeper), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(BASS_ChannelStop(next), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);

    // Freeing the sample takes its channels; freeing it again is refused.
    EXPECT_NE(BASS_SampleFree(sample), 0);
    EXPECT_TRUE(isDead(keeper));
    EXPECT_EQ(BASS_SampleFree(sample), 0);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(AudioBass, ManyChannelsPlayAtOnce)
{
    initWith("dummy");
    HSAMPLE sample = loadTone(Freq);  // 1 s, so none ends during the test
    std::vector<HCHANNEL> channels;
    for (int i = 0; i < 150; ++i) {  // more than the mixer starts with
        HCHANNEL channel = BASS_SampleGetChannel(sample, 0);
        ASSERT_NE(channel, 0u);
        ASSERT_NE(BASS_ChannelPlay(channel, 1), 0) << i << ": " << BASS_ErrorGetCode();
        channels.push_back(channel);
    }
    for (HCHANNEL channel : channels) EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_PLAYING);
}

TEST_F(AudioBass, StreamsEndAndOnlyOnePlays)
{
    initWith("dummy");
    std::string path = fixture("music.wav", makeToneWav(441));
    HSTREAM first = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_AUTOFREE);
    HSTREAM second = BASS_StreamCreateFile(0, path.c_str(), 0, 0, 0);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);

    {
        CMixerHeld mixer;
        ASSERT_TRUE(mixer.held());
        ASSERT_NE(BASS_ChannelPlay(first, 1), 0);  // once, then it frees itself
        EXPECT_EQ(BASS_ChannelIsActive(first), BASS_ACTIVE_PLAYING);
    }
    EXPECT_TRUE(waitFor([&] { return isDead(first); }));

    ASSERT_NE(BASS_ChannelSetFlags(second, BASS_SAMPLE_LOOP), 0);
    ASSERT_NE(BASS_ChannelPlay(second, 1), 0);
    HSTREAM third = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_AUTOFREE | BASS_SAMPLE_LOOP);
    ASSERT_NE(BASS_ChannelPlay(third, 1), 0);
    EXPECT_EQ(BASS_ChannelIsActive(second), BASS_ACTIVE_STOPPED) << "the new stream ended the old";
    EXPECT_EQ(BASS_ChannelIsActive(third), BASS_ACTIVE_PLAYING);
    EXPECT_NE(BASS_ChannelStop(third), 0);
    EXPECT_TRUE(isDead(third));
    EXPECT_NE(BASS_ChannelPlay(second, 1), 0) << "a stopped stream without auto-free plays again";
}

TEST_F(AudioBassDisk, MixedLevelFollowsVolume)
{
    HSAMPLE sample = loadTone(2205);  // 100 ms
    for (int volume : {100, 50, 104}) {
        HCHANNEL channel = BASS_SampleGetChannel(sample, 0);
        ASSERT_NE(BASS_ChannelSetAttributes(channel, 0, volume, -101), 0);
        ASSERT_NE(BASS_ChannelPlay(channel, 1), 0);
        ASSERT_TRUE(waitFor([&] { return BASS_ChannelIsActive(channel) == BASS_ACTIVE_STOPPED; }));
        waitMixedFrames(3 * 1024);
    }
    std::vector<Segment> segments = finishOutput();
    ASSERT_EQ(segments.size(), 3u);
    const double expected[] = {ToneAmplitude, ToneAmplitude / 2.0, ToneAmplitude};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(segments[i].frames, 2205u) << i;
        EXPECT_NEAR(segments[i].meanLevel, expected[i], 1.0) << i;
    }
}

TEST_F(AudioBassDisk, LoopFlagRepeatsUntilStopped)
{
    HSAMPLE sample = loadTone(661);  // 30 ms
    HCHANNEL once = BASS_SampleGetChannel(sample, 0);
    ASSERT_NE(BASS_ChannelPlay(once, 1), 0);
    ASSERT_TRUE(waitFor([&] { return BASS_ChannelIsActive(once) == BASS_ACTIVE_STOPPED; }));
    waitMixedFrames(3 * 1024);

    HCHANNEL loop = BASS_SampleGetChannel(sample, 0);
    ASSERT_NE(BASS_ChannelSetFlags(loop, BASS_STREAM_AUTOFREE | BASS_SAMPLE_LOOP), 0);
    ASSERT_NE(BASS_ChannelPlay(loop, 1), 0);
    waitMixedFrames(661 * 8);
    EXPECT_EQ(BASS_ChannelIsActive(loop), BASS_ACTIVE_PLAYING);
    EXPECT_NE(BASS_ChannelStop(loop), 0);

    std::vector<Segment> segments = finishOutput();
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].frames, 661u);
    EXPECT_GE(segments[1].frames, 661u * 7);
    EXPECT_NEAR(segments[1].meanLevel, ToneAmplitude, 1.0);
}

TEST_F(AudioBassDisk, MusicPlaysAtItsVolumeAndStops)
{
    std::string path = fixture("music.wav", makeToneWav(1000));
    HSTREAM music = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_AUTOFREE | BASS_SAMPLE_LOOP);
    ASSERT_NE(music, 0u);
    ASSERT_NE(BASS_ChannelSetAttributes(music, 0, 50, -101), 0);
    ASSERT_NE(BASS_ChannelPlay(music, 1), 0);
    waitMixedFrames(1000 * 4);
    EXPECT_EQ(BASS_ChannelIsActive(music), BASS_ACTIVE_PLAYING);
    EXPECT_NE(BASS_ChannelStop(music), 0);
    EXPECT_TRUE(isDead(music));

    std::vector<Segment> segments = finishOutput();
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_GE(segments[0].frames, 1000u * 3);
    EXPECT_NEAR(segments[0].meanLevel, ToneAmplitude / 2.0, 1.0);
}

}  // namespace
