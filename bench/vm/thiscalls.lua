local Walker = {}
Walker.__index = Walker
function Walker.new() return setmetatable({pos = 0, moves = 0}, Walker) end
function Walker:move(d) self.pos = self.pos + d; self.moves = self.moves + 1; return self.pos end
function Walker:bounce(d)
  if self.pos + d > 100 or self.pos + d < 0 then return self:move(-d) end
  return self:move(d)
end
function Walker:run(n)
  local s = 0
  for i = 0, n - 1 do s = (s + self:bounce(i % 7 - 3)) & 0xFFFFF end
  return s + self.moves
end
return Walker.new():run(600000)
