// The custom material table: the engine's own material types (two built-ins
// and the texture-stage materials of material descriptions) and the device
// of texture stages they speak to.
#pragma once

#include "utils_str.h"

#include <dimension2d.h>
#include <EDriverFeatures.h>

#include <cstdint>
#include <functional>
#include <memory>

namespace irr { namespace video {
class IVideoDriver;
class IMaterialRenderer;
} }

class ITextureStages;

// The nine states a description sets, each a (value, default) pair.
struct SCustomMaterialDesc {
    enum EState { COLOROP, COLORARG1, COLORARG2, ALPHAOP, ALPHAARG1, ALPHAARG2, BLENDOP, SRCBLEND, DESTBLEND,
                  STATE_COUNT };
    struct SValue {
        uint32_t Value;
        uint32_t Default;
    };

    uint32_t KeyCount = 0;   // keys the description gave
    SValue States[STATE_COUNT];

    SCustomMaterialDesc();
    uint32_t value(EState state) const { return States[state].Value; }

    // Reads the nine keys of a description text; values are constant names.
    void parse(const char* text);
};

class CCustomMaterials {
public:
    static constexpr int MaxMaterials = 40;

    // Answers whether the driver has a feature (the driver's own by default).
    using FeatureQuery = std::function<bool(irr::video::E_VIDEO_DRIVER_FEATURE)>;

    CCustomMaterials();
    ~CCustomMaterials();
    CCustomMaterials(const CCustomMaterials&) = delete;
    CCustomMaterials& operator=(const CCustomMaterials&) = delete;

    // Once before the first frame; the driver is borrowed until dropAll. On
    // OpenGL the stage device is made here (the context must be current).
    int init(irr::video::IVideoDriver* driver);
    // The same with a given stage device (tests; null: none).
    int init(irr::video::IVideoDriver* driver, std::unique_ptr<ITextureStages> stages);

    // Reads a material description file and registers its material under the
    // name. 0 when the driver lacks shader support.
    int addMaterial(irr::video::IVideoDriver* driver, const char* name, const char* descriptionFile);
    // The same from a text already read.
    int addMaterialText(irr::video::IVideoDriver* driver, const char* name, const char* descriptionFile,
                        const char* text);

    // Type of a slot: 0 alpha blend, 1 additive, 2 on descriptions; 0 for an
    // unused slot or an index outside the table.
    irr::s32 getMaterialType(int index) const;
    // Type registered under the name; the additive built-in for unknown names.
    irr::s32 findMaterialType(const char* name) const;

    // In the exit sequence: lets go of every material renderer and empties the
    // texture caches. The stage device stays until the table goes, as the
    // driver may still unset.
    int dropAll();

    // 0 x 0 on the software renderer, the stage device's limit, else 1024 x 1024.
    irr::core::dimension2di getMaxTextureSize(irr::video::IVideoDriver* driver) const;

    // Number of a Direct3D 8 constant name (substring search, first wins); 0
    // when not found.
    static irr::s32 lookupD3DConstant(const char* valueText);

    bool isInitialized() const { return Driver != nullptr; }
    bool isSoftware() const { return IsSoftware; }
    uint32_t getCount() const { return Count; }
    irr::video::IMaterialRenderer* getRenderer(int slot) const;
    ITextureStages* getStages() const { return Stages.get(); }
    // The clock the shader callback reads (ms); the tick count by default.
    void setClock(std::function<uint32_t()> clock) { Clock = std::move(clock); }
    void setFeatureQuery(FeatureQuery query) { Features = std::move(query); }

private:
    bool hasFeature(irr::video::IVideoDriver* driver, irr::video::E_VIDEO_DRIVER_FEATURE feature) const;
    irr::s32 addStageMaterial(irr::video::IVideoDriver* driver, const SCustomMaterialDesc& desc, CString& error);
    irr::s32 addShaderMaterial(irr::video::IVideoDriver* driver, const SCustomMaterialDesc& desc,
                               const CString& vertexFile, const CString& pixelFile);

    uint32_t Count = 0;
    irr::s32 Types[MaxMaterials] = {};
    irr::video::IMaterialRenderer* Renderers[MaxMaterials] = {};   // one reference each
    CMapStringToPtr Names;   // name -> material type id
    irr::video::IVideoDriver* Driver = nullptr;   // borrowed
    bool IsSoftware = false;
    std::unique_ptr<ITextureStages> Stages;
    FeatureQuery Features;
    std::function<uint32_t()> Clock;
};
