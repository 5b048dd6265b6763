// Script timers: once, repeating, cancelled from inside and outside, with an
// argument table, with the node's table exported and imported, start and
// finish codes, and the ids scripts see.
#include "module_scripting_core.h"

#include "script_natives_fixture.h"

#include "node_sprite.h"
#include "node_utilities.h"

#include <ISceneManager.h>

#include <iterator>
#include <string>

using namespace irr;

namespace {

class ScriptTimers : public ScriptNatives {
protected:
    void SetUp() override
    {
        ScriptNatives::SetUp();
        ResetScriptTimerIds();
        Root = addNode("pole");
        Engine.RootNode = Root;
    }
    void TearDown() override
    {
        Engine.RootNode = nullptr;
        ScriptNatives::TearDown();
    }
    int logCount(const char* what)
    {
        return run((std::string("return count(\"") + what + "\");").c_str()).ToInteger();
    }
    bool hasBox(const char* part) const
    {
        for (const SRecordedBox& box : Boxes.Boxes)
            if (box.Text.find(part) != std::string::npos)
                return true;
        return false;
    }

    CProbeNode* Root = nullptr;
};

TEST_F(ScriptTimers, OnceRepeatingCancelledAndWithAnArgument)
{
    runScriptFile("natives_timers");
    ASSERT_TRUE(Failures.empty()) << ::testing::PrintToString(Failures);
    for (u32 t : {1000u, 1200u, 1400u, 1600u})
        frame(t);
    EXPECT_EQ(logCount("interval"), 4);
    EXPECT_EQ(logCount("timeout"), 1) << "once, at the first update 500 ms on";
    EXPECT_EQ(logCount("self"), 1) << "cancelled by its own code";
    EXPECT_EQ(logCount("arg 7"), 1);
    EXPECT_TRUE(run("return relatedInTimer == null;").ToBool()) << "a timer without an argument has no related object";
    EXPECT_TRUE(Failures.empty()) << ::testing::PrintToString(Failures);

    EXPECT_TRUE(run("return core_CancelInterval(intervalId);").ToBool());
    frame(1800);
    frame(2000);
    EXPECT_EQ(logCount("interval"), 4);
    EXPECT_FALSE(run("return core_CancelInterval(intervalId);").ToBool()) << "gone after its removal";
    EXPECT_EQ(findScriptTimer(0), nullptr);
    EXPECT_EQ(Root->getAnimators().getSize(), 0u);
    EXPECT_EQ(run("return core_SetTimeout(10, \"\");").ToInteger(), 6) << "ids are not reused";
}

TEST_F(ScriptTimers, CancelOutsideAnyTimerAlertsAndFails)
{
    EXPECT_FALSE(run("return core_CancelInterval();").ToBool());
    EXPECT_TRUE(hasBox("CancelInterval error: no default animator found!!!"));
    EXPECT_TRUE(hasBox("src\\module_scripting_core"));
}

TEST_F(ScriptTimers, ExportedTableMovesTheNode)
{
    CSpriteNode* sprite = new CSpriteNode(Root, Smgr, -1, core::vector3df(1, 2, 3), core::dimension2df(1, 1));
    sprite->drop();
    sprite->setIDFromName("mover");
    run("function moveIt(t) { seenX <- t._x; t._x += 5; }");
    int id = run("return core_SetIntervalLocal(\"mover\", 0, \"moveIt\");").ToInteger();
    ASSERT_GT(id, 0);
    CScriptTimerAnimator* timer = findScriptTimer(id - 1);
    ASSERT_NE(timer, nullptr);
    timer->ExportNodeTable = 1;
    frame(1000);
    EXPECT_FLOAT_EQ(run("return seenX;").ToFloat(), 1.0f);
    EXPECT_FLOAT_EQ(sprite->getPosition().X, 6.0f);
    frame(1010);
    EXPECT_FLOAT_EQ(sprite->getPosition().X, 11.0f);
    EXPECT_FALSE(timer->getArgument().Exists("_id")) << "IDs only once a start code ran";
}

TEST_F(ScriptTimers, StartAndFinishCodes)
{
    run("events <- []; function note(what) { events.append(what); }");
    CScriptTimerAnimator* now = new CScriptTimerAnimator("note(\"start now\");", nullptr, "note(\"finish\");", true);
    EXPECT_EQ(run("return events.len();").ToInteger(), 1) << "run now: the start code ran in the constructor";
    attachAnimator(Root, now);
    EXPECT_EQ(now->getDiscretion(), CBaseAnimator::PassiveDiscretion) << "only the finish code is left";

    CScriptTimerAnimator* later = new CScriptTimerAnimator("note(\"start later\");", nullptr, nullptr, false);
    attachAnimator(Root, later);
    frame(1000);
    frame(1100);
    EXPECT_EQ(run("return events.len();").ToInteger(), 2) << "a start code runs once";
    EXPECT_EQ(Root->getAnimators().getSize(), 1u) << "nothing left to run: the timer removed itself";

    removeAnimator(now);   // the queued removal finishes it
    frame(1200);
    SquirrelObject events = run("return events;");
    ASSERT_EQ(run("return events.len();").ToInteger(), 3);
    EXPECT_STREQ(events.GetString(SQInteger(0)), "start now");
    EXPECT_STREQ(events.GetString(SQInteger(1)), "start later");
    EXPECT_STREQ(events.GetString(SQInteger(2)), "finish");
}

TEST_F(ScriptTimers, TimeoutOnAnotherTimeBase)
{
    run("hits <- 0;");
    int id = run("return core_SetTimeout(300, \"++hits;\");").ToInteger();
    EXPECT_TRUE(run(("return core_SetIntervalTimer(" + std::to_string(id) + ", 0);").c_str()).ToBool());
    frame(1000);
    frame(1200);
    EXPECT_EQ(run("return hits;").ToInteger(), 0);
    frame(1300);
    EXPECT_EQ(run("return hits;").ToInteger(), 1);
    frame(1700);
    EXPECT_EQ(run("return hits;").ToInteger(), 1);

    // 65535 is the interval of animators that never tick, but as a period it is a time.
    run("longHits <- 0; longOnce <- 0; core_SetInterval(65535, \"++longHits;\"); "
        "core_SetTimeout(65535, \"++longOnce;\");");
    for (u32 t : {2000u, 67600u, 133200u})
        frame(t);
    EXPECT_EQ(run("return longHits;").ToInteger(), 3);
    EXPECT_EQ(run("return longOnce;").ToInteger(), 1);
}

// Only a negative period means every update; one beyond the integer range,
// which the plain conversion would make the lowest integer, is the longest.
TEST_F(ScriptTimers, PeriodsBelowZeroAndBeyondTheIntegerRange)
{
    const struct {
        const char* period;
        int timeouts, intervals;   // runs over four updates, the last a day on
    } rows[] = {
        {"-5", 1, 4},
        {"-0.5", 1, 4},
        {"-3000000000.0", 1, 4},
        {"-1.0e20", 1, 4},
        {"2147483647", 0, 1},
        {"3000000000.0", 0, 1},
        {"1.0e20", 0, 1},
        {"1.0e300 * 1.0e300", 0, 1},
        {"1.0e300 * 1.0e300 * 0.0", 0, 1},
    };
    std::string code;
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::string n = std::to_string(i);
        code += "t" + n + " <- 0; i" + n + " <- 0;";
        code += "core_SetTimeout(" + std::string(rows[i].period) + ", \"++t" + n + ";\");";
        code += "core_SetInterval(" + std::string(rows[i].period) + ", \"++i" + n + ";\");";
    }
    run(code.c_str());
    for (u32 t : {1000u, 1100u, 1200u, 1000u + 86400000u})
        frame(t);
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(run(("return t" + n + ";").c_str()).ToInteger(), rows[i].timeouts) << rows[i].period;
        EXPECT_EQ(run(("return i" + n + ";").c_str()).ToInteger(), rows[i].intervals) << rows[i].period;
    }
}

}  // namespace
