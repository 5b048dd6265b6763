// Asking a person for a line of text or a choice from a grouped list: zenity, the terminal,
// or nobody (the default answer at once).
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One entry of a choice list. Neighbouring entries with the same non-empty group are shown
// together under that group's title; entries with an empty group stand alone.
struct PromptChoice {
    std::string group;
    std::string caption;
};

// All texts, in and out, are in the run's 8-bit code page, as the engine keeps them.

// The answer as typed (no line end); nullopt when the person cancelled. With nobody to
// ask, or when asking failed, the default answer.
std::optional<std::string> AskString(std::string_view title, std::string_view text,
                                     std::string_view defaultAnswer);
// The chosen entry's index; -1 when the person dismissed the list or it is empty. With
// nobody to ask, or when asking failed, `defaultIndex`.
int AskChoice(std::string_view title, const std::vector<PromptChoice>& choices, int defaultIndex = -1);

// Tests answer every prompt of the process here; empty members fall through to the
// presenters. Returns the hook installed before.
struct PromptHook {
    std::function<std::optional<std::string>(std::string_view title, std::string_view text,
                                             std::string_view defaultAnswer)> askString;
    std::function<int(std::string_view title, const std::vector<PromptChoice>& choices)> askChoice;
};
PromptHook SetPromptHook(PromptHook hook);

enum class PromptPresenter { Auto, Zenity, Terminal, Nobody };
// Nobody when ENGINE_NONINTERACTIVE or CI is set; else zenity when it is installed and a
// display exists; else the terminal when standard input is one; else nobody.
PromptPresenter PickPromptPresenter(bool personMayAnswer, bool hasDisplay, bool hasZenity,
                                    bool stdinIsTerminal);
// Overrides the environment's choice; Auto returns to it. Returns the previous override.
PromptPresenter SetPromptPresenter(PromptPresenter presenter);
// The program run for zenity (a name looked up in PATH, or a path); tests point it at a
// stand-in. Returns the previous one.
std::string SetZenityProgram(std::string program);

// The terminal presenter on given streams (UTF-8 on the terminal side).
std::optional<std::string> AskStringOnTerminal(std::FILE* in, std::FILE* out, std::string_view title,
                                               std::string_view text, std::string_view defaultAnswer);
int AskChoiceOnTerminal(std::FILE* in, std::FILE* out, std::string_view title,
                        const std::vector<PromptChoice>& choices);

}   // namespace platform
