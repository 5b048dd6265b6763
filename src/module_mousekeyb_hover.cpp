// The auto-disable animator.
#include "module_mousekeyb_animators.h"

#include "afadeanimators.h"
#include "asystemanimators.h"
#include "module_enginebase.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "utils_debug.h"

#include <ISceneNode.h>

using namespace irr;

CAutoDisableAnimator::CAutoDisableAnimator(const char* condition, const char* disabledImage)
    : Condition(condition), DisabledImage(disabledImage)
{
}

CAutoDisableAnimator::~CAutoDisableAnimator()
{
    if (ImageNode) {
        deleteNode(ImageNode);
        ImageNode->drop();
    }
}

void CAutoDisableAnimator::onAttach(CNodeBasement* node)
{
    Node = node;
    setDiscretion(PollMs);
    setName(UniqueName);
}

void CAutoDisableAnimator::animate(CNodeBasement* node, u32)
{
    ENGINE_PROFILE("ONDISBT");
    SquirrelObject result = getEngine()->getScripts()->callPrecompiledMethod(Condition, SquirrelObject(), nullptr);
    const SQInteger value = result.GetType() == OT_BOOL ? (result.ToBool() ? 1 : 0) : result.ToInteger();
    Disabled = value == 0 ? 1 : 0;
    if (Disabled && !ImageNode && !DisabledImage.IsEmpty()) {
        // An empty image text would ask for a sprite of an empty description.
        const core::dimension2df size = node->getSize();
        ImageNode = addSprite(DisabledImage, size.Width, size.Height, core::vector3df(0, 0, 0), node, nullptr,
                              SPRITE_SITE);
        if (ImageNode) {
            ImageNode->grab();   // it may go with its parent before this animator
            createAlphaAnimator(ImageNode, 300, 0.0f, 1.0f, 0);
        }
    } else if (!Disabled && ImageNode) {
        if (ImageNode->getParent())
            attachAnimator(ImageNode, new CSelfDestroyAnimator(300, 300));
        ImageNode->drop();
        ImageNode = nullptr;
    }
}
