// CGUIFont3D: loading a font file and its inline icons, scales, the glyph
// material and the IGUIFont side.
#include "rendering_font.h"

#include "module_enginebase.h"
#include "rendering_font_file.h"
#include "rendering_material_custom.h"
#include "rendering_stuff_textures.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_tools.h"

#include <IVideoDriver.h>
#include <IrrlichtDevice.h>
#include <IXMLReader.h>
#include <ITexture.h>

using namespace irr;

namespace {

constexpr s32 ReservedGlyphs = 382;
constexpr f32 OneLine = 1.6f;   // world units of one line at size 1

CString wideKey(const wchar_t* text)
{
    return text ? WideToString(text) : CString();
}

// Steps past the element the reader stands on, with everything inside it.
void skipWholeElement(io::IXMLReader* reader)
{
    if (reader->isEmptyElement()) {
        reader->read();
        return;
    }
    for (int depth = 0; reader->read();) {
        if (reader->getNodeType() == io::EXN_ELEMENT && !reader->isEmptyElement())
            ++depth;
        else if (reader->getNodeType() == io::EXN_ELEMENT_END && depth-- == 0) {
            reader->read();
            return;
        }
    }
}

} // namespace

void CGUIFont3D::readIconList(CXMLStorage& storage)
{
    for (;;) {
        io::IXMLReader* reader = storage.getReader();
        if (!reader || reader->getNodeType() == io::EXN_ELEMENT_END)
            return;
        if (reader->getNodeType() != io::EXN_ELEMENT) {
            if (!reader->read())
                return;
            continue;
        }
        CString key = wideKey(reader->getAttributeValue(L"key"));
        if (key.IsEmpty()) {
            skipWholeElement(reader);
            continue;
        }
        auto* icon = new CFontIconsReader();
        if (reader->isEmptyElement())
            skipWholeElement(reader);   // an icon with every value at its default
        else
            icon->serialize(storage);
        if (auto* old = Icons.find(core::stringc((const char*)key)))
            delete old->getValue();
        Icons.set(core::stringc((const char*)key), icon);
    }
}

void CFontIconsReader::serialize(CXMLStorage& storage)
{
    storage.beginNode("Icon");
    storage.serializeIrrString("spr", &Spr, true, "");
    storage.serializeFloat("width", &Width, true, 0.0f);
    storage.serializeFloat("height", &Height, true, 0.0f);
    storage.endNode("Icon");
}

CGUIFont3D::CGUIFont3D(video::IVideoDriver* driver, scene::ISceneManager* smgr, ITimer* timer)
    : Driver(driver), SceneManager(smgr), Timer(timer)
{
    setDebugName("CGUIFont3D");
    if (Driver)
        Driver->grab();
    Glyphs.reallocate(ReservedGlyphs);
}

CGUIFont3D::~CGUIFont3D()
{
    for (auto it = Icons.getIterator(); !it.atEnd(); it++)
        delete it->getValue();
    if (Texture)
        Texture->drop();
    if (Driver)
        Driver->drop();
}

bool CGUIFont3D::loadXmlFont(const char* file)
{
    if (!Driver || !file)
        return false;
    bool mipMaps = Driver->getTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS);
    Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, false);
    CString text;
    ReadTextFile(file, text);
    bool loaded = fetchTexture(file, GetFontTextureName(file, text));
    SFontFileData data;
    if (loaded)
        loaded = ParseFontText(file, text, data);
    Driver->setTextureCreationFlag(video::ETCF_CREATE_MIP_MAPS, mipMaps);
    if (!loaded)
        return false;

    Glyphs = data.Glyphs;
    Glyphs.reallocate(core::max_(u32(ReservedGlyphs), Glyphs.size()));
    LastGlyph = s32(Glyphs.size()) - 1;
    Gaps = data.Gaps;
    LineHeightPx = data.LineHeight;
    Unit = OneLine / f32(LineHeightPx);
    XScale = data.XScale;
    YScale = data.YScale;
    MasterScale = data.MasterScale;
    LineHeight = data.LineSpacing;
    BaseLine = data.BaseLine;
    KerningWidth = data.Kerning;
    setupMaterial();
    ImageSize = core::dimension2di(ImageRect.getWidth(), ImageRect.getHeight());
    return true;
}

bool CGUIFont3D::fetchTexture(const char* file, const CString& textureName)
{
    STextureRegion region = retrieveTexture(textureName);
    if (!region.Texture) {
        DebugLog(Format("Font %s: texture %s not found", file, (const char*)textureName));
        return false;
    }
    region.Texture->grab();
    if (Texture)
        Texture->drop();
    Texture = region.Texture;
    ImageUV = core::rectf(region.UV.UpperLeftCorner, region.UV.LowerRightCorner);
    ImageRect = region.PixelRect;
    if (ImageRect.getWidth() == 0) {
        core::dimension2du size = Texture->getOriginalSize();
        ImageRect = core::recti(0, 0, s32(size.Width), s32(size.Height));
    }
    return true;
}

void CGUIFont3D::setupMaterial()
{
    Material = video::SMaterial();
    CCustomMaterials* materials = GetTextureMaterials();
    Material.MaterialType = materials ? video::E_MATERIAL_TYPE(materials->getMaterialType(0))
                                      : video::EMT_TRANSPARENT_ALPHA_CHANNEL;
    Material.MaterialTypeParam = 0.0f;
    Material.setTexture(0, Texture);
    Material.GouraudShading = false;
    Material.Lighting = false;
    Material.ZBuffer = video::ECFN_NEVER;
    Material.ZWriteEnable = false;
    Material.BackfaceCulling = false;
    Material.NormalizeNormals = false;
    Material.setFlag(video::EMF_BILINEAR_FILTER, false);
    Material.setFlag(video::EMF_TRILINEAR_FILTER, false);
    Material.setFlag(video::EMF_ANISOTROPIC_FILTER, true);
}

void CGUIFont3D::loadIcons(const char* file)
{
    if (!file || !*file)
        return;
    CString text;
    if (!ReadTextFile(file, text) || text.IsEmpty())
        return;
    CXMLStorage storage;
    if (!storage.openText(text))
        return;
    storage.beginNode("font-icons");
    if (!storage.seekNode("Icons", false))
        return;
    bool isEmptyList = storage.getReader()->isEmptyElement();
    storage.beginNode("Icons");
    if (!isEmptyList) {
        readIconList(storage);
        storage.endNode("Icons");
    }
    storage.endNode("font-icons");

    if (Glyphs.size() == 0)
        return;
    const SFontGlyph hash = getGlyph(getGlyphIndex('#'));
    for (auto it = Icons.getIterator(); !it.atEnd(); it++) {
        SFontGlyph glyph = hash;
        glyph.A = glyph.B = glyph.C = glyph.OffsetX = glyph.OffsetY = 0;
        glyph.Name = it->getKey();
        CFontIconsReader* icon = it->getValue();
        if (icon->Width >= 0.01f)
            glyph.Size.Width = s32(icon->Width / Unit);
        if (icon->Height >= 0.01f)
            glyph.Size.Height = s32(icon->Height / Unit);
        Glyphs.push_back(glyph);
        icon->GlyphIndex = s32(Glyphs.size()) - 1;
    }
    LastGlyph = s32(Glyphs.size()) - 1;
}

void CGUIFont3D::setDrawScale(f32 x, f32 y, f32 size)
{
    DrawXScale = x;
    DrawYScale = y;
    DrawSize = size;
}

void CGUIFont3D::setGlyphFilter(bool on)
{
    Material.setFlag(video::EMF_ANISOTROPIC_FILTER, on);
}

int CGUIFont3D::getGlyphIndex(char c)
{
    int code = (unsigned char)c;
    return code < 32 ? 0 : code - 32;
}

const SFontGlyph& CGUIFont3D::emptyGlyph()
{
    static const SFontGlyph none;
    return none;
}

void CGUIFont3D::draw(const core::stringw& text, const core::recti& position, video::SColor color, bool hcenter,
                      bool vcenter, const core::recti* clip)
{
}

core::dimension2du CGUIFont3D::getDimension(const wchar_t* text) const
{
    if (!text || Glyphs.size() == 0)
        return core::dimension2du(0, 0);
    CString narrow = WideToString(text);
    s32 width = 0;
    for (const char* p = narrow; *p; ++p)
        if (*p != '\r')
            width += getGlyph(getGlyphIndex(*p)).Size.Width;
    return core::dimension2du(u32(f32(width) * DrawXScale), u32(f32(LineHeightPx) * DrawYScale));
}

CGUIFont3D* CreateFont3D(video::IVideoDriver* driver, scene::ISceneManager* smgr, ITimer* timer, const char* file,
                         f32 size)
{
    auto* font = new CGUIFont3D(driver, smgr, timer);
    if (!font->loadXmlFont(file))
        DebugLog(Format("Font %s not loaded", file ? file : ""));
    f32 x = font->getXScale() > 0.001f ? font->getXScale() : 1.0f;
    f32 y = font->getYScale() > 0.001f ? font->getYScale() : 1.0f;
    f32 s = font->getMasterScale() > 0.001f ? size * font->getMasterScale() : size;
    font->setDrawScale(x, y, s);
    return font;
}

CGUIFont3D* createFont(const char* file, f32 size)
{
    IrrlichtDevice* device = getDevice();
    return CreateFont3D(getDriver(), getSceneManager(), device ? device->getTimer() : nullptr, file, size);
}
