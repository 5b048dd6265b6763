// Key codes are those of the evdev keyboard description (8 + the Linux scan
// code), which the X servers of today use whatever the layout. The X
// library's functions are found at run time (xlib_functions.h), its types
// and event layouts come from its header.
#include "x_keyboard.h"

#include "xlib_functions.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <atomic>

namespace platform {

namespace {

// The key event the device looked up since it read its last event.
struct SCurrent {
    bool ReadKey = false;    // the event read last is a key press or release
    bool LookedUp = false;
    bool Known = false;
    bool Pressed = false;
    SXKey Key;
    SXLayout Layout;
};
thread_local SCurrent t_current;
std::atomic<unsigned> g_focusLosses{0};

// The key's symbols on its first two levels in the group; a key with fewer
// groups has those of its first. Without the keyboard extension (the server
// lacks it, or XKB_DISABLE is set) the core keyboard mapping's.
void readSymbols(const SXlib& x, Display* display, bool xkb, unsigned code, int group, unsigned long sym[2])
{
    const KeyCode key = static_cast<KeyCode>(code);
    for (int level = 0; level < 2; ++level)
        sym[level] = xkb ? x.XkbKeysym(display, key, group, level) : x.CoreKeysym(display, key, level);
    if (xkb && group > 0 && !sym[0] && !sym[1])
        readSymbols(x, display, xkb, code, 0, sym);
}

bool isNumberPadDigit(unsigned long sym)
{
    return (sym >= 0xFFB0 && sym <= 0xFFB9) || sym == 0xFFAE || sym == 0xFFAC;
}

void noteKey(const XKeyEvent& event, unsigned long typed)
{
    SCurrent& current = t_current;
    if (current.LookedUp)
        return;   // the same event again, its modifiers cleared
    current.LookedUp = true;
    const SXlib& x = GetXlib();
    if (!x.ok() || !event.display || event.keycode > 255)
        return;
    const bool xkb = x.UseExtension(event.display, nullptr, nullptr) != 0;
    const int group = int((event.state >> 13) & 3);
    for (unsigned code = 8; code < 256; ++code)
        readSymbols(x, event.display, xkb, code, group, current.Layout.Sym[code]);
    SXKey& key = current.Key;
    key = SXKey();
    key.Code = event.keycode;
    key.Sym[0] = current.Layout.Sym[event.keycode][0];
    key.Sym[1] = current.Layout.Sym[event.keycode][1];
    key.Typed = typed;
    key.NumLock = isNumberPadDigit(typed);
    key.Layout = &current.Layout;
    current.Pressed = event.type == KeyPress;
    current.Known = true;
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
// else the moves they are marked with. The Brazilian keyboard's point key
// beside the pad's own decimal key (a comma there) has a code of its own.
int numberPadCode(unsigned code, bool numLock)
{
    static const struct {
        unsigned code;
        int digit, move;
    } pad[] = {
        {79, 0x67, 0x24}, {80, 0x68, 0x26}, {81, 0x69, 0x21}, {83, 0x64, 0x25}, {84, 0x65, 0x0C}, {85, 0x66, 0x27},
        {87, 0x61, 0x23}, {88, 0x62, 0x28}, {89, 0x63, 0x22}, {90, 0x60, 0x2D}, {91, 0x6E, 0x2E}, {129, 0xC2, 0xC2},
    };
    for (const auto& k : pad)
        if (k.code == code)
            return numLock ? k.digit : k.move;
    return 0;
}

// The German and French layouts of Windows give their punctuation keys codes
// of their own, not those of the symbols on them.
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

// Windows' code of a punctuation key by the symbol on its first level.
int symbolCode(unsigned long sym)
{
    static const struct {
        unsigned long sym;
        int vk;
    } symbols[] = {
        {';', 0xBA}, {'=', 0xBB}, {'+', 0xBB}, {',', 0xBC}, {'-', 0xBD},  {'.', 0xBE}, {'/', 0xBF},
        {'`', 0xC0}, {'[', 0xDB}, {'\\', 0xDC}, {']', 0xDD}, {'\'', 0xDE}, {'<', 0xE2},
    };
    for (const auto& s : symbols)
        if (s.sym == sym)
            return s.vk;
    return 0;
}

// The code a key takes by its own symbols, 0 when they give none.
int ownCode(unsigned code, const unsigned long sym[2])
{
    for (int level = 0; level < 2; ++level)
        if (const int letter = letterOrDigitCode(sym[level]))
            return letter;
    if (const int punctuation = layoutPunctuationCode(code, sym[0]))
        return punctuation;
    return symbolCode(sym[0]);
}

bool isLetterOrDigitCode(int vk)
{
    return (vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9');
}

// The same on the layout: 0 as well when another key with that symbol
// stands where the US keyboard has it (the 102nd key of US international has
// a second backslash), or has a lower key code.
int layoutOwnCode(const SXLayout* layout, unsigned code, const unsigned long sym[2])
{
    const int own = ownCode(code, sym);
    if (!own || !layout || usPositionCode(code) == own)
        return own;
    for (unsigned other = 8; other < 256; ++other)
        if (other != code && (other < code || usPositionCode(other) == own) &&
            ownCode(other, layout->Sym[other]) == own)
            return 0;
    return own;
}

// The key of the layout other than the given one that takes the code by its
// symbols; 0 when none does.
unsigned claimant(const SXLayout& layout, unsigned except, int vk)
{
    for (unsigned code = 8; code < 256; ++code)
        if (code != except && layoutOwnCode(&layout, code, layout.Sym[code]) == vk)
            return code;
    return 0;
}

constexpr int NoFreeCode = -1;

// Keys of the typing rows that a US keyboard lacks: the one left of the
// right Shift (Japanese and Brazilian keyboards) and the yen key left of
// Backspace (Japanese).
bool isRowKeyOffUsKeyboard(unsigned code)
{
    return code == 97 || code == 132;
}

// The code by the key's symbols, else the US key's code at its place,
// unless a key of the layout took that code by its symbol: then the code
// that key left, and so on. NoFreeCode where that ends on no punctuation
// code (a letter or a digit the key does not type: the Greek ; key stands
// where the US Q is), or where the US keyboard has no key (the Japanese
// yen key, whose backslash the key left of the right Shift has as well).
int placeCode(const SXLayout* layout, unsigned code, const unsigned long sym[2])
{
    if (const int own = layoutOwnCode(layout, code, sym))
        return own;
    int vk = usPositionCode(code);
    if (!vk && layout && isRowKeyOffUsKeyboard(code))
        return NoFreeCode;
    for (int step = 0; layout && vk && step < 64; ++step) {
        const unsigned taker = claimant(*layout, code, vk);
        if (!taker)
            return vk;
        vk = usPositionCode(taker);
        if (!vk || isLetterOrDigitCode(vk))
            return NoFreeCode;
    }
    return vk;
}

// A punctuation code no other key of the layout has, for a key whose place
// gives none; keys in that plight take the free codes in the order of their
// key codes. 0 when all are taken.
int freeCode(const SXLayout& layout, unsigned key)
{
    // The Japanese keyboard's AX code last: a Japanese layout has a
    // punctuation key more than the others.
    static const int codes[] = {0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE2, 0xE1};
    bool taken[256] = {};
    int before = 0;   // keys in the same plight with lower codes
    for (unsigned code = 8; code < 256; ++code) {
        const unsigned long* sym = layout.Sym[code];
        if (code == key || (!sym[0] && !sym[1]))
            continue;
        const int vk = placeCode(&layout, code, sym);
        if (vk > 0 && vk < 256)
            taken[vk] = true;
        else if (vk == NoFreeCode && code < key)
            ++before;
    }
    for (int vk : codes)
        if (!taken[vk] && before-- == 0)
            return vk;
    return 0;
}

} // namespace

void NoteXEventRead(const void* event)
{
    SCurrent& current = t_current;
    current.LookedUp = current.Known = false;   // the key event looked up before is handed over
    const int type = event ? static_cast<const XEvent*>(event)->type : 0;
    current.ReadKey = type == KeyPress || type == KeyRelease;
    if (type == FocusOut)
        g_focusLosses.fetch_add(1);
}

void NoteXKeyLookedUp(const void* event, unsigned long typed)
{
    if (event)
        noteKey(*static_cast<const XKeyEvent*>(event), typed);
}

bool XKeyEventNotLookedUp()
{
    return t_current.ReadKey && !t_current.LookedUp;
}

bool CurrentXKeyEvent(bool pressed, SXKey& key)
{
    const SCurrent& current = t_current;
    if (!current.Known || current.Pressed != pressed) {
        key = SXKey();
        return false;
    }
    key = current.Key;
    return true;
}

unsigned XFocusLosses()
{
    return g_focusLosses.load();
}

int WindowsKeyCode(const SXKey& key)
{
    if (!key.Sym[0] && !key.Sym[1] && !key.Typed)
        return 0;   // a key code nothing is mapped to (any longer)
    if (const int pad = numberPadCode(key.Code, key.NumLock))
        return pad;
    const int vk = placeCode(key.Layout, key.Code, key.Sym);
    if (vk != NoFreeCode)
        return vk;
    const int free = freeCode(*key.Layout, key.Code);
    return free ? free : usPositionCode(key.Code);
}

} // namespace platform
