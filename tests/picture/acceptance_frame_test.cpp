// Whole frames of the engine: materials named by descriptions, the
// screenshot a script asks for, and the start on the software renderer when
// OpenGL cannot be had.
#include "acceptance_scene.h"

#include "fake_engine_client.h"
#include "node_base.h"
#include "rendering_stuff_textures.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <GL/gl.h>
#include <ICursorControl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace irr;

namespace {

constexpr int Tolerance = 3;

const char* const VertexProgram = "!!ARBvp1.0\n"
                                  "TEMP r;\n"
                                  "MUL r, program.local[4], vertex.position.x;\n"
                                  "MAD r, program.local[5], vertex.position.y, r;\n"
                                  "MAD r, program.local[6], vertex.position.z, r;\n"
                                  "MAD result.position, program.local[7], vertex.position.w, r;\n"
                                  "MOV result.color, vertex.color;\n"
                                  "MOV result.texcoord[0], vertex.texcoord[0];\n"
                                  "END\n";
// Grey by the 4-second saw tooth of the time constant, opaque.
const char* const FragmentProgram = "!!ARBfp1.0\n"
                                    "MOV result.color.xyz, program.local[5].z;\n"
                                    "MOV result.color.w, 1.0;\n"
                                    "END\n";

TEST(SceneMaterials, DescriptionsShadersAndUnknownNamesDrawAsDescribed)
{
    CAcceptanceScene scene;
    scene.writeImage("gui/blue.png", 4, 4, [](int, int) { return video::SColor(255, 0, 0, 255); });
    scene.writeImage("gui/green.png", 4, 4, [](int, int) { return video::SColor(255, 0, 200, 0); });
    scene.writeImage("gui/grey.png", 4, 4, [](int, int) { return video::SColor(255, 64, 64, 64); });
    scene.writeText("materials/oneone.txt", "-BlendSRC: D3DBLEND_ONE\n-BlendDST: D3DBLEND_ONE\n");
    scene.writeText("materials/timed.vp", VertexProgram);
    scene.writeText("materials/timed.fp", FragmentProgram);
    scene.writeText("materials/timed.txt", "-VertexShader:materials\\timed.vp\n-PixelShader:materials\\timed.fp\n");
    scene.Materials = "<MaterialType><InternalName val='oneone'/><FX val='materials\\oneone.txt'/></MaterialType>"
                      "<MaterialType><InternalName val='timed'/><FX val='materials\\timed.txt'/></MaterialType>";
    scene.MaterialClock = [] { return 4500u; };
    if (!scene.start(3, video::EDT_OPENGL))
        GTEST_SKIP() << "no display or no OpenGL";
    for (const SRecordedBox& box : scene.Boxes.Boxes)
        ADD_FAILURE() << "box: " << box.Text;

    scene.sprite("-Texture:gui\\blue.png\n-Size: w44 h34\n", {0, 0, 1});
    struct Case {
        const char* Description;
        float X;
        SPicturePixel Expected;
        const char* What;
    } cases[] = {
        {"-Texture:gui\\green.png\n-MaterialType: oneone\n", -12, {0, 200, 255}, "ONE/ONE adds the texture"},
        {"-Texture:gui\\green.png\n-MaterialType: timed\n", -4, {128, 128, 128}, "the shader at 4.5 s: c5.z is 0.5"},
        {"-Texture:gui\\grey.png\n-MaterialType: nosuchmaterial\n", 4, {128, 128, 255},
         "an unknown name is the additive one"},
        {"-Texture:gui\\grey.png\n", 12, {64, 64, 64}, "no name: alpha blending"},
    };
    for (const Case& c : cases)
        scene.sprite(std::string(c.Description) + "-Size: 4\n", {c.X, 3, 0});
    const CSceneFrame frame = scene.frame();
    ASSERT_TRUE(frame.isValid());
    for (const Case& c : cases) {
        EXPECT_TRUE(PixelNear(frame.atWorld(c.X, 3), c.Expected, Tolerance)) << c.What;
        // The shader's transform from c4..c7 puts the quad where the sprite is, nowhere else.
        EXPECT_TRUE(PixelNear(frame.atWorld(c.X, -3), {0, 0, 255}, Tolerance)) << c.What << ": below it";
    }
}

// The OpenGL back buffer, or the software frame, as the client sees it
// after the scene was drawn; rows top down.
std::vector<SPicturePixel> readFrameInClient(video::IVideoDriver* driver)
{
    std::vector<SPicturePixel> out;
    if (driver->getDriverType() == video::EDT_OPENGL) {
        std::vector<unsigned char> rgba(size_t(SceneWidth) * SceneHeight * 4);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, SceneWidth, SceneHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        for (int y = SceneHeight - 1; y >= 0; --y)
            for (int x = 0; x < SceneWidth; ++x) {
                const unsigned char* p = &rgba[(size_t(y) * SceneWidth + x) * 4];
                out.push_back(SPicturePixel{p[0], p[1], p[2]});
            }
    } else if (video::IImage* shot = driver->createScreenShot()) {
        for (int y = 0; y < SceneHeight; ++y)
            for (int x = 0; x < SceneWidth; ++x)
                out.push_back(ImagePixel(shot, x, y));
        shot->drop();
    }
    return out;
}

class SceneScreenshot : public testing::TestWithParam<SSceneDriver> {};

TEST_P(SceneScreenshot, AScriptsScreenshotIsTheNextFrameAsPresented)
{
    CAcceptanceScene scene;
    scene.writeImage("gui/ramp.png", 16, 16, [](int x, int y) { return video::SColor(255, x * 16, y * 16, 90); });
    if (!scene.start(GetParam().Renderer, GetParam().Type))
        GTEST_SKIP() << "no display or no " << GetParam().Name;
    scene.sprite("-Texture:gui\\ramp.png\n-Size: w30 h20\n", {-3, 2, 0});
    scene.step();
    scene.script("core_MakeScreenshot(\"shot\");");
    std::vector<SPicturePixel> presented;
    scene.Client->OnFrame = [&] { presented = readFrameInClient(scene.Engine->Driver); };
    // Written when its message is due, which may be a frame later on a fast
    // renderer; the scene stands still meanwhile.
    std::vector<std::filesystem::path> shots;
    for (int frame = 0; frame < 10 && shots.empty(); ++frame) {
        scene.step();
        for (const auto& entry : std::filesystem::directory_iterator((const char*)GetUserFolder()))
            if (entry.path().extension() == ".bmp")
                shots.push_back(entry.path());
    }
    scene.Client->OnFrame = nullptr;
    ASSERT_EQ(shots.size(), 1u) << "one BMP in the user folder " << (const char*)GetUserFolder();
    EXPECT_EQ(shots[0].filename().string().rfind("shot", 0), 0u) << shots[0];
    CSceneFrame shot(scene.Engine->Driver->createImageFromFile(shots[0].string().c_str()));
    ASSERT_TRUE(shot.isValid());
    ASSERT_EQ(shot.image()->getDimension(), core::dimension2du(SceneWidth, SceneHeight));
    ASSERT_EQ(presented.size(), size_t(SceneWidth) * SceneHeight);
    int differing = 0;
    for (int y = 0; y < SceneHeight; ++y)
        for (int x = 0; x < SceneWidth; ++x) {
            const SPicturePixel a = shot.at(x, y), b = presented[size_t(y) * SceneWidth + x];
            if ((a.r != b.r || a.g != b.g || a.b != b.b) && differing++ < 5)
                ADD_FAILURE() << "at " << x << "," << y << ": " << a << " in the file, " << b << " presented";
        }
    EXPECT_EQ(differing, 0);
    EXPECT_TRUE(PixelNear(shot.atWorld(-3, 2), {128, 128, 90}, 20)) << "the ramp's middle";
}

INSTANTIATE_TEST_SUITE_P(Drivers, SceneScreenshot, testing::ValuesIn(SceneDrivers),
                         [](const testing::TestParamInfo<SSceneDriver>& info) { return info.param.Name; });

// OpenGL refused at any depth; every other driver opens in the small window.
IrrlichtDevice* refuseOpenGL(const SIrrlichtCreationParameters& params)
{
    if (params.DriverType == video::EDT_OPENGL)
        return nullptr;
    SIrrlichtCreationParameters window = params;
    window.WindowSize = core::dimension2du(SceneWidth, SceneHeight);
    window.LoggingLevel = ELL_ERROR;
    return CreatePictureDevice(window);
}

TEST(SceneSoftwareFallback, TheGameStartsOnTheSoftwareRendererWithoutItsExtras)
{
    CAcceptanceScene scene;
    scene.writeImage("gui/blue.png", 4, 4, [](int, int) { return video::SColor(255, 0, 0, 255); });
    scene.writeImage("gui/cut.png", 8, 8, [](int x, int) {
        return x < 4 ? video::SColor(0, 255, 255, 255) : video::SColor(255, 255, 0, 0);
    });
    scene.writeImage("gui/cursor.png", 8, 8, [](int, int) { return video::SColor(255, 0, 255, 0); });
    scene.Cursors = "<Cursor><InternalName val='arrow'/><Texture val='gui\\cursor.png'/><SpritesX val='1'/></Cursor>";
    scene.AtlasLists = "<AtlasList><InternalName val='sheet'/><Data>gui\\cut.png</Data></AtlasList>";
    scene.useOwnDisplay();   // the test moves the pointer
    if (!scene.start(3, refuseOpenGL))
        GTEST_SKIP() << "no display";
    ASSERT_EQ(scene.Engine->Driver->getDriverType(), video::EDT_BURNINGSVIDEO);
    const std::string log = (const char*)GetDebugLogBuffer()->Text;
    const size_t depth = log.find("Failed to create 3D device... Defaulting to 16b mode...");
    const size_t software = log.find("Failed to create 3D device... Defaulting to software mode...");
    ASSERT_NE(depth, std::string::npos) << log;
    ASSERT_NE(software, std::string::npos) << log;
    EXPECT_LT(depth, software);
    EXPECT_EQ(scene.Engine->Options.SoftwareRenderer, 1);

    // No atlases: the listed image is a texture of its own.
    EXPECT_EQ(getAtlasMaxSize(), core::dimension2di(0, 0));
    const STextureRegion cut = retrieveTexture("gui\\cut.png");
    ASSERT_NE(cut.Texture, nullptr);
    EXPECT_EQ(cut.Texture->getOriginalSize(), core::dimension2du(8, 8));

    // No frame limiter: a frame never waits.
    {
        CYieldingClock clock;
        scene.step();
        EXPECT_TRUE(clock.Sleeps.empty()) << clock.Sleeps.size() << " waits";
    }

    // The system cursor, though the profile asks for the custom one.
    scene.Engine->getProfile()->CursorFace = 1;
    scene.Engine->Device->getCursorControl()->setPosition(core::position2di(SceneWidth / 2 + 10, SceneHeight / 2));
    scene.sprite("-Texture:gui\\blue.png\n-Size: w44 h34\n", {0, 0, 1});
    scene.sprite("-Texture:gui\\cut.png\n-Size: 8\n");
    const CSceneFrame frame = scene.frame();
    ASSERT_TRUE(frame.isValid());
    EXPECT_TRUE(scene.Engine->Device->getCursorControl()->isVisible());
    EXPECT_TRUE(PixelNear(frame.atWorld(-2, 0), {0, 0, 255}, Tolerance)) << "the cut-out shows what is behind";
    EXPECT_TRUE(PixelNear(frame.atWorld(2, 0), {255, 0, 0}, Tolerance)) << "the opaque half";
    EXPECT_TRUE(PixelNear(frame.atWorld(3, 0), {255, 0, 0}, Tolerance)) << "no custom cursor drawn over it";
}

TEST(SceneFrameLimiter, TheHardwareRendererWaitsOutItsFramePeriod)
{
    CAcceptanceScene scene;
    if (!scene.start(3, video::EDT_OPENGL))
        GTEST_SKIP() << "no display or no OpenGL";
    CYieldingClock clock;
    scene.step();
    EXPECT_FALSE(clock.Sleeps.empty()) << "the same frame on OpenGL yields until 12 ms have passed";
}

} // namespace
