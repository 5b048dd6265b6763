// The custom material table.
#include "rendering_material_custom.h"

void CCustomMaterials::init(irr::video::IVideoDriver* driver)
{
    Driver = driver;
}

void CCustomMaterials::dropAll()
{
    Driver = nullptr;
}
