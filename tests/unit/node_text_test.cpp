// The text node on the null driver: lines, alignment, line heights, control
// lines, alpha, effects, bounds, fill texts, lookups and debug lines.
#include "node_text.h"

#include "font_fixtures.h"
#include "glyph_quads.h"
#include "msgbox_recorder.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace irr;

namespace {

class CStopEffect : public CTextEffect {
public:
    explicit CStopEffect(int* destroyed = nullptr) : Destroyed(destroyed) {}
    ~CStopEffect() override
    {
        if (Destroyed)
            ++*Destroyed;
    }
    int prepare() override
    {
        Fractions.push_back(lineFraction);
        GlyphDuringPrepare = *glyphIndex;
        return StopLines ? 0 : 1;
    }
    int apply() override { return 1; }
    int* Destroyed;
    bool StopLines = false;
    std::vector<f32> Fractions;
    s32 GlyphDuringPrepare = 0;
};

// The monospace font (glyphs 0.5 x 1.6 units) on the null engine, its image
// given a size through the texture cache.
class TextNodeTest : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Font = LoadMonospaceFont(Engine.Device, Smgr, Folder);
        ASSERT_NE(Font, nullptr);
        Smgr->setActiveCamera(Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20), core::vector3df(0, 0, 0)));
        Quads.clear();
        SetFontQuadSink(recordQuad);
    }
    void TearDown() override
    {
        SetFontQuadSink(nullptr);
        NullScene::TearDown();
        clearDebugLines();
        CTextureCache::instance().clear();
        if (Font)
            Font->drop();
    }

    CTextNode* addText(const char* text, const core::vector3df& at = {0, 0, 0})
    {
        CTextNode* node = createTextNode(text, at, nullptr, -1);
        node->setFont(Font);
        node->updateAbsolutePosition();
        return node;
    }

    CGUIFont3D* Font = nullptr;
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;   // texture path warnings about the temporary folder
};

} // namespace

TEST_F(TextNodeTest, LinesAreCentredAndStackedByTheirHeight)
{
    CTextNode* node = addText("AB\nC\n", core::vector3df(1, 2, 0));
    ASSERT_EQ(node->getLines().size(), 3u);   // the last line is empty
    EXPECT_EQ(std::string(node->getName()), "TEXTX-AB\nC\n");
    EXPECT_EQ(node->getNodeTypeCode(), MAKE_IRR_ID('t', 'e', 'x', 't'));
    EXPECT_EQ(node->getLayer(), 4);
    node->render();
    ASSERT_EQ(Quads.size(), 3u);
    // Centred on the node, and centred vertically on the line's height.
    expectNear(Quads[0].Origin, core::vector3df(0.5f, 1.2f, 0), "A");
    expectNear(Quads[1].Origin, core::vector3df(1.0f, 1.2f, 0), "B");
    expectNear(Quads[2].Origin, core::vector3df(0.75f, -0.4f, 0), "C one line lower");
    EXPECT_FLOAT_EQ(node->getLineHeight(), 1.6f);   // the empty last line: measured as "#"
    EXPECT_TRUE(node->isLayoutDone());

    // The font's own line spacing adds to every line.
    Font->LineHeight = 0.4f;
    Quads.clear();
    node->render();
    expectNear(Quads[2].Origin, core::vector3df(0.75f, -0.8f, 0), "C with spacing");
    EXPECT_FLOAT_EQ(node->getLineHeight(), 2.0f);
}

TEST_F(TextNodeTest, ControlLinesDrawNothingAndStillCompleteThePass)
{
    CTextNode* node = addText("<center>");
    node->render();
    EXPECT_TRUE(Quads.empty());
    EXPECT_TRUE(node->isLayoutDone());

    node->setText("<b>\nA");
    EXPECT_FALSE(node->isLayoutDone());
    node->render();
    ASSERT_EQ(Quads.size(), 1u);
    expectNear(Quads[0].Origin, core::vector3df(-0.25f, -0.8f, 0), "a text line after a control line");
}

TEST_F(TextNodeTest, AlphaComesFromTheNodeAndZeroIsNotACompletePass)
{
    CTextNode* node = addText("A");
    node->setColor(video::SColor(255, 10, 20, 30));
    node->setAlpha(0.5f);
    node->render();
    ASSERT_EQ(Quads.size(), 1u);
    EXPECT_EQ(Quads[0].Colour, video::SColor(127, 10, 20, 30));

    node->setText("B");
    node->setAlpha(0);
    Quads.clear();
    node->render();
    EXPECT_TRUE(Quads.empty());
    EXPECT_FALSE(node->isLayoutDone());

    node->setFont(nullptr);
    node->setAlpha(1);
    node->render();
    EXPECT_TRUE(Quads.empty());
}

TEST_F(TextNodeTest, AnEffectThatStopsTheFirstLineStillCompletesThePass)
{
    int destroyed = 0;
    CTextNode* node = addText("A\nB\n<x>\nC");
    auto* effect = new CStopEffect(&destroyed);
    node->setTextEffect(effect, 7);
    EXPECT_EQ(effect->node, node);
    EXPECT_EQ(effect->userValue, 7);
    node->render();
    ASSERT_EQ(effect->Fractions.size(), 3u);   // control lines count among the lines
    EXPECT_FLOAT_EQ(effect->Fractions[1], 0.25f);
    EXPECT_FLOAT_EQ(effect->Fractions[2], 0.5f);
    EXPECT_EQ(effect->GlyphDuringPrepare, 65535);
    EXPECT_EQ(Quads.size(), 3u);

    effect->StopLines = true;
    node->setTextEffect(effect, 0);   // the same effect again is kept
    EXPECT_EQ(destroyed, 0);
    Quads.clear();
    node->render();
    EXPECT_TRUE(Quads.empty());
    EXPECT_TRUE(node->isLayoutDone());

    node->setText("D");   // a new text ends the effect
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(node->getDrawContext().effect, nullptr);
}

TEST_F(TextNodeTest, BoundsGrowOnlyOnTheFirstCompletePass)
{
    CTextNode* node = addText("AB\nC");
    node->render();
    core::rectf first = node->getTextBounds();
    EXPECT_FLOAT_EQ(first.UpperLeftCorner.X, -0.5f);
    EXPECT_FLOAT_EQ(first.LowerRightCorner.X, 0.5f);
    EXPECT_FLOAT_EQ(first.UpperLeftCorner.Y, -0.8f);
    EXPECT_FLOAT_EQ(first.LowerRightCorner.Y, -2.4f);

    node->setPosition(core::vector3df(5, 5, 0));
    node->updateAbsolutePosition();
    node->render();
    EXPECT_EQ(node->getTextBounds(), first);
    node->setText("AB\nC");
    EXPECT_EQ(node->getTextBounds(), core::rectf(0, 0, 0, 0));
}

TEST_F(TextNodeTest, UnderlaysAndOverlaysFillFourFifthsOfTheLine)
{
    struct Case {
        const char* Fill;
        const char* Line;
        const char* Expected;
    } cases[] = {
        {"_", "0123456789", "________"},   // 5 units: at least 4
        {"__", "0123456789", "________"},
        {"_", "a", "_"},                  // never less than one copy
        {"", "abc", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(makeFillText(Font, c.Fill, c.Line).c_str()), c.Expected) << c.Fill << " " << c.Line;

    CTextNode* node = addText("ab", core::vector3df(0, 0, 0));
    node->setOverlayUnderlay("-", "_");
    node->render();
    ASSERT_EQ(Quads.size(), 4u);   // one underlay glyph, the line, one overlay glyph
    expectNear(Quads[0].Origin, core::vector3df(-0.25f, -0.8f, 0), "underlay first");
    expectNear(Quads[1].Origin, core::vector3df(-0.5f, -0.8f, 0), "then the line");
    expectNear(Quads[3].Origin, core::vector3df(-0.25f, -0.8f, 0), "overlay last");
}

TEST_F(TextNodeTest, TextNodesAreFoundByNameAndAsChildren)
{
    CProbeNode* owner = addNode("owner");
    CTextNode* label = createTextNode("label", core::vector3df(), owner, -1);
    label->setName("button_text");
    EXPECT_EQ(getTextNodeOf(owner), label);
    EXPECT_EQ(getTextNodeOf(label), nullptr);
    EXPECT_EQ(getTextNodeOf(nullptr), nullptr);
    EXPECT_EQ(findTextNode("nothing"), nullptr);
}

TEST_F(TextNodeTest, DebugLinesStackDownwardsUnlessTheProgramEnds)
{
    printDebugLine("one", 5000);
    printDebugLine("two", 5000);
    frame(now());   // the list animators register their lines
    printDebugLine("three", 5000);
    frame(now());
    std::vector<CTextNode*> lines;
    for (scene::ISceneNode* child : Smgr->getRootSceneNode()->getChildren())
        if (auto* text = dynamic_cast<CTextNode*>(child))
            lines.push_back(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->getLayer(), 7);
    EXPECT_NE(std::string(lines[0]->getText()).find("] one"), std::string::npos);
    EXPECT_EQ(std::string(lines[0]->getText()).rfind("<font-size:-2>\n[", 0), 0u);
    EXPECT_FLOAT_EQ(lines[2]->getPosition().Y, 13.0f);
    EXPECT_FLOAT_EQ(lines[0]->getPosition().Y - lines[2]->getPosition().Y, -2.2f);

    Engine.setGameState(999);
    printDebugLine("late", 5000);
    size_t count = 0;
    for (scene::ISceneNode* child : Smgr->getRootSceneNode()->getChildren())
        count += dynamic_cast<CTextNode*>(child) != nullptr;
    EXPECT_EQ(count, 3u);
}

TEST_F(TextNodeTest, TextDescriptionsBecomeTextNodesOnceInstalled)
{
    CProbeNode* root = addNode("pole", nullptr, RootNodeId);
    Engine.RootNode = root;
    InstallTextNodeMakers();
    CNodeBasement* made = addSprite("raw://-Text: ?Hello there\n-Name: greeting", 1, 1, core::vector3df(1, 2, 0),
                                    nullptr, nullptr, SPRITE_SITE);
    auto* text = dynamic_cast<CTextNode*>(made);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text->getText()), "Hello there");
    EXPECT_EQ(text->getParent(), root);
    EXPECT_EQ(getTextNodeOf(root), text);
    SetSpriteTextNodeMaker(nullptr);
    Engine.RootNode = nullptr;
}
