// Seeded mutations of real input files, and a runner that feeds each mutated
// case to a reader in a child process, so that a crash, a hang or an ended
// program is told apart from a clean refusal (tests).
#pragma once

#include <functional>
#include <string>
#include <vector>

// How many of `full` cases a run takes: all with ROBUST_MUTATIONS=full in the
// environment (the deep sweep), else a sixth (at least 6), so that the unit
// tests stay quick. ROBUST_MUTATIONS_ROUND=n gives the sweep other cases.
size_t MutationBudget(size_t full);

// The seed itself first, then truncations at every k-th byte, byte flips,
// duplicated and deleted spans, and each insert (plus the common hostile
// tokens) placed at a few spots. The same seed text and number give the same
// cases on every run: at most MutationBudget(maxCases) of them, picked evenly
// from the whole set.
std::vector<std::string> MutateSeed(const std::string& seed, unsigned number, size_t maxCases,
                                    const std::vector<std::string>& extraInserts = {});
// Every case, whatever the budget (at most maxCases).
std::vector<std::string> MutateAll(const std::string& seed, unsigned number, size_t maxCases,
                                   const std::vector<std::string>& extraInserts = {});

// The file of the sample game's data folder, read whole; empty when missing.
std::string ReadSampleData(const std::string& relativePath);

// What became of the cases that did not simply pass.
struct SMutationReport {
    std::vector<std::string> Faults;   // crashes, hangs, failed checks, leaks
    int Passed = 0;                    // the check returned no complaint
    int Ended = 0;                     // the program ended through FatalError, as designed
};

// Runs check(i) for i in [0, count) in forked children, in order; the check
// returns an empty text when the case is fine, else what is wrong. A child
// that ends with exit code 1 after writing the fatal alert file (alertFile,
// removed before each case) counts as Ended; any other end of a child, a case
// running longer than caseSeconds, or leaked memory (under the sanitizer) is
// a fault. The next child goes on with the following case.
SMutationReport RunMutationCases(int count, const std::function<std::string(int)>& check,
                                 const std::string& alertFile, int caseSeconds = 20);

// A short, printable excerpt of a case for failure messages.
std::string DescribeCase(const std::string& text);
// Where a case differs from its seed, with a little of the case around it.
std::string DescribeChange(const std::string& seed, const std::string& text);
