// Sprite parts and clones through sprite creation on the null engine.
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

// The call that sprite creation would hand on: the row maker sees the
// description and the node, the test supplies the rest.
struct SCall {
    std::string Name;
    core::vector3df Position;
} Call;

class SpriteParts : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        CTextureCache::instance().clear();
        clearSpriteCache();
        Root = addNode("pole", nullptr, RootNodeId);
        Engine.RootNode = Root;
        GetDescriptionRowMakers() = SDescriptionRowMakers();
        GetDescriptionRowMakers().PartsAndClones = [](const CNodeFactory& f, CNodeBasement* node,
                                                      const SSpriteCreateInfo* info, const char*) {
            makeSpritePartsAndClones(f, node, Call.Name.c_str(), 1, 1, Call.Position, node->getParent(), info);
        };
    }
    void TearDown() override
    {
        GetDescriptionRowMakers() = SDescriptionRowMakers();
        Engine.RootNode = nullptr;
        NullScene::TearDown();
        clearSpriteCache();
        CTextureCache::instance().clear();
    }

    CNodeBasement* make(const std::string& text, const core::vector3df& position, const SSpriteCreateInfo* info = nullptr)
    {
        Folder.write("thing.spr", text);
        Call.Name = Folder.file("thing.spr");
        Call.Position = position;
        return addSprite(Call.Name.c_str(), 1, 1, position, nullptr, info, SPRITE_SITE);
    }

    std::vector<CNodeBasement*> children(scene::ISceneNode* node) const
    {
        std::vector<CNodeBasement*> out;
        for (scene::ISceneNode* child : node->getChildren())
            if (CNodeBasement* engineChild = CNodeBasement::fromSceneNode(child))
                out.push_back(engineChild);
        return out;
    }

    CProbeNode* Root = nullptr;
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;
};

const char* const Piece = "-Texture:?fill[c255,w8,h8]\n";

} // namespace

TEST_F(SpriteParts, PartsBecomeChildrenOrSiblingsAndClonesCarryTheirNumber)
{
    std::string text = std::string(Piece) + "-MakeClones: 3\n[Sprite]\n" + Piece + "-AsChild: 1\n[Sprite]\n" + Piece +
                       "-AsChild: 0\n-Position: 7,7\n";
    CNodeBasement* first = make(text, core::vector3df(2, 3, 0));
    ASSERT_NE(first, nullptr);
    std::vector<CNodeBasement*> top = children(Root);
    ASSERT_EQ(top.size(), 8u);   // each of the four sprites and its sibling part
    EXPECT_EQ(top[0], first);
    EXPECT_FALSE(first->hasAttributes() && first->getAttributeInt("__CloneId", 0) != 0);
    for (int i = 0; i < 4; ++i) {
        CNodeBasement* sprite = top[2 * i];
        CNodeBasement* sibling = top[2 * i + 1];
        if (i > 0) {
            EXPECT_EQ(sprite->getAttributeInt("__CloneId", 0), i);
        }
        EXPECT_EQ(sprite->getPosition(), core::vector3df(2, 3, 0)) << i;
        EXPECT_EQ(sibling->getPosition(), core::vector3df(2, 3, 0)) << "the call's position, not the part's";
        std::vector<CNodeBasement*> own = children(sprite);
        ASSERT_EQ(own.size(), 1u) << i;
        EXPECT_EQ(own[0]->getPosition(), core::vector3df(0, 0, 0));
    }

    // A child part follows its sprite; a sibling stays.
    first->setPosition(core::vector3df(9, 9, 0));
    first->updateAbsolutePosition();
    children(first)[0]->updateAbsolutePosition();
    EXPECT_EQ(children(first)[0]->getAbsolutePosition(), core::vector3df(9, 9, 0));
    EXPECT_EQ(top[1]->getPosition(), core::vector3df(2, 3, 0));
}

TEST_F(SpriteParts, TheCallersRecordDecidesWhatIsMade)
{
    std::string text = std::string(Piece) + "-MakeClones: 2\n[Sprite]\n" + Piece;
    SSpriteCreateInfo noParts;
    noParts.noParts = 1;
    make(text, core::vector3df(0, 0, 0), &noParts);
    EXPECT_EQ(children(Root).size(), 3u);   // the sprite and two clones, no parts

    for (scene::ISceneNode* child : Root->getChildren())
        deleteNode(child);
    Engine.Renderer.processDeferredRemovals();
    SSpriteCreateInfo asChildren;
    asChildren.partsAsChildren = 1;
    asChildren.cloneId = 5;   // a clone makes no clones of its own
    CNodeBasement* sprite = make(text, core::vector3df(0, 0, 0), &asChildren);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(children(Root).size(), 1u);
    EXPECT_EQ(children(sprite).size(), 1u);   // the part without "-AsChild:" follows the record
}
