// The game's own versions of the engine records the client makes: the
// sprite description with the connector key, the dialog record with the
// pause key, and the per-profile data (which the game leaves empty).
#pragma once

#include "module_dialogfactory.h"
#include "module_userprofile.h"
#include "node_factory.h"

class CGameNodeFactory : public CNodeFactory {
public:
    // "-Animation.ConnectSprites:" f<id> t<id>: the two nodes a connector joins.
    void parseCustomKeys(const CString& text, const CStringArray* params, const SSpriteCreateInfo* info) override;
    // A connector animator when the description names a first end.
    void applyCustomEffects(CNodeBasement* node, const SSpriteCreateInfo* info) override;

    irr::s32 connectFrom = 0;   // node ID, 0 when absent
    irr::s32 connectTo = 0;     // node ID, 0 when absent
};

class CGameDialogInfo : public CDialogInfo {
public:
    // "-PauseGame: <level>" pauses the engine while the dialog lives.
    void applyCustomKeys(CNodeBasement* node, const CString& description, const CStringArray& parameters) override;
};

class CGameProfileData : public CProfileData {
};
