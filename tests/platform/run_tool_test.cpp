// Running tools for diagnostics: output, exit code, missing tools, the byte
// limit and the time limit that keeps a hanging tool from holding the caller.
#include "run_tool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::RunTool;

TEST(RunTool, CollectsOutputAndExitCode)
{
    struct Case {
        std::vector<std::string> args;
        size_t maxBytes;
        std::string output;
        int exitCode;
    };
    const Case cases[] = {
        {{"sh", "-c", "printf 'renderer: soft'; exit 3"}, 100, "renderer: soft", 3},
        {{"sh", "-c", "echo to-stderr >&2; printf out"}, 100, "out", 0},   // standard error is dropped
        {{"sh", "-c", "read line; printf \"[$line]\""}, 100, "[]", 0},      // standard input is empty
        {{"sh", "-c", "head -c 5000 /dev/zero | tr '\\0' x"}, 64, std::string(64, 'x'), 0},
        {{"sh", "-c", "printf 'a b'", "ignored"}, 100, "a b", 0},          // no shell splits arguments
    };
    for (const Case& c : cases) {
        std::optional<platform::ToolResult> result = RunTool(c.args, 5000, c.maxBytes);
        ASSERT_TRUE(result.has_value()) << c.args[2];
        EXPECT_EQ(result->output, c.output) << c.args[2];
        EXPECT_EQ(result->exitCode, c.exitCode) << c.args[2];
        EXPECT_FALSE(result->timedOut) << c.args[2];
    }
}

TEST(RunTool, MissingToolsGiveNothing)
{
    EXPECT_FALSE(RunTool({"no-such-tool-for-the-engine"}, 1000, 100).has_value());
    EXPECT_FALSE(RunTool({}, 1000, 100).has_value());
    EXPECT_FALSE(RunTool({""}, 1000, 100).has_value());
}

TEST(RunTool, HangingToolIsEndedAtTheLimit)
{
    // Prints, then keeps its output open and never ends by itself.
    std::optional<platform::ToolResult> result = RunTool({"sh", "-c", "printf early; exec sleep 30"}, 200, 100);
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(result->timedOut);
    EXPECT_EQ(result->exitCode, -1);
    EXPECT_EQ(result->output, "early");
}
