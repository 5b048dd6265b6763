// Crash signal handlers on an alternate stack, and stack capture through boost::stacktrace.
#include "crash.h"

#include "thread.h"

#include <boost/stacktrace/frame.hpp>
#include <boost/stacktrace/safe_dump_to.hpp>

#include <cxxabi.h>
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

constexpr int CrashSignals[] = {SIGSEGV, SIGFPE, SIGILL, SIGBUS, SIGABRT};
constexpr size_t SignalCount = sizeof CrashSignals / sizeof CrashSignals[0];
constexpr size_t AltStackBytes = 512 * 1024;   // naming frames parses debug information on it
constexpr size_t RawSlack = 64;                // handler and trampoline frames above the fault

std::atomic<CrashCallback> g_callback{nullptr};
std::atomic<CrashSaveCallback> g_saveFirst{nullptr};
std::atomic<pid_t> g_crashingThread{0};
std::atomic<int> g_heldThreads{0};   // threads parked by a crash on another thread
struct sigaction g_previous[SignalCount];
stack_t g_previousAltStack;
std::atomic<bool> g_installed{false};
void* g_altStack = nullptr;   // mapped once, kept for the life of the process
// Filled inside the handler, where nothing may be allocated before the first report.
boost::stacktrace::detail::native_frame_ptr_t g_rawFrames[MaxStackFrames + RawSlack + 1];
uintptr_t g_crashAddresses[MaxStackFrames];

const char* nameOfSignal(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGBUS: return "SIGBUS";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

// The Windows exception a crash report of the same fault would have named.
uint32_t exceptionCodeFor(int sig, int code)
{
    switch (sig) {
    case SIGSEGV: return 0xC0000005;   // access violation
    case SIGBUS: return code == BUS_ADRALN ? 0x80000002 : 0xC0000005;
    case SIGILL: return code == ILL_PRVOPC || code == ILL_PRVREG ? 0xC0000096 : 0xC000001D;
    case SIGABRT: return 0x40000015;   // fatal application exit
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV: return 0xC0000094;
        case FPE_INTOVF: return 0xC0000095;
        case FPE_FLTDIV: return 0xC000008E;
        case FPE_FLTOVF: return 0xC0000091;
        case FPE_FLTUND: return 0xC0000093;
        case FPE_FLTRES: return 0xC000008F;
        default: return 0xC0000090;   // invalid operation
        }
    default: return 0;
    }
}

uintptr_t programCounterOf(void* context)
{
    const ucontext_t* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return uintptr_t(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return uintptr_t(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

std::string demangle(const char* name)
{
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && text ? text : name;
    std::free(text);
    return result;
}

// A return address points after its call, possibly at the next line or function:
// look up the byte before it.
StackFrame describe(uintptr_t address, bool isReturnAddress)
{
    StackFrame frame;
    frame.address = address;
    uintptr_t lookup = isReturnAddress && address > 0 ? address - 1 : address;
    boost::stacktrace::frame named(reinterpret_cast<boost::stacktrace::frame::native_frame_ptr_t>(lookup));
    frame.function = named.name();
    frame.sourceFile = named.source_file();
    frame.line = unsigned(named.source_line());
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(lookup), &info)) {
        if (info.dli_fname) {
            const char* slash = std::strrchr(info.dli_fname, '/');
            frame.module = slash ? slash + 1 : info.dli_fname;
        }
        frame.moduleOffset = address - uintptr_t(info.dli_fbase);
        if (frame.function.empty() && info.dli_sname) frame.function = demangle(info.dli_sname);
    }
    return frame;
}

std::vector<StackFrame> describeAll(const uintptr_t* addresses, size_t count, bool firstIsExact)
{
    std::vector<StackFrame> frames;
    frames.reserve(count);
    for (size_t i = 0; i < count && addresses[i]; ++i)
        frames.push_back(describe(addresses[i], !(i == 0 && firstIsExact)));
    return frames;
}

// The raw addresses from the faulting point down, without the handler and the
// signal trampoline, into g_crashAddresses; their count. Allocates nothing.
size_t crashAddresses(uintptr_t pc)
{
    size_t stored = boost::stacktrace::safe_dump_to(0, g_rawFrames, sizeof g_rawFrames);
    size_t count = stored > 0 ? stored - 1 : 0;   // the last slot is a terminating null
    size_t start = count;
    for (size_t i = 0; i < count; ++i)
        if (reinterpret_cast<uintptr_t>(g_rawFrames[i]) == pc) { start = i; break; }
    size_t kept = 0;
    if (start == count && pc) g_crashAddresses[kept++] = pc;   // unwinding lost the fault: keep everything
    for (size_t i = start == count ? 0 : start; i < count && kept < MaxStackFrames; ++i)
        g_crashAddresses[kept++] = reinterpret_cast<uintptr_t>(g_rawFrames[i]);
    return kept;
}

void onWatchdog(int)
{
    static const char text[] = "The crash report stalled; the program ends\n";
    ssize_t ignored = write(STDERR_FILENO, text, sizeof text - 1);
    (void)ignored;
    _exit(CrashExitCode);
}

// From here on the process ends within CrashWatchdogSeconds. Any thread may
// take the alarm; the crashing one is made able to.
void armWatchdog()
{
    struct sigaction action{};
    action.sa_handler = onWatchdog;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    pthread_sigmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    alarm(CrashWatchdogSeconds);
}

// A crash on another thread stops the main thread before the report is made:
// the debug log it writes is then the one saved, and it cannot end the
// process while the report is under way. A crash signal sent to it finds this
// report under way and parks it. Waits a little at most: a main thread with
// the signal blocked runs on.
void holdMainThread(pid_t self)
{
    pid_t mainThread = pid_t(MainThreadId());
    if (mainThread == 0) mainThread = getpid();   // before the main thread is recorded: the first one
    if (mainThread == self || syscall(SYS_tgkill, getpid(), mainThread, SIGSEGV) != 0) return;
    const timespec step = {0, 1000 * 1000};
    for (int waited = 0; waited < 500 && g_heldThreads.load() == 0; ++waited) nanosleep(&step, nullptr);
}

void onCrashSignal(int sig, siginfo_t* si, void* context)
{
    pid_t self = gettid();
    pid_t none = 0;
    if (!g_crashingThread.compare_exchange_strong(none, self)) {
        if (none == self) _exit(CrashExitCode);   // the report itself crashed
        g_heldThreads.fetch_add(1);
        for (;;) pause();                         // another thread is reporting; it ends the process
    }
    armWatchdog();
    holdMainThread(self);
    CrashInfo crash;   // allocates nothing until its frames are named
    crash.signal = sig;
    crash.signalName = nameOfSignal(sig);
    crash.signalCode = si ? si->si_code : 0;
    crash.exceptionCode = exceptionCodeFor(sig, crash.signalCode);
    crash.faultAddress = si ? reinterpret_cast<uintptr_t>(si->si_addr) : 0;
    crash.programCounter = context ? programCounterOf(context) : 0;
    crash.addresses = g_crashAddresses;
    crash.addressCount = crashAddresses(crash.programCounter);
    if (CrashSaveCallback save = g_saveFirst.load()) save(crash);

    // Naming the frames allocates: the watchdog ends a stall here.
    crash.frames = describeAll(crash.addresses, crash.addressCount, crash.programCounter != 0);

    CrashCallback callback = g_callback.load();
    CrashAction action = callback ? callback(crash) : CrashAction::End;
    if (action == CrashAction::PassOn) {
        alarm(0);
        signal(sig, SIG_DFL);
        raise(sig);   // SA_NODEFER: delivered at once, with the default action
        return;
    }
    _exit(CrashExitCode);
}

// An alternate stack with a page below it that faults: a report that ran out
// of it would otherwise write over whatever lies below. Null when refused.
void* mapAltStack()
{
    const size_t guard = size_t(sysconf(_SC_PAGESIZE));
    void* memory = mmap(nullptr, AltStackBytes + guard, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    if (mprotect(memory, guard, PROT_NONE) != 0) {
        munmap(memory, AltStackBytes + guard);
        return nullptr;
    }
    return static_cast<char*>(memory) + guard;
}

void unmapAltStack(void* stack)
{
    const size_t guard = size_t(sysconf(_SC_PAGESIZE));
    munmap(static_cast<char*>(stack) - guard, AltStackBytes + guard);
}

// The alternate stack of one thread that the crash handlers did not start on,
// from the thread's start to its end, whether the handlers are installed yet
// or not: a library's constructor may start a thread before main installs
// them. The one found before (a sanitizer's) is put back at the end.
class CThreadAltStack {
public:
    CThreadAltStack()
    {
        if (!(m_stack = mapAltStack())) return;
        stack_t stack{};
        stack.ss_sp = m_stack;
        stack.ss_size = AltStackBytes;
        if (sigaltstack(&stack, &m_previous) != 0) {
            unmapAltStack(m_stack);
            m_stack = nullptr;
        }
    }
    ~CThreadAltStack()
    {
        if (!m_stack) return;
        m_previous.ss_flags = (m_previous.ss_flags & SS_DISABLE) ? SS_DISABLE : 0;
        if (sigaltstack(&m_previous, nullptr) == 0) unmapAltStack(m_stack);
    }
    CThreadAltStack(const CThreadAltStack&) = delete;
    CThreadAltStack& operator=(const CThreadAltStack&) = delete;

private:
    void* m_stack = nullptr;
    stack_t m_previous{};
};

bool setAltStack()
{
    if (!g_altStack && !(g_altStack = mapAltStack())) return false;
    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = AltStackBytes;
    return sigaltstack(&stack, &g_previousAltStack) == 0;
}

}   // namespace

std::vector<StackFrame> CaptureStack(size_t skip, size_t maxFrames)
{
    maxFrames = std::min(maxFrames, MaxStackFrames);
    std::vector<boost::stacktrace::detail::native_frame_ptr_t> raw(maxFrames + 1);
    // +1 skips this function itself.
    size_t stored = boost::stacktrace::safe_dump_to(skip + 1, raw.data(), raw.size() * sizeof raw[0]);
    size_t count = stored > 0 ? stored - 1 : 0;
    std::vector<uintptr_t> addresses(count);
    for (size_t i = 0; i < count; ++i) addresses[i] = reinterpret_cast<uintptr_t>(raw[i]);
    return describeAll(addresses.data(), count, false);
}

std::vector<StackFrame> DescribeAddresses(const uintptr_t* addresses, size_t count)
{
    return describeAll(addresses, count, false);
}

void StopCrashWatchdog()
{
    alarm(0);
}

void* RunWithCrashStack(void* (*routine)(void*), void* argument)
{
    CThreadAltStack stack;   // also let go when the thread ends through pthread_exit
    return routine(argument);
}

bool InstallCrashHandlers(CrashCallback callback, CrashSaveCallback saveFirst)
{
    g_callback.store(callback);
    g_saveFirst.store(saveFirst);
    if (g_installed.load()) return true;
    if (!setAltStack()) return false;
    // The unwinder finds and caches what it reads on its first walk: made now,
    // not in a crash.
    boost::stacktrace::safe_dump_to(0, g_rawFrames, sizeof g_rawFrames);
    struct sigaction action{};
    action.sa_sigaction = onCrashSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < SignalCount; ++i) {
        if (sigaction(CrashSignals[i], &action, &g_previous[i]) != 0) {
            while (i-- > 0) sigaction(CrashSignals[i], &g_previous[i], nullptr);
            return false;
        }
    }
    g_installed.store(true);
    return true;
}

void RemoveCrashHandlers()
{
    if (!g_installed.load()) return;
    for (size_t i = 0; i < SignalCount; ++i) sigaction(CrashSignals[i], &g_previous[i], nullptr);
    sigaltstack(&g_previousAltStack, nullptr);
    g_callback.store(nullptr);
    g_saveFirst.store(nullptr);
    g_installed.store(false);
}

}   // namespace platform
