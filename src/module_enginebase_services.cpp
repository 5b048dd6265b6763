// Engine services: the dialog stack (queries, tracking, closing by name),
// clearing every cache, and macro expansion of description texts.
#include "module_enginebase.h"

#include "module_dialogfactory.h"
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

// The fade-out arrives with the self-destroy animator; until then a close is at once.
void closeDialogNode(CNodeBasement* node, uint32_t /*fadeMs*/)
{
    deleteNode(node);
}

} // namespace

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
