// Cost of the main-thread check that guards every engine entry point, and
// of one debug-log line.
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
