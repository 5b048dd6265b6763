// The material renderers of the custom material table, written against the
// texture-stage device in Direct3D 8's numbers, and the shader callback.
#pragma once

#include "rendering_material_custom.h"

#include <IMaterialRenderer.h>
#include <IShaderConstantSetCallBack.h>

#include <functional>

class ITextureStages;

// Texture x diffuse, blended over the frame by its alpha.
class CMaterialRendererAlphaBlend : public irr::video::IMaterialRenderer {
public:
    // The stage device (null: none) and the driver are borrowed.
    CMaterialRendererAlphaBlend(ITextureStages* stages, irr::video::IVideoDriver* driver)
        : Stages(stages), Driver(driver) {}
    void OnSetMaterial(const irr::video::SMaterial& material, const irr::video::SMaterial& lastMaterial,
                       bool resetAllRenderstates, irr::video::IMaterialRendererServices* services) override;
    void OnUnsetMaterial() override;

protected:
    ITextureStages* Stages;
    irr::video::IVideoDriver* Driver;
};

// Texture x diffuse x 2, added to the frame by its alpha.
class CMaterialRendererAdditive : public CMaterialRendererAlphaBlend {
public:
    using CMaterialRendererAlphaBlend::CMaterialRendererAlphaBlend;
    void OnSetMaterial(const irr::video::SMaterial& material, const irr::video::SMaterial& lastMaterial,
                       bool resetAllRenderstates, irr::video::IMaterialRendererServices* services) override;
};

// The stage 0 and blend states of a material description.
class CMaterialRendererStages : public irr::video::IMaterialRenderer {
public:
    CMaterialRendererStages(const SCustomMaterialDesc& desc, ITextureStages* stages,
                            irr::video::IVideoDriver* driver)
        : Desc(desc), Stages(stages), Driver(driver) {}
    void OnSetMaterial(const irr::video::SMaterial& material, const irr::video::SMaterial& lastMaterial,
                       bool resetAllRenderstates, irr::video::IMaterialRendererServices* services) override;
    void OnUnsetMaterial() override;

    const SCustomMaterialDesc& getDesc() const { return Desc; }

private:
    SCustomMaterialDesc Desc;
    ITextureStages* Stages;
    irr::video::IVideoDriver* Driver;
};

// Shader constants: projection x view x world in vertex registers 4-7, the
// time in pixel register 5.
class CCustomShaderCallback : public irr::video::IShaderConstantSetCallBack {
public:
    CCustomShaderCallback(const SCustomMaterialDesc& desc, ITextureStages* stages, std::function<uint32_t()> clock)
        : Desc(desc), Stages(stages), Clock(std::move(clock)) {}
    void OnSetMaterial(const irr::video::SMaterial& material) override;
    void OnSetConstants(irr::video::IMaterialRendererServices* services, irr::s32 userData) override;

    // The four floats of pixel register 5 at a tick count.
    static void timeVector(uint32_t tickMs, float out[4]);

private:
    SCustomMaterialDesc Desc;
    ITextureStages* Stages;
    std::function<uint32_t()> Clock;
};

// Stage 0 and blend state of a description onto the device (values or defaults).
void ApplyMaterialDesc(ITextureStages& stages, const SCustomMaterialDesc& desc, bool useDefaults);

// Anisotropic filtering on a layer without bilinear or trilinear filtering.
bool NeedsBilinearForAnisotropic(const irr::video::SMaterial& material);
// Turns bilinear filtering on for those layers (the OpenGL renderers do).
void ApplyAnisotropicBilinear(irr::video::SMaterial& material);
