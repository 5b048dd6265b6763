// The high-score table and its file.
#include "module_highscores.h"

#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_str_keyvalue.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace {

const char* const SeedFileName = "hiscores.ini";
// The tables openFile makes in the user folder, whose player files are named exactly.
[[maybe_unused]] const bool TableFilesExact = RegisterPlayerFileName("hiscores_*.ini");

// Names and internals live on one line of the file: a line break in them
// would start a bogus key, so it becomes a blank. Fields have fixed limits.
CString fitField(const char* text, int maxLength)
{
    CString field(text ? text : "");
    field.ReplaceChars("\r\n", ' ');
    if (field.GetLength() > maxLength)
        field = field.Left(maxLength);
    return field;
}

// Moves past the number that readNumber read and the one separator after it.
const char* skipSeparator(const char* end)
{
    return *end ? end + 1 : end;
}

// A field's 32 bits. A number beyond them saturates at 4294967295 instead of
// wrapping; a negative one gives the signed value's bits (scores from
// 2147483648 up are written so), saturating at -2147483648.
uint32_t readNumber(const char* text, char** end, int base)
{
    const char* p = text;
    while (std::isspace((unsigned char)*p))
        ++p;
    if (*p == '-') {
        const long long value = std::strtoll(text, end, base);
        return uint32_t(int32_t(std::max<long long>(value, INT32_MIN)));
    }
    const unsigned long long value = std::strtoull(text, end, base);
    return value > UINT32_MAX ? UINT32_MAX : uint32_t(value);
}

}  // namespace

CHighScores::CHighScores() = default;

void CHighScores::clearEntries()
{
    for (SHighScoreEntry& entry : m_Entries)
        entry = SHighScoreEntry();
}

bool CHighScores::load(CString table, CString path)
{
    m_TableName = table;
    clearEntries();
    CString text;
    ReadFileToString(path, text);
    if (text.IsEmpty()) {
        openFile(0);
        ReadFileToString(path, text);
    }
    DropUtf8Mark(text);   // an editor's mark would hide the first line
    // Keys count only at line starts, so a name holding "Line3=" cannot
    // stand in for the real line.
    text = CString("\n") + text + "\n";
    for (int i = 0; i < EntryCount; ++i) {
        CString value = GetKeyValue(text, Format("Line%i", i));
        if (value.IsEmpty())
            break;
        readEntry(i, value, text);
    }
    m_bChanged = false;
    return true;
}

void CHighScores::readEntry(int index, const CString& value, const CString& text)
{
    SHighScoreEntry& entry = m_Entries[index];
    const char* p = value;
    entry.Flag = p[0] == '0' ? 0 : 1;
    p = p[1] ? p + 2 : p + 1;
    char* end = nullptr;
    entry.Time = readNumber(p, &end, 16);
    p = skipSeparator(end);
    entry.Score = readNumber(p, &end, 10);
    p = skipSeparator(end);
    entry.Name = fitField(p, MaxNameLength);
    entry.Internals = fitField(GetKeyValue(text, Format("Line%i_internals", index)), MaxInternalsLength);
}

CString CHighScores::toText() const
{
    CString text;
    for (int i = 0; i < EntryCount; ++i) {
        const SHighScoreEntry& entry = m_Entries[i];
        AppendKeyValue(text, Format("Line%i", i),
                       Format("%d;%08X;%i;%s", int(entry.Flag), entry.Time, int(entry.Score),
                              (const char*)entry.Name));
        if (!entry.Internals.IsEmpty())
            AppendKeyValue(text, Format("Line%i_internals", i), entry.Internals);
    }
    return text;
}

bool CHighScores::save(CString path)
{
    if (!m_bChanged || m_TableName.IsEmpty())
        return false;
    if (!WriteStringToFile(path, toText()))
        return false;   // logged with its reason; the table stays changed for a later save
    m_bChanged = false;
    return true;
}

bool CHighScores::openFile(int noSeed)
{
    clearEntries();
    if (!noSeed && !m_TableName.IsEmpty()) {
        CString seed;
        ReadFileToString(GetAppFolder() + SeedFileName, seed);
        WriteStringToFile(GetUserFolder() + "hiscores_" + m_TableName + ".ini", seed);
    }
    m_bChanged = true;
    return true;
}

int CHighScores::getRank(uint32_t score) const
{
    if (score == 0)
        return EntryCount;
    for (int i = 0; i < EntryCount; ++i) {
        if (m_Entries[i].Score < score)
            return i;
    }
    return EntryCount;
}

int CHighScores::insert(uint32_t score, const char* name, uint32_t time, uint8_t flag, const char* internals)
{
    if (score == 0 || m_TableName.IsEmpty())
        return 0;
    CString safeName = fitField(name, MaxNameLength);
    for (int i = 0; i < EntryCount; ++i) {
        if (m_Entries[i].Time == time && m_Entries[i].Name == safeName && m_Entries[i].Score != 0) {
            for (int j = i; j + 1 < EntryCount; ++j)
                m_Entries[j] = m_Entries[j + 1];
            m_Entries[EntryCount - 1] = SHighScoreEntry();
            break;
        }
    }
    int place = -1;
    for (int i = 0; i < EntryCount && place < 0; ++i) {
        if (m_Entries[i].Score == score && m_Entries[i].Time == time)
            return 0;
        if (m_Entries[i].Score < score)
            place = i;
    }
    if (place < 0)
        return 0;
    for (int j = EntryCount - 1; j > place; --j)
        m_Entries[j] = m_Entries[j - 1];
    SHighScoreEntry& entry = m_Entries[place];
    entry.Score = score;
    entry.Time = time;
    entry.Flag = flag ? 1 : 0;
    entry.Name = safeName;
    entry.Internals = fitField(internals, MaxInternalsLength);
    return place + 1;
}

int CHighScores::addEntry(uint32_t score, const char* name, uint32_t time, const char* internals)
{
    if (time == 0)
        time = uint32_t(std::time(nullptr));
    int rank = insert(score, name, time, 0, internals);
    if (rank != 0)
        m_bChanged = true;
    return rank;
}

const SHighScoreEntry& CHighScores::getEntry(int index) const
{
    if (index < 0 || index >= EntryCount)
        index = EntryCount - 1;
    return m_Entries[index];
}
