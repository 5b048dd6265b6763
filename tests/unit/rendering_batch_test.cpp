// Render-list sort keys and order, and the 2D quad batch on the null driver.
#include "rendering_stuff.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace irr;

namespace {

TEST(RenderSortKey, SaturatesOutsideTheIntRange)
{
    struct Case { f32 c; s32 key; };
    const Case cases[] = {
        {0.0f, 0},
        {0.5f, 50000000},
        {0.25f, 25000000},
        {-0.5f, -50000000},
        {1e-5f, 1000},
        {21.4f, 2140000000},
        {21.48f, INT_MIN},
        {-21.48f, INT_MIN},
        {1e30f, INT_MIN},
        {std::numeric_limits<f32>::infinity(), INT_MIN},
        {-std::numeric_limits<f32>::infinity(), INT_MIN},
        {std::numeric_limits<f32>::quiet_NaN(), INT_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RenderSortKey(c.c), c.key) << c.c;
    // Two nodes 1e-5 apart in depth still sort apart.
    EXPECT_EQ(RenderSortKey(0.10001f) - RenderSortKey(0.1f), 1000);
}

SRenderEntry entry(s32 z, s32 priority, s32 material, u32 textureSerial, s32 xy)
{
    SRenderEntry e;
    e.ZKey = z;
    e.Priority = priority;
    e.MaterialType = material;
    e.TextureSerial = textureSerial;
    e.XYKey = xy;
    return e;
}

TEST(RenderOrder, KeysInTheirSequence)
{
    struct Case { SRenderEntry first, second; const char* why; };
    const Case cases[] = {
        {entry(50, 9, 9, 9, 0), entry(25, 0, 0, 0, 9), "greater depth first"},
        {entry(-1, 9, 9, 9, 0), entry(INT_MIN, 0, 0, 0, 9), "signed depth"},
        {entry(5, 0, 9, 9, 0), entry(5, 1, 0, 0, 9), "smaller priority first"},
        {entry(5, -3, 9, 9, 0), entry(5, 2, 0, 0, 9), "signed priority"},
        {entry(5, 1, 2, 9, 0), entry(5, 1, 3, 0, 9), "smaller material first"},
        {entry(5, 1, 2, 3, 0), entry(5, 1, 2, 4, 9), "texture taken in earlier first"},
        {entry(5, 1, 2, 0, 0), entry(5, 1, 2, 0xFFFFFFFFu, 9), "texture serials compare unsigned"},
        {entry(5, 1, 2, 3, 7), entry(5, 1, 2, 3, 3), "greater XY key first"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(c.first < c.second) << c.why;
        EXPECT_FALSE(c.second < c.first) << c.why;
    }
    const SRenderEntry same = entry(1, 1, 1, 1, 1);
    EXPECT_FALSE(same < same);
}

// A null device with two dummy textures.
class BatchTest : public testing::Test {
protected:
    void SetUp() override
    {
        Device = createDevice(video::EDT_NULL);
        ASSERT_NE(Device, nullptr);
        Driver = Device->getVideoDriver();
        TexA = Driver->addTexture(core::dimension2du(32, 32), "a.png");
        TexB = Driver->addTexture(core::dimension2du(32, 32), "b.png");
        ASSERT_TRUE(TexA && TexB);
        Driver->beginScene(false, false);
    }
    void TearDown() override
    {
        if (Device) {
            Driver->endScene();
            Device->drop();
        }
    }

    video::SMaterial material(video::ITexture* texture, f32 param = 0.01f)
    {
        video::SMaterial m;
        m.MaterialType = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
        m.MaterialTypeParam = param;
        m.setTexture(0, texture);
        return m;
    }
    void quad(video::S3DVertex* v, f32 x)
    {
        v[0] = video::S3DVertex(x, 0, 0, 0, 0, -1, video::SColor(255, 255, 255, 255), 0, 1);
        v[1] = video::S3DVertex(x, 1, 0, 0, 0, -1, video::SColor(255, 255, 255, 255), 0, 0);
        v[2] = video::S3DVertex(x + 1, 1, 0, 0, 0, -1, video::SColor(255, 255, 255, 255), 1, 0);
        v[3] = video::S3DVertex(x + 1, 0, 0, 0, 0, -1, video::SColor(255, 255, 255, 255), 1, 1);
    }
    void submitQuads(const video::SMaterial& m, int count, const core::matrix4* transform = nullptr)
    {
        video::S3DVertex v[4];
        for (int i = 0; i < count; ++i) {
            quad(v, f32(i));
            Batch.submit(Driver, transform ? transform : &Identity, &m, v, Stats);
        }
    }
    void endFrame() { Batch.submit(Driver, nullptr, nullptr, nullptr, Stats); }

    IrrlichtDevice* Device = nullptr;
    video::IVideoDriver* Driver = nullptr;
    video::ITexture* TexA = nullptr;
    video::ITexture* TexB = nullptr;
    SBatchState Batch;
    SBatchStats Stats;
    core::matrix4 Identity;
};

TEST_F(BatchTest, RunsOfOneMaterialShareADrawCall)
{
    struct Case { const char* what; std::vector<int> runs; int draws; int vertices; };
    // Each run: texture A (even index) or B (odd index) quads, in order.
    const Case cases[] = {
        {"two equal sprites", {2}, 1, 8},
        {"sprite then other texture", {1, 1}, 2, 8},
        {"A, B, A again", {3, 2, 1}, 3, 24},
        {"nothing", {}, 0, 0},
    };
    for (const Case& c : cases) {
        Stats = SBatchStats();
        const video::SMaterial ma = material(TexA), mb = material(TexB);
        for (size_t i = 0; i < c.runs.size(); ++i)
            submitQuads(i % 2 ? mb : ma, c.runs[i]);
        endFrame();
        EXPECT_EQ(Stats.SwitchCount, c.draws) << c.what;
        EXPECT_EQ(Stats.PrimitiveCount, c.vertices) << c.what;
        EXPECT_EQ(Batch.getQuadCount(), 0u) << c.what;
    }
}

TEST_F(BatchTest, MaterialParameterSplitsARun)
{
    submitQuads(material(TexA, 0.01f), 1);
    submitQuads(material(TexA, 0.0f), 1);   // a glyph on the same atlas
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 2);
}

// One material object reused between quads (a font's glyphs) and changed in
// place: each change starts a run, an untouched reuse does not; with a
// texture matrix of its own and without one (compared by its bytes).
TEST_F(BatchTest, MaterialChangedInPlaceSplitsARun)
{
    struct Case { const char* what; void (*change)(video::SMaterial&, video::ITexture*); int draws; };
    const Case cases[] = {
        {"untouched", [](video::SMaterial&, video::ITexture*) {}, 1},
        {"parameter", [](video::SMaterial& m, video::ITexture*) { m.MaterialTypeParam = 0.5f; }, 2},
        {"texture", [](video::SMaterial& m, video::ITexture* other) { m.setTexture(0, other); }, 2},
        {"texture matrix", [](video::SMaterial& m, video::ITexture*) { m.getTextureMatrix(0).setTextureScale(2, 2); },
         2},
        {"bit field", [](video::SMaterial& m, video::ITexture*) { m.ZWriteEnable = !m.ZWriteEnable; }, 2},
        {"blend operation", [](video::SMaterial& m, video::ITexture*) { m.BlendOperation = video::EBO_MAX_ALPHA; }, 2},
        {"layer filter", [](video::SMaterial& m, video::ITexture*) { m.TextureLayer[1].TrilinearFilter = true; }, 2},
        {"layer bias", [](video::SMaterial& m, video::ITexture*) { m.TextureLayer[3].LODBias = -8; }, 2},
    };
    for (bool ownMatrix : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(ownMatrix ? "a texture matrix of its own" : "no texture matrix");
            Stats = SBatchStats();
            video::SMaterial shared = material(TexA);
            if (ownMatrix)
                shared.getTextureMatrix(0).setTextureTranslate(0.5f, 0);   // from the start
            submitQuads(shared, 2);
            c.change(shared, TexB);
            submitQuads(shared, 2);
            endFrame();
            EXPECT_EQ(Stats.SwitchCount, c.draws) << c.what;
            EXPECT_EQ(Stats.PrimitiveCount, 16) << c.what;
        }
    }
}

TEST_F(BatchTest, MaterialReusedAfterAnotherStartsARun)
{
    const video::SMaterial ma = material(TexA), mb = material(TexB);
    submitQuads(ma, 2);   // the second quad compares it
    endFrame();
    submitQuads(mb, 1);   // adopted as the first of a frame
    submitQuads(ma, 1);   // unchanged since it was last compared, yet no longer current
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 3);
}

TEST_F(BatchTest, FullBatchFlushesBeforeTheNextQuad)
{
    const int quads = int(SBatchState::QuadCapacity) + 1;
    submitQuads(material(TexA), quads);
    EXPECT_EQ(Stats.SwitchCount, 1) << "the full run is drawn as the next quad arrives";
    EXPECT_EQ(Batch.getQuadCount(), 1u);
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 2);
    EXPECT_EQ(Stats.PrimitiveCount, quads * 4);
    Driver->endScene();   // the null driver reports a frame's triangles once it ends
    EXPECT_EQ(Driver->getPrimitiveCountDrawn(), u32(quads * 2)) << "every triangle reached the driver";
    Driver->beginScene(false, false);
    EXPECT_EQ(Batch.getVertexHighWater(), SBatchState::QuadCapacity * 4);
    EXPECT_LE(SBatchState::QuadCapacity * 4 - 1, 65535u) << "indices stay 16-bit";
}

TEST_F(BatchTest, UntexturedRunIsDroppedUncounted)
{
    submitQuads(material(nullptr), 3);
    submitQuads(material(TexA), 1);
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 1);
    EXPECT_EQ(Stats.PrimitiveCount, 4);
}

TEST_F(BatchTest, OneWorldTransformPerFrame)
{
    core::matrix4 first, second;
    first.setTranslation(core::vector3df(1, 2, 3));
    second.setTranslation(core::vector3df(7, 8, 9));
    const video::SMaterial ma = material(TexA), mb = material(TexB);
    submitQuads(ma, 1, &first);
    submitQuads(mb, 1, &second);   // ignored: the frame's transform is set
    endFrame();
    EXPECT_EQ(Batch.getWorldTransform().getTranslation(), first.getTranslation());

    // The next frame adopts its own first transform.
    Stats = SBatchStats();
    submitQuads(ma, 1, &second);
    endFrame();
    EXPECT_EQ(Batch.getWorldTransform().getTranslation(), second.getTranslation());
}

TEST_F(BatchTest, FinalFlushResetsForTheNextFrame)
{
    const video::SMaterial ma = material(TexA);
    submitQuads(ma, 2);
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 1);
    endFrame();   // an empty frame draws nothing more
    EXPECT_EQ(Stats.SwitchCount, 1);
    submitQuads(ma, 1);   // same material as before: still a new run after the final flush
    endFrame();
    EXPECT_EQ(Stats.SwitchCount, 2);
    EXPECT_EQ(Stats.PrimitiveCount, 12);
}

TEST_F(BatchTest, DebugLineNamesTextureAndFilters)
{
    video::SMaterial m = material(TexA, 3.7f);
    m.TextureLayer[0].BilinearFilter = true;
    m.TextureLayer[0].AnisotropicFilter = 255;
    m.TextureLayer[0].TrilinearFilter = false;
    submitQuads(m, 1);
    endFrame();
    EXPECT_STREQ((const char*)Stats.DebugText, "a.png mp=3, bili=1.255.0 !!\n    ");
}

} // namespace
