// Crash reports and stack dumps.
#include "utils_win_stack.h"

#include "utils_debug.h"
#include "utils_system_common.h"
#include "utils_system_windows.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const CrashLogName = "last_crashes.log";
const char* const ReportStart = "Exception Occured!\n";

std::string demangle(const char* name)
{
    int status = 0;
    char* text = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && text ? text : name;
    std::free(text);
    return result;
}

// How far the address lies into its symbol, when the dynamic symbol table
// knows the same function the debug information named; else 0.
uintptr_t symbolDisplacement(const platform::StackFrame& frame)
{
    // A return address may already lie in the next function: look up the byte before it.
    Dl_info info;
    if (frame.address < 2 || !dladdr(reinterpret_cast<void*>(frame.address - 1), &info) || !info.dli_saddr ||
        !info.dli_sname)
        return 0;
    if (demangle(info.dli_sname) != frame.function)
        return 0;
    return frame.address - reinterpret_cast<uintptr_t>(info.dli_saddr);
}

bool writeAll(int fd, const char* text, size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(fd, text, length);
        if (written <= 0)
            return false;
        text += written;
        length -= size_t(written);
    }
    return true;
}

// Appends header and report to the crash log, straight to the disk.
void appendToCrashLog(const CString& report, uint32_t exceptionCode)
{
    SYSTEMTIME now = {};
    GetLocalTimeNow(&now);
    CString header;
    header.Format("\r\n\r\n===========================\r\n[%s %s] New crash 0x%08x detected! Stack info:\r\n",
                  (const char*)GetDateString(&now), (const char*)GetTimeString(&now), exceptionCode);
    CString path = GetLogFolder() + CrashLogName;
    int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;   // the box is shown all the same
    if (writeAll(fd, header, size_t(header.GetLength())))
        writeAll(fd, report, size_t(report.GetLength()));
    ::fsync(fd);
    ::close(fd);
}

} // namespace

CString FormatStackAddress(const platform::StackFrame& frame)
{
    CString text;
    if (frame.module.empty())
        text = "<no module>";
    else
        text = (frame.module + "! ").c_str();
    if (frame.function.empty()) {
        text += "<no symbol>";
        return text;
    }
    uintptr_t displacement = symbolDisplacement(frame);
    if (displacement == 0) {
        text += frame.function.c_str();
        return text;
    }
    CString symbol;
    symbol.Format("%s + %d bytes", frame.function.c_str(), int(displacement));
    text += symbol;
    return text;
}

void BfxDumpStack(CString& text, const platform::StackFrame* frames, size_t count)
{
    text += "=== begin BfxDumpStack() output ===\r\n";
    for (size_t i = 0; i < count && i < platform::MaxStackFrames; ++i) {
        CString address;
        address.Format("%016llX: ", (unsigned long long)frames[i].address);
        text += address;
        text += FormatStackAddress(frames[i]);
        text += "\r\n";
    }
    text += "=== end BfxDumpStack() output ===\r\n";
}

platform::CrashAction CrashExceptionFilter(const platform::CrashInfo& crash)
{
    CString report = ReportStart;
    BfxDumpStack(report, crash.frames.data(), crash.frames.size());
    appendToCrashLog(report, crash.exceptionCode);
    if (EngineMessageBox(report, MB_RETRYCANCEL) == IDRETRY)
        return platform::CrashAction::PassOn;
    return platform::CrashAction::End;
}

bool InstallCrashReports()
{
    return platform::InstallCrashHandlers(CrashExceptionFilter, SaveDebugLogInCrash);
}

// The calling thread is walked directly: unlike a Win32 thread context, a
// backtrace needs no second thread.
void ShowCurrentStack()
{
    std::vector<platform::StackFrame> frames = platform::CaptureStack(0);
    CString report = ReportStart;
    BfxDumpStack(report, frames.data(), frames.size());
    EngineMessageBox(report, MB_OK);
}
