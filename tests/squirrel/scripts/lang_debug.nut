// Debug support: stack infos with locals, the debug hook's call/return/line events.
function inspect(a, b) {
    local sum = a + b;
    local info = getstackinfos(1);
    local names = [];
    foreach (k, v in info.locals) if (k != "this") names.append(k + "=" + v);
    names.sort();
    local s = "";
    foreach (n in names) s += n + " ";
    print(info.func + " " + info.line + " " + s + "\n");
    print((getstackinfos(0).src) + " " + getstackinfos(0).func + " " + getstackinfos(0).line + "\n");
    return sum;
}
inspect(1, 2);
print(getstackinfos(50) + "\n");
local events = [];
function traced(x) {
    local y = x * 2;
    return y;
}
enabledebuginfo(true);
local code = compilestring("local r = traced(3);\nreturn r;", "dbg");
setdebughook(function(type, src, line, fname) {
    if (fname == "traced" || src == "dbg") ::events.append(type.tochar() + ":" + fname + ":" + line);
});
::events <- events;
code();
setdebughook(null);
foreach (e in events) print(e + "\n");
// a hook set inside running calls sees them return
::rets <- "";
function hooked() {
    setdebughook(function(type, src, line, fname) { if (type == 'r') ::rets += fname + " "; });
    return 1;
}
function caller() { local v = hooked(); return v + 1; }
caller();
setdebughook(null);
print(::rets + "\n");
