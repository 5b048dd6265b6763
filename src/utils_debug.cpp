// Fatal alert, alert box, debug log, log folder and main-thread check.
#include "utils_debug.h"

#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_fs_save.h"
#include "utils_system_common.h"
#include "utils_system_windows.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int FlushAboveLength = 500000;   // characters; only messages with a source file flush
constexpr int KeptTailLength = 30000;      // characters kept in memory after a flush
const char* const LogFileName = "last_debug.log";
const char* const AlertFileName = "last_scriptcomp_error_alert.log";

// Plain flags stay readable while static objects are being destroyed.
bool LogDestroyed = false;
// The log's native path, made when the path is set: a crash may not allocate.
char CrashSavePath[PATH_MAX];
char CrashLogFolder[PATH_MAX];   // the log folder, for the same reason
int DebugModeFlag = 0;

// Set while this thread reports a fatal error: the report's own logging
// runs the main-thread check again, which must not start another report.
thread_local bool InFatalPath = false;
std::mutex FatalLock;

std::vector<CString>& fatalErrorNotes()
{
    static std::vector<CString>* notes = new std::vector<CString>;   // read by errors raised at exit too
    return *notes;
}

CDebugLogBuffer& logBuffer()
{
    static CDebugLogBuffer buffer;
    return buffer;
}

// Made at start-up, so it is destroyed after the statics made later, whose
// destructors may still log.
const bool LogBufferMade = (logBuffer(), true);

CString& logFolderSlot()
{
    static CString* folder = new CString;   // never destroyed: the exit-time write needs it
    return *folder;
}

void keepLogFolderForCrash(const CString& folder)
{
    bool fits = folder.GetLength() < int(sizeof CrashLogFolder);
    std::memcpy(CrashLogFolder, fits ? (const char*)folder : "", fits ? folder.GetLength() + 1 : 1);
}

void makeFolders(const std::string& folder)
{
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0777);
}

// The program folder may be read-only once installed.
CString userLogFolder()
{
    char base[MAX_PATH];
    GetWindowsAppDataPath(base);
    std::string folder = base;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    std::string name = (const char*)GetEngineContext().getAppDataFolder();
    if (name.empty()) {
        char exe[MAX_PATH] = {};
        ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
        std::string path(exe, length > 0 ? size_t(length) : 0);
        name = path.substr(path.rfind('/') + 1);
    }
    for (char& c : name)
        if (c == '\\')
            c = '/';
    folder += name;
    if (folder.back() != '/')
        folder += '/';
    makeFolders(folder);
    return CString(folder.c_str());
}

// An append then costs the same however long the log is, where exact-size
// growth copied the whole log for every line.
void appendToLog(CString& log, const CString& entry)
{
    log.ReserveForAppend(entry.GetLength());
    log += entry;
}

[[noreturn]] void endProgram()
{
    // The files are written already; skip static destructors, which would
    // tear down the engine in the middle of the caller's stack.
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(1);
}

} // namespace

CDebugLogBuffer::CDebugLogBuffer() = default;

CDebugLogBuffer::~CDebugLogBuffer()
{
    writeFile();
    LogDestroyed = true;
}

void CDebugLogBuffer::writeFile()
{
    if (Path.IsEmpty() || Text.IsEmpty())
        return;
    SaveFileWhole(ToNativePath(Path), Text, std::strlen(Text), ESaveReport::StandardError);
}

void CDebugLogBuffer::reset()
{
    Text.Empty();
    Path.Empty();
    CrashSavePath[0] = 0;
}

CDebugLogBuffer* GetDebugLogBuffer()
{
    return LogDestroyed ? nullptr : &logBuffer();
}

int FatalError(const char* message, bool askContinue)
{
    if (!message)
        message = "";
    if (InFatalPath) {
        std::fprintf(stderr, "%s\n", message);   // the report under way carries on
        return 0;
    }
    std::lock_guard<std::mutex> lock(FatalLock);
    // Cleared on every way out: a box hook that throws must not leave later
    // fatal errors taken for parts of this report.
    struct SFatalPathScope {
        SFatalPathScope() { InFatalPath = true; }
        ~SFatalPathScope() { InFatalPath = false; }
    };
    bool goOn = false;
    {
        SFatalPathScope scope;
        CString text(message);
        for (const CString& note : fatalErrorNotes())
            text += "\n" + note;
        WriteStringToFile(GetLogFolder() + AlertFileName, text);
        goOn = AlertBox(text, askContinue);
    }
    if (goOn)
        return 0;
    endProgram();
}

CFatalErrorNote::CFatalErrorNote(const CString& note)
{
    fatalErrorNotes().push_back(note);
}

CFatalErrorNote::~CFatalErrorNote()
{
    fatalErrorNotes().pop_back();
}

bool AlertBox(const char* text, bool askYesNo)
{
    if (!text)
        text = "";
    DebugLog(text, nullptr, 0);
    FlushDebugLog(false);
    if (askYesNo) {
        CString question(text);
        question += "\nYes to continue, No to stop";
        return EngineMessageBox(question, MB_YESNO) == IDYES;
    }
    EngineMessageBox(text, MB_OK);
    return false;
}

void DebugLog(const char* text, const char* file, int line)
{
    CheckMainThread();
    static SProfilerSite& site = *new SProfilerSite(__FILE__, __LINE__);
    CProfilerScope profile(site);   // the log's own cost shows in the report
    if (!text)
        text = "";
    CDebugLogBuffer* log = GetDebugLogBuffer();
    if (!log) {
        std::fprintf(stderr, "%s\n", text);
        return;
    }
    if (log->Path.IsEmpty()) {
        log->Path = GetLogFolder() + LogFileName;
        CString native = ToNativePath(log->Path);
        bool fits = native.GetLength() < int(sizeof CrashSavePath);
        std::memcpy(CrashSavePath, fits ? (const char*)native : "", fits ? native.GetLength() + 1 : 1);
    }
    if (log->Text.IsEmpty())
        ReadDiskFile(log->Path, log->Text);   // not ReadFileToString: its failures are logged
    // The line is built first and appended whole.
    CString entry = GetDateString();
    entry += ' ';
    entry += GetTimeString();
    entry += '\t';
    entry += text;
    if (file) {
        CString where;
        where.Format(" (%s:%i)", file, line);
        entry += where;
        if (log->Text.GetLength() + entry.GetLength() > FlushAboveLength) {
            // The flush comes before the line's newline.
            appendToLog(log->Text, entry);
            FlushDebugLog(false);
            log->Text += '\n';
            return;
        }
    }
    entry += '\n';
    appendToLog(log->Text, entry);
}

void FlushDebugLog(bool clear)
{
    CDebugLogBuffer* log = GetDebugLogBuffer();
    if (!log)
        return;
    log->writeFile();
    if (clear)
        log->Text.Empty();
    if (log->Text.GetLength() > KeptTailLength)
        log->Text = log->Text.Right(KeptTailLength);
}

void SaveDebugLogInCrash()
{
    if (LogDestroyed || !CrashSavePath[0])
        return;
    // As writeFile: an emptied log leaves the file that holds it.
    const CString& text = logBuffer().Text;
    if (!text.IsEmpty())
        SaveFileWholeInCrash(CrashSavePath, text, size_t(text.GetLength()));
}

namespace {

// Log files are named exactly, unless they lie in the program folder, where
// the game's data keeps the lookup without case.
void noteLogFolder(const CString& folder)
{
    const bool exact = !folder.IsEmpty() && !IsAtOrBelowFolder(GetAppFolderCStr(), folder);
    SetExactFolder(EExactFolder::Log, exact ? (const char*)folder : nullptr);
}

} // namespace

const CString& GetLogFolder()
{
    CString& folder = logFolderSlot();
    if (folder.IsEmpty()) {
        folder = ChooseLogFolder(GetAppFolderCStr());
        noteLogFolder(folder);
        keepLogFolderForCrash(folder);
    }
    return folder;
}

const char* GetLogFolderInCrash()
{
    return CrashLogFolder;
}

CString ChooseLogFolder(const char* appFolder)
{
    bool writable = appFolder && *appFolder && ::access(appFolder, W_OK) == 0;
    return writable ? CString(appFolder) : userLogFolder();
}

void SetLogFolder(const char* folder)
{
    CString& slot = logFolderSlot();
    slot = folder ? folder : "";
    if (!slot.IsEmpty() && slot.GetAt(slot.GetLength() - 1) != '/')
        slot += '/';
    noteLogFolder(slot);
    keepLogFolderForCrash(slot);
    if (CDebugLogBuffer* log = GetDebugLogBuffer())
        log->reset();
}

void MainThreadCheckFailed()
{
    if (InFatalPath)
        return;
    FatalError("Thread-unsafe method is called from altthread!!!", false);
}

int* GetDebugModeFlag()
{
    return &DebugModeFlag;
}
