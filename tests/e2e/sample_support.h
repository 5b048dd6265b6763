// The sample game in data/ as the real program: a program folder of its own
// per test, runs with a deadline, a private X display, and the screenshots
// the game saves.
#pragma once

#include "xvfb_server.h"

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sample {

namespace fs = std::filesystem;

constexpr int Killed = -1;
constexpr auto RunTimeout = std::chrono::seconds(30);

std::string readFile(const fs::path& path);
void writeFile(const fs::path& path, const std::string& text);
bool contains(const std::string& text, const std::string& part);
// Standard output of a shell command; empty when it cannot run.
std::string commandOutput(const std::string& command);
bool hasCommand(const char* name);
bool hasDisplay();

// Polls until ready() holds or the time is up (a loaded machine starts the
// program slowly); the last answer of ready().
bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit = std::chrono::seconds(20));

// What a window manager sends when the player closes the window; an empty
// display name means the inherited DISPLAY.
bool askWindowToClose(const std::string& displayName, unsigned long window);

// Replaces the calling (child) process with the program and its arguments;
// exits 127 when it cannot be started.
[[noreturn]] void execProgram(const std::string& program, const std::vector<std::string>& args);

// Lines of a debug log that report a failure. A machine without a sound card
// is no failure of the game.
std::vector<std::string> errorLines(const std::string& log);

struct SRun {
    int ExitCode = Killed;   // 128 + signal when a signal ended it
    std::string Stderr;      // standard error and output together
};

// Where a run shows its window: none (the null driver), the test's display,
// or a display of the caller's choice.
struct SScreen {
    SScreen() = default;
    explicit SScreen(bool window, std::string display = "") : Window(window), Display(std::move(display)) {}

    bool Window = false;
    std::string Display;     // empty: the inherited DISPLAY
};

// A program folder of its own under the temporary folder (named from the
// prefix) with the game in it, removed when the object goes.
class GameFolder {
public:
    explicit GameFolder(const char* prefix);
    ~GameFolder();
    GameFolder(const GameFolder&) = delete;
    GameFolder& operator=(const GameFolder&) = delete;

    // Runs the game to its end or kills it at the deadline. Without a
    // window it runs on the null driver with no display at all.
    SRun run(const std::vector<std::string>& args, const SScreen& screen = SScreen{}) const
    {
        return finish(start(args, screen));
    }
    pid_t start(const std::vector<std::string>& args, const SScreen& screen = SScreen{}) const;
    SRun finish(pid_t pid) const;

    // Set in the game's environment on every start; an empty value unsets it.
    void setEnv(const std::string& name, const std::string& value) { Environment.emplace_back(name, value); }

    fs::path Root;
    // Where the program is started from; the program folder when empty.
    fs::path StartFolder;
    // The largest file the program may write, in bytes (0: no limit):
    // writes past it fail, as they do on a full disk.
    long FileSizeLimit = 0;

private:
    std::vector<std::pair<std::string, std::string>> Environment;
};

// The sample game: game.ini and a copy of data/, and the user folder.
class SampleFolder : public GameFolder {
public:
    SampleFolder();
    // Runs the game until ready() holds (or the wait's deadline passes), then
    // ends it as a terminal's interrupt would: for runs whose own quit timer
    // could fire before what they wait for when frames are slow.
    SRun runUntil(const std::vector<std::string>& args, const SScreen& screen,
                  const std::function<bool()>& ready) const;

    fs::path userFolder() const { return Root / "xdg" / "LanternSample"; }
    // The one player profile file the game wrote.
    std::string profileText() const;
    std::string log(const char* name) const { return readFile(Root / name); }
    // The screenshot files in the user folder.
    std::vector<fs::path> screenshots() const;
};

using PrivateDisplay = CXvfbServer;

// Where screenshots are kept for a person to look at: build/e2e-artifacts/.
fs::path artifactFolder();

} // namespace sample
