// Value bars made by sprite creation from "-Animation.Slider:" descriptions:
// gliding at the described speed on set device times, jumps, the periods,
// what is shown, and who holds the controller.
#include "node_helpers_valuebar.h"

#include "animator_rows_fixture.h"
#include "node_helpers_frames.h"
#include "temp_folder.h"

#include <IFileSystem.h>
#include <IImage.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

using namespace irr;

namespace {

class ValueBars : public AnimatorRows {
protected:
    void SetUp() override
    {
        AnimatorRows::SetUp();
        InstallValueBarRowMaker();
        std::filesystem::create_directories(Folder.file("gui"));
        video::IVideoDriver* driver = Engine.Device->getVideoDriver();
        video::IImage* image = driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(2, 2));
        image->fill(video::SColor(0, 0, 0, 0));
        ASSERT_TRUE(driver->writeImageToFile(image, Folder.file("gui/empty.png").c_str()));
        image->drop();
        ASSERT_TRUE(Engine.Device->getFileSystem()->addFileArchive(Folder.path().c_str(), true, false,
                                                                    io::EFAT_FOLDER));
        Folder.write("fill.spr", "-Texture:?fill[c255,w8,h8]\n");
        Folder.write("edge.spr", "-Texture:?fill[c128,w8,h8]\n-Position: x0.25 y0.5\n");
    }

    // A sprite of 4 by 1 with a bar on its "hp" attribute and the given options.
    CSpriteNode* makeBar(const std::string& options)
    {
        const std::string body = "-Size: w4 h1\n-Animation.Slider: texture[" + Folder.file("fill.spr") +
                                 "] attribute[hp] " + options;
        return make(body);
    }
    std::string edgeOption() { return "textureEdge[" + Folder.file("edge.spr") + "]"; }

    static CSlideRandom* controllerOf(CNodeBasement* node)
    {
        auto* animator = dynamic_cast<CSlideRandomAnimator*>(node->findAnimatorByName("SLIDRAN", false));
        return animator ? animator->getController() : nullptr;
    }

    CTempFolder Folder;
};

TEST_F(ValueBars, GlidesTowardTheAttributeAtTheDescribedSpeed)
{
    // fidelity 1000: 0.01 per update; updates come every 200 ms when idle.
    CSpriteNode* sprite = makeBar("fidelity[1000]");
    ASSERT_NE(sprite, nullptr);
    CSlideRandom* bar = controllerOf(sprite);
    ASSERT_NE(bar, nullptr);
    CNodeBasement* fill = bar->getFillNode();
    ASSERT_NE(fill, nullptr);
    EXPECT_FALSE(fill->isVisible()) << "nothing shown before the first update";

    u32 t = 1000;
    frame(t);
    EXPECT_FLOAT_EQ(bar->getShownValue(), 0.0f) << "the first update jumps";
    EXPECT_FALSE(fill->isVisible());

    sprite->setAttributeFloat("hp", 0.5f);
    for (int update = 1; update <= 10; ++update) {
        frame(t += 300);
        EXPECT_NEAR(bar->getShownValue(), 0.01f * update, 1e-5f) << update;
    }
    EXPECT_TRUE(fill->isVisible());
    EXPECT_NEAR(fill->getSize().Width, 4 * 0.1f, 1e-4f) << "a tenth of the full width";
    EXPECT_FLOAT_EQ(fill->getSize().Height, 1.0f);
    EXPECT_NEAR(fill->getPosition().X, -2 + 0.5f * 0.4f, 1e-4f) << "grows from the left end";

    frame(t += 100);
    EXPECT_NEAR(bar->getShownValue(), 0.1f, 1e-5f) << "no update before the period has passed";

    sprite->setAttributeFloat("hp", 0.095f);
    frame(t += 300);
    EXPECT_FLOAT_EQ(bar->getShownValue(), 0.095f) << "a step longer than the distance lands on the target";
}

TEST_F(ValueBars, OptionsChangeWhatIsBuiltAndShown)
{
    struct Case {
        const char* name;
        std::string options;
        f32 value;
        bool hasBar;
        bool shown;
        f32 fillWidth;
    };
    const Case cases[] = {
        {"no fidelity jumps", "", 0.7f, true, true, 4 * 0.7f},
        {"zero shows nothing", edgeOption(), 0.0f, true, false, 0},
        {"just above zero shows", edgeOption(), 0.002f, true, true, 4 * 0.002f},
        {"above one is full", edgeOption(), 3.0f, true, true, 4},
        {"inactive builds nothing", "inactive[1]", 0.5f, false, false, 0},
        {"own size", "w[2] h[0.5]", 0.5f, true, true, 1},
        {"independent size", "indepSize[1]", 0.5f, true, true, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSpriteNode* sprite = makeBar(c.options);
        ASSERT_NE(sprite, nullptr);
        CSlideRandom* bar = controllerOf(sprite);
        if (!c.hasBar) {
            EXPECT_EQ(bar, nullptr);
            EXPECT_TRUE(sprite->getChildren().empty());
            continue;
        }
        ASSERT_NE(bar, nullptr);
        bar->update(1.0f);   // the first update jumps whatever the speed
        sprite->setAttributeFloat("hp", c.value);
        bar->update(1.0f);
        EXPECT_FLOAT_EQ(bar->getShownValue(), c.value) << "without a fidelity every value is reached at once";
        CNodeBasement* fill = bar->getFillNode();
        ASSERT_NE(fill, nullptr);
        EXPECT_EQ(fill->isVisible(), c.shown);
        if (c.shown) {
            EXPECT_NEAR(fill->getSize().Width, c.fillWidth, 1e-4f);
        }
        if (CNodeBasement* edge = bar->getEdgeNode()) {
            EXPECT_EQ(edge->isVisible(), c.shown);
            if (c.shown) {
                EXPECT_NEAR(edge->getPosition().X, 0.25f - 2 + 4 * std::min(c.value, 1.0f), 1e-4f) << "at the moving end";
            }
        }
        EXPECT_FLOAT_EQ(sprite->getAttributeFloat("hp", -1), c.value) << "the attribute is left alone";
        deleteNode(sprite);
        Engine.Renderer.processDeferredRemovals();
    }
}

TEST_F(ValueBars, TheFillIsCutNotSqueezed)
{
    struct Case { const char* options; bool vertical; };
    for (const Case& c : {Case{"", false}, Case{"vertical[1]", true}}) {
        SCOPED_TRACE(c.options);
        CSpriteNode* sprite = makeBar(c.options);
        ASSERT_NE(sprite, nullptr);
        sprite->setAttributeFloat("hp", 0.25f);
        CSlideRandom* bar = controllerOf(sprite);
        ASSERT_NE(bar, nullptr);
        bar->update(1.0f);
        auto* fill = dynamic_cast<CSpriteNode*>(bar->getFillNode());
        ASSERT_NE(fill, nullptr);
        // The same picture with a quarter of its cell revealed, for reference.
        auto* reference = dynamic_cast<CSpriteNode*>(
            addSprite(Folder.file("fill.spr").c_str(), 1, 1, core::vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE));
        ASSERT_NE(reference, nullptr);
        const video::S3DVertex full[4] = {reference->getVertices()[0], reference->getVertices()[1],
                                          reference->getVertices()[2], reference->getVertices()[3]};
        if (c.vertical)
            reference->revealFrameY(0.25f);
        else
            reference->revealFrameX(0.25f);
        const video::S3DVertex* v = fill->getVertices();
        const video::S3DVertex* r = reference->getVertices();
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(v[i].TCoords.X, r[i].TCoords.X) << i;
            EXPECT_FLOAT_EQ(v[i].TCoords.Y, r[i].TCoords.Y) << i;
        }
        if (c.vertical) {
            EXPECT_FLOAT_EQ(fill->getSize().Width, 4.0f);
            EXPECT_NEAR(fill->getSize().Height, 0.25f, 1e-5f);
            EXPECT_NEAR(fill->getPosition().Y, -0.5f + 0.125f, 1e-5f) << "grows from the bottom";
            EXPECT_NE(v[1].TCoords.Y, full[1].TCoords.Y) << "the top edge is cut";
        } else {
            EXPECT_NEAR(fill->getSize().Width, 1.0f, 1e-5f);
            EXPECT_FLOAT_EQ(fill->getSize().Height, 1.0f);
            EXPECT_NE(v[0].TCoords.X, full[0].TCoords.X) << "the right edge is cut";
        }
        deleteNode(reference);
        deleteNode(sprite);
        Engine.Renderer.processDeferredRemovals();
    }
}

TEST_F(ValueBars, ResetAttributeAndActionsJump)
{
    CSpriteNode* sprite = makeBar("fidelity[1000]");
    ASSERT_NE(sprite, nullptr);
    CSlideRandom* bar = controllerOf(sprite);
    ASSERT_NE(bar, nullptr);
    CBaseAnimator* animator = sprite->findAnimatorByName("SLIDRAN", false);
    bar->update(1.0f);   // arrives at 0

    sprite->setAttributeFloat("hp", 0.8f);
    bar->update(1.0f);
    EXPECT_NEAR(bar->getShownValue(), 0.01f, 1e-6f);
    sprite->setAttributeInt("hp_reset", 1);
    bar->update(1.0f);
    EXPECT_FLOAT_EQ(bar->getShownValue(), 0.8f) << "the reset attribute makes it jump";
    EXPECT_EQ(sprite->getAttributeInt("hp_reset", -1), 0) << "and is cleared";

    sprite->setAttributeFloat("hp", 0.2f);
    EXPECT_EQ(animator->setAction("update", 0), 0);
    EXPECT_FLOAT_EQ(bar->getShownValue(), 0.2f) << "\"update\" shows the value at once";

    sprite->setAttributeFloat("hp", 0.6f);
    animator->setAction("reset", 0);
    EXPECT_FLOAT_EQ(bar->getShownValue(), -100.0f) << "\"reset\" waits for the next update";
    animator->setAction("other", 1);
    bar->update(1.0f);
    EXPECT_FLOAT_EQ(bar->getShownValue(), 0.6f);
}

TEST_F(ValueBars, MovingAndIdlePeriods)
{
    CSpriteNode* sprite = makeBar("fidelity[1000] discretion[300] discretion2[40]");
    ASSERT_NE(sprite, nullptr);
    CSlideRandom* bar = controllerOf(sprite);
    ASSERT_NE(bar, nullptr);
    CBaseAnimator* animator = bar->getAnimator();
    ASSERT_NE(animator, nullptr);
    EXPECT_EQ(animator->getDiscretion(), 300u) << "idle from the start";
    bar->update(1.0f);

    sprite->setAttributeFloat("hp", 0.02f);
    bar->update(1.0f);
    EXPECT_FLOAT_EQ(bar->getShownValue(), 0.0f) << "the switch to the moving period takes this update";
    EXPECT_EQ(animator->getDiscretion(), 40u);
    bar->update(1.0f);
    bar->update(1.0f);
    EXPECT_NEAR(bar->getShownValue(), 0.02f, 1e-6f);
    EXPECT_EQ(animator->getDiscretion(), 40u);
    bar->update(1.0f);
    EXPECT_EQ(animator->getDiscretion(), 300u) << "arrived: back to idle";
    EXPECT_EQ(bar->getPeriodInForce(), 300);
}

TEST_F(ValueBars, ContainerHoldsTheControllerAndMayGoFirst)
{
    CSpriteNode* sprite = makeBar("fidelity[1000] " + edgeOption());
    ASSERT_NE(sprite, nullptr);
    CSlideRandom* bar = controllerOf(sprite);
    ASSERT_NE(bar, nullptr);
    CNodeBasement* container = bar->getContainer();
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->getParent(), sprite);
    EXPECT_EQ(container->getPseudoOwner(), bar);
    EXPECT_EQ(bar->getReferenceCount(), 2) << "the container's link and the animator";
    EXPECT_EQ(container->getEffectiveAlpha(), 0) << "the container itself draws nothing";

    deleteNode(container);
    Engine.Renderer.processDeferredRemovals();
    EXPECT_EQ(bar->getContainer(), nullptr);
    EXPECT_EQ(bar->getFillNode(), nullptr);
    EXPECT_EQ(bar->getEdgeNode(), nullptr);
    EXPECT_EQ(bar->getReferenceCount(), 1) << "the animator keeps it";

    sprite->setAttributeFloat("hp", 0.5f);
    for (u32 t = 1000; t <= 2000; t += 250)
        frame(t);   // nothing left to touch; the sanitizers see any stale access
    EXPECT_NE(sprite->findAnimatorByName("SLIDRAN", false), nullptr);
    deleteNode(sprite);
    Engine.Renderer.processDeferredRemovals();
}

TEST_F(ValueBars, SpriteRemovalReleasesEverything)
{
    const int liveBefore = CBaseAnimator::getLiveCount();
    CSpriteNode* sprite = makeBar(edgeOption());
    ASSERT_NE(sprite, nullptr);
    frame(1000);
    deleteNode(sprite);
    Engine.Renderer.processDeferredRemovals();
    EXPECT_EQ(CBaseAnimator::getLiveCount(), liveBefore) << "the animator went with its sprite";
}

TEST_F(ValueBars, DirectConstructionUnderTheRoot)
{
    auto* bar = new CSlideRandom(core::vector3df(1, 2, 0), Folder.file("fill.spr").c_str(), -1, -1, nullptr, 0);
    CNodeBasement* container = bar->getContainer();
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->getParent(), Root) << "no parent: the root";
    EXPECT_EQ(container->getPosition(), core::vector3df(1, 2, 0));
    ASSERT_NE(bar->getFillNode(), nullptr);
    EXPECT_EQ(bar->getFillNode()->getSize(), core::dimension2df(1, 1)) << "negative sizes become 1 by 1";
    EXPECT_EQ(Root->findAnimatorByName("SLIDRAN", false), bar->getAnimator());
    bar->drop();
}

} // namespace
