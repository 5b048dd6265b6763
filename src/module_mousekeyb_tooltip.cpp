// The tooltip animator and the row of sprite creation that builds it.
#include "module_mousekeyb_animators.h"

#include "asystemanimators.h"
#include "clock.h"
#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "module_scripting_nodetable.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_text.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_str_lng.h"

#include <ISceneNode.h>

using namespace irr;

std::atomic<int32_t> liveTooltipCount{0};
int32_t tooltipSerial = 0;

namespace {

int32_t nextTooltipSerial()
{
    if (++tooltipSerial >= CTooltipAnimator::SerialCount)
        tooltipSerial = 0;
    return tooltipSerial;
}

} // namespace

CTooltipAnimator::CTooltipAnimator(const CString& text, const core::vector3df& position,
                                   scene::ISceneNode* textParent)
    : Serial(nextTooltipSerial()), Text(text), Position(position), TextParent(nullptr)
{
    setTextParent(textParent);
}

CTooltipAnimator::~CTooltipAnimator()
{
    // A shown text node stays: it goes by its own fader or with its parent.
    if (Node)
        getInputState()->removeClickable(Node);
    setTextParent(nullptr);
}

void CTooltipAnimator::setTextParent(scene::ISceneNode* parent)
{
    if (TextParentGrabbed)
        TextParent->drop();
    TextParent = parent;
    // The node holds this animator, so only another node is held here.
    TextParentGrabbed = parent && parent != Node;
    if (TextParentGrabbed)
        parent->grab();
}

void CTooltipAnimator::onAttach(CNodeBasement* node)
{
    Node = node;
    if (TextParent == node && TextParentGrabbed) {
        TextParent->drop();
        TextParentGrabbed = false;
    }
    getInputState()->addClickable(node, 0);
}

bool CTooltipAnimator::isHovered() const
{
    return Node && *CInputState::getHoveredNodeId() == Node->getID() && getInputState()->checkModality(Node);
}

void CTooltipAnimator::animate(CNodeBasement*, u32 localMs)
{
    ENGINE_PROFILE("TOOLTIP");
    if (isHovered()) {
        showStep(localMs);
        return;
    }
    ShowAt = 0;   // a hover that ends before the tip shows starts no clock for the next
    const int32_t live = liveTooltipCount;
    if (Shown == 0 && LastLiveCount == live)
        return;
    Shown = 0;
    LastLiveCount = live;
    removeTooltip();
}

void CTooltipAnimator::showStep(u32 localMs)
{
    if (Delay != 0 && ShowAt == 0)
        ShowAt = localMs + Delay;
    if (ShowAt != 0 && ShowAt > localMs)
        return;
    bool refresh = false;
    if (RefreshDue != 0 && platform::GetTickCount() > RefreshDue) {
        RefreshDue = 0;
        refresh = true;
        Shown = 0;
    }
    if (Shown == 1)
        return;
    Shown = 1;
    CheckMainThread();

    scene::ISceneNode* tip = refresh ? getNodeById(getTipId(), nullptr) : nullptr;
    CString animation;
    if (!Script.IsEmpty() && !runScript(refresh, tip, animation))
        return;
    CNodeBasement* tipNode = CNodeBasement::fromSceneNode(tip);
    if (refresh && tipNode) {
        if (CTextNode* textNode = dynamic_cast<CTextNode*>(tipNode))
            textNode->setText(Text);
    }
    if (!tipNode) {
        tipNode = createTextNode(Text, Position, TextParent, SharedSpriteId);
        if (!tipNode)
            return;
        tipNode->setLayer(TipLayer);
        attachAnimator(tipNode, new CCounterAnimator(&liveTooltipCount));
        tipNode->setID(getTipId());
    }
    if (!animation.IsEmpty())
        addSprite(animation, 1, 1, core::vector3df(0, 0, 0), tipNode, nullptr, SPRITE_SITE);
}

bool CTooltipAnimator::runScript(bool refresh, scene::ISceneNode* tip, CString& animation)
{
    if (!SquirrelVM::IsOpen())
        return false;
    SquirrelObject table = SquirrelVM::CreateTable();
    exportNodeToTable(SNodeTableFlags(), Node, table);
    SquirrelObject result = getEngine()->getScripts()->callPrecompiledMethod(Script, table, nullptr);
    if (result.GetType() == OT_STRING) {
        Text = result.ToString();
        return true;
    }
    if (result.GetType() != OT_TABLE) {
        // Null, a number or a failed script: no tooltip until the cursor comes back.
        removeTooltip();
        return false;
    }
    if (result.Exists("_x"))
        Position.X = f32(result.GetFloat("_x"));
    if (result.Exists("_y"))
        Position.Y = f32(result.GetFloat("_y"));
    if (result.Exists("_z"))
        Position.Z = f32(result.GetFloat("_z"));
    if (result.Exists("_parent"))
        setTextParent(getNodeFromScriptObject(result.GetValue("_parent")));
    if (result.Exists("_animation")) {
        const char* text = result.GetString("_animation");
        animation = text ? text : "";
    }
    if (result.Exists("_refresh")) {
        const SQInteger ms = result.GetInt("_refresh");
        if (ms != 0)
            RefreshDue = platform::GetTickCount() + uint32_t(ms);
    }
    const char* newText = result.GetString("_text");
    const CString text(newText ? newText : "");
    if (refresh && text == Text && tip && isNodeTrulyVisible(tip))
        return false;
    Text = text;
    return true;
}

void CTooltipAnimator::removeTooltip()
{
    CNodeBasement* tip = CNodeBasement::fromSceneNode(getNodeById(getTipId(), nullptr));
    if (!tip)
        return;
    if (liveTooltipCount > 1 || !tip->getAttributeString("__OnDestroyAnimation", "").IsEmpty()) {
        deleteNode(tip);
        return;
    }
    if (tip->findAnimatorByName(FaderName, false))
        return;
    CBaseAnimator* fader = attachAnimator(tip, new CSelfDestroyAnimator(1000, 300));
    if (fader)
        fader->setName(FaderName);
}

// --- the row of sprite creation ---

void makeTooltipRow(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    CString text;
    if (!f.tooltipFormat.IsEmpty()) {
        text = f.tooltipFormat;
        DecodeLngText(text);
        text += "\n";
    }
    if (f.tooltip.GetLength() > 0 && f.tooltip.GetAt(0) == '?')
        text += (const char*)f.tooltip + 1;
    else
        text += GetLngText(f.tooltip);
    getEngine()->expandMacros(text, nullptr, nullptr);
    CTooltipAnimator* tooltip = new CTooltipAnimator(text, core::vector3df(0, 0, 0), node);
    tooltip->setScriptFunction(f.tooltipScript);
    tooltip->setDelay(u32(f.tooltipDelay > 0 ? f.tooltipDelay : 0));
    attachParsedAnimator(&f, node, tooltip);
}
