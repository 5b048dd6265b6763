// The option text: game.ini, command-line overrides, the manifest's extra
// lines; the game options and the profile names in game_options.ini.
#include "module_userprofile.h"

#include "null_file_system.h"
#include "server_game_manifest.h"
#include "user_folder_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const MinimalManifestHead =
    "<Manifest>\n<Fonts></Fonts>\n<Cursors></Cursors>\n<AtlasLists></AtlasLists>\n"
    "<Materials></Materials>\n<ParticleGroups></ParticleGroups>\n";

class OptionsTest : public UserFolderTest {
protected:
    void TearDown() override
    {
        CManifest::stored().clear();
        setArgs({});
        UserFolderTest::TearDown();
    }

    static void setArgs(std::vector<const char*> args)
    {
        args.insert(args.begin(), "/opt/game/game");
        SetCommandLineArgs(int(args.size()), args.data());
    }

    std::string userFile(const std::string& name) const { return "Profile/" + name; }
};

TEST_F(OptionsTest, CommandLineOverridesOnlyTheirOwnKey)
{
    struct Case {
        const char* ini;
        std::vector<const char*> args;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"Debug=0\n", {"Debug=1"}, "Debug", "1"},
        {"Debug=0\n", {"Debug="}, "Debug", "0"},              // no value: ignored
        {"Debug=0\n", {"=1"}, "Debug", "0"},
        {"a=1\n", {"a=b=c"}, "a", "1"},                       // three parts: ignored
        {"Debug=0\n", {"Debug==2"}, "Debug", "2"},            // "==" counts as one
        {"Debug=0\n", {"Debug=1", "Debug=2"}, "Debug", "2"},  // the later override wins
        {"Sound=1\nSoundFx=1\n", {"Sound=0"}, "SoundFx", "1"},
        {"Sound=1\nSoundFx=1\n", {"Sound=0"}, "Sound", "0"},
        {"Debug=1\nDebugLineFormat=x\n", {"Debug=0"}, "DebugLineFormat", "x"},
        {"Key=first\nKey=second\n", {}, "Key", "first"},      // the first line counts
        {"Key = spaced\n", {}, "Key", ""},                    // the key runs up to "="
        {"LongKey=1\n", {}, "Key", ""},                       // never the tail of a longer key
        {"", {"Fresh=7"}, "Fresh", "7"},
        {"Value=  padded \r\n", {}, "Value", "padded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ini) + " / " + c.key);
        App.write("game.ini", c.ini);
        setArgs(c.args);
        CUserProfileModule options;
        EXPECT_EQ(std::string(options.getOption(c.key, false)), c.expected);
    }
}

TEST_F(OptionsTest, OptionTextIsFramedAndCommentsOutOverriddenLines)
{
    App.write("game.ini", "A=1\nB=2\nBB=3");
    setArgs({"B=9", "-ul", "plain"});
    CUserProfileModule options;
    EXPECT_EQ(std::string(options.loadOptionText()), "\nA=1\n//B=2\nBB=3\n\nB=9\n");
}

TEST_F(OptionsTest, MissingGameIniReadsEverythingAsEmpty)
{
    CUserProfileModule options;
    EXPECT_EQ(std::string(options.loadOptionText()), "\n\n");
    EXPECT_TRUE(options.getOption("Debug", false).IsEmpty());
    options.loadGameOptions();
    EXPECT_EQ(options.Debug, 0);
    EXPECT_EQ(options.LogLevel, 0);
    EXPECT_EQ(options.Sound, 1);
    EXPECT_EQ(options.BitsPerPixel, 32);
    EXPECT_EQ(options.Renderer, 3);
    EXPECT_EQ(std::string(options.Version), "");
}

TEST_F(OptionsTest, LowerCaseLookupIgnoresTheCaseOfKeyAndText)
{
    App.write("game.ini", "VFSPak_1=Data\\Music.PAK\n");
    CUserProfileModule options;
    EXPECT_EQ(std::string(options.getOption("vfspak_1", true)), "data\\music.pak");
    EXPECT_EQ(std::string(options.getOption("VFSPAK_1", true)), "data\\music.pak");
    EXPECT_TRUE(options.getOption("vfspak_1", false).IsEmpty());
    EXPECT_EQ(std::string(options.getOption("VFSPak_1", false)), "Data\\Music.PAK");
}

TEST_F(OptionsTest, GameOptionsTakeTheirValuesAndDefaults)
{
    struct Case {
        const char* ini;
        int debug, logLevel, hiQuality, renderer, sound, antialiasing, vsync, bits;
    };
    const Case cases[] = {
        {"Debug=1\nLogLevel=2\nHiQuality=1\nRenderer=5\nSound=0\nAntialiasing=1\nVSync=1\nBitsPerPixel=16\n",
         1, 2, 1, 3, 0, 1, 1, 16},
        {"BitsPerPixel=0\nSound=\n", 0, 0, 0, 3, 1, 0, 0, 32},
        {"BitsPerPixel=6\nSound=2\n", 0, 0, 0, 3, 2, 0, 0, 32},
        {"BitsPerPixel=7\nDebug=+3\n", 3, 0, 0, 3, 1, 0, 0, 7},
        {"BitsPerPixel=24bit\nLogLevel=x\n", 0, 0, 0, 3, 1, 0, 0, 24},
        {"Renderer=2\n", 0, 0, 0, 2, 1, 0, 0, 32},    // the software driver is chosen directly
        {"Renderer=1\n", 0, 0, 0, 3, 1, 0, 0, 32},
        {"Renderer=0\n", 0, 0, 0, 3, 1, 0, 0, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        App.write("game.ini", c.ini);
        CUserProfileModule options;
        options.loadGameOptions();
        EXPECT_EQ(options.Debug, c.debug);
        EXPECT_EQ(options.LogLevel, c.logLevel);
        EXPECT_EQ(options.HiQuality, c.hiQuality);
        EXPECT_EQ(options.Renderer, c.renderer);
        EXPECT_EQ(options.Sound, c.sound);
        EXPECT_EQ(options.Antialiasing, c.antialiasing);
        EXPECT_EQ(options.VSync, c.vsync);
        EXPECT_EQ(options.BitsPerPixel, c.bits);
        EXPECT_EQ(options.SoftwareRenderer, 0);
    }
}

TEST_F(OptionsTest, VersionIsLoggedWithTheFootprintBelowLogLevelOne)
{
    int state = 10;
    CString footprint = "build-42";
    App.write("game.ini", "Version=1.2b\nAppDataFolder=Studio\\Game\n");
    CUserProfileModule options;
    options.attachEngine(&state, &footprint);
    options.loadGameOptions();
    EXPECT_EQ(std::string(options.Version), "1.2b");
    EXPECT_EQ(std::string(AppDataFolderName(nullptr)), "Studio\\Game");
    ASSERT_NE(GetDebugLogBuffer(), nullptr);
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("Version:1.2b, Footprint:build-42"), std::string::npos);

    SetLogFolder(App.path().c_str());
    App.write("game.ini", "Version=2\nLogLevel=1\n");
    CUserProfileModule quiet;
    quiet.loadGameOptions();
    EXPECT_EQ(std::string(GetDebugLogBuffer()->Text).find("Version:"), std::string::npos);
    AppDataFolderName("");
}

TEST_F(OptionsTest, ManifestLinesJoinOnceFromStateHundredAndCountLast)
{
    std::filesystem::create_directories(App.file("data"));
    App.write("data/manifest.xml", std::string(MinimalManifestHead) +
                                       "<AdditionalIniOptions>Extra=1\nDebug=5\nTail=2</AdditionalIniOptions>\n"
                                       "</Manifest>\n");
    App.write("game.ini", "Debug=0\n");
    CNullFileSystem device;   // the manifest is read through the device's XML reader
    int state = 10;
    CUserProfileModule options;
    options.attachEngine(&state, nullptr);
    EXPECT_TRUE(options.getOption("Extra", false).IsEmpty());
    state = 100;
    EXPECT_EQ(std::string(options.getOption("Extra", false)), "1");
    EXPECT_EQ(std::string(options.getOption("Debug", false)), "0");   // game.ini's line comes first
    EXPECT_TRUE(options.getOption("Tail", false).IsEmpty());          // no line feed after it
    state = 500;
    EXPECT_EQ(std::string(options.loadOptionText()), "\nDebug=0\n\nExtra=1\nDebug=5\nTail=2");
}

TEST_F(OptionsTest, ProfileNamesComeFromTheUserFileElseFromGameIni)
{
    struct Case {
        const char* userFile;   // null: no game_options.ini
        const char* ini;
        const char* active;
        std::vector<std::string> past;
    };
    const Case cases[] = {
        {nullptr, "Debug=0\n", "$DEFAULT_PROFILE$", {}},
        {nullptr, "ActiveProfile=Ann\nPastProfiles=Ann,,Bob\n", "Ann", {"Ann", "Bob"}},
        {"ActiveProfile=Cid\nPastProfiles=Cid\n", "ActiveProfile=Ann\n", "Cid", {"Cid"}},
        {"ActiveProfile=\nPastProfiles=\n", "ActiveProfile=Ann\n", "$DEFAULT_PROFILE$", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        std::filesystem::remove(App.file(userFile("game_options.ini")));
        if (c.userFile)
            App.write(userFile("game_options.ini"), c.userFile);
        App.write("game.ini", c.ini);
        CUserProfileModule options;
        options.loadGameOptions();
        EXPECT_EQ(std::string(options.ActiveProfile), c.active);
        ASSERT_EQ(options.PastProfiles.GetSize(), int(c.past.size()));
        for (size_t i = 0; i < c.past.size(); ++i)
            EXPECT_EQ(std::string(options.PastProfiles[int(i)]), c.past[i]);
    }
}

TEST_F(OptionsTest, GameOptionsFileRoundTripsByteForByte)
{
    App.write(userFile("game_options.ini"), "ActiveProfile=Old\nPastProfiles=Old\n");
    CUserProfileModule first;
    first.loadGameOptions();
    first.ActiveProfile = "Dana";
    first.PastProfiles.InsertAt(0, "Dana");
    first.saveGameOptions();
    const std::string written = App.read(userFile("game_options.ini"));
    EXPECT_EQ(written, "ActiveProfile=Dana\nPastProfiles=Dana,Old\n");

    CUserProfileModule second;
    second.loadGameOptions();
    EXPECT_EQ(std::string(second.ActiveProfile), "Dana");
    ASSERT_EQ(second.PastProfiles.GetSize(), 2);
    second.saveGameOptions();
    EXPECT_EQ(App.read(userFile("game_options.ini")), written);
}

}  // namespace
