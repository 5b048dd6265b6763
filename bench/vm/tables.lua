local t = {}
for i = 0, 49999 do t[i] = i end
local sum = 0
for r = 0, 15 do
  for i = 0, 49999 do sum = (sum + t[i]) & 0xFFFFFF end
end
for k, v in pairs(t) do sum = (sum + k + v) & 0xFFFFFF end
local names = {}
for i = 0, 1999 do names["key" .. i] = i end
for r = 0, 79 do
  for i = 0, 1999, 3 do sum = (sum + names["key" .. i]) & 0xFFFFFF end
end
local rec = {x = 1, y = 2, z = 3}
for i = 0, 1199999 do
  rec.x = rec.y + rec.z
  rec.y = rec.x & 1023
end
return sum + rec.x
