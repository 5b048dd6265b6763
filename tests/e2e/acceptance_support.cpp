#include "acceptance_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

namespace acceptance {

std::string manifestXml(const std::string& head, const std::string& lists)
{
    return "<?xml version=\"1.0\"?>\n<Manifest>\n" + head +
           (lists.empty() ? "<Fonts></Fonts>\n<Cursors></Cursors>\n<AtlasLists></AtlasLists>\n"
                            "<Materials></Materials>\n<ParticleGroups></ParticleGroups>\n"
                          : lists) +
           "</Manifest>\n";
}

std::string scriptPrelude()
{
    return "function save(name, text) { core_SaveFile(name, \"\" + text); }\n"
           "function whenPlaying(fn) {\n"
           "  if (\"playArmed\" in getroottable()) return;\n"
           "  ::playArmed <- true; ::playFn <- fn;\n"
           "  core_SetInterval(20, \"pollPlay()\");\n"
           "}\n"
           "function pollPlay() {\n"
           "  if (core_GetGameState() < 500) return;\n"
           "  core_CancelInterval();\n"
           "  if (::playFn() != true) core_SetTimeout(100, \"core_CloseGame()\");\n"
           "}\n";
}

GameDir::GameDir()
{
    std::string pattern = (fs::temp_directory_path() / "acc-e2e-XXXXXX").string();
    Root = mkdtemp(pattern.data());
    fs::path game = fs::path(ENGINE_BINARY_DIR) / "game";
    std::error_code error;
    // A hard link keeps the program folder here; a symbolic one would not.
    fs::create_hard_link(game, Root / "game", error);
    if (error)
        fs::copy_file(game, Root / "game");
    fs::create_directories(Root / "data");
}

GameDir::~GameDir()
{
    std::error_code error;
    fs::remove_all(Root, error);
}

void GameDir::put(const std::string& relative, const std::string& text) const
{
    fs::path path = Root / relative;
    fs::create_directories(path.parent_path());
    sample::writeFile(path, text);
}

pid_t GameDir::start(const std::vector<std::string>& args, const SScreen& screen) const
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
        sample::execProgram((Root / "game").string(), copies);
    }
    return pid;
}

SRun GameDir::finish(pid_t pid) const
{
    SRun result;
    auto deadline = std::chrono::steady_clock::now() + sample::RunTimeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (result.ExitCode == sample::Killed) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    result.Stderr = sample::readFile(Root / "stderr.txt");
    return result;
}

// Rows bottom up, each padded to four bytes.
std::string solidBmp(int side, uint8_t r, uint8_t g, uint8_t b)
{
    auto put32 = [](std::string& out, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += char((v >> (8 * i)) & 0xFF);
    };
    const uint32_t row = uint32_t((side * 3 + 3) / 4 * 4);
    std::string bmp = "BM";
    put32(bmp, 54 + row * side);
    put32(bmp, 0);
    put32(bmp, 54);
    put32(bmp, 40);
    put32(bmp, uint32_t(side));
    put32(bmp, uint32_t(side));
    bmp += std::string("\x01\x00\x18\x00", 4);   // one plane, 24 bits
    for (int i = 0; i < 6; ++i)
        put32(bmp, 0);
    for (int y = 0; y < side; ++y) {
        std::string line;
        for (int x = 0; x < side; ++x)
            line += {char(b), char(g), char(r)};
        line.resize(row, '\0');
        bmp += line;
    }
    return bmp;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> found;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        found.push_back(line);
    return found;
}

} // namespace acceptance
