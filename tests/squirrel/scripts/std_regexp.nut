// The regexp class: the engine's value-end pattern, anchors, classes, counted repetition,
// alternation, captures, and errors for malformed patterns.
function show(x) { print("" + x + "\n"); }
function range(r) { return r == null ? "none" : r.begin + ".." + r.end; }
function attempt(f) {
    try { return f(); } catch (e) { return "error: " + e; }
}

local valueEnd = regexp("\\n[\\-\\[]");
show(typeof valueEnd);
show(valueEnd.subexpcount());
show(range(valueEnd.search("abc\n-key")));
show(range(valueEnd.search("abc\n[T[")));
show(range(valueEnd.search("line\nnext\n-Key:")));
show(range(valueEnd.search("no key\nhere")));

show(range(regexp("^ab").search("xab")));
show(range(regexp("^ab").search("abab")));
show(range(regexp("b$").search("abab")));
show(regexp("^\\d+$").match("2024"));
show(regexp("^\\d+$").match("20x4"));

show(range(regexp("[a-c]+").search("xxbcay")));
show(range(regexp("[^0-9 ]+").search("12 ab3")));
show(range(regexp("[\\d\\-]+").search("tel 555-12 x")));
show(range(regexp("\\w+").search("  foo_1 bar")));
show(range(regexp("\\s+").search("a \t b")));

show(range(regexp("a{2}").search("baaa")));
show(range(regexp("a{2,3}").search("baaaa")));
show(range(regexp("a{2,}").search("baaaab")));
show(range(regexp("x{3}").search("xxaxx")));

show(range(regexp("cat|dog|bird").search("hotdog")));
show(range(regexp("(?:ab)+c").search("xababc")));

// repetitions stop where the following element matches; there is no backtracking
show(range(regexp(".*x").search("axbx")));
show(regexp("a*ab").match("aaab"));
show(range(regexp("a*ab").search("aaab")));

local pair = regexp("(\\w+)=(\\d+)");
show(pair.subexpcount());
foreach (m in pair.capture("x key=42;")) show(range(m));
show(pair.capture("nothing here") == null);
foreach (m in regexp("(x)?y").capture("zy")) show(range(m));

show(range(regexp("a").search("aXa", 1)));
show(range(regexp("a").search("aXa", 3)));
foreach (m in regexp("(b)").capture("abab", 2)) show(range(m));

show(attempt(function() { return regexp("(ab"); }));
show(attempt(function() { return regexp("[z-a]"); }));
show(attempt(function() { return regexp("[+-]"); }));
show(attempt(function() { return regexp("a{2"); }));
show(attempt(function() { return regexp("*"); }));
