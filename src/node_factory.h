// The node factory: one parsed sprite description, made through the client.
#pragma once

#include <IReferenceCounted.h>

class CNodeFactory : public irr::IReferenceCounted {
public:
    CNodeFactory() = default;
    CNodeFactory(const CNodeFactory&) = delete;
    CNodeFactory& operator=(const CNodeFactory&) = delete;
};
