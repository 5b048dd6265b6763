// Sprites made from inline descriptions with the effect, timeline and
// position animator rows installed, on the null driver at set device times.
#pragma once

#include "aeffectsanimators.h"
#include "msgbox_recorder.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_stuff_textures.h"

#include <string>

class AnimatorRows : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Root = addRootWithFreshCaches();
        GetSceneHooks().AddSprite = [](const char* name, irr::scene::ISceneNode* parent,
                                       const char* site) -> irr::scene::ISceneNode* {
            return addSprite(name, 1, 1, irr::core::vector3df(0, 0, 0), parent, nullptr, site);
        };
        GetDescriptionRowMakers() = SDescriptionRowMakers();
        InstallEffectRowMakers();
    }
    void TearDown() override
    {
        GetDescriptionRowMakers() = SDescriptionRowMakers();
        NullScene::TearDown();
    }
    // Every description ends in a line break: a last key without one reads as absent.
    static std::string raw(const std::string& body)
    {
        return "raw://\n-Texture:?fill[c1,w64,h32]\n" + body + "\n";
    }
    CSpriteNode* make(const std::string& body, irr::scene::ISceneNode* parent = nullptr,
                      const irr::core::vector3df& position = {0, 0, 0}, const SSpriteCreateInfo* info = nullptr)
    {
        CNodeBasement* node = addSprite(raw(body).c_str(), 1, 1, position, parent, info, SPRITE_SITE);
        return dynamic_cast<CSpriteNode*>(node);
    }
    static size_t animatorCount(CNodeBasement* node) { return node->getAnimators().size(); }

    CProbeNode* Root = nullptr;
    CMessageBoxRecorder Boxes;
};
