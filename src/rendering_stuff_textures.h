// Texture regions, the engine-wide texture cache, the image combiner and the
// texture atlases built from texture lists (beside the draw pass's rendering_stuff).
#pragma once

#include "utils_str.h"

#include <dimension2d.h>
#include <irrArray.h>
#include <irrString.h>
#include <rect.h>
#include <vector2d.h>

#include <cstdint>
#include <vector>

namespace irr { namespace video {
class ITexture;
class IImage;
class IVideoDriver;
} }

class CCustomMaterials;

// A texture-coordinate rectangle: upper-left and lower-right corners.
struct SUVRect {
    irr::core::vector2df UpperLeftCorner;
    irr::core::vector2df LowerRightCorner;
};

// A rectangle of a texture, handed out by the texture cache. The texture is
// borrowed: the driver owns it and no region grabs it.
struct STextureRegion {
    irr::video::ITexture* Texture = nullptr;
    CString Name;              // the name it is cached under, not the driver's
    SUVRect UV;                // PixelRect divided by the texture's pixel size
    irr::core::recti PixelRect;   // lower-right corner exclusive
    float TexelWidth = 0;      // 1 / pixel width; 0 while there is no size
    float TexelHeight = 0;

    STextureRegion();   // the empty region
    STextureRegion(irr::video::ITexture* texture, const char* name);

    // Whole texture; the name falls back to the texture's own, the size to
    // the texture's original size (1 x 1 without a texture).
    void setTexture(irr::video::ITexture* texture, const char* name);
    void setTexturePointer(irr::video::ITexture* texture) { Texture = texture; }
    // Whole texture of a known pixel size (the image's true size where the
    // driver shrank the texture).
    void setTextureSized(irr::video::ITexture* texture, const char* name, irr::core::dimension2du size);
    // Rectangles for a part of a target of the given size.
    void setPixelRect(const irr::core::recti& rect, irr::core::dimension2du targetSize);

    int getWidth() const { return PixelRect.getWidth(); }
    int getHeight() const { return PixelRect.getHeight(); }
};

// The engine-wide cache: regions kept in descending strcmp order of their
// names, sorted again lazily on the first lookup after appends.
class CTextureCache {
public:
    static CTextureCache& instance();

    // Index of the entry of this name, or -1. Sorts first when needed.
    int find(const char* name);
    // Linear scan; -1 when absent (keeps the order unsorted).
    int findLinear(const char* name) const;
    void push(const STextureRegion& region);
    STextureRegion& at(int index) { return Regions[index]; }
    int size() const { return static_cast<int>(Regions.size()); }
    STextureRegion& back() { return Regions.back(); }
    // Removes entries of that name, and those pointing to the texture when it
    // is not null; keeps the order of the rest.
    void erase(const char* name, const irr::video::ITexture* texture);
    void clear();

private:
    std::vector<STextureRegion> Regions;
    bool Sorted = true;
};

// Where textures load and what the device allows. Installed by the engine and
// by tests; with none installed the engine's driver and renderer answer.
void SetTextureServices(irr::video::IVideoDriver* driver, CCustomMaterials* materials);
irr::video::IVideoDriver* GetTextureDriver();
CCustomMaterials* GetTextureMaterials();

// Image-name modifiers.
enum EImageModifier { IMAGE_PLAIN = 0, IMAGE_COLORKEY = 1, IMAGE_FILL = 2 };

// Largest side the combiner makes from a name's parameters.
constexpr int MaxCombinedImageSide = 8192;

// A copy of the cached region of the name, loading it on a miss; the empty
// region when nothing can be loaded (tried again on the next request).
STextureRegion retrieveTexture(const char* name);

// The modifier of the name; fileName (when given and the mode is not plain)
// receives the part before the first "?".
int parseImageModifier(const char* name, CString* fileName);

// The image a data name holds, opened once through the engine's file system;
// null when the name is missing or opens no plain file (a folder).
irr::video::IImage* createDataImage(irr::video::IVideoDriver* driver, const char* name);

// The placement grid of an atlas: Columns x Rows cells of 32 pixels, 0 free.
struct SAtlasGrid {
    int Columns = 0;
    int Rows = 0;
    std::vector<uint32_t> Cells;   // column by column: Cells[column * Rows + row]
    SAtlasGrid(int columns, int rows);
    uint32_t& cell(int column, int row) { return Cells[column * Rows + row]; }
};

// Makes the picture of a name into the target at the first free block of the
// grid, or, without a grid, into a new texture. 0 placed, 1 no room; the
// fatal alert for an image that cannot be used. columns and rows (when not
// negative) bound the part of the grid that is scanned.
int combineImages(const char* name, STextureRegion& region, irr::video::IImage* target, SAtlasGrid* grid,
                  int columns = -1, int rows = -1);

// --- atlases ---

// Atlas size: 2048 wide, at most 2048 high, or 0 x 0 when the device cannot
// take 2048-pixel textures.
irr::core::dimension2di getAtlasMaxSize();

// Packs the images of the "[List]" sections of the text into atlas textures
// and caches their regions under the images' names.
void loadTextureLists(const char* listFile, const char* text, const char* atlasName, bool skipDynamic);

// Places images from the front of files into a new atlas image (the caller
// drops it); null when nothing was placed.
irr::video::IImage* buildAtlas(const char* listFile, irr::core::array<irr::core::stringc>& files,
                               std::vector<STextureRegion>& regions);

// Removes the driver's texture of that name and the cache entries of that name
// or of that texture.
void removeCachedTexture(const char* name);

// Forgets every cached region and pixel copy: their textures belong to a
// device that is starting or going.
void ReleaseTextureCaches();
