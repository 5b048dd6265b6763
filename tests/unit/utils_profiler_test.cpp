// The profiler: scope timing into the tables, the report table and its file.
#include "utils_debug.h"

#include "fake_clock.h"
#include "msgbox_recorder.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

const char* const ReportHead = "\n\nAnti-hitparad:\n";
const std::string ReportTail =
    "\n\n--\n\xD5\xE8\xF2 \xEF\xE0\xF0\xE0\xE4 \xE0\xED\xE8\xEC\xE0\xF2\xEE\xF0\xEE\xE2: the end\n\n";

class ProfilerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ClearProfilerStats();
        SetLogFolder(Folder.path().c_str());
    }
    void TearDown() override
    {
        ClearProfilerStats();
        SetLogFolder(nullptr);
        platform::ForgetMainThread();
    }

    // A section of the given length under the place.
    void timeSection(const char* place, int line, uint32_t ms, const char* detail = nullptr)
    {
        if (detail) {
            CProfilerScope scope(place, line, detail);
            Clock.advance(ms);
        } else {
            CProfilerScope scope(place, line);
            Clock.advance(ms);
        }
    }

    static std::string report() { return (const char*)GetProfilerReport(); }

    CFakeClock Clock;
    CTempFolder Folder;
    CMessageBoxRecorder Boxes;
};

} // namespace

TEST_F(ProfilerTest, ReportLinesCarryMaximumTotalCountAndMean)
{
    for (uint32_t ms : {5u, 9u, 4u})
        timeSection("RENDER NODES|render.cpp", 12, ms);
    timeSection("READFILE|files.cpp", 40, 0);   // within one millisecond
    std::string text = report();
    EXPECT_EQ(text.rfind(ReportHead, 0), 0u);
    EXPECT_NE(text.find("max=00009\ttotal=00018\tcount=00003\tmid=6.000000\tRENDER NODES|render.cpp:12\n"),
              std::string::npos) << text;
    EXPECT_NE(text.find("max=00000\ttotal=00000\tcount=00001\tmid=0.000000\tREADFILE|files.cpp:40\n"),
              std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - ReportTail.size()), ReportTail);
}

TEST_F(ProfilerTest, AReportEmptiesTheTables)
{
    timeSection("A|a.cpp", 1, 3, "x");
    report();
    EXPECT_EQ(report(), std::string(ReportHead) + "\n--\n\n" + ReportTail);
}

TEST_F(ProfilerTest, DetailsLeaveNotesOnlyForTimedCalls)
{
    timeSection("READFILE|cache.cpp", 7, 2, "a.spr");
    timeSection("READFILE|cache.cpp", 7, 0, "fast.spr");   // no time, no note
    timeSection("READFILE|cache.cpp", 7, 11, "b.spr");
    SetProfilerNote("game:1", "set by hand");
    std::string text = report();
    EXPECT_NE(text.find("\nREADFILE|cache.cpp:7: '\n'a.spr': 2\n'b.spr': 11'"), std::string::npos) << text;
    EXPECT_NE(text.find("\ngame:1: 'set by hand'"), std::string::npos) << text;
    EXPECT_EQ(text.find("fast.spr"), std::string::npos);
}

TEST_F(ProfilerTest, ExcerptNotesKeepTheTextsStart)
{
    const std::string longCode(60, 'c');
    std::string changing = "short();";
    SProfilerSite site("SCRIPT|calls.cpp", 3);
    {
        CProfilerScope scope(site, longCode.c_str(), 50);
        Clock.advance(4);
    }
    {
        CProfilerScope scope(site, "quick();", 50);   // no time, no note
    }
    {
        CProfilerScope scope(site, changing.c_str(), 50);
        changing = "overwritten while the scope runs";
        Clock.advance(1);
    }
    {
        CProfilerScope scope(site, nullptr, 50);
        Clock.advance(2);
    }
    std::string text = report();
    EXPECT_NE(text.find("\nSCRIPT|calls.cpp:3: '\n'" + std::string(50, 'c') + "...': 4\n'short();...': 1\n'...': 2'"),
              std::string::npos) << text;
    EXPECT_EQ(text.find("quick"), std::string::npos);
    EXPECT_NE(text.find("count=00004\tmid=1.750000\tSCRIPT|calls.cpp:3\n"), std::string::npos) << text;
}

TEST_F(ProfilerTest, PlacesLoseTheEngineSourceFolder)
{
    std::string testFile = __FILE__;
    std::string sourceFolder = testFile.substr(0, testFile.rfind("tests/unit/")) + "src/";
    timeSection(("ADDSPR-READSPR|" + sourceFolder + "node_factory.cpp").c_str(), 88, 1);
    int line, untaggedLine;
    {
        ENGINE_PROFILE("ADDSPR");   // tag, bar, this file, this line
        line = __LINE__ - 1;
        Clock.advance(2);
    }
    {
        ENGINE_PROFILE("");   // no tag: the bare file and line
        untaggedLine = __LINE__ - 1;
    }
    std::string text = report();
    EXPECT_NE(text.find("\tADDSPR-READSPR|node_factory.cpp:88\n"), std::string::npos) << text;
    // outside the engine's sources the folder stays
    EXPECT_NE(text.find("max=00002\ttotal=00002\tcount=00001\tmid=2.000000\tADDSPR|" + testFile + ":" +
                        std::to_string(line) + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\t" + testFile + ":" + std::to_string(untaggedLine) + "\n"), std::string::npos) << text;
}

TEST_F(ProfilerTest, LogFileNameIsMadeSafe)
{
    timeSection("A|a.cpp", 1, 1);
    WriteProfilerLog("_07.12.2026_09:08:54");
    std::string text = Folder.read("last_anihitparad_07_12_2026_09_08_54.log");
    EXPECT_NE(text.find("count=00001"), std::string::npos) << text;
    WriteProfilerLog("");
    EXPECT_EQ(Folder.read("last_anihitparad.log").find("count="), std::string::npos);
}

TEST_F(ProfilerTest, TheDebugLogTimesItself)
{
    DebugLog("one");
    DebugLog("two", "x.cpp", 3);
    std::string text = report();
    std::size_t at = text.find("\tutils_debug.cpp:");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_NE(text.rfind("count=00002", at), std::string::npos) << text;
}

using ProfilerDeathTest = ProfilerTest;

TEST_F(ProfilerDeathTest, ScopeEndingOnAnotherThreadStopsTheProgram)
{
    EXPECT_EXIT(
        {
            platform::RecordMainThread();
            std::thread other([] { CProfilerScope scope("ALT|alt.cpp", 1); });
            other.join();
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ(Folder.read("last_scriptcomp_error_alert.log"), "Thread-unsafe method is called from altthread!!!");
}
