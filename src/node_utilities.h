// The node registry: the ID cache, names bound to IDs, automatic IDs, queued
// removal of nodes and animators, attaching animators, and small node tests.
#pragma once

#include "utils_str.h"

#include <irrTypes.h>
#include <vector2d.h>
#include <vector3d.h>

#include <cstdint>

namespace irr {
namespace scene { class ISceneNode; class ISceneNodeAnimator; }
namespace video { class ITexture; class SColor; }
}

class CNodeBasement;
class CBaseAnimator;

// Node ID ranges.
constexpr irr::s32 CameraNodeId = 1000;
constexpr irr::s32 RootNodeId = 1001;
constexpr irr::s32 FirstNameId = 1003;       // the name counter starts one below
constexpr irr::s32 LastNameId = 2000;
constexpr irr::s32 IdCacheSize = 8000;       // IDs 0..7999 are cached
constexpr irr::s32 SharedSpriteId = 8001;    // many sprites; never cached
constexpr irr::s32 FirstLocalId = 10000;

// 8000 and 8002 belong to no node: the ID table stops the program on them.
bool isForbiddenNodeId(irr::s32 id);

// The raw ID table (no references held). op 0 reads, 1 stores, -1 clears the
// slot when it holds the node. 8000 and 8002 stop the program.
irr::scene::ISceneNode* nodeIdCacheOp(irr::s32 id, int op, irr::scene::ISceneNode* node);
// The table with its hooks: storing tells the input state nothing, clearing makes it forget the node.
irr::scene::ISceneNode* getIdCache(irr::s32 id, int op, irr::scene::ISceneNode* node);

// Without a start node: the cached node. With one: a local ID (8002 and up)
// searched in the start node's subtree.
irr::scene::ISceneNode* getNodeById(irr::s32 id, irr::scene::ISceneNode* startNode);
void deleteNodeById(irr::s32 id);
void setNodeVisibleById(irr::s32 id, bool visible);
bool isNodeTrulyVisible(const irr::scene::ISceneNode* node);
bool isNodeDescendantOf(const irr::scene::ISceneNode* node, const irr::scene::ISceneNode* ancestor);

void registerNodeName(const char* name, irr::s32 id);
irr::s32 findIdByName(const char* name);   // 0 when unbound; binds nothing
irr::s32 getIdByName(const char* name);    // binds the next free name ID on first use
CString getNameById(irr::s32 id);          // "???" when no name is bound to it
void getRegisteredNodeNames(CStringArray& names);   // every bound name, in the name map's order
irr::scene::ISceneNode* getNodeByName(const char* name);
irr::s32 ForceNodeToHaveID(irr::scene::ISceneNode* node);
CString dumpNodeInfo();

// Forgets every name, cached ID and counter (tests).
void ResetNodeRegistry();

// Queues a node (animator null) or one of its animators for removal after
// the frame's draw. Holds one grab of the node until then.
bool scheduleRemoval(CNodeBasement* node, irr::scene::ISceneNodeAnimator* animator);
void deleteNode(irr::scene::ISceneNode* node);
void removeAnimator(CBaseAnimator* animator);

// The node takes over the caller's reference. Borrowed result, null when either is null.
irr::scene::ISceneNodeAnimator* addAnimatorAndDrop(irr::scene::ISceneNode* node,
                                                   irr::scene::ISceneNodeAnimator* animator);
CBaseAnimator* attachAnimator(CNodeBasement* node, CBaseAnimator* animator);
CBaseAnimator* attachAnimatorEveryFrame(CNodeBasement* node, CBaseAnimator* animator);
CBaseAnimator* attachAnimatorStopped(CNodeBasement* node, CBaseAnimator* animator);
// delayMs 0 attaches at once; otherwise a delay animator holds the animator
// and attaches it when the delay has passed. Returns the given animator
// (borrowed) either way.
CBaseAnimator* attachAnimatorDelayed(irr::u32 delayMs, CNodeBasement* node, CBaseAnimator* animator);

// now: builds the sprite under the node at once; else keeps it for the node's removal.
void spawnDestroyAnimation(CNodeBasement* node, const char* spriteName, bool now);

// A point on the pick ray through the screen point (the cursor when null)
// at the given depth, relative to the camera.
irr::core::vector3df getScenePosAtScreen(irr::f32 depth, const irr::core::vector2di* screenPoint);
// Where the cursor lies in the node's box: 0 at the low edge, 1 at the high edge, per axis.
irr::core::vector2df getCursorInNode(irr::scene::ISceneNode* node);

// Pixels of the colour become transparent black, all others opaque (A8R8G8B8 only).
void applyTextureColorKey(irr::video::ITexture* texture, irr::video::SColor colour);

// Values run start+step .. and restart at start once they reach the end.
struct SCyclicId {
    irr::s32 Value;
    irr::s32 Start;
    irr::s32 End;
    irr::s32 Step;
    irr::s32 next();
};
using nextCyclicId = SCyclicId;
