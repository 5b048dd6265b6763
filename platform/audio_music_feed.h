// The one music stream, decoded on the audio thread by the layer's own
// decoder and handed to SDL_mixer's music hook as PCM.
#pragma once
#include "audio_decode.h"

// Starts the decoder from its first frame in place of any music playing;
// volume is the mixer's 0..128. False when its layout cannot be converted.
bool StartMusicFeed(CSoundDecoder& decoder, bool loop, int volume);
// Takes the hook back; when this returns, the audio thread no longer reads
// the decoder.
void StopMusicFeed();
// Whether the music ran out (not looping) or its data turned out damaged.
bool HasMusicFeedEnded();
void SetMusicFeedVolume(int volume);
