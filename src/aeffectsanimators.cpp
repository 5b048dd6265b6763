// Alpha pulse, sound loop, texture scroller, sprite generator and script
// method animators, and their rows in sprite creation.
#include "aeffectsanimators.h"

#include "aeffectsanimators_timeline.h"
#include "apositionanimators.h"
#include "module_enginebase.h"
#include "module_scripting.h"
#include "module_scripting_nodetable.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "server_sound_bass.h"
#include "utils_debug.h"
#include "utils_math_misc.h"

#include <cmath>
#include <cstring>

using namespace irr;

// --- CAlphaPulsarAnimator ---

CAlphaPulsarAnimator::CAlphaPulsarAnimator(s32 halfPeriodMs, f32 high)
    : HighSource(&High), High(high), HalfPeriod(halfPeriodMs)
{
}

void CAlphaPulsarAnimator::setRange(f32* highSource, f32 low)
{
    if (highSource)
        HighSource = highSource;
    Low = low;
}

void CAlphaPulsarAnimator::onAttach(CNodeBasement* node)
{
    if (node)
        node->setAlphaThreshold(0);
}

void CAlphaPulsarAnimator::animate(CNodeBasement* node, u32 localMs)
{
    ENGINE_PROFILE("PULSAR");
    if (HalfPeriod == 0)
        return;
    const f32 e = f32(u32(localMs - getStartTime() + u32(Phase)));
    f32 v = MapRange(std::cos(e * core::PI / f32(HalfPeriod)), -1.0f, 1.0f, Low, *HighSource);
    if (MaxChange > 0) {
        const f32 current = Mode == 0 ? node->getAlpha() : node->getInheritedAlpha();
        v = current + core::clamp(v - current, -MaxChange, MaxChange);
    }
    if (Mode == 0)
        node->setAlpha(v);
    else
        node->setInheritedAlpha(v);
}

// --- CSoundLoopAnimator ---

CSoundLoopAnimator::CSoundLoopAnimator(const char* soundName)
    : Slot(getEngine()->getSoundServer()->playLoopedEffect(CString(soundName ? soundName : ""), -1.0f))
{
}

CSoundLoopAnimator::~CSoundLoopAnimator()
{
    if (Slot >= 0)
        getEngine()->getSoundServer()->stopLoopedEffect(Slot);
}

// --- CTextureScrollerAnimator ---

void CTextureScrollerAnimator::step(CNodeBasement* node, f32 delta, u32)
{
    if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node))
        sprite->shiftUV(core::vector2df(Du * delta, Dv * delta));
}

// --- CSpriteGeneratorAnimator ---

CSpriteGeneratorAnimator::CSpriteGeneratorAnimator(s32 t, s32 r, s32 c, const core::array<core::stringc>& names)
    : Interval(t), RandomExtra(r), AsChild(c)
{
    for (u32 i = 0; i < names.size(); ++i)
        if (!names[i].empty())
            Names.push_back(names[i]);
}

void CSpriteGeneratorAnimator::animate(CNodeBasement* node, u32 localMs)
{
    ENGINE_PROFILE("ANIM-RNDSPRGEN");
    if (NextSpawn == 0)
        NextSpawn = localMs + u32(Interval) + u32(RandomInt(0, RandomExtra));
    if (localMs <= NextSpawn)
        return;
    const core::vector3df cur = node->getPosition();
    if (!PositionKnown) {
        LastPosition = cur;
        PositionKnown = 1;
    }
    if (Follow && LastPosition.getDistanceFrom(cur) < 0.01f)
        return;
    NextSpawn = 0;
    if (Names.empty()) {
        if (!EmptyReported)
            DebugLog("Sprite generator without sprite names spawns nothing");
        EmptyReported = true;
        LastPosition = cur;
        return;
    }
    s32 index = RandomInt(0, s32(Names.size()));
    index = core::clamp(index, 0, s32(Names.size()) - 1);
    const core::dimension2df size = node->getSize();
    CNodeBasement* made = AsChild != 0
        ? addSprite(Names[u32(index)].c_str(), size.Width, size.Height, core::vector3df(0, 0, 0), node, nullptr, SPRITE_SITE)
        : addSprite(Names[u32(index)].c_str(), size.Width, size.Height, cur, node->getParent(), nullptr, SPRITE_SITE);
    if (Follow && made) {
        if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(made))
            sprite->setAngle(DirectionToRotation(cur - LastPosition, AngleOffset));
    }
    LastPosition = cur;
}

// --- CScriptMethodAnimator ---

void SplitScriptMethod(const char* text, CString& method, CString& argument)
{
    const char* t = text ? text : "";
    while (*t == ' ' || *t == '\t' || *t == '\r' || *t == '\n')
        ++t;
    const size_t nameEnd = std::strcspn(t, " ()");
    method = CString(t).Left(int(nameEnd));
    method.TrimLeft();
    method.TrimRight();
    argument = "";
    const char* open = std::strchr(t, '(');
    if (!open)
        return;
    const char* close = std::strchr(open + 1, ')');
    const size_t length = close ? size_t(close - open - 1) : std::strlen(open + 1);
    argument = CString(open + 1).Left(int(length));
    argument.TrimLeft("\r\n\t \"");
    argument.TrimRight("\r\n\t \"");
}

CScriptMethodAnimator::CScriptMethodAnimator(const CString& main, const CString& init)
{
    SplitScriptMethod(main, MainMethod, MainArgument);
    SplitScriptMethod(init, InitMethod, InitArgument);
}

void CScriptMethodAnimator::onAttach(CNodeBasement* node)
{
    if (node)
        node->setHideCount(node->getHideCount() + 1);
}

void CScriptMethodAnimator::readFlags()
{
    setDiscretion(u32(Table.GetInt("_affectDiscretion")));
    Flags.Position = int(Table.GetInt("_affectPosition"));
    Flags.Rotation = int(Table.GetInt("_affectRotation"));
    Flags.Size = int(Table.GetInt("_affectSize"));
    Flags.Alpha = int(Table.GetInt("_affectAlpha"));
    Flags.Fade = int(Table.GetInt("_affectFade"));
    Flags.Tint = int(Table.GetInt("_affectColor"));
    Flow = s32(Table.GetInt("_affectFlow"));
    SharedMode = s32(Table.GetInt("_sharedMode"));
}

void CScriptMethodAnimator::firstStep(CNodeBasement* node)
{
    if (node->getHideCount() > 0)
        node->setHideCount(node->getHideCount() - 1);
    Table = SquirrelVM::CreateTable();
    Table.SetValue("_affectDiscretion", SQInteger(getDiscretion()));
    for (const char* key : {"_affectPosition", "_affectRotation", "_affectSize", "_affectAlpha", "_affectFade",
                            "_affectColor", "_affectFlow"})
        Table.SetValue(key, SQInteger(1));
    Flags = SNodeTableFlags();
    Table.SetValue("_sharedMode", SQInteger(SharedMode));
    Table.SetValue("_switchEffectTo", "");
    Table.SetValue("_cancel", SQInteger(0));
    Table.SetValue("_dieNow", SQInteger(0));
    Table.SetValue("_doInit", SQInteger(1));
    Table.SetValue("_time", SQFloat(0));
    Table.SetValue("_delta", SQFloat(0));
    Table.SetValue("_cloneNumber", SQInteger(CloneNumber));
    SNodeTableFlags withIds = Flags;
    withIds.Ids = 1;
    exportNodeToTable(withIds, node, Table);
    CScriptModule* scripts = getEngine()->getScripts();
    if (!InitMethod.IsEmpty()) {
        Table.SetValue("_parameter", (const char*)InitArgument);
        scripts->callPrecompiledMethod(InitMethod, Table);
    }
    Table.SetValue("_parameter", (const char*)MainArgument);
    if (InitMethod.IsEmpty())
        scripts->callPrecompiledMethod(MainMethod, Table);
    Table.SetValue("_doInit", SQInteger(0));
    readFlags();
    Flags.Ids = 0;
    importNodeFromTable(Flags, node, Table);
    Initialised = 1;
}

void CScriptMethodAnimator::step(CNodeBasement* node, f32 delta, u32 localMs)
{
    if (isRemoved() || !SquirrelVM::IsOpen())
        return;
    // The script may remove this animator or delete the node from inside the call.
    grab();
    node->grab();
    if (!Initialised) {
        firstStep(node);
        if (Table.GetInt("_cancel") != 0)
            removeThisAnimator();
    }
    if (!isRemoved()) {
        Table.SetValue("_time", SQInteger(s32(localMs - getStartTime())));
        Table.SetValue("_delta", SQFloat(delta));
        if (SharedMode)
            exportNodeToTable(Flags, node, Table);
        getEngine()->getScripts()->callPrecompiledMethod(MainMethod, Table);
        importNodeFromTable(Flags, node, Table);
        bool marked = false;
        if (Flow != 0) {
            if (Table.GetInt("_dieNow") != 0) {
                removeThisAnimator();
                deleteNode(node);
                marked = true;
            } else {
                const char* next = Table.GetString("_switchEffectTo");
                if (next && *next && MainMethod != next)
                    MainMethod = next;
                marked = Table.GetInt("_cancel") != 0;
            }
        }
        if (!isRemoved() && (marked || MainMethod.GetLength() <= 5))
            removeThisAnimator();
    }
    node->drop();
    drop();
}

// --- rows of sprite creation ---

namespace {

void makeTimeline(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    CScriptedAnimator* timeline = new CScriptedAnimator(f.timeline);
    timeline->setOwner(DescribeSprite(f.descriptionName, f.name));
    attachParsedAnimator(&f, node, timeline);
}

void makeMove(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    attachParsedAnimator(&f, node, new CMoveAnimator(f.moveMode, &f.moveTarget, u32(f.moveTime), f.moveRepeat));
}

void makeScroller(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    attachParsedAnimator(&f, node, new CTextureScrollerAnimator(f.textureScroll[0], f.textureScroll[1]));
}

void makePulsar(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    CAlphaPulsarAnimator* pulsar = new CAlphaPulsarAnimator(f.pulsarTime, f.pulsarA);
    attachParsedAnimator(&f, node, pulsar);
    pulsar->setRange(nullptr, f.pulsarL);
    pulsar->setPhase(FloatToInt(f32(f.pulsarTime) * f.pulsarP));
    pulsar->setMode(f.pulsarF);
    pulsar->setMaxChange(f.pulsarR);
}

void makeGenerator(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    CSpriteGeneratorAnimator* generator =
        new CSpriteGeneratorAnimator(f.generatorTime, f.generatorR, f.generatorInside, f.generatorTextures);
    generator->setFollowMovement(f.generatorFollow);
    generator->setAngleOffset(f.generatorAngle);
    attachParsedAnimator(&f, node, generator);
}

void makeRotation(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    CRotationAnimator* rotation = new CRotationAnimator(f.rotationAnimT, f.rotationAnimS);
    // The "not given" mark is a float read from text: compare with a tolerance.
    if (std::fabs(f.rotationAnimF - AngleNotSet) > 0.001f)
        rotation->setTarget(f.rotationAnimF * core::PI / 180.0f);
    attachParsedAnimator(&f, node, rotation);
}

void makeSize(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    const core::dimension2df size = node->getSize();
    attachParsedAnimator(&f, node, new CSizeDownAnimator(size.Width, size.Height, FloatToInt(f.sizeAnimT),
                                                         size.Width * f.sizeAnimS, size.Height * f.sizeAnimS));
}

void makeSoundLoop(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo*, const char*)
{
    attachAnimatorStopped(node, new CSoundLoopAnimator(f.sound));
}

void makeScriptMethod(const CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo* info, const char*)
{
    CScriptMethodAnimator* script = new CScriptMethodAnimator(f.scriptMethod, f.scriptMethodArg);
    if (info)
        script->setCloneNumber(s32(info->cloneId));
    attachParsedAnimator(&f, node, script);
}

} // namespace

void InstallEffectRowMakers()
{
    SDescriptionRowMakers& makers = GetDescriptionRowMakers();
    makers.Timeline = makeTimeline;
    makers.Move = makeMove;
    makers.TextureScroller = makeScroller;
    makers.AlphaPulsar = makePulsar;
    makers.Generator = makeGenerator;
    makers.Rotation = makeRotation;
    makers.Size = makeSize;
    makers.SoundLoop = makeSoundLoop;
    makers.ScriptMethod = makeScriptMethod;
}
