// Crash reports and stack dumps.
#include "utils_win_stack.h"

#include "utils_debug.h"
#include "utils_system_common.h"
#include "utils_system_windows.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

const char* const CrashLogName = "last_crashes.log";
const char* const ReportStart = "Exception Occured!\n";
const char* const DumpStart = "=== begin BfxDumpStack() output ===\r\n";
const char* const DumpEnd = "=== end BfxDumpStack() output ===\r\n";

// The first report of a crash, written before anything is allocated; the
// described report takes its place in the log once it is made.
long UtcOffsetSeconds = 0;   // local time's, taken at installation: a crash may not ask for it
char FirstReportPath[PATH_MAX];
off_t FirstReportStart = -1;

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

// Appends header and report to the crash log, straight to the disk, in the
// place of this crash's first report.
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
    if (FirstReportStart >= 0 && path == FirstReportPath && ::ftruncate(fd, FirstReportStart) == 0)
        FirstReportStart = -1;
    if (writeAll(fd, header, size_t(header.GetLength())))
        writeAll(fd, report, size_t(report.GetLength()));
    ::fsync(fd);
    ::close(fd);
}

// Text built in a fixed buffer: nothing is allocated.
class CCrashText {
public:
    void add(const char* text)
    {
        while (*text && Length < sizeof Text)
            Text[Length++] = *text++;
    }
    void addDigits(unsigned long long value, int digits, int base, bool isUpper = false)
    {
        const char* symbols = isUpper ? "0123456789ABCDEF" : "0123456789abcdef";
        char reversed[32];
        int count = 0;
        do {
            reversed[count++] = symbols[value % unsigned(base)];
            value /= unsigned(base);
        } while ((value || count < digits) && count < int(sizeof reversed));
        while (count > 0 && Length < sizeof Text)
            Text[Length++] = reversed[--count];
    }
    bool writeTo(int fd)
    {
        bool isWritten = writeAll(fd, Text, Length);
        Length = 0;
        return isWritten;
    }

private:
    char Text[256];
    size_t Length = 0;
};

// The local date and time as the C locale writes them ("%x %H:%M:%S"), from
// the clock and the offset taken at installation.
void addCrashTime(CCrashText& text)
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    long long seconds = (long long)now.tv_sec + UtcOffsetSeconds;
    long long days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    long long daySeconds = seconds - days * 86400;
    // Days since 1970-01-01 to a civil date.
    long long z = days + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long dayOfEra = z - era * 146097;
    long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    long long monthIndex = (5 * dayOfYear + 2) / 153;
    long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    text.addDigits((unsigned long long)month, 2, 10);
    text.add("/");
    text.addDigits((unsigned long long)day, 2, 10);
    text.add("/");
    text.addDigits((unsigned long long)(year % 100 + 100) % 100, 2, 10);
    text.add(" ");
    text.addDigits((unsigned long long)(daySeconds / 3600), 2, 10);
    text.add(":");
    text.addDigits((unsigned long long)(daySeconds / 60 % 60), 2, 10);
    text.add(":");
    text.addDigits((unsigned long long)(daySeconds % 60), 2, 10);
}

// The report as far as it can be made without allocating: the header and the
// raw addresses. Async-signal-safe.
void writeFirstReport(const platform::CrashRawInfo& crash)
{
    const char* folder = GetLogFolderInCrash();
    size_t folderLength = std::strlen(folder), nameLength = std::strlen(CrashLogName);
    if (folderLength == 0 || folderLength + nameLength >= sizeof FirstReportPath)
        return;
    std::memcpy(FirstReportPath, folder, folderLength);
    std::memcpy(FirstReportPath + folderLength, CrashLogName, nameLength + 1);
    int fd = ::open(FirstReportPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    struct stat info;
    FirstReportStart = ::fstat(fd, &info) == 0 ? info.st_size : -1;
    CCrashText text;
    text.add("\r\n\r\n===========================\r\n[");
    addCrashTime(text);
    text.add("] New crash 0x");
    text.addDigits(crash.exceptionCode, 8, 16);
    text.add(" detected! Stack info:\r\n");
    text.add(ReportStart);
    text.add(DumpStart);
    bool isWritten = text.writeTo(fd);
    for (size_t i = 0; i < crash.addressCount && isWritten; ++i) {
        text.addDigits(crash.addresses[i], 16, 16, true);
        text.add(": <not named: the report stopped before naming the frames>\r\n");
        isWritten = text.writeTo(fd);
    }
    text.add(DumpEnd);
    text.writeTo(fd);
    ::fsync(fd);
    ::close(fd);
}

// The first thing a crash does: the debug log to its file, then the first report.
void saveInCrash(const platform::CrashRawInfo& crash)
{
    SaveDebugLogInCrash();
    writeFirstReport(crash);
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
    text += DumpStart;
    for (size_t i = 0; i < count && i < platform::MaxStackFrames; ++i) {
        CString address;
        address.Format("%016llX: ", (unsigned long long)frames[i].address);
        text += address;
        text += FormatStackAddress(frames[i]);
        text += "\r\n";
    }
    text += DumpEnd;
}

platform::CrashAction CrashExceptionFilter(const platform::CrashInfo& crash)
{
    CString report = ReportStart;
    BfxDumpStack(report, crash.frames.data(), crash.frames.size());
    appendToCrashLog(report, crash.exceptionCode);
    if (platform::AreBoxesInteractive())
        platform::StopCrashWatchdog();   // a person answers in their own time
    if (EngineMessageBox(report, MB_RETRYCANCEL) == IDRETRY)
        return platform::CrashAction::PassOn;
    return platform::CrashAction::End;
}

bool InstallCrashReports()
{
    // What the first report needs is made now: a crash may not allocate.
    // (The log folder's copy is made when the folder is chosen, which may
    // wait for the options.)
    time_t now = time(nullptr);
    struct tm local = {};
    if (localtime_r(&now, &local))
        UtcOffsetSeconds = local.tm_gmtoff;
    return platform::InstallCrashHandlers(CrashExceptionFilter, saveInCrash);
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
