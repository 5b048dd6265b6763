// Creation shortcuts on the null engine: the empty group node and the
// nine-piece frame with its background.
#include "node_helpers_frames.h"

#include "msgbox_recorder.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"

#include <IFileSystem.h>
#include <IrrlichtDevice.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

using namespace irr;

namespace {

class FrameSprites : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Root = addRootWithFreshCaches();
        std::filesystem::create_directories(Folder.file("gui"));
        const char* piece = "-Texture:?fill[c255,w8,h8]\n";
        for (const char* name : {"frame_corner.spr", "frame_top.spr", "frame_edge.spr", "back.spr"})
            Folder.write(name, piece);
        Folder.write("gui/empty.png", "");
        video::IImage* image = Engine.Device->getVideoDriver()->createImage(video::ECF_A8R8G8B8, core::dimension2du(2, 2));
        image->fill(video::SColor(0, 0, 0, 0));
        ASSERT_TRUE(Engine.Device->getVideoDriver()->writeImageToFile(image, Folder.file("gui/empty.png").c_str()));
        image->drop();
        ASSERT_TRUE(Engine.Device->getFileSystem()->addFileArchive(Folder.path().c_str(), true, false,
                                                                    io::EFAT_FOLDER));
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

} // namespace

TEST_F(FrameSprites, AnEmptyNodeIsInvisibleButItsChildrenAreNot)
{
    CNodeBasement* group = createEmptySpriteNode(Root, 1500, core::vector3df(1, 2, 0));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->getID(), 1500);
    EXPECT_EQ(group->getParent(), Root);
    EXPECT_FLOAT_EQ(group->getAlpha(), 0.0f);
    EXPECT_EQ(group->getHideCount(), 1);
    EXPECT_EQ(group->getEffectiveAlpha(), 0);
    EXPECT_EQ(group->getPosition(), core::vector3df(1, 2, 0));
    // A size of 0 by 0 becomes 1 by 1, as for every sprite.
    EXPECT_EQ(group->getSize(), core::dimension2df(1, 1));
    CNodeBasement* child = addSprite(Folder.file("back.spr").c_str(), 1, 1, core::vector3df(0, 0, 0), group,
                                     nullptr, SPRITE_SITE);
    ASSERT_NE(child, nullptr);
    EXPECT_GT(child->getEffectiveAlpha(), 0);
}

TEST_F(FrameSprites, NinePiecesSitAroundATiledBackground)
{
    CNodeBasement* background = nullptr;
    CNodeBasement* frame = createFrameSprite(core::vector3df(5, 5, 0), 4, 2, Folder.file("frame").c_str(),
                                             Folder.file("back.spr").c_str(), 0.4f, nullptr, &background);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->getParent(), Root);
    EXPECT_EQ(frame->getPosition(), core::vector3df(5, 5, 0));
    EXPECT_NE(std::string(frame->getName()).find(" [fld]"), std::string::npos);
    std::vector<CNodeBasement*> pieces = children(frame);
    ASSERT_EQ(pieces.size(), 10u);   // four corners, the top, four edges, the background

    struct Corner {
        float X, Y, Angle;
    } corners[] = {{-1.9f, -0.9f, 1.5707964f}, {1.9f, -0.9f, 3.1415927f}, {1.9f, 0.9f, 4.712389f}, {-1.9f, 0.9f, 0}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(pieces[i]->getPosition().X, corners[i].X, 1e-5f) << i;
        EXPECT_NEAR(pieces[i]->getPosition().Y, corners[i].Y, 1e-5f) << i;
        EXPECT_EQ(pieces[i]->getZOrder(), 10);
        auto* sprite = dynamic_cast<CSpriteNode*>(pieces[i]);
        ASSERT_NE(sprite, nullptr);
        EXPECT_NEAR(sprite->getAngle(), corners[i].Angle, 1e-5f) << i;
    }
    EXPECT_NEAR(pieces[4]->getPosition().Y, 1.01f, 1e-5f);   // the ornament above the top side
    EXPECT_EQ(pieces[4]->getZOrder(), 10);
    for (int i = 5; i < 9; ++i)
        EXPECT_EQ(pieces[i]->getZOrder(), -1) << i;
    EXPECT_EQ(pieces[9], background);
    EXPECT_EQ(background->getZOrder(), -10);
}

TEST_F(FrameSprites, AFrameWithoutPiecesHasOnlyItsBackground)
{
    CNodeBasement* frame = createFrameSprite(core::vector3df(0, 0, 0), 3, 3, "", Folder.file("back.spr").c_str(),
                                             0.3f, Root, nullptr);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(children(frame).size(), 1u);
    CNodeBasement* bare = createFrameSprite(core::vector3df(0, 0, 0), 3, 3, "", nullptr, 0.3f, Root, nullptr);
    ASSERT_NE(bare, nullptr);
    EXPECT_TRUE(children(bare).empty());
}

TEST_F(FrameSprites, EdgesRunAlongTheSidesAndTheBackgroundCoversTheFrame)
{
    // Without a parent and a background out the frame goes under the root.
    CNodeBasement* frame = createFrameSprite(core::vector3df(0, 0, 0), 4, 2, Folder.file("frame").c_str(),
                                             Folder.file("back.spr").c_str(), 0.4f);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->getParent(), Root);
    std::vector<CNodeBasement*> pieces = children(frame);
    ASSERT_EQ(pieces.size(), 10u);
    const core::vector3df middles[] = {{0, -1, 0}, {2, 0, 0}, {0, 1, 0}, {-2, 0, 0}};
    const float lengths[] = {4, 2, 4, 2};
    for (int i = 0; i < 4; ++i) {
        CNodeBasement* edge = pieces[5 + i];
        EXPECT_TRUE(edge->getPosition().equals(middles[i], 1e-5f)) << "edge " << i;
        const core::dimension2df size = edge->getSize();
        EXPECT_NEAR(std::max(size.Width, size.Height), lengths[i], 1e-4f) << "edge " << i;
        EXPECT_NEAR(std::min(size.Width, size.Height), 0.4f, 1e-4f) << "edge " << i;
    }
    EXPECT_EQ(pieces[9]->getSize(), core::dimension2df(4, 2));
    EXPECT_EQ(pieces[9]->getPosition(), core::vector3df(0, 0, 0));
}
