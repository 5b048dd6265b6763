// Sound files decoded by the audio layer itself, with the codec libraries'
// own calls: no mixer decoder ever sees a file's bytes, every frame a
// decoder hands over is checked against the stream's layout, and whoever
// decodes decides how much is taken.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using SoundBytes = std::shared_ptr<const std::vector<uint8_t>>;

// A sound decoded piece by piece into interleaved 16-bit values at its own
// rate. Its rate and channel count stay what they were at the opening: a
// later Ogg Vorbis link or MP3 part of another layout is converted to it.
class CSoundDecoder {
public:
    virtual ~CSoundDecoder() = default;
    // Up to frames frames into out; 0 at the end, -1 when the data is damaged.
    virtual long read(int16_t* out, long frames) = 0;
    // Back to the first frame.
    virtual bool rewind() = 0;

    int rate = 0;
    int channels = 0;
    size_t knownFrames = 0;   // the frames it holds when its headers tell them for sure; else 0
    // Values decoded in parts of another layout, counted before they were
    // converted: decoding them cost that many, whatever they became.
    size_t convertedValues = 0;
};

// Rates and channel counts a real sound has.
constexpr int MinSoundRate = 1000;
constexpr int MaxSoundRate = 384000;
constexpr int MaxSoundChannels = 8;

// WAV, AIFF, FLAC, Ogg Vorbis, Ogg Opus or MP3, told by its marks; null when
// the bytes are none of them or their headers are refused.
std::unique_ptr<CSoundDecoder> OpenSoundDecoder(const SoundBytes& bytes);

// The whole sound as interleaved 16-bit values, at most maxValues of them
// with the values converted parts were decoded as: false when it is damaged
// or longer.
bool DecodeWholeSound(CSoundDecoder& decoder, size_t maxValues, std::vector<int16_t>& values);

// Whether an Ogg file's pages cost the Ogg library work bounded by its size
// and, for Vorbis, whether the headers of every link stay inside what the
// decoder may be given: the counts it allocates or puts on the stack, the
// memory its set-up takes, against one budget per link, and the time
// setting up every link in turn takes, against a budget its size sets.
bool IsSaneOggPages(const uint8_t* data, size_t size, bool isVorbis);

// Which bound made that check refuse a file on this thread, as a text for
// the log ("" when none did: a file it took, or one refused as damaged);
// taking it forgets it.
std::string TakeSoundRefusal();

// What that check counts a Vorbis setup header, of a stream of so many
// channels, to cost the decoder; false when it refuses the header. The
// sizes are one libvorbis version's: a test measures the library against
// them.
struct SVorbisSetupCost {
    uint64_t headerBytes = 0;   // kept with the headers
    uint64_t tableBytes = 0;    // the decode tables, and the stack of their set-up
    uint64_t stackBytes = 0;    // the most stack one codebook's set-up takes
};
bool CountVorbisSetupCost(const uint8_t* packet, size_t size, uint32_t channels, SVorbisSetupCost& cost);

// Work done by the header checks and the decoders since the start: one unit
// per byte looked at or value produced. For tests that bound the work a file
// can cause.
uint64_t SoundWorkDone();
void AddSoundWork(uint64_t units);
