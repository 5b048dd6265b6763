// Script VM speed: each benchmark runs one script (compiled once) on a fresh VM per run.
// The same programs written in Lua are compared with lua5.4 by hand.
#include <squirrel.h>

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

const char* const kFib = R"(
function fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }
return fib(24);
)";

const char* const kArith = R"(
local s = 0; local f = 0.0;
for (local i = 0; i < 300000; i++) { s = s + i * 3 - (i / 7); f = f + i * 0.5; }
return s;
)";

const char* const kTables = R"(
local t = {};
for (local i = 0; i < 20000; i++) t[i] <- i;
local sum = 0;
for (local i = 0; i < 20000; i++) sum += t[i];
foreach (k, v in t) sum += v;
local names = {};
for (local i = 0; i < 1000; i++) names["key" + i] <- i;
for (local r = 0; r < 20; r++) for (local i = 0; i < 1000; i += 7) sum += names["key" + i];
return sum;
)";

const char* const kStrings = R"(
local total = 0;
for (local i = 0; i < 30000; i++) { local s = "item" + i + ":" + (i * 2); total += s.len(); }
local joined = "";
for (local i = 0; i < 500; i++) joined += "p" + i;
return total + joined.len();
)";

const char* const kMethods = R"(
class Counter {
  n = 0;
  function add(k) { n += k; return this; }
  function get() { return n; }
}
local c = Counter();
for (local i = 0; i < 200000; i++) c.add(i & 3);
return c.get();
)";

const char* const kSort = R"(
local seed = 12345;
local a = [];
for (local i = 0; i < 20000; i++) { seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF; a.append(seed % 100000); }
local b = clone a;
a.sort();
b.sort(function(x, y) { return y - x; });
return a[0];
)";

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

const char* const kClosures = R"(
function make(k) { return function(x):(k) { return x * k + 1; }; }
function gen(n) { for (local i = 0; i < n; i++) yield i; }
local total = 0;
for (local i = 0; i < 50000; i++) { local f = make(i & 7); total += f(i & 255); }
foreach (v in gen(50000)) total += v;
return total;
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

void BM_SquirrelFib(benchmark::State& state) { runScript(state, kFib); }
void BM_SquirrelArithmeticLoop(benchmark::State& state) { runScript(state, kArith); }
void BM_SquirrelTables(benchmark::State& state) { runScript(state, kTables); }
void BM_SquirrelStringBuilding(benchmark::State& state) { runScript(state, kStrings); }
void BM_SquirrelMethodCalls(benchmark::State& state) { runScript(state, kMethods); }
void BM_SquirrelArraySort(benchmark::State& state) { runScript(state, kSort); }
void BM_SquirrelForeach(benchmark::State& state) { runScript(state, kForeach); }
void BM_SquirrelClosuresAndGenerators(benchmark::State& state) { runScript(state, kClosures); }
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

BENCHMARK(BM_SquirrelFib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelArithmeticLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelTables)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelStringBuilding)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelMethodCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelArraySort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelForeach)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelClosuresAndGenerators)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelLibraryCalls)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SquirrelClosureFromC);

} // namespace
