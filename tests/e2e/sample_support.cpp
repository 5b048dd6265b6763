#include "sample_support.h"

#include "xlib.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace sample {

namespace {

// Runs that show a window on the inherited display get one of their own when none is named.
::testing::Environment* const OwnDisplay = ::testing::AddGlobalTestEnvironment(new COwnDisplayWhenNone);

int waitForExit(pid_t pid, std::chrono::steady_clock::duration timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
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

// The X client message as Xlib lays it out, inside its 24-long event union.
struct SClientMessage {
    int type;
    unsigned long serial;
    int sendEvent;
    void* display;
    unsigned long window;
    unsigned long messageType;
    int format;
    long data[5];
};
union UXEvent {
    SClientMessage client;
    long pad[24];
};
constexpr int ClientMessageType = 33;

} // namespace

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

std::string commandOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    pclose(pipe);
    return output;
}

bool hasCommand(const char* name)
{
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

bool hasDisplay()
{
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

bool waitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return ready();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool askWindowToClose(const std::string& displayName, unsigned long window)
{
    using OpenFn = void* (*)(const char*);
    using AtomFn = unsigned long (*)(void*, const char*, int);
    using SendFn = int (*)(void*, unsigned long, int, long, UXEvent*);
    using DisplayFn = int (*)(void*);
    auto open = reinterpret_cast<OpenFn>(platform::FindXlibSymbol("XOpenDisplay"));
    auto atom = reinterpret_cast<AtomFn>(platform::FindXlibSymbol("XInternAtom"));
    auto send = reinterpret_cast<SendFn>(platform::FindXlibSymbol("XSendEvent"));
    auto flush = reinterpret_cast<DisplayFn>(platform::FindXlibSymbol("XFlush"));
    auto close = reinterpret_cast<DisplayFn>(platform::FindXlibSymbol("XCloseDisplay"));
    if (!open || !atom || !send || !flush || !close)
        return false;
    void* display = open(displayName.empty() ? nullptr : displayName.c_str());
    if (!display)
        return false;
    UXEvent event = {};
    event.client.type = ClientMessageType;
    event.client.window = window;
    event.client.messageType = atom(display, "WM_PROTOCOLS", 0);
    event.client.format = 32;
    event.client.data[0] = long(atom(display, "WM_DELETE_WINDOW", 0));
    int sent = send(display, window, 0, 0, &event);
    flush(display);
    close(display);
    return sent != 0;
}


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

GameFolder::GameFolder(const char* prefix)
{
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    Root = mkdtemp(pattern.data());
    fs::path game = fs::path(ENGINE_BINARY_DIR) / "game";
    std::error_code error;
    // A hard link keeps the program folder here; a symbolic one would not.
    fs::create_hard_link(game, Root / "game", error);
    if (error)
        fs::copy_file(game, Root / "game");
}

GameFolder::~GameFolder()
{
    std::error_code error;
    fs::remove_all(Root, error);
}

pid_t GameFolder::start(const std::vector<std::string>& args, const SScreen& screen) const
{
    fs::path errors = Root / "stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir((StartFolder.empty() ? Root : StartFolder).c_str()) != 0)
            _exit(127);
        int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            dup2(fd, STDERR_FILENO);
            dup2(fd, STDOUT_FILENO);
        }
        setenv("XDG_DATA_HOME", (Root / "xdg").c_str(), 1);
        setenv("ENGINE_NONINTERACTIVE", "1", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("WAYLAND_DISPLAY");
        if (!screen.Window)
            unsetenv("DISPLAY");
        else if (!screen.Display.empty())
            setenv("DISPLAY", screen.Display.c_str(), 1);
        for (const auto& [name, value] : Environment) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        if (FileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);   // a write past the limit fails instead of ending the program
            struct rlimit limit = {rlim_t(FileSizeLimit), rlim_t(FileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<std::string> copies(args);
        if (!screen.Window)
            copies.push_back("NullDriver=1");
        execProgram((Root / "game").string(), copies);
    }
    return pid;
}

SRun GameFolder::finish(pid_t pid) const
{
    SRun result;
    result.ExitCode = waitForExit(pid, RunTimeout);
    result.Stderr = readFile(Root / "stderr.txt");
    return result;
}

SampleFolder::SampleFolder() : GameFolder("sample-e2e")
{
    fs::copy(fs::path(ENGINE_SOURCE_DIR) / "data", Root / "data", fs::copy_options::recursive);
    fs::copy_file(fs::path(ENGINE_SOURCE_DIR) / "game.ini", Root / "game.ini");
}

SRun SampleFolder::runUntil(const std::vector<std::string>& args, const SScreen& screen,
                            const std::function<bool()>& ready) const
{
    pid_t pid = start(args, screen);
    waitFor(ready);
    kill(pid, SIGTERM);
    return finish(pid);
}

std::string SampleFolder::profileText() const
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(userFolder(), error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("pr_", 0) == 0)
            return readFile(entry.path());
    }
    return "";
}

std::vector<fs::path> SampleFolder::screenshots() const
{
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(userFolder(), error))
        if (contains(entry.path().filename().string(), "_screenshot."))
            found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

fs::path artifactFolder()
{
    fs::path folder = fs::path(ENGINE_BINARY_DIR) / "e2e-artifacts";
    std::error_code error;
    fs::create_directories(folder, error);
    return folder;
}

} // namespace sample

void sample::execProgram(const std::string& program, const std::vector<std::string>& args)
{
    std::string name = program;
    std::vector<std::string> copies(args);
    std::vector<char*> argv{name.data()};
    for (std::string& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(name.c_str(), argv.data());
    _exit(127);
}
