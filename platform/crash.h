// Crash signals and stack walks: the platform half of the crash report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// One code address, named as far as the debug information allows.
struct StackFrame {
    uintptr_t address = 0;
    std::string function;      // demangled; empty when unknown
    std::string sourceFile;    // empty without debug information
    unsigned line = 0;         // 0 when unknown
    std::string module;        // file name of the program or library, without its folder
    uintptr_t moduleOffset = 0;   // address minus the module's load address
};

constexpr size_t MaxStackFrames = 1024;

// The calling thread's stack, its caller first; `skip` drops that many more frames.
std::vector<StackFrame> CaptureStack(size_t skip = 0, size_t maxFrames = MaxStackFrames);
// Names code addresses captured elsewhere (another point's stack), read as return addresses.
std::vector<StackFrame> DescribeAddresses(const uintptr_t* addresses, size_t count);

struct CrashInfo {
    int signal = 0;
    const char* signalName = "";   // "SIGSEGV", ...
    int signalCode = 0;            // si_code
    uint32_t exceptionCode = 0;    // the nearest Windows exception code, for reports
    uintptr_t faultAddress = 0;    // si_addr
    uintptr_t programCounter = 0;  // where the thread stopped
    std::vector<StackFrame> frames;   // the faulting point first, at most MaxStackFrames
};

enum class CrashAction {
    End,      // _exit(CrashExitCode)
    PassOn,   // default handling: the signal kills the process (core dump, debugger)
};
constexpr int CrashExitCode = 1;

// Runs on the crashing thread, on an alternate signal stack, with the signal blocked.
// Must not return control to the crashed code any other way than through its result.
using CrashCallback = CrashAction (*)(const CrashInfo& crash);

// Runs first on a crash, before anything of the report is made: it may use only
// async-signal-safe calls (no allocation, no locks), as the heap may be what crashed.
using CrashSaveCallback = void (*)();

// Catches SIGSEGV, SIGFPE, SIGILL, SIGBUS and SIGABRT. The alternate stack (so that a
// stack overflow is still reported) is set up for the calling thread. False when the
// handlers could not be installed. A crash inside the callbacks ends the process at once.
[[nodiscard]] bool InstallCrashHandlers(CrashCallback callback, CrashSaveCallback saveFirst = nullptr);
void RemoveCrashHandlers();   // restores the handlers found at installation

}   // namespace platform
