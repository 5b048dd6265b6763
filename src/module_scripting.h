// The script host: loads and compiles script files, runs script code and
// functions by name, caches compiled code and runs the script calls queued
// for the end of the frame.
#pragma once

#include "module_scripting_binding.h"
#include "utils_str.h"

#include <string>
#include <unordered_map>
#include <vector>

class CEngineClient;

// A call waiting for the end of the frame.
struct CScriptCallback {
    CString name;            // a function name or code text
    int hasObject = 0;       // 1 when an object was given
    SquirrelObject object;   // null when none
};

// Stands in for the VM (tests of the engine core): with a runner installed
// the host hands it the code texts and queued calls instead of running them.
class IScriptRunner {
public:
    virtual ~IScriptRunner() = default;
    virtual bool runCode(const char* code) = 0;
    virtual bool callFunction(const char* name) = 0;
};

class CScriptModule {
public:
    // Opens the script VM with the print capture, the path bridge for the io
    // library and the inline-value runner of descriptions.
    CScriptModule();
    ~CScriptModule();
    CScriptModule(const CScriptModule&) = delete;
    CScriptModule& operator=(const CScriptModule&) = delete;

    // The client's bindings first, then the engine's own functions.
    void registerCoreFunctions(CEngineClient* client);

    // --- loading (module_scripting.cpp) ---

    // Reads the file with its includes; on a reload a file holding "$noreload"
    // is skipped.
    void addScriptFile(const char* path, bool reload);
    // The rest of a line after "$ifnotreload" runs on the first load only, after
    // "$ifdebug" only with the Debug option; the markers themselves go.
    static void applyLoadMarkers(CString& text, bool reload);
    // Expands the macros of the script buffer, writes it to
    // "last_scriptcomp_error.log", compiles and runs it.
    void compileScriptBuffer();
    // Every script file of the data folder, then the last one once more.
    void recompileAllScripts(bool reload);
    void recompileAllScripts(bool silent, bool reload) { recompileAllScripts(reload); }
    void clearCodeCache();
    void collectGarbage();
    CString getCallStackText();
    // Shown under "Script step description:" in error reports.
    void setDebugHint(const char* hint) { DebugHint = hint ? hint : ""; }
    const CString& getDebugHint() const { return DebugHint; }

    // --- calls (module_scripting_calls.cpp) ---

    // Code (ends in ";" or holds "(" and ")") runs as code; any other text is
    // the name of a function of the root table, or of the named table, called
    // with the argument. Errors are reported; the result is then null.
    SquirrelObject callPrecompiledMethod(const char* text, SquirrelObject argument, const char* tableName = nullptr);
    // Compiles (through the cache when asked) and runs the code; a pending
    // call with an object is called by name with it instead.
    SquirrelObject callScriptCode(const char* code, const CScriptCallback* pending, bool useCache);
    // The compiled closure, or null after a compile error (reported). A cache
    // hit does not run the code.
    SquirrelObject compileCode(const char* code, bool run, bool useCache, const char* sourceName = nullptr);

    // Appends a call for the end of the frame; a null or empty name is ignored.
    void queueScriptCall(const char* name, const SquirrelObject* object = nullptr);
    // Runs every pending call in order (calls queued meanwhile run in the same
    // pass), then empties the queue.
    void runQueuedCalls();
    // Drops every pending call of exactly that name.
    void removeQueuedCalls(const char* name);
    int getQueuedCount() const { return int(Pending.size()); }
    int getCodeCacheSize() const { return int(CodeCache.size()); }

    // The argument of the running precompiled call (borrowed), or null.
    SquirrelObject* getRelatedObject() const { return Related; }
    void setRelatedObject(SquirrelObject* object) { Related = object; }
    void clearRelatedObject() { Related = nullptr; }

    // Borrowed; null goes back to the VM. Returns the runner installed before.
    IScriptRunner* setRunner(IScriptRunner* runner);

private:
    SquirrelObject* Related = nullptr;   // borrowed from the running call
    CString DebugHint;
    std::unordered_map<std::string, SquirrelObject> CodeCache;   // code text -> compiled closure
    std::vector<CScriptCallback> Pending;                        // in queue order
    IScriptRunner* Runner = nullptr;     // borrowed
    HSQUIRRELVM OwnVm = nullptr;         // the VM this host opened
};
