// The value bar: its controller, the "SLIDRAN" animator and the
// "-Animation.Slider:" row of sprite creation.
#include "node_helpers_valuebar.h"

#include "module_enginebase.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_helpers_desc.h"
#include "node_helpers_frames.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_parse.h"

#include <ISceneNode.h>

#include <cmath>
#include <cstring>

using namespace irr;

namespace {

constexpr f32 StepUnit = 0.00001f;       // the factor's scale per update
constexpr f32 ArrivedDistance = 0.0001f;
constexpr f32 NoElapsedTime = 0.00001f;  // 100 ms units
constexpr f32 EmptyBar = 0.001f;         // at or below: nothing is drawn
constexpr f32 VerticalAngleDeg = 270.0f;
constexpr f32 ImmediateFactor = 1000000.0f;
constexpr f32 SizeEpsilon = 0.0001f;
constexpr f32 FidelityEpsilon = 0.0001f;
constexpr f32 UpdateNowDelta = 10000.0f;

CString bracket(const CString& value, const char* name)
{
    CString sub;
    readBracketValue(value, name, sub);
    return sub;
}

int bracketInt(const CString& value, const char* name) { return StrToInt(bracket(value, name)); }
f32 bracketFloat(const CString& value, const char* name) { return StrToFloat(bracket(value, name)); }

void makeSlider(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char* site)
{
    const CString& value = f.slider;
    if (!node || bracketInt(value, "inactive") != 0)
        return;
    const CString fill = ResolveDataPath(bracket(value, "texture"));
    f32 fidelity = bracketFloat(value, "fidelity");
    if (fidelity <= FidelityEpsilon)
        fidelity = ImmediateFactor;
    f32 w = bracketFloat(value, "w"), h = bracketFloat(value, "h");
    if (std::fabs(w) <= SizeEpsilon && std::fabs(h) <= SizeEpsilon) {
        // The node was made at the working size; the size rules come later.
        const bool independent = bracketInt(value, "indepSize") != 0;
        w = independent ? 1.0f : node->getSize().Width;
        h = independent ? 1.0f : node->getSize().Height;
    }
    CSlideRandom* bar = new CSlideRandom(core::vector3df(0, 0, 0), fill, w, h, node, bracketInt(value, "vertical"));
    bar->setFactor(fidelity);
    bar->setName(bracket(value, "attribute"));
    const int idleMs = bracketInt(value, "discretion");
    if (idleMs > 0)
        bar->setDiscretion(idleMs);
    bar->setDiscretion2(bracketInt(value, "discretion2"));
    const CString edgeName = bracket(value, "textureEdge");
    CNodeBasement* container = bar->getContainer();
    if (!edgeName.IsEmpty() && container)
        bar->setEdgeNode(addSprite(edgeName, 1, 1, core::vector3df(0, 0, 0), container, nullptr, site));
    bar->drop();   // the container and the animator hold it
}

} // namespace

// --- CSlideRandom ---

CSlideRandom::CSlideRandom(const core::vector3df& position, const char* fillName, f32 width, f32 height,
                           scene::ISceneNode* parent, int vertical)
    : Width(width), Height(height), Vertical(vertical)
{
    if (Width < 0 && Height < 0)
        Width = Height = 1;
    buildBar(position, fillName, parent);
}

CSlideRandom::~CSlideRandom() = default;

void CSlideRandom::buildBar(const core::vector3df& position, const char* fillName, scene::ISceneNode* parent)
{
    if (!parent)
        parent = getEngine()->RootNode;
    CNodeBasement* container = createEmptySpriteNode(parent, SharedSpriteId, core::vector3df(0, 0, 0));
    CNodeBasement* fill = nullptr;
    if (container) {
        ContainerSerial = container->getCreationSerial();
        container->setAlpha(0);
        container->setPosition(position);
        // One step above the bar: at its depth the fill and the edge are drawn
        // over the bar's own picture, whichever texture came in first.
        container->setZOrder(1);
        container->setPseudoOwner(this);   // one grab, dropped when the container goes
        fill = addSprite(fillName, Width, Height, core::vector3df(0, 0, 0), container, nullptr, SPRITE_SITE);
    }
    if (fill) {
        FillSerial = fill->getCreationSerial();
        FullWidth = Width = fill->getSize().Width;
        FullHeight = Height = fill->getSize().Height;
        FillBase = fill->getPosition();
    }
    const core::vector3df half = Vertical ? core::vector3df(0, Height / 2, 0) : core::vector3df(Width / 2, 0, 0);
    StartEnd = FillBase - half;
    FarEnd = FillBase + half;
    if (fill) {
        if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(fill))
            sprite->stretchBetween(StartEnd, FarEnd, 0, true, false, Vertical ? VerticalAngleDeg : 0.0f);
        fill->setVisible(false);
    }
    Animator = new CSlideRandomAnimator(this);
    // Without an engine node to carry it the animator goes at once and forgets us.
    attachAnimator(CNodeBasement::fromSceneNode(parent), Animator);
    if (container)
        container->setVisible(true);
    setDiscretion(DefaultIdleMs);
}

void CSlideRandom::setDiscretion(int v)
{
    if (v >= 0) {
        IdlePeriod = v;
        Period = v;
    } else if (MovingPeriod > 0) {
        Period = MovingPeriod;
    }
    if (Animator)
        Animator->setDiscretion(u32(Period));
}

void CSlideRandom::setEdgeNode(CNodeBasement* node)
{
    EdgeSerial = node ? node->getCreationSerial() : 0;
    if (!node)
        return;
    EdgeStart = node->getPosition();
    node->setVisible(false);
}

CNodeBasement* CSlideRandom::getContainer() const { return CNodeBasement::findBySerial(ContainerSerial); }
CNodeBasement* CSlideRandom::getFillNode() const { return CNodeBasement::findBySerial(FillSerial); }
CNodeBasement* CSlideRandom::getEdgeNode() const { return CNodeBasement::findBySerial(EdgeSerial); }

void CSlideRandom::forgetAnimator(const CSlideRandomAnimator* animator)
{
    if (Animator == animator)
        Animator = nullptr;
}

void CSlideRandom::update(f32 delta)
{
    ENGINE_PROFILE("SLIDRAN");
    CNodeBasement* container = getContainer();
    if (!container)
        return;   // deleted on its own: nothing left to show
    CNodeBasement* sprite = CNodeBasement::fromSceneNode(container->getParent());
    if (!Name.IsEmpty() && sprite) {
        Target = sprite->getAttributeFloat(Name, 0.0f);
        if (std::isnan(Target))
            Target = 0;   // a NaN would never arrive and would poison the sizes
        const CString resetKey = Name + "_reset";
        if (sprite->getAttributeInt(resetKey, 0) != 0) {
            sprite->setAttributeInt(resetKey, 0);
            reset();
        }
    }
    if (glide(delta))
        show(getFillNode(), Shown < 1.0f ? Shown : 1.0f);
}

// Moves the shown value; false when it has arrived and nothing needs drawing.
bool CSlideRandom::glide(f32 delta)
{
    if (Shown < 0 || delta < NoElapsedTime) {
        Shown = Target;
        return true;
    }
    const f32 distance = std::fabs(Shown - Target);
    if (distance < ArrivedDistance) {
        if (Period != IdlePeriod)
            setDiscretion(IdlePeriod);
        return false;
    }
    f32 step = Factor * StepUnit;
    if (MovingPeriod > 0 && MovingPeriod != Period) {
        step = 0;   // this update only switches to the moving period
        setDiscretion(-1);
    }
    if (step <= distance)
        Shown += Target > Shown ? step : -step;
    else
        Shown = Target;
    return true;
}

void CSlideRandom::show(CNodeBasement* fill, f32 f)
{
    const core::vector3df current = StartEnd + (FarEnd - StartEnd) * f;
    CNodeBasement* edge = getEdgeNode();
    if (f <= EmptyBar) {
        if (fill)
            fill->setVisible(false);
        if (edge)
            edge->setVisible(false);
        return;
    }
    if (fill) {
        fill->setVisible(true);
        fill->setSize(Vertical ? core::dimension2df(FullWidth, FullHeight * f)
                               : core::dimension2df(FullWidth * f, FullHeight));
        fill->setPosition(StartEnd + (current - StartEnd) * Weight);
        // Cut the picture rather than squeeze it.
        if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(fill)) {
            if (Vertical)
                sprite->revealFrameY(f);
            else
                sprite->revealFrameX(f);
        }
    }
    if (edge) {
        edge->setVisible(true);
        edge->setPosition(EdgeStart + current);
    }
}

// --- CSlideRandomAnimator ---

CSlideRandomAnimator::CSlideRandomAnimator(CSlideRandom* controller) : Controller(controller)
{
    if (Controller)
        Controller->grab();
    setName("SLIDRAN");
}

CSlideRandomAnimator::~CSlideRandomAnimator()
{
    if (!Controller)
        return;
    Controller->forgetAnimator(this);
    Controller->drop();
}

void CSlideRandomAnimator::step(CNodeBasement*, f32 delta, u32)
{
    if (Controller)
        Controller->update(delta);
}

int CSlideRandomAnimator::setAction(const char* name, int)
{
    if (!Controller || !name)
        return 0;
    if (std::strcmp(name, "reset") == 0) {
        Controller->reset();
    } else if (std::strcmp(name, "update") == 0) {
        Controller->reset();
        Controller->update(UpdateNowDelta);
    }
    return 0;
}

void InstallValueBarRowMaker()
{
    GetDescriptionRowMakers().Slider = makeSlider;
}
