// Sprite creation: a sprite name (a ".spr" description with "?" parameters,
// an inline "raw://" description or an image file) becomes a node tree with
// the description's fields, animators and handlers applied.
#pragma once

#include "node_factory.h"

#include <irrTypes.h>
#include <vector3d.h>

namespace irr { namespace scene { class ISceneNode; } }

class CNodeBasement;

// Builds the sprite under the parent (the root "pole" when null). Returns the
// node, borrowed: the parent's child list owns it. Null when the particle
// budget refuses it, "-IgnoreSprite:" is set, or the name cannot be built.
// For "-AsEffect:" the result is the parent itself.
CNodeBasement* addSprite(const char* name, irr::f32 scaleX, irr::f32 scaleY, const irr::core::vector3df& position,
                         irr::scene::ISceneNode* parent, const SSpriteCreateInfo* createInfo = nullptr,
                         const char* site = nullptr);

// Destroy and create animations of nodes are built by addSprite.
void InstallSpriteCreationHook();

// The call site text handed to addSprite.
#define SPRITE_SITE (__FILE__ ":" ENGINE_SITE_LINE(__LINE__))
#define ENGINE_SITE_LINE(line) ENGINE_SITE_LINE2(line)
#define ENGINE_SITE_LINE2(line) #line

// The keys whose makers live in other families of the scene. Each maker
// builds its animators or nodes for the finished description and attaches
// them (through attachParsedAnimator where the row asks for a group name);
// addSprite calls it in the fixed order only when the row's condition holds.
// A row whose maker is not installed makes nothing.
using DescriptionRowMaker = void (*)(const CNodeFactory& description, CNodeBasement* node,
                                     const SSpriteCreateInfo* createInfo, const char* site);
struct SDescriptionRowMakers {
    DescriptionRowMaker Timeline = nullptr;          // "-Animation.Timeline:"
    DescriptionRowMaker Move = nullptr;              // "-Animation.Move:"
    DescriptionRowMaker TextureScroller = nullptr;   // "-Animation.TextureScroller:"
    DescriptionRowMaker AlphaPulsar = nullptr;       // "-Animation.AlphaPulsar:"
    DescriptionRowMaker Generator = nullptr;         // "-Animation.Generator:"
    DescriptionRowMaker Rotation = nullptr;          // "-Animation.Rotation:"
    DescriptionRowMaker Size = nullptr;              // "-Animation.Size:"
    DescriptionRowMaker Flash = nullptr;             // "-Animation.Flash:"
    DescriptionRowMaker Label = nullptr;             // "-Label:" with its text editor
    DescriptionRowMaker Slider = nullptr;            // "-Animation.Slider:"
    DescriptionRowMaker MouseOver = nullptr;         // over image, sound, in and out scripts
    DescriptionRowMaker Tooltip = nullptr;           // tooltip text, script and delay
    DescriptionRowMaker Click = nullptr;             // click, right-click, drag, auto-disable
    DescriptionRowMaker ClickBlock = nullptr;        // click block
    DescriptionRowMaker SoundLoop = nullptr;         // "sound" of "-Events:"
    DescriptionRowMaker ScriptMethod = nullptr;      // "-Animation.ByScriptMethod:", "-Animation.Scripted:"
    DescriptionRowMaker CreateAction = nullptr;      // the create action's script timer
};
SDescriptionRowMakers& GetDescriptionRowMakers();

// Makes the text node of a "-Text:" description (borrowed result, or null).
using SpriteTextNodeMaker = CNodeBasement* (*)(const char* text, const irr::core::vector3df& position,
                                               irr::scene::ISceneNode* parent, irr::s32 id);
SpriteTextNodeMaker SetSpriteTextNodeMaker(SpriteTextNodeMaker maker);

// The frame sequence and grid of an "-Animation.Texture:" m text; null for an
// empty or oversized grid. One reference for the caller.
CFrameSequence* makeTextureAnimationGrid(const char* mode, irr::f32& columns, irr::f32& rows);

// Applies the animator rows of one step of the field application (9, 10,
// 18 to 24 and 26 as numbered in node_helpers.cpp; parts and clones come
// between 24 and 26).
void applyDescriptionRows(int step, const CNodeFactory& description, CNodeBasement* node,
                          irr::scene::ISceneNode* parent, const SSpriteCreateInfo* createInfo = nullptr,
                         const char* site = nullptr);
