// The input state: ID slots, cursor positions, clickable nodes, the modality
// stack and picking; the input latch.
#include "module_mousekeyb.h"

#include "clock.h"
#include "module_enginebase.h"
#include "module_mousekeyb_editor.h"
#include "node_base.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "rendering_stuff_particles.h"
#include "utils_debug.h"
#include "utils_math_misc.h"

#include <ICameraSceneNode.h>
#include <ICursorControl.h>
#include <ISceneCollisionManager.h>
#include <ISceneManager.h>
#include <IrrlichtDevice.h>

#include <cmath>

using namespace irr;

int clickHandledCounter = 0;
bool releaseClickTaken = false;
uint32_t lastHotkeyClickTick = 0;
bool wrongOnclickShown = false;

namespace {

s32 HoveredId = 0, PressedId = 0, ReleasedId = 0, RightClickedId = 0;
core::position2di CursorPos(0, 0);
core::vector2df RelativeCursorPos(0, 0);
core::position2di PressPos(0, 0);
f32 ClipArea[4] = {0, 0, 0, 0};

void forgetNodeHook(scene::ISceneNode* node, s32 id)
{
    getInputState()->forgetNode(node, id);
}

void nodeDestroyedHook(scene::ISceneNode* node)
{
    getInputState()->purgeNode(node);
    CSimpleTextEditorAnimator::forgetAttributeNode(CNodeBasement::fromSceneNode(node));
}

int findEntry(const core::array<CClickableEntry>& list, scene::ISceneNode* node)
{
    for (u32 i = 0; i < list.size(); ++i)
        if (list[i].node == node)
            return int(i);
    return -1;
}

CString nodeName(scene::ISceneNode* node)
{
    return node && node->getName() ? CString(node->getName()) : CString();
}

constexpr f32 MinTurn = 1e-6f;   // sprites draw unturned below this angle

// The angle a node is drawn turned by about the view axis, 0 for unturned.
f32 drawnAngle(scene::ISceneNode* node)
{
    const auto* sprite = dynamic_cast<const CSpriteNode*>(CNodeBasement::fromSceneNode(node));
    return sprite && std::fabs(sprite->getAngle()) > MinTurn ? sprite->getAngle() : 0.0f;
}

// Where the screen point lies in the node's box, 0..1 inside. The point of a
// turned node is turned back into the node's own frame first.
core::vector2df pointInNode(scene::ISceneNode* node, const core::position2di& pos, f32 angle)
{
    scene::ISceneManager* smgr = getSceneManager();
    scene::ICameraSceneNode* camera = smgr ? smgr->getActiveCamera() : nullptr;
    if (!camera)
        return core::vector2df(0, 0);
    const core::vector3df c = camera->getAbsolutePosition();
    const core::vector3df n = node->getAbsolutePosition();
    const core::vector3df extent = node->getBoundingBox().getExtent();
    const core::vector3df p = getScenePosAtScreen(n.Z - c.Z, &pos);
    const f32 w = extent.X != 0.0f ? extent.X : 1.0f, h = extent.Y != 0.0f ? extent.Y : 1.0f;
    if (angle == 0.0f)
        return core::vector2df((p.X - (n.X - c.X - w / 2)) / w, (p.Y - (n.Y - c.Y - h / 2)) / h);
    core::vector3df d(p.X - (n.X - c.X), p.Y - (n.Y - c.Y), 0.0f);
    RotateVectorZ(d, -angle);
    return core::vector2df((d.X + w / 2) / w, (d.Y + h / 2) / h);
}

core::aabbox3df transformedBox(scene::ISceneNode* node)
{
    if (CNodeBasement* base = CNodeBasement::fromSceneNode(node))
        return base->getTransformedRenderBox();
    core::aabbox3df box = node->getBoundingBox();
    node->getAbsoluteTransformation().transformBoxEx(box);
    return box;
}

} // namespace

CInputState* getInputState()
{
    static CInputState* state = [] {
        SSceneHooks& hooks = GetSceneHooks();
        hooks.ForgetNode = forgetNodeHook;
        hooks.NodeDestroyed = nodeDestroyedHook;
        return new CInputState;
    }();
    return state;
}

CArray<s32>& getClickBlockList()
{
    static CArray<s32> list;
    return list;
}

CArray<s32>& clickBlockList = getClickBlockList();

s32* CInputState::getHoveredNodeId() { return &HoveredId; }
s32* CInputState::getPressedNodeId() { return &PressedId; }
s32* CInputState::getReleasedNodeId() { return &ReleasedId; }
s32* CInputState::getRightClickedNodeId() { return &RightClickedId; }
core::position2di* CInputState::getCursorPos() { return &CursorPos; }
core::vector2df* CInputState::getRelativeCursorPos() { return &RelativeCursorPos; }
core::position2di* CInputState::getPressPos() { return &PressPos; }
f32* CInputState::getCursorClipArea() { return ClipArea; }

void CInputState::setCursorPos(int x, int y)
{
    IrrlichtDevice* device = getDevice();
    if (device && device->getCursorControl())
        device->getCursorControl()->setPosition(x, y);
}

void CInputState::setCursorPosF(float x, float y)
{
    IrrlichtDevice* device = getDevice();
    if (device && device->getCursorControl())
        device->getCursorControl()->setPosition(x, y);
}

void CInputState::addClickable(scene::ISceneNode* node, int pixelPerfect)
{
    CheckMainThread();
    if (!node)
        return;
    CClickableEntry entry;
    entry.node = node;
    entry.name = nodeName(node);
    entry.level = findModalAncestor(node, true);
    entry.pixelPerfect = pixelPerfect;
    Clickables.push_back(entry);
    ++LiveClickables[node];
    if (CNodeBasement* base = CNodeBasement::fromSceneNode(node))
        base->setAttributeInt("__Clickable", 1);
}

void CInputState::removeClickable(scene::ISceneNode* node)
{
    CheckMainThread();
    markRemoved(node, 1);
}

void CInputState::markRemoved(scene::ISceneNode* node, int entries)
{
    auto live = LiveClickables.find(node);
    if (live == LiveClickables.end())
        return;
    if ((live->second -= entries) == 0)
        LiveClickables.erase(live);
    RemovedClickables[node] += entries;
    RemovedCount += u32(entries);
    if (RemovedCount > Clickables.size() / 2 + 32)
        dropRemovedClickables();
}

void CInputState::dropRemovedClickables()
{
    if (RemovedCount == 0)
        return;
    // A node's removals take its first entries, as when each went at once.
    u32 kept = 0;
    for (u32 i = 0; i < Clickables.size(); ++i) {
        auto removed = RemovedClickables.find(Clickables[i].node);
        if (removed != RemovedClickables.end() && removed->second > 0) {
            --removed->second;
            continue;
        }
        if (kept != i)
            Clickables[kept] = Clickables[i];
        ++kept;
    }
    Clickables.erase(kept, s32(Clickables.size() - kept));
    RemovedClickables.clear();
    RemovedCount = 0;
}

void CInputState::replaceClickable(scene::ISceneNode* newNode, scene::ISceneNode* oldNode)
{
    CheckMainThread();
    dropRemovedClickables();
    const int i = findEntry(Clickables, oldNode);
    if (i < 0)
        return;
    Clickables[u32(i)].node = newNode;
    if (--LiveClickables[oldNode] == 0)
        LiveClickables.erase(oldNode);
    ++LiveClickables[newNode];
}

const core::array<CClickableEntry>& CInputState::getClickables()
{
    dropRemovedClickables();
    return Clickables;
}

void CInputState::forgetNode(scene::ISceneNode* node, s32 id)
{
    for (s32* slot : {&HoveredId, &PressedId, &ReleasedId, &RightClickedId})
        if (*slot == id)
            *slot = 0;
    CNodeBasement* base = CNodeBasement::fromSceneNode(node);
    if (base && base->getAttributeInt("__Clickable", 0) != 0)
        removeClickable(node);
}

void CInputState::purgeNode(scene::ISceneNode* node)
{
    auto live = LiveClickables.find(node);
    if (live != LiveClickables.end())
        markRemoved(node, live->second);
    for (u32 i = ModalityStack.size(); i-- > 0;)
        if (ModalityStack[i].node == node)
            ModalityStack.erase(i);
}

void CInputState::pushModal(scene::ISceneNode* node, s32 marker)
{
    ENGINE_PROFILE("PUSHMODAL");
    CheckMainThread();
    CClickableEntry entry;
    entry.node = node;
    entry.name = nodeName(node);
    entry.level = marker == ModalMarkerDialog ? getTopModal(true) + 1 : ModalMarkerBlocker;
    ModalityStack.push_back(entry);
}

void CInputState::popModal(scene::ISceneNode* node)
{
    CheckMainThread();
    const int i = findEntry(ModalityStack, node);
    if (i >= 0)
        ModalityStack.erase(u32(i));
}

s32 CInputState::getTopModal(bool skipBlockers) const
{
    for (u32 i = ModalityStack.size(); i-- > 0;) {
        if (skipBlockers && ModalityStack[i].level == ModalMarkerBlocker)
            continue;
        return ModalityStack[i].level;
    }
    return 0;
}

s32 CInputState::findModalAncestor(scene::ISceneNode* node, bool skipBlockers) const
{
    if (ModalityStack.empty() || !node || node->getID() == RootNodeId)
        return 0;
    ENGINE_PROFILE("MODALANCESTOR");
    for (u32 i = ModalityStack.size(); i-- > 0;) {
        if (skipBlockers && ModalityStack[i].level == ModalMarkerBlocker)
            continue;
        if (ModalityStack[i].node == node)
            return ModalityStack[i].level;
    }
    return node->getParent() ? findModalAncestor(node->getParent(), false) : 0;
}

bool CInputState::checkModality(scene::ISceneNode* node) const
{
    ENGINE_PROFILE("CHECK MODALITY");
    const s32 top = getTopModal(false);
    return top == 0 || findModalAncestor(node, false) == top;
}

int CInputState::pickNodesAtCursor(const core::position2di& pos, scene::ISceneNode** nodes)
{
    ENGINE_PROFILE("PICKING");
    CheckMainThread();
    scene::ISceneManager* smgr = getSceneManager();
    if (!smgr || !smgr->getSceneCollisionManager() || !smgr->getActiveCamera())
        return -1;
    const core::line3df ray =
        smgr->getSceneCollisionManager()->getRayFromScreenCoordinates(pos, smgr->getActiveCamera());
    if (ray.start.equals(ray.end, 0.000001f))
        return -1;
    const core::vector3df vector = ray.getVector().normalize();
    const core::vector3df middle = ray.getMiddle();
    const f64 halfLength = ray.getLength() * 0.5;

    dropRemovedClickables();
    nodes[0] = nullptr;
    // The candidates kept are the best MaxPickedNodes hits: those modality
    // allows before those it refuses, then the nearest, then the first
    // registered, so no number of hits behind or refused crowds out the node
    // a click is meant for.
    struct SCandidate {
        scene::ISceneNode* Node;
        f32 Key;
        u32 Order;
        bool Allowed;
        bool operator<(const SCandidate& o) const
        {
            if (Allowed != o.Allowed)
                return Allowed;
            if (Key != o.Key)
                return Key < o.Key;
            return Order < o.Order;
        }
    };
    SCandidate kept[MaxPickedNodes];
    int count = 0;
    const bool modal = !ModalityStack.empty();
    for (u32 i = 0; i < Clickables.size(); ++i) {
        scene::ISceneNode* node = Clickables[i].node;
        if (!node || !isNodeTrulyVisible(node))
            continue;
        const core::aabbox3df box = transformedBox(node);
        const f32 angle = drawnAngle(node);
        core::vector2df point;
        if (angle == 0.0f) {
            if (!box.intersectsWithLine(middle, vector, f32(halfLength)))
                continue;
        } else {
            point = pointInNode(node, pos, angle);
            if (point.X < 0.0f || point.X > 1.0f || point.Y < 0.0f || point.Y > 1.0f)
                continue;
        }
        const SCandidate candidate{node, box.getCenter().Z, i, !modal || checkModality(node)};
        if (count == MaxPickedNodes && !(candidate < kept[count - 1]))
            continue;
        if (Clickables[i].pixelPerfect &&
            isTransparentAround(node, angle == 0.0f ? pointInNode(node, pos, 0.0f) : point, 0.0f, 0.0f))
            continue;
        int at = count < MaxPickedNodes ? count++ : count - 1;
        for (; at > 0 && candidate < kept[at - 1]; --at)
            kept[at] = kept[at - 1];
        kept[at] = candidate;
    }
    // Nearest first, whatever modality says.
    auto nearer = [](const SCandidate& a, const SCandidate& b) {
        return a.Key != b.Key ? a.Key < b.Key : a.Order < b.Order;
    };
    for (int i = 1; i < count; ++i) {
        const SCandidate moving = kept[i];
        int at = i;
        for (; at > 0 && nearer(moving, kept[at - 1]); --at)
            kept[at] = kept[at - 1];
        kept[at] = moving;
    }
    for (int i = 0; i < count; ++i)
        nodes[i] = kept[i].Node;
    return count;
}

s32 CInputState::pickTopNodeId(const core::position2di& pos, s32* ids)
{
    if (ids)
        for (int i = 0; i < MaxPickedNodes; ++i)
            ids[i] = 0;
    scene::ISceneNode* nodes[MaxPickedNodes] = {};
    const int count = pickNodesAtCursor(pos, nodes);
    if (count < 1 || !nodes[0])
        return 0;
    if (ids)
        for (int i = 0; i < count; ++i)
            ids[i] = nodes[i]->getID();
    return nodes[0]->getID();
}

void CInputState::reset()
{
    ModalityStack.clear();
    Clickables.clear();
    LiveClickables.clear();
    RemovedClickables.clear();
    RemovedCount = 0;
    for (s32& id : PickedIds)
        id = 0;
    ClickAnimators.RemoveAll();
    HoverAnimators.RemoveAll();
    HoveredId = PressedId = ReleasedId = RightClickedId = 0;
    CursorPos.set(0, 0);
    RelativeCursorPos.set(0, 0);
    PressPos.set(0, 0);
    for (f32& edge : ClipArea)
        edge = 0;
    getClickBlockList().RemoveAll();
    *getInputLatch() = CInputLatch();
    clickHandledCounter = 0;
    releaseClickTaken = false;
    lastHotkeyClickTick = 0;
    wrongOnclickShown = false;
}

// --- the latch ---

CInputLatch* getInputLatch()
{
    static CInputLatch latch;
    return &latch;
}

void CInputLatch::fire()
{
    FireTick = platform::GetTickCount();
}

bool CInputLatch::poll(uint32_t afterTick, uint32_t priority)
{
    if (ClaimExpiry == 0)
        ClaimedPriority = 0;
    if (ClaimedPriority > priority) {
        if (platform::GetTickCount() < ClaimExpiry)
            return false;
        ClaimedPriority = 0;
    }
    if (FireTick == 0)
        return false;
    if (afterTick != 0 && !(FireTick > afterTick))
        return false;
    reset();
    return true;
}

bool CInputLatch::claim(uint32_t priority, uint32_t expiryTick)
{
    if (platform::GetTickCount() > ClaimExpiry)
        ClaimedPriority = 0;
    if (expiryTick != 0 && priority < ClaimedPriority)
        return false;
    ClaimedPriority = priority;
    ClaimExpiry = expiryTick;
    return true;
}
