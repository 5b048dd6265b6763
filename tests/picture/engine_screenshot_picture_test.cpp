// Screenshots asked for through the engine message queue hold the frame just
// drawn, on the real drivers under a display.
#include "module_enginebase.h"

#include "fake_engine_client.h"
#include "server_game_manifest.h"
#include "temp_folder.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <irrlicht.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class Screenshot : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no display";
        std::filesystem::create_directories(Root + "Profile");
        std::ofstream(Root + "manifest.xml") << "<Manifest><Fonts/><Cursors/><AtlasLists/><Materials/>"
                                                "<ParticleGroups/></Manifest>";
        SetAppFolder(Root.c_str());
        ResetUserFolder();
        CManifest::stored().readFrom((Root + "manifest.xml").c_str());
    }
    void TearDown() override
    {
        CManifest::stored().clear();
        ResetUserFolder();
        SetAppFolder(nullptr);
        ClearNativePathCache();
    }

    CTempFolder Folder;
    const std::string Root = Folder.path();
};

TEST_P(Screenshot, HoldsTheFrameJustDrawn)
{
    CEngineBase engine;
    CFakeEngineClient* client = new CFakeEngineClient;
    engine.setClient(client);
    client->drop();
    engine.Options.Renderer = GetParam();
    engine.Options.BitsPerPixel = 32;
    engine.Options.Sound = 0;
    engine.createDevice();
    ASSERT_NE(engine.Driver, nullptr);
    engine.beginRun();
    irr::video::SColor colour(255, 200, 40, 10);
    client->OnFrame = [&] { engine.Driver->draw2DRectangle(colour, irr::core::recti(0, 0, 120, 90)); };

    // Named as the game names it, with a Windows separator before the file.
    std::string path = Root + "Profile/shot.png";
    std::string asked = Root + "Profile\\shot.png";
    engine.Queue.postMessage(EngineMessageScreenshot, 0, reinterpret_cast<uintptr_t>(strdup(asked.c_str())), 1);
    ASSERT_TRUE(engine.runFrame());
    EXPECT_EQ(engine.Queue.getCount(), 0);

    irr::video::IImage* image = engine.Driver->createImageFromFile(path.c_str());
    ASSERT_NE(image, nullptr) << "the screenshot was not written";
    irr::video::SColor inside = image->getPixel(20, 20);
    irr::video::SColor outside = image->getPixel(300, 300);
    EXPECT_NEAR(int(inside.getRed()), 200, 2);
    EXPECT_NEAR(int(inside.getGreen()), 40, 2);
    EXPECT_NEAR(int(inside.getBlue()), 10, 2);
    EXPECT_EQ(outside.getRed(), 0u) << "cleared to black where nothing is drawn";
    image->drop();
    engine.endRun();
}

// 3: the hardware renderer (OpenGL); 2: Burning's Video.
INSTANTIATE_TEST_SUITE_P(Drivers, Screenshot, ::testing::Values(3, 2));

} // namespace

namespace {

class WindowIcon : public Screenshot {};

TEST_F(WindowIcon, ReachesTheX11Window)
{
    if (std::system("command -v xprop >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no xprop";
    CEngineBase engine;
    engine.Options.Renderer = 3;
    engine.Options.BitsPerPixel = 32;
    engine.createDevice();
    ASSERT_NE(engine.Driver, nullptr);
    if (engine.Driver->getDriverType() != irr::video::EDT_OPENGL)
        GTEST_SKIP() << "no OpenGL";

    irr::video::IImage* icon = engine.Driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(6, 4));
    icon->fill(irr::video::SColor(255, 0, 128, 255));
    ASSERT_TRUE(engine.Driver->writeImageToFile(icon, (Root + "icon.png").c_str()));
    icon->drop();

    EXPECT_FALSE(engine.setWindowIcon(CString(Root.c_str()) + "missing.png"));
    ASSERT_TRUE(engine.setWindowIcon(CString(Root.c_str()) + "icon.png"));
    unsigned long window = engine.Driver->getExposedVideoData().OpenGLLinux.X11Window;
    std::string command = "xprop -id " + std::to_string(window) + " _NET_WM_ICON 2>&1";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        pclose(pipe);
    }
    EXPECT_NE(output.find("6 x 4"), std::string::npos) << output;
}

} // namespace
