// Message boxes, key state, paths, app-data folder, conversions, trace, time.
#include "utils_system_common.h"

#include "utils_engine_context.h"
#include "utils_str.h"

#include "codepage.h"
#include "debugger.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <cwchar>

namespace {

constexpr int KeyCount = 256;
bool KeysDown[KeyCount] = {};

// Win32 virtual keys of the sided modifiers, which X11 devices report.
constexpr int ShiftKey = 0x10, ControlKey = 0x11, AltKey = 0x12;
constexpr int LeftShiftKey = 0xA0, RightShiftKey = 0xA1, LeftControlKey = 0xA2,
              RightControlKey = 0xA3, LeftAltKey = 0xA4, RightAltKey = 0xA5;

bool isKeyDown(int key)
{
    switch (key) {
    case ShiftKey: return KeysDown[ShiftKey] || KeysDown[LeftShiftKey] || KeysDown[RightShiftKey];
    case ControlKey:
        return KeysDown[ControlKey] || KeysDown[LeftControlKey] || KeysDown[RightControlKey];
    case AltKey: return KeysDown[AltKey] || KeysDown[LeftAltKey] || KeysDown[RightAltKey];
    }
    return key >= 0 && key < KeyCount && KeysDown[key];
}

// The executable's full path, cut to MAX_PATH - 1 characters.
void getExecutablePath(char* caption)
{
    ssize_t length = readlink("/proc/self/exe", caption, MAX_PATH - 1);
    caption[length > 0 ? length : 0] = 0;
}

bool copyFolder(char* buffer, const std::string& folder)
{
    if (folder.empty() || folder[0] != '/' || folder.size() >= size_t(MAX_PATH))
        return false;
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return true;
}

} // namespace

int ShowMessageBox(const char* text, unsigned type)
{
    // Unseen boxes answer for the caller's type, as in fullscreen: the icon
    // added below must not turn a plain yes/no question into a "No".
    const int unattended = platform::UnattendedBoxAnswer(type);
    unsigned buttons = type & MB_TYPEMASK;
    if ((type & MB_ICONMASK) == 0 &&
        (buttons == MB_OK || buttons == MB_OKCANCEL || buttons == MB_YESNOCANCEL || buttons == MB_YESNO))
        type |= MB_ICONEXCLAMATION;
    char caption[MAX_PATH];
    getExecutablePath(caption);
    return platform::ShowMessageBox(text, caption, type, unattended);
}

int EngineMessageBox(const char* text, unsigned type)
{
    if (*GetEngineContext().getFullscreenFlag())
        return platform::UnattendedBoxAnswer(type);
    return ShowMessageBox(text, type);
}

int GetKeyStateIfActive(int key)
{
    if (*GetEngineContext().getAppActiveFlag() == 0)
        return 0;
    return isKeyDown(key) ? int(int16_t(0x8000)) : 0;
}

void RecordKeyState(int key, bool isDown)
{
    if (key >= 0 && key < KeyCount)
        KeysDown[key] = isDown;
}

bool IsAbsolutePath(const char* path)
{
    return path && (path[0] == '/' || std::strstr(path, ":\\"));
}

void GetWindowsAppDataPath(char* buffer)
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && copyFolder(buffer, dataHome))
        return;
    const char* home = std::getenv("HOME");
    if (home && copyFolder(buffer, std::string(home) + "/.local/share"))
        return;
    std::strcpy(buffer, "/tmp/");
}

void WideToAnsi(const wchar_t* text, char* buffer)
{
    if (!text)
        text = L"";
    size_t length = std::wcslen(text);
    std::memset(buffer, 0, length + 1);
    std::string converted = platform::WideToAnsi(std::wstring_view(text, length));
    std::memcpy(buffer, converted.data(), std::min(converted.size(), length));
}

void AnsiToWide(const char* text, wchar_t* buffer)
{
    if (!text)
        text = "";
    size_t length = std::strlen(text);
    std::memset(buffer, 0, (length + 1) * sizeof(wchar_t));
    std::wstring converted = platform::AnsiToWide(std::string_view(text, length));
    std::memcpy(buffer, converted.data(), std::min(converted.size(), length) * sizeof(wchar_t));
}

void DebugTrace(const char* format, ...)
{
    CString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    platform::DebugOutput(text);
}

int TimeToSystemTime(int64_t time, SYSTEMTIME* out)
{
    *out = SYSTEMTIME{};
    time_t seconds = time_t(time);
    tm parts = {};
    if (!localtime_r(&seconds, &parts) || parts.tm_year + 1900 < 0 || parts.tm_year + 1900 > 65535)
        return 0;
    *out = SystemTimeFromTm(parts);
    return 1;
}

int SystemTimeToTime(int64_t* time, const SYSTEMTIME* in)
{
    tm parts = TmFromSystemTime(*in);
    parts.tm_isdst = -1;
    *time = int64_t(mktime(&parts));
    return 1;
}
