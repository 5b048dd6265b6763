// The game's description, dialog and profile records.
#include "spritebindings.h"

#include "asystemanimators.h"
#include "node_helpers_desc.h"
#include "node_utilities.h"
#include "stuff/animators.h"

namespace {

const char* const ConnectKey = "-Animation.ConnectSprites:";
const char* const PauseKey = "-PauseGame:";

// IDs are read as unsigned numbers; ones beyond the int range come out
// negative and so never name a node.
irr::s32 readEndId(const CString& value, char letter)
{
    return irr::s32(readUIntComponent(value, letter, 0));
}

} // namespace

// --- CGameNodeFactory ---

void CGameNodeFactory::parseCustomKeys(const CString& text, const CStringArray* params, const SSpriteCreateInfo* info)
{
    // Cleared first: a record parsed again must not keep the ends of the last text.
    connectFrom = 0;
    connectTo = 0;
    CString value;
    if (getKeyValue(text, ConnectKey, value) > 0) {
        connectFrom = readEndId(value, 'f');
        connectTo = readEndId(value, 't');
    }
}

void CGameNodeFactory::applyCustomEffects(CNodeBasement* node, const SSpriteCreateInfo* info)
{
    if (connectFrom != 0)
        attachAnimator(node, new CConnectSpritesAnimator(connectFrom, connectTo));
}

// --- CGameDialogInfo ---

void CGameDialogInfo::applyCustomKeys(CNodeBasement* node, const CString& description, const CStringArray& parameters)
{
    CString value;
    if (getKeyValue(description, PauseKey, value) <= 0)
        return;
    const int level = readIntComponent(readStringValue(value, 0), 0, 0);
    if (level != 0)
        attachAnimatorStopped(node, new CPauseAnimator(level));
}
