// A sound library that plays nothing and records every call (tests). It keeps
// the audio layer's contract: handles never reused, volumes clamped to
// 0..100, auto-free channels gone once stopped or ended.
#pragma once

#include "server_sound_bass_library.h"

#include <map>
#include <set>
#include <string>
#include <vector>

struct SSoundCall {
    std::string Name;       // the call without "BASS_": "SampleLoad", "ChannelPlay", ...
    uint32_t Handle = 0;    // the handle passed, or the one returned by a load or create
    int Value = 0;          // flags, the volume passed, or the restart argument
    std::string Text;       // the path of a load
};

struct SFakeChannel {
    uint32_t Sample = 0;    // 0 for a stream
    std::string Path;       // the stream's file
    uint32_t Flags = 0;
    int Volume = 100;       // whole hundredths
    bool IsPlaying = false;
    bool IsLooping = false; // as started by the last play
};

// Installs itself as the process's sound library for its lifetime.
class CFakeSoundLibrary : public ISoundLibrary {
public:
    CFakeSoundLibrary();
    ~CFakeSoundLibrary() override;
    CFakeSoundLibrary(const CFakeSoundLibrary&) = delete;
    CFakeSoundLibrary& operator=(const CFakeSoundLibrary&) = delete;

    uint32_t GetVersion() override { return Version; }
    int ErrorGetCode() override { return LastError; }
    const char* ErrorGetDetail() override { return LastDetail.c_str(); }
    int Init(int device, uint32_t freq, uint32_t flags, void* win, const void* clsid) override;
    int Free() override;
    uint32_t SampleLoad(int mem, const void* file, uint64_t offset, uint32_t length, uint32_t max,
                        uint32_t flags) override;
    int SampleFree(uint32_t sample) override;
    uint32_t SampleGetChannel(uint32_t sample, int onlynew) override;
    uint32_t StreamCreateFile(int mem, const void* file, uint64_t offset, uint64_t length,
                              uint32_t flags) override;
    int ChannelSetFlags(uint32_t handle, uint32_t flags) override;
    int ChannelPlay(uint32_t handle, int restart) override;
    int ChannelStop(uint32_t handle) override;
    int ChannelSetAttributes(uint32_t handle, int freq, int volume, int pan) override;
    int ChannelGetAttributes(uint32_t handle, uint32_t* freq, uint32_t* volume, int* pan) override;

    // A playing channel reaches its end: an auto-free one is gone.
    void finish(uint32_t handle);

    // Queries on the record.
    int count(const std::string& name) const;                 // calls of that name
    std::vector<int> volumesSet(uint32_t handle) const;       // as passed, in order
    const SFakeChannel* channel(uint32_t handle) const;       // null once freed
    std::vector<uint32_t> playing() const;                    // live channels that play
    uint32_t lastChannel() const { return NextHandle - 1; }   // the newest handle given out

    // Behaviour switches.
    uint32_t Version = 0x02030000;
    bool InitFails = false;
    bool NoChannels = false;              // SampleGetChannel fails
    bool SetAttributesFails = false;
    std::set<std::string> MissingFiles;   // paths that fail to load or open
    std::map<std::string, std::string> RefusedFiles;   // paths that are no sound, each with the bound it went past
    uint32_t StreamOpenMs = 0;            // the clock time a stream takes to open

    std::vector<SSoundCall> Calls;
    bool IsInitialised = false;
    std::map<uint32_t, std::string> Samples;   // live samples and their paths
    std::map<uint32_t, SFakeChannel> Channels; // live channels and streams

private:
    uint32_t record(const char* name, uint32_t handle, int value = 0, const std::string& text = {});
    int fail(int code);
    int refuse(const std::string& path);   // fails for a file of RefusedFiles
    bool succeed();
    SFakeChannel* find(uint32_t handle);

    uint32_t NextHandle = 1;
    int LastError = 0;
    std::string LastDetail;
    ISoundLibrary* Previous;
};
