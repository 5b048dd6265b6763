// Particle-group budgets and pixel tests.
#include "rendering_stuff_particles.h"

#include "node_helpers_desc.h"
#include "node_sprite.h"
#include "utils_debug.h"
#include "utils_math_misc.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <ISceneNode.h>
#include <ITexture.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace irr;

namespace {

constexpr int MaxSamples = 4096;   // a tiny step must not make a click test hang

std::map<std::string, SParticleGroupBudget>& budgets()
{
    static std::map<std::string, SParticleGroupBudget> map;
    return map;
}

struct SPixelCopy {
    u32 Width = 0;
    u32 Height = 0;
    std::vector<u32> Pixels;
};

std::map<const video::ITexture*, SPixelCopy>& pixelCache()
{
    static std::map<const video::ITexture*, SPixelCopy> cache;
    return cache;
}

// Names compare without surrounding blanks, however a description wrote them.
std::string groupName(const char* name)
{
    if (!name)
        return std::string();
    CString text(name);
    text.TrimLeft();
    text.TrimRight();
    return std::string((const char*)text);
}

CString keyValue(const char* section, const char* key)
{
    CString value;
    getKeyValue(section, key, value);
    value.TrimLeft();
    value.TrimRight();
    return value;
}

// The texture-coordinate box a pixel test maps (u, v) into.
void pickBox(scene::ISceneNode* node, f32& uL, f32& uR, f32& vT, f32& vB)
{
    uL = vT = 0;
    uR = vB = 1;
    if (auto* sprite = dynamic_cast<CSpriteNode*>(node))
        sprite->getCellUVBox(uL, uR, vT, vB);
}

} // namespace

// --- budgets ---

int loadParticleGroups(const char* text)
{
    core::array<core::stringc> sections = SplitSections(text, "[ParticleGroup]");
    if (sections.empty())
        return 0;
    for (u32 i = 0; i < sections.size(); ++i) {
        const CString section = CString(sections[i].c_str()) + "\n";
        const std::string name = groupName(keyValue(section, "-Name:"));
        if (name.empty()) {
            FatalError("Bad particle group name!", false);
            continue;
        }
        SParticleGroupBudget budget;
        const CString full = keyValue(section, "-100%:");
        const CString half = keyValue(section, "-50%:");
        if (!full.IsEmpty())
            budget.FullLimit = StrToInt(full);
        if (!half.IsEmpty())
            budget.HalfLimit = StrToInt(half);
        budgets()[name] = budget;
    }
    return 1;
}

int addParticleGroupUse(const char* name)
{
    const std::string key = groupName(name);
    if (!key.empty())
        ++budgets()[key].LiveCount;
    return 1;
}

// Redeclaring a group restarts its count, so releases of older members stop at 0.
int releaseParticleGroupUse(const char* name)
{
    const std::string key = groupName(name);
    if (key.empty())
        return 1;
    SParticleGroupBudget& budget = budgets()[key];
    if (budget.LiveCount > 0)
        --budget.LiveCount;
    return 1;
}

bool canSpawnParticleGroup(const char* name)
{
    const std::string key = groupName(name);
    if (key.empty())
        return true;
    const SParticleGroupBudget& budget = budgets()[key];
    if (budget.LiveCount <= budget.FullLimit)
        return true;
    if (budget.LiveCount <= budget.HalfLimit)
        return RandomInt(0, 100) >= 51;
    return false;
}

const SParticleGroupBudget* findParticleGroup(const char* name)
{
    auto it = budgets().find(groupName(name));
    return it == budgets().end() ? nullptr : &it->second;
}

void clearParticleGroups()
{
    budgets().clear();
}

// --- pixel tests ---

const u32* getTexturePixels(video::ITexture* texture)
{
    if (!texture)
        return nullptr;
    CheckMainThread();
    auto found = pixelCache().find(texture);
    if (found != pixelCache().end())
        return found->second.Pixels.data();
    if (texture->getColorFormat() != video::ECF_A8R8G8B8)
        return nullptr;
    const core::dimension2du size = texture->getSize();
    const u8* data = static_cast<const u8*>(texture->lock(video::ETLM_READ_ONLY));
    if (!data)
        return nullptr;
    SPixelCopy copy;
    copy.Width = size.Width;
    copy.Height = size.Height;
    copy.Pixels.resize(size_t(size.Width) * size.Height);
    const u32 pitch = texture->getPitch() ? texture->getPitch() : size.Width * 4;
    for (u32 y = 0; y < size.Height; ++y)
        std::memcpy(&copy.Pixels[size_t(y) * size.Width], data + size_t(y) * pitch, size_t(size.Width) * 4);
    texture->unlock();
    return pixelCache().emplace(texture, std::move(copy)).first->second.Pixels.data();
}

void clearTexturePixelCache()
{
    CheckMainThread();
    pixelCache().clear();
}

void forgetTexturePixels(video::ITexture* texture)
{
    pixelCache().erase(texture);
}

int getTexturePixelCacheSize()
{
    return int(pixelCache().size());
}

u32 getNodePixelAt(scene::ISceneNode* node, f32 u, f32 v)
{
    if (!node || node->getMaterialCount() == 0)
        return 0;
    video::ITexture* texture = node->getMaterial(0).getTexture(0);
    if (!texture || !(u >= 0 && u <= 1 && v >= 0 && v <= 1))
        return 0;
    const u32* pixels = getTexturePixels(texture);
    if (!pixels)
        return 0;
    const SPixelCopy& copy = pixelCache().find(texture)->second;
    f32 uL, uR, vT, vB;
    pickBox(node, uL, uR, vT, vB);
    const f32 tu = uL + (uR - uL) * u;
    const f32 tv = vB - (vB - vT) * v;   // v counts from the bottom of the picture
    const f32 column = f32(copy.Width) * tu;
    const f32 row = f32(copy.Height) * tv;
    if (!(column >= 0 && row >= 0 && column < f32(copy.Width) && row < f32(copy.Height)))
        return 0;
    return pixels[size_t(row) * copy.Width + size_t(column)];
}

bool isTransparentAround(scene::ISceneNode* node, const core::vector2df& point, f32 radius, f32 step)
{
    int samples = 0;
    for (f32 dx = -radius; dx <= radius; dx += step) {
        for (f32 dy = -radius; dy <= radius; dy += step) {
            if ((getNodePixelAt(node, point.X + dx, point.Y + dy) >> 24) > 127)
                return false;
            if (step < 0.00001f || ++samples >= MaxSamples)
                return true;
        }
    }
    return true;
}
