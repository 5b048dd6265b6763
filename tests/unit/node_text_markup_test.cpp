// Control lines of a text node on the null driver: pass tags, sounds, the
// justify re-set and inline pictures with their IDs.
#include "node_text.h"

#include "fake_engine_client.h"
#include "fake_sound_library.h"
#include "font_fixtures.h"
#include "glyph_quads.h"
#include "msgbox_recorder.h"
#include "node_helpers.h"
#include "node_sprite.h"
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

class CCountingEffect : public CTextEffect {
public:
    int apply() override { return 1; }
};

// Makes an effect for every name asked for, and remembers the names.
class CEffectClient : public CFakeEngineClient {
public:
    CTextEffect* createTextEffect(const char* effectText) override
    {
        Asked.push_back(effectText);
        return new CCountingEffect;
    }
    std::vector<std::string> Asked;
};

// The monospace font (glyphs 0.5 x 1.6 units) as the engine's default and as
// the face "alt", with a client to look faces and sizes up.
class TextMarkupTest : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Font = LoadMonospaceFont(Engine.Device, Smgr, Folder);
        ASSERT_NE(Font, nullptr);
        Alt = new CGUIFont3D(Engine.Device->getVideoDriver(), Smgr, Engine.Device->getTimer());
        ASSERT_TRUE(Alt->loadXmlFont(Folder.file("mono.xml").c_str()));
        Alt->LineHeight = 0.4f;
        Engine.Fonts.set("alt", Alt);
        Engine.DefaultFont = Font;
        Client = new CEffectClient;
        Engine.setClient(Client);
        Smgr->setActiveCamera(Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20), core::vector3df(0, 0, 0)));
        Root = addNode("pole", nullptr, RootNodeId);
        Engine.RootNode = Root;
        ResetInlinePictureIds();
        Quads.clear();
        SetFontQuadSink(recordQuad);
    }
    void TearDown() override
    {
        SetFontQuadSink(nullptr);
        if (Root)
            Root->removeAll();   // text nodes queue their pictures for removal as they go
        Engine.Renderer.processDeferredRemovals();
        NullScene::TearDown();
        Engine.RootNode = nullptr;
        Engine.setClient(nullptr);
        Client->drop();
        Engine.Fonts.clear();
        Engine.DefaultFont = nullptr;
        CTextureCache::instance().clear();
        Alt->drop();
        Font->drop();
    }

    CTextNode* addText(const char* text, const core::vector3df& at = {0, 0, 0})
    {
        CTextNode* node = createTextNode(text, at, Root, -1);
        node->setFont(Font);
        node->updateAbsolutePosition();
        return node;
    }

    std::vector<CSpriteNode*> pictures(scene::ISceneNode* parent)
    {
        std::vector<CSpriteNode*> found;
        for (scene::ISceneNode* child : parent->getChildren())
            if (auto* sprite = dynamic_cast<CSpriteNode*>(child))
                found.push_back(sprite);
        return found;
    }

    CGUIFont3D* Font = nullptr;
    CGUIFont3D* Alt = nullptr;
    CEffectClient* Client = nullptr;
    CProbeNode* Root = nullptr;
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;
};

} // namespace

TEST_F(TextMarkupTest, PassTagsMoveAlignAndScaleTheFollowingLines)
{
    struct Case {
        const char* Text;
        core::vector3df First;    // the first glyph drawn
        core::vector3df Second;   // the first glyph of the second text line, when there is one
        f32 Width;                // of the first glyph
    } cases[] = {
        {"<left>\nA", {0, -0.8f, 0}, {}, 0.5f},
        {"<right>\nA", {-0.5f, -0.8f, 0}, {}, 0.5f},
        {"<left><right>\nA", {-0.5f, -0.8f, 0}, {}, 0.5f},
        {"<right><left>\nA", {-0.5f, -0.8f, 0}, {}, 0.5f},   // right is tested last
        {"<left>\n<center>\nA", {-0.25f, -0.8f, 0}, {}, 0.5f},
        {"<left>\n<!<center>\nA", {0, -0.8f, 0}, {}, 0.5f},   // a comment changes nothing
        {"<x:5>\n<x:5>\nA", {9.75f, -0.8f, 0}, {}, 0.5f},
        {"<x:3>\n<x:5> position:absolute\nA", {7.75f, -0.8f, 0}, {}, 0.5f},
        {"<y:2><z:-1>\nA", {-0.25f, 1.2f, -1}, {}, 0.5f},
        {"<x:>\nA", {-0.25f, -0.8f, 0}, {}, 0.5f},             // no number adds nothing
        {"<d dx=5 dy=-3>\nA", {4.75f, -3.8f, 0}, {}, 0.5f},
        {"<font-size:-2>\nA", {-0.125f, -0.4f, 0}, {}, 0.25f},
        {"<font-size:-2><font-face:alt>\nA", {-0.125f, -0.4f, 0}, {}, 0.25f},   // size after face
        {"<line-height:0>\nA\nB", {-0.25f, -0.8f, 0}, {-0.25f, -0.8f, 0}, 0.5f},
        {"<line-height:2>\nA\nB", {-0.25f, -0.8f, 0}, {-0.25f, -4.0f, 0}, 0.5f},
        {"<nobr>\nA\nB", {-0.25f, -0.8f, 0}, {-0.25f, -0.8f, 0}, 0.5f},
        {"A\nB", {-0.25f, -0.8f, 0}, {-0.25f, -2.4f, 0}, 0.5f},
        {"<spacer-x:2><spacer-y:1>\nA\nB", {1.75f, 0.2f, 0}, {-0.25f, -0.8f, 0}, 0.5f},
    };
    for (const Case& c : cases) {
        CTextNode* node = addText(c.Text);
        Quads.clear();
        node->render();
        ASSERT_FALSE(Quads.empty()) << c.Text;
        expectNear(Quads[0].Origin, c.First, c.Text);
        EXPECT_NEAR(Quads[0].Width, c.Width, 1e-5f) << c.Text;
        if (Quads.size() > 1)
            expectNear(Quads[1].Origin, c.Second, std::string(c.Text) + " second line");
        // Every pass starts again from the node's defaults.
        std::vector<SQuad> first = Quads;
        Quads.clear();
        node->render();
        ASSERT_EQ(Quads.size(), first.size()) << c.Text;
        expectNear(Quads[0].Origin, first[0].Origin, std::string(c.Text) + " again");
        deleteNode(node);
    }
}

// The form with one reference per part of the pass state reads and writes
// exactly those parts.
TEST_F(TextMarkupTest, PassStateByPartsFollowsTheTags)
{
    struct Case {
        const char* Line;
        int Result;
        s32 Alignment;
        f32 OffsetX, PenX, SpacerX, Advance, Scale;
        const char* Overlay;
    } cases[] = {
        {"A <left>", 0, 0, 0, 1, 0, 1, 1, ""},                  // a text line is left alone
        {"<!<left><x:5>", 1, 0, 0, 1, 0, 1, 1, ""},             // a comment
        {"<left><x:5>", 1, 1, 5, 1, 0, 1, 1, ""},
        {"<x:5> position:absolute", 1, 0, 0, 5, 0, 1, 1, ""},
        {"<spacer-x:2>", 1, 0, 0, 1, 2, 0, 1, ""},
        {"<line-height:2><right>", 1, -1, 0, 1, 0, 2, 1, ""},
        {"<font-size:-2><overlay:'-'>", 1, 0, 0, 1, 0, 1, 0.5f, "-"},
    };
    CTextNode* node = addText("x");
    for (const Case& c : cases) {
        core::stringc overlay, underlay;
        core::vector3df pen(1, 0, 0), offset, spacer;
        CGUIFont3D* font = Font;
        video::SColor colour(255, 255, 255, 255);
        s32 alignment = 0;
        bool verticalCentre = true, outline = false;
        f32 advance = 1, scale = 1, extra = 0;
        EXPECT_EQ(node->processMarkupTag(c.Line, overlay, underlay, pen, offset, font, colour, alignment,
                                         verticalCentre, advance, outline, scale, extra, spacer),
                  c.Result)
            << c.Line;
        EXPECT_EQ(alignment, c.Alignment) << c.Line;
        EXPECT_FLOAT_EQ(offset.X, c.OffsetX) << c.Line;
        EXPECT_FLOAT_EQ(pen.X, c.PenX) << c.Line;
        EXPECT_FLOAT_EQ(spacer.X, c.SpacerX) << c.Line;
        EXPECT_FLOAT_EQ(advance, c.Advance) << c.Line;
        EXPECT_FLOAT_EQ(scale, c.Scale) << c.Line;
        EXPECT_STREQ(overlay.c_str(), c.Overlay) << c.Line;
        EXPECT_EQ(font, Font) << c.Line;
        EXPECT_TRUE(verticalCentre && !outline && extra == 0) << "no tag changes these: " << c.Line;
    }
}

TEST_F(TextMarkupTest, FaceSwitchesTheFontAndColourKeepsTheNodesOwnAlpha)
{
    CTextNode* node = addText("A\n<font-face:alt>\nB\n<font-face:none>\nC");
    node->render();
    EXPECT_FLOAT_EQ(node->getLineHeight(), 1.6f) << "an unknown face is the default font";

    node->setText("<font-face:alt>\nB");
    node->render();
    EXPECT_FLOAT_EQ(node->getLineHeight(), 2.0f) << "alt adds its own spacing";

    node->setText("<font-color:#ff0000>\nA\n<font-color:#0000ff>\nB\n<font-color:65280>\nC");
    node->setAlpha(0.5f);
    Root->setAlpha(0.5f);   // a fading parent does not change the tag's alpha
    Quads.clear();
    node->render();
    ASSERT_EQ(Quads.size(), 3u);
    EXPECT_EQ(Quads[0].Colour, video::SColor(127, 255, 0, 0));
    EXPECT_EQ(Quads[1].Colour, video::SColor(127, 0, 0, 255));
    EXPECT_EQ(Quads[2].Colour, video::SColor(127, 0, 255, 0));
}

TEST_F(TextMarkupTest, OverlayAndUnderlayAreSetAndSwitchedOff)
{
    CTextNode* node = addText("<overlay:'-'><underlay:_>\nab\n<overlay:''>\nab");
    node->render();
    // First line: underlay, two letters, overlay; second: underlay and two letters.
    EXPECT_EQ(Quads.size(), 7u);
}

TEST_F(TextMarkupTest, SoundsPlayOncePerText)
{
    CFakeSoundLibrary library;
    CSoundServer* sound = Engine.getSoundServer();
    sound->init(1);
    ASSERT_TRUE(sound->isAvailable());
    float music = 1.0f, effects = 1.0f;
    sound->setVolumes(0.0f, &music, &effects);
    CEngineMessageQueue* queue = Engine.getMessageQueue();
    int before = queue->getCount();

    CTextNode* node = addText("<sound:ding>\nA\n<sound:ding><sound:x>");
    node->render();
    node->render();
    ASSERT_EQ(queue->getCount(), before + 1);
    SEngineMessage* message = queue->findMessage(SM_PLAY_EFFECT);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(message->arg1), "ding");

    node->setText("<sound:ding>");
    node->render();
    node->render();
    EXPECT_EQ(queue->getCount(), before + 2) << "a new text plays again";
    sound->close();
}

TEST_F(TextMarkupTest, JustifyReplacesTheTextAndEndsThePass)
{
    CTextNode* node = addText("A\n<justify:3>\nAAAA BBBB CCCC\nD");
    node->render();
    EXPECT_EQ(Quads.size(), 1u) << "only the line before the tag was drawn";
    EXPECT_FALSE(node->isLayoutDone());
    std::string text = (const char*)node->getText();
    EXPECT_NE(text.find("<_ustify:3>"), std::string::npos) << text;
    EXPECT_EQ(text.find("<justify"), std::string::npos) << text;
    EXPECT_GT(node->getLines().size(), 4u) << "wrapped";

    CString wrapped = node->getText();
    node->render();
    EXPECT_EQ(std::string((const char*)node->getText()), std::string((const char*)wrapped)) << "wraps once";
    EXPECT_TRUE(node->isLayoutDone());

    node->setText("<justify:0>\nA");
    node->render();
    EXPECT_EQ(std::string((const char*)node->getText()), "<justify:0>\nA") << "no width does nothing";
}

namespace {
const char* const Square = "raw://-Texture:?fill[c1,w8,h8]";
}

TEST_F(TextMarkupTest, PicturesTakeIdsAndAttributes)
{
    std::string line = std::string("<img src=") + Square + " w=2 h=3 x=1 y=2 z=-1 alpha=0.5 rotation=90>" +
                       "<img src=" + Square + " alpha=0.25 alphaTime=300><frame src=" + Square + ">";
    CTextNode* node = addText((line + "\nA").c_str());
    node->render();
    node->render();   // a finished layout makes no more pictures
    std::vector<CSpriteNode*> made = pictures(node);
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[0]->getID(), 2102);
    EXPECT_EQ(made[1]->getID(), 2103);
    EXPECT_EQ(made[2]->getID(), 2104);
    EXPECT_EQ(std::string(made[0]->getName()), std::string("TEXTIMG_") + Square + "_2102");
    EXPECT_EQ(getNodeById(2103, nullptr), made[1]);
    core::dimension2df unit = made[1]->getSize();
    EXPECT_FLOAT_EQ(made[0]->getSize().Width, 2 * unit.Width);
    EXPECT_FLOAT_EQ(made[0]->getSize().Height, 3 * unit.Height);
    expectNear(made[0]->getPosition(), core::vector3df(1, 2, -1), "img position");
    EXPECT_FLOAT_EQ(made[0]->getAlpha(), 0.5f);
    EXPECT_NEAR(made[0]->getAngle(), 1.5707963f, 1e-5f);
    EXPECT_FLOAT_EQ(made[1]->getAngle(), 0.0f);
    EXPECT_FALSE(made[1]->getAnimators().empty()) << "fades in";
    const core::array<s32>& ids = node->getDrawContext().imageIds;
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[2], 2104);

    // A new text deletes the pictures and makes them again with new IDs.
    node->setText((line + "\nB").c_str());
    Engine.Renderer.processDeferredRemovals();
    EXPECT_TRUE(pictures(node).empty());
    node->render();
    made = pictures(node);
    ASSERT_EQ(made.size(), 3u);
    EXPECT_EQ(made[0]->getID(), 2105);
}

TEST_F(TextMarkupTest, PictureIdsSkipTakenSlotsAndWrap)
{
    addNode("holder", nullptr, 2103);
    std::string many;
    for (int i = 0; i < 96; ++i)
        many += std::string("<img src=") + Square + ">";
    CTextNode* node = addText(many.c_str());
    node->render();
    std::vector<CSpriteNode*> made = pictures(node);
    ASSERT_EQ(made.size(), 96u);
    EXPECT_EQ(made[0]->getID(), 2102);
    EXPECT_EQ(made[1]->getID(), 2104) << "the slot of another node is kept";
    EXPECT_EQ(made[95]->getID(), 2198);

    CTextNode* other = addText((std::string("<img src=") + Square + "><img src=" + Square + ">").c_str());
    other->render();
    std::vector<CSpriteNode*> next = pictures(other);
    ASSERT_EQ(next.size(), 2u);
    EXPECT_EQ(next[0]->getID(), 2199);
    EXPECT_EQ(next[1]->getID(), 2101) << "after 2199 the range starts over";

    // Re-setting one text never deletes the other's pictures.
    other->setText((std::string("<img src=") + Square + ">").c_str());
    Engine.Renderer.processDeferredRemovals();
    EXPECT_EQ(pictures(node).size(), 96u);
    other->render();
    ASSERT_EQ(pictures(other).size(), 1u);
    EXPECT_NE(pictures(other)[0]->getID(), 2102) << "2102 still belongs to the first text";
}

TEST_F(TextMarkupTest, FramesCoverTheTextSoFarAndParentsAreFoundByName)
{
    CProbeNode* holder = addNode("holder", nullptr, getIdByName("holder"));
    std::string text = std::string("AB\nC\n<frame src=") + Square + " w=1 h=1>\n<img src=" + Square +
                       " parent=holder><img src=" + Square + " parent=nobody>";
    CTextNode* node = addText(text.c_str());
    node->render();
    std::vector<CSpriteNode*> made = pictures(node);
    ASSERT_EQ(made.size(), 1u);
    // The text so far is 1 wide and 1.6 high; a line adds 1.6.
    EXPECT_NEAR(made[0]->getPosition().Y, -0.8f, 1e-5f);
    core::dimension2df unit = pictures(holder).at(0)->getSize();
    EXPECT_NEAR(made[0]->getSize().Width, unit.Width * 1.0f, 1e-5f);
    EXPECT_NEAR(made[0]->getSize().Height, unit.Height * 3.2f, 1e-5f);
    EXPECT_EQ(pictures(holder).size(), 1u);
    EXPECT_EQ(pictures(Root).size(), 1u) << "an unknown parent is the scene root";
}

TEST_F(TextMarkupTest, EffectTagAsksTheClientOncePerText)
{
    CTextNode* node = addText("<font-effect:typer stop>\nA");
    node->render();
    node->render();
    ASSERT_EQ(Client->Asked.size(), 1u);
    EXPECT_EQ(Client->Asked[0], "typer stop>");   // the rest of the line; the client ends the name
    ASSERT_NE(node->getDrawContext().effect, nullptr);
    EXPECT_EQ(node->getDrawContext().effect->node, node);

    node->setText("<! <font-effect:typer>\nA");
    node->render();
    EXPECT_EQ(Client->Asked.size(), 1u) << "a comment asks for nothing";
    EXPECT_EQ(node->getDrawContext().effect, nullptr);
}
