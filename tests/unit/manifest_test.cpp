// The manifest: every section read through a null device's file system,
// defaults, the post-load folders, custom settings, macros with includes,
// transliterators, the engine context's answers and the stops on bad files.
#include "server_game_manifest.h"

#include "msgbox.h"
#include "null_file_system.h"
#include "temp_folder.h"
#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

const char* const EmptyLists =
    "<Fonts></Fonts>\n<Cursors></Cursors>\n<AtlasLists></AtlasLists>\n"
    "<Materials></Materials>\n<ParticleGroups></ParticleGroups>\n";

const char* const FullManifest = R"(<?xml version="1.0"?>
<Manifest>
  <!-- every section, in order -->
  <InitialScriptFile val="scripts\boot.nut"/>
  <InitialScriptCode val="x &lt;- 1;"/>
  <SoundFolder val="snd\"/>
  <MusicFolder val="snd\tunes\"/>
  <DefaultLngFile val="lang\texts.txt"/>
  <DefaultWindowTitle val="MY.TITLE"/>
  <Modifiers_DefaultPixelSize val="0.5"/>
  <Fonts>
    <Font>
      <InternalName val="main"/>
      <Description val="fonts\main.xml"/>
      <EmbedIcons val="icons"/>
      <Scale val="1.5"/>
      <Kerning val="-1"/>
      <KerningSpace val="2"/>
      <LineSpace val="3"/>
      <BaseLine val="4"/>
      <Filtering val="1"/>
      <Transliterator val="tr\caps.xml"/>
    </Font>
    <Font>
      <InternalName val="small"/>
      <Description val="fonts\small.xml"/>
    </Font>
  </Fonts>
  <Cursors>
    <Cursor>
      <InternalName val="arrow"/>
      <Texture val="gui\arrow.png"/>
      <SpritesX val="4"/>
      <SpritesY val="2"/>
      <HotSpotX val="3"/>
      <HotSpotX val="5"/>
    </Cursor>
    <Cursor>
      <InternalName val="hand"/>
      <Texture val="gui\hand.png"/>
      <HotSpotX val="3"/>
    </Cursor>
  </Cursors>
  <AtlasLists>
    <AtlasList>
      <InternalName val="gui"/>
      <Data>gui\a.png
gui\b.png</Data>
    </AtlasList>
  </AtlasLists>
  <Materials>
    <MaterialType>
      <InternalName val="glow"/>
      <FX val="-Blend:add"/>
    </MaterialType>
  </Materials>
  <ParticleGroups>
    <ParticleGroup>
      <InternalName val="sparks"/>
      <Data val="-Max:40"/>
    </ParticleGroup>
  </ParticleGroups>
  <AdditionalIniOptions>Extra=1
</AdditionalIniOptions>
  <CustomSettings>
Option[DebugLineFormat]=fps %i
OptionLong[Lines]=3
</CustomSettings>
  <Macros>
 NAME = value 
A=1
</Macros>
</Manifest>
)";

std::string manifestWith(const std::string& before, const std::string& after)
{
    return "<Manifest>\n" + before + EmptyLists + after + "</Manifest>\n";
}

void ignoreAssert(const char*, int, const char*) {}

// The engine's side of the context, answered plainly.
class CTestContext : public CManifestEngineContext {
public:
    irr::io::IFileSystem* getFileSystem() override { return nullptr; }
    int isDebugMode() override { return 0; }
    int* getAppActiveFlag() override { return &Active; }
    char* getFullscreenFlag() override { return &Fullscreen; }
    const CString& getAppDataFolder() override { return AppData; }

    int Active = 0;
    char Fullscreen = 0;
    CString AppData;
};

// A program folder whose "data" folder is mounted into a null device, as
// the engine mounts it; data paths resolve as after the manifest has loaded.
class ManifestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(App.file("data"));
        ASSERT_TRUE(Device.get());
        SetAppFolder(App.path().c_str());
        SetLogFolder(App.path().c_str());
        GetDefaultEngineContext().ManifestLoaded = true;
    }

    void TearDown() override
    {
        CManifest::stored().clear();
        GetDefaultEngineContext().ManifestLoaded = false;
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
    }

    void mount() { Mounted = Mounted || Device.mount(App.file("data"), true); }

    void writeData(const std::string& name, const std::string& text)
    {
        std::filesystem::create_directories(std::filesystem::path(App.file("data/" + name)).parent_path());
        App.write("data/" + name, text);
    }

    void read(CManifest& manifest, const std::string& text)
    {
        writeData("manifest.xml", text);
        mount();
        ClearTextFileCache();
        manifest.readFrom((App.path() + "data\\manifest.xml").c_str());
    }

    CTempFolder App;
    CNullFileSystem Device;
    bool Mounted = false;
};

TEST_F(ManifestTest, ReadsEverySection)
{
    CManifest manifest;
    read(manifest, FullManifest);
    ASSERT_TRUE(manifest.isLoaded());
    EXPECT_EQ(std::string(manifest.InitialScriptFile), "scripts\\boot.nut");
    EXPECT_EQ(std::string(manifest.InitialScriptCode), "x <- 1;");
    EXPECT_EQ(std::string(manifest.SoundFolder), App.path() + "data\\snd\\");
    EXPECT_EQ(std::string(manifest.MusicFolder), App.path() + "data\\snd\\tunes\\");
    EXPECT_EQ(std::string(manifest.DefaultLngFile), "lang\\texts.txt");
    EXPECT_EQ(std::string(manifest.LngFileExtension), ".txt");
    EXPECT_EQ(std::string(manifest.LngFileBaseName), "texts");
    EXPECT_EQ(std::string(manifest.DefaultWindowTitle), "MY.TITLE");
    EXPECT_FLOAT_EQ(manifest.Modifiers_DefaultPixelSize, 0.5f);

    ASSERT_EQ(manifest.Fonts.GetSize(), 2);
    const CManifestFont& main = *manifest.Fonts[0];
    EXPECT_EQ(std::string(main.InternalName), "main");
    EXPECT_EQ(std::string(main.Description), "fonts\\main.xml");
    EXPECT_EQ(std::string(main.EmbedIcons), "icons");
    EXPECT_FLOAT_EQ(main.Scale, 1.5f);
    EXPECT_FLOAT_EQ(main.Kerning, -1.0f);
    EXPECT_FLOAT_EQ(main.KerningSpace, 2.0f);
    EXPECT_FLOAT_EQ(main.LineSpace, 3.0f);
    EXPECT_FLOAT_EQ(main.BaseLine, 4.0f);
    EXPECT_EQ(main.Filtering, 1);
    EXPECT_EQ(std::string(main.Transliterator), "tr\\caps.xml");
    const CManifestFont& small = *manifest.Fonts[1];
    EXPECT_EQ(std::string(small.InternalName), "small");
    EXPECT_FLOAT_EQ(small.Scale, 1.0f);
    EXPECT_FLOAT_EQ(small.Kerning, 0.0f);
    EXPECT_EQ(small.Filtering, 0);
    EXPECT_TRUE(small.EmbedIcons.IsEmpty());

    ASSERT_EQ(manifest.Cursors.GetSize(), 2);
    const CManifestCursor& arrow = *manifest.Cursors[0];
    EXPECT_EQ(std::string(arrow.Texture), "gui\\arrow.png");
    EXPECT_EQ(arrow.SpritesX, 4);
    EXPECT_EQ(arrow.SpritesY, 2);
    EXPECT_EQ(arrow.HotSpotX, 3);
    EXPECT_EQ(arrow.HotSpotY, 5);
    const CManifestCursor& hand = *manifest.Cursors[1];
    EXPECT_EQ(hand.SpritesX, 8);
    EXPECT_EQ(hand.SpritesY, 1);
    EXPECT_EQ(hand.HotSpotX, 3);
    EXPECT_EQ(hand.HotSpotY, 0);

    ASSERT_EQ(manifest.AtlasLists.GetSize(), 1);
    EXPECT_EQ(std::string(manifest.AtlasLists[0]->InternalName), "gui");
    EXPECT_EQ(std::string(manifest.AtlasLists[0]->Data), "gui\\a.png\ngui\\b.png");
    ASSERT_EQ(manifest.MaterialTypes.GetSize(), 1);
    EXPECT_EQ(std::string(manifest.MaterialTypes[0]->FX), "-Blend:add");
    ASSERT_EQ(manifest.ParticleGroups.GetSize(), 1);
    EXPECT_EQ(std::string(manifest.ParticleGroups[0]->InternalName), "sparks");
    EXPECT_EQ(std::string(manifest.ParticleGroups[0]->Data), "-Max:40");

    EXPECT_EQ(std::string(manifest.AdditionalIniOptions), "Extra=1\n");
    EXPECT_EQ(std::string(manifest.Settings.getString("DebugLineFormat", "")), "fps %i");
    EXPECT_EQ(manifest.Settings.getInt("Lines", 0), 3);
    EXPECT_EQ(std::string(manifest.getMacro("NAME ")), " value");   // trimmed only at the line's ends
    EXPECT_EQ(std::string(manifest.getMacro("A")), "1");
    EXPECT_TRUE(manifest.getMacro("NAME").IsEmpty());
}

TEST_F(ManifestTest, EmptyListsGiveDefaults)
{
    CManifest manifest;
    read(manifest, manifestWith("", ""));
    ASSERT_TRUE(manifest.isLoaded());
    EXPECT_EQ(std::string(manifest.InitialScriptFile), "scripts\\startup.nut");
    EXPECT_TRUE(manifest.InitialScriptCode.IsEmpty());
    EXPECT_EQ(std::string(manifest.SoundFolder), App.path() + "data\\sounds\\");
    EXPECT_EQ(std::string(manifest.MusicFolder), App.path() + "data\\sounds\\music\\");
    EXPECT_EQ(std::string(manifest.DefaultLngFile), "strings.lng");
    EXPECT_EQ(std::string(manifest.LngFileExtension), ".lng");
    EXPECT_EQ(std::string(manifest.LngFileBaseName), "strings");
    EXPECT_EQ(std::string(manifest.DefaultWindowTitle), "GAME.TITLE");
    EXPECT_FLOAT_EQ(manifest.Modifiers_DefaultPixelSize, 1.0f);
    EXPECT_EQ(manifest.Fonts.GetSize() + manifest.Cursors.GetSize() + manifest.AtlasLists.GetSize() +
                  manifest.MaterialTypes.GetSize() + manifest.ParticleGroups.GetSize(),
              0);
    EXPECT_EQ(manifest.MacroTable.GetCount(), 0);
}

TEST_F(ManifestTest, ListsWrittenAsEmptyElementsAreEmpty)
{
    CManifest manifest;
    read(manifest, "<Manifest>\n<Fonts/>\n<Cursors/>\n<AtlasLists></AtlasLists>\n<Materials/>\n"
                   "<ParticleGroups/>\n</Manifest>\n");
    ASSERT_TRUE(manifest.isLoaded());
    EXPECT_EQ(manifest.Fonts.GetSize() + manifest.Cursors.GetSize() + manifest.MaterialTypes.GetSize() +
                  manifest.ParticleGroups.GetSize(),
              0);
    EXPECT_TRUE(manifest.AdditionalIniOptions.IsEmpty());

    CManifest withItems;
    read(withItems, "<Manifest><Fonts/><Cursors><Cursor><InternalName val=\"c\"/><Texture val=\"t.png\"/>"
                    "</Cursor></Cursors><AtlasLists/><Materials/><ParticleGroups/>"
                    "<Macros val=\"M=1\"/></Manifest>");
    ASSERT_EQ(withItems.Cursors.GetSize(), 1);
    EXPECT_EQ(std::string(withItems.Cursors[0]->Texture), "t.png");
    EXPECT_EQ(std::string(withItems.getMacro("M")), "1");
}

TEST_F(ManifestTest, BracketSettingsAbsoluteFoldersAndByteOrderMark)
{
    CManifest manifest;
    read(manifest, "\xEF\xBB\xBF" + manifestWith("<SoundFolder val=\"/abs/snd/\"/>\n",
                                                 "<CustomSettings val=\"Speed[2] Name[Bob]\"/>\n"));
    EXPECT_EQ(std::string(manifest.SoundFolder), App.path() + "data\\/abs/snd/");   // kept as the file has it
    EXPECT_EQ(manifest.Settings.getInt("Speed", 0), 2);
    EXPECT_EQ(std::string(manifest.Settings.getString("Name", "")), "Bob");
}

TEST_F(ManifestTest, MacroLinesAndIncludes)
{
    const std::string longValue(10005, 'v');
    writeData("m1.txt", "C=3\n#m2.txt\n");
    writeData("m2.txt", "D=4\nC=5\n#m1.txt\n");   // includes m1 again: skipped
    writeData("self.txt", "E=6\n#self.txt\n");
    CManifest manifest;
    read(manifest, manifestWith("", "<Macros>\n#m1.txt\nC=1\nB=" + longValue +
                                        "\nnoequals\n\t#missing.txt\n#self.txt\n  K==x= \n</Macros>\n"));
    // m1's lines come after every line already listed, then m2's after them
    EXPECT_EQ(std::string(manifest.getMacro("C")), "5");
    EXPECT_EQ(std::string(manifest.getMacro("D")), "4");
    EXPECT_EQ(std::string(manifest.getMacro("E")), "6");
    EXPECT_EQ(manifest.getMacro("B").GetLength(), 10000);
    EXPECT_EQ(std::string(manifest.getMacro("K")), "=x=");
    EXPECT_TRUE(manifest.getMacro("noequals").IsEmpty());
    EXPECT_EQ(manifest.MacroTable.GetCount(), 5);
}

TEST_F(ManifestTest, ReadingAgainForgetsTheLastMacros)
{
    CManifest manifest;
    read(manifest, manifestWith("", "<Macros>\nOLD=1\nBOTH=1\n</Macros>\n"));
    ASSERT_EQ(std::string(manifest.getMacro("OLD")), "1");
    read(manifest, manifestWith("", "<Macros>\nBOTH=2\n</Macros>\n"));
    EXPECT_TRUE(manifest.getMacro("OLD").IsEmpty());
    EXPECT_EQ(std::string(manifest.getMacro("BOTH")), "2");
    CString text = "${OLD}";
    manifest.expandMacros(text);
    EXPECT_EQ(std::string(text), "${OLD}");
}

TEST_F(ManifestTest, ExpandMacrosIsOnePass)
{
    CManifest manifest;
    read(manifest, manifestWith("", "<Macros>\nA=1\nLONG=${A}${A}\n</Macros>\n"));
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"no dollar {A}", "no dollar {A}"},
        {"${A}+${A}=2", "1+1=2"},
        {"${MISSING} ${A}", "${MISSING} 1"},
        {"$A {A}", "$A {A}"},
    };
    for (const Case& c : cases) {
        CString text = c.text;
        manifest.expandMacros(text);
        EXPECT_EQ(std::string(text), c.expected);
    }
    // A reference inside a value is expanded only when its macro comes later in the table.
    std::string order;
    CString name, value;
    for (POSITION pos = manifest.MacroTable.GetStartPosition(); pos;) {
        manifest.MacroTable.GetNextAssoc(pos, name, value);
        order += std::string(name) + ";";
    }
    bool aAfterLong = order.find("A;") > order.find("LONG;");
    CString text = "${LONG}";
    manifest.expandMacros(text);
    EXPECT_EQ(std::string(text), aAfterLong ? "11" : "${A}${A}") << order;
}

TEST_F(ManifestTest, TransliteratorIsReadOnceAndKeepsUnmatchedCharacters)
{
    writeData("tr/swap.xml", "<transliterator><in val=\"abx\"/><to val=\"ba\"/></transliterator>");
    CManifest manifest;
    read(manifest, manifestWith("", ""));
    CString text = "abcx";
    manifest.transliterate(text, "tr\\swap.xml");
    EXPECT_EQ(std::string(text), "bacx");   // x has no counterpart
    std::filesystem::remove(App.file("data/tr/swap.xml"));
    ClearTextFileCache();
    CString again = "bba";
    manifest.transliterate(again, "tr\\swap.xml");
    EXPECT_EQ(std::string(again), "aab");
}

TEST_F(ManifestTest, InstanceReadsOnceUntilCleared)
{
    writeData("manifest.xml", manifestWith("<DefaultWindowTitle val=\"FIRST\"/>\n", ""));
    mount();
    EXPECT_FALSE(CManifest::stored().isLoaded());
    EXPECT_EQ(std::string(getManifest().DefaultWindowTitle), "FIRST");
    EXPECT_EQ(&getManifest(), &CManifest::stored());

    writeData("manifest.xml", manifestWith("<DefaultWindowTitle val=\"SECOND\"/>\n", ""));
    ClearTextFileCache();
    EXPECT_EQ(std::string(getManifest().DefaultWindowTitle), "FIRST");
    getManifest().clear();
    EXPECT_FALSE(CManifest::stored().isLoaded());
    EXPECT_EQ(std::string(getManifest().DefaultWindowTitle), "SECOND");
}

TEST_F(ManifestTest, EngineContextAnswersDefaultsUntilLoaded)
{
    CTestContext context;
    EXPECT_FALSE(context.isManifestLoaded());
    EXPECT_EQ(std::string(context.getSoundFolder()), "sounds\\");
    EXPECT_EQ(std::string(context.getMusicFolder()), "sounds\\music\\");
    EXPECT_EQ(std::string(context.getDefaultLngFile()), "strings.lng");
    EXPECT_FLOAT_EQ(context.getDefaultPixelSize(), 1.0f);

    writeData("manifest.xml", manifestWith("<SoundFolder val=\"sfx\\\"/>\n<DefaultLngFile val=\"de.lng\"/>\n"
                                           "<Modifiers_DefaultPixelSize val=\"2\"/>\n",
                                           "<Macros>\nW=world\n</Macros>\n"));
    mount();
    getManifest();
    EXPECT_TRUE(context.isManifestLoaded());
    EXPECT_EQ(std::string(context.getSoundFolder()), App.path() + "data\\sfx\\");
    EXPECT_EQ(std::string(context.getDefaultLngFile()), "de.lng");
    EXPECT_FLOAT_EQ(context.getDefaultPixelSize(), 2.0f);
    CString text = "hello ${W}";
    context.expandMacros(text);
    EXPECT_EQ(std::string(text), "hello world");
}

using ManifestDeathTest = ManifestTest;

TEST_F(ManifestDeathTest, MissingOrMalformedManifestStopsWithTheStorageMessage)
{
    struct Case {
        const char* text;   // null: no file
        const char* message;
    };
    const Case cases[] = {
        {nullptr, "Wrong XML: .*'Manifest'"},
        {"<Manifest>\n<Cursors></Cursors>\n</Manifest>\n", "'Cursors' found while seeking for 'Fonts'"},
        {"<Manifest>\n<Fonts><Cursor><InternalName val=\"x\"/></Cursor></Fonts>",
         "'Cursor' found while seeking for 'Font'"},
        {"<Manifest>\n<Fonts><Font><InternalName val=\"x\"/></Font></Fonts>",
         "'Cursor' found while seeking for 'Font'|failed to find 'Description'"},
        {"<Manifest>\n<Fonts>\n", "Wrong XML: the text ends"},
        {"not xml at all", "Wrong XML"},
    };
    platform::SetBoxesInteractive(0);
    SetAssertHook(ignoreAssert);
    for (const Case& c : cases) {
        std::filesystem::remove(App.file("data/manifest.xml"));
        if (c.text)
            writeData("manifest.xml", c.text);
        mount();
        ClearTextFileCache();
        EXPECT_EXIT(CManifest::instance(), testing::ExitedWithCode(1), c.message) << (c.text ? c.text : "(none)");
    }
    SetAssertHook(nullptr);
    platform::SetBoxesInteractive(-1);
}

}  // namespace
