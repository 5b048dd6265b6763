// The sample game's archive (sample.pak), damaged in seeded ways and in its
// header and directory fields, mounted the way the engine mounts VFSPak
// archives. Mounting refuses or succeeds; whatever it lists reads within the
// archive's own bytes; nothing crashes, hangs or leaks.
#include "module_enginebase.h"

#include "archive_writer.h"
#include "msgbox_recorder.h"
#include "mutations.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <IFileArchive.h>
#include <IFileList.h>
#include <IFileSystem.h>
#include <IReadFile.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void put32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = char((value >> (8 * i)) & 0xFF);
}

uint32_t get32(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | uint8_t(bytes[at + size_t(i)]);
    return value;
}

class RobustArchives : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetAppFolder(App.path().c_str());
        SetLogFolder(App.path().c_str());
        Engine.ForceNullDriver = true;
        Engine.createDevice();
        ASSERT_NE(Engine.FileSystem, nullptr);
    }
    void TearDown() override
    {
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
    }

    // Reads every entry the archive lists: empty when each claims no more
    // than the archive's bytes and (when checked) reads no more than it claims.
    static std::string readEntries(irr::io::IFileArchive* archive, size_t archiveBytes, bool checkRead)
    {
        const irr::io::IFileList* list = archive->getFileList();
        for (irr::u32 e = 0; e < list->getFileCount(); ++e) {
            irr::io::IReadFile* file = list->isDirectory(e) ? nullptr : archive->createAndOpenFile(e);
            if (!file)
                continue;
            const long length = file->getSize();
            const bool fits = length >= 0 && size_t(length) <= archiveBytes;
            std::string bytes(fits ? size_t(length) : 0, '\0');
            const irr::s32 got = bytes.empty() ? 0 : file->read(&bytes[0], irr::u32(length));
            file->drop();
            if (!fits)
                return "entry " + std::to_string(e) + " claims " + std::to_string(length) + " bytes";
            if (checkRead && (got < 0 || got > length))
                return "entry " + std::to_string(e) + " read " + std::to_string(got) + " bytes";
        }
        return "";
    }

    CTempFolder App;
    CMessageBoxRecorder Boxes;
    CEngineBase Engine;
};

// The header and directory fields of the seed set to the values that break
// readers: past the end, overlapping, wrapping, not a whole entry.
std::vector<std::string> fieldCases(const std::string& seed)
{
    std::vector<std::string> cases;
    const uint32_t directory = get32(seed, 4);
    const uint32_t size = uint32_t(seed.size());
    const uint32_t values[] = {0, 1, 12, 63, 64, size - 1, size, size + 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFC0,
                               0xFFFFFFFF};
    const size_t fields[] = {4, 8, size_t(directory) + 56, size_t(directory) + 60, size_t(directory) + 64 + 56,
                             size_t(directory) + 64 + 60};
    for (size_t field : fields) {
        for (uint32_t value : values) {
            if (field + 4 > seed.size())
                continue;
            std::string bytes = seed;
            put32(bytes, field, value);
            cases.push_back(bytes);
        }
    }
    // A name that fills its field without an end.
    std::string unended = seed;
    for (size_t i = 0; i < 56; ++i)
        unended[directory + i] = 'n';
    cases.push_back(unended);
    return cases;
}

TEST_F(RobustArchives, MutatedPaksMountOrAreRefusedAndReadWithinTheirBytes)
{
    const std::string seed = ReadSampleData("sample.pak");
    ASSERT_GT(seed.size(), 12u + 64u);
    ASSERT_EQ(seed.substr(0, 4), "PACK");
    std::vector<std::string> cases = MutateSeed(seed, 50, 120);
    const std::vector<std::string> fields = fieldCases(seed);
    cases.insert(cases.end(), fields.begin(), fields.end());
    irr::io::IFileSystem* fs = Engine.FileSystem;
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const std::string name = "m" + std::to_string(i) + ".pak";
        App.write(name, cases[i]);
        const irr::u32 before = fs->getFileArchiveCount();
        const bool mounted = Engine.mountArchive(name.c_str());
        if (mounted != (fs->getFileArchiveCount() == before + 1))
            return "the mount result does not match the archive count";
        if (!mounted)
            return i == 0 ? "the unmutated archive was refused" : "";
        irr::io::IFileArchive* archive = fs->getFileArchive(before);
        const irr::io::IFileList* list = archive->getFileList();
        if (const std::string fault = readEntries(archive, cases[i].size(), true); !fault.empty())
            return fault;
        CString text;
        const bool read = ReadPackedFile("sprites\\spark.spr", text);
        if (i == 0 && (!read || text.Find("-Texture:") < 0 || list->getFileCount() < 2))
            return "the unmutated archive lost its files";
        fs->removeFileArchive(before);
        return "";
    }, App.file("last_scriptcomp_error_alert.log"));
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Ended, 0);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

TEST_F(RobustArchives, MutatedZipsMountOrAreRefusedAndReadWithinTheirBytes)
{
    // The sample's archive entries as a stored zip, the other archive form.
    ASSERT_TRUE(WriteStoredZip(App.file("seed.zip"), {{"sprites/spark.spr", "-Texture:\\gui\\spark.png\n"},
                                                      {"gui/readme.txt", std::string(300, 'r')}}));
    const std::string seed = App.read("seed.zip");
    ASSERT_GT(seed.size(), 100u);
    std::vector<std::string> cases = MutateSeed(seed, 51, 200, {"PK\x01\x02", "PK\x05\x06", "\xFF\xFF\xFF\xFF"});
    // Sizes after the data (flag bit 3) send the reader to the central
    // directory: without its end record, or with an entry placed past the end.
    std::string afterData = seed;
    afterData[6] = char(afterData[6] | 8);
    const size_t directory = afterData.find("PK\x01\x02");
    ASSERT_NE(directory, std::string::npos);
    std::string noEnd = afterData, farEntry = afterData;
    noEnd[noEnd.rfind("PK\x05\x06") + 3] = 'x';
    put32(farEntry, directory + 42, uint32_t(seed.size()));
    // The reader takes a name's length as signed, also in a header that the
    // directory, which decides the entries, does not point at.
    std::string longName = afterData;
    longName[27] = char(0x80);
    put32(longName, directory + 42, uint32_t(longName.find("PK\x03\x04", 4)));
    // A deflated entry that claims 4 GiB from a few bytes.
    std::string bomb = seed;
    bomb[8] = 8;
    put32(bomb, 22, 0xFFFFFFF0);
    const int whole = int(cases.size());   // the directory is sound: it mounts
    cases.insert(cases.end(), {afterData, noEnd, farEntry, longName, bomb});
    irr::io::IFileSystem* fs = Engine.FileSystem;
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const std::string name = "z" + std::to_string(i) + ".zip";
        App.write(name, cases[i]);
        const irr::u32 before = fs->getFileArchiveCount();
        if (!Engine.mountArchive(name.c_str()))
            return i == 0 || i == whole ? "a whole archive was refused" : "";
        if (const std::string fault = readEntries(fs->getFileArchive(before), cases[i].size(), false); !fault.empty())
            return fault;
        CString text;
        if (i == 0 && (!ReadPackedFile("sprites\\spark.spr", text) || text.Find("-Texture:") < 0))
            return "the unmutated archive lost its files";
        fs->removeFileArchive(before);
        return "";
    }, App.file("last_scriptcomp_error_alert.log"));
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

}  // namespace
