// The sprite cache, create-info records, frame sequences and preset grids,
// and the engine's macro host.
#include "node_factory.h"

#include "module_enginebase.h"
#include "module_userprofile.h"
#include "node_factory_macros.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_str_tools.h"

#include <irrMap.h>

using namespace irr;

namespace {

constexpr int LoggedNameLength = 100;
constexpr int DefaultScreenWidth = 800;
constexpr int DefaultScreenHeight = 600;

using SpriteCache = core::map<core::stringc, CNodeFactory*>;

// The cache owns one reference of every factory in it, dropped at exit.
struct SCacheHolder {
    SpriteCache Map;
    SCacheHolder() = default;
    ~SCacheHolder()
    {
        for (SpriteCache::Iterator it = Map.getIterator(); !it.atEnd(); it++)
            it->getValue()->drop();
    }
    SCacheHolder(const SCacheHolder&) = delete;
    SCacheHolder& operator=(const SCacheHolder&) = delete;
};

SpriteCache& spriteCache()
{
    static SCacheHolder cache;
    return cache.Map;
}

// The three preset grids, made on first use and dropped at exit.
struct SPresetGrids {
    CFrameSequence* Grid8x1 = nullptr;
    CFrameSequence* Grid8x2 = nullptr;
    CFrameSequence* Grid16x1 = nullptr;
    SPresetGrids()
    {
        Grid8x1 = new CFrameSequence;
        Grid8x1->addRowRun(0, 7, 0);
        Grid8x2 = new CFrameSequence;
        Grid8x2->addRowRun(0, 7, 0);
        Grid8x2->addRowRun(0, 7, 1);
        Grid16x1 = new CFrameSequence;
        Grid16x1->addRowRun(0, 15, 0);
    }
    ~SPresetGrids()
    {
        Grid8x1->drop();
        Grid8x2->drop();
        Grid16x1->drop();
    }
    SPresetGrids(const SPresetGrids&) = delete;
    SPresetGrids& operator=(const SPresetGrids&) = delete;
};

SPresetGrids& presetGrids()
{
    static SPresetGrids grids;
    return grids;
}

CFrameSequence* grabbed(CFrameSequence* sequence)
{
    sequence->grab();
    return sequence;
}

// The manifest's macros, then the client's with the create-info record.
class CEngineMacroHost : public IDescriptionMacroHost {
public:
    void expandEngineMacros(CString& text, const CStringArray* params, const SSpriteCreateInfo* context) override
    {
        GetEngineContext().expandMacros(text);
        if (CEngineClient* client = getEngine()->getClient())
            client->expandMacros(text, params, context);
    }
    int getScreenWidth() override
    {
        CUserProfile* profile = getEngine()->CurrentProfile;
        return profile && profile->XResolution > 0 ? profile->XResolution : DefaultScreenWidth;
    }
    int getScreenHeight() override
    {
        CUserProfile* profile = getEngine()->CurrentProfile;
        return profile && profile->YResolution > 0 ? profile->YResolution : DefaultScreenHeight;
    }
};

CEngineMacroHost g_engineMacroHost;

} // namespace

// --- SSpriteCreateInfo ---

SSpriteCreateInfo::SSpriteCreateInfo(const SSpriteCreateInfo* other)
{
    if (other)
        *this = *other;
    else
        reset();
}

void SSpriteCreateInfo::reset()
{
    partsAsChildren = noParts = cloneId = nodeId = noSounds = noCache = 0;
    ownerPath.Empty();
    partIndex = isPart = 0;
    partName.Empty();
    replaceText.Empty();
}

// --- frame sequences ---

void CFrameSequence::addRowRun(s32 first, s32 last, s32 row)
{
    for (s32 column = first; column <= last; ++column)
        Cells.push_back(SFrameCell{column, row});
}

CFrameSequence* getPresetGrid8x1() { return grabbed(presetGrids().Grid8x1); }
CFrameSequence* getPresetGrid8x2() { return grabbed(presetGrids().Grid8x2); }
CFrameSequence* getPresetGrid16x1() { return grabbed(presetGrids().Grid16x1); }

// --- the cache ---

CNodeFactory* getSpriteDescription(const char* name, const char* text, const CStringArray* params,
                                   const SSpriteCreateInfo* info)
{
    ENGINE_PROFILE("ADDSPR-CREATINGDSC");
    const core::stringc key(name ? name : "");
    SpriteCache& cache = spriteCache();
    if (SpriteCache::Node* hit = cache.find(key)) {
        hit->getValue()->grab();
        return hit->getValue();
    }
    CEngineClient* client = getEngine()->getClient();
    CNodeFactory* factory = client ? client->createNodeFactory() : nullptr;
    if (!factory)
        factory = new CNodeFactory;
    factory->reset(key.c_str());
    factory->parseSpriteDescription(text, params, info);
    const bool cacheable = !factory->asMutable && !(info && info->noCache);
    if (cacheable) {
        if (SpriteCache::Node* old = cache.find(key))
            old->getValue()->drop();
        factory->grab();
        cache.set(key, factory);
        DebugLog(Format("Adding to sprite cache '%s'", (const char*)CString(key.c_str()).Left(LoggedNameLength)),
                 __FILE__, __LINE__);
    }
    return factory;
}

void clearSpriteCache()
{
    SpriteCache& cache = spriteCache();
    for (SpriteCache::Iterator it = cache.getIterator(); !it.atEnd(); it++)
        it->getValue()->drop();
    cache.clear();
}

int getSpriteCacheSize()
{
    return int(spriteCache().size());
}

bool loadSpriteText(const char* path, CString& text)
{
    CString contents;
    ReadTextFile(path, contents);
    text = "\n" + contents + "\n";
    return true;
}

bool splitSpriteNameAndParams(CString& name, CStringArray* params)
{
    if (name.IsEmpty())
        return false;
    const int question = name.Find('?');
    if (question < 0)
        return true;
    if (params) {
        params->RemoveAll();
        core::array<core::stringc> items = SplitString(name.Mid(question + 1), '&', false);
        for (u32 i = 0; i < items.size(); ++i)
            params->Add(items[i].c_str());
    }
    name = name.Left(question);
    return true;
}

void appendSpriteParam(CString& name, const char* paramName, const char* value)
{
    name += name.Find('?') >= 0 ? "&" : "?";
    name += paramName ? paramName : "";
    name += "=";
    name += value ? value : "";
}

void InstallEngineMacroHost()
{
    SetDescriptionMacroHost(&g_engineMacroHost);
}

void UninstallEngineMacroHost()
{
    IDescriptionMacroHost* previous = SetDescriptionMacroHost(nullptr);
    if (previous != &g_engineMacroHost)
        SetDescriptionMacroHost(previous);   // someone else's host stays
}
