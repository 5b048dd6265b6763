// Both operands of "delegate d : t" are comma expressions, evaluated left to right.
function note(s, v) { print(s + "\n"); return v; }
local proto = { function hello() { return "hello " + name; } };
local other = { function hello() { return "other " + name; } };

local obj = delegate note("d1", null), note("d2", proto) : note("t1", null), { name = "bob" };
print(obj.hello() + " " + (obj.parent == proto) + "\n");

local plain = {};
local res = delegate proto : note("skipped value", 0), plain;
print((res == plain) + " " + (plain.parent == proto) + "\n");

local pick = true;
local t = delegate pick ? other : proto : { name = "ann" };
print(t.hello() + "\n");

// Parenthesised operands still read as one expression each.
local u = delegate (1, other) : ({ name = "x" }, { name = "cy" });
print(u.hello() + "\n");

// The delegate can be taken away again with null.
delegate null : u;
print((u.parent == null) + "\n");
