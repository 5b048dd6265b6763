// Scripts in the real game, headless on the null driver: start-up scripting,
// error reports after which the run goes on, timers on real time, and the
// profile's script table and options kept from one run to the next.
#include "sample_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using sample::contains;
using sample::readFile;

const char* const Manifest =
    "<Manifest><Fonts></Fonts><Cursors></Cursors><AtlasLists></AtlasLists>"
    "<Materials></Materials><ParticleGroups></ParticleGroups></Manifest>";

// Runs once by the start-up code, then as a preloaded file; it waits for game
// state 500, looks around, fails twice on purpose and ends the game.
const char* const StartupScript =
    "runsOfStartup <- (\"runsOfStartup\" in getroottable() ? runsOfStartup : 0) + 1;\n"
    "if (!(\"watching\" in getroottable())) {\n"
    "    watching <- true;\n"
    "    print(\"first print  \");\n"
    "    print(\"second print\");\n"
    "    firstTimer <- core_SetInterval(20, \"watch();\");\n"
    "}\n"
    "function faultInStartup() {\n"
    "    missingGlobal();\n"
    "}\n"
    "function watch() {\n"
    "    if (core_GetGameState() < 500) return;\n"
    "    cancelled <- core_CancelInterval();\n"
    "    coreNames <- 0;\n"
    "    foreach (k, v in getroottable())\n"
    "        if (typeof k == \"string\" && k.len() > 5 && k.slice(0, 5) == \"core_\" && typeof v == \"function\")\n"
    "            ++coreNames;\n"
    "    timeoutRuns <- 0;\n"
    "    timeoutSetAt <- core_GetTick();\n"
    "    core_SetTimeout(500, \"halfSecond();\");\n"
    "    print(\"before the fault\");\n"
    "    faultInStartup();\n"
    "}\n"
    "function halfSecond() {\n"
    "    ++timeoutRuns;\n"
    "    waited <- core_GetTick() - timeoutSetAt;\n"
    "    core_SetTimeout(300, \"finish();\");\n"
    "}\n"
    "function finish() {\n"
    "    core_SaveFile(\"report.txt\", \"names=\" + coreNames + \"\\nstartup=\" + runsOfStartup\n"
    "        + \"\\nsecond=\" + runsOfSecond + \"\\ndebug=\" + debugLines + \"\\nfirstTimer=\" + firstTimer\n"
    "        + \"\\ncancelled=\" + cancelled + \"\\ntimeoutRuns=\" + timeoutRuns + \"\\nwaited=\" + waited + \"\\n\");\n"
    "    core_se_DebugHint(\"closing down\");\n"
    "    core_SetTimeout(50, \"core_CloseGame();\");\n"
    "    missingAtTheEnd();\n"
    "}\n";

const char* const SecondScript =
    "runsOfSecond <- (\"runsOfSecond\" in getroottable() ? runsOfSecond : 0) + 1;\n"
    "debugLines <- (\"debugLines\" in getroottable() ? debugLines : 0);\n"
    "$ifdebug debugLines <- debugLines + 1;\n";

// Waits for game state 500, then ends the game; a report names what it saw.
const char* const QuietStartup =
    "if (!(\"watching\" in getroottable())) {\n"
    "    watching <- true;\n"
    "    core_SetInterval(20, \"watch();\");\n"
    "}\n"
    "function watch() {\n"
    "    if (core_GetGameState() < 500) return;\n"
    "    core_CancelInterval();\n"
    "    core_SaveFile(\"report.txt\", report());\n"
    "    core_CloseGame();\n"
    "}\n";

// A program folder whose data are a bare manifest and the given scripts.
class ScriptRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(Game.Root / "data");
        write("manifest.xml", Manifest);
        sample::writeFile(Game.Root / "game.ini",
                          "AppDataFolder=LanternSample\nActiveProfile=Tester\nDebug=0\nSound=0\nLanguage=en\n");
    }

    void write(const std::string& name, const std::string& text)
    {
        fs::path path = Game.Root / "data" / name;
        fs::create_directories(path.parent_path());
        sample::writeFile(path, text);
    }
    sample::SRun run(const std::vector<std::string>& args = {}) { return Game.run(args, sample::SScreen()); }

    // "key=value" lines of the report the scripts wrote.
    std::map<std::string, std::string> report() const
    {
        std::map<std::string, std::string> values;
        std::istringstream lines(readFile(Game.Root / "report.txt"));
        std::string line;
        while (std::getline(lines, line)) {
            size_t equals = line.find('=');
            if (equals != std::string::npos)
                values[line.substr(0, equals)] = line.substr(equals + 1);
        }
        return values;
    }

    // The texts of the boxes the run answered by itself, in order.
    static std::vector<std::string> boxes(const std::string& output)
    {
        std::vector<std::string> found;
        const std::string opening = "[message box] ";
        for (size_t at = output.find(opening); at != std::string::npos;) {
            size_t text = output.find('\n', at) + 1;
            size_t end = output.find("\n[answered ", text);
            if (text == 0 || end == std::string::npos)
                break;
            found.push_back(output.substr(text, end - text));
            at = output.find(opening, end);
        }
        return found;
    }

    static int lineOf(const std::string& text, const std::string& part)
    {
        size_t at = text.find(part);
        return at == std::string::npos ? 0 : 1 + int(std::count(text.begin(), text.begin() + long(at), '\n'));
    }

    sample::SampleFolder Game;
};

TEST_F(ScriptRuns, StartUpScriptingReachesTheGameAndItsFaultsAreReported)
{
    write("scripts/startup.nut", StartupScript);
    write("scripts/second.nut", SecondScript);
    sample::SRun result = run();
    ASSERT_EQ(result.ExitCode, 0) << result.Stderr;

    std::map<std::string, std::string> seen = report();
    EXPECT_EQ(seen["names"], "119") << "every core_ native is a function of the root table";
    EXPECT_EQ(seen["firstTimer"], "1");
    EXPECT_EQ(seen["cancelled"], "true") << "an interval cancels itself without its id";
    EXPECT_EQ(seen["timeoutRuns"], "1");
    // The timer counts from the start of the frame that made it, a little
    // before the script read the tick.
    EXPECT_GE(std::atoi(seen["waited"].c_str()), 400) << "a timeout runs once its time has passed";
    EXPECT_EQ(seen["debug"], "0") << "$ifdebug lines are comments without Debug";

    // The last file compiled is in the log with its marker, and its top-level
    // code ran once more when the game started.
    std::string compiled = Game.log("last_scriptcomp_error.log");
    std::smatch marker;
    ASSERT_TRUE(std::regex_search(compiled, marker, std::regex("\n\n//FILE\\[([^\\]]*)\\]$"))) << compiled;
    const std::string path = marker[1];
    const bool startupLast = contains(path, "startup.nut");
    ASSERT_TRUE(startupLast || contains(path, "second.nut")) << path;
    std::string expanded = startupLast ? StartupScript : std::regex_replace(SecondScript, std::regex("\\$ifdebug"), "//");
    EXPECT_EQ(compiled, expanded + "\n\n//FILE[" + path + "]");
    EXPECT_EQ(seen["startup"], startupLast ? "3" : "2") << "start-up code, preload, and the run at 500 when last";
    EXPECT_EQ(seen["second"], startupLast ? "1" : "2");

    // Two faults, each reported and answered by itself: the run went on.
    std::vector<std::string> reports = boxes(result.Stderr);
    ASSERT_EQ(reports.size(), 2u) << result.Stderr;
    const std::string& first = reports[0];
    EXPECT_EQ(first.rfind("Error the index 'missingGlobal' does not exist, Calling script code\nwatch();", 0), 0u)
        << first;
    EXPECT_TRUE(contains(first, "\n\nLatest prints:\nfirst print\nsecond print\nbefore the fault\n")) << first;
    EXPECT_TRUE(contains(first, "AN ERROR HAS OCCURED [the index 'missingGlobal' does not exist]")) << first;
    EXPECT_TRUE(contains(first, "CALLSTACK")) << first;
    const std::string frame = "*FUNCTION [faultInStartup()] " + path + " line [" +
                              std::to_string(lineOf(StartupScript, "missingGlobal();")) + "]";
    EXPECT_TRUE(startupLast ? contains(first, frame) : contains(first, "*FUNCTION [faultInStartup()] ")) << first;
    EXPECT_FALSE(contains(first, "Script step description:")) << "no hint was set yet";
    EXPECT_TRUE(contains(first, "\nYes to continue, No to stop")) << first;

    const std::string& second = reports[1];
    EXPECT_TRUE(contains(second, "AN ERROR HAS OCCURED [the index 'missingAtTheEnd' does not exist]")) << second;
    EXPECT_TRUE(contains(second, "\n\nLatest prints:\n...\n")) << "the first report took the earlier prints";
    EXPECT_FALSE(contains(second, "first print")) << second;
    EXPECT_TRUE(contains(second, "\n\nScript step description:\nclosing down")) << second;
    EXPECT_EQ(Game.log("last_scriptcomp_error_alert.log") + "\nYes to continue, No to stop", second)
        << "the alert log holds the latest report";
}

// The start-up file runs first as start-up code, then preloaded like any
// other script: its marked lines mean the same both times.
TEST_F(ScriptRuns, MarkedLinesFollowDebugAndTheFirstLoadInEveryScript)
{
    write("scripts/startup.nut",
          std::string(QuietStartup) +
              "startupRuns <- (\"startupRuns\" in getroottable() ? startupRuns : 0) + 1;\n"
              "firstLoads <- (\"firstLoads\" in getroottable() ? firstLoads : 0);\n"
              "startupDebug <- (\"startupDebug\" in getroottable() ? startupDebug : 0);\n"
              "$ifnotreload firstLoads <- firstLoads + 1;\n"
              "$ifdebug startupDebug <- startupDebug + 1;\n"
              "function report() { return \"second=\" + runsOfSecond + \"\\ndebug=\" + debugLines + \"\\nstartup=\" + "
              "startupRuns + \"\\nfirstLoads=\" + firstLoads + \"\\nstartupDebug=\" + startupDebug + \"\\n\"; }\n");
    write("scripts/second.nut", SecondScript);
    for (const char* debug : {"0", "1"}) {
        SCOPED_TRACE(debug);
        std::filesystem::remove(Game.Root / "report.txt");
        sample::SRun result = run({std::string("Debug=") + debug});
        ASSERT_EQ(result.ExitCode, 0) << result.Stderr;
        EXPECT_EQ(boxes(result.Stderr), std::vector<std::string>{});
        std::map<std::string, std::string> seen = report();
        ASSERT_FALSE(seen["second"].empty());
        EXPECT_EQ(seen["debug"], debug[0] == '1' ? seen["second"] : "0");
        EXPECT_EQ(seen["firstLoads"], seen["startup"]) << "nothing was reloaded";
        EXPECT_EQ(seen["startupDebug"], debug[0] == '1' ? seen["startup"] : "0");
    }
}

TEST_F(ScriptRuns, SyntaxErrorNamesFileLineAndColumnAndLoadingGoesOn)
{
    write("scripts/startup.nut", std::string(QuietStartup) + "function report() { return \"started=1\\n\"; }\n");
    write("scripts/broken.nut", "function fine() {}\nlocal x = ;\n");
    sample::SRun result = run();
    ASSERT_EQ(result.ExitCode, 0) << result.Stderr;
    EXPECT_EQ(report()["started"], "1");
    std::vector<std::string> reports = boxes(result.Stderr);
    ASSERT_FALSE(reports.empty()) << result.Stderr;
    EXPECT_TRUE(std::regex_search(reports[0], std::regex("\n\nLatest prints:\n(.*\n)*\\S*broken\\.nut line = \\(2\\) "
                                                         "column = \\(\\d+\\) : error ")))
        << reports[0];
}

// The script table and typed options of the profile outlive the run.
const char* const ProfileScript =
    "if (!(\"watching\" in getroottable())) {\n"
    "    watching <- true;\n"
    "    core_SetInterval(20, \"watch();\");\n"
    "}\n"
    "function describe(x) {\n"
    "    local arr = \"\";\n"
    "    foreach (v in x.arr) arr += v;\n"
    "    return \"a=\" + x.a + \"\\nf=\" + format(\"%f\", x.f) + \"\\narr=\" + arr + \"\\nbroken=\" + (x.s == \"line\\nbreak\")\n"
    "        + \"\\ncount=\" + typeof core_GetProfileOption(\"count\") + \" \" + core_GetProfileOptionN(\"count\")\n"
    "        + \"\\nhalf=\" + typeof core_GetProfileOption(\"half\") + \" \" + core_GetProfileOptionS(\"half\")\n"
    "        + \"\\nword=\" + typeof core_GetProfileOption(\"word\") + \" \" + core_GetProfileOption(\"word\") + \"\\n\";\n"
    "}\n"
    "function watch() {\n"
    "    if (core_GetGameState() < 500) return;\n"
    "    core_CancelInterval();\n"
    "    local p = core_GetProfileObject(true);\n"
    "    if (\"x\" in p) {\n"
    "        core_SaveFile(\"report.txt\", describe(p.x));\n"
    "    } else {\n"
    "        p.x <- {a = 1, s = \"line\\nbreak\", f = 0.1234567, arr = [3, 1, 2]};\n"
    "        core_SetProfileOption(\"count\", 7);\n"
    "        core_SetProfileOption(\"half\", 1.5);\n"
    "        core_SetProfileOption(\"word\", \"lantern\");\n"
    "        core_SaveProfile();\n"
    "        core_SaveFile(\"report.txt\", \"saved=1\\n\");\n"
    "    }\n"
    "    core_CloseGame();\n"
    "}\n";

TEST_F(ScriptRuns, ProfileScriptTableAndOptionsComeBackOnTheNextRun)
{
    write("scripts/startup.nut", ProfileScript);
    sample::SRun first = run();
    ASSERT_EQ(first.ExitCode, 0) << first.Stderr;
    ASSERT_EQ(report()["saved"], "1");
    std::string profile = Game.profileText();
    EXPECT_TRUE(contains(profile, "\nOptionLong[count]=7\n")) << profile;
    EXPECT_TRUE(contains(profile, "\nOptionDouble[half]=1.50\n")) << profile;
    EXPECT_TRUE(contains(profile, "\nOption[word]=lantern\n")) << profile;
    // The root of the block is the one-key table {x = ...}.
    EXPECT_TRUE(contains(profile, "\n<ScriptSafe>\n<0_type val=\"167772192\"/>\n<0_table>\n\t<0_0_slot>\n\t"
                                  "<1_type val=\"134217744\"/><1_str>x</1_str><2_type val=\"167772192\"/>\n\t<2_table>"))
        << profile;
    EXPECT_TRUE(contains(profile, "\n\t</0_0_slot>\n</0_table><0_table_len val=\"1\"/>\n</ScriptSafe>\n")) << profile;
    EXPECT_TRUE(contains(profile, "</2_table><2_table_len val=\"4\"/>")) << profile;
    EXPECT_TRUE(contains(profile, "_strB64>bGluZQpicmVhaw==</")) << "a text with a line feed is kept as base64";
    EXPECT_TRUE(contains(profile, "_float val=\"0.123457\"/>")) << profile;
    EXPECT_TRUE(std::regex_search(profile, std::regex("<(\\d+)_type val=\"134217792\"/>\n\t\t<\\1_table>")))
        << "the array keeps its own type";

    fs::remove(Game.Root / "report.txt");
    sample::SRun second = run();
    ASSERT_EQ(second.ExitCode, 0) << second.Stderr;
    std::map<std::string, std::string> seen = report();
    EXPECT_EQ(seen["a"], "1");
    EXPECT_EQ(seen["f"], "0.123457");
    EXPECT_EQ(seen["arr"], "312") << "the array keeps its order";
    EXPECT_EQ(seen["broken"], "true") << "the base64 text comes back with its line feed";
    EXPECT_EQ(seen["count"], "integer 7");
    EXPECT_EQ(seen["half"], "float 1.500000");
    EXPECT_EQ(seen["word"], "string lantern");
    EXPECT_EQ(boxes(second.Stderr).size(), 0u) << second.Stderr;
}

// Stored and asked values a game cannot trust: a damaged profile, a table
// holding itself, a prompt and the clipboard with no display.
const char* const RobustScript =
    "if (!(\"watching\" in getroottable())) {\n"
    "    watching <- true;\n"
    "    core_SetInterval(20, \"watch();\");\n"
    "}\n"
    "function watch() {\n"
    "    if (core_GetGameState() < 500) return;\n"
    "    core_CancelInterval();\n"
    "    local p = core_GetProfileObject(true);\n"
    "    local text = \"kept=\" + (\"keep\" in p ? p.keep : \"none\") + \"\\n\";\n"
    "    p.keep <- \"kept\";\n"
    "    p.me <- p;\n"
    "    core_SaveProfile();\n"
    "    text += \"asked=\" + typeof core_AskString(0, \"default answer\") + \"\\n\";\n"
    "    core_SetClipboard(\"clip\");\n"
    "    core_SaveFile(\"report.txt\", text);\n"
    "    core_CloseGame();\n"
    "}\n";

TEST_F(ScriptRuns, DamagedProfileSelfContainingTableAndPromptsNeitherCrashNorHang)
{
    write("scripts/startup.nut", RobustScript);
    fs::create_directories(Game.userFolder());
    sample::writeFile(Game.userFolder() / "pr_VGVzdGVy.ini",
                      "XResolution=800\nYResolution=600\n\n<ScriptSafe>\n<0_type val=\"167772192\"/>\n<0_table>\n"
                      "</0_table><0_table_len val=\"2147483647\"/>\n</ScriptSafe>\n");
    sample::SRun first = run();
    ASSERT_EQ(first.ExitCode, 0) << first.Stderr;
    std::map<std::string, std::string> seen = report();
    EXPECT_EQ(seen["kept"], "none") << "the damaged table was not taken";
    EXPECT_EQ(seen["asked"], "string");
    EXPECT_TRUE(std::regex_search(Game.profileText(), std::regex("<(\\d+)_str>keep</\\1_str>")))
        << Game.profileText();

    fs::remove(Game.Root / "report.txt");
    sample::SRun second = run();
    ASSERT_EQ(second.ExitCode, 0) << second.Stderr;
    EXPECT_EQ(report()["kept"], "kept") << "the table that held itself was saved and read back";
}

} // namespace
