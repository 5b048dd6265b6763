// Another X client for tests: a child process with a connection of its own,
// for what two programs on one display do to each other (the clipboard).
#pragma once

#include <functional>
#include <string>

// What the other program is given: a word to the test that it is ready, and
// whether the test is done with it.
struct SOtherXClient {
    int ReadyFd;
    int StopFd;
    void ready() const;
    bool stopped(int waitMs) const;
};

// Runs `other` in a child process once `before` ran here, and `self` once the
// child said it is ready; `self` may watch saidFd, readable once `other` has
// returned. Returns what `other` returned. The child is made before `before`
// runs, so it shares no connection this program opens there.
std::string WithOtherXClient(const std::function<std::string(const SOtherXClient&)>& other,
                             const std::function<void(int saidFd)>& self,
                             const std::function<void()>& before = [] {});

// Whether the other program has returned, waiting at most so long.
bool OtherXClientReturned(int saidFd, int waitMs);
