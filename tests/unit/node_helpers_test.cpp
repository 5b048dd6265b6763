// Sprite creation on the null driver: from description text to node tree with
// IDs, names, sizes, positions, alignment, alphas, material flags and layer;
// parameters, nested descriptions, effects, images, parents and the animator
// rows; malformed descriptions that must neither crash nor hang.
#include "node_helpers.h"

#include "abaseanimators.h"
#include "afadeanimators.h"
#include "module_scripting_binding.h"
#include "msgbox_recorder.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"
#include "utils_debug.h"

#include <IVideoDriver.h>
#include <ISceneManager.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace irr;

namespace {

std::string str(const CString& text) { return std::string((const char*)text); }

// Every description ends in a line break: a last key without one reads as absent.
std::string raw(const std::string& body) { return "raw://\n" + body + "\n"; }

const char* const Fill = "-Texture:?fill[c1,w64,h32]\n";

class SpriteCreation : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Root = addRootWithFreshCaches();
        GetSceneHooks().AddSprite = [](const char* name, scene::ISceneNode* parent, const char* site) -> scene::ISceneNode* {
            return addSprite(name, 1, 1, core::vector3df(0, 0, 0), parent, nullptr, site);
        };
        GetDescriptionRowMakers() = SDescriptionRowMakers();
    }
    void TearDown() override
    {
        GetDescriptionRowMakers() = SDescriptionRowMakers();
        SetSpriteTextNodeMaker(nullptr);
        NullScene::TearDown();
    }
    CNodeBasement* make(const std::string& name, scene::ISceneNode* parent = nullptr,
                        const core::vector3df& position = {0, 0, 0}, const SSpriteCreateInfo* info = nullptr)
    {
        return addSprite(name.c_str(), 1, 1, position, parent, info, SPRITE_SITE);
    }
    std::string writeSpr(const std::string& file, const std::string& text)
    {
        Folder.write(file, text);
        return Folder.file(file);
    }
    bool boxSaid(const char* part) const
    {
        for (const SRecordedBox& box : Boxes.Boxes)
            if (box.Text.find(part) != std::string::npos)
                return true;
        return false;
    }

    CProbeNode* Root = nullptr;
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;
};

TEST_F(SpriteCreation, DescriptionBecomesASpriteWithItsFields)
{
    CNodeBasement* node = make(raw(std::string(Fill) +
                                   "-Name: hero\n-Size: w2 h3\n-Position: x1 y2 s5\n-Alpha: 0.5\n-Tint: 0xFF102030\n"
                                   "-RenderOrder: 1\n-Rotation: 90\n-AlphaMinVisible: 0.25\n-Custom.Attributes: kind[boss]"),
                               nullptr, core::vector3df(10, 0, 0));
    ASSERT_NE(node, nullptr);
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(node->getParent(), Root);
    EXPECT_EQ(node->getID(), getIdByName("hero"));
    EXPECT_EQ(node->getSize(), core::dimension2df(2, 3));
    EXPECT_EQ(node->getPosition(), core::vector3df(11, 2, 0));
    EXPECT_EQ(node->getZOrder(), 5);
    EXPECT_FLOAT_EQ(node->getAlpha(), 0.5f);
    EXPECT_EQ(node->getTint(), video::SColor(0xFF102030));
    EXPECT_EQ(node->getLayer(), 6);
    EXPECT_NEAR(sprite->getAngle(), 1.5707963f, 1e-5f);
    EXPECT_EQ(node->getAlphaThreshold(), 64);
    EXPECT_EQ(node->getHideCount(), 0);
    EXPECT_EQ(str(node->getAttributeString("kind", "")), "boss");
    EXPECT_EQ(std::string(node->getName()).rfind("Spr", 0), 0u);
    EXPECT_NE(sprite->getTextureRegion().Texture, nullptr);
    const video::SMaterial& material = node->getMaterial(0);
    EXPECT_FALSE(material.Lighting);
    EXPECT_FALSE(material.ZWriteEnable);
    EXPECT_FALSE(material.BackfaceCulling);
    EXPECT_FLOAT_EQ(material.MaterialTypeParam, 0.01f);
    EXPECT_EQ(node->getReferenceCount(), 1) << "the parent's reference only";
}

TEST_F(SpriteCreation, FilteringFollowsLevelQualityAndRenderer)
{
    struct Case { int hiQuality, renderer; const char* key; bool bilinear, trilinear, anisotropic; };
    const Case cases[] = {
        {1, 5, "", true, true, true},                       // level 3 on renderer 5
        {1, 3, "", false, false, true},
        {1, 3, "-TextureFiltering: 2", false, true, false},
        {1, 3, "-TextureFiltering: 1", true, false, false},
        {1, 3, "-MaterialType: 2", false, false, false},    // a material number sets level 0
        {0, 5, "", false, false, false},                    // no high quality: always 0
    };
    for (const Case& c : cases) {
        Engine.Options.HiQuality = c.hiQuality;
        Engine.Options.Renderer = c.renderer;
        CNodeBasement* node = make(raw(std::string(Fill) + c.key));
        ASSERT_NE(node, nullptr);
        const video::SMaterial& m = node->getMaterial(0);
        EXPECT_EQ(m.TextureLayer[0].BilinearFilter, c.bilinear) << c.key << " " << c.renderer;
        EXPECT_EQ(m.TextureLayer[0].TrilinearFilter, c.trilinear) << c.key << " " << c.renderer;
        EXPECT_EQ(m.TextureLayer[0].AnisotropicFilter != 0, c.anisotropic) << c.key << " " << c.renderer;
    }
}

TEST_F(SpriteCreation, DefaultsAndTexturelessSprites)
{
    CNodeBasement* plain = make(raw(Fill));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->getID(), SharedSpriteId);
    EXPECT_EQ(plain->getLayer(), 4);
    EXPECT_FLOAT_EQ(plain->getAlpha(), 1.0f);
    CNodeBasement* mentions = make(raw(std::string(Fill) + "-Custom.Attributes: file[x.png]"));
    ASSERT_NE(mentions, nullptr) << "an inline text naming a .png is not an image name";
    EXPECT_EQ(str(mentions->getAttributeString("file", "")), "x.png");
    CNodeBasement* unterminated = make("raw://-Texture:?fill[c1,w8,h8]\n-Alpha: 0.5");
    ASSERT_NE(unterminated, nullptr);
    EXPECT_FLOAT_EQ(unterminated->getAlpha(), 0.5f) << "the last key reads without a line break";
    // The empty image is not there on the null driver's disk: a textureless
    // description still stops at its texture, so only its parse is checked.
    CNodeFactory* empty = getSpriteDescription("raw://\n-Name: e\n", "\n-Name: e\n", nullptr, nullptr);
    EXPECT_EQ(empty->invisible, 1);
    EXPECT_EQ(str(empty->texturePath), "\\gui\\empty.png");
    empty->drop();
}

TEST_F(SpriteCreation, AlphaAndFadeAnimatorsFromKeys)
{
    CNodeBasement* node = make(raw(std::string(Fill) + "-Alpha: 1 t1000 d200\n-Fade: 0.5 t500"));
    ASSERT_NE(node, nullptr);
    EXPECT_FLOAT_EQ(node->getAlpha(), 0.0f);
    EXPECT_FLOAT_EQ(node->getInheritedAlpha(), 0.0f);
    frame(1600);
    // The fade took the shared name last, so it replaced the alpha ramp.
    EXPECT_NEAR(node->getInheritedAlpha(), 0.5f, 1e-5f);
    CNodeBasement* own = make(raw(std::string(Fill) + "-Alpha: 1 t1000 d200"));
    frame(2200);
    EXPECT_NEAR(own->getAlpha(), 0.5f, 1e-5f) << "created at 1600: 600 ms later";
}

TEST_F(SpriteCreation, ParametersScaleAndPlaceAFileDescription)
{
    const std::string path = writeSpr("box.spr", std::string(Fill) + "-Size: 20\n-Align: x0.5 y-0.5\n");
    CNodeBasement* node = make(path + "?w[3&x[2");
    ASSERT_NE(node, nullptr);
    EXPECT_FLOAT_EQ(node->getSize().Width, 60);
    EXPECT_FLOAT_EQ(node->getPosition().X, 2 + 30) << "x parameter, then half the width";
    EXPECT_FLOAT_EQ(node->getPosition().Y, -0.5f * node->getSize().Height);
    make(path + "?w[3&x[2");
    EXPECT_EQ(getSpriteCacheSize(), 1) << "one parse per full name";
}

TEST_F(SpriteCreation, SizeFromTextureUsesTheFrameGrid)
{
    CNodeBasement* node = make(raw("-Texture:?fill[c1,w256,h64]\n-Atlas: x0 y0 w4 h1\n-SizeFromTexture\n-Size: 1"));
    ASSERT_NE(node, nullptr);
    const STextureRegion& region = dynamic_cast<CSpriteNode*>(node)->getTextureRegion();
    if (region.getWidth() == 0)
        GTEST_SKIP() << "the null driver gave the fill texture no size";
    EXPECT_EQ(node->getSize(), core::dimension2df(64, 64));
    CNodeBasement* follows = make(raw("-Texture:?fill[c1,w256,h64]\n-Size: w2"));
    EXPECT_EQ(follows->getSize(), core::dimension2df(2, 0.5f)) << "height follows width";
}

TEST_F(SpriteCreation, NestedDescriptionTextureAndEffects)
{
    writeSpr("inner.spr", std::string(Fill) + "-Size: w4 h2\n-Alpha: 0.4\n");
    const std::string outer = writeSpr("outer.spr", "-Texture:inner.spr\n-Name: outer\n-Tint: 0xFF00FF00\n");
    CNodeBasement* node = make(outer);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getID(), getIdByName("outer"));
    EXPECT_EQ(node->getSize(), core::dimension2df(4, 2)) << "the inner description's size";
    EXPECT_FLOAT_EQ(node->getAlpha(), 1.0f) << "the outer description's fields apply last";
    EXPECT_EQ(node->getTint(), video::SColor(0xFF00FF00));
    EXPECT_EQ(node->getReferenceCount(), 1);

    CNodeBasement* effect = make(raw("-AsEffect: 1\n-Alpha: 0.3\n-Size: w2 h2\n-Position: x1"), node);
    EXPECT_EQ(effect, node) << "the effect decorates its parent";
    EXPECT_FLOAT_EQ(node->getAlpha(), 0.3f);
    EXPECT_EQ(node->getSize(), core::dimension2df(8, 4));
    EXPECT_EQ(node->getReferenceCount(), 1) << "no reference is kept for the caller";
}

TEST_F(SpriteCreation, ImageFileSpriteSkipsTheFields)
{
    const std::string path = Folder.file("pic.png");
    video::IImage* image = Engine.Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(16, 8));
    image->fill(video::SColor(255, 200, 10, 10));
    ASSERT_TRUE(Engine.Driver->writeImageToFile(image, path.c_str()));
    image->drop();
    CNodeBasement* node = addSprite(path.c_str(), 2, 3, core::vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getSize(), core::dimension2df(2, 3));
    EXPECT_EQ(node->getHideCount(), 0) << "the parse's hidden default is not applied";
    EXPECT_EQ(str(dynamic_cast<CSpriteNode*>(node)->getTextureRegion().Name), path);
}

TEST_F(SpriteCreation, ParentsByClimbAndByName)
{
    CNodeBasement* a = make(raw(std::string(Fill) + "-Position: x1"));
    CNodeBasement* b = make(raw(std::string(Fill) + "-Position: y1"), a);
    CNodeBasement* climbed = make(raw(std::string(Fill) + "-Parent: -2"), b);
    EXPECT_EQ(climbed->getParent(), Root);
    EXPECT_EQ(climbed->getPosition(), core::vector3df(1, 1, 0)) << "its place on screen stays";

    make(raw(std::string(Fill) + "-Name: holder"));
    CNodeBasement* named = make(raw(std::string(Fill) + "-Parent: holder"));
    EXPECT_EQ(named->getParent(), getNodeByName("holder"));
}

TEST_F(SpriteCreation, TextDescriptionsNeedTheTextNodeMaker)
{
    SetSpriteTextNodeMaker(nullptr);
    EXPECT_EQ(make(raw("-Text: ?Hello\n-Size: 5")), nullptr);
    static std::string shown;
    SetSpriteTextNodeMaker([](const char* text, const core::vector3df& position, scene::ISceneNode* parent,
                              s32 id) -> CNodeBasement* {
        shown = text;
        CProbeNode* node = new CProbeNode(parent, parent->getSceneManager(), "text", nullptr, position);
        node->drop();
        node->setID(id);
        return node;
    });
    CNodeBasement* text = make(raw("-Text: ?Hello\n-Name: caption\n-Alpha: 0.2\n-Size: 5"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(shown, "Hello");
    EXPECT_EQ(text->getID(), getIdByName("caption"));
    EXPECT_FLOAT_EQ(text->getAlpha(), 1.0f) << "nothing else of the description";
}

TEST_F(SpriteCreation, PlacementFollowsAnchorsAndTheParentsSize)
{
    CNodeBasement* mark = make(raw(std::string(Fill) + "-Name: place_mark\n-Position: x3 y4"));
    CNodeBasement* parent = make(raw(std::string(Fill) + "-Size: w10 h4\n-Position: x1 y1"));
    mark->updateAbsolutePosition();
    parent->updateAbsolutePosition();
    struct Case { const char* body; core::vector3df position; core::dimension2df size; const char* what; };
    const Case cases[] = {
        {"-Position: x0.5 @place_mark", {2.5f, 3, 0}, {1, 1}, "at the named node, relative to the parent"},
        {"-Position: @no_such_mark", {0, 0, 0}, {1, 1}, "an unknown anchor changes nothing"},
        {"-AlignInParent: x0.5 y-0.5", {5, -2, 0}, {1, 1}, "by the parent's size"},
        {"-Size: w2 h2\n-Align: x0.5 y0.5", {1, 1, 0}, {2, 2}, "by its own size"},
        {"-SizeFromParent: w0.5", {0, 0, 0}, {5, 1}, "width from the parent, height kept"},
        {"-SizeFromParent: w0.5 h0.5\n-Align: x-0.5", {-2.5f, 0, 0}, {5, 2}, "aligned by the size the rules gave"},
    };
    for (const Case& c : cases) {
        CNodeBasement* node = make(raw(std::string(Fill) + c.body), parent);
        ASSERT_NE(node, nullptr) << c.what;
        EXPECT_EQ(node->getParent(), parent) << c.what;
        EXPECT_EQ(node->getPosition(), c.position) << c.what;
        EXPECT_EQ(node->getSize(), c.size) << c.what;
    }
}

TEST_F(SpriteCreation, FieldsOfTheFixedOrder)
{
    CNodeBasement* cell = make(raw(std::string(Fill) + "-Atlas: x1 y1 w4 h2"));
    CSpriteNode* cellSprite = dynamic_cast<CSpriteNode*>(cell);
    EXPECT_FLOAT_EQ(cellSprite->getFrameColumn(), 1);
    EXPECT_FLOAT_EQ(cellSprite->getFrameRow(), 1);
    EXPECT_FLOAT_EQ(cellSprite->getFrameColumns(), 4);
    EXPECT_FLOAT_EQ(cellSprite->getFrameRows(), 2);
    CSpriteNode* noCell = dynamic_cast<CSpriteNode*>(make(raw(std::string(Fill) + "-Atlas: x3 y2 w0 h0")));
    EXPECT_FLOAT_EQ(noCell->getFrameColumn(), 0) << "w = h = 0 sets no cell";
    EXPECT_FLOAT_EQ(noCell->getFrameColumns(), 1);

    CNodeBasement* fading = make(raw(std::string(Fill) + "-Alpha: 0 t500"));
    EXPECT_FLOAT_EQ(fading->getAlpha(), 1.0f) << "a zero target starts from the current alpha";
    frame(now() + 100);
    frame(now() + 700);
    EXPECT_NEAR(fading->getAlpha(), 0.0f, 1e-5f);

    CNodeBasement* still = make(raw(std::string(Fill) + "-AsStatic: 1\n-Event.OnDestroy.Sound: boom.wav"));
    EXPECT_FALSE(still->areAnimatorsEnabled());
    EXPECT_EQ(str(still->getAttributeString("__OnDestroySound", "")), "boom.wav");
    still->setAttributeString("__OnDestroySound", "");

    SSpriteCreateInfo info;
    info.nodeId = 1500;
    EXPECT_EQ(make(raw(Fill), nullptr, {0, 0, 0}, &info)->getID(), 1500) << "the record's ID";
    CNodeBasement* named = make(raw(std::string(Fill) + "-Name: record_named"), nullptr, {0, 0, 0}, &info);
    EXPECT_EQ(named->getID(), getIdByName("record_named")) << "a name replaces the record's ID";
}

TEST_F(SpriteCreation, EffectsKeepWhatTheyDoNotSay)
{
    CNodeBasement* turned = make(raw(std::string(Fill) + "-Rotation: 90\n-Animation.GroupSet: g1\n"
                                                         "-Selfdestruction: t50000"));
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(turned);
    ASSERT_NE(turned->findAnimatorByName("g1", false), nullptr);
    EXPECT_EQ(make(raw("-AsEffect: 1\n-Alpha: 0.5"), turned), turned);
    EXPECT_NEAR(sprite->getAngle(), 1.5707963f, 1e-5f) << "no rotation key: the angle stays";
    make(raw("-AsEffect: 1\n-Rotation: 0\n-Animation.GroupClear: g1,other"), turned);
    EXPECT_FLOAT_EQ(sprite->getAngle(), 0.0f);
    frame(now() + 16);
    EXPECT_EQ(turned->findAnimatorByName("g1", false), nullptr) << "the group was cleared";
}

TEST_F(SpriteCreation, RefusedSpritesAreNotMade)
{
    EXPECT_EQ(make(raw(std::string(Fill) + "-IgnoreSprite: 1")), nullptr);
    EXPECT_EQ(Root->getChildren().size(), 0u);
}

TEST_F(SpriteCreation, AnimatorRowsFromKeys)
{
    CNodeBasement* parent = make(raw(Fill));
    CNodeBasement* hider = make(raw(std::string(Fill) + "-Animation.HideParent: 1\n-Animation.GroupSet: grp\n"
                                                        "-Selfdestruction: t5000 f100\n-Animation.Texture: t800 m4x2"),
                                parent);
    EXPECT_EQ(parent->getHideCount(), 1);
    EXPECT_NE(hider->findAnimatorByName("grp", false), nullptr) << "grouped by name";
    CBaseAnimator* atlas = hider->findAnimatorByName(CAtlasFrameAnimator::UniqueName, false);
    ASSERT_NE(atlas, nullptr) << "the atlas animator keeps its own name";
    frame(1000 + 250);   // 8 cells over 800 ms: cell 2
    EXPECT_FLOAT_EQ(dynamic_cast<CSpriteNode*>(hider)->getFrameColumn(), 2);
    deleteNode(hider);
    frame(1300);
    EXPECT_EQ(parent->getHideCount(), 0) << "the removed sprite is freed and undoes its hiding";

    CNodeBasement* row = make(raw(std::string(Fill) + "-Animation.Texture: t400 m3-2/2"));
    CSpriteNode* rowSprite = dynamic_cast<CSpriteNode*>(row);
    EXPECT_FLOAT_EQ(rowSprite->getFrameRow(), 1);
    EXPECT_FLOAT_EQ(rowSprite->getFrameColumns(), 3);

    CNodeBasement* shown = make(raw(std::string(Fill) + "-Animation.HideIf: rows_blocker"));
    EXPECT_EQ(Root->getAnimators().size(), 1u) << "hide-if sits on the root";
    frame(1400);
    EXPECT_TRUE(shown->isVisible());
    make(raw(std::string(Fill) + "-Name: rows_blocker"));
    frame(1500);
    EXPECT_FALSE(shown->isVisible());

    CNodeBasement* timed = make(raw(std::string(Fill) + "-Alpha: 1 t500\n-Animation.BaseTimer: 1"));
    CBaseAnimator* alpha = timed->findAnimatorByName(CAlphaAnimator::UniqueName, false);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->getTimer(), 1);
}

TEST_F(SpriteCreation, RowMakersRunOnlyWhenTheirKeysAsk)
{
    static std::vector<std::string> ran;
    ran.clear();
    SDescriptionRowMakers& makers = GetDescriptionRowMakers();
    makers.Click = [](const CNodeFactory& f, CNodeBasement*, const SSpriteCreateInfo*, const char*) {
        ran.push_back("click:" + str(f.clickAction));
    };
    makers.ClickBlock = [](const CNodeFactory&, CNodeBasement*, const SSpriteCreateInfo*, const char*) { ran.push_back("block"); };
    makers.Rotation = [](const CNodeFactory&, CNodeBasement*, const SSpriteCreateInfo*, const char*) { ran.push_back("rotation"); };
    makers.ScriptMethod = [](const CNodeFactory&, CNodeBasement* node, const SSpriteCreateInfo*, const char*) {
        ran.push_back("script, sprites: " + std::to_string(node->getParent()->getChildren().size()));
    };
    make(raw(std::string(Fill) + "-Event.Mouse.Click.Block: 1\n-Animation.Rotation: s0 t0"));
    EXPECT_EQ(ran, std::vector<std::string>({"block"})) << "no click without an action; no rotation at zero";
    ran.clear();
    make(raw(std::string(Fill) + "-Event.Mouse.Click.Action: go();\n-Animation.Rotation: t5\n"
                                 "-Animation.Scripted: run\n"
                                 "[Sprite]\n-Texture:?fill[c2,w4,h4]\n-Custom.Attributes: file[x.png]\n"));
    // The sibling part exists before the script row: a part of an inline text naming a .png is still a description.
    EXPECT_EQ(ran, std::vector<std::string>({"rotation", "click:go();", "script, sprites: 3"}));
}

TEST_F(SpriteCreation, InitScriptSeesAndChangesTheNode)
{
    SquirrelObject code = SquirrelVM::CompileBuffer("function initNode(t) { t._x = 7.0; t._alpha = 0.25; }", "init");
    SquirrelVM::RunScript(code);
    CNodeBasement* node = make(raw(std::string(Fill) + "-Event.Init: initNode"));
    EXPECT_FLOAT_EQ(node->getPosition().X, 7.0f);
    EXPECT_FLOAT_EQ(node->getAlpha(), 0.25f);
}

TEST_F(SpriteCreation, MalformedDescriptionsNeitherCrashNorHang)
{
    const std::string self = Folder.file("self.spr");
    writeSpr("self.spr", "-Texture:self.spr\n");
    EXPECT_EQ(make(self), nullptr);
    EXPECT_TRUE(boxSaid("nest too deep"));

    const struct { const char* body; const char* what; } cases[] = {
        {"-Animation.Texture: t100", "a frame animation without a grid"},
        {"-Animation.Texture: t100 m0x4", "a grid without columns"},
        {"-Animation.Texture: t0 m4x2", "a grid without a cycle time"},
        {"-Animation.Texture: t100 m99999x99999", "a grid too large to be a picture"},
        {"-Animation.Texture: t100 m4-0/2", "row 0 of a one-row grid"},
        {"-Alpha: 1 t100 d200", "an alpha time below its delay"},
        {"-Fade: 0.5 t200 d200", "a fade time equal to its delay"},
        {"-Parent: -50", "climbing past the root"},
        {"-Size: w0 h0\n-SizeFromTexture", "no size at all"},
        {"-Selfdestruction: t1 f5000", "a fade longer than the life"},
    };
    for (const auto& c : cases) {
        CNodeBasement* node = make(raw(std::string(Fill) + c.body));
        EXPECT_NE(node, nullptr) << c.what;
    }
    frame(1500);
    frame(2500);
    EXPECT_TRUE(boxSaid("climbs past the root"));

    CNodeBasement* doomed = make(raw(std::string(Fill) + "-Name: doomed"));
    deleteNode(doomed);
    frame(2600);
    CNodeBasement* orphan = make(raw(std::string(Fill) + "-Parent: doomed"));
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(orphan->getParent(), Root) << "a stale parent name falls back to the root";
}

using SpriteCreationDeathTest = SpriteCreation;

TEST_F(SpriteCreationDeathTest, ContentFaultsThatStop)
{
    SetLogFolder(Folder.path().c_str());
    const std::string swarm = writeSpr("swarm.spr", std::string(Fill) + "-Name: swarm\n-MakeClones: 8001\n");
    // Each of 99 clones makes the part, and the part 80 clones of its own.
    const std::string brood =
        writeSpr("brood.spr", std::string(Fill) + "-MakeClones: 99\n[Sprite]\n" + Fill + "-MakeClones: 80\n");
    const struct {
        std::string name;
        std::string alert;   // the box's text
    } faults[] = {
        {raw(std::string(Fill) + "-Parent: never_named"), "Unaccessible parent: 'never_named'"},
        {raw("-Texture:missing_picture.png"), "Failed to load"},
        {swarm, "Too many clones (-MakeClones: 8001, at most 8000) for the sprite 'swarm' of '" + swarm + "'"},
        {brood, "Too many clones (-MakeClones: 80 after 7939 others of one sprite, at most 8000) for the sprite of '" +
                    brood + "'"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        std::remove(Folder.file("last_scriptcomp_error_alert.log").c_str());
        EXPECT_EXIT(make(f.name), ::testing::ExitedWithCode(1), "");
        EXPECT_NE(Folder.read("last_scriptcomp_error_alert.log").find(f.alert), std::string::npos)
            << Folder.read("last_scriptcomp_error_alert.log");
    }
    SetLogFolder(nullptr);
}

} // namespace
