// Sprite parts and clones: further nodes of one description, each made by a
// nested sprite creation.
#include "node_helpers_parts.h"

#include "node_base.h"
#include "node_helpers.h"
#include "node_helpers_desc.h"
#include "utils_debug.h"

using namespace irr;

namespace {

// 8000 clones take about 12 MB (the memory of the longest sound effect) and
// well under a tenth of a second, and are more than a screen shows apart. A
// larger count is a slip or damage that would fill the memory while nothing
// is drawn. The bound holds for all the clones one sprite leads to: a clone
// makes its parts, and each of them its own clones.
constexpr int MaxClones = 8000;
int g_cloning = 0;      // clone loops under way
int g_clonesMade = 0;   // asked for by the outermost one and those inside it

struct SCloningScope {
    SCloningScope() { ++g_cloning; }
    ~SCloningScope() { --g_cloning; }
    SCloningScope(const SCloningScope&) = delete;
    SCloningScope& operator=(const SCloningScope&) = delete;
};

// "-AsChild:" in the part's own text decides; without it the caller's record does.
bool isChildPart(const SSpriteCreateInfo& part, const SSpriteCreateInfo* createInfo)
{
    if (part.replaceText.Find("-AsChild:") >= 0) {
        CString value;
        getKeyValue(part.replaceText, "-AsChild:", value);
        value.TrimLeft();
        value.TrimRight();
        return readIntComponent(value, 0, 0) != 0;
    }
    return createInfo && createInfo->partsAsChildren != 0;
}

void makeParts(const CNodeFactory& description, CNodeBasement* node, f32 scaleX, f32 scaleY,
               const core::vector3df& position, const core::dimension2df& workingSize, scene::ISceneNode* parent,
               const SSpriteCreateInfo* createInfo)
{
    for (const SSpriteCreateInfo& part : description.parts) {
        if (isChildPart(part, createInfo)) {
            addSprite(part.partName, workingSize.Width, workingSize.Height, core::vector3df(0, 0, 0), node, &part,
                      SPRITE_SITE);
        } else {
            addSprite(part.partName, scaleX, scaleY, position, parent, &part, SPRITE_SITE);
        }
    }
}

void makeClones(int count, const char* name, f32 scaleX, f32 scaleY, const core::vector3df& position,
                scene::ISceneNode* parent, const SSpriteCreateInfo* createInfo)
{
    SSpriteCreateInfo record(createInfo);
    // A part's name is no file: its clones must read the part's own text again.
    if (!record.isPart)
        record.replaceText.Empty();
    for (int i = 1; i <= count; ++i) {
        record.cloneId = uint32_t(i);
        if (CNodeBasement* clone = addSprite(name, scaleX, scaleY, position, parent, &record, nullptr))
            clone->setAttributeInt("__CloneId", i);
    }
}

} // namespace

void makeSpritePartsAndClones(const CNodeFactory& description, CNodeBasement* node, const char* name, f32 scaleX,
                              f32 scaleY, const core::vector3df& position, const core::dimension2df& workingSize,
                              scene::ISceneNode* parent, const SSpriteCreateInfo* createInfo)
{
    if (!node)
        return;
    if (!description.parts.empty() && !(createInfo && createInfo->noParts))
        makeParts(description, node, scaleX, scaleY, position, workingSize, parent, createInfo);
    if (description.makeClones <= 0 || (createInfo && createInfo->cloneId))
        return;
    const int count = description.makeClones;
    if (g_cloning == 0)
        g_clonesMade = 0;
    if (count > MaxClones - g_clonesMade) {
        const CString before = g_clonesMade > 0 ? Format(" after %i others of one sprite", g_clonesMade) : "";
        FatalError(Format("Too many clones (-MakeClones: %i%s, at most %i) for %s", count, (const char*)before,
                          MaxClones, (const char*)DescribeSprite(description.descriptionName, description.name)),
                   false);
        return;
    }
    g_clonesMade += count;
    SCloningScope cloning;
    makeClones(count, name, scaleX, scaleY, position, parent, createInfo);
}
