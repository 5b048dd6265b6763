// The null-driver scene fixture.
#include "null_scene.h"

#include "module_mousekeyb.h"
#include "node_factory.h"
#include "node_utilities.h"
#include "rendering.h"
#include "rendering_stuff_textures.h"

#include <ISceneManager.h>
#include <ITimer.h>
#include <IVideoDriver.h>
#include <IrrlichtDevice.h>

using namespace irr;

SHookLog* NullScene::Hooks = nullptr;

CProbeNode::CProbeNode(scene::ISceneNode* parent, scene::ISceneManager* smgr, const char* tag,
                       std::vector<std::string>* log, const core::vector3df& position)
    : CNodeBasement(parent, smgr, -1, position, core::dimension2df(1, 1)), Tag(tag), Log(log)
{
}

void CProbeNode::render()
{
    if (Log)
        Log->push_back(Tag);
    if (!SubmitsQuad)
        return;
    const video::SColor white(255, 255, 255, 255);
    const core::vector3df p = getAbsolutePosition();
    const video::S3DVertex quad[4] = {
        {p.X, p.Y, p.Z, 0, 0, -1, white, 0, 1}, {p.X, p.Y + 1, p.Z, 0, 0, -1, white, 0, 0},
        {p.X + 1, p.Y + 1, p.Z, 0, 0, -1, white, 1, 0}, {p.X + 1, p.Y, p.Z, 0, 0, -1, white, 1, 1}};
    core::matrix4 identity;
    getRenderer()->submitToBatch(&identity, &Material, quad);
}

void NullScene::SetUp()
{
    ResetNodeRegistry();
    Engine.ForceNullDriver = true;
    Engine.createDevice();
    ASSERT_NE(Engine.Device, nullptr);
    Engine.Device->getTimer()->stop();
    Engine.Device->getTimer()->setTime(1000);
    Smgr = Engine.SceneManager;
    Hooks = &HookLog;
    getInputState();   // installs its hooks now, so that TearDown's restore keeps them
    SSceneHooks& hooks = GetSceneHooks();
    SavedHooks = hooks;
    hooks.PlaySound = [](const char* name) { Hooks->Sounds.push_back(name); };
    hooks.RunDestroyScript = [](const char* code, s32 id, int doRemove) {
        Hooks->Scripts.push_back(code);
        if (Hooks->OnScript)
            Hooks->OnScript(id);
        return Hooks->ScriptResult;
    };
    hooks.AddSprite = [](const char* name, scene::ISceneNode* parent, const char*) -> scene::ISceneNode* {
        Hooks->Sprites.push_back(name);
        return parent;
    };
    hooks.ForgetNode = [](scene::ISceneNode*, s32 id) { Hooks->Forgotten.push_back(id); };
}

void NullScene::TearDown()
{
    Engine.RootNode = nullptr;
    Engine.Renderer.processDeferredRemovals();
    if (Smgr)
        Smgr->getRootSceneNode()->removeAll();
    // The input state installs its hooks once per process: later tests need them back.
    GetSceneHooks() = SavedHooks;
    Hooks = nullptr;
    ResetNodeRegistry();
    clearSpriteCache();
    CTextureCache::instance().clear();
}

CProbeNode* NullScene::addNode(const char* tag, scene::ISceneNode* parent, s32 id, const core::vector3df& position)
{
    CProbeNode* node = new CProbeNode(parent ? parent : Smgr->getRootSceneNode(), Smgr, tag, &Drawn, position);
    node->drop();   // the parent holds it
    if (id != -1)
        node->setID(id);
    return node;
}

void NullScene::frame(u32 timeMs)
{
    Engine.Device->getTimer()->setTime(timeMs);
    Engine.Driver->beginScene(false, false);
    Engine.Renderer.renderNodes();
    Engine.Driver->endScene();
}

u32 NullScene::now() const
{
    return Engine.Device->getTimer()->getTime();
}

CProbeNode* NullScene::addRootWithFreshCaches()
{
    CTextureCache::instance().clear();
    clearSpriteCache();
    CProbeNode* root = addNode("pole", nullptr, RootNodeId);
    Engine.RootNode = root;
    return root;
}
