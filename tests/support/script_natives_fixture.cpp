// The script natives fixture.
#include "script_natives_fixture.h"

#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_fs_bridge.h"

#include <filesystem>
#include <fstream>
#include <sstream>

std::vector<std::string> ScriptNatives::Failures;
std::vector<std::string> ScriptNatives::Asserts;
int ScriptNatives::Checks = 0;

namespace {

SQInteger nativeCheck(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    ++ScriptNatives::Checks;
    SquirrelObject condition;
    condition.AttachToStackObject(2);
    if (!condition.ToBool())
        ScriptNatives::Failures.push_back(sa.GetString(3) ? sa.GetString(3) : "(no text)");
    return 0;
}

void recordAssert(const char*, int, const char* expr)
{
    ScriptNatives::Asserts.push_back(expr ? expr : "");
}

AssertHook g_previousAssertHook = nullptr;

}  // namespace

void ScriptNatives::SetUp()
{
    NullScene::SetUp();
    Failures.clear();
    Asserts.clear();
    Checks = 0;
    std::filesystem::create_directories(Folder.path() + "app/data");
    SetAppFolder((Folder.path() + "app/").c_str());
    SetLogFolder(Folder.path().c_str());
    ClearTextFileCache();
    g_previousAssertHook = SetAssertHook(recordAssert);
    for (int i = 0; i < 16; ++i)
        Boxes.answerNext(IDYES);   // "No" on an error box would end the test program
    Engine.getScripts()->registerCoreFunctions(nullptr);
    SquirrelVM::CreateFunctionGlobal(nativeCheck, "check", "*");
}

void ScriptNatives::TearDown()
{
    SetAssertHook(g_previousAssertHook);
    ClearTextFileCache();
    SetAppFolder(nullptr);
    SetLogFolder(nullptr);
    ClearNativePathCache();
    NullScene::TearDown();
}

SquirrelObject ScriptNatives::run(const char* code)
{
    return Engine.getScripts()->callScriptCode(code, nullptr, false);
}

void ScriptNatives::runScriptFile(const char* name)
{
    // This file lies in tests/support; the scripts in tests/unit/scripts.
    std::filesystem::path file = std::filesystem::path(__FILE__).parent_path().parent_path() / "unit" / "scripts";
    std::ifstream in(file / (std::string(name) + ".nut"), std::ios::binary);
    ASSERT_TRUE(in.good()) << name;
    std::stringstream text;
    text << in.rdbuf();
    Engine.getScripts()->compileCode(text.str().c_str(), true, false, name);
}
