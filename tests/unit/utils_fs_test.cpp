// Folders, paths, existence, command-line switches, the path bridge and
// mounted archives.
#include "utils_fs.h"

#include "archive_writer.h"
#include "msgbox_recorder.h"
#include "null_file_system.h"
#include "temp_folder.h"
#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs_bridge.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string str(const CString& text)
{
    return (const char*)text;
}

void makeFolder(const std::string& path)
{
    std::filesystem::create_directories(path);
}

void setArgs(std::vector<const char*> args)
{
    SetCommandLineArgs(int(args.size()), args.data());
}

int AssertCount = 0;
std::string LastAssert;
void countAssert(const char*, int, const char* expr)
{
    ++AssertCount;
    LastAssert = expr;
}

// A program folder of its own, the manifest loaded, boxes recorded and the
// debug log in the temporary folder.
class FileLayerTest : public testing::Test {
protected:
    void SetUp() override
    {
        App = Folder.path() + "App Folder/";
        makeFolder(App);
        SetAppFolder(App.c_str());
        SetLogFolder(Folder.path().c_str());
        GetDefaultEngineContext().ManifestLoaded = true;
        setArgs({"game"});
        ResetUserFolder();
        AssertCount = 0;
        PreviousAssertHook = SetAssertHook(countAssert);
    }
    void TearDown() override
    {
        SetAssertHook(PreviousAssertHook);
        setArgs({"game"});   // no "-ul" switch may reach later tests
        ResetUserFolder();
        AppDataFolderName("");
        GetDefaultEngineContext().ManifestLoaded = false;
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
        ClearNativePathCache();
    }

    std::string logText() const { return str(GetDebugLogBuffer()->Text); }

    CTempFolder Folder;
    std::string App;
    CMessageBoxRecorder Boxes;
    AssertHook PreviousAssertHook = nullptr;
};

} // namespace

TEST_F(FileLayerTest, CommandLineSwitches)
{
    Folder.write("App Folder/ul.txt", "/from/file");
    Folder.write("elsewhere.txt", "elsewhere");
    std::string absoluteRef = "-ul=@" + Folder.file("elsewhere.txt");
    struct {
        std::vector<const char*> Args;
        const char* Name;
        bool Files;
        bool Found;
        const char* Value;
    } cases[] = {
        {{"game", "-UL"}, "ul", true, true, ""},                     // the appended blank ends it
        {{"game", "-ul", "folder"}, "ul", true, true, ""},          // a value needs "="
        {{"game", "/ul=a", "-ul=b"}, "ul", true, true, "b"},        // "-" is tried before "/"
        {{"game", "#Ul=MixedCase"}, "uL", true, true, "MixedCase"},
        {{"game", "-ul=/a b", "x=1"}, "ul", true, true, "/a b"},    // quoted by the rebuild
        {{"game", "-ul=\"/c d\""}, "ul", true, true, "/c d"},       // quoted already
        {{"game", "-other=1"}, "ul", true, false, ""},
        {{"game", "-ul=@ul.txt"}, "ul", true, true, "/from/file"},  // in the program folder
        {{"game", "-ul=@ul.txt"}, "ul", false, true, "@ul.txt"},
        {{"game", "-ul=@missing.txt"}, "ul", true, true, ""},
        {{"game", absoluteRef.c_str()}, "ul", true, true, "elsewhere"},
    };
    for (const auto& c : cases) {
        setArgs(c.Args);
        CString value = "stale";
        EXPECT_EQ(GetCommandLineSwitch(c.Name, value, c.Files), c.Found) << c.Args[1];
        EXPECT_EQ(str(value), c.Value) << c.Args[1];
    }
}

TEST_F(FileLayerTest, CommandLineTextQuotesArgumentsWithBlanks)
{
    setArgs({"/opt/my game/game", "-ul=/a b", "Width=800"});
    EXPECT_EQ(str(GetCommandLineText()), "\"/opt/my game/game\" -ul=\"/a b\" Width=800");
}

TEST_F(FileLayerTest, UserFolderFromTheSwitchIsCreatedWithItsParents)
{
    std::string wanted = Folder.path() + "Users/Deep/Player";
    std::string arg = "-ul=" + wanted;
    setArgs({"game", arg.c_str()});
    EXPECT_EQ(str(GetUserFolder()), wanted + "/");
    EXPECT_TRUE(std::filesystem::is_directory(wanted));

    // Fixed by the first call.
    setArgs({"game", "-ul=/somewhere/else"});
    EXPECT_EQ(str(GetUserFolder()), wanted + "/");
}

// What a player keeps is named exactly: "UserA" is not the "usera" beside it,
// and the profiles of "aaa" and "aaG" (pr_YWFh.ini, pr_YWFH.ini) are two files,
// also in a user folder that holds the program, where the game's data keeps
// the lookup without case. There the names each owner registered are exact.
TEST_F(FileLayerTest, UserFolderNamesAreUsedExactly)
{
    makeFolder(Folder.path() + "usera");
    Folder.write("usera/pr_YWFh.ini", "other folder");
    makeFolder(App + "Data");
    Folder.write("App Folder/Data/Title.PNG", "png");
    const std::string parent = Folder.path().substr(0, Folder.path().size() - 1);
    const struct {
        std::string Switch;
        std::string Folder;   // below the temporary folder
        bool HoldsProgram;
    } cases[] = {
        {"-ul=" + Folder.path() + "UserA", "UserA/", false},
        {"-ul=" + App, "App Folder/", true},
        {"-ul=" + parent, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Switch);
        setArgs({"game", c.Switch.c_str()});
        ResetUserFolder();
        const CString user = GetUserFolder();
        ASSERT_TRUE(std::filesystem::is_directory(Folder.path() + c.Folder));
        for (const char* name : {"pr_YWFh.ini", "hiscores_main.ini", "a_1_screenshot.bmp"})
            ASSERT_TRUE(WriteStringToFile(user + name, "lower"));
        for (const char* name :
             {"pr_YWFH.ini", "hiscores_Main.ini", "A_1_screenshot.bmp", "Game_options.ini", "Hiscores.ini"})
            ASSERT_TRUE(WriteStringToFile(user + name, "upper"));
        EXPECT_EQ(Folder.read(c.Folder + "pr_YWFh.ini"), "lower");
        EXPECT_EQ(Folder.read(c.Folder + "pr_YWFH.ini"), "upper");
        EXPECT_EQ(Folder.read(c.Folder + "hiscores_main.ini"), "lower");
        EXPECT_EQ(Folder.read(c.Folder + "a_1_screenshot.bmp"), "lower");
        EXPECT_EQ(Folder.read("usera/pr_YWFh.ini"), "other folder");
        CString text;
        EXPECT_FALSE(ReadFileToString(user + "PR_YWFH.INI", text));
        EXPECT_FALSE(ReadFileToString(user + "game_options.ini", text));
        EXPECT_FALSE(ReadFileToString(user + "hiscores.ini", text));
        EXPECT_FALSE(PathExistsOnDisk(user + "Pr_YWFh.ini"));
        // The game's data in the program folder is found in any case.
        EXPECT_TRUE(PathExistsOnDisk((App + "data/title.png").c_str()));
        // Files beside an exact user folder keep the lookup without case.
        if (!c.HoldsProgram) {
            EXPECT_TRUE(PathExistsOnDisk((Folder.path() + "USERA\\PR_YWFH.INI").c_str()));
        }
        for (const char* name : {"pr_YWFh.ini", "pr_YWFH.ini", "hiscores_main.ini", "hiscores_Main.ini",
                                 "a_1_screenshot.bmp", "A_1_screenshot.bmp", "Game_options.ini", "Hiscores.ini"})
            std::filesystem::remove(Folder.path() + c.Folder + name);
    }
}

TEST_F(FileLayerTest, UserFolderChoices)
{
    setenv("XDG_DATA_HOME", (Folder.path() + "xdg").c_str(), 1);
    std::string overlong = "-ul=/" + std::string(5000, 'x');
    Folder.write("App Folder/blank.txt", "\r\n");
    struct {
        std::vector<const char*> Args;
        bool MakeProfile;
        const char* AppData;
        std::string Expected;
        int Boxes;
    } cases[] = {
        {{"game", "-ul"}, false, "Game", App + "UserData/", 0},
        {{"game"}, true, "Game", App + "Profile/", 0},
        {{"game"}, false, "Studio\\Game", Folder.path() + "xdg/Studio\\Game/", 0},
        {{"game"}, false, "", Folder.path() + "xdg/", 1},            // "UserFolder not defined!"
        {{"game", overlong.c_str()}, false, "Game", Folder.path() + "xdg/Game/", 0},
        {{"game", "-ul=@blank.txt"}, false, "Game", App + "UserData/", 0},   // only a line end: no value
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(App + "Profile");
        if (c.MakeProfile)
            makeFolder(App + "Profile");
        setArgs(c.Args);
        AppDataFolderName(c.AppData);
        ResetUserFolder();
        Boxes.Boxes.clear();
        CString folder = GetUserFolder();
        EXPECT_EQ(str(folder), c.Expected);
        EXPECT_TRUE(PathExistsOnDisk(folder)) << c.Expected;
        ASSERT_EQ(int(Boxes.Boxes.size()), c.Boxes) << c.Expected;
        if (c.Boxes) {
            EXPECT_EQ(Boxes.Boxes[0].Text, "UserFolder not defined!");
        }
    }
    EXPECT_NE(logText().find("user folder of the command line is refused (too long)"), std::string::npos);
    unsetenv("XDG_DATA_HOME");
}

TEST_F(FileLayerTest, FailedUserFolderCreationIsLogged)
{
    setArgs({"game", "-ul=/proc/no/such/folder"});
    EXPECT_EQ(str(GetUserFolder()), "/proc/no/such/folder/");
    EXPECT_NE(logText().find("Cannot create the user folder /proc/no/such/folder"), std::string::npos);
}

TEST(FilePaths, PathParts)
{
    struct {
        const char* Path;
        int Drive, Dir, Name, Ext;
        const char* Expected;
    } cases[] = {
        {"http://x.org/a/b.png", 0, 0, 1, 0, "http://x.org/a/b.png"},
        {"HTTP://x.org/a/b.png", 1, 1, 0, 0, "HTTP://x.org/a/b.png"},
        {"::{20D04FE0}", 0, 0, 1, 0, "::{20D04FE0}"},
        {"c:\\a\\b.spr?x", 0, 0, 1, 1, "b.spr"},
        {"c:\\a\\b.spr?x", 1, 0, 0, 0, "c:"},
        {"c:\\a\\b.spr?x", 1, 1, 0, 0, "c:\\a\\"},
        {"data\\sub\\x.tar.gz", 0, 0, 0, 1, ".gz"},
        {"data\\sub\\x.tar.gz", 0, 0, 1, 0, "x.tar"},
        {"/opt/Game/data/a.png", 1, 1, 0, 0, "/opt/Game/data/"},
        {"data/sub\\a", 0, 1, 0, 0, "data/sub\\"},
        {"a.b\\noext", 0, 0, 1, 1, "noext"},
        {"", 1, 1, 1, 1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(GetPathPart(c.Path, c.Drive, c.Dir, c.Name, c.Ext)), c.Expected) << c.Path;
    EXPECT_EQ(str(GetPathPart(nullptr, 1, 1, 1, 1)), "");
}

TEST(FilePaths, RelativePathsAndAppending)
{
    struct {
        const char* Path;
        const char* Base;
        const char* Expected;
    } cases[] = {
        {"\\scripts\\a.nut", "data\\x.nut", "scripts\\a.nut"},
        {"a.nut", "data\\sub\\x.nut", "data\\sub\\a.nut"},
        {"a.nut", "x.nut", "a.nut"},
        {"c:\\a.nut", "data\\x.nut", "c:\\a.nut"},
        {"/abs/a.nut", "data\\x.nut", "/abs/a.nut"},
        {"b\\a.nut", "/opt/Game/data/x.nut", "/opt/Game/data/b\\a.nut"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(ResolveRelativePath(c.Path, c.Base)), c.Expected) << c.Path;

    struct {
        const char* Path;
        const char* Part;
        const char* Expected;
    } appends[] = {
        {"", "a", "a"},
        {"data", "a", "data\\a"},
        {"data\\", "a", "data\\a"},
        {"/opt/game", "UserData", "/opt/game/UserData"},
        {"/opt/game/", "UserData", "/opt/game/UserData"},
    };
    for (const auto& c : appends) {
        CString path = c.Path;
        EXPECT_EQ(str(AppendPath(path, c.Part)), c.Expected);
        EXPECT_EQ(str(path), c.Expected);
    }
}

TEST_F(FileLayerTest, DataPaths)
{
    EXPECT_EQ(str(ResolveDataPath("\\sprites\\a.spr")), "sprites\\a.spr");
    EXPECT_EQ(str(ResolveDataPath("raw://-Texture:a.png")), "raw://-Texture:a.png");
    EXPECT_EQ(str(ResolveDataPath("/opt/a.png")), "/opt/a.png");
    EXPECT_EQ(str(ResolveScriptDataPath("\\a.nut")), "a.nut");
    EXPECT_EQ(str(MakeDataPath("sounds\\", "a.wav", 0)), "sounds\\a.wav");
    EXPECT_EQ(Boxes.Boxes.size(), 0u);

    std::string appSound = App + "sounds/x.wav";
    EXPECT_EQ(str(MakeSoundPath(appSound.c_str())), appSound);
    EXPECT_EQ(str(MakeSoundPath("click.wav")), "sounds\\click.wav");
    EXPECT_EQ(str(MakeMusicPath("theme.ogg")), "sounds\\music\\theme.ogg");
    std::string otherCase = Folder.path() + "APP FOLDER/x.wav";   // other capitals: relative
    EXPECT_EQ(str(MakeSoundPath(otherCase.c_str())), "sounds\\" + otherCase);
    EXPECT_EQ(AssertCount, 0);

    GetDefaultEngineContext().ManifestLoaded = false;
    EXPECT_EQ(str(ResolveDataPath("a.png")), "a.png");   // built all the same
    EXPECT_EQ(AssertCount, 1);
    EXPECT_EQ(LastAssert, "Error: Using pathing before manifest is loaded");
}

TEST_F(FileLayerTest, ExistenceOnDisk)
{
    std::string previous = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(Folder.path().c_str()), 0);
    makeFolder(Folder.path() + "Data/Sub");
    Folder.write("Data/Sub/A.png", "png");
    struct {
        const char* Path;
        bool Exists;
    } cases[] = {
        {"data\\sub\\a.png?v=2", true},
        {"DATA\\SUB\\A.PNG", true},
        {"data\\sub\\", true},
        {"data/sub/a.png", true},
        {"data\\sub\\b.png", false},
        {"?data", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExists(c.Path), c.Exists) << c.Path;
    EXPECT_EQ(str(GetExistingDataPath("\\data\\sub\\a.png")), "data\\sub\\a.png");
    EXPECT_EQ(str(GetExistingDataPath("data\\sub\\none.png")), "");
    EXPECT_EQ(PackedFileExists("data\\sub\\a.png"), 0);   // no file system yet
    ASSERT_EQ(chdir(previous.c_str()), 0);
}

TEST_F(FileLayerTest, FileWriteTimeIsUtc)
{
    Folder.write("t.txt", "x");
    struct timeval times[2] = {{1700000000, 0}, {1700000000, 250000}};   // 2023-11-14 22:13:20 UTC
    ASSERT_EQ(utimes(Folder.file("t.txt").c_str(), times), 0);
    SYSTEMTIME time;
    ASSERT_TRUE(GetFileWriteTime(Folder.file("T.TXT").c_str(), time));
    EXPECT_EQ(time.wYear, 2023);
    EXPECT_EQ(time.wMonth, 11);
    EXPECT_EQ(time.wDay, 14);
    EXPECT_EQ(time.wDayOfWeek, 2);
    EXPECT_EQ(time.wHour, 22);
    EXPECT_EQ(time.wMinute, 13);
    EXPECT_EQ(time.wSecond, 20);
    EXPECT_EQ(time.wMilliseconds, 250);
    EXPECT_FALSE(GetFileWriteTime(Folder.path().c_str(), time));   // a folder
    EXPECT_EQ(time.wYear, 0);
    EXPECT_FALSE(GetFileWriteTime(Folder.file("none.txt").c_str(), time));
}

TEST(FileScreen, FitResolutionToScreen)
{
    struct {
        int Width, Height, ScreenWidth, ScreenHeight, ExpectedWidth, ExpectedHeight;
    } cases[] = {
        {1024, 768, 1024, 600, 1024, 768},   // narrower than 1200: 1024 x 768
        {1024, 768, 800, 600, 800, 600},
        {1024, 768, 1600, 900, 1024, 768},   // fits
        {1280, 1024, 1600, 900, 1280, 1024}, // too tall, but a wide screen keeps it
        {800, 600, 640, 480, 800, 600},      // 801 and below never change
        {802, 600, 640, 480, 800, 600},
        {1024, 768, 0, 0, 1024, 768},        // unknown screen
    };
    for (const auto& c : cases) {
        int width = c.Width, height = c.Height;
        FitResolutionToScreenSize(width, height, c.ScreenWidth, c.ScreenHeight);
        EXPECT_EQ(width, c.ExpectedWidth) << c.Width << " on " << c.ScreenWidth;
        EXPECT_EQ(height, c.ExpectedHeight) << c.Width << " on " << c.ScreenWidth;
    }
}

TEST(PathBridge, NamesResolveWithoutRegardToCase)
{
    CTempFolder folder;
    makeFolder(folder.path() + "Data/Sub Folder");
    folder.write("Data/Sub Folder/Picture.PNG", "x");
    std::string root = folder.path();
    struct {
        std::string Name;
        std::string Expected;
    } cases[] = {
        {root + "data\\sub folder\\picture.png", root + "Data/Sub Folder/Picture.PNG"},
        {root + "DATA//SUB FOLDER/", root + "Data/Sub Folder/"},
        {root + "data\\new\\File.txt", root + "Data/new/File.txt"},   // missing parts as written
        {root + "Data/Sub Folder/Picture.PNG", root + "Data/Sub Folder/Picture.PNG"},
        {root + "data\\sub folder\\picture.png . ", root + "Data/Sub Folder/Picture.PNG"},   // dropped as Windows does
        {root + "data\\none\\..\\sub folder\\.\\picture.png", root + "Data/Sub Folder/Picture.PNG"},   // folded unseen
        {root + "data\\..\\data\\..\\..\\" + "x.txt", std::filesystem::path(root).parent_path().parent_path().string() + "/x.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(str(ToNativePath(c.Name.c_str())), c.Expected);

    // A file made after the folder was looked into is still found.
    folder.write("Data/Later.txt", "x");
    EXPECT_EQ(str(ToNativePath((root + "data\\later.TXT").c_str())), root + "Data/Later.txt");
    EXPECT_EQ(str(ToArchiveName(".\\.\\a\\\\b/c")), "a/b/c");
    EXPECT_EQ(str(ToArchiveName("sprites\\sub\\..\\.\\plain.spr")), "sprites/plain.spr");
    EXPECT_EQ(str(ToArchiveName("gui\\..\\..\\gui\\button.png")), "../gui/button.png");   // above the data: found nowhere
    EXPECT_EQ(str(ToArchiveName("/a/../../b/")), "/b/");
    EXPECT_EQ(str(ToNativePath("")), "");
    ClearNativePathCache();
}

TEST(PathBridge, WritesReuseAFileOfAnotherCase)
{
    CTempFolder folder;
    makeFolder(folder.path() + "Profiles");
    folder.write("Profiles/Player.ini", "old");
    std::string windowsName = folder.path() + "profiles\\PLAYER.INI";
    ASSERT_TRUE(WriteStringToFile(windowsName.c_str(), "new"));
    EXPECT_EQ(folder.read("Profiles/Player.ini"), "new");
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path() + "Profiles"))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
    CString text;
    ASSERT_TRUE(ReadFileToString(windowsName.c_str(), text));
    EXPECT_EQ(str(text), "new");
    ClearNativePathCache();
}

TEST(MountedArchives, SameDataThroughAnyCaseAndSeparator)
{
    CTempFolder folder;
    makeFolder(folder.path() + "Tree/Sprites");
    folder.write("Tree/Sprites/Folder.SPR", "from folder");
    ASSERT_TRUE(WriteStoredZip(folder.file("pack.zip"), {{"Zipped/Inside.TXT", "from zip"}}));
    ASSERT_TRUE(WritePak(folder.file("pack.pak"), {{"Paked/Inside.Nut", "from pak"}}));

    CNullFileSystem fs;
    ASSERT_TRUE(fs.mount(folder.path() + "Tree", true));
    ASSERT_TRUE(fs.mount(folder.file("pack.zip")));
    ASSERT_TRUE(fs.mount(folder.file("pack.pak")));
    struct {
        const char* Name;
        const char* Content;
    } cases[] = {
        {"sprites\\folder.spr", "from folder"}, {"SPRITES/FOLDER.SPR", "from folder"},
        {"Sprites\\\\Folder.SPR", "from folder"}, {"zipped\\inside.txt", "from zip"},
        {"ZIPPED/INSIDE.TXT", "from zip"},        {".\\zipped\\Inside.TXT", "from zip"},
        {"paked\\inside.nut", "from pak"},        {"PAKED/INSIDE.NUT", "from pak"},
        {"sprites\\folder.spr  ", "from folder"},  {"zipped\\inside.txt.", "from zip"},
        {"sprites\\sub\\..\\folder.spr", "from folder"},   {"zipped\\..\\paked\\.\\inside.nut", "from pak"},
    };
    for (const auto& c : cases) {
        CString text;
        EXPECT_TRUE(FileExists(c.Name)) << c.Name;
        EXPECT_NE(PackedFileExists(c.Name), 0) << c.Name;
        EXPECT_TRUE(ReadFileToString(c.Name, text)) << c.Name;
        EXPECT_EQ(str(text), c.Content) << c.Name;
    }
    CString text = "kept";
    EXPECT_FALSE(ReadFileToString("zipped\\missing.txt", text));
    EXPECT_EQ(str(text), "kept");
    EXPECT_FALSE(FileExists("zipped\\missing.txt"));
    EXPECT_FALSE(FileExists("sprites\\..\\..\\sprites\\folder.spr"));   // climbs above the data

    // A plain disk file whose name differs in case goes through the file system too.
    std::string otherCase = folder.path() + "TREE\\sprites\\folder.spr";
    EXPECT_TRUE(ReadPackedFile(otherCase.c_str(), text));
    EXPECT_EQ(str(text), "from folder");
    ClearNativePathCache();
}
