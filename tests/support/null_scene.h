// An engine on the null driver with engine nodes that record their drawing,
// and recorders for the scene's hooks (tests).
#pragma once

#include "abaseanimators.h"
#include "module_enginebase.h"
#include "node_base.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// A node that logs its name when drawn and can hand a quad to the batch.
class CProbeNode : public CNodeBasement {
public:
    CProbeNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* smgr, const char* tag,
               std::vector<std::string>* log, const irr::core::vector3df& position = {0, 0, 0});

    void render() override;
    irr::u32 getMaterialCount() const override { return 1; }
    irr::video::SMaterial& getMaterial(irr::u32) override { return Material; }

    std::string Tag;
    std::vector<std::string>* Log;   // borrowed
    irr::video::SMaterial Material;
    bool SubmitsQuad = false;
};

// An animator that counts its steps and remembers their deltas.
class CCountingAnimator : public CBaseAnimator {
public:
    void step(CNodeBasement* node, irr::f32 delta, irr::u32 localMs) override
    {
        Deltas.push_back(delta);
        Times.push_back(localMs);
        if (OnStep)
            OnStep(node);
    }
    void onFinish() override { ++Finishes; }

    std::vector<irr::f32> Deltas;
    std::vector<irr::u32> Times;
    int Finishes = 0;
    std::function<void(CNodeBasement*)> OnStep;
};

// What the destroy hooks were asked to do.
struct SHookLog {
    std::vector<std::string> Sounds;
    std::vector<std::string> Scripts;
    std::vector<std::string> Sprites;
    std::vector<irr::s32> Forgotten;
    int ScriptResult = 1;   // what a destroy script leaves in "_doRemove"
    std::function<void(irr::s32 id)> OnScript;
};

class NullScene : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;   // also empties the sprite and texture caches

    // An engine node under the parent (the scene root when null), borrowed.
    CProbeNode* addNode(const char* tag, irr::scene::ISceneNode* parent = nullptr, irr::s32 id = -1,
                        const irr::core::vector3df& position = {0, 0, 0});
    // The root node "pole" with the root ID, made the engine's root, after the
    // texture and sprite caches are emptied; borrowed.
    CProbeNode* addRootWithFreshCaches();
    // One frame at the device time: animate, register, draw, removals.
    void frame(irr::u32 timeMs);
    irr::u32 now() const;

    CEngineBase Engine;
    irr::scene::ISceneManager* Smgr = nullptr;
    std::vector<std::string> Drawn;
    static SHookLog* Hooks;   // the current test's, while it runs
    SHookLog HookLog;
    SSceneHooks SavedHooks;   // what was installed before this test
};
