// Running a command-line tool for its output (diagnostics reports).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ToolResult {
    int exitCode = -1;       // -1 when it did not exit by itself
    bool timedOut = false;   // ended by the time limit
    std::string output;      // standard output, cut at the byte limit
};

// Runs args[0], looked up in PATH, with the other arguments; no shell is
// involved. Standard input is empty and standard error is discarded. The
// tool is killed once timeoutMs have passed, so a tool that hangs never holds
// the caller. nullopt when there are no arguments or the tool cannot start
// (not installed).
std::optional<ToolResult> RunTool(const std::vector<std::string>& args, int timeoutMs, size_t maxBytes);

}   // namespace platform
