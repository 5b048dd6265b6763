// Failure reporting: the fatal alert, the alert box that also carries
// assertions, the one in-memory debug log, the main-thread check and the
// debug-mode flag.
#pragma once

#include "utils_str.h"

#include "thread.h"

// The in-memory debug log, kept in "last_debug.log" of the log folder.
class CDebugLogBuffer {
public:
    CDebugLogBuffer();
    ~CDebugLogBuffer();   // writes the file once more
    CDebugLogBuffer(const CDebugLogBuffer&) = delete;
    CDebugLogBuffer& operator=(const CDebugLogBuffer&) = delete;

    // Replaces the file with the text. Writes nothing while the path is
    // still empty, nor an empty text: that would wipe the log the file holds.
    void writeFile();

    // Forgets text and path without writing (tests, a new log folder).
    void reset();

    CString Text;
    CString Path;   // empty until the first message
};

// The log; null once it has been destroyed at exit.
CDebugLogBuffer* GetDebugLogBuffer();

// Writes the message to "last_scriptcomp_error_alert.log", logs it and shows
// it. Returns 0 when askContinue was given and the user chose to go on;
// otherwise ends the program with exit code 1 without running destructors.
int FatalError(const char* message, bool askContinue);

// While it lives, every fatal error's text ends with the note on a line of its
// own: an error raised deep down (a sound that cannot be loaded) then also
// names who asked for it. Notes nest; the innermost comes last. Main thread only.
class CFatalErrorNote {
public:
    explicit CFatalErrorNote(const CString& note);
    ~CFatalErrorNote();
    CFatalErrorNote(const CFatalErrorNote&) = delete;
    CFatalErrorNote& operator=(const CFatalErrorNote&) = delete;
};

// Logs the text, flushes the log and shows the text: with askYesNo a Yes/No
// box that adds "\nYes to continue, No to stop" (true for Yes), else an OK box
// (false).
bool AlertBox(const char* text, bool askYesNo);

// Appends "date time<TAB>text\n", with " (file:line)" before the newline when
// a source file is given; the first message of a run continues the old file.
void DebugLog(const char* text, const char* file = nullptr, int line = 0);

// Writes the log to its file, empties it with clear, then keeps only the
// last 30000 characters in memory.
void FlushDebugLog(bool clear);

// The log's file takes the text in memory, from inside a crash handler:
// async-signal-safe, so it neither allocates nor locks.
void SaveDebugLogInCrash();

// The folder of the diagnostic files: the program folder when it can be
// written, else a folder of the user's own. Computed once.
const CString& GetLogFolder();
// The same folder for a crash handler, which may not allocate: a copy kept
// whenever the folder is chosen or set; empty before that.
const char* GetLogFolderInCrash();

// GetLogFolder's rule for a given program folder: that folder when it can be
// written; else a folder under the user's application data, named by the
// AppDataFolder option when it is known, else by the executable (created).
CString ChooseLogFolder(const char* appFolder);

// Moves the diagnostic files elsewhere (tests); the log starts over there.
void SetLogFolder(const char* folder);

// Ends the program with exit code 1 when called from another thread than the
// recorded main thread (platform::RecordMainThread); passes on every thread
// before one is recorded.
void MainThreadCheckFailed();
inline void CheckMainThread()
{
    if (!platform::IsMainThread())
        MainThreadCheckFailed();
}

// The debug-mode flag toggled by a debug key.
int* GetDebugModeFlag();

// --- profiler ---

// Times a section from construction to destruction, adding the milliseconds
// to per-key tables of maximum, total and count; the key is place + ":" +
// line. With a detail, each call that took time also leaves a note. Main
// thread only.
struct SProfilerEntry;

// One profiled place in the source: its key made once, and its table entry
// remembered until the tables are cleared, so a scope neither formats nor hashes.
struct SProfilerSite {
    SProfilerSite(const char* place, int line);
    // The place is tag + "|" + file, or the bare file for an empty tag.
    SProfilerSite(const char* tag, const char* file, int line);
    CString Key;
    SProfilerEntry* Entry = nullptr;
    unsigned Generation = 0;   // of the tables the entry belongs to
};

class CProfilerScope {
public:
    CProfilerScope(const CString& place, int line);
    CProfilerScope(const CString& place, int line, const char* detail);
    explicit CProfilerScope(SProfilerSite& site, const char* detail = nullptr);
    // The detail is the text's first excerptChars bytes (at most 50) + "...",
    // copied without building a string: the note is only made for a slow scope.
    CProfilerScope(SProfilerSite& site, const char* text, int excerptChars);
    ~CProfilerScope();
    CProfilerScope(const CProfilerScope&) = delete;
    CProfilerScope& operator=(const CProfilerScope&) = delete;

private:
    unsigned m_nStart;                  // ms, the tick count
    SProfilerSite* m_pSite = nullptr;   // borrowed; null: the key below
    CString m_Key;                      // empty without a site: an inactive scope
    CString m_Detail;                   // empty, or the detail between single quotes
    char m_Excerpt[51] = {};            // for the excerpt form; m_Detail is then empty
    bool m_HasExcerpt = false;
};

// A scope tagged tag + "|" + this source file (the bare file for ""), to the
// end of the block. The site is never destroyed: scopes may still end while
// statics are torn down.
#define ENGINE_PROFILE_JOIN2(a, b) a##b
#define ENGINE_PROFILE_JOIN(a, b) ENGINE_PROFILE_JOIN2(a, b)
#define ENGINE_PROFILE_SITE(tag) \
    static SProfilerSite& ENGINE_PROFILE_JOIN(profilerSite, __LINE__) = \
        *new SProfilerSite(tag, __FILE__, __LINE__)
#define ENGINE_PROFILE(tag) \
    ENGINE_PROFILE_SITE(tag); \
    CProfilerScope ENGINE_PROFILE_JOIN(profilerScope, __LINE__)(ENGINE_PROFILE_JOIN(profilerSite, __LINE__))
#define ENGINE_PROFILE_DETAIL(tag, detail) \
    ENGINE_PROFILE_SITE(tag); \
    CProfilerScope ENGINE_PROFILE_JOIN(profilerScope, __LINE__)(ENGINE_PROFILE_JOIN(profilerSite, __LINE__), detail)
#define ENGINE_PROFILE_EXCERPT(tag, text, chars) \
    ENGINE_PROFILE_SITE(tag); \
    CProfilerScope ENGINE_PROFILE_JOIN(profilerScope, __LINE__)(ENGINE_PROFILE_JOIN(profilerSite, __LINE__), text, chars)

void ClearProfilerStats();
void SetProfilerNote(const CString& key, const CString& text);

// The "Anti-hitparad" table of every key timed since the last report; empties
// the tables.
CString GetProfilerReport();

// Writes the report to "last_anihitparad" + suffix (made safe, dots too) +
// ".log" in the log folder, replacing the file.
void WriteProfilerLog(const CString& suffix);
