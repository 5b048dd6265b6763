// The built-in profiler: per-place maximum, total and count tables and the
// "Anti-hitparad" report.
#include "utils_debug.h"

#include "utils_fs.h"
#include "utils_str_tools.h"

#include "clock.h"

#include <cstdint>
#include <cstring>

namespace {

// "Хит парад аниматоров: the end" in code page 1251, whatever the run's page.
const char* const ClosingLine =
    "\xD5\xE8\xF2 \xEF\xE0\xF0\xE0\xE4 \xE0\xED\xE8\xEC\xE0\xF2\xEE\xF0\xEE\xE2: the end\n\n";

struct SProfilerTables {
    CMapStringToPtr Maximum;   // ms, stored in the pointer
    CMapStringToPtr Total;
    CMapStringToPtr Count;
    CMapStringToString Notes;
};

// Never freed: scopes may still end while static objects are destroyed.
SProfilerTables& tables()
{
    static SProfilerTables* profilerTables = new SProfilerTables;
    return *profilerTables;
}

uintptr_t lookupNumber(const CMapStringToPtr& map, const char* key)
{
    void* value = nullptr;
    return map.Lookup(key, value) ? reinterpret_cast<uintptr_t>(value) : 0;
}

void* asValue(uintptr_t number)
{
    return reinterpret_cast<void*>(number);
}

// The folder of the engine's sources, which the report leaves out of its places.
CString sourceFolder()
{
    const char* file = __FILE__;
    const char* slash = std::strrchr(file, '/');
    return slash ? CString(file, int(slash - file) + 1) : CString();
}

} // namespace

CProfilerScope::CProfilerScope(const CString& place, int line) : m_nStart(platform::GetTickCount())
{
    m_Key.Format("%s:%i", (const char*)place, line);
}

CProfilerScope::CProfilerScope(const CString& place, int line, const char* detail) : CProfilerScope(place, line)
{
    m_Detail = CString("'") + (detail ? detail : "") + "'";
}

CProfilerScope::~CProfilerScope()
{
    if (m_Key.IsEmpty())
        return;
    CheckMainThread();
    uint32_t elapsed = platform::GetTickCount() - m_nStart;
    SProfilerTables& t = tables();
    t.Total.SetAt(m_Key, asValue(lookupNumber(t.Total, m_Key) + elapsed));
    void* maximum = nullptr;
    if (!t.Maximum.Lookup(m_Key, maximum) || elapsed > reinterpret_cast<uintptr_t>(maximum))
        t.Maximum.SetAt(m_Key, asValue(elapsed));
    t.Count.SetAt(m_Key, asValue(lookupNumber(t.Count, m_Key) + 1));
    if (!m_Detail.IsEmpty() && elapsed > 0) {
        CString note;
        note.Format("\n%s: %i", (const char*)m_Detail, int(elapsed));
        t.Notes[m_Key] += note;
    }
}

void ClearProfilerStats()
{
    SProfilerTables& t = tables();
    t.Maximum.RemoveAll();
    t.Total.RemoveAll();
    t.Count.RemoveAll();
    t.Notes.RemoveAll();
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
    void* maximum = nullptr;
    for (POSITION pos = t.Maximum.GetStartPosition(); pos;) {
        t.Maximum.GetNextAssoc(pos, key, maximum);
        uintptr_t total = lookupNumber(t.Total, key);
        uintptr_t count = lookupNumber(t.Count, key);
        CString shown = key;
        if (!folder.IsEmpty())
            shown.Replace(folder, "");
        CString line;
        line.Format("max=%05i\ttotal=%05i\tcount=%05i\tmid=%04f\t%s\n", int(reinterpret_cast<uintptr_t>(maximum)),
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
