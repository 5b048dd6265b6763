// The built-in profiler: per-place maximum, total and count tables and the
// "Anti-hitparad" report.
#include "utils_debug.h"

#include "utils_fs.h"
#include "utils_str_tools.h"

#include "clock.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// "Хит парад аниматоров: the end" in code page 1251, whatever the run's page.
const char* const ClosingLine =
    "\xD5\xE8\xF2 \xEF\xE0\xF0\xE0\xE4 \xE0\xED\xE8\xEC\xE0\xF2\xEE\xF0\xEE\xE2: the end\n\n";

} // namespace

struct SProfilerEntry {
    uintptr_t Maximum = 0;   // ms
    uintptr_t Total = 0;
    uintptr_t Count = 0;
};

namespace {

struct SProfilerTables {
    CMapStringToPtr Entries;   // key -> SProfilerEntry, owned
    CMapStringToString Notes;
    unsigned Generation = 1;   // advanced on every clear: sites look their entry up anew
};

// Never freed: scopes may still end while static objects are destroyed.
SProfilerTables& tables()
{
    static SProfilerTables* profilerTables = new SProfilerTables;
    return *profilerTables;
}

SProfilerEntry& entryFor(const CString& key)
{
    void*& slot = tables().Entries[key];
    if (!slot)
        slot = new SProfilerEntry;
    return *static_cast<SProfilerEntry*>(slot);
}

void record(SProfilerEntry& entry, uint32_t elapsed)
{
    entry.Total += elapsed;
    if (entry.Count == 0 || elapsed > entry.Maximum)
        entry.Maximum = elapsed;
    entry.Count += 1;
}

// The folder of the engine's sources, which the report leaves out of its places.
CString sourceFolder()
{
    const char* file = __FILE__;
    const char* slash = std::strrchr(file, '/');
    return slash ? CString(file, int(slash - file) + 1) : CString();
}

} // namespace

SProfilerSite::SProfilerSite(const char* place, int line)
{
    Key.Format("%s:%i", place, line);
}

SProfilerSite::SProfilerSite(const char* tag, const char* file, int line)
{
    if (*tag)
        Key.Format("%s|%s:%i", tag, file, line);
    else
        Key.Format("%s:%i", file, line);
}

CProfilerScope::CProfilerScope(const CString& place, int line) : m_nStart(platform::GetTickCount())
{
    m_Key.Format("%s:%i", (const char*)place, line);
}

CProfilerScope::CProfilerScope(const CString& place, int line, const char* detail) : CProfilerScope(place, line)
{
    m_Detail = CString("'") + (detail ? detail : "") + "'";
}

CProfilerScope::CProfilerScope(SProfilerSite& site, const char* detail)
    : m_nStart(platform::GetTickCount()), m_pSite(&site)
{
    if (detail)
        m_Detail = CString("'") + detail + "'";
}

CProfilerScope::CProfilerScope(SProfilerSite& site, const char* text, int excerptChars)
    : m_nStart(platform::GetTickCount()), m_pSite(&site), m_HasExcerpt(true)
{
    const size_t limit = excerptChars < 0 ? 0 : std::min(size_t(excerptChars), sizeof(m_Excerpt) - 1);
    const size_t length = text ? strnlen(text, limit) : 0;
    std::memcpy(m_Excerpt, text ? text : "", length);
    m_Excerpt[length] = 0;
}

CProfilerScope::~CProfilerScope()
{
    if (!m_pSite && m_Key.IsEmpty())
        return;
    CheckMainThread();
    uint32_t elapsed = platform::GetTickCount() - m_nStart;
    SProfilerTables& t = tables();
    SProfilerEntry* entry = nullptr;
    if (m_pSite) {
        if (m_pSite->Generation != t.Generation) {
            m_pSite->Entry = &entryFor(m_pSite->Key);
            m_pSite->Generation = t.Generation;
        }
        entry = m_pSite->Entry;
    } else {
        entry = &entryFor(m_Key);
    }
    record(*entry, elapsed);
    if (m_HasExcerpt && elapsed > 0)
        m_Detail = CString("'") + m_Excerpt + "...'";
    if (!m_Detail.IsEmpty() && elapsed > 0) {
        CString note;
        note.Format("\n%s: %i", (const char*)m_Detail, int(elapsed));
        t.Notes[m_pSite ? m_pSite->Key : m_Key] += note;
    }
}

void ClearProfilerStats()
{
    SProfilerTables& t = tables();
    CString key;
    void* entry = nullptr;
    for (POSITION pos = t.Entries.GetStartPosition(); pos;) {
        t.Entries.GetNextAssoc(pos, key, entry);
        delete static_cast<SProfilerEntry*>(entry);
    }
    t.Entries.RemoveAll();
    t.Notes.RemoveAll();
    ++t.Generation;
}

void SetProfilerNote(const CString& key, const CString& text)
{
    tables().Notes.SetAt(key, text);
}

CString GetProfilerReport()
{
    SProfilerTables& t = tables();
    CString folder = sourceFolder();
    CString report = "\n\nAnti-hitparad:\n";
    CString key;
    void* value = nullptr;
    for (POSITION pos = t.Entries.GetStartPosition(); pos;) {
        t.Entries.GetNextAssoc(pos, key, value);
        const SProfilerEntry& entry = *static_cast<const SProfilerEntry*>(value);
        const uintptr_t maximum = entry.Maximum, total = entry.Total, count = entry.Count;
        CString shown = key;
        if (!folder.IsEmpty())
            shown.Replace(folder, "");
        CString line;
        line.Format("max=%05i\ttotal=%05i\tcount=%05i\tmid=%04f\t%s\n", int(maximum),
                    int(total), int(count), count ? double(total) / double(count) : 0.0, (const char*)shown);
        report += line;
    }
    report += "\n--\n\n";
    CString note;
    for (POSITION pos = t.Notes.GetStartPosition(); pos;) {
        t.Notes.GetNextAssoc(pos, key, note);
        report += "\n" + key + ": '" + note + "'";
    }
    report += "\n\n--\n";
    report += ClosingLine;
    ClearProfilerStats();
    return report;
}

void WriteProfilerLog(const CString& suffix)
{
    CString report = GetProfilerReport();
    if (report.IsEmpty())
        return;
    CString name = "last_anihitparad" + suffix;
    MakeSafeName(name, ".");
    WriteStringToFile(GetLogFolder() + name + ".log", report);
}
