local s = 0;
local f = 0.0;
for (local i = 0; i < 1000000; i++) {
  s = (s + i * 3 - i / 7) & 0xFFFFFF;
  f = f + 0.25;
  if (f >= 1000.0) f = f - 1000.0;
  s = s ^ (f * 4.0).tointeger();
}
local t = 0;
for (local i = 0; i < 1000; i++)
  for (local j = 0; j < 1000; j += 3)
    t = (t + i * j) % 1000003;
return s + t;
