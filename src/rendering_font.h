// The engine font: glyphs cut from one texture, read from an XML font file,
// measured in font units and drawn glyph by glyph through the 2D batch.
#pragma once

#include "utils_serialize_storage.h"
#include "utils_str.h"

#include <IGUIFont.h>
#include <S3DVertex.h>
#include <SColor.h>
#include <SMaterial.h>
#include <dimension2d.h>
#include <irrArray.h>
#include <irrMap.h>
#include <irrString.h>
#include <matrix4.h>
#include <rect.h>
#include <vector2d.h>
#include <vector3d.h>

namespace irr {
class ITimer;
namespace scene { class ISceneManager; class ISceneNode; }
namespace video { class ITexture; class IVideoDriver; }
}

class CTextNode;

// One glyph of the table; pixel measures are font-image pixels.
struct SFontGlyph {
    irr::core::recti Rect;
    irr::core::dimension2di Size;   // the rect's size, or an icon's own size
    irr::f32 A = 0;                 // left bearing: drawn as an offset of the quad
    irr::f32 B = 0;                 // black-box width: kept, never used in layout
    irr::f32 C = 0;                 // right bearing: part of the advance
    irr::f32 OffsetX = 0;           // part of the advance
    irr::f32 OffsetY = 0;           // drawn as a vertical offset of the quad
    bool IsBlank = false;           // the glyph of code 32
    irr::core::stringc Name;        // the icon name of an icon glyph
};

// One inline icon of a "font-icons" file.
class CFontIconsReader : public CSerializable {
public:
    void serialize(CXMLStorage& storage) override;

    irr::core::stringc Spr;         // sprite description or image that shows the icon
    irr::f32 Width = 0;             // font units; 0: the template glyph's size
    irr::f32 Height = 0;
    irr::s32 GlyphIndex = 0;        // its entry in the glyph table
    irr::core::vector3df Offset;    // added to the icon sprite's position
};

// What the line drawer reports about the glyph it has just read.
struct SFontGlyphInfo {
    CFontIconsReader* Icon = nullptr;   // borrowed; null for a plain character
    CString Arg;                        // the text after '?' in an icon reference
};

// A per-run text effect; the line drawer fills the record before every glyph.
class CTextEffect {
public:
    virtual ~CTextEffect() = default;
    virtual int prepare() { return 1; }   // before each line; 0 stops the node's pass
    virtual int apply() = 0;              // before each glyph; 0 ends the line

    irr::u32 startTime = 0;               // device ms
    irr::s32 nodeId = 0;
    irr::s32 elapsed = 0;                 // ms
    irr::f32 runProgress = 0;
    irr::s32 runGlyph = 0;
    irr::s32 textGlyph = 0;
    irr::s32 runLength = 0;
    irr::f32 lineFraction = 0;
    irr::s32 lineIndex = 0;
    irr::s32* glyphIndex = nullptr;
    irr::core::vector3df* position = nullptr;
    irr::core::vector3df* pen = nullptr;
    irr::core::vector2df* glyphSize = nullptr;
    irr::video::SColor* colour = nullptr;
    irr::f32* scale = nullptr;
    irr::f32* factor = nullptr;
    irr::f32* angle = nullptr;
    irr::s32 userValue = 0;
    CTextNode* node = nullptr;            // borrowed: the owner
};

// The record a text node shares with the line drawer.
struct STextDrawContext {
    irr::core::array<irr::s32> imageIds;
    irr::s32 iconCursor = 0;
    irr::core::array<irr::scene::ISceneNode*> iconNodes;   // made by the line drawer; null entries allowed
    CTextEffect* effect = nullptr;                         // owned by the node
    irr::scene::ISceneNode* owner = nullptr;               // borrowed: the text node
};

// Makes the sprite of an inline icon under the owner (the scene layer installs
// it; the font cannot reach the node factory). Returns a borrowed node or null.
using FontIconSpriteMaker = irr::scene::ISceneNode* (*)(const CString& name, irr::scene::ISceneNode* owner,
                                                        const char* site);
void SetFontIconSpriteMaker(FontIconSpriteMaker maker);

// Receives every glyph quad instead of the renderer's 2D batch (tests); null
// goes back to the batch.
using FontQuadSink = void (*)(const irr::core::matrix4* transform, const irr::video::SMaterial* material,
                              const irr::video::S3DVertex* vertices);
void SetFontQuadSink(FontQuadSink sink);

class CGUIFont3D : public irr::gui::IGUIFont {
public:
    // The driver is grabbed; the scene manager (the active camera) and the
    // timer (effects) are borrowed. Any may be null: without a driver
    // nothing loads, without a camera nothing is drawn.
    explicit CGUIFont3D(irr::video::IVideoDriver* driver = nullptr, irr::scene::ISceneManager* smgr = nullptr,
                        irr::ITimer* timer = nullptr);
    ~CGUIFont3D() override;
    CGUIFont3D(const CGUIFont3D&) = delete;
    CGUIFont3D& operator=(const CGUIFont3D&) = delete;

    [[nodiscard]] bool loadXmlFont(const char* file);
    void loadIcons(const char* file);
    virtual void setDrawScale(irr::f32 x, irr::f32 y, irr::f32 size);
    void setGlyphFilter(bool on);

    // Control characters give the blank glyph, never a negative index.
    static int getGlyphIndex(char c);
    irr::s32 getGlyphCount() const { return irr::s32(Glyphs.size()); }
    // Clamped into the table; an empty glyph while the table is empty.
    const SFontGlyph& getGlyph(irr::s32 index) const
    {
        return Glyphs.size() > 0 ? Glyphs[clampIndex(index)] : emptyGlyph();
    }
    irr::f32 getUnit() const { return Unit; }
    irr::s32 getLineHeight() const { return LineHeightPx; }
    irr::f32 getDrawSize() const { return DrawSize; }
    irr::f32 getXScale() const { return XScale; }
    irr::f32 getYScale() const { return YScale; }
    irr::f32 getMasterScale() const { return MasterScale; }
    const irr::core::recti& getGaps() const { return Gaps; }
    irr::video::ITexture* getTexture() const { return Texture; }   // borrowed
    irr::video::SMaterial& getMaterial() { return Material; }
    irr::f32& getKerningWidthRef() { return KerningWidth; }
    irr::f32& getKerningHeightRef() { return KerningSpace; }

    // Line drawing (rendering_font_draw.cpp); sizes in font units.
    irr::s32 getNextGlyph(const char*& cursor, SFontGlyphInfo* info) const;
    irr::core::vector2df glyphSize(irr::s32 index) const;
    irr::core::vector2df glyphAdvance(irr::s32 index) const;
    irr::core::vector2df getTextDimension(const char* text) const;
    // measured: the text's getTextDimension, when the caller has it already.
    void drawText(const char* text, irr::core::vector3df position, irr::video::SColor colour, int align,
                  bool verticalCentre, irr::f32 scale, bool outline, STextDrawContext* context,
                  irr::core::rectf* bounds, const irr::core::vector2df* measured = nullptr);
    void drawGlyph(const irr::core::vector3df& position, irr::s32 index, const irr::video::SColor* colour,
                   irr::f32 scale, irr::f32 angle);

    // IGUIFont
    void draw(const irr::core::stringw& text, const irr::core::recti& position, irr::video::SColor color,
              bool hcenter = false, bool vcenter = false, const irr::core::recti* clip = nullptr) override;
    irr::core::dimension2du getDimension(const wchar_t* text) const override;
    irr::s32 getCharacterFromPos(const wchar_t* text, irr::s32 pixelX) const override { return -1; }
    irr::gui::EGUI_FONT_TYPE getType() const override { return irr::gui::EGFT_CUSTOM; }
    void setKerningWidth(irr::s32 kerning) override {}
    void setKerningHeight(irr::s32 kerning) override {}
    irr::s32 getKerningWidth(const wchar_t* thisLetter = nullptr,
                             const wchar_t* previousLetter = nullptr) const override { return 0; }
    irr::s32 getKerningHeight() const override { return 0; }
    void setInvisibleCharacters(const wchar_t* s) override {}

    irr::f32 BaseLine = 0;     // raises every glyph, world units at size 1
    irr::f32 LineHeight = 0;   // added to a line's height by the text node

private:
    // Inline: the line drawer asks for every glyph several times.
    irr::s32 clampIndex(irr::s32 index) const
    {
        return index < 0 ? 0 : index >= irr::s32(Glyphs.size()) ? LastGlyph : index;
    }
    static const SFontGlyph& emptyGlyph();
    bool fetchTexture(const char* file, const CString& textureName);
    void applyFileScale(const char* scaleText);
    void setupMaterial();
    void readIconList(CXMLStorage& storage);
    void computeAxes();
    void placeIcon(irr::s32 index, const SFontGlyphInfo& info, const irr::core::vector3df& at,
                   const irr::core::vector2df& size, STextDrawContext* context);

    irr::f32 Unit = 0.04f;                // world units per font pixel
    irr::f32 DrawSize = 1.0f;
    irr::core::vector3df AxisX, AxisY;    // glyph quad directions, from the camera
    irr::s32 LineHeightPx = 0;
    irr::core::rectf ImageUV;             // the font image in its texture, texture coordinates
    irr::core::recti ImageRect;           // the same in pixels
    irr::core::recti Gaps;
    irr::f32 MasterScale = 1.0f, XScale = 1.0f, YScale = 1.0f;
    irr::f32 DrawXScale = 1.0f, DrawYScale = 1.0f;
    irr::f32 KerningWidth = 0;            // world units at size 1, after every glyph
    irr::f32 KerningSpace = 0;            // further advance after a blank
    bool AxesReady = false;
    irr::core::array<SFontGlyph> Glyphs;
    irr::core::dimension2di ImageSize;
    irr::core::matrix4 World;
    irr::video::S3DVertex Quad[4];
    irr::video::SMaterial Material;
    irr::video::IVideoDriver* Driver;     // grabbed
    irr::scene::ISceneManager* SceneManager;   // borrowed
    irr::ITimer* Timer;                   // borrowed
    irr::video::ITexture* Texture = nullptr;   // grabbed
    irr::s32 LastGlyph = 0;
    irr::core::map<irr::core::stringc, CFontIconsReader*> Icons;   // owned
};

// +1: the caller drops it. The font on the given driver with the file's scales
// applied; check getGlyphCount() for success.
CGUIFont3D* CreateFont3D(irr::video::IVideoDriver* driver, irr::scene::ISceneManager* smgr, irr::ITimer* timer,
                         const char* file, irr::f32 size);

// The same on the engine's driver, scene manager and timer.
CGUIFont3D* createFont(const char* file, irr::f32 size);

// Word-wraps markup text to a width in font units with the given font; the
// text comes back unchanged without a font.
CString JustifyTextWithFont(const CGUIFont3D* font, const char* text, irr::f32 width);
// The same with the client's default font.
CString justifyText(const char* text, irr::f32 width);
