// A game client that records what the engine asks of it (tests).
#pragma once

#include "module_enginebase.h"

#include "clock.h"

#include <functional>
#include <string>
#include <vector>

class CFakeEngineClient : public CEngineClient {
public:
    void onInit() override { Calls.push_back("init"); }
    void onShutdown() override { Calls.push_back("shutdown"); }
    void onFrame() override
    {
        Calls.push_back("frame");
        if (OnFrame)
            OnFrame();
    }
    void onGameStateChanged(int state) override { States.push_back(state); }
    float getTimerSpeed(int timer) override { return timer == 1 ? GameTimerSpeed : 1.0f; }
    void registerScriptBindings() override { Calls.push_back("bindings"); }
    CTextEffect* createTextEffect(const char* effectText) override { return nullptr; }

    std::vector<std::string> Calls;
    std::vector<int> States;
    float GameTimerSpeed = 1.0f;
    std::function<void()> OnFrame;
};

// A script runner that records what the host runs.
class CRecordingScriptRunner : public IScriptRunner {
public:
    bool runCode(const char* code) override { Code.push_back(code); return true; }
    bool callFunction(const char* name) override
    {
        Functions.push_back(name);
        if (OnCall)
            OnCall(name);
        return true;
    }

    std::vector<std::string> Code;
    std::vector<std::string> Functions;
    std::function<void(const char*)> OnCall;
};

// A clock on which yielding also lets a millisecond pass, as it would on a
// real machine; sleeps are recorded.
class CYieldingClock : public platform::IClock {
public:
    explicit CYieldingClock(uint64_t startMs = 5000);
    ~CYieldingClock() override;
    CYieldingClock(const CYieldingClock&) = delete;
    CYieldingClock& operator=(const CYieldingClock&) = delete;

    uint64_t nowMs() override { return NowMs; }
    void sleepMs(uint32_t ms) override
    {
        Sleeps.push_back(ms);
        NowMs += ms ? ms : 1;
    }

    uint64_t NowMs;
    std::vector<uint32_t> Sleeps;

private:
    platform::IClock* Previous;
};
