// An X server of a test's own: pointer moves, clicks and window focus of
// tests running side by side cannot meet on it.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

class CXvfbServer {
public:
    // Extra options go to Xvfb after the screen ("-extension", "GLX", ...).
    explicit CXvfbServer(const std::vector<std::string>& options = {});
    ~CXvfbServer();   // asks the server to end, then kills it after 5 s
    CXvfbServer(const CXvfbServer&) = delete;
    CXvfbServer& operator=(const CXvfbServer&) = delete;

    // ":N", or empty when no Xvfb could be started.
    const std::string& name() const { return Name; }
    // A shell command run with DISPLAY set to this server.
    std::string command(const std::string& text) const { return "DISPLAY=" + Name + " " + text; }

private:
    pid_t Pid = -1;
    std::string Name;
};

// Registered by a test program whose tests draw on the inherited display:
// when none is named, it starts an Xvfb of its own and names it in DISPLAY
// for all its tests, so they run the same under test.sh's xvfb-run and from
// a bare ctest.
class COwnDisplayWhenNone : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

private:
    std::unique_ptr<CXvfbServer> Server;
};
