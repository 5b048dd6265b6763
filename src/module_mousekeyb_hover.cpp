// The mouse-over and auto-disable animators.
#include "module_mousekeyb_animators.h"

#include "afadeanimators.h"
#include "asystemanimators.h"
#include "clock.h"
#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "utils_debug.h"

#include <ISceneNode.h>

using namespace irr;

namespace {

constexpr int HoverFreezePause = 60;

s32 parentIdOf(scene::ISceneNode* node)
{
    return node && node->getParent() ? node->getParent()->getID() : 0;
}

} // namespace

// --- COnMouseOverAnimator ---

COnMouseOverAnimator::COnMouseOverAnimator(const char* overImage, const char* overSound)
    : OverImage(overImage), OverSound(overSound)
{
    setName(UniqueName);
    setPassive();
    CheckMainThread();
    getInputState()->getHoverAnimators().Add(this);
}

COnMouseOverAnimator::~COnMouseOverAnimator()
{
    finish();   // the base cannot reach onFinish any more
}

void COnMouseOverAnimator::setScripts(const char* inScript, const char* outScript)
{
    InScript = inScript;
    OutScript = outScript;
}

void COnMouseOverAnimator::onAttach(CNodeBasement* node)
{
    Node = node;
    ForceNodeToHaveID(node);
    getInputState()->addClickable(node, 0);
}

void COnMouseOverAnimator::animate(CNodeBasement*, u32)
{
    processMouseOver();
}

int COnMouseOverAnimator::setAction(const char* name, int value)
{
    if (!name)
        return 0;
    const CString command(name);
    if (command == "act") {
        processMouseOver();
    } else if (command == "block") {
        BlockUntil = value;
        processMouseOver();
    }
    return 0;
}

void COnMouseOverAnimator::onFinish()
{
    CheckMainThread();
    CArray<CBaseAnimator*>& hover = getInputState()->getHoverAnimators();
    for (int i = 0; i < hover.GetSize(); ++i) {
        if (hover[i] == this) {
            hover.RemoveAt(i);
            break;
        }
    }
    if (!OverNode)
        return;
    if (Node)
        getInputState()->removeClickable(Node);
    if (OverIsImage) {
        deleteNode(OverNode);
        OverNode->drop();
    }
    OverNode = nullptr;
}

void COnMouseOverAnimator::runScript(const CString& script, bool isOver)
{
    if (script.IsEmpty() || !SquirrelVM::IsOpen())
        return;
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_isover", isOver);
    table.SetValue("_id", SQInteger(Node->getID()));
    table.SetValue("_parentid", SQInteger(parentIdOf(Node)));
    getEngine()->getScripts()->callPrecompiledMethod(script, table, nullptr);
}

void COnMouseOverAnimator::processMouseOver()
{
    ENGINE_PROFILE("ONOVRAN");
    if (!Node || getEngine()->getPauseLevel() >= HoverFreezePause)
        return;
    const bool blocked = Disabled != 0 || u32(BlockUntil) > platform::GetTickCount();
    if (!blocked && *CInputState::getHoveredNodeId() == Node->getID() && getInputState()->checkModality(Node)) {
        if (OverNode)
            return;
        CNodeBasement* image = nullptr;
        if (!OverImage.IsEmpty()) {
            const core::dimension2df size = Node->getSize();
            image = addSprite(OverImage, size.Width, size.Height, core::vector3df(0, 0, 0), Node, nullptr,
                              SPRITE_SITE);
        }
        if (image) {
            image->grab();   // it may go with its parent before the hover ends
            createAlphaAnimator(image, 300, 0.0f, 1.0f, 0);
            OverNode = image;
            OverIsImage = true;
        } else {
            OverNode = getNodeById(RootNodeId, nullptr);
            OverIsImage = false;
        }
        if (!OverSound.IsEmpty())
            getEngine()->getSoundServer()->playEffect(OverSound, -1.0f);
        runScript(InScript, true);
    } else if (OverNode) {
        endHover(blocked);
    }
}

void COnMouseOverAnimator::endHover(bool blocked)
{
    if (OverIsImage) {
        if (blocked || !OverNode->getParent())
            deleteNode(OverNode);
        else
            attachAnimator(CNodeBasement::fromSceneNode(OverNode), new CSelfDestroyAnimator(300, 300));
        OverNode->drop();
    }
    OverNode = nullptr;
    OverIsImage = false;
    runScript(OutScript, false);
}

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
    if (auto* hover = dynamic_cast<COnMouseOverAnimator*>(node->findAnimatorByName(COnMouseOverAnimator::UniqueName, false)))
        hover->setDisabled(Disabled);
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
