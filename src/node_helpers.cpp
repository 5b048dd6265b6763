// Sprite creation: the description, the parent, the node, the fields in their
// fixed order, then texture, material, size rules and the init script.
#include "node_helpers.h"

#include "afadeanimators.h"
#include "module_enginebase.h"
#include "module_scripting_nodetable.h"
#include "node_base.h"
#include "node_factory_macros.h"
#include "node_helpers_desc.h"
#include "node_helpers_parts.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "rendering_stuff_particles.h"
#include "rendering_stuff_textures.h"
#include "utils_debug.h"
#include "utils_engine_context.h"
#include "utils_fs.h"
#include "utils_math_misc.h"
#include "utils_str_attribs.h"
#include "utils_str_lng.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"
#include "utils_system_common.h"

#include <ISceneManager.h>

#include <atomic>
#include <cmath>

using namespace irr;

namespace {

constexpr int RawPrefixLength = 6;
// Descriptions whose texture is another description nest; a cycle would not end.
constexpr int MaxSpriteNesting = 16;
constexpr f32 MaterialParam = 0.01f;

int g_nesting = 0;
std::atomic<SpriteTextNodeMaker> g_textNodeMaker{nullptr};

// Drops the description's reference when creation leaves.
struct SFactoryHold {
    CNodeFactory* Factory;
    explicit SFactoryHold(CNodeFactory* factory) : Factory(factory) {}
    ~SFactoryHold()
    {
        if (Factory)
            Factory->drop();
    }
    SFactoryHold(const SFactoryHold&) = delete;
    SFactoryHold& operator=(const SFactoryHold&) = delete;
};

struct SNestingGuard {
    SNestingGuard() { ++g_nesting; }
    ~SNestingGuard() { --g_nesting; }
    SNestingGuard(const SNestingGuard&) = delete;
    SNestingGuard& operator=(const SNestingGuard&) = delete;
};

void warn(const CString& text)
{
    DebugLog(text);
    EngineMessageBox(text, MB_OK);
}

scene::ISceneNode* rootNode()
{
    CEngineBase* engine = getEngine();
    if (engine->RootNode)
        return engine->RootNode;
    return engine->SceneManager ? engine->SceneManager->getRootSceneNode() : nullptr;
}

bool isBlank(const CString& text)
{
    for (const char* c = text; *c; ++c)
        if (!IsSpaceChar((unsigned char)*c))
            return false;
    return true;
}

// The parsed description of the name; imageOnly when the name is a picture.
CNodeFactory* readDescription(const char* name, const SSpriteCreateInfo* info, bool& imageOnly)
{
    imageOnly = false;
    // A part carries its own text; its name says nothing about the file kind.
    if (info && info->isPart && !info->replaceText.IsEmpty()) {
        ENGINE_PROFILE("ADDSPR-READPART");
        return getSpriteDescription(name, info->replaceText, nullptr, info);
    }
    const int type = GetFileType(name);
    if (type == FileTypeRaw) {
        ENGINE_PROFILE("ADDSPR-READRAW");
        // Padded like a file's text, so that a last key without a line break still reads.
        const CString text = CString("\n") + (name + RawPrefixLength) + "\n";
        return getSpriteDescription(name, text, nullptr, info);
    }
    CNodeFactory* factory = nullptr;
    {
        ENGINE_PROFILE("ADDSPR-READSPR");
        CString file(name);
        CStringArray params;
        splitSpriteNameAndParams(file, &params);
        expandSpriteMacros(file, &params, info);
        if (type != FileTypeImage) {
            CString text;
            const bool replaced = info && !info->replaceText.IsEmpty();
            if (replaced)
                text = info->replaceText;
            else
                loadSpriteText(file, text);
            // A missing file has had the file layer's box already.
            if (isBlank(text) && (replaced || FileExists(ResolveDataPath(file))))
                EngineMessageBox(Format("Empty sprite in '%s'!", (const char*)file), MB_OK);
            factory = getSpriteDescription(name, text, &params, info);
        }
    }
    if (factory)
        return factory;
    ENGINE_PROFILE("ADDSPR-READPNG");
    imageOnly = true;
    factory = getSpriteDescription(name, "", nullptr, info);
    factory->texturePath = resolveTexturePath(name, "", info ? (const char*)info->ownerPath : "");
    return factory;
}

// "-Parent:" as a name or as "-N" levels up, keeping the place on screen.
scene::ISceneNode* resolveParent(const CNodeFactory& f, scene::ISceneNode* parent, core::vector3df& position,
                                 const char* name)
{
    const CString& wanted = f.parentName;
    if (wanted.IsEmpty())
        return parent;
    if (wanted[0] != '-' && findIdByName(wanted) == 0) {
        FatalError(Format("Sprite trying to connect to\nunknown node by name.\nUnaccessible parent: '%s'",
                          (const char*)wanted),
                   false);
        return parent;
    }
    ENGINE_PROFILE("ADDSPR-GETPARENT");
    if (wanted[0] == '-') {
        const int levels = StrToInt((const char*)wanted + 1);
        for (int i = 0; i < levels; ++i) {
            if (!parent->getParent()) {
                warn(Format("Sprite parent '%s' climbs past the root in '%s'", (const char*)wanted, name));
                break;
            }
            position += parent->getPosition();
            parent = parent->getParent();
        }
        return parent;
    }
    scene::ISceneNode* found = getNodeById(getIdByName(wanted), nullptr);
    if (!found) {
        warn(Format("Sprite parent '%s' is gone; '%s' goes under the root", (const char*)wanted, name));
        return rootNode();
    }
    return found;
}

void nameNode(const CNodeFactory& f, scene::ISceneNode* node)
{
    CNodeBasement* engineNode = CNodeBasement::fromSceneNode(node);
    if (!f.name.IsEmpty() && engineNode)
        engineNode->setIDFromName(f.name);
    else if (f.localId != 0)
        node->setID(s32(f.localId));
}

// A text description makes a text node and nothing else.
CNodeBasement* makeTextSprite(const CNodeFactory& f, const core::vector3df& position, scene::ISceneNode* parent)
{
    SpriteTextNodeMaker maker = g_textNodeMaker.load();
    if (!maker) {
        DebugLog(Format("No text nodes yet for the sprite text '%s'", (const char*)f.text));
        return nullptr;
    }
    CString shown = f.text[0] == '?' ? CString((const char*)f.text + 1) : GetLngText(f.text);
    CNodeBasement* node = maker(shown, position, parent, SharedSpriteId);
    if (node)
        nameNode(f, node);
    return node;
}

void applyAlphas(const CNodeFactory& f, CNodeBasement* node)
{
    if (f.alphaTime != 0) {
        const f32 start = f.alpha > 0 ? 0.0f : node->getAlpha();
        node->setAlpha(start);
        createAlphaAnimator(node, f.alphaTime, start, f.alpha, f.alphaDelay);
    } else {
        node->setAlpha(f.alpha);
    }
    // A fade without a time is not applied: descriptions rely on it.
    if (f.fadeTime != 0) {
        const f32 start = f.fade > 0 ? 0.0f : node->getInheritedAlpha();
        node->setInheritedAlpha(start);
        createFadeAnimator(node, f.fadeTime, start, f.fade, f.fadeDelay);
    }
}

void applyAtlasCell(const CNodeFactory& f, CSpriteNode* sprite)
{
    if (!sprite || (f.atlasW <= 0.001f && f.atlasH <= 0.001f))
        return;
    if (f.atlasR > 0 || f.atlasB > 0)
        sprite->setFrameCell(f.atlasX, f.atlasY, f.atlasW, f.atlasH, f.atlasR != 0 ? f.atlasR : 1,
                             f.atlasB != 0 ? f.atlasB : 1);
    else
        sprite->setFrame(f.atlasX, f.atlasY, f.atlasW, f.atlasH);
}

// What the call itself was given; parts and clones repeat it.
struct SSpriteCall {
    const char* Name;
    f32 ScaleX, ScaleY;
    core::vector3df Position;          // without the description's own position
    core::dimension2df WorkingSize;    // before the size rules
};

// The plain fields in their fixed order, with the animator rows between them.
void applyFields(const CNodeFactory& f, CNodeBasement* node, scene::ISceneNode* parent,
                 const SSpriteCreateInfo* info, const char* site, const SSpriteCall& call)
{
    ENGINE_PROFILE("ADDSPR-APPL EFFS");
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    nameNode(f, node);
    if (f.mapY2Z != 0)
        node->setYSortFactor(f.mapY2Z);
    node->setVisible(f.visible != 0);
    node->setHideCount(f.invisible);
    if (f.alphaMinVisible > -0.001f)
        node->setAlphaThreshold(FloatToInt(f.alphaMinVisible * 256.0f));
    applyAlphas(f, node);
    applyDescriptionRows(9, f, node, parent, info, site);
    applyDescriptionRows(10, f, node, parent, info, site);
    applyAtlasCell(f, sprite);
    if (!f.soundOnDestroy.IsEmpty())
        node->setAttributeString("__OnDestroySound", f.soundOnDestroy);
    if (!f.actionOnDestroy.IsEmpty())
        node->setAttributeString("__OnDestroyScript", f.actionOnDestroy);
    if (f.tint != 0)
        node->setTint(video::SColor(f.tint));
    if (f.asStatic)
        node->setAnimatorsEnabled(false);
    // The "not set" mark is a float read from text: compare with a tolerance.
    if (sprite && std::fabs(f.rotation - AngleNotSet) > 0.001f)
        sprite->setAngle(f.rotation);
    node->setZOrder(f.zOrder);
    if (f.customAttribs)
        node->getAttributes()->copyFrom(*f.customAttribs);
    for (int step = 18; step <= 24; ++step)
        applyDescriptionRows(step, f, node, parent, info, site);
    makeSpritePartsAndClones(f, node, call.Name, call.ScaleX, call.ScaleY, call.Position, call.WorkingSize, parent,
                             info);
    applyDescriptionRows(26, f, node, parent, info, site);
}

void setFiltering(scene::ISceneNode* node, int level)
{
    if (getEngine()->Options.HiQuality == 0)
        level = 0;
    const bool allThree = level == 3 && getEngine()->Options.Renderer == 5;
    node->setMaterialFlag(video::EMF_BILINEAR_FILTER, allThree || level == 1);
    node->setMaterialFlag(video::EMF_TRILINEAR_FILTER, allThree || level == 2);
    node->setMaterialFlag(video::EMF_ANISOTROPIC_FILTER, level == 3);
}

void setTextureAndMaterial(const CNodeFactory& f, CNodeBasement* node)
{
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    node->setName(makeHexTaggedName("Spr", u32(node->getID()), 1, GetPathPart(f.texturePath, 0, 0, 1, 1)));
    STextureRegion region;
    {
        ENGINE_PROFILE("RETRTEXT");
        region = retrieveTexture(f.texturePath);
    }
    if (!region.Texture) {
        FatalError(Format("ERROR: Failed to load\n'%s'", (const char*)f.texturePath), false);
        return;
    }
    if (sprite)
        sprite->setTextureRegion(region);
    if (node->getMaterialCount() > 0) {
        node->getMaterial(0).Wireframe = false;
        node->getMaterial(0).MaterialTypeParam = MaterialParam;
    }
    for (video::E_MATERIAL_FLAG flag : {video::EMF_LIGHTING, video::EMF_ZBUFFER, video::EMF_ZWRITE_ENABLE,
                                        video::EMF_GOURAUD_SHADING, video::EMF_NORMALIZE_NORMALS})
        node->setMaterialFlag(flag, false);
    CCustomMaterials& materials = getEngine()->Renderer.getMaterials();
    const s32 type = !f.materialTypeName.IsEmpty() ? materials.findMaterialType(f.materialTypeName)
                                                   : materials.getMaterialType(f.materialType < 0 ? 0 : f.materialType);
    node->setMaterialType(video::E_MATERIAL_TYPE(type));
    node->setLayer(f.renderOrder);
}

// Size rules on the working size; true when one applied.
bool applySizeRules(const CNodeFactory& f, CNodeBasement* node, const STextureRegion* region, core::dimension2df& size)
{
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    const f32 pieceW = region ? f32(region->getWidth()) : 0.0f;
    const f32 pieceH = region ? f32(region->getHeight()) : 0.0f;
    const f32 columns = sprite && sprite->getFrameColumns() > 0 ? sprite->getFrameColumns() : 1.0f;
    const f32 rows = sprite && sprite->getFrameRows() > 0 ? sprite->getFrameRows() : 1.0f;
    bool changed = false;
    // A zero piece (no texture size, as on the null driver) has nothing to follow.
    if ((f.sizeFlags & 4) && pieceW > 0 && pieceH > 0) {
        const f32 pixel = GetEngineContext().getDefaultPixelSize();
        size.Width = pieceW / columns * size.Width * pixel;
        size.Height = pieceH / rows * size.Height * pixel;
        changed = true;
    }
    if ((f.sizeFlags & 1) && pieceH > 0) {
        size.Width = pieceW * size.Height / pieceH * rows / columns;
        changed = true;
    }
    if ((f.sizeFlags & 2) && pieceW > 0) {
        size.Height = pieceH * size.Width / pieceW * columns / rows;
        changed = true;
    }
    CNodeBasement* parent = CNodeBasement::fromSceneNode(node->getParent());
    if (parent && f.sizeFromParent[0] != 0) {
        size.Width = parent->getSize().Width * f.sizeFromParent[0];
        changed = true;
    }
    if (parent && f.sizeFromParent[1] != 0) {
        size.Height = parent->getSize().Height * f.sizeFromParent[1];
        changed = true;
    }
    return changed;
}

void applyPlacement(const CNodeFactory& f, CNodeBasement* node, const core::dimension2df& size)
{
    core::vector3df position = node->getPosition();
    CNodeBasement* parent = CNodeBasement::fromSceneNode(node->getParent());
    if (parent && (f.alignInParent[0] != 0 || f.alignInParent[1] != 0)) {
        position.X += f.alignInParent[0] * parent->getSize().Width;
        position.Y += f.alignInParent[1] * parent->getSize().Height;
    }
    if (f.align[0] != 0 || f.align[1] != 0) {
        position.X += f.align[0] * size.Width;
        position.Y += f.align[1] * size.Height;
    }
    node->setPosition(position);
    if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node)) {
        if (f.textureTile[0] != 0)
            sprite->revealFrameX(f.textureTile[0] > 0 ? f.textureTile[0] : -f.textureTile[0] * size.Width);
        if (f.textureTile[1] != 0)
            sprite->revealFrameY(f.textureTile[1] > 0 ? f.textureTile[1] : -f.textureTile[1] * size.Height);
    }
}

void runInitAction(const CNodeFactory& f, CNodeBasement* node)
{
    if (f.actionOnInit.IsEmpty() || !SquirrelVM::IsOpen())
        return;
    SNodeTableFlags flags;
    flags.Ids = 1;
    SquirrelObject table = SquirrelVM::CreateTable();
    exportNodeToTable(flags, node, table);
    getEngine()->getScripts()->callPrecompiledMethod(f.actionOnInit, table);
    importNodeFromTable(flags, node, table);
}

// Texture and geometry.
void applyTextureAndGeometry(const CNodeFactory& f, CNodeBasement* node, core::dimension2df size)
{
    if (!f.asEffect)
        setTextureAndMaterial(f, node);
    setFiltering(node, f.textureFiltering);
    CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node);
    const STextureRegion* region = sprite && sprite->getTextureRegion().Texture ? &sprite->getTextureRegion() : nullptr;
    if (applySizeRules(f, node, region, size))
        node->setSize(size);
    applyPlacement(f, node, size);
    node->setMaterialFlag(video::EMF_BACK_FACE_CULLING, false);
    node->setAutomaticCulling(scene::EAC_OFF);
    runInitAction(f, node);
}

// The node the description lands on; nested when it came from a nested description.
CNodeBasement* makeNode(const CNodeFactory& f, scene::ISceneNode* parent, const core::vector3df& position,
                        const core::dimension2df& size, const SSpriteCreateInfo* info, const char* site,
                        bool& nested)
{
    nested = false;
    if (f.asEffect) {
        CNodeBasement* decorated = CNodeBasement::fromSceneNode(parent);
        if (!decorated)
            return nullptr;
        decorated->setPosition(decorated->getPosition() + position);
        const core::dimension2df own = decorated->getSize();
        decorated->setSize(core::dimension2df(own.Width * size.Width, own.Height * size.Height));
        return decorated;
    }
    if (GetFileType(f.texturePath) == FileTypeDescription) {
        SSpriteCreateInfo copy(info);
        copy.replaceText.Empty();
        copy.ownerPath = GetPathPart(f.texturePath, 1, 1, 0, 0);
        CNodeBasement* node = addSprite(f.texturePath, size.Width, size.Height, position, parent, &copy, site);
        if (node)
            nameNode(f, node);
        nested = true;
        return node;
    }
    ENGINE_PROFILE("ADDSPR-NEWNODE");
    CSpriteNode* sprite = new CSpriteNode(parent, getEngine()->SceneManager, SharedSpriteId, position, size);
    sprite->drop();   // the parent holds it
    return sprite;
}

void applyGroupAndCustomEffects(CNodeFactory& f, CNodeBasement* node, const SSpriteCreateInfo* info)
{
    if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node))
        if (!f.asParticle.IsEmpty())
            sprite->setParticleGroup(f.asParticle);
    if (info && info->nodeId != 0)
        node->setID(s32(info->nodeId));
    if (f.hasAnimations && !f.groupClear.IsEmpty()) {
        core::array<core::stringc> groups = SplitString(f.groupClear, ',', false);
        for (u32 i = 0; i < groups.size(); ++i)
            node->removeAnimatorsByName(groups[i].c_str(), true);
    }
    ENGINE_PROFILE("ADDSPR-APPL CUSTOM EFFS");
    f.applyCustomEffects(node, info);
}

} // namespace

void InstallSpriteCreationHook()
{
    GetSceneHooks().AddSprite = [](const char* name, scene::ISceneNode* parent, const char* site) -> scene::ISceneNode* {
        return addSprite(name, 1, 1, core::vector3df(0, 0, 0), parent, nullptr, site);
    };
}

SpriteTextNodeMaker SetSpriteTextNodeMaker(SpriteTextNodeMaker maker)
{
    return g_textNodeMaker.exchange(maker);
}

CNodeBasement* addSprite(const char* name, f32 scaleX, f32 scaleY, const core::vector3df& position,
                         scene::ISceneNode* parent, const SSpriteCreateInfo* info, const char* site)
{
    ENGINE_PROFILE("ADDSPR");
    if (!name || !*name)
        return nullptr;
    if (!parent)
        parent = rootNode();
    CheckMainThread();
    if (!parent)
        return nullptr;
    if (g_nesting >= MaxSpriteNesting) {
        warn(Format("Sprite descriptions nest too deep (a texture naming its own description?) at '%s'", name));
        return nullptr;
    }
    SNestingGuard nesting;
    bool imageOnly = false;
    SFactoryHold hold(readDescription(name, info, imageOnly));
    CNodeFactory& f = *hold.Factory;
    if (!canSpawnParticleGroup(f.asParticle) || f.ignoreSprite)
        return nullptr;
    core::vector3df where = position + f.position;
    parent = resolveParent(f, parent, where, name);
    core::dimension2df size(scaleX * f.size[0], scaleY * f.size[1]);
    if (f.sizeFlags & 8)
        size = core::dimension2df(f.size[0], f.size[1]);
    if (!f.text.IsEmpty()) {
        CNodeBasement* text = makeTextSprite(f, where, parent);
        if (text)
            text->setDescriptionName(f.descriptionName);
        return text;
    }
    if (!f.anchorName.IsEmpty())
        if (scene::ISceneNode* anchor = getNodeByName(f.anchorName))
            where += anchor->getAbsolutePosition() - parent->getAbsolutePosition();
    bool nested = false;
    CNodeBasement* node = makeNode(f, parent, where, size, info, site, nested);
    if (!node)
        return nullptr;
    if (!f.asEffect)   // an effect decorates its parent, which keeps its own
        node->setDescriptionName(f.descriptionName);   // the outer description names a nested one
    applyGroupAndCustomEffects(f, node, info);
    if (!imageOnly)
        applyFields(f, node, parent, info, site, SSpriteCall{name, scaleX, scaleY, position, size});
    if (!nested)
        applyTextureAndGeometry(f, node, size);
    return node;
}
