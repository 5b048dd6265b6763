// The drag and frame value animators.
#include "aeffectsanimators_value.h"

#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "utils_debug.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>

#include <algorithm>
#include <cmath>

using namespace irr;

namespace {

constexpr f32 FadePer100Ms = 0.1f;
constexpr f32 FadedOut = 0.005f;

// A value the bar can show: NaN reads as 0, the rest is clamped to [0, 1].
f32 unitValue(f32 value)
{
    if (std::isnan(value))
        return 0.0f;
    return std::min(1.0f, std::max(0.0f, value));
}

scene::ICameraSceneNode* activeCamera()
{
    scene::ISceneManager* smgr = getSceneManager();
    return smgr ? smgr->getActiveCamera() : nullptr;
}

} // namespace

// --- CInputHelperAnimator ---

CInputHelperAnimator::CInputHelperAnimator(CNodeBasement* node, f32* target, s32 id, s32 extra)
    : Target(target), Extra(extra)
{
    if (!node)
        return;
    DragSerial = node->getCreationSerial();
    node->setID(id);
    if (CInputState* input = getInputState())
        input->addClickable(node, 0);
}

CInputHelperAnimator::~CInputHelperAnimator()
{
    // A node already gone has left the clickables on its own.
    CNodeBasement* node = CNodeBasement::findBySerial(DragSerial);
    CInputState* input = getInputState();
    if (node && input)
        input->removeClickable(node);
}

void CInputHelperAnimator::trackDrag(scene::ISceneNode* node)
{
    ENGINE_PROFILE("INPHLP");
    const s32 pressed = *CInputState::getPressedNodeId();
    if (!node || !Target || pressed == 0 || pressed != node->getID())
        return;
    const f32 width = node->getBoundingBox().getExtent().X;
    if (!(width > 0.0f))
        return;   // no width to measure across
    scene::ICameraSceneNode* camera = activeCamera();
    const core::vector3df c = camera ? camera->getAbsolutePosition() : core::vector3df(0, 0, 0);
    const core::vector3df n = node->getAbsolutePosition();
    const core::vector3df p = getScenePosAtScreen(n.Z - c.Z, nullptr) + c;
    const f32 left = n.X - width / 2;
    const f32 value = (p.X - left) / width;
    *Target = std::max(Margin, std::min(1.0f - Margin, value));
}

// --- CFrameFadeHelperAnimator ---

CFrameFadeHelperAnimator::CFrameFadeHelperAnimator(const f32* source, s32 holdMs) : Source(source), Hold(holdMs) {}

void CFrameFadeHelperAnimator::onAttach(CNodeBasement* node)
{
    Deadline = 0;
    Node = node;
    if (Hold != 0 && node)
        node->setInheritedAlpha(0);
}

// Moves the shown value toward the source; true when it changed.
bool CFrameFadeHelperAnimator::follow()
{
    if (!Source)
        return false;
    bool changed = false;
    if (Current == NotRead) {
        Current = std::isnan(*Source) ? 0.0f : *Source;
        changed = true;
    }
    const f32 target = unitValue(*Source);
    if (target != Current) {
        const f32 difference = target - Current;
        Current += std::fabs(difference) <= MaxChange ? difference : std::copysign(MaxChange, difference);
        changed = true;
    }
    return changed;
}

void CFrameFadeHelperAnimator::showColumn(CNodeBasement* node)
{
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    if (!sprite)
        return;
    const f32 columns = sprite->getFrameColumns();
    const f32 column = std::ceil((columns - 1) * Current);
    sprite->setFrame(column, sprite->getFrameRow(), columns, sprite->getFrameRows());
}

void CFrameFadeHelperAnimator::step(CNodeBasement* node, f32 delta, u32 localMs)
{
    if (!node)
        return;
    if (follow()) {
        showColumn(node);
        if (Hold != 0) {
            node->setInheritedAlpha(1);
            Deadline = localMs + u32(Hold);
        }
    }
    if (Deadline != 0 && localMs > Deadline) {
        f32 alpha = node->getInheritedAlpha() - FadePer100Ms * delta;
        if (alpha < FadedOut) {
            alpha = 0;
            Deadline = 0;
        }
        node->setInheritedAlpha(alpha);
    }
}
