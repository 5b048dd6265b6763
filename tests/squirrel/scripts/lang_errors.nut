// Error texts, catch versus the uncaught-only handler, and the report of an uncaught error.
local cases = [
    function() { local t = {}; return t.missing; },
    function() { local a = [1, 2]; return a[2]; },
    function() { return "abc"[-1]; },
    function() { local x = null; x(); },
    function() { return 1 + {}; },
    function() { return {} < []; },
    function() { return "a" | 1; },
    function() { return 5 instanceof {}; },
    function() { return [].top(); },
    function() { local t = {}; t.a = 1; },
    function() { local t = {}; t[null] <- 1; },
    function() { return clone "s"; },
    function() { foreach (x in 5) {} },
    function() { local g = (function() { yield 1; })(); resume g; resume g; resume g; },
    function() { resume 3; },
    function() { delegate 1 : {}; },
    function() { return (1).parent; },
    function() { class A {}; class B extends A {}; B(); A.x <- 1; },
    function() { class A { x = 1 }; local i = A(); i.y <- 2; },
    function() { class A {}; local i = A(); i.foo(); },
    function() { return vargc + vargv[0]; },
    function() { print(1, 2); },
    function() { return "x".slice(2); },
    function() { return "abcdef".slice(3, 1); },
    function() { assert(false); },
    function() { return "x".find(); },
    function() { throw { code = 7 }; },
    function() { local a = [1, 2]; a[-1] = 9; },
];
foreach (i, f in cases) {
    try {
        f();
        print(i + ": no error\n");
    } catch (e) {
        print(i + ": " + (typeof e == "string" ? e : "table " + e.code) + "\n");
    }
}
seterrorhandler(function(e) { ::print("handler saw: " + e + "\n"); });
try { throw "inside try"; } catch (e) { print("caught: " + e + "\n"); }
local pc = function() { throw "via pcall"; };
try { pc.pcall(this); } catch (e) { print("caught: " + e + "\n"); }
function level2(a) { local inner = a * 2; return inner.nofield; }
function level1() { return level2(21); }
level1();
