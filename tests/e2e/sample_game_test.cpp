// The sample game in data/, run as the real program: it starts, reaches
// play, keeps its profile across runs and ends cleanly; damaged copies of its
// data end with the engine's message, never with a crash. Every run has a
// deadline and is killed when it passes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr auto RunTimeout = std::chrono::seconds(30);
constexpr int Killed = -1;
const char* const QuitSoon = "SampleQuitAfterMs=300";

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

struct SRun {
    int ExitCode = Killed;   // 128 + signal when a signal ended it
    std::string Stderr;
};

// A program folder of its own per test: the game, game.ini and a copy of data/.
class SampleFolder {
public:
    SampleFolder()
    {
        char pattern[] = "/tmp/sample-e2e-XXXXXX";
        Root = mkdtemp(pattern);
        fs::path game = fs::path(ENGINE_BINARY_DIR) / "game";
        std::error_code error;
        // A hard link keeps the program folder here; a symbolic one would not.
        fs::create_hard_link(game, Root / "game", error);
        if (error)
            fs::copy_file(game, Root / "game");
        fs::copy(fs::path(ENGINE_SOURCE_DIR) / "data", Root / "data", fs::copy_options::recursive);
        fs::copy_file(fs::path(ENGINE_SOURCE_DIR) / "game.ini", Root / "game.ini");
    }
    ~SampleFolder() { fs::remove_all(Root); }

    // Runs the game to its end or kills it at the deadline.
    SRun run(const std::vector<std::string>& args, bool window) const { return finish(start(args, window)); }

    pid_t start(const std::vector<std::string>& args, bool window) const
    {
        fs::path errors = Root / "stderr.txt";
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(Root.c_str()) != 0)
                _exit(127);
            int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                dup2(fd, STDERR_FILENO);
                dup2(fd, STDOUT_FILENO);
            }
            setenv("XDG_DATA_HOME", (Root / "xdg").c_str(), 1);
            setenv("ENGINE_NONINTERACTIVE", "1", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            if (!window)
                unsetenv("DISPLAY");
            std::string program = (Root / "game").string();
            std::vector<std::string> copies(args);
            if (!window)
                copies.push_back("NullDriver=1");
            std::vector<char*> argv{program.data()};
            for (std::string& arg : copies)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        return pid;
    }

    SRun finish(pid_t pid) const
    {
        SRun result;
        result.ExitCode = waitForExit(pid);
        result.Stderr = readFile(Root / "stderr.txt");
        return result;
    }

    // The one player profile file the game wrote.
    std::string profileText() const
    {
        fs::path users = Root / "xdg" / "LanternSample";
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(users, error)) {
            std::string name = entry.path().filename().string();
            if (name.rfind("pr_", 0) == 0)
                return readFile(entry.path());
        }
        return "";
    }

    std::string log(const char* name) const { return readFile(Root / name); }

    fs::path Root;

private:
    static int waitForExit(pid_t pid)
    {
        auto deadline = std::chrono::steady_clock::now() + RunTimeout;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return Killed;
    }
};

bool hasDisplay()
{
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

// Lines of the debug log that report a failure. A machine without a sound
// card is no failure of the game.
std::vector<std::string> errorLines(const std::string& log)
{
    std::vector<std::string> found;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        if (contains(line, "Sound: no audio device"))
            continue;
        std::string lower = line;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        if (contains(lower, "error") || contains(lower, "failed") || contains(lower, "assert") ||
            contains(lower, "orphaned"))
            found.push_back(line);
    }
    return found;
}

struct SDriverCase {
    const char* Name;
    bool Window;   // false: the null driver, no display needed
};

class SampleGameRun : public ::testing::TestWithParam<SDriverCase> {
protected:
    void SetUp() override
    {
        if (GetParam().Window && !hasDisplay())
            GTEST_SKIP() << "no display: test.sh runs these under xvfb-run";
    }
};

TEST_P(SampleGameRun, ReachesPlayAndQuitsCleanly)
{
    SampleFolder game;
    SRun run = game.run({"Debug=1", QuitSoon}, GetParam().Window);
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr << game.log("last_debug.log");

    // The script saved these once it was in play (game state 500).
    std::string profile = game.profileText();
    EXPECT_TRUE(contains(profile, "[SampleRuns]=1\n")) << profile;
    EXPECT_TRUE(contains(profile, "[SampleLastState]=500\n")) << profile;
    // The start-up script built the menu from its descriptions.
    EXPECT_TRUE(contains(profile, "[SampleMenuNodes]=menu_background,menu_title,play_button,about_button,quit_button\n"))
        << profile;

    std::string log = game.log("last_debug.log");   // absent when nothing was logged
    EXPECT_EQ(errorLines(log), std::vector<std::string>{}) << log;
    EXPECT_FALSE(contains(run.Stderr, "Orphaned Nodes found!")) << run.Stderr;
    // Answered by itself here, but a player would have had to close it.
    EXPECT_FALSE(contains(run.Stderr, "[message box]")) << run.Stderr;
    EXPECT_EQ(game.log("last_crashes.log"), "");
    EXPECT_EQ(game.log("last_scriptcomp_error_alert.log"), "");
    // A language key the engine missed would have been appended to the table.
    EXPECT_EQ(readFile(game.Root / "data" / "strings.lng"),
              readFile(fs::path(ENGINE_SOURCE_DIR) / "data" / "strings.lng"));
}

TEST_P(SampleGameRun, ProfileKeepsItsOptionsAcrossRuns)
{
    SampleFolder game;
    ASSERT_EQ(game.run({QuitSoon}, GetParam().Window).ExitCode, 0);
    ASSERT_EQ(game.run({QuitSoon}, GetParam().Window).ExitCode, 0);
    std::string profile = game.profileText();
    EXPECT_TRUE(contains(profile, "[SampleRuns]=2\n")) << profile;
    // The options file names the profile that was active.
    EXPECT_TRUE(contains(readFile(game.Root / "xdg" / "LanternSample" / "game_options.ini"), "ActiveProfile="));
}

// Whether a window of exactly this title exists on the display.
bool windowTitled(const std::string& title)
{
    std::string command = "xdotool search --name '^" + title + "$' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return false;
    char buffer[64];
    bool found = std::fgets(buffer, sizeof buffer, pipe) != nullptr;
    pclose(pipe);
    return found;
}

TEST(SampleGameWindow, CaptionIsTheTitleFromTheLanguageTable)
{
    if (!hasDisplay() || std::system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs a display and xdotool";
    SampleFolder game;
    // A title of this folder's own: other tests' windows share the display.
    std::string title = "Lantern " + game.Root.filename().string();
    fs::path table = game.Root / "data" / "strings.lng";
    std::string text = readFile(table);
    size_t at = text.find("GAME.TITLE=Lantern Sample");
    ASSERT_NE(at, std::string::npos);
    writeFile(table, text.replace(at, 25, "GAME.TITLE=" + title));

    pid_t pid = game.start({"SampleQuitAfterMs=2000"}, true);
    bool found = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1800);
    while (!found && std::chrono::steady_clock::now() < deadline) {
        found = windowTitled(title);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(found) << title;
    EXPECT_EQ(game.finish(pid).ExitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, SampleGameRun,
                         ::testing::Values(SDriverCase{"OpenGL", true}, SDriverCase{"Null", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct SDamageCase {
    const char* Name;
    const char* File;       // under data/
    std::string (*Damage)(const std::string& text);
    const char* Message;    // the engine's message, in the alert log or on standard error
};

std::string cutInHalf(const std::string& text)
{
    return text.substr(0, text.size() / 2);
}

std::string breakSyntax(const std::string& text)
{
    return text + "\nfunction broken( {\n";
}

class SampleGameDamage : public ::testing::TestWithParam<SDamageCase> {};

TEST_P(SampleGameDamage, EndsWithTheEnginesMessageNotACrash)
{
    const SDamageCase& damage = GetParam();
    SampleFolder game;
    fs::path file = game.Root / "data" / damage.File;
    writeFile(file, damage.Damage(readFile(file)));
    SRun run = game.run({QuitSoon}, false);

    ASSERT_NE(run.ExitCode, Killed) << "the game hung";
    EXPECT_LT(run.ExitCode, 128) << "ended by a signal\n" << run.Stderr;
    EXPECT_EQ(game.log("last_crashes.log"), "");
    std::string message = game.log("last_scriptcomp_error_alert.log") + run.Stderr;
    EXPECT_TRUE(contains(message, damage.Message)) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SampleGameDamage,
    ::testing::Values(SDamageCase{"MalformedManifest", "manifest.xml", cutInHalf, "Wrong XML"},
                      SDamageCase{"ScriptSyntaxError", "scripts/startup.nut", breakSyntax, "Compiling script"}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
