local t = {};
t.a <- 1;
try { t.b = 2; } catch(e) { print(e + "\n"); }
print(("a" in t) + " " + ("b" in t) + " " + t.len() + "\n");
local proto = { function hello() { return "hello " + name; }, shared = 5 };
local obj = delegate proto : { name = "bob" };
print(obj.hello() + " " + obj.shared + "\n");
obj.shared = 6; print(proto.shared + "\n");
print((obj.parent == proto) + "\n");
local mt = {
  function _get(k) { return "dyn_" + k; }
  function _set(k, v) { ::print("set " + k + "=" + v + "\n"); }
  function _add(o) { return "added"; }
  function _tostring() { return "MT!"; }
  function _typeof() { return "mytype"; }
  function _call(self, a) { return "called " + a; }
  function _cmp(o) { return 0; }
  function _newslot(k, v) { ::print("newslot " + k + "\n"); }
  function _delslot(k) { ::print("delslot " + k + "\n"); return 99; }
};
local d = delegate mt : {};
print(d.zz + "\n");
d.q = 5;
print((d + 1) + "\n");
print(d + "\n");
print(typeof d + "\n");
print(d(7) + "\n");
d.newkey <- 3;
print((delete d.whatever) + "\n");
print(d.len() + "\n");
local tt = {x = 1};
print(delete tt.x);
print(" " + tt.len() + "\n");
try { delete tt.nope; } catch(e) { print(e + "\n"); }
// raw functions
local r = {a = 1};
print(r.rawget("a") + " " + r.rawin("a") + " " + r.rawin("b") + "\n");
r.rawset("b", 2); print(r.b + " " + r.rawdelete("b") + " " + r.rawdelete("zz") + "\n");
// root fallback
::gvar <- 42;
local env = { function f() { return gvar; } };
print(env.f() + "\n");
function setg() { gvar = 43; }
env.setg <- setg;
env.setg();
print(gvar + "\n");
try { undefinedvar = 1; } catch(e) { print(e + "\n"); }
try { print(undefinedvar2); } catch(e) { print(e + "\n"); }
// clone
local c1 = {a = [1,2]};
local c2 = clone c1;
c2.a.append(3);
print(c1.a.len() + "\n");
try { clone 1; } catch(e) { print(e + "\n"); }
// iteration order after deletes
local big = {};
for (local i = 0; i < 10; i++) big[i] <- i * i;
delete big[3]; delete big[7];
big["k"] <- "v";
foreach (k, v in big) print(k + ":" + v + " ");
print("\n");
local strs = {alpha = 1, beta = 2, gamma = 3, delta = 4, epsilon = 5};
foreach (k, v in strs) print(k + " ");
print("\n");
// one read of a global by its bare name while the root table loses the key, grows and takes it back
function readLookup() { return lookupG; }
::lookupG <- "first";
for (local round = 0; round < 3; round++) {
  print(readLookup() + " ");
  delete ::lookupG;
  ::lookupOther <- "other" + round;
  try { print(readLookup() + " "); } catch (e) { print("gone "); }
  for (local i = 0; i < 12 * (round + 1); i++) ::getroottable()["lookupPad" + round + "_" + i] <- i;
  ::lookupG <- "round" + round;
  delete ::lookupOther;
}
print(readLookup() + "\n");
// the same read with this alternating between tables of different sizes, one of them changing
function readW() { return w; }
local small = { w = "small" };
local big = {};
for (local i = 0; i < 40; i++) big["p" + i] <- i;
big.w <- "big";
local mid = { a = 1, b = 2, c = 3, w = "mid" };
foreach (t in [small, big, mid, big, small, mid, small]) print(readW.call(t) + " ");
delete big.w;
big.x <- "x";
for (local i = 40; i < 100; i++) big["p" + i] <- i;
big.w <- "big again";
print(readW.call(big) + " " + readW.call(small) + " " + readW.call(big) + "\n");
