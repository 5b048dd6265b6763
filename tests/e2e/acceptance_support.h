// A program folder built by the test itself: the game, a game.ini and a small
// data folder of the test's own (manifest, scripts, descriptions), so each
// acceptance test sees exactly the files it wrote and what the program made.
#pragma once

#include "sample_support.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace acceptance {

namespace fs = std::filesystem;
using sample::SRun;
using sample::SScreen;

// The folder name under the user's data folder that every test game uses.
constexpr const char* AppFolder = "AccGame";

// A manifest with the five required lists; `head` goes before them (the
// optional values in their order), `lists` replaces the empty lists and may
// carry the values that follow them.
std::string manifestXml(const std::string& head = "", const std::string& lists = "");

// The start-up script's common part: save(name, text) writes a result file
// into the program folder; whenPlaying(fn) runs fn once the game is in play
// (state 500) and ends the game soon after, unless fn returns true.
std::string scriptPrelude();

class GameDir : public sample::GameFolder {
public:
    GameDir();

    // Writes a file under the program folder, making its folders.
    void put(const std::string& relative, const std::string& text) const;
    // The game.ini, a manifest of empty lists and the start-up script (the prelude, then the script).
    void write(const std::string& ini, const std::string& script) const;
    std::string get(const std::string& relative) const { return sample::readFile(Root / relative); }
    bool has(const std::string& relative) const { return fs::exists(Root / relative); }

    fs::path userFolder() const { return Root / "xdg" / AppFolder; }
    std::string user(const std::string& name) const { return sample::readFile(userFolder() / name); }
    // The debug log with the stderr of the last run, for failure messages.
    std::string trace(const SRun& run) const { return run.Stderr + "\n--- last_debug.log ---\n" + get("last_debug.log"); }
};

// An Xvfb of the test's own, with extra server options (for example
// "-extension GLX", which leaves OpenGL without a visual).
using XDisplay = CXvfbServer;

// A square 24-bit BMP file of one colour.
std::string solidBmp(int side, uint8_t r, uint8_t g, uint8_t b);

using sample::waitFor;

// Lines of a text, without their line feeds.
std::vector<std::string> lines(const std::string& text);

} // namespace acceptance
