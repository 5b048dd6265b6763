// Natives that create nodes from descriptions, relate scene positions to the
// window and the cursor, and confine the cursor.
#include "module_scripting_funcs.h"

#include "module_enginebase.h"
#include "module_mousekeyb.h"
#include "module_mousekeyb_animators.h"
#include "module_scripting_nodetable.h"
#include "module_userprofile.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "utils_fs.h"

#include <ICameraSceneNode.h>
#include <ISceneCollisionManager.h>
#include <ISceneManager.h>
#include <ISceneNode.h>

using namespace irr;

namespace {

constexpr int EndingGameState = 999;
constexpr f32 NotGiven = -1.0f;
constexpr f32 GivenAbove = -0.001f;

struct SCreateOptions {
    core::vector2df Scale{1, 1};
    core::vector3df Position;
    bool HasRotation = false;
    f32 Rotation = 0;
    int UnderCursor = 0;
    int UnderLastClick = 0;
    int ReturnTable = 0;
    f32 Fade = NotGiven;
    f32 Alpha = NotGiven;
    CString Name;
    s32 Id = 0;
};

// Truncated toward zero; values beyond the pixel range stop at its ends.
int truncToPixel(f32 value)
{
    if (!(value == value))
        return 0;
    return int(core::clamp(value, -1.0e9f, 1.0e9f));
}

SquirrelObject argObject(SQInteger index)
{
    SquirrelObject value;
    value.AttachToStackObject(index);
    return value;
}

// Resolutions of the active profile; never 0, so divisions stay finite.
core::vector2df profileResolution()
{
    CUserProfile* profile = getEngine()->getProfile();
    const int x = profile && profile->XResolution > 0 ? profile->XResolution : 1;
    const int y = profile && profile->YResolution > 0 ? profile->YResolution : 1;
    return core::vector2df(f32(x), f32(y));
}

core::vector3df cameraPosition()
{
    scene::ISceneManager* smgr = getSceneManager();
    scene::ICameraSceneNode* camera = smgr ? smgr->getActiveCamera() : nullptr;
    return camera ? camera->getAbsolutePosition() : core::vector3df(0, 0, 0);
}

core::position2di screenPositionOf(scene::ISceneNode* node)
{
    scene::ISceneManager* smgr = getSceneManager();
    if (!node || !smgr || !smgr->getSceneCollisionManager() || !smgr->getActiveCamera())
        return core::position2di(0, 0);
    return smgr->getSceneCollisionManager()->getScreenCoordinatesFrom3DPosition(node->getAbsolutePosition(),
                                                                                 smgr->getActiveCamera());
}

f32 depthOf(scene::ISceneNode* parent)
{
    scene::ISceneNode* node = parent ? parent : getEngine()->RootNode;
    return node ? node->getAbsolutePosition().Z - cameraPosition().Z : 0.0f;
}

void readCommonOptions(const SquirrelObject& table, SCreateOptions& options)
{
    options.Position = core::vector3df(table.GetFloat("x"), table.GetFloat("y"), table.GetFloat("z"));
    if (table.Exists("r")) {
        options.HasRotation = true;
        options.Rotation = table.GetFloat("r");
    }
    options.UnderCursor = int(table.GetInt("underCursor"));
    options.UnderLastClick = int(table.GetInt("underLastClick"));
    options.ReturnTable = int(table.GetInt("retSprite"));
    if (const char* name = table.GetString("name"))
        options.Name = name;
}

// Gives the node the ID bound to the name; its clickable entry follows it.
void applyName(CNodeBasement* node, const CString& name)
{
    if (name.IsEmpty())
        return;
    const s32 oldId = node->getID();
    node->setIDFromName(name);
    replaceClickableFromScript(node->getID(), oldId);
}

void applyRotation(CNodeBasement* node, const SCreateOptions& options)
{
    if (!options.HasRotation)
        return;
    if (CSpriteNode* sprite = dynamic_cast<CSpriteNode*>(node))
        sprite->setAngle(options.Rotation);
}

CNodeBasement* buildSprite(const char* name, scene::ISceneNode* parent, const SCreateOptions& options)
{
    const CString path = ResolveDataPath(name);
    return addSprite(path, options.Scale.X, options.Scale.Y, options.Position, parent, nullptr, SPRITE_SITE);
}

SQInteger CreateSprite(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const char* name = sa.GetString(2);
    if (!name)
        return 0;
    SCreateOptions options;
    scene::ISceneNode* parent = nullptr;
    if (sa.GetType(3) == OT_STRING) {
        parent = getNodeByName(sa.GetString(3));
        if (sa.GetType(4) == OT_TABLE) {
            SquirrelObject table = argObject(4);
            readCommonOptions(table, options);
            if (table.Exists("w"))
                options.Scale = core::vector2df(table.GetFloat("w"), table.GetFloat("h"));
        }
    } else {
        parent = getNodeFromScriptParam(sa, 4);
        if (sa.GetType(3) == OT_TABLE) {
            SquirrelObject table = argObject(3);
            readCommonOptions(table, options);
            const f32 w = table.GetFloat("w"), h = table.GetFloat("h");
            if (w > 0.001f || h > 0.001f)
                options.Scale = core::vector2df(w, h);
        }
    }
    if (options.UnderCursor != 0) {
        const core::vector3df at = getScenePosAtScreen(depthOf(parent), nullptr);
        options.Position.X = at.X;
        options.Position.Y = at.Y;
    }
    if (options.UnderLastClick != 0) {
        const core::vector3df at = getScenePosAtScreen(depthOf(parent), CInputState::getPressPos());
        options.Position.X = at.X;
        options.Position.Y = at.Y;
    }
    CNodeBasement* node = buildSprite(name, parent, options);
    if (!node)
        return 0;
    applyName(node, options.Name);
    applyRotation(node, options);
    return options.ReturnTable != 0 ? sa.Return(exportWithIds(node)) : 0;
}

void readCreateNodeOptions(const SquirrelObject& table, SCreateOptions& options)
{
    options.Position = core::vector3df(table.GetFloat("x"), table.GetFloat("y"), table.GetFloat("z"));
    if (table.Exists("w"))
        options.Scale.X = table.GetFloat("w");
    if (table.Exists("h"))
        options.Scale.Y = table.GetFloat("h");
    if (table.Exists("rotation")) {
        options.HasRotation = true;
        options.Rotation = table.GetFloat("rotation");
    }
    if (table.Exists("fade"))
        options.Fade = table.GetFloat("fade");
    if (table.Exists("alpha"))
        options.Alpha = table.GetFloat("alpha");
    if (const char* name = table.GetString("name"))
        options.Name = name;
    options.Id = s32(table.GetInt("id"));
}

SQInteger CreateNode(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const char* name = sa.GetString(2);
    if (getEngine()->GameState >= EndingGameState || !name)
        return 0;
    SCreateOptions options;
    scene::ISceneNode* parent = getNodeFromScriptParam(sa, 3);
    if (sa.GetType(4) == OT_TABLE)
        readCreateNodeOptions(argObject(4), options);
    CNodeBasement* node = buildSprite(name, parent, options);
    if (!node)
        return 0;
    if (options.Id != 0 && isScriptNodeIdUsable(options.Id))
        node->setID(options.Id);
    applyName(node, options.Name);
    applyRotation(node, options);
    if (options.Fade >= GivenAbove)
        node->setInheritedAlpha(options.Fade);
    if (options.Alpha >= GivenAbove)
        node->setAlpha(options.Alpha);
    return sa.Return(exportWithIds(node));
}

SquirrelObject pointTable(f32 x, f32 y)
{
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_x", SQFloat(x));
    table.SetValue("_y", SQFloat(y));
    return table;
}

SquirrelObject pixelTable(int x, int y)
{
    SquirrelObject table = SquirrelVM::CreateTable();
    table.SetValue("_x", SQInteger(x));
    table.SetValue("_y", SQInteger(y));
    return table;
}

SQInteger GetNodeOnScreenPosition(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = getNodeFromScriptParam(sa, 2);
    if (!node)
        node = getEngine()->RootNode;
    const core::position2di at = screenPositionOf(node);
    if (sa.GetBool(3))
        return sa.Return(pixelTable(at.X, at.Y));
    const core::vector2df resolution = profileResolution();
    return sa.Return(pointTable(at.X / resolution.X, at.Y / resolution.Y));
}

// The scene point under a screen point at the node's depth; d receives the
// node's position relative to the camera.
core::vector3df scenePointAtNode(scene::ISceneNode* node, const core::vector2di* screenPoint, core::vector3df& d)
{
    d = node->getAbsolutePosition() - cameraPosition();
    return getScenePosAtScreen(d.Z, screenPoint);
}

SQInteger GetCurrentCursorPosition(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = getNodeFromScriptParam(sa, 2);
    const bool flag = sa.GetBool(3);
    if (!node) {
        if (flag) {
            const core::position2di& at = *CInputState::getCursorPos();
            return sa.Return(pixelTable(at.X, at.Y));
        }
        const core::vector2df& at = *CInputState::getRelativeCursorPos();
        return sa.Return(pointTable(at.X, at.Y));
    }
    core::vector3df d;
    const core::vector3df p = scenePointAtNode(node, CInputState::getCursorPos(), d);
    return sa.Return(flag ? pointTable(p.X - d.X, p.Y - d.Y) : pointTable(p.X, p.Y));
}

SQInteger GetLastClickPosition(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    scene::ISceneNode* node = getNodeFromScriptParam(sa, 2);
    if (!node)
        return 0;
    core::vector3df d;
    const core::vector3df p = scenePointAtNode(node, CInputState::getPressPos(), d);
    if (sa.GetBool(3))
        return sa.Return(pointTable(p.X - node->getPosition().X, p.Y - node->getPosition().Y));
    return sa.Return(pointTable(p.X, p.Y));
}

SQInteger SetCurrentCursorPosition(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    if (sa.GetType(2) != OT_TABLE)
        return 0;
    SquirrelObject target = argObject(2);
    const f32 x = target.GetFloat("_x"), y = target.GetFloat("_y");
    scene::ISceneNode* node = getNodeFromScriptParam(sa, 4);
    const core::position2di origin = node ? screenPositionOf(node) : core::position2di(0, 0);
    if (sa.GetBool(3)) {
        CInputState::setCursorPos(truncToPixel(x) + origin.X, truncToPixel(y) + origin.Y);
        return 0;
    }
    const core::vector2df resolution = profileResolution();
    CInputState::setCursorPosF(x + origin.X / resolution.X, y + origin.Y / resolution.Y);
    return 0;
}

SQInteger SetCurrentCursorClipArea(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    f32* clip = CInputState::getCursorClipArea();
    const SQInteger type = sa.GetType(2);
    if (type == OT_NULL || type == -1) {
        clip[0] = clip[1] = clip[2] = clip[3] = 0;
        return 0;
    }
    if (type != OT_TABLE)
        return 0;
    SquirrelObject area = argObject(2);
    f32 left = area.GetFloat("_left"), top = area.GetFloat("_top");
    f32 right = area.GetFloat("_right"), bottom = area.GetFloat("_bottom");
    if (!sa.GetBool(3)) {
        const core::vector2df resolution = profileResolution();
        left *= resolution.X;
        right *= resolution.X;
        top *= resolution.Y;
        bottom *= resolution.Y;
    }
    clip[0] = left;
    clip[1] = top;
    clip[2] = right;
    clip[3] = bottom;
    return 0;
}

SQInteger GetIsLeftButtonDown(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(getEngine()->getInputReceiver()->isLeftButtonDown() != 0);
}

}  // namespace

void registerCreateNatives()
{
    REGISTER_CORE_NATIVE(GetIsLeftButtonDown, "core_GetIsLeftButtonDown", nullptr);
    REGISTER_CORE_NATIVE(CreateSprite, "core_CreateSprite", "*");
    REGISTER_CORE_NATIVE(CreateNode, "core_CreateNode", "*");
    REGISTER_CORE_NATIVE(GetNodeOnScreenPosition, "core_GetNodeOnScreenPosition", "*");
    REGISTER_CORE_NATIVE(GetLastClickPosition, "core_GetLastClickPosition", "*");
    REGISTER_CORE_NATIVE(GetCurrentCursorPosition, "core_GetCurrentCursorPosition", "*");
    REGISTER_CORE_NATIVE(SetCurrentCursorPosition, "core_SetCurrentCursorPosition", "*");
    REGISTER_CORE_NATIVE(SetCurrentCursorClipArea, "core_SetCurrentCursorClipArea", "*");
}
