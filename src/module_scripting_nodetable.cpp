// Node state tables and node references.
#include "module_scripting_nodetable.h"

#include "module_scripting_report.h"
#include "node_base.h"
#include "node_sprite.h"
#include "node_utilities.h"

#include <ISceneNode.h>
#include <SColor.h>

using namespace irr;

namespace {

constexpr f32 SmallestSize = 0.00001f;

SQFloat toScript(f32 value) { return SQFloat(value); }

f32 sizeFromTable(const SquirrelObject& table, const char* key)
{
    const f32 value = f32(table.GetFloat(key));
    return value == 0.0f ? SmallestSize : value;
}

u32 channel(const SquirrelObject& table, const char* key) { return u32(table.GetInt(key)) & 0xFFu; }

} // namespace

SquirrelObject exportWithIds(scene::ISceneNode* node)
{
    SNodeTableFlags flags;
    flags.Ids = 1;
    SquirrelObject table = SquirrelVM::CreateTable();
    exportNodeToTable(flags, node, table);
    return table;
}

void exportNodeToTable(const SNodeTableFlags& flags, scene::ISceneNode* node, SquirrelObject& table)
{
    if (!node)
        return;
    CNodeBasement* engineNode = CNodeBasement::fromSceneNode(node);
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    if (flags.Position) {
        const core::vector3df& position = node->getPosition();
        table.SetValue("_x", toScript(position.X));
        table.SetValue("_y", toScript(position.Y));
        table.SetValue("_z", toScript(position.Z));
    }
    if (flags.Rotation)
        table.SetValue("_rotation", toScript(sprite ? sprite->getAngle() : 0.0f));
    if (engineNode) {
        if (flags.Size) {
            table.SetValue("_w", toScript(engineNode->getSize().Width));
            table.SetValue("_h", toScript(engineNode->getSize().Height));
        }
        if (flags.Alpha)
            table.SetValue("_alpha", toScript(engineNode->getAlpha()));
        if (flags.Fade)
            table.SetValue("_fade", toScript(engineNode->getInheritedAlpha()));
        if (flags.Tint) {
            const video::SColor tint = engineNode->getTint();
            table.SetValue("_tintR", SQInteger(tint.getRed()));
            table.SetValue("_tintG", SQInteger(tint.getGreen()));
            table.SetValue("_tintB", SQInteger(tint.getBlue()));
        }
    }
    if (flags.Ids) {
        const s32 id = node->getID();
        table.SetValue("_id", SQInteger(id));
        table.SetValue("_parentid", SQInteger(node->getParent() ? node->getParent()->getID() : 0));
        table.SetValue("_name", id >= 0 && id < IdCacheSize ? (const char*)getNameById(id) : "");
    }
    table.SetValue("_pointer", SQInteger(engineNode ? engineNode->getCreationSerial() : 0));
}

void importNodeFromTable(const SNodeTableFlags& flags, scene::ISceneNode* node, const SquirrelObject& table)
{
    if (!node)
        return;
    CNodeBasement* engineNode = CNodeBasement::fromSceneNode(node);
    if (flags.Position)
        node->setPosition(core::vector3df(f32(table.GetFloat("_x")), f32(table.GetFloat("_y")),
                                          f32(table.GetFloat("_z"))));
    if (flags.Rotation)
        if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node))
            sprite->setAngle(f32(table.GetFloat("_rotation")));
    if (!engineNode)
        return;
    if (flags.Size)
        engineNode->setSize(core::dimension2df(sizeFromTable(table, "_w"), sizeFromTable(table, "_h")));
    if (flags.Alpha)
        engineNode->setAlpha(f32(table.GetFloat("_alpha")));
    if (flags.Fade)
        engineNode->setInheritedAlpha(f32(table.GetFloat("_fade")));
    if (flags.Tint)
        engineNode->setTint(video::SColor(255, channel(table, "_tintR"), channel(table, "_tintG"),
                                          channel(table, "_tintB")));
}

bool isScriptNodeIdUsable(s32 id)
{
    if (!isForbiddenNodeId(id))
        return true;
    ShowScriptAssert("src\\module_scripting_core", __LINE__, "Node ID is out of range!");
    return false;
}

scene::ISceneNode* getNodeFromScriptObject(const SquirrelObject& value)
{
    switch (value.GetType()) {
    case OT_STRING:
        return getNodeByName(value.ToString());
    case OT_INTEGER: {
        const s32 id = s32(value.ToInteger());
        return isScriptNodeIdUsable(id) ? getNodeById(id, nullptr) : nullptr;
    }
    case OT_TABLE: {
        const s32 id = s32(value.GetInt("_id"));
        scene::ISceneNode* node = id > 0 && id < IdCacheSize ? getNodeById(id, nullptr) : nullptr;
        if (node)
            return node;
        // IDs from 8000 up are shared: the serial tells the nodes apart.
        const s32 serial = s32(value.GetInt("_pointer"));
        return serial != 0 ? CNodeBasement::findBySerial(serial) : nullptr;
    }
    default:
        return nullptr;
    }
}

scene::ISceneNode* getNodeFromScriptParam(const StackHandler& stack, SQInteger index)
{
    if (index < 1 || index > stack.GetParamCount())
        return nullptr;
    return getNodeFromScriptObject(SquirrelObject(stack.GetObjectHandle(index)));
}
