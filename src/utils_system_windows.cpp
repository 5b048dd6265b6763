// System services: date and time texts in the user's locale, special
// folders, the system's name, the popup menu, the single-instance lock,
// synchronisation, thread id, program folder, path splitting, metrics.
#include "utils_system_windows.h"

#include "utils_system_common.h"

#include "debugger.h"
#include "prompt.h"
#include "thread.h"

#include <SDL.h>

#include <fcntl.h>
#include <locale.h>
#include <pwd.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// The user's date conventions; the process locale itself stays "C".
locale_t userTimeLocale()
{
    static locale_t locale = [] {
        locale_t user = newlocale(LC_TIME_MASK, "", locale_t(0));
        return user ? user : newlocale(LC_TIME_MASK, "C", locale_t(0));
    }();
    return locale;
}

SYSTEMTIME systemTimeNow(bool local)
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts = {};
    if (local)
        localtime_r(&now.tv_sec, &parts);
    else
        gmtime_r(&now.tv_sec, &parts);
    return SystemTimeFromTm(parts, uint16_t(now.tv_nsec / 1000000));
}

bool isValid(const SYSTEMTIME& t)
{
    return t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 && t.wHour < 24 &&
           t.wMinute < 60 && t.wSecond < 60 && t.wYear >= 1601;
}

CString formatTime(const SYSTEMTIME* time, const char* format)
{
    SYSTEMTIME t = time ? *time : systemTimeNow(false);
    if (!isValid(t))
        return CString();
    const tm parts = TmFromSystemTime(t);
    char text[128];
    size_t length = strftime_l(text, sizeof text, format, &parts, userTimeLocale());
    return CString(text, int(length));
}

constexpr int MenuCaptionLength = 30;
const char* const InstancePrefix = "MARROWLINE_";

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string homeFolder()
{
    std::string home = environment("HOME");
    if (home.empty())
        if (const passwd* user = getpwuid(geteuid()))
            home = user->pw_dir ? user->pw_dir : "";
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

bool isFolder(const std::string& path)
{
    struct stat info = {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A user folder of xdg-user-dirs ("DOCUMENTS", ...): user-dirs.dirs, else
// the usual English name under home, else home itself.
std::string xdgUserFolder(const char* key, const char* fallbackName)
{
    std::string home = homeFolder();
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty())
        config = home + "/.config";
    std::ifstream dirs(config + "/user-dirs.dirs");
    std::string wanted = std::string("XDG_") + key + "_DIR=\"";
    for (std::string line; std::getline(dirs, line);) {
        if (line.compare(0, wanted.size(), wanted) != 0 || line.back() != '"')
            continue;
        std::string value = line.substr(wanted.size(), line.size() - wanted.size() - 1);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        if (!value.empty() && value[0] == '/')
            return value;
    }
    std::string usual = home + "/" + fallbackName;
    return isFolder(usual) ? usual : home;
}

std::string specialFolder(int csidl)
{
    switch (csidl & 0xFF) {
    case CSIDL_APPDATA:
    case CSIDL_LOCAL_APPDATA:
    case CSIDL_COMMON_APPDATA: {   // no shared writable data folder here: the user's own
        char folder[MAX_PATH];
        GetWindowsAppDataPath(folder);
        return folder;
    }
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: return xdgUserFolder("DESKTOP", "Desktop");
    case CSIDL_PERSONAL: return xdgUserFolder("DOCUMENTS", "Documents");
    case CSIDL_MYMUSIC: return xdgUserFolder("MUSIC", "Music");
    case CSIDL_MYVIDEO: return xdgUserFolder("VIDEOS", "Videos");
    case CSIDL_MYPICTURES: return xdgUserFolder("PICTURES", "Pictures");
    case CSIDL_PROFILE: return homeFolder();
    default: return std::string();
    }
}

// PRETTY_NAME of /etc/os-release, quotes removed; empty when there is none.
std::string distributionName()
{
    std::ifstream release("/etc/os-release");
    for (std::string line; std::getline(release, line);) {
        if (line.compare(0, 12, "PRETTY_NAME=") != 0)
            continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::string();
}

struct SVersionCache {
    bool isRead = false;
    CString Name;
    int Major = 0;
    int IsNT = 1;
};

SVersionCache& versionCache()
{
    static SVersionCache cache;
    return cache;
}

// The lock's file: a plain name in the runtime folder, else the temporary one.
std::string instanceLockPath(const CString& name)
{
    std::string folder = environment("XDG_RUNTIME_DIR");
    if (!isFolder(folder))
        folder = environment("TMPDIR");
    if (!isFolder(folder))
        folder = "/tmp";
    std::string file = (const char*)name;
    for (char& c : file)
        if (!std::isalnum((unsigned char)c) && !std::strchr("._-:", c))
            c = '_';
    return folder + "/" + file + ".lock";
}

// Descriptors whose locks last while the program runs.
std::vector<int>& keptLocks()
{
    static std::vector<int>* locks = new std::vector<int>;   // never freed: the locks must outlive exit
    return *locks;
}

// Shows the menu through the prompt provider: groups are flattened into
// entries that carry their group's title.
class CPromptMenuPresenter : public IPopupMenuPresenter {
public:
    int present(const std::vector<SPopupMenuEntry>& menu) override
    {
        std::vector<platform::PromptChoice> choices;
        std::vector<int> indices;
        for (const SPopupMenuEntry& entry : menu) {
            if (entry.Index >= 0) {
                choices.push_back({"", (const char*)entry.Caption});
                indices.push_back(entry.Index);
            }
            for (const SPopupMenuEntry& command : entry.Entries) {
                choices.push_back({(const char*)entry.Caption, (const char*)command.Caption});
                indices.push_back(command.Index);
            }
        }
        int chosen = platform::AskChoice("", choices, -1);
        return chosen >= 0 && chosen < int(indices.size()) ? indices[size_t(chosen)] : -1;
    }
};

IPopupMenuPresenter* InstalledMenuPresenter = nullptr;

IPopupMenuPresenter& menuPresenter()
{
    static CPromptMenuPresenter prompt;
    return InstalledMenuPresenter ? *InstalledMenuPresenter : prompt;
}

const char* lastSeparator(const char* path)
{
    const char* last = nullptr;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            last = p;
    return last;
}

} // namespace

tm TmFromSystemTime(const SYSTEMTIME& time)
{
    tm parts = {};
    parts.tm_year = time.wYear - 1900;
    parts.tm_mon = time.wMonth - 1;
    parts.tm_mday = time.wDay;
    parts.tm_wday = time.wDayOfWeek % 7;
    parts.tm_hour = time.wHour;
    parts.tm_min = time.wMinute;
    parts.tm_sec = time.wSecond;
    return parts;
}

SYSTEMTIME SystemTimeFromTm(const tm& parts, uint16_t milliseconds)
{
    SYSTEMTIME time = {};
    time.wYear = uint16_t(parts.tm_year + 1900);
    time.wMonth = uint16_t(parts.tm_mon + 1);
    time.wDayOfWeek = uint16_t(parts.tm_wday);
    time.wDay = uint16_t(parts.tm_mday);
    time.wHour = uint16_t(parts.tm_hour);
    time.wMinute = uint16_t(parts.tm_min);
    time.wSecond = uint16_t(parts.tm_sec);
    time.wMilliseconds = milliseconds;
    return time;
}

CString GetTimeString(const SYSTEMTIME* time)
{
    return formatTime(time, "%H:%M:%S");
}

CString GetDateString(const SYSTEMTIME* time)
{
    return formatTime(time, "%x");
}

uint32_t CurrentThreadId()
{
    return platform::CurrentThreadId();
}

CString GetModuleFolder()
{
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return CString();
    path[length] = 0;
    const char* slash = std::strrchr(path, '/');
    return slash ? CString(path, int(slash - path) + 1) : CString();
}

void GetLocalTimeNow(SYSTEMTIME* out)
{
    if (out)
        *out = systemTimeNow(true);
}

// --- special folders ---

bool GetSpecialFolder(char* buffer, int csidl)
{
    std::string folder = specialFolder(csidl);
    if (folder.empty() || folder[0] != '/' || folder.size() >= size_t(MAX_PATH))
        folder = "/tmp/";
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return true;
}

// --- the system ---

bool GetWindowsVersionName(CString& name, int* major, int* isNT)
{
    SVersionCache& cache = versionCache();
    if (!cache.isRead) {
        utsname system = {};
        if (uname(&system) != 0)
            return false;
        std::string text = std::string("Linux ") + system.release;
        std::string distribution = distributionName();
        if (!distribution.empty())
            text += " (" + distribution + ")";
        cache.Name = text.c_str();
        cache.Major = std::atoi(system.release);
        cache.isRead = true;
    }
    name = cache.Name;
    if (major)
        *major = cache.Major;
    if (isNT)
        *isNT = cache.IsNT;
    return true;
}

int IsWin9x()
{
    return 0;
}

bool PinProcessToFirstCpu(int processId)
{
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    CPU_SET(0, &cpus);
    return sched_setaffinity(pid_t(processId), sizeof cpus, &cpus) == 0;
}

// SDL's video part is started only for the question, unless it runs already.
int GetSystemMetric(int index)
{
    if (index != SM_CXSCREEN && index != SM_CYSCREEN)
        return 0;
    bool wasStarted = SDL_WasInit(SDL_INIT_VIDEO) != 0;
    if (!wasStarted && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return 0;
    SDL_DisplayMode mode = {};
    int result = 0;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0)
        result = index == SM_CXSCREEN ? mode.w : mode.h;
    if (!wasStarted)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return result;
}

void SplitPath(const char* path, CString* drive, CString* dir, CString* name, CString* ext)
{
    if (!path)
        path = "";
    const char* rest = path;
    CString driveText;
    if (path[0] && path[1] == ':') {
        driveText = CString(path, 2);
        rest = path + 2;
    }
    const char* separator = lastSeparator(rest);
    const char* file = separator ? separator + 1 : rest;
    const char* dot = std::strrchr(file, '.');
    if (drive)
        *drive = driveText;
    if (dir)
        *dir = CString(rest, int(file - rest));
    if (name)
        *name = dot ? CString(file, int(dot - file)) : CString(file);
    if (ext)
        *ext = dot ? CString(dot) : CString();
}

// --- the popup choice menu ---

CString TruncateWithEllipsis(const CString& text, int maxLength)
{
    CString result = text;
    if (result.GetLength() > maxLength) {
        result = result.Left(maxLength < 0 ? 0 : maxLength);
        result.TrimRight(" ");
        result += "...";
    }
    result.TrimLeft(" ");
    return result;
}

int CountSameCaption(const CStringArray& items, const char* text, int length)
{
    CString caption = TruncateWithEllipsis(CString(text), length);
    int count = 0;
    for (int i = 0; i < items.GetSize(); ++i)
        if (TruncateWithEllipsis(items[i], length) == caption)
            ++count;
    return count;
}

std::vector<SPopupMenuEntry> BuildPopupMenu(const CStringArray& items, int groupLength)
{
    std::vector<SPopupMenuEntry> menu;
    int group = -1;   // index of the current group in the menu
    for (int i = 0; i < items.GetSize(); ++i) {
        SPopupMenuEntry command;
        command.Caption = TruncateWithEllipsis(items[i], MenuCaptionLength);
        command.Index = i;
        if (groupLength == 0 || CountSameCaption(items, items[i], groupLength) == 1) {
            menu.push_back(std::move(command));
            continue;
        }
        CString title = TruncateWithEllipsis(items[i], groupLength);
        if (group < 0 || menu[size_t(group)].Caption != title) {
            SPopupMenuEntry newGroup;
            newGroup.Caption = title;
            menu.push_back(std::move(newGroup));
            group = int(menu.size()) - 1;
        }
        menu[size_t(group)].Entries.push_back(std::move(command));
    }
    return menu;
}

IPopupMenuPresenter* SetPopupMenuPresenter(IPopupMenuPresenter* presenter)
{
    IPopupMenuPresenter* previous = InstalledMenuPresenter;
    InstalledMenuPresenter = presenter;
    return previous;
}

int ShowPopupMenu(const CStringArray& items, void* owner, int groupLength)
{
    if (items.IsEmpty())
        return -1;
    int chosen = menuPresenter().present(BuildPopupMenu(items, groupLength));
    return chosen >= 0 && chosen < items.GetSize() ? chosen : -1;
}

// --- single instance ---

CString MakeSessionUniqueName(const char* base, int scope)
{
    CString name(base ? base : "");
    switch (scope) {
    case 1: {
        std::string display = environment("DISPLAY");
        if (display.empty())
            display = environment("WAYLAND_DISPLAY");
        name += "_";
        name += display.empty() ? "console" : display.c_str();
        break;
    }
    case 2: {
        std::string session = environment("XDG_SESSION_ID");
        CString suffix;
        if (!session.empty())
            suffix = ("_" + session).c_str();
        else if (pid_t group = getsid(0); group >= 0)
            suffix.Format("_%08x%08x", 0u, unsigned(group));
        name += suffix;
        break;
    }
    case 3: {
        const passwd* user = getpwuid(geteuid());
        if (user && user->pw_name) {
            CString suffix;
            suffix.Format("_%s_%s", environment("USERDOMAIN").c_str(), user->pw_name);
            name += suffix;
        }
        break;
    }
    case 4: {
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) == 0) {
            CString suffix;
            suffix.Format("_%s_%s", "", host);
            name += suffix;
        }
        break;
    }
    default: break;
    }
    return name;
}

// flock locks belong to the open file, so a second open in this process
// meets the first one's lock, as a second named mutex would.
bool IsAnotherInstanceRunning(const char* word, int scope, bool keep, const char* suffix)
{
    CString base = CString(InstancePrefix) + (word ? word : "GAMES") + (suffix ? suffix : "");
    std::string path = instanceLockPath(MakeSessionUniqueName(base, scope));
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool isHeld = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (keep && !isHeld)
        keptLocks().push_back(fd);
    else
        ::close(fd);
    return isHeld;
}

bool CheckSingleInstance(int scope)
{
    return IsAnotherInstanceRunning(nullptr, scope, true, "");
}

// --- synchronisation ---

bool CSyncObject::Lock(uint32_t timeout)
{
    return false;   // no waitable handles exist here
}

bool CSyncObject::Unlock(long count, long* previous)
{
    return true;
}

bool CCriticalSection::Lock()
{
    m_sect.lock();
    return true;
}

bool CCriticalSection::Lock(uint32_t timeout)
{
    if (timeout != INFINITE)
        platform::BreakIntoDebugger();
    return Lock();
}

bool CCriticalSection::Unlock()
{
    m_sect.unlock();
    return true;
}

CSingleLock::CSingleLock(CSyncObject* object, bool initialLock) : m_pObject(object), m_hObject(nullptr)
{
    if (!object) {
        platform::BreakIntoDebugger();
        ThrowBadException(__FILE__, __LINE__, "object != nullptr");
    }
    m_hObject = object->m_hObject;
    if (initialLock)
        Lock(INFINITE);
}

CSingleLock::~CSingleLock()
{
    Unlock();
}

bool CSingleLock::Lock(uint32_t timeout)
{
    if (!m_pObject || m_bAcquired) {
        platform::BreakIntoDebugger();
        return false;
    }
    m_bAcquired = m_pObject->Lock(timeout);
    return m_bAcquired != 0;
}

bool CSingleLock::Unlock()
{
    if (m_pObject && m_bAcquired)
        m_bAcquired = !m_pObject->Unlock();
    return !m_bAcquired;
}

bool CSingleLock::Unlock(long count, long* previous)
{
    if (m_pObject && m_bAcquired)
        m_bAcquired = !m_pObject->Unlock(count, previous);
    return !m_bAcquired;
}
