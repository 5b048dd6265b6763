#include "module_scripting_binding.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <string>

namespace {

// Swallows the VM's prints and error reports so that test output stays readable.
void silentPrint(HSQUIRRELVM, const SQChar*, ...) {}

class Binding : public ::testing::Test {
protected:
    void SetUp() override
    {
        SquirrelVM::Init();
        sq_setprintfunc(vm(), silentPrint);
    }
    void TearDown() override { SquirrelVM::Shutdown(); }

    static HSQUIRRELVM vm() { return SquirrelVM::GetVMPtr(); }

    SquirrelObject run(const char* code)
    {
        return SquirrelVM::RunScript(SquirrelVM::CompileBuffer(code, "test"));
    }

    // The error text of running the code, or "" when it ran.
    std::string runError(const char* code)
    {
        try {
            run(code);
        } catch (const SquirrelError& e) {
            return (const char*)e.desc;
        }
        return "";
    }
};

SQInteger nativeEcho(HSQUIRRELVM v)
{
    StackHandler sa(v);
    std::string text = std::string(sa.GetString(2) ? sa.GetString(2) : "(none)");
    return sa.Return((text + "!").c_str());
}

SQInteger nativeCount(HSQUIRRELVM v)
{
    StackHandler sa(v);
    return sa.Return(sa.GetParamCount());
}

SQInteger nativeThrows(HSQUIRRELVM v)
{
    throw SquirrelError("bad thing");
}

SQInteger nativeThrowsStd(HSQUIRRELVM v)
{
    throw std::runtime_error("std failure");
}

std::string maskOf(size_t length) { return std::string(length, 's'); }

}  // namespace

TEST_F(Binding, TypeWordsOfMadeObjects)
{
    run("class Probe {}");
    const struct { SquirrelObject object; unsigned word; } cases[] = {
        {SquirrelObject(), 16777217u},
        {SqMakeObject(SQInteger(5)), 83886082u},
        {SqMakeObject(SQFloat(1.5f)), 83886084u},
        {SqMakeObject(true), 16777224u},
        {SqMakeObject("text"), 134217744u},
        {SquirrelVM::CreateTable(), 167772192u},
        {SquirrelVM::CreateArray(2), 134217792u},
        {SquirrelVM::GetRootTable().GetValue("Probe"), 134234112u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(unsigned(c.object.GetType()), c.word);
    EXPECT_STREQ(SqMakeObject("text").ToString(), "text");
    EXPECT_EQ(SqMakeObject(SQInteger(-7)).ToInteger(), -7);
    EXPECT_FLOAT_EQ(SqMakeObject(SQInteger(3)).ToFloat(), 3.0f);
    EXPECT_EQ(SqMakeObject(SQFloat(2.75f)).ToInteger(), 2);
    EXPECT_EQ(SqMakeObject(SQInteger(3)).ToString(), nullptr);
    EXPECT_EQ(SqMakeObject("7").ToInteger(), 0);
}

TEST_F(Binding, ToBoolByType)
{
    const struct { const char* expr; bool expected; } cases[] = {
        {"null", false}, {"0", false}, {"1", true}, {"-1", true}, {"0.0", false}, {"0.5", true},
        {"false", false}, {"true", true}, {"\"\"", true}, {"{}", true}, {"[]", true},
    };
    for (const auto& c : cases) {
        std::string code = std::string("return ") + c.expr + ";";
        EXPECT_EQ(run(code.c_str()).ToBool(), c.expected) << c.expr;
    }
}

TEST_F(Binding, EveryOperationLeavesTheStackAsItWas)
{
    run("base <- {inherited = 9}; obj <- delegate base : {i = 1, f = 2.5, s = \"str\", b = true};"
        "function fails(a) { throw \"boom\"; } arr <- [1, 2];");
    SquirrelObject obj = SquirrelVM::GetRootTable().GetValue("obj");
    SquirrelObject arr = SquirrelVM::GetRootTable().GetValue("arr");
    SquirrelObject number = SqMakeObject(SQInteger(4));
    const std::function<void()> operations[] = {
        [&] { EXPECT_TRUE(obj.GetValue("missing").IsNull()); },
        [&] { EXPECT_EQ(obj.GetInt("i"), 1); },
        [&] { EXPECT_EQ(obj.GetInt("inherited"), 9); },   // lookups follow delegates
        [&] { EXPECT_EQ(obj.GetInt("s"), 0); },           // not convertible
        [&] { EXPECT_FLOAT_EQ(obj.GetFloat("f"), 2.5f); },
        [&] { EXPECT_STREQ(obj.GetString("s"), "str"); },
        [&] { EXPECT_EQ(obj.GetString("i"), nullptr); },
        [&] { EXPECT_EQ(obj.GetString("missing"), nullptr); },
        [&] { EXPECT_TRUE(obj.GetBool("b")); },
        [&] { EXPECT_FALSE(obj.GetBool("i")); },
        [&] { EXPECT_TRUE(obj.Exists("inherited")); },
        [&] { EXPECT_FALSE(obj.Exists("missing")); },
        [&] { EXPECT_EQ(arr.GetInt(1), 2); },
        [&] { EXPECT_TRUE(arr.GetValue(5).IsNull()); },
        [&] { EXPECT_TRUE(obj.SetValue("new", SQInteger(3))); },
        [&] { EXPECT_FALSE(number.SetValue("x", SQInteger(1))); },
        [&] { EXPECT_TRUE(arr.ArrayAppend(number)); },
        [&] { EXPECT_FALSE(obj.ArrayAppend(number)); },
        [&] { EXPECT_TRUE(SqArrayAppend(arr, "t")); },
        [&] { EXPECT_TRUE(arr.ArrayResize(1)); },
        [&] { EXPECT_FALSE(obj.ArrayResize(1)); },
        [&] { SquirrelVM::CreateTable(); SquirrelVM::CreateArray(3); SqMakeObject(true); },
        [&] { EXPECT_THROW(SquirrelVM::CompileBuffer("function (", "bad"), SquirrelError); },
        [&] { EXPECT_THROW(run("throw \"x\";"), SquirrelError); },
        [&] { EXPECT_THROW(SquirrelFunction("fails")(obj), SquirrelError); },
        [&] { EXPECT_THROW(SquirrelFunction("nosuch")(obj), SquirrelError); },
        [&] { EXPECT_THROW(SquirrelVM::CreateFunctionGlobal(nativeEcho, "e", maskOf(59).c_str()), SquirrelError); },
        [&] { SquirrelVM::CreateFunctionGlobal(nativeEcho, "echo", "s"); },
        [&] { SquirrelError fromVm; },
    };
    for (size_t i = 0; i < std::size(operations); ++i) {
        SQInteger top = sq_gettop(vm());
        operations[i]();
        EXPECT_EQ(sq_gettop(vm()), top) << "operation " << i;
    }
    EXPECT_EQ(obj.GetInt("new"), 3);
    EXPECT_FALSE(SquirrelVM::GetRootTable().GetValue("obj").GetValue("inherited").IsNull());
}

TEST_F(Binding, SetValueCreatesSlotsOfEveryKeyAndValueKind)
{
    SquirrelObject table = SquirrelVM::CreateTable();
    SquirrelObject keyObject = SqMakeObject("objkey");
    SquirrelObject inner = SquirrelVM::CreateTable();
    EXPECT_TRUE(table.SetValue("i", SQInteger(7)));
    EXPECT_TRUE(table.SetValue("f", SQFloat(0.5f)));
    EXPECT_TRUE(table.SetValue("b", true));
    EXPECT_TRUE(table.SetValue("s", "text"));
    EXPECT_TRUE(table.SetValue("t", inner));
    EXPECT_TRUE(table.SetValue(SQInteger(3), "three"));
    EXPECT_TRUE(table.SetValue(keyObject, SQInteger(11)));
    EXPECT_EQ(table.GetInt("i"), 7);
    EXPECT_FLOAT_EQ(table.GetFloat("f"), 0.5f);
    EXPECT_TRUE(table.GetBool("b"));
    EXPECT_STREQ(table.GetString("s"), "text");
    EXPECT_EQ(table.GetValue("t").GetType(), OT_TABLE);
    EXPECT_STREQ(table.GetString(3), "three");
    EXPECT_EQ(table.GetInt("objkey"), 11);
    EXPECT_TRUE(table.SetValue("i", SQInteger(8)));   // overwrite
    EXPECT_EQ(table.GetInt("i"), 8);
}

TEST_F(Binding, IterationVisitsEveryEntryAndPopsWhatItPushed)
{
    run("t <- {a = 1, b = 2, c = 3}");
    SquirrelObject table = SquirrelVM::GetRootTable().GetValue("t");
    SQInteger top = sq_gettop(vm());
    ASSERT_TRUE(table.BeginIteration());
    std::set<std::string> keys;
    SQInteger sum = 0;
    SquirrelObject key, value;
    while (table.Next(key, value)) {
        keys.insert(key.ToString());
        sum += value.ToInteger();
    }
    table.EndIteration();
    EXPECT_EQ(sq_gettop(vm()), top);
    EXPECT_EQ(keys, (std::set<std::string>{"a", "b", "c"}));
    EXPECT_EQ(sum, 6);
    EXPECT_FALSE(SqMakeObject(SQInteger(1)).BeginIteration());
    EXPECT_EQ(sq_gettop(vm()), top);
}

TEST_F(Binding, TypeMasksDecideWhichCallsAreAccepted)
{
    SquirrelVM::CreateFunctionGlobal(nativeEcho, "echo", "s");
    SquirrelVM::CreateFunctionGlobal(nativeCount, "any", "*");
    SquirrelVM::CreateFunctionGlobal(nativeCount, "none", nullptr);
    SquirrelVM::CreateFunctionGlobal(nativeCount, "empty", "");
    SquirrelVM::CreateFunctionGlobal(nativeCount, "num", "n");
    const struct { const char* code; bool accepted; } cases[] = {
        {"r <- echo(\"hi\")", true},  {"echo(\"a\", \"b\")", false}, {"echo(1)", false}, {"echo()", false},
        {"any()", true},             {"any(1, \"x\", null)", true}, {"none()", true},  {"none(1)", false},
        {"empty()", true},           {"empty(1)", false},           {"num(1.5)", true}, {"num(2)", true},
        {"num(\"x\")", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(runError(c.code).empty(), c.accepted) << c.code;
    EXPECT_STREQ(SquirrelVM::GetRootTable().GetString("r"), "hi!");
    EXPECT_EQ(run("return any(1, 2, 3);").ToInteger(), 4);   // `this` counts
}

TEST_F(Binding, TypeMaskLengthLimit)
{
    EXPECT_NO_THROW(SquirrelVM::CreateFunctionGlobal(nativeCount, "long58", maskOf(58).c_str()));
    try {
        SquirrelVM::CreateFunctionGlobal(nativeCount, "long59", maskOf(59).c_str());
        ADD_FAILURE() << "a 59-character mask was accepted";
    } catch (const SquirrelError& e) {
        EXPECT_STREQ(e.desc, "CreateFunction: typeMask string too long.");
    }
    EXPECT_TRUE(SquirrelVM::GetRootTable().Exists("long58"));
    EXPECT_FALSE(SquirrelVM::GetRootTable().Exists("long59"));
    EXPECT_NO_THROW(SquirrelVM::CreateFunctionGlobal(nativeCount, "star", ("*" + maskOf(80)).c_str()));
}

TEST_F(Binding, CreateFunctionAddsToTheTableOnTheStack)
{
    SquirrelObject lib = SquirrelVM::CreateTable();
    SquirrelVM::GetRootTable().SetValue("lib", lib);
    sq_pushobject(vm(), lib.GetObjectHandle());
    SquirrelObject closure = SquirrelVM::CreateFunction(nativeEcho, "echo", "s");
    sq_pop(vm(), 1);
    EXPECT_EQ(closure.GetType(), OT_NATIVECLOSURE);
    EXPECT_STREQ(run("return lib.echo(\"x\");").ToString(), "x!");
    EXPECT_FALSE(SquirrelVM::GetRootTable().Exists("echo"));
}

TEST_F(Binding, StackHandlerBounds)
{
    struct Probe {
        static SQInteger native(HSQUIRRELVM v)
        {
            StackHandler sa(v);
            SquirrelObject out = SquirrelVM::CreateTable();
            out.SetValue("count", sa.GetParamCount());
            out.SetValue("type0", sa.GetType(0));
            out.SetValue("type2", sa.GetType(2));
            out.SetValue("type9", sa.GetType(9));
            out.SetValue("int2", sa.GetInt(2));
            out.SetValue("float3", sa.GetFloat(3));
            out.SetValue("int9", sa.GetInt(9));
            out.SetValue("str5null", sa.GetString(5) == nullptr);
            out.SetValue("str2null", sa.GetString(2) == nullptr);
            out.SetValue("bool3", sa.GetBool(3));
            out.SetValue("handle9null", sq_isnull(sa.GetObjectHandle(9)));
            return sa.Return(out);
        }
    };
    SquirrelVM::CreateFunctionGlobal(Probe::native, "probe", "*");
    SquirrelObject out = run("return probe(42, 1.5);");
    EXPECT_EQ(out.GetInt("count"), 3);
    EXPECT_EQ(out.GetInt("type0"), -1);
    EXPECT_EQ(out.GetInt("type2"), SQInteger(OT_INTEGER));
    EXPECT_EQ(out.GetInt("type9"), -1);
    EXPECT_EQ(out.GetInt("int2"), 42);
    EXPECT_FLOAT_EQ(out.GetFloat("float3"), 1.5f);
    EXPECT_EQ(out.GetInt("int9"), 0);
    EXPECT_TRUE(out.GetBool("str5null"));
    EXPECT_TRUE(out.GetBool("str2null"));
    EXPECT_FALSE(out.GetBool("bool3"));
    EXPECT_TRUE(out.GetBool("handle9null"));
}

TEST_F(Binding, FunctionCallsByNameWithOneArgument)
{
    run("function sum(t) { return t.a + t.b; } holder <- { function twice(x) { return x * 2; } }");
    SquirrelObject argument = SquirrelVM::CreateTable();
    argument.SetValue("a", SQInteger(2));
    argument.SetValue("b", SQInteger(5));
    EXPECT_EQ(SquirrelFunction("sum")(argument).ToInteger(), 7);
    SquirrelObject holder = SquirrelVM::GetRootTable().GetValue("holder");
    EXPECT_EQ(SquirrelFunction(holder, "twice")(SqMakeObject(SQInteger(21))).ToInteger(), 42);
}

TEST_F(Binding, FailedCallsByNameNeverGrowTheStack)
{
    run("function fails(a) { throw \"boom\"; }");
    SQInteger top = sq_gettop(vm());
    for (int i = 0; i < 100; ++i) {
        for (const char* name : {"fails", "missing"}) {
            try {
                SquirrelFunction call(name);
                call(SquirrelObject());
                ADD_FAILURE() << name << " did not fail";
            } catch (const SquirrelError& e) {
                EXPECT_STREQ(e.desc, "SquirrelFunction<> call failed");
            }
        }
    }
    EXPECT_EQ(sq_gettop(vm()), top);
    EXPECT_EQ(run("return 1 + 1;").ToInteger(), 2);   // still usable
}

TEST_F(Binding, ErrorTextsComeFromTheVm)
{
    EXPECT_EQ(runError("throw \"boom\";"), "boom");
    EXPECT_EQ(runError("throw 5;"), "unknown error");
    EXPECT_EQ(runError("local t = {}; return t.missing;"), "the index 'missing' does not exist");
    try {
        SquirrelVM::CompileBuffer("local x = ;", "broken.nut");
        ADD_FAILURE() << "compiled";
    } catch (const SquirrelError& e) {
        EXPECT_STRNE(e.desc, "unknown error");
        EXPECT_GT(e.desc.GetLength(), 0);
    }
    EXPECT_STREQ(SquirrelError("fixed").desc, "fixed");
}

TEST_F(Binding, ExceptionsInNativesBecomeScriptErrors)
{
    SquirrelVM::CreateFunctionGlobal(GuardNative<nativeThrows>, "thrower", nullptr);
    SquirrelVM::CreateFunctionGlobal(GuardNative<nativeThrowsStd>, "stdThrower", nullptr);
    run("caught <- \"\"; try { thrower(); } catch (e) { caught = e; }");
    EXPECT_STREQ(SquirrelVM::GetRootTable().GetString("caught"), "bad thing");
    EXPECT_EQ(runError("stdThrower();"), "std failure");
    EXPECT_EQ(run("return 2 * 3;").ToInteger(), 6);
}

TEST_F(Binding, CopiesOutliveOriginalsAndObjectsOutliveTheVm)
{
    SquirrelObject* first = new SquirrelObject(SquirrelVM::CreateTable());
    first->SetValue("v", SQInteger(5));
    SquirrelObject copy(*first);
    SquirrelObject assigned;
    assigned = *first;
    assigned = assigned;   // self-assignment keeps the value
    delete first;
    sq_collectgarbage(vm());
    EXPECT_EQ(copy.GetInt("v"), 5);
    EXPECT_EQ(assigned.GetInt("v"), 5);

    // Held across a shutdown and a new VM: released by neither.
    SquirrelVM::Shutdown();
    EXPECT_FALSE(SquirrelVM::IsOpen());
    EXPECT_TRUE(SquirrelVM::GetRootTable().IsNull());
    SquirrelVM::Init();
    sq_setprintfunc(vm(), silentPrint);
    copy.Reset();
    assigned = SquirrelVM::CreateTable();
    EXPECT_EQ(assigned.GetType(), OT_TABLE);
    EXPECT_EQ(run("return 40 + 2;").ToInteger(), 42);
}

TEST(BindingPrint, DefaultPrintHasNoFixedBuffer)
{
    SquirrelVM::Init();
    std::string longText(20000, 'x');
    testing::internal::CaptureStdout();
    SquirrelObject closure = SquirrelVM::CompileBuffer(("print(\"" + longText + "%d\");").c_str(), "print");
    SquirrelVM::RunScript(closure);
    std::string out = testing::internal::GetCapturedStdout();
    closure.Reset();
    SquirrelVM::Shutdown();
    EXPECT_EQ(out, longText + "%d");
}
