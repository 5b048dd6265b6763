// Mutated user files: a player profile (pr_*.ini) with its script block,
// game_options.ini, hiscores.ini and game.ini, each first written by the
// engine itself, then damaged in seeded ways and read back. Reading never
// crashes, hangs or leaks, and leaves values the engine can use.
#include "module_userprofile.h"

#include "fake_engine_client.h"
#include "module_enginebase.h"
#include "module_highscores.h"
#include "msgbox_recorder.h"
#include "mutations.h"
#include "user_folder_fixture.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

const char* const GameIni =
    "Fullscreen=1\nCursorFace=2\nEffectsVolume=0.5\nMusicVolume=0.25\nXResolution=1024\nYResolution=768\n"
    "Language=en\nDebug=0\nLogLevel=1\nRenderer=3\nBitsPerPixel=32\nVersion=1.0\nVFSPak_1=sample.pak\n";

class RobustUserFiles : public QuietScriptTest {
protected:
    void SetUp() override
    {
        QuietScriptTest::SetUp();
        App.write("game.ini", GameIni);
    }
    std::string alertFile() const { return App.file("last_scriptcomp_error_alert.log"); }
    static bool inRange(float value, float low, float high) { return value >= low && value <= high; }

    CMessageBoxRecorder Boxes;
};

TEST_F(RobustUserFiles, MutatedProfilesLoadWithUsableValues)
{
    std::string seed;
    {
        CEngineBase engine;
        CUserProfile* profile = new CUserProfile("Seed");
        profile->Options.setString("title", "a]b\nc");
        profile->Options.setInt("level", 3);
        profile->Options.setFloat("speed", 1.5f);
        profile->markTooltipShowed("intro");
        profile->ScriptTable = SquirrelVM::RunScript(SquirrelVM::CompileBuffer(
            "return {a=1, s=\"x\\ny\", arr=[1,[2,{k=3}]], t={u=0.5}}", "seed"));
        profile->drop();
        seed = App.read("Profile/pr_U2VlZA.ini");
    }
    ASSERT_NE(seed.find("<ScriptSafe>"), std::string::npos);
    const std::vector<std::string> cases = MutateSeed(
        seed, 20, 140, {"\nOption[", "\nOptionStrB64[x]=@@@\n", "\nOptionLong[n]=99999999999999999999\n",
                        "\n<ScriptSafe>\n", "</ScriptSafe>", "<0_table_len val=\"2147483647\"/>",
                        "\nXResolution=-2147483648\n", "\nMusicVolume=1e39\n"});
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        CEngineBase engine;
        HSQUIRRELVM vm = SquirrelVM::GetVMPtr();
        if (!vm)
            return "no VM";
        const SQInteger top = sq_gettop(vm);
        App.write("Profile/pr_T2Rk.ini", cases[i]);
        CUserProfile* profile = new CUserProfile("Odd");
        profile->load();
        std::string fault;
        if (profile->ScriptTable.GetType() != OT_TABLE)
            fault = "the script table is not a table";
        else if (profile->XResolution <= 0 || profile->YResolution <= 0)
            fault = "resolution " + std::to_string(profile->XResolution) + "x" + std::to_string(profile->YResolution);
        else if (i == 0 && (profile->Options.getInt("level", 0) != 3 || profile->ScriptTable.GetInt("a") != 1))
            fault = "the unmutated profile lost its values";
        profile->drop();
        if (fault.empty() && sq_gettop(vm) != top)
            fault = "stack moved";
        return fault;
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Ended, 0);
}

TEST_F(RobustUserFiles, MutatedOptionsAndHighScoresLoadWithinTheirLimits)
{
    std::string optionsSeed, scoresSeed;
    App.write("hiscores.ini", "Line0=0;00000001;70;FromApp\n");
    {
        CUserProfileModule options;
        options.loadGameOptions();
        options.PastProfiles.RemoveAll();
        for (const char* name : {"Ann", "Bob", "$DEFAULT_PROFILE$"})
            options.PastProfiles.Add(name);
        options.ActiveProfile = "Bob";
        CHighScores& table = options.HighScores;
        ASSERT_NE(table.addEntry(500, "Ann", 70, "lvl=3"), 0);
        ASSERT_NE(table.addEntry(4000000000u, "Big", 5, nullptr), 0);
        options.saveGameOptions();
        optionsSeed = App.read("Profile/game_options.ini");
        scoresSeed = App.read("Profile/hiscores.ini");
    }
    ASSERT_FALSE(optionsSeed.empty());
    ASSERT_FALSE(scoresSeed.empty());
    std::vector<std::string> cases;
    for (const std::string& seed : {optionsSeed, scoresSeed, std::string(GameIni)}) {
        const std::vector<std::string> more = MutateSeed(
            seed, 21, 70, {"\nLine0=", "_internals=", "\nPastProfiles=", "\nActiveProfile=\n", ";;;;;;",
                           "\nLine7=1;FFFFFFFF;-1;" + std::string(3000, 'n') + "\n"});
        cases.insert(cases.end(), more.begin(), more.end());
    }
    const int perSeed = int(cases.size()) / 3;
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const int kind = i / perSeed;
        App.write("game.ini", kind == 2 ? cases[i] : GameIni);
        App.write("Profile/game_options.ini", kind == 0 ? cases[i] : optionsSeed);
        App.write("Profile/hiscores.ini", kind == 1 ? cases[i] : scoresSeed);
        CUserProfileModule options;
        options.loadGameOptions();
        for (int e = 0; e < CHighScores::EntryCount; ++e) {
            const SHighScoreEntry& entry = options.HighScores.getEntry(e);
            if (entry.Internals.GetLength() > CHighScores::MaxInternalsLength)
                return "internals of entry " + std::to_string(e) + " too long";
        }
        if (options.ActiveProfile.IsEmpty())
            return "no active profile";
        if (options.BitsPerPixel <= 0)
            return "bits per pixel " + std::to_string(options.BitsPerPixel);
        if (i == 0 && (options.PastProfiles.GetSize() != 3 || options.HighScores.getEntry(0).Score != 4000000000u))
            return "the unmutated files lost their values";
        // What was read is written again and reads back the same.
        options.saveGameOptions();
        CUserProfileModule again;
        again.loadGameOptions();
        if (again.PastProfiles.GetSize() != options.PastProfiles.GetSize())
            return "past profiles changed on a round trip";
        for (int e = 0; e < CHighScores::EntryCount; ++e)
            if (again.HighScores.getEntry(e).Score != options.HighScores.getEntry(e).Score)
                return "score " + std::to_string(e) + " changed on a round trip";
        return "";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Ended, 0);
}

}  // namespace
