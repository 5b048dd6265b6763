local t = {};
for (local i = 0; i < 50000; i++) t[i] <- i;
local sum = 0;
for (local r = 0; r < 16; r++)
  for (local i = 0; i < 50000; i++) sum = (sum + t[i]) & 0xFFFFFF;
foreach (k, v in t) sum = (sum + k + v) & 0xFFFFFF;
local names = {};
for (local i = 0; i < 2000; i++) names["key" + i] <- i;
for (local r = 0; r < 80; r++)
  for (local i = 0; i < 2000; i += 3) sum = (sum + names["key" + i]) & 0xFFFFFF;
local rec = {x = 1, y = 2, z = 3};
for (local i = 0; i < 1200000; i++) {
  rec.x = rec.y + rec.z;
  rec.y = rec.x & 1023;
}
return sum + rec.x;
