// The renderer's draw pass on the null driver: registration, list order,
// layers and batching of what the nodes hand in.
#include "rendering.h"

#include "node_utilities.h"
#include "null_scene.h"

#include <IVideoDriver.h>

#include <gtest/gtest.h>

using namespace irr;

namespace {

using RendererPass = NullScene;

TEST_F(RendererPass, DrawOrderByDepthPriorityMaterialTextureAndLayer)
{
    // Taken in the other way round than made: the order they were taken in
    // counts, not where they lie.
    video::ITexture* highTex = Engine.Driver->addTexture(core::dimension2du(4, 4), "t2");
    video::ITexture* lowTex = Engine.Driver->addTexture(core::dimension2du(4, 4), "t1");
    const u32 lowSerial = TextureLoadSerial(lowTex);
    ASSERT_LT(lowSerial, TextureLoadSerial(highTex));
    CProbeNode* near = addNode("z0.25", nullptr, -1, core::vector3df(0, 0, 0.25f));
    addNode("z0.5", nullptr, -1, core::vector3df(0, 0, 0.5f));
    CProbeNode* prio1 = addNode("prio1", nullptr, -1, core::vector3df(0, 0, 0.1f));
    prio1->setZOrder(1);
    addNode("prio0", nullptr, -1, core::vector3df(0, 0, 0.1f));
    CProbeNode* matB = addNode("mat3tex1", nullptr, -1, core::vector3df(0, 0, 0.05f));
    matB->Material.MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
    matB->Material.setTexture(0, lowTex);
    CProbeNode* matA2 = addNode("mat0tex2", nullptr, -1, core::vector3df(0, 0, 0.05f));
    matA2->Material.setTexture(0, highTex);
    CProbeNode* matA1 = addNode("mat0tex1", nullptr, -1, core::vector3df(0, 0, 0.05f));
    matA1->Material.setTexture(0, lowTex);
    CProbeNode* layer7 = addNode("layer7", nullptr, -1, core::vector3df(0, 0, 0.9f));
    layer7->setLayer(7);
    CProbeNode* layer5 = addNode("layer5", nullptr, -1, core::vector3df(0, 0, -0.9f));
    layer5->setLayer(5);
    CProbeNode* layer6 = addNode("layer6", nullptr, -1, core::vector3df(0, 0, 0.95f));
    layer6->setLayer(6);
    addNode("layer4", nullptr, -1, core::vector3df(0, 0, -0.5f))->setLayer(4);
    frame(1000);
    EXPECT_EQ(Drawn, std::vector<std::string>({"z0.5", "z0.25", "prio0", "prio1", "mat0tex1", "mat0tex2", "mat3tex1",
                                               "layer4", "layer5", "layer6", "layer7"}));
    (void)near;
}

TEST_F(RendererPass, XYKeyBreaksTiesAndSaturates)
{
    addNode("x1", nullptr, -1, core::vector3df(0.1f, 0, 0));
    addNode("x2", nullptr, -1, core::vector3df(0.2f, 0, 0));   // greater XY key: first
    frame(1000);
    EXPECT_EQ(Drawn, std::vector<std::string>({"x2", "x1"}));

    // Far coordinates saturate both keys to the same value, so XY adds nothing.
    SRenderEntry far = MakeRenderEntry(addNode("far", nullptr, -1, core::vector3df(30, 40, 0)));
    EXPECT_EQ(far.XYKey, 0);
}

TEST_F(RendererPass, RegistrationOutsideThePassIsIgnored)
{
    CProbeNode* node = addNode("n");
    Engine.Renderer.registerEngineNodeForRendering(node, 0);
    EXPECT_EQ(Engine.Renderer.getFrameDepth(), 0u);
    frame(1000);
    EXPECT_EQ(Drawn.size(), 1u) << "only the pass's own registration draws";
    Drawn.clear();
    frame(1016);
    EXPECT_EQ(Drawn.size(), 1u) << "lists are emptied after each frame";
}

TEST_F(RendererPass, SpritesOfOneMaterialShareADrawCall)
{
    video::ITexture* atlas = Engine.Driver->addTexture(core::dimension2du(4, 4), "atlas.png");
    video::ITexture* other = Engine.Driver->addTexture(core::dimension2du(4, 4), "other.png");
    for (int i = 0; i < 2; ++i) {
        CProbeNode* sprite = addNode("s", nullptr, -1, core::vector3df(f32(i) * 0.01f, 0, 0));
        sprite->Material.setTexture(0, atlas);
        sprite->SubmitsQuad = true;
    }
    frame(1000);
    EXPECT_EQ(Engine.Renderer.getSwitchCount(), 1);
    EXPECT_EQ(Engine.Renderer.getPrimitiveCount(), 8);

    CProbeNode* third = addNode("t", nullptr, -1, core::vector3df(0, 0, 0.5f));
    third->Material.setTexture(0, other);
    third->SubmitsQuad = true;
    Engine.Renderer.getSwitchCount() = 0;
    Engine.Renderer.getPrimitiveCount() = 0;
    frame(1016);
    EXPECT_EQ(Engine.Renderer.getSwitchCount(), 2);
    EXPECT_EQ(Engine.Renderer.getPrimitiveCount(), 12);
}

TEST_F(RendererPass, MessagesOtherThanScreenshotsAreConsumed)
{
    for (uint32_t code : {0x4000u, 0x4002u}) {
        SEngineMessage message;
        message.flags = code;
        EXPECT_EQ(Engine.Renderer.onEngineMessage(message), 1) << code;
    }
    EXPECT_EQ(Engine.Renderer.saveScreenshot("unused.png"), 1) << "the null driver gives no image; still done";
}

} // namespace
