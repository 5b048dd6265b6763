// Engine services: the dialog stack (queries, tracking, closing by name),
// clearing every cache, and macro expansion of description texts.
#include "module_enginebase.h"

#include "afadeanimators.h"
#include "asystemanimators.h"
#include "module_dialogfactory.h"
#include "node_helpers.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_utilities.h"
#include "rendering_stuff_particles.h"
#include "server_game_manifest.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str_keyvalue.h"
#include "utils_str_lng.h"
#include "utils_system_common.h"

#include <vector>

namespace {

void closeDialogNode(CNodeBasement* node, uint32_t fadeMs)
{
    if (fadeMs != 0)
        attachAnimator(node, new CSelfDestroyAnimator(fadeMs, uint32_t(0.9 * fadeMs)));
    else
        deleteNode(node);
}

CString& lastBackgroundName()
{
    static CString name;
    return name;
}

// Marks the background node: once a script deletes it, its ID may go to any
// new node, which the next background must not take for the old one.
const char BackgroundMark[] = "__Background";

} // namespace

bool CEngineBase::setBackground(const char* image, int crossFade)
{
    CString& last = lastBackgroundName();
    if (stringEquals(image, last))
        return true;
    const CString path = ResolveDataPath(image);
    if (path.IsEmpty())
        return false;
    last = image;
    CNodeBasement* old = CNodeBasement::fromSceneNode(getNodeById(BackgroundId, nullptr));
    if (old && old->getAttributeInt(BackgroundMark, 0) != 0) {
        if (crossFade) {
            old->moveBy(irr::core::vector3df(0, 0, 0.0001f));
            attachAnimator(old, new CSelfDestroyAnimator(1100, 1000));
        } else {
            deleteNode(old);
        }
    }
    CNodeBasement* node = addSprite(path, 80.0f, 80.0f, irr::core::vector3df(0, 0, 20.55f), RootNode, nullptr,
                                    SPRITE_SITE);
    BackgroundId = node ? ForceNodeToHaveID(node) : 0;
    if (node)
        node->setAttributeInt(BackgroundMark, 1);
    if (node && crossFade) {
        node->setAlphaThreshold(0);
        node->setAlpha(0.0f);
        attachAnimator(node, new CDelayAnimator(1000, new CAlphaAnimator(1000, 0.0f, 1.0f, 0)));
    }
    return true;
}

CString CEngineBase::getTopDialogName()
{
    return Dialogs.empty() ? CString() : (*Dialogs.getLast())->name;
}

bool CEngineBase::isDialogOpen(const char* name)
{
    for (CDialogInfo* dialog : Dialogs)
        if (stringEquals(name, dialog->name))
            return true;
    return false;
}

bool CEngineBase::trackDialog(int mode, CDialogInfo* record)
{
    if (mode == 1) {
        record->grab();
        Dialogs.push_back(record);
    } else if (mode == -1) {
        for (auto it = Dialogs.begin(); it != Dialogs.end(); ++it) {
            if (*it == record) {
                Dialogs.erase(it);
                record->drop();
                break;
            }
        }
    }
    return true;
}

void CEngineBase::closeDialogs(const char* list)
{
    DebugTrace(">>Closing dialogs %s\n", list ? list : "");
    CString text = CString(",") + (list ? list : "") + ",";
    text.Replace(" ", ",");
    text.Replace("|", ",");
    while (text.Find(",,") >= 0)
        text.Replace(",,", ",");
    std::vector<CString> names;   // closing changes the stack
    for (CDialogInfo* dialog : Dialogs)
        names.push_back(dialog->name);
    const bool all = text == "," || text == ",-1,";
    for (const CString& name : names)
        if (all || text.Find(CString(",") + name + ",") >= 0)
            closeDialog(name, 0);
}

bool CEngineBase::closeDialog(CString name, uint32_t fadeMs)
{
    DebugTrace(">>Closing dialog %s\n", (const char*)name);
    const int query = name.Find('?');
    if (query >= 0)
        name = name.Left(query);
    CNodeBasement* node = CNodeBasement::fromSceneNode(getNodeById(getIdByName(name), nullptr));
    if (!node) {
        DebugTrace(">>Closing dialog %s - failed!\n", (const char*)name);
        return false;
    }
    node->finishAllAnimators(true);
    closeDialogNode(node, fadeMs);
    DebugTrace(">>Closing dialog %s - ok\n", (const char*)name);
    return true;
}

void CEngineBase::clearCaches(int quiet)
{
    GetProfilerReport();
    ClearTextFileCache();
    GetLngCache().RemoveAll();
    GetIniCache().Clear();
    Scripts.clearCodeCache();
    clearSpriteCache();
    clearTexturePixelCache();
    if (!quiet)
        EngineMessageBox(CString("Caches cleared!") + "Switch list:\n" + LastDebugText, MB_OK);
}

void CEngineBase::releasePixelCaches()
{
    clearTexturePixelCache();
}

void CEngineBase::expandMacros(CString& text, const CStringArray* parameters, const SSpriteCreateInfo* extra)
{
    CManifest::stored().expandMacros(text);
    if (Client)
        Client->expandMacros(text, parameters, extra);
}
