// Natives for alerts, questions and on-screen warnings, dialogs, music and
// effects, translations, justified text and screenshots.
#include "module_scripting_funcs.h"

#include "module_dialogfactory.h"
#include "module_enginebase.h"
#include "node_text.h"
#include "rendering_font.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"
#include "utils_str_lng.h"
#include "utils_str_tools.h"
#include "utils_system_windows.h"

#include <cstring>

namespace {

constexpr int DefaultWarningMs = 3000;
// What MakeScreenshot names in the user folder, whose player files are named exactly.
[[maybe_unused]] const bool ScreenshotsExact = RegisterPlayerFileName("*_screenshot.bmp");

// The answers of "NoAlerts" and "NoWarnings": read on first use, then kept
// (a script cannot switch them back on by changing the option later).
struct SSuppression {
    int Alerts = -1;     // -1: not read yet
    int Warnings = -1;
};
SSuppression g_suppression;

bool readSuppressOption(const char* key)
{
    const CString value = getEngine()->getOptions()->getOption(key, false);
    return value == "yes" || value == "1";
}

bool isSuppressed(int& cached, const char* key)
{
    if (cached < 0)
        cached = readSuppressOption(key) ? 1 : 0;
    return cached != 0;
}

CString textArg(const StackHandler& sa, SQInteger index)
{
    const char* text = sa.GetString(index);
    return text ? CString(text) : CString();
}

SQInteger Alert(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    if (isSuppressed(g_suppression.Alerts, "NoAlerts"))
        return 0;
    CString text = textArg(sa, 2);
    if (*GetDebugModeFlag())
        text += CString("\n--\n") + getEngine()->getScripts()->getCallStackText();
    AlertBox(CString("SqScript alert:\n") + text, false);
    return 0;
}

SQInteger AskYesNo(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(AlertBox(CString("SqScript alert:\n") + textArg(sa, 2), true));
}

SQInteger Warning(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    if (isSuppressed(g_suppression.Warnings, "NoWarnings"))
        return 0;
    const int timeMs = sa.GetType(3) == OT_INTEGER ? int(sa.GetInt(3)) : DefaultWarningMs;
    printDebugLine(textArg(sa, 2), timeMs);
    return 0;
}

// An unknown name ends the program in the dialog factory, as a broken data set should.
SQInteger OpenDialog(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const CString path = CDialogFactory::getDialogDescription(textArg(sa, 2));
    CDialogFactory::createDialog(path, irr::core::vector3df(0, 0, 0), getEngine()->RootNode);
    return 0;
}

SQInteger CloseDialog(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const SQInteger fadeMs = sa.GetInt(3);
    getEngine()->closeDialog(textArg(sa, 2), uint32_t(fadeMs < 0 ? 0 : fadeMs));
    return 0;
}

SQInteger IsDialogOpened(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(getEngine()->isDialogOpen(textArg(sa, 2)));
}

SQInteger GetDialogRootFolder(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const CString path = CDialogFactory::getDialogDescription(textArg(sa, 2));
    return sa.Return((const char*)GetPathPart(path, 1, 1, 0, 0));
}

SQInteger SetBackgroundImage(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(SQInteger(getEngine()->setBackground(textArg(sa, 2), int(sa.GetInt(3)))));
}

SQInteger SetBackgroundMusic(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    // An empty name is silence, not the music folder.
    const CString name = textArg(sa, 2);
    getEngine()->getSoundServer()->setBackgroundMusic(name.IsEmpty() ? name : MakeMusicPath(name));
    return 0;
}

SQInteger PlayEffect(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CSoundServer* sound = getEngine()->getSoundServer();
    sound->playEffect(textArg(sa, 2), sound->getEffectsVolume());
    return 0;
}

SQInteger GetTranslation(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const CString key = textArg(sa, 2);
    const CString file = textArg(sa, 3);
    return sa.Return((const char*)(file.IsEmpty() ? GetLng(key) : GetLngForFile(key, nullptr, file)));
}

SQInteger JustifyText(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return((const char*)justifyText(textArg(sa, 2), sa.GetFloat(3)));
}

SQInteger MakeScreenshot(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SYSTEMTIME now{};
    GetLocalTimeNow(&now);
    CString file = textArg(sa, 2) + GetDateString(&now) + "_" + GetTimeString(&now) + "_screenshot";
    MakeSafeName(file, ".");
    file += ".bmp";
    // A relative name would land in whatever folder the program was started from.
    file = GetUserFolder() + file;
    // Scripts run between frames, when the OpenGL back buffer no longer holds
    // the presented frame: the next frame is captured before its swap.
    getEngine()->Queue.postMessage(EngineMessageScreenshot, 0, reinterpret_cast<uintptr_t>(strdup(file)), 0);
    return sa.Return(true);
}

}  // namespace

void ForgetScriptMessageOptions()
{
    g_suppression = SSuppression();
}

void registerServiceNatives()
{
    REGISTER_CORE_NATIVE(SetBackgroundImage, "core_SetBackgroundImage", "*");
    REGISTER_CORE_NATIVE(SetBackgroundMusic, "core_SetBackgroundMusic", "s");
    REGISTER_CORE_NATIVE(PlayEffect, "core_PlayEffect", "*");
    REGISTER_CORE_NATIVE(Alert, "core_Alert", "*");
    REGISTER_CORE_NATIVE(AskYesNo, "core_AskYesNo", "*");
    REGISTER_CORE_NATIVE(Warning, "core_Warning", "*");
    REGISTER_CORE_NATIVE(OpenDialog, "core_OpenDialog", "s");
    REGISTER_CORE_NATIVE(CloseDialog, "core_CloseDialog", "*");
    REGISTER_CORE_NATIVE(IsDialogOpened, "core_IsDialogOpened", "s");
    REGISTER_CORE_NATIVE(GetDialogRootFolder, "core_GetDialogRootFolder", "s");
    REGISTER_CORE_NATIVE(GetTranslation, "core_GetTranslation", "*");
    REGISTER_CORE_NATIVE(GetTranslation, "core_Translate", "*");
    REGISTER_CORE_NATIVE(MakeScreenshot, "core_MakeScreenshot", "s");
    REGISTER_CORE_NATIVE(JustifyText, "core_JustifyText", "*");
}
