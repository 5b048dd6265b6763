local s = 0
local f = 0.0
for i = 0, 999999 do
  s = (s + i * 3 - i // 7) & 0xFFFFFF
  f = f + 0.25
  if f >= 1000.0 then f = f - 1000.0 end
  s = s ~ math.floor(f * 4.0)
end
local t = 0
for i = 0, 999 do
  for j = 0, 999, 3 do
    t = (t + i * j) % 1000003
  end
end
return s + t
