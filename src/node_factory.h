// The node factory: one parsed sprite description, made through the client;
// the create-info record passed with sprite names, the node-table switches,
// frame sequences, and the process-wide cache of parsed descriptions.
#pragma once

#include "utils_str.h"

#include <IReferenceCounted.h>
#include <irrArray.h>
#include <irrString.h>
#include <irrTypes.h>
#include <vector3d.h>

#include <cstdint>
#include <vector>

namespace irr { namespace scene { class ISceneNode; } }

class CBaseAnimator;
class CCustomAttribs;
class CNodeBasement;

// The not-set mark of rotations and angles.
constexpr irr::f32 AngleNotSet = 999.01f;

// Options a caller passes with a sprite name; copied by value.
struct SSpriteCreateInfo {
    SSpriteCreateInfo() { reset(); }
    // A copy of the record, or a reset one for null.
    explicit SSpriteCreateInfo(const SSpriteCreateInfo* other);
    void reset();

    uint32_t partsAsChildren;   // parts are built under the sprite instead of beside it
    uint32_t noParts;           // the description's "[Sprite]" parts are not built
    uint32_t cloneId;           // the clone number handed to script-method animators
    uint32_t nodeId;            // non-zero: the new node's ID
    uint32_t noSounds;          // no create sound, no sound loop
    uint32_t noCache;           // the parsed description is not cached
    CString ownerPath;          // base file of relative texture names; a part's description path
    uint32_t partIndex;         // number of a "[Sprite]" part, the first part being 2
    uint32_t isPart;            // a part record: size and position parameters are not applied again
    CString partName;           // "!spr.part(N):" + the description's source path
    CString replaceText;        // description text used instead of the one read for the name
};

// Which groups of keys a node's script table carries.
struct SNodeTableFlags {
    int Position = 1;   // "_x", "_y", "_z"
    int Size = 1;       // "_w", "_h"
    int Rotation = 1;   // "_rotation"
    int Alpha = 1;      // "_alpha"
    int Fade = 1;       // "_fade"
    int Tint = 1;       // "_tintR", "_tintG", "_tintB"
    int Ids = 0;        // "_id", "_parentid", "_name", "_pointer"
};

// One atlas cell of a frame animation.
struct SFrameCell {
    irr::s32 Column;
    irr::s32 Row;
};

// The cells a frame animation steps through, in playing order.
class CFrameSequence : public irr::IReferenceCounted {
public:
    CFrameSequence() = default;
    CFrameSequence(const CFrameSequence&) = delete;
    CFrameSequence& operator=(const CFrameSequence&) = delete;

    // Appends (first, row) .. (last, row), both ends included.
    void addRowRun(irr::s32 first, irr::s32 last, irr::s32 row);
    irr::u32 size() const { return Cells.size(); }
    const SFrameCell& operator[](irr::u32 index) const { return Cells[index]; }

    irr::core::array<SFrameCell> Cells;
};

// The shared preset grids; each call hands the caller one reference.
CFrameSequence* getPresetGrid8x1();
CFrameSequence* getPresetGrid8x2();
CFrameSequence* getPresetGrid16x1();

class CNodeFactory : public irr::IReferenceCounted {
public:
    CNodeFactory();
    ~CNodeFactory() override;
    CNodeFactory(const CNodeFactory&) = delete;
    CNodeFactory& operator=(const CNodeFactory&) = delete;

    // Every field to its default; the texture path becomes the name's data path.
    void reset(const char* sourceName);
    // Fills the fields from a description text (see node_factory.cpp).
    void parseSpriteDescription(const char* text, const CStringArray* params, const SSpriteCreateInfo* info);

    // The game's hooks: further keys after the parse, further effects on a finished node.
    virtual void parseCustomKeys(const CString& text, const CStringArray* params, const SSpriteCreateInfo* info) {}
    virtual void applyCustomEffects(CNodeBasement* node, const SSpriteCreateInfo* info) {}

    // Control.
    int initialized = 0;
    CString texturePath;
    // The name the description was asked for by: its file, a part of a file
    // ("!spr.part(N):" + file) or inline text ("raw://..."); for error texts.
    CString descriptionName;
    std::vector<SSpriteCreateInfo> parts;

    // Identity and hierarchy.
    CString name;
    uint32_t localId = 0;
    CString parentName;
    CString text;
    CString label, labelFormat;

    // Geometry. sizeFlags: 1 width follows height, 2 height follows width,
    // 4 size from the texture, 8 size not scaled by the caller.
    irr::core::vector3df position;
    int zOrder = 0;
    CString anchorName;
    irr::f32 size[2] = {1, 1};
    int sizeFlags = 0;
    irr::f32 sizeFromParent[2] = {0, 0};
    irr::f32 align[2] = {0, 0};
    irr::f32 alignInParent[2] = {0, 0};
    irr::f32 rotation = AngleNotSet;
    int mapY2Z = 0;

    // Texture and material.
    irr::f32 textureTile[2] = {0, 0};
    irr::f32 atlasX = 0, atlasY = 0, atlasR = 0, atlasB = 0, atlasW = 0, atlasH = 0;
    int materialType = -1;
    CString materialTypeName;
    int textureFiltering = 3;
    int renderOrder = 4;
    uint32_t tint = 0;

    // Visibility and alpha.
    irr::f32 alpha = 1.0f;
    int alphaTime = 0, alphaDelay = 0;
    irr::f32 alphaMinVisible = -1.0f;
    irr::f32 fade = 1.0f;
    int fadeTime = 0, fadeDelay = 0;
    int invisible = 0;
    int visible = 1;

    // Switches.
    uint32_t asMutable = 0, asEffect = 0, asStatic = 0, ignoreSprite = 0;
    CString asParticle;
    int makeClones = 0;
    int selfDestructTime = 0, selfDestructFade = 0;
    int hideParent = 0;
    CString hideIf;

    // Sounds and actions.
    CString soundOnCreate, sound, soundOnDestroy, actionOnCreate, actionOnInit, actionOnDestroy;
    uint32_t extendedCalls = 0;

    // Mouse.
    CString clickImage, clickAction, rightClickAction, dragBeginAction, clickSound, autodisableAction,
        autodisableImage;
    int clickThrough = 0, clickBlock = 0, clickSpeed = 0, pixelPerfect = 0, hotkey = 0;
    CString overImage, overSound, mouseInAction, mouseOutAction, tooltip, tooltipFormat, tooltipScript;
    int tooltipDelay = 0;

    // Animations.
    int hasAnimations = 0;
    CString timeline, groupSet, groupClear, flashMovie, slider, scriptMethod, scriptMethodArg,
        animationOnCreate, animationOnDestroy;
    int textureAnimTime = 0;
    CString textureAnimMode;
    int moveMode = 0, moveTime = 0, moveRepeat = 0;
    irr::core::vector3df moveTarget;
    irr::f32 textureScroll[2] = {0, 0};
    int pulsarTime = 0;
    irr::f32 pulsarA = 0, pulsarL = 0, pulsarP = 1.0f;
    int pulsarF = 0;
    irr::f32 pulsarR = 0;
    int generatorTime = 0, generatorR = 0;
    int generatorInside = 1, generatorFollow = 0;   // not reset: read only with generatorTime
    irr::f32 generatorAngle = 0;
    irr::core::array<irr::core::stringc> generatorTextures;
    irr::f32 rotationAnimS = 0, rotationAnimT = 0, rotationAnimF = AngleNotSet;
    irr::f32 sizeAnimS = 0, sizeAnimT = 0;
    int baseTimer = 0;
    CString textEditorAt, textEditorD;
    int textEditorS = 0;

    CCustomAttribs* customAttribs = nullptr;   // owned; made by the first "-Custom.Attributes:"

    // Set when "-Texture:" was absent or empty (the sprite shows the empty image).
    bool textureless = false;

private:
    void readMainKeys(const CString& text, const CStringArray* params, const SSpriteCreateInfo* info);
    void readGeometryKeys(const CString& text);
    void readAlphaKeys(const CString& text);
    void readSwitchKeys(const CString& text);
    void readAnimationKeys(const CString& text, const SSpriteCreateInfo* info);
    void readCompactEventKeys(const CString& text, const SSpriteCreateInfo* info);
    void readLongEventKeys(const CString& text, const SSpriteCreateInfo* info);
    void applyBuildParams(const CStringArray* params, const SSpriteCreateInfo* info);
    void splitParts(CString& text, const SSpriteCreateInfo* info);
    CString resolve(const char* path, const SSpriteCreateInfo* info) const;
};

// Reads every "-Custom.Attributes:" value of the text into the set; true when one was found.
bool parseCustomAttributes(const char* text, CCustomAttribs& attribs);

// Where a sprite came from, for error texts: "the sprite 'NAME' of 'FILE'",
// "the sprite of 'FILE'" without a name, "an inline sprite" for inline text.
// FILE is without the "?parameters" of the use.
CString DescribeSprite(const char* descriptionName, const char* spriteName);

// Attaches the animator and, when the description has animations and a group
// name, names the animator after the group. Returns the animator (borrowed).
CBaseAnimator* attachParsedAnimator(const CNodeFactory* factory, CNodeBasement* node, CBaseAnimator* animator);

// --- sprite cache (node_factory_cache.cpp) ---

// The parsed description of a sprite name (exactly as spelled, parameters
// included), parsed on a miss and cached unless mutable or refused by the
// record. One reference for the caller.
CNodeFactory* getSpriteDescription(const char* name, const char* text, const CStringArray* params,
                                   const SSpriteCreateInfo* info);
void clearSpriteCache();
int getSpriteCacheSize();
// "\n" + the file's text + "\n"; a missing file gives two line breaks.
bool loadSpriteText(const char* path, CString& text);
// Splits "name?a=1&b=2" into "name" and the parameters; false for an empty name.
bool splitSpriteNameAndParams(CString& name, CStringArray* params);
void appendSpriteParam(CString& name, const char* paramName, const char* value);

// Installs the engine's macro host: the manifest's macros, then the client's.
void InstallEngineMacroHost();
// Back to the stand-alone host, unless another host replaced the engine's.
void UninstallEngineMacroHost();
