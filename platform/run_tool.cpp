// Running a command-line tool for its output, bounded in time and size.
#include "run_tool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Reads until the pipe ends or the deadline passes; false on the deadline.
bool readUntil(int fd, Clock::time_point deadline, size_t maxBytes, std::string& output)
{
    char buffer[4096];
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        int ready = poll(&entry, 1, msLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return ready == 0 ? false : true;
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        if (output.size() < maxBytes)
            output.append(buffer, std::min(size_t(n), maxBytes - output.size()));
    }
}

// Waits for the child until the deadline; true with its status when it ended.
bool waitUntil(pid_t pid, Clock::time_point deadline, int& status)
{
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return true;
        if (done < 0 && errno != EINTR)
            return true;   // nothing left to wait for
        if (msLeft(deadline) == 0)
            return false;
        usleep(2000);
    }
}

}   // namespace

std::optional<ToolResult> RunTool(const std::vector<std::string>& args, int timeoutMs, size_t maxBytes)
{
    if (args.empty() || args[0].empty())
        return std::nullopt;
    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return std::nullopt;
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        return std::nullopt;
    }
    ToolResult result;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    bool ended = readUntil(outPipe[0], deadline, maxBytes, result.output);
    close(outPipe[0]);
    int status = 0;
    if (!ended || !waitUntil(pid, deadline, status)) {
        result.timedOut = true;
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        return result;
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

}   // namespace platform
