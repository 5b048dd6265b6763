// The engine's natives: every name in the root table with its argument
// check, and the script-level behaviour of each group (.nut files).
#include "module_scripting_funcs.h"

#include "script_natives_fixture.h"

#include "fake_clock.h"

#include "module_enginebase.h"
#include "utils_debug.h"
#include "utils_math_misc.h"
#include "utils_system_common.h"
#include "utils_str_parse.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ctime>

namespace {

struct SRegistered {
    const char* Name;
    const char* Mask;   // null: no arguments
};

// Every engine native in registration order, with its argument mask.
const SRegistered RegisteredNatives[] = {
    {"core_CloseGame", nullptr},
    {"core_SetBackgroundImage", "*"},
    {"core_SetBackgroundMusic", "s"},
    {"core_PlayEffect", "*"},
    {"core_Alert", "*"},
    {"core_AskYesNo", "*"},
    {"core_Warning", "*"},
    {"core_GetSoundVolume", "*"},
    {"core_SetSoundVolume", "*"},
    {"core_SetSoundVolumeFade", "*"},
    {"core_KeyPressed", "*"},
    {"core_GetIsLeftButtonDown", nullptr},
    {"core_GetGameState", "*"},
    {"core_SetGameState", "n"},
    {"core_IsGamePaused", nullptr},
    {"core_IsDebug", nullptr},
    {"core_AskChoice", "*"},
    {"core_AskString", "*"},
    {"core_OpenDialog", "s"},
    {"core_CloseDialog", "*"},
    {"core_IsDialogOpened", "s"},
    {"core_GetDialogRootFolder", "s"},
    {"core_FadeSprite", "*"},
    {"core_ShowSprite", "*"},
    {"core_IsNodeExist", "*"},
    {"core_IsNodeEnabled", "*"},
    {"core_EnableNode", "*"},
    {"core_SetNodeText", "*"},
    {"core_GetNodeText", "*"},
    {"core_GetNode", "*"},
    {"core_GetNodeAtlas", "*"},
    {"core_SetNodeAtlas", "*"},
    {"core_GetNodeAttribute", "*"},
    {"core_GetNodeAttributeN", "*"},
    {"core_GetNodeAttributeS", "*"},
    {"core_GetNodeAttributeF", "*"},
    {"core_GetNodeSubnode", "*"},
    {"core_SetNode", "*"},
    {"core_SetNodePosition", "*"},
    {"core_SetNodeName", "*"},
    {"core_SetNodeAttribute", "*"},
    {"core_GetNodesNames", "*"},
    {"core_AttachToNode", "*"},
    {"core_GetNodeRelativePos", "*"},
    {"core_SetNodeAction", "*"},
    {"core_SetNodeAnimatorAction", "*"},
    {"core_CreateSprite", "*"},
    {"core_CreateNode", "*"},
    {"core_DeleteSprite", "*"},
    {"core_DeleteNode", "*"},
    {"core_GetNodeOnScreenPosition", "*"},
    {"core_GetTranslation", "*"},
    {"core_Translate", "*"},
    {"core_GetDataPath", "s"},
    {"core_IsDataPathExist", "s"},
    {"core_AddDataPath", "s"},
    {"core_MakeScreenshot", "s"},
    {"core_GetLastClickPosition", "*"},
    {"core_GetCurrentCursorPosition", "*"},
    {"core_SetCurrentCursorPosition", "*"},
    {"core_SetCurrentCursorClipArea", "*"},
    {"core_ReadTextFile", "s"},
    {"core_ReadFile", "s"},
    {"core_SaveFile", "ss"},
    {"core_GetFileListing", "*"},
    {"core_GetPathPart", "*"},
    {"core_GetFileTime", "*"},
    {"core_GetActiveProfileName", "*"},
    {"core_GetPastProfileName", "*"},
    {"core_SwitchProfile", "*"},
    {"core_DeleteProfile", "*"},
    {"core_GetActiveProfileFolder", nullptr},
    {"core_GetActiveProfileFileprefix", "*"},
    {"core_GetProfileOption", "*"},
    {"core_GetProfileOptionS", "*"},
    {"core_GetProfileOptionN", "*"},
    {"core_GetProfileOptionF", "*"},
    {"core_SetProfileOption", "*"},
    {"core_GetProfileObject", "*"},
    {"core_SaveProfile", "*"},
    {"core_GetIniParameter", "*"},
    {"core_GetSprIniParameter", "*"},
    {"core_Rnd", "*"},
    {"core_CreateRndSequence", "*"},
    {"core_RndSetSeed", "*"},
    {"core_Escape", "s"},
    {"core_Unescape", "s"},
    {"core_StrMask", "*"},
    {"core_StrReplace", "*"},
    {"core_StrMD5", "*"},
    {"core_StrADLER32", "*"},
    {"core_StrTransform", "*"},
    {"core_GetStrSlice", "*"},
    {"core_StrSlice", "*"},
    {"core_SetFullscreen", "*"},
    {"core_SetCursor", "*"},
    {"core_GetFullscreen", nullptr},
    {"core_GetCursor", nullptr},
    {"core_JustifyText", "*"},
    {"core_GetTick", nullptr},
    {"core_SetInterval", "*"},
    {"core_SetTimeout", "*"},
    {"core_CancelInterval", "*"},
    {"core_SetTimeoutLocal", "*"},
    {"core_SetIntervalLocal", "*"},
    {"core_SetIntervalTimer", "*"},
    {"core_GetDate", "*"},
    {"core_AddTime2Date", "*"},
    {"core_SerializeObj", "*"},
    {"core_DeserializeObj", "*"},
    {"core_DeserializeXml", "*"},
    {"core_SetClipboard", "*"},
    {"core_Dofile", "*"},
    {"core_se_DebugHint", "*"},
    {"core_se_GetRelated", "*"},
    {"core_ClearAnyInputOcured", nullptr},
    {"core_SetAnyInputOcured", nullptr},
    {"core_AnyInputOcured", nullptr},
    {"core_IsAnyKeySince", "*"},
};

// Argument lists the VM must refuse for the mask, as script text.
std::vector<std::string> refusedCalls(const char* mask)
{
    std::string m = mask ? mask : "";
    if (m.empty())
        return {"(1)", "(\"a\", 2)"};
    if (m == "s")
        return {"()", "(1)", "(\"a\", \"b\")"};
    if (m == "ss")
        return {"(\"a\")", "(\"a\", 1)", "(\"a\", \"b\", \"c\")"};
    if (m == "n")
        return {"()", "(\"a\")", "(1, 2)"};
    return {};
}

SQInteger throwingNative(HSQUIRRELVM)
{
    throw CBadException();
}

using CoreNatives = ScriptNatives;

TEST_F(CoreNatives, EveryNameIsANativeWithItsArgumentCheck)
{
    SquirrelObject& root = SquirrelVM::GetRootTable();
    for (const SRegistered& entry : RegisteredNatives) {
        SCOPED_TRACE(entry.Name);
        ASSERT_TRUE(root.Exists(entry.Name));
        EXPECT_EQ(root.GetValue(entry.Name).GetType(), OT_NATIVECLOSURE);
        for (const std::string& call : refusedCalls(entry.Mask)) {
            std::string code = std::string("try { ") + entry.Name + call + "; return 0; } catch (e) { return e; }";
            SquirrelObject result = run(code.c_str());
            ASSERT_NE(result.ToString(), nullptr) << call;
            EXPECT_NE(std::string(result.ToString()).find("parameter"), std::string::npos) << result.ToString();
        }
    }
    EXPECT_FALSE(Engine.isExitRequested());
}

TEST_F(CoreNatives, NamesEnterTheRootTableInTheirOrderWithTheirMasks)
{
    const std::vector<SCoreNativeInfo>& registered = GetRegisteredCoreNatives();
    const size_t count = sizeof RegisteredNatives / sizeof RegisteredNatives[0];
    ASSERT_EQ(count, 119u);
    ASSERT_EQ(registered.size(), count);
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(RegisteredNatives[i].Name);
        EXPECT_EQ(registered[i].Name, RegisteredNatives[i].Name) << "at " << i;
        EXPECT_EQ(registered[i].Mask, RegisteredNatives[i].Mask ? RegisteredNatives[i].Mask : "");
    }
}

TEST_F(CoreNatives, StarMaskedProfileNativesTakeExtraArguments)
{
    EXPECT_NE(run("return core_GetActiveProfileName(1, 2);").ToString(), nullptr);
    EXPECT_NE(run("return core_GetActiveProfileFileprefix(\"x\");").ToString(), nullptr);
    EXPECT_EQ(run("try { core_SaveProfile(1); return 1; } catch (e) { return 0; }").ToInteger(), 1);
}

TEST_F(CoreNatives, DeleteNodeAndDeleteSpriteAreOneFunction)
{
    EXPECT_TRUE(run("return core_DeleteNode == core_DeleteSprite;").ToBool());
}

TEST_F(CoreNatives, ClientFunctionOfTheSameNameIsReplaced)
{
    run("core_StrMD5 <- function(s) { return \"client\"; }");
    Engine.getScripts()->registerCoreFunctions(nullptr);
    EXPECT_STREQ(run("return core_StrMD5(\"\");").ToString(), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(CoreNatives, ExceptionInsideANativeGivesNullAndNoScriptError)
{
    SquirrelVM::CreateFunctionGlobal(&CoreNative<throwingNative>, "throwing", "*");
    SquirrelObject result = run("local r = throwing(); return r == null ? \"null\" : \"value\";");
    EXPECT_STREQ(result.ToString(), "null");
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(CoreNatives, StateGroup)
{
    Engine.GameState = 100;
    Engine.PreloadProgress = 0.25f;
    runScriptFile("natives_state");
    EXPECT_GT(Checks, 0);
    EXPECT_TRUE(Failures.empty()) << ::testing::PrintToString(Failures);
    EXPECT_EQ(Engine.GameState, 700);
    EXPECT_STREQ(Engine.getScripts()->getDebugHint(), "step two");
}

TEST_F(CoreNatives, TickAndInputLatchFollowTheClock)
{
    CFakeClock clock(5000);
    EXPECT_EQ(run("return core_GetTick();").ToInteger(), 5000);
    run("core_ClearAnyInputOcured();");
    EXPECT_FALSE(run("return core_AnyInputOcured();").ToBool());
    run("core_SetAnyInputOcured();");
    EXPECT_TRUE(run("return core_AnyInputOcured();").ToBool());
    EXPECT_FALSE(run("return core_AnyInputOcured();").ToBool()) << "true once, then reset";
    clock.advance(100);
    run("core_SetAnyInputOcured();");
    EXPECT_FALSE(run("return core_IsAnyKeySince(5100);").ToBool()) << "not after the tick";
    EXPECT_TRUE(run("return core_IsAnyKeySince(5050);").ToBool());
    EXPECT_FALSE(run("return core_IsAnyKeySince(5050);").ToBool());
}

TEST_F(CoreNatives, KeyPressedOnlyWhileDownAndActive)
{
    Engine.AppActive = 1;
    RecordKeyState(0x42, false);   // other tests may leave keys down
    RecordKeyState(0x41, true);
    EXPECT_TRUE(run("return core_KeyPressed(0x41);").ToBool());
    EXPECT_FALSE(run("return core_KeyPressed(0x42);").ToBool());
    Engine.AppActive = 0;
    EXPECT_FALSE(run("return core_KeyPressed(0x41);").ToBool()) << "nothing counts while inactive";
    Engine.AppActive = 1;
    RecordKeyState(0x41, false);
    EXPECT_FALSE(run("return core_KeyPressed(0x41);").ToBool());
}

TEST_F(CoreNatives, StrTransformThroughTheNamedTransliterator)
{
    writeData("manifest.xml", "<Manifest><Fonts/><Cursors/><AtlasLists/><Materials/><ParticleGroups/></Manifest>");
    writeData("upper.xml", "<transliterator><in val=\"abc\"/><to val=\"ABC\"/></transliterator>");
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(Folder.path() + "app/data/");
    EXPECT_STREQ(run("return core_StrTransform(\"a cab!\", \"upper.xml\");").ToString(), "A CAB!");
    EXPECT_STREQ(run("return core_StrTransform(\"abc\", \"\");").ToString(), "abc") << "no name: unchanged";
    writeData("folder/inside.txt", "");
    for (const char* missing : {"capitals", "capitals", "folder"}) {
        SCOPED_TRACE(missing);
        EXPECT_STREQ(run(("return core_StrTransform(\"hello\", \"" + std::string(missing) + "\");").c_str()).ToString(),
                     "hello");
    }
    EXPECT_TRUE(Boxes.Boxes.empty());
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("capitals"), std::string::npos);
    std::filesystem::current_path(previous);
}

TEST_F(CoreNatives, CloseGameRequestsExit)
{
    run("core_CloseGame();");
    EXPECT_TRUE(Engine.isExitRequested());
}

TEST_F(CoreNatives, DofileRunsTheFileWithoutTheCacheAndAMissingFileAsEmpty)
{
    Folder.write("extra.nut", "\xEF\xBB\xBF" "dofileCount <- (\"dofileCount\" in getroottable() ? dofileCount : 0) + 1;");
    SquirrelVM::GetRootTable().SetValue("extra", (Folder.path() + "extra.nut").c_str());
    // A UTF-16 file is named in the log, not compiled as the byte or two before its first NUL.
    std::string wide = "\xFF\xFE";
    for (char c : std::string("dofileCount <- 100;"))
        wide += std::string{c, '\0'};
    Folder.write("wide.nut", wide);
    SquirrelVM::GetRootTable().SetValue("wide", (Folder.path() + "wide.nut").c_str());
    run("core_Dofile(extra); core_Dofile(extra); core_Dofile(\"missing.nut\"); core_Dofile(wide);");
    EXPECT_EQ(run("return dofileCount;").ToInteger(), 2);
    EXPECT_EQ(Engine.getScripts()->getCodeCacheSize(), 0);
    EXPECT_TRUE(Boxes.Boxes.empty()) << Boxes.Boxes[0].Text;
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("Cannot read '" + Folder.path() + "wide.nut': it is UTF-16 text"),
              std::string::npos);
}

TEST_F(CoreNatives, FileGroup)
{
    writeData("crlf.txt", "one\r\ntwo\r\n");
    writeData("nul.bin", std::string("ab\0cd", 5));
    SquirrelVM::GetRootTable().SetValue("dataFolder", Folder.path().c_str());
    // Data names are relative to the program's folder, the working folder of a game.
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(Folder.path() + "app/");
    runScriptFile("natives_files");
    std::filesystem::current_path(previous);
    EXPECT_GT(Checks, 0);
    EXPECT_TRUE(Failures.empty()) << ::testing::PrintToString(Failures);
    EXPECT_EQ(Folder.read("saved.txt"), "new text");
}

TEST_F(CoreNatives, TextGroup)
{
    setenv("TZ", "UTC", 1);
    tzset();
    SetRandomSeed(1234);
    runScriptFile("natives_text");
    EXPECT_GT(Checks, 0);
    EXPECT_TRUE(Failures.empty()) << ::testing::PrintToString(Failures);
    SetRandomSeed(0);
}

TEST_F(CoreNatives, RndOfEqualBoundsReportsBothChecksAndReturnsTheBound)
{
    EXPECT_EQ(run("return core_Rnd(3, 3);").ToInteger(), 3);
    ASSERT_EQ(Asserts.size(), 2u);
    EXPECT_EQ(Asserts[0], "core_Rnd bad result 0!");
    EXPECT_EQ(Asserts[1], "core_Rnd bad result!");
}

TEST_F(CoreNatives, SeededRandomSequenceRepeats)
{
    Random();   // the very first draw of a process seeds itself over any seed set before it
    SetRandomSeed(77);
    std::string first = run("local s = \"\"; for (local i = 0; i < 8; ++i) s += core_Rnd(0, 1000) + \",\"; return s;")
                            .ToString();
    run("core_RndSetSeed(77);");
    std::string second = run("local s = \"\"; for (local i = 0; i < 8; ++i) s += core_Rnd(0, 1000) + \",\"; return s;")
                             .ToString();
    EXPECT_EQ(first, second);
    run("core_RndSetSeed(\"seed text\");");
    int drawn = run("return core_Rnd(0, 1000000);").ToInteger();
    SetRandomSeed(uint32_t(StringChecksum("seed text")));
    EXPECT_EQ(drawn, RandomInt(0, 1000000));
    SetRandomSeed(0);
}

}  // namespace
