// Texture lists packed into atlases, on the null driver with a recording
// stage device standing in for the device's limits.
#include "rendering_stuff_textures.h"

#include "null_video.h"
#include "rendering_material_custom.h"
#include "temp_folder.h"
#include "texture_stages_recording.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace irr;

namespace {

class AtlasTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto stages = std::make_unique<CRecordingTextureStages>();
        Stages = stages.get();
        Materials.init(Video.driver(), std::move(stages));
        SetTextureServices(Video.driver(), &Materials);
        CTextureCache::instance().clear();
        std::filesystem::create_directories(Folder.file("gfx"));
    }
    void TearDown() override
    {
        SetTextureServices(nullptr, nullptr);
        CTextureCache::instance().clear();
    }

    void image(const std::string& name, int w, int h)
    {
        ASSERT_TRUE(Video.writeImage(Folder.file(name), w, h, [](int, int) { return video::SColor(255, 1, 2, 3); }));
    }

    const STextureRegion* cached(const char* name)
    {
        const int index = CTextureCache::instance().find(name);
        return index < 0 ? nullptr : &CTextureCache::instance().at(index);
    }

    video::ITexture* texture(const char* name) { return Video.driver()->findTexture(name); }

    void load(const char* text, const char* atlasName = "", bool skipDynamic = false)
    {
        ASSERT_TRUE(Video.mountFolder(Folder.path()));
        // masks list the folder beside the list file
        loadTextureLists(Folder.file("list.cfg").c_str(), text, atlasName, skipDynamic);
    }

    CNullVideo Video;
    CTempFolder Folder;
    CCustomMaterials Materials;
    CRecordingTextureStages* Stages = nullptr;   // owned by the table
};

TEST_F(AtlasTest, SizeFollowsTheDeviceLimit)
{
    struct Case {
        uint32_t Width, Height;
        core::dimension2di Expected;
    } cases[] = {
        {2048, 2048, {2048, 2048}}, {16384, 16384, {2048, 2048}}, {4096, 1024, {2048, 1024}},
        {1024, 4096, {0, 0}},       {2047, 2048, {0, 0}},
    };
    for (const Case& c : cases) {
        Stages->Caps.MaxTextureWidth = c.Width;
        Stages->Caps.MaxTextureHeight = c.Height;
        EXPECT_EQ(getAtlasMaxSize(), c.Expected) << c.Width << "x" << c.Height;
    }
}

TEST_F(AtlasTest, ListImagesBecomeCellsOfOneAtlasTexture)
{
    image("a.png", 40, 40);
    image("b.png", 20, 70);
    image("c.png", 100, 10);
    load("[List]\n-Name:atl\n a.png \n\nb.png\n-Ignored: x\nc.png\n");
    video::ITexture* atlas = texture("atl");
    ASSERT_NE(atlas, nullptr);
    const struct {
        const char* Name;
        core::recti Rect;
    } expected[] = {{"a.png", {0, 0, 40, 40}}, {"b.png", {64, 0, 84, 70}}, {"c.png", {96, 0, 196, 10}}};
    for (const auto& e : expected) {
        const STextureRegion* region = cached(e.Name);
        ASSERT_NE(region, nullptr) << e.Name;
        EXPECT_EQ(region->Texture, atlas) << e.Name;
        EXPECT_EQ(region->PixelRect, e.Rect) << e.Name;
        EXPECT_FLOAT_EQ(region->UV.LowerRightCorner.X, e.Rect.LowerRightCorner.X / 2048.0f) << e.Name;
    }
    EXPECT_EQ(CTextureCache::instance().size(), 3);
    // a later request returns the cell, not a texture of its own
    EXPECT_EQ(retrieveTexture("b.png").Texture, atlas);
}

TEST_F(AtlasTest, NothingIsBuiltBelowTheAtlasWidth)
{
    image("a.png", 4, 4);
    Stages->Caps.MaxTextureWidth = 1024;
    load("[List]\n-Name:atl\na.png\n");
    EXPECT_EQ(CTextureCache::instance().size(), 0);
    EXPECT_EQ(texture("atl"), nullptr);
}

TEST_F(AtlasTest, NamesFromTheSectionKeepTheirBlankOrAreMadeUp)
{
    image("a.png", 4, 4);
    image("b.png", 4, 4);
    image("c.png", 4, 4);
    load("[List]\n-Name: spaced\na.png\n[List]\nb.png\n[List]\nc.png\n");
    EXPECT_EQ(cached("a.png")->Texture, texture(" spaced"));
    const std::string first = cached("b.png")->Texture->getName().getPath().c_str();
    const std::string second = cached("c.png")->Texture->getName().getPath().c_str();
    ASSERT_EQ(first.rfind("FakeTex_", 0), 0u) << first;
    ASSERT_EQ(second.rfind("FakeTex_", 0), 0u) << second;
    EXPECT_EQ(std::atoi(second.c_str() + 8), std::atoi(first.c_str() + 8) + 1);
}

TEST_F(AtlasTest, ADynamicSectionStopsLoadingWhenSkipped)
{
    image("a.png", 4, 4);
    image("b.png", 4, 4);
    image("c.png", 4, 4);
    const char* text = "[List]\n-Name:one\na.png\n[List]\n-DynamicList:1\nb.png\n[List]\n-Name:three\nc.png\n";
    load(text, "", true);
    EXPECT_NE(cached("a.png"), nullptr);
    EXPECT_EQ(cached("b.png"), nullptr);
    EXPECT_EQ(cached("c.png"), nullptr);
    load(text, "", false);
    EXPECT_NE(cached("b.png"), nullptr);
    EXPECT_NE(cached("c.png"), nullptr);
}

TEST_F(AtlasTest, MaskAddsEveryMatchingFileOnce)
{
    image("gfx/one.png", 4, 4);
    image("gfx/Two.PNG", 4, 4);
    image("gfx/skip.bmp", 4, 4);
    load("[List]\n-Name:icons\ngfx\\one.png\ngfx\\*.png\n");
    EXPECT_NE(cached("gfx\\one.png"), nullptr);
    EXPECT_NE(cached("gfx\\two.png"), nullptr);
    EXPECT_EQ(CTextureCache::instance().size(), 2);
}

TEST_F(AtlasTest, AReloadedImageIsOverwrittenInPlace)
{
    image("a.png", 4, 4);
    image("b.png", 4, 4);
    load("[List]\n-Name:first\na.png\n");
    load("[List]\n-Name:second\nb.png\na.png\n");
    EXPECT_EQ(CTextureCache::instance().size(), 2);
    EXPECT_EQ(cached("a.png")->Texture, texture("second"));
    EXPECT_EQ(cached("a.png")->PixelRect, core::recti(32, 0, 36, 4));
}

TEST_F(AtlasTest, EveryAtlasOfASectionKeepsItsOwnTexture)
{
    Stages->Caps.MaxTextureHeight = 64;   // atlases of 2048 x 64: one image each
    for (const char* name : {"w1.png", "w2.png", "w3.png"})
        image(name, 2048, 64);
    load("[List]\n-Name:wide\nw1.png\nw2.png\nw3.png\n");
    const STextureRegion* regions[] = {cached("w1.png"), cached("w2.png"), cached("w3.png")};
    ASSERT_NE(regions[2], nullptr);
    EXPECT_EQ(regions[0]->Texture, texture("wide"));
    EXPECT_EQ(regions[1]->Texture, texture("wide#1"));
    EXPECT_EQ(regions[2]->Texture, texture("wide#2"));
    EXPECT_NE(regions[0]->Texture, regions[1]->Texture);
}

TEST_F(AtlasTest, ControlCharacterNameCountsAsNoName)
{
    image("a.png", 4, 4);
    image("b.png", 4, 4);
    load("[List]\n-Name:first\na.png\n", "\x01");
    load("[List]\n-Name:second\nb.png\n", "\x01");
    EXPECT_EQ(cached("a.png")->Texture, texture("first"));
    EXPECT_EQ(cached("b.png")->Texture, texture("second"));
    load("[List]\n-Name:ignored\na.png\n", "given");
    EXPECT_EQ(cached("a.png")->Texture, texture("given"));
}

TEST_F(AtlasTest, AnImageLargerThanTheAtlasEndsTheLoading)
{
    Stages->Caps.MaxTextureHeight = 64;
    image("a.png", 4, 4);
    struct Case {
        const char* name;
        int w, h;
    };
    // Wider than any size a name may ask the combiner for, too.
    for (const Case& c : {Case{"tall.png", 4, 65}, Case{"wide.png", 8200, 8}}) {
        SCOPED_TRACE(c.name);
        CTextureCache::instance().clear();
        image(c.name, c.w, c.h);
        load((std::string("[List]\n-Name:one\n") + c.name + "\na.png\n[List]\n-Name:two\na.png\n").c_str());
        EXPECT_EQ(CTextureCache::instance().size(), 0);
        ASSERT_TRUE(Video.mountFolder(Folder.path()));
        EXPECT_NE(retrieveTexture(c.name).Texture, nullptr);   // loads on its own later
    }
}

TEST_F(AtlasTest, SkippedLinesAndCommentsPlaceNothing)
{
    image("a.png", 4, 4);
    core::array<core::stringc> files;
    files.push_back(";comment");
    files.push_back("\\rooted.png");
    files.push_back("a.png");
    std::vector<STextureRegion> regions;
    ASSERT_TRUE(Video.mountFolder(Folder.path()));
    video::IImage* atlas = buildAtlas("list.cfg", files, regions);
    ASSERT_NE(atlas, nullptr);
    EXPECT_EQ(regions.size(), 1u);
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(atlas->getPixel(0, 0).color, video::SColor(255, 1, 2, 3).color);
    EXPECT_EQ(atlas->getPixel(4, 0).color, 0u);   // the rest stays transparent
    atlas->drop();
}

using AtlasDeathTest = AtlasTest;

TEST_F(AtlasDeathTest, AMissingListedFileStops)
{
    EXPECT_EXIT(load("[List]\nmissing.png\n"), testing::ExitedWithCode(1), "Wrong texture\nin .*list.cfg:\nmissing.png");
}

} // namespace
