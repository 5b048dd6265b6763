// Sprite parts and clones through sprite creation on the null engine: a
// description file with "[Sprite]" parts and "-MakeClones:" read by addSprite.
#include "node_helpers_parts.h"

#include "msgbox_recorder.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace irr;

namespace {

class SpriteParts : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Root = addRootWithFreshCaches();
        GetDescriptionRowMakers() = SDescriptionRowMakers();
    }
    void TearDown() override
    {
        GetDescriptionRowMakers() = SDescriptionRowMakers();
        NullScene::TearDown();
    }

    CNodeBasement* make(const std::string& file, const std::string& text, const core::vector3df& position,
                        f32 scaleX = 1, f32 scaleY = 1, const SSpriteCreateInfo* info = nullptr,
                        scene::ISceneNode* parent = nullptr)
    {
        Folder.write(file, text);
        return addSprite(Folder.file(file).c_str(), scaleX, scaleY, position, parent, info, SPRITE_SITE);
    }

    std::vector<CNodeBasement*> children(scene::ISceneNode* node) const
    {
        std::vector<CNodeBasement*> out;
        for (scene::ISceneNode* child : node->getChildren())
            if (CNodeBasement* engineChild = CNodeBasement::fromSceneNode(child))
                out.push_back(engineChild);
        return out;
    }

    void clearRoot()
    {
        for (scene::ISceneNode* child : Root->getChildren())
            deleteNode(child);
        Engine.Renderer.processDeferredRemovals();
    }

    CProbeNode* Root = nullptr;
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;
};

const char* const Piece = "-Texture:?fill[c255,w8,h8]\n";

} // namespace

TEST_F(SpriteParts, TwoPartsAreAChildAndASiblingWithTheirScales)
{
    // Working size (2 x 4) x (3, 5) = (6, 20); each part asks for its own size.
    const std::string text = std::string(Piece) + "-Size: w2 h4\n-Position: x1 y1\n"
                             "[Sprite]\n" + Piece + "-Size: w0.5 h0.25\n-AsChild: 1\n-Position: x1 y2\n"
                             "[Sprite]\n" + Piece + "-Size: w7 h11\n-Position: x7 y7\n";
    CNodeBasement* sprite = make("two.spr", text, core::vector3df(2, 3, 0), 3, 5);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->getSize(), core::dimension2df(6, 20));
    EXPECT_EQ(sprite->getPosition(), core::vector3df(3, 4, 0));

    const std::vector<CNodeBasement*> own = children(sprite);
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0]->getSize(), core::dimension2df(3, 5)) << "scaled by the sprite's working size";
    EXPECT_EQ(own[0]->getPosition(), core::vector3df(1, 2, 0)) << "at the origin plus its own position";

    const std::vector<CNodeBasement*> top = children(Root);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0], sprite);
    EXPECT_EQ(top[1]->getSize(), core::dimension2df(21, 55)) << "scaled by the call's scale";
    EXPECT_EQ(top[1]->getPosition(), core::vector3df(9, 10, 0)) << "the call's position plus its own";
    EXPECT_TRUE(children(top[1]).empty());

    // A child part follows its sprite; a sibling stays.
    sprite->setPosition(core::vector3df(9, 9, 0));
    sprite->updateAbsolutePosition();
    own[0]->updateAbsolutePosition();
    EXPECT_EQ(own[0]->getAbsolutePosition(), core::vector3df(10, 11, 0));
    EXPECT_EQ(top[1]->getPosition(), core::vector3df(9, 10, 0));
}

TEST_F(SpriteParts, SiblingsJoinTheResolvedParentAtTheCallsPosition)
{
    CProbeNode* holder = addNode("holder", Root, -1, core::vector3df(10, 0, 0));
    const std::string text = std::string(Piece) + "-Parent: -1\n[Sprite]\n" + Piece;
    CNodeBasement* sprite = make("climb.spr", text, core::vector3df(1, 2, 0), 1, 1, nullptr, holder);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->getParent(), Root);
    EXPECT_EQ(sprite->getPosition(), core::vector3df(11, 2, 0)) << "keeps its place on screen";
    const std::vector<CNodeBasement*> top = children(Root);
    ASSERT_EQ(top.size(), 3u);   // the holder, the sprite, its sibling part
    EXPECT_EQ(top[2]->getPosition(), core::vector3df(1, 2, 0)) << "the call's position, not the climbed one";
    EXPECT_TRUE(children(holder).empty());
}

TEST_F(SpriteParts, ClonesCarryTheirNumberAndTheirOwnParts)
{
    const std::string text = std::string(Piece) + "-MakeClones: 3\n[Sprite]\n" + Piece + "-AsChild: 1\n[Sprite]\n" +
                             Piece + "-AsChild: 0\n-Position: x7 y7\n";
    CNodeBasement* first = make("clones.spr", text, core::vector3df(2, 3, 0));
    ASSERT_NE(first, nullptr);
    const std::vector<CNodeBasement*> top = children(Root);
    ASSERT_EQ(top.size(), 8u);   // each of the four sprites and its sibling part
    EXPECT_EQ(top[0], first);
    EXPECT_FALSE(first->hasAttributes() && first->getAttributeInt("__CloneId", 0) != 0);
    for (int i = 0; i < 4; ++i) {
        CNodeBasement* sprite = top[2 * i];
        CNodeBasement* sibling = top[2 * i + 1];
        if (i > 0) {
            EXPECT_EQ(sprite->getAttributeInt("__CloneId", 0), i);
        }
        EXPECT_FALSE(sibling->hasAttributes() && sibling->getAttributeInt("__CloneId", 0) != 0) << i;
        EXPECT_EQ(sprite->getPosition(), core::vector3df(2, 3, 0)) << i;
        EXPECT_EQ(sibling->getPosition(), core::vector3df(9, 10, 0)) << i;
        const std::vector<CNodeBasement*> own = children(sprite);
        ASSERT_EQ(own.size(), 1u) << i;
        EXPECT_EQ(own[0]->getPosition(), core::vector3df(0, 0, 0));
    }
}

TEST_F(SpriteParts, TheCallersRecordDecidesWhatIsMade)
{
    struct Case {
        const char* what;
        int clones;
        uint32_t noParts, partsAsChildren, cloneId;
        size_t topLevel, childrenOfFirst;
    };
    const Case cases[] = {
        {"plain: two siblings each", 2, 0, 0, 0, 9, 0},
        {"noParts: the sprite and two clones", 2, 1, 0, 0, 3, 0},
        {"partsAsChildren: only \"-AsChild: 0\" stays beside", 2, 0, 1, 0, 6, 1},
        {"a clone makes no clones of its own", 2, 0, 1, 5, 2, 1},
        {"noParts on a clone: nothing else", 2, 1, 0, 5, 1, 0},
        {"many clones", 5000, 1, 0, 0, 5001, 0},
        {"as many again: the bound is each making's own", 5000, 1, 0, 0, 5001, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = std::string(Piece) + "-MakeClones: " + std::to_string(c.clones) + "\n[Sprite]\n" +
                                 Piece + "[Sprite]\n" + Piece + "-AsChild: 0\n";
        SSpriteCreateInfo info;
        info.noParts = c.noParts;
        info.partsAsChildren = c.partsAsChildren;
        info.cloneId = c.cloneId;
        CNodeBasement* sprite = make("record" + std::to_string(c.clones) + ".spr", text, core::vector3df(0, 0, 0), 1,
                                     1, &info);
        ASSERT_NE(sprite, nullptr);
        EXPECT_EQ(children(Root).size(), c.topLevel);
        EXPECT_EQ(children(sprite).size(), c.childrenOfFirst);
        clearRoot();
    }
}

TEST_F(SpriteParts, InlineDescriptionsBuildTheirPartsToo)
{
    const std::string name = std::string("raw://\n") + Piece + "-MakeClones: 1\n[Sprite]\n" + Piece + "-AsChild: 1\n";
    CNodeBasement* sprite = addSprite(name.c_str(), 1, 1, core::vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
    ASSERT_NE(sprite, nullptr);
    const std::vector<CNodeBasement*> top = children(Root);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[1]->getAttributeInt("__CloneId", 0), 1);
    EXPECT_EQ(children(top[0]).size(), 1u);
    EXPECT_EQ(children(top[1]).size(), 1u);
}

TEST_F(SpriteParts, APartsClonesAreThatPartAgain)
{
    const std::string text = std::string(Piece) + "[Sprite]\n" + Piece + "-MakeClones: 2\n-Size: w3 h3\n";
    CNodeBasement* sprite = make("partclones.spr", text, core::vector3df(0, 0, 0));
    ASSERT_NE(sprite, nullptr);
    const std::vector<CNodeBasement*> top = children(Root);
    ASSERT_EQ(top.size(), 4u);   // the sprite, its part and the part's two clones
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(top[i]->getSize(), core::dimension2df(3, 3)) << i;
        if (i > 1) {
            EXPECT_EQ(top[i]->getAttributeInt("__CloneId", 0), i - 1);
        }
    }
    for (const SRecordedBox& box : Boxes.Boxes)
        EXPECT_TRUE(box.Text.find("Empty sprite") == std::string::npos &&
                    box.Text.find("nonexisted") == std::string::npos)
            << "a clone of a part reads no file: " << box.Text;
}
