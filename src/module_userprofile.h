// The options sub-object of the engine: the option text (game.ini, the
// command-line overrides and the manifest's extra lines), the engine's own
// settings read from it, and the active and past profile names; and the
// player profiles with their file in the user folder.
#pragma once

#include "module_highscores.h"
#include "module_scripting_binding.h"
#include "utils_str.h"
#include "utils_str_attribs.h"

#include <IReferenceCounted.h>

class CUserProfile;

// The game's own data of one profile; owned by the profile. The engine's
// defaults do nothing.
class CProfileData {
public:
    virtual ~CProfileData();
    // A new profile has taken its defaults from the option text.
    virtual void onNewProfile(const CString& optionText, CUserProfile* profile);
    // The profile has read its file (the text framed by line feeds).
    virtual void onLoad(const CString& fileText, CUserProfile* profile);
    // Called while the file text is built, after the key lines; may append lines.
    virtual void onSave(CString& text, CUserProfile* profile);
    // The profile has become the active one.
    virtual void onActivate();
};

// One player's settings, options and saved script table. Reference counted;
// the last drop saves it.
class CUserProfile : public irr::IReferenceCounted {
public:
    // An empty name is a fatal error; callers check first.
    explicit CUserProfile(CString name);
    ~CUserProfile() override;
    CUserProfile(const CUserProfile&) = delete;
    CUserProfile& operator=(const CUserProfile&) = delete;

    void applyDefaults();
    void load();
    // Writes the file only while the change counter is non-zero.
    void save();
    void applySettings();
    void markChanged() { Options.markChanged(); }
    irr::u32 getChangeCounter() const { return Options.getChangeCounter() - m_nCounterBase; }

    CString getFolder();   // the user folder
    // "pr_" + the safe base64 of the name (the profile's own when empty);
    // with full, the user folder in front and ".ini" behind.
    CString getFilePath(CString name, int full);
    // The "pr_" file name of a profile name, without ".ini".
    static CString fileNameOf(const CString& name);
    // The text save writes.
    CString toText();

    // Tooltips already shown to this player: each remembered by checksum.
    void markTooltipShowed(const char* tooltip);
    // True when the tooltip is to be shown: never shown yet, or the option
    // ShowTooltipAlways is on.
    bool shouldShowTooltip(const char* tooltip);

    const CString& getName() const { return Name; }
    CProfileData* getProfileData() { return ProfileData; }

    CString Name;
    int Fullscreen = 0;
    int CursorFace = 0;
    float EffectsVolume = 0.0f;
    float EffectsFade = 1.0f;   // set by volume fades, never saved
    float MusicVolume = 0.0f;
    float MusicFade = 1.0f;
    int XResolution = 0;
    int YResolution = 0;
    CString Language;
    CString TooltipShowed;      // checksum + ";" per tooltip shown
    CCustomAttribs Options;     // its change counter is the profile's
    SquirrelObject ScriptTable;

private:
    void fixResolution();
    void readScriptBlock(const CString& text);

    CProfileData* ProfileData = nullptr;   // owned
    irr::u32 m_nCounterBase = 0;           // the options' counter when the profile counted 0
    int m_nShowTooltipAlways = -1;         // the option, read once
};

class CUserProfileModule {
public:
    CUserProfileModule();
    ~CUserProfileModule();
    CUserProfileModule(const CUserProfileModule&) = delete;
    CUserProfileModule& operator=(const CUserProfileModule&) = delete;

    // The engine fields the options read: the game state (the manifest's extra
    // option lines join the text at the first read in state 100 or later) and
    // the build footprint (logged with the version). Borrowed; the engine object
    // points them at its own fields. Unset, they read 0 and "".
    void attachEngine(const int* gameState, const CString* buildFootprint);

    // A copy of the option text; the first call builds it. It begins and ends
    // with a line feed; a key's first line counts.
    CString loadOptionText();

    // The key's trimmed value, empty when absent. With lowerCase the text and
    // the key are compared lower-cased (and so is the value returned).
    CString getOption(CString key, bool lowerCase);

    // Reads the engine's settings, the profile names and the high scores; once, at start.
    void loadGameOptions();
    void readVersionInfo(CString optionText);

    // Writes game_options.ini and the changed high scores in the user folder.
    void saveGameOptions();

    // The past profile at index; empty outside the list. With display, the
    // default profile shows as the language text "Player".
    CString getPastProfileName(int index, int display);
    // Takes every entry of that name out of the list. With switchTo, an
    // emptied list stays as it was, and the entry that followed the removed
    // one (else the first) becomes the active profile.
    void removePastProfile(CString name, int switchTo);
    CStringArray& getPastProfiles() { return PastProfiles; }

    // The values of Renderer: a driver type in the numbering the options use.
    static constexpr int RendererBurnings = 2;   // the software driver
    static constexpr int RendererHardware = 3;   // OpenGL on this port

    CHighScores HighScores;   // the "main" table
    CString Version;          // "0.0a" until the options are read
    CString ActiveProfile;    // "$DEFAULT_PROFILE$" when none is named
    CStringArray PastProfiles;   // most recent first

    int Debug = 0;
    int HiQuality = 0;
    int SoftwareRenderer = 0;   // set by device creation after a software fallback
    int LogLevel = 0;
    int Renderer = 0;           // RendererHardware or RendererBurnings
    int BitsPerPixel = 0;
    int VSync = 0;
    int Antialiasing = 0;
    int Sound = 0;              // sound on when non-zero

private:
    void readProfileNames();

    CString m_OptionText;             // empty until the first loadOptionText
    bool m_bExtraLinesAdded = false;  // the manifest's lines join only once
    const int* m_pGameState = nullptr;          // borrowed from the engine
    const CString* m_pBuildFootprint = nullptr; // borrowed from the engine
};
