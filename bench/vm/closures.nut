function make(k) { return function(x):(k) { return (x * k + 1) & 0xFFFF; }; }
local fns = [make(3), make(5), make(7)];
local acc = 0;
for (local i = 0; i < 600000; i++) acc = fns[i % 3](acc);
for (local i = 0; i < 200000; i++) {
  local f = make(i & 7);
  acc = (acc + f(i & 255)) & 0xFFFFF;
}
return acc;
