// The base of every engine scene node: size, own and inherited alpha, hide
// counter, tint, z-order and layer, custom attributes and the removal hooks;
// the node attribute container; the list of live nodes.
#pragma once

#include "rendering_stuff.h"
#include "utils_str_attribs.h"

#include <IReferenceCounted.h>
#include <SColor.h>
#include <aabbox3d.h>
#include <dimension2d.h>
#include <irrList.h>
#include <irrMap.h>
#include <irrString.h>
#include <vector3d.h>

namespace irr { namespace scene { class ISceneManager; class ISceneNodeAnimator; } }

class CBaseAnimator;

// A node's named values plus named references to counted objects; each held
// object carries one grab of this container.
class CNodeCustomAttribs : public CCustomAttribs {
public:
    CNodeCustomAttribs() = default;
    ~CNodeCustomAttribs() override;

    irr::IReferenceCounted* getObject(const char* name) const;   // borrowed, or null
    // Null does nothing; the new object is grabbed before the old one is dropped.
    void setObject(const char* name, irr::IReferenceCounted* object);
    void removeObject(const char* name);

private:
    irr::core::map<irr::core::stringc, irr::IReferenceCounted*> Objects;
};

// What node removal and the ID cache need from the layers above the scene.
// Their owners install them at start-up; tests install recorders. Null hooks
// do nothing.
struct SSceneHooks {
    void (*PlaySound)(const char* name) = nullptr;   // a one-shot effect
    // Runs a destroy script with a table of "_id" and "_doRemove"; returns "_doRemove" afterwards.
    int (*RunDestroyScript)(const char* code, irr::s32 id, int doRemove) = nullptr;
    // Builds the named sprite under the parent (borrowed result).
    irr::scene::ISceneNode* (*AddSprite)(const char* name, irr::scene::ISceneNode* parent,
                                         const char* callSite) = nullptr;
    void (*ForgetNode)(irr::scene::ISceneNode* node, irr::s32 id) = nullptr;   // the input state
    void (*NodeDestroyed)(irr::scene::ISceneNode* node) = nullptr;             // the input state
};
SSceneHooks& GetSceneHooks();

// Every engine node from construction to destruction while in debug mode
// (borrowed pointers, creation order). The exit sequence names those left.
irr::core::list<irr::scene::ISceneNode*>& GetLiveNodeList();

class CNodeBasement : public CRenderableNode {
public:
    enum ENodeKind { KindSprite, KindText };
    static constexpr irr::s32 DefaultAlphaThreshold = 12;   // of 255

    // Built under the parent, which then holds it: the creator drops its own reference.
    CNodeBasement(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* smgr, irr::s32 id,
                  const irr::core::vector3df& position, const irr::core::dimension2df& size);
    ~CNodeBasement() override;
    CNodeBasement(const CNodeBasement&) = delete;
    CNodeBasement& operator=(const CNodeBasement&) = delete;

    // The engine node behind an Irrlicht node, or null for Irrlicht's own nodes.
    static CNodeBasement* fromSceneNode(irr::scene::ISceneNode* node);
    // The live node of a creation serial, or null once it is gone.
    static CNodeBasement* findBySerial(irr::s32 serial);

    // --- Irrlicht ---
    void OnRegisterSceneNode() override;
    void OnAnimate(irr::u32 timeMs) override;
    void render() override {}
    const irr::core::aabbox3df& getBoundingBox() const override { return NodeBox; }
    void setID(irr::s32 id) override;
    void setPosition(const irr::core::vector3df& position) override;
    void updateAbsolutePosition() override;
    irr::core::matrix4 getRelativeTransformation() const override;

    // --- the engine's own ---
    virtual void setSize(const irr::core::dimension2df& size);   // 0 becomes 1
    virtual const irr::core::dimension2df& getSize() const { return Size; }
    virtual irr::u32 getNodeTypeCode() const;                     // 'bill'
    // Kept free for subclasses; empty everywhere.
    virtual void reservedHook(irr::s32 a, irr::s32 b) {}

    ENodeKind getKind() const { return Kind; }
    irr::s32 getCreationSerial() const { return CreationSerial; }
    // The description the node was made from (CNodeFactory::descriptionName),
    // for error texts; empty for a node made by code.
    const CString& getDescriptionName() const { return DescriptionName; }
    void setDescriptionName(const CString& name) { DescriptionName = name; }

    void setIDFromName(const char* name);
    irr::core::vector3df moveBy(const irr::core::vector3df& delta);

    void setZOrder(irr::s32 z);
    irr::s32 getZOrder() const { return ZOrder; }
    irr::s32 getAbsoluteZ() const override { return AbsoluteZ; }
    void setYSortFactor(irr::s32 factor) { YSortFactor = factor; }

    // Own alpha, 0..1; what is drawn is this times the inherited alpha.
    void setAlpha(irr::f32 alpha) { Alpha = alpha; }
    irr::f32 getAlpha() const { return Alpha; }
    // The fade factor: always set on the whole subtree at once.
    void setInheritedAlpha(irr::f32 alpha);
    irr::f32 getInheritedAlpha() const { return InheritedAlpha; }
    void setAlphaThreshold(irr::s32 threshold);   // whole subtree
    irr::s32 getAlphaThreshold() const { return AlphaThreshold; }
    void setLayer(irr::s32 layer);                // whole subtree
    irr::s32 getLayer() const { return Layer; }
    void setHideCount(irr::s32 count) { HideCount = count; }
    irr::s32 getHideCount() const { return HideCount; }
    void setTint(irr::video::SColor tint) { Tint = tint; }
    irr::video::SColor getTint() const { return Tint; }
    void setAnimatorsEnabled(bool enabled) { AnimatorsEnabled = enabled; }
    bool areAnimatorsEnabled() const { return AnimatorsEnabled; }
    // 0..255; 0 when hidden or below the threshold.
    irr::s32 getEffectiveAlpha() const;

    bool isGeometryValid() const { return GeometryValid; }
    void setGeometryValid(bool valid) { GeometryValid = valid; }

    void setBoxFromSize(irr::f32 scaleX, irr::f32 scaleY);
    void updateRenderBox();
    const irr::core::aabbox3df& getRenderBox() const { return AbsoluteZ != 0 ? RenderBox : NodeBox; }
    irr::core::aabbox3df getTransformedRenderBox() const;

    // Animators by their short name; deep searches the children depth first.
    CBaseAnimator* findAnimatorByName(const char* name, bool deep) const;
    // Queues the removal of every animator so named; returns how many were queued.
    int removeAnimatorsByName(const char* name, bool deep);
    void finishAllAnimators(bool deep);
    void setAnimatorsTimer(irr::s32 timer);
    CNodeBasement* findTextChild(int index) const;

    // Object links kept as attributes; each holds one grab. Null does nothing.
    void setPseudoOwner(irr::IReferenceCounted* owner);
    irr::IReferenceCounted* getPseudoOwner() const;
    void setPseudoOwnerOnRem(irr::IReferenceCounted* owner);

    // Reads never create the container; writes do.
    bool hasAttributes() const { return Attributes != nullptr; }
    CNodeCustomAttribs* getAttributes();
    CString getAttributeString(const char* name, const char* defaultText) const;
    void setAttributeString(const char* name, const char* value);
    int getAttributeInt(const char* name, int defaultValue) const;
    void setAttributeInt(const char* name, int value);
    float getAttributeFloat(const char* name, float defaultValue) const;
    void setAttributeFloat(const char* name, float value);

    bool onDestroy() override;

protected:
    void setKind(ENodeKind kind);

    irr::s32 CreationSerial;
    irr::s32 AlphaThreshold = DefaultAlphaThreshold;
    irr::s32 HideCount = 0;
    irr::f32 Alpha = 1.0f;
    irr::f32 InheritedAlpha = 1.0f;
    irr::video::SColor Tint{255, 255, 255, 255};
    irr::core::dimension2df Size;
    irr::core::aabbox3df NodeBox;
    irr::core::aabbox3df RenderBox;   // the node box moved back by the absolute z
    irr::s32 YSortFactor = 0;
    irr::s32 ZOrder = 0;
    irr::s32 AbsoluteZ = 0;
    bool GeometryValid = false;       // cleared when position or size change
    irr::s32 Layer = 0;
    bool AnimatorsEnabled = true;
    CNodeCustomAttribs* Attributes = nullptr;   // owned; made on the first write
    CString DescriptionName;

private:
    ENodeKind Kind = KindSprite;
};

// prefix + value in upper-case hex (at least minDigits, zero-padded) + "_" + rest:
// the tagged node names, made without printf since every new sprite pays for them.
irr::core::stringc makeHexTaggedName(const char* prefix, irr::u32 value, int minDigits, const char* rest);
