// The system library: environment, time and date tables, file removal and renaming.
#include "std_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <string>

namespace {

using sqstdtest::ScriptVm;

TEST(StdSystem, GetenvReadsTheEnvironment)
{
    ScriptVm vm;
    setenv("SQSTD_TEST_VALUE", "forty two", 1);
    unsetenv("SQSTD_TEST_UNSET");
    EXPECT_EQ(vm.run("return getenv(\"SQSTD_TEST_VALUE\");"), "forty two");
    EXPECT_EQ(vm.run("return getenv(\"SQSTD_TEST_UNSET\") == null;"), "true");
}

TEST(StdSystem, DateGivesTheTableOfTheOriginal)
{
    ScriptVm vm;
    EXPECT_EQ(vm.run("local d = date(0, 'u');\n"
                     "return d.year + \"-\" + d.month + \"-\" + d.day + \" \" + d.hour + \":\" + d.min + \":\" + d.sec"
                     " + \" w\" + d.wday + \" y\" + d.yday;"),
              "1970-0-1 0:0:0 w4 y0");
    EXPECT_EQ(vm.run("local d = date(951782400 + 86399, 'u');\n"
                     "return d.year + \"-\" + d.month + \"-\" + d.day + \" \" + d.hour + \":\" + d.min + \":\" + d.sec"
                     " + \" w\" + d.wday + \" y\" + d.yday;"),
              "2000-1-29 23:59:59 w2 y59");
    EXPECT_EQ(vm.run("return typeof date().year;"), "integer");
}

TEST(StdSystem, TimeAndClock)
{
    ScriptVm vm;
    long before = long(std::time(nullptr));
    long scriptTime = std::atol(vm.run("return time();").c_str());
    EXPECT_GE(scriptTime, before);
    EXPECT_LE(scriptTime, before + 5);
    EXPECT_EQ(vm.run("return typeof clock() + \" \" + (clock() >= 0);"), "float true");
}

TEST(StdSystem, RemoveAndRenameReportFailures)
{
    ScriptVm vm;
    std::string pattern = (std::filesystem::temp_directory_path() / "sqstd_sys_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    std::string dir = pattern;
    std::FILE* f = std::fopen((dir + "/a.txt").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(vm.run("rename(\"" + dir + "/a.txt\", \"" + dir + "/b.txt\"); return 1;"), "1");
    EXPECT_EQ(vm.run("rename(\"" + dir + "/a.txt\", \"" + dir + "/c.txt\");"), "error: rename() failed");
    EXPECT_EQ(vm.run("remove(\"" + dir + "/b.txt\"); return 1;"), "1");
    EXPECT_EQ(vm.run("remove(\"" + dir + "/b.txt\");"), "error: remove() failed");
    EXPECT_EQ(vm.run("return system(\"exit 0\");"), "0");
    EXPECT_EQ(vm.run("system(5);"), "error: wrong param");
    rmdir(pattern.c_str());
}

}  // namespace
