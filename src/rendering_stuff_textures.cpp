// Texture regions, the texture cache and the image combiner.
#include "rendering_stuff_textures.h"

#include "module_enginebase.h"
#include "rendering.h"
#include "rendering_stuff.h"
#include "rendering_stuff_particles.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_image_header.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <irrlicht.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <strings.h>

using namespace irr;

namespace {

video::IVideoDriver* InstalledDriver = nullptr;      // borrowed
CCustomMaterials* InstalledMaterials = nullptr;      // borrowed

// Names sort descending: a region is "less" when its name compares greater.
bool regionLess(const STextureRegion& a, const STextureRegion& b)
{
    return std::strcmp(a.Name, b.Name) > 0;
}

// The text between the marker (searched from `from`) and the next "]", read
// as an integer; 0 when the marker is absent.
int readBracketInt(const char* name, const char* marker, const char* from = nullptr)
{
    const char* start = std::strstr(from ? from : name, marker);
    if (!start)
        return 0;
    start += std::strlen(marker);
    const char* end = std::strchr(start, ']');
    CString text = end ? CString(start, int(end - start)) : CString(start);
    return ParseIntAnyBase(text, false);
}

// Burning's Video tints a texture, and blends it turned, only when the
// texture has an alpha channel: without one its alpha material adds the
// picture at half strength. There a picture without alpha gets an opaque one.
video::ITexture* loadSoftwareTexture(video::IVideoDriver* driver, const char* path)
{
    video::IImage* image = driver->createImageFromFile(path);
    if (!image)
        return nullptr;
    const video::ECOLOR_FORMAT format = image->getColorFormat();
    if (format != video::ECF_A8R8G8B8 && format != video::ECF_A1R5G5B5) {
        const core::dimension2du size = image->getDimension();
        video::IImage* withAlpha = driver->createImage(video::ECF_A8R8G8B8, size);
        for (u32 y = 0; y < size.Height; ++y)
            for (u32 x = 0; x < size.Width; ++x)
                withAlpha->setPixel(x, y, image->getPixel(x, y));   // opaque: the format has no alpha
        image->drop();
        image = withAlpha;
    }
    video::ITexture* texture = driver->addTexture(path, image);
    image->drop();
    return texture;
}

// The driver opens whatever the name opens, a folder too, and an image
// loader then reads a folder's bogus size or a damaged header's: such names
// load nothing. A texture the driver already holds needs no second look.
video::ITexture* loadTextureFile(video::IVideoDriver* driver, const char* path)
{
    if (video::ITexture* held = driver->findTexture(path))
        return held;
    if (NamesNoLoadableImage(path))
        return nullptr;
    if (driver->getDriverType() == video::EDT_BURNINGSVIDEO)
        return loadSoftwareTexture(driver, path);
    return driver->getTexture(path);
}

// A texture asked for again and again (one per sprite made) is explained
// in the log once.
void logUnreadableTexture(const char* path)
{
    static std::set<std::string>& reported = *new std::set<std::string>;
    if (reported.insert(path).second)
        LogReadFailure(path);
}

void fatalImage(const char* format, const char* name)
{
    FatalError(Format(format, name), false);
}

// Whole-texture size as the file has it: Burning's Video shrinks textures that
// are not powers of two and reports the shrunk size.
core::dimension2du trueTextureSize(video::IVideoDriver* driver, video::ITexture* texture, const char* path)
{
    core::dimension2du size = texture->getOriginalSize();
    if (driver->getDriverType() != video::EDT_BURNINGSVIDEO)
        return size;
    if (video::IImage* image = driver->createImageFromFile(path)) {
        size = image->getDimension();
        image->drop();
    }
    return size;
}

// First free block of cw x ch cells, rows from the top, columns from the left.
bool findFreeBlock(SAtlasGrid& grid, int columns, int rows, int cw, int ch, int& column, int& row)
{
    for (int r = 0; r + ch <= rows; ++r) {
        for (int c = 0; c + cw <= columns; ++c) {
            if (grid.cell(c, r))
                continue;
            bool isFree = true;
            for (int i = c; i < c + cw && isFree; ++i)
                for (int j = r; j < r + ch && isFree; ++j)
                    isFree = grid.cell(i, j) == 0;
            if (isFree) {
                column = c;
                row = r;
                return true;
            }
        }
    }
    return false;
}

void markBlock(SAtlasGrid& grid, int column, int row, int cw, int ch)
{
    for (int i = column; i < column + cw; ++i)
        for (int j = row; j < row + ch; ++j)
            grid.cell(i, j) = 1;
}

struct SCopyJob {
    video::IImage* Source;   // may be null (a fill)
    int Mode;
    int FillValue;
    uint32_t Key;            // low 24 bits: red, green, blue as in A8R8G8B8
    int Width, Height, X0, Y0;
};

void copyIntoTarget(video::IImage* target, const SCopyJob& job)
{
    u8* base = static_cast<u8*>(target->lock());
    if (!base)
        return;
    const u32 pitch = target->getPitch();
    const bool isArgb = !job.Source || job.Source->getColorFormat() == video::ECF_A8R8G8B8;
    const u8* source = nullptr;
    if (job.Source && isArgb && job.Mode == IMAGE_PLAIN)
        source = static_cast<const u8*>(job.Source->lock());
    for (int y = 0; y < job.Height; ++y) {
        u8* row = base + (job.Y0 + y) * pitch + job.X0 * 4;
        if (isArgb && job.Mode == IMAGE_FILL) {
            std::memset(row, job.FillValue & 0xFF, size_t(job.Width) * 4);
        } else if (source) {
            std::memcpy(row, source + y * job.Source->getPitch(), size_t(job.Width) * 4);
        } else if (job.Source) {
            u32* out = reinterpret_cast<u32*>(row);
            for (int x = 0; x < job.Width; ++x) {
                video::SColor pixel = job.Source->getPixel(x, y);
                if (job.Mode == IMAGE_COLORKEY && (pixel.color & 0xFFFFFF) == (job.Key & 0xFFFFFF))
                    pixel.setAlpha(0);
                out[x] = pixel.color;
            }
        }
    }
    if (source)
        job.Source->unlock();
    target->unlock();
}

video::IImage* createArgbImage(video::IVideoDriver* driver, core::dimension2du size)
{
    return driver->createImage(video::ECF_A8R8G8B8, size);
}

} // namespace

// --- STextureRegion ---

STextureRegion::STextureRegion()
{
    setTexture(nullptr, nullptr);
}

STextureRegion::STextureRegion(video::ITexture* texture, const char* name)
{
    setTexture(texture, name);
}

void STextureRegion::setTexture(video::ITexture* texture, const char* name)
{
    core::dimension2du size(1, 1);
    if (texture)
        size = texture->getOriginalSize();
    setTextureSized(texture, name, size);
}

void STextureRegion::setTextureSized(video::ITexture* texture, const char* name, core::dimension2du size)
{
    Texture = texture;
    if (name)
        Name = name;
    else if (texture)
        Name = texture->getName().getPath().c_str();
    else
        Name.Empty();
    PixelRect = core::recti(0, 0, s32(size.Width), s32(size.Height));
    UV.UpperLeftCorner.set(0, 0);
    UV.LowerRightCorner.set(1, 1);
    if (texture) {
        // the null driver's textures are 0 x 0
        TexelWidth = size.Width ? 1.0f / size.Width : 0.0f;
        TexelHeight = size.Height ? 1.0f / size.Height : 0.0f;
    }
}

void STextureRegion::setPixelRect(const core::recti& rect, core::dimension2du targetSize)
{
    PixelRect = rect;
    const f32 w = targetSize.Width ? f32(targetSize.Width) : 1.0f;
    const f32 h = targetSize.Height ? f32(targetSize.Height) : 1.0f;
    UV.UpperLeftCorner.set(rect.UpperLeftCorner.X / w, rect.UpperLeftCorner.Y / h);
    UV.LowerRightCorner.set(rect.LowerRightCorner.X / w, rect.LowerRightCorner.Y / h);
    TexelWidth = rect.getWidth() > 0 ? 1.0f / rect.getWidth() : 0.0f;
    TexelHeight = rect.getHeight() > 0 ? 1.0f / rect.getHeight() : 0.0f;
}

// --- CTextureCache ---

CTextureCache& CTextureCache::instance()
{
    static CTextureCache cache;
    return cache;
}

int CTextureCache::find(const char* name)
{
    if (!Sorted) {
        std::sort(Regions.begin(), Regions.end(), regionLess);
        Sorted = true;
    }
    STextureRegion key;
    key.Name = name;
    auto it = std::lower_bound(Regions.begin(), Regions.end(), key, regionLess);
    if (it == Regions.end() || regionLess(key, *it))
        return -1;
    return int(it - Regions.begin());
}

int CTextureCache::findLinear(const char* name) const
{
    for (size_t i = 0; i < Regions.size(); ++i)
        if (std::strcmp(Regions[i].Name, name) == 0)
            return int(i);
    return -1;
}

void CTextureCache::push(const STextureRegion& region)
{
    TextureLoadSerial(region.Texture);   // numbered in the order textures come in
    Regions.push_back(region);
    Sorted = false;
}

void CTextureCache::erase(const char* name, const video::ITexture* texture)
{
    Regions.erase(std::remove_if(Regions.begin(), Regions.end(),
                                 [&](const STextureRegion& r) {
                                     return std::strcmp(r.Name, name) == 0 || (texture && r.Texture == texture);
                                 }),
                  Regions.end());
}

void CTextureCache::clear()
{
    Regions.clear();
    Sorted = true;
}

// --- services ---

void SetTextureServices(video::IVideoDriver* driver, CCustomMaterials* materials)
{
    InstalledDriver = driver;
    InstalledMaterials = materials;
}

video::IVideoDriver* GetTextureDriver()
{
    return InstalledDriver ? InstalledDriver : getDriver();
}

CCustomMaterials* GetTextureMaterials()
{
    if (InstalledMaterials)
        return InstalledMaterials;
    CRenderer* renderer = getRenderer();
    return renderer ? &renderer->getMaterials() : nullptr;
}

// --- cache operations ---

// Pictures the engine itself draws, made when the data lacks them: a clear
// pixel for the empty image of textureless descriptions (which must not make
// every such description fatal), and black for the pause overlay.
static video::ITexture* makeMissingEngineImage(video::IVideoDriver* driver, const char* name)
{
    static const struct {
        const char* Name;
        video::SColor Colour;
        bool Logged;
    } made[] = {
        {"gui\\empty.png", video::SColor(0, 0, 0, 0), false},
        {"gui\\black.png", video::SColor(255, 0, 0, 0), true},
    };
    // Asked for as the data name or, resolved, without its leading backslash.
    const char* bare = name[0] == '\\' ? name + 1 : name;
    for (const auto& picture : made) {
        if (strcasecmp(bare, picture.Name) != 0)
            continue;
        video::IImage* image = createArgbImage(driver, core::dimension2du(1, 1));
        if (!image)
            return nullptr;
        image->fill(picture.Colour);
        video::ITexture* texture = driver->addTexture(name, image);
        image->drop();
        if (texture && picture.Logged)
            DebugLog(Format("The data has no '%s': a made picture of one colour stands in for it", picture.Name));
        return texture;
    }
    return nullptr;
}

video::IImage* createDataImage(video::IVideoDriver* driver, const char* name)
{
    io::IReadFile* file = OpenDataFile(name);
    if (!file)
        return nullptr;
    video::IImage* image = ImageFileIsLoadable(file, name) ? driver->createImageFromFile(file) : nullptr;
    file->drop();
    return image;
}

int parseImageModifier(const char* name, CString* fileName)
{
    if (!name)
        return IMAGE_PLAIN;
    int mode = IMAGE_PLAIN;
    if (std::strstr(name, "colorkey["))
        mode = IMAGE_COLORKEY;
    else if (std::strstr(name, "fill["))
        mode = IMAGE_FILL;
    if (fileName && mode != IMAGE_PLAIN) {
        const char* query = std::strchr(name, '?');
        *fileName = query ? CString(name, int(query - name)) : CString();
    }
    return mode;
}

STextureRegion retrieveTexture(const char* name)
{
    if (!name)
        name = "";
    CheckTexturePath(name);
    CTextureCache& cache = CTextureCache::instance();
    int found;
    {
        ENGINE_PROFILE("RETRTEXT-BINSEARCH");
        ENGINE_PROFILE("RETRTEXT-BINSEARCH_AFTERLOCK");
        CheckMainThread();
        found = cache.find(name);
    }
    if (found >= 0 && cache.at(found).Texture) {
        CheckMainThread();
        return cache.at(found);
    }
    ENGINE_PROFILE_DETAIL("RETRTEXT-CACHMISS", name);
    CheckMainThread();
    video::IVideoDriver* driver = GetTextureDriver();
    if (!driver)
        return STextureRegion();
    if (parseImageModifier(name, nullptr) != IMAGE_PLAIN) {
        STextureRegion region;
        if (combineImages(name, region, nullptr, nullptr, 0, 0) != 0)
            return STextureRegion();
        cache.push(region);
        return cache.back();
    }
    ENGINE_PROFILE("RETRTEXT-READTEXDRV");
    // A leading "\\" names the data folder's top; the mounted folders list
    // their files without it. The region keeps the name as asked.
    CString path(name[0] == '\\' ? name + 1 : name);
    video::ITexture* texture = loadTextureFile(driver, path);
    if (!texture) {
        const CString archiveName = ToArchiveName(path);
        if (archiveName != path) {
            path = archiveName;
            texture = loadTextureFile(driver, path);
        }
    }
    if (!texture)
        texture = makeMissingEngineImage(driver, name);
    if (!texture) {
        logUnreadableTexture(path);
        return STextureRegion();
    }
    STextureRegion region;
    region.setTextureSized(texture, name, trueTextureSize(driver, texture, path));
    cache.push(region);
    return cache.back();
}

void removeCachedTexture(const char* name)
{
    CheckMainThread();
    video::IVideoDriver* driver = GetTextureDriver();
    video::ITexture* texture = driver ? driver->findTexture(name) : nullptr;
    if (texture) {
        forgetTexturePixels(texture);
        ForgetTextureLoadSerial(texture);
        driver->removeTexture(texture);
    }
    CTextureCache::instance().erase(name, texture);
}

void ReleaseTextureCaches()
{
    CTextureCache::instance().clear();
    clearTexturePixelCache();
    ForgetTextureLoadSerials();
}

SAtlasGrid::SAtlasGrid(int columns, int rows)
    : Columns(columns > 0 ? columns : 0), Rows(rows > 0 ? rows : 0), Cells(size_t(Columns) * Rows, 0)
{
}

int combineImages(const char* name, STextureRegion& region, video::IImage* target, SAtlasGrid* grid, int columns,
                  int rows)
{
    region.setTexture(nullptr, name);
    video::IVideoDriver* driver = GetTextureDriver();
    if (!driver)
        return 1;
    CString fileName;
    const int mode = parseImageModifier(name, &fileName);
    if (mode == IMAGE_PLAIN)
        fileName = name;
    video::IImage* image = createDataImage(driver, fileName);
    if (!image && mode != IMAGE_FILL) {
        fatalImage("Image %s can not be loaded at all!!!", name);
        return -1;
    }
    int w, h;
    if (image) {
        w = int(image->getDimension().Width);
        h = int(image->getDimension().Height);
    } else {
        w = readBracketInt(name, ",w");
        h = readBracketInt(name, ",h");
    }
    // The bound is for sizes a name asks to be made; a real image too large
    // for a grid just finds no room below.
    const bool tooLarge = !image && (w > MaxCombinedImageSide || h > MaxCombinedImageSide);
    if (w <= 0 || h <= 0 || tooLarge) {
        if (image)
            image->drop();
        fatalImage(w <= 0 || h <= 0 ? "Image %s too small to be used in combiner!!!"
                                    : "Image %s too large to be used in combiner!!!",
                   name);
        return -1;
    }
    const bool hasGrid = grid && target;
    video::IImage* out = hasGrid ? target : createArgbImage(driver, core::dimension2du(w, h));
    if (!out || out->getBytesPerPixel() != 4) {
        if (image)
            image->drop();
        if (out && !hasGrid)
            out->drop();
        fatalImage("Image target %s BPP Error! Only 32b images allowed this time!!!", name);
        return -1;
    }
    int column = 0, row = 0;
    if (hasGrid) {
        const int cw = (w + 31) / 32, ch = (h + 31) / 32;
        // The grid's own size bounds any count the caller gives.
        const int scanColumns = columns < 0 ? grid->Columns : std::min(columns, grid->Columns);
        const int scanRows = rows < 0 ? grid->Rows : std::min(rows, grid->Rows);
        if (!findFreeBlock(*grid, scanColumns, scanRows, cw, ch, column, row)) {
            if (image)
                image->drop();
            return 1;
        }
        markBlock(*grid, column, row, cw, ch);
    }
    SCopyJob job{image, mode, 0, 0, w, h, column * 32, row * 32};
    const core::dimension2du targetSize = out->getDimension();
    if (u32(job.X0 + w) > targetSize.Width || u32(job.Y0 + h) > targetSize.Height) {
        if (image)
            image->drop();
        return 1;   // a grid larger than its target
    }
    if (mode == IMAGE_FILL) {
        const char* fill = std::strstr(name, "fill[");
        job.FillValue = readBracketInt(name, "c", fill);
    } else if (mode == IMAGE_COLORKEY) {
        job.Key = uint32_t(readBracketInt(name, "[c", std::strstr(name, "colorkey[") + 8));
    }
    copyIntoTarget(out, job);
    if (image)
        image->drop();
    if (!hasGrid) {
        video::ITexture* texture = driver->addTexture(name, out);
        out->drop();
        if (!texture)
            return 1;
        region.setTexture(texture, name);
    }
    region.setPixelRect(core::recti(job.X0, job.Y0, job.X0 + w, job.Y0 + h), targetSize);
    return 0;
}
