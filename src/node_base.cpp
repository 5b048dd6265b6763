// The scene node base and the node attribute container.
#include "node_base.h"

#include "abaseanimators.h"
#include "module_enginebase.h"
#include "node_utilities.h"
#include "rendering.h"
#include "utils_debug.h"
#include "utils_math_misc.h"

#include <ISceneManager.h>
#include <irrMath.h>

#include <cmath>
#include <vector>

#include <unordered_map>

using namespace irr;

namespace {

// The kind tag lives in the debug name, compared by address: that also tells
// engine nodes from Irrlicht's own without a dynamic cast per node per frame.
const char* const KindTagSprite = "NBASE_SPR";
const char* const KindTagText = "NBASE_TXT";

constexpr f32 BoxHalfDepth = 0.001f;
constexpr f32 AbsoluteZBoxShift = 1e-8f;
constexpr f32 MoveTolerance = 1e-8f;

s32 NodeSerial = 0;

// Live engine nodes by creation serial: scripts name nodes by serial, never by address.
std::unordered_map<s32, CNodeBasement*>& nodesBySerial()
{
    static std::unordered_map<s32, CNodeBasement*> nodes;
    return nodes;
}

// Snapshots for OnAnimate: scripts run inside animators may reparent nodes,
// add siblings or remove animators. One shared stack, so a frame allocates nothing.
template <class T> std::vector<T*>& animateStack()
{
    static std::vector<T*> stack;
    return stack;
}

bool movedApart(const core::vector3df& a, const core::vector3df& b)
{
    return std::fabs(a.X - b.X) > MoveTolerance || std::fabs(a.Y - b.Y) > MoveTolerance ||
           std::fabs(a.Z - b.Z) > MoveTolerance;
}

template <class Fn> void forEachEngineChild(scene::ISceneNode* node, Fn fn)
{
    for (scene::ISceneNode* child : node->getChildren())
        if (CNodeBasement* engineChild = CNodeBasement::fromSceneNode(child))
            fn(engineChild);
}

} // namespace

// --- attribute container ---

CNodeCustomAttribs::~CNodeCustomAttribs()
{
    for (auto it = Objects.getIterator(); !it.atEnd(); it++)
        it->getValue()->drop();
}

IReferenceCounted* CNodeCustomAttribs::getObject(const char* name) const
{
    auto* entry = Objects.find(name);
    return entry ? entry->getValue() : nullptr;
}

void CNodeCustomAttribs::setObject(const char* name, IReferenceCounted* object)
{
    if (!object)
        return;
    object->grab();   // first: it may be the object already stored
    removeObject(name);
    Objects.set(name, object);
}

void CNodeCustomAttribs::removeObject(const char* name)
{
    auto* entry = Objects.find(name);
    if (!entry)
        return;
    IReferenceCounted* object = entry->getValue();
    Objects.remove(name);
    object->drop();
}

SSceneHooks& GetSceneHooks()
{
    static SSceneHooks hooks;
    return hooks;
}

core::list<scene::ISceneNode*>& GetLiveNodeList()
{
    static core::list<scene::ISceneNode*> nodes;
    return nodes;
}

core::stringc makeHexTaggedName(const char* prefix, u32 value, int minDigits, const char* rest)
{
    char digits[8];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    char head[48];
    size_t at = 0;
    for (; *prefix && at < 16; ++prefix)
        head[at++] = *prefix;
    for (int pad = count; pad < minDigits && pad < 8; ++pad)
        head[at++] = '0';
    while (count > 0)
        head[at++] = digits[--count];
    head[at++] = '_';
    head[at] = 0;
    core::stringc name(head);
    name.append(rest);
    return name;
}

// --- construction ---

CNodeBasement::CNodeBasement(scene::ISceneNode* parent, scene::ISceneManager* smgr, s32 id,
                             const core::vector3df& position, const core::dimension2df& size)
    : CRenderableNode(parent, smgr, id, position)
{
    ENGINE_PROFILE("ADDSPR-CNodeBasement constr");
    ID = -1;   // so that setID has no old slot to release
    setID(id);
    if (isDebugMode()) {
        setName(Format("CSpriteNode id=%i pos=(%04i:%04i)", id, int(position.X * 1000.0f),
                       int(position.Y * 1000.0f)));
        CheckMainThread();
        GetLiveNodeList().push_back(this);
    }
    CreationSerial = ++NodeSerial;
    if (CreationSerial <= 0)
        CreationSerial = NodeSerial = 1;   // 0 means no node to scripts
    nodesBySerial()[CreationSerial] = this;
    setKind(KindSprite);
    setZOrder(0);
    setAlphaThreshold(DefaultAlphaThreshold);
    setAutomaticCulling(scene::EAC_OFF);
    setSize(size);
    setPosition(position);
}

CNodeBasement::~CNodeBasement()
{
    nodesBySerial().erase(CreationSerial);
    finishAllAnimators(false);
    for (scene::ISceneNodeAnimator* animator : Animators)
        if (CBaseAnimator* base = dynamic_cast<CBaseAnimator*>(animator))
            base->setNode(nullptr);   // a dying node must not be queued again
    if (ID >= 0)
        getIdCache(ID, -1, this);
    if (GetSceneHooks().NodeDestroyed)
        GetSceneHooks().NodeDestroyed(this);   // no list may keep a dead node
    if (Attributes)
        Attributes->removeObject("__PseudoOwner");
    removeAnimators();
    removeAll();
    // Searched whatever the debug mode is now: it may have changed since the
    // node was listed, and a freed node left in the list would be read at exit.
    core::list<scene::ISceneNode*>& live = GetLiveNodeList();
    if (!live.empty()) {
        CheckMainThread();
        for (auto it = live.begin(); it != live.end(); ++it)
            if (*it == this) {
                live.erase(it);
                break;
            }
    }
    delete Attributes;
}

CNodeBasement* CNodeBasement::findBySerial(s32 serial)
{
    auto found = nodesBySerial().find(serial);
    return found != nodesBySerial().end() ? found->second : nullptr;
}

CNodeBasement* CNodeBasement::fromSceneNode(scene::ISceneNode* node)
{
    if (!node)
        return nullptr;
    const char* tag = node->getDebugName();
    return tag == KindTagSprite || tag == KindTagText ? static_cast<CNodeBasement*>(node) : nullptr;
}

void CNodeBasement::setKind(ENodeKind kind)
{
    Kind = kind;
    setDebugName(kind == KindText ? KindTagText : KindTagSprite);
}

u32 CNodeBasement::getNodeTypeCode() const
{
    return MAKE_IRR_ID('b', 'i', 'l', 'l');
}

// --- per frame ---

void CNodeBasement::OnRegisterSceneNode()
{
    if (!IsVisible)
        return;
    if (getEffectiveAlpha() != 0)
        getRenderer()->registerEngineNodeForRendering(this, Layer);
    ISceneNode::OnRegisterSceneNode();
}

void CNodeBasement::OnAnimate(u32 timeMs)
{
    if (!IsVisible)
        return;
    if (AnimatorsEnabled && !Animators.empty()) {
        std::vector<scene::ISceneNodeAnimator*>& stack = animateStack<scene::ISceneNodeAnimator>();
        const size_t first = stack.size();
        for (scene::ISceneNodeAnimator* animator : Animators) {
            animator->grab();
            stack.push_back(animator);
        }
        for (size_t i = first; i < stack.size(); ++i)
            stack[i]->animateNode(this, timeMs);
        for (size_t i = first; i < stack.size(); ++i)
            stack[i]->drop();
        stack.resize(first);
    }
    updateAbsolutePosition();
    if (Children.empty())
        return;
    std::vector<scene::ISceneNode*>& stack = animateStack<scene::ISceneNode>();
    const size_t first = stack.size();
    for (scene::ISceneNode* child : Children) {
        child->grab();
        stack.push_back(child);
    }
    for (size_t i = first; i < stack.size(); ++i)
        if (stack[i]->getParent() == this)   // not moved elsewhere meanwhile
            stack[i]->OnAnimate(timeMs);
    for (size_t i = first; i < stack.size(); ++i)
        stack[i]->drop();
    stack.resize(first);
}

// Not profiled: it runs for every node every frame, and a profiler scope
// (a formatted key and a table update) costs more than the work itself.
void CNodeBasement::updateAbsolutePosition()
{
    const core::vector3df before = AbsoluteTransformation.getTranslation();
    ISceneNode::updateAbsolutePosition();
    if (GeometryValid && movedApart(before, AbsoluteTransformation.getTranslation()))
        GeometryValid = false;
    s32 z = ZOrder;
    if (YSortFactor != 0)
        z += FloatToInt(f32(YSortFactor) * RelativeTranslation.Y);
    const CNodeBasement* parent = fromSceneNode(Parent);
    AbsoluteZ = parent ? z + parent->AbsoluteZ : z;
}

// Irrlicht's own, without the trigonometry of a zero rotation, which most
// 2D nodes have and every node pays for every frame.
core::matrix4 CNodeBasement::getRelativeTransformation() const
{
    core::matrix4 transform;
    if (RelativeRotation.X != 0.0f || RelativeRotation.Y != 0.0f || RelativeRotation.Z != 0.0f)
        transform.setRotationDegrees(RelativeRotation);
    transform.setTranslation(RelativeTranslation);
    if (RelativeScale != core::vector3df(1.0f, 1.0f, 1.0f)) {
        core::matrix4 scale;
        scale.setScale(RelativeScale);
        transform *= scale;
    }
    return transform;
}

// --- identity and placement ---

void CNodeBasement::setID(s32 id)
{
    ENGINE_PROFILE("SETID");
    setName(makeHexTaggedName("id", u32(id), 8, Name.c_str()));
    if (ID != 0 && ID != -1) {
        // A renamed node lives on: releasing the old ID must not take it off
        // the clickable list, or its click and hover animators go deaf.
        const int clickable = getAttributeInt("__Clickable", 0);
        if (clickable != 0)
            setAttributeInt("__Clickable", 0);
        getIdCache(ID, -1, this);
        if (clickable != 0)
            setAttributeInt("__Clickable", clickable);
    }
    ID = id;
    getIdCache(id, 1, this);
}

void CNodeBasement::setIDFromName(const char* name)
{
    setID(getIdByName(name));
}

void CNodeBasement::setPosition(const core::vector3df& position)
{
    GeometryValid = false;
    RelativeTranslation = position;
}

core::vector3df CNodeBasement::moveBy(const core::vector3df& delta)
{
    setPosition(getPosition() + delta);
    return getPosition();
}

void CNodeBasement::setZOrder(s32 z)
{
    ZOrder = z;
    updateAbsolutePosition();
    updateRenderBox();
}

void CNodeBasement::setSize(const core::dimension2df& size)
{
    Size = size;
    if (Size.Width == 0.0f)
        Size.Width = 1.0f;
    if (Size.Height == 0.0f)
        Size.Height = 1.0f;
    GeometryValid = false;
    setBoxFromSize(1.0f, 1.0f);
}

void CNodeBasement::setBoxFromSize(f32 scaleX, f32 scaleY)
{
    const f32 halfW = Size.Width * 0.5f * scaleX, halfH = Size.Height * 0.5f * scaleY;
    NodeBox = core::aabbox3df(-halfW, -halfH, -BoxHalfDepth, halfW, halfH, BoxHalfDepth);
    updateRenderBox();
}

void CNodeBasement::updateRenderBox()
{
    RenderBox = NodeBox;
    const f32 shift = f32(AbsoluteZ) * AbsoluteZBoxShift;
    RenderBox.MinEdge.Z -= shift;
    RenderBox.MaxEdge.Z -= shift;
}

core::aabbox3df CNodeBasement::getTransformedRenderBox() const
{
    core::aabbox3df box = getRenderBox();
    AbsoluteTransformation.transformBoxEx(box);
    return box;
}

// --- alpha ---

void CNodeBasement::setInheritedAlpha(f32 alpha)
{
    InheritedAlpha = alpha;
    forEachEngineChild(this, [alpha](CNodeBasement* child) { child->setInheritedAlpha(alpha); });
}

void CNodeBasement::setAlphaThreshold(s32 threshold)
{
    AlphaThreshold = threshold;
    forEachEngineChild(this, [threshold](CNodeBasement* child) { child->setAlphaThreshold(threshold); });
}

void CNodeBasement::setLayer(s32 layer)
{
    Layer = layer;
    forEachEngineChild(this, [layer](CNodeBasement* child) { child->setLayer(layer); });
}

s32 CNodeBasement::getEffectiveAlpha() const
{
    if (HideCount > 0)
        return 0;
    const s32 value = UnitToByte(Alpha * InheritedAlpha);
    return value < AlphaThreshold ? 0 : value;
}

// --- animators ---

CBaseAnimator* CNodeBasement::findAnimatorByName(const char* name, bool deep) const
{
    for (scene::ISceneNodeAnimator* animator : Animators) {
        CBaseAnimator* base = dynamic_cast<CBaseAnimator*>(animator);
        if (base && base->hasName(name))
            return base;
    }
    if (!deep)
        return nullptr;
    for (scene::ISceneNode* child : Children)
        if (CNodeBasement* engineChild = fromSceneNode(child))
            if (CBaseAnimator* found = engineChild->findAnimatorByName(name, true))
                return found;
    return nullptr;
}

int CNodeBasement::removeAnimatorsByName(const char* name, bool deep)
{
    int count = 0;
    if (deep)
        forEachEngineChild(this, [&](CNodeBasement* child) { count += child->removeAnimatorsByName(name, true); });
    for (scene::ISceneNodeAnimator* animator : Animators) {
        CBaseAnimator* base = dynamic_cast<CBaseAnimator*>(animator);
        if (base && base->hasName(name)) {
            ::removeAnimator(base);   // queued: the list is not changed here
            ++count;
        }
    }
    return count;
}

void CNodeBasement::finishAllAnimators(bool deep)
{
    for (scene::ISceneNodeAnimator* animator : Animators)
        if (CBaseAnimator* base = dynamic_cast<CBaseAnimator*>(animator))
            base->finish();
    if (deep)
        forEachEngineChild(this, [](CNodeBasement* child) { child->finishAllAnimators(true); });
}

void CNodeBasement::setAnimatorsTimer(s32 timer)
{
    for (scene::ISceneNodeAnimator* animator : Animators)
        if (CBaseAnimator* base = dynamic_cast<CBaseAnimator*>(animator))
            base->setTimer(timer);
}

CNodeBasement* CNodeBasement::findTextChild(int index) const
{
    for (scene::ISceneNode* child : Children) {
        CNodeBasement* engineChild = fromSceneNode(child);
        if (engineChild && engineChild->Kind == KindText && index-- == 0)
            return engineChild;
    }
    return nullptr;
}

// --- attributes ---

void CNodeBasement::setPseudoOwner(IReferenceCounted* owner)
{
    if (owner)
        getAttributes()->setObject("__PseudoOwner", owner);
}

IReferenceCounted* CNodeBasement::getPseudoOwner() const
{
    return Attributes ? Attributes->getObject("__PseudoOwner") : nullptr;
}

void CNodeBasement::setPseudoOwnerOnRem(IReferenceCounted* owner)
{
    if (owner)
        getAttributes()->setObject("__PseudoOwnerOnRem", owner);
}

CNodeCustomAttribs* CNodeBasement::getAttributes()
{
    if (!Attributes)
        Attributes = new CNodeCustomAttribs;
    return Attributes;
}

CString CNodeBasement::getAttributeString(const char* name, const char* defaultText) const
{
    return Attributes ? Attributes->getString(name, defaultText) : CString(defaultText);
}

void CNodeBasement::setAttributeString(const char* name, const char* value)
{
    getAttributes()->setString(name, value);
}

int CNodeBasement::getAttributeInt(const char* name, int defaultValue) const
{
    return Attributes ? Attributes->getInt(name, defaultValue) : defaultValue;
}

void CNodeBasement::setAttributeInt(const char* name, int value)
{
    getAttributes()->setInt(name, value);
}

float CNodeBasement::getAttributeFloat(const char* name, float defaultValue) const
{
    return Attributes ? Attributes->getFloat(name, defaultValue) : defaultValue;
}

void CNodeBasement::setAttributeFloat(const char* name, float value)
{
    getAttributes()->setFloat(name, value);
}

// --- removal ---

bool CNodeBasement::onDestroy()
{
    int doRemove = 1;
    CEngineBase* engine = getEngine();
    if (Attributes && engine->getPauseLevel() < 90 && engine->GameState < 999) {
        const SSceneHooks& hooks = GetSceneHooks();
        const CString sound = Attributes->getString("__OnDestroySound", "");
        if (!sound.IsEmpty() && hooks.PlaySound)
            hooks.PlaySound(sound);
        const CString script = Attributes->getString("__OnDestroyScript", "");
        if (!script.IsEmpty()) {
            Attributes->setString("__OnDestroyScript", "");   // runs once
            if (hooks.RunDestroyScript)
                doRemove = hooks.RunDestroyScript(script, ID, doRemove);
        }
        const CString animation = Attributes->getString("__OnDestroyAnimation", "");
        if (!animation.IsEmpty()) {
            Attributes->setString("__OnDestroyAnimation", "");
            if (hooks.AddSprite)
                hooks.AddSprite(animation, this, Format("%s:%i", __FILE__, __LINE__));
            doRemove = 0;   // the animation's own description removes the node
        }
    }
    if (doRemove)
        remove();
    return doRemove != 0;
}
