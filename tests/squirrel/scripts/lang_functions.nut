// Functions: default values, varargs, free variables, call helpers and function descriptions.
function attempt(name, f) {
    local r;
    try {
        r = f();
        r = (r == null ? "null" : r.tostring());
    } catch (e) {
        r = "error: " + e;
    }
    print(name + " -> " + r + "\n");
}

// default values are evaluated when the function expression runs, and shared by its calls
function maker() { ::made++; return []; }
::made <- 0;
local collect = function(x, bag = maker()) { bag.append(x); return bag.len(); };
attempt("shared default", function() : (collect) { return collect(1) + " " + collect(2) + " " + ::made; });
attempt("fresh closure fresh default", function() { local f = function(bag = ::maker()) { return bag.len(); }; return f() + " " + ::made; });
attempt("bare local default read when made", function() { local x = 1; local f = function(a = x, b = x++) { return a + " " + b; }; return f(); });
attempt("too few with defaults", function() { local f = function(a, b, c = 1) { return a; }; return f(1); });
attempt("too many", function() { local f = function(a, b = 1) { return a; }; return f(1, 2, 3); });

// varargs
local va = function(...) { local s = ""; for (local i = 0; i < vargc; i++) s += vargv[i]; return s + "/" + vargc; };
attempt("varargs", function() : (va) { return va(1, "b", 2.5); });
attempt("no extra args", function() { return (function(...) { return vargv[0]; })(); });
attempt("vargv out of range", function() { return (function(...) { return vargv[2]; })(1, 2); });
attempt("vargv float index", function() { return (function(...) { return vargv[1.9]; })("a", "b"); });
attempt("vargv string index", function() { return (function(...) { return vargv["0"]; })(1); });
attempt("vargc outside varargs", function() { return vargc; });

// free variables are copies: += and ++ change only the copy of this call
local count = 10;
local bump = function() : (count) { count += 5; count++; return count; };
count = 99;
attempt("free copy", function() : (bump) { return bump() + " " + bump(); });
attempt("outer unchanged", function() : (count) { return count; });
::onlyglobal <- "g";
attempt("capture by name", function() { local f = function() : (onlyglobal) { return onlyglobal; }; ::onlyglobal = "changed"; return f(); });
attempt("capture missing", function() { local f = function() : (nosuchname) { return 1; }; return "made"; });

// call helpers
local who = function(a = "-") { return (this.rawin("tag") ? this.tag : "root") + a; };
local tagged = { tag = "T" };
attempt("call", function() : (who, tagged) { return who.call(tagged, "!"); });
attempt("pcall", function() : (who, tagged) { return who.pcall(tagged); });
attempt("acall", function() : (who, tagged) { return who.acall([tagged, "?"]); });
attempt("pacall", function() : (who, tagged) { return who.pacall([tagged]); });
attempt("bindenv", function() : (who, tagged) { local b = who.bindenv(tagged); return b() + b.call(getroottable(), "+"); });
attempt("bindenv on number", function() : (who) { return who.bindenv(1); });

// a class method called through the class keeps the caller's this
class Base { name = "base"; function describe() { return "I am " + this.name; } }
class Derived extends Base { name = "derived"; function describe() { return Base.describe() + "!"; } }
attempt("base call", function() { return Derived().describe(); });
attempt("class call from root", function() { ::name <- "root"; return Base.describe(); });

// _call receives the object, the caller's this, then the arguments
class Callable { function _call(self, a, b) { return (typeof self) + " " + a + b; } }
attempt("_call", function() { return Callable()(1, 2); });

// function descriptions
attempt("getinfos script", function() {
    local i = (function(a, b) {}).getinfos();
    local p = ""; foreach (x in i.parameters) p += x + " ";
    return i.native + " " + i.name + " " + p + i.varargs;
});
attempt("getinfos varargs", function() {
    local i = (function(a, ...) {}).getinfos();
    local p = ""; foreach (x in i.parameters) p += x + " ";
    return p + i.varargs;
});
attempt("getinfos native", function() { local i = split.getinfos(); return i.native + " " + i.name + " " + i.paramscheck; });
// frames drop their functions once: on return, on a tail call, when an error unwinds them
function frameChain(n) { if (n > 3) throw "deep " + n; return frameChain(n + 1); }
local runner = function(n, m = 0) { local r = frameChain(n + m); return r; };
local twice = function(n) { return n * 2; };
local held = runner.weakref(), kept = twice.weakref();
try { runner(0); } catch (e) { print(e + "\n"); }
try { frameChain(2); } catch (e) { print(e + "\n"); }
print(twice(21) + " " + (held.ref() != null) + " " + (kept.ref() != null) + "\n");
runner = null;
twice = null;
print((held.ref() == null) + " " + (kept.ref() == null) + "\n");
