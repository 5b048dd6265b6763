// Register use in nested expressions, chained assignments, compound operators, loops with try.
local t = {a = {b = [1, 2, {c = 3}]}, f = function(x) { return x * 2; }};
print(t.a.b[2].c + t.f(t.a.b[1]) + "\n");
local arr = [1, 2, 3];
arr[arr[0]] = arr[2] + arr[1];
print(arr[1] + "\n");
local x = 1, y = 2, z = 3;
x = y = z;
print(x + " " + y + " " + z + "\n");
local q = {}; q.a <- q.b <- 5; print(q.a + q.b + "\n");
local m = [[1, 2], [3, 4]];
m[1][0] += m[0][1] * 10;
print(m[1][0] + "\n");
local cnt = {n = 0};
cnt.n++; ++cnt.n; cnt.n += 3; print(cnt.n + " " + (cnt.n++) + " " + cnt.n + "\n");
local arr2 = [0, 0]; arr2[1]++; arr2[1]--; arr2[1] += 7; print(arr2[1] + "\n");
function mk(a, b, c) { return {s = a + b + c, list = [a, b, c]}; }
print(mk(1, mk(2, 3, 4).s, 5).list[1] + "\n");
local s = 0;
for (local i = 0, j = 10; i < j; i++, j--) s += i * j;
print(s + "\n");
local nested = function(a) { return function(b) : (a) { return a * b; }; };
print(nested(6)(7) + "\n");
local str = "";
foreach (i, v in [10, 20, 30]) { foreach (k, w in {p = 1}) str += i + k + w + v + ";"; }
print(str + "\n");
local tern = 5 > 3 ? (2 > 1 ? "a" : "b") : "c";
print(tern + "\n");
local o = { v = 1, function get() { return v; }, function set(n) { v = n; return this; } };
print(o.set(5).set(6).get() + "\n");
local sum = 0;
local i = 0;
while (true) { i++; if (i > 100) break; if (i % 2) continue; sum += i; }
print(sum + "\n");
local lst = [];
for (local i = 0; i < 5; i++) { local sq = i * i; lst.push(function() : (sq) { return sq; }); }
local r = ""; foreach (f in lst) r += f() + ","; print(r + "\n");
local a2 = [5, 4, 3];
local b2 = a2; b2[0] = 9; print(a2[0] + "\n");
print((function(...) { return vargc; })(1, 2, 3) + "\n");
local chain = "a" + ("b" + ("c" + ("d" + 1)));
print(chain + "\n");
local bits = ((0xF0 | 0x0F) & 0x3C) ^ 0xFF;
print(bits + " " + (1 << 4 >> 2) + "\n");
local neg = -(-5) + - - 3;
print(neg + "\n");
local c1 = 0; local res = (c1 = 3) + c1; print(res + "\n");
local longexpr = 1+2*3-4/2+5%3*(6-(7-8)*9)-10;
print(longexpr + "\n");
print(("abc" in {abc = 1}) && !("x" in {}) + "\n");
local tt = {}; tt[1] <- "int"; tt[1.0] <- "float"; tt["1"] <- "str";
print(tt[1] + tt[1.0] + tt["1"] + " " + tt.len() + "\n");
switch ("b") { case "a": print("A"); case "b": print("B"); case "c": print("C"); break; default: print("D"); }
print("\n");
local e = 0; try { try { throw "in"; } catch (x) { e += 1; throw x + "2"; } } catch (y) { print(y + " " + e + "\n"); }
function early(n) { for (local i = 0; i < 10; i++) { try { if (i == n) return i * 10; } catch (e) {} } return -1; }
print(early(3) + " " + early(20) + "\n");
local loopres = 0;
foreach (v in [1, 2, 3, 4]) { try { if (v == 2) continue; if (v == 4) break; loopres += v; } catch (e) {} }
print(loopres + "\n");
// a local used as a slot's key is read when the store runs, after the value
local kt = [0, 0, 0, 0], ki = 0;
kt[ki] = ki++; kt[ki] += ki++; kt[ki]++;
local ku = {}, kk = "a"; ku[kk] <- (kk = "b");
print(kt[0] + " " + kt[1] + " " + kt[2] + " " + ki + " " + ("a" in ku) + "\n");
// a compound assignment runs its right side first and reads the target afterwards
::ct <- {a = 1, b = [10], c = 7, d = 8};
::cg <- 5;
::ran <- 0;
function after(f) { f(); ::ran++; return 2; }
local ck = "c";
cg *= after(function() { ::cg = 50; }); print(cg + " ");
ct.a += after(function() { ::ct.a = 100; }); print(ct.a + " ");
ct.b[0] -= after(function() { ::ct.b[0] = 20; }); print(ct.b[0] + " ");
ct[ck] %= after(function() { ::ct.c = 30; }); print(ct.c + " ");
ct.d /= after(function() { ::ct.d = 40; }); print(ct.d + " ");
try { ct.none += after(function() {}); } catch (e) { print(e + " "); }
print(ran + "\n");
// ||/&& deciding a statement: operands run left to right and stop once the outcome is known
::seen <- [];
function mark(n, v) { ::seen.append(n); return v; }
if (mark(1, 0) || mark(2, null) && mark(3, 1) || mark(4, "x")) seen.append("then");
while (mark(5, 1) && mark(6, 0.0)) seen.append("never");
for (local i = 0; mark(7, i < 1) || mark(8, false); i++) seen.append("body");
do seen.append("do"); while (mark(9, false) || mark(10, 0) && mark(11, 1));
if (mark(12, null) || "a" in {a = 1} && mark(13, 1) == 1, mark(14, false) || mark(15, true)) seen.append("comma");
local picked = mark(16, 2) > 1 || mark(17, 0) ? "yes" : "no";
local line = picked + " " + (mark(18, null) || mark(19, 0) && 1);
foreach (s in seen) line += " " + s;
print(line + "\n");
print((1 > 2 || "s") + " " + (1 < 2 && "s") + " " + (1 > 2 && "s") + " " + (1 < 2 || "s") + "\n");
// a bracketed ||/&& chain decided early is still an operand: what stands before or after the
// bracket applies to its value, wherever the outer chain is used. Each row is an expression
// over the locals below and the literal its value must equal; every form wraps the row.
local chainRows = [
    ["z || (two || z) * 3", "6"], ["z || (z && one) + 5", "5"], ["one && (one || z) + 5", "6"],
    ["t || !(u || u)", "false"], ["t || !(t && u)", "true"], ["t || -(two || z)", "-2"],
    ["t || ~(one || z)", "-2"], ["t || typeof (one || z)", "\"integer\""],
    ["z || 3 * (two || z)", "6"], ["z || 10 - (z && one)", "10"], ["(two || z) * 3 || z", "6"],
    ["z || ((z || two) * 3 || one) + 1", "7"], ["one && (one && (z || two) + 1) * 2", "6"],
    ["t || !(one > two || t)", "true"], ["z || (one < two && two) * 5", "10"],
    ["z || (two || z) == 2", "true"], ["z || (z || two) == 3", "false"], ["z || (two || z) > 1", "true"],
    ["n || (s || n) + \"x\"", "\"sx\""], ["u && !(t || n) && (z || one) - 1", "0"],
    ["t || (u && !(t || !(z || u)))", "true"], ["t || !(one && (z || t))", "true"],
];
// a form marked true returns the chain's value, the others its truth
local chainForms = [
    ["value", true, "return E;"],
    ["local", true, "local x = E; return x;"],
    ["argument", true, "return id(0, E, 1)[1];"],
    ["constructor", true, "return C(E).v;"],
    ["array", true, "return [E][0];"],
    ["table", true, "return {v = E}.v;"],
    ["inside or", true, "return null || (E);"],
    ["inside and", true, "return 1 && (E);"],
    ["if", false, "if (E) return true; return false;"],
    ["if not", false, "if (!(E)) return false; return true;"],
    ["while", false, "while (E) return true; return false;"],
    ["do-while", false, "local n = 0; do { if (++n == 2) return true; } while (E); return false;"],
    ["for", false, "for (; E;) return true; return false;"],
    ["ternary", false, "return (E) ? true : false;"],
    ["ternary bare", false, "return E ? true : false;"],
];
local chainChecks = 0, chainWrong = 0;
foreach (row in chainRows) {
    local want = compilestring("return " + row[1] + ";")();
    local truth = false;
    if (want) truth = true;
    foreach (form in chainForms) {
        local at = form[2].find("E");
        local src = "local z = 0, one = 1, two = 2, t = false, u = true, n = null, s = \"s\";\n" +
            "local id = function(...) { local a = []; for (local i = 0; i < vargc; i++) a.append(vargv[i]); return a; };\n" +
            "local C = class { v = null; constructor(x) { v = x; } };\n" +
            form[2].slice(0, at) + row[0] + form[2].slice(at + 1);
        local got = compilestring(src)();
        local expected = form[1] ? want : truth;
        chainChecks++;
        if (typeof got != typeof expected || got != expected) {
            chainWrong++;
            print(row[0] + " (" + form[0] + "): got " + got + ", want " + expected + "\n");
        }
    }
}
print(chainRows.len() + " chains, " + chainChecks + " checks, " + chainWrong + " wrong\n");
