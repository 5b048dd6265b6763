// Compiled scripts, damaged: the loader refuses them, or what it takes runs to
// its end or to a script error. A run is cut off after a budget of debug-hook
// events; code that could loop without sending one is only loaded.
#include "script_stream.h"

#include "../squirrel/squirrel/sqobjects.h"

#include <sqstdaux.h>
#include <sqstdblob.h>
#include <sqstdmath.h>
#include <sqstdstring.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

constexpr int kEventBudget = 20000;
int HookEvents = 0;
// events that each build a string of hundreds of megabytes would take minutes to reach the
// budget: time ends those runs
std::chrono::steady_clock::time_point Deadline;
SQFunctionProto* Loaded = nullptr;

// Every instruction becomes a throw, so whatever runs next unwinds to the host.
void throwEverywhere(SQFunctionProto* p)
{
    for (SQInstruction& i : p->_instructions) i = SQInstruction{OP_THROW, 0, 0, 0, 0};
    for (SQObjectPtr& f : p->_functions) throwEverywhere(_funcproto(f));
}

// The hook cannot stop the VM itself (what it raises is dropped), so past the
// budget it ends the run through the code.
SQInteger countingHook(HSQUIRRELVM)
{
    ++HookEvents;
    if (HookEvents == kEventBudget ||
        (HookEvents < kEventBudget && HookEvents % 64 == 0 && std::chrono::steady_clock::now() > Deadline)) {
        HookEvents = kEventBudget;
        throwEverywhere(Loaded);
    }
    return 0;
}

// True when the function could loop through instructions none of which is a
// line event: a cycle in its control flow once the LINE instructions are taken out.
bool loopsSilently(const SQFunctionProto* p)
{
    const std::vector<SQInstruction>& code = p->_instructions;
    const size_t n = code.size();
    std::vector<uint8_t> state(n, 0);   // 0 new, 1 on the path, 2 done
    std::vector<std::pair<size_t, int>> path;
    for (size_t root = 0; root < n; ++root) {
        if (state[root] || code[root].op == OP_LINE) continue;
        path.push_back({root, 0});
        state[root] = 1;
        while (!path.empty()) {
            auto& [pc, next] = path.back();
            const SQInstruction& i = code[pc];
            size_t succ[3];
            int count = 0;
            const size_t jump = pc + 1 + static_cast<size_t>(static_cast<ptrdiff_t>(i.a1));
            switch (i.op) {
            case OP_RETURN: case OP_THROW: break;
            case OP_JMP: succ[count++] = jump; break;
            case OP_FOREACH: succ[count++] = pc + 2; [[fallthrough]];
            case OP_JZ: case OP_JNZ: case OP_JCMP: case OP_JCMPK: case OP_FORLOOP: case OP_POSTFOREACH:
            case OP_PUSHTRAP: case OP_JEQ: case OP_JEQK: case OP_JCMPT: case OP_JCMPKT:
            case OP_JCMPI: case OP_JCMPIT: case OP_JEQI:
                succ[count++] = jump; [[fallthrough]];
            default: succ[count++] = pc + 1;
            }
            if (next == count) {
                state[pc] = 2;
                path.pop_back();
                continue;
            }
            const size_t to = succ[next++];
            if (to >= n || code[to].op == OP_LINE || state[to] == 2) continue;
            if (state[to] == 1) return true;
            state[to] = 1;
            path.push_back({to, 0});
        }
    }
    for (const SQObjectPtr& f : p->_functions)
        if (loopsSilently(_funcproto(f))) return true;
    return false;
}

} // namespace

// A script may ask for any size and gets "out of memory" when the allocation
// fails, as in the game; a small limit stands in for the machine's memory.
// The sanitizer's own `new` ends the process where the game's throws (which the
// VM turns into that script error), so this target's comes from malloc, and
// the sanitizer's `delete` must not take that for a mismatch.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=256:alloc_dealloc_mismatch=0";
}
void* operator new(size_t size)
{
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    HSQUIRRELVM vm = sq_open(1024);
    sq_setprintfunc(vm, silentScriptPrint);
    sq_pushroottable(vm);
    sqstd_register_bloblib(vm);
    sqstd_register_mathlib(vm);
    sqstd_register_stringlib(vm);
    sq_pop(vm, 1);
    sqstd_seterrorhandlers(vm);   // its report lists the locals of the failing frames
    // code made at run time or another hook would escape the budget
    for (const char* name : {"compilestring", "setdebughook"}) {
        sq_pushroottable(vm);
        sq_pushstring(vm, name, -1);
        sq_deleteslot(vm, -2, SQFalse);
        sq_pop(vm, 1);
    }

    SScriptStream stream;
    stream.Data.assign(reinterpret_cast<const char*>(bytes), size);
    if (SQ_SUCCEEDED(sq_readclosure(vm, readScriptStream, &stream))) {
        HSQOBJECT loaded;
        sq_getstackobj(vm, -1, &loaded);
        Loaded = _closure(loaded)->Proto();
        if (!loopsSilently(Loaded)) {
            HookEvents = 0;
            Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            sq_newclosure(vm, countingHook, 0);
            sq_setdebughook(vm);
            sq_pushroottable(vm);
            sq_call(vm, 1, SQFalse, SQTrue);
        }
    }
    sq_close(vm);
    return 0;
}
