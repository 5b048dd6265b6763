// String library: format conversions and errors, the strip family, split.
function show(x) { print("" + x + "\n"); }
function attempt(f) {
    try { return f(); } catch (e) { return "error: " + e; }
}

show(format("%d|%5d|%-5d|%05d|%+d", 42, 7, 7, -42, 5));
show(format("%x %X %o %u %#x", 255, 255, 8, -1, 255));
show(format("%c%c%c", 'S', 'q', 33));
show(format("%d %i %x", 3.9, -3.9, 16.5));
show(format("%.2f %f %e", 3, 1.5, 12345.0));
show(format("%g %g %G", 0.1, 1.0e20, 0.00001));
show(format("[%s] [%-6s] [%6s] [%.3s]", "abc", "ab", "ab", "abcdef"));
show(format("100%% of %d%%", 5));
show(format("extra args are ignored", 1, "two"));
show(format("%5.1f|%-8.3e|", 2.25, 1.0));

show(attempt(function() { return format("%d"); }));
show(attempt(function() { return format("%d %s", 1); }));
show(attempt(function() { return format("%d", "x"); }));
show(attempt(function() { return format("%d", true); }));
show(attempt(function() { return format("%f", "x"); }));
show(attempt(function() { return format("%s", 5); }));
show(attempt(function() { return format("%123d", 1); }));
show(attempt(function() { return format("%.123f", 1.0); }));
show(attempt(function() { return format("%*d", 1, 2); }));
show(attempt(function() { return format("%ld", 1); }));

show("[" + strip("  a b \t\n") + "]");
show("[" + lstrip("  a b  ") + "]");
show("[" + rstrip("  a b  ") + "]");
show("[" + strip("   ") + "]" + "[" + lstrip("   ") + "]" + "[" + rstrip("   ") + "]");
show("[" + strip("") + "]");

local parts = split("a,,b, c,", ", ");
show(parts.len());
foreach (i, p in parts) show(i + ":" + p);
show(split(",,,", ",").len());
show(split("abc", ";")[0]);
show(split("  two  words ", " ").len());
show(attempt(function() { return split("a", ""); }));
