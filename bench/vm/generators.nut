function gen(n) { for (local i = 0; i < n; i++) yield i; }
local total = 0;
foreach (v in gen(300000)) total = (total + v) & 0xFFFFFF;
for (local r = 0; r < 10000; r++)
  foreach (i, v in gen(10)) total += i * v;
return total;
