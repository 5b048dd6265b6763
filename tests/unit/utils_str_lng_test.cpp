// Language tables: fallbacks, appended keys, "#file" texts, line-break
// marks, the cache and the table of a data file.
#include "utils_str_lng.h"

#include "archive_writer.h"
#include "msgbox_recorder.h"
#include "null_file_system.h"
#include "temp_folder.h"
#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_str_keyvalue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

std::string str(const CString& text)
{
    return (const char*)text;
}

// A program folder whose "data" folder is mounted, as the engine mounts it.
class LanguageTableTest : public testing::Test {
protected:
    void SetUp() override
    {
        App = Folder.path() + "app/";
        std::filesystem::create_directories(App + "data/lng/de");
        std::filesystem::create_directories(App + "data/lng/en");
        SetAppFolder(App.c_str());
        SetLogFolder(Folder.path().c_str());
        GetDefaultEngineContext().ManifestLoaded = true;
        forget();
    }
    void TearDown() override
    {
        forget();
        GetDefaultEngineContext().ManifestLoaded = false;
        GetDefaultEngineContext().DebugMode = 0;
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
        ClearNativePathCache();
    }

    // What the engine's cache clearing empties, and the languages.
    void forget()
    {
        GetLngCache().RemoveAll();
        GetIniCache().Clear();
        ClearTextFileCache();
        SetLanguages("", "");
    }

    // Mounted folders list their files when mounted: write first, then mount.
    void mountData() { ASSERT_TRUE(Fs.mount(App + "data/", true)); }
    void write(const std::string& name, const std::string& content) const { Folder.write("app/data/" + name, content); }
    std::string read(const std::string& name) const { return Folder.read("app/data/" + name); }

    CTempFolder Folder;
    std::string App;
    CNullFileSystem Fs;
    CMessageBoxRecorder Boxes;
};

} // namespace

TEST(LanguageText, LineBreakMarksAreDecoded)
{
    struct { const char* text; const char* decoded; } cases[] = {
        {"Hello<br>World", "Hello\nWorld"},
        {"a<brr>b", "a\r\nb"},
        {"one\\ntwo", "one\ntwo"},
        {"<br><brr>\\n", "\n\r\n\n"},
        {"plain", "plain"},
    };
    for (const auto& c : cases) {
        CString text = c.text;
        DecodeLngText(text);
        EXPECT_EQ(str(text), c.decoded) << c.text;
    }
}

TEST_F(LanguageTableTest, ValuesAreFoundInAnyKeyCaseAndDecoded)
{
    // An editor's byte-order mark before the first key hides nothing.
    write("strings.lng", "\xEF\xBB\xBFtitle=My Game\nGreeting=Hello<br>World\nempty=\n");
    mountData();
    SetLanguages("en", "en");
    EXPECT_EQ(str(GetLng("TITLE", "fallback")), "My Game");
    EXPECT_EQ(str(GetLng("greeting")), "Hello\nWorld");
    EXPECT_EQ(str(GetLng("missing")), "");   // no default, nothing appended
    EXPECT_EQ(str(GetLngText("missing")), "missing");
    EXPECT_EQ(str(GetLngText("title")), "My Game");
    EXPECT_EQ(read("strings.lng"), "\xEF\xBB\xBFtitle=My Game\nGreeting=Hello<br>World\nempty=\n");
}

TEST_F(LanguageTableTest, MissingKeysFallBackAndAreAppendedOnce)
{
    write("strings.lng", "title=My Game\nempty=\n");
    mountData();
    SetLanguages("de", "en");
    EXPECT_EQ(str(GetLng("start", "Start\r\nnow")), "Start\r\nnow");
    EXPECT_EQ(str(GetLng("empty", "fallback")), "fallback");   // present, if empty: not appended again
    EXPECT_EQ(str(GetLng("gone", LngNoDefault)), "");
    EXPECT_EQ(read("strings.lng"), "title=My Game\nempty=\n\nstart=Start<brr>now\n");
    // A line the game maker adds as most tools do, without a line end in front.
    Folder.write("app/data/strings.lng", read("strings.lng") + "next=Next\n");
    forget();
    SetLanguages("de", "en");
    EXPECT_EQ(str(GetLng("start", "other")), "Start\r\nnow");   // read back from the table
    EXPECT_EQ(str(GetLng("next", "other")), "Next");
}

// A table that does not read whole as 8-bit text would be written back cut:
// it is left as it is, and the key's loss is logged once with the reason.
TEST_F(LanguageTableTest, MissingKeysAreNotAppendedToATableReadInPart)
{
    const char withNul[] = "GAME.TITLE=Spiel\nHELLO=Hallo\nNOTE=a\0b\nLATER=kept?\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("GAME.TITLE=Spiel\nHELLO=Hallo\n"))
        utf16 += std::string{c, '\0'};
    const struct {
        const char* Table;
        std::string Text;   // empty: a link to itself, which no one can read, root included
        const char* Why;
        std::uintmax_t Size = 0;   // else a sparse file too large to read, which root cannot read either
    } cases[] = {
        {"nul.lng", std::string(withNul, sizeof withNul - 1), "(it holds a NUL byte at offset 35)"},
        {"utf16.lng", utf16, "(it is UTF-16 text)"},
        {"loop.lng", "", "(it cannot be read)"},
        {"huge.lng", "", "(it cannot be read)", (std::uintmax_t(1) << 30) + 1},
    };
    for (const auto& c : cases) {
        if (c.Size) {
            write(c.Table, "");
            std::filesystem::resize_file(App + "data/" + c.Table, c.Size);
        } else if (c.Text.empty()) {
            std::filesystem::create_symlink(c.Table, App + "data/" + c.Table);
        } else {
            write(c.Table, c.Text);
        }
    }
    mountData();
    SetLanguages("de", "de");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Table);
        GetDebugLogBuffer()->Text.Empty();
        EXPECT_EQ(str(GetLngString("LATER", "fallback", nullptr, c.Table, nullptr)), "fallback");
        EXPECT_EQ(str(GetLngString("LATER", "fallback", nullptr, c.Table, nullptr)), "fallback");
        if (c.Size)
            EXPECT_EQ(std::filesystem::file_size(App + "data/" + c.Table), c.Size);
        else
            EXPECT_EQ(read(c.Table), c.Text);
        const std::string log = str(GetDebugLogBuffer()->Text);
        EXPECT_NE(log.find(std::string(c.Why) + ": key LATER not appended"), std::string::npos) << log;
        EXPECT_EQ(log.find("key LATER not appended"), log.rfind("key LATER not appended")) << log;
    }
}

TEST_F(LanguageTableTest, FolderTablesFallBackToTheDefaultLanguage)
{
    write("lng/en/menu.lng", "play=Play\n");
    write("lng/de/menu.lng", "quit=Beenden\n");
    mountData();
    SetLanguages("DE", "En");
    EXPECT_EQ(str(GetLngString("quit", "Quit", "lng\\", "menu", nullptr)), "Beenden");
    EXPECT_EQ(str(GetLngString("play", "Play!", "lng\\", "menu", nullptr)), "Play");
    EXPECT_EQ(str(GetLngString("help", "Help", "lng\\", "menu", nullptr)), "Help");
    EXPECT_EQ(str(GetLngString("quit", "Quit", "lng\\", "menu", "en")), "Quit");
    EXPECT_EQ(read("lng/de/menu.lng"), "quit=Beenden\n\nplay=Play\n\nhelp=Help\n");
    EXPECT_EQ(read("lng/en/menu.lng"), "play=Play\n\nhelp=Help\n\nquit=Quit\n");
}

TEST_F(LanguageTableTest, HashKeysAndValuesReadFiles)
{
    write("strings.lng", "help=##help.txt\n");
    write("intro.txt", "Welcome<br>in\r\n");
    write("help.txt", "first help");
    mountData();
    SetLanguages("en", "en");
    EXPECT_EQ(str(GetLng("#intro.txt")), "Welcome\nin\n");
    EXPECT_EQ(str(GetLng("help")), "first help");
    write("help.txt", "second help");
    ClearTextFileCache();
    EXPECT_EQ(str(GetLng("help")), "first help");   // cached
    GetDefaultEngineContext().DebugMode = 1;
    GetLngCache().RemoveAll();
    EXPECT_EQ(str(GetLng("help")), "second help");
    write("help.txt", "third help");
    ClearTextFileCache();
    EXPECT_EQ(str(GetLng("help")), "third help");   // not cached in debug mode
}

TEST_F(LanguageTableTest, WithoutAnyLanguageTheLookupEnds)
{
    write("strings.lng", "title=Game\n");
    mountData();
    EXPECT_EQ(str(GetLng("title")), "Game");
    EXPECT_EQ(str(GetLng("absent", "Default")), "Default");
    SetLanguages("de", "");   // an empty default language must not mean "the current one" again
    EXPECT_EQ(str(GetLng("absent", "Other")), "Default");
    EXPECT_EQ(str(GetLng("new", "Neu")), "Neu");
    SetLanguages("", "ru");
    EXPECT_EQ(str(GetLng("title")), "Game");
    EXPECT_STREQ(GetCurrentLanguage(), "ru");   // the default language became the current one
}

TEST_F(LanguageTableTest, LanguageCodesAreLowerCasedAndCut)
{
    SetLanguages("EN_us_and_a_long_tail", "RU");
    EXPECT_STREQ(GetCurrentLanguage(), "en_us_and_a_lon");
    EXPECT_STREQ(GetDefaultLanguage(), "ru");
    SetLanguages("de", nullptr);
    EXPECT_STREQ(GetDefaultLanguage(), "ru");
}

TEST_F(LanguageTableTest, PackedTablesAreNotWritten)
{
    ASSERT_TRUE(WritePak(Folder.file("lng.pak"), {{"packed/strings.lng", "a=1\n"}}));
    ASSERT_TRUE(Fs.mount(Folder.file("lng.pak")));
    SetLanguages("en", "en");
    EXPECT_EQ(str(GetLngForFile("a", "x", "packed\\menu.dlg")), "1");
    EXPECT_EQ(str(GetLngForFile("b", "bee", "packed\\menu.dlg")), "bee");
    EXPECT_FALSE(std::filesystem::exists(App + "data/packed"));
    FlushDebugLog(false);
    EXPECT_NE(str(GetDebugLogBuffer()->Text).find("packed\\strings.lng lies in an archive: key b not appended"),
              std::string::npos);
}

TEST_F(LanguageTableTest, TableOfADataFile)
{
    std::filesystem::create_directories(App + "data/dialogs");
    write("dialogs/strings.lng", "ok=OK here\n");
    write("dialogs/extra.lng", "ok=OK extra\n");
    mountData();
    SetLanguages("en", "en");
    EXPECT_EQ(str(GetLngForFile("ok", nullptr, "dialogs\\menu.dlg")), "OK here");
    EXPECT_EQ(str(GetLngForFile("ok", nullptr, "dialogs\\extra.lng")), "OK extra");
    EXPECT_EQ(str(GetLngForFile("ok", nullptr, (App + "data/dialogs/menu.dlg").c_str())), "OK here");
    EXPECT_EQ(str(GetLngForFile("new", "New", "dialogs\\menu.dlg")), "New");
    EXPECT_EQ(read("dialogs/strings.lng"), "ok=OK here\n\nnew=New\n");

    int asserts = 0;
    static int* counter = nullptr;
    counter = &asserts;
    AssertHook previous = SetAssertHook([](const char*, int, const char* expr) {
        if (std::string(expr) == "Error: Using lng data before manifest is loaded")
            ++*counter;
    });
    GetDefaultEngineContext().ManifestLoaded = false;
    GetLngForFile("ok", nullptr, "dialogs\\menu.dlg");
    SetAssertHook(previous);
    EXPECT_EQ(asserts, 1);
}
