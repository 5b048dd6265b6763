// Natives that find, show, fade, move, re-parent, rename, delete and inspect
// scene nodes, and read and write their texts, atlas cells and attributes.
#include "module_scripting_funcs.h"

#include "afadeanimators.h"
#include "asystemanimators.h"
#include "module_enginebase.h"
#include "module_mousekeyb_animators.h"
#include "module_scripting_nodetable.h"
#include "module_scripting_report.h"
#include "node_base.h"
#include "node_sprite.h"
#include "node_text.h"
#include "node_utilities.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"

#include <ICameraSceneNode.h>
#include <ISceneManager.h>
#include <ISceneNode.h>

using namespace irr;

namespace {

constexpr s32 LowestSubnodeId = 8002;

scene::ISceneNode* nodeArg(const StackHandler& sa, SQInteger index)
{
    return getNodeFromScriptParam(sa, index);
}

// A bool, or a number that is not 0.
bool truthArg(const StackHandler& sa, SQInteger index)
{
    switch (sa.GetType(index)) {
    case OT_BOOL: return sa.GetBool(index);
    case OT_INTEGER: return sa.GetInt(index) != 0;
    case OT_FLOAT: return sa.GetFloat(index) != 0;
    default: return false;
    }
}

// Truncated toward zero; values beyond the integer range stop at its ends.
SQInteger truncToInteger(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return 2147483647;
    if (value <= -2147483648.0)
        return -2147483647 - 1;
    return SQInteger(value);
}

SquirrelObject argObject(SQInteger index)
{
    SquirrelObject value;
    value.AttachToStackObject(index);
    return value;
}

// The camera and the root are held by the engine's own slots: removing or
// moving them would leave those slots pointing at freed nodes.
bool isEngineSlotNode(const scene::ISceneNode* node)
{
    const CEngineBase* engine = getEngine();
    return node == engine->RootNode || node == engine->Camera;
}

SQInteger IsNodeExist(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(nodeArg(sa, 2) != nullptr);
}

SQInteger IsNodeEnabled(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = nodeArg(sa, 2);
    return sa.Return(node != nullptr && isNodeTrulyVisible(node));
}

SQInteger EnableNode(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = nodeArg(sa, 2);
    if (!node)
        return sa.Return(false);
    node->setVisible(truthArg(sa, 3));
    return sa.Return(true);
}

SQInteger ShowSprite(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    if (sa.GetType(2) != OT_STRING)
        return sa.Return(false);
    CNodeBasement* node = CNodeBasement::fromSceneNode(getNodeByName(sa.GetString(2)));
    if (!node)
        return sa.Return(false);
    node->setHideCount(truthArg(sa, 3) ? 0 : 1);
    return sa.Return(true);
}

SQInteger FadeSprite(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    f32 from = -1.0f, to = 0.0f;
    s32 timeMs = 0;
    int mode = 1;
    if (sa.GetParamCount() > 2) {
        from = sa.GetFloat(3);
        to = sa.GetFloat(4);
        timeMs = s32(sa.GetInt(5));
        mode = int(sa.GetInt(6));
    }
    CNodeBasement* node = CNodeBasement::fromSceneNode(nodeArg(sa, 2));
    if (!node || isEngineSlotNode(node))
        return sa.Return(false);
    if (timeMs == 0 && mode == 1) {
        deleteNode(node);
        return sa.Return(true);
    }
    createFadeAnimator(node, timeMs, from, to, 0);
    if (mode != 0)
        attachAnimator(node, new CSelfDestroyAnimator(u32(timeMs < 0 ? 0 : timeMs), 0));
    return sa.Return(true);
}

SQInteger DeleteNode(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CNodeBasement* node = CNodeBasement::fromSceneNode(nodeArg(sa, 2));
    if (!node || isEngineSlotNode(node))
        return sa.Return(false);
    deleteNode(node);
    return sa.Return(true);
}

// By name: the node named name + "_text"; by any other reference: the
// node's first text child.
CTextNode* textNodeArg(const StackHandler& sa, SQInteger index)
{
    if (sa.GetType(index) == OT_STRING)
        return findTextNode(sa.GetString(index));
    scene::ISceneNode* node = nodeArg(sa, index);
    return node ? getTextNodeOf(node) : nullptr;
}

SQInteger SetNodeText(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CTextNode* text = textNodeArg(sa, 2);
    if (!text)
        return sa.Return(false);
    const char* value = sa.GetString(3);
    text->setText(value ? value : "");
    return sa.Return(true);
}

SQInteger GetNodeText(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CTextNode* text = textNodeArg(sa, 2);
    return sa.Return(text ? (const char*)text->getText() : "");
}

SQInteger GetNode(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = nodeArg(sa, 2);
    if (!node)
        return 0;
    return sa.Return(exportWithIds(node));
}

SQInteger SetNode(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = nodeArg(sa, 2);
    if (!node || sa.GetType(3) != OT_TABLE)
        return sa.Return(false);
    importNodeFromTable(SNodeTableFlags(), node, argObject(3));
    return sa.Return(true);
}

SQInteger GetNodeSubnode(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = nodeArg(sa, 2);
    if (!node)
        return 0;
    const s32 localId = s32(sa.GetInt(3));
    if (localId < LowestSubnodeId)
        ShowScriptAssert("src\\module_scripting_core", __LINE__, "Wrong subnode localid!");
    // Searched directly: the registry's local lookup stops the program for low IDs.
    scene::ISceneNode* found = node->getSceneManager()->getSceneNodeFromId(localId, node);
    if (!found)
        return 0;
    return sa.Return(exportWithIds(found));
}

SQInteger SetNodePosition(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = nodeArg(sa, 2);
    if (!node)
        return sa.Return(false);
    node->setPosition(core::vector3df(sa.GetFloat(3), sa.GetFloat(4), sa.GetFloat(5)));
    return sa.Return(true);
}

SQInteger SetNodeName(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CNodeBasement* node = CNodeBasement::fromSceneNode(nodeArg(sa, 2));
    const char* name = sa.GetString(3);
    if (!node || !name || !*name || isEngineSlotNode(node))
        return sa.Return(false);
    node->setIDFromName(name);
    return sa.Return(true);
}

SQInteger GetNodeAtlas(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(nodeArg(sa, 2));
    if (!sprite)
        return 0;
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_x", SQFloat(sprite->getFrameColumn()));
    table.SetValue("_y", SQFloat(sprite->getFrameRow()));
    table.SetValue("_sizex", SQFloat(sprite->getFrameColumns()));
    table.SetValue("_sizey", SQFloat(sprite->getFrameRows()));
    return sa.Return(table);
}

SQInteger SetNodeAtlas(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(nodeArg(sa, 2));
    if (!sprite || sa.GetType(3) != OT_TABLE)
        return sa.Return(false);
    SquirrelObject cell = argObject(3);
    sprite->setFrame(cell.GetFloat("_x"), cell.GetFloat("_y"), cell.GetFloat("_sizex"), cell.GetFloat("_sizey"));
    return sa.Return(true);
}

// A found attribute: its type code and value.
struct SFoundAttribute {
    int Type = CCustomAttribs::TypeAbsent;
    CString Text;
    int Int = 0;
    float Float = 0;
};

// The named node's attributes and the name asked for; null when either is missing.
const CCustomAttribs* attributesArg(const StackHandler& sa, const char*& name)
{
    CNodeBasement* node = CNodeBasement::fromSceneNode(nodeArg(sa, 2));
    name = sa.GetString(3);
    return node && name && node->hasAttributes() ? node->getAttributes() : nullptr;
}

SFoundAttribute findAttribute(const StackHandler& sa)
{
    SFoundAttribute found;
    const char* name = nullptr;
    if (const CCustomAttribs* attributes = attributesArg(sa, name))
        found.Type = attributes->lookup(name, &found.Text, &found.Int, &found.Float);
    return found;
}

// Not found: the default argument unchanged, or the fallback without one.
template <typename T>
SQInteger returnDefault(StackHandler& sa, T fallback)
{
    if (sa.GetParamCount() >= 4)
        return sa.Return(argObject(4));
    return sa.Return(fallback);
}

SQInteger GetNodeAttribute(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const SFoundAttribute found = findAttribute(sa);
    switch (found.Type) {
    case CCustomAttribs::TypeString: return sa.Return((const char*)found.Text);
    case CCustomAttribs::TypeInt: return sa.Return(SQInteger(found.Int));
    case CCustomAttribs::TypeFloat: return sa.Return(SQFloat(found.Float));
    default: return sa.GetParamCount() >= 4 ? sa.Return(argObject(4)) : 0;
    }
}

SQInteger GetNodeAttributeN(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const SFoundAttribute found = findAttribute(sa);
    switch (found.Type) {
    case CCustomAttribs::TypeString: return sa.Return(SQInteger(StrToInt(found.Text)));
    case CCustomAttribs::TypeInt: return sa.Return(SQInteger(found.Int));
    case CCustomAttribs::TypeFloat: return sa.Return(truncToInteger(found.Float));
    default: return returnDefault(sa, SQInteger(0));
    }
}

SQInteger GetNodeAttributeF(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const SFoundAttribute found = findAttribute(sa);
    switch (found.Type) {
    case CCustomAttribs::TypeString: return sa.Return(SQFloat(StrToFloat(found.Text)));
    case CCustomAttribs::TypeInt: return sa.Return(SQFloat(found.Int));
    case CCustomAttribs::TypeFloat: return sa.Return(SQFloat(found.Float));
    default: return returnDefault(sa, SQInteger(0));
    }
}

SQInteger GetNodeAttributeS(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const char* name = nullptr;
    const CCustomAttribs* attributes = attributesArg(sa, name);
    CString text;
    if (attributes && attributes->lookupText(name, text) != CCustomAttribs::TypeAbsent)
        return sa.Return((const char*)text);
    return returnDefault(sa, "");
}

SQInteger SetNodeAttribute(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CNodeBasement* node = CNodeBasement::fromSceneNode(nodeArg(sa, 2));
    const char* name = sa.GetString(3);
    if (!node || !name)
        return sa.Return(false);
    // The value replaces what the name held, of any kind: the setters alone
    // keep another kind in place under an empty value ("", 0 or 0.0).
    switch (sa.GetType(4)) {
    case OT_STRING:
        node->getAttributes()->removeOtherTypes(name, CCustomAttribs::TypeString);
        node->setAttributeString(name, sa.GetString(4));
        break;
    case OT_INTEGER:
        node->getAttributes()->removeOtherTypes(name, CCustomAttribs::TypeInt);
        node->setAttributeInt(name, int(sa.GetInt(4)));
        break;
    case OT_FLOAT:
        node->getAttributes()->removeOtherTypes(name, CCustomAttribs::TypeFloat);
        node->setAttributeFloat(name, float(sa.GetFloat(4)));
        break;
    default: return sa.Return(false);
    }
    return sa.Return(true);
}

SQInteger GetNodesNames(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const char* mask = sa.GetString(2);
    CStringArray names;
    getRegisteredNodeNames(names);
    SquirrelObject result = SquirrelVM::CreateArray(0);
    for (int i = 0; i < names.GetSize(); ++i) {
        const CString& name = names[i];
        if (mask && *mask && !WildcardMatch(name, mask))
            continue;
        scene::ISceneNode* node = getNodeByName(name);
        // A name whose ID went to another node, or the root, is not listed.
        if (!node || node->getID() != findIdByName(name) || name == "pole")
            continue;
        SqArrayAppend(result, (const char*)name);
    }
    return sa.Return(result);
}

SQInteger AttachToNode(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = nodeArg(sa, 2);
    scene::ISceneNode* parent = nodeArg(sa, 3);
    if (!node || !parent || isEngineSlotNode(node))
        return sa.Return(false);
    // Under itself or its own descendant the scene would become a cycle.
    if (parent == node || isNodeDescendantOf(parent, node))
        return sa.Return(false);
    node->setParent(parent);
    node->updateAbsolutePosition();
    return sa.Return(true);
}

SQInteger GetNodeRelativePos(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = nodeArg(sa, 2);
    scene::ISceneNode* other = nodeArg(sa, 3);
    core::vector3df delta;
    if (node && other)
        delta = other->getAbsolutePosition() - node->getAbsolutePosition();
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_x", SQFloat(delta.X));
    table.SetValue("_y", SQFloat(delta.Y));
    return sa.Return(table);
}

SQInteger SetNodeAction(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CNodeBasement* node = CNodeBasement::fromSceneNode(nodeArg(sa, 2));
    if (!node)
        return sa.Return(false);
    const char* text = sa.GetType(3) == OT_STRING ? sa.GetString(3) : "";
    CBaseAnimator* found = node->findAnimatorByName(COnClickAnimator::UniqueName, false);
    if (COnClickAnimator* click = dynamic_cast<COnClickAnimator*>(found))
        click->setClickAction(text);
    else
        attachAnimator(node, new COnClickAnimator(CString(), text, CString(), 0));
    return sa.Return(true);
}

SQInteger SetNodeAnimatorAction(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CNodeBasement* node = CNodeBasement::fromSceneNode(nodeArg(sa, 2));
    if (!node)
        return sa.Return(false);
    const char* animatorName = sa.GetString(3);
    const char* action = sa.GetString(4);
    if (CBaseAnimator* animator = animatorName ? node->findAnimatorByName(animatorName, false) : nullptr)
        animator->setAction(action ? action : "", int(sa.GetInt(5)));
    return sa.Return(true);
}

}  // namespace

void registerNodeNatives()
{
    REGISTER_CORE_NATIVE(FadeSprite, "core_FadeSprite", "*");
    REGISTER_CORE_NATIVE(ShowSprite, "core_ShowSprite", "*");
    REGISTER_CORE_NATIVE(IsNodeExist, "core_IsNodeExist", "*");
    REGISTER_CORE_NATIVE(IsNodeEnabled, "core_IsNodeEnabled", "*");
    REGISTER_CORE_NATIVE(EnableNode, "core_EnableNode", "*");
    REGISTER_CORE_NATIVE(SetNodeText, "core_SetNodeText", "*");
    REGISTER_CORE_NATIVE(GetNodeText, "core_GetNodeText", "*");
    REGISTER_CORE_NATIVE(GetNode, "core_GetNode", "*");
    REGISTER_CORE_NATIVE(GetNodeAtlas, "core_GetNodeAtlas", "*");
    REGISTER_CORE_NATIVE(SetNodeAtlas, "core_SetNodeAtlas", "*");
    REGISTER_CORE_NATIVE(GetNodeAttribute, "core_GetNodeAttribute", "*");
    REGISTER_CORE_NATIVE(GetNodeAttributeN, "core_GetNodeAttributeN", "*");
    REGISTER_CORE_NATIVE(GetNodeAttributeS, "core_GetNodeAttributeS", "*");
    REGISTER_CORE_NATIVE(GetNodeAttributeF, "core_GetNodeAttributeF", "*");
    REGISTER_CORE_NATIVE(GetNodeSubnode, "core_GetNodeSubnode", "*");
    REGISTER_CORE_NATIVE(SetNode, "core_SetNode", "*");
    REGISTER_CORE_NATIVE(SetNodePosition, "core_SetNodePosition", "*");
    REGISTER_CORE_NATIVE(SetNodeName, "core_SetNodeName", "*");
    REGISTER_CORE_NATIVE(SetNodeAttribute, "core_SetNodeAttribute", "*");
    REGISTER_CORE_NATIVE(GetNodesNames, "core_GetNodesNames", "*");
    REGISTER_CORE_NATIVE(AttachToNode, "core_AttachToNode", "*");
    REGISTER_CORE_NATIVE(GetNodeRelativePos, "core_GetNodeRelativePos", "*");
    REGISTER_CORE_NATIVE(SetNodeAction, "core_SetNodeAction", "*");
    REGISTER_CORE_NATIVE(SetNodeAnimatorAction, "core_SetNodeAnimatorAction", "*");
    // One closure under both names.
    REGISTER_CORE_NATIVE(DeleteNode, "core_DeleteSprite", "*");
    RegisterCoreAlias("core_DeleteNode", "core_DeleteSprite");
}
