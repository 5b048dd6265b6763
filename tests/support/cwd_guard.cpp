// Irrlicht's file system changes the process working directory, and many
// tests mount folders that are deleted when the test ends. Each test gets
// back the working directory it started with, so a later test never runs
// inside a folder that no longer exists.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

std::string CurrentDirectory()
{
    char buffer[4096];
    return getcwd(buffer, sizeof(buffer)) ? std::string(buffer) : std::string();
}

class CWorkingDirectoryGuard : public ::testing::EmptyTestEventListener
{
public:
    void OnTestStart(const ::testing::TestInfo&) override { Start = CurrentDirectory(); }

    void OnTestEnd(const ::testing::TestInfo&) override
    {
        if (Start.empty() || CurrentDirectory() == Start)
            return;
        if (chdir(Start.c_str()) != 0)
            perror("restoring the working directory");
    }

private:
    std::string Start;
};

const bool Registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new CWorkingDirectoryGuard);
    return true;
}();

} // namespace
