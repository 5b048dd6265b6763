// A program folder of its own, with a "Profile" folder that becomes the user
// folder, also the log folder; the program named /opt/game/game with no
// arguments (tests). QuietScriptTest adds a VM whose prints are swallowed.
#pragma once

#include "module_scripting_binding.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <gtest/gtest.h>

#include <filesystem>

class UserFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(App.file("Profile"));
        SetAppFolder(App.path().c_str());
        ResetUserFolder();
        SetLogFolder(App.path().c_str());
        const char* args[] = {"/opt/game/game"};
        SetCommandLineArgs(1, args);
    }
    void TearDown() override
    {
        ResetUserFolder();
        SetAppFolder(nullptr);
        SetLogFolder(nullptr);
    }

    CTempFolder App;
};

inline void SilentScriptPrint(HSQUIRRELVM, const SQChar*, ...) {}

class QuietScriptTest : public UserFolderTest {
protected:
    void SetUp() override
    {
        UserFolderTest::SetUp();
        SquirrelVM::Init();
        sq_setprintfunc(SquirrelVM::GetVMPtr(), SilentScriptPrint);
    }
    void TearDown() override
    {
        SquirrelVM::Shutdown();
        UserFolderTest::TearDown();
    }
    static SquirrelObject run(const char* code)
    {
        return SquirrelVM::RunScript(SquirrelVM::CompileBuffer(code, "test"));
    }
};
