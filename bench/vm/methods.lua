Counter = {}
Counter.__index = Counter
function Counter.new() return setmetatable({n = 0}, Counter) end
function Counter:add(k) self.n = self.n + k; return self end
function Counter:get() return self.n end
Point = {}
Point.__index = Point
function Point.new(a, b) return setmetatable({x = a, y = b}, Point) end
function Point:dot(o) return self.x * o.x + self.y * o.y end
local c = Counter.new()
for i = 0, 599999 do c:add(i & 3) end
local sum = 0
local origin = Point.new(1, 2)
for i = 0, 199999 do
  local p = Point.new(i & 15, i & 7)
  sum = (sum + p:dot(origin)) & 0xFFFFF
end
return c:get() + sum
