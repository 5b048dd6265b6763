// Dead keys and compose sequences as every other program of the player's
// desktop types them: from the compose table of the locale (libxkbcommon
// reads it, with the player's own ~/.XCompose or XCOMPOSEFILE).
#pragma once

struct xkb_compose_state;

namespace platform {

// The table read is the one of the locale LC_ALL, else LC_CTYPE, else LANG
// names in the environment (the program itself runs in another), and the C
// locale's when none is set or no table can be read for it. A test may pin
// the locale; null goes back to the environment's. The table is read again
// at the next key.
void PinComposeLocale(const char* locale);

enum class EComposeStep {
    Plain,       // the key is no part of a sequence
    Pending,     // a sequence goes on: the key types nothing yet
    Composed,    // the key ends a sequence
    Cancelled,   // the key ends a sequence the table does not know
};

// The sequence typed so far on one keyboard.
class CComposeState {
public:
    CComposeState() = default;
    ~CComposeState();
    CComposeState(const CComposeState&) = delete;
    CComposeState& operator=(const CComposeState&) = delete;

    // The symbol a key press types.
    EComposeStep feed(unsigned long keysym);
    // After Composed: the character the sequence gives, 0 when it gives
    // more than one or none.
    char32_t composed() const { return Composed; }
    // After Composed or Cancelled: the spacing form of the sequence's first
    // key (what it types before a space), 0 when it has none.
    char32_t accent() const { return Accent; }
    void reset();

private:
    xkb_compose_state* State = nullptr;
    unsigned Generation = 0;   // of the table the state was made from
    unsigned long First = 0;
    char32_t Composed = 0;
    char32_t Accent = 0;
};

// The character a key symbol types, 0 for none (Shift, a dead key the
// compose table spaces: it types through the table).
char32_t KeysymCharacter(unsigned long keysym);

// What the key of a symbol types before a space (a dead key's spacing
// accent), 0 when it types nothing then.
char32_t ComposeSpacingForm(unsigned long keysym);

// Whether a key symbol is a dead key (dead_grave to dead_longsolidusoverlay).
bool IsDeadKeysym(unsigned long keysym);

} // namespace platform
