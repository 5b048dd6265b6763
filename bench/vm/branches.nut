function collatz(n) {
  if (n % 2 == 0) return n / 2;
  return 3 * n + 1;
}
function digits(x) {
  if (x < 10) return 1;
  if (x < 100) return 2;
  if (x < 1000) return 3;
  return 4;
}
function steps(n) {
  local c = 0;
  while (n != 1) { n = collatz(n); c += digits(c); }
  return c;
}
local total = 0;
for (local i = 1; i < 20000; i++) total += steps(i);
return total;
