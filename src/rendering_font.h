// The engine font.
#pragma once

#include <IReferenceCounted.h>

class CGUIFont3D : public irr::IReferenceCounted {
public:
    CGUIFont3D() = default;
    CGUIFont3D(const CGUIFont3D&) = delete;
    CGUIFont3D& operator=(const CGUIFont3D&) = delete;
};
