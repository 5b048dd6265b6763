// The custom material table, material descriptions and the renderers against
// a recording texture-stage device, on the null driver.
#include "rendering_material_custom.h"

#include "msgbox_recorder.h"
#include "null_video.h"
#include "rendering_material_customdx8.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"
#include "texture_stages_recording.h"
#include "utils_debug.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace irr;
using namespace d3d8;
using Rec = CRecordingTextureStages;

namespace {

class CFakeServices : public video::IMaterialRendererServices {
public:
    explicit CFakeServices(video::IVideoDriver* driver) : Driver(driver) {}
    void setBasicRenderStates(const video::SMaterial&, const video::SMaterial&, bool) override { ++BasicCalls; }
    bool setVertexShaderConstant(const c8*, const f32*, int) override { return false; }
    bool setVertexShaderConstant(const c8*, const bool*, int) override { return false; }
    bool setVertexShaderConstant(const c8*, const s32*, int) override { return false; }
    void setVertexShaderConstant(const f32* data, s32 start, s32 count) override
    {
        VertexStart = start;
        Vertex.assign(data, data + count * 4);
    }
    bool setPixelShaderConstant(const c8*, const f32*, int) override { return false; }
    bool setPixelShaderConstant(const c8*, const bool*, int) override { return false; }
    bool setPixelShaderConstant(const c8*, const s32*, int) override { return false; }
    void setPixelShaderConstant(const f32* data, s32 start, s32 count) override
    {
        PixelStart = start;
        Pixel.assign(data, data + count * 4);
    }
    video::IVideoDriver* getVideoDriver() override { return Driver; }

    video::IVideoDriver* Driver;
    int BasicCalls = 0;
    s32 VertexStart = -1, PixelStart = -1;
    std::vector<f32> Vertex, Pixel;
};

class MaterialTableTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto stages = std::make_unique<Rec>();
        Stages = stages.get();
        Table.init(Video.driver(), std::move(stages));
        Table.setFeatureQuery([this](video::E_VIDEO_DRIVER_FEATURE) { return HasShaders; });
    }

    s32 add(const char* name, const char* text)
    {
        Table.addMaterialText(Video.driver(), name, "fx\\test.fx", text);
        return Table.findMaterialType(name);
    }

    const SCustomMaterialDesc& descOfSlot(int slot)
    {
        return static_cast<CMaterialRendererStages*>(Table.getRenderer(slot))->getDesc();
    }

    CNullVideo Video;
    CMessageBoxRecorder Boxes;
    CCustomMaterials Table;
    Rec* Stages = nullptr;   // owned by the table
    bool HasShaders = true;
};

TEST(D3DConstants, NamesSubstringsAndBareNumbers)
{
    struct Case {
        const char* Text;
        s32 Value;
    } cases[] = {
        {"D3DTA_DIFFUSE", 0},         {"D3DTA_TEXTURE", 2},          {"D3DTA_ALPHAREPLICATE", 0x20},
        {"D3DTA_SELECTMASK", 0xf},    {"D3DBLEND_ONE", 2},           {"D3DBLEND_BOTHINVSRCALPHA", 13},
        {"D3DBLEND_FORCE_DWORD", 0x7fffffff}, {"D3DTOP_DISABLE", 1}, {"D3DTOP_LERP", 26},
        {"SRCALPHA", 5},              // the first entry that ends with it
        {"1", 2}, {"2", 3}, {"3", 24}, {"4", 0},   // SELECTARG1, SELECTARG2, DOTPRODUCT3
        {"D3DBLENDOP_SUBTRACT", 0},   // no blend-operation names
        {"d3dblend_one", 0}, {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CCustomMaterials::lookupD3DConstant(c.Text), c.Value) << c.Text;
}

TEST(MaterialDescription, KeysCountOnlyWhenTheyCarryAValue)
{
    SCustomMaterialDesc desc;
    desc.parse("-BlendSRC: D3DBLEND_ONE\n-BlendDST:\tD3DBLEND_ONE \n-ColorOP:\n-BlendOP: 1\n-AlphaP2: NOPE\n");
    EXPECT_EQ(desc.KeyCount, 3u + 1u);
    EXPECT_EQ(desc.value(SCustomMaterialDesc::SRCBLEND), D3DBLEND_ONE);
    EXPECT_EQ(desc.value(SCustomMaterialDesc::DESTBLEND), D3DBLEND_ONE);
    EXPECT_EQ(desc.value(SCustomMaterialDesc::COLOROP), D3DTOP_MODULATE);   // empty: the default
    EXPECT_EQ(desc.value(SCustomMaterialDesc::BLENDOP), D3DBLENDOP_SUBTRACT);   // "1" reads as 2
    EXPECT_EQ(desc.value(SCustomMaterialDesc::ALPHAARG2), 0u);   // unknown name
    EXPECT_EQ(desc.States[SCustomMaterialDesc::DESTBLEND].Default, D3DBLEND_DESTALPHA);
}

TEST_F(MaterialTableTest, BuiltInsTakeTheFirstTwoSlots)
{
    EXPECT_EQ(Table.getCount(), 2u);
    EXPECT_GT(Table.getMaterialType(0), 0);
    EXPECT_GT(Table.getMaterialType(1), Table.getMaterialType(0));
    EXPECT_NE(Table.getRenderer(0), nullptr);
    EXPECT_EQ(Table.findMaterialType("never added"), Table.getMaterialType(1));
    EXPECT_EQ(Table.getMaxTextureSize(Video.driver()), core::dimension2di(2048, 2048));
    Stages->Caps.MaxTextureWidth = 1024;
    EXPECT_EQ(Table.getMaxTextureSize(Video.driver()).Width, 1024);
}

TEST_F(MaterialTableTest, DescriptionsFillSlotsInOrder)
{
    const s32 glow = add("glow", "-BlendSRC: D3DBLEND_ONE\n-BlendDST: D3DBLEND_ONE\n");
    const s32 dark = add("dark", "-ColorOP: D3DTOP_SUBTRACT\n");
    EXPECT_EQ(Table.getMaterialType(2), glow);
    EXPECT_EQ(Table.getMaterialType(3), dark);
    EXPECT_NE(glow, dark);
    EXPECT_EQ(Table.getCount(), 4u);
    EXPECT_EQ(descOfSlot(2).KeyCount, 2u);
    EXPECT_EQ(descOfSlot(2).value(SCustomMaterialDesc::SRCBLEND), 2u);
    EXPECT_EQ(descOfSlot(2).value(SCustomMaterialDesc::DESTBLEND), 2u);
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(MaterialTableTest, IndexesOutsideTheTableReadAsZero)
{
    for (int index : {-1, 4, 39, 40, 1000})
        EXPECT_EQ(Table.getMaterialType(index), 0) << index;
}

TEST_F(MaterialTableTest, AFullTableRefusesFurtherDescriptions)
{
    for (int i = 2; i < CCustomMaterials::MaxMaterials; ++i)
        add(("m" + std::to_string(i)).c_str(), "-ColorOP: D3DTOP_ADD\n");
    ASSERT_EQ(Table.getCount(), 40u);
    ASSERT_TRUE(Boxes.Boxes.empty());
    EXPECT_EQ(add("overflow", "-ColorOP: D3DTOP_ADD\n"), Table.getMaterialType(1));
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0].Text, "Failed to add shader 'overflow' (fx\\test.fx)\nmaterial table full");
    EXPECT_EQ(Table.getCount(), 40u);
    EXPECT_EQ(Table.getMaterialType(39), Table.findMaterialType("m39"));
}

TEST_F(MaterialTableTest, WithoutShaderSupportNothingIsAdded)
{
    HasShaders = false;
    EXPECT_EQ(Table.addMaterial(Video.driver(), "glow", "fx\\glow.fx"), 0);
    EXPECT_EQ(Table.getCount(), 2u);
    EXPECT_EQ(Table.findMaterialType("glow"), Table.getMaterialType(1));
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("WARNING: Pixel shaders disabled"), std::string::npos);
}

TEST_F(MaterialTableTest, DropAllLetsGoOfTheRenderers)
{
    add("glow", "-BlendSRC: D3DBLEND_ONE\n");
    Table.dropAll();
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(Table.getRenderer(slot), nullptr);
        EXPECT_EQ(Table.getMaterialType(slot), 0);
    }
}

TEST_F(MaterialTableTest, DescriptionFilesAreReadThroughTheTextLayer)
{
    CTempFolder folder;
    folder.write("glow.fx", "-BlendSRC: D3DBLEND_ONE\r\n-BlendDST: D3DBLEND_ONE\r\n");
    EXPECT_EQ(Table.addMaterial(Video.driver(), "glow", folder.file("glow.fx").c_str()), 1);
    EXPECT_EQ(Table.findMaterialType("glow"), Table.getMaterialType(2));
    EXPECT_EQ(descOfSlot(2).value(SCustomMaterialDesc::DESTBLEND), D3DBLEND_ONE);
    EXPECT_NE(std::string(GetDebugLogBuffer()->Text).find("Adding shader 'glow'"), std::string::npos);
}

TEST_F(MaterialTableTest, DropAllAndInitEmptyTheTextureCache)
{
    SetTextureServices(Video.driver(), &Table);
    ASSERT_NE(retrieveTexture("?fill[c1,w4,h4]").Texture, nullptr);
    EXPECT_EQ(CTextureCache::instance().size(), 1);
    Table.dropAll();   // the device is going: its textures with it
    EXPECT_EQ(CTextureCache::instance().size(), 0);
    retrieveTexture("?fill[c1,w4,h4]");
    Table.init(Video.driver(), nullptr);
    EXPECT_EQ(CTextureCache::instance().size(), 0);
    SetTextureServices(nullptr, nullptr);
}

// --- renderers against the recording device ---

class MaterialRendererTest : public MaterialTableTest {
protected:
    void set(int slot, video::SMaterial& material, const video::SMaterial& last, bool reset)
    {
        material.MaterialType = video::E_MATERIAL_TYPE(Table.getMaterialType(slot));
        Stages->clearCalls();
        Table.getRenderer(slot)->OnSetMaterial(material, last, reset, &Services);
    }
    CFakeServices Services{Video.driver()};
};

std::vector<Rec::Call> builtInCalls(uint32_t colourOp, uint32_t destBlend)
{
    return {Rec::stageCall(0, D3DTSS_COLOROP, colourOp),           Rec::renderCall(D3DRS_DESTBLEND, destBlend),
            Rec::stageCall(0, D3DTSS_COLORARG1, D3DTA_CURRENT),    Rec::stageCall(0, D3DTSS_COLORARG2, D3DTA_TEXTURE),
            Rec::stageCall(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE),    Rec::stageCall(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE),
            Rec::stageCall(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE),    Rec::stageCall(1, D3DTSS_COLOROP, D3DTOP_DISABLE),
            Rec::stageCall(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE),     Rec::renderCall(D3DRS_ALPHABLENDENABLE, 1),
            Rec::renderCall(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),    Rec::renderCall(D3DRS_LASTPIXEL, 1),
            Rec::commitCall()};
}

TEST_F(MaterialRendererTest, BuiltInsSetTheirStagesAfterTheBasicStates)
{
    video::SMaterial material, last;
    set(0, material, last, true);
    EXPECT_EQ(Stages->calls(), builtInCalls(D3DTOP_MODULATE, D3DBLEND_INVSRCALPHA));
    set(1, material, last, true);
    EXPECT_EQ(Stages->calls(), builtInCalls(D3DTOP_MODULATE2X, D3DBLEND_ONE));
    EXPECT_EQ(Services.BasicCalls, 2);
}

TEST_F(MaterialRendererTest, TheSameMaterialAgainSetsNoState)
{
    video::SMaterial material, last;
    set(0, material, last, true);
    last = material;
    set(0, material, last, false);
    EXPECT_TRUE(Stages->calls().empty());
    EXPECT_EQ(Services.BasicCalls, 2);   // Irrlicht's own states still go through
    material.MaterialTypeParam = 0.5f;
    set(0, material, last, false);
    EXPECT_FALSE(Stages->calls().empty());
    last = material;
    set(0, material, last, true);   // a reset always sets
    EXPECT_FALSE(Stages->calls().empty());
}

TEST_F(MaterialRendererTest, DescriptionAppliesItsValuesAndRestoresItsDefaultsOnUnset)
{
    add("sub", "-ColorOP: D3DTOP_ADD\n-BlendOP: 1\n-BlendSRC: D3DBLEND_ONE\n-BlendDST: D3DBLEND_ONE\n");
    video::SMaterial material, last;
    set(2, material, last, true);
    const std::vector<Rec::Call> applied = {
        Rec::stageCall(0, D3DTSS_COLOROP, D3DTOP_ADD),       Rec::stageCall(0, D3DTSS_COLORARG1, D3DTA_CURRENT),
        Rec::stageCall(0, D3DTSS_COLORARG2, D3DTA_TEXTURE),  Rec::stageCall(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE),
        Rec::stageCall(0, D3DTSS_ALPHAARG1, D3DTA_CURRENT),  Rec::stageCall(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE),
        Rec::renderCall(D3DRS_ALPHABLENDENABLE, 1),          Rec::renderCall(D3DRS_BLENDOP, D3DBLENDOP_SUBTRACT),
        Rec::renderCall(D3DRS_SRCBLEND, D3DBLEND_ONE),       Rec::renderCall(D3DRS_DESTBLEND, D3DBLEND_ONE),
        Rec::commitCall()};
    EXPECT_EQ(Stages->calls(), applied);

    Stages->clearCalls();
    Table.getRenderer(2)->OnUnsetMaterial();
    const std::vector<Rec::Call> restored = {
        Rec::stageCall(0, D3DTSS_COLOROP, D3DTOP_MODULATE),  Rec::stageCall(0, D3DTSS_COLORARG1, D3DTA_CURRENT),
        Rec::stageCall(0, D3DTSS_COLORARG2, D3DTA_TEXTURE),  Rec::stageCall(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE),
        Rec::stageCall(0, D3DTSS_ALPHAARG1, D3DTA_CURRENT),  Rec::stageCall(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE),
        Rec::renderCall(D3DRS_BLENDOP, D3DBLENDOP_ADD),      Rec::renderCall(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
        Rec::renderCall(D3DRS_DESTBLEND, D3DBLEND_DESTALPHA), Rec::restoreCall()};
    EXPECT_EQ(Stages->calls(), restored);

    // a built-in next: stage 1 disabled and blending on again
    last = material;
    set(0, material, last, false);
    EXPECT_EQ(Stages->textureStageState(1, D3DTSS_COLOROP), D3DTOP_DISABLE);
    EXPECT_EQ(Stages->renderState(D3DRS_ALPHABLENDENABLE), 1u);
}

TEST_F(MaterialRendererTest, BuiltInsHandTheDriverBackOnUnset)
{
    for (int slot : {0, 1}) {
        Stages->clearCalls();
        Table.getRenderer(slot)->OnUnsetMaterial();
        EXPECT_EQ(Stages->calls(), std::vector<Rec::Call>{Rec::restoreCall()}) << slot;
    }
}

TEST_F(MaterialRendererTest, ShaderCallbackSetsStagesOnlyForDescriptionsWithKeys)
{
    SCustomMaterialDesc none, some;
    some.parse("-BlendDST: D3DBLEND_ZERO\n");
    video::SMaterial material;
    Stages->clearCalls();
    CCustomShaderCallback(none, Stages, nullptr).OnSetMaterial(material);
    EXPECT_TRUE(Stages->calls().empty());
    CCustomShaderCallback(some, Stages, nullptr).OnSetMaterial(material);
    EXPECT_EQ(Stages->renderState(D3DRS_DESTBLEND), D3DBLEND_ZERO);
    EXPECT_EQ(Stages->calls().back(), Rec::commitCall());
}

// The null driver keeps no transforms (all read as identity); the product's
// order is checked by the picture test of a shader material.
TEST_F(MaterialRendererTest, ShaderCallbackUploadsTransformAndTimeRegisters)
{
    CCustomShaderCallback callback(SCustomMaterialDesc(), Stages, [] { return 4500u; });
    callback.OnSetConstants(&Services, 0);
    ASSERT_EQ(Services.VertexStart, 4);
    ASSERT_EQ(Services.Vertex.size(), 16u);
    EXPECT_EQ(Services.Vertex[0], 1.0f);
    EXPECT_EQ(Services.Vertex[15], 1.0f);
    ASSERT_EQ(Services.PixelStart, 5);
    EXPECT_EQ(Services.Pixel, (std::vector<f32>{4.5f, 4.5f, 0.5f, 0.5f}));
}

TEST(ShaderCallback, TimeVectorSawTeeth)
{
    struct Case {
        uint32_t Tick;
        float Z, W;
    } cases[] = {{0, 0, 0}, {999, 0.999f, 0.999f}, {4000, 0, 0}, {4500, 0.5f, 0.5f}, {7250, 3.25f, 0.25f}};
    for (const Case& c : cases) {
        float v[4];
        CCustomShaderCallback::timeVector(c.Tick, v);
        EXPECT_FLOAT_EQ(v[0], c.Tick * 0.001f) << c.Tick;
        EXPECT_FLOAT_EQ(v[1], v[0]);
        EXPECT_FLOAT_EQ(v[2], c.Z) << c.Tick;
        EXPECT_FLOAT_EQ(v[3], c.W) << c.Tick;
    }
}

TEST(MaterialTableWithoutDevice, RenderersWithoutStagesSetNothingAndDoNotCrash)
{
    CNullVideo video;
    CCustomMaterials table;
    table.init(video.driver(), nullptr);
    CFakeServices services(video.driver());
    video::SMaterial material, last;
    table.getRenderer(0)->OnSetMaterial(material, last, true, &services);
    table.getRenderer(1)->OnUnsetMaterial();
    EXPECT_EQ(services.BasicCalls, 1);
    EXPECT_EQ(table.getMaxTextureSize(video.driver()), core::dimension2di(1024, 1024));
}

} // namespace

namespace {

TEST(AnisotropicFiltering, BringsBilinearOnlyWhereNoLinearFilterIsSet)
{
    struct Case {
        bool Bilinear, Trilinear;
        u8 Anisotropic;
        bool Needs, BilinearAfter;
    } cases[] = {
        {false, false, 3, true, true},    {false, false, 0, false, false}, {true, false, 3, false, true},
        {false, true, 3, false, false},   {false, false, 1, true, true},
    };
    for (const Case& c : cases) {
        video::SMaterial material;
        for (u32 i = 0; i < video::MATERIAL_MAX_TEXTURES; ++i) {
            material.TextureLayer[i].BilinearFilter = false;
            material.TextureLayer[i].AnisotropicFilter = 0;
        }
        material.TextureLayer[1].BilinearFilter = c.Bilinear;
        material.TextureLayer[1].TrilinearFilter = c.Trilinear;
        material.TextureLayer[1].AnisotropicFilter = c.Anisotropic;
        EXPECT_EQ(NeedsBilinearForAnisotropic(material), c.Needs) << int(c.Anisotropic) << c.Bilinear << c.Trilinear;
        ApplyAnisotropicBilinear(material);
        EXPECT_EQ(material.TextureLayer[1].BilinearFilter, c.BilinearAfter);
        EXPECT_FALSE(material.TextureLayer[0].BilinearFilter);
    }
}

} // namespace
