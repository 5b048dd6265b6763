// A table of the eight best scores: name, score, time, flag and a free text
// of extra data per entry, kept as a key=value file.
#pragma once

#include "utils_str.h"

#include <cstdint>

struct SHighScoreEntry {
    CString Name;          // at most 40 characters, no line breaks
    uint32_t Score = 0;    // 0: an empty entry
    uint32_t Time = 0;     // seconds since 1970, low 32 bits
    uint8_t Flag = 0;      // 0 or 1
    CString Internals;     // at most 1024 characters, no line breaks
};

class CHighScores {
public:
    enum { EntryCount = 8, MaxNameLength = 40, MaxInternalsLength = 1024 };

    CHighScores();

    // Names the table and reads the file; a missing or empty file gives an
    // empty table and writes the seed file. Always true.
    bool load(CString table, CString path);
    // Writes the table only when it changed since the load; true when written.
    bool save(CString path);
    // Empties the table and, unless noSeed, writes "hiscores_<table>.ini" in
    // the user folder from the program folder's "hiscores.ini". Always true.
    bool openFile(int noSeed);

    // The place 0..7 the score would take (ties go below), 8 when it would not
    // enter; a score of 0 never enters.
    int getRank(uint32_t score) const;
    // Rank 1..8, or 0 when refused. The same name and time replaces that
    // entry; the same score and time refuses.
    int insert(uint32_t score, const char* name, uint32_t time, uint8_t flag, const char* internals);
    // insert with flag 0 and time 0 meaning now; a taken entry marks the table changed.
    int addEntry(uint32_t score, const char* name, uint32_t time, const char* internals);

    // The file text: Line<i>=flag;TIME;score;name and Line<i>_internals=... lines.
    CString toText() const;

    const SHighScoreEntry& getEntry(int index) const;   // 0..7; outside: the last
    const CString& getTableName() const { return m_TableName; }
    bool isChanged() const { return m_bChanged; }

private:
    void clearEntries();
    void readEntry(int index, const CString& value, const CString& text);

    CString m_TableName;
    SHighScoreEntry m_Entries[EntryCount];
    bool m_bChanged = false;
};
