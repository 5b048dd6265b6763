// Message boxes over SDL, with the unattended fallback and the test hook.
#include "msgbox.h"

#include <SDL_messagebox.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

std::mutex HookLock;
platform::MessageBoxHook& hookSlot()
{
    static platform::MessageBoxHook hook;
    return hook;
}

std::atomic<int> InteractiveMode{-1};

bool isEnvSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value && std::strcmp(value, "0") != 0;
}

bool hasDisplay()
{
    return isEnvSet("DISPLAY") || isEnvSet("WAYLAND_DISPLAY");
}

const char* buttonText(int id)
{
    switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    }
    return "?";
}

Uint32 iconFlags(unsigned type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR: return SDL_MESSAGEBOX_ERROR;
    case MB_ICONWARNING: return SDL_MESSAGEBOX_WARNING;
    case MB_ICONQUESTION:
    case MB_ICONINFORMATION: return SDL_MESSAGEBOX_INFORMATION;
    }
    return 0;
}

int writeUnattended(const char* text, const char* caption, int answer)
{
    std::fprintf(stderr, "[message box] %s\n%s\n[answered %d]\n", caption, text, answer);
    return answer;
}

// -1 when SDL could not show the box.
int showSdlBox(const char* text, const char* caption, unsigned type)
{
    std::vector<int> ids = platform::MessageBoxButtons(type);
    size_t defaultIndex = (type & MB_DEFMASK) >> 8;
    if (defaultIndex >= ids.size())
        defaultIndex = 0;
    int closedAnswer = platform::ClosedBoxAnswer(type);
    std::vector<SDL_MessageBoxButtonData> buttons;
    for (size_t i = 0; i < ids.size(); ++i) {
        Uint32 flags = 0;
        if (i == defaultIndex)
            flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (ids[i] == closedAnswer)
            flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        buttons.push_back({flags, ids[i], buttonText(ids[i])});
    }
    SDL_MessageBoxData box = {};
    box.flags = iconFlags(type) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    box.title = caption;
    box.message = text;
    box.numbuttons = int(buttons.size());
    box.buttons = buttons.data();
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0)
        return -1;
    return pressed < 0 ? closedAnswer : pressed;
}

} // namespace

namespace platform {

int UnattendedBoxAnswer(unsigned type)
{
    return type == MB_YESNO ? IDYES : 0;
}

std::vector<int> MessageBoxButtons(unsigned type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    }
    return {IDOK};
}

int ClosedBoxAnswer(unsigned type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNO: return IDNO;
    }
    return IDOK;
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard<std::mutex> lock(HookLock);
    MessageBoxHook old = std::move(hookSlot());
    hookSlot() = std::move(hook);
    return old;
}

bool AreBoxesInteractive()
{
    int mode = InteractiveMode.load();
    if (mode >= 0)
        return mode == 1;
    return hasDisplay() && !isEnvSet("ENGINE_NONINTERACTIVE") && !isEnvSet("CI");
}

void SetBoxesInteractive(int mode)
{
    InteractiveMode.store(mode < 0 ? -1 : (mode ? 1 : 0));
}

int ShowMessageBox(const char* text, const char* caption, unsigned type)
{
    return ShowMessageBox(text, caption, type, UnattendedBoxAnswer(type));
}

int ShowMessageBox(const char* text, const char* caption, unsigned type, int unattendedAnswer)
{
    if (!text)
        text = "";
    if (!caption)
        caption = "";
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> lock(HookLock);
        hook = hookSlot();
    }
    if (hook)
        return hook(text, caption, type);
    if (AreBoxesInteractive()) {
        int answer = showSdlBox(text, caption, type);
        if (answer >= 0)
            return answer;
    }
    return writeUnattended(text, caption, unattendedAnswer);
}

} // namespace platform
