// The real game executable, headless on the null driver: it starts, runs
// its frame loop and ends in order; nothing here may hang.
#include "sample_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr auto StartTimeout = std::chrono::seconds(20);
constexpr auto ExitTimeout = std::chrono::seconds(20);
const char* const MinimalManifest =
    "<Manifest><Fonts></Fonts><Cursors></Cursors><AtlasLists></AtlasLists>"
    "<Materials></Materials><ParticleGroups></ParticleGroups></Manifest>";

void writeFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A program folder of its own: a copy of the game, its game.ini and data/.
class GameFolder {
public:
    GameFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "game-e2e-XXXXXX").string();
        Root = mkdtemp(pattern.data());
        fs::copy_file(fs::path(ENGINE_BINARY_DIR) / "game", Root / "game");
    }
    ~GameFolder() { fs::remove_all(Root); }

    // Starts the game with these arguments; the user folder goes below Root.
    pid_t start(const std::vector<std::string>& args)
    {
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(Root.c_str()) != 0)
                _exit(127);
            setenv("XDG_DATA_HOME", (Root / "xdg").c_str(), 1);
            unsetenv("DISPLAY");   // no box may wait for a person
            unsetenv("WAYLAND_DISPLAY");
            sample::execProgram((Root / "game").string(), args);
        }
        return pid;
    }

    fs::path Root;
};

// True once the process catches SIGTERM, that is, once main has begun.
bool catchesTermination(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
            return (mask >> (SIGTERM - 1)) & 1;
        }
    }
    return false;
}

// The exit status, or -1 when the process had to be killed.
int waitForExit(pid_t pid, std::chrono::seconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

TEST(GameLifecycle, HeadlessRunEndsInOrderWhenTerminated)
{
    GameFolder game;
    writeFile(game.Root / "data" / "manifest.xml", MinimalManifest);
    writeFile(game.Root / "game.ini", "AppDataFolder=E2eGame\nActiveProfile=Tester\n");
    pid_t pid = game.start({"NullDriver=1"});
    ASSERT_GT(pid, 0);
    auto deadline = std::chrono::steady_clock::now() + StartTimeout;
    while (!catchesTermination(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));   // let it reach the frame loop
    kill(pid, SIGTERM);
    EXPECT_EQ(waitForExit(pid, ExitTimeout), 0);

    // The options were saved on the way out.
    std::string saved = readFile(game.Root / "xdg" / "E2eGame" / "game_options.ini");
    EXPECT_NE(saved.find("ActiveProfile=Tester\n"), std::string::npos) << saved;
    EXPECT_EQ(readFile(game.Root / "last_crashes.log"), "");
}

TEST(GameLifecycle, MissingManifestStopsWithAMessage)
{
    GameFolder game;
    writeFile(game.Root / "game.ini", "AppDataFolder=E2eGame\n");
    pid_t pid = game.start({"NullDriver=1"});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(waitForExit(pid, ExitTimeout), 1);
    std::string message = readFile(game.Root / "last_scriptcomp_error_alert.log");
    EXPECT_FALSE(message.empty());
}

} // namespace
