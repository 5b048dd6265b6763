// Date and time texts in the user's locale, thread id, program folder.
#include "utils_system_windows.h"

#include "thread.h"

#include <locale.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstring>

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

SYSTEMTIME utcNow()
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts = {};
    gmtime_r(&now.tv_sec, &parts);
    SYSTEMTIME result = {};
    result.wYear = uint16_t(parts.tm_year + 1900);
    result.wMonth = uint16_t(parts.tm_mon + 1);
    result.wDayOfWeek = uint16_t(parts.tm_wday);
    result.wDay = uint16_t(parts.tm_mday);
    result.wHour = uint16_t(parts.tm_hour);
    result.wMinute = uint16_t(parts.tm_min);
    result.wSecond = uint16_t(parts.tm_sec);
    result.wMilliseconds = uint16_t(now.tv_nsec / 1000000);
    return result;
}

bool isValid(const SYSTEMTIME& t)
{
    return t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31 && t.wHour < 24 &&
           t.wMinute < 60 && t.wSecond < 60 && t.wYear >= 1601;
}

CString formatTime(const SYSTEMTIME* time, const char* format)
{
    SYSTEMTIME t = time ? *time : utcNow();
    if (!isValid(t))
        return CString();
    tm parts = {};
    parts.tm_year = t.wYear - 1900;
    parts.tm_mon = t.wMonth - 1;
    parts.tm_mday = t.wDay;
    parts.tm_wday = t.wDayOfWeek % 7;
    parts.tm_hour = t.wHour;
    parts.tm_min = t.wMinute;
    parts.tm_sec = t.wSecond;
    char text[128];
    size_t length = strftime_l(text, sizeof text, format, &parts, userTimeLocale());
    return CString(text, int(length));
}

} // namespace

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
