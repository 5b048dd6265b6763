// Limits instead of crashes: long release chains, sorting reversed input, long delegate chains,
// deep nesting in the compiler, runaway recursion in scripts and through natives.
local l = null;
for (local i = 0; i < 1000000; i++) l = {next = l};
l = null;
local a = [];
for (local i = 3000; i > 0; i--) a.append(i);
a.sort();
print(a[0] + " " + a[2999] + "\n");
local d = {};
for (local i = 0; i < 5000; i++) d = delegate d : {};
d = null;
print("ok\n");
local e = {};
for (local i = 0; i < 5000; i++) e = delegate e : {};
try { e.missing; } catch (x) { print(x + "\n"); }
try { e.missing = 1; } catch (x) { print(x + "\n"); }
local src = "return ";
for (local i = 0; i < 1000; i++) src += "(";
src += "1";
for (local i = 0; i < 1000; i++) src += ")";
try { compilestring(src); } catch (x) { print(x + "\n"); }
function runaway(n) { return 1 + runaway(n + 1); }
try { runaway(0); } catch (x) { print(x + "\n"); }
function viaNative(n) { return 1 + viaNative.call(this, n + 1); }
try { viaNative(0); } catch (x) { print(x + "\n"); }
print("still running\n");
