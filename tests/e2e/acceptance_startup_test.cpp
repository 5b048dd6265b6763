// Start-up of the real program on data the test writes itself: options from
// game.ini and the command line, the manifest and the start-up script, the
// game states, archives and the order they win in, data names written the
// Windows way, text-file directives, language tables and the window caption.
#include "acceptance_support.h"

#include "archive_writer.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

using namespace acceptance;
using sample::contains;

namespace {

const char* const Ini = "AppDataFolder=AccGame\nLanguage=en\nXResolution=640\nYResolution=480\n";

TEST(AcceptanceStartup, CommandLineOverridesGameIniAndCommentsItsLine)
{
    GameDir game;
    // Written on Windows: CR LF line ends.
    game.write("AppDataFolder=AccGame\r\nLanguage=en\r\nMyKey=ini\r\nMyKeyLonger=keep\r\nTwice=first\r\n"
               "Twice=second\r\n",
               "whenPlaying(function() {\n"
               "  local keys = [\"MyKey\", \"//MyKey\", \"MyKeyLonger\", \"Twice\", \"Empty\", \"a\", \"Extra\"];\n"
               "  local text = \"\";\n"
               "  foreach (key in keys) text += key + \"=\" + core_GetIniParameter(key) + \";\";\n"
               "  save(\"options.txt\", text);\n"
               "});\n");
    SRun run = game.run({"MyKey=one", "MyKey=two", "Empty=", "a=b=c", "Extra=x"});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("options.txt"),
              "MyKey=two;//MyKey=ini;MyKeyLonger=keep;Twice=first;Empty=;a=;Extra=x;");
    EXPECT_TRUE(fs::exists(game.userFolder() / "game_options.ini"));
}

// The manifest's extra option lines count where game.ini and the command
// line are silent; a last line without a line feed reads as empty.
TEST(AcceptanceStartup, ManifestAddsOptionLinesBehindGameIni)
{
    GameDir game;
    game.write(Ini,
               "whenPlaying(function() {\n"
               "  local text = \"\";\n"
               "  foreach (key in [\"ExtraA\", \"Language\", \"ExtraC\", \"ExtraB\"]) text += core_GetIniParameter(key) + \";\";\n"
               "  save(\"options.txt\", text);\n"
               "});\n");
    game.put("data/manifest.xml",
             manifestXml("", "<Fonts></Fonts>\n<Cursors></Cursors>\n<AtlasLists></AtlasLists>\n<Materials></Materials>\n"
                             "<ParticleGroups></ParticleGroups>\n"
                             "<AdditionalIniOptions>\nExtraA=1\nLanguage=xx\nExtraC=3\nExtraB=2</AdditionalIniOptions>\n"));
    SRun run = game.run({"ExtraC=cmd"});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("options.txt"), "1;en;cmd;;");
}

// The start-up script runs before the first frame (state 10), the loop
// reaches 100 and, after preloading, 500.
TEST(AcceptanceStartup, StartupScriptRunsAndGameStatesClimbToPlay)
{
    GameDir game;
    game.write(Ini,
               "if (!(\"seen\" in getroottable())) ::seen <- \"\";\n"
               "::seen += \"T\" + core_GetGameState() + \",\";\n"
               "::lastState <- -1;\n"
               "function watchState() {\n"
               "  local state = core_GetGameState();\n"
               "  if (state != ::lastState) { ::seen += \"P\" + state + \",\"; ::lastState = state; }\n"
               "}\n"
               "if (!(\"watching\" in getroottable())) { ::watching <- true; core_SetInterval(1, \"watchState()\"); }\n"
               "whenPlaying(function() { save(\"states.txt\", ::seen); });\n");
    game.put("data/scripts/zzz_more.nut", "::seen += \"M\" + core_GetGameState() + \",\";\n");
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    std::string seen = game.get("states.txt");
    // The first line of the start-up file ran once, before the frame loop.
    EXPECT_EQ(seen.rfind("T10,", 0), 0u) << seen;
    EXPECT_EQ(seen.find("T10,", 1), std::string::npos) << seen;
    size_t preload = seen.find("P100,");
    size_t play = seen.find("P500,");
    ASSERT_NE(preload, std::string::npos) << seen;
    ASSERT_NE(play, std::string::npos) << seen;
    EXPECT_LT(preload, play) << seen;
    // The second script was preloaded before play began.
    size_t more = seen.find("M");
    ASSERT_NE(more, std::string::npos) << seen;
    EXPECT_LT(more, play) << seen;
}

// Archives named by VFSPak_<language>, VFSPak_1, VFSPak_2, ... (to the first
// gap) come before the data folder; the first that holds a name wins.
TEST(AcceptanceStartup, ArchivesAreMountedInOrderAndTheFirstHolderWins)
{
    GameDir game;
    game.write(std::string(Ini) + "VFSPak_en=Packs\\Lang.PAK\nVFSPak_1=packs\\one.zip\nVFSPak_2=packs\\two.pak\n"
                                  "VFSPak_4=packs\\four.zip\n",
               "whenPlaying(function() {\n"
               "  local text = \"\";\n"
               "  foreach (name in [\"\\\\Texts\\\\A.TXT\", \"texts\\\\b.txt\", \"TEXTS\\\\c.Txt\", \"\\\\texts\\\\D.txt\",\n"
               "                    \"texts\\\\e.txt\"])\n"
               "    text += core_ReadTextFile(name) + \";\";\n"
               "  save(\"winners.txt\", text);\n"
               "});\n");
    game.put("data/texts/a.txt", "data");
    game.put("data/texts/b.txt", "data");
    game.put("data/texts/c.txt", "data");
    game.put("data/texts/d.txt", "data");
    fs::create_directories(game.Root / "packs");
    ASSERT_TRUE(WritePak((game.Root / "packs" / "lang.pak").string(), {{"texts/a.txt", "lang"}}));
    ASSERT_TRUE(WriteStoredZip((game.Root / "packs" / "one.zip").string(),
                               {{"texts/a.txt", "one"}, {"texts/b.txt", "one"}}));
    ASSERT_TRUE(WritePak((game.Root / "packs" / "two.pak").string(),
                         {{"texts/a.txt", "two"}, {"texts/b.txt", "two"}, {"texts/c.txt", "two"}}));
    ASSERT_TRUE(WriteStoredZip((game.Root / "packs" / "four.zip").string(),
                               {{"texts/d.txt", "four"}, {"texts/e.txt", "four"}}));
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("winners.txt"), "lang;one;two;data;;");
}

// Description and script texts: CR LF reads as LF, "${thisfolder}\" is the
// file's own folder under data, "${include(...)}" pulls in a file relative to
// the including one, and data names use backslashes in any letter case.
TEST(AcceptanceStartup, TextDirectivesAndWindowsStyleNames)
{
    GameDir game;
    game.write(Ini,
               "whenPlaying(function() {\n"
               "  save(\"text.txt\", core_ReadTextFile(\"\\\\Texts\\\\Sub\\\\MAIN.txt\"));\n"
               "  save(\"raw.txt\", core_ReadFile(\"TEXTS\\\\SUB\\\\main.TXT\"));\n"
               "  save(\"exists.txt\", core_IsDataPathExist(\"\\\\TEXTS\\\\Sub\\\\Part.txt\") + \",\" +\n"
               "                     core_IsDataPathExist(\"texts\\\\nothing.txt\"));\n"
               "  save(\"missing.txt\", \"[\" + core_ReadTextFile(\"texts\\\\nothing.txt\") + \"]\");\n"
               "});\n");
    game.put("data/texts/sub/main.txt", "first\r\nhere=${thisfolder}\\\r\n${include(Part.TXT)}\r\nlast\r\n");
    game.put("data/texts/sub/part.txt", "part of ${thisfolder}\\\r\n");
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    // The folder is the one of the name as asked for, not as stored on disk.
    EXPECT_EQ(game.get("text.txt"), "first\nhere=Texts\\Sub\\\npart of Texts\\Sub\\\n\nlast\n");
    EXPECT_EQ(game.get("raw.txt"), "first\r\nhere=${thisfolder}\\\r\n${include(Part.TXT)}\r\nlast\r\n");
    EXPECT_EQ(game.get("exists.txt"), "true,false");
    // A missing file is reported and the run goes on with an empty text.
    EXPECT_EQ(game.get("missing.txt"), "[]");
    EXPECT_TRUE(contains(run.Stderr, "Attemp to read nonexisted TEXT file")) << run.Stderr;
}

// The manifest itself is a text file with directives: an include written
// with other letter case and CR LF line ends.
TEST(AcceptanceStartup, ManifestPullsInAnIncludedPart)
{
    GameDir game;
    game.write(Ini, "whenPlaying(function() { save(\"included.txt\", ::included); });\n");
    game.put("data/manifest.xml", "<?xml version=\"1.0\"?>\r\n<Manifest>\r\n"
                                  "<InitialScriptCode val=\"::included &lt;- 1;\"/>\r\n"
                                  "${include(Parts\\Lists.XML)}\r\n</Manifest>\r\n");
    game.put("data/parts/lists.xml", "<Fonts></Fonts>\r\n<Cursors></Cursors>\r\n<AtlasLists></AtlasLists>\r\n"
                                     "<Materials></Materials>\r\n<ParticleGroups></ParticleGroups>\r\n");
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("included.txt"), "1");
}

// Language tables: values with line-break marks, "#file" values and keys,
// and a key the table lacks.
TEST(AcceptanceStartup, LanguageTableLookups)
{
    GameDir game;
    game.write(Ini,
               "whenPlaying(function() {\n"
               "  save(\"lng.txt\", core_GetTranslation(\"HELLO\") + \"|\" + core_GetTranslation(\"help\") + \"|\" +\n"
               "       core_GetTranslation(\"#intro.txt\") + \"|\" + core_GetTranslation(\"NOT.THERE\") + \"|\" +\n"
               "       core_GetTranslation(\"GREET\"));\n"
               "});\n");
    const std::string table = "HELLO=Hello<br>World\\nagain<brr>end\nHELP=#help.txt\nGREET=${GREETING} from ${PLACE}\n";
    game.put("data/strings.lng", table);
    game.put("data/help.txt", "Help<br>text\r\n");
    game.put("data/intro.txt", "Intro");
    // Language texts pass through the manifest's macros, some from a file.
    game.put("data/manifest.xml",
             manifestXml("", "<Fonts></Fonts>\n<Cursors></Cursors>\n<AtlasLists></AtlasLists>\n<Materials></Materials>\n"
                             "<ParticleGroups></ParticleGroups>\n<Macros>GREETING=Hi\n#texts\\macros.txt</Macros>\n"));
    game.put("data/texts/macros.txt", "PLACE=a file\n");
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("lng.txt"), "Hello\nWorld\nagain\r\nend|Help\ntext\n|Intro||Hi from a file");
    // Lookups without a default text never write to the table; the text
    // nodes' one lookup with an empty default appends its missing key.
    EXPECT_EQ(game.get("data/strings.lng"), table + "\nMENU.OPTIONS.TITLE=\n");
}

// Manifest text in UTF-8 with a byte-order mark reaches the game as the
// bytes of the 8-bit code page (here windows-1252). The start-up script's
// mark, run first and then preloaded, is no script text.
TEST(AcceptanceStartup, Utf8ManifestReachesTheGameInTheCodePage)
{
    GameDir game;
    game.write(Ini, "whenPlaying(function() { save(\"word.txt\", ::word); });\n");
    game.put("data/scripts/startup.nut", "\xEF\xBB\xBF" + game.get("data/scripts/startup.nut"));
    game.setEnv("LC_ALL", "C.UTF-8");
    game.put("data/manifest.xml",
             "\xEF\xBB\xBF" +
                 manifestXml("<InitialScriptCode val=\"::word &lt;- &quot;na\xC3\xAFve \xE2\x82\xAC&quot;;\"/>\n"));
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("word.txt"), "na\xEFve \x80");
}

// The WM_NAME lines of the display's named windows, decoded to UTF-8.
// Description values as the node factory reads them: "px" lengths scaled by
// the manifest's pixel size, integers that saturate instead of wrapping.
TEST(AcceptanceStartup, DescriptionLengthsInPixelsAndSaturatedIntegers)
{
    GameDir game;
    game.write(Ini,
               "whenPlaying(function() {\n"
               "  core_CreateSprite(\"sprites\\\\Box.SPR\", {});\n"
               "  local box = core_GetNode(\"box\");\n"
               "  save(\"box.txt\", box._w + \",\" + box._h + \",\" + core_GetNodeAttributeN(\"box\", \"big\") + \",\" +\n"
               "       core_GetNodeAttributeN(\"box\", \"low\"));\n"
               "});\n");
    game.put("data/manifest.xml", manifestXml("<Modifiers_DefaultPixelSize val=\"0.05\"/>\n"));
    game.put("data/sprites/box.spr", "-Texture: ?fill[c255,w4,h4]\r\n-Size: 40px\r\n-Name: box\r\n"
                                     "-Custom.Attributes: big[99999999999] low[-99999999999]\r\n");
    SRun run = game.run({});
    ASSERT_EQ(run.ExitCode, 0) << game.trace(run);
    EXPECT_EQ(game.get("box.txt"), "2,2,2147483647,-2147483647");
}

std::string windowNames(const XDisplay& display)
{
    return sample::commandOutput(display.command(
        "LC_ALL=C.UTF-8 sh -c 'for w in $(xdotool search --name . 2>/dev/null); do xprop -id $w WM_NAME 2>/dev/null; "
        "done'"));
}

// The window caption is the language text of the manifest's title key, in
// the table's code page; a key the table lacks shows as itself. The window
// icon is the picture the option "Icon" names.
TEST(AcceptanceStartup, WindowCaptionIsTheLocalizedTitle)
{
    if (!sample::hasCommand("xdotool") || !sample::hasCommand("xprop"))
        GTEST_SKIP() << "needs xdotool and xprop";
    for (bool known : {true, false}) {
        XDisplay display;
        if (display.name().empty())
            GTEST_SKIP() << "no Xvfb";
        GameDir game;
        game.write(Ini,
                   "whenPlaying(function() { save(\"playing.txt\", 1); core_SetTimeout(20000, \"core_CloseGame()\"); "
                   "return true; });\n");
        game.setEnv("LC_ALL", "C.UTF-8");
        game.put("data/manifest.xml", manifestXml("<DefaultWindowTitle val=\"MY.TITLE\"/>\n"));
        if (known)
            game.put("data/strings.lng", "MY.TITLE=Lantern Caf\xE9\n");
        game.put("art/icon.bmp", solidBmp(24, 200, 30, 30));
        pid_t pid = game.start({known ? "Icon=art\\icon.bmp" : "Icon=art\\missing.bmp"}, SScreen{true, display.name()});
        std::string expected = known ? "= \"Lantern Caf\xC3\xA9\"\n" : "= \"MY.TITLE\"\n";
        std::string names;
        bool shown = waitFor([&] {
            names = windowNames(display);
            return game.has("playing.txt") && contains(names, expected);
        });
        // The window icon from the file the option names, none for a missing one.
        std::string icon = sample::commandOutput(display.command(
            "sh -c 'for w in $(xdotool search --name . 2>/dev/null); do xprop -id $w _NET_WM_ICON 2>/dev/null | head -1; done'"));
        EXPECT_EQ(contains(icon, "Icon (24 x 24)"), known) << icon;
        kill(pid, SIGTERM);   // ends the game in order
        SRun run = game.finish(pid);
        EXPECT_TRUE(shown) << names;
        EXPECT_EQ(run.ExitCode, 0) << game.trace(run);
    }
}

} // namespace
