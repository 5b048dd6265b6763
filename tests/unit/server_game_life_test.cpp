// The whole program life in one process: a program folder with game.ini,
// archives and a manifest with fonts and cursors, run headless to its end.
#include "module_enginebase.h"

#include "fake_engine_client.h"
#include "font_fixtures.h"
#include "msgbox_recorder.h"
#include "rendering_font.h"
#include "rendering_stuff_textures.h"
#include "server_game_manifest.h"
#include "temp_folder.h"
#include "thread.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <IrrlichtDevice.h>
#include <irrlicht.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::string fontItem(const char* name, const char* file, const char* extra = "")
{
    return std::string("<Font><InternalName val=\"") + name + "\"/><Description val=\"" + file + "\"/>" + extra +
           "</Font>";
}

std::string cursorItem(const char* name, const char* texture)
{
    return std::string("<Cursor><InternalName val=\"") + name + "\"/><Texture val=\"" + texture + "\"/></Cursor>";
}

// A program folder below a temporary one; the engine's folders point into it.
class ProgramLife : public ::testing::Test {
protected:
    void SetUp() override
    {
        App = Folder.path() + "app/";
        std::filesystem::create_directories(App + "data/fonts");
        std::filesystem::create_directories(App + "Profile");   // the user folder
        SetAppFolder(App.c_str());
        SetLogFolder(Folder.path().c_str());
        ResetUserFolder();
        irr::IrrlichtDevice* device = irr::createDevice(irr::video::EDT_NULL);
        ASSERT_TRUE(WriteMonospaceFontImage(device->getVideoDriver(), App + "data/fonts/mono.png"));
        device->drop();
        Folder.write("app/data/fonts/mono.xml", MonospaceFontSingleQuote("mono.png"));
        Folder.write("app/data/fonts/one.xml", "<font><texture>mono.png</texture>"
                                               "<char l='0' t='0' r='8' b='20' ascii='32'/></font>");
    }

    void TearDown() override
    {
        CManifest::stored().clear();
        ClearTextFileCache();
        ClearNativePathCache();
        ResetUserFolder();
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
    }

    void writeManifest(const std::string& fonts, const std::string& cursors = "")
    {
        Folder.write("app/data/manifest.xml", "<Manifest><Fonts>" + fonts + "</Fonts><Cursors>" + cursors +
                                                  "</Cursors><AtlasLists></AtlasLists><Materials></Materials>"
                                                  "<ParticleGroups></ParticleGroups></Manifest>");
    }

    CTempFolder Folder;
    std::string App;
    CMessageBoxRecorder Boxes;
};

TEST_F(ProgramLife, RunsFromOptionsToSavedOptions)
{
    for (const char* pack : {"one", "two", "four"})
        std::filesystem::create_directories(App + "packs/" + pack);
    Folder.write("app/game.ini", "NullDriver=1\nSound=0\nActiveProfile=Runner\nVFSPak_1=packs\\One\n"
                                 "VFSPak_2=packs\\two\nVFSPak_4=packs\\four\n");
    writeManifest(fontItem("Main", "fonts\\mono.xml", "<Kerning val=\"0.25\"/><BaseLine val=\"0.5\"/>") +
                  fontItem("Small", "fonts\\mono.xml"),
                  cursorItem("missing", "gui\\nothing.png") + cursorItem("arrow", "fonts\\mono.png"));

    CEngineBase engine;
    CFakeEngineClient* client = new CFakeEngineClient;
    int frames = 0;
    CGUIFont3D* mainFont = nullptr;
    float kerning = 0.0f, baseLine = 0.0f;
    client->OnFrame = [&] {
        if (frames++ == 0) {
            mainFont = engine.DefaultFont;
            kerning = mainFont ? mainFont->getKerningWidthRef() : 0.0f;
            baseLine = mainFont ? mainFont->BaseLine : 0.0f;
            EXPECT_EQ(engine.Fonts.size(), 2u);
            EXPECT_EQ(engine.Cursors.GetSize(), 1) << "a cursor without its texture is skipped";
            EXPECT_EQ(engine.CurrentCursor, engine.Cursors.GetSize() ? engine.Cursors[0] : nullptr);
            EXPECT_EQ(client->getFont("Small<font-size:2>"), engine.Fonts.find("Small")->getValue());
        }
        if (frames == 3)
            engine.requestExit();
    };
    EXPECT_TRUE(engine.runEngine(client));
    client->drop();

    EXPECT_EQ(frames, 3);
    EXPECT_NE(mainFont, nullptr);
    EXPECT_FLOAT_EQ(kerning, 0.25f);
    EXPECT_FLOAT_EQ(baseLine, 0.5f);
    EXPECT_STREQ(engine.MountedArchives, "onetwodata") << "the archive after a gap is never mounted";
    EXPECT_EQ(engine.Device, nullptr);
    EXPECT_EQ(CTextureCache::instance().size(), 0) << "no cached texture may outlive its driver";
    EXPECT_EQ(engine.Fonts.size(), 0u);
    EXPECT_EQ(engine.DefaultFont, nullptr);
    EXPECT_EQ(engine.GameState, 999);
    EXPECT_FALSE(CManifest::stored().isLoaded()) << "the manifest is torn down at the end";
    EXPECT_NE(Folder.read("app/Profile/game_options.ini").find("ActiveProfile=Runner\n"), std::string::npos);
}

TEST_F(ProgramLife, ExitLevelAfterOptionsStopsBeforeTheDevice)
{
    Folder.write("app/game.ini", "NullDriver=1\nSound=0\nVersion=3.1\n");
    CEngineBase engine;
    CFakeEngineClient* client = new CFakeEngineClient;
    engine.setPauseLevel(90, true);
    EXPECT_FALSE(engine.runEngine(client));
    client->drop();
    std::string log = (const char*)GetDebugLogBuffer()->Text;
    EXPECT_NE(log.find("Version:3.1, Footprint:[$COMPFOOTPRINT: DEBUG"), std::string::npos)
        << "the footprint is known before the options log it";
    EXPECT_EQ(engine.Device, nullptr);
    EXPECT_EQ(engine.GameState, 10);
}

TEST_F(ProgramLife, FontWithOneGlyphIsFatal)
{
    Folder.write("app/game.ini", "NullDriver=1\nSound=0\n");
    writeManifest(fontItem("Broken", "fonts\\one.xml"));
    EXPECT_EXIT(
        {
            platform::ForgetMainThread();   // a forked child runs on a thread id of its own
            CEngineBase engine;
            CFakeEngineClient* client = new CFakeEngineClient;
            engine.runEngine(client);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(Folder.read("last_scriptcomp_error_alert.log").find("Font are not initialized well!"),
              std::string::npos);
}

} // namespace
