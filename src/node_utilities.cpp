// The node registry and the node utilities.
#include "node_utilities.h"

#include "abaseanimators.h"
#include "asystemanimators.h"
#include "module_enginebase.h"
#include "node_base.h"
#include "rendering.h"
#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_system_common.h"

#include <ICameraSceneNode.h>
#include <ISceneCollisionManager.h>
#include <ISceneManager.h>
#include <ITexture.h>
#include <SColor.h>
#include <line3d.h>

#include <cstdint>
#include <string>
#include <unordered_map>

using namespace irr;

namespace {

constexpr s32 ForbiddenIdLow = 8000;
constexpr s32 ForbiddenIdHigh = 8002;

scene::ISceneNode* IdCache[IdCacheSize] = {};
s32 NameIdCounter = FirstNameId - 1;   // pre-incremented
// Every name ID is held by a live node and the box saying so was shown: one
// box per shortage, not one per node that asks.
bool ShortageShown = false;

CMapStringToPtr& nameMap()
{
    static CMapStringToPtr names(10);
    return names;
}

// The same names hashed for look-ups: the map above keeps its small table (and
// so its listing order) while automatic names pile up into the thousands.
std::unordered_map<std::string, s32>& nameIndex()
{
    static std::unordered_map<std::string, s32> index;
    return index;
}

void* idToValue(s32 id) { return reinterpret_cast<void*>(intptr_t(id)); }
s32 valueToId(void* value) { return s32(reinterpret_cast<intptr_t>(value)); }

void bindName(const char* name, s32 id)
{
    nameMap().SetAt(name, idToValue(id));
    nameIndex()[name] = id;
}

// A name ID no live node holds, after the last one handed out; 0 when every
// one is held, which is reported once and left to the caller to go on from.
s32 nextFreeNameId(const char* shortage)
{
    bool wrapped = false;
    for (;;) {
        ++NameIdCounter;
        if (NameIdCounter <= LastNameId) {
            if (!IdCache[NameIdCounter]) {
                ShortageShown = false;
                return NameIdCounter;
            }
            continue;
        }
        NameIdCounter = FirstNameId - 1;
        if (wrapped)
            break;
        wrapped = true;
    }
    if (!ShortageShown) {
        ShortageShown = true;
        AssertFailed(__FILE__, __LINE__, shortage);
    }
    return 0;
}

bool isCachedAs(scene::ISceneNode* node, s32 id)
{
    return getNodeById(id, nullptr) == node;
}

} // namespace

// --- ID cache ---

bool isForbiddenNodeId(s32 id)
{
    return id == ForbiddenIdLow || id == ForbiddenIdHigh;
}

scene::ISceneNode* nodeIdCacheOp(s32 id, int op, scene::ISceneNode* node)
{
    if (isForbiddenNodeId(id)) {
        FatalError("Node ID is out of range!", false);
        return nullptr;
    }
    // 0 means "no ID": caching it would hand out whichever node took it last.
    if (id <= 0 || id >= IdCacheSize)
        return nullptr;
    scene::ISceneNode*& slot = IdCache[id];
    if (op == 1)
        slot = node;
    else if (op == -1) {
        if (!node)
            EngineMessageBox("Error! Destroyng sprite cache with 0!", MB_OK);
        if (slot == node)
            slot = nullptr;
    }
    return slot;
}

scene::ISceneNode* getIdCache(s32 id, int op, scene::ISceneNode* node)
{
    ENGINE_PROFILE("SETID-getIdCache");
    CheckMainThread();
    if (op == -1 && GetSceneHooks().ForgetNode)
        GetSceneHooks().ForgetNode(node, id);
    return nodeIdCacheOp(id, op, node);
}

scene::ISceneNode* getNodeById(s32 id, scene::ISceneNode* startNode)
{
    CheckMainThread();
    if (!startNode)
        return getIdCache(id, 0, nullptr);
    if (id < ForbiddenIdHigh) {
        FatalError("Wrong local ID!!! Must start from 10000 to avoid intersections", false);
        return nullptr;
    }
    return startNode->getSceneManager()->getSceneNodeFromId(id, startNode);
}

void deleteNodeById(s32 id)
{
    deleteNode(getNodeById(id, nullptr));
}

void setNodeVisibleById(s32 id, bool visible)
{
    if (scene::ISceneNode* node = getNodeById(id, nullptr))
        node->setVisible(visible);
}

bool isNodeTrulyVisible(const scene::ISceneNode* node)
{
    for (; node; node = node->getParent())
        if (!node->isVisible())
            return false;
    return true;
}

bool isNodeDescendantOf(const scene::ISceneNode* node, const scene::ISceneNode* ancestor)
{
    const scene::ISceneNode* root = getEngine()->RootNode;
    for (; node; node = node->getParent()) {
        if (node == ancestor)
            return true;
        if (node == root)
            break;
    }
    return false;
}

// --- names ---

void registerNodeName(const char* name, s32 id)
{
    CheckMainThread();
    if (!name) {
        nameMap().SetAt(name, idToValue(id));   // refused there
        return;
    }
    bindName(name, id);
}

void getRegisteredNodeNames(CStringArray& names)
{
    names.RemoveAll();
    CString name;
    void* value = nullptr;
    for (POSITION pos = nameMap().GetStartPosition(); pos;) {
        nameMap().GetNextAssoc(pos, name, value);
        names.Add(name);
    }
}

s32 findIdByName(const char* name)
{
    if (!name)
        return 0;
    auto found = nameIndex().find(name);
    return found != nameIndex().end() ? found->second : 0;
}

s32 getIdByName(const char* name)
{
    if (!name) {
        void* value = nullptr;
        nameMap().Lookup(name, value);   // refused there
        return 0;
    }
    auto found = nameIndex().find(name);
    if (found != nameIndex().end())
        return found->second;
    CheckMainThread();
    const s32 id = nextFreeNameId("NotEnough name IDs!");
    if (id == 0)
        return 0;   // unbound: a later call tries again
    bindName(name, id);
    return id;
}

CString getNameById(s32 id)
{
    CheckMainThread();
    CMapStringToPtr& names = nameMap();
    for (POSITION pos = names.GetStartPosition(); pos;) {
        CString name;
        void* value = nullptr;
        names.GetNextAssoc(pos, name, value);
        if (valueToId(value) == id)
            return name;
    }
    return "???";
}

scene::ISceneNode* getNodeByName(const char* name)
{
    return getNodeById(getIdByName(name), nullptr);
}

s32 ForceNodeToHaveID(scene::ISceneNode* node)
{
    if (!node)
        return 0;
    s32 id = node->getID();
    bool given = true;
    if (!isCachedAs(node, id)) {
        CheckMainThread();
        // One automatic name per name ID: a free ID comes with its name, so
        // the names of nodes long gone are taken again, not piled up.
        const s32 free = nextFreeNameId("ForceNodeToHaveID failed - no free IDs!!!");
        if (free != 0) {
            bindName(Format("AutoID%i", free - FirstNameId), free);
            node->setID(free);
            id = free;
        } else {
            given = false;   // the node keeps its ID; the shortage was reported
        }
    }
    scene::ISceneNode* parent = node->getParent();
    if (parent && !isCachedAs(parent, parent->getID()) && CNodeBasement::fromSceneNode(parent))
        ForceNodeToHaveID(parent);
    if (given && !isCachedAs(node, id))
        AssertFailed(__FILE__, __LINE__, "ForceNodeToHaveID failed!!!");
    return id;
}

CString dumpNodeInfo()
{
    CheckMainThread();
    CString text;
    CMapStringToPtr& names = nameMap();
    for (POSITION pos = names.GetStartPosition(); pos;) {
        CString name;
        void* value = nullptr;
        names.GetNextAssoc(pos, name, value);
        const s32 id = valueToId(value);
        text += Format("%i:%s", id, (const char*)name);
        if (scene::ISceneNode* node = nodeIdCacheOp(id, 0, nullptr)) {
            scene::ISceneNode* parent = node->getParent();
            text += parent ? Format(", parrent:%i", parent->getID()) : CString(", unknown parrent");
        }
        text += "\n";
    }
    return text;
}

void ResetNodeRegistry()
{
    for (scene::ISceneNode*& slot : IdCache)
        slot = nullptr;
    nameMap().RemoveAll();
    nameIndex().clear();
    NameIdCounter = FirstNameId - 1;
    ShortageShown = false;
}

// --- removal ---

bool scheduleRemoval(CNodeBasement* node, scene::ISceneNodeAnimator* animator)
{
    if (!node)
        return false;
    ENGINE_PROFILE("REMOVAL");
    CheckMainThread();
    // "-AsEffect:" at the top decorates the root, and its self-destruction or
    // fade would then remove the node the engine builds every sprite on.
    if (!animator && getEngine() && node == getEngine()->RootNode) {
        DebugLog(Format("The root node '%s' is never removed", node->getName()));
        return false;
    }
    if (!animator) {
        if (node->getKind() == CNodeBasement::KindSprite && node->hasAttributes())
            node->getAttributes()->removeObject("__PseudoOwnerOnRem");
    } else if (CBaseAnimator* base = dynamic_cast<CBaseAnimator*>(animator)) {
        base->finish();
        base->setName(nullptr);   // name searches skip it while it waits
    }
    node->grab();
    getRenderer()->queueRemoval(node, animator);
    if (!animator)
        node->setName(Format("%s,DELALREADY(id=%i, p=%08llX)", node->getName(), node->getID(),
                             (unsigned long long)reinterpret_cast<uintptr_t>(node)));
    return true;
}

void deleteNode(scene::ISceneNode* node)
{
    if (!node)
        return;
    CNodeBasement* engineNode = CNodeBasement::fromSceneNode(node);
    if (!engineNode) {
        DebugLog(Format("deleteNode: '%s' is not an engine node; left in place", node->getName()));
        return;
    }
    scheduleRemoval(engineNode, nullptr);
}

void removeAnimator(CBaseAnimator* animator)
{
    if (animator && animator->getNode())
        scheduleRemoval(animator->getNode(), animator);
}

// --- attaching ---

scene::ISceneNodeAnimator* addAnimatorAndDrop(scene::ISceneNode* node, scene::ISceneNodeAnimator* animator)
{
    if (!node || !animator)
        return nullptr;
    node->addAnimator(animator);
    animator->drop();
    return animator;
}

CBaseAnimator* attachAnimator(CNodeBasement* node, CBaseAnimator* animator)
{
    ENGINE_PROFILE("ATTACH");
    if (!animator)
        return nullptr;
    if (!node) {
        // The caller's reference would be lost with nothing to attach it to.
        animator->finish();
        animator->drop();
        return nullptr;
    }
    animator->setNode(node);
    animator->onAttach(node);
    addAnimatorAndDrop(node, animator);
    return animator;
}

CBaseAnimator* attachAnimatorDelayed(irr::u32 delayMs, CNodeBasement* node, CBaseAnimator* animator)
{
    if (delayMs == 0 || !animator || !node)
        return attachAnimator(node, animator);
    attachAnimator(node, new CDelayAnimator(delayMs, animator));
    return animator;
}

CBaseAnimator* attachAnimatorEveryFrame(CNodeBasement* node, CBaseAnimator* animator)
{
    CBaseAnimator* attached = attachAnimator(node, animator);
    if (attached)
        attached->setDiscretion(0);
    return attached;
}

CBaseAnimator* attachAnimatorStopped(CNodeBasement* node, CBaseAnimator* animator)
{
    CBaseAnimator* attached = attachAnimator(node, animator);
    if (attached)
        attached->setPassive();
    return attached;
}

void spawnDestroyAnimation(CNodeBasement* node, const char* spriteName, bool now)
{
    if (!node || !spriteName || !*spriteName)
        return;
    if (!now) {
        node->setAttributeString("__OnDestroyAnimation", spriteName);
        return;
    }
    if (GetSceneHooks().AddSprite)
        GetSceneHooks().AddSprite(spriteName, node, Format("%s:%i", __FILE__, __LINE__));
}

// --- picking ---

core::vector3df getScenePosAtScreen(f32 depth, const core::vector2di* screenPoint)
{
    scene::ISceneManager* smgr = getSceneManager();
    if (!smgr || !smgr->getSceneCollisionManager())
        return core::vector3df(0, 0, depth);
    const core::vector2di point = screenPoint ? *screenPoint : getEngine()->getInputReceiver()->getCursorPos();
    const core::line3df ray =
        smgr->getSceneCollisionManager()->getRayFromScreenCoordinates(point, smgr->getActiveCamera());
    core::vector3df direction = ray.getVector().normalize();
    if (direction.Z != 0.0f)
        direction *= depth / direction.Z;
    return direction;
}

core::vector2df getCursorInNode(scene::ISceneNode* node)
{
    scene::ISceneManager* smgr = getSceneManager();
    scene::ICameraSceneNode* camera = smgr ? smgr->getActiveCamera() : nullptr;
    if (!node || !camera)
        return core::vector2df(0, 0);
    const core::vector3df c = camera->getAbsolutePosition();
    const core::vector3df n = node->getAbsolutePosition();
    const core::vector3df extent = node->getBoundingBox().getExtent();
    const core::vector3df p = getScenePosAtScreen(n.Z - c.Z, nullptr);
    const f32 w = extent.X != 0.0f ? extent.X : 1.0f, h = extent.Y != 0.0f ? extent.Y : 1.0f;
    return core::vector2df((p.X - (n.X - c.X - w / 2)) / w, (p.Y - (n.Y - c.Y - h / 2)) / h);
}

void applyTextureColorKey(video::ITexture* texture, video::SColor colour)
{
    if (!texture)
        return;
    if (texture->getColorFormat() != video::ECF_A8R8G8B8) {
        FatalError("Texture effect can not be applied!!!", false);
        return;
    }
    u8* pixels = static_cast<u8*>(texture->lock(video::ETLM_READ_WRITE));
    if (!pixels) {
        DebugLog("Could not lock texture for making color key channel.");
        return;
    }
    const core::dimension2du size = texture->getSize();
    const u32 pitch = texture->getPitch();
    const u32 keyRgb = colour.color & 0x00FFFFFFu;
    for (u32 y = 0; y < size.Height; ++y) {
        u32* row = reinterpret_cast<u32*>(pixels + size_t(y) * pitch);
        for (u32 x = 0; x < size.Width; ++x)
            row[x] = (row[x] & 0x00FFFFFFu) == keyRgb ? 0u : (row[x] | 0xFF000000u);
    }
    texture->unlock();
}

s32 SCyclicId::next()
{
    Value += Step;
    if (Value >= End)
        Value = Start;
    return Value;
}
