// What the real program leaves in the user folder after a run, byte for byte:
// the player profile with its key lines, option lines and saved script table,
// the options file with the active and past profiles, the score table; and
// what it leaves alone when nothing changed.
#include "acceptance_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace acceptance;
using sample::contains;

namespace {

const char* const ProfileDefaults =
    "AppDataFolder=AccGame\n"
    "Fullscreen=0\n"
    "CursorFace=1\n"
    "EffectsVolume=0.8\n"
    "MusicVolume=0.6\n"
    "XResolution=640\n"
    "YResolution=0\n"
    "Language=en\n";

// The profile of "Tester" as the script below leaves it.
const char* const TesterProfile =
    "Fullscreen=0\n"
    "CursorFace=1\n"
    "EffectsVolume=0.80\n"
    "MusicVolume=0.60\n"
    "XResolution=800\n"
    "YResolution=600\n"
    "Language=en\n"
    "TooltipShowed=\n"
    "\n"
    "Option[name]=Bob\n"
    "OptionStrB64[tricky]=YV1iCmM=\n"
    "OptionLong[count]=-3\n"
    "OptionDouble[speed]=2.50\n"
    "\n\n<ScriptSafe>\n"
    "<0_type val=\"167772192\"/>\n"
    "<0_table>\n"
    "\t<0_0_slot>\n"
    "\t<1_type val=\"134217744\"/><1_str>k</1_str><2_type val=\"134217744\"/><2_strB64>bGluZQpicmVhaw==</2_strB64>\n"
    "\t</0_0_slot>\n"
    "</0_table><0_table_len val=\"1\"/>"
    "\n</ScriptSafe>\n";

const char* const SetTesterOptions =
    "whenPlaying(function() {\n"
    "  core_SetProfileOption(\"name\", \"Bob\");\n"
    "  core_SetProfileOption(\"count\", -3);\n"
    "  core_SetProfileOption(\"speed\", 2.5);\n"
    "  core_SetProfileOption(\"tricky\", \"a]b\\nc\");\n"
    "  core_GetProfileObject(true).k <- \"line\\nbreak\";\n"
    "});\n";

const char* const ReadTesterOptions =
    "whenPlaying(function() {\n"
    "  local table = core_GetProfileObject();\n"
    "  save(\"read.txt\", core_GetProfileOptionS(\"name\") + \"|\" + core_GetProfileOptionS(\"tricky\") + \"|\" +\n"
    "       core_GetProfileOptionN(\"count\") + \"|\" + core_GetProfileOptionF(\"speed\") + \"|\" +\n"
    "       (\"k\" in table ? table.k : \"(none)\"));\n"
    "});\n";

TEST(AcceptancePersistence, ProfileFileIsWrittenExactlyAndRestoredNextRun)
{
    GameDir game;
    game.write(std::string(ProfileDefaults) + "ActiveProfile=Tester\n", SetTesterOptions);
    SRun first = game.run({});
    ASSERT_EQ(first.ExitCode, 0) << game.trace(first);
    EXPECT_EQ(game.user("pr_VGVzdGVy.ini"), TesterProfile);

    game.put("data/scripts/startup.nut", scriptPrelude() + ReadTesterOptions);
    SRun second = game.run({});
    ASSERT_EQ(second.ExitCode, 0) << game.trace(second);
    EXPECT_EQ(game.get("read.txt"), "Bob|a]b\nc|-3|2.5|line\nbreak");
}

// Every user under a locale that writes decimal commas still gets dots, and
// reads them back: the program never takes the numeric locale.
TEST(AcceptancePersistence, FloatsKeepTheirPointUnderACommaLocale)
{
    GameDir game;
    fs::path locales = game.Root / "locales";
    fs::create_directories(locales);
    std::string build = "localedef -i de_DE -f UTF-8 " + (locales / "de_DE.UTF-8").string() + " >/dev/null 2>&1";
    if (std::system(build.c_str()) != 0)
        GTEST_SKIP() << "cannot build a de_DE locale here";
    game.setEnv("LOCPATH", locales.string());
    game.setEnv("LC_ALL", "de_DE.UTF-8");
    game.setEnv("LANG", "de_DE.UTF-8");
    game.write(std::string(ProfileDefaults) + "ActiveProfile=Tester\n", SetTesterOptions);
    SRun first = game.run({});
    ASSERT_EQ(first.ExitCode, 0) << game.trace(first);
    EXPECT_EQ(game.user("pr_VGVzdGVy.ini"), TesterProfile);

    game.put("data/scripts/startup.nut", scriptPrelude() + ReadTesterOptions);
    ASSERT_EQ(game.run({}).ExitCode, 0);
    EXPECT_EQ(game.get("read.txt"), "Bob|a]b\nc|-3|2.5|line\nbreak");
}

TEST(AcceptancePersistence, UnchangedProfileIsNotWrittenAtExit)
{
    GameDir game;
    game.write(std::string(ProfileDefaults) + "ActiveProfile=Tester\n", SetTesterOptions);
    ASSERT_EQ(game.run({}).ExitCode, 0);
    // A line the program would drop if it wrote the file again.
    std::string marked = std::string(TesterProfile) + "Untouched=1\n";
    sample::writeFile(game.userFolder() / "pr_VGVzdGVy.ini", marked);

    game.put("data/scripts/startup.nut", scriptPrelude() + ReadTesterOptions);
    SRun reading = game.run({});
    ASSERT_EQ(reading.ExitCode, 0) << game.trace(reading);
    EXPECT_EQ(game.user("pr_VGVzdGVy.ini"), marked);

    // A change writes it anew, without the stray line.
    game.put("data/scripts/startup.nut",
             scriptPrelude() + "whenPlaying(function() { core_SetProfileOption(\"count\", 4); });\n");
    ASSERT_EQ(game.run({}).ExitCode, 0);
    std::string rewritten = game.user("pr_VGVzdGVy.ini");
    EXPECT_FALSE(contains(rewritten, "Untouched")) << rewritten;
    EXPECT_TRUE(contains(rewritten, "\nOptionLong[count]=4\n")) << rewritten;
}

// Switching players keeps the three most recent in place and moves any
// other to the front; each player's file has its exact name.
TEST(AcceptancePersistence, OptionsFileHoldsActiveAndPastProfiles)
{
    GameDir game;
    game.write(std::string(ProfileDefaults) + "ActiveProfile=Anna\nPastProfiles=Bob,Carl,Dora,Eve\n",
               "whenPlaying(function() {\n"
               "  core_SwitchProfile(\"Dora\");\n"
               "  core_SwitchProfile(\"Bob\");\n"
               "});\n");
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.user("game_options.ini"), "ActiveProfile=Bob\nPastProfiles=Dora,Anna,Bob,Carl,Eve\n");
    for (const char* file : {"pr_QW5uYQ.ini", "pr_RG9yYQ.ini", "pr_Qm9i.ini"})
        EXPECT_TRUE(fs::exists(game.userFolder() / file)) << file;
    EXPECT_FALSE(fs::exists(game.userFolder() / "pr_JERFRkFVTFRfUFJPRklMRSQ.ini"));

    // The next run starts with the options file, not game.ini.
    game.put("data/scripts/startup.nut",
             scriptPrelude() + "whenPlaying(function() { save(\"who.txt\", core_GetActiveProfileName()); });\n");
    ASSERT_EQ(game.run({}).ExitCode, 0);
    EXPECT_EQ(game.get("who.txt"), "Bob");
    EXPECT_EQ(game.user("game_options.ini"), "ActiveProfile=Bob\nPastProfiles=Dora,Anna,Bob,Carl,Eve\n");
}

// Deleting the active player takes it off the list and activates the one
// that followed it.
TEST(AcceptancePersistence, DeletingAPlayerActivatesTheNextOne)
{
    GameDir game;
    game.write(std::string(ProfileDefaults) + "ActiveProfile=Bee\nPastProfiles=Ay,Bee,Cee\n",
               "whenPlaying(function() {\n"
               "  core_DeleteProfile(\"Bee\");\n"
               "  save(\"who.txt\", core_GetActiveProfileName());\n"
               "});\n");
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("who.txt"), "Cee");
    EXPECT_EQ(game.user("game_options.ini"), "ActiveProfile=Cee\nPastProfiles=Ay,Cee\n");
    EXPECT_TRUE(fs::exists(game.userFolder() / "pr_Q2Vl.ini"));
}

TEST(AcceptancePersistence, DefaultPlayerAndUserFolderFromTheCommandLine)
{
    GameDir game;
    game.write(ProfileDefaults, "whenPlaying(function() {});\n");
    fs::path users = game.Root / "users here";
    SRun run = game.run({"-ul=" + users.string() + "/"});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_TRUE(fs::exists(users / "pr_JERFRkFVTFRfUFJPRklMRSQ.ini"));
    EXPECT_EQ(sample::readFile(users / "game_options.ini"),
              "ActiveProfile=$DEFAULT_PROFILE$\nPastProfiles=$DEFAULT_PROFILE$\n");
    EXPECT_FALSE(fs::exists(game.userFolder()));
}

// Without game.ini nothing names the folder under the user's data folder:
// the program says so and keeps its files in the data folder itself.
TEST(AcceptancePersistence, WithoutGameIniTheFilesGoToTheDataFolderItself)
{
    GameDir game;
    game.write("", "whenPlaying(function() {});\n");
    fs::remove(game.Root / "game.ini");
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_TRUE(contains(run.Stderr, "UserFolder not defined!")) << run.Stderr;
    EXPECT_TRUE(fs::exists(game.Root / "xdg" / "pr_JERFRkFVTFRfUFJPRklMRSQ.ini"));
    EXPECT_EQ(sample::readFile(game.Root / "xdg" / "game_options.ini"),
              "ActiveProfile=$DEFAULT_PROFILE$\nPastProfiles=$DEFAULT_PROFILE$\n");
}

std::vector<std::string> temporariesIn(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(".~save-", 0) == 0 || contains(name, ".tmp"))
            found.push_back(name);
    }
    return found;
}

// The disk is full at the second run: every file the game saves stays as
// the first run left it, whole, for a plain and a 185-character player name
// (whose file name comes close to the 255-byte limit), and no temporary
// file is left anywhere.
TEST(AcceptancePersistence, AFullDiskLeavesEverySavedFileWhole)
{
    const char* const script =
        "whenPlaying(function() {\n"
        "  local story = core_ReadFile(\"story.txt\");\n"
        "  core_SetProfileOption(\"count\", core_GetProfileOptionN(\"count\") + 1);\n"
        "  core_GetProfileObject(true).story <- story;\n"
        "  save(\"saved.txt\", story);\n"
        "});\n";
    for (const std::string& player : {std::string("Tester"), std::string(185, 'L')}) {
        SCOPED_TRACE(player.size());
        GameDir game;
        game.write(std::string(ProfileDefaults) + "ActiveProfile=" + player + "\n", script);
        game.put("story.txt", std::string(50, 'a'));
        SRun first = game.run({});
        ASSERT_EQ(first.ExitCode, 0) << game.trace(first);
        std::string profileName;
        for (const auto& entry : fs::directory_iterator(game.userFolder()))
            if (entry.path().filename().string().rfind("pr_", 0) == 0)
                profileName = entry.path().filename().string();
        const std::string profile = game.user(profileName);
        ASSERT_TRUE(contains(profile, "\nOptionLong[count]=1\n")) << profileName << "\n" << profile;
        ASSERT_TRUE(contains(profile, "</ScriptSafe>\n"));

        // The new texts pass the limit; the profile list stays below it.
        game.put("story.txt", std::string(5000, 'b'));
        game.FileSizeLimit = 1500;
        SRun second = game.run({});
        EXPECT_EQ(second.ExitCode, 0) << game.trace(second);
        EXPECT_EQ(game.user(profileName), profile);
        EXPECT_EQ(game.get("saved.txt"), std::string(50, 'a'));
        EXPECT_EQ(temporariesIn(game.userFolder()), std::vector<std::string>{});
        EXPECT_EQ(temporariesIn(game.Root), std::vector<std::string>{});
    }
}

// Started from another folder, as a terminal may start it, the game still
// takes relative names (a user folder on the command line, saved texts, the
// io library's files) in its own folder; and the temporaries that a killed
// save left are cleared at start, and nothing else.
TEST(AcceptancePersistence, StartedElsewhereTheGameKeepsToItsFolder)
{
    GameDir game;
    game.write(ProfileDefaults,
               "whenPlaying(function() {\n"
               "  save(\"rel.txt\", \"saved\");\n"
               "  local f = file(\"io.txt\", \"w\"); f.writen(65, 'c');\n"
               "});\n");
    game.StartFolder = game.Root / "elsewhere";
    fs::create_directories(game.StartFolder);
    const std::string stale = ".~save-2147483647-1.tmp";   // of a process that cannot exist
    game.put("saves/" + stale, "cut");
    game.put(stale, "cut");
    game.put("saves/notes.tmp", "mine");
    SRun run = game.run({"-ul=saves"});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("rel.txt"), "saved");
    EXPECT_EQ(game.get("io.txt"), "A");
    EXPECT_TRUE(game.has("saves/pr_JERFRkFVTFRfUFJPRklMRSQ.ini"));
    EXPECT_TRUE(fs::is_empty(game.StartFolder));
    EXPECT_FALSE(game.has("saves/" + stale));
    EXPECT_FALSE(game.has(stale));
    EXPECT_EQ(game.get("saves/notes.tmp"), "mine");
}

// Loading never marks the table changed, so a run that adds no score writes
// no score file; a missing table only leaves the seed copy of the shipped one.
TEST(AcceptancePersistence, ScoreTableIsSeededWhenMissingAndNotWrittenUnchanged)
{
    GameDir game;
    game.write(ProfileDefaults, "whenPlaying(function() {});\n");
    ASSERT_EQ(game.run({}).ExitCode, 0);
    EXPECT_TRUE(fs::exists(game.userFolder() / "hiscores_main.ini"));
    EXPECT_EQ(game.user("hiscores_main.ini"), "");
    EXPECT_FALSE(fs::exists(game.userFolder() / "hiscores.ini"));

    GameDir shipped;
    shipped.write(ProfileDefaults, "whenPlaying(function() {});\n");
    const std::string table = "Line0=1;000000FF;-5;Ann\nLine0_internals=lvl=3\nLine1=0;00000001;-5;Bo\n";
    shipped.put("hiscores.ini", table);
    ASSERT_EQ(shipped.run({}).ExitCode, 0);
    EXPECT_FALSE(fs::exists(shipped.userFolder() / "hiscores.ini"));
    EXPECT_FALSE(fs::exists(shipped.userFolder() / "hiscores_main.ini"));
    EXPECT_EQ(shipped.get("hiscores.ini"), table);
}

} // namespace
