class Base </ tag = "base" /> {
  name = "base";
  static COUNT = 10;
  </ help = "greet" />
  function greet() { return "I am " + name; }
  constructor() { ::print("Base ctor\n"); }
  function _tostring() { return "Base(" + name + ")"; }
}
class Derived extends Base {
  extra = null;
  constructor(e) { Base.constructor(); extra = e; name = "derived"; }
  function greet() { return Base.greet() + " with " + extra; }
}
local d = Derived(5);
print(d.greet() + "\n");
print(d + "\n");
print((d instanceof Derived) + " " + (d instanceof Base) + "\n");
print(Derived.COUNT + " " + d.COUNT + "\n");
print(Base.getattributes(null).tag + " " + Base.getattributes("greet").help + "\n");
try { Base.newmember <- 1; } catch(e) { print(e + "\n"); }
try { d.nope = 1; } catch(e) { print(e + "\n"); }
try { d.COUNT = 1; } catch(e) { print(e + "\n"); }
try { d.newslot <- 1; } catch(e) { print(e + "\n"); }
print((d.getclass() == Derived) + " " + d.rawin("extra") + " " + ("greet" in d) + "\n");
local inst = Base.instance();
print(inst.name + "\n");
class Vec {
  x = 0; y = 0;
  constructor(a, b) { x = a; y = b; }
  function _add(o) { return Vec(x + o.x, y + o.y); }
  function _sub(o) { return Vec(x - o.x, y - o.y); }
  function _mul(s) { return Vec(x * s, y * s); }
  function _unm() { return Vec(-x, -y); }
  function _cmp(o) { return x - o.x; }
  function _tostring() { return "(" + x + "," + y + ")"; }

  function _nexti(prev) { if (prev == null) return "x"; if (prev == "x") return "y"; return null; }
}
local v = Vec(1, 2) + Vec(3, 4);
print(v + " " + (v * 2) + " " + (-v) + " " + (Vec(1,1) < Vec(2,2)) + "\n");
foreach (k, val in v) print(k + "=" + val + " ");
print("\n");

// generators
function counter(n) { for (local i = 0; i < n; i++) yield i; return "done"; }
local g = counter(3);
print(typeof g + " " + g.getstatus() + "\n");
print(resume g); print(resume g); print(resume g); print(resume g); print("\n");
print(g.getstatus() + "\n");
try { resume g; } catch(e) { print(e + "\n"); }
foreach (i, x in counter(4)) print(i + "->" + x + " ");
print("\n");
// varargs
function va(a, ...) { local s = a; for (local i = 0; i < vargc; i++) s += vargv[i]; return s; }
print(va(1) + " " + va(1, 2, 3) + "\n");
try { va(); } catch(e) { print(e + "\n"); }
// defaults
function defs(a, b = 2, c = "c") { return a + "," + b + "," + c; }
print(defs(1) + " " + defs(1, 3) + " " + defs(1, 3, 4) + "\n");
try { defs(); } catch(e) { print(e + "\n"); }
try { defs(1,2,3,4); } catch(e) { print(e + "\n"); }
// free vars
local base = 10;
local adder = function(x) : (base) { return x + base; };
base = 20;
print(adder(1) + "\n");
// switch
function sw(x) {
  local r = "";
  switch (x) {
    case 1: r += "one";
    case 2: r += "two"; break;
    case "s": r += "str"; break;
    case -3: r += "neg"; break;
    case 100000: r += "big"; break;
    default: r += "def";
  }
  return r;
}
print(sw(1) + " " + sw(2) + " " + sw("s") + " " + sw(9) + "\n");
print(sw(2.0) + " " + sw(-3.0) + " " + sw(100000.0) + " " + sw(null) + " " + sw(true) + "\n");
// enum / const
enum Color { Red, Green = 5, Blue }
const PI2 = 6.28;
print(Color.Red + " " + Color.Green + " " + Color.Blue + " " + PI2 + "\n");
// while / do
local n = 0; while (n < 5) { n++; if (n == 3) continue; if (n == 4) break; }
print(n + "\n");
do { n--; } while (n > 0)
print(n + "\n");
// string functions
local str = "Hello World";
print(str.len() + " " + str.slice(0, 5) + " " + str.slice(-5) + " " + str.find("World") + " " + str.find("zz") + " " + str.toupper() + " " + str.tolower() + "\n");
print("12abc".tointeger() + " " + "3.7".tointeger() + " " + "1e5".tofloat() + " " + "2.5".tofloat() + " " + str[0] + "\n");
try { "abc".tointeger(); } catch(e) { print(e + "\n"); }
print((65).tochar() + " " + (3.9).tointeger() + " " + true.tofloat() + "\n");
// arrays
local a = [1, 2, 3];
a.push(4); a.insert(0, 0); print(a.len() + " " + a.pop() + " " + a.top() + " " + a.remove(0) + "\n");
a.resize(5, "x"); a.reverse();
foreach (e in a) print(e + " ");
print("\n");
local b = a.slice(1, 3); print(b.len() + " " + b[0] + "\n");
local arr2 = [5, 3, 8, 1]; arr2.sort(function(a, b) { return b - a; });
foreach (e in arr2) print(e + " ");
print("\n");
try { [].pop(); } catch(e) { print(e + "\n"); }
try { [].top(); } catch(e) { print(e + "\n"); }
try { [1][5]; } catch(e) { print(e + "\n"); }
local ar = array(3, 0); print(ar.len() + " " + ar[2] + "\n");
