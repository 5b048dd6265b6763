// The X clipboard. The X library's functions are found at run time
// (xlib_functions.h), its types and event layouts come from its header.
#include "x_clipboard.h"

#include "x_errors.h"
#include "xlib.h"
#include "xlib_functions.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>

#include <chrono>
#include <cstring>

namespace platform {

namespace {

constexpr long WholeProperty = 0x1FFFFFFF;   // in 32-bit units

struct SClipboard {
    Display* Connection = nullptr;
    Window Owner = 0;   // the hidden window that owns the selection and receives answers
    Atom Clipboard = None, Utf8 = None, Text = None, Targets = None, Incr = None, Landing = None;
    bool Owned = false;
    std::string Content;   // UTF-8
};

SClipboard g_clip;

bool connect()
{
    if (g_clip.Connection)
        return true;
    Display* display = static_cast<Display*>(HoldXDisplay());   // none without the whole table either
    if (!display)
        return false;
    const SXlib& x = GetXlib();
    g_clip.Connection = display;
    g_clip.Owner = x.CreateSimpleWindow(display, x.DefaultRoot(display), 0, 0, 1, 1, 0, 0, 0);
    g_clip.Clipboard = x.InternAtom(display, "CLIPBOARD", False);
    g_clip.Utf8 = x.InternAtom(display, "UTF8_STRING", False);
    g_clip.Text = x.InternAtom(display, "TEXT", False);
    g_clip.Targets = x.InternAtom(display, "TARGETS", False);
    g_clip.Incr = x.InternAtom(display, "INCR", False);
    g_clip.Landing = x.InternAtom(display, "ENGINE_CLIPBOARD", False);
    return true;
}

std::string latin1ToUtf8(const unsigned char* text, unsigned long size)
{
    std::string out;
    out.reserve(size);
    for (unsigned long i = 0; i < size; ++i) {
        const unsigned char c = text[i];
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Characters beyond Latin-1 become '?'.
std::string utf8ToLatin1(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = (unsigned char)text[i];
        size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
        if (i + length > text.size())
            length = text.size() - i;
        if (length == 1 && c < 0x80)
            out += char(c);
        else if (length == 2 && c <= 0xC3)
            out += char(((c & 0x1F) << 6) | ((unsigned char)text[i + 1] & 0x3F));
        else
            out += '?';
        i += length;
    }
    return out;
}

// Another program asks for the text; whatever it asks, it is told the answer.
void answer(const XSelectionRequestEvent& request)
{
    const SXlib& x = GetXlib();
    // Clients older than the conventions name no property: the target serves.
    Atom property = request.property != None ? request.property : request.target;
    // The requestor's window may go away before the answer lands: no error may end the program.
    BeginXErrorTrap();
    if (!g_clip.Owned || request.selection != g_clip.Clipboard) {
        property = None;
    } else if (request.target == g_clip.Targets) {
        const unsigned long targets[] = {g_clip.Targets, g_clip.Utf8, g_clip.Text, XA_STRING};
        x.ChangeProperty(g_clip.Connection, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                         reinterpret_cast<const unsigned char*>(targets), 4);
    } else if (request.target == g_clip.Utf8 || request.target == g_clip.Text) {
        x.ChangeProperty(g_clip.Connection, request.requestor, property, g_clip.Utf8, 8, PropModeReplace,
                         reinterpret_cast<const unsigned char*>(g_clip.Content.data()), int(g_clip.Content.size()));
    } else if (request.target == XA_STRING) {
        const std::string latin1 = utf8ToLatin1(g_clip.Content);
        x.ChangeProperty(g_clip.Connection, request.requestor, property, XA_STRING, 8, PropModeReplace,
                         reinterpret_cast<const unsigned char*>(latin1.data()), int(latin1.size()));
    } else {
        property = None;
    }
    XEvent reply{};
    XSelectionEvent& notify = reply.xselection;
    notify.type = SelectionNotify;
    notify.send_event = True;
    notify.display = g_clip.Connection;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = property;
    notify.time = request.time;
    x.SendEvent(g_clip.Connection, request.requestor, False, 0, &reply);
    EndXErrorTrap(g_clip.Connection);
}

// Handles one event; true when it is the answer to the program's own request.
bool handle(const XEvent& event)
{
    if (event.type == SelectionRequest) {
        answer(event.xselectionrequest);
    } else if (event.type == SelectionClear && event.xselectionclear.selection == g_clip.Clipboard) {
        g_clip.Owned = false;   // another program took the clipboard
        g_clip.Content.clear();
    } else if (event.type == SelectionNotify && event.xselection.requestor == g_clip.Owner) {
        return true;
    }
    return false;
}

// Waits for the owner's answer until the deadline, answering others meanwhile;
// a late answer to an earlier request is passed over.
bool waitForAnswer(Atom target, std::chrono::steady_clock::time_point deadline, XSelectionEvent& notify)
{
    const SXlib& x = GetXlib();
    for (;;) {
        while (x.Pending(g_clip.Connection) > 0) {
            XEvent event{};
            x.NextEvent(g_clip.Connection, &event);
            if (handle(event) && event.xselection.target == target) {
                notify = event.xselection;
                return true;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fd{x.Connection(g_clip.Connection), POLLIN, 0};
        poll(&fd, 1, int(left.count()));
    }
}

// The landing property's text; false for an incremental transfer, which is
// not taken (it is meant for texts of hundreds of kilobytes).
bool takeLanded(std::string& out)
{
    const SXlib& x = GetXlib();
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    const int status = x.GetWindowProperty(g_clip.Connection, g_clip.Owner, g_clip.Landing, 0, WholeProperty, True,
                                           AnyPropertyType, &type, &format, &count, &left, &data);
    bool taken = false;
    if (status == 0 && data && format == 8 && type != g_clip.Incr) {
        out = type == XA_STRING ? latin1ToUtf8(data, count) : std::string(reinterpret_cast<char*>(data), count);
        taken = true;
    }
    if (data)
        x.Free(data);
    return taken;
}

}   // namespace

bool SetClipboardUtf8(const std::string& text)
{
    if (!connect())
        return false;
    const SXlib& x = GetXlib();
    g_clip.Content = text;
    x.SetSelectionOwner(g_clip.Connection, g_clip.Clipboard, g_clip.Owner, CurrentTime);
    g_clip.Owned = x.GetSelectionOwner(g_clip.Connection, g_clip.Clipboard) == g_clip.Owner;
    x.Flush(g_clip.Connection);
    return g_clip.Owned;
}

std::string GetClipboardUtf8(int waitMs)
{
    if (!connect())
        return std::string();
    const SXlib& x = GetXlib();
    ServeClipboard();   // a SelectionClear waiting in the queue says the text is no longer ours
    const Window owner = x.GetSelectionOwner(g_clip.Connection, g_clip.Clipboard);
    if (owner == None)
        return std::string();
    if (owner == g_clip.Owner && g_clip.Owned)
        return g_clip.Content;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs > 0 ? waitMs : 0);
    // UTF-8 first; owners that know only Latin-1 refuse it and are asked for that.
    for (Atom target : {g_clip.Utf8, XA_STRING}) {
        x.DeleteProperty(g_clip.Connection, g_clip.Owner, g_clip.Landing);
        x.ConvertSelection(g_clip.Connection, g_clip.Clipboard, target, g_clip.Landing, g_clip.Owner, CurrentTime);
        x.Flush(g_clip.Connection);
        XSelectionEvent notify{};
        if (!waitForAnswer(target, deadline, notify))
            return std::string();
        std::string text;
        if (notify.property != None && takeLanded(text))
            return text;
    }
    return std::string();
}

void ServeClipboard()
{
    if (!g_clip.Connection)
        return;
    const SXlib& x = GetXlib();
    while (x.Pending(g_clip.Connection) > 0) {
        XEvent event{};
        x.NextEvent(g_clip.Connection, &event);
        handle(event);
    }
}

void CloseClipboard()
{
    if (!g_clip.Connection)
        return;
    const SXlib& x = GetXlib();
    if (g_clip.Owner)
        x.DestroyWindow(g_clip.Connection, g_clip.Owner);
    ReleaseXDisplay(g_clip.Connection);
    g_clip = SClipboard();
}

}   // namespace platform
