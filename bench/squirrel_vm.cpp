// Script VM speed. The programs in bench/vm/ exist twice, as .nut and as .lua: each run of
// BM_VersusLua/<name> times our VM and then the lua5.4 binary on the same program (CPU time of
// the run alone, compilation and start-up left out) and checks that both return the same value.
// At the end a table gives the time ratio per program (ours / Lua's) and their geometric mean.
// Lua comes from `WITH_LUA=1 tools/install-deps.sh`; without it only our VM is timed.
// The other benchmarks time single scripts on a fresh VM per run.
#include <squirrel.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kForeach = R"(
local a = [];
for (local i = 0; i < 50000; i++) a.append(i);
local t = {};
for (local i = 0; i < 10000; i++) t[i] <- i;
local sum = 0;
for (local r = 0; r < 4; r++) {
  foreach (i, v in a) sum += v;
  foreach (k, v in t) sum += v;
}
return sum;
)";

const char* const kLibCalls = R"(
local a = [];
local total = 0;
for (local i = 0; i < 40000; i++) {
  a.append(i);
  local s = "word" + (i & 63);
  total += s.len() + s.slice(1).len() + a.len() + s.find("d");
}
return total + (2.5).tointeger();
)";

struct Vm {
    Vm() : v(sq_open(1024)) {}
    ~Vm() { sq_close(v); }
    HSQUIRRELVM v;
};

void runScript(benchmark::State& state, const char* src)
{
    for (auto _ : state) {
        state.PauseTiming();
        Vm vm;
        if (SQ_FAILED(sq_compilebuffer(vm.v, src, static_cast<SQInteger>(strlen(src)), "bench", SQFalse))) {
            state.SkipWithError("compile failed");
            return;
        }
        state.ResumeTiming();
        sq_pushroottable(vm.v);
        if (SQ_FAILED(sq_call(vm.v, 1, SQTrue, SQFalse))) {
            state.SkipWithError("run failed");
            return;
        }
        SQInteger result = 0;
        sq_getinteger(vm.v, -1, &result);
        benchmark::DoNotOptimize(result);
    }
}

void BM_SquirrelForeach(benchmark::State& state) { runScript(state, kForeach); }
void BM_SquirrelLibraryCalls(benchmark::State& state) { runScript(state, kLibCalls); }

// A script closure called from C, as the engine calls event handlers.
void BM_SquirrelClosureFromC(benchmark::State& state)
{
    Vm vm;
    const char* src = "return function(x) { return x * 3 + 1; }";
    sq_compilebuffer(vm.v, src, static_cast<SQInteger>(strlen(src)), "bench", SQFalse);
    sq_pushroottable(vm.v);
    sq_call(vm.v, 1, SQTrue, SQFalse);   // [main, closure]
    SQInteger i = 0;
    for (auto _ : state) {
        sq_push(vm.v, -1);
        sq_pushroottable(vm.v);
        sq_pushinteger(vm.v, i++ & 1023);
        sq_call(vm.v, 2, SQTrue, SQFalse);
        SQInteger r = 0;
        sq_getinteger(vm.v, -1, &r);
        benchmark::DoNotOptimize(r);
        sq_pop(vm.v, 2);
    }
}

const char* const kPrograms[] = {"fib", "loops", "closures", "methods", "strings", "sort", "tables", "generators", "fibif", "branches", "thiscalls"};

std::string programPath(const std::string& file) { return std::string(ENGINE_SOURCE_DIR) + "/bench/vm/" + file; }

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string luaBinary()
{
    const char* env = getenv("ENGINE_LUA");
    std::string lua = env && *env ? env : "lua5.4";
    std::string probe = "command -v '" + lua + "' >/dev/null 2>&1";
    return system(probe.c_str()) == 0 ? lua : std::string();
}

// One Lua run: false when the binary failed or printed no "<seconds> <result>" line.
bool runLua(const std::string& lua, const std::string& name, double& seconds, long long& result)
{
    std::string cmd = "'" + lua + "' '" + programPath("run.lua") + "' '" + programPath(name + ".lua") + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return false;
    char line[128] = {};
    bool ok = fgets(line, sizeof line, p) != nullptr;
    ok = pclose(p) == 0 && ok;
    return ok && sscanf(line, "%lf %lld", &seconds, &result) == 2;
}

struct Totals {
    double ours = 0;
    double lua = 0;
};
std::map<std::string, Totals>& totals()
{
    static std::map<std::string, Totals> t;
    return t;
}

void BM_VersusLua(benchmark::State& state, const std::string& name, const std::string& lua)
{
    std::ifstream in(programPath(name + ".nut"));
    std::stringstream text;
    text << in.rdbuf();
    const std::string src = text.str();
    if (src.empty()) {
        state.SkipWithError("program missing");
        return;
    }
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        Vm vm;
        if (SQ_FAILED(sq_compilebuffer(vm.v, src.c_str(), static_cast<SQInteger>(src.size()), name.c_str(), SQFalse))) {
            state.SkipWithError("compile failed");
            return;
        }
        sq_pushroottable(vm.v);
        double t0 = cpuSeconds();
        bool ran = SQ_SUCCEEDED(sq_call(vm.v, 1, SQTrue, SQFalse));
        double t = cpuSeconds() - t0;
        SQInteger result = 0;
        if (!ran || SQ_FAILED(sq_getinteger(vm.v, -1, &result))) {
            state.SkipWithError("run failed");
            return;
        }
        state.SetIterationTime(t);
        ours += t;
        if (lua.empty()) continue;
        double lt = 0;
        long long lresult = 0;
        if (!runLua(lua, name, lt, lresult)) {
            state.SkipWithError("lua5.4 run failed");
            return;
        }
        if (lresult != result) {
            state.SkipWithError("the Lua program returned another value");
            return;
        }
        theirs += lt;
    }
    Totals& tot = totals()[name];
    tot.ours += ours;
    tot.lua += theirs;
    if (theirs > 0) {
        state.counters["lua_ms"] = benchmark::Counter(theirs * 1e3 / static_cast<double>(state.iterations()));
        state.counters["ratio"] = benchmark::Counter(ours / theirs);
    }
}

void printRatios()
{
    double logSum = 0;
    int n = 0;
    printf("\n%-12s %10s %10s %7s\n", "program", "ours ms", "lua ms", "ratio");
    for (const char* name : kPrograms) {
        auto it = totals().find(name);
        if (it == totals().end() || it->second.lua <= 0) continue;
        double r = it->second.ours / it->second.lua;
        printf("%-12s %10.1f %10.1f %7.2f\n", name, it->second.ours * 1e3, it->second.lua * 1e3, r);
        logSum += std::log(r);
        n++;
    }
    if (n) printf("%-12s %10s %10s %7.2f\n", "geomean", "", "", std::exp(logSum / n));
}

BENCHMARK(BM_SquirrelForeach)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelLibraryCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelClosureFromC);

} // namespace

int main(int argc, char** argv)
{
    const std::string lua = luaBinary();
    if (lua.empty()) fprintf(stderr, "lua5.4 not found (WITH_LUA=1 tools/install-deps.sh): timing our VM only\n");
    for (const char* name : kPrograms) {
        benchmark::RegisterBenchmark((std::string("BM_VersusLua/") + name).c_str(),
                                     [name, lua](benchmark::State& st) { BM_VersusLua(st, name, lua); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRatios();
    return 0;
}
