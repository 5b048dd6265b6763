function gen(n)
  return coroutine.wrap(function() for i = 0, n - 1 do coroutine.yield(i) end end)
end
local total = 0
for v in gen(300000) do total = (total + v) & 0xFFFFFF end
for r = 0, 9999 do
  local i = 0
  for v in gen(10) do total = total + i * v; i = i + 1 end
end
return total
