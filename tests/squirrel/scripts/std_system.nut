// System library as the sq runner registers it: environment, time, date tables, file errors.
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

attempt("getenv unset", function() { return getenv("SQ_SURELY_UNSET_VARIABLE_42"); });
attempt("getenv bad", function() { return getenv(1); });
attempt("system bad", function() { return system(1); });
attempt("system ok", function() { return system("exit 0"); });
attempt("system exit code", function() { return system("exit 3"); });
attempt("clock type", function() { return typeof clock(); });
attempt("time type", function() { return typeof time(); });
attempt("time after 2020", function() { return time() > 1577836800; });
foreach (key in ["sec", "min", "hour", "day", "month", "year", "wday", "yday"]) {
    attempt("epoch " + key, function() : (key) { return date(0, 'u')[key]; });
}
attempt("leap day", function() { local d = date(951782400, 'u'); return d.year + "-" + d.month + "-" + d.day + " yday " + d.yday; });
attempt("date fields", function() { return date().len(); });
attempt("date bad", function() { return date("x"); });
attempt("remove missing", function() { return remove("no/such/dir/file.txt"); });
attempt("rename missing", function() { return rename("no/such/dir/a", "no/such/dir/b"); });
