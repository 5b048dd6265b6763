function collatz(n)
  if n % 2 == 0 then return n // 2 end
  return 3 * n + 1
end
function digits(x)
  if x < 10 then return 1 end
  if x < 100 then return 2 end
  if x < 1000 then return 3 end
  return 4
end
function steps(n)
  local c = 0
  while n ~= 1 do n = collatz(n); c = c + digits(c) end
  return c
end
local total = 0
for i = 1, 19999 do total = total + steps(i) end
return total
