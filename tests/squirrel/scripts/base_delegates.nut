// Default delegates and base globals: return values, receiver and argument checks, error texts.
function attempt(name, f) {
    local r;
    try {
        r = f();
        r = (r == null ? "null" : r.tostring()) + " (" + typeof r + ")";
    } catch (e) {
        r = "error: " + e;
    }
    print(name + " -> " + r + "\n");
}

// thread methods check their receiver themselves
local th = newthread(function(x) { suspend(x * 2); return "done"; });
attempt("wakeup on integer", function() : (th) { return th.wakeup.pcall(5); });
attempt("call on string", function() : (th) { return th.call.pcall("s"); });
attempt("getstatus on integer", function() : (th) { return th.getstatus.pcall(5); });
attempt("first call", function() : (th) { return th.call(21); });
attempt("call while suspended", function() : (th) { return th.call(1); });
attempt("status", function() : (th) { return th.getstatus(); });
attempt("wakeup", function() : (th) { return th.wakeup(); });
attempt("wakeup idle", function() : (th) { return th.wakeup(); });

// array.resize checks its size itself
local a = [1, 2];
attempt("resize string", function() : (a) { return a.resize("x"); });
attempt("resize null", function() : (a) { return a.resize(null); });
attempt("resize float", function() : (a) { a.resize(3.9, "f"); return a.len() + " " + a[2]; });
attempt("resize negative", function() : (a) { return a.resize(-1); });

// mutators return null; pop/remove return the element
local b = [3, 1, 2];
attempt("append", function() : (b) { return b.append(4); });
attempt("push", function() : (b) { return b.push(5); });
attempt("extend", function() : (b) { return b.extend([6]); });
attempt("insert", function() : (b) { return b.insert(0, 0); });
attempt("sort", function() : (b) { return b.sort(); });
attempt("reverse", function() : (b) { return b.reverse(); });
attempt("pop", function() : (b) { return b.pop(); });
attempt("remove", function() : (b) { return b.remove(0); });
attempt("insert past end", function() : (b) { return b.insert(99, 1); });
attempt("remove past end", function() : (b) { return b.remove(99); });
attempt("clear", function() : (b) { return b.clear(); });
attempt("pop empty", function() : (b) { return b.pop(); });
attempt("top empty", function() : (b) { return b.top(); });
attempt("sort bad cmp", function() { return [2, 1].sort(1); });
attempt("sort throwing cmp", function() { return [2, 1].sort(function(x, y) { throw 5; }); });
// a comparator that cannot take the arguments keeps no reference to them
sorted <- null;
attempt("sort cmp of one parameter", function() {
    local a = [{}, {}];
    ::sorted = a[0].weakref();
    return a.sort(function(x) { return 0; });
});
attempt("its arguments released", function() { return ::sorted == null; });
// a comparator that replaces every element, the pivot too, and then empties the array
attempt("sort cmp changing the array", function() {
    local a = [[3], [1], [4], [1], [5], [9], [2], [6]];
    local calls = [0];
    return a.sort(function(x, y) : (a, calls) {
        foreach (i, e in a) a[i] = [e[0]];
        if (++calls[0] == 9) a.clear();
        return x[0] - y[0];
    });
});

// table raw access
local t = {a = 1};
attempt("rawset", function() : (t) { return t.rawset("b", 2); });
attempt("rawget missing", function() : (t) { return t.rawget("z"); });
attempt("rawdelete", function() : (t) { return t.rawdelete("b"); });
attempt("rawdelete missing", function() : (t) { return t.rawdelete("b"); });
attempt("rawset null key", function() : (t) { return t.rawset(null, 1); });

// numbers' methods, and functions called straight from an array element
attempt("int tointeger", function() { return (7).tointeger(); });
attempt("int tofloat", function() { return (7).tofloat(); });
attempt("negative float tointeger", function() { return (-2.75).tointeger(); });
attempt("huge float tointeger", function() { return (3000000000.0).tointeger(); });
attempt("float tofloat", function() { local f = 0.5; return f.tofloat(); });
attempt("bool tointeger", function() { return true.tointeger(); });
attempt("result into the receiver", function() { local f = 1.5; f = f.tointeger(); return f; });
attempt("tointeger with argument", function() { return (1.5).tointeger(2); });
attempt("string tointeger on a float", function() {
    local m = "1".tointeger;
    return function() : (m) { try { return m(); } catch (e) { return e; } }.call(2.5);
});
local fns = [function(x) { return x + 1; }, function(x) { return this; }];
attempt("array element call", function() : (fns) { return fns[0](1); });
attempt("array element this", function() : (fns) { return fns[1](0) == fns; });
attempt("array element past end", function() : (fns) { return fns[2](0); });
attempt("array element negative", function() : (fns) { return fns[-1](0); });
attempt("array element float index", function() : (fns) { return fns[0.5](1); });

// string conversions and slicing
attempt("12abc", function() { return "12abc".tointeger(); });
attempt("3.7 tointeger", function() { return "3.7".tointeger(); });
attempt("1e5 tofloat", function() { return "1e5".tofloat(); });
attempt("0x1F", function() { return "0x1F".tointeger(); });
attempt("not a number", function() { return "abc".tofloat(); });
attempt("too big", function() { return "99999999999".tointeger(); });
attempt("too small", function() { return "-99999999999".tointeger(); });
attempt("too big float", function() { return "99999999999".tofloat(); });
attempt("slice -3,-1", function() { return "hello".slice(-3, -1); });
attempt("slice 3,1", function() { return "hello".slice(3, 1); });
attempt("slice 0,9", function() { return "hello".slice(0, 9); });
attempt("slice -9", function() { return "hello".slice(-9); });
attempt("find past end", function() { return "hello".find("h", 9); });
attempt("find negative", function() { return "hello".find("h", -1); });

// base globals
attempt("setroottable", function() { return setroottable(getroottable()); });
attempt("setconsttable", function() { return setconsttable(getconsttable()); });
attempt("setroottable bad", function() { return setroottable(1); });
attempt("setconsttable bad", function() { return setconsttable(1); });
attempt("compilestring name", function() { return compilestring("return getstackinfos(1).src")(); });
attempt("compilestring error", function() { return compilestring("return 5 +"); });
attempt("assert false", function() { return assert(false); });
attempt("array float size", function() { return array(2.5, "x").len(); });
attempt("type of print", function() { return type(print); });
attempt("_version_", function() { return _version_; });
attempt("_intsize_", function() { return _intsize_; });
attempt("getstackinfos 0", function() { local i = getstackinfos(0); return i.func + " " + i.src + " " + i.line; });
attempt("getstackinfos past end", function() { return getstackinfos(99); });
attempt("print arity", function() { return print(1, 2); });
