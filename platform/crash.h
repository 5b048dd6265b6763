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

// What is known of a crash before anything is allocated: the signal and the
// raw code addresses of the crashing stack, the faulting point first.
struct CrashRawInfo {
    int signal = 0;
    const char* signalName = "";   // "SIGSEGV", ...
    int signalCode = 0;            // si_code
    uint32_t exceptionCode = 0;    // the nearest Windows exception code, for reports
    uintptr_t faultAddress = 0;    // si_addr
    uintptr_t programCounter = 0;  // where the thread stopped
    const uintptr_t* addresses = nullptr;   // at most MaxStackFrames
    size_t addressCount = 0;
};

// The same with the addresses named.
struct CrashInfo : CrashRawInfo {
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

// Runs first on a crash, before anything is allocated: it may use only
// async-signal-safe calls (no allocation, no locks), as the heap may be what
// crashed. The report it writes stands if describing the crash stalls.
using CrashSaveCallback = void (*)(const CrashRawInfo& crash);

// A crash handler never waits: from the crash on, a watchdog ends the process
// (exit code CrashExitCode) after this many seconds, so that describing the
// crash cannot hang on a lock the crash left held.
constexpr unsigned CrashWatchdogSeconds = 10;
// The crash callback asks a person next: the watchdog no longer ends the process.
void StopCrashWatchdog();

// Catches SIGSEGV, SIGFPE, SIGILL, SIGBUS and SIGABRT. The alternate stack (so that a
// stack overflow is still reported) is set up for the calling thread, and the stack
// walk is run once so that a crash finds it ready. False when the handlers could not
// be installed. A crash inside the callbacks ends the process at once.
// A crash on another thread than the main one (platform::MainThreadId) parks
// the main thread first, so the report and the debug log are made as for a
// crash on it.
[[nodiscard]] bool InstallCrashHandlers(CrashCallback callback, CrashSaveCallback saveFirst = nullptr);
void RemoveCrashHandlers();   // restores the handlers found at installation

// Runs a new thread's routine with an alternate stack of the thread's own,
// so that its stack overflow is reported too, even when the thread started
// before the handlers were installed; the stack goes when the routine ends.
// The program's thread creation (thread_start.cpp) starts every thread
// through it.
void* RunWithCrashStack(void* (*routine)(void*), void* argument);

}   // namespace platform
