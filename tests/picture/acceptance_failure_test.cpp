// The ways a game's data can fail in a whole engine on OpenGL: a sprite whose
// texture is missing and a font without its texture end the program with the
// engine's message; a particle group's budget refuses sprites beyond it.
#include "acceptance_scene.h"

#include "font_fixtures.h"

#include "node_base.h"
#include "node_utilities.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace irr;

namespace {

struct SFatalCase {
    const char* Name;
    void (*Prepare)(CAcceptanceScene& scene);   // before start
    const char* Sprite;                         // made in play, or none
    int ExitCode;
    const char* Message;                        // in the alert file; none: no alert
};

void writeRed(CAcceptanceScene& scene)
{
    scene.writeImage("gui/red.png", 4, 4, [](int, int) { return video::SColor(255, 255, 0, 0); });
}

// A whole font whose file names its texture; the texture is written only when asked.
void writeFont(CAcceptanceScene& scene, bool withTexture)
{
    scene.writeText("fonts/mono.xml", MonospaceFontDoubleQuote("mono.png"));
    if (withTexture)
        scene.writeImage("fonts/mono.png", 16, 16, [](int, int) { return video::SColor(255, 255, 255, 255); });
    scene.Fonts = "<Font><InternalName val='mono'/><Description val='fonts\\mono.xml'/></Font>";
}

// By name: printed as bytes, the padding would be read uninitialised.
void PrintTo(const SFatalCase& c, std::ostream* out)
{
    *out << c.Name;
}

class SceneFatal : public testing::TestWithParam<SFatalCase> {};

TEST_P(SceneFatal, ExitCodeAndAlertFollowTheData)
{
    if (!HasPictureDisplay())
        GTEST_SKIP() << "no display";
    // Forked, so the child writes into this scene's folder; nothing here has started a thread or a window.
    testing::FLAGS_gtest_death_test_style = "fast";
    const SFatalCase& c = GetParam();
    CAcceptanceScene scene;
    c.Prepare(scene);
    EXPECT_EXIT(
        {
            if (scene.start(3, video::EDT_OPENGL) && c.Sprite)
                scene.sprite(c.Sprite);
            std::exit(0);   // nothing stopped the program
        },
        testing::ExitedWithCode(c.ExitCode), "");
    const std::string alert = scene.Folder.read("last_scriptcomp_error_alert.log");
    if (c.Message) {
        EXPECT_NE(alert.find(c.Message), std::string::npos) << alert;
    } else {
        EXPECT_EQ(alert, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Data, SceneFatal,
    testing::Values(
        SFatalCase{"SpriteWithItsTexture", writeRed, "-Texture:gui\\red.png\n", 0, nullptr},
        SFatalCase{"MissingSpriteTexture", writeRed, "-Texture:gui\\missing.png\n", 1,
                   "ERROR: Failed to load\n'gui\\missing.png'"},
        SFatalCase{"FontWithItsTexture", [](CAcceptanceScene& scene) { writeFont(scene, true); }, nullptr, 0, nullptr},
        SFatalCase{"FontWithoutItsTexture", [](CAcceptanceScene& scene) { writeFont(scene, false); }, nullptr, 1,
                   "Font are not initialized well!"}),
    [](const testing::TestParamInfo<SFatalCase>& info) { return std::string(info.param.Name); });

TEST(SceneParticles, AGroupsBudgetRefusesSpritesBeyondIt)
{
    CAcceptanceScene scene;
    scene.writeImage("gui/red.png", 4, 4, [](int, int) { return video::SColor(255, 255, 0, 0); });
    // Every member while at most two live; none beyond (no half-chance band).
    scene.ParticleGroups = "<ParticleGroup><InternalName val='sparks'/><Data>-100%:2\n-50%:0</Data></ParticleGroup>";
    if (!scene.start(3, video::EDT_OPENGL))
        GTEST_SKIP() << "no display or no OpenGL";
    const float xs[] = {-12, -6, 0, 6, 12};
    std::vector<CNodeBasement*> made;
    for (float x : xs)
        made.push_back(scene.sprite("-Texture:gui\\red.png\n-AsParticle: sparks\n-Size: 3\n", {x, 0, 0}));
    // The live count is compared before the new member counts: 0, 1 and 2 live let one more in.
    const bool expected[] = {true, true, true, false, false};
    const CSceneFrame frame = scene.frame();
    ASSERT_TRUE(frame.isValid());
    for (size_t i = 0; i < made.size(); ++i) {
        EXPECT_EQ(made[i] != nullptr, expected[i]) << "spawn " << i + 1;
        const SPicturePixel seen = frame.atWorld(xs[i], 0);
        EXPECT_TRUE(PixelNear(seen, expected[i] ? SPicturePixel{255, 0, 0} : SPicturePixel{0, 0, 0}, 3))
            << "spawn " << i + 1;
    }
    // A member that goes makes room for one more.
    deleteNode(made[0]);
    scene.step();
    scene.step();
    EXPECT_NE(scene.sprite("-Texture:gui\\red.png\n-AsParticle: sparks\n-Size: 3\n", {0, 8, 0}), nullptr);
    EXPECT_EQ(scene.sprite("-Texture:gui\\red.png\n-AsParticle: sparks\n-Size: 3\n", {6, 8, 0}), nullptr);
}

} // namespace
