// The custom material table and material descriptions.
#include "rendering_material_custom.h"

#include "rendering_material_customdx8.h"
#include "rendering_stuff_textures.h"
#include "texture_stages.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_parse.h"

#include "clock.h"

#include <irrlicht.h>

#include <cstring>

using namespace irr;

namespace {

// Direct3D 8's published constants as "name=value," entries; blanks and line
// breaks are removed before the text is searched.
const char* const ReferenceSource =
    "// texture arguments\n"
    "D3DTA_SELECTMASK = 0x0000000f, D3DTA_DIFFUSE = 0x00000000, D3DTA_CURRENT = 0x00000001,\n"
    "D3DTA_TEXTURE = 0x00000002, D3DTA_TFACTOR = 0x00000003, D3DTA_SPECULAR = 0x00000004,\n"
    "D3DTA_TEMP = 0x00000005, D3DTA_COMPLEMENT = 0x00000010, D3DTA_ALPHAREPLICATE = 0x00000020,\n"
    "// blend factors\n"
    "D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCCOLOR = 3, D3DBLEND_INVSRCCOLOR = 4,\n"
    "D3DBLEND_SRCALPHA = 5, D3DBLEND_INVSRCALPHA = 6, D3DBLEND_DESTALPHA = 7, D3DBLEND_INVDESTALPHA = 8,\n"
    "D3DBLEND_DESTCOLOR = 9, D3DBLEND_INVDESTCOLOR = 10, D3DBLEND_SRCALPHASAT = 11,\n"
    "D3DBLEND_BOTHSRCALPHA = 12, D3DBLEND_BOTHINVSRCALPHA = 13, D3DBLEND_FORCE_DWORD = 0x7fffffff,\n"
    "// texture operations\n"
    "D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3, D3DTOP_MODULATE = 4,\n"
    "D3DTOP_MODULATE2X = 5, D3DTOP_MODULATE4X = 6, D3DTOP_ADD = 7, D3DTOP_ADDSIGNED = 8,\n"
    "D3DTOP_ADDSIGNED2X = 9, D3DTOP_SUBTRACT = 10, D3DTOP_ADDSMOOTH = 11, D3DTOP_BLENDDIFFUSEALPHA = 12,\n"
    "D3DTOP_BLENDTEXTUREALPHA = 13, D3DTOP_BLENDFACTORALPHA = 14, D3DTOP_BLENDTEXTUREALPHAPM = 15,\n"
    "D3DTOP_BLENDCURRENTALPHA = 16, D3DTOP_PREMODULATE = 17, D3DTOP_MODULATEALPHA_ADDCOLOR = 18,\n"
    "D3DTOP_MODULATECOLOR_ADDALPHA = 19, D3DTOP_MODULATEINVALPHA_ADDCOLOR = 20,\n"
    "D3DTOP_MODULATEINVCOLOR_ADDALPHA = 21, D3DTOP_BUMPENVMAP = 22, D3DTOP_BUMPENVMAPLUMINANCE = 23,\n"
    "D3DTOP_DOTPRODUCT3 = 24, D3DTOP_MULTIPLYADD = 25, D3DTOP_LERP = 26, D3DTOP_FORCE_DWORD = 0x7fffffff,\n";

const CString& referenceText()
{
    static const CString text = [] {
        CString t(ReferenceSource);
        t.Replace("\n", "");
        t.Replace("\t", "");
        t.Replace(" ", "");
        return t;
    }();
    return text;
}

struct SKeyInfo {
    const char* Key;
    SCustomMaterialDesc::EState State;
};

// In the order the keys are read.
const SKeyInfo DescriptionKeys[] = {
    {"-ColorOP:", SCustomMaterialDesc::COLOROP},   {"-ColorP1:", SCustomMaterialDesc::COLORARG1},
    {"-ColorP2:", SCustomMaterialDesc::COLORARG2}, {"-AlphaOP:", SCustomMaterialDesc::ALPHAOP},
    {"-AlphaP1:", SCustomMaterialDesc::ALPHAARG1}, {"-AlphaP2:", SCustomMaterialDesc::ALPHAARG2},
    {"-BlendSRC:", SCustomMaterialDesc::SRCBLEND}, {"-BlendDST:", SCustomMaterialDesc::DESTBLEND},
    {"-BlendOP:", SCustomMaterialDesc::BLENDOP},
};

// The rest of the key's line, trimmed; empty when the key is absent.
CString lineValue(const char* text, const char* key)
{
    const char* found = text ? std::strstr(text, key) : nullptr;
    if (!found)
        return CString();
    const char* start = found + std::strlen(key);
    const char* end = std::strchr(start, '\n');
    CString value = end ? CString(start, int(end - start)) : CString(start);
    value.TrimLeft();
    value.TrimRight();
    return value;
}

bool isSoftwareDriver(video::IVideoDriver* driver)
{
    const video::E_DRIVER_TYPE type = driver->getDriverType();
    return type == video::EDT_BURNINGSVIDEO || type == video::EDT_SOFTWARE;
}

} // namespace

// --- SCustomMaterialDesc ---

SCustomMaterialDesc::SCustomMaterialDesc()
{
    const uint32_t defaults[STATE_COUNT] = {
        d3d8::D3DTOP_MODULATE, d3d8::D3DTA_CURRENT, d3d8::D3DTA_TEXTURE,  d3d8::D3DTOP_MODULATE, d3d8::D3DTA_CURRENT,
        d3d8::D3DTA_TEXTURE,   d3d8::D3DBLENDOP_ADD, d3d8::D3DBLEND_SRCALPHA, d3d8::D3DBLEND_DESTALPHA,
    };
    for (int i = 0; i < STATE_COUNT; ++i)
        States[i] = {defaults[i], defaults[i]};
}

// An empty value counts as an absent key rather than as the first constant.
void SCustomMaterialDesc::parse(const char* text)
{
    for (const SKeyInfo& key : DescriptionKeys) {
        CString value = lineValue(text, key.Key);
        if (value.IsEmpty())
            continue;
        States[key.State].Value = uint32_t(CCustomMaterials::lookupD3DConstant(value));
        ++KeyCount;
    }
}

// --- CCustomMaterials ---

CCustomMaterials::CCustomMaterials() : Names(10), Clock([] { return platform::GetTickCount(); }) {}

CCustomMaterials::~CCustomMaterials()
{
    dropAll();
}

int CCustomMaterials::init(video::IVideoDriver* driver)
{
    std::unique_ptr<ITextureStages> stages;
    if (driver && driver->getDriverType() == video::EDT_OPENGL)
        stages = CreateOpenGLTextureStages();
    return init(driver, std::move(stages));
}

int CCustomMaterials::init(video::IVideoDriver* driver, std::unique_ptr<ITextureStages> stages)
{
    dropAll();
    Names.RemoveAll();
    Driver = driver;
    Stages = std::move(stages);
    Count = 2;
    IsSoftware = driver && isSoftwareDriver(driver);
    if (!driver)
        return 1;
    if (IsSoftware) {
        // Burning's Video: the type that honours texture alpha, and the one that adds.
        Types[0] = video::EMT_TRANSPARENT_ALPHA_CHANNEL;
        Types[1] = video::EMT_TRANSPARENT_VERTEX_ALPHA;
        return 1;
    }
    Renderers[0] = new CMaterialRendererAlphaBlend(Stages.get(), driver);
    Renderers[1] = new CMaterialRendererAdditive(Stages.get(), driver);
    for (int i = 0; i < 2; ++i)
        Types[i] = driver->addMaterialRenderer(Renderers[i]);
    return 1;
}

bool CCustomMaterials::hasFeature(video::IVideoDriver* driver, video::E_VIDEO_DRIVER_FEATURE feature) const
{
    return Features ? Features(feature) : driver->queryFeature(feature);
}

int CCustomMaterials::addMaterial(video::IVideoDriver* driver, const char* name, const char* descriptionFile)
{
    if (!driver)
        return 0;
    if (!hasFeature(driver, video::EVDF_PIXEL_SHADER_1_1) && !hasFeature(driver, video::EVDF_ARB_FRAGMENT_PROGRAM_1)) {
        DebugLog("WARNING: Pixel shaders disabled because of missing driver/hardware support.", __FILE__, __LINE__);
        return 0;
    }
    if (!hasFeature(driver, video::EVDF_VERTEX_SHADER_1_1) && !hasFeature(driver, video::EVDF_ARB_VERTEX_PROGRAM_1)) {
        DebugLog("WARNING: Vertex shaders disabled because of missing driver/hardware support.", __FILE__, __LINE__);
        return 0;
    }
    CString text;
    ReadTextFile(descriptionFile, text);
    return addMaterialText(driver, name, descriptionFile, text);
}

int CCustomMaterials::addMaterialText(video::IVideoDriver* driver, const char* name, const char* descriptionFile,
                                      const char* text)
{
    if (!name)
        name = "";
    if (!descriptionFile)
        descriptionFile = "";
    DebugLog(Format("Adding shader '%s' (%s)", name, descriptionFile), __FILE__, __LINE__);
    CString error;
    SCustomMaterialDesc desc;
    desc.parse(text);
    const CString vertexFile = lineValue(text, "-VertexShader:");
    const CString pixelFile = lineValue(text, "-PixelShader:");
    s32 id;
    if (!vertexFile.IsEmpty() && !pixelFile.IsEmpty()) {
        id = addShaderMaterial(driver, desc, vertexFile, pixelFile);
        if (id < 0)
            error = "See log";
    } else {
        id = addStageMaterial(driver, desc, error);
    }
    if (id >= 0)
        Names.SetAt(name, reinterpret_cast<void*>(intptr_t(id)));
    else
        AlertBox(Format("Failed to add shader '%s' (%s)\n%s", name, descriptionFile, (const char*)error), false);
    return 1;
}

s32 CCustomMaterials::addShaderMaterial(video::IVideoDriver* driver, const SCustomMaterialDesc& desc,
                                        const CString& vertexFile, const CString& pixelFile)
{
    video::IGPUProgrammingServices* gpu = driver->getGPUProgrammingServices();
    if (!gpu)
        return -1;
    auto* callback = new CCustomShaderCallback(desc, Stages.get(), Clock);
    const s32 id = gpu->addShaderMaterialFromFiles(io::path((const char*)vertexFile), io::path((const char*)pixelFile), callback,
                                                   video::E_MATERIAL_TYPE(Types[0]), 0);
    callback->drop();   // the driver keeps its own
    return id;
}

// Slots are numbered by the order of descriptions, so a full table refuses
// rather than writing past its end.
s32 CCustomMaterials::addStageMaterial(video::IVideoDriver* driver, const SCustomMaterialDesc& desc, CString& error)
{
    if (Count >= uint32_t(MaxMaterials)) {
        error = "material table full";
        return -1;
    }
    auto* renderer = new CMaterialRendererStages(desc, Stages.get(), driver);
    Renderers[Count] = renderer;
    Types[Count] = driver->addMaterialRenderer(renderer);
    return Types[Count++];
}

s32 CCustomMaterials::getMaterialType(int index) const
{
    if (index < 0 || index >= MaxMaterials || Types[index] < 0)
        return 0;
    return Types[index];
}

s32 CCustomMaterials::findMaterialType(const char* name) const
{
    void* value = nullptr;
    if (name && Names.Lookup(name, value))
        return s32(reinterpret_cast<intptr_t>(value));
    return Types[1];
}

int CCustomMaterials::dropAll()
{
    for (int i = 0; i < MaxMaterials; ++i) {
        if (!Renderers[i])
            continue;
        Renderers[i]->drop();
        Renderers[i] = nullptr;
        Types[i] = 0;
    }
    Driver = nullptr;
    // A new device or the end of this one: cached regions would point to its textures.
    ReleaseTextureCaches();
    return 1;
}

video::IMaterialRenderer* CCustomMaterials::getRenderer(int slot) const
{
    return slot >= 0 && slot < MaxMaterials ? Renderers[slot] : nullptr;
}

core::dimension2di CCustomMaterials::getMaxTextureSize(video::IVideoDriver* driver) const
{
    if (IsSoftware || (driver && isSoftwareDriver(driver)))
        return core::dimension2di(0, 0);
    if (Stages) {
        d3d8::D3DCAPS8 caps;
        Stages->GetDeviceCaps(caps);
        return core::dimension2di(s32(caps.MaxTextureWidth), s32(caps.MaxTextureHeight));
    }
    return core::dimension2di(1024, 1024);
}

s32 CCustomMaterials::lookupD3DConstant(const char* valueText)
{
    if (!valueText || !*valueText)
        return 0;
    const CString& reference = referenceText();
    const int at = reference.Find(CString(valueText) + "=");
    if (at < 0)
        return 0;
    const int start = at + int(std::strlen(valueText)) + 1;
    const int end = reference.Find(',', start);
    CString number = end >= 0 ? reference.Mid(start, end - start) : reference.Mid(start);
    return ParseIntAnyBase(number, false);
}
