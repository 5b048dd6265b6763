// Natives for file listings, prompts, the active profile, its options and its
// display and sound settings, called from script code.
#include "module_scripting_funcs.h"

#include "script_natives_fixture.h"

#include "module_enginebase.h"
#include "prompt.h"
#include "utils_fs.h"
#include "utils_system_windows.h"

#include <gtest/gtest.h>

#include <IFileSystem.h>
#include <IrrlichtDevice.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Counts the commands of a menu, groups included, and answers one index.
class CRecordingMenu : public IPopupMenuPresenter {
public:
    int present(const std::vector<SPopupMenuEntry>& menu) override
    {
        for (const SPopupMenuEntry& entry : menu)
            collect(entry);
        return Answer;
    }
    void collect(const SPopupMenuEntry& entry)
    {
        if (entry.Index >= 0)
            Captions.push_back((const char*)entry.Caption);
        for (const SPopupMenuEntry& inner : entry.Entries)
            collect(inner);
    }
    std::vector<std::string> Captions;
    int Answer = 1;
};

class ProfileNatives : public ScriptNatives {
protected:
    void SetUp() override
    {
        ScriptNatives::SetUp();
        std::filesystem::create_directories(Folder.path() + "app/Profile");
        ResetUserFolder();
    }
    void TearDown() override
    {
        Engine.loadProfile("");
        ResetUserFolder();
        ScriptNatives::TearDown();
    }

    std::string text(const char* code)
    {
        SquirrelObject result = run(code);
        return result.ToString() ? result.ToString() : "(not text)";
    }
    CUserProfile* profile() { return Engine.getProfile(); }
};

TEST_F(ProfileNatives, OptionsAreReadAsTheirOwnTypeOrConverted)
{
    run("core_SetProfileOption(\"f\", 2.9); core_SetProfileOption(\"i\", -7);"
        "core_SetProfileOption(\"s\", \"2.5\"); core_SetProfileOption(\"half\", 1.5);"
        // A set to another kind's empty value still replaces the name's value.
        "core_SetProfileOption(\"p1\", \"hello\"); core_SetProfileOption(\"p1\", 0);"
        "core_SetProfileOption(\"p2\", 5); core_SetProfileOption(\"p2\", 0.0);"
        "core_SetProfileOption(\"p3\", 2.5); core_SetProfileOption(\"p3\", \"\");");
    EXPECT_FALSE(run("return core_SetProfileOption(\"arr\", [1]);").ToBool());
    struct Case {
        const char* code;
        const char* expected;   // the result's type and value as the script sees it
    };
    const Case cases[] = {
        {"core_GetProfileOptionN(\"f\")", "integer 2"},
        {"core_GetProfileOptionN(\"s\")", "integer 2"},
        {"core_GetProfileOptionN(\"missing\")", "integer 0"},
        {"core_GetProfileOptionN(\"missing\", \"x\")", "string x"},
        {"core_GetProfileOption(\"missing\", 5)", "integer 5"},
        {"core_GetProfileOption(\"missing\")", "null null"},
        {"core_GetProfileOption(\"i\")", "integer -7"},
        {"core_GetProfileOption(\"s\")", "string 2.5"},
        {"core_GetProfileOptionS(\"half\")", "string 1.500000"},
        {"core_GetProfileOptionS(\"i\")", "string -7"},
        {"core_GetProfileOptionS(\"missing\")", "string "},
        {"core_GetProfileOptionF(\"s\")", "float 2.5"},
        {"core_GetProfileOptionF(\"i\")", "float -7"},
        {"core_GetProfileOptionF(\"missing\", 4)", "integer 4"},
        {"core_GetProfileOption(\"arr\")", "null null"},
        {"core_GetProfileOption(\"p1\")", "integer 0"},
        {"core_GetProfileOption(\"p2\")", "float 0"},
        {"core_GetProfileOption(\"p3\")", "string "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::string code = std::string("local v = ") + c.code + "; return typeof v + \" \" + (v == null ? \"null\" : v);";
        EXPECT_EQ(text(code.c_str()), c.expected);
    }
    EXPECT_EQ(std::string(profile()->Options.toText("p?", nullptr)),
              "\nOption[p3]=\nOptionLong[p1]=0\nOptionDouble[p2]=0.00\n") << "one line each in the saved profile";
    EXPECT_GT(profile()->getChangeCounter(), 0u);
}

TEST_F(ProfileNatives, SettingsAndVolumesReachTheProfileAndTheSoundServer)
{
    profile()->EffectsVolume = 0.8f;
    profile()->MusicVolume = 0.6f;
    run("core_SetSoundVolumeFade(1, 0.5);");
    EXPECT_FLOAT_EQ(Engine.getSoundServer()->getEffectsVolume(), 0.4f);
    EXPECT_FLOAT_EQ(Engine.getSoundServer()->getMusicVolume(), 0.6f);
    run("core_SetSoundVolume(0, 0.3);");
    EXPECT_FLOAT_EQ(profile()->MusicVolume, 0.3f);
    EXPECT_FLOAT_EQ(Engine.getSoundServer()->getMusicVolume(), 0.3f);
    EXPECT_EQ(text("return \"\" + core_GetSoundVolume(1);"), "0.8");

    run("core_SetFullscreen(true);");
    EXPECT_EQ(profile()->Fullscreen, 1);
    run("core_SetFullscreen(\"yes\");");   // neither integer nor bool: unchanged
    EXPECT_EQ(profile()->Fullscreen, 1);
    run("core_SetFullscreen(0); core_SetCursor(2, 0);");
    EXPECT_EQ(run("return core_GetFullscreen();").ToInteger(), 0);
    EXPECT_EQ(run("return core_GetCursor();").ToInteger(), 2);
    EXPECT_TRUE(run("return core_IsDebug();").ToBool());
}

TEST_F(ProfileNatives, ProfilesSwitchAndTheScriptTableIsSaved)
{
    Engine.loadProfile("Ann");
    for (const char* call : {"core_SwitchProfile(\"\")", "core_SwitchProfile(\"$DEFAULT_PROFILE$\")"}) {
        SCOPED_TRACE(call);
        EXPECT_TRUE(run((std::string("return ") + call + ";").c_str()).ToBool());
        EXPECT_STREQ(Engine.Options.ActiveProfile, "Ann");
    }
    run("core_SwitchProfile(\"Bob\");");
    EXPECT_EQ(text("return core_GetActiveProfileName();"), "Bob");
    EXPECT_EQ(text("return core_GetPastProfileName(1, false);"), "Ann");
    EXPECT_EQ(text("return core_GetActiveProfileFileprefix();"), Folder.path() + "app/Profile/pr_Qm9i");
    EXPECT_EQ(text("return core_GetActiveProfileFolder();"), Folder.path() + "app/Profile/");

    run("local t = core_GetProfileObject(true); t.level <- 9; core_SaveProfile();");
    std::string saved = Folder.read("app/Profile/pr_Qm9i.ini");
    EXPECT_NE(saved.find("<2_int val=\"9\"/>"), std::string::npos) << saved;

    run("core_DeleteProfile(\"Bob\");");   // the entry after Bob becomes active
    EXPECT_STREQ(Engine.Options.ActiveProfile, "Ann");
    EXPECT_TRUE(Folder.exists("app/Profile/pr_Qm9i.ini"));   // the file stays
}

TEST_F(ProfileNatives, PromptsPassTheDefaultAsDataAndAlwaysReturn)
{
    std::vector<std::string> defaults;
    std::optional<std::string> answer = std::string("  typed  ");
    platform::PromptHook previous = platform::SetPromptHook(
        {[&](std::string_view, std::string_view, std::string_view defaultAnswer) {
             defaults.emplace_back(defaultAnswer);
             return answer;
         },
         nullptr});
    EXPECT_EQ(text("return core_AskString(0, \"say \\\"hi\\\" & \\\\ bye\");"), "typed");
    ASSERT_EQ(defaults.size(), 1u);
    EXPECT_EQ(defaults[0], "say \"hi\" & \\ bye");
    answer = std::nullopt;   // cancelled
    EXPECT_EQ(text("return core_AskString(0, \"x\");"), "");
    platform::SetPromptHook(previous);

    CRecordingMenu menu;
    IPopupMenuPresenter* before = SetPopupMenuPresenter(&menu);
    EXPECT_EQ(run("return core_AskChoice([\"a\", \"b\", 3, \"c\"], \"\");").ToInteger(), 1);
    EXPECT_EQ(menu.Captions, (std::vector<std::string>{"a", "b"}));
    menu.Captions.clear();
    run("core_AskChoice([{Name = \"first\"}, \"second\", \"\"], \"\", 0);");
    EXPECT_EQ(menu.Captions, (std::vector<std::string>{"first", "second"}));
    SetPopupMenuPresenter(before);
}

TEST_F(ProfileNatives, FileListingAndPathParts)
{
    // Each name listed opens its file: the count of names, then those that
    // do not open.
    run("function listed(pattern) { local n = 0, failed = \"\";"
        "  foreach (name in core_GetFileListing(pattern)) {"
        "    ++n; if (core_ReadFile(name) == \"\" || !core_IsDataPathExist(name)) failed += \" \" + name;"
        "  } return n + failed; }");
    // Also the player's files, which are named exactly: in a folder of their
    // own, in one that holds the program, where the game's data is found in
    // any case, and in one given relative to the program folder.
    const std::string app = Folder.path() + "app/";
    std::filesystem::current_path(app);   // the game's working folder
    const std::string ul = "-ul=" + app;
    for (const char* folderSwitch : {"", ul.c_str(), "-ul=Ud"}) {
        SCOPED_TRACE(folderSwitch);
        const char* args[] = {"game", folderSwitch};
        SetCommandLineArgs(*folderSwitch ? 2 : 1, args);
        ResetUserFolder();
        std::string user = text("return core_GetActiveProfileFolder();");
        std::replace(user.begin(), user.end(), '\\', '/');
        std::filesystem::create_directories(user + "Saves");
        const char* names[] = {"pr_YWFh.ini", "pr_YWFH.ini", "Shot_1_screenshot.bmp", "Saves/Slot.TXT"};
        for (const char* name : names)
            std::ofstream(user + name) << name;
        EXPECT_EQ(text("local folder = core_GetActiveProfileFolder();"
                       "return listed(folder + \"*.*\") + \";\" + listed(folder + \"Saves\\\\*.*\") + \";\""
                       "  + listed(folder + \"pr_*.ini\");"),
                  "4;1;2");
        for (const char* name : names)
            std::filesystem::remove(user + name);
    }
    EXPECT_TRUE(Boxes.Boxes.empty()) << Boxes.Boxes[0].Text;   // no data path style to warn of
    const char* plain[] = {"game"};
    SetCommandLineArgs(1, plain);

    std::filesystem::create_directories(dataPath("scripts/sub"));
    std::filesystem::create_directories(Folder.path() + "abs");
    writeData("scripts/a.nut", "//");
    writeData("scripts/sub/b.nut", "//");
    writeData("scripts/c.txt", "");
    Folder.write("abs/one.txt", "1");
    std::filesystem::create_directories(dataPath("ud"));   // named as the user folder is below
    writeData("ud/inside.txt", "in");
    ASSERT_TRUE(Engine.Device->getFileSystem()->addFileArchive(dataPath("").c_str(), true, false, irr::io::EFAT_FOLDER));
    std::string listed = text("local s = \"\"; foreach (n in core_GetFileListing(\"scripts\\\\*.nut\")) s += n + \";\";"
                              "return s;");
    EXPECT_NE(listed.find("a.nut;"), std::string::npos) << listed;
    EXPECT_NE(listed.find("b.nut;"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("c.txt"), std::string::npos) << listed;
    // A folder named by a way through ".." is listed whole, also one reached
    // above the data's top. A user folder given relative is spelled as data
    // folders are: a data folder of that name, or one reached through it, is
    // listed all the same, and so are the player's files in it.
    std::filesystem::create_directories(app + "ud");
    Folder.write("app/ud/pr_YWFh.ini", "player");
    const struct {
        const char* FolderSwitch;
        const char* Pattern;
        const char* Listed;
    } ways[] = {
        {"", "scripts\\\\..\\\\scripts\\\\*.nut", "2"},
        {"", "..\\\\data\\\\scripts\\\\*.nut", "2"},
        {"", "..\\\\..\\\\abs\\\\*.txt", "1"},   // outside the data: by its full path
        {"-ul=ud", "ud\\\\*.txt", "1"},
        {"-ul=ud", "ud\\\\pr_*.ini", "1"},
        {"-ul=ud", "ud\\\\*.*", "2"},
        {"-ul=..", "..\\\\data\\\\scripts\\\\*.nut", "2"},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.FolderSwitch);
        const char* args[] = {"game", way.FolderSwitch};
        SetCommandLineArgs(*way.FolderSwitch ? 2 : 1, args);
        ResetUserFolder();
        EXPECT_EQ(text((std::string("return listed(\"") + way.Pattern + "\");").c_str()), way.Listed) << way.Pattern;
    }
    SetCommandLineArgs(1, plain);
    ResetUserFolder();
    std::string absolute = "return core_GetFileListing(\"" + Folder.path() + "abs/*.txt\").len();";
    EXPECT_EQ(run(absolute.c_str()).ToInteger(), 1);
    EXPECT_EQ(text("return core_GetPathPart(\"dir\\\\name.ext\", false, true, true, false);"), "dir\\name");
    EXPECT_EQ(text("return core_GetPathPart(\"dir\\\\name.ext\", false, false, false, true);"), ".ext");
}

}  // namespace
