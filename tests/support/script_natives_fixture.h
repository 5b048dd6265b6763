// An engine on the null driver with the engine's natives registered, a data
// folder of its own and recorders for boxes and assertions; runs script code
// and the .nut files of tests/unit/scripts (tests).
#pragma once

#include "msgbox_recorder.h"
#include "null_scene.h"
#include "temp_folder.h"

#include <string>
#include <vector>

class ScriptNatives : public NullScene {
protected:
    void SetUp() override;
    void TearDown() override;

    // Compiles and runs the code without the cache; null after an error.
    SquirrelObject run(const char* code);
    // Runs tests/unit/scripts/<name>.nut. Inside it, check(condition, text)
    // records the text of every failed condition in Failures.
    void runScriptFile(const char* name);
    void writeData(const std::string& name, const std::string& text) { Folder.write("app/data/" + name, text); }
    std::string dataPath(const std::string& name) const { return Folder.path() + "app/data/" + name; }

    CTempFolder Folder;
    CMessageBoxRecorder Boxes;

public:
    static std::vector<std::string> Failures;
    static std::vector<std::string> Asserts;   // the expressions of failed engine checks
    static int Checks;
};
