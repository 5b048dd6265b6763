// Runtime error texts that scripts see in catch blocks: iteration, generators, threads, slots, keys.
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

class Plain { x = 1; }

// _nexti hands out keys; a key that _get cannot read ends the loop with its own text
class Keys {
    last = 0;
    constructor(n) { last = n; }
    function _nexti(prev) { if (prev == null) return 0; return prev < last ? prev + 1 : null; }
    function _get(k) { if (k < 2) return k * 10; throw "unreadable"; }
}
attempt("nexti in range", function() { local s = ""; foreach (k, v in Keys(1)) s += k + ":" + v + " "; return s; });
attempt("nexti invalid idx", function() { local s = ""; foreach (k, v in Keys(3)) s += k + ":" + v + " "; return s; });
attempt("instance without nexti", function() { foreach (k, v in Plain()) {} return "no"; });

// a generator that resumes itself, and one that has finished
::selfish <- null;
::selfish = (function() { resume ::selfish; yield 1; })();
attempt("resume active", function() { return resume ::selfish; });
attempt("resume dead", function() { return resume ::selfish; });
attempt("resume non-generator", function() { return resume [1]; });

// a thread cannot suspend from inside a native (the sort comparator)
local sorter = newthread(function() { local a = [2, 1]; a.sort(function(x, y) { suspend(0); return x - y; }); return a[0]; });
attempt("suspend through native", function() : (sorter) { return sorter.call(); });
attempt("thread after error", function() : (sorter) { return sorter.getstatus(); });
attempt("wakeup idle", function() : (sorter) { return sorter.wakeup(); });

// delete on the wrong kinds of container
attempt("delete array item", function() { local a = [1, 2]; delete a[0]; });
attempt("delete instance field", function() { local p = Plain(); delete p.x; });
attempt("delete class member", function() { delete Plain.x; });
attempt("delete missing", function() { local t = {}; delete t.nope; });

// null keys: reading and assigning name the key, creating one is refused
attempt("null key read", function() { local t = {}; return t[null]; });
attempt("null key assign", function() { local t = {}; t[null] = 1; });
attempt("null key new slot", function() { local t = {}; t[null] <- 1; });
attempt("new slot on instance", function() { local p = Plain(); p.y <- 1; });
attempt("new slot in array", function() { local a = [1]; a[1] <- 2; });

// floats in messages use 14 significant digits of the stored single-precision value
attempt("float key", function() { local t = {}; return t[0.1]; });
attempt("float compare", function() { return 0.1 < "a"; });
attempt("long key cut", function() { local t = {}; return t["0123456789012345678901234567890123456789012345678901234567890"]; });

// attributes: setattributes answers the previous table
class Tagged </ kind = "c" /> { </ unit = "px" /> width = 0; }
attempt("setattributes previous", function() { return Tagged.setattributes("width", { unit = "em" }).unit + " " + Tagged.getattributes("width").unit; });
attempt("class attributes", function() { return Tagged.getattributes(null).kind; });
attempt("attributes missing member", function() { return Tagged.getattributes("height"); });
