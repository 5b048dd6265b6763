// End to end from description text to nodes on the null driver, with the
// engine's own hooks and makers as a bare CEngineBase installs them: what a
// description becomes, how its keys are read, what macros do to it on the way
// and the creation rules that place and size the result.
#include "node_helpers.h"

#include "module_scripting.h"
#include "msgbox_recorder.h"
#include "node_factory_macros.h"
#include "node_sprite.h"
#include "node_text.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"
#include "utils_math_misc.h"

#include <ISceneManager.h>
#include <IVideoDriver.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace irr;

namespace {

std::string str(const CString& text) { return std::string((const char*)text); }
std::string raw(const std::string& body) { return "raw://\n" + body + "\n"; }

class DescriptionToNode : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Root = addRootWithFreshCaches();
        GetSceneHooks() = SavedHooks;   // the engine's own hooks, not the recorders
    }
    CNodeBasement* make(const std::string& name, scene::ISceneNode* parent = nullptr,
                        const core::vector3df& position = {0, 0, 0})
    {
        return addSprite(name.c_str(), 1, 1, position, parent, nullptr, SPRITE_SITE);
    }
    CNodeFactory* parse(const std::string& body)
    {
        const std::string name = raw(body);
        return getSpriteDescription(name.c_str(), name.c_str() + 6, nullptr, nullptr);
    }
    std::string writeSpr(const std::string& file, const std::string& text)
    {
        Folder.write(file, text);
        return Folder.file(file);
    }

    CProbeNode* Root = nullptr;
    CTempFolder Folder;
};

TEST_F(DescriptionToNode, NamedSpriteUnderTheRootWithItsRegionLayerAndFlags)
{
    CNodeBasement* node = make(raw("-Texture:?fill[c255,w64,h32]\n-Size: w3 h2\n-Position: x1.5 y-2\n-Name: hero"));
    auto* sprite = dynamic_cast<CSpriteNode*>(node);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(node->getParent(), Root);
    EXPECT_EQ(node->getID(), 1003) << "the first name bound";
    EXPECT_EQ(getNodeById(1003, nullptr), node);
    EXPECT_EQ(getNodeByName("hero"), node);
    EXPECT_EQ(node->getSize(), core::dimension2df(3, 2));
    EXPECT_EQ(node->getPosition(), core::vector3df(1.5f, -2, 0));
    const STextureRegion& region = sprite->getTextureRegion();
    EXPECT_NE(region.Texture, nullptr);
    EXPECT_EQ(str(region.Name), "?fill[c255,w64,h32]");
    EXPECT_EQ(region.PixelRect, core::recti(0, 0, 64, 32));
    EXPECT_EQ(node->getLayer(), 4);
    const video::SMaterial& m = node->getMaterial(0);
    EXPECT_FALSE(m.Lighting);
    EXPECT_EQ(m.ZBuffer, video::ECFN_NEVER) << "depth test off";
    EXPECT_FALSE(m.ZWriteEnable);
    EXPECT_FALSE(m.BackfaceCulling);
    EXPECT_EQ(m.getTexture(0), region.Texture);
    EXPECT_EQ(std::string(node->getName()), "Spr3EB_") << "the ID in hex; a file name stops at its \"?\"";

    // A label is a text child just in front, named after the sprite.
    CNodeBasement* labelled = make(raw("-Texture:?fill[c1,w8,h8]\n-Name: btn\n-Label: ?Play"));
    CTextNode* label = getTextNodeOf(labelled);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(str(label->getText()), "Play");
    EXPECT_EQ(label->getPosition(), core::vector3df(0, 0, -0.01f));
    EXPECT_EQ(label->getID(), getIdByName("btn_text"));
}

TEST_F(DescriptionToNode, UnnamedTexturelessAndTextDescriptions)
{
    CNodeBasement* unnamed = make(raw("-Texture:?fill[c1,w8,h8]"));
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->getID(), 8001);
    EXPECT_EQ(getNodeById(8001, nullptr), nullptr) << "the shared ID is never cached";

    // No "-Texture:": the empty image, hidden by its hide counter but visible.
    CNodeBasement* empty = make(raw("-Size: 2"));
    auto* emptySprite = dynamic_cast<CSpriteNode*>(empty);
    ASSERT_NE(emptySprite, nullptr);
    EXPECT_EQ(empty->getHideCount(), 1);
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->getEffectiveAlpha(), 0);
    EXPECT_EQ(str(emptySprite->getTextureRegion().Name), "\\gui\\empty.png");
    EXPECT_NE(emptySprite->getTextureRegion().Texture, nullptr);

    // A missing file shows the file layer's box alone; a file holding nothing, the sprite's.
    CMessageBoxRecorder boxes;
    EXPECT_NE(make(Folder.file("missing.spr")), nullptr);
    EXPECT_NE(make(writeSpr("blank.spr", " \n")), nullptr);
    std::vector<std::string> shown;
    for (const SRecordedBox& box : boxes.Boxes)
        if (box.Text.rfind("Wrong texure path!", 0) != 0)   // the temporary folder's capitals
            shown.push_back(box.Text);
    EXPECT_EQ(shown, (std::vector<std::string>{"Attemp to read nonexisted TEXT file\n" + Folder.file("missing.spr"),
                                               "Empty sprite in '" + Folder.file("blank.spr") + "'!"}));

    // "-Text:" makes a text node and nothing else of the description.
    CNodeBasement* text = make(raw("-Text: ?Hi there\n-Name: caption\n-Size: 9\n-Alpha: 0.3\n"
                                   "-Animation.Move: d1 x5 t100\n-Selfdestruction: t10"),
                               nullptr, {1, 2, 0});
    auto* textNode = dynamic_cast<CTextNode*>(text);
    ASSERT_NE(textNode, nullptr) << "a bare engine makes text nodes";
    EXPECT_EQ(str(textNode->getText()), "Hi there");
    EXPECT_EQ(text->getID(), getIdByName("caption"));
    EXPECT_EQ(text->getPosition(), core::vector3df(1, 2, 0));
    EXPECT_FLOAT_EQ(text->getAlpha(), 1.0f);
    EXPECT_TRUE(text->getAnimators().empty());
    EXPECT_TRUE(text->getChildren().empty());
}

TEST_F(DescriptionToNode, KeysReadByTheParsingRules)
{
    CNodeFactory* f = parse("-Texture:?fill[c1,w8,h8]\n-Alpha: 0.5 t300 d100\n-Alpha: 0.9\n"
                            "-Animation.Timeline:\n  move x1\n\tsize 2\n-Tint: #FF0000\n"
                            "-Text:[T[one\n-two\n[three]\n]T]\n");
    EXPECT_FLOAT_EQ(f->alpha, 0.5f) << "the first occurrence counts";
    EXPECT_EQ(f->alphaTime, 300);
    EXPECT_EQ(f->alphaDelay, 100);
    EXPECT_EQ(str(f->timeline), "  move x1  size 2") << "line breaks and tabs become blanks";
    EXPECT_EQ(str(f->text), "one\n-two\n[three]") << "a tagged block keeps its lines";
    f->drop();

    // The first line after a bare key belongs to its value, even a key line;
    // a line opening with a blank does not end a multi-line value.
    f = parse("-Name:\n-Texture:?fill[c1,w8,h8]\n-Size: 2\n-Label:\nfirst\n -second\n[x]\n");
    EXPECT_EQ(str(f->name), "-Texture:?fill[c1,w8,h8]");
    EXPECT_EQ(str(f->texturePath).find("?fill[c1,w8,h8]") != std::string::npos, true) << str(f->texturePath);
    EXPECT_FLOAT_EQ(f->size[0], 2);
    EXPECT_EQ(str(f->label), "first\n -second");
    f->drop();

    // The long event key wins over the compact sub-value whatever their order.
    CNodeBasement* node = make(raw("-Texture:?fill[c1,w8,h8]\n-Event.OnDestroy.Sound: long.wav\n"
                                   "-Events: soundOnDelete[short.wav] actionOnDelete[x();]\n"
                                   "-Custom.Attributes: a[1] b[two]\n-Custom.Attributes: c[3]\n"));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(str(node->getAttributeString("__OnDestroySound", "")), "long.wav");
    EXPECT_EQ(str(node->getAttributeString("__OnDestroyScript", "")), "x();") << "compact values still apply";
    EXPECT_EQ(node->getAttributeInt("a", 0), 1) << "numbers are int attributes";
    EXPECT_EQ(str(node->getAttributeString("b", "")), "two");
    EXPECT_EQ(node->getAttributeInt("c", 0), 3) << "every Custom.Attributes key applies";
    node->setAttributeString("__OnDestroySound", "");
    node->setAttributeString("__OnDestroyScript", "");
}

TEST_F(DescriptionToNode, SizeAndPositionParametersOfAFile)
{
    const std::string path = writeSpr("box.spr", "-Texture:?fill[c1,w64,h32]\n-Size: w2 h3\n-Position: x1 y1\n");
    struct Case { const char* params; core::vector3df position; core::dimension2df size; };
    const Case cases[] = {
        {"", {1, 1, 0}, {2, 3}},
        {"?x[3&y[-1", {3, -1, 0}, {2, 3}},            // x and y replace the description's
        {"?w[2", {1, 1, 0}, {4, 2}},                  // only w: the height follows the texture
        {"?h[2", {1, 1, 0}, {12, 6}},                 // only h: the width follows
        {"?w[2&h[0.5", {1, 1, 0}, {4, 1.5f}},         // both scale
    };
    for (const Case& c : cases) {
        CNodeBasement* node = make(path + c.params);
        ASSERT_NE(node, nullptr) << c.params;
        EXPECT_EQ(node->getPosition(), c.position) << c.params;
        EXPECT_EQ(node->getSize(), c.size) << c.params;
    }
}

TEST_F(DescriptionToNode, MacrosOfSpriteFiles)
{
    const std::string path = writeSpr("m.spr",
                                      "${Default:w=3}-Texture:?fill[c1,w8,h8]\n-Name: ${who}\n-Size: ${w}\n"
                                      "-Custom.Attributes: pick[=${?${mode};a:first;b:second;}] keys[k${VK_RETURN},"
                                      "${VK_SPACE},${auto}]\n${Section:a}-Alpha: 0.25\n${Section:a}"
                                      "${Section:b}-Alpha: 0.75\n${Section:b}");
    CNodeBasement* plain = make(path + "?who=plain&mode=b");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->getID(), getIdByName("plain"));
    EXPECT_EQ(plain->getSize(), core::dimension2df(3, 3)) << "the default";
    EXPECT_EQ(str(plain->getAttributeString("pick", "")), "=second");
    EXPECT_EQ(str(plain->getAttributeString("keys", "")), "k13,32,-1");
    EXPECT_FLOAT_EQ(plain->getAlpha(), 1.0f) << "no section: only the head";

    // With a section only that section's text is read; the head goes.
    CString text = "${Default:w=3}${Section:a}A${Section:a}${Section:b}-Alpha: 0.75\n${Section:b}";
    CStringArray params;
    params.Add("section[b]");
    params.Add("w=9");
    expandSpriteMacros(text, &params);
    EXPECT_EQ(str(text), "-Alpha: 0.75\n");

    CNodeBasement* given = make(path + "?who=given&w=5&mode=a");
    EXPECT_EQ(given->getSize(), core::dimension2df(5, 5)) << "a parameter beats the default";
    EXPECT_EQ(str(given->getAttributeString("pick", "")), "=first");
    CNodeBasement* none = make(path + "?who=none&mode=z");
    EXPECT_EQ(str(none->getAttributeString("pick", "")), "=") << "no case matches";
}

TEST_F(DescriptionToNode, MacroPassDetails)
{
    struct Case { const char* text; const char* debugOff; const char* debugOn; };
    const Case cases[] = {
        {"plain -Size: 2 {no dollar}", "plain -Size: 2 {no dollar}", "plain -Size: 2 {no dollar}"},
        {"$ifdebug-Alpha: 0.5", "//-Alpha: 0.5", "-Alpha: 0.5"},
        {"${VK_RETURN}/${VK_SPACE}/${all}", "13/32/-1", "13/32/-1"},
        {"-Texture:${virtualNode}", "-Texture:\\gui\\empty.png\n-Invisible:1\n",
         "-Texture:\\gui\\empty.png\n-Invisible:1\n"},
        {"${unknown} stays", "${unknown} stays", "${unknown} stays"},
    };
    for (const Case& c : cases) {
        for (int debug : {0, 1}) {
            Engine.Options.Debug = debug;
            CString text = c.text;
            expandSpriteMacros(text);
            EXPECT_EQ(str(text), debug ? c.debugOn : c.debugOff) << c.text << " debug " << debug;
        }
    }
    Engine.Options.Debug = 0;

    CNodeFactory* keyed = parse("-Event.Mouse.Click.Action: go\n-Event.Mouse.Click.KeyShortcut: ${VK_SPACE}\n"
                                "-Texture:${virtualNode}");
    EXPECT_EQ(keyed->hotkey, 32);
    EXPECT_EQ(keyed->invisible, 1) << "the virtual node hides itself";
    EXPECT_EQ(str(keyed->texturePath), "gui\\empty.png") << "a leading backslash names the data folder";
    keyed->drop();
    CNodeBasement* virtualNode = make(raw("-Texture:${virtualNode}"));
    ASSERT_NE(virtualNode, nullptr) << "the empty image stands in when the data lacks it";
    EXPECT_EQ(virtualNode->getHideCount(), 1);

    SetRandomSeed(4242);
    std::set<std::string> ints;
    for (int i = 0; i < 200; ++i) {
        CString text = "${rnd(3,4)}";
        expandSpriteMacros(text);
        ints.insert(str(text));
    }
    EXPECT_EQ(ints, (std::set<std::string>{"3", "4"})) << "both bounds inclusive";
    CString floats = "${rnd(2.0,2.0)} ${rnd(0.25,0.5)}";
    expandSpriteMacros(floats);
    const std::string f = str(floats);
    EXPECT_EQ(f.substr(0, 9), "2.000000 ");
    ASSERT_EQ(f.size(), 17u) << f;
    EXPECT_EQ(f.substr(9, 2), "0.");
}

TEST_F(DescriptionToNode, TheCacheFreezesRandomValuesUnlessMutable)
{
    SetRandomSeed(99);
    const std::string frozen = raw("-Texture:?fill[c1,w8,h8]\n-Custom.Attributes: r[${rnd(1,1000000)}]");
    const std::string mutableOne = raw("-Texture:?fill[c1,w8,h8]\n-AsMutable: 1\n"
                                       "-Custom.Attributes: r[${rnd(1,1000000)}]");
    std::set<int> frozenValues, mutableValues;
    for (int i = 0; i < 4; ++i) {
        frozenValues.insert(make(frozen)->getAttributeInt("r", 0));
        mutableValues.insert(make(mutableOne)->getAttributeInt("r", 0));
    }
    EXPECT_EQ(frozenValues.count(0), 0u);
    EXPECT_EQ(frozenValues.size(), 1u);
    EXPECT_EQ(mutableValues.size(), 4u) << "drawn anew on every creation";
    EXPECT_EQ(getSpriteCacheSize(), 1) << "the mutable description never enters the cache";
}

TEST_F(DescriptionToNode, SizeRulesFromTheTexture)
{
    struct Case { const char* body; core::dimension2df size; };
    const Case cases[] = {
        {"-Texture:?fill[c1,w256,h64]\n-Atlas: x0 y0 w4 h1\n-SizeFromTexture\n-Size: 1", {64, 64}},
        {"-Texture:?fill[c1,w256,h64]\n-SizeFromTexture\n-Size: 0.5", {128, 32}},
        {"-Texture:?fill[c1,w64,h32]\n-Size: h2", {4, 2}},                  // width follows height
        {"-Texture:?fill[c1,w64,h32]\n-Size: w2", {2, 1}},                  // height follows width
        {"-Texture:?fill[c1,w64,h32]\n-Atlas: x0 y0 w2 h1\n-Size: w2", {2, 2}},   // per cell
    };
    for (const Case& c : cases) {
        CNodeBasement* node = make(raw(c.body));
        ASSERT_NE(node, nullptr) << c.body;
        EXPECT_EQ(node->getSize(), c.size) << c.body;
    }
}

TEST_F(DescriptionToNode, PlacementParentsEffectsAndNesting)
{
    CNodeBasement* a = make(raw("-Texture:?fill[c1,w8,h8]\n-Position: x2 y1\n-Size: 4"));
    CNodeBasement* b = make(raw("-Texture:?fill[c1,w8,h8]\n-Position: x1 y3\n-Size: w6 h2"), a);
    CNodeBasement* climbed = make(raw("-Texture:?fill[c1,w8,h8]\n-Parent:-2\n-Position: x0.5"), b, {1, 0, 0});
    EXPECT_EQ(climbed->getParent(), Root);
    EXPECT_EQ(climbed->getPosition(), core::vector3df(4.5f, 4, 0)) << "the screen place stays";

    CNodeBasement* aligned = make(raw("-Texture:?fill[c1,w8,h8]\n-Size: w2 h2\n-Align: x0.5 y-0.5\n"
                                      "-AlignInParent: x-0.5 y0.5"),
                                  b);
    EXPECT_EQ(aligned->getPosition(), core::vector3df(-3 + 1, 1 - 1, 0));

    EXPECT_EQ(make(raw("-AsEffect: 1\n-Tint: 0xFF00FF00\n-Size: w2 h0.5"), b), b);
    EXPECT_EQ(b->getTint(), video::SColor(0xFF00FF00));
    EXPECT_EQ(b->getSize(), core::dimension2df(12, 1));
    EXPECT_EQ(b->getHideCount(), 0) << "a textureless effect does not hide what it decorates";

    writeSpr("inner.spr", "-Texture:?fill[c1,w16,h16]\n-Size: w5 h5\n-Custom.Attributes: from[inner]\n");
    const std::string outer = writeSpr("outer.spr", "-Texture:inner.spr\n-Name: nested\n");
    CNodeBasement* nested = make(outer);
    ASSERT_NE(dynamic_cast<CSpriteNode*>(nested), nullptr);
    EXPECT_EQ(nested->getID(), getIdByName("nested"));
    EXPECT_EQ(nested->getSize(), core::dimension2df(5, 5));
    EXPECT_EQ(str(nested->getAttributeString("from", "")), "inner");
}

TEST_F(DescriptionToNode, PartsAndClones)
{
    const std::string path = writeSpr("group.spr",
                                      "-Texture:?fill[c1,w8,h8]\n-Name: lead\n-MakeClones: 2\n-Position: x1\n"
                                      "\n[Sprite]\n-Texture:?fill[c2,w8,h8]\n-AsChild: 1\n-Position: y1\n"
                                      "\n[Sprite]\n-Texture:?fill[c3,w8,h8]\n-Position: y2\n");
    CNodeBasement* lead = make(path, nullptr, {10, 0, 0});
    ASSERT_NE(lead, nullptr);
    EXPECT_EQ(lead->getAttributeInt("__CloneId", -1), -1);
    // lead + its sibling part, two clones + their sibling parts.
    int clones = 0, siblings = 0;
    std::set<int> cloneIds;
    for (scene::ISceneNode* child : Root->getChildren()) {
        CNodeBasement* node = CNodeBasement::fromSceneNode(child);
        const int id = node->getAttributeInt("__CloneId", 0);
        if (id) {
            ++clones;
            cloneIds.insert(id);
            EXPECT_EQ(node->getPosition(), core::vector3df(11, 0, 0));
            EXPECT_EQ(node->getChildren().size(), 1u) << "each clone has its own child part";
        } else if (node != lead) {
            ++siblings;
            EXPECT_EQ(node->getPosition(), core::vector3df(10, 2, 0)) << "a sibling sits at the call's position";
        }
    }
    EXPECT_EQ(clones, 2);
    EXPECT_EQ(cloneIds, (std::set<int>{1, 2}));
    EXPECT_EQ(siblings, 3);
    ASSERT_EQ(lead->getChildren().size(), 1u);
    EXPECT_EQ((*lead->getChildren().begin())->getPosition(), core::vector3df(0, 1, 0));

}

} // namespace
