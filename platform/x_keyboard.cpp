// The X library is opened at run time, like everywhere in this layer; the
// event layout below is the library's own. Key codes are those of the evdev
// keyboard description (8 + the Linux scan code), which the X servers of
// today use whatever the layout.
#include "x_keyboard.h"

#include "xlib.h"

#include <cstddef>

namespace platform {

namespace {

constexpr int KeyPress = 2;
constexpr int KeyRelease = 3;
constexpr unsigned long NumLockSym = 0xFF7F;

struct SKeyEvent {
    int type;
    unsigned long serial;
    int send_event;
    void* display;
    unsigned long window, root, subwindow;
    unsigned long time;
    int x, y, x_root, y_root;
    unsigned state;
    unsigned keycode;
    int same_screen;
};

using WireToEvent = int (*)(void* display, void* event, void* wire);

struct SXlib {
    WireToEvent (*SetWireToEvent)(void*, int, WireToEvent) = nullptr;
    unsigned long (*KeycodeToKeysym)(void*, unsigned char, int, int) = nullptr;
    int (*LookupKeySym)(void*, unsigned char, unsigned, unsigned*, unsigned long*) = nullptr;
    unsigned (*KeysymToModifiers)(void*, unsigned long) = nullptr;

    bool ok() const { return SetWireToEvent && KeycodeToKeysym && LookupKeySym && KeysymToModifiers; }
};

const SXlib& xlib()
{
    static const SXlib lib = [] {
        SXlib found;
        FindXlibFunction(found.SetWireToEvent, "XESetWireToEvent");
        FindXlibFunction(found.KeycodeToKeysym, "XkbKeycodeToKeysym");
        FindXlibFunction(found.LookupKeySym, "XkbLookupKeySym");
        FindXlibFunction(found.KeysymToModifiers, "XkbKeysymToModifiers");
        return found;
    }();
    return lib;
}

// The key events read from the display and not yet taken, oldest first. The
// device drops some (the releases of held keys that repeat), so a few more
// than one frame's worth are kept.
struct SRead {
    bool Pressed;
    unsigned Code;
    unsigned State;
};
constexpr size_t ReadCapacity = 64;
SRead g_read[ReadCapacity];
size_t g_readFirst = 0, g_readCount = 0;

void* g_display = nullptr;
WireToEvent g_previous[2] = {};   // the library's converters for presses and releases

// Runs inside the X library while it reads events: it may make no request.
int watchKey(void* display, void* event, void* wire)
{
    auto* key = static_cast<SKeyEvent*>(event);
    const int slot = (*static_cast<unsigned char*>(wire) & 0x7F) == KeyPress ? 0 : 1;
    const int converted = g_previous[slot] ? g_previous[slot](display, event, wire) : 0;
    if (!converted || display != g_display)
        return converted;
    if (g_readCount == ReadCapacity) {   // nobody takes them: the oldest goes
        g_readFirst = (g_readFirst + 1) % ReadCapacity;
        --g_readCount;
    }
    g_read[(g_readFirst + g_readCount) % ReadCapacity] = {key->type == KeyPress, key->keycode, key->state};
    ++g_readCount;
    return converted;
}

// Windows' code of each key of a US keyboard, by X key code; the number pad
// apart.
int usPositionCode(unsigned code)
{
    struct STable {
        int Codes[256] = {};
    };
    static const STable table = [] {
        STable built;
        int* table = built.Codes;
        struct SRange {
            unsigned first;
            const char* keys;   // consecutive codes, one character each
        };
        // Rows of letters and digits.
        const SRange rows[] = {{10, "1234567890"}, {24, "QWERTYUIOP"}, {38, "ASDFGHJKL"}, {52, "ZXCVBNM"}};
        for (const SRange& row : rows)
            for (unsigned i = 0; row.keys[i]; ++i)
                table[row.first + i] = row.keys[i];
        const struct {
            unsigned code;
            int vk;
        } keys[] = {
            {9, 0x1B},   {20, 0xBD},  {21, 0xBB},  {22, 0x08},  {23, 0x09},  {34, 0xDB},  {35, 0xDD},
            {36, 0x0D},  {37, 0xA2},  {47, 0xBA},  {48, 0xDE},  {49, 0xC0},  {50, 0xA0},  {51, 0xDC},
            {59, 0xBC},  {60, 0xBE},  {61, 0xBF},  {62, 0xA1},  {63, 0x6A},  {64, 0xA4},  {65, 0x20},
            {66, 0x14},  {77, 0x90},  {78, 0x91},  {82, 0x6D},  {86, 0x6B},  {94, 0xE2},  {95, 0x7A},
            {96, 0x7B},  {104, 0x0D}, {105, 0xA3}, {106, 0x6F}, {107, 0x2C}, {108, 0xA5}, {110, 0x24},
            {111, 0x26}, {112, 0x21}, {113, 0x25}, {114, 0x27}, {115, 0x23}, {116, 0x28}, {117, 0x22},
            {118, 0x2D}, {119, 0x2E}, {127, 0x13}, {133, 0x5B}, {134, 0x5C}, {135, 0x5D},
        };
        for (const auto& k : keys)
            table[k.code] = k.vk;
        for (unsigned i = 0; i < 10; ++i)   // F1 to F10
            table[67 + i] = 0x70 + int(i);
        return built;
    }();
    return code < 256 ? table.Codes[code] : 0;
}

// The number pad's digit keys and its decimal key: with NumLock the digits,
// else the moves they are marked with.
int numberPadCode(unsigned code, bool numLock)
{
    static const struct {
        unsigned code;
        int digit, move;
    } pad[] = {
        {79, 0x67, 0x24}, {80, 0x68, 0x26}, {81, 0x69, 0x21}, {83, 0x64, 0x25}, {84, 0x65, 0x0C}, {85, 0x66, 0x27},
        {87, 0x61, 0x23}, {88, 0x62, 0x28}, {89, 0x63, 0x22}, {90, 0x60, 0x2D}, {91, 0x6E, 0x2E},
    };
    for (const auto& k : pad)
        if (k.code == code)
            return numLock ? k.digit : k.move;
    return 0;
}

// The German and French layouts of Windows give their punctuation keys codes
// of their own, not those of the US key at the same place.
int layoutPunctuationCode(unsigned code, unsigned long sym)
{
    static const struct {
        unsigned code;
        unsigned long sym;
        int vk;
    } keys[] = {
        // German
        {49, 0xFE52, 0xDC}, {20, 0x00DF, 0xDB}, {21, 0xFE51, 0xDD}, {34, 0x00FC, 0xBA}, {35, 0x002B, 0xBB},
        {47, 0x00F6, 0xC0}, {48, 0x00E4, 0xDE}, {51, 0x0023, 0xBF}, {61, 0x002D, 0xBD},
        // French
        {49, 0x00B2, 0xDE}, {20, 0x0029, 0xDB}, {34, 0xFE52, 0xDD}, {35, 0x0024, 0xBA}, {48, 0x00F9, 0xC0},
        {51, 0x002A, 0xDC}, {58, 0x002C, 0xBC}, {59, 0x003B, 0xBE}, {60, 0x003A, 0xBF}, {61, 0x0021, 0xDF},
    };
    for (const auto& k : keys)
        if (k.code == code && k.sym == sym)
            return k.vk;
    return 0;
}

int letterOrDigitCode(unsigned long sym)
{
    if (sym >= 'a' && sym <= 'z')
        return int(sym - 'a' + 'A');
    if ((sym >= 'A' && sym <= 'Z') || (sym >= '0' && sym <= '9'))
        return int(sym);
    return 0;
}

struct SAccent {
    unsigned long sym;
    char32_t spacing;
    const char* bases;        // letters that take the accent
    const char32_t* results;  // the same letters with it
};

const SAccent* findAccent(unsigned long sym)
{
    static const SAccent accents[] = {
        {0xFE50, U'`', "AEIOUaeiou", U"\u00C0\u00C8\u00CC\u00D2\u00D9\u00E0\u00E8\u00EC\u00F2\u00F9"},
        {0xFE51, U'\u00B4', "AEIOUYaeiouyCcNnSsZzLlRr",
         U"\u00C1\u00C9\u00CD\u00D3\u00DA\u00DD\u00E1\u00E9\u00ED\u00F3\u00FA\u00FD\u0106\u0107\u0143\u0144"
         U"\u015A\u015B\u0179\u017A\u0139\u013A\u0154\u0155"},
        {0xFE52, U'^', "AEIOUaeiouCcGgHhJjSsWwYy",
         U"\u00C2\u00CA\u00CE\u00D4\u00DB\u00E2\u00EA\u00EE\u00F4\u00FB\u0108\u0109\u011C\u011D\u0124\u0125"
         U"\u0134\u0135\u015C\u015D\u0174\u0175\u0176\u0177"},
        {0xFE53, U'~', "ANOano", U"\u00C3\u00D1\u00D5\u00E3\u00F1\u00F5"},
        {0xFE54, U'\u00AF', "AEIOUaeiou", U"\u0100\u0112\u012A\u014C\u016A\u0101\u0113\u012B\u014D\u016B"},
        {0xFE55, U'\u02D8', "AaGgUu", U"\u0102\u0103\u011E\u011F\u016C\u016D"},
        {0xFE56, U'\u02D9', "ZzEeICc", U"\u017B\u017C\u0116\u0117\u0130\u010A\u010B"},
        {0xFE57, U'\u00A8', "AEIOUYaeiouy",
         U"\u00C4\u00CB\u00CF\u00D6\u00DC\u0178\u00E4\u00EB\u00EF\u00F6\u00FC\u00FF"},
        {0xFE58, U'\u02DA', "AaUu", U"\u00C5\u00E5\u016E\u016F"},
        {0xFE59, U'\u02DD', "OoUu", U"\u0150\u0151\u0170\u0171"},
        {0xFE5A, U'\u02C7', "CcDdEeNnRrSsTtZz",
         U"\u010C\u010D\u010E\u010F\u011A\u011B\u0147\u0148\u0158\u0159\u0160\u0161\u0164\u0165\u017D\u017E"},
        {0xFE5B, U'\u00B8', "CcSsTt", U"\u00C7\u00E7\u015E\u015F\u0162\u0163"},
        {0xFE5C, U'\u02DB', "AaEe", U"\u0104\u0105\u0118\u0119"},
    };
    for (const SAccent& a : accents)
        if (a.sym == sym)
            return &a;
    return nullptr;
}

} // namespace

void WatchXKeyEvents(void* display)
{
    const SXlib& x = xlib();
    if (!display || !x.ok() || display == g_display)
        return;
    StopWatchingXKeyEvents(g_display);
    for (int slot = 0; slot < 2; ++slot)
        g_previous[slot] = x.SetWireToEvent(display, slot == 0 ? KeyPress : KeyRelease, watchKey);
    g_readFirst = g_readCount = 0;
    g_display = display;
}

void StopWatchingXKeyEvents(void* display)
{
    if (!display || display != g_display)
        return;
    // The library's converters go back; one set after ours stays.
    const SXlib& x = xlib();
    for (int slot = 0; slot < 2; ++slot) {
        const int type = slot == 0 ? KeyPress : KeyRelease;
        const WireToEvent current = x.SetWireToEvent(display, type, g_previous[slot]);
        if (current != watchKey)
            x.SetWireToEvent(display, type, current);
    }
    g_display = nullptr;
    g_readFirst = g_readCount = 0;
}

bool TakeXKeyEvent(bool pressed, SXKey& key)
{
    key = SXKey();
    const SXlib& x = xlib();
    if (!g_display || !x.ok())
        return false;
    while (g_readCount > 0) {
        const SRead read = g_read[g_readFirst];
        g_readFirst = (g_readFirst + 1) % ReadCapacity;
        --g_readCount;
        if (read.Pressed != pressed)
            continue;   // a release the device dropped as part of a key repeat
        const unsigned char code = static_cast<unsigned char>(read.Code);
        const int group = int((read.State >> 13) & 3);
        key.Code = read.Code;
        key.Sym[0] = x.KeycodeToKeysym(g_display, code, group, 0);
        key.Sym[1] = x.KeycodeToKeysym(g_display, code, group, 1);
        unsigned consumed = 0;
        unsigned long typed = 0;
        if (x.LookupKeySym(g_display, code, read.State, &consumed, &typed))
            key.Typed = typed;
        const unsigned numLock = x.KeysymToModifiers(g_display, NumLockSym);
        key.NumLock = numLock && (read.State & numLock);
        return true;
    }
    return false;
}

int WindowsKeyCode(const SXKey& key)
{
    if (!key.Sym[0] && !key.Sym[1] && !key.Typed)
        return 0;   // a key code nothing is mapped to (any longer)
    if (const int pad = numberPadCode(key.Code, key.NumLock))
        return pad;
    for (unsigned long sym : key.Sym)
        if (const int code = letterOrDigitCode(sym))
            return code;
    if (const int code = layoutPunctuationCode(key.Code, key.Sym[0]))
        return code;
    return usPositionCode(key.Code);
}

char32_t DeadKeyAccent(unsigned long keysym)
{
    const SAccent* accent = findAccent(keysym);
    return accent ? accent->spacing : 0;
}

char32_t CombineDeadKey(unsigned long deadKeysym, char32_t letter)
{
    const SAccent* accent = findAccent(deadKeysym);
    if (!accent || letter == 0 || letter > 0x7F || letter == U' ')
        return 0;
    for (size_t i = 0; accent->bases[i]; ++i)
        if (char32_t(static_cast<unsigned char>(accent->bases[i])) == letter)
            return accent->results[i];
    return 0;
}

} // namespace platform
