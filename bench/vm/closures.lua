function make(k) return function(x) return (x * k + 1) & 0xFFFF end end
local fns = {make(3), make(5), make(7)}
local acc = 0
for i = 0, 599999 do acc = fns[i % 3 + 1](acc) end
for i = 0, 199999 do
  local f = make(i & 7)
  acc = (acc + f(i & 255)) & 0xFFFFF
end
return acc
