// Generates small deterministic script programs and writes each twice: as a game script
// would be written, and with every fast path of the compiler and the VM defeated:
// operators and literals go through calls, ||/&& become ternaries over a helper, switch
// becomes an if-chain, calls go through pacall, a for loop over an array replaces foreach,
// and a return never ends on a call. Both forms run on the sq tool and must print the
// same trace; a pair that differs is cut down to the statements that still differ.
//
//   compare_forms SQ [--first SEED] [--count N] [--seconds S] [--jobs J] [--keep DIR]
//   compare_forms SQ --show SEED        prints both forms of one program
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// splitmix64: the same programs from the same seed on every platform and library
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed) { s = next(); }
    uint64_t next()
    {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    int range(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
};

// Binding strength of a natural expression, weakest first.
enum Prec { P_TERNARY = 1, P_OR, P_AND, P_BOR, P_BXOR, P_BAND, P_CMP, P_SHIFT, P_ADD, P_MUL, P_UNARY, P_PRIMARY };

// An expression in both forms; prec is that of the natural one (the plain one is always a
// call or bracketed).
struct X {
    std::string n, p;
    int prec = P_PRIMARY;
};

// Lines of a statement or block in both forms.
struct S {
    std::string n, p;
};

enum Ty { T_INT, T_BOOL, T_ANY };

struct Var {
    std::string name;
    Ty ty;
    bool assignable;
    char kind;   // 'v' value, 'a' array, 't' table, 'o' instance, 'c' closure, 'g' generator
};

struct Func {
    std::string name;
    int nreq;   // d included
    int ndef;
    bool varargs;
};

struct Class {
    std::string name;
    std::vector<std::string> methods;   // each takes (d, p)
};

// The program: helpers and declarations shared by both forms, then sections, each run
// in its own try so one error does not hide the rest. Sections are lists of top-level
// statements so a difference can be cut down.
struct Program {
    std::vector<S> decls;
    std::vector<std::vector<S>> sections;
};

const char* kPrelude = R"(function S(v) {
    switch (typeof v) {
    case "integer": case "float": case "bool": case "string": return typeof v + ":" + v;
    case "null": return "null";
    case "array": { local s = "["; foreach (x in v) s += S(x) + ","; return s + "]"; }
    case "instance": return "instance " + S(v.mA);
    }
    return typeof v;
}
function P(t, v) { print(t + " " + S(v) + "\n"); }
function K(v) { return v; }
function ADD(a, b) { return a + b; }
function SUB(a, b) { return a - b; }
function MUL(a, b) { return a * b; }
function DIV(a, b) { return a / b; }
function MOD(a, b) { return a % b; }
function BAND(a, b) { return a & b; }
function BOR(a, b) { return a | b; }
function BXOR(a, b) { return a ^ b; }
function SHL(a, b) { return a << b; }
function SHR(a, b) { return a >> b; }
function USHR(a, b) { return a >>> b; }
function NEG(a) { return -a; }
function NOT(a) { return !a; }
function BNOT(a) { return ~a; }
function TYPEOF(a) { return typeof a; }
function LT(a, b) { return a < b; }
function LE(a, b) { return a <= b; }
function GT(a, b) { return a > b; }
function GE(a, b) { return a >= b; }
function EQ(a, b) { return a == b; }
function NE(a, b) { return a != b; }
function IN(k, o) { return k in o; }
function ISA(o, c) { return o instanceof c; }
function GET(o, k) { return o[k]; }
function SET(o, k, v) { o[k] = v; return v; }
function POSTINC(o, k) { local old = o[k]; o[k] = old + 1; return old; }
function ROOT() { return ::getroottable(); }
function CALL(f, t, a) { a.insert(0, t); local r = f.pacall(a); return r; }
function CALLM(o, k, a) { local f = o[k]; a.insert(0, o); local r = f.pacall(a); return r; }
function DEL(o, k) { delete o[k]; }
function SLOT(o, k, v) { o[k] <- v; return v; }
function GROW(o, p, n) { for (local i = 0; i < n; i++) o[p + i] <- i; }
::LAST <- null;
function TST(v) { ::LAST = v; if (v) return true; return false; }
function LST() { return ::LAST; }
)";

const int kEdges[] = {0, 1, -1, 2, 3, 7, 127, 128, -128, -129, 255, 256, 8191, 8192, -8192, -8193, 16383, 16384,
                      -16384, -16385, 32767, 32768, 65535, 100000, 2147483647, -2147483647};
const char* kFloats[] = {"0.5", "-1.5", "2.0", "0.0", "8191.5", "-8192.0", "16384.25", "3.75"};
const char* kStrings[] = {"\"\"", "\"a\"", "\"b\"", "\"ab\"", "\"mA\"", "\"y\"", "\"8191\""};

class Gen {
public:
    explicit Gen(uint64_t seed) : r(seed) {}
    Program Make();

private:
    Rng r;
    std::vector<Var> vars;   // in scope, innermost last
    std::vector<Func> funcs;
    std::vector<Func> gens;
    std::vector<Class> classes;
    std::vector<std::string> globals;
    int envs = 0;   // tables E0.. of different sizes, each holding "w", read by readw with them as this
    int names = 0;
    int tag = 0;
    // the function being written
    bool inFunc = false, hasD = false, isGen = false, varargs = false;
    std::string method;   // class of the method being written
    std::string breakable;   // 'L' loop, 'W' switch, innermost last
    int budget = 0;   // statements left in this body

    std::string Name(const char* prefix) { return prefix + std::to_string(names++); }
    std::string Tag() { return std::to_string(++tag); }

    // ---- expressions
    static std::string Br(const std::string& s) { return "(" + s + ")"; }
    std::string At(const X& x, int need)
    {
        return x.prec < need || (x.prec < P_PRIMARY && r.chance(8)) ? Br(x.n) : x.n;
    }
    X Lit(const std::string& text) { return {text, "K(" + text + ")", text[0] == '-' ? P_UNARY : P_PRIMARY}; }
    X IntLit()
    {
        int v;
        if (r.chance(60)) {
            v = kEdges[r.below(sizeof kEdges / sizeof kEdges[0])];
            if (r.chance(30) && v > -2147483647 && v < 2147483647) v += r.range(-1, 1);
        } else {
            v = r.range(-3, 12);
        }
        return Lit(std::to_string(v));
    }
    X Bin(const char* op, const char* fn, int prec, const X& a, const X& b)
    {
        return {At(a, prec) + " " + op + " " + At(b, prec + 1), std::string(fn) + "(" + a.p + ", " + b.p + ")", prec};
    }
    X Unary(const char* op, const char* fn, const X& a)
    {
        std::string in = At(a, P_UNARY);
        std::string sep = (op[0] == '-' && in[0] == '-') || std::strlen(op) > 1 ? " " : "";
        return {op + sep + in, std::string(fn) + "(" + a.p + ")", P_UNARY};
    }
    X Chain(bool isOr, const X& a, const X& b)
    {
        const int prec = isOr ? P_OR : P_AND;
        std::string p = isOr ? "(TST(" + a.p + ") ? LST() : " + b.p + ")" : "(TST(" + a.p + ") ? " + b.p + " : LST())";
        return {At(a, prec) + (isOr ? " || " : " && ") + At(b, prec), p, prec};
    }
    const Var* PickVar(char kind, Ty ty, bool assign = false)
    {
        std::vector<const Var*> c;
        for (const Var& v : vars)
            if (v.kind == kind && (kind != 'v' || ty == T_ANY || v.ty == ty) && (!assign || v.assignable)) c.push_back(&v);
        return c.empty() ? nullptr : c[r.below(static_cast<int>(c.size()))];
    }
    X VarRef(const Var& v) { return {v.name, v.name, P_PRIMARY}; }
    X Int(int d);
    X Bool(int d);
    X Any(int d);
    X Cond(int d) { return r.chance(70) ? Bool(d) : (r.chance(50) ? Int(d) : Any(d)); }
    X CmpWithEdge(int d);
    X CallFunc(int d, const Func& f);
    X CallMethod(int d, const std::string& obj, const Class& c);
    std::string Args(int d, int n, std::vector<std::string>& plain);
    X DArg();

    // ---- statements
    S Stmt(int d);
    S Block(int d, int n);
    S Body(int d);   // a block with its own scope
    S LocalDecl(int d);
    S Assign(int d);
    S Trace(int d);
    S If(int d);
    S For(int d);
    S While(int d, bool isDo);
    S ForeachArray(int d);
    S ForeachOther(int d);
    S Switch(int d);
    S Try(int d);
    S Return(int d);
    S ContainerOp(int d);
    S Closure(int d);
    S FunctionDecl(bool generator);
    S ClassDecl();
    S Churn(int d);
    S ReturnValue(const X& v)
    {
        std::string n = "return " + v.n + ";";
        std::string p = "{ local rv = " + v.p + "; return rv; }";
        return {n, p};
    }
};

X Gen::DArg()
{
    // inside a function every call passes d - 1, so recursion ends
    if (hasD) return r.chance(80) ? X{"d - 1", "SUB(d, K(1))", P_ADD} : X{"-1 + d", "ADD(K(-1), d)", P_ADD};
    return Lit(std::to_string(r.range(0, 2)));
}

std::string Gen::Args(int d, int n, std::vector<std::string>& plain)
{
    std::string s;
    for (int i = 0; i < n; i++) {
        X a = Int(d - 1);
        s += (i ? ", " : "") + a.n;
        plain.push_back(a.p);
    }
    return s;
}

X Gen::CallFunc(int d, const Func& f)
{
    X da = DArg();
    int n = f.nreq - 1 + r.below(f.ndef + 1) + (f.varargs ? r.below(3) : 0);
    if (r.chance(3)) n = f.nreq > 1 ? f.nreq - 2 : n;   // too few: an error both forms report
    std::vector<std::string> pa{da.p};
    std::string args = da.n;
    std::string more = Args(d, n, pa);
    if (!more.empty()) args += ", " + more;
    std::string plist;
    for (size_t i = 1; i < pa.size(); i++) plist += ", " + pa[i];
    std::string callee = r.chance(30) ? "::" + f.name : f.name;
    return {callee + "(" + args + ")", "CALL(::" + f.name + ", this, [" + pa[0] + plist + "])", P_PRIMARY};
}

X Gen::CallMethod(int d, const std::string& obj, const Class& c)
{
    const std::string& m = c.methods[r.below(static_cast<int>(c.methods.size()))];
    X da = DArg();
    X a = Int(d - 1);
    std::string n;
    if (obj == "this" && r.chance(50)) n = m + "(" + da.n + ", " + a.n + ")";
    else if (r.chance(20)) n = obj + "[\"" + m + "\"](" + da.n + ", " + a.n + ")";
    else n = obj + "." + m + "(" + da.n + ", " + a.n + ")";
    return {n, "CALLM(" + obj + ", K(\"" + m + "\"), [" + da.p + ", " + a.p + "])", P_PRIMARY};
}

X Gen::CmpWithEdge(int d)
{
    static const char* ops[] = {"<", "<=", ">", ">=", "==", "!="};
    static const char* fns[] = {"LT", "LE", "GT", "GE", "EQ", "NE"};
    int o = r.below(6);
    X a = r.chance(80) ? Int(d - 1) : Any(d - 1);
    X b = r.chance(85) ? IntLit() : (r.chance(50) ? Lit(kFloats[r.below(8)]) : Lit(kStrings[r.below(7)]));
    if (r.chance(20)) std::swap(a, b);
    return Bin(ops[o], fns[o], P_CMP, a, b);
}

X Gen::Int(int d)
{
    if (d <= 0 || r.chance(25)) {
        const Var* v = PickVar('v', T_INT);
        if (v && r.chance(65)) return VarRef(*v);
        if (!globals.empty() && r.chance(20)) {
            const std::string& g = globals[r.below(static_cast<int>(globals.size()))];
            if (r.chance(30)) return {"::" + g, "GET(ROOT(), K(\"" + g + "\"))", P_PRIMARY};
            return {g, "GET(ROOT(), K(\"" + g + "\"))", P_PRIMARY};
        }
        if (!method.empty() && r.chance(30)) {
            if (r.chance(50)) return {"mA", "GET(this, K(\"mA\"))", P_PRIMARY};
            return {"this.mB", "GET(this, K(\"mB\"))", P_PRIMARY};
        }
        return IntLit();
    }
    switch (r.below(20)) {
    case 0: case 1: case 2: {
        static const char* ops[] = {"+", "-", "*"};
        static const char* fns[] = {"ADD", "SUB", "MUL"};
        int o = r.below(3);
        return Bin(ops[o], fns[o], o == 2 ? P_MUL : P_ADD, Int(d - 1), Int(d - 1));
    }
    case 3: {
        bool div = r.chance(50);
        X b = r.chance(70) ? IntLit() : Int(d - 1);
        return Bin(div ? "/" : "%", div ? "DIV" : "MOD", P_MUL, Int(d - 1), b);
    }
    case 4: {
        static const char* ops[] = {"&", "|", "^", "<<", ">>", ">>>"};
        static const char* fns[] = {"BAND", "BOR", "BXOR", "SHL", "SHR", "USHR"};
        static const int precs[] = {P_BAND, P_BOR, P_BXOR, P_SHIFT, P_SHIFT, P_SHIFT};
        int o = r.below(6);
        return Bin(ops[o], fns[o], precs[o], Int(d - 1), o >= 3 ? Lit(std::to_string(r.range(0, 33))) : Int(d - 1));
    }
    case 5: return r.chance(60) ? Unary("-", "NEG", Int(d - 1)) : Unary("~", "BNOT", Int(d - 1));
    case 6: case 7: case 8: {   // a chain of integers, its operands maybe chains themselves
        X a = Int(d - 1);
        int n = r.range(1, 2);
        for (int i = 0; i < n; i++) a = Chain(r.chance(50), a, Int(d - 1));
        if (r.chance(30)) a = Chain(r.chance(50), Int(d - 1), a);
        return a;
    }
    case 9: {
        X c = Cond(d - 1), a = Int(d - 1), b = Int(d - 1);
        return {At(c, P_OR) + " ? " + a.n + " : " + b.n, "(" + c.p + " ? " + a.p + " : " + b.p + ")", P_TERNARY};
    }
    case 10: case 11:
        if (!funcs.empty()) return CallFunc(d, funcs[r.below(static_cast<int>(funcs.size()))]);
        return IntLit();
    case 12: {
        if (const Var* t = PickVar('t', T_ANY)) {
            static const char* keys[] = {"a", "b"};
            const char* k = keys[r.below(2)];
            if (r.chance(50)) return {t->name + "." + k, "GET(" + t->name + ", K(\"" + k + "\"))", P_PRIMARY};
            return {t->name + "[\"" + k + "\"]", "GET(" + t->name + ", K(\"" + k + "\"))", P_PRIMARY};
        }
        if (const Var* a = PickVar('a', T_ANY)) {
            X i = r.chance(60) ? Lit(std::to_string(r.range(0, 3))) : Int(d - 1);
            return {a->name + "[" + i.n + "]", "GET(" + a->name + ", " + i.p + ")", P_PRIMARY};
        }
        return IntLit();
    }
    case 13: {
        if (const Var* o = PickVar('o', T_ANY)) {
            std::string cls = o->name.substr(o->name.find('_') + 1);
            for (const Class& c : classes)
                if (c.name == cls && r.chance(50)) return CallMethod(d, o->name, c);
            if (r.chance(50)) return {o->name + ".mA", "GET(" + o->name + ", K(\"mA\"))", P_PRIMARY};
            if (r.chance(50)) return {o->name + ".y", "GET(" + o->name + ", K(\"y\"))", P_PRIMARY};
            X b = Int(d - 1);
            return {At({o->name + " + " + At(b, P_MUL), "", P_ADD}, P_PRIMARY) + ".mA",
                    "GET(ADD(" + o->name + ", " + b.p + "), K(\"mA\"))", P_PRIMARY};
        }
        if (!method.empty()) {
            for (const Class& c : classes)
                if (c.name == method && !c.methods.empty()) return CallMethod(d, "this", c);
        }
        return IntLit();
    }
    case 14: {
        if (const Var* c = PickVar('c', T_ANY)) {
            X a = Int(d - 1), b = Int(d - 1);
            return {c->name + "(" + a.n + ", " + b.n + ")", "CALL(" + c->name + ", this, [" + a.p + ", " + b.p + "])",
                    P_PRIMARY};
        }
        return IntLit();
    }
    case 15:
        if (varargs) {
            if (r.chance(40)) return {"vargc", "vargc", P_PRIMARY};
            X i = r.chance(70) ? Lit("0") : Int(d - 1);
            return {"vargv[" + i.n + "]", "vargv[" + i.p + "]", P_PRIMARY};
        }
        if (const Var* a = PickVar('a', T_ANY)) return {a->name + ".len()", a->name + ".len()", P_PRIMARY};
        return IntLit();
    default: {
        const Var* v = PickVar('v', T_INT);
        return v ? VarRef(*v) : IntLit();
    }
    }
}

X Gen::Bool(int d)
{
    if (d <= 0) {
        if (r.chance(30)) return Lit(r.chance(50) ? "true" : "false");
        if (const Var* v = PickVar('v', T_BOOL)) return VarRef(*v);
        return CmpWithEdge(1);
    }
    switch (r.below(12)) {
    case 0: case 1: case 2: case 3: return CmpWithEdge(d);
    case 4: return Unary("!", "NOT", r.chance(50) ? Bool(d - 1) : Any(d - 1));
    case 5: case 6: case 7: {
        X a = Bool(d - 1);
        int n = r.range(1, 2);
        for (int i = 0; i < n; i++) a = Chain(r.chance(50), a, r.chance(70) ? Bool(d - 1) : Any(d - 1));
        return a;
    }
    case 8: {
        if (const Var* t = PickVar('t', T_ANY)) {
            X k = Lit(kStrings[r.below(7)]);
            return {At(k, P_BOR) + " in " + t->name, "IN(" + k.p + ", " + t->name + ")", P_AND};
        }
        if (const Var* a = PickVar('a', T_ANY)) {
            X k = Int(d - 1);
            return {At(k, P_BOR) + " in " + a->name, "IN(" + k.p + ", " + a->name + ")", P_AND};
        }
        return CmpWithEdge(d);
    }
    case 9: {
        if (const Var* o = PickVar('o', T_ANY)) {
            if (r.chance(50) && !classes.empty()) {
                const std::string& c = classes[r.below(static_cast<int>(classes.size()))].name;
                return {o->name + " instanceof " + c, "ISA(" + o->name + ", " + c + ")", P_AND};
            }
            // instances compare through _cmp
            static const char* ops[] = {"<", "<=", ">", ">="};
            static const char* fns[] = {"LT", "LE", "GT", "GE"};
            int op = r.below(4);
            const Var* o2 = PickVar('o', T_ANY);
            return Bin(ops[op], fns[op], P_CMP, VarRef(*o), VarRef(*o2));
        }
        return CmpWithEdge(d);
    }
    case 10: {
        const Var* v = PickVar('v', T_BOOL);
        return v ? VarRef(*v) : CmpWithEdge(d);
    }
    default: {
        X a = Any(d - 1);
        X b = Lit(kStrings[r.below(7)]);
        const bool eq = r.chance(50);
        return Bin(eq ? "==" : "!=", eq ? "EQ" : "NE", P_CMP, {"typeof " + At(a, P_UNARY), "TYPEOF(" + a.p + ")", P_UNARY}, b);
    }
    }
}

X Gen::Any(int d)
{
    switch (r.below(14)) {
    case 0: case 1: case 2: case 3: case 4: return Int(d);
    case 5: case 6: return Bool(d);
    case 7: {
        X a = Int(d - 1);
        return Bin("+", "ADD", P_ADD, Lit(kStrings[r.below(7)]), a);
    }
    case 8: {
        X a = Int(d - 1);
        const bool mul = r.chance(50);
        return Bin(mul ? "*" : "/", mul ? "MUL" : "DIV", P_MUL, a, Lit(kFloats[r.below(8)]));
    }
    case 9: return Lit(r.chance(50) ? "null" : kStrings[r.below(7)]);
    case 10: {
        X a = Any(d - 1);
        return {"typeof " + At(a, P_UNARY), "TYPEOF(" + a.p + ")", P_UNARY};
    }
    case 11: {
        if (const Var* v = PickVar('v', T_ANY)) return VarRef(*v);
        return Int(d);
    }
    default: {
        X a = r.chance(40) ? Lit(r.chance(50) ? "null" : "0") : Any(d - 1);
        X b = Any(d - 1);
        X c = Chain(r.chance(50), a, b);
        if (r.chance(30)) c = Chain(r.chance(50), c, Int(d - 1));
        return c;
    }
    }
}

// ---------------------------------------------------------------- statements

S Gen::Block(int d, int n)
{
    S b;
    size_t scope = vars.size();
    for (int i = 0; i < n && budget > 0; i++) {
        S s = Stmt(d);
        b.n += s.n + "\n";
        b.p += s.p + "\n";
    }
    vars.resize(scope);
    return b;
}

S Gen::Body(int d)
{
    S b = Block(d - 1, r.range(1, 3));
    return {"{\n" + b.n + "}", "{\n" + b.p + "}"};
}

S Gen::LocalDecl(int d)
{
    std::string name = Name("v");
    int k = r.below(10);
    if (k < 6) {
        X v = r.chance(80) ? Int(d) : IntLit();
        vars.push_back({name, T_INT, true, 'v'});
        return {"local " + name + " = " + v.n + ";", "local " + name + " = " + v.p + ";"};
    }
    if (k < 8) {
        X v = Bool(d);
        vars.push_back({name, T_BOOL, true, 'v'});
        return {"local " + name + " = " + v.n + ";", "local " + name + " = " + v.p + ";"};
    }
    X v = Any(d);
    vars.push_back({name, T_ANY, true, 'v'});
    return {"local " + name + " = " + v.n + ";", "local " + name + " = " + v.p + ";"};
}

S Gen::Assign(int d)
{
    if (const Var* v = PickVar('v', T_ANY, true); v && r.chance(60)) {
        X e = v->ty == T_INT ? Int(d) : v->ty == T_BOOL ? Bool(d) : Any(d);
        if (v->ty == T_INT && r.chance(60)) {
            switch (r.below(6)) {
            case 0: return {v->name + "++;", v->name + " = ADD(" + v->name + ", K(1));"};
            // -- adds -1, as ++ adds 1: a parameter may hold other than an integer
            case 1: return {"--" + v->name + ";", v->name + " = ADD(" + v->name + ", K(-1));"};
            case 2: return {v->name + " += " + e.n + ";", v->name + " = ADD(" + v->name + ", " + e.p + ");"};
            case 3: return {v->name + " -= " + e.n + ";", v->name + " = SUB(" + v->name + ", " + e.p + ");"};
            case 4: return {v->name + " *= " + e.n + ";", v->name + " = MUL(" + v->name + ", " + e.p + ");"};
            default: {
                X k = IntLit();
                bool div = r.chance(50);
                return {v->name + (div ? " /= " : " %= ") + k.n + ";",
                        v->name + " = " + (div ? "DIV(" : "MOD(") + v->name + ", " + k.p + ");"};
            }
            }
        }
        return {v->name + " = " + e.n + ";", v->name + " = " + e.p + ";"};
    }
    // a slot: a global, a table field or an array element; the right side runs first
    std::string obj, key, n;
    if (const Var* t = PickVar('t', T_ANY); t && r.chance(50)) {
        const char* k = r.chance(50) ? "a" : "b";
        obj = t->name;
        key = std::string("K(\"") + k + "\")";
        n = r.chance(50) ? t->name + "." + k : t->name + "[\"" + k + "\"]";
    } else if (const Var* a = PickVar('a', T_ANY); a && r.chance(50)) {
        X i = Lit(std::to_string(r.range(0, 2)));
        obj = a->name;
        key = i.p;
        n = a->name + "[" + i.n + "]";
    } else if (!method.empty() && r.chance(60)) {
        obj = "this";
        key = "K(\"mA\")";
        n = r.chance(50) ? "mA" : "this.mA";
    } else if (!globals.empty()) {
        const std::string& g = globals[r.below(static_cast<int>(globals.size()))];
        obj = "ROOT()";
        key = "K(\"" + g + "\")";
        n = (inFunc ? "::" : "") + g;
    } else {
        return Trace(d);
    }
    X e = Int(d);
    switch (r.below(5)) {
    case 0: return {n + " = " + e.n + ";", "SET(" + obj + ", " + key + ", " + e.p + ");"};
    case 1: return {n + " += " + e.n + ";",
                    "{ local rv = " + e.p + "; SET(" + obj + ", " + key + ", ADD(GET(" + obj + ", " + key + "), rv)); }"};
    case 2: return {n + " *= " + e.n + ";",
                    "{ local rv = " + e.p + "; SET(" + obj + ", " + key + ", MUL(GET(" + obj + ", " + key + "), rv)); }"};
    case 3: return {n + "++;", "SET(" + obj + ", " + key + ", ADD(GET(" + obj + ", " + key + "), K(1)));"};
    default: {   // the old value of a slot, in an expression
        X v = Int(d);
        std::string t = Tag();
        return {"P(" + t + ", " + n + "++ + " + At(v, P_MUL) + ");",
                "P(" + t + ", ADD(POSTINC(" + obj + ", " + key + "), " + v.p + "));"};
    }
    }
}

S Gen::Trace(int d)
{
    X e = r.chance(40) ? Int(d) : r.chance(50) ? Bool(d) : Any(d);
    std::string t = Tag();
    return {"P(" + t + ", " + e.n + ");", "P(" + t + ", " + e.p + ");"};
}

S Gen::If(int d)
{
    X c = Cond(d);
    S a = Body(d);
    std::string t = Tag();
    // each branch marks which way the condition went
    S res{"if (" + c.n + ") {P(" + t + ", \"then\");" + a.n.substr(1),
          "if (" + c.p + ") {P(" + t + ", \"then\");" + a.p.substr(1)};
    if (r.chance(50)) {
        S b = Body(d);
        res.n += " else {P(" + t + ", \"else\");" + b.n.substr(1);
        res.p += " else {P(" + t + ", \"else\");" + b.p.substr(1);
    }
    return res;
}

S Gen::For(int d)
{
    std::string i = Name("i");
    static const int bases[] = {0, 8191, -8192, 16383, -16384, 127, -128, 255, 32767, 100000};
    int base = bases[r.below(10)] + r.range(-2, 2);
    bool up = r.chance(70);
    int step = r.range(1, 3);
    int from = up ? base - r.range(0, 4) : base + r.range(0, 4);
    int to = up ? base + r.range(0, 3) : base - r.range(0, 3);
    static const char* upOps[] = {"<", "<="};
    static const char* downOps[] = {">", ">="};
    int o = r.below(2);
    const char* op = up ? upOps[o] : downOps[o];
    const char* fn = up ? (o ? "LE" : "LT") : (o ? "GE" : "GT");
    std::string stepN, stepP = i + " = " + (up ? "ADD(" : "SUB(") + i + ", K(" + std::to_string(step) + "))";
    if (step == 1 && r.chance(60)) stepN = r.chance(50) ? i + (up ? "++" : "--") : (up ? "++" : "--") + i;
    else stepN = i + (up ? " += " : " -= ") + std::to_string(step);
    std::string bound = std::to_string(to), pre, preP;
    if (r.chance(25)) {   // the bound in a local
        std::string b = Name("n");
        pre = "local " + b + " = " + bound + "; ";
        preP = "local " + b + " = K(" + bound + "); ";
        bound = b;
    }
    std::string boundP = pre.empty() ? "K(" + bound + ")" : bound;
    const char* flipped = up ? downOps[o] : upOps[o];   // the same test with the bound on the left
    std::string cond = r.chance(80) ? i + " " + op + " " + bound : bound + " " + flipped + " " + i;
    vars.push_back({i, T_INT, false, 'v'});
    breakable.push_back('L');
    S b = Body(d);
    breakable.pop_back();
    vars.pop_back();
    return {"{ " + pre + "for (local " + i + " = " + std::to_string(from) + "; " + cond + "; " + stepN + ") " + b.n + " }",
            "{ " + preP + "for (local " + i + " = K(" + std::to_string(from) + "); " + fn + "(" + i + ", " + boundP + "); " +
                stepP + ") " + b.p + " }"};
}

S Gen::While(int d, bool isDo)
{
    std::string w = Name("w");
    int lim = r.range(1, 4);
    X c = Cond(d - 1);
    X wv{w, w, P_PRIMARY};
    X lt = Bin("<", "LT", P_CMP, wv, Lit(std::to_string(lim)));
    X cond;
    switch (r.below(3)) {
    case 0: cond = Chain(false, lt, c); break;
    case 1: cond = Chain(false, c, lt); break;
    default: cond = Unary("!", "NOT", Chain(true, Bin(">=", "GE", P_CMP, wv, Lit(std::to_string(lim))), Unary("!", "NOT", c)));
    }
    vars.push_back({w, T_INT, false, 'v'});
    breakable.push_back('L');
    S b = Body(d);
    breakable.pop_back();
    vars.pop_back();
    std::string head = "{ local " + w + " = 0; ";
    std::string headP = "{ local " + w + " = K(0); ";
    std::string incN = w + " += 1; ", incP = w + " = ADD(" + w + ", K(1)); ";
    if (isDo)
        return {head + "do {" + incN + b.n.substr(1) + " while (" + cond.n + "); }",
                headP + "do {" + incP + b.p.substr(1) + " while (" + cond.p + "); }"};
    return {head + "while (" + cond.n + ") {" + incN + b.n.substr(1) + " }",
            headP + "while (" + cond.p + ") {" + incP + b.p.substr(1) + " }"};
}

S Gen::ForeachArray(int d)
{
    const Var* a = PickVar('a', T_ANY);
    if (!a) return LocalDecl(d);
    std::string arr = a->name, k = Name("k"), v = Name("e"), c = Name("c");
    vars.push_back({k, T_INT, false, 'v'});
    vars.push_back({v, T_ANY, false, 'v'});
    breakable.push_back('L');
    S b = Body(d);
    breakable.pop_back();
    vars.resize(vars.size() - 2);
    // the container grows or shrinks while it is walked
    std::string mut, mutP;
    if (r.chance(60)) {
        X e = Int(d - 1);
        if (r.chance(60)) {
            mut = "if (" + arr + ".len() < 7) " + arr + ".append(" + e.n + "); ";
            mutP = "if (LT(" + arr + ".len(), K(7))) " + arr + ".append(" + e.p + "); ";
        } else {
            mut = "if (" + arr + ".len() > 2) " + arr + ".remove(0); ";
            mutP = "if (GT(" + arr + ".len(), K(2))) " + arr + ".remove(K(0)); ";
        }
    }
    return {"foreach (" + k + ", " + v + " in " + arr + ") {" + mut + b.n.substr(1),
            "{ local " + c + " = " + arr + "; for (local " + k + " = K(0); LT(" + k + ", " + c + ".len()); " + k +
                " = ADD(" + k + ", K(1))) { local " + v + " = GET(" + c + ", " + k + "); " + mutP + b.p.substr(1) +
                " }"};
}

// Tables and generators have no plain walk: both forms use foreach, with plain bodies.
S Gen::ForeachOther(int d)
{
    std::string k = Name("k"), v = Name("e");
    std::string head, headP;
    if (const Var* t = PickVar('t', T_ANY); t && r.chance(50)) {
        head = headP = "foreach (" + k + ", " + v + " in " + t->name + ") ";
    } else if (!gens.empty()) {
        const Func& g = gens[r.below(static_cast<int>(gens.size()))];
        X n = Lit(std::to_string(r.range(0, 4)));
        head = "foreach (" + k + ", " + v + " in " + g.name + "(" + n.n + ")) ";
        headP = "foreach (" + k + ", " + v + " in CALL(::" + g.name + ", this, [" + n.p + "])) ";
    } else {
        return Trace(d);
    }
    vars.push_back({k, T_ANY, false, 'v'});
    vars.push_back({v, T_ANY, false, 'v'});
    breakable.push_back('L');
    S b = Body(d);
    breakable.pop_back();
    vars.resize(vars.size() - 2);
    std::string t = Tag();
    return {head + "{P(" + t + ", " + k + "); P(" + t + ", " + v + ");" + b.n.substr(1),
            headP + "{P(" + t + ", " + k + "); P(" + t + ", " + v + ");" + b.p.substr(1)};
}

S Gen::Switch(int d)
{
    X v = r.chance(70) ? Int(d - 1) : Any(d - 1);
    std::string sw = Name("s"), m = Name("m");
    S res{"switch (" + v.n + ") {\n", "do { local " + sw + " = " + v.p + "; local " + m + " = false;\n"};
    int n = r.range(1, 4);
    breakable.push_back('W');
    for (int i = 0; i < n; i++) {
        X c = r.chance(60) ? IntLit() : r.chance(50) ? Lit(kStrings[r.below(7)]) : r.chance(50) ? Lit(kFloats[r.below(8)]) : Lit(r.chance(50) ? "null" : "true");
        std::string t = Tag();
        size_t scope = vars.size();
        S b = Block(d - 1, r.range(0, 2));
        vars.resize(scope);
        bool brk = r.chance(60);
        res.n += "case " + c.n + ": P(" + t + ", \"case\");\n" + b.n + (brk ? "break;\n" : "");
        res.p += "if (NOT(" + m + ")) " + m + " = EQ(" + sw + ", " + c.p + ");\nif (" + m + ") { P(" + t + ", \"case\");\n" +
                 b.p + (brk ? "break;\n" : "") + "}\n";
    }
    if (r.chance(60)) {
        std::string t = Tag();
        size_t scope = vars.size();
        S b = Block(d - 1, r.range(0, 2));
        vars.resize(scope);
        res.n += "default: P(" + t + ", \"default\");\n" + b.n;
        res.p += "{ P(" + t + ", \"default\");\n" + b.p + "}\n";
    }
    breakable.pop_back();
    res.n += "}";
    res.p += "} while (K(false));";
    return res;
}

S Gen::Try(int d)
{
    S b = Body(d);
    std::string e = Name("x"), t = Tag();
    vars.push_back({e, T_ANY, false, 'v'});
    S c = Body(d);
    vars.pop_back();
    return {"try " + b.n + " catch (" + e + ") {P(" + t + ", " + e + ");" + c.n.substr(1),
            "try " + b.p + " catch (" + e + ") {P(" + t + ", " + e + ");" + c.p.substr(1)};
}

S Gen::Return(int d)
{
    X c = Cond(d - 1);
    X v = Int(d - 1);
    S ret = ReturnValue(v);
    return {"if (" + c.n + ") " + ret.n, "if (" + c.p + ") " + ret.p};
}

S Gen::ContainerOp(int d)
{
    switch (r.below(4)) {
    case 0: {
        std::string a = Name("a");
        int n = r.range(0, 4);
        std::string en, ep;
        for (int i = 0; i < n; i++) {
            X e = r.chance(80) ? Int(d - 1) : Any(d - 1);
            en += (i ? ", " : "") + e.n;
            ep += (i ? ", " : "") + e.p;
        }
        vars.push_back({a, T_ANY, false, 'a'});
        return {"local " + a + " = [" + en + "];", "local " + a + " = [" + ep + "];"};
    }
    case 1: {
        std::string t = Name("t");
        X a = Int(d - 1), b = Int(d - 1);
        vars.push_back({t, T_ANY, false, 't'});
        std::string extra = r.chance(50) ? ", [\"c\"] = 1" : "";
        return {"local " + t + " = {a = " + a.n + ", b = " + b.n + extra + "};",
                "local " + t + " = {a = " + a.p + ", b = " + b.p + extra + "};"};
    }
    case 2: {
        const Var* a = PickVar('a', T_ANY);
        if (!a) return Trace(d);
        std::string t = Tag();
        if (r.chance(40)) return {a->name + ".sort(); P(" + t + ", " + a->name + ");", a->name + ".sort(); P(" + t + ", " + a->name + ");"};
        bool desc = r.chance(50);
        std::string x = desc ? "b" : "a", y = desc ? "a" : "b";
        return {a->name + ".sort(function(a, b) { if (" + x + " < " + y + ") return -1; if (" + x + " > " + y +
                    ") return 1; return 0; }); P(" + t + ", " + a->name + ");",
                a->name + ".sort(function(a, b) { if (LT(" + x + ", " + y + ")) { local rv = K(-1); return rv; } if (GT(" + x +
                    ", " + y + ")) { local rv = K(1); return rv; } local rv = K(0); return rv; }); P(" + t + ", " +
                    a->name + ");"};
    }
    default: {
        if (classes.empty()) return Trace(d);
        const Class& c = classes[r.below(static_cast<int>(classes.size()))];
        std::string o = Name("o") + "_" + c.name;
        X a = Int(d - 1);
        vars.push_back({o, T_ANY, false, 'o'});
        return {"local " + o + " = " + c.name + "(" + a.n + ");", "local " + o + " = " + c.name + "(" + a.p + ");"};
    }
    }
}

S Gen::Closure(int d)
{
    std::string c = Name("c");
    std::vector<std::string> outers;
    for (const Var& v : vars)
        if (v.kind == 'v' && v.ty == T_INT && r.chance(40) && outers.size() < 3) outers.push_back(v.name);
    std::vector<Var> saved = vars;
    std::string saveBreak = breakable;
    bool sIn = inFunc, sD = hasD, sGen = isGen, sVa = varargs;
    std::string sMethod = method;
    int sBudget = budget;
    const std::string pa = Name("q"), pb = Name("q");
    vars.clear();
    vars.push_back({pa, T_INT, true, 'v'});
    vars.push_back({pb, T_INT, true, 'v'});
    for (const std::string& o : outers) vars.push_back({o, T_INT, false, 'v'});
    breakable.clear();
    inFunc = true;
    hasD = false;
    isGen = false;
    varargs = false;
    method.clear();
    budget = 4;
    S body = Block(1, r.range(0, 2));
    S ret = ReturnValue(Int(2));
    vars = saved;
    breakable = saveBreak;
    inFunc = sIn;
    hasD = sD;
    isGen = sGen;
    varargs = sVa;
    method = sMethod;
    budget = sBudget;
    std::string free;
    for (size_t i = 0; i < outers.size(); i++) free += (i ? ", " : "") + outers[i];
    std::string head = "local " + c + " = function(" + pa + ", " + pb + ")" + (outers.empty() ? "" : " : (" + free + ")") + " {\n";
    vars.push_back({c, T_ANY, false, 'c'});
    return {head + body.n + ret.n + "\n};", head + body.p + ret.p + "\n};"};
}

// A name's table changing under the reads of it: a global deleted, its table grown and
// the global put back; an environment table read by the same bare name as the others,
// or changed the same way. The reads by bare name remember where they last found it.
S Gen::Churn(int d)
{
    const std::string n = std::to_string(r.range(1, 40));
    if (envs > 0 && (globals.empty() || r.chance(60))) {
        const std::string e = "::E" + std::to_string(r.below(envs));
        if (r.chance(65)) {
            std::string t = Tag();
            return {"P(" + t + ", ::readw.call(" + e + "));", "P(" + t + ", CALL(::readw, " + e + ", []));"};
        }
        X v = Int(d - 1);
        const std::string pad = "\"q" + Tag() + "_\"";
        return {"{ local rv = " + v.n + "; delete " + e + ".w; ::GROW(" + e + ", " + pad + ", " + n + "); " + e +
                    ".w <- rv; }",
                "{ local rv = " + v.p + "; DEL(" + e + ", K(\"w\")); GROW(" + e + ", K(" + pad + "), K(" + n +
                    ")); SLOT(" + e + ", K(\"w\"), rv); }"};
    }
    if (globals.empty()) return Trace(d);
    const std::string& g = globals[r.below(static_cast<int>(globals.size()))];
    X v = Int(d - 1);
    const std::string pad = "\"z" + Tag() + "_\"";
    return {"{ local rv = " + v.n + "; delete ::" + g + "; ::GROW(::getroottable(), " + pad + ", " + n + "); ::" + g +
                " <- rv; }",
            "{ local rv = " + v.p + "; DEL(ROOT(), K(\"" + g + "\")); GROW(ROOT(), K(" + pad + "), K(" + n +
                ")); SLOT(ROOT(), K(\"" + g + "\"), rv); }"};
}

S Gen::Stmt(int d)
{
    budget--;
    if (d <= 0) return r.chance(50) ? Trace(1) : r.chance(50) ? LocalDecl(1) : Assign(1);
    int k = r.below(108);
    if (k >= 100) return Churn(d);
    if (k < 14) return LocalDecl(d);
    if (k < 26) return Assign(d);
    if (k < 38) return Trace(d);
    if (k < 48) return If(d);
    if (k < 54) return For(d);
    if (k < 58) return While(d, r.chance(40));
    if (k < 62) return ForeachArray(d);
    if (k < 64) {
        if (!gens.empty() && r.chance(30)) {   // a generator resumed by hand, past its end
            const Func& g = gens[r.below(static_cast<int>(gens.size()))];
            std::string v = Name("r"), t = Tag(), n = std::to_string(r.range(0, 2));
            std::string res = " P(" + t + ", resume " + v + "); P(" + t + ", resume " + v + "); P(" + t + ", " + v + ".getstatus()); }";
            return {"{ local " + v + " = " + g.name + "(" + n + ");" + res,
                    "{ local " + v + " = CALL(::" + g.name + ", this, [K(" + n + ")]);" + res};
        }
        return ForeachOther(d);
    }
    if (k < 68) return Switch(d);
    if (k < 72) return Try(d);
    if (k < 79) return ContainerOp(d);
    if (k < 82) return Closure(d);
    if (k < 85) {
        X c = Cond(d - 1);
        X v = r.chance(50) ? Any(d - 1) : Lit(kStrings[r.below(7)]);
        return {"if (" + c.n + ") throw " + v.n + ";", "if (" + c.p + ") throw " + v.p + ";"};
    }
    if (k < 89 && !breakable.empty()) {
        X c = Cond(d - 1);
        bool cont = breakable.back() == 'L' && r.chance(40);
        return {"if (" + c.n + ") " + (cont ? "continue;" : "break;"), "if (" + c.p + ") " + (cont ? "continue;" : "break;")};
    }
    if (k < 93 && inFunc && !isGen) return Return(d);
    if (k < 96 && isGen) {
        X v = Int(d - 1);
        return {"yield " + v.n + ";", "yield " + v.p + ";"};
    }
    if (!funcs.empty()) {   // a call for its effects
        X c = CallFunc(d, funcs[r.below(static_cast<int>(funcs.size()))]);
        return {c.n + ";", c.p + ";"};
    }
    return Trace(d);
}

S Gen::FunctionDecl(bool generator)
{
    Func f;
    f.name = Name(generator ? "y" : "f");
    f.nreq = generator ? 1 : r.range(1, 3);
    f.ndef = generator ? 0 : r.below(3);
    f.varargs = !generator && f.ndef == 0 && r.chance(30);
    vars.clear();
    breakable.clear();
    inFunc = true;
    hasD = true;
    isGen = generator;
    varargs = f.varargs;
    method.clear();
    budget = 8;
    std::string params = "d", paramsP = "d";
    vars.push_back({"d", T_INT, false, 'v'});
    for (int i = 1; i < f.nreq + f.ndef; i++) {
        std::string p = "p" + std::to_string(i);
        vars.push_back({p, T_INT, true, 'v'});
        params += ", " + p;
        paramsP += ", " + p;
        if (i >= f.nreq) {
            X def = IntLit();
            params += " = " + def.n;
            paramsP += " = " + def.p;
        }
    }
    if (f.varargs) {
        params += ", ...";
        paramsP += ", ...";
    }
    S res{"function " + f.name + "(" + params + ") {\n", "function " + f.name + "(" + paramsP + ") {\n"};
    // the recursion ends: every call passes d - 1
    if (!generator) {
        S base = ReturnValue(Int(1));
        res.n += "if (d <= 0) " + base.n + "\n";
        res.p += "if (LE(d, K(0))) " + base.p + "\n";
    } else {
        res.n += "if (d > 4) return;\n";
        res.p += "if (GT(d, K(4))) return;\n";
    }
    // generators are walked, not called: they see only functions, as does anything after
    S body = Block(2, r.range(2, 5));
    res.n += body.n;
    res.p += body.p;
    if (generator) {
        X v = Int(2);
        res.n += "for (local i = 0; i < d; i++) yield i * " + At(v, P_UNARY) + ";\n";
        res.p += "for (local i = K(0); LT(i, d); i = ADD(i, K(1))) yield MUL(i, " + v.p + ");\n";
    } else if (!funcs.empty() && r.chance(50)) {   // a tail call
        X c = CallFunc(2, funcs[r.below(static_cast<int>(funcs.size()))]);
        if (r.chance(50)) c = CallFunc(2, f);   // itself
        S ret = ReturnValue(c);
        res.n += ret.n + "\n";
        res.p += ret.p + "\n";
    } else {
        S ret = ReturnValue(Int(2));
        res.n += ret.n + "\n";
        res.p += ret.p + "\n";
    }
    res.n += "}";
    res.p += "}";
    inFunc = false;
    hasD = false;
    isGen = false;
    varargs = false;
    vars.clear();
    (generator ? gens : funcs).push_back(f);
    return res;
}

S Gen::ClassDecl()
{
    Class c;
    c.name = Name("C");
    std::string a = std::to_string(kEdges[r.below(12)]), b = std::to_string(r.range(-3, 9));
    S res{"class " + c.name + " {\nmA = " + a + ";\nmB = " + b + ";\nconstructor(a) { mA = a; }\n",
          "class " + c.name + " {\nmA = " + a + ";\nmB = " + b + ";\nconstructor(a) { SET(this, K(\"mA\"), a); }\n"};
    res.n += "function _add(o) { return " + c.name + "(mA + (typeof o == \"instance\" ? o.mA : o)); }\n";
    res.p += "function _add(o) { local rv = " + c.name +
             "(ADD(GET(this, K(\"mA\")), (EQ(TYPEOF(o), K(\"instance\")) ? GET(o, K(\"mA\")) : o))); return rv; }\n";
    res.n += "function _cmp(o) { if (mA < o.mA) return -1; if (mA > o.mA) return 1; return 0; }\n";
    res.p += "function _cmp(o) { if (LT(GET(this, K(\"mA\")), GET(o, K(\"mA\")))) { local rv = K(-1); return rv; } "
             "if (GT(GET(this, K(\"mA\")), GET(o, K(\"mA\")))) { local rv = K(1); return rv; } local rv = K(0); return rv; }\n";
    res.n += "function _get(k) { if (k == \"y\") return mA * 2; throw \"no \" + k; }\n";
    res.p += "function _get(k) { if (EQ(k, K(\"y\"))) { local rv = MUL(GET(this, K(\"mA\")), K(2)); return rv; } throw ADD(K(\"no \"), k); }\n";
    int n = r.range(1, 3);
    for (int i = 0; i < n; i++) {
        std::string m = "m" + std::to_string(i);
        vars.clear();
        breakable.clear();
        inFunc = true;
        hasD = true;
        method = c.name;
        budget = 6;
        vars.push_back({"d", T_INT, false, 'v'});
        vars.push_back({"p", T_INT, true, 'v'});
        S body = Block(2, r.range(1, 4));
        // a method calls only those before it, so the recursion ends
        X v = Int(2);
        if (!c.methods.empty() && r.chance(60)) {
            X call = CallMethod(2, "this", c);
            v = r.chance(50) ? call : Bin("+", "ADD", P_ADD, call, v);
        }
        S ret = ReturnValue(v);
        std::string head = "function " + m + "(d, p) {\nif (d < 0) return p;\n";
        std::string headP = "function " + m + "(d, p) {\nif (LT(d, K(0))) return p;\n";
        res.n += head + body.n + ret.n + "\n}\n";
        res.p += headP + body.p + ret.p + "\n}\n";
        c.methods.push_back(m);
    }
    res.n += "}";
    res.p += "}";
    inFunc = false;
    hasD = false;
    method.clear();
    vars.clear();
    classes.push_back(c);
    return res;
}

Program Gen::Make()
{
    Program prog;
    int ng = r.range(1, 3);
    for (int i = 0; i < ng; i++) {
        std::string g = Name("g");
        X v = IntLit();
        prog.decls.push_back({"::" + g + " <- " + v.n + ";", "::" + g + " <- " + v.p + ";"});
        globals.push_back(g);
    }
    if (r.chance(60)) {
        // one reader, called with each table as this; the tables' sizes differ
        envs = r.range(2, 3);
        for (int i = 0; i < envs; i++) {
            std::string t = "::E" + std::to_string(i) + " <- {";
            int pads = i == 0 ? 0 : r.range(3, 30) * i;
            for (int j = 0; j < pads; j++) t += " p" + std::to_string(j) + " = " + std::to_string(j) + ",";
            X w = IntLit();
            prog.decls.push_back({t + " w = " + w.n + " };", t + " w = " + w.p + " };"});
        }
        prog.decls.push_back({"function readw() { return w; }", "function readw() { return GET(this, K(\"w\")); }"});
    }
    int nf = r.range(2, 5);
    for (int i = 0; i < nf; i++) prog.decls.push_back(FunctionDecl(false));
    if (r.chance(70)) prog.decls.push_back(FunctionDecl(true));
    int nc = r.range(0, 2);
    for (int i = 0; i < nc; i++) prog.decls.push_back(ClassDecl());
    int ns = r.range(3, 6);
    for (int i = 0; i < ns; i++) {
        std::vector<S> sec;
        vars.clear();
        breakable.clear();
        budget = 14;
        int n = r.range(3, 8);
        for (int j = 0; j < n && budget > 0; j++) sec.push_back(Stmt(3));
        prog.sections.push_back(std::move(sec));
    }
    return prog;
}

// The plain form calls its helpers through the root table: a bare name inside a method
// would look in the instance first and run its _get.
std::string Rooted(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (size_t i = 0; i < text.size();) {
        size_t j = i;
        while (j < text.size() && ((text[j] >= 'A' && text[j] <= 'Z') || text[j] == '_')) j++;
        const bool word = j > i && (i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) ||
                                               text[i - 1] == '_' || text[i - 1] == ':'));
        if (word && j < text.size() && text[j] == '(') out += "::";
        if (j == i) j++;
        out.append(text, i, j - i);
        i = j;
    }
    return out;
}

// The text of one form: prelude, declarations, then each section in its own try.
std::string Render(const Program& prog, bool plain)
{
    std::string s = kPrelude;
    auto form = [plain](const S& x) { return plain ? Rooted(x.p) : x.n; };
    for (const S& d : prog.decls) s += form(d) + "\n";
    for (size_t i = 0; i < prog.sections.size(); i++) {
        s += "try {\n";
        for (const S& st : prog.sections[i]) s += form(st) + "\n";
        s += "} catch (err) { P(\"section " + std::to_string(i) + "\", err); }\n";
    }
    s += "print(\"end\\n\");\n";
    return s;
}

// ---------------------------------------------------------------- running

struct Outcome {
    int status = -1;
    std::string out;
    bool timedOut = false;
};

Outcome RunSq(const std::string& sq, const std::string& path, int seconds)
{
    Outcome o;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return o;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(sq.c_str()), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid;
    int rc = posix_spawn(&pid, sq.c_str(), &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return o;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buf[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            o.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        ssize_t got = read(fds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (o.out.size() < (1u << 22)) o.out.append(buf, static_cast<size_t>(got));
    }
    close(fds[0]);
    int st = 0;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    o.status = st;
    return o;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

struct Runner {
    std::string sq, dir;
    int timeout = 20;

    // Empty when both forms ran to the end and printed the same; else what differs.
    std::string Compare(const Program& prog, int worker)
    {
        std::string base = dir + "/w" + std::to_string(worker);
        std::string nat = base + "n.nut", pla = base + "p.nut";
        if (!WriteFile(nat, Render(prog, false)) || !WriteFile(pla, Render(prog, true))) return "cannot write " + base;
        Outcome a = RunSq(sq, nat, timeout), b = RunSq(sq, pla, timeout);
        std::remove(nat.c_str());
        std::remove(pla.c_str());
        auto ended = [](const Outcome& o) {
            return !o.timedOut && WIFEXITED(o.status) && WEXITSTATUS(o.status) == 0 && o.out.size() >= 4 &&
                   o.out.compare(o.out.size() - 4, 4, "end\n") == 0;
        };
        if (!ended(a)) return a.timedOut ? "the natural form ran too long" : "the natural form did not run to its end (status " + std::to_string(a.status) + ")";
        if (!ended(b)) return b.timedOut ? "the plain form ran too long" : "the plain form did not run to its end (status " + std::to_string(b.status) + ")";
        if (a.out == b.out) return "";
        size_t at = 0, line = 1;
        while (at < a.out.size() && at < b.out.size() && a.out[at] == b.out[at]) {
            if (a.out[at] == '\n') line++;
            at++;
        }
        auto lineAt = [&](const std::string& s) {
            size_t start = s.rfind('\n', at ? at - 1 : 0);
            start = (start == std::string::npos || at == 0) ? 0 : start + 1;
            size_t end = s.find('\n', at);
            return s.substr(start, end == std::string::npos ? std::string::npos : end - start);
        };
        return "trace line " + std::to_string(line) + ": natural \"" + lineAt(a.out) + "\", plain \"" + lineAt(b.out) + "\"";
    }

    // Drops sections, then statements and declarations, while the forms still differ in
    // the same lines.
    Program Reduce(Program prog, int worker, const std::string& why)
    {
        auto lines = [](const std::string& w) { return w.substr(w.find(':')); };
        auto differs = [&](const Program& p) {
            std::string now = Compare(p, worker);
            return now.rfind("trace line", 0) == 0 && lines(now) == lines(why);
        };
        for (size_t i = prog.sections.size(); i-- > 0;) {
            Program t = prog;
            t.sections.erase(t.sections.begin() + static_cast<long>(i));
            if (!t.sections.empty() && differs(t)) prog = t;
        }
        for (auto& sec : prog.sections) {
            for (size_t i = sec.size(); i-- > 0;) {
                Program t = prog;
                auto& ts = t.sections[static_cast<size_t>(&sec - &prog.sections[0])];
                ts.erase(ts.begin() + static_cast<long>(i));
                if (differs(t)) sec.erase(sec.begin() + static_cast<long>(i));
            }
        }
        for (size_t i = prog.decls.size(); i-- > 0;) {
            Program t = prog;
            t.decls.erase(t.decls.begin() + static_cast<long>(i));
            if (differs(t)) prog = t;
        }
        return prog;
    }
};

[[noreturn]] void Usage()
{
    std::fprintf(stderr,
                 "usage: compare_forms SQ [--first SEED] [--count N] [--seconds S] [--jobs J] [--keep DIR]\n"
                 "       compare_forms SQ --show SEED\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) Usage();
    Runner run;
    run.sq = argv[1];
    uint64_t first = 1, count = 100;
    long show = -1;
    int seconds = 0, jobs = 1;
    std::string keep;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        if (i + 1 >= argc) Usage();
        const char* v = argv[++i];
        if (a == "--first") first = std::strtoull(v, nullptr, 10);
        else if (a == "--count") count = std::strtoull(v, nullptr, 10);
        else if (a == "--seconds") seconds = std::atoi(v);
        else if (a == "--jobs") jobs = std::max(1, std::atoi(v));
        else if (a == "--keep") keep = v;
        else if (a == "--show") show = std::atol(v);
        else Usage();
    }
    if (show >= 0) {
        Program p = Gen(static_cast<uint64_t>(show)).Make();
        std::printf("// natural\n%s\n// plain\n%s", Render(p, false).c_str(), Render(p, true).c_str());
        return 0;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/compare-forms-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        std::perror("compare_forms: mkdtemp");
        return 2;
    }
    run.dir = buf.data();

    const auto start = std::chrono::steady_clock::now();
    std::atomic<uint64_t> next{0}, done{0};
    std::atomic<int> failed{0};
    std::mutex outLock;
    auto work = [&](int worker) {
        for (;;) {
            if (seconds > 0 && std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds)) return;
            uint64_t i = next++;
            if (i >= count) return;
            const uint64_t seed = first + i;
            Program prog = Gen(seed).Make();
            std::string why = run.Compare(prog, worker);
            done++;
            if (why.empty()) continue;
            failed++;
            Program small = why.rfind("trace line", 0) == 0 ? run.Reduce(prog, worker, why) : prog;
            std::string nat = Render(small, false), pla = Render(small, true);
            std::lock_guard<std::mutex> g(outLock);
            std::printf("seed %llu: %s\n", static_cast<unsigned long long>(seed), why.c_str());
            std::printf("--- natural, cut down (compare_forms SQ --show %llu gives the whole program):\n%s",
                        static_cast<unsigned long long>(seed), nat.c_str() + std::strlen(kPrelude));
            std::printf("--- plain:\n%s\n", pla.c_str() + std::strlen(kPrelude));
            if (!keep.empty()) {
                mkdir(keep.c_str(), 0777);
                WriteFile(keep + "/seed-" + std::to_string(seed) + ".nut", nat);
                WriteFile(keep + "/seed-" + std::to_string(seed) + ".plain.nut", pla);
            }
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> threads;
    for (int j = 0; j < jobs; j++) threads.emplace_back(work, j);
    for (auto& t : threads) t.join();
    rmdir(run.dir.c_str());
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("compare_forms: seeds %llu.. : %llu programs in %.1f s, %d differ\n", static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(done.load()), secs, failed.load());
    return failed ? 1 : 0;
}
