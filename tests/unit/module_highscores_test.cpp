// The high-score table: reading, ranking, inserting, the file text and the seed.
#include "module_highscores.h"

#include "module_userprofile.h"

#include "user_folder_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class HighScoresTest : public UserFolderTest {
protected:
    // A table named "main" read from a user file with this text.
    void loadText(CHighScores& table, const std::string& text)
    {
        App.write("Profile/hiscores.ini", text);
        table.load("main", App.file("Profile/hiscores.ini").c_str());
    }

    std::vector<uint32_t> scores(const CHighScores& table) const
    {
        std::vector<uint32_t> out;
        for (int i = 0; i < CHighScores::EntryCount; ++i)
            out.push_back(table.getEntry(i).Score);
        return out;
    }

    // A table filled through insert with (score, name, time) rows.
    struct Row {
        uint32_t score;
        const char* name;
        uint32_t time;
    };
    void fill(CHighScores& table, const std::vector<Row>& rows)
    {
        loadText(table, "Line0=0;00000000;0;\n");
        for (const Row& row : rows)
            ASSERT_NE(table.insert(row.score, row.name, row.time, 0, nullptr), 0);
    }
};

TEST_F(HighScoresTest, ReadsEntriesFromTheFile)
{
    struct Case {
        const char* text;
        int entry;
        uint8_t flag;
        uint32_t time;
        uint32_t score;
        const char* name;
        const char* internals;
    };
    const Case cases[] = {
        {"Line0=1;000000FF;42;Ann\nLine0_internals=lvl=3\n", 0, 1, 255, 42, "Ann", "lvl=3"},
        {"Line0=0;5F5E1000;-1;Neg\n", 0, 0, 0x5F5E1000u, 0xFFFFFFFFu, "Neg", ""},
        {"Line0=0;00000001;2147483648;Big\n", 0, 0, 1, 0x80000000u, "Big", ""},
        {"Line1=1;00000001;10;Late\n", 1, 0, 0, 0, "", ""},          // no Line0: nothing read
        {"Line0=0;00000001;10;A\nLine2=0;00000001;9;C\n", 2, 0, 0, 0, "", ""},  // stops at Line1
        {"Line0=7;00000001;10;Flagged\n", 0, 1, 1, 10, "Flagged", ""},   // any non-"0" flag is 1
        {"Line0=0;00000001;10;Name;with;semis\r\n", 0, 0, 1, 10, "Name;with;semis", ""},
        {"Line0=0;00000001;10;0123456789012345678901234567890123456789XYZ\n", 0, 0, 1, 10,
         "0123456789012345678901234567890123456789", ""},
        {"Line0=1\n", 0, 1, 0, 0, "", ""},                               // truncated: numbers read 0
        {"Line0=0;zz;;\n", 0, 0, 0, 0, ";;", ""},   // malformed: whatever the parses give
        {"Line0=0;00000001;10;A Line1=0;00000001;99;Fake\n", 1, 0, 0, 0, "", ""},
        {"\xEF\xBB\xBFLine0=1;000000FF;42;Bom\n", 0, 1, 255, 42, "Bom", ""},   // an editor's byte-order mark
        {"Line0=0;100000001;4294967297;Huge\n", 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, "Huge", ""},   // saturated, not wrapped
        {"Line0=0;00000001;-9999999999;Low\n", 0, 0, 1, 0x80000000u, "Low", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CHighScores table;
        loadText(table, c.text);
        const SHighScoreEntry& e = table.getEntry(c.entry);
        EXPECT_EQ(e.Flag, c.flag);
        EXPECT_EQ(e.Time, c.time);
        EXPECT_EQ(e.Score, c.score);
        EXPECT_STREQ(e.Name, c.name);
        EXPECT_STREQ(e.Internals, c.internals);
        EXPECT_FALSE(table.isChanged());
    }
}

TEST_F(HighScoresTest, OverlongInternalsFromTheFileAreCut)
{
    CHighScores table;
    loadText(table, "Line0=0;00000001;10;A\nLine0_internals=" + std::string(5000, 'x') + "\n");
    EXPECT_EQ(table.getEntry(0).Internals.GetLength(), CHighScores::MaxInternalsLength);
}

TEST_F(HighScoresTest, FileTextIsExactAndReadsBackEqual)
{
    CHighScores table;
    loadText(table, "");
    ASSERT_EQ(table.insert(42, "Ann", 255, 1, "lvl=3"), 1);
    EXPECT_FALSE(table.isChanged());   // insert alone does not mark the table
    ASSERT_EQ(table.addEntry(0x80000000u, "Big", 16, nullptr), 1);
    const char* expected =
        "Line0=0;00000010;-2147483648;Big\n"
        "Line1=1;000000FF;42;Ann\n"
        "Line1_internals=lvl=3\n"
        "Line2=0;00000000;0;\n"
        "Line3=0;00000000;0;\n"
        "Line4=0;00000000;0;\n"
        "Line5=0;00000000;0;\n"
        "Line6=0;00000000;0;\n"
        "Line7=0;00000000;0;\n";
    EXPECT_STREQ(table.toText(), expected);
    ASSERT_TRUE(table.save(App.file("Profile/out.ini").c_str()));
    EXPECT_EQ(App.read("Profile/out.ini"), expected);

    CHighScores again;
    again.load("main", App.file("Profile/out.ini").c_str());
    for (int i = 0; i < CHighScores::EntryCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(again.getEntry(i).Score, table.getEntry(i).Score);
        EXPECT_EQ(again.getEntry(i).Time, table.getEntry(i).Time);
        EXPECT_EQ(again.getEntry(i).Flag, table.getEntry(i).Flag);
        EXPECT_STREQ(again.getEntry(i).Name, table.getEntry(i).Name);
        EXPECT_STREQ(again.getEntry(i).Internals, table.getEntry(i).Internals);
    }
}

TEST_F(HighScoresTest, RankingAndInsertion)
{
    CHighScores table;
    fill(table, {{500, "a", 1}, {300, "b", 2}, {100, "c", 3}});
    EXPECT_EQ(table.getRank(300), 2);   // ties go below
    EXPECT_EQ(table.getRank(301), 1);
    EXPECT_EQ(table.getRank(0), CHighScores::EntryCount);
    EXPECT_EQ(table.insert(300, "d", 4, 0, nullptr), 3);
    EXPECT_EQ(scores(table), (std::vector<uint32_t>{500, 300, 300, 100, 0, 0, 0, 0}));
    EXPECT_STREQ(table.getEntry(2).Name, "d");

    EXPECT_EQ(table.insert(0, "e", 5, 0, nullptr), 0);
    EXPECT_EQ(table.insert(300, "other", 4, 0, nullptr), 0);   // same score and time
    // Same name and time: the old entry goes, wherever the new score lands.
    EXPECT_EQ(table.insert(50, "d", 4, 0, nullptr), 4);
    EXPECT_EQ(scores(table), (std::vector<uint32_t>{500, 300, 100, 50, 0, 0, 0, 0}));
    EXPECT_EQ(table.insert(900, "c", 3, 0, nullptr), 1);
    EXPECT_EQ(scores(table), (std::vector<uint32_t>{900, 500, 300, 50, 0, 0, 0, 0}));
}

TEST_F(HighScoresTest, FullTableDropsTheLowest)
{
    CHighScores table;
    fill(table, {{400, "a", 1}, {350, "b", 2}, {300, "c", 3}, {250, "d", 4},
                 {200, "e", 5}, {150, "f", 6}, {100, "g", 7}, {50, "h", 8}});
    EXPECT_EQ(table.getRank(50), CHighScores::EntryCount);
    EXPECT_EQ(table.insert(50, "x", 9, 0, nullptr), 0);
    EXPECT_EQ(table.insert(51, "x", 9, 0, nullptr), 8);
    EXPECT_EQ(scores(table), (std::vector<uint32_t>{400, 350, 300, 250, 200, 150, 100, 51}));
    // Unsigned comparison: a "negative" score is the best.
    EXPECT_EQ(table.insert(0xFFFFFFFFu, "top", 10, 0, nullptr), 1);
    EXPECT_EQ(table.getEntry(7).Score, 100u);
}

TEST_F(HighScoresTest, SaveWritesOnlyAfterAChange)
{
    CHighScores table;
    loadText(table, "Line0=0;00000001;10;A\n");
    const std::string out = App.file("Profile/saved.ini");
    EXPECT_FALSE(table.save(out.c_str()));
    EXPECT_FALSE(App.exists("Profile/saved.ini"));
    EXPECT_EQ(table.addEntry(20, "B", 0, nullptr), 1);
    EXPECT_NE(table.getEntry(0).Time, 0u);   // 0 means now
    EXPECT_TRUE(table.isChanged());
    ASSERT_TRUE(table.save(out.c_str()));
    EXPECT_FALSE(table.isChanged());
    std::string text = App.read("Profile/saved.ini");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);
    EXPECT_FALSE(table.save(out.c_str()));
    EXPECT_EQ(table.addEntry(1, "C", 5, nullptr), 3);
    EXPECT_EQ(table.addEntry(1, "D", 5, nullptr), 0);   // refused: no change
}

TEST_F(HighScoresTest, MissingFileWritesTheSeedAndStaysUnchanged)
{
    App.write("hiscores.ini", "Line0=0;00000001;77;Seed\n");
    CHighScores table;
    table.load("main", App.file("Profile/none.ini").c_str());
    EXPECT_EQ(App.read("Profile/hiscores_main.ini"), "Line0=0;00000001;77;Seed\n");
    EXPECT_EQ(table.getEntry(0).Score, 0u);   // the original path is read again, still missing
    EXPECT_FALSE(table.isChanged());
}

TEST_F(HighScoresTest, LineBreaksAndLengthsCannotBreakTheFile)
{
    CHighScores table;
    loadText(table, "");
    std::string longName(60, 'n');
    ASSERT_EQ(table.insert(30, "Evil\nLine0=1;0;999;x", 1, 0, "a\r\nLine1=0;0;1;y"), 1);
    ASSERT_EQ(table.insert(20, longName.c_str(), 2, 0, std::string(2000, 'i').c_str()), 2);
    EXPECT_EQ(table.getEntry(1).Name.GetLength(), CHighScores::MaxNameLength);
    EXPECT_EQ(table.getEntry(1).Internals.GetLength(), CHighScores::MaxInternalsLength);
    table.addEntry(10, "z", 3, nullptr);
    ASSERT_TRUE(table.save(App.file("Profile/hiscores.ini").c_str()));

    CHighScores again;
    again.load("main", App.file("Profile/hiscores.ini").c_str());
    EXPECT_EQ(scores(again), (std::vector<uint32_t>{30, 20, 10, 0, 0, 0, 0, 0}));
    EXPECT_STREQ(again.getEntry(0).Name, "Evil Line0=1;0;999;x");
    EXPECT_STREQ(again.getEntry(0).Internals, "a  Line1=0;0;1;y");
}

TEST_F(HighScoresTest, AnUnnamedTableRefusesChanges)
{
    CHighScores table;
    EXPECT_EQ(table.insert(10, "a", 1, 0, nullptr), 0);
    EXPECT_EQ(table.addEntry(10, "a", 1, nullptr), 0);
    EXPECT_FALSE(table.save(App.file("Profile/x.ini").c_str()));
    EXPECT_FALSE(App.exists("Profile/x.ini"));
}

TEST_F(HighScoresTest, OptionsLoadTheMainTableAndSaveItWhenChanged)
{
    App.write("hiscores.ini", "Line0=0;00000001;70;FromApp\n");
    {
        CUserProfileModule options;
        options.loadGameOptions();
        EXPECT_STREQ(options.HighScores.getTableName(), "main");
        EXPECT_EQ(options.HighScores.getEntry(0).Score, 70u);
        options.saveGameOptions();
        EXPECT_FALSE(App.exists("Profile/hiscores.ini"));
        options.HighScores.addEntry(90, "New", 2, nullptr);
        options.saveGameOptions();
    }
    CUserProfileModule options;
    options.loadGameOptions();   // the user folder's table now wins
    EXPECT_EQ(options.HighScores.getEntry(0).Score, 90u);
    EXPECT_EQ(options.HighScores.getEntry(1).Score, 70u);
}

}  // namespace
