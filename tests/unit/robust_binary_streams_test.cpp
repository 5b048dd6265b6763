// Mutated binary streams: the sample game's start-up script as compiled
// bytecode, and its sounds as .wav files, damaged in seeded ways. The loader
// refuses or accepts with the VM stack balanced; the sound layer refuses or
// plays; nothing crashes, hangs or leaks.
#include "audio_bass.h"
#include "mutations.h"
#include "script_stream.h"
#include "temp_folder.h"

#include <squirrel.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(RobustBinaryStreams, MutatedBytecodeIsRefusedOrLoadedWithTheStackBalanced)
{
    const std::string source = ReadSampleData("scripts/startup.nut");
    ASSERT_FALSE(source.empty());
    HSQUIRRELVM vm = sq_open(1024);
    sq_setprintfunc(vm, silentScriptPrint);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(vm, source.c_str(), SQInteger(source.size()), "startup.nut", SQFalse)));
    SScriptStream seed;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(vm, writeScriptStream, &seed)));
    sq_settop(vm, 0);
    // The seed is a few kilobytes: many more truncations and flips than the text files get.
    std::vector<std::string> cases = MutateSeed(seed.Data, 40, 300);
    for (unsigned k = 0; k < unsigned(MutationBudget(120)); ++k) {
        std::string flipped = seed.Data;
        const size_t at = (k * 2654435761u) % flipped.size();
        flipped[at] = char(flipped[at] ^ (1u << (k % 8)));
        cases.push_back(flipped);
    }
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        SScriptStream stream{cases[i], 0};
        const bool loaded = SQ_SUCCEEDED(sq_readclosure(vm, readScriptStream, &stream));
        const SQInteger top = sq_gettop(vm);
        sq_settop(vm, 0);
        if (top != (loaded ? 1 : 0))
            return "stack holds " + std::to_string(top) + " after " + (loaded ? "loading" : "a refusal");
        if (i == 0 && !loaded)
            return "the unmutated bytecode was refused";
        if (loaded && cases[i].size() < seed.Data.size() && seed.Data.compare(0, cases[i].size(), cases[i]) == 0)
            return "a truncated stream was loaded";
        return "";
    }, "");
    sq_close(vm);
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

TEST(RobustBinaryStreams, MutatedWavesAreRefusedOrPlayed)
{
    std::vector<std::string> cases;
    for (const char* file : {"sounds/click.wav", "sounds/hover.wav"}) {
        const std::string seed = ReadSampleData(file);
        ASSERT_GT(seed.size(), 44u) << file;
        const std::vector<std::string> more = MutateSeed(seed, 41, 80, {"RIFF", "WAVEfmt ", "data\xFF\xFF\xFF\x7F"});
        cases.insert(cases.end(), more.begin(), more.end());
    }
    bool started = false;
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        if (!started) {
            // In the child only: the audio thread must not be forked.
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            if (!BASS_Init(-1, 44100, 0, nullptr, nullptr))
                return "no dummy audio device";
            started = true;
        }
        const HSAMPLE sample = BASS_SampleLoad(1, cases[i].data(), 0, uint32_t(cases[i].size()), 3, 0);
        if (!sample) {
            if (i == 0)
                return "the unmutated sound was refused";
            return BASS_ErrorGetCode() != 0 ? "" : "a refusal without a reason";
        }
        const HCHANNEL channel = BASS_SampleGetChannel(sample, 0);
        if (!channel || !BASS_ChannelPlay(channel, 1))
            return "a loaded sound does not play";
        return BASS_SampleFree(sample) ? "" : "a loaded sound cannot be freed";
    }, "");
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

}  // namespace
