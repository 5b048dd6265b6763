// A number literal as the right operand is compiled into the instruction; every such form
// must give what the same operation gives with the number in a variable. Numeric for
// loops are stepped by one instruction; they must run like the equivalent while loop.
class Num {
    v = 0;
    constructor(x) { v = x; }
    function _add(o) { return "add " + v + " " + o; }
    function _sub(o) { return "sub " + v + " " + o; }
    function _mul(o) { return "mul " + v + " " + o; }
    function _div(o) { return "div " + v + " " + o; }
    function _modulo(o) { return "mod " + v + " " + o; }
    function _cmp(o) { return v < o ? -1 : v > o ? 1 : 0; }
    function _tostring() { return "Num"; }
}

function has(list, x) {
    foreach (v in list) if (v == x) return true;
    return false;
}

function show(f, a, b) {
    try {
        local r = b == null ? f(a) : f(a, b);
        return typeof r + ":" + r;
    } catch (e) {
        return "error:" + e;
    }
}

local lefts = [7, -7, 0, 2147483647, 2.5, -0.5, "s", null, true, Num(2)];
local constants = ["3", "-1", "0", "127", "128", "-129", "2147483647", "1.5", "-2.0", "0.0"];
local ops = ["+", "-", "*", "/", "%", "&", "|", "^", "<<", ">>", ">>>", "<", "<=", ">", ">=", "==", "!="];
local compares = ["<", "<=", ">", ">=", "==", "!="];
local checked = 0;
foreach (op in ops) {
    local viaRegister = compilestring("return function(a, k) { return a " + op + " k; }")();
    foreach (k in constants) {
        local value = compilestring("return " + k)();
        local update = has(["+", "-", "*", "/", "%"], op) ? op + "= " + k : "= x " + op + " " + k;
        local forms = [compilestring("return function(a) { return a " + op + " " + k + "; }")(),
                       compilestring("return function(a) { local x = a; x " + update + "; return x; }")()];
        if (has(compares, op)) {
            forms.append(compilestring("return function(a) { if (a " + op + " " + k + ") return true; return false; }")());
            forms.append(compilestring("return function(a) { if (a " + op + " " + k + " || null) return true; return false; }")());
            // the constant is a local's own value: the test must not take its load away
            forms.append(compilestring("return function(a) { local x = " + k + "; if (a " + op + " x) return x != null; return x == null; }")());
        }
        foreach (a in lefts) {
            local want = show(viaRegister, a, value);
            foreach (n, f in forms) {
                local got = show(f, a, null);
                if (got != want) print(a + " " + op + " " + k + " form " + n + ": " + got + ", in a variable: " + want + "\n");
                checked++;
            }
        }
    }
}
print(checked + " constant operands checked\n");
print((7 / 2) + " " + (-7 % 3) + " " + (7.5 % 2) + " " + (2147483647 + 1) + " " + (5 * 0.5) + " " + (9 >> 1) + " " + (3 < 2.5) + "\n");

// numeric for loops: turns and the variable's last value, or the error
function runFor(src) {
    local f = compilestring("local turns = 0; local n = 3; " + src + " return turns;");
    try { return f(); } catch (e) { return "error: " + e; }
}
local loops = [
    "for (local i = 0; i < 5; i++) turns++;",
    "for (local i = 0; i <= 5; i++) turns++;",
    "for (local i = 5; i > -3; i--) turns++;",
    "for (local i = 5; i >= 0; i -= 2) turns++;",
    "for (local i = 0; i < 100; i += 15) turns++;",
    "for (local i = 0; i < n; i++) turns++;",
    "for (local i = 0; i < n; i++) { n--; turns++; }",
    "for (local i = 0; i < 10; i++) { i += 2; turns++; }",
    "for (local i = 0; i < 2.5; i++) turns++;",
    "for (local i = 0.5; i < 3; i++) turns++;",
    "for (local i = 0.25; i <= 1.0; i += 15) turns++;",
    "for (local i = 0; i < 3; i++) { if (i == 1) i = 1.5; turns++; }",
    "for (local i = 2147483645; i > 0; i++) turns++;",
    "for (local i = -2147483647; i < 0; i -= 5) turns++;",
    "for (local i = 0; i < 5; i++) { if (i & 1) continue; turns++; }",
    "for (local i = 0; i < 5; i++) { if (i == 3) break; turns++; }",
    "for (local i = 0; i < 5; i++) { turns++; i = null; }",
    "for (local i = 0; i < \"x\"; i++) turns++;",
    "for (local i = 0; i < 5; i++) { turns++; i = \"a\"; }",
    "for (local i = Num(0); i < 3; i++) turns++;",
    "for (local i = 0; i < 5; i++) { local j = i; turns += j; }",
    "local i = 7; for (; i < 9; i++) turns++; turns = turns * 100 + i;",
    "for (local i = 0; i < 3 ? true : i < 5; i++) turns++;",
    "for (local i = 100; i > 0; i += -20) turns++;",
];
foreach (src in loops) print(runFor(src) + " <- " + src + "\n");
