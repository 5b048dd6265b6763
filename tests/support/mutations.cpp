// Seeded mutations and the forked case runner.
#include "mutations.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MUTATIONS_LEAK_CHECK 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define MUTATIONS_LEAK_CHECK 1
#endif
#ifdef MUTATIONS_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// A small linear congruential generator: the same everywhere, unlike the
// standard distributions.
struct CSeededRandom {
    unsigned State;
    unsigned next()
    {
        State = State * 1103515245u + 12345u;
        return (State >> 8) & 0xFFFFFF;
    }
    size_t below(size_t n) { return n ? next() % n : 0; }
};

const char* const HostileTokens[] = {
    "${", "$rnd(", "$rnd(1,", "${switch(", "<", ">", "\"", "'", "&", "&#", "]]>", "\n", "\r", "\0",
    "99999999999999999999", "-2147483649", "1e39", "-1e39", "nan", "-Parent:-9\n", "\\", "%s%n%x",
};

void writeLine(int fd, const std::string& line)
{
    std::string text = line;
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    text += '\n';
    const char* p = text.data();
    size_t left = text.size();
    while (left) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= size_t(n);
    }
}

[[noreturn]] void runChild(int fd, int from, int count, const std::function<std::string(int)>& check,
                           const std::string& alertFile)
{
    for (int i = from; i < count; ++i) {
        if (!alertFile.empty())
            std::remove(alertFile.c_str());
        writeLine(fd, "S" + std::to_string(i));
        std::string fault = check(i);
        if (!fault.empty())
            writeLine(fd, "F" + std::to_string(i) + " " + fault);
    }
#ifdef MUTATIONS_LEAK_CHECK
    if (__lsan_do_recoverable_leak_check())
        writeLine(fd, "L cases " + std::to_string(from) + ".." + std::to_string(count - 1) + " leaked memory");
#endif
    writeLine(fd, "D");
    close(fd);
    _exit(0);
}

std::string describeStatus(int status)
{
    if (WIFSIGNALED(status))
        return "killed by signal " + std::to_string(WTERMSIG(status));
    if (WIFEXITED(status))
        return "exit code " + std::to_string(WEXITSTATUS(status));
    return "ended oddly";
}

}  // namespace

size_t MutationBudget(size_t full)
{
    const char* scale = std::getenv("ROBUST_MUTATIONS");
    if (scale && std::string(scale) == "full")
        return full;
    return std::min(full, std::max<size_t>(full / 6, 6));
}

namespace {

std::vector<std::string> pickEvenly(const std::vector<std::string>& all, size_t count)
{
    if (all.size() <= count)
        return all;
    std::vector<std::string> picked;
    for (size_t i = 0; i < count; ++i)
        picked.push_back(all[i * all.size() / count]);   // i = 0 keeps the seed
    return picked;
}

}  // namespace

std::vector<std::string> MutateSeed(const std::string& seed, unsigned number, size_t maxCases,
                                    const std::vector<std::string>& extraInserts)
{
    return pickEvenly(MutateAll(seed, number, maxCases, extraInserts), MutationBudget(maxCases));
}

std::vector<std::string> MutateAll(const std::string& seed, unsigned number, size_t maxCases,
                                   const std::vector<std::string>& extraInserts)
{
    std::vector<std::string> cases;
    // Another round of the deep sweep: ROBUST_MUTATIONS_ROUND=n moves every seed number.
    if (const char* round = std::getenv("ROBUST_MUTATIONS_ROUND"))
        number += unsigned(std::atoi(round)) * 1000u;
    CSeededRandom random{number * 2654435761u + 1};
    cases.push_back(seed);
    const size_t size = seed.size();
    if (size == 0)
        return cases;
    // Truncations spread over the whole text, the very first bytes included.
    const size_t step = size / 24 + 1;
    for (size_t at = 1; at < size; at += step)
        cases.push_back(seed.substr(0, at));
    // Flipped bytes: bit flips, zero bytes and high bytes.
    for (int i = 0; i < 16; ++i) {
        std::string text = seed;
        size_t at = random.below(size);
        static const unsigned char Patterns[] = {0x01, 0x80, 0xFF, 0x20};
        text[at] = i % 5 == 4 ? '\0' : char((unsigned char)text[at] ^ Patterns[i % 4]);
        cases.push_back(text);
    }
    // Duplicated and deleted spans.
    for (int i = 0; i < 8; ++i) {
        size_t at = random.below(size);
        size_t length = 1 + random.below(std::min<size_t>(size - at, 64));
        std::string span = seed.substr(at, length);
        cases.push_back(seed.substr(0, at) + span + span + seed.substr(at));
        cases.push_back(seed.substr(0, at) + seed.substr(at + length));
    }
    // Inserted tokens, each at two spots.
    std::vector<std::string> inserts(std::begin(HostileTokens), std::end(HostileTokens));
    inserts[13] = std::string(1, '\0');
    inserts.insert(inserts.end(), extraInserts.begin(), extraInserts.end());
    for (const std::string& token : inserts) {
        for (int k = 0; k < 2; ++k) {
            size_t at = random.below(size + 1);
            cases.push_back(seed.substr(0, at) + token + seed.substr(at));
        }
    }
    return pickEvenly(cases, maxCases);
}

std::string ReadSampleData(const std::string& relativePath)
{
    // This file lies in tests/support; the sample game in data/.
    std::filesystem::path file = std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() /
                                 "data" / relativePath;
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string DescribeCase(const std::string& text)
{
    std::string out;
    for (unsigned char c : text.substr(0, 80)) {
        if (c >= 32 && c < 127) {
            out += char(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (text.size() > 80)
        out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

std::string DescribeChange(const std::string& seed, const std::string& text)
{
    size_t at = 0;
    while (at < seed.size() && at < text.size() && seed[at] == text[at])
        ++at;
    const size_t from = at > 20 ? at - 20 : 0;
    return "at byte " + std::to_string(at) + " of " + std::to_string(text.size()) + ": " +
           DescribeCase(text.substr(from, 60));
}

SMutationReport RunMutationCases(int count, const std::function<std::string(int)>& check,
                                 const std::string& alertFile, int caseSeconds)
{
    SMutationReport report;
    int from = 0;
    while (from < count) {
        std::fflush(stdout);
        std::fflush(stderr);
        int fds[2];
        if (pipe(fds) != 0) {
            report.Faults.push_back("no pipe");
            return report;
        }
        pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            runChild(fds[1], from, count, check, alertFile);
        }
        close(fds[1]);
        int current = -1;
        bool currentFailed = false;
        bool done = false;
        bool hung = false;
        std::string pending;
        while (!done) {
            pollfd wait{fds[0], POLLIN, 0};
            int ready = poll(&wait, 1, caseSeconds * 1000);
            if (ready == 0) {
                hung = true;
                kill(child, SIGKILL);
                break;
            }
            char buffer[4096];
            ssize_t n = ready < 0 ? (errno == EINTR ? -2 : -1) : read(fds[0], buffer, sizeof buffer);
            if (n == -2)
                continue;
            if (n <= 0)
                break;
            pending.append(buffer, size_t(n));
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (line[0] == 'S') {
                    if (current >= 0 && !currentFailed)
                        ++report.Passed;
                    current = std::stoi(line.substr(1));
                    currentFailed = false;
                } else if (line[0] == 'F') {
                    currentFailed = true;
                    report.Faults.push_back("case " + line.substr(1));
                } else if (line[0] == 'L') {
                    report.Faults.push_back(line.substr(2));
                } else if (line[0] == 'D') {
                    if (current >= 0 && !currentFailed)
                        ++report.Passed;
                    done = true;
                }
            }
        }
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (done)
            return report;
        if (current < 0)
            current = from;   // died before its first case
        if (hung) {
            report.Faults.push_back("case " + std::to_string(current) + " hung for " + std::to_string(caseSeconds) +
                                    " s");
        } else if (WIFEXITED(status) && WEXITSTATUS(status) == 1 && !alertFile.empty() &&
                   std::filesystem::exists(alertFile)) {
            ++report.Ended;
            if (std::getenv("MUTATIONS_VERBOSE")) {
                std::ifstream alert(alertFile);
                std::stringstream text;
                text << alert.rdbuf();
                std::fprintf(stderr, "case %d ended: %s\n", current, text.str().c_str());
            }
        } else {
            report.Faults.push_back("case " + std::to_string(current) + " " + describeStatus(status));
        }
        from = current + 1;
    }
    return report;
}
