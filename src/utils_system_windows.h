// System services beyond files: date and time texts, the current thread
// and the program's folder.
#pragma once

#include "utils_str.h"

#include <cstdint>

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

// The user's 24-hour time text (null = now, in UTC); empty for an invalid time.
CString GetTimeString(const SYSTEMTIME* time = nullptr);

// The user's short date text (null = today, in UTC); empty for an invalid date.
CString GetDateString(const SYSTEMTIME* time = nullptr);

// The calling thread's id.
uint32_t CurrentThreadId();

// Folder of the program's executable file, in its real case and ending in
// "/"; empty when the system cannot tell.
CString GetModuleFolder();
