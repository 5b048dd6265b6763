#include "x_compose.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <mutex>
#include <string>

namespace platform {

namespace {

constexpr unsigned long SpaceSym = 0x20;

struct STable {
    std::mutex Mutex;
    xkb_context* Context = nullptr;
    xkb_compose_table* Table = nullptr;
    std::string Pinned;
    bool IsPinned = false;
    bool Read = false;
    unsigned Generation = 1;
};

// Lives to the end of the program: key events may come while it ends.
STable& table()
{
    static STable* const shared = new STable;
    return *shared;
}

std::string environmentLocale()
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "C";
}

xkb_compose_table* readTable(xkb_context* context, const std::string& locale)
{
    return context ? xkb_compose_table_new_from_locale(context, locale.c_str(), XKB_COMPOSE_COMPILE_NO_FLAGS)
                   : nullptr;
}

// The caller holds the mutex here and below.
xkb_context* context(STable& shared)
{
    if (!shared.Context) {
        shared.Context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        // A locale without a table is no fault of the player's: the C table serves.
        if (shared.Context)
            xkb_context_set_log_level(shared.Context, XKB_LOG_LEVEL_CRITICAL);
    }
    return shared.Context;
}

std::string chosenLocale(const STable& shared)
{
    return shared.IsPinned ? shared.Pinned : environmentLocale();
}

// The table, read on first use.
xkb_compose_table* currentTable(STable& shared)
{
    if (shared.Read)
        return shared.Table;
    shared.Read = true;
    shared.Table = readTable(context(shared), chosenLocale(shared));
    if (!shared.Table)
        shared.Table = readTable(shared.Context, "C");
    return shared.Table;
}

// The one character of a UTF-8 text, 0 when it holds none or more.
char32_t onlyCharacter(const char* text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    if (!*p)
        return 0;
    int more = *p >= 0xF0 ? 3 : *p >= 0xE0 ? 2 : *p >= 0xC0 ? 1 : 0;
    char32_t c = more ? *p & (0x3F >> more) : *p;
    for (++p; more > 0; --more, ++p) {
        if ((*p & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (*p & 0x3F);
    }
    return *p ? 0 : c;
}

char32_t composedCharacter(xkb_compose_state* state)
{
    char text[64];
    const int length = xkb_compose_state_get_utf8(state, text, sizeof(text));
    return length > 0 && size_t(length) < sizeof(text) ? onlyCharacter(text) : 0;
}

// Dead keys whose accent the compose tables never space: without their own
// character a second one, or one the table cannot use, would type nothing.
char32_t unspacedDeadKeyCharacter(unsigned long keysym)
{
    switch (keysym) {
    case XKB_KEY_dead_lowline: return U'_';
    case XKB_KEY_dead_voiced_sound: return 0x309B;
    case XKB_KEY_dead_semivoiced_sound: return 0x309C;
    case XKB_KEY_dead_abovecomma: return 0x1FBF;
    case XKB_KEY_dead_doublegrave: return 0x02F5;
    default: return 0;
    }
}

// A sequence's first key as typed before what ended it.
char32_t spacingAccent(unsigned long keysym)
{
    const char32_t spacing = ComposeSpacingForm(keysym);
    return spacing ? spacing : unspacedDeadKeyCharacter(keysym);
}

} // namespace

void PinComposeLocale(const char* locale)
{
    STable& shared = table();
    std::lock_guard<std::mutex> lock(shared.Mutex);
    shared.IsPinned = locale != nullptr;
    shared.Pinned = locale ? locale : "";
    xkb_compose_table_unref(shared.Table);
    shared.Table = nullptr;
    shared.Read = false;
    ++shared.Generation;
}

CComposeState::~CComposeState()
{
    xkb_compose_state_unref(State);
}

void CComposeState::reset()
{
    if (State)
        xkb_compose_state_reset(State);
    First = 0;
}

EComposeStep CComposeState::feed(unsigned long keysym)
{
    Composed = Accent = 0;
    {
        STable& shared = table();
        std::lock_guard<std::mutex> lock(shared.Mutex);
        if (!State || Generation != shared.Generation) {
            xkb_compose_state_unref(State);
            xkb_compose_table* current = currentTable(shared);
            State = current ? xkb_compose_state_new(current, XKB_COMPOSE_STATE_NO_FLAGS) : nullptr;
            Generation = shared.Generation;
            First = 0;
        }
    }
    if (!State || xkb_compose_state_feed(State, xkb_keysym_t(keysym)) == XKB_COMPOSE_FEED_IGNORED)
        return EComposeStep::Plain;
    switch (xkb_compose_state_get_status(State)) {
    case XKB_COMPOSE_COMPOSING:
        if (!First)
            First = keysym;
        return EComposeStep::Pending;
    case XKB_COMPOSE_COMPOSED:
        Composed = composedCharacter(State);
        Accent = spacingAccent(First);
        First = 0;
        return EComposeStep::Composed;
    case XKB_COMPOSE_CANCELLED:
        Accent = spacingAccent(First);
        First = 0;
        return EComposeStep::Cancelled;
    default:
        First = 0;
        return EComposeStep::Plain;
    }
}

char32_t KeysymCharacter(unsigned long keysym)
{
    if (!keysym)
        return 0;
    const char32_t c = xkb_keysym_to_utf32(xkb_keysym_t(keysym));
    return c ? c : unspacedDeadKeyCharacter(keysym);
}

bool IsDeadKeysym(unsigned long keysym)
{
    return keysym >= XKB_KEY_dead_grave && keysym <= XKB_KEY_dead_longsolidusoverlay;
}

char32_t ComposeSpacingForm(unsigned long keysym)
{
    if (!keysym)
        return 0;
    STable& shared = table();
    std::lock_guard<std::mutex> lock(shared.Mutex);
    xkb_compose_table* current = currentTable(shared);
    xkb_compose_state* state = current ? xkb_compose_state_new(current, XKB_COMPOSE_STATE_NO_FLAGS) : nullptr;
    if (!state)
        return 0;
    xkb_compose_state_feed(state, xkb_keysym_t(keysym));
    xkb_compose_state_feed(state, SpaceSym);
    const char32_t spacing =
        xkb_compose_state_get_status(state) == XKB_COMPOSE_COMPOSED ? composedCharacter(state) : 0;
    xkb_compose_state_unref(state);
    return spacing;
}

} // namespace platform
