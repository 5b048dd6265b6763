// The options sub-object of the engine: the option text (game.ini, the
// command-line overrides and the manifest's extra lines), the engine's own
// settings read from it, and the active and past profile names.
#pragma once

#include "module_highscores.h"
#include "utils_str.h"

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

    CHighScores HighScores;   // the "main" table
    CString Version;          // "0.0a" until the options are read
    CString ActiveProfile;    // "$DEFAULT_PROFILE$" when none is named
    CStringArray PastProfiles;   // most recent first

    int Debug = 0;
    int HiQuality = 0;
    int SoftwareRenderer = 0;   // set by device creation after a software fallback
    int LogLevel = 0;
    int Renderer = 0;           // 3: the hardware driver
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
