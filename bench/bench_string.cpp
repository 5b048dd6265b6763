// CString against std::string on the work the engine does most: copies, appends, formatting.
#include "utils_str.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

const char* const Sample = "data\\sprites\\gui\\buttons\\main_menu_button_pressed.spr";

void CStringCopy(benchmark::State& state)
{
    CString source(Sample);
    for (auto _ : state) {
        CString copy(source);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(CStringCopy);

void StdStringCopy(benchmark::State& state)
{
    std::string source(Sample);
    for (auto _ : state) {
        std::string copy(source);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(StdStringCopy);

// Exact-size blocks make this quadratic in the number of pieces; the range shows it.
void CStringAppend(benchmark::State& state)
{
    const int pieces = int(state.range(0));
    for (auto _ : state) {
        CString text;
        for (int i = 0; i < pieces; ++i)
            text += "key=value\n";
        benchmark::DoNotOptimize(text);
    }
    state.SetComplexityN(pieces);
}
BENCHMARK(CStringAppend)->RangeMultiplier(4)->Range(16, 4096)->Complexity();

void StdStringAppend(benchmark::State& state)
{
    const int pieces = int(state.range(0));
    for (auto _ : state) {
        std::string text;
        for (int i = 0; i < pieces; ++i)
            text += "key=value\n";
        benchmark::DoNotOptimize(text);
    }
    state.SetComplexityN(pieces);
}
BENCHMARK(StdStringAppend)->RangeMultiplier(4)->Range(16, 4096)->Complexity();

void CStringFormat(benchmark::State& state)
{
    int frame = 0;
    for (auto _ : state) {
        CString text = Format("%s frame %d at %0.2f ms (%s)", Sample, ++frame, 16.67, "ok");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(CStringFormat);

// The same two passes with the C library: measure, then print.
void StdStringFormat(benchmark::State& state)
{
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        const char* fmt = "%s frame %d at %0.2f ms (%s)";
        int len = std::snprintf(nullptr, 0, fmt, Sample, frame, 16.67, "ok");
        std::string text(std::size_t(len), '\0');
        std::snprintf(text.data(), std::size_t(len) + 1, fmt, Sample, frame, 16.67, "ok");
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(StdStringFormat);

} // namespace
