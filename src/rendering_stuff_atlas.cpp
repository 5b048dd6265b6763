// Texture atlases built from texture lists.
#include "rendering_stuff_textures.h"

#include "node_factory_macros.h"
#include "rendering_material_custom.h"
#include "rendering_stuff.h"
#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_system_common.h"

#include <irrlicht.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>

using namespace irr;

namespace {

constexpr int AtlasSide = 2048;
constexpr int AtlasMinWidth = 2000;
constexpr int CellSize = 32;
constexpr int VirtualKeyShift = 16;

int FakeNameCounter = 0;   // "FakeTex_%i"
int DumpCounter = 0;       // debug atlas dumps

// The preloading caller passes a name of control characters for "none".
bool isNoName(const char* name)
{
    if (!name)
        return true;
    for (; *name; ++name)
        if (static_cast<unsigned char>(*name) >= 0x20)
            return false;
    return true;
}

// The rest of the "-Name:" line, unchanged (a leading blank stays).
CString sectionName(const CString& section)
{
    const int at = section.Find("-Name:");
    if (at < 0)
        return CString();
    const int start = at + 6;
    const int end = section.Find('\n', start);
    CString name = end >= 0 ? section.Mid(start, end - start) : section.Mid(start);
    name.TrimRight("\r");
    return name;
}

bool contains(const core::array<core::stringc>& files, const core::stringc& name)
{
    for (u32 i = 0; i < files.size(); ++i)
        if (files[i] == name)
            return true;
    return false;
}

void addSectionFiles(const char* listFile, const CString& section, core::array<core::stringc>& files)
{
    CString rest(section);
    while (!rest.IsEmpty()) {
        int end = rest.Find('\n');
        CString line = end >= 0 ? rest.Left(end) : rest;
        rest = end >= 0 ? rest.Mid(end + 1) : CString();
        line.TrimLeft();
        line.TrimRight();
        if (line.IsEmpty() || line.GetAt(0) == '-')
            continue;
        if (line.Find('*') < 0 && line.Find('?') < 0) {
            if (!contains(files, (const char*)line))
                files.push_back((const char*)line);
            continue;
        }
        core::array<core::stringc> listed;
        ListFolder(listed, GetPathPart(line, 1, 1, 0, 0), GetPathPart(line, 0, 0, 1, 1),
                   GetPathPart(listFile, 1, 1, 0, 0));
        for (u32 i = 0; i < listed.size(); ++i)
            if (!contains(files, listed[i]))
                files.push_back(listed[i]);
    }
}

// Every atlas gets a name of its own: a texture replaced under a shared name
// would leave the earlier atlas's regions pointing to a released texture.
CString atlasNameFor(CString& givenName, const CString& fromSection, std::set<std::string>& used)
{
    CString name = givenName;
    givenName.Empty();
    if (name.IsEmpty())
        name = fromSection;
    if (name.IsEmpty())
        name = Format("FakeTex_%i", FakeNameCounter++);
    CString unique = name;
    for (int k = 1; used.count((const char*)unique); ++k)
        unique = Format("%s#%i", (const char*)name, k);
    used.insert((const char*)unique);
    return unique;
}

void pushAtlasRegions(std::vector<STextureRegion>& regions, video::ITexture* texture)
{
    CheckMainThread();
    CTextureCache& cache = CTextureCache::instance();
    TextureLoadSerial(texture);   // also when every region replaces one already cached
    for (STextureRegion& region : regions) {
        region.setTexturePointer(texture);
        const int index = cache.findLinear(region.Name);
        if (index >= 0) {
            cache.at(index) = region;
            continue;
        }
        DebugLog(Format("Pushing texture %s", (const char*)region.Name), __FILE__, __LINE__);
        if (region.Name.Find('?') >= 0)
            AssertFailed(__FILE__, __LINE__, Format("Bad texture for cache!!!\n%s", (const char*)region.Name));
        cache.push(region);
    }
}

// Loads the section's files into atlases; false when an atlas could not be made.
bool loadSection(const char* listFile, const CString& section, CString& givenName, std::set<std::string>& used)
{
    video::IVideoDriver* driver = GetTextureDriver();
    core::array<core::stringc> files;
    addSectionFiles(listFile, section, files);
    const CString fromSection = sectionName(section);
    std::vector<STextureRegion> regions;
    while (!files.empty()) {
        regions.clear();
        video::IImage* atlas = buildAtlas(listFile, files, regions);
        if (!atlas)
            return false;
        const CString name = atlasNameFor(givenName, fromSection, used);
        removeCachedTexture(name);
        video::ITexture* texture = driver->addTexture((const char*)name, atlas);
        if (texture)
            pushAtlasRegions(regions, texture);
        atlas->drop();
    }
    return true;
}

void dumpAtlas(video::IVideoDriver* driver, video::IImage* atlas)
{
    if (!GetEngineContext().isDebugMode() || !GetKeyStateIfActive(VirtualKeyShift))
        return;
    CString path = Format("%sdebug_autogenerated_atlas_%i.bmp", (const char*)GetLogFolder(), DumpCounter++);
    driver->writeImageToFile(atlas, (const char*)path);
}

} // namespace

core::dimension2di getAtlasMaxSize()
{
    CCustomMaterials* materials = GetTextureMaterials();
    if (!materials)
        return core::dimension2di(0, 0);
    core::dimension2di size = materials->getMaxTextureSize(GetTextureDriver());
    if (size.Width < AtlasSide)
        return core::dimension2di(0, 0);
    return core::dimension2di(AtlasSide, core::min_(size.Height, AtlasSide));
}

void loadTextureLists(const char* listFile, const char* text, const char* atlasName, bool skipDynamic)
{
    const core::dimension2di size = getAtlasMaxSize();
    if (size.Width == 0 || size.Width < AtlasMinWidth || size.Height < CellSize || !GetTextureDriver())
        return;
    if (!listFile)
        listFile = "";
    CString all(text ? text : "");
    expandSpriteMacros(all);
    all = "\n\n\n\n" + all + "\n";
    if (all.Find("[List]") < 0)
        return;
    all += "[List]";
    CString givenName = isNoName(atlasName) ? CString() : CString(atlasName);
    std::set<std::string> used;
    int at = all.Find("[List]");
    while (true) {
        const int start = at + 6;
        const int next = all.Find("[List]", start);
        if (next < 0)
            return;
        CString section = all.Mid(start, next - start);
        at = next;
        if (skipDynamic && section.Find("-DynamicList:1") >= 0)
            return;
        section.TrimLeft();
        if (section.IsEmpty())
            continue;
        if (!loadSection(listFile, section, givenName, used))
            return;
    }
}

video::IImage* buildAtlas(const char* listFile, core::array<core::stringc>& files, std::vector<STextureRegion>& regions)
{
    video::IVideoDriver* driver = GetTextureDriver();
    const core::dimension2di size = getAtlasMaxSize();
    if (!driver || size.Width <= 0 || size.Height <= 0)
        return nullptr;
    video::IImage* atlas = driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(size.Width, size.Height));
    if (!atlas)
        return nullptr;
    // Dropped also when a fatal end unwinds from a bad entry (the tests' and fuzzers' hooks end so).
    std::unique_ptr<video::IImage, void (*)(video::IImage*)> owned(atlas, [](video::IImage* image) { image->drop(); });
    atlas->fill(video::SColor(0, 0, 0, 0));
    SAtlasGrid grid(size.Width / CellSize, size.Height / CellSize);
    int placed = 0;
    int result = 0;
    while ((result == 0 || result == -1) && !files.empty()) {
        CString line(files[0].c_str());
        line.TrimLeft();
        line.TrimRight();
        if (line.IsEmpty() || std::strchr("\\/;-", line.GetAt(0))) {
            files.erase(0);
            continue;
        }
        if (!FileExists(line)) {
            FatalError(Format("Wrong texture\nin %s:\n%s", listFile ? listFile : "", (const char*)line), false);
            files.erase(0);
            continue;
        }
        STextureRegion region;
        result = combineImages(line, region, atlas, &grid, grid.Columns, grid.Rows);
        if (result == 0) {
            ++placed;
            regions.push_back(region);
        }
        if (result != 1)
            files.erase(0);
    }
    if (placed == 0) {
        if (result == 1)
            DebugLog(Format("Texture list %s: %s is larger than an atlas; it and the images after it load on their own",
                            listFile ? listFile : "", files[0].c_str()));
        return nullptr;
    }
    dumpAtlas(driver, atlas);
    return owned.release();
}
