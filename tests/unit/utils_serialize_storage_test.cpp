// XML storage reading objects, its "Wrong XML" stops, and the memory read file.
#include "utils_serialize_storage.h"

#include "codepage.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_engine_context.h"

#include <gtest/gtest.h>

#include <irrlicht.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A null device gives the real Irrlicht file system and XML reader headless.
class XmlStorageTest : public testing::Test {
protected:
    void SetUp() override
    {
        Device = irr::createDevice(irr::video::EDT_NULL);
        ASSERT_NE(Device, nullptr);
        GetDefaultEngineContext().FileSystem = Device->getFileSystem();
        SetLogFolder(Folder.path().c_str());
        platform::PinAnsiCodePage("CP1252");
    }
    void TearDown() override
    {
        platform::PinAnsiCodePage(nullptr);
        SetLogFolder(nullptr);
        GetDefaultEngineContext().FileSystem = nullptr;
        if (Device)
            Device->drop();
    }

    irr::IrrlichtDevice* Device = nullptr;
    CTempFolder Folder;
};

// What a manifest item looks like to the storage.
struct SItem : CSerializable {
    int Count = -1;
    float Scale = -1;
    CString Title = "unset";
    int Optional = -1;
    CString Note = "unset";
    int Loaded = 0;

    void serialize(CXMLStorage& storage) override
    {
        storage.beginNode("item");
        storage.serializeLong("count", &Count);
        storage.serializeLong("opt", &Optional, true, 42);
        storage.serializeFloat("scale", &Scale);
        storage.serializeString("title", &Title);
        storage.serializeString("note", &Note, true, "none");
        storage.endNode("item");
        if (storage.isReading())
            onLoaded();
    }
    void onLoaded() override { ++Loaded; }
};

SItem readItem(const char* text)
{
    SItem item;
    CXMLStorage storage;
    storage.openText(text);
    item.serialize(storage);
    return item;
}

std::vector<unsigned char> fileBytes(irr::io::IReadFile* file)
{
    std::vector<unsigned char> bytes(size_t(file->getSize()));
    file->seek(0);
    file->read(bytes.data(), irr::u32(bytes.size()));
    return bytes;
}

} // namespace

TEST(MemoryFile, ReadsTheRestAndRefusesSeeksOutsideTheBlock)
{
    char* buffer = new char[5]{'a', 'b', 'c', 'd', 'e'};
    CReadFile* file = CreateMemoryFile(buffer, 5, true, false);
    EXPECT_STREQ(file->getFileName().c_str(), "memfile");
    char out[8] = {};
    EXPECT_EQ(file->read(out, 3), 3);
    EXPECT_EQ(file->read(out, 8), 2);   // only the rest
    EXPECT_EQ(std::string(out, 2), "de");
    EXPECT_EQ(file->read(out, 8), 0);   // at the end

    struct { long position; bool relative; bool moved; long after; } seeks[] = {
        {5, false, true, 5},  {6, false, false, 5}, {-1, false, false, 5},
        {-5, true, true, 0},  {-1, true, false, 0}, {2, true, true, 2}, {4, true, false, 2},
    };
    for (const auto& s : seeks) {
        EXPECT_EQ(file->seek(s.position, s.relative), s.moved) << s.position << " " << s.relative;
        EXPECT_EQ(file->getPos(), s.after) << s.position << " " << s.relative;
    }
    file->drop();
}

TEST(MemoryFile, Utf8MarkBecomesUtf16LittleEndianThroughTheCodePage)
{
    platform::PinAnsiCodePage("CP1252");
    const char text[] = "\xEF\xBB\xBF" "a\xC3\xA9\xD0\x96";   // a, e acute, Cyrillic Zhe (not in 1252)
    CReadFile* file = CreateMemoryFile(const_cast<char*>(text), sizeof text, false, true);
    std::vector<unsigned char> expected = {0xFF, 0xFE, 'a', 0, 0xE9, 0, '?', 0, 0, 0};
    EXPECT_EQ(fileBytes(file), expected);
    file->drop();

    const char plain[] = "<a/>\xE9";
    file = CreateMemoryFile(const_cast<char*>(plain), sizeof plain, false, true);
    EXPECT_EQ(fileBytes(file), std::vector<unsigned char>(plain, plain + sizeof plain));   // byte for byte
    file->drop();
    platform::PinAnsiCodePage(nullptr);
}

TEST(XmlMarkup, TextsAreCutBeforeTheFirstBrokenPiece)
{
    struct Case {
        const char* text;
        int complete;
    };
    const Case cases[] = {
        {"", 0},
        {"plain text", 10},
        {"<a x=\"1\"><b/></a>", 17},
        {"<a x='>'/>", 10},
        {"<a x=\"1\"y=\"2\">", 14},
        {"<a>text", 7},
        {"<a x=\"1", 0},
        {"<a x=\"1\"", 0},
        {"<a x>", 0},
        {"<a x=y>", 0},
        {"<a ok=\"1\"/><b", 11},
        {"<<<", 0},
        {"<a/", 0},
        {"</a x>", 0},
        {"<>", 0},
        {"<!-- c", 0},
        {"<!-- > -->x", 0},   // the comment ends at the first '>', too short to read
        {"<!-- a < b -->x<c/>", 0},
        {"<!DOCTYPE <>", 0},
        {"<!DOCTYPE x [<!ENTITY y \"z\">]><a/>", 34},
        {"<![CDATA[<a>]]><b/>", 19},
        {"<?xml version=\"1.0\"?><a/>", 25},
        {"<?xml", 0},
        {"<?>< ?>", 3},
        {"<!DOCTYPE x><a/>", 16},
        {"<!>", 0},
        {"<!-->", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CompleteMarkupLength(c.text, int(std::strlen(c.text))), c.complete) << c.text;
    EXPECT_EQ(CompleteMarkupLength(nullptr, 5), 0);
    EXPECT_EQ(CompleteMarkupLength("<a/>", 2), 0);   // the length bounds the scan, not the NUL
}

TEST(XmlStorageRecord, LongPiecesAreCutAndTheRecordKeepsItsTail)
{
    CString record;
    AppendBoundedText(record, "(start)");
    EXPECT_STREQ(record, "(start);");
    AppendBoundedText(record, std::string(250, 'x').c_str());
    EXPECT_EQ(record.GetLength(), 8 + 200 + 3 + 1);
    for (int i = 0; i < 3; ++i)
        AppendBoundedText(record, std::string(300, char('a' + i)).c_str());
    EXPECT_EQ(record.GetLength(), 503);
    EXPECT_EQ(std::string(record).substr(0, 3), "...");
    EXPECT_EQ(std::string(record).substr(499), "...;");
}

TEST_F(XmlStorageTest, ReadsRequiredAndOptionalValues)
{
    struct Case {
        const char* text;
        int count, optional;
        float scale;
        const char* title;
        const char* note;
    } cases[] = {
        {"<item><count val=\"7\"/><opt val=\"3\"/><scale val=\"1.5\"/><title val=\"Hi\"/><note val=\"n\"/></item>",
         7, 3, 1.5f, "Hi", "n"},
        // optional values left out: defaults, and the next element stays for the next value
        {"<item><count val=\"7\"/><scale val=\"2\"/><title val=\"Hi\"/></item>", 7, 42, 2.0f, "Hi", "none"},
        // comments and text between values are ignored; missing "val" reads as 0 / empty
        {"<?xml version=\"1.0\"?>\n<!-- c --><item>\n <count/> junk <scale/><title/></item>", 0, 42, 0.0f, "", "none"},
        // a multi-line string is the element's text content
        {"<item><count val=\"-3\"/><scale val=\"0.25\"/><title>line one\nline two</title><note val=\"after\"/></item>",
         -3, 42, 0.25f, "line one\nline two", "after"},
    };
    for (const Case& c : cases) {
        SItem item = readItem(c.text);
        EXPECT_EQ(item.Count, c.count) << c.text;
        EXPECT_EQ(item.Optional, c.optional) << c.text;
        EXPECT_FLOAT_EQ(item.Scale, c.scale) << c.text;
        EXPECT_STREQ(item.Title, c.title) << c.text;
        EXPECT_STREQ(item.Note, c.note) << c.text;
        EXPECT_EQ(item.Loaded, 1);
    }
}

TEST_F(XmlStorageTest, TextsKeepTheirCharactersInTheCodePage)
{
    struct Case {
        const char* page;
        const char* text;
        const char* title;
    } cases[] = {
        {"CP1252", "\xEF\xBB\xBF<item><count val=\"1\"/><scale val=\"1\"/><title val=\"caf\xC3\xA9\"/></item>",
         "caf\xE9"},
        {"CP1251", "\xEF\xBB\xBF<item><count val=\"1\"/><scale val=\"1\"/><title val=\"\xD0\x96\xD0\xB0\"/></item>",
         "\xC6\xE0"},
        // an 8-bit text without the mark is in the code page already, Cyrillic too
        {"CP1251", "<item><count val=\"1\"/><scale val=\"1\"/><title val=\"\xC6\xE0\"/></item>", "\xC6\xE0"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(platform::PinAnsiCodePage(c.page));
        EXPECT_STREQ(readItem(c.text).Title, c.title) << c.page << " " << c.text;
    }
}

TEST_F(XmlStorageTest, NestedNodesAndTheReaderStayUsable)
{
    CXMLStorage storage;
    ASSERT_TRUE(storage.openText("<root><a><x val=\"1\"/></a><b><y val=\"2\"/><extra val=\"9\"/></b><z val=\"3\"/></root>"));
    int x = 0, y = 0, z = 0;
    storage.beginNode("root");
    storage.beginNode("a");
    storage.serializeLong("x", &x);
    storage.endNode("a");
    storage.beginNode("b");
    storage.serializeLong("y", &y);
    storage.endNode("b");   // skips the unread value
    storage.serializeLong("z", &z);
    storage.endNode("root");
    EXPECT_EQ(x + 10 * y + 100 * z, 321);
    EXPECT_NE(storage.getReader(), nullptr);
    EXPECT_STREQ(storage.getLastReadValues(), "(start);(long)x=1;(long)y=2;(long)z=3;");
}

TEST_F(XmlStorageTest, ReadsAFileOfTheFileSystem)
{
    Folder.write("item.xml", "\xEF\xBB\xBF<item><count val=\"5\"/><scale val=\"3\"/><title val=\"caf\xC3\xA9\"/></item>");
    SItem item;
    CXMLStorage storage(Folder.file("item.xml").c_str(), true);
    item.serialize(storage);
    EXPECT_EQ(item.Count, 5);
    EXPECT_STREQ(item.Title, "caf\xE9");
    EXPECT_STREQ(storage.getName(), Folder.file("item.xml").c_str());
}

namespace {

// The text in a wide form with its byte order mark: 2 or 4 bytes a character.
std::string wideBytes(const std::string& text, int width, bool bigEndian)
{
    std::string out;
    auto put = [&](uint32_t c) {
        for (int i = 0; i < width; ++i)
            out += char((c >> (8 * (bigEndian ? width - 1 - i : i))) & 0xFF);
    };
    put(0xFEFF);
    for (unsigned char c : text)
        put(c);
    return out;
}

}  // namespace

TEST_F(XmlStorageTest, WideFilesAreReadWholeAndCutOnesWithinTheirBytes)
{
    // The reader of wide text runs past the end of a file cut inside a tag;
    // wide files are decoded by the storage and read as texts instead.
    const std::string text = "<item><count val=\"5\"/><scale val=\"3\"/><title val=\"caf\xE9\"/></item>";
    struct Case {
        int width;
        bool bigEndian;
    };
    for (const Case& c : {Case{2, false}, Case{2, true}, Case{4, false}}) {
        SCOPED_TRACE(std::to_string(c.width) + (c.bigEndian ? " big" : " little"));
        const std::string whole = wideBytes(text, c.width, c.bigEndian);
        for (const std::string& bytes : {whole, whole + "<", whole + std::string(1, '\0') + "junk"}) {
            Folder.write("wide.xml", bytes);
            SItem item;
            CXMLStorage storage(Folder.file("wide.xml").c_str(), true);
            item.serialize(storage);
            EXPECT_EQ(item.Count, 5);
            EXPECT_STREQ(item.Title, "caf\xE9");
        }
    }
}

TEST_F(XmlStorageTest, WithoutAReaderValuesKeepTheirDefaults)
{
    CXMLStorage missing((Folder.path() + "absent.xml").c_str(), true);
    SItem item;
    item.serialize(missing);
    EXPECT_EQ(item.Count, 0);
    EXPECT_EQ(item.Optional, 42);
    EXPECT_STREQ(item.Note, "none");
    EXPECT_EQ(missing.getReader(), nullptr);

    GetDefaultEngineContext().FileSystem = nullptr;   // before the device exists
    CXMLStorage early;
    EXPECT_FALSE(early.openText("<item/>"));
    CString title = "kept";
    early.serializeString("title", &title, true, "default");
    EXPECT_STREQ(title, "default");
}

TEST_F(XmlStorageTest, WrittenObjectsReadBack)
{
    std::string path = Folder.file("out.xml");
    {
        CXMLStorage writer(path.c_str(), false);
        ASSERT_FALSE(writer.isReading());
        SItem item;
        item.Count = 12;
        item.Optional = 4;
        item.Scale = 0.5f;
        item.Title = "two\nlines";
        item.Note = "plain";
        item.serialize(writer);
    }
    SItem back;
    CXMLStorage reader(path.c_str(), true);
    back.serialize(reader);
    EXPECT_EQ(back.Count, 12);
    EXPECT_EQ(back.Optional, 4);
    EXPECT_FLOAT_EQ(back.Scale, 0.5f);
    EXPECT_STREQ(back.Title, "two\nlines");
    EXPECT_STREQ(back.Note, "plain");
}

using XmlStorageDeathTest = XmlStorageTest;

TEST_F(XmlStorageDeathTest, StructuralErrorsStopTheProgram)
{
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"<item><cnt val=\"1\"/></item>",
         "Wrong XML: node name does not match description\n'cnt' found while seeking for 'count'\n"
         "Last read values: '\\(start\\);'\nFile: \\?\\?\\?"},
        {"<item><count val=\"1\"/></item>",
         "Wrong XML: failed to find 'scale'\n</item> found instead\nLast read values: '\\(start\\);\\(long\\)count=1;'"},
        {"<other/>", "'other' found while seeking for 'item'"},
        // truncated texts end with the report instead of reading on forever
        {"<item><count val=\"1\"/><scale val=\"1\"/><title val=\"t\"/>", "the text ends while reading 'note'"},
        {"<item><count val=\"1\"/><scale val=\"1\"/><title val=\"t\"/><note val=\"n\"/>",
         "the text ends while reading '</item>'"},
        {"<item><count val=\"1\"/><scale val=\"1\"/><title>unfinished", "the text ends while reading 'title'"},
        {"<item><count val=\"1\"/>", "the text ends while reading 'opt'"},
        {"", "the text ends while reading 'item'"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(readItem(c.text), testing::ExitedWithCode(1), c.message) << c.text;
}

TEST_F(XmlStorageDeathTest, CutWideFilesEndWithTheReportInsteadOfReadingOn)
{
    const std::string text = "<item><count val=\"5\"/><scale val=\"3\"/><title val=\"t\"/></item>";
    for (int width : {2, 4}) {
        const std::string whole = wideBytes(text, width, false);
        for (size_t cut : {size_t(width) + 3 * size_t(width) + 1, whole.size() / 2 + 1, whole.size() - 3}) {
            Folder.write("cut.xml", whole.substr(0, cut));
            EXPECT_EXIT(
                {
                    SItem item;
                    CXMLStorage storage(Folder.file("cut.xml").c_str(), true);
                    item.serialize(storage);
                },
                testing::ExitedWithCode(1), "Wrong XML") << width << " bytes a character, cut at " << cut;
        }
    }
}
