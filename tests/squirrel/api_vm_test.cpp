// C interface: stack effects, calls and errors, parameter checks, host references and the collector.
#include <squirrel.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string g_printed;

void capturePrint(HSQUIRRELVM, const SQChar* fmt, ...)
{
    char buf[1024];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    g_printed += buf;
}

class Vm : public ::testing::Test {
protected:
    void SetUp() override
    {
        v = sq_open(1024);
        g_printed.clear();
        sq_setprintfunc(v, capturePrint);
    }
    void TearDown() override { sq_close(v); }

    // Compiles and runs src with the root table as this; leaves the stack as it was.
    bool run(const char* src)
    {
        SQInteger top = sq_gettop(v);
        bool ok = SQ_SUCCEEDED(sq_compilebuffer(v, src, static_cast<SQInteger>(strlen(src)), "test", SQTrue));
        if (ok) {
            sq_pushroottable(v);
            ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue));
        }
        sq_settop(v, top);
        return ok;
    }
    std::string lastError()
    {
        sq_getlasterror(v);
        const SQChar* s = nullptr;
        std::string text = SQ_SUCCEEDED(sq_getstring(v, -1, &s)) ? s : "<non-string>";
        sq_poptop(v);
        return text;
    }
    void getGlobal(const char* name)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
        sq_remove(v, -2);
    }
    void registerNative(const char* name, SQFUNCTION f, SQInteger nparams, const char* mask)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        sq_newclosure(v, f, 0);
        if (nparams || mask) {
            ASSERT_TRUE(SQ_SUCCEEDED(sq_setparamscheck(v, nparams, mask)));
        }
        sq_setnativeclosurename(v, -1, name);
        sq_newslot(v, -3, SQFalse);
        sq_poptop(v);
    }
    HSQUIRRELVM v = nullptr;
};

SQInteger nativeSum(HSQUIRRELVM v)
{
    SQInteger total = 0;
    for (SQInteger i = 2; i <= sq_gettop(v); i++) {
        SQInteger x = 0;
        sq_getinteger(v, i, &x);
        total += x;
    }
    sq_pushinteger(v, total);
    return 1;
}

SQInteger nativeThrowsCpp(HSQUIRRELVM) { throw std::runtime_error("native blew up"); }

SQInteger nativeRecurse(HSQUIRRELVM v)
{
    sq_pushroottable(v);
    sq_pushstring(v, "recurse", -1);
    sq_get(v, -2);
    sq_pushroottable(v);
    if (SQ_FAILED(sq_call(v, 1, SQFalse, SQFalse))) return SQ_ERROR;
    return 0;
}

TEST_F(Vm, PushAndTopArithmetic)
{
    EXPECT_EQ(sq_gettop(v), 0);
    sq_pushinteger(v, 1);
    sq_pushfloat(v, 2.5f);
    sq_pushstring(v, "abc", -1);
    sq_pushstring(v, "abcdef", 2);
    sq_pushbool(v, 7);
    sq_pushnull(v);
    sq_pushstring(v, nullptr, -1);
    sq_pushuserpointer(v, &g_printed);
    EXPECT_EQ(sq_gettop(v), 8);
    EXPECT_EQ(sq_gettype(v, 1), OT_INTEGER);
    EXPECT_EQ(sq_gettype(v, -1), OT_USERPOINTER);
    EXPECT_EQ(sq_gettype(v, -2), OT_NULL);
    EXPECT_EQ(sq_getsize(v, 4), 2);
    SQBool b = SQFalse;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getbool(v, 5, &b)));
    EXPECT_EQ(b, SQTrue);
    SQInteger i = 0;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, 2, &i)));   // float truncated
    EXPECT_EQ(i, 2);
    EXPECT_TRUE(SQ_FAILED(sq_getinteger(v, 5, &i)));   // bools are not integers
    const SQChar* s = nullptr;
    EXPECT_TRUE(SQ_FAILED(sq_getstring(v, 1, &s)));
    EXPECT_EQ(lastError(), "wrong argument type, expected 'string' got 'integer'");
    sq_remove(v, 1);
    EXPECT_EQ(sq_gettop(v), 7);
    EXPECT_EQ(sq_gettype(v, 1), OT_FLOAT);
    sq_settop(v, 10);
    EXPECT_EQ(sq_gettop(v), 10);
    EXPECT_EQ(sq_gettype(v, 10), OT_NULL);
    sq_pop(v, 4);
    sq_poptop(v);
    EXPECT_EQ(sq_gettop(v), 5);
    sq_push(v, 1);
    EXPECT_EQ(sq_gettype(v, -1), OT_FLOAT);
    sq_settop(v, 0);
}

TEST_F(Vm, TableOperationsAndTheirStackEffects)
{
    sq_newtable(v);                                   // [t]
    sq_pushstring(v, "k", -1);
    sq_pushinteger(v, 5);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    EXPECT_EQ(sq_gettop(v), 1);
    sq_pushstring(v, "k", -1);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    EXPECT_EQ(sq_gettop(v), 2);
    SQInteger i = 0;
    sq_getinteger(v, -1, &i);
    EXPECT_EQ(i, 5);
    sq_poptop(v);
    sq_pushstring(v, "missing", -1);
    EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));            // the key is popped
    EXPECT_EQ(sq_gettop(v), 1);
    EXPECT_EQ(lastError(), "the index doesn't exist");
    sq_pushstring(v, "missing", -1);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_set(v, -3)));            // = never creates; nothing popped
    EXPECT_EQ(sq_gettop(v), 3);
    EXPECT_EQ(lastError(), "the index 'missing' does not exist");
    EXPECT_TRUE(SQ_SUCCEEDED(sq_rawset(v, -3)));      // rawset creates
    EXPECT_EQ(sq_gettop(v), 1);
    EXPECT_EQ(sq_getsize(v, 1), 2);
    sq_pushstring(v, "nope", -1);
    EXPECT_TRUE(SQ_FAILED(sq_deleteslot(v, 1, SQFalse)));
    EXPECT_EQ(sq_gettop(v), 2);                       // 2.2 keeps the key on failure
    sq_poptop(v);
    sq_pushstring(v, "k", -1);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_deleteslot(v, 1, SQTrue)));
    EXPECT_EQ(sq_gettop(v), 2);
    sq_getinteger(v, -1, &i);
    EXPECT_EQ(i, 5);
    sq_poptop(v);
    sq_pushstring(v, "zz", -1);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_rawdeleteslot(v, 1, SQTrue)));
    EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
    sq_poptop(v);
    sq_pushnull(v);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_newslot(v, 1, SQFalse)));
    EXPECT_EQ(lastError(), "null is not a valid key");
    EXPECT_EQ(sq_gettop(v), 3);
    sq_settop(v, 0);
}

TEST_F(Vm, NextWalksTablesAndArraysAndLeavesTheIterator)
{
    ASSERT_TRUE(run("::t <- {a = 1, b = 2, c = 3}; ::arr <- [10, 20, 30];"));
    getGlobal("t");
    sq_pushnull(v);
    int count = 0;
    SQInteger sum = 0;
    while (SQ_SUCCEEDED(sq_next(v, -2))) {
        SQInteger x;
        sq_getinteger(v, -1, &x);
        sum += x;
        count++;
        sq_pop(v, 2);
        EXPECT_EQ(sq_gettop(v), 2);
    }
    EXPECT_EQ(count, 3);
    EXPECT_EQ(sum, 6);
    sq_pop(v, 2);
    getGlobal("arr");
    sq_pushnull(v);
    std::vector<SQInteger> keys;
    while (SQ_SUCCEEDED(sq_next(v, -2))) {
        SQInteger k;
        sq_getinteger(v, -2, &k);
        keys.push_back(k);
        sq_pop(v, 2);
    }
    EXPECT_EQ(keys, (std::vector<SQInteger>{0, 1, 2}));
    sq_pop(v, 2);
    EXPECT_EQ(sq_gettop(v), 0);
}

TEST_F(Vm, CallPopsParametersAndKeepsTheCallee)
{
    ASSERT_TRUE(run("function add(a, b) { return a + b; } function bad(a) { return a.x; }"));
    getGlobal("add");
    sq_pushroottable(v);
    sq_pushinteger(v, 2);
    sq_pushinteger(v, 3);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQTrue)));
    EXPECT_EQ(sq_gettop(v), 2);                       // callee + result
    SQInteger r = 0;
    sq_getinteger(v, -1, &r);
    EXPECT_EQ(r, 5);
    sq_pop(v, 2);
    getGlobal("add");
    sq_pushroottable(v);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 2, SQTrue, SQFalse)));   // wrong count
    EXPECT_EQ(sq_gettop(v), 1);
    EXPECT_EQ(lastError(), "wrong number of parameters");
    sq_poptop(v);
    // a null callee fails without touching the last error
    sq_throwerror(v, "previous");
    sq_pushnull(v);
    sq_pushroottable(v);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQTrue, SQTrue)));
    EXPECT_EQ(sq_gettop(v), 1);
    EXPECT_EQ(lastError(), "previous");
    sq_poptop(v);
}

SQInteger recordingHandler(HSQUIRRELVM v)
{
    const SQChar* s = nullptr;
    sq_getstring(v, 2, &s);
    SQStackInfos si;
    g_printed += std::string("handler:") + (s ? s : "?");
    if (SQ_SUCCEEDED(sq_stackinfos(v, 1, &si))) g_printed += std::string(" at ") + si.funcname + ":" + std::to_string(si.line);
    g_printed += "\n";
    return 0;
}

TEST_F(Vm, ErrorHandlerRunsOnlyForUncaughtErrorsAtTheThrowPoint)
{
    sq_newclosure(v, recordingHandler, 0);
    sq_seterrorhandler(v);
    EXPECT_TRUE(run("try { throw \"x\"; } catch (e) {}"));
    EXPECT_EQ(g_printed, "");
    EXPECT_FALSE(run("function f() {\n  local t = {};\n  return t.nope;\n}\nf();"));
    EXPECT_EQ(g_printed, "handler:the index 'nope' does not exist at f:3\n");
    EXPECT_EQ(lastError(), "the index 'nope' does not exist");
    g_printed.clear();
    // raiseerror off: no handler
    sq_compilebuffer(v, "throw \"quiet\"", 13, "q", SQTrue);
    sq_pushroottable(v);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQFalse, SQFalse)));
    sq_poptop(v);
    EXPECT_EQ(g_printed, "");
    // a thrown table stays a table
    EXPECT_FALSE(run("throw {code = 3}"));
    sq_getlasterror(v);
    EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
    sq_poptop(v);
}

std::string g_compileError;
void recordCompileError(HSQUIRRELVM, const SQChar* desc, const SQChar* source, SQInteger line, SQInteger column)
{
    g_compileError = std::string(source) + ":" + std::to_string(line) + ":" + std::to_string(column) + ":" + desc;
}

TEST_F(Vm, CompileErrorsPushNothingAndReportPosition)
{
    sq_setcompilererrorhandler(v, recordCompileError);
    const char* src = "local a = 1;\nlocal b = (a + ;\n";
    EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, src, static_cast<SQInteger>(strlen(src)), "file.nut", SQTrue)));
    EXPECT_EQ(sq_gettop(v), 0);
    EXPECT_EQ(lastError(), "expression expected");
    EXPECT_EQ(g_compileError.substr(0, 11), "file.nut:2:");
    g_compileError.clear();
    EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, src, static_cast<SQInteger>(strlen(src)), "file.nut", SQFalse)));
    EXPECT_EQ(g_compileError, "");
    struct Case { const char* src; const char* message; };
    const Case cases[] = {
        {"local s = \"abc", "unfinished string"},
        {"local s = \"a\nb\"", "newline in a constant"},
        {"local c = ''", "empty constant"},
        {"local c = 'ab'", "constant too long"},
        {"local x = 1e6", "invalid numeric format"},
        {"local x = 018", "invalid octal number"},
        {"local x = 0x123456789", "too many digits for an Hex number"},
        {"break;", "'break' has to be in a loop block"},
        {"local a = 1 local b = 2", "end of statement expected (; or lf)"},
        {"/* open", "missing \"*/\" in comment"},
        {"function f(a = 1, ...) {}", "function with default parameters cannot have variable number of parameters"},
        {"function f(a = 1, b) {}", "expected '='"},
        {"local x = 1; local f = function() : (x) { x = 2; }", "free variables cannot be modified"},
        {"enum E { A } local e = E;", "expected '.'"},
        {"enum E2 { A } local e = E2.B;", "invalid constant [E2.B]"},
        {"const C = -1;", "scalar expected : integer,float or string"},
        {"local t = {}; t.parent = 1;", "parent cannot be set"},
        {"local a = 1; delete a;", "cannot delete a local"},
        {"f(1,)", "expression expected, found ')'"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(SQ_FAILED(sq_compilebuffer(v, c.src, static_cast<SQInteger>(strlen(c.src)), "c", SQFalse))) << c.src;
        EXPECT_EQ(lastError(), c.message) << c.src;
        EXPECT_EQ(sq_gettop(v), 0);
    }
}

TEST_F(Vm, ParamsCheckCountsAndTypes)
{
    registerNative("exact", nativeSum, SQ_MATCHTYPEMASKSTRING, "t|y|xii");
    registerNative("atleast", nativeSum, -2, ".n");
    registerNative("anyargs", nativeSum, 0, nullptr);
    struct Case { const char* src; bool ok; const char* message; };
    const Case cases[] = {
        {"exact(1, 2)", true, ""},
        {"exact(1)", false, "wrong number of parameters"},
        {"exact(1, 2, 3)", false, "wrong number of parameters"},
        {"exact(1, \"x\")", false, "parameter 2 has an invalid type 'string' ; expected: 'integer'"},
        {"atleast()", false, "wrong number of parameters"},
        {"atleast(1, 2, 3)", true, ""},
        {"atleast(\"s\")", false, "parameter 1 has an invalid type 'string' ; expected: 'integer|float'"},
        {"anyargs(1, 2, 3, 4)", true, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.src), c.ok) << c.src;
        if (!c.ok) {
            EXPECT_EQ(lastError(), c.message) << c.src;
        }
    }
    sq_newclosure(v, nativeSum, 0);
    EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 1, "z")));
    EXPECT_EQ(lastError(), "invalid typemask");
    EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 1, "i|")));
    sq_poptop(v);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_setparamscheck(v, 1, "i")));
    EXPECT_EQ(lastError(), "native closure expected");
    sq_poptop(v);
}

TEST_F(Vm, NativeExceptionsAndRunawayRecursionBecomeScriptErrors)
{
    registerNative("boom", nativeThrowsCpp, 0, nullptr);
    EXPECT_FALSE(run("boom()"));
    EXPECT_EQ(lastError(), "native blew up");
    EXPECT_TRUE(run("try { boom(); } catch (e) { ::caught <- e; }"));
    registerNative("recurse", nativeRecurse, 0, nullptr);
    EXPECT_FALSE(run("recurse()"));
    EXPECT_EQ(lastError(), "Native stack overflow");
    EXPECT_FALSE(run("function r(n) { return 1 + r(n + 1); } r(0);"));
    EXPECT_EQ(lastError(), "stack overflow");
    EXPECT_TRUE(run("::ok <- 1 + 1;"));   // still usable
}

int g_hookCalls = 0;
SQInteger countingHook(SQUserPointer, SQInteger) { g_hookCalls++; return 0; }

TEST_F(Vm, HostReferencesKeepObjectsAliveAcrossCollections)
{
    g_hookCalls = 0;
    HSQOBJECT held;
    sq_resetobject(&held);
    EXPECT_EQ(held._type, OT_NULL);
    // a self-referencing table with a userdata inside: only the collector frees it
    sq_newtable(v);
    sq_pushstring(v, "self", -1);
    sq_push(v, -2);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "ud", -1);
    sq_newuserdata(v, 8);
    sq_setreleasehook(v, -1, countingHook);
    sq_newslot(v, -3, SQFalse);
    sq_getstackobj(v, -1, &held);
    sq_addref(v, &held);
    sq_addref(v, &held);
    sq_poptop(v);
    EXPECT_EQ(sq_gettop(v), 0);
    sq_collectgarbage(v);
    EXPECT_EQ(g_hookCalls, 0);
    EXPECT_FALSE(sq_release(v, &held));
    sq_collectgarbage(v);
    EXPECT_EQ(g_hookCalls, 0);
    sq_pushobject(v, held);
    EXPECT_EQ(sq_getsize(v, -1), 2);
    sq_poptop(v);
    EXPECT_TRUE(sq_release(v, &held));
    EXPECT_EQ(g_hookCalls, 0);                         // the cycle keeps it
    EXPECT_GE(sq_collectgarbage(v), 2);
    EXPECT_EQ(g_hookCalls, 1);
    sq_collectgarbage(v);
    EXPECT_EQ(g_hookCalls, 1);                         // exactly once
    HSQOBJECT num;
    sq_resetobject(&num);
    num._type = OT_INTEGER;
    num._unVal.nInteger = 4;
    EXPECT_TRUE(sq_release(v, &num));
    EXPECT_EQ(sq_objtointeger(&num), 4);
    EXPECT_EQ(sq_objtostring(&num), nullptr);
}

TEST_F(Vm, ReleaseHookRunsWhenTheLastReferenceGoes)
{
    g_hookCalls = 0;
    sq_newuserdata(v, 4);
    sq_setreleasehook(v, -1, countingHook);
    sq_poptop(v);
    EXPECT_EQ(g_hookCalls, 1);
}

TEST_F(Vm, SuspendAndWakeUpFromTheHost)
{
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, "local a = suspend(1); ::got <- a; return a * 2;", 47, "s", SQTrue)));
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_SUSPENDED);
    sq_pushinteger(v, 21);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(v, SQTrue, SQTrue, SQTrue)));
    SQInteger r = 0;
    sq_getinteger(v, -1, &r);
    EXPECT_EQ(r, 42);
    EXPECT_EQ(sq_getvmstate(v), SQ_VMSTATE_IDLE);
    EXPECT_TRUE(SQ_FAILED(sq_wakeupvm(v, SQFalse, SQFalse, SQFalse)));
    EXPECT_EQ(lastError(), "cannot resume a vm that is not running any code");
}

TEST_F(Vm, ArraysClassesAndInstancesFromC)
{
    sq_newarray(v, 2);
    sq_pushinteger(v, 7);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_arrayappend(v, -2)));
    EXPECT_EQ(sq_getsize(v, -1), 3);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_arrayinsert(v, -2, 9)));   // value popped even on failure
    EXPECT_EQ(sq_gettop(v), 1);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_arrayremove(v, -1, 0)));
    EXPECT_TRUE(SQ_SUCCEEDED(sq_arraypop(v, -1, SQTrue)));
    EXPECT_EQ(sq_gettype(v, -1), OT_INTEGER);
    sq_poptop(v);
    EXPECT_TRUE(SQ_FAILED(sq_arrayresize(v, -1, -1)));
    EXPECT_EQ(lastError(), "negative size");
    sq_poptop(v);
    static int tag;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newclass(v, SQFalse)));
    sq_settypetag(v, -1, &tag);
    sq_pushstring(v, "field", -1);
    sq_pushinteger(v, 3);
    sq_newslot(v, -3, SQFalse);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_createinstance(v, -1)));
    SQUserPointer up = nullptr;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &up, &tag)));
    EXPECT_TRUE(SQ_FAILED(sq_getinstanceup(v, -1, &up, &g_hookCalls)));
    sq_pushstring(v, "field", -1);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQInteger f = 0;
    sq_getinteger(v, -1, &f);
    EXPECT_EQ(f, 3);
    sq_poptop(v);
    EXPECT_EQ(sq_instanceof(v), SQTrue);   // class at -2, instance at -1
    sq_pushstring(v, "late", -1);
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -4, SQFalse)));   // locked class: ignored
    EXPECT_EQ(sq_gettop(v), 2);
    sq_settop(v, 0);
}

} // namespace
