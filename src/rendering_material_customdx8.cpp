// The material renderers and the shader callback.
#include "rendering_material_customdx8.h"

#include "texture_stages.h"

#include <IMaterialRendererServices.h>
#include <IVideoDriver.h>
#include <SMaterial.h>

using namespace irr;
using namespace d3d8;

namespace {

// Nothing changed since the last material: the states are still in place.
bool isUnchanged(const video::SMaterial& material, const video::SMaterial& lastMaterial, bool reset)
{
    return !reset && material.MaterialType == lastMaterial.MaterialType &&
           material.MaterialTypeParam == lastMaterial.MaterialTypeParam;
}

// On OpenGL a layer's own filter decides between linear and nearest sampling,
// so anisotropic alone would draw every sprite and glyph pixelated: there it
// brings bilinear filtering with it.
void setBasicStates(video::IVideoDriver* driver, const video::SMaterial& material,
                    const video::SMaterial& lastMaterial, bool reset, video::IMaterialRendererServices* services)
{
    if (!driver || driver->getDriverType() != video::EDT_OPENGL || !NeedsBilinearForAnisotropic(material)) {
        services->setBasicRenderStates(material, lastMaterial, reset);
        return;
    }
    video::SMaterial filtered(material);
    ApplyAnisotropicBilinear(filtered);
    services->setBasicRenderStates(filtered, lastMaterial, reset);
}

// The part both built-ins share; their colour operation and DESTBLEND come first.
void commonSetup(ITextureStages& stages)
{
    stages.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_CURRENT);
    stages.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
    stages.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    stages.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    stages.SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    stages.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    stages.SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    stages.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    stages.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    stages.SetRenderState(D3DRS_LASTPIXEL, 1);
}

void builtInSetup(ITextureStages& stages, uint32_t colourOp, uint32_t destBlend)
{
    stages.SetTextureStageState(0, D3DTSS_COLOROP, colourOp);
    stages.SetRenderState(D3DRS_DESTBLEND, destBlend);
    commonSetup(stages);
    stages.commit();
}

} // namespace

bool NeedsBilinearForAnisotropic(const video::SMaterial& material)
{
    for (u32 i = 0; i < video::MATERIAL_MAX_TEXTURES; ++i) {
        const video::SMaterialLayer& layer = material.TextureLayer[i];
        if (layer.AnisotropicFilter && !layer.BilinearFilter && !layer.TrilinearFilter)
            return true;
    }
    return false;
}

void ApplyAnisotropicBilinear(video::SMaterial& material)
{
    for (u32 i = 0; i < video::MATERIAL_MAX_TEXTURES; ++i) {
        video::SMaterialLayer& layer = material.TextureLayer[i];
        if (layer.AnisotropicFilter && !layer.TrilinearFilter)
            layer.BilinearFilter = true;
    }
}

void ApplyMaterialDesc(ITextureStages& stages, const SCustomMaterialDesc& desc, bool useDefaults)
{
    auto pick = [&](SCustomMaterialDesc::EState state) {
        return useDefaults ? desc.States[state].Default : desc.States[state].Value;
    };
    using S = SCustomMaterialDesc;
    stages.SetTextureStageState(0, D3DTSS_COLOROP, pick(S::COLOROP));
    stages.SetTextureStageState(0, D3DTSS_COLORARG1, pick(S::COLORARG1));
    stages.SetTextureStageState(0, D3DTSS_COLORARG2, pick(S::COLORARG2));
    stages.SetTextureStageState(0, D3DTSS_ALPHAOP, pick(S::ALPHAOP));
    stages.SetTextureStageState(0, D3DTSS_ALPHAARG1, pick(S::ALPHAARG1));
    stages.SetTextureStageState(0, D3DTSS_ALPHAARG2, pick(S::ALPHAARG2));
    if (!useDefaults)
        stages.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    stages.SetRenderState(D3DRS_BLENDOP, pick(S::BLENDOP));
    stages.SetRenderState(D3DRS_SRCBLEND, pick(S::SRCBLEND));
    stages.SetRenderState(D3DRS_DESTBLEND, pick(S::DESTBLEND));
}

// --- built-ins ---

void CMaterialRendererAlphaBlend::OnSetMaterial(const video::SMaterial& material,
                                                const video::SMaterial& lastMaterial, bool resetAllRenderstates,
                                                video::IMaterialRendererServices* services)
{
    setBasicStates(Driver, material, lastMaterial, resetAllRenderstates, services);
    if (isUnchanged(material, lastMaterial, resetAllRenderstates) || !Stages)
        return;
    builtInSetup(*Stages, D3DTOP_MODULATE, D3DBLEND_INVSRCALPHA);
}

// The drawing API goes back to what Irrlicht's own renderers expect, or a 2D
// image drawn next (the cursor) would come out modulated twice.
void CMaterialRendererAlphaBlend::OnUnsetMaterial()
{
    if (Stages)
        Stages->restoreDriverState();
}

void CMaterialRendererAdditive::OnSetMaterial(const video::SMaterial& material, const video::SMaterial& lastMaterial,
                                              bool resetAllRenderstates, video::IMaterialRendererServices* services)
{
    setBasicStates(Driver, material, lastMaterial, resetAllRenderstates, services);
    if (isUnchanged(material, lastMaterial, resetAllRenderstates) || !Stages)
        return;
    builtInSetup(*Stages, D3DTOP_MODULATE2X, D3DBLEND_ONE);
}

// --- description materials ---

void CMaterialRendererStages::OnSetMaterial(const video::SMaterial& material, const video::SMaterial& lastMaterial,
                                            bool resetAllRenderstates, video::IMaterialRendererServices* services)
{
    setBasicStates(Driver, material, lastMaterial, resetAllRenderstates, services);
    if (isUnchanged(material, lastMaterial, resetAllRenderstates) || !Stages)
        return;
    ApplyMaterialDesc(*Stages, Desc, false);
    Stages->commit();
}

void CMaterialRendererStages::OnUnsetMaterial()
{
    if (!Stages)
        return;
    ApplyMaterialDesc(*Stages, Desc, true);
    Stages->restoreDriverState();
}

// --- shader callback ---

void CCustomShaderCallback::OnSetMaterial(const video::SMaterial&)
{
    if (Desc.KeyCount == 0 || !Stages)
        return;
    ApplyMaterialDesc(*Stages, Desc, false);
    Stages->commit();
}

void CCustomShaderCallback::timeVector(uint32_t tickMs, float out[4])
{
    const float scale = 0.001f;
    out[0] = float(tickMs) * scale;
    out[1] = float(tickMs) * scale;
    out[2] = float(tickMs % 4000) * scale;
    out[3] = float(tickMs % 1000) * scale;
}

void CCustomShaderCallback::OnSetConstants(video::IMaterialRendererServices* services, s32)
{
    video::IVideoDriver* driver = services->getVideoDriver();
    core::matrix4 m = driver->getTransform(video::ETS_PROJECTION);
    m *= driver->getTransform(video::ETS_VIEW);
    m *= driver->getTransform(video::ETS_WORLD);
    services->setVertexShaderConstant(m.pointer(), 4, 4);
    float time[4];
    timeVector(Clock ? Clock() : 0, time);
    services->setPixelShaderConstant(time, 5, 1);
}
