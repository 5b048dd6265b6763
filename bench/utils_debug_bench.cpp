// Cost of the main-thread check that guards every engine entry point, of one
// debug-log line, and of a line appended to a log that keeps growing.
#include "utils_debug.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

static void BM_CheckMainThread(benchmark::State& state)
{
    platform::RecordMainThread();
    for (auto _ : state)
        CheckMainThread();
    platform::ForgetMainThread();
}
BENCHMARK(BM_CheckMainThread);

static void BM_DebugLogLine(benchmark::State& state)
{
    char folder[] = "/tmp/engine-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    SetLogFolder(folder);
    for (auto _ : state) {
        DebugLog("Pushing texture data\\sprites\\menu.png");
        if (GetDebugLogBuffer()->Text.GetLength() > 100000)
            GetDebugLogBuffer()->Text.Empty();   // keep appends comparable; nothing is written
    }
    GetDebugLogBuffer()->reset();
    SetLogFolder(nullptr);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DebugLogLine);

// Lines without a source file never flush, so the log only grows: the time
// per line (per_line, in seconds) must stay the same for 10,000 and 100,000.
static void BM_DebugLogGrowingLog(benchmark::State& state)
{
    char folder[] = "/tmp/engine-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    SetLogFolder(folder);
    const int64_t lines = state.range(0);
    for (auto _ : state) {
        for (int64_t i = 0; i < lines; ++i)
            DebugLog("Pushing texture data\\sprites\\menu.png");
        state.PauseTiming();
        GetDebugLogBuffer()->Text.Empty();   // nothing is written
        state.ResumeTiming();
    }
    state.counters["per_line"] = benchmark::Counter(
        double(lines), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    GetDebugLogBuffer()->reset();
    SetLogFolder(nullptr);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DebugLogGrowingLog)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
