local seed = 12345
local a = {}
for i = 0, 49999 do
  seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
  a[#a + 1] = seed % 100000
end
local b = table.move(a, 1, #a, 1, {})
table.sort(a)
table.sort(b, function(x, y) return x > y end)
return a[1] + a[#a] + b[1] + b[1001]
