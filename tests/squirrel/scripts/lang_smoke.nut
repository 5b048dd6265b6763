print("hello\n");
local a = 1 + 2 * 3;
print(a + "\n");
function fib(n) { return n < 2 ? n : fib(n-1) + fib(n-2); }
print(fib(20) + "\n");
local t = {x = 1, y = 2.5, z = "s"};
foreach (k, v in t) print(k + "=" + v + "\n");
local arr = [3, 1, 2];
arr.sort();
foreach (i, v in arr) print(i + ":" + v + " ");
print("\n");
class A {
  x = 0;
  constructor(v) { x = v; }
  function get() { return x * 2; }
}
local o = A(21);
print(o.get() + "\n");
local s = 0;
for (local i = 0; i < 10; i++) s += i;
print(s + "\n");
try { throw "boom"; } catch (e) { print("caught " + e + "\n"); }
function gen() { yield 1; yield 2; return 3; }
foreach (v in gen()) print("g" + v + "\n");
print(1.0/3 + "\n");
print(typeof null + " " + typeof 1 + " " + typeof 1.0 + "\n");
