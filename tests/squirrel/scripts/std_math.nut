// Math library: result types, values, constants and the seeded rand() sequence of the original runtime.
function show(x) { print("" + x + "\n"); }
function attempt(f) {
    try { return f(); } catch (e) { return "error: " + e; }
}

show(sqrt(16) + " " + typeof sqrt(16));
show(sqrt(2));
show(sin(0) + " " + cos(0) + " " + tan(0));
show(asin(1) + " " + acos(1) + " " + atan(1));
show(atan2(1, 1) + " " + atan2(-1.0, 0));
show(log(1) + " " + log10(1000) + " " + exp(0));
show(pow(2, 10) + " " + typeof pow(2, 10));
show(floor(2.5) + " " + typeof floor(2.5) + " " + floor(-2.5) + " " + ceil(2.1));
show(fabs(-1.5) + " " + fabs(3));
show(abs(-5) + " " + abs(-2.7) + " " + typeof abs(-2.7));
show(PI + " " + typeof PI);
show(RAND_MAX + " " + typeof RAND_MAX);

srand(1);
local seq = "";
for (local i = 0; i < 5; ++i) seq += rand() + " ";
show(seq);
srand(42);
seq = "";
for (local i = 0; i < 5; ++i) seq += (rand() % 100) + " ";
show(seq);
srand(1.9);
show(rand() + " " + typeof rand());

show(attempt(function() { return sqrt("x"); }));
show(attempt(function() { return pow(1); }));
show(attempt(function() { return srand("seed"); }));
