#include "xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

CXvfbServer::CXvfbServer(const std::vector<std::string>& options)
{
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0)
        return;
    int ready[2];
    if (pipe(ready) != 0)
        return;
    Pid = fork();
    if (Pid == 0) {
        close(ready[0]);
        int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
        }
        // Without -noreset the server starts afresh whenever its last client
        // leaves, and puts the pointer back in the middle of the screen.
        std::vector<std::string> args{"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1024x768x24",
                                      "-nolisten", "tcp", "-noreset"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(ready[1]);
    // Xvfb writes its display number once it takes connections.
    std::string number;
    pollfd wait{ready[0], POLLIN, 0};
    while (Pid > 0 && poll(&wait, 1, 10000) > 0) {
        char c;
        if (read(ready[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(ready[0]);
    if (!number.empty())
        Name = ":" + number;
}

CXvfbServer::~CXvfbServer()
{
    if (Pid <= 0)
        return;
    kill(Pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 250; ++i) {
        if (waitpid(Pid, &status, WNOHANG) == Pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(Pid, SIGKILL);
    waitpid(Pid, &status, 0);
}

void COwnDisplayWhenNone::SetUp()
{
    const char* display = std::getenv("DISPLAY");
    if (display && *display)
        return;
    Server = std::make_unique<CXvfbServer>();
    if (!Server->name().empty())
        setenv("DISPLAY", Server->name().c_str(), 1);
}

void COwnDisplayWhenNone::TearDown()
{
    if (Server && !Server->name().empty())
        unsetenv("DISPLAY");
    Server.reset();
}
