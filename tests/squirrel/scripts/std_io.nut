// I/O library on read-only inputs: directories and missing files are refused, reading this script back.
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

attempt("dofile directory", function() { return dofile("."); });
attempt("loadfile directory", function() { return loadfile("."); });
attempt("file directory", function() { return file(".", "r"); });
attempt("dofile missing", function() { return dofile("no_such_script.nut"); });
attempt("file missing", function() { return file("no_such_file.bin", "rb"); });
attempt("file bad mode type", function() { return file("std_io.nut", 1); });
attempt("loadfile type", function() { return typeof loadfile("std_io.nut"); });
local f = file("std_io.nut", "rb");
attempt("typeof", function() : (f) { return typeof f; });
attempt("first byte", function() : (f) { return f.readn('b'); });
attempt("tell", function() : (f) { return f.tell(); });
attempt("eos", function() : (f) { return f.eos(); });
attempt("seek end", function() : (f) { return f.seek(0, 'e'); });
attempt("eos at end", function() : (f) { return f.eos() == null ? "null" : "set"; });
attempt("readn at end", function() : (f) { return f.readn('i'); });
attempt("readblob at end", function() : (f) { return f.readblob(4); });
attempt("bad origin", function() : (f) { return f.seek(0, 'z'); });
attempt("write to read-only", function() : (f) { return f.writen(1, 'b'); });
attempt("head", function() : (f) { f.seek(0); local b = f.readblob(2); return b[0] + " " + b[1] + " " + b.len(); });
