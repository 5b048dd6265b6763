// Dialogs: the per-dialog record that the client makes.
#pragma once

#include <IReferenceCounted.h>

class CDialogInfo : public irr::IReferenceCounted {
public:
    CDialogInfo() = default;
    CDialogInfo(const CDialogInfo&) = delete;
    CDialogInfo& operator=(const CDialogInfo&) = delete;
};
