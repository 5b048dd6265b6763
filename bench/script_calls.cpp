// Calls into scripts from the engine: a function by name with a table
// argument, and compiled code run again (what a code-cache hit costs).
#include "module_scripting.h"
#include "module_scripting_binding.h"

#include <benchmark/benchmark.h>

namespace {

void silentPrint(HSQUIRRELVM, const SQChar*, ...) {}

struct SScriptVm {
    SScriptVm()
    {
        SquirrelVM::Init();
        sq_setprintfunc(SquirrelVM::GetVMPtr(), silentPrint);
        SquirrelVM::RunScript(SquirrelVM::CompileBuffer(
            "counter <- 0; function onClick(t) { counter += t._id; return counter; }", "bench"));
    }
    ~SScriptVm() { SquirrelVM::Shutdown(); }
};

void CallFunctionByNameWithTable(benchmark::State& state)
{
    SScriptVm vm;
    for (auto _ : state) {
        SquirrelObject argument = SquirrelVM::CreateTable();
        argument.SetValue("_id", SQInteger(1));
        argument.SetValue("_parentid", SQInteger(1001));
        SquirrelFunction function("onClick");
        benchmark::DoNotOptimize(function(argument));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CallFunctionByNameWithTable);

void RunCompiledCodeAgain(benchmark::State& state)
{
    SScriptVm vm;
    SquirrelObject closure = SquirrelVM::CompileBuffer("counter += 1;", "bench");
    for (auto _ : state)
        benchmark::DoNotOptimize(SquirrelVM::RunScript(closure));
    state.SetItemsProcessed(state.iterations());
    closure.Reset();
}
BENCHMARK(RunCompiledCodeAgain);

// The host's path for description actions: the code cache hit, then the run.
void CallCachedCodeText(benchmark::State& state)
{
    CScriptModule host;
    sq_setprintfunc(SquirrelVM::GetVMPtr(), silentPrint);
    host.callScriptCode("counter <- 0;", nullptr, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(host.callScriptCode("counter += 1;", nullptr, true));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CallCachedCodeText);

void CallFunctionByNameThroughHost(benchmark::State& state)
{
    CScriptModule host;
    sq_setprintfunc(SquirrelVM::GetVMPtr(), silentPrint);
    host.callScriptCode("counter <- 0; function onClick(t) { counter += t._id; }", nullptr, false);
    for (auto _ : state) {
        SquirrelObject argument = SquirrelVM::CreateTable();
        argument.SetValue("_id", SQInteger(1));
        argument.SetValue("_parentid", SQInteger(1001));
        benchmark::DoNotOptimize(host.callPrecompiledMethod("onClick", argument));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CallFunctionByNameThroughHost);

void CompileAndRunCode(benchmark::State& state)
{
    SScriptVm vm;
    for (auto _ : state)
        benchmark::DoNotOptimize(SquirrelVM::RunScript(SquirrelVM::CompileBuffer("counter += 1;", "bench")));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CompileAndRunCode);

}  // namespace
