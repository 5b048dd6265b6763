// The sound server: one-shot effects in a fixed table of samples, looped
// effects in 32 slots and one background music stream, with volumes and
// fades. Requests are checked at once and carried out later, as messages of
// the engine message queue handled after the frame's draw.
#pragma once

#include "module_enginebase_queue.h"
#include "utils_str.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

class CEngineMessageQueue;
class CSoundServer;
class ISoundLibrary;

// Sound message codes (family bit 0x1000). Arguments: a is a malloc'd copy of
// the effect name (freed by the handler, then 0); b carries the volume code
// (trunc(volume * 1000), 16 bits) in its high half and the loop slot in its low
// half.
constexpr uint32_t SM_MUSIC_START = 0x1001;
constexpr uint32_t SM_MUSIC_FADE_IN = 0x1002;   // what SM_MUSIC_START turns into
constexpr uint32_t SM_SET_VOLUMES = 0x1003;
constexpr uint32_t SM_PLAY_EFFECT = 0x1004;
constexpr uint32_t SM_PLAY_LOOP = 0x1005;
constexpr uint32_t SM_STOP_LOOP = 0x1006;

constexpr int SoundEffectRows = 100;       // rows of the effect table
constexpr int SoundEffectLimit = 96;       // a load that would fill this row is refused
constexpr int SoundEffectNameMax = 259;    // characters a row keeps
constexpr int SoundLoopSlots = 32;

// The holder of one channel or stream handle (0 = none); reports failed calls
// through the server.
class CSoundChannel {
public:
    CSoundChannel(CSoundServer& server, uint32_t handle) : Server(server), Handle(handle) {}

    float getVolume();          // 0..1
    void setVolume(float volume);
    void play(bool loop);       // from the start; the channel frees itself at its end
    void stop();

    CSoundServer& Server;       // borrowed
    uint32_t Handle;
};

// The open audio device with its tables; exists from init to close.
struct CSoundDevice {
    int EffectCount = 0;                          // rows in use, 0..95
    CString EffectNames[SoundEffectRows];         // the names as requested; "x" and "x.wav" are one effect
    uint32_t EffectStartTicks[SoundEffectRows] = {};   // ms tick of the last start; 0 after loading
    uint32_t EffectSamples[SoundEffectRows] = {};      // 0 = none
    int NextLoopSlot = 0;                         // the slot the next loop request takes
    uint32_t LoopChannels[SoundLoopSlots] = {};   // 0 = slot free
    bool LoopRequested[SoundLoopSlots] = {};      // taken by a request whose message is not handled yet
    std::unique_ptr<CSoundChannel> Music;         // the music stream's holder
    bool IsReady = false;                         // the library was initialised
};

class CSoundServer : public IEngineMessageHandler {
public:
    // The queue is borrowed; requests are posted to it.
    explicit CSoundServer(CEngineMessageQueue* queue);
    ~CSoundServer() override;
    CSoundServer(const CSoundServer&) = delete;
    CSoundServer& operator=(const CSoundServer&) = delete;

    // The pause level that silences sound (60 and above); without a source
    // it reads as 0. The engine installs its own.
    void setPauseLevelSource(std::function<int()> source) { PauseLevelSource = std::move(source); }

    // Starts sound when the Sound option is on and the library opens a
    // device (the library installed now, see SetSoundLibrary). Otherwise the
    // server stays unavailable and every request is ignored.
    void init(int soundOption);
    // Frees every sample and the device; only the first call acts.
    void close();

    // --- requests: checked now, carried out by a later dispatch ---

    // A one-shot effect; a volume of 0 or below means the effects volume.
    void playEffect(const CString& name, float volume);
    // A looped effect; the slot to stop it with, or -1 when refused.
    int playLoopedEffect(const CString& name, float volume);
    // Fades the loop out and frees its slot; slots outside 0..31 are ignored.
    int stopLoopedEffect(int slot);
    // Fades the music out and the named one in; "" leaves silence.
    void setBackgroundMusic(const CString& name);
    // Each given volume v becomes (v - margin) / (1 - 2 * margin); both then
    // snap to 1 above 0.91 and to 0 below 0.09; a volume message re-applies them.
    void setVolumes(float margin, const float* music, const float* effects);
    float& getMusicVolume() { return MusicVolume; }
    float& getEffectsVolume() { return EffectsVolume; }
    bool isAvailable() const { return Available != 0; }

    // --- queue hooks ---
    // Lets a music stream that has ended go, and starts the track again.
    void update(uint32_t nowMs) override;
    int handleMessage(SEngineMessage& message) override;
    int postMessage(uint32_t code, uintptr_t a, uintptr_t b);   // 1

    // --- immediate operations ---

    // Loads a sample into the next row: the row, -1 when refused, 0 without a
    // device. A file that cannot be loaded is fatal; a full table (95 rows)
    // drops the sound with a log line.
    int loadEffect(const CString& name);
    // Loads the effect now when a request for it at this volume would play it
    // and it is not loaded yet, so that a failure to load ends the game inside
    // the caller's scope, whose notes the box then shows. The row, or -1.
    int loadRequestedEffect(const CString& name, float volume);
    // Preloading of a ".wav" found in the data (its name below the data
    // folder): loaded by its base name when it is an effect of the sound
    // folder's top and not loaded yet. Never fatal: whatever cannot be loaded
    // is logged and skipped (-1).
    int preloadEffect(const CString& dataName);
    // A channel of the effect, set up but not playing, or 0.
    uint32_t startEffect(const CString& name, float volume);
    int setChannelVolume(uint32_t channel, float volume);
    void checkBassResult(int result);

    ISoundLibrary& getLibrary() { return *Library; }
    const CSoundDevice* getDevice() const { return Device.get(); }   // null before init
    const CString& getMusicName() const { return MusicName; }

private:
    bool isReady() const { return Device && Device->IsReady && !Closed; }
    int getPauseLevel() const { return PauseLevelSource ? PauseLevelSource() : 0; }
    float requestVolume(float volume) const;
    bool acceptName(const CString& name);
    bool isDead(uint32_t channel);
    static CString effectFile(const CString& name);   // the file an effect name loads
    int loadEffectRow(const CString& name, bool isRequested);
    int findEffectRow(const CString& name) const;   // the first row holding it, or -1
    // True when the music stream had ended; its handle is then 0.
    bool forgetEndedMusic();
    // A new stream of the wanted music, playing looped at the volume.
    bool startMusic(float volume);

    int handleStopLoop(SEngineMessage& message);
    int handlePlayLoop(SEngineMessage& message);
    int handlePlayEffect(SEngineMessage& message);
    int handleMusicStart(SEngineMessage& message);
    int handleMusicFadeIn(SEngineMessage& message);
    int handleSetVolumes();

    float MusicVolume = 0.0f;
    float EffectsVolume = 0.0f;
    int Available = 0;
    CString MusicName;
    int MusicStarted = 0;
    uint32_t MusicStartedAt = 0;          // ms tick at the end of the music stream's last opening
    bool MusicRestartPending = false;     // the stream ended; it starts again once the gap has passed
    static constexpr uint32_t MusicRestartGapMs = 1000;
    int Closed = 0;
    std::unique_ptr<CSoundDevice> Device;
    bool EmptyNameReported = false;
    std::set<std::string> FullTableReported;   // effects dropped for a full table, told once each

    CEngineMessageQueue* Queue;                 // borrowed: the engine's queue
    ISoundLibrary* Library;                     // borrowed; fixed by init
    std::function<int()> PauseLevelSource;
};
