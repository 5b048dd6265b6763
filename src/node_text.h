// The text node: lines of markup text drawn with an engine font, its inline
// objects and effect, the lookups of text nodes, and the on-screen debug line.
#pragma once

#include "node_base.h"
#include "rendering_font.h"

#include <SColor.h>
#include <irrArray.h>
#include <irrString.h>
#include <rect.h>
#include <vector3d.h>

// How the lines of one draw pass are drawn; control lines change it.
struct STextPassState {
    irr::core::stringc overlay;
    irr::core::stringc underlay;
    irr::video::SColor colour;
    int alignment = 0;             // 0 centred, < 0 right, > 0 left
    bool verticalCentre = true;
    bool outline = false;
    CGUIFont3D* font = nullptr;    // borrowed
    irr::core::vector3df offset;
    irr::core::vector3df pen;      // where the next line starts, world units
    irr::core::vector3df spacer;   // added to the next line only
    irr::f32 scale = 1.0f;
    irr::f32 advance = 1.0f;       // lines the next line moves down by
    irr::f32 extraLineHeight = 0;
};

class CTextNode : public CNodeBasement {
public:
    // Built under the parent, which then holds it: the creator drops its own reference.
    CTextNode(irr::scene::ISceneNode* parent, irr::scene::ISceneManager* smgr, const irr::core::vector3df& position,
              const char* text, irr::s32 id);
    ~CTextNode() override;

    void render() override;
    irr::video::SMaterial& getMaterial(irr::u32 i) override;
    irr::u32 getMaterialCount() const override { return 1; }
    irr::u32 getNodeTypeCode() const override;   // 'text'
    virtual void setTextW(const wchar_t* text);
    virtual void setColor(irr::video::SColor colour) { Color = colour; }

    void setText(const char* text);
    const CString& getText() const { return Text; }
    const irr::core::array<irr::core::stringc>& getLines() const { return Lines; }
    void setFont(CGUIFont3D* font);   // grabbed; null draws nothing
    CGUIFont3D* getFont() const { return Font; }
    // Owns the effect from here on; the one held before is destroyed.
    int setTextEffect(CTextEffect* effect, irr::s32 userValue);
    bool setOverlayUnderlay(const char* overlay, const char* underlay);
    irr::f32 getFontScale() const { return FontScale; }
    void clearInlineObjects();

    // A line's markup (the text markup): > 0 a control line, drawn as nothing;
    // < 0 the text was replaced and the pass must end; 0 a text line.
    int processMarkupTag(const irr::core::stringc& line, STextPassState& state);
    // The same with each part of the pass state passed on its own.
    int processMarkupTag(const irr::core::stringc& line, irr::core::stringc& overlay, irr::core::stringc& underlay,
                         irr::core::vector3df& pen, irr::core::vector3df& offset, CGUIFont3D*& font,
                         irr::video::SColor& colour, irr::s32& alignment, bool& verticalCentre, irr::f32& advance,
                         bool& outline, irr::f32& scale, irr::f32& extraLineHeight, irr::core::vector3df& spacer);

    STextDrawContext& getDrawContext() { return DrawContext; }
    const irr::core::rectf& getTextBounds() const { return TextBounds; }
    irr::f32 getLineHeight() const { return LineHeightDrawn; }
    bool isLayoutDone() const { return LayoutDone != 0; }

private:
    bool processOneTimeTags(const irr::core::stringc& line, STextPassState& state);
    void processPassTags(const irr::core::stringc& line, STextPassState& state);
    void addInlinePicture(const CString& attributes, bool isFrame, const STextPassState& state);
    void drawDebugMarker(const irr::core::vector3df& pen);
    bool drawLine(const irr::core::stringc& line, irr::s32 lineIndex, STextPassState& state);
    void fillEffectRecord(irr::s32 lineIndex, irr::core::vector3df& at, STextPassState& state, irr::s32& glyphIndex);

    STextDrawContext DrawContext;
    CString PlayedSounds;              // each name followed by '|'
    irr::core::rectf TextBounds;
    irr::f32 LineHeightDrawn = 0;
    irr::s32 LayoutDone = 0;
    CGUIFont3D* Font = nullptr;        // grabbed
    CString Text;
    irr::f32 FontScale = 1.0f;
    irr::video::SColor Color{255, 255, 255, 255};
    irr::core::array<irr::core::stringc> Lines;
    irr::core::stringc Overlay;
    irr::core::stringc Underlay;
};

// The fill text of an overlay or underlay: s repeated until it is at least
// 80% as wide as the line (one copy at least).
irr::core::stringc makeFillText(const CGUIFont3D* font, const irr::core::stringc& fill, const char* line);

// Inline pictures of texts take IDs 2102..2199, then 2101 on; starts over (tests).
void ResetInlinePictureIds();

// A new text node under the parent; the parent's child list owns it (borrowed result).
CTextNode* createTextNode(const char* text, const irr::core::vector3df& position, irr::scene::ISceneNode* parent,
                          irr::s32 id);
// The node named name + "_text", or null.
CTextNode* findTextNode(const char* name);
// The node's first text child, or null.
CTextNode* getTextNodeOf(irr::scene::ISceneNode* node);

// Lets sprite descriptions with "-Text:" make text nodes, and inline icons
// make their sprites through sprite creation. Once, before the first frame.
void InstallTextNodeMakers();

// A dated line on screen for ms milliseconds, newest at the top; older ones move down.
void printDebugLine(const CString& text, irr::s32 ms);
void clearDebugLines();
