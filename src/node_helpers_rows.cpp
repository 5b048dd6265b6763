// The animator and handler rows of sprite creation, in their fixed order, and
// the grids of texture animations.
#include "node_helpers.h"

#include "afadeanimators.h"
#include "asystemanimators.h"
#include "module_enginebase.h"
#include "node_base.h"
#include "node_helpers_desc.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_str_parse.h"

#include <cmath>
#include <cstring>

using namespace irr;

namespace {

// More cells than any texture could hold: a mistyped grid, not a picture.
constexpr u32 MaxGridCells = 65536;
constexpr f32 AnimationEpsilon = 0.0001f;
constexpr f32 ScrollEpsilon = 0.001f;

void runMaker(DescriptionRowMaker maker, const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo* info,
              const char* site)
{
    if (maker)
        maker(f, node, info, site);
}

CBaseAnimator* rootAttach(CBaseAnimator* animator)
{
    CNodeBasement* root = CNodeBasement::fromSceneNode(getEngine()->RootNode);
    if (!root) {
        DebugLog("No root node to carry a hide-if animator");
        animator->drop();
        return nullptr;
    }
    return attachAnimator(root, animator);
}

void hideRows(int step, const CNodeFactory& f, CNodeBasement* node, scene::ISceneNode* parent)
{
    if (step == 9 && !f.hideIf.IsEmpty())
        rootAttach(new CHideIfAnimator(node, f.hideIf, false));
    // An unnamed parent has no cached ID of its own: give it one so the animator finds it.
    if (step == 10 && f.hideParent != 0 && parent)
        attachParsedAnimator(&f, node, new CHideParentAnimator(ForceNodeToHaveID(parent), f.hideParent));
}

void textureAnimationRow(const CNodeFactory& f, CNodeBasement* node)
{
    f32 columns = 1, rows = 1;
    CFrameSequence* sequence = makeTextureAnimationGrid(f.textureAnimMode, columns, rows);
    createAtlasFrameAnimator(node, u32(f.textureAnimTime), columns, rows, sequence, 0);
}

void animationRows(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo* info, const char* site)
{
    const SDescriptionRowMakers& makers = GetDescriptionRowMakers();
    if (!f.timeline.IsEmpty())
        runMaker(makers.Timeline, f, node, info, site);
    if (f.moveTime != 0)
        runMaker(makers.Move, f, node, info, site);
    if (std::fabs(f.textureScroll[0]) > ScrollEpsilon || std::fabs(f.textureScroll[1]) > ScrollEpsilon)
        runMaker(makers.TextureScroller, f, node, info, site);
    if (f.pulsarTime != 0)
        runMaker(makers.AlphaPulsar, f, node, info, site);
    if (f.generatorTime != 0)
        runMaker(makers.Generator, f, node, info, site);
    if (f.rotationAnimT > AnimationEpsilon || std::fabs(f.rotationAnimS) > AnimationEpsilon)
        runMaker(makers.Rotation, f, node, info, site);
    if (f.sizeAnimT > AnimationEpsilon || std::fabs(f.sizeAnimS) > AnimationEpsilon)
        runMaker(makers.Size, f, node, info, site);
    if (!f.flashMovie.IsEmpty())
        runMaker(makers.Flash, f, node, info, site);
    if (f.textureAnimTime != 0)
        textureAnimationRow(f, node);
}

void handlerRows(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo* info, const char* site)
{
    const SDescriptionRowMakers& makers = GetDescriptionRowMakers();
    if (!f.overImage.IsEmpty() || !f.overSound.IsEmpty() || !f.mouseOutAction.IsEmpty() ||
        !f.mouseInAction.IsEmpty())
        runMaker(makers.MouseOver, f, node, info, site);
    if (!f.tooltip.IsEmpty())
        runMaker(makers.Tooltip, f, node, info, site);
    if (!f.clickAction.IsEmpty() || !f.rightClickAction.IsEmpty() || !f.dragBeginAction.IsEmpty())
        runMaker(makers.Click, f, node, info, site);
    if (f.clickBlock != 0)
        runMaker(makers.ClickBlock, f, node, info, site);
}

void soundRows(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo* info, const char* site)
{
    if (info && info->noSounds)
        return;
    if (!f.soundOnCreate.IsEmpty())
        getEngine()->getSoundServer()->playEffect(f.soundOnCreate, -1.0f);
    if (!f.sound.IsEmpty())
        runMaker(GetDescriptionRowMakers().SoundLoop, f, node, info, site);
}

void scriptRows(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo* info, const char* site)
{
    const SDescriptionRowMakers& makers = GetDescriptionRowMakers();
    if (!f.scriptMethod.IsEmpty())
        runMaker(makers.ScriptMethod, f, node, info, site);
    if (!f.actionOnCreate.IsEmpty())
        runMaker(makers.CreateAction, f, node, info, site);
    // Also retimes what the node carried before this description.
    if (f.baseTimer != 0)
        node->setAnimatorsTimer(f.baseTimer);
}

// Cells of row (1-based) or of every row, column by column.
CFrameSequence* gridSequence(u32 columns, u32 rowCount, u32 onlyRow)
{
    CFrameSequence* sequence = new CFrameSequence;
    if (columns == 0)
        return sequence;
    if (onlyRow != 0) {
        sequence->addRowRun(0, s32(columns) - 1, s32(onlyRow) - 1);
        return sequence;
    }
    for (u32 row = 0; row < rowCount; ++row)
        sequence->addRowRun(0, s32(columns) - 1, s32(row));
    return sequence;
}

} // namespace

SDescriptionRowMakers& GetDescriptionRowMakers()
{
    static SDescriptionRowMakers makers;
    return makers;
}

CFrameSequence* makeTextureAnimationGrid(const char* mode, f32& columns, f32& rows)
{
    const char* m = mode ? mode : "";
    if (std::strcmp(m, "8x1") == 0) {
        columns = 8, rows = 1;
        return getPresetGrid8x1();
    }
    if (std::strcmp(m, "8x2") == 0) {
        columns = 8, rows = 2;
        return getPresetGrid8x2();
    }
    if (std::strcmp(m, "16x1") == 0) {
        columns = 16, rows = 1;
        return getPresetGrid16x1();
    }
    const int leading = StrToInt(m);
    const u32 n = leading > 0 ? u32(leading) : 0u;
    const bool oneRow = std::strchr(m, '-') != nullptr;
    const u32 rowNumber = oneRow ? readUIntComponent(m, '-', 0) : 0u;
    const u32 mRows = oneRow ? readUIntComponent(m, '/', 0) : readUIntComponent(m, 'x', 0);
    const u64 cells = oneRow ? u64(n) : u64(n) * u64(mRows);
    if (cells == 0 || cells > MaxGridCells || (oneRow && (rowNumber == 0 || rowNumber > MaxGridCells))) {
        DebugLog(Format("Texture animation grid '%s' has no usable cells", m));
        return nullptr;
    }
    columns = f32(n);
    rows = f32(mRows);
    return gridSequence(n, mRows, rowNumber);
}

void applyDescriptionRows(int step, const CNodeFactory& f, CNodeBasement* node, scene::ISceneNode* parent,
                          const SSpriteCreateInfo* info, const char* site)
{
    const SDescriptionRowMakers& makers = GetDescriptionRowMakers();
    switch (step) {
    case 9:
    case 10:
        hideRows(step, f, node, parent);
        break;
    case 18:
        if (f.selfDestructTime != 0)
            attachParsedAnimator(&f, node, new CSelfDestroyAnimator(u32(f.selfDestructTime), u32(f.selfDestructFade)));
        break;
    case 19:
        if (!f.animationOnCreate.IsEmpty())
            spawnDestroyAnimation(node, f.animationOnCreate, true);
        if (!f.animationOnDestroy.IsEmpty())
            spawnDestroyAnimation(node, f.animationOnDestroy, false);
        break;
    case 20:
        if (f.hasAnimations)
            animationRows(f, node, info, site);
        break;
    case 21:
        if (!f.label.IsEmpty())
            runMaker(makers.Label, f, node, info, site);
        break;
    case 22:
        if (!f.slider.IsEmpty())
            runMaker(makers.Slider, f, node, info, site);
        break;
    case 23:
        handlerRows(f, node, info, site);
        break;
    case 24:
        soundRows(f, node, info, site);
        break;
    case 26:
        scriptRows(f, node, info, site);
        break;
    default:
        break;
    }
}
