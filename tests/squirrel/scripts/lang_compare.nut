// Comparison operators in every instruction form the compiler emits for them: a register result,
// a small integer or a loaded constant as an operand, and compare-and-jump in if, while, for,
// do-while, the ternary and the ||/&& chains of conditions, besides the tests of ! and of || as
// a value. Each row says how a compares with b; every form of every operator must agree with it.
// Operands are source text, so constants are compiled in place.
local rows = [
    // int / int, extremes included (a wrapped subtraction gets them wrong)
    ["1", "2", "below"], ["2", "2", "equal"], ["3", "2", "above"],
    ["2147483647", "-2", "above"], ["-2147483647", "2", "below"], ["-7", "-7", "equal"],
    // int / constant: the small-integer operand, its ends, and constants that need a load
    ["2", "3", "below"], ["3", "3", "equal"], ["4", "3", "above"],
    ["-6", "-5", "below"], ["-5", "-5", "equal"], ["-4", "-5", "above"],
    ["126", "127", "below"], ["127", "127", "equal"], ["-127", "-128", "above"],
    ["127", "128", "below"], ["128", "128", "equal"], ["1001", "1000", "above"],
    // float / float
    ["1.5", "2.5", "below"], ["2.5", "2.5", "equal"], ["3.5", "2.5", "above"],
    ["-0.0", "0.0", "equal"], ["-1.25", "-1.0", "below"], ["(0.0/0.0)", "1.0", "unordered"],
    // int / float and float / int
    ["1", "1.5", "below"], ["2", "2.0", "equal"], ["3", "2.5", "above"],
    ["1.5", "2", "below"], ["2.0", "2", "equal"], ["2.5", "2", "above"],
    ["16777216.0", "16777216", "equal"], ["-0.5", "0", "below"], ["0.5", "0", "above"],
    // string / string
    ["\"abc\"", "\"abd\"", "below"], ["\"abc\"", "\"abc\"", "equal"], ["\"abd\"", "\"abc\"", "above"],
    ["\"ab\"", "\"abc\"", "below"], ["\"\"", "\"\"", "equal"], ["\"b\"", "\"abc\"", "above"],
    // null: smaller than anything else, equal to itself
    ["null", "null", "equal"], ["null", "0", "below"], ["\"x\"", "null", "above"],
    ["null", "-1.5", "below"], ["3", "null", "above"],
    // bool / bool
    ["false", "true", "below"], ["true", "true", "equal"],
];

// what each operator gives for each relation, spelled out rather than computed with the
// operators under test
local want = {
    below = {lt = true, le = true, gt = false, ge = false, eq = false, ne = true},
    equal = {lt = false, le = true, gt = false, ge = true, eq = true, ne = false},
    above = {lt = false, le = false, gt = true, ge = true, eq = false, ne = true},
    unordered = {lt = false, le = false, gt = false, ge = false, eq = false, ne = true},
};
local ops = [["lt", "<"], ["le", "<="], ["gt", ">"], ["ge", ">="], ["eq", "=="], ["ne", "!="]];

// Each form is a statement that appends the comparison's truth to r; A and B stand for the operands'
// text, a and b for locals holding them.
local forms = [
    ["register", "r.append(a OP b);"],
    ["local", "local x = a OP b; r.append(x);"],
    ["constant right", "r.append(a OP B);"],
    ["constant left", "r.append(A OP b);"],
    ["both constant", "r.append(A OP B);"],
    ["if", "if (a OP b) r.append(true); else r.append(false);"],
    ["if constant", "if (a OP B) r.append(true); else r.append(false);"],
    ["if constant left", "if (A OP b) r.append(true); else r.append(false);"],
    ["while", "{ local n = 0; while (a OP b) { n = 1; break; } r.append(n == 1); }"],
    ["while constant", "{ local n = 0; while (a OP B) { n = 1; break; } r.append(n == 1); }"],
    ["for", "{ local n = 0; for (local i = 0; a OP b; i++) { n = 1; break; } r.append(n == 1); }"],
    ["for constant", "{ local n = 0; for (; a OP B;) { n = 1; break; } r.append(n == 1); }"],
    ["ternary", "r.append((a OP b) ? true : false);"],
    ["ternary constant", "r.append(a OP B ? true : false);"],
    ["not", "r.append(!(a OP B) ? false : true);"],
    ["or", "r.append(false || a OP b);"],
    ["and constant", "r.append(true && a OP B);"],
    ["do-while", "{ local n = 0; do { n++; if (n == 2) break; } while (a OP b); r.append(n == 2); }"],
    ["if or", "if (a OP b || null) r.append(true); else r.append(false);"],
    ["while and constant", "{ local n = 0; while (a OP B && n == 0) n = 1; r.append(n == 1); }"],
    ["do-while or constant", "{ local n = 0; do { n++; if (n == 2) break; } while (null || a OP B); r.append(n == 2); }"],
    ["if ternary", "if (null || a OP b ? true : false) r.append(true); else r.append(false);"],
    ["or value", "r.append(a OP b || false);"],
    ["and value constant", "r.append(a OP B && true);"],
    ["ternary or", "r.append(a OP b || null ? true : false);"],
];

function subst(text, from, to) {
    local out = "";
    local start = 0;
    for (local at = text.find(from); at != null; at = text.find(from, start)) {
        out += text.slice(start, at) + to;
        start = at + from.len();
    }
    return out + text.slice(start);
}

local checks = 0;
local wrong = 0;
foreach (row in rows) {
    local src = "local a = " + row[0] + "; local b = " + row[1] + "; local r = [];\n";
    foreach (op in ops) {
        foreach (form in forms) {
            local code = subst(subst(subst(form[1], "OP", op[1]), "A", row[0]), "B", row[1]);
            src += code + "\n";
        }
    }
    src += "return r;\n";
    local got = compilestring(src)();
    local i = 0;
    foreach (op in ops) {
        local expected = want[row[2]][op[0]];
        foreach (form in forms) {
            checks++;
            if (got[i] != expected) {
                wrong++;
                print(row[0] + " " + op[1] + " " + row[1] + " (" + form[0] + "): got " + got[i] + "\n");
            }
            i++;
        }
    }
}
print(rows.len() + " rows, " + checks + " checks, " + wrong + " wrong\n");
