// The custom material table: the engine's own material renderers.
#pragma once

namespace irr { namespace video { class IVideoDriver; } }

class CCustomMaterials {
public:
    CCustomMaterials() = default;
    CCustomMaterials(const CCustomMaterials&) = delete;
    CCustomMaterials& operator=(const CCustomMaterials&) = delete;

    // Once before the first frame; the driver is borrowed until dropAll.
    void init(irr::video::IVideoDriver* driver);
    // In the exit sequence: lets go of every material renderer.
    void dropAll();

    bool isInitialized() const { return Driver != nullptr; }

private:
    irr::video::IVideoDriver* Driver = nullptr;   // borrowed
};
