// Reading and writing the options a player profile keeps: a profile of a
// game that stores a value per level or item holds tens of thousands of lines.
#include "utils_str.h"
#include "utils_str_attribs.h"

#include <benchmark/benchmark.h>

namespace {

// The options part of a profile: a few settings, then n numbered options
// and a string and a number every tenth line, as toText writes them.
CString profileOptions(int count)
{
    CString text("\nFullscreen=0\nLanguage=en\n");
    std::string lines;
    for (int i = 0; i < count; ++i) {
        lines += "OptionLong[level" + std::to_string(i) + ".score]=" + std::to_string(i * 7) + "\n";
        if (i % 10 == 0) {
            lines += "Option[level" + std::to_string(i) + ".name]=Level " + std::to_string(i) + "\n";
            lines += "OptionDouble[level" + std::to_string(i) + ".time]=12.50\n";
        }
    }
    text += lines.c_str();
    return text;
}

void ProfileOptionsRead(benchmark::State& state)
{
    const int count = int(state.range(0));
    const CString text = profileOptions(count);
    for (auto _ : state) {
        CCustomAttribs options;
        options.fromText(text, false);
        benchmark::DoNotOptimize(options.getInt("level0.score", -1));
    }
    state.SetComplexityN(count);
}
BENCHMARK(ProfileOptionsRead)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond);

// The same options written back, as a profile is saved.
void ProfileOptionsWrite(benchmark::State& state)
{
    const int count = int(state.range(0));
    CCustomAttribs options;
    options.fromText(profileOptions(count), false);
    for (auto _ : state) {
        CString text = options.toText(nullptr, nullptr);
        benchmark::DoNotOptimize(text.GetLength());
    }
    state.SetComplexityN(count);
}
BENCHMARK(ProfileOptionsWrite)->RangeMultiplier(10)->Range(100, 100000)->Unit(benchmark::kMillisecond);

} // namespace
