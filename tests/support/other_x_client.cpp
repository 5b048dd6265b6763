// Another X client for tests.
#include "other_x_client.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

void SOtherXClient::ready() const
{
    if (write(ReadyFd, "+", 1) != 1)
        _exit(3);
}

bool SOtherXClient::stopped(int waitMs) const
{
    pollfd fd{StopFd, POLLIN, 0};
    return poll(&fd, 1, waitMs) > 0;
}

bool OtherXClientReturned(int saidFd, int waitMs)
{
    pollfd fd{saidFd, POLLIN, 0};
    return poll(&fd, 1, waitMs) > 0;
}

std::string WithOtherXClient(const std::function<std::string(const SOtherXClient&)>& other,
                             const std::function<void(int saidFd)>& self, const std::function<void()>& before)
{
    int go[2], ready[2], stop[2], said[2];
    if (pipe(go) != 0 || pipe(ready) != 0 || pipe(stop) != 0 || pipe(said) != 0)
        return "no pipes";
    const pid_t pid = fork();
    if (pid == 0) {
        close(go[1]);
        close(ready[0]);
        close(stop[1]);
        close(said[0]);
        char c;
        if (read(go[0], &c, 1) != 1)
            _exit(5);
        const std::string text = other(SOtherXClient{ready[1], stop[0]});
        if (write(said[1], text.data(), text.size()) != ssize_t(text.size()))
            _exit(4);
        _exit(0);
    }
    close(go[0]);
    close(ready[1]);
    close(stop[0]);
    close(said[1]);
    before();
    if (write(go[1], "+", 1) != 1)
        ADD_FAILURE() << "the other program is gone";
    close(go[1]);
    char c;
    if (read(ready[0], &c, 1) == 1)
        self(said[0]);
    close(stop[1]);   // done: the child may end
    std::string heard;
    char buffer[256];
    for (ssize_t n; (n = read(said[0], buffer, sizeof buffer)) > 0;)
        heard.append(buffer, size_t(n));
    close(ready[0]);
    close(said[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program ended badly";
    return heard;
}
