// Texture regions, the texture cache and the image combiner on the null driver.
#include "rendering_stuff_textures.h"

#include "msgbox_recorder.h"
#include "null_video.h"
#include "temp_folder.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

using namespace irr;

namespace {

class NullVideoTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(Video.driver(), nullptr);
        CTextureCache::instance().clear();
        SetTextureServices(Video.driver(), nullptr);
    }
    void TearDown() override
    {
        SetTextureServices(nullptr, nullptr);
        CTextureCache::instance().clear();
    }

    u32 pixel(video::IImage* image, int x, int y) const { return image->getPixel(x, y).color; }

    CNullVideo Video;
    CTempFolder Folder;
};

class TextureCacheTest : public NullVideoTest {
protected:
    CMessageBoxRecorder Boxes;   // the path checks warn about test paths
};

void expectRect(const STextureRegion& r, int x0, int y0, int x1, int y1)
{
    EXPECT_EQ(r.PixelRect, core::recti(x0, y0, x1, y1)) << r.Name;
}

TEST(TextureRegion, EmptyRegionCoversTheUnitSquareWithoutTexelSize)
{
    STextureRegion region;
    EXPECT_EQ(region.Texture, nullptr);
    EXPECT_TRUE(region.Name.IsEmpty());
    EXPECT_EQ(region.PixelRect, core::recti(0, 0, 1, 1));
    EXPECT_EQ(region.UV.LowerRightCorner, core::vector2df(1, 1));
    EXPECT_EQ(region.TexelWidth, 0.0f);
    EXPECT_EQ(region.TexelHeight, 0.0f);
}

TEST(TextureRegion, PartOfATargetGivesFractionsAndTexelSize)
{
    STextureRegion region;
    region.setPixelRect(core::recti(64, 32, 96, 48), core::dimension2du(128, 64));
    EXPECT_EQ(region.UV.UpperLeftCorner, core::vector2df(0.5f, 0.5f));
    EXPECT_EQ(region.UV.LowerRightCorner, core::vector2df(0.75f, 0.75f));
    EXPECT_FLOAT_EQ(region.TexelWidth, 1.0f / 32);
    EXPECT_FLOAT_EQ(region.TexelHeight, 1.0f / 16);
}

TEST(ImageModifier, ModeAndFileNameFromTheName)
{
    struct Case {
        const char* Name;
        int Mode;
        const char* File;
    } cases[] = {
        {"pics\\bg.png", IMAGE_PLAIN, ""},
        {"?fill[c0,w64,h32]", IMAGE_FILL, ""},
        {"pics\\bg.png?colorkey[c0xff00ff]", IMAGE_COLORKEY, "pics\\bg.png"},
        {"a.png?fill[c1]&colorkey[c0]", IMAGE_COLORKEY, "a.png"},   // the colour key wins
        {"a.png?x=1?fill[c1]", IMAGE_FILL, "a.png"},                // before the first "?"
        {"FILL[c0]", IMAGE_PLAIN, ""},                              // case-sensitive
    };
    for (const Case& c : cases) {
        CString file("untouched");
        EXPECT_EQ(parseImageModifier(c.Name, &file), c.Mode) << c.Name;
        EXPECT_STREQ(file, c.Mode ? c.File : "untouched") << c.Name;
    }
}

TEST_F(TextureCacheTest, BisectionFindsEveryNameOfADescendingArray)
{
    CTextureCache& cache = CTextureCache::instance();
    std::mt19937 random(7);
    std::set<std::string> names;
    while (names.size() < 200)
        names.insert("t" + std::to_string(random() % 100000) + ".png");
    for (const std::string& name : names) {
        STextureRegion region;
        region.Name = name.c_str();
        cache.push(region);
    }
    for (const std::string& name : names)
        ASSERT_GE(cache.find(name.c_str()), 0) << name;
    EXPECT_EQ(cache.find("missing.png"), -1);
    EXPECT_EQ(cache.find(""), -1);
    for (int i = 1; i < cache.size(); ++i)
        ASSERT_GT(std::strcmp(cache.at(i - 1).Name, cache.at(i).Name), 0) << "not descending at " << i;
}

TEST_F(TextureCacheTest, FillNameMakesATextureOnceAndReturnsEqualCopies)
{
    STextureRegion first = retrieveTexture("?fill[c0,w64,h32]");
    ASSERT_NE(first.Texture, nullptr);
    EXPECT_STREQ(first.Name, "?fill[c0,w64,h32]");
    expectRect(first, 0, 0, 64, 32);
    EXPECT_EQ(first.UV.LowerRightCorner, core::vector2df(1, 1));
    EXPECT_FLOAT_EQ(first.TexelWidth, 1.0f / 64);
    EXPECT_FLOAT_EQ(first.TexelHeight, 1.0f / 32);
    const u32 textures = Video.driver()->getTextureCount();

    STextureRegion second = retrieveTexture("?fill[c0,w64,h32]");
    EXPECT_EQ(second.Texture, first.Texture);
    EXPECT_EQ(second.PixelRect, first.PixelRect);
    EXPECT_EQ(Video.driver()->getTextureCount(), textures);
    EXPECT_EQ(CTextureCache::instance().size(), 1);
}

TEST_F(TextureCacheTest, FillValueComesAfterTheModifierNotFromThePath)
{
    struct Case {
        const char* Name;
        u32 Inside;
    } cases[] = {
        {"?fill[c0,w40,h10]", 0x00000000},
        {"?fill[c255,w40,h10]", 0xFFFFFFFF},
        {"icons\\coin.png?fill[c255,w40,h10]", 0xFFFFFFFF},   // the path's own 'c' is not the value
        {"?fill[c0x80,w40,h10]", 0x80808080},
    };
    for (const Case& c : cases) {
        video::IImage* target = Video.makeImage(64, 64, video::SColor(0x12345678));
        SAtlasGrid grid(2, 2);
        STextureRegion region;
        ASSERT_EQ(combineImages(c.Name, region, target, &grid), 0) << c.Name;
        EXPECT_EQ(pixel(target, 0, 0), c.Inside) << c.Name;
        EXPECT_EQ(pixel(target, 39, 9), c.Inside) << c.Name;
        EXPECT_EQ(pixel(target, 40, 0), 0x12345678u) << c.Name;   // outside the rectangle
        EXPECT_EQ(pixel(target, 0, 10), 0x12345678u) << c.Name;
        target->drop();
    }
}

TEST_F(TextureCacheTest, ColourKeyMakesKeyPixelsTransparentInRgbAndRgbaImages)
{
    const video::SColor magenta(255, 255, 0, 255), green(255, 0, 200, 0), halfMagenta(100, 255, 0, 255);
    for (bool rgb : {true, false}) {
        const std::string path = Folder.file(rgb ? "key24.png" : "key32.png");
        ASSERT_TRUE(Video.writeImage(path, 4, 2, [&](int x, int) { return x < 2 ? magenta : green; }, rgb));
        video::IImage* target = Video.makeImage(32, 32, video::SColor(0));
        SAtlasGrid grid(1, 1);
        STextureRegion region;
        const std::string name = path + "?colorkey[c0xff00ff]";
        ASSERT_EQ(combineImages(name.c_str(), region, target, &grid), 0);
        EXPECT_EQ(pixel(target, 0, 0), 0x00FF00FFu) << name;
        EXPECT_EQ(pixel(target, 1, 1), 0x00FF00FFu) << name;
        EXPECT_EQ(pixel(target, 2, 0), green.color) << name;
        expectRect(region, 0, 0, 4, 2);
        target->drop();
    }
    // a key pixel with partial alpha also becomes transparent
    const std::string path = Folder.file("half.png");
    ASSERT_TRUE(Video.writeImage(path, 2, 1, [&](int, int) { return halfMagenta; }));
    video::IImage* target = Video.makeImage(32, 32, video::SColor(0));
    SAtlasGrid grid(1, 1);
    STextureRegion region;
    ASSERT_EQ(combineImages((path + "?colorkey[c0xff00ff]").c_str(), region, target, &grid), 0);
    EXPECT_EQ(video::SColor(pixel(target, 0, 0)).getAlpha(), 0u);
    target->drop();
}

TEST_F(TextureCacheTest, PlainImagesCopyUnchangedIntoFirstFreeCells)
{
    const std::string path = Folder.file("wide.png");
    ASSERT_TRUE(Video.writeImage(path, 33, 10, [](int x, int y) { return video::SColor(127 + (x & 1), x, y, 7); }));
    video::IImage* target = Video.makeImage(128, 64, video::SColor(0));
    SAtlasGrid grid(4, 2);
    STextureRegion a, b, c;
    ASSERT_EQ(combineImages(path.c_str(), a, target, &grid), 0);
    ASSERT_EQ(combineImages(path.c_str(), b, target, &grid), 0);
    ASSERT_EQ(combineImages(path.c_str(), c, target, &grid), 0);
    expectRect(a, 0, 0, 33, 10);   // 2 x 1 cells each
    expectRect(b, 64, 0, 97, 10);
    expectRect(c, 0, 32, 33, 42);
    EXPECT_EQ(a.UV.LowerRightCorner, core::vector2df(33.0f / 128, 10.0f / 64));
    EXPECT_EQ(pixel(target, 64 + 5, 3), video::SColor(128, 5, 3, 7).color);
    EXPECT_EQ(pixel(target, 32, 9), video::SColor(127, 32, 9, 7).color);
    EXPECT_EQ(grid.cell(0, 1) + grid.cell(1, 1), 2u);
    EXPECT_EQ(grid.cell(2, 1), 0u);

    STextureRegion tooBig;
    const std::string big = Folder.file("big.png");
    ASSERT_TRUE(Video.writeImage(big, 129, 8, [](int, int) { return video::SColor(255, 1, 2, 3); }));
    EXPECT_EQ(combineImages(big.c_str(), tooBig, target, &grid), 1);
    target->drop();
}

TEST_F(TextureCacheTest, ThreeQuarterImagesFillAtlasQuartersInReadingOrder)
{
    video::IImage* target = Video.makeImage(2048, 2048, video::SColor(0));
    SAtlasGrid grid(64, 64);
    STextureRegion r[4];
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(combineImages("?fill[c9,w1024,h1024]", r[i], target, &grid), 0);
    expectRect(r[0], 0, 0, 1024, 1024);
    expectRect(r[1], 1024, 0, 2048, 1024);
    expectRect(r[2], 0, 1024, 1024, 2048);
    EXPECT_EQ(combineImages("?fill[c9,w1025,h10]", r[3], target, &grid), 1);
    target->drop();
}

// A free cell is no room for a tall image when a cell below it, inside the
// image, is taken: the whole block must be free.
TEST_F(TextureCacheTest, TallImageSkipsAHoleAboveAnOccupiedCell)
{
    video::IImage* target = Video.makeImage(64, 96, video::SColor(0));
    SAtlasGrid grid(2, 3);
    grid.cell(0, 2) = 1;
    STextureRegion region;
    ASSERT_EQ(combineImages("?fill[c9,w32,h96]", region, target, &grid), 0);
    expectRect(region, 32, 0, 64, 96);
    EXPECT_EQ(grid.cell(0, 0) + grid.cell(0, 1), 0u);
    target->drop();
}

// The caller's column and row counts bound the scan; the grid bounds them in turn.
TEST_F(TextureCacheTest, ColumnAndRowCountsBoundThePlacementScan)
{
    struct SCase {
        int Columns, Rows;
        int Result;
        core::recti Rect;
    } cases[] = {
        {-1, -1, 0, core::recti(0, 0, 40, 10)},
        {2, 1, 0, core::recti(0, 0, 40, 10)},
        {1, 4, 1, core::recti()},      // two cells wide: no room in one column
        {0, 0, 1, core::recti()},
        {99, 99, 0, core::recti(0, 0, 40, 10)},
    };
    for (const SCase& c : cases) {
        video::IImage* target = Video.makeImage(128, 128, video::SColor(0));
        SAtlasGrid grid(4, 4);
        STextureRegion region;
        EXPECT_EQ(combineImages("?fill[c9,w40,h10]", region, target, &grid, c.Columns, c.Rows), c.Result)
            << c.Columns << "x" << c.Rows;
        if (c.Result == 0)
            expectRect(region, c.Rect.UpperLeftCorner.X, c.Rect.UpperLeftCorner.Y, c.Rect.LowerRightCorner.X,
                       c.Rect.LowerRightCorner.Y);
        else
            EXPECT_EQ(grid.cell(0, 0), 0u);
        target->drop();
    }
}

TEST_F(TextureCacheTest, MissingFileIsNotRememberedAndLoadsOnceItExists)
{
    const std::string path = Folder.file("later.png");
    STextureRegion missing = retrieveTexture(path.c_str());
    EXPECT_EQ(missing.Texture, nullptr);
    EXPECT_TRUE(missing.Name.IsEmpty());
    EXPECT_EQ(CTextureCache::instance().size(), 0);

    ASSERT_TRUE(Video.writeImage(path, 8, 8, [](int, int) { return video::SColor(255, 9, 9, 9); }));
    STextureRegion found = retrieveTexture(path.c_str());
    EXPECT_NE(found.Texture, nullptr);
    EXPECT_STREQ(found.Name, path.c_str());
    EXPECT_EQ(CTextureCache::instance().size(), 1);
}

TEST_F(TextureCacheTest, BackslashNameFoundWithSlashesIsCachedUnderTheBackslashName)
{
    std::filesystem::create_directories(Folder.file("sub"));
    ASSERT_TRUE(Video.writeImage(Folder.file("sub/x.png"), 4, 4, [](int, int) { return video::SColor(255, 0, 0, 0); }));
    const std::string name = Folder.path() + "sub\\x.png";
    STextureRegion region = retrieveTexture(name.c_str());
    ASSERT_NE(region.Texture, nullptr);
    EXPECT_STREQ(region.Name, name.c_str());
    EXPECT_EQ(CTextureCache::instance().find(name.c_str()), 0);
}

TEST_F(TextureCacheTest, DataRootNamesLoadFromTheMountedFolder)
{
    std::filesystem::create_directories(Folder.file("gui"));
    ASSERT_TRUE(Video.writeImage(Folder.file("gui/empty.png"), 2, 2, [](int, int) { return video::SColor(0, 0, 0, 0); }));
    ASSERT_TRUE(Video.mountFolder(Folder.path()));
    video::ITexture* loaded = nullptr;
    // "x\..\" as Windows reads it, as in a description in sub\ that names ..\gui\empty.png.
    for (const char* name : {"\\gui\\empty.png", "gui\\empty.png", "\\gui\\empty.png  ", "\\gui\\..\\gui\\empty.png",
                             "sub\\..\\gui\\.\\empty.png"}) {
        STextureRegion region = retrieveTexture(name);
        ASSERT_NE(region.Texture, nullptr) << name;
        EXPECT_STREQ(region.Name, name);
        EXPECT_GE(CTextureCache::instance().find(name), 0) << name;
        if (loaded) {
            EXPECT_EQ(region.Texture, loaded) << "one file, one texture";
        }
        loaded = region.Texture;
    }
}

TEST_F(TextureCacheTest, FolderNamesLoadNoTextureInsteadOfAHugeRead)
{
    // A truncated description can name a folder; opened as a file it reports
    // a size of about 2^63, which an image loader would try to allocate.
    std::filesystem::create_directories(Folder.file("gui/deeper"));
    ASSERT_TRUE(Video.writeImage(Folder.file("gui/empty.png"), 2, 2, [](int, int) { return video::SColor(0, 0, 0, 0); }));
    ASSERT_TRUE(Video.mountFolder(Folder.path()));
    const std::string diskFolder = Folder.path() + "gui";
    for (const char* name : {"\\gui\\", "gui\\", "gui", "\\gui\\deeper", diskFolder.c_str()}) {
        STextureRegion region = retrieveTexture(name);
        EXPECT_EQ(region.Texture, nullptr) << name;
    }
    EXPECT_NE(retrieveTexture("\\gui\\empty.png").Texture, nullptr) << "files beside the folder still load";
}

TEST_F(TextureCacheTest, DamagedImagesLoadAsMissing)
{
    // Irrlicht's loaders trust these headers; the first one crashed the game
    // as a background, read by content through the BMP loader.
    std::string wideBmp("BM\x42\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\0\0\x10\0\x01\0\0\0\x01\0\x18\0", 30);
    wideBmp.resize(66, '\0');
    const std::string hugePng("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\x0f\x42\x40\0\x0f\x42\x40\x08\x06\0\0\0\x5c\x6d\x38\x7d",
                              33);
    std::string longRunTga("\0\0\x0a\0\0\0\0\0\0\0\0\0\x01\0\x01\0\x20\0\x7f", 19);   // 128 pixels into 1
    longRunTga.resize(19 + 128 * 4, '\x55');
    const struct { const char* name; const std::string& bytes; } cases[] = {
        {"wide.png", wideBmp},
        {"huge.png", hugePng},
        {"runs.tga", longRunTga},
    };
    for (const auto& c : cases) {
        const std::string path = Folder.file(c.name);
        std::ofstream(path, std::ios::binary) << c.bytes;
        EXPECT_EQ(retrieveTexture(path.c_str()).Texture, nullptr) << c.name;
        EXPECT_EQ(createDataImage(Video.driver(), path.c_str()), nullptr) << c.name;
    }
}

TEST_F(TextureCacheTest, RemovingATextureErasesEntriesOfItsNameAndOfItsTexture)
{
    STextureRegion fill = retrieveTexture("?fill[c1,w4,h4]");
    ASSERT_NE(fill.Texture, nullptr);
    STextureRegion alias = fill;
    alias.Name = "alias.png";
    CTextureCache::instance().push(alias);
    retrieveTexture("?fill[c2,w4,h4]");
    removeCachedTexture("?fill[c1,w4,h4]");
    CTextureCache& cache = CTextureCache::instance();
    EXPECT_EQ(cache.find("?fill[c1,w4,h4]"), -1);
    EXPECT_EQ(cache.find("alias.png"), -1);
    EXPECT_GE(cache.find("?fill[c2,w4,h4]"), 0);
    EXPECT_EQ(Video.driver()->findTexture("?fill[c1,w4,h4]"), nullptr);
}

using TextureCacheDeathTest = NullVideoTest;   // boxes reach standard error

TEST_F(TextureCacheDeathTest, BadNamesStopWithTheCombinerAlerts)
{
    struct Case {
        const char* Name;
        const char* Message;
    } cases[] = {
        {"?fill[c0,w-5,h10]", "too small to be used in combiner"},
        {"?fill[c0,h10]", "too small to be used in combiner"},
        {"?fill[c0,w100000,h10]", "too large to be used in combiner"},
        {"nothing_here.png?colorkey[c0]", "can not be loaded at all"},
        {"?colorkey[c0]", "can not be loaded at all"},   // a folder, after the prefix below
    };
    for (const Case& c : cases) {
        // A folder opens like a file; the combiner must refuse it, not read it.
        const std::string name = (c.Name[0] == '?' && c.Name[1] == 'c' ? Folder.path() : "") + c.Name;
        EXPECT_EXIT(retrieveTexture(name.c_str()), testing::ExitedWithCode(1), c.Message) << name;
    }
}

} // namespace
