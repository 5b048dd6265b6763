// Node state tables (a node's position, size, rotation, alphas, tint and
// identity as a script table) and node references from script values.
#pragma once

#include "module_scripting_binding.h"
#include "node_factory.h"

namespace irr { namespace scene { class ISceneNode; } }

// Writes the enabled groups, then "_pointer" (the node's creation serial).
void exportNodeToTable(const SNodeTableFlags& flags, irr::scene::ISceneNode* node, SquirrelObject& table);
// A new table with the node's identity group: what natives hand back for a node.
SquirrelObject exportWithIds(irr::scene::ISceneNode* node);
// Applies the enabled groups in the order position, rotation, size, alpha,
// fade, tint; identity is never applied. Missing keys read as 0.
void importNodeFromTable(const SNodeTableFlags& flags, irr::scene::ISceneNode* node, const SquirrelObject& table);

// False, after an assert box, for an ID that no node can carry: a script that
// names one finds or sets nothing, where the ID table would stop the program.
bool isScriptNodeIdUsable(irr::s32 id);

// Null, a name, an ID, or a table with "_id" (below 8000) or "_pointer";
// anything else, or a node that is gone, gives null.
irr::scene::ISceneNode* getNodeFromScriptObject(const SquirrelObject& value);
// Null when the index lies beyond the arguments.
irr::scene::ISceneNode* getNodeFromScriptParam(const StackHandler& stack, SQInteger index);
