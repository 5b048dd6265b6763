// The recording sound library.
#include "fake_sound_library.h"

#include "clock.h"

#include <algorithm>

namespace {

// The audio layer's error codes that the fake reports.
constexpr int ErrorInit = 1;
constexpr int ErrorAlready = 2;
constexpr int ErrorDriver = 3;
constexpr int ErrorHandle = 5;
constexpr int ErrorFileOpen = 6;
constexpr int ErrorFormat = 7;
constexpr int ErrorNoChannel = 8;
constexpr int ErrorUnknown = -1;
constexpr uint32_t AutoFree = 0x40000;
constexpr uint32_t Loop = 0x4;

} // namespace

CFakeSoundLibrary::CFakeSoundLibrary() : Previous(SetSoundLibrary(this))
{
}

CFakeSoundLibrary::~CFakeSoundLibrary()
{
    SetSoundLibrary(Previous);
}

uint32_t CFakeSoundLibrary::record(const char* name, uint32_t handle, int value, const std::string& text)
{
    Calls.push_back(SSoundCall{name, handle, value, text});
    return handle;
}

int CFakeSoundLibrary::fail(int code)
{
    LastError = code;
    LastDetail.clear();
    return 0;
}

int CFakeSoundLibrary::refuse(const std::string& path)
{
    fail(ErrorFormat);
    LastDetail = RefusedFiles.at(path);
    return 0;
}

bool CFakeSoundLibrary::succeed()
{
    LastError = 0;
    LastDetail.clear();
    return true;
}

SFakeChannel* CFakeSoundLibrary::find(uint32_t handle)
{
    auto it = Channels.find(handle);
    return it == Channels.end() ? nullptr : &it->second;
}

int CFakeSoundLibrary::Init(int, uint32_t freq, uint32_t, void*, const void*)
{
    record("Init", 0, int(freq));
    if (IsInitialised)
        return fail(ErrorAlready);
    if (InitFails)
        return fail(ErrorDriver);
    IsInitialised = true;
    return succeed();
}

int CFakeSoundLibrary::Free()
{
    record("Free", 0);
    if (!IsInitialised)
        return fail(ErrorInit);
    IsInitialised = false;
    Samples.clear();
    Channels.clear();
    return succeed();
}

uint32_t CFakeSoundLibrary::SampleLoad(int, const void* file, uint64_t, uint32_t, uint32_t, uint32_t flags)
{
    std::string path = file ? static_cast<const char*>(file) : "";
    if (!IsInitialised)
        return record("SampleLoad", fail(ErrorInit), int(flags), path);
    if (MissingFiles.count(path))
        return record("SampleLoad", fail(ErrorFileOpen), int(flags), path);
    if (RefusedFiles.count(path))
        return record("SampleLoad", refuse(path), int(flags), path);
    uint32_t handle = NextHandle++;
    Samples[handle] = path;
    succeed();
    return record("SampleLoad", handle, int(flags), path);
}

int CFakeSoundLibrary::SampleFree(uint32_t sample)
{
    record("SampleFree", sample);
    if (!Samples.erase(sample))
        return fail(ErrorHandle);
    for (auto it = Channels.begin(); it != Channels.end();)
        it = it->second.Sample == sample ? Channels.erase(it) : std::next(it);
    return succeed();
}

uint32_t CFakeSoundLibrary::SampleGetChannel(uint32_t sample, int)
{
    if (!Samples.count(sample))
        return record("SampleGetChannel", fail(ErrorHandle), int(sample));
    if (NoChannels)
        return record("SampleGetChannel", fail(ErrorNoChannel), int(sample));
    uint32_t handle = NextHandle++;
    Channels[handle].Sample = sample;
    succeed();
    return record("SampleGetChannel", handle, int(sample));
}

uint32_t CFakeSoundLibrary::StreamCreateFile(int, const void* file, uint64_t, uint64_t, uint32_t flags)
{
    std::string path = file ? static_cast<const char*>(file) : "";
    if (!IsInitialised)
        return record("StreamCreateFile", fail(ErrorInit), int(flags), path);
    if (MissingFiles.count(path))
        return record("StreamCreateFile", fail(ErrorFileOpen), int(flags), path);
    if (RefusedFiles.count(path))
        return record("StreamCreateFile", refuse(path), int(flags), path);
    if (StreamOpenMs)
        platform::Sleep(StreamOpenMs);
    uint32_t handle = NextHandle++;
    SFakeChannel& stream = Channels[handle];
    stream.Path = path;
    stream.Flags = flags;
    succeed();
    return record("StreamCreateFile", handle, int(flags), path);
}

int CFakeSoundLibrary::ChannelSetFlags(uint32_t handle, uint32_t flags)
{
    record("ChannelSetFlags", handle, int(flags));
    SFakeChannel* channel = find(handle);
    if (!channel)
        return fail(ErrorHandle);
    channel->Flags = flags;
    return succeed();
}

int CFakeSoundLibrary::ChannelPlay(uint32_t handle, int restart)
{
    record("ChannelPlay", handle, restart);
    SFakeChannel* channel = find(handle);
    if (!channel)
        return fail(ErrorHandle);
    if (channel->Sample == 0) {
        // One music at a time: a stream that starts ends the one playing.
        for (auto& [other, stream] : Channels)
            if (other != handle && stream.Sample == 0)
                stream.IsPlaying = false;
    }
    channel->IsPlaying = true;
    channel->IsLooping = (channel->Flags & Loop) != 0;
    return succeed();
}

int CFakeSoundLibrary::ChannelStop(uint32_t handle)
{
    record("ChannelStop", handle);
    SFakeChannel* channel = find(handle);
    if (!channel)
        return fail(ErrorHandle);
    channel->IsPlaying = false;
    if (channel->Flags & AutoFree)
        Channels.erase(handle);
    return succeed();
}

int CFakeSoundLibrary::ChannelSetAttributes(uint32_t handle, int, int volume, int)
{
    record("ChannelSetAttributes", handle, volume);
    SFakeChannel* channel = find(handle);
    if (!channel)
        return fail(ErrorHandle);
    if (SetAttributesFails)
        return fail(ErrorUnknown);
    channel->Volume = std::clamp(volume, 0, 100);
    return succeed();
}

int CFakeSoundLibrary::ChannelGetAttributes(uint32_t handle, uint32_t* freq, uint32_t* volume, int* pan)
{
    record("ChannelGetAttributes", handle);
    SFakeChannel* channel = find(handle);
    if (!channel)
        return fail(ErrorHandle);
    if (freq)
        *freq = 22050;
    if (volume)
        *volume = uint32_t(channel->Volume);
    if (pan)
        *pan = 0;
    return succeed();
}

void CFakeSoundLibrary::finish(uint32_t handle)
{
    SFakeChannel* channel = find(handle);
    if (!channel)
        return;
    channel->IsPlaying = false;
    if (channel->Flags & AutoFree)
        Channels.erase(handle);
}

int CFakeSoundLibrary::count(const std::string& name) const
{
    return int(std::count_if(Calls.begin(), Calls.end(), [&](const SSoundCall& c) { return c.Name == name; }));
}

std::vector<int> CFakeSoundLibrary::volumesSet(uint32_t handle) const
{
    std::vector<int> volumes;
    for (const SSoundCall& call : Calls)
        if (call.Name == "ChannelSetAttributes" && call.Handle == handle)
            volumes.push_back(call.Value);
    return volumes;
}

const SFakeChannel* CFakeSoundLibrary::channel(uint32_t handle) const
{
    auto it = Channels.find(handle);
    return it == Channels.end() ? nullptr : &it->second;
}

std::vector<uint32_t> CFakeSoundLibrary::playing() const
{
    std::vector<uint32_t> handles;
    for (const auto& [handle, channel] : Channels)
        if (channel.IsPlaying)
            handles.push_back(handle);
    return handles;
}
