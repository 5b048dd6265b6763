// The sprite node, particle-group budgets and pixel tests on the null driver,
// with a texture double whose pixels are known.
#include "node_sprite.h"

#include "null_scene.h"
#include "rendering_stuff_particles.h"
#include "utils_math_misc.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <ITexture.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

using namespace irr;

namespace {

// A lockable texture of known pixels, as the hardware drivers give them.
class CFakeTexture : public video::ITexture {
public:
    CFakeTexture(u32 w, u32 h, std::function<u32(u32 x, u32 y)> pixel,
                 video::ECOLOR_FORMAT format = video::ECF_A8R8G8B8)
        : ITexture("fake"), Size(w, h), Format(format), Pixels(size_t(w) * h)
    {
        for (u32 y = 0; y < h; ++y)
            for (u32 x = 0; x < w; ++x)
                Pixels[y * w + x] = pixel(x, y);
    }
    void* lock(video::E_TEXTURE_LOCK_MODE, u32) override
    {
        ++Locks;
        return Pixels.data();
    }
    void unlock() override {}
    const core::dimension2du& getOriginalSize() const override { return Size; }
    const core::dimension2du& getSize() const override { return Size; }
    video::E_DRIVER_TYPE getDriverType() const override { return video::EDT_NULL; }
    video::ECOLOR_FORMAT getColorFormat() const override { return Format; }
    u32 getPitch() const override { return Size.Width * 4; }
    void regenerateMipMapLevels(void*) override {}

    core::dimension2du Size;
    video::ECOLOR_FORMAT Format;
    std::vector<u32> Pixels;
    int Locks = 0;
};

class SpriteTest : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        clearParticleGroups();
        clearTexturePixelCache();
    }
    void TearDown() override
    {
        NullScene::TearDown();   // the sprites go before their textures
        clearTexturePixelCache();
        clearParticleGroups();
        for (CFakeTexture* texture : Textures)
            texture->drop();
    }

    CSpriteNode* sprite(const core::vector3df& position = {0, 0, 0}, core::dimension2df size = {2, 1})
    {
        auto* node = new CSpriteNode(Smgr->getRootSceneNode(), Smgr, -1, position, size);
        node->drop();   // the root holds it
        return node;
    }

    CFakeTexture* texture(u32 w, u32 h, std::function<u32(u32, u32)> pixel)
    {
        Textures.push_back(new CFakeTexture(w, h, std::move(pixel)));
        return Textures.back();
    }

    CSpriteNode* textured(CFakeTexture* tex)
    {
        CSpriteNode* node = sprite();
        node->setTextureRegion(STextureRegion(tex, "fake.png"));
        return node;
    }

    void camera(const core::vector3df& position, const core::vector3df& target)
    {
        scene::ICameraSceneNode* cam = Smgr->addCameraSceneNode(nullptr, position, target);
        Smgr->setActiveCamera(cam);
        cam->updateAbsolutePosition();
    }

    std::vector<CFakeTexture*> Textures;   // one reference each
};

void expectUV(const CSpriteNode* s, int vertex, f32 u, f32 v)
{
    EXPECT_NEAR(s->getVertices()[vertex].TCoords.X, u, 1e-6f) << "vertex " << vertex;
    EXPECT_NEAR(s->getVertices()[vertex].TCoords.Y, v, 1e-6f) << "vertex " << vertex;
}

// --- texture coordinates ---

TEST_F(SpriteTest, FrameCellsPullEachEdgeOneTexelInward)
{
    CSpriteNode* s = textured(texture(64, 32, [](u32, u32) { return 0u; }));
    s->setFrame(1, 0, 4, 1);
    const f32 uL = 0.25f + 1.0f / 64, uR = 0.5f - 1.0f / 64, vT = 1.0f / 32, vB = 1 - 1.0f / 32;
    expectUV(s, 0, uR, vB);
    expectUV(s, 1, uR, vT);
    expectUV(s, 2, uL, vT);
    expectUV(s, 3, uL, vB);
    EXPECT_EQ(s->getLayer(), 4);
}

TEST_F(SpriteTest, FramePartsAndUVRectKeepTheCell)
{
    CSpriteNode* s = sprite();
    s->setFrame(1, 1, 4, 4);
    s->setFrameParts(-1, 2, -1, -1);
    EXPECT_EQ(s->getFrameColumn(), 1);
    EXPECT_EQ(s->getFrameRow(), 2);
    EXPECT_EQ(s->getFrameColumns(), 4);
    expectUV(s, 2, 0.25f, 0.5f);
    s->setUVRect(SUVRect{{0.5f, 0}, {1, 0.5f}});   // an atlas cell
    expectUV(s, 2, 0.5f + 0.25f * 0.5f, 0.5f * 0.5f);
    expectUV(s, 0, 0.5f + 0.5f * 0.5f, 0.75f * 0.5f);
}

TEST_F(SpriteTest, ZeroColumnsOrRowsCountAsOne)
{
    CSpriteNode* s = sprite();
    s->setFrame(0, 0, 0, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(std::isnan(s->getVertices()[i].TCoords.X));
        EXPECT_FALSE(std::isnan(s->getVertices()[i].TCoords.Y));
    }
    expectUV(s, 0, 1, 1);
}

TEST_F(SpriteTest, RevealShiftAndTile)
{
    CSpriteNode* s = sprite();
    s->setUVRect(SUVRect{{0, 0}, {0.5f, 1}});
    s->revealFrameX(0.5f);
    expectUV(s, 0, 0.25f, 1);
    expectUV(s, 1, 0.25f, 0);
    expectUV(s, 2, 0, 0);
    expectUV(s, 3, 0, 1);
    s->revealFrameY(0.25f);   // the bottom quarter
    expectUV(s, 1, 0.25f, 0.75f);
    expectUV(s, 2, 0, 0.75f);
    expectUV(s, 0, 0.25f, 1);
    s->shiftUV(core::vector2df(0.1f, -0.2f));
    expectUV(s, 3, 0.1f, 0.8f);
    s->tileTexture(0.5f, 0.25f);   // a 2 x 1 node
    expectUV(s, 0, 4, 4);
    expectUV(s, 2, 0, 0);
}

// --- drawing ---

TEST_F(SpriteTest, CornersFaceTheCameraAndTurnByTheAngle)
{
    camera({0, 0, -20}, {0, 0, 0});
    CSpriteNode* s = sprite({1, 2, 0}, {2, 1});
    s->setTint(video::SColor(255, 10, 20, 30));
    s->setAlpha(0.5f);
    s->render();
    const video::S3DVertex* v = s->getVertices();
    EXPECT_EQ(v[0].Pos, core::vector3df(2, 1.5f, 0));    // right, bottom
    EXPECT_EQ(v[2].Pos, core::vector3df(0, 2.5f, 0));    // left, top
    EXPECT_EQ(v[0].Normal, core::vector3df(0, 0, -1));
    EXPECT_EQ(v[1].Color, video::SColor(127, 10, 20, 30));

    s->setAngle(1e-7f);
    s->render();
    EXPECT_EQ(v[0].Pos, core::vector3df(2, 1.5f, 0));
    s->setAngle(core::HALF_PI);
    s->render();
    EXPECT_NEAR(v[0].Pos.X, 1.5f, 1e-5f);
    EXPECT_NEAR(v[0].Pos.Y, 3.0f, 1e-5f);
}

TEST_F(SpriteTest, FacingStaysWhenTheCameraMovesLater)
{
    camera({0, 0, -20}, {0, 0, 0});
    CSpriteNode* s = sprite();
    s->render();
    camera({-20, 0, 0}, {0, 0, 0});
    s->setPosition(core::vector3df(0, 0, 0));   // rebuilds the corners only
    s->render();
    EXPECT_EQ(s->getVertices()[0].Pos, core::vector3df(1, -0.5f, 0));
}

TEST_F(SpriteTest, NothingIsBuiltWithoutCameraOrAlpha)
{
    CSpriteNode* s = sprite();
    s->render();
    EXPECT_EQ(s->getVertices()[0].Pos, core::vector3df(0, 0, 0));
    camera({0, 0, -20}, {0, 0, 0});
    s->setHideCount(1);
    s->render();
    EXPECT_EQ(s->getVertices()[0].Pos, core::vector3df(0, 0, 0));
}

TEST_F(SpriteTest, StretchAndPointBetweenPoints)
{
    CSpriteNode* s = sprite();
    s->stretchBetween({0, 0, 0}, {3, 4, 0}, 0.5f, true, false, 0);
    EXPECT_EQ(s->getPosition(), core::vector3df(1.5f, 2, 0));
    EXPECT_FLOAT_EQ(s->getSize().Width, 5);
    EXPECT_FLOAT_EQ(s->getSize().Height, 0.5f);
    EXPECT_FLOAT_EQ(s->getAngle(), DirectionToRotation({1.5f, 2, 0}, 0));
    s->pointAt({9, 9, 0}, {9, 10, 0}, 90);
    EXPECT_EQ(s->getPosition(), core::vector3df(1.5f, 2, 0));   // only turned
    EXPECT_FLOAT_EQ(s->getAngle(), DirectionToRotation({0, 1, 0}, 90));
}

// --- particle groups ---

TEST_F(SpriteTest, BudgetsAllowAllThenAboutHalfThenNone)
{
    ASSERT_EQ(loadParticleGroups("[ParticleGroup]\n-Name: sparks\n-100%: 2\n-50%: 4\n"
                                 "[ParticleGroup]\n-Name:smoke\n-100%:5"),
              1);
    SetRandomSeed(12345);
    for (int live = 0; live <= 5; ++live) {
        int allowed = 0;
        for (int i = 0; i < 400; ++i)
            allowed += canSpawnParticleGroup("sparks");
        if (live <= 2)
            EXPECT_EQ(allowed, 400) << live;
        else if (live <= 4)
            EXPECT_TRUE(allowed > 120 && allowed < 280) << live << ": " << allowed;
        else
            EXPECT_EQ(allowed, 0) << live;
        addParticleGroupUse("sparks");
    }
    for (int i = 0; i < 6; ++i)
        addParticleGroupUse("smoke");
    EXPECT_FALSE(canSpawnParticleGroup("smoke"));   // the seventh
    releaseParticleGroupUse("smoke");
    EXPECT_TRUE(canSpawnParticleGroup("smoke"));    // the sixth
    EXPECT_TRUE(canSpawnParticleGroup(""));
    EXPECT_TRUE(canSpawnParticleGroup("never declared"));
}

TEST_F(SpriteTest, TextsWithoutSectionsAreNotParticleGroups)
{
    EXPECT_EQ(loadParticleGroups("[List]\na.png\n"), 0);
    EXPECT_EQ(loadParticleGroups(""), 0);
}

TEST_F(SpriteTest, RedeclaringRestartsTheCountAndReleasesStopAtZero)
{
    loadParticleGroups("[ParticleGroup]\n-Name:g\n");
    addParticleGroupUse("g");
    loadParticleGroups("[ParticleGroup]\n-Name:g\n-100%:abc\n");
    releaseParticleGroupUse("g");
    releaseParticleGroupUse("g");
    EXPECT_EQ(findParticleGroup("g")->LiveCount, 0);
    EXPECT_EQ(findParticleGroup("g")->FullLimit, 0);   // not a number
}

TEST_F(SpriteTest, SpritesCountInTheirGroupUntilDestroyed)
{
    CSpriteNode* a = sprite();
    CSpriteNode* b = sprite();
    a->setParticleGroup("stars");
    b->setParticleGroup("stars");
    b->setParticleGroup("");   // does nothing
    EXPECT_EQ(findParticleGroup("stars")->LiveCount, 2);
    a->remove();
    EXPECT_EQ(findParticleGroup("stars")->LiveCount, 1);
    b->setParticleGroup("moons");   // moves over
    EXPECT_EQ(findParticleGroup("stars")->LiveCount, 0);
    EXPECT_EQ(findParticleGroup("moons")->LiveCount, 1);
}

using ParticleGroupDeathTest = SpriteTest;

TEST_F(ParticleGroupDeathTest, ASectionWithoutNameStops)
{
    EXPECT_EXIT(loadParticleGroups("[ParticleGroup]\n-100%: 3\n"), testing::ExitedWithCode(1),
                "Bad particle group name!");
}

// --- pixel tests ---

TEST_F(SpriteTest, PixelTestsReadTextureAlphaAtTheCursor)
{
    // left half alpha 127 (transparent), right half 128 (opaque)
    CFakeTexture* tex = texture(4, 2, [](u32 x, u32) { return x < 2 ? 0x7FFFFFFFu : 0x80FFFFFFu; });
    CSpriteNode* s = textured(tex);
    EXPECT_TRUE(isTransparentAround(s, {0.1f, 0.5f}, 0, 0));
    EXPECT_FALSE(isTransparentAround(s, {0.9f, 0.5f}, 0, 0));
    EXPECT_EQ(getNodePixelAt(s, 1, 1), 0u);       // column W: outside
    EXPECT_EQ(getNodePixelAt(s, 1.01f, 0.5f), 0u);
    EXPECT_EQ(getNodePixelAt(s, 0.99f, 0.01f), 0x80FFFFFFu);
    EXPECT_EQ(getNodePixelAt(s, 0.99f, 0), 0u);   // row H: outside, as for u = 1
    EXPECT_EQ(tex->Locks, 1);
    EXPECT_EQ(getTexturePixelCacheSize(), 1);
    clearTexturePixelCache();
    EXPECT_FALSE(isTransparentAround(s, {0.9f, 0.5f}, 0, 0));
    EXPECT_EQ(tex->Locks, 2);
}

TEST_F(SpriteTest, PixelTestsReadTheCurrentFrameOfAStripAndTheRowFromTheBottom)
{
    // four frames: opaque, clear, opaque, clear; the top row of each is clear
    CFakeTexture* tex = texture(8, 2, [](u32 x, u32 y) { return y == 0 || (x / 2) % 2 ? 0u : 0xFF000000u; });
    CSpriteNode* s = textured(tex);
    for (int frame = 0; frame < 4; ++frame) {
        s->setFrame(f32(frame), 0, 4, 1);
        EXPECT_EQ(isTransparentAround(s, {0.5f, 0.25f}, 0, 0), frame % 2 == 1) << frame;
        EXPECT_TRUE(isTransparentAround(s, {0.5f, 0.75f}, 0, 0)) << frame;   // the top row
    }
    s->setFrame(0, 0, 1, 1);
    s->setUVRect(SUVRect{{0.5f, 0}, {0.75f, 1}});   // an atlas cell: the third frame
    EXPECT_FALSE(isTransparentAround(s, {0.5f, 0.25f}, 0, 0));
}

TEST_F(SpriteTest, PixelTestsOfOtherFormatsAndNodesCountAsTransparent)
{
    auto* tex = new CFakeTexture(2, 2, [](u32, u32) { return 0xFFFFFFFFu; }, video::ECF_R8G8B8);
    Textures.push_back(tex);
    CSpriteNode* s = textured(tex);
    EXPECT_TRUE(isTransparentAround(s, {0.5f, 0.5f}, 0, 0));
    EXPECT_EQ(getTexturePixelCacheSize(), 0);
    EXPECT_TRUE(isTransparentAround(sprite(), {0.5f, 0.5f}, 0, 0));   // no texture
    EXPECT_TRUE(isTransparentAround(nullptr, {0.5f, 0.5f}, 0, 0));
}

TEST_F(SpriteTest, SamplingAroundAPointFindsOpaqueNeighboursAndEnds)
{
    CFakeTexture* tex = texture(10, 10, [](u32 x, u32) { return x == 9 ? 0xFF000000u : 0u; });
    CSpriteNode* s = textured(tex);
    EXPECT_TRUE(isTransparentAround(s, {0.5f, 0.5f}, 0.2f, 0.1f));
    EXPECT_FALSE(isTransparentAround(s, {0.8f, 0.5f}, 0.2f, 0.1f));
    EXPECT_TRUE(isTransparentAround(s, {0.5f, 0.5f}, 0.3f, 1e-4f));   // bounded, not (2r/step)^2
}

} // namespace
