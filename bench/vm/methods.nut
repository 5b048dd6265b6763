class Counter {
  n = 0;
  function add(k) { n += k; return this; }
  function get() { return n; }
}
class Point {
  x = 0;
  y = 0;
  constructor(a, b) { x = a; y = b; }
  function dot(o) { return x * o.x + y * o.y; }
}
local c = Counter();
for (local i = 0; i < 600000; i++) c.add(i & 3);
local sum = 0;
local origin = Point(1, 2);
for (local i = 0; i < 200000; i++) {
  local p = Point(i & 15, i & 7);
  sum = (sum + p.dot(origin)) & 0xFFFFF;
}
return c.get() + sum;
