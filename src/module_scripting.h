// The script host: runs script code and the script calls queued for the end
// of the frame.
#pragma once

#include "utils_str.h"

#include <vector>

class CEngineClient;

// Where script code runs. The host passes every text to the installed
// runner; without one the text is logged and dropped.
class IScriptRunner {
public:
    virtual ~IScriptRunner() = default;
    virtual bool runCode(const char* code) = 0;
    virtual bool callFunction(const char* name) = 0;
};

class CScriptModule {
public:
    CScriptModule();
    ~CScriptModule();
    CScriptModule(const CScriptModule&) = delete;
    CScriptModule& operator=(const CScriptModule&) = delete;

    // The client's bindings first, then the engine's own functions.
    void registerCoreFunctions(CEngineClient* client);

    // Compiles and runs the code; errors are reported by the host.
    bool callScriptCode(const char* code, void* pending, bool useCache);

    // Appends a call for the end of the frame; a null or empty name is ignored.
    void queueScriptCall(const char* name);
    // Runs every pending call in order, then empties the queue.
    void runQueuedCalls();
    // Drops every pending call of that name.
    void removeQueuedCalls(const char* name);
    int getQueuedCount() const { return int(Queued.size()); }

    // Borrowed; null goes back to none. Returns the runner installed before.
    IScriptRunner* setRunner(IScriptRunner* runner);

private:
    std::vector<CString> Queued;      // pending call names, in order
    IScriptRunner* Runner = nullptr;  // borrowed
};
