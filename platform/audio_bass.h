// The sound library interface the sound server is written against, on top of
// SDL2_mixer. Sounds are WAV, AIFF, FLAC, Ogg Vorbis, Ogg Opus or MP3.
#pragma once
#include <cstddef>
#include <cstdint>

// Handles are non-zero on success and never reused in a run, so a stale
// handle fails with BASS_ERROR_HANDLE instead of reaching another sound.
using HSAMPLE = uint32_t;   // a loaded sample (a decoded chunk)
using HCHANNEL = uint32_t;  // a playback of a sample (a mixer channel while it plays)
using HSTREAM = uint32_t;   // a music stream; only one plays at a time

// Channel flags. Other bits are accepted and stored but have no effect.
constexpr uint32_t BASS_SAMPLE_LOOP = 0x4;          // play again from the start at the end
constexpr uint32_t BASS_STREAM_AUTOFREE = 0x40000;  // free the channel when it ends or is stopped

// Results of BASS_ChannelIsActive.
constexpr uint32_t BASS_ACTIVE_STOPPED = 0;
constexpr uint32_t BASS_ACTIVE_PLAYING = 1;

// Error codes (BASS_ErrorGetCode); each call sets one, BASS_OK on success.
constexpr int BASS_OK = 0;
constexpr int BASS_ERROR_INIT = 1;      // BASS_Init has not succeeded
constexpr int BASS_ERROR_ALREADY = 2;   // BASS_Init called twice
constexpr int BASS_ERROR_DRIVER = 3;    // no audio device could be opened
constexpr int BASS_ERROR_DEVICE = 4;    // a device other than the default was asked for
constexpr int BASS_ERROR_HANDLE = 5;    // not a live handle of the right kind
constexpr int BASS_ERROR_FILEOPEN = 6;  // the file could not be opened or read
constexpr int BASS_ERROR_FORMAT = 7;    // not a sound of those kinds, damaged, or too long for a sample
constexpr int BASS_ERROR_NOCHAN = 8;    // no free channel (the sample's limit or the mixer's)
constexpr int BASS_ERROR_ILLPARAM = 9;  // an argument out of range
constexpr int BASS_ERROR_NOTAVAIL = 10; // a feature this layer does not offer
constexpr int BASS_ERROR_UNKNOWN = -1;

// All functions are for the main thread only. Integer results: non-zero on
// success, 0 on failure with the reason in BASS_ErrorGetCode().

// 0x0203xxxx.
uint32_t BASS_GetVersion();
int BASS_ErrorGetCode();
// Not in BASS: after a call that failed with BASS_ERROR_FORMAT because the
// file went past one of the layer's bounds on what a sound may cost, which
// bound, as a text for the log; "" after any other result.
const char* SoundErrorDetail();

// Opens the default output device (device -1 or 1) at freq Hz, stereo.
// flags, win and clsid are ignored. Fails with BASS_ERROR_DRIVER when SDL has
// no working audio driver or device; every other call then fails with
// BASS_ERROR_INIT, so the caller runs silent.
int BASS_Init(int device, uint32_t freq, uint32_t flags, void* win, const void* clsid);
// Stops everything and frees every sample, channel and stream.
int BASS_Free();

// mem = 0: file is a path (offset/length select a part of the file, length 0 =
// to its end); mem != 0: file points to length bytes in memory, which are
// copied. max = simultaneous channels of this sample, 1..65535. Of flags only
// BASS_SAMPLE_LOOP is used: channels of the sample start with it. The sound
// is decoded whole: one longer than about a minute is refused. A WAV
// cut short gives the frames it holds.
HSAMPLE BASS_SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length,
                        uint32_t max, uint32_t flags);
// Stops and frees the sample's channels too.
int BASS_SampleFree(HSAMPLE sample);
// A new channel at volume 100, set up but not playing. onlynew is ignored:
// the channel is always new.
HCHANNEL BASS_SampleGetChannel(HSAMPLE sample, int onlynew);

// mem = 0: file is a path (offset/length as for samples); mem != 0: file
// points to length bytes, which are copied. Decoded while it plays; a stream
// whose data turns out damaged ends there. Flags as for BASS_ChannelSetFlags.
HSTREAM BASS_StreamCreateFile(int mem, const void* file, uint64_t offset, uint64_t length,
                              uint32_t flags);

// handle: a sample channel or a stream. Flags are stored; the loop flag takes
// effect at the next BASS_ChannelPlay.
int BASS_ChannelSetFlags(uint32_t handle, uint32_t flags);
// Starts the channel (from the start when restart is non-zero or when it is
// not playing). Playing a stream ends the stream that was playing.
int BASS_ChannelPlay(uint32_t handle, int restart);
// Stops the channel; an auto-free channel is freed by this.
int BASS_ChannelStop(uint32_t handle);
// volume is in whole hundredths, clamped to 0..100. freq 0 or -1 and pan -101
// mean "unchanged"; other values fail with BASS_ERROR_NOTAVAIL.
int BASS_ChannelSetAttributes(uint32_t handle, int freq, int volume, int pan);
// Any out pointer may be null. freq is the output rate, pan always 0.
int BASS_ChannelGetAttributes(uint32_t handle, uint32_t* freq, uint32_t* volume, int* pan);
// BASS_ACTIVE_PLAYING or BASS_ACTIVE_STOPPED (also for a dead handle, with
// BASS_ERROR_HANDLE).
uint32_t BASS_ChannelIsActive(uint32_t handle);
