// Prompts through zenity (started without a shell), the terminal, or the default answer.
#include "prompt.h"

#include "codepage.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

extern char** environ;

namespace platform {
namespace {

constexpr size_t MaxAnswerBytes = 64 * 1024;
constexpr int MaxTerminalTries = 5;
constexpr int ZenityCancelled = 1;

std::mutex g_lock;
PromptHook g_hook;
PromptPresenter g_presenter = PromptPresenter::Auto;
std::string g_zenity = "zenity";

bool isEnvSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value && std::strcmp(value, "0") != 0;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::string ansiToUtf8(std::string_view text)
{
    std::string out;
    for (wchar_t c : AnsiToWide(text)) appendUtf8(out, char32_t(c));
    return out;
}

// Malformed sequences become '?', like characters the code page lacks.
std::string utf8ToAnsi(std::string_view text)
{
    std::wstring wide;
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        char32_t c = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
        bool ok = extra >= 0 && i + size_t(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + size_t(k)]);
            ok = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        wide += ok && c <= 0x10FFFF ? wchar_t(c) : L'?';
        i += ok ? size_t(extra) + 1 : 1;
    }
    return WideToAnsi(wide);
}

// One line without its end; nullopt at end of input. Overlong lines are cut, not kept whole.
std::optional<std::string> readLine(std::FILE* in)
{
    std::string line;
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n')
        if (line.size() < MaxAnswerBytes) line += char(c);
    if (c == EOF && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

bool findProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    for (std::string_view rest = path ? path : ""; !rest.empty();) {
        size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    }
    return false;
}

struct RunResult {
    bool started = false;
    int exitCode = -1;
    std::string output;
};

// Starts `args` directly (no shell), feeding `input` from an in-memory file so that a
// program that exits early cannot raise SIGPIPE here. Standard error is discarded.
RunResult runProgram(const std::vector<std::string>& args, const std::string& input)
{
    RunResult result;
    int inFd = memfd_create("prompt-input", MFD_CLOEXEC);
    int outPipe[2];
    if (inFd < 0) return result;
    if (write(inFd, input.data(), input.size()) != ssize_t(input.size()) || lseek(inFd, 0, SEEK_SET) != 0
        || pipe2(outPipe, O_CLOEXEC) != 0) {
        close(inFd);
        return result;
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inFd, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    result.started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(inFd);
    close(outPipe[1]);
    char buffer[4096];
    for (ssize_t n; result.started && ((n = read(outPipe[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR));)
        if (n > 0 && result.output.size() < MaxAnswerBytes) result.output.append(buffer, size_t(n));
    close(outPipe[0]);
    int status = 0;
    while (result.started && waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (result.started && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

std::string withoutLineEnd(std::string text)
{
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::string oneLine(std::string_view text)
{
    std::string out = ansiToUtf8(text);
    for (char& c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

// Titles and texts go in "--name=value" elements, so no user text can pass for an option.
std::optional<std::optional<std::string>> zenityString(const std::string& program, std::string_view title,
                                                       std::string_view text, std::string_view defaultAnswer)
{
    RunResult run = runProgram({program, "--entry", "--title=" + ansiToUtf8(title), "--text=" + ansiToUtf8(text),
                                "--entry-text=" + ansiToUtf8(defaultAnswer)},
                               {});
    if (run.exitCode == 0) return std::optional<std::string>(utf8ToAnsi(withoutLineEnd(run.output)));
    if (run.exitCode == ZenityCancelled) return std::optional<std::string>();
    return std::nullopt;   // could not ask
}

// The rows go through standard input, one cell per line: number, group, caption.
std::optional<int> zenityChoice(const std::string& program, std::string_view title,
                                const std::vector<PromptChoice>& choices)
{
    std::string rows;
    for (size_t i = 0; i < choices.size(); ++i)
        rows += std::to_string(i + 1) + "\n" + oneLine(choices[i].group) + "\n" + oneLine(choices[i].caption) + "\n";
    RunResult run = runProgram({program, "--list", "--title=" + ansiToUtf8(title), "--column=#", "--column=Group",
                                "--column=Choice", "--hide-column=1", "--print-column=1", "--height=420"},
                               rows);
    if (run.exitCode == ZenityCancelled) return -1;
    if (run.exitCode != 0) return std::nullopt;
    char* end = nullptr;
    std::string answer = withoutLineEnd(run.output);
    long id = std::strtol(answer.c_str(), &end, 10);
    bool isNumber = !answer.empty() && end && *end == '\0';
    return isNumber && id >= 1 && size_t(id) <= choices.size() ? int(id - 1) : -1;
}

PromptPresenter currentPresenter(std::string& program)
{
    std::lock_guard<std::mutex> lock(g_lock);
    program = g_zenity;
    if (g_presenter != PromptPresenter::Auto) return g_presenter;
    bool personMayAnswer = !isEnvSet("ENGINE_NONINTERACTIVE") && !isEnvSet("CI");
    bool hasDisplay = isEnvSet("DISPLAY") || isEnvSet("WAYLAND_DISPLAY");
    return PickPromptPresenter(personMayAnswer, hasDisplay, hasDisplay && findProgram(program), isatty(0) == 1);
}

PromptHook currentHook()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_hook;
}

void printChoices(std::FILE* out, const std::vector<PromptChoice>& choices)
{
    for (size_t i = 0; i < choices.size(); ++i) {
        const std::string& group = choices[i].group;
        bool inGroup = !group.empty();
        if (inGroup && (i == 0 || choices[i - 1].group != group)) std::fprintf(out, "  %s:\n", oneLine(group).c_str());
        std::fprintf(out, "%s%3zu) %s\n", inGroup ? "    " : "  ", i + 1, oneLine(choices[i].caption).c_str());
    }
}

}   // namespace

PromptPresenter PickPromptPresenter(bool personMayAnswer, bool hasDisplay, bool hasZenity, bool stdinIsTerminal)
{
    if (!personMayAnswer) return PromptPresenter::Nobody;
    if (hasDisplay && hasZenity) return PromptPresenter::Zenity;
    return stdinIsTerminal ? PromptPresenter::Terminal : PromptPresenter::Nobody;
}

PromptPresenter SetPromptPresenter(PromptPresenter presenter)
{
    std::lock_guard<std::mutex> lock(g_lock);
    std::swap(g_presenter, presenter);
    return presenter;
}

std::string SetZenityProgram(std::string program)
{
    std::lock_guard<std::mutex> lock(g_lock);
    std::swap(g_zenity, program);
    return program;
}

PromptHook SetPromptHook(PromptHook hook)
{
    std::lock_guard<std::mutex> lock(g_lock);
    std::swap(g_hook, hook);
    return hook;
}

std::optional<std::string> AskStringOnTerminal(std::FILE* in, std::FILE* out, std::string_view title,
                                               std::string_view text, std::string_view defaultAnswer)
{
    std::fprintf(out, "\n%s\n%s [%s]: ", oneLine(title).c_str(), oneLine(text).c_str(),
                 oneLine(defaultAnswer).c_str());
    std::fflush(out);
    std::optional<std::string> line = readLine(in);
    if (!line) return std::nullopt;   // end of input: cancelled
    return line->empty() ? std::string(defaultAnswer) : utf8ToAnsi(*line);
}

int AskChoiceOnTerminal(std::FILE* in, std::FILE* out, std::string_view title,
                        const std::vector<PromptChoice>& choices)
{
    if (choices.empty()) return -1;
    std::fprintf(out, "\n%s\n", oneLine(title).c_str());
    printChoices(out, choices);
    for (int tries = 0; tries < MaxTerminalTries; ++tries) {
        std::fprintf(out, "Choice (1-%zu, empty to cancel): ", choices.size());
        std::fflush(out);
        std::optional<std::string> line = readLine(in);
        if (!line || line->empty()) return -1;
        char* end = nullptr;
        long number = std::strtol(line->c_str(), &end, 10);
        if (end && *end == '\0' && number >= 1 && size_t(number) <= choices.size()) return int(number - 1);
        std::fprintf(out, "Please type a number from 1 to %zu.\n", choices.size());
    }
    return -1;
}

std::optional<std::string> AskString(std::string_view title, std::string_view text, std::string_view defaultAnswer)
{
    if (PromptHook hook = currentHook(); hook.askString) return hook.askString(title, text, defaultAnswer);
    std::string program;
    switch (currentPresenter(program)) {
    case PromptPresenter::Zenity:
        if (auto answer = zenityString(program, title, text, defaultAnswer)) return *answer;
        break;
    case PromptPresenter::Terminal: return AskStringOnTerminal(stdin, stdout, title, text, defaultAnswer);
    case PromptPresenter::Auto:
    case PromptPresenter::Nobody: break;
    }
    return std::string(defaultAnswer);
}

int AskChoice(std::string_view title, const std::vector<PromptChoice>& choices, int defaultIndex)
{
    if (choices.empty()) return -1;
    if (PromptHook hook = currentHook(); hook.askChoice) return hook.askChoice(title, choices);
    std::string program;
    switch (currentPresenter(program)) {
    case PromptPresenter::Zenity:
        if (auto index = zenityChoice(program, title, choices)) return *index;
        break;
    case PromptPresenter::Terminal: return AskChoiceOnTerminal(stdin, stdout, title, choices);
    case PromptPresenter::Auto:
    case PromptPresenter::Nobody: break;
    }
    return defaultIndex;
}

}   // namespace platform
