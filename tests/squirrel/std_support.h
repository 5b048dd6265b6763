// A VM with the standard libraries and a print function that records every print call.
#pragma once

#include "squirrel.h"

#include <string>
#include <vector>

namespace sqstdtest {

class ScriptVm {
public:
    ScriptVm();
    ~ScriptVm();
    ScriptVm(const ScriptVm&) = delete;
    ScriptVm& operator=(const ScriptVm&) = delete;

    HSQUIRRELVM vm() const { return V; }
    // Compiles and runs `source` with the root table as `this` (error raising on). Returns the
    // result converted to text, or "error: <last error>" / "compile error: <last error>".
    std::string run(const std::string& source, const std::string& sourceName = "test.nut");
    // One entry per call of the print function, formatted.
    const std::vector<std::string>& prints() const { return Prints; }
    std::string printed() const;
    void clearPrints() { Prints.clear(); }

private:
    static void print(HSQUIRRELVM v, const SQChar* fmt, ...);
    std::string lastError();
    HSQUIRRELVM V;
    std::vector<std::string> Prints;
};

}  // namespace sqstdtest
