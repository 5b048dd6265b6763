// Player profiles: the file text, defaults, loading edge cases, the script
// block, interrupted saves, the past-profile list and the engine's switching.
#include "module_userprofile.h"

#include "archive_writer.h"
#include "fake_engine_client.h"
#include "module_enginebase.h"
#include "msgbox_recorder.h"
#include "null_file_system.h"
#include "server_game_manifest.h"
#include "temp_folder.h"
#include "user_folder_fixture.h"
#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_lng.h"
#include "utils_str_parse.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Game data that leaves a line of its own in the file and records its calls.
class CRecordingProfileData : public CProfileData {
public:
    explicit CRecordingProfileData(std::vector<std::string>* calls) : Calls(calls) {}
    void onNewProfile(const CString&, CUserProfile*) override { Calls->push_back("new"); }
    void onLoad(const CString& text, CUserProfile*) override
    {
        Calls->push_back(std::string("load:") + (std::string(text).find("GameData=7") != std::string::npos ? "7" : "-"));
    }
    void onSave(CString& text, CUserProfile*) override { text += "GameData=7\n"; }
    void onActivate() override { Calls->push_back("activate"); }

    std::vector<std::string>* Calls;
};

class CProfileClient : public CFakeEngineClient {
public:
    CProfileData* createProfileData() override { return new CRecordingProfileData(&DataCalls); }
    std::vector<std::string> DataCalls;
};

class ProfileTest : public QuietScriptTest {
protected:
    std::vector<std::string> past(CEngineBase& engine) const
    {
        std::vector<std::string> names;
        for (int i = 0; i < engine.Options.PastProfiles.GetSize(); ++i)
            names.push_back((const char*)engine.Options.PastProfiles[i]);
        return names;
    }

    static void setPast(CEngineBase& engine, const std::vector<const char*>& names)
    {
        engine.Options.PastProfiles.RemoveAll();
        for (const char* name : names)
            engine.Options.PastProfiles.Add(name);
    }
};

const char* const GameIni =
    "Fullscreen=1\nCursorFace=2\nEffectsVolume=0.5\nMusicVolume=0.25\nXResolution=1024\nYResolution=768\n"
    "Language=en\n";

TEST_F(ProfileTest, FileNamesComeFromTheSafeBase64OfTheName)
{
    CEngineBase engine;
    CUserProfile* profile = new CUserProfile("$DEFAULT_PROFILE$");
    EXPECT_STREQ(profile->getFilePath("", 0), "pr_JERFRkFVTFRfUFJPRklMRSQ");
    EXPECT_EQ(std::string(profile->getFilePath("", 1)), App.file("Profile/pr_JERFRkFVTFRfUFJPRklMRSQ.ini"));
    EXPECT_STRNE(profile->getFilePath("ann", 0), profile->getFilePath("Ann", 0));
    EXPECT_STREQ(profile->getFilePath("J\xf6s\xe9", 0), "pr_SvZz6Q");   // 8-bit bytes as they are
    profile->drop();
}

TEST_F(ProfileTest, KnownProfileIsWrittenByteForByte)
{
    App.write("game.ini", GameIni);
    CEngineBase engine;
    CProfileClient* client = new CProfileClient;
    engine.setClient(client);
    client->drop();
    CUserProfile* profile = new CUserProfile("Dana");
    profile->Options.setString("plain", "x");
    profile->Options.setString("title", "a]b");
    profile->Options.setInt("level", 3);
    profile->Options.setFloat("speed", 1.5f);
    profile->ScriptTable = run("return {a = 1}");
    profile->drop();
    EXPECT_EQ(App.read("Profile/pr_RGFuYQ.ini"),
              "Fullscreen=1\nCursorFace=2\nEffectsVolume=0.50\nMusicVolume=0.25\nXResolution=1024\n"
              "YResolution=768\nLanguage=en\nTooltipShowed=\nGameData=7\n"
              "\nOption[plain]=x\nOptionStrB64[title]=YV1i\nOptionLong[level]=3\nOptionDouble[speed]=1.50\n"
              "\n\n<ScriptSafe>\n"
              "<0_type val=\"167772192\"/>\n<0_table>\n\t<0_0_slot>\n\t<1_type val=\"134217744\"/><1_str>a</1_str>"
              "<2_type val=\"83886082\"/><2_int val=\"1\"/>\n\t</0_0_slot>\n</0_table><0_table_len val=\"1\"/>"
              "\n</ScriptSafe>\n");
    EXPECT_EQ(client->DataCalls, (std::vector<std::string>{"new"}));
}

TEST_F(ProfileTest, NestedScriptTableAndSettingsRoundTrip)
{
    App.write("game.ini", GameIni);
    CEngineBase engine;
    CUserProfile* first = new CUserProfile("Round");
    first->MusicVolume = 0.75f;
    first->XResolution = 1280;
    first->Language = "de";
    first->Options.setString("multi", "line\nbreak");
    first->Options.setString("padded", " both\t");
    first->ScriptTable = run("return {level = 4, ratio = 0.5, done = false, name = \"<hero>\", cr = \"a\\rb\","
                             " none = null, items = [1, \"sword\", [2, 3]], map = {room = {x = -2, seen = true}}}");
    first->markTooltipShowed("intro");
    first->drop();

    CMessageBoxRecorder boxes;
    CUserProfile* second = new CUserProfile("Round");
    second->load();
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_EQ(second->getChangeCounter(), 0u);
    EXPECT_FLOAT_EQ(second->MusicVolume, 0.75f);
    EXPECT_EQ(second->XResolution, 1280);
    EXPECT_STREQ(second->Language, "de");
    EXPECT_STREQ(second->Options.getString("multi", ""), "line\nbreak");
    EXPECT_STREQ(second->Options.getString("padded", ""), " both\t");
    EXPECT_FALSE(second->shouldShowTooltip("intro"));
    EXPECT_TRUE(second->shouldShowTooltip("outro"));
    const SquirrelObject& t = second->ScriptTable;
    EXPECT_EQ(t.GetInt("level"), 4);
    EXPECT_FLOAT_EQ(t.GetFloat("ratio"), 0.5f);
    EXPECT_EQ(t.GetValue("done").GetType(), OT_BOOL);
    EXPECT_STREQ(t.GetString("name"), "<hero>");
    EXPECT_STREQ(t.GetString("cr"), "a\rb");
    EXPECT_TRUE(t.Exists("none"));
    EXPECT_EQ(t.GetValue("none").GetType(), OT_NULL);
    EXPECT_STREQ(t.GetValue("items").GetString(1), "sword");
    EXPECT_EQ(t.GetValue("items").GetValue(2).GetInt(1), 3);
    EXPECT_EQ(t.GetValue("map").GetValue("room").GetInt("x"), -2);
    EXPECT_TRUE(t.GetValue("map").GetValue("room").GetBool("seen"));

    // Nothing changed: the release writes nothing.
    std::filesystem::remove(App.file("Profile/pr_Um91bmQ.ini"));
    second->drop();
    EXPECT_FALSE(App.exists("Profile/pr_Um91bmQ.ini"));
}

// Whatever a script puts in an option neither opens nor ends the script
// block; a file written before such values were encoded still loads whole.
TEST_F(ProfileTest, OptionTextsNeverOpenTheScriptBlock)
{
    App.write("game.ini", GameIni);
    CEngineBase engine;
    const char* const names[] = {"a_note", "b_name", "gold", "speed"};
    auto expectOptions = [&](CUserProfile* profile) {
        EXPECT_STREQ(profile->Options.getString(names[0], "?"), "I like <ScriptSafe> tags");
        EXPECT_STREQ(profile->Options.getString(names[1], "?"), "Bob </ScriptSafe>");
        EXPECT_EQ(profile->Options.getInt(names[2], -1), 120);
        EXPECT_FLOAT_EQ(profile->Options.getFloat(names[3], -1.0f), 1.5f);
        EXPECT_EQ(profile->ScriptTable.GetInt("level"), 4);
        EXPECT_EQ(profile->Options.lookup("x<ScriptSafe>", nullptr, nullptr, nullptr), CCustomAttribs::TypeAbsent);
    };
    CUserProfile* profile = new CUserProfile("Tags");
    profile->Options.setString(names[0], "I like <ScriptSafe> tags");
    profile->Options.setString(names[1], "Bob </ScriptSafe>");
    profile->Options.setInt(names[2], 120);
    profile->Options.setFloat(names[3], 1.5f);
    profile->Options.setString("x<ScriptSafe>", "1");   // a name it cannot be written under
    profile->ScriptTable = run("return {level = 4}");
    profile->drop();
    const std::string saved = App.read("Profile/pr_VGFncw.ini");
    EXPECT_EQ(saved.find("<ScriptSafe>"), saved.find("\n<ScriptSafe>\n") + 1) << saved;
    for (int pass = 0; pass < 2; ++pass) {   // loaded, changed, saved and loaded again
        profile = new CUserProfile("Tags");
        profile->load();
        expectOptions(profile);
        profile->markChanged();
        profile->drop();
    }

    App.write("Profile/pr_VGFncw.ini", "Language=de\nOption[a_note]=I like <ScriptSafe> tags\nOption[b_name]=Bob\n"
                                       "OptionLong[gold]=120\nOptionDouble[speed]=1.50\n\n<ScriptSafe>\n"
                                       "</ScriptSafe>\n");
    profile = new CUserProfile("Tags");
    profile->load();
    EXPECT_STREQ(profile->Options.getString(names[0], "?"), "I like <ScriptSafe> tags");
    EXPECT_STREQ(profile->Options.getString(names[1], "?"), "Bob");
    EXPECT_EQ(profile->Options.getInt(names[2], -1), 120);
    profile->drop();
}

TEST_F(ProfileTest, NewProfilesTakeDefaultsAndAreWritten)
{
    struct Case {
        const char* ini;
        int width, height;
    };
    const Case cases[] = {
        {"XResolution=640\nYResolution=0\n", 800, 600},
        {"XResolution=99\nYResolution=700\n", 800, 600},
        {"XResolution=1024\nYResolution=768\n", 1024, 768},
        {"", 800, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        App.write("game.ini", c.ini);
        CEngineBase engine;
        CUserProfile* profile = new CUserProfile("New");
        EXPECT_EQ(profile->XResolution, c.width);
        EXPECT_EQ(profile->YResolution, c.height);
        EXPECT_EQ(profile->getChangeCounter(), 1u);
        profile->drop();
        EXPECT_TRUE(App.exists("Profile/pr_TmV3.ini"));
        std::filesystem::remove(App.file("Profile/pr_TmV3.ini"));
    }
}

TEST_F(ProfileTest, LoadingOddFilesGivesSafeValues)
{
    struct Case {
        const char* file;
        const char* language;
        int width;
        int scriptKeys;   // -1: only that the table exists
        int changes;
    };
    const Case cases[] = {
        {"Fullscreen=0\nXResolution=1024\nYResolution=768\n", "en", 1024, 0, 0},       // no block, no Language
        {"Language=fr\nXResolution=0\nYResolution=0\n", "fr", 800, 0, 0},
        {"Language=frOptionLong[x\nXResolution=1024\nYResolution=768\n", "en", 1024, 0, 0},   // would start an option
        {"\xEF\xBB\xBFLanguage=fr\nXResolution=1024\nYResolution=768\n", "fr", 1024, 0, 0},   // an editor's mark
        {"", "en", 1024, 0, 1},                                                       // empty: defaults, changed
        {"XResolution=1024\nYResolution=768\n<ScriptSafe>\ngarbage\n</ScriptSafe>\n", "en", 1024, 0, 0},
        {"XResolution=1024\nYResolution=768\n<ScriptSafe>\n<0_type val=\"83886082\"/><0_int val=\"5\"/>\n"
         "</ScriptSafe>\n", "en", 1024, 0, 0},                                         // not a table
        {"XResolution=1024\nYResolution=768\n<ScriptSafe>\n<0_type val=\"167772192\"/>\n<0_table>\n"
         "</0_table><0_table_len val=\"2147483647\"/>\n</ScriptSafe>\n", "en", 1024, 0, 0},
        {"XResolution=1024\nYResolution=768\n<ScriptSafe>\n<0_type val=\"167772192\"/>\n<0_tab", "en", 1024, 0,
         0},                                                                           // truncated
        {"XResolution=1024\nYResolution=768\nOption[ok]=1\n<ScriptSafe>\n<0_type val=\"167772192\"/>\n"
         "<0_table>\n\t<0_0_slot>\n\t<1_type val=\"134217744\"/><1_str>k</1_str><2_type val=\"134217744\"/>"
         "<2_str>\nOption[evil]=1</2_str>\n\t</0_0_slot>\n</0_table><0_table_len val=\"1\"/>\n</ScriptSafe>\n",
         "en", 1024, 1, 0},
    };
    App.write("game.ini", GameIni);
    CMessageBoxRecorder boxes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CEngineBase engine;
        App.write("Profile/pr_T2Rk.ini", c.file);
        CUserProfile* profile = new CUserProfile("Odd");
        profile->load();
        EXPECT_STREQ(profile->Language, c.language);
        EXPECT_EQ(profile->XResolution, c.width);
        ASSERT_EQ(profile->ScriptTable.GetType(), OT_TABLE);
        int keys = 0;
        SquirrelObject walk(profile->ScriptTable);
        if (walk.BeginIteration()) {
            SquirrelObject key, value;
            while (walk.Next(key, value))
                ++keys;
            walk.EndIteration();
        }
        EXPECT_EQ(keys, c.scriptKeys);
        EXPECT_EQ(profile->getChangeCounter(), irr::u32(c.changes));
        EXPECT_EQ(profile->Options.lookup("evil", nullptr, nullptr, nullptr), CCustomAttribs::TypeAbsent);
        profile->drop();
    }
}

// A profile, profile list or score table that is there but cannot be read
// is not taken for missing: the session runs on defaults, the player is
// told once per file, and no save replaces the file.
TEST_F(ProfileTest, UnreadableFilesAreKeptAndReportedOnce)
{
    App.write("game.ini", std::string(GameIni) + "ActiveProfile=Safe\nPastProfiles=Safe,Other\n");
    // Links to themselves: there, and unreadable even for root.
    const char* const files[] = {"pr_U2FmZQ.ini", "game_options.ini", "hiscores.ini"};
    for (const char* name : files)
        std::filesystem::create_symlink(name, App.file(std::string("Profile/") + name));
    CMessageBoxRecorder boxes;
    {
        CEngineBase engine;
        engine.Options.loadGameOptions();
        EXPECT_STREQ(engine.Options.ActiveProfile, "Safe");   // from game.ini, as when the list is missing
        for (int round = 0; round < 2; ++round) {
            engine.loadProfile("Safe");
            EXPECT_EQ(engine.getProfile()->Fullscreen, 1);
            engine.getProfile()->markChanged();
            engine.loadProfile("Other");
        }
        engine.loadProfile("Safe");
        EXPECT_GT(engine.Options.HighScores.addEntry(500, "Ann", 0, nullptr), 0);
        engine.Options.saveGameOptions();
    }
    for (const char* name : files)
        EXPECT_TRUE(std::filesystem::is_symlink(App.file(std::string("Profile/") + name))) << name;
    EXPECT_EQ(boxes.Boxes.size(), 3u);
    for (const char* name : files) {
        auto told = std::count_if(boxes.Boxes.begin(), boxes.Boxes.end(), [name](const SRecordedBox& box) {
            return box.Text.find(std::string(name) + ": Too many levels of symbolic links") != std::string::npos;
        });
        EXPECT_EQ(told, 1) << name;
    }
    EXPECT_TRUE(App.exists("Profile/pr_T3RoZXI.ini"));   // other files are saved as ever
}

// A NUL byte ends what is read: the options after it and the script table
// are damage, not absent, and the next save must not make their loss final.
TEST_F(ProfileTest, ProfileCutShortByANulByteIsKeptAndLogged)
{
    App.write("game.ini", std::string(GameIni) + "ActiveProfile=Safe\n");
    const std::string bytes("Fullscreen=0\nOptionLong[a]=1\n\0OptionLong[b]=2\n\n<ScriptSafe>\n</ScriptSafe>\n", 74);
    App.write("Profile/pr_U2FmZQ.ini", bytes);
    CMessageBoxRecorder boxes;
    {
        CEngineBase engine;
        engine.Options.loadGameOptions();
        engine.loadProfile("Safe");
        engine.getProfile()->Options.setInt("c", 3);
        engine.loadProfile("");
    }
    EXPECT_EQ(App.read("Profile/pr_U2FmZQ.ini"), bytes);
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("pr_U2FmZQ.ini: it holds a NUL byte at offset 29 of its 74 bytes"),
              std::string::npos)
        << GetDebugLogBuffer()->Text;
}

TEST_F(ProfileTest, PastProfileNamesAndRemoval)
{
    App.write("strings.lng", "");
    CEngineBase engine;
    setPast(engine, {"$DEFAULT_PROFILE$", "A"});
    EXPECT_STREQ(engine.Options.getPastProfileName(0, 0), "$DEFAULT_PROFILE$");
    EXPECT_STREQ(engine.Options.getPastProfileName(1, 1), "A");
    EXPECT_STREQ(engine.Options.getPastProfileName(2, 0), "");
    EXPECT_STREQ(engine.Options.getPastProfileName(-1, 0), "");

    struct Case {
        std::vector<const char*> list;
        const char* removed;
        int switchTo;
        std::vector<std::string> after;
        const char* active;   // null: the current profile is untouched
    };
    const Case cases[] = {
        {{"A", "B", "C"}, "B", 1, {"A", "C"}, "C"},   // C activated; among the first three it stays
        {{"A", "B", "C"}, "C", 1, {"A", "B"}, "A"},
        {{"A"}, "A", 1, {"A"}, nullptr},
        {{"A", "B"}, "$DEFAULT_PROFILE$", 0, {"A", "B"}, nullptr},
        {{"A", "B", "A"}, "A", 0, {"B"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.removed);
        setPast(engine, c.list);
        engine.loadProfile("");
        engine.Options.removePastProfile(c.removed, c.switchTo);
        EXPECT_EQ(past(engine), c.after);
        if (c.active) {
            ASSERT_NE(engine.CurrentProfile, nullptr);
            EXPECT_STREQ(engine.CurrentProfile->getName(), c.active);
        } else {
            EXPECT_EQ(engine.CurrentProfile, nullptr);
        }
    }
    engine.loadProfile("");
}

TEST_F(ProfileTest, LoadingAProfileUpdatesThePastList)
{
    struct Case {
        std::vector<const char*> list;
        const char* name;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {{"A", "B", "C", "D"}, "C", {"A", "B", "C", "D"}},
        {{"A", "B", "C", "D"}, "D", {"D", "A", "B", "C"}},
        {{"B", "A", "B"}, "B", {"B", "A"}},
        {{"$DEFAULT_PROFILE$", "A"}, "A", {"A"}},
        {{}, "A", {"A"}},
        {{"A", "", "B"}, "C", {"C", "A", "B"}},
        {{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}, "N",
         {"N", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}},
        {{"A"}, "  Smith, John ", {"Smith_ John", "A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CEngineBase engine;
        setPast(engine, c.list);
        engine.loadProfile(c.name);
        EXPECT_EQ(past(engine), c.after);
        std::string active = std::string(c.name) == "  Smith, John " ? "Smith_ John" : c.name;
        EXPECT_EQ(std::string(engine.Options.ActiveProfile), active);
        engine.loadProfile("");
    }
}

TEST_F(ProfileTest, UnusableNamesAreRefusedBeforeTheProfileIsDropped)
{
    CEngineBase engine;
    engine.loadProfile("Keeper");
    CUserProfile* keeper = engine.CurrentProfile;
    // 187 bytes make "pr_" + 250 base64 + ".ini": past the 255 a file name may have.
    const std::string tooLong(187, 'a');
    for (const char* name : {"???", "__", " ", "::**::", ",", tooLong.c_str()}) {
        SCOPED_TRACE(name);
        engine.loadProfile(name);
        EXPECT_EQ(engine.CurrentProfile, keeper);
        EXPECT_STREQ(engine.Options.ActiveProfile, "Keeper");
        EXPECT_EQ(past(engine), std::vector<std::string>{"Keeper"});
    }
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("refused: its profile file name would be too long"),
              std::string::npos);
    engine.loadProfile("");
    EXPECT_EQ(engine.CurrentProfile, nullptr);
    EXPECT_STREQ(engine.Options.ActiveProfile, "Keeper");
    EXPECT_TRUE(App.exists("Profile/pr_S2VlcGVy.ini"));   // released, so saved

    // A too long name kept as active by an older run gives way to the default player.
    engine.Options.ActiveProfile = tooLong.c_str();
    engine.loadProfile(engine.Options.ActiveProfile);
    EXPECT_STREQ(engine.getProfile()->getName(), "$DEFAULT_PROFILE$");

    // 186 bytes fill the 255 exactly, and that file is written.
    const std::string longest(186, 'a');
    engine.loadProfile(longest.c_str());
    ASSERT_NE(engine.CurrentProfile, nullptr);
    const CString file = engine.CurrentProfile->getFilePath("", 0) + ".ini";
    EXPECT_EQ(file.GetLength(), 255);
    engine.loadProfile("");
    EXPECT_TRUE(App.exists(std::string("Profile/") + (const char*)file));
}

TEST_F(ProfileTest, ProfilesAndPastListSurviveAnEngineRestart)
{
    App.write("game.ini", GameIni);
    {
        CEngineBase engine;
        CProfileClient* client = new CProfileClient;
        engine.setClient(client);
        client->drop();
        engine.Options.loadGameOptions();
        engine.loadProfile("Ann, Lee");
        engine.getProfile()->ScriptTable.SetValue("chapter", SQInteger(3));
        engine.getProfile()->Options.setInt("hard", 1);
        engine.loadProfile("Bob");
        engine.getProfile()->MusicVolume = 0.1f;
        engine.getProfile()->markChanged();
        EXPECT_EQ(client->DataCalls,
                  (std::vector<std::string>{"new", "load:-", "activate", "new", "load:-", "activate"}));
        engine.Options.saveGameOptions();
    }   // the engine's end saves Bob
    CEngineBase engine;
    CProfileClient* client = new CProfileClient;
    engine.setClient(client);
    client->drop();
    engine.Options.loadGameOptions();
    EXPECT_STREQ(engine.Options.ActiveProfile, "Bob");
    EXPECT_EQ(past(engine), (std::vector<std::string>{"Bob", "Ann_ Lee"}));
    engine.loadProfile(engine.Options.ActiveProfile);
    EXPECT_FLOAT_EQ(engine.getProfile()->MusicVolume, 0.1f);
    engine.loadProfile("Ann_ Lee");
    EXPECT_EQ(engine.getProfile()->ScriptTable.GetInt("chapter"), 3);
    EXPECT_EQ(engine.getProfile()->Options.getInt("hard", 0), 1);
    EXPECT_EQ(client->DataCalls.back(), "activate");
    EXPECT_EQ(client->DataCalls[client->DataCalls.size() - 2], "load:7");
}

TEST_F(ProfileTest, EngineEndSavesTheProfileEvenWhileOthersHoldIt)
{
    App.write("game.ini", GameIni);
    CEngineBase outer;   // the current engine again once the inner one is gone
    CUserProfile* kept = nullptr;
    std::string path;
    {
        CEngineBase engine;
        engine.Options.loadGameOptions();
        engine.loadProfile("Kim");
        kept = engine.getProfile();
        kept->grab();   // held elsewhere: the engine's drop is not the last
        kept->MusicVolume = 0.75f;
        kept->markChanged();
        path = (const char*)kept->getFilePath("", 1);
        std::filesystem::remove(path);
    }
    EXPECT_TRUE(std::filesystem::exists(path)) << "written when the engine ended, not at the last drop";
    kept->drop();
}

TEST_F(ProfileTest, GetProfileMakesTheActiveOneWithoutLoadingIt)
{
    App.write("Profile/pr_JERFRkFVTFRfUFJPRklMRSQ.ini", "Language=xx\n");
    CEngineBase engine;
    engine.Options.ActiveProfile = "";
    CUserProfile* profile = engine.getProfile();
    EXPECT_STREQ(profile->getName(), "$DEFAULT_PROFILE$");
    EXPECT_STRNE(profile->Language, "xx");
    EXPECT_EQ(engine.getProfile(), profile);
    EXPECT_TRUE(engine.Options.PastProfiles.IsEmpty());
    EXPECT_EQ(profile->ScriptTable.GetType(), OT_TABLE);
}

TEST_F(ProfileTest, MissingScriptTableSavesAnEmptyBlockThatLoadsQuietly)
{
    CEngineBase engine;
    CMessageBoxRecorder boxes;
    CUserProfile* profile = new CUserProfile("Null");
    profile->ScriptTable.Reset();
    profile->drop();
    EXPECT_NE(App.read("Profile/pr_TnVsbA.ini").find("\n\n<ScriptSafe>\n\n</ScriptSafe>\n"), std::string::npos);
    CUserProfile* again = new CUserProfile("Null");
    again->load();
    EXPECT_EQ(again->ScriptTable.GetType(), OT_TABLE);
    again->drop();
    EXPECT_TRUE(boxes.Boxes.empty());
}

}  // namespace

namespace {

void ignoreAssert(const char*, int, const char*) {}

// A data folder mounted as the engine mounts it, with a pak beside it.
class PreloadTest : public ProfileTest {
protected:
    void SetUp() override
    {
        ProfileTest::SetUp();
        PreviousHook = SetAssertHook(ignoreAssert);   // data paths before a manifest
        const char* files[][2] = {
            {"data/notes.txt", "plain notes"},   {"data/Scripts/A.nut", "function f() {}"},
            {"data/dlg/menu.dlg", "-Name:menu"}, {"data/gfx/x.spr", "-Image: x.png"},
            {"data/snd/s.wav", "RIFF"},          {"data/fx.cfg", "cfg"},
            {"data/pic.png", "png"},             {"data/.svn/entries.txt", "svn"},
            {"data/svnstuff/b.txt", "svn"},      {"data/u-skip.txt", "skip"},
            {"data/weird.", "dot"},              {"data/a.info.txt", "info"},
        };
        for (const auto& file : files) {
            std::filesystem::create_directories(std::filesystem::path(App.file(file[0])).parent_path());
            App.write(file[0], file[1]);
        }
        ASSERT_TRUE(WritePak(App.file("game.pak"), {{"inside/pak.dlg", "-Name:pak"}, {"inside/readme.txt", "in pak"}}));
        ClearTextFileCache();
        // Earlier tests may have looked the same keys up in other tables.
        GetLngCache().RemoveAll();
        GetIniCache().Clear();
    }

    void TearDown() override
    {
        ClearTextFileCache();
        SetAssertHook(PreviousHook);
        ProfileTest::TearDown();
    }

    // Mounts the folder and the pak into the engine's file system.
    void mount(CEngineBase& engine)
    {
        engine.FileSystem = Files.get();
        ASSERT_TRUE(Files.mount(App.file("data"), true));
        ASSERT_TRUE(Files.mount(App.file("game.pak")));
    }

    CNullFileSystem Files;
    AssertHook PreviousHook = nullptr;
};

TEST_F(PreloadTest, ListCoversTheFolderAndTheArchivesOnce)
{
    CEngineBase engine;
    mount(engine);
    irr::core::array<irr::core::stringc> list;
    engine.listPreloadFiles(list);
    engine.FileSystem = nullptr;
    std::vector<std::string> names;
    for (irr::u32 i = 0; i < list.size(); ++i)
        names.push_back(list[i].c_str());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dlg\\menu.dlg", "fx.cfg", "gfx\\x.spr", "inside\\pak.dlg",
                                               "inside\\readme.txt", "notes.txt", "pic.png", "scripts\\a.nut",
                                               "snd\\s.wav"}));
}

TEST_F(PreloadTest, FilesReachTheirCacheAndDigests)
{
    CEngineBase engine;
    mount(engine);
    CMessageBoxRecorder boxes;
    CString digest;
    const char* paths[] = {"notes.txt", "inside\\readme.txt", "u-skip.txt", "svnstuff\\b.txt", "weird.",
                           "a.info.txt", "pic.png"};
    for (const char* path : paths)
        engine.preloadFile(path, &digest);
    EXPECT_TRUE(digest.IsEmpty());   // no digest for texts and images
    engine.preloadFile(CString(GetDataFolder()) + "SCRIPTS/A.NUT", &digest);
    char expected[33];
    Md5HexOfString(expected, "function f() {}");
    EXPECT_STREQ(digest, expected);
    engine.preloadFile("gfx\\x.spr", &digest);
    Md5HexOfString(expected, "\n-Image: x.png\n");
    EXPECT_EQ(std::string(digest).substr(32), expected);
    engine.preloadFile("gfx\\x.spr", nullptr);   // no digest asked: none written

    struct Cached {
        const char* path;
        bool cached;
    };
    const Cached cached[] = {{"notes.txt", true}, {"inside\\readme.txt", true}, {"u-skip.txt", false},
                             {"svnstuff\\b.txt", false}, {"a.info.txt", false}};
    // With the folder gone, only the cache can answer.
    engine.FileSystem = nullptr;
    std::filesystem::remove_all(App.file("data"));
    for (const Cached& c : cached) {
        SCOPED_TRACE(c.path);
        CString text;
        EXPECT_EQ(ReadFileCached(c.path, text), c.cached);
    }
}

TEST_F(PreloadTest, DefaultProfileShowsAsThePlayerText)
{
    App.write("data/strings.lng", "Player=Spieler\n");
    CEngineBase engine;
    mount(engine);
    SetLanguages("en", "en");
    setPast(engine, {"$DEFAULT_PROFILE$", "A"});
    EXPECT_STREQ(engine.Options.getPastProfileName(0, 1), "Spieler");
    EXPECT_STREQ(engine.Options.getPastProfileName(0, 0), "$DEFAULT_PROFILE$");
    EXPECT_STREQ(engine.Options.getPastProfileName(1, 1), "A");
    engine.FileSystem = nullptr;
}

}  // namespace
