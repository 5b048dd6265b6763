// What the fuzz targets share: a program folder holding a copy of the sample
// game's data, an engine in play on the null driver, and fatal ends that come
// back to the target as an exception instead of ending the process.
#pragma once

#include "module_enginebase.h"

#include "fake_engine_client.h"
#include "fake_sound_library.h"
#include "temp_folder.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Thrown by the message-box hook in place of the engine's fatal end: a reader
// that stops the program on bad content has refused the input, as designed.
struct SFatalEnd {
    std::string Message;
};

// A program folder with the sample's data folder and options, set as the
// program's, log and user folders; every box is answered without a person.
// It lies in memory where the system offers a folder there: the engine saves
// files whole and synced (language tables it appends to, alert files), which
// on a disk would cost more than reading the input. Removed at exit.
class CFuzzProgram {
public:
    CFuzzProgram();
    ~CFuzzProgram();
    CFuzzProgram(const CFuzzProgram&) = delete;
    CFuzzProgram& operator=(const CFuzzProgram&) = delete;

    std::string data(const std::string& name) const { return Folder.path() + "data/" + name; }
    void writeData(const std::string& name, const uint8_t* bytes, size_t size) const;

    CTempFolder Folder;
};

// The engine past start-up and in play, with the sample's manifest read.
class CFuzzEngine {
public:
    CFuzzEngine();
    ~CFuzzEngine();
    CFuzzEngine(const CFuzzEngine&) = delete;
    CFuzzEngine& operator=(const CFuzzEngine&) = delete;

    // Runs count frames of ms each; false when a frame failed.
    bool frames(int count, uint32_t ms = 150);
    // Removes what an input left under the root, so the next starts clean.
    void sweepRoot();

    CFuzzProgram Program;   // first: the engine saves its profile there when it goes
    CYieldingClock Clock{100000};
    CFakeSoundLibrary SoundLibrary;
    CEngineBase Engine;
    size_t RootChildren = 0;   // under the root once in play
};

// Whether two saved texts hold the same values line by line, as the format
// keeps them: a plain value comes back trimmed, and a number as near as the
// engine's reading of decimals gets.
bool SameSavedValues(const char* a, const char* b);

// Runs fn; a fatal end of the engine is an allowed outcome.
template <class F>
void RunAllowingFatalEnd(F&& fn)
{
    try {
        fn();
    } catch (const SFatalEnd&) {
    }
}
