function th(a) {
  print("in thread " + a + "\n");
  local r = suspend("s1");
  print("woken with " + r + "\n");
  local r2 = suspend();
  return "end" + r2;
}
local t = newthread(th);
print(t.getstatus() + "\n");
print(t.call(5) + "\n");
print(t.getstatus() + "\n");
print(typeof t.wakeup("w1") + "\n");
print(typeof t.wakeup("w2") + "\n");
print(t.getstatus() + "\n");
try { t.wakeup(1); } catch(e) { print(e + "\n"); }
// weakrefs
local obj = {};
local w = obj.weakref();
print((w.ref() == obj) + " " + typeof w + "\n");
obj = null;
print(w.ref() + "\n");
print((1).weakref() + "\n");
local holder = {};
local target = [1];
holder.w <- target.weakref();
print(typeof holder.w + "\n");
// read from an array, called from a table, read by bare name from a table and an instance this
class Holder { w = null; function kind() { return typeof w; } }
local inst = Holder();
inst.w = target.weakref();
local kind = function() { return typeof w; };
holder.kind <- kind.weakref();
local list = [target.weakref()], at = 0;
print(typeof list[at] + " " + holder.kind() + " " + inst.kind() + "\n");
// call helpers
function show(a, b) { return this.n + a + b; }
print(show.call({n = 1}, 2, 3) + " " + show.acall([{n = 10}, 1, 1]) + "\n");
local envt = {n = 100};
local bound = show.bindenv(envt);
print(bound(1, 1) + "\n");
// a bound conversion converts its environment, even when called with a number as this
local conv = (0).tointeger.bindenv(envt);
print(typeof (function(f) { return f(); }).call(2.5, conv) + "\n");
local inf = show.getinfos();
print(inf.name + " " + inf.parameters.len() + " " + inf.native + "\n");
// getstackinfos
function where() { local i = getstackinfos(1); return i.func + "@" + i.line; }
function caller() { return where(); }
print(caller() + "\n");
// compilestring
local f = compilestring("return 6*7");
print(f() + "\n");
try { compilestring("local ="); } catch(e) { print(e + "\n"); }
// error handler only for uncaught
seterrorhandler(function(e) { ::print("HANDLER: " + e + "\n"); });
try { throw "caught one"; } catch(e) { print("got " + e + "\n"); }
local cnt = 0;
print(type(null) + " " + type(1.0) + "\n");
// tail recursion
function loop(n) { if (n == 0) return "bottom"; return loop(n - 1); }
print(loop(100000) + "\n");
function deep(n) { return n == 0 ? 0 : 1 + deep(n - 1); }
try { deep(1000000); } catch(e) { print(e + "\n"); }
print(deep(1000) + "\n");
throw "uncaught!";
