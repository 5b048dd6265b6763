// System services beyond files: special folders, the system's name, the
// popup choice menu, date and time texts, the single-instance check, thread
// synchronisation, the current thread, the program's folder, path splitting
// and screen metrics.
#pragma once

#include "utils_str.h"

#include <cstdint>
#include <ctime>
#include <mutex>
#include <vector>

// Size of the engine's fixed path buffers, terminator included.
constexpr int MAX_PATH = 260;

// A broken-down date and time; months count from 1, days of the week from
// Sunday = 0.
struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek;
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

// The same date and time as a C broken-down time (tm_isdst left 0), and back.
tm TmFromSystemTime(const SYSTEMTIME& time);
SYSTEMTIME SystemTimeFromTm(const tm& parts, uint16_t milliseconds = 0);

// The user's 24-hour time text (null = now, in UTC); empty for an invalid time.
CString GetTimeString(const SYSTEMTIME* time = nullptr);

// The user's short date text (null = today, in UTC); empty for an invalid date.
CString GetDateString(const SYSTEMTIME* time = nullptr);

// The calling thread's id.
uint32_t CurrentThreadId();

// Folder of the program's executable file, in its real case and ending in
// "/"; empty when the system cannot tell.
CString GetModuleFolder();

// Local date and time now.
void GetLocalTimeNow(SYSTEMTIME* out);

// --- special folders ---

// Shell folder ids understood by GetSpecialFolder (the flag bits above 0xFF
// are ignored).
constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_PERSONAL = 0x0005;
constexpr int CSIDL_MYMUSIC = 0x000D;
constexpr int CSIDL_MYVIDEO = 0x000E;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
constexpr int CSIDL_APPDATA = 0x001A;
constexpr int CSIDL_LOCAL_APPDATA = 0x001C;
constexpr int CSIDL_COMMON_APPDATA = 0x0023;
constexpr int CSIDL_MYPICTURES = 0x0027;
constexpr int CSIDL_PROFILE = 0x0028;

// The folder into a buffer of MAX_PATH, from the XDG base and user folders;
// "/tmp/" when the id is unknown or the folder does not fit. Always true.
bool GetSpecialFolder(char* buffer, int csidl);

// --- the system ---

// "Linux <kernel release>", with the distribution's name in brackets when
// /etc/os-release gives one; major = the kernel's major number; NT flag 1.
// Cached after the first call. False only when uname fails.
bool GetWindowsVersionName(CString& name, int* major = nullptr, int* isNT = nullptr);
int IsWin9x();   // 0 here: never the 95/98/ME family

// Restricts the process (0 = this one) to the first processor.
bool PinProcessToFirstCpu(int processId);

// Screen metrics: 0 the desktop's width, 1 its height; 0 when there is no
// display or the index is another one.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
int GetSystemMetric(int index);

// Splits at the last "/" or "\" and the last "." after it; a leading
// "X:" is the drive. Each output may be null. The directory keeps its final
// separator, the extension its dot.
void SplitPath(const char* path, CString* drive, CString* dir, CString* name, CString* ext);

// --- the popup choice menu ---

// Leading blanks trimmed; longer than maxLength: the first maxLength
// characters, trailing blanks trimmed, then "...".
CString TruncateWithEllipsis(const CString& text, int maxLength);

// How many items read like the text when both are cut to length.
int CountSameCaption(const CStringArray& items, const char* text, int length);

// One entry of the menu: a command (the item's index) or a group of commands
// under a title.
struct SPopupMenuEntry {
    CString Caption;
    int Index = -1;                        // -1 for a group
    std::vector<SPopupMenuEntry> Entries;  // a group's commands
};

// The menu for the items: captions cut to 30 characters; with a group length,
// neighbouring items that read alike when cut to it share a group titled so.
std::vector<SPopupMenuEntry> BuildPopupMenu(const CStringArray& items, int groupLength);

// Shows a menu and answers the chosen item's index, or -1 when dismissed.
class IPopupMenuPresenter {
public:
    virtual ~IPopupMenuPresenter() = default;
    virtual int present(const std::vector<SPopupMenuEntry>& menu) = 0;
};

// Installs a presenter (borrowed; null restores the prompt presenter, which
// asks through zenity or the terminal and answers -1 with nobody to ask).
// Returns the presenter installed before (null for the default).
IPopupMenuPresenter* SetPopupMenuPresenter(IPopupMenuPresenter* presenter);

// The index of the chosen item, or -1 (also for no items). The owner window
// is not used here.
int ShowPopupMenu(const CStringArray& items, void* owner, int groupLength);

// --- single instance ---

// The base name made unique per scope: 0 as it is; 1 the display
// ("_" + $DISPLAY or $WAYLAND_DISPLAY, "_console" without one); 2 the login
// session ("_" + $XDG_SESSION_ID, else "_%08x%08x" of the session's process
// group); 3 the user ("_" + $USERDOMAIN + "_" + login name); 4 the
// computer ("__" + host name).
CString MakeSessionUniqueName(const char* base, int scope);

// Whether another holder has the lock "MARROWLINE_" + word ("GAMES" when
// null) + suffix, made unique for the scope: a lock file in $XDG_RUNTIME_DIR,
// else the temporary folder. With keep, a lock this call takes is held while
// the program runs; a second call in the same process then answers true.
bool IsAnotherInstanceRunning(const char* word, int scope, bool keep, const char* suffix);
bool CheckSingleInstance(int scope);

// --- synchronisation ---

constexpr uint32_t INFINITE = 0xFFFFFFFF;

// A waitable object. There are no waitable handles here: the handle stays
// null and Lock on it fails.
class CSyncObject {
public:
    CSyncObject() = default;
    virtual bool Lock(uint32_t timeout = INFINITE);
    virtual bool Unlock(long count, long* previous);
    virtual bool Unlock() = 0;
    virtual ~CSyncObject() = default;
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;

    void* m_hObject = nullptr;
};

// Re-entrant, as a Win32 critical section is.
class CCriticalSection : public CSyncObject {
public:
    CCriticalSection() = default;
    bool Lock();
    bool Lock(uint32_t timeout) override;   // only INFINITE makes sense here
    bool Unlock() override;
    operator std::recursive_mutex*() { return &m_sect; }

private:
    std::recursive_mutex m_sect;
};

// Holds one object's lock; unlocks it when destroyed. A null object throws
// CBadException.
class CSingleLock {
public:
    CSingleLock(CSyncObject* object, bool initialLock = false);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    bool Lock(uint32_t timeout = INFINITE);
    bool Unlock();
    bool Unlock(long count, long* previous = nullptr);
    bool IsLocked() const { return m_bAcquired != 0; }

private:
    CSyncObject* m_pObject;
    void* m_hObject;
    int m_bAcquired = 0;
};
