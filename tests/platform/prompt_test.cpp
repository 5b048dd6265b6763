// Prompts: presenter choice, the test hook, unattended defaults, the terminal, and the zenity
// call checked against a stand-in script (zenity itself is never run).
#include "prompt.h"

#include "codepage.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

using namespace platform;

namespace {

const std::vector<PromptChoice> Levels = {{"Lev...", "Level 1"}, {"Lev...", "Level 2"}, {"", "Options"}};

// Restores every override a test may change.
class PromptTest : public testing::Test {
protected:
    void TearDown() override
    {
        SetPromptHook({});
        SetPromptPresenter(PromptPresenter::Auto);
        SetZenityProgram("zenity");
        PinAnsiCodePage(nullptr);
    }
};

struct Terminal {
    explicit Terminal(const std::string& typed) : In(std::tmpfile()), Out(std::tmpfile())
    {
        std::fwrite(typed.data(), 1, typed.size(), In);
        std::rewind(In);
    }
    ~Terminal() { std::fclose(In); std::fclose(Out); }
    std::string shown() const
    {
        std::rewind(Out);
        std::string text;
        for (int c; (c = std::fgetc(Out)) != EOF;) text += char(c);
        return text;
    }
    std::FILE* In;
    std::FILE* Out;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A stand-in for zenity: records its arguments and input, answers from the environment.
class FakeZenity {
public:
    FakeZenity()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "prompt_test_XXXXXX").string();
        Dir = mkdtemp(pattern.data());
        Program = Dir + "/zenity";
        std::ofstream(Program) << "#!/bin/sh\n"
                                  "dir=$(dirname \"$0\")\n"
                                  ": > \"$dir/args\"\n"
                                  "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$dir/args\"; done\n"
                                  "cat > \"$dir/stdin\"\n"
                                  "printf '%s\\n' \"$FAKE_ZENITY_ANSWER\"\n"
                                  "exit \"${FAKE_ZENITY_EXIT:-0}\"\n";
        chmod(Program.c_str(), 0755);
        SetZenityProgram(Program);
        SetPromptPresenter(PromptPresenter::Zenity);
    }
    ~FakeZenity()
    {
        for (const char* name : {"/zenity", "/args", "/stdin", "/pwned"}) std::remove((Dir + name).c_str());
        rmdir(Dir.c_str());
    }
    void answer(const char* text, int exitCode)
    {
        setenv("FAKE_ZENITY_ANSWER", text, 1);
        setenv("FAKE_ZENITY_EXIT", std::to_string(exitCode).c_str(), 1);
    }
    std::string args() const { return readFile(Dir + "/args"); }
    std::string input() const { return readFile(Dir + "/stdin"); }
    std::string Dir, Program;
};

}   // namespace

TEST(PromptPresenterChoice, FollowsDisplayZenityAndTerminal)
{
    struct Case {
        bool person, display, zenity, tty;
        PromptPresenter expected;
    } cases[] = {
        {false, true, true, true, PromptPresenter::Nobody},
        {true, true, true, true, PromptPresenter::Zenity},
        {true, true, true, false, PromptPresenter::Zenity},
        {true, true, false, true, PromptPresenter::Terminal},
        {true, false, true, true, PromptPresenter::Terminal},
        {true, false, false, false, PromptPresenter::Nobody},
        {true, true, false, false, PromptPresenter::Nobody},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PickPromptPresenter(c.person, c.display, c.zenity, c.tty), c.expected)
            << c.person << c.display << c.zenity << c.tty;
}

TEST_F(PromptTest, HookAnswersEveryPrompt)
{
    std::string seen;
    std::vector<PromptChoice> seenChoices;
    SetPromptHook({[&](std::string_view title, std::string_view text, std::string_view def) {
                       seen = std::string(title) + "|" + std::string(text) + "|" + std::string(def);
                       return std::optional<std::string>("typed");
                   },
                   [&](std::string_view, const std::vector<PromptChoice>& choices) {
                       seenChoices = choices;
                       return 1;
                   }});
    EXPECT_EQ(AskString("Name", "Your name?", "Player"), "typed");
    EXPECT_EQ(seen, "Name|Your name?|Player");
    EXPECT_EQ(AskChoice("Menu", Levels), 1);
    ASSERT_EQ(seenChoices.size(), 3u);
    EXPECT_EQ(seenChoices[2].caption, "Options");
    EXPECT_EQ(AskChoice("Menu", {}), -1);   // an empty list asks nobody

    SetPromptHook({nullptr, [](std::string_view, const std::vector<PromptChoice>&) { return 0; }});
    SetPromptPresenter(PromptPresenter::Nobody);
    EXPECT_EQ(AskString("Name", "Your name?", "Player"), "Player");   // falls through to the presenter
}

TEST_F(PromptTest, NobodyToAskGivesTheDefaultAtOnce)
{
    SetPromptPresenter(PromptPresenter::Nobody);
    EXPECT_EQ(AskString("T", "Q", "say \"hi\""), "say \"hi\"");
    EXPECT_EQ(AskString("T", "Q", ""), "");
    EXPECT_EQ(AskChoice("T", Levels), -1);
    EXPECT_EQ(AskChoice("T", Levels, 2), 2);
}

TEST_F(PromptTest, EnvironmentCanForbidAsking)
{
    SetZenityProgram("/nonexistent/zenity");
    setenv("ENGINE_NONINTERACTIVE", "1", 1);
    EXPECT_EQ(AskString("T", "Q", "fallback"), "fallback");
    EXPECT_EQ(AskChoice("T", Levels, 0), 0);
    unsetenv("ENGINE_NONINTERACTIVE");
}

TEST_F(PromptTest, TerminalReadsOneLine)
{
    struct Case {
        std::string typed;
        std::optional<std::string> expected;
    } cases[] = {
        {"hello world\n", "hello world"},
        {"\n", "Player"},                 // Return keeps the default
        {"", std::nullopt},               // end of input cancels
        {"windows\r\nnext\n", "windows"},
        {"no line end", "no line end"},
        {std::string(100000, 'x') + "\n", std::string(64 * 1024, 'x')},
    };
    for (const Case& c : cases) {
        Terminal t(c.typed);
        EXPECT_EQ(AskStringOnTerminal(t.In, t.Out, "Name", "Your name?", "Player"), c.expected)
            << c.typed.substr(0, 20);
        EXPECT_NE(t.shown().find("Your name? [Player]: "), std::string::npos);
    }
}

TEST_F(PromptTest, TerminalConvertsTheCodePage)
{
    ASSERT_TRUE(PinAnsiCodePage("CP1251"));
    Terminal t("\xD0\x94\xD0\xB0\n");   // "Да" in UTF-8
    EXPECT_EQ(AskStringOnTerminal(t.In, t.Out, "T", "\xC8\xEC\xFF?", ""), std::string("\xC4\xE0"));
    EXPECT_NE(t.shown().find("\xD0\x98\xD0\xBC\xD1\x8F?"), std::string::npos);   // "Имя?" shown as UTF-8
}

TEST_F(PromptTest, TerminalChoiceShowsGroupsAndRetries)
{
    struct Case {
        const char* typed;
        int expected;
    } cases[] = {
        {"2\n", 1}, {"3\n", 2}, {"\n", -1}, {"", -1}, {"x\n0\n1\n", 0}, {"9\n0\n-1\n7\nabc\n1\n", -1}, {"2x\n", -1},
    };
    for (const Case& c : cases) {
        Terminal t(c.typed);
        EXPECT_EQ(AskChoiceOnTerminal(t.In, t.Out, "Menu", Levels), c.expected) << c.typed;
    }
    Terminal t("1\n");
    AskChoiceOnTerminal(t.In, t.Out, "Menu", Levels);
    EXPECT_NE(t.shown().find("Menu\n  Lev...:\n      1) Level 1\n      2) Level 2\n    3) Options\n"),
              std::string::npos)
        << t.shown();
}

TEST_F(PromptTest, ZenityGetsUserTextOnlyAsData)
{
    FakeZenity zenity;
    std::string hostile = "He said \"hi\"; $(touch " + zenity.Dir + "/pwned) `id` 'x'";
    zenity.answer("my answer", 0);
    EXPECT_EQ(AskString(hostile, "--help", "--version"), "my answer");
    EXPECT_EQ(zenity.args(), "--entry\n--title=" + hostile + "\n--text=--help\n--entry-text=--version\n");
    EXPECT_FALSE(std::ifstream(zenity.Dir + "/pwned").good());

    zenity.answer("", 1);
    EXPECT_EQ(AskString("T", "Q", "def"), std::nullopt);   // Cancel
    zenity.answer("", 5);
    EXPECT_EQ(AskString("T", "Q", "def"), "def");          // zenity failed: nobody was asked
}

TEST_F(PromptTest, ZenityListGetsRowsThroughStandardInput)
{
    FakeZenity zenity;
    std::vector<PromptChoice> choices = Levels;
    choices.push_back({"", "--help\nsecond line"});
    struct Case {
        const char* answer;
        int exitCode, expected;
    } cases[] = {{"2", 0, 1}, {"4", 0, 3}, {"9", 0, -1}, {"", 0, -1}, {"", 1, -1}, {"", 5, 3}};
    for (const Case& c : cases) {
        zenity.answer(c.answer, c.exitCode);
        EXPECT_EQ(AskChoice("Pick", choices, 3), c.expected) << c.answer << " " << c.exitCode;
    }
    EXPECT_EQ(zenity.input(), "1\nLev...\nLevel 1\n2\nLev...\nLevel 2\n3\n\nOptions\n4\n\n--help second line\n");
    EXPECT_NE(zenity.args().find("--title=Pick\n"), std::string::npos);
    EXPECT_EQ(zenity.args().find("Level"), std::string::npos);
}

TEST_F(PromptTest, MissingZenityFallsBackToTheDefault)
{
    SetZenityProgram("/nonexistent/zenity");
    SetPromptPresenter(PromptPresenter::Zenity);
    EXPECT_EQ(AskString("T", "Q", "def"), "def");
    EXPECT_EQ(AskChoice("T", Levels, 1), 1);
}
