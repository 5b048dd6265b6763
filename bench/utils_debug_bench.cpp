// Cost of the main-thread check that guards every engine entry point, of one
// debug-log line, and of a line appended to a log that keeps growing.
#include "utils_debug.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A log folder of the benchmark's own for its lifetime; nothing is written to it.
class CBenchLogFolder {
public:
    CBenchLogFolder()
    {
        Path = (std::filesystem::temp_directory_path() / "engine-bench-XXXXXX").string();
        Made = mkdtemp(Path.data()) != nullptr;
        if (Made)
            SetLogFolder(Path.c_str());
    }
    ~CBenchLogFolder()
    {
        if (!Made)
            return;
        GetDebugLogBuffer()->reset();
        SetLogFolder(nullptr);
        std::filesystem::remove_all(Path);
    }
    CBenchLogFolder(const CBenchLogFolder&) = delete;
    CBenchLogFolder& operator=(const CBenchLogFolder&) = delete;

    bool Made = false;

private:
    std::string Path;
};

} // namespace

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
    CBenchLogFolder folder;
    if (!folder.Made) {
        state.SkipWithError("no temporary folder");
        return;
    }
    for (auto _ : state) {
        DebugLog("Pushing texture data\\sprites\\menu.png");
        if (GetDebugLogBuffer()->Text.GetLength() > 100000)
            GetDebugLogBuffer()->Text.Empty();   // keep appends comparable; nothing is written
    }
}
BENCHMARK(BM_DebugLogLine);

// Lines without a source file never flush, so the log only grows: the time
// per line (per_line, in seconds) must stay the same for 10,000 and 100,000.
static void BM_DebugLogGrowingLog(benchmark::State& state)
{
    CBenchLogFolder folder;
    if (!folder.Made) {
        state.SkipWithError("no temporary folder");
        return;
    }
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
}
BENCHMARK(BM_DebugLogGrowingLog)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
