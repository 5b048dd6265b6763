// Class metamethods (_inherited, _newmember, _cloned, _typeof, _call, _delslot, _set, _get),
// class iteration, statics, class changes before instantiation, weak references in fields.
class Base {
  function _inherited(attrs) { ::print("inherited by class with attrs " + (attrs == null ? "null" : attrs.tag) + "\n"); }
  function _newmember(key, value, attrs) {
    ::print("newmember " + key + (attrs == null ? "" : " attrs " + attrs.doc) + "\n");
    this.rawnew <- value;
  }
}
class Child extends Base </ tag = "child" /> {
  x = 1;
  </ doc = "the y" />
  y = 2;
  function f() { return 3; }
}
print(("x" in Child) + " " + ("rawnew" in Child) + "\n");
class Cl {
  v = 0;
  constructor(n) { v = n; }
  function _cloned(orig) { ::print("cloned from " + orig.v + "\n"); v = orig.v * 10; }
  function _typeof() { return "Cl"; }
  function _call(self, a, b) { return v + a + b; }
  function _delslot(k) { return "deleted " + k; }
  function _set(k, val) { ::print("set " + k + "\n"); }
  function _get(k) { if (k == "magic") return 42; throw "no " + k; }
}
local c = Cl(4);
local d = clone c;
print(d.v + " " + typeof d + " " + c(1, 2) + " " + (delete c.anything) + " " + c.magic + "\n");
c.other = 5;
try { c.nothing; } catch (e) { print(e + "\n"); }
foreach (k, v in Child) print(k + "=" + (typeof v) + " ");
print("\n");
local t = {};
local cloned = delegate { function _cloned(o) { ::print("table cloned, orig len " + o.len() + "\n"); } } : {a = 1};
local c2 = clone cloned;
print(c2.a + "\n");
local ua = [1, 2];
local ub = clone ua; ub.append(3); print(ua.len() + " " + ub.len() + "\n");
// statics and class modification before instantiation
class S { static count = 0; function inc() { return count + 1; } }
S.extra <- function() { return "extra"; };
S.count <- 5;
print(S().inc() + " " + S().extra() + "\n");
try { S.count = 1; } catch (e) { print(e + "\n"); }
// weakrefs of instances in class fields
class Holder { w = null; }
local h = Holder(); local target = {n = 1}; h.w = target.weakref();
print(h.w.n + "\n");
target = null;
print((h.w == null) + "\n");
// ++ and -- always go through _add with +1 / -1 (never _sub); a failing metamethod
// gives the generic text (or the plain type name for _typeof)
class Counter {
  v = 0;
  constructor(x) { v = x; }
  function _add(o) { print("_add " + o + "\n"); return Counter(v + o); }
  function _sub(o) { print("_sub " + o + "\n"); return Counter(v - o); }
  function _typeof() { throw "no name"; }
  function _unm() { throw "no negation"; }
  function _mul(o) { throw "no product"; }
}
local cn = Counter(5);
cn--; cn++; --cn; cn -= 2;
print(cn.v + " " + typeof cn + "\n");
try { -cn; } catch (e) { print(e + "\n"); }
try { cn * 2; } catch (e) { print(e + "\n"); }
local text = "n"; text--; print(text + "\n");
