// The sound server: requests, the message handler and the effect table.
#include "server_sound_bass.h"

#include "server_sound_bass_library.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_math_misc.h"
#include "utils_system_common.h"

#include "audio_bass.h"
#include "clock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

constexpr uint32_t LibraryVersion = 0x0203;    // the high word of GetVersion
constexpr uint32_t DeviceFreq = 22050;
constexpr uint32_t FlagAutoFree = 0x40000;
constexpr uint32_t FlagAutoFreeLoop = 0x40004;
constexpr int PanUnchanged = -101;
constexpr uint32_t MaxSamplePlaybacks = 1000;
constexpr uint32_t EffectReuseMs = 500;        // a row plays again only after this
constexpr int EffectCopies = 3;                // rows one effect name may take
constexpr int PausedLevel = 60;                // silences requests and volumes
constexpr float QuietestRequest = 0.1f;
constexpr int LoopFadeSteps = 5;
constexpr uint32_t LoopFadeStepMs = 50;
constexpr float LoopFadeFloor = 0.2f;          // volumes up to this need no fade
constexpr int MusicFadeSteps = 10;
constexpr uint32_t MusicFadeStepMs = 150;
constexpr uint32_t MusicSwitchMs = 10;
constexpr size_t MaxFullTableReports = 1000;   // effect names told about a full table

// The loop message remembers the channel it started above the 32 bits of b
// that requests fill.
static_assert(sizeof(uintptr_t) >= 8, "message arguments must hold a channel beside the slot and volume");
constexpr int StartedChannelShift = 32;

// trunc(volume * 1000) in 16 bits; volumes from scripts may be anything.
uintptr_t volumeCode(float volume)
{
    if (!(volume > 0.0f))
        return 0;
    return uintptr_t(int(std::min(volume, 65.535f) * 1000.0f)) & 0xFFFF;
}

float volumeOf(uintptr_t b)
{
    return float((b >> 16) & 0xFFFF) / 1000.0f;
}

int slotOf(uintptr_t b)
{
    return int(b & 0xFFFF);
}

uint32_t startedChannelOf(uintptr_t b)
{
    return uint32_t(b >> StartedChannelShift);
}

// Takes the name copy out of the message: the handler owns it from here.
CString takeName(SEngineMessage& message)
{
    char* text = reinterpret_cast<char*>(message.arg1);
    CString name(text);
    std::free(text);
    message.arg1 = 0;
    return name;
}

int keepFor(SEngineMessage& message, uint32_t delayMs)
{
    message.dueTick = platform::GetTickCount() + delayMs;
    return 0;
}

// The name without a final ".wav": preloading keeps effects by their base
// name, while descriptions and scripts may name the file.
int withoutWavLength(const char* name)
{
    const int length = int(std::strlen(name));
    return length >= 4 && strcasecmp(name + length - 4, ".wav") == 0 ? length - 4 : length;
}

bool isSameEffect(const char* a, const char* b)
{
    const int length = withoutWavLength(a);
    return length == withoutWavLength(b) && std::strncmp(a, b, size_t(length)) == 0;
}

// Why the library refused a sound, in words; detail names the bound on what
// a sound may cost that it went past, when one did.
CString loadFailureReason(int code, const char* path, const char* detail)
{
    switch (code) {
    case BASS_ERROR_FILEOPEN: {
        int error = ReadFailureError(path);
        return error ? CString(std::strerror(error)) : CString("the file could not be read");
    }
    case BASS_ERROR_FORMAT:
        if (*detail)
            return Format("not a sound the game plays: %s", detail);
        return "not a sound the game plays (damaged, or of a kind it does not read)";
    default:
        return Format("the sound library failed with error %i", code);
    }
}

float snapVolume(float v)
{
    if (v > 0.91f)
        return 1.0f;
    if (v < 0.09f)
        return 0.0f;
    return v;
}

} // namespace

// --- CSoundChannel ---

float CSoundChannel::getVolume()
{
    uint32_t volume = 0;
    Server.checkBassResult(Server.getLibrary().ChannelGetAttributes(Handle, nullptr, &volume, nullptr));
    return float(volume) / 100.0f;   // exact hundredths: 48 reads as 0.48, not 0.4799
}

void CSoundChannel::setVolume(float volume)
{
    Server.setChannelVolume(Handle, volume);
}

void CSoundChannel::play(bool loop)
{
    if (!Handle)
        return;
    ISoundLibrary& library = Server.getLibrary();
    Server.checkBassResult(library.ChannelSetFlags(Handle, loop ? FlagAutoFreeLoop : FlagAutoFree));
    Server.checkBassResult(library.ChannelPlay(Handle, 1));
}

void CSoundChannel::stop()
{
    ISoundLibrary& library = Server.getLibrary();
    library.ChannelSetFlags(Handle, FlagAutoFree);
    Server.checkBassResult(library.ChannelStop(Handle));
}

// --- CSoundServer: life ---

CSoundServer::CSoundServer(CEngineMessageQueue* queue) : Queue(queue), Library(&GetSoundLibrary())
{
}

CSoundServer::~CSoundServer()
{
    close();
}

void CSoundServer::init(int soundOption)
{
    if (!soundOption || Device || Closed)
        return;
    Library = &GetSoundLibrary();
    if ((Library->GetVersion() >> 16) != LibraryVersion) {
        DebugLog("Wrong BASS.dll - version check failed");
        return;
    }
    Device = std::make_unique<CSoundDevice>();
    if (!Library->Init(-1, DeviceFreq, 0, nullptr, nullptr)) {
        // No audio device: the game runs silent, without a box.
        DebugLog(Format("Sound: no audio device (error %i); running without sound", Library->ErrorGetCode()));
        return;
    }
    Device->IsReady = true;
    Device->Music = std::make_unique<CSoundChannel>(*this, 0);
    Available = 1;
}

void CSoundServer::close()
{
    if (Closed)
        return;
    Closed = 1;
    Available = 0;
    if (!Device)
        return;
    if (Device->IsReady) {
        Device->Music.reset();
        for (uint32_t sample : Device->EffectSamples)
            if (sample)
                Library->SampleFree(sample);
        Library->Free();
        Device->IsReady = false;
    }
    Device.reset();
}

// --- CSoundServer: requests ---

float CSoundServer::requestVolume(float volume) const
{
    return volume > 0.0f ? volume : EffectsVolume;
}

bool CSoundServer::acceptName(const CString& name)
{
    if (name.IsEmpty()) {
        // A script's slip (a missing argument reads as "") or an empty field
        // of a description: nothing to play, and no reason to end the game.
        if (!EmptyNameReported)
            DebugLog("Empty sound effect! Nothing is played");
        EmptyNameReported = true;
        return false;
    }
    if (name.GetLength() <= SoundEffectNameMax)
        return true;
    EngineMessageBox(Format("Sound effect name too long (%i characters, at most %i); not played:\n%.80s...",
                            name.GetLength(), SoundEffectNameMax, (const char*)name),
                     MB_OK);
    return false;
}

void CSoundServer::playEffect(const CString& name, float volume)
{
    if (!Available)
        return;
    float v = requestVolume(volume);
    if (v < QuietestRequest || getPauseLevel() >= PausedLevel)
        return;
    if (!acceptName(name))
        return;
    postMessage(SM_PLAY_EFFECT, reinterpret_cast<uintptr_t>(strdup(name)), volumeCode(v) << 16);
}

int CSoundServer::playLoopedEffect(const CString& name, float volume)
{
    if (!Available)
        return -1;
    float v = requestVolume(volume);
    if (v < QuietestRequest || getPauseLevel() >= PausedLevel)
        return -1;
    CheckMainThread();
    if (!acceptName(name) || !isReady())
        return -1;
    int slot = Device->NextLoopSlot;
    if (Device->LoopChannels[slot] || Device->LoopRequested[slot]) {
        // Only this slot is tried: the next request tries it again.
        DebugLog(Format("Sound: loop slot %i is still busy; looped effect '%s' not played", slot, (const char*)name));
        return -1;
    }
    Device->LoopRequested[slot] = true;   // taken now: its channel comes with the dispatch
    Device->NextLoopSlot = (slot + 1) % SoundLoopSlots;
    postMessage(SM_PLAY_LOOP, reinterpret_cast<uintptr_t>(strdup(name)), (volumeCode(v) << 16) | uintptr_t(slot));
    return slot;
}

int CSoundServer::stopLoopedEffect(int slot)
{
    if (isReady() && slot >= 0 && slot < SoundLoopSlots)
        postMessage(SM_STOP_LOOP, 0, uintptr_t(slot));
    return 0;
}

void CSoundServer::setBackgroundMusic(const CString& name)
{
    if (!Available || (name == MusicName && MusicStarted))
        return;
    MusicName = name;
    postMessage(SM_MUSIC_START, 0, 0);
}

void CSoundServer::setVolumes(float margin, const float* music, const float* effects)
{
    if (music)
        MusicVolume = MapRange(*music, margin, 1.0f - margin, 0.0f, 1.0f);
    if (effects)
        EffectsVolume = MapRange(*effects, margin, 1.0f - margin, 0.0f, 1.0f);
    MusicVolume = snapVolume(MusicVolume);
    EffectsVolume = snapVolume(EffectsVolume);
    if (Available)
        postMessage(SM_SET_VOLUMES, 0, 0);
}

int CSoundServer::postMessage(uint32_t code, uintptr_t a, uintptr_t b)
{
    if (Queue) {
        Queue->postMessage(code, a, b, 0);
        return 1;
    }
    if (a && (code == SM_PLAY_EFFECT || code == SM_PLAY_LOOP))
        std::free(reinterpret_cast<void*>(a));
    if (code == SM_PLAY_LOOP && Device && slotOf(b) < SoundLoopSlots)
        Device->LoopRequested[slotOf(b)] = false;   // never coming
    return 1;
}

// --- CSoundServer: immediate operations ---

int CSoundServer::loadEffect(const CString& name)
{
    return loadEffectRow(name, true);
}

int CSoundServer::loadRequestedEffect(const CString& name, float volume)
{
    if (!Available || !isReady() || requestVolume(volume) < QuietestRequest || getPauseLevel() >= PausedLevel ||
        name.IsEmpty() || name.GetLength() > SoundEffectNameMax)
        return -1;
    CheckMainThread();
    const int row = findEffectRow(name);
    return row >= 0 ? row : loadEffectRow(name, true);
}

int CSoundServer::findEffectRow(const CString& name) const
{
    for (int row = 0; row < Device->EffectCount; ++row)
        if (isSameEffect(Device->EffectNames[row], name))
            return row;
    return -1;
}

int CSoundServer::preloadEffect(const CString& dataName)
{
    CheckMainThread();
    if (!isReady())
        return 0;
    // Requests name an effect by its base name in the sound folder's top: a
    // sound anywhere else is not one, whatever its base name finds there.
    CString relative = dataName;
    relative.TrimLeft("\\/");
    CString name = GetPathPart(relative, 0, 0, 1, 0);
    CString dataPath = GetDataFolder() + relative;
    CString effectPath = MakeSoundPath(effectFile(name));
    bool isEffect = !name.IsEmpty() && dataPath.GetLength() == effectPath.GetLength() &&
                    hasFolderText(dataPath, effectPath);
    if (!isEffect) {
        DebugLog(Format("Sound '%s' is not an effect of the sound folder '%s'; not preloaded", (const char*)dataName,
                        (const char*)ToNativePath(MakeSoundPath(""))));
        return -1;
    }
    const int row = findEffectRow(name);
    return row >= 0 ? row : loadEffectRow(name, false);
}

CString CSoundServer::effectFile(const CString& name)
{
    return name.Find('.') < 0 ? name + ".wav" : name;
}

int CSoundServer::loadEffectRow(const CString& name, bool isRequested)
{
    CheckMainThread();
    if (!isReady())
        return 0;
    if (!acceptName(name))
        return -1;
    if (Device->EffectCount + 1 >= SoundEffectLimit) {
        // Once per effect: a game that keeps asking would fill the log.
        std::string effect(name, size_t(withoutWavLength(name)));
        if (FullTableReported.size() < MaxFullTableReports && FullTableReported.insert(effect).second)
            DebugLog(Format("Sound effect table is full (%i effects); '%s' not played", Device->EffectCount,
                            (const char*)name));
        return -1;
    }
    CString file = effectFile(name);
    CString path = ToNativePath(MakeSoundPath(file));
    int row = Device->EffectCount;
    uint32_t sample = Library->SampleLoad(0, (const char*)path, 0, 0, MaxSamplePlaybacks, 1);
    if (!sample) {
        CString failure = Format("Failed to load sound '%s': file '%s' in the sound folder '%s': %s",
                                 (const char*)name, (const char*)file, (const char*)ToNativePath(MakeSoundPath("")),
                                 (const char*)loadFailureReason(Library->ErrorGetCode(), path,
                                                                Library->ErrorGetDetail()));
        if (isRequested)
            FatalError(failure, false);
        else
            DebugLog(failure + "; not preloaded");
        return -1;
    }
    Device->EffectSamples[row] = sample;
    Device->EffectNames[row] = name;
    Device->EffectStartTicks[row] = 0;
    ++Device->EffectCount;
    return row;
}

uint32_t CSoundServer::startEffect(const CString& name, float volume)
{
    if (volume < QuietestRequest || !isReady())
        return 0;
    CheckMainThread();
    uint32_t now = platform::GetTickCount();
    int taken = -1;
    int copies = 0;
    for (int row = 0; row < Device->EffectCount; ++row) {
        if (!isSameEffect(Device->EffectNames[row], name))
            continue;
        if (++copies > EffectCopies)
            break;
        if (uint32_t(now - Device->EffectStartTicks[row]) > EffectReuseMs) {
            taken = row;
            break;
        }
    }
    if (taken < 0) {
        if (copies >= EffectCopies)
            return 0;   // every copy started less than 500 ms ago
        taken = loadEffect(name);
    }
    if (taken < 0 || taken >= Device->EffectCount || !Device->EffectSamples[taken])
        return 0;
    Device->EffectStartTicks[taken] = now;
    uint32_t channel = Library->SampleGetChannel(Device->EffectSamples[taken], 0);
    if (!channel) {
        EngineMessageBox(Format("cant play snd '%s'", (const char*)name), MB_OK);
        return 0;
    }
    checkBassResult(Library->ChannelSetFlags(channel, FlagAutoFree));
    if (!setChannelVolume(channel, volume * RandomFloat(0.95f, 1.05f))) {
        FatalError(Format("Failed to play effect, err %i", Library->ErrorGetCode()), false);
        return 0;
    }
    return channel;
}

int CSoundServer::setChannelVolume(uint32_t channel, float volume)
{
    if (!(volume >= 0.01f))
        volume = 0.0f;   // NaN too
    volume = std::min(volume, 1.0f);   // the library takes 0..100
    // Truncated to whole hundredths; the small bias keeps float noise such as
    // 0.48 * 100 = 47.99998 from losing a hundredth.
    int result = Library->ChannelSetAttributes(channel, 0, int(volume * 100.0f + 0.001f), PanUnchanged);
    checkBassResult(result);
    return result;
}

void CSoundServer::checkBassResult(int result)
{
    if (!result)
        EngineMessageBox(Format("BASS fail! err=%i", Library->ErrorGetCode()), MB_OK);
}

// A channel that has ended or failed is gone from the library; asking for its
// volume is the quiet way to find out.
bool CSoundServer::isDead(uint32_t channel)
{
    uint32_t volume = 0;
    return Library->ChannelGetAttributes(channel, nullptr, &volume, nullptr) == 0;
}

// --- CSoundServer: messages ---

int CSoundServer::handleMessage(SEngineMessage& message)
{
    switch (message.flags) {
    case SM_STOP_LOOP: return handleStopLoop(message);
    case SM_PLAY_LOOP: return handlePlayLoop(message);
    case SM_PLAY_EFFECT: return handlePlayEffect(message);
    case SM_MUSIC_START: return handleMusicStart(message);
    case SM_MUSIC_FADE_IN: return handleMusicFadeIn(message);
    case SM_SET_VOLUMES: return handleSetVolumes();
    default: return 1;
    }
}

int CSoundServer::handleStopLoop(SEngineMessage& message)
{
    int slot = slotOf(message.arg2);
    if (!Device || slot >= SoundLoopSlots)
        return 1;
    uint32_t handle = Device->LoopChannels[slot];
    if (handle && !isDead(handle)) {
        CSoundChannel channel(*this, handle);
        float volume = channel.getVolume();   // the current one: the steps compound
        if (message.step < LoopFadeSteps && volume > LoopFadeFloor) {
            ++message.step;
            channel.setVolume(float(LoopFadeSteps - message.step) * volume / float(LoopFadeSteps));
            return keepFor(message, LoopFadeStepMs);
        }
        channel.stop();
    }
    Device->LoopChannels[slot] = 0;
    return 1;
}

int CSoundServer::handlePlayLoop(SEngineMessage& message)
{
    int slot = slotOf(message.arg2);
    if (message.arg1) {
        CString name = takeName(message);
        if (!Device || slot >= SoundLoopSlots)
            return 1;
        Device->LoopRequested[slot] = false;
        uint32_t playing = Device->LoopChannels[slot];
        if (playing && !isDead(playing)) {
            // Its owner could never stop it once the slot forgot it.
            DebugLog(Format("Sound: loop slot %i was still playing; stopped for '%s'", slot, (const char*)name));
            CSoundChannel(*this, playing).stop();
        }
        uint32_t started = startEffect(name, 1.0f);
        Device->LoopChannels[slot] = started;
        message.arg2 |= uintptr_t(started) << StartedChannelShift;
    }
    // The fade ends once the slot was stopped or taken by another loop, and
    // when the channel is gone, instead of acting on a dead handle.
    uint32_t started = startedChannelOf(message.arg2);
    if (!Device || slot >= SoundLoopSlots || !started || Device->LoopChannels[slot] != started)
        return 1;
    if (message.step > 0 && isDead(started))
        return 1;
    CSoundChannel channel(*this, started);
    float volume = volumeOf(message.arg2);
    if (message.step == 0) {
        channel.play(true);
        if (isDead(started))
            return 1;   // a sound of no length ends as it starts
    }
    if (message.step < LoopFadeSteps && volume > LoopFadeFloor) {
        ++message.step;
        channel.setVolume(float(message.step) * volume / float(LoopFadeSteps));
        return keepFor(message, LoopFadeStepMs);
    }
    channel.setVolume(volume);
    return 1;
}

int CSoundServer::handlePlayEffect(SEngineMessage& message)
{
    if (!message.arg1)
        return 1;
    CString name = takeName(message);
    CSoundChannel channel(*this, startEffect(name, volumeOf(message.arg2)));
    channel.play(false);   // not remembered: the channel frees itself at its end
    return 1;
}

void CSoundServer::update(uint32_t nowMs)
{
    if (forgetEndedMusic())
        MusicRestartPending = true;
    // Music loops in the library; a track that still ends (it makes no sound,
    // or is damaged further on) starts again, unless the music is being
    // changed, and no sooner than a second after its last opening ended, so
    // a file that ends at once is not reopened every frame however long
    // opening it takes.
    if (!MusicRestartPending || int32_t(nowMs - MusicStartedAt) < int32_t(MusicRestartGapMs))
        return;
    MusicRestartPending = false;
    if (MusicName.IsEmpty() || !Queue || Queue->findMessage(SM_MUSIC_START))
        return;
    float volume = getPauseLevel() >= PausedLevel ? 0.0f : MusicVolume;
    if (SEngineMessage* fade = Queue->findMessage(SM_MUSIC_FADE_IN))
        volume = std::min(volume, MusicVolume / float(MusicFadeSteps) * float(fade->step));
    startMusic(volume);
}

bool CSoundServer::forgetEndedMusic()
{
    if (!isReady() || !Device->Music->Handle || !isDead(Device->Music->Handle))
        return false;
    Device->Music->Handle = 0;   // the library has let it go: never used again
    return true;
}

bool CSoundServer::startMusic(float volume)
{
    CSoundChannel& music = *Device->Music;
    MusicStarted = 1;
    MusicRestartPending = false;
    CString path = ToNativePath(MakeMusicPath(MusicName));
    music.Handle = Library->StreamCreateFile(0, (const char*)path, 0, 0, 1);
    MusicStartedAt = platform::GetTickCount();
    if (!music.Handle) {
        if (LogReadFailure(path) == 0) {   // read, so what it holds was refused
            const char* detail = Library->ErrorGetDetail();
            DebugLog(Format("Cannot play '%s': no sound the game reads (%i)%s%s", (const char*)path,
                            Library->ErrorGetCode(), *detail ? ": " : "", detail));
        }
        return false;   // a music file that cannot be opened leaves silence
    }
    music.setVolume(volume);
    music.play(true);
    return true;
}

int CSoundServer::handleMusicStart(SEngineMessage& message)
{
    if (!isReady())
        return 1;
    CSoundChannel& music = *Device->Music;
    forgetEndedMusic();
    if (music.Handle) {
        if (message.step < MusicFadeSteps) {
            ++message.step;
            music.setVolume(MusicVolume / float(MusicFadeSteps) * float(MusicFadeSteps - message.step));
            return keepFor(message, MusicFadeStepMs);
        }
        music.stop();
    }
    music.Handle = 0;
    message.flags = SM_MUSIC_FADE_IN;
    message.step = 0;
    return keepFor(message, MusicSwitchMs);
}

int CSoundServer::handleMusicFadeIn(SEngineMessage& message)
{
    if (MusicName.IsEmpty() || !isReady())
        return 1;
    CSoundChannel& music = *Device->Music;
    forgetEndedMusic();
    if (!music.Handle) {
        if (!startMusic(MusicVolume / float(MusicFadeSteps) * float(message.step)))
            return 1;
    } else if (message.step == 0) {
        music.setVolume(0.0f);
        music.play(true);
    }
    if (message.step < MusicFadeSteps) {
        ++message.step;
        music.setVolume(MusicVolume / float(MusicFadeSteps) * float(message.step));
        return keepFor(message, MusicFadeStepMs);
    }
    music.setVolume(MusicVolume);
    return 1;
}

int CSoundServer::handleSetVolumes()
{
    if (!isReady())
        return 1;
    bool isPaused = getPauseLevel() >= PausedLevel;
    forgetEndedMusic();
    if (Device->Music->Handle)
        Device->Music->setVolume(isPaused ? 0.0f : MusicVolume);
    float effects = isPaused ? 0.0f : EffectsVolume;
    for (uint32_t channel : Device->LoopChannels)
        if (channel && !isDead(channel))
            setChannelVolume(channel, effects);
    return 1;
}
