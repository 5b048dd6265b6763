// The font's line drawer on the null driver: glyph quads caught at the batch's
// door, with their positions, UVs, colours, outlines, effects and icons.
#include "rendering_font.h"

#include "font_test_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using irr::core::vector3df;

namespace {

struct SQuad {
    irr::video::S3DVertex V[4];
    irr::video::ITexture* Texture;
};

std::vector<SQuad> Quads;

void recordQuad(const irr::core::matrix4* transform, const irr::video::SMaterial* material,
                const irr::video::S3DVertex* vertices)
{
    SQuad quad;
    for (int i = 0; i < 4; ++i)
        quad.V[i] = vertices[i];
    quad.Texture = material->getTexture(0);
    Quads.push_back(quad);
}

std::vector<std::string> MadeSprites;

irr::scene::ISceneNode* makeIconSprite(const CString& name, irr::scene::ISceneNode* owner, const char* site)
{
    MadeSprites.push_back((const char*)name);
    return owner->getSceneManager()->addEmptySceneNode(owner);
}

// Stops the line at a given glyph; optionally turns or grows glyphs.
class CTestEffect : public CTextEffect {
public:
    int apply() override
    {
        Seen.push_back({runGlyph, textGlyph, runProgress, runLength});
        if (textGlyph == StopAt)
            return 0;
        if (Angle != 0)
            *angle = Angle;
        if (Factor != 0)
            *factor = Factor;
        return 1;
    }
    struct SSeen {
        int RunGlyph, TextGlyph;
        float Progress;
        int RunLength;
    };
    std::vector<SSeen> Seen;
    int StopAt = -1;
    float Angle = 0, Factor = 0;
};

// The monospace font as a region of a 512 x 256 atlas: its image is the right half.
class FontDrawTest : public FontTest {
protected:
    void SetUp() override
    {
        FontTest::SetUp();
        Quads.clear();
        MadeSprites.clear();
        SetFontQuadSink(recordQuad);
        SetFontIconSpriteMaker(makeIconSprite);
        STextureRegion image = retrieveTexture("fonts\\mono.png");
        ASSERT_NE(image.Texture, nullptr);
        CTextureCache::instance().clear();
        image.setPixelRect(irr::core::recti(256, 0, 512, 256), irr::core::dimension2du(512, 256));
        CTextureCache::instance().push(image);
        Font = load("fonts\\mono.xml", MonospaceFontSingleQuote("mono.png"));
        irr::scene::ISceneManager* smgr = Device->getSceneManager();
        smgr->setActiveCamera(smgr->addCameraSceneNode(nullptr, vector3df(0, 0, -20), vector3df(0, 0, 0)));
    }
    void TearDown() override
    {
        Font->drop();
        SetFontQuadSink(nullptr);
        SetFontIconSpriteMaker(nullptr);
        FontTest::TearDown();
    }

    void draw(const char* text, vector3df at, int align, float scale = 1.0f, bool outline = false,
              STextDrawContext* context = nullptr, bool verticalCentre = false)
    {
        Font->drawText(text, at, irr::video::SColor(255, 200, 100, 50), align, verticalCentre, scale, outline,
                       context, nullptr);
    }

    CGUIFont3D* Font = nullptr;
};

void expectNear(const vector3df& a, const vector3df& b, const char* what)
{
    EXPECT_NEAR(a.X, b.X, 1e-5f) << what;
    EXPECT_NEAR(a.Y, b.Y, 1e-5f) << what;
    EXPECT_NEAR(a.Z, b.Z, 1e-5f) << what;
}

} // namespace

TEST_F(FontDrawTest, GlyphQuadsFaceTheCameraWithInsetUVsOfTheImageRegion)
{
    draw("AB", vector3df(1, 2, 0), 1);
    ASSERT_EQ(Quads.size(), 2u);
    // Each glyph is 0.5 x 1.6 units; the quad rises from its origin (vertex 3).
    expectNear(Quads[0].V[3].Pos, vector3df(1, 2, 0), "A origin");
    expectNear(Quads[0].V[0].Pos, vector3df(1.5f, 2, 0), "A right");
    expectNear(Quads[0].V[1].Pos, vector3df(1.5f, 3.6f, 0), "A top right");
    expectNear(Quads[0].V[2].Pos, vector3df(1, 3.6f, 0), "A top left");
    expectNear(Quads[1].V[3].Pos, vector3df(1.5f, 2, 0), "B origin");
    // 'A' is glyph 33: column 1, row 2 of the font image, rect (16, 64)-(26, 96),
    // mapped into the right half of the atlas.
    auto u = [](float x) { return 0.5f + x / 256.0f * 0.5f; };
    EXPECT_NEAR(Quads[0].V[0].TCoords.X, u(26) - 0.002f, 1e-6f);
    EXPECT_NEAR(Quads[0].V[0].TCoords.Y, 96 / 256.0f - 0.002f, 1e-6f);
    EXPECT_NEAR(Quads[0].V[2].TCoords.X, u(16) + 0.002f, 1e-6f);
    EXPECT_NEAR(Quads[0].V[2].TCoords.Y, 64 / 256.0f + 0.002f, 1e-6f);
    EXPECT_EQ(Quads[0].V[1].Color, irr::video::SColor(255, 200, 100, 50));
    EXPECT_EQ(Quads[0].Texture, Font->getTexture());
    expectNear(Quads[0].V[0].Normal, vector3df(0, 0, -1), "normal");
}

TEST_F(FontDrawTest, AlignmentScaleAndVerticalCentring)
{
    const std::string tenUnits(20, 'x');   // 20 glyphs of 0.5
    struct Case {
        int Align;
        float Scale;
        bool VerticalCentre;
        vector3df FirstOrigin;
    } cases[] = {
        {-1, 2.0f, false, vector3df(-20, 0, 0)},
        {0, 1.0f, false, vector3df(-5, 0, 0)},
        {5, 2.0f, false, vector3df(0, 0, 0)},
        {1, 1.0f, true, vector3df(0, -0.8f, 0)},
    };
    for (const Case& c : cases) {
        Quads.clear();
        draw(tenUnits.c_str(), vector3df(0, 0, 0), c.Align, c.Scale, false, nullptr, c.VerticalCentre);
        ASSERT_EQ(Quads.size(), 20u);
        expectNear(Quads[0].V[3].Pos, c.FirstOrigin, "first glyph");
        expectNear(Quads[1].V[3].Pos - Quads[0].V[3].Pos, vector3df(0.5f * c.Scale, 0, 0), "advance");
    }
    // The draw size of the font multiplies the call's scale.
    Font->setDrawScale(1, 1, 3);
    Quads.clear();
    draw("ab", vector3df(0, 0, 0), 1);
    expectNear(Quads[1].V[3].Pos, vector3df(1.5f, 0, 0), "draw size");
}

TEST_F(FontDrawTest, OutlinesComeFirstInBlackWithoutBearingOrFactor)
{
    std::string text = MonospaceFontSingleQuote("mono.png");
    text.replace(text.find("abcA='0' abcB='10' abcC='0' ascii='65'"), 8, "abcA='2'");
    Font->drop();
    Font = load("fonts\\bearing.xml", text);
    CTestEffect effect;
    effect.Factor = 2.0f;
    STextDrawContext context;
    context.effect = &effect;
    draw("A", vector3df(1, 1, 0), 1, 1.0f, true, &context);
    ASSERT_EQ(Quads.size(), 5u);
    const float shifts[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
    for (int i = 0; i < 4; ++i) {
        expectNear(Quads[i].V[3].Pos, vector3df(1 + shifts[i][0] * 0.004f, 1 + shifts[i][1] * 0.004f, 0.00001f),
                   "outline origin");
        expectNear(Quads[i].V[0].Pos - Quads[i].V[3].Pos, vector3df(0.5f, 0, 0), "outline width");
        EXPECT_EQ(Quads[i].V[0].Color, irr::video::SColor(155, 0, 0, 0));
    }
    expectNear(Quads[4].V[3].Pos, vector3df(1.1f, 1, 0), "glyph shifted by its bearing");
    expectNear(Quads[4].V[0].Pos - Quads[4].V[3].Pos, vector3df(1.0f, 0, 0), "glyph grown by the factor");
}

TEST_F(FontDrawTest, AnEffectSeesEveryGlyphAndMayEndTheLine)
{
    CTestEffect effect;
    effect.StopAt = 3;
    STextDrawContext context;
    context.effect = &effect;
    draw("abcd", vector3df(0, 0, 0), 1, 1.0f, false, &context);
    EXPECT_EQ(Quads.size(), 2u);
    ASSERT_EQ(effect.Seen.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(effect.Seen[i].RunGlyph, i);
        EXPECT_EQ(effect.Seen[i].TextGlyph, i + 1);
        EXPECT_FLOAT_EQ(effect.Seen[i].Progress, i / 4.0f);
        EXPECT_EQ(effect.Seen[i].RunLength, 4);
    }
    // A turned glyph rotates about its origin.
    CTestEffect turn;
    turn.Angle = float(M_PI / 2);
    context.effect = &turn;
    Quads.clear();
    draw("a", vector3df(1, 0, 0), 1, 1.0f, false, &context);
    ASSERT_EQ(Quads.size(), 1u);
    expectNear(Quads[0].V[0].Pos, vector3df(1, 0.5f, 0), "right edge turned up");
    expectNear(Quads[0].V[2].Pos, vector3df(-0.6f, 0, 0), "top edge turned left");
}

TEST_F(FontDrawTest, ControlCharactersNeverReachBeforeTheTable)
{
    draw("a\rb\tc\x01", vector3df(0, 0, 0), 1);
    ASSERT_EQ(Quads.size(), 5u);   // the carriage return is skipped
    expectNear(Quads[1].V[3].Pos, vector3df(0.5f, 0, 0), "b right after a");
    auto u = [](float x) { return 0.5f + x / 256.0f * 0.5f; };
    EXPECT_NEAR(Quads[2].V[2].TCoords.X, u(0) + 0.002f, 1e-6f);   // the tab draws the blank
    EXPECT_NEAR(Quads[4].V[2].TCoords.X, u(0) + 0.002f, 1e-6f);
}

TEST_F(FontDrawTest, IconsBecomeSpritesThatFollowTheText)
{
    write("fonts\\icons.xml", "<font-icons><Icons>"
                              "<Icon key=\"coin\"><spr val=\"gui\\coin.png\"/><width val=\"1\"/></Icon>"
                              "<Icon key=\"bare\"><width val=\"1\"/></Icon>"
                              "</Icons></font-icons>");
    Font->loadIcons("fonts\\icons.xml");
    irr::scene::ISceneNode* owner = Device->getSceneManager()->addEmptySceneNode();
    owner->setPosition(vector3df(1, 1, 0));
    owner->updateAbsolutePosition();
    STextDrawContext context;
    context.owner = owner;

    draw("a&#coin?5;&#bare;b", vector3df(1, 1, 0), 1, 1.0f, true, &context);
    EXPECT_EQ(Quads.size(), 10u);   // 'a' and 'b' with four outlines each, no icon quads
    EXPECT_EQ(MadeSprites, std::vector<std::string>{"gui\\coin.png?5"});
    ASSERT_EQ(context.iconNodes.size(), 2u);
    ASSERT_NE(context.iconNodes[0], nullptr);
    EXPECT_EQ(context.iconNodes[1], nullptr);   // no spr: nothing to show
    EXPECT_EQ(context.iconCursor, 2);
    // Centre of the icon's box, relative to the owner: x 0.5 + 0.5, y 0.8.
    expectNear(context.iconNodes[0]->getPosition(), vector3df(1.0f, 0.8f, 0), "icon position");
    expectNear(Quads[9].V[3].Pos, vector3df(3.5f, 1, 0), "b after two icons");

    // The next pass reuses the sprite and moves it with the text.
    context.iconCursor = 0;
    draw("a&#coin;", vector3df(2, 1, 0), 1, 1.0f, false, &context);
    EXPECT_EQ(MadeSprites.size(), 1u);
    expectNear(context.iconNodes[0]->getPosition(), vector3df(2.0f, 0.8f, 0), "moved icon");

    // Measuring callers pass no context: icons are skipped.
    draw("&#coin;", vector3df(0, 0, 0), 1);
    EXPECT_EQ(MadeSprites.size(), 1u);
}

TEST_F(FontDrawTest, BoundsGrowOverTheGlyphOrigins)
{
    irr::core::rectf bounds(0, 0, 0, 0);
    Font->drawText("ab", vector3df(1, 2, 0), irr::video::SColor(255, 255, 255, 255), 1, false, 1.0f, false,
                   nullptr, &bounds);
    Font->drawText("c", vector3df(0, 5, 0), irr::video::SColor(255, 255, 255, 255), 1, false, 1.0f, false,
                   nullptr, &bounds);
    EXPECT_FLOAT_EQ(bounds.UpperLeftCorner.X, 0.0f);
    EXPECT_FLOAT_EQ(bounds.LowerRightCorner.X, 2.0f);
    EXPECT_FLOAT_EQ(bounds.UpperLeftCorner.Y, 5.0f);    // y1: the highest origin
    EXPECT_FLOAT_EQ(bounds.LowerRightCorner.Y, 2.0f);   // y2: the lowest
}

TEST_F(FontDrawTest, NothingIsDrawnWithoutACamera)
{
    Device->getSceneManager()->setActiveCamera(nullptr);
    draw("abc", vector3df(0, 0, 0), 1);
    EXPECT_TRUE(Quads.empty());
}
