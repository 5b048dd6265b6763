// Scripts that exhaust memory: each runs in a child process under an address-space limit and
// must end in a script error, after which the same VM runs scripts and allocates again.
#include "std_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define EXHAUSTION_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EXHAUSTION_UNDER_ASAN 1
#endif
#endif

namespace {

constexpr size_t Headroom = size_t(256) << 20;

size_t addressSpaceInUse()
{
    size_t pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%zu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return pages * size_t(sysconf(_SC_PAGESIZE));
}

void limitAddressSpace(size_t bytes)
{
    rlimit limit = {bytes, bytes};
    setrlimit(RLIMIT_AS, &limit);
}

struct ChildResult {
    int status = 0;
    std::string output;
};

// Runs `body` in a child process that may grow by `Headroom` past what it uses when the body
// starts, and collects what the child wrote to `out`.
ChildResult runLimited(const std::function<void(FILE* out)>& body)
{
    int fds[2];
    if (pipe(fds) != 0) return {-1, "pipe failed"};
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        FILE* out = fdopen(fds[1], "w");
        limitAddressSpace(addressSpaceInUse() + Headroom);
        body(out);
        std::fclose(out);
        _exit(0);
    }
    close(fds[1]);
    ChildResult result;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) result.output.append(buf, size_t(n));
    close(fds[0]);
    waitpid(pid, &result.status, 0);
    return result;
}

class Exhaustion : public testing::Test {
protected:
    void SetUp() override
    {
#ifdef EXHAUSTION_UNDER_ASAN
        GTEST_SKIP() << "the address sanitizer's own mappings do not fit under an address-space limit";
#endif
    }
};

struct ExhaustionCase {
    const char* what;
    std::string source;
    const char* result;
};

TEST_F(Exhaustion, EndsInAScriptErrorAndTheVmGoesOn)
{
    // a source the compiler cannot hold: ten million array elements
    std::string hugeLiteral = "return [";
    for (int i = 0; i < 10000000; ++i) hugeLiteral += "0,";
    hugeLiteral += "0];";
    const ExhaustionCase cases[] = {
        {"string doubling", "local s = \"x\"; while (true) s = s + s;", "error: out of memory"},
        {"table growth", "local t = {}; for (local i = 0; ; i++) t[i] <- i;", "error: out of memory"},
        {"array growth", "local a = []; while (true) a.append(a.len());", "error: out of memory"},
        {"array size", "return array(0x7FFFFFF0);", "error: out of memory"},
        {"array resize", "local a = []; a.resize(0x7FFFFFF0);", "error: out of memory"},
        {"array extend", "local a = [0]; while (true) a.extend(a);", "error: out of memory"},
        {"format", "local s = \"x\"; while (true) s = format(\"%s%s\", s, s);", "error: out of memory"},
        {"blob size", "return blob(0x7FFFFFF0);", "error: out of memory"},
        {"blob writes", "local chunk = blob(1 << 20); local b = blob(); while (true) b.writeblob(chunk);",
         "error: out of memory"},
        {"in a metamethod",
         "class Greedy { function _get(k) { local t = {}; for (local i = 0; ; i++) t[i] <- k; } }\n"
         "return Greedy().anything;",
         "error: out of memory"},
        {"caught by the script",
         "local s = \"x\"; try { while (true) s = s + s; } catch (e) { return \"caught \" + e + \" at \" + s.len(); }",
         nullptr},
        {"in the compiler", hugeLiteral, "compile error: out of memory"},
    };
    for (const ExhaustionCase& c : cases) {
        SCOPED_TRACE(c.what);
        ChildResult child = runLimited([&c](FILE* out) {
            sqstdtest::ScriptVm vm;
            std::fprintf(out, "%s\n", vm.run(c.source).c_str());
            // frames unwound, references dropped: the memory is there again
            std::fprintf(out, "%s\n", vm.run("local t = {}; for (local i = 0; i < 1000; i++) t[i] <- [i]; return t.len();").c_str());
            std::fprintf(out, "%s\n", vm.run("return array(6000000, 1).len();").c_str());
        });
        ASSERT_TRUE(WIFEXITED(child.status)) << "signal " << (WIFSIGNALED(child.status) ? WTERMSIG(child.status) : 0);
        EXPECT_EQ(WEXITSTATUS(child.status), 0);
        std::string first = child.output.substr(0, child.output.find('\n'));
        if (c.result) EXPECT_EQ(first, c.result);
        else EXPECT_EQ(first.rfind("caught out of memory at ", 0), 0u) << first;
        EXPECT_EQ(child.output.substr(first.size()), "\n1000\n6000000\n");
    }
}

#ifdef SQ_TOOL_PATH
// The sq tool prints the report of an uncaught error, whatever ran out, and exits with 1.
TEST_F(Exhaustion, SqToolReportsAndExitsWithOne)
{
    struct ToolCase {
        const char* script;
        std::vector<std::string> reported;
    };
    const ToolCase cases[] = {
        {"local s = \"x\";\nwhile (true) s = s + s;\n",
         {"\nAN ERROR HAS OCCURED [out of memory]\n\nCALLSTACK\n*FUNCTION [main()] tool.nut line [2]\n\nLOCALS\n"}},
        {"function runaway(n) { return 1 + runaway(n + 1); }\nfunction start() { runaway(0); }\nstart();\n",
         {"\nAN ERROR HAS OCCURED [stack overflow]\n\nCALLSTACK\n*FUNCTION [runaway()] tool.nut line [1]\n",
          " more calls ...\n*FUNCTION [runaway()] tool.nut line [1]\n",
          "*FUNCTION [start()] tool.nut line [2]\n*FUNCTION [main()] tool.nut line [3]\n\nLOCALS\n[n] "}},
    };
    std::string dir = testing::TempDir();
    struct SScriptFile {
        std::string path;
        ~SScriptFile() { std::remove(path.c_str()); }   // the temporary folder is shared
    } script{dir + "tool.nut"};
    for (const ToolCase& c : cases) {
        std::ofstream(script.path) << c.script;
        ChildResult child = runLimited([&dir](FILE* out) {
            dup2(fileno(out), 1);
            if (chdir(dir.c_str()) == 0) execl(SQ_TOOL_PATH, SQ_TOOL_PATH, "tool.nut", static_cast<char*>(nullptr));
            _exit(127);
        });
        ASSERT_TRUE(WIFEXITED(child.status)) << "signal " << (WIFSIGNALED(child.status) ? WTERMSIG(child.status) : 0);
        EXPECT_EQ(WEXITSTATUS(child.status), 1);
        for (const std::string& part : c.reported) EXPECT_NE(child.output.find(part), std::string::npos) << part << "\n" << child.output;
        EXPECT_LT(child.output.size(), 4000u) << "deep call stacks are cut";
    }
}
#endif

}  // namespace
