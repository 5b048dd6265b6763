local seed = 12345;
local a = [];
for (local i = 0; i < 50000; i++) {
  seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF;
  a.append(seed % 100000);
}
local b = clone a;
a.sort();
b.sort(function(x, y) { return y - x; });
return a[0] + a[a.len() - 1] + b[0] + b[1000];
