// Text in a whole engine on OpenGL: fonts of both file forms from the
// manifest, alignment, line breaks, justified wrapping, an inline icon that
// follows its text, and a language text holding a carriage return.
#include "acceptance_scene.h"

#include "font_fixtures.h"
#include "node_base.h"
#include "node_text.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <string>

using namespace irr;

namespace {

// At 800 x 600 one world unit is 20 pixels; a glyph of the monospace font is
// 0.5 x 1.6 units, and lines are 1.6 apart.
enum class Seen { Dark, White, Red };

Seen classify(const SPicturePixel& p)
{
    if (p.r > 160 && p.g > 160 && p.b > 160)
        return Seen::White;
    if (p.r > 160 && p.g < 64 && p.b < 64)
        return Seen::Red;
    return Seen::Dark;
}

const char* name(Seen seen)
{
    return seen == Seen::White ? "white" : seen == Seen::Red ? "red" : "dark";
}

class SceneText : public testing::Test {
protected:
    void SetUp() override
    {
        Scene.writeText("fonts/mono.xml", MonospaceFontSingleQuote("mono.png"));
        Scene.writeText("fonts/dq.xml", MonospaceFontDoubleQuote("mono.png"));
        Scene.writeText("fonts/icons.xml", "<font-icons><Icons><Icon key=\"star\"><spr val=\"sprites\\star.spr\"/>"
                                           "<width val=\"0.5\"/></Icon></Icons></font-icons>");
        Scene.writeText("sprites/star.spr", "-Texture:\\gui\\red.png\n-Size: 0.4\n");
        IrrlichtDevice* device = createDevice(video::EDT_NULL);
        ASSERT_NE(device, nullptr);
        ASSERT_TRUE(WriteMonospaceFontImage(device->getVideoDriver(), Scene.dataPath("fonts/mono.png")));
        device->drop();
        Scene.writeImage("gui/red.png", 2, 2, [](int, int) { return video::SColor(255, 255, 0, 0); });
        Scene.writeText("strings.lng", "TEXT.CR=A<brr>A\r\nTEXT.OTHER=B\r\n");
        Scene.Fonts = "<Font><InternalName val='mono'/><Description val='fonts\\mono.xml'/>"
                      "<EmbedIcons val='fonts\\icons.xml'/></Font>"
                      "<Font><InternalName val='dq'/><Description val='fonts\\dq.xml'/></Font>";
        SetSceneWindow(800, 600);
        if (!Scene.start(3, video::EDT_OPENGL))
            GTEST_SKIP() << "no display or no OpenGL";
    }

    CTextNode* text(const char* markup, float x, float y)
    {
        CTextNode* node = createTextNode(markup, core::vector3df(x, y, 0), Scene.Engine->RootNode, -1);
        EXPECT_NE(node, nullptr) << markup;
        return node;
    }

    struct SProbe {
        float X, Y;
        Seen Expected;
        const char* Where;
    };

    void expectSeen(const CSceneFrame& frame, const SProbe* probes, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            const SProbe& p = probes[i];
            const Seen seen = classify(frame.atWorld(p.X, p.Y));
            EXPECT_EQ(seen, p.Expected) << p.Where << " at " << p.X << "," << p.Y << " is " << name(seen);
        }
    }

    CAcceptanceScene Scene;
};

TEST_F(SceneText, LinesLandWhereTheirAlignmentAndWrappingPutThem)
{
    ASSERT_NE(Scene.Engine->DefaultFont, nullptr);
    ASSERT_EQ(Scene.Engine->Fonts.size(), 2u);
    text("<left>\nA A", -10, 10);
    text("<right>\n<font-face:dq>\nAA", 10, 10);
    text("A\nAAA", 0, 3);
    // A word of two glyphs is 1 unit wide: two words fit in 2.2, the third wraps.
    text("<left>\n<justify:2.2>\nAA AA AA", -10, -5);
    Scene.step();   // the justified text is drawn wrapped from the frame after the first
    const CSceneFrame frame = Scene.frame();
    ASSERT_TRUE(frame.isValid());
    const SProbe probes[] = {
        {-9.75f, 10, Seen::White, "left: first A"},
        {-9.25f, 10, Seen::Dark, "left: the blank"},
        {-8.75f, 10, Seen::White, "left: second A"},
        {-8.25f, 10, Seen::Dark, "left: after the line"},
        {-10.25f, 10, Seen::Dark, "left: before the node"},
        {-9.75f, 9, Seen::Dark, "left: below the line"},
        {9.25f, 10, Seen::White, "right, double-quote font: first A"},
        {9.75f, 10, Seen::White, "right: second A"},
        {10.25f, 10, Seen::Dark, "right: past the node"},
        {8.75f, 10, Seen::Dark, "right: before the line"},
        {0, 3, Seen::White, "centred: the one A"},
        {-0.5f, 3, Seen::Dark, "centred: left of it"},
        {-0.5f, 1.4f, Seen::White, "the second line, one line height lower"},
        {0.5f, 1.4f, Seen::White, "its last A"},
        {-1, 1.4f, Seen::Dark, "left of the second line"},
        {0, -0.2f, Seen::Dark, "below the second line"},
        {-9.5f, -5, Seen::White, "justified: first word"},
        {-8.75f, -5, Seen::Dark, "justified: the blank"},
        {-8, -5, Seen::White, "justified: second word"},
        {-7, -5, Seen::Dark, "justified: the third word is not on the first line"},
        {-9.5f, -6.6f, Seen::White, "justified: the third word starts the next line"},
        {-8, -6.6f, Seen::Dark, "justified: nothing after it"},
    };
    expectSeen(frame, probes, sizeof probes / sizeof *probes);
}

TEST_F(SceneText, AnInlineIconSitsAtItsGlyphAndFollowsTheText)
{
    // The icon takes a glyph of 0.5 units between the two A's; its sprite is centred there.
    CTextNode* node = text("<left>\nA&#star;A", 5, -5);
    Scene.step();   // the first pass makes the icon's sprite
    const CSceneFrame before = Scene.frame();
    ASSERT_TRUE(before.isValid());
    const SProbe first[] = {
        {5.25f, -5, Seen::White, "the A before the icon"},
        {5.75f, -5, Seen::Red, "the icon in the glyph's place"},
        {5.75f, -5.5f, Seen::Dark, "no glyph drawn around the icon"},
        {6.25f, -5, Seen::White, "the A after it"},
        {6.75f, -5, Seen::Dark, "after the line: the reference takes one glyph"},
    };
    expectSeen(before, first, sizeof first / sizeof *first);

    node->setPosition(core::vector3df(5, -2, 0));
    Scene.step();
    const CSceneFrame after = Scene.frame();
    ASSERT_TRUE(after.isValid());
    const SProbe moved[] = {
        {5.75f, -2, Seen::Red, "the icon moved with the text"},
        {5.25f, -2, Seen::White, "the text moved"},
        {5.75f, -5, Seen::Dark, "nothing left behind"},
    };
    expectSeen(after, moved, sizeof moved / sizeof *moved);
}

TEST_F(SceneText, ALanguageTextWithACarriageReturnIsDrawn)
{
    // "<brr>" in the table reads as a carriage return and a line feed.
    ASSERT_NE(Scene.sprite("-Text: TEXT.CR\n", {5, 10, 0}), nullptr);
    Scene.step();
    const CSceneFrame frame = Scene.frame();
    ASSERT_TRUE(frame.isValid());
    // The carriage return ending the first line takes no room: both lines are one A centred on x 5.
    const SProbe probes[] = {
        {5, 10, Seen::White, "the first line"},
        {5.5f, 10, Seen::Dark, "nothing for the carriage return"},
        {5, 8.4f, Seen::White, "the second line"},
        {4.5f, 8.4f, Seen::Dark, "left of the second line"},
    };
    expectSeen(frame, probes, sizeof probes / sizeof *probes);
}

} // namespace
